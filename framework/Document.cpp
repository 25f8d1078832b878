#include "framework/Document.h"
#include "framework/FrameWnd.h"
#include "framework/WinApp.h"
#include <algorithm>
#include <commdlg.h>

CDocument::~CDocument() {
    for (CView* v : m_views) v->m_pDocument = nullptr;
    if (m_pDocTemplate) m_pDocTemplate->RemoveDocument(this);
}

void CDocument::SetTitle(const wchar_t* title) {
    m_strTitle = title;
    for (CView* v : m_views)
        if (CFrameWnd* f = v->GetParentFrame()) f->OnUpdateFrameTitle(TRUE);
}

static CString fullPath(const wchar_t* path) {
    wchar_t buf[MAX_PATH * 2];
    DWORD n = ::GetFullPathNameW(path, MAX_PATH * 2, buf, nullptr);
    if (n == 0 || n >= MAX_PATH * 2) return CString(path);
    return CString(buf);
}

void CDocument::SetPathName(const wchar_t* path, BOOL addToMRU) {
    m_strPathName = fullPath(path);
    const wchar_t* name = m_strPathName;
    const wchar_t* slash = wcsrchr(name, L'\\');
    SetTitle(slash ? slash + 1 : name);
    if (addToMRU) AfxGetApp()->AddToRecentFileList(m_strPathName);
}

BOOL CDocument::OnNewDocument() {
    DeleteContents();
    m_strPathName.Empty();
    SetModifiedFlag(FALSE);
    return TRUE;
}

BOOL CDocument::OnOpenDocument(const wchar_t* path) {
    DeleteContents();
    SetModifiedFlag(FALSE);
    return TRUE;
}

BOOL CDocument::OnSaveDocument(const wchar_t* path) {
    SetModifiedFlag(FALSE);
    return TRUE;
}

void CDocument::OnCloseDocument() {
    BOOL autoDelete = m_bAutoDelete;
    m_bAutoDelete = FALSE;  // the last view going must not delete us meanwhile
    std::vector<CView*> views = m_views;
    for (CView* v : views) {
        if (CFrameWnd* f = v->GetParentFrame()) f->DestroyWindow();
    }
    DeleteContents();
    if (autoDelete) delete this;
}

BOOL CDocument::SaveModified() {
    if (!IsModified()) return TRUE;
    // The document as the title bar names it, not its whole path.
    CString name = m_strTitle;
    if (name.IsEmpty()) name.LoadString(AFX_IDS_UNTITLED);
    CString prompt;
    AfxFormatString1(prompt, AFX_IDP_ASK_TO_SAVE, name);
    switch (AfxMessageBox(prompt, MB_YESNOCANCEL, AFX_IDP_ASK_TO_SAVE)) {
    case IDCANCEL: return FALSE;
    case IDYES: return DoFileSave();
    default: return TRUE;
    }
}

BOOL CDocument::DoFileSave() {
    DWORD attr = ::GetFileAttributesW(m_strPathName);
    if (m_strPathName.IsEmpty() || (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_READONLY)))
        return DoSave(nullptr);
    return DoSave(m_strPathName);
}

BOOL CDocument::DoSave(const wchar_t* path, BOOL replace) {
    CString newName = path ? CString(path) : CString();
    if (newName.IsEmpty()) {
        newName = m_strPathName;
        if (replace && newName.IsEmpty()) {
            newName = m_strTitle;
            // A title is no file name: drop what Windows does not allow.
            static const wchar_t bad[] = L"\\/:*?\"<>|";
            for (const wchar_t* b = bad; *b; ++b) newName.Remove(*b);
            CString ext;
            if (m_pDocTemplate && m_pDocTemplate->GetDocString(ext, CDocTemplate::filterExt) && !ext.IsEmpty()) {
                int semi = ext.Find(L';');
                if (semi >= 0) ext = ext.Left(semi);
                if (newName.Find(L'.') < 0) newName += ext;
            }
        }
        if (!AfxGetApp()->DoPromptFileName(newName, replace ? AFX_IDS_SAVEFILE : AFX_IDS_SAVEFILECOPY,
                                           OFN_HIDEREADONLY | OFN_PATHMUSTEXIST, FALSE, m_pDocTemplate))
            return FALSE;
    }
    if (!OnSaveDocument(newName)) return FALSE;
    if (replace) SetPathName(newName);
    return TRUE;
}

void CDocument::AddView(CView* view) {
    m_views.push_back(view);
    view->m_pDocument = this;
}

void CDocument::RemoveView(CView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
    view->m_pDocument = nullptr;
    if (m_views.empty() && m_bAutoDelete) {
        DeleteContents();
        delete this;
    }
}

