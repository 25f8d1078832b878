#include "framework/Dialog.h"
#include "framework/WinApp.h"
#include "framework/WndInternal.h"
#include <cwchar>
#include <cfloat>

namespace {
struct DdxFailure {};
}

static HWND topLevel(HWND h) {
    while (h && (::GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD)) h = ::GetParent(h);
    return h;
}

INT_PTR CALLBACK CDialog::StdDlgProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_INITDIALOG) return FALSE;
    auto* dlg = dynamic_cast<CDialog*>(FromHandlePermanent(h));
    if (!dlg) return TRUE;
    try {
        return dlg->OnInitDialog();
    } catch (...) {
        return TRUE;
    }
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    m_nIDTemplate = templateId;
    m_pParentWnd = parent;
    HWND h;
    {
        WndBinder bind(this);
        h = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(templateId),
                                 parent ? parent->m_hWnd : nullptr, &CDialog::StdDlgProc, 0);
    }
    return h != nullptr;
}

INT_PTR CDialog::DoModal() {
    HWND owner = m_pParentWnd ? topLevel(m_pParentWnd->m_hWnd) : nullptr;
    if (!owner && AfxGetMainWnd()) owner = AfxGetMainWnd()->m_hWnd;
    if (owner) {
        HWND popup = ::GetLastActivePopup(owner);
        if (popup && ::IsWindowEnabled(popup)) owner = popup;
    }
    bool disabled = owner && ::IsWindowEnabled(owner);
    if (disabled) ::EnableWindow(owner, FALSE);
    m_bModal = TRUE;
    m_bEnded = FALSE;
    m_nResult = -1;
    HWND h;
    {
        WndBinder bind(this);
        h = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), owner,
                                 &CDialog::StdDlgProc, 0);
    }
    if (h && !m_bEnded) {
        if (!::IsWindowVisible(h)) ::ShowWindow(h, SW_SHOWNORMAL);
        bool idle = true;
        LONG count = 0;
        while (!m_bEnded) {
            MSG msg;
            while (idle && !m_bEnded && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
                if (!::SendMessageW(h, WM_KICKIDLE, MSGF_DIALOGBOX, count++)) idle = false;
            }
            if (m_bEnded) break;
            BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0 || got == -1) {
                ::PostQuitMessage((int)msg.wParam);
                break;
            }
            bool handled = false;
            try {
                for (HWND w = msg.hwnd; w && !handled; w = ::GetParent(w)) {
                    if (CWnd* obj = FromHandlePermanent(w)) handled = obj->PreTranslateMessage(&msg);
                    if (w == h) break;
                }
                if (!handled && (msg.hwnd == h || ::IsChild(h, msg.hwnd))) handled = ::IsDialogMessageW(h, &msg);
            } catch (...) {
            }
            if (!handled) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            if (msg.message != WM_MOUSEMOVE && msg.message != WM_NCMOUSEMOVE && msg.message != 0x0118) {
                idle = true;
                count = 0;
            }
        }
    }
    if (disabled) ::EnableWindow(owner, TRUE);
    if (h) {
        if (owner && ::GetActiveWindow() == h) ::SetActiveWindow(owner);
        ::DestroyWindow(h);
    }
    m_bModal = FALSE;
    return m_nResult;
}

void CDialog::EndDialog(int result) {
    m_nResult = result;
    m_bEnded = TRUE;
    if (m_bModal && m_hWnd) {
        ::ShowWindow(m_hWnd, SW_HIDE);
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    }
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL save) {
    CDataExchange dx(this, save);
    try {
        DoDataExchange(&dx);
    } catch (const DdxFailure&) {
        if (dx.m_hWndLastControl) {
            ::SetFocus(dx.m_hWndLastControl);
            if (dx.m_bEditLastControl) ::SendMessageW(dx.m_hWndLastControl, EM_SETSEL, 0, -1);
        }
        return FALSE;
    }
    return TRUE;
}

