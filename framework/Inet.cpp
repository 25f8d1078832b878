#include "framework/Inet.h"
#include "framework/ErrorText.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

BOOL CInternetException::GetErrorMessage(wchar_t* text, UINT max, UINT* helpContext) const {
    if (helpContext) *helpContext = 0;
    if (!text || max == 0) return FALSE;
    text[0] = 0;
    CString what;
    if (m_dwError == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD code = 0, length = 0;
        InternetGetLastResponseInfoW(&code, nullptr, &length);
        if (length) {
            CString info;
            DWORD room = length + 1;
            if (InternetGetLastResponseInfoW(&code, info.GetBuffer((int)room), &room)) {
                info.ReleaseBuffer((int)room);
                what = info;
            } else {
                info.ReleaseBuffer(0);
            }
        }
    }
    if (what.IsEmpty() && (m_dwError < INTERNET_ERROR_BASE || m_dwError > INTERNET_ERROR_LAST))
        what = SystemErrorText(m_dwError);
    if (what.IsEmpty()) what = WinInetErrorText(m_dwError);
    if (what.IsEmpty()) return FALSE;
    wcsncpy(text, what, max - 1);
    text[max - 1] = 0;
    return TRUE;
}

void AfxThrowInternetException(DWORD_PTR context, DWORD error) {
    if (error == 0) error = GetLastError();
    throw new CInternetException(error, context);
}

// ---------------------------------------------------------------- session

CInternetSession::CInternetSession(const wchar_t* agent, DWORD_PTR context, DWORD accessType, const wchar_t* proxy,
                                   const wchar_t* bypass, DWORD flags)
    : context_(context) {
    // Synchronous only: the asynchronous flag would make every call return
    // ERROR_IO_PENDING without a callback to finish it.
    flags &= ~(DWORD)INTERNET_FLAG_ASYNC;
    handle_.reset(InternetOpenW(agent ? agent : L"Korvelin", accessType, proxy, bypass, flags));
    if (!handle_) openError_ = GetLastError();
}

CInternetSession::~CInternetSession() { Close(); }

void CInternetSession::Close() { handle_.reset(); }

void CInternetSession::SetDeadline(DWORD ms) { deadline_ = ms ? GetTickCount64() + ms : 0; }

namespace {

DWORD* TimeoutSlot(CInternetSession::Timeouts& t, DWORD option) {
    switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT: return &t.connect;
    case INTERNET_OPTION_SEND_TIMEOUT: return &t.send;
    case INTERNET_OPTION_RECEIVE_TIMEOUT: return &t.receive;
    default: return nullptr;
    }
}

void SetDword(HINTERNET h, DWORD option, DWORD value) {
    if (value) InternetSetOptionW(h, option, &value, sizeof value);
}

void ApplyTimeouts(HINTERNET h, const CInternetSession::Timeouts& t) {
    SetDword(h, INTERNET_OPTION_CONNECT_TIMEOUT, t.connect);
    SetDword(h, INTERNET_OPTION_SEND_TIMEOUT, t.send);
    SetDword(h, INTERNET_OPTION_RECEIVE_TIMEOUT, t.receive);
}

}  // namespace

BOOL CInternetSession::SetOption(DWORD option, DWORD value) {
    if (!handle_) return FALSE;
    BOOL set = InternetSetOptionW(handle_.get(), option, &value, sizeof value);
    if (DWORD* slot = TimeoutSlot(timeouts_, option)) {
        *slot = value;
        return TRUE;
    }
    return set;
}

BOOL CInternetSession::QueryOption(DWORD option, DWORD& value) const {
    value = 0;
    if (!handle_) return FALSE;
    DWORD length = sizeof value;
    if (InternetQueryOptionW(handle_.get(), option, &value, &length)) return TRUE;
    Timeouts copy = timeouts_;
    if (DWORD* slot = TimeoutSlot(copy, option)) {
        if (*slot) {
            value = *slot;
            return TRUE;
        }
    }
    return FALSE;
}

CHttpConnection* CInternetSession::GetHttpConnection(const wchar_t* server, DWORD flags, INTERNET_PORT port,
                                                     const wchar_t* user, const wchar_t* password) {
    if (!handle_) AfxThrowInternetException(context_, openError_ ? openError_ : ERROR_INVALID_HANDLE);
    HINTERNET h = InternetConnectW(handle_.get(), server ? server : L"", port, user, password, INTERNET_SERVICE_HTTP,
                                   flags, context_);
    if (!h) AfxThrowInternetException(context_);
    ApplyTimeouts(h, timeouts_);
    return new CHttpConnection(h, server, port, flags, context_, timeouts_, deadline_);
}