void CDocument::UpdateAllViews(CView* sender, LPARAM hint, CCmdTarget* hintObj) {
    for (CView* v : m_views)
        if (v != sender) v->OnUpdate(sender, hint, hintObj);
}

BOOL CDocument::OnCommandMap(UINT id, CCmdUI* ui) {
    static const CmdEntry<CDocument> map[] = {
        {ID_FILE_SAVE, &CDocument::OnFileSave, nullptr},
        {ID_FILE_SAVE_AS, &CDocument::OnFileSaveAs, nullptr},
    };
    return DispatchCommands(this, map, id, ui);
}

// ---------------------------------------------------------------------------

CDocTemplate::CDocTemplate(UINT id, CRuntimeClass* doc, CRuntimeClass* frame, CRuntimeClass* view)
    : m_nIDResource(id), m_pDocClass(doc), m_pFrameClass(frame), m_pViewClass(view) {
    m_strDocStrings.LoadString(id);
}

BOOL CDocTemplate::GetDocString(CString& out, DocStringIndex index) const {
    out.Empty();
    const CString& s = m_strDocStrings;
    int start = 0;
    for (int i = 0; i < (int)index; ++i) {
        int nl = s.Find(L'\n', start);
        if (nl < 0) return FALSE;
        start = nl + 1;
    }
    int nl = s.Find(L'\n', start);
    out = nl < 0 ? s.Mid(start) : s.Mid(start, nl - start);
    return TRUE;
}

void CDocTemplate::SetDefaultTitle(CDocument* doc) {
    CString title;
    if (!GetDocString(title, docName) || title.IsEmpty()) title.LoadString(AFX_IDS_UNTITLED);
    doc->SetTitle(title);
}

CDocument* CDocTemplate::CreateNewDocument() {
    CDocument* doc = dynamic_cast<CDocument*>(m_pDocClass->create());
    if (doc) AddDocument(doc);
    return doc;
}

CFrameWnd* CDocTemplate::CreateNewFrame(CDocument* doc, CFrameWnd*) {
    CCreateContext ctx;
    ctx.m_pCurrentDoc = doc;
    ctx.m_pNewViewClass = m_pViewClass;
    ctx.m_pNewDocTemplate = this;
    CCmdTarget* obj = m_pFrameClass->create();
    CFrameWnd* frame = dynamic_cast<CFrameWnd*>(obj);
    if (!frame) {
        delete obj;
        return nullptr;
    }
    // A frame whose window failed during creation has deleted itself.
    if (!frame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, &ctx)) return nullptr;
    return frame;
}

void CDocTemplate::InitialUpdateFrame(CFrameWnd* frame, CDocument* doc, BOOL makeVisible) {
    frame->InitialUpdateFrame(doc, makeVisible);
}

CSingleDocTemplate::~CSingleDocTemplate() {
    if (m_pOnlyDoc) m_pOnlyDoc->m_pDocTemplate = nullptr;
}

void CSingleDocTemplate::AddDocument(CDocument* doc) {
    m_pOnlyDoc = doc;
    CDocTemplate::AddDocument(doc);
}

void CSingleDocTemplate::RemoveDocument(CDocument* doc) {
    if (m_pOnlyDoc == doc) m_pOnlyDoc = nullptr;
    CDocTemplate::RemoveDocument(doc);
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const wchar_t* path, BOOL makeVisible) {
    CDocument* doc = m_pOnlyDoc;
    CFrameWnd* frame = nullptr;
    BOOL created = FALSE;
    if (doc) {
        if (!doc->SaveModified()) return nullptr;
        if (CView* v = doc->GetFirstView()) frame = v->GetParentFrame();
    } else {
        doc = CreateNewDocument();
        if (!doc) return nullptr;
        created = TRUE;
    }
    if (!frame) {
        BOOL autoDelete = doc->m_bAutoDelete;
        doc->m_bAutoDelete = FALSE;  // a failed frame must not take the document with it
        frame = CreateNewFrame(doc, nullptr);
        doc->m_bAutoDelete = autoDelete;
        if (!frame) {
            if (created) delete doc;
            return nullptr;
        }
        created = TRUE;
    }
    if (!path) {
        SetDefaultTitle(doc);
        if (!doc->OnNewDocument()) {
            if (created) frame->DestroyWindow();
            return nullptr;
        }
    } else {
        BOOL wasModified = doc->IsModified();
        doc->SetModifiedFlag(FALSE);
        if (!doc->OnOpenDocument(path)) {
            if (created)
                frame->DestroyWindow();  // and with its view the document
            else
                doc->SetModifiedFlag(wasModified);
            return nullptr;
        }
        doc->SetPathName(path);
    }
    InitialUpdateFrame(frame, doc, makeVisible);
    return doc;
}
