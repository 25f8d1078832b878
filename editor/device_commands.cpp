#include "editor/device_commands.h"
#include "editor/doc_names.h"
#include <cstring>
#include <memory>

int MakeNameUniqueIn(CCfgStore& store, CDeviceCfg* dev, bool& dotsReplaced) {
    dotsReplaced = !dev->OpcName.IsEmpty() && ReplaceNameDots(dev->OpcName);
    if (dev->DeviceType == kTypeGlobal) {
        for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d)) {
            if (d != dev && d->DeviceType == kTypeGlobal) {
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
        if (d->GetKind() == kKindTransceiver) {
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
    if (kind == kKindRadioModule) {
        if (!selectedTransceiver || selectedTransceiver->GetKind() != kKindTransceiver) return false;
        dev->TargetHost = selectedTransceiver->OpcName;
    }
    dev->SetDefaultName(0);
    const CString prefix = dev->OpcName.Left(dev->OpcName.GetLength() - 1);
    int highest = 0;
    for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d)) {
        if (d == dev || d->GetKind() == kKindGlobal) continue;
        if (d->GetKind() == kKindTransceiver) {
            d->NextTransceiver = chainHead;
            chainHead = d;
        }
        if (kind != kKindRadioModule && d->GetKind() != kKindRadioModule) dev->TargetHost = d->TargetHost;
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
        if (k != kKindGlobal && k != kKindRadioModule) d->Disable = enable ? 0 : 1;
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
    std::unique_ptr<CDeviceCfg> spare(new CDeviceCfg(L"", kTypeListHead));
    while (ReadLimitedLine(f, line)) {
        if (!spare->ParseOldLine(line)) continue;
        if (spare->DeviceType == kTypeSensorBox) r.hadType17 = true;
        store.AddDevice(spare.release());
        ++r.added;
        spare.reset(new CDeviceCfg(L"", kTypeListHead));
    }
    store.FetchGlobalTiming();
    store.EnsureGlobalDevice();
    return r;
}

