#include "config/device_cfg.h"
#include "config/cfg_keys.h"
#include "config/cfg_read.h"
#include <shlobj.h>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

// The values merge; the paste's mark and the row's image stay.
static void MergeGlobalValues(CDeviceCfg* global, const CDeviceCfg& read) {
    int generation = global->UndoGeneration;
    int image = global->ImageIndex;
    global->CopySettings(read);
    global->UndoGeneration = generation;
    global->ImageIndex = image;
}

// A path as the file functions take it beyond MAX_PATH characters.
static CString LongPathForm(const CString& path) {
    if (path.GetLength() < MAX_PATH || path.Left(4) == L"\\\\?\\") return path;
    if (path.Left(2) == L"\\\\") return L"\\\\?\\UNC\\" + path.Mid(2);
    return L"\\\\?\\" + path;
}

// What a save writes before it moves the file over its target.
static CString TempPathOf(const wchar_t* target) { return CString(target) + L".tmp"; }

// A save that was killed before its move leaves its temporary file (the
// target stays whole); ours to remove, read-only even, but nothing of
// another kind under that name. True when none is left.
static bool RemoveLeftoverTemp(const CString& temp) {
    DWORD attrs = GetFileAttributesW(temp);
    if (attrs == INVALID_FILE_ATTRIBUTES) return true;
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (attrs & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(temp, attrs & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileW(temp) != FALSE;
}

CCfgStore::CCfgStore() : m_DeviceHead(L"", kTypeListHead), m_UndoHead(L"", kTypeListHead) {
    wchar_t path[MAX_PATH + 1] = {0};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path))) {
        path[0] = 0;
        GetWindowsDirectoryW(path, MAX_PATH);
    }
    path[MAX_PATH - 1] = 0;
    size_t n = wcslen(path);
    if (n && path[n - 1] == L'\\') path[n - 1] = 0;
    wchar_t active[260];
    lstrcpynW(active, path, 260);
    n = wcslen(active);
    lstrcpynW(active + n, L"\\Korvelin\\", (int)(260 - n));
    CreateDirectoryW(active, nullptr);
    n = wcslen(active);
    lstrcpynW(active + n, L"Dravoline.ini", (int)(260 - n));
    Init(active);
    // left by a run killed while saving; a save of another run under way at
    // this moment then fails with its message, never as if it had succeeded
    RemoveLeftoverTemp(LongPathForm(TempPathOf(active)));
}

CCfgStore::CCfgStore(const wchar_t* activePath) : m_DeviceHead(L"", kTypeListHead), m_UndoHead(L"", kTypeListHead) {
    Init(activePath);
}

void CCfgStore::Init(const wchar_t* activePath) {
    WatchdogTicks = 0;
    IdleTicks = 0;
    MinUpdateRate = 800;
    lstrcpynW(m_ActivePath, activePath ? activePath : L"", 260);
    m_CurrentPath[0] = 0;
    m_Section[0] = 0;
    m_WriteOk = 1;
    m_AllWritesOk = 1;
    m_LastError = 0;
}

CCfgStore::~CCfgStore() { ClearAll(); }

void CCfgStore::AddDevice(CDeviceCfg* dev) { dev->InsertAfter(&m_DeviceHead); }
void CCfgStore::RemoveDevice(CDeviceCfg* dev) { dev->Unlink(); }

CDeviceCfg* CCfgStore::GetFirstDevice() const { return m_DeviceHead.IsListEmpty() ? nullptr : m_DeviceHead.m_pNext; }

CDeviceCfg* CCfgStore::GetNextDevice(const CDeviceCfg* dev) const {
    if (!dev || dev->m_pNext == &m_DeviceHead) return nullptr;
    return dev->m_pNext;
}

void CCfgStore::MoveToFront(CDeviceCfg* dev) {
    dev->Unlink();
    dev->InsertAfter(&m_DeviceHead);
}

void CCfgStore::MoveToUndo(CDeviceCfg* dev, int generation) {
    dev->Unlink();
    dev->InsertAfter(&m_UndoHead);
    dev->UndoGeneration = generation;
}

CDeviceCfg* CCfgStore::TakeFromUndo(int generation) {
    for (CDeviceCfg* p = m_UndoHead.m_pNext; p != &m_UndoHead; p = p->m_pNext) {
        if (p->UndoGeneration == generation) {
            p->Unlink();
            return p;
        }
    }
    return nullptr;
}

void CCfgStore::DeleteAll(CDeviceCfg* head) {
    while (!head->IsListEmpty()) {
        CDeviceCfg* p = head->m_pNext;
        p->Unlink();
        delete p;
    }
}

