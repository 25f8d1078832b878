// The reconfiguration dialog against the simulated web device: download into
// the backup, patch, upload, logout, and cancel at every step. Most cases
// drive the dialog modeless on this thread, one idle call at a time; the
// runs from the I/O device dialog use the real modal loops.
#include "reconfig/xml_cfg_dlg.h"
#include "reconfig/cfg_channel.h"
#include "devices/io_device_dlg.h"
#include "config/device_cfg.h"
#include "framework/Seams.h"
#include "framework/WinApp.h"
#include "resources/devices_ids.h"
#include "resources/reconfig_ids.h"
#include "tests/answer_watch.h"
#include "tests/dialog_fixture.h"
#include "tests/reconfig/device_peer.h"
#include "tests/reconfig/temp_files.h"
#include <gtest/gtest.h>
#include <deque>
#include <mutex>
#include <set>

namespace {

const std::string kData = CFGPATCH_DATA;

CWinApp& App() {
    static CWinApp app(L"Varnel");
    return app;
}

std::string Data(const std::string& name) { return ReadFileBytes(krvtest::WinPath(kData + "/" + name)); }

std::string Body(const std::string& raw) { return RequestBody(raw); }
std::string Header(const std::string& raw, const std::string& name) {
    size_t p = raw.find("\r\n" + name + ": ");
    if (p == std::string::npos || p > raw.find("\r\n\r\n")) return "<none>";
    p += name.size() + 4;
    return raw.substr(p, raw.find("\r\n", p) - p);
}
std::string Quote(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}
std::string ServeFile(const std::string& name, const std::string& more = std::string()) {
    return "{\"body_file\": " + Quote(kData + "/" + name) + (more.empty() ? "" : ", " + more) + "}";
}
const std::string kAccepted = "\"reply\": \"{\\\"Sess\\\":\\\"77ab\\\",\\\"UserType\\\":1}\"";
const std::string kXmlSyntaxOk = "\"reply\": \"<html><body>Syntax OK<br></body></html>\"";

std::wstring ActiveFolder() {
    std::wstring p = theCfgStore.GetActivePath();
    size_t slash = p.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : p.substr(0, slash + 1);
}

// Boxes as shown, answered in turn (no answer queued: OK or No as the
// box's default); a test may answer by a function instead.
struct Boxes {
    std::mutex lock;
    std::vector<std::wstring> shown;
    std::vector<UINT> types;
    std::deque<int> answers;
    std::function<int(const wchar_t*, UINT)> answerer;
    size_t Count() {
        std::lock_guard<std::mutex> g(lock);
        return shown.size();
    }
};

class XmlCfgDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CString::SetResourceModule(GetModuleHandleW(nullptr));
        App();
        ASSERT_TRUE(DevicePeer::Get().Ready());
        // The backup goes beside the active configuration.
        std::wstring folder = ActiveFolder();
        for (size_t p = folder.find(L'\\', 3); p != std::wstring::npos; p = folder.find(L'\\', p + 1))
            CreateDirectoryW(folder.substr(0, p).c_str(), nullptr);
        ASSERT_TRUE(krvtest::MakeFolder(folder)) << GetLastError();
    }
    void SetUp() override {
        SetMessageBoxHook([this](const wchar_t* text, UINT type) {
            std::function<int(const wchar_t*, UINT)> f;
            {
                std::lock_guard<std::mutex> g(boxes.lock);
                boxes.shown.push_back(text);
                boxes.types.push_back(type);
                f = boxes.answerer;
                if (!f && !boxes.answers.empty()) {
                    int a = boxes.answers.front();
                    boxes.answers.pop_front();
                    return a;
                }
            }
            if (f) return f(text, type);
            return (type & 0xF) == MB_YESNO ? IDNO : IDOK;
        });
        SetHelpHook([this](const wchar_t*, UINT cmd, DWORD_PTR data) { help.push_back({cmd, data}); });
        tempBefore = TempFolderNames();
    }
    void TearDown() override {
        SetMessageBoxHook(nullptr);
        SetHelpHook(nullptr);
    }
    // Nothing of ours is left in the temporary folder.
    void ExpectTempFolderClean() {
        for (const std::wstring& n : TempFolderNames())
            EXPECT_TRUE(tempBefore.count(n)) << "left behind: " << std::string(n.begin(), n.end());
    }

    DevicePeer& dev = DevicePeer::Get();
    Boxes boxes;
    std::vector<std::pair<UINT, DWORD_PTR>> help;
    std::set<std::wstring> tempBefore;
};

// The dialog opened modeless, filled as the I/O device dialog fills it.
struct CfgRun {
    CInternetSession session{L"Korvelin Varnel", 42279, INTERNET_OPEN_TYPE_DIRECT};
    CXmlCfgDlg dlg{&session, nullptr};
    std::unique_ptr<dlgtest::ModelessDialog> d;

    explicit CfgRun(bool v4, int port, WORD binPort = 49153, BOOL subscribe = TRUE, BOOL login = TRUE) {
        session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 3000);
        session.SetOption(INTERNET_OPTION_SEND_TIMEOUT, 3000);
        session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 3000);
        SetTarget(dlg.m_target, port);
        dlg.m_bV4 = v4;
        dlg.m_wBinaryPort = binPort;
        dlg.m_bSubscribe = subscribe;
        dlg.m_bPasswordLogin = login;
        d.reset(new dlgtest::ModelessDialog(dlg));
    }
    // Idle calls as the modal loop makes them, until pred or the time is up.
    bool IdleUntil(const std::function<bool()>& pred, DWORD ms = 15000) {
        DWORD start = GetTickCount();
        for (LONG n = 0; !pred(); ++n) {
            if (GetTickCount() - start > ms) return false;
            d->Idle(n);
            dlgtest::Pump();
        }
        return true;
    }
    bool Finish(DWORD ms = 15000) {
        return IdleUntil([this] { return dlg.GetStep() == 4; }, ms);
    }
    bool Start() { return d->Press(IDC_CFG_START); }
    std::wstring Status() const { return d->Text(IDC_CFG_STATUS); }
    int BarPos(int id) const { return (int)SendMessageW(d->Item(id), PBM_GETPOS, 0, 0); }
    int BarMax(int id) const { return (int)SendMessageW(d->Item(id), PBM_GETRANGE, FALSE, 0); }
};

std::wstring Text(UINT id, const wchar_t* arg = L"") { return MessageText(id, arg); }

}  // namespace

