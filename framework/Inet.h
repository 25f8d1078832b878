// HTTP client over WinINet, synchronous. Failures of connections and
// requests are thrown as a pointer to a CInternetException, which the catcher
// deletes:
//
//   CInternetSession session(L"Korvelin Varnel", 42279, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
//                            INTERNET_FLAG_DONT_CACHE);
//   session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 4000);
//   CHttpConnection* c = nullptr; CHttpFile* f = nullptr;
//   try {
//       c = session.GetHttpConnection(L"10.0.0.7", INTERNET_FLAG_RELOAD, 80);
//       f = c->OpenRequest(L"GET", L"/version");
//       f->SendRequest();
//       DWORD status = 0; f->QueryInfoStatusCode(status);
//       char buf[256]; UINT n = f->Read(buf, 255);
//       f->Close(); c->Close();
//   } catch (CInternetException* e) {
//       wchar_t text[200]; e->GetErrorMessage(text, 200); e->Delete();
//   }
//   delete f; delete c;
//
// A deadline bounds a whole exchange: with `CInternetDeadline bound(session,
// 4000);` in scope, SendRequest and Read run on a thread of their own while
// the calling thread goes on painting and answering sent messages (input
// stays queued for after the call); when the time is up the request's handle
// is closed and the call throws ERROR_INTERNET_TIMEOUT, as for a silent
// server, whatever the server keeps sending.
#pragma once
#include "framework/Handle.h"
#include "framework/String.h"

class CHttpConnection;
class CHttpFile;

class CInternetException {
public:
    explicit CInternetException(DWORD error, DWORD_PTR context = 0) : m_dwError(error), m_dwContext(context) {}
    // The error's text (WinINet's, or the system's, or our own), cut to fit
    // `max` characters including the terminating zero. FALSE when it has none.
    BOOL GetErrorMessage(wchar_t* text, UINT max, UINT* helpContext = nullptr) const;
    void Delete() { delete this; }

    DWORD m_dwError;
    DWORD_PTR m_dwContext;
};

// Throws new CInternetException(error, context); error 0 means GetLastError().
[[noreturn]] void AfxThrowInternetException(DWORD_PTR context, DWORD error = 0);

class CInternetSession {
public:
    // Never throws: a session whose handle could not be opened fails at
    // GetHttpConnection with the error of the open.
    explicit CInternetSession(const wchar_t* agent = nullptr, DWORD_PTR context = 1,
                              DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG, const wchar_t* proxy = nullptr,
                              const wchar_t* bypass = nullptr, DWORD flags = 0);
    virtual ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Options of the session handle. The time-outs (connect, send, receive,
    // in ms) are also kept and set on every connection and request opened
    // later: Wine takes send and receive time-outs only there.
    BOOL SetOption(DWORD option, DWORD value);
    BOOL QueryOption(DWORD option, DWORD& value) const;

    // A connection to the server (name or address) and port; `flags` are
    // kept and added to every request opened on it. Throws on failure; the
    // caller deletes the result.
    CHttpConnection* GetHttpConnection(const wchar_t* server, DWORD flags,
                                       INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER, const wchar_t* user = nullptr,
                                       const wchar_t* password = nullptr);
    CHttpConnection* GetHttpConnection(const wchar_t* server, INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER,
                                       const wchar_t* user = nullptr, const wchar_t* password = nullptr);
    void Close();

    HINTERNET GetHandle() const { return handle_.get(); }
    operator HINTERNET() const { return handle_.get(); }
    DWORD_PTR GetContext() const { return context_; }

    // Connections opened from now on, and their requests, end their blocking
    // calls `ms` from now at the latest (0: no deadline beyond the time-outs).
    void SetDeadline(DWORD ms);

    // Connect, send and receive time-out as set (0: not set).
    struct Timeouts {
        DWORD connect = 0, send = 0, receive = 0;
    };

private:
    OwnedInternet handle_;
    DWORD_PTR context_;
    DWORD openError_ = 0;
    Timeouts timeouts_;
    ULONGLONG deadline_ = 0;  // GetTickCount64 value; 0: none
};

// The session's deadline for the life of the scope.
class CInternetDeadline {
public:
    CInternetDeadline(CInternetSession& session, DWORD ms) : session_(session) { session_.SetDeadline(ms); }
    ~CInternetDeadline() { session_.SetDeadline(0); }
    CInternetDeadline(const CInternetDeadline&) = delete;
    CInternetDeadline& operator=(const CInternetDeadline&) = delete;

private:
    CInternetSession& session_;
};

class CHttpConnection {
public:
    virtual ~CHttpConnection();
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    // A request; the connection's flags are added to `flags`. Throws on
    // failure; the caller deletes the result.
    CHttpFile* OpenRequest(const wchar_t* verb, const wchar_t* object, const wchar_t* referer = nullptr,
                           DWORD_PTR context = 1, const wchar_t** acceptTypes = nullptr,
                           const wchar_t* version = nullptr, DWORD flags = 0);
    void Close();

