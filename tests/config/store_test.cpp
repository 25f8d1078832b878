// The store's lists and undo, and the configuration file through real
// private-profile files in temporary folders.
#include "config/device_cfg.h"
#include "config/cfg_keys.h"
#include "cfg_test_util.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <functional>

using namespace cfgtest;

namespace {

std::vector<std::wstring> Names(const CCfgStore& s) {
    std::vector<std::wstring> v;
    for (CDeviceCfg* d = s.GetFirstDevice(); d; d = s.GetNextDevice(d)) v.push_back(d->OpcName.str());
    return v;
}

std::vector<std::wstring> SectionNames(const std::wstring& path) {
    std::vector<std::wstring> v;
    for (auto& s : ParseProfile(path)) v.push_back(s.first);
    return v;
}

CDeviceCfg* Add(CCfgStore& s, const wchar_t* name, int type) {
    CDeviceCfg* d = new CDeviceCfg(name, type);
    s.AddDevice(d);
    return d;
}

// Every field the file holds, away from its default.
void FillNonDefault(CDeviceCfg& d, int seed) {
    d.Inputs = 3 + seed % 5;
    d.Outputs = 1 + seed % 3;
    d.Disable = 1;
    d.TargetHost = FormatString(L"10.0.%d.%d", seed, seed * 7 % 250);
    d.MaxIdleTicks = 120 + seed;
    d.MinIntervalTicks = 3 + seed;
    d.DontSubscribe = 1;
    d.ForceReconnect = 1;
    d.PriorityLogin = 1;
    d.LoginRequired = 0;
    d.BinaryLogin = 0;
    d.SerialNo = (int)(0x8185A200u + (unsigned)seed);
    d.BinaryPort = (unsigned short)(40000 + seed);
    d.HttpPort = (unsigned short)(8080 + seed);
    d.HttpSecure = 1;
    d.Password = FormatString(L"Pw%d\x00fc", seed);
    d.SerialParam = L"19200,e,7,2";
    d.SerialFilter = L"end=13;drop=10;add=;";
    d.SerialPacketGap = 11 + seed;
    d.ReceiveMode = 2;
    d.UsesLocalTime = 1;
    d.AlwaysDevClock = 0;
    d.EnOceanBaseAddress = (int)0xFF800000u + seed;
    for (int i = 0; i < 3; ++i) {
        d.InputFlag[i] = i != 1;
        d.ScaleMin[i] = -10.5 + i;
        d.ScaleMax[i] = 100.25 * (i + 1);
        d.Unit[i] = i == 2 ? L""
                           : L"\x00b0"
                             L"C";
    }
    if (d.DeviceType == -1) {
        d.IdleTicks = 40 + seed;
        d.WatchdogTicks = 30;
        d.MinUpdateRate = 500;
    }
    d.BuildDefaultItemNames();
    if (d.ItemNames.GetLength() > 3) d.ItemNames.SetAt(2, L'Q');  // a renamed item
}

// Every field that the record's section holds, by the file's key table.
void ExpectSameFileFields(const CDeviceCfg& a, const CDeviceCfg& b) {
    SCOPED_TRACE(testing::Message() << "type " << a.DeviceType);
    EXPECT_STREQ(a.OpcName, b.OpcName);
    EXPECT_EQ(a.GetKind(), b.GetKind());
    for (const CCfgKey& k : kCfgKeys) {
        if (!k.Holds(a)) continue;
        SCOPED_TRACE(testing::Message() << "key " << k.name);
        switch (k.form) {
        case CfgKeyForm::Type:
        case CfgKeyForm::Hex:
        case CfgKeyForm::LoginFlag:
        case CfgKeyForm::LoginOverride: EXPECT_EQ(a.*k.hex, b.*k.hex); break;
        case CfgKeyForm::Port: EXPECT_EQ(a.*k.port, b.*k.port); break;
        case CfgKeyForm::Text: EXPECT_STREQ(a.*k.text, b.*k.text); break;
        case CfgKeyForm::Password: EXPECT_STREQ(a.Password, b.Password); break;
        case CfgKeyForm::ScaledInput:
            EXPECT_EQ(a.InputFlag[k.input], b.InputFlag[k.input]);
            EXPECT_DOUBLE_EQ(a.ScaleMin[k.input], b.ScaleMin[k.input]);
            EXPECT_DOUBLE_EQ(a.ScaleMax[k.input], b.ScaleMax[k.input]);
            EXPECT_STREQ(a.Unit[k.input], b.Unit[k.input]);
            break;
        }
    }
}

}  // namespace

