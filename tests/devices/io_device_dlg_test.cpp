// The network I/O device dialog in this process under the virtual display:
// record in, controls, OK or Cancel, record out; discovery against a
// simulated device on veth subnets inside the test's namespace;
// identification against real TCP and HTTP peers on loopback.
#include "devices/io_device_dlg.h"
#include "devices/resolve_host.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "framework/Seams.h"
#include "resources/devices_ids.h"
#include "io_test_util.h"
#include "dlg_suite.h"
#include "peer_process.h"
#include "port_cases.h"
#include "tests/answer_watch.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <deque>

using namespace iotest;
using dlgtest::App;
using krvtest::AnswerWatch;

namespace {

const std::string kPeer = IO_PEER;
const std::string kNet = IO_NET;
const std::string kScratch = IO_SCRATCH;

struct Recorded {
    std::vector<std::wstring> boxes;
    std::vector<DWORD_PTR> help;
};

class IoDlg : public ::testing::Test {
protected:
    Recorded rec;
    static void SetUpTestSuite() {
        CString::SetResourceModule(GetModuleHandleW(nullptr));
        App();
        WSADATA wsa;
        WSAStartup(MAKEWORD(1, 1), &wsa);
        ASSERT_TRUE(krvtest::MakeFolder(WinPath(kScratch))) << GetLastError();
    }
    void SetUp() override {
        SetMessageBoxHook([this](const wchar_t* text, UINT) {
            rec.boxes.push_back(text);
            return IDOK;
        });
        SetHelpHook([this](const wchar_t*, UINT cmd, DWORD_PTR data) {
            if (cmd == 15) rec.help.push_back(data);
        });
    }
    void TearDown() override {
        SetMessageBoxHook(nullptr);
        SetHelpHook(nullptr);
    }
    // No message box when box is empty, else exactly this one.
    void ExpectBox(const std::wstring& box) {
        if (box.empty()) {
            EXPECT_TRUE(rec.boxes.empty());
        } else {
            EXPECT_EQ(1u, rec.boxes.size());
            if (!rec.boxes.empty()) {
                EXPECT_EQ(box, rec.boxes[0]);
            }
        }
    }
};

// A record of the I/O kind with every field the dialog shows set.
std::unique_ptr<CDeviceCfg> Record(int type, int inputs, int outputs) {
    std::unique_ptr<CDeviceCfg> d(new CDeviceCfg(L"Box7", type));
    d->Inputs = inputs;
    d->Outputs = outputs;
    d->TargetHost = L"plc-7.local";
    d->BinaryPort = 49153;
    d->HttpPort = 8080;
    d->Password = L"geheim";
    d->HttpSecure = 0;
    d->DontSubscribe = 1;
    d->PriorityLogin = 1;
    d->ForceReconnect = 0;
    d->LoginRequired = 1;
    d->BinaryLogin = 0;
    return d;
}

// The dialog on d, run modally with script; RunOnNew as for a device just added.
INT_PTR RunOn(CDeviceCfg* d, const std::function<void(HWND)>& script) {
    CIoDeviceDlg dlg;
    dlg.m_pDevice = d;
    return RunModal(dlg, script);
}
INT_PTR RunOnNew(CDeviceCfg* d, const std::function<void(HWND)>& script) {
    CIoDeviceDlg dlg;
    dlg.m_pDevice = d;
    dlg.m_bNewDevice = 1;
    return RunModal(dlg, script);
}

struct Fields {
    int type, inputs, outputs;
    std::wstring host, name, password;
    int bin, http, secure, poll, prio, reset, login, v4;
    bool operator==(const Fields& o) const {
        return type == o.type && inputs == o.inputs && outputs == o.outputs && host == o.host && name == o.name &&
               password == o.password && bin == o.bin && http == o.http && secure == o.secure && poll == o.poll &&
               prio == o.prio && reset == o.reset && login == o.login && v4 == o.v4;
    }
};
Fields Of(const CDeviceCfg& d) {
    return {d.DeviceType,
            d.Inputs,
            d.Outputs,
            (const wchar_t*)d.TargetHost,
            (const wchar_t*)d.OpcName,
            (const wchar_t*)d.Password,
            d.BinaryPort,
            d.HttpPort,
            d.HttpSecure,
            d.DontSubscribe,
            d.PriorityLogin,
            d.ForceReconnect,
            d.LoginRequired,
            d.BinaryLogin};
}

}  // namespace

// ---------------------------------------------------------------- fields

