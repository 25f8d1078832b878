// Control pipe against a real pipe server (ostrel_pipe_peer.exe) and the
// program starts against stand-ins beside the test program.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <memory>
#include <string>
#include "editor/server_control.h"
#include "tests/test_files.h"

namespace {

std::wstring Here(const wchar_t* file) { return std::wstring(GetProgramFilePath(file).GetString()); }

using krvtest::ReadFileBytes;

// One peer process, ended when the test is done with it.
class Peer {
public:
    Peer(const wchar_t* mode, const std::wstring& log, int requests = 1) {
        DeleteFileW(log.c_str());
        std::wstring cmd =
            L"\"" + Here(L"ostrel_pipe_peer.exe") + L"\" " + mode + L" \"" + log + L"\" " + std::to_wstring(requests);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        started_ = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_);
        // Ready once the pipe exists (free or held). A busy peer holds its
        // instance a moment after making it: ready only once it is held.
        const bool busy = wcscmp(mode, L"busy") == 0;
        for (int i = 0; started_ && i < 200; ++i) {
            BOOL free = WaitNamedPipeW(KRV_SERVER_PIPE, 1);
            DWORD err = free ? 0 : GetLastError();
            if (busy ? err == ERROR_SEM_TIMEOUT : (free || err != ERROR_FILE_NOT_FOUND)) return;
            Sleep(25);
        }
        started_ = false;
    }
    ~Peer() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 2000) != WAIT_OBJECT_0) TerminateProcess(pi_.hProcess, 9);
            WaitForSingleObject(pi_.hProcess, 5000);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
    }
    bool started() const { return started_; }

private:
    PROCESS_INFORMATION pi_ = {};
    bool started_ = false;
};

struct PipeCase {
    const wchar_t* mode;  // nullptr: no server at all
    ServerAnswer answer;
    DWORD error;
    bool logs;  // the peer reads the request
};

const PipeCase kCases[] = {
    {L"ok", ServerAccepted, 0, true},
    {L"refuse", ServerRefused, 0, true},
    {L"okmore", ServerRefused, 0, true},
    {L"okbare", ServerRefused, 0, true},
    {L"okfill", ServerRefused, 0, true},
    {L"long", ServerFailed, ERROR_MORE_DATA, true},
    {L"busy", ServerFailed, ERROR_SEM_TIMEOUT, false},
    {nullptr, ServerNotRunning, ERROR_FILE_NOT_FOUND, false},
};

const std::string kReload("RELOAD\r\n", 8);
const std::string kStop("STOP\r\n\0\0", 8);

void RunCase(const PipeCase& c, bool stop) {
    std::wstring log = Here(L"srv_pipe.log");
    std::unique_ptr<Peer> peer;
    if (c.mode) {
        peer.reset(new Peer(c.mode, log));
        ASSERT_TRUE(peer->started()) << "peer did not start";
    } else {
        DeleteFileW(log.c_str());
    }
    DWORD error = 12345;
    DWORD t0 = GetTickCount();
    ServerAnswer a = stop ? SendStopRequest(&error) : SendReloadRequest(&error);
    DWORD took = GetTickCount() - t0;
    EXPECT_EQ(c.answer, a);
    EXPECT_EQ(c.error, error);
    if (c.logs) {
        EXPECT_EQ(stop ? kStop : kReload, ReadFileBytes(log));
    }
    if (c.error == ERROR_SEM_TIMEOUT) {
        EXPECT_GE(took, 900u);
    } else {
        EXPECT_LT(took, 3000u);
    }
}

}  // namespace

TEST(SrvServerPipe, ReloadAgainstEachKindOfServer) {
    for (const PipeCase& c : kCases) {
        SCOPED_TRACE(c.mode ? c.mode : L"no server");
        RunCase(c, false);
    }
}

TEST(SrvServerPipe, StopAgainstEachKindOfServer) {
    for (const PipeCase& c : kCases) {
        SCOPED_TRACE(c.mode ? c.mode : L"no server");
        RunCase(c, true);
    }
}

// A server that takes the request and never answers must not hold us for ever.
// A second request right after the first one finds the server's only
// instance between two connections: it waits for it and is answered.
TEST(SrvServerPipe, TwoRequestsInQuickSuccession) {
    std::wstring log = Here(L"pipe_twice.log");
    Peer peer(L"ok", log, 2);
    ASSERT_TRUE(peer.started());
    DWORD e1 = 99, e2 = 99;
    ServerAnswer a1 = SendReloadRequest(&e1);
    ServerAnswer a2 = SendReloadRequest(&e2);
    EXPECT_EQ(0u, e1);
    EXPECT_EQ(ServerAccepted, a1);
    EXPECT_EQ(0u, e2);
    EXPECT_EQ(ServerAccepted, a2);
    EXPECT_EQ("RELOAD\r\nRELOAD\r\n", ReadFileBytes(log));
}