CHttpConnection* CInternetSession::GetHttpConnection(const wchar_t* server, INTERNET_PORT port, const wchar_t* user,
                                                     const wchar_t* password) {
    return GetHttpConnection(server, 0, port, user, password);
}

// ---------------------------------------------------------------- connection

CHttpConnection::CHttpConnection(HINTERNET h, const wchar_t* server, INTERNET_PORT port, DWORD flags, DWORD_PTR context,
                                 const CInternetSession::Timeouts& timeouts, ULONGLONG deadline)
    : handle_(h), deadline_(deadline), timeouts_(timeouts), server_(server), port_(port), flags_(flags),
      context_(context) {}

CHttpConnection::~CHttpConnection() { Close(); }

void CHttpConnection::Close() { handle_.reset(); }

CHttpFile* CHttpConnection::OpenRequest(const wchar_t* verb, const wchar_t* object, const wchar_t* referer,
                                        DWORD_PTR context, const wchar_t** acceptTypes, const wchar_t* version,
                                        DWORD flags) {
    if (!handle_) AfxThrowInternetException(context, ERROR_INVALID_HANDLE);
    if (!verb) verb = L"GET";
    HINTERNET h = HttpOpenRequestW(handle_.get(), verb, object, version, referer, acceptTypes, flags | flags_, context);
    if (!h) AfxThrowInternetException(context);
    ApplyTimeouts(h, timeouts_);
    return new CHttpFile(h, verb, object, context, deadline_);
}

// ---------------------------------------------------------------- request

CHttpFile::CHttpFile(HINTERNET h, const wchar_t* verb, const wchar_t* object, DWORD_PTR context, ULONGLONG deadline)
    : handle_(h), deadline_(deadline), verb_(verb), object_(object), context_(context) {}

namespace {

// One blocking call with copies of everything it reads or writes: past the
// deadline its thread may still be inside WinINet while the caller's
// buffers are gone. Held by the caller and by the call's thread.
struct BlockingCall {
    HINTERNET handle = nullptr;
    bool send = false;
    std::wstring headers;
    std::vector<char> data;  // the body to send, or room for what is read
    DWORD size = 0;          // bytes of data to send or to read
    BOOL ok = FALSE;
    DWORD error = 0;
    DWORD read = 0;
    HANDLE done = nullptr;