TEST_F(IoDlg, TypeListBothWays) {
    struct Case {
        int type, inputs, outputs, index;
    };
    const Case cases[] = {
        {0, 0, 0, 0},   {1, 3, 3, 1},   {4, 12, 6, 7},  {4, 12, 12, 5}, {4, 0, 6, 8},   {4, 0, 0, 8},   {4, 6, 1, 4},
        {4, 1, 6, 7},   {4, 3, 3, 5},   {4, 2, 2, 3},   {4, 1, 1, 2},   {5, 24, 24, 6}, {20, 6, 0, 9},  {19, 6, 6, 10},
        {22, 2, 2, 11}, {24, 2, 2, 12}, {21, 1, 1, 13}, {6, 1, 0, 14},  {6, 2, 0, 15},  {6, 8, 0, 16},  {6, 3, 0, 16},
        {7, 1, 0, 17},  {16, 1, 0, 18}, {25, 1, 0, 19}, {13, 2, 0, 20}, {14, 2, 0, 20}, {15, 2, 0, 20}, {17, 2, 0, 20},
        {23, 2, 2, 21}, {-1, 0, 0, -1}, {-2, 0, 0, -1}, {2, 0, 0, -1},  {3, 0, 0, -1},  {8, 0, 0, -1},  {12, 0, 0, -1},
        {18, 0, 0, -1}, {26, 0, 0, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(c.index, CIoDeviceDlg::TypeIndexOf(c.type, c.inputs, c.outputs)) << c.type;
    // what OK writes: counts kept where the row says so
    struct Write {
        int index, type, inputs, outputs;
    };
    const Write writes[] = {{0, 0, 9, 9},  {1, 1, 9, 9},   {2, 4, 1, 1},   {5, 4, 12, 12}, {6, 5, 9, 9},
                            {7, 4, 12, 6}, {8, 4, 0, 6},   {9, 20, 6, 0},  {13, 21, 1, 1}, {14, 6, 1, 9},
                            {16, 6, 8, 9}, {19, 25, 1, 9}, {20, 17, 2, 0}, {21, 23, 2, 2}};
    for (const Write& w : writes) {
        int type = 99, in = 9, out = 9;
        EXPECT_TRUE(CIoDeviceDlg::TypeOfIndex(w.index, type, in, out));
        EXPECT_EQ(w.type, type) << w.index;
        EXPECT_EQ(w.inputs, in) << w.index;
        EXPECT_EQ(w.outputs, out) << w.index;
    }
    int type = 99, in = 9, out = 9;
    EXPECT_FALSE(CIoDeviceDlg::TypeOfIndex(-1, type, in, out));
    EXPECT_FALSE(CIoDeviceDlg::TypeOfIndex(22, type, in, out));
    EXPECT_EQ(99, type);
}

TEST_F(IoDlg, ExistingDeviceShownAndWrittenBackOnOk) {
    auto d = Record(4, 12, 6);
    INT_PTR r = RunOn(d.get(), [&](HWND h) {
        wchar_t caption[64] = {};
        GetWindowTextW(h, caption, 64);
        EXPECT_STREQ(L" E/A-Server", caption);
        EXPECT_NE(nullptr, (HICON)SendMessageW(h, WM_GETICON, ICON_BIG, 0));
        EXPECT_EQ(L"plc-7.local", Text(h, IDC_IO_HOST));
        EXPECT_EQ(L"Box7", Text(h, IDC_IO_NAME));
        EXPECT_EQ(L"49153", Text(h, IDC_IO_BINPORT));
        EXPECT_EQ(L"8080", Text(h, IDC_IO_HTTPPORT));
        EXPECT_EQ(L"geheim", Text(h, IDC_IO_PASSWORD));
        EXPECT_EQ(7, Sel(h, IDC_IO_TYPE));
        EXPECT_EQ(22, (int)SendDlgItemMessageW(h, IDC_IO_TYPE, CB_GETCOUNT, 0, 0));
        EXPECT_EQ(2, (int)SendDlgItemMessageW(h, IDC_IO_BINPORT, CB_GETCOUNT, 0, 0));
        EXPECT_EQ(0, Find(h, IDC_IO_HTTPPORT, L"443"));
        EXPECT_EQ(1, Find(h, IDC_IO_HTTPPORT, L"80"));
        EXPECT_TRUE(Checked(h, IDC_IO_POLLONLY));
        EXPECT_TRUE(Checked(h, IDC_IO_PRIORITY));
        EXPECT_TRUE(Checked(h, IDC_IO_LOGIN));
        EXPECT_FALSE(Checked(h, IDC_IO_V4));
        EXPECT_TRUE(Enabled(h, IDC_IO_CONFIGURE));
        EXPECT_EQ(L"", Text(h, IDC_IO_PRODUCT));
        // IO_SHOT=/unix/path.png takes a picture of the dialog for a look
        if (const char* shot = getenv("IO_SHOT")) {
            Pump(300);
            RunUnix(std::string("/bin/sh -c \"import -window root ") + shot + " && touch " + shot + ".done\"",
                    std::string(shot) + ".done");
        }
        // ports: a number above 16 bits keeps its low bits, no number gives 0
        SetText(h, IDC_IO_BINPORT, L"70000");
        SetText(h, IDC_IO_HTTPPORT, L"abc");
        SendMessageW(h, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(IDOK, r);
    EXPECT_EQ(4, d->DeviceType);
    EXPECT_EQ(12, d->Inputs);
    EXPECT_EQ(6, d->Outputs);
    EXPECT_EQ(4464, d->BinaryPort);
    EXPECT_EQ(0, d->HttpPort);
    EXPECT_STREQ(L"plc-7.local", d->TargetHost);
    EXPECT_STREQ(L"geheim", d->Password);
    EXPECT_EQ(1, d->DontSubscribe);
    EXPECT_TRUE(rec.boxes.empty());
}

TEST_F(IoDlg, PortsReadStrictly) {
    auto d = Record(4, 2, 2);
    for (const porttest::PortCase& c : porttest::kUnsignedPorts) {
        EXPECT_EQ(IDOK, RunOn(d.get(), [&](HWND h) {
                      SetText(h, IDC_IO_BINPORT, c.text);
                      SetText(h, IDC_IO_HTTPPORT, c.text);
                      SendMessageW(h, WM_COMMAND, IDOK, 0);
                  }));
        EXPECT_EQ(c.port, d->BinaryPort) << c.text;
        EXPECT_EQ(c.port, d->HttpPort) << c.text;
    }
}

TEST_F(IoDlg, OkNormalisesTypeAndKeepsUnlistedTypes) {
    // type 13 shows index 20; OK writes 17 with two inputs and no outputs
    auto d = Record(13, 5, 5);
    EXPECT_EQ(IDOK, RunOn(d.get(), [&](HWND h) {
                  EXPECT_EQ(20, Sel(h, IDC_IO_TYPE));
                  SendMessageW(h, WM_COMMAND, IDOK, 0);
              }));
    EXPECT_EQ(17, d->DeviceType);
    EXPECT_EQ(2, d->Inputs);
    EXPECT_EQ(0, d->Outputs);
    // a type without an entry keeps type and counts; index 14 keeps Outputs
    auto e = Record(8, 3, 4);
    EXPECT_EQ(IDOK, RunOn(e.get(), [&](HWND h) {
                  EXPECT_EQ(-1, Sel(h, IDC_IO_TYPE));
                  SendMessageW(h, WM_COMMAND, IDOK, 0);
              }));
    EXPECT_EQ(8, e->DeviceType);
    EXPECT_EQ(3, e->Inputs);
    EXPECT_EQ(4, e->Outputs);
    EXPECT_EQ(IDOK, RunOn(e.get(), [&](HWND h) {
                  Choose(h, IDC_IO_TYPE, 14);
                  SendMessageW(h, WM_COMMAND, IDOK, 0);
              }));
    EXPECT_EQ(6, e->DeviceType);
    EXPECT_EQ(1, e->Inputs);
    EXPECT_EQ(4, e->Outputs);
}

TEST_F(IoDlg, CancelAfterEditingEverythingLeavesTheRecord) {
    auto d = Record(4, 2, 2);
    const Fields before = Of(*d);
    INT_PTR r = RunOn(d.get(), [&](HWND h) {
        Type(h, IDC_IO_HOST, L"10.1.2.3");
        SetText(h, IDC_IO_NAME, L"Other");
        SetText(h, IDC_IO_PASSWORD, L"x");
        Choose(h, IDC_IO_TYPE, 9);
        SetText(h, IDC_IO_BINPORT, L"1");
        for (int id : {IDC_IO_HTTPS, IDC_IO_POLLONLY, IDC_IO_LOGIN}) Click(h, id);
        SendMessageW(h, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(IDCANCEL, r);
    EXPECT_TRUE(before == Of(*d));
}

TEST_F(IoDlg, ControlsFollowTypeAndChecks) {
    auto d = Record(4, 2, 2);
    d->HttpPort = 80;
    RunOn(d.get(), [&](HWND h) {
        ASSERT_EQ(3, Sel(h, IDC_IO_TYPE));
        Click(h, IDC_IO_V4);
        EXPECT_EQ(L"49159", Text(h, IDC_IO_BINPORT));
        EXPECT_FALSE(Enabled(h, IDC_IO_PRIORITY));
        EXPECT_FALSE(Enabled(h, IDC_IO_RESET));
        EXPECT_FALSE(Enabled(h, IDC_IO_LOGIN));
        EXPECT_TRUE(Enabled(h, IDC_IO_CONFIGURE));
        Click(h, IDC_IO_V4);
        EXPECT_EQ(L"49153", Text(h, IDC_IO_BINPORT));
        EXPECT_TRUE(Enabled(h, IDC_IO_RESET));
        // the reset option shows the warning icon; an analog type hides it
        Click(h, IDC_IO_RESET);
        EXPECT_NE(nullptr, (HICON)SendDlgItemMessageW(h, IDC_IO_WARNING, STM_GETIMAGE, IMAGE_ICON, 0));
        Click(h, IDC_IO_V4);
        Choose(h, IDC_IO_TYPE, 9);
        EXPECT_FALSE(Checked(h, IDC_IO_V4));
        EXPECT_FALSE(Enabled(h, IDC_IO_V4));
        EXPECT_FALSE(Enabled(h, IDC_IO_CONFIGURE));
        EXPECT_FALSE(Enabled(h, IDC_IO_BINPORT));
        EXPECT_TRUE(Enabled(h, IDC_IO_PASSWORD));
        EXPECT_EQ(nullptr, (HICON)SendDlgItemMessageW(h, IDC_IO_WARNING, STM_GETIMAGE, IMAGE_ICON, 0));
        Choose(h, IDC_IO_TYPE, 13);
        EXPECT_FALSE(Enabled(h, IDC_IO_PASSWORD));
        EXPECT_FALSE(Enabled(h, IDC_IO_POLLONLY));
        Choose(h, IDC_IO_TYPE, 0);
        EXPECT_FALSE(Enabled(h, IDC_IO_HTTPPORT));
        EXPECT_FALSE(Enabled(h, IDC_IO_BROWSER));
        EXPECT_TRUE(Enabled(h, IDC_IO_BINPORT));
        EXPECT_TRUE(Enabled(h, IDC_IO_POLLONLY));
        Choose(h, IDC_IO_TYPE, 21);
        EXPECT_FALSE(Enabled(h, IDC_IO_POLLONLY));
        EXPECT_TRUE(Enabled(h, IDC_IO_HTTPS));
        // HTTPS moves 80 to 443 and back; another port stays
        Click(h, IDC_IO_HTTPS);
        EXPECT_EQ(L"443", Text(h, IDC_IO_HTTPPORT));
        Click(h, IDC_IO_HTTPS);
        EXPECT_EQ(L"80", Text(h, IDC_IO_HTTPPORT));
        SetText(h, IDC_IO_HTTPPORT, L"8080");
        Click(h, IDC_IO_HTTPS);
        EXPECT_EQ(L"8080", Text(h, IDC_IO_HTTPPORT));
    });
}

// A corrected host leaves the type unknown and the 4.0 box unchecked, yet OK
// keeps the generation with the type and the ports; the user's own choices
// still count.
TEST_F(IoDlg, GenerationKeptUnlessTheUserChangesIt) {
    struct Case {
        const char* name;
        int type, inputs, outputs, v4;
        std::function<void(HWND)> script;
        int outType, outV4, outBin;
    };
    const Case cases[] = {
        {"host corrected", 4, 2, 2, 1,
         [](HWND h) {
             Type(h, IDC_IO_HOST, L"plc-8.local");
             EXPECT_EQ(-1, Sel(h, IDC_IO_TYPE));
             EXPECT_FALSE(Checked(h, IDC_IO_V4));
         },
         4, 1, 49159},
        {"host corrected, the type chosen again", 4, 2, 2, 1,
         [](HWND h) {
             Type(h, IDC_IO_HOST, L"plc-8.local");
             Choose(h, IDC_IO_TYPE, 3);
             EXPECT_TRUE(Checked(h, IDC_IO_V4));
             EXPECT_FALSE(Enabled(h, IDC_IO_LOGIN));
         },
         4, 1, 49159},
        {"host corrected, the box cleared", 4, 2, 2, 1,
         [](HWND h) {
             Type(h, IDC_IO_HOST, L"plc-8.local");
             Choose(h, IDC_IO_TYPE, 5);
             Click(h, IDC_IO_V4);
             EXPECT_FALSE(Checked(h, IDC_IO_V4));
         },
         4, 0, 49153},
        {"a type without the generation", 4, 2, 2, 1,
         [](HWND h) {
             Choose(h, IDC_IO_TYPE, 9);
             Choose(h, IDC_IO_TYPE, 3);
             EXPECT_FALSE(Checked(h, IDC_IO_V4));
         },
         4, 0, 49159},
        {"untouched, a type without the box", 20, 6, 0, 1, [](HWND h) { EXPECT_FALSE(Checked(h, IDC_IO_V4)); }, 20, 1,
         49159},
        {"box checked after the host", 4, 2, 2, 0,
         [](HWND h) {
             Type(h, IDC_IO_HOST, L"plc-8.local");
             Choose(h, IDC_IO_TYPE, 2);
             EXPECT_FALSE(Checked(h, IDC_IO_V4));
             Click(h, IDC_IO_V4);
         },
         4, 1, 49159},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto d = Record(c.type, c.inputs, c.outputs);
        d->BinaryLogin = c.v4;
        d->BinaryPort = 49159;
        d->LoginRequired = 0;
        EXPECT_EQ(IDOK, RunOn(d.get(), [&](HWND h) {
                      c.script(h);
                      SendMessageW(h, WM_COMMAND, IDOK, 0);
                  }));
        EXPECT_EQ(c.outType, d->DeviceType);
        EXPECT_EQ(c.outV4, d->BinaryLogin);
        EXPECT_EQ(c.outBin, d->BinaryPort);
        EXPECT_EQ(0, d->LoginRequired);
    }
}

TEST_F(IoDlg, NewDeviceOpensEmptyWithTheListDroppedForAMoment) {
    auto d = Record(4, 1, 1);
    RunOnNew(d.get(), [&](HWND h) {
        EXPECT_EQ(L"", Text(h, IDC_IO_HOST));
        HWND box = GetDlgItem(h, IDC_IO_HOST);
        EXPECT_TRUE(PumpUntil([&] { return SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 3000));
        SetText(h, IDC_IO_HOST, L"10.9.8.7");
        EXPECT_TRUE(PumpUntil([&] { return SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0) == 0; }, 5000));
        EXPECT_EQ(L"10.9.8.7", Text(h, IDC_IO_HOST));
    });
}

TEST_F(IoDlg, TypingWhileTheListClosesKeepsTheCaret) {
    auto d = Record(4, 1, 1);
    RunOnNew(d.get(), [&](HWND h) {
        HWND box = GetDlgItem(h, IDC_IO_HOST);
        ASSERT_TRUE(PumpUntil([&] { return SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 3000));
        Type(h, IDC_IO_HOST, L"10.0", false);
        EXPECT_TRUE(PumpUntil([&] { return SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0) == 0; }, 5000));
        Type(h, IDC_IO_HOST, L".0.5", false);
        EXPECT_EQ(L"10.0.0.5", Text(h, IDC_IO_HOST));
    });
}

TEST_F(IoDlg, F1AsksForHelpContext101) {
    auto d = Record(4, 1, 1);
    RunOn(d.get(), [&](HWND h) {
        SetForegroundWindow(h);
        SetFocus(GetDlgItem(h, IDC_IO_NAME));
        dlgtest::Key(VK_F1);
        PumpUntil([&] { return !rec.help.empty(); }, 3000);
    });
    ASSERT_EQ(1u, rec.help.size());
    EXPECT_EQ(101u, rec.help[0]);
}

// ---------------------------------------------------------------- discovery

namespace {

// The simulated devices' side of the subnets: namespace "krvdev" behind veth
// pairs (io_net.sh); torn down after each test.
class Subnet {
public:
    explicit Subnet(const char* mode) {
        ok_ = RunUnix("/bin/sh " + kNet + " " + mode + " " + kScratch + "/net.done", kScratch + "/net.done") &&
              ReadAll(kScratch + "/net.done") == "ok\n";
    }
    ~Subnet() { RunUnix("/bin/sh " + kNet + " down " + kScratch + "/net.done", kScratch + "/net.done"); }
    bool Ok() const { return ok_; }

private:
    bool ok_ = false;
};

// One peer process of io_peer.py; waits until it listens. Its end waits
// (bounded) until the peer has closed its sockets, so that no later case
// meets it on the same port.
class Peer {
public:
    Peer(const std::string& name, const std::string& args, bool inDeviceNs)
        : log_(kScratch + "/" + name + ".log"), ready_(kScratch + "/" + name + ".ready") {
        for (const std::string& f : {log_, ready_, ready_ + ".stop", ready_ + ".ended"}) Remove(f);
        std::string cmd = (inDeviceNs ? "/usr/sbin/ip netns exec krvdev " : "") + std::string("/usr/bin/python3 ") +
                          kPeer + " " + args + " --log " + log_ + " --ready " + ready_;
        started_ = StartUnix(cmd);
        ok_ = started_ && PumpUntil([&] { return Exists(ready_); }, 10000);
    }
    ~Peer() {
        if (!started_) return;
        EXPECT_TRUE(krvtest::WriteFileBytes(WinPath(ready_ + ".stop"), "")) << "the peer was not told to stop";
        if (ok_) {
            EXPECT_TRUE(PumpUntil([&] { return Exists(ready_ + ".ended"); }, 5000)) << log_;
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    bool Ok() const { return ok_; }
    std::vector<std::string> Log() const { return Lines(log_); }
    // The log once it holds at least n lines (bounded): lines of other
    // connections may come in any order and a little later.
    std::vector<std::string> LogOf(size_t n, DWORD ms = 5000) const {
        PumpUntil([&] { return Log().size() >= n; }, ms);
        return Log();
    }

private:
    std::string log_, ready_;
    bool started_ = false, ok_ = false;
};

// Reply datagrams of each kind.
std::string Full(uint16_t httpPort, bool https, uint64_t n, size_t len = 102) {
    std::string d(len, '\0');
    d[0] = 0x01;
    d[1] = 0x03;
    if (len >= 42) {
        d[40] = (char)(httpPort & 0xFF);
        d[41] = (char)(httpPort >> 8);
    }
    if (len >= 95) d[94] = https ? 2 : 0;
    for (int i = 0; i < 6 && 96 + i < (int)len; ++i) d[96 + i] = (char)((n >> (8 * i)) & 0xFF);
    return Hex(d);
}
std::string Short(const std::string& number) {
    std::string d = std::string("\x01\x01", 2) + std::string(9, 'x') + number;
    return Hex(d);
}
std::string Classic(unsigned char b4) {
    return Hex(std::string("\x01\x00\x00\x00", 4) + (char)b4 + std::string(10, 'c'));
}

}  // namespace

TEST_F(IoDlg, ParseRepliesWithinTheReceivedBytes) {
    struct Case {
        std::string bytes;
        int product, typeIndex, port, secure, full;
    };
    auto raw = [](const std::string& hex) {
        std::string out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) out += (char)std::stoi(hex.substr(i, 2), nullptr, 16);
        return out;
    };
    const Case cases[] = {
        {raw(Full(8080, true, 123456789)), 45678, -1, 8080, 1, 1},
        {raw(Full(8080, true, 576200)), 57620, -1, 8080, 1, 1},
        // short of the product field: no product, no full-reply flag
        {raw(Full(8080, true, 576200, 101)), 0, -1, 8080, 1, 0},
        {raw(Full(8080, true, 576200, 60)), 0, -1, 8080, 0, 0},
        {raw(Full(8080, true, 576200, 41)), 0, -1, 80, 0, 0},
        {raw(Short("57640")), 57640, -1, 80, 0, 0},
        {raw(Short(" -12abc")), -12, -1, 80, 0, 0},
        // beyond 32 bits: no article, not the 57640 it would wrap to
        {raw(Short("4295024936")), -1, -1, 80, 0, 0},
        {raw(Short("")), 0, -1, 80, 0, 0},
        {raw(Short("")).substr(0, 5), 0, -1, 80, 0, 0},
        {raw(Classic(3)), 0, 0, 80, 0, 0},
        {raw(Classic(2)), 0, -1, 80, 0, 0},
        {raw(Classic(3)).substr(0, 4), 0, -1, 80, 0, 0},
        {std::string("\x07\x07", 2) + std::string(100, '\0'), CIoDeviceDlg::kUnknownKindArticle, -1, 80, 0, 0},
        {std::string("\x01", 1), CIoDeviceDlg::kUnknownKindArticle, -1, 80, 0, 0},
    };
    for (const Case& c : cases) {
        // what lies beyond the received bytes must not count
        unsigned char buf[322];
        memset(buf, '7', sizeof buf);
        memcpy(buf, c.bytes.data(), c.bytes.size());
        CDeviceReply r;
        r.productNumber = 5;
        CIoDeviceDlg::ParseReply(buf, (int)c.bytes.size(), r);
        SCOPED_TRACE(Hex(c.bytes.substr(0, 4)) + " len " + std::to_string(c.bytes.size()));
        EXPECT_EQ(c.product, r.productNumber);
        EXPECT_EQ(c.typeIndex, r.typeIndex);
        EXPECT_EQ(c.port, r.httpPort);
        EXPECT_EQ(c.secure, r.secure);
        EXPECT_EQ(c.full, r.fullReply);
        EXPECT_EQ(0, r.gen40);
    }
}

TEST_F(IoDlg, HostListFilledFromRepliesOnASubnet) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    // first a short reply, then the full one; an unknown article, an unknown
    // kind and an oversized datagram are not listed
    Peer dev("udp1",
             "udp --limit 20 --replies " + Short("57650") + "," + Full(8443, true, 576350) + "," + Short("57640") +
                 "," + Full(80, false, 123456789) + "," + Hex(std::string(400, '\x01')),
             true);
    ASSERT_TRUE(dev.Ok());
    auto d = Record(4, 1, 1);
    RunOnNew(d.get(), [&](HWND h) {
        ASSERT_TRUE(PumpUntil([&] { return Find(h, IDC_IO_HOST, L"10.77.0.2") >= 0; }, 5000));
        Pump(500);
        EXPECT_EQ(1, (int)SendDlgItemMessageW(h, IDC_IO_HOST, CB_GETCOUNT, 0, 0));
        Choose(h, IDC_IO_HOST, Find(h, IDC_IO_HOST, L"10.77.0.2"));
        // the full reply holds: 57635 is a 2/2 device of the 4.0 generation
        EXPECT_EQ(3, Sel(h, IDC_IO_TYPE));
        EXPECT_EQ(L"57635", Text(h, IDC_IO_PRODUCT));
        EXPECT_EQ(L"8443", Text(h, IDC_IO_HTTPPORT));
        EXPECT_TRUE(Checked(h, IDC_IO_HTTPS));
        EXPECT_TRUE(Checked(h, IDC_IO_V4));
        EXPECT_EQ(L"49159", Text(h, IDC_IO_BINPORT));
        EXPECT_FALSE(Enabled(h, IDC_IO_IDENTIFY));
        SendMessageW(h, WM_COMMAND, IDOK, 0);
    });
    EXPECT_STREQ(L"10.77.0.2", d->TargetHost);
    EXPECT_EQ(4, d->DeviceType);
    EXPECT_EQ(2, d->Inputs);
    EXPECT_EQ(1, d->BinaryLogin);
    EXPECT_EQ(49159, d->BinaryPort);
    EXPECT_EQ(8443, d->HttpPort);
    EXPECT_EQ(1, d->HttpSecure);
    // one query, the limited broadcast, exactly these bytes
    auto log = dev.Log();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(Hex("Version 1.03"), Field(log[0], "data"));
    EXPECT_EQ("255.255.255.255", Field(log[0], "dst"));
    EXPECT_EQ("10.77.0.1", Field(log[0], "src"));
}

TEST_F(IoDlg, ClassicServerListedWithoutProductNumber) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    Peer dev("udp2", "udp --limit 20 --replies " + Classic(3), true);
    ASSERT_TRUE(dev.Ok());
    auto d = Record(4, 1, 1);
    d->HttpPort = 8080;
    d->HttpSecure = 1;
    RunOn(d.get(), [&](HWND h) {
        ASSERT_TRUE(PumpUntil([&] { return Find(h, IDC_IO_HOST, L"10.77.0.2") >= 0; }, 5000));
        EnableWindow(GetDlgItem(h, IDC_IO_IDENTIFY), FALSE);
        Choose(h, IDC_IO_HOST, Find(h, IDC_IO_HOST, L"10.77.0.2"));
        EXPECT_EQ(0, Sel(h, IDC_IO_TYPE));
        EXPECT_EQ(L"", Text(h, IDC_IO_PRODUCT));
        EXPECT_EQ(L"80", Text(h, IDC_IO_HTTPPORT));
        EXPECT_FALSE(Checked(h, IDC_IO_HTTPS));
        EXPECT_EQ(L"49153", Text(h, IDC_IO_BINPORT));
        EXPECT_TRUE(Enabled(h, IDC_IO_IDENTIFY));
    });
}

TEST_F(IoDlg, ReplyOfAnUnnamedClassicServerLeavesPortsAsTheyAre) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    // two devices of the subnet answer with the classic kind, byte 4 not 3
    Peer dev("udp4", "udp --once --limit 20 --burst 2 --burst-reply " + Classic(2), true);
    ASSERT_TRUE(dev.Ok());
    auto d = Record(4, 2, 2);
    d->HttpPort = 8080;
    d->HttpSecure = 1;
    d->BinaryPort = 49159;
    d->BinaryLogin = 1;
    RunOn(d.get(), [&](HWND h) {
        ASSERT_TRUE(PumpUntil([&] { return Find(h, IDC_IO_HOST, L"10.77.100.2") >= 0; }, 5000));
        EXPECT_LE(0, Find(h, IDC_IO_HOST, L"10.77.100.1"));
        ASSERT_EQ(3, Sel(h, IDC_IO_TYPE));
        Choose(h, IDC_IO_HOST, Find(h, IDC_IO_HOST, L"10.77.100.1"));
        EXPECT_EQ(-1, Sel(h, IDC_IO_TYPE));
        EXPECT_EQ(L"8080", Text(h, IDC_IO_HTTPPORT));
        EXPECT_TRUE(Checked(h, IDC_IO_HTTPS));
        EXPECT_EQ(L"49159", Text(h, IDC_IO_BINPORT));
        EXPECT_TRUE(Enabled(h, IDC_IO_IDENTIFY));
    });
}

TEST_F(IoDlg, TypedAddressAsksThatDeviceAlone) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    Peer dev("udp3", "udp --limit 20 --replies 0707" + std::string(20, '0'), true);
    ASSERT_TRUE(dev.Ok());
    auto d = Record(4, 1, 1);
    RunOn(d.get(), [&](HWND h) {
        PumpUntil([&] { return dev.Log().size() >= 1; }, 5000);
        Pump(300);
        // a host name sends nothing; a dotted address one query to it
        Type(h, IDC_IO_HOST, L"plc");
        Pump(300);
        EXPECT_EQ(1u, dev.Log().size());
        Type(h, IDC_IO_HOST, L"10.77.0.2");
        ASSERT_TRUE(PumpUntil([&] { return Text(h, IDC_IO_PRODUCT) == L"52000"; }, 5000));
        EXPECT_EQ(-1, Sel(h, IDC_IO_TYPE));
        EXPECT_FALSE(Enabled(h, IDC_IO_IDENTIFY));
        EXPECT_EQ(-1, Find(h, IDC_IO_HOST, L"10.77.0.2"));
    });
    auto log = dev.Log();
    ASSERT_GE(log.size(), 2u);
    for (size_t i = 1; i < log.size(); ++i) {
        EXPECT_EQ("10.77.0.2", Field(log[i], "dst"));
        EXPECT_EQ(Hex("Version 1.03"), Field(log[i], "data"));
    }
}

// Typed key by key, the address's beginnings are other addresses to
// inet_addr ("1" is 0.0.0.1, "10.7" 10.0.0.7): only the whole one is asked.
TEST_F(IoDlg, TypedAddressAskedOnlyWhenComplete) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    Peer a("sniff4", "sniff --iface krv0p --limit 20", true);
    ASSERT_TRUE(a.Ok());
    auto d = Record(4, 1, 1);
    RunOn(d.get(), [&](HWND h) {
        PumpUntil([&] { return a.Log().size() >= 1; }, 5000);
        Type(h, IDC_IO_HOST, L"10.77.0.2");
        PumpUntil([&] { return a.Log().size() >= 2; }, 5000);
        Pump(500);
    });
    std::vector<std::string> dst;
    for (auto& l : a.Log()) dst.push_back(Field(l, "dst"));
    EXPECT_EQ((std::vector<std::string>{"255.255.255.255", "10.77.0.2"}), dst);
}

// Typed key by key, 127.0.0.25 passes 127.0.0.2, whose device answers after
// the last key: that reply describes another device and changes nothing.
// Typed as it is, the same answer is applied, and as it disables Identify
// the focus there moves on. 127.0.0.010 is 127.0.0.8 to identification: the
// device at 127.0.0.10 is not the one typed either.
TEST_F(IoDlg, DirectedReplyAppliedOnlyForTheTypedAddress) {
    PeerProcess dev;
    ASSERT_TRUE(dev.Start("udp_peer.py",
                          {"--from", "127.0.0.2", "--from", "127.0.0.10", "--reply", "full:product=576500,port=8080"}));
    struct Case {
        const wchar_t* typed;
        const char* onTheWay;  // an address asked while typing, or none
        bool applied;
        int type, httpPort;  // what OK writes
    };
    const Case cases[] = {{L"127.0.0.25", "127.0.0.2", false, 20, 80},
                          {L"127.0.0.2", nullptr, true, 4, 8080},
                          {L"127.0.0.010", nullptr, false, 20, 80}};
    // where each query went, in the order received
    auto queries = [&] {
        std::vector<std::string> to;
        const std::string record = dev.Record();
        for (size_t at = record.find(" to="); at != std::string::npos; at = record.find(" to=", at + 1))
            to.push_back(record.substr(at + 4, record.find(' ', at + 4) - at - 4));
        return to;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed, c.typed + wcslen(c.typed)));
        uint32_t address = 0;
        ASSERT_EQ(1, ResolveHost(c.typed, &address, 1, FALSE));
        in_addr a;
        a.s_addr = address;
        const std::string where = inet_ntoa(a);
        auto d = Record(20, 6, 0);
        d->HttpPort = 80;
        const size_t asked = queries().size();
        const INT_PTR result = RunOn(d.get(), [&](HWND h) {
            SetForegroundWindow(h);
            // every key before any reply is handled
            Type(h, IDC_IO_HOST, c.typed);
            SendMessageW(h, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(h, IDC_IO_IDENTIFY), TRUE);
            ASSERT_TRUE(PumpUntil(
                [&] {
                    auto q = queries();
                    return q.size() > asked && q.back() == where;
                },
                5000));
            if (c.applied) {
                EXPECT_TRUE(PumpUntil([&] { return !Enabled(h, IDC_IO_IDENTIFY); }, 5000));
            }
            Pump(500);
            EXPECT_EQ(c.applied ? L"57650" : L"", Text(h, IDC_IO_PRODUCT));
            EXPECT_EQ(c.applied ? 5 : -1, Sel(h, IDC_IO_TYPE));
            EXPECT_EQ(std::to_wstring(c.httpPort), Text(h, IDC_IO_HTTPPORT));
            EXPECT_EQ(!c.applied, Enabled(h, IDC_IO_IDENTIFY));
            HWND focus = GetFocus();
            EXPECT_TRUE(focus && IsChild(h, focus) && IsWindowEnabled(focus));
            SendMessageW(h, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(IDOK, result);
        EXPECT_STREQ(c.typed, d->TargetHost);
        EXPECT_EQ(c.type, d->DeviceType);
        EXPECT_EQ(c.httpPort, d->HttpPort);
        if (c.onTheWay) {
            const std::vector<std::string> q = queries();
            EXPECT_NE(q.end(), std::find(q.begin() + (ptrdiff_t)asked, q.end(), std::string(c.onTheWay)));
        }
    }
}

// A datagram without even a kind is no answer, in either mode.
TEST_F(IoDlg, EmptyDatagramIsNoAnswer) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    Peer dev("udp5", "udp --limit 20 --replies " + Short("57640") + ",-", true);
    ASSERT_TRUE(dev.Ok());
    auto d = Record(4, 1, 1);
    RunOn(d.get(), [&](HWND h) {
        ASSERT_TRUE(PumpUntil([&] { return Find(h, IDC_IO_HOST, L"10.77.0.2") >= 0; }, 5000));
        Type(h, IDC_IO_HOST, L"10.77.0.2");
        ASSERT_TRUE(PumpUntil([&] { return !Text(h, IDC_IO_PRODUCT).empty(); }, 5000));
        Pump(500);
        EXPECT_EQ(L"57640", Text(h, IDC_IO_PRODUCT));
        EXPECT_EQ(1, (int)SendDlgItemMessageW(h, IDC_IO_HOST, CB_GETCOUNT, 0, 0));
    });
}

// Senders are not checked (a reply's source can be anything): the host
// list stops growing at its bound. Far more senders than the bound, each
// coming round more than once: a list this long takes each new row slowly
// enough that the socket drops some datagrams, and the bound must be
// reached whichever ones.
TEST_F(IoDlg, HostListBounded) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    Peer dev("udp6", "udp --once --limit 30 --burst 30000 --rate 6000 --flood 8 --burst-reply " + Short("57640"), true);
    ASSERT_TRUE(dev.Ok());
    auto d = Record(4, 1, 1);
    RunOn(d.get(), [&](HWND h) {
        auto count = [&] { return (int)SendDlgItemMessageW(h, IDC_IO_HOST, CB_GETCOUNT, 0, 0); };
        ASSERT_TRUE(PumpUntil([&] { return count() > 0; }, 5000));
        // until the burst is over and nothing more comes
        PumpUntil(
            [&] {
                for (auto& l : dev.Log())
                    if (!Field(l, "burst_sent").empty()) return true;
                return false;
            },
            15000);
        Pump(500);
        EXPECT_EQ(16384, count());
    });
}

// A device that floods the dialog: the new device's list still closes on
// time, and a key typed meanwhile is handled (the real modal loop, keys
// through the input queue).
TEST_F(IoDlg, EscapeAnsweredWhileADeviceFloods) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    const std::string trigger = kScratch + "/flood.go";
    Remove(trigger);
    Peer dev("udp7",
             "udp --once --limit 30 --burst 1000 --rate 20000 --flood 10 --trigger " + trigger + " --burst-reply " +
                 Short("57640"),
             true);
    ASSERT_TRUE(dev.Ok());
    auto d = Record(4, 1, 1);
    CIoDeviceDlg dlg;
    dlg.m_pDevice = d.get();
    dlg.m_bNewDevice = 1;
    double closedAfter = -1;
    bool ended = false;
    dlgtest::RunModal(dlg, [&](HWND h) {
        HWND box = GetDlgItem(h, IDC_IO_HOST);
        // the flood starts before the list closes
        ASSERT_TRUE(krvtest::WriteFileBytes(WinPath(trigger), "")) << GetLastError();
        const DWORD t0 = GetTickCount();
        ASSERT_TRUE(dlgtest::WaitFor([&] { return SendMessageW(box, CB_GETCOUNT, 0, 0) > 0; }, 5000));
        if (dlgtest::WaitFor([&] { return SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0) == 0; }, 3000))
            closedAfter = (GetTickCount() - t0) / 1000.0;
        dlgtest::Focus(h, IDC_IO_NAME);
        dlgtest::Key(VK_ESCAPE);
        // generous: the loop answers within 100 ms; a key queued behind the
        // flood waited for all of it
        ended = dlgtest::WaitFor([&] { return !IsWindowVisible(h); }, 2000);
        EXPECT_LT(SendMessageW(box, CB_GETCOUNT, 0, 0), 1001);
        EXPECT_TRUE(dlgtest::WaitFor([&] { return GetTickCount() - t0 < 9000; }, 0))
            << "the flood ended before the key";
    });
    EXPECT_GE(closedAfter, 0.0) << "the list stayed open during the flood";
    EXPECT_TRUE(ended);
}

namespace {

// Whether a UDP port (host order) can be bound: no socket holds it.
bool PortFree(int port) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)port);
    const bool ok = bind(s, (const sockaddr*)&a, sizeof a) == 0;
    closesocket(s);
    return ok;
}

