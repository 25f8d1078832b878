// Varnel.exe as a whole program under Wine: start-up cases, the device list,
// saving the active configuration with the server's pipe answering, the
// server commands and the programs Varnel starts.
#include "varnel_driver.h"
#include "../config/cfg_test_util.h"
#include "resources/varnel_ids.h"
#include "tests/send_input.h"
#include <gtest/gtest.h>

using namespace varnel;
using cfgtest::ReadBytes;
using cfgtest::WriteBytes;
using cfgtest::WriteProfile;

namespace {

std::wstring Quote(const std::wstring& s) { return L"\"" + s + L"\""; }

// The test's own pipe server: a program of its own that answers as the OPC
// server would and logs what it received.
class PipePeer {
public:
    PipePeer(const char* mode, const std::wstring& log) : m_log(log) {
        DeleteFileW(log.c_str());
        std::string m(mode);
        std::wstring cmd =
            Quote(WinePath(PIPE_PEER)) + L" " + std::wstring(m.begin(), m.end()) + L" " + Quote(log) + L" 1";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::vector<wchar_t> buf(cmd.begin(), cmd.end());
        buf.push_back(0);
        CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &m_pi);
        for (int i = 0; i < 200; ++i) {
            if (WaitNamedPipeW(L"\\\\.\\pipe\\Ostrel", 10) || GetLastError() != ERROR_FILE_NOT_FOUND) break;
            Sleep(20);
        }
    }
    ~PipePeer() {
        if (m_pi.hProcess) {
            TerminateProcess(m_pi.hProcess, 0);
            WaitForSingleObject(m_pi.hProcess, 5000);
            CloseHandle(m_pi.hProcess);
            CloseHandle(m_pi.hThread);
        }
    }
    std::string Received() const { return ReadBytes(m_log); }

private:
    std::wstring m_log;
    PROCESS_INFORMATION m_pi{};
};

// Keeps the prefix's active configuration as it was.
class VarnelRun : public ::testing::Test {
protected:
    KeptActive kept;
    std::wstring active = ActivePath();
    Program run;

    void SetUp() override {
        DeleteFileW(active.c_str());
        run.folder = PrepareProgramFolder();
    }
    std::wstring File(const wchar_t* name) { return run.folder + name; }

    void WriteActive(const std::wstring& text) { ASSERT_TRUE(varnel::WriteActive(text)); }
    void Close() {
        PostMessageW(run.Main(), WM_CLOSE, 0, 0);
        EXPECT_EQ(0, run.WaitExit());
    }
};

const wchar_t kThreeDevices[] =
    L"[OpcServer_Global]\r\nDeviceType=ffffffff\r\n"
    L"[A]\r\nDeviceType=4\r\nTargetHost=10.0.0.1\r\nBinaryPort=c001\r\nHttpPort=50\r\n"
    L"[B]\r\nDeviceType=0\r\nTargetHost=10.0.0.2\r\nBinaryPort=c001\r\nDisable=1\r\n"
    L"[C]\r\nDeviceType=8\r\nTargetHost=trcv\r\nBinaryPort=1f40\r\nMinIntervalTicks=5\r\nMaxIdleTicks=19\r\n";

TEST_F(VarnelRun, FirstStartCreatesTheActiveConfiguration) {
    ASSERT_TRUE(run.Start(L""));
    ASSERT_TRUE(run.WaitWindow());
    EXPECT_NE(std::wstring::npos, run.Title().find(L"aktive Konfiguration")) << run.Title();
    ASSERT_EQ(1, run.Rows());
    EXPECT_EQ(L"", run.Cell(0, 1));
    EXPECT_EQ(L"allgemeine Optionen", run.Cell(0, 5));
    EXPECT_EQ(1, run.Image(0));
    cfgtest::Sections s = cfgtest::ParseProfile(active);
    ASSERT_EQ(1u, s.size());
    EXPECT_EQ(L"OpcServer_Global", s[0].first);
    EXPECT_TRUE(run.Boxes().empty());
    Close();
}

TEST_F(VarnelRun, ActivePathInOtherLettersIsTheActiveConfiguration) {
    WriteActive(kThreeDevices);
    std::wstring lower = active;
    for (auto& c : lower)
        if (c >= L'A' && c <= L'Z') c = (wchar_t)(c - L'A' + L'a');
    ASSERT_TRUE(run.Start(Quote(lower)));
    ASSERT_TRUE(run.WaitWindow());
    EXPECT_NE(std::wstring::npos, run.Title().find(L"aktive Konfiguration")) << run.Title();
    // the store's list order: the file's sections reversed
    ASSERT_EQ(4, run.Rows());
    EXPECT_EQ(L"C", run.Cell(0, 1));
    EXPECT_EQ(L"B", run.Cell(1, 1));
    EXPECT_EQ(L"A", run.Cell(2, 1));
    EXPECT_EQ(L"", run.Cell(3, 1));
    EXPECT_EQ(L"49153/80", run.Cell(2, 3));
    EXPECT_EQ(L"0.5 .. 2.5 s", run.Cell(0, 4));  // 0x19 tenths
    EXPECT_EQ(5, run.Image(1));                  // disabled I/O server
    EXPECT_EQ(8, run.Image(0));
    // for a look at the window: columns, images, umlauts, toolbar
    run.SelectOnly(2);
    SaveScreenshot(L"varnel_main.bmp");
    Close();
}

