// Reconfiguration of a web-based I/O device for the OPC server: download its
// own configuration into a dated backup beside the active configuration,
// patch a copy, upload the copy, and close the web session a 4.0 device
// leaves open after accepting it.
//
//   CXmlCfgDlg dlg(&ioDialogSession, nullptr);
//   dlg.m_target.m_dwAddress = addr; dlg.m_target.m_wHttpPort = 80; ...
//   dlg.m_wBinaryPort = 49153; dlg.m_bV4 = TRUE;
//   dlg.DoModal();
//   dlg.DeleteTempFile();
// The jobs run from the modal loop's idle calls (one poll per WM_KICKIDLE);
// the dialog has no thread of its own.
#pragma once
#include "framework/Dialog.h"
#include "framework/Inet.h"
#include "reconfig/cfg_read_job.h"
#include "reconfig/cfg_write_job.h"
#include "reconfig/json_patch.h"

class CXmlCfgDlg : public CDialog {
public:
    CXmlCfgDlg(CInternetSession* session, CWnd* parent);
    ~CXmlCfgDlg() override;

    CCfgTarget m_target;
    WORD m_wBinaryPort = 0;
    BOOL m_bPasswordLogin = TRUE;
    BOOL m_bSubscribe = FALSE;
    BOOL m_bV4 = FALSE;
    CString m_strBackupPath;
    CString m_strTempPath;
    OwnedHandle m_tempGuard;  // keeps m_strTempPath from other programs' clean-up

    // Step: 0 not started, 1 read, 2 patch, 3 write, 4 finished.
    int GetStep() const { return m_nStep; }
    // Whether a dialog of this process is uploading: an end of the session
    // then would leave the device with part of a configuration.
    static bool IsUploading();
    // 1 first call due, 2 job running, 0 next step due, -1 before the first Start.
    int GetSubState() const { return m_nSubState; }
    // Removes the temporary upload file; the backup stays.
    void DeleteTempFile();

    // One idle call: 1 while there is work to poll, 0 when there is none.
    int RunStep();
    // The patches of step 2: nonzero to upload the destination, 0 to stop
    // (the reason is in the status line, or the user declined).
    int PatchJsonConfig(const wchar_t* src, const wchar_t* dst, int port, BOOL subscribe);
    int PatchXmlConfig(const wchar_t* src, const wchar_t* dst, int port, BOOL passwordLogin);
    // Closes the device's web session; a failure is shown in a box.
    void Logout(const wchar_t* sessionId);
    // Builds the logout form body: at most 255 bytes, one byte per character.
    static std::string LogoutBody(const wchar_t* sessionId);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnCancel() override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
    void OnTimer(UINT_PTR id) override;

    void OnStart();
    void OnHelp();
    void ReadStep();
    void WriteStep();

private:
    int ReportPatch(const CPatchResult& r);
    // Whether the download that succeeded came as long as the device said.
    bool DownloadLengthAnnounced() const;
    void ShowStatus(UINT id, const CString& arg = CString());

    CInternetSession* m_pSession;
    OwnedInternet m_hInternet;
    CCfgReadJob m_readJob;
    CCfgWriteJob m_writeJob;
    int m_nStep = 0;
    int m_nSubState = -1;
    BOOL m_bCancelled = FALSE;
    BOOL m_bWriting = FALSE;
    void SetWriting(BOOL writing);
    BOOL m_bInStep = FALSE;
    // The counters as the bars last showed them: WinINet's threads move
    // them between two idle calls too, not only while a job is polled.
    DWORD m_dwShownLength = 0;
    DWORD m_dwShownReceived = 0;
    DWORD m_dwShownSent = 0;
    CProgressCtrl m_readBar;
    CProgressCtrl m_writeBar;
};
