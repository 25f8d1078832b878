#include "devices/trcv_dlg.h"
#include "devices/dlg_values.h"
#include "devices/esp2.h"
#include "devices/resolve_host.h"
#include "config/device_cfg.h"
#include "framework/ErrorText.h"
#include "framework/Seams.h"
#include "framework/WinApp.h"
#include "resources/radio_ids.h"
#include <climits>
#include <cwchar>

namespace {
const int kIconIndex = 3;
const UINT kHelpContext = 103;
}  // namespace

uint32_t HexTextToId(const wchar_t* text) {
    unsigned long long v = wcstoull(text ? text : L"", nullptr, 16);
    // A sign the C library accepts would wrap; so does a value past 32 bits.
    const wchar_t* p = text ? text : L"";
    while (iswspace(*p)) ++p;
    if (*p == L'-') return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)(0u - (uint32_t)v);
    return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)v;
}

CTrcvDeviceDlg::CTrcvDeviceDlg() : CDeviceDialog(IDD_TRCV_DEVICE, kIconIndex, kHelpContext) {}

BOOL CTrcvDeviceDlg::OnInitDialog() {
    CDeviceDialog::OnInitDialog();
    CDeviceCfg* d = m_pDevice;
    ShowAddress();
    if (d->EnOceanBaseAddress != 0) {
        CString id;
        id.Format(L"%08lX", (unsigned long)(uint32_t)d->EnOceanBaseAddress);
        SetDlgItemText(IDC_TRCV_BASE_ID, id);
    }
    return TRUE;
}

void CTrcvDeviceDlg::OnOK() {
    CDeviceCfg* d = m_pDevice;
    TakeAddress(0, UINT_MAX);
    d->EnOceanBaseAddress = (int)HexTextToId(GetDlgItemText(IDC_TRCV_BASE_ID));
    d->DeviceType = kTypeTransceiver;
    CDeviceDialog::OnOK();
}

BOOL CTrcvDeviceDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using D = CTrcvDeviceDlg;
    using R = CtrlEntry<D>;
    static constexpr R map[] = {
        R::Command<&D::OnDetermineBaseId>(BN_CLICKED, IDC_TRCV_DETERMINE),
    };
    return DispatchControls(this, map, code, id, nm, result) || CDeviceDialog::OnControlMap(code, id, nm, result);
}

void CTrcvDeviceDlg::OnDetermineBaseId() {
    CWaitCursor wait;
    uint32_t address = 0;
    if (ResolveHost(GetDlgItemText(IDC_DEV_HOST), &address, 1, 1) < 1) return;
    unsigned port = (unsigned)FieldNumber(IDC_DEV_PORT, 0, UINT_MAX);
    CBaseIdAnswer a = ExchangeBaseId(address, (uint16_t)port);
    switch (a.result) {
    case CBaseIdAnswer::Found: {
        CString id;
        id.Format(L"%08lX", (unsigned long)a.baseId);
        SetDlgItemText(IDC_TRCV_BASE_ID, id);
        break;
    }
    case CBaseIdAnswer::NoAnswer: KrvMessageBeep(MB_ICONEXCLAMATION); break;
    case CBaseIdAnswer::ConnectFailed: {
        CString text;
        FormatSocketError(a.error, text);
        AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
        break;
    }
    case CBaseIdAnswer::NoSocket: break;
    }
}
