// Device lines of version-3 configuration files.
#include "config/device_cfg.h"
#include <gtest/gtest.h>
#include <string>

namespace {

// What the document hands over: a record of type -2 without a name.
struct Line {
    CDeviceCfg d{L"", -2};
    bool ok;
    explicit Line(const char* text) : ok(d.ParseOldLine(text)) {}
};

// The old scrambling: running byte value from the host's code-unit sum.
std::string OldScramble(const std::wstring& host, const std::wstring& pw) {
    unsigned s = 0;
    for (wchar_t c : host) s += c;
    s &= 0xFF;
    std::string out;
    char buf[3];
    for (wchar_t c : pw) {
        s = (s + c) & 0xFF;
        snprintf(buf, sizeof buf, "%02x", s);
        out += buf;
    }
    return out;
}

}  // namespace

TEST(OldFormat, PortsTimingAndFlags) {
    unsigned v = 80u * 65536u + 49153u;
    std::string text = "4\t7\tio-box.local\t" + std::to_string(v) + "\t5\t1\t\t\t\t\n";
    Line l(text.c_str());
    EXPECT_TRUE(l.ok);
    EXPECT_EQ(4, l.d.DeviceType);
    EXPECT_STREQ(L"Box7", l.d.OpcName);
    EXPECT_STREQ(L"io-box.local", l.d.TargetHost);
    EXPECT_EQ(49153, l.d.BinaryPort);
    EXPECT_EQ(80, l.d.HttpPort);
    EXPECT_EQ((int)v, l.d.SerialNo);
    EXPECT_EQ(5, l.d.MinIntervalTicks);
    EXPECT_EQ(50, l.d.MaxIdleTicks);
    EXPECT_EQ(1, l.d.Disable);
    EXPECT_EQ(0, l.d.Inputs);  // column 7 empty reads as 0
    EXPECT_EQ(0, l.d.Outputs);
    EXPECT_STREQ(L".1A.1Network", l.d.ItemNames);

    Line low("6\tThermo\th\t8000\t40\t6\n");
    EXPECT_EQ(80, low.d.HttpPort);
    EXPECT_EQ(8000, low.d.BinaryPort);
    EXPECT_EQ(60, low.d.MaxIdleTicks);
    EXPECT_STREQ(L"Thermo", low.d.OpcName);
    EXPECT_EQ(0, low.d.Disable);
    EXPECT_EQ(2, low.d.DontSubscribe);
    EXPECT_EQ(4, low.d.ForceReconnect);
    EXPECT_EQ(12, low.d.Inputs);  // the reset's counts
    EXPECT_EQ(12, low.d.Outputs);
}

TEST(OldFormat, ColumnsAndLineEnds) {
    // the CR of CR LF ends a column of its own: one more, empty, column
    Line lf("2\t3\th\n");
    EXPECT_FALSE(lf.ok);
    Line crlf("2\t3\th\r\n");
    EXPECT_TRUE(crlf.ok);
    EXPECT_STREQ(L"Com3", crlf.d.OpcName);
    Line three("6\t1\thost");
    EXPECT_FALSE(three.ok);
    Line empty("");
    EXPECT_FALSE(empty.ok);
    // adjacent tabs give empty columns; an empty name column is a number
    Line gaps("8\t\t\t\t\t\t\t1a2b3c80\n");
    EXPECT_TRUE(gaps.ok);
    EXPECT_STREQ(L"Trcv0", gaps.d.OpcName);
    EXPECT_EQ(0x1a2b3c80, gaps.d.EnOceanBaseAddress);
    // serial device server columns
    Line com("3\t2\t10.1.1.1\t4001\t2\t0\t\t19200,e,7,1\tend=13;drop=;add=;\t25\textra\tmore\r\n");
    EXPECT_TRUE(com.ok);
    EXPECT_STREQ(L"19200,e,7,1", com.d.SerialParam);
    EXPECT_STREQ(L"end=13;drop=;add=;", com.d.SerialFilter);
    EXPECT_EQ(25, com.d.SerialPacketGap);
    EXPECT_EQ(4001, com.d.BinaryPort);
    // counts
    Line counts("7\tx\th\t0\t1\t0\t\t4\t2\n");
    EXPECT_EQ(4, counts.d.Inputs);
    EXPECT_EQ(2, counts.d.Outputs);
}

TEST(OldFormat, ItemNamesAndTypeChanges) {
    Line own("6.1Temp.20.21\tT\th\t0\t1\t0\n");
    EXPECT_EQ(6, own.d.DeviceType);
    EXPECT_STREQ(L".1Temp.20.21", own.d.ItemNames);
    Line t14("14.1U.2x\tV\th\t0\t1\t0\t\t8\n");
    EXPECT_EQ(17, t14.d.DeviceType);
    EXPECT_EQ(2, t14.d.Inputs);
    EXPECT_STREQ(L".1S.20.21.1Network", t14.d.ItemNames);
    // a dot at the first character is no item-name string
    Line lead(".5\tx\th\t0\n");
    EXPECT_EQ(0, lead.d.DeviceType);
    EXPECT_STREQ(L".1E.20.21.22.23.24.25.26.27.28.29.210.211.1A.20.21.22.23.24.25.26.27.28.29.210.211.1Network",
                 lead.d.ItemNames);
}

