#include "framework/FrameWnd.h"
#include "framework/WndInternal.h"
#include "framework/WinApp.h"

// ---------------------------------------------------------------- bars

int CControlBar::CalcHeight() const {
    if (!m_hWnd || !IsWindowVisible()) return 0;
    RECT r;
    GetWindowRect(&r);
    return r.bottom - r.top;
}

CToolBar::~CToolBar() = default;

BOOL CToolBar::CreateEx(CWnd* parent, DWORD tbStyle, DWORD style, UINT id) {
    DWORD ws = WS_CHILD | (style & WS_VISIBLE) | tbStyle | CCS_TOP | CCS_NODIVIDER;
    if (style & CBRS_TOOLTIPS) ws |= TBSTYLE_TOOLTIPS;
    if (!CWnd::CreateEx(0, TOOLBARCLASSNAMEW, nullptr, ws, 0, 0, 0, 0, parent->m_hWnd, (HMENU)(UINT_PTR)id))
        return FALSE;
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return TRUE;
}

BOOL CToolBar::LoadToolBar(UINT id) {
    HINSTANCE inst = AfxGetResourceHandle();
    HRSRC res = ::FindResourceW(inst, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(241));
    if (!res) return FALSE;
    HGLOBAL g = ::LoadResource(inst, res);
    const DWORD* data = g ? (const DWORD*)::LockResource(g) : nullptr;
    DWORD size = ::SizeofResource(inst, res);
    if (!data || size < 12) return FALSE;
    int cx = (int)data[0], cy = (int)data[1], count = (int)data[2];
    if (cx <= 0 || cy <= 0 || count < 0 || size < 12 + 4u * (DWORD)count) return FALSE;
    OwnedGdi<HBITMAP> bm((HBITMAP)::LoadImageW(inst, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bm) return FALSE;
    m_images.reset(ImageList_Create(cx, cy, ILC_COLOR24 | ILC_MASK, count, 0));
    ImageList_AddMasked(m_images.get(), bm.get(), RGB(255, 0, 255));
    SendMessage(TB_SETIMAGELIST, 0, (LPARAM)m_images.get());
    int image = 0;
    for (int i = 0; i < count; ++i) {
        TBBUTTON b{};
        b.idCommand = (int)data[3 + i];
        if (b.idCommand == 0) {
            b.fsStyle = BTNS_SEP;
            b.iBitmap = 6;
        } else {
            b.iBitmap = image++;
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = BTNS_BUTTON;
        }
        SendMessage(TB_ADDBUTTONSW, 1, (LPARAM)&b);
    }
    SendMessage(TB_AUTOSIZE);
    return TRUE;
}

int CToolBar::GetCount() const { return (int)SendMessage(TB_BUTTONCOUNT); }

int CToolBar::CommandToIndex(UINT id) const { return (int)SendMessage(TB_COMMANDTOINDEX, id); }

UINT CToolBar::GetItemID(int index) const {
    TBBUTTON b{};
    if (!SendMessage(TB_GETBUTTON, index, (LPARAM)&b)) return 0;
    return (UINT)b.idCommand;
}

void CToolBar::GetItemRect(int index, RECT* r) const {
    *r = RECT{0, 0, 0, 0};
    if (index >= 0) SendMessage(TB_GETITEMRECT, index, (LPARAM)r);
}

int CToolBar::CalcHeight() const { return CControlBar::CalcHeight(); }

void CToolBar::UpdateButtons(CCmdTarget* target) {
    int n = GetCount();
    for (int i = 0; i < n; ++i) {
        UINT id = GetItemID(i);
        if (!id) continue;
        CCmdUI ui(id, CCmdUI::ToolBar, nullptr, (UINT)i, m_hWnd);
        if (!target->OnCmdMsg(id, &ui)) ui.Enable(FALSE);
    }
}

BOOL CStatusBar::Create(CWnd* parent, DWORD style, UINT id) {
    return CWnd::CreateEx(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | (style & WS_VISIBLE) | SBARS_SIZEGRIP, 0, 0, 0, 0,
                          parent->m_hWnd, (HMENU)(UINT_PTR)id);
}

BOOL CStatusBar::SetIndicators(const UINT* ids, int count) {
    m_ids.assign(ids, ids + count);
    Layout();
    UpdateIndicators();
    return TRUE;
}

void CStatusBar::Layout() {
    if (!m_hWnd || m_ids.empty()) return;
    RECT rc;
    GetClientRect(&rc);
    const int pane = 44;
    std::vector<int> right(m_ids.size());
    // Right edges from the left: message pane, then fixed indicator panes.
    int n = (int)m_ids.size();
    for (int i = 0; i < n; ++i) right[i] = (i == n - 1) ? -1 : rc.right - 16 - pane * (n - 1 - i);
    SendMessage(SB_SETPARTS, (WPARAM)n, (LPARAM)right.data());
}

void CStatusBar::SetPaneText(int index, const wchar_t* text) { SendMessage(SB_SETTEXTW, (WPARAM)index, (LPARAM)text); }

void CStatusBar::UpdateIndicators() {
    for (size_t i = 0; i < m_ids.size(); ++i) {
        int vk = 0;
        switch (m_ids[i]) {
        case ID_INDICATOR_CAPS: vk = VK_CAPITAL; break;
        case ID_INDICATOR_NUM: vk = VK_NUMLOCK; break;
        case ID_INDICATOR_SCRL: vk = VK_SCROLL; break;
        default: continue;
        }
        CString text;
        if (::GetKeyState(vk) & 1) text.LoadString(m_ids[i]);
        wchar_t old[64] = L"";
        if ((LOWORD(SendMessage(SB_GETTEXTLENGTHW, i)) < 64)) SendMessage(SB_GETTEXTW, i, (LPARAM)old);
        if (text != old) SetPaneText((int)i, text);
    }
}

int CStatusBar::CalcHeight() const { return CControlBar::CalcHeight(); }

void CStatusBar::OnSize(UINT type, int cx, int cy) {
    Default();
    Layout();
}

// ---------------------------------------------------------------- frame

static const wchar_t* frameClass(UINT iconId) {
    HICON icon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(iconId));
    return RegisterOurClass(L"KrvFrame", icon ? icon : ::LoadIconW(nullptr, IDI_APPLICATION), COLOR_BTNFACE);
}

