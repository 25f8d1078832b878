// Drives a real modal dialog of this process: DoModal runs on the test's
// thread with the program's own modal loop, a second thread plays the user
// (control texts, clicks, selections with their notifications, real keys
// through SendInput) and waits for each effect. Beeps and help calls are
// recorded through the seams.
#pragma once
#include "framework/Dialog.h"
#include "tests/send_input.h"
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace dlgtest {

struct Recorder {
    std::mutex lock;
    std::vector<UINT> beeps;
    std::vector<DWORD_PTR> help;
    void Install();
    void Remove();
    std::vector<UINT> Beeps();
    std::vector<DWORD_PTR> Help();
    void Clear();
};

// Runs dlg modally; script gets the dialog window once it is shown and ends
// it (OK or Cancel). A dialog still open after the script is cancelled.
INT_PTR RunModal(CDialog& dlg, const std::function<void(HWND)>& script);

std::wstring Text(HWND dlg, int id);
void SetText(HWND dlg, int id, const std::wstring& text);
bool Enabled(HWND dlg, int id);
bool Checked(HWND dlg, int id);
// A click as the user makes it (the button's own notification follows).
void Click(HWND dlg, int id);
// Ends the dialog through its button; waits until it is gone.
void Press(HWND dlg, int id);
int Selection(HWND dlg, int comboId);
// Chooses a list entry with the selection notification of a user's choice.
void Choose(HWND dlg, int comboId, int index);
std::vector<std::wstring> Entries(HWND dlg, int comboId);
// Real key strokes to the focused control of the dialog brought to front.
void Focus(HWND dlg, int id);
using krvtest::Key;
// Waits (bounded) until cond holds; false when it never did.
bool WaitFor(const std::function<bool()>& cond, DWORD ms = 5000);
// The whole screen as a BMP when KRV_SHOT_DIR names a folder.
void Screenshot(const wchar_t* name);

}  // namespace dlgtest
