// The global options, serial device server, RFID reader and item-name
// dialogs run for real in this process: the record comes from a real
// configuration file, the dialog is driven through its controls and real
// keys, and the record is checked in the file saved afterwards.
#include "devices/global_dlg.h"
#include "devices/serial_dlg.h"
#include "devices/rfid_dlg.h"
#include "devices/tag_edit_dlg.h"
#include "devices/dlg_values.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "resources/devices_more_ids.h"
#include "dlg_suite.h"
#include "port_cases.h"
#include <gtest/gtest.h>
#include <climits>
#include <memory>
#include <stdexcept>

using namespace dlgtest;

namespace {

struct Dialogs : RecordingDialogs {
    static void SetUpTestSuite() { StartDialogs(ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES); }

    template <class Dlg> INT_PTR Run(CDeviceCfg* d, const std::function<void(HWND)>& script) {
        Dlg dlg;
        dlg.m_pDevice = d;
        return RunModal(dlg, script);
    }
};

// ------------------------------------------------------------ conversions

TEST(Seconds, ClampedBeforeTheConversionToTenths) {
    struct Case {
        const wchar_t* text;
        int cut, rounded;
    } cases[] = {
        {L"16", 160, 160},
        {L"2.35", 23, 24},
        {L"0.05", 0, 1},
        {L"0.25", 2, 3},
        {L"0.04", 0, 0},
        {L"  1.5xyz", 15, 15},
        {L"abc", 0, 0},
        {L"", 0, 0},
        {L"-4", 0, 0},
        {L"-0.04", 0, 0},
        {L"1e2", 1000, 1000},
        {L"2.5E-1", 2, 3},
        {L"214748364.7", INT_MAX, INT_MAX},
        {L"214748364.6", 2147483646, 2147483646},
        {L"1e300", INT_MAX, INT_MAX},
        {L"99999999999999999999", INT_MAX, INT_MAX},
        {L"inf", INT_MAX, INT_MAX},
        {L"-inf", 0, 0},
        {L"nan", 0, 0},
        {L"-nan", 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.cut, SecondsTextToTenths(c.text, false)) << c.text;
        EXPECT_EQ(c.rounded, SecondsTextToTenths(c.text, true)) << c.text;
    }
}

TEST(SerialParam, ParsedAndComposed) {
    struct Case {
        const wchar_t* in;
        unsigned baud;
        int bits, stop, parity, hs;
        const wchar_t* out;
    } cases[] = {
        {L"9600,n,8,1,h", 9600, 3, 0, 0, 2, L"9600,n,8,1,h"},
        {L"19200,e,7,2", 19200, 2, 1, 2, 0, L"19200,e,7,2"},  // 1, 9, 2 of the rate are no stop bits
        {L"9600,N,8,1,X", 9600, 3, 0, 0, 1, L"9600,n,8,1,x"},
        {L"o,5,2", 0, 0, 1, 1, 0, L"o,5,2"},
        {L"10,n,8,1", 10, 3, 0, 0, 0, L"n,8,1"},  // 10 or less: no rate
        {L"", 0, 3, 0, 0, 0, L"n,8,1"},
        {L"2147483648,n,8,1", 2147483648u, 3, 0, 0, 0, L"2147483648,n,8,1"},
        {L"4294967295,n,8,1", 4294967295u, 3, 0, 0, 0, L"4294967295,n,8,1"},
        {L"99999999999,n,8,1", 4294967295u, 3, 0, 0, 0, L"4294967295,n,8,1"},
    };
    for (const Case& c : cases) {
        CSerialLine l = ParseSerialParam(c.in);
        EXPECT_EQ(c.baud, l.baud) << c.in;
        EXPECT_EQ(c.bits, l.dataBitsIndex) << c.in;
        EXPECT_EQ(c.stop, l.stopBitsIndex) << c.in;
        EXPECT_EQ(c.parity, l.parityIndex) << c.in;
        EXPECT_EQ(c.hs, l.handshakeIndex) << c.in;
        EXPECT_STREQ(c.out, ComposeSerialParam(l)) << c.in;
    }
    // No selection in a list: the defaults, never past the letter table.
    CSerialLine none;
    none.baud = 9600;
    none.parityIndex = none.dataBitsIndex = none.stopBitsIndex = none.handshakeIndex = CB_ERR;
    EXPECT_STREQ(L"9600,n,8,1", ComposeSerialParam(none));
}

TEST(SerialFilter, ValuesBehindTheKeys) {
    struct Case {
        const wchar_t* filter;
        const wchar_t *end, *drop, *add;
    } cases[] = {
        {L"end=13,10;drop=;add=13;", L"13,10", L"", L"13"},
        {L"end=;add=10;", L"", L"", L"10"},
        {L"end=13", L"", L"", L""},
        {L"add=3;end=26;", L"26", L"", L"3"},
        {L"", L"", L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.end, SerialFilterValue(c.filter, L"end=")) << c.filter;
        EXPECT_STREQ(c.drop, SerialFilterValue(c.filter, L"drop=")) << c.filter;
        EXPECT_STREQ(c.add, SerialFilterValue(c.filter, L"add=")) << c.filter;
    }
}

TEST(RfidInterval, OneSignedArithmeticWithAClamp) {
    EXPECT_EQ(70, RfidIntervalFromSeconds(7));
    EXPECT_EQ(0, RfidIntervalFromSeconds(0));
    EXPECT_EQ(-50, RfidIntervalFromSeconds(-5));
    EXPECT_EQ(2147483640, RfidIntervalFromSeconds(214748364));
    EXPECT_EQ(2147483640, RfidIntervalFromSeconds(300000000));
    EXPECT_EQ(2147483640, RfidIntervalFromSeconds(INT_MAX));
    EXPECT_EQ(-2147483640, RfidIntervalFromSeconds(INT_MIN));
}

// ------------------------------------------------------------ global options

TEST_F(Dialogs, GlobalOptionsOffOpenWithDefaultsAndWriteZero) {
    FileRecord f(-1, L"global_off", [](CDeviceCfg& d) {
        d.WatchdogTicks = 0;
        d.IdleTicks = 0;
        d.MinUpdateRate = 800;
    });
    INT_PTR r = Run<CGlobalDeviceDlg>(f.Rec(), [&](HWND dlg) {
        Screenshot(L"global");
        EXPECT_FALSE(Checked(dlg, IDC_GLB_WATCHDOG_ON));
        EXPECT_FALSE(Checked(dlg, IDC_GLB_IDLE_ON));
        EXPECT_FALSE(Enabled(dlg, IDC_GLB_WATCHDOG));
        EXPECT_FALSE(Enabled(dlg, IDC_GLB_IDLE));
        EXPECT_EQ(L"16.0", Text(dlg, IDC_GLB_WATCHDOG));
        EXPECT_EQ(L"8.0", Text(dlg, IDC_GLB_IDLE));
        EXPECT_EQ(L"800", Text(dlg, IDC_GLB_UPDATE_RATE));
        Click(dlg, IDC_GLB_WATCHDOG_ON);
        EXPECT_TRUE(Enabled(dlg, IDC_GLB_WATCHDOG));
        Click(dlg, IDC_GLB_WATCHDOG_ON);
        EXPECT_FALSE(Enabled(dlg, IDC_GLB_WATCHDOG));
        EXPECT_EQ(std::vector<DWORD_PTR>{100}, HelpOnF1(dlg, IDC_GLB_UPDATE_RATE));
        Press(dlg, IDOK);
    });
    EXPECT_EQ(IDOK, r);
    CDeviceCfg* s = f.Saved();
    ASSERT_TRUE(s);
    EXPECT_EQ(0, s->WatchdogTicks);
    EXPECT_EQ(0, s->IdleTicks);
    EXPECT_EQ(800, s->MinUpdateRate);
}

TEST_F(Dialogs, GlobalOptionsSecondsCutTowardZeroWithLimits) {
    struct Case {
        const wchar_t *watch, *idle, *rate;
        int watchTicks, idleTicks, rateMs;
    } cases[] = {
        {L"2.35", L"0.05", L"5", 23, 1, 10},
        {L"16", L"abc", L"-3", 160, 1, 10},
        {L"-4", L"0", L"", 1, 1, 10},
        {L"1e300", L"nan", L"800", INT_MAX, 1, 800},
        {L"inf", L"3e1", L"12", INT_MAX, 300, 12},
    };
    for (const Case& c : cases) {
        FileRecord f(-1, L"global_cut", [](CDeviceCfg& d) {
            d.WatchdogTicks = 160;
            d.IdleTicks = 5;
            d.MinUpdateRate = 900;
        });
        INT_PTR r = Run<CGlobalDeviceDlg>(f.Rec(), [&](HWND dlg) {
            EXPECT_TRUE(Checked(dlg, IDC_GLB_WATCHDOG_ON));
            EXPECT_EQ(L"16.0", Text(dlg, IDC_GLB_WATCHDOG));
            EXPECT_EQ(L"0.5", Text(dlg, IDC_GLB_IDLE));
            SetText(dlg, IDC_GLB_WATCHDOG, c.watch);
            SetText(dlg, IDC_GLB_IDLE, c.idle);
            SetText(dlg, IDC_GLB_UPDATE_RATE, c.rate);
            Press(dlg, IDOK);
        });
        EXPECT_EQ(IDOK, r);
        CDeviceCfg* s = f.Saved();
        ASSERT_TRUE(s);
        EXPECT_EQ(c.watchTicks, s->WatchdogTicks) << c.watch;
        EXPECT_EQ(c.idleTicks, s->IdleTicks) << c.idle;
        EXPECT_EQ(c.rateMs, s->MinUpdateRate) << c.rate;
    }
}

// Whole numbers only: "12x" is no number, one beyond the field's range its end.
TEST_F(Dialogs, GlobalOptionsUpdateRateReadStrictly) {
    struct Case {
        const wchar_t* text;
        int rate;
    } cases[] = {
        {L"12x", 10},
        {L"", 10},
        {L"9", 10},
        {L"11", 11},
        {L" 800 ", 800},
        {L"2147483647", INT_MAX},
        {L"2147483648", INT_MAX},
        {L"99999999999", INT_MAX},
        {L"-2147483648", 10},
        {L"-2147483649", 10},
        {L"1e3", 10},
    };
    FileRecord f(-1, L"global_rate", [](CDeviceCfg& d) { d.MinUpdateRate = 900; });
    for (const Case& c : cases) {
        EXPECT_EQ(IDOK, Run<CGlobalDeviceDlg>(f.Rec(), [&](HWND dlg) {
                      SetText(dlg, IDC_GLB_UPDATE_RATE, c.text);
                      Press(dlg, IDOK);
                  }));
        EXPECT_EQ(c.rate, f.Rec()->MinUpdateRate) << c.text;
    }
}

TEST_F(Dialogs, GlobalOptionsStandardReachesTheRecordOnlyThroughOk) {
    auto setup = [](CDeviceCfg& d) {
        d.WatchdogTicks = 30;
        d.IdleTicks = 20;
        d.MinUpdateRate = 100;
    };
    FileRecord f(-1, L"global_std", setup);
    auto standard = [&](HWND dlg) {
        Click(dlg, IDC_DEV_STANDARD);
        EXPECT_FALSE(Checked(dlg, IDC_GLB_WATCHDOG_ON));
        EXPECT_FALSE(Enabled(dlg, IDC_GLB_IDLE));
        EXPECT_EQ(L"16.0", Text(dlg, IDC_GLB_WATCHDOG));
        EXPECT_EQ(L"800", Text(dlg, IDC_GLB_UPDATE_RATE));
    };
    EXPECT_EQ(IDCANCEL, Run<CGlobalDeviceDlg>(f.Rec(), [&](HWND dlg) {
                  standard(dlg);
                  Press(dlg, IDCANCEL);
              }));
    EXPECT_EQ(30, f.Rec()->WatchdogTicks);
    EXPECT_EQ(20, f.Rec()->IdleTicks);
    EXPECT_EQ(100, f.Rec()->MinUpdateRate);
    EXPECT_EQ(IDOK, Run<CGlobalDeviceDlg>(f.Rec(), [&](HWND dlg) {
                  standard(dlg);
                  Press(dlg, IDOK);
              }));
    CDeviceCfg* s = f.Saved();
    ASSERT_TRUE(s);
    EXPECT_EQ(0, s->WatchdogTicks);
    EXPECT_EQ(0, s->IdleTicks);
    EXPECT_EQ(800, s->MinUpdateRate);
}

// ------------------------------------------------------------ serial device server

TEST_F(Dialogs, SerialShowsTheRecordAndWritesItBackUnchanged) {
    FileRecord f(2, L"Com1", [](CDeviceCfg& d) {
        d.TargetHost = L"10.0.0.7";
        d.BinaryPort = 8100;
        d.Password = L"geheim";
        d.SerialParam = L"9600,n,8,1,h";
        d.SerialFilter = L"end=13,10;drop=;add=13;";
        d.SerialPacketGap = 12;
    });
    INT_PTR r = Run<CSerialDeviceDlg>(f.Rec(), [&](HWND dlg) {
        Screenshot(L"serial");
        EXPECT_EQ(L"10.0.0.7", Text(dlg, IDC_DEV_HOST));
        EXPECT_EQ(L"8100", Text(dlg, IDC_DEV_PORT));
        EXPECT_EQ(L"geheim", Text(dlg, IDC_DEV_PASSWORD));
        EXPECT_EQ(L"Com1", Text(dlg, IDC_DEV_NAME));
        EXPECT_EQ(L"9600", Text(dlg, IDC_SER_BAUD));
        EXPECT_EQ(L"8", Text(dlg, IDC_SER_DATABITS));
        EXPECT_EQ(L"1", Text(dlg, IDC_SER_STOPBITS));
        EXPECT_EQ(L"keine", Text(dlg, IDC_SER_PARITY));
        EXPECT_EQ(L"Hardware", Text(dlg, IDC_SER_HANDSHAKE));
        EXPECT_EQ(L"13,10", Text(dlg, IDC_SER_END));
        EXPECT_EQ(L"", Text(dlg, IDC_SER_DROP));
        EXPECT_EQ(L"13", Text(dlg, IDC_SER_ADD));
        EXPECT_TRUE(Checked(dlg, IDC_SER_GAP_ON));
        EXPECT_EQ(L"1.2", Text(dlg, IDC_SER_GAP));
        EXPECT_FALSE(Checked(dlg, IDC_SER_LINES_IO));
        // The lists come with the template.
        EXPECT_EQ((std::vector<std::wstring>{L"8000", L"8100", L"8200", L"8300"}), Entries(dlg, IDC_DEV_PORT));
        EXPECT_EQ(17u, Entries(dlg, IDC_SER_BAUD).size());
        EXPECT_EQ((std::vector<std::wstring>{L"10", L"13", L"10,13", L"26", L"3"}), Entries(dlg, IDC_SER_DROP));
        EXPECT_EQ(std::vector<DWORD_PTR>{102}, HelpOnF1(dlg, IDC_SER_PARITY));
        Press(dlg, IDOK);
    });
    EXPECT_EQ(IDOK, r);
    CDeviceCfg* s = f.Saved();
    ASSERT_TRUE(s);
    EXPECT_EQ(2, s->DeviceType);
    EXPECT_STREQ(L"10.0.0.7", s->TargetHost);
    EXPECT_EQ(8100, s->BinaryPort);
    EXPECT_STREQ(L"geheim", s->Password);
    EXPECT_STREQ(L"9600,n,8,1,h", s->SerialParam);
    EXPECT_STREQ(L"end=13,10;drop=;add=13;", s->SerialFilter);
    EXPECT_EQ(12, s->SerialPacketGap);
}

TEST_F(Dialogs, SerialParametersAndRulesAsTyped) {
    struct Case {
        const wchar_t *param, *filter;
        int gap;
        const wchar_t *baud, *gapText;
        bool gapOn;
        int parity, bits;  // -1: leave the list without a selection
        const wchar_t *outParam, *outFilter;
        int outGap;
    } cases[] = {
        {L"19200,e,7,2", L"end=13", 0, nullptr, nullptr, false, -2, -2, L"19200,e,7,2", L"end=;drop=;add=;", 0},
        {L"9600,N,8,1,X", L"add=10;", 0, nullptr, L"0.25", true, -2, -2, L"9600,n,8,1,x", L"end=;drop=;add=10;", 3},
        {L"9600,n,8,1", L"drop=10;", 5, L"", L"0.04", true, -2, -2, L"n,8,1", L"end=;drop=10;add=;", 0},
        {L"9600,n,8,1", L"drop=10;", 5, L"2147483648", L"1e300", true, -2, -2, L"2147483648,n,8,1",
         L"end=;drop=10;add=;", INT_MAX},
        {L"9600,o,6,1", L"drop=10;", 5, nullptr, L"-3", true, -1, -1, L"9600,n,8,1", L"end=;drop=10;add=;", 0},
        {L"9600,n,8,1", L"drop=10;", 5, L"10", L"nan", true, 2, 0, L"e,5,1", L"end=;drop=10;add=;", 0},
    };
    for (const Case& c : cases) {
        FileRecord f(2, L"Com2", [&](CDeviceCfg& d) {
            d.SerialParam = c.param;
            d.SerialFilter = c.filter;
            d.SerialPacketGap = c.gap;
        });
        INT_PTR r = Run<CSerialDeviceDlg>(f.Rec(), [&](HWND dlg) {
            if (c.gap == 0) {
                EXPECT_FALSE(Checked(dlg, IDC_SER_GAP_ON));
                EXPECT_FALSE(Enabled(dlg, IDC_SER_GAP));
                EXPECT_EQ(L"0.7", Text(dlg, IDC_SER_GAP));
            }
            if (c.baud) SetText(dlg, IDC_SER_BAUD, c.baud);
            if (c.gapText) SetText(dlg, IDC_SER_GAP, c.gapText);
            if (c.gapOn != Checked(dlg, IDC_SER_GAP_ON)) Click(dlg, IDC_SER_GAP_ON);
            EXPECT_EQ(c.gapOn, Enabled(dlg, IDC_SER_GAP));
            if (c.parity != -2) Choose(dlg, IDC_SER_PARITY, c.parity);
            if (c.bits != -2) Choose(dlg, IDC_SER_DATABITS, c.bits);
            Press(dlg, IDOK);
        });
        EXPECT_EQ(IDOK, r);
        CDeviceCfg* s = f.Saved();
        ASSERT_TRUE(s);
        EXPECT_STREQ(c.outParam, s->SerialParam) << c.param;
        EXPECT_STREQ(c.outFilter, s->SerialFilter) << c.param;
        EXPECT_EQ(c.outGap, s->SerialPacketGap) << c.param;
    }
}

TEST_F(Dialogs, SerialBaudRateShownIsTheOneWritten) {
    struct Case {
        const wchar_t *param, *shown, *typed, *out;
    } cases[] = {
        {L"4294967295,n,8,1", L"4294967295", nullptr, L"4294967295,n,8,1"},
        {L"99999999999,e,7,2", L"4294967295", nullptr, L"4294967295,e,7,2"},
        {L"2147483647,n,8,1", L"2147483647", nullptr, L"2147483647,n,8,1"},
        {L"9600,n,8,1", L"9600", L"4294967295", L"4294967295,n,8,1"},
    };
    for (const Case& c : cases) {
        FileRecord f(2, L"Com5", [&](CDeviceCfg& d) { d.SerialParam = c.param; });
        INT_PTR r = Run<CSerialDeviceDlg>(f.Rec(), [&](HWND dlg) {
            EXPECT_EQ(c.shown, Text(dlg, IDC_SER_BAUD)) << c.param;
            if (c.typed) SetText(dlg, IDC_SER_BAUD, c.typed);
            Press(dlg, IDOK);
        });
        EXPECT_EQ(IDOK, r);
        CDeviceCfg* s = f.Saved();
        ASSERT_TRUE(s);
        EXPECT_STREQ(c.out, s->SerialParam) << c.param;
    }
}

TEST_F(Dialogs, SerialPortAndBaudRateReadStrictly) {
    FileRecord f(2, L"Com6", [](CDeviceCfg& d) {
        d.BinaryPort = 8000;
        d.SerialParam = L"9600,n,8,1";
    });
    for (const porttest::PortCase& c : porttest::kUnsignedPorts) {
        EXPECT_EQ(IDOK, Run<CSerialDeviceDlg>(f.Rec(), [&](HWND dlg) {
                      SetText(dlg, IDC_DEV_PORT, c.text);
                      Press(dlg, IDOK);
                  }));
        EXPECT_EQ(c.port, f.Rec()->BinaryPort) << c.text;
    }
    struct Case {
        const wchar_t *baud, *param;
    } cases[] = {
        {L"12x", L"n,8,1"},
        {L"19200x", L"n,8,1"},
        {L"", L"n,8,1"},
        {L"-5", L"n,8,1"},
        {L"11", L"11,n,8,1"},
        {L" 19200 ", L"19200,n,8,1"},
        {L"4294967296", L"4294967295,n,8,1"},
        {L"99999999999", L"4294967295,n,8,1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IDOK, Run<CSerialDeviceDlg>(f.Rec(), [&](HWND dlg) {
                      SetText(dlg, IDC_SER_BAUD, c.baud);
                      Press(dlg, IDOK);
                  }));
        EXPECT_STREQ(c.param, f.Rec()->SerialParam) << c.baud;
    }
}

