// The store's file image against the platform's own profile functions: the
// same configuration must give the same file, and the same file the same
// configuration, whichever way the keys go.
#include "config/device_cfg.h"
#include "cfg_test_util.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <vector>

using namespace cfgtest;

namespace {

// A file we created starts with an empty line after the byte-order mark;
// the platform drops it when it rewrites the file.
std::string WithoutFrame(std::string bytes) {
    if (bytes.compare(0, 6, std::string("\xFF\xFE\r\0\n\0", 6)) == 0) bytes.erase(2, 4);
    return bytes;
}

// Devices of every type with values that a profile file treats specially.
void Fill(CCfgStore& s) {
    const wchar_t* hosts[] = {
        L"10.0.0.1",          L"a=b", L"semi;colon", L"  padded  ", L"\"quoted\"", L"Gr\x00fc\x00dfe",
        L"\xD83D\xDE00 wide", L""};
    int n = 0;
    for (int type = -1; type <= 25; ++type) {
        CString name = type == -1 ? CString(L"OpcServer_Global") : FormatString(L"Ger\x00e4t %d", type);
        if (type == 5) name = CString(L'N', 127);
        CDeviceCfg* d = new CDeviceCfg(name, type);
        d->Inputs = 2 + type % 4;
        d->Outputs = 1 + type % 3;
        d->TargetHost = hosts[n++ % 8];
        d->Password = FormatString(L"P=%d;\x00f6", type);
        d->SerialParam = L"9600,n,8,1";
        d->SerialFilter = L"end=13;drop=;add=10;";
        d->Unit[0] = L"m\x00b3/h";
        d->BuildDefaultItemNames();
        if (type == 2) {  // longer than any fixed read buffer
            d->ItemNames = L".1";
            for (int i = 0; i < 300; ++i) d->ItemNames += FormatString(L"Eingang_%d.", i);
        }
        if (type == 4) d->ItemNames = CString(L".1\x00c4nderung=1;x.1Zwei");
        s.AddDevice(d);
    }
}

struct Files {
    TempDir dir;
    std::wstring keys = dir / L"keys.ini", image = dir / L"image.ini";
};

// The same records in two stores: `a` goes through the file image, `b` key by key.
struct TwoStores : Files {
    CCfgStore a{L""}, b{L""};
    TwoStores() {
        Fill(a);
        Fill(b);
        b.SetPerKeyAccess(true);
    }
};

TEST(StoreImage, SaveGivesThePlatformsBytes) {
    TwoStores f;
    ASSERT_TRUE(f.b.Save(f.keys.c_str()));
    ASSERT_TRUE(f.a.Save(f.image.c_str()));
    std::string viaImage = ReadBytes(f.image);
    ASSERT_EQ(std::string("\xFF\xFE\r\0\n\0", 6), viaImage.substr(0, 6));
    EXPECT_EQ(WithoutFrame(ReadBytes(f.keys)), WithoutFrame(viaImage));

    // and both read back to the same records
    CCfgStore ra(L""), rb(L"");
    ra.SetPerKeyAccess(true);
    ASSERT_EQ(27, ra.Load(f.image.c_str(), true));
    ASSERT_EQ(27, rb.Load(f.image.c_str(), true));
    ra.SetPerKeyAccess(false);
    ASSERT_TRUE(ra.Save(f.keys.c_str()));
    ASSERT_TRUE(rb.Save(f.image.c_str()));
    EXPECT_EQ(ReadBytes(f.keys), ReadBytes(f.image));
}

// Records written one by one outside a save (the clipboard copy does so)
// are each in the file when the call returns.
TEST(StoreImage, SingleRecordWritesReachTheFile) {
    TwoStores f;
    CCfgStore &a = f.a, &b = f.b;
    ASSERT_TRUE(a.CreateEmptyFile(f.image.c_str()));
    ASSERT_TRUE(b.CreateEmptyFile(f.keys.c_str()));
    CDeviceCfg* da = a.GetFirstDevice();
    CDeviceCfg* db = b.GetFirstDevice();
    for (int i = 0; i < 3; ++i, da = a.GetNextDevice(da), db = b.GetNextDevice(db)) {
        ASSERT_TRUE(a.WriteDevice(da));
        ASSERT_TRUE(b.WriteDevice(db));
        EXPECT_EQ(WithoutFrame(ReadBytes(f.keys)), WithoutFrame(ReadBytes(f.image))) << i;
    }
}

// A batch of record writes reaches the file once, at its end, with the
// same bytes as the key-by-key writes.
TEST(StoreImage, BatchedRecordWrites) {
    TwoStores f;
    CCfgStore &a = f.a, &b = f.b;
    ASSERT_TRUE(a.CreateEmptyFile(f.image.c_str()));
    ASSERT_TRUE(b.CreateEmptyFile(f.keys.c_str()));
    for (CDeviceCfg* d = b.GetFirstDevice(); d; d = b.GetNextDevice(d)) ASSERT_TRUE(b.WriteDevice(d));
    {
        CCfgStore::WriteBatch batch(a);
        for (CDeviceCfg* d = a.GetFirstDevice(); d; d = a.GetNextDevice(d)) ASSERT_TRUE(a.WriteDevice(d));
        EXPECT_EQ(6u, ReadBytes(f.image).size()) << "written only when the batch ends";
    }
    EXPECT_EQ(WithoutFrame(ReadBytes(f.keys)), WithoutFrame(ReadBytes(f.image)));
}

// Hand-edited files: both readers must find the same configuration.
const wchar_t* const kCorpus[] = {
    L"[A]\r\nDeviceType=1\r\nTargetHost=h1\r\n[a]\r\nTargetHost=h2\r\nDeviceType=3\r\n",
    L"; comment\r\n\r\n  [ Box 1 ]  \r\n  devicetype = 4 \r\nINPUTS=a\r\nItemNames=\".1X.2Y\"\r\n",
    L"[B]\nDeviceType=11\nScaledInput0=1;-5.5;20;bar\nScaledInput1=junk\nInputs=3\n",
    L"[C]\r\nDeviceType\r\nDeviceType=2\r\n[D]\r\nDeviceType=zz\r\n[E]\r\nDeviceType=-1\r\n",
    L"[OpcServer_Global]\r\nDeviceType=ffffffff\r\nIdleTicks=1e\r\n[OpcServer_Global]\r\nIdleTicks=99\r\n",
    L"[F]\r\nDeviceType=12\r\nPassword=zzzz\r\nTargetHost=a=b=c\r\nHttpPort=123456789abcdef0123\r\n",
    L"[G]\r\n[G]\r\nDeviceType=6\r\n[]\r\nDeviceType=1\r\n[H\r\nDeviceType=1\r\n",
    L"[I]\r\nDeviceType=1a\r\nItemNames=.1\x00c4.2\xD83D\xDE00\r\nTargetHost=  \"  x  \"  \r\n",
    L"[J]\rDeviceType=3\rSerialParam=\rSerialFilter=end=13;\r[K]\rDeviceType=1\rTargetHost=",
    L"[L]\r\nDeviceType=2\r\nTargetHost=\r\nPassword=\r\nInputs=\r\nItemNames=\r\n",
};

std::wstring LongLines() {
    std::wstring t = L"[Long]\r\nDeviceType=4\r\nInputs=40\r\nItemNames=.1";
    for (int i = 0; i < 4000; ++i) t += L"Kanal" + std::to_wstring(i) + L".";
    t += L"\r\nTargetHost=" + std::wstring(70000, L'h') + L"\r\n[" + std::wstring(300, L'S') + L"]\r\nDeviceType=1\r\n";
    return t;
}

class ReadBothWays : public testing::TestWithParam<int> {};

TEST_P(ReadBothWays, SameConfiguration) {
    Files f;
    std::wstring src = f.dir / L"src.ini";
    int which = GetParam();
    std::wstring text = which == 99 ? LongLines() : kCorpus[which % 10];
    if (which >= 10 && which < 99)
        WriteBytes(src, std::string(text.begin(), text.end()));  // ANSI, no BOM
    else
        WriteProfile(src, text);
    CCfgStore a(L""), b(L"");
    a.SetPerKeyAccess(true);
    int na = a.Load(src.c_str(), true);
    int nb = b.Load(src.c_str(), true);
    EXPECT_EQ(na, nb);
    a.SetPerKeyAccess(false);
    ASSERT_TRUE(a.Save(f.keys.c_str()));
    ASSERT_TRUE(b.Save(f.image.c_str()));
    EXPECT_EQ(ReadBytes(f.keys), ReadBytes(f.image));
}

// 0..9 UTF-16 with BOM; 10..: the ASCII ones again as ANSI files; 99 long lines.
INSTANTIATE_TEST_SUITE_P(Corpus, ReadBothWays,
                         testing::Values(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 99));

// A load reads a UTF-16 file as it streams by, through a buffer of a few
// lines, and leaves what only the whole image answers to the image: both
// must give the same records, wherever a line falls against the buffer.
std::wstring StreamCorpus(const wchar_t* eol, size_t sections) {
    std::wstring t = L"DeviceType=4\r\nBefore=the first header";
    t += eol;
    unsigned r = 777;
    auto next = [&r] { return r = r * 1103515245u + 12345u, (r >> 8); };
    for (size_t i = 0; i < sections; ++i) {
        const int type = (int)(next() % 29) - 2;  // no DeviceType at all now and then
        switch (i % 5) {
        case 0: t += L"[S" + std::to_wstring(i) + L"]"; break;
        case 1: t += L"  [ s" + std::to_wstring(i) + L" x ]  "; break;
        case 2: t += L"[Box" + std::to_wstring(i) + L"=a]b]"; break;
        case 3: t += L"[\x00c4" + std::to_wstring(i) + L"]"; break;
        default: t += L"[T" + std::to_wstring(i) + L"\t]"; break;
        }
        t += eol;
        if (type != kTypeListHead) {
            const wchar_t* forms[] = {L"DeviceType=%x", L" devicetype = '%x' ", L"DEVICETYPE=\"%x\"", L"DeviceType=%X"};
            t += FormatString(forms[next() % 4], type).GetString();
            t += eol;
        }
        if (next() % 7 == 0) t += std::wstring(L"ItemNames") + eol;  // the first one counts: none
        t += L"ItemNames=.1";
        size_t len = next() % 2500;
        if (i == sections / 2) len = 150000;  // beyond the buffer, twice over
        for (size_t k = 0; k < len; k += 8) t += L"Kanal" + std::to_wstring(k % 1000) + L".";
        t += eol;
        t += L"TargetHost=h";
        t += std::to_wstring(i);
        if (i % 3 == 0) t += std::wstring(1, L'\0') + L"cut";
        t += eol;
        t += FormatString(L"Inputs=%d%ls;comment=x%lsOutputs=  %x  %ls", (int)(next() % 40), eol, eol,
                          (int)(next() % 40), eol)
                 .GetString();
        if (next() % 4 == 0) t += std::wstring(L"Password=1a2b3c4d") + eol;
        if (next() % 5 == 0) t += std::wstring(L"[X no header") + eol + L"Inputs=99" + eol;
        if (next() % 9 == 0) t += std::wstring(L"[]") + eol + L"DeviceType=1" + eol;
        if (type == 11) t += std::wstring(L"ScaledInput1=I-1;2.5;\x00b0") + L"C" + eol;
        if (type == kTypeGlobal) t += std::wstring(L"IdleTicks=") + std::to_wstring(i) + eol;
        t += std::wstring(next() % 3, L' ') + eol;
    }
    t += L"[Last]";
    t += eol;
    t += L"DeviceType=1";
    t += eol;
    t += L"Inputs=1";  // no line end, and maybe a byte more
    return t;
}

TEST(StoreImage, StreamedLoadGivesTheImagesRecords) {
    const wchar_t* ends[] = {L"\r\n", L"\n", L"\r"};
    for (int variant = 0; variant < 6; ++variant) {
        SCOPED_TRACE(variant);
        Files f;
        std::wstring src = f.dir / L"src.ini";
        std::string bytes = Utf16Bytes(StreamCorpus(ends[variant % 3], 3000));
        if (variant >= 3) bytes += 'A';  // a cut-off last character
        WriteBytes(src, bytes);
        CCfgStore a(L""), b(L"");
        int na = a.Load(src.c_str(), true);
        // the image's reading of the same file
        b.Load(src.c_str(), true);
        b.ClearAll();
        int nb = b.ReadAllSections();
        if (!b.FetchGlobalTiming()) b.EnsureGlobalDevice();
        EXPECT_GT(na, 2000);
        EXPECT_EQ(nb, na);
        ASSERT_TRUE(a.Save(f.keys.c_str()));
        ASSERT_TRUE(b.Save(f.image.c_str()));
        EXPECT_TRUE(ReadBytes(f.keys) == ReadBytes(f.image));
    }
}

// Read into a store that holds records (a paste): a global options section
// merges into the store's one, every other record joins the list.
TEST(StoreImage, StreamedMergeGivesThePlatformsRecords) {
    for (const wchar_t* text : kCorpus) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        Files f;
        std::wstring src = f.dir / L"src.ini", first = f.dir / L"first.ini";
        WriteProfile(first, L"[OpcServer_Global]\r\nDeviceType=ffffffff\r\nIdleTicks=7\r\n[Box1]\r\nDeviceType=4\r\n");
        WriteProfile(src, text);
        CCfgStore a(L""), b(L"");
        b.SetPerKeyAccess(true);
        ASSERT_EQ(a.Load(first.c_str(), true), b.Load(first.c_str(), true));
        a.GetFirstDevice()->UndoGeneration = 3;
        b.GetFirstDevice()->UndoGeneration = 3;
        EXPECT_EQ(b.Load(src.c_str(), false), a.Load(src.c_str(), false));
        EXPECT_EQ(b.IdleTicks, a.IdleTicks);
        b.SetPerKeyAccess(false);
        ASSERT_TRUE(a.Save(f.image.c_str()));
        ASSERT_TRUE(b.Save(f.keys.c_str()));
        EXPECT_EQ(ReadBytes(f.keys), ReadBytes(f.image));
        CDeviceCfg *da = a.GetFirstDevice(), *db = b.GetFirstDevice();
        for (; da && db; da = a.GetNextDevice(da), db = b.GetNextDevice(db))
            EXPECT_EQ(db->UndoGeneration, da->UndoGeneration);
        EXPECT_TRUE(!da && !db);
    }
}