void CCfgStore::ClearAll() {
    DeleteAll(&m_DeviceHead);
    DeleteAll(&m_UndoHead);
}

CDeviceCfg* CCfgStore::FindGlobalDevice() const {
    for (CDeviceCfg* p = GetFirstDevice(); p; p = GetNextDevice(p))
        if (p->DeviceType == kTypeGlobal) return p;
    return nullptr;
}

bool CCfgStore::FetchGlobalTiming() {
    CDeviceCfg* g = FindGlobalDevice();
    if (!g) {
        WatchdogTicks = 0;
        IdleTicks = 0;
        MinUpdateRate = 800;
        return false;
    }
    IdleTicks = g->IdleTicks;
    WatchdogTicks = g->WatchdogTicks;
    MinUpdateRate = g->MinUpdateRate;
    return true;
}

bool CCfgStore::EnsureGlobalDevice() {
    CDeviceCfg* g = FindGlobalDevice();
    bool created = false;
    if (!g) {
        std::unique_ptr<CDeviceCfg> fresh(new CDeviceCfg(L"", kTypeGlobal));
        AddDevice(fresh.get());
        g = fresh.release();
        created = true;
    }
    g->OpcName = L"OpcServer_Global";
    g->IdleTicks = IdleTicks;
    g->WatchdogTicks = WatchdogTicks;
    g->MinUpdateRate = MinUpdateRate;
    if (created) g->BuildDefaultItemNames();
    return true;
}

namespace {

// A record's fields from its section, in the table's order, so that the host
// is known before the password is unscrambled. `src` answers by the index
// of a key in the table: Hex(i, def), and Text(i, out), false when missing.
template <class Source> void ReadFields(CDeviceCfg* dev, Source& src) {
    CString s;
    for (size_t i = 0; i < kCfgKeyCount; ++i) {
        const CCfgKey& k = kCfgKeys[i];
        if (!k.Holds(*dev)) continue;
        switch (k.form) {
        case CfgKeyForm::Type: break;
        case CfgKeyForm::Hex:
        case CfgKeyForm::LoginFlag: dev->*k.hex = src.Hex(i, k.def); break;
        case CfgKeyForm::LoginOverride:
            dev->*k.hex = src.Hex(i, k.def);
            if (dev->*k.hex) dev->LoginRequired = 0;
            break;
        case CfgKeyForm::Port:
            dev->*k.port = (unsigned short)src.Hex(i, k.def == kRecordDefault ? dev->*k.port : k.def);
            break;
        case CfgKeyForm::Text:
            if (!src.Text(i, dev->*k.text)) dev->*k.text = k.textDef;
            break;
        case CfgKeyForm::Password:
            dev->Password.Empty();
            if (src.Text(i, s)) dev->DecodePassword(s);
            break;
        case CfgKeyForm::ScaledInput:
            // A missing or empty scaled input keeps the record's defaults.
            if (src.Text(i, s))
                ParseScaledInput(s, dev->InputFlag[k.input], dev->ScaleMin[k.input], dev->ScaleMax[k.input],
                                 dev->Unit[k.input]);
            break;
        }
    }
    dev->FitItemNames();
}

struct KeyByKey {
    CCfgStore& store;
    int Hex(size_t i, int def) { return store.ReadHex(kCfgKeys[i].name, def); }
    bool Text(size_t i, CString& out) { return store.ReadString(kCfgKeys[i].name, out); }
};

// The table's index of a key name (A-Z folded), or kCfgKeyCount.
size_t KeyIndex(const wchar_t* name, size_t len) {
    struct Table {
        unsigned char slot[256];  // index + 1 by the name's length and ends
        Table() {
            for (unsigned char& s : slot) s = 0;
            for (size_t i = 0; i < kCfgKeyCount; ++i) {
                const wchar_t* n = kCfgKeys[i].name;
                size_t l = wcslen(n);
                for (size_t h = Hash(n, l);; h = (h + 1) & 255)
                    if (!slot[h]) {
                        slot[h] = (unsigned char)(i + 1);
                        break;
                    }
            }
        }
        static size_t Hash(const wchar_t* n, size_t l) {
            return (l * 31 + FoldChar(n[0]) * 7 + FoldChar(n[l - 1]) * 3 + FoldChar(n[l / 2])) & 255;
        }
    };
    static const Table table;
    if (len == 0) return kCfgKeyCount;
    for (size_t h = Table::Hash(name, len);; h = (h + 1) & 255) {
        unsigned char s = table.slot[h];
        if (!s) return kCfgKeyCount;
        const wchar_t* k = kCfgKeys[s - 1].name;
        size_t i = 0;
        for (; i < len && k[i] && FoldChar(k[i]) == FoldChar(name[i]); ++i) {}
        if (i == len && !k[i]) return s - 1;
    }
}

// Builds the records of a whole file as the image's section-by-section reads
// would, while it streams by. What only the image can answer (a section
// that repeats an earlier name and so reads the earlier one's keys, or a name
// longer than the section buffer keeps, read under its cut form) stops it:
// the image then reads the file.
class CStreamedRecords : public CProfileStream::Sink {
public:
    ~CStreamedRecords() {
        for (CDeviceCfg* d : m_Records) delete d;
    }
    bool Section(const wchar_t* name, size_t len, bool first) override {
        if (!Finish()) return false;
        if (len == 0) return true;  // never read: its keys are lost
        if (!first || len > 127) return false;
        m_Name.assign(name, len);
        m_Open = true;
        return true;
    }
    bool Key(const wchar_t* name, size_t len, const wchar_t* value, size_t valueLen, bool hasValue) override {
        if (!m_Open) return true;
        size_t i = KeyIndex(name, len);
        if (i == kCfgKeyCount || m_Seen[i]) return true;  // only the first counts
        m_Seen[i] = 1;
        Slot& s = m_Slots[i];
        s.hasValue = hasValue;
        if (!hasValue) return true;
        // one pair of surrounding quotes goes, as in a lookup
        if (valueLen > 1 && (value[0] == L'"' || value[0] == L'\'') && value[valueLen - 1] == value[0]) {
            ++value;
            valueLen -= 2;
        }
        s.at = m_Values.size();
        s.len = valueLen;
        m_Values.append(value, valueLen);
        return true;
    }
    // The last section's record; false when it cannot be made here.
    bool Finish() {
        if (!m_Open) return true;
        m_Open = false;
        m_Last = m_Name;
        int type = Hex(0, kCfgKeys[0].def);  // "DeviceType"
        if (type != kTypeListHead) {
            std::unique_ptr<CDeviceCfg> dev(new CDeviceCfg(CString(m_Name), type));
            ReadFields(dev.get(), *this);
            m_Records.push_back(dev.release());
        }
        for (unsigned char& s : m_Seen) s = 0;
        m_Values.clear();
        return true;
    }
    int Hex(size_t i, int def) const {
        if (!m_Seen[i] || !m_Slots[i].hasValue) return def;
        return CfgHexValue(m_Values.data() + m_Slots[i].at, m_Slots[i].len, def);
    }
    bool Text(size_t i, CString& out) const {
        if (!m_Seen[i] || !m_Slots[i].hasValue || m_Slots[i].len == 0) return false;
        out = CString(m_Values.data() + m_Slots[i].at, (int)m_Slots[i].len);
        return true;
    }

