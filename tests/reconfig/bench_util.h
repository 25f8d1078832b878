// What the reconfiguration benchmarks share: clocks, and the plain client
// (Python's urllib) that does the same transfer for comparison.
#pragma once
#include "tests/reconfig/device_peer.h"
#include "tests/unix_start/unix_start.h"
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace bench {

inline double Seconds() {
    static LARGE_INTEGER f = [] {
        LARGE_INTEGER x;
        QueryPerformanceFrequency(&x);
        return x;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

inline double CpuSeconds() {
    FILETIME a, b, k, u;
    GetProcessTimes(GetCurrentProcess(), &a, &b, &k, &u);
    auto v = [](FILETIME t) { return (double)(((ULONGLONG)t.dwHighDateTime << 32) | t.dwLowDateTime) / 1e7; };
    return v(k) + v(u);
}

// The plain client's own time for a GET ("get") or multipart POST ("post")
// of size bytes at the device's port; -1 when it gave no result or says that
// its transfer failed.
inline double PlainTransfer(DevicePeer& dev, const char* script, const char* how, int port, size_t size) {
    std::wstring result = dev.Dir() + L"\\plain.txt";
    DeleteFileW(result.c_str());
    std::string unixResult = PEER_DIR "/plain.txt";
    char cmd[1024];
    snprintf(cmd, sizeof cmd, "/usr/bin/python3 %s %s %s http://127.0.0.1:%d/%s %u", script, unixResult.c_str(), how,
             port, strcmp(how, "get") == 0 ? "config.js?PW=pw" : "config.php", (unsigned)size);
    // Not followed: the result file tells.
    if (!krvtest::StartUnix(std::string(cmd))) return -1;
    for (int i = 0; i < 1200; ++i) {
        std::string text = ReadFileBytes(result);
        double seconds = 0;
        int ok = 0;
        if (!text.empty()) return sscanf(text.c_str(), "%lf %d", &seconds, &ok) == 2 && ok == 1 ? seconds : -1;
        Sleep(50);
    }
    return -1;
}

}  // namespace bench
