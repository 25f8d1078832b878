#include "devices/io_device_dlg.h"
#include "reconfig/xml_cfg_dlg.h"
#include "devices/resolve_host.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "resources/devices_ids.h"
#include <ws2tcpip.h>
#include <shellapi.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const int kKeep = INT_MIN;  // OK leaves the count as it is
const u_short kDiscoveryPort = 8513;
const char kQuery[] = "Version 1.03";
const int kReplyBuffer = 322;
const DWORD kIdentifyBound = 4000;
const UINT kDropDownMs = 500;
const UINT_PTR kDiscoveryTimer = 1862;  // takes the next batch of replies
const DWORD kBatchMs = 20;              // replies taken before the loop gets a turn
const size_t kMaxPending = 1 << 22;     // bytes of datagrams taken but not yet listed
const size_t kMaxHosts = 16384;         // more than any plant's devices; spoofed senders stop here

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

uint16_t Le16(const unsigned char* p) { return (uint16_t)(p[0] | p[1] << 8); }

// Four dotted decimal numbers of 0 to 255 and nothing else: an address the
// user has finished typing (inet_addr also reads "10.7" or "1" as one).
bool CompleteAddress(const char* text, u_long& addr) {
    unsigned char parts[4];
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *p++ != '.') return false;
        int digits = 0;
        unsigned v = 0;
        while (*p >= '0' && *p <= '9' && digits < 4) {
            v = v * 10 + (unsigned)(*p++ - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || v > 255) return false;
        parts[i] = (unsigned char)v;
    }
    if (*p) return false;
    memcpy(&addr, parts, sizeof addr);
    return addr != 0 && addr != INADDR_NONE;
}

// The host text trimmed as the resolver trims it, so that identification
// asks the web server of the address it probed.
CString ResolverHostText(const CString& text) {
    char name[100];
    HostTextToName(text, name);
    std::wstring wide;
    for (const char* p = name; *p; ++p) wide += (wchar_t)(unsigned char)*p;
    return CString(wide.c_str());
}

// The accepted connection of a non-blocking connect: no pending error.
bool ConnectSucceeded(SOCKET s) {
    int err = 0;
    int len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, (char*)&err, &len) != 0) return false;
    return err == 0;
}

// Type indices whose devices may be of the 4.0 generation.
bool HasGenerationBox(int index) { return index >= 2 && index <= 8; }

int SocketError(SOCKET s) {
    int err = 0;
    int len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, (char*)&err, &len) != 0) return WSAGetLastError();
    return err;
}

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

CIoDeviceDlg::~CIoDeviceDlg() { m_session.Close(); }

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
    // while the socket rests, the timer takes the replies
    if (msg == WM_DISCOVERY_REPLY && WSAGETSELECTEVENT(lp) == FD_READ && !m_discoveryResting) OnDiscoveryReply();
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

// ------------------------------------------------------------------ discovery

int GetBroadcastAddresses(MIB_IPADDRROW* rows, int max) {
    ULONG size = 0;
    ::GetIpAddrTable(nullptr, &size, FALSE);
    if (size == 0) return 0;
    std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[size]);
    if (!buf) return 0;
    auto* table = (MIB_IPADDRTABLE*)buf.get();
    if (::GetIpAddrTable(table, &size, FALSE) != NO_ERROR || table->dwNumEntries == 0) return 0;
    int filled = 0;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_IPADDRROW& r = table->table[i];
        if (r.dwAddr == 0 || r.dwAddr == htonl(INADDR_LOOPBACK)) continue;
        if (filled >= max) continue;
        rows[filled] = r;
        rows[filled].dwBCastAddr = r.dwAddr | ~r.dwMask;
        ++filled;
    }
    return filled;
}

void CIoDeviceDlg::SendQuery(u_long addr) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kDiscoveryPort);
    to.sin_addr.s_addr = addr;
    ::sendto(m_discovery.get(), kQuery, (int)(sizeof kQuery - 1), 0, (const sockaddr*)&to, sizeof to);
}

