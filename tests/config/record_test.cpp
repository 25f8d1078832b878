// Device record defaults, kinds, names, ports, copying, tenths and the
// item-name and item-kind builders.
#include "config/device_cfg.h"
#include <gtest/gtest.h>
#include <string>

namespace {

int Dots(const CString& s) {
    int n = 0;
    for (int i = 0; i < s.GetLength(); ++i) n += s[i] == L'.';
    return n;
}

std::wstring Codes(std::initializer_list<int> list) {
    std::wstring s;
    for (int c : list) s += (wchar_t)c;
    return s;
}

}  // namespace

TEST(DeviceRecord, KindDefaults) {
    CDeviceCfg rfid(L"R", 18);
    EXPECT_EQ(2683, rfid.BinaryPort);
    EXPECT_EQ(4, rfid.Inputs);
    EXPECT_EQ(4, rfid.Outputs);
    EXPECT_EQ(50, rfid.Interval);
    CDeviceCfg io(nullptr, 0);
    EXPECT_EQ(49153, io.BinaryPort);
    EXPECT_STREQ(L"", io.OpcName);
    EXPECT_EQ(8, io.Inputs);
    EXPECT_EQ(0, io.Outputs);
    EXPECT_EQ(7, io.SerialPacketGap);
    CDeviceCfg com(L"C", 2);
    EXPECT_STREQ(L"9600,n,8,1,h", com.SerialParam);
    EXPECT_STREQ(L"end=;drop=;add=13;", com.SerialFilter);
    CDeviceCfg web(L"W", 6);
    EXPECT_EQ(8000, web.BinaryPort);
    EXPECT_STREQ(L"9600,n,8,1", web.SerialParam);
    EXPECT_EQ(80, web.HttpPort);
    EXPECT_EQ(50, web.MaxIdleTicks);
    EXPECT_EQ(1, web.MinIntervalTicks);
    EXPECT_EQ(1, web.LoginRequired);
    EXPECT_EQ(3, web.ReceiveMode);
    EXPECT_EQ(1, web.AlwaysDevClock);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(0.0, web.ScaleMin[i]);
        EXPECT_EQ(255.0, web.ScaleMax[i]);
        EXPECT_EQ(1, web.InputFlag[i]);
    }
    EXPECT_EQ(&web, web.m_pNext);
    EXPECT_EQ(&web, web.m_pPrev);
    // one storage, three names
    web.MinUpdateRate = 800;
    EXPECT_EQ(800, web.Interval);
    EXPECT_EQ(800, web.SerialPacketGap);
    web.IdleTicks = 3;
    web.WatchdogTicks = 4;
    EXPECT_EQ(3, web.Inputs);
    EXPECT_EQ(4, web.Outputs);
    // changing the type later changes no default
    web.DeviceType = 18;
    EXPECT_EQ(8000, web.BinaryPort);
}

TEST(DeviceRecord, KindsAndDefaultNames) {
    struct {
        int type, kind;
        const wchar_t* name;
    } rows[] = {
        {-1, 0, L"4"},    {0, 1, L"Box4"},   {24, 1, L"Box4"},  {6, 2, L"Box4"}, {25, 2, L"Box4"},
        {-2, 2, L"Box4"}, {100, 2, L"Box4"}, {2, 3, L"Com4"},   {3, 3, L"Com4"}, {8, 4, L"Trcv4"},
        {9, 5, L"EnO4"},  {12, 5, L"EnO4"},  {18, 6, L"Rfid4"},
    };
    for (auto& r : rows) {
        CDeviceCfg d(L"x", r.type);
        EXPECT_EQ(r.kind, d.GetKind()) << r.type;
        d.SetDefaultName(4);
        EXPECT_STREQ(r.name, d.OpcName) << r.type;
    }
}

