// Host resolution against the name service of this machine, which in this
// test's mount namespace reads tests/devices/hosts.test and then asks only
// the name-server peer on loopback (see with_hosts.sh, the test's command).
#include "devices/resolve_host.h"
#include "framework/Seams.h"

#include <winsock2.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Boxes {
    std::vector<std::wstring> texts;
    std::vector<UINT> types;
    Boxes() {
        SetMessageBoxHook([this](const wchar_t* text, UINT type) {
            texts.push_back(text);
            types.push_back(type);
            return IDOK;
        });
    }
    ~Boxes() { SetMessageBoxHook(nullptr); }
};

std::string Dotted(uint32_t a) {
    in_addr in;
    in.s_addr = a;
    return inet_ntoa(in);
}

class ResolveHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
    }
    static void TearDownTestSuite() { WSACleanup(); }
};

struct Case {
    const wchar_t* host;
    int flag;
    int result;
    const char* first;       // first address, or nullptr when none is stored
    const wchar_t* message;  // the one message box, or nullptr for none
};

TEST_F(ResolveHostTest, Table) {
    const Case cases[] = {
        {L"  10.0.0.7", TRUE, 1, "10.0.0.7", nullptr},
        {L"\t\n\v\f\r 192.168.4.20", TRUE, 1, "192.168.4.20", nullptr},
        {L"plc-one", TRUE, 1, "10.77.5.1", nullptr},
        {L" \tplc-one", TRUE, 1, "10.77.5.1", nullptr},
        // Only the low 8 bits of each unit count: U+0163 reads as 'c'.
        {L"pl\x0163-one", TRUE, 1, "10.77.5.1", nullptr},
        {L"plc-three", TRUE, 3, "10.77.5.1", nullptr},
        {L"plc-7", TRUE, 0, nullptr, L"Ungültiger Hostname \"plc-7\". (Host not found.)"},
        {L"plc-7", FALSE, 0, nullptr, nullptr},
        // The name server failed (rather than knowing no such name).
        {L"plc-9.servfail.test", TRUE, 0, nullptr, L"Namensauflösung fehlgeschlagen, Fehlercode 11002."},
        {L"plc-9.servfail.test", FALSE, 0, nullptr, nullptr},
        // A letter makes it a name, even where it looks like an address.
        {L"10.0.0.7a", TRUE, 0, nullptr, L"Ungültiger Hostname \"10.0.0.7a\". (Host not found.)"},
        // Letters in 0x0A make it a name (the address parser would take it);
        // the hosts file does not hold it.
        {L"0x0A.1.2.3", TRUE, 0, nullptr, L"Ungültiger Hostname \"0x0A.1.2.3\". (Host not found.)"},
        {L"", TRUE, 0, nullptr, L"Keine gültige IP-Adresse: "},
        {L"   ", TRUE, 0, nullptr, L"Keine gültige IP-Adresse: "},
        {nullptr, TRUE, 0, nullptr, L"Keine gültige IP-Adresse: "},
        {L"300.1.1.1", TRUE, 0, nullptr, L"Keine gültige IP-Adresse: 300.1.1.1"},
        // An invalid address is told even without the flag.
        {L"300.1.1.1", FALSE, 0, nullptr, L"Keine gültige IP-Adresse: 300.1.1.1"},
        {L"255.255.255.255", TRUE, 0, nullptr, L"Keine gültige IP-Adresse: 255.255.255.255"},
        {L"1.2.3.4:80", TRUE, 0, nullptr, L"Keine gültige IP-Adresse: 1.2.3.4:80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host ? testing::PrintToString(std::wstring(c.host)) : std::string("(null)"));
        Boxes boxes;
        uint32_t addr[2] = {0xDEADBEEF, 0xDEADBEEF};
        EXPECT_EQ(c.result, ResolveHost(c.host, addr, 1, c.flag));
        if (c.first)
            EXPECT_EQ(c.first, Dotted(addr[0]));
        else
            EXPECT_EQ(0xDEADBEEFu, addr[0]);
        EXPECT_EQ(0xDEADBEEFu, addr[1]) << "wrote beyond the room given";
        if (c.message) {
            ASSERT_EQ(1u, boxes.texts.size());
            EXPECT_EQ(std::wstring(c.message), boxes.texts[0]);
            EXPECT_EQ((UINT)(MB_OK | MB_ICONHAND), boxes.types[0]);
        } else {
            EXPECT_TRUE(boxes.texts.empty()) << (boxes.texts.empty() ? "" : testing::PrintToString(boxes.texts[0]));
        }
    }
}

TEST_F(ResolveHostTest, SeveralAddressesFillTheRoomGiven) {
    Boxes boxes;
    uint32_t addr[4] = {0, 0, 0, 0xDEADBEEF};
    EXPECT_EQ(3, ResolveHost(L"plc-three", addr, 3, TRUE));
    EXPECT_EQ("10.77.5.1", Dotted(addr[0]));
    EXPECT_EQ("10.77.5.2", Dotted(addr[1]));
    EXPECT_EQ("10.77.5.3", Dotted(addr[2]));
    EXPECT_EQ(0xDEADBEEFu, addr[3]);
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(ResolveHostTest, LongTextIsCutAfter99Characters) {
    Boxes boxes;
    std::wstring host(150, L'a');
    uint32_t addr = 0;
    EXPECT_EQ(0, ResolveHost(host.c_str(), &addr, 1, TRUE));
    ASSERT_EQ(1u, boxes.texts.size());
    EXPECT_EQ(L"Ungültiger Hostname \"" + std::wstring(99, L'a') + L"\". (Host not found.)", boxes.texts[0]);

    char name[100];
    HostTextToName((L"  " + host).c_str(), name);
    EXPECT_EQ(std::string(99, 'a'), name);
}

}  // namespace
