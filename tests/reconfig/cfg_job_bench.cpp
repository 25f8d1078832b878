// Benchmark: download and upload of 100 KB, 1 MB and 10 MB configurations
// from the simulated device, driven by a real modal loop's idle calls, against
// a plain client (Python's urllib) doing the same transfers in the same run;
// the loop's longest answer to a window message meanwhile; and the process's
// CPU time while it waits on a slow device. Prints a table.
#include "framework/Afx.h"
#include "reconfig/cfg_read_job.h"
#include "reconfig/cfg_write_job.h"
#include "tests/reconfig/cfg_test_ids.h"
#include "tests/reconfig/bench_util.h"
#include "tests/reconfig/device_peer.h"
#include <atomic>
#include <cstdio>
#include <thread>

namespace {
using bench::CpuSeconds;
using bench::Seconds;

class CBenchDlg : public CDialog {
public:
    CBenchDlg(bool write, CCfgTarget* t, HINTERNET s, std::wstring file)
        : CDialog(IDD_JOB_LOOP), m_bWrite(write), m_target(t), m_session(s), m_file(file) {}
    LRESULT OnKickIdle(WPARAM, LPARAM) override {
        if (!m_started) {
            m_started = true;
            m_t0 = Seconds();
            if (m_bWrite) {
                m_write = CCfgWriteJob(0, m_target, m_session);
                m_write.Setup(CFG_KIND_JSON, m_file.c_str(), 0);
            } else {
                m_read = CCfgReadJob(CFG_KIND_JSON, 0, m_target, m_session, m_file.c_str());
            }
        }
        bool ended;
        if (m_bWrite) {
            CCfgWriteJob::RunOnce(m_write);
            ended = m_write.GetState() == CFG_WRITE_ENDED;
        } else {
            CCfgReadJob::RunOnce(m_read, FALSE);
            ended = m_read.GetState() == CFG_READ_ENDED;
        }
        if (ended) {
            m_t1 = Seconds();
            EndDialog(IDOK);
            return 0;
        }
        return 1;
    }
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_APP) return 7;
        return CDialog::WindowProc(msg, wp, lp);
    }
    bool Ok() const { return m_bWrite ? !!m_write.GetSuccess() : !!m_read.GetSuccess(); }
    bool m_bWrite;
    CCfgTarget* m_target;
    HINTERNET m_session;
    std::wstring m_file;
    bool m_started = false;
    double m_t0 = 0, m_t1 = 0;  // the job's run, without the dialog's own start and end
    CCfgReadJob m_read;
    CCfgWriteJob m_write;
};

struct Run {
    double seconds = 0, maxAnswerMs = 0, cpu = 0;
    bool ok = false;
    UINT message = 0;
};

// One modal run with a thread that keeps sending it window messages.
Run RunDialog(bool write, CCfgTarget& t, HINTERNET session, const std::wstring& file) {
    CBenchDlg dlg(write, &t, session, file);
    std::atomic<bool> done{false};
    std::atomic<double> maxMs{0};
    std::thread pinger([&] {
        HWND h = nullptr;
        while (!done && !(h = FindWindowW(nullptr, L"Job loop"))) Sleep(1);
        while (!done && h) {
            double t0 = Seconds();
            DWORD_PTR r = 0;
            SendMessageTimeoutW(h, WM_APP, 0, 0, SMTO_NORMAL, 5000, &r);
            double ms = (Seconds() - t0) * 1000;
            if (!done && ms > maxMs) maxMs = ms;
            Sleep(10);
        }
    });
    Run r;
    double cpu0 = CpuSeconds();
    dlg.DoModal();
    r.seconds = dlg.m_t1 - dlg.m_t0;
    r.cpu = CpuSeconds() - cpu0;
    done = true;
    pinger.join();
    r.maxAnswerMs = maxMs;
    r.ok = dlg.Ok();
    r.message = write ? dlg.m_write.GetMessageId() : dlg.m_read.GetMessageId();
    return r;
}

// The plain client in the same run, timed by itself.
double Plain(DevicePeer& dev, const char* how, int port, size_t size) {
    return bench::PlainTransfer(dev, PLAIN_CLIENT, how, port, size);
}

// A failed plain transfer has no time and no ratio: "-" in both columns.
void PrintRow(const char* transfer, const char* label, const Run& r, double plain) {
    char plainText[16] = "-", ratio[16] = "-";
    if (plain > 0) {
        snprintf(plainText, sizeof plainText, "%.3f", plain);
        snprintf(ratio, sizeof ratio, "%.2f", r.seconds / plain);
    }
    printf("%-10s %-9s %10.3f %10s %7s %14.1f %s\n", transfer, label, r.seconds, plainText, ratio, r.maxAnswerMs,
           r.ok ? "yes" : "NO");
}
}  // namespace

int main() {
    DevicePeer& dev = DevicePeer::Get();
    if (!dev.Ready()) {
        printf("the simulated device did not start\n");
        return 1;
    }
    OwnedInternet session(
        InternetOpenW(L"Korvelin Varnel", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC));
    CCfgTarget t;
    SetTarget(t, dev.Port("http"));
    t.m_strPassword = L"pw";
    std::wstring dir = TestFolder(L"bench");
    printf("%-10s %-9s %10s %10s %7s %14s %s\n", "transfer", "size", "jobs s", "plain s", "ratio", "max answer ms",
           "ok");
    // Warm-up: the first connection of a process pays for WinINet's start.
    dev.SetMode("{\"body_size\": 1000}");
    RunDialog(false, t, session.get(), dir + L"\\warm.json");
    const size_t sizes[] = {100 * 1024, 1024 * 1024, 10 * 1024 * 1024};
    for (size_t size : sizes) {
        char label[32];
        snprintf(label, sizeof label, size >= 1024 * 1024 ? "%u MB" : "%u KB",
                 (unsigned)(size >= 1024 * 1024 ? size / (1024 * 1024) : size / 1024));
        char mode[128];
        snprintf(mode, sizeof mode, "{\"body_size\": %u, \"reply\": \"{\\\"Dialog\\\": 3}\"}", (unsigned)size);
        dev.SetMode(mode);
        std::wstring backup = dir + L"\\down.json";
        Run down = RunDialog(false, t, session.get(), backup);
        size_t stored = ReadFileBytes(backup).size();
        if (!down.ok || stored != size)
            printf("download of %u bytes: stored %u, message %u\n", (unsigned)size, (unsigned)stored, down.message);
        down.ok = down.ok && stored == size;
        double plainDown = Plain(dev, "get", dev.Port("http"), size);
        PrintRow("download", label, down, plainDown);
        std::wstring upload = dir + L"\\up.js";
        WriteFileBytes(upload, std::string(size, 'p'));
        Run up = RunDialog(true, t, session.get(), upload);
        double plainUp = Plain(dev, "post", dev.Port("http"), size);
        PrintRow("upload", label, up, plainUp);
        fflush(stdout);
    }
    // A slow device: 3 KB in 100-byte pieces, one every 100 ms.
    dev.SetMode("{\"body_size\": 3000, \"slow\": [100, 0.1]}");
    Run slow = RunDialog(false, t, session.get(), dir + L"\\slow.json");
    printf("slow device: %.2f s waiting, %.3f s CPU (%.1f %%), max answer %.1f ms, ok %s\n", slow.seconds, slow.cpu,
           slow.seconds > 0 ? 100.0 * slow.cpu / slow.seconds : 0.0, slow.maxAnswerMs, slow.ok ? "yes" : "NO");
    dev.Stop();
    return 0;
}
