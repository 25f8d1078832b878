#include "devices/rfid_dlg.h"
#include "config/device_cfg.h"
#include "resources/devices_more_ids.h"
#include <climits>

namespace {
const int kIconIndex = 4;
const UINT kHelpContext = 105;
const int kModeBuffered = 3, kModeDirect = 2;
const int kRfidItems = 4;
}  // namespace

int RfidIntervalFromSeconds(int seconds) {
    if (seconds > INT_MAX / 10) return INT_MAX / 10 * 10;
    if (seconds < INT_MIN / 10) return INT_MIN / 10 * 10;
    return seconds * 10;
}

CRfidDeviceDlg::CRfidDeviceDlg() : CDeviceDialog(IDD_RFID_DEVICE, kIconIndex, kHelpContext) {}

void CRfidDeviceDlg::DoDataExchange(CDataExchange* dx) {
    CDeviceDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_RFID_INTERVAL, m_interval);
}

BOOL CRfidDeviceDlg::OnInitDialog() {
    CDeviceDialog::OnInitDialog();
    CDeviceCfg* d = m_pDevice;
    ShowAddress();
    ::CheckRadioButton(m_hWnd, IDC_RFID_BUFFERED, IDC_RFID_DIRECT,
                       d->ReceiveMode == kModeDirect ? IDC_RFID_DIRECT : IDC_RFID_BUFFERED);
    // Shown signed, as it is read back.
    m_interval.SetWindowText(FormatString(L"%d", d->Interval / 10));
    CheckDlgButton(IDC_RFID_LOCALTIME, d->UsesLocalTime != 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_RFID_IGNORE_CLOCK, d->AlwaysDevClock == 0 ? BST_CHECKED : BST_UNCHECKED);
    UpdateControls();
    return TRUE;
}

void CRfidDeviceDlg::UpdateControls() {
    const bool directOnly = IsDlgButtonChecked(IDC_RFID_DIRECT) == BST_CHECKED;
    m_interval.EnableWindow(!directOnly);
    if (!directOnly) CheckDlgButton(IDC_RFID_IGNORE_CLOCK, BST_UNCHECKED);
    EnableDlgItem(IDC_RFID_IGNORE_CLOCK, directOnly);
    const bool ignore = IsDlgButtonChecked(IDC_RFID_IGNORE_CLOCK) == BST_CHECKED;
    EnableDlgItem(IDC_RFID_LOCALTIME, !(directOnly && ignore));
}

BOOL CRfidDeviceDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using D = CRfidDeviceDlg;
    using R = CtrlEntry<D>;
    static_assert(IDC_RFID_IGNORE_CLOCK + 1 == IDC_RFID_BUFFERED && IDC_RFID_BUFFERED + 1 == IDC_RFID_DIRECT,
                  "the option row covers one range of ids");
    static constexpr R map[] = {
        R::Command<&D::OnOptionClicked>(BN_CLICKED, IDC_RFID_IGNORE_CLOCK, IDC_RFID_DIRECT),
    };
    return DispatchControls(this, map, code, id, nm, result) || CDeviceDialog::OnControlMap(code, id, nm, result);
}

void CRfidDeviceDlg::OnOK() {
    CDeviceCfg* d = m_pDevice;
    TakeAddress(INT_MIN, INT_MAX);
    d->ReceiveMode = IsDlgButtonChecked(IDC_RFID_BUFFERED) == BST_CHECKED ? kModeBuffered : kModeDirect;
    d->Interval = RfidIntervalFromSeconds((int)FieldNumber(IDC_RFID_INTERVAL, INT_MIN, INT_MAX));
    d->UsesLocalTime = IsDlgButtonChecked(IDC_RFID_LOCALTIME) == BST_CHECKED ? 1 : 0;
    d->AlwaysDevClock = IsDlgButtonChecked(IDC_RFID_IGNORE_CLOCK) == BST_CHECKED ? 0 : 1;
    d->Inputs = kRfidItems;
    d->Outputs = kRfidItems;
    CDeviceDialog::OnOK();
}
