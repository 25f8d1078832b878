#include "framework/WinApp.h"
#include "framework/FrameWnd.h"
#include "framework/MessageLoop.h"
#include "framework/Seams.h"
#include "framework/Answering.h"
#include "framework/ErrorText.h"
#include <winsock2.h>
#include <commdlg.h>
#include <shellapi.h>

static CWinApp* g_app = nullptr;

CWinApp* AfxGetApp() { return g_app; }
CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

CWinApp::CWinApp(const wchar_t* appName) {
    g_app = this;
    if (appName) {
        m_appName = appName;
        m_pszAppName = m_appName;
    }
}

CWinApp::~CWinApp() {
    for (CDocTemplate* t : m_templates) delete t;
    if (g_app == this) g_app = nullptr;
}

int CWinApp::ExitInstance() { return 0; }

BOOL CWinApp::PreTranslateMessage(MSG* msg) {
    // From the target window up to its top-level window.
    for (HWND h = msg->hwnd; h; h = ::GetParent(h)) {
        if (CWnd* w = CWnd::FromHandlePermanent(h))
            if (w->PreTranslateMessage(msg)) return TRUE;
        if (!(::GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD)) break;
    }
    if (m_pMainWnd && m_pMainWnd->m_hWnd && !msg->hwnd) return m_pMainWnd->PreTranslateMessage(msg);
    return FALSE;
}

BOOL CWinApp::OnIdle(LONG count) {
    if (count == 0) {
        try {
            if (auto* f = dynamic_cast<CFrameWnd*>(m_pMainWnd)) f->OnIdleUpdate();
        } catch (...) {}
        CWnd::DeleteTempMap();
    }
    return FALSE;
}

namespace {

class AppLoop : public CMessageLoop {
public:
    explicit AppLoop(CWinApp* app) : app_(app) {}

protected:
    BOOL OnIdle(LONG count) override { return app_->OnIdle(count); }
    BOOL PreTranslate(MSG* msg) override { return app_->PreTranslateMessage(msg); }

private:
    CWinApp* app_;
};

}  // namespace

int CWinApp::Run() {
    AppLoop loop(this);
    loop.Run();
    return ExitInstance();
}

BOOL CWinApp::OnCommandMap(UINT id, CCmdUI* ui) {
    if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_LAST) {
        size_t i = id - ID_FILE_MRU_FILE1;
        if (ui) {
            ui->Enable(i < m_mru.size());
            return TRUE;
        }
        return OnOpenRecentFile(id);
    }
    static const CmdEntry<CWinApp> map[] = {
        {ID_FILE_NEW, &CWinApp::OnFileNew, nullptr},
        {ID_FILE_OPEN, &CWinApp::OnFileOpen, nullptr},
        {ID_APP_EXIT, &CWinApp::OnAppExit, nullptr},
    };
    return DispatchCommands(this, map, id, ui);
}

void CWinApp::AddDocTemplate(CDocTemplate* tmpl) { m_templates.push_back(tmpl); }

CDocument* CWinApp::OpenDocumentFile(const wchar_t* path) {
    CDocTemplate* t = GetDocTemplate();
    if (!t) return nullptr;
    wchar_t full[MAX_PATH * 2];
    DWORD n = ::GetFullPathNameW(path, MAX_PATH * 2, full, nullptr);
    const wchar_t* p = (n && n < MAX_PATH * 2) ? full : path;
    CDocument* doc = t->GetOnlyDocument();
    if (doc && !doc->GetPathName().IsEmpty() &&
        ::CompareStringOrdinal(doc->GetPathName(), -1, p, -1, TRUE) == CSTR_EQUAL) {
        // Already open: only bring it forward.
        if (CView* v = doc->GetFirstView())
            if (CFrameWnd* f = v->GetParentFrame()) {
                if (::IsIconic(f->m_hWnd)) f->ShowWindow(SW_RESTORE);
                ::SetForegroundWindow(f->m_hWnd);
            }
        return doc;
    }
    return t->OpenDocumentFile(p);
}

