// Shared by the tools' tests: a real service of ours in Wine's service
// control manager, the dialog run modelessly on this thread, beep and help
// recording, and the whole program started as a process.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>
#include "svctools/ControlDlg.h"
#include "svctools/Seams.h"
#include "resources/svctools_ids.h"
#include "tests/pump_until.h"

namespace svctest {

inline std::wstring ExeDir() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

inline std::wstring UniqueName(const wchar_t* stem) { return stem + std::to_wstring(GetCurrentProcessId()); }

using krvtest::PumpUntil;

inline void Pump(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

// The test service installed under a name of its own; removed again.
class TestService {
public:
    TestService(const std::wstring& name, const std::wstring& display, DWORD pendingMs = 1500) : name_(name) {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        std::wstring path = L"\"" + ExeDir() + L"test_service.exe\" " + std::to_wstring(pendingMs);
        service_ = CreateServiceW(manager_, name.c_str(), display.c_str(), SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path.c_str(),
                                  nullptr, nullptr, nullptr, nullptr, nullptr);
        error_ = service_ ? 0 : GetLastError();
    }
    ~TestService() {
        if (service_) {
            SERVICE_STATUS st;
            if (State() != SERVICE_STOPPED) {
                WaitFor([this] {
                    DWORD s = State();
                    return s == SERVICE_RUNNING || s == SERVICE_PAUSED || s == SERVICE_STOPPED;
                });
                ControlService(service_, SERVICE_CONTROL_STOP, &st);
                WaitFor([this] { return State() == SERVICE_STOPPED; });
            }
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        if (manager_) CloseServiceHandle(manager_);
    }
    bool Ok() const { return service_ != nullptr; }
    DWORD Error() const { return error_; }
    const std::wstring& Name() const { return name_; }
    DWORD State() {
        SERVICE_STATUS st = {};
        return QueryServiceStatus(service_, &st) ? st.dwCurrentState : 0;
    }
    bool Control(DWORD control) {
        SERVICE_STATUS st;
        return ControlService(service_, control, &st) != FALSE;
    }
    bool Start() { return StartServiceW(service_, 0, nullptr) != FALSE; }
    bool WaitState(DWORD state, DWORD timeoutMs = 8000) {
        return WaitFor([&] { return State() == state; }, timeoutMs);
    }

private:
    static bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 8000) {
        DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > timeoutMs) return false;
            Sleep(50);
        }
        return true;
    }
    std::wstring name_;
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
    DWORD error_ = 0;
};

// Beeps and help popups of the code under test, recorded.
struct Recorder {
    static std::vector<UINT>& Beeps() {
        static std::vector<UINT> b;
        return b;
    }
    struct Popup {
        HWND owner;
        std::wstring text;
        HH_POPUP popup;
    };
    static std::vector<Popup>& Popups() {
        static std::vector<Popup> p;
        return p;
    }
    static void Beep(UINT type) { Beeps().push_back(type); }
    static void Help(HWND owner, const HH_POPUP& p) { Popups().push_back({owner, p.pszText ? p.pszText : L"", p}); }
    Recorder() {
        Beeps().clear();
        Popups().clear();
        oldBeep_ = SetSvcBeepHook(&Recorder::Beep);
        oldHelp_ = SetSvcHelpHook(&Recorder::Help);
    }
    ~Recorder() {
        SetSvcBeepHook(oldBeep_);
        SetSvcHelpHook(oldHelp_);
    }
    SvcBeepHook oldBeep_;
    SvcHelpHook oldHelp_;
};

inline std::wstring ItemText(HWND dlg, int id) {
    wchar_t text[512] = {};
    GetDlgItemTextW(dlg, id, text, 512);
    return text;
}

inline std::wstring WindowText(HWND w) {
    wchar_t text[512] = {};
    GetWindowTextW(w, text, 512);
    return text;
}

inline bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }

inline std::wstring SystemText(DWORD code) {
    wchar_t text[200];
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 200,
                        nullptr))
        return L"";
    return text;
}

// The tool's dialog on this thread, modeless, from the test program's own
// copy of the tool's template 103; the same dialog procedure as the modal run.
class OpenDialog {
public:
    explicit OpenDialog(const std::wstring& service) : dlg(service.c_str()) {
        hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CONTROL), nullptr,
                                  CDialog::DialogProc, reinterpret_cast<LPARAM>(&dlg));
    }
    ~OpenDialog() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    void Command(int id) { SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void Tick() { SendMessageW(hwnd, WM_TIMER, CControlDlg::PollTimerId, 0); }
    std::wstring Status() const { return ItemText(hwnd, IDC_STATUS); }
    std::wstring Code() const { return ItemText(hwnd, IDC_ERRORCODE); }
    bool WaitStatus(const std::wstring& text, DWORD timeoutMs = 8000) {
        return PumpUntil([&] { return Status() == text; }, timeoutMs);
    }
    CControlDlg dlg;
    HWND hwnd = nullptr;
};

// The whole program, started as its own process.
class ToolProcess {
public:
    ToolProcess(const wchar_t* exe, const std::wstring& args) {
        std::wstring cmd = L"\"" + std::wstring(exe) + L"\"";
        if (!args.empty()) cmd += L" " + args;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        std::vector<wchar_t> line(cmd.begin(), cmd.end());
        line.push_back(0);
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) {
            WaitForInputIdle(pi_.hProcess, 10000);
            DWORD start = GetTickCount();
            while (!hwnd && GetTickCount() - start < 15000) {
                EnumWindows(&ToolProcess::Find, reinterpret_cast<LPARAM>(this));
                if (!hwnd) Sleep(50);
            }
        }
    }
    ~ToolProcess() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
    }
    bool WaitItem(int id, const std::wstring& text, DWORD timeoutMs = 8000) {
        DWORD start = GetTickCount();
        while (ItemText(hwnd, id) != text) {
            if (GetTickCount() - start > timeoutMs) return false;
            Sleep(50);
        }
        return true;
    }
    // Exit code, or STILL_ACTIVE when it has not ended in time.
    DWORD WaitExit(DWORD timeoutMs = 8000) {
        WaitForSingleObject(pi_.hProcess, timeoutMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }
    HWND hwnd = nullptr;

private:
    static BOOL CALLBACK Find(HWND w, LPARAM p) {
        ToolProcess* self = reinterpret_cast<ToolProcess*>(p);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        wchar_t cls[32] = {};
        GetClassNameW(w, cls, 32);
        if (pid == self->pi_.dwProcessId && std::wstring(cls) == L"#32770" && IsWindowVisible(w)) {
            self->hwnd = w;
            return FALSE;
        }
        return TRUE;
    }
    PROCESS_INFORMATION pi_ = {};
};

}  // namespace svctest
