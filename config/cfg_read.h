// What a key's value in the configuration file gives a record, shared by the
// store's key-by-key reader and its reader of whole files.
#pragma once
#include <cwchar>
#include <cstddef>

// A found value (trimmed, quotes removed) as the platform's 20-character
// buffer and the C library's base-16 conversion read it; the empty value is
// missing and gives def.
inline int CfgHexValue(const wchar_t* v, size_t n, int def) {
    if (n == 0) return def;
    if (n > 19) n = 19;
    // up to eight hexadecimal digits and nothing else: what we write
    if (n <= 8) {
        unsigned long r = 0;
        size_t i = 0;
        for (; i < n; ++i) {
            wchar_t c = v[i];
            unsigned d;
            if (c >= L'0' && c <= L'9')
                d = (unsigned)(c - L'0');
            else if (c >= L'a' && c <= L'f')
                d = (unsigned)(c - L'a' + 10);
            else if (c >= L'A' && c <= L'F')
                d = (unsigned)(c - L'A' + 10);
            else
                break;
            r = (r << 4) | d;
        }
        if (i == n) return (int)r;
    }
    wchar_t buf[20];
    wmemcpy(buf, v, n);
    buf[n] = 0;
    return (int)wcstoul(buf, nullptr, 16);
}
