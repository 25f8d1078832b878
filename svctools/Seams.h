// Beeps and help popups of the tools go through here, so that tests can
// record them instead of hearing them.
#pragma once
#include <windows.h>
#include <htmlhelp.h>

typedef void (*SvcBeepHook)(UINT type);
typedef void (*SvcHelpHook)(HWND owner, const HH_POPUP& popup);

// MessageBeep, or the hook when one is set.
void SvcBeep(UINT type);
// HtmlHelpW with HH_DISPLAY_TEXT_POPUP; does nothing when the HTML Help
// control cannot be loaded.
void SvcHelpPopup(HWND owner, const HH_POPUP& popup);

// Both return the previous hook; null restores the system's calls.
SvcBeepHook SetSvcBeepHook(SvcBeepHook hook);
SvcHelpHook SetSvcHelpHook(SvcHelpHook hook);
