#include "framework/Wnd.h"
#include "framework/Answering.h"
#include "framework/Seams.h"
#include "framework/WndInternal.h"
#include <climits>
#include <map>
#include <unordered_map>
#include <memory>

static const wchar_t kProp[] = L"KrvWnd";

// Temporary wrappers of windows without an object of their own.
static std::map<HWND, std::unique_ptr<CWnd>>& tempMap() {
    static std::map<HWND, std::unique_ptr<CWnd>> m;
    return m;
}

// Objects of bound windows. A window property costs a wineserver round trip
// per look-up, and every message and notification looks one up.
namespace {
struct BoundMap {
    CRITICAL_SECTION lock;
    std::unordered_map<HWND, CWnd*> map;
    BoundMap() { InitializeCriticalSection(&lock); }
};
BoundMap& bound() {
    static BoundMap b;
    return b;
}
}  // namespace

CWnd* CWnd::FromHandlePermanent(HWND h) {
    if (!h) return nullptr;
    BoundMap& b = bound();
    EnterCriticalSection(&b.lock);
    auto it = b.map.find(h);
    CWnd* w = it == b.map.end() ? nullptr : it->second;
    LeaveCriticalSection(&b.lock);
    return w;
}

CWnd* CWnd::FromHandle(HWND h) {
    if (!h) return nullptr;
    if (CWnd* w = FromHandlePermanent(h)) return w;
    auto& m = tempMap();
    auto it = m.find(h);
    if (it != m.end()) return it->second.get();
    CWnd* w = new CWnd(h);
    m[h].reset(w);
    return w;
}

void CWnd::DeleteTempMap() {
    for (auto& e : tempMap()) e.second->m_hWnd = nullptr;
    tempMap().clear();
}

CWnd::~CWnd() {
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        // A window outliving its object must not call into freed memory.
        HWND h = m_hWnd;
        Unbind();
        ::DestroyWindow(h);
    }
}

void CWnd::Bind(HWND h) {
    m_hWnd = h;
    ::SetPropW(h, kProp, (HANDLE)this);
    EnterCriticalSection(&bound().lock);
    bound().map[h] = this;
    LeaveCriticalSection(&bound().lock);
    m_oldProc = (WNDPROC)::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)&CWnd::StdWndProc);
    if (m_oldProc == &CWnd::StdWndProc) m_oldProc = ::DefWindowProcW;
}

void CWnd::Unbind() {
    if (!m_hWnd) return;
    if ((WNDPROC)::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == &CWnd::StdWndProc && m_oldProc)
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, (LONG_PTR)m_oldProc);
    ::RemovePropW(m_hWnd, kProp);
    EnterCriticalSection(&bound().lock);
    auto it = bound().map.find(m_hWnd);
    if (it != bound().map.end() && it->second == this) bound().map.erase(it);
    LeaveCriticalSection(&bound().lock);
    m_hWnd = nullptr;
}

BOOL CWnd::SubclassWindow(HWND h) {
    if (!h || FromHandlePermanent(h)) return FALSE;
    auto& m = tempMap();
    auto it = m.find(h);
    if (it != m.end()) {
        it->second->m_hWnd = nullptr;
        m.erase(it);
    }
    Bind(h);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) { return SubclassWindow(::GetDlgItem(parent->m_hWnd, (int)id)); }

HWND CWnd::UnsubclassWindow() {
    HWND h = m_hWnd;
    Unbind();
    return h;
}

// Binds the window being created to its object at its first message: a
// thread-wide CBT hook sees the window before WM_GETMINMAXINFO/WM_NCCREATE.
LRESULT CALLBACK WndBinder::CbtProc(int code, WPARAM wp, LPARAM lp) {
    try {
        if (code == HCBT_CREATEWND && pending) {
            CWnd* w = pending;
            pending = nullptr;
            w->Bind((HWND)wp);
        }
    } catch (...) {}
    return ::CallNextHookEx(hook, code, wp, lp);
}

WndBinder::WndBinder(CWnd* w) {
    prevPending = pending;
    pending = w;
    if (!hook) {
        hook = ::SetWindowsHookExW(WH_CBT, &CbtProc, nullptr, ::GetCurrentThreadId());
        owner = true;
    }
}

WndBinder::~WndBinder() {
    pending = prevPending;
    if (owner) {
        ::UnhookWindowsHookEx(hook);
        hook = nullptr;
    }
}

thread_local CWnd* WndBinder::pending = nullptr;
thread_local HHOOK WndBinder::hook = nullptr;

const wchar_t* RegisterOurClass(const wchar_t* name, HICON icon, int background) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(AfxGetInstanceHandle(), name, &existing)) return name;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hIcon = icon;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(INT_PTR)(background + 1);
    wc.lpszClassName = name;
    ::RegisterClassExW(&wc);
    return name;
}

// The plain class our own windows use.
static const wchar_t* ourClass(const wchar_t* cls) {
    return cls ? cls : RegisterOurClass(L"KrvWnd", nullptr, COLOR_WINDOW);
}

