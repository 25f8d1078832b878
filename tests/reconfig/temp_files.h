// The names in the user's temporary folder, to see what a run left there.
#pragma once
#include <windows.h>
#include <set>
#include <string>

inline std::set<std::wstring> TempFolderNames() {
    wchar_t dir[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, dir);
    std::set<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((std::wstring(dir) + L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do names.insert(fd.cFileName);
        while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    return names;
}
