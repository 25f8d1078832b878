// Saves and loads configurations through the store and prints the times
// beside the floor, a plain program's I/O of the same bytes: writing them,
// flushing and renaming for a save, reading them for a load; and the time
// the text of every record takes in memory (what a copy of them all makes). The memory a
// device takes is measured in a fresh process that only loads the file.
// A program, not a test:
//   wine cfg_bench.exe [--per-key | --both] [--rounds N] [count...]
// (default 1000 10000 100000, 3 rounds). --per-key goes key by key through
// the platform's profile functions (slow: keep the counts small), --both runs
// the file image first, then the per-key path.
#include <windows.h>
#include <psapi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "config/device_cfg.h"

static double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) / double(f.QuadPart);
}

// A plant's mix: mostly I/O boxes, some serial servers, transceivers with modules, RFID.
static const int kMix[] = {0, 1, 4, 5, 19, 20, 22, 24, 6, 7, 13, 16, 21, 23, 2, 3, 8, 9, 10, 11, 12, 18};

static void Fill(CCfgStore& store, int count) {
    for (int i = 0; i < count; ++i) {
        int type = kMix[i % (int)(sizeof kMix / sizeof kMix[0])];
        CDeviceCfg* d = new CDeviceCfg(L"", type);
        d->SetDefaultName(i + 1);
        CString host;
        host.Format(L"10.0.%d.%d", (i / 250) % 256, i % 250 + 1);
        d->TargetHost = (d->GetKind() == 5) ? CString(L"Trcv1") : host;
        d->Password = L"geheim";
        d->SerialNo = 0x01800000 + i;
        d->BuildDefaultItemNames();
        store.AddDevice(d);
    }
    store.EnsureGlobalDevice();
}

static SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) return 0;
    return pmc.PagefileUsage;  // Wine reports private commit here, not in PrivateUsage
}

// The floor of a load: the file's bytes into memory; empty on failure.
static std::string ReadAll(const wchar_t* path, double& seconds) {
    double t0 = Now();
    std::string bytes;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size;
    DWORD got = 0;
    if (GetFileSizeEx(h, &size)) {
        bytes.resize((size_t)size.QuadPart);
        if (!ReadFile(h, &bytes[0], (DWORD)bytes.size(), &got, nullptr)) got = 0;
    }
    bytes.resize(got);
    CloseHandle(h);
    seconds = Now() - t0;
    return bytes;
}

// The floor of a save: the same bytes written beside the target, flushed and
// renamed over it. -1 on failure.
static double WriteFlushRename(const std::wstring& target, const std::string& bytes) {
    std::wstring temp = target + L".tmp";
    double t0 = Now();
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr) && written == bytes.size();
    ok = FlushFileBuffers(h) && ok;
    ok = CloseHandle(h) && ok;
    ok = ok && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    double t = Now() - t0;
    DeleteFileW(temp.c_str());
    return ok ? t : -1;
}

// Child: loads the file in a fresh process and prints the devices read, the
// load's seconds and the private bytes it added.
static int LoadOnly(const wchar_t* path, bool perKey) {
    SIZE_T before = PrivateBytes();
    CCfgStore store(path);
    store.SetPerKeyAccess(perKey);
    double t0 = Now();
    int read = store.Load(path, true);
    double t = Now() - t0;
    SIZE_T after = PrivateBytes();
    std::printf("%d %.6f %.0f\n", read, t, (double)after - (double)before);
    return 0;
}

struct Cold {
    int read = -1;
    double seconds = 0, bytes = 0;
};

