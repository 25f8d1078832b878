// The read and write jobs against the simulated device, driven by a plain
// loop of poll passes.
#include "reconfig/cfg_channel.h"
#include "reconfig/cfg_read_job.h"
#include "reconfig/cfg_write_job.h"
#include "reconfig/json_patch.h"
#include "reconfig/xml_patch.h"
#include "resources/reconfig_ids.h"
#include "tests/reconfig/device_peer.h"
#include "tests/unix_start/unix_start.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

namespace {
const std::string B = "3blau2blau1blau0";
const std::string kJson = "{\n \"Device\": \"Lattix 4.0\",\n \"Network\": {\n  \"TcpPort\": 49159,\n"
                          "  \"InputTrigger\": 0\n },\n \"Name\": \"Box \xc3\xa4 7\"\n}\n";
const std::string kXml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Config>\n <BasicSettings>\n"
                         "  <TcpPort>49153</TcpPort>\n </BasicSettings>\n <OutputMode>0</OutputMode>\n"
                         " <Name>Box \xe4 7</Name>\n</Config>\n";

// A plain loop of passes (each pass, then whatever messages wait: a pass
// returns early while one does). Bounded, not timed: a pass waits at most about 20 ms.
template <class Job> int Drive(Job& job, int (*pass)(Job&), int maxPasses = 4000) {
    int n = 0;
    while (job.GetState() != 10 && n < maxPasses) {
        pass(job);
        ++n;
    }
    return n;
}
void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}
int ReadPass(CCfgReadJob& j) {
    int r = CCfgReadJob::RunOnce(j, FALSE);
    PumpMessages();
    return r;
}
int WritePass(CCfgWriteJob& j) {
    int r = CCfgWriteJob::RunOnce(j);
    PumpMessages();
    return r;
}

std::string Body(const std::string& raw) { return RequestBody(raw); }
std::string Headers(const std::string& raw) { return raw.substr(0, raw.find("\r\n\r\n") + 2); }

class CfgJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dev.Ready()) << "the simulated device did not start";
        ASSERT_TRUE(session);
        dev.SetMode("{}");
        SetTarget(target, dev.Port("http"));
        target.m_strPassword = L"g h&\u00fc";
        folder = TestFolder(L"read");
    }
    // A download of kind in the device's mode, driven to its end, into out,
    // which is not there before.
    std::unique_ptr<CCfgReadJob> DownloadAfresh(const char* mode, int kind, const std::wstring& out) {
        dev.SetMode(mode);
        DeleteFileW(out.c_str());
        auto job = std::make_unique<CCfgReadJob>(kind, 0, &target, session.get(), out.c_str());
        Drive(*job, ReadPass);
        EXPECT_EQ(10, job->GetState());
        return job;
    }
    DevicePeer& dev = DevicePeer::Get();
    OwnedInternet session = OpenAsyncSession();
    CCfgTarget target;
    std::wstring folder;
};

TEST_F(CfgJobTest, JsonDownloadStoresWhatTheDeviceServed) {
    size_t before = dev.RequestCount();
    std::wstring out = folder + L"\\1765400000.json";
    CCfgReadJob job(CFG_KIND_JSON, 0, &target, session.get(), out.c_str());
    Drive(job, ReadPass);
    EXPECT_EQ(10, job.GetState());
    EXPECT_TRUE(job.GetSuccess());
    EXPECT_EQ(0u, job.GetMessageId());
    EXPECT_EQ(kJson.size(), job.GetContentLength());
    EXPECT_EQ(kJson.size(), job.GetBytesReceived());
    EXPECT_EQ(kJson, ReadFileBytes(out));
    ASSERT_EQ(before + 1, dev.RequestCount());
    std::string raw = dev.Request(before + 1);
    EXPECT_EQ("GET /config.js?PW=g%20h%26%FC HTTP/1.0", RequestLine(raw));
    EXPECT_NE(std::string::npos, raw.find("\r\nAccept: text/*\r\n")) << raw;
    EXPECT_NE(std::string::npos, raw.find("\r\nUser-Agent: Korvelin Varnel\r\n")) << raw;
}

TEST_F(CfgJobTest, XmlDownloadAsksForTheListWithThePassword) {
    size_t before = dev.RequestCount();
    std::wstring out = folder + L"\\1765400001.xml";
    CCfgReadJob job(CFG_KIND_XML, 0, &target, session.get(), out.c_str());
    Drive(job, ReadPass);
    EXPECT_TRUE(job.GetSuccess());
    EXPECT_EQ(kXml, ReadFileBytes(out));
    EXPECT_EQ("GET /liste.xml?PW=g%20h%26%FC& HTTP/1.0", RequestLine(dev.Request(before + 1)));
}

TEST_F(CfgJobTest, OtherKindsAskForConfigXml) {
    size_t before = dev.RequestCount();
    std::wstring out = folder + L"\\cfg_%t";
    target.m_strPassword = L"a-b.c_d~9Z";
    CCfgReadJob job(CFG_KIND_ZIP_CGI, 0, &target, session.get(), out.c_str());
    Drive(job, ReadPass);
    EXPECT_TRUE(job.GetSuccess());
    EXPECT_EQ(folder + L"\\cfg_zip", std::wstring(job.GetOutputName()));
    EXPECT_EQ("GET /config.xml?PW=a-b.c_d~9Z HTTP/1.0", RequestLine(dev.Request(before + 1)));
}

struct RefusedCase {
    const char* mode;
    UINT message;
    const wchar_t* argument;
};

