#include "editor/view.h"
#include "editor/doc.h"
#include "editor/main_frame.h"
#include "config/device_cfg.h"
#include "editor/server_control.h"
#include "framework/WinApp.h"
#include "framework/Answering.h"
#include <algorithm>
#include <string>
#include <unordered_map>

CTamselView::~CTamselView() = default;

// Inserting rows one by one costs the control time per row; an owner-data
// list takes thousands of rows in one count change.
BOOL CTamselView::PreCreateWindow(CREATESTRUCTW& cs) {
    cs.style |= LVS_OWNERDATA;
    return CListView::PreCreateWindow(cs);
}

LRESULT CTamselView::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT r = CListView::WindowProc(msg, wp, lp);
    // An owner-data list reports a change of a whole range (shift with a
    // click or a key, dragging a frame) in one notice or none per row: after
    // any input the selection summary is taken anew when next needed.
    if ((msg >= WM_KEYFIRST && msg <= WM_KEYLAST) ||
        (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST && msg != WM_MOUSEMOVE) ||
        (msg == WM_MOUSEMOVE && (wp & (MK_LBUTTON | MK_RBUTTON)))) {
        m_bSelDirty = 1;
        m_bSelRange = 1;
    }
    return r;
}

CTamselDoc* CTamselView::GetDocument() const { return static_cast<CTamselDoc*>(m_pDocument); }

int CTamselView::OnCreate(LPCREATESTRUCTW cs) {
    if (CListView::OnCreate(cs) == -1) return -1;
    CListCtrl& list = GetListCtrl();
    ModifyStyle(LVS_TYPEMASK | LVS_SHOWSELALWAYS, LVS_REPORT | LVS_SHOWSELALWAYS);
    list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_FULLROWSELECT);

    m_nColumns = 0;
    CString text;
    text.LoadString(IDS_COLUMNS);
    lstrcpynW(m_columnText, text, 1000);
    m_columnCaptions[m_nColumns++] = m_columnText;
    for (wchar_t* p = m_columnText; m_nColumns < 9 && (p = wcschr(p, L'|')) != nullptr;) {
        *p++ = 0;
        m_columnCaptions[m_nColumns++] = p;
    }
    InsertColumns(list);

    m_imageList.Create(IDB_DEVICES, 18, 1, RGB(255, 0, 255));
    list.SetImageList(m_imageList, LVSIL_SMALL);
    return 0;
}

void CTamselView::InsertColumns(CListCtrl& list) const {
    list.InsertColumn(0, L"", LVCFMT_LEFT, 22);
    for (int c = 1; c < m_nColumns; ++c)
        list.InsertColumn(c, m_columnCaptions[c], (c == 3 || c == 4) ? LVCFMT_RIGHT : LVCFMT_LEFT);
}

void CTamselView::OnSize(UINT type, int cx, int cy) {
    Default();
    if (m_nColumns > 0) GetListCtrl().SetColumnWidth(m_nColumns - 1, LVSCW_AUTOSIZE_USEHEADER);
}

CDeviceCfg* CTamselView::GetRowDevice(int row) const {
    return row >= 0 && row < (int)m_rows.size() ? m_rows[(size_t)row] : nullptr;
}

std::vector<CDeviceCfg*> CTamselView::GetSelectedDevices() const {
    std::vector<CDeviceCfg*> out;
    CListCtrl& list = GetListCtrl();
    CAnswerPoll answer;
    for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list.GetNextItem(i, LVNI_SELECTED)) {
        if (CDeviceCfg* d = GetRowDevice(i)) out.push_back(d);
        answer();
    }
    return out;
}

// Rows hold only their record: the list asks for texts and images when it
// shows or hands them out (LVN_GETDISPINFO), so inserting and changing rows
// costs no text work per row.
int CTamselView::InsertDevice(CDeviceCfg* dev, int select) {
    if (!dev) return -1;
    const int n = (int)m_rows.size();
    if (n == 0) PostMessage(WM_COMMAND, ID_VIEW_AUTOSIZE, 0);
    dev->ImageIndex = RowImage(dev->DeviceType, dev->Disable != 0);
    m_rows.push_back(dev);
    m_nSortColumn = -1;
    m_bSelDirty = 1;
    const UINT state = select >= 1 ? LVIS_SELECTED | (select >= 2 ? LVIS_FOCUSED : 0) : 0;
    if (m_nRowBatch > 0) {
        if (state) m_batchStates.push_back({n, state});
        if (select >= 2) m_nBatchVisible = n;
        return n;
    }
    CListCtrl& list = GetListCtrl();
    list.SetItemCountEx(n + 1, LVSICF_NOSCROLL);
    if (state) list.SetItemState(n, state, state);
    if (select >= 2) list.EnsureVisible(n, FALSE);
    return n;
}

