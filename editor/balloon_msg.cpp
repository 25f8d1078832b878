// Balloon note. An off-screen carrier window drives the tooltip: its first
// position change builds the tooltip, its destruction removes the hooks.
#include "editor/balloon_msg.h"
#include "framework/Handle.h"
#include <cwchar>
#include <cstring>

namespace {

const UINT kToolId = 10001;
const int kActivatedOther = 6;

struct BalloonState {
    BOOL shown = FALSE;
    int activation = 0;
    HWND carrier = nullptr;
    HWND tooltip = nullptr;
    HWND anchor = nullptr;
    HWND parent = nullptr;
    HINSTANCE inst = nullptr;
    bool hasPosition = false;
    RECT position = {};
    BOOL balloon = TRUE;
    BOOL tipsEnabled = TRUE;
    BOOL subclass = FALSE;
    WNDPROC parentProc = nullptr;
    UINT icon = TTI_INFO;
    UINT autoClose = 0;
    UINT_PTR timer = 0;
    HHOOK keyHook = nullptr;
    HHOOK mouseHook = nullptr;
    wchar_t message[4000] = {};
    wchar_t title[500] = {};
    wchar_t moduleName[520] = {};
};

BalloonState g;

bool IsId(LPCWSTR p) { return (UINT_PTR)p <= 0xFFFF; }

void CopyCut(wchar_t* dst, LPCWSTR src, int max) {
    int n = 0;
    while (n < max && src[n]) ++n;
    wmemcpy(dst, src, (size_t)n);
    dst[n] = 0;
}

}  // namespace

HWND XBalloonMsg::GetTooltipWindow() { return g.tooltip; }
BOOL XBalloonMsg::IsShown() { return g.shown && g.tooltip && IsWindow(g.tooltip); }
LPCWSTR XBalloonMsg::GetMessageText() { return g.message; }
LPCWSTR XBalloonMsg::GetTitleText() { return g.title; }

void XBalloonMsg::Show(LPCWSTR title, LPCWSTR message, HWND anchor, HWND parent, HINSTANCE inst, UINT icon,
                       BOOL balloon, UINT autoCloseSeconds, const RECT* position, BOOL subclassParent) {
    if (!message || !anchor || !parent || !IsWindow(anchor) || !IsWindow(parent)) return;
    Close();
    g.icon = icon;
    g.anchor = anchor;
    g.hasPosition = position != nullptr;
    if (position) g.position = *position;
    g.balloon = balloon;
    g.autoClose = autoCloseSeconds;
    g.parent = parent;
    g.inst = inst;
    g.subclass = subclassParent;
    g.timer = 0;
    LoadTexts(title, message, inst);
    if (!g.message[0]) return;
    g.shown = FALSE;
    g.activation = 0;

    WNDCLASSW wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"XBalloonMsg";
    if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
    // Showing it sends the position change that builds the tooltip.
    g.carrier = CreateWindowExW(0, L"XBalloonMsg", L"", WS_POPUP | WS_VISIBLE, 30000, 30000, 10, 10, parent, nullptr,
                                wc.hInstance, nullptr);
}

void XBalloonMsg::Close() {
    if (g.timer) {
        KillTimer(nullptr, g.timer);
        g.timer = 0;
    }
    if (g.parentProc && IsWindow(g.parent)) SetWindowLongPtrW(g.parent, GWLP_WNDPROC, (LONG_PTR)g.parentProc);
    g.parentProc = nullptr;
    if (g.tooltip && IsWindow(g.tooltip)) {
        SendMessageW(g.tooltip, TTM_POP, 0, 0);
        PostMessageW(g.tooltip, WM_CLOSE, 0, 0);
    }
    g.tooltip = nullptr;
    if (g.carrier && IsWindow(g.carrier)) {
        HWND c = g.carrier;
        g.carrier = nullptr;
        DestroyWindow(c);
    }
    g.carrier = nullptr;
    g.shown = FALSE;
}