TEST_F(CfgJobTest, RefusalsEndWithTheirMessageAndNoFile) {
    const RefusedCase cases[] = {
        {"{\"status\": 403}", IDS_JOB_PASSWORD, L""},       {"{\"status\": 404}", IDS_JOB_UNKNOWN_URL, L""},
        {"{\"status\": 503}", IDS_JOB_OTHER_LOGIN, L""},    {"{\"status\": 401}", IDS_JOB_HTTP_STATUS, L"401"},
        {"{\"status\": 500}", IDS_JOB_HTTP_STATUS, L"500"}, {"{\"password\": \"other\"}", IDS_JOB_PASSWORD, L""},
        {"{\"drop\": true}", IDS_JOB_PASSWORD, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        std::wstring out = folder + L"\\refused.json";
        auto job = DownloadAfresh(c.mode, CFG_KIND_JSON, out);
        EXPECT_FALSE(job->GetSuccess());
        EXPECT_EQ(c.message, job->GetMessageId());
        EXPECT_EQ(std::wstring(c.argument), std::wstring(job->GetArgument()));
        EXPECT_FALSE(FileExists(out));
        if (c.message == IDS_JOB_PASSWORD) {
            EXPECT_TRUE(target.m_bPasswordMissing);
        }
    }
    EXPECT_EQ(L"Unerwarteter HTTP-Statuscode 401 vom Ger\u00e4t.", MessageText(IDS_JOB_HTTP_STATUS, L"401"));
}

TEST_F(CfgJobTest, ChangedPasswordIsTriedOnceMore) {
    dev.SetMode("{\"status_seq\": [403, 200]}");
    size_t before = dev.RequestCount();
    std::wstring out = folder + L"\\retry.json";
    CCfgReadJob job(CFG_KIND_JSON, 0, &target, session.get(), out.c_str());
    target.m_dwPasswordCounter++;
    Drive(job, ReadPass);
    EXPECT_TRUE(job.GetSuccess());
    EXPECT_EQ(before + 2, dev.RequestCount());
    EXPECT_EQ(kJson, ReadFileBytes(out));
}

// What the device serves for "body_size": n.
std::string ServedBody(size_t n) {
    const std::string line = "<Line>0123456789abcdefghijklmnopqrstuvwxyz</Line>\n";
    std::string body;
    while (body.size() < n) body += line;
    return body.substr(0, n);
}

struct BodyCase {
    const char* mode;
    bool success;
    size_t stored;  // bytes in the file
    DWORD contentLength;
};

TEST_F(CfgJobTest, BodiesOfEveryShape) {
    const size_t n = 5000;
    const BodyCase cases[] = {
        {"{\"body_size\": 5000}", true, n, (DWORD)n},
        {"{\"body_size\": 5000, \"length\": \"none\"}", true, n, 0},
        {"{\"body_size\": 0}", true, 0, 0},
        {"{\"body_size\": 5000, \"length\": \"short\"}", false, n, (DWORD)n + 100},
        {"{\"body_size\": 5000, \"reset_after\": 2000}", false, 2000, (DWORD)n},
        {"{\"body_size\": 600, \"slow\": [100, 0.15]}", true, 600, 600},
        // Larger than a read: whole chunks while the body streams in.
        {"{\"body_size\": 300001}", true, 300001, 300001},
        {"{\"body_size\": 300001, \"length\": \"none\"}", true, 300001, 0},
        {"{\"body_size\": 300001, \"length\": \"chunked\"}", true, 300001, 0},
        {"{\"body_size\": 300001, \"length\": \"short\"}", false, 300001, 300101},
        {"{\"body_size\": 300001, \"reset_after\": 200000}", false, 200000, 300001},
        {"{\"body_size\": 70000, \"slow\": [20000, 0.2]}", true, 70000, 70000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        std::wstring out = folder + L"\\body.xml";
        auto job = DownloadAfresh(c.mode, CFG_KIND_XML, out);
        EXPECT_EQ(c.success, !!job->GetSuccess());
        EXPECT_EQ(c.contentLength, job->GetContentLength());
        if (c.success) {
            EXPECT_EQ(0u, job->GetMessageId());
            EXPECT_EQ(c.stored, job->GetBytesReceived());
        } else {
            EXPECT_EQ((UINT)IDS_JOB_WININET, job->GetMessageId());
        }
        job->CloseOutput(FALSE);
        std::string stored = ReadFileBytes(out);
        // A download that is not whole never shows under the output's name,
        // and what it wrote meanwhile is gone.
        EXPECT_EQ(c.success, FileExists(out));
        EXPECT_FALSE(FileExists(out + L".part"));
        if (c.success) {
            EXPECT_EQ(c.stored, stored.size());
            EXPECT_TRUE(stored == ServedBody(c.stored)) << "the bytes the device sent, in their order";
        }
    }
}

TEST_F(CfgJobTest, HttpsWithACertificateForAnotherName) {
    SetTarget(target, dev.Port("https"), "127.0.0.1", TRUE);
    std::wstring out = folder + L"\\tls.json";
    CCfgReadJob job(CFG_KIND_JSON, 0, &target, session.get(), out.c_str());
    Drive(job, ReadPass);
    EXPECT_TRUE(job.GetSuccess()) << job.GetMessageId() << " " << std::string(CfgLatin1(job.GetArgument()));
    EXPECT_EQ(kJson, ReadFileBytes(out));
}

struct PortCase {
    const char* address;
    const char* port;  // a port name of the device, or "8080"
    BOOL https;
    bool success;
    BOOL fallenBack;
};

TEST_F(CfgJobTest, RefusedPortsFallBackToTheDefaultPortOnce) {
    if (!dev.Port("http80") || !dev.Port("https443"))
        GTEST_SKIP() << "the device could not listen on ports 80 and 443 here";
    const PortCase cases[] = {
        {"127.0.0.1", "closed", FALSE, true, TRUE},  // falls back to 80, where the device is
        {"127.0.0.1", "closed", TRUE, true, TRUE},   // to 443
        {"127.0.0.2", "8080", FALSE, false, TRUE},   // nobody on either port
        {"127.0.0.2", "80", FALSE, false, FALSE},    // already the default port: no second try
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.address) + ":" + c.port + (c.https ? " https" : ""));
        int port = isdigit((unsigned char)c.port[0]) ? atoi(c.port) : dev.Port(c.port);
        SetTarget(target, port, c.address, c.https);
        std::wstring out = folder + L"\\port.json";
        CCfgReadJob job(CFG_KIND_JSON, 0, &target, session.get(), out.c_str());
        Drive(job, ReadPass);
        EXPECT_EQ(c.success, !!job.GetSuccess());
        EXPECT_EQ(c.fallenBack, job.GetFallenBack());
        EXPECT_EQ(c.success ? 0u : (UINT)IDS_JOB_REFUSED, job.GetMessageId());

        CCfgWriteJob wjob(0, &target, session.get());
        std::wstring in = folder + L"\\up.js";
        WriteFileBytes(in, "{}");
        wjob.Setup(CFG_KIND_JSON, in.c_str(), 0);
        dev.SetMode("{\"reply\": \"{\\\"Dialog\\\": 3}\"}");
        Drive(wjob, WritePass);
        EXPECT_EQ(c.success, !!wjob.GetSuccess());
        EXPECT_EQ(c.fallenBack, wjob.GetFallenBack());
        EXPECT_EQ(c.success ? (UINT)IDS_JOB_NETRESET : (UINT)IDS_JOB_REFUSED, wjob.GetMessageId());
        dev.SetMode("{}");
    }
}

