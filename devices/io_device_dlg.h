// Property dialog of a network I/O device: address, type, ports, password
// and login options of the record; the devices that answer the discovery
// broadcast fill the host list; Identify probes the typed address.
// The dialog is io_device_dlg.cpp, the discovery io_discovery.cpp, the
// identification io_identify.cpp.
//
//   CIoDeviceDlg dlg;
//   dlg.m_pDevice = rec; dlg.m_bNewDevice = isNew;
//   if (dlg.DoModal() == IDOK) ...   // only then was rec written
#pragma once
#include "devices/device_dialog.h"
#include "devices/device_reply.h"
#include "framework/Inet.h"
#include <winsock2.h>
#include <iphlpapi.h>
#include <map>
#include <memory>
#include <vector>

struct CDiscoveryReceiver;

class CIoDeviceDlg : public CDeviceDialog {
public:
    explicit CIoDeviceDlg(CWnd* parent = nullptr);
    ~CIoDeviceDlg() override;

    int m_bNewDevice = 0;

    // Type index of the type list for a record's type and counts (-1: none).
    static int TypeIndexOf(int deviceType, int inputs, int outputs);
    // What OK writes for a type index; false for an index without an entry.
    static bool TypeOfIndex(int index, int& deviceType, int& inputs, int& outputs);
    // A discovery answer of len bytes (the receive buffer holds 322) read into reply.
    static void ParseReply(const unsigned char* data, int len, CDeviceReply& reply);
    // Article number given to an answer of a kind we do not know.
    static const int kUnknownKindArticle = 52000;
    // Receive buffer asked for the discovery socket: a plant's burst of
    // replies waits there while the receiving thread is not scheduled.
    static const int kDiscoveryBuffer = 1 << 22;

    BOOL SendBinaryStruct(SOCKET s, uint16_t type, const void* data, int n);
    void ApplyReply(const CDeviceReply& reply);
    void UpdateControls();

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
    void OnTimer(UINT_PTR id) override;

    void OnIdentify();
    void IdentifyViaHttp();
    void OnBrowser();
    void OnTypeSelChange();
    void OnConfigure();
    void OnV4();
    void OnHttps();
    void OnForceReconnect();
    void OnHostSelChange();
    void OnHostEditChange();

private:
    void CloseDropDown();
    void StartDiscovery();
    void StopDiscovery();
    void OnDiscoveryReply();
    bool ListReplies();
    bool TakeReplies();
    bool OnReplyFrom(HWND box, in_addr sender, const unsigned char* data, int len, u_long typed,
                     CDeviceReply& directed);
    u_long TypedAddress() const;
    void SendQuery(u_long addr);
    unsigned ItemNumber(int id) const;
    void SetV4(bool on);

    DWORD m_dropDownDue = 0;                         // tick count when the new device's list closes; 0: closed
    std::shared_ptr<CDiscoveryReceiver> m_receiver;  // the socket and its thread's hand-over
    OwnedHandle m_receiveThread;
    bool m_discoveryTimer = false;         // the timer takes the replies
    int m_idleTicks = 0;                   // of the timer, in a row without a reply
    std::vector<unsigned char> m_pending;  // datagrams handed over, not yet listed
    size_t m_pendingAt = 0;
    int m_bListMode = 0;
    int m_bV4 = 0;  // what OK writes to BinaryLogin
    std::vector<std::unique_ptr<CDeviceReply>> m_replies;
    std::map<u_long, CDeviceReply*> m_listed;  // the host box's entries by address
    CInternetSession m_session;
};

// Up to max local IPv4 addresses (not 0.0.0.0 or 127.0.0.1) with their
// directed broadcast address in the broadcast field; the number filled.
int GetBroadcastAddresses(MIB_IPADDRROW* rows, int max);