    std::vector<CDeviceCfg*> m_Records;  // in the file's order
    std::wstring m_Last;                 // the last section's name

private:
    struct Slot {
        size_t at, len;
        bool hasValue;
    };
    bool m_Open = false;
    std::wstring m_Name;
    std::wstring m_Values;  // the section's values of table keys
    Slot m_Slots[kCfgKeyCount];
    unsigned char m_Seen[kCfgKeyCount] = {0};
};

// As ReadAllSections on the image, without the image; false when the image
// must read the file.
bool ReadStreamed(CCfgStore& store, int& count) {
    CStreamedRecords records;
    DWORD err = 0;
    CProfileStream::Result r = CProfileStream::Read(store.GetCurrentPath(), records, err);
    if (r == CProfileStream::kFailed) {
        count = 0;  // as an image that could not be read: no sections
        return true;
    }
    if (r != CProfileStream::kDone || !records.Finish()) return false;
    CDeviceCfg* global = store.FindGlobalDevice();
    count = 0;
    for (CDeviceCfg*& dev : records.m_Records) {
        if (!global || dev->DeviceType != kTypeGlobal) {
            store.AddDevice(dev);
            dev = nullptr;
            ++count;
        } else {
            MergeGlobalValues(global, *dev);
        }
    }
    if (!records.m_Last.empty()) store.SetSection(records.m_Last.c_str());
    return true;
}

}  // namespace

int CCfgStore::Load(const wchar_t* path, bool clear) {
    lstrcpynW(m_CurrentPath, path ? path : L"", kPathRoom);
    m_ImageFor[0] = 0;  // read the file as it is now
    if (clear) ClearAll();
    int count;
    if (m_PerKey || !ReadStreamed(*this, count)) count = ReadAllSections();
    DropImage();
    if (!FetchGlobalTiming()) EnsureGlobalDevice();
    return count;
}

