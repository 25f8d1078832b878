// The device commands of CTamselView: new devices, properties, enable and
// disable, delete and undo, select all, timing, item names, help, and the
// command table of the view.
#include "editor/view.h"
#include "editor/doc.h"
#include "editor/device_commands.h"
#include "editor/device_dialogs.h"
#include "editor/timing_dlg.h"
#include "editor/item_carry.h"
#include "editor/server_control.h"
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "framework/Seams.h"
#include "framework/Answering.h"
#include <memory>

void CTamselView::NewDevice(int type) {
    std::unique_ptr<CDeviceCfg> dev(new CDeviceCfg(L"", type));
    CDeviceCfg* selected = nullptr;
    int first = GetListCtrl().GetNextItem(-1, LVNI_SELECTED);
    if (first >= 0) selected = GetRowDevice(first);
    CDeviceCfg* chain = nullptr;
    if (!PrepareNewDevice(theCfgStore, dev.get(), selected, chain)) return;
    if (RunDeviceDialog(this, dev.get(), TRUE, chain) != IDOK) return;
    dev->BuildDefaultItemNames();
    int r = GetDocument()->MakeNameUnique(dev.get());
    if (r == 0) return;
    if (r == -1) AfxMessageBox(IDS_NAME_CONFLICT, MB_OK | MB_ICONEXCLAMATION);
    DeselectAll();
    CDeviceCfg* rec = dev.release();
    theCfgStore.AddDevice(rec);
    InsertDevice(rec, 2);
    NoteChange();
}

void CTamselView::OnUpdateNewDevice(CCmdUI* ui) {
    ui->Enable(HasDeviceDialog(CDeviceCfg::KindOf(NewDeviceType(ui->m_nID))));
}

void CTamselView::OnUpdateNewRadioModule(CCmdUI* ui) {
    ui->Enable(HasDeviceDialog(kKindRadioModule) && m_nSelected == 1 && m_bSelTransceiver);
}

int CTamselView::NewDeviceType(UINT command) {
    switch (command) {
    case ID_DEVICE_NEW_IO: return kTypeIoBox;
    case ID_DEVICE_NEW_SERIAL: return kTypeSerialServer;
    case ID_DEVICE_NEW_RFID: return kTypeRfidReader;
    case ID_DEVICE_NEW_TRCV: return kTypeTransceiver;
    case ID_DEVICE_NEW_MODULE: return kTypePushButton;
    default: return kTypeListHead;
    }
}