TEST_F(CfgJobTest, OutputFolderThatCannotBeWritten) {
    CCfgReadJob job(CFG_KIND_JSON, 0, &target, session.get(), (folder + L"\\missing\\x.json").c_str());
    Drive(job, ReadPass);
    EXPECT_FALSE(job.GetSuccess());
    EXPECT_EQ((UINT)IDS_JOB_OUTPUT_FILE, job.GetMessageId());
}

TEST_F(CfgJobTest, WithoutSessionTheJobEndsWithWinInetError) {
    CCfgReadJob job(CFG_KIND_JSON, 0, &target, nullptr, (folder + L"\\x.json").c_str());
    Drive(job, ReadPass);
    EXPECT_EQ((UINT)IDS_JOB_WININET, job.GetMessageId());
    EXPECT_FALSE(job.GetArgument().IsEmpty());
    CCfgWriteJob w(0, &target, nullptr);
    w.Setup(CFG_KIND_JSON, (folder + L"\\x.json").c_str(), 0);
    Drive(w, WritePass);
    EXPECT_EQ((UINT)IDS_JOB_WININET, w.GetMessageId());
}

TEST_F(CfgJobTest, CancelDuringTheBodyDeletesThePartialFile) {
    dev.SetMode("{\"body_size\": 4000, \"slow\": [200, 0.1]}");
    std::wstring out = folder + L"\\cancel.xml";
    CCfgReadJob job(CFG_KIND_XML, 0, &target, session.get(), out.c_str());
    for (int i = 0; i < 1000 && job.GetBytesReceived() == 0; ++i) ReadPass(job);
    ASSERT_GT(job.GetBytesReceived(), 0u);
    ASSERT_LT(job.GetBytesReceived(), 4000u);  // progress while the body comes, not only at its end
    job.CloseOutput(TRUE);
    job.Close();
    EXPECT_FALSE(FileExists(out));
    // A read still pending completes late; it must find nobody.
    for (int i = 0; i < 50; ++i) ReadPass(job);
    EXPECT_FALSE(FileExists(out));
}

TEST_F(CfgJobTest, JobsDestroyedOrReArmedMidTransferLeaveNoTrace) {
    dev.SetMode("{\"body_size\": 3000, \"slow\": [300, 0.1]}");
    {
        auto* job = new CCfgReadJob(CFG_KIND_XML, 0, &target, session.get(), (folder + L"\\gone.xml").c_str());
        for (int i = 0; i < 1000 && job->GetBytesReceived() == 0; ++i) ReadPass(*job);
        delete job;  // a read is pending on its buffer
    }
    CCfgReadJob job(CFG_KIND_XML, 0, &target, session.get(), (folder + L"\\first.xml").c_str());
    for (int i = 0; i < 1000 && job.GetBytesReceived() == 0; ++i) ReadPass(job);
    dev.SetMode("{}");
    job = CCfgReadJob(CFG_KIND_JSON, 0, &target, session.get(), (folder + L"\\second.json").c_str());
    Drive(job, ReadPass);
    EXPECT_TRUE(job.GetSuccess());
    EXPECT_EQ(kJson, ReadFileBytes(folder + L"\\second.json"));
    Sleep(1500);  // late completions of the old transfers arrive now
    EXPECT_EQ(10, job.GetState());
    EXPECT_TRUE(job.GetSuccess());
    EXPECT_EQ(kJson, ReadFileBytes(folder + L"\\second.json"));
}

TEST_F(CfgJobTest, ConnectProgressOnlyWhileConnecting) {
    CCfgReadJob job(CFG_KIND_JSON, 0, &target, session.get(), (folder + L"\\p.json").c_str());
    EXPECT_EQ(-1, job.GetConnectProgress());
    job.m_nState = CFG_READ_STARTED;
    job.m_dwActivityTick = GetTickCount() - 2550;
    EXPECT_EQ(25, job.GetConnectProgress());
    job.m_nState = CFG_READ_IDLE;
}

TEST_F(CfgJobTest, KindsWithoutTransportStayIdle) {
    CCfgReadJob job(CFG_KIND_EEPROM, 0, &target, session.get(), (folder + L"\\e.eep").c_str());
    CCfgWriteJob w(0, &target, session.get());
    w.Setup(CFG_KIND_RAW_8888, L"x", 0);
    for (int i = 0; i < 5; ++i) {
        ReadPass(job);
        WritePass(w);
        EXPECT_EQ(0, job.GetState());
        EXPECT_EQ(0, w.GetState());
    }
}