void CTamselView::EndRows() {
    if (m_nRowBatch > 0 && --m_nRowBatch > 0) return;
    CListCtrl& list = GetListCtrl();
    if (list.GetItemCount() != (int)m_rows.size()) list.SetItemCountEx((int)m_rows.size(), LVSICF_NOSCROLL);
    CAnswerPoll answer;
    for (const auto& s : m_batchStates) {
        list.SetItemState(s.first, s.second, s.second);
        answer();
    }
    if (m_nBatchVisible >= 0) list.EnsureVisible(m_nBatchVisible, FALSE);
    m_batchStates.clear();
    m_nBatchVisible = -1;
}

void CTamselView::DeleteRow(int row) {
    if (row < 0 || row >= (int)m_rows.size()) return;
    // The control shifts the states below the row itself.
    GetListCtrl().DeleteItem(row);
    m_selBefore.erase(m_rows[(size_t)row]);
    m_rows.erase(m_rows.begin() + row);
    m_bSelDirty = 1;
}

void CTamselView::ClearRows() {
    if (m_hWnd) GetListCtrl().DeleteAllItems();
    m_rows.clear();
    m_batchStates.clear();
    m_nBatchVisible = -1;
    m_bSelDirty = 1;
}

void CTamselView::UpdateDeviceRow(int row) {
    m_nSortColumn = -1;
    m_bSelDirty = 1;  // the kind or the state may have changed
    CDeviceCfg* d = GetRowDevice(row);
    if (!d) return;
    d->ImageIndex = RowImage(d->DeviceType, d->Disable != 0);
    GetListCtrl().RedrawItems(row, row);
}

CString CTamselView::RowText(CDeviceCfg* d, int column) {
    switch (column) {
    case 1: return d->DeviceType == kTypeGlobal ? CString() : d->OpcName;
    case 2: return d->TargetHost;
    case 3: return RowPortText(d->DeviceType, d->BinaryPort, d->HttpPort, d->SerialNo);
    case 4: {
        const int kind = d->GetKind();
        if (kind != kKindGlobal && kind != kKindRadioModule) return RowTimingText(d->MinIntervalTicks, d->MaxIdleTicks);
        return CString();
    }
    case 5: return d->GetTypeDescription();
    default: return CString();
    }
}

// Row by row the control repaints each row it deselects: with the drawing
// off, the list is painted once afterwards.
void CTamselView::DeselectAll() {
    CListCtrl& list = GetListCtrl();
    if (list.GetSelectedCount() == 0) return;
    SetRedraw(FALSE);
    list.SetItemState(-1, 0, LVIS_SELECTED);
    SetRedraw(TRUE);
}

// The list control sizes a column by asking for and measuring the text of
// every row, a DC each time: seconds for ten thousand rows. The rows with
// the widest texts are found here with one DC; a hidden list of the same
// columns, font and images holding only those rows then sizes each column
// as the list itself would. The last column fills the rest either way.
void CTamselView::AutoSizeColumns() {
    CListCtrl& list = GetListCtrl();
    const int last = m_nColumns - 1;
    CListCtrl sizer;
    if (last > 0) {
        RECT r;
        GetClientRect(&r);
        sizer.Attach(::CreateWindowExW(0, WC_LISTVIEWW, L"",
                                       WS_CHILD | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS, 0, 0, r.right,
                                       r.bottom, ::GetParent(m_hWnd), nullptr, AfxGetInstanceHandle(), nullptr));
    }
    if (sizer.GetSafeHwnd()) {
        if (HFONT font = (HFONT)list.SendMessage(WM_GETFONT)) sizer.SendMessage(WM_SETFONT, (WPARAM)font, FALSE);
        sizer.SetExtendedStyle(list.GetExtendedStyle());
        sizer.SetImageList(m_imageList, LVSIL_SMALL);
        InsertColumns(sizer);
        int k = 0;
        for (int row : WidestRows()) {
            CDeviceCfg* d = m_rows[(size_t)row];
            if (sizer.InsertItem(k, RowText(d, 0), d->ImageIndex) < 0) continue;
            for (int c = 1; c < m_nColumns; ++c) sizer.SetItemText(k, c, RowText(d, c));
            ++k;
        }
    }
    for (int c = 0; c < m_nColumns; ++c) {
        if (c < last && sizer.GetSafeHwnd()) {
            sizer.SetColumnWidth(c, LVSCW_AUTOSIZE_USEHEADER);
            list.SetColumnWidth(c, sizer.GetColumnWidth(c));
        } else {
            list.SetColumnWidth(c, LVSCW_AUTOSIZE_USEHEADER);
        }
        if (c < last) KeepCaptionVisible(c);
    }
    if (sizer.GetSafeHwnd()) ::DestroyWindow(sizer.Detach());
}

