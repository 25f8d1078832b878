// Modal dialogs with data exchange.
//
//     class CMyDlg : public CDialog {
//     public:
//         CMyDlg(CWnd* parent = nullptr) : CDialog(IDD_MY, parent) {}
//         int m_count = 0; CString m_name;
//         void DoDataExchange(CDataExchange* dx) override {
//             DDX_Text(dx, IDC_COUNT, m_count); DDX_Text(dx, IDC_NAME, m_name);
//         }
//     };
//     CMyDlg dlg; if (dlg.DoModal() == IDOK) ...
// DoModal runs its own loop: it disables the owner (the parent's top-level
// window, else the main window), and while no message waits it sends
// WM_KICKIDLE (wParam MSGF_DIALOGBOX, lParam the idle count) until the
// dialog answers 0. OnInitDialog fills the controls (UpdateData(FALSE)),
// OnOK reads them back (UpdateData(TRUE)) and closes only when that succeeds.
// A failing DDX_ shows its message, focuses the control and keeps the dialog.
#pragma once
#include "framework/Wnd.h"

class CDialog;

class CDataExchange {
public:
    CDataExchange(CWnd* dlg, BOOL save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // Shows nothing itself; ends the exchange (UpdateData returns FALSE).
    [[noreturn]] void Fail();
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
    HWND m_hWndLastControl = nullptr;
    BOOL m_bEditLastControl = FALSE;
};

void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, UINT& value);
void DDX_Text(CDataExchange* dx, int id, long& value);
void DDX_Text(CDataExchange* dx, int id, DWORD& value);
void DDX_Text(CDataExchange* dx, int id, double& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
// The radio group that starts at id: the index of the checked button, -1 none.
void DDX_Radio(CDataExchange* dx, int id, int& value);
void DDX_CBIndex(CDataExchange* dx, int id, int& value);
void DDX_CBString(CDataExchange* dx, int id, CString& value);
void DDX_LBIndex(CDataExchange* dx, int id, int& value);
void DDV_MaxChars(CDataExchange* dx, const CString& value, int maxChars);
void DDV_MinMaxInt(CDataExchange* dx, int value, int minVal, int maxVal);
void DDV_MinMaxUInt(CDataExchange* dx, UINT value, UINT minVal, UINT maxVal);

// Non-owning helpers over a combo box of a dialog (bound by DDX_Control).
class CComboBox : public CWnd {
public:
    int AddString(const wchar_t* s) { return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)s); }
    int GetCount() const { return (int)SendMessage(CB_GETCOUNT); }
    int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL); }
    int SetCurSel(int i) { return (int)SendMessage(CB_SETCURSEL, (WPARAM)i); }
    void GetLBText(int i, CString& out) const;
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
};

// Binds a control of the dialog to a window object (once; no subclassing).
void DDX_Control(CDataExchange* dx, int id, CWnd& ctrl);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
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
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void NextDlgCtrl() const { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, 0); }
    void GotoDlgCtrl(HWND ctrl) { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, (WPARAM)ctrl, TRUE); }
    BOOL IsModal() const { return m_bModal; }
    UINT m_nIDHelp = 0;

    static INT_PTR CALLBACK StdDlgProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);

protected:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    int m_nResult = -1;
    BOOL m_bModal = FALSE;
    BOOL m_bEnded = FALSE;
};
