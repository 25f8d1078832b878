// Brackwell: the trace grid against the real registry, the service part
// against a real service of ours, and the whole program once.
#include "svc_fixture.h"
#include <algorithm>

using namespace svctest;

namespace {

const wchar_t traceKey[] = L"SOFTWARE\\Korvelin\\Pellquist Server";
const wchar_t* const valueNames[5] = {L"TraceError", L"TraceWarning", L"TraceInfo", L"TraceDebug", L"TraceFileEnable"};
const int maskIds[4] = {IDC_MASK_ERROR, IDC_MASK_WARNING, IDC_MASK_INFO, IDC_MASK_DEBUG};

std::wstring ToolExe() {
    std::string unixPath = KRV_TOOL_EXE;
    std::wstring p = L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
    std::replace(p.begin(), p.end(), L'/', L'\\');
    return p;
}

void DeleteTraceKey() {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, traceKey, KEY_WOW64_32KEY, 0);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, traceKey, KEY_WOW64_64KEY, 0);
}

bool SixtyFourBitWindows() {
#ifdef _WIN64
    return true;
#else
    BOOL wow = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow);
    return wow != FALSE;
#endif
}

void PutValue(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, traceKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                                             nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

void PutDword(const wchar_t* name, DWORD v) { PutValue(name, REG_DWORD, &v, 4); }

struct Stored {
    bool present;
    DWORD type;
    DWORD size;
    DWORD value;
};

// Read back through the view the program itself uses (32-bit).
Stored ReadBack(const wchar_t* name, REGSAM view = KEY_WOW64_32KEY, const wchar_t* path = traceKey) {
    Stored s = {false, 0, 0, 0};
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return s;
    BYTE buf[16] = {};
    s.size = sizeof buf;
    if (RegQueryValueExW(key, name, nullptr, &s.type, buf, &s.size) == ERROR_SUCCESS) {
        s.present = true;
        memcpy(&s.value, buf, 4);
    }
    RegCloseKey(key);
    return s;
}

bool Checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED; }

void Click(HWND dlg, int id) { SendMessageW(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }

class TraceGrid : public ::testing::Test {
protected:
    void SetUp() override { DeleteTraceKey(); }
    void TearDown() override { DeleteTraceKey(); }
    void ExpectAllFive(const DWORD (&want)[5]) {
        for (int i = 0; i < 5; ++i) {
            Stored s = ReadBack(valueNames[i]);
            EXPECT_TRUE(s.present) << valueNames[i];
            EXPECT_EQ((DWORD)REG_DWORD, s.type) << valueNames[i];
            EXPECT_EQ(4u, s.size) << valueNames[i];
            EXPECT_EQ(want[i], s.value) << valueNames[i];
        }
    }
};

}  // namespace

TEST_F(TraceGrid, NoKeyShowsZerosAndFirstClickWritesAllFive) {
    OpenDialog d(L"KrvNoSuchService");
    for (int id : maskIds) EXPECT_EQ(L"00000000", ItemText(d.hwnd, id));
    for (int id = IDC_TRACE_ERROR; id <= IDC_TRACE_LAST; ++id) EXPECT_FALSE(Checked(d.hwnd, id)) << id;
    EXPECT_FALSE(Checked(d.hwnd, IDC_TRACE_FILE));
    EXPECT_FALSE(ReadBack(L"TraceError").present);

    Click(d.hwnd, IDC_TRACE_DEBUG + 7);  // "User4 (misc.)" in the Debug column
    EXPECT_TRUE(Checked(d.hwnd, IDC_TRACE_DEBUG + 7));
    EXPECT_EQ(L"80000000", ItemText(d.hwnd, IDC_MASK_DEBUG));
    ExpectAllFive({0, 0, 0, 0x80000000u, 0});
}

