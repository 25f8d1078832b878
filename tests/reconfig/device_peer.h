// The simulated device (peers/lattix_device.py) started from a test program,
// and what the tests need around it: its mode, the requests it recorded, an
// asynchronous WinINet session.
//
//   DevicePeer& dev = DevicePeer::Get();          // started once per program
//   dev.SetMode("{\"status\": 404}");
//   size_t before = dev.RequestCount();
//   ... run a job ...
//   std::string raw = dev.Request(before + 1);     // the exact bytes received
#pragma once
#include "framework/Handle.h"
#include "reconfig/cfg_target.h"
#include "tests/test_files.h"
#include <string>

class DevicePeer {
public:
    static DevicePeer& Get();
    void Stop();
    bool Ready() const { return m_ready; }
    void SetMode(const std::string& json);
    size_t RequestCount() const;
    std::string Request(size_t n) const;
    // What a binary port (8003, 8004, 8888) received, per connection.
    size_t RawCount(int port) const;
    std::string Raw(int port, size_t n) const;
    int Port(const char* name) const;  // "http", "https", "http2", "http80", "https443", "closed", "stall", "silent"
    std::wstring Dir() const { return m_dir; }

private:
    DevicePeer();
    std::wstring m_dir;  // Windows path of the peer's folder
    std::string m_ports;
    bool m_ready = false;
};

// An asynchronous session like the reconfiguration dialog's.
OwnedInternet OpenAsyncSession();
// A target on 127.0.0.1 (or the address given) and port.
void SetTarget(CCfgTarget& t, int port, const char* address = "127.0.0.1", BOOL https = FALSE);
using krvtest::ReadFileBytes;
// A fixture; one that does not reach the disk fails the test.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
// A fresh empty folder for the test's files.
std::wstring TestFolder(const wchar_t* name);
// The string-table text of id with arg for its "%s".
std::wstring MessageText(UINT id, const wchar_t* arg);
using krvtest::Hex;

// Pieces of a recorded request: its first line, its body, and the file of a
// multipart upload of the given content type (without the parts around it).
inline std::string RequestLine(const std::string& raw) { return raw.substr(0, raw.find("\r\n")); }
inline std::string RequestBody(const std::string& raw) {
    size_t p = raw.find("\r\n\r\n");
    return p == std::string::npos ? std::string() : raw.substr(p + 4);
}
inline std::string UploadedFile(const std::string& raw, const std::string& type) {
    const std::string boundary = "3blau2blau1blau0";
    std::string body = RequestBody(raw);
    std::string mark = "Content-Type: " + type + "\r\n\r\n";
    size_t p = body.find(mark);
    if (p == std::string::npos) return "<no file part>";
    p += mark.size();
    // A JSON upload has one more form field after the file.
    size_t q = body.rfind("\r\n--" + boundary + (type == "application/json" ? "\r\n" : "--\r\n"));
    return q == std::string::npos || q < p ? "<no tail>" : body.substr(p, q - p);
}
