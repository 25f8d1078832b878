// Layout and lookup rules measured against Wine's profile functions.
#include "config/profile_file.h"
#include "framework/Handle.h"
#include <emmintrin.h>
#include <cstring>
#include <cwchar>

namespace {

void Trim(const wchar_t*& b, const wchar_t*& e) {
    while (b < e && CProfileImage::IsBlank(*b)) ++b;
    while (e > b && CProfileImage::IsBlank(e[-1])) --e;
}

// A C string trimmed, as a range; null is the empty text.
void TrimC(const wchar_t* s, const wchar_t*& b, const wchar_t*& e) {
    if (!s) s = L"";
    b = s;
    e = s + wcslen(s);
    Trim(b, e);
}

bool HasLineBreak(const wchar_t* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (s[i] == L'\r' || s[i] == L'\n') return true;
    return false;
}

std::wstring Decode(UINT codePage, const char* p, size_t n) {
    if (n == 0) return std::wstring();
    int len = MultiByteToWideChar(codePage, 0, p, (int)n, nullptr, 0);
    std::wstring r((size_t)(len > 0 ? len : 0), L'\0');
    if (len > 0) MultiByteToWideChar(codePage, 0, p, (int)n, &r[0], len);
    return r;
}

std::string EncodeAs(UINT codePage, const wchar_t* s, size_t n) {
    if (n == 0) return std::string();
    int len = WideCharToMultiByte(codePage, 0, s, (int)n, nullptr, 0, nullptr, nullptr);
    std::string r((size_t)(len > 0 ? len : 0), '\0');
    if (len > 0) WideCharToMultiByte(codePage, 0, s, (int)n, &r[0], len, nullptr, nullptr);
    return r;
}

// The end of the line at `p` (its CR or LF, or `end`), its first "=" and
// whether it holds a NUL; eight characters at a time, since this is most of
// the work of reading a large file.
const wchar_t* ScanLine(const wchar_t* p, const wchar_t* end, const wchar_t*& eq, bool& nul) {
    static_assert(sizeof(wchar_t) == 2, "UTF-16 text");
    const __m128i cr = _mm_set1_epi16(L'\r'), lf = _mm_set1_epi16(L'\n'), sign = _mm_set1_epi16(L'='),
                  zero = _mm_setzero_si128();
    for (; end - p >= 8; p += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf)),
                                   _mm_or_si128(_mm_cmpeq_epi16(v, sign), _mm_cmpeq_epi16(v, zero)));
        for (unsigned mask = (unsigned)_mm_movemask_epi8(hit); mask; mask &= mask - 1, mask &= mask - 1) {
            const wchar_t* q = p + (__builtin_ctz(mask) >> 1);
            if (*q == L'\r' || *q == L'\n') return q;
            if (*q == L'=') {
                if (!eq) eq = q;
            } else {
                nul = true;
            }
        }
    }
    for (; p < end; ++p) {
        if (*p == L'\r' || *p == L'\n') return p;
        if (*p == L'=') {
            if (!eq) eq = p;
        } else if (*p == 0) {
            nul = true;
        }
    }
    return end;
}

// One line of a file as the profile functions see it: nothing, a section
// header, or a key with or without "=" (the value is empty without one).
// Names and values are trimmed and end at a NUL.
struct CLine {
    enum Kind { None, Header, Key } kind = None;
    const wchar_t *name = nullptr, *nameEnd = nullptr, *value = nullptr, *valueEnd = nullptr;
    bool hasEq = false;
};

void Token(const wchar_t*& b, const wchar_t*& e, bool nul) {
    Trim(b, e);
    if (nul)
        for (const wchar_t* q = b; q < e; ++q)
            if (!*q) {
                e = q;
                break;
            }
}

// p..eol is the line, eq its first "=" (or null), nul whether it holds a NUL.
CLine ReadLine(const wchar_t* p, const wchar_t* eol, const wchar_t* eq, bool nul) {
    CLine line;
    while (p < eol && CProfileImage::IsBlank(*p)) ++p;
    if (p >= eol) return line;
    const wchar_t* close = nullptr;
    if (*p == L'[')
        for (const wchar_t* q = eol; q > p + 1; --q)
            if (q[-1] == L']') {
                close = q - 1;
                break;
            }
    if (close) {
        line.kind = CLine::Header;
        line.name = p + 1;
        line.nameEnd = close;
        Token(line.name, line.nameEnd, nul);
        return line;
    }
    line.kind = CLine::Key;
    line.name = p;
    line.nameEnd = eq ? eq : eol;
    line.value = line.valueEnd = eol;
    Token(line.name, line.nameEnd, nul);
    if (eq) {
        line.hasEq = true;
        line.value = eq + 1;
        Token(line.value, line.valueEnd, nul);
    }
    return line;
}

}  // namespace