TEST_F(CfgJobTest, RawKindsSendThePasswordAndWait) {
    if (!dev.Port("raw8003") || !dev.Port("raw8004") || !dev.Port("raw8888"))
        GTEST_SKIP() << "the device could not listen on its binary ports here";
    const struct {
        int kind;
        const wchar_t* password;
        int port;
        std::string received;
    } cases[] = {
        {CFG_KIND_RAW, L"pw", 8003, std::string("pw\0", 3)},
        {CFG_KIND_RAW, L"", 8003, std::string("\0", 1)},
        {CFG_KIND_RAW_8888, L"geheim", 8888, std::string("geheim\0", 7)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        target.m_strPassword = c.password;
        size_t before = dev.RawCount(c.port);
        CCfgReadJob job(c.kind, 0, &target, session.get(), (folder + L"\\raw.cfg").c_str());
        for (int i = 0; i < 100 && job.GetState() != CFG_READ_SENT; ++i)
            CCfgReadJob::RunOnce(job, TRUE), PumpMessages();
        ASSERT_EQ(CFG_READ_SENT, job.GetState());
        EXPECT_EQ((UINT)IDS_JOB_TIMEOUT, job.GetMessageId());
        for (int i = 0; i < 250 && dev.RawCount(c.port) == before; ++i) Sleep(20);
        ASSERT_EQ(before + 1, dev.RawCount(c.port));
        EXPECT_EQ(c.received, dev.Raw(c.port, before + 1));
        // It reads nothing: only its inactivity limit ends it.
        CCfgReadJob::RunOnce(job, TRUE);
        EXPECT_EQ(CFG_READ_SENT, job.GetState());
        job.m_dwActivityTick -= 6000;
        CCfgReadJob::RunOnce(job, TRUE);
        EXPECT_EQ(10, job.GetState());
        EXPECT_EQ((UINT)IDS_JOB_TIMEOUT, job.GetMessageId());
        EXPECT_FALSE(job.GetSuccess());
    }
    CCfgWriteJob w(0, &target, session.get());
    w.Setup(CFG_KIND_RAW, L"unused", 0);
    for (int i = 0; i < 100 && w.GetState() != CFG_WRITE_CONNECTED; ++i) WritePass(w);
    EXPECT_EQ(CFG_WRITE_CONNECTED, w.GetState());
    EXPECT_EQ((UINT)IDS_JOB_TIMEOUT, w.GetMessageId());

    SetTarget(target, 80, "127.0.0.2");  // nobody listens there
    CCfgReadJob refused(CFG_KIND_RAW, 0, &target, session.get(), (folder + L"\\raw.cfg").c_str());
    Drive(refused, ReadPass, 100);
    EXPECT_EQ((UINT)IDS_JOB_REFUSED, refused.GetMessageId());
    CCfgWriteJob wrefused(0, &target, session.get());
    wrefused.Setup(CFG_KIND_RAW, L"unused", 0);
    Drive(wrefused, WritePass, 100);
    EXPECT_EQ((UINT)IDS_JOB_REFUSED, wrefused.GetMessageId());
}

// ---- uploads

std::string JsonHead(const std::string& pw) {
    return "--" + B + "\r\nContent-Disposition: form-data; name=\"999\"\r\n\r\n1\r\n--" + B +
           "\r\nContent-Disposition: form-data; name=\"LPW\"\r\n\r\n" + pw + "\r\n--" + B +
           "\r\nContent-Disposition: form-data; name=\"JSUPLOAD\"; filename=\"config.js\"\r\n"
           "Content-Type: application/json\r\n\r\n";
}
std::string JsonTail() {
    return "\r\n--" + B + "\r\nContent-Disposition: form-data; name=\"B2.2\"\r\n\r\nAnwenden\r\n--" + B + "--\r\n";
}

TEST_F(CfgJobTest, JsonUploadCarriesTheFormFieldsByteForByte) {
    dev.SetMode("{\"reply\": \"{\\\"Sess\\\":\\\"a1b2\\\",\\\"UserType\\\":2}\"}");
    std::wstring in = folder + L"\\KRV1.tmp";
    std::string file = kJson + std::string(3000, 'x');
    WriteFileBytes(in, file);
    size_t before = dev.RequestCount();
    CCfgWriteJob job(0, &target, session.get());
    EXPECT_TRUE(job.Setup(CFG_KIND_JSON, in.c_str(), 0));
    EXPECT_EQ(file.size(), job.GetInputSize());
    Drive(job, WritePass);
    EXPECT_EQ(10, job.GetState());
    EXPECT_TRUE(job.GetSuccess());
    EXPECT_EQ((UINT)IDS_JOB_ACCEPTED, job.GetMessageId());
    EXPECT_EQ(L"a1b2", std::wstring(job.GetSessionId()));
    std::string head = JsonHead("g h&\xfc"), tail = JsonTail();
    EXPECT_EQ(head.size() + file.size() + tail.size(), job.GetBytesSent());
    ASSERT_EQ(before + 1, dev.RequestCount());
    std::string raw = dev.Request(before + 1);
    EXPECT_EQ("POST /config.php HTTP/1.0", RequestLine(raw));
    std::string hdr = Headers(raw);
    EXPECT_NE(std::string::npos, hdr.find("\r\nContent-Type: multipart/form-data; boundary=\"3blau2blau1blau0\"\r\n"));
    EXPECT_NE(std::string::npos, hdr.find("\r\nConnection: Close\r\n"));
    EXPECT_NE(std::string::npos,
              hdr.find("\r\nContent-Length: " + std::to_string(head.size() + file.size() + tail.size()) + "\r\n"));
    EXPECT_EQ(head + file + tail, Body(raw));
}

TEST_F(CfgJobTest, XmlUploadSendsATemporaryCopy) {
    dev.SetMode("{\"reply\": \"<html><body>Syntax OK<br></body></html>\"}");
    std::wstring in = folder + L"\\patched.xml";
    WriteFileBytes(in, kXml);
    size_t before = dev.RequestCount();
    CCfgWriteJob job(0, &target, session.get());
    EXPECT_TRUE(job.Setup(CFG_KIND_XML, in.c_str(), 0));
    std::wstring copy = job.m_strInputPath.GetString();
    std::wstring name = copy.substr(copy.rfind(L'\\') + 1);
    EXPECT_EQ(L"XnI", name.substr(0, 3));
    EXPECT_EQ(kXml, ReadFileBytes(copy));
    Drive(job, WritePass);
    EXPECT_TRUE(job.GetSuccess());
    EXPECT_EQ((UINT)IDS_JOB_XML_SAYS, job.GetMessageId());
    EXPECT_EQ(L"Syntax OK", std::wstring(job.GetArgument()));
    std::string raw = dev.Request(before + 1);
    EXPECT_EQ("POST /xmlinput HTTP/1.0", RequestLine(raw));
    std::string n8(name.begin(), name.end());
    std::string expect = "--" + B + "\r\nContent-Disposition: form-data; name=\"Sess\"\r\n\r\n0\r\n--" + B +
                         "\r\nContent-Disposition: form-data; name=\"PW\"\r\n\r\nPW=g%20h%26%FC&\r\n--" + B +
                         "\r\nContent-Disposition: form-data; name=\"UPLOAD\"; filename=\"" + n8 +
                         "\"\r\nContent-Type: text/xml\r\n\r\n" + kXml + "\r\n--" + B + "--\r\n";
    EXPECT_EQ(expect, Body(raw));
    // Re-arming the job deletes its temporary copy.
    job = CCfgWriteJob(0, &target, session.get());
    EXPECT_FALSE(FileExists(copy));
}

TEST_F(CfgJobTest, CgiUploadsNameTheInputFileAndSendThePasswordPlain) {
    std::wstring in = folder + L"\\dev.zip";
    WriteFileBytes(in, std::string("PK\x03\x04\x00\xff", 6));
    dev.SetMode("{\"reply\": \"<p>Syntax ok</p>\"}");
    size_t before = dev.RequestCount();
    CCfgWriteJob job(0, &target, session.get());
    job.Setup(CFG_KIND_ZIP_CGI, in.c_str(), 0);
    Drive(job, WritePass);
    EXPECT_TRUE(job.GetSuccess());
    std::string raw = dev.Request(before + 1);
    EXPECT_EQ("POST /upload.cgi HTTP/1.0", RequestLine(raw));
    std::string expect = "--" + B + "\r\nContent-Disposition: form-data; name=\"PW\"\r\n\r\ng h&\xfc\r\n--" + B +
                         "\r\nContent-Disposition: form-data; name=\"FILE\"; filename=\"dev.zip\"\r\n"
                         "Content-Type: application/zip\r\n\r\n" +
                         std::string("PK\x03\x04\x00\xff", 6) + "\r\n--" + B + "--\r\n";
    EXPECT_EQ(expect, Body(raw));
}

struct ReplyCase {
    int kind;
    const char* mode;
    UINT message;
    const wchar_t* argument;
    bool success;
    const wchar_t* session;
};

TEST_F(CfgJobTest, EveryReplyTheDeviceGives) {
    const ReplyCase cases[] = {
        {5, R"({"reply": "{\"Dialog\": 3}"})", IDS_JOB_NETRESET, L"", true, L""},
        {5, R"({"reply": "{\"Dialog\":12}"})", IDS_JOB_NETRESET, L"", true, L""},
        {5, R"({"reply": "{\"Dialog\": 7}"})", IDS_JOB_JSON_DIALOG, L"7", false, L""},
        {5, R"({"reply": "{\"Dialog\": -2}"})", IDS_JOB_JSON_DIALOG, L"-2", false, L""},
        {5, R"({"reply": "{\"Dialog\": 1}"})", IDS_JOB_OTHER_LOGIN, L"", false, L""},
        {5, R"({"reply": "{\"Error\": {\"Row\":17}}"})", IDS_JOB_BAD_ROW, L"17", false, L""},
        {5, R"({"reply": "{\"Error\": {\"Row\": 23}}"})", IDS_JOB_BAD_ROW, L"23", false, L""},
        {5, R"({"reply": "{\"Error\":{\"TcpPort\":\"range\"}}"})", IDS_JOB_BAD_PARAM, L"\"TcpPort\"", false, L""},
        {5, R"({"reply": "{\"Error\": \"x\"}"})", IDS_JOB_BAD_PARAM, L"", false, L""},
        {5, R"({"reply": "{\"Error\":{\"LPW\":1}}"})", IDS_JOB_PASSWORD, L"", false, L""},
        {5, R"({"reply": "{\"Sess\":\"77ab\",\"UserType\":1}"})", IDS_JOB_ACCEPTED, L"", true, L"77ab"},
        {5, R"({"reply": "{\"Sess\":12,\"UserType\":1}"})", IDS_JOB_ACCEPTED, L"", true, L"12"},
        {5, R"({"reply": "{\"Sess\":\"77ab\"}"})", IDS_JOB_UNKNOWN_REPLY, L"", false, L""},
        {5, R"({"reply": "nothing"})", IDS_JOB_UNKNOWN_REPLY, L"", false, L""},
        {5, R"({"status": 503, "reply": ""})", IDS_JOB_OTHER_LOGIN, L"", false, L""},
        {5, R"({"status": 500, "reply": ""})", IDS_JOB_HTTP_STATUS, L"500", false, L""},
        {5, R"({"status": 403, "reply": "{\"Dialog\": 3}"})", IDS_JOB_PASSWORD, L"", false, L""},
        {5, R"({"reply": "{\"Dialog\": 3}", "content_type": null})", IDS_JOB_UNKNOWN_REPLY, L"", false, L""},
        {2, R"({"reply": "<!-- netreset --><html></html>"})", IDS_JOB_NETRESET, L"", false, L""},
        {2, R"({"reply": "<b>Time Out Error</b>"})", IDS_JOB_NOT_CONFIG, L"", false, L""},
        {2, R"({"reply": "<b>Syntax Error in line 12</b>"})", IDS_JOB_XML_SAYS, L"Syntax Error in line 12", false, L""},
        {2, R"({"reply": "Syntax fine"})", IDS_JOB_XML_SAYS, L"Syntax fine", true, L""},
        {2, R"({"reply_hex": "53796e74617820c3a4", "content_type": "text/html; CHARSET=UTF-8"})", IDS_JOB_XML_SAYS,
         L"Syntax \u00e4", true, L""},
        {2, R"({"reply_hex": "53796e74617820e4", "content_type": "text/html"})", IDS_JOB_XML_SAYS, L"Syntax \u00e4",
         true, L""},
        {2, R"({"drop": true})", IDS_JOB_PASSWORD, L"", false, L""},
    };
    std::wstring in = folder + L"\\KRV2.tmp";
    WriteFileBytes(in, kXml + std::string(5000, 'y'));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        dev.SetMode(c.mode);
        CCfgWriteJob job(0, &target, session.get());
        job.Setup(c.kind, in.c_str(), 0);
        Drive(job, WritePass);
        EXPECT_EQ(10, job.GetState());
        EXPECT_EQ(c.message, job.GetMessageId());
        EXPECT_EQ(std::wstring(c.argument), std::wstring(job.GetArgument()));
        EXPECT_EQ(c.success, !!job.GetSuccess());
        EXPECT_EQ(std::wstring(c.session), std::wstring(job.GetSessionId()));
    }
}

