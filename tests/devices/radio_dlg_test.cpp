// The radio transceiver and radio module dialogs run for real in this
// process against a simulated transceiver (peers/enocean_peer.py): the
// record comes from a real configuration file and is checked in the file
// saved afterwards; the bytes the transceiver received are checked as well.
#include "devices/trcv_dlg.h"
#include "devices/radio_dlg.h"
#include "config/device_cfg.h"
#include "framework/ErrorText.h"
#include "framework/Seams.h"
#include "framework/WinApp.h"
#include "resources/radio_ids.h"
#include "dlg_driver.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

using namespace dlgtest;

namespace {

CWinApp& App() {
    static CWinApp app(L"Varnel");
    return app;
}

std::wstring Folder() {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    std::wstring dir = std::wstring(tmp) + L"krv_radio_dlg\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// One device in a real configuration file, loaded into a store of its own.
class FileRecord {
public:
    FileRecord(int type, const wchar_t* name, const std::function<void(CDeviceCfg&)>& setup)
        : m_path(Folder() + L"rec_" + name + L".ini"), m_name(name) {
        {
            CCfgStore s((Folder() + L"unused.ini").c_str());
            auto* d = new CDeviceCfg(name, type);
            d->BuildDefaultItemNames();
            setup(*d);
            s.AddDevice(d);
            EXPECT_TRUE(s.Save(m_path.c_str()));
        }
        m_store.reset(new CCfgStore((Folder() + L"unused.ini").c_str()));
        EXPECT_GT(m_store->Load(m_path.c_str(), true), 0);
        if (!Rec()) throw std::runtime_error("no record in the file");
    }
    CDeviceCfg* Rec() const { return Find(*m_store, m_name.c_str()); }
    CDeviceCfg* Saved() {
        EXPECT_TRUE(m_store->Save(m_path.c_str()));
        m_saved.reset(new CCfgStore((Folder() + L"unused.ini").c_str()));
        EXPECT_GT(m_saved->Load(m_path.c_str(), true), 0);
        return Find(*m_saved, m_name.c_str());
    }
    std::string FileText() const {
        std::string s;
        if (FILE* f = _wfopen(m_path.c_str(), L"rb")) {
            int c;
            while ((c = fgetc(f)) != EOF) s += (char)c;
            fclose(f);
        }
        return s;
    }

private:
    static CDeviceCfg* Find(CCfgStore& s, const wchar_t* name) {
        for (CDeviceCfg* d = s.GetFirstDevice(); d; d = s.GetNextDevice(d))
            if (d->OpcName == name) return d;
        return nullptr;
    }
    std::wstring m_path, m_name;
    std::unique_ptr<CCfgStore> m_store, m_saved;
};

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::wstring WinPath(const std::string& unix) {
    std::wstring p = L"Z:" + Widen(unix);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    return p;
}
bool Exists(const std::string& unix) { return GetFileAttributesW(WinPath(unix).c_str()) != INVALID_FILE_ATTRIBUTES; }
bool WaitForFile(const std::string& unix) {
    return WaitFor([&] { return Exists(unix); }, 10000);
}

// The simulated transceiver on one TCP port of loopback.
class Transceiver {
public:
    Transceiver(const char* mode, int port, const char* base = "FF800080") {
        static int serial = 0;
        std::string dir = RADIO_WORKDIR "/radio_peer_" + std::to_string(++serial) + "_";
        ready_ = dir + "ready";
        record_ = dir + "record";
        done_ = dir + "done";
        for (const std::string* f : {&ready_, &record_, &done_}) DeleteFileW(WinPath(*f).c_str());
        std::wstring cmd = L"/usr/bin/python3 " + Widen(ENOCEAN_PEER) + L" --port " + std::to_wstring(port) + L" --mode " +
                           Widen(mode) + L" --base " + Widen(base) + L" --ready " + Widen(ready_) + L" --record " +
                           Widen(record_) + L" --done " + Widen(done_) + L" --limit 20";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        started_ = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) && WaitForFile(ready_);
        if (pi.hProcess) {
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    bool Started() const { return started_; }
    // What the peer received, once it has ended.
    std::string Received() const {
        if (!WaitForFile(done_)) return "DEAD";
        std::string b;
        if (FILE* f = _wfopen(WinPath(record_).c_str(), L"rb")) {
            int c;
            while ((c = fgetc(f)) != EOF) b += (char)c;
            fclose(f);
        }
        return b;
    }

private:
    std::string ready_, record_, done_;
    bool started_ = false;
};

const std::string kCommand("\xA5\x5A\xAB\x58\0\0\0\0\0\0\0\0\0\x03", 14);

struct Dialogs : ::testing::Test {
    Recorder rec;
    std::mutex boxLock;
    std::vector<std::wstring> boxes;
    static void SetUpTestSuite() {
        CString::SetResourceModule(GetModuleHandleW(nullptr));
        App().SetRegistryKey(L"Korvelin");
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
    }
    void SetUp() override {
        rec.Install();
        SetMessageBoxHook([this](const wchar_t* text, UINT) {
            std::lock_guard<std::mutex> g(boxLock);
            boxes.push_back(text);
            return IDOK;
        });
    }
    void TearDown() override {
        SetMessageBoxHook(nullptr);
        rec.Remove();
    }
    std::vector<std::wstring> Boxes() {
        std::lock_guard<std::mutex> g(boxLock);
        return boxes;
    }
    std::vector<DWORD_PTR> HelpOnF1(HWND dlg, int id) {
        Focus(dlg, id);
        Key(VK_F1);
        WaitFor([&] { return !rec.Help().empty(); });
        return rec.Help();
    }
};

std::wstring SocketText(int code) {
    CString s;
    FormatSocketError(code, s);
    return (const wchar_t*)s;
}

// ------------------------------------------------------------ transceiver

TEST(HexText, ReadAsTheCLibraryReadsAnUnsignedNumber) {
    struct Case { const wchar_t* text; uint32_t v; } cases[] = {
        {L"ff800080", 0xFF800080u}, {L"0xff800080", 0xFF800080u}, {L"  0XFF800080", 0xFF800080u},
        {L"FF80 0080", 0xFF80u}, {L"", 0}, {L"xyz", 0}, {L"123456789", 0xFFFFFFFFu}, {L"FFFFFFFF", 0xFFFFFFFFu},
    };
    for (const Case& c : cases) EXPECT_EQ(c.v, HexTextToId(c.text)) << c.text;
}

struct TrcvDialog : Dialogs {
    INT_PTR Run(CDeviceCfg* d, const std::function<void(HWND)>& script) {
        CTrcvDeviceDlg dlg;
        dlg.m_pDevice = d;
        return RunModal(dlg, script);
    }
    static void Setup(CDeviceCfg& d) {
        d.TargetHost = L"192.0.2.7";
        d.BinaryPort = 8300;
        d.EnOceanBaseAddress = 0;
        d.Password = L"geheim";
    }
};

TEST_F(TrcvDialog, ShowsTheRecordAndOkWritesIt) {
    FileRecord f(kTypeTransceiver, L"TRCV1", Setup);
    EXPECT_EQ(IDOK, Run(f.Rec(), [&](HWND dlg) {
        EXPECT_EQ(L"192.0.2.7", Text(dlg, IDC_DEV_HOST));
        EXPECT_EQ(L"8300", Text(dlg, IDC_DEV_PORT));
        EXPECT_EQ(L"", Text(dlg, IDC_TRCV_BASE_ID));   // 0: no base ID
        EXPECT_EQ(L"geheim", Text(dlg, IDC_DEV_PASSWORD));
        EXPECT_EQ(L"TRCV1", Text(dlg, IDC_DEV_NAME));
        EXPECT_EQ((std::vector<std::wstring>{L"8000", L"8100", L"8200", L"8300"}), Entries(dlg, IDC_DEV_PORT));
        EXPECT_EQ(std::vector<DWORD_PTR>{103}, HelpOnF1(dlg, IDC_DEV_HOST));
        SetText(dlg, IDC_DEV_HOST, L"10.1.2.3");
        SetText(dlg, IDC_DEV_PORT, L"8100");
        SetText(dlg, IDC_TRCV_BASE_ID, L"0xff800080");
        Press(dlg, IDOK);
    }));
    CDeviceCfg* s = f.Saved();
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(L"10.1.2.3", std::wstring(s->TargetHost));
    EXPECT_EQ(8100, s->BinaryPort);
    EXPECT_EQ(0xFF800080u, (uint32_t)s->EnOceanBaseAddress);
    EXPECT_EQ(kTypeTransceiver, s->DeviceType);
}

TEST_F(TrcvDialog, BaseIdFromTheTransceiverAsTypedCancelKeepsTheRecord) {
    FileRecord f(kTypeTransceiver, L"TRCV1", [](CDeviceCfg& d) {
        Setup(d);
        d.EnOceanBaseAddress = (int)0xFF801200u;
    });
    Transceiver peer("garbage", 8100, "FF800080");
    ASSERT_TRUE(peer.Started());
    EXPECT_EQ(IDCANCEL, Run(f.Rec(), [&](HWND dlg) {
        EXPECT_EQ(L"FF801200", Text(dlg, IDC_TRCV_BASE_ID));
        SetText(dlg, IDC_DEV_HOST, L"127.0.0.1");   // as typed, not the record
        SetText(dlg, IDC_DEV_PORT, L"8100");
        Click(dlg, IDC_TRCV_DETERMINE);
        EXPECT_EQ(L"FF800080", Text(dlg, IDC_TRCV_BASE_ID));
        Press(dlg, IDCANCEL);
    }));
    EXPECT_EQ(kCommand, peer.Received());
    EXPECT_TRUE(Boxes().empty());
    CDeviceCfg* s = f.Saved();
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(0xFF801200u, (uint32_t)s->EnOceanBaseAddress);
    EXPECT_EQ(L"192.0.2.7", std::wstring(s->TargetHost));
}

// Failures: refused shows the socket text, a transceiver that closes or
// stays silent only beeps; the field keeps its text.
TEST_F(TrcvDialog, FailuresOfTheExchange) {
    struct Case { const char* mode; bool box; } cases[] = {{nullptr, true}, {"close-now", false}, {"close", false}, {"silent", false}};
    for (const Case& c : cases) {
        std::unique_ptr<Transceiver> peer;
        if (c.mode) {
            peer.reset(new Transceiver(c.mode, 8200));
            ASSERT_TRUE(peer->Started());
        }
        rec.Clear();
        boxes.clear();
        FileRecord f(kTypeTransceiver, L"TRCV1", [](CDeviceCfg& d) {
            Setup(d);
            d.TargetHost = L"127.0.0.1";
            d.BinaryPort = 8200;
            d.EnOceanBaseAddress = 0x12345678;
        });
        Run(f.Rec(), [&](HWND dlg) {
            Click(dlg, IDC_TRCV_DETERMINE);
            EXPECT_EQ(L"12345678", Text(dlg, IDC_TRCV_BASE_ID)) << (c.mode ? c.mode : "refused");
            Press(dlg, IDCANCEL);
        });
        if (c.box) {
            EXPECT_EQ(std::vector<std::wstring>{SocketText(WSAECONNREFUSED)}, Boxes());
            EXPECT_TRUE(rec.Beeps().empty());
        } else {
            EXPECT_TRUE(Boxes().empty()) << c.mode;
            EXPECT_EQ(std::vector<UINT>{MB_ICONEXCLAMATION}, rec.Beeps()) << c.mode;
            std::string got = peer->Received();
            EXPECT_EQ(strcmp(c.mode, "close-now") == 0 ? std::string() : kCommand, got) << c.mode;
        }
    }
}

}  // namespace
