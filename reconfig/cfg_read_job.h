// Download of a device's own configuration with one asynchronous HTTP GET
// into a local file (kinds 2 to 5), or the raw TCP handshake of kinds 0 and 6.
//
//   CCfgReadJob job(CFG_KIND_JSON, 0, &target, session, L"C:\\...\\1765400000.json");
//   while (job.GetState() != CFG_READ_ENDED) CCfgReadJob::RunOnce(job, FALSE);   // one call per idle pass
//   if (job.GetSuccess()) ...; else show job.GetMessageId() with job.GetArgument()
// The session must have been opened with INTERNET_FLAG_ASYNC. WinINet's
// threads move the job through its states; read what they write only through
// the Get... members. A poll pass returns after at most about 20 ms, earlier
// when a window message waits.
#pragma once
#include "reconfig/cfg_job_base.h"
#include "framework/Handle.h"

struct CCfgChannel;

enum {
    CFG_READ_IDLE = 0,
    CFG_READ_STARTED = 1,
    CFG_READ_CONNECTED = 2,
    CFG_READ_SENDING = 3,
    CFG_READ_SENT = 4,
    CFG_READ_PASSWORD = 6,
    CFG_READ_ENDED = 10,
    CFG_READ_BODY_READY = 12,
    CFG_READ_BODY_READING = 13,
};

class CCfgReadJob : public CCfgJobBase {
public:
    CCfgReadJob();
    CCfgReadJob(int kind, int tag, CCfgTarget* target, HINTERNET session, const wchar_t* outputTemplate);
    ~CCfgReadJob();
    // Copies the settings and outcome; the handles, socket and output file
    // stay with the source. Assignment first closes what this job holds.
    CCfgReadJob(const CCfgReadJob& o);
    CCfgReadJob& operator=(const CCfgReadJob& o);
    // Takes over everything, the transfer under way included.
    CCfgReadJob(CCfgReadJob&& o) noexcept;
    CCfgReadJob& operator=(CCfgReadJob&& o) noexcept;

    // One poll pass over this job alone; 1 when it saw raw socket activity.
    static int RunOnce(CCfgReadJob& job, BOOL limits);

    void CloseOutput(BOOL deleteFile);
    // Tenths of a second since the start while connecting, else -1.
    int GetConnectProgress() const;
    void MakeOutputFileName();

    DWORD GetBytesReceived() const;
    DWORD GetContentLength() const;
    CString GetOutputName() const;

    CString m_strOutputName;
    FILE* m_pOutput = nullptr;
    DWORD m_dwBytesReceived = 0;
    DWORD m_dwContentLength = 0;
    DWORD m_dwActivityTick = 0;
    BOOL m_bZeroByteForEmpty = TRUE;
    DWORD m_dwPasswordCounterSeen = 0;

    // Internal; the status callback reaches the job only through its channel.
    static void OnStatus(CCfgChannel* c, DWORD status, DWORD value, const INTERNET_ASYNC_RESULT* result);

private:
    friend class CCfgReadJobList;
    friend class CCfgJobBase;
    bool Start();
    bool SendRequest(WORD port);
    void ConnectRaw(WORD port);
    void SendPasswordRaw();
    void Step();
    void ReadBody(DWORD deadline);
    void SettleLocked(CCfgChannel* c);
    CfgWait WaitLocked() const;
    void OnRequestError(DWORD error, OwnedInternet& request, OwnedInternet& connection);
    void LetGo();
    bool OpenOutputLocked();
    bool KeepOutputLocked();
    void DiscardOutputLocked();
    void FailLocked(UINT message, const CString& argument, OwnedInternet& request, OwnedInternet& connection);
    void CopySettings(const CCfgReadJob& o);
    void TakeOver(CCfgReadJob& o);

    int m_nReadErrors = 0;  // failed body reads in a row
    CString m_strPartName;  // the output while it is not whole
};

// The poll pass over a list of read jobs. The list owns what is in it.
// AddHead, AddTail, RemoveHead and IsEmpty come from CCfgJobListOf.
class CCfgReadJobList : public CCfgJobListOf<CCfgReadJob> {
public:
    static int Poll(CCfgReadJobList& list, BOOL limits);
};

void CALLBACK ReadJobStatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);
