// Synchronous HTTP client over WinINet: session, connection, request; every
// failure is thrown as a CInternetException pointer, which the catcher
// deletes with Delete(). (A small header-only stand-in: replaced by the
// fuller one of the device network core when that lands.)
//
//   CInternetSession s(L"agent", 1, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
//   std::unique_ptr<CHttpConnection> c(s.GetHttpConnection(L"host", 0, 80));
//   std::unique_ptr<CHttpFile> f(c->OpenRequest(L"GET", L"/x", nullptr, 1, nullptr, nullptr, 0));
//   f->SendRequest(); DWORD st; f->QueryInfoStatusCode(st); f->Read(buf, n);
#pragma once
#include <windows.h>
#include <wininet.h>
#include "framework/String.h"

class CInternetException {
public:
    explicit CInternetException(DWORD e) : m_dwError(e) {}
    DWORD m_dwError;
    BOOL GetErrorMessage(wchar_t* buf, UINT n, UINT* help = nullptr) {
        DWORD len = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, GetModuleHandleW(L"wininet.dll"),
                                   m_dwError, 0, buf, n, nullptr);
        if (!len) _snwprintf(buf, n, L"%lu", (unsigned long)m_dwError);
        return TRUE;
    }
    void Delete() { delete this; }
};
[[noreturn]] inline void ThrowInet() { throw new CInternetException(GetLastError()); }

class CHttpFile {
public:
    explicit CHttpFile(HINTERNET h) : h_(h) {}
    ~CHttpFile() { Close(); }
    BOOL QueryOption(DWORD o, DWORD& v) { DWORD n = sizeof v; return InternetQueryOptionW(h_, o, &v, &n); }
    BOOL SetOption(DWORD o, DWORD v) { return InternetSetOptionW(h_, o, &v, sizeof v); }
    BOOL SendRequest() { if (!HttpSendRequestW(h_, nullptr, 0, nullptr, 0)) ThrowInet(); return TRUE; }
    BOOL QueryInfoStatusCode(DWORD& s) { DWORD n = sizeof s; return HttpQueryInfoW(h_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &s, &n, nullptr); }
    BOOL QueryInfo(DWORD what, CString& s) {
        wchar_t buf[512] = {}; DWORD n = sizeof buf;
        BOOL ok = HttpQueryInfoW(h_, what, buf, &n, nullptr); s = buf; return ok;
    }
    UINT Read(void* p, UINT n) { DWORD got = 0; if (!InternetReadFile(h_, p, n, &got)) ThrowInet(); return got; }
    void Close() { if (h_) InternetCloseHandle(h_); h_ = nullptr; }
private:
    HINTERNET h_;
};
class CHttpConnection {
public:
    explicit CHttpConnection(HINTERNET h) : h_(h) {}
    ~CHttpConnection() { Close(); }
    CHttpFile* OpenRequest(const wchar_t* verb, const wchar_t* obj, const wchar_t* ref, DWORD_PTR ctx, const wchar_t** accept, const wchar_t* ver, DWORD flags) {
        HINTERNET r = HttpOpenRequestW(h_, verb, obj, ver, ref, accept, flags, ctx);
        if (!r) ThrowInet();
        return new CHttpFile(r);
    }
    void Close() { if (h_) InternetCloseHandle(h_); h_ = nullptr; }
private:
    HINTERNET h_;
};
class CInternetSession {
public:
    CInternetSession(const wchar_t* agent, DWORD_PTR ctx, DWORD access, const wchar_t* proxy, const wchar_t* bypass, DWORD flags)
        : h_(InternetOpenW(agent, access, proxy, bypass, flags)), ctx_(ctx) {}
    ~CInternetSession() { Close(); }
    BOOL SetOption(DWORD o, DWORD v) { return InternetSetOptionW(h_, o, &v, sizeof v); }
    CHttpConnection* GetHttpConnection(const wchar_t* server, DWORD flags, INTERNET_PORT port, const wchar_t* user = nullptr, const wchar_t* pwd = nullptr) {
        HINTERNET c = InternetConnectW(h_, server, port, user, pwd, INTERNET_SERVICE_HTTP, flags, ctx_);
        if (!c) ThrowInet();
        return new CHttpConnection(c);
    }
    void Close() { if (h_) InternetCloseHandle(h_); h_ = nullptr; }
private:
    HINTERNET h_;
    DWORD_PTR ctx_;
};
