// Dialogs in-process on real controls: notification tables, control
// wrappers, the by-id helpers, control binding, and the dialog fixture.
#include "framework/Dialog.h"
#include "framework/Handle.h"
#include "framework/Seams.h"
#include "tests/dialog_fixture.h"
#include "tests/framework/dialog_test_ids.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

using dlgtest::ModalRun;
using dlgtest::ModelessDialog;

namespace {

struct Event {
    UINT code;
    UINT id;
    std::wstring text;
    bool operator==(const Event& o) const { return code == o.code && id == o.id && text == o.text; }
};

std::ostream& operator<<(std::ostream& os, const Event& e) {
    std::string t(e.text.begin(), e.text.end());
    return os << "{" << (int)e.code << ", " << e.id << ", \"" << t << "\"}";
}

// A combo box object that sees its own notifications first.
class CCountingCombo : public CComboBox {
public:
    std::vector<UINT> codes;
    BOOL OnCommandReflect(UINT code) override {
        codes.push_back(code);
        return FALSE;  // the dialog's table sees it too
    }
};

class CControlsDlg : public CDialog {
public:
    CControlsDlg() : CDialog(IDD_CONTROLS) {}
    std::vector<Event> events;
    bool refuseLabelEdit = false;
    bool acceptLabel = true;
    bool holdCancel = false;
    CComboBox m_host;
    CCountingCombo m_kind;
    CListBox m_list;
    CTreeCtrl m_tree;
    CEdit m_name;
    CProgressCtrl m_progress;
    CButton m_secure;

    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, IDC_HOST, m_host);
        DDX_Control(dx, IDC_KIND, m_kind);
        DDX_Control(dx, IDC_LIST, m_list);
        DDX_Control(dx, IDC_TREE, m_tree);
        DDX_Control(dx, IDC_NAME, m_name);
        DDX_Control(dx, IDC_PROGRESS, m_progress);
        DDX_Control(dx, IDC_SECURE, m_secure);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        for (const wchar_t* s : {L"alpha", L"beta", L"gamma"}) {
            m_host.AddString(s);
            m_kind.AddString(s);
            m_list.AddString(s);
        }
        return TRUE;
    }
    BOOL OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) override {
        using R = CtrlEntry<CControlsDlg>;
        static constexpr R map[] = {
            R::Command<&CControlsDlg::OnHostEdited>(CBN_EDITCHANGE, IDC_HOST),
            R::Command<&CControlsDlg::OnHostChosen>(CBN_SELCHANGE, IDC_HOST),
            R::Command<&CControlsDlg::OnKindChosen>(CBN_SELCHANGE, IDC_KIND),
            R::Command<&CControlsDlg::OnNameChanged>(EN_CHANGE, IDC_NAME),
            R::Command<&CControlsDlg::OnListChosen>(LBN_SELCHANGE, IDC_LIST),
            R::Command<&CControlsDlg::OnMode>(BN_CLICKED, IDC_MODE1, IDC_MODE3),
            R::Command<&CControlsDlg::OnCancelClicked>(BN_CLICKED, IDCANCEL),
            R::Notify<&CControlsDlg::OnBeginLabelEdit>(TVN_BEGINLABELEDITW, IDC_TREE),
            R::Notify<&CControlsDlg::OnEndLabelEdit>(TVN_ENDLABELEDITW, IDC_TREE),
            R::Notify<&CControlsDlg::OnTreeKey>(TVN_KEYDOWN, IDC_TREE),
        };
        return DispatchControls(this, map, code, id, nm, result) || CDialog::OnControlMap(code, id, nm, result);
    }

    void OnHostEdited() { events.push_back({CBN_EDITCHANGE, IDC_HOST, GetDlgItemText(IDC_HOST).str()}); }
    void OnHostChosen() {
        CString s;
        m_host.GetLBText(m_host.GetCurSel(), s);
        events.push_back({CBN_SELCHANGE, IDC_HOST, s.str()});
    }
    void OnKindChosen() {
        CString s;
        m_kind.GetLBText(m_kind.GetCurSel(), s);
        events.push_back({CBN_SELCHANGE, IDC_KIND, s.str()});
    }
    void OnNameChanged() { events.push_back({EN_CHANGE, IDC_NAME, GetDlgItemText(IDC_NAME).str()}); }
    void OnListChosen() {
        CString s;
        m_list.GetText(m_list.GetCurSel(), s);
        events.push_back({LBN_SELCHANGE, IDC_LIST, s.str()});
    }
    void OnMode(UINT id) { events.push_back({BN_CLICKED, id, L""}); }
    void OnCancelClicked() {
        events.push_back({BN_CLICKED, IDCANCEL, L""});
        if (!holdCancel) OnCancel();
    }
    LRESULT OnBeginLabelEdit(NMTVDISPINFOW* info) {
        events.push_back({(UINT)TVN_BEGINLABELEDITW, IDC_TREE, m_tree.GetItemText(info->item.hItem).str()});
        return refuseLabelEdit;
    }
    LRESULT OnEndLabelEdit(UINT id, NMTVDISPINFOW* info) {
        events.push_back({(UINT)TVN_ENDLABELEDITW, id, info->item.pszText ? info->item.pszText : L"(null)"});
        return acceptLabel;
    }
    void OnTreeKey(NMTVKEYDOWN* key) { events.push_back({(UINT)TVN_KEYDOWN, IDC_TREE, std::to_wstring(key->wVKey)}); }
};

}  // namespace

