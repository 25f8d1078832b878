// What a read job and a write job hold alike: the transfer's channel and
// wake event, the raw socket, and the outcome the Get... members report.
#pragma once
#include "reconfig/cfg_target.h"
#include "framework/Handle.h"

struct CCfgChannel;

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

    CCfgChannel* m_pChannel = nullptr;  // the transfer's context, never null in a live job
    HANDLE m_hWake = nullptr;           // set by every notification that moves the job

private:
    void* m_pOwner;
};
