// CMainFrame: Varnel's main window, a single-document frame with toolbar
// and status bar around the device list. Keeps its size across runs and
// shows the balloon notes at the toolbar's Save button.
#pragma once
#include "framework/FrameWnd.h"
#include "framework/Handle.h"

class CMainFrame : public CFrameWnd {
public:
    CMainFrame() = default;

    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    int OnCreate(LPCREATESTRUCTW cs) override;
    void OnClose() override;
    void OnDestroy() override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

    // A balloon note (string ids) pointing at the centre of the Save button.
    void ShowSaveBalloon(UINT messageId, UINT titleId, UINT icon);

protected:
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;

private:
    OwnedGdi<HBITMAP> m_menuBitmap;
    void MarkServiceMenuItem();
    void SaveWindowSize();
};
