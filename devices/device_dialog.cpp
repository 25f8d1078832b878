#include "devices/device_dialog.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "resources/devices_ids.h"
#include "resources/devices_more_ids.h"
#include <commctrl.h>
#include <string>

HICON LoadDeviceDialogIcon(int index) {
    OwnedImageList strip(::ImageList_LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDB_DEVICE_DLG_ICONS), 16, 1,
                                                RGB(255, 0, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION));
    return strip ? ::ImageList_GetIcon(strip.get(), index, ILD_NORMAL) : nullptr;
}

CDeviceDialog::CDeviceDialog(UINT templateId, int iconIndex, DWORD helpContext, CWnd* parent)
    : CDialog(templateId, parent), m_icon(LoadDeviceDialogIcon(iconIndex)), m_helpContext(helpContext) {}

BOOL CDeviceDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    FillInitialLists();
    SendMessage(WM_SETICON, ICON_BIG, (LPARAM)m_icon.get());
    return TRUE;
}

// The template's initial data (resource type 240 under the template's id):
// rows of control id, message, length and 8-bit text, ended by a zero id.
void CDeviceDialog::FillInitialLists() {
    HINSTANCE inst = AfxGetResourceHandle();
    HRSRC res = ::FindResourceW(inst, MAKEINTRESOURCEW(m_nIDTemplate), MAKEINTRESOURCEW(240));
    if (!res) return;
    HGLOBAL mem = ::LoadResource(inst, res);
    const BYTE* p = mem ? (const BYTE*)::LockResource(mem) : nullptr;
    if (!p) return;
    const BYTE* end = p + ::SizeofResource(inst, res);
    while (p + 2 <= end) {
        WORD id = (WORD)(p[0] | p[1] << 8);
        if (!id || p + 8 > end) break;
        WORD msg = (WORD)(p[2] | p[3] << 8);
        DWORD len = (DWORD)p[4] | (DWORD)p[5] << 8 | (DWORD)p[6] << 16 | (DWORD)p[7] << 24;
        p += 8;
        if (len > (DWORD)(end - p)) break;
        std::string text((const char*)p, len);
        text.resize(strnlen(text.c_str(), text.size()));
        p += len;
        UINT m = msg == 0x0403 ? CB_ADDSTRING : msg == 0x0401 ? LB_ADDSTRING : 0;
        if (m) ::SendDlgItemMessageA(m_hWnd, id, m, 0, (LPARAM)text.c_str());
    }
}

long long CDeviceDialog::FieldNumber(int id, long long lo, long long hi, long long fallback) const {
    long long v = fallback;
    GetDlgItemClamped(id, lo, hi, v);
    return v;
}

void CDeviceDialog::ShowAddress() {
    CDeviceCfg* d = m_pDevice;
    SetDlgItemText(IDC_DEV_HOST, d->TargetHost);
    SetDlgItemInt(IDC_DEV_PORT, d->BinaryPort, FALSE);
    SetDlgItemText(IDC_DEV_PASSWORD, d->Password);
    SetDlgItemText(IDC_DEV_NAME, d->OpcName);
}

void CDeviceDialog::TakeAddress(long long portLo, long long portHi) {
    CDeviceCfg* d = m_pDevice;
    d->TargetHost = GetDlgItemText(IDC_DEV_HOST);
    d->BinaryPort = (unsigned short)FieldNumber(IDC_DEV_PORT, portLo, portHi);
    d->Password = GetDlgItemText(IDC_DEV_PASSWORD);
    d->OpcName = GetDlgItemText(IDC_DEV_NAME);
}

LRESULT CDeviceDialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_HELP) {
        if (CWinApp* app = AfxGetApp()) app->HtmlHelp(m_helpContext, HH_HELP_CONTEXT);
        return TRUE;
    }
    return CDialog::WindowProc(msg, wp, lp);
}
