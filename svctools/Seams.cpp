#include "svctools/Seams.h"

namespace {
SvcBeepHook beepHook = nullptr;
SvcHelpHook helpHook = nullptr;

typedef HWND(WINAPI* HtmlHelpFn)(HWND, LPCWSTR, UINT, DWORD_PTR);

// The HTML Help control is loaded on first use only; a system without it
// simply shows no popup.
HtmlHelpFn HtmlHelpEntry() {
    static HtmlHelpFn fn = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (HMODULE h = LoadLibraryW(L"hhctrl.ocx"))
            fn = reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(GetProcAddress(h, "HtmlHelpW")));
    }
    return fn;
}
}  // namespace

void SvcBeep(UINT type) {
    if (beepHook)
        beepHook(type);
    else
        MessageBeep(type);
}

void SvcHelpPopup(HWND owner, const HH_POPUP& popup) {
    if (helpHook) {
        helpHook(owner, popup);
        return;
    }
    if (HtmlHelpFn fn = HtmlHelpEntry()) fn(owner, nullptr, HH_DISPLAY_TEXT_POPUP, reinterpret_cast<DWORD_PTR>(&popup));
}

SvcBeepHook SetSvcBeepHook(SvcBeepHook hook) {
    SvcBeepHook old = beepHook;
    beepHook = hook;
    return old;
}

SvcHelpHook SetSvcHelpHook(SvcHelpHook hook) {
    SvcHelpHook old = helpHook;
    helpHook = hook;
    return old;
}
