// The HTTP classes against a real web server (tests/devices/peers/http_peer.py)
// on loopback, over HTTP and HTTPS.
#include "framework/Inet.h"
#include "peer_process.h"
#include "tests/answer_watch.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

using krvtest::AnswerWatch;

namespace {

struct Exchange {
    bool threw = false;
    DWORD error = 0;
    CString message;
    BOOL hasStatus = FALSE;
    DWORD status = 0;
    CString statusText;
    std::string body;
};

// One request the way the device dialogs make it; every failure is caught
// as the pointer the classes throw.
Exchange Request(CInternetSession& session, int port, const wchar_t* verb = L"GET", bool https = false,
                 bool ignoreCert = false, const CString& headers = CString(), const std::string& post = std::string()) {
    Exchange x;
    CHttpConnection* connection = nullptr;
    CHttpFile* file = nullptr;
    DWORD secure = https ? INTERNET_FLAG_SECURE : 0;
    try {
        connection = session.GetHttpConnection(L"127.0.0.1", INTERNET_FLAG_RELOAD | secure, (INTERNET_PORT)port);
        file = connection->OpenRequest(verb, L"/version", nullptr, 1, nullptr, nullptr, secure);
        if (ignoreCert) {
            DWORD flags = 0;
            EXPECT_TRUE(file->QueryOption(INTERNET_OPTION_SECURITY_FLAGS, flags));
            flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
            EXPECT_TRUE(file->SetOption(INTERNET_OPTION_SECURITY_FLAGS, flags));
        }
        file->SendRequest(headers, post.empty() ? nullptr : post.data(), (DWORD)post.size());
        x.hasStatus = file->QueryInfoStatusCode(x.status);
        file->QueryInfo(HTTP_QUERY_STATUS_TEXT, x.statusText);
        char buf[64];
        while (UINT n = file->Read(buf, sizeof buf)) x.body.append(buf, n);
        file->Close();
        connection->Close();
    } catch (CInternetException* e) {
        x.threw = true;
        x.error = e->m_dwError;
        wchar_t text[200];
        if (e->GetErrorMessage(text, 200)) x.message = text;
        e->Delete();
    }
    delete file;
    delete connection;
    return x;
}

class InetTest : public ::testing::Test {
protected:
    InetTest()
        : session(L"Korvelin Varnel", 42279, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_DONT_CACHE) {
        session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 4000);
        session.SetOption(INTERNET_OPTION_SEND_TIMEOUT, 4000);
        session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 4000);
    }
    std::string ExpectedGet(int port) const {
        // Wine's WinINet, header for header.
        return "GET /version HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
               "\r\nUser-Agent: Korvelin Varnel\r\n\r\n";
    }
    CInternetSession session;
};

TEST_F(InetTest, SessionOptionsReadBack) {
    ASSERT_TRUE(session.GetHandle());
    EXPECT_EQ(42279u, session.GetContext());
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD value = 0;
        EXPECT_TRUE(session.QueryOption(option, value));
        EXPECT_EQ(4000u, value) << option;
    }
}

TEST_F(InetTest, PageStatusAndExactRequest) {
    PeerProcess peer;
    ASSERT_TRUE(peer.Start("http_peer.py", {"--mode", "page", "--body", "Lattix Web-IO #57620 v2.1"}));
    Exchange x = Request(session, peer.Port());
    ASSERT_FALSE(x.threw) << x.error << " " << testing::PrintToString(std::wstring(x.message));
    EXPECT_TRUE(x.hasStatus);
    EXPECT_EQ(200u, x.status);
    EXPECT_EQ(CString(L"OK"), x.statusText);
    EXPECT_EQ("Lattix Web-IO #57620 v2.1", x.body);
    EXPECT_EQ(ExpectedGet(peer.Port()), peer.Record());
}

TEST_F(InetTest, BodyInSmallPiecesReadToItsEnd) {
    std::string body = "Lattix #57741 " + std::string(200, '.');
    PeerProcess peer;
    ASSERT_TRUE(peer.Start("http_peer.py", {"--mode", "pieces", "--piece", "5", "--pause", "0.02", "--body", body}));
    CHttpConnection* c = session.GetHttpConnection(L"127.0.0.1", INTERNET_FLAG_RELOAD, (INTERNET_PORT)peer.Port());
    std::unique_ptr<CHttpConnection> own(c);
    std::unique_ptr<CHttpFile> f(c->OpenRequest(L"GET", L"/version"));
    f->SendRequest();
    std::string got;
    int reads = 0;
    char buf[256];
    while (UINT n = f->Read(buf, 255)) {
        got.append(buf, n);
        ++reads;
    }
    EXPECT_EQ(body, got);
    EXPECT_GE(reads, 1);
}

