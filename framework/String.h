// CString: a wide string with the members Varnel's code uses.
// Format() follows the Microsoft printf meaning: %s is wide, %hs is narrow,
// %ls wide. It formats through msvcrt, not MinGW's C99 printf.
#pragma once
#include <windows.h>
#include <string>
#include <cstdarg>

// As CString::CompareNoCase, without a string made for it: only A-Z and a-z
// count as the same letter. A null pointer is an empty text.
int CompareNoCaseAZ(const wchar_t* a, const wchar_t* b);

class CString {
public:
    CString() = default;
    CString(const wchar_t* s) : s_(s ? s : L"") {}
    CString(const wchar_t* s, int n) : s_(s ? s : L"", s ? (size_t)(n < 0 ? 0 : n) : 0) {}
    CString(wchar_t c, int n = 1) : s_(n > 0 ? (size_t)n : 0, c) {}
    CString(const std::wstring& s) : s_(s) {}
    explicit CString(const char* s);  // narrow text in the ANSI code page

    int GetLength() const { return (int)s_.size(); }
    bool IsEmpty() const { return s_.empty(); }
    void Empty() { s_.clear(); }
    operator const wchar_t*() const { return s_.c_str(); }
    const wchar_t* GetString() const { return s_.c_str(); }
    const std::wstring& str() const { return s_; }
    wchar_t GetAt(int i) const { return (i >= 0 && i < GetLength()) ? s_[(size_t)i] : 0; }
    wchar_t operator[](int i) const { return GetAt(i); }
    void SetAt(int i, wchar_t c) {
        if (i >= 0 && i < GetLength()) s_[(size_t)i] = c;
    }

    CString& operator=(const wchar_t* s) {
        s_ = s ? s : L"";
        return *this;
    }
    CString& operator+=(const CString& o) {
        s_ += o.s_;
        return *this;
    }
    CString& operator+=(const wchar_t* s) {
        if (s) s_ += s;
        return *this;
    }
    CString& operator+=(wchar_t c) {
        s_ += c;
        return *this;
    }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
    friend CString operator+(const CString& a, const wchar_t* b) { return CString(a.s_ + (b ? b : L"")); }
    friend CString operator+(const wchar_t* a, const CString& b) { return CString((a ? a : L"") + b.s_); }
    friend CString operator+(const CString& a, wchar_t c) { return CString(a.s_ + c); }

    bool operator==(const CString& o) const { return s_ == o.s_; }
    bool operator!=(const CString& o) const { return s_ != o.s_; }
    bool operator==(const wchar_t* o) const { return s_ == (o ? o : L""); }
    bool operator!=(const wchar_t* o) const { return !(*this == o); }
    bool operator<(const CString& o) const { return s_ < o.s_; }
    int Compare(const wchar_t* o) const { return s_.compare(o ? o : L""); }
    // Folds A-Z only: every other character must match exactly.
    int CompareNoCase(const wchar_t* o) const;

    int Find(wchar_t c, int start = 0) const;
    int Find(const wchar_t* sub, int start = 0) const;
    int ReverseFind(wchar_t c) const;
    CString Left(int n) const;
    CString Right(int n) const;
    CString Mid(int first) const;
    CString Mid(int first, int n) const;
    void Truncate(int n) {
        if (n >= 0 && n < GetLength()) s_.resize((size_t)n);
    }
    int Replace(const wchar_t* from, const wchar_t* to);
    int Remove(wchar_t c);
    void Trim();
    void TrimLeft();
    void TrimRight();
    void MakeUpper();
    void MakeLower();

    void Format(const wchar_t* fmt, ...);
    void FormatV(const wchar_t* fmt, va_list args);
    void AppendFormat(const wchar_t* fmt, ...);
    // Loads a string-table entry of the program's own module; false when missing.
    bool LoadString(UINT id);
    static void SetResourceModule(HINSTANCE h);

    // Direct access for APIs that fill a buffer.
    wchar_t* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

private:
    std::wstring s_;
};

// The Microsoft meaning of %s in a wide format: formats through msvcrt.
CString FormatString(const wchar_t* fmt, ...);
// A string-table entry of the program's own module; empty when missing.
CString LoadText(UINT id);
// The entry id as the format (as FormatString reads it) of the arguments.
CString FormatText(UINT id, ...);
// Decimal digits with an optional sign (a minus only where allowMinus),
// blanks around them; nothing else. A number past lo..hi is still whole:
// out is then the nearer end and beyond is set.
bool ParseWholeNumber(const wchar_t* text, bool allowMinus, long long lo, long long hi, long long& out, bool& beyond);
