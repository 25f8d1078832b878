// The application object and the program's main routine.
//
// A program defines one global object of a CWinApp subclass and calls
//     int WINAPI wWinMain(HINSTANCE h, HINSTANCE, LPWSTR cmd, int show)
//     { return AfxWinMain(h, nullptr, cmd, show); }
// AfxWinMain runs InitInstance; TRUE runs the message loop until the main
// window is gone, FALSE destroys the main window (when there is one) and ends.
//
// Per-user settings: after SetRegistryKey(L"Company") the profile functions
// work on HKEY_CURRENT_USER\Software\Company\<application name>\<section>;
// the application name is string 57344. LoadStdProfileSettings(n) loads the
// recent-file list (section "Recent File List", "File1".."Filen"), which the
// File menu shows in place of ID_FILE_MRU_FILE1.
//
// AfxMessageBox shows every box with the application's name as caption
// through the seam of Seams.h.
#pragma once
#include "framework/Wnd.h"
#include "framework/Document.h"
#include "framework/Handle.h"
#include <vector>

#ifndef HH_DISPLAY_TOPIC
#define HH_DISPLAY_TOPIC 0x0000
#define HH_HELP_CONTEXT 0x000F
#endif

class CCommandLineInfo {
public:
    enum { FileNew, FileOpen, FilePrint, FilePrintTo, FileDDE, AppRegister, AppUnregister, FileNothing = -1 };
    virtual ~CCommandLineInfo() = default;
    // One argument (flags start with '/' or '-'), in order.
    virtual void ParseParam(const wchar_t* param, BOOL flag, BOOL last);
    int m_nShellCommand = FileNew;
    CString m_strFileName;
    BOOL m_bShowSplash = TRUE;
};

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const wchar_t* appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance();
    // The message loop (MessageLoop.h) with OnIdle and PreTranslateMessage.
    virtual int Run();
    // Idle work: toolbar and status bar updates; TRUE asks for more.
    virtual BOOL OnIdle(LONG count);
    virtual BOOL PreTranslateMessage(MSG* msg);
    BOOL OnCommandMap(UINT id, CCmdUI* ui) override;

    // Documents.
    void AddDocTemplate(CDocTemplate* tmpl);
    CDocTemplate* GetDocTemplate() const { return m_templates.empty() ? nullptr : m_templates.front(); }
    // Opens a file (full path); an open document of that path is only activated.
    virtual CDocument* OpenDocumentFile(const wchar_t* path);
    void ParseCommandLine(CCommandLineInfo& info);
    BOOL ProcessShellCommand(CCommandLineInfo& info);
    // File dialog with the template's filter; open: TRUE for Open, FALSE for
    // Save As. FALSE (cancelled) at once while work off the thread runs.
    virtual BOOL DoPromptFileName(CString& fileName, UINT titleId, DWORD flags, BOOL open, CDocTemplate* tmpl);
    void OnFileNew();
    void OnFileOpen();
    void OnAppExit();

    // Settings.
    void SetRegistryKey(const wchar_t* company);
    void LoadStdProfileSettings(UINT maxMRU = 4);
    UINT GetProfileInt(const wchar_t* section, const wchar_t* entry, int def);
    BOOL WriteProfileInt(const wchar_t* section, const wchar_t* entry, int value);
    CString GetProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* def = nullptr);
    BOOL WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value);
    // Opens (creating) HKCU\Software\<key>\<app>\<section>; the caller closes it.
    OwnedKey GetSectionKey(const wchar_t* section);

    // Recent files.
    virtual void AddToRecentFileList(const wchar_t* path);
    void RemoveFromRecentFileList(int index);
    const std::vector<CString>& GetRecentFiles() const { return m_mru; }
    BOOL OnOpenRecentFile(UINT id);

    // Help and boxes.
    void EnableHtmlHelp() { m_bHtmlHelp = TRUE; }
    virtual void HtmlHelp(DWORD_PTR data, UINT cmd = HH_HELP_CONTEXT);
    virtual int DoMessageBox(const wchar_t* prompt, UINT type, UINT helpId);
    void EnableControlContainer() {}  // no ActiveX controls here

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    const wchar_t* m_pszAppName = nullptr;
    const wchar_t* m_pszRegistryKey = nullptr;
    const wchar_t* m_pszProfileName = nullptr;
    const wchar_t* m_pszHelpFilePath = nullptr;
    const wchar_t* m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;

protected:
    std::vector<CDocTemplate*> m_templates;
    std::vector<CString> m_mru;
    UINT m_nMaxMRU = 0;
    BOOL m_bHtmlHelp = FALSE;
    CString m_appName, m_regKey, m_helpPath;
    void SaveRecentFileList();
    friend int AfxWinMain(HINSTANCE, HINSTANCE, LPWSTR, int);
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
int AfxWinMain(HINSTANCE instance, HINSTANCE prev, LPWSTR cmdLine, int show);
int AfxMessageBox(const wchar_t* text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT idPrompt, UINT type = MB_OK, UINT helpId = (UINT)-1);
// Windows Sockets version 1.1; FALSE when it cannot be initialised.
BOOL AfxSocketInit();
