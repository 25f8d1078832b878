// Balloon note on a plain window of the test under Xvfb, with real input.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "editor/balloon_msg.h"
#include "resources/varnel_srv_ids.h"
#include "framework/Seams.h"
#include "tests/send_input.h"

namespace {

HWND g_wnd, g_anchor;
HHOOK g_myKeyHook, g_myMouseHook;
int g_keysSeen[256];
int g_buttonsSeen;

void Pump(DWORD ms) {
    DWORD end = GetTickCount() + ms;
    do {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        Sleep(5);
    } while ((LONG)(GetTickCount() - end) < 0);
}

LRESULT CALLBACK MyKeys(int code, WPARAM wp, LPARAM lp) {
    if (code >= 0 && !(lp & 0x80000000) && wp < 256) ++g_keysSeen[wp];
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK MyMouse(int code, WPARAM wp, LPARAM lp) {
    if (code >= 0 && wp == WM_LBUTTONDOWN) ++g_buttonsSeen;
    return CallNextHookEx(nullptr, code, wp, lp);
}

void Key(WORD vk) {
    krvtest::Key(vk);
    Pump(150);
}

void ClickAt(int x, int y) {
    SetCursorPos(x, y);
    Pump(50);
    krvtest::LeftClick();
    Pump(150);
}

class SrvBalloon : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitCommonControls();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"SrvBalloonHost";
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        RegisterClassW(&wc);
        g_wnd = CreateWindowExW(0, L"SrvBalloonHost", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 500, 300,
                                nullptr, nullptr, wc.hInstance, nullptr);
        g_anchor = CreateWindowExW(0, L"BUTTON", L"Save", WS_CHILD | WS_VISIBLE, 20, 20, 80, 24, g_wnd, nullptr,
                                   wc.hInstance, nullptr);
        g_myKeyHook = SetWindowsHookExW(WH_KEYBOARD, MyKeys, nullptr, GetCurrentThreadId());
        g_myMouseHook = SetWindowsHookExW(WH_MOUSE, MyMouse, nullptr, GetCurrentThreadId());
        Pump(200);
    }
    static void TearDownTestSuite() {
        XBalloonMsg::Close();
        UnhookWindowsHookEx(g_myKeyHook);
        UnhookWindowsHookEx(g_myMouseHook);
        DestroyWindow(g_wnd);
    }
    void SetUp() override {
        SetForegroundWindow(g_wnd);
        SetFocus(g_wnd);
        Pump(50);
        memset(g_keysSeen, 0, sizeof g_keysSeen);
        g_buttonsSeen = 0;
    }
    void TearDown() override {
        XBalloonMsg::Close();
        Pump(50);
    }
    void ShowPlain(UINT autoClose = 0, BOOL subclass = FALSE) {
        XBalloonMsg::Show(L"Titel", L"Nachricht", g_anchor, g_wnd, GetModuleHandleW(nullptr), TTI_INFO, TRUE, autoClose,
                          nullptr, subclass);
        Pump(100);
    }
};

}  // namespace

TEST_F(SrvBalloon, ShowsATrackingBalloonOwnedByTheParent) {
    ShowPlain();
    ASSERT_TRUE(XBalloonMsg::IsShown());
    HWND tip = XBalloonMsg::GetTooltipWindow();
    wchar_t cls[64];
    GetClassNameW(tip, cls, 64);
    EXPECT_STREQ(L"tooltips_class32", cls);
    EXPECT_EQ(g_wnd, GetWindow(tip, GW_OWNER));
    LONG style = GetWindowLongW(tip, GWL_STYLE);
    EXPECT_TRUE(style & TTS_BALLOON);
    EXPECT_TRUE(style & TTS_NOPREFIX);
    EXPECT_TRUE(IsWindowVisible(tip));
    EXPECT_STREQ(L"Titel", XBalloonMsg::GetTitleText());
    EXPECT_STREQ(L"Nachricht", XBalloonMsg::GetMessageText());
}

