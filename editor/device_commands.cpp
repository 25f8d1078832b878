#include "editor/device_commands.h"
#include "editor/doc_names.h"
#include <cstring>
#include <memory>

int MakeNameUniqueIn(CCfgStore& store, CDeviceCfg* dev, bool& dotsReplaced) {
    dotsReplaced = !dev->OpcName.IsEmpty() && ReplaceNameDots(dev->OpcName);
    if (dev->DeviceType == -1) {
        for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d)) {
            if (d != dev && d->DeviceType == -1) {
                d->CopySettings(*dev);
                return 0;
            }
        }
        // The only global options record keeps its fixed section name.
        if (!dev->OpcName.IsEmpty()) return 1;
    }
    auto taken = [&](const CString& name) {
        for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d))
            if (d != dev && d->OpcName.CompareNoCase(name) == 0) return true;
        return false;
    };
    return MakeNameFree(dev->OpcName, taken) ? -1 : 1;
}

CDeviceCfg* BuildTransceiverChain(CCfgStore& store) {
    CDeviceCfg* head = nullptr;
    for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d)) {
        if (d->GetKind() == 4) {
            d->NextTransceiver = head;
            head = d;
        }
    }
    return head;
}

bool PrepareNewDevice(CCfgStore& store, CDeviceCfg* dev, CDeviceCfg* selectedTransceiver,
                      CDeviceCfg*& chainHead) {
    chainHead = nullptr;
    const int kind = dev->GetKind();
    if (kind == 5) {
        if (!selectedTransceiver || selectedTransceiver->GetKind() != 4) return false;
        dev->TargetHost = selectedTransceiver->OpcName;
    }
    dev->SetDefaultName(0);
    const CString prefix = dev->OpcName.Left(dev->OpcName.GetLength() - 1);
    int highest = 0;
    for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d)) {
        if (d == dev || d->GetKind() == 0) continue;
        if (d->GetKind() == 4) {
            d->NextTransceiver = chainHead;
            chainHead = d;
        }
        if (kind != 5 && d->GetKind() != 5) dev->TargetHost = d->TargetHost;
        int n = DefaultNameNumber(d->OpcName, prefix);
        if (n > highest) highest = n;
    }
    dev->SetDefaultName(highest + 1);
    return true;
}

int DeleteRecords(CCfgStore& store, const std::vector<CDeviceCfg*>& records, bool withUndo,
                  int& generation) {
    int deleted = 0;
    for (CDeviceCfg* d : records) {
        if (!d) continue;
        if (withUndo) {
            store.MoveToUndo(d, generation);
        } else {
            store.RemoveDevice(d);
            delete d;
        }
        ++deleted;
    }
    if (deleted && withUndo) ++generation;
    return deleted;
}

std::vector<CDeviceCfg*> TakeLatestGeneration(CCfgStore& store, int& generation) {
    std::vector<CDeviceCfg*> out;
    if (!store.CanUndo()) return out;
    --generation;
    while (CDeviceCfg* d = store.TakeFromUndo(generation)) out.push_back(d);
    return out;
}

void SetDevicesEnabled(const std::vector<CDeviceCfg*>& records, bool enable) {
    for (CDeviceCfg* d : records) {
        int k = d->GetKind();
        if (k != 0 && k != 5) d->Disable = enable ? 0 : 1;
    }
}

bool IsOldFormatLine(const char* firstLine) {
    return std::strncmp(firstLine, "KRVD1", 5) == 0;
}

bool ReadLimitedLine(FILE* f, char (&buf)[1000]) {
    buf[0] = 0;
    return std::fgets(buf, (int)sizeof buf, f) != nullptr;
}

COldImport ImportOldFormat(CCfgStore& store, FILE* f) {
    COldImport r;
    char line[1000];
    std::unique_ptr<CDeviceCfg> spare(new CDeviceCfg(L"", -2));
    while (ReadLimitedLine(f, line)) {
        if (!spare->ParseOldLine(line)) continue;
        if (spare->DeviceType == 17) r.hadType17 = true;
        store.AddDevice(spare.release());
        ++r.added;
        spare.reset(new CDeviceCfg(L"", -2));
    }
    store.FetchGlobalTiming();
    store.EnsureGlobalDevice();
    return r;
}

// Start of entry k (its '.'), or -1.
static int EntryStart(const CString& names, int k) {
    int pos = -1;
    for (int n = 0; n <= k; ++n) {
        pos = names.Find(L'.', pos + 1);
        if (pos < 0) return -1;
    }
    return pos;
}

static int NameEnd(const CString& names, int from) {
    int dot = names.Find(L'.', from);
    return dot < 0 ? names.GetLength() : dot;
}

void ReplaceNameComponent(const CString& source, CString& target, int s, int t) {
    int sp = EntryStart(source, s);
    if (sp < 0) return;
    int sb = sp + 2 > source.GetLength() ? source.GetLength() : sp + 2;
    CString name = source.Mid(sb, NameEnd(source, sb) - sb);
    int tp = EntryStart(target, t);
    if (tp < 0) return;
    int tb = tp + 2 > target.GetLength() ? target.GetLength() : tp + 2;
    target = target.Left(tb) + name + target.Mid(NameEnd(target, tb));
}

static bool IsGroupMarker(wchar_t c) {
    return c == 0x40 || c == 0x2F || c == 0x21;
}

BOOL CarryOverItemNames(CDeviceCfg* rec, CDeviceCfg* copy) {
    const CString used = copy->ItemNames;
    if (rec->ItemNames == used) return FALSE;
    copy->BuildDefaultItemNames();
    const CString oldDefaults = copy->ItemNames;
    if (rec->ItemNames == oldDefaults) {
        rec->ItemNames = used;
        return FALSE;
    }
    if (used == oldDefaults) return FALSE;
    copy->ItemNames = used;
    rec->BuildKindCodes();
    copy->BuildKindCodes();
    const CString kNew = rec->KindCodes, kOld = copy->KindCodes;
    for (wchar_t c = 0x22; c <= 0x71; ++c) {
        if (c == 0x2F || c == 0x40) continue;
        int i = kOld.Find(c), j = kNew.Find(c);
        if (i < 0 || j < 0) continue;
        if (i > 0 && j > 0 && IsGroupMarker(kOld[i - 1]) && IsGroupMarker(kNew[j - 1]))
            ReplaceNameComponent(used, rec->ItemNames, i - 1, j - 1);
        while (i < kOld.GetLength() && j < kNew.GetLength() && kOld[i] == c && kNew[j] == c) {
            ReplaceNameComponent(used, rec->ItemNames, i, j);
            ++i;
            ++j;
        }
    }
    return TRUE;
}
