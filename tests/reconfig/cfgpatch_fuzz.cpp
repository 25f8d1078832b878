// Fuzz run of the configuration patches as the reconfiguration runs them:
// device files mutated at random (markup lines, attributes holding ">",
// lines dropped, doubled, swapped or cut, renamed elements and keys, stray
// bytes), each patched and checked as before an upload. Whenever a copy
// would go to the device, a judge of its own (a line diff of the two files
// and a parse of each into a tree) confirms that it differs from the
// download only in the values the patch sets. Exits non-zero on the first
// copy that does not, and keeps the pair in the working folder.
//
//   cfgpatch_fuzz [SECONDS [SEED]]     (tools/bench.sh cfgpatch_fuzz 60)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reconfig/patch_check.h"

namespace {

// ---------------------------------------------------------------- files

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring DataPath(const char* name) {
    std::wstring p = L"Z:" + Widen(CFGPATCH_DATA) + L"/" + Widen(name);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    return p;
}

std::string ReadBytes(const std::wstring& path) {
    std::string out;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buf[16384];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        fclose(f);
    }
    return out;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> out;
    for (size_t a = 0; a < s.size();) {
        size_t b = s.find('\n', a);
        b = b == std::string::npos ? s.size() : b + 1;
        out.push_back(s.substr(a, b - a));
        a = b;
    }
    return out;
}

// ---------------------------------------------------------------- mutations

const char* const kXmlLines[] = {
    "<!-- Hinweis -->\n",
    "  <?vexxa sicht=\"alle\"?>\n",
    "<![CDATA[ <Enable_HTTP>OFF</Enable_HTTP> ]]>\n",
    "<!--\n",
    "-->\n",
    "<!-- <OutputMode> -->\n",
    "    <Info a=\"x>y\">1</Info>\n",
    "<Enable_BINARY_1>OFF</Enable_BINARY_1>\n",
    "<TcpServer1>\n",
    "</TcpServer1>\n",
    "<OutputMode>\n",
    "</OutputMode>\n",
    "<ApplicationMode1>\n",
    "<LocalPort>1</LocalPort>\n",
    "<Binary_1 x='>'>OFF</Binary_1>\n",
    "<Empty/>\n",
    "text only\n",
    "<!DOCTYPE x>\n",
    "\t<NTP>ON</NTP><NTPServer>192.168.20.2</NTPServer>\n",
    "<A>1</B>\n",
    "</\n",
    "<\n",
};
const char* const kJsonLines[] = {
    "  // \"OPCLocalPort\": \"1\",\n",
    "  /* \"OPCServerEnable\": \"0\",\n",
    "  */\n",
    "  \"OPCLocalPort\": \"8000\",\n",
    "  \"OPCInputTrigger\": \"x\", \"Other\": \"1\",\n",
    "  \"Note\": \"a \\\" \\\"OPCLocalPort\\\": \\\"9\\\"\",\n",
    "  \"Nested\": {\"OpcOutputEnable\": \"0\"},\n",
    "  \"Multi\": \"first\n",
    "line\",\n",
    "{\n",
    "}\n",
    "[\n",
    "],\n",
    "  \"OPCServerEnable\":\"0\"}\n",
    "\"\n",
};
const char* const kNames[] = {"Enable_BINARY_1", "LocalPort",       "TcpServer1",   "ApplicationMode1",
                              "OutputMode",      "Binary_1",        "OPC_Device",   "Compatible_Vexxx",
                              "BasicSettings",   "OPCServerEnable", "OPCLocalPort", "OPCInputTrigger",
                              "OpcOutputEnable"};