void CProfileImage::Reset() {
    // swapped out, not cleared: the memory of a large file goes back at once
    std::wstring().swap(m_Text);
    std::vector<Section>().swap(m_Sections);
    std::vector<Key>().swap(m_Keys);
    std::vector<uint32_t>().swap(m_Slots);
    std::wstring().swap(m_LastQuery);
    m_LastValid = false;
    m_TrimPending = m_ReparsePending = false;
}

void CProfileImage::Clear() {
    m_Encoding = Utf16Le;
    Reset();
    AddSection(0, 0);  // holds lines before the first header
}

uint32_t CProfileImage::Store(const wchar_t* s, size_t n) {
    uint32_t at = (uint32_t)m_Text.size();
    m_Text.append(s, n);
    return at;
}

size_t CProfileImage::FindSection(const wchar_t* name, size_t len, uint32_t hash) const {
    if (m_Slots.empty()) return kNone;
    const size_t mask = m_Slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        uint32_t slot = m_Slots[i];
        if (!slot) return kNone;
        const Section& s = m_Sections[slot - 1];
        if (s.hash == hash && s.nameLen == len && FoldEqual(m_Text.data() + s.name, name, len)) return slot - 1;
    }
}

// Enters the section in the hash unless an earlier one has its name.
void CProfileImage::IndexSection(size_t section) {
    const Section& s = m_Sections[section];
    const size_t mask = m_Slots.size() - 1;
    for (size_t i = s.hash & mask;; i = (i + 1) & mask) {
        uint32_t slot = m_Slots[i];
        if (!slot) {
            m_Slots[i] = (uint32_t)section + 1;
            return;
        }
        const Section& o = m_Sections[slot - 1];
        if (o.hash == s.hash && o.nameLen == s.nameLen &&
            FoldEqual(m_Text.data() + o.name, m_Text.data() + s.name, s.nameLen))
            return;
    }
}

size_t CProfileImage::AddSection(uint32_t name, uint32_t len) {
    Section s;
    s.name = name;
    s.nameLen = len;
    s.hash = FoldHash(m_Text.data() + name, len);
    s.firstKey = (uint32_t)m_Keys.size();
    s.keyCount = 0;
    m_Sections.push_back(s);
    m_LastValid = false;
    if (m_Sections.size() * 2 > m_Slots.size()) {
        std::vector<uint32_t>(m_Slots.empty() ? 64 : m_Slots.size() * 2, 0u).swap(m_Slots);
        for (size_t i = 0; i < m_Sections.size(); ++i) IndexSection(i);
    } else {
        IndexSection(m_Sections.size() - 1);
    }
    return m_Sections.size() - 1;
}

// A section's keys stay one range: a key for a section that is not the last
// one moves that section's keys behind all others first.
void CProfileImage::AddKey(size_t section, uint32_t name, uint32_t nameLen, uint32_t value, uint32_t valueLen,
                           bool hasValue) {
    Section& s = m_Sections[section];
    if (s.firstKey + s.keyCount != m_Keys.size()) {
        size_t from = s.firstKey;
        m_Keys.reserve(m_Keys.size() + s.keyCount + 1);
        s.firstKey = (uint32_t)m_Keys.size();
        for (size_t i = 0; i < s.keyCount; ++i) m_Keys.push_back(m_Keys[from + i]);
    }
    Key k;
    k.name = name;
    k.nameLen = nameLen;
    k.value = value;
    k.valueLen = valueLen;
    k.hasValue = hasValue ? 1 : 0;
    m_Keys.push_back(k);
    ++s.keyCount;
}

// A section holds a few keys of different lengths: no hash needed.
size_t CProfileImage::FindKey(const Section& s, const wchar_t* name, size_t len) const {
    const Key* k = m_Keys.data() + s.firstKey;
    for (size_t i = 0; i < s.keyCount; ++i)
        if (k[i].nameLen == len && FoldEqual(m_Text.data() + k[i].name, name, len)) return s.firstKey + i;
    return kNone;
}