void CTamselView::OnDeviceProperties() {
    int row = GetListCtrl().GetNextItem(-1, LVNI_SELECTED);
    if (row < 0) return;
    CDeviceCfg* rec = GetRowDevice(row);
    if (!rec || !HasDeviceDialog(rec->GetKind())) return;
    CDeviceCfg* chain = BuildTransceiverChain(theCfgStore);
    std::unique_ptr<CDeviceCfg> copy(new CDeviceCfg(L"", kTypeListHead));
    copy->CopySettings(*rec);
    if (RunDeviceDialog(this, rec, FALSE, chain) != IDOK) return;
    rec->BuildDefaultItemNames();
    if (CarryOverItemNames(rec, copy.get()) &&
        AfxMessageBox(IDS_QUERY_TYPE_CHANGE, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) {
        rec->CopySettings(*copy);
        return;
    }
    copy.reset();
    int r = GetDocument()->MakeNameUnique(rec);
    if (r == 0) {
        DeleteRow(row);
        theCfgStore.RemoveDevice(rec);
        delete rec;
        UpdateSelectionSummary();
    } else {
        UpdateDeviceRow(row);
    }
    NoteChange();
    if (r == -1) AfxMessageBox(IDS_NAME_CONFLICT, MB_OK | MB_ICONEXCLAMATION);
}

void CTamselView::OnUpdateDeviceProperties(CCmdUI* ui) {
    int row = m_nSelected == 1 ? GetListCtrl().GetNextItem(-1, LVNI_SELECTED) : -1;
    CDeviceCfg* rec = row >= 0 ? GetRowDevice(row) : nullptr;
    ui->Enable(rec && HasDeviceDialog(rec->GetKind()));
}

// One repaint for the rows changed, not one request per row.
void CTamselView::OnDeviceEnable() {
    SyncSelectionSummary();
    const bool enable = !m_bSelActive;
    const std::vector<CDeviceCfg*> records = GetSelectedDevices();
    SetDevicesEnabled(records, enable);
    for (CDeviceCfg* d : records) d->ImageIndex = RowImage(d->DeviceType, d->Disable != 0);
    if (!records.empty()) {
        m_nSortColumn = -1;
        m_bSelDirty = 1;  // the state may have changed
        // The list invalidates row by row: one rectangle costs the same for all.
        ::InvalidateRect(GetListCtrl().m_hWnd, nullptr, FALSE);
        NoteChange();
    }
    SyncSelectionSummary();
    m_bSelActive = enable;
}

void CTamselView::OnUpdateDeviceEnable(CCmdUI* ui) {
    ui->Enable(m_nSelected > 0 && m_bSelToggles);
    ui->SetCheck(m_nSelected > 0 && m_bSelToggles && m_bSelActive);
}

void CTamselView::DeleteSelection(bool withUndo) {
    CListCtrl& list = GetListCtrl();
    SetRedraw(FALSE);
    std::vector<CDeviceCfg*> records;
    std::vector<int> rows;
    for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list.GetNextItem(i, LVNI_SELECTED)) {
        CDeviceCfg* rec = GetRowDevice(i);
        // Without undo the records are freed: the global options record is
        // never freed, its row stays (deselected).
        if (!withUndo && rec && rec->DeviceType == kTypeGlobal) continue;
        records.push_back(rec);
        rows.push_back(i);
    }
    const int deleted = (int)rows.size();
    if (!withUndo)
        for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list.GetNextItem(i, LVNI_SELECTED))
            if (CDeviceCfg* rec = GetRowDevice(i))
                if (rec->DeviceType == kTypeGlobal) list.SetItemState(i, 0, LVIS_SELECTED);
    RemoveRows(rows);
    // All rows of one command share one generation.
    DeleteRecords(theCfgStore, records, withUndo, GetDocument()->m_nUndoGeneration);
    if (deleted) {
        NoteChange();
        int focused = list.GetNextItem(-1, LVNI_FOCUSED);
        if (focused >= 0) list.SetItemState(focused, LVIS_SELECTED, LVIS_SELECTED);
    }
    SetRedraw(TRUE);
    UpdateSelectionSummary();
}

// Row by row the list shifts everything below each deleted row; past a few
// rows it is rebuilt from the rows that stay. The focus ends where deleting
// row by row would leave it: on the row that moved into the focused one's
// place, or the last row.
void CTamselView::RemoveRows(const std::vector<int>& rows) {
    CListCtrl& list = GetListCtrl();
    if (rows.size() < 16) {
        for (size_t k = 0; k < rows.size(); ++k) DeleteRow(rows[k] - (int)k);
        return;
    }
    const int n = list.GetItemCount();
    int focus = list.GetNextItem(-1, LVNI_FOCUSED);
    int count = n;
    // rows ascending, each deleted at its index of that moment
    for (size_t k = 0; k < rows.size() && focus >= 0; ++k) {
        int at = rows[k] - (int)k;
        --count;
        if (focus > at)
            --focus;
        else if (focus == at && focus > count - 1)
            focus = count - 1;
    }
    std::vector<char> gone((size_t)n, 0);
    for (int r : rows) {
        gone[(size_t)r] = 1;
        m_selBefore.erase(GetRowDevice(r));
    }
    std::vector<CDeviceCfg*> keep;
    std::vector<int> selected;
    keep.reserve((size_t)(n - (int)rows.size()));
    CAnswerPoll answer;
    for (int i = 0; i < n; ++i) {
        if (gone[(size_t)i]) continue;
        if (list.GetItemState(i, LVIS_SELECTED) & LVIS_SELECTED) selected.push_back((int)keep.size());
        keep.push_back(GetRowDevice(i));
        answer();
    }
    // The rows that stay come back as they were, not as a new fill of the
    // list: no sizing of the columns, whose widths the user may have set.
    ClearRows();
    m_rows.swap(keep);
    list.SetItemCountEx((int)m_rows.size(), LVSICF_NOSCROLL);
    ++m_nKeepStates;
    for (int r : selected) {
        list.SetItemState(r, LVIS_SELECTED, LVIS_SELECTED);
        answer();
    }
    --m_nKeepStates;
    if (focus >= 0 && focus < list.GetItemCount()) list.SetItemState(focus, LVIS_FOCUSED, LVIS_FOCUSED);
}

