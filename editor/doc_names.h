// OPC name rules of the document, free of the store so they can be tested
// on their own: dots out, the next free candidate, the number of a default
// name.
#pragma once
#include "framework/String.h"
#include <functional>
#include <string>

// The characters of a name that the configuration file keeps as its section
// name: two names alike in these are one section.
const int kNameKept = 127;
// A name as the file tells names apart: the kept characters, blanks around
// them trimmed, A-Z folded.
CString NameKey(const CString& name);
// The same into `key`, whose memory is used again.
void NameKeyInto(const wchar_t* name, int length, std::wstring& key);
// The blanks NameKey trims, as the file trims them.
inline bool IsNameBlank(wchar_t c) { return (c >= 9 && c <= 13) || c == L' ' || c == 0x1A; }

// Replaces every '.' by '_' (an item path uses dots). True when one was found.
bool ReplaceNameDots(CString& name);

// The pass-th candidate for a taken name: the name without its trailing
// digits, or without trailing underscores plus "_" when it has none,
// followed by pass.
CString NameCandidate(const CString& name, int pass);
// What NameCandidate puts before the number, into `base`.
void NameCandidateBase(const wchar_t* name, int length, std::wstring& base);

// Changes name until taken() says it is free. An empty name always counts
// as taken: an empty section name loses its keys in the file. A taken name
// longer than the file keeps is cut first, so that the number a candidate
// ends in lies within the kept characters. True when the name was changed.
bool MakeNameFree(CString& name, const std::function<bool(const CString&)>& taken);

// The number that a name carries after a prefix of prefixLen characters
// (compared with A-Z folded), read as the C library reads a leading integer.
// -1 when the prefix differs or the number leaves no room for one more,
// so that the next default number never overflows.
int DefaultNameNumber(const CString& name, const CString& prefix);
