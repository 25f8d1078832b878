// Key access to the configuration file. The file is read into an image once
// and written from it once (key by key through the profile functions the
// platform rewrites the whole file for every key). The per-key path stays as
// the reference.
#include "config/device_cfg.h"
#include "config/cfg_read.h"
#include <cwchar>
#include <cstdlib>
#include <vector>

bool CCfgStore::CreateEmptyFile(const wchar_t* path) {
    lstrcpynW(m_CurrentPath, path ? path : L"", kPathRoom);
    HANDLE h = CreateFileW(m_CurrentPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    static const BYTE head[6] = {0xFF, 0xFE, 0x0D, 0x00, 0x0A, 0x00};
    DWORD written = 0;
    BOOL ok = WriteFile(h, head, sizeof head, &written, nullptr) && written == sizeof head;
    DWORD err = ok ? 0 : GetLastError();
    if (!CloseHandle(h) && ok) {
        ok = FALSE;
        err = GetLastError();
    }
    if (!ok) SetLastError(err);
    m_Image.Clear();
    lstrcpynW(m_ImageFor, m_CurrentPath, kPathRoom);
    m_ImageFramed = true;
    m_ImageDirty = false;
    return ok != FALSE;
}

// Loads the image of the current file unless it holds it already: wherever
// the current path changes, the image's path is emptied or set to it, so an
// image's path is always the current one.
bool CCfgStore::ImageReady() {
    if (m_PerKey) return false;
    if (!m_ImageFor[0]) {
        m_Image.LoadFile(m_CurrentPath);
        lstrcpynW(m_ImageFor, m_CurrentPath, kPathRoom);
        m_ImageFramed = false;
        m_ImageDirty = false;
    }
    return true;
}

// The records hold what was read: the image goes, and with it its memory.
void CCfgStore::DropImage() {
    m_Image.Clear();
    m_ImageFor[0] = 0;
    m_ImageFramed = false;
    m_ImageDirty = false;
}

// Puts the image on disk in one write; a failure counts as a failed key write.
bool CCfgStore::FlushImage() {
    if (m_PerKey || !m_ImageDirty) return true;
    m_ImageDirty = false;
    DWORD err = m_Image.SaveFile(m_ImageFor, m_ImageFramed);
    if (err == 0) return true;
    NoteWriteFailure(err);
    SetLastError(err);
    return false;
}

void CCfgStore::SetSection(const wchar_t* name) { lstrcpynW(m_Section, name ? name : L"", 128); }

int CCfgStore::ReadHex(const wchar_t* key, int def) {
    if (ImageReady()) {
        const wchar_t* v;
        size_t n;
        if (!m_Image.Find(m_Section, key, v, n)) return def;
        return CfgHexValue(v, n, def);
    }
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
    if (ImageReady()) {
        const wchar_t* v;
        size_t n;
        if (!m_Image.Find(m_Section, key, v, n) || n == 0) return false;
        out = CString(v, (int)n);
        return true;
    }
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
    if (ImageReady()) {
        std::wstring all;
        m_Image.AppendSectionNames(all);
        names = CString(all);
        return !all.empty();
    }
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

bool CCfgStore::WriteString(const wchar_t* key, const wchar_t* text) {
    if (ImageReady()) {
        m_Image.Set(m_Section, key, text ? text : L"");
        m_ImageDirty = true;
        return m_Batch > 0 || FlushImage();
    }
    if (WritePrivateProfileStringW(m_Section, key, text ? text : L"", m_CurrentPath)) return true;
    NoteWriteFailure(GetLastError());
    return false;
}