void CProfileImage::ParseBytes(const void* data, size_t size) {
    std::wstring raw((size + 1) / 2, L'\0');
    if (size) std::memcpy(&raw[0], data, size);
    Adopt(raw, size);
}

// `raw` holds `size` bytes of a file (a cut-off last byte zero-padded); in
// UTF-16 they become the text in place.
void CProfileImage::Adopt(std::wstring& raw, size_t size) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(raw.data());
    Encoding enc;
    std::wstring text;
    size_t begin = 0;
    if (size >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        // the mark stays as the first unit; a cut-off last byte still counts
        // as a character, as the platform reads it
        enc = b[0] == 0xFF ? Utf16Le : Utf16Be;
        text.swap(raw);
        if (enc == Utf16Be)
            for (wchar_t& c : text) c = (wchar_t)(((c & 0xFF) << 8) | ((c >> 8) & 0xFF));
        begin = 1;
    } else if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        enc = Utf8;
        text = Decode(CP_UTF8, reinterpret_cast<const char*>(b) + 3, size - 3);
    } else {
        enc = Ansi;
        text = Decode(CP_ACP, reinterpret_cast<const char*>(b), size);
    }
    Reset();
    m_Encoding = enc;
    m_Text.swap(text);
    AddSection(0, 0);
    ParseFrom(begin);
}

void CProfileImage::ParseText(const wchar_t* text, size_t length) {
    std::wstring copy(text, length);
    Reset();
    m_Text.swap(copy);
    AddSection(0, 0);
    ParseFrom(0);
}

// Every line of m_Text from `begin` on. Names and values live on as C
// strings: a NUL inside ends them.
void CProfileImage::ParseFrom(size_t begin) {
    const wchar_t* const base = m_Text.data();
    const wchar_t* const end = base + m_Text.size();
    size_t cur = 0;
    // room for lines of our own files' usual length at once
    m_Keys.reserve(m_Keys.size() + (m_Text.size() - begin) / 32 + 16);
    auto at = [base](const wchar_t* q) { return (uint32_t)(q - base); };
    for (const wchar_t* p = base + begin; p < end;) {
        const wchar_t* eq = nullptr;
        bool nul = false;
        const wchar_t* eol = ScanLine(p, end, eq, nul);
        const wchar_t* next = eol < end ? eol + 1 : eol;
        const CLine line = ReadLine(p, eol, eq, nul);
        if (line.kind == CLine::Header) {
            cur = AddSection(at(line.name), (uint32_t)(line.nameEnd - line.name));
        } else if (line.kind == CLine::Key) {
            AddKey(cur, at(line.name), (uint32_t)(line.nameEnd - line.name), at(line.value),
                   (uint32_t)(line.valueEnd - line.value), line.hasEq);
        }
        p = next;
    }
}

bool CFoldedNames::Add(const wchar_t* name, size_t len) {
    const uint32_t hash = FoldHash(name, len);
    size_t mask = m_Slots.size() - 1;
    size_t i = hash & mask;
    for (; m_Slots[i]; i = (i + 1) & mask) {
        const Entry& e = m_Names[m_Slots[i] - 1];
        if (e.hash == hash && e.len == len && FoldEqual(m_Text.data() + e.at, name, len)) return false;
    }
    m_Names.push_back(Entry{(uint32_t)m_Text.size(), (uint32_t)len, hash});
    m_Text.append(name, len);
    m_Slots[i] = (uint32_t)m_Names.size();
    if (m_Names.size() * 2 > m_Slots.size()) Grow();
    return true;
}

void CFoldedNames::Grow() {
    std::vector<uint32_t>(m_Slots.size() * 2, 0u).swap(m_Slots);
    const size_t mask = m_Slots.size() - 1;
    for (size_t n = 0; n < m_Names.size(); ++n) {
        size_t i = m_Names[n].hash & mask;
        while (m_Slots[i]) i = (i + 1) & mask;
        m_Slots[i] = (uint32_t)n + 1;
    }
}

