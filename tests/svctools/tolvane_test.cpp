// Tolvane's dialog against a real service of ours in Wine's service control
// manager, and the whole program once.
#include "svc_fixture.h"
#include <algorithm>

using namespace svctest;

namespace {

std::wstring ToolExe() {
    std::string unixPath = KRV_TOOL_EXE;
    std::wstring p = L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
    std::replace(p.begin(), p.end(), L'/', L'\\');
    return p;
}

class TolvaneService : public ::testing::Test {
protected:
    TolvaneService() : svc(UniqueName(L"KrvTolvane"), L"Krv Tolvane Test Server") {}
    void SetUp() override { ASSERT_TRUE(svc.Ok()) << "CreateServiceW failed: " << svc.Error(); }
    TestService svc;
    Recorder rec;
};

}  // namespace

TEST(ServiceName, FromCommandLine) {
    struct Case {
        const wchar_t* line;
        std::wstring name;
    } cases[] = {
        {nullptr, L"Ostrel"},           {L"", L"Ostrel"},
        {L"Ostrel", L"Ostrel"},         {L"\"Ostrel\"", L"\"Ostrel\""},  // quotes are part of the name
        {L"Ostrel  ", L"Ostrel  "},                                      // so are trailing blanks
        {L"My Service", L"My Service"},
    };
    for (const Case& c : cases) {
        wchar_t name[80];
        ServiceNameFromCommandLine(c.line, name);
        EXPECT_EQ(c.name, name) << (c.line ? c.line : L"(null)");
    }
    std::wstring longLine(100, L'x');
    longLine.replace(0, 3, L"abc");
    wchar_t name[80];
    ServiceNameFromCommandLine(longLine.c_str(), name);
    EXPECT_EQ(longLine.substr(0, 79), name);
}

TEST_F(TolvaneService, CaptionShowsDisplayNameAndFieldsWaitForFirstTick) {
    OpenDialog d(svc.Name());
    ASSERT_TRUE(d.hwnd);
    EXPECT_EQ(L"Service: Krv Tolvane Test Server", WindowText(d.hwnd));
    EXPECT_EQ(L"", d.Status());
    EXPECT_EQ(L"", d.Code());
    // The real poll timer shows the state within about 500 ms.
    EXPECT_TRUE(d.WaitStatus(L"STOPPED", 3000));
    EXPECT_TRUE(Enabled(d.hwnd, IDC_START));
    EXPECT_FALSE(Enabled(d.hwnd, IDC_STOP));
    EXPECT_EQ(L"", d.Code());
}

TEST_F(TolvaneService, StartAndStopPassThroughPendingStates) {
    OpenDialog d(svc.Name());
    ShowWindow(d.hwnd, SW_SHOW);
    SetForegroundWindow(d.hwnd);
    d.Tick();
    ASSERT_EQ(L"STOPPED", d.Status());
    SetFocus(GetDlgItem(d.hwnd, IDC_START));
    ASSERT_EQ(GetDlgItem(d.hwnd, IDC_START), GetFocus());

    d.Command(IDC_START);
    EXPECT_EQ(L"START_PENDING", d.Status());  // shown at once, not at the next tick
    EXPECT_FALSE(Enabled(d.hwnd, IDC_START));
    EXPECT_FALSE(Enabled(d.hwnd, IDC_STOP));
    // The focus left Start for the previous control in tab order.
    EXPECT_EQ(GetDlgItem(d.hwnd, IDC_ERRORCODE), GetFocus());

    ASSERT_TRUE(d.WaitStatus(L"RUNNING"));
    EXPECT_FALSE(Enabled(d.hwnd, IDC_START));
    EXPECT_TRUE(Enabled(d.hwnd, IDC_STOP));

    d.Command(IDC_STOP);
    EXPECT_EQ(L"STOP_PENDING", d.Status());
    EXPECT_FALSE(Enabled(d.hwnd, IDC_START));
    EXPECT_FALSE(Enabled(d.hwnd, IDC_STOP));
    ASSERT_TRUE(d.WaitStatus(L"STOPPED"));
    EXPECT_TRUE(Enabled(d.hwnd, IDC_START));
    EXPECT_FALSE(Enabled(d.hwnd, IDC_STOP));
    EXPECT_TRUE(rec.Beeps().empty());
}