bool Flooded(const Peer& dev) {
    for (auto& l : dev.Log())
        if (!Field(l, "burst_sent").empty()) return true;
    return false;
}

}  // namespace

// Replies still pour in while the dialog closes, on each way out: it closes
// at once, and its socket is closed with it (the receiving thread holds it
// to its end).
TEST_F(IoDlg, RepliesArrivingWhileTheDialogCloses) {
    struct Way {
        const char* name;
        std::function<void(HWND)> close;
        INT_PTR result;
    };
    const Way ways[] = {
        {"ok", [](HWND h) { SendMessageW(h, WM_COMMAND, IDOK, 0); }, IDOK},
        {"cancel", [](HWND h) { SendMessageW(h, WM_COMMAND, IDCANCEL, 0); }, IDCANCEL},
        // behind the dialog's back: it ends without a result
        {"destroyed", [](HWND h) { DestroyWindow(h); }, -1},
    };
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const std::string trigger = kScratch + "/closing.go";
        Remove(trigger);
        Peer dev(std::string("closing_") + way.name,
                 "udp --once --limit 30 --burst 1000 --rate 20000 --flood 5 --trigger " + trigger + " --burst-reply " +
                     Short("57640"),
                 true);
        ASSERT_TRUE(dev.Ok());
        auto d = Record(4, 1, 1);
        int port = 0;
        bool held = false, pouring = false;
        DWORD asked = 0;
        const INT_PTR r = RunOn(d.get(), [&](HWND h) {
            auto log = dev.LogOf(1);
            ASSERT_FALSE(log.empty());
            port = std::stoi(Field(log[0], "sport"));
            held = !PortFree(port);
            ASSERT_TRUE(krvtest::WriteFileBytes(WinPath(trigger), "")) << GetLastError();
            ASSERT_TRUE(PumpUntil([&] { return SendDlgItemMessageW(h, IDC_IO_HOST, CB_GETCOUNT, 0, 0) >= 100; }, 5000));
            pouring = !Flooded(dev);
            asked = GetTickCount();
            way.close(h);
        });
        const DWORD took = GetTickCount() - asked;
        EXPECT_TRUE(held) << "the check of the port proves nothing";
        EXPECT_TRUE(pouring) << "the flood ended before the dialog closed";
        EXPECT_LT(took, 1000u);
        EXPECT_EQ(way.result, r);
        EXPECT_TRUE(PumpUntil([&] { return PortFree(port); }, 1000)) << "port " << port;
        EXPECT_EQ(4, d->DeviceType);
    }
}

