#include "editor/device_commands.h"
#include "editor/doc_names.h"
#include <cstring>
#include <climits>
#include <memory>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// "%d" of a pass (1 and up) appended.
void AppendPass(std::wstring& s, int pass) {
    wchar_t buf[12];
    wchar_t* p = buf + 12;
    unsigned v = (unsigned)pass;
    do {
        *--p = (wchar_t)(L'0' + v % 10);
        v /= 10;
    } while (v);
    s.append(p, (size_t)(buf + 12 - p));
}

// Texts used again by every call of a thread (a worker thread may name
// devices while the window's thread does too).
struct CNameScratch {
    std::wstring key, base, baseKey, stem;
};
CNameScratch& Scratch() {
    thread_local CNameScratch s;
    return s;
}

}  // namespace

// An open hash over one text of keys: a store of many devices is a few
// blocks, not a node and a string per name. Entries are never removed; a
// number of 0 is no entry.
class CNameIndex::CKeyTable {
public:
    explicit CKeyTable(size_t expected) {
        size_t slots = 64;
        while (slots < expected * 2) slots *= 2;
        m_Slots.assign(slots, 0u);
        m_Entries.reserve(expected);
        m_Text.reserve(expected * 8);
    }
    // The number of `key`; null when it never had one.
    int* Find(const std::wstring& key) {
        uint32_t hash = FoldHash(key.data(), key.size());
        size_t i = Probe(key, hash);
        return m_Slots[i] ? &m_Entries[m_Slots[i] - 1].number : nullptr;
    }
    // The number of `key`, entered as 0 when it had none.
    int& At(const std::wstring& key) {
        uint32_t hash = FoldHash(key.data(), key.size());
        size_t i = Probe(key, hash);
        if (m_Slots[i]) return m_Entries[m_Slots[i] - 1].number;
        m_Entries.push_back(Entry{(uint32_t)m_Text.size(), (uint32_t)key.size(), hash, 0});
        m_Text.append(key);
        m_Slots[i] = (uint32_t)m_Entries.size();
        if (m_Entries.size() * 2 > m_Slots.size()) Grow();
        return m_Entries.back().number;
    }

private:
    struct Entry {
        uint32_t at, len, hash;
        int number;
    };
    size_t Probe(const std::wstring& key, uint32_t hash) const {
        const size_t mask = m_Slots.size() - 1;
        size_t i = hash & mask;
        for (; m_Slots[i]; i = (i + 1) & mask) {
            const Entry& e = m_Entries[m_Slots[i] - 1];
            if (e.hash == hash && e.len == key.size() &&
                std::wmemcmp(m_Text.data() + e.at, key.data(), key.size()) == 0)
                break;
        }
        return i;
    }
    void Grow() {
        std::vector<uint32_t>(m_Slots.size() * 2, 0u).swap(m_Slots);
        const size_t mask = m_Slots.size() - 1;
        for (size_t n = 0; n < m_Entries.size(); ++n) {
            size_t i = m_Entries[n].hash & mask;
            while (m_Slots[i]) i = (i + 1) & mask;
            m_Slots[i] = (uint32_t)n + 1;
        }
    }
    std::wstring m_Text;
    std::vector<Entry> m_Entries;
    std::vector<uint32_t> m_Slots;  // entry + 1
};

CNameIndex::CNameIndex(CCfgStore& store, const CDeviceCfg* exclude) : m_store(store) {
    size_t n = 0;
    for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d)) ++n;
    m_count.reset(new CKeyTable(n + 16));
    m_nextPass.reset(new CKeyTable(16));
    std::wstring& key = Scratch().key;
    for (CDeviceCfg* d = store.GetFirstDevice(); d; d = store.GetNextDevice(d))
        if (d != exclude) {
            NameKeyInto(d->OpcName.GetString(), d->OpcName.GetLength(), key);
            ++m_count->At(key);
        }
}

CNameIndex::~CNameIndex() {}

int CNameIndex::MakeUnique(CDeviceCfg* dev, bool counted, bool& dotsReplaced, bool replaceDots) {
    std::wstring& key = Scratch().key;
    if (counted) {
        NameKeyInto(dev->OpcName.GetString(), dev->OpcName.GetLength(), key);
        int* n = m_count->Find(key);
        // Most names are their own: removed and counted again, nothing changes.
        if (n && *n == 1 && dev->DeviceType != kTypeGlobal && !dev->OpcName.IsEmpty() &&
            (!replaceDots || dev->OpcName.Find(L'.') < 0)) {
            dotsReplaced = false;
            return 1;
        }
        if (n && *n > 0) --*n;
    }
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
            NameKeyInto(dev->OpcName.GetString(), dev->OpcName.GetLength(), key);
            ++m_count->At(key);
            return 1;
        }
    }
    bool changed = FreeName(dev->OpcName, key);
    ++m_count->At(key);
    return changed ? -1 : 1;
}

// As MakeNameFree, which tries the passes 1, 2, ... on one base; pasting
// many copies of a name would try every pass again for each copy. `key`
// ends as the final name's.
bool CNameIndex::FreeName(CString& name, std::wstring& key) {
    auto taken = [this, &key](const CString& n) {
        NameKeyInto(n.GetString(), n.GetLength(), key);
        int* c = m_count->Find(key);
        return c && *c > 0;
    };
    if (!name.IsEmpty() && !taken(name)) return false;
    const int room = kNameKept - 11;
    // NameCandidate's base for the name cut to the room
    std::wstring& base = Scratch().base;
    NameCandidateBase(name.GetString(), name.GetLength() > room ? room : name.GetLength(), base);
    if ((int)base.size() > room - 10) {
        bool changed = MakeNameFree(name, taken);
        NameKeyInto(name.GetString(), name.GetLength(), key);
        return changed;
    }
    std::wstring& baseKey = Scratch().baseKey;
    NameKeyInto(base.data(), (int)base.size(), baseKey);
    int& next = m_nextPass->At(baseKey);
    int pass = next == 0 ? 1 : next;
    // A candidate is short of the kept characters and ends in a digit: its
    // key is the base's without leading blanks, folded, and the number.
    const wchar_t* bp = base.data();
    int bn = (int)base.size(), bb = 0;
    while (bb < bn && IsNameBlank(bp[bb])) ++bb;
    std::wstring& stem = Scratch().stem;
    stem.assign(bp + bb, (size_t)(bn - bb));
    for (wchar_t& c : stem) c = FoldChar(c);
    for (;; ++pass) {
        key.assign(stem);
        AppendPass(key, pass);
        int* c = m_count->Find(key);
        if (!(c && *c > 0) || pass == INT_MAX) break;
    }
    next = pass < INT_MAX ? pass + 1 : pass;
    AppendPass(base, pass);
    name = CString(base);
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
