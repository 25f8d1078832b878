// The one message loop, run by CDialog::DoModal and CWinApp::Run: idle
// calls, the owner, posted commands, exceptions, window messages, command
// update, and the processor time of a loop kept busy by idle work.
#include "framework/Dialog.h"
#include "framework/MessageLoop.h"
#include "framework/WinApp.h"
#include "tests/framework/dialog_test_ids.h"
#include <gtest/gtest.h>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

constexpr UINT_PTR kSafetyTimer = 99;  // ends a run that would otherwise hang
constexpr int kHung = -7;

struct IdleCall {
    LONG count;
    LRESULT answer;
};

class CLoopDlg : public CDialog {
public:
    explicit CLoopDlg(CWnd* parent = nullptr) : CDialog(IDD_CONTROLS, parent) {}
    std::function<void(CLoopDlg&)> init;
    std::function<LRESULT(CLoopDlg&, LONG)> idle;
    std::function<void(CLoopDlg&, UINT_PTR)> timer;
    std::function<void(CLoopDlg&, WPARAM, LPARAM)> app;
    std::vector<IdleCall> idleCalls;
    std::vector<char> marks;  // 'T' timer, 'A' WM_APP, 'R' run, 'E' end
    bool wrongIdleWParam = false;
    int lockedRan = 0, lockedAsked = 0, runRan = 0;
    WPARAM appW = 0;
    LPARAM appL = 0;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SetTimer(kSafetyTimer, 5000);
        if (init) init(*this);
        return TRUE;
    }
    LRESULT OnKickIdle(WPARAM wp, LPARAM lp) override {
        if (wp != MSGF_DIALOGBOX) wrongIdleWParam = true;
        idleCalls.push_back({(LONG)lp, 0});
        LRESULT r = idle ? idle(*this, (LONG)lp) : 0;
        idleCalls.back().answer = r;
        return r;
    }
    void OnTimer(UINT_PTR id) override {
        if (id == kSafetyTimer) {
            EndDialog(kHung);
            return;
        }
        marks.push_back('T');
        KillTimer(id);
        if (timer) timer(*this, id);
    }
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_APP) {
            marks.push_back('A');
            appW = wp;
            appL = lp;
            if (app) app(*this, wp, lp);
            return 0x55;
        }
        return CDialog::WindowProc(msg, wp, lp);
    }
    BOOL OnCommandMap(UINT id, CCmdUI* ui) override {
        static const CmdEntry<CLoopDlg> map[] = {
            {IDC_RUN, &CLoopDlg::OnRun, nullptr},
            {IDC_LOCKED, &CLoopDlg::OnLocked, &CLoopDlg::OnUpdateLocked},
            {IDC_END, &CLoopDlg::OnEnd, nullptr},
            {IDC_THROW, &CLoopDlg::OnThrow, nullptr},
        };
        return DispatchCommands(this, map, id, ui) || CDialog::OnCommandMap(id, ui);
    }
    void OnRun() {
        ++runRan;
        marks.push_back('R');
    }
    void OnLocked() { ++lockedRan; }
    void OnUpdateLocked(CCmdUI* ui) {
        ++lockedAsked;
        ui->Enable(FALSE);
    }
    void OnEnd() {
        marks.push_back('E');
        EndDialog(42);
    }
    void OnThrow() { throw std::runtime_error("handler failed"); }

    void PostClick(int id) { PostMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)::GetDlgItem(m_hWnd, id)); }
};

// Idle counts go up by one while the handler asks for more and start at 0
// again only after a message; after an answer of 0 the next call is a 0.
void ExpectWellFormed(const std::vector<IdleCall>& calls) {
    for (size_t i = 1; i < calls.size(); ++i) {
        const IdleCall& prev = calls[i - 1];
        const IdleCall& next = calls[i];
        if (prev.answer)
            EXPECT_TRUE(next.count == prev.count + 1 || next.count == 0) << "call " << i << ": " << next.count;
        else
            EXPECT_EQ(0, next.count) << "call " << i << " came without a message after an answer of 0";
    }
}

bool HasRun(const std::vector<IdleCall>& calls, LONG upTo) {
    for (size_t i = 0; i + (size_t)upTo < calls.size(); ++i) {
        bool run = true;
        for (LONG k = 0; k <= upTo && run; ++k) run = calls[i + (size_t)k].count == k;
        if (run) return true;
    }
    return false;
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& f) { return ((ULONGLONG)f.dwHighDateTime << 32) | f.dwLowDateTime; };
    return (double)(ticks(kernel) + ticks(user)) / 1e7;
}

}  // namespace