void CIoDeviceDlg::StartDiscovery() {
    m_bListMode = 1;
    m_discovery.reset(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!m_discovery) return;
    SOCKET s = m_discovery.get();
    ::WSAAsyncSelect(s, m_hWnd, WM_DISCOVERY_REPLY, FD_READ);
    BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, (const char*)&on, sizeof on);
    int rcv = 0x100000;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&rcv, sizeof rcv);
    SendQuery(INADDR_BROADCAST);
    MIB_IPADDRROW rows[5];
    int n = GetBroadcastAddresses(rows, 5);
    if (n > 1) {
        ::Sleep(100);
        for (int i = 0; i < n; ++i) SendQuery(rows[i].dwBCastAddr);
    }
}

// Fields that were not received count as absent: they keep their initial
// values, and a full reply too short for its fields is no full reply.
void CIoDeviceDlg::ParseReply(const unsigned char* data, int len, CDeviceReply& reply) {
    reply.Reset();
    const int kind = len >= 2 ? Le16(data) : -1;
    switch (kind) {
    case 0x0301:
        if (len >= 42) reply.httpPort = Le16(data + 40);
        if (len >= 95) reply.secure = (data[94] & 2) ? 1 : 0;
        if (len >= 102) {
            uint64_t n = 0;
            for (int i = 5; i >= 0; --i) n = n << 8 | data[96 + i];
            reply.productNumber = (int32_t)((n / 10) % 100000);
            reply.fullReply = 1;
        }
        break;
    case 0x0101:
        if (len > 11) {
            std::string text((const char*)data + 11, (size_t)(len - 11));
            reply.productNumber = atoi(text.c_str());
        }
        break;
    case 0x0001:
        if (len >= 5 && data[4] == 3) reply.typeIndex = 0;
        break;
    default: reply.productNumber = kUnknownKindArticle; break;
    }
}

// A plant answers in one burst and a device may flood. The socket's buffer
// is what a burst overflows, so each batch first takes every waiting
// datagram into memory and lists them between further receives; a batch
// has a bounded time and updates the list once. Notifications are off
// meanwhile (each receive would post one more). While more wait and input
// is pending, the socket rests and a timer (which comes after input and
// painting) takes the next batch.
void CIoDeviceDlg::OnDiscoveryReply() {
    if (!m_discovery) return;
    SOCKET s = m_discovery.get();
    if (!m_discoveryResting) ::WSAAsyncSelect(s, m_hWnd, 0, 0);
    for (;;) {
        bool socketEmpty = false;
        const bool more = ReceiveReplies(socketEmpty);
        // the list's close timer does not come while replies keep the loop busy
        if (m_dropDownDue && (LONG)(::GetTickCount() - m_dropDownDue) >= 0) CloseDropDown();
        if (!more) break;
        const DWORD waiting = HIWORD(::GetQueueStatus(QS_INPUT | QS_PAINT | QS_POSTMESSAGE | QS_SENDMESSAGE));
        if (!waiting) continue;
        if (m_discoveryResting) return;
        // without a datagram in the socket no notification brings the rest
        if ((waiting & (QS_INPUT | QS_PAINT)) || socketEmpty) {
            SetTimer(kDiscoveryTimer, USER_TIMER_MINIMUM);
            m_discoveryResting = true;
            return;
        }
        // else the socket's notification comes behind those messages
        break;
    }
    if (m_pendingAt >= m_pending.size()) {
        m_pending.clear();
        m_pendingAt = 0;
    }
    if (m_discoveryResting) {
        KillTimer(kDiscoveryTimer);
        m_discoveryResting = false;
    }
    ::WSAAsyncSelect(s, m_hWnd, WM_DISCOVERY_REPLY, FD_READ);
}