TEST(ControlTable, CommandNotificationsReachTheirRows) {
    CControlsDlg dlg;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    d.Type(IDC_HOST, L"10.0.0.5");
    d.Choose(IDC_HOST, 2);
    d.Choose(IDC_KIND, 1);
    d.Choose(IDC_LIST, 0);
    dlg.events.clear();
    dlg.SetDlgItemText(IDC_NAME, L"Box7");  // the edit control notifies by itself
    d.Type(IDC_HOST, L"10.0.0.5");
    d.Choose(IDC_HOST, 2);
    d.Choose(IDC_KIND, 1);
    d.Choose(IDC_LIST, 0);
    const std::vector<Event> expected = {
        {EN_CHANGE, IDC_NAME, L"Box7"},      {CBN_EDITCHANGE, IDC_HOST, L"10.0.0.5"},
        {CBN_SELCHANGE, IDC_HOST, L"gamma"}, {CBN_SELCHANGE, IDC_KIND, L"beta"},
        {LBN_SELCHANGE, IDC_LIST, L"alpha"},
    };
    EXPECT_EQ(expected, dlg.events);
}

TEST(ControlTable, RangeRowPassesTheIdAndRowsComeBeforeTheBase) {
    CControlsDlg dlg;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    d.Click(IDC_MODE1);
    d.Click(IDC_MODE3);
    d.Click(IDC_MODE2);
    // a click sent without the button's handle counts too
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MODE3, BN_CLICKED), 0);
    dlg.holdCancel = true;
    d.PressCancel();
    const std::vector<Event> expected = {
        {BN_CLICKED, IDC_MODE1, L""}, {BN_CLICKED, IDC_MODE3, L""}, {BN_CLICKED, IDC_MODE2, L""},
        {BN_CLICKED, IDC_MODE3, L""}, {BN_CLICKED, IDCANCEL, L""},
    };
    EXPECT_EQ(expected, dlg.events);
    EXPECT_FALSE(d.Ended()) << "the row took Cancel before the dialog's own handling";
    dlg.holdCancel = false;
    EXPECT_EQ(IDCANCEL, d.Cancel());
    // an accelerator (code 1, no control) is no combo notification
    dlg.events.clear();
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_KIND, CBN_SELCHANGE), 0);
    EXPECT_TRUE(dlg.events.empty());
}

TEST(ControlTable, TreeLabelEditingAndKeysThroughNotifyRows) {
    CControlsDlg dlg;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    dlg.ShowWindow(SW_SHOW);
    HTREEITEM root = dlg.m_tree.InsertItem(L"Eingänge");
    HTREEITEM child = dlg.m_tree.InsertItem(L"In1", root);
    dlg.m_tree.Expand(root);
    ASSERT_TRUE(child);
    dlg.m_tree.SetFocus();

    // accepted: the tree takes the typed text
    HWND edit = dlg.m_tree.EditLabel(child);
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit, dlg.m_tree.GetEditControl());
    SetWindowTextW(edit, L"Taster");
    dlg.m_tree.EndEditLabelNow(FALSE);
    EXPECT_STREQ(L"Taster", dlg.m_tree.GetItemText(child));

    // refused by the end handler: the old text stays
    dlg.acceptLabel = false;
    edit = dlg.m_tree.EditLabel(child);
    ASSERT_TRUE(edit);
    SetWindowTextW(edit, L"Falsch");
    dlg.m_tree.EndEditLabelNow(FALSE);
    EXPECT_STREQ(L"Taster", dlg.m_tree.GetItemText(child));

    // refused at the start: no edit control
    dlg.refuseLabelEdit = true;
    EXPECT_EQ(nullptr, dlg.m_tree.EditLabel(root));

    dlg.m_tree.SendMessage(WM_KEYDOWN, VK_DELETE, 0);
    const std::vector<Event> expected = {
        {(UINT)TVN_BEGINLABELEDITW, IDC_TREE, L"In1"},      {(UINT)TVN_ENDLABELEDITW, IDC_TREE, L"Taster"},
        {(UINT)TVN_BEGINLABELEDITW, IDC_TREE, L"Taster"},   {(UINT)TVN_ENDLABELEDITW, IDC_TREE, L"Falsch"},
        {(UINT)TVN_BEGINLABELEDITW, IDC_TREE, L"Eingänge"}, {(UINT)TVN_KEYDOWN, IDC_TREE, std::to_wstring(VK_DELETE)},
    };
    // Wine's tree reports the end once more when the closing edit loses the focus.
    std::vector<Event> seen;
    for (const Event& e : dlg.events)
        if (seen.empty() || !(seen.back() == e)) seen.push_back(e);
    EXPECT_EQ(expected, seen);
}