BOOL XBalloonMsg::IsBalloonTipsEnabled() {
    OwnedKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", 0,
                      KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return TRUE;
    DWORD value = 1, size = sizeof value, type = 0;
    LONG rc = RegQueryValueExW(key.get(), L"EnableBalloonTips", nullptr, &type, (BYTE*)&value, &size);
    if (rc != ERROR_SUCCESS || size != sizeof value) return TRUE;
    return value != 0;
}

LPCWSTR XBalloonMsg::GetModuleBaseName(HINSTANCE inst) {
    wchar_t path[520];
    DWORD n = GetModuleFileNameW(inst, path, 518);
    if (n >= 518) n = 517;
    path[n] = 0;
    const wchar_t* slash = wcsrchr(path, L'\\');
    const wchar_t* base = slash ? slash + 1 : path;
    CopyCut(g.moduleName, base, 519);
    wchar_t* dot = wcsrchr(g.moduleName, L'.');
    if (dot) *dot = 0;
    return g.moduleName;
}

void XBalloonMsg::LoadTexts(LPCWSTR title, LPCWSTR message, HINSTANCE inst) {
    g.message[0] = 0;
    g.title[0] = 0;
    if (IsId(message)) {
        if (message) LoadStringW(inst, (UINT)(UINT_PTR)message, g.message, kMessageMax + 1);
    } else {
        CopyCut(g.message, message, kMessageMax);
    }
    if (title == XBALLOON_MODULE_TITLE) {
        CopyCut(g.title, GetModuleBaseName(inst), kTitleMax);
    } else if (!IsId(title)) {
        CopyCut(g.title, title, kTitleMax);
    } else if (title) {
        LoadStringW(inst, (UINT)(UINT_PTR)title, g.title, kTitleMax + 1);
    }
}

void XBalloonMsg::GetTipPosition(const RECT* position, POINT* pt, BOOL centre) {
    if (position) {
        pt->x = position->left;
        pt->y = position->top;
        return;
    }
    RECT r = {};
    if (IsWindow(g.anchor)) GetWindowRect(g.anchor, &r);
    if (centre) {
        pt->x = r.left + (r.right - r.left) / 2;
        pt->y = r.top + (r.bottom - r.top) / 2;
    } else {
        pt->x = r.left;
        pt->y = r.bottom;
    }
}

void XBalloonMsg::BuildTooltip() {
    g.tipsEnabled = IsBalloonTipsEnabled();
    // Not created visible: tracking shows it. Under Wine a window mapped while
    // still empty costs two seconds when it is hidden again.
    DWORD style = WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX;
    bool useBalloon = g.balloon && g.tipsEnabled;
    if (useBalloon) style |= TTS_BALLOON;
    g.tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, g.parent, nullptr, g.inst, nullptr);
    if (!g.tooltip) return;
    if (!g.parentProc && IsWindow(g.parent) && g.subclass)
        g.parentProc = (WNDPROC)SetWindowLongPtrW(g.parent, GWLP_WNDPROC, (LONG_PTR)WndProc);

    TTTOOLINFOW ti = {};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_TRACK;
    ti.hwnd = g.parent;
    ti.uId = kToolId;
    ti.hinst = g.inst;
    ti.lpszText = g.message;
    SendMessageW(g.tooltip, TTM_SETMAXTIPWIDTH, 0, 400);
    SendMessageW(g.tooltip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 1);
    SendMessageW(g.tooltip, TTM_SETDELAYTIME, TTDT_INITIAL, 1);
    SendMessageW(g.tooltip, TTM_SETDELAYTIME, TTDT_RESHOW, 1);
    SendMessageW(g.tooltip, TTM_ADDTOOLW, 0, (LPARAM)&ti);
    SendMessageW(g.tooltip, TTM_SETTITLEW, g.icon, (LPARAM)g.title);
    POINT pt;
    GetTipPosition(g.hasPosition ? &g.position : nullptr, &pt, useBalloon);
    SendMessageW(g.tooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(pt.x, pt.y));
    SendMessageW(g.tooltip, TTM_TRACKACTIVATE, TRUE, (LPARAM)&ti);

    DWORD thread = GetCurrentThreadId();
    if (!g.keyHook) g.keyHook = SetWindowsHookExW(WH_KEYBOARD, KeyboardHookProc, nullptr, thread);
    if (!g.mouseHook) g.mouseHook = SetWindowsHookExW(WH_MOUSE, MouseHookProc, nullptr, thread);
    if (g.autoClose > 0) g.timer = SetTimer(nullptr, 0, g.autoClose * 1000, TimerProc);
    g.shown = TRUE;
}

