// The framework's one message loop, run by CWinApp::Run and by each modal
// dialog (CDialog::DoModal).
//
// While no message waits, OnIdle(count) runs with count 0, 1, 2, ... as long
// as it answers TRUE; between two such calls the loop waits up to
// IdleWaitMs for a message, so work polled from idle goes on without taking
// the processor and messages are still answered within that time. After a
// message that starts idle work again (IsIdleMessage) the count restarts at
// 0. An exception from OnIdle counts as TRUE: the work is asked for again.
// An idle handler that waits for its work by itself (bounded, and ending
// when a message comes) answers kIdleAgainAtOnce: the loop then calls it
// again without its own wait.
#pragma once
#include <windows.h>

constexpr BOOL kIdleAgainAtOnce = 2;

class CMessageLoop {
public:
    static constexpr DWORD IdleWaitMs = 10;
    virtual ~CMessageLoop() = default;
    // Until Done() (FALSE) or WM_QUIT (TRUE, its code in *quitCode).
    BOOL Run(int* quitCode = nullptr);

protected:
    virtual BOOL OnIdle(LONG count) = 0;
    // TRUE: the message was handled and is not dispatched.
    virtual BOOL PreTranslate(MSG* msg) { return FALSE; }
    virtual bool Done() const { return false; }
};

// Mouse moves and the caret's blink timer do not start a new round of idle work.
BOOL IsIdleMessage(const MSG& msg);
