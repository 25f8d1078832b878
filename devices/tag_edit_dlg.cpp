#include "devices/tag_edit_dlg.h"
#include "devices/device_dialog.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "framework/Seams.h"
#include "resources/devices_more_ids.h"
#include <cwchar>
#include <string>

namespace {
const int kIconIndex = 6;
const int kMaxLevel = 4;
const int kMinTreeSize = 100;
const wchar_t* const kWindowSection = L"Window";
const wchar_t* const kSizeX = L"TagEdSizeX";
const wchar_t* const kSizeY = L"TagEdSizeY";
// Codes below this mark the entries from which on the heading collects them.
const wchar_t kFirstEventCode = 0x2F;
const wchar_t* const kEventsHeading = L"0Alarms & Events.";

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

RECT ChildRect(HWND dlg, int id) {
    RECT r{};
    HWND h = ::GetDlgItem(dlg, id);
    if (h) {
        ::GetWindowRect(h, &r);
        ::MapWindowPoints(nullptr, dlg, (POINT*)&r, 2);
    }
    return r;
}

void MoveChild(HWND dlg, int id, const RECT& r) {
    if (HWND h = ::GetDlgItem(dlg, id)) ::MoveWindow(h, r.left, r.top, Width(r), Height(r), TRUE);
}
}  // namespace

LRESULT CLabelEdit::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_GETDLGCODE) return DLGC_WANTALLKEYS;
    if (msg == WM_CHAR && wp == VK_TAB) {
        m_nDirection = ::GetKeyState(VK_SHIFT) < 0 ? -1 : 1;
        // Ends the edit and takes the text, as Enter does.
        SendMessage(WM_KEYDOWN, VK_RETURN, 1);
        return 0;
    }
    return CEdit::WindowProc(msg, wp, lp);
}

CTagEditDlg::CTagEditDlg(CWnd* parent) : CDialog(IDD_TAG_EDIT, parent), m_hIcon(LoadDeviceDialogIcon(kIconIndex)) {}

CTagEditDlg::~CTagEditDlg() {
    if (m_bLabelEditAttached) m_labelEdit.UnsubclassWindow();
    if (m_hIcon) ::DestroyIcon(m_hIcon);
}

void CTagEditDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_TAG_TREE, m_tree);
}

// The tree tells no label's length: the buffer grows until the text fits.
CString CTagEditDlg::Label(HTREEITEM item) const {
    std::wstring buf(256, L'\0');
    for (;;) {
        TVITEMW tv{};
        tv.mask = TVIF_TEXT | TVIF_HANDLE;
        tv.hItem = item;
        tv.pszText = &buf[0];
        tv.cchTextMax = (int)buf.size();
        buf[0] = 0;
        if (!TreeView_GetItem(m_tree.m_hWnd, &tv)) return CString();
        const size_t n = wcsnlen(buf.data(), buf.size());
        if (n + 1 < buf.size() || buf.size() >= ((size_t)1 << 26)) return CString(buf.data(), (int)n);
        buf.assign(buf.size() * 4, L'\0');
    }
}

bool CTagEditDlg::IsBold(HTREEITEM item) const {
    return (TreeView_GetItemState(m_tree.m_hWnd, item, TVIS_BOLD) & TVIS_BOLD) != 0;
}

