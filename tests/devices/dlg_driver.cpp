#include "dlg_driver.h"
#include "framework/Seams.h"
#include "tests/screen_bmp.h"
#include <thread>

namespace dlgtest {

void Recorder::Install() {
    SetBeepHook([this](UINT t) {
        std::lock_guard<std::mutex> g(lock);
        beeps.push_back(t);
    });
    SetHelpHook([this](const wchar_t*, UINT, DWORD_PTR data) {
        std::lock_guard<std::mutex> g(lock);
        help.push_back(data);
    });
}
void Recorder::Remove() {
    SetBeepHook(nullptr);
    SetHelpHook(nullptr);
}
std::vector<UINT> Recorder::Beeps() {
    std::lock_guard<std::mutex> g(lock);
    return beeps;
}
std::vector<DWORD_PTR> Recorder::Help() {
    std::lock_guard<std::mutex> g(lock);
    return help;
}
void Recorder::Clear() {
    std::lock_guard<std::mutex> g(lock);
    beeps.clear();
    help.clear();
}

namespace {
struct Find {
    DWORD thread;
    HWND found;
};
BOOL CALLBACK EnumDialog(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<Find*>(lp);
    wchar_t cls[16];
    GetClassNameW(h, cls, 16);
    if (IsWindowVisible(h) && lstrcmpW(cls, L"#32770") == 0) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

bool WaitFor(const std::function<bool()>& cond, DWORD ms) {
    DWORD t0 = GetTickCount();
    for (;;) {
        if (cond()) return true;
        if (GetTickCount() - t0 > ms) return false;
        Sleep(5);
    }
}

INT_PTR RunModal(CDialog& dlg, const std::function<void(HWND)>& script) {
    DWORD ui = GetCurrentThreadId();
    std::thread user([&] {
        Find f{ui, nullptr};
        WaitFor(
            [&] {
                EnumThreadWindows(ui, EnumDialog, (LPARAM)&f);
                return f.found != nullptr;
            },
            10000);
        if (!f.found) return;
        try {
            script(f.found);
        } catch (...) {}
        if (IsWindow(f.found) && IsWindowVisible(f.found)) PostMessageW(f.found, WM_COMMAND, IDCANCEL, 0);
    });
    INT_PTR r = dlg.DoModal();
    user.join();
    return r;
}

std::wstring Text(HWND dlg, int id) {
    wchar_t t[1024] = {0};
    SendMessageW(GetDlgItem(dlg, id), WM_GETTEXT, 1024, (LPARAM)t);
    return t;
}

void SetText(HWND dlg, int id, const std::wstring& text) {
    SendMessageW(GetDlgItem(dlg, id), WM_SETTEXT, 0, (LPARAM)text.c_str());
}

bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }
bool Checked(HWND dlg, int id) { return SendMessageW(GetDlgItem(dlg, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Click(HWND dlg, int id) { SendMessageW(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }

void Press(HWND dlg, int id) {
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id));
    WaitFor([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); });
}

int Selection(HWND dlg, int comboId) { return (int)SendDlgItemMessageW(dlg, comboId, CB_GETCURSEL, 0, 0); }

void Choose(HWND dlg, int comboId, int index) {
    HWND c = GetDlgItem(dlg, comboId);
    SendMessageW(c, CB_SETCURSEL, (WPARAM)index, 0);
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), (LPARAM)c);
}

std::vector<std::wstring> Entries(HWND dlg, int comboId) {
    std::vector<std::wstring> out;
    HWND c = GetDlgItem(dlg, comboId);
    int n = (int)SendMessageW(c, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        wchar_t t[256] = {0};
        SendMessageW(c, CB_GETLBTEXT, (WPARAM)i, (LPARAM)t);
        out.push_back(t);
    }
    return out;
}

void Focus(HWND dlg, int id) {
    SetForegroundWindow(dlg);
    SendMessageW(dlg, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dlg, id), TRUE);
}

void Screenshot(const wchar_t* name) {
    wchar_t dir[MAX_PATH];
    if (!GetEnvironmentVariableW(L"KRV_SHOT_DIR", dir, MAX_PATH)) return;
    Sleep(300);  // a look for a person: let the dialog paint
    krvtest::SaveScreenBmp(std::wstring(dir) + L"\\" + name + L".bmp");
}

}  // namespace dlgtest