TEST_F(TraceGrid, EveryBoxCarriesItsRowBit) {
    const DWORD bits[11] = {0x1, 0x2, 0x4, 0x8, 0x10000000, 0x20000000, 0x40000000, 0x80000000, 0x10, 0x200, 0x40000};
    const int first[4] = {IDC_TRACE_ERROR, IDC_TRACE_WARNING, IDC_TRACE_INFO, IDC_TRACE_DEBUG};
    OpenDialog d(L"KrvNoSuchService");
    DWORD want[5] = {};
    for (int l = 0; l < 4; ++l)
        for (int r = 0; r < 11; ++r) {
            if (l == 1 && (r == 8 || r == 9)) {
                EXPECT_FALSE(Enabled(d.hwnd, first[l] + r));  // 1039, 1040
                continue;
            }
            Click(d.hwnd, first[l] + r);
            want[l] |= bits[r];
            wchar_t hex[16];
            wsprintfW(hex, L"%08X", want[l]);
            ASSERT_EQ(hex, ItemText(d.hwnd, maskIds[l])) << first[l] + r;
            ASSERT_EQ(want[l], ReadBack(valueNames[l]).value) << first[l] + r;
        }
    Click(d.hwnd, IDC_TRACE_FILE);
    want[4] = 1;
    ExpectAllFive(want);
    Click(d.hwnd, IDC_TRACE_FILE);
    want[4] = 0;
    ExpectAllFive(want);
}

TEST_F(TraceGrid, LoadedValuesAndWhatTheNextSaveMakesOfThem) {
    PutDword(L"TraceError", 0x00000105);    // bit 8 has no box
    PutDword(L"TraceWarning", 0x00000210);  // only the disabled boxes
    PutDword(L"TraceInfo", 0x00040000);
    PutDword(L"TraceFileEnable", 2);
    OpenDialog d(L"KrvNoSuchService");
    EXPECT_EQ(L"00000105", ItemText(d.hwnd, IDC_MASK_ERROR));
    EXPECT_EQ(L"00000210", ItemText(d.hwnd, IDC_MASK_WARNING));
    EXPECT_EQ(L"00040000", ItemText(d.hwnd, IDC_MASK_INFO));
    EXPECT_EQ(L"00000000", ItemText(d.hwnd, IDC_MASK_DEBUG));  // missing counts as 0
    EXPECT_TRUE(Checked(d.hwnd, 1011));
    EXPECT_FALSE(Checked(d.hwnd, 1012));
    EXPECT_TRUE(Checked(d.hwnd, 1013));
    EXPECT_TRUE(Checked(d.hwnd, 1039));
    EXPECT_TRUE(Checked(d.hwnd, 1040));
    EXPECT_TRUE(Checked(d.hwnd, 1061));
    EXPECT_TRUE(Checked(d.hwnd, IDC_TRACE_FILE));

    Click(d.hwnd, 1072);
    EXPECT_EQ(L"00000005", ItemText(d.hwnd, IDC_MASK_ERROR));
    EXPECT_EQ(L"00000210", ItemText(d.hwnd, IDC_MASK_WARNING));
    ExpectAllFive({0x5, 0x210, 0x40000, 0x2, 1});
}

TEST_F(TraceGrid, ValuesOfOtherTypesAreReadAsTheirFirstFourBytes) {
    struct Case {
        const wchar_t* what;
        DWORD type;
        std::vector<BYTE> data;
        const wchar_t* shown;
    } cases[] = {
        {L"string \"1\"", REG_SZ, {'1', 0, 0, 0}, L"00000031"},
        {L"two bytes", REG_BINARY, {0x05, 0x01}, L"00000105"},
        {L"big-endian dword", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, L"01000000"},
        {L"eight bytes", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, L"00000000"},
        {L"long string", REG_SZ, {'1', 0, '2', 0, '3', 0, 0, 0}, L"00000000"},
        {L"empty binary", REG_BINARY, {}, L"00000000"},
    };
    for (const Case& c : cases) {
        DeleteTraceKey();
        PutValue(L"TraceInfo", c.type, c.data.data(), (DWORD)c.data.size());
        OpenDialog d(L"KrvNoSuchService");
        EXPECT_EQ(c.shown, ItemText(d.hwnd, IDC_MASK_INFO)) << c.what;
        EXPECT_EQ(L"00000000", ItemText(d.hwnd, IDC_MASK_ERROR)) << c.what;
    }
}

