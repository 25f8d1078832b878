// Target texts, the output file-name template and the plain file copy.
#include "reconfig/cfg_read_job.h"
#include "tests/reconfig/device_peer.h"
#include <gtest/gtest.h>

namespace {
TEST(CfgTarget, AddressTextAndSelectorsWithoutMeaning) {
    CCfgTarget t;
    SetTarget(t, 80, "192.168.10.254");
    EXPECT_EQ(L"192.168.10.254", std::wstring(t.Text(0)));
    for (int s : {1, 2, 3, -1}) EXPECT_EQ(L"?", std::wstring(t.Text(s)));
}

TEST(CfgTarget, PasswordPercentEncoding) {
    const struct {
        const wchar_t* plain;
        const wchar_t* encoded;
    } cases[] = {
        {L"", L""},
        {L"AZaz09-._~", L"AZaz09-._~"},
        {L"a b&c", L"a%20b%26c"},
        {L"\u00fc\u00e4", L"%FC%E4"},
        {L"\u20ac", L"%20AC"},  // no 8-bit form: the unit's value as it stands
        {L"%/?=+", L"%25%2F%3F%3D%2B"},
    };
    for (const auto& c : cases) {
        CCfgTarget t;
        t.m_strPassword = c.plain;
        EXPECT_EQ(std::wstring(c.encoded), std::wstring(t.EncodedPassword())) << "for " << c.encoded;
    }
}

std::wstring Expand(int kind, CCfgTarget& t, const wchar_t* tmpl) {
    CCfgReadJob job(kind, 0, &t, nullptr, tmpl);
    job.MakeOutputFileName();
    return job.m_strOutputName.GetString();
}

TEST(CfgOutputName, PlaceholdersInTheirOrder) {
    static const wchar_t* const months[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                            L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    SYSTEMTIME st;
    GetLocalTime(&st);
    wchar_t d[40], D[40];
    swprintf(d, 40, L"%02d-%ls-%d", st.wDay, months[st.wMonth - 1], st.wYear);
    swprintf(D, 40, L"%d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
    CCfgTarget t;
    EXPECT_EQ(L"C:\\a\\1765400000.json", Expand(5, t, L"C:\\a\\1765400000.json"));
    EXPECT_EQ(L"?_?_?.xml", Expand(2, t, L"%e_%i_%s.%t"));
    EXPECT_EQ(std::wstring(d) + L"_" + D, Expand(5, t, L"%d_%D"));
    EXPECT_EQ(L"0.0-0", Expand(5, t, L"%p-%P"));
    t.m_byVersionMajor = 3;
    t.m_byVersionMinor = 10;
    EXPECT_EQ(L"3.10-3.1", Expand(5, t, L"%p-%P"));
    t.m_wVersion = 0x0200;  // preferred for kinds other than 0
    EXPECT_EQ(L"2.0-2", Expand(5, t, L"%p-%P"));
    EXPECT_EQ(L"3.10-3.1", Expand(0, t, L"%p-%P"));
    for (int kind = 0; kind <= 5; ++kind)
        EXPECT_EQ(std::wstring(L"x.") + CfgKindExtension(kind), Expand(kind, t, L"x.%t"));
    EXPECT_EQ(L"cfg eep xml xml zip json", Expand(0, t, L"cfg eep xml xml zip json"));
}

TEST(CfgOutputName, FirstFreeNumber) {
    std::wstring dir = TestFolder(L"names");
    CCfgTarget t;
    std::wstring tmpl = dir + L"\\%D_%n.%t";
    std::wstring first = Expand(5, t, tmpl.c_str());
    EXPECT_EQ(L"_0.json", first.substr(first.size() - 7));
    WriteFileBytes(first, "");
    std::wstring second = Expand(5, t, tmpl.c_str());
    EXPECT_EQ(L"_1.json", second.substr(second.size() - 7));
    ASSERT_TRUE(CreateDirectoryW(second.c_str(), nullptr));  // a folder of that name counts too
    std::wstring third = Expand(5, t, tmpl.c_str());
    EXPECT_EQ(L"_2.json", third.substr(third.size() - 7));
    RemoveDirectoryW(second.c_str());
}

TEST(CfgCopy, ChunkedCopy) {
    std::wstring dir = TestFolder(L"copy");
    std::string big;
    for (int i = 0; i < 1234; ++i) big += (char)(i * 7);
    WriteFileBytes(dir + L"\\big", big);
    WriteFileBytes(dir + L"\\empty", "");
    EXPECT_TRUE(CopyFileChunked((dir + L"\\big").c_str(), (dir + L"\\big2").c_str(), 0));
    EXPECT_EQ(big, ReadFileBytes(dir + L"\\big2"));
    EXPECT_TRUE(CopyFileChunked((dir + L"\\empty").c_str(), (dir + L"\\empty2").c_str(), 0));
    EXPECT_TRUE(FileExists(dir + L"\\empty2"));
    EXPECT_EQ("", ReadFileBytes(dir + L"\\empty2"));
    EXPECT_FALSE(CopyFileChunked((dir + L"\\none").c_str(), (dir + L"\\none2").c_str(), 0));
    EXPECT_FALSE(FileExists(dir + L"\\none2"));
    EXPECT_FALSE(CopyFileChunked((dir + L"\\big").c_str(), (dir + L"\\no\\such").c_str(), 0));
}
}  // namespace