// The lines as ParseFrom reads them; a line is taken once its end is in the
// buffer, or at the end of the file.
CProfileStream::Result CProfileStream::Read(const wchar_t* path, Sink& sink, DWORD& err) {
    err = 0;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        err = GetLastError();
        return kFailed;
    }
    OwnedHandle file(h);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size)) {
        err = GetLastError();
        return kFailed;
    }
    if (size.QuadPart > 0x7FFFFFFF) {
        err = ERROR_FILE_TOO_LARGE;
        return kFailed;
    }
    // LoadFile reads the size found at the start in one call, no more
    size_t left = (size_t)size.QuadPart;
    // the same small buffer again and again: fresh memory is dear
    std::vector<wchar_t> buf(64 * 1024);
    size_t have = 0;   // whole units in buf
    bool odd = false;  // a byte of the next unit is in buf[have]
    bool atEnd = false;
    auto fill = [&]() -> bool {
        if (have + 1 >= buf.size()) buf.resize(buf.size() * 2);
        char* to = reinterpret_cast<char*>(buf.data() + have) + (odd ? 1 : 0);
        size_t room = (buf.size() - have) * sizeof(wchar_t) - (odd ? 1 : 0);
        DWORD want = (DWORD)(room < left ? room : left), got = 0;
        if (want && !ReadFile(h, to, want, &got, nullptr)) {
            err = GetLastError();
            return false;
        }
        left -= got;
        size_t bytes = have * sizeof(wchar_t) + (odd ? 1 : 0) + got;
        have = bytes / sizeof(wchar_t);
        odd = (bytes & 1) != 0;
        if (got == 0 || left == 0) {
            atEnd = true;
            // a cut-off last byte still counts as a character
            if (odd) buf[have] = (wchar_t)(buf[have] & 0xFF), ++have, odd = false;
        }
        return true;
    };
    if (!fill()) return kFailed;
    while (!atEnd && have < 1)
        if (!fill()) return kFailed;
    if (size.QuadPart < 2 || have < 1 || buf[0] != 0xFEFF) return kOtherEncoding;

    CFoldedNames names;
    bool inSection = false;
    size_t pos = 1;  // the mark is no text
    for (;;) {
        const wchar_t* const base = buf.data();
        const wchar_t* const end = base + have;
        const wchar_t* p = base + pos;
        for (;;) {
            if (p == end && atEnd) return kDone;
            const wchar_t* eq = nullptr;
            bool nul = false;
            const wchar_t* eol = ScanLine(p, end, eq, nul);
            if (eol == end && !atEnd) break;  // the line goes on beyond the buffer
            const wchar_t* next = eol < end ? eol + 1 : eol;
            const CLine line = ReadLine(p, eol, eq, nul);
            if (line.kind == CLine::Header) {
                const size_t n = (size_t)(line.nameEnd - line.name);
                if (!sink.Section(line.name, n, n > 0 && names.Add(line.name, n))) return kStopped;
                inSection = true;
            } else if (line.kind == CLine::Key && inSection) {
                if (!sink.Key(line.name, (size_t)(line.nameEnd - line.name), line.value,
                              (size_t)(line.valueEnd - line.value), line.hasEq))
                    return kStopped;
            }
            p = next;
            if (p == end && atEnd) return kDone;
        }
        // keep the unfinished line, then read on
        pos = (size_t)(p - base);
        if (pos) {
            std::memmove(buf.data(), buf.data() + pos, (have - pos) * sizeof(wchar_t) + (odd ? sizeof(wchar_t) : 0));
            have -= pos;
            pos = 0;
        }
        if (!fill()) return kFailed;
    }
}

DWORD CProfileImage::LoadFile(const wchar_t* path) {
    Clear();
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    LARGE_INTEGER size;
    DWORD err = 0, got = 0;
    std::wstring raw;
    if (!GetFileSizeEx(h, &size)) {
        err = GetLastError();
    } else if (size.QuadPart > 0x7FFFFFFF) {
        err = ERROR_FILE_TOO_LARGE;
    } else if (size.QuadPart > 0) {
        raw.assign(((size_t)size.QuadPart + 1) / 2, L'\0');
        if (!ReadFile(h, &raw[0], (DWORD)size.QuadPart, &got, nullptr)) err = GetLastError();
        raw.resize(((size_t)got + 1) / 2);
        if (got & 1) raw.back() = (wchar_t)(raw.back() & 0xFF);
    }
    CloseHandle(h);
    if (err) return err;
    Adopt(raw, got);
    return 0;
}

