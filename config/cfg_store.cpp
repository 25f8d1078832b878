#include "config/device_cfg.h"
#include <shlobj.h>
#include <cwchar>
#include <memory>

CCfgStore::CCfgStore() : m_DeviceHead(L"", -2), m_UndoHead(L"", -2) {
    wchar_t path[MAX_PATH + 1] = {0};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path))) {
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
}

CCfgStore::CCfgStore(const wchar_t* activePath) : m_DeviceHead(L"", -2), m_UndoHead(L"", -2) {
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

CDeviceCfg* CCfgStore::GetFirstDevice() const {
    return m_DeviceHead.IsListEmpty() ? nullptr : m_DeviceHead.m_pNext;
}

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
        if (p->DeviceType == -1) return p;
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
        std::unique_ptr<CDeviceCfg> fresh(new CDeviceCfg(L"", -1));
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

int CCfgStore::Load(const wchar_t* path, bool clear) {
    lstrcpynW(m_CurrentPath, path ? path : L"", kPathRoom);
    m_ImageFor[0] = 0;   // read the file as it is now
    if (clear) ClearAll();
    int count = ReadAllSections();
    if (!FetchGlobalTiming()) EnsureGlobalDevice();
    return count;
}

void CCfgStore::NoteWriteFailure(DWORD err) {
    if (m_AllWritesOk && m_LastError == 0) m_LastError = err ? err : ERROR_WRITE_FAULT;
    m_WriteOk = 0;
    m_AllWritesOk = 0;
}

// A path as the file functions take it beyond MAX_PATH characters.
static CString LongPathForm(const CString& path) {
    if (path.GetLength() < MAX_PATH || path.Left(4) == L"\\\\?\\") return path;
    if (path.Left(2) == L"\\\\") return L"\\\\?\\UNC\\" + path.Mid(2);
    return L"\\\\?\\" + path;
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
    DWORD attrs = GetFileAttributesW(target);
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        m_LastError = ERROR_ACCESS_DENIED;
        SetLastError(m_LastError);
        return false;
    }
    CString temp = LongPathForm(CString(target) + L".tmp");
    // A temporary file left behind (read-only, even) is ours to replace; its
    // attributes must not pass on to the saved file.
    DWORD tempAttrs = GetFileAttributesW(temp);
    if (tempAttrs != INVALID_FILE_ATTRIBUTES) {
        if (tempAttrs & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(temp, tempAttrs & ~FILE_ATTRIBUTE_READONLY);
        if (!DeleteFileW(temp)) {
            m_LastError = GetLastError() ? GetLastError() : ERROR_ACCESS_DENIED;
            SetLastError(m_LastError);
            return false;
        }
    }
    bool created = CreateEmptyFile(temp);
    if (!created) m_LastError = GetLastError() ? GetLastError() : ERROR_OPEN_FAILED;
    bool written = created && WriteAll();
    bool ok = created && written && m_AllWritesOk;
    if (ok) {
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
    m_ImageFor[0] = 0;
    SetLastError(ok ? 0 : m_LastError);
    return ok;
}

// Outside a WriteAll the image goes to disk after each record, so that a
// caller (the clipboard copy) finds every record it wrote in the file.
bool CCfgStore::WriteDevice(CDeviceCfg* dev) {
    WriteBatch batch(*this);
    bool ok = WriteDeviceKeys(dev);
    if (!batch.Finish() && dev->DeviceType != -1) ok = false;
    return ok;
}

bool CCfgStore::WriteDeviceKeys(CDeviceCfg* dev) {
    m_WriteOk = 1;
    SetSection(dev->OpcName);
    const int kind = dev->GetKind();
    const bool global = dev->DeviceType == -1;
    WriteHex(L"DeviceType", dev->DeviceType);
    WriteString(L"ItemNames", dev->ItemNames);
    if (global) {
        WriteHex(L"IdleTicks", dev->IdleTicks);
        WriteHex(L"WatchdogTicks", dev->WatchdogTicks);
        WriteHex(L"MinUpdateRate", dev->MinUpdateRate);
        return true;
    }
    WriteHex(L"Disable", dev->Disable);
    WriteString(L"TargetHost", dev->TargetHost);
    WriteHex(L"MaxIdleTicks", dev->MaxIdleTicks);
    WriteHex(L"MinIntervalTicks", dev->MinIntervalTicks);
    if (kind == 1) {
        WriteHex(L"DontSubscribe", dev->DontSubscribe);
        WriteHex(L"ForceReconnect", dev->ForceReconnect);
        WriteHex(L"PriorityLogin", dev->PriorityLogin);
        WriteHex(L"LoginRequired", (dev->LoginRequired || dev->BinaryLogin) ? 1 : 0);
        WriteHex(L"BinaryLogin", dev->BinaryLogin);
    }
    if (kind == 5) WriteHex(L"SerialNo", dev->SerialNo);
    if (kind != 5) {
        WriteHex(L"BinaryPort", dev->BinaryPort);
        WriteHex(L"HttpPort", dev->HttpPort);
        WriteHex(L"HttpSecure", dev->HttpSecure);
        CString scrambled;
        dev->EncodePassword(scrambled);
        WriteString(L"Password", scrambled);
    }
    if (kind == 3) {
        WriteString(L"SerialParam", dev->SerialParam);
        WriteString(L"SerialFilter", dev->SerialFilter);
        WriteHex(L"SerialPacketGap", dev->SerialPacketGap);
    }
    if (kind == 6) {
        WriteHex(L"ReceiveMode", dev->ReceiveMode);
        WriteHex(L"UsesLocalTime", dev->UsesLocalTime);
        WriteHex(L"AlwaysDevClock", dev->AlwaysDevClock);
        WriteHex(L"Interval", dev->Interval);
    }
    if (kind == 4) WriteHex(L"EnOceanBaseAddress", dev->EnOceanBaseAddress);
    if (kind != 4) {
        WriteHex(L"Inputs", dev->Inputs);
        WriteHex(L"Outputs", dev->Outputs);
    }
    if (dev->DeviceType == 11) {
        for (int i = 0; i < 3; ++i) {
            wchar_t key[20];
            wsprintfW(key, L"ScaledInput%d", i);
            WriteString(key, FormatScaledInput(dev->InputFlag[i], dev->ScaleMin[i], dev->ScaleMax[i], dev->Unit[i]));
        }
    }
    return m_WriteOk != 0;
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
    const int kind = dev->GetKind();
    const bool global = dev->DeviceType == -1;
    CString s;
    dev->ItemNames.Empty();
    ReadString(L"ItemNames", dev->ItemNames);
    if (global) {
        dev->IdleTicks = ReadHex(L"IdleTicks", 0);
        dev->WatchdogTicks = ReadHex(L"WatchdogTicks", 0);
        dev->MinUpdateRate = ReadHex(L"MinUpdateRate", 800);
    } else {
        dev->Disable = ReadHex(L"Disable", 0);
        ReadString(L"TargetHost", dev->TargetHost);
        dev->MaxIdleTicks = ReadHex(L"MaxIdleTicks", 50);
        dev->MinIntervalTicks = ReadHex(L"MinIntervalTicks", 1);
        if (kind == 1) {
            dev->DontSubscribe = ReadHex(L"DontSubscribe", 0);
            dev->ForceReconnect = ReadHex(L"ForceReconnect", 0);
            dev->PriorityLogin = ReadHex(L"PriorityLogin", 0);
            dev->LoginRequired = ReadHex(L"LoginRequired", 1);
            dev->BinaryLogin = ReadHex(L"BinaryLogin", 0);
            if (dev->BinaryLogin) dev->LoginRequired = 0;
        }
        if (kind == 5) dev->SerialNo = ReadHex(L"SerialNo", 0);
        if (kind != 5) {
            dev->BinaryPort = (unsigned short)ReadHex(L"BinaryPort", dev->BinaryPort);
            dev->HttpPort = (unsigned short)ReadHex(L"HttpPort", 80);
            dev->HttpSecure = ReadHex(L"HttpSecure", 0);
            dev->Password.Empty();
            if (ReadString(L"Password", s)) dev->DecodePassword(s);
        }
        if (kind == 3) {
            ReadString(L"SerialParam", dev->SerialParam);
            ReadString(L"SerialFilter", dev->SerialFilter);
            dev->SerialPacketGap = ReadHex(L"SerialPacketGap", 7);
        }
        if (kind == 6) {
            dev->ReceiveMode = ReadHex(L"ReceiveMode", 3);
            dev->UsesLocalTime = ReadHex(L"UsesLocalTime", 0);
            dev->AlwaysDevClock = ReadHex(L"AlwaysDevClock", 1);
            dev->Interval = ReadHex(L"Interval", 50);
        }
        if (kind == 4) dev->EnOceanBaseAddress = ReadHex(L"EnOceanBaseAddress", 0);
        if (kind != 4) {
            dev->Inputs = ReadHex(L"Inputs", 0);
            dev->Outputs = ReadHex(L"Outputs", 0);
        }
        // A missing or empty scaled input keeps the record's defaults.
        if (dev->DeviceType == 11) {
            for (int i = 0; i < 3; ++i) {
                wchar_t key[20];
                wsprintfW(key, L"ScaledInput%d", i);
                if (ReadString(key, s))
                    ParseScaledInput(s, dev->InputFlag[i], dev->ScaleMin[i], dev->ScaleMax[i], dev->Unit[i]);
            }
        }
    }
    dev->FitItemNames();
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
        int type = ReadHex(L"DeviceType", -2);
        if (type == -2) continue;
        std::unique_ptr<CDeviceCfg> dev(new CDeviceCfg(CString(name, (int)len), type));
        ReadDevice(dev.get());
        if (!global || type != -1) {
            AddDevice(dev.release());
            ++count;
        } else {
            int generation = global->UndoGeneration;
            global->CopySettings(*dev);
            global->UndoGeneration = generation;
        }
    }
    return count;
}
