// CTrcvDeviceDlg: an EnOcean radio transceiver (type 8): network access, OPC
// name and base ID, which a button asks the transceiver for over TCP.
#pragma once
#include "devices/device_dialog.h"
#include <cstdint>

// The unsigned hexadecimal number a text starts with, as strtoul with base
// 16 reads it (blanks and "0x" first; none: 0; beyond 32 bits: FFFFFFFF).
uint32_t HexTextToId(const wchar_t* text);

class CTrcvDeviceDlg : public CDeviceDialog {
public:
    CTrcvDeviceDlg();
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
    void OnDetermineBaseId();
};