std::vector<std::wstring> CProfileImage::SectionNames() const {
    std::vector<std::wstring> names;
    names.reserve(m_Sections.size());
    for (const Section& s : m_Sections)
        if (s.nameLen) names.emplace_back(m_Text.data() + s.name, s.nameLen);
    return names;
}

void CProfileImage::AppendSectionNames(std::wstring& out) const {
    size_t total = out.size();
    for (const Section& s : m_Sections)
        if (s.nameLen) total += s.nameLen + 1;
    out.reserve(total);
    for (const Section& s : m_Sections)
        if (s.nameLen) {
            out.append(m_Text.data() + s.name, s.nameLen);
            out += L'\0';
        }
}

// The section a trimmed, folded lookup of `query` gives, remembered for the
// next call with the same text.
size_t CProfileImage::CachedSection(const wchar_t* query) const {
    if (!query) query = L"";
    if (m_LastValid && wcscmp(query, m_LastQuery.c_str()) == 0) return m_LastSection;
    const wchar_t *b, *e;
    TrimC(query, b, e);
    m_LastSection = FindSection(b, (size_t)(e - b), FoldHash(b, (size_t)(e - b)));
    m_LastQuery.assign(query);
    m_LastValid = true;
    return m_LastSection;
}

bool CProfileImage::Find(const wchar_t* section, const wchar_t* key, const wchar_t*& value, size_t& length) const {
    size_t si = CachedSection(section);
    if (si == kNone) return false;
    const wchar_t *b, *e;
    TrimC(key, b, e);
    size_t ki = FindKey(m_Sections[si], b, (size_t)(e - b));
    if (ki == kNone) return false;
    const Key& k = m_Keys[ki];
    if (!k.hasValue) return false;
    const wchar_t* v = m_Text.data() + k.value;
    size_t n = k.valueLen;
    if (n > 1 && (v[0] == L'"' || v[0] == L'\'') && v[n - 1] == v[0]) {
        ++v;
        n -= 2;
    }
    value = v;
    length = n;
    return true;
}

bool CProfileImage::Get(const wchar_t* section, const wchar_t* key, std::wstring& value) const {
    const wchar_t* v;
    size_t n;
    if (!Find(section, key, v, n)) return false;
    value.assign(v, n);
    return true;
}

std::wstring CProfileImage::RoundTrip(const wchar_t* s, size_t n) const {
    if (m_Encoding != Ansi) return std::wstring(s, n);
    std::string bytes = EncodeAs(CP_ACP, s, n);
    return Decode(CP_ACP, bytes.data(), bytes.size());
}

void CProfileImage::Normalize() {
    if (m_ReparsePending) {
        std::wstring text = Serialize();
        Encoding keep = m_Encoding;
        ParseText(text.data(), text.size());
        m_Encoding = keep;
    } else if (m_TrimPending) {
        Key& k = m_Keys[m_TrimKey];
        while (k.valueLen && IsBlank(m_Text[k.value + k.valueLen - 1])) k.valueLen = k.valueLen - 1;
    }
    m_TrimPending = m_ReparsePending = false;
}

void CProfileImage::Set(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    Normalize();
    const wchar_t *sb, *se, *nb, *ne;
    TrimC(section, sb, se);
    TrimC(key, nb, ne);
    const wchar_t* vb = value ? value : L"";
    while (*vb && IsBlank(*vb)) ++vb;
    const wchar_t* ve = vb + wcslen(vb);
    std::wstring sec, name, val;  // in an ANSI file: what the file's code page keeps of them
    if (m_Encoding == Ansi) {
        sec = RoundTrip(sb, (size_t)(se - sb));
        name = RoundTrip(nb, (size_t)(ne - nb));
        val = RoundTrip(vb, (size_t)(ve - vb));
        sb = sec.data(), se = sb + sec.size();
        nb = name.data(), ne = nb + name.size();
        vb = val.data(), ve = vb + val.size();
    }
    const size_t sl = (size_t)(se - sb), nl = (size_t)(ne - nb), vl = (size_t)(ve - vb);

    size_t si = m_Encoding == Ansi ? FindSection(sb, sl, FoldHash(sb, sl)) : CachedSection(section);
    if (si == kNone) {
        si = AddSection(Store(sb, sl), (uint32_t)sl);
        if (m_Encoding != Ansi) {
            m_LastQuery.assign(section ? section : L"");
            m_LastSection = si;
            m_LastValid = true;
        }
    }
    size_t ki = FindKey(m_Sections[si], nb, nl);
    if (ki != kNone) {
        uint32_t at = Store(vb, vl);
        m_Keys[ki].value = at;
        m_Keys[ki].valueLen = (uint32_t)vl;
        m_Keys[ki].hasValue = 1;
    } else {
        uint32_t n = Store(nb, nl);
        uint32_t v = Store(vb, vl);
        AddKey(si, n, (uint32_t)nl, v, (uint32_t)vl, true);
        ki = m_Keys.size() - 1;
    }
    if (sl == 0 || HasLineBreak(sb, sl) || HasLineBreak(nb, nl) || HasLineBreak(vb, vl) ||
        std::wmemchr(nb, L'=', nl) != nullptr || (nl && nb[0] == L'[')) {
        m_ReparsePending = true;
    } else if (vl && IsBlank(vb[vl - 1])) {
        m_TrimPending = true;
        m_TrimKey = ki;
    }
}

