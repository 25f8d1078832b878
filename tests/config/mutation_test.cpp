// Seeded mutation runs over the line import and the section reader: every
// mangled input must give defined results.
#include "config/device_cfg.h"
#include "cfg_test_util.h"
#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace cfgtest;

namespace {

int Dots(const CString& s) {
    int n = 0;
    for (int i = 0; i < s.GetLength(); ++i) n += s[i] == L'.';
    return n;
}

template <class Str, class Rng> void Mutate(Str& s, Rng& rng, const typename Str::value_type* alphabet) {
    typedef typename Str::value_type Ch;
    std::uniform_int_distribution<int> op(0, 7);
    int steps = 1 + (int)(rng() % 6);
    size_t alen = std::char_traits<Ch>::length(alphabet);
    for (int k = 0; k < steps; ++k) {
        size_t pos = s.empty() ? 0 : rng() % (s.size() + 1);
        switch (op(rng)) {
        case 0:
            if (!s.empty() && pos < s.size()) s[pos] = (Ch)(rng() & 0xFF);
            break;
        case 1: s.insert(pos, 1, alphabet[rng() % alen]); break;
        case 2:
            if (pos < s.size()) s.erase(pos, 1 + rng() % 8);
            break;
        case 3: s.insert(pos, Str(rng() % 3000, alphabet[rng() % alen])); break;
        case 4:
            if (!s.empty()) {
                size_t a = rng() % s.size();
                s.insert(pos, s.substr(a, rng() % 40));
            }
            break;
        case 5: s.resize(pos); break;
        case 6: s.insert(pos, 1, (Ch)(rng() % 0x10000)); break;
        default:
            if (pos < s.size()) s[pos] = alphabet[rng() % alen];
            break;
        }
    }
}

int Columns(const std::string& line) {
    int n = 0;
    size_t p = 0;
    size_t end = line.find('\0');
    if (end == std::string::npos) end = line.size();
    while (p < end) {
        while (p < end && line[p] != '\t' && line[p] != '\r' && line[p] != '\n') ++p;
        if (p < end) ++p;
        ++n;
    }
    return n;
}

}  // namespace

TEST(Mutation, OldFormatLines) {
    std::mt19937 rng(20261210);
    const std::string seeds[] = {
        "4\t7\tio-box\t5292033\t5\t1\t\t\t\t\n",
        "3\t2\t10.1.1.1\t4001\t2\t0\t6a7b\t19200,e,7,1\tend=13;drop=;add=;\t25\r\n",
        "11\t3\ttrcv\t25000\t1\t0\t\tI-20;80;C\t0;100;%\t5;10\n",
        "-1\t35\t\t6\t12\t0\n",
        "6.1Temp.20.21\tT\th\t0\t1\t0\n",
        "14.1U.2x\tV\th\t0\t1\t0\t\t8\n",
    };
    const char alphabet[] = "\t\r\n.0123456789abcdefI;-xF ";
    for (int i = 0; i < 6000; ++i) {
        std::string line = seeds[rng() % 6];
        Mutate(line, rng, alphabet);
        CDeviceCfg d(L"", -2);
        bool ok = d.ParseOldLine(line.c_str());
        ASSERT_EQ(Columns(line) > 3, ok) << i;
        ASSERT_NE(13, d.DeviceType);
        ASSERT_NE(14, d.DeviceType);
        ASSERT_NE(15, d.DeviceType);
        ASSERT_LE(d.Password.GetLength(), (int)line.size() / 2 + 1);
        if (d.DeviceType == 17) {
            ASSERT_EQ(2, d.Inputs);
            CString names = d.ItemNames;
            d.BuildDefaultItemNames();
            ASSERT_EQ(names, d.ItemNames);
        }
        d.BuildKindCodes();
        if (d.DeviceType >= -1 && d.DeviceType <= 25) {
            d.BuildDefaultItemNames();
            ASSERT_EQ(Dots(d.ItemNames), d.KindCodes.GetLength()) << i;
        }
        // the wide path takes the same line
        std::wstring wide(line.begin(), line.end());
        for (auto& c : wide) c = (wchar_t)(unsigned char)c;
        CDeviceCfg w(L"", -2);
        w.ParseOldLine(wide.c_str());
    }
}

TEST(Mutation, SectionReader) {
    TempDir dir;
    std::wstring base = dir / L"base.ini";
    {
        CCfgStore s(L"");
        const int types[] = {-1, 0, 2, 4, 8, 11, 18, 19, 6};
        for (int t : types) {
            CDeviceCfg* d = new CDeviceCfg(t == -1 ? L"OpcServer_Global" : FormatString(L"Dev%d", t).GetString(), t);
            d->TargetHost = L"10.0.0.1";
            d->Password = L"pw";
            d->BuildDefaultItemNames();
            s.AddDevice(d);
        }
        ASSERT_TRUE(s.Save(base.c_str()));
    }
    std::string bytes = ReadBytes(base);
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += (wchar_t)((unsigned char)bytes[i] | ((unsigned char)bytes[i + 1] << 8));

    std::mt19937 rng(4711);
    const wchar_t alphabet[] = L"[]=\r\n.0123456789abcdefxyz;I";
    std::wstring path = dir / L"m.ini";
    std::wstring viaImage = dir / L"image.ini", viaKeys = dir / L"keys.ini";
    for (int i = 0; i < 3000; ++i) {
        std::wstring t = text;
        Mutate(t, rng, alphabet);
        std::string out = Utf16Bytes(t, rng() % 8 != 0);
        if (rng() % 16 == 0) out.resize(out.size() ? rng() % out.size() : 0);
        WriteBytes(path, out);
        CCfgStore s(L"");
        int n = s.Load(path.c_str(), true);
        ASSERT_GE(n, 0);
        ASSERT_TRUE(s.FindGlobalDevice()) << i;
        int seen = 0;
        for (CDeviceCfg* d = s.GetFirstDevice(); d; d = s.GetNextDevice(d)) {
            ++seen;
            // the reader fits every string to the default's entry count
            CDeviceCfg copy(L"", d->DeviceType);
            copy.CopySettings(*d);
            copy.BuildDefaultItemNames();
            ASSERT_EQ(Dots(copy.ItemNames), Dots(d->ItemNames)) << i << " " << d->DeviceType;
        }
        ASSERT_LE(n, seen);
        // a slice goes through the platform's own reader too: both must see
        // the same configuration (written back the same way, compared as bytes)
        // (an odd-sized file: what the platform makes of the cut byte is not fixed)
        if (i % 20 == 0 && out.size() % 2 == 0) {
            CCfgStore k(L"");
            k.SetPerKeyAccess(true);
            ASSERT_EQ(n, k.Load(path.c_str(), true)) << i;
            k.SetPerKeyAccess(false);
            ASSERT_TRUE(s.Save(viaImage.c_str()));
            ASSERT_TRUE(k.Save(viaKeys.c_str()));
            ASSERT_EQ(ReadBytes(viaKeys), ReadBytes(viaImage)) << i;
        }
    }
}