LRESULT CALLBACK XBalloonMsg::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    // The parent's own procedure, taken now: a close below puts it back.
    const bool isParent = hwnd == g.parent && hwnd != g.carrier;
    WNDPROC prev = isParent ? g.parentProc : nullptr;
    auto pass = [&]() -> LRESULT {
        if (isParent) return prev && IsWindow(hwnd) ? CallWindowProcW(prev, hwnd, msg, wp, lp) : 0;
        return DefWindowProcW(hwnd, msg, wp, lp);
    };
    switch (msg) {
    case WM_DESTROY:
        if (!isParent) {
            if (g.keyHook) {
                UnhookWindowsHookEx(g.keyHook);
                g.keyHook = nullptr;
            }
            if (g.mouseHook) {
                UnhookWindowsHookEx(g.mouseHook);
                g.mouseHook = nullptr;
            }
            if (IsWindow(g.parent)) {
                UpdateWindow(g.parent);
                if (g.activation == kActivatedOther)
                    SetWindowPos(g.parent, nullptr, 0, 0, 0, 0,
                                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
            }
        } else {
            Close();
        }
        return pass();
    case WM_ACTIVATE: g.activation = lp ? kActivatedOther : 0; [[fallthrough]];
    case WM_KILLFOCUS:
    case WM_MOUSEACTIVATE:
    case WM_SYSCOMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_MENUCOMMAND:
    case WM_ENTERMENULOOP:
        if (g.shown && IsWindow(g.carrier) && IsWindow(g.tooltip)) Close();
        return pass();
    case WM_WINDOWPOSCHANGED:
        if (isParent) return pass();
        if (!g.tooltip && !g.shown) BuildTooltip();
        return 0;
    case WM_TIMER:
        if (isParent) return pass();
        return 0;
    default: return pass();
    }
}

LRESULT CALLBACK XBalloonMsg::KeyboardHookProc(int code, WPARAM wp, LPARAM lp) {
    if (code < 0 || (lp & 0x80000000)) return CallNextHookEx(nullptr, code, wp, lp);
    switch (wp) {
    case VK_TAB:
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: Close(); return 1;
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_LMENU:
    case VK_RMENU: return CallNextHookEx(nullptr, code, wp, lp);
    default:
        if (wp >= VK_F1 && wp <= VK_F24) {
            Close();
            return 1;
        }
        LRESULT r = CallNextHookEx(nullptr, code, wp, lp);
        Close();
        return r;
    }
}

LRESULT CALLBACK XBalloonMsg::MouseHookProc(int code, WPARAM wp, LPARAM lp) {
    LRESULT r = CallNextHookEx(nullptr, code, wp, lp);
    if (code >= 0) {
        switch (wp) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_NCLBUTTONDOWN:
        case WM_NCRBUTTONDOWN:
        case WM_NCMBUTTONDOWN:
        case WM_MOUSEWHEEL: Close(); break;
        default: break;
        }
    }
    return r;
}

void CALLBACK XBalloonMsg::TimerProc(HWND, UINT, UINT_PTR, DWORD) { Close(); }
