// The last look at a patched copy before it goes to a device. The patches
// work on lines and will meet files nobody foresaw; this check does not
// trust them: it reads the markup itself and lets a copy go only when it is
// the download with nothing changed but the values the patch is meant to set
// (and, for the reduced XML copy, whole elements left out), and when it is a
// whole document as the download was.
//
//   CPatchResult r = PatchChecked(kPatchXml, backup, temp, 49153, passwordLogin);
//   // r.outcome as from PatchXmlFile, or kPatchNothingFound when the
//   // download was no whole document or the copy failed the check.
#pragma once
#include "reconfig/json_patch.h"
#include <string>

enum PatchKind { kPatchJson, kPatchXml };

// Whether bytes hold one whole document: a JSON object or array that closes
// (comments allowed), or XML whose elements balance under one root.
bool IsWholeJson(const std::string& bytes);
bool IsWholeXml(const std::string& bytes);

// What bytes that are no whole document hold instead.
enum DocumentShape {
    kShapeWhole,
    // The start of a document (or nothing): more bytes could have made it
    // whole, as when a download is cut on the way.
    kShapeCut,
    // Something no whole document holds, however it goes on: a stray "<" in
    // a text, text after the root, another encoding.
    kShapeMalformed,
};
DocumentShape ShapeOfJson(const std::string& bytes);
DocumentShape ShapeOfXml(const std::string& bytes);

// Whether copy differs from source only in the values the patch of that kind
// sets with port and flag (subscribe for JSON, password login for XML), and
// is a whole document.
bool IsFaithfulPatch(PatchKind kind, const std::string& source, const std::string& copy, int port, bool flag);

// Reads a file of at most limit bytes; false when it cannot be read whole.
bool ReadWholeFile(const wchar_t* path, std::string& bytes, size_t limit);

// The patch of that kind from src to dst, refused before it begins when the
// download is no whole document (download tells what it is), and after it
// when the copy fails the check.
CPatchResult PatchChecked(PatchKind kind, const wchar_t* src, const wchar_t* dst, int port, bool flag,
                          DocumentShape* download = nullptr);
