// Default item-name strings and the parallel item-kind codes of each type.
// Both builders must give one code per entry, position for position.
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

const wchar_t kNet[] = L".1Network";
const wchar_t kP12[] = L".21.22.23.24.25.26.27.28.29.210.211.212";

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

}  // namespace

void CDeviceCfg::BuildDefaultItemNames() {
    CString& s = ItemNames;
    s.Empty();
    const int n = Clamp(Inputs), m = Clamp(Outputs);
    const int first = DeviceType == kTypeRfidReader ? 1 : 0;
    auto addIn = [&] { AppendNumbers(s, n, first); };
    auto addOut = [&] { AppendNumbers(s, m, first); };
    auto addPairs = [&] { AppendNumbers(s, n * 2, 1); };
    auto addHalf = [&] { AppendNumbers(s, n / 2, 0); };
    switch (DeviceType) {
    case kTypeGlobal:
        if (WatchdogTicks > 0) s = L".0Watchdog";
        return;
    case 0: s = L".1E.20.21.22.23.24.25.26.27.28.29.210.211.1A.20.21.22.23.24.25.26.27.28.29.210.211"; break;
    case 1:
        s = L".1E.20.21.22.23.24.25.26.27.28.29.210.211.1A.20.21.22.23.24.25.26.27.28.29.210.211"
            L".1I.20.21.22.23.24.25.26.27.28.29.210.211.1U.1T.1F";
        break;
    case 2: s = L".1TxD.1RxD.1N.1Line.2Baud.2Bits.2Stop.2Parity.2Flow.2Hard"; break;
    case 3: s = L".1TxD.1RxD.1N.1Line.2Baud.2Bits.2Stop.2Parity.2Flow.1E.20.21.1A.20.21"; break;
    case 4:
        if (n > 0) {
            s += L".1E";
            addIn();
        }
        s += L".1A";
        addOut();
        if (n > 0) {
            s += L".1N";
            addIn();
        }
        break;
    case 5:
        s += L".1E";
        AppendNumbers(s, 24, 0);
        s += L".1A";
        AppendNumbers(s, 24, 0);
        s += L".1N";
        AppendNumbers(s, 24, 0);
        break;
    case 6:
        s += L".1T";
        addIn();
        break;
    case 7:
        s += L".1T";
        addIn();
        s += L".1H";
        addIn();
        break;
    case 8: return;
    case 9:
        AppendLetters(s, n, L'1');
        s += L".10";
        AppendLetters(s, n, L'2');
        s += L".11";
        AppendLetters(s, n, L'2');
        break;
    case 10: s = L".10.2A.2B.2C.2D.11.2A.2B.2C.2D"; break;
    case 11: s = L".1A.1B.1C.1D.1N.2A.2B.2C.2D.1S.20.21.22"; break;
    case 12: s = L".1M.1L"; break;
    case 13:
        s += L".1U";
        addIn();
        s += L".1I";
        addIn();
        break;
    case 14:
        s += L".1U";
        addIn();
        break;
    case 15:
        s += L".1I";
        addIn();
        break;
    case 16:
        s += L".1T";
        addIn();
        s += L".1H";
        addIn();
        s += L".1P";
        addIn();
        break;
    case 17:
        s += L".1S";
        addIn();
        break;
    case 18:
        s += L".1In";
        addIn();
        s += L".1Out";
        addOut();
        s += L".1Led.21.22.1Relay.1Filterset.21.22.23.24.25.26.27.28";
        break;
    case 19:
        s += L".1Input";
        addIn();
        s += L".1Output";
        addOut();
        s += L".1Counter";
        addIn();
        s += L".1Test";
        addPairs();
        s += L".1Trigger";
        addPairs();
        s += L".1Alarm";
        addPairs();
        break;
    case 20:
        s += L".1Input";
        addIn();
        s += L".1Counter";
        addIn();
        s += L".1Diff";
        addHalf();
        s += L".1Error";
        addHalf();
        s += L".1Test";
        addPairs();
        s += L".1Report";
        addPairs();
        break;
    case 21:
        s += L".1T";
        addIn();
        s += L".1Output";
        addOut();
        break;
    case 22:
        s += L".1Input";
        addIn();
        s += L".1Output";
        addOut();
        s += L".1Test";
        addPairs();
        s += L".1Trigger";
        addPairs();
        s += L".1Alarm";
        addPairs();
        break;
    case 23:
        s += L".1Analog";
        addIn();
        break;
    case 24:
        s += L".1Input";
        addIn();
        s += L".1Output";
        addOut();
        s += L".1Test";
        s += kP12;
        s += L".1Action";
        s += kP12;
        break;
    case 25:
        s += L".1T";
        addIn();
        s += L".1H";
        addIn();
        s += L".1Q";
        addIn();
        break;
    default: break;
    }
    s += kNet;
}

void CDeviceCfg::AppendKindCode(char c, int count) {
    if (count > 0) KindCodes += CString((wchar_t)(unsigned char)c, count);
}

