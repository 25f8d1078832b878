// The simulated transceiver (peers/enocean_peer.py, ENOCEAN_PEER as the test
// program's build defines it) on one TCP port of loopback: it writes its
// ready file once it listens, and when it has ended what it received and its
// done file.
#pragma once
#include <windows.h>
#include <string>
#include "tests/test_files.h"
#include "tests/unix_start/unix_start.h"

namespace krvtest {

class EnoceanPeer {
public:
    // files: folder and name prefix of the peer's files; extra: more arguments.
    EnoceanPeer(const std::string& files, const char* mode, int port, const char* base, const std::wstring& extra = L"")
        : ready_(files + "ready"), record_(files + "record"), done_(files + "done") {
        for (const std::string* f : {&ready_, &record_, &done_}) DeleteFileW(WinPath(*f).c_str());
        std::wstring cmd = L"/usr/bin/python3 " + Widen(ENOCEAN_PEER) + L" --port " + std::to_wstring(port) +
                           L" --mode " + Widen(mode) + L" --base " + Widen(base) + L" --ready " + Widen(ready_) +
                           L" --record " + Widen(record_) + L" --done " + Widen(done_) + extra;
        started_ = StartUnix(cmd) && WaitForFile(ready_);
    }
    bool Started() const { return started_; }
    // Waits (bounded) for the peer's end.
    bool Ended() const { return WaitForFile(done_); }
    // What it received, once it has ended.
    std::string Record() const { return ReadFileBytes(WinPath(record_)); }

private:
    static bool WaitForFile(const std::string& unix) {
        for (int i = 0; i < 400; ++i) {
            if (UnixFileExists(unix)) return true;
            Sleep(25);
        }
        return false;
    }
    std::string ready_, record_, done_;
    bool started_ = false;
};

}  // namespace krvtest
