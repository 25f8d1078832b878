// What a read job and a write job hold alike: the transfer's channel and
// wake event, the raw socket, and the outcome the Get... members report.
#pragma once
#include "reconfig/cfg_target.h"
#include "framework/Handle.h"
#include <cstdio>
#include <list>

struct CCfgChannel;

// What an HTTP transfer waits for, which decides how long it may stand still.
enum CfgWait {
    kCfgWaitNothing,  // idle, ended, or the job's own turn
    kCfgWaitConnect,  // the connection: 274 when it never stands
    kCfgWaitStep,     // a step of the exchange before the request has gone
    kCfgWaitReply,    // the answer to a request that has gone
    kCfgWaitAnswer,   // the rest of an answer that has begun
};

class CCfgJobBase {
public:
    CCfgJobBase(const CCfgJobBase&) = delete;
    CCfgJobBase& operator=(const CCfgJobBase&) = delete;

    void Close();

    int GetState() const;
    BOOL GetSuccess() const;
    UINT GetMessageId() const;
    CString GetArgument() const;
    BOOL GetFallenBack() const;

    int m_nTag = 0;
    CCfgTarget* m_pTarget = nullptr;
    int m_nKind = 0;
    BOOL m_bSuccess = FALSE;
    int m_nState = 0;
    UINT m_nMessageId = 0;
    CString m_strArgument;
    OwnedSocket m_socket;
    HINTERNET m_hSession = nullptr;
    DWORD m_dwPending = 0;
    BOOL m_bFallenBack = FALSE;
    DWORD m_dwProgressTick = 0;  // the last time the HTTP transfer moved
    DWORD m_dwAnswerTick = 0;    // when the body or reply began to come

protected:
    // owner: the job as its channel's notifications name it.
    explicit CCfgJobBase(void* owner);
    ~CCfgJobBase();
    void CloseLocked(OwnedInternet& request, OwnedInternet& connection);
    void EndLocked(UINT message, const CString& argument, int state);
    // A non-blocking TCP connect to the target at port for the raw kinds: the
    // job enters startedState, or endedState with the socket error.
    void ConnectRawTo(WORD port, int startedState, int endedState);
    // Under the lock: the settings and outcome, nothing of the transfer.
    void CopyOutcome(const CCfgJobBase& o);
    // Under the lock: the transfer under way; this job holds a fresh channel.
    void TakeTransfer(CCfgJobBase& o);
    // For the destructor: lets go of the channel, socket and file for good.
    void EndTransfer(FILE*& file);
    // Opens the connection and request of this transfer to the target at
    // port, its notifications going to callback; a failure ends the job with
    // the WinINet error in endedState. The channel they name comes back in c.
    bool OpenHttpRequest(WORD port, INTERNET_STATUS_CALLBACK callback, const wchar_t* verb, const wchar_t* path,
                         const wchar_t** accept, DWORD flags, int endedState, CCfgChannel*& c, HINTERNET& request);
    // The HTTP port of the next attempt: the default one once fallen back.
    WORD HttpPortToTry() const { return m_bFallenBack ? m_pTarget->DefaultPort() : m_pTarget->m_wHttpPort; }
    // Under the lock: the device refused the connection. A job on a port
    // other than the default tries the default once, from idleState.
    void RefusedLocked(int idleState);
    // The raw connect failed: the job ends in endedState with what the
    // socket says.
    void FailRawConnect(int endedState);
    // Under the lock: the HTTP transfer moved.
    void ProgressLocked() { m_dwProgressTick = GetTickCount(); }
    // Under the lock: the device's answer has begun.
    void AnswerBegunLocked() { m_dwAnswerTick = GetTickCount(); }
    // Under the lock: the message an HTTP transfer that waits for wait ends
    // with, once it has stood still too long or its answer (answered bytes
    // so far) comes too slowly; 0 while it may go on.
    UINT OverdueLocked(CfgWait wait, DWORD answered) const;

    // A copy, under the lock, of a field that WinINet's threads may write.
    // Defined in cfg_job_copy.h.
    template <class T> static T Locked(const T& field);

    // The copy and move plumbing of a job class that makes this base its
    // friend and has CopySettings, TakeOver and LetGo (closes and drops what
    // it holds before it takes another job's). Defined in cfg_job_copy.h.
    template <class Job> static void CopyJob(Job& to, const Job& from);
    template <class Job> static Job& AssignJob(Job& to, const Job& from);
    template <class Job> static void MoveJob(Job& to, Job& from);
    template <class Job> static Job& MoveAssignJob(Job& to, Job& from);

    CCfgChannel* m_pChannel = nullptr;  // the transfer's context, never null in a live job
    HANDLE m_hWake = nullptr;           // set by every notification that moves the job

private:
    void* m_pOwner;
};

// The sets a raw connection waits in during a pass's select.
enum { kCfgRawRead = 1, kCfgRawWrite = 2, kCfgRawFailed = 4 };

// The jobs of one poll pass; the list owns what is in it.
template <class Job> class CCfgJobListOf {
public:
    CCfgJobListOf() = default;
    CCfgJobListOf(const CCfgJobListOf&) = delete;
    CCfgJobListOf& operator=(const CCfgJobListOf&) = delete;
    ~CCfgJobListOf() {
        for (Job* job : m_jobs) delete job;
    }
    void AddHead(Job* job) { m_jobs.push_front(job); }
    void AddTail(Job* job) { m_jobs.push_back(job); }
    Job* RemoveHead() {
        if (m_jobs.empty()) return nullptr;
        Job* job = m_jobs.front();
        m_jobs.pop_front();
        return job;
    }
    bool IsEmpty() const { return m_jobs.empty(); }

protected:
    // Raw connections: one select of at most 100 ms over the sockets of the
    // jobs, each in the sets want(state) names; then act(job, state, ready
    // sets) for every job with a socket. Defined in cfg_job_copy.h.
    template <class Want, class Act> void SelectRaw(Want want, Act act);
    // The rest of a pass: waits until the deadline for the events wake(job)
    // gives (null for none) and has move() take what arrives, until nothing
    // comes, the time is up or a window message waits.
    template <class Wake, class Move> void WaitAndMove(DWORD deadline, Wake wake, Move move);

    std::list<Job*> m_jobs;
};