// A plant's burst as fast as it goes while the dialog's thread is busy for
// a second: the replies are received meanwhile and every one is listed.
TEST_F(IoDlg, BurstListedInFullWhileTheWindowIsBusy) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    const int kBurst = 10000;
    const std::string trigger = kScratch + "/burst.go";
    Remove(trigger);
    Peer dev("burst",
             "udp --once --limit 30 --burst " + std::to_string(kBurst) + " --trigger " + trigger + " --burst-reply " +
                 Short("57640"),
             true);
    ASSERT_TRUE(dev.Ok());
    auto d = Record(4, 1, 1);
    RunOn(d.get(), [&](HWND h) {
        ASSERT_FALSE(dev.LogOf(1).empty());
        ASSERT_TRUE(krvtest::WriteFileBytes(WinPath(trigger), "")) << GetLastError();
        // the dialog's own thread, not answering
        Sleep(1000);
        auto count = [&] { return (int)SendDlgItemMessageW(h, IDC_IO_HOST, CB_GETCOUNT, 0, 0); };
        PumpUntil([&] { return count() >= kBurst; }, 15000);
        EXPECT_EQ(kBurst, count());
        EXPECT_TRUE(Flooded(dev));
        EXPECT_LE(0, Find(h, IDC_IO_HOST, L"10.77.100.1"));
        EXPECT_LE(0, Find(h, IDC_IO_HOST, L"10.77.139.250"));
    });
}

