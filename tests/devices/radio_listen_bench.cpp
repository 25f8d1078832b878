// Benchmark (no test entry): the radio module dialog listens while the
// simulated transceiver (peers/enocean_peer.py, mode flood) sends COUNT
// radio telegrams of MODULES modules as fast as loopback takes them; the
// floor is a plain receive loop taking the same stream in the same run.
// Prints the telegrams per second each took, whether the dialog lost or
// miscounted any, and how long the dialog's loop took to take a key pressed
// through the input queue every 100 ms (the window in front).
//
//   tools/bench.sh radio_listen_bench [COUNT [MODULES [RUNS]]]   (10000 500 3)
#include "devices/radio_dlg.h"
#include "config/device_cfg.h"
#include "framework/Seams.h"
#include "framework/WinApp.h"
#include "resources/radio_ids.h"
#include "dlg_driver.h"
#include "bench_probe.h"
#include "tests/test_files.h"
#include "tests/unix_start/unix_start.h"
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

using namespace benchprobe;
using namespace dlgtest;

namespace {

int gCount = 10000, gModules = 500;

using krvtest::Widen;
using krvtest::WinPath;
bool Exists(const std::string& unix) { return krvtest::UnixFileExists(unix); }

// What module i of the round receives in all.
int Expected(int i) { return gCount / gModules + (i < gCount % gModules ? 1 : 0); }

// The time a run may take before it counts as cut off.
double CapMs() { return 60000.0 + gCount / 1000.0; }

// Starts the peer; true once it listens. done names the file it writes at its end.
bool StartPeer(const std::string& name, std::string& done) {
    std::string dir = RADIO_WORKDIR "/radio_bench_" + name + "_";
    std::string ready = dir + "ready", record = dir + "record";
    done = dir + "done";
    for (const std::string* f : {&ready, &record, &done}) DeleteFileW(WinPath(*f).c_str());
    std::wstring cmd = L"/usr/bin/python3 " + Widen(ENOCEAN_PEER) + L" --port 8000 --mode flood --count " +
                       std::to_wstring(gCount) + L" --modules " + std::to_wstring(gModules) + L" --ready " +
                       Widen(ready) + L" --record " + Widen(record) + L" --done " + Widen(done) + L" --limit " +
                       std::to_wstring((int)(CapMs() / 1000) + 10);
    if (!krvtest::StartUnix(cmd)) return false;
    return WaitFor([&] { return Exists(ready); }, 10000);
}

// A plain blocking receive loop over the same stream: telegrams a second,
// -1 when it failed.
double Floor(int run) {
    std::string done;
    if (!StartPeer("floor" + std::to_string(run), done)) return -1;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(8000);
    DWORD wait = 10000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char*)&wait, sizeof wait);
    double rate = -1;
    if (connect(s, (const sockaddr*)&a, sizeof a) == 0) {
        std::unique_ptr<uint8_t[]> buf(new uint8_t[65536]);
        uint8_t tg[kEsp2Size];
        int count = 0, telegrams = 0;
        const double t0 = NowMs();
        while (telegrams < gCount) {
            int n = recv(s, (char*)buf.get(), 65536, 0);
            if (n <= 0) break;
            count = AssembleTelegrams(tg, count, buf.get(), n, [&](const uint8_t* t) {
                if (IsRadioTelegram(t)) ++telegrams;
            });
        }
        const double span = NowMs() - t0;
        if (telegrams == gCount && span > 0) rate = gCount * 1000.0 / span;
    }
    closesocket(s);
    WaitFor([&] { return Exists(done); }, 10000);
    return rate;
}

