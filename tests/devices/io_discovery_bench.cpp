// Benchmark (no test entry): replies from 100 and 1,000 addresses of a
// private /16 reach the dialog within milliseconds. Prints the time from the
// first host listed to the last, and the longest time the dialog did not
// answer WM_NULL (probed every 50 ms from another thread).
// Run inside the jail (tools/jail.sh ... tools/inside.sh) as root.
#include "devices/io_device_dlg.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "framework/Seams.h"
#include "resources/devices_ids.h"
#include "io_test_util.h"
#include "bench_probe.h"
#include <cstdio>

using namespace benchprobe;
using namespace iotest;

namespace {

const std::string kPeer = IO_PEER;
const std::string kNet = IO_NET;
const std::string kScratch = IO_SCRATCH;

void RunOnce(int n) {
    const std::string log = kScratch + "/bench.log", ready = kScratch + "/bench.ready",
                      trigger = kScratch + "/bench.go";
    Remove(log);
    Remove(ready);
    Remove(trigger);
    std::string reply = Hex(std::string("\x01\x01", 2) + std::string(9, 'x') + "57640");
    StartUnix("/usr/sbin/ip netns exec krvdev /usr/bin/python3 " + kPeer + " udp --once --limit 30 --burst " +
              std::to_string(n) + " --burst-reply " + reply + " --net 10.77 --trigger " + trigger + " --log " + log + " --ready " + ready);
    if (!PumpUntil([&] { return Exists(ready); }, 10000)) {
        printf("%5d replies: the device did not start\n", n);
        return;
    }
    CDeviceCfg dev(L"Box1", 4);
    CIoDeviceDlg dlg;
    dlg.m_pDevice = &dev;
    WmNullProbe probe(10000);
    double first = 0, last = 0;
    int listed = 0;
    RunModal(dlg, [&](HWND h) {
        probe.Watch(h);
        HWND box = GetDlgItem(h, IDC_IO_HOST);
        // the burst comes on our signal; then one message at a time, so
        // that each new entry is seen when it comes
        HANDLE go = CreateFileW(WinPath(trigger).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(go);
        const double start = NowMs();
        while (listed < n && NowMs() - start < 15000) {
            MSG m;
            if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
                continue;
            }
            TranslateMessage(&m);
            DispatchMessageW(&m);
            int c = (int)SendMessageW(box, CB_GETCOUNT, 0, 0);
            if (c > 0 && first == 0) first = NowMs();
            if (c > listed) { listed = c; last = NowMs(); }
        }
        Pump(200);
        probe.Watch(nullptr);
    });
    probe.Stop();
    // Wine's performance counter is the monotonic raw clock in 100 ns units
    double sent = 0;
    for (auto& l : Lines(log))
        if (!Field(l, "raw_ns").empty()) sent = std::stod(Field(l, "raw_ns")) / 1e6;
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    printf("%5d replies: %5d listed; burst sent to first listed %7.1f ms, to last listed %7.1f ms; "
           "longest unanswered WM_NULL %6.1f ms (counter %lld Hz)\n",
           n, listed, first - sent, last - sent, probe.LongestMs(), (long long)f.QuadPart);
    fflush(stdout);
}

}  // namespace

int main() {
    CString::SetResourceModule(GetModuleHandleW(nullptr));
    static CWinApp app(L"Varnel");
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    CreateDirectoryW(WinPath(kScratch).c_str(), nullptr);
    SetMessageBoxHook([](const wchar_t*, UINT) { return IDOK; });
    if (!RunUnix("/bin/sh " + kNet + " up1 " + kScratch + "/net.done", kScratch + "/net.done") ||
        ReadAll(kScratch + "/net.done") != "ok\n") {
        printf("no subnet (run inside the jail as root)\n");
        return 1;
    }
    for (int n : {100, 1000, 100, 1000}) RunOnce(n);
    RunUnix("/bin/sh " + kNet + " down " + kScratch + "/net.done", kScratch + "/net.done");
    return 0;
}
