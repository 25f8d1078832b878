// The frame the device dialogs share: the record handed over before the
// modal run, the icon out of the dialog strip (bitmap 134), F1 to the
// dialog's help topic, the combo lists of the template, and the readers of
// typed numbers that every dialog uses.
//
//     class CMyDlg : public CDeviceFrameDlg {
//     public:
//         CMyDlg() : CDeviceFrameDlg(IDD_MY, kIconIndex, kHelpContext) {}
//         BOOL OnInitDialog() override { CDeviceFrameDlg::OnInitDialog(); ...fill...; return TRUE; }
//         void OnOK() override { ...write m_pDevice...; CDialog::OnOK(); }
//     };
//     CMyDlg dlg; dlg.m_pDevice = rec; if (dlg.DoModal() == IDOK) ...
// Nothing touches the record before OnOK.
#pragma once
#include "framework/Dialog.h"

class CDeviceCfg;

// Icon `index` of the dialog strip; the caller destroys it.
HICON LoadDeviceDlgIcon(int index);

// Fills the combo boxes of a created dialog from the initial lists that its
// template carries (resource type 240); combos that already hold entries
// are left alone.
void FillTemplateCombos(HWND dlg, UINT templateId);

// Seconds typed by the user, as the C library reads them, in tenths: cut
// toward zero, or rounded to the nearest tenth. Out-of-range text is clamped
// first: never below 0, at most INT_MAX tenths; "nan" reads 0.
int SecondsTextToTenths(const wchar_t* text, bool rounded);

// The whole text of a dialog item.
CString DlgItemText(HWND dlg, int id);

class CDeviceFrameDlg : public CDialog {
public:
    CDeviceFrameDlg(UINT templateId, int iconIndex, UINT helpContext);
    ~CDeviceFrameDlg() override;
    CDeviceFrameDlg(const CDeviceFrameDlg&) = delete;
    CDeviceFrameDlg& operator=(const CDeviceFrameDlg&) = delete;

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

    CDeviceCfg* m_pDevice = nullptr;   // not owned

protected:
    CString ItemText(int id) const { return DlgItemText(m_hWnd, id); }
    HICON m_hIcon;
    UINT m_nHelpContext;
};
