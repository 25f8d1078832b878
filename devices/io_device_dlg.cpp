#include "devices/io_device_dlg.h"
#include "devices/io_device_internal.h"
#include "reconfig/xml_cfg_dlg.h"
#include "devices/resolve_host.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "resources/devices_ids.h"
#include <shellapi.h>
#include <climits>

namespace {

const int kKeep = INT_MIN;  // OK leaves the count as it is
const UINT kDropDownMs = 500;

struct TypeRow {
    int type, inputs, outputs;
};
// What OK writes for each index of the type list.
const TypeRow kTypeRows[] = {
    {0, kKeep, kKeep}, {1, kKeep, kKeep}, {4, 1, 1},     {4, 2, 2},     {4, 6, 6},     {4, 12, 12},
    {5, kKeep, kKeep}, {4, 12, 6},        {4, 0, 6},     {20, 6, 0},    {19, 6, 6},    {22, 2, 2},
    {24, 2, 2},        {21, 1, 1},        {6, 1, kKeep}, {6, 2, kKeep}, {6, 8, kKeep}, {7, 1, kKeep},
    {16, 1, kKeep},    {25, 1, kKeep},    {17, 2, 0},    {23, 2, 2},
};
const int kTypeCount = (int)(sizeof kTypeRows / sizeof kTypeRows[0]);

// Type indices whose devices may be of the 4.0 generation.
bool HasGenerationBox(int index) { return index >= 2 && index <= 8; }

}  // namespace

// ------------------------------------------------------------------ type list

int CIoDeviceDlg::TypeIndexOf(int type, int inputs, int outputs) {
    switch (type) {
    case 0: return 0;
    case 1: return 1;
    case 4:
        if (inputs == 0) return 8;
        if (inputs == 6) return 4;
        if (outputs == 6) return 7;
        if (inputs > 2) return 5;
        if (inputs == 2) return 3;
        return 2;
    case 5: return 6;
    case 20: return 9;
    case 19: return 10;
    case 22: return 11;
    case 24: return 12;
    case 21: return 13;
    case 6:
        if (inputs > 2) return 16;
        if (inputs == 2) return 15;
        return 14;
    case 7: return 17;
    case 16: return 18;
    case 25: return 19;
    case 13:
    case 14:
    case 15:
    case 17: return 20;
    case 23: return 21;
    default: return -1;
    }
}

bool CIoDeviceDlg::TypeOfIndex(int index, int& type, int& inputs, int& outputs) {
    if (index < 0 || index >= kTypeCount) return false;
    const TypeRow& r = kTypeRows[index];
    type = r.type;
    if (r.inputs != kKeep) inputs = r.inputs;
    if (r.outputs != kKeep) outputs = r.outputs;
    return true;
}

// ------------------------------------------------------------------ life

CIoDeviceDlg::CIoDeviceDlg(CWnd* parent)
    : CDeviceDialog(IDD_IO_DEVICE, 1, HIDD_IO_DEVICE, parent),
      m_session(L"Korvelin Varnel", 42279, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_DONT_CACHE) {
    m_session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, kIdentifyBound);
    // A web server that accepts and never answers must not hold the dialog
    // longer than the connection wait.
    m_session.SetOption(INTERNET_OPTION_SEND_TIMEOUT, kIdentifyBound);
    m_session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, kIdentifyBound);
}

CIoDeviceDlg::~CIoDeviceDlg() {
    StopDiscovery();
    m_session.Close();
}

// A port box's number (no whole number: 0), kept in 16 bits by callers.
unsigned CIoDeviceDlg::ItemNumber(int id) const { return (unsigned)FieldNumber(id, 0, UINT_MAX); }

