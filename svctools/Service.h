// One Windows service as the tools control it. The manager and the service
// are opened on first need and kept open; a failed open is tried again by
// the next operation. The handles are closed once, by Close() or the
// destructor.
#pragma once
#include <windows.h>

class CService {
public:
    explicit CService(const wchar_t* name);
    ~CService();
    CService(const CService&) = delete;
    CService& operator=(const CService&) = delete;

    // Both handles open; FALSE leaves the failing call's last error.
    BOOL Open();
    BOOL Start();
    // SERVICE_CONTROL_STOP; the returned status goes into m_status.
    BOOL Stop();
    // The current state, 0 when it cannot be read.
    DWORD QueryState();
    // The display name, or the name when the configuration cannot be read.
    const wchar_t* GetDisplayName();
    void Close();

    SERVICE_STATUS m_status;
    SC_HANDLE m_hManager;
    SC_HANDLE m_hService;
    wchar_t m_name[80];
    wchar_t m_displayName[200];
};

// The service name from the tools' command line: verbatim, cut to 79
// characters; "Ostrel" when the line is empty.
void ServiceNameFromCommandLine(const wchar_t* cmdLine, wchar_t (&name)[80]);
