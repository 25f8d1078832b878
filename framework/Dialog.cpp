#include "framework/Dialog.h"
#include "framework/Answering.h"
#include "framework/MessageLoop.h"
#include "framework/Seams.h"
#include "framework/WinApp.h"
#include "framework/WndInternal.h"

namespace {

// Over the owner when it is shown, else on the work area; never off it.
void CentreOverOwner(HWND h) {
    if (::GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD) return;
    HWND owner = ::GetWindow(h, GW_OWNER);
    const bool over = owner && ::IsWindowVisible(owner) && !::IsIconic(owner);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (!::GetMonitorInfoW(::MonitorFromWindow(over ? owner : h, MONITOR_DEFAULTTONEAREST), &mi)) return;
    const RECT area = mi.rcWork;
    RECT target = area, r;
    if (over) ::GetWindowRect(owner, &target);
    if (!::GetWindowRect(h, &r)) return;
    const int cx = r.right - r.left, cy = r.bottom - r.top;
    int x = target.left + (target.right - target.left - cx) / 2;
    int y = target.top + (target.bottom - target.top - cy) / 2;
    if (x + cx > area.right) x = area.right - cx;
    if (x < area.left) x = area.left;
    if (y + cy > area.bottom) y = area.bottom - cy;
    if (y < area.top) y = area.top;
    ::SetWindowPos(h, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

// A dialog that its initialisation does not move is centred over its owner
// (a template's DS_CENTER only centres it on the screen).
INT_PTR CALLBACK CDialog::StdDlgProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_INITDIALOG) return FALSE;
    auto* dlg = dynamic_cast<CDialog*>(FromHandlePermanent(h));
    if (!dlg) return TRUE;
    RECT before{}, after{};
    ::GetWindowRect(h, &before);
    INT_PTR r;
    try {
        r = dlg->OnInitDialog();
    } catch (...) {
        r = TRUE;
    }
    if (::IsWindow(h) && ::GetWindowRect(h, &after) && after.left == before.left && after.top == before.top)
        CentreOverOwner(h);
    return r;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    m_nIDTemplate = templateId;
    m_pParentWnd = parent;
    m_bEnded = FALSE;
    m_nResult = -1;
    HWND h;
    {
        WndBinder bind(this);
        h = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(templateId),
                                 parent ? parent->m_hWnd : nullptr, &CDialog::StdDlgProc, 0);
    }
    return h != nullptr;
}

namespace {

// The modal run of one dialog window.
class ModalLoop : public CMessageLoop {
public:
    ModalLoop(HWND dlg, const BOOL& ended) : dlg_(dlg), ended_(ended) {}

protected:
    BOOL OnIdle(LONG count) override {
        LRESULT r = ::SendMessageW(dlg_, WM_KICKIDLE, MSGF_DIALOGBOX, count);
        return r == kIdleAgainAtOnce ? kIdleAgainAtOnce : r != 0;
    }
    BOOL PreTranslate(MSG* msg) override {
        // From the target up to the dialog, then the dialog's keyboard handling.
        for (HWND w = msg->hwnd; w; w = ::GetParent(w)) {
            if (CWnd* obj = CWnd::FromHandlePermanent(w))
                if (obj->PreTranslateMessage(msg)) return TRUE;
            if (w == dlg_) break;
        }
        if (msg->hwnd == dlg_ || ::IsChild(dlg_, msg->hwnd)) return ::IsDialogMessageW(dlg_, msg);
        return FALSE;
    }
    // A window destroyed behind the dialog's back ends the run too: the
    // owner must not stay disabled under a dialog nobody sees.
    bool Done() const override { return ended_ != FALSE || !::IsWindow(dlg_); }

private:
    HWND dlg_;
    const BOOL& ended_;
};

}  // namespace

INT_PTR CDialog::DoModal() {
    // Its loop would run inside work off the windows' thread what the
    // answering holds back: the dialog is cancelled before it opens.
    if (IsAnswering()) return IDCANCEL;
    HWND from = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!from && AfxGetMainWnd()) from = AfxGetMainWnd()->m_hWnd;
    HWND owner = KrvModalOwner(from);
    bool disabled = owner && ::IsWindowEnabled(owner);
    if (disabled) ::EnableWindow(owner, FALSE);
    m_bModal = TRUE;
    m_bEnded = FALSE;
    m_nResult = -1;
    HWND h;
    {
        WndBinder bind(this);
        h = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), owner, &CDialog::StdDlgProc,
                                 0);
    }
    if (h && !m_bEnded) {
        if (!::IsWindowVisible(h)) ::ShowWindow(h, SW_SHOWNORMAL);
        ModalLoop loop(h, m_bEnded);
        int quit = 0;
        if (loop.Run(&quit)) ::PostQuitMessage(quit);
    }
    if (disabled) ::EnableWindow(owner, TRUE);
    if (h) {
        if (owner && ::GetActiveWindow() == h) ::SetActiveWindow(owner);
        ::DestroyWindow(h);
    }
    m_bModal = FALSE;
    return m_nResult;
}

void CDialog::EndDialog(int result) {
    m_nResult = result;
    m_bEnded = TRUE;
    if (m_bModal && m_hWnd) {
        ::ShowWindow(m_hWnd, SW_HIDE);
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    }
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EnableDlgItemSafe(int id, BOOL on) {
    HWND ctrl = ::GetDlgItem(m_hWnd, id);
    HWND focus = ::GetFocus();
    if (!on && ctrl && focus && (focus == ctrl || ::GetParent(focus) == ctrl)) NextDlgCtrl();
    ::EnableWindow(ctrl, on);
}

BOOL CDialog::UpdateData(BOOL save) {
    CDataExchange dx(this, save);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnCommand(WPARAM wp, LPARAM lp) {
    // The dialog's own table before the framework's handling of OK and Cancel.
    if (OnControlCommand(wp, lp)) return TRUE;
    UINT id = LOWORD(wp), code = HIWORD(wp);
    if ((id == IDOK || id == IDCANCEL) && (code == BN_CLICKED || !lp)) {
        if (!lp || ::IsWindowEnabled((HWND)lp)) {
            if (id == IDOK)
                OnOK();
            else
                OnCancel();
        }
        return TRUE;
    }
    return RouteCommand(wp, lp);
}

HWND CDataExchange::PrepareCtrl(int id) {
    HWND h = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    m_hWndLastControl = h;
    return h;
}

void DDX_Control(CDataExchange* dx, int id, CWnd& ctrl) {
    HWND h = dx->PrepareCtrl(id);
    if (!h || ctrl.m_hWnd == h) return;
    // Left from an earlier run (or bound elsewhere): let go first.
    if (ctrl.m_hWnd) {
        if (CWnd::FromHandlePermanent(ctrl.m_hWnd) == &ctrl)
            ctrl.UnsubclassWindow();
        else
            ctrl.Detach();
    }
    if (!ctrl.SubclassWindow(h)) ctrl.Attach(h);
}
