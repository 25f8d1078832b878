// Discovery of the I/O device dialog: the query broadcast on every local
// network, the answers listed in the host box, a typed address asked directly.
#include "devices/io_device_dlg.h"
#include "devices/io_device_internal.h"
#include "resources/devices_ids.h"
#include <atomic>
#include <cstring>
#include <cwchar>
#include <mutex>

namespace {

const u_short kDiscoveryPort = 8513;
const char kQuery[] = "Version 1.03";
const int kReplyBuffer = 322;
const DWORD kBatchMs = 20;           // replies listed before the loop gets a turn
const size_t kMaxPending = 1 << 22;  // bytes of datagrams queued, and again taken, but not yet listed
const DWORD kStopWaitMs = 200;       // what closing waits for the thread
const int kIdleTicks = 10;           // timer ticks without a reply before the thread notifies again
const size_t kMaxHosts = 16384;      // more than any plant's devices; spoofed senders stop here

// Four dotted numbers of 0 to 255 and nothing else: an address the user has
// finished typing (inet_addr also reads "10.7" or "1" as one). A part with a
// leading zero is octal, as inet_addr reads it for identification and the
// resolver: "010" is 8, and the query must go where they would connect.
bool CompleteAddress(const char* text, u_long& addr) {
    unsigned char parts[4];
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *p++ != '.') return false;
        const unsigned base = (p[0] == '0' && p[1] >= '0' && p[1] <= '9') ? 8 : 10;
        int digits = 0;
        unsigned v = 0;
        while (*p >= '0' && *p <= '9' && digits < 4) {
            if ((unsigned)(*p - '0') >= base) return false;
            v = v * base + (unsigned)(*p++ - '0');
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

// The thread takes every waiting datagram and queues it for the dialog,
// which lists it on its own thread; it waits for more or for the stop.
// Shared by both: the socket stays open until the thread is out of it.
struct CDiscoveryReceiver {
    OwnedSocket socket;
    OwnedHandle readable, stop;         // events: a datagram waits; the dialog is closing
    std::atomic<bool> stopping{false};  // the stop, for a thread that a flood keeps from waiting
    std::mutex lock;                    // guards what follows
    HWND window = nullptr;              // none once the dialog is closing: nothing is posted then
    bool posted = false;                // the dialog comes for what is queued: notified, or its timer runs
    std::vector<unsigned char> queue;   // address, length, bytes of each datagram
};

void CIoDeviceDlg::SendQuery(u_long addr) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kDiscoveryPort);
    to.sin_addr.s_addr = addr;
    ::sendto(m_receiver->socket.get(), kQuery, (int)(sizeof kQuery - 1), 0, (const sockaddr*)&to, sizeof to);
}

namespace {

// Every waiting datagram into the queue; false when the socket failed.
bool DrainSocket(CDiscoveryReceiver& r) {
    while (!r.stopping) {
        unsigned char buf[kReplyBuffer];
        sockaddr_in from{};
        int fromLen = sizeof from;
        const int n = ::recvfrom(r.socket.get(), (char*)buf, (int)sizeof buf, 0, (sockaddr*)&from, &fromLen);
        if (n == SOCKET_ERROR) {
            // an oversized datagram is dropped; a port-unreachable report of
            // an earlier query is no reply either
            const int e = WSAGetLastError();
            if (e == WSAEMSGSIZE || e == WSAECONNRESET) continue;
            return e == WSAEWOULDBLOCK;
        }
        if (n < 2) continue;  // without a kind it is no answer
        std::lock_guard<std::mutex> g(r.lock);
        // a list that cannot follow loses what a full socket buffer would
        if (r.queue.size() >= kMaxPending) continue;
        const size_t at = r.queue.size();
        r.queue.resize(at + sizeof(u_long) + 2 + (size_t)n);
        memcpy(&r.queue[at], &from.sin_addr.s_addr, sizeof(u_long));
        r.queue[at + sizeof(u_long)] = (unsigned char)(n & 0xFF);
        r.queue[at + sizeof(u_long) + 1] = (unsigned char)(n >> 8);
        memcpy(&r.queue[at + sizeof(u_long) + 2], buf, (size_t)n);
        if (!r.posted && r.window) r.posted = ::PostMessageW(r.window, WM_DISCOVERY_REPLY, 0, 0) != FALSE;
    }
    return false;
}

DWORD WINAPI ReceiveReplies(void* p) {
    std::unique_ptr<std::shared_ptr<CDiscoveryReceiver>> hold(static_cast<std::shared_ptr<CDiscoveryReceiver>*>(p));
    CDiscoveryReceiver& r = **hold;
    HANDLE events[2] = {r.stop.get(), r.readable.get()};
    // a datagram coming after the reset sets the event again
    while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1 && ::ResetEvent(events[1]) &&
           DrainSocket(r)) {}
    return 0;
}

}  // namespace