// ---------------------------------------------------------------- whole runs

TEST_F(XmlCfgDlgTest, JsonDeviceRunsDownloadPatchUploadAndLogout) {
    dev.SetMode(ServeFile("lattix40.json", kAccepted));
    size_t before = dev.RequestCount();
    std::wstring temp;
    {
        CfgRun r(true, dev.Port("http"));
        ASSERT_TRUE(r.d->Open());
        temp = (const wchar_t*)r.dlg.m_strTempPath;
        EXPECT_EQ(L"KRV", temp.substr(temp.rfind(L'\\') + 1, 3));
        EXPECT_TRUE(FileExists(temp));
        EXPECT_EQ(L"", r.d->Text(IDC_CFG_BACKUP));
        EXPECT_EQ(0, r.d->Idle(0)) << "idle before Start";

        ASSERT_TRUE(r.Start());
        std::wstring backup = r.d->Text(IDC_CFG_BACKUP);
        EXPECT_EQ(ActiveFolder(), backup.substr(0, backup.rfind(L'\\') + 1));
        std::wstring name = backup.substr(backup.rfind(L'\\') + 1);
        EXPECT_EQ(L".json", name.substr(name.size() - 5));
        EXPECT_FALSE(r.d->Enabled(IDC_CFG_START));

        ASSERT_TRUE(r.Finish());
        EXPECT_EQ(Text(IDS_JOB_ACCEPTED), r.Status());
        EXPECT_EQ(L"Schließen", r.d->Text(IDCANCEL));
        EXPECT_FALSE(r.d->Enabled(IDC_CFG_START));
        // The bars' ranges follow the sizes: 256 bytes a step down, 205 up.
        EXPECT_EQ((int)(Data("lattix40.json").size() / 256), r.BarMax(IDC_CFG_READ_BAR));
        EXPECT_EQ((int)(Data("lattix40_49153_subscribe.expected.json").size() / 205), r.BarMax(IDC_CFG_WRITE_BAR));
        EXPECT_EQ(r.BarMax(IDC_CFG_READ_BAR), r.BarPos(IDC_CFG_READ_BAR));
        EXPECT_EQ(r.BarMax(IDC_CFG_WRITE_BAR), r.BarPos(IDC_CFG_WRITE_BAR));
        EXPECT_EQ(0, r.d->Idle(0)) << "idle after the run";

        // Backup: the download's exact bytes. Upload: the patched file.
        EXPECT_EQ(Data("lattix40.json"), ReadFileBytes(backup));
        ASSERT_EQ(before + 3, dev.RequestCount());
        EXPECT_EQ(0u, RequestLine(dev.Request(before + 1)).find("GET /config.js?PW="));
        std::string upload = dev.Request(before + 2);
        EXPECT_EQ(0u, RequestLine(upload).find("POST /config.php HTTP/1."));
        EXPECT_EQ(Data("lattix40_49153_subscribe.expected.json"), UploadedFile(upload, "application/json"));
        std::string logout = dev.Request(before + 3);
        EXPECT_EQ(0u, RequestLine(logout).find("POST /config.php HTTP/1."));
        EXPECT_EQ("application/x-www-form-urlencoded; charset=ISO-8859-1", Header(logout, "Content-Type"));
        EXPECT_EQ("Sess=77ab&B2.3=Abmelden", Body(logout));
        EXPECT_TRUE(boxes.shown.empty());

        // "Schließen" still ends through Cancel.
        EXPECT_EQ(IDCANCEL, r.d->Cancel());
        DeleteFileW(backup.c_str());
    }
    EXPECT_FALSE(FileExists(temp)) << "temporary upload file outlived the dialog";
    ExpectTempFolderClean();
}

