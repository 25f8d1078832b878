#include "reconfig/patch_check.h"
#include "reconfig/xml_patch.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

// Far above any device's own configuration; the download stops there too.
constexpr size_t kCheckLimit = 64u * 1024 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// What may stand outside the document: blanks, and the NUL and Ctrl-Z some
// devices end their files with.
bool IsFiller(char c) { return IsBlank(c) || c == 0 || c == 0x1a; }

bool StartsWith(const std::string& s, size_t at, const char* what) {
    size_t n = strlen(what);
    return at + n <= s.size() && memcmp(s.data() + at, what, n) == 0;
}

size_t FindText(const std::string& s, size_t from, const char* what) {
    size_t p = s.find(what, from);
    return p == std::string::npos ? s.size() : p;
}

// The pieces the patches read a file in: a line with its line end, or
// kPatchLineMax bytes; the starts, and the size at the end.
std::vector<size_t> Pieces(const std::string& s) {
    std::vector<size_t> at{0};
    for (size_t i = 0; i < s.size();) {
        size_t max = s.size() - i < kPatchLineMax ? s.size() - i : kPatchLineMax;
        const void* nl = memchr(s.data() + i, '\n', max);
        i += nl ? static_cast<size_t>(static_cast<const char*>(nl) - (s.data() + i)) + 1 : max;
        at.push_back(i);
    }
    return at;
}

// --- XML ---

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool EndsName(char c) { return IsBlank(c) || c == '>' || c == '/' || c == '<' || c == '=' || c == '"' || c == '\''; }

struct XmlScan {
    bool whole = false;
    bool cut = false;                // not whole only because the bytes ended too early
    std::vector<std::string> names;  // every element met, in order
    std::vector<int> parents;        // the element each one stands in, -1 for the root
    // At each piece's start: the innermost open element (-1: none), how many
    // are open, and whether the piece begins inside markup (a comment, a
    // declaration, a tag that spans lines).
    std::vector<int> node;
    std::vector<int> depth;
    std::vector<char> inMarkup;
    bool declared = false;  // the file's first markup is the XML declaration
};

class XmlScanner {
public:
    XmlScanner(const std::string& s, const std::vector<size_t>& pieces, XmlScan& out)
        : s_(s), pieces_(pieces), out_(out) {}