TEST_F(Dialogs, SerialHandshakeLinesAndHardwareHandshakeExcludeEachOther) {
    FileRecord f(2, L"Com3", [](CDeviceCfg& d) { d.SerialParam = L"9600,n,8,1,h"; });
    auto script = [&](HWND dlg) {
        Click(dlg, IDC_SER_LINES_IO);
        EXPECT_TRUE(Checked(dlg, IDC_SER_LINES_IO));
        EXPECT_EQ(L"Software", Text(dlg, IDC_SER_HANDSHAKE));
        Choose(dlg, IDC_SER_HANDSHAKE, 2);
        EXPECT_FALSE(Checked(dlg, IDC_SER_LINES_IO));
        Click(dlg, IDC_SER_LINES_IO);
        EXPECT_EQ(L"Software", Text(dlg, IDC_SER_HANDSHAKE));
        SetText(dlg, IDC_DEV_HOST, L"com3.local");
        SetText(dlg, IDC_DEV_PORT, L"70000");
        SetText(dlg, IDC_SER_END, L"3");
        SetText(dlg, IDC_SER_DROP, L"10,13");
    };
    // Cancel after every change leaves the record as it was.
    EXPECT_EQ(IDCANCEL, Run<CSerialDeviceDlg>(f.Rec(), [&](HWND dlg) {
                  script(dlg);
                  Press(dlg, IDCANCEL);
              }));
    EXPECT_EQ(2, f.Rec()->DeviceType);
    EXPECT_STREQ(L"9600,n,8,1,h", f.Rec()->SerialParam);
    EXPECT_STREQ(L"end=;drop=;add=13;", f.Rec()->SerialFilter);
    EXPECT_EQ(IDOK, Run<CSerialDeviceDlg>(f.Rec(), [&](HWND dlg) {
                  script(dlg);
                  Press(dlg, IDOK);
              }));
    CDeviceCfg* s = f.Saved();
    ASSERT_TRUE(s);
    EXPECT_EQ(3, s->DeviceType);
    EXPECT_STREQ(L"9600,n,8,1,x", s->SerialParam);
    EXPECT_STREQ(L"end=3;drop=10,13;add=13;", s->SerialFilter);
    EXPECT_STREQ(L"com3.local", s->TargetHost);
    EXPECT_EQ((unsigned short)70000, s->BinaryPort);
}

