#include "editor/timing_dlg.h"
#include "editor/view.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"

using namespace timingid;

namespace {

const wchar_t* const kLowerList[] = {L"0.1", L"0.5", L"1", L"2", L"5", L"10", L"~"};
const wchar_t* const kUpperList[] = {L"5", L"10", L"20", L"30", L"60", L"120", L"~"};

bool IsKeep(const CString& s) { return s == L"~"; }

CString Tenths(int t) {
    CString s;
    FormatTenths(t, s);
    return s;
}

// Selected rows from the top, as the list control hands them out.
template <class Fn>
void ForSelectedRows(CTamselView* view, Fn fn) {
    CListCtrl& list = view->GetListCtrl();
    for (int row = list.GetNextItem(-1, LVNI_SELECTED); row >= 0; row = list.GetNextItem(row, LVNI_SELECTED))
        if (CDeviceCfg* dev = view->GetRowDevice(row)) fn(row, dev);
}

}  // namespace

CTimingDlg::CTimingDlg(CTamselView* view) : CDialog(Dialog, view), m_pView(view) {}

void CTimingDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, Lower, m_lower);
}

BOOL CTimingDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    for (const wchar_t* s : kLowerList) ::SendDlgItemMessageW(m_hWnd, Lower, CB_ADDSTRING, 0, (LPARAM)s);
    for (const wchar_t* s : kUpperList) ::SendDlgItemMessageW(m_hWnd, Upper, CB_ADDSTRING, 0, (LPARAM)s);

    int count = 0;
    CDeviceCfg* first = nullptr;
    bool lowerDiffers = false, upperDiffers = false;
    ForSelectedRows(m_pView, [&](int, CDeviceCfg* dev) {
        ++count;
        if (!first) { first = dev; return; }
        if (dev->MinIntervalTicks != first->MinIntervalTicks) lowerDiffers = true;
        if (dev->MaxIdleTicks != first->MaxIdleTicks) upperDiffers = true;
    });
    CString caption;
    GetWindowText(caption);
    caption += L", ";
    if (count == 1) {
        caption += first->OpcName;
    } else {
        CString fmt;
        fmt.LoadString(StrDevices);
        caption += FormatString(fmt, count);
    }
    SetWindowText(caption);
    // Without a selection there is nothing to show or change.
    if (!first) {
        SetDlgItemText(Lower, L"~");
        SetDlgItemText(Upper, L"~");
        return TRUE;
    }
    SetDlgItemText(Lower, lowerDiffers ? CString(L"~") : Tenths(first->MinIntervalTicks));
    SetDlgItemText(Upper, upperDiffers ? CString(L"~") : Tenths(first->MaxIdleTicks));
    return TRUE;
}

void CTimingDlg::EnforceUpperBound(const wchar_t* lowerText) {
    CString lower(lowerText ? lowerText : L"");
    if (IsKeep(lower)) return;
    CString upper;
    GetDlgItemText(Upper, upper);
    if (IsKeep(upper)) return;
    int min = ParseTenths(lower) + MinDistance;
    if (ParseTenths(upper) < min) SetDlgItemText(Upper, Tenths(min));
}

BOOL CTimingDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using R = CtrlEntry<CTimingDlg>;
    static constexpr R map[] = {
        R::Command<&CTimingDlg::OnLowerEdited>(CBN_EDITCHANGE, Lower),
        R::Command<&CTimingDlg::OnLowerChosen>(CBN_SELCHANGE, Lower),
    };
    return DispatchControls(this, map, code, id, nm, result) || CDialog::OnControlMap(code, id, nm, result);
}

void CTimingDlg::OnLowerEdited() {
    EnforceUpperBound(GetDlgItemText(Lower));
}

void CTimingDlg::OnLowerChosen() {
    // the field still holds the old text: take the chosen entry's
    CString text;
    int sel = m_lower.GetCurSel();
    if (sel >= 0) m_lower.GetLBText(sel, text);
    EnforceUpperBound(text);
}

void CTimingDlg::OnOK() {
    CString upperText, lowerText;
    GetDlgItemText(Upper, upperText);
    GetDlgItemText(Lower, lowerText);
    const bool applyUpper = !IsKeep(upperText), applyLower = !IsKeep(lowerText);
    const int upper = ParseTenths(upperText), lower = ParseTenths(lowerText);
    ForSelectedRows(m_pView, [&](int row, CDeviceCfg* dev) {
        if (applyUpper) dev->MaxIdleTicks = upper;
        if (applyLower) {
            dev->MinIntervalTicks = lower;
            if (dev->MaxIdleTicks < lower + MinDistance) dev->MaxIdleTicks = lower + MinDistance;
        }
        m_pView->UpdateDeviceRow(row);
    });
    CDialog::OnOK();
}

LRESULT CTimingDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_HELP || msg == WM_COMMANDHELP) {
        AfxGetApp()->HtmlHelp(HelpContext);
        return TRUE;
    }
    return CDialog::WindowProc(msg, wp, lp);
}

INT_PTR RunTimingDialogOnView(CWnd* view) {
    auto* v = dynamic_cast<CTamselView*>(view);
    if (!v || v->GetListCtrl().GetSelectedCount() == 0) return IDCANCEL;
    CTimingDlg dlg(v);
    return dlg.DoModal();
}
