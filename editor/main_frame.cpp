#include "editor/main_frame.h"
#include "editor/app.h"
#include "editor/balloon_msg.h"
#include "resources/varnel_ids.h"
#include "framework/WinApp.h"
#include "reconfig/xml_cfg_dlg.h"
#include "resources/reconfig_ids.h"

namespace {

const UINT kIndicators[] = {ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

// The major number of the running Windows (the manifest makes it honest).
DWORD WindowsMajorVersion() {
    typedef LONG(WINAPI * RtlGetVersionFn)(OSVERSIONINFOW*);
    OSVERSIONINFOW vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto fn = ntdll ? (RtlGetVersionFn)(void*)::GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    if (fn && fn(&vi) == 0) return vi.dwMajorVersion;
    return LOBYTE(LOWORD(::GetVersion()));
}

void SetCheckOrBitmapStyle(HMENU menu) {
    MENUINFO mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIM_STYLE;
    if (::GetMenuInfo(menu, &mi)) {
        mi.dwStyle |= MNS_CHECKORBMP;
        ::SetMenuInfo(menu, &mi);
    }
    int n = ::GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i)
        if (HMENU sub = ::GetSubMenu(menu, i)) SetCheckOrBitmapStyle(sub);
}

}  // namespace

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTW& cs) {
    if (!CFrameWnd::PreCreateWindow(cs)) return FALSE;
    CWinApp* app = AfxGetApp();
    cs.cx = (int)app->GetProfileInt(CTamselApp::m_pszWindowSection, L"SizeX", cs.cx);
    cs.cy = (int)app->GetProfileInt(CTamselApp::m_pszWindowSection, L"SizeY", cs.cy);
    return TRUE;
}

int CMainFrame::OnCreate(LPCREATESTRUCTW cs) {
    if (CFrameWnd::OnCreate(cs) == -1) return -1;
    if (!m_wndToolBar.CreateEx(this, TBSTYLE_FLAT,
                               WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER | CBRS_TOOLTIPS | CBRS_FLYBY |
                                   CBRS_SIZE_DYNAMIC) ||
        !m_wndToolBar.LoadToolBar(IDR_MAINFRAME))
        return -1;
    if (!m_wndStatusBar.Create(this) ||
        !m_wndStatusBar.SetIndicators(kIndicators, (int)(sizeof kIndicators / sizeof kIndicators[0])))
        return -1;
    SetMessageText(AFX_IDS_IDLEMESSAGE);
    m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_wndToolBar);
    if (GetMenu() && WindowsMajorVersion() > 5) MarkServiceMenuItem();
    RecalcLayout();
    return 0;
}

void CMainFrame::MarkServiceMenuItem() {
    HMENU menu = GetMenu();
    SetCheckOrBitmapStyle(menu);
    m_menuBitmap.reset((HBITMAP)::LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDB_SERVICE), IMAGE_BITMAP, 0, 0,
                                             LR_CREATEDIBSECTION));
    if (!m_menuBitmap) return;
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_BITMAP;
    mii.hbmpItem = m_menuBitmap.get();
    ::SetMenuItemInfoW(menu, ID_SERVICE_CONTROL, FALSE, &mii);
}

void CMainFrame::OnClose() {
    SaveWindowSize();
    CFrameWnd::OnClose();
}

void CMainFrame::SaveWindowSize() {
    WINDOWPLACEMENT wp;
    if (GetWindowPlacement(&wp)) {
        CWinApp* app = AfxGetApp();
        app->WriteProfileInt(CTamselApp::m_pszWindowSection, L"SizeX",
                             wp.rcNormalPosition.right - wp.rcNormalPosition.left);
        app->WriteProfileInt(CTamselApp::m_pszWindowSection, L"SizeY",
                             wp.rcNormalPosition.bottom - wp.rcNormalPosition.top);
    }
}

// The end of the session asks about unsaved changes as closing does; once
// the session really ends the answer has been given, so nothing asks again.
LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_QUERYENDSESSION: {
        XBalloonMsg::Close();
        // An upload cut off leaves the device with part of a configuration.
        if (CXmlCfgDlg::IsUploading() &&
            AfxMessageBox(IDS_CFG_CANCEL_WRITE, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
            return FALSE;
        CDocument* doc = GetActiveDocument();
        return (!doc || doc->SaveModified()) ? TRUE : FALSE;
    }
    case WM_ENDSESSION:
        if (wp) {
            SaveWindowSize();
            DestroyWindow();
        }
        return 0;
    }
    return CFrameWnd::WindowProc(msg, wp, lp);
}

void CMainFrame::OnDestroy() {
    XBalloonMsg::Close();
    CFrameWnd::OnDestroy();
    m_menuBitmap.reset();  // the menu is gone with the window
}

void CMainFrame::ShowSaveBalloon(UINT messageId, UINT titleId, UINT icon) {
    RECT r{};
    int index = m_wndToolBar.CommandToIndex(ID_FILE_SAVE);
    if (index >= 0) {
        m_wndToolBar.GetItemRect(index, &r);
        m_wndToolBar.ClientToScreen(&r);
    }
    int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    RECT spot = {x, y, x + 1, y + 1};
    CString title, text;
    title.LoadString(titleId);
    text.LoadString(messageId);
    XBalloonMsg::Show(title, text, m_wndToolBar.GetSafeHwnd(), GetSafeHwnd(), AfxGetResourceHandle(), icon, TRUE, 0,
                      &spot, TRUE);
}
