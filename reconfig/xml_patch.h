// Patch of an older device's own XML configuration for the OPC server: a
// line-based substitution that counts nesting by lines, not an XML parser.
// It assumes one tag per line, or an element with its text and closing tag
// on one line. Bytes are copied unchanged except the texts replaced.
//
// Settings: "Enable_BINARY_1" = "ON"; "LocalPort" of "TcpServer1" = port;
// under "TcpServer1"/"ApplicationMode1" the chosen mode "ON" ("OPC_Device"
// with password login, "Compatible_Vexxx" without), the others "OFF"; two
// levels under "OutputMode" "Binary_1" "ON", the others "OFF".
//
// A first pass writes a reduced copy: of the elements at level 4 only
// "BasicSettings" and "OutputMode" stay. When that copy lacks a setting, a
// second pass writes the whole file patched.
//
//   CPatchResult r = PatchXmlFile(backup, temp, 49153, passwordLogin);
#pragma once
#include "reconfig/json_patch.h"

CPatchResult PatchXmlFile(const wchar_t* src, const wchar_t* dst, int port, bool passwordLogin);

// Writes the line of len bytes with the text between its first tag and the
// following "</" replaced; true when the new text differs from the old one.
// A line without "<", ">" and a following "</" is written unchanged.
bool ReplaceXmlValue(FILE* out, const char* line, size_t len, const char* value);