TEST_F(IoDlg, BroadcastsOnTwoSubnets) {
    Subnet net("up2");
    ASSERT_TRUE(net.Ok());
    Peer a("sniff0", "sniff --iface krv0p --limit 20", true);
    Peer b("sniff1", "sniff --iface krv1p --limit 20", true);
    ASSERT_TRUE(a.Ok() && b.Ok());
    auto d = Record(4, 1, 1);
    // the three queries, however late the sniffers log them; then a while
    // for anything else that might go out
    RunOn(d.get(), [&](HWND h) {
        PumpUntil([&] { return a.Log().size() + b.Log().size() >= 3; }, 5000);
        Pump(500);
    });
    std::vector<std::string> all = a.Log();
    for (auto& l : b.Log()) all.push_back(l);
    std::vector<std::string> dst;
    std::vector<double> t;
    for (auto& l : all) {
        // nothing but the query goes out
        EXPECT_EQ("17", Field(l, "proto")) << l;
        EXPECT_EQ("8513", Field(l, "dport")) << l;
        EXPECT_EQ(Hex("Version 1.03"), Field(l, "data")) << l;
        dst.push_back(Field(l, "dst"));
        t.push_back(std::stod(Field(l, "t")));
    }
    ASSERT_EQ(3u, dst.size());
    size_t lim = std::find(dst.begin(), dst.end(), "255.255.255.255") - dst.begin();
    ASSERT_LT(lim, dst.size());
    EXPECT_EQ(1, std::count(dst.begin(), dst.end(), "10.77.255.255"));
    EXPECT_EQ(1, std::count(dst.begin(), dst.end(), "10.88.255.255"));
    // t is the kernel's time of arrival, not of the sniffers' logging
    for (size_t i = 0; i < t.size(); ++i)
        if (i != lim) {
            EXPECT_GE(t[i] - t[lim], 0.095) << dst[i];
        }
}

