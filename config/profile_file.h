// CProfileImage: a whole private-profile file held in memory.
//
// Reads the file once and answers lookups the way GetPrivateProfileStringW and
// GetPrivateProfileSectionNamesW answer them under Wine; writes go into the
// image with the effect WritePrivateProfileStringW has on the file, and
// Save() puts the image on disk in one go. The file thus costs O(size) per
// load or save instead of O(size) per key.
//
//   CProfileImage img;
//   img.LoadFile(path);                      // missing file: empty image
//   for (auto& name : img.SectionNames()) img.Get(name.c_str(), L"DeviceType", v);
//   img.Set(L"Box1", L"DeviceType", L"1");
//   img.SaveFile(path, true);                // true: BOM + empty first line
//
// The text lives in one buffer; sections and keys are offsets into it, so
// that a file of many devices is a few large blocks, not many small ones.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

// Section names compare with A-Z folded to a-z and nothing else folded.
inline wchar_t FoldChar(wchar_t c) { return (c >= L'A' && c <= L'Z') ? (wchar_t)(c - L'A' + L'a') : c; }
inline uint32_t FoldHash(const wchar_t* s, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) h = (h ^ (uint32_t)FoldChar(s[i])) * 16777619u;
    return h;
}
inline bool FoldEqual(const wchar_t* a, const wchar_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i] && FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

// Section names seen so far, as the file's rules tell them apart; one block
// of text and one table, not a node per name.
class CFoldedNames {
public:
    CFoldedNames() : m_Slots(1024, 0u) {}
    // True when no name before was `name`; it is kept.
    bool Add(const wchar_t* name, size_t len);

private:
    struct Entry {
        uint32_t at, len, hash;
    };
    void Grow();
    std::wstring m_Text;
    std::vector<Entry> m_Names;
    std::vector<uint32_t> m_Slots;  // entry + 1, 0 free
};

class CProfileImage {
public:
    enum Encoding { Utf16Le, Utf16Be, Utf8, Ansi };

    CProfileImage() { Clear(); }

    // An empty image that saves as UTF-16LE (the files we create); gives the
    // memory of the old one back.
    void Clear();
    Encoding GetEncoding() const { return m_Encoding; }

    // Whole file: 0, or the system error. A missing file is an empty image
    // and reports ERROR_FILE_NOT_FOUND.
    DWORD LoadFile(const wchar_t* path);
    // Encoding by byte-order mark (UTF-16LE/BE, UTF-8), ANSI without one.
    void ParseBytes(const void* data, size_t size);
    void ParseText(const wchar_t* text, size_t length);

    // Non-empty section names in file order, repeats included.
    std::vector<std::wstring> SectionNames() const;
    // The same names, each followed by a NUL, appended to `out`.
    void AppendSectionNames(std::wstring& out) const;
    // The first matching section's first matching key (names trimmed, A-Z
    // folded); false when missing or a line without "=". One pair of
    // surrounding quotes is removed.
    bool Get(const wchar_t* section, const wchar_t* key, std::wstring& value) const;
    // As Get, without a copy: the value stays valid until the image changes.
    bool Find(const wchar_t* section, const wchar_t* key, const wchar_t*& value, size_t& length) const;
    // As WritePrivateProfileStringW(section, key, value) would change the file.
    void Set(const wchar_t* section, const wchar_t* key, const wchar_t* value);

    // The file's text as the platform lays it out (no frame line).
    std::wstring Serialize() const;
    // The file's bytes; `frame` puts the empty line after the byte-order mark
    // that a newly created file of ours begins with.
    std::string Encode(bool frame) const;
    // Writes the whole file: 0, or the system error.
    DWORD SaveFile(const wchar_t* path, bool frame) const;

    static bool IsBlank(wchar_t c) { return (c >= 9 && c <= 13) || c == L' ' || c == 0x1A; }

private:
    // Names and values are ranges of m_Text.
    struct Key {
        uint32_t name, nameLen;
        uint32_t value;
        uint32_t valueLen : 31;
        uint32_t hasValue : 1;
    };
    struct Section {
        uint32_t name, nameLen, hash;
        uint32_t firstKey, keyCount;  // a range of m_Keys
    };
    static const size_t kNone = (size_t)-1;

    void Reset();
    void Adopt(std::wstring& raw, size_t size);
    void ParseFrom(size_t begin);
    uint32_t Store(const wchar_t* s, size_t n);
    size_t AddSection(uint32_t name, uint32_t len);
    void AddKey(size_t section, uint32_t name, uint32_t nameLen, uint32_t value, uint32_t valueLen, bool hasValue);
    void IndexSection(size_t section);
    size_t FindSection(const wchar_t* name, size_t len, uint32_t hash) const;
    size_t FindKey(const Section& s, const wchar_t* name, size_t len) const;
    size_t CachedSection(const wchar_t* query) const;
    void Normalize();
    size_t SerializedSize() const;
    void SerializeTo(std::wstring& out) const;
    std::wstring RoundTrip(const wchar_t* s, size_t n) const;

    Encoding m_Encoding;
    std::wstring m_Text;              // the file's text, then every name and value set since
    std::vector<Section> m_Sections;  // [0] holds lines before the first header
    std::vector<Key> m_Keys;
    std::vector<uint32_t> m_Slots;  // open hash of first sections by folded name: index + 1
    // The section of the last query: readers ask for one section many times.
    mutable std::wstring m_LastQuery;
    mutable size_t m_LastSection = kNone;
    mutable bool m_LastValid = false;
    // The platform re-reads the file before every write: a value it wrote with
    // trailing blanks comes back trimmed, and a line break inside a name or
    // value turns into lines of their own. Both are applied before the next Set.
    size_t m_TrimKey = 0;  // index into m_Keys
    bool m_TrimPending = false;
    bool m_ReparsePending = false;
};

// A UTF-16LE file (with its byte-order mark) read line by line through a
// buffer of a few lines and told to a sink section by section and key by
// key, by the rules CProfileImage reads it with, without holding the file:
// a large file read this way costs the records made of it, not its text.
//
//   struct Count : CProfileStream::Sink { ... };
//   CProfileStream::Result r = CProfileStream::Read(path, sink, err);
class CProfileStream {
public:
    class Sink {
    public:
        // Every header, an empty name included. `first`: no section before it
        // has its name (A-Z folded); the empty name never is first. Keys
        // before the first header are not told. False from either: stop.
        virtual bool Section(const wchar_t* name, size_t len, bool first) = 0;
        // Name and value trimmed and cut at a NUL; hasValue false for a line
        // without "=". Both ranges live until the next call.
        virtual bool Key(const wchar_t* name, size_t len, const wchar_t* value, size_t valueLen, bool hasValue) = 0;

    protected:
        ~Sink() = default;
    };
    enum Result {
        kDone,
        kStopped,        // the sink said stop
        kOtherEncoding,  // no UTF-16LE mark: nothing was told
        kFailed,         // err: the system's error, as CProfileImage::LoadFile gives it
    };
    static Result Read(const wchar_t* path, Sink& sink, DWORD& err);
};
