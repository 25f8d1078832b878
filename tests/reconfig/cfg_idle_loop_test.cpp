// The jobs driven the way the reconfiguration dialog drives them: one poll
// per idle call of a real modal loop, while the loop keeps answering.
#include "framework/Afx.h"
#include "reconfig/cfg_read_job.h"
#include "reconfig/cfg_write_job.h"
#include "resources/reconfig_ids.h"
#include "tests/reconfig/device_peer.h"
#include "tests/reconfig/cfg_test_ids.h"
#include <gtest/gtest.h>
#include <atomic>
#include <thread>

namespace {
class CJobLoopDlg : public CDialog {
public:
    CJobLoopDlg(CCfgTarget* t, HINTERNET s, std::wstring backup, std::wstring upload)
        : CDialog(IDD_JOB_LOOP), m_target(t), m_session(s), m_backup(backup), m_upload(upload) {}
    LRESULT OnKickIdle(WPARAM, LPARAM) override {
        ++m_idleCalls;
        if (m_step == 0) {
            m_read = CCfgReadJob(CFG_KIND_JSON, 0, m_target, m_session, m_backup.c_str());
            m_step = 1;
        }
        if (m_step == 1) {
            CCfgReadJob::RunOnce(m_read, FALSE);
            if (m_read.GetState() == CFG_READ_ENDED) {
                m_write = CCfgWriteJob(0, m_target, m_session);
                m_write.Setup(CFG_KIND_JSON, m_upload.c_str(), 0);
                m_step = m_read.GetSuccess() ? 2 : 3;
            }
        } else if (m_step == 2) {
            CCfgWriteJob::RunOnce(m_write);
            if (m_write.GetState() == CFG_WRITE_ENDED) m_step = 3;
        }
        if (m_step == 3) {
            EndDialog(IDOK);
            return 0;
        }
        return 1;
    }
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_APP) {
            ++m_answered;
            return 7;
        }
        return CDialog::WindowProc(msg, wp, lp);
    }
    CCfgTarget* m_target;
    HINTERNET m_session;
    std::wstring m_backup, m_upload;
    int m_step = 0;
    int m_idleCalls = 0;
    std::atomic<int> m_answered{0};
    CCfgReadJob m_read;
    CCfgWriteJob m_write;
};

TEST(CfgJobIdleLoop, DownloadAndUploadFromTheModalLoopsIdleCalls) {
    DevicePeer& dev = DevicePeer::Get();
    ASSERT_TRUE(dev.Ready());
    dev.SetMode(R"({"body_size": 200000, "reply": "{\"Sess\":\"s9\",\"UserType\":3}"})");
    OwnedInternet session = OpenAsyncSession();
    CCfgTarget target;
    SetTarget(target, dev.Port("http"));
    target.m_strPassword = L"pw";
    std::wstring dir = TestFolder(L"loop");
    std::wstring upload = dir + L"\\KRV3.tmp";
    std::string file(150000, 'u');
    WriteFileBytes(upload, file);
    size_t before = dev.RequestCount();

    CJobLoopDlg dlg(&target, session.get(), dir + L"\\1765400002.json", upload);
    std::atomic<bool> done{false};
    std::atomic<int> sent{0};
    std::thread pinger([&] {
        // Window messages from another thread while the jobs run.
        HWND h = nullptr;
        while (!done && !(h = FindWindowW(nullptr, L"Job loop"))) Sleep(5);
        while (!done && h) {
            DWORD_PTR r = 0;
            if (SendMessageTimeoutW(h, WM_APP, 0, 0, SMTO_NORMAL, 5000, &r) && r == 7) ++sent;
            Sleep(5);
        }
    });
    INT_PTR result = dlg.DoModal();
    done = true;
    pinger.join();
    EXPECT_EQ(IDOK, result);
    EXPECT_TRUE(dlg.m_read.GetSuccess());
    EXPECT_EQ(200000u, dlg.m_read.GetBytesReceived());
    EXPECT_EQ(ReadFileBytes(dir + L"\\1765400002.json").size(), 200000u);
    EXPECT_TRUE(dlg.m_write.GetSuccess());
    EXPECT_EQ((UINT)IDS_JOB_ACCEPTED, dlg.m_write.GetMessageId());
    EXPECT_EQ(L"s9", std::wstring(dlg.m_write.GetSessionId()));
    EXPECT_EQ(before + 2, dev.RequestCount());
    std::string raw = dev.Request(before + 2);
    EXPECT_NE(std::string::npos, raw.find(file));
    EXPECT_GT(dlg.m_idleCalls, 1);
    EXPECT_EQ(sent.load(), dlg.m_answered.load());
    EXPECT_EQ(L"Konfigurationsdaten akzeptiert, kein Neustart erforderlich.",
              MessageText(dlg.m_write.GetMessageId(), dlg.m_write.GetArgument()));
}
}  // namespace
