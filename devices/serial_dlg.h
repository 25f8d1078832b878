// CSerialDeviceDlg: a serial device server (types 2 and 3): network access,
// the serial line parameters ("9600,n,8,1,h"), the rules that complete,
// filter and extend texts ("end=..;drop=..;add=..;") and the handshake lines
// as digital I/O (type 3).
#pragma once
#include "devices/device_dialog.h"
#include "devices/dlg_values.h"

struct CSerialLine {
    unsigned baud = 0;       // 0: none given
    int dataBitsIndex = 3;   // 5..8 data bits as 0..3
    int stopBitsIndex = 0;   // 1, 2
    int parityIndex = 0;     // keine, ungerade, gerade
    int handshakeIndex = 0;  // aus, Software, Hardware
};
CSerialLine ParseSerialParam(const wchar_t* text);
// A selection of none (-1) takes the default: parity none, 8 data bits, 1 stop bit, no handshake.
CString ComposeSerialParam(const CSerialLine& line);

// The value behind key ("end=", "drop=", "add=") up to its ";"; empty when
// the key, a value or the ";" is missing.
CString SerialFilterValue(const wchar_t* filter, const wchar_t* key);

class CSerialDeviceDlg : public CDeviceDialog {
public:
    CSerialDeviceDlg();
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
    void UpdateControls();
    void OnHandshakeLinesAsIo();
    void OnHandshakeSelChange();
};
