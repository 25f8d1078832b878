#include "reconfig/xml_cfg_dlg.h"
#include "reconfig/patch_check.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "framework/Seams.h"
#include "framework/MessageLoop.h"
#include "resources/devices_ids.h"
#include "resources/reconfig_ids.h"
#include <ctime>

namespace {

const UINT_PTR kPollTimer = 1;
// While a box of the dialog is open the modal loop sends no idle calls; the
// timer keeps the upload going meanwhile.
const UINT kPollWhileAskingMs = 20;

// Dialogs of this process in their upload; only the user-interface thread
// counts.
int g_uploads = 0;

CString JobText(UINT id, const CString& arg) {
    CString text;
    if (id && text.LoadString(id)) text.Replace(L"%s", arg);
    return text;
}

}  // namespace

CXmlCfgDlg::CXmlCfgDlg(CInternetSession* session, CWnd* parent) : CDialog(IDD_XML_CFG, parent), m_pSession(session) {
    m_hInternet.reset(
        ::InternetOpenW(L"Korvelin Varnel", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC));
}

bool CXmlCfgDlg::IsUploading() { return g_uploads > 0; }

void CXmlCfgDlg::SetWriting(BOOL writing) {
    if (!m_bWriting == !writing) return;
    m_bWriting = writing;
    g_uploads += writing ? 1 : -1;
}

CXmlCfgDlg::~CXmlCfgDlg() {
    SetWriting(FALSE);
    // The jobs go before the root handle their connections hang from.
    m_writeJob.CloseInput();
    m_writeJob.Close();
    m_readJob.Close();
    // Still open only when the download never ended: no backup to keep.
    m_readJob.CloseOutput(TRUE);
    DeleteTempFile();
}

void CXmlCfgDlg::DeleteTempFile() {
    if (m_strTempPath.IsEmpty()) return;
    // The upload may still hold it open; an open file cannot be deleted.
    m_writeJob.CloseInput();
    m_tempGuard.reset();
    ::DeleteFileW(m_strTempPath);
    m_strTempPath.Empty();
}

void CXmlCfgDlg::DoDataExchange(CDataExchange* dx) {
    DDX_Control(dx, IDC_CFG_READ_BAR, m_readBar);
    DDX_Control(dx, IDC_CFG_WRITE_BAR, m_writeBar);
}

BOOL CXmlCfgDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_nSubState = -1;
    m_nStep = 0;
    m_bCancelled = FALSE;
    SetWriting(FALSE);
    if (m_strTempPath.IsEmpty()) {
        // What runs that were killed left behind; a running one's files stay.
        SweepTempFiles(L"KRV");
        SweepTempFiles(L"XnI");
        wchar_t folder[MAX_PATH + 1] = {};
        wchar_t name[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH, folder);
        if (::GetTempFileNameW(folder, L"KRV", 0, name)) {
            m_strTempPath = name;
            m_tempGuard = GuardTempFile(name);
        }
    }
    return TRUE;
}

BOOL CXmlCfgDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using R = CtrlEntry<CXmlCfgDlg>;
    static constexpr R map[] = {
        R::Command<&CXmlCfgDlg::OnStart>(BN_CLICKED, IDC_CFG_START),
        R::Command<&CXmlCfgDlg::OnHelp>(BN_CLICKED, IDC_CFG_HELP),
    };
    return DispatchControls(this, map, code, id, nm, result) || CDialog::OnControlMap(code, id, nm, result);
}

LRESULT CXmlCfgDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    // Every call either polls a job, which waits for the device by itself
    // and gives way to messages, or moves on a step: no pause is needed.
    if (msg == WM_KICKIDLE) return RunStep() ? kIdleAgainAtOnce : 0;
    return CDialog::WindowProc(msg, wp, lp);
}

void CXmlCfgDlg::OnTimer(UINT_PTR id) {
    if (id == kPollTimer) {
        RunStep();
        return;
    }
    CDialog::OnTimer(id);
}

void CXmlCfgDlg::ShowStatus(UINT id, const CString& arg) { SetDlgItemText(IDC_CFG_STATUS, JobText(id, arg)); }

