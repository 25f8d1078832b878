// Stand-in for a program that Varnel starts (Tolvane.exe, Fennick.exe):
// writes its arguments, one per line in UTF-8, to "<own path>.args" and ends.
// The first line is the number of arguments after the program name.
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <string>

static std::string Utf8(const wchar_t* s) {
    int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    std::string r(n > 0 ? (size_t)n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, s, -1, &r[0], n, nullptr, nullptr);
    return r;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring out = std::wstring(self) + L".args";
    std::wstring tmp = out + L".tmp";
    FILE* f = _wfopen(tmp.c_str(), L"wb");
    if (!f) return 1;
    fprintf(f, "%d\n", argc > 0 ? argc - 1 : 0);
    for (int i = 1; i < argc; ++i) fprintf(f, "%s\n", Utf8(argv[i]).c_str());
    LocalFree(argv);
    // Appears whole or not at all.
    if (ferror(f) | fclose(f)) return 1;
    return MoveFileExW(tmp.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
