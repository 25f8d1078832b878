#include "svctools/SimpleDlg.h"
#include "svctools/Seams.h"
#include <windowsx.h>

CSimpleDlg::CSimpleDlg() : m_hWnd(nullptr), m_deleteOnDestroy(0), m_hInstance(GetModuleHandleW(nullptr)) {}

CSimpleDlg::~CSimpleDlg() = default;

void CSimpleDlg::OnCommand(UINT code, UINT id, HWND) { OnControlMap(code, id, nullptr, nullptr); }
void CSimpleDlg::OnSysCommand(UINT, int, int) {}
void CSimpleDlg::OnHScroll(UINT, UINT, HWND) {}
INT_PTR CSimpleDlg::OnTimer(UINT_PTR) { return 0; }
INT_PTR CSimpleDlg::OnUserMessage(WPARAM, LPARAM) { return 0; }
void CSimpleDlg::OnContextMenu(HWND, int, int) {}
BOOL CSimpleDlg::OnNotify(NMHDR* header, LRESULT* result) {
    return OnControlMap(header->code, (UINT)header->idFrom, header, result);
}
BOOL CSimpleDlg::OnControlMap(UINT, UINT, NMHDR*, LRESULT*) { return FALSE; }
UINT CSimpleDlg::GetHelpStringId(int controlId) { return (UINT)controlId; }

void CSimpleDlg::OnHelp(HELPINFO* info) {
    static wchar_t text[2000];
    UINT id = GetHelpStringId(info->iCtrlId);
    if (LoadStringW(m_hInstance, id, text, 2000) <= 0) {
        SvcBeep(MB_ICONHAND);
        return;
    }
    RECT r = {};
    GetWindowRect(GetDlgItem(m_hWnd, info->iCtrlId), &r);
    POINT pt = info->MousePos;
    if (!PtInRect(&r, pt)) {
        pt.x = r.left;
        pt.y = (r.top + r.bottom) / 2;
    }
    HH_POPUP popup = {};
    popup.cbStruct = sizeof(popup);
    popup.hinst = m_hInstance;
    popup.idString = 0;
    popup.pszText = text;
    popup.pt = pt;
    popup.clrForeground = (COLORREF)-1;
    popup.clrBackground = (COLORREF)-1;
    popup.rcMargins = RECT{10, 5, 10, 8};
    popup.pszFont = nullptr;
    SvcHelpPopup(m_hWnd, popup);
}

INT_PTR CSimpleDlg::WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CSimpleDlg* self = reinterpret_cast<CSimpleDlg*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    if (!self) return 0;
    switch (msg) {
    case WM_DESTROY:
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        if (self->m_deleteOnDestroy) delete self;
        return 0;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (self->OnNotify(reinterpret_cast<NMHDR*>(lParam), &result)) SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
        return 1;
    }
    case WM_HELP: self->OnHelp(reinterpret_cast<HELPINFO*>(lParam)); return 1;
    case WM_CONTEXTMENU:
        self->OnContextMenu(reinterpret_cast<HWND>(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 1;
    case WM_COMMAND: self->OnCommand(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam)); return 0;
    case WM_SYSCOMMAND:
        self->OnSysCommand((UINT)(wParam & 0xFFF0), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_TIMER: return self->OnTimer(wParam);
    case WM_HSCROLL: self->OnHScroll(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)); return 0;
    case WM_APP: return self->OnUserMessage(wParam, lParam);
    default: return 0;
    }
}

CDialog::CDialog(HWND parent, int templateId) : m_hParent(parent), m_templateId(templateId) {}

INT_PTR CDialog::DoModal() {
    return DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(m_templateId), m_hParent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Nothing may unwind into user32: it would end the process.
    try {
        if (msg == WM_INITDIALOG) {
            CDialog* self = reinterpret_cast<CDialog*>(lParam);
            SetWindowLongPtrW(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
            self->m_hWnd = hWnd;
            self->m_deleteOnDestroy = 0;
            return self->OnInitDialog();
        }
        return WindowProc(hWnd, msg, wParam, lParam);
    } catch (...) {
        return 0;
    }
}
