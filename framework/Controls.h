// Thin wrappers over the common and standard controls, and image lists.
//
// A control object is a view of a control window: bind it in the dialog's
// DoDataExchange (DDX_Control(dx, IDC_HOSTS, m_hosts)), after which its
// notifications reach the object's OnCommandReflect/OnNotifyReflect first.
// Apart from CImageList nothing here owns anything; the control window
// belongs to its dialog. Indexes and texts are those of the control's own
// messages (CB_ERR/LB_ERR/-1 on failure).
#pragma once
#include "framework/Wnd.h"

// Image list handle owner.
class CImageList {
public:
    CImageList() = default;
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    ~CImageList() { DeleteImageList(); }
    HIMAGELIST m_hImageList = nullptr;
    operator HIMAGELIST() const { return m_hImageList; }
    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    // A strip bitmap resource of images cx wide; mask colour transparent.
    BOOL Create(UINT bitmapId, int cx, int grow, COLORREF mask);
    int Add(HBITMAP bm, COLORREF mask) { return ImageList_AddMasked(m_hImageList, bm, mask); }
    int Add(HICON icon) { return ImageList_AddIcon(m_hImageList, icon); }
    int GetImageCount() const { return m_hImageList ? ImageList_GetImageCount(m_hImageList) : 0; }
    // A new icon of image i; the caller destroys it (OwnedIcon).
    HICON ExtractIcon(int i, UINT flags = ILD_NORMAL) const {
        return m_hImageList ? ImageList_GetIcon(m_hImageList, i, flags) : nullptr;
    }
    BOOL DeleteImageList();
    HIMAGELIST Detach() {
        HIMAGELIST h = m_hImageList;
        m_hImageList = nullptr;
        return h;
    }
};

class CButton : public CWnd {
public:
    int GetCheck() const { return (int)SendMessage(BM_GETCHECK); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, (WPARAM)check); }
    UINT GetState() const { return (UINT)SendMessage(BM_GETSTATE); }
    void SetButtonStyle(UINT style, BOOL redraw = TRUE) { SendMessage(BM_SETSTYLE, style, redraw); }
    // Presses the button as a click does (BN_CLICKED to the parent).
    void Click() { SendMessage(BM_CLICK); }
};

class CEdit : public CWnd {
public:
    void SetLimitText(UINT max) { SendMessage(EM_SETLIMITTEXT, max); }
    void LimitText(int max = 0) { SendMessage(EM_LIMITTEXT, (WPARAM)max); }
    UINT GetLimitText() const { return (UINT)SendMessage(EM_GETLIMITTEXT); }
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    void ReplaceSel(const wchar_t* text, BOOL canUndo = FALSE) { SendMessage(EM_REPLACESEL, canUndo, (LPARAM)text); }
    BOOL SetReadOnly(BOOL on = TRUE) { return (BOOL)SendMessage(EM_SETREADONLY, on); }
    BOOL GetModify() const { return (BOOL)SendMessage(EM_GETMODIFY); }
    void SetModify(BOOL on = TRUE) { SendMessage(EM_SETMODIFY, on); }
    int GetLineCount() const { return (int)SendMessage(EM_GETLINECOUNT); }
};

class CComboBox : public CWnd {
public:
    int AddString(const wchar_t* s) { return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)s); }
    int InsertString(int i, const wchar_t* s) { return (int)SendMessage(CB_INSERTSTRING, (WPARAM)i, (LPARAM)s); }
    int DeleteString(int i) { return (int)SendMessage(CB_DELETESTRING, (WPARAM)i); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int GetCount() const { return (int)SendMessage(CB_GETCOUNT); }
    int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL); }
    // Sends no CBN_SELCHANGE.
    int SetCurSel(int i) { return (int)SendMessage(CB_SETCURSEL, (WPARAM)i); }
    int GetLBTextLen(int i) const { return (int)SendMessage(CB_GETLBTEXTLEN, (WPARAM)i); }
    void GetLBText(int i, CString& out) const;
    // Whole-text match without regard to case, after the entry "after".
    int FindStringExact(int after, const wchar_t* s) const {
        return (int)SendMessage(CB_FINDSTRINGEXACT, (WPARAM)after, (LPARAM)s);
    }
    // Prefix match; selects and returns the entry.
    int SelectString(int after, const wchar_t* s) {
        return (int)SendMessage(CB_SELECTSTRING, (WPARAM)after, (LPARAM)s);
    }
    int SetItemData(int i, DWORD_PTR data) { return (int)SendMessage(CB_SETITEMDATA, (WPARAM)i, (LPARAM)data); }
    DWORD_PTR GetItemData(int i) const { return (DWORD_PTR)SendMessage(CB_GETITEMDATA, (WPARAM)i); }
    BOOL LimitText(int max) { return (BOOL)SendMessage(CB_LIMITTEXT, (WPARAM)max); }
    BOOL SetEditSel(int start, int end) { return (BOOL)SendMessage(CB_SETEDITSEL, 0, MAKELPARAM(start, end)); }
    void ShowDropDown(BOOL show = TRUE) { SendMessage(CB_SHOWDROPDOWN, show); }
    BOOL GetDroppedState() const { return (BOOL)SendMessage(CB_GETDROPPEDSTATE); }
};

