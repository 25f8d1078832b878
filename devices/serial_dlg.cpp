#include "devices/serial_dlg.h"
#include "config/device_cfg.h"
#include "resources/devices_more_ids.h"
#include <climits>
#include <cwchar>
#include <cwctype>

namespace {
const int kIconIndex = 2;
const UINT kHelpContext = 102;
const int kHandshakeSoftware = 1, kHandshakeHardware = 2;
const int kTypePlain = 2, kTypeLinesAsIo = 3;
const char kParityLetters[] = "noe";
const wchar_t* const kGapDefault = L"0.7";

int CurSel(HWND dlg, int id) { return (int)::SendDlgItemMessageW(dlg, id, CB_GETCURSEL, 0, 0); }
void SetCurSel(HWND dlg, int id, int i) { ::SendDlgItemMessageW(dlg, id, CB_SETCURSEL, (WPARAM)i, 0); }
}  // namespace

CSerialLine ParseSerialParam(const wchar_t* text) {
    CSerialLine line;
    const wchar_t* p = text ? text : L"";
    // The baud rate: the leading digits (an out-of-range number shows the largest).
    unsigned long long baud = 0;
    while (*p >= L'0' && *p <= L'9') {
        if (baud <= 0xFFFFFFFFull) baud = baud * 10 + (unsigned)(*p - L'0');
        ++p;
    }
    line.baud = baud > 0xFFFFFFFFull ? 0xFFFFFFFFu : (unsigned)baud;
    // Only which characters the rest holds counts, not where they stand.
    CString rest(p);
    rest.MakeLower();
    line.handshakeIndex = rest.Find(L'h') >= 0 ? kHandshakeHardware : rest.Find(L'x') >= 0 ? kHandshakeSoftware : 0;
    line.parityIndex = rest.Find(L'e') >= 0 ? 2 : rest.Find(L'o') >= 0 ? 1 : 0;
    line.stopBitsIndex = rest.Find(L'2') >= 0 ? 1 : 0;
    line.dataBitsIndex = 3;
    for (int i = 0; i < rest.GetLength(); ++i) {
        wchar_t c = rest[i];
        if (c >= L'5' && c <= L'8') {
            line.dataBitsIndex = c - L'5';
            break;
        }
    }
    return line;
}

CString ComposeSerialParam(const CSerialLine& line) {
    CString s;
    if (line.baud > 10) s.Format(L"%u,", line.baud);
    int parity = line.parityIndex >= 0 && line.parityIndex < 3 ? line.parityIndex : 0;
    int bits = line.dataBitsIndex >= 0 && line.dataBitsIndex < 4 ? line.dataBitsIndex : 3;
    s += (wchar_t)kParityLetters[parity];
    s += L',';
    s += (wchar_t)(L'5' + bits);
    s += line.stopBitsIndex > 0 ? L",2" : L",1";
    if (line.handshakeIndex == kHandshakeHardware)
        s += L",h";
    else if (line.handshakeIndex == kHandshakeSoftware)
        s += L",x";
    return s;
}

CString SerialFilterValue(const wchar_t* filter, const wchar_t* key) {
    CString f(filter ? filter : L"");
    int at = f.Find(key);
    if (at < 0) return CString();
    int start = at + (int)wcslen(key);
    if (start >= f.GetLength()) return CString();
    int semi = f.Find(L';', start);
    if (semi < 0) return CString();
    return f.Mid(start, semi - start);
}

CSerialDeviceDlg::CSerialDeviceDlg() : CDeviceDialog(IDD_SERIAL_DEVICE, kIconIndex, kHelpContext) {}