TEST_F(TolvaneService, PauseStatesDisableBothButtons) {
    ASSERT_TRUE(svc.Start());
    ASSERT_TRUE(svc.WaitState(SERVICE_RUNNING));
    OpenDialog d(svc.Name());
    d.Tick();
    ASSERT_EQ(L"RUNNING", d.Status());

    ASSERT_TRUE(svc.Control(SERVICE_CONTROL_PAUSE));
    d.Tick();
    EXPECT_EQ(L"PAUSE_PENDING", d.Status());
    EXPECT_FALSE(Enabled(d.hwnd, IDC_START));
    EXPECT_FALSE(Enabled(d.hwnd, IDC_STOP));
    ASSERT_TRUE(d.WaitStatus(L"PAUSED"));
    EXPECT_FALSE(Enabled(d.hwnd, IDC_START));
    EXPECT_FALSE(Enabled(d.hwnd, IDC_STOP));

    ASSERT_TRUE(svc.Control(SERVICE_CONTROL_CONTINUE));
    d.Tick();
    EXPECT_EQ(L"CONTINUE_PENDING", d.Status());
    ASSERT_TRUE(d.WaitStatus(L"RUNNING"));
    EXPECT_TRUE(Enabled(d.hwnd, IDC_STOP));
}

TEST_F(TolvaneService, FailedStartKeepsItsErrorUntilTheStateChanges) {
    ASSERT_TRUE(svc.Start());
    ASSERT_TRUE(svc.WaitState(SERVICE_RUNNING));
    OpenDialog d(svc.Name());
    d.Tick();
    ASSERT_EQ(L"RUNNING", d.Status());

    d.Command(IDC_START);  // already running: the system refuses
    EXPECT_EQ(L"1056", d.Code());
    EXPECT_EQ(SystemText(1056), d.Status());
    EXPECT_NE(L"", d.Status());
    d.Tick();
    d.Tick();
    EXPECT_EQ(L"1056", d.Code());
    EXPECT_EQ(SystemText(1056), d.Status());

    ASSERT_TRUE(svc.Control(SERVICE_CONTROL_STOP));
    d.Tick();
    EXPECT_EQ(L"STOP_PENDING", d.Status());
    EXPECT_EQ(L"", d.Code());
}

TEST_F(TolvaneService, RefusedStopOnlyBeeps) {
    OpenDialog d(svc.Name());
    d.Tick();
    ASSERT_EQ(L"STOPPED", d.Status());
    d.Command(IDC_STOP);
    ASSERT_EQ(1u, rec.Beeps().size());
    EXPECT_EQ((UINT)MB_ICONEXCLAMATION, rec.Beeps()[0]);
    EXPECT_EQ(L"STOPPED", d.Status());
    EXPECT_EQ(L"", d.Code());
}

TEST(TolvaneUnknown, ServiceErrorShownAndOpenRetried) {
    Recorder rec;
    std::wstring name = UniqueName(L"KrvLater");
    OpenDialog d(name);
    EXPECT_EQ(L"Service: " + name, WindowText(d.hwnd));
    d.Tick();
    EXPECT_EQ(std::to_wstring(ERROR_SERVICE_DOES_NOT_EXIST), d.Code());
    EXPECT_EQ(SystemText(ERROR_SERVICE_DOES_NOT_EXIST), d.Status());
    EXPECT_NE(L"", d.Status());
    EXPECT_FALSE(Enabled(d.hwnd, IDC_START));
    EXPECT_FALSE(Enabled(d.hwnd, IDC_STOP));
    // Fields change only with the state.
    SetDlgItemTextW(d.hwnd, IDC_STATUS, L"mark");
    d.Tick();
    EXPECT_EQ(L"mark", d.Status());

    // Installed meanwhile: the next tick opens it.
    TestService svc(name, L"Installed Later");
    ASSERT_TRUE(svc.Ok());
    d.Tick();
    EXPECT_EQ(L"STOPPED", d.Status());
    EXPECT_EQ(L"", d.Code());
    EXPECT_TRUE(Enabled(d.hwnd, IDC_START));
}

TEST(TolvaneUnknown, QuotesAndBlanksNameAnotherService) {
    TestService svc(UniqueName(L"KrvQuoted"), L"Quoted");
    ASSERT_TRUE(svc.Ok());
    for (std::wstring name : {L"\"" + svc.Name() + L"\"", svc.Name() + L"  "}) {
        OpenDialog d(name);
        d.Tick();
        EXPECT_NE(L"", d.Code()) << name;
        EXPECT_NE(L"0", d.Code()) << name;
        EXPECT_EQ(SystemText(std::stoul(d.Code())), d.Status()) << name;
        EXPECT_FALSE(Enabled(d.hwnd, IDC_START));
    }
}

