#include "framework/ErrorText.h"
#include "resources/net_ids.h"
#include <winsock2.h>
#include <wininet.h>

CString SystemErrorText(DWORD code) {
    wchar_t text[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             (DWORD)(sizeof text / sizeof text[0]), nullptr);
    return n ? CString(text, (int)n) : CString();
}

void FormatSocketError(int code, CString& text) {
    static const struct {
        int code;
        UINT id;
    } known[] = {
        {WSAEINVAL, IDS_SOCKERR_EINVAL},
        {WSAECONNREFUSED, IDS_SOCKERR_CONNREFUSED},
        {WSAHOST_NOT_FOUND, IDS_SOCKERR_HOST_NOT_FOUND},
        {WSAEADDRNOTAVAIL, IDS_SOCKERR_ADDRNOTAVAIL},
        {WSAETIMEDOUT, IDS_SOCKERR_TIMEDOUT},
        {WSAECONNABORTED, IDS_SOCKERR_CONNABORTED},
        {WSAEHOSTUNREACH, IDS_SOCKERR_HOSTUNREACH},
    };
    CString what = L"???";
    for (const auto& k : known) {
        CString loaded;
        if (k.code == code && loaded.LoadString(k.id) && !loaded.IsEmpty()) what = loaded;
    }
    text.Format(L"[%d] %s", code, (const wchar_t*)what);
}

CString WinInetErrorText(DWORD code) {
    HMODULE wininet = GetModuleHandleW(L"wininet.dll");
    if (wininet) {
        wchar_t text[512];
        DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, wininet, code, 0, text,
                                 (DWORD)(sizeof text / sizeof text[0]), nullptr);
        if (n) {
            CString t(text, (int)n);
            t.TrimRight();
            if (!t.IsEmpty()) return t;
        }
    }
    static const struct {
        DWORD code;
        const wchar_t* text;
    } own[] = {
        {ERROR_INTERNET_TIMEOUT, L"Zeitüberschreitung"},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, L"Der Servername konnte nicht aufgelöst werden"},
        {ERROR_INTERNET_CANNOT_CONNECT, L"Keine Verbindung zum Server möglich"},
        {ERROR_INTERNET_CONNECTION_ABORTED, L"Die Verbindung wurde abgebrochen"},
        {ERROR_INTERNET_CONNECTION_RESET, L"Die Verbindung wurde zurückgesetzt"},
        {ERROR_INTERNET_INVALID_CA, L"Das Zertifikat stammt von einer unbekannten Stelle"},
        {ERROR_INTERNET_SEC_CERT_CN_INVALID, L"Der Name im Zertifikat passt nicht zum Server"},
        {ERROR_INTERNET_SEC_CERT_DATE_INVALID, L"Das Zertifikat ist abgelaufen"},
        {ERROR_HTTP_INVALID_SERVER_RESPONSE, L"Ungültige Antwort des Servers"},
        {ERROR_INTERNET_OPERATION_CANCELLED, L"Der Vorgang wurde abgebrochen"},
    };
    for (const auto& o : own)
        if (o.code == code) return o.text;
    CString t;
    t.Format(L"Fehler %u", (unsigned)code);
    return t;
}

CString LoadMessageText(UINT id) {
    CString s;
    if (!s.LoadString(id) || s.IsEmpty()) s.Format(L"%u", id);
    return s;
}