// A large configuration of every type with spread values, saved, read back
// and saved again: the bytes are those the store wrote before its image was
// made fast (size and digest of each file as that code wrote them).
std::string Digest(const std::string& bytes) {
    unsigned long long h = 14695981039346656037ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    char out[48];
    snprintf(out, sizeof out, "%zu:%016llx", bytes.size(), h);
    return out;
}

void FillLarge(CCfgStore& s, int count) {
    const int counts[] = {0, 1, 2, 7, 8, 13, 24, -3, 4, 3, 33, 16};
    const wchar_t* hosts[] = {L"10.0.0.1", L"", L"host=a;b", L"Gr\x00fc\x00dfe.local", L"  pad  ", L"fe80::1%2"};
    const wchar_t* passwords[] = {L"", L"x", L"geheim", L"\x00e4\x20ac\x7FFF", L"a long password with spaces"};
    unsigned r = 12345;
    auto next = [&r] { return r = r * 1103515245u + 12345u, (r >> 8); };
    CDeviceCfg* g = new CDeviceCfg(L"OpcServer_Global", kTypeGlobal);
    g->WatchdogTicks = 30;
    g->IdleTicks = 5;
    g->MinUpdateRate = 250;
    g->BuildDefaultItemNames();
    s.AddDevice(g);
    for (int i = 0; i < count; ++i) {
        int type = (int)(next() % 29) - 1;  // -1 .. 27: one global too many, and types no table knows
        if (type == kTypeGlobal) type = 27;
        CDeviceCfg* d = new CDeviceCfg(L"", type);
        d->SetDefaultName(i + 1);
        if (i % 97 == 0) d->OpcName = FormatString(L"Ger\x00e4t %d ", i) + CString(L'x', (int)(next() % 140));
        d->Inputs = counts[next() % 12];
        d->Outputs = counts[next() % 12];
        if (i % 211 == 0) d->Inputs = 1500;  // beyond the builders' bound
        d->TargetHost = hosts[next() % 6];
        d->Password = passwords[next() % 5];
        d->Disable = (int)(next() % 2);
        d->MaxIdleTicks = (int)(next() % 600) - 100;
        d->MinIntervalTicks = (int)next();
        d->SerialNo = (int)(next() * 2654435761u);
        d->BinaryPort = (unsigned short)next();
        d->HttpPort = (unsigned short)(next() % 3 ? 80 : next());
        d->HttpSecure = (int)(next() % 2);
        d->BinaryLogin = (int)(next() % 3 == 0);
        d->LoginRequired = (int)(next() % 2);
        d->EnOceanBaseAddress = (int)(0xFF800000u + next() % 0x80);
        d->ReceiveMode = (int)(next() % 5);
        d->Interval = (int)(next() % 100);
        d->SerialPacketGap = (int)(next() % 20);
        d->Unit[next() % 3] = L"m\x00b3/h";
        d->ScaleMin[next() % 3] = -(double)(next() % 1000) / 8;
        d->BuildDefaultItemNames();
        switch (next() % 4) {  // the default, cut, lengthened or emptied
        case 1: d->ItemNames = d->ItemNames.Left(d->ItemNames.GetLength() / 2); break;
        case 2: d->ItemNames += FormatString(L".1Extra%d.2Sub", i); break;
        case 3: d->ItemNames.Empty(); break;
        }
        s.AddDevice(d);
    }
    // Neighbours of one type whose names have as many entries as the first
    // one's default but other counts: read one after the other, the second
    // must still be fitted to its own default.
    for (int type = 0; type <= 27; ++type)
        for (int k = 0; k < 2; ++k) {
            CDeviceCfg* first = new CDeviceCfg(FormatString(L"Pair%d_%d_a", type, k), type);
            first->Inputs = 2;
            first->Outputs = 2;
            first->BuildDefaultItemNames();
            CDeviceCfg* second = new CDeviceCfg(FormatString(L"Pair%d_%d_b", type, k), type);
            second->Inputs = k ? 2 : 5;
            second->Outputs = k ? 5 : 2;
            second->ItemNames = first->ItemNames;
            s.AddDevice(second);  // the file holds the list's order: `first` is read first
            s.AddDevice(first);
        }
}