std::string Mutate(const std::string& seed, bool json, std::mt19937& rng) {
    std::vector<std::string> lines = Lines(seed);
    auto pick = [&](size_t n) { return n ? (size_t)(rng() % n) : 0; };
    int rounds = 1 + (int)pick(3);
    for (int r = 0; r < rounds && !lines.empty(); ++r) {
        size_t at = pick(lines.size() + 1);
        size_t i = pick(lines.size());
        switch (pick(9)) {
        case 0:
        case 1: {  // a line of markup or structure
            const char* l = json ? kJsonLines[pick(sizeof kJsonLines / sizeof *kJsonLines)]
                                 : kXmlLines[pick(sizeof kXmlLines / sizeof *kXmlLines)];
            lines.insert(lines.begin() + (long)at, l);
            break;
        }
        case 2: lines.erase(lines.begin() + (long)i); break;
        case 3: lines.insert(lines.begin() + (long)at, lines[i]); break;
        case 4: std::swap(lines[i], lines[pick(lines.size())]); break;
        case 5: {  // an element or key renamed to one the patch looks for
            std::string& l = lines[i];
            size_t p = l.find(json ? '"' : '<');
            if (p != std::string::npos) {
                size_t q = p + 1;
                if (!json && q < l.size() && l[q] == '/') ++q;
                size_t e = q;
                while (e < l.size() && (isalnum((unsigned char)l[e]) || l[e] == '_')) ++e;
                l.replace(q, e - q, kNames[pick(sizeof kNames / sizeof *kNames)]);
            }
            break;
        }
        case 6: {  // an attribute holding ">" in a start tag
            std::string& l = lines[i];
            size_t p = l.find('<');
            size_t gt = p == std::string::npos ? p : l.find('>', p);
            if (gt != std::string::npos && p + 1 < l.size() && l[p + 1] != '/')
                l.insert(gt, pick(2) ? " a=\"x>y\"" : " b='>'");
            break;
        }
        case 7: {  // stray bytes
            std::string& l = lines[i];
            static const char bytes[] = "<>\"'/!?&\\{}[]:,\x1a\r";
            l.insert(pick(l.size() + 1), 1, bytes[pick(sizeof bytes - 1)]);
            break;
        }
        default: {  // cut
            std::string all;
            for (const std::string& l : lines) all += l;
            return all.substr(0, pick(all.size() + 1));
        }
        }
    }
    std::string all;
    for (const std::string& l : lines) all += l;
    return all;
}

// ---------------------------------------------------------------- the judge

// 1. Bytes: the copy is the download with whole lines left out and lines
// whose element text or string value alone was replaced by a value the
// patch sets; no line of its own.
bool SameOutsideValues(const std::string& a, const std::string& b, const std::vector<std::string>& values) {
    if (a == b) return true;
    size_t p = 0;
    while (p < a.size() && p < b.size() && a[p] == b[p]) ++p;
    size_t s = 0;
    while (s < a.size() - p && s < b.size() - p && a[a.size() - 1 - s] == b[b.size() - 1 - s]) ++s;
    // Back to the end of a tag or the opening quote, forward to "</" or the
    // closing quote.
    while (p > 0 && a[p - 1] != '>' && a[p - 1] != '"') --p;
    size_t sa = a.size() - s;
    while (sa < a.size() && !(a[sa] == '"' || (a[sa] == '<' && sa + 1 < a.size() && a[sa + 1] == '/'))) ++sa;
    s = a.size() - sa;
    if (p + s > b.size() || b.compare(0, p, a, 0, p) != 0 || b.compare(b.size() - s, s, a, sa, s) != 0) return false;
    std::string middle = b.substr(p, b.size() - s - p);
    for (const std::string& v : values)
        if (middle == v) return true;
    return false;
}

bool LinesFaithful(const std::string& src, const std::string& copy, const std::vector<std::string>& values,
                   bool mayLeaveOut) {
    std::vector<std::string> a = Lines(src), b = Lines(copy);
    // Longest common subsequence, a replaced line counting as kept.
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<unsigned short>> best(n + 1, std::vector<unsigned short>(m + 1, 0));
    auto same = [&](size_t i, size_t j) { return SameOutsideValues(a[i], b[j], values); };
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            best[i][j] =
                same(i, j) ? (unsigned short)(best[i + 1][j + 1] + 1) : std::max(best[i + 1][j], best[i][j + 1]);
    if (best[0][0] != m) return false;  // a line in the copy that the download does not have
    return mayLeaveOut || n == m;
}

// 2. Structure: both parse as XML or JSON of their own, and the copy's tree
// is the download's with the values set at the patch's places (and, for
// XML, elements three levels below the root left out).
struct Node {
    enum Kind { kElement, kText, kOther } kind = kOther;
    std::string name, raw;  // the element's name and start tag; the text
    std::vector<Node> children;
};