static Cold RunLoadOnly(const wchar_t* path, bool perKey) {
    Cold c;
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd =
        std::wstring(L"\"") + exe + L"\" --load-only " + (perKey ? L"--per-key " : L"") + L"\"" + path + L"\"";
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE rd, wr;
    if (!CreatePipe(&rd, &wr, &sa, 0)) return c;
    SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = wr;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(wr);
    if (started) {
        std::string out;
        char buf[256];
        DWORD n;
        while (ReadFile(rd, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
        if (WaitForSingleObject(pi.hProcess, 600000) == WAIT_OBJECT_0 &&
            std::sscanf(out.c_str(), "%d %lf %lf", &c.read, &c.seconds, &c.bytes) != 3)
            c.read = -1;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(rd);
    return c;
}

int wmain(int argc, wchar_t** argv) {
    std::vector<int> counts;
    std::vector<bool> modes = {false};
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        if (lstrcmpW(argv[i], L"--load-only") == 0) {
            bool perKey = i + 2 < argc && lstrcmpW(argv[i + 1], L"--per-key") == 0;
            return i + 1 + perKey < argc ? LoadOnly(argv[i + 1 + perKey], perKey) : 2;
        }
        if (lstrcmpW(argv[i], L"--per-key") == 0)
            modes = {true};
        else if (lstrcmpW(argv[i], L"--both") == 0)
            modes = {false, true};
        else if (lstrcmpW(argv[i], L"--rounds") == 0 && i + 1 < argc)
            rounds = _wtoi(argv[++i]);
        else
            counts.push_back(_wtoi(argv[i]));
    }
    if (counts.empty()) counts = {1000, 10000, 100000};
    if (rounds < 1) rounds = 1;
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    for (bool perKey : modes) {
        std::printf("%s; floor: the same bytes read, or written + flushed + renamed, by a plain program\n",
                    perKey ? "key by key through the profile functions" : "file image");
        std::printf("%8s %5s | %9s %9s %6s | %9s %9s %6s | %12s | %9s %11s | %8s\n", "devices", "round", "save s",
                    "floor s", "ratio", "load s", "floor s", "ratio", "file bytes", "cold load", "bytes/dev", "text s");
        for (int n : counts) {
            wchar_t path[MAX_PATH];
            swprintf(path, MAX_PATH, L"%lsKRVbench%d.ini", dir, n);
            std::wstring floorPath = std::wstring(path) + L".floor";
            CCfgStore store(path);
            store.SetPerKeyAccess(perKey);
            Fill(store, n);
            for (int r = 1; r <= rounds; ++r) {
                double t0 = Now();
                bool ok = store.Save(path);
                double save = Now() - t0;
                double firstRead = 0;  // not counted: the file may still be in flight
                std::string bytes = ReadAll(path, firstRead);
                double writeFloor = WriteFlushRename(floorPath, bytes);
                double loadFloor = 0;
                ReadAll(path, loadFloor);
                int read;
                double load;
                {
                    CCfgStore back(path);
                    back.SetPerKeyAccess(perKey);
                    double t1 = Now();
                    read = back.Load(path, true);
                    load = Now() - t1;
                }
                std::vector<const CDeviceCfg*> devs;
                for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d)) devs.push_back(d);
                std::wstring text;
                double t2 = Now();
                bool made = CCfgStore::SectionsText(devs.data(), devs.size(), text);
                double inMemory = Now() - t2;
                made = made && text.size() * sizeof(wchar_t) == bytes.size() &&
                       std::memcmp(text.data(), bytes.data(), bytes.size()) == 0;
                std::wstring().swap(text);
                // the fresh process only once a count: its figures hardly vary
                Cold cold;
                if (r == 1) cold = RunLoadOnly(path, perKey);
                char saveFloor[16] = "-", saveRatio[16] = "-", loadFloorText[16] = "-", loadRatio[16] = "-";
                char coldLoad[16] = "", perDev[16] = "";
                if (writeFloor > 0) {
                    std::snprintf(saveFloor, sizeof saveFloor, "%.4f", writeFloor);
                    std::snprintf(saveRatio, sizeof saveRatio, "%.1f", save / writeFloor);
                }
                if (loadFloor > 0) {
                    std::snprintf(loadFloorText, sizeof loadFloorText, "%.4f", loadFloor);
                    std::snprintf(loadRatio, sizeof loadRatio, "%.1f", load / loadFloor);
                }
                if (r == 1 && cold.read == n + 1) {
                    std::snprintf(coldLoad, sizeof coldLoad, "%.4f", cold.seconds);
                    std::snprintf(perDev, sizeof perDev, "%.0f", cold.bytes / n);
                } else if (r == 1) {
                    std::snprintf(coldLoad, sizeof coldLoad, "failed");
                }
                std::printf("%8d %5d | %9.4f %9s %6s | %9.4f %9s %6s | %12lu | %9s %11s | %8.4f%s%s\n", n, r, save,
                            saveFloor, saveRatio, load, loadFloorText, loadRatio, (unsigned long)bytes.size(), coldLoad,
                            perDev, inMemory, ok && read == n + 1 ? "" : "  (save or load incomplete)",
                            made ? "" : "  (text differs from the file)");
                std::fflush(stdout);
            }
            DeleteFileW(path);
            DeleteFileW(floorPath.c_str());
        }
    }
    return 0;
}
