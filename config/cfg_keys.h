// The keys of a section of the configuration file, in the order written:
// which records hold each key, the field behind it and its value when the
// key is missing. The store's section reader and writer walk this table.
//
//   for (const CCfgKey& k : kCfgKeys)
//       if (k.Holds(*dev)) ... k.name, k.form, dev->*k.hex ...
#pragma once
#include "config/device_cfg.h"
#include <climits>

enum class CfgKeyForm {
    Type,           // "DeviceType": written; read by the section reader before the record exists
    Hex,            // int field as "%lx"
    Port,           // 16-bit field as "%lx"
    Text,           // string field as it stands; the empty text counts as missing
    Password,       // Password, scrambled by the host text read before it
    LoginFlag,      // LoginRequired; written 1 when it or BinaryLogin is set
    LoginOverride,  // BinaryLogin; set, it turns LoginRequired off on reading
    ScaledInput,    // one scaled input of the analog sensor
};

constexpr unsigned KindBit(int kind) { return 1u << kind; }
constexpr unsigned kAllKinds = (1u << kKindCount) - 1;
constexpr unsigned kDeviceKinds = kAllKinds & ~KindBit(kKindGlobal);
// A default that is the record's own (the kind's default port).
constexpr int kRecordDefault = INT_MIN;
// Held by every type of the key's kinds.
constexpr int kAnyType = INT_MIN;

struct CCfgKey {
    const wchar_t* name;
    unsigned kinds;  // KindBit of each kind whose sections hold it
    int onlyType;    // kAnyType or the one type that holds it
    CfgKeyForm form;
    int CDeviceCfg::*hex;              // Type, Hex, LoginFlag, LoginOverride
    unsigned short CDeviceCfg::*port;  // Port
    CString CDeviceCfg::*text;         // Text
    int def;                           // Hex, Port, LoginFlag, LoginOverride
    const wchar_t* textDef;            // Text
    int input;                         // ScaledInput: 0 to 2

    bool Holds(const CDeviceCfg& d) const {
        return (kinds & KindBit(d.GetKind())) && (onlyType == kAnyType || onlyType == d.DeviceType);
    }
};

namespace cfgkey {
constexpr CCfgKey Hex(const wchar_t* name, unsigned kinds, int CDeviceCfg::*f, int def,
                      CfgKeyForm form = CfgKeyForm::Hex) {
    return {name, kinds, kAnyType, form, f, nullptr, nullptr, def, nullptr, 0};
}
constexpr CCfgKey Port(const wchar_t* name, unsigned kinds, unsigned short CDeviceCfg::*f, int def) {
    return {name, kinds, kAnyType, CfgKeyForm::Port, nullptr, f, nullptr, def, nullptr, 0};
}
constexpr CCfgKey Text(const wchar_t* name, unsigned kinds, CString CDeviceCfg::*f, const wchar_t* def) {
    return {name, kinds, kAnyType, CfgKeyForm::Text, nullptr, nullptr, f, 0, def, 0};
}
constexpr CCfgKey Scaled(const wchar_t* name, int input) {
    return {name,
            KindBit(kKindRadioModule),
            kTypeAnalogSensor,
            CfgKeyForm::ScaledInput,
            nullptr,
            nullptr,
            nullptr,
            0,
            nullptr,
            input};
}
constexpr unsigned kGlobal = KindBit(kKindGlobal);
constexpr unsigned kBinaryIo = KindBit(kKindBinaryIo);
constexpr unsigned kNotModule = kAllKinds & ~KindBit(kKindRadioModule);
}  // namespace cfgkey

