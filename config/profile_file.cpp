// Layout and lookup rules measured against Wine's profile functions.
#include "config/profile_file.h"

namespace {

std::wstring Fold(const std::wstring& s) {
    std::wstring r(s);
    for (wchar_t& c : r)
        if (c >= L'A' && c <= L'Z') c = (wchar_t)(c - L'A' + L'a');
    return r;
}

std::wstring Trim(const wchar_t* b, const wchar_t* e) {
    while (b < e && CProfileImage::IsBlank(*b)) ++b;
    while (e > b && CProfileImage::IsBlank(e[-1])) --e;
    return std::wstring(b, e);
}

// Names and values live on as C strings: a NUL inside ends them.
std::wstring TrimmedToken(const wchar_t* b, const wchar_t* e) {
    std::wstring r = Trim(b, e);
    size_t nul = r.find(L'\0');
    if (nul != std::wstring::npos) r.resize(nul);
    return r;
}

std::wstring Trim(const wchar_t* s) {
    if (!s) return std::wstring();
    const wchar_t* e = s;
    while (*e) ++e;
    return Trim(s, e);
}

bool HasLineBreak(const std::wstring& s) {
    return s.find_first_of(L"\r\n") != std::wstring::npos;
}

std::wstring Decode(UINT codePage, const char* p, size_t n) {
    if (n == 0) return std::wstring();
    int len = MultiByteToWideChar(codePage, 0, p, (int)n, nullptr, 0);
    std::wstring r((size_t)(len > 0 ? len : 0), L'\0');
    if (len > 0) MultiByteToWideChar(codePage, 0, p, (int)n, &r[0], len);
    return r;
}

std::string EncodeAs(UINT codePage, const std::wstring& s) {
    if (s.empty()) return std::string();
    int len = WideCharToMultiByte(codePage, 0, s.data(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    std::string r((size_t)(len > 0 ? len : 0), '\0');
    if (len > 0) WideCharToMultiByte(codePage, 0, s.data(), (int)s.size(), &r[0], len, nullptr, nullptr);
    return r;
}

}  // namespace

void CProfileImage::Clear() {
    m_Encoding = Utf16Le;
    m_Sections.clear();
    m_Index.clear();
    m_TrimPending = m_ReparsePending = false;
    AddSection(std::wstring());   // holds lines before the first header
}

CProfileImage::Section& CProfileImage::AddSection(std::wstring name) {
    m_Index.emplace(Fold(name), m_Sections.size());
    m_Sections.emplace_back();
    m_Sections.back().name = std::move(name);
    return m_Sections.back();
}

void CProfileImage::AddKey(Section& s, std::wstring name, std::wstring value, bool hasValue) {
    s.index.emplace(Fold(name), s.keys.size());
    s.keys.push_back(Key{std::move(name), std::move(value), hasValue});
}

void CProfileImage::ParseBytes(const void* data, size_t size) {
    const unsigned char* b = static_cast<const unsigned char*>(data);
    std::wstring text;
    Encoding enc;
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        enc = Utf16Le;
        // a cut-off last byte still counts as a character, as the platform reads it
        text.resize((size - 1) / 2);
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = (wchar_t)(b[2 + 2 * i] | (3 + 2 * i < size ? b[3 + 2 * i] << 8 : 0));
    } else if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        enc = Utf16Be;
        text.resize((size - 1) / 2);
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = (wchar_t)((b[2 + 2 * i] << 8) | (3 + 2 * i < size ? b[3 + 2 * i] : 0));
    } else if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        enc = Utf8;
        text = Decode(CP_UTF8, reinterpret_cast<const char*>(b) + 3, size - 3);
    } else {
        enc = Ansi;
        text = Decode(CP_ACP, reinterpret_cast<const char*>(b), size);
    }
    ParseText(text.data(), text.size());
    m_Encoding = enc;
}

void CProfileImage::ParseText(const wchar_t* text, size_t length) {
    Encoding keep = m_Encoding;
    Clear();
    m_Encoding = keep;
    const wchar_t* end = text + length;
    Section* cur = &m_Sections.front();
    for (const wchar_t* p = text; p < end;) {
        const wchar_t* eol = p;
        while (eol < end && *eol != L'\r' && *eol != L'\n') ++eol;
        const wchar_t* next = eol < end ? eol + 1 : eol;
        while (p < eol && IsBlank(*p)) ++p;
        if (p < eol) {
            const wchar_t* close = nullptr;
            if (*p == L'[')
                for (const wchar_t* q = eol; q > p + 1; --q)
                    if (q[-1] == L']') { close = q - 1; break; }
            if (close) {
                cur = &AddSection(TrimmedToken(p + 1, close));
            } else {
                const wchar_t* eq = p;
                while (eq < eol && *eq != L'=') ++eq;
                if (eq < eol)
                    AddKey(*cur, TrimmedToken(p, eq), TrimmedToken(eq + 1, eol), true);
                else
                    AddKey(*cur, TrimmedToken(p, eol), std::wstring(), false);
            }
        }
        p = next;
    }
}

