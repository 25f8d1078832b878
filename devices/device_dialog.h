// Frame of the device property dialogs: the record handed over before the
// modal run, the dialog's icon from the shared strip, help on F1, and the
// combo boxes' initial lists from the template.
//
//   class CMyDeviceDlg : public CDeviceDialog {
//   public:
//       CMyDeviceDlg() : CDeviceDialog(IDD_MY, kIconIndex, HIDD_MY) {}
//       BOOL OnInitDialog() override { CDeviceDialog::OnInitDialog(); /* fill from m_pDevice */ return TRUE; }
//       void OnOK() override { /* write m_pDevice */ CDeviceDialog::OnOK(); }
//   };
//   CMyDeviceDlg dlg; dlg.m_pDevice = rec; if (dlg.DoModal() == IDOK) ...
// The record is written only in OnOK; Cancel leaves it as handed over.
#pragma once
#include "framework/Dialog.h"
#include "framework/Handle.h"

class CDeviceCfg;

class CDeviceDialog : public CDialog {
public:
    CDeviceDialog(UINT templateId, int iconIndex, DWORD helpContext, CWnd* parent = nullptr);
    CDeviceCfg* m_pDevice = nullptr;  // not owned

protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    HICON Icon() const { return m_icon.get(); }
    // A whole number typed into a field whose range is lo..hi: a number
    // beyond it gives the nearer end, a text that is no whole number
    // ("12x", empty) gives fallback.
    long long FieldNumber(int id, long long lo, long long hi, long long fallback = 0) const;
    // The address fields of the dialogs that reach a device over the
    // network (IDC_DEV_HOST, _PORT, _PASSWORD, _NAME), filled from the
    // record and written back to it; the port field is read in portLo..portHi
    // and kept in 16 bits.
    void ShowAddress();
    void TakeAddress(long long portLo, long long portHi);

private:
    void FillInitialLists();
    OwnedIcon m_icon;
    DWORD m_helpContext;
};

// Icon of the given index in the dialog icon strip (the caller owns it).
HICON LoadDeviceDialogIcon(int index);