TEST_F(IoDlg, OneSubnetGetsTheLimitedBroadcastOnly) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    Peer a("sniff2", "sniff --iface krv0p --limit 20", true);
    ASSERT_TRUE(a.Ok());
    auto d = Record(4, 1, 1);
    RunOn(d.get(), [&](HWND h) {
        PumpUntil([&] { return !a.Log().empty(); }, 5000);
        Pump(800);
    });
    auto log = a.Log();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("255.255.255.255", Field(log[0], "dst"));
    EXPECT_EQ(Hex("Version 1.03"), Field(log[0], "data"));
}

TEST_F(IoDlg, BroadcastAddressesOfTheLocalNetworks) {
    Subnet net("up2");
    ASSERT_TRUE(net.Ok());
    MIB_IPADDRROW rows[5];
    int n = GetBroadcastAddresses(rows, 5);
    ASSERT_EQ(2, n);
    std::vector<std::string> got;
    for (int i = 0; i < n; ++i) {
        in_addr a;
        a.s_addr = rows[i].dwBCastAddr;
        got.push_back(inet_ntoa(a));
    }
    std::sort(got.begin(), got.end());
    EXPECT_EQ("10.77.255.255", got[0]);
    EXPECT_EQ("10.88.255.255", got[1]);
    EXPECT_EQ(1, GetBroadcastAddresses(rows, 1));
}

// ---------------------------------------------------------------- identification

namespace {

std::wstring W(UINT id) {
    CString s;
    s.LoadString(id);
    return (const wchar_t*)s;
}
std::wstring W(UINT id, int v) {
    CString s;
    s.Format(W(id).c_str(), v);
    return (const wchar_t*)s;
}

// Message 238 naming a number as the device wrote it.
std::wstring Unknown(const std::wstring& digits) {
    std::wstring text = W(IDS_ID_UNKNOWN_ARTICLE);
    const size_t at = text.find(L"%d");
    return at == std::wstring::npos ? text : text.replace(at, 2, digits);
}

const int kBinPort = 49153, kHttpPort = 18080, kNobody = 18099;

// Opens the dialog on 127.0.0.1 with these ports, presses Identify, and
// hands the dialog to check() afterwards.
void Identify(const wchar_t* host, int binPort, int httpPort, const std::function<void(HWND)>& check,
              bool secure = false) {
    auto d = Record(4, 1, 1);
    d->TargetHost = host;
    d->HttpSecure = secure ? 1 : 0;
    d->BinaryPort = (unsigned short)binPort;
    d->HttpPort = (unsigned short)httpPort;
    RunOn(d.get(), [&](HWND h) {
        Click(h, IDC_IO_IDENTIFY);
        check(h);
    });
}

}  // namespace

TEST_F(IoDlg, VersionPageOutcomes) {
    struct Case {
        const char* name;
        std::string args;
        int sel;
        std::wstring product;
        std::wstring box;  // empty: no box
        bool identifyEnabled;
    };
    const std::wstring fail = W(IDS_ID_VERSION_FAILED) + L"\n";
    const std::wstring tail = L"\n\n" + W(IDS_ID_NOT_LATTIX);
    const Case cases[] = {
        {"known", "--body \"Lattix 2.4\r\n#57640\r\n\"", 4, L"57640", L"", false},
        {"pieces", "--pieces --body \"abcdefghijk#57700 rest\"", 10, L"57700", L"", false},
        {"nohash", "--body abc", -1, L"", fail + W(IDS_ID_NO_PRODUCT) + tail, true},
        {"zero", "--body x#0", -1, L"", W(IDS_ID_UNKNOWN_ARTICLE, 0), true},
        {"unknown", "--body #61234", -1, L"61234", W(IDS_ID_UNKNOWN_ARTICLE, 61234), true},
        // no article, named as the device wrote it; 2^32 + 57640 is not 57640
        {"toolarge", "--body #9999999999999", -1, L"", Unknown(L"9999999999999"), true},
        {"wrapsknown", "--body #4295024936", -1, L"", Unknown(L"4295024936"), true},
        {"beyond255", "--body " + std::string(255, 'a') + "#57640", -1, L"", fail + W(IDS_ID_NO_PRODUCT) + tail, true},
        {"notfound", "--status 404 --reason \"Not Found\"", -1, L"",
         fail + W(IDS_ID_HTTP_STATUS, 404) + L" (Not Found)" + tail, true},
        {"hangup", "--status 0", -1, L"", fail + W(IDS_ID_HTTP_STATUS, 0) + L" ()" + tail, true},
    };
    int port = kHttpPort;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rec.boxes.clear();
        ++port;  // each peer its own port: the last one may still be listening
        Peer web(std::string("http_") + c.name, "http --port " + std::to_string(port) + " --limit 15 " + c.args, false);
        ASSERT_TRUE(web.Ok());
        Identify(L"127.0.0.1", kNobody, port, [&](HWND h) {
            EXPECT_EQ(c.sel, Sel(h, IDC_IO_TYPE));
            EXPECT_EQ(c.product, Text(h, IDC_IO_PRODUCT));
            EXPECT_EQ(c.identifyEnabled, Enabled(h, IDC_IO_IDENTIFY));
            EXPECT_EQ(std::to_wstring(port), Text(h, IDC_IO_HTTPPORT));
        });
        ExpectBox(c.box);
        // the probe connects and sends nothing; the request goes exactly so
        const std::vector<std::string> expected = {"",
                                                   "GET /version HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                                       "\r\nUser-Agent: Korvelin Varnel\r\n\r\n"};
        EXPECT_EQ(expected, SortedFields(web.LogOf(expected.size()), "request"));
    }
}

