// ESP2 telegrams: ReceiveTelegram on byte streams sent over a loopback
// connection, and the base-ID exchange and listening against a simulated
// transceiver (peers/enocean_peer.py).
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "devices/esp2.h"
#include "tests/test_files.h"
#include "enocean_peer.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const char* text) {
    Bytes b;
    for (const char* p = text; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        b.push_back(static_cast<uint8_t>(strtoul(std::string(p, 2).c_str(), nullptr, 16)));
        p += 2;
    }
    return b;
}

class Winsock : public testing::Environment {
public:
    void SetUp() override {
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
    }
    void TearDown() override { WSACleanup(); }
};
testing::Environment* const kWinsock = testing::AddGlobalTestEnvironment(new Winsock);

// Two ends of one loopback TCP connection.
class Loopback : public testing::Test {
protected:
    void SetUp() override {
        SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof a;
        ASSERT_EQ(bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(listen(l, 1), 0);
        getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
        writer_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ASSERT_EQ(connect(writer_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        reader_ = accept(l, nullptr, nullptr);
        closesocket(l);
        ASSERT_NE(reader_, INVALID_SOCKET);
        BOOL on = TRUE;
        setsockopt(writer_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    }
    void TearDown() override {
        if (writer_ != INVALID_SOCKET) closesocket(writer_);
        closesocket(reader_);
    }
    void Send(const Bytes& b) {
        ASSERT_EQ(send(writer_, reinterpret_cast<const char*>(b.data()), int(b.size()), 0), int(b.size()));
    }
    // Waits until the reader is readable, as the dialogs do before a call.
    void WaitReadable() {
        fd_set r;
        FD_ZERO(&r);
        FD_SET(reader_, &r);
        timeval t{10, 0};
        ASSERT_EQ(select(0, &r, nullptr, nullptr, &t), 1);
    }
    int Receive(int count) {
        WaitReadable();
        return ReceiveTelegram(reader_, tg_, count);
    }
    Bytes Buffer(int count) const { return Bytes(tg_, tg_ + count); }

    SOCKET writer_ = INVALID_SOCKET, reader_ = INVALID_SOCKET;
    uint8_t tg_[kEsp2Size] = {};
};

const char* const kTelegram = "A5 5A 0B 05 50 00 00 00 00 18 2B 9C 30 6F";  // radio, module 00182B9C

TEST(Esp2Telegram, ChecksumCommandAndTests) {
    Bytes command(kEsp2Size);
    BuildReadIdBaseCommand(command.data());
    EXPECT_EQ(command, Hex("A5 5A AB 58 00 00 00 00 00 00 00 00 00 03"));

    Bytes answer = Hex("A5 5A 8B 98 FF 80 12 00 00 00 00 00 00 B4");
    EXPECT_EQ(TelegramChecksum(answer.data()), 0xB4);
    EXPECT_TRUE(IsBaseIdAnswer(answer.data()));
    EXPECT_FALSE(IsRadioTelegram(answer.data()));
    EXPECT_EQ(TelegramBaseId(answer.data()), 0xFF801200u);

    Bytes radio = Hex(kTelegram);
    EXPECT_EQ(TelegramChecksum(radio.data()), 0x6F);
    EXPECT_TRUE(IsRadioTelegram(radio.data()));
    EXPECT_FALSE(IsBaseIdAnswer(radio.data()));
    EXPECT_EQ(TelegramModuleId(radio.data()), 0x00182B9Cu);

    // Class 000 with ORG 0x98 is a radio telegram, not the answer; IDs with
    // the top bit set stay unsigned.
    Bytes odd = Hex("A5 5A 1F 98 FF FF FF FE FF FF FF 01 00 00");
    EXPECT_TRUE(IsRadioTelegram(odd.data()));
    EXPECT_FALSE(IsBaseIdAnswer(odd.data()));
    EXPECT_EQ(TelegramModuleId(odd.data()), 0xFFFFFF01u);
    EXPECT_EQ(TelegramBaseId(odd.data()), 0xFFFFFFFEu);
    for (int header : {0x80, 0x8B, 0x9F}) {
        answer[2] = static_cast<uint8_t>(header);
        EXPECT_TRUE(IsBaseIdAnswer(answer.data())) << header;
    }
    for (int header : {0x0B, 0x2B, 0x6B, 0xAB, 0xEB}) {
        answer[2] = static_cast<uint8_t>(header);
        EXPECT_FALSE(IsBaseIdAnswer(answer.data())) << header;
    }
}

// Many received bytes at once give the telegrams that receives of the
// missing bytes give, however the stream is cut.
TEST(Esp2Telegram, AssembledFromChunksOfAnySize) {
    Bytes a = Hex(kTelegram);
    Bytes b = Hex("A5 5A 0B F6 30 00 00 00 01 02 03 04 30 00");
    b[13] = TelegramChecksum(b.data());
    Bytes bad = b;
    bad[13] = static_cast<uint8_t>(bad[13] + 1);
    Bytes stream = Hex("5A 0B 07");
    for (const Bytes* part : {&a, &bad, &b}) stream.insert(stream.end(), part->begin(), part->end());
    Bytes junk = Hex("00 11 A5 33");
    stream.insert(stream.end(), junk.begin(), junk.end());
    stream.insert(stream.end(), a.begin(), a.end());
    const std::vector<Bytes> expected = {a, b, a};
    for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        std::vector<Bytes> got;
        uint8_t tg[kEsp2Size];
        int count = 0;
        for (size_t at = 0; at < stream.size(); at += chunk) {
            int n = static_cast<int>(std::min(chunk, stream.size() - at));
            count = AssembleTelegrams(tg, count, stream.data() + at, n,
                                      [&](const uint8_t* t) { got.emplace_back(t, t + kEsp2Size); });
        }
        EXPECT_EQ(got, expected) << chunk;
        EXPECT_EQ(count, 0) << chunk;
    }
}

TEST_F(Loopback, StreamStartingInMidTelegram) {
    Bytes t = Hex(kTelegram);
    Bytes stream = Hex("5A 0B 07");
    stream.insert(stream.end(), t.begin(), t.end());
    Send(stream);
    int count = Receive(0);
    EXPECT_EQ(count, 11);  // shifted to the 0xA5 at position 3
    EXPECT_EQ(Buffer(count), Bytes(t.begin(), t.begin() + 11));
    EXPECT_EQ(Receive(count), kEsp2Size);
    EXPECT_EQ(Buffer(kEsp2Size), t);
}

TEST_F(Loopback, WrongChecksumKeepsFromTheNextSyncByte) {
    // Sync bytes right, checksum wrong, a 0xA5 at position 6.
    Send(Hex("A5 5A 0B 05 10 00 A5 01 02 03 04 05 06 00"));
    int count = Receive(0);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(Buffer(count), Hex("A5 01 02 03 04 05 06 00"));
}

TEST_F(Loopback, FourteenBytesWithoutSyncAreDropped) {
    Send(Hex("A5 00 01 02 03 04 05 06 07 08 09 0A 0B 0C"));
    EXPECT_EQ(Receive(0), 0);
    Send(Hex("11 22 33 44 55 66 77 88 99 AA BB CC DD EE"));
    EXPECT_EQ(Receive(0), 0);
}

TEST_F(Loopback, PiecesOfOneFiveAndEight) {
    Bytes t = Hex(kTelegram);
    int count = 0;
    const int pieces[] = {1, 5, 8};
    const int counts[] = {1, 6, 14};
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        Send(Bytes(t.begin() + at, t.begin() + at + pieces[i]));
        at += pieces[i];
        count = Receive(count);
        EXPECT_EQ(count, counts[i]) << "call " << i + 1;
    }
    EXPECT_EQ(Buffer(kEsp2Size), t);
}

TEST_F(Loopback, TwoTelegramsInOneSend) {
    Bytes t = Hex(kTelegram);
    Bytes answer = Hex("A5 5A 8B 98 FF 80 12 00 00 00 00 00 00 B4");
    Bytes both = t;
    both.insert(both.end(), answer.begin(), answer.end());
    Send(both);
    ASSERT_EQ(Receive(0), kEsp2Size);
    EXPECT_EQ(Buffer(kEsp2Size), t);
    ASSERT_EQ(Receive(0), kEsp2Size);
    EXPECT_EQ(Buffer(kEsp2Size), answer);
}

// A count the buffer cannot hold starts over: nothing is written beyond it.
TEST_F(Loopback, CountOutOfRangeStartsAnEmptyBuffer) {
    struct Guarded {
        uint8_t tg[kEsp2Size];
        uint8_t after[64];
    } g;
    memset(&g, 0xEE, sizeof g);
    Bytes t = Hex(kTelegram);
    for (int bad : {-5, 14, 15, 100000}) {
        Send(t);
        WaitReadable();
        EXPECT_EQ(ReceiveTelegram(reader_, g.tg, bad), kEsp2Size) << bad;
        EXPECT_EQ(Bytes(g.tg, g.tg + kEsp2Size), t) << bad;
        EXPECT_EQ(Bytes(g.after, g.after + sizeof g.after), Bytes(sizeof g.after, 0xEE)) << bad;
    }
}

TEST_F(Loopback, ClosedConnectionAddsNothing) {
    Send(Hex("A5 5A 0B"));
    int count = Receive(0);
    ASSERT_EQ(count, 3);
    closesocket(writer_);
    writer_ = INVALID_SOCKET;
    WaitReadable();
    bool closed = false;
    EXPECT_EQ(ReceiveTelegram(reader_, tg_, count, closed), 3);
    EXPECT_TRUE(closed);
}

// --- against the simulated transceiver ---------------------------------

class Transceiver : public krvtest::EnoceanPeer {
public:
    Transceiver(const char* mode, int port, const char* base = "FF801200")
        : EnoceanPeer(ESP2_WORKDIR "/esp2_peer_", mode, port, base) {}
    // What the peer received, once it has ended.
    Bytes Received() const {
        if (!Ended()) return Hex("DEAD");
        const std::string r = Record();
        return Bytes(r.begin(), r.end());
    }
};

const uint32_t kLoopback = htonl(INADDR_LOOPBACK);
const Bytes kCommand = Hex("A5 5A AB 58 00 00 00 00 00 00 00 00 00 03");

struct ExchangeCase {
    const char* mode;
    CBaseIdAnswer::Result result;
    uint32_t baseId;
};

class BaseIdExchange : public testing::TestWithParam<ExchangeCase> {};

TEST_P(BaseIdExchange, OneCommandAndItsAnswer) {
    const ExchangeCase& c = GetParam();
    Transceiver peer(c.mode, 8100, "FF800080");
    ASSERT_TRUE(peer.Started());
    // A long time-out: the cases that end without an answer must end by
    // themselves (a closed peer) or are silent ones with a short one.
    bool silent = strcmp(c.mode, "silent") == 0 || strcmp(c.mode, "badsum") == 0;
    CBaseIdAnswer a = ExchangeBaseId(kLoopback, 8100, silent ? 1500 : 20000);
    EXPECT_EQ(a.result, c.result);
    EXPECT_EQ(a.baseId, c.baseId);
    EXPECT_EQ(a.error, 0);
    // A transceiver that closes ends the wait at once: a closed socket stays
    // readable, and waiting on would spin through the whole time-out.
    if (strncmp(c.mode, "close", 5) == 0) {
        EXPECT_LE(a.passes, 10);
    }
    // The command went out once, exactly, and nothing else; a peer that
    // closes at once may have dropped it. Either way the peer has ended (and
    // let go of the port the next case takes) before the case does.
    const Bytes received = peer.Received();
    if (strcmp(c.mode, "close-now") != 0) {
        EXPECT_EQ(received, kCommand);
    } else {
        EXPECT_NE(received, Hex("DEAD")) << "the peer never ended";
    }
}

INSTANTIATE_TEST_SUITE_P(Transceiver, BaseIdExchange,
                         testing::Values(ExchangeCase{"answer", CBaseIdAnswer::Found, 0xFF800080u},
                                         ExchangeCase{"garbage", CBaseIdAnswer::Found, 0xFF800080u},
                                         ExchangeCase{"radio", CBaseIdAnswer::Found, 0xFF800080u},
                                         ExchangeCase{"pieces", CBaseIdAnswer::Found, 0xFF800080u},
                                         ExchangeCase{"badsum-good", CBaseIdAnswer::Found, 0xFF800080u},
                                         ExchangeCase{"badsum", CBaseIdAnswer::NoAnswer, 0},
                                         ExchangeCase{"silent", CBaseIdAnswer::NoAnswer, 0},
                                         ExchangeCase{"close", CBaseIdAnswer::NoAnswer, 0},
                                         ExchangeCase{"close-now", CBaseIdAnswer::NoAnswer, 0}),
                         [](const testing::TestParamInfo<ExchangeCase>& i) {
                             std::string n = i.param.mode;
                             for (char& ch : n)
                                 if (ch == '-') ch = '_';
                             return n;
                         });

TEST(BaseIdExchangeFailure, RefusedConnection) {
    // Nothing listens on this port inside the test's namespace.
    CBaseIdAnswer a = ExchangeBaseId(kLoopback, 8300, 20000);
    EXPECT_EQ(a.result, CBaseIdAnswer::ConnectFailed);
    EXPECT_EQ(a.error, WSAECONNREFUSED);
}

// Listening at port 8000: the module IDs of radio telegrams, with counts,
// in the order first heard; every other telegram dropped.
TEST(Listening, ModuleIdsOfRadioTelegrams) {
    Transceiver peer("stream", 8000);
    ASSERT_TRUE(peer.Started());
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = kLoopback;
    to.sin_port = htons(8000);
    ASSERT_EQ(connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    std::vector<std::pair<uint32_t, int>> heard;
    uint8_t tg[kEsp2Size];
    int count = 0;
    for (bool closed = false; !closed;) {
        fd_set r;
        FD_ZERO(&r);
        FD_SET(s, &r);
        timeval t{10, 0};
        ASSERT_EQ(select(0, &r, nullptr, nullptr, &t), 1);
        count = ReceiveTelegram(s, tg, count, closed);
        if (count == kEsp2Size) {
            count = 0;
            if (!IsRadioTelegram(tg)) continue;
            uint32_t id = TelegramModuleId(tg);
            auto it = heard.begin();
            while (it != heard.end() && it->first != id) ++it;
            if (it == heard.end())
                heard.emplace_back(id, 1);
            else
                ++it->second;
        }
    }
    closesocket(s);
    std::vector<std::pair<uint32_t, int>> expected = {
        {0x0180A1B2u, 3}, {0xFFFFFF01u, 2}, {0x00001234u, 1}, {0x8000007Fu, 1}};
    EXPECT_EQ(heard, expected);
    EXPECT_EQ(peer.Received(), Bytes());
}

}  // namespace
