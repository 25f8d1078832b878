// The one dialog of Tolvane and Brackwell: the state of a Windows service,
// polled every 500 ms, with Start and Stop. Brackwell's build
// (KRV_TRACE_SETTINGS) adds the grid of the OPC server's trace settings.
#pragma once
#include "svctools/SimpleDlg.h"
#include "svctools/Service.h"

class CControlDlg : public CDialog {
public:
    enum { PollTimerId = 0xA527, PollPeriod = 500 };

    explicit CControlDlg(const wchar_t* serviceName);
    ~CControlDlg() override;

    BOOL OnInitDialog() override;
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
    void OnStart();
    void OnStop();
    void OnSysCommand(UINT command, int x, int y) override;
    INT_PTR OnTimer(UINT_PTR id) override;

    void UpdateStatus();
    void ShowLastError();
#ifdef KRV_TRACE_SETTINGS
    void LoadTraceSettings();
    void SaveTraceSettings();
#endif

    CService m_service;
    int m_lastState;

private:
    void EnableButton(int id, bool enable);
};

// The text shown for a service state; empty for unknown states.
const wchar_t* ServiceStateText(DWORD state);

// The entry of both tools: the service named by the command line, the
// dialog run modally; always 0.
int RunServiceTool(const wchar_t* cmdLine);
