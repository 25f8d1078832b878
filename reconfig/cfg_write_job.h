// Upload of a configuration file to a device with one asynchronous HTTP POST
// of a multipart/form-data body (kinds 2 to 5), and the judgement of the
// device's reply. The upload's steps are in cfg_write_job.cpp, the reply's
// decoding and judgement in cfg_upload_reply.cpp.
//
//   CCfgWriteJob job(0, &target, session);
//   job.Setup(CFG_KIND_JSON, L"C:\\...\\KRV1234.tmp", 0);
//   while (job.GetState() != CFG_WRITE_ENDED) CCfgWriteJob::RunOnce(job);   // one call per idle pass
//   job.GetSuccess(), job.GetMessageId(), job.GetArgument(), job.GetSessionId()
// The session must have been opened with INTERNET_FLAG_ASYNC. Read what
// WinINet's threads write only through the Get... members. A poll pass
// returns after at most about 20 ms, earlier when a window message waits.
#pragma once
#include "reconfig/cfg_job_base.h"
#include "framework/Handle.h"

struct CCfgChannel;

enum {
    CFG_WRITE_IDLE = 0,
    CFG_WRITE_STARTED = 1,
    CFG_WRITE_CONNECTED = 2,
    CFG_WRITE_SENDING = 3,
    CFG_WRITE_HEAD_SENT = 4,
    CFG_WRITE_PASSWORD = 6,
    CFG_WRITE_ENDED = 10,
    CFG_WRITE_REPLY_READY = 12,
    CFG_WRITE_REPLY_READING = 13,
    CFG_WRITE_CHUNK_READY = 14,
    CFG_WRITE_CHUNK_SENDING = 15,
    CFG_WRITE_ENDING = 16,
    CFG_WRITE_RESPONSE = 17,
};

// The multipart boundary of every upload.
extern const wchar_t kCfgBoundary[];

class CCfgWriteJob : public CCfgJobBase {
public:
    CCfgWriteJob();
    CCfgWriteJob(int tag, CCfgTarget* target, HINTERNET session);
    ~CCfgWriteJob();
    // Copies the settings and outcome; handles, socket, input file and the
    // temporary copy stay with the source. Assignment first closes what this
    // job holds and deletes its temporary copy.
    CCfgWriteJob(const CCfgWriteJob& o);
    CCfgWriteJob& operator=(const CCfgWriteJob& o);
    // Takes over everything, the transfer and the temporary copy included.
    CCfgWriteJob(CCfgWriteJob&& o) noexcept;
    CCfgWriteJob& operator=(CCfgWriteJob&& o) noexcept;

    bool Setup(int kind, const wchar_t* inputPath, int unused);
    // One poll pass over this job alone; 1 when it did work.
    static int RunOnce(CCfgWriteJob& job);
    void CloseInput();

    CString GetSessionId() const;
    DWORD GetInputSize() const;
    DWORD GetBytesSent() const;
    int GetHttpStatus() const;
    CString GetReplyText() const;

    FILE* m_pInput = nullptr;
    int m_nHttpStatus = 0;
    CString m_strSessionId;
    CString m_strInputPath;
    DWORD m_dwInputSize = 0;
    DWORD m_dwBytesSent = 0;
    BOOL m_bTempCopy = FALSE;
    OwnedHandle m_tempGuard;  // keeps the temporary copy from other programs' clean-up
    DWORD m_dwReplyBytes = 0;
    int m_nReplyCodePage = -1;
    CString m_strHeaders;
    CString m_strHead;
    CString m_strTail;
    CString m_strRawReply;
    CString m_strReplyText;
    DWORD m_dwReplyTotal = 0;  // reply bytes read so far
    BOOL m_bFirstAttempt = TRUE;

    // Judges the complete reply (status and text); public for its tests.
    void ParseReply();

    // Internal; the status callback reaches the job only through its channel.
    static void OnStatus(CCfgChannel* c, DWORD status, DWORD value, const INTERNET_ASYNC_RESULT* result);

private:
    friend class CCfgWriteJobList;
    friend class CCfgJobBase;
    void Start();
    void OpenRequest(WORD port);
    void BeginUpload();
    void ConnectRaw(WORD port);
    void WriteNextChunk(DWORD deadline);
    void ReadReply(DWORD deadline);
    int EndIfPasswordNeeded();
    void ReceiveRaw();
    static void TakeResponse(CCfgChannel* c);
    void AppendReplyLocked(const BYTE* bytes, DWORD count);
    CfgWait WaitLocked() const;
    void FailLocked(UINT message, const CString& argument, OwnedInternet& request, OwnedInternet& connection);
    void DropTempCopy();
    void LetGo();
    void CopySettings(const CCfgWriteJob& o);
    void TakeOver(CCfgWriteJob& o);
};

// The poll pass over a list of write jobs. The list owns what is in it.
// AddHead, AddTail, RemoveHead and IsEmpty come from CCfgJobListOf.
class CCfgWriteJobList : public CCfgJobListOf<CCfgWriteJob> {
public:
    static int Poll(CCfgWriteJobList& list);
};

void CALLBACK WriteJobStatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);
