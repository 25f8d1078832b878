// One way out for message boxes, beeps and help, so tests can answer and
// record them.
//
// In-process tests install a hook: SetMessageBoxHook(fn) answers every box
// (fn gets the text and the MB_ flags incl. the default icon, returns IDYES...),
// SetBeepHook / SetHelpHook record beeps and help calls. nullptr removes it.
//
// Whole-program tests use the environment of the started program:
//   KRV_MSGBOX_LOG=path      every box, beep and help call appends one UTF-8 line:
//                              "BOX <flags hex> <text>"   (\n in text written as \n)
//                              "ANSWER <id>"              after the box returned
//                              "BEEP <type hex>"
//                              "HELP <cmd> <data> <file>"
//   KRV_MSGBOX_ANSWERS=path  one answer per line (1 IDOK, 2 IDCANCEL, 6 IDYES,
//                              7 IDNO, or the words ok cancel yes no); the n-th
//                              box takes line n. A box without its line is shown
//                              for real (a test may then click it).
//   KRV_NO_HELP=1            help is only recorded, never opened.
// The environment is read only after EnableEnvironmentSeams(), which only a
// test build of a program calls (compiled with KRV_ENV_SEAMS).
#pragma once
#include <windows.h>
#include <functional>

using MessageBoxHook = std::function<int(const wchar_t* text, UINT type)>;
using BeepHook = std::function<void(UINT type)>;
using HelpHook = std::function<void(const wchar_t* file, UINT cmd, DWORD_PTR data)>;

void SetMessageBoxHook(MessageBoxHook hook);
void SetBeepHook(BeepHook hook);
void SetHelpHook(HelpHook hook);
void EnableEnvironmentSeams();

// The window a modal window opened now (box, dialog, file dialog) is owned
// by, starting from the window it is opened for: that window's top-level
// window, or the dialog that runs over it; never a passing popup such as a
// balloon note's carrier or a tip, which would take the modal window with it.
HWND KrvModalOwner(HWND from);

// Shows a box with the given caption, owned by KrvModalOwner(owner); adds
// the default icon when none is given (exclamation for OK and OK/Cancel,
// question for Yes/No(/Cancel)). While this thread answers during work off
// it (Answering.h), no box is shown (nor asked of a hook): IDCANCEL.
int KrvMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
void KrvMessageBeep(UINT type);
// HTML help through hhctrl.ocx, loaded on first use; a missing file shows nothing.
HWND KrvHtmlHelp(HWND caller, const wchar_t* file, UINT cmd, DWORD_PTR data);