TEST(ControlBinding, NotificationsReachTheBoundObjectInEveryRun) {
    CControlsDlg dlg;
    for (int run = 0; run < 2; ++run) {
        dlg.m_kind.codes.clear();
        ModalRun m(dlg);
        ASSERT_TRUE(m.Open()) << run;
        HWND kind = m.Item(IDC_KIND);
        // the keyboard moves a drop-down list's choice and the box notifies
        SendMessageW(kind, WM_KEYDOWN, VK_DOWN, 0);
        EXPECT_EQ(kind, dlg.m_kind.m_hWnd) << run;
        EXPECT_EQ(IDOK, m.Ok()) << run;
        ASSERT_FALSE(dlg.m_kind.codes.empty()) << run;
        EXPECT_EQ((UINT)CBN_SELCHANGE, dlg.m_kind.codes.back()) << run;
        EXPECT_EQ(nullptr, dlg.m_kind.m_hWnd) << "let go with its window, run " << run;
        ASSERT_FALSE(dlg.events.empty()) << run;
        EXPECT_EQ((Event{CBN_SELCHANGE, IDC_KIND, L"alpha"}), dlg.events.back()) << run;
    }
}

TEST(ByIdHelpers, TextCheckRadioEnableShow) {
    CControlsDlg dlg;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    dlg.SetDlgItemText(IDC_NAME, L"Gerät 1");
    EXPECT_STREQ(L"Gerät 1", dlg.GetDlgItemText(IDC_NAME));

    dlg.SetDlgItemCheck(IDC_SECURE, true);
    EXPECT_TRUE(dlg.GetDlgItemCheck(IDC_SECURE));
    EXPECT_TRUE(d.Checked(IDC_SECURE));
    EXPECT_EQ(BST_CHECKED, dlg.m_secure.GetCheck());
    dlg.SetDlgItemCheck(IDC_SECURE, false);
    EXPECT_FALSE(dlg.GetDlgItemCheck(IDC_SECURE));

    EXPECT_EQ(0, dlg.GetCheckedRadioButton(IDC_MODE1, IDC_MODE3));
    dlg.CheckRadioButton(IDC_MODE1, IDC_MODE3, IDC_MODE2);
    EXPECT_EQ(IDC_MODE2, dlg.GetCheckedRadioButton(IDC_MODE1, IDC_MODE3));
    dlg.CheckRadioButton(IDC_MODE1, IDC_MODE3, IDC_MODE3);
    EXPECT_EQ(IDC_MODE3, dlg.GetCheckedRadioButton(IDC_MODE1, IDC_MODE3));
    EXPECT_FALSE(d.Checked(IDC_MODE2));

    dlg.EnableDlgItem(IDC_RUN, FALSE);
    EXPECT_FALSE(dlg.IsDlgItemEnabled(IDC_RUN));
    EXPECT_FALSE(d.Enabled(IDC_RUN));
    dlg.EnableDlgItem(IDC_RUN);
    EXPECT_TRUE(d.Enabled(IDC_RUN));
    dlg.ShowDlgItem(IDC_EXTRA, FALSE);
    EXPECT_FALSE(d.Visible(IDC_EXTRA));
    dlg.ShowDlgItem(IDC_EXTRA);
    EXPECT_TRUE(d.Visible(IDC_EXTRA));
}

TEST(ByIdHelpers, IntegersWithSuccessFlag) {
    CControlsDlg dlg;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    dlg.SetDlgItemSigned(IDC_PORT, -25);
    EXPECT_EQ(L"-25", d.Text(IDC_PORT));
    dlg.SetDlgItemUnsigned(IDC_PORT, 4294967295u);
    EXPECT_EQ(L"4294967295", d.Text(IDC_PORT));

    const struct {
        const wchar_t* text;
        bool signedOk;
        int signedValue;
        bool unsignedOk;
        UINT unsignedValue;
    } cases[] = {
        {L"80", true, 80, true, 80},
        {L" 49153 ", true, 49153, true, 49153},
        {L"-5", true, -5, false, 0},
        {L"+7", true, 7, true, 7},
        {L"0", true, 0, true, 0},
        {L"2147483647", true, 2147483647, true, 2147483647u},
        {L"-2147483648", true, (-2147483647 - 1), false, 0},
        {L"2147483648", false, 0, true, 2147483648u},
        {L"4294967295", false, 0, true, 4294967295u},
        {L"4294967296", false, 0, false, 0},
        {L"99999999999999999999", false, 0, false, 0},
        {L"", false, 0, false, 0},
        {L"  ", false, 0, false, 0},
        {L"12x", false, 0, false, 0},
        {L"1 2", false, 0, false, 0},
        {L"-", false, 0, false, 0},
        {L"0x10", false, 0, false, 0},
    };
    for (const auto& c : cases) {
        dlg.SetDlgItemText(IDC_PORT, c.text);
        int s = 12345;
        UINT u = 54321;
        std::string name(c.text, c.text + wcslen(c.text));
        EXPECT_EQ(c.signedOk, dlg.GetDlgItemSigned(IDC_PORT, s)) << name;
        EXPECT_EQ(c.signedOk ? c.signedValue : 12345, s) << name;
        EXPECT_EQ(c.unsignedOk, dlg.GetDlgItemUnsigned(IDC_PORT, u)) << name;
        EXPECT_EQ(c.unsignedOk ? c.unsignedValue : 54321u, u) << name;
    }
}

