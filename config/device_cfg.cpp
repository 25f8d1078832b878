#include "config/device_cfg.h"
#include "resources/config_ids.h"
#include <climits>
#include <cstdlib>
#include <cwchar>

CDeviceCfg::CDeviceCfg(const wchar_t* name, int type)
    : DeviceType(type), OpcName(name), Disable(0), MaxIdleTicks(50), MinIntervalTicks(1), BinaryPort(8000),
      HttpPort(80), HttpSecure(0), ReceiveMode(3), UsesLocalTime(0), AlwaysDevClock(1), SerialNo(0),
      EnOceanBaseAddress(0), DontSubscribe(0), LoginRequired(1), BinaryLogin(0), ForceReconnect(0), PriorityLogin(0),
      SerialParam(L"9600,n,8,1"), SerialFilter(L"end=;drop=;add=13;"), SerialPacketGap(7), Inputs(8), Outputs(0),
      ImageIndex(-1), UndoGeneration(0), NextTransceiver(nullptr), m_pNext(this), m_pPrev(this) {
    int kind = KindOf(type);
    if (kind == kKindBinaryIo) BinaryPort = 49153;
    if (kind == kKindRfid) {
        BinaryPort = 2683;
        Interval = 50;
        Inputs = 4;
        Outputs = 4;
    }
    if (kind == kKindSerial) SerialParam = L"9600,n,8,1,h";
    for (int i = 0; i < 3; ++i) {
        ScaleMin[i] = 0.0;
        ScaleMax[i] = 255.0;
        InputFlag[i] = 1;
    }
}

CDeviceCfg::~CDeviceCfg() {}

int CDeviceCfg::KindOf(int type) {
    switch (type) {
    case kTypeGlobal: return kKindGlobal;
    case 0:
    case 1:
    case 4:
    case 5:
    case 19:
    case 20:
    case 22:
    case 24: return kKindBinaryIo;
    case 2:
    case 3: return kKindSerial;
    case kTypeTransceiver: return kKindTransceiver;
    case 9:
    case 10:
    case 11:
    case 12: return kKindRadioModule;
    case kTypeRfidReader: return kKindRfid;
    default: return kKindNetworkIo;
    }
}

int CDeviceCfg::GetKind() const { return KindOf(DeviceType); }

void CDeviceCfg::SetDefaultName(int number) {
    static const wchar_t* const patterns[kKindCount] = {L"%d",     L"Box%d", L"Box%d", L"Com%d",
                                                        L"Trcv%d", L"EnO%d", L"Rfid%d"};
    int kind = GetKind();
    OpcName.Format(kind >= 0 && kind < kKindCount ? patterns[kind] : L"Box%d", number);
}

CString CDeviceCfg::GetTypeDescription() {
    CString fmt;
    if (DeviceType >= kTypeGlobal && DeviceType <= kTypeLast && fmt.LoadString((UINT)(IDS_TYPE_FIRST + DeviceType)))
        TypeDescription.Format(fmt, Inputs, DeviceType == kTypePushButton ? Inputs : Outputs);
    else
        TypeDescription.Empty();
    return TypeDescription;
}

unsigned int CDeviceCfg::GetPortKey() const {
    if (GetKind() == kKindRadioModule) return (unsigned int)SerialNo;
    switch (DeviceType) {
    case 4:
    case 5: return ((unsigned int)BinaryPort << 16) | HttpPort;
    case 6:
    case 7:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
    case 19:
    case 20:
    case 21:
    case 22:
    case 23:
    case 24:
    case 25: return (unsigned int)HttpPort << 16;
    default: return (unsigned int)BinaryPort << 16;
    }
}

void CDeviceCfg::InsertAfter(CDeviceCfg* position) {
    m_pPrev = position;
    m_pNext = position->m_pNext;
    position->m_pNext->m_pPrev = this;
    position->m_pNext = this;
}

void CDeviceCfg::Unlink() {
    m_pPrev->m_pNext = m_pNext;
    m_pNext->m_pPrev = m_pPrev;
    m_pNext = m_pPrev = this;
}

