// Unix programs started from a Wine program: the handles this process holds
// stay its own, however many starts it makes. The test command runs this
// program under a wineserver of its own that traces every request
// (unix_start_trace.sh), and checks what the starts between the marker
// events asked of the server.
#include <winsock2.h>
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include "tests/test_files.h"
#include "tests/unix_start/unix_start.h"

namespace {

using krvtest::ReadFileBytes;
using krvtest::WinPath;

class UnixStart : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA wsa;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
    }
    static void TearDownTestSuite() { WSACleanup(); }

    void SetUp() override {
        unixFolder = UNIX_START_WORK "/" + std::to_string(GetCurrentProcessId());
        folder = WinPath(unixFolder);
        ASSERT_TRUE(krvtest::MakeFolder(WinPath(UNIX_START_WORK)) && krvtest::MakeFolder(folder)) << GetLastError();
        DeleteFileW((folder + L"\\lines").c_str());
    }

    void TearDown() override {
        for (const wchar_t* name : {L"lines", L"kept.txt"}) DeleteFileW((folder + L"\\" + name).c_str());
        RemoveDirectoryW(folder.c_str());
    }

    // Starts n shell commands that each append a line to one file, and waits
    // (bounded) until all have.
    void StartMany(int n) {
        const std::string lines = unixFolder + "/lines";
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(krvtest::StartUnix("/bin/sh -c \"echo " + std::to_string(i) + " >> " + lines + "\""))
                << "start " << i;
        std::string text;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(20)) {
            text = ReadFileBytes(WinPath(lines));
            if (std::count(text.begin(), text.end(), '\n') >= n) break;
        }
        EXPECT_EQ(n, (int)std::count(text.begin(), text.end(), '\n'));
    }

    std::wstring folder;
    std::string unixFolder;
};

// A listening socket on loopback and its port.
SOCKET Listen(u_short& port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (s == INVALID_SOCKET || bind(s, (sockaddr*)&a, sizeof a) != 0 || listen(s, 4) != 0 ||
        getsockname(s, (sockaddr*)&a, &len) != 0) {
        if (s != INVALID_SOCKET) closesocket(s);
        return INVALID_SOCKET;
    }
    port = ntohs(a.sin_port);
    return s;
}

// A blocking connect, send, accept and receive on this thread: Winsock
// keeps an event per thread for blocking calls, the handle a stray close
// took first.
::testing::AssertionResult BlockingRoundTrip(SOCKET listener, u_short port) {
    SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (c == INVALID_SOCKET) return ::testing::AssertionFailure() << "socket " << WSAGetLastError();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::testing::AssertionResult r = ::testing::AssertionSuccess();
    SOCKET s = INVALID_SOCKET;
    char got[8] = {};
    if (connect(c, (sockaddr*)&a, sizeof a) != 0)
        r = ::testing::AssertionFailure() << "connect " << WSAGetLastError();
    else if (send(c, "ping", 4, 0) != 4)
        r = ::testing::AssertionFailure() << "send " << WSAGetLastError();
    else if ((s = accept(listener, nullptr, nullptr)) == INVALID_SOCKET)
        r = ::testing::AssertionFailure() << "accept " << WSAGetLastError();
    else if (recv(s, got, 4, MSG_WAITALL) != 4 || std::string(got) != "ping")
        r = ::testing::AssertionFailure() << "recv " << WSAGetLastError();
    if (s != INVALID_SOCKET) closesocket(s);
    closesocket(c);
    return r;
}

// An event, a socket and a file opened before forty starts are the same
// objects after them, and the thread's blocking socket calls still work.
TEST_F(UnixStart, HandlesOpenedBeforeStayTheSameObjects) {
    u_short port = 0;
    SOCKET listener = Listen(port);
    ASSERT_NE(INVALID_SOCKET, listener);
    ASSERT_TRUE(BlockingRoundTrip(listener, port));
    const std::wstring eventName = L"krv-unix-start-" + std::to_wstring(GetCurrentProcessId());
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_TRUE(event);
    const std::wstring path = folder + L"\\kept.txt";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD wrote = 0;
    ASSERT_TRUE(WriteFile(file, "kept", 4, &wrote, nullptr) && wrote == 4);
    BY_HANDLE_FILE_INFORMATION before{};
    ASSERT_TRUE(GetFileInformationByHandle(file, &before));

    StartMany(40);

    // The event: signalled through our handle, seen through a fresh one.
    HANDLE again = OpenEventW(SYNCHRONIZE, FALSE, eventName.c_str());
    ASSERT_TRUE(again);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(again, 0));
    CloseHandle(again);
    EXPECT_TRUE(CloseHandle(event));
    // The file: the same one, still holding what was written.
    BY_HANDLE_FILE_INFORMATION after{};
    ASSERT_TRUE(GetFileInformationByHandle(file, &after));
    EXPECT_EQ(before.dwVolumeSerialNumber, after.dwVolumeSerialNumber);
    EXPECT_EQ(before.nFileIndexHigh, after.nFileIndexHigh);
    EXPECT_EQ(before.nFileIndexLow, after.nFileIndexLow);
    char text[8] = {};
    DWORD read = 0;
    EXPECT_NE(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0, nullptr, FILE_BEGIN));
    EXPECT_TRUE(ReadFile(file, text, 4, &read, nullptr));
    EXPECT_EQ("kept", std::string(text, read));
    EXPECT_TRUE(CloseHandle(file));
    // The socket: still listening on its port; blocking calls, a fresh bind.
    sockaddr_in a{};
    int len = sizeof a;
    EXPECT_EQ(0, getsockname(listener, (sockaddr*)&a, &len));
    EXPECT_EQ(port, ntohs(a.sin_port));
    EXPECT_TRUE(BlockingRoundTrip(listener, port));
    u_short other = 0;
    SOCKET second = Listen(other);
    EXPECT_NE(INVALID_SOCKET, second) << WSAGetLastError();
    if (second != INVALID_SOCKET) closesocket(second);
    closesocket(listener);
}

// What the traced run checks: the requests this thread makes between the two
// marker events (named in the trace) touch only handles the server gave it.
TEST_F(UnixStart, TracedStarts) {
    u_short port = 0;
    SOCKET listener = Listen(port);
    ASSERT_NE(INVALID_SOCKET, listener);
    ASSERT_TRUE(BlockingRoundTrip(listener, port));
    HANDLE begin = CreateEventW(nullptr, TRUE, FALSE, L"krv-trace-begin");
    StartMany(3);
    HANDLE end = CreateEventW(nullptr, TRUE, FALSE, L"krv-trace-end");
    EXPECT_TRUE(begin && end);
    if (begin) CloseHandle(begin);
    if (end) CloseHandle(end);
    EXPECT_TRUE(BlockingRoundTrip(listener, port));
    closesocket(listener);
}

// A command that cannot start is reported.
TEST_F(UnixStart, FailedStartIsReported) {
    EXPECT_FALSE(krvtest::StartUnix("/nonexistent/program"));
    EXPECT_FALSE(krvtest::StartUnix(""));
}

}  // namespace
