// Frame, views, bars and the list control.
//
// CFrameWnd::LoadFrame(id) creates a top-level frame with menu, accelerators
// and title from resource id; its WM_CREATE makes the view of the create
// context. CFrameWnd and CView delete themselves when their window is gone.
// Commands reaching the frame go to the active view (which passes them on to
// its document), then to the frame's own table, then to the application.
// Menus are updated at WM_INITMENUPOPUP and the toolbar at idle through the
// same route (CCmdUI); a menu entry nobody handles is disabled.
//
// CListView is a view whose window is the "SysListView32" control itself;
// GetListCtrl() gives thin list-control helpers over it.
#pragma once
#include "framework/Wnd.h"
#include "framework/Document.h"
#include "framework/Controls.h"
#include "framework/Handle.h"
#include <vector>

class CView;

// Bar styles (only those the frame uses carry meaning).
#define CBRS_ALIGN_TOP 0x1000
#define CBRS_ALIGN_BOTTOM 0x4000
#define CBRS_ALIGN_ANY 0xF000
#define CBRS_TOP (CBRS_ALIGN_TOP | 0x0800)
#define CBRS_BOTTOM (CBRS_ALIGN_BOTTOM | 0x0100)
#define CBRS_GRIPPER 0x00400000
#define CBRS_TOOLTIPS 0x0010
#define CBRS_FLYBY 0x0020
#define CBRS_SIZE_DYNAMIC 0x0400
#define FWS_ADDTOTITLE 0x00008000

class CControlBar : public CWnd {
public:
    virtual int CalcHeight() const;
    void EnableDocking(DWORD) {}
};

// Toolbar from a TOOLBAR resource (DWORD width, height, count, ids; 0 = bar)
// with the bitmap of the same id (magenta is transparent). Tool tips and
// status texts come from the string of each command id ("status\ntip").
class CToolBar : public CControlBar {
public:
    ~CToolBar() override;
    BOOL CreateEx(CWnd* parent, DWORD tbStyle = TBSTYLE_FLAT, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_TOP,
                  UINT id = AFX_IDW_TOOLBAR);
    BOOL LoadToolBar(UINT id);
    int CommandToIndex(UINT id) const;
    void GetItemRect(int index, RECT* r) const;
    UINT GetItemID(int index) const;
    int GetCount() const;
    int CalcHeight() const override;
    // Runs the update handlers of every button through the frame's route.
    void UpdateButtons(CCmdTarget* target);

private:
    OwnedImageList m_images;
};

class CStatusBar : public CControlBar {
public:
    BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, UINT id = AFX_IDW_STATUS_BAR);
    BOOL SetIndicators(const UINT* ids, int count);
    void SetPaneText(int index, const wchar_t* text);
    void UpdateIndicators();
    int CalcHeight() const override;
    void OnSize(UINT type, int cx, int cy) override;

private:
    std::vector<UINT> m_ids;
    void Layout();
};

class CFrameWnd : public CWnd {
public:
    BOOL LoadFrame(UINT id, DWORD style = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, CWnd* parent = nullptr,
                   CCreateContext* ctx = nullptr);
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    int OnCreate(LPCREATESTRUCTW cs) override;
    void OnClose() override;
    void OnDestroy() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnSetFocus(HWND old) override;
    void OnInitMenuPopup(HMENU menu, UINT index, BOOL sysMenu) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void PostNcDestroy() override { delete this; }
    BOOL OnCmdMsg(UINT id, CCmdUI* ui) override;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override;

    CView* GetActiveView() const { return m_pViewActive; }
    void SetActiveView(CView* view);
    virtual CDocument* GetActiveDocument();
    virtual void OnUpdateFrameTitle(BOOL addToTitle);
    void InitialUpdateFrame(CDocument* doc, BOOL makeVisible);
    virtual void RecalcLayout();
    void EnableDocking(DWORD) {}
    void DockControlBar(CControlBar*) {}
    void SetMessageText(const wchar_t* text);
    void SetMessageText(UINT id);
    // Runs the toolbar's and status bar's updates (called at idle).
    virtual void OnIdleUpdate();
    CString m_strTitle;  // the application part of the title

protected:
    HACCEL m_hAccel = nullptr;
    UINT m_nIDResource = 0;
    CView* m_pViewActive = nullptr;
    CCreateContext* m_pContext = nullptr;
    BOOL m_bAddToTitle = TRUE;
    void UpdateMenuPopup(HMENU menu);
    void UpdateRecentFileMenu(HMENU menu);
    CString m_mruPlaceholder;
};

class CView : public CWnd {
public:
    ~CView() override;
    CDocument* GetDocument() const { return m_pDocument; }
    virtual void OnInitialUpdate() { OnUpdate(nullptr, 0, nullptr); }
    virtual void OnUpdate(CView* sender, LPARAM hint, CCmdTarget* hintObj) { Invalidate(); }
    BOOL OnCmdMsg(UINT id, CCmdUI* ui) override;
    void PostNcDestroy() override { delete this; }
    CFrameWnd* GetParentFrame() const;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    // A view closes with its frame: closed alone, it would leave the frame
    // routing commands to a deleted view.
    void OnClose() override {}
    // Creates the view's window as the frame's pane.
    virtual BOOL CreateView(CFrameWnd* frame, CCreateContext* ctx);

protected:
    CDocument* m_pDocument = nullptr;
    friend class CDocument;
};

class CListView : public CView {
public:
    // The list control of this view (the view's own window).
    CListCtrl& GetListCtrl() const;
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    BOOL CreateView(CFrameWnd* frame, CCreateContext* ctx) override;
    void OnUpdate(CView*, LPARAM, CCmdTarget*) override {}

private:
    mutable CListCtrl m_ctrl;
};