void CTagEditDlg::FillTree() {
    HWND tree = m_tree.m_hWnd;
    CDeviceCfg* d = m_pDevice;
    d->BuildKindCodes();
    std::wstring codes = L"@" + d->KindCodes.str();
    TreeView_DeleteAllItems(tree);

    HTREEITEM level[kMaxLevel + 1] = {};
    HTREEITEM lastTop = nullptr;
    int L = -1;
    bool boldNext = false;
    // The device node is the record's own name; item-name text before the
    // first entry is no entry and never becomes part of that name.
    std::wstring s = d->ItemNames.str();
    size_t firstDot = s.find(L'.');
    s = firstDot == std::wstring::npos ? std::wstring() : s.substr(firstDot);
    bool deviceNode = true;
    while (deviceNode || !s.empty()) {
        int depth;
        std::wstring name;
        if (deviceNode) {
            depth = 0;
            name = d->OpcName.str();
            deviceNode = false;
        } else {
            depth = (int)s[0] - (int)L'0';
            s.erase(0, 1);
            size_t dot = s.find(L'.');
            name = s.substr(0, dot);
            s.erase(0, dot == std::wstring::npos ? s.size() : dot);
        }
        size_t lead = s.find_first_not_of(L'.');
        s.erase(0, lead == std::wstring::npos ? s.size() : lead);

        if (depth > L)
            L = L < kMaxLevel ? L + 1 : kMaxLevel;
        else
            L = depth;
        HTREEITEM parent = L >= 1 ? level[L - 1] : TVI_ROOT;
        TVINSERTSTRUCTW ins{};
        ins.hParent = parent;
        ins.hInsertAfter = TVI_LAST;
        ins.item.mask = TVIF_TEXT;
        ins.item.pszText = const_cast<wchar_t*>(name.c_str());
        HTREEITEM node = TreeView_InsertItem(tree, &ins);
        if (L >= 1) TreeView_Expand(tree, parent, TVE_EXPAND);
        if (L >= 0) level[L] = node;
        if (L <= 0) lastTop = node;
        if (boldNext) {
            TreeView_SetItemState(tree, node, TVIS_BOLD, TVIS_BOLD);
            boldNext = false;
        }
        if (!codes.empty()) codes.erase(0, 1);
        if (!codes.empty() && codes[0] < kFirstEventCode) {
            s = kEventsHeading + s;
            codes.clear();
            boldNext = true;
        }
    }
    if (lastTop) TreeView_EnsureVisible(tree, lastTop);
    SetDlgItemText(IDC_TAG_PATH, L"");
}

void CTagEditDlg::ShowItemPath(bool prefixOnly) {
    HWND tree = m_tree.m_hWnd;
    HTREEITEM sel = TreeView_GetSelection(tree);
    CString path;
    if (sel) {
        if (IsBold(sel)) {
            SetDlgItemText(IDC_TAG_PATH, L"");
            return;
        }
        HTREEITEM n = sel;
        for (;;) {
            path = Label(n) + L"." + path;
            HTREEITEM p = TreeView_GetParent(tree, n);
            if (!p) break;
            n = TreeView_GetParent(tree, p) ? p : TreeView_GetRoot(tree);
        }
        int end = path.GetLength();
        while (end > 0 && path[end - 1] == L'.') --end;
        path.Truncate(end);
        if (prefixOnly) {
            int dot = path.ReverseFind(L'.');
            path.Truncate(dot >= 0 ? dot + 1 : 0);
        }
    }
    SetDlgItemText(IDC_TAG_PATH, path);
}

BOOL CTagEditDlg::OnBeginLabelEdit(NMTVDISPINFOW* info) {
    if (IsBold(info->item.hItem)) {
        KrvMessageBeep(MB_ICONEXCLAMATION);
        return TRUE;
    }
    ShowItemPath(true);
    m_labelEdit.m_nDirection = 0;
    HWND edit = TreeView_GetEditControl(m_tree.m_hWnd);
    // The tree limits its edit to 259 characters; a name may be as long as the file keeps it.
    if (edit) ::SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
    if (edit && m_labelEdit.SubclassWindow(edit)) m_bLabelEditAttached = 1;
    return FALSE;
}

