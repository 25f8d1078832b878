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
#pragma once
#include <windows.h>
#include <string>
#include <unordered_map>
#include <vector>

class CProfileImage {
public:
    enum Encoding { Utf16Le, Utf16Be, Utf8, Ansi };

    CProfileImage() { Clear(); }

    // An empty image that saves as UTF-16LE (the files we create).
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
    // The first matching section's first matching key (names trimmed, A-Z
    // folded); false when missing or a line without "=". One pair of
    // surrounding quotes is removed.
    bool Get(const wchar_t* section, const wchar_t* key, std::wstring& value) const;
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
    struct Key {
        std::wstring name, value;
        bool hasValue;
    };
    struct Section {
        std::wstring name;
        std::vector<Key> keys;
        std::unordered_map<std::wstring, size_t> index;   // folded name -> first key
    };

    Section& AddSection(std::wstring name);
    static void AddKey(Section& s, std::wstring name, std::wstring value, bool hasValue);
    const Section* FindSection(const std::wstring& trimmed) const;
    void Normalize();
    std::wstring RoundTrip(const std::wstring& s) const;

    Encoding m_Encoding;
    std::vector<Section> m_Sections;
    std::unordered_map<std::wstring, size_t> m_Index;      // folded name -> first section
    // The platform re-reads the file before every write: a value it wrote with
    // trailing blanks comes back trimmed, and a line break inside a name or
    // value turns into lines of their own. Both are applied before the next Set.
    size_t m_TrimSection = 0, m_TrimKey = 0;
    bool m_TrimPending = false;
    bool m_ReparsePending = false;
};