TEST(CfgFile, NewFileBytes) {
    TempDir dir;
    CCfgStore s(L"");
    ASSERT_TRUE(s.CreateEmptyFile((dir / L"n.ini").c_str()));
    EXPECT_EQ(std::string("\xFF\xFE\x0D\x00\x0A\x00", 6), ReadBytes(dir / L"n.ini"));
    EXPECT_STREQ((dir / L"n.ini").c_str(), s.GetCurrentPath());
    EXPECT_FALSE(s.CreateEmptyFile((dir / L"no\\such\\x.ini").c_str()));
    EXPECT_STREQ((dir / L"no\\such\\x.ini").c_str(), s.GetCurrentPath());
}

TEST(CfgFile, GlobalOptionsKeysInOrder) {
    TempDir dir;
    CCfgStore s(L"");
    CDeviceCfg g(L"OpcServer_Global", -1);
    g.IdleTicks = 0;
    g.WatchdogTicks = 30;
    g.MinUpdateRate = 800;
    g.BuildDefaultItemNames();
    ASSERT_TRUE(s.CreateEmptyFile((dir / L"g.ini").c_str()));
    EXPECT_TRUE(s.WriteDevice(&g));
    Sections sec = ParseProfile(dir / L"g.ini");
    ASSERT_EQ(1u, sec.size());
    EXPECT_EQ(L"OpcServer_Global", sec[0].first);
    Keys expect = {{L"DeviceType", L"ffffffff"},
                   {L"ItemNames", L".0Watchdog"},
                   {L"IdleTicks", L"0"},
                   {L"WatchdogTicks", L"1e"},
                   {L"MinUpdateRate", L"320"}};
    EXPECT_EQ(expect, sec[0].second);
}

TEST(CfgFile, KeySetsByKind) {
    TempDir dir;
    CCfgStore s(L"");
    ASSERT_TRUE(s.CreateEmptyFile((dir / L"k.ini").c_str()));
    struct {
        int type;
        std::vector<std::wstring> keys;
    } rows[] = {
        {0,
         {L"DeviceType", L"ItemNames", L"Disable", L"TargetHost", L"MaxIdleTicks", L"MinIntervalTicks",
          L"DontSubscribe", L"ForceReconnect", L"PriorityLogin", L"LoginRequired", L"BinaryLogin", L"BinaryPort",
          L"HttpPort", L"HttpSecure", L"Password", L"Inputs", L"Outputs"}},
        {6,
         {L"DeviceType", L"ItemNames", L"Disable", L"TargetHost", L"MaxIdleTicks", L"MinIntervalTicks", L"BinaryPort",
          L"HttpPort", L"HttpSecure", L"Password", L"Inputs", L"Outputs"}},
        {3,
         {L"DeviceType", L"ItemNames", L"Disable", L"TargetHost", L"MaxIdleTicks", L"MinIntervalTicks", L"BinaryPort",
          L"HttpPort", L"HttpSecure", L"Password", L"SerialParam", L"SerialFilter", L"SerialPacketGap", L"Inputs",
          L"Outputs"}},
        {8,
         {L"DeviceType", L"ItemNames", L"Disable", L"TargetHost", L"MaxIdleTicks", L"MinIntervalTicks", L"BinaryPort",
          L"HttpPort", L"HttpSecure", L"Password", L"EnOceanBaseAddress"}},
        {11,
         {L"DeviceType", L"ItemNames", L"Disable", L"TargetHost", L"MaxIdleTicks", L"MinIntervalTicks", L"SerialNo",
          L"Inputs", L"Outputs", L"ScaledInput0", L"ScaledInput1", L"ScaledInput2"}},
        {18,
         {L"DeviceType", L"ItemNames", L"Disable", L"TargetHost", L"MaxIdleTicks", L"MinIntervalTicks", L"BinaryPort",
          L"HttpPort", L"HttpSecure", L"Password", L"ReceiveMode", L"UsesLocalTime", L"AlwaysDevClock", L"Interval",
          L"Inputs", L"Outputs"}},
    };
    for (auto& r : rows) {
        CDeviceCfg d(FormatString(L"T%d", r.type), r.type);
        d.Password = L"abc";
        EXPECT_TRUE(s.WriteDevice(&d));
    }
    Sections sec = ParseProfile(dir / L"k.ini");
    ASSERT_EQ(6u, sec.size());
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(rows[i].keys, KeyNames(sec[i].second)) << rows[i].type;
    // hex forms and the three-character password
    EXPECT_EQ(L"c001", Value(sec[0].second, L"BinaryPort"));
    EXPECT_EQ(L"50", Value(sec[0].second, L"HttpPort"));
    EXPECT_EQ(12u, Value(sec[0].second, L"Password").size());
    EXPECT_EQ(L"I0;255;", Value(sec[4].second, L"ScaledInput0"));
    EXPECT_EQ(L"a7b", Value(sec[5].second, L"BinaryPort"));
}