BOOL CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* name, DWORD style, int x, int y, int cx,
                    int cy, HWND parent, HMENU menuOrId, void* param) {
    CREATESTRUCTW cs{};
    cs.dwExStyle = exStyle;
    cs.lpszClass = ourClass(className);
    cs.lpszName = name;
    cs.style = style;
    cs.x = x;
    cs.y = y;
    cs.cx = cx;
    cs.cy = cy;
    cs.hwndParent = parent;
    cs.hMenu = menuOrId;
    cs.hInstance = AfxGetInstanceHandle();
    cs.lpCreateParams = param;
    if (!PreCreateWindow(cs)) return FALSE;
    HWND h;
    {
        WndBinder bind(this);
        h = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy,
                              cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    }
    // On failure a window that got as far as WM_NCDESTROY has run PostNcDestroy
    // already (a frame or view is deleted then): do not touch the object.
    return h != nullptr;
}

BOOL CWnd::Create(const wchar_t* className, const wchar_t* name, DWORD style, const RECT& rc, CWnd* parent, UINT id,
                  void* param) {
    return CreateEx(0, className, name, style | WS_CHILD, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                    parent ? parent->m_hWnd : nullptr, (HMENU)(UINT_PTR)id, param);
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

LRESULT CALLBACK CWnd::StdWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    CWnd* w = FromHandlePermanent(h);
    if (!w) return ::DefWindowProcW(h, msg, wp, lp);
    CAnswerFilter filter(h, msg, wp, lp);
    if (filter.Answered()) return filter.Result();
    MSG saved = w->m_current;
    w->m_current = MSG{h, msg, wp, lp, 0, {0, 0}};
    LRESULT r = 0;
    try {
        r = w->WindowProc(msg, wp, lp);
    } catch (...) {
        // Nothing may cross into user32: the command is dropped. Idle work
        // that failed is asked for again, not silently given up.
        r = msg == WM_KICKIDLE ? 1 : 0;
    }
    if (msg == WM_NCDESTROY) {
        WNDPROC old = w->m_oldProc;
        w->Unbind();
        w->m_oldProc = nullptr;
        if (old) ::CallWindowProcW(old, h, msg, wp, lp);
        try {
            w->PostNcDestroy();
        } catch (...) {}
        return 0;
    }
    w->m_current = saved;
    return r;
}

LRESULT CWnd::Default() {
    const MSG& m = m_current;
    if (!m_oldProc || !m.hwnd) return ::DefWindowProcW(m.hwnd, m.message, m.wParam, m.lParam);
    return ::CallWindowProcW(m_oldProc, m.hwnd, m.message, m.wParam, m.lParam);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: return OnCreate((LPCREATESTRUCTW)lp);
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_NCDESTROY: return Default();
    case WM_CLOSE: OnClose(); return 0;
    case WM_SIZE: OnSize((UINT)wp, (short)LOWORD(lp), (short)HIWORD(lp)); return 0;
    case WM_TIMER: OnTimer(wp); return 0;
    case WM_SETFOCUS: OnSetFocus((HWND)wp); return 0;
    case WM_CONTEXTMENU: {
        POINT pt{(short)LOWORD(lp), (short)HIWORD(lp)};
        OnContextMenu(FromHandle((HWND)wp), pt);
        return 0;
    }
    case WM_INITMENUPOPUP: OnInitMenuPopup((HMENU)wp, LOWORD(lp), HIWORD(lp)); return 0;
    case WM_COMMAND:
        if (OnCommand(wp, lp)) return 0;
        return Default();
    case WM_NOTIFY: {
        LRESULT r = 0;
        if (OnNotify(wp, lp, &r)) return r;
        return Default();
    }
    case WM_KICKIDLE: return OnKickIdle(wp, lp);
    default: return Default();
    }
}

BOOL CWnd::OnControlCommand(WPARAM wp, LPARAM lp) {
    UINT id = LOWORD(wp);
    UINT code = HIWORD(wp);
    HWND ctrl = (HWND)lp;
    if (ctrl) {
        CWnd* c = FromHandlePermanent(ctrl);
        if (c && c != this && c->OnCommandReflect(code)) return TRUE;
    }
    // A click sent without the button's handle (code 0) counts as the
    // button's; other codes without a control are accelerators.
    if (!ctrl && code != BN_CLICKED) return FALSE;
    LRESULT r = 0;
    return OnControlMap(code, id, nullptr, &r);
}

BOOL CWnd::RouteCommand(WPARAM wp, LPARAM lp) {
    UINT id = LOWORD(wp);
    if (lp && HIWORD(wp) != BN_CLICKED) return FALSE;
    // Menu, accelerator or button click: a command the update handler
    // disables does not run.
    CCmdUI probe(id);
    if (OnCmdMsg(id, &probe) && !probe.m_bEnabled) return TRUE;
    return OnCmdMsg(id, nullptr);
}

BOOL CWnd::OnCommand(WPARAM wp, LPARAM lp) { return OnControlCommand(wp, lp) || RouteCommand(wp, lp); }

