// Modal dialogs: ids from a header, controls read and written by id, control
// objects bound with DDX_Control, notifications in a table. The shape to copy
// (CTimingDlg in editor/timing_dlg.* is the model):
//
//     // my_dlg.h                              (ids from resources/my_ids.h)
//     class CMyDlg : public CDialog {
//     public:
//         CMyDlg() : CDialog(IDD_MY) {}
//         CDeviceCfg* m_pDev = nullptr;       // handed over before DoModal
//         BOOL OnInitDialog() override;
//         void OnOK() override;
//         void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_MY_HOST, m_host); }
//         BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
//         void OnHostChosen();
//         CComboBox m_host;
//     };
//     // my_dlg.cpp
//     BOOL CMyDlg::OnInitDialog() {
//         CDialog::OnInitDialog();                // binds m_host
//         SetDlgItemText(IDC_MY_NAME, m_pDev->OpcName);
//         SetDlgItemUnsigned(IDC_MY_PORT, m_pDev->Port);
//         SetDlgItemCheck(IDC_MY_SECURE, m_pDev->Secure != 0);
//         return TRUE;
//     }
//     void CMyDlg::OnOK() {
//         GetDlgItemText(IDC_MY_NAME, m_pDev->OpcName);
//         UINT port; if (GetDlgItemUnsigned(IDC_MY_PORT, port)) m_pDev->Port = port;
//         m_pDev->Secure = GetDlgItemCheck(IDC_MY_SECURE);
//         CDialog::OnOK();                        // ends with IDOK
//     }
//     BOOL CMyDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
//         using R = CtrlEntry<CMyDlg>;
//         static constexpr R map[] = {
//             R::Command<&CMyDlg::OnHostChosen>(CBN_SELCHANGE, IDC_MY_HOST),
//         };
//         return DispatchControls(this, map, code, id, nm, result) || CDialog::OnControlMap(code, id, nm, result);
//     }
//     CMyDlg dlg; dlg.m_pDev = dev; if (dlg.DoModal() == IDOK) ...
//
// Every dialog (modal or not) that OnInitDialog does not move is centred
// over its owner, or on the work area without a shown owner.
//
// DoModal runs the framework's message loop (MessageLoop.h): it disables the
// owner (KrvModalOwner of the parent, else of the main window: the dialog
// running there, never a balloon note's popup) and enables it again at the
// end, and while no message waits it sends WM_KICKIDLE (wParam
// MSGF_DIALOGBOX, lParam the idle count) to the dialog as long as OnKickIdle
// answers non-zero (kIdleAgainAtOnce: without the loop's pause between
// calls, for a handler that waits by itself). An exception in a handler ends only that handler. A
// dialog object may run more than once; its bound controls follow each run's
// windows. Create makes a modeless dialog (tests use it the same way).
// While this thread answers during work off it (Answering.h), DoModal opens
// nothing and returns IDCANCEL.
#pragma once
#include "framework/Wnd.h"
#include "framework/Controls.h"

// Binding of control objects (DDX_Control); values are read and written by id.
class CDataExchange {
public:
    CDataExchange(CWnd* dlg, BOOL save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
    HWND PrepareCtrl(int id);
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
    HWND m_hWndLastControl = nullptr;
};

// Binds the dialog's control id to ctrl (subclassing it), so that the
// control's notifications reach ctrl's OnCommandReflect/OnNotifyReflect.
void DDX_Control(CDataExchange* dx, int id, CWnd& ctrl);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
    // IDOK, IDCANCEL or the EndDialog result; -1 when the template cannot be created.
    virtual INT_PTR DoModal();
    // Modeless: the dialog lives until DestroyWindow.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(int result);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* dx) {}
    BOOL UpdateData(BOOL save = TRUE);
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
    void NextDlgCtrl() const { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, 0); }
    void GotoDlgCtrl(HWND ctrl) { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, (WPARAM)ctrl, TRUE); }
    // EnableDlgItem for a control that may have the focus: a control being
    // disabled passes the focus on first, so that the keyboard keeps working.
    void EnableDlgItemSafe(int id, BOOL on);
    BOOL IsModal() const { return m_bModal; }
    // Whether EndDialog was called in this run, and with what.
    BOOL IsEnded() const { return m_bEnded; }
    int GetResult() const { return m_nResult; }
    UINT GetTemplateId() const { return m_nIDTemplate; }
    UINT m_nIDHelp = 0;

    static INT_PTR CALLBACK StdDlgProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);

protected:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    int m_nResult = -1;
    BOOL m_bModal = FALSE;
    BOOL m_bEnded = FALSE;
};