void CXmlCfgDlg::OnStart() {
    const __time64_t now = _time64(nullptr);
    CString name;
    name.Format(m_bV4 ? L"%d.json" : L"%d.xml", (int)(unsigned)(now & 0xFFFFFFFF));
    CString path = theCfgStore.GetActivePath();
    int slash = path.ReverseFind(L'\\');
    m_strBackupPath = slash >= 0 ? path.Left(slash + 1) + name : name;
    SetDlgItemText(IDC_CFG_BACKUP, m_strBackupPath);
    m_nSubState = 0;
    m_nStep = 0;
    EnableDlgItemSafe(IDC_CFG_START, FALSE);
    m_writeBar.SetPos(0);
}

void CXmlCfgDlg::OnHelp() {
    if (CWinApp* app = AfxGetApp()) app->HtmlHelp(HIDD_IO_DEVICE, HH_HELP_CONTEXT);
}

int CXmlCfgDlg::RunStep() {
    // A box shown from within a step pumps messages, the poll timer's too.
    if (m_bInStep) return 1;
    struct InStep {
        BOOL& flag;
        explicit InStep(BOOL& f) : flag(f) { flag = TRUE; }
        ~InStep() { flag = FALSE; }
    } inStep(m_bInStep);

    if (m_nSubState == 0) {
        if (++m_nStep == 4) SetWriting(FALSE);
        m_nSubState = 1;
    }
    switch (m_nStep) {
    case 1: ReadStep(); break;
    case 2:
        if (m_bV4)
            m_nSubState = PatchJsonConfig(m_strBackupPath, m_strTempPath, m_wBinaryPort, m_bSubscribe) ? -1 : -2;
        else
            m_nSubState = PatchXmlConfig(m_strBackupPath, m_strTempPath, m_wBinaryPort, m_bPasswordLogin) ? -1 : -2;
        break;
    case 3: WriteStep(); break;
    default: return 0;
    }
    if (m_nSubState == -1) {
        m_nSubState = 0;
        if (m_nStep == 3) SetDlgItemText(IDCANCEL, GetDlgItemText(IDC_CFG_CLOSE_TEXT));
    } else if (m_nSubState == -2) {
        m_nSubState = 0;
        m_nStep = 3;
        EnableDlgItemSafe(IDC_CFG_START, TRUE);
    }
    return 1;
}

void CXmlCfgDlg::ReadStep() {
    if (m_bCancelled) {
        m_readJob.CloseOutput(TRUE);
        m_readJob.Close();
        return;
    }
    if (m_nSubState == 1) {
        m_readJob = CCfgReadJob(m_bV4 ? CFG_KIND_JSON : CFG_KIND_XML, 0, &m_target, m_hInternet.get(), m_strBackupPath);
        m_readBar.SetRange32(0, 585);
        m_dwShownLength = m_dwShownReceived = 0;
        m_nSubState = 2;
        ShowStatus(IDS_CFG_CONNECTING);
        return;
    }
    const DWORD length = m_dwShownLength;
    const DWORD received = m_dwShownReceived;
    CCfgReadJob::RunOnce(m_readJob, FALSE);
    const DWORD newLength = m_dwShownLength = m_readJob.GetContentLength();
    const DWORD newReceived = m_dwShownReceived = m_readJob.GetBytesReceived();
    if (newLength != length) {
        // A 32-bit range: a 16-bit one wraps for files beyond 8 MB.
        m_readBar.SetRange32(0, (int)(newLength / 256));
        SetDlgItemText(IDC_CFG_STATUS, L"");
    }
    if (newReceived != received) {
        m_readBar.SetPos((int)(newReceived / 256));
        if (received == 0) SetDlgItemText(IDC_CFG_STATUS, L"");
    }
    const int connecting = m_readJob.GetConnectProgress();
    if (connecting > 0) m_readBar.SetPos(connecting);
    if (m_readJob.GetState() != CFG_READ_ENDED) return;
    if (m_readJob.GetSuccess()) {
        m_nSubState = -1;
        SetDlgItemText(IDC_CFG_STATUS, L"");
        int lower = 0, upper = 0;
        m_readBar.GetRange(lower, upper);
        m_readBar.SetPos(upper);
    } else {
        // What came before the failure is no backup: never leave it
        // under a name that looks whole.
        m_readJob.CloseOutput(TRUE);
        ShowStatus(m_readJob.GetMessageId(), m_readJob.GetArgument());
        m_nSubState = -2;
    }
}