    HINTERNET GetHandle() const { return handle_.get(); }
    operator HINTERNET() const { return handle_.get(); }
    const CString& GetServerName() const { return server_; }

private:
    friend class CInternetSession;
    CHttpConnection(HINTERNET h, const wchar_t* server, INTERNET_PORT port, DWORD flags, DWORD_PTR context,
                    const CInternetSession::Timeouts& timeouts, ULONGLONG deadline);
    OwnedInternet handle_;
    ULONGLONG deadline_;
    CInternetSession::Timeouts timeouts_;
    CString server_;
    INTERNET_PORT port_;
    DWORD flags_;
    DWORD_PTR context_;
};

class CHttpFile {
public:
    virtual ~CHttpFile();
    CHttpFile(const CHttpFile&) = delete;
    CHttpFile& operator=(const CHttpFile&) = delete;

    // Sends the request with optional extra headers (length -1: zero-terminated)
    // and body. Throws on failure; returns TRUE otherwise.
    BOOL SendRequest(const wchar_t* headers = nullptr, DWORD headersLength = 0, const void* body = nullptr,
                     DWORD bodyLength = 0);
    BOOL SendRequest(const CString& headers, const void* body = nullptr, DWORD bodyLength = 0);

    // The reply's status code; FALSE (and 0) when the reply has none.
    BOOL QueryInfoStatusCode(DWORD& status) const;
    // A header or status field as text (e.g. HTTP_QUERY_STATUS_TEXT); FALSE
    // when the reply does not hold it.
    BOOL QueryInfo(DWORD level, CString& text, DWORD* index = nullptr) const;
    BOOL QueryInfo(DWORD level, DWORD& value, DWORD* index = nullptr) const;

    // Options of the request handle, e.g. INTERNET_OPTION_SECURITY_FLAGS.
    BOOL QueryOption(DWORD option, DWORD& value) const;
    BOOL SetOption(DWORD option, DWORD value);

    // Up to `count` bytes of the body, as far as they have arrived (it waits
    // only while nothing has); 0 at its end. Throws on failure (ERROR_INTERNET_TIMEOUT past the
    // deadline, the request's handle then being closed).
    UINT Read(void* buffer, UINT count);
    void Close();

    HINTERNET GetHandle() const { return handle_.get(); }
    operator HINTERNET() const { return handle_.get(); }
    const CString& GetVerb() const { return verb_; }
    const CString& GetObjectName() const { return object_; }

private:
    friend class CHttpConnection;
    CHttpFile(HINTERNET h, const wchar_t* verb, const wchar_t* object, DWORD_PTR context, ULONGLONG deadline);
    OwnedInternet handle_;
    ULONGLONG deadline_;
    CString verb_;
    CString object_;
    DWORD_PTR context_;
};
