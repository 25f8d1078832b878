// CProfileImage against the platform's own profile functions: the same files
// read both ways, the same writes made both ways.
#include "config/profile_file.h"
#include "cfg_test_util.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using cfgtest::ReadBytes;
using cfgtest::Utf16Bytes;

std::wstring TempDir() {
    static std::wstring dir;
    if (dir.empty()) {
        wchar_t buf[MAX_PATH];
        GetTempPathW(MAX_PATH, buf);
        dir = std::wstring(buf) + L"krv_profile_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        cfgtest::MakeFolder(dir);
    }
    return dir;
}

using cfgtest::WriteBytes;

std::vector<std::wstring> PlatformNames(const std::wstring& path) {
    std::vector<wchar_t> buf(1 << 20);
    DWORD n = GetPrivateProfileSectionNamesW(buf.data(), (DWORD)buf.size(), path.c_str());
    std::vector<std::wstring> names;
    for (const wchar_t* p = buf.data(); p < buf.data() + n && *p; p += wcslen(p) + 1) names.push_back(p);
    return names;
}

// Missing keys come back as this default.
const wchar_t kMissing[] = L"\x01missing";

std::wstring PlatformGet(const std::wstring& path, const std::wstring& sec, const std::wstring& key) {
    std::vector<wchar_t> buf(1 << 18);
    DWORD n = GetPrivateProfileStringW(sec.c_str(), key.c_str(), kMissing, buf.data(), (DWORD)buf.size(), path.c_str());
    return std::wstring(buf.data(), n);
}

std::wstring ImageGet(const CProfileImage& img, const std::wstring& sec, const std::wstring& key) {
    std::wstring v;
    return img.Get(sec.c_str(), key.c_str(), v) ? v : std::wstring(kMissing);
}

std::wstring Show(const std::wstring& s) {
    std::wstring r;
    for (wchar_t c : s) {
        if (c >= 32 && c < 127)
            r += c;
        else {
            wchar_t b[8];
            wsprintfW(b, L"\\u%04x", c);
            r += b;
        }
    }
    return r;
}

std::string Narrow(const std::wstring& s) {
    std::wstring w = Show(s);
    return std::string(w.begin(), w.end());
}

struct Corpus {
    const char* name;
    std::string bytes;
};

std::wstring Long(wchar_t c, size_t n) { return std::wstring(n, c); }

