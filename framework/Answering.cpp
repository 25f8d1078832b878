#include "framework/Answering.h"
#include <exception>

namespace {

thread_local int t_answering = 0;

struct CWork {
    const std::function<void()>* work;
    std::exception_ptr failure;
};

DWORD WINAPI RunWork(LPVOID p) {
    CWork* w = static_cast<CWork*>(p);
    try {
        (*w->work)();
    } catch (...) {
        w->failure = std::current_exception();
    }
    return 0;
}

}  // namespace

bool IsAnswering() { return t_answering > 0; }

void RunAnswering(const std::function<void()>& work) {
    if (t_answering) {
        work();
        return;
    }
    CWork w{&work, nullptr};
    HANDLE thread = CreateThread(nullptr, 0, RunWork, &w, 0, nullptr);
    if (!thread) {
        work();
        return;
    }
    ++t_answering;
    // No bound: the thread does our own finite work on data this thread
    // uses right after it, so it must end before we go on.
    for (;;) {
        DWORD r = MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_SENDMESSAGE, 0);
        if (r == WAIT_OBJECT_0) break;
        if (r != WAIT_OBJECT_0 + 1) {
            WaitForSingleObject(thread, INFINITE);
            break;
        }
        // Sent messages are handled inside the peek; nothing leaves the queue.
        MSG m;
        PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    --t_answering;
    CloseHandle(thread);
    if (w.failure) std::rethrow_exception(w.failure);
}

void CAnswerPoll::Check() {
    const ULONGLONG now = GetTickCount64();
    if (now < m_next) return;
    m_next = now + 20;
    ++t_answering;
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    --t_answering;
}

bool HoldBackWhileAnswering(HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (!t_answering) return false;
    switch (msg) {
    case WM_COMMAND:
    case WM_SYSCOMMAND:
    case WM_CLOSE:
        // Runs once the work is done, as if it had come a little later.
        ::PostMessageW(h, msg, wp, lp);
        result = 0;
        return true;
    case WM_QUERYENDSESSION:
    case WM_COPYDATA: result = FALSE; return true;
    case WM_ENDSESSION: result = 0; return true;
    default: return false;
    }
}