void CTagEditDlg::OnEndLabelEdit(NMTVDISPINFOW* info) {
    HWND tree = m_tree.m_hWnd;
    HTREEITEM item = info->item.hItem;
    if (info->item.pszText) {
        // The notification's text is cut at 259 characters; the edit holds it whole.
        CString text(info->item.pszText);
        if (m_bLabelEditAttached) m_labelEdit.GetWindowText(text);
        if (text.Replace(L".", L"_") > 0) KrvMessageBeep(MB_ICONASTERISK);
        bool accepted = !text.IsEmpty();
        HTREEITEM parent = TreeView_GetParent(tree, item);
        HTREEITEM sib = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree);
        // Case matters among siblings: "T" and "t" may stand side by side.
        for (; accepted && sib; sib = TreeView_GetNextSibling(tree, sib))
            if (sib != item && Label(sib) == text) accepted = false;
        if (accepted) {
            TVITEMW tv{};
            tv.mask = TVIF_TEXT | TVIF_HANDLE;
            tv.hItem = item;
            tv.pszText = const_cast<wchar_t*>((const wchar_t*)text);
            TreeView_SetItem(tree, &tv);
        } else {
            KrvMessageBeep(MB_ICONEXCLAMATION);
        }
    }
    const int direction = m_bLabelEditAttached ? m_labelEdit.m_nDirection : 0;
    if (direction > 0 && TreeView_GetNextVisible(tree, item)) {
        ::PostMessageW(tree, WM_KEYDOWN, VK_DOWN, 1);
        ::PostMessageW(tree, WM_KEYDOWN, VK_F2, 1);
    } else if (direction < 0 && TreeView_GetPrevVisible(tree, item)) {
        ::PostMessageW(tree, WM_KEYDOWN, VK_UP, 1);
        ::PostMessageW(tree, WM_KEYDOWN, VK_F2, 1);
    }
    if (m_bLabelEditAttached) {
        m_labelEdit.UnsubclassWindow();
        m_bLabelEditAttached = 0;
    }
    ShowItemPath(false);
}

void CTagEditDlg::OnTreeKeyDown(NMTVKEYDOWN* key) {
    if (key->wVKey != VK_F2) return;
    if (HTREEITEM sel = TreeView_GetSelection(m_tree.m_hWnd)) TreeView_EditLabel(m_tree.m_hWnd, sel);
}

void CTagEditDlg::OnSelChanged(NMTREEVIEWW*) { ShowItemPath(false); }

BOOL CTagEditDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using D = CTagEditDlg;
    using R = CtrlEntry<D>;
    static constexpr R map[] = {
        R::Notify<&D::OnSelChanged>(TVN_SELCHANGEDW, IDC_TAG_TREE),
        R::Notify<&D::OnTreeKeyDown>(TVN_KEYDOWN, IDC_TAG_TREE),
        R::Notify<&D::OnBeginLabelEdit>(TVN_BEGINLABELEDITW, IDC_TAG_TREE),
        R::Notify<&D::OnEndLabelEdit>(TVN_ENDLABELEDITW, IDC_TAG_TREE),
        R::Command<&D::OnStandard>(BN_CLICKED, IDC_DEV_STANDARD),
    };
    return DispatchControls(this, map, code, id, nm, result) || CDialog::OnControlMap(code, id, nm, result);
}

void CTagEditDlg::AppendSubtree(HTREEITEM item, int depth, CString& out) const {
    if (!IsBold(item)) {
        out.AppendFormat(L".%d", depth);
        out += Label(item);
    }
    for (HTREEITEM c = TreeView_GetChild(m_tree.m_hWnd, item); c; c = TreeView_GetNextSibling(m_tree.m_hWnd, c))
        AppendSubtree(c, depth + 1, out);
}

void CTagEditDlg::OnOK() {
    HWND tree = m_tree.m_hWnd;
    HTREEITEM root = TreeView_GetRoot(tree);
    CString names;
    if (root) {
        for (HTREEITEM c = TreeView_GetChild(tree, root); c; c = TreeView_GetNextSibling(tree, c))
            AppendSubtree(c, 1, names);
        for (HTREEITEM t = TreeView_GetNextSibling(tree, root); t; t = TreeView_GetNextSibling(tree, t))
            AppendSubtree(t, 0, names);
        m_pDevice->OpcName = Label(root);
    }
    m_pDevice->ItemNames = names;
    SaveWindowSize();
    CDialog::OnOK();
}

