// Work too long for one turn of the message loop. It runs on a thread of its
// own while the windows' thread answers sent messages only (other programs,
// the system asking whether the window hangs): input and posted messages wait
// in the queue, so nothing the user does sees the work half done.
//
// What is sent to this thread's windows meanwhile and would change what the
// work uses is held back: commands and closes are posted again and run after
// it; the end of the session and data handed over by another program are
// refused. Callers keep what such a sent message could still read (the rows
// the list shows) valid while the work runs.
#pragma once
#include <windows.h>
#include <functional>

// Returns when the work has ended, rethrowing what it threw. Without a thread
// to be had, or inside another such work, it runs here.
void RunAnswering(const std::function<void()>& work);

// Whether the calling thread is waiting for such work now.
bool IsAnswering();

// For a long loop on the windows' thread itself: each call answers, every
// few milliseconds, what was sent meanwhile, holding back as above. Call it
// only where what the windows show is whole.
class CAnswerPoll {
public:
    void operator()() {
        if (++m_calls % 64 == 0) Check();
    }

private:
    unsigned m_calls = 0;
    ULONGLONG m_next = GetTickCount64() + 20;
    void Check();
};

// For the framework's window procedure: true when the message is held back,
// with the answer it gets now in `result`.
bool HoldBackWhileAnswering(HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