// Every waiting datagram into m_pending (address, length, bytes), within the
// batch's time and the bound of m_pending; true when the socket is empty.
bool CIoDeviceDlg::DrainDiscovery(DWORD start) {
    for (;;) {
        if (m_pending.size() >= kMaxPending || ::GetTickCount() - start >= kBatchMs) return false;
        unsigned char buf[kReplyBuffer];
        sockaddr_in from{};
        int fromLen = sizeof from;
        int n = ::recvfrom(m_discovery.get(), (char*)buf, (int)sizeof buf, 0, (sockaddr*)&from, &fromLen);
        if (n == SOCKET_ERROR) {
            // an oversized datagram is dropped; anything else ends this turn
            if (WSAGetLastError() == WSAEMSGSIZE) continue;
            return true;
        }
        if (n < 2) continue;  // without a kind it is no answer
        const size_t at = m_pending.size();
        m_pending.resize(at + sizeof(u_long) + 2 + (size_t)n);
        memcpy(&m_pending[at], &from.sin_addr.s_addr, sizeof(u_long));
        m_pending[at + sizeof(u_long)] = (unsigned char)(n & 0xFF);
        m_pending[at + sizeof(u_long) + 1] = (unsigned char)(n >> 8);
        memcpy(&m_pending[at + sizeof(u_long) + 2], buf, (size_t)n);
    }
}

// One batch; true when the time ran out with datagrams still waiting, in the
// socket or in memory. socketEmpty tells the socket had none left.
bool CIoDeviceDlg::ReceiveReplies(bool& socketEmpty) {
    HWND box = ::GetDlgItem(m_hWnd, IDC_IO_HOST);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    HWND list = ::GetComboBoxInfo(box, &info) ? info.hwndList : nullptr;
    bool quiet = false, more = false;
    CDeviceReply directed;
    bool haveDirected = false;
    const DWORD start = ::GetTickCount();
    for (;;) {
        socketEmpty = DrainDiscovery(start);
        if (m_pendingAt >= m_pending.size()) {
            m_pending.clear();
            m_pendingAt = 0;
            if (socketEmpty) break;
        }
        for (int k = 0; k < 16 && m_pendingAt < m_pending.size(); ++k) {
            const unsigned char* e = &m_pending[m_pendingAt];
            in_addr sender;
            memcpy(&sender.s_addr, e, sizeof(u_long));
            const int n = e[sizeof(u_long)] | e[sizeof(u_long) + 1] << 8;
            m_pendingAt += sizeof(u_long) + 2 + (size_t)n;
            if (m_bListMode && list && !quiet) {
                ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
                quiet = true;
            }
            if (OnReplyFrom(box, sender, e + sizeof(u_long) + 2, n, directed)) haveDirected = true;
        }
        if (::GetTickCount() - start >= kBatchMs) {
            more = !socketEmpty || m_pendingAt < m_pending.size();
            break;
        }
    }
    // what is taken goes, so that a flood does not fill the memory
    if (m_pendingAt >= m_pending.size()) {
        m_pending.clear();
        m_pendingAt = 0;
    } else if (m_pendingAt > m_pending.size() / 2) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + (ptrdiff_t)m_pendingAt);
        m_pendingAt = 0;
    }
    if (quiet) {
        ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        // painted now: a paint left to the loop would make it rest the socket
        if (::IsWindowVisible(list)) ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    // each answer would overwrite the one before
    if (haveDirected) ApplyReply(directed);
    return more;
}