TEST_F(XmlCfgDlgTest, XmlDeviceUploadsTheReducedCopyWithoutLogout) {
    struct Case {
        const char* name;
        BOOL login;
        WORD port;
        const char* expected;
    } cases[] = {
        {"login", TRUE, 49153, "vexxa_49153_login.expected.xml"},
        {"compatible", FALSE, 49159, "vexxa_49159_compat.expected.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dev.SetMode(ServeFile("vexxa.xml", kXmlSyntaxOk));
        size_t before = dev.RequestCount();
        CfgRun r(false, dev.Port("http"), c.port, TRUE, c.login);
        ASSERT_TRUE(r.Start());
        std::wstring backup = r.d->Text(IDC_CFG_BACKUP);
        EXPECT_EQ(L".xml", backup.substr(backup.size() - 4));
        ASSERT_TRUE(r.Finish());
        EXPECT_EQ(Text(IDS_JOB_XML_SAYS, L"Syntax OK"), r.Status());
        EXPECT_EQ(Data("vexxa.xml"), ReadFileBytes(backup));
        ASSERT_EQ(before + 2, dev.RequestCount()) << "an XML device gets no logout";
        std::string upload = dev.Request(before + 2);
        EXPECT_EQ(0u, RequestLine(upload).find("POST /xmlinput HTTP/1."));
        EXPECT_NE(std::string::npos, upload.find("name=\"UPLOAD\"; filename=\"XnI"));
        EXPECT_EQ(Data(c.expected), UploadedFile(upload, "text/xml"));
        EXPECT_EQ(IDCANCEL, r.d->Cancel());
        DeleteFileW(backup.c_str());
    }
    ExpectTempFolderClean();
}

// What the patch finds decides whether anything is uploaded.
TEST_F(XmlCfgDlgTest, PatchOutcomesEndOrAskBeforeUploading) {
    struct Case {
        const char* name;
        bool v4;
        const char* file;
        int answer;   // to box 210; 0: no box expected
        UINT status;  // status line after the run (0: as the write job says)
        bool uploaded;
    } cases[] = {
        {"already set", true, "json_already.json", 0, IDS_CFG_ALREADY_SET, false},
        {"nothing found json", true, "empty.cfg", 0, IDS_CFG_NOTHING_FOUND, false},
        {"nothing found xml", false, "empty.cfg", 0, IDS_CFG_NOTHING_FOUND, false},
        {"partial, declined", false, "xml_missing_output.xml", IDCANCEL, IDS_CFG_CONNECTING, false},
        {"partial, uploaded", false, "xml_missing_output.xml", IDOK, IDS_JOB_XML_SAYS, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dev.SetMode(ServeFile(c.file, kXmlSyntaxOk));
        size_t before = dev.RequestCount();
        boxes.shown.clear();
        if (c.answer) boxes.answers.push_back(c.answer);
        CfgRun r(c.v4, dev.Port("http"));
        ASSERT_TRUE(r.Start());
        ASSERT_TRUE(r.Finish());
        if (c.answer) {
            ASSERT_EQ(1u, boxes.shown.size());
            EXPECT_EQ(Text(IDS_CFG_PARTIAL), boxes.shown[0]);
            EXPECT_EQ((UINT)(MB_OKCANCEL | MB_ICONEXCLAMATION), boxes.types[0]);
        } else {
            EXPECT_TRUE(boxes.shown.empty());
        }
        if (c.status == IDS_CFG_CONNECTING)
            EXPECT_EQ(L"", r.Status()) << "declined: the status line stays as the read left it";
        else if (c.status == IDS_JOB_XML_SAYS)
            EXPECT_EQ(Text(IDS_JOB_XML_SAYS, L"Syntax OK"), r.Status());
        else
            EXPECT_EQ(Text(c.status), r.Status());
        EXPECT_EQ(before + (c.uploaded ? 2 : 1), dev.RequestCount());
        // A run that uploads nothing may be started again.
        EXPECT_EQ(!c.uploaded, r.d->Enabled(IDC_CFG_START));
        EXPECT_EQ(c.uploaded ? L"Schließen" : L"Abbrechen", r.d->Text(IDCANCEL));
        std::wstring backup = r.d->Text(IDC_CFG_BACKUP);
        EXPECT_EQ(Data(c.file), ReadFileBytes(backup)) << "the backup stays whole";
        EXPECT_EQ(IDCANCEL, r.d->Cancel());
        DeleteFileW(backup.c_str());
    }
}

// A failed download leaves no backup behind, least of all a cut one.
TEST_F(XmlCfgDlgTest, FailedDownloadsShowTheJobsMessageAndLeaveNoBackup) {
    struct Case {
        const char* name;
        std::string mode;
        UINT id;
        const wchar_t* arg;  // nullptr: any argument
    } cases[] = {
        {"unknown url", "{\"status\": 404}", IDS_JOB_UNKNOWN_URL, L""},
        {"other status", "{\"status\": 500}", IDS_JOB_HTTP_STATUS, L"500"},
        {"cut short", ServeFile("lattix40.json", "\"length\": \"short\""), IDS_JOB_WININET, nullptr},
        {"reset midway", ServeFile("lattix40.json", "\"reset_after\": 3000"), IDS_JOB_WININET, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dev.SetMode(c.mode);
        size_t before = dev.RequestCount();
        CfgRun r(true, dev.Port("http"));
        ASSERT_TRUE(r.Start());
        ASSERT_TRUE(r.Finish());
        std::wstring status = r.Status();
        if (c.arg) {
            EXPECT_EQ(Text(c.id, c.arg), status);
        } else {
            std::wstring prefix = Text(c.id, L"");
            EXPECT_EQ(prefix, status.substr(0, prefix.size()));
            EXPECT_GT(status.size(), prefix.size()) << "the error number";
        }
        EXPECT_FALSE(FileExists(r.d->Text(IDC_CFG_BACKUP)));
        EXPECT_EQ(before + 1, dev.RequestCount()) << "nothing uploaded";
        EXPECT_TRUE(r.d->Enabled(IDC_CFG_START));
        EXPECT_EQ(L"Abbrechen", r.d->Text(IDCANCEL));
    }
    // Start again after a failure: a fresh read job, which may now succeed.
    dev.SetMode("{\"status\": 404}");
    CfgRun r(true, dev.Port("http"));
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Finish());
    EXPECT_EQ(Text(IDS_JOB_UNKNOWN_URL), r.Status());
    dev.SetMode(ServeFile("lattix40.json", kAccepted));
    ASSERT_TRUE(r.Start());
    EXPECT_EQ(0, r.dlg.GetStep());
    EXPECT_EQ(0, r.dlg.GetSubState()) << "the next idle call begins the read again";
    ASSERT_TRUE(r.Finish());
    EXPECT_EQ(Text(IDS_JOB_ACCEPTED), r.Status());
    EXPECT_EQ(Data("lattix40.json"), ReadFileBytes(r.d->Text(IDC_CFG_BACKUP)));
    DeleteFileW(r.d->Text(IDC_CFG_BACKUP).c_str());
}

// A device that ends its file early, sends another host's or none at all,
// or never stops, gets nothing uploaded, and no backup stays that is not
// whole.
TEST_F(XmlCfgDlgTest, DownloadsThatAreNotTheWholeFileAreNeverUploaded) {
    const std::string toOther = std::to_string(dev.Port("http2"));
    struct Case {
        const char* name;
        bool v4;
        std::string mode;
        UINT id;
        const wchar_t* arg;  // nullptr: any argument
    } cases[] = {
        {"60 % then a close, json", true, ServeFile("lattix40.json", "\"length\": \"none\", \"cut\": 0.6"),
         IDS_CFG_NOTHING_FOUND, L""},
        {"60 % then a close, xml", false, ServeFile("vexxa.xml", "\"length\": \"none\", \"cut\": 0.6"),
         IDS_CFG_NOTHING_FOUND, L""},
        {"chunks cut before the last", true, ServeFile("lattix40.json", "\"length\": \"chunked_cut\""),
         IDS_CFG_NOTHING_FOUND, L""},
        {"length 2^32 + n", true, ServeFile("lattix40.json", "\"length\": \"huge\""), IDS_JOB_WININET, L"223"},
        {"no status line", true, ServeFile("lattix40.json", "\"no_status\": true"), IDS_JOB_WININET, L"12152"},
        {"redirect to another host", true, ServeFile("lattix40.json", "\"redirect\": " + toOther), IDS_JOB_HTTP_STATUS,
         L"302"},
        {"endless", true, ServeFile("lattix40.json", "\"endless\": true"), IDS_JOB_WININET, L"223"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dev.SetMode(c.mode);
        size_t before = dev.RequestCount();
        CfgRun r(c.v4, dev.Port("http"));
        ASSERT_TRUE(r.Start());
        std::wstring backup = r.d->Text(IDC_CFG_BACKUP);
        ASSERT_TRUE(r.Finish(30000));
        EXPECT_EQ(Text(c.id, c.arg), r.Status());
        EXPECT_FALSE(FileExists(backup));
        EXPECT_FALSE(FileExists(backup + L".part"));
        EXPECT_EQ(before + 1, dev.RequestCount()) << "nothing fetched elsewhere, nothing uploaded";
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_TRUE(r.d->Enabled(IDC_CFG_START));
    }
    // A whole file sent chunked is no problem.
    dev.SetMode(ServeFile("lattix40.json", "\"length\": \"chunked\", " + kAccepted));
    CfgRun r(true, dev.Port("http"));
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Finish());
    EXPECT_EQ(Text(IDS_JOB_ACCEPTED), r.Status());
    EXPECT_EQ(Data("lattix40.json"), ReadFileBytes(r.d->Text(IDC_CFG_BACKUP)));
    DeleteFileW(r.d->Text(IDC_CFG_BACKUP).c_str());
}

// Device files that came whole but are no strict document, as firmware
// writes them: nothing is uploaded (288), and the download stays as the
// backup, byte for byte. Only a download that ends before its document does
// and came without a length is taken for a cut one and goes.
TEST_F(XmlCfgDlgTest, CompleteButOddDownloadsStayAsTheBackup) {
    struct Case {
        const char* name;
        bool v4;
        const char* file;
        std::string more;  // of the device's mode
        bool kept;
    } cases[] = {
        {"unescaped < in a text", false, "vexxa_unescaped_lt.xml", "", true},
        {"text after the root", false, "vexxa_trailer.xml", "", true},
        {"UTF-16", false, "vexxa_utf16.xml", "", true},
        {"JSON followed by OK", true, "lattix40_ok.json", "", true},
        {"JSON followed by OK, without a length", true, "lattix40_ok.json", "\"length\": \"none\"", true},
        {"ends early, as long as announced", true, "lattix40.json", "\"cut\": 0.6", true},
        {"ends early, without a length", true, "lattix40.json", "\"cut\": 0.6, \"length\": \"none\"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dev.SetMode(ServeFile(c.file, c.more + (c.more.empty() ? "" : ", ") + kAccepted));
        size_t before = dev.RequestCount();
        CfgRun r(c.v4, dev.Port("http"));
        ASSERT_TRUE(r.Start());
        std::wstring backup = r.d->Text(IDC_CFG_BACKUP);
        ASSERT_TRUE(r.Finish());
        EXPECT_EQ(Text(IDS_CFG_NOTHING_FOUND), r.Status());
        EXPECT_EQ(before + 1, dev.RequestCount()) << "nothing uploaded";
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_TRUE(r.d->Enabled(IDC_CFG_START));
        EXPECT_EQ(c.kept, FileExists(backup));
        EXPECT_FALSE(FileExists(backup + L".part"));
        std::string served = Data(c.file);
        if (c.more.find("cut") != std::string::npos) served = served.substr(0, (size_t)(served.size() * 0.6));
        if (c.kept) {
            EXPECT_TRUE(served == ReadFileBytes(backup)) << "the device's bytes as they came";
        }
        EXPECT_EQ(IDCANCEL, r.d->Cancel());
        DeleteFileW(backup.c_str());
    }
}

// A silent device, late or pausing answers and trickles, met all at once
// since each takes tens of seconds. The connect bar runs its course and the
// status says the device does not answer; a device that answers the upload
// after 25 s has taken it (294, logout); a download that pauses 25 s is
// patched and uploaded; a trickle ends with 273, or at once with Cancel,
// and leaves no backup.
TEST_F(XmlCfgDlgTest, SilentSlowAndTricklingDevicesAllAtOnce) {
    const std::string syntaxOk = kXmlSyntaxOk;
    struct Case {
        const char* name;
        bool v4;
        const char* port;
        std::string device;  // its mode for this dialog's requests
        std::wstring status;
        bool backup;
        DWORD cancelAfterMs;  // 0: runs to its end
    } cases[] = {
        {"silent device", true, "silent", "{}", Text(IDS_JOB_NO_ANSWER), false, 0},
        {"upload answered after 25 s", true, "http",
         ServeFile("lattix40.json",
                   "\"reply_delay\": 25, \"reply\": \"{\\\"Sess\\\":\\\"late25\\\",\\\"UserType\\\":1}\""),
         Text(IDS_JOB_ACCEPTED), true, 0},
        {"download pausing 25 s", false, "http", ServeFile("vexxa.xml", "\"pause\": [3000, 25], " + syntaxOk),
         Text(IDS_JOB_XML_SAYS, L"Syntax OK"), true, 0},
        {"download trickling a byte every 10 s", true, "http", ServeFile("lattix40.json", "\"slow\": [1, 10]"),
         Text(IDS_JOB_TIMEOUT), false, 0},
        {"trickle cancelled", true, "http", ServeFile("lattix40.json", "\"slow\": [1, 10]"), L"", false, 5000},
    };
    const size_t n = sizeof cases / sizeof *cases;
    std::string mode = "{\"by_password\": {";
    for (size_t i = 0; i < n; ++i) mode += (i ? ", \"d" : "\"d") + std::to_string(i) + "\": " + cases[i].device;
    dev.SetMode(mode + "}}");
    const size_t before = dev.RequestCount();
    std::vector<std::unique_ptr<CfgRun>> runs;
    std::vector<DWORD> started(n);
    std::vector<bool> done(n);
    std::vector<std::wstring> backups(n);
    DWORD cancelTook = 0;
    const DWORD start = GetTickCount();
    for (LONG idle = 0; GetTickCount() - start < kCfgConnectMs + 30000; ++idle) {
        // One a second: a backup is named after the second it began.
        if (runs.size() < n && GetTickCount() - start >= runs.size() * 1100) {
            const size_t i = runs.size();
            runs.emplace_back(new CfgRun(cases[i].v4, dev.Port(cases[i].port)));
            runs[i]->dlg.m_target.m_strPassword = (L"d" + std::to_wstring(i)).c_str();
            ASSERT_TRUE(runs[i]->Start());
            backups[i] = runs[i]->d->Text(IDC_CFG_BACKUP);
            started[i] = GetTickCount();
        }
        bool open = runs.size() < n;
        for (size_t i = 0; i < runs.size(); ++i) {
            if (done[i]) continue;
            CfgRun& r = *runs[i];
            if (cases[i].cancelAfterMs && GetTickCount() - started[i] >= cases[i].cancelAfterMs) {
                const DWORD t = GetTickCount();
                EXPECT_EQ(IDCANCEL, r.d->Cancel());
                cancelTook = GetTickCount() - t;
                done[i] = true;
                continue;
            }
            r.d->Idle(idle);
            dlgtest::Pump();
            done[i] = r.dlg.GetStep() == 4;
            open = open || !done[i];
        }
        if (!open) break;
    }
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_TRUE(i < runs.size() && done[i]);
        if (!cases[i].cancelAfterMs) {
            EXPECT_EQ(cases[i].status, runs[i]->Status());
        }
        EXPECT_EQ(cases[i].backup, FileExists(backups[i]));
        EXPECT_FALSE(FileExists(backups[i] + L".part"));
    }
    // The connect bar is full: 58.5 s of connecting.
    EXPECT_EQ(585, runs[0]->BarMax(IDC_CFG_READ_BAR));
    EXPECT_EQ(585, runs[0]->BarPos(IDC_CFG_READ_BAR));
    EXPECT_TRUE(runs[0]->d->Enabled(IDC_CFG_START));
    EXPECT_EQ(L"Schließen", runs[1]->d->Text(IDCANCEL));
    EXPECT_TRUE(runs[3]->d->Enabled(IDC_CFG_START));
    EXPECT_LT(cancelTook, 1000u);
    bool logout = false;
    for (size_t r = before + 1; r <= dev.RequestCount(); ++r)
        logout = logout || Body(dev.Request(r)) == "Sess=late25&B2.3=Abmelden";
    EXPECT_TRUE(logout);
    for (size_t i = 0; i < n; ++i) {
        if (i < runs.size() && !cases[i].cancelAfterMs) {
            EXPECT_EQ(IDCANCEL, runs[i]->d->Cancel());
        }
        DeleteFileW(backups[i].c_str());
    }
    dev.SetMode("{}");
}

// The upload is not redirected, and a reply that never ends is cut off.
TEST_F(XmlCfgDlgTest, UploadRepliesThatRedirectOrNeverEnd) {
    const std::string toOther = std::to_string(dev.Port("http2"));
    struct Case {
        const char* name;
        std::string mode;
        UINT id;
        const wchar_t* arg;
    } cases[] = {
        {"redirect", ServeFile("lattix40.json", "\"redirect_post\": " + toOther), IDS_JOB_HTTP_STATUS, L"302"},
        {"endless reply", ServeFile("lattix40.json", "\"endless_reply\": true"), IDS_JOB_UNKNOWN_REPLY, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dev.SetMode(c.mode);
        size_t before = dev.RequestCount();
        CfgRun r(true, dev.Port("http"));
        ASSERT_TRUE(r.Start());
        ASSERT_TRUE(r.Finish(30000));
        EXPECT_EQ(Text(c.id, c.arg), r.Status());
        EXPECT_EQ(before + 2, dev.RequestCount()) << "no second upload elsewhere, no logout";
        DeleteFileW(r.d->Text(IDC_CFG_BACKUP).c_str());
    }
}

// What a killed run left in the temporary folder goes when the next one
// begins; a running one's file stays.
TEST_F(XmlCfgDlgTest, LeftoversOfKilledRunsAreSweptAtTheNextStart) {
    wchar_t dir[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, dir);
    const std::wstring left[] = {std::wstring(dir) + L"KRV7F01.tmp", std::wstring(dir) + L"XnI7F02.tmp"};
    for (const std::wstring& p : left) WriteFileBytes(p, "left by a killed run");
    std::wstring busy;
    {
        CfgRun first(true, dev.Port("http"));
        ASSERT_TRUE(first.d->Open());
        busy = (const wchar_t*)first.dlg.m_strTempPath;
        for (const std::wstring& p : left) EXPECT_FALSE(FileExists(p)) << std::string(p.begin(), p.end());
        CfgRun second(true, dev.Port("http"));
        ASSERT_TRUE(second.d->Open());
        EXPECT_TRUE(FileExists(busy)) << "the first dialog's file is in use";
    }
    EXPECT_FALSE(FileExists(busy));
}

// ---------------------------------------------------------------- cancel

TEST_F(XmlCfgDlgTest, CancelBeforeStartOrAfterAFailedRunEndsAtOnce) {
    dev.SetMode("{\"status\": 500}");
    size_t before = dev.RequestCount();
    for (bool failedFirst : {false, true}) {
        SCOPED_TRACE(failedFirst ? "after a failed run" : "before Start");
        std::wstring temp;
        {
            CfgRun r(true, dev.Port("http"));
            temp = (const wchar_t*)r.dlg.m_strTempPath;
            if (failedFirst) {
                ASSERT_TRUE(r.Start());
                ASSERT_TRUE(r.Finish());
                EXPECT_EQ(Text(IDS_JOB_HTTP_STATUS, L"500"), r.Status());
            }
            EXPECT_EQ(IDCANCEL, r.d->Cancel());
            EXPECT_TRUE(boxes.shown.empty());
        }
        EXPECT_FALSE(FileExists(temp));
    }
    EXPECT_EQ(before + 1, dev.RequestCount());
    ExpectTempFolderClean();
}

TEST_F(XmlCfgDlgTest, CancelDuringTheDownloadDeletesThePartialBackup) {
    dev.SetMode(ServeFile("lattix40.json", "\"slow\": [1000, 0.3]"));
    CfgRun r(true, dev.Port("http"));
    ASSERT_TRUE(r.Start());
    std::wstring backup = r.d->Text(IDC_CFG_BACKUP);
    ASSERT_TRUE(r.IdleUntil([&] { return r.BarPos(IDC_CFG_READ_BAR) > 0; }));
    EXPECT_EQ(1, r.dlg.GetStep());
    EXPECT_FALSE(FileExists(backup)) << "a backup under its name is a whole one";
    EXPECT_EQ(IDCANCEL, r.d->Cancel());
    EXPECT_TRUE(boxes.shown.empty()) << "no question while reading";
    EXPECT_FALSE(FileExists(backup));
    EXPECT_FALSE(FileExists(backup + L".part"));

    // A dialog that goes without Cancel leaves no partial backup either.
    {
        CfgRun gone(true, dev.Port("http"));
        ASSERT_TRUE(gone.Start());
        backup = gone.d->Text(IDC_CFG_BACKUP);
        ASSERT_TRUE(gone.IdleUntil([&] { return gone.BarPos(IDC_CFG_READ_BAR) > 0; }));
        EXPECT_FALSE(FileExists(backup));
    }
    EXPECT_FALSE(FileExists(backup));
    EXPECT_FALSE(FileExists(backup + L".part"));
}

TEST_F(XmlCfgDlgTest, CancelJustBeforeThePatchStillPatchesThenCloses) {
    dev.SetMode(ServeFile("lattix40.json", kAccepted));
    size_t before = dev.RequestCount();
    std::wstring temp;
    {
        CfgRun r(true, dev.Port("http"));
        temp = (const wchar_t*)r.dlg.m_strTempPath;
        ASSERT_TRUE(r.Start());
        ASSERT_TRUE(r.IdleUntil([&] { return r.dlg.GetStep() == 1 && r.dlg.GetSubState() == 0; }));
        EXPECT_EQ(IDCANCEL, r.d->Cancel());
        EXPECT_EQ(Data("lattix40_49153_subscribe.expected.json"), ReadFileBytes(temp));
        EXPECT_EQ(before + 1, dev.RequestCount()) << "nothing uploaded";
        DeleteFileW(r.d->Text(IDC_CFG_BACKUP).c_str());
    }
    EXPECT_FALSE(FileExists(temp));
}

TEST_F(XmlCfgDlgTest, CancelWhileWritingAsksFirstAndNoGoesOn) {
    dev.SetMode(ServeFile("lattix40.json", kAccepted + ", \"reply_delay\": 1.5"));
    size_t before = dev.RequestCount();
    CfgRun r(true, dev.Port("http"));
    ASSERT_TRUE(r.Start());
    // The whole upload has arrived; the device has not answered yet.
    ASSERT_TRUE(r.IdleUntil([&] { return dev.RequestCount() == before + 2; }));
    boxes.answers.push_back(IDNO);
    EXPECT_EQ(-1, r.d->Cancel()) << "No: the dialog stays";
    ASSERT_EQ(1u, boxes.shown.size());
    EXPECT_EQ(Text(IDS_CFG_CANCEL_WRITE), boxes.shown[0]);
    EXPECT_EQ((UINT)(MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2), boxes.types[0]);
    ASSERT_TRUE(r.Finish());
    EXPECT_EQ(Text(IDS_JOB_ACCEPTED), r.Status());
    EXPECT_TRUE(r.IdleUntil([&] { return dev.RequestCount() == before + 3; }, 3000)) << "logout";
    EXPECT_EQ(IDCANCEL, r.d->Cancel()) << "after the run no question";
    EXPECT_EQ(1u, boxes.shown.size());
    DeleteFileW(r.d->Text(IDC_CFG_BACKUP).c_str());
}

TEST_F(XmlCfgDlgTest, CancelWhileWritingWithYesEndsWithoutLogout) {
    dev.SetMode(ServeFile("lattix40.json", kAccepted + ", \"reply_delay\": 1.5"));
    size_t before = dev.RequestCount();
    std::wstring temp, backup;
    {
        CfgRun r(true, dev.Port("http"));
        temp = (const wchar_t*)r.dlg.m_strTempPath;
        ASSERT_TRUE(r.Start());
        backup = r.d->Text(IDC_CFG_BACKUP);
        ASSERT_TRUE(r.IdleUntil([&] { return dev.RequestCount() == before + 2; }));
        boxes.answers.push_back(IDYES);
        EXPECT_EQ(IDCANCEL, r.d->Cancel());
        EXPECT_NE(Text(IDS_JOB_ACCEPTED), r.Status());
    }
    Sleep(2500);  // the device's answer time has passed
    EXPECT_EQ(before + 2, dev.RequestCount()) << "no logout after a cancelled upload";
    EXPECT_EQ(Data("lattix40.json"), ReadFileBytes(backup)) << "a whole download stays as the backup";
    EXPECT_FALSE(FileExists(temp));
    DeleteFileW(backup.c_str());
    ExpectTempFolderClean();
}

// The box's own loop sends no idle calls: the upload must not wait for it.
TEST_F(XmlCfgDlgTest, UploadGoesOnWhileTheCancelQuestionIsOpen) {
    dev.SetMode(ServeFile("lattix40.json", kAccepted + ", \"reply_delay\": 0.5"));
    size_t before = dev.RequestCount();
    CfgRun r(true, dev.Port("http"));
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.IdleUntil([&] { return dev.RequestCount() == before + 2; }));
    std::wstring statusWhileOpen;
    boxes.answerer = [&](const wchar_t*, UINT) {
        // The box as the user leaves it open: only its own message loop runs.
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 5000 && r.dlg.GetStep() < 4) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        statusWhileOpen = r.Status();
        return IDNO;
    };
    EXPECT_EQ(-1, r.d->Cancel());
    EXPECT_EQ(Text(IDS_JOB_ACCEPTED), statusWhileOpen);
    EXPECT_EQ(L"Schließen", r.d->Text(IDCANCEL));
    boxes.answerer = nullptr;
    EXPECT_EQ(IDCANCEL, r.d->Cancel());
    DeleteFileW(r.d->Text(IDC_CFG_BACKUP).c_str());
}

// ---------------------------------------------------------------- logout

TEST_F(XmlCfgDlgTest, LogoutBodyIsOneBytePerCharacterAndCut) {
    EXPECT_EQ("Sess=ab12&B2.3=Abmelden", CXmlCfgDlg::LogoutBody(L"ab12"));
    EXPECT_EQ(std::string("Sess=\xe9\xff&B2.3=Abmelden"), CXmlCfgDlg::LogoutBody(L"\u00e9\u00ff"));
    std::string longer = CXmlCfgDlg::LogoutBody(std::wstring(300, L'z').c_str());
    EXPECT_EQ(255u, longer.size());
    EXPECT_EQ("Sess=" + std::string(250, 'z'), longer);
}

TEST_F(XmlCfgDlgTest, LogoutReachesTheDeviceOrTellsWhyNot) {
    CInternetSession session(L"Korvelin Varnel", 42279, INTERNET_OPEN_TYPE_DIRECT);
    session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 3000);
    session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 3000);
    session.SetOption(INTERNET_OPTION_SEND_TIMEOUT, 3000);
    struct Case {
        const char* name;
        const char* port;
        BOOL https;
        const char* mode;
        bool reached;
    } cases[] = {
        {"http", "http", FALSE, "{}", true},
        {"https, certificate for another name", "https", TRUE, "{}", true},
        {"error status shows nothing", "http", FALSE, "{\"status\": 404}", true},
        {"nobody listens", "closed", FALSE, "{}", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dev.SetMode(c.mode);
        boxes.shown.clear();
        size_t before = dev.RequestCount();
        CXmlCfgDlg dlg(&session, nullptr);
        SetTarget(dlg.m_target, dev.Port(c.port), "127.0.0.1", c.https);
        dlg.Logout(std::wstring(300, L's').c_str());
        if (c.reached) {
            ASSERT_EQ(before + 1, dev.RequestCount());
            std::string raw = dev.Request(before + 1);
            EXPECT_EQ(0u, RequestLine(raw).find("POST /config.php HTTP/1."));
            EXPECT_EQ("Sess=" + std::string(250, 's'), Body(raw));
            EXPECT_TRUE(boxes.shown.empty());
        } else {
            EXPECT_EQ(before, dev.RequestCount());
            ASSERT_EQ(1u, boxes.shown.size());
            EXPECT_EQ(0u, boxes.shown[0].find(L"WinINet error:\n"));
            EXPECT_GT(boxes.shown[0].size(), 15u);
            EXPECT_NE(L' ', boxes.shown[0].back());
            EXPECT_NE(L'\n', boxes.shown[0].back());
        }
    }
}