std::vector<Corpus> MakeCorpus() {
    const std::wstring own =
        L"\r\n[OpcServer_Global]\r\nDeviceType=ffffffff\r\nItemNames=.0Watchdog\r\nIdleTicks=0\r\n"
        L"WatchdogTicks=1e\r\nMinUpdateRate=320\r\n[Box1]\r\nDeviceType=1\r\nItemNames=.1In\u00e4\U0001F600.1Out\r\n"
        L"Disable=0\r\nTargetHost=192.168.0.10\r\nPassword=5c9b5cfd\r\nInputs=8\r\nOutputs=0\r\n";
    std::vector<Corpus> c;
    c.push_back({"own", Utf16Bytes(own)});
    c.push_back({"own_without_frame", Utf16Bytes(own.substr(2))});
    c.push_back({"blank_lines_and_spaces",
                 Utf16Bytes(L"\r\n\r\n  [ Box1 ]  \r\n\r\n  DeviceType  =  1  \r\n\t TargetHost\t=\t host a \t\r\n"
                            L"   \r\n[Box2]\r\n DeviceType= 2\r\n")});
    c.push_back(
        {"quotes",
         Utf16Bytes(L"[A]\r\nq1=\"\r\nq2=\"\"\r\nq3=\"a'\r\nq4='x'\r\nq5=\" \"\r\nq6=\"x\"y\"\r\nq7= \"  pad  \" \r\n"
                    L"q8='\"'\r\n")});
    c.push_back(
        {"comments",
         Utf16Bytes(L";top comment\r\n[A]\r\n;DeviceType=5\r\nDeviceType=1\r\n#x=1\r\n; c = 2\r\n[B]\r\n;[C]\r\n"
                    L"DeviceType=3\r\n")});
    c.push_back(
        {"repeats",
         Utf16Bytes(L"[A]\r\nDeviceType=1\r\nk=first\r\nK=second\r\n[a]\r\nDeviceType=2\r\nk=third\r\nonly=dup\r\n"
                    L"[B]\r\nk=b\r\n[A]\r\nk=fourth\r\n")});
    c.push_back({"letter_case",
                 Utf16Bytes(L"[BOX1]\r\ndevicetype=1\r\nTARGETHOST=h\r\n[\u00c4a]\r\nk=1\r\n[\u00e4A]\r\nk=2\r\n")});
    c.push_back({"no_final_break", Utf16Bytes(L"[A]\r\nDeviceType=1\r\nk=last")});
    c.push_back({"cr_alone", Utf16Bytes(L"[A]\rDeviceType=1\rk=a\r[B]\rk=b\r")});
    c.push_back({"lf_alone_and_mixed", Utf16Bytes(L"[A]\nk=a\r\nj=b\rm=c\n\r[B]\n\nk=b")});
    c.push_back({"empty_values", Utf16Bytes(L"[A]\r\nk=\r\nj= \r\nnovalue\r\nnovalue=late\r\n=anon\r\n")});
    c.push_back({"long_lines", Utf16Bytes(L"[A]\r\nk=" + Long(L'x', 100000) + L"\r\nq=\"" + Long(L'y', 3000) +
                                          L"\"\r\n[" + Long(L'N', 300) + L"]\r\nk=n\r\n")});
    c.push_back({"headers",
                 Utf16Bytes(L"[S1]x\r\nk=1\r\n[S2\r\nk=2\r\n[S3]]\r\nk=3\r\n[]\r\nk=e\r\n[ ]\r\nk=f\r\n[a]b]\r\nk=4\r\n"
                            L"[\u00a0S5\u00a0]\r\nk=5\r\n")});
    c.push_back({"keys_before_sections", Utf16Bytes(L"k=top\r\nDeviceType=1\r\n[A]\r\nk=a\r\n")});
    c.push_back(
        {"blanks",
         Utf16Bytes(L"[A]\r\nk1=\u00a0v\u00a0\r\nk2=\u3000v\r\nk3=\x0bv\x0c\r\nk4=\x1av\x1a\r\nk5=\x1cv\x1f\r\n")});
    c.push_back({"values_with_signs", Utf16Bytes(L"[A]\r\nk=a=b;c\r\nj=;x\r\nm==\r\n")});
    c.push_back(
        {"nul_inside", Utf16Bytes(std::wstring(L"[A]\r\nk=a", 8) + std::wstring(1, L'\0') + L"b\r\n[B]\r\nk=b\r\n")});
    c.push_back({"no_mark_ascii", "[Box1]\r\nDeviceType=1\r\nTargetHost=10.0.0.1\r\n[Box2]\r\nDeviceType=6\r\n"});
    c.push_back({"no_mark_ansi_umlauts", "[Gr\xfc\xdf"
                                         "e]\r\nk=\xe4\xf6\xfc\r\n"});
    c.push_back({"no_mark_utf8", "[A]\r\nk=\xc3\xa4\r\n"});
    c.push_back({"utf8_mark", "\xEF\xBB\xBF[A]\r\nk=\xc3\xa4\xe2\x82\xac\r\n"});
    c.push_back({"utf16_without_mark", Utf16Bytes(L"[A]\r\nk=a\r\n", false)});
    c.push_back({"utf16_big_endian", std::string("\xFE\xFF\0[\0A\0]\0\r\0\n\0k\0=\0\xe4", 18)});
    c.push_back({"empty_file", std::string()});
    c.push_back({"mark_only", std::string("\xFF\xFE")});
    return c;
}

class ReadCorpus : public ::testing::TestWithParam<size_t> {};