namespace {

// Advance widths of the characters met so far, each asked of the font once.
class CCharWidths {
public:
    explicit CCharWidths(HDC dc) : m_dc(dc), m_widths(65536, -1) {}
    int Of(const wchar_t* text, int length) {
        int sum = 0;
        for (int i = 0; i < length; ++i) {
            int& w = m_widths[(unsigned short)text[i]];
            if (w < 0) {
                SIZE size{};
                ::GetTextExtentPoint32W(m_dc, &text[i], 1, &size);
                w = (int)size.cx;
            }
            sum += w;
        }
        return sum;
    }

private:
    HDC m_dc;
    std::vector<int> m_widths;
};

// A row's texts that repeat (ports, times) are known by the numbers they
// show, one key for one text.
unsigned long long RepeatKey(const CDeviceCfg* d, int column) {
    const unsigned long long type = (unsigned)d->DeviceType;
    if (column == 3) {
        if (d->DeviceType >= 9 && d->DeviceType <= 12) return 1ULL << 63 | type << 32 | (unsigned)d->SerialNo;
        return type << 32 | (unsigned long long)d->BinaryPort << 16 | d->HttpPort;
    }
    const int kind = d->GetKind();
    if (kind == kKindGlobal || kind == kKindRadioModule) return 0;
    return (unsigned long long)(unsigned)d->MinIntervalTicks << 32 | (unsigned)d->MaxIdleTicks;
}

}  // namespace

// For every column sized by its content, the rows whose text comes within a
// few pixels of the widest (a font measured slightly otherwise still finds
// the widest among them), the widest first; at least one row of a list
// that has rows. Texts are first judged by the sum of their characters'
// widths; only the rows that may be the widest are measured whole.
std::vector<int> CTamselView::WidestRows() const {
    const int kNear = 4;
    const size_t kPerColumn = 8;
    // Kerning and rounding keep a whole text within this of its sum.
    const int kSlack = 12;
    const size_t kMeasured = 64;
    std::vector<int> out;
    const int n = (int)m_rows.size();
    if (n == 0) return out;
    HFONT font = (HFONT)GetListCtrl().SendMessage(WM_GETFONT);
    if (!font) font = (HFONT)::GetStockObject(DEFAULT_GUI_FONT);
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, font);
    CCharWidths chars(dc);
    std::vector<int> sums((size_t)n);
    std::vector<char> taken((size_t)n, 0);
    for (int c = 1; c < m_nColumns - 1; ++c) {
        int most = -1;
        std::unordered_map<unsigned long long, int> repeated;
        for (int i = 0; i < n; ++i) {
            CDeviceCfg* d = m_rows[(size_t)i];
            int& sum = sums[(size_t)i];
            if (c == 1 || c == 2) {
                const CString& text = c == 1 ? d->OpcName : d->TargetHost;
                sum = c == 1 && d->DeviceType == kTypeGlobal ? 0 : chars.Of(text, text.GetLength());
            } else {
                auto it = repeated.find(RepeatKey(d, c));
                if (it == repeated.end()) {
                    CString text = RowText(d, c);
                    it = repeated.emplace(RepeatKey(d, c), chars.Of(text, text.GetLength())).first;
                }
                sum = it->second;
            }
            if (sum > most) most = sum;
        }
        std::vector<std::pair<int, int>> maybe;  // (sum, row)
        for (int i = 0; i < n; ++i)
            if (sums[(size_t)i] >= most - kSlack) maybe.push_back({sums[(size_t)i], i});
        std::stable_sort(maybe.begin(), maybe.end(),
                         [](const std::pair<int, int>& a, const std::pair<int, int>& b) { return a.first > b.first; });
        if (maybe.size() > kMeasured) maybe.resize(kMeasured);
        // Measured whole, in row order as before.
        std::sort(maybe.begin(), maybe.end(),
                  [](const std::pair<int, int>& a, const std::pair<int, int>& b) { return a.second < b.second; });
        int widest = -1, at = maybe.front().second;
        for (auto& m : maybe) {
            CString text = RowText(m_rows[(size_t)m.second], c);
            SIZE size{};
            ::GetTextExtentPoint32W(dc, text, text.GetLength(), &size);
            m.first = (int)size.cx;
            if (m.first > widest) {
                widest = m.first;
                at = m.second;
            }
        }
        size_t count = 0;
        if (!taken[(size_t)at]) {
            taken[(size_t)at] = 1;
            out.push_back(at);
        }
        for (const auto& m : maybe) {
            if (count >= kPerColumn) break;
            if (m.first >= widest - kNear && !taken[(size_t)m.second]) {
                taken[(size_t)m.second] = 1;
                out.push_back(m.second);
                ++count;
            }
        }
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);
    if (out.empty()) out.push_back(0);
    return out;
}

