// Default item-name strings and the parallel item-kind codes of each type:
// one list of entries, each with its text and its kind code, serves both.
#include "config/device_cfg.h"
#include <utility>

namespace {

int Clamp(int n) { return n <= 0 ? 0 : (n > kMaxItemBlock ? kMaxItemBlock : n); }

// count entries ".<depth><first + k>" for k = 0..count-1, the numbers as
// "%d" gives them (without the formatter: every record read builds these)
void AppendNumbers(CString& s, int count, int first, wchar_t depth = L'2') {
    for (int k = 0; k < count; ++k) {
        wchar_t buf[16];
        wchar_t* p = buf + 15;
        *p = 0;
        int v = first + k;
        bool neg = v < 0;
        unsigned u = neg ? 0u - (unsigned)v : (unsigned)v;
        do {
            *--p = (wchar_t)(L'0' + u % 10);
            u /= 10;
        } while (u);
        if (neg) *--p = L'-';
        *--p = depth;
        *--p = L'.';
        s += p;
    }
}

void AppendLetters(CString& s, int count, wchar_t depth) {
    for (int k = 0; k < count; ++k) {
        s += L'.';
        s += depth;
        s += (wchar_t)(L'A' + k);
    }
}

int CountDots(const CString& s) {
    int n = 0;
    for (int i = 0; i < s.GetLength(); ++i)
        if (s[i] == L'.') ++n;
    return n;
}

// Index of the k-th dot (1-based), or -1.
int NthDot(const CString& s, int k) {
    for (int i = 0; i < s.GetLength(); ++i)
        if (s[i] == L'.' && --k == 0) return i;
    return -1;
}

// The names' builder and the codes' builder walk the same list of entries:
// an entry's text and its kind code stand together below.
struct NameSink {
    CString& s;
    void Entries(const wchar_t* text, const char*) { s += text; }
    void Numbers(int count, int first, char) { AppendNumbers(s, count, first); }
    void Letters(int count, wchar_t depth, char) { AppendLetters(s, count, depth); }
};

struct CodeSink {
    CDeviceCfg& d;
    void Entries(const wchar_t*, const char* codes) {
        for (; *codes; ++codes) d.AppendKindCode(*codes, 1);
    }
    void Numbers(int count, int, char code) { d.AppendKindCode(code, count); }
    void Letters(int count, wchar_t, char code) { d.AppendKindCode(code, count); }
};

// A head entry and count numbered entries under it.
template <class Sink> void Group(Sink& o, const wchar_t* head, char headCode, int count, int first, char code) {
    const char headCodes[] = {headCode, 0};
    o.Entries(head, headCodes);
    o.Numbers(count, first, code);
}

template <class Sink> void ListEntries(const CDeviceCfg& d, Sink& o) {
    const int n = Clamp(d.Inputs), m = Clamp(d.Outputs);
    const int first = d.DeviceType == kTypeRfidReader ? 1 : 0;
    // the closing network entry's code, which differs between types
    const char* net = "\x30";
    switch (d.DeviceType) {
    case kTypeGlobal:
        if (d.WatchdogTicks > 0) o.Entries(L".0Watchdog", "\x41");
        return;
    case 0:
        Group(o, L".1E", 0x2F, 12, 0, 0x32);
        Group(o, L".1A", 0x40, 12, 0, 0x43);
        break;
    case 1:
        Group(o, L".1E", 0x2F, 12, 0, 0x32);
        Group(o, L".1A", 0x40, 12, 0, 0x43);
        Group(o, L".1I", 0x40, 12, 0, 0x46);
        o.Entries(L".1U.1T.1F", "\x47\x48\x49");
        break;
    case 2:
        o.Entries(L".1TxD.1RxD.1N.1Line.2Baud.2Bits.2Stop.2Parity.2Flow.2Hard",
                  "\x52\x31\x53\x40\x54\x55\x56\x57\x58\x59");
        break;
    case 3:
        o.Entries(L".1TxD.1RxD.1N.1Line.2Baud.2Bits.2Stop.2Parity.2Flow", "\x52\x31\x53\x40\x54\x55\x56\x57\x58");
        Group(o, L".1E", 0x40, 2, 0, 0x5A);
        Group(o, L".1A", 0x40, 2, 0, 0x5B);
        break;
    case 4:
        if (n > 0) Group(o, L".1E", 0x2F, n, first, 0x32);
        Group(o, L".1A", 0x40, m, first, 0x43);
        if (n > 0) Group(o, L".1N", 0x40, n, first, 0x4B);
        break;
    case 5:
        Group(o, L".1E", 0x2F, 24, 0, 0x32);
        Group(o, L".1A", 0x40, 24, 0, 0x43);
        Group(o, L".1N", 0x40, 24, 0, 0x4B);
        break;
    case 6:
        Group(o, L".1T", 0x40, n, first, 0x5C);
        net = "\x42";
        break;
    case 7:
        Group(o, L".1T", 0x40, n, first, 0x5C);
        Group(o, L".1H", 0x40, n, first, 0x5D);
        net = "\x42";
        break;
    case 8: return;
    case 9:
        o.Letters(n, L'1', 0x69);
        o.Entries(L".10", "\x40");
        o.Letters(n, L'2', 0x6B);
        o.Entries(L".11", "\x40");
        o.Letters(n, L'2', 0x6A);
        net = "\x42";
        break;
    case 10:
        o.Entries(L".10.2A.2B.2C.2D.11.2A.2B.2C.2D", "\x40\x66\x66\x66\x66\x40\x65\x65\x65\x65");
        net = "\x42";
        break;
    case 11:
        o.Entries(L".1A.1B.1C.1D.1N.2A.2B.2C.2D.1S.20.21.22", "\x63\x63\x63\x63\x40\x64\x64\x64\x64\x40\x6C\x6C\x6C");
        net = "\x42";
        break;
    case 12:
        o.Entries(L".1M.1L", "\x67\x68");
        net = "\x42";
        break;
    case 13:
        Group(o, L".1U", 0x40, n, first, 0x60);
        Group(o, L".1I", 0x40, n, first, 0x62);
        net = "\x42";
        break;
    case 14:
        Group(o, L".1U", 0x40, n, first, 0x60);
        net = "\x42";
        break;
    case 15:
        Group(o, L".1I", 0x40, n, first, 0x60);
        net = "\x42";
        break;
    case 16:
        Group(o, L".1T", 0x40, n, first, 0x5C);
        Group(o, L".1H", 0x40, n, first, 0x5D);
        Group(o, L".1P", 0x40, n, first, 0x5E);
        net = "\x42";
        break;
    case 17:
        Group(o, L".1S", 0x40, n, first, 0x60);
        net = "\x42";
        break;
    case 18:
        Group(o, L".1In", 0x40, n, first, 0x6E);
        Group(o, L".1Out", 0x40, m, first, 0x6F);
        Group(o, L".1Led", 0x40, 2, 1, 0x70);
        o.Entries(L".1Relay", "\x71");
        Group(o, L".1Filterset", 0x21, 8, 1, 0x22);
        break;
    case 19:
        Group(o, L".1Input", 0x40, n, first, 0x45);
        Group(o, L".1Output", 0x40, m, first, 0x44);
        Group(o, L".1Counter", 0x40, n, first, 0x4E);
        Group(o, L".1Test", 0x40, n * 2, 1, 0x4D);
        Group(o, L".1Trigger", 0x40, n * 2, 1, 0x4C);
        Group(o, L".1Alarm", 0x2F, n * 2, 1, 0x33);
        break;
    case 20:
        Group(o, L".1Input", 0x40, n, first, 0x45);
        Group(o, L".1Counter", 0x40, n, first, 0x4F);
        Group(o, L".1Diff", 0x40, n / 2, 0, 0x50);
        Group(o, L".1Error", 0x40, n / 2, 0, 0x51);
        Group(o, L".1Test", 0x40, n * 2, 1, 0x4D);
        Group(o, L".1Report", 0x2F, n * 2, 1, 0x34);
        break;
    case 21:
        Group(o, L".1T", 0x40, n, first, 0x5C);
        Group(o, L".1Output", 0x2F, m, first, 0x35);
        net = "\x42";
        break;
    case 22:
        Group(o, L".1Input", 0x40, n, first, 0x45);
        Group(o, L".1Output", 0x40, m, first, 0x44);
        Group(o, L".1Test", 0x40, n * 2, 1, 0x4D);
        Group(o, L".1Trigger", 0x40, n * 2, 1, 0x4C);
        Group(o, L".1Alarm", 0x2F, n * 2, 1, 0x33);
        break;
    case 23: Group(o, L".1Analog", 0x40, n, first, 0x61); break;
    case 24:
        Group(o, L".1Input", 0x40, n, first, 0x45);
        Group(o, L".1Output", 0x40, m, first, 0x44);
        Group(o, L".1Test", 0x40, 12, 1, 0x4D);
        Group(o, L".1Action", 0x21, 12, 1, 0x23);
        break;
    case 25:
        Group(o, L".1T", 0x40, n, first, 0x5C);
        Group(o, L".1H", 0x40, n, first, 0x5D);
        Group(o, L".1Q", 0x40, n, first, 0x5F);
        net = "\x42";
        break;
    // an unknown type's network entry has no kind code
    default: net = ""; break;
    }
    o.Entries(L".1Network", net);
}

}  // namespace