TEST(ByIdHelpers, IntegersClampedToTheFieldsRange) {
    CControlsDlg dlg;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    const long long kIntMin = INT_MIN, kIntMax = INT_MAX, kUintMax = UINT_MAX;
    const struct {
        const wchar_t* text;
        long long lo, hi;
        bool ok;
        long long value;
    } cases[] = {
        {L"800", kIntMin, kIntMax, true, 800},
        {L" -7 ", kIntMin, kIntMax, true, -7},
        {L"2147483647", kIntMin, kIntMax, true, kIntMax},
        {L"2147483648", kIntMin, kIntMax, true, kIntMax},
        {L"99999999999999999999999", kIntMin, kIntMax, true, kIntMax},
        {L"-2147483648", kIntMin, kIntMax, true, kIntMin},
        {L"-2147483649", kIntMin, kIntMax, true, kIntMin},
        {L"-99999999999999999999999", kIntMin, kIntMax, true, kIntMin},
        {L"4294967295", 0, kUintMax, true, kUintMax},
        {L"4294967296", 0, kUintMax, true, kUintMax},
        {L"-1", 0, kUintMax, true, 0},
        {L"+0", 0, kUintMax, true, 0},
        {L"128", 0, 127, true, 127},
        {L"12x", kIntMin, kIntMax, false, 0},
        {L"", 0, kUintMax, false, 0},
        {L" ", 0, kUintMax, false, 0},
        {L"-", kIntMin, kIntMax, false, 0},
        {L"1e3", kIntMin, kIntMax, false, 0},
        {L"5", 9, 1, false, 0},
    };
    for (const auto& c : cases) {
        dlg.SetDlgItemText(IDC_PORT, c.text);
        long long v = 4242;
        std::string name(c.text, c.text + wcslen(c.text));
        EXPECT_EQ(c.ok, dlg.GetDlgItemClamped(IDC_PORT, c.lo, c.hi, v)) << name;
        EXPECT_EQ(c.ok ? c.value : 4242, v) << name;
    }
}

TEST(Controls, ComboListBoxEditProgress) {
    CControlsDlg dlg;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    CComboBox& combo = dlg.m_host;
    EXPECT_EQ(3, combo.GetCount());
    EXPECT_EQ(1, combo.InsertString(1, L"delta"));
    EXPECT_EQ(2, combo.FindStringExact(-1, L"BETA"));
    EXPECT_EQ(CB_ERR, combo.FindStringExact(-1, L"bet"));
    combo.SetItemData(2, (DWORD_PTR)0xBEEF);
    EXPECT_EQ((DWORD_PTR)0xBEEF, combo.GetItemData(2));
    EXPECT_EQ(3, combo.SelectString(-1, L"gam"));
    EXPECT_EQ(3, combo.GetCurSel());
    CString text;
    combo.GetLBText(1, text);
    EXPECT_STREQ(L"delta", text);
    combo.GetLBText(17, text);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(3, combo.DeleteString(0));
    combo.LimitText(4);
    combo.ResetContent();
    EXPECT_EQ(0, combo.GetCount());
    EXPECT_EQ(CB_ERR, combo.GetCurSel());

    CListBox& list = dlg.m_list;
    EXPECT_EQ(3, list.GetCount());
    list.SetCurSel(2);
    EXPECT_EQ(2, list.GetCurSel());
    list.GetText(2, text);
    EXPECT_STREQ(L"gamma", text);
    list.SetItemData(0, 77);
    EXPECT_EQ((DWORD_PTR)77, list.GetItemData(0));
    EXPECT_EQ(1, list.FindStringExact(-1, L"beta"));
    EXPECT_EQ(2, list.DeleteString(1));

    CEdit& edit = dlg.m_name;
    edit.SetLimitText(5);
    EXPECT_EQ(5u, edit.GetLimitText());
    edit.SetWindowText(L"abc");
    edit.SetSel(1, 2);
    int a = -1, b = -1;
    edit.GetSel(a, b);
    EXPECT_EQ(1, a);
    EXPECT_EQ(2, b);
    edit.ReplaceSel(L"XYZ");
    EXPECT_EQ(L"aXYZc", d.Text(IDC_NAME));
    // the limit holds for typing, not for the program's own text
    edit.SetSel(5, 5);
    edit.SendMessage(WM_CHAR, L'q', 0);
    EXPECT_EQ(L"aXYZc", d.Text(IDC_NAME));

    CProgressCtrl& progress = dlg.m_progress;
    progress.SetRange32(0, 40);
    int lo = -1, hi = -1;
    progress.GetRange(lo, hi);
    EXPECT_EQ(0, lo);
    EXPECT_EQ(40, hi);
    progress.SetPos(10);
    progress.SetStep(5);
    progress.StepIt();
    progress.OffsetPos(3);
    EXPECT_EQ(18, progress.GetPos());
    progress.SetPos(99);
    EXPECT_EQ(40, progress.GetPos());
}