size_t CProfileImage::SerializedSize() const {
    size_t total = 0;
    for (const Section& s : m_Sections) {
        if (s.nameLen) total += s.nameLen + 4;
        for (size_t i = 0; i < s.keyCount; ++i) {
            const Key& k = m_Keys[s.firstKey + i];
            total += k.nameLen + 2 + (k.hasValue ? k.valueLen + 1 : 0);
        }
    }
    return total;
}

void CProfileImage::SerializeTo(std::wstring& out) const {
    const wchar_t* t = m_Text.data();
    for (const Section& s : m_Sections) {
        if (s.nameLen) {
            out += L'[';
            out.append(t + s.name, s.nameLen);
            out.append(L"]\r\n", 3);
        }
        for (size_t i = 0; i < s.keyCount; ++i) {
            const Key& k = m_Keys[s.firstKey + i];
            out.append(t + k.name, k.nameLen);
            if (k.hasValue) {
                out += L'=';
                out.append(t + k.value, k.valueLen);
            }
            out.append(L"\r\n", 2);
        }
    }
}

std::wstring CProfileImage::Serialize() const {
    std::wstring out;
    out.reserve(SerializedSize());
    SerializeTo(out);
    return out;
}

std::string CProfileImage::Encode(bool frame) const {
    std::wstring text;
    text.reserve(SerializedSize() + 3);
    if (m_Encoding == Utf16Le || m_Encoding == Utf16Be) text += (wchar_t)0xFEFF;
    if (frame) text.append(L"\r\n", 2);
    SerializeTo(text);
    std::string out;
    switch (m_Encoding) {
    case Utf16Le: out.assign(reinterpret_cast<const char*>(text.data()), text.size() * 2); break;
    case Utf16Be:
        out.resize(2 * text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            out[2 * i] = (char)(text[i] >> 8);
            out[2 * i + 1] = (char)(text[i] & 0xFF);
        }
        break;
    case Utf8: out = "\xEF\xBB\xBF" + EncodeAs(CP_UTF8, text.data(), text.size()); break;
    case Ansi: out = EncodeAs(CP_ACP, text.data(), text.size()); break;
    }
    return out;
}

DWORD CProfileImage::SaveFile(const wchar_t* path, bool frame) const {
    // UTF-16LE is the text's own memory: written as it stands
    std::wstring text;
    std::string bytes;
    const void* data;
    size_t size;
    if (m_Encoding == Utf16Le) {
        text.reserve(SerializedSize() + 3);
        text += (wchar_t)0xFEFF;
        if (frame) text.append(L"\r\n", 2);
        SerializeTo(text);
        data = text.data();
        size = text.size() * sizeof(wchar_t);
    } else {
        bytes = Encode(frame);
        data = bytes.data();
        size = bytes.size();
    }
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD err = 0, written = 0;
    if (size > 0x7FFFFFFF)
        err = ERROR_FILE_TOO_LARGE;
    else if (!WriteFile(h, data, (DWORD)size, &written, nullptr))
        err = GetLastError();
    else if (written != size)
        err = ERROR_DISK_FULL;
    if (!CloseHandle(h) && !err) err = GetLastError();
    return err;
}
