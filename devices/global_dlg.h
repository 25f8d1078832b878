// CGlobalDeviceDlg: the OPC server's global options (type -1 record): when
// the server releases its I/O devices (watchdog, last client gone) and how
// fast it may update at most.
#pragma once
#include "devices/device_dialog.h"
#include "devices/dlg_values.h"

class CGlobalDeviceDlg : public CDeviceDialog {
public:
    CGlobalDeviceDlg();
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
    void UpdateControls();
    void OnStandard();
};