TEST(TolvaneService2, HandlesClosedOnce) {
    TestService svc(UniqueName(L"KrvHandles"), L"Handles");
    ASSERT_TRUE(svc.Ok());
    CService s(svc.Name().c_str());
    ASSERT_TRUE(s.Open());
    SC_HANDLE service = s.m_hService;
    s.Close();
    EXPECT_EQ(nullptr, s.m_hService);
    EXPECT_EQ(nullptr, s.m_hManager);
    // Closed for real; the destructor finds nothing left to close.
    SetLastError(0);
    EXPECT_FALSE(CloseServiceHandle(service));
    // Reopened on the next need.
    EXPECT_EQ((DWORD)SERVICE_STOPPED, s.QueryState());
}

// The dispatching of the tools' dialog classes.
namespace {
struct ProbeDlg : CDialog {
    ProbeDlg() : CDialog(nullptr, IDD_CONTROL) {}
    ~ProbeDlg() override { ++destroyed; }
    BOOL OnInitDialog() override { return FALSE; }
    INT_PTR OnTimer(UINT_PTR id) override { return (INT_PTR)id + 1; }
    INT_PTR OnUserMessage(WPARAM w, LPARAM l) override { return (INT_PTR)(w + l); }
    BOOL OnNotify(NMHDR* h, LRESULT* result) override {
        *result = 55;
        return h->code == 7;
    }
    void OnCommand(UINT code, UINT id, HWND) override { lastCommand = MAKELONG(id, code); }
    void OnSysCommand(UINT command, int x, int y) override {
        lastSys = command;
        sysX = x;
        sysY = y;
    }
    void OnContextMenu(HWND, int x, int y) override {
        sysX = x;
        sysY = y;
    }
    static int destroyed;
    DWORD lastCommand = 0;
    UINT lastSys = 0;
    int sysX = 0, sysY = 0;
};
int ProbeDlg::destroyed = 0;
}  // namespace

TEST(DialogClasses, AnswersOfTheDialogProcedure) {
    ProbeDlg probe;
    HWND h = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CONTROL), nullptr, CDialog::DialogProc,
                                reinterpret_cast<LPARAM>(&probe));
    ASSERT_TRUE(h);
    EXPECT_EQ(h, probe.m_hWnd);
    EXPECT_EQ(0, probe.m_deleteOnDestroy);

    EXPECT_EQ(42, CDialog::DialogProc(h, WM_TIMER, 41, 0));
    EXPECT_EQ(9, CDialog::DialogProc(h, WM_APP, 4, 5));
    NMHDR hdr = {h, 1, 7};
    SetWindowLongPtrW(h, DWLP_MSGRESULT, 0);
    EXPECT_EQ(1, CDialog::DialogProc(h, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&hdr)));
    EXPECT_EQ(55, GetWindowLongPtrW(h, DWLP_MSGRESULT));
    hdr.code = 8;
    SetWindowLongPtrW(h, DWLP_MSGRESULT, 0);
    EXPECT_EQ(1, CDialog::DialogProc(h, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&hdr)));
    EXPECT_EQ(0, GetWindowLongPtrW(h, DWLP_MSGRESULT));
    EXPECT_EQ(1, CDialog::DialogProc(h, WM_CONTEXTMENU, 0, MAKELPARAM((WORD)-5, 6)));
    EXPECT_EQ(-5, probe.sysX);
    EXPECT_EQ(6, probe.sysY);
    EXPECT_EQ(0, CDialog::DialogProc(h, WM_COMMAND, MAKEWPARAM(1000, 3), 0));
    EXPECT_EQ((DWORD)MAKELONG(1000, 3), probe.lastCommand);
    EXPECT_EQ(0, CDialog::DialogProc(h, WM_SYSCOMMAND, SC_MOVE | 2, MAKELPARAM(10, (WORD)-20)));
    EXPECT_EQ((UINT)SC_MOVE, probe.lastSys);
    EXPECT_EQ(-20, probe.sysY);
    EXPECT_EQ(0, CDialog::DialogProc(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x")));

    // A window without a bound object is answered 0 without dispatching.
    SetWindowLongPtrW(h, DWLP_USER, 0);
    EXPECT_EQ(0, CDialog::DialogProc(h, WM_TIMER, 41, 0));
    EXPECT_EQ(0, CDialog::DialogProc(h, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&hdr)));
    DestroyWindow(h);
    EXPECT_EQ(0, ProbeDlg::destroyed);
}

