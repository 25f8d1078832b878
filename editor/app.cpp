#include "editor/app.h"
#include "editor/doc.h"
#include "editor/main_frame.h"
#include "editor/view.h"
#include "editor/about_dlg.h"
#include "config/device_cfg.h"
#include "framework/Seams.h"

// theCfgStore is constructed before theApp (it lives in an earlier
// initialisation priority), so the active path is known when InitInstance runs.
CTamselApp theApp;

CTamselApp::CTamselApp() : CWinApp(nullptr) { EnableHtmlHelp(); }

BOOL CTamselApp::OnCommandMap(UINT id, CCmdUI* ui) {
    static const CmdEntry<CTamselApp> map[] = {
        {ID_FILE_OPEN_ACTIVE, &CTamselApp::OnFileOpenActive, nullptr},
        {ID_APP_ABOUT, &CTamselApp::OnAppAbout, nullptr},
    };
    return DispatchCommands(this, map, id, ui) || CWinApp::OnCommandMap(id, ui);
}

BOOL CTamselApp::InitInstance() {
    if (!AfxSocketInit()) {
        AfxMessageBox(IDS_SOCKETS_FAILED);
        return FALSE;
    }
    EnableControlContainer();
    SetRegistryKey(L"Korvelin");
    LoadStdProfileSettings(4);
    AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CTamselDoc), RUNTIME_CLASS(CMainFrame),
                                          RUNTIME_CLASS(CTamselView)));
    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (cmdInfo.m_nShellCommand == CCommandLineInfo::FileNew) {
        cmdInfo.m_nShellCommand = CCommandLineInfo::FileOpen;
        cmdInfo.m_strFileName = theCfgStore.GetActivePath();
    }
    if (!ProcessShellCommand(cmdInfo)) return FALSE;
    m_pMainWnd->ShowWindow(SW_SHOW);
    m_pMainWnd->UpdateWindow();
    return TRUE;
}

void CTamselApp::OnFileOpenActive() { OpenDocumentFile(theCfgStore.GetActivePath()); }

void CTamselApp::OnAppAbout() { RunAboutBox(m_pMainWnd); }

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE prev, LPWSTR cmdLine, int show) {
#ifdef KRV_ENV_SEAMS
    EnableEnvironmentSeams();
#endif
    return AfxWinMain(instance, prev, cmdLine, show);
}