// Some list controls size a column to its caption without the header's own
// text margins, which cuts the caption to "OPC-Na...": widen such a column.
void CTamselView::KeepCaptionVisible(int column) {
    HWND header = GetListCtrl().GetHeaderCtrl();
    const wchar_t* caption = column > 0 && column < m_nColumns ? m_columnCaptions[column] : nullptr;
    if (!header || !caption || !*caption) return;
    HDC dc = ::GetDC(header);
    HGDIOBJ old = ::SelectObject(dc, (HFONT)::SendMessageW(header, WM_GETFONT, 0, 0));
    SIZE size{};
    ::GetTextExtentPoint32W(dc, caption, lstrlenW(caption), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(header, dc);
    int needed = size.cx + 6 * ::GetSystemMetrics(SM_CXEDGE) + 2;
    if (GetListCtrl().GetColumnWidth(column) < needed) GetListCtrl().SetColumnWidth(column, needed);
}

void CTamselView::OnUpdate(CView*, LPARAM, CCmdTarget*) {
    CListCtrl& list = GetListCtrl();
    SetRedraw(FALSE);
    ClearRows();
    BeginRows();
    for (CDeviceCfg* d = theCfgStore.GetFirstDevice(); d; d = theCfgStore.GetNextDevice(d)) InsertDevice(d, 0);
    EndRows();
    SetRedraw(TRUE);
    UpdateSelectionSummary();
    if (list.GetItemCount() == 0) AutoSizeColumns();
}

int CTamselView::CompareDevices(const CDeviceCfg* a, const CDeviceCfg* b, int key) {
    int r = 0;
    switch (key < 0 ? -key : key) {
    case 1: r = a->ImageIndex - b->ImageIndex; break;
    case 2: r = CompareNamesNoCase(a->OpcName, b->OpcName); break;
    case 3: r = CompareNamesNoCase(a->TargetHost, b->TargetHost); break;
    case 4: r = ComparePortKeys(a->GetPortKey(), b->GetPortKey()); break;
    case 5: r = CompareTiming(a->MinIntervalTicks, a->MaxIdleTicks, b->MinIntervalTicks, b->MaxIdleTicks); break;
    case 6:
        r = a->DeviceType - b->DeviceType;
        if (!r) r = a->Inputs - b->Inputs;
        if (!r) r = a->Outputs - b->Outputs;
        break;
    }
    return key < 0 ? -r : r;
}

void CTamselView::OnColumnClick(int column) {
    if (column == m_nSortColumn) {
        m_bSortDescending = !m_bSortDescending;
    } else {
        m_nSortColumn = column;
        m_bSortDescending = 0;
    }
    const int key = m_bSortDescending ? -(column + 1) : column + 1;
    CListCtrl& list = GetListCtrl();
    SortRows(key);
    int first = list.GetNextItem(-1, LVNI_SELECTED);
    if (first >= 0) list.EnsureVisible(first, FALSE);
    for (CDeviceCfg* d : m_rows) theCfgStore.MoveToFront(d);
}

// The rows move with their selected and focused states. Equal rows keep
// their order, as the list control's own merge sort keeps them.
void CTamselView::SortRows(int key) {
    CListCtrl& list = GetListCtrl();
    const int n = (int)m_rows.size();
    struct Row {
        CDeviceCfg* dev;
        bool selected;
    };
    std::vector<Row> rows;
    rows.reserve((size_t)n);
    for (CDeviceCfg* d : m_rows) rows.push_back({d, false});
    int selected = 0;
    CAnswerPoll answer;
    for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0 && i < n; i = list.GetNextItem(i, LVNI_SELECTED)) {
        rows[(size_t)i].selected = true;
        ++selected;
        answer();
    }
    const int focus = list.GetNextItem(-1, LVNI_FOCUSED);
    CDeviceCfg* focused = GetRowDevice(focus);
    std::stable_sort(rows.begin(), rows.end(),
                     [key](const Row& a, const Row& b) { return CompareDevices(a.dev, b.dev, key) < 0; });
    int newFocus = -1;
    for (int i = 0; i < n; ++i) {
        m_rows[(size_t)i] = rows[(size_t)i].dev;
        if (rows[(size_t)i].dev == focused) newFocus = i;
    }
    SetRedraw(FALSE);
    // Set by row, from whichever side has fewer rows to change.
    if (selected > 0 && selected < n) {
        const bool most = selected > n / 2;
        ++m_nKeepStates;
        list.SetItemState(-1, most ? LVIS_SELECTED : 0, LVIS_SELECTED);
        for (int i = 0; i < n; ++i) {
            if (rows[(size_t)i].selected != most) list.SetItemState(i, most ? 0 : LVIS_SELECTED, LVIS_SELECTED);
            answer();
        }
        --m_nKeepStates;
    }
    if (newFocus >= 0 && newFocus != focus) {
        // Setting the focus scrolls to its row; a sort leaves the scroll
        // position alone (the caller brings the selection into view).
        const int top = list.GetTopIndex();
        list.SetItemState(newFocus, LVIS_FOCUSED, LVIS_FOCUSED);
        RECT r;
        if (list.GetTopIndex() != top && list.GetItemRect(newFocus, &r, LVIR_BOUNDS))
            list.Scroll(0, (top - list.GetTopIndex()) * (r.bottom - r.top));
    }
    SetRedraw(TRUE);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    m_bSelDirty = 1;
}