void CWinApp::OnFileNew() {
    if (CDocTemplate* t = GetDocTemplate()) t->OpenDocumentFile(nullptr);
}

BOOL CWinApp::DoPromptFileName(CString& fileName, UINT titleId, DWORD flags, BOOL open, CDocTemplate* tmpl) {
    CString title, filterName, ext, all;
    title.LoadString(titleId);
    std::wstring filter;
    CString defExt;
    if (tmpl && tmpl->GetDocString(filterName, CDocTemplate::filterName) && !filterName.IsEmpty() &&
        tmpl->GetDocString(ext, CDocTemplate::filterExt) && !ext.IsEmpty()) {
        // ".ini;.cfg" -> "*.ini;*.cfg"
        CString pattern;
        int start = 0;
        for (;;) {
            int semi = ext.Find(L';', start);
            CString one = semi < 0 ? ext.Mid(start) : ext.Mid(start, semi - start);
            if (!one.IsEmpty()) {
                if (!pattern.IsEmpty()) pattern += L";";
                pattern += L"*" + one;
                if (defExt.IsEmpty()) defExt = one.Mid(1);
            }
            if (semi < 0) break;
            start = semi + 1;
        }
        filter += filterName.str();
        filter += L'\0';
        filter += pattern.str();
        filter += L'\0';
    }
    if (!all.LoadString(AFX_IDS_ALLFILTER)) all = L"*.*";
    filter += all.str();
    filter += L'\0';
    filter += L"*.*";
    filter += L'\0';
    filter += L'\0';

    wchar_t buf[MAX_PATH * 2];
    lstrcpynW(buf, fileName, MAX_PATH * 2);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = KrvModalOwner(m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr);
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = buf;
    ofn.nMaxFile = MAX_PATH * 2;
    ofn.lpstrTitle = title.IsEmpty() ? nullptr : (const wchar_t*)title;
    ofn.lpstrDefExt = defExt.IsEmpty() ? nullptr : (const wchar_t*)defExt;
    ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING | (open ? OFN_FILEMUSTEXIST : OFN_OVERWRITEPROMPT);
    // A modal window's loop would run what the work's answering holds back.
    if (IsAnswering()) return FALSE;
    BOOL ok = open ? ::GetOpenFileNameW(&ofn) : ::GetSaveFileNameW(&ofn);
    if (ok) fileName = buf;
    return ok;
}

void CWinApp::OnFileOpen() {
    CString name;
    if (!DoPromptFileName(name, AFX_IDS_OPENFILE, OFN_HIDEREADONLY, TRUE, GetDocTemplate())) return;
    OpenDocumentFile(name);
}

void CWinApp::OnAppExit() {
    if (m_pMainWnd) m_pMainWnd->SendMessage(WM_CLOSE);
}

void CCommandLineInfo::ParseParam(const wchar_t* param, BOOL flag, BOOL last) {
    if (flag) return;  // Varnel knows no options
    if (m_strFileName.IsEmpty()) {
        m_strFileName = param;
        m_nShellCommand = FileOpen;
    }
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) return;
    for (int i = 1; i < argc; ++i) {
        const wchar_t* a = argv[i];
        BOOL flag = (a[0] == L'/' || a[0] == L'-') && a[1];
        info.ParseParam(flag ? a + 1 : a, flag, i == argc - 1);
    }
    ::LocalFree(argv);
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& info) {
    switch (info.m_nShellCommand) {
    case CCommandLineInfo::FileNew: OnFileNew(); return m_pMainWnd != nullptr;
    case CCommandLineInfo::FileOpen: return OpenDocumentFile(info.m_strFileName) != nullptr;
    case CCommandLineInfo::FileNothing: return TRUE;
    default: return FALSE;
    }
}

// ---------------------------------------------------------------- settings

void CWinApp::SetRegistryKey(const wchar_t* company) {
    m_regKey = company;
    m_pszRegistryKey = m_regKey;
    m_pszProfileName = m_pszAppName;
}