// ------------------------------------------------------------ RFID reader

TEST_F(Dialogs, RfidIntervalFlagsAndCounts) {
    FileRecord f(18, L"Rfid1", [](CDeviceCfg& d) {
        d.TargetHost = L"rfid1";
        d.Interval = 55;
        d.ReceiveMode = 1;
        d.UsesLocalTime = 1;
        d.AlwaysDevClock = 1;
        d.Inputs = 2;
        d.Outputs = 7;
    });
    INT_PTR r = Run<CRfidDeviceDlg>(f.Rec(), [&](HWND dlg) {
        Screenshot(L"rfid");
        EXPECT_EQ(L"5", Text(dlg, IDC_RFID_INTERVAL));
        EXPECT_EQ(L"2683", Text(dlg, IDC_DEV_PORT));
        EXPECT_TRUE(Checked(dlg, IDC_RFID_BUFFERED));
        EXPECT_TRUE(Enabled(dlg, IDC_RFID_INTERVAL));
        EXPECT_FALSE(Enabled(dlg, IDC_RFID_IGNORE_CLOCK));
        EXPECT_TRUE(Checked(dlg, IDC_RFID_LOCALTIME));
        EXPECT_EQ((std::vector<std::wstring>{L"5", L"10", L"20", L"30", L"60"}), Entries(dlg, IDC_RFID_INTERVAL));
        EXPECT_EQ(std::vector<DWORD_PTR>{105}, HelpOnF1(dlg, IDC_DEV_HOST));
        Press(dlg, IDOK);
    });
    EXPECT_EQ(IDOK, r);
    CDeviceCfg* s = f.Saved();
    ASSERT_TRUE(s);
    EXPECT_EQ(50, s->Interval);
    EXPECT_EQ(3, s->ReceiveMode);
    EXPECT_EQ(1, s->UsesLocalTime);
    EXPECT_EQ(1, s->AlwaysDevClock);
    EXPECT_EQ(4, s->Inputs);
    EXPECT_EQ(4, s->Outputs);
}

