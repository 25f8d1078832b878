// Windows, command targets and command update.
//
// A class handles commands by overriding OnCommandMap and dispatching from a
// typed table, falling back to its base:
//     BOOL CMyView::OnCommandMap(UINT id, CCmdUI* ui) {
//         static const CmdEntry<CMyView> map[] = {
//             {ID_EDIT_COPY, &CMyView::OnEditCopy, &CMyView::OnUpdateEditCopy},
//             {32772, &CMyView::AutoSizeColumns, nullptr},
//         };
//         return DispatchCommands(this, map, id, ui) || CListView::OnCommandMap(id, ui);
//     }
// ui == nullptr runs the command, otherwise asks its update handler (an entry
// without one is enabled). OnCmdMsg does the routing (frame -> view ->
// document -> frame -> application) and is rarely overridden.
//
// Control notifications (WM_COMMAND codes such as CBN_SELCHANGE, EN_CHANGE,
// BN_CLICKED, and WM_NOTIFY codes such as TVN_ENDLABELEDITW) come from a
// second table, offered before the window's own handling:
//     BOOL CMyDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
//         using R = CtrlEntry<CMyDlg>;
//         static constexpr R map[] = {
//             R::Command<&CMyDlg::OnHostChosen>(CBN_SELCHANGE, IDC_HOST),
//             R::Command<&CMyDlg::OnModeClicked>(BN_CLICKED, IDC_MODE1, IDC_MODE3),
//             R::Notify<&CMyDlg::OnEndLabelEdit>(TVN_ENDLABELEDITW, IDC_TREE),
//         };
//         return DispatchControls(this, map, code, id, nm, result) || CDialog::OnControlMap(code, id, nm, result);
//     }
// Command handlers are void f() or, for a range, void f(UINT id). Notify
// handlers take the notification's own struct (NMTVDISPINFOW*, NMTVKEYDOWN*,
// NMHDR*), optionally after the id, and may return the message's result.
// The signatures are checked when the table compiles.
//
// Windows: CWnd::WindowProc switches to virtual handlers (OnCreate, OnSize,
// OnTimer, OnNotify, ...); override WindowProc for anything else and end with
// the base. Default() passes the current message to the original procedure.
// Every window made through CWnd::CreateEx (and every dialog) is bound to its
// object from its first message on; no exception leaves a window procedure.
// Notifications of a child that has its own object (a control bound with
// DDX_Control or SubclassWindow) are first offered to that child's
// OnCommandReflect/OnNotifyReflect, then to the parent's OnControlMap.
//
// By-id helpers (dialogs mostly): item text, integers, check state, radio
// groups, enable and show; see the block "Controls by id" below.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <typeinfo>
#include "framework/String.h"
#include "framework/AfxIds.h"
#include "framework/CtrlMap.h"

class CWnd;
class CCmdUI;

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // The whole route; the default is this object's own table.
    virtual BOOL OnCmdMsg(UINT id, CCmdUI* ui) { return OnCommandMap(id, ui); }
    // This object's own commands.
    virtual BOOL OnCommandMap(UINT id, CCmdUI* ui) { return FALSE; }
    void BeginWaitCursor();
    void EndWaitCursor();
};

// A menu item, a toolbar button or a probe: what the update handler sets.
class CCmdUI {
public:
    enum Kind { Probe, Menu, ToolBar };
    CCmdUI(UINT id, Kind kind = Probe, HMENU menu = nullptr, UINT index = 0, HWND other = nullptr)
        : m_nID(id), m_nIndex(index), m_hMenu(menu), m_hOther(other), m_kind(kind) {}
    void Enable(BOOL on = TRUE);
    void SetCheck(int check = 1);
    void SetRadio(BOOL on = TRUE) { SetCheck(on ? 1 : 0); }
    void SetText(const wchar_t* text);

    UINT m_nID;
    UINT m_nIndex;
    HMENU m_hMenu;
    HWND m_hOther;
    Kind m_kind;
    BOOL m_bEnabled = TRUE;
    int m_nCheck = 0;
    BOOL m_bEnableChanged = FALSE;
};

