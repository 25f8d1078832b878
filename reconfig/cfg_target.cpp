#include "reconfig/cfg_target.h"
#include <cstdio>
#include <string>

const CString& CCfgTarget::Text(int selector) {
    if (selector == 0) {
        const BYTE* b = reinterpret_cast<const BYTE*>(&m_dwAddress);
        m_strScratch.Format(L"%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    } else {
        m_strScratch = L"?";
    }
    return m_strScratch;
}

const CString& CCfgTarget::EncodedPassword() {
    m_strScratch.Empty();
    for (int i = 0; i < m_strPassword.GetLength(); ++i) {
        wchar_t c = m_strPassword[i];
        bool plain = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-' ||
                     c == L'.' || c == L'_' || c == L'~';
        if (plain)
            m_strScratch += c;
        else
            m_strScratch.AppendFormat(L"%%%02X", (unsigned)c);
    }
    return m_strScratch;
}

const wchar_t* CfgKindExtension(int kind) {
    static const wchar_t* const ext[] = {L"cfg", L"eep", L"xml", L"xml", L"zip", L"json"};
    return kind >= 0 && kind < (int)(sizeof ext / sizeof ext[0]) ? ext[kind] : L"";
}

bool CopyFileChunked(const wchar_t* source, const wchar_t* dest, int) {
    FILE* in = _wfopen(source, L"rb");
    if (!in) return false;
    FILE* out = _wfopen(dest, L"wb");
    if (!out) {
        fclose(in);
        return false;
    }
    char block[500];
    size_t n;
    bool ok = true;
    while (ok && (n = fread(block, 1, sizeof block, in)) > 0) ok = fwrite(block, 1, n, out) == n;
    ok = ok && !ferror(in);
    fclose(in);
    ok = fclose(out) == 0 && ok;
    return ok;
}

OwnedHandle GuardTempFile(const wchar_t* path) {
    // Read access, for the sharing check to count it; no FILE_SHARE_DELETE.
    return OwnedHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

void SweepTempFiles(const wchar_t* prefix) {
    wchar_t dir[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH, dir);
    if (n == 0 || n > MAX_PATH) return;
    CString pattern;
    pattern.Format(L"%s%s*.tmp", dir, prefix);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        CString path;
        path.Format(L"%s%s", dir, fd.cFileName);
        DeleteFileW(path);  // a guarded file refuses
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

std::string CfgLatin1(const CString& text) {
    std::string out;
    out.reserve((size_t)text.GetLength());
    for (int i = 0; i < text.GetLength(); ++i) out += (char)(unsigned char)(text[i] & 0xFF);
    return out;
}
