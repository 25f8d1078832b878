// Configuration model of Varnel: one CDeviceCfg per device (plus the global
// options record, type -1, and the two list heads, type -2), and CCfgStore,
// the in-memory configuration with its device and undo lists and the
// private-profile configuration file of the OPC server.
//
// Iterate with GetFirstDevice/GetNextDevice; the store owns every record in
// its lists. theCfgStore is the program's instance (config/the_store.cpp);
// tests construct their own stores on temporary paths.
#pragma once
#include "framework/String.h"
#include "config/profile_file.h"
#include <functional>

// Type numbers that are no device type.
enum : int {
    kTypeGlobal = -1,    // the global options record, section "OpcServer_Global"
    kTypeListHead = -2,  // head of a store list; a section without "DeviceType"
};

// Device types the code singles out; every other type is data of the tables.
enum : int {
    kTypeSerialServer = 2,   // RS-232 serial device server
    kTypeIoBox = 4,          // digital I/O box, the default of a new I/O device
    kTypeTransceiver = 8,    // EnOcean radio transceiver
    kTypePushButton = 9,     // EnOcean push button, the default of a new radio module
    kTypeAnalogSensor = 11,  // EnOcean analog sensor with three scaled inputs
    kTypeSensorBox = 17,     // replaces the old format's analog boxes 13 to 15
    kTypeRfidReader = 18,
    kTypeLast = 25,
};

// What a type number is, as GetKind gives it; the kind decides the keys in
// the file, the dialog and the default name.
enum DeviceKind : int {
    kKindGlobal = 0,       // global options
    kKindBinaryIo = 1,     // network I/O device with binary port and login settings
    kKindNetworkIo = 2,    // other network I/O device (and every unknown type)
    kKindSerial = 3,       // serial device server
    kKindTransceiver = 4,  // EnOcean radio transceiver
    kKindRadioModule = 5,  // radio module received through a transceiver
    kKindRfid = 6,         // RFID reader
    kKindCount = 7,
};

// Item counts beyond this are cut by the item-name builders, so that a
// garbage count in a file cannot make them build gigabytes.
const int kMaxItemBlock = 1024;

class CDeviceCfg {
public:
    CDeviceCfg(const wchar_t* name, int type);
    virtual ~CDeviceCfg();
    // Copies every field, the links included; only CopySettings uses it.
    CDeviceCfg& operator=(const CDeviceCfg&) = default;
    CDeviceCfg(const CDeviceCfg&) = delete;

    int DeviceType;
    CString OpcName;
    CString ItemNames;
    int Disable;
    CString TargetHost;
    int MaxIdleTicks;
    int MinIntervalTicks;
    unsigned short BinaryPort;
    unsigned short HttpPort;
    int HttpSecure;
    CString Password;  // plain text; scrambled only in the file
    int ReceiveMode;
    int UsesLocalTime;
    int AlwaysDevClock;
    int SerialNo;
    int EnOceanBaseAddress;
    int DontSubscribe;
    int LoginRequired;
    int BinaryLogin;
    int ForceReconnect;
    int PriorityLogin;
    CString SerialParam;
    CString SerialFilter;
    union {                   // one field, three roles
        int SerialPacketGap;  // kind 3, tenths
        int Interval;         // kind 6, tenths
        int MinUpdateRate;    // global options, milliseconds
    };
    union {
        int Inputs;
        int IdleTicks;  // global options, tenths
    };
    union {
        int Outputs;
        int WatchdogTicks;  // global options, tenths
    };
    double ScaleMin[3];
    double ScaleMax[3];
    int InputFlag[3];
    CString Unit[3];
    CString KindCodes;
    int ImageIndex;  // owned by the device list view; -1 = not set
    int UndoGeneration;
    CDeviceCfg* NextTransceiver;  // temporary chain for the radio module dialog
    CString TypeDescription;
    CDeviceCfg* m_pNext;
    CDeviceCfg* m_pPrev;

    int GetKind() const;
    static int KindOf(int type);
    void SetDefaultName(int number);
    CString GetTypeDescription();
    unsigned int GetPortKey() const;

    void BuildDefaultItemNames();
    void BuildKindCodes();
    void AppendKindCode(char c, int count);
    // Fits ItemNames to the number of entries of the default (after reading).
    void FitItemNames();

    void EncodePassword(CString& out) const;
    void DecodePassword(const wchar_t* text);
    static unsigned short PasswordSeed(const wchar_t* host);

    bool ParseOldLine(const wchar_t* line);
    bool ParseOldLine(const char* line);  // 8-bit text in the ANSI code page

    void InsertAfter(CDeviceCfg* position);
    void Unlink();
    bool IsListEmpty() const { return m_pNext == this; }

    void CopySettings(const CDeviceCfg& other);
};

void FormatTenths(int tenths, CString& out);
int ParseTenths(const wchar_t* text);

// Scaled input of a radio analog sensor as the file holds it: "I" when the
// flag is set, minimum ";" maximum ";" unit.
CString FormatScaledInput(int flag, double mn, double mx, const wchar_t* unit);
void ParseScaledInput(const wchar_t* text, int& flag, double& mn, double& mx, CString& unit);