// An identification after the host was corrected sets the generation anew.
TEST_F(IoDlg, IdentificationSetsTheGeneration) {
    const struct {
        const char* body;
        int v4, bin;
    } cases[] = {{"#57630", 0, 49153}, {"#57635", 1, 49159}};
    int port = kHttpPort + 50;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        ++port;
        Peer web("gen_" + std::to_string(port),
                 "http --port " + std::to_string(port) + " --limit 15 --body \"" + c.body + "\"", false);
        ASSERT_TRUE(web.Ok());
        auto d = Record(4, 2, 2);
        d->BinaryLogin = 1 - c.v4;
        d->BinaryPort = 49159;
        d->HttpPort = (unsigned short)port;
        EXPECT_EQ(IDOK, RunOn(d.get(), [&](HWND h) {
                      Type(h, IDC_IO_HOST, L"127.0.0.1");
                      EXPECT_EQ(-1, Sel(h, IDC_IO_TYPE));
                      Click(h, IDC_IO_IDENTIFY);
                      EXPECT_EQ(3, Sel(h, IDC_IO_TYPE));
                      EXPECT_EQ(c.v4 != 0, Checked(h, IDC_IO_V4));
                      SendMessageW(h, WM_COMMAND, IDOK, 0);
                  }));
        EXPECT_TRUE(rec.boxes.empty());
        EXPECT_EQ(c.v4, d->BinaryLogin);
        EXPECT_EQ(c.bin, d->BinaryPort);
        EXPECT_STREQ(L"127.0.0.1", d->TargetHost);
    }
}

TEST_F(IoDlg, VersionPageOverHttpsWithACertificateForAnotherName) {
    const std::string cert = kScratch + "/cert.pem", key = kScratch + "/key.pem", done = kScratch + "/cert.done";
    ASSERT_TRUE(
        RunUnix("/bin/sh -c \"openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=other.example -keyout " +
                    key + " -out " + cert + " >/dev/null 2>&1; touch " + done + "\"",
                done, 30000));
    const int port = kHttpPort + 40;
    Peer web("https",
             "http --port " + std::to_string(port) + " --limit 15 --tls " + cert + " " + key + " --body \"#57700\"",
             false);
    ASSERT_TRUE(web.Ok());
    // the leading blanks go as the resolver drops them
    Identify(
        L"  127.0.0.1", kNobody, port,
        [&](HWND h) {
            EXPECT_EQ(10, Sel(h, IDC_IO_TYPE));
            EXPECT_EQ(L"57700", Text(h, IDC_IO_PRODUCT));
            EXPECT_TRUE(Checked(h, IDC_IO_HTTPS));
        },
        true);
    EXPECT_TRUE(rec.boxes.empty()) << std::string(rec.boxes[0].begin(), rec.boxes[0].end());
    const std::vector<std::string> expected = {"", "GET /version HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                                       "\r\nUser-Agent: Korvelin Varnel\r\n\r\n"};
    EXPECT_EQ(expected, SortedFields(web.LogOf(expected.size()), "request"));
}

TEST_F(IoDlg, BothPortsUpMeansHttpWithoutBinaryRequests) {
    const int http = kHttpPort + 42, bin = kBinPort + 12;
    Peer web("both_http", "http --port " + std::to_string(http) + " --limit 15 --body \"#57690\"", false);
    Peer dev("both_bin", "bin --port " + std::to_string(bin) + " --limit 15 --reply 000000003000080000", false);
    ASSERT_TRUE(web.Ok() && dev.Ok());
    Identify(L"127.0.0.1", bin, http, [](HWND h) { EXPECT_EQ(9, Sel(h, IDC_IO_TYPE)); });
    EXPECT_TRUE(rec.boxes.empty());
    // every connection to the binary port only probes it, whichever logs first
    const auto log = dev.LogOf(1);
    ASSERT_FALSE(log.empty());
    for (const std::string& l : log) EXPECT_EQ("", Field(l, "data")) << l;
}

TEST_F(IoDlg, WebServerThatNeverAnswersEndsInAWinInetError) {
    const int port = kHttpPort + 41;
    Peer web("mute", "http --port " + std::to_string(port) + " --limit 30 --status -1", false);
    ASSERT_TRUE(web.Ok());
    const DWORD start = GetTickCount();
    Identify(L"127.0.0.1", kNobody, port, [](HWND) {});
    const DWORD took = GetTickCount() - start;
    ASSERT_EQ(1u, rec.boxes.size());
    EXPECT_EQ(0u, rec.boxes[0].find(L"WinINet error:\n")) << rec.boxes[0];
    // not a timed assertion: the figure is printed for the record
    printf("identification against a silent web server took %lu ms\n", (unsigned long)took);
}

namespace {

struct Timed {
    DWORD took = 0, longestWait = 0;
};

// Identify on 127.0.0.1 at this HTTP port (nothing on the binary port):
// how long the press took and the longest the window left a message waiting.
Timed IdentifyTimed(int httpPort, bool secure, const std::function<void(HWND)>& check, int binPort = kNobody) {
    Timed t;
    auto d = Record(4, 1, 1);
    d->TargetHost = L"127.0.0.1";
    d->HttpSecure = secure ? 1 : 0;
    d->BinaryPort = (unsigned short)binPort;
    d->HttpPort = (unsigned short)httpPort;
    RunOn(d.get(), [&](HWND h) {
        AnswerWatch watch(h);
        const DWORD start = GetTickCount();
        Click(h, IDC_IO_IDENTIFY);
        t.took = GetTickCount() - start;
        t.longestWait = watch.Stop();
        check(h);
    });
    return t;
}

const DWORD kBoundMs = 4000;

}  // namespace

TEST_F(IoDlg, HostileWebServersEndWithinOneBound) {
    const std::wstring timedOut = L"WinINet error:\n";
    const std::wstring redirected =
        W(IDS_ID_VERSION_FAILED) + L"\n" + W(IDS_ID_HTTP_STATUS, 302) + L" (Found)\n\n" + W(IDS_ID_NOT_LATTIX);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool secure;
        std::wstring box;  // the box, or its start when it ends in a newline
    };
    const Case cases[] = {
        {"body a byte every 0.5 s",
         {"--mode", "trickle", "--pause", "0.5", "--body", std::string(20, 'x') + "#57640"},
         false,
         timedOut},
        {"head a byte every 0.25 s", {"--mode", "tricklehead", "--pause", "0.25"}, false, timedOut},
        {"TLS handshake never answered", {"--mode", "mute", "--tls", "127.0.0.1"}, true, timedOut},
        {"text on the TLS port", {"--mode", "babble", "--pause", "0.3"}, true, timedOut},
        {"redirect loop", {"--mode", "redirect"}, false, redirected},
        {"16000 headers", {"--mode", "headers", "--count", "16000", "--body", "#57640"}, false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rec.boxes.clear();
        PeerProcess web;
        ASSERT_TRUE(web.Start("http_peer.py", c.args, 40));
        const Timed t = IdentifyTimed(web.Port(), c.secure, [](HWND) {});
        printf("%-30s identification took %5lu ms, the window left a message waiting %4lu ms at most\n", c.name,
               (unsigned long)t.took, (unsigned long)t.longestWait);
        EXPECT_LT(t.took, kBoundMs + 1000);
        EXPECT_LT(t.longestWait, 500u);
        if (c.box.empty()) {
            EXPECT_TRUE(rec.boxes.empty() || rec.boxes[0].rfind(timedOut, 0) == 0);
        } else {
            ASSERT_EQ(1u, rec.boxes.size());
            if (c.box.back() == L'\n')
                EXPECT_EQ(0u, rec.boxes[0].find(c.box)) << rec.boxes[0];
            else
                EXPECT_EQ(c.box, rec.boxes[0]);
        }
    }
}

// The connection passes wait up to 4000 ms for the device: the window
// paints and answers meanwhile.
TEST_F(IoDlg, WindowAnswersWhileTheConnectionsAreAwaited) {
    Peer bin("bin_mute", "bin --port " + std::to_string(kBinPort + 13) + " --limit 12 --reply silent", false);
    ASSERT_TRUE(bin.Ok());
    const Timed t = IdentifyTimed(
        kNobody, false, [](HWND) {}, kBinPort + 13);
    printf("silent binary port: identification took %lu ms, the window left a message waiting %lu ms at most\n",
           (unsigned long)t.took, (unsigned long)t.longestWait);
    ASSERT_EQ(1u, rec.boxes.size());
    EXPECT_EQ(W(IDS_ID_BINARY_SILENT, kBinPort + 13), rec.boxes[0]);
    EXPECT_LT(t.longestWait, 500u);
}

TEST_F(IoDlg, AnswerFollowedByAResetStillIdentifies) {
    PeerProcess web;
    ASSERT_TRUE(web.Start("http_peer.py", {"--mode", "reset", "--pause", "0.3", "--body", "Lattix 2.4\r\n#57640"}, 20));
    IdentifyTimed(web.Port(), false, [](HWND h) {
        EXPECT_EQ(4, Sel(h, IDC_IO_TYPE));
        EXPECT_EQ(L"57640", Text(h, IDC_IO_PRODUCT));
        EXPECT_FALSE(Enabled(h, IDC_IO_IDENTIFY));
    });
    EXPECT_TRUE(rec.boxes.empty()) << (rec.boxes.empty() ? "" : std::string(rec.boxes[0].begin(), rec.boxes[0].end()));
}

TEST_F(IoDlg, IdentificationFollowsNoRedirectAndKeepsNoCookieOrCopy) {
    // the redirect points at another host that would identify as 57640
    PeerProcess other;
    ASSERT_TRUE(other.Start("http_peer.py", {"--bind", "127.0.0.2", "--mode", "page", "--body", "#57640"}, 30));
    PeerProcess web;
    ASSERT_TRUE(web.Start(
        "http_peer.py",
        {"--mode", "redirect", "--location", "http://127.0.0.2:" + std::to_string(other.Port()) + "/version"}, 30));
    IdentifyTimed(web.Port(), false, [](HWND h) {
        EXPECT_EQ(-1, Sel(h, IDC_IO_TYPE));
        EXPECT_EQ(L"", Text(h, IDC_IO_PRODUCT));
    });
    ASSERT_EQ(1u, rec.boxes.size());
    EXPECT_EQ(W(IDS_ID_VERSION_FAILED) + L"\n" + W(IDS_ID_HTTP_STATUS, 302) + L" (Found)\n\n" + W(IDS_ID_NOT_LATTIX),
              rec.boxes[0]);
    EXPECT_EQ("", other.Record());

    // a device's cookie is neither sent back nor kept, its page not cached
    rec.boxes.clear();
    PeerProcess page;
    ASSERT_TRUE(page.Start("http_peer.py",
                           {"--mode", "page", "--body", "#57640", "--header", "Set-Cookie: sid=geheim; Path=/",
                            "--header", "Cache-Control: max-age=3600"},
                           30));
    for (int i = 0; i < 2; ++i) IdentifyTimed(page.Port(), false, [](HWND h) { EXPECT_EQ(4, Sel(h, IDC_IO_TYPE)); });
    EXPECT_TRUE(rec.boxes.empty());
    const std::string get = "GET /version HTTP/1.1\r\n";
    const std::string record = page.WaitRecord(2 * get.size());
    EXPECT_EQ(std::string::npos, record.find("Cookie")) << record;
    EXPECT_NE(std::string::npos, record.find(get, record.find(get) + 1)) << record;
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(page.Port()) + L"/version";
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size) || GetLastError() == ERROR_INSUFFICIENT_BUFFER);
    wchar_t cookie[256] = {};
    DWORD cookieLength = 256;
    EXPECT_FALSE(InternetGetCookieW(L"http://127.0.0.1/", nullptr, cookie, &cookieLength)) << cookie;
}

