// CTimingDlg: the lower and upper bound of the time between read accesses
// for every device selected in the list at once. "~" leaves each device's
// value as it is; the upper bound stays at least 2 s above the lower.
#pragma once
#include "framework/Dialog.h"
#include "resources/varnel_ids.h"

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

class CDeviceCfg;
// The dialog's values applied to one device: never negative, no more than
// the file holds (a signed 32-bit count of tenths); a lower bound applied
// raises the upper one to at least MinDistance above it, without overflow.
void ApplyTiming(CDeviceCfg* dev, bool applyLower, int lower, bool applyUpper, int upper);

// Runs the dialog on the view's selection (the seam of the view's command).
INT_PTR RunTimingDialogOnView(CWnd* view);

// The upper bound stays this far above the lower (tenths).
const int kTimingMinDistance = 20;
