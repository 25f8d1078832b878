// CTamselApp: Varnel's application object. Brings up sockets, the per-user
// settings and the single-document template, then opens the active
// configuration of the OPC server unless a file is named on the command line.
#pragma once
#include "framework/WinApp.h"
#include "resources/varnel_ids.h"

class CTamselApp : public CWinApp {
public:
    CTamselApp();
    BOOL InitInstance() override;
    BOOL OnCommandMap(UINT id, CCmdUI* ui) override;

    void OnFileOpenActive();
    void OnAppAbout();

    // Sections of the per-user settings ("Window": sizes of the main window
    // and of the item-name editor).
    static constexpr const wchar_t* m_pszSettingsSection = L"Settings";
    static constexpr const wchar_t* m_pszWindowSection = L"Window";
};

extern CTamselApp theApp;
