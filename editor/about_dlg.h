// CAboutDlg: Varnel's version and the file version of the OPC server
// registered on this computer.
#pragma once
#include "framework/Dialog.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(100) {}
    BOOL OnInitDialog() override;
};

void RunAboutBox(CWnd* parent);

namespace aboutid {
constexpr UINT Product = 1202, OwnVersion = 1358, ServerVersion = 1359;
}