TEST_F(Dialogs, RfidDirectOnlyAndTheReadersClock) {
    FileRecord f(18, L"Rfid2", [](CDeviceCfg& d) {
        d.ReceiveMode = 2;
        d.AlwaysDevClock = 0;
        d.UsesLocalTime = 0;
        d.Interval = 50;
    });
    INT_PTR r = Run<CRfidDeviceDlg>(f.Rec(), [&](HWND dlg) {
        EXPECT_TRUE(Checked(dlg, IDC_RFID_DIRECT));
        EXPECT_FALSE(Enabled(dlg, IDC_RFID_INTERVAL));
        EXPECT_TRUE(Checked(dlg, IDC_RFID_IGNORE_CLOCK));
        EXPECT_TRUE(Enabled(dlg, IDC_RFID_IGNORE_CLOCK));
        EXPECT_FALSE(Enabled(dlg, IDC_RFID_LOCALTIME));  // disabled, still written
        Click(dlg, IDC_RFID_IGNORE_CLOCK);
        EXPECT_TRUE(Enabled(dlg, IDC_RFID_LOCALTIME));
        Click(dlg, IDC_RFID_LOCALTIME);
        Click(dlg, IDC_RFID_IGNORE_CLOCK);
        EXPECT_FALSE(Enabled(dlg, IDC_RFID_LOCALTIME));
        SetText(dlg, IDC_RFID_INTERVAL, L"7");  // disabled, still read
        SetText(dlg, IDC_DEV_PORT, L"-1");
        Press(dlg, IDOK);
    });
    EXPECT_EQ(IDOK, r);
    CDeviceCfg* s = f.Saved();
    ASSERT_TRUE(s);
    EXPECT_EQ(2, s->ReceiveMode);
    EXPECT_EQ(0, s->AlwaysDevClock);
    EXPECT_EQ(1, s->UsesLocalTime);
    EXPECT_EQ(70, s->Interval);
    EXPECT_EQ(65535, s->BinaryPort);

    // Back to buffered: the timestamps are used again; a huge interval is clamped
    // and shows the same when read back.
    r = Run<CRfidDeviceDlg>(f.Rec(), [&](HWND dlg) {
        Click(dlg, IDC_RFID_BUFFERED);
        EXPECT_FALSE(Checked(dlg, IDC_RFID_IGNORE_CLOCK));
        EXPECT_FALSE(Enabled(dlg, IDC_RFID_IGNORE_CLOCK));
        EXPECT_TRUE(Enabled(dlg, IDC_RFID_INTERVAL));
        SetText(dlg, IDC_RFID_INTERVAL, L"300000000");
        Press(dlg, IDOK);
    });
    EXPECT_EQ(IDOK, r);
    s = f.Saved();
    ASSERT_TRUE(s);
    EXPECT_EQ(3, s->ReceiveMode);
    EXPECT_EQ(1, s->AlwaysDevClock);
    EXPECT_EQ(2147483640, s->Interval);
    Run<CRfidDeviceDlg>(f.Rec(), [&](HWND dlg) {
        EXPECT_EQ(L"214748364", Text(dlg, IDC_RFID_INTERVAL));
        Press(dlg, IDOK);
    });
    EXPECT_EQ(2147483640, f.Rec()->Interval);
}