void CIoDeviceDlg::StartDiscovery() {
    m_bListMode = 1;
    OwnedSocket s(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!s) return;
    BOOL on = TRUE;
    ::setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, (const char*)&on, sizeof on);
    int rcv = kDiscoveryBuffer;
    ::setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, (const char*)&rcv, sizeof rcv);
    m_receiver = std::make_shared<CDiscoveryReceiver>();
    CDiscoveryReceiver& r = *m_receiver;
    r.socket = std::move(s);
    r.window = m_hWnd;
    r.readable.reset(::WSACreateEvent());
    r.stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // without the thread nothing is listed; a typed address is still asked
    if (r.readable && r.stop && ::WSAEventSelect(r.socket.get(), r.readable.get(), FD_READ) == 0) {
        auto* handOver = new std::shared_ptr<CDiscoveryReceiver>(m_receiver);
        m_receiveThread.reset(::CreateThread(nullptr, 0, ReceiveReplies, handOver, 0, nullptr));
        if (!m_receiveThread) delete handOver;
    }
    SendQuery(INADDR_BROADCAST);
    MIB_IPADDRROW rows[5];
    int n = GetBroadcastAddresses(rows, 5);
    if (n > 1) {
        ::Sleep(100);
        for (int i = 0; i < n; ++i) SendQuery(rows[i].dwBCastAddr);
    }
}

// Nothing is posted from here on; the thread sees the stop once it has
// queued what waits. One that takes longer ends on its own.
void CIoDeviceDlg::StopDiscovery() {
    if (!m_receiver) return;
    {
        std::lock_guard<std::mutex> g(m_receiver->lock);
        m_receiver->window = nullptr;
    }
    m_receiver->stopping = true;
    if (m_receiver->stop) ::SetEvent(m_receiver->stop.get());
    if (m_receiveThread) ::WaitForSingleObject(m_receiveThread.get(), kStopWaitMs);
    m_receiveThread.reset();
    m_receiver.reset();
    m_pending.clear();
    m_pendingAt = 0;
    if (m_discoveryTimer && m_hWnd) KillTimer(kDiscoveryTimer);
    m_discoveryTimer = false;
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
        if (len > 11) ParseArticleNumber((const char*)data + 11, (size_t)(len - 11), reply.productNumber);
        break;
    case 0x0001:
        if (len >= 5 && data[4] == 3) reply.typeIndex = 0;
        break;
    default: reply.productNumber = kUnknownKindArticle; break;
    }
}

// A plant answers in one burst and a device may flood. The thread keeps
// the socket empty; here each batch lists what it handed over within a
// bounded time and updates the list once. From the first notification on,
// a timer (which comes after input and painting) takes the batches until
// a few in a row find nothing: the thread does not wake the loop for every
// datagram.
void CIoDeviceDlg::OnDiscoveryReply() {
    if (!m_receiver) return;
    if (!m_discoveryTimer) {
        SetTimer(kDiscoveryTimer, USER_TIMER_MINIMUM);
        m_discoveryTimer = true;
    }
    for (;;) {
        const bool more = ListReplies();
        // the list's close timer does not come while replies keep the loop busy
        if (m_dropDownDue && (LONG)(::GetTickCount() - m_dropDownDue) >= 0) CloseDropDown();
        if (!more) break;
        if (HIWORD(::GetQueueStatus(QS_INPUT | QS_PAINT | QS_POSTMESSAGE | QS_SENDMESSAGE))) return;
    }
    // a burst has gaps: each notification would wake the loop for a few
    if (++m_idleTicks < kIdleTicks) return;
    CDiscoveryReceiver& r = *m_receiver;
    std::lock_guard<std::mutex> g(r.lock);
    if (!r.queue.empty()) return;
    // the next datagram notifies again
    r.posted = false;
    KillTimer(kDiscoveryTimer);
    m_discoveryTimer = false;
}

