// The modal windows of the editing shell in this process: the real frame
// with its toolbar, the view, the store and the program's own resources and
// dialogs; a real balloon note at the Save button, shown by saving the
// active configuration while no server runs.
#include "editor/doc.h"
#include "editor/view.h"
#include "editor/main_frame.h"
#include "editor/about_dlg.h"
#include "editor/balloon_msg.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "framework/Seams.h"
#include "tests/dialog_fixture.h"
#include "tests/screen_bmp.h"
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

namespace {

CWinApp& App() {
    static CWinApp app(L"Varnel");
    return app;
}

// What the probe saw of the modal window that an action opened.
struct Probe {
    HWND window = nullptr;  // the visible, enabled dialog window of this thread
    HWND owner = nullptr;
    RECT rect = {};
    bool survived = false;  // still shown after the balloon closed
    bool gaveUp = false;
    int phase = 0;
    int ticks = 0;
};
Probe g_probe;
// Where the probe saves a picture of the screen with the window, if anywhere.
std::wstring g_shotPath;

BOOL CALLBACK FindModal(HWND w, LPARAM) {
    if (dlgtest::ClassOf(w) == L"#32770" && IsWindowVisible(w) && IsWindowEnabled(w)) {
        g_probe.window = w;
        return FALSE;
    }
    return TRUE;
}

// Runs inside the modal window's own loop: finds the window, closes the
// balloon as the user's first click would, looks again, then cancels it.
void CALLBACK ProbeTick(HWND, UINT, UINT_PTR, DWORD) {
    Probe& p = g_probe;
    if (p.phase >= 2) return;
    if (++p.ticks > 200) {
        // never found, or lost: end the run that waits for it
        p.gaveUp = true;
        p.phase = 2;
        PostQuitMessage(0);
        return;
    }
    if (p.phase == 0) {
        EnumThreadWindows(GetCurrentThreadId(), FindModal, 0);
        if (!p.window) return;
        p.owner = GetWindow(p.window, GW_OWNER);
        GetWindowRect(p.window, &p.rect);
        XBalloonMsg::Close();
        p.phase = 1;
    } else {
        p.survived = IsWindow(p.window) && IsWindowVisible(p.window);
        p.phase = 2;
        if (p.survived && !g_shotPath.empty()) {
            RedrawWindow(p.window, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            krvtest::SaveScreenBmp(g_shotPath);
        }
        if (p.survived)
            PostMessageW(p.window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        else
            PostQuitMessage(0);
    }
}

struct ShellDialogs : ::testing::Test {
    static CSingleDocTemplate* tmpl;
    static void SetUpTestSuite() {
        CString::SetResourceModule(GetModuleHandleW(nullptr));
        App();
        tmpl = new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CTamselDoc), RUNTIME_CLASS(CMainFrame),
                                      RUNTIME_CLASS(CTamselView));
        App().AddDocTemplate(tmpl);
    }
    void TearDown() override {
        XBalloonMsg::Close();
        SetMessageBoxHook(nullptr);
        Pump();
    }

    CTamselDoc* Doc() { return static_cast<CTamselDoc*>(tmpl->GetOnlyDocument()); }
    CTamselView* View() { return static_cast<CTamselView*>(Doc()->GetFirstView()); }
    CListCtrl& List() { return View()->GetListCtrl(); }
    HWND Frame() { return AfxGetMainWnd() ? AfxGetMainWnd()->m_hWnd : nullptr; }
    static void Pump() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) continue;  // one a probe posted
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    void Select(int row) {
        View()->DeselectAll();
        List().SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    int RowOfType(int type) {
        for (int r = 0; r < List().GetItemCount(); ++r)
            if (View()->GetRowDevice(r)->DeviceType == type) return r;
        return -1;
    }

    // The active configuration with a device of every kind, shown in a
    // frame of a known place and size.
    void OpenActiveWithEveryKind() {
        const wchar_t* active = theCfgStore.GetActivePath();
        {
            CCfgStore s(active);
            s.EnsureGlobalDevice();
            const struct {
                const wchar_t* name;
                int type;
            } devs[] = {{L"Box1", kTypeIoBox},        {L"Net1", 6},
                        {L"Com1", kTypeSerialServer}, {L"Trcv1", kTypeTransceiver},
                        {L"EnO1", kTypePushButton},   {L"Rfid1", kTypeRfidReader}};
            for (auto& d : devs) {
                CDeviceCfg* rec = new CDeviceCfg(d.name, d.type);
                if (d.type == kTypePushButton) rec->TargetHost = L"Trcv1";
                s.AddDevice(rec);
            }
            ASSERT_TRUE(s.Save(active));
        }
        if (Doc()) Doc()->SetModifiedFlag(FALSE);
        ASSERT_TRUE(tmpl->OpenDocumentFile(active));
        ASSERT_TRUE(Frame());
        SetWindowPos(Frame(), nullptr, 120, 90, 900, 640, SWP_NOZORDER);
        ShowWindow(Frame(), SW_SHOW);
        SetForegroundWindow(Frame());
        Pump();
        ASSERT_EQ(7, List().GetItemCount());
    }

    // Saves the active configuration with no server running: the balloon
    // "Konfigurationsdaten gespeichert" at the Save button.
    void SaveActiveForTheBalloon() {
        SetMessageBoxHook([](const wchar_t*, UINT) { return IDOK; });
        Doc()->SetModifiedFlag(TRUE);
        Doc()->OnCmdMsg(ID_FILE_SAVE_ACTIVE, nullptr);
        SetMessageBoxHook(nullptr);
        Pump();
    }

    // The action run while the balloon shows, with the probe in its loop.
    Probe OpenWhileBalloonShows(const std::function<void()>& open) {
        SaveActiveForTheBalloon();
        EXPECT_TRUE(XBalloonMsg::IsShown());
        g_probe = Probe();
        UINT_PTR timer = SetTimer(nullptr, 0, 50, ProbeTick);
        open();
        KillTimer(nullptr, timer);
        Pump();
        return g_probe;
    }
};
CSingleDocTemplate* ShellDialogs::tmpl = nullptr;

}  // namespace

