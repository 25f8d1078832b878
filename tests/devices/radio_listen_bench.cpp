// Benchmark (no test entry): the radio module dialog listens while the
// simulated transceiver (peers/enocean_peer.py, mode flood) sends 10,000
// radio telegrams of 500 modules as fast as loopback takes them. Prints the
// telegrams per second the dialog took, whether any was lost or miscounted,
// and the longest time the dialog did not answer WM_NULL (probed every 50 ms
// from another thread). Run inside the jail (tools/jail.sh ... tools/inside.sh).
#include "devices/radio_dlg.h"
#include "config/device_cfg.h"
#include "framework/Seams.h"
#include "framework/WinApp.h"
#include "resources/radio_ids.h"
#include "dlg_driver.h"
#include "bench_probe.h"
#include "tests/test_files.h"
#include <commctrl.h>
#include <cstdio>
#include <string>

using namespace benchprobe;
using namespace dlgtest;

namespace {

const int kCount = 10000, kModules = 500;

using krvtest::Widen;
using krvtest::WinPath;
bool Exists(const std::string& unix) { return krvtest::UnixFileExists(unix); }

// Starts the peer; true once it listens.
bool StartPeer(int run) {
    std::string dir = RADIO_WORKDIR "/radio_bench_" + std::to_string(run) + "_";
    std::string ready = dir + "ready", record = dir + "record", done = dir + "done";
    for (const std::string* f : {&ready, &record, &done}) DeleteFileW(WinPath(*f).c_str());
    std::wstring cmd = L"/usr/bin/python3 " + Widen(ENOCEAN_PEER) + L" --port 8000 --mode flood --count " +
                       std::to_wstring(kCount) + L" --modules " + std::to_wstring(kModules) + L" --ready " +
                       Widen(ready) + L" --record " + Widen(record) + L" --done " + Widen(done) + L" --limit 60";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return WaitFor([&] { return Exists(ready); }, 10000);
}

void RunOnce(int run) {
    if (!StartPeer(run)) {
        printf("run %d: the transceiver did not start\n", run);
        return;
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

    WmNullProbe probe(30000);
    int rows = 0, total = 0, wrong = 0;
    double start = 0, first = 0, last = 0;
    RunModal(dlg, [&](HWND h) {
        HWND list = GetDlgItem(h, IDC_RADIO_ID_LIST);
        auto sum = [&](int* badRows) {
            int n = 0, r = ListView_GetItemCount(list);
            for (int i = 0; i < r; ++i) {
                wchar_t text[32] = {};
                ListView_GetItemText(list, i, 1, text, 32);
                int c = _wtoi(text);
                n += c;
                if (badRows && c != kCount / kModules) ++*badRows;
            }
            return n;
        };
        probe.Watch(h);
        start = NowMs();
        Click(h, IDC_RADIO_LISTEN);
        int seen = 0;
        double settled = NowMs();
        // until all are counted, or nothing more came for 3 s
        while (NowMs() - start < 60000 && NowMs() - settled < 3000) {
            int n = sum(nullptr);
            if (n > 0 && first == 0) first = NowMs();
            if (n != seen) {
                seen = n;
                last = settled = NowMs();
            }
            if (n >= kCount) break;
            Sleep(100);   // each look reads every row from the dialog's thread
        }
        probe.Watch(nullptr);
        rows = ListView_GetItemCount(list);
        total = sum(&wrong);
        Click(h, IDC_RADIO_LISTEN);   // off: the peer sees the close
        Press(h, IDCANCEL);
    });
    probe.Stop();
    double span = last - start;
    printf("run %d: %d telegrams counted in %d rows (%d rows not %d) in %.1f ms from the click "
           "(first counted after %.1f ms): %.0f telegrams/s; %s; longest unanswered WM_NULL %.1f ms\n",
           run, total, rows, wrong, kCount / kModules, span, first - start, span > 0 ? total * 1000.0 / span : 0.0,
           total == kCount && rows == kModules && wrong == 0 ? "none lost or miscounted" : "LOST OR MISCOUNTED",
           probe.LongestMs());
    fflush(stdout);
}

}  // namespace

int main() {
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
    for (int run = 1; run <= 3; ++run) RunOnce(run);
    return 0;
}