TEST(CfgFile, BinaryLoginForcesLoginOff) {
    TempDir dir;
    std::wstring path = dir / L"b.ini";
    {
        CCfgStore s(L"");
        CDeviceCfg* d = Add(s, L"Box1", 1);
        d->LoginRequired = 0;
        d->BinaryLogin = 1;
        d->Password.Empty();
        ASSERT_TRUE(s.Save(path.c_str()));
    }
    Sections sec = ParseProfile(path);
    ASSERT_EQ(1u, sec.size());
    EXPECT_EQ(L"1", Value(sec[0].second, L"LoginRequired"));
    EXPECT_EQ(L"1", Value(sec[0].second, L"BinaryLogin"));
    EXPECT_EQ(L"", Value(sec[0].second, L"Password"));
    CCfgStore r(L"");
    EXPECT_EQ(1, r.Load(path.c_str(), true));
    CDeviceCfg* box = r.GetNextDevice(r.GetFirstDevice());
    ASSERT_TRUE(box);
    EXPECT_EQ(0, box->LoginRequired);
    EXPECT_EQ(1, box->BinaryLogin);
    EXPECT_TRUE(box->Password.IsEmpty());
}

// Every type number survives a save and a load; the load reverses the order.
TEST(CfgFile, RoundTripOfEveryType) {
    TempDir dir;
    std::wstring path = dir / L"all.ini";
    CCfgStore s(L"");
    for (int t = -1; t <= 25; ++t) {
        CDeviceCfg* d = Add(s, t == -1 ? L"OpcServer_Global" : FormatString(L"Dev%d", t + 100).GetString(), t);
        FillNonDefault(*d, t + 2);
    }
    CDeviceCfg* bl = Add(s, L"BinLogin", 22);
    FillNonDefault(*bl, 1);
    bl->BinaryLogin = 1;
    ASSERT_TRUE(s.Save(path.c_str()));
    EXPECT_EQ(Names(s), SectionNames(path));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((path + L".tmp").c_str()));

    CCfgStore r(L"");
    EXPECT_EQ(28, r.Load(path.c_str(), true));
    std::vector<std::wstring> expect = Names(s);
    std::reverse(expect.begin(), expect.end());
    EXPECT_EQ(expect, Names(r));
    for (CDeviceCfg* a = s.GetFirstDevice(); a; a = s.GetNextDevice(a)) {
        CDeviceCfg* b = r.GetFirstDevice();
        while (b && b->OpcName != a->OpcName) b = r.GetNextDevice(b);
        ASSERT_TRUE(b) << a->OpcName.str().c_str();
        ExpectSameFileFields(*a, *b);
    }
    EXPECT_TRUE(r.FetchGlobalTiming());
    EXPECT_EQ(30, r.WatchdogTicks);
    EXPECT_EQ(500, r.MinUpdateRate);
    // saved again the order flips back
    ASSERT_TRUE(r.Save(path.c_str()));
    CCfgStore r2(L"");
    r2.Load(path.c_str(), true);
    EXPECT_EQ(Names(s), Names(r2));
}

