// Patch of a 4.0 device's own JSON configuration for the OPC server: a
// line-based substitution, not a JSON parser. Bytes are copied unchanged
// (line ends, a Ctrl-Z, NULs) except the values replaced.
//
//   CPatchResult r = PatchJsonFile(backup, temp, 49153, subscribe);
//   switch (r.outcome) {
//   case kPatchUpload: upload temp; break;
//   case kPatchAskPartial: ask with message 210, OK uploads; break;
//   default: status line = string r.outcome; stop
//   }
#pragma once
#include <cstddef>
#include <cstdio>

// What the reconfiguration does after a patch; the values are the ids of
// the texts that tell the user.
enum PatchOutcome : int {
    kPatchUpload = 0,          // all settings found, at least one changed
    kPatchAskPartial = 210,    // some found: the user decides whether to upload
    kPatchNoOutput = 276,      // destination could not be created or written
    kPatchNoInput = 280,       // source could not be opened
    kPatchNothingFound = 288,  // none found, nothing to upload
    kPatchAlreadySet = 289,    // all found with the wanted values already
};

struct CPatchResult {
    PatchOutcome outcome = kPatchNoInput;
    unsigned found = 0;  // one bit per setting, 15 = all four
    int changed = 0;     // replacements that gave a different value
};

// The outcome that the found bits and the changed count give.
PatchOutcome DecidePatch(unsigned found, int changed);

// Longest piece of a line handled at once; a longer line goes in pieces,
// each taken as a line of its own.
constexpr size_t kPatchLineMax = 499;

// Reads a file in pieces: a line with its line end, or kPatchLineMax bytes.
class CPatchLineReader {
public:
    explicit CPatchLineReader(FILE* in) : in_(in) {}
    CPatchLineReader(const CPatchLineReader&) = delete;
    CPatchLineReader& operator=(const CPatchLineReader&) = delete;
    // Fills line (room for kPatchLineMax + 1 bytes, zero-terminated) and its
    // length; false at the end of the file.
    bool Next(char* line, size_t& len);

private:
    FILE* in_;
    char buf_[65536];
    size_t pos_ = 0, end_ = 0;
};

// JSON: "OPCServerEnable" = "1", "OPCLocalPort" = port, "OPCInputTrigger" =
// "1" or "0" by subscribe, "OpcOutputEnable" = "1"; keys matched whole.
CPatchResult PatchJsonFile(const wchar_t* src, const wchar_t* dst, int port, bool subscribe);

// Writes the line of len bytes with the value between the quotes at open and
// close replaced; true when the new value differs from the old one.
bool ReplaceJsonValue(FILE* out, const char* line, size_t len, size_t open, size_t close, const char* value);
