#include "reconfig/cfg_read_job.h"
#include "reconfig/cfg_channel.h"
#include "reconfig/cfg_job_copy.h"
#include "resources/reconfig_ids.h"
#include <algorithm>
#include <fcntl.h>
#include <io.h>
#include <vector>

namespace {
using Lock = std::unique_lock<std::mutex>;

const DWORD kConnectGiveUpMs = 10000;
const int kReadErrorsToGiveUp = 3;

bool Passed(DWORD now, DWORD since, DWORD ms) { return now - since > ms; }

// The file is removed when its last handle goes, a killed process's too,
// unless keep.
bool SetDeleteOnClose(HANDLE h, bool remove) {
    FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(remove)};
    return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// A Content-Length as the device sent it, in full: read as 32 bits, 2^32 + n
// would be taken for n. False when there is none or it is no number.
bool ParseLength(const wchar_t* text, unsigned long long& length) {
    const wchar_t* p = text;
    while (*p == L' ' || *p == L'\t') ++p;
    if (*p == L'+') return false;  // a length has no sign
    long long n = 0;
    bool beyond = false;  // far too long anyway: the bound stands for it
    if (!ParseWholeNumber(p, false, 0, 0xFFFFFFFFFFll, n, beyond)) return false;
    length = (unsigned long long)n;
    return true;
}
}  // namespace

CCfgReadJob::CCfgReadJob() : CCfgJobBase(this) {}

CCfgReadJob::CCfgReadJob(int kind, int tag, CCfgTarget* target, HINTERNET session, const wchar_t* outputTemplate)
    : CCfgReadJob() {
    m_nKind = kind;
    m_nTag = tag;
    m_pTarget = target;
    m_hSession = session;
    m_dwActivityTick = GetTickCount();
    m_strOutputName = outputTemplate ? outputTemplate : L"";
    if (target) {
        m_dwPasswordCounterSeen = target->m_dwPasswordCounter;
        target->m_bPasswordMissing = FALSE;
    }
}

CCfgReadJob::~CCfgReadJob() { EndTransfer(m_pOutput); }

void CCfgReadJob::CopySettings(const CCfgReadJob& o) {
    CopyOutcome(o);
    m_strOutputName = o.m_strOutputName;
    m_strPartName = o.m_strPartName;
    m_dwBytesReceived = o.m_dwBytesReceived;
    m_dwContentLength = o.m_dwContentLength;
    m_dwActivityTick = o.m_dwActivityTick;
    m_bZeroByteForEmpty = o.m_bZeroByteForEmpty;
    m_dwPasswordCounterSeen = o.m_dwPasswordCounterSeen;
    m_nReadErrors = 0;
}

void CCfgReadJob::LetGo() {
    Close();
    CloseOutput(FALSE);
}

CCfgReadJob::CCfgReadJob(const CCfgReadJob& o) : CCfgReadJob() { CopyJob(*this, o); }

CCfgReadJob& CCfgReadJob::operator=(const CCfgReadJob& o) { return AssignJob(*this, o); }

void CCfgReadJob::TakeOver(CCfgReadJob& o) {
    // Under the lock; this job holds nothing but a fresh channel.
    CopySettings(o);
    TakeTransfer(o);
    m_nReadErrors = o.m_nReadErrors;
    m_pOutput = o.m_pOutput;
    o.m_pOutput = nullptr;
    m_strPartName = o.m_strPartName;
}

CCfgReadJob::CCfgReadJob(CCfgReadJob&& o) noexcept : CCfgReadJob() { MoveJob(*this, o); }

CCfgReadJob& CCfgReadJob::operator=(CCfgReadJob&& o) noexcept { return MoveAssignJob(*this, o); }

void CCfgReadJob::CloseOutput(BOOL) {
    // Open only while the download is not whole: it never stays, kept or not.
    Lock lk(CfgJobLock());
    DiscardOutputLocked();
}