class CListBox : public CWnd {
public:
    int AddString(const wchar_t* s) { return (int)SendMessage(LB_ADDSTRING, 0, (LPARAM)s); }
    int InsertString(int i, const wchar_t* s) { return (int)SendMessage(LB_INSERTSTRING, (WPARAM)i, (LPARAM)s); }
    int DeleteString(int i) { return (int)SendMessage(LB_DELETESTRING, (WPARAM)i); }
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    int GetCount() const { return (int)SendMessage(LB_GETCOUNT); }
    int GetCurSel() const { return (int)SendMessage(LB_GETCURSEL); }
    int SetCurSel(int i) { return (int)SendMessage(LB_SETCURSEL, (WPARAM)i); }
    int GetTextLen(int i) const { return (int)SendMessage(LB_GETTEXTLEN, (WPARAM)i); }
    void GetText(int i, CString& out) const;
    int FindStringExact(int after, const wchar_t* s) const {
        return (int)SendMessage(LB_FINDSTRINGEXACT, (WPARAM)after, (LPARAM)s);
    }
    int SetItemData(int i, DWORD_PTR data) { return (int)SendMessage(LB_SETITEMDATA, (WPARAM)i, (LPARAM)data); }
    DWORD_PTR GetItemData(int i) const { return (DWORD_PTR)SendMessage(LB_GETITEMDATA, (WPARAM)i); }
    int SetTopIndex(int i) { return (int)SendMessage(LB_SETTOPINDEX, (WPARAM)i); }
};

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lower, int upper) { SendMessage(PBM_SETRANGE32, (WPARAM)lower, (LPARAM)upper); }
    void GetRange(int& lower, int& upper) const;
    int SetPos(int pos) { return (int)SendMessage(PBM_SETPOS, (WPARAM)pos); }
    int GetPos() const { return (int)SendMessage(PBM_GETPOS); }
    int OffsetPos(int delta) { return (int)SendMessage(PBM_DELTAPOS, (WPARAM)delta); }
    int SetStep(int step) { return (int)SendMessage(PBM_SETSTEP, (WPARAM)step); }
    int StepIt() { return (int)SendMessage(PBM_STEPIT); }
};