TEST_F(TraceGrid, ThirtyTwoBitViewLandsUnderWow6432Node) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows (the i686 suite's prefix) has one registry view only";
    OpenDialog d(L"KrvNoSuchService");
    Click(d.hwnd, 1051);
    EXPECT_EQ(1u, ReadBack(L"TraceInfo").value);
    Stored native = ReadBack(L"TraceInfo", KEY_WOW64_64KEY, L"SOFTWARE\\Wow6432Node\\Korvelin\\Pellquist Server");
    EXPECT_TRUE(native.present);
    EXPECT_EQ(1u, native.value);
    EXPECT_FALSE(ReadBack(L"TraceInfo", KEY_WOW64_64KEY).present);
}

TEST_F(TraceGrid, OtherCommandsWriteNothing) {
    OpenDialog d(L"KrvNoSuchService");
    for (int id : {IDOK, IDCANCEL, IDC_STATUS, IDC_MASK_ERROR, 1010, 1082, 1089, 1091}) d.Command(id);
    EXPECT_FALSE(ReadBack(L"TraceError").present);
}

TEST(BrackwellService, CaptionStatesAndFocus) {
    Recorder rec;
    TestService svc(UniqueName(L"KrvBrackwell"), L"Krv Brackwell Test Server");
    ASSERT_TRUE(svc.Ok());
    OpenDialog d(svc.Name());
    ShowWindow(d.hwnd, SW_SHOW);
    SetForegroundWindow(d.hwnd);
    EXPECT_EQ(L"Service: Krv Brackwell Test Server", WindowText(d.hwnd));
    d.Tick();
    ASSERT_EQ(L"STOPPED", d.Status());
    SetFocus(GetDlgItem(d.hwnd, IDC_START));
    d.Command(IDC_START);
    EXPECT_EQ(L"START_PENDING", d.Status());
    // Brackwell's previous tab stop before Start is "Trace file".
    EXPECT_EQ(GetDlgItem(d.hwnd, IDC_TRACE_FILE), GetFocus());
    ASSERT_TRUE(d.WaitStatus(L"RUNNING"));
    d.Command(IDC_START);
    EXPECT_EQ(L"1056", d.Code());
    d.Command(IDC_STOP);
    EXPECT_EQ(L"STOP_PENDING", d.Status());
    EXPECT_EQ(L"", d.Code());
    ASSERT_TRUE(d.WaitStatus(L"STOPPED"));
    d.Command(IDC_STOP);
    EXPECT_EQ(std::vector<UINT>{MB_ICONEXCLAMATION}, rec.Beeps());
}

TEST(BrackwellWhole, RunsAsAProgram) {
    DeleteTraceKey();
    PutDword(L"TraceWarning", 0x8);
    TestService svc(UniqueName(L"KrvBrackwellRun"), L"Krv Brackwell Test Server");
    ASSERT_TRUE(svc.Ok());
    ToolProcess tool(ToolExe().c_str(), svc.Name());
    ASSERT_TRUE(tool.hwnd);
    EXPECT_EQ(L"Service: Krv Brackwell Test Server", WindowText(tool.hwnd));
    EXPECT_EQ(L"00000008", ItemText(tool.hwnd, IDC_MASK_WARNING));
    ASSERT_TRUE(tool.WaitItem(IDC_STATUS, L"STOPPED"));

    SendMessageW(GetDlgItem(tool.hwnd, 1071), BM_CLICK, 0, 0);
    EXPECT_EQ(L"00000001", ItemText(tool.hwnd, IDC_MASK_DEBUG));
    EXPECT_EQ(1u, ReadBack(L"TraceDebug").value);
    EXPECT_EQ(8u, ReadBack(L"TraceWarning").value);

    PostMessageW(tool.hwnd, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
    ASSERT_TRUE(tool.WaitItem(IDC_STATUS, L"RUNNING"));
    PostMessageW(tool.hwnd, WM_COMMAND, MAKEWPARAM(IDC_STOP, BN_CLICKED), 0);
    ASSERT_TRUE(tool.WaitItem(IDC_STATUS, L"STOPPED"));
    PostMessageW(tool.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0u, tool.WaitExit());
    DeleteTraceKey();
}