void CDeviceCfg::BuildKindCodes() {
    KindCodes.Empty();
    const int n = Clamp(Inputs), m = Clamp(Outputs);
    auto A = [this](int c, int k) { AppendKindCode((char)c, k); };
    auto runs = [&](const char* list) {
        for (; *list; ++list) A(*list, 1);
    };
    switch (DeviceType) {
    case kTypeGlobal:
        if (WatchdogTicks > 0) A(0x41, 1);
        break;
    case 0:
        A(0x2F, 1);
        A(0x32, 12);
        A(0x40, 1);
        A(0x43, 12);
        A(0x30, 1);
        break;
    case 1:
        A(0x2F, 1);
        A(0x32, 12);
        A(0x40, 1);
        A(0x43, 12);
        A(0x40, 1);
        A(0x46, 12);
        runs("\x47\x48\x49\x30");
        break;
    case 2: runs("\x52\x31\x53\x40\x54\x55\x56\x57\x58\x59\x30"); break;
    case 3:
        runs("\x52\x31\x53\x40\x54\x55\x56\x57\x58");
        A(0x40, 1);
        A(0x5A, 2);
        A(0x40, 1);
        A(0x5B, 2);
        A(0x30, 1);
        break;
    case 4:
        if (n > 0) {
            A(0x2F, 1);
            A(0x32, n);
            A(0x40, 1);
            A(0x43, m);
            A(0x40, 1);
            A(0x4B, n);
            A(0x30, 1);
        } else {
            A(0x40, 1);
            A(0x43, m);
            A(0x30, 1);
        }
        break;
    case 5:
        A(0x2F, 1);
        A(0x32, 24);
        A(0x40, 1);
        A(0x43, 24);
        A(0x40, 1);
        A(0x4B, 24);
        A(0x30, 1);
        break;
    case 6:
        A(0x40, 1);
        A(0x5C, n);
        A(0x42, 1);
        break;
    case 7:
        A(0x40, 1);
        A(0x5C, n);
        A(0x40, 1);
        A(0x5D, n);
        A(0x42, 1);
        break;
    case 8: break;
    case 9:
        A(0x69, n);
        A(0x40, 1);
        A(0x6B, n);
        A(0x40, 1);
        A(0x6A, n);
        A(0x42, 1);
        break;
    case 10:
        A(0x40, 1);
        A(0x66, 4);
        A(0x40, 1);
        A(0x65, 4);
        A(0x42, 1);
        break;
    case 11:
        A(0x63, 4);
        A(0x40, 1);
        A(0x64, 4);
        A(0x40, 1);
        A(0x6C, 3);
        A(0x42, 1);
        break;
    case 12: runs("\x67\x68\x42"); break;
    case 13:
        A(0x40, 1);
        A(0x60, n);
        A(0x40, 1);
        A(0x62, n);
        A(0x42, 1);
        break;
    case 14:
    case 15:
    case 17:
        A(0x40, 1);
        A(0x60, n);
        A(0x42, 1);
        break;
    case 16:
        A(0x40, 1);
        A(0x5C, n);
        A(0x40, 1);
        A(0x5D, n);
        A(0x40, 1);
        A(0x5E, n);
        A(0x42, 1);
        break;
    case 18:
        A(0x40, 1);
        A(0x6E, n);
        A(0x40, 1);
        A(0x6F, m);
        A(0x40, 1);
        A(0x70, 2);
        A(0x71, 1);
        A(0x21, 1);
        A(0x22, 8);
        A(0x30, 1);
        break;
    case 19:
        A(0x40, 1);
        A(0x45, n);
        A(0x40, 1);
        A(0x44, m);
        A(0x40, 1);
        A(0x4E, n);
        A(0x40, 1);
        A(0x4D, 2 * n);
        A(0x40, 1);
        A(0x4C, 2 * n);
        A(0x2F, 1);
        A(0x33, 2 * n);
        A(0x30, 1);
        break;
    case 20:
        A(0x40, 1);
        A(0x45, n);
        A(0x40, 1);
        A(0x4F, n);
        A(0x40, 1);
        A(0x50, n / 2);
        A(0x40, 1);
        A(0x51, n / 2);
        A(0x40, 1);
        A(0x4D, 2 * n);
        A(0x2F, 1);
        A(0x34, 2 * n);
        A(0x30, 1);
        break;
    case 21:
        A(0x40, 1);
        A(0x5C, n);
        A(0x2F, 1);
        A(0x35, m);
        A(0x42, 1);
        break;
    case 22:
        A(0x40, 1);
        A(0x45, n);
        A(0x40, 1);
        A(0x44, m);
        A(0x40, 1);
        A(0x4D, 2 * n);
        A(0x40, 1);
        A(0x4C, 2 * n);
        A(0x2F, 1);
        A(0x33, 2 * n);
        A(0x30, 1);
        break;
    case 23:
        A(0x40, 1);
        A(0x61, n);
        A(0x30, 1);
        break;
    case 24:
        A(0x40, 1);
        A(0x45, n);
        A(0x40, 1);
        A(0x44, m);
        A(0x40, 1);
        A(0x4D, 12);
        A(0x21, 1);
        A(0x23, 12);
        A(0x30, 1);
        break;
    case 25:
        A(0x40, 1);
        A(0x5C, n);
        A(0x40, 1);
        A(0x5D, n);
        A(0x40, 1);
        A(0x5F, n);
        A(0x42, 1);
        break;
    default: break;
    }
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
