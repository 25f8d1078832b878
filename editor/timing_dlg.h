// CTimingDlg: the lower and upper bound of the time between read accesses
// for every device selected in the list at once. "~" leaves each device's
// value as it is; the upper bound stays at least 2 s above the lower.
#pragma once
#include "framework/Dialog.h"

class CTamselView;

class CTimingDlg : public CDialog {
public:
    explicit CTimingDlg(CTamselView* view);
    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(CDataExchange* dx) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
    void OnLowerEdited();
    void OnLowerChosen();
    // Raises the upper field when it is closer than 2 s to this lower text.
    void EnforceUpperBound(const wchar_t* lowerText);

    CTamselView* m_pView;
    CComboBox m_lower;
};

// Runs the dialog on the view's selection (the seam of the view's command).
INT_PTR RunTimingDialogOnView(CWnd* view);

namespace timingid {
constexpr UINT Dialog = 137, Lower = 1356, Upper = 1357, StrDevices = 258, HelpContext = 109;
constexpr int MinDistance = 20;   // tenths
}
