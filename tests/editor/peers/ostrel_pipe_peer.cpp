// ostrel_pipe_peer: stands in for the OPC server's side of its control pipe.
//
//   ostrel_pipe_peer.exe MODE LOGFILE [REQUESTS] [PIPE]
//
// Creates the message-type pipe PIPE (default \\.\pipe\Ostrel, one instance)
// and answers REQUESTS connections (default 1, 0 = until killed), then exits.
// Every request's received bytes are appended raw to LOGFILE ("-" = none)
// before the answer goes out, so the log is complete once a client has its
// reply. MODE:
//   ok       answers "OK\r\n"
//   refuse   answers "NO\r\n"
//   okmore   answers "OK\r\nMORE" (8 bytes)
//   okbare   answers "OK"
//   okfill   answers "OK\r\n" and 16 further bytes (20 in all)
//   long     answers 30 bytes (more than a 20-byte reply buffer)
//   silent   reads the request and never answers
//   busy     holds the only instance itself: clients find no free instance
// The pipe exists once the peer is ready: poll with WaitNamedPipeW until it
// no longer fails with error 2. The peer ends itself after 120 s at most.
// Runs under Wine beside the program under test (same wineserver).
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

static DWORD WINAPI Watchdog(void*) {
    Sleep(120000);
    ExitProcess(3);
    return 0;
}

static void Log(const wchar_t* path, const char* data, DWORD n) {
    if (wcscmp(path, L"-") == 0) return;
    FILE* f = _wfopen(path, L"ab");
    if (!f) return;
    fwrite(data, 1, n, f);
    fclose(f);
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fwprintf(stderr, L"usage: ostrel_pipe_peer MODE LOGFILE [REQUESTS] [PIPE]\n");
        return 2;
    }
    const wchar_t* mode = argv[1];
    const wchar_t* log = argv[2];
    int requests = argc > 3 ? _wtoi(argv[3]) : 1;
    const wchar_t* name = argc > 4 ? argv[4] : L"\\\\.\\pipe\\Ostrel";
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));

    std::string reply;
    bool silent = false, busy = false;
    if (!wcscmp(mode, L"ok"))
        reply = "OK\r\n";
    else if (!wcscmp(mode, L"refuse"))
        reply = "NO\r\n";
    else if (!wcscmp(mode, L"okmore"))
        reply = "OK\r\nMORE";
    else if (!wcscmp(mode, L"okbare"))
        reply = "OK";
    else if (!wcscmp(mode, L"okfill"))
        reply = "OK\r\n0123456789ABCDEF";
    else if (!wcscmp(mode, L"long"))
        reply = "OK\r\n-this-reply-is-too-long-";
    else if (!wcscmp(mode, L"silent"))
        silent = true;
    else if (!wcscmp(mode, L"busy"))
        busy = true;
    else {
        fwprintf(stderr, L"unknown mode %ls\n", mode);
        return 2;
    }

    HANDLE pipe = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                   512, 512, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"CreateNamedPipe: %lu\n", GetLastError());
        return 1;
    }
    if (busy) {
        HANDLE self = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (self == INVALID_HANDLE_VALUE) {
            fwprintf(stderr, L"self connect: %lu\n", GetLastError());
            return 1;
        }
        Sleep(requests > 0 ? 30000 : INFINITE);
        return 0;
    }
    for (int served = 0; requests == 0 || served < requests; ++served) {
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return 1;
        char buf[256];
        DWORD got = 0;
        BOOL ok = ReadFile(pipe, buf, sizeof buf, &got, nullptr);
        if (ok || GetLastError() == ERROR_MORE_DATA) Log(log, buf, got);
        if (silent) {
            Sleep(INFINITE);
        }
        DWORD put = 0;
        WriteFile(pipe, reply.data(), (DWORD)reply.size(), &put, nullptr);
        FlushFileBuffers(pipe);
        DisconnectNamedPipe(pipe);
    }
    CloseHandle(pipe);
    return 0;
}