TEST_F(CfgJobTest, InputFileThatVanishedBeforeSending) {
    std::wstring in = folder + L"\\vanish.js";
    WriteFileBytes(in, "{}");
    CCfgWriteJob job(0, &target, session.get());
    job.Setup(CFG_KIND_JSON, in.c_str(), 0);
    DeleteFileW(in.c_str());
    Drive(job, WritePass);
    EXPECT_EQ((UINT)IDS_JOB_INPUT_FILE, job.GetMessageId());
    EXPECT_FALSE(job.GetSuccess());
}

TEST_F(CfgJobTest, HttpsUpload) {
    SetTarget(target, dev.Port("https"), "127.0.0.1", TRUE);
    dev.SetMode(R"({"reply": "{\"Dialog\": 2}"})");
    std::wstring in = folder + L"\\tls.js";
    WriteFileBytes(in, kJson);
    size_t before = dev.RequestCount();
    CCfgWriteJob job(0, &target, session.get());
    job.Setup(CFG_KIND_JSON, in.c_str(), 0);
    Drive(job, WritePass);
    EXPECT_TRUE(job.GetSuccess());
    EXPECT_EQ(JsonHead("g h&\xfc") + kJson + JsonTail(), Body(dev.Request(before + 1)));
}
// Over loopback the notifications often overtake the call that caused them;
// a job that set its state after the call would hang or lose its outcome.
TEST_F(CfgJobTest, ManyQuickRoundTripsAllEnd) {
    dev.SetMode(R"({"body_size": 300, "reply": "{\"Dialog\": 4}"})");
    std::wstring in = folder + L"\\quick.js";
    WriteFileBytes(in, "{\"a\": 1}");
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE(i);
        CCfgReadJob r(CFG_KIND_JSON, 0, &target, session.get(), (folder + L"\\quick.json").c_str());
        Drive(r, ReadPass, 500);
        ASSERT_TRUE(r.GetSuccess());
        ASSERT_EQ(300u, r.GetBytesReceived());
        CCfgWriteJob w(0, &target, session.get());
        w.Setup(CFG_KIND_JSON, in.c_str(), 0);
        Drive(w, WritePass, 500);
        ASSERT_TRUE(w.GetSuccess());
        ASSERT_EQ((UINT)IDS_JOB_NETRESET, w.GetMessageId());
    }
}