TEST_F(VarnelRun, StartFailuresEndTheProgramAfterTheirMessage) {
    struct Case {
        const char* name;
        std::string bytes;  // empty: no file
        const wchar_t* text;
        unsigned icon;
    } cases[] = {
        {"missing", "", L"wurde nicht gefunden.", MB_ICONEXCLAMATION},
        {"old format", "KRVD1\r\n4\t1\tbox\t5292033\t5\t1\t\t\t\t\r\n", L"Version 3 des OPC-Servers",
         MB_ICONINFORMATION},
        {"old format with analog sensor", "KRVD1\n17\t2\tx\t1\t1\t0\n", L"Lattix Analog-In", MB_ICONEXCLAMATION},
        {"no configuration", "just text\r\n", L"nicht dem erwarteten Format", MB_ICONEXCLAMATION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring path = File(L"start.ini");
        DeleteFileW(path.c_str());
        if (!c.bytes.empty()) WriteBytes(path, c.bytes);
        Program r;
        r.folder = run.folder;
        ASSERT_TRUE(r.Start(Quote(path), {"ok"}));
        EXPECT_EQ(0, r.WaitExit()) << "the program must end";
        auto boxes = r.Boxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_NE(std::wstring::npos, boxes[0].text.find(c.text)) << boxes[0].text.c_str();
        EXPECT_EQ(c.icon, boxes[0].flags & MB_ICONMASK);
    }
}

TEST_F(VarnelRun, ActiveConfigurationThatCannotBeReadIsLeftAlone) {
    WriteActive(kThreeDevices);
    std::string before = ReadBytes(active);
    // another program holds the file open without sharing
    HANDLE h = CreateFileW(active.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ASSERT_TRUE(run.Start(L"", {"ok"}));
    EXPECT_EQ(0, run.WaitExit()) << "a failed first open ends the program";
    CloseHandle(h);
    auto boxes = run.Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(std::wstring::npos, boxes[0].text.find(L"Fehlercode 32")) << boxes[0].text.c_str();
    EXPECT_EQ(before, ReadBytes(active));
}

TEST_F(VarnelRun, SaveActiveSendsTheReloadRequest) {
    WriteActive(kThreeDevices);
    ASSERT_TRUE(run.Start(L"", {"ok", "ok"}));
    ASSERT_TRUE(run.WaitWindow());
    struct Case {
        const char* mode;
        const wchar_t* box;  // nullptr: a balloon and no box
    } cases[] = {{"ok", nullptr}, {"refuse", L"abgelehnt"}, {"long", L"Fehlercode 234"}};
    size_t seen = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        PipePeer peer(c.mode, File(L"pipe.log"));
        run.SelectOnly(1);
        run.Command(ID_DEVICE_ENABLE);     // a change: saving is offered again
        run.Command(ID_FILE_SAVE_ACTIVE);  // the active configuration itself: no question
        EXPECT_EQ(std::string("RELOAD\r\n"), peer.Received());
        auto boxes = run.Boxes();
        if (c.box) {
            ASSERT_EQ(seen + 1, boxes.size());
            EXPECT_NE(std::wstring::npos, boxes[seen].text.find(c.box)) << boxes[seen].text.c_str();
            ++seen;
        } else {
            EXPECT_EQ(seen, boxes.size());
            EXPECT_TRUE(run.FindVisible(L"tooltips_class32")) << "balloon at the Save button";
        }
    }
    // the server is not running: a balloon, no box
    run.Command(ID_DEVICE_ENABLE);
    run.Command(ID_FILE_SAVE_ACTIVE);
    EXPECT_EQ(seen, run.Boxes().size());
    EXPECT_EQ(4u, cfgtest::ParseProfile(active).size());
    Close();
}

TEST_F(VarnelRun, ServerThatNeverAnswersIsReportedAfterTheWait) {
    WriteActive(kThreeDevices);
    ASSERT_TRUE(run.Start(L"", {"ok"}));
    ASSERT_TRUE(run.WaitWindow());
    PipePeer peer("silent", File(L"pipe.log"));
    run.SelectOnly(1);
    run.Command(ID_DEVICE_ENABLE);
    DWORD t0 = GetTickCount();
    run.Command(ID_FILE_SAVE_ACTIVE);
    DWORD took = GetTickCount() - t0;
    EXPECT_GE(took, 9000u);
    EXPECT_LT(took, 25000u);
    auto boxes = run.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, boxes[0].text.find(L"Fehlercode ")) << boxes[0].text.c_str();
    EXPECT_EQ((unsigned)MB_ICONSTOP, boxes[0].flags & MB_ICONMASK);
    Close();
}

