#include "framework/Seams.h"
#include "framework/Answering.h"
#include <cstdio>
#include <cwchar>
#include <cstring>
#include <cstdlib>
#include <string>

static MessageBoxHook g_boxHook;
static BeepHook g_beepHook;
static HelpHook g_helpHook;
static int g_boxCount = 0;
static bool g_envSeams = false;

void SetMessageBoxHook(MessageBoxHook hook) { g_boxHook = std::move(hook); }
void SetBeepHook(BeepHook hook) { g_beepHook = std::move(hook); }
void SetHelpHook(HelpHook hook) { g_helpHook = std::move(hook); }

void EnableEnvironmentSeams() { g_envSeams = true; }

// Empty unless a test build switched the environment seams on: the shipped
// program must not let its environment answer its questions.
static std::wstring envVar(const wchar_t* name) {
    if (!g_envSeams) return std::wstring();
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return std::wstring();
    return std::wstring(buf, n);
}

static std::string toUtf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

static void logLine(const std::wstring& line) {
    std::wstring path = envVar(L"KRV_MSGBOX_LOG");
    if (path.empty()) return;
    FILE* f = _wfopen(path.c_str(), L"ab");
    if (!f) return;
    std::string s = toUtf8(line);
    s += '\n';
    fwrite(s.data(), 1, s.size(), f);
    fclose(f);
}

static std::wstring escaped(const wchar_t* text) {
    std::wstring out;
    for (const wchar_t* p = text ? text : L""; *p; ++p) {
        if (*p == L'\n')
            out += L"\\n";
        else if (*p == L'\r')
            out += L"\\r";
        else if (*p == L'\\')
            out += L"\\\\";
        else
            out += *p;
    }
    return out;
}

// The n-th line of the answers file, 0 when there is none.
static int scriptedAnswer(int n) {
    std::wstring path = envVar(L"KRV_MSGBOX_ANSWERS");
    if (path.empty()) return 0;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return 0;
    char line[64];
    int answer = 0;
    for (int i = 0; i <= n && fgets(line, sizeof line, f); ++i) {
        if (i < n) {
            // a line longer than the buffer still counts once
            while (!strchr(line, '\n') && fgets(line, sizeof line, f)) {}
            continue;
        }
        char* e = line + strlen(line);
        while (e > line && (e[-1] == '\n' || e[-1] == '\r' || e[-1] == ' ')) *--e = 0;
        if (!_stricmp(line, "ok"))
            answer = IDOK;
        else if (!_stricmp(line, "cancel"))
            answer = IDCANCEL;
        else if (!_stricmp(line, "yes"))
            answer = IDYES;
        else if (!_stricmp(line, "no"))
            answer = IDNO;
        else
            answer = atoi(line);
    }
    fclose(f);
    return answer;
}

// A modal window owned by a passing popup (a balloon note's carrier, a tip)
// dies with it, before the user could answer: such popups hand the window on
// to their own owner, the frame or the dialog they belong to. A popup owned
// by nothing is a window of its own.
static bool IsPassingPopup(HWND h) {
    LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
    if (!(style & WS_POPUP) || (style & WS_CAPTION) == WS_CAPTION || !GetWindow(h, GW_OWNER)) return false;
    wchar_t cls[32] = {0};
    GetClassNameW(h, cls, 32);
    return lstrcmpW(cls, L"#32770") != 0;
}

static HWND StableOwner(HWND owner) {
    for (int depth = 0; owner && IsWindow(owner) && depth < 16 && IsPassingPopup(owner); ++depth)
        owner = GetWindow(owner, GW_OWNER);
    return owner && IsWindow(owner) && !IsPassingPopup(owner) ? owner : nullptr;
}

HWND KrvModalOwner(HWND from) {
    if (!from || !IsWindow(from)) return nullptr;
    HWND owner = StableOwner(GetAncestor(from, GA_ROOT));
    if (!owner) return nullptr;
    // A dialog running over the window takes the new one on top of it; a
    // hidden one is on its way out.
    HWND popup = GetLastActivePopup(owner);
    if (popup && popup != owner && IsWindowEnabled(popup) && IsWindowVisible(popup))
        if (HWND stable = StableOwner(popup)) owner = stable;
    return owner;
}

int KrvMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    // Its loop would run inside work off the windows' thread what the
    // answering holds back: cancelled, unasked.
    if (IsAnswering()) return IDCANCEL;
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL: type |= MB_ICONEXCLAMATION; break;
        case MB_YESNO:
        case MB_YESNOCANCEL: type |= MB_ICONQUESTION; break;
        default: break;
        }
    }
    wchar_t head[32];
    swprintf(head, 32, L"BOX %04x ", type);
    logLine(head + escaped(text));
    int n = g_boxCount++;
    int answer;
    if (g_boxHook)
        answer = g_boxHook(text ? text : L"", type);
    else if ((answer = scriptedAnswer(n)) == 0)
        answer = MessageBoxW(KrvModalOwner(owner), text, caption, type);
    swprintf(head, 32, L"ANSWER %d", answer);
    logLine(head);
    return answer;
}

void KrvMessageBeep(UINT type) {
    wchar_t line[32];
    swprintf(line, 32, L"BEEP %x", type);
    logLine(line);
    if (g_beepHook)
        g_beepHook(type);
    else
        MessageBeep(type);
}

typedef HWND(WINAPI* HtmlHelpFn)(HWND, LPCWSTR, UINT, DWORD_PTR);

HWND KrvHtmlHelp(HWND caller, const wchar_t* file, UINT cmd, DWORD_PTR data) {
    wchar_t head[64];
    swprintf(head, 64, L"HELP %u %lu ", cmd, (unsigned long)data);
    logLine(head + std::wstring(file ? file : L""));
    if (g_helpHook) {
        g_helpHook(file ? file : L"", cmd, data);
        return nullptr;
    }
    if (!envVar(L"KRV_NO_HELP").empty()) return nullptr;
    if (!file || GetFileAttributesW(file) == INVALID_FILE_ATTRIBUTES) return nullptr;
    static HMODULE hh = LoadLibraryW(L"hhctrl.ocx");
    if (!hh) return nullptr;
    auto fn = (HtmlHelpFn)(void*)GetProcAddress(hh, "HtmlHelpW");
    return fn ? fn(caller, file, cmd, data) : nullptr;
}
