// The tools' own small dialog classes on the bare window API.
// CSimpleDlg routes a dialog window's messages to virtual handlers;
// control notifications (WM_COMMAND, WM_NOTIFY) end in OnControlMap, where
// a dialog dispatches them from a table of typed rows (framework/CtrlMap.h),
// as the framework's dialogs do;
// CDialog runs a dialog template modally and binds the object to its window
// at WM_INITDIALOG. The object lives on its owner's stack: the modal run
// clears the delete-on-destroy flag, so the owner destroys it afterwards.
#pragma once
#include <windows.h>
#include "framework/CtrlMap.h"

class CSimpleDlg {
public:
    CSimpleDlg();
    virtual ~CSimpleDlg();
    CSimpleDlg(const CSimpleDlg&) = delete;
    CSimpleDlg& operator=(const CSimpleDlg&) = delete;

    // Both pass the notification on to OnControlMap.
    virtual void OnCommand(UINT code, UINT id, HWND control);
    // The system's own processing of the command follows in any case.
    virtual void OnSysCommand(UINT command, int x, int y);
    virtual void OnHScroll(UINT code, UINT pos, HWND scrollBar);
    virtual INT_PTR OnTimer(UINT_PTR id);
    virtual INT_PTR OnUserMessage(WPARAM wParam, LPARAM lParam);
    virtual void OnContextMenu(HWND window, int x, int y);
    // TRUE: *result becomes the dialog's message result.
    virtual BOOL OnNotify(NMHDR* header, LRESULT* result);
    // nm is null for a WM_COMMAND notification; TRUE: handled.
    virtual BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result);
    virtual void OnHelp(HELPINFO* info);
    virtual UINT GetHelpStringId(int controlId);

    // Dispatches for a bound window; answers 0 when no object is bound.
    static INT_PTR WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd;
    int m_deleteOnDestroy;
    HINSTANCE m_hInstance;
};

class CDialog : public CSimpleDlg {
public:
    CDialog(HWND parent, int templateId);

    virtual BOOL OnInitDialog() = 0;

    // DialogBoxParamW on the template of the program's own module.
    INT_PTR DoModal();

    // lParam of WM_INITDIALOG is the CDialog to bind.
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_hParent;
    int m_templateId;
};
