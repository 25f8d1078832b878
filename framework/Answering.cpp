#include "framework/Answering.h"
#include <algorithm>
#include <deque>
#include <exception>
#include <vector>

namespace {

thread_local int t_answering = 0;
// Handlers the filter let run, on this thread now: what they send is theirs.
thread_local int t_running = 0;

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

struct CHeld {
    HWND h;
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

// As many as a queue takes posted messages; more are refused.
const size_t kMostHeld = 10000;
// Posted to the replay window of the thread when messages wait.
const UINT kReplayHeld = WM_APP;

struct CAfterWork {
    std::deque<CHeld> held;
    std::vector<HWND> painted;
    HWND replay = nullptr;
    bool replayPosted = false;
};

CAfterWork& After() {
    thread_local CAfterWork a;
    return a;
}

enum class Fate { Run, Hold, Refuse };

Fate FateOf(UINT msg, LPARAM lp) {
    switch (msg) {
    // Questions and the window's own management. Their handlers (ours, the
    // controls' and the system's) touch no record; what they leave undone
    // would leave the window broken (a frame without its layout, a caption
    // that stays active, a list that lost the keyboard).
    case WM_NULL:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_GETICON:
    case WM_NCHITTEST:
    case WM_GETMINMAXINFO:
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_NCCALCSIZE:
    case WM_MOVE:
    case WM_SIZE:
    case WM_NCPAINT:
    case WM_SYNCPAINT:
    case WM_ERASEBKGND:
    case WM_PAINT:
    case WM_NCACTIVATE:
    case WM_ACTIVATE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS: return Fate::Run;
    // Only values: they mean the same when sent again a little later.
    case WM_COMMAND:
    case WM_SYSCOMMAND:
    case WM_CLOSE:
    case WM_CONTEXTMENU:
    case WM_HSCROLL:
    case WM_VSCROLL: return Fate::Hold;
    // A callback's address is no value to send again.
    case WM_TIMER: return lp ? Fate::Refuse : Fate::Hold;
    default: break;
    }
    if ((msg >= WM_KEYFIRST && msg <= WM_UNICHAR) || (msg >= WM_MOUSEFIRST && msg <= WM_MOUSEHWHEEL) ||
        (msg >= WM_NCMOUSEMOVE && msg <= WM_NCXBUTTONDBLCLK))
        return Fate::Hold;
    return Fate::Refuse;
}

LRESULT CALLBACK ReplayProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);

// A message-only window of the thread's own: the held messages are sent
// again from the message loop that dispatches its post, whichever runs.
HWND ReplayWindow() {
    CAfterWork& a = After();
    if (a.replay && IsWindow(a.replay)) return a.replay;
    static const wchar_t kClass[] = L"KrvAnswerReplay";
    HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = ReplayProc;
    wc.hInstance = inst;
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);  // fails once it is registered
    a.replay = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, inst, nullptr);
    return a.replay;
}

void PostReplay() {
    CAfterWork& a = After();
    if (a.held.empty() || a.replayPosted) return;
    HWND r = ReplayWindow();
    a.replayPosted = r && PostMessageW(r, kReplayHeld, 0, 0);
    // With nowhere to send them from, they are refused after all.
    if (!a.replayPosted) a.held.clear();
}

LRESULT CALLBACK ReplayProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != kReplayHeld) return DefWindowProcW(h, msg, wp, lp);
    CAfterWork& a = After();
    a.replayPosted = false;
    if (t_answering) return 0;  // the end of the work posts again
    try {
        // Those held so far; what is held while they run comes after them.
        for (size_t n = a.held.size(); n > 0 && !a.held.empty(); --n) {
            const CHeld m = a.held.front();
            a.held.pop_front();
            if (IsWindow(m.h)) SendMessageW(m.h, m.msg, m.wp, m.lp);
        }
        PostReplay();
    } catch (...) {}
    return 0;
}

// Windows painted while no texts were handed out are painted again; what
// was held back is sent again from the next message loop.
void AfterAnswering() {
    CAfterWork& a = After();
    for (HWND h : a.painted)
        if (IsWindow(h)) InvalidateRect(h, nullptr, TRUE);
    a.painted.clear();
    PostReplay();
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
    AfterAnswering();
    if (w.failure) std::rethrow_exception(w.failure);
}

void CAnswerPoll::Check() {
    const ULONGLONG now = GetTickCount64();
    if (now < m_next) return;
    m_next = now + 20;
    ++t_answering;
    // What arrives in the peek comes from elsewhere, even inside a handler
    // the filter let run.
    const int running = t_running;
    t_running = 0;
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    t_running = running;
    --t_answering;
    if (!t_answering) AfterAnswering();
}

CAnswerFilter::CAnswerFilter(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (!t_answering) return;
    try {
        const Fate fate = t_running ? Fate::Run : FateOf(msg, lp);
        if (fate == Fate::Run) {
            ++t_running;
            m_running = true;
            CAfterWork& a = After();
            if (msg == WM_PAINT && std::find(a.painted.begin(), a.painted.end(), h) == a.painted.end())
                a.painted.push_back(h);
            return;
        }
        m_answered = true;
        CAfterWork& a = After();
        if (fate == Fate::Hold && a.held.size() < kMostHeld) a.held.push_back({h, msg, wp, lp});
    } catch (...) {
        // Out of memory: refused.
        m_answered = !m_running;
    }
}

CAnswerFilter::~CAnswerFilter() {
    if (m_running) --t_running;
}