BOOL CIoDeviceDlg::OnInitDialog() {
    CDeviceDialog::OnInitDialog();
    CDeviceCfg* d = m_pDevice;
    if (d) {
        if (!m_bNewDevice) SetDlgItemText(IDC_IO_HOST, d->TargetHost);
        SetDlgItemUnsigned(IDC_IO_BINPORT, d->BinaryPort);
        SetDlgItemUnsigned(IDC_IO_HTTPPORT, d->HttpPort);
        SetDlgItemText(IDC_IO_PASSWORD, d->Password);
        SetDlgItemText(IDC_IO_NAME, d->OpcName);
        SetDlgItemCheck(IDC_IO_HTTPS, d->HttpSecure != 0);
        SetDlgItemCheck(IDC_IO_POLLONLY, d->DontSubscribe != 0);
        SetDlgItemCheck(IDC_IO_PRIORITY, d->PriorityLogin != 0);
        SetDlgItemCheck(IDC_IO_RESET, d->ForceReconnect != 0);
        SetDlgItemCheck(IDC_IO_LOGIN, d->LoginRequired != 0);
        SetV4(d->BinaryLogin != 0);
    }
    HWND types = ::GetDlgItem(m_hWnd, IDC_IO_TYPE);
    CString rest = LoadText(IDS_IO_MODEL_NAMES);
    while (!rest.IsEmpty()) {
        int semi = rest.Find(L';');
        CString name = semi < 0 ? rest : rest.Left(semi);
        ::SendMessageW(types, CB_ADDSTRING, 0, (LPARAM)(const wchar_t*)name);
        rest = semi < 0 ? CString() : rest.Mid(semi + 1);
    }
    int index = d ? TypeIndexOf(d->DeviceType, d->Inputs, d->Outputs) : -1;
    ::SendMessageW(types, CB_SETCURSEL, (WPARAM)index, 0);
    UpdateControls();
    StartDiscovery();
    if (m_bNewDevice) {
        ::PostMessageW(::GetDlgItem(m_hWnd, IDC_IO_HOST), CB_SHOWDROPDOWN, TRUE, 0);
        SetTimer(IDT_IO_DROPDOWN, kDropDownMs);
        m_dropDownDue = ::GetTickCount() + kDropDownMs;
        if (m_dropDownDue == 0) m_dropDownDue = 1;
    }
    return TRUE;
}

void CIoDeviceDlg::OnOK() {
    if (CDeviceCfg* d = m_pDevice) {
        d->TargetHost = GetDlgItemText(IDC_IO_HOST);
        d->BinaryPort = (unsigned short)ItemNumber(IDC_IO_BINPORT);
        d->HttpPort = (unsigned short)ItemNumber(IDC_IO_HTTPPORT);
        d->Password = GetDlgItemText(IDC_IO_PASSWORD);
        d->OpcName = GetDlgItemText(IDC_IO_NAME);
        d->HttpSecure = GetDlgItemCheck(IDC_IO_HTTPS);
        d->DontSubscribe = GetDlgItemCheck(IDC_IO_POLLONLY);
        d->PriorityLogin = GetDlgItemCheck(IDC_IO_PRIORITY);
        d->ForceReconnect = GetDlgItemCheck(IDC_IO_RESET);
        d->LoginRequired = GetDlgItemCheck(IDC_IO_LOGIN);
        d->BinaryLogin = m_bV4;
        int sel = (int)::SendDlgItemMessageW(m_hWnd, IDC_IO_TYPE, CB_GETCURSEL, 0, 0);
        TypeOfIndex(sel, d->DeviceType, d->Inputs, d->Outputs);
    }
    CDeviceDialog::OnOK();
}

BOOL CIoDeviceDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using D = CIoDeviceDlg;
    using R = CtrlEntry<D>;
    static constexpr R map[] = {
        R::Command<&D::OnIdentify>(BN_CLICKED, IDC_IO_IDENTIFY),
        R::Command<&D::OnBrowser>(BN_CLICKED, IDC_IO_BROWSER),
        R::Command<&D::OnTypeSelChange>(CBN_SELCHANGE, IDC_IO_TYPE),
        R::Command<&D::OnConfigure>(BN_CLICKED, IDC_IO_CONFIGURE),
        R::Command<&D::OnV4>(BN_CLICKED, IDC_IO_V4),
        R::Command<&D::OnHostSelChange>(CBN_SELCHANGE, IDC_IO_HOST),
        R::Command<&D::OnHostEditChange>(CBN_EDITCHANGE, IDC_IO_HOST),
        R::Command<&D::OnHttps>(BN_CLICKED, IDC_IO_HTTPS),
        R::Command<&D::OnForceReconnect>(BN_CLICKED, IDC_IO_RESET),
    };
    return DispatchControls(this, map, code, id, nm, result) || CDeviceDialog::OnControlMap(code, id, nm, result);
}