// A device that trickles its reply holds the logout no longer than its bound,
// and the window goes on answering; a redirect, a cookie or a cached copy
// are never taken from the device.
TEST_F(XmlCfgDlgTest, LogoutIsBoundedAndTakesNothingFromTheDevice) {
    CInternetSession session(L"Korvelin Varnel", 42279, INTERNET_OPEN_TYPE_DIRECT);
    session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 4000);
    session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 4000);
    session.SetOption(INTERNET_OPTION_SEND_TIMEOUT, 4000);
    HWND window =
        CreateWindowW(L"STATIC", L"logout", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window != nullptr);

    dev.SetMode("{\"head_pause\": 0.3}");
    boxes.shown.clear();
    size_t before = dev.RequestCount();
    {
        CXmlCfgDlg dlg(&session, nullptr);
        SetTarget(dlg.m_target, dev.Port("http"), "127.0.0.1", FALSE);
        krvtest::AnswerWatch watch(window);
        const DWORD start = GetTickCount();
        dlg.Logout(L"77ab");
        const DWORD took = GetTickCount() - start;
        const DWORD longest = watch.Stop();
        printf("logout against a device that trickles its reply took %lu ms, the window left a message waiting %lu ms "
               "at most\n",
               (unsigned long)took, (unsigned long)longest);
        EXPECT_LT(took, 5000u);
        EXPECT_LT(longest, 500u);
        EXPECT_EQ(before + 1, dev.RequestCount());
        ASSERT_EQ(1u, boxes.shown.size());
        EXPECT_EQ(0u, boxes.shown[0].find(L"WinINet error:\n"));
    }

    // a redirect to the device's other port, with a cookie
    const std::string location = "Location: http://127.0.0.1:" + std::to_string(dev.Port("https")) + "/config.php";
    dev.SetMode("{\"status\": 302, \"headers\": [\"" + location + "\", \"Set-Cookie: sid=geheim; Path=/\"]}");
    boxes.shown.clear();
    before = dev.RequestCount();
    for (int i = 0; i < 2; ++i) {
        CXmlCfgDlg dlg(&session, nullptr);
        SetTarget(dlg.m_target, dev.Port("http"), "127.0.0.1", FALSE);
        dlg.Logout(L"77ab");
    }
    EXPECT_TRUE(boxes.shown.empty());
    ASSERT_EQ(before + 2, dev.RequestCount()) << "a redirect was followed";
    for (size_t n = before + 1; n <= before + 2; ++n) {
        std::string raw = dev.Request(n);
        EXPECT_EQ(0u, RequestLine(raw).find("POST /config.php HTTP/1."));
        EXPECT_EQ(std::string::npos, raw.find("Cookie")) << raw;
    }
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(dev.Port("http")) + L"/config.php";
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size) || GetLastError() == ERROR_INSUFFICIENT_BUFFER);
    DestroyWindow(window);
}

