// Work too long for one turn of the message loop, done so that the thread
// of the windows still answers what is sent to them (other programs, the
// system asking whether the window hangs). Only sent messages are taken
// meanwhile: input waits in the queue until the work is done, so no command
// ever sees it half done.
#pragma once
#include <functional>

// Runs work on a thread of its own while the calling thread answers sent
// messages; returns when it has ended (rethrowing what it threw). Without a
// thread to be had, the work runs here.
void RunAnswering(const std::function<void()>& work);

// For a long loop on the windows' thread: each call answers the messages
// sent since, at most every few milliseconds.
class CAnswerPoll {
public:
    CAnswerPoll();
    void operator()() {
        if (++m_calls < 64) return;
        m_calls = 0;
        Check();
    }

private:
    unsigned m_calls = 0;
    unsigned long long m_next = 0;
    void Check();
};
