// Work too long for one turn of the message loop. It runs on a thread of its
// own while the windows' thread answers sent messages only (other programs,
// the system asking whether the window hangs): input and posted messages wait
// in the queue, so nothing the user does sees the work half done.
//
// Everything sent meanwhile to a window bound to an object goes through one
// filter, so that no handler that reads or changes what the work uses runs,
// whatever the message and whoever added the handler:
// - a short list of questions and of the window's own management (size,
//   position, painting, activation and focus) runs as usual, and so
//   does whatever its handlers send on this thread;
// - messages that carry only values and an intent (commands, closes, system
//   commands, keyboard and mouse input, scrolling, context menus, timers
//   without a callback) are held back and sent again, in order, once this
//   thread is back in a message loop after the work: their sender has its
//   answer (0) before they have run;
// - everything else (notifications, data handed over, the end of the
//   session, other programs' requests to the controls) is refused: answered
//   0 without running anything.
// A window painted meanwhile (a list whose texts are not handed out while
// the work runs) is painted again after it. Dialogs, message boxes and file
// dialogs refuse to open meanwhile, as if cancelled. The work itself sends
// nothing to the windows: it would be refused.
#pragma once
#include <windows.h>
#include <functional>

// Returns when the work has ended, rethrowing what it threw. Without a thread
// to be had, or inside another such work, it runs here.
void RunAnswering(const std::function<void()>& work);

// Whether the calling thread is waiting for such work now.
bool IsAnswering();

// For a long loop on the windows' thread itself: each call answers, every
// few milliseconds, what was sent meanwhile, through the same filter. Call
// it only where what the windows show is whole.
class CAnswerPoll {
public:
    void operator()() {
        if (++m_calls % 64 == 0) Check();
    }

private:
    unsigned m_calls = 0;
    ULONGLONG m_next = GetTickCount64() + 20;
    void Check();
};

// The filter, for the framework's window procedure: while this thread
// answers, Answered() tells that the message was held back or refused, with
// the answer it gets now in Result(); otherwise the message runs, and what
// its handlers send on this thread runs too while the filter lives.
class CAnswerFilter {
public:
    CAnswerFilter(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    ~CAnswerFilter();
    CAnswerFilter(const CAnswerFilter&) = delete;
    CAnswerFilter& operator=(const CAnswerFilter&) = delete;
    bool Answered() const { return m_answered; }
    LRESULT Result() const { return 0; }

private:
    bool m_answered = false;
    bool m_running = false;
};