void CXmlCfgDlg::WriteStep() {
    if (m_bCancelled) {
        m_writeJob.CloseInput();
        m_writeJob.Close();
        return;
    }
    if (m_nSubState == 1) {
        m_writeJob = CCfgWriteJob(0, &m_target, m_hInternet.get());
        if (!m_writeJob.Setup(m_bV4 ? CFG_KIND_JSON : CFG_KIND_XML, m_strTempPath, 0)) {
            // The copy to upload could not be written whole: nothing goes out.
            m_writeJob.CloseInput();
            m_writeJob.Close();
            ShowStatus(IDS_JOB_OUTPUT_FILE);
            m_nSubState = -2;
            return;
        }
        SetWriting(TRUE);
        m_writeBar.SetRange32(0, (int)(m_writeJob.GetInputSize() / 205));
        m_dwShownSent = 0;
        m_nSubState = 2;
        return;
    }
    const DWORD sent = m_dwShownSent;
    CCfgWriteJob::RunOnce(m_writeJob);
    const DWORD newSent = m_dwShownSent = m_writeJob.GetBytesSent();
    if (newSent != sent) m_writeBar.SetPos((int)(newSent / 256));
    if (m_writeJob.GetState() != CFG_WRITE_ENDED) return;
    m_writeBar.SetPos((int)(newSent / 205));
    m_nSubState = m_writeJob.GetSuccess() ? -1 : -2;
    const UINT id = m_writeJob.GetMessageId();
    ShowStatus(id, m_writeJob.GetArgument());
    m_writeJob.CloseInput();
    if (m_bV4 && id == IDS_JOB_ACCEPTED) {
        CString session = m_writeJob.GetSessionId();
        if (!session.IsEmpty()) Logout(session);
    }
}

void CXmlCfgDlg::OnCancel() {
    if (m_bWriting) {
        ::SetTimer(m_hWnd, kPollTimer, kPollWhileAskingMs, nullptr);
        int answer = AfxMessageBox(IDS_CFG_CANCEL_WRITE, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
        ::KillTimer(m_hWnd, kPollTimer);
        if (answer != IDYES) return;
    }
    m_bCancelled = TRUE;
    RunStep();
    CDialog::OnCancel();
}

int CXmlCfgDlg::ReportPatch(const CPatchResult& r) {
    switch (r.outcome) {
    case kPatchUpload: return 1;
    case kPatchAskPartial: return AfxMessageBox(IDS_CFG_PARTIAL, MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK ? 1 : 0;
    default: ShowStatus((UINT)r.outcome); return 0;
    }
}

namespace {

// Only a download that ends before its document does, and whose length the
// device did not announce, was cut on the way: it is no backup. Anything
// else is what the device holds, however odd, and stays as its backup even
// when it cannot be patched.
CPatchResult PatchWholeDownload(PatchKind kind, const wchar_t* src, const wchar_t* dst, int port, bool flag,
                                bool lengthAnnounced) {
    DocumentShape shape = kShapeWhole;
    CPatchResult r = PatchChecked(kind, src, dst, port, flag, &shape);
    if (shape == kShapeCut && !lengthAnnounced) ::DeleteFileW(src);
    return r;
}

}  // namespace

bool CXmlCfgDlg::DownloadLengthAnnounced() const {
    const DWORD length = m_readJob.GetContentLength();
    return length != 0 && m_readJob.GetBytesReceived() == length;
}

int CXmlCfgDlg::PatchJsonConfig(const wchar_t* src, const wchar_t* dst, int port, BOOL subscribe) {
    return ReportPatch(PatchWholeDownload(kPatchJson, src, dst, port, subscribe != FALSE, DownloadLengthAnnounced()));
}

int CXmlCfgDlg::PatchXmlConfig(const wchar_t* src, const wchar_t* dst, int port, BOOL passwordLogin) {
    return ReportPatch(
        PatchWholeDownload(kPatchXml, src, dst, port, passwordLogin != FALSE, DownloadLengthAnnounced()));
}