void CTagEditDlg::OnStandard() {
    CDeviceCfg* d = m_pDevice;
    CString names = d->ItemNames, name = d->OpcName;
    if (HTREEITEM root = TreeView_GetRoot(m_tree.m_hWnd)) d->OpcName = Label(root);
    d->BuildDefaultItemNames();
    FillTree();
    d->ItemNames = names;
    d->OpcName = name;
}

void CTagEditDlg::OnCancel() {
    SaveWindowSize();
    CDialog::OnCancel();
}

BOOL CTagEditDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
    RECT r;
    GetWindowRect(&r);
    m_nInitialWidth = Width(r);
    m_nInitialHeight = Height(r);
    m_tree.GetWindowRect(&r);
    m_nInitialTreeWidth = Width(r);
    m_nInitialTreeHeight = Height(r);
    m_rcPath = ChildRect(m_hWnd, IDC_TAG_PATH);
    m_rcOk = ChildRect(m_hWnd, IDOK);
    m_rcCancel = ChildRect(m_hWnd, IDCANCEL);
    m_rcStandard = ChildRect(m_hWnd, IDC_DEV_STANDARD);
    m_bLayoutActive = 1;
    CWinApp* app = AfxGetApp();
    int cx = (int)app->GetProfileInt(kWindowSection, kSizeX, m_nInitialWidth);
    int cy = (int)app->GetProfileInt(kWindowSection, kSizeY, m_nInitialHeight);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER);
    FillTree();
    return TRUE;
}

LRESULT CTagEditDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_GETMINMAXINFO && m_bLayoutActive) {
        auto* mm = (MINMAXINFO*)lp;
        mm->ptMinTrackSize.x = m_nInitialWidth;
        mm->ptMinTrackSize.y = m_nInitialHeight;
        return 0;
    }
    return CDialog::WindowProc(msg, wp, lp);
}

void CTagEditDlg::OnSize(UINT type, int cx, int cy) {
    Default();
    if (!m_bLayoutActive || (type != SIZE_RESTORED && type != SIZE_MAXIMIZED)) return;
    RECT r;
    GetWindowRect(&r);
    const int dW = Width(r) - m_nInitialWidth, dH = Height(r) - m_nInitialHeight;
    RECT tr;
    m_tree.GetWindowRect(&tr);
    ::MapWindowPoints(nullptr, m_hWnd, (POINT*)&tr, 2);
    int tw = m_nInitialTreeWidth + dW, th = m_nInitialTreeHeight + dH;
    m_tree.MoveWindow(tr.left, tr.top, tw < kMinTreeSize ? kMinTreeSize : tw, th < kMinTreeSize ? kMinTreeSize : th);
    RECT path = m_rcPath;
    path.right += dW;
    OffsetRect(&path, 0, dH);
    MoveChild(m_hWnd, IDC_TAG_PATH, path);
    RECT b[3] = {m_rcOk, m_rcCancel, m_rcStandard};
    const int ids[3] = {IDOK, IDCANCEL, IDC_DEV_STANDARD};
    for (int i = 0; i < 3; ++i) {
        OffsetRect(&b[i], 0, dH);
        MoveChild(m_hWnd, ids[i], b[i]);
    }
}

void CTagEditDlg::SaveWindowSize() {
    m_bLayoutActive = 0;
    if (::IsIconic(m_hWnd) || ::IsZoomed(m_hWnd)) return;
    RECT r;
    GetWindowRect(&r);
    CWinApp* app = AfxGetApp();
    app->WriteProfileInt(kWindowSection, kSizeX, Width(r));
    app->WriteProfileInt(kWindowSection, kSizeY, Height(r));
}