// Lists a reply, or in directed mode leaves it in directed for the caller to
// apply (true then).
bool CIoDeviceDlg::OnReplyFrom(HWND box, in_addr sender, const unsigned char* buf, int n, CDeviceReply& directed) {
    CDeviceReply reply;
    ParseReply(buf, n, reply);
    if (m_bListMode) {
        if (reply.productNumber != 0 && !LookupProductNumber(reply.productNumber, reply.typeIndex, reply.gen40))
            return false;
        auto known = m_listed.find(sender.s_addr);
        if (known == m_listed.end()) {
            if (m_listed.size() >= kMaxHosts) return false;
            wchar_t host[20];
            const unsigned char* a = (const unsigned char*)&sender;
            swprintf(host, 20, L"%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
            m_replies.push_back(std::unique_ptr<CDeviceReply>(new CDeviceReply(reply)));
            CDeviceReply* stored = m_replies.back().get();
            m_listed[sender.s_addr] = stored;
            int pos = (int)::SendMessageW(box, CB_ADDSTRING, 0, (LPARAM)host);
            if (pos >= 0) ::SendMessageW(box, CB_SETITEMDATA, (WPARAM)pos, (LPARAM)stored);
        } else {
            CDeviceReply* stored = known->second;
            if (reply.fullReply || stored->productNumber == 0) *stored = reply;
        }
        return false;
    }
    if (reply.productNumber > 0) {
        LookupProductNumber(reply.productNumber, reply.typeIndex, reply.gen40);
        EnableDlgItem(IDC_IO_IDENTIFY, FALSE);
    }
    directed = reply;
    return true;
}

void CIoDeviceDlg::OnHostEditChange() {
    EnableDlgItem(IDC_IO_IDENTIFY, TRUE);
    SetDlgItemText(IDC_IO_PRODUCT, L"");
    ::SendDlgItemMessageW(m_hWnd, IDC_IO_TYPE, CB_SETCURSEL, (WPARAM)-1, 0);
    UpdateControls();
    m_bListMode = 0;
    char text[40] = {};
    ::GetDlgItemTextA(m_hWnd, IDC_IO_HOST, text, (int)sizeof text);
    u_long addr = 0;
    if (CompleteAddress(text, addr) && m_discovery) SendQuery(addr);
}

void CIoDeviceDlg::OnHostSelChange() {
    HWND box = ::GetDlgItem(m_hWnd, IDC_IO_HOST);
    int sel = (int)::SendMessageW(box, CB_GETCURSEL, 0, 0);
    if (sel < 0) return;
    auto* reply = (CDeviceReply*)::SendMessageW(box, CB_GETITEMDATA, (WPARAM)sel, 0);
    if (!reply || reply == (CDeviceReply*)(LONG_PTR)CB_ERR) return;
    ApplyReply(*reply);
    EnableDlgItem(IDC_IO_IDENTIFY, reply->productNumber == 0);
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

// ------------------------------------------------------------------ identification

BOOL CIoDeviceDlg::SendBinaryStruct(SOCKET s, uint16_t type, const void* data, int n) {
    if (n < 0 || n > 98) return FALSE;
    unsigned char buf[8 + 98] = {};
    buf[4] = (unsigned char)(type & 0xFF);
    buf[5] = (unsigned char)(type >> 8);
    const int total = 8 + n;
    buf[6] = (unsigned char)(total & 0xFF);
    buf[7] = (unsigned char)(total >> 8);
    if (n) memcpy(buf + 8, data, (size_t)n);
    return ::send(s, (const char*)buf, total, 0) != SOCKET_ERROR;
}

namespace {

// A device is trusted with nothing: no redirect is followed, nothing is
// cached and no cookie is stored or sent.
const DWORD kDeviceRequestFlags =
    INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_CACHE_WRITE;

// Paints and answers the messages sent to the thread's windows while
// identification waits; input stays queued for after it.
void AnswerMeanwhile() {
    MSG msg;
    for (int i = 0; i < 64 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i)
        ::DispatchMessageW(&msg);
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

void PauseAnswering(DWORD ms) {
    const DWORD start = ::GetTickCount();
    for (DWORD passed = 0; passed < ms; passed = ::GetTickCount() - start) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - passed, QS_SENDMESSAGE | QS_PAINT);
        AnswerMeanwhile();
    }
}

// Whether a body that ended in a failure still holds a product number: a
// "#" with digits that the stream ended after (a reset or close), or that
// something follows (cut by the deadline, the number itself is whole).
bool HoldsProductNumber(const char* body, UINT got, bool streamEnded) {
    const char* hash = (const char*)memchr(body, '#', got);
    if (!hash) return false;
    const char* p = hash + 1;
    const char* end = body + got;
    if (p == end || *p < '0' || *p > '9') return false;
    while (p < end && *p >= '0' && *p <= '9') ++p;
    return streamEnded || p < end;
}

}  // namespace

void CIoDeviceDlg::OnIdentify() {
    CWaitCursor wait;
    uint32_t addr = 0;
    if (ResolveHost(GetDlgItemText(IDC_IO_HOST), &addr, 1, TRUE) == 0) return;
    OwnedSocket bin(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    OwnedSocket http(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!bin || !http) {
        AfxMessageBox(L"Failed to allocate socket handles", MB_OK);
        return;
    }
    const u_short binPort = (u_short)ItemNumber(IDC_IO_BINPORT);
    const u_short httpPort = (u_short)ItemNumber(IDC_IO_HTTPPORT);
    u_long nonBlocking = 1;
    ::ioctlsocket(bin.get(), FIONBIO, &nonBlocking);
    ::ioctlsocket(http.get(), FIONBIO, &nonBlocking);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addr;
    to.sin_port = htons(binPort);
    ::connect(bin.get(), (const sockaddr*)&to, sizeof to);
    to.sin_port = htons(httpPort);
    ::connect(http.get(), (const sockaddr*)&to, sizeof to);
    BOOL noDelay = TRUE;
    ::setsockopt(bin.get(), IPPROTO_TCP, TCP_NODELAY, (const char*)&noDelay, sizeof noDelay);

    bool binConnected = false, binRefused = false, httpRefused = false;
    int refusals = 0;
    const DWORD start = ::GetTickCount();
    // A socket leaves the watch when refused, failed otherwise, or (the
    // binary one) when its peer has closed: a closed peer stays readable.
    while (::GetTickCount() - start < kIdentifyBound && (bin || http)) {
        fd_set rd, wr, ex;
        FD_ZERO(&rd);
        FD_ZERO(&wr);
        FD_ZERO(&ex);
        if (bin) {
            FD_SET(bin.get(), &rd);
            if (!binConnected) {
                FD_SET(bin.get(), &wr);
                FD_SET(bin.get(), &ex);
            }
        }
        if (http) {
            FD_SET(http.get(), &wr);
            FD_SET(http.get(), &ex);
        }
        timeval tv{0, 100 * 1000};
        if (::select(0, &rd, &wr, &ex, &tv) == SOCKET_ERROR) break;
        AnswerMeanwhile();

        if (http) {
            bool failed = FD_ISSET(http.get(), &ex) != 0;
            if (!failed && FD_ISSET(http.get(), &wr)) {
                if (ConnectSucceeded(http.get())) {
                    http.reset();
                    bin.reset();
                    IdentifyViaHttp();
                    return;
                }
                failed = true;
            }
            if (failed) {
                if (SocketError(http.get()) == WSAECONNREFUSED) {
                    ++refusals;
                    httpRefused = true;
                }
                http.reset();
            }
        }
        if (bin) {
            bool failed = !binConnected && FD_ISSET(bin.get(), &ex);
            if (!failed && !binConnected && FD_ISSET(bin.get(), &wr)) {
                if (ConnectSucceeded(bin.get())) {
                    binConnected = true;
                    SendBinaryStruct(bin.get(), 0x0020, nullptr, 0);
                    PauseAnswering(100);
                    SendBinaryStruct(bin.get(), 0x0020, nullptr, 0);
                    PauseAnswering(100);
                    SendBinaryStruct(bin.get(), 0x0001, nullptr, 0);
                } else {
                    failed = true;
                }
            }
            if (failed) {
                if (SocketError(bin.get()) == WSAECONNREFUSED) {
                    ++refusals;
                    binRefused = true;
                }
                bin.reset();
            } else if (binConnected && FD_ISSET(bin.get(), &rd)) {
                unsigned char reply[106];
                int got = ::recv(bin.get(), (char*)reply, (int)sizeof reply, 0);
                if (got >= 8 && (Le16(reply + 4) == 0x0008 || Le16(reply + 4) == 0x0030)) {
                    ::SendDlgItemMessageW(m_hWnd, IDC_IO_TYPE, CB_SETCURSEL, Le16(reply + 4) == 0x0008 ? 0 : 1, 0);
                    SetV4(false);
                    EnableDlgItemSafe(IDC_IO_IDENTIFY, FALSE);
                    UpdateControls();
                    return;
                }
                if (got == 0 || (got == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK)) bin.reset();
            }
        }
        if (refusals == 2) {
            CString text =
                FormatText(IDS_ID_HTTP_REFUSED, httpPort) + L"\n\n" + FormatText(IDS_ID_BINARY_REFUSED, binPort);
            AfxMessageBox(text, MB_OK);
            UpdateControls();
            return;
        }
    }
    (void)binRefused;
    (void)httpRefused;
    if (binConnected)
        AfxMessageBox(FormatText(IDS_ID_BINARY_SILENT, binPort), MB_OK);
    else if (refusals == 0)
        AfxMessageBox(LoadText(IDS_ID_NO_ANSWER), MB_OK);
    UpdateControls();
}

void CIoDeviceDlg::IdentifyViaHttp() {
    CWaitCursor wait;
    CDeviceReply reply;
    reply.httpPort = (uint16_t)ItemNumber(IDC_IO_HTTPPORT);
    const bool secure = GetDlgItemCheck(IDC_IO_HTTPS);
    reply.secure = secure ? 1 : 0;
    std::unique_ptr<CHttpConnection> conn;
    std::unique_ptr<CHttpFile> file;
    // One bound over connect, request, headers and body, whatever the server
    // trickles; past it the step ends as for a silent server.
    CInternetDeadline bound(m_session, kIdentifyBound);
    try {
        conn.reset(m_session.GetHttpConnection(ResolverHostText(GetDlgItemText(IDC_IO_HOST)),
                                               INTERNET_FLAG_RELOAD | (secure ? INTERNET_FLAG_SECURE : 0),
                                               reply.httpPort));
        file.reset(conn->OpenRequest(L"GET", L"/version", nullptr, 1, nullptr, nullptr,
                                     kDeviceRequestFlags | (secure ? INTERNET_FLAG_SECURE : 0)));
        file->SetOption(INTERNET_OPTION_SEND_TIMEOUT, kIdentifyBound);
        file->SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, kIdentifyBound);
        if (secure) {
            DWORD flags = 0;
            file->QueryOption(INTERNET_OPTION_SECURITY_FLAGS, flags);
            flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
            file->SetOption(INTERNET_OPTION_SECURITY_FLAGS, flags);
        }
        file->SendRequest();
        DWORD status = 0;
        file->QueryInfoStatusCode(status);
        // A request that ended without an HTTP status line failed too, and
        // a redirect is not the version page.
        if (status >= 300 || status == 0) {
            ApplyReply(reply);
            CString statusText;
            file->QueryInfo(HTTP_QUERY_STATUS_TEXT, statusText);
            CString text = LoadText(IDS_ID_VERSION_FAILED) + L"\n" + FormatText(IDS_ID_HTTP_STATUS, (int)status) +
                           L" (" + statusText + L")\n\n" + LoadText(IDS_ID_NOT_LATTIX);
            AfxMessageBox(text, MB_OK);
        } else {
            // The body may come in pieces: read until 255 bytes or its end.
            char body[256];
            UINT got = 0;
            while (got < 255) {
                UINT n = 0;
                try {
                    n = file->Read(body + got, 255 - got);
                } catch (CInternetException* e) {
                    // Servers that reset after a complete answer are common.
                    const DWORD error = e->m_dwError;
                    const bool ended = error == ERROR_INTERNET_CONNECTION_RESET || error == WSAECONNRESET ||
                                       error == ERROR_INTERNET_CONNECTION_ABORTED || error == WSAECONNABORTED;
                    if (!HoldsProductNumber(body, got, ended)) throw;
                    e->Delete();
                }
                if (n == 0) break;
                got += n;
            }
            body[got] = 0;
            const char* hash = strchr(body, '#');
            if (!hash) {
                ApplyReply(reply);
                CString text = LoadText(IDS_ID_VERSION_FAILED) + L"\n" + LoadText(IDS_ID_NO_PRODUCT) + L"\n\n" +
                               LoadText(IDS_ID_NOT_LATTIX);
                AfxMessageBox(text, MB_OK);
            } else {
                reply.productNumber = atoi(hash + 1);
                const bool known = LookupProductNumber(reply.productNumber, reply.typeIndex, reply.gen40);
                ApplyReply(reply);
                if (!known)
                    AfxMessageBox(FormatText(IDS_ID_UNKNOWN_ARTICLE, reply.productNumber), MB_OK);
                else
                    EnableDlgItemSafe(IDC_IO_IDENTIFY, FALSE);
            }
        }
        file->Close();
        conn->Close();
    } catch (CInternetException* e) {
        wchar_t err[201] = {};
        e->GetErrorMessage(err, 200);
        CString text;
        text.Format(L"WinINet error:\n%s", err);
        text.TrimRight();
        AfxMessageBox(text, MB_OK);
        e->Delete();
    }
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