class XmlTree {
public:
    explicit XmlTree(const std::string& s) : s_(s) {}
    bool Parse(Node& root) {
        root.kind = Node::kElement;
        return Children(root, true) && p_ == s_.size();
    }

private:
    bool Children(Node& parent, bool top) {
        int roots = 0;
        while (p_ < s_.size()) {
            if (s_[p_] != '<') {
                size_t e = s_.find('<', p_);
                e = e == std::string::npos ? s_.size() : e;
                Node t;
                t.kind = Node::kText;
                t.raw = s_.substr(p_, e - p_);
                p_ = e;
                bool blank = t.raw.find_first_not_of(std::string(" \t\r\n\x1a\0", 6), 0) == std::string::npos;
                if (top) {
                    if (blank) continue;
                    return false;
                }
                parent.children.push_back(t);
                continue;
            }
            if (s_.compare(p_, 2, "</") == 0) return !top;
            const char* ends = nullptr;
            if (s_.compare(p_, 4, "<!--") == 0)
                ends = "-->";
            else if (s_.compare(p_, 9, "<![CDATA[") == 0)
                ends = top ? nullptr : "]]>";
            else if (s_.compare(p_, 2, "<?") == 0)
                ends = "?>";
            else if (s_.compare(p_, 2, "<!") == 0)
                ends = ">";
            if (ends) {
                size_t e = s_.find(ends, p_ + 2);
                if (e == std::string::npos) return false;
                Node o;
                o.raw = s_.substr(p_, e + strlen(ends) - p_);
                p_ = e + strlen(ends);
                parent.children.push_back(o);
                continue;
            }
            if (s_.compare(p_, 9, "<![CDATA[") == 0) return false;
            Node el;
            if (!Element(el) || (top && ++roots > 1)) return false;
            parent.children.push_back(el);
        }
        return top && roots == 1;
    }
    bool Element(Node& el) {
        el.kind = Node::kElement;
        size_t q = p_ + 1;
        while (q < s_.size() &&
               (isalnum((unsigned char)s_[q]) || (s_[q] && strchr("_:-.", s_[q])) || (unsigned char)s_[q] >= 0x80))
            ++q;
        if (q == p_ + 1 || isdigit((unsigned char)s_[p_ + 1]) || s_[p_ + 1] == '-' || s_[p_ + 1] == '.') return false;
        el.name = s_.substr(p_ + 1, q - p_ - 1);
        char quote = 0;
        for (; q < s_.size(); ++q) {
            if (quote) {
                if (s_[q] == quote) quote = 0;
            } else if (s_[q] == '"' || s_[q] == '\'') {
                quote = s_[q];
            } else if (s_[q] == '<') {
                return false;
            } else if (s_[q] == '>') {
                break;
            }
        }
        if (q >= s_.size()) return false;
        el.raw = s_.substr(p_, q + 1 - p_);
        p_ = q + 1;
        if (s_[q - 1] == '/') return true;
        if (!Children(el, false)) return false;
        std::string end = "</" + el.name;
        if (s_.compare(p_, end.size(), end) != 0) return false;
        size_t e = p_ + end.size();
        while (e < s_.size() && s_[e] && strchr(" \t\r\n", s_[e])) ++e;
        if (e >= s_.size() || s_[e] != '>') return false;
        p_ = e + 1;
        return true;
    }
    const std::string& s_;
    size_t p_ = 0;
};

struct Rules {
    std::string port, mode;
};

const std::string* LeafText(const Node& n) {
    if (n.kind != Node::kElement || n.children.size() != 1 || n.children[0].kind != Node::kText) return nullptr;
    return &n.children[0].raw;
}

std::string Trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    size_t b = s.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? std::string() : s.substr(a, b + 1 - a);
}

bool IsBlankText(const Node& n) {
    return n.kind == Node::kText && n.raw.find_first_not_of(" \t\r\n", 0) == std::string::npos;
}

