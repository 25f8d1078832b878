// The text of device sections as the store writes them. Into a fresh file
// of ours, records with plain names and values (the usual ones) each become
// one section appended as it stands, which is what the file image would make
// of them; a record it would treat otherwise (a name met before, a line
// break) sends the whole write through the image, whose rules are the
// platform's.
#include "config/device_cfg.h"
#include "config/cfg_keys.h"
#include <cstring>
#include <cwchar>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace {

struct KeyLengths {
    size_t n[kCfgKeyCount];
    constexpr KeyLengths() : n() {
        for (size_t i = 0; i < kCfgKeyCount; ++i)
            while (kCfgKeys[i].name[n[i]]) ++n[i];
    }
};
constexpr KeyLengths kKeyLen;

// "%lx" into the end of `buf`: lower-case digits, negatives as 32 bits.
const wchar_t* HexText(int value, wchar_t (&buf)[12]) {
    wchar_t* p = buf + 11;
    *p = 0;
    unsigned int v = (unsigned int)value;
    do {
        *--p = L"0123456789abcdef"[v & 15];
        v >>= 4;
    } while (v);
    return p;
}

// Each key of the record's section with the value written for it, in the
// table's order: put(index into kCfgKeys, value).
template <class Put> bool ForEachValue(const CDeviceCfg& dev, Put&& put) {
    wchar_t hex[12];
    CString made;
    for (size_t i = 0; i < kCfgKeyCount; ++i) {
        const CCfgKey& k = kCfgKeys[i];
        if (!k.Holds(dev)) continue;
        const wchar_t* v = L"";
        switch (k.form) {
        case CfgKeyForm::Type:
        case CfgKeyForm::Hex:
        case CfgKeyForm::LoginOverride: v = HexText(dev.*k.hex, hex); break;
        case CfgKeyForm::LoginFlag: v = HexText((dev.LoginRequired || dev.BinaryLogin) ? 1 : 0, hex); break;
        case CfgKeyForm::Port: v = HexText(dev.*k.port, hex); break;
        case CfgKeyForm::Text: v = (dev.*k.text).GetString(); break;
        case CfgKeyForm::Password:
            dev.EncodePassword(made);
            v = made.GetString();
            break;
        case CfgKeyForm::ScaledInput:
            made = FormatScaledInput(dev.InputFlag[k.input], dev.ScaleMin[k.input], dev.ScaleMax[k.input],
                                     dev.Unit[k.input]);
            v = made.GetString();
            break;
        }
        if (!put(i, v)) return false;
    }
    return true;
}

bool HasLineBreak(const wchar_t* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (s[i] == L'\r' || s[i] == L'\n') return true;
    return false;
}

// Appends sections to `out` as a file image that starts empty would lay
// them out after the same Set calls.
class CSectionWriter {
public:
    explicit CSectionWriter(std::wstring& out) : m_Out(out) {}

    // False (with part of the record in `out`) when the image would do more
    // than append the record: its name is empty, holds a line break or was
    // met before (A-Z folded), or a value holds a line break.
    bool Add(const CDeviceCfg& dev) {
        // the section as SetSection keeps it, trimmed as the image trims it
        const wchar_t* b = dev.OpcName.GetString();
        const wchar_t* e = b + wcsnlen(b, 127);
        while (b < e && CProfileImage::IsBlank(*b)) ++b;
        while (e > b && CProfileImage::IsBlank(e[-1])) --e;
        const size_t n = (size_t)(e - b);
        if (n == 0 || HasLineBreak(b, n) || !m_Names.Add(b, n)) return false;
        // every record holds DeviceType: its first Set trims the last value
        // before the section begins
        TrimLast();
        m_Out += L'[';
        m_Out.append(b, n);
        m_Out.append(L"]\r\n", 3);
        return ForEachValue(dev, [this](size_t key, const wchar_t* v) {
            while (*v && CProfileImage::IsBlank(*v)) ++v;
            const size_t vl = wcslen(v);
            if (HasLineBreak(v, vl)) return false;
            TrimLast();
            m_Out.append(kCfgKeys[key].name, kKeyLen.n[key]);
            m_Out += L'=';
            m_ValueAt = m_Out.size();
            m_Out.append(v, vl);
            m_Out.append(L"\r\n", 2);
            // trailing blanks go when the next value is set, as the
            // platform re-reads the file before it writes
            m_TrimPending = vl && CProfileImage::IsBlank(v[vl - 1]);
            return true;
        });
    }

    // The text's end may still change: the last value's trailing blanks.
    bool TrimPending() const { return m_TrimPending; }

private:
    void TrimLast() {
        if (!m_TrimPending) return;
        m_TrimPending = false;
        const size_t end = m_Out.size() - 2;  // before the value's "\r\n"
        size_t e = end;
        while (e > m_ValueAt && CProfileImage::IsBlank(m_Out[e - 1])) --e;
        m_Out.erase(e, end - e);
    }

    std::wstring& m_Out;
    size_t m_ValueAt = 0;
    bool m_TrimPending = false;
    CFoldedNames m_Names;
};

// The first units of every file we create: the byte-order mark and an empty line.
const wchar_t kFrame[] = {0xFEFF, L'\r', L'\n'};

// The most a one-go write of the image puts in a file.
const size_t kMaxFileBytes = 0x7FFFFFFF;

// Units of text gathered before they go on (to the file): small enough to
// stay in the cache, large enough that the calls do not count.
const size_t kChunkUnits = 256 * 1024;

enum class PlainRun { Done, NotPlain, Refused };

