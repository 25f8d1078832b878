// Files for the tests: Unix paths as Wine shows them (Z: is the Unix root),
// whole files as bytes (what peers recorded, what the code wrote, fixtures
// written and checked), and bytes as hex digits for a readable comparison.
#pragma once
#include <windows.h>
#include <cstdio>
#include <string>

namespace krvtest {

// For ASCII text such as paths and command lines.
inline std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

inline std::wstring WinPath(const std::string& unix) {
    std::wstring p = L"Z:" + Widen(unix);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    return p;
}

inline bool UnixFileExists(const std::string& unix) {
    return GetFileAttributesW(WinPath(unix).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The file's bytes; empty when it cannot be opened.
inline std::string ReadFileBytes(const std::wstring& path) {
    std::string out;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return out;
    char buf[16384];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

// A fixture on disk: true only when every byte was written and the file
// closed; the caller fails the test on false.
[[nodiscard]] inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    bool ok = bytes.empty() || (WriteFile(h, bytes.data(), (DWORD)bytes.size(), &n, nullptr) && n == bytes.size());
    return CloseHandle(h) && ok;
}

// A folder that exists afterwards, made now or before.
[[nodiscard]] inline bool MakeFolder(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    const DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

inline std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace krvtest
