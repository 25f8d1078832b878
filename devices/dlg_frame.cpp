#include "devices/dlg_frame.h"
#include "framework/FrameWnd.h"
#include "framework/WinApp.h"
#include <climits>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <algorithm>
#include <string>
#include <vector>

namespace {
const UINT kDlgIconStrip = 134;
const COLORREF kMaskColour = RGB(255, 0, 255);
// The combo message of the template lists (the 16-bit CB_ADDSTRING).
const WORD kListAddString = 0x0403;
}  // namespace

HICON LoadDeviceDlgIcon(int index) {
    CImageList strip;
    if (!strip.Create(kDlgIconStrip, 16, 1, kMaskColour)) return nullptr;
    return ImageList_GetIcon(strip, index, ILD_NORMAL);
}

void FillTemplateCombos(HWND dlg, UINT templateId) {
    HINSTANCE inst = AfxGetResourceHandle();
    HRSRC res = ::FindResourceW(inst, MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(240));
    if (!res) return;
    HGLOBAL mem = ::LoadResource(inst, res);
    const BYTE* p = mem ? static_cast<const BYTE*>(::LockResource(mem)) : nullptr;
    if (!p) return;
    const BYTE* end = p + ::SizeofResource(inst, res);
    // Entries: WORD control id, WORD message, DWORD length, 8-bit text; a zero id ends.
    std::vector<HWND> seen, filled;
    while (end - p >= 8) {
        WORD id, msg;
        DWORD len;
        memcpy(&id, p, 2);
        memcpy(&msg, p + 2, 2);
        memcpy(&len, p + 4, 4);
        if (id == 0) break;
        p += 8;
        if (len > (DWORD)(end - p)) break;
        HWND ctrl = ::GetDlgItem(dlg, id);
        if (ctrl && msg == kListAddString) {
            bool first = std::find(seen.begin(), seen.end(), ctrl) == seen.end();
            if (first) {
                seen.push_back(ctrl);
                if (::SendMessageW(ctrl, CB_GETCOUNT, 0, 0) == 0) filled.push_back(ctrl);
            }
            if (std::find(filled.begin(), filled.end(), ctrl) != filled.end()) {
                size_t n = strnlen(reinterpret_cast<const char*>(p), len);
                CString text(std::string(reinterpret_cast<const char*>(p), n).c_str());
                ::SendMessageW(ctrl, CB_ADDSTRING, 0, (LPARAM)(const wchar_t*)text);
            }
        }
        p += len;
    }
}

int SecondsTextToTenths(const wchar_t* text, bool rounded) {
    double v = wcstod(text ? text : L"", nullptr);
    if (std::isnan(v)) return 0;
    v *= 10.0;
    if (rounded) v += 0.5;
    // Out of range before the conversion: negative and huge values are clamped.
    if (!(v >= 0.0)) return 0;
    if (v >= (double)INT_MAX) return INT_MAX;
    return rounded ? (int)std::floor(v) : (int)v;
}

CString DlgItemText(HWND dlg, int id) {
    HWND h = ::GetDlgItem(dlg, id);
    CString s;
    int n = h ? ::GetWindowTextLengthW(h) : 0;
    if (n <= 0) return s;
    wchar_t* buf = s.GetBuffer(n + 1);
    int got = ::GetWindowTextW(h, buf, n + 1);
    s.ReleaseBuffer(got);
    return s;
}

CDeviceFrameDlg::CDeviceFrameDlg(UINT templateId, int iconIndex, UINT helpContext)
    : CDialog(templateId, nullptr), m_hIcon(LoadDeviceDlgIcon(iconIndex)), m_nHelpContext(helpContext) {}

CDeviceFrameDlg::~CDeviceFrameDlg() {
    if (m_hIcon) ::DestroyIcon(m_hIcon);
}

BOOL CDeviceFrameDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    FillTemplateCombos(m_hWnd, m_nIDTemplate);
    SendMessage(WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
    return TRUE;
}

LRESULT CDeviceFrameDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_HELP) {
        AfxGetApp()->HtmlHelp(m_nHelpContext, HH_HELP_CONTEXT);
        return TRUE;
    }
    return CDialog::WindowProc(msg, wp, lp);
}
