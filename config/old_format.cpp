// One device line of a version-3 configuration (tab-separated columns).
#include "config/device_cfg.h"
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

bool AllDigits(const CString& s) {
    for (int i = 0; i < s.GetLength(); ++i)
        if (s[i] < L'0' || s[i] > L'9') return false;
    return true;
}

}  // namespace

bool CDeviceCfg::ParseOldLine(const char* line) {
    CString wide(line ? line : "");
    return ParseOldLine(wide.GetString());
}

bool CDeviceCfg::ParseOldLine(const wchar_t* line) {
    OpcName.Empty();
    ItemNames.Empty();
    Disable = 0;
    MaxIdleTicks = 50;
    MinIntervalTicks = 1;
    HttpSecure = 0;
    DontSubscribe = ForceReconnect = PriorityLogin = 0;
    LoginRequired = 1;
    BinaryLogin = 0;
    Inputs = 12;
    Outputs = 12;

    const wchar_t* p = line ? line : L"";
    int column = 0;
    while (*p) {
        const wchar_t* start = p;
        while (*p && *p != L'\t' && *p != L'\r' && *p != L'\n') ++p;
        CString col(start, (int)(p - start));
        if (*p) ++p;  // exactly one separator

        const bool serial = KindOf(DeviceType) == kKindSerial;
        switch (column) {
        case 0: {
            DeviceType = (int)wcstol(col, nullptr, 10);
            int dot = col.Find(L'.', 1);
            if (dot >= 1) ItemNames = col.Mid(dot);
            break;
        }
        case 1:
            if (AllDigits(col))
                SetDefaultName((int)wcstol(col, nullptr, 10));
            else
                OpcName = col;
            break;
        case 2: TargetHost = col; break;
        case 3: {
            unsigned long v = wcstoul(col, nullptr, 10);
            SerialNo = (int)v;
            BinaryPort = (unsigned short)(v & 0xFFFF);
            HttpPort = (unsigned short)(v >> 16);
            if (HttpPort == 0) HttpPort = 80;
            break;
        }
        case 4: {
            long v = wcstol(col, nullptr, 10);
            MinIntervalTicks = (int)v;
            long long raised = (long long)v + 20;
            if (raised > INT_MAX) raised = INT_MAX;
            if (MaxIdleTicks < raised) MaxIdleTicks = (int)raised;
            break;
        }
        case 5: {
            long f = wcstol(col, nullptr, 16);
            Disable = (int)(f & 1);
            DontSubscribe = (int)(f & 2);
            ForceReconnect = (int)(f & 4);
            break;
        }
        case 6: {
            Password.Empty();
            unsigned int s = 0;
            for (int i = 0; i < TargetHost.GetLength(); ++i) s += TargetHost[i];
            s &= 0xFF;
            for (int i = 0; i < col.GetLength(); i += 2) {
                CString pair = col.Mid(i, 2);
                unsigned int v = (unsigned int)wcstoul(pair, nullptr, 16) & 0xFF;
                if (v != s) Password += (wchar_t)((v - s) & 0xFF);
                s = v;
            }
            break;
        }
        case 7:
            if (serial)
                SerialParam = col;
            else if (DeviceType == kTypeTransceiver)
                EnOceanBaseAddress = (int)wcstoul(col, nullptr, 16);
            else
                Inputs = Outputs = (int)wcstol(col, nullptr, 10);
            break;
        case 8:
            if (serial)
                SerialFilter = col;
            else
                Outputs = (int)wcstol(col, nullptr, 10);
            break;
        case 9:
            if (serial) SerialPacketGap = (int)wcstol(col, nullptr, 10);
            break;
        default: break;
        }
        if (DeviceType == kTypeAnalogSensor && column >= 7 && column <= 9) {
            int i = column - 7;
            ParseScaledInput(col, InputFlag[i], ScaleMin[i], ScaleMax[i], Unit[i]);
        }
        ++column;
    }

    if (DeviceType == 13 || DeviceType == 14 || DeviceType == 15) {
        DeviceType = kTypeSensorBox;
        Inputs = 2;
    }
    if (DeviceType == kTypeGlobal) {
        WatchdogTicks = (BinaryPort & 2) ? MinIntervalTicks : 0;
        IdleTicks = (BinaryPort & 4) ? (int)wcstol(OpcName, nullptr, 10) : 0;
    }
    if (ItemNames.IsEmpty() || DeviceType == kTypeSensorBox) BuildDefaultItemNames();
    return column > 3;
}