BOOL CDialog::OnCommand(WPARAM wp, LPARAM lp) {
    UINT id = LOWORD(wp), code = HIWORD(wp);
    if ((id == IDOK || id == IDCANCEL) && (code == BN_CLICKED || !lp)) {
        if (!lp || ::IsWindowEnabled((HWND)lp)) {
            if (id == IDOK) OnOK();
            else OnCancel();
        }
        return TRUE;
    }
    return CWnd::OnCommand(wp, lp);
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    return CWnd::WindowProc(msg, wp, lp);
}

BOOL CDialog::PreTranslateMessage(MSG* msg) { return FALSE; }

// ---------------------------------------------------------------- data exchange

HWND CDataExchange::PrepareCtrl(int id) {
    HWND h = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    m_hWndLastControl = h;
    m_bEditLastControl = FALSE;
    return h;
}

HWND CDataExchange::PrepareEditCtrl(int id) {
    HWND h = PrepareCtrl(id);
    m_bEditLastControl = TRUE;
    return h;
}

void CDataExchange::Fail() { throw DdxFailure{}; }

static CString ctrlText(HWND h) {
    CString s;
    int n = ::GetWindowTextLengthW(h);
    wchar_t* buf = s.GetBuffer(n + 1);
    int got = ::GetWindowTextW(h, buf, n + 1);
    s.ReleaseBuffer(got);
    return s;
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
    HWND h = dx->PrepareEditCtrl(id);
    if (dx->m_bSaveAndValidate) value = ctrlText(h);
    else ::SetWindowTextW(h, value);
}

static void failWith(CDataExchange* dx, UINT msgId) {
    AfxMessageBox(msgId, MB_OK, msgId);
    dx->Fail();
}

// Whole text as a number in base 10; blanks around it are allowed.
static bool parseLong(const CString& text, long long& out) {
    const wchar_t* s = text;
    while (*s == L' ' || *s == L'\t') ++s;
    if (!*s) return false;
    wchar_t* end = nullptr;
    errno = 0;
    out = wcstoll(s, &end, 10);
    if (end == s || errno == ERANGE) return false;
    while (*end == L' ' || *end == L'\t') ++end;
    return *end == 0;
}

template <class T>
static void ddxInteger(CDataExchange* dx, int id, T& value, long long lo, long long hi, bool isSigned) {
    HWND h = dx->PrepareEditCtrl(id);
    if (dx->m_bSaveAndValidate) {
        long long v;
        if (!parseLong(ctrlText(h), v) || v < lo || v > hi) failWith(dx, isSigned ? AFX_IDP_PARSE_INT : AFX_IDP_PARSE_UINT);
        value = (T)v;
    } else {
        wchar_t buf[32];
        if (isSigned) swprintf(buf, 32, L"%lld", (long long)value);
        else swprintf(buf, 32, L"%llu", (unsigned long long)value);
        ::SetWindowTextW(h, buf);
    }
}

void DDX_Text(CDataExchange* dx, int id, int& value) { ddxInteger(dx, id, value, INT_MIN, INT_MAX, true); }
void DDX_Text(CDataExchange* dx, int id, long& value) { ddxInteger(dx, id, value, LONG_MIN, LONG_MAX, true); }
void DDX_Text(CDataExchange* dx, int id, UINT& value) { ddxInteger(dx, id, value, 0, UINT_MAX, false); }
void DDX_Text(CDataExchange* dx, int id, DWORD& value) { ddxInteger(dx, id, value, 0, 0xFFFFFFFFLL, false); }

void DDX_Text(CDataExchange* dx, int id, double& value) {
    HWND h = dx->PrepareEditCtrl(id);
    if (dx->m_bSaveAndValidate) {
        CString t = ctrlText(h);
        t.Trim();
        wchar_t* end = nullptr;
        double v = wcstod(t, &end);
        if (t.IsEmpty() || *end) failWith(dx, AFX_IDP_PARSE_REAL);
        value = v;
    } else {
        wchar_t buf[64];
        swprintf(buf, 64, L"%.*g", DBL_DIG, value);
        ::SetWindowTextW(h, buf);
    }
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    HWND h = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate) value = (int)::SendMessageW(h, BM_GETCHECK, 0, 0);
    else ::SendMessageW(h, BM_SETCHECK, (WPARAM)value, 0);
}