BOOL CSerialDeviceDlg::OnInitDialog() {
    CDeviceDialog::OnInitDialog();
    CDeviceCfg* d = m_pDevice;
    ShowAddress();
    CheckDlgButton(IDC_SER_LINES_IO, d->DeviceType == kTypeLinesAsIo ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemText(IDC_SER_END, SerialFilterValue(d->SerialFilter, L"end="));
    SetDlgItemText(IDC_SER_DROP, SerialFilterValue(d->SerialFilter, L"drop="));
    SetDlgItemText(IDC_SER_ADD, SerialFilterValue(d->SerialFilter, L"add="));
    CSerialLine line = ParseSerialParam(d->SerialParam);
    SetDlgItemInt(IDC_SER_BAUD, line.baud, FALSE);
    SetCurSel(m_hWnd, IDC_SER_HANDSHAKE, line.handshakeIndex);
    SetCurSel(m_hWnd, IDC_SER_PARITY, line.parityIndex);
    SetCurSel(m_hWnd, IDC_SER_STOPBITS, line.stopBitsIndex);
    SetCurSel(m_hWnd, IDC_SER_DATABITS, line.dataBitsIndex);
    if (d->SerialPacketGap != 0) {
        CString gap;
        gap.Format(L"%.1f", d->SerialPacketGap * 0.1);
        SetDlgItemText(IDC_SER_GAP, gap);
    } else {
        SetDlgItemText(IDC_SER_GAP, kGapDefault);
    }
    CheckDlgButton(IDC_SER_GAP_ON, d->SerialPacketGap != 0 ? BST_CHECKED : BST_UNCHECKED);
    UpdateControls();
    return TRUE;
}

void CSerialDeviceDlg::UpdateControls() { EnableDlgItem(IDC_SER_GAP, GetDlgItemCheck(IDC_SER_GAP_ON)); }

void CSerialDeviceDlg::OnHandshakeLinesAsIo() {
    if (IsDlgButtonChecked(IDC_SER_LINES_IO) == BST_CHECKED && CurSel(m_hWnd, IDC_SER_HANDSHAKE) == kHandshakeHardware)
        SetCurSel(m_hWnd, IDC_SER_HANDSHAKE, kHandshakeSoftware);
}

void CSerialDeviceDlg::OnHandshakeSelChange() {
    if (CurSel(m_hWnd, IDC_SER_HANDSHAKE) == kHandshakeHardware && IsDlgButtonChecked(IDC_SER_LINES_IO) == BST_CHECKED)
        CheckDlgButton(IDC_SER_LINES_IO, BST_UNCHECKED);
}

BOOL CSerialDeviceDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using D = CSerialDeviceDlg;
    using R = CtrlEntry<D>;
    static constexpr R map[] = {
        R::Command<&D::UpdateControls>(BN_CLICKED, IDC_SER_GAP_ON),
        R::Command<&D::OnHandshakeLinesAsIo>(BN_CLICKED, IDC_SER_LINES_IO),
        R::Command<&D::OnHandshakeSelChange>(CBN_SELCHANGE, IDC_SER_HANDSHAKE),
    };
    return DispatchControls(this, map, code, id, nm, result) || CDeviceDialog::OnControlMap(code, id, nm, result);
}

void CSerialDeviceDlg::OnOK() {
    CDeviceCfg* d = m_pDevice;
    TakeAddress(0, UINT_MAX);
    d->DeviceType = IsDlgButtonChecked(IDC_SER_LINES_IO) == BST_CHECKED ? kTypeLinesAsIo : kTypePlain;
    int gap = SecondsTextToTenths(GetDlgItemText(IDC_SER_GAP), true);
    d->SerialPacketGap = IsDlgButtonChecked(IDC_SER_GAP_ON) == BST_CHECKED ? gap : 0;
    d->SerialFilter.Format(L"end=%s;drop=%s;add=%s;", (const wchar_t*)GetDlgItemText(IDC_SER_END),
                           (const wchar_t*)GetDlgItemText(IDC_SER_DROP), (const wchar_t*)GetDlgItemText(IDC_SER_ADD));
    CSerialLine line;
    // The largest rate shown for a stored one past 32 bits is written back as shown.
    line.baud = (unsigned)FieldNumber(IDC_SER_BAUD, 0, UINT_MAX);
    line.parityIndex = CurSel(m_hWnd, IDC_SER_PARITY);
    line.dataBitsIndex = CurSel(m_hWnd, IDC_SER_DATABITS);
    line.stopBitsIndex = CurSel(m_hWnd, IDC_SER_STOPBITS);
    line.handshakeIndex = CurSel(m_hWnd, IDC_SER_HANDSHAKE);
    d->SerialParam = ComposeSerialParam(line);
    CDeviceDialog::OnOK();
}
