// Benchmark: the reconfiguration of a 4.0 device whose configuration is about
// 1 MB, in the real dialog's modal loop from Start to the final message, over
// loopback. Prints the download, patch and upload times of each run beside a
// plain client's transfer of the same bytes in the same run, the processor
// time of the whole process, and the longest wait of a window message sent to
// the dialog meanwhile.
#include "reconfig/xml_cfg_dlg.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "resources/reconfig_ids.h"
#include "tests/reconfig/bench_util.h"
#include "tests/reconfig/device_peer.h"
#include <atomic>
#include <cstdio>
#include <thread>

namespace {

using bench::Seconds;

// A real 4.0 configuration with a long event log in front of its settings.
std::string BigJson(const std::string& base, size_t size) {
    std::string s = "{\n  \"EventLog\": [\n";
    for (int i = 1; s.size() + base.size() < size; ++i) {
        char line[160];
        snprintf(
            line, sizeof line,
            "    {\"No\": \"%d\", \"Time\": \"2026-11-%02d 12:%02d:%02d\", \"Text\": \"Eingang %d geschaltet\"},\n", i,
            1 + i % 28, i % 60, (i * 7) % 60, i % 16);
        s += line;
    }
    s += "    {}\n  ],\n";
    return s + base.substr(base.find('\n') + 1);
}

struct Phases {
    double start = 0, headers = 0, read = 0, patch = 0, write = 0;
    double cpu = 0, maxAnswerMs = 0;
    std::wstring status;
    // The device took the configuration: the run's times mean something.
    bool accepted = false;
};

// A phase's seconds, or a dash for one that was not reached.
std::string Span(double from, double to, int width) {
    char out[32];
    if (from > 0 && to > 0)
        snprintf(out, sizeof out, "%*.3f", width, to - from);
    else
        snprintf(out, sizeof out, "%*s", width, "-");
    return out;
}

std::string Figure(double seconds, int width) {
    char out[32];
    if (seconds >= 0)
        snprintf(out, sizeof out, "%*.3f", width, seconds);
    else
        snprintf(out, sizeof out, "%*s", width, "failed");
    return out;
}

Phases RunOnce(CInternetSession& session, int port) {
    CXmlCfgDlg dlg(&session, nullptr);
    SetTarget(dlg.m_target, port);
    dlg.m_target.m_strPassword = L"pw";
    dlg.m_bV4 = TRUE;
    dlg.m_wBinaryPort = 49153;
    dlg.m_bSubscribe = TRUE;
    Phases p;
    std::atomic<bool> done{false};
    std::thread ui([&] {
        dlg.DoModal();
        done = true;
    });
    HWND h = nullptr;
    while (!done && !((h = FindWindowW(nullptr, L"Gerät umkonfigurieren")) && IsWindowVisible(h))) Sleep(1);
    std::atomic<bool> stopPing{false};
    std::atomic<double> maxMs{0};
    std::thread pinger([&] {
        while (!stopPing) {
            double t0 = Seconds();
            DWORD_PTR r = 0;
            SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r);
            double ms = (Seconds() - t0) * 1000;
            if (ms > maxMs) maxMs = ms;
            Sleep(10);
        }
    });
    double cpu0 = bench::CpuSeconds();
    p.start = Seconds();
    // Posted, as a click comes: a sent message would not wake the modal loop's idle calls.
    PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDC_CFG_START, BN_CLICKED), (LPARAM)GetDlgItem(h, IDC_CFG_START));
    std::wstring backupPath;
    // The step is read from outside the dialog's thread: good enough for times.
    const double limit = p.start + 120;
    while (Seconds() < limit) {
        int step = dlg.GetStep();
        double now = Seconds();
        // The backup is created when the answer's head has come.
        if (backupPath.empty() && step >= 1) backupPath = (const wchar_t*)dlg.m_strBackupPath;
        if (!p.headers && !backupPath.empty() && GetFileAttributesW(backupPath.c_str()) != INVALID_FILE_ATTRIBUTES)
            p.headers = now;
        if (step >= 2 && !p.read) p.read = now;
        if (step >= 3 && !p.patch) p.patch = now;
        if (step >= 4) {
            p.write = now;
            break;
        }
        Sleep(1);
    }
    p.cpu = bench::CpuSeconds() - cpu0;
    stopPing = true;
    pinger.join();
    p.maxAnswerMs = maxMs;
    wchar_t status[300] = {};
    GetDlgItemTextW(h, IDC_CFG_STATUS, status, 300);
    p.status = status;
    p.accepted = p.write > 0 && p.status == (const wchar_t*)LoadText(IDS_JOB_ACCEPTED);
    PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ui.join();
    wchar_t backup[MAX_PATH] = {};
    DeleteFileW(wcsncpy(backup, dlg.m_strBackupPath, MAX_PATH - 1));
    return p;
}

}  // namespace