TEST_F(InetTest, ErrorStatusWithItsText) {
    PeerProcess peer;
    ASSERT_TRUE(peer.Start(
        "http_peer.py", {"--mode", "status", "--status", "404", "--reason", "Seite nicht vorhanden", "--body", "-"}));
    Exchange x = Request(session, peer.Port());
    ASSERT_FALSE(x.threw) << x.error;
    EXPECT_EQ(404u, x.status);
    EXPECT_EQ(CString(L"Seite nicht vorhanden"), x.statusText);
    EXPECT_EQ(ExpectedGet(peer.Port()), peer.Record());
}

// A server that reads the request and hangs up leaves no status line: the
// request itself succeeds under Wine, and the status reads as none (0).
TEST_F(InetTest, HangUpWithoutStatusLine) {
    PeerProcess peer;
    ASSERT_TRUE(peer.Start("http_peer.py", {"--mode", "hangup"}));
    Exchange x = Request(session, peer.Port());
    if (!x.threw) {
        EXPECT_FALSE(x.hasStatus);
        EXPECT_EQ(0u, x.status);
        EXPECT_EQ("", x.body);
    }
    EXPECT_EQ(ExpectedGet(peer.Port()), peer.WaitRecord(1));
}

// Wine's WinINet takes an answer without a status line for HTTP/0.9 and
// makes it "HTTP/1.0 200 OK" without a single header line and with an empty
// body. Callers cannot tell it from a bare 200; this pins what they get.
TEST_F(InetTest, NonHttpAnswerUnderWineReadsAsBare200) {
    PeerProcess peer;
    ASSERT_TRUE(peer.Start("http_peer.py", {"--mode", "garbage"}));
    Exchange x = Request(session, peer.Port());
    ASSERT_FALSE(x.threw) << x.error;
    EXPECT_EQ(200u, x.status);
    EXPECT_EQ("", x.body);
    EXPECT_EQ(ExpectedGet(peer.Port()), peer.WaitRecord(1));
}

TEST_F(InetTest, RefusedConnectionThrows) {
    // A port nobody listens on: bind one, learn its number, close it.
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(s, (sockaddr*)&a, sizeof a));
    int length = sizeof a;
    ASSERT_EQ(0, getsockname(s, (sockaddr*)&a, &length));
    int port = ntohs(a.sin_port);
    closesocket(s);
    WSACleanup();
    Exchange x = Request(session, port);
    ASSERT_TRUE(x.threw);
    EXPECT_EQ((DWORD)ERROR_INTERNET_CANNOT_CONNECT, x.error);
    EXPECT_FALSE(x.message.IsEmpty());
}

TEST_F(InetTest, HttpsCertificateForAnotherName) {
    PeerProcess peer;
    ASSERT_TRUE(peer.Start("http_peer.py", {"--mode", "page", "--tls", "device.wrong.example", "--body", "x#57620"}));
    Exchange refused = Request(session, peer.Port(), L"GET", true, false);
    ASSERT_TRUE(refused.threw);
    EXPECT_TRUE(refused.error == ERROR_INTERNET_INVALID_CA || refused.error == ERROR_INTERNET_SEC_CERT_CN_INVALID)
        << refused.error;
    EXPECT_FALSE(refused.message.IsEmpty());

    Exchange x = Request(session, peer.Port(), L"GET", true, true);
    ASSERT_FALSE(x.threw) << x.error << " " << testing::PrintToString(std::wstring(x.message));
    EXPECT_EQ(200u, x.status);
    EXPECT_EQ("x#57620", x.body);
    EXPECT_EQ(ExpectedGet(peer.Port()), peer.Record());
}

TEST_F(InetTest, PostWithHeaderAndBody) {
    PeerProcess peer;
    ASSERT_TRUE(peer.Start("http_peer.py", {"--mode", "status", "--status", "404", "--body", ""}));
    std::string body = "Sess=0123abcd&B2.3=Abmelden";
    Exchange x = Request(session, peer.Port(), L"POST", false, false,
                         L"Content-Type: application/x-www-form-urlencoded; charset=ISO-8859-1", body);
    ASSERT_FALSE(x.threw) << x.error;
    EXPECT_EQ(404u, x.status);
    std::string expected = "POST /version HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(peer.Port()) +
                           "\r\nContent-Length: 27\r\nUser-Agent: Korvelin Varnel\r\nContent-Type: "
                           "application/x-www-form-urlencoded; charset=ISO-8859-1\r\n\r\n" +
                           body;
    EXPECT_EQ(expected, peer.WaitRecord(expected.size()));
}

