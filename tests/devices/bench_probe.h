// For the benchmarks of the device dialogs: a millisecond clock, and a
// thread that sends WM_NULL to the window it watches every 50 ms and keeps
// the longest time an answer took.
#pragma once
#include <windows.h>
#include <atomic>
#include <thread>

namespace benchprobe {

inline double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart * 1000.0 / (double)f.QuadPart;
}

class WmNullProbe {
public:
    // timeoutMs bounds one unanswered probe.
    explicit WmNullProbe(UINT timeoutMs) : thread_([this, timeoutMs] { Run(timeoutMs); }) {}
    ~WmNullProbe() { Stop(); }
    WmNullProbe(const WmNullProbe&) = delete;
    WmNullProbe& operator=(const WmNullProbe&) = delete;
    // The window to probe; nullptr pauses.
    void Watch(HWND h) { target_ = h; }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    double LongestMs() const { return longest_; }

private:
    void Run(UINT timeoutMs) {
        while (!stop_) {
            HWND h = target_;
            if (h) {
                double t0 = NowMs();
                DWORD_PTR r;
                SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &r);
                double d = NowMs() - t0;
                if (d > longest_) longest_ = d;
            }
            Sleep(50);
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<HWND> target_{nullptr};
    std::atomic<double> longest_{0};
    std::thread thread_;  // last: it starts once the others stand
};

}  // namespace benchprobe
