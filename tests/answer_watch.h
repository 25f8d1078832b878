// How long a window leaves a message waiting while this thread is busy in a
// call: a thread of its own sends it WM_NULL every 20 ms and keeps the
// longest wait for an answer.
#pragma once
#include <windows.h>
#include <algorithm>
#include <atomic>
#include <thread>
#include "tests/pump_until.h"

namespace krvtest {

class AnswerWatch {
public:
    explicit AnswerWatch(HWND window)
        : thread_([this, window] {
              while (!stop_) {
                  const DWORD start = GetTickCount();
                  DWORD_PTR r = 0;
                  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &r);
                  longest_ = std::max<DWORD>(longest_, GetTickCount() - start);
                  Sleep(20);
              }
              finished_ = true;
          }) {}
    ~AnswerWatch() { Stop(); }
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;
    // Ends the watch; the longest wait in milliseconds.
    DWORD Stop() {
        stop_ = true;
        // its last question may be waiting for this thread
        PumpUntil([&] { return finished_.load(); }, 35000);
        if (thread_.joinable()) thread_.join();
        return longest_;
    }

private:
    std::atomic<bool> stop_{false}, finished_{false};
    std::atomic<DWORD> longest_{0};
    std::thread thread_;  // last: it starts once the others stand
};

}  // namespace krvtest