TEST_F(VarnelRun, StopRequestAndStartedPrograms) {
    ASSERT_TRUE(run.Start(L"", {"ok", "ok", "ok", "ok", "cancel"}));
    ASSERT_TRUE(run.WaitWindow());
    {
        PipePeer peer("ok", File(L"pipe.log"));
        run.Command(ID_SERVICE_STOP);
        EXPECT_EQ(std::string("STOP\r\n\0\0", 8), peer.Received());
    }
    run.Command(ID_SERVICE_STOP);  // no server: message 218
    run.Command(ID_SERVICE_STOP);  // cancelled: nothing sent
    auto boxes = run.Boxes();
    ASSERT_EQ(5u, boxes.size());
    EXPECT_NE(std::wstring::npos, boxes[0].text.find(L"anhalten?"));
    EXPECT_NE(std::wstring::npos, boxes[1].text.find(L"heruntergefahren"));
    EXPECT_EQ((unsigned)MB_ICONINFORMATION, boxes[1].flags & MB_ICONMASK);
    EXPECT_NE(std::wstring::npos, boxes[3].text.find(L"nicht ausgeführt"));
    EXPECT_NE(std::wstring::npos, boxes[4].text.find(L"anhalten?"));

    run.Command(ID_SERVICE_CONTROL);
    run.Command(ID_DEMO_CLIENT);
    std::string tolvane, fennick;
    for (int i = 0; i < 200 && (tolvane.empty() || fennick.empty()); ++i, Sleep(50)) {
        tolvane = ReadBytes(File(L"Tolvane.exe.args"));
        fennick = ReadBytes(File(L"Fennick.exe.args"));
    }
    EXPECT_EQ("1\nOstrel\n", tolvane);
    EXPECT_EQ("0\n", fennick);

    // the manual: opened through HTML help with the program's help file
    run.Command(ID_HELP_MANUAL);
    std::string log = ReadBytes(File(L"boxes.log"));
    size_t at = log.find("HELP 0 0 ");
    ASSERT_NE(std::string::npos, at) << log;
    EXPECT_NE(std::string::npos, log.find("Varnel.chm", at)) << log.substr(at);
    Close();
}

TEST_F(VarnelRun, DeleteUndoEnableAndTheSavePrompt) {
    WriteActive(kThreeDevices);
    ASSERT_TRUE(run.Start(L"", {"no"}));
    ASSERT_TRUE(run.WaitWindow());
    ASSERT_EQ(4, run.Rows());
    EXPECT_FALSE(run.ButtonEnabled(ID_FILE_SAVE_ACTIVE));
    EXPECT_TRUE(run.ButtonEnabled(ID_EDIT_SELECT_ALL));
    // the global options row alone: no timing, no enable/disable, and delete does nothing
    run.SelectOnly(3);
    EXPECT_EQ(1, run.SelectedCount());
    EXPECT_FALSE(run.ButtonEnabled(ID_DEVICE_TIMING));
    EXPECT_FALSE(run.ButtonEnabled(ID_DEVICE_ENABLE));
    run.Command(ID_EDIT_CLEAR);
    EXPECT_EQ(4, run.Rows());
    // two rows, then back to the global options row: the flags follow the rows selected now
    run.Select(1, true);
    EXPECT_TRUE(run.ButtonEnabled(ID_DEVICE_ENABLE));
    run.Select(1, false);
    EXPECT_FALSE(run.ButtonEnabled(ID_DEVICE_ENABLE));
    run.Command(ID_EDIT_CLEAR);
    EXPECT_EQ(4, run.Rows());

    // enable the disabled I/O server
    run.SelectOnly(1);
    EXPECT_TRUE(run.ButtonEnabled(ID_DEVICE_ENABLE));
    EXPECT_FALSE(run.ButtonChecked(ID_DEVICE_ENABLE));
    run.Command(ID_DEVICE_ENABLE);
    EXPECT_EQ(4, run.Image(1));
    EXPECT_TRUE(run.ButtonChecked(ID_DEVICE_ENABLE));
    EXPECT_TRUE(run.ButtonEnabled(ID_FILE_SAVE_ACTIVE));
    // delete everything (the global options row goes with the others), then undo
    run.Command(ID_EDIT_SELECT_ALL);
    EXPECT_EQ(4, run.SelectedCount());
    run.Command(ID_EDIT_CLEAR);
    ASSERT_EQ(0, run.Rows());
    run.Command(ID_EDIT_UNDO);
    ASSERT_EQ(4, run.Rows());
    EXPECT_EQ(4, run.SelectedCount());
    run.Command(ID_EDIT_UNDO);  // nothing left to undo
    EXPECT_EQ(4, run.Rows());
    // the Delete key reaches the command through the accelerators (row 0 is
    // now the global options record: the undo put the rows back reversed)
    EXPECT_EQ(L"allgemeine Optionen", run.Cell(0, 5));
    run.SelectOnly(1);
    SetForegroundWindow(run.Main());
    SetFocus(run.List());
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_DELETE;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
    // the keys are posted: a sent message would overtake them
    for (int i = 0; i < 60 && run.Rows() != 3; ++i) Sleep(50);
    EXPECT_EQ(3, run.Rows());
    run.Command(ID_EDIT_UNDO);
    EXPECT_EQ(4, run.Rows());
    // the kinds with a dialog offer their commands; the global row has its
    // properties
    for (UINT built :
         {(UINT)ID_DEVICE_NEW_IO, (UINT)ID_DEVICE_NEW_SERIAL, (UINT)ID_DEVICE_NEW_RFID, (UINT)ID_DEVICE_NEW_TRCV})
        EXPECT_TRUE(run.ButtonEnabled(built)) << built;
    run.SelectOnly(0);
    EXPECT_TRUE(run.ButtonEnabled(ID_DEVICE_PROPERTIES));

    // closing asks about the unsaved active configuration; No keeps the file
    std::string before = ReadBytes(active);
    PostMessageW(run.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0, run.WaitExit());
    auto boxes = run.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Änderungen in aktive Konfiguration speichern?", boxes[0].text);
    EXPECT_EQ((unsigned)(MB_YESNOCANCEL | MB_ICONQUESTION), boxes[0].flags & (MB_TYPEMASK | MB_ICONMASK));
    EXPECT_EQ(before, ReadBytes(active));
}

