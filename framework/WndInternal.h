// Framework-internal: binds the next window created on this thread to its
// object (a CBT hook for the life of the binder).
#pragma once
#include "framework/Wnd.h"

struct WndBinder {
    explicit WndBinder(CWnd* w);
    ~WndBinder();
    WndBinder(const WndBinder&) = delete;
    WndBinder& operator=(const WndBinder&) = delete;
    static LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp);
    static thread_local CWnd* pending;
    static thread_local HHOOK hook;
    CWnd* prevPending;
    bool owner = false;
};

// Registers (once per name) a class of ours whose procedure is replaced at
// creation, so DefWindowProc becomes the "original" one.
const wchar_t* RegisterOurClass(const wchar_t* name, HICON icon, int background);