    void Run() {
        size_t first = s_.find('<');
        out_.declared = first != std::string::npos && StartsWith(s_, first, "<?xml");
        bool rootSeen = false, rootClosed = false;
        size_t p = StartsWith(s_, 0, "\xEF\xBB\xBF") ? 3 : 0;
        // Markup that goes wrong: cut when it would still be whole with
        // more bytes, that is when nothing after its "<" ends a tag.
        auto wrongAt = [&](size_t at) { out_.cut = s_.find('>', at) == std::string::npos; };
        while (p < s_.size()) {
            if (s_[p] != '<') {
                if (depth_ == 0 && !IsFiller(s_[p])) return;  // text outside the root
                ++p;
                continue;
            }
            Record(p + 1, false);
            size_t end;
            if (StartsWith(s_, p, "<!--")) {
                end = FindText(s_, p + 4, "-->") + 3;
            } else if (StartsWith(s_, p, "<![CDATA[")) {
                if (depth_ == 0) return;
                end = FindText(s_, p + 9, "]]>") + 3;
            } else if (StartsWith(s_, p, "<?")) {
                end = FindText(s_, p + 2, "?>") + 2;
            } else if (StartsWith(s_, p, "<!")) {
                if (rootSeen) return wrongAt(p);
                end = DeclarationEnd(p + 2);
            } else if (StartsWith(s_, p, "</")) {
                size_t n = p + 2;
                while (n < s_.size() && !EndsName(s_[n])) ++n;
                if (depth_ == 0 || s_.compare(p + 2, n - p - 2, out_.names[cur_]) != 0) return wrongAt(p);
                while (n < s_.size() && IsBlank(s_[n])) ++n;
                if (n >= s_.size() || s_[n] != '>') return wrongAt(p);
                end = n + 1;
                cur_ = out_.parents[cur_];
                if (--depth_ == 0) rootClosed = true;
            } else if (p + 1 < s_.size() && IsNameStart(static_cast<unsigned char>(s_[p + 1]))) {
                if (rootClosed) return;  // a second root
                size_t n = p + 1;
                while (n < s_.size() && !EndsName(s_[n])) ++n;
                size_t gt = TagEnd(n);
                if (gt >= s_.size()) return wrongAt(p);
                end = gt + 1;
                if (s_[gt - 1] == '/') {
                    if (depth_ == 0) rootClosed = rootSeen = true;
                } else {
                    out_.names.push_back(s_.substr(p + 1, n - p - 1));
                    out_.parents.push_back(cur_);
                    cur_ = static_cast<int>(out_.names.size()) - 1;
                    ++depth_;
                    rootSeen = true;
                }
            } else {
                return wrongAt(p);
            }
            if (end > s_.size()) {  // markup that never ends
                out_.cut = true;
                return;
            }
            Record(end, true);
            p = end;
        }
        Record(s_.size() + 1, false);
        out_.whole = rootSeen && rootClosed && depth_ == 0;
        out_.cut = !out_.whole;  // the bytes ended with the document still open
    }

private:
    // Records the state for every piece that starts before upTo.
    void Record(size_t upTo, bool inside) {
        while (next_ + 1 < pieces_.size() && pieces_[next_] < upTo) {
            out_.node.push_back(cur_);
            out_.depth.push_back(depth_);
            out_.inMarkup.push_back(inside);
            ++next_;
        }
    }

    size_t TagEnd(size_t from) const {
        char quote = 0;
        for (size_t i = from; i < s_.size(); ++i) {
            if (quote) {
                if (s_[i] == quote) quote = 0;
            } else if (s_[i] == '"' || s_[i] == '\'') {
                quote = s_[i];
            } else if (s_[i] == '<') {
                return s_.size();
            } else if (s_[i] == '>') {
                return i;
            }
        }
        return s_.size();
    }

    // "<!DOCTYPE ...>" with an internal subset in brackets.
    size_t DeclarationEnd(size_t from) const {
        int brackets = 0;
        char quote = 0;
        for (size_t i = from; i < s_.size(); ++i) {
            char c = s_[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '[') {
                ++brackets;
            } else if (c == ']') {
                --brackets;
            } else if (c == '>' && brackets <= 0) {
                return i + 1;
            }
        }
        return s_.size() + 1;
    }

    const std::string& s_;
    const std::vector<size_t>& pieces_;
    XmlScan& out_;
    size_t next_ = 0;
    int cur_ = -1;
    int depth_ = 0;
};

XmlScan ScanXml(const std::string& s, const std::vector<size_t>& pieces) {
    XmlScan scan;
    XmlScanner(s, pieces, scan).Run();
    return scan;
}

struct XmlRules {
    std::string port;
    const char* mode;
};

// Where a piece's line begins with an element's start tag: its name's end.
size_t StartTagName(const std::string& s, size_t from, size_t to) {
    size_t p = from;
    while (p < to && (s[p] == ' ' || s[p] == '\t')) ++p;
    if (p + 1 >= to || s[p] != '<' || !IsNameStart(static_cast<unsigned char>(s[p + 1]))) return std::string::npos;
    size_t n = p + 1;
    while (n < to && !EndsName(s[n])) ++n;
    return n;
}

bool BeginsEndTag(const std::string& s, size_t from, size_t to) {
    size_t p = from;
    while (p < to && (s[p] == ' ' || s[p] == '\t')) ++p;
    return p + 1 < to && s[p] == '<' && s[p + 1] == '/';
}

