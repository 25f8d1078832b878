// CRadioDeviceDlg: an EnOcean radio module (kind 5): its module type, the
// transceiver that receives it, its radio ID (for a virtual module an offset
// from the transceiver's base ID), its OPC name and the scaling of an analog
// sensor's three values. Listening to the transceiver's radio traffic lists
// every module ID heard with its telegram count.
#pragma once
#include "devices/device_dialog.h"
#include "devices/esp2.h"
#include <commctrl.h>
#include <cstdint>

class CRadioDeviceDlg : public CDeviceDialog {
public:
    CRadioDeviceDlg();
    ~CRadioDeviceDlg();
    CDeviceCfg* m_pTransceivers = nullptr;   // chain head, linked by NextTransceiver

    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void UpdateControls();
    void OnListen();
    bool OpenListenSocket();
    void OnOffsetChange();
    void OnTransceiverSelChange();
    LRESULT OnIdListItemChanged(NMLISTVIEW* nm);
    LRESULT OnIdListSetFocus(NMHDR* nm);
    void OnNeutral();
    void OnThermokon();
    SOCKET ListenSocket() const { return m_listen; }

private:
    void CloseListenSocket();
    void OnSocketEvent(LPARAM lp);
    void CountModule(uint32_t id);
    CDeviceCfg* m_pSelected = nullptr;
    SOCKET m_listen = INVALID_SOCKET;
    uint8_t m_telegram[kEsp2Size] = {};
    int m_count = 0;
    // The ID as opened, kept while the user changes neither offset,
    // transceiver nor ID field.
    bool m_idTouched = false;
    bool m_filling = false;
    uint32_t m_openedId = 0;
};