TEST(CfgFile, MissingKeysGiveTableDefaults) {
    TempDir dir;
    std::wstring path = dir / L"d.ini";
    WriteProfile(path, L"\r\n[Box1]\r\nDeviceType=0\r\n[Trcv1]\r\nDeviceType=8\r\n[EnO1]\r\nDeviceType=b\r\n"
                       L"ScaledInput0=5;10\r\nScaledInput1=\r\n[Rfid1]\r\nDeviceType=12\r\n[Com1]\r\nDeviceType=3\r\n"
                       L"[OpcServer_Global]\r\nDeviceType=ffffffff\r\n");
    CCfgStore s(L"");
    EXPECT_EQ(6, s.Load(path.c_str(), true));
    CDeviceCfg* g = s.GetFirstDevice();
    ASSERT_EQ(-1, g->DeviceType);
    EXPECT_EQ(0, g->IdleTicks);
    EXPECT_EQ(0, g->WatchdogTicks);
    EXPECT_EQ(800, g->MinUpdateRate);
    EXPECT_TRUE(g->ItemNames.IsEmpty());
    CDeviceCfg* com = s.GetNextDevice(g);
    EXPECT_STREQ(L"9600,n,8,1,h", com->SerialParam);
    EXPECT_STREQ(L"end=;drop=;add=13;", com->SerialFilter);
    EXPECT_EQ(7, com->SerialPacketGap);
    EXPECT_EQ(8000, com->BinaryPort);
    CDeviceCfg* rfid = s.GetNextDevice(com);
    EXPECT_EQ(2683, rfid->BinaryPort);
    EXPECT_EQ(3, rfid->ReceiveMode);
    EXPECT_EQ(1, rfid->AlwaysDevClock);
    EXPECT_EQ(50, rfid->Interval);
    EXPECT_EQ(0, rfid->Inputs);
    CDeviceCfg* eno = s.GetNextDevice(rfid);
    EXPECT_EQ(0, eno->InputFlag[0]);
    EXPECT_DOUBLE_EQ(5.0, eno->ScaleMin[0]);
    EXPECT_DOUBLE_EQ(10.0, eno->ScaleMax[0]);
    EXPECT_STREQ(L"10", eno->Unit[0]);
    EXPECT_EQ(1, eno->InputFlag[1]);  // empty: defaults kept
    EXPECT_DOUBLE_EQ(255.0, eno->ScaleMax[1]);
    EXPECT_STREQ(L".1A.1B.1C.1D.1N.2A.2B.2C.2D.1S.20.21.22.1Network", eno->ItemNames);
    CDeviceCfg* trcv = s.GetNextDevice(eno);
    EXPECT_EQ(8, trcv->Inputs);  // kind 4 holds no counts
    CDeviceCfg* box = s.GetNextDevice(trcv);
    EXPECT_EQ(0, box->Inputs);
    EXPECT_EQ(0, box->Outputs);
    EXPECT_EQ(49153, box->BinaryPort);
    EXPECT_EQ(80, box->HttpPort);
    EXPECT_EQ(1, box->LoginRequired);
    EXPECT_EQ(50, box->MaxIdleTicks);
    EXPECT_EQ(1, box->MinIntervalTicks);
}