// filterDepth: where the reduced copy leaves elements out (the patch counts
// an opening XML declaration as a level).
bool SameTree(const Node& a, const Node& b, std::vector<const Node*>& path, int depth, int filterDepth,
              const Rules& r) {
    // Blanks around elements change with the lines left out beside them;
    // the bytes are judged line by line.
    if (IsBlankText(a) && IsBlankText(b)) return true;
    if (a.kind == Node::kText && b.kind == Node::kText) return Trimmed(a.raw) == Trimmed(b.raw);
    if (a.kind != b.kind || a.name != b.name || a.raw != b.raw) return false;
    if (a.kind != Node::kElement) return true;
    const std::string* ta = LeafText(a);
    const std::string* tb = LeafText(b);
    if (ta && tb && *ta != *tb) {
        const std::string* parent = path.size() >= 1 ? &path.back()->name : nullptr;
        const std::string* grand = path.size() >= 2 ? &path[path.size() - 2]->name : nullptr;
        bool ok = (a.name == "Enable_BINARY_1" && *tb == "ON") ||
                  (a.name == "LocalPort" && parent && *parent == "TcpServer1" && *tb == r.port) ||
                  (parent && grand && *parent == "ApplicationMode1" && *grand == "TcpServer1" &&
                   *tb == (a.name == r.mode ? "ON" : "OFF")) ||
                  (grand && *grand == "OutputMode" && *tb == (a.name == "Binary_1" ? "ON" : "OFF"));
        return ok;
    }
    path.push_back(&a);
    size_t j = 0;
    bool ok = true;
    for (size_t i = 0; i < a.children.size() && ok; ++i) {
        if (j < b.children.size() && SameTree(a.children[i], b.children[j], path, depth + 1, filterDepth, r)) {
            ++j;
            continue;
        }
        ok = depth + 1 == filterDepth;
    }
    path.pop_back();
    return ok && j == b.children.size();
}

bool XmlFaithful(const std::string& src, const std::string& copy, const Rules& r) {
    Node a, b;
    if (!XmlTree(src).Parse(a) || !XmlTree(copy).Parse(b)) return false;
    std::vector<const Node*> path;
    // The document node is depth 0 and the root depth 1; the reduced copy
    // leaves out what stands three levels below the root after an opening
    // XML declaration, four without one.
    size_t first = src.find('<');
    bool declared = first != std::string::npos && src.compare(first, 5, "<?xml") == 0;
    return SameTree(a, b, path, 0, declared ? 4 : 5, r);
}

// JSON as tokens: strings, punctuation, other runs, blanks and comments.
bool JsonTokens(const std::string& s, std::vector<std::string>& out) {
    for (size_t i = 0; i < s.size();) {
        size_t e = i + 1;
        char c = s[i];
        if (c == '"') {
            while (e < s.size() && s[e] != '"') e += s[e] == '\\' ? 2 : 1;
            if (e >= s.size()) return false;
            ++e;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            e = s.find('\n', i);
            e = e == std::string::npos ? s.size() : e;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            e = s.find("*/", i + 2);
            if (e == std::string::npos) return false;
            e += 2;
        } else if (strchr("{}[]:,", c)) {
        } else {
            while (e < s.size() && !strchr("{}[]:,\"/", s[e])) ++e;
        }
        out.push_back(s.substr(i, e - i));
        i = e;
    }
    return true;
}

bool Blank(const std::string& t) {
    return t.find_first_not_of(" \t\r\n\x1a", 0) == std::string::npos || t.compare(0, 2, "//") == 0 ||
           t.compare(0, 2, "/*") == 0;
}

