// Document and device list in this process: the real template, frame, view
// and store, files in the Wine prefix, message boxes answered by the seam.
#include "editor/doc.h"
#include "editor/view.h"
#include "editor/timing_dlg.h"
#include "editor/device_dialogs.h"
#include <algorithm>
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "framework/Seams.h"
#include "../config/cfg_test_util.h"
#include <gtest/gtest.h>
#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

CWinApp& App() {
    static CWinApp app(L"Varnel");
    return app;
}

struct Boxes {
    std::deque<int> answers;
    std::vector<std::wstring> texts;
    void Install() {
        SetMessageBoxHook([this](const wchar_t* text, UINT) {
            texts.push_back(text);
            if (answers.empty()) return IDOK;
            int a = answers.front();
            answers.pop_front();
            return a;
        });
    }
};

struct DocView : ::testing::Test {
    static CSingleDocTemplate* tmpl;
    Boxes boxes;
    std::wstring dir;

    static void SetUpTestSuite() {
        CString::SetResourceModule(GetModuleHandleW(nullptr));
        App();
        tmpl = new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CTamselDoc), RUNTIME_CLASS(CFrameWnd),
                                      RUNTIME_CLASS(CTamselView));
        App().AddDocTemplate(tmpl);
    }
    void SetUp() override {
        boxes.Install();
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        dir = std::wstring(tmp) + L"krv_doc_view\\";
        ASSERT_TRUE(cfgtest::MakeFolder(dir));
    }
    void TearDown() override { SetMessageBoxHook(nullptr); }

    CTamselDoc* Doc() { return static_cast<CTamselDoc*>(tmpl->GetOnlyDocument()); }
    CTamselView* View() { return static_cast<CTamselView*>(Doc()->GetFirstView()); }
    CListCtrl& List() { return View()->GetListCtrl(); }
    int Rows() { return List().GetItemCount(); }
    CString Text(int row, int col) { return List().GetItemText(row, col); }

    // A configuration file with these devices (name, type), in this order.
    std::wstring WriteConfig(const wchar_t* name, std::vector<std::pair<const wchar_t*, int>> devs) {
        std::wstring path = dir + name;
        CCfgStore s((dir + L"unused.ini").c_str());
        for (auto it = devs.rbegin(); it != devs.rend(); ++it) s.AddDevice(new CDeviceCfg(it->first, it->second));
        EXPECT_TRUE(s.Save(path.c_str()));
        return path;
    }
    // A configuration file of n I/O devices with their default names.
    bool WriteManyDevices(const std::wstring& path, int n) {
        CCfgStore s((dir + L"unused.ini").c_str());
        for (int i = 0; i < n; ++i) {
            CDeviceCfg* d = new CDeviceCfg(L"", 4);
            d->SetDefaultName(i + 1);
            s.AddDevice(d);
        }
        return s.Save(path.c_str());
    }
    void Select(std::vector<int> rows) {
        View()->DeselectAll();
        for (int r : rows) List().SetItemState(r, LVIS_SELECTED, LVIS_SELECTED);
    }
    BOOL Enabled(UINT id) {
        CCmdUI ui(id);
        View()->OnCmdMsg(id, &ui);
        return ui.m_bEnabled;
    }
    int Checked(UINT id) {
        CCmdUI ui(id);
        View()->OnCmdMsg(id, &ui);
        return ui.m_nCheck;
    }
    void Command(UINT id) { View()->OnCmdMsg(id, nullptr); }
    void Pump() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    }
};
CSingleDocTemplate* DocView::tmpl = nullptr;

TEST_F(DocView, OpenShowsRowsDeleteUndoEnable) {
    std::wstring path = WriteConfig(L"a.ini", {{L"OpcServer_Global", -1}, {L"A", 4}, {L"B", 8}, {L"C", 9}});
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Pump();
    // File order global, A, B, C: the list shows the store's reversed order.
    ASSERT_EQ(Rows(), 4);
    EXPECT_STREQ(Text(0, 1), L"C");
    EXPECT_STREQ(Text(2, 1), L"A");
    EXPECT_STREQ(Text(3, 1), L"");  // global options row
    EXPECT_STREQ(Text(2, 3), L"49153/80");
    EXPECT_STREQ(Text(2, 4), L"0.1 .. 5 s");
    EXPECT_STREQ(Text(0, 4), L"");  // radio module: no timing
    EXPECT_STREQ(Doc()->GetTitle(), L"a.ini");
    EXPECT_FALSE(Doc()->IsModified());

    // Global options alone: delete disabled, copy enabled.
    Select({3});
    EXPECT_FALSE(Enabled(ID_EDIT_CLEAR));
    EXPECT_TRUE(Enabled(ID_EDIT_COPY));
    // With the transceiver too, then without it again: the flags follow.
    Select({1, 3});
    EXPECT_TRUE(Enabled(ID_EDIT_CLEAR));
    EXPECT_TRUE(Enabled(ID_DEVICE_ENABLE));
    List().SetItemState(1, 0, LVIS_SELECTED);
    EXPECT_FALSE(Enabled(ID_EDIT_CLEAR));
    EXPECT_FALSE(Enabled(ID_DEVICE_ENABLE));
    EXPECT_FALSE(Enabled(ID_DEVICE_TIMING));
    // New device and properties only for a kind with its dialog.
    for (int row = 0; row < 4; ++row) {
        Select({row});
        EXPECT_EQ(Enabled(ID_DEVICE_PROPERTIES) != FALSE, HasDeviceDialog(View()->GetRowDevice(row)->GetKind())) << row;
    }
    struct {
        UINT command;
        int kind;
    } news[] = {{ID_DEVICE_NEW_IO, kKindBinaryIo},
                {ID_DEVICE_NEW_SERIAL, kKindSerial},
                {ID_DEVICE_NEW_RFID, kKindRfid},
                {ID_DEVICE_NEW_TRCV, kKindTransceiver}};
    for (auto& n : news) EXPECT_EQ(Enabled(n.command) != FALSE, HasDeviceDialog(n.kind)) << n.command;
    Select({1});  // the transceiver: a radio module could be added to it
    EXPECT_EQ(Enabled(ID_DEVICE_NEW_MODULE) != FALSE, HasDeviceDialog(kKindRadioModule));

    // Enable/disable the transceiver and the module: only the transceiver changes.
    Select({0, 1});
    EXPECT_EQ(Checked(ID_DEVICE_ENABLE), 1);
    Command(ID_DEVICE_ENABLE);
    CDeviceCfg* trcv = View()->GetRowDevice(1);
    CDeviceCfg* module = View()->GetRowDevice(0);
    EXPECT_EQ(trcv->Disable, 1);
    EXPECT_EQ(module->Disable, 0);
    EXPECT_EQ(trcv->ImageIndex, 9);
    EXPECT_TRUE(Doc()->IsModified());
    EXPECT_EQ(Checked(ID_DEVICE_ENABLE), 0);
    Command(ID_DEVICE_ENABLE);
    EXPECT_EQ(trcv->Disable, 0);
    EXPECT_EQ(trcv->ImageIndex, 8);

    // Delete rows 1 and 3 (B and global), then undo: back at the end, reversed.
    Select({1, 3});
    Command(ID_EDIT_CLEAR);
    ASSERT_EQ(Rows(), 2);
    EXPECT_TRUE(Enabled(ID_EDIT_UNDO));
    Command(ID_EDIT_UNDO);
    ASSERT_EQ(Rows(), 4);
    EXPECT_STREQ(Text(2, 1), L"");  // the former row 3 above the former row 1
    EXPECT_STREQ(Text(3, 1), L"B");
    EXPECT_FALSE(Enabled(ID_EDIT_UNDO));
    EXPECT_EQ(List().GetSelectedCount(), 2u);

    // Save writes the store's order.
    std::wstring out = dir + L"out.ini";
    ASSERT_TRUE(Doc()->DoSave(out.c_str()));
    EXPECT_FALSE(Doc()->IsModified());
    CCfgStore check((dir + L"unused.ini").c_str());
    EXPECT_EQ(check.Load(out.c_str(), true), 4);
}