// A server that accepts and never answers: the receive time-out ends the
// request (see inet_timeouts_bench for how long).
TEST_F(InetTest, SilentServerEndsWithTimeOut) {
    session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 1000);
    PeerProcess peer;
    ASSERT_TRUE(peer.Start("http_peer.py", {"--mode", "silent"}));
    Exchange x = Request(session, peer.Port());
    ASSERT_TRUE(x.threw);
    // Wine reports the expired receive as an aborted connection.
    EXPECT_TRUE(x.error == ERROR_INTERNET_TIMEOUT || x.error == ERROR_INTERNET_CONNECTION_ABORTED) << x.error;
    EXPECT_FALSE(x.message.IsEmpty());
    EXPECT_EQ(ExpectedGet(peer.Port()), peer.WaitRecord(1));
}

// One deadline over the whole exchange: whatever the server trickles, the
// blocking call throws ERROR_INTERNET_TIMEOUT soon after it, and a window of
// the calling thread is answered meanwhile.
TEST_F(InetTest, DeadlineEndsTheExchangeWhateverTheServerSends) {
    const DWORD bound = 1500;
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool https;
    } cases[] = {
        {"body a byte every 0.3 s", {"--mode", "trickle", "--pause", "0.3", "--body", std::string(30, 'x')}, false},
        {"head a byte every 0.2 s", {"--mode", "tricklehead", "--pause", "0.2"}, false},
        {"TLS handshake never answered", {"--mode", "mute", "--tls", "127.0.0.1"}, true},
        {"text on a TLS port", {"--mode", "babble", "--pause", "0.2"}, true},
        {"silent", {"--mode", "silent"}, false},
    };
    HWND window = CreateWindowW(L"STATIC", L"inet", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window != nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PeerProcess peer;
        ASSERT_TRUE(peer.Start("http_peer.py", c.args, 30));
        AnswerWatch watch(window);
        const ULONGLONG start = GetTickCount64();
        Exchange x;
        {
            CInternetDeadline scope(session, bound);
            x = Request(session, peer.Port(), L"GET", c.https, c.https);
        }
        const ULONGLONG took = GetTickCount64() - start;
        const DWORD longest = watch.Stop();
        printf("%-30s ended after %5llu ms (bound %lu), the window left a message waiting %4lu ms at most\n", c.name,
               took, (unsigned long)bound, (unsigned long)longest);
        ASSERT_TRUE(x.threw);
        EXPECT_EQ((DWORD)ERROR_INTERNET_TIMEOUT, x.error);
        EXPECT_GE(took, bound - 50);
        EXPECT_LT(took, bound + 500);
        EXPECT_LT(longest, 300u);
    }
    DestroyWindow(window);
    // the deadline is gone with its scope
    PeerProcess page;
    ASSERT_TRUE(
        page.Start("http_peer.py", {"--mode", "pieces", "--piece", "4", "--pause", "0.5", "--body", "abcdefgh#57620"}));
    Exchange x = Request(session, page.Port());
    ASSERT_FALSE(x.threw) << x.error;
    EXPECT_EQ("abcdefgh#57620", x.body);
}

// A read returns what has come: a reset after the answer costs only the
// read after it.
TEST_F(InetTest, ReadGivesWhatCameBeforeAReset) {
    PeerProcess peer;
    ASSERT_TRUE(peer.Start("http_peer.py", {"--mode", "reset", "--pause", "0.3", "--body", "Lattix #57640"}));
    CInternetDeadline scope(session, 4000);
    std::unique_ptr<CHttpConnection> c(
        session.GetHttpConnection(L"127.0.0.1", INTERNET_FLAG_RELOAD, (INTERNET_PORT)peer.Port()));
    std::unique_ptr<CHttpFile> f(c->OpenRequest(L"GET", L"/version"));
    std::string body;
    DWORD error = 0;
    try {
        f->SendRequest();
        char buf[255];
        while (UINT n = f->Read(buf, sizeof buf)) body.append(buf, n);
    } catch (CInternetException* e) {
        error = e->m_dwError;
        e->Delete();
    }
    EXPECT_EQ("Lattix #57640", body);
    EXPECT_NE(0u, error) << "the reset itself is still reported";
}

TEST(InetException, MessageIsCutToTheRoomGiven) {
    CInternetException* e = new CInternetException(ERROR_INTERNET_CANNOT_CONNECT, 42279);
    wchar_t text[8];
    EXPECT_TRUE(e->GetErrorMessage(text, 8));
    EXPECT_EQ(7u, wcslen(text));
    EXPECT_EQ(42279u, e->m_dwContext);
    wchar_t one[1] = {L'x'};
    EXPECT_TRUE(e->GetErrorMessage(one, 1));
    EXPECT_EQ(0, one[0]);
    e->Delete();
    try {
        AfxThrowInternetException(7, ERROR_INTERNET_TIMEOUT);
    } catch (CInternetException* t) {
        EXPECT_EQ((DWORD)ERROR_INTERNET_TIMEOUT, t->m_dwError);
        EXPECT_EQ(7u, t->m_dwContext);
        t->Delete();
    }
}

}  // namespace