TEST(Controls, TreeItemsAndData) {
    CControlsDlg dlg;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    CTreeCtrl& tree = dlg.m_tree;
    HTREEITEM a = tree.InsertItem(L"Trcv1");
    HTREEITEM b = tree.InsertItem(L"Trcv2");
    HTREEITEM a1 = tree.InsertItem(L"EnO1", a);
    HTREEITEM a2 = tree.InsertItem(L"EnO2", a);
    EXPECT_EQ(4u, tree.GetCount());
    EXPECT_EQ(a, tree.GetRootItem());
    EXPECT_EQ(b, tree.GetNextSiblingItem(a));
    EXPECT_EQ(a, tree.GetPrevSiblingItem(b));
    EXPECT_EQ(a1, tree.GetChildItem(a));
    EXPECT_EQ(a2, tree.GetNextSiblingItem(a1));
    EXPECT_EQ(a, tree.GetParentItem(a2));
    EXPECT_EQ(nullptr, tree.GetChildItem(b));
    EXPECT_TRUE(tree.SetItemData(a2, (DWORD_PTR)0x12345678));
    EXPECT_EQ((DWORD_PTR)0x12345678, tree.GetItemData(a2));
    std::wstring longText(600, L'x');
    EXPECT_TRUE(tree.SetItemText(a1, longText.c_str()));
    CString got = tree.GetItemText(a1);
    EXPECT_GE(got.GetLength(), 255) << "long labels come back whole as far as the tree keeps them";
    EXPECT_TRUE(tree.SelectItem(a2));
    EXPECT_EQ(a2, tree.GetSelectedItem());
    EXPECT_TRUE(tree.DeleteItem(a));
    EXPECT_EQ(1u, tree.GetCount());
    EXPECT_TRUE(tree.DeleteAllItems());
    EXPECT_EQ(0u, tree.GetCount());
}

TEST(Controls, ImageListIconsFromAStrip) {
    CImageList images;
    ASSERT_TRUE(images.Create(IDB_STRIP, 16, 1, RGB(255, 0, 255)));
    EXPECT_EQ(17, images.GetImageCount());
    OwnedIcon icon(images.ExtractIcon(3));
    EXPECT_TRUE(icon);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon.get(), &info));
    BITMAP bm = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    EXPECT_EQ(16, bm.bmWidth);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_EQ(nullptr, images.ExtractIcon(17));

    CControlsDlg dlg;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    EXPECT_EQ(nullptr, dlg.SetIcon(icon.get(), TRUE));
    EXPECT_EQ(icon.get(), (HICON)dlg.SendMessage(WM_GETICON, ICON_BIG, 0));
}

// An owner-data list on a plain parent window that answers for every row
// with its index and column, and notes which rows it was asked for.
namespace {

std::vector<int> g_askedRows;
int g_textBase = 0;

LRESULT CALLBACK OwnerDataParentProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == LVN_GETDISPINFOW) {
        NMLVDISPINFOW* di = reinterpret_cast<NMLVDISPINFOW*>(lp);
        g_askedRows.push_back(di->item.iItem);
        if ((di->item.mask & LVIF_TEXT) && di->item.pszText && di->item.cchTextMax > 0) {
            std::wstring t = std::to_wstring(g_textBase + di->item.iItem) + L"/" + std::to_wstring(di->item.iSubItem);
            lstrcpynW(di->item.pszText, t.c_str(), di->item.cchTextMax);
        }
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

}  // namespace

