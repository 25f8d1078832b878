// CAboutDlg: Varnel's version and the file version of the OPC server
// registered on this computer.
#pragma once
#include "framework/Dialog.h"
#include "resources/varnel_ids.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
    BOOL OnInitDialog() override;
};

void RunAboutBox(CWnd* parent);
