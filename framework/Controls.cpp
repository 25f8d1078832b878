#include "framework/Controls.h"
#include <string>

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    DeleteImageList();
    m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
    return m_hImageList != nullptr;
}

BOOL CImageList::Create(UINT bitmapId, int cx, int grow, COLORREF mask) {
    DeleteImageList();
    m_hImageList = ImageList_LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(bitmapId), cx, grow, mask,
                                        IMAGE_BITMAP, LR_CREATEDIBSECTION);
    return m_hImageList != nullptr;
}

BOOL CImageList::DeleteImageList() {
    BOOL ok = TRUE;
    if (m_hImageList) ok = ImageList_Destroy(m_hImageList);
    m_hImageList = nullptr;
    return ok;
}

int CListCtrl::InsertColumn(int col, const wchar_t* caption, int format, int width, int sub) {
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_FMT;
    c.pszText = (wchar_t*)caption;
    c.fmt = format;
    if (width >= 0) {
        c.mask |= LVCF_WIDTH;
        c.cx = width;
    }
    if (sub >= 0) {
        c.mask |= LVCF_SUBITEM;
        c.iSubItem = sub;
    }
    return (int)SendMessage(LVM_INSERTCOLUMNW, col, (LPARAM)&c);
}

int CListCtrl::InsertItem(int item, const wchar_t* text, int image) {
    LVITEMW it{};
    it.mask = LVIF_TEXT | (image >= 0 ? LVIF_IMAGE : 0);
    it.iItem = item;
    it.pszText = (wchar_t*)text;
    it.iImage = image;
    return InsertItem(&it);
}

BOOL CListCtrl::SetItemText(int item, int sub, const wchar_t* text) {
    LVITEMW it{};
    it.iSubItem = sub;
    it.pszText = (wchar_t*)text;
    return (BOOL)SendMessage(LVM_SETITEMTEXTW, item, (LPARAM)&it);
}

CString CListCtrl::GetItemText(int item, int sub) const {
    std::wstring buf(256, L'\0');
    for (;;) {
        LVITEMW it{};
        it.iSubItem = sub;
        it.pszText = &buf[0];
        it.cchTextMax = (int)buf.size();
        int n = (int)SendMessage(LVM_GETITEMTEXTW, item, (LPARAM)&it);
        if (n < (int)buf.size() - 1) return CString(buf.c_str(), n);
        buf.assign(buf.size() * 2, L'\0');
    }
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data) {
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = item;
    it.lParam = (LPARAM)data;
    return SetItem(&it);
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = item;
    return GetItem(&it) ? (DWORD_PTR)it.lParam : 0;
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
    LVITEMW it{};
    it.state = state;
    it.stateMask = mask;
    return (BOOL)SendMessage(LVM_SETITEMSTATE, item, (LPARAM)&it);
}

BOOL CListCtrl::SetItemImage(int item, int image) {
    LVITEMW it{};
    it.mask = LVIF_IMAGE;
    it.iItem = item;
    it.iImage = image;
    return SetItem(&it);
}

// ---------------------------------------------------------------- standard controls

void CEdit::SetSel(int start, int end, BOOL noScroll) {
    SendMessage(EM_SETSEL, (WPARAM)start, (LPARAM)end);
    if (!noScroll) SendMessage(EM_SCROLLCARET);
}

void CEdit::GetSel(int& start, int& end) const {
    DWORD s = 0, e = 0;
    SendMessage(EM_GETSEL, (WPARAM)&s, (LPARAM)&e);
    start = (int)s;
    end = (int)e;
}

namespace {
// Entry i of a combo or list box, by the box's own length and text messages.
void EntryText(const CWnd& box, UINT lengthMsg, UINT textMsg, int i, CString& out) {
    int n = (int)box.SendMessage(lengthMsg, (WPARAM)i);
    if (n < 0) {
        out.Empty();
        return;
    }
    std::wstring buf((size_t)n + 1, L'\0');
    int got = (int)box.SendMessage(textMsg, (WPARAM)i, (LPARAM)&buf[0]);
    out = got > 0 ? CString(buf.c_str(), got) : CString();
}
}  // namespace

void CComboBox::GetLBText(int i, CString& out) const { EntryText(*this, CB_GETLBTEXTLEN, CB_GETLBTEXT, i, out); }

void CListBox::GetText(int i, CString& out) const { EntryText(*this, LB_GETTEXTLEN, LB_GETTEXT, i, out); }

void CProgressCtrl::GetRange(int& lower, int& upper) const {
    PBRANGE r{};
    SendMessage(PBM_GETRANGE, TRUE, (LPARAM)&r);
    lower = r.iLow;
    upper = r.iHigh;
}

// ---------------------------------------------------------------- tree

HTREEITEM CTreeCtrl::InsertItem(const wchar_t* text, HTREEITEM parent, HTREEITEM after) {
    TVINSERTSTRUCTW is{};
    is.hParent = parent;
    is.hInsertAfter = after;
    is.item.mask = TVIF_TEXT;
    is.item.pszText = (wchar_t*)text;
    return (HTREEITEM)SendMessage(TVM_INSERTITEMW, 0, (LPARAM)&is);
}

HTREEITEM CTreeCtrl::InsertItem(const wchar_t* text, int image, int selectedImage, HTREEITEM parent, HTREEITEM after) {
    TVINSERTSTRUCTW is{};
    is.hParent = parent;
    is.hInsertAfter = after;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    is.item.pszText = (wchar_t*)text;
    is.item.iImage = image;
    is.item.iSelectedImage = selectedImage;
    return (HTREEITEM)SendMessage(TVM_INSERTITEMW, 0, (LPARAM)&is);
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const {
    std::wstring buf(256, L'\0');
    for (;;) {
        TVITEMW it{};
        it.mask = TVIF_TEXT;
        it.hItem = item;
        it.pszText = &buf[0];
        it.cchTextMax = (int)buf.size();
        if (!SendMessage(TVM_GETITEMW, 0, (LPARAM)&it)) return CString();
        size_t n = wcsnlen(buf.c_str(), buf.size());
        if (n < buf.size() - 1) return CString(buf.c_str(), (int)n);
        buf.assign(buf.size() * 2, L'\0');
    }
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, const wchar_t* text) {
    TVITEMW it{};
    it.mask = TVIF_TEXT;
    it.hItem = item;
    it.pszText = (wchar_t*)text;
    return (BOOL)SendMessage(TVM_SETITEMW, 0, (LPARAM)&it);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
    TVITEMW it{};
    it.mask = TVIF_PARAM;
    it.hItem = item;
    return SendMessage(TVM_GETITEMW, 0, (LPARAM)&it) ? (DWORD_PTR)it.lParam : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
    TVITEMW it{};
    it.mask = TVIF_PARAM;
    it.hItem = item;
    it.lParam = (LPARAM)data;
    return (BOOL)SendMessage(TVM_SETITEMW, 0, (LPARAM)&it);
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM item, int image, int selectedImage) {
    TVITEMW it{};
    it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    it.hItem = item;
    it.iImage = image;
    it.iSelectedImage = selectedImage;
    return (BOOL)SendMessage(TVM_SETITEMW, 0, (LPARAM)&it);
}
