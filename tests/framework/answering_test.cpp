// Work off the windows' thread: what is sent meanwhile is answered, what
// would change the work's data waits for it or is refused, and what was
// posted stays in the queue.
#include "framework/Answering.h"
#include "framework/Wnd.h"
#include <gtest/gtest.h>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

// Records what reached it, as text, and whether the work was running then.
class CRecorder : public CWnd {
public:
    std::string log;
    std::atomic<bool> working{false};
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        const char* during = working ? "during" : "after";
        switch (msg) {
        case WM_COMMAND: log += std::string("command ") + std::to_string(LOWORD(wp)) + " " + during + ";"; return 0;
        case WM_CLOSE: log += std::string("close ") + during + ";"; return 0;
        case WM_APP: log += std::string("app ") + during + ";"; return 0x55;
        case WM_QUERYENDSESSION: log += "query;"; return TRUE;
        }
        return CWnd::WindowProc(msg, wp, lp);
    }
};

struct Answering : ::testing::Test {
    CRecorder wnd;
    void SetUp() override {
        ASSERT_TRUE(wnd.CreateEx(0, nullptr, L"answering", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr));
    }
    void TearDown() override {
        if (wnd.m_hWnd) ::DestroyWindow(wnd.m_hWnd);
    }
    void Pump() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    }
    // Work that lasts until another thread has sent `msg` and had its answer.
    LRESULT SendDuringWork(UINT msg, WPARAM wp, LPARAM lp, DWORD* answeredMs = nullptr) {
        HANDLE sent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        LRESULT answer = -1;
        DWORD took = 0;
        HWND h = wnd.m_hWnd;
        HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread sender([&] {
            WaitForSingleObject(started, 5000);
            DWORD t0 = GetTickCount();
            DWORD_PTR r = 0;
            if (SendMessageTimeoutW(h, msg, wp, lp, SMTO_NORMAL, 5000, &r)) answer = (LRESULT)r;
            took = GetTickCount() - t0;
            SetEvent(sent);
        });
        RunAnswering([&] {
            wnd.working = true;
            SetEvent(started);
            WaitForSingleObject(sent, 10000);
            wnd.working = false;
        });
        sender.join();
        CloseHandle(sent);
        CloseHandle(started);
        if (answeredMs) *answeredMs = took;
        return answer;
    }
};

TEST_F(Answering, SentMessagesAreAnsweredWhileTheWorkRuns) {
    DWORD ms = 0;
    EXPECT_EQ(0x55, SendDuringWork(WM_APP, 0, 0, &ms));
    EXPECT_LT(ms, 1000u);
    EXPECT_EQ("app during;", wnd.log);
}

// A command or close sent while the work runs comes after it, once.
TEST_F(Answering, CommandsAndClosesSentMeanwhileRunAfterTheWork) {
    struct Case {
        UINT msg;
        WPARAM wp;
        const char* expected;
    };
    const Case cases[] = {
        {WM_COMMAND, MAKEWPARAM(1234, 0), "command 1234 after;"},
        {WM_CLOSE, 0, "close after;"},
    };
    for (const Case& c : cases) {
        wnd.log.clear();
        EXPECT_EQ(0, SendDuringWork(c.msg, c.wp, 0));
        EXPECT_EQ("", wnd.log) << "ran inside the work";
        Pump();
        EXPECT_EQ(c.expected, wnd.log);
    }
}

TEST_F(Answering, TheSessionDoesNotEndWhileTheWorkRuns) {
    EXPECT_EQ(FALSE, SendDuringWork(WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ("", wnd.log);
    DWORD_PTR r = 0;
    SendMessageTimeoutW(wnd.m_hWnd, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &r);
    EXPECT_EQ((DWORD_PTR)TRUE, r) << "asked again after the work";
}

TEST_F(Answering, PostedMessagesWaitAndFailuresComeBack) {
    PostMessageW(wnd.m_hWnd, WM_APP, 0, 0);
    EXPECT_THROW(RunAnswering([&] {
                     wnd.working = true;
                     Sleep(50);
                     wnd.working = false;
                     throw std::runtime_error("work failed");
                 }),
                 std::runtime_error);
    EXPECT_EQ("", wnd.log);
    EXPECT_FALSE(IsAnswering());
    Pump();
    EXPECT_EQ("app after;", wnd.log);
}

// A long loop on the windows' thread answers between its steps and holds
// back what it must.
TEST_F(Answering, ThePollOfALongLoopAnswersAndHoldsBack) {
    HWND h = wnd.m_hWnd;
    std::atomic<int> answered{0};
    std::thread sender([&] {
        DWORD_PTR r = 0;
        if (SendMessageTimeoutW(h, WM_APP, 0, 0, SMTO_NORMAL, 5000, &r) && r == 0x55) ++answered;
        SendMessageTimeoutW(h, WM_COMMAND, MAKEWPARAM(77, 0), 0, SMTO_NORMAL, 5000, &r);
        ++answered;
    });
    wnd.working = true;
    CAnswerPoll poll;
    const DWORD t0 = GetTickCount();
    while (answered < 2 && GetTickCount() - t0 < 5000) poll();
    wnd.working = false;
    sender.join();
    EXPECT_EQ(2, answered.load());
    EXPECT_EQ("app during;", wnd.log);
    Pump();
    EXPECT_EQ("app during;command 77 after;", wnd.log);
}

}  // namespace
