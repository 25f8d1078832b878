// Work off the windows' thread: what is sent meanwhile is answered when it
// only asks or manages the window, held back and sent again after the work
// when it carries values, refused otherwise; no modal window opens; what
// was posted stays in the queue.
#include "framework/Answering.h"
#include "framework/Dialog.h"
#include "framework/FrameWnd.h"
#include "framework/Seams.h"
#include "framework/Wnd.h"
#include "tests/pump_until.h"
#include <gtest/gtest.h>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

const UINT kOwnSend = WM_APP + 1;

// Records what reached it, as text, and whether the work was running then.
class CRecorder : public CWnd {
public:
    std::string log;
    std::atomic<bool> working{false};
    std::atomic<int> focusChanges{0};
    // What a box and a dialog opened from WM_SIZE answered (0: none opened).
    bool openModals = false;
    int boxAnswer = 0;
    INT_PTR dialogAnswer = 0;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        const std::string during = working ? " during;" : " after;";
        switch (msg) {
        case WM_COMMAND: log += "command " + std::to_string(LOWORD(wp)) + during; return 0;
        case WM_CLOSE: log += "close" + during; return 0;
        case WM_KEYDOWN: log += "key " + std::to_string(wp) + during; return 0;
        case WM_LBUTTONDOWN: log += "click" + during; return 0;
        case WM_TIMER: log += "timer " + std::to_string(wp) + during; return 0;
        case WM_NULL: log += "null" + during; return 0;
        case WM_SETFOCUS:
            log += "focus" + during;
            ++focusChanges;
            return 0;
        case WM_KILLFOCUS:
            log += "unfocus" + during;
            ++focusChanges;
            return 0;
        case WM_PAINT: log += "paint" + during; break;
        case WM_SIZE:
            log += "size" + during;
            // sent on this thread by a handler that runs: it runs too
            SendMessage(kOwnSend);
            if (openModals) {
                boxAnswer = KrvMessageBox(m_hWnd, L"box", L"answering", MB_OKCANCEL);
                CDialog dlg(0);
                dialogAnswer = dlg.DoModal();
            }
            return 0;
        case kOwnSend: log += "own" + during; return 0;
        case WM_APP: log += "app" + during; return 0x55;
        case WM_NOTIFY: log += "notify" + during; return 0x66;
        case WM_COPYDATA: log += "data" + during; return TRUE;
        case WM_QUERYENDSESSION: log += "query" + during; return TRUE;
        case WM_CONTEXTMENU: log += "menu" + during; return 0;
        }
        return CWnd::WindowProc(msg, wp, lp);
    }
};

struct CSend {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
    HWND to = nullptr;  // the recorder when none
};

