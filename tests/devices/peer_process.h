// Starts one of the Python device peers of tests/devices/peers as a Unix
// process from a Wine test program and talks to it through files: the peer
// writes its port to a ready file once it listens, appends what it received
// to a record file, and ends on its own time limit or when the stop file
// appears (the destructor creates it). The peer is not followed: its files
// tell when it listens and what it got.
//
//   PeerProcess http;
//   ASSERT_TRUE(http.Start("http_peer.py", {"--mode", "page", "--body", "x#57620"}));
//   ... connect to 127.0.0.1:http.Port() ...
//   EXPECT_EQ("GET /version HTTP/1.1\r\n...", http.WaitRecord(n));
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unix_start/unix_start.h"

#ifndef KRV_PEERS_DIR
#error KRV_PEERS_DIR must name tests/devices/peers (a Unix path)
#endif
#ifndef KRV_PEER_WORK
#error KRV_PEER_WORK must name a Unix folder for ready and record files
#endif

// Unix path to the Windows path Wine maps it to (Z: is the Unix root).
inline std::string UnixToWinPath(const std::string& unix) {
    std::string w = "Z:" + unix;
    for (char& c : w)
        if (c == '/') c = '\\';
    return w;
}

inline std::string ReadWholeFile(const std::string& winPath, bool* exists = nullptr) {
    std::ifstream in(winPath, std::ios::binary);
    if (exists) *exists = (bool)in;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class PeerProcess {
public:
    PeerProcess() = default;
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    ~PeerProcess() { Stop(); }

    // Command words put before python3, e.g. the value of KRV_DEVNS_EXEC
    // ("ip netns exec krvdev") to run the peer on the far side of the subnet
    // that tests/devices/net/with_subnet.sh builds.
    void SetPrefix(const std::string& prefix) { prefix_ = prefix; }

    // Starts python3 peers/SCRIPT ARGS --ready R --record REC --limit LIMIT
    // and waits (bounded) until it listens. False when it never got ready.
    bool Start(const std::string& script, const std::vector<std::string>& args, int limitSeconds = 60) {
        static std::atomic<int> serial{0};
        char name[64];
        snprintf(name, sizeof name, "/peer-%lu-%d", (unsigned long)GetCurrentProcessId(), ++serial);
        base_ = std::string(KRV_PEER_WORK) + name;
        if (!CreateDirectoryA(UnixToWinPath(KRV_PEER_WORK).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        DeleteFileA(UnixToWinPath(base_ + ".ready").c_str());
        DeleteFileA(UnixToWinPath(base_ + ".ready.stop").c_str());
        DeleteFileA(UnixToWinPath(base_ + ".record").c_str());
        std::string cmd = (prefix_.empty() ? std::string() : prefix_ + " ") + "/usr/bin/python3 " +
                          Quote(std::string(KRV_PEERS_DIR) + "/" + script);
        for (const std::string& a : args) cmd += " " + Quote(a);
        cmd += " --ready " + Quote(base_ + ".ready") + " --record " + Quote(base_ + ".record") + " --limit " +
               std::to_string(limitSeconds);
        if (!krvtest::StartUnix(cmd)) return false;
        started_ = true;
        // Python and, for HTTPS, openssl start within a second or two; 20 s
        // only bounds a peer that failed.
        for (int i = 0; i < 2000; ++i) {
            bool exists = false;
            std::string text = ReadWholeFile(UnixToWinPath(base_ + ".ready"), &exists);
            if (exists && !text.empty() && text.back() == '\n') {
                port_ = atoi(text.c_str());
                return true;
            }
            Sleep(10);
        }
        return false;
    }

    // False when the stop file could not be written (the peer then ends at
    // its time limit).
    bool Stop() {
        if (!started_) return true;
        started_ = false;
        std::ofstream stop(UnixToWinPath(base_ + ".ready.stop"));
        stop << "stop\n";
        stop.close();
        return !stop.fail();
    }

    int Port() const { return port_; }
    std::string RecordPath() const { return UnixToWinPath(base_ + ".record"); }
    std::string Record() const { return ReadWholeFile(RecordPath()); }

    // The record once it holds at least `bytes` bytes (bounded wait: the peer
    // writes it before it answers, so normally it is there already).
    std::string WaitRecord(size_t bytes, int maxWaitMs = 5000) const {
        std::string r;
        for (int waited = 0;; waited += 10) {
            r = Record();
            if (r.size() >= bytes || waited >= maxWaitMs) return r;
            Sleep(10);
        }
    }

private:
    static std::string Quote(const std::string& a) {
        if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) return a;
        std::string q = "\"";
        for (char c : a) {
            if (c == '"') q += '\\';
            q += c;
        }
        return q + "\"";
    }

    std::string base_;
    std::string prefix_;
    int port_ = 0;
    bool started_ = false;
};