TEST_P(ReadCorpus, SameAnswersAsThePlatform) {
    const Corpus entry = MakeCorpus()[GetParam()];
    SCOPED_TRACE(entry.name);
    std::wstring path = TempDir() + L"read.ini";
    ASSERT_TRUE(WriteBytes(path, entry.bytes));

    CProfileImage img;
    ASSERT_EQ(img.LoadFile(path.c_str()), 0u);
    std::vector<std::wstring> want = PlatformNames(path), got = img.SectionNames();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(Narrow(got[i]), Narrow(want[i]));

    std::vector<std::wstring> sections = want;
    for (const wchar_t* s : {L"", L"a", L"A", L" A ", L"box1", L"BOX1", L"S2", L"S3]", L"\u00e4a", L"\u00c4A"})
        sections.push_back(s);
    const wchar_t* keys[] = {L"DeviceType",
                             L"devicetype",
                             L"ItemNames",
                             L"TargetHost",
                             L"Password",
                             L"Inputs",
                             L"k",
                             L"K",
                             L" k ",
                             L"j",
                             L"m",
                             L"only",
                             L"novalue",
                             L"",
                             L"k1",
                             L"k2",
                             L"k3",
                             L"k4",
                             L"k5",
                             L"q",
                             L"q1",
                             L"q2",
                             L"q3",
                             L"q4",
                             L"q5",
                             L"q6",
                             L"q7",
                             L"q8",
                             L";DeviceType",
                             L"#x",
                             L"; c",
                             L"[S2",
                             L"IdleTicks",
                             L"WatchdogTicks",
                             L"MinUpdateRate"};
    for (const std::wstring& s : sections)
        for (const wchar_t* k : keys)
            EXPECT_EQ(Narrow(ImageGet(img, s, k)), Narrow(PlatformGet(path, s, k)))
                << "[" << Narrow(s) << "] " << Narrow(k);
}

INSTANTIATE_TEST_SUITE_P(Files, ReadCorpus, ::testing::Range<size_t>(0, MakeCorpus().size()),
                         [](const ::testing::TestParamInfo<size_t>& i) {
                             return std::string(MakeCorpus()[i.param].name);
                         });

struct Op {
    std::wstring section, key, value;
};

// The same writes, key by key through the platform and into an image, must
// give the same bytes; ours keep the empty line after the byte-order mark.
void ExpectSameWrites(const std::string& start, const std::vector<Op>& ops, bool frame) {
    std::wstring path = TempDir() + L"write.ini";
    ASSERT_TRUE(WriteBytes(path, start));
    CProfileImage img;
    ASSERT_EQ(img.LoadFile(path.c_str()), 0u);
    for (const Op& op : ops) {
        ASSERT_TRUE(WritePrivateProfileStringW(op.section.c_str(), op.key.c_str(), op.value.c_str(), path.c_str()));
        img.Set(op.section.c_str(), op.key.c_str(), op.value.c_str());
    }
    std::string want = ReadBytes(path), got = img.Encode(frame);
    if (frame) {
        ASSERT_GE(got.size(), 6u);
        EXPECT_EQ(got.substr(0, 6), std::string("\xFF\xFE\r\0\n\0", 6));
        got.erase(2, 4);
    }
    EXPECT_EQ(got, want);
    if (got != want && want.size() > 1 && (unsigned char)want[0] == 0xFF) {
        std::wstring w, g;
        for (size_t i = 2; i + 1 < want.size(); i += 2)
            w += (wchar_t)((unsigned char)want[i] | ((unsigned char)want[i + 1] << 8));
        for (size_t i = 2; i + 1 < got.size(); i += 2)
            g += (wchar_t)((unsigned char)got[i] | ((unsigned char)got[i + 1] << 8));
        ADD_FAILURE() << "platform: " << Narrow(w) << "\nimage:    " << Narrow(g);
    }
}

const std::string kNewFile("\xFF\xFE\r\0\n\0", 6);

