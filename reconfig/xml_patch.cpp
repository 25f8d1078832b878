#include "reconfig/xml_patch.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);
constexpr size_t kNameMax = 79;
// Nesting level whose elements the reduced copy filters.
constexpr int kFilterLevel = 4;

size_t Find(const char* s, size_t from, size_t len, char c) {
    if (from >= len) return kNone;
    const void* p = memchr(s + from, c, len - from);
    return p ? static_cast<size_t>(static_cast<const char*>(p) - s) : kNone;
}

size_t FindEndTag(const char* s, size_t from, size_t len) {
    for (size_t i = Find(s, from, len, '<'); i != kNone; i = Find(s, i + 1, len, '<'))
        if (i + 1 < len && s[i + 1] == '/') return i;
    return kNone;
}

// The ">" that ends the tag opened at lt; one inside a quoted attribute
// value does not.
size_t FindTagEnd(const char* s, size_t lt, size_t len) {
    char quote = 0;
    for (size_t i = lt + 1; i < len; ++i) {
        if (quote) {
            if (s[i] == quote) quote = 0;
        } else if (s[i] == '"' || s[i] == '\'') {
            quote = s[i];
        } else if (s[i] == '>') {
            return i;
        }
    }
    return kNone;
}

bool Contains(const char* s, size_t from, size_t len, const char* what) {
    size_t n = strlen(what);
    for (size_t i = from; i + n <= len; ++i)
        if (memcmp(s + i, what, n) == 0) return true;
    return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// An element with only text and its own closing tag: "<Name ...>text</Name>".
// Comments, declarations and lines with a second element are not.
bool IsPlainLeaf(const char* line, size_t len, size_t lt, size_t gt, size_t end) {
    char first = line[lt + 1];
    if (first == '!' || first == '?' || first == '<' || IsBlank(first)) return false;
    if (Find(line, gt + 1, end, '<') != kNone) return false;
    size_t tag = lt + 1;
    while (tag < gt && !IsBlank(line[tag])) ++tag;
    size_t nameLen = tag - lt - 1;
    size_t c = end + 2;
    if (c + nameLen > len || memcmp(line + c, line + lt + 1, nameLen) != 0) return false;
    c += nameLen;
    while (c < len && IsBlank(line[c])) ++c;
    return c < len && line[c] == '>';
}

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using OwnedFile = std::unique_ptr<FILE, FileCloser>;

// Markup that is no element: what it opens on a line and does not close
// there goes on over the following lines.
enum Markup { kNoMarkup, kInComment, kInCdata, kInInstruction };

struct PassSettings {
    const char* port;
    const char* mode;
};

// One pass from in to out; false when out cannot be created or written.
bool RunPass(FILE* in, const wchar_t* dst, const PassSettings& set, bool firstPass, CPatchResult& result) {
    OwnedFile out(_wfopen(dst, L"wb"));
    if (!out) return false;
    setvbuf(out.get(), nullptr, _IOFBF, 65536);
    result.found = 0;
    result.changed = 0;
    std::vector<std::string> path;
    int level = 0;
    bool leaving = false;
    bool firstTag = true;
    Markup markup = kNoMarkup;

    auto reader = std::make_unique<CPatchLineReader>(in);
    char line[kPatchLineMax + 1];
    size_t len;
    while (reader->Next(line, len)) {
        size_t lt = Find(line, 0, len, '<');
        // Comments, processing instructions, CDATA and declarations are
        // text, not elements, also over several lines. Only the XML
        // declaration that opens the file counts as a level, so that the
        // filtered elements stay three levels below the root.
        bool text = markup != kNoMarkup;
        if (markup == kInComment && Contains(line, 0, len, "-->"))
            markup = kNoMarkup;
        else if (markup == kInCdata && Contains(line, 0, len, "]]>"))
            markup = kNoMarkup;
        else if (markup == kInInstruction && Contains(line, 0, len, "?>"))
            markup = kNoMarkup;
        if (!text && lt != kNone && lt + 1 < len && (line[lt + 1] == '!' || line[lt + 1] == '?')) {
            bool declaration = firstTag && len - lt >= 5 && memcmp(line + lt, "<?xml", 5) == 0;
            if (len - lt >= 4 && memcmp(line + lt, "<!--", 4) == 0) {
                if (!Contains(line, lt + 4, len, "-->")) markup = kInComment;
            } else if (len - lt >= 9 && memcmp(line + lt, "<![CDATA[", 9) == 0) {
                if (!Contains(line, lt + 9, len, "]]>")) markup = kInCdata;
            } else if (line[lt + 1] == '?' && !Contains(line, lt + 2, len, "?>")) {
                markup = kInInstruction;
            }
            text = !declaration;
        }
        if (lt != kNone) firstTag = false;
        size_t gt = lt == kNone || text ? kNone : FindTagEnd(line, lt, len);
        if (gt == kNone) {  // text line
            if (!leaving) fwrite(line, 1, len, out.get());
            continue;
        }
        if (line[lt + 1] == '/') {  // closing tag
            if (level > 0) --level;
            if (level < kFilterLevel) leaving = false;
            if (!leaving) fwrite(line, 1, len, out.get());
            continue;
        }
        if (line[gt - 1] == '/') {  // empty element
            if (!leaving) fwrite(line, 1, len, out.get());
            continue;
        }
        size_t nameLen = gt - lt - 1;
        if (nameLen > kNameMax) nameLen = kNameMax;
        size_t end = FindEndTag(line, gt + 1, len);
        if (end == kNone) {  // opening tag (the file's XML declaration too)
            std::string name(line + lt + 1, nameLen);
            if (firstPass && level == kFilterLevel) leaving = name != "BasicSettings" && name != "OutputMode";
            if (path.size() <= static_cast<size_t>(level)) path.resize(level + 1);
            path[level] = std::move(name);
            ++level;
            if (!leaving) fwrite(line, 1, len, out.get());
            continue;
        }
        // Leaf.
        if (leaving) continue;
        const char* value = nullptr;
        if (IsPlainLeaf(line, len, lt, gt, end)) {
            std::string name(line + lt + 1, nameLen);
            const std::string* parent = level >= 1 ? &path[level - 1] : nullptr;
            const std::string* grand = level >= 2 ? &path[level - 2] : nullptr;
            // The first row that applies decides.
            if (name == "Enable_BINARY_1") {
                value = "ON";
                result.found |= 1;
            } else if (name == "LocalPort" && parent && *parent == "TcpServer1") {
                value = set.port;
                result.found |= 2;
            } else if (grand && *parent == "ApplicationMode1" && *grand == "TcpServer1") {
                value = name == set.mode ? "ON" : "OFF";
                if (name == set.mode) result.found |= 4;
            } else if (grand && *grand == "OutputMode") {
                value = name == "Binary_1" ? "ON" : "OFF";
                if (name == "Binary_1") result.found |= 8;
            }
        }
        if (!value)
            fwrite(line, 1, len, out.get());
        else if (ReplaceXmlValue(out.get(), line, len, value))
            ++result.changed;
    }
    // A short write shows in the stream's error flag; the close flushes.
    bool written = !ferror(out.get());
    return fclose(out.release()) == 0 && written;
}

}  // namespace

