#include "editor/answering.h"
#include <windows.h>
#include <exception>

namespace {

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

// Sent messages are handled inside the peek; nothing leaves the queue.
void AnswerSent() {
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

const unsigned kAnswerMs = 20;

}  // namespace

void RunAnswering(const std::function<void()>& work) {
    CWork w{&work, nullptr};
    HANDLE thread = CreateThread(nullptr, 0, RunWork, &w, 0, nullptr);
    if (!thread) {
        work();
        return;
    }
    // The thread does only our own finite work: waiting for it is as long
    // as doing the work here, and it must end before its results are used.
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) break;
        if (r == WAIT_FAILED) {
            WaitForSingleObject(thread, INFINITE);
            break;
        }
        AnswerSent();
    }
    CloseHandle(thread);
    if (w.failure) std::rethrow_exception(w.failure);
}

CAnswerPoll::CAnswerPoll() : m_next(GetTickCount64() + kAnswerMs) {}

void CAnswerPoll::Check() {
    const unsigned long long now = GetTickCount64();
    if (now < m_next) return;
    AnswerSent();
    m_next = now + kAnswerMs;
}
