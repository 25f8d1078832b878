// For the benchmarks of the device dialogs: a millisecond clock, a thread
// that sends WM_NULL to the window it watches every 50 ms and keeps the
// longest time an answer took, and one that presses a key through the input
// queue and keeps the longest time until the window's loop took it.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdio>
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

// Presses Shift through the input queue (SendInput, the watched window in
// front) every 100 ms and keeps the longest time until the window's thread
// took the key from its queue: a message hook on that thread sees it taken.
// Shift changes nothing in the dialog. One probe waits at most timeoutMs.
class InputProbe {
public:
    explicit InputProbe(UINT timeoutMs) : timeoutMs_(timeoutMs), thread_([this] { Run(); }) {}
    ~InputProbe() { Stop(); }
    InputProbe(const InputProbe&) = delete;
    InputProbe& operator=(const InputProbe&) = delete;
    // The window to probe (its thread gets the hook); nullptr pauses.
    void Watch(HWND h) {
        target_ = nullptr;
        while (busy_) Sleep(1);
        if (hook_) UnhookWindowsHookEx(hook_);
        hook_ = nullptr;
        if (h) hook_ = SetWindowsHookExW(WH_GETMESSAGE, &Hook, nullptr, GetWindowThreadProcessId(h, nullptr));
        if (hook_) target_ = h;
    }
    void Stop() {
        Watch(nullptr);
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    double LongestMs() const { return longest_; }
    int Presses() const { return presses_; }
    int Slow() const { return slow_; }      // over 100 ms
    int Missed() const { return missed_; }  // not taken within the bound

private:
    static LRESULT CALLBACK Hook(int code, WPARAM remove, LPARAM lp) {
        const MSG* m = reinterpret_cast<const MSG*>(lp);
        if (code >= 0 && remove == PM_REMOVE && m->message == WM_KEYDOWN && m->wParam == VK_SHIFT) Taken() = NowMs();
        return CallNextHookEx(nullptr, code, remove, lp);
    }
    static std::atomic<double>& Taken() {
        static std::atomic<double> t{0};
        return t;
    }
    void Run() {
        HWND front = nullptr;
        while (!stop_) {
            busy_ = true;
            HWND h = target_;
            if (h) {
                if (front != h) SetForegroundWindow(h);
                front = h;
                Taken() = 0;
                INPUT in[2] = {};
                in[0].type = in[1].type = INPUT_KEYBOARD;
                in[0].ki.wVk = in[1].ki.wVk = VK_SHIFT;
                in[1].ki.dwFlags = KEYEVENTF_KEYUP;
                const double t0 = NowMs();
                SendInput(2, in, sizeof(INPUT));
                double took = -1;
                while (NowMs() - t0 < timeoutMs_ && target_ == h) {
                    double t = Taken();
                    if (t != 0) {
                        took = t - t0;
                        break;
                    }
                    Sleep(1);
                }
                if (target_ == h) {
                    ++presses_;
                    if (took < 0) {
                        ++missed_;
                        took = timeoutMs_;
                    }
                    if (took > 100) ++slow_;
                    if (took > longest_) longest_ = took;
                }
            }
            busy_ = false;
            Sleep(100);
        }
        busy_ = false;
    }

    UINT timeoutMs_;
    HHOOK hook_ = nullptr;
    std::atomic<bool> stop_{false}, busy_{false};
    std::atomic<HWND> target_{nullptr};
    std::atomic<double> longest_{0};
    std::atomic<int> presses_{0}, slow_{0}, missed_{0};
    std::thread thread_;  // last: it starts once the others stand
};

// The probe's figures for a benchmark's line; without a key pressed there is
// no time until one was taken.
inline void PrintKeys(const InputProbe& probe) {
    if (probe.Presses() == 0) {
        printf("; keys through the input queue: none pressed\n");
        return;
    }
    printf("; keys through the input queue: %d, longest until taken %.1f ms, %d over 100 ms, %d not taken\n",
           probe.Presses(), probe.LongestMs(), probe.Slow(), probe.Missed());
}

}  // namespace benchprobe