struct Answering : ::testing::Test {
    CRecorder wnd;
    // Messages that came through the queue (posted) to the window.
    std::vector<UINT> queued;
    void SetUp() override {
        ASSERT_TRUE(wnd.CreateEx(0, nullptr, L"answering", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr));
    }
    void TearDown() override {
        SetMessageBoxHook(nullptr);
        if (wnd.m_hWnd) ::DestroyWindow(wnd.m_hWnd);
    }
    void Pump() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.hwnd == wnd.m_hWnd) queued.push_back(m.message);
            DispatchMessageW(&m);
        }
    }
    // Work that lasts until another thread has sent `sends` one after the
    // other and had their answers (-1: none in time).
    std::vector<LRESULT> SendDuringWork(const std::vector<CSend>& sends, DWORD* longestMs = nullptr) {
        HANDLE sent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::vector<LRESULT> answers(sends.size(), -1);
        DWORD longest = 0;
        HWND h = wnd.m_hWnd;
        std::thread sender([&] {
            WaitForSingleObject(started, 5000);
            for (size_t i = 0; i < sends.size(); ++i) {
                const DWORD t0 = GetTickCount();
                DWORD_PTR r = 0;
                if (SendMessageTimeoutW(sends[i].to ? sends[i].to : h, sends[i].msg, sends[i].wp, sends[i].lp,
                                        SMTO_NORMAL, 5000, &r))
                    answers[i] = (LRESULT)r;
                longest = std::max<DWORD>(longest, GetTickCount() - t0);
            }
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
        if (longestMs) *longestMs = longest;
        return answers;
    }
    LRESULT SendDuringWork(UINT msg, WPARAM wp, LPARAM lp) { return SendDuringWork({{msg, wp, lp}})[0]; }
};

// The system's questions and the window's own management are answered at
// once, and what their handlers send on this thread runs with them.
TEST_F(Answering, QuestionsAndTheWindowsOwnManagementAreAnsweredWhileTheWorkRuns) {
    wchar_t title[32] = L"";
    struct Case {
        CSend send;
        LRESULT answer;
        const char* log;
    };
    const Case cases[] = {
        {{WM_NULL, 0, 0}, 0, "null during;"},
        {{WM_GETTEXTLENGTH, 0, 0}, 9, ""},
        {{WM_GETTEXT, 32, (LPARAM)title}, 9, ""},
        {{WM_SIZE, SIZE_RESTORED, MAKELPARAM(80, 60)}, 0, "size during;own during;"},
        {{WM_SETFOCUS, 0, 0}, 0, "focus during;"},
        {{WM_KILLFOCUS, 0, 0}, 0, "unfocus during;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.send.msg);
        wnd.log.clear();
        DWORD ms = 0;
        EXPECT_EQ(c.answer, SendDuringWork({c.send}, &ms)[0]);
        EXPECT_LT(ms, 1000u);
        EXPECT_EQ(c.log, wnd.log);
    }
    EXPECT_STREQ(L"answering", title);
}

// Commands, closes, input and timers sent while the work runs are sent
// again after it: once each, in their order, and not through the queue
// (where keys would become accelerators).
TEST_F(Answering, ValuesSentMeanwhileAreSentAgainInOrderAfterTheWork) {
    const std::vector<CSend> sends = {
        {WM_COMMAND, MAKEWPARAM(1234, 0), 0},
        {WM_KEYDOWN, 'A', 1},
        {WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)},
        {WM_TIMER, 7, 0},
        {WM_CONTEXTMENU, 0, -1},
        {WM_CLOSE, 0, 0},
        {WM_COMMAND, MAKEWPARAM(99, 0), 0},
    };
    for (LRESULT answer : SendDuringWork(sends)) EXPECT_EQ(0, answer);
    EXPECT_EQ("", wnd.log) << "ran inside the work";
    Pump();
    EXPECT_EQ("command 1234 after;key 65 after;click after;timer 7 after;menu after;close after;command 99 after;",
              wnd.log);
    for (UINT m : queued) EXPECT_TRUE(m != WM_COMMAND && m != WM_KEYDOWN && m != WM_CLOSE) << m;
    wnd.log.clear();
    Pump();
    EXPECT_EQ("", wnd.log) << "sent again twice";
}

// A control the framework made (a toolbar) is bound too: a click sent to
// its button while the work runs clicks it after the work.
TEST_F(Answering, AClickSentToABoundControlClicksAfterTheWork) {
    CToolBar bar;
    ASSERT_TRUE(bar.CreateEx(&wnd));
    TBBUTTON b{};
    b.iBitmap = I_IMAGENONE;
    b.idCommand = 4321;
    b.fsState = TBSTATE_ENABLED;
    b.fsStyle = BTNS_BUTTON;
    ASSERT_TRUE(bar.SendMessage(TB_ADDBUTTONSW, 1, (LPARAM)&b));
    bar.SendMessage(TB_AUTOSIZE);
    RECT r{};
    bar.GetItemRect(0, &r);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendDuringWork({{WM_LBUTTONDOWN, MK_LBUTTON, at, bar.m_hWnd}, {WM_LBUTTONUP, 0, at, bar.m_hWnd}});
    EXPECT_EQ("", wnd.log);
    Pump();
    // (with the toolbar's notifications around it)
    EXPECT_NE(std::string::npos, wnd.log.find("command 4321 after;")) << wnd.log;
}

// Everything else is answered 0 without running a handler, and does not
// come back.
TEST_F(Answering, EverythingElseSentMeanwhileIsRefused) {
    NMHDR nm{wnd.m_hWnd, 1, (UINT)NM_DBLCLK};
    COPYDATASTRUCT data{1, 0, nullptr};
    const std::vector<CSend> sends = {
        {WM_APP, 0, 0},
        {WM_NOTIFY, 1, (LPARAM)&nm},
        {WM_COPYDATA, 0, (LPARAM)&data},
        {WM_SETTEXT, 0, (LPARAM)L"changed"},
        {WM_TIMER, 8, (LPARAM)&DefWindowProcW},  // with a callback
    };
    for (LRESULT answer : SendDuringWork(sends)) EXPECT_EQ(0, answer);
    Pump();
    EXPECT_EQ("", wnd.log);
    CString title;
    wnd.GetWindowText(title);
    EXPECT_EQ(CString(L"answering"), title);
}

TEST_F(Answering, TheSessionDoesNotEndWhileTheWorkRuns) {
    EXPECT_EQ(FALSE, SendDuringWork(WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ("", wnd.log);
    DWORD_PTR r = 0;
    SendMessageTimeoutW(wnd.m_hWnd, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &r);
    EXPECT_EQ((DWORD_PTR)TRUE, r) << "asked again after the work";
}

// A handler that runs meanwhile cannot open a box or a dialog: their loops
// would run what is held back. After the work they open again.
TEST_F(Answering, NoModalWindowOpensWhileTheWorkRuns) {
    int asked = 0;
    SetMessageBoxHook([&](const wchar_t*, UINT) {
        ++asked;
        return IDOK;
    });
    wnd.openModals = true;
    SendDuringWork(WM_SIZE, SIZE_RESTORED, MAKELPARAM(80, 60));
    EXPECT_EQ(0, asked);
    EXPECT_EQ(IDCANCEL, wnd.boxAnswer);
    EXPECT_EQ(IDCANCEL, wnd.dialogAnswer) << "the dialog was tried";
    wnd.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(80, 60));
    EXPECT_EQ(1, asked);
    EXPECT_EQ(IDOK, wnd.boxAnswer);
    EXPECT_EQ(-1, wnd.dialogAnswer) << "no template: tried, not refused";
}

// A work that sends to the windows (as clipboard calls do to the previous
// owner) has its answer at once and goes on.
TEST_F(Answering, WorkThatSendsToTheWindowGoesOn) {
    HWND h = wnd.m_hWnd;
    DWORD_PTR r = 1;
    BOOL answered = FALSE;
    const DWORD t0 = GetTickCount();
    RunAnswering([&] { answered = SendMessageTimeoutW(h, WM_APP, 0, 0, SMTO_NORMAL, 5000, &r); });
    EXPECT_LT(GetTickCount() - t0, 1000u);
    EXPECT_TRUE(answered);
    EXPECT_EQ(0u, r);
    Pump();
    EXPECT_EQ("", wnd.log);
}

// Painted while no texts are handed out, the window is painted again after
// the work.
TEST_F(Answering, WhatWasPaintedMeanwhileIsPaintedAgain) {
    wnd.ShowWindow(SW_SHOWNOACTIVATE);
    wnd.UpdateWindow();
    Pump();
    HWND h = wnd.m_hWnd;
    wnd.log.clear();
    RunAnswering([&] {
        wnd.working = true;
        RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        wnd.working = false;
    });
    EXPECT_EQ("paint during;", wnd.log);
    RECT r{};
    EXPECT_TRUE(GetUpdateRect(h, &r, FALSE));
    wnd.UpdateWindow();
    EXPECT_EQ("paint during;paint after;", wnd.log);
}

// Another window activated while the work runs, then this one again: the
// activation and focus messages are answered, so the window has the
// keyboard again afterwards.
TEST_F(Answering, ActivationMeanwhileLeavesTheFocusWhereItBelongs) {
    HWND h = wnd.m_hWnd;
    // The other window lives on a thread of its own until the end; it is
    // shown without taking the activation.
    std::atomic<HWND> other{nullptr};
    std::atomic<bool> done{false}, ended{false};
    std::thread owner([&] {
        HWND w = CreateWindowExW(0, L"Static", L"other", WS_OVERLAPPED, 200, 0, 100, 100, nullptr, nullptr, nullptr,
                                 nullptr);
        ShowWindow(w, SW_SHOWNOACTIVATE);
        other = w;
        while (!done) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        DestroyWindow(w);
        ended = true;
    });
    for (int i = 0; i < 500 && !other; ++i) Sleep(10);
    ASSERT_TRUE(other.load());
    wnd.ShowWindow(SW_SHOW);
    SetForegroundWindow(h);
    SetFocus(h);
    krvtest::PumpUntil([] { return false; }, 50);
    ASSERT_EQ(h, GetFocus());
    wnd.log.clear();
    wnd.focusChanges = 0;
    // Each change reaches the window's thread a little later.
    auto waitForChanges = [&](int n) {
        for (int i = 0; i < 200 && wnd.focusChanges < n; ++i) Sleep(10);
    };
    RunAnswering([&] {
        wnd.working = true;
        SetForegroundWindow(other);
        waitForChanges(1);
        SetForegroundWindow(h);
        waitForChanges(2);
        wnd.working = false;
    });
    Pump();
    EXPECT_EQ(h, GetForegroundWindow());
    EXPECT_EQ(h, GetFocus());
    EXPECT_EQ("unfocus during;focus during;", wnd.log);
    done = true;
    while (!ended) {
        Pump();
        Sleep(1);
    }
    owner.join();
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

// A long loop on the windows' thread answers between its steps through the
// same filter.
TEST_F(Answering, ThePollOfALongLoopAnswersAndHoldsBack) {
    HWND h = wnd.m_hWnd;
    std::atomic<int> answered{0};
    std::thread sender([&] {
        DWORD_PTR r = 1;
        if (SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r) && r == 0) ++answered;
        if (SendMessageTimeoutW(h, WM_APP, 0, 0, SMTO_NORMAL, 5000, &r) && r == 0) ++answered;
        SendMessageTimeoutW(h, WM_COMMAND, MAKEWPARAM(77, 0), 0, SMTO_NORMAL, 5000, &r);
        ++answered;
    });
    wnd.working = true;
    CAnswerPoll poll;
    const DWORD t0 = GetTickCount();
    while (answered < 3 && GetTickCount() - t0 < 5000) poll();
    wnd.working = false;
    sender.join();
    EXPECT_EQ(3, answered.load());
    EXPECT_EQ("null during;", wnd.log);
    Pump();
    EXPECT_EQ("null during;command 77 after;", wnd.log);
}

}  // namespace