// False when the run counted nothing whole: no transceiver, cut off, or lost.
bool RunOnce(int run) {
    const double floor = Floor(run);
    std::string done;
    if (!StartPeer("dlg" + std::to_string(run), done)) {
        printf("run %d: FAILED, the transceiver did not start\n", run);
        return false;
    }
    CDeviceCfg trcv(L"TRCV1", kTypeTransceiver);
    trcv.TargetHost = L"127.0.0.1";
    trcv.EnOceanBaseAddress = (int)0xFF800080u;
    CDeviceCfg dev(L"Taster1", kTypePushButton);
    dev.TargetHost = L"TRCV1";
    dev.Inputs = 4;
    CRadioDeviceDlg dlg;
    dlg.m_pDevice = &dev;
    dlg.m_pTransceivers = &trcv;

    InputProbe probe(10000);
    const int rowsWanted = gCount < gModules ? gCount : gModules;
    const int lastRow = (gCount - 1) % gModules;  // the module of the last telegram
    int rows = 0, total = 0, wrong = 0;
    double start = 0, first = 0, end = 0;
    bool cut = false;
    RunModal(dlg, [&](HWND h) {
        HWND list = GetDlgItem(h, IDC_RADIO_ID_LIST);
        auto cell = [&](int r) {
            wchar_t text[32] = {};
            ListView_GetItemText(list, r, 1, text, 32);
            return _wtoi(text);
        };
        probe.Watch(h);
        start = NowMs();
        Click(h, IDC_RADIO_LISTEN);
        // two looks every 10 ms: how many rows, and the count of the last
        // telegram's module, which is final once every telegram is counted
        for (;;) {
            int r = ListView_GetItemCount(list);
            double now = NowMs();
            if (r > 0 && first == 0) first = now;
            if (r == rowsWanted && cell(lastRow) == Expected(lastRow)) {
                end = now;
                break;
            }
            if (now - start > CapMs()) {
                cut = true;
                break;
            }
            Sleep(10);
        }
        probe.Watch(nullptr);
        rows = ListView_GetItemCount(list);
        for (int i = 0; i < rows; ++i) {
            int c = cell(i);
            total += c;
            if (c != Expected(i)) ++wrong;
        }
        Click(h, IDC_RADIO_LISTEN);  // off: the peer sees the close
        Press(h, IDCANCEL);
    });
    probe.Stop();
    WaitFor([&] { return Exists(done); }, 10000);
    printf("run %d: %d telegrams of %d modules; ", run, gCount, gModules);
    if (cut) {
        printf("FAILED, cut off after %.0f s with %d counted in %d rows", CapMs() / 1000, total, rows);
    } else {
        const double span = end - start;
        printf("all counted %.1f ms after the click (first row after %.1f ms): %.0f telegrams/s; %s", span,
               first - start, span > 0 ? gCount * 1000.0 / span : 0.0,
               total == gCount && rows == rowsWanted && wrong == 0 ? "none lost or miscounted" : "LOST OR MISCOUNTED");
    }
    if (floor > 0)
        printf("; plain receive loop %.0f telegrams/s", floor);
    else
        printf("; plain receive loop failed");
    PrintKeys(probe);
    fflush(stdout);
    return !cut && total == gCount && rows == rowsWanted && wrong == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    if (argc > 1) gCount = atoi(argv[1]);
    if (argc > 2) gModules = atoi(argv[2]);
    if (argc > 3) runs = atoi(argv[3]);
    if (gCount < 1 || gModules < 1 || runs < 1) {
        printf("usage: radio_listen_bench [COUNT [MODULES [RUNS]]] (all above 0)\n");
        return 2;
    }
    CString::SetResourceModule(GetModuleHandleW(nullptr));
    static CWinApp app(L"Varnel");
    app.SetRegistryKey(L"Korvelin");
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SetMessageBoxHook([](const wchar_t* text, UINT) {
        wprintf(L"message box: %ls\n", text);
        return IDOK;
    });
    int failed = 0;
    for (int run = 1; run <= runs; ++run) failed += RunOnce(run) ? 0 : 1;
    if (failed) printf("%d of %d runs FAILED\n", failed, runs);
    return failed ? 1 : 0;
}