// The port and the interval are read as signed numbers: the port keeps its
// low 16 bits, the interval is counted in tenths within the field's range.
TEST_F(Dialogs, RfidPortAndIntervalReadStrictly) {
    FileRecord f(18, L"Rfid4", [](CDeviceCfg& d) {
        d.ReceiveMode = 3;
        d.Interval = 50;
    });
    struct Port {
        const wchar_t* text;
        int port;
    } ports[] = {
        {L"2683", 2683},
        {L"-1", 65535},
        {L"12x", 0},
        {L"", 0},
        {L"65536", 0},
        {L"2147483647", 65535},
        {L"2147483648", 65535},
        {L"-2147483648", 0},
        {L"-2147483649", 0},
    };
    for (const Port& c : ports) {
        EXPECT_EQ(IDOK, Run<CRfidDeviceDlg>(f.Rec(), [&](HWND dlg) {
                      SetText(dlg, IDC_DEV_PORT, c.text);
                      Press(dlg, IDOK);
                  }));
        EXPECT_EQ(c.port, f.Rec()->BinaryPort) << c.text;
    }
    struct Interval {
        const wchar_t* text;
        int tenths;
    } intervals[] = {
        {L"7", 70},
        {L"12x", 0},
        {L"", 0},
        {L"0", 0},
        {L"-5", -50},
        {L"2147483647", 2147483640},
        {L"99999999999", 2147483640},
        {L"-2147483648", -2147483640},
        {L"-99999999999", -2147483640},
    };
    for (const Interval& c : intervals) {
        EXPECT_EQ(IDOK, Run<CRfidDeviceDlg>(f.Rec(), [&](HWND dlg) {
                      SetText(dlg, IDC_RFID_INTERVAL, c.text);
                      Press(dlg, IDOK);
                  }));
        EXPECT_EQ(c.tenths, f.Rec()->Interval) << c.text;
    }
}