TEST(ModalLoop, KickIdleCountsAndAnAnswerOfZeroWaitsForTheNextMessage) {
    CLoopDlg dlg;
    int phase = 0;
    dlg.idle = [&](CLoopDlg& d, LONG count) -> LRESULT {
        if (phase == 0) {
            if (count < 5) return 1;
            phase = 1;
            d.SetTimer(1, 100);  // the next message
            return 0;
        }
        if (phase == 1) return 0;
        if (count == 3) {
            d.EndDialog(IDOK);
            return 0;
        }
        return 1;
    };
    dlg.timer = [&](CLoopDlg&, UINT_PTR) { phase = 2; };
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_FALSE(dlg.wrongIdleWParam) << "wParam is MSGF_DIALOGBOX";
    EXPECT_TRUE(HasRun(dlg.idleCalls, 5)) << "idle calls 0..5 without a message between them";
    ExpectWellFormed(dlg.idleCalls);
    ASSERT_FALSE(dlg.idleCalls.empty());
    EXPECT_EQ(3, dlg.idleCalls.back().count);
    EXPECT_EQ((std::vector<char>{'T'}), dlg.marks);
}

TEST(ModalLoop, OwnerDisabledDuringTheRunAndEnabledAfter) {
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, nullptr, L"Besitzer", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr));
    CLoopDlg dlg(&owner);
    BOOL enabledInside = TRUE;
    HWND ownerInside = nullptr;
    dlg.init = [&](CLoopDlg& d) {
        enabledInside = owner.IsWindowEnabled();
        ownerInside = ::GetWindow(d.m_hWnd, GW_OWNER);
        d.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_FALSE(enabledInside);
    EXPECT_EQ(owner.m_hWnd, ownerInside);
    EXPECT_TRUE(owner.IsWindowEnabled());

    // an owner that was disabled before stays so
    owner.EnableWindow(FALSE);
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_FALSE(owner.IsWindowEnabled());
    owner.DestroyWindow();
}

TEST(ModalLoop, EndDialogFromAPostedCommand) {
    CLoopDlg dlg;
    dlg.init = [](CLoopDlg& d) { d.PostClick(IDC_END); };
    EXPECT_EQ(42, dlg.DoModal());
    EXPECT_EQ((std::vector<char>{'E'}), dlg.marks);
    EXPECT_FALSE(IsWindow(dlg.m_hWnd));
    EXPECT_EQ(nullptr, dlg.m_hWnd);
}