TEST_F(DocView, OldFormatImportAsksBeforeClosing) {
    std::wstring base = WriteConfig(L"b.ini", {{L"X", 4}});
    ASSERT_TRUE(tmpl->OpenDocumentFile(base.c_str()));
    std::wstring old = dir + L"old.txt";
    ASSERT_TRUE(cfgtest::WriteBytes(old, "KRVD1\r\n4\t1\t10.0.0.5\t49153\t5\t1\r\n"));
    boxes.texts.clear();
    EXPECT_FALSE(tmpl->OpenDocumentFile(old.c_str()));
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find(L"Version 3"), std::wstring::npos);
    EXPECT_TRUE(Doc()->GetPathName().IsEmpty());
    EXPECT_STREQ(Doc()->GetTitle(), L"Unbenannt");
    EXPECT_EQ(Rows(), 2);
    // Unsaved imported devices: closing must ask.
    EXPECT_TRUE(Doc()->IsModified());
    boxes.answers = {IDCANCEL};
    EXPECT_FALSE(Doc()->SaveModified());

    // An empty file is no old-format file: message 227.
    std::wstring empty = dir + L"empty.ini";
    ASSERT_TRUE(cfgtest::WriteBytes(empty, ""));
    boxes.texts.clear();
    boxes.answers = {IDNO};  // do not save the import
    EXPECT_FALSE(tmpl->OpenDocumentFile(empty.c_str()));
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_NE(boxes.texts[1].find(L"erwarteten Format"), std::wstring::npos);
    EXPECT_EQ(Rows(), 1);
}

TEST_F(DocView, ActiveConfiguration) {
    const wchar_t* active = theCfgStore.GetActivePath();
    DeleteFileW(active);
    // Missing: created with the global options only.
    ASSERT_TRUE(tmpl->OpenDocumentFile(active));
    EXPECT_STREQ(Doc()->GetTitle(), L"aktive Konfiguration");
    EXPECT_NE(GetFileAttributesW(active), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Rows(), 1);
    // Save as active on the active configuration itself asks nothing, saves and reloads
    // (no server here: the save still counts).
    boxes.texts.clear();
    Doc()->SetModifiedFlag(TRUE);
    EXPECT_TRUE(Doc()->OnCmdMsg(ID_FILE_SAVE_ACTIVE, nullptr));
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_FALSE(Doc()->IsModified());

    // Locked by another program: reported, the file is left alone.
    WIN32_FILE_ATTRIBUTE_DATA before{};
    GetFileAttributesExW(active, GetFileExInfoStandard, &before);
    HANDLE lock = CreateFileW(active, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    std::wstring other = WriteConfig(L"c.ini", {{L"Y", 4}});
    ASSERT_TRUE(tmpl->OpenDocumentFile(other.c_str()));
    boxes.texts.clear();
    EXPECT_FALSE(tmpl->OpenDocumentFile(active));
    CloseHandle(lock);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find(L"Fehlercode 32"), std::wstring::npos);
    EXPECT_STREQ(Doc()->GetTitle(), L"c.ini");
    WIN32_FILE_ATTRIBUTE_DATA after{};
    GetFileAttributesExW(active, GetFileExInfoStandard, &after);
    EXPECT_EQ(after.nFileSizeLow, before.nFileSizeLow);

    // Replacing the active configuration asks 208; No keeps it.
    boxes.answers = {IDNO};
    boxes.texts.clear();
    Doc()->OnCmdMsg(ID_FILE_SAVE_ACTIVE, nullptr);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_STREQ(Doc()->GetTitle(), L"c.ini");
    boxes.answers = {IDYES};
    Doc()->OnCmdMsg(ID_FILE_SAVE_ACTIVE, nullptr);
    EXPECT_STREQ(Doc()->GetTitle(), L"aktive Konfiguration");
    CCfgStore check((dir + L"unused.ini").c_str());
    EXPECT_EQ(check.Load(active, true), 2);
}

}  // namespace

// Without a selected row the timing dialog does not open and changes nothing.
TEST_F(DocView, TimingWithoutSelectionDoesNothing) {
    std::wstring path = WriteConfig(L"t.ini", {{L"A", 4}, {L"B", 0}});
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Select({});
    Pump();
    std::vector<std::wstring> before;
    for (int r = 0; r < Rows(); ++r) before.push_back(Text(r, 4).GetString());
    Doc()->SetModifiedFlag(FALSE);
    EXPECT_EQ(IDCANCEL, RunTimingDialogOnView(View()));
    EXPECT_FALSE(Enabled(ID_DEVICE_TIMING));
    Command(ID_DEVICE_TIMING);
    EXPECT_FALSE(Doc()->IsModified());
    for (int r = 0; r < Rows(); ++r) EXPECT_EQ(before[r], Text(r, 4).GetString());
}

// A message whose string the program lacks still says which one it is.
TEST_F(DocView, MissingMessageShowsItsNumber) {
    boxes.texts.clear();
    AfxMessageBox(64999u, MB_OK);
    AfxMessageBox(IDS_NAME_CONFLICT, MB_OK);
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[0], L"64999");
    EXPECT_EQ(boxes.texts[1].find(L"Namenskonflikt"), 0u);
}

namespace {
std::vector<std::wstring> SectionsOf(const std::wstring& path) {
    std::vector<wchar_t> buf(1 << 20);
    DWORD n = GetPrivateProfileSectionNamesW(buf.data(), (DWORD)buf.size(), path.c_str());
    std::vector<std::wstring> out;
    for (const wchar_t* p = buf.data(); p < buf.data() + n && *p; p += wcslen(p) + 1) out.push_back(p);
    return out;
}
}  // namespace

// Names that the file would merge are made unique when read: repeated and
// empty numbers of an old-format file, names alike in the 127 characters a
// section name keeps, a repeated section. Every row survives the save.
TEST_F(DocView, NamesThatTheFileWouldMergeAreMadeUniqueWhenRead) {
    std::wstring base = WriteConfig(L"n.ini", {{L"X", 4}});
    ASSERT_TRUE(tmpl->OpenDocumentFile(base.c_str()));
    std::string longName(127, 'L');
    std::string old = "KRVD1\r\n";
    old += "4\t1\t10.0.0.1\t49153\t5\t1\r\n";
    old += "4\t1\t10.0.0.2\t49153\t5\t1\r\n";
    old += "4\t\t10.0.0.3\t49153\t5\t1\r\n";
    old += "4\t\t10.0.0.4\t49153\t5\t1\r\n";
    for (const char* tail : {"a", "b", "c", "d"}) old += "4\t" + longName + tail + "\t10.0.1.1\t49153\t5\t1\r\n";
    std::wstring oldPath = dir + L"dup.txt";
    ASSERT_TRUE(cfgtest::WriteBytes(oldPath, old));
    EXPECT_FALSE(tmpl->OpenDocumentFile(oldPath.c_str()));
    ASSERT_EQ(9, Rows());
    std::wstring out = dir + L"dup_out.ini";
    ASSERT_TRUE(Doc()->DoSave(out.c_str()));
    std::vector<std::wstring> sections = SectionsOf(out);
    EXPECT_EQ(9u, sections.size());
    for (auto& s : sections) EXPECT_LE(s.size(), 127u) << s.c_str();
    CCfgStore check((dir + L"unused.ini").c_str());
    EXPECT_EQ(9, check.Load(out.c_str(), true));

    // a configuration file with one section twice: two rows, two sections
    std::wstring twice = dir + L"twice.ini";
    cfgtest::WriteProfile(twice, L"[OpcServer_Global]\r\nDeviceType=ffffffff\r\n[A]\r\nDeviceType=4\r\n"
                                 L"[B]\r\nDeviceType=4\r\n[a]\r\nDeviceType=4\r\n");
    Doc()->SetModifiedFlag(FALSE);
    ASSERT_TRUE(tmpl->OpenDocumentFile(twice.c_str()));
    ASSERT_EQ(4, Rows());
    std::wstring out2 = dir + L"twice_out.ini";
    ASSERT_TRUE(Doc()->DoSave(out2.c_str()));
    EXPECT_EQ(4u, SectionsOf(out2).size());
}