// ------------------------------------------------------------ item-name editor

// The tree as "depth label" lines; the bold heading marked with "*".
std::vector<std::wstring> TreeLines(HWND dlg) {
    HWND tree = GetDlgItem(dlg, IDC_TAG_TREE);
    std::vector<std::wstring> out;
    std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM n, int depth) {
        for (; n; n = TreeView_GetNextSibling(tree, n)) {
            wchar_t buf[256] = {0};
            TVITEMW tv{};
            tv.mask = TVIF_TEXT | TVIF_STATE | TVIF_HANDLE;
            tv.hItem = n;
            tv.stateMask = TVIS_BOLD;
            tv.pszText = buf;
            tv.cchTextMax = 256;
            TreeView_GetItem(tree, &tv);
            out.push_back(std::to_wstring(depth) + L" " + ((tv.state & TVIS_BOLD) ? L"*" : L"") + buf);
            walk(TreeView_GetChild(tree, n), depth + 1);
        }
    };
    walk(TreeView_GetRoot(tree), 0);
    return out;
}

HTREEITEM FindNode(HWND dlg, const std::wstring& label) {
    HWND tree = GetDlgItem(dlg, IDC_TAG_TREE);
    for (HTREEITEM n = TreeView_GetRoot(tree); n; n = TreeView_GetNextVisible(tree, n)) {
        wchar_t buf[256] = {0};
        TVITEMW tv{};
        tv.mask = TVIF_TEXT | TVIF_HANDLE;
        tv.hItem = n;
        tv.pszText = buf;
        tv.cchTextMax = 256;
        TreeView_GetItem(tree, &tv);
        if (label == buf) return n;
    }
    return nullptr;
}

HWND EditOf(HWND dlg) { return TreeView_GetEditControl(GetDlgItem(dlg, IDC_TAG_TREE)); }

// Selects the node and starts its edit with F2, as the user does.
bool StartEdit(HWND dlg, const std::wstring& label) {
    HTREEITEM n = FindNode(dlg, label);
    if (!n) return false;
    TreeView_SelectItem(GetDlgItem(dlg, IDC_TAG_TREE), n);
    Focus(dlg, IDC_TAG_TREE);
    Key(VK_F2);
    return WaitFor([&] { return EditOf(dlg) != nullptr; });
}

// Types text into the running edit and ends it with the key.
void EndEdit(HWND dlg, const std::wstring& text, WORD vk, bool shift = false) {
    HWND edit = EditOf(dlg);
    SendMessageW(edit, WM_SETTEXT, 0, (LPARAM)text.c_str());
    Key(vk, shift);
    WaitFor([&] { return !IsWindow(edit); });
}

TEST_F(Dialogs, ItemNamesTreeFromTheStringAndWrittenBack) {
    struct Case {
        const wchar_t* names;
        std::vector<std::wstring> tree;
        const wchar_t* out;
    } cases[] = {
        {L"", {L"0 Box1"}, L""},
        {L".1a.3b.9c", {L"0 Box1", L"1 a", L"2 b", L"3 c"}, L".1a.2b.3c"},
        {L".1a.2b.3c.4d.5e.6f", {L"0 Box1", L"1 a", L"2 b", L"3 c", L"4 d", L"4 e", L"4 f"}, L".1a.2b.3c.4d.4e.4f"},
        {L".1a.0z.1y", {L"0 Box1", L"1 a", L"0 z", L"1 y"}, L".1a.0z.1y"},
        {L".1a..1b", {L"0 Box1", L"1 a", L"1 b"}, L".1a.1b"},
        // Text before the first entry is no entry: the device keeps its own name.
        {L"X.1a", {L"0 Box1", L"1 a"}, L".1a"},
    };
    for (const Case& c : cases) {
        FileRecord f(6, L"Box1", [](CDeviceCfg&) {});
        f.Rec()->ItemNames = c.names;
        CTagEditDlg dlg;
        dlg.m_pDevice = f.Rec();
        INT_PTR r = RunModal(dlg, [&](HWND h) {
            EXPECT_EQ(c.tree, TreeLines(h)) << c.names;
            Press(h, IDOK);
        });
        EXPECT_EQ(IDOK, r);
        EXPECT_STREQ(L"Box1", f.Rec()->OpcName) << c.names;
        EXPECT_STREQ(c.out, f.Rec()->ItemNames) << c.names;
    }
}