TEST(DialogClasses, DeleteOnDestroyDeletesTheObject) {
    ProbeDlg::destroyed = 0;
    ProbeDlg* probe = new ProbeDlg;
    HWND h = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CONTROL), nullptr, CDialog::DialogProc,
                                reinterpret_cast<LPARAM>(probe));
    ASSERT_TRUE(h);
    probe->m_deleteOnDestroy = 1;
    DestroyWindow(h);
    EXPECT_EQ(1, ProbeDlg::destroyed);
}

TEST(DialogClasses, HelpBeepsWithoutStringAndShowsPopupWithOne) {
    Recorder rec;
    OpenDialog d(L"KrvNoSuchService");
    RECT r;
    GetWindowRect(GetDlgItem(d.hwnd, IDC_STOP), &r);

    HELPINFO info = {sizeof info, HELPINFO_WINDOW, IDC_START, GetDlgItem(d.hwnd, IDC_START), 0, {0, 0}};
    SendMessageW(d.hwnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(1u, rec.Beeps().size());
    EXPECT_EQ((UINT)MB_ICONHAND, rec.Beeps()[0]);
    EXPECT_TRUE(rec.Popups().empty());

    // The test program's resources hold a help string for Stop.
    info.iCtrlId = IDC_STOP;
    info.hItemHandle = GetDlgItem(d.hwnd, IDC_STOP);
    info.MousePos = {r.right + 50, r.bottom + 50};
    SendMessageW(d.hwnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    info.MousePos = {r.left + 1, r.top + 1};
    SendMessageW(d.hwnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(1u, rec.Beeps().size());
    ASSERT_EQ(2u, rec.Popups().size());
    const HH_POPUP& outside = rec.Popups()[0].popup;
    EXPECT_EQ(d.hwnd, rec.Popups()[0].owner);
    EXPECT_EQ(L"Stops the service.", rec.Popups()[0].text);
    EXPECT_EQ((int)sizeof(HH_POPUP), outside.cbStruct);
    EXPECT_EQ(0u, outside.idString);
    EXPECT_EQ(r.left, outside.pt.x);
    EXPECT_EQ((r.top + r.bottom) / 2, outside.pt.y);
    EXPECT_EQ((COLORREF)-1, outside.clrForeground);
    EXPECT_EQ((COLORREF)-1, outside.clrBackground);
    EXPECT_EQ(10, outside.rcMargins.left);
    EXPECT_EQ(5, outside.rcMargins.top);
    EXPECT_EQ(10, outside.rcMargins.right);
    EXPECT_EQ(8, outside.rcMargins.bottom);
    EXPECT_EQ(nullptr, outside.pszFont);
    EXPECT_EQ(r.left + 1, rec.Popups()[1].popup.pt.x);
    EXPECT_EQ(r.top + 1, rec.Popups()[1].popup.pt.y);
}

TEST_F(TolvaneService, WholeProgram) {
    ToolProcess tool(ToolExe().c_str(), svc.Name());
    ASSERT_TRUE(tool.hwnd) << "no dialog window";
    EXPECT_EQ(L"Service: Krv Tolvane Test Server", WindowText(tool.hwnd));
    ASSERT_TRUE(tool.WaitItem(IDC_STATUS, L"STOPPED"));

    PostMessageW(tool.hwnd, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
    ASSERT_TRUE(tool.WaitItem(IDC_STATUS, L"RUNNING"));
    EXPECT_EQ((DWORD)SERVICE_RUNNING, svc.State());
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(tool.hwnd, IDC_STOP)));

    // Enter and Esc leave the dialog open.
    PostMessageW(tool.hwnd, WM_COMMAND, IDOK, 0);
    PostMessageW(tool.hwnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ((DWORD)STILL_ACTIVE, tool.WaitExit(1000));
    EXPECT_TRUE(IsWindow(tool.hwnd));

    PostMessageW(tool.hwnd, WM_COMMAND, MAKEWPARAM(IDC_STOP, BN_CLICKED), 0);
    ASSERT_TRUE(tool.WaitItem(IDC_STATUS, L"STOPPED"));

    PostMessageW(tool.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0u, tool.WaitExit());
}

TEST(TolvaneWhole, EmptyCommandLineMeansOstrel) {
    ToolProcess tool(ToolExe().c_str(), L"");
    ASSERT_TRUE(tool.hwnd);
    // Ostrel is not installed in the test prefix: its name stands in the caption.
    EXPECT_EQ(L"Service: Ostrel", WindowText(tool.hwnd));
    ASSERT_TRUE(tool.WaitItem(IDC_ERRORCODE, std::to_wstring(ERROR_SERVICE_DOES_NOT_EXIST)));
    PostMessageW(tool.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0u, tool.WaitExit());
}
