// CRfidDeviceDlg: an RFID reader (type 18) reached over TCP: access, direct
// or also buffered events with their poll interval, the reader's clock.
#pragma once
#include "devices/device_dialog.h"
#include "devices/dlg_values.h"

// Poll interval text (whole seconds, signed) to tenths, clamped so that the
// multiplication cannot overflow.
int RfidIntervalFromSeconds(int seconds);

class CRfidDeviceDlg : public CDeviceDialog {
public:
    CRfidDeviceDlg();
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
    void UpdateControls();
    void OnOptionClicked() { UpdateControls(); }

    CComboBox m_interval;
};