// Non-owning helpers over a "SysListView32" window.
class CListCtrl : public CWnd {
public:
    int GetItemCount() const { return (int)SendMessage(LVM_GETITEMCOUNT); }
    int InsertColumn(int col, const wchar_t* caption, int format = LVCFMT_LEFT, int width = -1, int sub = -1);
    BOOL SetColumnWidth(int col, int cx) { return (BOOL)SendMessage(LVM_SETCOLUMNWIDTH, col, MAKELPARAM(cx, 0)); }
    int GetColumnWidth(int col) const { return (int)SendMessage(LVM_GETCOLUMNWIDTH, col); }
    int InsertItem(int item, const wchar_t* text, int image = -1);
    int InsertItem(const LVITEMW* item) { return (int)SendMessage(LVM_INSERTITEMW, 0, (LPARAM)item); }
    BOOL SetItem(const LVITEMW* item) { return (BOOL)SendMessage(LVM_SETITEMW, 0, (LPARAM)item); }
    BOOL GetItem(LVITEMW* item) const { return (BOOL)SendMessage(LVM_GETITEMW, 0, (LPARAM)item); }
    BOOL SetItemText(int item, int sub, const wchar_t* text);
    CString GetItemText(int item, int sub) const;
    BOOL SetItemData(int item, DWORD_PTR data);
    DWORD_PTR GetItemData(int item) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const { return (UINT)SendMessage(LVM_GETITEMSTATE, item, mask); }
    BOOL SetItemImage(int item, int image);
    int GetNextItem(int start, int flags) const {
        return (int)SendMessage(LVM_GETNEXTITEM, start, MAKELPARAM(flags, 0));
    }
    UINT GetSelectedCount() const { return (UINT)SendMessage(LVM_GETSELECTEDCOUNT); }
    BOOL DeleteItem(int item) { return (BOOL)SendMessage(LVM_DELETEITEM, item); }
    BOOL DeleteAllItems() { return (BOOL)SendMessage(LVM_DELETEALLITEMS); }
    BOOL EnsureVisible(int item, BOOL partial) { return (BOOL)SendMessage(LVM_ENSUREVISIBLE, item, partial); }
    int GetTopIndex() const { return (int)SendMessage(LVM_GETTOPINDEX); }
    int GetCountPerPage() const { return (int)SendMessage(LVM_GETCOUNTPERPAGE); }
    // Report view: dy in pixels, taken in whole rows.
    BOOL Scroll(int dx, int dy) { return (BOOL)SendMessage(LVM_SCROLL, (WPARAM)dx, (LPARAM)dy); }
    HIMAGELIST SetImageList(HIMAGELIST il, int which) {
        return (HIMAGELIST)SendMessage(LVM_SETIMAGELIST, which, (LPARAM)il);
    }
    DWORD GetExtendedStyle() const { return (DWORD)SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE); }
    DWORD SetExtendedStyle(DWORD ex) { return (DWORD)SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, ex); }
    BOOL SortItems(PFNLVCOMPARE fn, LPARAM data) { return (BOOL)SendMessage(LVM_SORTITEMS, data, (LPARAM)fn); }
    int HitTest(LVHITTESTINFO* info) const { return (int)SendMessage(LVM_HITTEST, 0, (LPARAM)info); }
    BOOL GetItemRect(int item, RECT* r, int code) const {
        r->left = code;
        return (BOOL)SendMessage(LVM_GETITEMRECT, item, (LPARAM)r);
    }
    HWND GetHeaderCtrl() const { return (HWND)SendMessage(LVM_GETHEADER); }
    // A list created with LVS_OWNERDATA stores no rows: it holds their count
    // and states, and asks its parent for texts and images (LVN_GETDISPINFOW)
    // whenever it shows or hands them out. Item data is not kept there.
    BOOL SetItemCountEx(int count, DWORD flags = LVSICF_NOINVALIDATEALL) {
        return (BOOL)SendMessage(LVM_SETITEMCOUNT, (WPARAM)count, (LPARAM)flags);
    }
    // Rows first..last are asked for again when next painted.
    BOOL RedrawItems(int first, int last) { return (BOOL)SendMessage(LVM_REDRAWITEMS, (WPARAM)first, (LPARAM)last); }
};

// Non-owning helpers over a "SysTreeView32" window. Label editing: the tree
// needs TVS_EDITLABELS; the parent's TVN_ENDLABELEDITW handler returns TRUE
// to take the new text (pszText null: editing was cancelled).
class CTreeCtrl : public CWnd {
public:
    HTREEITEM InsertItem(const wchar_t* text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    HTREEITEM InsertItem(const wchar_t* text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    BOOL DeleteItem(HTREEITEM item) { return (BOOL)SendMessage(TVM_DELETEITEM, 0, (LPARAM)item); }
    BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
    UINT GetCount() const { return (UINT)SendMessage(TVM_GETCOUNT); }
    CString GetItemText(HTREEITEM item) const;
    BOOL SetItemText(HTREEITEM item, const wchar_t* text);
    DWORD_PTR GetItemData(HTREEITEM item) const;
    BOOL SetItemData(HTREEITEM item, DWORD_PTR data);
    BOOL SetItemImage(HTREEITEM item, int image, int selectedImage);
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const {
        return (HTREEITEM)SendMessage(TVM_GETNEXTITEM, code, (LPARAM)item);
    }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUS); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    BOOL SelectItem(HTREEITEM item) { return (BOOL)SendMessage(TVM_SELECTITEM, TVGN_CARET, (LPARAM)item); }
    BOOL Expand(HTREEITEM item, UINT code = TVE_EXPAND) { return (BOOL)SendMessage(TVM_EXPAND, code, (LPARAM)item); }
    BOOL EnsureVisible(HTREEITEM item) { return (BOOL)SendMessage(TVM_ENSUREVISIBLE, 0, (LPARAM)item); }
    HIMAGELIST SetImageList(HIMAGELIST il, int which = TVSIL_NORMAL) {
        return (HIMAGELIST)SendMessage(TVM_SETIMAGELIST, (WPARAM)which, (LPARAM)il);
    }
    // Starts editing the label (the tree must have the focus); the edit control or null.
    HWND EditLabel(HTREEITEM item) { return (HWND)SendMessage(TVM_EDITLABELW, 0, (LPARAM)item); }
    HWND GetEditControl() const { return (HWND)SendMessage(TVM_GETEDITCONTROL); }
    // Ends editing: cancel TRUE drops the typed text.
    BOOL EndEditLabelNow(BOOL cancel) { return (BOOL)SendMessage(TVM_ENDEDITLABELNOW, cancel); }
};
