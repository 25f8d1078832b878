// Single-document machinery: CDocument and CSingleDocTemplate.
//
// The application registers one template:
//     AddDocTemplate(new CSingleDocTemplate(128, RUNTIME_CLASS(CMyDoc),
//                                           RUNTIME_CLASS(CMyFrame), RUNTIME_CLASS(CMyView)));
// Resource 128 is the menu, accelerators and icon of the frame and a string of
// "\n"-separated fields (window title, document name, new-file name, filter
// name, filter extension(s) ".a;.b", file type id, file type name).
// OpenDocumentFile(nullptr) starts a new document, a path opens that file.
// The first open creates document, frame and view; when it fails the frame is
// destroyed again (and with it the document). Later opens reuse the document
// after SaveModified; a failed one restores the modified flag.
#pragma once
#include "framework/Wnd.h"
#include <vector>

class CView;
class CFrameWnd;
class CDocTemplate;

class CDocument : public CCmdTarget {
public:
    CDocument() = default;
    ~CDocument() override;

    const CString& GetTitle() const { return m_strTitle; }
    virtual void SetTitle(const wchar_t* title);
    const CString& GetPathName() const { return m_strPathName; }
    virtual void SetPathName(const wchar_t* path, BOOL addToMRU = TRUE);
    void ClearPathName() { m_strPathName.Empty(); }
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }

    virtual BOOL IsModified() { return m_bModified; }
    virtual void SetModifiedFlag(BOOL modified = TRUE) { m_bModified = modified; }

    virtual void DeleteContents() {}
    // Clears the contents, the path and the modified flag.
    virtual BOOL OnNewDocument();
    // The default clears the contents; derived documents read the file.
    virtual BOOL OnOpenDocument(const wchar_t* path);
    // The default only clears the modified flag.
    virtual BOOL OnSaveDocument(const wchar_t* path);
    virtual void OnCloseDocument();
    // The standard prompt 61699 "Änderungen in %1 speichern?" with Yes/No/Cancel;
    // FALSE cancels the pending action.
    virtual BOOL SaveModified();
    virtual BOOL CanCloseFrame(CFrameWnd* frame) { return SaveModified(); }

    // Save under path; nullptr asks for a name first (Save As). With replace
    // the document takes the new path. FALSE when cancelled or failed.
    virtual BOOL DoSave(const wchar_t* path, BOOL replace = TRUE);
    // Save to the current file, or Save As when there is none.
    virtual BOOL DoFileSave();
    void OnFileSave() { DoFileSave(); }
    void OnFileSaveAs() { DoSave(nullptr); }

    void AddView(CView* view);
    void RemoveView(CView* view);
    CView* GetFirstView() const { return m_views.empty() ? nullptr : m_views.front(); }
    const std::vector<CView*>& GetViews() const { return m_views; }
    void UpdateAllViews(CView* sender, LPARAM hint = 0, CCmdTarget* hintObj = nullptr);

    BOOL OnCommandMap(UINT id, CCmdUI* ui) override;
    BOOL m_bAutoDelete = TRUE;

protected:
    CString m_strTitle;
    CString m_strPathName;
    BOOL m_bModified = FALSE;
    CDocTemplate* m_pDocTemplate = nullptr;
    std::vector<CView*> m_views;
    friend class CDocTemplate;
    friend class CSingleDocTemplate;
};

struct CCreateContext {
    CRuntimeClass* m_pNewViewClass = nullptr;
    CDocument* m_pCurrentDoc = nullptr;
    CDocTemplate* m_pNewDocTemplate = nullptr;
};

class CDocTemplate : public CCmdTarget {
public:
    enum DocStringIndex { windowTitle, docName, fileNewName, filterName, filterExt, regFileTypeId, regFileTypeName };
    CDocTemplate(UINT id, CRuntimeClass* doc, CRuntimeClass* frame, CRuntimeClass* view);
    BOOL GetDocString(CString& out, DocStringIndex index) const;
    UINT GetResourceId() const { return m_nIDResource; }
    virtual CDocument* OpenDocumentFile(const wchar_t* path, BOOL makeVisible = TRUE) = 0;
    virtual CDocument* GetOnlyDocument() const = 0;
    virtual void SetDefaultTitle(CDocument* doc);
    CDocument* CreateNewDocument();
    CFrameWnd* CreateNewFrame(CDocument* doc, CFrameWnd* other);
    void InitialUpdateFrame(CFrameWnd* frame, CDocument* doc, BOOL makeVisible = TRUE);
    virtual void RemoveDocument(CDocument* doc) { doc->m_pDocTemplate = nullptr; }
    virtual void AddDocument(CDocument* doc) { doc->m_pDocTemplate = this; }

protected:
    UINT m_nIDResource;
    CRuntimeClass* m_pDocClass;
    CRuntimeClass* m_pFrameClass;
    CRuntimeClass* m_pViewClass;
    CString m_strDocStrings;
};

class CSingleDocTemplate : public CDocTemplate {
public:
    using CDocTemplate::CDocTemplate;
    ~CSingleDocTemplate() override;
    CDocument* OpenDocumentFile(const wchar_t* path, BOOL makeVisible = TRUE) override;
    CDocument* GetOnlyDocument() const override { return m_pOnlyDoc; }
    void RemoveDocument(CDocument* doc) override;
    void AddDocument(CDocument* doc) override;

private:
    CDocument* m_pOnlyDoc = nullptr;
};
