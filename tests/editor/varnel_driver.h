// Runs Varnel.exe as a whole program and drives it from outside: commands as
// WM_COMMAND to its main window, the list rows read across the process
// boundary, message boxes answered and recorded through the environment the
// program's seam reads (KRV_MSGBOX_ANSWERS, KRV_MSGBOX_LOG).
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

namespace varnel {

// A Unix path of the build tree as Wine's Z: drive sees it.
std::wstring WinePath(const char* unixPath);
// Folder of a fresh copy of Varnel.exe with the stand-ins beside it.
std::wstring PrepareProgramFolder();
// The active configuration of this prefix; moved away for a test, put back after.
std::wstring ActivePath();
// The active configuration as a UTF-16 profile of this text, its folder made
// first (a prefix where Varnel never ran has none); false, and the test
// failed, when it did not reach the disk.
bool WriteActive(const std::wstring& text);

// Keeps the active configuration as it was: what stands there when this is
// made is written back when it goes, or the file removed if there was none.
class KeptActive {
public:
    KeptActive();
    ~KeptActive();
    KeptActive(const KeptActive&) = delete;
    KeptActive& operator=(const KeptActive&) = delete;

private:
    std::wstring m_path;
    std::string m_saved;
    bool m_had = false;
};

// Texts of another process's controls (WM_GETTEXT crosses processes).
std::wstring WindowText(HWND h);
std::wstring ItemText(HWND dlg, int id);
// Types text into a combo box's edit field as keystrokes would (the edit
// field's change notifications follow).
void TypeInto(HWND dlg, int comboId, const std::wstring& text);
// Chooses a list entry of a combo box with the dialog's selection notification.
void ChooseEntry(HWND dlg, int comboId, const std::wstring& entry);
// Clicks a dialog button and waits until the dialog is gone.
void Click(HWND dlg, int id);

// The whole screen as a 24-bit BMP file (for a look after the run).
bool SaveScreenshot(const std::wstring& path);

struct Box {
    unsigned flags;
    std::wstring text;
};

class Program {
public:
    Program() = default;
    Program(const Program&) = delete;
    ~Program();
    // Starts the program with these arguments (a quoted file, or nothing) and
    // the answers for its message boxes in order ("yes", "no", "ok", "cancel").
    bool Start(const std::wstring& args, const std::vector<std::string>& answers = {});
    // Waits for the visible main window (false: the program ended first or timed out).
    bool WaitWindow(DWORD ms = 20000);
    // Waits for the process to end; its exit code, or -1 on time-out.
    int WaitExit(DWORD ms = 20000);

    HWND Main() const { return m_main; }
    HWND List() const;
    std::wstring Title() const;
    // A command through the main window (sent: returns after it ran).
    void Command(UINT id);
    // A command that opens a modal dialog: posted; then wait for the dialog.
    void PostCommand(UINT id);
    HWND WaitDialog(DWORD ms = 10000) const;
    // State of a toolbar button after the program's idle update (menus of
    // another process cannot be read under Wine; the toolbar can).
    bool ButtonEnabled(UINT id);
    bool ButtonChecked(UINT id);

    int Rows() const;
    // The row whose OPC name (column 1) is name, or -1.
    int RowOf(const std::wstring& name) const;
    std::wstring Cell(int row, int col) const;
    int Image(int row) const;
    void Select(int row, bool on);
    void SelectOnly(int row);
    int SelectedCount() const;

    std::vector<Box> Boxes() const;
    DWORD Pid() const { return m_pi.dwProcessId; }
    // A visible window of the program of this class, or nullptr.
    HWND FindVisible(const wchar_t* cls) const;
    // Lets the program's queue run dry (a round trip through its window).
    void Sync() const;

    std::wstring folder;

private:
    PROCESS_INFORMATION m_pi{};
    HWND m_main = nullptr;
    std::wstring m_log, m_answers;
    void* Remote(size_t size) const;
};

}  // namespace varnel