TEST(StoreImage, LargeConfigurationKeepsItsBytes) {
    Files f;
    CCfgStore a(L"");
    FillLarge(a, 2000);
    ASSERT_TRUE(a.Save(f.image.c_str()));
    std::string first = ReadBytes(f.image);
    EXPECT_EQ("1465954:f87469f7da2cb7af", Digest(first));
    CCfgStore b(L"");
    ASSERT_EQ(2113, b.Load(f.image.c_str(), true));
    ASSERT_TRUE(b.Save(f.keys.c_str()));
    EXPECT_EQ("1633378:3639c3f9ba835fb7", Digest(ReadBytes(f.keys)));
    // read and written once more: the first order, with the names fitted
    CCfgStore c(L"");
    ASSERT_EQ(2113, c.Load(f.keys.c_str(), true));
    ASSERT_TRUE(c.Save(f.image.c_str()));
    EXPECT_EQ("1633378:28be9ce4baa2d297", Digest(ReadBytes(f.image)));
}

// A load keeps no image of the file once its records are read: a key read
// afterwards finds the file as it is now, as the platform's functions would.
TEST(StoreImage, KeysReadAfterALoadSeeTheFileAsItIsNow) {
    Files f;
    WriteProfile(f.image, L"[Box1]\r\nDeviceType=4\r\nInputs=2\r\n");
    CCfgStore s(L"");
    ASSERT_EQ(1, s.Load(f.image.c_str(), true));
    WriteProfile(f.image, L"[Box1]\r\nDeviceType=4\r\nInputs=7\r\n");
    s.SetSection(L"Box1");
    EXPECT_EQ(7, s.ReadHex(L"Inputs", -1));
}

