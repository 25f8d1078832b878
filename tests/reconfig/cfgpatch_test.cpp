// The configuration patches on device files written by hand, against
// expected outputs written by hand.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "reconfig/json_patch.h"
#include "reconfig/xml_patch.h"
#include "tests/test_files.h"

namespace {

using krvtest::ReadFileBytes;

std::wstring Widen(const char* s)
{
    std::wstring w;
    for (; *s; ++s)
        w += static_cast<wchar_t>(static_cast<unsigned char>(*s));
    return w;
}

// The data folder as a Windows path (Z: is the Unix root).
std::wstring DataPath(const char* name)
{
    std::wstring p = L"Z:" + Widen(CFGPATCH_DATA) + L"/" + Widen(name);
    for (wchar_t& c : p)
        if (c == L'/')
            c = L'\\';
    return p;
}

std::wstring OutPath(const char* name)
{
    CreateDirectoryW(L"cfgpatch_out", nullptr);
    return L"cfgpatch_out\\" + Widen(name);
}

enum Kind { Json, Xml };

struct Case {
    const char* name;
    Kind kind;
    const char* src;
    const char* expected;  // nullptr: the destination equals the source
    int port;
    bool flag;             // subscribe (JSON) or password login (XML)
    PatchOutcome outcome;
    unsigned found;
    int changed;
};

const Case kCases[] = {
    // A 4.0 device: the four settings; longer keys that begin with them stay.
    {"lattix40_subscribe", Json, "lattix40.json", "lattix40_49153_subscribe.expected.json", 49153, true,
     kPatchUpload, 15, 4},
    {"lattix40_poll", Json, "lattix40.json", "lattix40_502_poll.expected.json", 502, false, kPatchUpload, 15, 3},
    // Every occurrence replaced, one already right is not counted; CR LF kept.
    {"json_repeated", Json, "json_repeated_crlf.json", "json_repeated_crlf.expected.json", 49153, true,
     kPatchUpload, 15, 4},
    // Only a line's first string is a key; a bare value is no value, nor is
    // a later string on its line.
    {"json_oneline", Json, "json_oneline.json", "json_oneline.expected.json", 49153, true, kPatchAskPartial, 9, 2},
    // Comment lines stay; keys are matched whole.
    {"json_commented", Json, "json_commented.json", "json_commented.expected.json", 49153, true, kPatchAskPartial,
     3, 2},
    // Depth does not matter; a value on the next line, a bare 0 or true is not found.
    {"json_nested", Json, "json_nested.json", "json_nested.expected.json", 49153, true, kPatchAskPartial, 1, 1},
    // Ctrl-Z, NUL, mixed line ends and a missing last line end pass through.
    {"json_bytes", Json, "json_ctrlz.json", "json_ctrlz.expected.json", 49153, true, kPatchUpload, 15, 3},
    {"json_already", Json, "json_already.json", nullptr, 49153, true, kPatchAlreadySet, 15, 0},
    // Minified JSON is read in pieces of 499 bytes: nothing found (a design limit).
    {"json_minified", Json, "json_minified.json", nullptr, 49153, true, kPatchNothingFound, 0, 0},
    {"json_empty", Json, "empty.cfg", nullptr, 49153, true, kPatchNothingFound, 0, 0},

    // An older device: the reduced copy keeps only BasicSettings and OutputMode at level 4.
    {"vexxa_login", Xml, "vexxa.xml", "vexxa_49153_login.expected.xml", 49153, true, kPatchUpload, 15, 19},
    {"vexxa_compatible", Xml, "vexxa.xml", "vexxa_49159_compat.expected.xml", 49159, false, kPatchUpload, 15, 17},
    // No output modes: the whole file after the second pass, and the question.
    {"xml_missing_output", Xml, "xml_missing_output.xml", "xml_missing_output.expected.xml", 49153, true,
     kPatchAskPartial, 7, 4},
    // Attributes make a level-4 element a different name: left out, so the whole file.
    {"xml_attr_basic", Xml, "xml_attr_basic.xml", "xml_attr_basic.expected.xml", 49153, true, kPatchUpload, 15, 5},
    // A line is classed by its first tag; a second element on it stays as it is.
    {"xml_oneline", Xml, "xml_oneline.xml", "xml_oneline.expected.xml", 49153, true, kPatchAskPartial, 13, 5},
    // Elements inside comments stay. A comment line of its own counts as an
    // opening tag and shifts the nesting for the rest of the file (a design
    // limit of the line-based patch): the output modes under it are not
    // found, and a later element two levels below a stale "OutputMode" is
    // taken for an output mode.
    {"xml_commented", Xml, "xml_commented.xml", "xml_commented.expected.xml", 49153, true, kPatchAskPartial, 7, 4},
    // Mode and output modes at other depths; Ctrl-Z and a missing last line end pass through.
    {"xml_nested", Xml, "xml_nested.xml", "xml_nested.expected.xml", 49153, true, kPatchAskPartial, 3, 2},
    // All set already: nothing to upload; lines at level 4 after a left-out element go too.
    {"xml_already", Xml, "xml_already.xml", "xml_already.expected.xml", 49153, true, kPatchAlreadySet, 15, 0},
    // Repeated settings each replaced; "Enable_BINARY_1" is "ON" wherever it stands.
    {"xml_repeated", Xml, "xml_repeated.xml", "xml_repeated.expected.xml", 502, false, kPatchUpload, 15, 6},
    // Without the chosen mode every mode is "OFF" and the setting counts as missing.
    {"xml_nomode", Xml, "xml_nomode.xml", "xml_nomode.expected.xml", 49153, true, kPatchAskPartial, 11, 3},
    {"xml_empty", Xml, "empty.cfg", nullptr, 49153, true, kPatchNothingFound, 0, 0},
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class PatchCase : public testing::TestWithParam<Case> {};

TEST_P(PatchCase, WritesTheExpectedBytes)
{
    const Case& c = GetParam();
    std::wstring src = DataPath(c.src);
    std::wstring dst = OutPath(c.name);
    std::string before = ReadFileBytes(src);
    CPatchResult r = c.kind == Json ? PatchJsonFile(src.c_str(), dst.c_str(), c.port, c.flag)
                                    : PatchXmlFile(src.c_str(), dst.c_str(), c.port, c.flag);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.found, c.found);
    EXPECT_EQ(r.changed, c.changed);
    std::string expected = c.expected ? ReadFileBytes(DataPath(c.expected)) : before;
    if (c.expected) {
        ASSERT_FALSE(expected.empty()) << c.expected;
    }
    EXPECT_EQ(ReadFileBytes(dst), expected);
    EXPECT_EQ(ReadFileBytes(src), before) << "source changed";
}

INSTANTIATE_TEST_SUITE_P(Files, PatchCase, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

TEST(Patch, SourceThatCannotBeOpened)
{
    std::wstring missing = DataPath("no-such-file.json");
    std::wstring dst = OutPath("missing_src");
    DeleteFileW(dst.c_str());
    EXPECT_EQ(PatchJsonFile(missing.c_str(), dst.c_str(), 49153, true).outcome, kPatchNoInput);
    EXPECT_EQ(PatchXmlFile(missing.c_str(), dst.c_str(), 49153, true).outcome, kPatchNoInput);
    // Nothing is created when the source is missing.
    EXPECT_EQ(GetFileAttributesW(dst.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Patch, DestinationThatCannotBeCreated)
{
    std::wstring dst = L"cfgpatch_out\\no-such-folder\\out";
    EXPECT_EQ(PatchJsonFile(DataPath("lattix40.json").c_str(), dst.c_str(), 49153, true).outcome, kPatchNoOutput);
    EXPECT_EQ(PatchXmlFile(DataPath("vexxa.xml").c_str(), dst.c_str(), 49153, true).outcome, kPatchNoOutput);
}

TEST(Patch, DestinationIsEmptiedFirst)
{
    std::wstring dst = OutPath("emptied");
    if (FILE* f = _wfopen(dst.c_str(), L"wb")) {
        std::string junk(20000, 'x');
        fwrite(junk.data(), 1, junk.size(), f);
        fclose(f);
    }
    PatchXmlFile(DataPath("xml_missing_output.xml").c_str(), dst.c_str(), 49153, true);
    EXPECT_EQ(ReadFileBytes(dst), ReadFileBytes(DataPath("xml_missing_output.expected.xml")));
}

// Lines longer than a piece: each piece is taken as a line of its own.
TEST(Patch, LongLinesGoInPieces)
{
    std::wstring src = OutPath("long_src.json");
    std::wstring dst = OutPath("long_dst.json");
    // A piece ends after 499 bytes: the first setting begins the second piece
    // of its line, the last one is cut in two and not found.
    std::string pad = "  \"Pad\": \"" + std::string(499 - 12, 'p') + "\",";
    ASSERT_EQ(pad.size(), 499u);
    std::string in = pad + "\"OPCServerEnable\": \"0\",\n" + "  \"OPCLocalPort\": \"8000\", " +
                     std::string(460, ' ') + "\"OpcOutputEnable\": \"0\"\n";
    std::string out = pad + "\"OPCServerEnable\": \"1\",\n" + "  \"OPCLocalPort\": \"49153\", " +
                      std::string(460, ' ') + "\"OpcOutputEnable\": \"0\"\n";
    if (FILE* f = _wfopen(src.c_str(), L"wb")) {
        fwrite(in.data(), 1, in.size(), f);
        fclose(f);
    }
    CPatchResult r = PatchJsonFile(src.c_str(), dst.c_str(), 49153, true);
    EXPECT_EQ(r.found, 3u);
    EXPECT_EQ(r.changed, 2);
    EXPECT_EQ(r.outcome, kPatchAskPartial);
    EXPECT_EQ(ReadFileBytes(dst), out);
}

TEST(Patch, ReplaceKeepsEverythingAroundTheValue)
{
    std::wstring dst = OutPath("replace");
    FILE* f = _wfopen(dst.c_str(), L"wb");
    ASSERT_TRUE(f);
    const char json[] = "\t\"OPCLocalPort\" :  \"8000\" , // x\r\n";
    EXPECT_TRUE(ReplaceJsonValue(f, json, sizeof json - 1, 19, 24, "49153"));
    EXPECT_FALSE(ReplaceJsonValue(f, json, sizeof json - 1, 19, 24, "8000"));
    const char xml[] = "    <LocalPort a=\"1\">8000</LocalPort>\n";
    EXPECT_TRUE(ReplaceXmlValue(f, xml, sizeof xml - 1, "49153"));
    EXPECT_FALSE(ReplaceXmlValue(f, xml, sizeof xml - 1, "8000"));
    const char text[] = "no element here\n";
    EXPECT_FALSE(ReplaceXmlValue(f, text, sizeof text - 1, "ON"));
    fclose(f);
    EXPECT_EQ(ReadFileBytes(dst), "\t\"OPCLocalPort\" :  \"49153\" , // x\r\n"
                            "\t\"OPCLocalPort\" :  \"8000\" , // x\r\n"
                            "    <LocalPort a=\"1\">49153</LocalPort>\n"
                            "    <LocalPort a=\"1\">8000</LocalPort>\n"
                            "no element here\n");
}

}  // namespace
