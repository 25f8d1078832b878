// Starts a program of this machine (a Unix one: python3 peers, sh scripts)
// from a Wine test or benchmark. Never start one with CreateProcess here:
// for a program that is no Windows image Wine returns a thread handle that
// is none, resumes it and leaves it to the caller, whose CloseHandle then
// closes one of its own handles by chance (on i686 the event of Winsock's
// blocking calls). unix_start.exe makes the start in a process of its own;
// this one only ever holds that program's real handles.
//
//   ASSERT_TRUE(krvtest::StartUnix("/usr/bin/python3 /path/peer.py --ready /tmp/r"));
//
// The Unix program is not followed: tell its end by a file it writes.
// Needs KRV_UNIX_START (the launcher's Unix path); krv_test and
// krv_unix_peers in CMake define it.
#pragma once
#include <windows.h>
#include <string>

#ifndef KRV_UNIX_START
#error KRV_UNIX_START must name unix_start.exe (a Unix path)
#endif

namespace krvtest {

// False when the launcher did not start, did not end within maxWaitMs or
// could not start the command.
inline bool StartUnix(const std::wstring& command, DWORD maxWaitMs = 10000) {
    std::wstring line = L"\"Z:";
    for (const char* p = KRV_UNIX_START; *p; ++p) line += *p == '/' ? L'\\' : (wchar_t)(unsigned char)*p;
    line += L"\" " + command;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    DWORD code = ERROR_GEN_FAILURE;
    const bool ended = WaitForSingleObject(pi.hProcess, maxWaitMs) == WAIT_OBJECT_0;
    if (ended)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, ERROR_TIMEOUT);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ended && code == 0;
}

// For ASCII command lines.
inline bool StartUnix(const std::string& command, DWORD maxWaitMs = 10000) {
    return StartUnix(std::wstring(command.begin(), command.end()), maxWaitMs);
}

}  // namespace krvtest
