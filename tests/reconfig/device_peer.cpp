#include "tests/reconfig/device_peer.h"
#include <cstdio>
#include <gtest/gtest.h>
#include <ws2tcpip.h>
#include "tests/unix_start/unix_start.h"

namespace {
using krvtest::Widen;
using krvtest::WinPath;

// Makes the folder, or empties one left by an earlier run.
void MakeEmptyFolder(const std::wstring& dir) {
    if (!krvtest::MakeFolder(dir)) ADD_FAILURE() << "no folder, error " << GetLastError();
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((dir + L"\\" + fd.cFileName).c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
}
}  // namespace

namespace {
// Stops the device when the test program ends.
class StopDevice : public ::testing::Environment {
public:
    void TearDown() override {
        if (started) DevicePeer::Get().Stop();
    }
    static bool started;
};
bool StopDevice::started = false;
::testing::Environment* const stopDevice = ::testing::AddGlobalTestEnvironment(new StopDevice);
}  // namespace

DevicePeer& DevicePeer::Get() {
    static DevicePeer peer;
    StopDevice::started = true;
    return peer;
}

DevicePeer::DevicePeer() {
    m_dir = WinPath(PEER_DIR);
    MakeEmptyFolder(m_dir);
    std::wstring cmd = L"/usr/bin/python3 " + Widen(PEER_SCRIPT) + L" " + Widen(PEER_DIR);
    // Not followed: the ready file tells when it listens.
    bool started = krvtest::StartUnix(cmd);
    for (int i = 0; started && i < 300 && !m_ready; ++i) {
        m_ports = ReadFileBytes(m_dir + L"\\ready");
        m_ready = !m_ports.empty();
        if (!m_ready) Sleep(50);
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
}

// Waits (bounded) until the device has let go of its ports: the next
// program's device listens on the same fixed ones (80, 443, 8003, ...).
void DevicePeer::Stop() {
    WriteFileBytes(m_dir + L"\\stop", "stop");
    for (int i = 0; m_ready && i < 200 && !FileExists(m_dir + L"\\ended"); ++i) Sleep(25);
    m_ready = false;
}

void DevicePeer::SetMode(const std::string& json) {
    if (WriteFileBytes(m_dir + L"\\mode.part", json) &&
        !MoveFileExW((m_dir + L"\\mode.part").c_str(), (m_dir + L"\\mode.json").c_str(), MOVEFILE_REPLACE_EXISTING))
        ADD_FAILURE() << "the device's mode not set, error " << GetLastError();
}

size_t DevicePeer::RequestCount() const {
    size_t n = 0;
    while (FileExists(m_dir + L"\\req-" + std::to_wstring(n + 1) + L".bin")) ++n;
    return n;
}

std::string DevicePeer::Request(size_t n) const {
    return ReadFileBytes(m_dir + L"\\req-" + std::to_wstring(n) + L".bin");
}

size_t DevicePeer::RawCount(int port) const {
    size_t n = 0;
    while (FileExists(m_dir + L"\\raw-" + std::to_wstring(port) + L"-" + std::to_wstring(n + 1) + L".bin")) ++n;
    return n;
}

std::string DevicePeer::Raw(int port, size_t n) const {
    return ReadFileBytes(m_dir + L"\\raw-" + std::to_wstring(port) + L"-" + std::to_wstring(n) + L".bin");
}

int DevicePeer::Port(const char* name) const {
    std::string key = std::string("\"") + name + "\": ";
    size_t p = m_ports.find(key);
    return p == std::string::npos ? 0 : atoi(m_ports.c_str() + p + key.size());
}

OwnedInternet OpenAsyncSession() {
    return OwnedInternet(
        InternetOpenW(L"Korvelin Varnel", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC));
}

void SetTarget(CCfgTarget& t, int port, const char* address, BOOL https) {
    t.m_dwAddress = inet_addr(address);
    t.m_wHttpPort = (WORD)port;
    t.m_bHttps = https;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    SetLastError(0);
    if (krvtest::WriteFileBytes(path, bytes)) return true;
    ADD_FAILURE() << "fixture not written, error " << GetLastError() << ": " << std::string(path.begin(), path.end());
    return false;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring TestFolder(const wchar_t* name) {
    std::wstring dir = WinPath(PEER_DIR) + L"-" + name;
    MakeEmptyFolder(dir);
    return dir;
}

std::wstring MessageText(UINT id, const wchar_t* arg) {
    CString fmt;
    if (!fmt.LoadString(id)) return L"<missing>";
    CString a = arg;
    fmt.Replace(L"%s", a);
    return fmt.GetString();
}