TEST_F(Dialogs, ItemNamesOfAnRfidReaderUnderTheEventsHeading) {
    FileRecord f(18, L"Rfid3", [](CDeviceCfg& d) {
        d.Inputs = 2;
        d.Outputs = 1;
        d.BuildDefaultItemNames();
    });
    const CString before = f.Rec()->ItemNames;
    ASSERT_STREQ(L".1In.21.22.1Out.21.1Led.21.22.1Relay.1Filterset.21.22.23.24.25.26.27.28.1Network", before);
    CTagEditDlg dlg;
    dlg.m_pDevice = f.Rec();
    INT_PTR r = RunModal(dlg, [&](HWND h) {
        Screenshot(L"tagedit");
        std::vector<std::wstring> t = TreeLines(h);
        ASSERT_GE(t.size(), 13u);
        EXPECT_EQ(L"1 Relay", t[9]);
        EXPECT_EQ(L"0 *Alarms & Events", t[10]);
        EXPECT_EQ(L"1 Filterset", t[11]);
        EXPECT_EQ(L"1 Network", t.back());
        // The heading is not edited: a beep, no edit, no path.
        TreeView_SelectItem(GetDlgItem(h, IDC_TAG_TREE), FindNode(h, L"Alarms & Events"));
        Focus(h, IDC_TAG_TREE);
        Key(VK_F2);
        EXPECT_TRUE(WaitFor([&] { return !rec.Beeps().empty(); }));
        EXPECT_EQ(std::vector<UINT>{MB_ICONEXCLAMATION}, rec.Beeps());
        EXPECT_FALSE(EditOf(h));
        EXPECT_EQ(L"", Text(h, IDC_TAG_PATH));
        // A path below the heading takes the device name in its place.
        TreeView_SelectItem(GetDlgItem(h, IDC_TAG_TREE), FindNode(h, L"Filterset"));
        EXPECT_EQ(L"Rfid3.Filterset", Text(h, IDC_TAG_PATH));
        Press(h, IDOK);
    });
    EXPECT_EQ(IDOK, r);
    CDeviceCfg* s = f.Saved();
    ASSERT_TRUE(s);
    EXPECT_STREQ(before, s->ItemNames);
}

TEST_F(Dialogs, ItemNamesRenamedWithKeys) {
    FileRecord f(6, L"Box1", [](CDeviceCfg& d) { d.Inputs = 2; });
    f.Rec()->ItemNames = L".1T.2a.2b.1Net";
    CTagEditDlg dlg;
    dlg.m_pDevice = f.Rec();
    INT_PTR r = RunModal(dlg, [&](HWND h) {
        ASSERT_TRUE(StartEdit(h, L"a"));
        EXPECT_EQ(L"Box1.T.", Text(h, IDC_TAG_PATH));  // the prefix while editing
        EndEdit(h, L"x.y", VK_RETURN);
        EXPECT_TRUE(FindNode(h, L"x_y"));
        EXPECT_EQ(L"Box1.T.x_y", Text(h, IDC_TAG_PATH));
        ASSERT_TRUE(StartEdit(h, L"x_y"));
        EndEdit(h, L"b", VK_RETURN);  // a sibling's name: refused
        EXPECT_TRUE(FindNode(h, L"x_y"));
        ASSERT_TRUE(StartEdit(h, L"x_y"));
        EndEdit(h, L"", VK_RETURN);  // empty: refused
        EXPECT_TRUE(FindNode(h, L"x_y"));
        EXPECT_EQ((std::vector<UINT>{MB_ICONASTERISK, MB_ICONEXCLAMATION, MB_ICONEXCLAMATION}), rec.Beeps());
        ASSERT_TRUE(StartEdit(h, L"x_y"));
        EndEdit(h, L"B", VK_RETURN);  // other case: a name of its own
        EXPECT_TRUE(FindNode(h, L"B"));
        ASSERT_TRUE(StartEdit(h, L"B"));
        EndEdit(h, L"zzz", VK_ESCAPE);
        EXPECT_TRUE(FindNode(h, L"B"));
        EXPECT_TRUE(IsWindowVisible(h));  // Esc in the edit does not close

        // Tab takes the text and edits the next visible node; Shift+Tab the previous.
        ASSERT_TRUE(StartEdit(h, L"B"));
        HWND first = EditOf(h);
        SendMessageW(first, WM_SETTEXT, 0, (LPARAM)L"c");
        Key(VK_TAB);
        ASSERT_TRUE(WaitFor([&] {
            HWND e = EditOf(h);
            return e && e != first && !IsWindow(first);
        }));
        EXPECT_TRUE(FindNode(h, L"c"));
        EXPECT_EQ(FindNode(h, L"b"), TreeView_GetSelection(GetDlgItem(h, IDC_TAG_TREE)));
        HWND second = EditOf(h);
        SendMessageW(second, WM_SETTEXT, 0, (LPARAM)L"d");
        Key(VK_TAB, true);
        ASSERT_TRUE(WaitFor([&] {
            HWND e = EditOf(h);
            return e && e != second && !IsWindow(second);
        }));
        EXPECT_TRUE(FindNode(h, L"d"));
        EXPECT_EQ(FindNode(h, L"c"), TreeView_GetSelection(GetDlgItem(h, IDC_TAG_TREE)));
        EndEdit(h, L"c", VK_ESCAPE);

        // Tab on the last visible node ends the edit and stays there.
        ASSERT_TRUE(StartEdit(h, L"Net"));
        EndEdit(h, L"Netz", VK_TAB);
        Key(VK_F2);
        ASSERT_TRUE(WaitFor([&] { return EditOf(h) != nullptr; }));
        EXPECT_EQ(FindNode(h, L"Netz"), TreeView_GetSelection(GetDlgItem(h, IDC_TAG_TREE)));
        EndEdit(h, L"Netz", VK_ESCAPE);

        ASSERT_TRUE(StartEdit(h, L"Box1"));
        EXPECT_EQ(L"", Text(h, IDC_TAG_PATH));
        EndEdit(h, L"Dev9", VK_RETURN);
        EXPECT_EQ(L"Dev9", Text(h, IDC_TAG_PATH));
        Press(h, IDOK);
    });
    EXPECT_EQ(IDOK, r);
    CDeviceCfg* s = f.Saved(L"Dev9");
    ASSERT_TRUE(s);
    EXPECT_STREQ(L".1T.2c.2d.1Netz", s->ItemNames);
}

