// Version resources and the registered server's lookup in the real registry.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "editor/file_version.h"

namespace {

const wchar_t* kClsid = L"{6C1E2A40-5B1D-4E7A-9C3F-2D8B7A1E0F55}";

std::wstring Here(const wchar_t* file) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring s(self);
    return s.substr(0, s.rfind(L'\\') + 1) + file;
}

void SetDefault(const std::wstring& path, const std::wstring& value) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, nullptr, 0, REG_SZ, (const BYTE*)value.c_str(),
                                            (DWORD)((value.size() + 1) * sizeof(wchar_t))));
    RegCloseKey(key);
}

void Unregister() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, KRV_SERVER_PROGID);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsid).c_str());
}

void Register(const std::wstring& clsid, const std::wstring* program) {
    Unregister();
    SetDefault(std::wstring(KRV_SERVER_PROGID) + L"\\CLSID", clsid);
    if (program) SetDefault(L"CLSID\\" + clsid + L"\\LocalServer32", *program);
}

}  // namespace

TEST(SrvFileVersion, OwnVersionResource) {
    CFileVersionInfo v;
    ASSERT_TRUE(v.Load(Here(L"file_version_test.exe").c_str()));
    EXPECT_EQ(0x0407, v.m_language);
    EXPECT_EQ(0x04b0, v.m_codePage);
    EXPECT_EQ((DWORD)VS_FFI_SIGNATURE, v.m_fixed.dwSignature);
    EXPECT_EQ(MAKELONG(72, 4), v.m_fixed.dwFileVersionMS);
    ASSERT_NE(nullptr, v.QueryString(L"FileVersion"));
    EXPECT_STREQ(KRV_PROGRAM_VERSION, v.QueryString(L"FileVersion"));
    EXPECT_EQ(nullptr, v.QueryString(L"NoSuchValue"));
}

TEST(SrvFileVersion, FilesWithoutVersionData) {
    CFileVersionInfo v;
    EXPECT_FALSE(v.Load(Here(L"no_such_file.exe").c_str()));
    EXPECT_EQ(nullptr, v.QueryString(L"FileVersion"));
    EXPECT_EQ(1252, v.m_codePage);
    // A program without a version resource (the stand-in of Tolvane).
    EXPECT_FALSE(v.Load(Here(L"Tolvane.exe").c_str()));
    EXPECT_EQ(nullptr, v.QueryString(L"FileVersion"));
    // Loading again after a good load forgets the old data.
    ASSERT_TRUE(v.Load(Here(L"marrowin_server.exe").c_str()));
    EXPECT_FALSE(v.Load(Here(L"no_such_file.exe").c_str()));
    EXPECT_EQ(nullptr, v.QueryString(L"FileVersion"));
}

TEST(SrvFileVersion, RegisteredServerCases) {
    std::wstring server = Here(L"marrowin_server.exe");
    std::wstring gone = Here(L"marrowin_deleted.exe");
    std::wstring noVersion = Here(L"Tolvane.exe");
    DeleteFileW(gone.c_str());
    std::wstring tooLong(120, L'x'), longest(79, L'y'), oneOver(80, L'z');
    struct Case {
        const char* what;
        bool registered;
        std::wstring clsid;
        const std::wstring* program;
        const wchar_t* shown;
    } cases[] = {
        {"registered", true, kClsid, &server, L"5.1.3.7"},
        {"not registered", false, kClsid, nullptr, L"?.?"},
        {"no LocalServer32", true, kClsid, nullptr, L"?.?"},
        {"program deleted", true, kClsid, &gone, L"?.??"},
        {"program without version", true, kClsid, &noVersion, L"?.??"},
        {"class id too long", true, tooLong, &server, L"?.?"},
        {"class id of 79 characters", true, longest, &server, L"5.1.3.7"},
        {"class id of 80 characters", true, oneOver, &server, L"?.?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.registered)
            Register(c.clsid, c.program);
        else
            Unregister();
        EXPECT_STREQ(c.shown, GetRegisteredServerVersion());
        if (c.clsid != kClsid) RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + tooLong).c_str());
    }
    Unregister();
}
