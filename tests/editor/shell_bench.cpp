// Times the editing shell's list commands on large configurations and the
// longest time the window did not answer messages meanwhile (a second thread
// sends WM_NULL every 50 ms). A program, not a test:
//   wine shell_bench.exe [count...]        (default 1000 10000 50000)
#include "editor/doc.h"
#include "editor/view.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "framework/Seams.h"
#include "resources/varnel_ids.h"
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) / double(f.QuadPart);
}

// The longest unanswered probe of a step: only probes sent after the step
// began count (one sent before waited for work that is not the step's).
struct Probe {
    HWND target = nullptr;
    std::atomic<bool> stop{false};
    CRITICAL_SECTION lock;
    double since = 0;
    long worstMs = 0;
    HANDLE thread = nullptr;
    Probe() { InitializeCriticalSection(&lock); }
    ~Probe() { DeleteCriticalSection(&lock); }
    static DWORD WINAPI Run(LPVOID p) {
        Probe* self = static_cast<Probe*>(p);
        while (!self->stop) {
            double t0 = Now();
            DWORD_PTR r;
            SendMessageTimeoutW(self->target, WM_NULL, 0, 0, SMTO_NORMAL, 600000, &r);
            long ms = (long)((Now() - t0) * 1000.0);
            EnterCriticalSection(&self->lock);
            if (t0 >= self->since && ms > self->worstMs) self->worstMs = ms;
            LeaveCriticalSection(&self->lock);
            Sleep(50);
        }
        return 0;
    }
    void Start(HWND h) {
        target = h;
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    void Begin(double t) {
        EnterCriticalSection(&lock);
        since = t;
        worstMs = 0;
        LeaveCriticalSection(&lock);
    }
    long Worst() {
        EnterCriticalSection(&lock);
        long w = worstMs;
        LeaveCriticalSection(&lock);
        return w;
    }
    void End() {
        stop = true;
        if (thread) {
            WaitForSingleObject(thread, 10000);
            CloseHandle(thread);
        }
    }
};

const int kMix[] = {0, 1, 4, 5, 19, 20, 22, 24, 6, 7, 13, 16, 21, 23, 2, 3, 8, 9, 10, 11, 12, 18};

std::wstring WriteConfig(const std::wstring& path, int count) {
    CCfgStore s(L"");
    s.EnsureGlobalDevice();
    for (int i = 0; i < count; ++i) {
        int type = kMix[i % (int)(sizeof kMix / sizeof kMix[0])];
        CDeviceCfg* d = new CDeviceCfg(L"", type);
        d->SetDefaultName(i + 1);
        CString host;
        host.Format(L"10.0.%d.%d", (i / 250) % 256, (i * 7919) % 250 + 1);
        d->TargetHost = d->GetKind() == 5 ? CString(L"Trcv1") : host;
        d->MinIntervalTicks = 1 + (i * 31) % 50;
        d->MaxIdleTicks = 50 + (i * 17) % 300;
        d->Disable = (i % 5) == 0;
        d->BuildDefaultItemNames();
        s.AddDevice(d);
    }
    s.Save(path.c_str());
    return path;
}

void Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

// Waits while answering messages, as the program's own loop would.
void PumpFor(double seconds) {
    const double end = Now() + seconds;
    for (double left; (left = end - Now()) > 0;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, (DWORD)(left * 1000.0) + 1, QS_ALLINPUT);
        Pump();
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(_wtoi(argv[i]));
    if (counts.empty()) counts = {1000, 10000, 50000};
    SetMessageBoxHook([](const wchar_t*, UINT) { return IDNO; });
    SetBeepHook([](UINT) {});
    CString::SetResourceModule(GetModuleHandleW(nullptr));
    static CWinApp app(L"Varnel");
    CSingleDocTemplate* tmpl =
        new CSingleDocTemplate(128, RUNTIME_CLASS(CTamselDoc), RUNTIME_CLASS(CFrameWnd), RUNTIME_CLASS(CTamselView));
    app.AddDocTemplate(tmpl);
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    std::wstring dir = std::wstring(tmp) + L"krv_shell_bench\\";
    CreateDirectoryW(dir.c_str(), nullptr);

    const char* names[] = {"open",        "select all",     "delete",      "undo",          "sort 1 image",
                           "sort 2 name", "sort 3 address", "sort 4 port", "sort 5 timing", "sort 6 type",
                           "disable all", "enable all",     "copy",        "paste"};
    const int kCommands = (int)(sizeof names / sizeof names[0]);
    std::vector<std::vector<std::pair<double, long>>> table;
    // The window exists before the first timed open, so that the probe
    // measures that open too.
    Probe probe;
    CDocument* empty = tmpl->OpenDocumentFile(nullptr);
    CView* emptyView = empty ? empty->GetFirstView() : nullptr;
    if (!emptyView) {
        fprintf(stderr, "no window\n");
        return 1;
    }
    probe.Start(emptyView->GetParentFrame()->m_hWnd);
    for (int count : counts) {
        std::wstring path = WriteConfig(dir + L"bench" + std::to_wstring(count) + L".ini", count);
        std::vector<std::pair<double, long>> row;
        CTamselDoc* doc = nullptr;
        auto view = [&]() { return static_cast<CTamselView*>(doc->GetFirstView()); };
        auto timed = [&](auto&& step) {
            Pump();
            double t0 = Now();
            probe.Begin(t0);
            step();
            Pump();
            double t = Now() - t0;
            PumpFor(0.12);  // answering, so that a probe sent during the step comes back
            row.push_back({t, probe.Worst()});
        };
        auto command = [&](UINT id) { view()->OnCmdMsg(id, nullptr); };
        auto sortBy = [&](int column) {
            NMLISTVIEW nm{};
            nm.hdr.hwndFrom = view()->m_hWnd;
            nm.hdr.idFrom = (UINT_PTR)GetDlgCtrlID(view()->m_hWnd);
            nm.hdr.code = LVN_COLUMNCLICK;
            nm.iItem = -1;
            nm.iSubItem = column;
            ::SendMessageW(GetParent(view()->m_hWnd), WM_NOTIFY, nm.hdr.idFrom, (LPARAM)&nm);
        };
        if (CDocument* old = tmpl->GetOnlyDocument()) old->SetModifiedFlag(FALSE);
        timed([&] { doc = static_cast<CTamselDoc*>(tmpl->OpenDocumentFile(path.c_str())); });
        if (!doc) {
            fprintf(stderr, "open failed at %d\n", count);
            return 1;
        }
        timed([&] { command(ID_EDIT_SELECT_ALL); });
        timed([&] { command(ID_EDIT_CLEAR); });
        timed([&] { command(ID_EDIT_UNDO); });
        for (int c = 1; c <= 6; ++c) timed([&] { sortBy(c); });
        command(ID_EDIT_SELECT_ALL);
        timed([&] { command(ID_DEVICE_ENABLE); });
        timed([&] { command(ID_DEVICE_ENABLE); });
        command(ID_EDIT_SELECT_ALL);
        timed([&] { command(ID_EDIT_COPY); });
        timed([&] { command(ID_EDIT_PASTE); });
        int rows = view()->GetListCtrl().GetItemCount();
        fprintf(stderr, "%d devices: %d rows after paste\n", count, rows);
        table.push_back(row);
        doc->SetModifiedFlag(FALSE);
    }
    probe.End();

    printf("%-16s", "command");
    for (int c : counts) printf(" | %7d: s, max no answer ms", c);
    printf("\n");
    for (int k = 0; k < kCommands; ++k) {
        printf("%-16s", names[k]);
        for (auto& row : table) printf(" | %9.3f %18ld", row[(size_t)k].first, row[(size_t)k].second);
        printf("\n");
    }
    return 0;
}