// Whether copy at at holds the source piece [a, b) with the text of its leaf
// set to a value the patch sets there; at moves past it when so.
bool MatchesXmlLeaf(const std::string& src, size_t a, size_t b, const XmlScan& scan, size_t piece,
                    const XmlRules& rules, const std::string& copy, size_t& at) {
    if (scan.inMarkup[piece]) return false;
    size_t n = StartTagName(src, a, b);
    if (n == std::string::npos) return false;
    size_t lt = src.find('<', a);
    std::string name = src.substr(lt + 1, n - lt - 1);
    char quote = 0;
    size_t gt = std::string::npos;
    for (size_t i = n; i < b && gt == std::string::npos; ++i) {
        if (quote) {
            if (src[i] == quote) quote = 0;
        } else if (src[i] == '"' || src[i] == '\'') {
            quote = src[i];
        } else if (src[i] == '>') {
            gt = i;
        }
    }
    if (gt == std::string::npos || src[gt - 1] == '/') return false;
    size_t e = src.find('<', gt + 1);
    if (e == std::string::npos || e >= b || e + 2 + name.size() >= b || src[e + 1] != '/' ||
        src.compare(e + 2, name.size(), name) != 0 || !EndsName(src[e + 2 + name.size()]))
        return false;
    int parentNode = scan.node[piece];
    const std::string* parent = parentNode >= 0 ? &scan.names[parentNode] : nullptr;
    int grandNode = parentNode >= 0 ? scan.parents[parentNode] : -1;
    const std::string* grand = grandNode >= 0 ? &scan.names[grandNode] : nullptr;
    std::vector<std::string> allowed;
    if (name == "Enable_BINARY_1") allowed.push_back("ON");
    if (name == "LocalPort" && parent && *parent == "TcpServer1") allowed.push_back(rules.port);
    if (parent && grand && *parent == "ApplicationMode1" && *grand == "TcpServer1")
        allowed.push_back(name == rules.mode ? "ON" : "OFF");
    if (grand && *grand == "OutputMode") allowed.push_back(name == "Binary_1" ? "ON" : "OFF");
    size_t head = gt + 1 - a, tail = b - e;
    for (const std::string& v : allowed) {
        if (at + head + v.size() + tail > copy.size()) continue;
        if (copy.compare(at, head, src, a, head) == 0 && copy.compare(at + head, v.size(), v) == 0 &&
            copy.compare(at + head + v.size(), tail, src, e, tail) == 0) {
            at += head + v.size() + tail;
            return true;
        }
    }
    return false;
}

bool IsFaithfulXml(const std::string& src, const std::string& copy, const XmlRules& rules) {
    std::vector<size_t> pieces = Pieces(src);
    XmlScan scan = ScanXml(src, pieces);
    if (!scan.whole || !IsWholeXml(copy)) return false;
    // The reduced copy leaves out elements three levels below the root,
    // with what follows them at their level up to the next element there.
    const int filterDepth = scan.declared ? 3 : 4;
    const size_t count = pieces.size() - 1;
    size_t at = 0;
    for (size_t i = 0; i < count;) {
        size_t a = pieces[i], b = pieces[i + 1];
        if (at + (b - a) <= copy.size() && copy.compare(at, b - a, src, a, b - a) == 0) {
            at += b - a;
            ++i;
            continue;
        }
        if (MatchesXmlLeaf(src, a, b, scan, i, rules, copy, at)) {
            ++i;
            continue;
        }
        if (scan.inMarkup[i] || scan.depth[i] != filterDepth || StartTagName(src, a, b) == std::string::npos)
            return false;
        for (++i; i < count; ++i) {
            size_t pa = pieces[i], pb = pieces[i + 1];
            if (scan.inMarkup[i] || scan.depth[i] > filterDepth) continue;
            if (scan.depth[i] < filterDepth || StartTagName(src, pa, pb) != std::string::npos ||
                BeginsEndTag(src, pa, pb))
                break;
        }
    }
    return at == copy.size();
}

// --- JSON ---

struct JsonScan {
    bool whole = false;
    bool cut = false;               // not whole only because the bytes ended too early
    std::vector<char> stringStart;  // per byte: a quote that opens a string
    std::vector<char> free;         // per piece: begins outside strings and comments
};

