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
#include <memory>
#include <unordered_map>
#include <vector>

class CRadioDeviceDlg : public CDeviceDialog {
public:
    CRadioDeviceDlg();
    ~CRadioDeviceDlg();
    CDeviceCfg* m_pTransceivers = nullptr;  // chain head, linked by NextTransceiver

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
    void OnTimer(UINT_PTR id) override;
    void TakeTelegrams();
    bool ReceiveBatch();
    void CountModule(uint32_t id);
    void ShowCounts();
    void ClearCounts();
    struct Module {
        uint32_t id;
        int count;
        int row;       // -1 until listed
        bool changed;  // since the list last showed it
    };
    std::vector<Module> m_modules;  // in the order of first reception
    std::unordered_map<uint32_t, size_t> m_moduleIndex;
    std::vector<size_t> m_changed;
    std::unique_ptr<uint8_t[]> m_chunk;  // one receive's bytes
    bool m_resting = false;              // notifications off, the timer takes the bytes
    bool m_ended = false;                // the transceiver closed the connection
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
