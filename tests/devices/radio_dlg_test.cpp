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
#include "dlg_suite.h"
#include "port_cases.h"
#include "enocean_peer.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

using namespace dlgtest;

namespace {

// The simulated transceiver; its files are numbered, one set a peer.
class Transceiver : public krvtest::EnoceanPeer {
public:
    Transceiver(const char* mode, int port, const char* base = "FF800080", const std::wstring& extra = L"")
        : EnoceanPeer(Files(), mode, port, base, L" --limit 20" + extra) {}
    // What the peer received, once it has ended.
    std::string Received() const { return Ended() ? Record() : "DEAD"; }

private:
    static std::string Files() {
        static int serial = 0;
        return RADIO_WORKDIR "/radio_peer_" + std::to_string(++serial) + "_";
    }
};

const std::string kCommand("\xA5\x5A\xAB\x58\0\0\0\0\0\0\0\0\0\x03", 14);

struct Dialogs : RecordingDialogs {
    std::mutex boxLock;
    std::vector<std::wstring> boxes;
    static void SetUpTestSuite() {
        StartDialogs(ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES);
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
    }
    void SetUp() override {
        RecordingDialogs::SetUp();
        SetMessageBoxHook([this](const wchar_t* text, UINT) {
            std::lock_guard<std::mutex> g(boxLock);
            boxes.push_back(text);
            return IDOK;
        });
    }
    void TearDown() override {
        SetMessageBoxHook(nullptr);
        RecordingDialogs::TearDown();
    }
    std::vector<std::wstring> Boxes() {
        std::lock_guard<std::mutex> g(boxLock);
        return boxes;
    }
};

std::wstring SocketText(int code) {
    CString s;
    FormatSocketError(code, s);
    return (const wchar_t*)s;
}

// ------------------------------------------------------------ transceiver

TEST(HexText, ReadAsTheCLibraryReadsAnUnsignedNumber) {
    struct Case {
        const wchar_t* text;
        uint32_t v;
    } cases[] = {
        {L"ff800080", 0xFF800080u},
        {L"0xff800080", 0xFF800080u},
        {L"  0XFF800080", 0xFF800080u},
        {L"FF80 0080", 0xFF80u},
        {L"", 0},
        {L"xyz", 0},
        {L"123456789", 0xFFFFFFFFu},
        {L"FFFFFFFF", 0xFFFFFFFFu},
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
    EXPECT_EQ(
        IDOK, Run(f.Rec(), [&](HWND dlg) {
            EXPECT_EQ(L"192.0.2.7", Text(dlg, IDC_DEV_HOST));
            EXPECT_EQ(L"8300", Text(dlg, IDC_DEV_PORT));
            EXPECT_EQ(L"", Text(dlg, IDC_TRCV_BASE_ID));  // 0: no base ID
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

TEST_F(TrcvDialog, PortReadStrictly) {
    FileRecord f(kTypeTransceiver, L"TRCV2", Setup);
    for (const porttest::PortCase& c : porttest::kUnsignedPorts) {
        EXPECT_EQ(IDOK, Run(f.Rec(), [&](HWND dlg) {
                      SetText(dlg, IDC_DEV_PORT, c.text);
                      Press(dlg, IDOK);
                  }));
        EXPECT_EQ(c.port, f.Rec()->BinaryPort) << c.text;
    }
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
                  SetText(dlg, IDC_DEV_HOST, L"127.0.0.1");  // as typed, not the record
                  SetText(dlg, IDC_DEV_PORT, L"8100");
                  Click(dlg, IDC_TRCV_DETERMINE);
                  EXPECT_EQ(L"FF800080", Text(dlg, IDC_TRCV_BASE_ID));
                  Screenshot(L"trcv_dlg");
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
    struct Case {
        const char* mode;
        bool box;
    } cases[] = {{nullptr, true}, {"close-now", false}, {"close", false}, {"silent", false}};
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

// ------------------------------------------------------------ radio module

const int kTypeVirtualModule = 10;

std::wstring Cell(HWND dlg, int row, int col) {
    wchar_t text[64] = {};
    ListView_GetItemText(GetDlgItem(dlg, IDC_RADIO_ID_LIST), row, col, text, 64);
    return text;
}
int Rows(HWND dlg) { return ListView_GetItemCount(GetDlgItem(dlg, IDC_RADIO_ID_LIST)); }

struct RadioDialog : Dialogs {
    // Two transceivers, chained as the view hands them over.
    CDeviceCfg trcv1{L"TRCV1", kTypeTransceiver}, trcv2{L"Aussen", kTypeTransceiver};
    void SetUp() override {
        Dialogs::SetUp();
        trcv1.TargetHost = L"127.0.0.1";
        trcv1.EnOceanBaseAddress = (int)0xFF800080u;
        trcv2.TargetHost = L"127.0.0.1";
        trcv2.EnOceanBaseAddress = (int)0xFF812300u;
        trcv1.NextTransceiver = &trcv2;
    }
    INT_PTR Run(CDeviceCfg* d, const std::function<void(HWND)>& script) {
        CRadioDeviceDlg dlg;
        dlg.m_pDevice = d;
        dlg.m_pTransceivers = &trcv1;
        return RunModal(dlg, script);
    }
};

TEST_F(RadioDialog, PushButtonOpensAndOkWritesTheTypeAndId) {
    FileRecord f(kTypePushButton, L"Taster1", [](CDeviceCfg& d) {
        d.TargetHost = L"trcv1";
        d.Inputs = 2;
        d.SerialNo = 0x0180A1B2;
    });
    EXPECT_EQ(IDOK, Run(f.Rec(), [&](HWND dlg) {
                  EXPECT_EQ((std::vector<std::wstring>{L"Aussen", L"TRCV1"}), Entries(dlg, IDC_RADIO_TRCV));
                  EXPECT_EQ(1, Selection(dlg, IDC_RADIO_TRCV));  // trcv1 names TRCV1
                  EXPECT_TRUE(Checked(dlg, IDC_RADIO_PTM200));
                  EXPECT_EQ(L"0180A1B2", Text(dlg, IDC_RADIO_ID));
                  EXPECT_EQ(L"", Text(dlg, IDC_RADIO_OFFSET));
                  EXPECT_TRUE(Enabled(dlg, IDC_RADIO_ID));
                  EXPECT_TRUE(Enabled(dlg, IDC_RADIO_LISTEN));
                  EXPECT_FALSE(Enabled(dlg, IDC_RADIO_OFFSET));
                  EXPECT_FALSE(Enabled(dlg, IDC_RADIO_LOW0));
                  EXPECT_FALSE(Enabled(dlg, IDC_RADIO_NEUTRAL));
                  EXPECT_EQ(std::vector<DWORD_PTR>{104}, HelpOnF1(dlg, IDC_DEV_NAME));
                  Click(dlg, IDC_RADIO_PTM100);
                  SetText(dlg, IDC_RADIO_ID, L"0x8000007f");
                  Press(dlg, IDOK);
              }));
    CDeviceCfg* s = f.Saved();
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(kTypePushButton, s->DeviceType);
    EXPECT_EQ(4, s->Inputs);
    EXPECT_EQ(0x8000007Fu, (uint32_t)s->SerialNo);
    EXPECT_EQ(L"TRCV1", std::wstring(s->TargetHost));
}

TEST_F(RadioDialog, CancelWritesNothing) {
    FileRecord f(kTypePushButton, L"Taster1", [](CDeviceCfg& d) {
        d.TargetHost = L"TRCV1";
        d.Inputs = 4;
        d.SerialNo = 0x1234;
    });
    f.Saved();  // the file as the store writes it
    std::string before = f.FileText();
    EXPECT_EQ(IDCANCEL, Run(f.Rec(), [&](HWND dlg) {
                  Click(dlg, IDC_RADIO_ANALOG);
                  SetText(dlg, IDC_RADIO_ID, L"FFFF0000");
                  Choose(dlg, IDC_RADIO_TRCV, 0);
                  Press(dlg, IDCANCEL);
              }));
    f.Saved();
    EXPECT_EQ(before, f.FileText());
}

// A virtual module's ID is its transceiver's base plus the offset; OK keeps
// an ID the user did not touch, whatever the transceiver's base.
TEST_F(RadioDialog, VirtualModuleIdFromTheOffset) {
    struct Case {
        uint32_t base;
        const wchar_t* action;
        uint32_t stored;
        const wchar_t* shown;
    } cases[] = {
        {0xFF800080u, L"", 0xFF800085u, L"FF800085"},
        {0xFF800003u, L"", 0xFF800085u, L"FF800085"},  // base not a multiple of 0x80
        {0xFF800080u, L"offset 127", 0xFF8000FFu, L"FF8000FF"},
        {0xFF800080u, L"offset 300", 0xFF8000FFu, L"FF8000FF"},  // bounded to the control's range
        {0xFF800080u, L"other", 0xFF812305u, L"FF812305"},       // the other transceiver's base
    };
    for (const Case& c : cases) {
        trcv1.EnOceanBaseAddress = (int)c.base;
        FileRecord f(kTypeVirtualModule, L"Virtuell", [](CDeviceCfg& d) {
            d.TargetHost = L"TRCV1";
            d.Inputs = 4;
            d.SerialNo = (int)0xFF800085u;
        });
        EXPECT_EQ(IDOK, Run(f.Rec(), [&](HWND dlg) {
                      EXPECT_TRUE(Checked(dlg, IDC_RADIO_VIRTUAL));
                      EXPECT_EQ(L"5", Text(dlg, IDC_RADIO_OFFSET));
                      EXPECT_EQ(L"FF800085", Text(dlg, IDC_RADIO_ID));
                      EXPECT_FALSE(Enabled(dlg, IDC_RADIO_ID));
                      EXPECT_FALSE(Enabled(dlg, IDC_RADIO_LISTEN));
                      EXPECT_TRUE(Enabled(dlg, IDC_RADIO_OFFSET));
                      std::wstring a = c.action;
                      if (a == L"offset 127") SetText(dlg, IDC_RADIO_OFFSET, L"127");
                      if (a == L"offset 300") SetText(dlg, IDC_RADIO_OFFSET, L"300");
                      if (a == L"other") Choose(dlg, IDC_RADIO_TRCV, 0);
                      EXPECT_EQ(c.shown, Text(dlg, IDC_RADIO_ID)) << c.action;
                      Press(dlg, IDOK);
                  }));
        CDeviceCfg* s = f.Saved();
        ASSERT_NE(nullptr, s);
        EXPECT_EQ(c.stored, (uint32_t)s->SerialNo) << std::hex << c.base << " " << c.action;
        EXPECT_EQ(kTypeVirtualModule, s->DeviceType);
        EXPECT_EQ(4, s->Inputs);
    }
}

TEST_F(RadioDialog, VirtualModuleWithoutTransceiverKeepsItsId) {
    FileRecord f(kTypeVirtualModule, L"Virtuell", [](CDeviceCfg& d) {
        d.TargetHost = L"Umbenannt";
        d.Inputs = 4;
        d.SerialNo = (int)0xFF800085u;
    });
    EXPECT_EQ(IDOK, Run(f.Rec(), [&](HWND dlg) {
                  EXPECT_EQ(-1, Selection(dlg, IDC_RADIO_TRCV));
                  SetText(dlg, IDC_RADIO_OFFSET, L"9");
                  Press(dlg, IDOK);
              }));
    CDeviceCfg* s = f.Saved();
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(L"", std::wstring(s->TargetHost));
    EXPECT_EQ(0xFF800085u, (uint32_t)s->SerialNo);
}

TEST_F(RadioDialog, ScalingPresets) {
    FileRecord f(kTypeAnalogSensor, L"Sensor", [](CDeviceCfg& d) {
        d.TargetHost = L"TRCV1";
        d.SerialNo = 0x00001234;
        d.ScaleMin[0] = 1.5;
        d.ScaleMax[0] = 20;
        d.Unit[0] = L"bar";
    });
    for (int preset : {IDC_RADIO_NEUTRAL, IDC_RADIO_THERMOKON}) {
        EXPECT_EQ(IDOK, Run(f.Rec(), [&](HWND dlg) {
                      EXPECT_TRUE(Checked(dlg, IDC_RADIO_ANALOG));
                      EXPECT_TRUE(Enabled(dlg, IDC_RADIO_LOW0 + 2));
                      if (preset == IDC_RADIO_NEUTRAL) {
                          EXPECT_EQ(L"1.5", Text(dlg, IDC_RADIO_LOW0));
                          EXPECT_EQ(L"20", Text(dlg, IDC_RADIO_HIGH0));
                          EXPECT_EQ(L"bar", Text(dlg, IDC_RADIO_UNIT0));
                      }
                      Click(dlg, preset);
                      Press(dlg, IDOK);
                  }));
        CDeviceCfg* s = f.Saved();
        ASSERT_NE(nullptr, s);
        EXPECT_EQ(kTypeAnalogSensor, s->DeviceType);
        EXPECT_EQ(0x1234, s->SerialNo);
        if (preset == IDC_RADIO_NEUTRAL) {
            for (int r = 0; r < 3; ++r) {
                EXPECT_EQ(0, s->ScaleMin[r]);
                EXPECT_EQ(255, s->ScaleMax[r]);
                EXPECT_EQ(1, s->InputFlag[r]);
                EXPECT_EQ(L"", std::wstring(s->Unit[r]));
            }
        } else {
            double mn[3] = {40, -1, 9.2}, mx[3] = {0, 1, -2.5};
            int flag[3] = {0, 0, 1};
            for (int r = 0; r < 3; ++r) {
                EXPECT_DOUBLE_EQ(mn[r], s->ScaleMin[r]) << r;
                EXPECT_DOUBLE_EQ(mx[r], s->ScaleMax[r]) << r;
                EXPECT_EQ(flag[r], s->InputFlag[r]) << r;
            }
            EXPECT_EQ(L"\u00B0C", std::wstring(s->Unit[0]));
        }
    }
}

// Listening at port 8000: every radio telegram counted per module, rows in
// the order of first reception; a row chosen fills the ID.
TEST_F(RadioDialog, ListeningListsModulesWithCounts) {
    trcv1.BinaryPort = 8300;  // listening always uses 8000
    Transceiver peer("stream", 8000);
    ASSERT_TRUE(peer.Started());
    FileRecord f(kTypePushButton, L"Taster1", [](CDeviceCfg& d) {
        d.TargetHost = L"TRCV1";
        d.Inputs = 4;
    });
    EXPECT_EQ(IDOK, Run(f.Rec(), [&](HWND dlg) {
                  EXPECT_EQ(L"", Text(dlg, IDC_RADIO_ID));
                  Click(dlg, IDC_RADIO_LISTEN);
                  auto total = [&] {
                      int n = 0;
                      for (int r = 0; r < Rows(dlg); ++r) n += _wtoi(Cell(dlg, r, 1).c_str());
                      return n;
                  };
                  EXPECT_TRUE(WaitFor([&] { return total() >= 7; }, 10000));
                  EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dlg, IDC_RADIO_LISTEN));
                  ASSERT_EQ(4, Rows(dlg));
                  const wchar_t* ids[4] = {L"0180A1B2", L"FFFFFF01", L"00001234", L"8000007F"};
                  const wchar_t* counts[4] = {L"3", L"2", L"1", L"1"};
                  for (int r = 0; r < 4; ++r) {
                      EXPECT_EQ(ids[r], Cell(dlg, r, 0)) << r;
                      EXPECT_EQ(counts[r], Cell(dlg, r, 1)) << r;
                  }
                  ListView_SetItemState(GetDlgItem(dlg, IDC_RADIO_ID_LIST), 1, LVIS_SELECTED | LVIS_FOCUSED,
                                        LVIS_SELECTED | LVIS_FOCUSED);
                  EXPECT_EQ(L"FFFFFF01", Text(dlg, IDC_RADIO_ID));
                  Screenshot(L"radio_dlg");
                  // An event of a socket that is not the listen socket changes nothing.
                  PostMessageW(dlg, WM_APP, (WPARAM)12345, WSAMAKESELECTREPLY(FD_CONNECT, WSAECONNREFUSED));
                  SendMessageW(dlg, WM_NULL, 0, 0);
                  EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dlg, IDC_RADIO_LISTEN));
                  Click(dlg, IDC_RADIO_LISTEN);  // off
                  EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dlg, IDC_RADIO_LISTEN));
                  EXPECT_EQ(4, Rows(dlg));  // kept after listening stops
                  Press(dlg, IDOK);
              }));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(std::string(), peer.Received());
    CDeviceCfg* s = f.Saved();
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(0xFFFFFF01u, (uint32_t)s->SerialNo);
}

// A transceiver that sends as fast as loopback takes it: a key typed
// meanwhile is handled at once, and every telegram is still counted.
TEST_F(RadioDialog, KeysAnsweredWhileATransceiverFloods) {
    const int kCount = 2000000, kModules = 500;
    Transceiver peer("flood", 8000, "FF800080",
                     L" --limit 60 --count " + std::to_wstring(kCount) + L" --modules " + std::to_wstring(kModules));
    ASSERT_TRUE(peer.Started());
    FileRecord f(kTypePushButton, L"Taster1", [](CDeviceCfg& d) {
        d.TargetHost = L"TRCV1";
        d.Inputs = 4;
    });
    Run(f.Rec(), [&](HWND dlg) {
        auto total = [&] {
            int n = 0;
            for (int r = 0; r < Rows(dlg); ++r) n += _wtoi(Cell(dlg, r, 1).c_str());
            return n;
        };
        Click(dlg, IDC_RADIO_LISTEN);
        ASSERT_TRUE(WaitFor([&] { return Rows(dlg) > 0; }, 10000));
        Focus(dlg, IDC_DEV_NAME);
        SetText(dlg, IDC_DEV_NAME, L"");
        const int before = total();
        Key('Q');
        // generous: the loop answers within 100 ms, a key queued behind the
        // stream waited for all of it
        EXPECT_TRUE(WaitFor([&] { return Text(dlg, IDC_DEV_NAME) == L"q"; }, 2000));
        EXPECT_LT(before, kCount) << "the stream ended before the key";
        EXPECT_TRUE(WaitFor([&] { return total() >= kCount; }, 40000));
        EXPECT_EQ(kCount, total());
        EXPECT_EQ(kModules, Rows(dlg));
        Click(dlg, IDC_RADIO_LISTEN);
        Press(dlg, IDCANCEL);
    });
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RadioDialog, ListeningFailures) {
    FileRecord f(kTypePushButton, L"Taster1", [](CDeviceCfg& d) {
        d.TargetHost = L"TRCV1";
        d.Inputs = 4;
    });
    Run(f.Rec(), [&](HWND dlg) {
        // Nobody listens at 8000: the refused text, the box unchecked.
        Click(dlg, IDC_RADIO_LISTEN);
        EXPECT_TRUE(WaitFor([&] { return !Boxes().empty(); }));
        EXPECT_EQ(std::vector<std::wstring>{SocketText(WSAECONNREFUSED)}, Boxes());
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dlg, IDC_RADIO_LISTEN));
        EXPECT_TRUE(rec.Beeps().empty());
        // Without a transceiver: a beep, the box unchecked.
        SendDlgItemMessageW(dlg, IDC_RADIO_TRCV, CB_SETCURSEL, (WPARAM)-1, 0);
        Click(dlg, IDC_RADIO_LISTEN);
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dlg, IDC_RADIO_LISTEN));
        EXPECT_EQ(std::vector<UINT>{MB_ICONEXCLAMATION}, rec.Beeps());
        Press(dlg, IDCANCEL);
    });
}

}  // namespace