template <class T> struct CmdEntry {
    UINT id;
    void (T::*handler)();
    void (T::*update)(CCmdUI*);
    UINT lastId = 0;  // non-zero: the entry covers id..lastId
};

template <class T, size_t N> BOOL DispatchCommands(T* self, const CmdEntry<T> (&map)[N], UINT id, CCmdUI* ui) {
    for (const auto& e : map) {
        UINT last = e.lastId ? e.lastId : e.id;
        if (id < e.id || id > last) continue;
        if (ui) {
            if (e.update) {
                (self->*e.update)(ui);
                return TRUE;
            }
            if (e.handler) {
                ui->Enable(TRUE);
                return TRUE;
            }
            continue;
        }
        if (e.handler) {
            (self->*e.handler)();
            return TRUE;
        }
    }
    return FALSE;
}

// Creation of objects by the document template.
struct CRuntimeClass {
    const char* name;
    CCmdTarget* (*create)();
};
template <class T> CRuntimeClass* RuntimeClassOf() {
    static CRuntimeClass rc{typeid(T).name(), []() -> CCmdTarget* { return new T; }};
    return &rc;
}
#define RUNTIME_CLASS(T) RuntimeClassOf<T>()

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    explicit CWnd(HWND h) : m_hWnd(h) {}
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    ~CWnd() override;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return GetSafeHwnd(); }

    // The bound object of a window, or nullptr.
    static CWnd* FromHandlePermanent(HWND h);
    // The bound object, else a temporary wrapper that lives until the next idle.
    static CWnd* FromHandle(HWND h);
    static void DeleteTempMap();

    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs) { return TRUE; }
    BOOL CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* name, DWORD style, int x, int y, int cx,
                  int cy, HWND parent, HMENU menuOrId, void* param = nullptr);
    BOOL Create(const wchar_t* className, const wchar_t* name, DWORD style, const RECT& rc, CWnd* parent, UINT id,
                void* param = nullptr);
    // Binds an existing window (subclassing it) to this object.
    BOOL SubclassWindow(HWND h);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();
    void Attach(HWND h) { m_hWnd = h; }
    HWND Detach() {
        HWND h = m_hWnd;
        m_hWnd = nullptr;
        return h;
    }
    virtual BOOL DestroyWindow();

    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
    virtual BOOL PreTranslateMessage(MSG* msg) { return FALSE; }
    LRESULT Default();
    virtual void PostNcDestroy() {}

    virtual int OnCreate(LPCREATESTRUCTW cs) { return (int)Default(); }
    virtual void OnDestroy() { Default(); }
    virtual void OnClose() { Default(); }
    virtual void OnSize(UINT type, int cx, int cy) { Default(); }
    virtual void OnTimer(UINT_PTR id) { Default(); }
    virtual void OnContextMenu(CWnd* wnd, POINT pt) { Default(); }
    virtual void OnSetFocus(HWND old) { Default(); }
    virtual void OnInitMenuPopup(HMENU menu, UINT index, BOOL sysMenu) { Default(); }
    // WM_COMMAND: TRUE when handled. The default offers control notifications
    // to the control's OnCommandReflect and commands to OnCmdMsg.
    virtual BOOL OnCommand(WPARAM wp, LPARAM lp);
    virtual BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result);
    virtual BOOL OnNotifyReflect(NMHDR* nm, LRESULT* result) { return FALSE; }
    virtual BOOL OnCommandReflect(UINT code) { return FALSE; }
    // This window's control-notification table (nm null for WM_COMMAND ones).
    virtual BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) { return FALSE; }
    // WM_KICKIDLE of a modal loop: non-zero asks for more idle calls.
    virtual LRESULT OnKickIdle(WPARAM wp, LPARAM lp) { return 0; }

    // Thin helpers.
    LRESULT SendMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageW(m_hWnd, m, w, l); }
    BOOL PostMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageW(m_hWnd, m, w, l); }
    CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
    void GetDlgItem(int id, HWND* out) const { *out = ::GetDlgItem(m_hWnd, id); }
    LRESULT SendDlgItemMessage(int id, UINT m, WPARAM w = 0, LPARAM l = 0) const {
        return ::SendDlgItemMessageW(m_hWnd, id, m, w, l);
    }

    // Controls by id.
    void SetDlgItemText(int id, const wchar_t* s) { ::SetDlgItemTextW(m_hWnd, id, s); }
    int GetDlgItemText(int id, CString& s) const;
    CString GetDlgItemText(int id) const {
        CString s;
        GetDlgItemText(id, s);
        return s;
    }
    void SetDlgItemInt(int id, UINT v, BOOL sign = TRUE) { ::SetDlgItemInt(m_hWnd, id, v, sign); }
    UINT GetDlgItemInt(int id, BOOL* ok = nullptr, BOOL sign = TRUE) const {
        return ::GetDlgItemInt(m_hWnd, id, ok, sign);
    }
    // Whole numbers with a success flag: decimal digits, a sign (a minus
    // only for signed), blanks around; false (value untouched) for anything
    // else or a number that does not fit. GetDlgItemInt is the platform's.
    void SetDlgItemSigned(int id, int v) { ::SetDlgItemInt(m_hWnd, id, (UINT)v, TRUE); }
    void SetDlgItemUnsigned(int id, UINT v) { ::SetDlgItemInt(m_hWnd, id, v, FALSE); }
    bool GetDlgItemSigned(int id, int& v) const;
    bool GetDlgItemUnsigned(int id, UINT& v) const;
    // The same reading for a field with a range of its own: a whole number
    // beyond lo..hi (a minus sign included) gives the nearer end; false
    // (value untouched) for a text that is no whole number ("12x", empty).
    // lo and hi lie within INT_MIN..UINT_MAX.
    bool GetDlgItemClamped(int id, long long lo, long long hi, long long& v) const;
    // Check state: BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE.
    void CheckDlgButton(int id, UINT c) { ::CheckDlgButton(m_hWnd, id, c); }
    UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
    void SetDlgItemCheck(int id, bool on) { ::CheckDlgButton(m_hWnd, id, on ? BST_CHECKED : BST_UNCHECKED); }
    bool GetDlgItemCheck(int id) const { return ::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED; }
    // Radio group first..last: checks id and clears the others; the checked
    // id, 0 when none is.
    void CheckRadioButton(int first, int last, int id) { ::CheckRadioButton(m_hWnd, first, last, id); }
    int GetCheckedRadioButton(int first, int last) const;
    BOOL EnableDlgItem(int id, BOOL on = TRUE) const { return ::EnableWindow(::GetDlgItem(m_hWnd, id), on); }
    BOOL IsDlgItemEnabled(int id) const { return ::IsWindowEnabled(::GetDlgItem(m_hWnd, id)); }
    BOOL ShowDlgItem(int id, BOOL show = TRUE) const {
        return ::ShowWindow(::GetDlgItem(m_hWnd, id), show ? SW_SHOW : SW_HIDE);
    }

    void SetWindowText(const wchar_t* s) { ::SetWindowTextW(m_hWnd, s); }
    // The window keeps no copy: the caller owns the icon (OwnedIcon) for the window's life.
    HICON SetIcon(HICON icon, BOOL big) {
        return (HICON)SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, (LPARAM)icon);
    }
    void GetWindowText(CString& s) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL EnableWindow(BOOL on = TRUE) { return ::EnableWindow(m_hWnd, on); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void GetClientRect(RECT* r) const { ::GetClientRect(m_hWnd, r); }
    void GetWindowRect(RECT* r) const { ::GetWindowRect(m_hWnd, r); }
    void ScreenToClient(RECT* r) const { ::MapWindowPoints(nullptr, m_hWnd, (POINT*)r, 2); }
    void ClientToScreen(RECT* r) const { ::MapWindowPoints(m_hWnd, nullptr, (POINT*)r, 2); }
    void ScreenToClient(POINT* p) const { ::ScreenToClient(m_hWnd, p); }
    void ClientToScreen(POINT* p) const { ::ClientToScreen(m_hWnd, p); }
    void MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, x, y, cx, cy, repaint); }
    void MoveWindow(const RECT& r, BOOL repaint = TRUE) {
        MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
    }
    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    UINT_PTR SetTimer(UINT_PTR id, UINT ms, TIMERPROC fn = nullptr) { return ::SetTimer(m_hWnd, id, ms, fn); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    DWORD GetStyle() const { return (DWORD)::GetWindowLongPtrW(m_hWnd, GWL_STYLE); }
    DWORD GetExStyle() const { return (DWORD)::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0);
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    HMENU GetMenu() const { return ::GetMenu(m_hWnd); }
    void SetRedraw(BOOL on = TRUE) { SendMessage(WM_SETREDRAW, on, 0); }
    BOOL GetWindowPlacement(WINDOWPLACEMENT* wp) const {
        wp->length = sizeof *wp;
        return ::GetWindowPlacement(m_hWnd, wp);
    }
    // Message box through the framework's seam (caption defaults to the application's name).
    int MessageBox(const wchar_t* text, const wchar_t* caption = nullptr, UINT type = MB_OK);

    // Internal: the procedure every bound window runs.
    static LRESULT CALLBACK StdWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);