JsonScan ScanJson(const std::string& s, const std::vector<size_t>& pieces) {
    JsonScan scan;
    scan.stringStart.assign(s.size(), 0);
    enum { kCode, kString, kLineComment, kBlockComment } state = kCode;
    std::vector<char> open;
    bool begun = false, ended = false, broken = false;
    size_t next = 0;
    size_t i = StartsWith(s, 0, "\xEF\xBB\xBF") ? 3 : 0;
    while (next + 1 < pieces.size() && pieces[next] <= i && pieces[next] < s.size()) {
        scan.free.push_back(1);
        ++next;
    }
    for (; i < s.size() && !broken; ++i) {
        // A piece that begins inside an escape or a comment mark is not free.
        while (next + 1 < pieces.size() && pieces[next] <= i) {
            scan.free.push_back(pieces[next] == i && state == kCode);
            ++next;
        }
        char c = s[i];
        switch (state) {
        case kString:
            if (c == '\\')
                ++i;
            else if (c == '"')
                state = kCode;
            break;
        case kLineComment:
            if (c == '\n') state = kCode;
            break;
        case kBlockComment:
            if (c == '*' && i + 1 < s.size() && s[i + 1] == '/') {
                ++i;
                state = kCode;
            }
            break;
        case kCode:
            if (c == '/' && i + 1 < s.size() && (s[i + 1] == '/' || s[i + 1] == '*')) {
                state = s[i + 1] == '/' ? kLineComment : kBlockComment;
                ++i;
            } else if (ended) {
                broken = !IsFiller(c);
            } else if (!begun) {
                if (c == '{' || c == '[') {
                    begun = true;
                    open.push_back(c);
                } else {
                    broken = !IsFiller(c);
                }
            } else if (c == '"') {
                scan.stringStart[i] = 1;
                state = kString;
            } else if (c == '{' || c == '[') {
                open.push_back(c);
            } else if (c == '}' || c == ']') {
                if (open.back() != (c == '}' ? '{' : '[')) broken = true;
                open.pop_back();
                ended = open.empty();
            }
            break;
        }
    }
    while (next + 1 < pieces.size()) {
        scan.free.push_back(0);
        ++next;
    }
    scan.whole = !broken && ended && state != kString && state != kBlockComment;
    scan.cut = !broken && !scan.whole;
    return scan;
}

size_t ClosingQuote(const std::string& s, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (s[i] == '\\')
            ++i;
        else if (s[i] == '"')
            return i;
    }
    return std::string::npos;
}

size_t SkipSpaces(const std::string& s, size_t i, size_t to) {
    while (i < to && (s[i] == ' ' || s[i] == '\t')) ++i;
    return i;
}

bool MatchesJsonValue(const std::string& src, size_t a, size_t b, const JsonScan& scan, size_t piece,
                      const std::string& port, bool subscribe, const std::string& copy, size_t& at) {
    if (!scan.free[piece]) return false;
    size_t k1 = src.find('"', a);
    if (k1 >= b || !scan.stringStart[k1]) return false;
    size_t k2 = ClosingQuote(src, k1 + 1, b);
    if (k2 == std::string::npos) return false;
    size_t colon = SkipSpaces(src, k2 + 1, b);
    if (colon >= b || src[colon] != ':') return false;
    size_t v1 = SkipSpaces(src, colon + 1, b);
    if (v1 >= b || src[v1] != '"' || !scan.stringStart[v1]) return false;
    size_t v2 = ClosingQuote(src, v1 + 1, b);
    if (v2 == std::string::npos) return false;
    std::string key = src.substr(k1 + 1, k2 - k1 - 1);
    std::string value;
    if (key == "OPCServerEnable" || key == "OpcOutputEnable")
        value = "1";
    else if (key == "OPCLocalPort")
        value = port;
    else if (key == "OPCInputTrigger")
        value = subscribe ? "1" : "0";
    else
        return false;
    size_t head = v1 + 1 - a, tail = b - v2;
    if (at + head + value.size() + tail > copy.size() || copy.compare(at, head, src, a, head) != 0 ||
        copy.compare(at + head, value.size(), value) != 0 ||
        copy.compare(at + head + value.size(), tail, src, v2, tail) != 0)
        return false;
    at += head + value.size() + tail;
    return true;
}