void CTamselView::OnEditClear() { DeleteSelection(true); }

void CTamselView::OnUpdateEditCut(CCmdUI* ui) { ui->Enable(m_nSelected > 0 && m_bSelNotGlobal); }

void CTamselView::OnUpdateEditCopy(CCmdUI* ui) { ui->Enable(m_nSelected > 0); }

void CTamselView::OnEditUndo() {
    CTamselDoc* doc = GetDocument();
    if (!theCfgStore.CanUndo()) return;
    CNamedRecords named;
    // The records come back from the undo list, unseen by any row.
    RunAnswering([&] { named = NameRecords(TakeLatestGeneration(theCfgStore, doc->m_nUndoGeneration), false); });
    DeselectAll();
    ShowNamedRecords(named, false);
}

// Each record gets a name of its own (a global options record merges into
// the store's one and is freed). Touches the store and the records only, no
// window: it may run off the windows' thread.
CTamselView::CNamedRecords CTamselView::NameRecords(const std::vector<CDeviceCfg*>& records, bool inStore) {
    CNamedRecords out;
    CNameIndex names(theCfgStore);
    for (CDeviceCfg* d : records) {
        bool dot = false;
        int r = names.MakeUnique(d, inStore, dot);
        if (dot) out.dots = true;
        if (r == 0) {
            if (inStore) theCfgStore.RemoveDevice(d);
            delete d;
        } else {
            if (r == -1) out.renamed = true;
            if (!inStore) theCfgStore.AddDevice(d);
            out.kept.push_back(d);
        }
        out.changed = true;
    }
    return out;
}