// A path longer than the file functions take is refused plainly, on open and
// on save; a failed open leaves no "aktive Konfiguration" over a cleared list.
TEST_F(DocView, LongPathsAndTheCaptionAfterAFailedOpen) {
    std::wstring path = WriteConfig(L"lp.ini", {{L"A", 4}});
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    std::wstring tooLong = dir + std::wstring(270, L'x') + L".ini";
    boxes.texts.clear();
    EXPECT_FALSE(tmpl->OpenDocumentFile(tooLong.c_str()));
    ASSERT_EQ(1u, boxes.texts.size());
    EXPECT_NE(std::wstring::npos, boxes.texts[0].find(L"Pfad der Datei ist zu lang")) << boxes.texts[0];
    EXPECT_EQ(2, Rows());
    boxes.texts.clear();
    EXPECT_FALSE(Doc()->DoSave(tooLong.c_str()));
    ASSERT_EQ(1u, boxes.texts.size());
    EXPECT_NE(std::wstring::npos, boxes.texts[0].find(L"Pfad der Datei ist zu lang")) << boxes.texts[0];

    // from the active configuration, a file of no known format
    const wchar_t* active = theCfgStore.GetActivePath();
    DeleteFileW(active);
    ASSERT_TRUE(tmpl->OpenDocumentFile(active));
    EXPECT_STREQ(Doc()->GetTitle(), L"aktive Konfiguration");
    std::wstring junk = dir + L"junk.ini";
    ASSERT_TRUE(cfgtest::WriteBytes(junk, "just text\r\n"));
    EXPECT_FALSE(tmpl->OpenDocumentFile(junk.c_str()));
    EXPECT_EQ(1, Rows());
    EXPECT_STRNE(Doc()->GetTitle(), L"aktive Konfiguration");
    wchar_t caption[300] = {0};
    GetWindowTextW(View()->GetParentFrame()->m_hWnd, caption, 300);
    EXPECT_EQ(nullptr, wcsstr(caption, L"aktive Konfiguration")) << caption;
    EXPECT_FALSE(Doc()->IsActiveConfiguration());
}

// The timing values as the dialog applies them: clamped to what the file
// holds, never negative; an applied lower bound keeps the upper one above it.
TEST(TimingValues, ClampedAndOrdered) {
    struct Case {
        int min0, max0;
        bool applyLower;
        int lower;
        bool applyUpper;
        int upper;
        int min, max;
    } cases[] = {
        {1, 50, true, 5, true, 100, 5, 100},
        {1, 50, true, -30, true, -10, 0, 20},
        {1, 50, true, 2147483630, false, 0, 2147483627, 2147483647},
        {1, 50, true, 2147483647, true, 2147483647, 2147483627, 2147483647},
        {1, 50, true, 2147483640, true, 100, 2147483627, 2147483647},
        {100, 200, false, 0, true, 50, 100, 50},
        {1, 50, false, 0, true, -5, 1, 0},
        {1, 50, false, 0, false, 0, 1, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lower);
        CDeviceCfg d(L"A", 4);
        d.MinIntervalTicks = c.min0;
        d.MaxIdleTicks = c.max0;
        ApplyTiming(&d, c.applyLower, c.lower, c.applyUpper, c.upper);
        EXPECT_EQ(c.min, d.MinIntervalTicks);
        EXPECT_EQ(c.max, d.MaxIdleTicks);
        EXPECT_GE(d.MaxIdleTicks, 0);
        if (c.applyLower) {
            EXPECT_LE(d.MinIntervalTicks, d.MaxIdleTicks);
        }
    }
}

