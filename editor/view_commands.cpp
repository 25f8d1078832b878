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
#include <memory>

using namespace viewid;

namespace {
// Marks a modal dialog of the view's commands for the reminder timer.
struct DialogOpen {
    int& flag;
    explicit DialogOpen(int& f) : flag(f) { flag = 1; }
    ~DialogOpen() { flag = 0; }
};
}  // namespace

void CTamselView::NewDevice(int type) {
    std::unique_ptr<CDeviceCfg> dev(new CDeviceCfg(L"", type));
    CDeviceCfg* selected = nullptr;
    int first = GetListCtrl().GetNextItem(-1, LVNI_SELECTED);
    if (first >= 0) selected = GetRowDevice(first);
    CDeviceCfg* chain = nullptr;
    if (!PrepareNewDevice(theCfgStore, dev.get(), selected, chain)) return;
    INT_PTR answer;
    {
        DialogOpen open(m_bDialogOpen);
        answer = RunDeviceDialog(this, dev.get(), TRUE, chain);
    }
    if (answer != IDOK) return;
    dev->BuildDefaultItemNames();
    int r = GetDocument()->MakeNameUnique(dev.get());
    if (r == 0) return;
    if (r == -1) AfxMessageBox(StrNameConflict, MB_OK | MB_ICONEXCLAMATION);
    DeselectAll();
    CDeviceCfg* rec = dev.release();
    theCfgStore.AddDevice(rec);
    InsertDevice(rec, 2);
    NoteChange();
}

void CTamselView::OnUpdateNewDevice(CCmdUI* ui) {
    const int type = ui->m_nID == NewIo ? 4 : ui->m_nID == NewSerial ? 2 : ui->m_nID == NewRfid ? 18 : 8;
    ui->Enable(HasDeviceDialog(CDeviceCfg::KindOf(type)));
}

void CTamselView::OnUpdateNewRadioModule(CCmdUI* ui) {
    ui->Enable(HasDeviceDialog(CDeviceCfg::KindOf(9)) && m_nSelected == 1 && m_bSelTransceiver);
}

BOOL CTamselView::CarryOverItemNames(CDeviceCfg* rec, CDeviceCfg* copy) {
    return ::CarryOverItemNames(rec, copy);
}

void CTamselView::OnDeviceProperties() {
    int row = GetListCtrl().GetNextItem(-1, LVNI_SELECTED);
    if (row < 0) return;
    CDeviceCfg* rec = GetRowDevice(row);
    if (!rec || !HasDeviceDialog(rec->GetKind())) return;
    CDeviceCfg* chain = BuildTransceiverChain(theCfgStore);
    std::unique_ptr<CDeviceCfg> copy(new CDeviceCfg(L"", -2));
    copy->CopySettings(*rec);
    INT_PTR answer;
    {
        DialogOpen open(m_bDialogOpen);
        answer = RunDeviceDialog(this, rec, FALSE, chain);
    }
    if (answer != IDOK) return;
    rec->BuildDefaultItemNames();
    if (CarryOverItemNames(rec, copy.get()) &&
        AfxMessageBox(StrQueryTypeChange, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) {
        rec->CopySettings(*copy);
        return;
    }
    copy.reset();
    int r = GetDocument()->MakeNameUnique(rec);
    if (r == 0) {
        GetListCtrl().DeleteItem(row);
        theCfgStore.RemoveDevice(rec);
        delete rec;
        UpdateSelectionSummary();
    } else {
        UpdateDeviceRow(row);
    }
    NoteChange();
    if (r == -1) AfxMessageBox(StrNameConflict, MB_OK | MB_ICONEXCLAMATION);
}

void CTamselView::OnUpdateDeviceProperties(CCmdUI* ui) {
    CDeviceCfg* rec = m_nSelected == 1 ? GetRowDevice(GetListCtrl().GetNextItem(-1, LVNI_SELECTED)) : nullptr;
    ui->Enable(rec && HasDeviceDialog(rec->GetKind()));
}

void CTamselView::OnDeviceEnable() {
    const bool enable = !m_bSelActive;
    CListCtrl& list = GetListCtrl();
    for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list.GetNextItem(i, LVNI_SELECTED)) {
        if (CDeviceCfg* d = GetRowDevice(i)) SetDevicesEnabled({d}, enable);
        UpdateDeviceRow(i);
        NoteChange();
    }
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
    int deleted = 0;
    for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0;
         i = list.GetNextItem(i > 0 ? i - 1 : -1, LVNI_SELECTED)) {
        CDeviceCfg* rec = GetRowDevice(i);
        // Without undo the records are freed: the global options record is
        // never freed, its row stays (deselected).
        if (!withUndo && rec && rec->DeviceType == -1) {
            list.SetItemState(i, 0, LVIS_SELECTED);
            continue;
        }
        records.push_back(rec);
        list.DeleteItem(i);
        ++deleted;
    }
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

void CTamselView::OnEditClear() {
    DeleteSelection(true);
}

void CTamselView::OnUpdateEditCut(CCmdUI* ui) {
    ui->Enable(m_nSelected > 0 && m_bSelNotGlobal);
}

