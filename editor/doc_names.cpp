#include "editor/doc_names.h"
#include <climits>
#include <cwchar>
#include <cerrno>

CString NameKey(const CString& name) {
    auto blank = [](wchar_t c) { return (c >= 9 && c <= 13) || c == L' ' || c == 0x1A; };
    const wchar_t* p = name.GetString();
    int n = name.GetLength() < kNameKept ? name.GetLength() : kNameKept;
    int b = 0;
    while (b < n && blank(p[b])) ++b;
    while (n > b && blank(p[n - 1])) --n;
    CString key(p + b, n - b);
    for (int i = 0; i < key.GetLength(); ++i) {
        wchar_t c = key[i];
        if (c >= L'A' && c <= L'Z') key.SetAt(i, (wchar_t)(c - L'A' + L'a'));
    }
    return key;
}

bool ReplaceNameDots(CString& name) { return name.Replace(L".", L"_") > 0; }

CString NameCandidate(const CString& name, int pass) {
    int n = name.GetLength();
    while (n > 0 && name[n - 1] >= L'0' && name[n - 1] <= L'9') --n;
    CString base;
    if (n < name.GetLength()) {
        base = name.Left(n);
    } else {
        while (n > 0 && name[n - 1] == L'_') --n;
        base = name.Left(n) + L"_";
    }
    base.AppendFormat(L"%d", pass);
    return base;
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