void CTamselView::UpdateSelectionSummary() {
    m_bSelDirty = 0;
    std::vector<CSelectedRow> rows;
    std::unordered_set<const CDeviceCfg*> now;
    for (CDeviceCfg* d : GetSelectedDevices()) {
        rows.push_back({d->GetKind(), d->Disable != 0, m_bSelRange && !m_selBefore.count(d)});
        now.insert(d);
    }
    CSelSummary s = SummariseSelection(rows, m_bSelActive != 0);
    m_nSelected = s.nSelected;
    m_bSelTransceiver = s.transceiver;
    m_bSelToggles = s.toggles;
    m_bSelNotGlobal = s.notGlobal;
    m_bSelHasItems = s.hasItems;
    m_bSelActive = s.active;
    m_selBefore.swap(now);
    m_bSelRange = 0;
}

void CTamselView::NoteSelectionChange(int row, bool selected) {
    if (m_nKeepStates) return;
    CListCtrl& list = GetListCtrl();
    if (row < 0) {
        // Deselecting "all" may spare the rows of a range selected next.
        if (selected)
            m_bSelRange = 1;
        else if (list.GetSelectedCount() == 0)
            m_selBefore.clear();
        return;
    }
    CDeviceCfg* d = GetRowDevice(row);
    if (selected) {
        m_selBefore.insert(d);
    } else {
        m_selBefore.erase(d);
        d = list.GetSelectedCount() == 1 ? GetRowDevice(list.GetNextItem(-1, LVNI_SELECTED))
                                         : nullptr;  // back to one row
    }
    const int kind = d ? d->GetKind() : kKindGlobal;
    if (kind != kKindGlobal && kind != kKindRadioModule) {
        m_bSelActive = d->Disable == 0;
        m_bSelRange = 0;
    }
}