void CDeviceCfg::BuildDefaultItemNames() {
    ItemNames.Empty();
    NameSink sink{ItemNames};
    ListEntries(*this, sink);
}

void CDeviceCfg::AppendKindCode(char c, int count) {
    if (count > 0) KindCodes += CString((wchar_t)(unsigned char)c, count);
}

void CDeviceCfg::BuildKindCodes() {
    KindCodes.Empty();
    CodeSink sink{*this};
    ListEntries(*this, sink);
}

// Reading fits every record, and most records of a file hold as many names
// as their default: the default's count is kept per type (for the inputs and
// outputs it was built for), so that the default is built only when the
// names must change.
namespace {
struct DefaultCount {
    bool known;
    int inputs, outputs;
    bool watchdog;
    int count;
};
thread_local DefaultCount t_DefaultCount[kTypeLast + 2];  // types -1 to kTypeLast
}  // namespace

void CDeviceCfg::FitItemNames() {
    const int i = CountDots(ItemNames);
    const int n = Clamp(Inputs), m = Clamp(Outputs);
    const bool watchdog = WatchdogTicks > 0;
    DefaultCount* known =
        DeviceType >= kTypeGlobal && DeviceType <= kTypeLast ? &t_DefaultCount[DeviceType + 1] : nullptr;
    if (known && known->known && known->inputs == n && known->outputs == m && known->watchdog == watchdog &&
        known->count == i)
        return;
    CString stored = std::move(ItemNames);
    // the default in one allocation
    ItemNames.GetBuffer(stored.GetLength() + 64);
    ItemNames.ReleaseBuffer(0);
    BuildDefaultItemNames();
    CString def = std::move(ItemNames);
    int j = CountDots(def);
    if (known) *known = DefaultCount{true, n, m, watchdog, j};
    if (i > j)
        ItemNames = stored.Left(NthDot(stored, j + 1));
    else if (i < j)
        ItemNames = stored + def.Mid(NthDot(def, i + 1));
    else
        ItemNames = std::move(stored);
}