// Records the file image does more with than append them: names met
// before (A-Z folded, or once cut to the 127 characters a section keeps),
// empty names, line breaks, blanks around values, a NUL inside a name.
struct Batch {
    const char* what;
    void (*fill)(CCfgStore&);
};

void AddNamed(CCfgStore& s, const CString& name, int type, const wchar_t* host = L"10.0.0.1") {
    CDeviceCfg* d = new CDeviceCfg(L"", type);
    d->OpcName = name;
    d->TargetHost = host;
    d->Password = L"pw";
    d->BuildDefaultItemNames();
    s.AddDevice(d);
}

const Batch kBatches[] = {
    {"none", [](CCfgStore&) {}},
    {"every type", Fill},
    {"large", [](CCfgStore& s) { FillLarge(s, 500); }},
    {"names met before",
     [](CCfgStore& s) {
         AddNamed(s, L"Box1", 4);
         AddNamed(s, L"Box2", 2, L"h2");
         AddNamed(s, L"  bOX1 ", 11, L"h3");
         AddNamed(s, L"Box3", 18);
     }},
    {"names cut to the same",
     [](CCfgStore& s) {
         AddNamed(s, CString(L'L', 127) + L"a", 4);
         AddNamed(s, CString(L'L', 127) + L"b", 8);
         AddNamed(s, CString(L'M', 126) + L" x", 4);
     }},
    {"empty names",
     [](CCfgStore& s) {
         AddNamed(s, L"A", 4);
         AddNamed(s, L"", 4, L"h2");
         AddNamed(s, L" \t ", 2, L"h3");
     }},
    {"line break in a name",
     [](CCfgStore& s) {
         AddNamed(s, L"A", 4);
         AddNamed(s, L"B\r\nDeviceType=3", 4);
         AddNamed(s, L"C\n", 4);
     }},
    {"line break in a value",
     [](CCfgStore& s) {
         AddNamed(s, L"A", 4, L"a\r\n[Z]");
         AddNamed(s, L"B", 4, L"\r\n  lead");
         AddNamed(s, L"C", 2, L"tail\n");
     }},
    {"blanks around values",
     [](CCfgStore& s) {
         AddNamed(s, L"A", 4, L"  both  ");
         AddNamed(s, L"B", 4, L" \x1A\t");
         CDeviceCfg* d = new CDeviceCfg(L"Sensor", kTypeAnalogSensor);
         d->Unit[2] = L"bar \t ";  // the last value written keeps them
         s.AddDevice(d);
     }},
    {"NUL in a name",
     [](CCfgStore& s) {
         AddNamed(s, CString(L"N\0one", 5), 4);
         AddNamed(s, L"N", 4, L"h2");
     }},
};

