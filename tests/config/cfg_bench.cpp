// Saves and loads configurations of 100 and 1,000 devices through the store
// and prints the times and file sizes. A program, not a test:
//   wine cfg_bench.exe [--per-key | --both] [count...]
// --per-key goes key by key through the platform's profile functions,
// --both runs the file image first, then the per-key path.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
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

int wmain(int argc, wchar_t** argv) {
    std::vector<int> counts;
    std::vector<bool> modes = {false};
    for (int i = 1; i < argc; ++i) {
        if (lstrcmpW(argv[i], L"--per-key") == 0) modes = {true};
        else if (lstrcmpW(argv[i], L"--both") == 0) modes = {false, true};
        else counts.push_back(_wtoi(argv[i]));
    }
    if (counts.empty()) counts = {100, 1000};
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    for (bool perKey : modes) {
        std::printf("%s\n", perKey ? "key by key through the profile functions" : "file image");
        std::printf("%8s %10s %10s %12s\n", "devices", "save s", "load s", "file bytes");
        for (int n : counts) {
            wchar_t path[MAX_PATH];
            swprintf(path, MAX_PATH, L"%lsKRVbench%d.ini", dir, n);
            CCfgStore store(path);
            store.SetPerKeyAccess(perKey);
            Fill(store, n);
            double t0 = Now();
            bool ok = store.Save(path);
            double t1 = Now();
            CCfgStore back(path);
            back.SetPerKeyAccess(perKey);
            int read = back.Load(path, true);
            double t2 = Now();
            WIN32_FILE_ATTRIBUTE_DATA fa{};
            GetFileAttributesExW(path, GetFileExInfoStandard, &fa);
            std::printf("%8d %10.3f %10.3f %12lu%s\n", n, t1 - t0, t2 - t1, (unsigned long)fa.nFileSizeLow,
                        ok && read == n + 1 ? "" : "  (save or load incomplete)");
            std::fflush(stdout);
            DeleteFileW(path);
        }
    }
    return 0;
}
