// Also prints whether closing a request's handles from another thread ends a
// call blocked inside WinINet (argument "close": that part alone).
// Prints how long a synchronous request waits for servers that never answer,
// for each WinINet time-out option set alone to 4000 ms, on the session
// handle only or (as CInternetSession does) on every handle:
//   silent   the server accepts, reads the request and stays silent
//   backlog  the server's accept queue is full, so the connect itself hangs
// (the peers end after 30 s, which bounds every wait)
// Run inside the jail: tools/jail.sh env WINEPREFIX=... WINELOADER=... tools/inside.sh
//   /usr/lib/wine/wine64 build/x86_64/tests/framework/inet_timeouts_bench.exe
#include "framework/Inet.h"
#include "peer_process.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Measure(const char* mode, const char* label, DWORD option, bool sessionOnly) {
    PeerProcess peer;
    if (!peer.Start("http_peer.py", {"--mode", mode}, 30)) {
        printf("%-8s %-22s peer did not start\n", mode, label);
        return;
    }
    CInternetSession session(L"Korvelin Varnel", 42279, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
                             INTERNET_FLAG_DONT_CACHE);
    DWORD value = 4000;
    if (option && sessionOnly)
        InternetSetOptionW(session.GetHandle(), option, &value, sizeof value);
    else if (option)
        session.SetOption(option, value);
    CHttpConnection* c = nullptr;
    CHttpFile* f = nullptr;
    DWORD error = 0, status = 0;
    ULONGLONG start = GetTickCount64();
    try {
        c = session.GetHttpConnection(L"127.0.0.1", INTERNET_FLAG_RELOAD, (INTERNET_PORT)peer.Port());
        f = c->OpenRequest(L"GET", L"/version");
        f->SendRequest();
        f->QueryInfoStatusCode(status);
    } catch (CInternetException* e) {
        error = e->m_dwError;
        e->Delete();
    }
    ULONGLONG took = GetTickCount64() - start;
    delete f;
    delete c;
    printf("%-8s %-16s %-13s %6llu ms  error %lu status %lu\n", mode, label,
           sessionOnly ? "session only" : "every handle", took, (unsigned long)error, (unsigned long)status);
    fflush(stdout);
}

struct RawCall {
    HINTERNET request;
    bool read;
    ULONGLONG returned = 0;
    DWORD error = 0;
};

DWORD WINAPI RawThread(void* p) {
    RawCall* c = static_cast<RawCall*>(p);
    BOOL ok = HttpSendRequestW(c->request, nullptr, 0, nullptr, 0);
    if (ok && c->read) {
        char buf[256];
        DWORD n = 0;
        while ((ok = InternetReadFile(c->request, buf, sizeof buf, &n)) && n)
            ;
    }
    c->error = ok ? 0 : GetLastError();
    c->returned = GetTickCount64();
    return 0;
}

// Whether closing the handles from another thread ends a call that is
// blocked inside WinINet: the request runs on a thread of its own, the main
// thread closes its handles after 1000 ms and waits up to 15 s for the call.
void MeasureClose(const char* mode, std::vector<std::string> args, bool closeConnection) {
    PeerProcess peer;
    args.insert(args.begin(), {"--mode", mode});
    if (!peer.Start("http_peer.py", args, 30)) {
        printf("close    %-12s peer did not start\n", mode);
        return;
    }
    HINTERNET session = InternetOpenW(L"Korvelin Varnel", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    DWORD t = 4000;
    HINTERNET c = InternetConnectW(session, L"127.0.0.1", (INTERNET_PORT)peer.Port(), nullptr, nullptr,
                                   INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET r = HttpOpenRequestW(c, L"GET", L"/version", nullptr, nullptr, nullptr,
                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    InternetSetOptionW(r, INTERNET_OPTION_RECEIVE_TIMEOUT, &t, sizeof t);
    RawCall call{r, std::string(mode) == "trickle"};
    HANDLE th = CreateThread(nullptr, 0, RawThread, &call, 0, nullptr);
    Sleep(1000);
    ULONGLONG closed = GetTickCount64();
    InternetCloseHandle(r);
    if (closeConnection) InternetCloseHandle(c);
    DWORD w = WaitForSingleObject(th, 15000);
    CloseHandle(th);
    if (w == WAIT_OBJECT_0)
        printf("close    %-12s %-18s call returned %6llu ms after the close, error %lu\n", mode,
               closeConnection ? "request+connection" : "request", call.returned - closed, (unsigned long)call.error);
    else
        printf("close    %-12s %-18s call still blocked 15 s after the close\n", mode,
               closeConnection ? "request+connection" : "request");
    fflush(stdout);
    if (!closeConnection) InternetCloseHandle(c);
    InternetCloseHandle(session);
}

}  // namespace

int main(int argc, char** argv) {
    for (bool both : {false, true}) {
        MeasureClose("silent", {}, both);
        MeasureClose("trickle", {"--pause", "0.5", "--body", "Lattix #57640 abcdefghijklmnopqrstuvwxyz"}, both);
        MeasureClose("tricklehead", {"--pause", "0.5"}, both);
        MeasureClose("headers", {"--count", "16000"}, both);
    }
    if (argc > 1 && std::string(argv[1]) == "close") return 0;
    const struct {
        const char* label;
        DWORD option;
    } options[] = {
        {"none", 0},
        {"CONNECT_TIMEOUT", INTERNET_OPTION_CONNECT_TIMEOUT},
        {"SEND_TIMEOUT", INTERNET_OPTION_SEND_TIMEOUT},
        {"RECEIVE_TIMEOUT", INTERNET_OPTION_RECEIVE_TIMEOUT},
    };
    for (const char* mode : {"silent", "backlog"})
        for (const auto& o : options)
            for (bool sessionOnly : {true, false})
                if (o.option || sessionOnly) Measure(mode, o.label, o.option, sessionOnly);
    return 0;
}