BOOL CFrameWnd::LoadFrame(UINT id, DWORD style, CWnd* parent, CCreateContext* ctx) {
    m_nIDResource = id;
    m_pContext = ctx;
    m_bAddToTitle = (style & FWS_ADDTOTITLE) != 0;
    CString full;
    full.LoadString(id);
    int nl = full.Find(L'\n');
    m_strTitle = nl < 0 ? full : full.Left(nl);
    m_hAccel = ::LoadAcceleratorsW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id));
    HMENU menu = ::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id));
    BOOL ok = CreateEx(0, frameClass(id), m_strTitle, style & ~FWS_ADDTOTITLE, CW_USEDEFAULT, CW_USEDEFAULT,
                       CW_USEDEFAULT, CW_USEDEFAULT, parent ? parent->m_hWnd : nullptr, menu);
    if (!ok) {
        if (menu && ::IsMenu(menu)) ::DestroyMenu(menu);
        return FALSE;  // the object may be gone already
    }
    m_pContext = nullptr;
    return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTW& cs) { return TRUE; }

int CFrameWnd::OnCreate(LPCREATESTRUCTW cs) {
    if (Default() == -1) return -1;
    CWinApp* app = AfxGetApp();
    if (app && !app->m_pMainWnd) app->m_pMainWnd = this;
    if (m_pContext && m_pContext->m_pNewViewClass) {
        CCmdTarget* obj = m_pContext->m_pNewViewClass->create();
        CView* view = dynamic_cast<CView*>(obj);
        if (!view) {
            delete obj;
            return -1;
        }
        if (!view->CreateView(this, m_pContext)) return -1;  // the view deleted itself
        SetActiveView(view);
    }
    return 0;
}

void CFrameWnd::SetActiveView(CView* view) { m_pViewActive = view; }

CDocument* CFrameWnd::GetActiveDocument() { return m_pViewActive ? m_pViewActive->GetDocument() : nullptr; }

void CFrameWnd::OnClose() {
    CDocument* doc = GetActiveDocument();
    if (doc && !doc->CanCloseFrame(this)) return;
    if (doc)
        doc->OnCloseDocument();  // destroys this frame
    else
        DestroyWindow();
}

void CFrameWnd::OnDestroy() {
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
    Default();
}

