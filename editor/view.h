// CTamselView: the device list. One report row per record of theCfgStore's
// device list (global options included); each row's item data is its
// record. Sorting by a header writes the order back into the store. The
// device commands of the view are in device_commands.cpp/view.cpp.
#pragma once
#include "framework/FrameWnd.h"
#include "editor/view_rows.h"

class CDeviceCfg;
class CTamselDoc;

class CTamselView : public CListView {
public:
    CTamselView() = default;
    ~CTamselView() override;

    CTamselDoc* GetDocument() const;

    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
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
    void OnNewIoDevice() { NewDevice(4); }
    void OnNewSerialDevice() { NewDevice(2); }
    void OnNewRfidDevice() { NewDevice(18); }
    void OnNewTransceiver() { NewDevice(8); }
    void OnNewRadioModule() { NewDevice(9); }
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
    void OnFileSaveAs();
    void OnServiceControl();
    void OnServiceStop();
    void OnDemoClient();
    void DeleteSelection(bool withUndo);
    static BOOL CarryOverItemNames(CDeviceCfg* rec, CDeviceCfg* copy);

    // After every change of the configuration: modified, reminder re-armed.
    void NoteChange();
    // Recomputes the selection summary from the rows selected now.
    void UpdateSelectionSummary();
    // The summary is recomputed once after a batch of row changes, when a
    // command or its update handler needs it, not once per changed row.
    void SyncSelectionSummary() { if (m_bSelDirty) UpdateSelectionSummary(); }

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
    CImageList m_imageList;
    wchar_t m_columnText[1000] = {};
    const wchar_t* m_columnCaptions[9] = {};
    void OnColumnClick(int column);
    void KeepCaptionVisible(int column);
    static int CALLBACK SortThunk(LPARAM a, LPARAM b, LPARAM key);
    // Many rows out at once: the list is rebuilt from the rows that stay.
    void RemoveRows(const std::vector<int>& rows);
    // Records back into the list and the store with names of their own.
    void InsertNamedDevices(const std::vector<CDeviceCfg*>& records, bool inStore);
};

// A balloon at the main frame's Save button (no-op without a main frame).
void ShowFrameBalloon(UINT textId, UINT titleId);
// A control-pipe outcome: balloon or message box.
struct CServerNotice;
void ShowServerNotice(const CServerNotice& notice);

// Command and resource ids of the device list (named apart from the
// resource headers' macros).
namespace viewid {
constexpr UINT AutoSize = 32772, NewSerial = 32773, NewIo = 32774, Properties = 32775,
               Enable = 32777, ServiceControl = 32778, ShowHelp = 32780, ItemNames = 32806,
               NewModule = 32791, NewTrcv = 32792, NewRfid = 32819, Timing = 32823,
               ServiceStop = 32835, DemoClient = 32838;
constexpr UINT StrColumns = 192, StrUnsavedTitle = 201, StrQueryTypeChange = 209,
               StrNameConflict = 213, StrUnsavedReminder = 260;
constexpr UINT BmpDevices = 135, MenuDefPopup = 129, MenuDevPopup = 130;
}  // namespace viewid
const UINT_PTR kReminderTimer = 1861;
const UINT kReminderMs = 10000;