protected:
    // WM_COMMAND from a control (or a click): the control's object, then OnControlMap.
    BOOL OnControlCommand(WPARAM wp, LPARAM lp);
    // WM_COMMAND as a command: menus, accelerators, button clicks, through OnCmdMsg.
    BOOL RouteCommand(WPARAM wp, LPARAM lp);
    WNDPROC m_oldProc = nullptr;
    MSG m_current{};
    friend struct WndBinder;
    void Bind(HWND h);
    void Unbind();
};

// Wait cursor for the life of the object.
class CWaitCursor {
public:
    CWaitCursor() : old_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { ::SetCursor(old_); }
    void Restore() { ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT)); }

private:
    HCURSOR old_;
};

// Owning menu handle (LoadMenu/CreatePopupMenu); Attach for a non-owned one.
class CMenu {
public:
    CMenu() = default;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;
    ~CMenu() { DestroyMenu(); }
    HMENU m_hMenu = nullptr;
    operator HMENU() const { return m_hMenu; }
    BOOL LoadMenu(UINT id);
    BOOL CreatePopupMenu() {
        DestroyMenu();
        m_hMenu = ::CreatePopupMenu();
        m_owned = true;
        return m_hMenu != nullptr;
    }
    BOOL Attach(HMENU h) {
        DestroyMenu();
        m_hMenu = h;
        m_owned = false;
        return h != nullptr;
    }
    HMENU Detach() {
        HMENU h = m_hMenu;
        m_hMenu = nullptr;
        m_owned = false;
        return h;
    }
    BOOL DestroyMenu();
    HMENU GetSubMenu(int pos) const { return ::GetSubMenu(m_hMenu, pos); }
    UINT EnableMenuItem(UINT id, UINT flags) { return ::EnableMenuItem(m_hMenu, id, flags); }
    DWORD CheckMenuItem(UINT id, UINT flags) { return ::CheckMenuItem(m_hMenu, id, flags); }
    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const wchar_t* text = nullptr) {
        return ::AppendMenuW(m_hMenu, flags, id, text);
    }
    BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* wnd) {
        return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, wnd->GetSafeHwnd(), nullptr);
    }

private:
    bool m_owned = false;
};

// Resource instance of the program (strings, menus, dialogs).
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxGetInstanceHandle();
// "%1" in the string resource id replaced by arg.
void AfxFormatString1(CString& out, UINT id, const wchar_t* arg);