bool IsFaithfulJson(const std::string& src, const std::string& copy, const std::string& port, bool subscribe) {
    std::vector<size_t> pieces = Pieces(src);
    JsonScan scan = ScanJson(src, pieces);
    if (!scan.whole || !IsWholeJson(copy)) return false;
    size_t at = 0;
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        size_t a = pieces[i], b = pieces[i + 1];
        if (at + (b - a) <= copy.size() && copy.compare(at, b - a, src, a, b - a) == 0)
            at += b - a;
        else if (!MatchesJsonValue(src, a, b, scan, i, port, subscribe, copy, at))
            return false;
    }
    return at == copy.size();
}

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using OwnedFile = std::unique_ptr<FILE, FileCloser>;

}  // namespace

bool IsWholeJson(const std::string& bytes) { return ShapeOfJson(bytes) == kShapeWhole; }

bool IsWholeXml(const std::string& bytes) { return ShapeOfXml(bytes) == kShapeWhole; }

DocumentShape ShapeOfJson(const std::string& bytes) {
    JsonScan scan = ScanJson(bytes, Pieces(bytes));
    return scan.whole ? kShapeWhole : scan.cut ? kShapeCut : kShapeMalformed;
}

DocumentShape ShapeOfXml(const std::string& bytes) {
    XmlScan scan = ScanXml(bytes, Pieces(bytes));
    return scan.whole ? kShapeWhole : scan.cut ? kShapeCut : kShapeMalformed;
}

bool IsFaithfulPatch(PatchKind kind, const std::string& source, const std::string& copy, int port, bool flag) {
    std::string portText = std::to_string(port);
    if (kind == kPatchJson) return IsFaithfulJson(source, copy, portText, flag);
    return IsFaithfulXml(source, copy, XmlRules{portText, flag ? "OPC_Device" : "Compatible_Vexxx"});
}

bool ReadWholeFile(const wchar_t* path, std::string& bytes, size_t limit) {
    bytes.clear();
    OwnedFile f(_wfopen(path, L"rb"));
    if (!f) return false;
    char buf[65536];
    for (;;) {
        size_t n = fread(buf, 1, sizeof buf, f.get());
        bytes.append(buf, n);
        if (bytes.size() > limit) return false;
        if (n < sizeof buf) return !ferror(f.get());
    }
}

CPatchResult PatchChecked(PatchKind kind, const wchar_t* src, const wchar_t* dst, int port, bool flag,
                          DocumentShape* download) {
    CPatchResult r;
    if (download) *download = kShapeWhole;
    std::string source;
    if (!ReadWholeFile(src, source, kCheckLimit)) {
        r.outcome = kPatchNoInput;
        return r;
    }
    // A download cut short or not of its kind is not patched at all.
    const DocumentShape shape = kind == kPatchJson ? ShapeOfJson(source) : ShapeOfXml(source);
    if (download) *download = shape;
    if (shape != kShapeWhole) {
        r.outcome = kPatchNothingFound;
        return r;
    }
    r = kind == kPatchJson ? PatchJsonFile(src, dst, port, flag) : PatchXmlFile(src, dst, port, flag);
    if (r.outcome != kPatchUpload && r.outcome != kPatchAskPartial) return r;
    std::string copy;
    if (!ReadWholeFile(dst, copy, kCheckLimit + 1024)) {
        r.outcome = kPatchNoOutput;
        return r;
    }
    if (!IsFaithfulPatch(kind, source, copy, port, flag)) r.outcome = kPatchNothingFound;
    return r;
}