    ~BlockingCall() {
        if (done) CloseHandle(done);
    }
    void Perform() {
        if (send)
            ok = HttpSendRequestW(handle, headers.empty() ? nullptr : headers.c_str(), (DWORD)headers.size(),
                                  size ? data.data() : nullptr, size);
        else
            ReadAvailable();
        error = ok ? 0 : GetLastError();
    }
    // What has come, up to `size`, waiting only while nothing has: WinINet
    // would wait to fill the buffer and lose what it got when the
    // connection then fails.
    void ReadAvailable() {
        DWORD available = 0;
        ok = InternetQueryDataAvailable(handle, &available, 0, 0);
        if (!ok || available == 0) return;
        ok = InternetReadFile(handle, data.data(), available < size ? available : size, &read);
    }
};

DWORD WINAPI CallThread(void* p) {
    std::unique_ptr<std::shared_ptr<BlockingCall>> call(static_cast<std::shared_ptr<BlockingCall>*>(p));
    (*call)->Perform();
    SetEvent((*call)->done);
    return 0;
}

// Paints and answers sent messages until `done` is signalled or the tick
// count reaches `until`; input stays in the queue. True when done.
bool WaitAnswering(HANDLE done, ULONGLONG until) {
    for (;;) {
        ULONGLONG now = GetTickCount64();
        DWORD wait = now >= until ? 0 : (DWORD)(until - now);
        DWORD r = MsgWaitForMultipleObjects(1, &done, FALSE, wait, QS_SENDMESSAGE | QS_PAINT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return WaitForSingleObject(done, 0) == WAIT_OBJECT_0;
        MSG msg;
        // Peeking delivers the sent messages; a window that does not
        // validate itself gets no busy loop out of this.
        for (int i = 0; i < 64 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i)
            DispatchMessageW(&msg);
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// How long a call whose handle was closed at the deadline gets to come back
// before the caller goes on without it. Under Wine the close does not end a
// call blocked in a receive (it returns at its receive time-out, or never
// while the server trickles): its thread is left to end on its own.
const DWORD kAbortGraceMs = 50;

// Runs the call, on a thread of its own when there is a deadline. False when
// the deadline passed first: the handle is closed then, and the call's
// thread ends when WinINet lets it.
bool RunBounded(const std::shared_ptr<BlockingCall>& call, OwnedInternet& handle, ULONGLONG deadline) {
    call->handle = handle.get();
    if (!deadline) {
        call->Perform();
        return true;
    }
    if (GetTickCount64() >= deadline) {
        InternetCloseHandle(handle.release());
        return false;
    }
    call->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto* handOver = new std::shared_ptr<BlockingCall>(call);
    HANDLE thread = call->done ? CreateThread(nullptr, 0, CallThread, handOver, 0, nullptr) : nullptr;
    if (!thread) {
        delete handOver;
        call->ok = FALSE;
        call->error = GetLastError();
        return true;
    }
    CloseHandle(thread);
    if (WaitAnswering(call->done, deadline)) return true;
    InternetCloseHandle(handle.release());
    WaitAnswering(call->done, GetTickCount64() + kAbortGraceMs);
    return false;
}

}  // namespace

CHttpFile::~CHttpFile() { Close(); }

void CHttpFile::Close() { handle_.reset(); }

BOOL CHttpFile::SendRequest(const wchar_t* headers, DWORD headersLength, const void* body, DWORD bodyLength) {
    if (!handle_) AfxThrowInternetException(context_, ERROR_INVALID_HANDLE);
    auto call = std::make_shared<BlockingCall>();
    call->send = true;
    if (headers)
        call->headers = headersLength == 0 || headersLength == (DWORD)-1 ? std::wstring(headers)
                                                                         : std::wstring(headers, headersLength);
    if (body && bodyLength) {
        call->data.assign((const char*)body, (const char*)body + bodyLength);
        call->size = bodyLength;
    }
    if (!RunBounded(call, handle_, deadline_)) AfxThrowInternetException(context_, ERROR_INTERNET_TIMEOUT);
    if (!call->ok) AfxThrowInternetException(context_, call->error);
    return TRUE;
}

BOOL CHttpFile::SendRequest(const CString& headers, const void* body, DWORD bodyLength) {
    return SendRequest(headers.IsEmpty() ? nullptr : (const wchar_t*)headers, (DWORD)headers.GetLength(), body,
                       bodyLength);
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& status) const {
    status = 0;
    DWORD index = 0;
    // Wine reports 0 for a reply that ended before its status line.
    if (!QueryInfo(HTTP_QUERY_STATUS_CODE, status, &index) || status == 0) {
        status = 0;
        return FALSE;
    }
    return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD level, DWORD& value, DWORD* index) const {
    value = 0;
    if (!handle_) return FALSE;
    DWORD length = sizeof value;
    return HttpQueryInfoW(handle_.get(), level | HTTP_QUERY_FLAG_NUMBER, &value, &length, index);
}

BOOL CHttpFile::QueryInfo(DWORD level, CString& text, DWORD* index) const {
    text.Empty();
    if (!handle_) return FALSE;
    DWORD length = 0;
    DWORD probeIndex = index ? *index : 0;
    if (HttpQueryInfoW(handle_.get(), level, nullptr, &length, &probeIndex)) return TRUE;  // empty field
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length == 0) return FALSE;
    // The length is in bytes and counts the terminating zero.
    int room = (int)(length / sizeof(wchar_t)) + 1;
    wchar_t* buffer = text.GetBuffer(room);
    DWORD bytes = (DWORD)(room * sizeof(wchar_t));
    if (!HttpQueryInfoW(handle_.get(), level, buffer, &bytes, index)) {
        text.ReleaseBuffer(0);
        return FALSE;
    }
    text.ReleaseBuffer((int)(bytes / sizeof(wchar_t)));
    return TRUE;
}

BOOL CHttpFile::QueryOption(DWORD option, DWORD& value) const {
    value = 0;
    if (!handle_) return FALSE;
    DWORD length = sizeof value;
    return InternetQueryOptionW(handle_.get(), option, &value, &length);
}

BOOL CHttpFile::SetOption(DWORD option, DWORD value) {
    if (!handle_) return FALSE;
    return InternetSetOptionW(handle_.get(), option, &value, sizeof value);
}

UINT CHttpFile::Read(void* buffer, UINT count) {
    if (!handle_) AfxThrowInternetException(context_, ERROR_INVALID_HANDLE);
    auto call = std::make_shared<BlockingCall>();
    call->data.resize(count ? count : 1);
    call->size = count;
    if (!RunBounded(call, handle_, deadline_)) AfxThrowInternetException(context_, ERROR_INTERNET_TIMEOUT);
    if (!call->ok) AfxThrowInternetException(context_, call->error);
    if (call->read > count) call->read = count;
    memcpy(buffer, call->data.data(), call->read);
    return (UINT)call->read;
}