TEST(ModalLoop, ExceptionInACommandStaysInsideAndIdleGoesOn) {
    CLoopDlg dlg;
    dlg.init = [](CLoopDlg& d) {
        d.PostClick(IDC_THROW);
        d.PostClick(IDC_RUN);
    };
    dlg.idle = [](CLoopDlg& d, LONG count) -> LRESULT {
        if (d.runRan && count == 2) d.EndDialog(IDOK);
        return 1;
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(1, dlg.runRan);
}

TEST(ModalLoop, ExceptionInTheIdleHandlerDoesNotStopIdleCalls) {
    CLoopDlg dlg;
    int thrown = 0;
    dlg.idle = [&](CLoopDlg& d, LONG count) -> LRESULT {
        if (count < 2) {
            ++thrown;
            throw std::runtime_error("poll failed");
        }
        d.EndDialog(IDOK);
        return 0;
    };
    EXPECT_EQ(IDOK, dlg.DoModal()) << "the run ended by its safety timer: idle stopped after the exception";
    EXPECT_GE(thrown, 2);
}

TEST(ModalLoop, WindowMessagesReachTheWindowProcOverride) {
    CLoopDlg dlg;
    LRESULT sent = 0;
    dlg.init = [&](CLoopDlg& d) {
        sent = d.SendMessage(WM_APP, 3, 4);
        d.PostMessage(WM_APP, 7, 9);
    };
    dlg.app = [](CLoopDlg& d, WPARAM wp, LPARAM) {
        if (wp == 7) d.EndDialog(IDOK);
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(0x55, sent);
    EXPECT_EQ((std::vector<char>{'A', 'A'}), dlg.marks);
    EXPECT_EQ(7u, dlg.appW);
    EXPECT_EQ(9, dlg.appL);
}

TEST(ModalLoop, CommandDisabledByItsUpdateHandlerDoesNotRun) {
    CLoopDlg dlg;
    dlg.init = [](CLoopDlg& d) {
        d.PostClick(IDC_LOCKED);
        d.PostMessage(WM_COMMAND, MAKEWPARAM(IDC_LOCKED, 0), 0);  // as from a menu
        d.PostClick(IDC_RUN);
        d.PostClick(IDC_END);
    };
    EXPECT_EQ(42, dlg.DoModal());
    EXPECT_EQ(0, dlg.lockedRan);
    EXPECT_EQ(2, dlg.lockedAsked);
    EXPECT_EQ(1, dlg.runRan);
    EXPECT_EQ((std::vector<char>{'R', 'E'}), dlg.marks);
}

// Idle work that always wants more for a second: the loop waits for
// messages between the calls instead of spinning, and a message posted from
// another thread still gets through.
TEST(ModalLoop, BusyIdleForOneSecondTakesLittleProcessorTime) {
    CLoopDlg dlg;
    dlg.idle = [](CLoopDlg&, LONG) -> LRESULT { return 1; };
    dlg.app = [](CLoopDlg& d, WPARAM, LPARAM) { d.EndDialog(IDOK); };
    std::thread poster;
    dlg.init = [&](CLoopDlg& d) {
        HWND h = d.m_hWnd;
        poster = std::thread([h] {
            Sleep(1000);
            PostMessageW(h, WM_APP, 1, 2);
        });
    };
    double cpu0 = CpuSeconds();
    DWORD t0 = GetTickCount();
    INT_PTR r = dlg.DoModal();
    DWORD wall = GetTickCount() - t0;
    double cpu = CpuSeconds() - cpu0;
    if (poster.joinable()) poster.join();
    ASSERT_EQ(IDOK, r);
    std::cout << "busy idle: " << wall << " ms wall, " << cpu * 1000 << " ms processor, " << dlg.idleCalls.size()
              << " idle calls" << std::endl;
    EXPECT_LT(cpu, 0.3) << "the loop spins";
    EXPECT_GE(dlg.idleCalls.size(), 20u) << "idle calls stopped coming";
    EXPECT_LT(dlg.idleCalls.size(), 1000u) << "no wait between idle calls";
    ExpectWellFormed(dlg.idleCalls);
}

// Idle work that waits for its own work (here 2 ms each call) asks to be
// called again at once: the loop adds no pause of its own, so the calls come
// several times as often as with the pause, and messages still get through.
TEST(ModalLoop, IdleThatWaitsByItselfIsCalledAgainAtOnce) {
    CLoopDlg dlg;
    dlg.idle = [](CLoopDlg&, LONG) -> LRESULT {
        MsgWaitForMultipleObjectsEx(0, nullptr, 2, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        return kIdleAgainAtOnce;
    };
    dlg.app = [](CLoopDlg& d, WPARAM, LPARAM) { d.EndDialog(IDOK); };
    std::thread poster;
    dlg.init = [&](CLoopDlg& d) {
        HWND h = d.m_hWnd;
        poster = std::thread([h] {
            Sleep(500);
            PostMessageW(h, WM_APP, 1, 2);
        });
    };
    INT_PTR r = dlg.DoModal();
    if (poster.joinable()) poster.join();
    ASSERT_EQ(IDOK, r);
    // 500 ms of 2 ms waits: about 250 calls; with the loop's 10 ms pause at most 42.
    EXPECT_GT(dlg.idleCalls.size(), 100u);
    ExpectWellFormed(dlg.idleCalls);
}

namespace {

class CLoopApp : public CWinApp {
public:
    CLoopApp() : CWinApp(L"Schleife") {}
    std::vector<LONG> counts;
    BOOL OnIdle(LONG count) override {
        counts.push_back(count);
        if (count < 3) return TRUE;
        ::PostQuitMessage(5);
        return FALSE;
    }
    int ExitInstance() override { return 17; }
};

}  // namespace

TEST(AppLoop, RunSharesTheLoopUntilQuit) {
    CLoopApp app;
    EXPECT_EQ(17, app.Run());
    ASSERT_GE(app.counts.size(), 4u);
    std::vector<LONG> tail(app.counts.end() - 4, app.counts.end());
    EXPECT_EQ((std::vector<LONG>{0, 1, 2, 3}), tail);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit was taken by the loop";
}

TEST(AppLoop, IdleMessageTestLeavesOutMouseMovesAndTheCaretTimer) {
    const struct {
        UINT message;
        BOOL idle;
    } cases[] = {
        {WM_MOUSEMOVE, FALSE}, {WM_NCMOUSEMOVE, FALSE}, {WM_SYSTIMER, FALSE}, {WM_TIMER, TRUE},
        {WM_KEYDOWN, TRUE},    {WM_COMMAND, TRUE},      {WM_APP, TRUE},
    };
    for (const auto& c : cases) {
        MSG msg = {};
        msg.message = c.message;
        EXPECT_EQ(c.idle, IsIdleMessage(msg)) << std::hex << c.message;
    }
}