void CFrameWnd::RecalcLayout() {
    if (!m_hWnd) return;
    RECT rc;
    GetClientRect(&rc);
    CWnd* tb = FromHandlePermanent(::GetDlgItem(m_hWnd, AFX_IDW_TOOLBAR));
    CWnd* sb = FromHandlePermanent(::GetDlgItem(m_hWnd, AFX_IDW_STATUS_BAR));
    if (tb) {
        tb->SendMessage(TB_AUTOSIZE);
        if (auto* bar = dynamic_cast<CControlBar*>(tb)) rc.top += bar->CalcHeight();
    }
    if (sb) {
        sb->SendMessage(WM_SIZE, 0, MAKELPARAM(rc.right, rc.bottom));
        if (auto* bar = dynamic_cast<CControlBar*>(sb)) rc.bottom -= bar->CalcHeight();
    }
    HWND pane = ::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST);
    if (pane)
        ::MoveWindow(pane, rc.left, rc.top, rc.right - rc.left, rc.bottom > rc.top ? rc.bottom - rc.top : 0, TRUE);
}

void CFrameWnd::OnSize(UINT type, int cx, int cy) {
    Default();
    if (type != SIZE_MINIMIZED) RecalcLayout();
}

void CFrameWnd::OnSetFocus(HWND old) {
    if (m_pViewActive && m_pViewActive->m_hWnd)
        ::SetFocus(m_pViewActive->m_hWnd);
    else
        Default();
}

BOOL CFrameWnd::OnCmdMsg(UINT id, CCmdUI* ui) {
    if (m_pViewActive && m_pViewActive->OnCmdMsg(id, ui)) return TRUE;
    if (OnCommandMap(id, ui)) return TRUE;
    CWinApp* app = AfxGetApp();
    return app && app->OnCmdMsg(id, ui);
}

void CFrameWnd::UpdateRecentFileMenu(HMENU menu) {
    int n = ::GetMenuItemCount(menu);
    int first = -1;
    for (int i = 0; i < n; ++i) {
        UINT id = ::GetMenuItemID(menu, i);
        if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_LAST) {
            if (first < 0) {
                first = i;
                if (m_mruPlaceholder.IsEmpty()) {
                    wchar_t text[256] = L"";
                    ::GetMenuStringW(menu, i, text, 256, MF_BYPOSITION);
                    m_mruPlaceholder = text;
                }
            }
            ::DeleteMenu(menu, i, MF_BYPOSITION);
            --i;
            --n;
        }
    }
    if (first < 0) return;
    CWinApp* app = AfxGetApp();
    const auto& mru = app->GetRecentFiles();
    if (mru.empty()) {
        ::InsertMenuW(menu, first, MF_BYPOSITION | MF_STRING | MF_GRAYED, ID_FILE_MRU_FILE1, m_mruPlaceholder);
        return;
    }
    for (size_t i = 0; i < mru.size(); ++i) {
        CString text;
        // "&1 C:\path": ampersands of the path doubled so they show.
        CString path = mru[i];
        path.Replace(L"&", L"&&");
        text.Format(L"&%d %s", (int)i + 1, (const wchar_t*)path);
        ::InsertMenuW(menu, first + (int)i, MF_BYPOSITION | MF_STRING, ID_FILE_MRU_FILE1 + (UINT)i, text);
    }
}

void CFrameWnd::UpdateMenuPopup(HMENU menu) {
    UpdateRecentFileMenu(menu);
    int n = ::GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        UINT id = ::GetMenuItemID(menu, i);
        if (id == 0 || id == (UINT)-1) continue;  // separator or submenu
        CCmdUI ui(id, CCmdUI::Menu, menu, (UINT)i);
        if (!OnCmdMsg(id, &ui) && id < 0xF000) ui.Enable(FALSE);
    }
}

void CFrameWnd::OnInitMenuPopup(HMENU menu, UINT index, BOOL sysMenu) {
    Default();
    if (!sysMenu) UpdateMenuPopup(menu);
}

void CFrameWnd::SetMessageText(const wchar_t* text) {
    HWND sb = ::GetDlgItem(m_hWnd, AFX_IDW_STATUS_BAR);
    if (sb) ::SendMessageW(sb, SB_SETTEXTW, 0, (LPARAM)text);
}

void CFrameWnd::SetMessageText(UINT id) {
    CString s;
    if (id) {
        s.LoadString(id);
        int nl = s.Find(L'\n');
        if (nl >= 0) s = s.Left(nl);
    }
    SetMessageText(s);
}

LRESULT CFrameWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_MENUSELECT: {
        UINT flags = HIWORD(wp), id = LOWORD(wp);
        if (flags == 0xFFFF && !lp)
            SetMessageText(AFX_IDS_IDLEMESSAGE);
        else if (!(flags & (MF_POPUP | MF_SEPARATOR)) && id)
            SetMessageText(id);
        else
            SetMessageText(L"");
        return 0;
    }
    case WM_EXITMENULOOP: SetMessageText(AFX_IDS_IDLEMESSAGE); return Default();
    default: return CWnd::WindowProc(msg, wp, lp);
    }
}

