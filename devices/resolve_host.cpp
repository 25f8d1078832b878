#include "devices/resolve_host.h"

#include "framework/String.h"
#include "framework/WinApp.h"
#include "resources/net_ids.h"

#include <winsock2.h>
#include <windows.h>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r'; }

}  // namespace

void HostTextToName(const wchar_t* host, char (&name)[100]) {
    if (!host) host = L"";
    while (IsBlank(*host)) ++host;
    size_t n = 0;
    for (; n < sizeof name - 1 && host[n]; ++n) name[n] = static_cast<char>(host[n] & 0xFF);
    name[n] = 0;
}

int ResolveHost(const wchar_t* host, uint32_t* addresses, int count, int showMessages) {
    char name[100];
    HostTextToName(host, name);
    bool hasLetter = false;
    for (const char* p = name; *p; ++p)
        if ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z')) hasLetter = true;

    if (hasLetter) {
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        hostent* entry = gethostbyname(name);
        int error = entry ? 0 : WSAGetLastError();
        SetCursor(previous);
        if (!entry) {
            if (showMessages) {
                if (error == WSAHOST_NOT_FOUND)
                    AfxMessageBox(FormatText(IDS_RESOLVE_HOST_NOT_FOUND, name), MB_OK | MB_ICONHAND);
                else
                    AfxMessageBox(FormatText(IDS_RESOLVE_FAILED, error), MB_OK | MB_ICONHAND);
            }
            return 0;
        }
        if (entry->h_addrtype != AF_INET || entry->h_length != (int)sizeof(uint32_t) || !entry->h_addr_list) return 0;
        int found = 0;
        for (; entry->h_addr_list[found]; ++found) {
            if (found < count) memcpy(&addresses[found], entry->h_addr_list[found], sizeof(uint32_t));
        }
        return found;
    }

    unsigned long addr = inet_addr(name);
    if (addr == INADDR_NONE) {
        AfxMessageBox(FormatText(IDS_RESOLVE_BAD_ADDRESS, name), MB_OK | MB_ICONHAND);
        return 0;
    }
    if (count < 1) return 1;
    addresses[0] = static_cast<uint32_t>(addr);
    return 1;
}
