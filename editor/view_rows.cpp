#include "editor/view_rows.h"
#include "config/device_cfg.h"

CString RowPortText(int deviceType, unsigned binaryPort, unsigned httpPort, long serialNo) {
    CString s;
    switch (deviceType) {
    case kTypeGlobal: break;
    case 0:
    case 1:
    case 2:
    case 3:
    case kTypeTransceiver:
    case kTypeRfidReader: s.Format(L"%d", (int)binaryPort); break;
    case 4:
    case 5:
    case 23: s.Format(L"%d/%d", (int)binaryPort, (int)httpPort); break;
    case 9:
    case 10:
    case 11:
    case 12: s.Format(L"%08lX", serialNo); break;
    default: s.Format(L"%d", (int)httpPort); break;
    }
    return s;
}

CString RowTimingText(int minIntervalTicks, int maxIdleTicks) {
    CString lower, upper;
    FormatTenths(minIntervalTicks, lower);
    FormatTenths(maxIdleTicks, upper);
    return lower + L" .. " + upper + L" s";
}

int RowImage(int deviceType, bool disabled) {
    int i;
    switch (deviceType) {
    case kTypeGlobal: i = 1; break;
    case 0:
    case 1: i = 4; break;
    case 2:
    case 3: i = 6; break;
    case kTypeTransceiver: i = 8; break;
    case 9:
    case 10:
    case 11:
    case 12: i = 12; break;
    case kTypeRfidReader: i = 10; break;
    default: i = 2; break;
    }
    return disabled ? i + 1 : i;
}

int CompareNamesNoCase(const wchar_t* a, const wchar_t* b) { return CompareNoCaseAZ(a, b); }

int ComparePortKeys(unsigned a, unsigned b) { return a > b ? 1 : a < b ? -1 : 0; }

int CompareTiming(int minA, int maxA, int minB, int maxB) {
    if (minA != minB) return minA < minB ? -1 : 1;
    if (maxA != maxB) return maxA < maxB ? -1 : 1;
    return 0;
}

CSelSummary SummariseSelection(const std::vector<CSelectedRow>& rows, bool active) {
    CSelSummary s;
    s.nSelected = (int)rows.size();
    s.active = active;
    for (const CSelectedRow& r : rows) {
        if (r.kind == kKindGlobal) continue;
        s.notGlobal = true;
        if (r.kind == kKindRadioModule) continue;
        s.toggles = true;
        if (r.fresh || s.nSelected == 1) s.active = !r.disabled;
    }
    if (s.nSelected == 1) {
        s.transceiver = rows[0].kind == kKindTransceiver;
        s.hasItems = rows[0].kind != kKindGlobal && rows[0].kind != kKindTransceiver;
    }
    return s;
}