OwnedKey CWinApp::GetSectionKey(const wchar_t* section) {
    OwnedKey key;
    if (!m_pszRegistryKey || !m_pszProfileName) return key;
    CString path = CString(L"Software\\") + m_pszRegistryKey + L"\\" + m_pszProfileName + L"\\" + section;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        key.reset();
    return key;
}

UINT CWinApp::GetProfileInt(const wchar_t* section, const wchar_t* entry, int def) {
    OwnedKey key = GetSectionKey(section);
    if (!key) return (UINT)def;
    DWORD value = 0, type = 0, size = sizeof value;
    LONG r = ::RegQueryValueExW(key.get(), entry, nullptr, &type, (BYTE*)&value, &size);
    if (r != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return (UINT)def;
    return value;
}

BOOL CWinApp::WriteProfileInt(const wchar_t* section, const wchar_t* entry, int value) {
    OwnedKey key = GetSectionKey(section);
    if (!key) return FALSE;
    DWORD v = (DWORD)value;
    LONG r = ::RegSetValueExW(key.get(), entry, 0, REG_DWORD, (const BYTE*)&v, sizeof v);
    return r == ERROR_SUCCESS;
}

CString CWinApp::GetProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* def) {
    CString result(def ? def : L"");
    OwnedKey key = GetSectionKey(section);
    if (!key) return result;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.get(), entry, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
        std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
        size = (DWORD)(buf.size() * sizeof(wchar_t));
        if (::RegQueryValueExW(key.get(), entry, nullptr, &type, (BYTE*)&buf[0], &size) == ERROR_SUCCESS)
            result = buf.c_str();
    }
    return result;
}

BOOL CWinApp::WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value) {
    OwnedKey key = GetSectionKey(section);
    if (!key) return FALSE;
    LONG r;
    if (!entry) {
        key.reset();
        CString path = CString(L"Software\\") + m_pszRegistryKey + L"\\" + m_pszProfileName;
        OwnedKey parent;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_WRITE, parent.put()) != ERROR_SUCCESS) return FALSE;
        r = ::RegDeleteKeyW(parent.get(), section);
        return r == ERROR_SUCCESS;
    }
    if (!value)
        r = ::RegDeleteValueW(key.get(), entry);
    else
        r = ::RegSetValueExW(key.get(), entry, 0, REG_SZ, (const BYTE*)value,
                             (DWORD)((wcslen(value) + 1) * sizeof(wchar_t)));
    return r == ERROR_SUCCESS;
}

static const wchar_t kMruSection[] = L"Recent File List";

void CWinApp::LoadStdProfileSettings(UINT maxMRU) {
    m_nMaxMRU = maxMRU;
    m_mru.clear();
    for (UINT i = 0; i < maxMRU; ++i) {
        wchar_t entry[16];
        swprintf(entry, 16, L"File%u", i + 1);
        CString p = GetProfileString(kMruSection, entry);
        if (!p.IsEmpty()) m_mru.push_back(p);
    }
}

void CWinApp::SaveRecentFileList() {
    if (!m_nMaxMRU) return;
    for (UINT i = 0; i < m_nMaxMRU; ++i) {
        wchar_t entry[16];
        swprintf(entry, 16, L"File%u", i + 1);
        if (i < m_mru.size())
            WriteProfileString(kMruSection, entry, m_mru[i]);
        else
            WriteProfileString(kMruSection, entry, nullptr);
    }
}

void CWinApp::AddToRecentFileList(const wchar_t* path) {
    if (!m_nMaxMRU || !path || !*path) return;
    for (size_t i = 0; i < m_mru.size(); ++i)
        if (::CompareStringOrdinal(m_mru[i], -1, path, -1, TRUE) == CSTR_EQUAL) {
            m_mru.erase(m_mru.begin() + (long)i);
            break;
        }
    m_mru.insert(m_mru.begin(), CString(path));
    if (m_mru.size() > m_nMaxMRU) m_mru.resize(m_nMaxMRU);
    SaveRecentFileList();
}

