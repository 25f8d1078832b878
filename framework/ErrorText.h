// Texts for error codes of the system, of Windows Sockets and of WinINet.
//
//   CString t = SystemErrorText(ERROR_ACCESS_DENIED);  // the system's text, "" when it has none
//   CString s; FormatSocketError(10061, s);             // "[10061] Verbindung abgewiesen"
//   CString w = WinInetErrorText(12031);                 // wininet.dll's text, or our own
#pragma once
#include "framework/String.h"

// The system's message text for the code as FormatMessage gives it (with its
// line break); empty when the system has none.
CString SystemErrorText(DWORD code);

// "[%d] %s" with the code's short German text from the string table
// (entries 512 to 518), "???" for every other code.
void FormatSocketError(int code, CString& text);

// The string-table text of a message; its number where the table has no
// such entry, so that a box never shows empty.
CString LoadMessageText(UINT id);

// wininet.dll's text for the code; where it has none (Wine has no text for
// some codes, 12031 and 12045 among them) a German text of our own, and for
// an unknown code the number.
CString WinInetErrorText(DWORD code);
