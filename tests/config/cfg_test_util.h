// Temporary folders and raw file access for the configuration tests.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include "tests/test_files.h"
#include <utility>
#include <vector>

namespace cfgtest {

// A fresh folder under the temporary path, removed with its files at the end.
class TempDir {
public:
    TempDir() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        static int counter = 0;
        for (;;) {
            path_ = std::wstring(base) + L"krvcfg" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                    std::to_wstring(++counter) + L"\\";
            if (CreateDirectoryW(path_.c_str(), nullptr)) break;
            if (GetLastError() != ERROR_ALREADY_EXISTS) {
                ADD_FAILURE() << "no temporary folder, error " << GetLastError();
                break;
            }
        }
    }
    ~TempDir() { Remove(path_); }
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }
    const std::wstring& path() const { return path_; }

private:
    static void Remove(const std::wstring& dir) {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring n = fd.cFileName;
                if (n == L"." || n == L"..") continue;
                std::wstring full = dir + n;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(full + L"\\");
                else {
                    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(full.c_str());
                }
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }
    std::wstring path_;
};

inline std::string ReadBytes(const std::wstring& path) {
    std::string out;
    HANDLE h =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
    CloseHandle(h);
    return out;
}

// A fixture that did not reach the disk fails the test (and says where),
// instead of leaving the test to run on whatever was there before.
inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    SetLastError(0);
    if (krvtest::WriteFileBytes(path, bytes)) return true;
    ADD_FAILURE() << "fixture not written, error " << GetLastError() << ": " << std::string(path.begin(), path.end());
    return false;
}

// A folder for fixtures, made now or before; fails the test otherwise.
inline bool MakeFolder(const std::wstring& path) {
    if (krvtest::MakeFolder(path)) return true;
    ADD_FAILURE() << "no folder, error " << GetLastError() << ": " << std::string(path.begin(), path.end());
    return false;
}

inline std::string Utf16Bytes(const std::wstring& text, bool bom = true) {
    std::string out;
    if (bom) out += "\xFF\xFE";
    for (wchar_t c : text) {
        out += (char)(c & 0xFF);
        out += (char)(c >> 8);
    }
    return out;
}

// A UTF-16LE profile file with a byte order mark.
inline bool WriteProfile(const std::wstring& path, const std::wstring& text) {
    return WriteBytes(path, Utf16Bytes(text));
}

typedef std::vector<std::pair<std::wstring, std::wstring>> Keys;
typedef std::vector<std::pair<std::wstring, Keys>> Sections;

// Sections and keys in file order; empty lines are skipped, so the layout
// details of the profile functions do not matter.
inline Sections ParseProfile(const std::wstring& path) {
    std::string b = ReadBytes(path);
    std::wstring text;
    size_t i = (b.size() >= 2 && (unsigned char)b[0] == 0xFF && (unsigned char)b[1] == 0xFE) ? 2 : 0;
    for (; i + 1 < b.size(); i += 2) text += (wchar_t)((unsigned char)b[i] | ((unsigned char)b[i + 1] << 8));
    Sections out;
    size_t p = 0;
    while (p < text.size()) {
        size_t e = text.find(L'\n', p);
        if (e == std::wstring::npos) e = text.size();
        std::wstring line = text.substr(p, e - p);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        p = e + 1;
        if (line.empty()) continue;
        if (line[0] == L'[' && line.back() == L']')
            out.push_back({line.substr(1, line.size() - 2), {}});
        else if (!out.empty()) {
            size_t eq = line.find(L'=');
            out.back().second.push_back({line.substr(0, eq), eq == std::wstring::npos ? L"" : line.substr(eq + 1)});
        }
    }
    return out;
}

inline std::vector<std::wstring> KeyNames(const Keys& k) {
    std::vector<std::wstring> v;
    for (auto& p : k) v.push_back(p.first);
    return v;
}

inline std::wstring Value(const Keys& k, const std::wstring& key) {
    for (auto& p : k)
        if (p.first == key) return p.second;
    return L"<missing>";
}

}  // namespace cfgtest
