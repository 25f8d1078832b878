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

namespace {

void Measure(const char* mode, const char* label, DWORD option, bool sessionOnly)
{
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
    printf("%-8s %-16s %-13s %6llu ms  error %lu status %lu\n", mode, label, sessionOnly ? "session only" : "every handle", took, (unsigned long)error,
           (unsigned long)status);
    fflush(stdout);
}

} // namespace

int main()
{
    const struct { const char* label; DWORD option; } options[] = {
        {"none", 0},
        {"CONNECT_TIMEOUT", INTERNET_OPTION_CONNECT_TIMEOUT},
        {"SEND_TIMEOUT", INTERNET_OPTION_SEND_TIMEOUT},
        {"RECEIVE_TIMEOUT", INTERNET_OPTION_RECEIVE_TIMEOUT},
    };
    for (const char* mode : {"silent", "backlog"})
        for (const auto& o : options)
            for (bool sessionOnly : {true, false})
                if (o.option || sessionOnly)
                    Measure(mode, o.label, o.option, sessionOnly);
    return 0;
}