TEST(OldFormat, GlobalOptions) {
    // column 3 = 6: both the watchdog (2) and the idle time (4) are set
    Line g("-1\t35\t\t6\t12\t0\n");
    EXPECT_TRUE(g.ok);
    EXPECT_EQ(-1, g.d.DeviceType);
    EXPECT_STREQ(L"35", g.d.OpcName);
    EXPECT_EQ(12, g.d.WatchdogTicks);
    EXPECT_EQ(35, g.d.IdleTicks);
    EXPECT_STREQ(L".0Watchdog", g.d.ItemNames);
    Line none("-1\t35\t\t0\t12\t0\n");
    EXPECT_EQ(0, none.d.WatchdogTicks);
    EXPECT_EQ(0, none.d.IdleTicks);
    EXPECT_TRUE(none.d.ItemNames.IsEmpty());
}

TEST(OldFormat, ScaledInputsOfTheAnalogSensor) {
    Line a("11\t3\ttrcv\t25000\t1\t0\t\tI-20;80;\xC2\xB0\x43\t0;100;%\t5;10\n");
    EXPECT_TRUE(a.ok);
    EXPECT_STREQ(L"EnO3", a.d.OpcName);
    EXPECT_EQ(25000, a.d.SerialNo);
    EXPECT_EQ(1, a.d.InputFlag[0]);
    EXPECT_DOUBLE_EQ(-20.0, a.d.ScaleMin[0]);
    EXPECT_DOUBLE_EQ(80.0, a.d.ScaleMax[0]);
    EXPECT_EQ(0, a.d.InputFlag[1]);
    EXPECT_STREQ(L"%", a.d.Unit[1]);
    EXPECT_DOUBLE_EQ(10.0, a.d.ScaleMax[2]);
    EXPECT_STREQ(L"10", a.d.Unit[2]);
    EXPECT_EQ(0, a.d.Inputs);  // columns 7 and 8 are counts too
}

TEST(OldFormat, PasswordDecoding) {
    std::wstring host = L"192.168.1.20";
    struct {
        const wchar_t* pw;
    } rows[] = {{L"secret"}, {L"a"}, {L""}, {L"Zz09!"}};
    for (auto& r : rows) {
        std::string line = "0\t1\t192.168.1.20\t0\t1\t0\t" + OldScramble(host, r.pw) + "\n";
        Line l(line.c_str());
        EXPECT_STREQ(r.pw, l.d.Password) << line;
    }
    // a pair equal to the running value adds nothing; an odd last character
    // is read on its own
    unsigned s = 0;
    for (wchar_t c : host) s += c;
    s &= 0xFF;
    char same[3];
    snprintf(same, sizeof same, "%02x", s);
    std::string line = std::string("0\t1\t192.168.1.20\t0\t1\t0\t") + same + "f\n";
    Line l(line.c_str());
    EXPECT_EQ(1, l.d.Password.GetLength());
    EXPECT_EQ((wchar_t)((0x0F - s) & 0xFF), l.d.Password[0]);
}

TEST(OldFormat, ResetBeforeEachLine) {
    CDeviceCfg d(L"", -2);
    EXPECT_TRUE(d.ParseOldLine("0\tA\th\t0\t100\t7\n"));
    d.PriorityLogin = 1;
    d.BinaryLogin = 1;
    d.LoginRequired = 0;
    EXPECT_TRUE(d.ParseOldLine("6\tB\th\t0\t1\t0\n"));
    EXPECT_STREQ(L"B", d.OpcName);
    EXPECT_EQ(0, d.Disable);
    EXPECT_EQ(50, d.MaxIdleTicks);
    EXPECT_EQ(0, d.PriorityLogin);
    EXPECT_EQ(0, d.BinaryLogin);
    EXPECT_EQ(1, d.LoginRequired);
    EXPECT_EQ(0, d.DontSubscribe);
}

TEST(OldFormat, OverlongAndJunkLines) {
    std::string longLine = "19\t" + std::string(5000, 'n') + "\t" + std::string(3000, '9') + "\t" +
                           std::string(40, '9') + "\t" + std::string(30, '9') + "\tffffffffff\t" +
                           std::string(2001, 'a') + "\t2147483647\t-2147483647\n";
    CDeviceCfg d(L"", -2);
    EXPECT_TRUE(d.ParseOldLine(longLine.c_str()));
    EXPECT_EQ(5000, d.OpcName.GetLength());
    EXPECT_EQ(2147483647, d.MaxIdleTicks);
    EXPECT_EQ(-2147483647, d.Outputs);
    EXPECT_GT(d.Inputs, 0);
    EXPECT_GT(d.ItemNames.GetLength(), 0);
    EXPECT_TRUE(d.ParseOldLine((const char*)nullptr) == false);
    EXPECT_FALSE(d.ParseOldLine((const wchar_t*)nullptr));
    const char junk[] = "\x01\xff\t\xfe\t\x80\x81\t\t\t\t\t\x7f\t\r\r\r\n\n";
    EXPECT_TRUE(d.ParseOldLine(junk));
}