void CWinApp::RemoveFromRecentFileList(int index) {
    if (index < 0 || index >= (int)m_mru.size()) return;
    m_mru.erase(m_mru.begin() + index);
    SaveRecentFileList();
}

BOOL CWinApp::OnOpenRecentFile(UINT id) {
    int i = (int)(id - ID_FILE_MRU_FILE1);
    if (i < 0 || i >= (int)m_mru.size()) return FALSE;
    CString path = m_mru[(size_t)i];
    if (!OpenDocumentFile(path)) {
        // A file that no longer opens leaves the list (unless the user cancelled
        // the save question: then it is still there and still the same entry).
        for (size_t k = 0; k < m_mru.size(); ++k)
            if (m_mru[k] == path && ::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
                RemoveFromRecentFileList((int)k);
                break;
            }
    }
    return TRUE;
}

// ---------------------------------------------------------------- help and boxes

void CWinApp::HtmlHelp(DWORD_PTR data, UINT cmd) {
    KrvHtmlHelp(m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr, m_pszHelpFilePath, cmd, data);
}

static HWND boxOwner() {
    CWnd* main = AfxGetMainWnd();
    return main ? main->m_hWnd : nullptr;
}

int CWinApp::DoMessageBox(const wchar_t* prompt, UINT type, UINT helpId) {
    return KrvMessageBox(boxOwner(), prompt, m_pszAppName ? m_pszAppName : L"", type);
}

int AfxMessageBoxCaptioned(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    CWinApp* app = AfxGetApp();
    if (!caption) caption = (app && app->m_pszAppName) ? app->m_pszAppName : L"";
    return KrvMessageBox(owner, text, caption, type);
}

int AfxMessageBox(const wchar_t* text, UINT type, UINT helpId) {
    CWinApp* app = AfxGetApp();
    if (app) return app->DoMessageBox(text, type, helpId);
    return KrvMessageBox(nullptr, text, L"", type);
}

int AfxMessageBox(UINT idPrompt, UINT type, UINT helpId) {
    return AfxMessageBox(LoadMessageText(idPrompt), type, helpId == (UINT)-1 ? idPrompt : helpId);
}

BOOL AfxSocketInit() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(1, 1), &data) != 0) return FALSE;
    static bool registered = false;
    if (!registered) {
        atexit([] { ::WSACleanup(); });
        registered = true;
    }
    return TRUE;
}

// ---------------------------------------------------------------- main routine

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPWSTR cmdLine, int show) {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    INITCOMMONCONTROLSEX icc{(DWORD)sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                                                    ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    CString::SetResourceModule(instance);
    app->m_hInstance = instance;
    app->m_lpCmdLine = cmdLine;
    app->m_nCmdShow = show;
    if (!app->m_pszAppName) {
        if (!app->m_appName.LoadString(AFX_IDS_APP_TITLE)) {
            wchar_t path[MAX_PATH];
            ::GetModuleFileNameW(nullptr, path, MAX_PATH);
            CString p(path);
            int slash = p.ReverseFind(L'\\');
            p = p.Mid(slash + 1);
            int dot = p.ReverseFind(L'.');
            app->m_appName = dot > 0 ? p.Left(dot) : p;
        }
        app->m_pszAppName = app->m_appName;
    }
    if (!app->m_pszHelpFilePath) {
        wchar_t path[MAX_PATH];
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        CString p(path);
        int dot = p.ReverseFind(L'.');
        if (dot > p.ReverseFind(L'\\')) p = p.Left(dot);
        app->m_helpPath = p + (app->m_bHtmlHelp ? L".chm" : L".hlp");
        app->m_pszHelpFilePath = app->m_helpPath;
    }
    int rc;
    BOOL ok = FALSE;
    try {
        ok = app->InitInstance();
    } catch (...) {
        ok = FALSE;
    }
    if (!ok) {
        if (app->m_pMainWnd && app->m_pMainWnd->m_hWnd) app->m_pMainWnd->DestroyWindow();
        rc = app->ExitInstance();
    } else {
        rc = app->Run();
    }
    return rc;
}