TEST(DeviceRecord, TypeDescriptions) {
    CDeviceCfg g(L"", -1);
    EXPECT_STREQ(L"allgemeine Optionen", g.GetTypeDescription());
    CDeviceCfg push(L"", 9);
    push.Inputs = 4;
    push.Outputs = 7;
    EXPECT_STREQ(L"EnOcean-Funktaster 4-fach (4 Wippen)", push.GetTypeDescription());
    EXPECT_STREQ(L"EnOcean-Funktaster 4-fach (4 Wippen)", push.TypeDescription);
    CDeviceCfg box(L"", 4);
    box.Inputs = 3;
    box.Outputs = 2;
    EXPECT_STREQ(L"Digital-E/A-Box 3 Eingänge, 2 Ausgänge", box.GetTypeDescription());
    for (int t = -1; t <= 25; ++t) {
        CDeviceCfg d(L"", t);
        EXPECT_FALSE(d.GetTypeDescription().IsEmpty()) << t;
    }
    CDeviceCfg head(L"", -2);
    EXPECT_TRUE(head.GetTypeDescription().IsEmpty());
}

TEST(DeviceRecord, PortKey) {
    CDeviceCfg radio(L"", 11);
    radio.SerialNo = 0x0185A2B3;
    EXPECT_EQ(0x0185A2B3u, radio.GetPortKey());
    CDeviceCfg box(L"", 4);
    box.BinaryPort = 49153;
    box.HttpPort = 8080;
    EXPECT_EQ((49153u << 16) | 8080u, box.GetPortKey());
    CDeviceCfg web(L"", 21);
    web.HttpPort = 81;
    EXPECT_EQ(81u << 16, web.GetPortKey());
    CDeviceCfg com(L"", 2);
    EXPECT_EQ(8000u << 16, com.GetPortKey());
    CDeviceCfg rfid(L"", 18);
    EXPECT_EQ(2683u << 16, rfid.GetPortKey());
}

TEST(DeviceRecord, CopySettingsKeepsOwnLinks) {
    CDeviceCfg headA(L"", -2), headB(L"", -2);
    CDeviceCfg a(L"A", 4), b(L"B", 18);
    a.InsertAfter(&headA);
    b.InsertAfter(&headB);
    b.Password = L"geheim";
    b.UndoGeneration = 5;
    b.ImageIndex = 3;
    a.CopySettings(b);
    EXPECT_STREQ(L"B", a.OpcName);
    EXPECT_EQ(18, a.DeviceType);
    EXPECT_STREQ(L"geheim", a.Password);
    EXPECT_EQ(5, a.UndoGeneration);
    EXPECT_EQ(3, a.ImageIndex);
    EXPECT_EQ(&headA, a.m_pNext);
    EXPECT_EQ(&headA, a.m_pPrev);
    EXPECT_EQ(&a, headA.m_pNext);
    a.CopySettings(a);
    EXPECT_STREQ(L"B", a.OpcName);
    // the plain assignment carries the other's links
    CDeviceCfg c(L"C", 0);
    c = b;
    EXPECT_EQ(&headB, c.m_pNext);
}

TEST(DeviceRecord, RingOperations) {
    CDeviceCfg head(L"", -2), a(L"a", 0), b(L"b", 0);
    EXPECT_TRUE(head.IsListEmpty());
    a.InsertAfter(&head);
    b.InsertAfter(&head);
    EXPECT_EQ(&b, head.m_pNext);
    EXPECT_EQ(&a, b.m_pNext);
    EXPECT_EQ(&head, a.m_pNext);
    EXPECT_EQ(&a, head.m_pPrev);
    b.Unlink();
    EXPECT_EQ(&b, b.m_pNext);
    b.Unlink();
    EXPECT_EQ(&a, head.m_pNext);
    a.Unlink();
    EXPECT_TRUE(head.IsListEmpty());
}

TEST(Tenths, FormatAndParse) {
    struct {
        int v;
        const wchar_t* text;
    } fmt[] = {
        {50, L"5"}, {25, L"2.5"}, {0, L"0"}, {7, L"0.7"}, {123, L"12.3"}, {-25, L"-2.5"}, {-5, L"-0.5"}, {-30, L"-3"},
    };
    for (auto& f : fmt) {
        CString s;
        FormatTenths(f.v, s);
        EXPECT_STREQ(f.text, s) << f.v;
        EXPECT_EQ(f.v, ParseTenths(s)) << f.v;
    }
    struct {
        const wchar_t* text;
        int v;
    } parse[] = {
        {L"2.57", 25}, {L"3", 30},  {L"1.", 10},   {L"0.75", 7},
        {L"", 0},      {L"abc", 0}, {L" 4.2", 42}, {L"99999999999", 2147483647},
    };
    for (auto& p : parse) EXPECT_EQ(p.v, ParseTenths(p.text)) << p.text;
    EXPECT_EQ(0, ParseTenths(nullptr));
}

