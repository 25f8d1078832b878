// Devices through the clipboard as the text of configuration-file sections,
// written by the store in memory and read by it through a temporary file.
#include "editor/view.h"
#include "editor/doc.h"
#include "config/device_cfg.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// An empty temporary file "KRV....tmp" made by the system; false when none.
bool MakeTempFile(wchar_t (&path)[MAX_PATH]) {
    wchar_t dir[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, dir);
    if (n == 0 || n >= MAX_PATH) return false;
    return GetTempFileNameW(dir, L"KRV", 0, path) != 0;
}

// Whether two records hold the same values (what a section of the file
// holds; not the list links, the row's image or the undo mark).
bool SameValues(const CDeviceCfg& a, const CDeviceCfg& b) {
    for (int i = 0; i < 3; ++i)
        if (a.ScaleMin[i] != b.ScaleMin[i] || a.ScaleMax[i] != b.ScaleMax[i] || a.InputFlag[i] != b.InputFlag[i] ||
            a.Unit[i] != b.Unit[i])
            return false;
    return a.DeviceType == b.DeviceType && a.OpcName == b.OpcName && a.ItemNames == b.ItemNames &&
           a.Disable == b.Disable && a.TargetHost == b.TargetHost && a.MaxIdleTicks == b.MaxIdleTicks &&
           a.MinIntervalTicks == b.MinIntervalTicks && a.BinaryPort == b.BinaryPort && a.HttpPort == b.HttpPort &&
           a.HttpSecure == b.HttpSecure && a.Password == b.Password && a.ReceiveMode == b.ReceiveMode &&
           a.UsesLocalTime == b.UsesLocalTime && a.AlwaysDevClock == b.AlwaysDevClock && a.SerialNo == b.SerialNo &&
           a.EnOceanBaseAddress == b.EnOceanBaseAddress && a.DontSubscribe == b.DontSubscribe &&
           a.LoginRequired == b.LoginRequired && a.BinaryLogin == b.BinaryLogin &&
           a.ForceReconnect == b.ForceReconnect && a.PriorityLogin == b.PriorityLogin &&
           a.SerialParam == b.SerialParam && a.SerialFilter == b.SerialFilter &&
           a.SerialPacketGap == b.SerialPacketGap && a.Inputs == b.Inputs && a.Outputs == b.Outputs;
}

}  // namespace

// The text is that of a fresh file of the selected records, its byte-order
// mark turned into a blank; made in memory, nothing on the clipboard changes
// when memory runs out.
void CTamselView::OnEditCopy() {
    CListCtrl& list = GetListCtrl();
    std::wstring text;
    try {
        std::vector<const CDeviceCfg*> devs;
        for (int row = list.GetNextItem(-1, LVNI_SELECTED); row >= 0; row = list.GetNextItem(row, LVNI_SELECTED))
            if (CDeviceCfg* dev = GetRowDevice(row)) devs.push_back(dev);
        if (!CCfgStore::SectionsText(devs.data(), devs.size(), text)) return;
    } catch (const std::bad_alloc&) {
        return;
    }
    // as large a file as the clipboard took when it went through one
    const size_t size = text.size() * sizeof(wchar_t);
    if (size >= 0x7FFFFFF0u) return;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size + 2);
    if (!mem) return;
    BYTE* p = (BYTE*)GlobalLock(mem);
    if (!p) {
        GlobalFree(mem);
        return;
    }
    if (size) std::memcpy(p, text.data(), size);
    p[size] = p[size + 1] = 0;
    if (!text.empty() && text[0] == 0xFEFF) ((wchar_t*)p)[0] = L' ';
    GlobalUnlock(mem);
    std::wstring().swap(text);
    if (OpenClipboard(m_hWnd)) {
        EmptyClipboard();
        if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
        CloseClipboard();
    } else {
        GlobalFree(mem);
    }
}

void CTamselView::OnEditCut() {
    OnEditCopy();
    DeleteSelection(false);
}

void CTamselView::OnUpdateEditPaste(CCmdUI* ui) { ui->Enable(IsClipboardFormatAvailable(CF_TEXT)); }

void CTamselView::OnEditPaste() {
    wchar_t path[MAX_PATH];
    if (!MakeTempFile(path)) return;
    FILE* f = _wfopen(path, L"wb");
    if (!f) {
        DeleteFileW(path);
        return;
    }
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(m_hWnd)) {
        fclose(f);
        DeleteFileW(path);
        return;
    }
    // The profile functions take a file for UTF-16 only with its byte-order mark.
    const wchar_t bom = 0xFEFF;
    fwrite(&bom, sizeof bom, 1, f);
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const wchar_t* text = (const wchar_t*)GlobalLock(data)) {
            size_t units = GlobalSize(data) / sizeof(wchar_t);
            size_t n = 0;
            while (n < units && text[n]) ++n;  // never past the block
            fwrite(text, sizeof(wchar_t), n, f);
            GlobalUnlock(data);
        }
    }
    fclose(f);
    CloseClipboard();

    for (CDeviceCfg* d = theCfgStore.GetFirstDevice(); d; d = theCfgStore.GetNextDevice(d)) d->UndoGeneration = 1;
    // A global options section merges into the existing record: a paste
    // that changes its values changes the document as an added row does.
    CDeviceCfg* global = theCfgStore.FindGlobalDevice();
    CDeviceCfg before(L"", kTypeListHead);
    if (global) before.CopySettings(*global);
    theCfgStore.Load(path, false);
    DeleteFileW(path);
    DeselectAll();
    std::vector<CDeviceCfg*> added;
    for (CDeviceCfg* d = theCfgStore.GetFirstDevice(); d; d = theCfgStore.GetNextDevice(d))
        if (d->UndoGeneration == 0) added.push_back(d);
    InsertNamedDevices(added, true);
    if (global && !SameValues(before, *global)) {
        auto row = std::find(m_rows.begin(), m_rows.end(), global);
        if (row != m_rows.end()) UpdateDeviceRow((int)(row - m_rows.begin()));
        NoteChange();
    }
}
