// CRfidDeviceDlg: an RFID reader (type 18) reached over TCP: access, direct
// or also buffered events with their poll interval, the reader's clock.
#pragma once
#include "devices/dlg_frame.h"

// Poll interval text (whole seconds, signed) to tenths, clamped so that the
// multiplication cannot overflow.
int RfidIntervalFromSeconds(int seconds);

class CRfidDeviceDlg : public CDeviceFrameDlg {
public:
    CRfidDeviceDlg();
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
    void UpdateControls();
    void OnOptionClicked() { UpdateControls(); }

    CComboBox m_interval;
};
