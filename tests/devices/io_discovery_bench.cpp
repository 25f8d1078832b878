// Benchmark (no test entry): replies from N addresses of a private /16 come
// in one burst (sent raw by io_peer.py as fast as it goes). For each N the
// floor first: a plain blocking receive loop on a socket with the dialog's
// receive buffer; then the I/O device dialog in its own modal loop. Prints
// how many distinct senders each kept, when the dialog had listed 1,000 and
// all it listed, and how long its loop took to take a key pressed through
// the input queue every 100 ms (the window in front).
// Run inside the jail as root (tools/bench.sh does).
//
//   tools/bench.sh io_discovery_bench [N ...]   (100 1000 10000)
#include "devices/io_device_dlg.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "framework/Seams.h"
#include "resources/devices_ids.h"
#include "io_test_util.h"
#include "dlg_driver.h"
#include "bench_probe.h"
#include <cstdio>
#include <cstdlib>
#include <set>

using namespace benchprobe;
using namespace iotest;

namespace {

const std::string kPeer = IO_PEER;
const std::string kNet = IO_NET;
const std::string kScratch = IO_SCRATCH;
const int kQuietMs = 1500;  // nothing more for this long: the burst is over

struct Burst {
    std::string log, trigger;
    bool Start(int n) {
        log = kScratch + "/bench.log";
        const std::string ready = kScratch + "/bench.ready";
        trigger = kScratch + "/bench.go";
        Remove(log);
        Remove(ready);
        Remove(trigger);
        std::string reply = Hex(std::string("\x01\x01", 2) + std::string(9, 'x') + "57640");
        StartUnix("/usr/sbin/ip netns exec krvdev /usr/bin/python3 " + kPeer + " udp --once --limit 60 --burst " +
                  std::to_string(n) + " --burst-reply " + reply + " --net 10.77 --trigger " + trigger + " --log " +
                  log + " --ready " + ready);
        return PumpUntil([&] { return Exists(ready); }, 10000);
    }
    void Go() {
        HANDLE go = CreateFileW(WinPath(trigger).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(go);
    }
    // When the peer began sending, on our clock (Wine's performance counter
    // is the monotonic raw clock in 100 ns units); 0 when unknown.
    double SentMs() {
        for (auto& l : Lines(log))
            if (!Field(l, "raw_ns").empty()) return std::stod(Field(l, "raw_ns")) / 1e6;
        return 0;
    }
};

// Distinct senders a plain receive loop keeps; -1 when it could not run.
int Floor(int n, double& lastMs, double& sent) {
    Burst b;
    if (!b.Start(n)) return -1;
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, (const char*)&on, sizeof on);
    int rcv = CIoDeviceDlg::kDiscoveryBuffer;  // as the dialog's
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&rcv, sizeof rcv);
    DWORD wait = kQuietMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char*)&wait, sizeof wait);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(8513);
    to.sin_addr.s_addr = INADDR_BROADCAST;
    sendto(s, "Version 1.03", 12, 0, (const sockaddr*)&to, sizeof to);
    // the peer waits for the query before the trigger counts
    Sleep(200);
    b.Go();
    std::set<u_long> senders;
    lastMs = 0;
    const double t0 = NowMs();
    while (NowMs() - t0 < 20000) {
        char buf[322];
        sockaddr_in from{};
        int len = sizeof from;
        int got = recvfrom(s, buf, sizeof buf, 0, (sockaddr*)&from, &len);
        if (got == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEMSGSIZE) continue;
            break;  // quiet for kQuietMs
        }
        if (senders.insert(from.sin_addr.s_addr).second) lastMs = NowMs();
    }
    closesocket(s);
    sent = b.SentMs();
    return (int)senders.size();
}

// False when the round measured nothing: the device did not start or the
// dialog listed none of its replies.
bool RunOnce(int n) {
    double floorLast = 0, floorSent = 0;
    const int floor = Floor(n, floorLast, floorSent);
    Burst b;
    if (!b.Start(n)) {
        printf("%5d replies: FAILED, the device did not start\n", n);
        return false;
    }
    CDeviceCfg dev(L"Box1", 4);
    CIoDeviceDlg dlg;
    dlg.m_pDevice = &dev;
    InputProbe probe(10000);
    double first = 0, last = 0, thousand = 0;
    int listed = 0;
    dlgtest::RunModal(dlg, [&](HWND h) {
        probe.Watch(h);
        HWND box = GetDlgItem(h, IDC_IO_HOST);
        b.Go();
        // one look every 10 ms
        const double start = NowMs();
        while (NowMs() - start < 30000) {
            int c = (int)SendMessageW(box, CB_GETCOUNT, 0, 0);
            double now = NowMs();
            if (c > 0 && first == 0) first = now;
            if (c >= 1000 && thousand == 0) thousand = now;
            if (c > listed) {
                listed = c;
                last = now;
            }
            if (listed > 0 && now - last > kQuietMs) break;
            Sleep(10);
        }
        probe.Watch(nullptr);
        dlgtest::Press(h, IDCANCEL);
    });
    probe.Stop();
    const double sent = b.SentMs();
    if (listed > 0)
        printf("%5d replies: dialog listed %5d (%5.1f %%)", n, listed, 100.0 * listed / n);
    else
        printf("%5d replies: FAILED, the dialog listed nothing", n);
    if (floor > 0)
        printf(", plain receive loop kept %5d (%5.1f %%)", floor, 100.0 * floor / n);
    else
        printf(", plain receive loop %s", floor == 0 ? "kept nothing" : "did not run");
    // Times only of what was listed.
    if (listed > 0 && sent > 0) {
        printf("; from the burst's start: first listed %7.1f ms, last %7.1f ms", first - sent, last - sent);
        if (thousand > 0) printf(", 1,000 listed %7.1f ms", thousand - sent);
        if (floor > 0 && floorSent > 0) printf(" (the loop's last %7.1f ms)", floorLast - floorSent);
    }
    PrintKeys(probe);
    fflush(stdout);
    return listed > 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(atoi(argv[i]));
    if (counts.empty()) counts = {100, 1000, 10000};
    for (int n : counts)
        if (n < 1 || n > 38750) {  // the peer's senders: 10.77.100.1 to 10.77.254.250
            printf("usage: io_discovery_bench [N ...] (each 1 to 38750)\n");
            return 2;
        }
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
    printf("receive buffer asked for, by both: %d KB\n", CIoDeviceDlg::kDiscoveryBuffer / 1024);
    int failed = 0;
    for (int n : counts) failed += RunOnce(n) ? 0 : 1;
    RunUnix("/bin/sh " + kNet + " down " + kScratch + "/net.done", kScratch + "/net.done");
    if (failed) printf("%d of %d rounds FAILED\n", failed, (int)counts.size());
    return failed ? 1 : 0;
}
