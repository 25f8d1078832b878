#include "editor/doc.h"
#include "editor/device_commands.h"
#include "editor/server_control.h"
#include "editor/view.h"
#include "framework/WinApp.h"
#include "framework/Seams.h"
#include "framework/Answering.h"
#include "framework/ErrorText.h"
#include "resources/varnel_doc_ids.h"
#include <shellapi.h>
#include <cstdio>

// IDS_SRV_ERRORCODE with the error, the system's text and the path below.
static CString FileErrorText(DWORD error, const wchar_t* path) {
    CString s = FormatString(LoadText(IDS_SRV_ERRORCODE), (int)error) + SystemErrorText(error).Left(199);
    s.Trim();
    s += L"\n";
    s += path;
    return s;
}

// The file functions take at most MAX_PATH - 1 characters: a longer path is
// refused plainly instead of being cut to another file's name.
static bool RefuseLongPath(const wchar_t* path) {
    if (!path || wcslen(path) < MAX_PATH) return false;
    CString text;
    AfxFormatString1(text, IDS_PATH_TOO_LONG, path);
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    return true;
}

CTamselDoc::~CTamselDoc() { DeleteContents(); }

BOOL CTamselDoc::IsActiveConfigurationPath(const wchar_t* path) {
    return CString(path).CompareNoCase(theCfgStore.GetActivePath()) == 0;
}

BOOL CTamselDoc::IsActiveConfiguration() const { return IsActiveConfigurationPath(m_strPathName); }

void CTamselDoc::SetModifiedFlag(BOOL modified) {
    if (!modified && m_bUnsavedImport) return;
    CDocument::SetModifiedFlag(modified);
}

// The rows point into the store: none may be painted after its records are
// freed (the messages of an open are shown over the view).
void CTamselDoc::ClearViewRows() {
    for (CView* v : GetViews())
        if (CTamselView* view = dynamic_cast<CTamselView*>(v)) view->ClearRows();
}

void CTamselDoc::DeleteContents() {
    ClearViewRows();
    theCfgStore.ClearAll();
    m_nUndoGeneration = 0;
    m_bUnsavedImport = FALSE;
}

BOOL CTamselDoc::OnNewDocument() {
    m_bUnsavedImport = FALSE;
    if (!CDocument::OnNewDocument()) return FALSE;
    theCfgStore.FetchGlobalTiming();
    theCfgStore.EnsureGlobalDevice();
    return TRUE;
}

void CTamselDoc::FailOpen() {
    ClearPathName();
    SetTitle(LoadText(AFX_IDS_UNTITLED));
    UpdateAllViews(nullptr);
}

// A large file takes longer to read than the window may go without
// answering: off its thread, while the views hold no rows.
bool CTamselDoc::LoadAnswering(const wchar_t* path) {
    int loaded = 0;
    RunAnswering([&] {
        loaded = theCfgStore.Load(path, true);
        if (loaded > 0) MakeNamesUniqueInStore(theCfgStore);
    });
    return loaded > 0;
}

BOOL CTamselDoc::OpenActive(const wchar_t* path) {
    // Shared like the C library's "r", so a file the server holds open is readable.
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND) {
            // Locked or not ours to read: never replace it with an empty one.
            AfxMessageBox(FileErrorText(err, path), MB_OK | MB_ICONSTOP);
            return FALSE;
        }
        OnNewDocument();
        theCfgStore.Save(path);
        return TRUE;
    }
    CloseHandle(h);
    ClearViewRows();
    if (LoadAnswering(path)) return TRUE;
    if (AfxMessageBox(IDS_ACTIVE_INVALID, MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
        ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
        FailOpen();
        return FALSE;
    }
    OnNewDocument();
    return TRUE;
}