bool ReplaceXmlValue(FILE* out, const char* line, size_t len, const char* value) {
    size_t lt = Find(line, 0, len, '<');
    size_t gt = lt == kNone ? kNone : FindTagEnd(line, lt, len);
    size_t end = gt == kNone ? kNone : FindEndTag(line, gt + 1, len);
    if (end == kNone) {
        fwrite(line, 1, len, out);
        return false;
    }
    // The splice of a JSON value, between the '>' and the "</".
    return ReplaceJsonValue(out, line, len, gt, end, value);
}

CPatchResult PatchXmlFile(const wchar_t* src, const wchar_t* dst, int port, bool passwordLogin) {
    CPatchResult result;
    char portText[20];
    snprintf(portText, sizeof portText, "%d", port);
    const PassSettings set{portText, passwordLogin ? "OPC_Device" : "Compatible_Vexxx"};

    // Binary both ways: text mode would end at a Ctrl-Z and rewrite line ends.
    for (bool firstPass : {true, false}) {
        OwnedFile in(_wfopen(src, L"rb"));
        if (!in) {
            result.outcome = kPatchNoInput;
            return result;
        }
        if (!RunPass(in.get(), dst, set, firstPass, result)) {
            result.outcome = kPatchNoOutput;
            return result;
        }
        if (result.found == 15) break;
    }
    result.outcome = DecidePatch(result.found, result.changed);
    return result;
}
