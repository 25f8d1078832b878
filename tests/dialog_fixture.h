// In-process dialog tests: record in, controls, OK, record out.
//
//     CMyDlg dlg; dlg.m_pDev = &dev;                 // template in the test's .rc
//     dlgtest::ModelessDialog d(dlg);                // OnInitDialog has run
//     ASSERT_TRUE(d.Open());
//     EXPECT_EQ(L"Box1", d.Text(IDC_NAME));
//     d.Type(IDC_PORT, L"8080");
//     d.Choose(IDC_HOST, 2);                          // as a user's choice: CBN_SELCHANGE
//     EXPECT_EQ(IDOK, d.Ok());
//     EXPECT_EQ(8080, dev.Port);
//
// ModelessDialog opens the object with CDialog::Create on this thread (the
// same handlers as the modal run; Pump() delivers posted and socket
// messages, Idle() the modal loop's WM_KICKIDLE). ModalRun runs DoModal on a
// thread of its own, for what only the modal loop shows; the test thread
// then touches the dialog only through window messages (the Driver calls,
// raw Win32; not the framework's CWnd helpers, whose temporary objects
// belong to one thread) and reads the record only after Wait/Ok/Cancel.
// The Driver works on any dialog window: it sets and reads controls by id
// with the messages a user's action produces.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "framework/Dialog.h"
#include "tests/pump_until.h"