TEST_F(VarnelRun, WindowSizeIsKeptAcrossRuns) {
    ASSERT_TRUE(run.Start(L""));
    ASSERT_TRUE(run.WaitWindow());
    SetWindowPos(run.Main(), nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
    run.Sync();
    ShowWindow(run.Main(), SW_MAXIMIZE);
    run.Sync();
    Close();
    Program again;
    again.folder = run.folder;
    ASSERT_TRUE(again.Start(L""));
    ASSERT_TRUE(again.WaitWindow());
    RECT r;
    GetWindowRect(again.Main(), &r);
    EXPECT_EQ(640, r.right - r.left);
    EXPECT_EQ(480, r.bottom - r.top);
    PostMessageW(again.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0, again.WaitExit());
}

}  // namespace

namespace {

TEST_F(VarnelRun, TimingDialogOnOneAndOnSeveralDevices) {
    WriteActive(kThreeDevices);
    ASSERT_TRUE(run.Start(L"", {"no"}));
    ASSERT_TRUE(run.WaitWindow());
    // one device: its name in the caption, its values in the fields
    run.SelectOnly(0);
    ASSERT_TRUE(run.ButtonEnabled(ID_DEVICE_TIMING));
    auto openTiming = [this] {
        run.PostCommand(ID_DEVICE_TIMING);
        return run.WaitDialog();
    };
    HWND dlg = openTiming();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(L"Timing anpassen, C", WindowText(dlg));
    EXPECT_EQ(L"0.5", ItemText(dlg, IDC_TIMING_LOWER));
    EXPECT_EQ(L"2.5", ItemText(dlg, IDC_TIMING_UPPER));
    // typing a lower bound keeps the upper one 2 s above it
    TypeInto(dlg, IDC_TIMING_LOWER, L"5");
    EXPECT_EQ(L"7", ItemText(dlg, IDC_TIMING_UPPER));
    SaveScreenshot(L"varnel_timing.bmp");
    Click(dlg, IDOK);
    run.Sync();
    EXPECT_EQ(L"5 .. 7 s", run.Cell(0, 4));

    // two devices with different values: "~", and the count in the caption
    run.Select(1, true);
    dlg = openTiming();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(L"Timing anpassen, 2 Geräte", WindowText(dlg));
    EXPECT_EQ(L"~", ItemText(dlg, IDC_TIMING_LOWER));
    EXPECT_EQ(L"~", ItemText(dlg, IDC_TIMING_UPPER));
    // "~" below keeps each lower bound; the upper one then goes in unchecked
    ChooseEntry(dlg, IDC_TIMING_UPPER, L"10");
    TypeInto(dlg, IDC_TIMING_UPPER, L"1");
    Click(dlg, IDOK);
    run.Sync();
    EXPECT_EQ(L"5 .. 1 s", run.Cell(0, 4));
    EXPECT_EQ(L"0.1 .. 1 s", run.Cell(1, 4));

    // choosing a lower bound from the list raises the upper ones on OK
    dlg = openTiming();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(L"1", ItemText(dlg, IDC_TIMING_UPPER));
    ChooseEntry(dlg, IDC_TIMING_LOWER, L"2");
    EXPECT_EQ(L"4", ItemText(dlg, IDC_TIMING_UPPER));
    TypeInto(dlg, IDC_TIMING_UPPER, L"~");
    Click(dlg, IDOK);
    run.Sync();
    EXPECT_EQ(L"2 .. 4 s", run.Cell(0, 4));
    EXPECT_EQ(L"2 .. 4 s", run.Cell(1, 4));

    // Cancel changes nothing
    dlg = openTiming();
    ASSERT_TRUE(dlg);
    TypeInto(dlg, IDC_TIMING_LOWER, L"9");
    Click(dlg, IDCANCEL);
    run.Sync();
    EXPECT_EQ(L"2 .. 4 s", run.Cell(0, 4));
    // the global options row alone offers no timing
    run.SelectOnly(3);
    EXPECT_FALSE(run.ButtonEnabled(ID_DEVICE_TIMING));

    Close();  // the save prompt is answered No
}

std::wstring ClipboardText() {
    std::wstring out;
    for (int i = 0; i < 50 && !OpenClipboard(nullptr); ++i) Sleep(20);
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        if (const wchar_t* p = (const wchar_t*)GlobalLock(h)) {
            out = p;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return out;
}

void PutOnClipboard(const std::wstring& text) {
    for (int i = 0; i < 50 && !OpenClipboard(nullptr); ++i) Sleep(20);
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(mem), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(mem);
    SetClipboardData(CF_UNICODETEXT, mem);
    CloseClipboard();
}

TEST_F(VarnelRun, CopyInOneWindowPasteInAnother) {
    WriteActive(kThreeDevices);
    std::wstring other = File(L"other.ini");
    WriteProfile(other, L"[OpcServer_Global]\r\nDeviceType=ffffffff\r\nIdleTicks=5\r\n"
                        L"[A]\r\nDeviceType=1\r\nTargetHost=elsewhere\r\n");
    ASSERT_TRUE(run.Start(L""));
    ASSERT_TRUE(run.WaitWindow());
    // rows C, B, A, global: copy A and the global options
    run.SelectOnly(2);
    run.Select(3, true);
    run.Command(ID_EDIT_COPY);
    std::wstring text = ClipboardText();
    EXPECT_EQ(0u, text.find(L" \r\n[A]\r\nDeviceType=4\r\n")) << text.substr(0, 40).c_str();
    EXPECT_NE(std::wstring::npos, text.find(L"[OpcServer_Global]"));
    EXPECT_LT(text.find(L"[A]"), text.find(L"[OpcServer_Global]"));

    Program second;
    second.folder = run.folder;
    ASSERT_TRUE(second.Start(Quote(other)));
    ASSERT_TRUE(second.WaitWindow());
    ASSERT_EQ(2, second.Rows());
    second.Command(ID_EDIT_PASTE);
    // A is taken: the pasted device gets the next free name; the global
    // options are merged, not added
    ASSERT_EQ(3, second.Rows());
    EXPECT_EQ(L"A_1", second.Cell(2, 1));
    EXPECT_EQ(L"10.0.0.1", second.Cell(2, 2));
    EXPECT_EQ(1, second.SelectedCount());
    // again: another name
    second.Command(ID_EDIT_PASTE);
    ASSERT_EQ(4, second.Rows());
    EXPECT_EQ(L"A_2", second.Cell(3, 1));

    // text edited elsewhere: no byte-order mark, a dot in the name
    PutOnClipboard(L"[Kessel.Nord]\r\nDeviceType=0\r\nTargetHost=10.9.9.9\r\n[NoType]\r\nTargetHost=x\r\n");
    second.Command(ID_EDIT_PASTE);
    ASSERT_EQ(5, second.Rows());
    EXPECT_EQ(L"Kessel_Nord", second.Cell(4, 1));

    // cut with the global options row: the global options stay, the device goes, no undo
    int global = -1;
    for (int r = 0; r < second.Rows(); ++r)
        if (second.Cell(r, 5) == L"allgemeine Optionen") global = r;
    ASSERT_GE(global, 0);
    second.SelectOnly(global);
    second.Select(4, true);
    second.Command(ID_EDIT_CUT);
    ASSERT_EQ(4, second.Rows());
    int globals = 0;
    for (int r = 0; r < second.Rows(); ++r) globals += second.Cell(r, 5) == L"allgemeine Optionen";
    EXPECT_EQ(1, globals);
    second.Command(ID_EDIT_UNDO);
    EXPECT_EQ(4, second.Rows());
    // and the cut text pastes back
    second.Command(ID_EDIT_PASTE);
    EXPECT_EQ(5, second.Rows());

    // saved, the other file holds the pasted devices and the merged options
    second.Command(ID_FILE_SAVE);
    cfgtest::Sections s = cfgtest::ParseProfile(other);
    int names = 0;
    for (auto& sec : s) names += sec.first == L"A_1" || sec.first == L"A_2" || sec.first == L"Kessel_Nord";
    EXPECT_EQ(3, names);
    PostMessageW(second.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0, second.WaitExit());
    Close();
}

TEST_F(VarnelRun, AboutBoxShowsBothVersions) {
    // the registered OPC server: a program of ours with a version resource
    std::wstring server = File(L"marrowin_server.exe");
    ASSERT_TRUE(CopyFileW(WinePath(MARROWIN_SERVER).c_str(), server.c_str(), FALSE));
    const wchar_t clsid[] = L"{6F1C2A40-7B1E-4C55-9E0B-2D3A4B5C6D7E}";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CLASSES_ROOT, L"Korvelin.Marrowin\\CLSID", nullptr, REG_SZ, clsid,
                                             (DWORD)(wcslen(clsid) + 1) * 2));
    std::wstring local = std::wstring(L"CLSID\\") + clsid + L"\\LocalServer32";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CLASSES_ROOT, local.c_str(), nullptr, REG_SZ, server.c_str(),
                                             (DWORD)(server.size() + 1) * 2));

    ASSERT_TRUE(run.Start(L""));
    ASSERT_TRUE(run.WaitWindow());
    ASSERT_TRUE(run.ButtonEnabled(ID_APP_ABOUT));
    run.PostCommand(ID_APP_ABOUT);
    HWND dlg = run.WaitDialog();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(L"Produktinformation", WindowText(dlg));
    EXPECT_EQ(L"Version 4.72", ItemText(dlg, IDC_ABOUT_OWN_VERSION));
    EXPECT_EQ(L"Version 5.1.3.7", ItemText(dlg, IDC_ABOUT_SERVER_VERSION));
    EXPECT_EQ(std::wstring::npos, ItemText(dlg, IDC_ABOUT_PRODUCT).find(L"%s"));
    SaveScreenshot(L"varnel_about.bmp");
    Click(dlg, IDOK);

    // without a registered server
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Korvelin.Marrowin");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + clsid).c_str());
    run.PostCommand(ID_APP_ABOUT);
    dlg = run.WaitDialog();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(L"Version ?.?", ItemText(dlg, IDC_ABOUT_SERVER_VERSION));
    Click(dlg, IDOK);
    Close();
}

}  // namespace

