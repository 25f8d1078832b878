// CTagEditDlg: the OPC item names of one device, and the device's own name,
// renamed in a tree built from the item-name string. Nodes are renamed in
// place (F2; Tab and Shift+Tab move the edit on); nothing is added, removed
// or moved. OK writes the OPC name and the item names back; the window's
// size is kept per user.
#pragma once
#include "framework/Dialog.h"
#include "framework/Controls.h"

class CDeviceCfg;

// The tree's in-place edit control while a label is edited: takes Tab,
// Enter and Esc from the dialog; Tab ends the edit and tells which way to go on.
class CLabelEdit : public CEdit {
public:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    int m_nDirection = 0;  // +1 Tab, -1 Shift+Tab
};

class CTagEditDlg : public CDialog {
public:
    explicit CTagEditDlg(CWnd* parent = nullptr);
    ~CTagEditDlg() override;
    CTagEditDlg(const CTagEditDlg&) = delete;
    CTagEditDlg& operator=(const CTagEditDlg&) = delete;

    void DoDataExchange(CDataExchange* dx) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override;
    void OnSize(UINT type, int cx, int cy) override;

    void FillTree();
    void ShowItemPath(bool prefixOnly);
    void OnStandard();
    void SaveWindowSize();

    CTreeCtrl m_tree;
    CDeviceCfg* m_pDevice = nullptr;  // not owned
    int m_nInitialWidth = 0, m_nInitialHeight = 0;
    int m_nInitialTreeWidth = 0, m_nInitialTreeHeight = 0;
    RECT m_rcPath{}, m_rcOk{}, m_rcCancel{}, m_rcStandard{};
    int m_bLayoutActive = 0;
    HICON m_hIcon;
    CLabelEdit m_labelEdit;
    int m_bLabelEditAttached = 0;

private:
    void OnSelChanged(NMTREEVIEWW* info);
    BOOL OnBeginLabelEdit(NMTVDISPINFOW* info);
    void OnEndLabelEdit(NMTVDISPINFOW* info);
    void OnTreeKeyDown(NMTVKEYDOWN* key);
    CString Label(HTREEITEM item) const;
    bool IsBold(HTREEITEM item) const;
    void AppendSubtree(HTREEITEM item, int depth, CString& out) const;
};