static bool isRadio(HWND h) {
    if (!(::SendMessageW(h, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)) return false;
    return true;
}

void DDX_Radio(CDataExchange* dx, int id, int& value) {
    HWND h = dx->PrepareCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) value = -1;
    int index = 0;
    for (HWND c = h; c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (c != h && (::GetWindowLongPtrW(c, GWL_STYLE) & WS_GROUP)) break;
        if (!isRadio(c)) continue;
        if (dx->m_bSaveAndValidate) {
            if (::SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
        } else {
            ::SendMessageW(c, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ++index;
    }
}

void DDX_CBIndex(CDataExchange* dx, int id, int& value) {
    HWND h = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate) value = (int)::SendMessageW(h, CB_GETCURSEL, 0, 0);
    else ::SendMessageW(h, CB_SETCURSEL, (WPARAM)value, 0);
}

void DDX_CBString(CDataExchange* dx, int id, CString& value) {
    HWND h = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate) {
        value = ctrlText(h);
    } else if (::SendMessageW(h, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)(const wchar_t*)value) == CB_ERR) {
        ::SetWindowTextW(h, value);
    }
}

void DDX_LBIndex(CDataExchange* dx, int id, int& value) {
    HWND h = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate) value = (int)::SendMessageW(h, LB_GETCURSEL, 0, 0);
    else ::SendMessageW(h, LB_SETCURSEL, (WPARAM)value, 0);
}

void DDV_MaxChars(CDataExchange* dx, const CString& value, int maxChars) {
    if (dx->m_bSaveAndValidate) {
        if (value.GetLength() > maxChars) {
            CString num, msg;
            num.Format(L"%d", maxChars);
            AfxFormatString1(msg, AFX_IDP_PARSE_STRING_SIZE, num);
            AfxMessageBox(msg, MB_OK, AFX_IDP_PARSE_STRING_SIZE);
            dx->Fail();
        }
    } else if (dx->m_hWndLastControl && dx->m_bEditLastControl) {
        ::SendMessageW(dx->m_hWndLastControl, EM_LIMITTEXT, (WPARAM)maxChars, 0);
    }
}

static void rangeFail(CDataExchange* dx, long long lo, long long hi, UINT msgId) {
    CString a, b, msg;
    a.Format(L"%I64d", lo);
    b.Format(L"%I64d", hi);
    msg.LoadString(msgId);
    msg.Replace(L"%1", a);
    msg.Replace(L"%2", b);
    AfxMessageBox(msg, MB_OK, msgId);
    dx->Fail();
}

void DDV_MinMaxInt(CDataExchange* dx, int value, int minVal, int maxVal) {
    if (dx->m_bSaveAndValidate && (value < minVal || value > maxVal)) rangeFail(dx, minVal, maxVal, AFX_IDP_PARSE_INT_RANGE);
}

void DDV_MinMaxUInt(CDataExchange* dx, UINT value, UINT minVal, UINT maxVal) {
    if (dx->m_bSaveAndValidate && (value < minVal || value > maxVal)) rangeFail(dx, minVal, maxVal, AFX_IDP_PARSE_INT_RANGE);
}

void CComboBox::GetLBText(int i, CString& out) const {
    int n = (int)SendMessage(CB_GETLBTEXTLEN, (WPARAM)i);
    if (n < 0) { out.Empty(); return; }
    std::wstring buf((size_t)n + 1, L'\0');
    SendMessage(CB_GETLBTEXT, (WPARAM)i, (LPARAM)&buf[0]);
    out = CString(buf.c_str());
}

void DDX_Control(CDataExchange* dx, int id, CWnd& ctrl) {
    if (!ctrl.m_hWnd) ctrl.Attach(dx->PrepareCtrl(id));
}