DWORD CProfileImage::LoadFile(const wchar_t* path) {
    Clear();
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    LARGE_INTEGER size;
    DWORD err = 0;
    std::string bytes;
    if (!GetFileSizeEx(h, &size)) {
        err = GetLastError();
    } else if (size.QuadPart > 0x7FFFFFFF) {
        err = ERROR_FILE_TOO_LARGE;
    } else {
        bytes.resize((size_t)size.QuadPart);
        DWORD got = 0;
        if (!bytes.empty() && !ReadFile(h, &bytes[0], (DWORD)bytes.size(), &got, nullptr)) err = GetLastError();
        bytes.resize(got);
    }
    CloseHandle(h);
    if (err) return err;
    ParseBytes(bytes.data(), bytes.size());
    return 0;
}

std::vector<std::wstring> CProfileImage::SectionNames() const {
    std::vector<std::wstring> names;
    names.reserve(m_Sections.size());
    for (const Section& s : m_Sections)
        if (!s.name.empty()) names.push_back(s.name);
    return names;
}

const CProfileImage::Section* CProfileImage::FindSection(const std::wstring& trimmed) const {
    auto it = m_Index.find(Fold(trimmed));
    return it == m_Index.end() ? nullptr : &m_Sections[it->second];
}

bool CProfileImage::Get(const wchar_t* section, const wchar_t* key, std::wstring& value) const {
    const Section* s = FindSection(Trim(section));
    if (!s) return false;
    auto it = s->index.find(Fold(Trim(key)));
    if (it == s->index.end()) return false;
    const Key& k = s->keys[it->second];
    if (!k.hasValue) return false;
    const std::wstring& v = k.value;
    if (v.size() > 1 && (v[0] == L'"' || v[0] == L'\'') && v.back() == v[0])
        value.assign(v, 1, v.size() - 2);
    else
        value = v;
    return true;
}

std::wstring CProfileImage::RoundTrip(const std::wstring& s) const {
    if (m_Encoding != Ansi) return s;
    return Decode(CP_ACP, EncodeAs(CP_ACP, s).data(), EncodeAs(CP_ACP, s).size());
}

void CProfileImage::Normalize() {
    if (m_ReparsePending) {
        std::wstring text = Serialize();
        ParseText(text.data(), text.size());
    } else if (m_TrimPending) {
        std::wstring& v = m_Sections[m_TrimSection].keys[m_TrimKey].value;
        while (!v.empty() && IsBlank(v.back())) v.pop_back();
    }
    m_TrimPending = m_ReparsePending = false;
}

void CProfileImage::Set(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    Normalize();
    std::wstring sec = RoundTrip(Trim(section));
    std::wstring name = RoundTrip(Trim(key));
    const wchar_t* v = value ? value : L"";
    while (*v && IsBlank(*v)) ++v;
    std::wstring val = RoundTrip(v);

    size_t si;
    auto sit = m_Index.find(Fold(sec));
    if (sit != m_Index.end()) {
        si = sit->second;
    } else {
        AddSection(sec);
        si = m_Sections.size() - 1;
    }
    Section& s = m_Sections[si];
    size_t ki;
    auto kit = s.index.find(Fold(name));
    if (kit != s.index.end()) {
        ki = kit->second;
        s.keys[ki].value = val;
        s.keys[ki].hasValue = true;
    } else {
        ki = s.keys.size();
        AddKey(s, name, val, true);
    }
    if (sec.empty() || HasLineBreak(sec) || HasLineBreak(name) || HasLineBreak(val) ||
        name.find(L'=') != std::wstring::npos || (!name.empty() && name[0] == L'[')) {
        m_ReparsePending = true;
    } else if (!val.empty() && IsBlank(val.back())) {
        m_TrimPending = true;
        m_TrimSection = si;
        m_TrimKey = ki;
    }
}

std::wstring CProfileImage::Serialize() const {
    size_t total = 0;
    for (const Section& s : m_Sections) {
        total += s.name.size() + 4;
        for (const Key& k : s.keys) total += k.name.size() + k.value.size() + 3;
    }
    std::wstring out;
    out.reserve(total);
    for (const Section& s : m_Sections) {
        if (!s.name.empty()) {
            out += L'[';
            out += s.name;
            out += L"]\r\n";
        }
        for (const Key& k : s.keys) {
            out += k.name;
            if (k.hasValue) {
                out += L'=';
                out += k.value;
            }
            out += L"\r\n";
        }
    }
    return out;
}

std::string CProfileImage::Encode(bool frame) const {
    std::wstring text = Serialize();
    if (frame) text.insert(0, L"\r\n");
    std::string out;
    switch (m_Encoding) {
    case Utf16Le:
    case Utf16Be: {
        const bool be = m_Encoding == Utf16Be;
        out.resize(2 + 2 * text.size());
        out[0] = be ? '\xFE' : '\xFF';
        out[1] = be ? '\xFF' : '\xFE';
        for (size_t i = 0; i < text.size(); ++i) {
            char lo = (char)(text[i] & 0xFF), hi = (char)(text[i] >> 8);
            out[2 + 2 * i] = be ? hi : lo;
            out[3 + 2 * i] = be ? lo : hi;
        }
        break;
    }
    case Utf8:
        out = "\xEF\xBB\xBF" + EncodeAs(CP_UTF8, text);
        break;
    case Ansi:
        out = EncodeAs(CP_ACP, text);
        break;
    }
    return out;
}

DWORD CProfileImage::SaveFile(const wchar_t* path, bool frame) const {
    std::string bytes = Encode(frame);
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD err = 0, written = 0;
    if (!WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr))
        err = GetLastError();
    else if (written != bytes.size())
        err = ERROR_DISK_FULL;
    if (!CloseHandle(h) && !err) err = GetLastError();
    return err;
}