// Last: a reset connection may leave WinINet trying again behind our back.
TEST_F(CfgJobTest, DeviceResettingTheUploadAsksForThePassword) {
    dev.SetMode(R"({"reset_upload": true})");
    std::wstring in = folder + L"\\reset.js";
    WriteFileBytes(in, kJson + std::string(20000, 'r'));
    CCfgWriteJob job(0, &target, session.get());
    job.Setup(CFG_KIND_JSON, in.c_str(), 0);
    Drive(job, WritePass);
    EXPECT_EQ(10, job.GetState());
    EXPECT_EQ((UINT)IDS_JOB_PASSWORD, job.GetMessageId());
    EXPECT_FALSE(job.GetSuccess());
}
}  // namespace

namespace {

// The URL of a download, as a cache would file it.
std::wstring DownloadUrl(const wchar_t* scheme, int port, const std::wstring& encodedPassword) {
    return std::wstring(scheme) + L"://127.0.0.1:" + std::to_wstring(port) + L"/config.js?PW=" + encodedPassword;
}

bool InCache(const std::wstring& url) {
    BYTE buf[4096];
    DWORD size = sizeof buf;
    return GetUrlCacheEntryInfoW(url.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buf), &size) ||
           GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace

// Neither the URL with the password, nor the configuration, nor a cookie of
// the device stays anywhere once a download or upload is over.
TEST_F(CfgJobTest, NothingOfTheDeviceIsKept) {
    const std::wstring pw = L"Geheim" + std::to_wstring(GetTickCount());
    target.m_strPassword = pw.c_str();
    for (BOOL https : {FALSE, TRUE}) {
        SCOPED_TRACE(https ? "https" : "http");
        int port = dev.Port(https ? "https" : "http");
        SetTarget(target, port, "127.0.0.1", https);
        std::wstring out = folder + L"\\kept.json";
        CCfgReadJob job(CFG_KIND_JSON, 0, &target, session.get(), out.c_str());
        Drive(job, ReadPass);
        ASSERT_TRUE(job.GetSuccess());
        EXPECT_FALSE(InCache(DownloadUrl(https ? L"https" : L"http", port, pw)));
    }
    // A redirect with a cookie: neither followed nor the cookie kept.
    SetTarget(target, dev.Port("http"));
    dev.SetMode("{\"redirect\": " + std::to_string(dev.Port("http2")) + "}");
    size_t before = dev.RequestCount();
    CCfgReadJob job(CFG_KIND_JSON, 0, &target, session.get(), (folder + L"\\moved.json").c_str());
    Drive(job, ReadPass);
    EXPECT_FALSE(job.GetSuccess());
    EXPECT_EQ((UINT)IDS_JOB_HTTP_STATUS, job.GetMessageId());
    EXPECT_EQ(L"302", std::wstring(job.GetArgument()));
    EXPECT_EQ(before + 1, dev.RequestCount());
    for (const char* name : {"http", "http2"}) {
        std::wstring url = L"http://127.0.0.1:" + std::to_wstring(dev.Port(name)) + L"/";
        wchar_t cookie[512] = {};
        DWORD size = 512;
        BOOL found = InternetGetCookieW(url.c_str(), nullptr, cookie, &size);
        EXPECT_FALSE(found && wcsstr(cookie, L"device-secret")) << name;
    }
}

// A TLS handshake that never completes ends the download within the bound
// of a step that does not move.
TEST_F(CfgJobTest, TlsHandshakeThatNeverCompletesEnds) {
    SetTarget(target, dev.Port("stall"), "127.0.0.1", TRUE);
    std::wstring out = folder + L"\\stalled.json";
    CCfgReadJob job(CFG_KIND_JSON, 0, &target, session.get(), out.c_str());
    DWORD start = GetTickCount();
    while (job.GetState() != 10 && GetTickCount() - start < kCfgStallMs + 10000) ReadPass(job);
    DWORD took = GetTickCount() - start;
    EXPECT_EQ(10, job.GetState());
    EXPECT_FALSE(job.GetSuccess());
    EXPECT_EQ((UINT)IDS_JOB_TIMEOUT, job.GetMessageId());
    EXPECT_GE(took, kCfgStallMs - 1000);
    EXPECT_LT(took, kCfgStallMs + 5000);
    EXPECT_FALSE(FileExists(out));
}

namespace {

// One job of a run of several at once, each against a device of its own
// (chosen by the password it carries).
struct PatientCase {
    const char* name;
    bool upload;
    const char* port;    // the device's port by name
    const char* device;  // its mode for this job's requests
    bool success;
    UINT message;
    DWORD atLeastMs, atMostMs;  // from the job's start to its end
};

struct PatientJob {
    const PatientCase* c = nullptr;
    CCfgTarget target;
    std::wstring out;
    std::unique_ptr<CCfgReadJob> read;
    std::unique_ptr<CCfgWriteJob> write;
    DWORD start = 0, took = 0;
    bool ended = false;
    int connectProgress = -1;  // the most the job showed while connecting
    int State() const { return read ? read->GetState() : write->GetState(); }
    BOOL Success() const { return read ? read->GetSuccess() : write->GetSuccess(); }
    UINT Message() const { return read ? read->GetMessageId() : write->GetMessageId(); }
};

}  // namespace

// Devices that answer late, pause, trickle or never let a connection stand,
// met all at once since each takes tens of seconds. Before the connection
// stands a job waits as long as the connect bar runs and ends with 274;
// once the request has gone the device has the receive time-out of 30 s
// for its answer and for each pause in it, and a trickle ends with 273.
TEST_F(CfgJobTest, SlowSilentAndTricklingDevicesEndAsThePlatformWould) {
    const DWORD margin = 8000;  // a loaded machine, and the passes of the other jobs
    const PatientCase cases[] = {
        {"silent device, download", false, "silent", "{}", false, IDS_JOB_NO_ANSWER, kCfgConnectMs,
         kCfgConnectMs + margin},
        {"silent device, upload", true, "silent", "{}", false, IDS_JOB_NO_ANSWER, kCfgConnectMs,
         kCfgConnectMs + margin},
        {"download answered after 25 s", false, "http", R"({"get_delay": 25})", true, 0, 25000, 25000 + margin},
        {"download pausing 25 s in its body", false, "http", R"({"pause": [40, 25]})", true, 0, 25000, 25000 + margin},
        {"upload answered after 25 s", true, "http",
         R"({"reply_delay": 25, "reply": "{\"Sess\":\"late7\",\"UserType\":1}"})", true, IDS_JOB_ACCEPTED, 25000,
         25000 + margin},
        {"download answered after 40 s", false, "http", R"({"get_delay": 40})", false, IDS_JOB_TIMEOUT, kCfgReplyWaitMs,
         kCfgReplyWaitMs + margin},
        {"upload answered after 40 s", true, "http", R"({"reply_delay": 40})", false, IDS_JOB_TIMEOUT, kCfgReplyWaitMs,
         kCfgReplyWaitMs + margin},
        {"download trickling a byte every 10 s", false, "http", R"({"slow": [1, 10]})", false, IDS_JOB_TIMEOUT,
         kCfgAnswerGraceMs, kCfgAnswerGraceMs + margin},
        {"upload's reply trickling a byte every 10 s", true, "http", R"({"slow": [1, 10], "reply": "{\"Dialog\": 3}"})",
         false, IDS_JOB_TIMEOUT, kCfgReplyWaitMs, kCfgAnswerGraceMs + margin},
    };
    const size_t n = sizeof cases / sizeof *cases;
    std::string mode = "{\"by_password\": {";
    for (size_t i = 0; i < n; ++i) mode += (i ? ", \"p" : "\"p") + std::to_string(i) + "\": " + cases[i].device;
    dev.SetMode(mode + "}}");
    const std::wstring upload = folder + L"\\patient.js";
    ASSERT_TRUE(WriteFileBytes(upload, kJson));
    const size_t before = dev.RequestCount();

    std::vector<PatientJob> jobs(n);
    for (size_t i = 0; i < n; ++i) {
        PatientJob& j = jobs[i];
        j.c = &cases[i];
        SetTarget(j.target, dev.Port(j.c->port));
        j.target.m_strPassword = (L"p" + std::to_wstring(i)).c_str();
        j.out = folder + L"\\patient" + std::to_wstring(i) + L".json";
        j.start = GetTickCount();
        if (j.c->upload) {
            j.write = std::make_unique<CCfgWriteJob>(0, &j.target, session.get());
            ASSERT_TRUE(j.write->Setup(CFG_KIND_JSON, upload.c_str(), 0));
        } else {
            j.read = std::make_unique<CCfgReadJob>(CFG_KIND_JSON, 0, &j.target, session.get(), j.out.c_str());
        }
    }
    const DWORD start = GetTickCount();
    for (size_t open = n; open > 0 && GetTickCount() - start < kCfgConnectMs + 2 * margin;) {
        open = 0;
        for (PatientJob& j : jobs) {
            if (j.ended) continue;
            if (j.read) {
                CCfgReadJob::RunOnce(*j.read, FALSE);
                j.connectProgress = std::max(j.connectProgress, j.read->GetConnectProgress());
            } else {
                CCfgWriteJob::RunOnce(*j.write);
            }
            PumpMessages();
            if (j.State() == 10) {
                j.ended = true;
                j.took = GetTickCount() - j.start;
            } else {
                ++open;
            }
        }
    }
    for (const PatientJob& j : jobs) {
        SCOPED_TRACE(j.c->name);
        printf("%s: ended after %lu ms with message %u\n", j.c->name, (unsigned long)j.took, j.Message());
        ASSERT_TRUE(j.ended);
        EXPECT_EQ(j.c->success, !!j.Success());
        EXPECT_EQ(j.c->message, j.Message());
        EXPECT_GE(j.took, j.c->atLeastMs);
        EXPECT_LT(j.took, j.c->atMostMs);
        if (j.read) {
            EXPECT_EQ(j.c->success, FileExists(j.out));
            EXPECT_FALSE(FileExists(j.out + L".part"));
            if (j.c->success) {
                EXPECT_EQ(kJson, ReadFileBytes(j.out));
            }
        }
    }
    // The connect bar (0 to 585) has run its course for the silent device.
    EXPECT_GE(jobs[0].connectProgress, 585);
    EXPECT_EQ(L"late7", std::wstring(jobs[4].write->GetSessionId()));
    // The device had every upload whole, the late ones included.
    const std::string body = JsonHead("p4") + kJson + JsonTail();
    bool found = false;
    for (size_t r = before + 1; r <= dev.RequestCount(); ++r) found = found || Body(dev.Request(r)) == body;
    EXPECT_TRUE(found);
    dev.SetMode("{}");
}