TEST(CfgFile, OrdersAndGlobalOptions) {
    TempDir dir;
    std::wstring path = dir / L"abc.ini";
    WriteProfile(path, L"[A]\r\nDeviceType=6\r\n[B]\r\nDeviceType=7\r\n[C]\r\nDeviceType=2\r\n");
    CCfgStore s(L"");
    EXPECT_EQ(3, s.Load(path.c_str(), true));
    EXPECT_EQ((std::vector<std::wstring>{L"OpcServer_Global", L"C", L"B", L"A"}), Names(s));
    CDeviceCfg* g = s.GetFirstDevice();
    EXPECT_EQ(0, g->IdleTicks);
    EXPECT_EQ(0, g->WatchdogTicks);
    EXPECT_EQ(800, g->MinUpdateRate);
    EXPECT_TRUE(g->ItemNames.IsEmpty());
    std::wstring out = dir / L"out.ini";
    ASSERT_TRUE(s.Save(out.c_str()));
    EXPECT_EQ((std::vector<std::wstring>{L"OpcServer_Global", L"C", L"B", L"A"}), SectionNames(out));
    // sorting moves every row to the front: the store then holds the reverse
    std::vector<CDeviceCfg*> rows;
    for (CDeviceCfg* d = s.GetFirstDevice(); d; d = s.GetNextDevice(d)) rows.push_back(d);
    for (CDeviceCfg* d : rows) s.MoveToFront(d);
    EXPECT_EQ((std::vector<std::wstring>{L"A", L"B", L"C", L"OpcServer_Global"}), Names(s));

    // appending keeps the records and counts only the new ones; a second
    // global section merges into the first, which keeps its generation and
    // the image its row shows
    g->UndoGeneration = 1;
    g->ImageIndex = 1;
    WriteProfile(path, L"[D]\r\nDeviceType=6\r\n[OpcServer_Global]\r\nDeviceType=ffffffff\r\nIdleTicks=14\r\n");
    EXPECT_EQ(1, s.Load(path.c_str(), false));
    EXPECT_EQ((std::vector<std::wstring>{L"D", L"A", L"B", L"C", L"OpcServer_Global"}), Names(s));
    EXPECT_EQ(20, g->IdleTicks);
    EXPECT_EQ(1, g->UndoGeneration);
    EXPECT_EQ(1, g->ImageIndex);
    EXPECT_EQ(20, s.IdleTicks);
}

TEST(CfgStore, UndoByGenerations) {
    CCfgStore s(L"");
    s.EnsureGlobalDevice();
    CDeviceCfg* a = Add(s, L"a", 6);
    CDeviceCfg* b = Add(s, L"b", 6);
    CDeviceCfg* c = Add(s, L"c", 6);
    EXPECT_FALSE(s.CanUndo());
    s.MoveToUndo(a, 0);
    s.MoveToUndo(b, 0);
    s.MoveToUndo(c, 1);
    EXPECT_TRUE(s.CanUndo());
    EXPECT_EQ(nullptr, s.TakeFromUndo(7));
    EXPECT_EQ(c, s.TakeFromUndo(1));
    EXPECT_EQ(nullptr, s.TakeFromUndo(1));
    s.AddDevice(c);
    std::vector<CDeviceCfg*> back;
    while (CDeviceCfg* d = s.TakeFromUndo(0)) {
        back.push_back(d);
        s.AddDevice(d);
    }
    EXPECT_EQ((std::vector<CDeviceCfg*>{b, a}), back);
    EXPECT_FALSE(s.CanUndo());
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c", L"OpcServer_Global"}), Names(s));
    s.RemoveDevice(b);
    delete b;
    s.MoveToUndo(a, 3);
    s.ClearAll();
    EXPECT_EQ(nullptr, s.GetFirstDevice());
    EXPECT_FALSE(s.CanUndo());
}

TEST(CfgStore, GlobalTiming) {
    CCfgStore s(L"");
    s.WatchdogTicks = 5;
    EXPECT_FALSE(s.FetchGlobalTiming());
    EXPECT_EQ(0, s.WatchdogTicks);
    EXPECT_EQ(800, s.MinUpdateRate);
    s.WatchdogTicks = 20;
    s.IdleTicks = 11;
    EXPECT_TRUE(s.EnsureGlobalDevice());
    CDeviceCfg* g = s.GetFirstDevice();
    EXPECT_STREQ(L"OpcServer_Global", g->OpcName);
    EXPECT_EQ(20, g->WatchdogTicks);
    EXPECT_STREQ(L".0Watchdog", g->ItemNames);
    g->OpcName = L"x";
    g->ItemNames = L".0Wd";
    s.MinUpdateRate = 100;
    s.EnsureGlobalDevice();
    EXPECT_EQ(g, s.GetFirstDevice());
    EXPECT_EQ(nullptr, s.GetNextDevice(g));
    EXPECT_STREQ(L"OpcServer_Global", g->OpcName);
    EXPECT_STREQ(L".0Wd", g->ItemNames);
    EXPECT_EQ(100, g->MinUpdateRate);
}

