// CTamselView: the device list. One report row per record of theCfgStore's
// device list (global options included). The list control stores no rows
// (LVS_OWNERDATA): the view keeps each row's record and answers the
// control's requests for texts and images; the control keeps the count, the
// selection and the focus. Sorting by a header writes the order back into
// the store. The device commands of the view are in view_commands.cpp.
#pragma once
#include "framework/FrameWnd.h"
#include "editor/view_rows.h"
#include "config/device_cfg.h"
#include "resources/varnel_ids.h"
#include "resources/varnel_doc_ids.h"
#include <unordered_set>
#include <utility>
#include <vector>

class CDeviceCfg;
class CTamselDoc;

class CTamselView : public CListView {
public:
    CTamselView() = default;
    ~CTamselView() override;

    CTamselDoc* GetDocument() const;

    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    int OnCreate(LPCREATESTRUCTW cs) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnTimer(UINT_PTR id) override;
    void OnContextMenu(CWnd* wnd, POINT pt) override;
    BOOL OnNotifyReflect(NMHDR* nm, LRESULT* result) override;
    void OnUpdate(CView* sender, LPARAM hint, CCmdTarget* hintObj) override;
    BOOL OnCommandMap(UINT id, CCmdUI* ui) override;

    // Rows.
    int InsertDevice(CDeviceCfg* dev, int select);
    void UpdateDeviceRow(int row);
    // Takes the row out of the list; the record is left alone.
    void DeleteRow(int row);
    // No rows at all, before the records they show are freed.
    void ClearRows();
    void DeselectAll();
    void AutoSizeColumns();
    CDeviceCfg* GetRowDevice(int row) const;
    // Records of the selected rows, top to bottom.
    std::vector<CDeviceCfg*> GetSelectedDevices() const;
    static int CompareDevices(const CDeviceCfg* a, const CDeviceCfg* b, int key);
    // The text of a row's column as the list shows it.
    static CString RowText(CDeviceCfg* d, int column);

    // Device commands.
    void NewDevice(int type);
    // The type a new-device command creates; kTypeListHead for another id.
    static int NewDeviceType(UINT command);
    void OnNewIoDevice() { NewDevice(NewDeviceType(ID_DEVICE_NEW_IO)); }
    void OnNewSerialDevice() { NewDevice(NewDeviceType(ID_DEVICE_NEW_SERIAL)); }
    void OnNewRfidDevice() { NewDevice(NewDeviceType(ID_DEVICE_NEW_RFID)); }
    void OnNewTransceiver() { NewDevice(NewDeviceType(ID_DEVICE_NEW_TRCV)); }
    void OnNewRadioModule() { NewDevice(NewDeviceType(ID_DEVICE_NEW_MODULE)); }
    void OnUpdateNewDevice(CCmdUI* ui);
    void OnUpdateNewRadioModule(CCmdUI* ui);
    void OnDeviceProperties();
    void OnUpdateDeviceProperties(CCmdUI* ui);
    void OnDeviceEnable();
    void OnUpdateDeviceEnable(CCmdUI* ui);
    void OnEditClear();
    void OnUpdateEditCut(CCmdUI* ui);
    void OnUpdateEditCopy(CCmdUI* ui);
    void OnEditCopy();
    // The selected rows' sections onto the clipboard; false when not all got there.
    bool CopySelection();
    void OnEditCut();
    void OnEditPaste();
    void OnUpdateEditPaste(CCmdUI* ui);
    void OnEditUndo();
    void OnUpdateEditUndo(CCmdUI* ui);
    void OnEditSelectAll();
    void OnTiming();
    void OnUpdateTiming(CCmdUI* ui);
    void OnEditItemNames();
    void OnUpdateEditItemNames(CCmdUI* ui);
    void OnShowHelp();
    void OnServiceControl();
    void OnServiceStop();
    void OnDemoClient();
    void DeleteSelection(bool withUndo);

    // After every change of the configuration: modified, reminder re-armed.
    void NoteChange();
    // Marks a modal dialog of the view's commands for the reminder timer.
    class CDialogOpen {
    public:
        explicit CDialogOpen(CTamselView& view) : m_flag(view.m_bDialogOpen) { m_flag = 1; }
        ~CDialogOpen() { m_flag = 0; }
        CDialogOpen(const CDialogOpen&) = delete;
        CDialogOpen& operator=(const CDialogOpen&) = delete;

    private:
        int& m_flag;
    };
    // Recomputes the selection summary from the rows selected now.
    void UpdateSelectionSummary();
    // The summary is recomputed once after a batch of row changes, when a
    // command or its update handler needs it, not once per changed row.
    void SyncSelectionSummary() {
        if (m_bSelDirty) UpdateSelectionSummary();
    }

    int m_nColumns = 0;
    int m_bDialogOpen = 0;
    int m_nSortColumn = -1;
    int m_bSortDescending = 0;
    int m_nSelected = 0;
    int m_bSelTransceiver = 0;
    int m_bSelToggles = 0;
    int m_bSelActive = 1;
    int m_bSelNotGlobal = 0;
    int m_bSelHasItems = 0;
    int m_bSelDirty = 0;

private:
    // The enabled state of the selection follows the last device that became
    // selected. Single rows set it as they are selected; a change of many at
    // once (or input the list reports no rows for) is sorted out at the next
    // summary from the rows not known as selected before: those of the last
    // summary and of the single changes since.
    int m_bSelRange = 0;
    std::unordered_set<const CDeviceCfg*> m_selBefore;
    // While states are put back as they were, no row becomes selected.
    int m_nKeepStates = 0;
    void NoteSelectionChange(int row, bool selected);
    CImageList m_imageList;
    // The record of each row, top to bottom.
    std::vector<CDeviceCfg*> m_rows;
    // Rows appended while a batch is open reach the control in one count
    // change at its end, with their states.
    int m_nRowBatch = 0;
    std::vector<std::pair<int, UINT>> m_batchStates;
    int m_nBatchVisible = -1;
    void BeginRows() { ++m_nRowBatch; }
    void EndRows();
    wchar_t m_columnText[1000] = {};
    const wchar_t* m_columnCaptions[9] = {};
    void OnColumnClick(int column);
    void KeepCaptionVisible(int column);
    void InsertColumns(CListCtrl& list) const;
    std::vector<int> WidestRows() const;
    void SortRows(int key);
    // Many rows out at once: the list is rebuilt from the rows that stay.
    void RemoveRows(const std::vector<int>& rows);
    // Records back into the list and the store with names of their own.
    struct CNamedRecords {
        std::vector<CDeviceCfg*> kept;
        bool renamed = false, dots = false, changed = false;
    };
    static CNamedRecords NameRecords(const std::vector<CDeviceCfg*>& records, bool inStore);
    void ShowNamedRecords(const CNamedRecords& named, bool inStore);
};

// A balloon at the main frame's Save button (no-op without a main frame).
void ShowFrameBalloon(UINT textId, UINT titleId);
// A control-pipe outcome: balloon or message box.
struct CServerNotice;
void ShowServerNotice(const CServerNotice& notice);
const UINT_PTR kReminderTimer = 1861;
const UINT kReminderMs = 10000;