// The rows come at the end, selected, the last one focused and in view.
void CTamselView::ShowNamedRecords(const CNamedRecords& named, bool inStore) {
    CTamselDoc* doc = GetDocument();
    int last = -1;
    SetRedraw(FALSE);
    BeginRows();
    for (CDeviceCfg* d : named.kept) last = InsertDevice(d, 1);
    EndRows();
    CListCtrl& list = GetListCtrl();
    if (last >= 0) {
        list.SetItemState(last, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        list.EnsureVisible(last, FALSE);
    }
    SetRedraw(TRUE);
    if (named.changed && doc) NoteChange();
    if (named.dots) KrvMessageBeep(MB_ICONASTERISK);
    if (named.renamed && !inStore) AfxMessageBox(IDS_NAME_CONFLICT, MB_OK | MB_ICONINFORMATION);
}

void CTamselView::OnUpdateEditUndo(CCmdUI* ui) { ui->Enable(theCfgStore.CanUndo()); }

void CTamselView::OnEditSelectAll() {
    SetRedraw(FALSE);
    GetListCtrl().SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
    SetRedraw(TRUE);
}

void CTamselView::OnTiming() {
    INT_PTR answer;
    {
        CDialogOpen open(*this);
        answer = RunTimingDialogOnView(this);
    }
    if (answer == IDOK) NoteChange();
}

void CTamselView::OnUpdateTiming(CCmdUI* ui) { ui->Enable(m_nSelected > 0 && m_bSelToggles); }

void CTamselView::OnEditItemNames() {
    int row = GetListCtrl().GetNextItem(-1, LVNI_SELECTED);
    if (row < 0 || !HasItemNameEditor()) return;
    CDeviceCfg* rec = GetRowDevice(row);
    if (RunItemNameEditor(this, rec) != IDOK) return;
    int r = GetDocument()->MakeNameUnique(rec);
    UpdateDeviceRow(row);
    NoteChange();
    if (r == -1) AfxMessageBox(IDS_NAME_CONFLICT, MB_OK | MB_ICONEXCLAMATION);
}

void CTamselView::OnUpdateEditItemNames(CCmdUI* ui) {
    ui->Enable(HasItemNameEditor() && m_nSelected == 1 && m_bSelHasItems);
}

void CTamselView::OnShowHelp() { AfxGetApp()->HtmlHelp(0, HH_DISPLAY_TOPIC); }

void CTamselView::OnServiceControl() { StartServiceTool(); }
void CTamselView::OnServiceStop() {
    if (AfxMessageBox(IDS_SRV_STOP_QUESTION, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) return;
    DWORD error = 0;
    ServerAnswer answer = SendStopRequest(&error);
    ShowServerNotice(StopNotice(answer, error));
}
void CTamselView::OnDemoClient() { StartDemoClient(); }

BOOL CTamselView::OnCommandMap(UINT id, CCmdUI* ui) {
    SyncSelectionSummary();
    using V = CTamselView;
    static const CmdEntry<V> map[] = {
        {ID_DEVICE_NEW_IO, &V::OnNewIoDevice, &V::OnUpdateNewDevice},
        {ID_DEVICE_NEW_SERIAL, &V::OnNewSerialDevice, &V::OnUpdateNewDevice},
        {ID_DEVICE_NEW_RFID, &V::OnNewRfidDevice, &V::OnUpdateNewDevice},
        {ID_DEVICE_NEW_TRCV, &V::OnNewTransceiver, &V::OnUpdateNewDevice},
        {ID_DEVICE_NEW_MODULE, &V::OnNewRadioModule, &V::OnUpdateNewRadioModule},
        {ID_DEVICE_PROPERTIES, &V::OnDeviceProperties, &V::OnUpdateDeviceProperties},
        {ID_DEVICE_TIMING, &V::OnTiming, &V::OnUpdateTiming},
        {ID_DEVICE_ITEM_NAMES, &V::OnEditItemNames, &V::OnUpdateEditItemNames},
        {ID_DEVICE_ENABLE, &V::OnDeviceEnable, &V::OnUpdateDeviceEnable},
        {ID_EDIT_SELECT_ALL, &V::OnEditSelectAll, nullptr},
        {ID_EDIT_CLEAR, &V::OnEditClear, &V::OnUpdateEditCut},
        {ID_EDIT_UNDO, &V::OnEditUndo, &V::OnUpdateEditUndo},
        {ID_EDIT_COPY, &V::OnEditCopy, &V::OnUpdateEditCopy},
        {ID_EDIT_CUT, &V::OnEditCut, &V::OnUpdateEditCut},
        {ID_EDIT_PASTE, &V::OnEditPaste, &V::OnUpdateEditPaste},
        {ID_VIEW_AUTOSIZE, &V::AutoSizeColumns, nullptr},
        {ID_HELP_MANUAL, &V::OnShowHelp, nullptr},
        {ID_SERVICE_CONTROL, &V::OnServiceControl, nullptr},
        {ID_SERVICE_STOP, &V::OnServiceStop, nullptr},
        {ID_DEMO_CLIENT, &V::OnDemoClient, nullptr},
    };
    return DispatchCommands(this, map, id, ui) || CListView::OnCommandMap(id, ui);
}
