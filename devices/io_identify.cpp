// Identification of the I/O device dialog: the typed address probed on its
// binary and its HTTP port, the web server's version page read for the type.
#include "devices/io_device_dlg.h"
#include "devices/io_device_internal.h"
#include "devices/resolve_host.h"
#include "framework/WinApp.h"
#include "resources/devices_ids.h"
#include <ws2tcpip.h>
#include <cstring>

namespace {

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

int SocketError(SOCKET s) {
    int err = 0;
    int len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, (char*)&err, &len) != 0) return WSAGetLastError();
    return err;
}

}  // namespace

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

// Message 238 for a number too large for any article: named with the
// device's own digits, not a value it wrapped to.
CString UnknownArticleText(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    CString digits;
    if (*text == '+' || *text == '-') digits += (wchar_t)*text++;
    while (*text >= '0' && *text <= '9') digits += (wchar_t)*text++;
    CString message = LoadText(IDS_ID_UNKNOWN_ARTICLE);
    message.Replace(L"%d", digits);
    return message;
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
                const char* after = hash + 1;
                const bool fits = ParseArticleNumber(after, (size_t)(body + got - after), reply.productNumber);
                const bool known = LookupProductNumber(reply.productNumber, reply.typeIndex, reply.gen40);
                ApplyReply(reply);
                if (!fits)
                    AfxMessageBox(UnknownArticleText(after), MB_OK);
                else if (!known)
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