TEST(ProfileWrite, NewFileKeyByKeyAsThePlatform) {
    const std::wstring name127 = Long(L'n', 126) + L"\u00e4";
    struct Case {
        const char* name;
        std::vector<Op> ops;
    } cases[] = {
        {"plain",
         {{L"Box1", L"DeviceType", L"1"}, {L"Box1", L"ItemNames", L".1In.1Out"}, {L"Box2", L"DeviceType", L"2"}}},
        {"odd_values",
         {{L"Gr\u00fc\u00dfe \U0001F600", L"TargetHost", L"h\u00f6st\U0001F680"},
          {L"Gr\u00fc\u00dfe \U0001F600", L"SerialFilter", L"end=;drop=;add=13;"},
          {L"Gr\u00fc\u00dfe \U0001F600", L"ItemNames", L"." + Long(L'x', 5000)},
          {name127, L"Password", L"\"quoted\""},
          {name127, L"Empty", L""}}},
        {"rewrite_in_place",
         {{L"A", L"k1", L"one"},
          {L"A", L"k2", L"two"},
          {L"a", L"K1", L"uno"},
          {L"B", L"k", L"b"},
          {L" A ", L" k2 ", L"dos"}}},
        {"blanks_around_values",
         {{L"A", L"k1", L"  lead"},
          {L"A", L"k2", L"trail  "},
          {L"A", L"k3", L"\tboth\t "},
          {L"B", L"k", L"x"},
          {L"B", L"last", L"kept \t"}}},
        {"blank_last_value_only", {{L"A", L"k", L"v "}}},
        {"line_breaks_inside",
         {{L"A", L"k", L"a\r\n[X]\r\ny=1"},
          {L"A", L"j", L"two"},
          {L"X", L"z", L"3"},
          {L"A", L"k", L"again"},
          {L"B", L"m", L"\r\nlead"},
          {L"C\r\nD", L"n", L"1"},
          {L"C", L"n", L"2"}}},
        {"section_names",
         {{L"a]b", L"k", L"1"},
          {L"[x", L"k", L"2"},
          {L"\u00c4a", L"k", L"3"},
          {L"\u00e4A", L"k", L"4"},
          {L"\u00c4A", L"k", L"5"},
          {L"", L"lost", L"6"},
          {L"E", L"k", L"7"}}},
        {"key_names",
         {{L"A", L"k=x", L"1"}, {L"A", L"k", L"2"}, {L"A", L";c", L"3"}, {L"A", L"[B]", L"4"}, {L"A", L"k", L"5"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectSameWrites(kNewFile, c.ops, true);
    }
}

TEST(ProfileWrite, HandEditedFilesAsThePlatform) {
    const std::vector<Op> ops = {{L"A", L"k", L"new"}, {L"Z", L"DeviceType", L"1"}, {L"b", L"K", L"x"}};
    for (const Corpus& c : MakeCorpus()) {
        std::string name = c.name;
        if (name == "nul_inside" || name == "utf8_mark" || name == "utf16_without_mark" || name == "utf16_big_endian")
            continue;  // the platform's own rewrite of these is looked at below
        SCOPED_TRACE(c.name);
        ExpectSameWrites(c.bytes, ops, false);
    }
}

TEST(ProfileFile, SaveReportsTheSystemError) {
    CProfileImage img;
    img.Set(L"A", L"k", L"v");
    EXPECT_EQ(img.SaveFile((TempDir() + L"no\\such\\dir\\x.ini").c_str(), true), (DWORD)ERROR_PATH_NOT_FOUND);
    std::wstring path = TempDir() + L"saved.ini";
    ASSERT_EQ(img.SaveFile(path.c_str(), true), 0u);
    EXPECT_EQ(ReadBytes(path), Utf16Bytes(L"\r\n[A]\r\nk=v\r\n"));
    CProfileImage missing;
    EXPECT_EQ(missing.LoadFile((TempDir() + L"missing.ini").c_str()), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(missing.SectionNames().empty());
}

}  // namespace