class CCfgStore {
public:
    CCfgStore();  // active path under common app data
    explicit CCfgStore(const wchar_t* activePath);
    ~CCfgStore();
    CCfgStore(const CCfgStore&) = delete;
    CCfgStore& operator=(const CCfgStore&) = delete;

    // Copies of the global options' timing values.
    int WatchdogTicks;
    int IdleTicks;
    int MinUpdateRate;

    const wchar_t* GetActivePath() const { return m_ActivePath; }
    const wchar_t* GetCurrentPath() const { return m_CurrentPath; }
    const wchar_t* GetSection() const { return m_Section; }

    void AddDevice(CDeviceCfg* dev);
    void RemoveDevice(CDeviceCfg* dev);
    CDeviceCfg* GetFirstDevice() const;
    CDeviceCfg* GetNextDevice(const CDeviceCfg* dev) const;
    void MoveToFront(CDeviceCfg* dev);
    void MoveToUndo(CDeviceCfg* dev, int generation);
    CDeviceCfg* TakeFromUndo(int generation);
    bool CanUndo() const { return !m_UndoHead.IsListEmpty(); }
    void DeleteAll(CDeviceCfg* head);
    void ClearAll();
    CDeviceCfg* GetDeviceHead() { return &m_DeviceHead; }
    CDeviceCfg* GetUndoHead() { return &m_UndoHead; }
    CDeviceCfg* FindGlobalDevice() const;

    bool FetchGlobalTiming();
    bool EnsureGlobalDevice();

    int Load(const wchar_t* path, bool clear);
    // Writes beside the target and replaces it only when every write
    // succeeded; on failure the old file stays and GetLastError() (also
    // GetLastSaveError()) holds the error of the step that failed.
    bool Save(const wchar_t* path);
    DWORD GetLastSaveError() const { return m_LastError; }

    // Per-key access to the current file (cfg_profile_io.cpp).
    bool CreateEmptyFile(const wchar_t* path);
    void SetSection(const wchar_t* name);
    int ReadHex(const wchar_t* key, int def);
    bool ReadString(const wchar_t* key, CString& out);
    bool WriteString(const wchar_t* key, const wchar_t* text);
    bool ReadSectionNames(CString& names);  // NUL-separated list

    bool ReadDevice(CDeviceCfg* dev);
    int ReadAllSections();
    bool WriteDevice(CDeviceCfg* dev);
    bool WriteAll();
    // The text (byte-order mark first) of a file made by CreateEmptyFile and
    // a WriteDevice of each record in turn, made in memory: reads the records
    // and nothing else of any store, so any thread may call it while the
    // records do not change. room(units) is called once and gives the memory
    // for the whole text, or null; false when it gives none or memory runs
    // out (room's memory, if any, is then the caller's to free).
    static bool SectionsText(const CDeviceCfg* const* devs, size_t count,
                             const std::function<wchar_t*(size_t units)>& room);
    static bool SectionsText(const CDeviceCfg* const* devs, size_t count, std::wstring& text);

    // Key by key through the platform's profile functions instead of the
    // file image: slow (the platform rewrites the file for every key), kept
    // as the reference the image is checked against.
    void SetPerKeyAccess(bool perKey) {
        m_PerKey = perKey;
        m_ImageFor[0] = 0;
    }

    // Several WriteDevice calls that reach the file together, once, when the
    // outermost batch ends (a copy of many records). Finish ends it early and
    // tells whether the file was written.
    class WriteBatch {
    public:
        explicit WriteBatch(CCfgStore& s) : m_s(s) { ++m_s.m_Batch; }
        ~WriteBatch() { Finish(); }
        bool Finish() {
            if (m_done) return true;
            m_done = true;
            return --m_s.m_Batch > 0 || m_s.FlushImage();
        }
        WriteBatch(const WriteBatch&) = delete;
        WriteBatch& operator=(const WriteBatch&) = delete;

    private:
        CCfgStore& m_s;
        bool m_done = false;
    };

private:
    bool WriteDeviceKeys(const CDeviceCfg* dev);
    enum class PlainSave { Written, Failed, NeedsImage };
    PlainSave SavePlain(const wchar_t* path, bool& created);
    bool ImageReady();
    bool FlushImage();
    void DropImage();

    void Init(const wchar_t* activePath);
    void NoteWriteFailure(DWORD err);

    wchar_t m_ActivePath[260];
    // Room for the long-path form of a temporary file beside a 259-character path.
    static const int kPathRoom = MAX_PATH + 16;
    wchar_t m_CurrentPath[kPathRoom];
    wchar_t m_Section[130];
    CDeviceCfg m_DeviceHead;
    CDeviceCfg m_UndoHead;
    int m_WriteOk;
    int m_AllWritesOk;  // global options' writes included
    DWORD m_LastError;

    // The current file held in memory: read once, written once.
    bool m_PerKey = false;
    CProfileImage m_Image;
    wchar_t m_ImageFor[kPathRoom] = {0};  // path the image holds (the current one); empty: none
    bool m_ImageFramed = false;           // created by us: keep the empty first line
    bool m_ImageDirty = false;
    int m_Batch = 0;  // open WriteDevice/WriteAll calls
};

extern CCfgStore theCfgStore;