BOOL CFrameWnd::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) {
    NMHDR* nm = (NMHDR*)lp;
    if (nm && nm->code == TTN_GETDISPINFOW) {
        auto* tt = (NMTTDISPINFOW*)nm;
        if (!(tt->uFlags & TTF_IDISHWND)) {
            static CString tip;
            CString s;
            s.LoadString((UINT)nm->idFrom);
            int nl = s.Find(L'\n');
            tip = nl >= 0 ? s.Mid(nl + 1) : CString();
            tt->lpszText = (wchar_t*)(const wchar_t*)tip;
            tt->hinst = nullptr;
            SetMessageText((UINT)nm->idFrom);
            *result = 0;
            return TRUE;
        }
    }
    if (nm && nm->code == TBN_HOTITEMCHANGE) {
        auto* hot = (NMTBHOTITEM*)nm;
        if (hot->dwFlags & HICF_LEAVING)
            SetMessageText(AFX_IDS_IDLEMESSAGE);
        else
            SetMessageText((UINT)hot->idNew);
        *result = 0;
        return TRUE;
    }
    return CWnd::OnNotify(wp, lp, result);
}

BOOL CFrameWnd::PreTranslateMessage(MSG* msg) {
    if (m_hAccel && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST)
        return ::TranslateAcceleratorW(m_hWnd, m_hAccel, msg);
    return FALSE;
}

void CFrameWnd::OnUpdateFrameTitle(BOOL addToTitle) {
    if (!m_hWnd) return;
    CDocument* doc = GetActiveDocument();
    if (m_bAddToTitle && addToTitle && doc)
        SetWindowText(doc->GetTitle() + L" - " + m_strTitle);
    else
        SetWindowText(m_strTitle);
}

void CFrameWnd::InitialUpdateFrame(CDocument* doc, BOOL makeVisible) {
    if (!m_pViewActive && doc) SetActiveView(doc->GetFirstView());
    if (doc)
        for (CView* v : doc->GetViews()) v->OnInitialUpdate();
    OnUpdateFrameTitle(TRUE);
    RecalcLayout();
}

void CFrameWnd::OnIdleUpdate() {
    if (auto* tb = dynamic_cast<CToolBar*>(FromHandlePermanent(::GetDlgItem(m_hWnd, AFX_IDW_TOOLBAR))))
        tb->UpdateButtons(this);
    if (auto* sb = dynamic_cast<CStatusBar*>(FromHandlePermanent(::GetDlgItem(m_hWnd, AFX_IDW_STATUS_BAR))))
        sb->UpdateIndicators();
}

// ---------------------------------------------------------------- views

CView::~CView() {
    if (m_pDocument) m_pDocument->RemoveView(this);
}

BOOL CView::CreateView(CFrameWnd* frame, CCreateContext* ctx) {
    if (ctx && ctx->m_pCurrentDoc) ctx->m_pCurrentDoc->AddView(this);
    if (!CreateEx(WS_EX_CLIENTEDGE, nullptr, L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 0, 0, frame->m_hWnd,
                  (HMENU)(UINT_PTR)AFX_IDW_PANE_FIRST)) {
        return FALSE;
    }
    return TRUE;
}

BOOL CView::OnCmdMsg(UINT id, CCmdUI* ui) {
    if (OnCommandMap(id, ui)) return TRUE;
    return m_pDocument && m_pDocument->OnCmdMsg(id, ui);
}

CFrameWnd* CView::GetParentFrame() const {
    for (HWND h = ::GetParent(m_hWnd); h; h = ::GetParent(h))
        if (auto* f = dynamic_cast<CFrameWnd*>(FromHandlePermanent(h))) return f;
    return nullptr;
}

LRESULT CView::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETFOCUS || msg == WM_MOUSEACTIVATE)
        if (CFrameWnd* f = GetParentFrame()) f->SetActiveView(this);
    return CWnd::WindowProc(msg, wp, lp);
}

CListCtrl& CListView::GetListCtrl() const {
    m_ctrl.m_hWnd = m_hWnd;
    return m_ctrl;
}

BOOL CListView::PreCreateWindow(CREATESTRUCTW& cs) {
    cs.lpszClass = WC_LISTVIEWW;
    return CView::PreCreateWindow(cs);
}

BOOL CListView::CreateView(CFrameWnd* frame, CCreateContext* ctx) { return CView::CreateView(frame, ctx); }
