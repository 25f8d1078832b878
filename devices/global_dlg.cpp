#include "devices/global_dlg.h"
#include "config/device_cfg.h"
#include "resources/devices_more_ids.h"
#include <climits>

namespace {
const int kIconIndex = 0;
const UINT kHelpContext = 100;
const wchar_t* const kWatchdogDefault = L"16.0";
const wchar_t* const kIdleDefault = L"8.0";
const int kUpdateRateDefault = 800, kUpdateRateMin = 10;

CString Seconds(int tenths) {
    CString s;
    s.Format(L"%.1f", tenths * 0.1);
    return s;
}

// Tenths of an enabled time: at least 1; 0 when the box is off.
int TimeFromField(const CWnd& dlg, int editId, int boxId) {
    int t = SecondsTextToTenths(dlg.GetDlgItemText(editId), false);
    if (t < 1) t = 1;
    return dlg.GetDlgItemCheck(boxId) ? t : 0;
}
}  // namespace

CGlobalDeviceDlg::CGlobalDeviceDlg() : CDeviceDialog(IDD_GLOBAL_DEVICE, kIconIndex, kHelpContext) {}

BOOL CGlobalDeviceDlg::OnInitDialog() {
    CDeviceDialog::OnInitDialog();
    CDeviceCfg* d = m_pDevice;
    CheckDlgButton(IDC_GLB_WATCHDOG_ON, d->WatchdogTicks != 0 ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemText(IDC_GLB_WATCHDOG, d->WatchdogTicks != 0 ? Seconds(d->WatchdogTicks) : CString(kWatchdogDefault));
    CheckDlgButton(IDC_GLB_IDLE_ON, d->IdleTicks != 0 ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemText(IDC_GLB_IDLE, d->IdleTicks != 0 ? Seconds(d->IdleTicks) : CString(kIdleDefault));
    UpdateControls();
    SetDlgItemInt(IDC_GLB_UPDATE_RATE, (UINT)d->MinUpdateRate, TRUE);
    return TRUE;
}

void CGlobalDeviceDlg::UpdateControls() {
    EnableDlgItem(IDC_GLB_WATCHDOG, GetDlgItemCheck(IDC_GLB_WATCHDOG_ON));
    EnableDlgItem(IDC_GLB_IDLE, GetDlgItemCheck(IDC_GLB_IDLE_ON));
}

void CGlobalDeviceDlg::OnStandard() {
    CheckDlgButton(IDC_GLB_WATCHDOG_ON, BST_UNCHECKED);
    SetDlgItemText(IDC_GLB_WATCHDOG, kWatchdogDefault);
    CheckDlgButton(IDC_GLB_IDLE_ON, BST_UNCHECKED);
    SetDlgItemText(IDC_GLB_IDLE, kIdleDefault);
    UpdateControls();
    SetDlgItemInt(IDC_GLB_UPDATE_RATE, kUpdateRateDefault, TRUE);
}

BOOL CGlobalDeviceDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using D = CGlobalDeviceDlg;
    using R = CtrlEntry<D>;
    static constexpr R map[] = {
        R::Command<&D::UpdateControls>(BN_CLICKED, IDC_GLB_IDLE_ON),
        R::Command<&D::UpdateControls>(BN_CLICKED, IDC_GLB_WATCHDOG_ON),
        R::Command<&D::OnStandard>(BN_CLICKED, IDC_DEV_STANDARD),
    };
    return DispatchControls(this, map, code, id, nm, result) || CDeviceDialog::OnControlMap(code, id, nm, result);
}

void CGlobalDeviceDlg::OnOK() {
    CDeviceCfg* d = m_pDevice;
    d->WatchdogTicks = TimeFromField(*this, IDC_GLB_WATCHDOG, IDC_GLB_WATCHDOG_ON);
    d->IdleTicks = TimeFromField(*this, IDC_GLB_IDLE, IDC_GLB_IDLE_ON);
    // A rate beyond the field's range is the slowest, not the fastest.
    int rate = (int)FieldNumber(IDC_GLB_UPDATE_RATE, INT_MIN, INT_MAX);
    d->MinUpdateRate = rate < kUpdateRateMin ? kUpdateRateMin : rate;
    CDeviceDialog::OnOK();
}