// "DeviceType" comes first: the section reader reads it before the record exists.
inline constexpr CCfgKey kCfgKeys[] = {
    cfgkey::Hex(L"DeviceType", kAllKinds, &CDeviceCfg::DeviceType, kTypeListHead, CfgKeyForm::Type),
    cfgkey::Text(L"ItemNames", kAllKinds, &CDeviceCfg::ItemNames, L""),
    cfgkey::Hex(L"IdleTicks", cfgkey::kGlobal, &CDeviceCfg::IdleTicks, 0),
    cfgkey::Hex(L"WatchdogTicks", cfgkey::kGlobal, &CDeviceCfg::WatchdogTicks, 0),
    cfgkey::Hex(L"MinUpdateRate", cfgkey::kGlobal, &CDeviceCfg::MinUpdateRate, 800),
    cfgkey::Hex(L"Disable", kDeviceKinds, &CDeviceCfg::Disable, 0),
    cfgkey::Text(L"TargetHost", kDeviceKinds, &CDeviceCfg::TargetHost, L""),
    cfgkey::Hex(L"MaxIdleTicks", kDeviceKinds, &CDeviceCfg::MaxIdleTicks, 50),
    cfgkey::Hex(L"MinIntervalTicks", kDeviceKinds, &CDeviceCfg::MinIntervalTicks, 1),
    cfgkey::Hex(L"DontSubscribe", cfgkey::kBinaryIo, &CDeviceCfg::DontSubscribe, 0),
    cfgkey::Hex(L"ForceReconnect", cfgkey::kBinaryIo, &CDeviceCfg::ForceReconnect, 0),
    cfgkey::Hex(L"PriorityLogin", cfgkey::kBinaryIo, &CDeviceCfg::PriorityLogin, 0),
    cfgkey::Hex(L"LoginRequired", cfgkey::kBinaryIo, &CDeviceCfg::LoginRequired, 1, CfgKeyForm::LoginFlag),
    cfgkey::Hex(L"BinaryLogin", cfgkey::kBinaryIo, &CDeviceCfg::BinaryLogin, 0, CfgKeyForm::LoginOverride),
    cfgkey::Hex(L"SerialNo", KindBit(kKindRadioModule), &CDeviceCfg::SerialNo, 0),
    cfgkey::Port(L"BinaryPort", cfgkey::kNotModule& kDeviceKinds, &CDeviceCfg::BinaryPort, kRecordDefault),
    cfgkey::Port(L"HttpPort", cfgkey::kNotModule& kDeviceKinds, &CDeviceCfg::HttpPort, 80),
    cfgkey::Hex(L"HttpSecure", cfgkey::kNotModule& kDeviceKinds, &CDeviceCfg::HttpSecure, 0),
    {L"Password", cfgkey::kNotModule& kDeviceKinds, kAnyType, CfgKeyForm::Password, nullptr, nullptr,
     &CDeviceCfg::Password, 0, L"", 0},
    cfgkey::Text(L"SerialParam", KindBit(kKindSerial), &CDeviceCfg::SerialParam, L"9600,n,8,1,h"),
    cfgkey::Text(L"SerialFilter", KindBit(kKindSerial), &CDeviceCfg::SerialFilter, L"end=;drop=;add=13;"),
    cfgkey::Hex(L"SerialPacketGap", KindBit(kKindSerial), &CDeviceCfg::SerialPacketGap, 7),
    cfgkey::Hex(L"ReceiveMode", KindBit(kKindRfid), &CDeviceCfg::ReceiveMode, 3),
    cfgkey::Hex(L"UsesLocalTime", KindBit(kKindRfid), &CDeviceCfg::UsesLocalTime, 0),
    cfgkey::Hex(L"AlwaysDevClock", KindBit(kKindRfid), &CDeviceCfg::AlwaysDevClock, 1),
    cfgkey::Hex(L"Interval", KindBit(kKindRfid), &CDeviceCfg::Interval, 50),
    cfgkey::Hex(L"EnOceanBaseAddress", KindBit(kKindTransceiver), &CDeviceCfg::EnOceanBaseAddress, 0),
    cfgkey::Hex(L"Inputs", kDeviceKinds & ~KindBit(kKindTransceiver), &CDeviceCfg::Inputs, 0),
    cfgkey::Hex(L"Outputs", kDeviceKinds & ~KindBit(kKindTransceiver), &CDeviceCfg::Outputs, 0),
    cfgkey::Scaled(L"ScaledInput0", 0),
    cfgkey::Scaled(L"ScaledInput1", 1),
    cfgkey::Scaled(L"ScaledInput2", 2),
};
static_assert(kCfgKeys[0].form == CfgKeyForm::Type, "the section reader reads DeviceType first");
inline constexpr size_t kCfgKeyCount = sizeof kCfgKeys / sizeof kCfgKeys[0];