BOOL CTamselDoc::OnOpenDocument(const wchar_t* path) {
    m_bUnsavedImport = FALSE;
    CDocument::SetModifiedFlag(FALSE);
    if (RefuseLongPath(path)) return FALSE;
    if (IsActiveConfigurationPath(path)) return OpenActive(path);

    FILE* f = _wfopen(path, L"r");
    if (!f) {
        CString text;
        AfxFormatString1(text, AFX_IDP_FILE_NOT_FOUND, path);
        AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    DeleteContents();
    CDocument::SetModifiedFlag(FALSE);
    char first[1000];
    ReadLimitedLine(f, first);
    if (!IsOldFormatLine(first)) {
        fclose(f);
        if (LoadAnswering(path)) return TRUE;
        AfxMessageBox(IDS_WRONG_FORMAT, MB_OK | MB_ICONEXCLAMATION);
    } else {
        COldImport r = ImportOldFormat(theCfgStore, f);
        fclose(f);
        MakeNamesUniqueInStore(theCfgStore);
        if (r.hadType17)
            AfxMessageBox(IDS_OLD_ANALOG_IN, MB_OK | MB_ICONEXCLAMATION);
        else
            AfxMessageBox(IDS_OLD_FORMAT, MB_OK | MB_ICONINFORMATION);
        // The imported devices are nowhere on disk yet: closing must ask.
        CDocument::SetModifiedFlag(TRUE);
        m_bUnsavedImport = TRUE;
    }
    FailOpen();
    return FALSE;
}

BOOL CTamselDoc::OnSaveDocument(const wchar_t* path) {
    if (RefuseLongPath(path)) return FALSE;
    if (!theCfgStore.Save(path)) {
        DWORD err = theCfgStore.GetLastSaveError();
        AfxMessageBox(FileErrorText(err, path), MB_OK | MB_ICONSTOP);
        return FALSE;
    }
    m_bUnsavedImport = FALSE;
    SetModifiedFlag(FALSE);
    // The save stands whatever the server answers.
    if (IsActiveConfigurationPath(path)) RequestReload();
    return TRUE;
}

// One request at a time: a save while an outcome is being shown (its box
// runs a message loop) asks for one more request after it, however many
// saves came meanwhile, and each outcome is shown once.
void CTamselDoc::RequestReload() {
    static bool busy = false, again = false;
    if (busy) {
        again = true;
        return;
    }
    busy = true;
    do {
        again = false;
        DWORD error = 0;
        ServerAnswer answer = SendReloadRequest(&error);
        ShowServerNotice(ReloadNotice(answer, error));
    } while (again);
    busy = false;
}

BOOL CTamselDoc::SaveModified() {
    if (!IsActiveConfiguration()) return CDocument::SaveModified();
    if (!IsModified()) return TRUE;
    CString prompt;
    AfxFormatString1(prompt, AFX_IDP_ASK_TO_SAVE, LoadText(IDS_ACTIVE_CONFIG));
    switch (AfxMessageBox(prompt, MB_YESNOCANCEL)) {
    case IDCANCEL: return FALSE;
    case IDYES: return DoFileSave();
    default: return TRUE;
    }
}

void CTamselDoc::SetPathName(const wchar_t* path, BOOL addToMRU) {
    if (path && IsActiveConfigurationPath(path)) {
        CDocument::SetPathName(path, FALSE);
        SetTitle(LoadText(IDS_ACTIVE_CONFIG));
    } else {
        CDocument::SetPathName(path, addToMRU);
    }
}

void CTamselDoc::OnFileSaveAs() {
    if (!IsActiveConfiguration()) {
        DoSave(nullptr);
        return;
    }
    ClearPathName();
    SetTitle(LoadText(AFX_IDS_UNTITLED));
    DoSave(nullptr);
    if (m_strPathName.IsEmpty()) {
        // Cancelled: still the active configuration.
        CDocument::SetPathName(theCfgStore.GetActivePath(), FALSE);
        SetTitle(LoadText(IDS_ACTIVE_CONFIG));
    }
}

void CTamselDoc::OnFileSaveActive() {
    if (!IsActiveConfiguration() &&
        AfxMessageBox(IDS_REPLACE_ACTIVE, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
        return;
    DoSave(theCfgStore.GetActivePath(), TRUE);
}

void CTamselDoc::OnUpdateFileSaveActive(CCmdUI* ui) { ui->Enable(IsModified() || !IsActiveConfiguration()); }

BOOL CTamselDoc::OnCommandMap(UINT id, CCmdUI* ui) {
    static const CmdEntry<CTamselDoc> map[] = {
        {ID_FILE_SAVE_ACTIVE, &CTamselDoc::OnFileSaveActive, &CTamselDoc::OnUpdateFileSaveActive},
        {ID_FILE_SAVE_AS, &CTamselDoc::OnFileSaveAs, nullptr},
    };
    return DispatchCommands(this, map, id, ui) || CDocument::OnCommandMap(id, ui);
}

int CTamselDoc::MakeNameUnique(CDeviceCfg* dev) {
    bool dots = false;
    int r = MakeNameUniqueIn(theCfgStore, dev, dots);
    if (dots) KrvMessageBeep(MB_ICONASTERISK);
    return r;
}
