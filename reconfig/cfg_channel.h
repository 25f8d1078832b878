// Internal to the jobs: what WinINet holds as the context of one transfer.
//
// A job's handles and the buffer that an asynchronous read or write fills
// live here, not in the job: WinINet may still complete a pending read into
// the buffer, or send notifications, after the job has closed its handles,
// been re-armed or destroyed. The job lets go of its channel (job = null) on
// every Close; the channel itself goes when the job and every WinINet handle
// (INTERNET_STATUS_HANDLE_CLOSING, its last notification) have let go.
// Every field except the buffer and count is guarded by CfgJobLock(), one
// lock for all jobs; nobody holds it across a WinINet call.
#pragma once
#include "framework/Handle.h"
#include "framework/String.h"
#include <mutex>
#include <vector>

// Body bytes per read and file bytes per write. A WinINet call costs about
// 0.1 ms under Wine whatever its size: chunks of a few dozen bytes, or even
// of 8 KB, would move a configuration at the pace of the calls instead of
// the link's. Under Wine a pending read completes only when its whole buffer
// is full or the body has ended, so a read asks first how much has arrived:
// a query reports at most what WinINet's own buffer holds (8 KB under Wine),
// and when it reports that much the body is streaming in and a whole chunk
// is taken; less means a device that sends slowly, and the read takes what
// is there so that each piece counts as it comes.
const DWORD kCfgReadChunk = 64 * 1024;
const DWORD kCfgWriteChunk = 64 * 1024;
const DWORD kCfgStreaming = 8 * 1024;
const DWORD kCfgSmallRead = 33;  // when nothing is there yet
// Far above any device's own configuration (a few hundred kilobytes): a
// device that sends more is not trusted with the disk.
const DWORD kCfgDownloadMax = 64u * 1024 * 1024;
// A device's answer to an upload is a line or a short page.
const DWORD kCfgReplyMax = 64u * 1024;
// How long an HTTP transfer may stand still, by what it waits for. Under
// Wine none of WinINet's own time-outs is honoured (its receive time-out is
// 0, never), so the jobs keep the ones the programs were made for.
// Connecting: WinINet's connect time-out; the dialog's connect bar is full
// after 58.5 s.
const DWORD kCfgConnectMs = 60000;
// A step of the exchange itself (a TLS handshake among them): a device
// answers each within a second or two. Twice the time a connection attempt
// is given (10 s).
const DWORD kCfgStallMs = 20000;
// The device's answer once the request has gone, and each pause in it:
// WinINet's receive time-out. A device may write its flash before it
// answers an upload.
const DWORD kCfgReplyWaitMs = 30000;
// Against a device that trickles its answer, which keeps every wait above
// from passing: the whole answer gets kCfgReplyWaitMs and one millisecond
// for every byte that has come (a least rate of 1000 bytes a second, far
// below any device on a network).
const DWORD kCfgAnswerGraceMs = kCfgReplyWaitMs;
const DWORD kCfgLeastBytesPerSecond = 1000;

struct CCfgChannel {
    void* job = nullptr;  // the job served; null once it let go
    int refs = 1;         // the job, each open handle, each call in flight
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    DWORD count = 0;         // bytes of the read or write in flight
    DWORD available = 0;     // of the query in flight
    bool querying = false;   // the call in flight asks what is there, reads nothing
    bool expecting = false;  // a completion notification is due for the call in flight
    BYTE buffer[kCfgReadChunk > kCfgWriteChunk ? kCfgReadChunk : kCfgWriteChunk];
};

std::mutex& CfgJobLock();

// Under the lock.
inline void ChannelAddRef(CCfgChannel* c) { ++c->refs; }
inline void ChannelRelease(CCfgChannel* c) {
    if (--c->refs == 0) delete c;
}
// A WinINet call on the channel made without the lock, which is held before
// and after: ok is what it returned and err its error. False when the job
// has let go of the channel meanwhile. The channel stays while the call may
// still use its buffer.
template <class Call>
bool ChannelCallUnlocked(std::unique_lock<std::mutex>& lk, CCfgChannel* c, const void* job, BOOL& ok, DWORD& err,
                         Call call) {
    ChannelAddRef(c);
    lk.unlock();
    ok = call();
    err = ok ? 0 : GetLastError();
    lk.lock();
    bool mine = c->job == job;
    ChannelRelease(c);
    return mine;
}
// Under the lock: the job lets go; its handles are handed to the caller, who
// closes them after releasing the lock.
void ChannelDetach(CCfgChannel* c, OwnedInternet& request, OwnedInternet& connection);
// Under the lock: INTERNET_STATUS_HANDLE_CLOSING for h.
void ChannelHandleClosing(CCfgChannel* c, HINTERNET h);

// Waits until one of the jobs' wake events is set or a window message arrives,
// at most ms milliseconds; true when an event was set.
bool CfgWaitForProgress(const HANDLE* events, DWORD count, DWORD ms);

// An error number or status code as a message's argument.
inline CString CfgNumber(long n) { return FormatString(L"%ld", n); }

// Ends the pass early when a window message waits for the loop.
inline bool CfgInputWaiting() { return GetQueueStatus(QS_ALLINPUT) != 0; }

// How long one poll pass may keep moving data or waiting for the device
// before it gives the loop back.
const DWORD kCfgPassBudgetMs = 20;

// Waits for one of the events until the pass's deadline; false when there is
// nothing to wait for, the time is up, a window message waits or nothing came.
bool CfgWaitWithin(const std::vector<HANDLE>& events, DWORD deadline);

typedef void (*CfgStatusHandler)(CCfgChannel* c, DWORD status, DWORD value, const INTERNET_ASYNC_RESULT* result);
// The body of a job class's WinINet status callback: the channel's share of
// the notification, then handler with its value or result. Nothing escapes.
void CfgDispatchStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length,
                       CfgStatusHandler handler);