TEST_F(SrvBalloon, KeysThatCloseAndKeysThatPass) {
    struct {
        WORD vk;
        bool stays;
        bool passed;
    } cases[] = {
        {VK_ESCAPE, false, false}, {VK_RETURN, false, false}, {VK_TAB, false, false}, {VK_LEFT, false, false},
        {VK_F1, false, false},     {VK_F5, false, false},     {'A', false, true},     {'7', false, true},
        {VK_SHIFT, true, true},    {VK_CONTROL, true, true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.vk);
        ShowPlain();
        ASSERT_TRUE(XBalloonMsg::IsShown());
        memset(g_keysSeen, 0, sizeof g_keysSeen);
        Key(c.vk);
        EXPECT_EQ(c.stays, XBalloonMsg::IsShown() != FALSE);
        EXPECT_EQ(c.passed, g_keysSeen[c.vk] > 0);
        XBalloonMsg::Close();
        Pump(50);
    }
}

TEST_F(SrvBalloon, AClickClosesAndIsPassedOn) {
    ShowPlain();
    ASSERT_TRUE(XBalloonMsg::IsShown());
    RECT r;
    GetWindowRect(g_wnd, &r);
    ClickAt(r.left + 300, r.top + 200);
    EXPECT_FALSE(XBalloonMsg::IsShown());
    EXPECT_EQ(1, g_buttonsSeen);
}

TEST_F(SrvBalloon, ASecondNoteReplacesTheFirst) {
    ShowPlain();
    HWND first = XBalloonMsg::GetTooltipWindow();
    XBalloonMsg::Show(L"Zwei", L"Zweite", g_anchor, g_wnd, GetModuleHandleW(nullptr));
    Pump(100);
    EXPECT_FALSE(IsWindow(first));
    ASSERT_TRUE(XBalloonMsg::IsShown());
    EXPECT_NE(first, XBalloonMsg::GetTooltipWindow());
    EXPECT_STREQ(L"Zweite", XBalloonMsg::GetMessageText());
}

TEST_F(SrvBalloon, LongTextsAreCut) {
    std::wstring msg(5000, L'm'), title(600, L't');
    XBalloonMsg::Show(title.c_str(), msg.c_str(), g_anchor, g_wnd, GetModuleHandleW(nullptr));
    Pump(100);
    EXPECT_EQ(3998u, wcslen(XBalloonMsg::GetMessageText()));
    EXPECT_EQ(498u, wcslen(XBalloonMsg::GetTitleText()));
}

TEST_F(SrvBalloon, TextsFromIdsAndTheModuleName) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    XBalloonMsg::Show(MAKEINTRESOURCEW(IDS_SRV_SAVED_TITLE), MAKEINTRESOURCEW(IDS_SRV_RELOAD_ACCEPTED), g_anchor, g_wnd,
                      inst);
    Pump(100);
    EXPECT_STREQ(L"Konfigurationsdaten gespeichert", XBalloonMsg::GetTitleText());
    EXPECT_STREQ(L"Der OPC-Server hat die neuen Konfigurationsdaten übernommen.", XBalloonMsg::GetMessageText());
    XBalloonMsg::Show(XBALLOON_MODULE_TITLE, L"x", g_anchor, g_wnd, inst);
    Pump(100);
    EXPECT_STREQ(L"balloon_test", XBalloonMsg::GetTitleText());
    XBalloonMsg::Show(nullptr, L"x", g_anchor, g_wnd, inst);
    Pump(100);
    EXPECT_STREQ(L"", XBalloonMsg::GetTitleText());
    EXPECT_TRUE(XBalloonMsg::IsShown());
}

TEST_F(SrvBalloon, NothingWithoutWindowsOrText) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    XBalloonMsg::Show(L"t", L"m", nullptr, g_wnd, inst);
    XBalloonMsg::Show(L"t", L"m", g_anchor, (HWND)(UINT_PTR)0x7ff0, inst);
    XBalloonMsg::Show(L"t", nullptr, g_anchor, g_wnd, inst);
    XBalloonMsg::Show(L"t", L"", g_anchor, g_wnd, inst);
    XBalloonMsg::Show(L"t", MAKEINTRESOURCEW(9999), g_anchor, g_wnd, inst);  // no such string
    Pump(100);
    EXPECT_FALSE(XBalloonMsg::IsShown());
    EXPECT_EQ(nullptr, FindWindowW(L"XBalloonMsg", nullptr));
}