namespace {

std::wstring RecentFile(int n) {
    wchar_t buf[MAX_PATH] = {0};
    DWORD size = sizeof buf;
    std::wstring name = L"File" + std::to_wstring(n);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Korvelin\\Varnel\\Recent File List", name.c_str(), RRF_RT_REG_SZ,
                     nullptr, buf, &size) != ERROR_SUCCESS)
        return L"";
    return buf;
}

// Opened files enter the recent-file list (the active configuration never
// does) and open again from it.
TEST_F(VarnelRun, RecentFiles) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Korvelin\\Varnel\\Recent File List");
    WriteActive(kThreeDevices);
    std::wstring other = File(L"anlage.ini");
    WriteProfile(other, L"[Pumpe]\r\nDeviceType=4\r\nTargetHost=10.1.1.1\r\n");
    ASSERT_TRUE(run.Start(Quote(other)));
    ASSERT_TRUE(run.WaitWindow());
    EXPECT_NE(std::wstring::npos, run.Title().find(L"anlage.ini")) << run.Title();
    Close();
    EXPECT_EQ(0, lstrcmpiW(other.c_str(), RecentFile(1).c_str())) << RecentFile(1);

    Program again;
    again.folder = run.folder;
    ASSERT_TRUE(again.Start(L""));
    ASSERT_TRUE(again.WaitWindow());
    EXPECT_EQ(4, again.Rows());
    again.Command(ID_FILE_MRU_FILE1);
    EXPECT_NE(std::wstring::npos, again.Title().find(L"anlage.ini")) << again.Title();
    ASSERT_EQ(2, again.Rows());
    EXPECT_TRUE(again.Cell(0, 1) == L"Pumpe" || again.Cell(1, 1) == L"Pumpe");
    // back to the active configuration: it stays out of the list
    again.Command(ID_FILE_OPEN_ACTIVE);
    EXPECT_NE(std::wstring::npos, again.Title().find(L"aktive Konfiguration"));
    EXPECT_EQ(4, again.Rows());
    PostMessageW(again.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0, again.WaitExit());
    EXPECT_EQ(0, lstrcmpiW(other.c_str(), RecentFile(1).c_str()));
    EXPECT_EQ(L"", RecentFile(2));
}

}  // namespace