// What the thread queued, behind what is still to be listed (within the
// bound of m_pending); true when anything came.
bool CIoDeviceDlg::TakeReplies() {
    if (m_pendingAt >= m_pending.size()) {
        m_pending.clear();
        m_pendingAt = 0;
    } else if (m_pending.size() - m_pendingAt >= kMaxPending) {
        return false;
    }
    CDiscoveryReceiver& r = *m_receiver;
    std::lock_guard<std::mutex> g(r.lock);
    if (r.queue.empty()) return false;
    m_idleTicks = 0;
    if (m_pending.empty())
        m_pending.swap(r.queue);
    else
        m_pending.insert(m_pending.end(), r.queue.begin(), r.queue.end());
    r.queue.clear();
    return true;
}

// One batch; true when the time ran out with replies still waiting.
bool CIoDeviceDlg::ListReplies() {
    HWND box = ::GetDlgItem(m_hWnd, IDC_IO_HOST);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    HWND list = ::GetComboBoxInfo(box, &info) ? info.hwndList : nullptr;
    bool quiet = false, more = false;
    CDeviceReply directed;
    bool haveDirected = false;
    const u_long typed = m_bListMode ? 0 : TypedAddress();
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (m_pendingAt >= m_pending.size() && !TakeReplies()) break;
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
            if (OnReplyFrom(box, sender, e + sizeof(u_long) + 2, n, typed, directed)) haveDirected = true;
        }
        if (::GetTickCount() - start >= kBatchMs) {
            more = m_pendingAt < m_pending.size() || TakeReplies();
            break;
        }
    }
    // what is listed goes, so that a flood does not fill the memory
    if (m_pendingAt >= m_pending.size()) {
        m_pending.clear();
        m_pendingAt = 0;
    } else if (m_pendingAt > m_pending.size() / 2) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + (ptrdiff_t)m_pendingAt);
        m_pendingAt = 0;
    }
    if (quiet) {
        ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        // painted now: a paint left to the loop would make the list rest
        if (::IsWindowVisible(list)) ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    // each answer would overwrite the one before
    if (haveDirected) ApplyReply(directed);
    return more;
}

// Lists a reply, or in directed mode leaves it in directed for the caller to
// apply (true then) when it comes from the typed address.
bool CIoDeviceDlg::OnReplyFrom(HWND box, in_addr sender, const unsigned char* buf, int n, u_long typed,
                               CDeviceReply& directed) {
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
    // Typed key by key, 10.77.0.25 asks 10.77.0.2 on the way: that device's
    // answer, or any late one, would describe another device than the one
    // OK stores.
    if (typed == 0 || sender.s_addr != typed) return false;
    if (reply.productNumber > 0) {
        LookupProductNumber(reply.productNumber, reply.typeIndex, reply.gen40);
        EnableDlgItemSafe(IDC_IO_IDENTIFY, FALSE);
    }
    directed = reply;
    return true;
}

// The address in the host box when it is a whole dotted one, else 0.
u_long CIoDeviceDlg::TypedAddress() const {
    char text[40] = {};
    ::GetDlgItemTextA(m_hWnd, IDC_IO_HOST, text, (int)sizeof text);
    u_long addr = 0;
    return CompleteAddress(text, addr) ? addr : 0;
}

void CIoDeviceDlg::OnHostEditChange() {
    EnableDlgItem(IDC_IO_IDENTIFY, TRUE);
    SetDlgItemText(IDC_IO_PRODUCT, L"");
    ::SendDlgItemMessageW(m_hWnd, IDC_IO_TYPE, CB_SETCURSEL, (WPARAM)-1, 0);
    UpdateControls();
    m_bListMode = 0;
    const u_long addr = TypedAddress();
    if (addr && m_receiver) SendQuery(addr);
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
