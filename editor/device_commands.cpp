#include "editor/device_commands.h"
#include "editor/doc_names.h"
#include <cstring>
#include <climits>
#include <memory>

CNameIndex::CNameIndex(CCfgStore& store, const CDeviceCfg* exclude) : m_store(store) {
    for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d))
        if (d != exclude) Add(d->OpcName);
}

void CNameIndex::Add(const CString& name) { ++m_count[NameKey(name).GetString()]; }

void CNameIndex::Remove(const CString& name) {
    auto it = m_count.find(NameKey(name).GetString());
    if (it != m_count.end() && --it->second <= 0) m_count.erase(it);
}

bool CNameIndex::Taken(const CString& name) const { return m_count.find(NameKey(name).GetString()) != m_count.end(); }

int CNameIndex::MakeUnique(CDeviceCfg* dev, bool counted, bool& dotsReplaced, bool replaceDots) {
    if (counted) Remove(dev->OpcName);
    dotsReplaced = replaceDots && !dev->OpcName.IsEmpty() && ReplaceNameDots(dev->OpcName);
    if (dev->DeviceType == kTypeGlobal) {
        for (CDeviceCfg* d = m_store.GetFirstDevice(); d; d = m_store.GetNextDevice(d)) {
            if (d != dev && d->DeviceType == kTypeGlobal) {
                d->CopySettings(*dev);
                return 0;
            }
        }
        // The only global options record keeps its fixed section name.
        if (!dev->OpcName.IsEmpty()) {
            Add(dev->OpcName);
            return 1;
        }
    }
    bool changed = FreeName(dev->OpcName);
    Add(dev->OpcName);
    return changed ? -1 : 1;
}

// As MakeNameFree, which tries the passes 1, 2, ... on one base; pasting
// many copies of a name would try every pass again for each copy.
bool CNameIndex::FreeName(CString& name) {
    auto taken = [this](const CString& n) { return Taken(n); };
    if (!name.IsEmpty() && !Taken(name)) return false;
    const int room = kNameKept - 11;
    CString first = NameCandidate(name.GetLength() > room ? name.Left(room) : name, 1);
    CString base = first.Left(first.GetLength() - 1);
    if (base.GetLength() > room - 10) return MakeNameFree(name, taken);
    std::wstring key = NameKey(base).GetString();
    auto it = m_nextPass.find(key);
    int pass = it == m_nextPass.end() ? 1 : it->second;
    CString candidate;
    for (;; ++pass) {
        candidate = base;
        candidate.AppendFormat(L"%d", pass);
        if (!Taken(candidate) || pass == INT_MAX) break;
    }
    m_nextPass[key] = pass < INT_MAX ? pass + 1 : pass;
    name = candidate;
    return true;
}

int MakeNameUniqueIn(CCfgStore& store, CDeviceCfg* dev, bool& dotsReplaced) {
    CNameIndex names(store, dev);
    return names.MakeUnique(dev, false, dotsReplaced);
}

int MakeNamesUniqueInStore(CCfgStore& store) {
    CNameIndex names(store);
    int changed = 0;
    for (CDeviceCfg* d = store.GetFirstDevice(); d;) {
        CDeviceCfg* next = store.GetNextDevice(d);
        bool dots = false;
        int r = names.MakeUnique(d, true, dots, false);
        if (r == 0) {
            store.RemoveDevice(d);
            delete d;
        }
        if (r != 1) ++changed;
        d = next;
    }
    return changed;
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

bool PrepareNewDevice(CCfgStore& store, CDeviceCfg* dev, CDeviceCfg* selectedTransceiver, CDeviceCfg*& chainHead) {
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

int DeleteRecords(CCfgStore& store, const std::vector<CDeviceCfg*>& records, bool withUndo, int& generation) {
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

bool IsOldFormatLine(const char* firstLine) { return std::strncmp(firstLine, "KRVD1", 5) == 0; }

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
