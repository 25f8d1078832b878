// Store side of the device commands, on a store of its own with real files.
#include "editor/device_commands.h"
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <map>
#include "editor/doc_names.h"

namespace {

std::wstring TempDir() {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    std::wstring dir = std::wstring(tmp) + L"krv_doc_commands\\";
    if (!CreateDirectoryW(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        ADD_FAILURE() << "no folder for the files, error " << GetLastError();
    return dir;
}

struct Store : ::testing::Test {
    std::wstring dir = TempDir();
    CCfgStore store{(dir + L"Dravoline.ini").c_str()};
    int generation = 0;

    CDeviceCfg* Add(const wchar_t* name, int type, const wchar_t* host = L"") {
        CDeviceCfg* d = new CDeviceCfg(name, type);
        d->TargetHost = host;
        store.AddDevice(d);
        return d;
    }
    std::vector<CString> Names() {
        std::vector<CString> v;
        for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d)) v.push_back(d->OpcName);
        return v;
    }
};

// Names of a batch as the name rules give them one by one (MakeNameFree
// against every name counted so far): the index must give the same names,
// in a file read (counted, dots kept) and in a paste (new records, dots out).
const wchar_t* const kBatchNames[] = {
    L"Box1", L"box1", L"BOX1",     L"Box1",          L"Box",           L"box_",  L"box__", L"Box_1",
    L"",     L"",     L"  Box1  ", L"Box.1",         L"a.b.c",         L"a_b_c", L"12",    L"12",
    L"007",  L"Trcv", L"trcv1",    L"\x00c4nderung", L"\x00e4nderung", L"x\ty",
};

std::vector<CString> BatchNames() {
    std::vector<CString> v;
    for (int round = 0; round < 40; ++round)
        for (const wchar_t* n : kBatchNames) v.push_back(round % 7 == 6 ? CString(L'L', 110 + round) + n : CString(n));
    return v;
}

std::vector<CString> Expected(const std::vector<CString>& given, const std::vector<CString>& before, bool listed,
                              bool replaceDots) {
    std::map<std::wstring, int> count;
    for (const CString& n : before) ++count[NameKey(n).GetString()];
    if (listed)
        for (const CString& n : given) ++count[NameKey(n).GetString()];
    std::vector<CString> out;
    for (CString n : given) {
        if (listed && --count[NameKey(n).GetString()] == 0) count.erase(NameKey(n).GetString());
        if (replaceDots && !n.IsEmpty()) ReplaceNameDots(n);
        MakeNameFree(n, [&](const CString& c) { return count.count(NameKey(c).GetString()) > 0; });
        ++count[NameKey(n).GetString()];
        out.push_back(n);
    }
    return out;
}

TEST_F(Store, BatchNamesAsOneByOne) {
    const std::vector<CString> given = BatchNames();
    // a file read: the list's order, every record counted from the start
    for (const CString& n : given) Add(n, 4);
    std::vector<CString> listOrder = Names();
    MakeNamesUniqueInStore(store);
    EXPECT_EQ(Expected(listOrder, {}, true, false), Names());

    // a paste: records already listed, then named with dots replaced
    std::vector<CString> before = Names();
    std::vector<CDeviceCfg*> added;
    for (const CString& n : given) added.push_back(Add(n, 4));
    CNameIndex index(store);
    std::vector<CString> got;
    for (CDeviceCfg* d : added) {
        bool dots = false;
        EXPECT_NE(0, index.MakeUnique(d, true, dots));
        EXPECT_LT(d->OpcName.Find(L'.'), 0);
        got.push_back(d->OpcName);
    }
    EXPECT_EQ(Expected(given, before, true, true), got);
}

TEST_F(Store, NameConflictsAndMerge) {
    store.EnsureGlobalDevice();
    Add(L"box", 4);
    bool dots = false;

    CDeviceCfg fresh(L"Box", 4);
    EXPECT_EQ(MakeNameUniqueIn(store, &fresh, dots), -1);
    EXPECT_STREQ(fresh.OpcName, L"Box_1");
    EXPECT_FALSE(dots);

    CDeviceCfg dotted(L"A.B", 4);
    EXPECT_EQ(MakeNameUniqueIn(store, &dotted, dots), 1);
    EXPECT_STREQ(dotted.OpcName, L"A_B");
    EXPECT_TRUE(dots);

    // An empty name would lose the device's keys in the file.
    CDeviceCfg empty(L"", 4);
    EXPECT_EQ(MakeNameUniqueIn(store, &empty, dots), -1);
    EXPECT_STREQ(empty.OpcName, L"_1");

    // A second global options record gives its settings to the first.
    CDeviceCfg global(L"OpcServer_Global", -1);
    global.IdleTicks = 77;
    EXPECT_EQ(MakeNameUniqueIn(store, &global, dots), 0);
    EXPECT_EQ(store.FindGlobalDevice()->IdleTicks, 77);
    // It keeps its place in the list (last, behind box).
    EXPECT_EQ(store.FindGlobalDevice()->m_pNext, store.GetDeviceHead());

    // The record's own name does not count against it.
    CDeviceCfg* listed = store.GetFirstDevice();
    EXPECT_EQ(MakeNameUniqueIn(store, listed, dots), 1);
}

TEST_F(Store, DefaultNameAndHost) {
    store.EnsureGlobalDevice();
    // Serial device named Box12x counts for the prefix too.
    Add(L"Box1", 4, L"10.0.0.1");
    Add(L"box7", 0, L"10.0.0.7");
    Add(L"Box12x", 2, L"10.0.0.12");
    CDeviceCfg* trcv = Add(L"Trcv1", 8, L"10.0.0.8");
    Add(L"EnO3", 9, L"Trcv1");
    // list order (front first): EnO3, Trcv1, Box12x, box7, Box1, global
    CDeviceCfg io(L"", 4);
    CDeviceCfg* head = nullptr;
    ASSERT_TRUE(PrepareNewDevice(store, &io, nullptr, head));
    EXPECT_STREQ(io.OpcName, L"Box13");
    EXPECT_STREQ(io.TargetHost, L"10.0.0.1");  // last non-module device in list order
    EXPECT_EQ(head, trcv);

    CDeviceCfg mod(L"", 9);
    EXPECT_FALSE(PrepareNewDevice(store, &mod, nullptr, head));
    CDeviceCfg* box1 = store.GetFirstDevice();  // EnO3 is no transceiver
    EXPECT_FALSE(PrepareNewDevice(store, &mod, box1, head));
    ASSERT_TRUE(PrepareNewDevice(store, &mod, trcv, head));
    EXPECT_STREQ(mod.OpcName, L"EnO4");
    EXPECT_STREQ(mod.TargetHost, L"Trcv1");
}

TEST_F(Store, DefaultNameNumbersDoNotOverflow) {
    store.EnsureGlobalDevice();
    Add(L"Box99999999999", 4);
    Add(L"Box2147483647", 4);
    Add(L"Box5", 4);
    CDeviceCfg io(L"", 4);
    CDeviceCfg* head = nullptr;
    ASSERT_TRUE(PrepareNewDevice(store, &io, nullptr, head));
    EXPECT_STREQ(io.OpcName, L"Box6");
}

TEST_F(Store, OnlyGlobalGivesBox1WithoutHost) {
    store.EnsureGlobalDevice();
    CDeviceCfg io(L"", 4);
    CDeviceCfg* head = nullptr;
    ASSERT_TRUE(PrepareNewDevice(store, &io, nullptr, head));
    EXPECT_STREQ(io.OpcName, L"Box1");
    EXPECT_TRUE(io.TargetHost.IsEmpty());
    EXPECT_EQ(head, nullptr);
}

TEST_F(Store, TransceiverChainLeadsToTheFront) {
    CDeviceCfg* a = Add(L"T1", 8);
    Add(L"X", 4);
    CDeviceCfg* b = Add(L"T2", 8);  // front
    EXPECT_EQ(BuildTransceiverChain(store), a);
    EXPECT_EQ(a->NextTransceiver, b);
    EXPECT_EQ(b->NextTransceiver, nullptr);
}

TEST_F(Store, DeleteAndUndoAsAStack) {
    CDeviceCfg* d1 = Add(L"D1", 4);
    CDeviceCfg* d2 = Add(L"D2", 4);
    CDeviceCfg* d3 = Add(L"D3", 4);
    EXPECT_EQ(DeleteRecords(store, {d3, d1}, true, generation), 2);
    EXPECT_EQ(generation, 1);
    EXPECT_EQ(DeleteRecords(store, {d2}, true, generation), 1);
    EXPECT_EQ(generation, 2);
    EXPECT_EQ(DeleteRecords(store, {}, true, generation), 0);
    EXPECT_EQ(generation, 2);
    EXPECT_TRUE(Names().empty());

    auto later = TakeLatestGeneration(store, generation);
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0], d2);
    store.AddDevice(d2);
    auto first = TakeLatestGeneration(store, generation);
    // last deleted first
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0], d1);
    EXPECT_EQ(first[1], d3);
    for (CDeviceCfg* d : first) store.AddDevice(d);
    EXPECT_EQ(generation, 0);
    EXPECT_FALSE(store.CanUndo());
    EXPECT_TRUE(TakeLatestGeneration(store, generation).empty());
    EXPECT_EQ(generation, 0);
    // Store order: front holds the former top-to-bottom order.
    std::vector<CString> expect{L"D3", L"D1", L"D2"};
    EXPECT_EQ(Names(), expect);

    CDeviceCfg* cut = store.GetFirstDevice();
    EXPECT_EQ(DeleteRecords(store, {cut}, false, generation), 1);
    EXPECT_EQ(generation, 0);
    EXPECT_FALSE(store.CanUndo());
}