int main() {
    CString::SetResourceModule(GetModuleHandleW(nullptr));
    static CWinApp app(L"Varnel");
    DevicePeer& dev = DevicePeer::Get();
    if (!dev.Ready()) {
        printf("the simulated device did not start\n");
        return 1;
    }
    // The backup goes beside the active configuration.
    std::wstring folder = theCfgStore.GetActivePath();
    folder = folder.substr(0, folder.rfind(L'\\') + 1);
    for (size_t p = folder.find(L'\\', 3); p != std::wstring::npos; p = folder.find(L'\\', p + 1))
        CreateDirectoryW(folder.substr(0, p).c_str(), nullptr);

    std::string base = ReadFileBytes(krvtest::WinPath(CFGPATCH_DATA "/lattix40.json"));
    std::string big = BigJson(base, 1024 * 1024);
    WriteFileBytes(dev.Dir() + L"\\big.json", big);
    std::string mode = std::string("{\"body_file\": \"") + PEER_DIR +
                       "/big.json\", \"password\": \"pw\", "
                       "\"reply\": \"{\\\"Sess\\\":\\\"77ab\\\",\\\"UserType\\\":1}\"}";
    dev.SetMode(mode);

    CInternetSession session(L"Korvelin Varnel", 42279, INTERNET_OPEN_TYPE_DIRECT);
    session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 4000);
    session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 4000);
    session.SetOption(INTERNET_OPTION_SEND_TIMEOUT, 4000);
    printf("configuration: %u bytes\n", (unsigned)big.size());
    printf("%-4s %8s %9s %8s %9s %8s | %9s %9s %7s | %8s %11s %s\n", "run", "head", "download", "patch", "upload",
           "total", "plain get", "plain put", "ratio", "cpu s", "max msg ms", "final message");
    RunOnce(session, dev.Port("http"));  // warm-up: WinINet's first connection
    int failed = 0;
    for (int run = 1; run <= 3; ++run) {
        Phases p = RunOnce(session, dev.Port("http"));
        double plainGet = bench::PlainTransfer(dev, PLAIN_CLIENT, "get", dev.Port("http"), big.size());
        double plainPut = bench::PlainTransfer(dev, PLAIN_CLIENT, "post", dev.Port("http"), big.size());
        // A ratio only of two whole transfers.
        char ratio[32];
        if (p.accepted && plainGet > 0 && plainPut > 0)
            snprintf(ratio, sizeof ratio, "%7.2f", (p.write - p.start) / (plainGet + plainPut + (p.patch - p.read)));
        else
            snprintf(ratio, sizeof ratio, "%7s", "-");
        char status[300];
        WideCharToMultiByte(CP_UTF8, 0, p.status.c_str(), -1, status, sizeof status, nullptr, nullptr);
        printf("%-4d %s %s %s %s %s | %s %s %s | %8.3f %11.1f %s%s\n", run, Span(p.start, p.headers, 8).c_str(),
               Span(p.start, p.read, 9).c_str(), Span(p.read, p.patch, 8).c_str(), Span(p.patch, p.write, 9).c_str(),
               Span(p.start, p.write, 8).c_str(), Figure(plainGet, 9).c_str(), Figure(plainPut, 9).c_str(), ratio,
               p.cpu, p.maxAnswerMs, p.write > 0 ? "" : "TIMED OUT after 120 s; ", status);
        failed += p.accepted && plainGet > 0 && plainPut > 0 ? 0 : 1;
        fflush(stdout);
    }
    // A slow device: 3 KB in 100-byte pieces, one every 100 ms. The dialog
    // waits for it without taking the processor.
    dev.SetMode("{\"body_size\": 3000, \"slow\": [100, 0.1]}");
    Phases slow = RunOnce(session, dev.Port("http"));
    if (slow.read > 0) {
        double wait = slow.read - slow.start;
        printf("slow device: %.2f s reading, %.3f s processor for the whole run (%.1f %%), max msg %.1f ms\n", wait,
               slow.cpu, 100.0 * slow.cpu / wait, slow.maxAnswerMs);
    } else {
        printf("slow device: FAILED, the download did not end within 120 s\n");
        ++failed;
    }
    printf("head: from Start until the answer's head has come (the backup file exists)\n");
    printf("ratio = total / (plain get + plain put + patch); the upload includes the logout\n");
    dev.Stop();
    if (failed) printf("%d run(s) FAILED: no times or ratio shown for what did not happen\n", failed);
    return failed ? 1 : 0;
}
