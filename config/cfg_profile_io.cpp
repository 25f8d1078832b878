// Per-key access to the configuration file through the private-profile
// functions. Everything that touches the file key by key lives here, so a
// faster reader/writer can replace this file without touching the rest.
#include "config/device_cfg.h"
#include <cwchar>
#include <cstdlib>
#include <vector>

bool CCfgStore::CreateEmptyFile(const wchar_t* path) {
    lstrcpynW(m_CurrentPath, path ? path : L"", 260);
    HANDLE h = CreateFileW(m_CurrentPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    static const BYTE head[6] = {0xFF, 0xFE, 0x0D, 0x00, 0x0A, 0x00};
    DWORD written = 0;
    BOOL ok = WriteFile(h, head, sizeof head, &written, nullptr) && written == sizeof head;
    DWORD err = ok ? 0 : GetLastError();
    if (!CloseHandle(h) && ok) { ok = FALSE; err = GetLastError(); }
    if (!ok) SetLastError(err);
    return ok != FALSE;
}

void CCfgStore::SetSection(const wchar_t* name) {
    lstrcpynW(m_Section, name ? name : L"", 128);
}

int CCfgStore::ReadHex(const wchar_t* key, int def) {
    wchar_t buf[20];
    buf[0] = 0;
    GetPrivateProfileStringW(m_Section, key, L"", buf, 20, m_CurrentPath);
    buf[19] = 0;
    if (!buf[0]) return def;
    return (int)wcstoul(buf, nullptr, 16);
}

// Grows the buffer until the value fits: a long item-name string must not
// be cut and then refilled with defaults.
bool CCfgStore::ReadString(const wchar_t* key, CString& out) {
    std::vector<wchar_t> buf(1024);
    for (;;) {
        buf[0] = 0;
        DWORD n = GetPrivateProfileStringW(m_Section, key, L"", buf.data(), (DWORD)buf.size(), m_CurrentPath);
        if (n + 1 < buf.size() || buf.size() >= (1u << 24)) {
            if (n >= buf.size()) n = (DWORD)buf.size() - 1;
            if (n == 0) return false;
            out = CString(buf.data(), (int)n);
            return true;
        }
        buf.assign(buf.size() * 4, 0);
    }
}

bool CCfgStore::ReadSectionNames(CString& names) {
    std::vector<wchar_t> buf(65536);
    for (;;) {
        buf[0] = buf[1] = 0;
        DWORD n = GetPrivateProfileSectionNamesW(buf.data(), (DWORD)buf.size(), m_CurrentPath);
        if (n + 2 < buf.size() || buf.size() >= (1u << 24)) {
            if (n >= buf.size()) n = (DWORD)buf.size() - 1;
            names = CString(buf.data(), (int)n);
            return n > 0;
        }
        buf.assign(buf.size() * 4, 0);
    }
}

bool CCfgStore::WriteHex(const wchar_t* key, int value) {
    wchar_t buf[20];
    wsprintfW(buf, L"%lx", (unsigned long)(unsigned int)value);
    return WriteString(key, buf);
}

bool CCfgStore::WriteString(const wchar_t* key, const wchar_t* text) {
    if (WritePrivateProfileStringW(m_Section, key, text ? text : L"", m_CurrentPath)) return true;
    NoteWriteFailure(GetLastError());
    return false;
}
