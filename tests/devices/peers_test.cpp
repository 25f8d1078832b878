// The device peers as the dialog tests meet them from Wine: the discovery
// responder (loopback and, across the veth subnet of with_subnet.sh, the
// limited and directed broadcasts), the binary port and the addresses the
// subnet gives this namespace.
#include "peer_process.h"
#include "tests/test_files.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

class PeersTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    }
    static void TearDownTestSuite() { WSACleanup(); }
};

sockaddr_in Addr(const char* ip, int port) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)port);
    a.sin_addr.s_addr = inet_addr(ip);
    return a;
}

struct Datagram {
    std::string from;
    std::string data;
};

// Waits (select, bounded) for up to n datagrams.
std::vector<Datagram> Receive(SOCKET s, size_t n) {
    std::vector<Datagram> got;
    while (got.size() < n) {
        fd_set r;
        FD_ZERO(&r);
        FD_SET(s, &r);
        timeval tv = {5, 0};
        if (select(0, &r, nullptr, nullptr, &tv) <= 0) break;
        char buf[2048];
        sockaddr_in from = {};
        int len = sizeof from;
        int k = recvfrom(s, buf, sizeof buf, 0, (sockaddr*)&from, &len);
        if (k < 0) break;
        got.push_back({inet_ntoa(from.sin_addr), std::string(buf, (size_t)k)});
    }
    return got;
}

using krvtest::Hex;

TEST_F(PeersTest, DiscoveryResponderOnLoopbackFromSeveralAddresses) {
    PeerProcess udp;
    ASSERT_TRUE(
        udp.Start("udp_peer.py", {"--bind", "127.0.0.1", "--port", "0", "--reply",
                                  "full:product=123456789,port=8080,https=1", "--reply", "short:text=57620", "--reply",
                                  "classic:byte4=3,len=4", "--from", "127.0.0.2", "--from", "127.0.0.3"}));
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = Addr("127.0.0.1", udp.Port());
    ASSERT_EQ(12, sendto(s, "Version 1.03", 12, 0, (sockaddr*)&to, sizeof to));
    std::vector<Datagram> got = Receive(s, 6);
    closesocket(s);
    ASSERT_EQ(6u, got.size());
    std::string full(102, '\0');
    full[0] = 1, full[1] = 3, full[40] = (char)0x90, full[41] = 0x1f, full[94] = 2;
    const unsigned char n[6] = {0x15, 0xcd, 0x5b, 0x07, 0, 0};  // 123456789
    full.replace(96, 6, (const char*)n, 6);
    // Each source socket sends the replies in order; how the two sockets'
    // datagrams interleave is not the peer's to say.
    const std::vector<std::string> replies = {Hex(full),
                                              Hex(std::string("\x01\x01", 2) + std::string(9, '\0') + "57620"),
                                              Hex(std::string("\x01\x00\x00\x00", 4))};
    std::map<std::string, std::vector<std::string>> bySource;
    for (const Datagram& d : got) bySource[d.from].push_back(Hex(d.data));
    EXPECT_EQ(2u, bySource.size());
    EXPECT_EQ(replies, bySource["127.0.0.2"]);
    EXPECT_EQ(replies, bySource["127.0.0.3"]);
    std::string rec = udp.WaitRecord(1);
    EXPECT_NE(std::string::npos, rec.find(" to=127.0.0.1 ")) << rec;
    EXPECT_NE(std::string::npos, rec.find(" len=12 data=56657273696f6e20312e3033\n")) << rec;
}

TEST_F(PeersTest, BinaryPortAnswersTheThirdRequest) {
    PeerProcess tcp;
    ASSERT_TRUE(tcp.Start("tcp_peer.py", {"--port", "0", "--mode", "reply", "--reply-type", "0x0008"}));
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = Addr("127.0.0.1", tcp.Port());
    ASSERT_EQ(0, connect(s, (sockaddr*)&to, sizeof to));
    const char req20[8] = {0, 0, 0, 0, 0x20, 0, 8, 0}, req01[8] = {0, 0, 0, 0, 0x01, 0, 8, 0};
    send(s, req20, 8, 0);
    send(s, req20, 8, 0);
    send(s, req01, 8, 0);
    char buf[106];
    int k = recv(s, buf, sizeof buf, 0);
    closesocket(s);
    ASSERT_EQ(8, k);
    EXPECT_EQ(std::string("\0\0\0\0\x08\0\x08\0", 8), std::string(buf, 8));
    EXPECT_EQ(std::string(req20, 8) + std::string(req20, 8) + std::string(req01, 8), tcp.WaitRecord(24));
}

TEST_F(PeersTest, BinaryPortThatClosesReadsAsEnd) {
    PeerProcess tcp;
    ASSERT_TRUE(tcp.Start("tcp_peer.py", {"--port", "0", "--mode", "close"}));
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = Addr("127.0.0.1", tcp.Port());
    ASSERT_EQ(0, connect(s, (sockaddr*)&to, sizeof to));
    char buf[16];
    EXPECT_LE(recv(s, buf, sizeof buf, 0), 0);
    closesocket(s);
}

// Needs the subnet of with_subnet.sh two (the test's command).
TEST_F(PeersTest, SubnetBroadcastsReachTheFarSide) {
    const char* exec = getenv("KRV_DEVNS_EXEC");
    ASSERT_TRUE(exec && *exec) << "run through tests/devices/net/with_subnet.sh";
    // The wineserver sees this namespace's addresses.
    ULONG size = 0;
    ASSERT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetIpAddrTable(nullptr, &size, FALSE));
    std::vector<char> buf(size);
    auto* table = (MIB_IPADDRTABLE*)buf.data();
    ASSERT_EQ((DWORD)NO_ERROR, GetIpAddrTable(table, &size, FALSE));
    std::set<std::string> local;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        in_addr a;
        a.s_addr = table->table[i].dwAddr;
        local.insert(inet_ntoa(a));
    }
    EXPECT_EQ((std::set<std::string>{"127.0.0.1", "10.77.1.1", "10.77.2.1"}), local);

    PeerProcess udp;
    udp.SetPrefix(exec);
    ASSERT_TRUE(udp.Start("udp_peer.py", {"--reply", "short:text=57741"}));
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, (const char*)&on, sizeof on);
    for (const char* dest : {"255.255.255.255", "10.77.1.255", "10.77.2.255"}) {
        sockaddr_in to = Addr(dest, 8513);
        EXPECT_EQ(12, sendto(s, "Version 1.03", 12, 0, (sockaddr*)&to, sizeof to)) << dest << " " << WSAGetLastError();
    }
    std::vector<Datagram> got = Receive(s, 3);
    closesocket(s);
    ASSERT_EQ(3u, got.size());
    std::multiset<std::string> from;
    for (const Datagram& d : got) from.insert(d.from);
    EXPECT_EQ(2u, from.count("10.77.1.2"));
    EXPECT_EQ(1u, from.count("10.77.2.2"));
    std::string rec = udp.WaitRecord(1);
    for (const char* dest : {" to=255.255.255.255 ", " to=10.77.1.255 ", " to=10.77.2.255 "})
        EXPECT_NE(std::string::npos, rec.find(dest)) << rec;
}

}  // namespace
