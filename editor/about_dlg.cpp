#include "editor/about_dlg.h"
#include "editor/file_version.h"

using namespace aboutid;

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
}  // namespace

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    FillTemplate(this, Product, kProductText);
    FillTemplate(this, OwnVersion, KRV_PROGRAM_VERSION);
    FillTemplate(this, ServerVersion, GetRegisteredServerVersion());
    return TRUE;
}

void RunAboutBox(CWnd* parent) {
    CAboutDlg dlg;
    dlg.DoModal();
}
