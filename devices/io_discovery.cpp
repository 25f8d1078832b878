// Discovery of the I/O device dialog: the query broadcast on every local
// network, the answers listed in the host box, a typed address asked directly.
#include "devices/io_device_dlg.h"
#include "devices/io_device_internal.h"
#include "resources/devices_ids.h"
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

const u_short kDiscoveryPort = 8513;
const char kQuery[] = "Version 1.03";
const int kReplyBuffer = 322;
const DWORD kBatchMs = 20;           // replies taken before the loop gets a turn
const size_t kMaxPending = 1 << 22;  // bytes of datagrams taken but not yet listed
const size_t kMaxHosts = 16384;      // more than any plant's devices; spoofed senders stop here

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

}  // namespace

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