void CDeviceCfg::CopySettings(const CDeviceCfg& other) {
    if (&other == this) return;
    CDeviceCfg* next = m_pNext;
    CDeviceCfg* prev = m_pPrev;
    *this = other;
    m_pNext = next;
    m_pPrev = prev;
}

// Password scrambling keyed by the host text.
unsigned short CDeviceCfg::PasswordSeed(const wchar_t* host) {
    unsigned int seed = 0x5C3A;
    if (host)
        for (int k = 0; host[k]; ++k) seed += (k & 1) ? ((unsigned int)host[k] << 8) : (unsigned int)host[k];
    return (unsigned short)seed;
}

void CDeviceCfg::EncodePassword(CString& out) const {
    out.Empty();
    unsigned short running = PasswordSeed(TargetHost);
    for (int i = 0; i < Password.GetLength(); ++i) {
        running = (unsigned short)(running + Password[i]);
        // "%04x"
        const wchar_t group[5] = {L"0123456789abcdef"[running >> 12], L"0123456789abcdef"[(running >> 8) & 15],
                                  L"0123456789abcdef"[(running >> 4) & 15], L"0123456789abcdef"[running & 15], 0};
        out += group;
    }
}

void CDeviceCfg::DecodePassword(const wchar_t* text) {
    Password.Empty();
    if (!text) return;
    unsigned short previous = PasswordSeed(TargetHost);
    size_t len = wcslen(text);
    for (size_t i = 0; i < len; i += 4) {
        wchar_t group[5] = {0};
        unsigned digits = 0;  // the group's value while it is hexadecimal digits only
        bool plain = true;
        for (size_t j = 0; j < 4 && i + j < len; ++j) {
            wchar_t c = group[j] = text[i + j];
            if (c >= L'0' && c <= L'9')
                digits = digits << 4 | (unsigned)(c - L'0');
            else if (c >= L'a' && c <= L'f')
                digits = digits << 4 | (unsigned)(c - L'a' + 10);
            else if (c >= L'A' && c <= L'F')
                digits = digits << 4 | (unsigned)(c - L'A' + 10);
            else
                plain = false;
        }
        unsigned short v = (unsigned short)(plain ? digits : wcstoul(group, nullptr, 16));
        Password += (wchar_t)(unsigned short)(v - previous);
        previous = v;
    }
}

// Negative values keep their sign in front ("-2.5", not "-2.-5"), so that
// ParseTenths reads them back.
void FormatTenths(int tenths, CString& out) {
    long long v = tenths;
    bool neg = v < 0;
    if (neg) v = -v;
    long long q = v / 10, r = v % 10;
    if (r != 0)
        out.Format(neg ? L"-%I64d.%d" : L"%I64d.%d", q, (int)r);
    else
        out.Format(L"%I64d", neg ? -q : q);
}

int ParseTenths(const wchar_t* text) {
    if (!text) return 0;
    const wchar_t* p = text;
    while (*p == L' ' || (*p >= L'\t' && *p <= L'\r')) ++p;
    bool neg = *p == L'-';
    long long v = (long long)wcstol(text, nullptr, 10) * 10;
    const wchar_t* dot = wcschr(text, L'.');
    if (dot && dot[1] >= L'0' && dot[1] <= L'9') v += neg ? -(dot[1] - L'0') : (dot[1] - L'0');
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return (int)v;
}

CString FormatScaledInput(int flag, double mn, double mx, const wchar_t* unit) {
    return FormatString(L"%s%g;%g;%s", flag ? L"I" : L"", mn, mx, unit ? unit : L"");
}

void ParseScaledInput(const wchar_t* text, int& flag, double& mn, double& mx, CString& unit) {
    CString v(text);
    flag = v.GetAt(0) == L'I' ? 1 : 0;
    if (flag) v = v.Mid(1);
    mn = wcstod(v, nullptr);
    int semi = v.Find(L';');
    if (!v.IsEmpty() && semi >= 0) v = v.Mid(semi + 1);
    mx = wcstod(v, nullptr);
    semi = v.Find(L';');
    if (!v.IsEmpty() && semi >= 0) v = v.Mid(semi + 1);
    unit = v;
}
