// CTamselApp: Varnel's application object. Brings up sockets, the per-user
// settings and the single-document template, then opens the active
// configuration of the OPC server unless a file is named on the command line.
#pragma once
#include "framework/WinApp.h"

class CTamselApp : public CWinApp {
public:
    CTamselApp();
    BOOL InitInstance() override;
    BOOL OnCommandMap(UINT id, CCmdUI* ui) override;

    void OnFileOpenActive();
    void OnAppAbout();
    void OnUpdateAppAbout(CCmdUI* ui);

    const wchar_t* const m_pszSettingsSection = L"Settings";
    const wchar_t* const m_pszWindowSection = L"Window";
};

extern CTamselApp theApp;

// The about box, when its module is linked (the command is disabled otherwise).
using AboutBoxRunner = void (*)(CWnd* parent);
void SetAboutBoxRunner(AboutBoxRunner runner);

namespace appid {
constexpr UINT DocTemplate = 128, FileOpenActive = 32814, StrSocketsFailed = 225;
}
