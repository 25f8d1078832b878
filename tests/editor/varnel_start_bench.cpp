// Times Varnel's start on a large active configuration, from the process's
// creation until its list holds every device, beside a plain window program
// (this one, with --floor) that reads the same file whole before it shows
// its window. A program, not a test:
//   wine varnel_start_bench.exe [count...]   (default 10000 100000)
#include "config/device_cfg.h"
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const wchar_t kFloorTitle[] = L"krv start floor";
const int kRounds = 3;

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) / double(f.QuadPart);
}

const int kMix[] = {0, 1, 4, 5, 19, 20, 22, 24, 6, 7, 13, 16, 21, 23, 2, 3, 8, 9, 10, 11, 12, 18};

bool WriteConfig(const std::wstring& path, int count) {
    CCfgStore s(L"");
    s.EnsureGlobalDevice();
    for (int i = 0; i < count; ++i) {
        CDeviceCfg* d = new CDeviceCfg(L"", kMix[i % (int)(sizeof kMix / sizeof kMix[0])]);
        d->SetDefaultName(i + 1);
        CString host;
        host.Format(L"10.0.%d.%d", (i / 250) % 256, (i * 7919) % 250 + 1);
        d->TargetHost = d->GetKind() == 5 ? CString(L"Trcv1") : host;
        d->Disable = (i % 5) == 0;
        d->BuildDefaultItemNames();
        s.AddDevice(d);
    }
    return s.Save(path.c_str());
}

std::vector<char> ReadAll(const std::wstring& path, bool& ok) {
    std::vector<char> bytes;
    ok = false;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(h, &size)) {
        bytes.resize((size_t)size.QuadPart);
        DWORD got = 0;
        ok = bytes.empty() || (ReadFile(h, bytes.data(), (DWORD)bytes.size(), &got, nullptr) && got == bytes.size());
    }
    CloseHandle(h);
    return bytes;
}

// The floor: read the file whole, then show a window and answer until closed.
int Floor(const wchar_t* path) {
    bool ok;
    std::vector<char> bytes = ReadAll(path, ok);
    if (!ok) return 2;
    HWND w = CreateWindowExW(0, L"STATIC", kFloorTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!w) return 3;
    MSG m;
    while (IsWindow(w) && GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_CLOSE || (m.hwnd == w && m.message == WM_APP)) break;
        DispatchMessageW(&m);
    }
    return bytes.empty() ? 4 : 0;
}

struct Find {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK EnumTop(HWND h, LPARAM lp) {
    Find* f = reinterpret_cast<Find*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == f->pid && IsWindowVisible(h)) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}

// Seconds from the start until `ready` says so; negative when the program
// ended first or 120 s passed.
template <class Ready> double Timed(const std::wstring& cmd, Ready ready, HWND& main, PROCESS_INFORMATION& pi) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    const double t0 = Now();
    if (!CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    main = nullptr;
    while (Now() - t0 < 120) {
        if (!main) {
            Find f{pi.dwProcessId, nullptr};
            EnumWindows(EnumTop, (LPARAM)&f);
            main = f.found;
        }
        if (main && ready(main)) return Now() - t0;
        if (WaitForSingleObject(pi.hProcess, 2) == WAIT_OBJECT_0) return -1;
    }
    return -1;
}

void End(PROCESS_INFORMATION& pi, HWND main) {
    if (main) PostMessageW(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 9);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--floor") return Floor(argv[2]);
    std::wstring varnel = L"Z:";
    for (const char* c = VARNEL_EXE; *c; ++c) varnel += *c == '/' ? L'\\' : (wchar_t)(unsigned char)*c;
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(_wtoi(argv[i]));
    if (counts.empty()) counts = {10000, 100000};
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);

    CCfgStore store;
    const std::wstring active = store.GetActivePath();
    bool had = false;
    std::vector<char> saved = ReadAll(active, had);

    printf("%-9s | %-28s | %-28s\n", "devices", "Varnel until the list is full", "floor: read, then a window");
    int failures = 0;
    for (int count : counts) {
        if (!WriteConfig(active, count)) {
            fprintf(stderr, "cannot write %ls\n", active.c_str());
            return 1;
        }
        std::string varnelTimes, floorTimes;
        for (int round = 0; round < kRounds; ++round) {
            PROCESS_INFORMATION pi{};
            HWND main = nullptr;
            double floor = Timed(
                L"\"" + std::wstring(self) + L"\" --floor \"" + active + L"\"",
                [](HWND w) {
                    wchar_t t[64] = {0};
                    GetWindowTextW(w, t, 64);
                    return std::wstring(t) == kFloorTitle;
                },
                main, pi);
            End(pi, main);
            double start = Timed(
                L"\"" + varnel + L"\"",
                [count](HWND w) {
                    HWND list = FindWindowExW(w, nullptr, WC_LISTVIEWW, nullptr);
                    DWORD_PTR n = 0;
                    return list && SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 1000, &n) &&
                           (int)n >= count + 1;
                },
                main, pi);
            End(pi, main);
            char b[32];
            snprintf(b, sizeof b, " %.3f", start);
            varnelTimes += start < 0 ? " FAILED" : b;
            snprintf(b, sizeof b, " %.3f", floor);
            floorTimes += floor < 0 ? " FAILED" : b;
            if (start < 0 || floor < 0) ++failures;
        }
        printf("%-9d | s:%-26s | s:%-26s\n", count, varnelTimes.c_str(), floorTimes.c_str());
    }
    if (had) {
        HANDLE h = CreateFileW(active.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD put = 0;
        bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, saved.data(), (DWORD)saved.size(), &put, nullptr) &&
                  put == saved.size();
        if (h != INVALID_HANDLE_VALUE && !CloseHandle(h)) ok = false;
        if (!ok) fprintf(stderr, "could not restore %ls\n", active.c_str());
    } else {
        DeleteFileW(active.c_str());
    }
    return failures ? 1 : 0;
}