void CTamselView::OnUpdateEditCopy(CCmdUI* ui) {
    ui->Enable(m_nSelected > 0);
}

void CTamselView::OnEditUndo() {
    CTamselDoc* doc = GetDocument();
    if (!theCfgStore.CanUndo()) return;
    std::vector<CDeviceCfg*> back = TakeLatestGeneration(theCfgStore, doc->m_nUndoGeneration);
    DeselectAll();
    bool renamed = false;
    for (CDeviceCfg* d : back) {
        int r = doc->MakeNameUnique(d);
        if (r == 0) {
            delete d;
        } else {
            if (r == -1) renamed = true;
            theCfgStore.AddDevice(d);
            InsertDevice(d, 2);
        }
        NoteChange();
    }
    if (renamed) AfxMessageBox(StrNameConflict, MB_OK | MB_ICONINFORMATION);
}

void CTamselView::OnUpdateEditUndo(CCmdUI* ui) {
    ui->Enable(theCfgStore.CanUndo());
}

void CTamselView::OnEditSelectAll() {
    GetListCtrl().SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
}

void CTamselView::OnTiming() {
    INT_PTR answer;
    {
        DialogOpen open(m_bDialogOpen);
        answer = RunTimingDialogOnView(this);
    }
    if (answer == IDOK) NoteChange();
}

void CTamselView::OnUpdateTiming(CCmdUI* ui) {
    ui->Enable(m_nSelected > 0 && m_bSelToggles);
}

void CTamselView::OnEditItemNames() {
    int row = GetListCtrl().GetNextItem(-1, LVNI_SELECTED);
    if (row < 0 || !HasItemNameEditor()) return;
    CDeviceCfg* rec = GetRowDevice(row);
    INT_PTR answer;
    {
        DialogOpen open(m_bDialogOpen);
        answer = RunItemNameEditor(this, rec);
    }
    if (answer != IDOK) return;
    int r = GetDocument()->MakeNameUnique(rec);
    UpdateDeviceRow(row);
    NoteChange();
    if (r == -1) AfxMessageBox(StrNameConflict, MB_OK | MB_ICONEXCLAMATION);
}

void CTamselView::OnUpdateEditItemNames(CCmdUI* ui) {
    ui->Enable(HasItemNameEditor() && m_nSelected == 1 && m_bSelHasItems);
}

void CTamselView::OnShowHelp() {
    AfxGetApp()->HtmlHelp(0, HH_DISPLAY_TOPIC);
}

void CTamselView::OnFileSaveAs() {
    GetDocument()->OnFileSaveAs();
}

void CTamselView::OnServiceControl() { StartServiceTool(); }
void CTamselView::OnServiceStop() {
    if (AfxMessageBox(IDS_SRV_STOP_QUESTION, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) return;
    DWORD error = 0;
    ServerAnswer answer = SendStopRequest(&error);
    ShowServerNotice(StopNotice(answer, error));
}
void CTamselView::OnDemoClient() { StartDemoClient(); }

BOOL CTamselView::OnCommandMap(UINT id, CCmdUI* ui) {
    using V = CTamselView;
    static const CmdEntry<V> map[] = {
        {NewIo, &V::OnNewIoDevice, &V::OnUpdateNewDevice},
        {NewSerial, &V::OnNewSerialDevice, &V::OnUpdateNewDevice},
        {NewRfid, &V::OnNewRfidDevice, &V::OnUpdateNewDevice},
        {NewTrcv, &V::OnNewTransceiver, &V::OnUpdateNewDevice},
        {NewModule, &V::OnNewRadioModule, &V::OnUpdateNewRadioModule},
        {Properties, &V::OnDeviceProperties, &V::OnUpdateDeviceProperties},
        {Timing, &V::OnTiming, &V::OnUpdateTiming},
        {ItemNames, &V::OnEditItemNames, &V::OnUpdateEditItemNames},
        {Enable, &V::OnDeviceEnable, &V::OnUpdateDeviceEnable},
        {ID_EDIT_SELECT_ALL, &V::OnEditSelectAll, nullptr},
        {ID_EDIT_CLEAR, &V::OnEditClear, &V::OnUpdateEditCut},
        {ID_EDIT_UNDO, &V::OnEditUndo, &V::OnUpdateEditUndo},
        {ID_EDIT_COPY, &V::OnEditCopy, &V::OnUpdateEditCopy},
        {ID_EDIT_CUT, &V::OnEditCut, &V::OnUpdateEditCut},
        {ID_EDIT_PASTE, &V::OnEditPaste, &V::OnUpdateEditPaste},
        {AutoSize, &V::AutoSizeColumns, nullptr},
        {ShowHelp, &V::OnShowHelp, nullptr},
        {ID_FILE_SAVE_AS, &V::OnFileSaveAs, nullptr},
        {ServiceControl, &V::OnServiceControl, nullptr},
        {ServiceStop, &V::OnServiceStop, nullptr},
        {DemoClient, &V::OnDemoClient, nullptr},
    };
    return DispatchCommands(this, map, id, ui) || CListView::OnCommandMap(id, ui);
}