bool CCfgReadJob::OpenOutputLocked() {
    // Written under another name in the same folder, and renamed when whole:
    // a backup under its own name is always a whole one.
    m_strPartName = m_strOutputName + L".part";
    HANDLE h = CreateFileW(m_strPartName, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    int fd = -1;
    if (!SetDeleteOnClose(h, true) || (fd = _open_osfhandle((intptr_t)h, _O_WRONLY | _O_BINARY)) < 0) {
        CloseHandle(h);
        DeleteFileW(m_strPartName);
        return false;
    }
    m_pOutput = _fdopen(fd, "wb");
    if (!m_pOutput) {
        _close(fd);
        return false;
    }
    return true;
}

bool CCfgReadJob::KeepOutputLocked() {
    if (!m_pOutput) return false;
    bool ok = fflush(m_pOutput) == 0 && !ferror(m_pOutput);
    ok = ok && SetDeleteOnClose((HANDLE)_get_osfhandle(_fileno(m_pOutput)), false);
    ok = fclose(m_pOutput) == 0 && ok;
    m_pOutput = nullptr;
    ok = ok && MoveFileExW(m_strPartName, m_strOutputName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(m_strPartName);
    return ok;
}

void CCfgReadJob::DiscardOutputLocked() {
    if (!m_pOutput) return;
    fclose(m_pOutput);  // the close removes it
    m_pOutput = nullptr;
    DeleteFileW(m_strPartName);
}

void CCfgReadJob::FailLocked(UINT message, const CString& argument, OwnedInternet& request, OwnedInternet& connection) {
    CloseLocked(request, connection);
    DiscardOutputLocked();
    EndLocked(message, argument, CFG_READ_ENDED);
}

int CCfgReadJob::GetConnectProgress() const {
    Lock lk(CfgJobLock());
    if (m_nState != CFG_READ_STARTED) return -1;
    return (int)((GetTickCount() - m_dwActivityTick) / 100);
}

DWORD CCfgReadJob::GetBytesReceived() const { return Locked(m_dwBytesReceived); }
DWORD CCfgReadJob::GetContentLength() const { return Locked(m_dwContentLength); }
CString CCfgReadJob::GetOutputName() const { return Locked(m_strOutputName); }

void CCfgReadJob::MakeOutputFileName() {
    static const wchar_t* const months[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                            L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    CCfgTarget none;
    CCfgTarget& t = m_pTarget ? *m_pTarget : none;
    CString name = m_strOutputName;
    CString e = t.Text(1);
    e.Replace(L":", L"-");
    name.Replace(L"%e", e);
    name.Replace(L"%i", t.Text(2));
    name.Replace(L"%s", t.Text(3));
    name.Replace(L"%t", CfgKindExtension(m_nKind));
    SYSTEMTIME st;
    GetLocalTime(&st);
    CString date;
    date.Format(L"%02d-%s-%d", st.wDay, months[(st.wMonth >= 1 && st.wMonth <= 12) ? st.wMonth - 1 : 0], st.wYear);
    name.Replace(L"%d", date);
    date.Format(L"%d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
    name.Replace(L"%D", date);
    int major = t.m_byVersionMajor, minor = t.m_byVersionMinor;
    if (m_nKind != 0 && t.m_wVersion != 0) {
        major = t.m_wVersion >> 8;
        minor = t.m_wVersion & 0xFF;
    }
    CString version;
    version.Format(L"%d.%d", major, minor);
    name.Replace(L"%p", version);
    CString shortVersion = version;
    while (!shortVersion.IsEmpty() && shortVersion[shortVersion.GetLength() - 1] == L'0')
        shortVersion.Truncate(shortVersion.GetLength() - 1);
    while (!shortVersion.IsEmpty() && shortVersion[shortVersion.GetLength() - 1] == L'.')
        shortVersion.Truncate(shortVersion.GetLength() - 1);
    name.Replace(L"%P", shortVersion);
    if (name.Find(L"%n") >= 0) {
        for (unsigned n = 0;; ++n) {
            CString candidate = name;
            candidate.Replace(L"%n", CfgNumber(n));
            if (GetFileAttributesW(candidate) == INVALID_FILE_ATTRIBUTES) {
                name = candidate;
                break;
            }
        }
    }
    m_strOutputName = name;
}

bool CCfgReadJob::Start() {
    Close();
    {
        Lock lk(CfgJobLock());
        m_dwBytesReceived = 0;
        m_dwPending = 0;
        m_nReadErrors = 0;
        m_nMessageId = IDS_JOB_NO_ANSWER;  // a device that never answers
        ProgressLocked();
    }
    switch (m_nKind) {
    case CFG_KIND_RAW: ConnectRaw(8003); return true;
    case CFG_KIND_RAW_8888: ConnectRaw(8888); return true;
    case CFG_KIND_XML:
    case CFG_KIND_XML_CGI:
    case CFG_KIND_ZIP_CGI:
    case CFG_KIND_JSON:
        if (!m_pTarget) return false;
        return SendRequest(HttpPortToTry());
    default: return false;
    }
}

bool CCfgReadJob::SendRequest(WORD port) {
    CString path;
    const CString& pw = m_pTarget->EncodedPassword();
    if (m_nKind == CFG_KIND_XML)
        path.Format(L"/liste.xml?PW=%s&", (const wchar_t*)pw);
    else if (m_nKind == CFG_KIND_JSON)
        path.Format(L"/config.js?PW=%s", (const wchar_t*)pw);
    else
        path.Format(L"/config.xml?PW=%s", (const wchar_t*)pw);
    const wchar_t* accept[] = {L"text/*", nullptr};
    CCfgChannel* c;
    HINTERNET request;
    if (!OpenHttpRequest(port, ReadJobStatusCallback, L"GET", path, accept, INTERNET_FLAG_RELOAD, CFG_READ_ENDED, c,
                         request))
        return false;
    {
        // Before the call: its notifications may move the job on before it returns.
        Lock lk(CfgJobLock());
        m_nState = CFG_READ_STARTED;
    }
    if (HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
        {
            Lock lk(CfgJobLock());
            if (c->job != this || m_nState < CFG_READ_STARTED || m_nState > CFG_READ_SENT) return true;
            m_nState = CFG_READ_SENT;
        }
        INTERNET_ASYNC_RESULT done = {1, 0};
        OnStatus(c, INTERNET_STATUS_REQUEST_COMPLETE, 0, &done);
        return true;
    }
    DWORD err = GetLastError();
    if (err != ERROR_IO_PENDING) {
        // No notification will come for a request that failed at once.
        INTERNET_ASYNC_RESULT failed = {0, err};
        OnStatus(c, INTERNET_STATUS_REQUEST_COMPLETE, 0, &failed);
    }
    return true;
}

void CCfgReadJob::ConnectRaw(WORD port) { ConnectRawTo(port, CFG_READ_STARTED, CFG_READ_ENDED); }

void CCfgReadJob::SendPasswordRaw() {
    char buf[200] = {};
    if (m_pTarget && !m_pTarget->m_strPassword.IsEmpty()) {
        if (!WideCharToMultiByte(CP_ACP, 0, m_pTarget->m_strPassword, -1, buf, (int)sizeof buf, nullptr, nullptr))
            buf[sizeof buf - 1] = 0;
    }
    int n = (int)strlen(buf) + 1;  // with its zero byte; an empty password is the zero byte alone
    if (m_nKind == CFG_KIND_RAW && n == 1 && !m_bZeroByteForEmpty) n = 0;
    if (n > 0) send(m_socket.get(), buf, n, 0);
    Lock lk(CfgJobLock());
    m_nMessageId = IDS_JOB_TIMEOUT;
    m_nState = CFG_READ_SENT;
}

void CCfgReadJob::OnStatus(CCfgChannel* c, DWORD status, DWORD value, const INTERNET_ASYNC_RESULT* result) {
    OwnedInternet connection, request;  // closed after the lock is let go
    Lock lk(CfgJobLock());
    auto* job = static_cast<CCfgReadJob*>(c->job);
    if (!job) return;
    switch (status) {
    case INTERNET_STATUS_CONNECTED_TO_SERVER: job->m_nState = CFG_READ_CONNECTED; break;
    case INTERNET_STATUS_SENDING_REQUEST: job->m_nState = CFG_READ_SENDING; break;
    case INTERNET_STATUS_REQUEST_SENT: job->m_nState = CFG_READ_SENT; break;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        // The count the notification carries: nothing came back at all.
        if (job->m_nState == CFG_READ_SENT && value == 0) {
            job->CloseLocked(request, connection);
            job->m_nState = CFG_READ_PASSWORD;
        }
        break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
        if (!result) break;
        if (job->m_nState == CFG_READ_BODY_READING && !c->expecting) break;  // for a call that was done at once
        if (!result->dwResult && !(c->querying && result->dwError == 0)) {
            DWORD err = result->dwError;
            if (err == ERROR_INTERNET_TIMEOUT) {
                job->FailLocked(IDS_JOB_TIMEOUT, CString(), request, connection);
            } else if (err == ERROR_INTERNET_CONNECTION_RESET && job->m_nState == CFG_READ_SENT) {
                job->CloseLocked(request, connection);
                job->m_nState = CFG_READ_PASSWORD;
            } else if (job->m_nState != CFG_READ_ENDED && job->m_nState != CFG_READ_PASSWORD) {
                job->FailLocked(IDS_JOB_WININET, CfgNumber(err), request, connection);
                if (err == ERROR_INTERNET_CANNOT_CONNECT) {
                    if (Passed(GetTickCount(), job->m_dwActivityTick, kConnectGiveUpMs)) {
                        job->m_nMessageId = IDS_JOB_NO_ANSWER;
                    } else {
                        job->RefusedLocked(CFG_READ_IDLE);
                    }
                }
            }
        } else if (job->m_nState == CFG_READ_SENT) {
            // The response: its status and length, asked for without the lock.
            HINTERNET h = c->request;
            ChannelAddRef(c);
            lk.unlock();
            DWORD code = 0, len = sizeof code;
            BOOL haveCode = HttpQueryInfoW(h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &len, nullptr);
            wchar_t lengthText[40] = {};
            len = sizeof lengthText - sizeof(wchar_t);
            BOOL haveLength = HttpQueryInfoW(h, HTTP_QUERY_CONTENT_LENGTH, lengthText, &len, nullptr);
            BOOL lengthTooLong = !haveLength && GetLastError() == ERROR_INSUFFICIENT_BUFFER;
            // A reply without a status line is taken for HTTP/0.9 with a
            // made-up "HTTP/1.0 200 OK" and no header at all, its first
            // bytes swallowed. A device's reply always has headers.
            wchar_t raw[64] = {};
            len = sizeof raw - sizeof(wchar_t);
            BOOL haveRaw = HttpQueryInfoW(h, HTTP_QUERY_RAW_HEADERS_CRLF, raw, &len, nullptr);
            bool statusLine =
                haveRaw ? std::count(raw, raw + wcslen(raw), L'\n') > 2 : GetLastError() == ERROR_INSUFFICIENT_BUFFER;
            lk.lock();
            job = static_cast<CCfgReadJob*>(c->job);
            ChannelRelease(c);  // the job still holds it when it is still there
            if (!job || job->m_nState != CFG_READ_SENT) return;
            unsigned long long length = 0;
            bool lengthOk = !lengthTooLong && (!haveLength || ParseLength(lengthText, length));
            if (!statusLine) {
                job->CloseLocked(request, connection);
                job->EndLocked(IDS_JOB_WININET, CfgNumber(ERROR_HTTP_INVALID_SERVER_RESPONSE), CFG_READ_ENDED);
            } else if (haveCode && code != HTTP_STATUS_OK) {
                job->CloseLocked(request, connection);
                job->m_nState = CFG_READ_ENDED;
                if (code == HTTP_STATUS_FORBIDDEN)
                    job->m_nState = CFG_READ_PASSWORD;
                else if (code == HTTP_STATUS_NOT_FOUND)
                    job->m_nMessageId = IDS_JOB_UNKNOWN_URL;
                else if (code == HTTP_STATUS_SERVICE_UNAVAIL)
                    job->m_nMessageId = IDS_JOB_OTHER_LOGIN;
                else
                    job->EndLocked(IDS_JOB_HTTP_STATUS, CfgNumber(code), CFG_READ_ENDED);
            } else if (!lengthOk) {
                job->CloseLocked(request, connection);
                job->EndLocked(IDS_JOB_WININET, CfgNumber(ERROR_HTTP_INVALID_HEADER), CFG_READ_ENDED);
            } else if (length > kCfgDownloadMax) {
                job->CloseLocked(request, connection);
                job->EndLocked(IDS_JOB_WININET, CfgNumber(ERROR_FILE_TOO_LARGE), CFG_READ_ENDED);
            } else {
                if (haveLength) job->m_dwContentLength = (DWORD)length;
                job->MakeOutputFileName();
                if (!job->OpenOutputLocked()) {
                    job->CloseLocked(request, connection);
                    job->EndLocked(IDS_JOB_OUTPUT_FILE, CString(), CFG_READ_ENDED);
                } else {
                    job->m_dwPending = 0;
                    job->AnswerBegunLocked();
                    job->m_nState = CFG_READ_BODY_READY;
                }
            }
        } else if (job->m_nState == CFG_READ_BODY_READING && c->expecting) {
            // The pending read has filled the channel's buffer, or data has come.
            c->expecting = false;
            job->m_dwPending = c->querying ? 0 : c->count;
            job->m_nState = CFG_READ_BODY_READY;
        }
        break;
    default: return;
    }
    job->ProgressLocked();
    SetEvent(job->m_hWake);
}

CfgWait CCfgReadJob::WaitLocked() const {
    switch (m_nState) {
    case CFG_READ_STARTED: return kCfgWaitConnect;
    case CFG_READ_CONNECTED:
    case CFG_READ_SENDING: return kCfgWaitStep;
    case CFG_READ_SENT: return kCfgWaitReply;
    case CFG_READ_BODY_READY:
    case CFG_READ_BODY_READING: return kCfgWaitAnswer;
    default: return kCfgWaitNothing;
    }
}

void CCfgReadJob::SettleLocked(CCfgChannel* c) {
    c->expecting = false;
    m_dwPending = 0;
    m_nState = CFG_READ_BODY_READING;
}

void CCfgReadJob::ReadBody(DWORD deadline) {
    OwnedInternet connection, request;
    Lock lk(CfgJobLock());
    CCfgChannel* c = m_pChannel;
    // What is counted as received has been stored; a device that sends
    // more than any configuration is cut off.
    auto store = [&](DWORD n) {
        if (n > kCfgDownloadMax - m_dwBytesReceived) {
            FailLocked(IDS_JOB_WININET, CfgNumber(ERROR_FILE_TOO_LARGE), request, connection);
            return false;
        }
        if (!m_pOutput || fwrite(c->buffer, 1, n, m_pOutput) != n) {
            FailLocked(IDS_JOB_OUTPUT_FILE, CString(), request, connection);
            return false;
        }
        m_dwBytesReceived += n;
        ProgressLocked();
        return true;
    };
    if (m_dwPending > 0) {
        DWORD n = m_dwPending;
        m_dwPending = 0;
        if (!store(n)) return;
    }
    for (unsigned round = 1;; ++round) {
        m_nState = CFG_READ_BODY_READING;
        HINTERNET h = c->request;
        // Ask what has arrived and take that; wait for it when nothing is there.
        c->available = 0;
        c->querying = true;
        c->expecting = true;
        BOOL ok = FALSE;
        DWORD err = 0;
        if (!ChannelCallUnlocked(lk, c, this, ok, err,
                                 [&] { return InternetQueryDataAvailable(h, &c->available, 0, 0); }))
            return;
        if (!ok && err == ERROR_IO_PENDING) return;
        SettleLocked(c);
        if (ok) {
            DWORD size = c->available >= kCfgStreaming ? kCfgReadChunk : c->available ? c->available : kCfgSmallRead;
            c->querying = false;
            c->count = 0;
            c->expecting = true;
            if (!ChannelCallUnlocked(lk, c, this, ok, err,
                                     [&] { return InternetReadFile(h, c->buffer, size, &c->count); }))
                return;
            if (!ok && err == ERROR_IO_PENDING) return;
            SettleLocked(c);
        }
        if (!ok) {
            if (err == ERROR_IO_PENDING) return;  // the completion notification hands the bytes over
            if (++m_nReadErrors >= kReadErrorsToGiveUp) {
                FailLocked(IDS_JOB_WININET, CfgNumber(err), request, connection);
            } else {
                m_nState = CFG_READ_BODY_READY;
            }
            return;
        }
        m_nReadErrors = 0;
        DWORD n = c->count;
        if (n == 0) {
            if (m_dwContentLength && m_dwBytesReceived < m_dwContentLength) {
                // Cut short: an early close reads as the end of the body.
                FailLocked(IDS_JOB_WININET, CfgNumber(ERROR_INTERNET_CONNECTION_ABORTED), request, connection);
                return;
            }
            CloseLocked(request, connection);
            if (!KeepOutputLocked()) {
                EndLocked(IDS_JOB_OUTPUT_FILE, CString(), CFG_READ_ENDED);
                return;
            }
            m_bSuccess = TRUE;
            EndLocked(0, CString(), CFG_READ_ENDED);
            return;
        }
        if (!store(n)) return;
        if (round % 8 == 0 && ((LONG)(GetTickCount() - deadline) >= 0 || CfgInputWaiting())) {
            m_nState = CFG_READ_BODY_READY;
            return;
        }
    }
}

void CCfgReadJob::Step() {
    Lock lk(CfgJobLock());
    if (m_nState == CFG_READ_IDLE) {
        m_dwActivityTick = GetTickCount();
        lk.unlock();
        Start();
        lk.lock();
    } else if (m_nState == CFG_READ_PASSWORD) {
        m_nState = CFG_READ_IDLE;
        if (m_pTarget && m_pTarget->m_dwPasswordCounter != m_dwPasswordCounterSeen) {
            m_dwPasswordCounterSeen = m_pTarget->m_dwPasswordCounter;
            lk.unlock();
            Sleep(100);
            lk.lock();
        } else if (m_pTarget) {
            m_pTarget->m_bPasswordMissing = TRUE;
        }
        if (!m_pTarget || m_pTarget->m_bPasswordMissing) EndLocked(IDS_JOB_PASSWORD, CString(), CFG_READ_ENDED);
    }
}

int CCfgReadJobList::Poll(CCfgReadJobList& list, BOOL limits) {
    DWORD deadline = GetTickCount() + kCfgPassBudgetMs;
    int activity = 0;
    // Raw connections: connect and first data. Data on a raw connection is
    // not read (the device's protocol ends there).
    list.SelectRaw(
        [](int state) -> unsigned {
            return state == CFG_READ_STARTED ? kCfgRawWrite | kCfgRawFailed : state == CFG_READ_SENT ? kCfgRawRead : 0;
        },
        [&](CCfgReadJob* job, int state, unsigned ready) {
            if (state != CFG_READ_STARTED) return;
            if (ready & kCfgRawWrite) {
                job->SendPasswordRaw();
                activity = 1;
                Lock lk(CfgJobLock());
                job->m_dwActivityTick = GetTickCount();
            } else if (ready & kCfgRawFailed) {
                job->FailRawConnect(CFG_READ_ENDED);
            }
        });
    for (CCfgReadJob* job : list.m_jobs)
        if (job->GetState() == CFG_READ_BODY_READY) job->ReadBody(deadline);
    DWORD now = GetTickCount();
    for (CCfgReadJob* job : list.m_jobs) {
        job->Step();
        {
            OwnedInternet connection, request;
            Lock lk(CfgJobLock());
            if (UINT overdue = job->OverdueLocked(job->WaitLocked(), job->m_dwBytesReceived))
                job->FailLocked(overdue, CString(), request, connection);
        }
        if (!limits) continue;
        Lock lk(CfgJobLock());
        DWORD limit = job->m_nState == CFG_READ_STARTED                                     ? 5000
                      : (job->m_nKind == CFG_KIND_RAW || job->m_nKind == CFG_KIND_RAW_8888) ? 5000
                                                                                            : 25000;
        if (Passed(now, job->m_dwActivityTick, limit)) {
            lk.unlock();
            job->Close();
            job->CloseOutput(TRUE);
            lk.lock();
            job->m_nState = CFG_READ_ENDED;
        }
    }
    // Wait for the device within the pass rather than spin the loop, and move
    // what arrives at once; a window message ends the wait.
    list.WaitAndMove(
        deadline,
        [](CCfgReadJob* job) -> HANDLE {
            int state = job->GetState();
            bool waiting = state == CFG_READ_BODY_READING || (job->m_socket.get() == INVALID_SOCKET &&
                                                              state >= CFG_READ_STARTED && state <= CFG_READ_SENT);
            return waiting ? job->m_hWake : nullptr;
        },
        [&] {
            for (CCfgReadJob* job : list.m_jobs)
                if (job->GetState() == CFG_READ_BODY_READY) job->ReadBody(deadline);
        });
    return activity;
}

int CCfgReadJob::RunOnce(CCfgReadJob& job, BOOL limits) { return CfgPollAlone<CCfgReadJobList>(job, limits); }

void CALLBACK ReadJobStatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    CfgDispatchStatus(handle, context, status, info, length, CCfgReadJob::OnStatus);
}