TEST(Password, ScrambleRoundTripAndForm) {
    CDeviceCfg d(L"", 0);
    d.TargetHost = L"192.168.0.10";
    d.Password = L"abc";
    CString s;
    d.EncodePassword(s);
    EXPECT_EQ(12, s.GetLength());
    // running sum from the host seed, four lower-case hex digits per character
    unsigned seed = 0x5C3A;
    for (int k = 0; k < d.TargetHost.GetLength(); ++k)
        seed += (k & 1) ? (unsigned)d.TargetHost[k] << 8 : (unsigned)d.TargetHost[k];
    seed &= 0xFFFF;
    CString expect;
    expect.Format(L"%04x%04x%04x", (seed + 'a') & 0xFFFF, (seed + 'a' + 'b') & 0xFFFF,
                  (seed + 'a' + 'b' + 'c') & 0xFFFF);
    EXPECT_STREQ(expect, s);
    CDeviceCfg r(L"", 0);
    r.TargetHost = d.TargetHost;
    r.DecodePassword(s);
    EXPECT_STREQ(L"abc", r.Password);
    // another host gives another text and no longer decodes
    r.TargetHost = L"other";
    r.DecodePassword(s);
    EXPECT_STRNE(L"abc", r.Password);
    d.Password.Empty();
    d.EncodePassword(s);
    EXPECT_TRUE(s.IsEmpty());
    // non-ASCII characters survive
    d.Password = L"ü€\x7FFF";
    d.EncodePassword(s);
    CDeviceCfg u(L"", 0);
    u.TargetHost = d.TargetHost;
    u.DecodePassword(s);
    EXPECT_STREQ(d.Password, u.Password);
    // short last group and garbage groups read as numbers, never past the end
    u.DecodePassword(L"zzzz12");
    EXPECT_EQ(2, u.Password.GetLength());
}

// One code per entry, for every type and a spread of counts.
TEST(ItemNames, CodesMatchEntriesForEveryType) {
    const int counts[] = {-3, 0, 1, 2, 3, 4, 6, 7, 12, 16, 33};
    for (int type = -1; type <= 25; ++type) {
        for (int n : counts) {
            for (int m : counts) {
                CDeviceCfg d(L"", type);
                d.Inputs = n;
                d.Outputs = m;
                d.BuildDefaultItemNames();
                d.BuildKindCodes();
                ASSERT_EQ(Dots(d.ItemNames), d.KindCodes.GetLength()) << "type " << type << " n " << n << " m " << m;
                // every entry is a dot and a depth digit
                for (int i = 0; i < d.ItemNames.GetLength(); ++i)
                    if (d.ItemNames[i] == L'.') {
                        wchar_t depth = d.ItemNames[i + 1];
                        ASSERT_TRUE(depth >= L'0' && depth <= L'2') << type;
                    }
                if (type >= 0 && type != 8) {
                    ASSERT_STREQ(L".1Network", d.ItemNames.Right(9)) << type;
                    wchar_t last = d.KindCodes[d.KindCodes.GetLength() - 1];
                    ASSERT_TRUE(last == 0x30 || last == 0x42) << type;
                }
            }
        }
    }
}

TEST(ItemNames, HugeCountsAreBounded) {
    CDeviceCfg d(L"", 19);
    d.Inputs = 0x7FFFFFFF;
    d.Outputs = 0x7FFFFFFF;
    d.BuildDefaultItemNames();
    d.BuildKindCodes();
    EXPECT_EQ(Dots(d.ItemNames), d.KindCodes.GetLength());
    EXPECT_LT(d.KindCodes.GetLength(), 20 * kMaxItemBlock);
}