TEST(CfgStore, ActivePath) {
    CCfgStore s;
    wchar_t common[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common)));
    std::wstring expect = std::wstring(common) + L"\\Korvelin\\Dravoline.ini";
    EXPECT_EQ(0, CString(s.GetActivePath()).CompareNoCase(expect.c_str())) << expect.c_str();
    DWORD attr = GetFileAttributesW((std::wstring(common) + L"\\Korvelin").c_str());
    EXPECT_TRUE(attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_STREQ(L"", s.GetCurrentPath());
}

// A save killed before its move leaves its temporary file beside the active
// configuration, which stays whole: the next start or save removes that file
// (read-only, even) and nothing else of the folder.
TEST(CfgFile, LeftoverTemporaryGoesAtStartAndSave) {
    const std::wstring active = CCfgStore().GetActivePath();
    const std::wstring folder = active.substr(0, active.rfind(L'\\') + 1), temp = active + L".tmp";
    // the active configuration as the test found it comes back at the end
    struct Kept {
        std::wstring path;
        bool had;
        std::string bytes;
        ~Kept() {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (had)
                WriteBytes(path, bytes);
            else
                DeleteFileW(path.c_str());
        }
    } kept{active, GetFileAttributesW(active.c_str()) != INVALID_FILE_ATTRIBUTES, ReadBytes(active)};
    struct Case {
        const char* name;
        bool readOnlyTemp, readOnlyActive;
        std::function<void()> act;
        std::vector<std::wstring> sections;  // of the active file after
    };
    const Case cases[] = {
        {"start", false, false, [] { CCfgStore started; }, {L"Box1", L"OpcServer_Global"}},
        {"start, read-only leftover", true, false, [] { CCfgStore started; }, {L"Box1", L"OpcServer_Global"}},
        {"save",
         true,
         false,
         [&] {
             CCfgStore s(active.c_str());
             s.EnsureGlobalDevice();
             Add(s, L"Box2", 4);
             EXPECT_TRUE(s.Save(nullptr));
         },
         {L"Box2", L"OpcServer_Global"}},
        {"refused save",
         false,
         true,
         [&] {
             CCfgStore s(active.c_str());
             s.EnsureGlobalDevice();
             EXPECT_FALSE(s.Save(nullptr));
             EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, s.GetLastSaveError());
         },
         {L"Box1", L"OpcServer_Global"}},
    };
    const std::vector<std::wstring> others = {folder + L"Dravoline.tmp", active + L".tmp2", folder + L"Other.ini.tmp",
                                              active + L".bak"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetFileAttributesW(active.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(
            WriteProfile(active, L"\r\n[Box1]\r\nDeviceType=4\r\n[OpcServer_Global]\r\nDeviceType=ffffffff\r\n"));
        ASSERT_TRUE(WriteBytes(temp, Utf16Bytes(L"\r\n[Box1]\r\nDeviceType=4\r\n[Half")));
        for (const std::wstring& o : others) ASSERT_TRUE(WriteBytes(o, "not ours"));
        if (c.readOnlyTemp) {
            ASSERT_TRUE(SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        if (c.readOnlyActive) {
            ASSERT_TRUE(SetFileAttributesW(active.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        const std::string before = ReadBytes(active);
        c.act();
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(temp.c_str()));
        EXPECT_EQ(c.sections, SectionNames(active));
        if (c.sections[0] == L"Box1") {
            EXPECT_EQ(before, ReadBytes(active));
        }
        for (const std::wstring& o : others) {
            EXPECT_EQ("not ours", ReadBytes(o)) << std::string(o.begin(), o.end());
            DeleteFileW(o.c_str());
        }
        SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(temp.c_str());
    }
}

TEST(CfgFile, LongItemNamesAreReadWhole) {
    TempDir dir;
    std::wstring path = dir / L"long.ini";
    CCfgStore s(L"");
    CDeviceCfg* d = Add(s, L"Big", 19);
    d->Inputs = 64;
    d->Outputs = 64;
    d->BuildDefaultItemNames();
    d->ItemNames.Replace(L".2", L".2Kanal_mit_langem_Namen_");
    ASSERT_GT(d->ItemNames.GetLength(), 5000);
    CString stored = d->ItemNames;
    ASSERT_TRUE(s.Save(path.c_str()));
    CCfgStore r(L"");
    ASSERT_EQ(1, r.Load(path.c_str(), true));
    CDeviceCfg* b = r.GetNextDevice(r.GetFirstDevice());
    EXPECT_STREQ(stored, b->ItemNames);
}

// A failed save leaves the old file as it was and reports the failing step.
TEST(CfgFile, FailedSaveKeepsOldFile) {
    TempDir dir;
    std::wstring path = dir / L"keep.ini";
    CCfgStore s(L"");
    s.EnsureGlobalDevice();
    Add(s, L"Box1", 4);
    ASSERT_TRUE(s.Save(path.c_str()));
    std::string before = ReadBytes(path);
    Add(s, L"Box2", 4);

    // the temporary file cannot be created
    ASSERT_TRUE(CreateDirectoryW((path + L".tmp").c_str(), nullptr));
    SetLastError(0);
    EXPECT_FALSE(s.Save(path.c_str()));
    DWORD err = GetLastError();
    EXPECT_NE(0u, err);
    EXPECT_EQ(err, s.GetLastSaveError());
    EXPECT_EQ(before, ReadBytes(path));
    RemoveDirectoryW((path + L".tmp").c_str());

    // the target cannot be replaced while another program holds it
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_FALSE(s.Save(path.c_str()));
    err = GetLastError();
    EXPECT_NE(0u, err);
    EXPECT_EQ(err, s.GetLastSaveError());
    CloseHandle(h);
    EXPECT_EQ(before, ReadBytes(path));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((path + L".tmp").c_str()));

    // a folder that does not exist
    EXPECT_FALSE(s.Save((dir / L"none\\x.ini").c_str()));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());

    // and then it works, the records unchanged
    EXPECT_TRUE(s.Save(path.c_str()));
    EXPECT_EQ(0u, s.GetLastSaveError());
    EXPECT_EQ((std::vector<std::wstring>{L"Box2", L"Box1", L"OpcServer_Global"}), SectionNames(path));
}

TEST(CfgFile, SaveToActivePath) {
    TempDir dir;
    std::wstring path = dir / L"Dravoline.ini";
    CCfgStore s(path.c_str());
    s.EnsureGlobalDevice();
    ASSERT_TRUE(s.Save(nullptr));
    EXPECT_EQ((std::vector<std::wstring>{L"OpcServer_Global"}), SectionNames(path));
    EXPECT_STREQ(path.c_str(), s.GetCurrentPath());
}

TEST(CfgFile, BadInputIsDefined) {
    TempDir dir;
    struct {
        const wchar_t* name;
        std::string bytes;
        int count;
    } rows[] = {
        {L"empty.ini", "", 0},
        {L"nosections.ini", Utf16Bytes(L"DeviceType=0\r\nfoo\r\n"), 0},
        {L"notype.ini", Utf16Bytes(L"[A]\r\nInputs=4\r\n[B]\r\nDeviceType=fffffffe\r\n"), 0},
        {L"nobom.ini", Utf16Bytes(L"[A]\r\nDeviceType=6\r\n", false), 0},
        {L"garbage.ini",
         Utf16Bytes(L"[A]\r\nDeviceType=zz\r\nInputs=-5\r\nBinaryPort=12345678\r\n"
                    L"HttpPort=\r\nMaxIdleTicks=ffffffffffffffffffffffff\r\nPassword=xyz\r\n"),
         1},
        {L"binary.ini", std::string("\xFF\xFE[\x00\x00\x00\x01\x02]\x00\r\x00\n\x00\xFF\xD8", 16), 0},
        {L"ansi.ini", "[A]\r\nDeviceType=6\r\n[B]\r\nDeviceType=ffffffff\r\n", 2},
    };
    for (auto& r : rows) {
        WriteBytes(dir / r.name, r.bytes);
        CCfgStore s(L"");
        EXPECT_EQ(r.count, s.Load((dir / r.name).c_str(), true)) << r.name;
        ASSERT_TRUE(s.FindGlobalDevice()) << r.name;
    }
    CCfgStore s(L"");
    EXPECT_EQ(0, s.Load((dir / L"missing.ini").c_str(), true));
    EXPECT_STREQ(L"OpcServer_Global", s.GetFirstDevice()->OpcName);

    CCfgStore g(L"");
    g.Load((dir / L"garbage.ini").c_str(), true);
    CDeviceCfg* a = g.GetNextDevice(g.GetFirstDevice());
    ASSERT_TRUE(a);
    EXPECT_EQ(0, a->DeviceType);                       // "zz" reads as 0
    EXPECT_EQ(-5, a->Inputs);                          // as the C library reads it
    EXPECT_EQ((unsigned short)0x5678, a->BinaryPort);  // low 16 bits
    EXPECT_EQ(80, a->HttpPort);
    EXPECT_EQ(-1, a->MaxIdleTicks);  // clamped by the C library
    EXPECT_EQ(1, a->Password.GetLength());

    // huge values: a long string and huge counts
    std::wstring big(100000, L'x');
    WriteProfile(dir / L"huge.ini", L"[A]\r\nDeviceType=13\r\nInputs=7fffffff\r\nTargetHost=" + big + L"\r\n");
    CCfgStore h(L"");
    EXPECT_EQ(1, h.Load((dir / L"huge.ini").c_str(), true));
    CDeviceCfg* hd = h.GetNextDevice(h.GetFirstDevice());
    EXPECT_EQ(100000, hd->TargetHost.GetLength());
    EXPECT_EQ(0x7fffffff, hd->Inputs);
}

// A read-only target is refused as the platform refuses writing it, and keeps
// its bytes and attribute; a read-only temporary file left behind is replaced
// and does not make the saved file read-only.
TEST(CfgFile, ReadOnlyTargetAndStaleTemporary) {
    TempDir dir;
    std::wstring path = dir / L"Dravoline.ini";
    CCfgStore s(path.c_str());
    s.EnsureGlobalDevice();
    Add(s, L"Box1", 4);
    ASSERT_TRUE(s.Save(path.c_str()));
    std::string before = ReadBytes(path);
    Add(s, L"Box2", 4);

    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(s.Save(path.c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, s.GetLastSaveError());
    EXPECT_EQ(before, ReadBytes(path));
    EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((path + L".tmp").c_str()));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);

    std::wstring temp = path + L".tmp";
    WriteBytes(temp, "stale");
    ASSERT_TRUE(SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(s.Save(path.c_str()));
    EXPECT_FALSE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(temp.c_str()));
    EXPECT_EQ((std::vector<std::wstring>{L"Box2", L"Box1", L"OpcServer_Global"}), SectionNames(path));
}

// Paths up to 259 characters are saved (their temporary file needs the long
// form); a longer one is refused with 206 instead of being cut to another name.
TEST(CfgFile, LongPaths) {
    TempDir dir;
    std::wstring folder = dir.path();
    for (int i = 0; folder.size() < 200; ++i) {
        folder += L"abcdefghijklmnopqrstuvwxyz0123456789\\";
        ASSERT_TRUE(MakeFolder(folder));
    }
    CCfgStore s(L"");
    s.EnsureGlobalDevice();
    Add(s, L"Box1", 4);
    for (size_t len : {256u, 259u}) {
        SCOPED_TRACE(len);
        std::wstring path = folder + std::wstring(len - folder.size() - 4, L'f') + L".ini";
        ASSERT_EQ(len, path.size());
        EXPECT_TRUE(s.Save(path.c_str())) << GetLastError();
        EXPECT_EQ((std::vector<std::wstring>{L"Box1", L"OpcServer_Global"}), SectionNames(path));
        CCfgStore back(L"");
        EXPECT_EQ(2, back.Load(path.c_str(), true));
        DeleteFileW(path.c_str());
    }
    std::wstring tooLong = folder + std::wstring(260 - folder.size() - 4, L'g') + L".ini";
    EXPECT_FALSE(s.Save(tooLong.c_str()));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, s.GetLastSaveError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(tooLong.substr(0, 259).c_str()));
    // the folders go before the temporary folder does
    for (size_t cut;
         (cut = folder.rfind(L'\\', folder.size() - 2)) != std::wstring::npos && folder.size() > dir.path().size();) {
        RemoveDirectoryW(folder.c_str());
        folder.resize(cut + 1);
    }
}