void CCfgStore::NoteWriteFailure(DWORD err) {
    if (m_AllWritesOk && m_LastError == 0) m_LastError = err ? err : ERROR_WRITE_FAULT;
    m_WriteOk = 0;
    m_AllWritesOk = 0;
}

// The new file is written beside the target, flushed to the disk and moved
// over it only when every write went through: a failed save leaves the old
// file as it was. A read-only target is refused as the platform refuses to
// write it; the rename alone would walk around the attribute.
bool CCfgStore::Save(const wchar_t* path) {
    const wchar_t* given = path ? path : m_ActivePath;
    m_LastError = 0;
    m_AllWritesOk = 1;
    if (wcslen(given) >= MAX_PATH) {
        m_LastError = ERROR_FILENAME_EXCED_RANGE;
        SetLastError(m_LastError);
        return false;
    }
    wchar_t target[MAX_PATH];
    lstrcpynW(target, given, MAX_PATH);
    CString temp = LongPathForm(TempPathOf(target));
    // Removed even by a save that is refused; its attributes must not pass
    // on to the saved file.
    const bool tempGone = RemoveLeftoverTemp(temp);
    const DWORD tempError = tempGone ? 0 : GetLastError();
    DWORD attrs = GetFileAttributesW(target);
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        m_LastError = ERROR_ACCESS_DENIED;
        SetLastError(m_LastError);
        return false;
    }
    if (!tempGone) {
        m_LastError = tempError ? tempError : ERROR_ACCESS_DENIED;
        SetLastError(m_LastError);
        return false;
    }
    // Plain records go to the file as they are made; the image takes the rest.
    bool created = false;
    PlainSave plain = SavePlain(temp, created);
    if (plain == PlainSave::NeedsImage) {
        created = CreateEmptyFile(temp);
        if (!created) m_LastError = GetLastError() ? GetLastError() : ERROR_OPEN_FAILED;
    }
    bool written = plain == PlainSave::Written || (plain == PlainSave::NeedsImage && created && WriteAll());
    bool ok = created && written && m_AllWritesOk;
    if (ok && plain == PlainSave::NeedsImage) {
        HANDLE h = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE || !FlushFileBuffers(h)) {
            m_LastError = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
            ok = false;
        }
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    if (ok && !MoveFileExW(temp, LongPathForm(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        m_LastError = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        ok = false;
    }
    if (!ok) {
        if (created) DeleteFileW(temp);
        if (m_LastError == 0) m_LastError = ERROR_WRITE_FAULT;
    }
    lstrcpynW(m_CurrentPath, target, MAX_PATH);
    DropImage();
    SetLastError(ok ? 0 : m_LastError);
    return ok;
}

// Outside a WriteAll the image goes to disk after each record, so that a
// caller finds every record it wrote in the file.
bool CCfgStore::WriteDevice(CDeviceCfg* dev) {
    WriteBatch batch(*this);
    bool ok = WriteDeviceKeys(dev);
    if (!batch.Finish() && dev->DeviceType != kTypeGlobal) ok = false;
    return ok;
}

bool CCfgStore::WriteAll() {
    bool ok = true;
    WriteBatch batch(*this);
    for (CDeviceCfg* p = GetFirstDevice(); p; p = GetNextDevice(p))
        if (!WriteDevice(p)) ok = false;
    if (!batch.Finish()) ok = false;
    return ok;
}

bool CCfgStore::ReadDevice(CDeviceCfg* dev) {
    KeyByKey src{*this};
    ReadFields(dev, src);
    return true;
}

int CCfgStore::ReadAllSections() {
    CDeviceCfg* global = FindGlobalDevice();
    CString names;
    if (!ReadSectionNames(names)) return 0;
    int count = 0;
    const wchar_t* p = names.GetString();
    const wchar_t* end = p + names.GetLength();
    while (p < end && *p) {
        const wchar_t* name = p;
        size_t len = wcsnlen(p, (size_t)(end - p));
        p += len + 1;
        SetSection(name);
        int type = ReadHex(kCfgKeys[0].name, kCfgKeys[0].def);  // "DeviceType"
        if (type == kTypeListHead) continue;
        std::unique_ptr<CDeviceCfg> dev(new CDeviceCfg(CString(name, (int)len), type));
        ReadDevice(dev.get());
        if (!global || type != kTypeGlobal) {
            AddDevice(dev.release());
            ++count;
        } else {
            MergeGlobalValues(global, *dev);
        }
    }
    return count;
}
