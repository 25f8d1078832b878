// Benchmark (no test entry): a modal dialog whose idle handler keeps asking
// for more for two seconds, with idle work of 0, 1 and 5 ms per call. Prints
// the idle calls, the processor time, and the longest and mean time the
// dialog took to answer WM_NULL sent from another thread every 20 ms once
// its loop runs (after one unprinted warm-up round).
#include "framework/Dialog.h"
#include "tests/framework/dialog_test_ids.h"
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& f) { return ((ULONGLONG)f.dwHighDateTime << 32) | f.dwLowDateTime; };
    return (double)(ticks(kernel) + ticks(user)) / 1e7;
}

double NowMs() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1000.0 / (double)freq.QuadPart;
}

class CBusyDlg : public CDialog {
public:
    explicit CBusyDlg(DWORD workMs) : CDialog(IDD_CONTROLS), workMs_(workMs) {}
    long calls = 0;
    double start = 0;
    std::atomic<HWND> looping{nullptr};  // set once the loop runs
    LRESULT OnKickIdle(WPARAM, LPARAM) override {
        if (!calls++) looping = m_hWnd;
        if (workMs_) {
            double until = NowMs() + workMs_;
            while (NowMs() < until) {}
        }
        if (NowMs() - start > 2000) {
            EndDialog(IDOK);
            return 0;
        }
        return 1;
    }

private:
    DWORD workMs_;
};

}  // namespace

int main() {
    INITCOMMONCONTROLSEX icc{(DWORD)sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    std::printf("%-14s %10s %12s %12s %14s %14s\n", "idle work", "calls", "cpu ms", "wall ms", "answer max ms",
                "answer mean ms");
    int round = 0;
    for (DWORD work : {0u, 0u, 1u, 5u}) {
        bool warmUp = round++ == 0;  // the first dialog of the process loads the controls
        CBusyDlg dlg(work);
        std::atomic<bool> stop{false};
        std::vector<double> answers;
        std::thread prober([&] {
            HWND h = nullptr;
            while (!stop && !(h = dlg.looping)) Sleep(1);
            while (!stop) {
                double t = NowMs();
                DWORD_PTR r;
                if (!SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &r)) break;
                answers.push_back(NowMs() - t);
                Sleep(20);
            }
        });
        double cpu0 = CpuSeconds();
        dlg.start = NowMs();
        dlg.DoModal();
        double wall = NowMs() - dlg.start;
        double cpu = (CpuSeconds() - cpu0) * 1000;
        stop = true;
        prober.join();
        double worst = 0, sum = 0;
        for (double a : answers) {
            worst = std::max(worst, a);
            sum += a;
        }
        if (warmUp) continue;
        char label[32];
        std::snprintf(label, sizeof label, "%lu ms/call", (unsigned long)work);
        std::printf("%-14s %10ld %12.0f %12.0f %14.1f %14.2f\n", label, dlg.calls, cpu, wall, worst,
                    answers.empty() ? 0.0 : sum / (double)answers.size());
    }
    return 0;
}