BOOL CTamselView::OnNotifyReflect(NMHDR* nm, LRESULT* result) {
    switch (nm->code) {
    case LVN_COLUMNCLICK:
        OnColumnClick(reinterpret_cast<NMLISTVIEW*>(nm)->iSubItem);
        *result = 0;
        return TRUE;
    case LVN_ITEMCHANGED: {
        // Only a change of the selected state can change the summary.
        // A change of all rows at once (row -1) may tell no states.
        const NMLISTVIEW* lv = reinterpret_cast<NMLISTVIEW*>(nm);
        if ((lv->uChanged & LVIF_STATE) && (lv->iItem < 0 || ((lv->uOldState ^ lv->uNewState) & LVIS_SELECTED))) {
            m_bSelDirty = 1;
            NoteSelectionChange(lv->iItem, (lv->uNewState & LVIS_SELECTED) != 0);
        }
        *result = 0;
        return TRUE;
    }
    case LVN_ODSTATECHANGED: {
        const NMLVODSTATECHANGE* od = reinterpret_cast<NMLVODSTATECHANGE*>(nm);
        m_bSelDirty = 1;
        if (!m_nKeepStates && (od->uNewState & ~od->uOldState & LVIS_SELECTED)) m_bSelRange = 1;
        *result = 0;
        return TRUE;
    }
    case LVN_GETDISPINFOW: {
        NMLVDISPINFOW* di = reinterpret_cast<NMLVDISPINFOW*>(nm);
        // Work off the thread may be changing a record (a paste merging
        // global options): its texts wait until it is done.
        CDeviceCfg* d = IsAnswering() ? nullptr : GetRowDevice(di->item.iItem);
        if (!d && (di->item.mask & LVIF_TEXT) && di->item.pszText && di->item.cchTextMax > 0) di->item.pszText[0] = 0;
        if (d && (di->item.mask & LVIF_TEXT) && di->item.pszText && di->item.cchTextMax > 0)
            lstrcpynW(di->item.pszText, RowText(d, di->item.iSubItem), di->item.cchTextMax);
        if (d && (di->item.mask & LVIF_IMAGE) && di->item.iSubItem == 0) di->item.iImage = d->ImageIndex;
        *result = 0;
        return TRUE;
    }
    case LVN_ODFINDITEMW: {
        // Typing a row's first letters searches the first column, which
        // holds no text: no row matches. A search by item data finds the
        // record's row.
        const NMLVFINDITEMW* find = reinterpret_cast<NMLVFINDITEMW*>(nm);
        *result = -1;
        if (find->lvfi.flags & LVFI_PARAM) {
            auto it = std::find(m_rows.begin(), m_rows.end(), reinterpret_cast<CDeviceCfg*>(find->lvfi.lParam));
            if (it != m_rows.end()) *result = it - m_rows.begin();
        }
        return TRUE;
    }
    case LVN_DELETEITEM: m_bSelDirty = 1; return FALSE;
    case LVN_DELETEALLITEMS:
        // no LVN_DELETEITEM per row: the records are not the list's to free
        m_bSelDirty = 1;
        *result = TRUE;
        return TRUE;
    case NM_DBLCLK:
        OnDeviceProperties();
        *result = 0;
        return TRUE;
    }
    return FALSE;
}

void CTamselView::OnContextMenu(CWnd*, POINT pt) {
    CListCtrl& list = GetListCtrl();
    if (pt.x < 0 || pt.y < 0) {
        RECT r;
        int focused = list.GetNextItem(-1, LVNI_FOCUSED);
        if (focused < 0 || !list.GetItemRect(focused, &r, LVIR_BOUNDS)) GetClientRect(&r);
        pt.x = (r.left + r.right) / 2;
        pt.y = (r.top + r.bottom) / 2;
        ClientToScreen(&pt);
    }
    CMenu menu;
    if (!menu.LoadMenu(list.GetSelectedCount() > 0 ? IDR_DEVICE_POPUP : IDR_DEFAULT_POPUP)) return;
    HMENU popup = menu.GetSubMenu(0);
    CWnd* owner = AfxGetMainWnd();
    if (popup && owner) ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, pt.x, pt.y, 0, owner->GetSafeHwnd(), nullptr);
}

void CTamselView::OnTimer(UINT_PTR id) {
    if (id == kReminderTimer) {
        CTamselDoc* doc = GetDocument();
        if (!m_bDialogOpen && doc && doc->IsModified() && doc->IsActiveConfiguration()) {
            ShowFrameBalloon(IDS_UNSAVED_REMINDER, IDS_UNSAVED_TITLE);
        }
        KillTimer(kReminderTimer);
    }
    Default();
}

void CTamselView::NoteChange() {
    if (CTamselDoc* doc = GetDocument()) doc->SetModifiedFlag(TRUE);
    SetTimer(kReminderTimer, kReminderMs);
}

void ShowFrameBalloon(UINT textId, UINT titleId) {
    if (CMainFrame* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
        frame->ShowSaveBalloon(textId, titleId, TTI_INFO);
}

void ShowServerNotice(const CServerNotice& notice) {
    if (notice.balloon)
        ShowFrameBalloon(notice.textId, notice.titleId);
    else
        AfxMessageBox(notice.text, MB_OK | notice.icon);
}
