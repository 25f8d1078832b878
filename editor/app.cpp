#include "editor/app.h"
#include "editor/doc.h"
#include "editor/main_frame.h"
#include "editor/view.h"
#include "editor/about_dlg.h"
#include "config/device_cfg.h"
#include "devices/more_dialogs.h"

// theCfgStore is constructed before theApp (it lives in an earlier
// initialisation priority), so the active path is known when InitInstance runs.
CTamselApp theApp;

CTamselApp::CTamselApp() : CWinApp(nullptr) { EnableHtmlHelp(); }

BOOL CTamselApp::OnCommandMap(UINT id, CCmdUI* ui) {
    static const CmdEntry<CTamselApp> map[] = {
        {appid::FileOpenActive, &CTamselApp::OnFileOpenActive, nullptr},
        {ID_APP_ABOUT, &CTamselApp::OnAppAbout, nullptr},
    };
    return DispatchCommands(this, map, id, ui) || CWinApp::OnCommandMap(id, ui);
}

BOOL CTamselApp::InitInstance() {
    if (!AfxSocketInit()) {
        AfxMessageBox(appid::StrSocketsFailed);
        return FALSE;
    }
    EnableControlContainer();
    InstallMoreDeviceDialogs();
    SetRegistryKey(L"Korvelin");
    LoadStdProfileSettings(4);
    AddDocTemplate(new CSingleDocTemplate(appid::DocTemplate, RUNTIME_CLASS(CTamselDoc), RUNTIME_CLASS(CMainFrame),
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
    return AfxWinMain(instance, prev, cmdLine, show);
}