BOOL CWnd::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) {
    NMHDR* nm = (NMHDR*)lp;
    if (!nm) return FALSE;
    CWnd* c = FromHandlePermanent(nm->hwndFrom);
    if (c && c != this && c->OnNotifyReflect(nm, result)) return TRUE;
    return OnControlMap(nm->code, (UINT)nm->idFrom, nm, result);
}

bool CWnd::GetDlgItemSigned(int id, int& v) const {
    long long n;
    bool beyond;
    if (!ParseWholeNumber(GetDlgItemText(id), true, INT_MIN, INT_MAX, n, beyond) || beyond) return false;
    v = (int)n;
    return true;
}

bool CWnd::GetDlgItemUnsigned(int id, UINT& v) const {
    long long n;
    bool beyond;
    if (!ParseWholeNumber(GetDlgItemText(id), false, 0, UINT_MAX, n, beyond) || beyond) return false;
    v = (UINT)n;
    return true;
}

bool CWnd::GetDlgItemClamped(int id, long long lo, long long hi, long long& v) const {
    long long n;
    bool beyond;
    if (lo > hi || !ParseWholeNumber(GetDlgItemText(id), true, lo, hi, n, beyond)) return false;
    v = n;
    return true;
}

int CWnd::GetCheckedRadioButton(int first, int last) const {
    for (int id = first; id <= last; ++id)
        if (::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED) return id;
    return 0;
}

int CWnd::GetDlgItemText(int id, CString& s) const {
    HWND c = ::GetDlgItem(m_hWnd, id);
    int n = c ? ::GetWindowTextLengthW(c) : 0;
    wchar_t* buf = s.GetBuffer(n + 1);
    int got = c ? ::GetWindowTextW(c, buf, n + 1) : 0;
    s.ReleaseBuffer(got);
    return got;
}

void CWnd::GetWindowText(CString& s) const {
    int n = ::GetWindowTextLengthW(m_hWnd);
    wchar_t* buf = s.GetBuffer(n + 1);
    int got = ::GetWindowTextW(m_hWnd, buf, n + 1);
    s.ReleaseBuffer(got);
}

static BOOL modifyLong(HWND h, int index, DWORD remove, DWORD add, UINT swpFlags) {
    DWORD s = (DWORD)::GetWindowLongPtrW(h, index), n = (s & ~remove) | add;
    if (s == n) return FALSE;
    ::SetWindowLongPtrW(h, index, (LONG_PTR)n);
    if (swpFlags)
        ::SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
    return modifyLong(m_hWnd, GWL_STYLE, remove, add, swpFlags);
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) {
    return modifyLong(m_hWnd, GWL_EXSTYLE, remove, add, swpFlags);
}

// Defined with the application (caption = application name).
int AfxMessageBoxCaptioned(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

int CWnd::MessageBox(const wchar_t* text, const wchar_t* caption, UINT type) {
    return AfxMessageBoxCaptioned(m_hWnd, text, caption, type);
}

void CCmdTarget::BeginWaitCursor() { ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT)); }
void CCmdTarget::EndWaitCursor() { ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW)); }

void CCmdUI::Enable(BOOL on) {
    m_bEnabled = on;
    m_bEnableChanged = TRUE;
    if (m_kind == Menu && m_hMenu)
        ::EnableMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (on ? MF_ENABLED : (MF_DISABLED | MF_GRAYED)));
    else if (m_kind == ToolBar && m_hOther)
        ::SendMessageW(m_hOther, TB_ENABLEBUTTON, m_nID, MAKELONG(on ? TRUE : FALSE, 0));
}

void CCmdUI::SetCheck(int check) {
    m_nCheck = check;
    if (m_kind == Menu && m_hMenu)
        ::CheckMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (check ? MF_CHECKED : MF_UNCHECKED));
    else if (m_kind == ToolBar && m_hOther)
        ::SendMessageW(m_hOther, TB_CHECKBUTTON, m_nID, MAKELONG(check ? TRUE : FALSE, 0));
}

void CCmdUI::SetText(const wchar_t* text) {
    if (m_kind == Menu && m_hMenu) {
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_STRING;
        mi.dwTypeData = (wchar_t*)text;
        ::SetMenuItemInfoW(m_hMenu, m_nIndex, TRUE, &mi);
    }
}

BOOL CMenu::LoadMenu(UINT id) {
    DestroyMenu();
    m_hMenu = ::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id));
    m_owned = true;
    return m_hMenu != nullptr;
}

BOOL CMenu::DestroyMenu() {
    BOOL ok = TRUE;
    if (m_hMenu && m_owned) ok = ::DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
    m_owned = false;
    return ok;
}

HINSTANCE AfxGetResourceHandle() { return ::GetModuleHandleW(nullptr); }
HINSTANCE AfxGetInstanceHandle() { return ::GetModuleHandleW(nullptr); }

void AfxFormatString1(CString& out, UINT id, const wchar_t* arg) {
    CString fmt;
    fmt.LoadString(id);
    fmt.Replace(L"%1", arg ? arg : L"");
    out = fmt;
}
