#include "framework/String.h"
#include <cwchar>
#include <vector>

extern "C" {
// msvcrt's own wide formatter: %s means a wide string there.
_CRTIMP int __cdecl _vsnwprintf(wchar_t*, size_t, const wchar_t*, va_list);
_CRTIMP int __cdecl _vscwprintf(const wchar_t*, va_list);
}

static HINSTANCE g_resModule = nullptr;

void CString::SetResourceModule(HINSTANCE h) { g_resModule = h; }

CString::CString(const char* s) {
    if (!s || !*s) return;
    int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    if (n <= 1) return;
    s_.resize((size_t)n - 1);
    MultiByteToWideChar(CP_ACP, 0, s, -1, &s_[0], n);
}

static inline wchar_t foldAZ(wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - 32) : c; }

int CString::CompareNoCase(const wchar_t* o) const { return CompareNoCaseAZ(s_.c_str(), o); }

int CompareNoCaseAZ(const wchar_t* a, const wchar_t* b) {
    if (!a) a = L"";
    if (!b) b = L"";
    for (;; ++a, ++b) {
        wchar_t x = foldAZ(*a), y = foldAZ(*b);
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}

int CString::Find(wchar_t c, int start) const {
    if (start < 0) start = 0;
    if (start >= GetLength()) return -1;
    size_t p = s_.find(c, (size_t)start);
    return p == std::wstring::npos ? -1 : (int)p;
}

int CString::Find(const wchar_t* sub, int start) const {
    if (start < 0) start = 0;
    if (start > GetLength() || !sub) return -1;
    size_t p = s_.find(sub, (size_t)start);
    return p == std::wstring::npos ? -1 : (int)p;
}

int CString::ReverseFind(wchar_t c) const {
    size_t p = s_.rfind(c);
    return p == std::wstring::npos ? -1 : (int)p;
}

CString CString::Left(int n) const {
    if (n <= 0) return CString();
    return CString(s_.substr(0, (size_t)n));
}

CString CString::Right(int n) const {
    if (n <= 0) return CString();
    if (n >= GetLength()) return *this;
    return CString(s_.substr(s_.size() - (size_t)n));
}

CString CString::Mid(int first) const {
    if (first < 0) first = 0;
    if (first >= GetLength()) return CString();
    return CString(s_.substr((size_t)first));
}

CString CString::Mid(int first, int n) const {
    if (first < 0) first = 0;
    if (n <= 0 || first >= GetLength()) return CString();
    return CString(s_.substr((size_t)first, (size_t)n));
}

int CString::Replace(const wchar_t* from, const wchar_t* to) {
    if (!from || !*from) return 0;
    std::wstring f(from), t(to ? to : L"");
    int count = 0;
    size_t p = 0;
    while ((p = s_.find(f, p)) != std::wstring::npos) {
        s_.replace(p, f.size(), t);
        p += t.size();
        ++count;
    }
    return count;
}

int CString::Remove(wchar_t c) {
    size_t before = s_.size();
    std::wstring out;
    for (wchar_t x : s_)
        if (x != c) out += x;
    s_.swap(out);
    return (int)(before - s_.size());
}

static bool isSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

void CString::TrimLeft() {
    size_t i = 0;
    while (i < s_.size() && isSpace(s_[i])) ++i;
    s_.erase(0, i);
}

void CString::TrimRight() {
    size_t n = s_.size();
    while (n > 0 && isSpace(s_[n - 1])) --n;
    s_.resize(n);
}

void CString::Trim() {
    TrimRight();
    TrimLeft();
}

void CString::MakeUpper() {
    for (auto& c : s_) c = (wchar_t)(uintptr_t)CharUpperW((LPWSTR)(uintptr_t)c);
}
void CString::MakeLower() {
    for (auto& c : s_) c = (wchar_t)(uintptr_t)CharLowerW((LPWSTR)(uintptr_t)c);
}

void CString::FormatV(const wchar_t* fmt, va_list args) {
    if (!fmt) {
        s_.clear();
        return;
    }
    va_list probe;
    va_copy(probe, args);
    int n = _vscwprintf(fmt, probe);
    va_end(probe);
    if (n < 0) {
        s_.clear();
        return;
    }
    std::vector<wchar_t> buf((size_t)n + 1);
    _vsnwprintf(buf.data(), (size_t)n + 1, fmt, args);
    buf[(size_t)n] = 0;
    s_.assign(buf.data(), (size_t)n);
}

void CString::Format(const wchar_t* fmt, ...) {
    va_list a;
    va_start(a, fmt);
    FormatV(fmt, a);
    va_end(a);
}

void CString::AppendFormat(const wchar_t* fmt, ...) {
    CString t;
    va_list a;
    va_start(a, fmt);
    t.FormatV(fmt, a);
    va_end(a);
    s_ += t.s_;
}

CString FormatString(const wchar_t* fmt, ...) {
    CString t;
    va_list a;
    va_start(a, fmt);
    t.FormatV(fmt, a);
    va_end(a);
    return t;
}

CString LoadText(UINT id) {
    CString s;
    s.LoadString(id);
    return s;
}

CString FormatText(UINT id, ...) {
    CString fmt = LoadText(id);
    va_list a;
    va_start(a, id);
    CString t;
    t.FormatV(fmt, a);
    va_end(a);
    return t;
}

bool CString::LoadString(UINT id) {
    HINSTANCE h = g_resModule ? g_resModule : GetModuleHandleW(nullptr);
    const wchar_t* p = nullptr;
    // With a zero buffer size LoadStringW hands out a pointer into the resource.
    int n = ::LoadStringW(h, id, (LPWSTR)&p, 0);
    if (n <= 0 || !p) {
        s_.clear();
        return false;
    }
    s_.assign(p, (size_t)n);
    return true;
}

wchar_t* CString::GetBuffer(int minLength) {
    if (minLength < 0) minLength = 0;
    if ((int)s_.size() < minLength) s_.resize((size_t)minLength);
    // keep room for the terminator that C APIs write
    s_.reserve((size_t)minLength + 1);
    return &s_[0];
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) newLength = (int)wcsnlen(s_.c_str(), s_.size());
    if ((size_t)newLength <= s_.size()) s_.resize((size_t)newLength);
}

bool ParseWholeNumber(const wchar_t* s, bool allowMinus, long long lo, long long hi, long long& out, bool& beyond) {
    while (*s == L' ' || *s == L'\t') ++s;
    bool minus = false;
    if (*s == L'+' || *s == L'-') {
        minus = *s == L'-';
        if (minus && !allowMinus) return false;
        ++s;
    }
    if (*s < L'0' || *s > L'9') return false;
    // Magnitudes stop growing past any range here, before they overflow.
    const long long cap = (hi > -lo ? hi : -lo) + 1;
    long long v = 0;
    for (; *s >= L'0' && *s <= L'9'; ++s)
        if (v <= cap) v = v * 10 + (*s - L'0');
    while (*s == L' ' || *s == L'\t') ++s;
    if (*s) return false;
    if (minus) v = -v;
    beyond = v < lo || v > hi;
    out = v < lo ? lo : v > hi ? hi : v;
    return true;
}
