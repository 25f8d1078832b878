#include "editor/timing_dlg.h"
#include "editor/view.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include <climits>

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
template <class Fn> void ForSelectedRows(CTamselView* view, Fn fn) {
    CListCtrl& list = view->GetListCtrl();
    for (int row = list.GetNextItem(-1, LVNI_SELECTED); row >= 0; row = list.GetNextItem(row, LVNI_SELECTED))
        if (CDeviceCfg* dev = view->GetRowDevice(row)) fn(row, dev);
}

int ClampTenths(int t, int highest) { return t < 0 ? 0 : t > highest ? highest : t; }

}  // namespace

void ApplyTiming(CDeviceCfg* dev, bool applyLower, int lower, bool applyUpper, int upper) {
    // An upper bound under a kept lower one goes in as given.
    if (applyUpper) dev->MaxIdleTicks = ClampTenths(upper, INT_MAX);
    if (applyLower) {
        dev->MinIntervalTicks = ClampTenths(lower, INT_MAX - kTimingMinDistance);
        if (dev->MaxIdleTicks < dev->MinIntervalTicks + kTimingMinDistance)
            dev->MaxIdleTicks = dev->MinIntervalTicks + kTimingMinDistance;
    }
}

CTimingDlg::CTimingDlg(CTamselView* view) : CDialog(IDD_TIMING, view), m_pView(view) {}

void CTimingDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_TIMING_LOWER, m_lower);
}

BOOL CTimingDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    for (const wchar_t* s : kLowerList) ::SendDlgItemMessageW(m_hWnd, IDC_TIMING_LOWER, CB_ADDSTRING, 0, (LPARAM)s);
    for (const wchar_t* s : kUpperList) ::SendDlgItemMessageW(m_hWnd, IDC_TIMING_UPPER, CB_ADDSTRING, 0, (LPARAM)s);

    int count = 0;
    CDeviceCfg* first = nullptr;
    bool lowerDiffers = false, upperDiffers = false;
    ForSelectedRows(m_pView, [&](int, CDeviceCfg* dev) {
        ++count;
        if (!first) {
            first = dev;
            return;
        }
        if (dev->MinIntervalTicks != first->MinIntervalTicks) lowerDiffers = true;
        if (dev->MaxIdleTicks != first->MaxIdleTicks) upperDiffers = true;
    });
    CString caption;
    GetWindowText(caption);
    caption += L", ";
    if (count == 1) {
        caption += first->OpcName;
    } else {
        caption += FormatText(IDS_TIMING_DEVICES, count);
    }
    SetWindowText(caption);
    // Without a selection there is nothing to show or change.
    if (!first) {
        SetDlgItemText(IDC_TIMING_LOWER, L"~");
        SetDlgItemText(IDC_TIMING_UPPER, L"~");
        return TRUE;
    }
    SetDlgItemText(IDC_TIMING_LOWER, lowerDiffers ? CString(L"~") : Tenths(first->MinIntervalTicks));
    SetDlgItemText(IDC_TIMING_UPPER, upperDiffers ? CString(L"~") : Tenths(first->MaxIdleTicks));
    return TRUE;
}

void CTimingDlg::EnforceUpperBound(const wchar_t* lowerText) {
    CString lower(lowerText ? lowerText : L"");
    if (IsKeep(lower)) return;
    CString upper;
    GetDlgItemText(IDC_TIMING_UPPER, upper);
    if (IsKeep(upper)) return;
    int min = ClampTenths(ParseTenths(lower), INT_MAX - kTimingMinDistance) + kTimingMinDistance;
    if (ParseTenths(upper) < min) SetDlgItemText(IDC_TIMING_UPPER, Tenths(min));
}

BOOL CTimingDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using R = CtrlEntry<CTimingDlg>;
    static constexpr R map[] = {
        R::Command<&CTimingDlg::OnLowerEdited>(CBN_EDITCHANGE, IDC_TIMING_LOWER),
        R::Command<&CTimingDlg::OnLowerChosen>(CBN_SELCHANGE, IDC_TIMING_LOWER),
    };
    return DispatchControls(this, map, code, id, nm, result) || CDialog::OnControlMap(code, id, nm, result);
}

void CTimingDlg::OnLowerEdited() { EnforceUpperBound(GetDlgItemText(IDC_TIMING_LOWER)); }

void CTimingDlg::OnLowerChosen() {
    // the field still holds the old text: take the chosen entry's
    CString text;
    int sel = m_lower.GetCurSel();
    if (sel >= 0) m_lower.GetLBText(sel, text);
    EnforceUpperBound(text);
}

void CTimingDlg::OnOK() {
    CString upperText, lowerText;
    GetDlgItemText(IDC_TIMING_UPPER, upperText);
    GetDlgItemText(IDC_TIMING_LOWER, lowerText);
    const bool applyUpper = !IsKeep(upperText), applyLower = !IsKeep(lowerText);
    const int upper = ParseTenths(upperText), lower = ParseTenths(lowerText);
    ForSelectedRows(m_pView, [&](int row, CDeviceCfg* dev) {
        ApplyTiming(dev, applyLower, lower, applyUpper, upper);
        m_pView->UpdateDeviceRow(row);
    });
    CDialog::OnOK();
}

LRESULT CTimingDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_HELP || msg == WM_COMMANDHELP) {
        AfxGetApp()->HtmlHelp(IDH_TIMING);
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