namespace {

// Types a path into the file dialog's name field and confirms it.
void ChooseFile(HWND dlg, const std::wstring& path) {
    // the name field: a combo box with an edit field in the explorer-style dialog
    HWND name = GetDlgItem(dlg, 1148);
    if (!name) name = GetDlgItem(dlg, 1152);
    ASSERT_TRUE(name);
    DWORD_PTR r;
    SendMessageTimeoutW(name, WM_SETTEXT, 0, (LPARAM)path.c_str(), SMTO_NORMAL, 5000, &r);
    Click(dlg, IDOK);
}

// An old-format file opened in a running Varnel: an untitled document with
// the imported devices, which counts as modified.
TEST_F(VarnelRun, OldFormatOpenedLaterIsAnUnsavedDocument) {
    std::wstring old = File(L"alt.txt");
    WriteBytes(old, "KRVD1\r\n4\t1\tkessel\t5292033\t5\t1\t\t\t\t\r\n0\t2\tpumpe\t4001\t5\t1\r\n");
    ASSERT_TRUE(run.Start(L"", {"ok", "no"}));
    ASSERT_TRUE(run.WaitWindow());
    run.PostCommand(ID_FILE_OPEN);
    HWND dlg = run.WaitDialog();
    ASSERT_TRUE(dlg);
    ChooseFile(dlg, old);
    for (int i = 0; i < 100 && run.Boxes().empty(); ++i) Sleep(50);
    run.Sync();
    EXPECT_NE(std::wstring::npos, run.Title().find(L"Unbenannt")) << run.Title();
    EXPECT_EQ(3, run.Rows());
    EXPECT_TRUE(run.ButtonEnabled(ID_FILE_SAVE_ACTIVE));
    PostMessageW(run.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0, run.WaitExit());
    auto boxes = run.Boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_NE(std::wstring::npos, boxes[0].text.find(L"Version 3"));
    EXPECT_EQ(L"Änderungen in Unbenannt speichern?", boxes[1].text);
}

// Save As from the active configuration through the real file dialog:
// cancelled, the document is the active configuration again; with a name,
// it is that file, and the active configuration is untouched.
TEST_F(VarnelRun, SaveAsFromTheActiveConfiguration) {
    WriteActive(kThreeDevices);
    std::string activeBefore = ReadBytes(active);
    ASSERT_TRUE(run.Start(L""));
    ASSERT_TRUE(run.WaitWindow());
    run.PostCommand(ID_FILE_SAVE_AS);
    HWND dlg = run.WaitDialog();
    ASSERT_TRUE(dlg);
    Click(dlg, IDCANCEL);
    run.Sync();
    EXPECT_NE(std::wstring::npos, run.Title().find(L"aktive Konfiguration")) << run.Title();

    std::wstring copy = File(L"kopie.ini");
    run.PostCommand(ID_FILE_SAVE_AS);
    dlg = run.WaitDialog();
    ASSERT_TRUE(dlg);
    ChooseFile(dlg, copy);
    run.Sync();
    EXPECT_NE(std::wstring::npos, run.Title().find(L"kopie.ini")) << run.Title();
    EXPECT_EQ(4u, cfgtest::ParseProfile(copy).size());
    EXPECT_EQ(activeBefore, ReadBytes(active));
    Close();
}

}  // namespace