bool JsonFaithful(const std::string& src, const std::string& copy, const Rules& r, bool subscribe) {
    std::vector<std::string> a, b;
    if (!JsonTokens(src, a) || !JsonTokens(copy, b) || a.size() != b.size()) return false;
    int depth = 0;
    bool opened = false;
    for (size_t i = 0; i < a.size(); ++i) {
        const std::string& t = a[i];
        if (t == "{" || t == "[") {
            ++depth;
            opened = true;
        } else if (t == "}" || t == "]") {
            --depth;
        }
        if (t == b[i]) continue;
        // A string value after a key of the patch's.
        size_t k = i;
        while (k > 0 && Blank(a[k - 1])) --k;
        if (k == 0 || a[k - 1] != ":") return false;
        --k;
        while (k > 0 && Blank(a[k - 1])) --k;
        if (k == 0 || a[i][0] != '"') return false;
        const std::string key = a[k - 1];
        std::string want;
        if (key == "\"OPCServerEnable\"" || key == "\"OpcOutputEnable\"")
            want = "1";
        else if (key == "\"OPCLocalPort\"")
            want = r.port;
        else if (key == "\"OPCInputTrigger\"")
            want = subscribe ? "1" : "0";
        else
            return false;
        if (b[i] != "\"" + want + "\"") return false;
    }
    return opened && depth == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const DWORD seconds = argc > 1 ? (DWORD)atoi(argv[1]) : 60;
    const unsigned seed = argc > 2 ? (unsigned)atoi(argv[2]) : (unsigned)GetTickCount();
    std::mt19937 rng(seed);
    struct Seed {
        const char* file;
        PatchKind kind;
        std::string bytes;
    } seeds[] = {
        {"vexxa.xml", kPatchXml, {}},          {"xml_commented.xml", kPatchXml, {}},
        {"xml_nested.xml", kPatchXml, {}},     {"xml_oneline.xml", kPatchXml, {}},
        {"xml_attr_basic.xml", kPatchXml, {}}, {"xml_already.xml", kPatchXml, {}},
        {"lattix40.json", kPatchJson, {}},     {"json_commented.json", kPatchJson, {}},
        {"json_oneline.json", kPatchJson, {}}, {"json_nested.json", kPatchJson, {}},
        {"json_ctrlz.json", kPatchJson, {}},
    };
    for (Seed& s : seeds) {
        s.bytes = ReadBytes(DataPath(s.file));
        if (s.bytes.empty()) {
            printf("cannot read %s\n", s.file);
            return 2;
        }
    }
    wchar_t dir[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, dir);
    const std::wstring src = std::wstring(dir) + L"cfgpatch_fuzz_src", dst = std::wstring(dir) + L"cfgpatch_fuzz_dst";
    printf("seed %u, %lu s\n", seed, (unsigned long)seconds);
    unsigned long runs = 0, uploads = 0, refusedDownload = 0, refusedCopy = 0;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < seconds * 1000) {
        const Seed& s = seeds[rng() % (sizeof seeds / sizeof *seeds)];
        const bool json = s.kind == kPatchJson;
        std::string in = Mutate(s.bytes, json, rng);
        const int port = (int)(1 + rng() % 65535);
        const bool flag = rng() % 2 != 0;
        if (!WriteBytes(src, in)) {
            printf("cannot write the source\n");
            return 2;
        }
        DeleteFileW(dst.c_str());
        DocumentShape shape = kShapeWhole;
        CPatchResult r = PatchChecked(s.kind, src.c_str(), dst.c_str(), port, flag, &shape);
        const bool whole = shape == kShapeWhole;
        ++runs;
        if (!whole) ++refusedDownload;
        if (r.outcome != kPatchUpload && r.outcome != kPatchAskPartial) {
            if (whole && r.outcome == kPatchNothingFound) ++refusedCopy;
            continue;
        }
        ++uploads;
        std::string copy = ReadBytes(dst);
        const Rules rules{std::to_string(port), flag ? "OPC_Device" : "Compatible_Vexxx"};
        std::vector<std::string> values = {"ON", "OFF", rules.port, "1", "0"};
        bool ok = LinesFaithful(in, copy, values, !json) &&
                  (json ? JsonFaithful(in, copy, rules, flag) : XmlFaithful(in, copy, rules));
        if (!ok) {
            const bool kept = WriteBytes(L"fuzz_failed_download", in) && WriteBytes(L"fuzz_failed_upload", copy);
            printf("FAILED after %lu runs: from %s, port %d, flag %d; %s\n", runs, s.file, port, flag ? 1 : 0,
                   kept ? "the pair is in fuzz_failed_download and fuzz_failed_upload"
                        : "the pair could not be written");
            return 1;
        }
    }
    DeleteFileW(src.c_str());
    DeleteFileW(dst.c_str());
    printf("%lu mutated files, %lu would be uploaded and each differs from its download only in the values set; "
           "%lu downloads refused as not whole, %lu copies refused by the check\n",
           runs, uploads, refusedDownload, refusedCopy);
    return 0;
}