TEST(Controls, OwnerDataListCountTextStatesAndRedraw) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = OwnerDataParentProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KrvOwnerDataParent";
    RegisterClassW(&wc);
    HWND parent = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(parent);
    CListCtrl list;
    list.Attach(CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, 0, 0, 380,
                                280, parent, (HMENU)1, wc.hInstance, nullptr));
    ASSERT_TRUE(list.GetSafeHwnd());
    list.InsertColumn(0, L"A", LVCFMT_LEFT, 100);
    list.InsertColumn(1, L"B", LVCFMT_LEFT, 100);

    EXPECT_TRUE(list.SetItemCountEx(100000));
    EXPECT_EQ(100000, list.GetItemCount());
    EXPECT_STREQ(L"99999/1", list.GetItemText(99999, 1));
    EXPECT_EQ(0u, list.GetItemData(7)) << "an owner-data list keeps no item data";
    // The control keeps the states.
    list.SetItemState(5, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(70000, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(2u, list.GetSelectedCount());
    EXPECT_EQ(5, list.GetNextItem(-1, LVNI_SELECTED));
    EXPECT_EQ(70000, list.GetNextItem(5, LVNI_SELECTED));
    EXPECT_EQ(70000, list.GetNextItem(-1, LVNI_FOCUSED));
    EXPECT_LE(70000 - list.GetCountPerPage(), list.GetTopIndex()) << "the focus brings its row into view";

    // Redrawn rows are painted anew: only their area is out of date.
    HWND h = list.GetSafeHwnd();
    EXPECT_TRUE(list.Scroll(0, -1000000));
    EXPECT_EQ(0, list.GetTopIndex());
    ValidateRect(h, nullptr);
    EXPECT_TRUE(list.RedrawItems(2, 3));
    RECT two, three, nine;
    ASSERT_TRUE(list.GetItemRect(2, &two, LVIR_BOUNDS));
    ASSERT_TRUE(list.GetItemRect(3, &three, LVIR_BOUNDS));
    ASSERT_TRUE(list.GetItemRect(9, &nine, LVIR_BOUNDS));
    HRGN update = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(NULLREGION, GetUpdateRgn(h, update, FALSE));
    EXPECT_TRUE(RectInRegion(update, &two));
    EXPECT_TRUE(RectInRegion(update, &three));
    EXPECT_FALSE(RectInRegion(update, &nine));
    DeleteObject(update);
    // Painting asks the parent for them, with its new texts.
    g_askedRows.clear();
    g_textBase = 1000;
    UpdateWindow(h);
    EXPECT_NE(g_askedRows.end(), std::find(g_askedRows.begin(), g_askedRows.end(), 3));
    EXPECT_STREQ(L"1003/0", list.GetItemText(3, 0));

    // A smaller count drops the states of the rows beyond it.
    EXPECT_TRUE(list.SetItemCountEx(10, LVSICF_NOSCROLL));
    EXPECT_EQ(10, list.GetItemCount());
    EXPECT_EQ(1u, list.GetSelectedCount());
    EXPECT_EQ(5, list.GetNextItem(-1, LVNI_SELECTED));
    g_textBase = 0;
    DestroyWindow(parent);
}

// ---------------------------------------------------------------- the fixture

namespace {

struct Record {
    CString name;
    UINT port = 0;
    bool secure = false;
    int mode = 0;  // 0..2
    int kind = 0;
};

const wchar_t* const kKinds[] = {L"Digital", L"Analog", L"Thermometer"};

// Record in, controls, OK, record out: the shape of a device dialog.
class CRecordDlg : public CDialog {
public:
    CRecordDlg() : CDialog(IDD_RECORD) {}
    Record* m_pRec = nullptr;
    CComboBox m_kind;
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_KIND, m_kind); }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        for (const wchar_t* k : kKinds) m_kind.AddString(k);
        SetDlgItemText(IDC_NAME, m_pRec->name);
        SetDlgItemUnsigned(IDC_PORT, m_pRec->port);
        SetDlgItemCheck(IDC_SECURE, m_pRec->secure);
        CheckRadioButton(IDC_MODE1, IDC_MODE3, IDC_MODE1 + m_pRec->mode);
        m_kind.SetCurSel(m_pRec->kind);
        return TRUE;
    }
    void OnOK() override {
        GetDlgItemText(IDC_NAME, m_pRec->name);
        UINT port;
        if (GetDlgItemUnsigned(IDC_PORT, port)) m_pRec->port = port;
        m_pRec->secure = GetDlgItemCheck(IDC_SECURE);
        int checked = GetCheckedRadioButton(IDC_MODE1, IDC_MODE3);
        if (checked) m_pRec->mode = checked - IDC_MODE1;
        m_pRec->kind = m_kind.GetCurSel();
        CDialog::OnOK();
    }
};

Record Sample() {
    Record r;
    r.name = L"Box3";
    r.port = 80;
    r.secure = false;
    r.mode = 1;
    r.kind = 2;
    return r;
}

void ExpectSame(const Record& a, const Record& b) {
    EXPECT_STREQ(a.name, b.name);
    EXPECT_EQ(a.port, b.port);
    EXPECT_EQ(a.secure, b.secure);
    EXPECT_EQ(a.mode, b.mode);
    EXPECT_EQ(a.kind, b.kind);
}

}  // namespace

TEST(DialogFixture, ModelessRecordInControlsOkRecordOut) {
    Record rec = Sample();
    CRecordDlg dlg;
    dlg.m_pRec = &rec;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    EXPECT_EQ(L"Gerät", d.Caption());
    EXPECT_EQ(L"Box3", d.Text(IDC_NAME));
    EXPECT_EQ(L"80", d.Text(IDC_PORT));
    EXPECT_FALSE(d.Checked(IDC_SECURE));
    EXPECT_TRUE(d.Checked(IDC_MODE2));
    EXPECT_EQ(2, d.Selection(IDC_KIND));
    EXPECT_EQ((std::vector<std::wstring>{L"Digital", L"Analog", L"Thermometer"}), d.Items(IDC_KIND));

    d.Type(IDC_NAME, L"Box9");
    d.Type(IDC_PORT, L"8080");
    d.Click(IDC_SECURE);
    d.Click(IDC_MODE3);
    EXPECT_TRUE(d.Choose(IDC_KIND, L"Analog"));
    ExpectSame(Sample(), rec);  // nothing written before OK
    EXPECT_EQ(IDOK, d.Ok());
    EXPECT_STREQ(L"Box9", rec.name);
    EXPECT_EQ(8080u, rec.port);
    EXPECT_TRUE(rec.secure);
    EXPECT_EQ(2, rec.mode);
    EXPECT_EQ(1, rec.kind);
}

