// Devices through the clipboard as the text of configuration-file sections,
// written by the store in memory and read by it through a temporary file.
#include "editor/view.h"
#include "editor/doc.h"
#include "config/device_cfg.h"
#include "framework/Answering.h"
#include "framework/Seams.h"
#include <algorithm>
#include <cstdio>

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

// The clipboard's text into the empty file `path` as the profile functions
// read it; false when there is none or the file is not written whole.
bool WriteClipboardFile(HWND owner, const wchar_t* path) {
    FILE* f = _wfopen(path, L"wb");
    if (!f) return false;
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(owner)) {
        fclose(f);
        return false;
    }
    // The profile functions take a file for UTF-16 only with its byte-order mark.
    const wchar_t bom = 0xFEFF;
    bool ok = fwrite(&bom, sizeof bom, 1, f) == 1;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const wchar_t* text = (const wchar_t*)GlobalLock(data)) {
            size_t units = GlobalSize(data) / sizeof(wchar_t);
            size_t n = 0;
            while (n < units && text[n]) ++n;  // never past the block
            if (ok && fwrite(text, sizeof(wchar_t), n, f) != n) ok = false;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    if (fclose(f) != 0) ok = false;
    return ok;
}

}  // namespace

// The text is that of a fresh file of the selected records, its byte-order
// mark turned into a blank, made by the store straight into the clipboard's
// memory. Making and handing over a large text takes longer than the window
// may go without answering: off its thread, the records only read.
bool CTamselView::CopySelection() {
    std::vector<CDeviceCfg*> selected = GetSelectedDevices();
    const std::vector<const CDeviceCfg*> devs(selected.begin(), selected.end());
    bool copied = false;
    RunAnswering([&] {
        HGLOBAL mem = nullptr;
        wchar_t* text = nullptr;
        size_t units = 0;
        bool made = CCfgStore::SectionsText(devs.data(), devs.size(), [&](size_t n) -> wchar_t* {
            // as large a file as the clipboard took when it went through one
            if (n >= 0x7FFFFFF0u / sizeof(wchar_t)) return nullptr;
            mem = GlobalAlloc(GMEM_MOVEABLE, (n + 1) * sizeof(wchar_t));
            text = mem ? (wchar_t*)GlobalLock(mem) : nullptr;
            units = n;
            return text;
        });
        if (text) {
            if (made) {
                text[units] = 0;
                if (units && text[0] == 0xFEFF) text[0] = L' ';
            }
            GlobalUnlock(mem);
        }
        if (!made || !text) {
            if (mem) GlobalFree(mem);
            return;
        }
        // The view stays the clipboard's owner. Emptying tells the previous
        // owner (the view after an earlier copy) by a message its thread,
        // answering, refuses: the view handles none.
        if (OpenClipboard(m_hWnd)) {
            EmptyClipboard();
            copied = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
            if (!copied) GlobalFree(mem);
            CloseClipboard();
        } else {
            GlobalFree(mem);
        }
    });
    return copied;
}

void CTamselView::OnEditCopy() {
    if (!CopySelection()) KrvMessageBeep(MB_ICONEXCLAMATION);
}

// Without a whole copy on the clipboard nothing is cut: the records would
// be gone without undo.
void CTamselView::OnEditCut() {
    if (CopySelection())
        DeleteSelection(false);
    else
        KrvMessageBeep(MB_ICONEXCLAMATION);
}

void CTamselView::OnUpdateEditPaste(CCmdUI* ui) { ui->Enable(IsClipboardFormatAvailable(CF_TEXT)); }

// Reading many records and naming them takes longer than the window may go
// without answering: off its thread. The rows keep showing records that
// stay alive; the global options record may change under its row, whose
// texts are not handed out meanwhile.
void CTamselView::OnEditPaste() {
    wchar_t path[MAX_PATH];
    if (!MakeTempFile(path)) return;
    CDeviceCfg* global = theCfgStore.FindGlobalDevice();
    bool pasted = false, globalChanged = false;
    CNamedRecords named;
    RunAnswering([&] {
        if (!WriteClipboardFile(m_hWnd, path)) {
            DeleteFileW(path);
            return;
        }
        for (CDeviceCfg* d = theCfgStore.GetFirstDevice(); d; d = theCfgStore.GetNextDevice(d)) d->UndoGeneration = 1;
        // A global options section merges into the existing record: a paste
        // that changes its values changes the document as an added row does.
        CDeviceCfg before(L"", kTypeListHead);
        if (global) before.CopySettings(*global);
        theCfgStore.Load(path, false);
        DeleteFileW(path);
        std::vector<CDeviceCfg*> added;
        for (CDeviceCfg* d = theCfgStore.GetFirstDevice(); d; d = theCfgStore.GetNextDevice(d))
            if (d->UndoGeneration == 0) added.push_back(d);
        named = NameRecords(added, true);
        globalChanged = global && !SameValues(before, *global);
        pasted = true;
    });
    if (!pasted) return;
    DeselectAll();
    ShowNamedRecords(named, true);
    if (globalChanged) {
        auto row = std::find(m_rows.begin(), m_rows.end(), global);
        if (row != m_rows.end()) UpdateDeviceRow((int)(row - m_rows.begin()));
        NoteChange();
    }
}