namespace {

bool BalloonShown(const Program& p) {
    HWND tip = p.FindVisible(L"tooltips_class32");
    return tip && (GetWindowLongW(tip, GWL_STYLE) & TTS_BALLOON);
}

// Ten seconds after the last change of the active configuration a balloon
// reminds the user to save; a change of another file gets none.
TEST_F(VarnelRun, ReminderAfterChangesOfTheActiveConfiguration) {
    WriteActive(kThreeDevices);
    ASSERT_TRUE(run.Start(L"", {"no"}));
    ASSERT_TRUE(run.WaitWindow());
    run.SelectOnly(1);
    run.Command(ID_DEVICE_ENABLE);
    DWORD t0 = GetTickCount();
    Sleep(4000);
    run.Command(ID_DEVICE_ENABLE);  // a second change starts the ten seconds again
    DWORD t1 = GetTickCount();
    while (!BalloonShown(run) && GetTickCount() - t0 < 30000) Sleep(100);
    DWORD shown = GetTickCount();
    ASSERT_TRUE(BalloonShown(run));
    EXPECT_GE(shown - t1, 9500u);
    EXPECT_LT(shown - t1, 16000u);
    Close();

    std::wstring other = File(L"anderes.ini");
    WriteProfile(other, kThreeDevices);
    Program second;
    second.folder = run.folder;
    ASSERT_TRUE(second.Start(Quote(other), {"no"}));
    ASSERT_TRUE(second.WaitWindow());
    second.SelectOnly(1);
    second.Command(ID_DEVICE_ENABLE);
    Sleep(12000);
    EXPECT_FALSE(BalloonShown(second));
    PostMessageW(second.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0, second.WaitExit());
}

}  // namespace

namespace {

// A real mouse click on a column header of the list.
void ClickHeader(const Program& p, int column) {
    HWND header = FindWindowExW(p.List(), nullptr, L"SysHeader32", nullptr);
    ASSERT_TRUE(header);
    RECT r;
    GetWindowRect(header, &r);
    int x = r.left;
    for (int c = 0; c < column; ++c) x += (int)SendMessageW(p.List(), LVM_GETCOLUMNWIDTH, c, 0);
    x += (int)SendMessageW(p.List(), LVM_GETCOLUMNWIDTH, column, 0) / 2;
    SetForegroundWindow(p.Main());
    // apart from the last click, or the two make a double click
    Sleep(GetDoubleClickTime() + 100);
    SetCursorPos(x, (r.top + r.bottom) / 2);
    krvtest::LeftClick();
    Sleep(600);
    p.Sync();
}

std::vector<std::wstring> Names(const Program& p) {
    std::vector<std::wstring> v;
    for (int r = 0; r < p.Rows(); ++r) v.push_back(p.Cell(r, 1));
    return v;
}

// Header clicks sort ascending, then descending; the order is what the next
// save writes.
TEST_F(VarnelRun, SortingByAHeaderIsSaved) {
    WriteActive(kThreeDevices);
    ASSERT_TRUE(run.Start(L""));
    ASSERT_TRUE(run.WaitWindow());
    typedef std::vector<std::wstring> Rows;
    ASSERT_EQ((Rows{L"C", L"B", L"A", L""}), Names(run));
    // the global options row sorts by its record's name "OpcServer_Global"
    ClickHeader(run, 1);
    EXPECT_EQ((Rows{L"A", L"B", L"C", L""}), Names(run));
    ClickHeader(run, 1);
    EXPECT_EQ((Rows{L"", L"C", L"B", L"A"}), Names(run));
    ClickHeader(run, 3);  // by port: the packed key puts 49153/80 after 49153
    Rows byPort = Names(run);
    ASSERT_EQ(4u, byPort.size());
    EXPECT_EQ(L"B", byPort[2]);
    EXPECT_EQ(L"A", byPort[3]);
    // saved in the view's order: the file reads back in the same order
    run.SelectOnly(1);
    run.Command(ID_DEVICE_ENABLE);
    run.Command(ID_DEVICE_ENABLE);
    run.Command(ID_FILE_SAVE_ACTIVE);
    Close();
    Program again;
    again.folder = run.folder;
    ASSERT_TRUE(again.Start(L""));
    ASSERT_TRUE(again.WaitWindow());
    EXPECT_EQ(byPort, Names(again));
    PostMessageW(again.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0, again.WaitExit());
}

}  // namespace

