#include "editor/doc_names.h"
#include <climits>
#include <cwchar>
#include <cerrno>

void NameKeyInto(const wchar_t* p, int length, std::wstring& key) {
    int n = length < kNameKept ? length : kNameKept;
    int b = 0;
    while (b < n && IsNameBlank(p[b])) ++b;
    while (n > b && IsNameBlank(p[n - 1])) --n;
    key.assign(p + b, (size_t)(n - b));
    for (wchar_t& c : key)
        if (c >= L'A' && c <= L'Z') c = (wchar_t)(c - L'A' + L'a');
}

CString NameKey(const CString& name) {
    std::wstring key;
    NameKeyInto(name.GetString(), name.GetLength(), key);
    return CString(key);
}

bool ReplaceNameDots(CString& name) { return name.Replace(L".", L"_") > 0; }

void NameCandidateBase(const wchar_t* p, int length, std::wstring& base) {
    int n = length;
    while (n > 0 && p[n - 1] >= L'0' && p[n - 1] <= L'9') --n;
    if (n < length) {
        base.assign(p, (size_t)n);
    } else {
        while (n > 0 && p[n - 1] == L'_') --n;
        base.assign(p, (size_t)n);
        base += L'_';
    }
}

CString NameCandidate(const CString& name, int pass) {
    std::wstring base;
    NameCandidateBase(name.GetString(), name.GetLength(), base);
    base += std::to_wstring(pass);
    return CString(base);
}

bool MakeNameFree(CString& name, const std::function<bool(const CString&)>& taken) {
    bool changed = false;
    // room for "_" and any pass number
    const int room = kNameKept - 11;
    for (int pass = 1; name.IsEmpty() || taken(name); ++pass) {
        if (name.GetLength() > room) name = name.Left(room);
        name = NameCandidate(name, pass);
        changed = true;
        if (pass == INT_MAX) break;
    }
    return changed;
}

int DefaultNameNumber(const CString& name, const CString& prefix) {
    int len = prefix.GetLength();
    if (name.GetLength() < len || name.Left(len).CompareNoCase(prefix) != 0) return -1;
    const wchar_t* p = name.GetString() + len;
    errno = 0;
    long long v = wcstoll(p, nullptr, 10);
    if (errno == ERANGE || v >= INT_MAX) return -1;
    return v < 0 ? 0 : (int)v;
}