TEST(ItemNames, Examples) {
    struct Row {
        int type, n, m;
        const wchar_t* names;
        std::wstring codes;
    } rows[] = {
        {4, 2, 2, L".1E.20.21.1A.20.21.1N.20.21.1Network",
         Codes({0x2F, 0x32, 0x32, 0x40, 0x43, 0x43, 0x40, 0x4B, 0x4B, 0x30})},
        {4, 0, 3, L".1A.20.21.22.1Network", Codes({0x40, 0x43, 0x43, 0x43, 0x30})},
        {18, 2, 1, L".1In.21.22.1Out.21.1Led.21.22.1Relay.1Filterset.21.22.23.24.25.26.27.28.1Network", L""},
        {9, 2, 0, L".1A.1B.10.2A.2B.11.2A.2B.1Network", Codes({0x69, 0x69, 0x40, 0x6B, 0x6B, 0x40, 0x6A, 0x6A, 0x42})},
        {2, 8, 0, L".1TxD.1RxD.1N.1Line.2Baud.2Bits.2Stop.2Parity.2Flow.2Hard.1Network", L""},
        {3, 8, 0, L".1TxD.1RxD.1N.1Line.2Baud.2Bits.2Stop.2Parity.2Flow.1E.20.21.1A.20.21.1Network", L""},
        {20, 3, 0,
         L".1Input.20.21.22.1Counter.20.21.22.1Diff.20.1Error.20.1Test.21.22.23.24.25.26"
         L".1Report.21.22.23.24.25.26.1Network",
         L""},
        {8, 4, 4, L"", L""},
        {12, 0, 0, L".1M.1L.1Network", Codes({0x67, 0x68, 0x42})},
        {-2, 4, 4, L".1Network", L""},
    };
    for (auto& r : rows) {
        CDeviceCfg d(L"", r.type);
        d.Inputs = r.n;
        d.Outputs = r.m;
        d.BuildDefaultItemNames();
        EXPECT_STREQ(r.names, d.ItemNames) << r.type;
        if (!r.codes.empty()) {
            d.BuildKindCodes();
            EXPECT_EQ(r.codes, d.KindCodes.str()) << r.type;
        }
    }
    CDeviceCfg t20(L"", 20);
    t20.Inputs = 6;
    t20.BuildDefaultItemNames();
    EXPECT_NE(-1, t20.ItemNames.Find(
                      L".1Diff.20.21.22.1Error.20.21.22.1Test.21.22.23.24.25.26.27.28.29.210.211.212.1Report"));
    CDeviceCfg g(L"", -1);
    g.WatchdogTicks = 0;
    g.BuildDefaultItemNames();
    g.BuildKindCodes();
    EXPECT_TRUE(g.ItemNames.IsEmpty());
    EXPECT_TRUE(g.KindCodes.IsEmpty());
    g.WatchdogTicks = 30;
    g.BuildDefaultItemNames();
    g.BuildKindCodes();
    EXPECT_STREQ(L".0Watchdog", g.ItemNames);
    EXPECT_STREQ(L"A", g.KindCodes);
    g.KindCodes.Empty();
    g.AppendKindCode(0x40, 3);
    g.AppendKindCode(0x41, 0);
    g.AppendKindCode(0x41, -2);
    EXPECT_STREQ(L"@@@", g.KindCodes);
}

TEST(ItemNames, Fitting) {
    struct {
        int type, n;
        const wchar_t* stored;
        const wchar_t* fitted;
    } rows[] = {
        {6, 2, L".1T.20.21.22.1Network", L".1T.20.21.22"},
        {6, 2, L".1Temp", L".1Temp.20.21.1Network"},
        {6, 2, L"", L".1T.20.21.1Network"},
        {6, 2, L".1a.2b.2c.1d", L".1a.2b.2c.1d"},
        {8, 0, L".1x.1y", L""},
        {-1, 0, L".0Watchdog", L""},
        {8, 0, L"abc.1x.1y", L"abc"},
        {6, 0, L"abc.1x.1y.1z", L"abc.1x.1y"},
    };
    for (auto& r : rows) {
        CDeviceCfg d(L"", r.type);
        d.Inputs = r.n;
        d.Outputs = 0;
        d.ItemNames = r.stored;
        d.FitItemNames();
        EXPECT_STREQ(r.fitted, d.ItemNames) << r.stored;
    }
}