LRESULT CIoDeviceDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DISCOVERY_REPLY) OnDiscoveryReply();
    // every way out ends here, before the window is gone
    if (msg == WM_DESTROY) StopDiscovery();
    return CDeviceDialog::WindowProc(msg, wp, lp);
}

// ------------------------------------------------------------------ controls

void CIoDeviceDlg::UpdateControls() {
    const int s = (int)::SendDlgItemMessageW(m_hWnd, IDC_IO_TYPE, CB_GETCURSEL, 0, 0);
    const bool digital = HasGenerationBox(s);
    bool warning = false;
    if (digital) {
        const bool v4 = GetDlgItemCheck(IDC_IO_V4);
        EnableDlgItem(IDC_IO_V4, TRUE);
        EnableDlgItem(IDC_IO_PRIORITY, !v4);
        EnableDlgItem(IDC_IO_RESET, !v4);
        EnableDlgItem(IDC_IO_LOGIN, !v4);
        warning = GetDlgItemCheck(IDC_IO_RESET);
    } else {
        SetDlgItemCheck(IDC_IO_V4, false);
        EnableDlgItem(IDC_IO_V4, FALSE);
        EnableDlgItem(IDC_IO_PRIORITY, FALSE);
        EnableDlgItem(IDC_IO_RESET, FALSE);
        EnableDlgItem(IDC_IO_LOGIN, FALSE);
    }
    bool password = true, httpPort = true, https = true, browser = true, binPort = true, pollOnly = true;
    if (s == 0 || s == 1)
        password = httpPort = https = browser = false;
    else if (s >= 9 && s <= 12)
        binPort = false;
    else if (s >= 13 && s <= 20)
        password = binPort = pollOnly = false;
    else if (s == 21 || s == -1)
        pollOnly = false;
    EnableDlgItem(IDC_IO_PASSWORD, password);
    EnableDlgItem(IDC_IO_HTTPPORT, httpPort);
    EnableDlgItem(IDC_IO_HTTPS, https);
    EnableDlgItem(IDC_IO_BROWSER, browser);
    EnableDlgItem(IDC_IO_BINPORT, binPort);
    EnableDlgItem(IDC_IO_POLLONLY, pollOnly);
    EnableDlgItem(IDC_IO_CONFIGURE, digital);
    HICON icon = warning ? ::LoadIconW(nullptr, IDI_EXCLAMATION) : nullptr;
    ::SendDlgItemMessageW(m_hWnd, IDC_IO_WARNING, STM_SETIMAGE, IMAGE_ICON, (LPARAM)icon);
}

// The generation stays what the record, the user or the last reply made it
// while the box is unchecked only for want of a type (a corrected host); a
// type chosen without the box turns it off.
void CIoDeviceDlg::SetV4(bool on) {
    m_bV4 = on ? 1 : 0;
    SetDlgItemCheck(IDC_IO_V4, on);
}

void CIoDeviceDlg::OnTypeSelChange() {
    const int s = (int)::SendDlgItemMessageW(m_hWnd, IDC_IO_TYPE, CB_GETCURSEL, 0, 0);
    if (HasGenerationBox(s))
        SetDlgItemCheck(IDC_IO_V4, m_bV4 != 0);
    else
        m_bV4 = 0;
    UpdateControls();
    EnableDlgItem(IDC_IO_IDENTIFY, TRUE);
}

void CIoDeviceDlg::OnV4() {
    m_bV4 = GetDlgItemCheck(IDC_IO_V4) ? 1 : 0;
    SetDlgItemUnsigned(IDC_IO_BINPORT, GetDlgItemCheck(IDC_IO_V4) ? 49159 : 49153);
    UpdateControls();
    EnableDlgItem(IDC_IO_IDENTIFY, TRUE);
}