class WriteBatches : public testing::TestWithParam<int> {};

// The copy's text made in memory is the file that writing the same records
// one by one makes, and a save of them writes that file too.
TEST_P(WriteBatches, InMemoryAndSavedAsWrittenRecordByRecord) {
    const Batch& b = kBatches[GetParam()];
    SCOPED_TRACE(b.what);
    Files f;
    CCfgStore s(L"");
    b.fill(s);
    std::vector<const CDeviceCfg*> devs;
    for (CDeviceCfg* d = s.GetFirstDevice(); d; d = s.GetNextDevice(d)) devs.push_back(d);
    std::wstring text;
    ASSERT_TRUE(CCfgStore::SectionsText(devs.data(), devs.size(), text));

    ASSERT_TRUE(s.CreateEmptyFile(f.keys.c_str()));
    for (const CDeviceCfg* d : devs) s.WriteDevice(const_cast<CDeviceCfg*>(d));
    std::string written = ReadBytes(f.keys);
    EXPECT_EQ(written, std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));

    ASSERT_TRUE(s.Save(f.image.c_str()));
    EXPECT_EQ(written, ReadBytes(f.image));
    // and a list in another order than the store's
    std::vector<const CDeviceCfg*> back(devs.rbegin(), devs.rend());
    ASSERT_TRUE(s.CreateEmptyFile(f.keys.c_str()));
    {
        CCfgStore::WriteBatch batch(s);
        for (const CDeviceCfg* d : back) s.WriteDevice(const_cast<CDeviceCfg*>(d));
    }
    ASSERT_TRUE(CCfgStore::SectionsText(back.data(), back.size(), text));
    EXPECT_EQ(ReadBytes(f.keys), std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
}

INSTANTIATE_TEST_SUITE_P(Records, WriteBatches, testing::Range(0, (int)(sizeof kBatches / sizeof kBatches[0])));

// A failed one-go write is a failed save, with the system's error.
TEST(StoreImage, FailedWriteIsReported) {
    Files f;
    std::wstring target = f.dir / L"ro.ini";
    CCfgStore s(L"");
    Fill(s);
    ASSERT_TRUE(s.Save(target.c_str()));
    std::string before = ReadBytes(target);
    // the file beside the target cannot be written: a folder of that name
    ASSERT_TRUE(CreateDirectoryW((target + L".tmp").c_str(), nullptr));
    s.GetFirstDevice()->TargetHost = L"changed";
    EXPECT_FALSE(s.Save(target.c_str()));
    EXPECT_NE(0u, s.GetLastSaveError());
    EXPECT_EQ(before, ReadBytes(target));
}

}  // namespace