TEST(DialogFixture, ModelessCancelLeavesTheRecord) {
    Record rec = Sample();
    CRecordDlg dlg;
    dlg.m_pRec = &rec;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    d.Type(IDC_NAME, L"Anders");
    d.Click(IDC_SECURE);
    d.Choose(IDC_KIND, 0);
    EXPECT_EQ(IDCANCEL, d.Cancel());
    ExpectSame(Sample(), rec);
}

TEST(DialogFixture, ModalRunOnItsOwnThread) {
    Record rec = Sample();
    CRecordDlg dlg;
    dlg.m_pRec = &rec;
    {
        ModalRun m(dlg);
        ASSERT_TRUE(m.Open());
        EXPECT_EQ(L"Box3", m.Text(IDC_NAME));
        m.Type(IDC_PORT, L"49153");
        m.Click(IDC_MODE1);
        EXPECT_EQ(IDOK, m.Ok());
    }
    EXPECT_EQ(49153u, rec.port);
    EXPECT_EQ(0, rec.mode);
    EXPECT_STREQ(L"Box3", rec.name);

    // the same object again: Escape through the modal loop's dialog keys
    {
        ModalRun m(dlg);
        ASSERT_TRUE(m.Open());
        m.Type(IDC_PORT, L"1");
        PostMessageW(m.Item(IDC_NAME), WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(IDCANCEL, m.Wait());
    }
    EXPECT_EQ(49153u, rec.port);
}

TEST(DialogFixture, DisabledOkIsNotPressed) {
    Record rec = Sample();
    CRecordDlg dlg;
    dlg.m_pRec = &rec;
    ModelessDialog d(dlg);
    ASSERT_TRUE(d.Open());
    EnableWindow(d.Item(IDOK), FALSE);
    d.Type(IDC_NAME, L"Neu");
    EXPECT_EQ(-1, d.Ok());
    EXPECT_FALSE(d.Ended());
    EXPECT_STREQ(L"Box3", rec.name);
}

// ---------------------------------------------------------------- owners

namespace {

// A plain top-level window of the test, at a known place.
HWND MakeTopLevel(const wchar_t* title, int x, int y, int cx, int cy, HWND owner = nullptr,
                  DWORD style = WS_OVERLAPPEDWINDOW) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KrvOwnerTestWnd";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, title, style | WS_VISIBLE, x, y, cx, cy, owner, nullptr, wc.hInstance,
                           nullptr);
}

class COwnedRecordDlg : public CRecordDlg {
public:
    explicit COwnedRecordDlg(CWnd* owner) { m_pParentWnd = owner; }
    std::function<void(HWND)> onInit;
    BOOL OnInitDialog() override {
        CRecordDlg::OnInitDialog();
        if (onInit) onInit(m_hWnd);
        return TRUE;
    }
};

HWND g_destroyThis;
void CALLBACK DestroyTick(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (g_destroyThis) DestroyWindow(g_destroyThis);
}
// Ends a run that would otherwise wait for ever.
void CALLBACK QuitTick(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    PostQuitMessage(0);
}

}  // namespace