TEST_F(IoDlg, IdentifyFromTheKeyboardPassesTheFocusOn) {
    PeerProcess web;
    ASSERT_TRUE(web.Start("http_peer.py", {"--mode", "page", "--body", "#57640"}, 20));
    IdentifyTimed(web.Port(), false, [](HWND) {});  // warms the peer up
    auto d = Record(4, 1, 1);
    d->TargetHost = L"127.0.0.1";
    d->BinaryPort = (unsigned short)kNobody;
    d->HttpPort = (unsigned short)web.Port();
    RunOn(d.get(), [&](HWND h) {
        SetForegroundWindow(h);
        SendMessageW(h, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(h, IDC_IO_IDENTIFY), TRUE);
        ASSERT_EQ(GetDlgItem(h, IDC_IO_IDENTIFY), GetFocus());
        dlgtest::Key(VK_SPACE);
        ASSERT_TRUE(PumpUntil([&] { return !Enabled(h, IDC_IO_IDENTIFY); }, 8000));
        Pump(100);
        HWND focus = GetFocus();
        // on an enabled control of the dialog, so that Tab goes on from there
        ASSERT_TRUE(focus != nullptr);
        EXPECT_TRUE(IsChild(h, focus));
        EXPECT_TRUE(IsWindowEnabled(focus));
    });
    EXPECT_TRUE(rec.boxes.empty());
}

TEST_F(IoDlg, BinaryPortOutcomes) {
    const std::string requests = "00000000200008000000000020000800000000000100"
                                 "0800";
    struct Case {
        const char* name;
        const char* reply;
        int sel;
        std::wstring box;
    };
    const Case cases[] = {
        {"classic2", "000000003000080000", 1, L""},
        {"classic1", "0000000008000800", 0, L""},
        {"other", "0000000009000800", 2, W(IDS_ID_BINARY_SILENT, kBinPort + 3)},
        {"short", "00000000300008", 2, W(IDS_ID_BINARY_SILENT, kBinPort + 4)},
        // accepts, then closes: no reading of 0 bytes until the time is up
        {"close", "close", 2, W(IDS_ID_BINARY_SILENT, kBinPort + 5)},
    };
    int port = kBinPort;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rec.boxes.clear();
        ++port;
        Peer bin(std::string("bin_") + c.name, "bin --port " + std::to_string(port) + " --limit 12 --reply " + c.reply,
                 false);
        ASSERT_TRUE(bin.Ok());
        Identify(L"127.0.0.1", port, kNobody, [&](HWND h) {
            EXPECT_EQ(c.sel, Sel(h, IDC_IO_TYPE));
            EXPECT_FALSE(Checked(h, IDC_IO_V4));
            EXPECT_EQ(c.box.empty(), !Enabled(h, IDC_IO_IDENTIFY));
        });
        ExpectBox(c.box);
        if (std::string(c.reply) != "close") {
            auto log = bin.Log();
            ASSERT_EQ(1u, log.size());
            EXPECT_EQ(requests, Field(log[0], "data"));
        }
    }
}

TEST_F(IoDlg, RefusalsAndSilence) {
    // both refused: the two texts in one box
    Identify(L"127.0.0.1", kNobody, kNobody + 1, [](HWND) {});
    ASSERT_EQ(1u, rec.boxes.size());
    EXPECT_EQ(W(IDS_ID_HTTP_REFUSED, kNobody + 1) + L"\n\n" + W(IDS_ID_BINARY_REFUSED, kNobody), rec.boxes[0]);
    // HTTP refused, the binary port up but silent
    rec.boxes.clear();
    Peer bin("bin_silent", "bin --port " + std::to_string(kBinPort + 10) + " --limit 12 --reply silent", false);
    ASSERT_TRUE(bin.Ok());
    Identify(L"127.0.0.1", kBinPort + 10, kNobody, [](HWND) {});
    ASSERT_EQ(1u, rec.boxes.size());
    EXPECT_EQ(W(IDS_ID_BINARY_SILENT, kBinPort + 10), rec.boxes[0]);
    // a name that is no address: the resolver's message only
    rec.boxes.clear();
    Identify(L"300.1.1.1", kBinPort, kHttpPort, [](HWND) {});
    EXPECT_EQ(1u, rec.boxes.size());
}

TEST_F(IoDlg, NoAnswerFromAnAddressOnTheSubnet) {
    Subnet net("up1");
    ASSERT_TRUE(net.Ok());
    Identify(L"10.77.0.99", kBinPort, kHttpPort, [](HWND) {});
    ASSERT_EQ(1u, rec.boxes.size());
    EXPECT_EQ(W(IDS_ID_NO_ANSWER), rec.boxes[0]);
}

TEST_F(IoDlg, BinaryStructOfMoreThan98BytesIsNotSent) {
    Peer bin("bin_struct", "bin --port " + std::to_string(kBinPort + 11) + " --limit 8 --reply silent", false);
    ASSERT_TRUE(bin.Ok());
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kBinPort + 11);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, connect(s, (sockaddr*)&to, sizeof to));
    CIoDeviceDlg dlg;
    unsigned char data[99] = {1, 2, 3};
    EXPECT_FALSE(dlg.SendBinaryStruct(s, 0x0020, data, 99));
    EXPECT_TRUE(dlg.SendBinaryStruct(s, 0x0042, data, 3));
    EXPECT_TRUE(dlg.SendBinaryStruct(s, 0x0042, data, 3));
    EXPECT_TRUE(dlg.SendBinaryStruct(s, 0x0042, data, 3));
    ASSERT_TRUE(PumpUntil([&] { return !bin.Log().empty(); }, 5000));
    EXPECT_EQ("000000004200"
              "0b00010203"
              "000000004200"
              "0b00010203"
              "000000004200"
              "0b00010203",
              Field(bin.Log()[0], "data"));
    closesocket(s);
}