TEST_F(Dialogs, ItemNamesOfAnyLengthKeptWhole) {
    const std::wstring device(1100, L'D'), longName(3000, L'a'), edge(1023, L'e'), past(1024, L'p');
    const std::wstring names = L".1" + longName + L".2" + edge + L".2" + past + L".1Net";
    const std::wstring edited = L".1" + longName + L"b.2" + edge + L".2" + past + L".1Net";
    FileRecord f(6, L"Box6", [](CDeviceCfg&) {});
    CDeviceCfg* dev = f.Rec();
    dev->ItemNames = names.c_str();
    dev->OpcName = device.c_str();
    CTagEditDlg dlg;
    dlg.m_pDevice = dev;
    INT_PTR r = RunModal(dlg, [&](HWND h) {
        HWND tree = GetDlgItem(h, IDC_TAG_TREE);
        HTREEITEM first = TreeView_GetChild(tree, TreeView_GetRoot(tree));
        ASSERT_TRUE(first);
        TreeView_SelectItem(tree, TreeView_GetChild(tree, first));
        HWND path = GetDlgItem(h, IDC_TAG_PATH);
        EXPECT_EQ((LRESULT)(device.size() + 1 + longName.size() + 1 + edge.size()),
                  SendMessageW(path, WM_GETTEXTLENGTH, 0, 0));
        // An edit of a long label keeps it, and typing goes on past the tree's own limit.
        TreeView_SelectItem(tree, first);
        Focus(h, IDC_TAG_TREE);
        Key(VK_F2);
        ASSERT_TRUE(WaitFor([&] { return EditOf(h) != nullptr; }));
        HWND edit = EditOf(h);
        EXPECT_EQ((LRESULT)longName.size(), SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0));
        Key(VK_END);
        Key('B');
        ASSERT_TRUE(
            WaitFor([&] { return SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0) == (LRESULT)longName.size() + 1; }));
        Key(VK_RETURN);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(edit); }));
        Press(h, IDOK);
    });
    EXPECT_EQ(IDOK, r);
    // Sizes first: the texts themselves are too long to read in a report.
    EXPECT_EQ(device.size(), (size_t)dev->OpcName.GetLength());
    EXPECT_TRUE(device == std::wstring(dev->OpcName));
    EXPECT_EQ(edited.size(), (size_t)dev->ItemNames.GetLength());
    EXPECT_TRUE(edited == std::wstring(dev->ItemNames));
}

// Tab from the tree goes on to the buttons: the path display takes no focus.
TEST_F(Dialogs, ItemNamePathDisplayIsNoTabStop) {
    FileRecord f(6, L"Box7", [](CDeviceCfg& d) { d.ItemNames = L".1T.2a.1Net"; });
    CTagEditDlg dlg;
    dlg.m_pDevice = f.Rec();
    RunModal(dlg, [&](HWND h) {
        EXPECT_EQ(0, GetWindowLongW(GetDlgItem(h, IDC_TAG_PATH), GWL_STYLE) & WS_TABSTOP);
        auto focused = [&] {
            GUITHREADINFO gui{};
            gui.cbSize = sizeof gui;
            return GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &gui) ? gui.hwndFocus : nullptr;
        };
        Focus(h, IDC_TAG_TREE);
        ASSERT_TRUE(WaitFor([&] { return focused() == GetDlgItem(h, IDC_TAG_TREE); }));
        Key(VK_TAB);
        EXPECT_TRUE(WaitFor([&] { return focused() == GetDlgItem(h, IDOK); }));
        EXPECT_NE(GetDlgItem(h, IDC_TAG_PATH), focused());
        Key(VK_TAB, true);
        EXPECT_TRUE(WaitFor([&] { return focused() == GetDlgItem(h, IDC_TAG_TREE); }));
        Press(h, IDCANCEL);
    });
}

TEST_F(Dialogs, ItemNamesStandardKeepsTheDeviceNameAndCancelKeepsTheRecord) {
    FileRecord f(6, L"Box4", [](CDeviceCfg& d) {
        d.Inputs = 2;
        d.ItemNames = L".1Temp.2innen.2aussen.1Netz";
    });
    CTagEditDlg dlg;
    dlg.m_pDevice = f.Rec();
    INT_PTR r = RunModal(dlg, [&](HWND h) {
        ASSERT_TRUE(StartEdit(h, L"Box4"));
        EndEdit(h, L"Neu", VK_RETURN);
        Click(h, IDC_DEV_STANDARD);
        EXPECT_EQ((std::vector<std::wstring>{L"0 Neu", L"1 T", L"2 0", L"2 1", L"1 Network"}), TreeLines(h));
        Press(h, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, r);
    EXPECT_STREQ(L"Box4", f.Rec()->OpcName);
    EXPECT_STREQ(L".1Temp.2innen.2aussen.1Netz", f.Rec()->ItemNames);
}

TEST_F(Dialogs, ItemNameEditorKeepsItsSizePerUser) {
    FileRecord f(6, L"Box5", [](CDeviceCfg&) {});
    auto run = [&](const std::function<void(HWND)>& script) {
        CTagEditDlg dlg;
        dlg.m_pDevice = f.Rec();
        return RunModal(dlg, script);
    };
    RECT templ{};
    App().WriteProfileInt(L"Window", L"TagEdSizeX", 1);  // smaller than the template: not taken
    App().WriteProfileInt(L"Window", L"TagEdSizeY", 1);
    run([&](HWND h) {
        GetWindowRect(h, &templ);
        EXPECT_GT(templ.right - templ.left, 100);
        SetWindowPos(h, nullptr, 0, 0, 500, 420, SWP_NOMOVE | SWP_NOZORDER);
        RECT tree, ok;
        GetWindowRect(GetDlgItem(h, IDC_TAG_TREE), &tree);
        GetWindowRect(GetDlgItem(h, IDOK), &ok);
        EXPECT_GT(tree.right - tree.left, 300);  // the tree grows with the window
        EXPECT_GT(ok.top, templ.bottom);         // the buttons move down
        Press(h, IDOK);
    });
    EXPECT_EQ(500, (int)App().GetProfileInt(L"Window", L"TagEdSizeX", 0));
    EXPECT_EQ(420, (int)App().GetProfileInt(L"Window", L"TagEdSizeY", 0));
    run([&](HWND h) {
        RECT r;
        GetWindowRect(h, &r);
        EXPECT_EQ(500, r.right - r.left);
        EXPECT_EQ(420, r.bottom - r.top);
        ShowWindow(h, SW_MAXIMIZE);
        Press(h, IDCANCEL);  // maximised: nothing stored
    });
    EXPECT_EQ(500, (int)App().GetProfileInt(L"Window", L"TagEdSizeX", 0));
    EXPECT_EQ(420, (int)App().GetProfileInt(L"Window", L"TagEdSizeY", 0));
}

}  // namespace