// A modal window goes to the window it is opened for, or to the dialog that
// runs over it; a passing popup (a note's carrier, a tip) hands it on to its
// own owner, since it would take the modal window with it when it goes.
TEST(ModalOwner, NeverAPassingPopup) {
    HWND frame = MakeTopLevel(L"Rahmen", 50, 50, 600, 400);
    ASSERT_TRUE(frame);
    HWND child = CreateWindowExW(0, L"BUTTON", L"Speichern", WS_CHILD | WS_VISIBLE, 10, 10, 80, 24, frame, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(frame, KrvModalOwner(frame));
    EXPECT_EQ(frame, KrvModalOwner(child));
    EXPECT_EQ(nullptr, KrvModalOwner(nullptr));

    // an off-screen popup that took the activation, as a balloon's carrier does
    HWND carrier = MakeTopLevel(L"", 30000, 30000, 10, 10, frame, WS_POPUP);
    ASSERT_TRUE(carrier);
    SetActiveWindow(carrier);
    ASSERT_EQ(carrier, GetLastActivePopup(frame));
    EXPECT_EQ(frame, KrvModalOwner(frame));
    EXPECT_EQ(frame, KrvModalOwner(carrier));
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, L"", WS_POPUP | TTS_ALWAYSTIP, 0, 0, 10, 10, frame,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(frame, KrvModalOwner(tip));
    DestroyWindow(tip);
    DestroyWindow(carrier);
    // a captionless popup owned by nothing is a window of its own
    HWND own = MakeTopLevel(L"", 10, 10, 200, 100, nullptr, WS_POPUP);
    EXPECT_EQ(own, KrvModalOwner(own));
    DestroyWindow(own);

    // a dialog running over the frame takes the next one on top of it
    Record rec = Sample();
    CRecordDlg dlg;
    dlg.m_pRec = &rec;
    CWnd owner;
    owner.Attach(frame);
    ModelessDialog d(dlg, &owner);
    ASSERT_TRUE(d.Open());
    ShowWindow(d.Hwnd(), SW_SHOW);
    SetActiveWindow(d.Hwnd());
    EXPECT_EQ(d.Hwnd(), KrvModalOwner(frame));
    ShowWindow(d.Hwnd(), SW_HIDE);  // ended, on its way out
    EXPECT_EQ(frame, KrvModalOwner(frame));
    owner.Detach();
    DestroyWindow(frame);
}

// A dialog whose window goes behind its back (its owner was destroyed)
// ends its run; the owner is enabled again.
TEST(ModalOwner, ARunWhoseWindowWentEnds) {
    HWND frame = MakeTopLevel(L"Rahmen", 50, 50, 600, 400);
    ASSERT_TRUE(frame);
    CWnd owner;
    owner.Attach(frame);
    Record rec = Sample();
    COwnedRecordDlg dlg(&owner);
    dlg.m_pRec = &rec;
    dlg.onInit = [](HWND h) { g_destroyThis = h; };
    UINT_PTR timer = SetTimer(nullptr, 0, 100, DestroyTick);
    UINT_PTR fallback = SetTimer(nullptr, 0, 4000, QuitTick);
    DWORD start = GetTickCount();
    INT_PTR r = dlg.DoModal();
    DWORD took = GetTickCount() - start;
    KillTimer(nullptr, timer);
    KillTimer(nullptr, fallback);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {}
    EXPECT_LT(took, 3000u);
    EXPECT_EQ(-1, r);
    EXPECT_TRUE(IsWindowEnabled(frame));
    g_destroyThis = nullptr;
    owner.Detach();
    DestroyWindow(frame);
}

// ---------------------------------------------------------------- placing

namespace {

RECT g_seenRect;
HWND g_seenDialog;
BOOL CALLBACK FindShownDialog(HWND w, LPARAM) {
    if (dlgtest::ClassOf(w) == L"#32770" && IsWindowVisible(w)) {
        g_seenDialog = w;
        return FALSE;
    }
    return TRUE;
}
// Notes where the running dialog stands, then cancels it.
void CALLBACK LookAndCancelTick(HWND, UINT, UINT_PTR id, DWORD) {
    g_seenDialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindShownDialog, 0);
    if (!g_seenDialog) return;
    KillTimer(nullptr, id);
    GetWindowRect(g_seenDialog, &g_seenRect);
    PostMessageW(g_seenDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

RECT RunAndLook(CDialog& dlg) {
    g_seenRect = RECT{};
    UINT_PTR timer = SetTimer(nullptr, 0, 50, LookAndCancelTick);
    UINT_PTR fallback = SetTimer(nullptr, 0, 5000, QuitTick);
    dlg.DoModal();
    KillTimer(nullptr, timer);
    KillTimer(nullptr, fallback);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {}
    return g_seenRect;
}

}  // namespace

// A dialog that its initialisation leaves where it is opens centred over
// its owner, kept on the screen; one that moves itself stays where it went.
TEST(DialogPlace, CentredOverItsOwnerUnlessItMovesItself) {
    struct Case {
        const char* what;
        RECT owner;  // left, top, right, bottom
        std::function<void(HWND)> init;
        int x, y;  // expected top-left; -1: centred over the owner
    } cases[] = {
        {"left alone", {100, 80, 900, 680}, nullptr, -1, -1},
        {"resized only",
         {300, 200, 700, 500},
         [](HWND h) { SetWindowPos(h, nullptr, 0, 0, 420, 260, SWP_NOMOVE | SWP_NOZORDER); },
         -1,
         -1},
        {"moved by itself",
         {100, 80, 900, 680},
         [](HWND h) { SetWindowPos(h, nullptr, 13, 17, 0, 0, SWP_NOSIZE | SWP_NOZORDER); },
         13,
         17},
        {"owner at the screen's corner", {-200, -150, 100, 50}, nullptr, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HWND frame = MakeTopLevel(L"Rahmen", c.owner.left, c.owner.top, c.owner.right - c.owner.left,
                                  c.owner.bottom - c.owner.top);
        ASSERT_TRUE(frame);
        CWnd owner;
        owner.Attach(frame);
        Record rec = Sample();
        COwnedRecordDlg dlg(&owner);
        dlg.m_pRec = &rec;
        dlg.onInit = c.init;
        RECT r = RunAndLook(dlg);
        ASSERT_GT(r.right, r.left);
        if (c.x < 0) {
            RECT o;
            GetWindowRect(frame, &o);
            EXPECT_LE(abs((r.left + r.right) - (o.left + o.right)), 1) << r.left << "," << r.top;
            EXPECT_LE(abs((r.top + r.bottom) - (o.top + o.bottom)), 1) << r.left << "," << r.top;
        } else {
            EXPECT_EQ(c.x, r.left);
            EXPECT_EQ(c.y, r.top);
        }
        owner.Detach();
        DestroyWindow(frame);
    }
}
