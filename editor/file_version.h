// CFileVersionInfo: a file's version resource, and the lookup of the
// registered OPC server's file version for the about box.
//
//   CFileVersionInfo v;
//   if (v.Load(path)) { const wchar_t* s = v.QueryString(L"FileVersion"); }
//   CString shown = GetRegisteredServerVersion(); // "?.?", "?.??" or the version
#pragma once
#include <windows.h>
#include "framework/String.h"

class CFileVersionInfo {
public:
    CFileVersionInfo() = default;
    ~CFileVersionInfo() { Free(); }
    CFileVersionInfo(const CFileVersionInfo&) = delete;
    CFileVersionInfo& operator=(const CFileVersionInfo&) = delete;

    // TRUE when the fixed block carries VS_FFI_SIGNATURE.
    BOOL Load(const wchar_t* path);
    // Text inside the version data, or nullptr.
    const wchar_t* QueryString(const wchar_t* name) const;

    WORD m_language = 0;
    WORD m_codePage = 1252;
    VS_FIXEDFILEINFO m_fixed = {};

private:
    void Free();
    BYTE* m_data = nullptr;
};

// ProgID of the server's data access part.
#define KRV_SERVER_PROGID L"Korvelin.Marrowin"

// "?.?" without the ProgID's class id or its LocalServer32 entry, "?.??"
// when the program has no "FileVersion", else that text.
CString GetRegisteredServerVersion(const wchar_t* progId = KRV_SERVER_PROGID);

// Varnel's own version as the about box shows it.
#define KRV_PROGRAM_VERSION L"4.72"