// After the jobs fell back to the default port, the logout goes there too.
TEST_F(XmlCfgDlgTest, LogoutFollowsTheJobsFallbackToTheDefaultPort) {
    if (!dev.Port("http80")) GTEST_SKIP() << "the device could not listen on port 80 here";
    dev.SetMode(ServeFile("lattix40.json", kAccepted));
    size_t before = dev.RequestCount();
    CfgRun r(true, dev.Port("closed"));
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Finish());
    EXPECT_EQ(Text(IDS_JOB_ACCEPTED), r.Status());
    ASSERT_EQ(before + 3, dev.RequestCount());
    std::string logout = dev.Request(before + 3);
    EXPECT_EQ("Sess=77ab&B2.3=Abmelden", Body(logout));
    EXPECT_EQ("127.0.0.1", Header(logout, "Host"));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(IDCANCEL, r.d->Cancel());
    DeleteFileW(r.d->Text(IDC_CFG_BACKUP).c_str());
}

TEST_F(XmlCfgDlgTest, AcceptedWithoutSessionIdGetsNoLogout) {
    dev.SetMode(ServeFile("lattix40.json", "\"reply\": \"{\\\"Dialog\\\":2}\""));
    size_t before = dev.RequestCount();
    CfgRun r(true, dev.Port("http"));
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Finish());
    EXPECT_EQ(Text(IDS_JOB_NETRESET), r.Status());
    EXPECT_EQ(L"Schließen", r.d->Text(IDCANCEL));
    EXPECT_EQ(before + 2, dev.RequestCount());
    EXPECT_EQ(IDCANCEL, r.d->Cancel());
    DeleteFileW(r.d->Text(IDC_CFG_BACKUP).c_str());
}