// Every modal window opened while the balloon of a save shows is owned by
// the frame, not by the balloon's popup, and stays when the balloon closes.
TEST_F(ShellDialogs, ModalWindowsOpenedWhileABalloonShowsStay) {
    OpenActiveWithEveryKind();
    SaveActiveForTheBalloon();
    ASSERT_TRUE(XBalloonMsg::IsShown());
    // the popup a plain owner rule would take
    EXPECT_EQ(L"XBalloonMsg", dlgtest::ClassOf(GetLastActivePopup(Frame())));
    XBalloonMsg::Close();

    struct Case {
        const char* what;
        std::function<void()> open;
        bool ours;  // a dialog of the framework, which places it
    };
    auto properties = [this](int type) {
        return [this, type] {
            int row = RowOfType(type);
            ASSERT_GE(row, 0);
            Select(row);
            View()->OnCmdMsg(ID_DEVICE_PROPERTIES, nullptr);
        };
    };
    const Case cases[] = {
        {"global options", properties(kTypeGlobal), true},
        {"I/O device", properties(kTypeIoBox), true},
        {"network I/O device", properties(6), true},
        {"serial device", properties(kTypeSerialServer), true},
        {"transceiver", properties(kTypeTransceiver), true},
        {"radio module", properties(kTypePushButton), true},
        {"RFID reader", properties(kTypeRfidReader), true},
        {"new serial device", [this] { View()->OnCmdMsg(ID_DEVICE_NEW_SERIAL, nullptr); }, true},
        {"timing",
         [this] {
             Select(RowOfType(kTypeIoBox));
             View()->OnCmdMsg(ID_DEVICE_TIMING, nullptr);
         },
         true},
        {"item names",
         [this] {
             Select(RowOfType(kTypeIoBox));
             View()->OnCmdMsg(ID_DEVICE_ITEM_NAMES, nullptr);
         },
         true},
        {"about box", [this] { RunAboutBox(AfxGetMainWnd()); }, true},
        {"message box", [] { EXPECT_EQ(IDCANCEL, AfxMessageBox(L"Weiter?", MB_OKCANCEL)); }, false},
        {"view's message box", [this] { EXPECT_EQ(IDCANCEL, View()->MessageBox(L"Weiter?", nullptr, MB_OKCANCEL)); },
         false},
        {"save as", [this] { Doc()->OnCmdMsg(ID_FILE_SAVE_AS, nullptr); }, false},
    };
    wchar_t shots[MAX_PATH] = {};
    GetEnvironmentVariableW(L"KRV_SCREENSHOT_DIR", shots, MAX_PATH);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_shotPath = shots[0] && std::string(c.what) == "item names" ? std::wstring(shots) + L"\\item_names.bmp" : L"";
        Probe p = OpenWhileBalloonShows(c.open);
        EXPECT_TRUE(p.window) << "never shown";
        EXPECT_EQ(Frame(), p.owner);
        EXPECT_TRUE(p.survived) << "gone with the balloon";
        EXPECT_FALSE(p.gaveUp);
        EXPECT_FALSE(IsWindow(p.window)) << "still there after its run";
        EXPECT_TRUE(IsWindowEnabled(Frame()));
        if (c.ours) {
            // centred over the frame (which leaves room for each)
            RECT f;
            GetWindowRect(Frame(), &f);
            EXPECT_LE(abs((p.rect.left + p.rect.right) - (f.left + f.right)), 1) << p.rect.left << "," << p.rect.top;
            EXPECT_LE(abs((p.rect.top + p.rect.bottom) - (f.top + f.bottom)), 1) << p.rect.left << "," << p.rect.top;
        }
    }
    g_shotPath.clear();
    EXPECT_EQ(7, List().GetItemCount());
}
