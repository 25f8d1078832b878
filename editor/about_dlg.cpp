#include "editor/about_dlg.h"
#include "editor/file_version.h"

namespace {
const wchar_t kProductText[] = L"Varnel für Ostrel OPC-Server";

// The control's own text as the format, with one "%s".
void FillTemplate(CWnd* dlg, UINT id, const wchar_t* value) {
    CString fmt;
    dlg->GetDlgItemText(id, fmt);
    int at = fmt.Find(L"%s");
    if (at < 0) return;
    dlg->SetDlgItemText(id, fmt.Left(at) + value + fmt.Mid(at + 2));
}

// The program's own "FileVersion"; the built-in number when it has none.
CString ProgramVersion() {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return KRV_PROGRAM_VERSION;
    CFileVersionInfo info;
    info.Load(self);
    const wchar_t* v = info.QueryString(L"FileVersion");
    return v && *v ? CString(v) : CString(KRV_PROGRAM_VERSION);
}
}  // namespace

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    FillTemplate(this, IDC_ABOUT_PRODUCT, kProductText);
    FillTemplate(this, IDC_ABOUT_OWN_VERSION, ProgramVersion());
    FillTemplate(this, IDC_ABOUT_SERVER_VERSION, GetRegisteredServerVersion());
    return TRUE;
}

void RunAboutBox(CWnd* parent) {
    CAboutDlg dlg;
    dlg.DoModal();
}
