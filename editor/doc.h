// CTamselDoc: Varnel's one document. The devices live in theCfgStore; the
// document loads, saves and clears it, treats the active configuration (the
// file the OPC server runs) specially and keeps the undo generation counter.
#pragma once
#include "framework/Document.h"
#include "resources/varnel_ids.h"

class CDeviceCfg;

class CTamselDoc : public CDocument {
public:
    CTamselDoc() = default;
    ~CTamselDoc() override;

    void SetPathName(const wchar_t* path, BOOL addToMRU = TRUE) override;
    void DeleteContents() override;
    BOOL OnNewDocument() override;
    BOOL OnOpenDocument(const wchar_t* path) override;
    BOOL OnSaveDocument(const wchar_t* path) override;
    BOOL SaveModified() override;
    void SetModifiedFlag(BOOL modified = TRUE) override;

    static BOOL IsActiveConfigurationPath(const wchar_t* path);
    BOOL IsActiveConfiguration() const;
    // 1 name kept, -1 changed, 0 merged into the global options record
    // (the caller then deletes dev).
    int MakeNameUnique(CDeviceCfg* dev);

    void OnFileSaveAs();
    void OnFileSaveActive();
    void OnUpdateFileSaveActive(CCmdUI* ui);
    BOOL OnCommandMap(UINT id, CCmdUI* ui) override;

    // Undo generation: delete files under the current value, then raises it.
    int m_nUndoGeneration = 0;

private:
    // An old-format import leaves unsaved devices in an untitled document;
    // the failed open must not clear that.
    BOOL m_bUnsavedImport = FALSE;
    void FailOpen();
    // Loads the file into the emptied store; false when it holds no device.
    bool LoadAnswering(const wchar_t* path);
    // Before anything replaces the store's records.
    void ClearViewRows();
    void RequestReload();
    BOOL OpenActive(const wchar_t* path);
};