// The records next() gives, until null, through one small text that emit()
// takes whenever it is full, and at the end; it may refuse.
template <class Next, class Emit> PlainRun RunPlain(Next&& next, Emit&& emit) {
    std::wstring text;
    text.reserve(kChunkUnits + 4096);
    text.assign(kFrame, 3);
    CSectionWriter writer(text);
    while (const CDeviceCfg* d = next()) {
        if (!writer.Add(*d)) return PlainRun::NotPlain;
        if (!writer.TrimPending() && text.size() >= kChunkUnits) {
            if (!emit(static_cast<const std::wstring&>(text))) return PlainRun::Refused;
            text.clear();
        }
    }
    return text.empty() || emit(static_cast<const std::wstring&>(text)) ? PlainRun::Done : PlainRun::Refused;
}

}  // namespace

bool CCfgStore::WriteDeviceKeys(const CDeviceCfg* dev) {
    m_WriteOk = 1;
    SetSection(dev->OpcName);
    ForEachValue(*dev, [this](size_t key, const wchar_t* v) {
        WriteString(kCfgKeys[key].name, v);
        return true;
    });
    return m_WriteOk != 0;
}

bool CCfgStore::SectionsText(const CDeviceCfg* const* devs, size_t count,
                             const std::function<wchar_t*(size_t units)>& room) {
    try {
        size_t i = 0;
        auto fromFirst = [&] {
            i = 0;
            return [&]() -> const CDeviceCfg* { return i < count ? devs[i++] : nullptr; };
        };
        // Measured first, then made again straight into the room: new memory
        // costs more to touch than the text costs to make.
        size_t units = 0;
        if (RunPlain(fromFirst(), [&](const std::wstring& t) {
                units += t.size();
                return true;
            }) == PlainRun::Done) {
            if (units > kMaxFileBytes / sizeof(wchar_t)) return room(0) != nullptr;  // as below
            wchar_t* out = room(units);
            if (!out) return false;
            size_t at = 0;
            PlainRun made = RunPlain(fromFirst(), [&](const std::wstring& t) {
                if (t.size() > units - at) return false;
                std::memcpy(out + at, t.data(), t.size() * sizeof(wchar_t));
                at += t.size();
                return true;
            });
            return made == PlainRun::Done && at == units;
        }
        // the store's own image, in a scratch store that has no file behind
        // it and never flushes
        std::wstring text;
        {
            CCfgStore scratch(L"");
            scratch.m_ImageFor[0] = L'*';
            scratch.m_ImageFramed = true;
            scratch.m_Batch = 1;
            for (i = 0; i < count; ++i) scratch.WriteDeviceKeys(devs[i]);
            text.assign(kFrame, 3);
            text += scratch.m_Image.Serialize();
        }
        // what a file too large for one write holds: nothing
        if (text.size() > kMaxFileBytes / sizeof(wchar_t)) text.clear();
        wchar_t* out = room(text.size());
        if (!out) return false;
        if (!text.empty()) std::memcpy(out, text.data(), text.size() * sizeof(wchar_t));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CCfgStore::SectionsText(const CDeviceCfg* const* devs, size_t count, std::wstring& text) {
    std::wstring().swap(text);
    bool ok = SectionsText(devs, count, [&text](size_t units) -> wchar_t* {
        text.resize(units + 1);  // room for one unit at least
        return &text[0];
    });
    if (ok) {
        text.pop_back();
    } else {
        std::wstring().swap(text);
    }
    return ok;
}

namespace {

// One write of the units gathered; false with the system's error.
bool WriteUnits(HANDLE h, const std::wstring& text, size_t& total, DWORD& err) {
    const size_t bytes = text.size() * sizeof(wchar_t);
    if (bytes > kMaxFileBytes - total) {
        err = ERROR_FILE_TOO_LARGE;
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(h, text.data(), (DWORD)bytes, &written, nullptr)) {
        err = GetLastError();
        return false;
    }
    if (written != bytes) {
        err = ERROR_DISK_FULL;
        return false;
    }
    total += bytes;
    return true;
}

}  // namespace

// The whole list into a new file at `path`, flushed to the disk, without the
// image. `created`: the file exists now.
CCfgStore::PlainSave CCfgStore::SavePlain(const wchar_t* path, bool& created) {
    created = false;
    if (m_PerKey || m_Batch > 0) return PlainSave::NeedsImage;
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        m_LastError = GetLastError() ? GetLastError() : ERROR_OPEN_FAILED;
        return PlainSave::Failed;
    }
    created = true;
    DWORD err = 0;
    bool plain = true;
    try {
        size_t total = 0;
        const CDeviceCfg* last = nullptr;
        CDeviceCfg* p = GetFirstDevice();
        PlainRun run = RunPlain(
            [&]() -> const CDeviceCfg* {
                if (p) last = p;
                CDeviceCfg* d = p;
                p = p ? GetNextDevice(p) : nullptr;
                return d;
            },
            [&](const std::wstring& t) { return WriteUnits(h, t, total, err); });
        plain = run != PlainRun::NotPlain;
        if (last) {
            m_WriteOk = 1;
            SetSection(last->OpcName);
        }
    } catch (const std::bad_alloc&) {
        err = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (!plain) {
        CloseHandle(h);  // the image's write replaces it
        return PlainSave::NeedsImage;
    }
    if (!err && !FlushFileBuffers(h)) {
        m_LastError = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        CloseHandle(h);
        return PlainSave::Failed;
    }
    if (!CloseHandle(h) && !err) err = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    if (!err) return PlainSave::Written;
    NoteWriteFailure(err);
    return PlainSave::Failed;
}
