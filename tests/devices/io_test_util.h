// Shared by the I/O device dialog's tests: Unix helpers started from Wine
// (the simulated device, the subnet script), files they leave, and the
// dialog run modally on this thread with a script that drives it through
// dlg_driver.h's control helpers.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <functional>
#include <algorithm>
#include <string>
#include <vector>
#include "tests/pump_until.h"
#include "tests/test_files.h"
#include "tests/unix_start/unix_start.h"
#include "dlg_driver.h"

namespace iotest {

// Unix path -> the same file through Wine's Z: drive.
inline std::wstring WinPath(const std::string& unix) {
    std::wstring w = L"Z:";
    for (char c : unix) w += c == '/' ? L'\\' : (wchar_t)(unsigned char)c;
    return w;
}

inline std::string ReadAll(const std::string& unix) {
    HANDLE h = CreateFileW(WinPath(unix).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    CloseHandle(h);
    return out;
}

inline void Remove(const std::string& unix) { DeleteFileW(WinPath(unix).c_str()); }

inline bool Exists(const std::string& unix) {
    return GetFileAttributesW(WinPath(unix).c_str()) != INVALID_FILE_ATTRIBUTES;
}

using krvtest::PumpUntil;
inline void Pump(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

using krvtest::StartUnix;

// Runs a Unix command line that writes doneFile at its end, and waits for it.
inline bool RunUnix(const std::string& cmd, const std::string& doneFile, DWORD ms = 15000) {
    Remove(doneFile);
    if (!StartUnix(cmd)) return false;
    return PumpUntil([&] { return Exists(doneFile); }, ms);
}

// Lines of a peer's log.
inline std::vector<std::string> Lines(const std::string& unix) {
    std::vector<std::string> out;
    std::string all = ReadAll(unix), line;
    for (char c : all) {
        if (c == '\n') {
            out.push_back(line);
            line.clear();
        } else
            line += c;
    }
    return out;
}

// A string field of a flat JSON line ("" when missing).
inline std::string Field(const std::string& line, const std::string& key) {
    std::string k = "\"" + key + "\": ";
    size_t p = line.find(k);
    if (p == std::string::npos) return std::string();
    p += k.size();
    if (line[p] == '"') {
        std::string out;
        for (++p; p < line.size() && line[p] != '"'; ++p) {
            if (line[p] == '\\' && p + 1 < line.size()) {
                ++p;
                out += line[p] == 'r' ? '\r' : line[p] == 'n' ? '\n' : line[p];
            } else {
                out += line[p];
            }
        }
        return out;
    }
    size_t e = line.find_first_of(",}", p);
    return line.substr(p, e - p);
}

// One field of every line, sorted: for lines logged by concurrent
// connections, whose order says nothing.
inline std::vector<std::string> SortedFields(const std::vector<std::string>& lines, const std::string& key) {
    std::vector<std::string> out;
    for (const std::string& l : lines) out.push_back(Field(l, key));
    std::sort(out.begin(), out.end());
    return out;
}

using krvtest::Hex;

// Runs a modal dialog on this thread; script(dlg) runs inside its loop once
// the dialog is up. A dialog the script leaves open is cancelled.
template <class Dlg> INT_PTR RunModal(Dlg& dlg, std::function<void(HWND)> script) {
    static std::function<void()>* pending;
    std::function<void()> run = [&] {
        HWND h = nullptr;
        PumpUntil([&] { return (h = dlg.m_hWnd) != nullptr && IsWindowVisible(h); }, 5000);
        if (h) script(h);
        if (dlg.m_hWnd && IsWindowVisible(dlg.m_hWnd)) SendMessageW(dlg.m_hWnd, WM_COMMAND, IDCANCEL, 0);
    };
    pending = &run;
    struct Timer {
        static void CALLBACK Proc(HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            if (auto* p = pending) {
                pending = nullptr;
                (*p)();
            }
        }
    };
    SetTimer(nullptr, 0, 1, &Timer::Proc);
    return dlg.DoModal();
}

// The controls by id as the other dialog suites drive them.
using dlgtest::Checked;
using dlgtest::Choose;
using dlgtest::Click;
using dlgtest::Enabled;
using dlgtest::SetText;
using dlgtest::Text;
inline int Sel(HWND dlg, int id) { return dlgtest::Selection(dlg, id); }
inline int Find(HWND dlg, int id, const wchar_t* text) {
    return (int)SendDlgItemMessageW(dlg, id, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text);
}
// Types into a combo box's edit field character by character (the box
// reports each change as the user's edit).
inline void Type(HWND dlg, int id, const std::wstring& text, bool clearFirst = true) {
    HWND c = GetDlgItem(dlg, id);
    HWND edit = FindWindowExW(c, nullptr, L"Edit", nullptr);
    if (!edit) edit = c;
    if (clearFirst) {
        SendMessageW(edit, EM_SETSEL, 0, -1);
        SendMessageW(edit, WM_CHAR, VK_BACK, 0);
    }
    for (wchar_t ch : text) SendMessageW(edit, WM_CHAR, ch, 0);
}

}  // namespace iotest