TEST(SrvServerPipe, SilentServerEndsAfterTheAnswerWait) {
    for (bool stop : {false, true}) {
        std::wstring log = Here(L"srv_pipe.log");
        Peer peer(L"silent", log);
        ASSERT_TRUE(peer.started());
        DWORD error = 0;
        DWORD t0 = GetTickCount();
        ServerAnswer a = stop ? SendStopRequest(&error) : SendReloadRequest(&error);
        DWORD took = GetTickCount() - t0;
        EXPECT_EQ(ServerFailed, a);
        EXPECT_EQ((DWORD)ERROR_TIMEOUT, error);
        EXPECT_GE(took, 9500u);
        EXPECT_LT(took, 14000u);
        EXPECT_EQ(stop ? kStop : kReload, ReadFileBytes(log));
    }
}

TEST(SrvServerPipe, WhatEachOutcomeShows) {
    CServerNotice n = ReloadNotice(ServerAccepted, 0);
    EXPECT_TRUE(n.balloon);
    EXPECT_EQ((UINT)IDS_SRV_SAVED_TITLE, n.titleId);
    EXPECT_EQ((UINT)IDS_SRV_RELOAD_ACCEPTED, n.textId);
    EXPECT_EQ((UINT)TTI_INFO, n.icon);

    n = ReloadNotice(ServerNotRunning, 2);
    EXPECT_TRUE(n.balloon);
    EXPECT_EQ((UINT)IDS_SRV_SAVED_TITLE, n.titleId);
    EXPECT_EQ((UINT)IDS_SRV_RELOAD_NOTRUNNING, n.textId);

    n = ReloadNotice(ServerRefused, 0);
    EXPECT_FALSE(n.balloon);
    EXPECT_EQ((UINT)MB_ICONEXCLAMATION, n.icon);
    EXPECT_STREQ(L"Der OPC-Server hat die Aufforderung, die neuen Konfigurationsdaten zu übernehmen, abgelehnt.",
                 n.text);

    n = StopNotice(ServerAccepted, 0);
    EXPECT_FALSE(n.balloon);
    EXPECT_EQ((UINT)IDS_SRV_STOP_ACCEPTED, n.textId);
    EXPECT_EQ((UINT)MB_ICONINFORMATION, n.icon);
    n = StopNotice(ServerRefused, 0);
    EXPECT_EQ((UINT)IDS_SRV_STOP_REFUSED, n.textId);
    EXPECT_EQ((UINT)MB_ICONSTOP, n.icon);
    n = StopNotice(ServerNotRunning, 2);
    EXPECT_EQ((UINT)IDS_SRV_STOP_NOTRUNNING, n.textId);
    EXPECT_EQ((UINT)MB_ICONEXCLAMATION, n.icon);
    EXPECT_STREQ(L"Der OPC-Server wird zur Zeit anscheinend nicht ausgeführt.", n.text);

    for (bool stop : {false, true}) {
        n = stop ? StopNotice(ServerFailed, 234) : ReloadNotice(ServerFailed, 234);
        EXPECT_FALSE(n.balloon);
        EXPECT_EQ((UINT)MB_ICONSTOP, n.icon);
        EXPECT_EQ(0, n.text.Find(L"Fehlercode 234: ")) << (const wchar_t*)n.text;
    }
}

TEST(SrvServerPipe, ErrorTextIsCutAt199Characters) {
    CString t = FormatPipeError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(0, t.Find(L"Fehlercode 2: "));
    EXPECT_GT(t.GetLength(), 14);
    EXPECT_LE(t.GetLength(), 14 + 199);
    // A code without system text leaves only the number.
    EXPECT_STREQ(L"Fehlercode 987654: ", FormatPipeError(987654));
}

namespace {

std::string WaitForArgs(const wchar_t* exe) {
    std::wstring path = Here(exe) + L".args";
    for (int i = 0; i < 400; ++i) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return ReadFileBytes(path);
        Sleep(25);
    }
    return "<not started>";
}

}  // namespace

TEST(SrvProgramStart, ServiceToolGetsTheServiceName) {
    DeleteFileW((Here(L"Tolvane.exe") + L".args").c_str());
    StartServiceTool();
    EXPECT_EQ("1\nOstrel\n", WaitForArgs(L"Tolvane.exe"));
}

TEST(SrvProgramStart, DemoClientGetsNoArguments) {
    DeleteFileW((Here(L"Fennick.exe") + L".args").c_str());
    StartDemoClient();
    EXPECT_EQ("0\n", WaitForArgs(L"Fennick.exe"));
}

TEST(SrvProgramStart, PathIsOurOwnFolder) {
    wchar_t self[300];
    GetModuleFileNameW(nullptr, self, 300);
    std::wstring s(self);
    std::wstring folder = s.substr(0, s.rfind(L'\\') + 1);
    EXPECT_EQ(folder + L"Tolvane.exe", std::wstring(GetProgramFilePath(L"Tolvane.exe").GetString()));
}
