// XBalloonMsg: one short note with a title in a balloon-shaped tracking
// tooltip that points at a spot of a window, closed again as soon as the user
// does anything (key, click, wheel, focus or activation change, menu,
// scrolling) or after an optional time-out. At most one note at a time; a new
// Show replaces the shown one. Bare window API, user-interface thread only.
//
//   XBalloonMsg::Show(L"Title", L"Text", anchorWnd, parentWnd, hInst);
//   XBalloonMsg::Show(MAKEINTRESOURCEW(200), MAKEINTRESOURCEW(256), toolbar,
//                     frame, hInst, TTI_INFO, TRUE, 0, &pointRect, TRUE);
// title and message: text pointers or string ids (values up to 0xFFFF); the
// title may also be nullptr (none) or XBALLOON_MODULE_TITLE (module name).
#pragma once
#include <windows.h>
#include <commctrl.h>

#define XBALLOON_MODULE_TITLE ((LPCWSTR)(INT_PTR)-1)

class XBalloonMsg {
public:
    static void Show(LPCWSTR title, LPCWSTR message, HWND anchor, HWND parent, HINSTANCE inst, UINT icon = TTI_INFO,
                     BOOL balloon = TRUE, UINT autoCloseSeconds = 0, const RECT* position = nullptr,
                     BOOL subclassParent = FALSE);
    static void Close();
    static BOOL IsBalloonTipsEnabled();
    // File name of the module without folder and extension.
    static LPCWSTR GetModuleBaseName(HINSTANCE inst);

    // State for callers and tests.
    static HWND GetTooltipWindow();
    static BOOL IsShown();
    static LPCWSTR GetMessageText();
    static LPCWSTR GetTitleText();

    static const int kMessageMax = 3998;
    static const int kTitleMax = 498;

private:
    static void LoadTexts(LPCWSTR title, LPCWSTR message, HINSTANCE inst);
    static void GetTipPosition(const RECT* position, POINT* pt, BOOL centre);
    static void BuildTooltip();
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK MouseHookProc(int code, WPARAM wp, LPARAM lp);
    static void CALLBACK TimerProc(HWND hwnd, UINT msg, UINT_PTR id, DWORD time);
};
