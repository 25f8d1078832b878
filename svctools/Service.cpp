#include "svctools/Service.h"
#include <cwchar>
#include <vector>

namespace {
void CopyCut(wchar_t* to, size_t size, const wchar_t* from) {
    size_t n = wcslen(from);
    if (n > size - 1) n = size - 1;
    wmemcpy(to, from, n);
    to[n] = 0;
}
}  // namespace

void ServiceNameFromCommandLine(const wchar_t* cmdLine, wchar_t (&name)[80]) {
    CopyCut(name, 80, cmdLine && *cmdLine ? cmdLine : L"Ostrel");
}

CService::CService(const wchar_t* name)
    : m_status(), m_hManager(nullptr), m_hService(nullptr), m_name(), m_displayName() {
    CopyCut(m_name, 80, name ? name : L"");
}

CService::~CService() { Close(); }

void CService::Close() {
    if (m_hService) {
        CloseServiceHandle(m_hService);
        m_hService = nullptr;
    }
    if (m_hManager) {
        CloseServiceHandle(m_hManager);
        m_hManager = nullptr;
    }
}

BOOL CService::Open() {
    if (!m_hManager) {
        m_hManager = OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ALL_ACCESS);
        if (!m_hManager) return FALSE;
    }
    if (!m_hService) {
        m_hService = OpenServiceW(m_hManager, m_name, SERVICE_ALL_ACCESS);
        if (!m_hService) return FALSE;
    }
    return TRUE;
}

BOOL CService::Start() {
    if (!Open()) return FALSE;
    return StartServiceW(m_hService, 0, nullptr);
}

BOOL CService::Stop() {
    if (!Open()) return FALSE;
    return ControlService(m_hService, SERVICE_CONTROL_STOP, &m_status);
}

DWORD CService::QueryState() {
    if (!Open() || !QueryServiceStatus(m_hService, &m_status)) return 0;
    return m_status.dwCurrentState;
}

const wchar_t* CService::GetDisplayName() {
    if (!Open()) return m_name;
    DWORD needed = 0;
    if (QueryServiceConfigW(m_hService, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
        needed == 0)
        return m_name;
    std::vector<BYTE> buffer(needed);
    QUERY_SERVICE_CONFIGW* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(m_hService, config, needed, &needed) || !config->lpDisplayName) return m_name;
    CopyCut(m_displayName, 200, config->lpDisplayName);
    return m_displayName;
}