TEST_F(SrvBalloon, AutoCloseAfterItsSeconds) {
    ShowPlain(1);
    ASSERT_TRUE(XBalloonMsg::IsShown());
    Pump(600);
    EXPECT_TRUE(XBalloonMsg::IsShown());
    Pump(900);
    EXPECT_FALSE(XBalloonMsg::IsShown());
}

TEST_F(SrvBalloon, WithoutAutoCloseItStays) {
    ShowPlain(0);
    Pump(1500);
    EXPECT_TRUE(XBalloonMsg::IsShown());
}

TEST_F(SrvBalloon, SubclassedParentKeepsWorkingAndIsRestored) {
    LONG_PTR before = GetWindowLongPtrW(g_wnd, GWLP_WNDPROC);
    ShowPlain(0, TRUE);
    ASSERT_TRUE(XBalloonMsg::IsShown());
    EXPECT_NE(before, GetWindowLongPtrW(g_wnd, GWLP_WNDPROC));
    // The parent still answers its own messages.
    wchar_t text[32];
    EXPECT_EQ(4, (int)SendMessageW(g_wnd, WM_GETTEXT, 32, (LPARAM)text));
    // A scroll message to the parent closes the note and puts its procedure back.
    SendMessageW(g_wnd, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_FALSE(XBalloonMsg::IsShown());
    EXPECT_EQ(before, GetWindowLongPtrW(g_wnd, GWLP_WNDPROC));
}

TEST_F(SrvBalloon, UserSettingOffGivesARectangularTipAtTheAnchor) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    DWORD zero = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"EnableBalloonTips", 0, REG_DWORD, (BYTE*)&zero, sizeof zero));
    EXPECT_FALSE(XBalloonMsg::IsBalloonTipsEnabled());
    ShowPlain();
    ASSERT_TRUE(XBalloonMsg::IsShown());
    HWND tip = XBalloonMsg::GetTooltipWindow();
    EXPECT_FALSE(GetWindowLongW(tip, GWL_STYLE) & TTS_BALLOON);
    RECT a, t;
    GetWindowRect(g_anchor, &a);
    GetWindowRect(tip, &t);
    EXPECT_NEAR(a.left, t.left, 4);
    EXPECT_NEAR(a.bottom, t.top, 4);
    DWORD one = 1;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"EnableBalloonTips", 0, REG_DWORD, (BYTE*)&one, sizeof one));
    EXPECT_TRUE(XBalloonMsg::IsBalloonTipsEnabled());
    RegDeleteValueW(key, L"EnableBalloonTips");
    EXPECT_TRUE(XBalloonMsg::IsBalloonTipsEnabled());
    RegCloseKey(key);
}

namespace {
HWND g_boxSeen, g_boxOwner;
BOOL CALLBACK FindBox(HWND h, LPARAM lp) {
    wchar_t cls[16] = {0};
    GetClassNameW(h, cls, 16);
    if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(h)) {
        *(HWND*)lp = h;
        return FALSE;
    }
    return TRUE;
}
void CALLBACK AnswerBox(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, (LPARAM)&box);
    if (!box) return;
    KillTimer(nullptr, id);
    g_boxSeen = box;
    g_boxOwner = GetWindow(box, GW_OWNER);
    SetForegroundWindow(box);
    // Real input: the balloon's hooks close the note, the box takes the key.
    krvtest::Key('N');
}
}  // namespace

// A question raised while a note shows: owned by the window, not by the
// note's popup, so closing the note on the answering key keeps the box.
TEST_F(SrvBalloon, ABoxWhileANoteShowsIsAnswered) {
    ShowPlain();
    ASSERT_TRUE(XBalloonMsg::IsShown());
    HWND owner = GetLastActivePopup(g_wnd);
    g_boxSeen = g_boxOwner = nullptr;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, AnswerBox);
    int answer = KrvMessageBox(owner, L"Speichern?", L"Varnel", MB_YESNO);
    KillTimer(nullptr, timer);
    EXPECT_NE(nullptr, g_boxSeen);
    EXPECT_EQ(g_wnd, g_boxOwner);
    EXPECT_EQ(IDNO, answer);
    EXPECT_FALSE(XBalloonMsg::IsShown());
}