namespace {

// Starts a program of this machine (not a Windows one); it is not followed.
void RunUnix(const std::string& command) { krvtest::StartUnix(command); }

bool WaitForFile(const std::wstring& path, DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50))
        if (FileExists(path)) return true;
    return false;
}

// A disk of 64 KB for the length of a test.
class SmallDisk {
public:
    SmallDisk() : m_unix(std::string(PEER_DIR) + "-small"), m_dir(krvtest::WinPath(m_unix)) {
        RunUnix("/bin/sh " SMALL_DISK " mount " + m_unix + " 64");
        m_ready = WaitForFile(m_dir + L"\\mounted", 10000);
    }
    ~SmallDisk() {
        if (m_ready) RunUnix("/bin/sh " SMALL_DISK " umount " + m_unix);
    }
    bool Ready() const { return m_ready; }
    std::wstring Path(const wchar_t* name) const { return m_dir + L"\\" + name; }

private:
    std::string m_unix;
    std::wstring m_dir;
    bool m_ready = false;
};

}  // namespace

// A full disk: the download, both patches and the upload's copy each end
// with a failure, and nothing half-written stays under a name that looks
// whole.
TEST_F(CfgJobTest, AFullDiskEndsEveryWriteWithAFailure) {
    SmallDisk disk;
    if (!disk.Ready()) GTEST_SKIP() << "no tmpfs can be mounted here";
    dev.SetMode("{\"body_size\": 200000}");
    std::wstring out = disk.Path(L"download.xml");
    CCfgReadJob job(CFG_KIND_XML, 0, &target, session.get(), out.c_str());
    Drive(job, ReadPass);
    EXPECT_EQ(10, job.GetState());
    EXPECT_FALSE(job.GetSuccess());
    EXPECT_EQ((UINT)IDS_JOB_OUTPUT_FILE, job.GetMessageId());
    job.CloseOutput(FALSE);
    EXPECT_FALSE(FileExists(out));
    EXPECT_FALSE(FileExists(out + L".part"));

    // Sources of 200 KB on a disk with room, copies onto the full one.
    std::string json = "{\n \"OPCServerEnable\": \"0\",\n", xml = "<Dev>\n <Enable_BINARY_1>OFF</Enable_BINARY_1>\n";
    for (int i = 0; json.size() < 200000; ++i) {
        json += " \"Pad" + std::to_string(i) + "\": \"" + std::string(60, 'p') + "\",\n";
        xml += " <Pad" + std::to_string(i) + ">" + std::string(60, 'p') + "</Pad" + std::to_string(i) + ">\n";
    }
    json += " \"End\": \"1\"\n}\n";
    xml += "</Dev>\n";
    std::wstring jsonSrc = folder + L"\\big.json", xmlSrc = folder + L"\\big.xml";
    WriteFileBytes(jsonSrc, json);
    WriteFileBytes(xmlSrc, xml);
    EXPECT_EQ(kPatchNoOutput, PatchJsonFile(jsonSrc.c_str(), disk.Path(L"patched.json").c_str(), 49153, true).outcome);
    DeleteFileW(disk.Path(L"patched.json").c_str());
    EXPECT_EQ(kPatchNoOutput, PatchXmlFile(xmlSrc.c_str(), disk.Path(L"patched.xml").c_str(), 49153, true).outcome);
    DeleteFileW(disk.Path(L"patched.xml").c_str());
    EXPECT_FALSE(CopyFileChunked(xmlSrc.c_str(), disk.Path(L"XnI1.tmp").c_str(), 0));
    DeleteFileW(disk.Path(L"XnI1.tmp").c_str());
    // With room again, each one works.
    dev.SetMode("{\"body_size\": 20000}");
    CCfgReadJob small(CFG_KIND_XML, 0, &target, session.get(), out.c_str());
    Drive(small, ReadPass);
    EXPECT_TRUE(small.GetSuccess());
    EXPECT_EQ(20000u, ReadFileBytes(out).size());
}