namespace dlgtest {

using krvtest::PumpUntil;

inline void Pump(DWORD ms = 0) {
    PumpUntil([] { return false; }, ms);
}

inline std::wstring ClassOf(HWND w) {
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    return cls;
}

// Controls by id, through window messages only (works across threads).
class Driver {
public:
    explicit Driver(HWND dlg = nullptr) : hwnd_(dlg) {}
    HWND Hwnd() const { return hwnd_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
    bool Has(int id) const { return Item(id) != nullptr; }

    std::wstring Text(int id) const {
        HWND c = Item(id);
        int n = (int)SendMessageW(c, WM_GETTEXTLENGTH, 0, 0);
        std::wstring s((size_t)n + 1, L'\0');
        n = (int)SendMessageW(c, WM_GETTEXT, (WPARAM)s.size(), (LPARAM)&s[0]);
        s.resize((size_t)(n < 0 ? 0 : n));
        return s;
    }
    std::wstring Caption() const {
        wchar_t s[512] = {};
        GetWindowTextW(hwnd_, s, 512);
        return s;
    }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    bool Visible(int id) const { return (GetWindowLongPtrW(Item(id), GWL_STYLE) & WS_VISIBLE) != 0; }
    bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

    // As typed: an edit notifies EN_CHANGE itself; a combo box's edit field
    // gets CBN_EDITCHANGE as typing sends it.
    void Type(int id, const std::wstring& text) {
        HWND c = Item(id);
        SendMessageW(c, WM_SETTEXT, 0, (LPARAM)text.c_str());
        if (ClassOf(c) == L"ComboBox") Command(id, CBN_EDITCHANGE);
    }
    // The button as a click leaves it: a check box toggles, a radio button
    // is checked (its group's others cleared by the dialog's auto style),
    // then BN_CLICKED. A disabled button does nothing.
    bool Click(int id) {
        HWND c = Item(id);
        if (!c || !IsWindowEnabled(c)) return false;
        LONG_PTR type = GetWindowLongPtrW(c, GWL_STYLE) & BS_TYPEMASK;
        if (type == BS_AUTOCHECKBOX)
            SendMessageW(c, BM_SETCHECK, Checked(id) ? BST_UNCHECKED : BST_CHECKED, 0);
        else if (type == BS_AUTORADIOBUTTON)
            CheckRadioInGroup(c);
        Command(id, BN_CLICKED);
        return true;
    }
    void SetCheck(int id, bool on) { SendMessageW(Item(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }

    // Combo box or list box entries, and a user's choice of one.
    std::vector<std::wstring> Items(int id) const {
        HWND c = Item(id);
        bool combo = ClassOf(c) == L"ComboBox";
        int n = (int)SendMessageW(c, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
        std::vector<std::wstring> out;
        for (int i = 0; i < n; ++i) {
            int len = (int)SendMessageW(c, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, (WPARAM)i, 0);
            std::wstring s((size_t)(len < 0 ? 0 : len) + 1, L'\0');
            SendMessageW(c, combo ? CB_GETLBTEXT : LB_GETTEXT, (WPARAM)i, (LPARAM)&s[0]);
            s.resize((size_t)(len < 0 ? 0 : len));
            out.push_back(s);
        }
        return out;
    }
    int Selection(int id) const {
        HWND c = Item(id);
        return (int)SendMessageW(c, ClassOf(c) == L"ComboBox" ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    }
    void Choose(int id, int index) {
        HWND c = Item(id);
        bool combo = ClassOf(c) == L"ComboBox";
        SendMessageW(c, combo ? CB_SETCURSEL : LB_SETCURSEL, (WPARAM)index, 0);
        Command(id, combo ? CBN_SELCHANGE : LBN_SELCHANGE);
    }
    bool Choose(int id, const std::wstring& text) {
        std::vector<std::wstring> items = Items(id);
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == text) {
                Choose(id, (int)i);
                return true;
            }
        return false;
    }

    // A control's notification as the control sends it.
    void Command(int id, UINT code) { SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)Item(id)); }
    LRESULT Notify(int id, NMHDR& nm) {
        nm.hwndFrom = Item(id);
        nm.idFrom = (UINT_PTR)id;
        return SendMessageW(hwnd_, WM_NOTIFY, (WPARAM)id, (LPARAM)&nm);
    }

    // The dialog's buttons; false when the button is missing or disabled.
    bool PressOk() { return Press(IDOK); }
    bool PressCancel() { return Press(IDCANCEL); }
    bool Press(int id) {
        HWND c = Item(id);
        if (!c || !IsWindowEnabled(c)) return false;
        Command(id, BN_CLICKED);
        return true;
    }
    LRESULT Idle(LONG count) { return SendMessageW(hwnd_, WM_KICKIDLE, MSGF_DIALOGBOX, count); }

protected:
    HWND hwnd_;

private:
    void CheckRadioInGroup(HWND c) {
        // The group runs from the WS_GROUP button before c to the next one.
        HWND first = c;
        while (!(GetWindowLongPtrW(first, GWL_STYLE) & WS_GROUP)) {
            HWND prev = GetWindow(first, GW_HWNDPREV);
            if (!prev) break;
            first = prev;
        }
        for (HWND w = first; w; w = GetWindow(w, GW_HWNDNEXT)) {
            if (w != first && (GetWindowLongPtrW(w, GWL_STYLE) & WS_GROUP)) break;
            if ((GetWindowLongPtrW(w, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                SendMessageW(w, BM_SETCHECK, w == c ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
};

// The dialog object opened modeless on this thread from its own template.
class ModelessDialog : public Driver {
public:
    explicit ModelessDialog(CDialog& dlg, CWnd* parent = nullptr) : dlg_(dlg) {
        if (dlg.Create(dlg.GetTemplateId(), parent)) hwnd_ = dlg.m_hWnd;
    }
    ~ModelessDialog() {
        if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    }
    ModelessDialog(const ModelessDialog&) = delete;
    ModelessDialog& operator=(const ModelessDialog&) = delete;
    bool Open() const { return hwnd_ && IsWindow(hwnd_); }
    bool Ended() const { return dlg_.IsEnded() != FALSE; }
    // The EndDialog result, or -1 while the dialog goes on.
    int Result() const { return Ended() ? dlg_.GetResult() : -1; }
    int Ok() { return PressOk() ? Result() : -1; }
    int Cancel() { return PressCancel() ? Result() : -1; }

private:
    CDialog& dlg_;
};

// DoModal on a thread of its own; the test drives the window from outside.
class ModalRun : public Driver {
public:
    explicit ModalRun(CDialog& dlg, DWORD timeoutMs = 10000) : dlg_(dlg) {
        thread_ = std::thread([this] {
            tid_ = GetCurrentThreadId();
            INT_PTR r = -1;
            try {
                r = dlg_.DoModal();
            } catch (...) {}
            result_ = r;
            done_ = true;
        });
        DWORD start = GetTickCount();
        while (!done_ && !hwnd_ && GetTickCount() - start < timeoutMs) {
            if (DWORD tid = tid_) EnumThreadWindows(tid, &ModalRun::FindDialog, reinterpret_cast<LPARAM>(this));
            if (!hwnd_) PumpStep();
        }
    }
    ~ModalRun() {
        if (!done_ && hwnd_) PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (thread_.joinable()) thread_.join();
    }
    ModalRun(const ModalRun&) = delete;
    ModalRun& operator=(const ModalRun&) = delete;
    bool Open() const { return hwnd_ != nullptr && !done_; }
    // DoModal's result once it has returned; -2 when it has not in time.
    INT_PTR Wait(DWORD timeoutMs = 10000) {
        DWORD start = GetTickCount();
        while (!done_ && GetTickCount() - start < timeoutMs) PumpStep();
        if (!done_) return -2;
        if (thread_.joinable()) thread_.join();
        return result_;
    }
    INT_PTR Ok() { return PressOk() ? Wait() : -2; }
    INT_PTR Cancel() { return PressCancel() ? Wait() : -2; }

private:
    // The dialog may send to windows of the test thread (its owner, a view):
    // answer while waiting.
    static void PumpStep() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    static BOOL CALLBACK FindDialog(HWND w, LPARAM p) {
        auto* self = reinterpret_cast<ModalRun*>(p);
        if (ClassOf(w) == L"#32770" && IsWindowVisible(w)) {
            self->hwnd_ = w;
            return FALSE;
        }
        return TRUE;
    }
    CDialog& dlg_;
    std::thread thread_;
    std::atomic<DWORD> tid_{0};
    std::atomic<bool> done_{false};
    INT_PTR result_ = -1;
};

}  // namespace dlgtest