// Saves while a refusal is shown (its box runs a message loop): no request
// while another one's outcome is out, one more request after it, one box per
// outcome, never a box over a box.
TEST_F(DocView, ReloadRequestsOneAtATime) {
    std::wstring log = dir + L"pipe.log";
    DeleteFileW(log.c_str());
    std::wstring peer = L"Z:" + std::wstring(PIPE_PEER, PIPE_PEER + strlen(PIPE_PEER));
    for (auto& c : peer)
        if (c == L'/') c = L'\\';
    std::wstring cmd = L"\"" + peer + L"\" refuse \"" + log + L"\" 3";
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(
        CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
    for (int i = 0; i < 200; ++i) {
        if (WaitNamedPipeW(L"\\\\.\\pipe\\Ostrel", 10) || GetLastError() != ERROR_FILE_NOT_FOUND) break;
        Sleep(20);
    }
    const wchar_t* active = theCfgStore.GetActivePath();
    DeleteFileW(active);
    ASSERT_TRUE(tmpl->OpenDocumentFile(active));
    int depth = 0, deepest = 0;
    std::vector<std::wstring> texts;
    SetMessageBoxHook([&](const wchar_t* text, UINT) {
        texts.push_back(text);
        deepest = std::max(deepest, ++depth);
        if (texts.size() == 1) {
            for (int i = 0; i < 2; ++i) {
                Doc()->SetModifiedFlag(TRUE);
                EXPECT_TRUE(Doc()->DoSave(active));
            }
        }
        --depth;
        return IDOK;
    });
    Doc()->SetModifiedFlag(TRUE);
    EXPECT_TRUE(Doc()->DoSave(active));
    SetMessageBoxHook(nullptr);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(1, deepest);
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(texts[0], texts[1]);
    EXPECT_EQ("RELOAD\r\nRELOAD\r\n", cfgtest::ReadBytes(log));
}

// Many rows at once: the rows that stay keep their order, the focus ends as
// deleting row by row leaves it, and undo brings every row back.
TEST_F(DocView, DeletingManyRows) {
    std::vector<std::wstring> names;
    std::vector<std::pair<const wchar_t*, int>> devs{{L"OpcServer_Global", -1}};
    for (int i = 0; i < 40; ++i) names.push_back(L"D" + std::to_wstring(i));
    for (auto& n : names) devs.push_back({n.c_str(), 4});
    std::wstring path = WriteConfig(L"many.ini", devs);
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    ASSERT_EQ(41, Rows());
    std::vector<int> rows;
    for (int r = 5; r <= 30; ++r) rows.push_back(r);
    rows.push_back(38);
    Select(rows);
    List().SetItemState(10, LVIS_FOCUSED, LVIS_FOCUSED);
    std::vector<std::wstring> kept;
    for (int r = 0; r < Rows(); ++r)
        if (std::find(rows.begin(), rows.end(), r) == rows.end()) kept.push_back(Text(r, 1).GetString());
    Command(ID_EDIT_CLEAR);
    ASSERT_EQ(41 - (int)rows.size(), Rows());
    for (int r = 0; r < Rows(); ++r) EXPECT_EQ(kept[(size_t)r], Text(r, 1).GetString());
    EXPECT_EQ(5, List().GetNextItem(-1, LVNI_FOCUSED));
    EXPECT_EQ(1u, List().GetSelectedCount());
    EXPECT_TRUE(Doc()->IsModified());
    Command(ID_EDIT_UNDO);
    EXPECT_EQ(41, Rows());
    EXPECT_EQ(rows.size(), List().GetSelectedCount());
}

// Sorting moves the selected and focused states with their records; rows
// that compare equal keep their order.
TEST_F(DocView, SortKeepsTiesInOrderAndStatesWithTheirRecords) {
    std::wstring path = WriteConfig(
        L"sort.ini",
        {{L"OpcServer_Global", -1}, {L"P0", 4}, {L"Q1", 0}, {L"P2", 4}, {L"Q3", 0}, {L"P4", 4}, {L"Q5", 0}});
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Pump();
    auto names = [&] {
        std::wstring all;
        for (int r = 0; r < Rows(); ++r) all += std::wstring(Text(r, 1).GetString()) + L",";
        return all;
    };
    ASSERT_EQ(L"Q5,P4,Q3,P2,Q1,P0,,", names());
    Select({1, 4});                                      // P4, Q1
    List().SetItemState(3, LVIS_FOCUSED, LVIS_FOCUSED);  // P2
    auto click = [&](int column) {
        NMLISTVIEW nm{};
        nm.hdr.hwndFrom = View()->m_hWnd;
        nm.hdr.idFrom = (UINT_PTR)GetDlgCtrlID(View()->m_hWnd);
        nm.hdr.code = LVN_COLUMNCLICK;
        nm.iItem = -1;
        nm.iSubItem = column;
        ::SendMessageW(GetParent(View()->m_hWnd), WM_NOTIFY, nm.hdr.idFrom, (LPARAM)&nm);
    };
    click(5);  // type: global, then type 0, then type 4
    EXPECT_EQ(L",Q5,Q3,Q1,P4,P2,P0,", names());
    EXPECT_EQ(2u, List().GetSelectedCount());
    EXPECT_EQ(3, List().GetNextItem(-1, LVNI_SELECTED));
    EXPECT_EQ(4, List().GetNextItem(3, LVNI_SELECTED));
    EXPECT_EQ(5, List().GetNextItem(-1, LVNI_FOCUSED));
    EXPECT_TRUE(Enabled(ID_DEVICE_ENABLE));
    click(5);  // descending: the ties keep the ascending order
    EXPECT_EQ(L"P4,P2,P0,Q5,Q3,Q1,,", names());
    EXPECT_EQ(0, List().GetNextItem(-1, LVNI_SELECTED));
    EXPECT_EQ(5, List().GetNextItem(0, LVNI_SELECTED));
    EXPECT_EQ(1, List().GetNextItem(-1, LVNI_FOCUSED));
    // the store holds the view's order reversed
    std::wstring store;
    for (CDeviceCfg* d = theCfgStore.GetFirstDevice(); d; d = theCfgStore.GetNextDevice(d))
        store = std::wstring(d->DeviceType == kTypeGlobal ? L"" : d->OpcName.GetString()) + L"," + store;
    EXPECT_EQ(names(), store);
}

// Typing letters in the list searches the first column, which has no text:
// the selection stays. A click with shift selects a range, and the commands
// follow it.
TEST_F(DocView, TypingAndShiftClickInTheList) {
    std::wstring path = WriteConfig(L"keys.ini", {{L"OpcServer_Global", -1}, {L"A", 4}, {L"B", 8}, {L"C", 9}});
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Pump();
    Select({2});
    List().SetItemState(2, LVIS_FOCUSED, LVIS_FOCUSED);
    for (wchar_t c : {L'A', L'C', L'O'}) View()->SendMessage(WM_CHAR, c, 1);
    EXPECT_EQ(1u, List().GetSelectedCount());
    EXPECT_EQ(2, List().GetNextItem(-1, LVNI_SELECTED));
    EXPECT_EQ(2, List().GetNextItem(-1, LVNI_FOCUSED));

    auto clickRow = [&](int row, WPARAM keys) {
        RECT r;
        ASSERT_TRUE(List().GetItemRect(row, &r, LVIR_LABEL));
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        View()->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
        View()->SendMessage(WM_LBUTTONUP, keys, at);
        Pump();
    };
    clickRow(0, 0);  // the radio module alone: nothing to enable or disable
    EXPECT_EQ(1u, List().GetSelectedCount());
    EXPECT_FALSE(Enabled(ID_DEVICE_ENABLE));
    EXPECT_TRUE(Enabled(ID_DEVICE_PROPERTIES) || !HasDeviceDialog(kKindRadioModule));
    clickRow(2, MK_SHIFT);  // module, transceiver, I/O device
    EXPECT_EQ(3u, List().GetSelectedCount());
    EXPECT_TRUE(Enabled(ID_DEVICE_ENABLE));
    EXPECT_FALSE(Enabled(ID_DEVICE_PROPERTIES));
    clickRow(0, 0);
    EXPECT_EQ(1u, List().GetSelectedCount());
    EXPECT_FALSE(Enabled(ID_DEVICE_ENABLE));
}

// A sort keeps the scroll position, then brings the first selected row into
// view: where the focused row went does not scroll the list.
TEST_F(DocView, SortScrollsOnlyToTheFirstSelectedRow) {
    std::vector<std::wstring> names;
    std::vector<std::pair<const wchar_t*, int>> devs{{L"OpcServer_Global", -1}};
    for (int i = 0; i < 200; ++i) {
        wchar_t name[8];
        swprintf(name, 8, L"N%03d", i);
        names.push_back(name);
    }
    for (auto& n : names) devs.push_back({n.c_str(), 4});
    std::wstring path = WriteConfig(L"scroll.ini", devs);
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Pump();
    ASSERT_EQ(201, Rows());
    ASSERT_LT(List().GetCountPerPage(), 100);
    ASSERT_STREQ(L"N199", Text(0, 1));
    Select({194});
    ASSERT_STREQ(L"N005", Text(194, 1));
    List().SetItemState(49, LVIS_FOCUSED, LVIS_FOCUSED);  // N150
    List().EnsureVisible(0, FALSE);
    ASSERT_EQ(0, List().GetTopIndex());
    NMLISTVIEW nm{};
    nm.hdr.hwndFrom = View()->m_hWnd;
    nm.hdr.idFrom = (UINT_PTR)GetDlgCtrlID(View()->m_hWnd);
    nm.hdr.code = LVN_COLUMNCLICK;
    nm.iItem = -1;
    nm.iSubItem = 1;
    ::SendMessageW(GetParent(View()->m_hWnd), WM_NOTIFY, nm.hdr.idFrom, (LPARAM)&nm);
    ASSERT_STREQ(L"N005", Text(5, 1));
    EXPECT_EQ(5, List().GetNextItem(-1, LVNI_SELECTED));
    EXPECT_EQ(150, List().GetNextItem(-1, LVNI_FOCUSED));
    EXPECT_EQ(0, List().GetTopIndex());
    // without a selection the list stays where it is
    Select({});
    ::SendMessageW(GetParent(View()->m_hWnd), WM_NOTIFY, nm.hdr.idFrom, (LPARAM)&nm);
    EXPECT_EQ(50, List().GetNextItem(-1, LVNI_FOCUSED));  // behind the global options row
    EXPECT_EQ(0, List().GetTopIndex());
}

// Sizing the columns gives the widths the list control's own sizing gives
// over every row, wherever the widest texts stand.
TEST_F(DocView, ColumnSizesAsTheListItselfSizesThem) {
    std::wstring path = dir + L"widths.ini";
    {
        CCfgStore s((dir + L"unused.ini").c_str());
        s.EnsureGlobalDevice();
        const int types[] = {4, 0, 8, 9, 18, 2, 23, 11};
        for (int i = 0; i < 400; ++i) {
            std::wstring name = L"Gerät" + std::to_wstring(i);
            if (i == 317) name = L"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW";
            if (i == 5) name = L"iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii";
            CDeviceCfg* d = new CDeviceCfg(name.c_str(), types[i % 8]);
            std::wstring host = L"10.0." + std::to_wstring(i % 250) + L"." + std::to_wstring(i * 7 % 250);
            if (i == 388) host = L"mmmmmmmmmmmmmmmmmmmmmmmmmm.example";
            if (d->GetKind() != kKindRadioModule) d->TargetHost = host.c_str();
            d->MinIntervalTicks = 1 + i % 50;
            d->MaxIdleTicks = i == 250 ? 123456789 : 50 + i % 300;
            if (i == 333) d->HttpPort = 65535;
            s.AddDevice(d);
        }
        ASSERT_TRUE(s.Save(path.c_str()));
    }
    Doc()->SetModifiedFlag(FALSE);
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Pump();
    ASSERT_EQ(401, Rows());
    Command(ID_VIEW_AUTOSIZE);
    const int columns = Header_GetItemCount(List().GetHeaderCtrl());
    ASSERT_EQ(6, columns);
    std::vector<int> ours;
    for (int c = 0; c < columns; ++c) ours.push_back(List().GetColumnWidth(c));
    for (int c = 0; c + 1 < columns; ++c) {
        List().SetColumnWidth(c, LVSCW_AUTOSIZE_USEHEADER);
        EXPECT_EQ(List().GetColumnWidth(c), ours[(size_t)c]) << c;
    }
    EXPECT_GT(ours[1], ours[2]);
}

// A few rows deleted one by one: the focus moves with the rows below them
// and its row ends selected; undo selects the rows brought back.
TEST_F(DocView, DeletingAFewRowsMovesTheFocus) {
    std::wstring path =
        WriteConfig(L"few.ini", {{L"OpcServer_Global", -1}, {L"A", 4}, {L"B", 4}, {L"C", 4}, {L"D", 4}, {L"E", 4}});
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Pump();
    struct Case {
        std::vector<int> rows;
        int focus;
        int focusAfter;
        const wchar_t* left;
    } cases[] = {
        {{1, 3}, 4, 2, L"E,C,A,,"},   // below both deleted rows
        {{1, 3}, 3, 2, L"E,C,A,,"},   // on a deleted row: the next row takes its place
        {{4, 5}, 5, 3, L"E,D,C,B,"},  // the last row: the new last one
        {{0}, 2, 1, L"D,C,B,A,,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.left);
        Select(c.rows);
        List().SetItemState(c.focus, LVIS_FOCUSED, LVIS_FOCUSED);
        Command(ID_EDIT_CLEAR);
        std::wstring left;
        for (int r = 0; r < Rows(); ++r) left += std::wstring(Text(r, 1).GetString()) + L",";
        EXPECT_EQ(c.left, left);
        EXPECT_EQ(c.focusAfter, List().GetNextItem(-1, LVNI_FOCUSED));
        EXPECT_EQ(1u, List().GetSelectedCount());
        EXPECT_EQ(c.focusAfter, List().GetNextItem(-1, LVNI_SELECTED));
        Command(ID_EDIT_UNDO);
        EXPECT_EQ(6, Rows());
        EXPECT_EQ(c.rows.size(), List().GetSelectedCount());
        // back in the original order for the next case
        Doc()->SetModifiedFlag(FALSE);
        ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    }
}

namespace {
// Whether every row shows a record that the store still holds.
bool RowsAreLive(CTamselView* view) {
    std::vector<CDeviceCfg*> live;
    for (CDeviceCfg* d = theCfgStore.GetFirstDevice(); d; d = theCfgStore.GetNextDevice(d)) live.push_back(d);
    CListCtrl& list = view->GetListCtrl();
    for (int r = 0; r < list.GetItemCount(); ++r)
        if (std::find(live.begin(), live.end(), view->GetRowDevice(r)) == live.end()) return false;
    return true;
}
}  // namespace

// Every box of an open is shown over a list that paints only records the
// store holds: the view repaints at each one (as a box moved over it makes
// it do) and every row's record is checked.
TEST_F(DocView, NoBoxOfAnOpenShowsFreedRecords) {
    const wchar_t* active = theCfgStore.GetActivePath();
    std::wstring shown = WriteConfig(L"shown.ini", {{L"OpcServer_Global", -1}, {L"A", 4}, {L"B", 8}, {L"C", 2}});
    std::wstring junk = dir + L"junk2.ini";
    std::wstring old = dir + L"old2.txt";
    std::wstring missing = dir + L"missing.ini";
    DeleteFileW(missing.c_str());
    ASSERT_TRUE(cfgtest::WriteBytes(junk, "just text\r\n"));
    ASSERT_TRUE(cfgtest::WriteBytes(old, "KRVD1\r\n4\t1\t10.0.0.5\t49153\t5\t1\r\n"));
    struct Case {
        const char* what;
        std::wstring path;
        std::function<void()> prepare;
        std::vector<int> answers;
    } cases[] = {
        // (Yes would open the file in another program; the box comes first either way)
        {"active without devices", active, [&] { ASSERT_TRUE(cfgtest::WriteBytes(active, "just text\r\n")); }, {IDNO}},
        {"no known format", junk, [] {}, {}},
        {"old format", old, [] {}, {}},
        {"missing", missing, [] {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Doc()->SetModifiedFlag(FALSE);
        ASSERT_TRUE(tmpl->OpenDocumentFile(shown.c_str()));
        Pump();
        ASSERT_EQ(4, Rows());
        c.prepare();
        int seen = 0;
        bool live = true;
        std::deque<int> answers(c.answers.begin(), c.answers.end());
        SetMessageBoxHook([&](const wchar_t*, UINT) {
            ++seen;
            RedrawWindow(View()->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            if (!RowsAreLive(View())) live = false;
            if (answers.empty()) return IDOK;
            int a = answers.front();
            answers.pop_front();
            return a;
        });
        tmpl->OpenDocumentFile(c.path.c_str());
        SetMessageBoxHook(nullptr);
        boxes.Install();
        EXPECT_GE(seen, 1);
        EXPECT_TRUE(live);
        EXPECT_TRUE(RowsAreLive(View()));
        Doc()->SetModifiedFlag(FALSE);  // an old-format import is unsaved
    }
    DeleteFileW(active);
}

namespace {
int RowImageShown(CListCtrl& list, int row) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!list.SendMessage(LVM_GETITEMW, 0, (LPARAM)&item)) return -100;
    return item.iImage;
}
}  // namespace

// Pasting a global options section merges its values into the record the
// global row shows: the row keeps its image.
TEST_F(DocView, PastedGlobalOptionsKeepTheirRowsImage) {
    std::wstring path = WriteConfig(L"glob.ini", {{L"OpcServer_Global", -1}, {L"A", 4}});
    Doc()->SetModifiedFlag(FALSE);
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Pump();
    const int global = 1;
    ASSERT_EQ(kTypeGlobal, View()->GetRowDevice(global)->DeviceType);
    EXPECT_EQ(1, RowImageShown(List(), global));
    Select({global});
    Command(ID_EDIT_COPY);
    Command(ID_EDIT_PASTE);
    Pump();
    ASSERT_EQ(2, Rows());
    EXPECT_EQ(1, RowImageShown(List(), global));
    EXPECT_EQ(1, View()->GetRowDevice(global)->ImageIndex);
}

// Deleting or cutting many rows at once keeps the column widths the user set.
TEST_F(DocView, DeletingManyRowsKeepsTheColumnWidths) {
    std::vector<std::wstring> names;
    std::vector<std::pair<const wchar_t*, int>> devs{{L"OpcServer_Global", -1}};
    for (int i = 0; i < 40; ++i) names.push_back(L"W" + std::to_wstring(i));
    for (auto& n : names) devs.push_back({n.c_str(), 4});
    std::wstring path = WriteConfig(L"widths2.ini", devs);
    for (UINT command : {ID_EDIT_CLEAR, ID_EDIT_CUT}) {
        SCOPED_TRACE(command);
        Doc()->SetModifiedFlag(FALSE);
        ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
        Pump();
        const int set[] = {30, 141, 67, 53, 99};
        for (int c = 0; c < 5; ++c) List().SetColumnWidth(c, set[c]);
        std::vector<int> rows;
        for (int r = 3; r < 23; ++r) rows.push_back(r);
        Select(rows);
        Command(command);
        Pump();
        ASSERT_EQ(21, Rows());
        for (int c = 0; c < 5; ++c) EXPECT_EQ(set[c], List().GetColumnWidth(c)) << c;
    }
}

// Enable/disable on a selection of enabled and disabled devices takes the
// state of the last device that became selected: checked when it is
// enabled, and its use gives every selected device the opposite state.
TEST_F(DocView, EnableOnAMixedSelectionFollowsTheLastSelectedDevice) {
    std::wstring path = WriteConfig(
        L"mixed.ini", {{L"OpcServer_Global", -1}, {L"Off1", 4}, {L"On1", 4}, {L"Mod", 9}, {L"Off2", 2}, {L"On2", 8}});
    auto reopen = [&] {
        Doc()->SetModifiedFlag(FALSE);
        ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
        Pump();
        ASSERT_EQ(6, Rows());
        // rows: On2, Off2, Mod, On1, Off1, global
        for (int r : {1, 4}) {
            View()->GetRowDevice(r)->Disable = 1;
            View()->UpdateDeviceRow(r);
        }
    };
    auto states = [&] {
        std::wstring s;
        for (int r = 0; r < 5; ++r) s += View()->GetRowDevice(r)->Disable ? L'0' : L'1';
        return s;
    };
    struct Case {
        const char* what;
        std::vector<int> picks;  // one by one, in this order
        int checked;
        const wchar_t* after;  // On2 Off2 Mod On1 Off1 (1 = enabled)
    } cases[] = {
        {"enabled, then disabled", {3, 4}, 0, L"10111"},
        {"disabled, then enabled", {4, 3}, 1, L"10100"},
        {"disabled, then a radio module", {1, 2}, 0, L"11110"},
        {"enabled, then the global options", {0, 5}, 1, L"00110"},
        {"enabled, disabled, enabled", {0, 1, 3}, 1, L"00100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reopen();
        Select(c.picks);
        EXPECT_EQ(c.checked, Checked(ID_DEVICE_ENABLE));
        Command(ID_DEVICE_ENABLE);
        EXPECT_EQ(c.after, states());
        EXPECT_EQ(1 - c.checked, Checked(ID_DEVICE_ENABLE));
    }

    // All at once: the lowest device that can be enabled and disabled.
    reopen();
    Select({});
    Command(ID_EDIT_SELECT_ALL);
    EXPECT_EQ(0, Checked(ID_DEVICE_ENABLE));  // Off1
    Select({4});
    Command(ID_EDIT_SELECT_ALL);  // On1 is the lowest that was not selected yet
    EXPECT_EQ(1, Checked(ID_DEVICE_ENABLE));

    // A range by a click with shift: the list selects the whole range anew
    // (its anchor too), and its lowest device decides.
    auto clickRow = [&](int row, WPARAM keys) {
        RECT r;
        ASSERT_TRUE(List().GetItemRect(row, &r, LVIR_LABEL));
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        View()->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
        View()->SendMessage(WM_LBUTTONUP, keys, at);
        Pump();
    };
    reopen();
    clickRow(3, 0);  // On1
    EXPECT_EQ(1, Checked(ID_DEVICE_ENABLE));
    clickRow(0, MK_SHIFT);  // On2 .. On1
    EXPECT_EQ(4u, List().GetSelectedCount());
    EXPECT_EQ(1, Checked(ID_DEVICE_ENABLE));
    clickRow(4, 0);  // Off1
    EXPECT_EQ(0, Checked(ID_DEVICE_ENABLE));
    clickRow(2, MK_SHIFT);  // Mod .. Off1
    EXPECT_EQ(3u, List().GetSelectedCount());
    EXPECT_EQ(0, Checked(ID_DEVICE_ENABLE));
    clickRow(1, MK_CONTROL);  // and Off2
    EXPECT_EQ(0, Checked(ID_DEVICE_ENABLE));
    clickRow(0, MK_CONTROL);  // and On2
    EXPECT_EQ(1, Checked(ID_DEVICE_ENABLE));
    Command(ID_DEVICE_ENABLE);
    EXPECT_EQ(L"00100", states());
}

namespace {
bool PutOnClipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    bool ok = false;
    if (mem) {
        memcpy(GlobalLock(mem), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(mem);
        ok = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
        if (!ok) GlobalFree(mem);
    }
    CloseClipboard();
    return ok;
}
}  // namespace

// A paste whose only section is the global options changes the document
// when it changes a value: closing then asks. The same values change nothing.
TEST_F(DocView, PastingOnlyGlobalOptionsMarksTheDocumentModified) {
    std::wstring path = WriteConfig(L"pglob.ini", {{L"OpcServer_Global", -1}, {L"A", 4}});
    Doc()->SetModifiedFlag(FALSE);
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Pump();
    ASSERT_FALSE(Doc()->IsModified());
    CDeviceCfg* global = View()->GetRowDevice(1);
    ASSERT_EQ(kTypeGlobal, global->DeviceType);
    const int idle = global->IdleTicks;

    Select({1});
    Command(ID_EDIT_COPY);
    Command(ID_EDIT_PASTE);
    EXPECT_FALSE(Doc()->IsModified()) << "the same values";

    wchar_t text[128];
    swprintf(text, 128, L" \r\n[OpcServer_Global]\r\nDeviceType=ffffffff\r\nIdleTicks=%x\r\n", idle + 7);
    ASSERT_TRUE(PutOnClipboard(View()->m_hWnd, text));
    Command(ID_EDIT_PASTE);
    EXPECT_EQ(idle + 7, global->IdleTicks);
    EXPECT_EQ(2, Rows());
    EXPECT_TRUE(Doc()->IsModified());
    boxes.texts.clear();
    boxes.answers = {IDCANCEL};
    EXPECT_FALSE(Doc()->SaveModified());
    ASSERT_EQ(1u, boxes.texts.size());
    Doc()->SetModifiedFlag(FALSE);
}

// The question before a modified file is closed names it by its title, as
// the title bar does; an untitled document by "Unbenannt".
TEST_F(DocView, SaveQuestionNamesTheTitle) {
    std::wstring path = WriteConfig(L"other.ini", {{L"OpcServer_Global", -1}, {L"A", 4}});
    Doc()->SetModifiedFlag(FALSE);
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Doc()->SetModifiedFlag(TRUE);
    boxes.texts.clear();
    boxes.answers = {IDCANCEL};
    EXPECT_FALSE(Doc()->SaveModified());
    ASSERT_EQ(1u, boxes.texts.size());
    EXPECT_EQ(L"Änderungen in other.ini speichern?", boxes.texts[0]);

    Doc()->SetModifiedFlag(FALSE);
    ASSERT_TRUE(tmpl->OpenDocumentFile(nullptr));
    Doc()->SetModifiedFlag(TRUE);
    boxes.texts.clear();
    boxes.answers = {IDNO};
    EXPECT_TRUE(Doc()->SaveModified());
    ASSERT_EQ(1u, boxes.texts.size());
    EXPECT_EQ(L"Änderungen in Unbenannt speichern?", boxes.texts[0]);
    Doc()->SetModifiedFlag(FALSE);
}

// Opening, copying, pasting and undoing many devices while another program
// keeps sending commands that free records (new, delete) and a close: each
// waits for the long command it came during, so no command sees a store
// half read and no row outlives its record.
TEST_F(DocView, CommandsSentDuringLongWorkWaitForIt) {
    const int kDevices = 20000;
    std::wstring path = dir + L"many.ini";
    ASSERT_TRUE(WriteManyDevices(path, kDevices));
    SetMessageBoxHook([](const wchar_t*, UINT) { return IDNO; });
    if (!Doc()) {
        ASSERT_TRUE(tmpl->OpenDocumentFile(nullptr));
    }
    Doc()->SetModifiedFlag(FALSE);
    HWND frame = View()->GetParentFrame()->m_hWnd;
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::atomic<bool> ended{false};
    std::thread sender([&] {
        const UINT ids[] = {ID_FILE_NEW, ID_EDIT_SELECT_ALL, ID_EDIT_CLEAR, ID_EDIT_UNDO};
        for (int k = 0; !stop; ++k) {
            DWORD_PTR r;
            SendMessageTimeoutW(frame, WM_COMMAND, MAKEWPARAM(ids[k % 4], 0), 0, SMTO_NORMAL, 5000, &r);
            ++sent;
            Sleep(1);
        }
        ended = true;
    });
    auto step = [&](const char* what, const std::function<void()>& run) {
        SCOPED_TRACE(what);
        run();
        EXPECT_TRUE(RowsAreLive(View()));
    };
    step("open", [&] { tmpl->OpenDocumentFile(path.c_str()); });
    step("copy", [&] {
        View()->OnEditSelectAll();
        Command(ID_EDIT_COPY);
    });
    step("paste", [&] { Command(ID_EDIT_PASTE); });
    step("delete and undo", [&] {
        View()->OnEditSelectAll();
        Command(ID_EDIT_CLEAR);
        Command(ID_EDIT_UNDO);
    });
    stop = true;
    while (!ended) Pump();  // its last command may wait for an answer
    sender.join();
    Pump();
    EXPECT_GT(sent.load(), 0);
    EXPECT_TRUE(RowsAreLive(View()));
    int records = 0;
    for (CDeviceCfg* d = theCfgStore.GetFirstDevice(); d; d = theCfgStore.GetNextDevice(d)) ++records;
    EXPECT_EQ(records, Rows());
    SetMessageBoxHook(nullptr);
    boxes.Install();
    Doc()->SetModifiedFlag(FALSE);
}

namespace {

// Whether the rows and the store hold the same records, each once: no row
// without its record, no record twice, as many rows as records.
::testing::AssertionResult RowsMatchStore(CTamselView* view) {
    std::unordered_map<const CDeviceCfg*, int> shown;
    const int rows = view->GetListCtrl().GetItemCount();
    int records = 0;
    for (CDeviceCfg* d = theCfgStore.GetFirstDevice(); d; d = theCfgStore.GetNextDevice(d)) {
        if (!shown.emplace(d, 0).second) return ::testing::AssertionFailure() << "a record twice in the store";
        if (++records > 2 * rows + 16) return ::testing::AssertionFailure() << "the store's list runs on past its rows";
    }
    for (int r = 0; r < rows; ++r) {
        auto it = shown.find(view->GetRowDevice(r));
        if (it == shown.end()) return ::testing::AssertionFailure() << "row " << r << " shows no record of the store";
        if (++it->second > 1) return ::testing::AssertionFailure() << "row " << r << " shows a record twice";
    }
    if (rows != records) return ::testing::AssertionFailure() << rows << " rows for " << records << " records";
    return ::testing::AssertionSuccess();
}

// The sections of a configuration file.
int SectionsIn(const std::wstring& path) {
    const std::string b = cfgtest::ReadBytes(path);
    int n = 0;
    for (size_t i = 0; i + 3 < b.size(); i += 2)
        if (b[i] == '\n' && b[i + 1] == 0 && b[i + 2] == '[' && b[i + 3] == 0) ++n;
    return n;
}

// What automation and other programs send while a step runs, from a thread
// of its own and from another process, a burst every few milliseconds:
// clicks on the header's "OPC-Name", a double click on the first row and
// keys to the list, commands and closes to the frame and the list, and
// (from the thread) notifications to both.
class CSentDuringSteps {
public:
    CSentDuringSteps(HWND frame, HWND list) {
        HWND header = ListView_GetHeader(list);
        RECT hr{}, rr{};
        Header_GetItemRect(header, 1, &hr);
        ListView_GetItemRect(list, 0, &rr, LVIR_LABEL);
        const POINT h{(hr.left + hr.right) / 2, (hr.top + hr.bottom) / 2};
        const POINT r{(rr.left + rr.right) / 2, (rr.top + rr.bottom) / 2};
        const LPARAM atHeader = MAKELPARAM(h.x, h.y), atRow = MAKELPARAM(r.x, r.y);
        const UINT_PTR listId = (UINT_PTR)GetDlgCtrlID(list);
        m_columnClick.hdr = {list, listId, (UINT)LVN_COLUMNCLICK};
        m_columnClick.iItem = -1;
        m_columnClick.iSubItem = 1;
        m_doubleClick.hdr = {list, listId, (UINT)NM_DBLCLK};
        m_headerClick.hdr = {header, (UINT_PTR)GetDlgCtrlID(header), (UINT)HDN_ITEMCLICKW};
        m_headerClick.iItem = 1;
        m_sends = {
            {header, WM_LBUTTONDOWN, MK_LBUTTON, atHeader},
            {header, WM_LBUTTONUP, 0, atHeader},
            {list, WM_LBUTTONDOWN, MK_LBUTTON, atRow},
            {list, WM_LBUTTONUP, 0, atRow},
            {list, WM_LBUTTONDBLCLK, MK_LBUTTON, atRow},
            {list, WM_LBUTTONUP, 0, atRow},
            {list, WM_KEYDOWN, VK_DOWN, 1},
            {list, WM_KEYUP, VK_DOWN, (LPARAM)0xC0000001u},
            {list, WM_KEYDOWN, VK_DELETE, 1},
            {list, WM_KEYUP, VK_DELETE, (LPARAM)0xC0000001u},
            {frame, WM_COMMAND, 0, 0},  // the command of the burst
            {frame, WM_NOTIFY, listId, (LPARAM)&m_columnClick},
            {frame, WM_NOTIFY, listId, (LPARAM)&m_doubleClick},
            {list, WM_NOTIFY, m_headerClick.hdr.idFrom, (LPARAM)&m_headerClick},
            {frame, WM_CLOSE, 0, 0},
            {list, WM_CLOSE, 0, 0},
        };
        m_thread = std::thread([this] { Run(); });
        StartProcess(frame, list, header, h, r);
    }
    ~CSentDuringSteps() { Stop(); }
    bool ProcessStarted() const { return m_process != nullptr; }
    // Bursts while a step runs (from the step's start to its end).
    void Begin() {
        m_on = true;
        if (m_processOn) SetEvent(m_processOn);
    }
    void End() {
        m_on = false;
        if (m_processOn) ResetEvent(m_processOn);
    }
    // Ends both senders; their last messages may wait for this thread.
    void Stop() {
        End();
        m_stop = true;
        if (m_processStop) SetEvent(m_processStop);
        const DWORD start = GetTickCount();
        while ((!m_ended || (m_process && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT)) &&
               GetTickCount() - start < 60000) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
            Sleep(1);
        }
        if (m_thread.joinable()) m_thread.join();
        if (m_process) {
            DWORD code = 0;
            if (GetExitCodeProcess(m_process, &code) && code != STILL_ACTIVE) m_processBursts = (int)code;
            CloseHandle(m_process);
            m_process = nullptr;
        }
        for (HANDLE* e : {&m_processOn, &m_processStop})
            if (*e) {
                CloseHandle(*e);
                *e = nullptr;
            }
    }
    int Bursts() const { return m_bursts; }
    // What the process sent, once stopped (-1 while it runs or when it failed).
    int ProcessBursts() const { return m_processBursts; }

private:
    struct CSend {
        HWND to;
        UINT msg;
        WPARAM wp;
        LPARAM lp;
    };
    void StartProcess(HWND frame, HWND list, HWND header, POINT h, POINT r) {
        wchar_t on[64], stop[64];
        swprintf(on, 64, L"KrvSentInputOn%lu", GetCurrentProcessId());
        swprintf(stop, 64, L"KrvSentInputStop%lu", GetCurrentProcessId());
        m_processOn = CreateEventW(nullptr, TRUE, FALSE, on);
        m_processStop = CreateEventW(nullptr, TRUE, FALSE, stop);
        if (!m_processOn || !m_processStop) return;
        std::wstring peer = L"Z:" + std::wstring(SENT_INPUT_PEER, SENT_INPUT_PEER + strlen(SENT_INPUT_PEER));
        for (auto& c : peer)
            if (c == L'/') c = L'\\';
        wchar_t args[256];
        swprintf(args, 256, L" %lx %lx %lx %ld %ld %ld %ld %ls %ls", (unsigned long)(UINT_PTR)frame,
                 (unsigned long)(UINT_PTR)list, (unsigned long)(UINT_PTR)header, h.x, h.y, r.x, r.y, on, stop);
        std::wstring cmd = L"\"" + peer + L"\"" + args;
        std::vector<wchar_t> buf(cmd.begin(), cmd.end());
        buf.push_back(0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
            return;
        CloseHandle(pi.hThread);
        m_process = pi.hProcess;
    }
    void Run() {
        // Commands that free or move records, or change them.
        const UINT commands[] = {ID_EDIT_CLEAR, ID_EDIT_UNDO, ID_DEVICE_ENABLE};
        for (int k = 0; !m_stop; ++k) {
            if (!m_on) {
                Sleep(1);
                continue;
            }
            Sleep(40 + (DWORD)(k * 7) % 51);
            for (const CSend& s : m_sends) {
                if (!m_on) break;
                const WPARAM wp = s.msg == WM_COMMAND ? MAKEWPARAM(commands[k % 3], 0) : s.wp;
                // A notification lives here: its send must not time out.
                if (s.msg == WM_NOTIFY) {
                    SendMessageW(s.to, s.msg, wp, s.lp);
                } else {
                    DWORD_PTR r = 0;
                    SendMessageTimeoutW(s.to, s.msg, wp, s.lp, SMTO_NORMAL, 20000, &r);
                }
            }
            ++m_bursts;
        }
        m_ended = true;
    }
    NMLISTVIEW m_columnClick{};
    NMITEMACTIVATE m_doubleClick{};
    NMHEADERW m_headerClick{};
    std::vector<CSend> m_sends;
    HANDLE m_process = nullptr, m_processOn = nullptr, m_processStop = nullptr;
    int m_processBursts = -1;
    std::atomic<bool> m_on{false}, m_stop{false}, m_ended{false};
    std::atomic<int> m_bursts{0};
    std::thread m_thread;  // last: it starts once the others stand
};

// Every dialog about to open on this thread is refused and counted: while
// a step runs, and otherwise.
class CRefusedDialogs {
public:
    CRefusedDialogs() {
        s_self = this;
        m_hook = SetWindowsHookExW(WH_CBT, &Cbt, nullptr, GetCurrentThreadId());
    }
    ~CRefusedDialogs() {
        if (m_hook) UnhookWindowsHookEx(m_hook);
        s_self = nullptr;
    }
    bool Hooked() const { return m_hook != nullptr; }
    bool inStep = false;
    int duringSteps = 0, otherwise = 0;

private:
    static LRESULT CALLBACK Cbt(int code, WPARAM wp, LPARAM lp) {
        wchar_t cls[16] = {};
        if (code == HCBT_CREATEWND && s_self && GetClassNameW((HWND)wp, cls, 16) && !wcscmp(cls, L"#32770")) {
            ++(s_self->inStep ? s_self->duringSteps : s_self->otherwise);
            return 1;
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
    static CRefusedDialogs* s_self;
    HHOOK m_hook = nullptr;
};
CRefusedDialogs* CRefusedDialogs::s_self = nullptr;

}  // namespace

// Open, copy, paste, delete and undo on many devices while another thread
// clicks the header, double-clicks a row, types in the list and sends
// commands, notifications and closes: nothing it sends reaches the records
// while the work runs, so the rows show the store's records, each once, and
// a save writes every one of them. Twenty rounds, since a damaged list shows
// only in some of them.
TEST_F(DocView, NothingSentDuringLongWorkTouchesTheDevices) {
    const int kDevices = 20000, kRounds = 20;
    std::wstring path = dir + L"sent.ini", saved = dir + L"sent_saved.ini";
    ASSERT_TRUE(WriteManyDevices(path, kDevices));
    // A close asks first, and is refused; every other box is accepted.
    int closesAsked = 0;
    SetMessageBoxHook([&](const wchar_t* text, UINT) {
        if (!wcsstr(text, L"speichern?")) return IDOK;
        ++closesAsked;
        return IDCANCEL;
    });
    if (!Doc()) {
        ASSERT_TRUE(tmpl->OpenDocumentFile(nullptr));
    }
    Doc()->SetModifiedFlag(FALSE);
    ASSERT_TRUE(tmpl->OpenDocumentFile(path.c_str()));
    Pump();
    // A double click opens the device's dialog: never inside the work.
    CRefusedDialogs dialogs;
    ASSERT_TRUE(dialogs.Hooked());
    CSentDuringSteps sender(View()->GetParentFrame()->m_hWnd, View()->m_hWnd);
    ASSERT_TRUE(sender.ProcessStarted());
    auto step = [&](const char* what, const std::function<void()>& run) {
        SCOPED_TRACE(what);
        sender.Begin();
        dialogs.inStep = true;
        run();
        dialogs.inStep = false;
        sender.End();
        EXPECT_TRUE(RowsMatchStore(View()));
        EXPECT_EQ(0, dialogs.duringSteps);
        // Nothing the list did went unseen: the summary is that of its rows.
        View()->SyncSelectionSummary();
        EXPECT_EQ((int)List().GetSelectedCount(), View()->m_nSelected);
    };
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        SCOPED_TRACE(round);
        if (round % 5 == 0) {
            Doc()->SetModifiedFlag(FALSE);
            step("open", [&] { tmpl->OpenDocumentFile(path.c_str()); });
            ASSERT_TRUE(View());
            Doc()->SetModifiedFlag(TRUE);  // a close sent meanwhile asks
            step("copy", [&] {
                View()->OnEditSelectAll();
                Command(ID_EDIT_COPY);
            });
        }
        step("paste", [&] { Command(ID_EDIT_PASTE); });
        step("delete", [&] { Command(ID_EDIT_CLEAR); });
        step("undo", [&] { Command(ID_EDIT_UNDO); });
        if (round % 5 == 4) {
            ASSERT_TRUE(Doc()->OnSaveDocument(saved.c_str()));
            Doc()->SetModifiedFlag(TRUE);
            int records = 0;
            for (CDeviceCfg* d = theCfgStore.GetFirstDevice(); d && records <= 4 * kDevices;
                 d = theCfgStore.GetNextDevice(d))
                ++records;
            EXPECT_EQ(records, SectionsIn(saved));
            EXPECT_EQ(Rows(), SectionsIn(saved));
        }
        // The restored rows go again (for good), and what was held back runs.
        View()->DeleteSelection(false);
        Pump();
        ASSERT_TRUE(View());
        EXPECT_TRUE(RowsMatchStore(View()));
    }
    sender.Stop();
    Pump();
    EXPECT_GT(sender.Bursts(), kRounds);
    EXPECT_GT(sender.ProcessBursts(), kRounds);
    EXPECT_GT(closesAsked, 0);
    EXPECT_GT(dialogs.otherwise, 0) << "the double clicks ran after the work";
    EXPECT_TRUE(RowsMatchStore(View()));
    SetMessageBoxHook(nullptr);
    boxes.Install();
    Doc()->SetModifiedFlag(FALSE);
}
