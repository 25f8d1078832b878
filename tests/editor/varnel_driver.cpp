#include "varnel_driver.h"
#include "tests/screen_bmp.h"
#include "tests/config/cfg_test_util.h"
#include <cstdio>
#include <fstream>
#include <sstream>

namespace varnel {

namespace {

std::wstring Widen(const char* s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s, -1, &w[0], n);
    return w;
}

std::wstring TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    for (;;) {
        std::wstring p = std::wstring(base) + L"varnel_run" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                         std::to_wstring(++counter) + L"\\";
        if (CreateDirectoryW(p.c_str(), nullptr)) return p;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "no program folder, error " << GetLastError();
            return p;
        }
    }
}

struct FindMain {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK EnumMain(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<FindMain*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == f->pid && IsWindowVisible(h) && GetMenu(h)) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}

struct FindClass {
    DWORD pid;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK EnumClass(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<FindClass*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t cls[64];
    GetClassNameW(h, cls, 64);
    if (pid == f->pid && IsWindowVisible(h) && lstrcmpiW(cls, f->cls) == 0) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::wstring WinePath(const char* unixPath) {
    std::wstring p = L"Z:" + Widen(unixPath);
    for (auto& c : p)
        if (c == L'/') c = L'\\';
    return p;
}

std::wstring PrepareProgramFolder() {
    std::wstring dir = TempFolder();
    const std::pair<const char*, const wchar_t*> copies[] = {
        {VARNEL_EXE, L"Varnel.exe"}, {TOLVANE_STANDIN, L"Tolvane.exe"}, {FENNICK_STANDIN, L"Fennick.exe"}};
    for (const auto& c : copies)
        if (!CopyFileW(WinePath(c.first).c_str(), (dir + c.second).c_str(), FALSE))
            ADD_FAILURE() << "not copied, error " << GetLastError() << ": " << c.first;
    return dir;
}

bool SaveScreenshot(const std::wstring& path) {
    Sleep(300);  // let the program paint
    return krvtest::SaveScreenBmp(path);
}

std::wstring ActivePath() {
    wchar_t path[MAX_PATH];
    GetEnvironmentVariableW(L"ALLUSERSPROFILE", path, MAX_PATH);
    // C:\ProgramData under Wine; the store asks the shell for the same folder.
    return std::wstring(path) + L"\\Korvelin\\Dravoline.ini";
}

bool WriteActive(const std::wstring& text) {
    const std::wstring active = ActivePath();
    return cfgtest::MakeFolder(active.substr(0, active.rfind(L'\\'))) && cfgtest::WriteProfile(active, text);
}

KeptActive::KeptActive() : m_path(ActivePath()) {
    m_had = GetFileAttributesW(m_path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (m_had) m_saved = cfgtest::ReadBytes(m_path);
}

KeptActive::~KeptActive() {
    if (m_had)
        cfgtest::WriteBytes(m_path, m_saved);
    else
        DeleteFileW(m_path.c_str());
}

Program::~Program() {
    if (m_pi.hProcess) {
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_pi.hProcess, 9);
        WaitForSingleObject(m_pi.hProcess, 5000);
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

bool Program::Start(const std::wstring& args, const std::vector<std::string>& answers) {
    if (folder.empty()) folder = PrepareProgramFolder();
    m_log = folder + L"boxes.log";
    m_answers = folder + L"answers.txt";
    DeleteFileW(m_log.c_str());
    std::string text;
    for (auto& s : answers) text += s + "\n";
    if (!cfgtest::WriteBytes(m_answers, text)) return false;
    SetEnvironmentVariableW(L"KRV_MSGBOX_LOG", m_log.c_str());
    SetEnvironmentVariableW(L"KRV_MSGBOX_ANSWERS", m_answers.c_str());
    SetEnvironmentVariableW(L"KRV_NO_HELP", L"1");
    std::wstring cmd = L"\"" + folder + L"Varnel.exe\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    return CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &m_pi) !=
           FALSE;
}

bool Program::WaitWindow(DWORD ms) {
    DWORD t0 = GetTickCount();
    while (GetTickCount() - t0 < ms) {
        FindMain f{m_pi.dwProcessId, nullptr};
        EnumWindows(EnumMain, (LPARAM)&f);
        if (f.found) {
            m_main = f.found;
            Sync();
            return true;
        }
        if (WaitForSingleObject(m_pi.hProcess, 50) == WAIT_OBJECT_0) return false;
    }
    return false;
}

int Program::WaitExit(DWORD ms) {
    if (WaitForSingleObject(m_pi.hProcess, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(m_pi.hProcess, &code);
    return (int)code;
}

void Program::Sync() const {
    DWORD_PTR r;
    if (m_main) SendMessageTimeoutW(m_main, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &r);
}

HWND Program::List() const { return FindWindowExW(m_main, nullptr, WC_LISTVIEWW, nullptr); }

std::wstring Program::Title() const {
    wchar_t t[512] = {0};
    DWORD_PTR r;
    SendMessageTimeoutW(m_main, WM_GETTEXT, 512, (LPARAM)t, SMTO_NORMAL, 5000, &r);
    return t;
}

void Program::PostCommand(UINT id) { PostMessageW(m_main, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

HWND Program::WaitDialog(DWORD ms) const {
    DWORD t0 = GetTickCount();
    do {
        if (HWND d = FindVisible(L"#32770")) {
            Sleep(100);
            return d;
        }
        Sleep(30);
    } while (GetTickCount() - t0 < ms);
    return nullptr;
}

std::wstring WindowText(HWND h) {
    wchar_t t[1024] = {0};
    DWORD_PTR r;
    SendMessageTimeoutW(h, WM_GETTEXT, 1024, (LPARAM)t, SMTO_NORMAL, 5000, &r);
    return t;
}

std::wstring ItemText(HWND dlg, int id) { return WindowText(GetDlgItem(dlg, id)); }

void TypeInto(HWND dlg, int comboId, const std::wstring& text) {
    HWND combo = GetDlgItem(dlg, comboId);
    HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr);
    DWORD_PTR r;
    SendMessageTimeoutW(edit, EM_SETSEL, 0, -1, SMTO_NORMAL, 5000, &r);
    for (wchar_t c : text) SendMessageTimeoutW(edit, WM_CHAR, c, 1, SMTO_NORMAL, 5000, &r);
}

void ChooseEntry(HWND dlg, int comboId, const std::wstring& entry) {
    HWND combo = GetDlgItem(dlg, comboId);
    DWORD_PTR index = 0, r;
    // the string is copied into the other process for this message
    SendMessageTimeoutW(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)entry.c_str(), SMTO_NORMAL, 5000, &index);
    SendMessageTimeoutW(combo, CB_SETCURSEL, index, 0, SMTO_NORMAL, 5000, &r);
    SendMessageTimeoutW(dlg, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), (LPARAM)combo, SMTO_NORMAL, 5000, &r);
}

void Click(HWND dlg, int id) {
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id));
    for (int i = 0; i < 200 && IsWindow(dlg) && IsWindowVisible(dlg); ++i) Sleep(25);
}

void Program::Command(UINT id) {
    DWORD_PTR r;
    SendMessageTimeoutW(m_main, WM_COMMAND, MAKEWPARAM(id, 0), 0, SMTO_NORMAL, 30000, &r);
    Sync();
}

namespace {
UINT ButtonState(const Program& p, UINT id) {
    // The toolbar follows at the program's next idle time. A posted message
    // makes its loop take a turn (sent ones are handled without one).
    PostMessageW(p.Main(), WM_NULL, 0, 0);
    Sleep(250);
    p.Sync();
    HWND tb = FindWindowExW(p.Main(), nullptr, TOOLBARCLASSNAMEW, nullptr);
    LRESULT s = SendMessageW(tb, TB_GETSTATE, id, 0);
    return s == -1 ? 0 : (UINT)s;
}
}  // namespace

bool Program::ButtonEnabled(UINT id) { return (ButtonState(*this, id) & TBSTATE_ENABLED) != 0; }

bool Program::ButtonChecked(UINT id) { return (ButtonState(*this, id) & TBSTATE_CHECKED) != 0; }

int Program::Rows() const { return (int)SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0); }

void* Program::Remote(size_t size) const {
    return VirtualAllocEx(m_pi.hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

std::wstring Program::Cell(int row, int col) const {
    const size_t chars = 512;
    char* mem = (char*)Remote(sizeof(LVITEMW) + chars * sizeof(wchar_t));
    LVITEMW it{};
    it.iSubItem = col;
    it.cchTextMax = (int)chars;
    it.pszText = (LPWSTR)(mem + sizeof(LVITEMW));
    WriteProcessMemory(m_pi.hProcess, mem, &it, sizeof it, nullptr);
    SendMessageW(List(), LVM_GETITEMTEXTW, row, (LPARAM)mem);
    wchar_t text[chars] = {0};
    ReadProcessMemory(m_pi.hProcess, mem + sizeof(LVITEMW), text, sizeof text, nullptr);
    VirtualFreeEx(m_pi.hProcess, mem, 0, MEM_RELEASE);
    text[chars - 1] = 0;
    return text;
}

int Program::Image(int row) const {
    char* mem = (char*)Remote(sizeof(LVITEMW));
    LVITEMW it{};
    it.mask = LVIF_IMAGE;
    it.iItem = row;
    WriteProcessMemory(m_pi.hProcess, mem, &it, sizeof it, nullptr);
    SendMessageW(List(), LVM_GETITEMW, 0, (LPARAM)mem);
    ReadProcessMemory(m_pi.hProcess, mem, &it, sizeof it, nullptr);
    VirtualFreeEx(m_pi.hProcess, mem, 0, MEM_RELEASE);
    return it.iImage;
}

void Program::Select(int row, bool on) {
    char* mem = (char*)Remote(sizeof(LVITEMW));
    LVITEMW it{};
    it.stateMask = LVIS_SELECTED;
    it.state = on ? LVIS_SELECTED : 0;
    WriteProcessMemory(m_pi.hProcess, mem, &it, sizeof it, nullptr);
    SendMessageW(List(), LVM_SETITEMSTATE, row, (LPARAM)mem);
    VirtualFreeEx(m_pi.hProcess, mem, 0, MEM_RELEASE);
    Sync();
}

void Program::SelectOnly(int row) {
    Select(-1, false);
    Select(row, true);
}

int Program::SelectedCount() const { return (int)SendMessageW(List(), LVM_GETSELECTEDCOUNT, 0, 0); }

std::vector<Box> Program::Boxes() const {
    std::vector<Box> out;
    std::ifstream in(m_log.c_str(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 4, "BOX ") != 0) continue;
        Box b{};
        b.flags = (unsigned)strtoul(line.c_str() + 4, nullptr, 16);
        size_t sp = line.find(' ', 4);
        std::string text = sp == std::string::npos ? "" : line.substr(sp + 1);
        std::string unesc;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
                unesc += '\n';
                ++i;
            } else
                unesc += text[i];
        }
        b.text = Widen(unesc.c_str());
        out.push_back(b);
    }
    return out;
}

HWND Program::FindVisible(const wchar_t* cls) const {
    FindClass f{m_pi.dwProcessId, cls, nullptr};
    EnumWindows(EnumClass, (LPARAM)&f);
    return f.found;
}

int Program::RowOf(const std::wstring& name) const {
    for (int r = 0; r < Rows(); ++r)
        if (Cell(r, 1) == name) return r;
    return -1;
}

}  // namespace varnel
