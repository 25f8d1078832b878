// The device that a configuration job talks to, the job kinds, and the
// helpers that read and write jobs share.
//
//   CCfgTarget t; t.m_dwAddress = inet_addr("192.168.1.20"); t.m_wHttpPort = 80;
//   t.m_strPassword = L"geheim";
//   CCfgReadJob job(CFG_KIND_JSON, 0, &t, session, L"C:\\backup.json");
// A job keeps only the pointer: the target outlives its jobs, and no two jobs
// on one target run at the same time (they share the scratch text).
#pragma once
#include "framework/Handle.h"
#include "framework/String.h"
#include <windows.h>

enum {
    CFG_KIND_RAW = 0,       // raw TCP, ports 8003 / 8004
    CFG_KIND_EEPROM = 1,    // no transport
    CFG_KIND_XML = 2,       // /liste.xml, /xmlinput
    CFG_KIND_XML_CGI = 3,   // /config.xml, /upload.cgi
    CFG_KIND_ZIP_CGI = 4,   // /config.xml, /upload.cgi as zip
    CFG_KIND_JSON = 5,      // /config.js, /config.php
    CFG_KIND_RAW_8888 = 6,  // raw TCP read only
};

struct CCfgTarget {
    DWORD m_dwAddress = 0;  // IPv4, network byte order
    WORD m_wHttpPort = 80;
    BOOL m_bHttps = FALSE;
    CString m_strPassword;
    DWORD m_dwPasswordCounter = 0;  // changed by whoever changes the password
    BOOL m_bPasswordMissing = FALSE;
    BYTE m_byVersionMinor = 0;
    BYTE m_byVersionMajor = 0;
    WORD m_wVersion = 0;  // high byte major, low byte minor; 0 when unknown
    CString m_strScratch;

    // Selector 0: the address in dotted form; every other selector "?".
    const CString& Text(int selector);
    // The password percent-encoded: unreserved ASCII kept, every other UTF-16
    // unit as "%%%02X" of its value (so U+20AC gives "%20AC").
    const CString& EncodedPassword();
    // 443 with HTTPS, 80 without.
    WORD DefaultPort() const { return m_bHttps ? 443 : 80; }
};

// File extension of a kind without the dot, "" for a kind without one.
const wchar_t* CfgKindExtension(int kind);

// Plain copy in blocks of 500 bytes; false when either file cannot be
// opened or the copy cannot be written whole.
bool CopyFileChunked(const wchar_t* source, const wchar_t* dest, int unused);

// A handle that keeps path from being deleted while it is held, also by
// another program's SweepTempFiles; reading and writing it stay possible.
OwnedHandle GuardTempFile(const wchar_t* path);
// Removes what a run that was killed left in the temporary folder under
// prefix ("KRV", "XnI"): files a running program still guards stay.
void SweepTempFiles(const wchar_t* prefix);

// Text in 8 bits, one byte per UTF-16 unit (units above U+00FF lose their high byte).
std::string CfgLatin1(const CString& text);