TEST_F(Store, EnableDisableSkipsGlobalAndModules) {
    store.EnsureGlobalDevice();
    CDeviceCfg* t = Add(L"T", 8);
    CDeviceCfg* m = Add(L"M", 9);
    CDeviceCfg* g = store.FindGlobalDevice();
    SetDevicesEnabled({t, m, g}, false);
    EXPECT_EQ(t->Disable, 1);
    EXPECT_EQ(m->Disable, 0);
    EXPECT_EQ(g->Disable, 0);
    SetDevicesEnabled({t}, true);
    EXPECT_EQ(t->Disable, 0);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_TRUE(f);
    const bool written = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ASSERT_TRUE((fclose(f) == 0) & written) << "fixture not written";
}

TEST_F(Store, OldFormatImport) {
    std::wstring path = dir + L"old.txt";
    // A type 17 device and one line that is no device.
    WriteBytes(path, "KRVD1\r\n4\t1\t10.0.0.5\t49153\t5\t1\r\nshort\tline\r\n\r\n17\t2\t10.0.0.6\t80\t1\t0\r\n");
    FILE* f = _wfopen(path.c_str(), L"r");
    ASSERT_TRUE(f);
    char first[1000];
    ASSERT_TRUE(ReadLimitedLine(f, first));
    EXPECT_TRUE(IsOldFormatLine(first));
    COldImport r = ImportOldFormat(store, f);
    fclose(f);
    EXPECT_TRUE(r.hadType17);
    EXPECT_EQ(r.added, 2);
    ASSERT_NE(store.FindGlobalDevice(), nullptr);
    EXPECT_STREQ(store.GetFirstDevice()->OpcName, L"OpcServer_Global");
    int devices = 0;
    for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d))
        if (d->DeviceType != -1) ++devices;
    EXPECT_EQ(devices, r.added);
}

TEST_F(Store, LongFirstLineIsReadInPieces) {
    std::wstring path = dir + L"long.txt";
    WriteBytes(path, std::string(999, 'x') + "KRVD1\n");
    FILE* f = _wfopen(path.c_str(), L"r");
    ASSERT_TRUE(f);
    char line[1000];
    ASSERT_TRUE(ReadLimitedLine(f, line));
    EXPECT_EQ(strlen(line), 999u);
    EXPECT_FALSE(IsOldFormatLine(line));
    ASSERT_TRUE(ReadLimitedLine(f, line));
    EXPECT_TRUE(IsOldFormatLine(line));
    fclose(f);
    EXPECT_FALSE(IsOldFormatLine(""));
}

}  // namespace
