#include "reconfig/json_patch.h"

#include <cstring>
#include <memory>

PatchOutcome DecidePatch(unsigned found, int changed) {
    if (found == 0) return kPatchNothingFound;
    if (found != 15) return kPatchAskPartial;
    return changed > 0 ? kPatchUpload : kPatchAlreadySet;
}

bool CPatchLineReader::Next(char* line, size_t& len) {
    len = 0;
    while (len < kPatchLineMax) {
        if (pos_ == end_) {
            end_ = fread(buf_, 1, sizeof buf_, in_);
            pos_ = 0;
            if (end_ == 0) break;
        }
        // Copy up to the line end in one go.
        size_t want = kPatchLineMax - len;
        size_t avail = end_ - pos_;
        size_t n = avail < want ? avail : want;
        const void* nl = memchr(buf_ + pos_, '\n', n);
        if (nl) n = static_cast<size_t>(static_cast<const char*>(nl) - (buf_ + pos_)) + 1;
        memcpy(line + len, buf_ + pos_, n);
        pos_ += n;
        len += n;
        if (nl) break;
    }
    line[len] = 0;
    return len > 0;
}

namespace {

// Position of the quote that closes the string opened before from, or npos;
// a backslash escapes the next character.
size_t ClosingQuote(const char* s, size_t from, size_t len) {
    for (size_t i = from; i < len; ++i) {
        if (s[i] == '\\')
            ++i;
        else if (s[i] == '"')
            return i;
    }
    return static_cast<size_t>(-1);
}

size_t SkipBlanks(const char* s, size_t i, size_t len) {
    while (i < len && (s[i] == ' ' || s[i] == '\t')) ++i;
    return i;
}

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using OwnedFile = std::unique_ptr<FILE, FileCloser>;

}  // namespace

bool ReplaceJsonValue(FILE* out, const char* line, size_t len, size_t open, size_t close, const char* value) {
    size_t vlen = strlen(value);
    bool differs = close - open - 1 != vlen || memcmp(line + open + 1, value, vlen) != 0;
    fwrite(line, 1, open + 1, out);
    fwrite(value, 1, vlen, out);
    fwrite(line + close, 1, len - close, out);
    return differs;
}

CPatchResult PatchJsonFile(const wchar_t* src, const wchar_t* dst, int port, bool subscribe) {
    CPatchResult result;
    // Binary both ways: text mode would end at a Ctrl-Z and rewrite line ends.
    OwnedFile in(_wfopen(src, L"rb"));
    if (!in) {
        result.outcome = kPatchNoInput;
        return result;
    }
    OwnedFile out(_wfopen(dst, L"wb"));
    if (!out) {
        result.outcome = kPatchNoOutput;
        return result;
    }
    setvbuf(out.get(), nullptr, _IOFBF, 65536);

    char portText[20];
    snprintf(portText, sizeof portText, "%d", port);
    struct Setting {
        const char* key;
        const char* value;
        unsigned bit;
    };
    const Setting settings[] = {
        {"OPCServerEnable", "1", 1},
        {"OPCLocalPort", portText, 2},
        {"OPCInputTrigger", subscribe ? "1" : "0", 4},
        {"OpcOutputEnable", "1", 8},
    };

    auto reader = std::make_unique<CPatchLineReader>(in.get());
    char line[kPatchLineMax + 1];
    size_t len;
    while (reader->Next(line, len)) {
        // The key: the line's first string, followed by a colon; the value:
        // a string right after that colon. Anything else stays as it is, and
        // so does a line that begins a comment.
        size_t start = SkipBlanks(line, 0, len);
        bool comment = start + 1 < len && line[start] == '/' && (line[start + 1] == '/' || line[start + 1] == '*');
        const char* q = comment ? nullptr : static_cast<const char*>(memchr(line, '"', len));
        size_t k1 = q ? static_cast<size_t>(q - line) : len;
        size_t k2 = k1 < len ? ClosingQuote(line, k1 + 1, len) : static_cast<size_t>(-1);
        size_t colon = k2 < len ? SkipBlanks(line, k2 + 1, len) : len;
        size_t v1 = colon < len && line[colon] == ':' ? SkipBlanks(line, colon + 1, len) : len;
        size_t v2 = v1 < len && line[v1] == '"' ? ClosingQuote(line, v1 + 1, len) : static_cast<size_t>(-1);
        const Setting* match = nullptr;
        if (v2 < len) {
            size_t klen = k2 - k1 - 1;
            for (const Setting& s : settings)
                if (strlen(s.key) == klen && memcmp(line + k1 + 1, s.key, klen) == 0) {
                    match = &s;
                    break;
                }
        }
        if (!match) {
            fwrite(line, 1, len, out.get());
            continue;
        }
        result.found |= match->bit;
        if (ReplaceJsonValue(out.get(), line, len, v1, v2, match->value)) ++result.changed;
    }
    // A short write shows in the stream's error flag; the close flushes.
    bool written = !ferror(out.get());
    if (fclose(out.release()) != 0 || !written) {
        result.outcome = kPatchNoOutput;
        return result;
    }
    result.outcome = DecidePatch(result.found, result.changed);
    return result;
}