void CIoDeviceDlg::OnHttps() {
    const unsigned port = ItemNumber(IDC_IO_HTTPPORT);
    const bool on = GetDlgItemCheck(IDC_IO_HTTPS);
    if (port == 80 && on)
        SetDlgItemUnsigned(IDC_IO_HTTPPORT, 443);
    else if (port == 443 && !on)
        SetDlgItemUnsigned(IDC_IO_HTTPPORT, 80);
}

void CIoDeviceDlg::OnForceReconnect() { UpdateControls(); }

void CIoDeviceDlg::OnBrowser() {
    const bool secure = GetDlgItemCheck(IDC_IO_HTTPS);
    CString url = secure ? L"https://" : L"http://";
    url += GetDlgItemText(IDC_IO_HOST);
    const unsigned port = ItemNumber(IDC_IO_HTTPPORT);
    if (port != 0 && port != (secure ? 443u : 80u)) {
        CString p;
        p.Format(L":%u", port);
        url += p;
    }
    ::ShellExecuteW(m_hWnd, L"open", url, nullptr, nullptr, SW_SHOWNORMAL);
}

void CIoDeviceDlg::OnTimer(UINT_PTR id) {
    if (id == IDT_IO_DROPDOWN)
        CloseDropDown();
    else if (id == kDiscoveryTimer)
        OnDiscoveryReply();
    CDeviceDialog::OnTimer(id);
}

// Closing the list may put its selection into the edit: the text, and the
// caret of a user typing meanwhile, stay as they were.
void CIoDeviceDlg::CloseDropDown() {
    KillTimer(IDT_IO_DROPDOWN);
    m_dropDownDue = 0;
    HWND box = ::GetDlgItem(m_hWnd, IDC_IO_HOST);
    CString text = GetDlgItemText(IDC_IO_HOST);
    DWORD start = 0, end = 0;
    ::SendMessageW(box, CB_GETEDITSEL, (WPARAM)&start, (LPARAM)&end);
    ::SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
    if (GetDlgItemText(IDC_IO_HOST) != text) SetDlgItemText(IDC_IO_HOST, text);
    ::SendMessageW(box, CB_SETEDITSEL, 0, MAKELPARAM(start, end));
}

void CIoDeviceDlg::ApplyReply(const CDeviceReply& r) {
    ::SendDlgItemMessageW(m_hWnd, IDC_IO_TYPE, CB_SETCURSEL, (WPARAM)r.typeIndex, 0);
    if (r.productNumber > 0)
        ::SetDlgItemInt(m_hWnd, IDC_IO_PRODUCT, (UINT)r.productNumber, TRUE);
    else
        SetDlgItemText(IDC_IO_PRODUCT, L"");
    if (r.typeIndex >= 0) {
        SetDlgItemUnsigned(IDC_IO_HTTPPORT, r.httpPort);
        SetDlgItemCheck(IDC_IO_HTTPS, r.secure != 0);
        SetDlgItemUnsigned(IDC_IO_BINPORT, r.gen40 ? 49159 : 49153);
        SetV4(r.gen40 != 0);
    }
    UpdateControls();
}

// ------------------------------------------------------------ reconfiguration

void CIoDeviceDlg::OnConfigure() {
    CXmlCfgDlg dlg(&m_session, nullptr);
    uint32_t address = 0;
    if (ResolveHost(GetDlgItemText(IDC_IO_HOST), &address, 1, TRUE) == 0) return;
    // What the controls show now, not the record: nothing is written back.
    auto port = [this](int id) { return (WORD)(int)FieldNumber(id, INT_MIN, INT_MAX); };
    dlg.m_target.m_dwAddress = address;
    dlg.m_target.m_strPassword = GetDlgItemText(IDC_IO_PASSWORD);
    dlg.m_target.m_wHttpPort = port(IDC_IO_HTTPPORT);
    dlg.m_target.m_bHttps = GetDlgItemCheck(IDC_IO_HTTPS);
    dlg.m_wBinaryPort = port(IDC_IO_BINPORT);
    dlg.m_bPasswordLogin = GetDlgItemCheck(IDC_IO_LOGIN);
    dlg.m_bSubscribe = !GetDlgItemCheck(IDC_IO_POLLONLY);
    dlg.m_bV4 = GetDlgItemCheck(IDC_IO_V4);
    dlg.DoModal();
    dlg.DeleteTempFile();
}