// ---------------------------------------------------------------- controls

TEST_F(XmlCfgDlgTest, StartMovesTheFocusOnAndHelpShowsTheDeviceTopic) {
    dev.SetMode("{\"status\": 404}");
    CfgRun r(true, dev.Port("http"));
    SetForegroundWindow(r.d->Hwnd());
    SetFocus(r.d->Item(IDC_CFG_START));
    ASSERT_EQ(r.d->Item(IDC_CFG_START), GetFocus());
    ASSERT_TRUE(r.Start());
    EXPECT_FALSE(r.d->Enabled(IDC_CFG_START));
    EXPECT_NE(r.d->Item(IDC_CFG_START), GetFocus());
    EXPECT_TRUE(IsChild(r.d->Hwnd(), GetFocus()));
    EXPECT_TRUE(r.d->Press(IDC_CFG_HELP));
    ASSERT_EQ(1u, help.size());
    EXPECT_EQ((UINT)HH_HELP_CONTEXT, help[0].first);
    EXPECT_EQ((DWORD_PTR)HIDD_IO_DEVICE, help[0].second);
    ASSERT_TRUE(r.Finish());
    EXPECT_EQ(IDCANCEL, r.d->Cancel());
}

// ---------------------------------------------------------------- from the I/O device dialog

namespace {

struct FindWindowOf {
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND w, LPARAM p) {
    auto* f = reinterpret_cast<FindWindowOf*>(p);
    wchar_t text[128] = {};
    GetWindowTextW(w, text, 128);
    if (IsWindowVisible(w) && wcscmp(text, f->caption) == 0) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND FindCaption(DWORD tid, const wchar_t* caption) {
    FindWindowOf f{caption, nullptr};
    EnumThreadWindows(tid, &MatchCaption, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

std::unique_ptr<CDeviceCfg> IoRecord(int httpPort) {
    std::unique_ptr<CDeviceCfg> d(new CDeviceCfg(L"Nord", 4));
    d->Inputs = 12;
    d->Outputs = 12;
    d->TargetHost = L"127.0.0.1";
    d->BinaryPort = 49159;
    d->HttpPort = (unsigned short)httpPort;
    d->Password = L"alt";
    d->DontSubscribe = 1;
    d->LoginRequired = 1;
    return d;
}

struct RecordFields {
    std::wstring host, password;
    int bin, http, secure, poll, login, v4;
    bool operator==(const RecordFields& o) const {
        return host == o.host && password == o.password && bin == o.bin && http == o.http && secure == o.secure &&
               poll == o.poll && login == o.login && v4 == o.v4;
    }
};
RecordFields FieldsOf(const CDeviceCfg& d) {
    return {(const wchar_t*)d.TargetHost,
            (const wchar_t*)d.Password,
            d.BinaryPort,
            d.HttpPort,
            d.HttpSecure,
            d.DontSubscribe,
            d.LoginRequired,
            d.BinaryLogin};
}

}  // namespace

TEST_F(XmlCfgDlgTest, ConfigureFromTheIoDialogUsesItsControlsAndChangesNoRecord) {
    dev.SetMode(ServeFile("lattix40.json", kAccepted + ", \"password\": \"neu%20pw\""));
    size_t before = dev.RequestCount();
    std::unique_ptr<CDeviceCfg> rec = IoRecord(dev.Port("http"));
    RecordFields was = FieldsOf(*rec);
    CIoDeviceDlg io;
    io.m_pDevice = rec.get();
    dlgtest::ModalRun run(io);
    ASSERT_TRUE(run.Open());
    // What the user changed in the I/O dialog without pressing OK.
    EXPECT_TRUE(run.Enabled(IDC_IO_CONFIGURE));
    run.Type(IDC_IO_PASSWORD, L"neu pw");
    EXPECT_TRUE(run.Click(IDC_IO_V4));
    run.Type(IDC_IO_BINPORT, L"114689");  // 49153 beyond 16 bits
    EXPECT_TRUE(run.Click(IDC_IO_POLLONLY));
    EXPECT_FALSE(run.Checked(IDC_IO_POLLONLY));
    PostMessageW(run.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_IO_CONFIGURE, BN_CLICKED), (LPARAM)run.Item(IDC_IO_CONFIGURE));
    DWORD tid = GetWindowThreadProcessId(run.Hwnd(), nullptr);
    HWND cfg = nullptr;
    ASSERT_TRUE(
        krvtest::PumpUntil([&] { return (cfg = FindCaption(tid, L"Gerät umkonfigurieren")) != nullptr; }, 10000));
    dlgtest::Driver d(cfg);
    ASSERT_TRUE(d.Press(IDC_CFG_START));
    ASSERT_TRUE(krvtest::PumpUntil([&] { return d.Text(IDCANCEL) == L"Schließen"; }, 15000)) << d.Text(IDC_CFG_STATUS);
    EXPECT_EQ(Text(IDS_JOB_ACCEPTED), d.Text(IDC_CFG_STATUS));
    std::wstring backup = d.Text(IDC_CFG_BACKUP);
    ASSERT_TRUE(krvtest::PumpUntil([&] { return dev.RequestCount() == before + 3; }, 5000));
    EXPECT_EQ(0u, RequestLine(dev.Request(before + 1)).find("GET /config.js?PW=neu%20pw"));
    EXPECT_EQ(Data("lattix40_49153_subscribe.expected.json"),
              UploadedFile(dev.Request(before + 2), "application/json"));
    EXPECT_NE(std::string::npos, dev.Request(before + 2).find("name=\"LPW\"\r\n\r\nneu pw\r\n"));
    EXPECT_EQ("Sess=77ab&B2.3=Abmelden", Body(dev.Request(before + 3)));
    d.PressCancel();
    ASSERT_TRUE(krvtest::PumpUntil([&] { return !IsWindow(cfg); }, 5000));
    EXPECT_EQ(L"neu pw", run.Text(IDC_IO_PASSWORD)) << "the I/O dialog keeps what it showed";
    EXPECT_EQ(IDCANCEL, run.Cancel());
    EXPECT_TRUE(FieldsOf(*rec) == was) << "the record is not touched";
    EXPECT_EQ(Data("lattix40.json"), ReadFileBytes(backup));
    DeleteFileW(backup.c_str());
    ExpectTempFolderClean();
}

TEST_F(XmlCfgDlgTest, HostThatDoesNotResolveShowsNoDialogAndMakesNoFile) {
    std::unique_ptr<CDeviceCfg> rec = IoRecord(80);
    CIoDeviceDlg io;
    io.m_pDevice = rec.get();
    dlgtest::ModalRun run(io);
    ASSERT_TRUE(run.Open());
    run.Type(IDC_IO_HOST, L"300.1.2.3");
    PostMessageW(run.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_IO_CONFIGURE, BN_CLICKED), (LPARAM)run.Item(IDC_IO_CONFIGURE));
    ASSERT_TRUE(krvtest::PumpUntil([&] { return boxes.Count() == 1; }, 10000));
    krvtest::PumpUntil([] { return false; }, 300);
    DWORD tid = GetWindowThreadProcessId(run.Hwnd(), nullptr);
    EXPECT_EQ(nullptr, FindCaption(tid, L"Gerät umkonfigurieren"));
    EXPECT_TRUE(IsWindowEnabled(run.Hwnd()));
    EXPECT_EQ(IDCANCEL, run.Cancel());
    ExpectTempFolderClean();
}
