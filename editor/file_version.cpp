// Version resources and the registered server's version.
#include "editor/file_version.h"
#include "framework/Handle.h"
#include <cwchar>
#include <cstring>

void CFileVersionInfo::Free() {
    delete[] m_data;
    m_data = nullptr;
}

BOOL CFileVersionInfo::Load(const wchar_t* path) {
    Free();
    m_codePage = 1252;
    memset(&m_fixed, 0, sizeof m_fixed);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return FALSE;
    m_data = new BYTE[size];
    if (!GetFileVersionInfoW(path, 0, size, m_data)) {
        Free();
        return FALSE;
    }
    void* p = nullptr;
    UINT n = 0;
    if (!VerQueryValueW(m_data, L"\\", &p, &n) || !p || n < sizeof m_fixed) return FALSE;
    memcpy(&m_fixed, p, sizeof m_fixed);
    if (VerQueryValueW(m_data, L"\\VarFileInfo\\Translation", &p, &n) && p && n >= 4) {
        const WORD* t = (const WORD*)p;
        m_language = t[0];
        m_codePage = t[1];
    }
    return m_fixed.dwSignature == VS_FFI_SIGNATURE;
}

const wchar_t* CFileVersionInfo::QueryString(const wchar_t* name) const {
    if (!m_data) return nullptr;
    wchar_t key[80];
    _snwprintf(key, 80, L"\\StringFileInfo\\%04x%04x\\%ls", m_language, m_codePage, name);
    key[79] = 0;
    void* p = nullptr;
    UINT n = 0;
    if (!VerQueryValueW(m_data, key, &p, &n) || !p) return nullptr;
    return (const wchar_t*)p;
}

namespace {

// The key's default value as a string of at most 79 characters; false when
// it is missing, no string or longer.
bool ReadDefault(const wchar_t* path, wchar_t (&buf)[80]) {
    OwnedKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    // the whole buffer: 79 characters come with their terminating zero
    DWORD type = 0, size = sizeof buf;
    LONG rc = RegQueryValueExW(key.get(), nullptr, nullptr, &type, (BYTE*)buf, &size);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    size_t n = size / sizeof(wchar_t);
    while (n > 0 && buf[n - 1] == 0) --n;
    if (n >= 80) return false;
    buf[n] = 0;
    return buf[0] != 0;
}

}  // namespace

CString GetRegisteredServerVersion(const wchar_t* progId) {
    wchar_t buf[80] = {};
    if (!ReadDefault(CString(progId) + L"\\CLSID", buf)) return L"?.?";
    CString path = CString(L"CLSID\\") + buf + L"\\LocalServer32";
    if (!ReadDefault(path, buf)) return L"?.?";
    CFileVersionInfo info;
    info.Load(buf);
    const wchar_t* v = info.QueryString(L"FileVersion");
    return v ? CString(v) : CString(L"?.??");
}
