// The configuration patches on device files written by hand, against
// expected outputs written by hand.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "reconfig/json_patch.h"
#include "reconfig/patch_check.h"
#include "reconfig/xml_patch.h"
#include "tests/test_files.h"

namespace {

using krvtest::ReadFileBytes;

std::wstring Widen(const char* s) {
    std::wstring w;
    for (; *s; ++s) w += static_cast<wchar_t>(static_cast<unsigned char>(*s));
    return w;
}

// The data folder as a Windows path (Z: is the Unix root).
std::wstring DataPath(const char* name) {
    std::wstring p = L"Z:" + Widen(CFGPATCH_DATA) + L"/" + Widen(name);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    return p;
}

std::wstring OutPath(const char* name) {
    if (!krvtest::MakeFolder(L"cfgpatch_out")) ADD_FAILURE() << "no output folder, error " << GetLastError();
    return L"cfgpatch_out\\" + Widen(name);
}

enum Kind { Json, Xml };

struct Case {
    const char* name;
    Kind kind;
    const char* src;
    const char* expected;  // nullptr: the destination equals the source
    int port;
    bool flag;  // subscribe (JSON) or password login (XML)
    PatchOutcome outcome;
    unsigned found;
    int changed;
};

const Case kCases[] = {
    // A 4.0 device: the four settings; longer keys that begin with them stay.
    {"lattix40_subscribe", Json, "lattix40.json", "lattix40_49153_subscribe.expected.json", 49153, true, kPatchUpload,
     15, 4},
    {"lattix40_poll", Json, "lattix40.json", "lattix40_502_poll.expected.json", 502, false, kPatchUpload, 15, 3},
    // Every occurrence replaced, one already right is not counted; CR LF kept.
    {"json_repeated", Json, "json_repeated_crlf.json", "json_repeated_crlf.expected.json", 49153, true, kPatchUpload,
     15, 4},
    // Only a line's first string is a key; a bare value is no value, nor is
    // a later string on its line.
    {"json_oneline", Json, "json_oneline.json", "json_oneline.expected.json", 49153, true, kPatchAskPartial, 9, 2},
    // Comment lines stay; keys are matched whole.
    {"json_commented", Json, "json_commented.json", "json_commented.expected.json", 49153, true, kPatchAskPartial, 3,
     2},
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
    // Elements inside comments stay, and a comment line is no element: the
    // nesting holds, so the reduced copy goes out.
    {"xml_commented", Xml, "xml_commented.xml", "xml_commented.expected.xml", 49153, true, kPatchUpload, 15, 4},
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

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class PatchCase : public testing::TestWithParam<Case> {};

TEST_P(PatchCase, WritesTheExpectedBytes) {
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

TEST(Patch, SourceThatCannotBeOpened) {
    std::wstring missing = DataPath("no-such-file.json");
    std::wstring dst = OutPath("missing_src");
    DeleteFileW(dst.c_str());
    EXPECT_EQ(PatchJsonFile(missing.c_str(), dst.c_str(), 49153, true).outcome, kPatchNoInput);
    EXPECT_EQ(PatchXmlFile(missing.c_str(), dst.c_str(), 49153, true).outcome, kPatchNoInput);
    // Nothing is created when the source is missing.
    EXPECT_EQ(GetFileAttributesW(dst.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Patch, DestinationThatCannotBeCreated) {
    std::wstring dst = L"cfgpatch_out\\no-such-folder\\out";
    EXPECT_EQ(PatchJsonFile(DataPath("lattix40.json").c_str(), dst.c_str(), 49153, true).outcome, kPatchNoOutput);
    EXPECT_EQ(PatchXmlFile(DataPath("vexxa.xml").c_str(), dst.c_str(), 49153, true).outcome, kPatchNoOutput);
}

TEST(Patch, DestinationIsEmptiedFirst) {
    std::wstring dst = OutPath("emptied");
    ASSERT_TRUE(krvtest::WriteFileBytes(dst, std::string(20000, 'x')));
    PatchXmlFile(DataPath("xml_missing_output.xml").c_str(), dst.c_str(), 49153, true);
    EXPECT_EQ(ReadFileBytes(dst), ReadFileBytes(DataPath("xml_missing_output.expected.xml")));
}

// Lines longer than a piece: each piece is taken as a line of its own.
TEST(Patch, LongLinesGoInPieces) {
    std::wstring src = OutPath("long_src.json");
    std::wstring dst = OutPath("long_dst.json");
    // A piece ends after 499 bytes: the first setting begins the second piece
    // of its line, the last one is cut in two and not found.
    std::string pad = "  \"Pad\": \"" + std::string(499 - 12, 'p') + "\",";
    ASSERT_EQ(pad.size(), 499u);
    std::string in = pad + "\"OPCServerEnable\": \"0\",\n" + "  \"OPCLocalPort\": \"8000\", " + std::string(460, ' ') +
                     "\"OpcOutputEnable\": \"0\"\n";
    std::string out = pad + "\"OPCServerEnable\": \"1\",\n" + "  \"OPCLocalPort\": \"49153\", " +
                      std::string(460, ' ') + "\"OpcOutputEnable\": \"0\"\n";
    ASSERT_TRUE(krvtest::WriteFileBytes(src, in));
    CPatchResult r = PatchJsonFile(src.c_str(), dst.c_str(), 49153, true);
    EXPECT_EQ(r.found, 3u);
    EXPECT_EQ(r.changed, 2);
    EXPECT_EQ(r.outcome, kPatchAskPartial);
    EXPECT_EQ(ReadFileBytes(dst), out);
}

TEST(Patch, ReplaceKeepsEverythingAroundTheValue) {
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

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    ASSERT_TRUE(krvtest::WriteFileBytes(path, bytes)) << "fixture not written, error " << GetLastError();
}

std::vector<std::string> SplitLines(const std::string& s) {
    std::vector<std::string> lines;
    size_t a = 0;
    while (a < s.size()) {
        size_t b = s.find('\n', a);
        b = b == std::string::npos ? s.size() : b + 1;
        lines.push_back(s.substr(a, b - a));
        a = b;
    }
    return lines;
}

// Every patched test file is what the download was but for the values set.
TEST_P(PatchCase, PassesTheCheckBeforeUpload) {
    const Case& c = GetParam();
    if (c.outcome != kPatchUpload && c.outcome != kPatchAskPartial) return;
    std::string src = ReadFileBytes(DataPath(c.src));
    std::string copy = c.expected ? ReadFileBytes(DataPath(c.expected)) : src;
    EXPECT_TRUE(IsFaithfulPatch(c.kind == Json ? kPatchJson : kPatchXml, src, copy, c.port, c.flag));
}

// Markup that is no element, on a line of its own anywhere in a device
// file, changes nothing but the values the patch sets, and the copy stays
// whole.
TEST(Patch, MarkupLinesAreNoElements) {
    const std::string vexxa = ReadFileBytes(DataPath("vexxa.xml"));
    const std::vector<std::string> lines = SplitLines(vexxa);
    ASSERT_GT(lines.size(), 200u);
    const char* const inserts[] = {
        "<!-- Hinweis -->\n",
        "  <?vexxa sicht=\"alle\"?>\n",
        "<![CDATA[ <Enable_HTTP>OFF</Enable_HTTP> ]]>\n",
        "<!-- mehrzeilig\n<TcpServer1>\n<LocalPort>1</LocalPort>\n-->\n",
    };
    std::wstring src = OutPath("markup_src.xml");
    std::wstring dst = OutPath("markup_dst.xml");
    for (const char* insert : inserts) {
        int bad = 0;
        for (size_t at = 1; at <= lines.size(); ++at) {
            std::string in;
            for (size_t i = 0; i < lines.size(); ++i) {
                if (i == at) in += insert;
                in += lines[i];
            }
            if (at == lines.size()) in += insert;
            // CDATA outside the root is no XML; the download would be refused.
            if (!IsWholeXml(in)) continue;
            WriteBytes(src, in);
            CPatchResult r = PatchXmlFile(src.c_str(), dst.c_str(), 49153, true);
            std::string out = ReadFileBytes(dst);
            // A comment inside a left-out element goes with it; everywhere
            // else the copy is the download with only the settings changed.
            bool ok = r.outcome == kPatchUpload && r.found == 15u && IsWholeXml(out) &&
                      IsFaithfulPatch(kPatchXml, in, out, 49153, true) && out.find("</Sections>") != std::string::npos;
            if (!ok && ++bad <= 3)
                ADD_FAILURE() << "inserted before line " << at + 1 << ": " << insert << "outcome " << r.outcome
                              << " found " << r.found;
        }
        EXPECT_EQ(bad, 0) << insert;
    }
}

// A ">" inside an attribute value is no end of the tag.
TEST(Patch, AttributeValueWithGreaterThan) {
    const std::string in = "<?xml version=\"1.0\"?>\n<Dev>\n <Cfg>\n  <Sections>\n   <BasicSettings>\n"
                           "    <Enable_BINARY_1 hint=\"a>b\">OFF</Enable_BINARY_1>\n"
                           "    <TcpServer1>\n     <LocalPort unit='p>'>8000</LocalPort>\n"
                           "     <ApplicationMode1>\n      <OPC_Device>OFF</OPC_Device>\n"
                           "     </ApplicationMode1>\n    </TcpServer1>\n   </BasicSettings>\n"
                           "   <OutputMode>\n    <Output1>\n     <Binary_1>OFF</Binary_1>\n"
                           "     <Info a=\"x>y\">1</Info>\n    </Output1>\n   </OutputMode>\n"
                           "  </Sections>\n </Cfg>\n</Dev>\n";
    std::string expected = in;
    auto set = [&](const std::string& from, const std::string& to) {
        size_t p = expected.find(from);
        ASSERT_NE(p, std::string::npos) << from;
        expected.replace(p, from.size(), to);
    };
    set("<Info a=\"x>y\">1<", "<Info a=\"x>y\">OFF<");
    set("<Binary_1>OFF<", "<Binary_1>ON<");
    set("<OPC_Device>OFF<", "<OPC_Device>ON<");
    std::wstring src = OutPath("attr_gt_src.xml");
    std::wstring dst = OutPath("attr_gt_dst.xml");
    WriteBytes(src, in);
    CPatchResult r = PatchXmlFile(src.c_str(), dst.c_str(), 49153, true);
    // Attributes make the first two names differ: not found, the whole file.
    EXPECT_EQ(r.outcome, kPatchAskPartial);
    EXPECT_EQ(ReadFileBytes(dst), expected);
    EXPECT_TRUE(IsFaithfulPatch(kPatchXml, in, ReadFileBytes(dst), 49153, true));
}

// Whole documents, and what a cut or a foreign file gives.
TEST(PatchCheck, WholeDocuments) {
    const std::string json = ReadFileBytes(DataPath("lattix40.json"));
    const std::string xml = ReadFileBytes(DataPath("vexxa.xml"));
    EXPECT_TRUE(IsWholeJson(json));
    EXPECT_TRUE(IsWholeXml(xml));
    for (const char* name : {"json_commented.json", "json_ctrlz.json", "json_minified.json", "json_nested.json"})
        EXPECT_TRUE(IsWholeJson(ReadFileBytes(DataPath(name)))) << name;
    for (const char* name : {"xml_commented.xml", "xml_nested.xml", "xml_oneline.xml", "xml_attr_basic.xml"})
        EXPECT_TRUE(IsWholeXml(ReadFileBytes(DataPath(name)))) << name;
    for (size_t cut : {json.size() * 6 / 10, json.size() - 3, size_t{0}})
        EXPECT_FALSE(IsWholeJson(json.substr(0, cut))) << cut;
    for (size_t cut : {xml.size() * 6 / 10, xml.size() - 4, size_t{40}, size_t{0}})
        EXPECT_FALSE(IsWholeXml(xml.substr(0, cut))) << cut;
    EXPECT_FALSE(IsWholeJson("\r\n" + json.substr(0, 40)));
    EXPECT_FALSE(IsWholeJson(json + "{}"));
    EXPECT_FALSE(IsWholeJson("<html>100 bytes of somebody else</html>"));
    EXPECT_FALSE(IsWholeXml("<html>a</html><html>b</html>"));
    EXPECT_FALSE(IsWholeXml("<a><b></a></b>"));
    EXPECT_FALSE(IsWholeXml("<a><!-- open </a>"));
    EXPECT_FALSE(IsWholeXml("{\"json\": 1}"));
}

// What a download that is no whole document holds: the start of one (cut on
// the way, or nothing), or something no document holds, as firmware writes
// it. Every beginning of a whole file is a cut one; an odd file is refused
// before it is patched, and is not taken for a cut one.
TEST(PatchCheck, CutDownloadsAreToldFromOddOnes) {
    auto shape = [](PatchKind kind, const std::string& bytes) {
        return kind == kPatchJson ? ShapeOfJson(bytes) : ShapeOfXml(bytes);
    };
    const struct {
        const char* file;
        PatchKind kind;
    } whole[] = {{"lattix40.json", kPatchJson},
                 {"json_commented.json", kPatchJson},
                 {"vexxa.xml", kPatchXml},
                 {"xml_commented.xml", kPatchXml},
                 {"xml_attr_basic.xml", kPatchXml}};
    for (const auto& w : whole) {
        const std::string bytes = ReadFileBytes(DataPath(w.file));
        ASSERT_EQ(kShapeWhole, shape(w.kind, bytes)) << w.file;
        // The whole document ends with the last markup; blanks may follow.
        size_t end = bytes.find_last_of(w.kind == kPatchJson ? "}]" : ">") + 1;
        int wrong = 0;
        for (size_t cut = 0; cut < end; ++cut)
            if (shape(w.kind, bytes.substr(0, cut)) != kShapeCut && ++wrong <= 3)
                ADD_FAILURE() << w.file << " cut after " << cut << " bytes";
    }
    const struct {
        const char* file;
        PatchKind kind;
    } odd[] = {{"vexxa_unescaped_lt.xml", kPatchXml},
               {"vexxa_trailer.xml", kPatchXml},
               {"vexxa_utf16.xml", kPatchXml},
               {"lattix40_ok.json", kPatchJson}};
    std::wstring dst = OutPath("odd_dst");
    for (const auto& o : odd) {
        SCOPED_TRACE(o.file);
        EXPECT_EQ(kShapeMalformed, shape(o.kind, ReadFileBytes(DataPath(o.file))));
        DeleteFileW(dst.c_str());
        DocumentShape download = kShapeWhole;
        CPatchResult r = PatchChecked(o.kind, DataPath(o.file).c_str(), dst.c_str(), 49153, true, &download);
        EXPECT_EQ(kShapeMalformed, download);
        EXPECT_EQ(kPatchNothingFound, r.outcome);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dst.c_str())) << "nothing written to upload";
    }
    EXPECT_EQ(kShapeCut, ShapeOfXml(""));
    EXPECT_EQ(kShapeCut, ShapeOfJson("\r\n"));
    EXPECT_EQ(kShapeMalformed, ShapeOfJson("<html>100 bytes of somebody else</html>"));
    EXPECT_EQ(kShapeMalformed, ShapeOfXml("<a><b></a></b>"));
}

// Copies that differ from the download outside the values set are refused.
TEST(PatchCheck, RefusesCopiesThatChangeMore) {
    const std::string xml = ReadFileBytes(DataPath("vexxa.xml"));
    const std::string good = ReadFileBytes(DataPath("vexxa_49153_login.expected.xml"));
    ASSERT_TRUE(IsFaithfulPatch(kPatchXml, xml, good, 49153, true));
    auto changed = [](std::string s, const std::string& from, const std::string& to) {
        size_t p = s.find(from);
        EXPECT_NE(p, std::string::npos) << from;
        if (p != std::string::npos) s.replace(p, from.size(), to);
        return s;
    };
    const std::string bad[] = {
        changed(good, "</Sections>\r\n", ""),                          // a closing tag dropped
        changed(good, "<Enable_HTTP>ON<", "<Enable_HTTP>OFF<"),        // an unrelated setting
        changed(good, "<LocalPort>49153<", "<LocalPort>49154<"),       // another port
        changed(good, "<Modbus_TCP>OFF<", "<Modbus_TCP>ON<"),          // a second mode
        changed(good, "<DeviceName>vexxa-sued<", "<DeviceName>OFF<"),  // a value the patch never sets there
        good.substr(0, good.size() / 2),                               // cut
        good + "<Extra/>\n",                                           // more than the download
    };
    for (const std::string& copy : bad) EXPECT_FALSE(IsFaithfulPatch(kPatchXml, xml, copy, 49153, true)) << copy.size();
    // Another value for the port the patch did not set is refused too.
    EXPECT_FALSE(IsFaithfulPatch(kPatchXml, xml, good, 49154, true));

    const std::string json = ReadFileBytes(DataPath("lattix40.json"));
    const std::string jgood = ReadFileBytes(DataPath("lattix40_49153_subscribe.expected.json"));
    ASSERT_TRUE(IsFaithfulPatch(kPatchJson, json, jgood, 49153, true));
    EXPECT_FALSE(IsFaithfulPatch(kPatchJson, json, jgood, 49153, false));
    EXPECT_FALSE(IsFaithfulPatch(kPatchJson, json, changed(jgood, "\"DHCP\": \"0\"", "\"DHCP\": \"1\""), 49153, true));
    EXPECT_FALSE(IsFaithfulPatch(kPatchJson, json, jgood.substr(0, jgood.size() - 3), 49153, true));
    // The "key" inside a comment is no key.
    const std::string commented = "{\n /* \"OPCLocalPort\": \"1\" */ \"A\": \"2\"\n}\n";
    EXPECT_FALSE(IsFaithfulPatch(kPatchJson, "{\n /*\n\"OPCLocalPort\": \"1\",\n*/\n}\n",
                                 "{\n /*\n\"OPCLocalPort\": \"49153\",\n*/\n}\n", 49153, true));
    EXPECT_TRUE(IsFaithfulPatch(kPatchJson, commented, commented, 49153, true));
}

// The patch as the dialog runs it: a download that is no whole document is
// not patched; what would go out is checked first.
TEST(PatchCheck, CutDownloadsAreNotPatched) {
    struct Cut {
        const char* file;
        PatchKind kind;
        int percent;
    };
    const Cut cuts[] = {{"lattix40.json", kPatchJson, 60},
                        {"vexxa.xml", kPatchXml, 60},
                        {"vexxa.xml", kPatchXml, 97},
                        {"lattix40.json", kPatchJson, 99}};
    std::wstring src = OutPath("cut_src");
    std::wstring dst = OutPath("cut_dst");
    for (const Cut& c : cuts) {
        std::string whole = ReadFileBytes(DataPath(c.file));
        WriteBytes(src, whole.substr(0, whole.size() * c.percent / 100));
        DeleteFileW(dst.c_str());
        CPatchResult r = PatchChecked(c.kind, src.c_str(), dst.c_str(), 49153, true);
        EXPECT_EQ(r.outcome, kPatchNothingFound) << c.file << " " << c.percent;
        EXPECT_EQ(GetFileAttributesW(dst.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    WriteBytes(src, ReadFileBytes(DataPath("vexxa.xml")));
    EXPECT_EQ(PatchChecked(kPatchXml, src.c_str(), dst.c_str(), 49153, true).outcome, kPatchUpload);
    EXPECT_EQ(ReadFileBytes(dst), ReadFileBytes(DataPath("vexxa_49153_login.expected.xml")));
}

}  // namespace