// The end of the session asks as closing does: Cancel refuses the session
// end and keeps Varnel running; No lets it end without a second question.
TEST_F(VarnelRun, SessionEndAsksAboutUnsavedChanges) {
    WriteActive(kThreeDevices);
    ASSERT_TRUE(run.Start(L"", {"cancel", "no"}));
    ASSERT_TRUE(run.WaitWindow());
    run.SelectOnly(1);
    run.Command(ID_DEVICE_ENABLE);
    std::string before = ReadBytes(active);
    DWORD_PTR answer = 99;
    ASSERT_TRUE(SendMessageTimeoutW(run.Main(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 20000, &answer));
    EXPECT_EQ(0u, answer);
    EXPECT_EQ(-1, run.WaitExit(300));
    ASSERT_TRUE(SendMessageTimeoutW(run.Main(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 20000, &answer));
    EXPECT_EQ(1u, answer);
    SendMessageTimeoutW(run.Main(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 20000, &answer);
    EXPECT_EQ(0, run.WaitExit());
    auto boxes = run.Boxes();
    ASSERT_EQ(2u, boxes.size());
    for (auto& b : boxes) EXPECT_EQ(L"Änderungen in aktive Konfiguration speichern?", b.text);
    EXPECT_EQ(before, ReadBytes(active));
}

// Only the test build obeys the seams' environment: the shipped program shows
// its box for real and writes no log, whatever the environment says.
TEST_F(VarnelRun, ShippedProgramIgnoresTheTestEnvironment) {
    std::wstring folder = run.folder + L"shipped\\";
    ASSERT_TRUE(cfgtest::MakeFolder(folder));
    ASSERT_TRUE(CopyFileW(WinePath(SHIPPED_VARNEL_EXE).c_str(), (folder + L"Varnel.exe").c_str(), FALSE));
    Program shipped;
    shipped.folder = folder;
    ASSERT_TRUE(shipped.Start(Quote(folder + L"missing.ini"), {"ok"}));
    HWND box = shipped.WaitDialog(20000);
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::wstring::npos, WindowText(box).find(L"Varnel")) << WindowText(box);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder + L"boxes.log").c_str()));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0, shipped.WaitExit());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder + L"boxes.log").c_str()));
}

TEST_F(VarnelRun, NewIoDeviceThroughItsDialogIsSaved) {
    WriteActive(kThreeDevices);
    ASSERT_TRUE(run.Start(L"", {"no"}));
    ASSERT_TRUE(run.WaitWindow());
    run.PostCommand(ID_DEVICE_NEW_IO);
    HWND dlg = run.WaitDialog();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(L" E/A-Server", WindowText(dlg));
    EXPECT_EQ(L"", ItemText(dlg, 1214));
    EXPECT_EQ(L"Box1", ItemText(dlg, 1220));
    TypeInto(dlg, 1214, L"10.0.0.9");
    ChooseEntry(dlg, 1335, L"Lattix Thermometer 2");
    Click(dlg, IDOK);
    ASSERT_EQ(5, run.Rows());
    // Properties of the new row: Cancel after an edit changes nothing
    run.SelectOnly(4);
    EXPECT_TRUE(run.ButtonEnabled(ID_DEVICE_PROPERTIES));
    run.PostCommand(ID_DEVICE_PROPERTIES);
    dlg = run.WaitDialog();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(L"10.0.0.9", ItemText(dlg, 1214));
    TypeInto(dlg, 1214, L"10.0.0.10");
    Click(dlg, IDCANCEL);
    run.Command(ID_FILE_SAVE_ACTIVE);
    auto sections = cfgtest::ParseProfile(active);
    ASSERT_EQ(5u, sections.size());
    bool found = false;
    for (auto& sec : sections) {
        if (sec.first != L"Box1") continue;
        found = true;
        auto key = [&](const wchar_t* k) {
            for (auto& kv : sec.second)
                if (kv.first == k) return kv.second;
            return std::wstring(L"(missing)");
        };
        EXPECT_EQ(L"6", key(L"DeviceType"));
        EXPECT_EQ(L"10.0.0.9", key(L"TargetHost"));
        EXPECT_EQ(L"2", key(L"Inputs"));
    }
    EXPECT_TRUE(found);
    Close();
}
