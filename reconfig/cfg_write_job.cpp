#include "reconfig/cfg_write_job.h"
#include "reconfig/cfg_channel.h"
#include "reconfig/cfg_job_copy.h"
#include "resources/reconfig_ids.h"
#include <cstring>
#include <utility>
#include <vector>

const wchar_t kCfgBoundary[] = L"3blau2blau1blau0";

namespace {
using Lock = std::unique_lock<std::mutex>;

const DWORD kReplyChunk = 1023;

// A write that fails at once may report the socket's error (seen: 10054
// when the device resets the connection during the upload).
DWORD AsInternetError(DWORD err) {
    return err == WSAECONNRESET || err == WSAECONNABORTED ? ERROR_INTERNET_CONNECTION_RESET : err;
}
}  // namespace

CCfgWriteJob::CCfgWriteJob() : CCfgJobBase(this) {}

CCfgWriteJob::CCfgWriteJob(int tag, CCfgTarget* target, HINTERNET session) : CCfgWriteJob() {
    m_nTag = tag;
    m_pTarget = target;
    m_hSession = session;
}

CCfgWriteJob::~CCfgWriteJob() {
    EndTransfer(m_pInput);
    DropTempCopy();
}

void CCfgWriteJob::DropTempCopy() {
    m_tempGuard.reset();
    if (m_bTempCopy && !m_strInputPath.IsEmpty()) DeleteFileW(m_strInputPath);
    m_bTempCopy = FALSE;
}

void CCfgWriteJob::CopySettings(const CCfgWriteJob& o) {
    CopyOutcome(o);
    m_nHttpStatus = o.m_nHttpStatus;
    m_strSessionId = o.m_strSessionId;
    m_strInputPath = o.m_strInputPath;
    m_dwInputSize = o.m_dwInputSize;
    m_dwBytesSent = o.m_dwBytesSent;
    m_bTempCopy = FALSE;
    m_dwReplyBytes = 0;
    m_nReplyCodePage = o.m_nReplyCodePage;
    m_strHeaders = o.m_strHeaders;
    m_strHead = o.m_strHead;
    m_strTail = o.m_strTail;
    m_strRawReply = o.m_strRawReply;
    m_strReplyText = o.m_strReplyText;
    m_bFirstAttempt = o.m_bFirstAttempt;
}

void CCfgWriteJob::LetGo() {
    Close();
    CloseInput();
    DropTempCopy();
}

CCfgWriteJob::CCfgWriteJob(const CCfgWriteJob& o) : CCfgWriteJob() { CopyJob(*this, o); }

CCfgWriteJob& CCfgWriteJob::operator=(const CCfgWriteJob& o) { return AssignJob(*this, o); }

void CCfgWriteJob::TakeOver(CCfgWriteJob& o) {
    CopySettings(o);
    m_bTempCopy = o.m_bTempCopy;
    o.m_bTempCopy = FALSE;
    m_tempGuard = std::move(o.m_tempGuard);
    m_dwReplyBytes = o.m_dwReplyBytes;
    TakeTransfer(o);
    m_pInput = o.m_pInput;
    o.m_pInput = nullptr;
}

CCfgWriteJob::CCfgWriteJob(CCfgWriteJob&& o) noexcept : CCfgWriteJob() { MoveJob(*this, o); }

CCfgWriteJob& CCfgWriteJob::operator=(CCfgWriteJob&& o) noexcept { return MoveAssignJob(*this, o); }

void CCfgWriteJob::FailLocked(UINT message, const CString& argument, OwnedInternet& request,
                              OwnedInternet& connection) {
    CloseLocked(request, connection);
    EndLocked(message, argument, CFG_WRITE_ENDED);
}

void CCfgWriteJob::CloseInput() {
    Lock lk(CfgJobLock());
    if (m_pInput) fclose(m_pInput);
    m_pInput = nullptr;
}

CString CCfgWriteJob::GetSessionId() const { return Locked(m_strSessionId); }
DWORD CCfgWriteJob::GetInputSize() const { return Locked(m_dwInputSize); }
DWORD CCfgWriteJob::GetBytesSent() const { return Locked(m_dwBytesSent); }
int CCfgWriteJob::GetHttpStatus() const { return Locked(m_nHttpStatus); }
CString CCfgWriteJob::GetReplyText() const { return Locked(m_strReplyText); }

bool CCfgWriteJob::Setup(int kind, const wchar_t* inputPath, int) {
    DropTempCopy();  // a second set-up must not leave the first copy behind
    Lock lk(CfgJobLock());
    m_strInputPath = inputPath ? inputPath : L"";
    m_bFallenBack = FALSE;
    m_nKind = kind;
    m_dwInputSize = 0;
    m_dwBytesSent = 0;
    if (kind == CFG_KIND_RAW) return true;
    if (kind == CFG_KIND_XML) {
        wchar_t dir[MAX_PATH + 1] = {}, name[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, dir);
        if (!GetTempFileNameW(dir, L"XnI", 0, name)) return false;
        CString source = m_strInputPath;
        m_strInputPath = name;
        m_bTempCopy = TRUE;
        m_tempGuard = GuardTempFile(name);
        if (!CopyFileChunked(source, name, 0)) return false;
    }
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(m_strInputPath, &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    m_dwInputSize = fd.nFileSizeLow;
    return true;
}

void CCfgWriteJob::Start() {
    Close();
    {
        Lock lk(CfgJobLock());
        m_dwBytesSent = 0;
        m_nMessageId = IDS_JOB_NO_ANSWER;
        ProgressLocked();
    }
    switch (m_nKind) {
    case CFG_KIND_RAW: ConnectRaw(8004); break;
    case CFG_KIND_XML:
    case CFG_KIND_XML_CGI:
    case CFG_KIND_ZIP_CGI:
    case CFG_KIND_JSON:
        if (m_pTarget) OpenRequest(HttpPortToTry());
        break;
    default: break;
    }
}

void CCfgWriteJob::ConnectRaw(WORD port) { ConnectRawTo(port, CFG_WRITE_STARTED, CFG_WRITE_ENDED); }

void CCfgWriteJob::OpenRequest(WORD port) {
    const wchar_t* path = m_nKind == CFG_KIND_XML    ? L"/xmlinput"
                          : m_nKind == CFG_KIND_JSON ? L"/config.php"
                                                     : L"/upload.cgi";
    CCfgChannel* c;
    HINTERNET request;
    if (!OpenHttpRequest(port, WriteJobStatusCallback, L"POST", path, nullptr, INTERNET_FLAG_NO_CACHE_WRITE,
                         CFG_WRITE_ENDED, c, request))
        return;
    {
        Lock lk(CfgJobLock());
        m_nState = CFG_WRITE_STARTED;
        m_strRawReply.Empty();
        m_strReplyText.Empty();
        m_nHttpStatus = 0;
        m_nReplyCodePage = -1;
        m_dwPending = 0;
    }
    BeginUpload();
}

void CCfgWriteJob::BeginUpload() {
    const CString boundary = kCfgBoundary;
    const CString disp = L"Content-Disposition: form-data; name=\"";
    const CString password = m_pTarget->m_strPassword;
    CString head = L"--" + boundary + L"\r\n";
    if (m_nKind == CFG_KIND_XML) {
        head += disp + L"Sess\"\r\n\r\n";
        head += L"0\r\n--" + boundary + L"\r\n";
    }
    if (m_nKind == CFG_KIND_XML || m_nKind == CFG_KIND_XML_CGI || m_nKind == CFG_KIND_ZIP_CGI)
        head += disp + L"PW\"\r\n\r\n";
    if (m_nKind == CFG_KIND_XML) head += L"PW=" + m_pTarget->EncodedPassword() + L"&";
    if (m_nKind == CFG_KIND_XML_CGI || m_nKind == CFG_KIND_ZIP_CGI) head += password;
    if (m_nKind == CFG_KIND_JSON) {
        head += disp + L"999\"\r\n\r\n";
        head += L"1\r\n--" + boundary + L"\r\n";
        head += disp + L"LPW\"\r\n\r\n" + password;
    }
    head += L"\r\n--" + boundary + L"\r\n";
    CString field, type, fileName;
    if (m_nKind == CFG_KIND_JSON) {
        field = L"JSUPLOAD";
        type = L"application/json";
        fileName = L"config.js";
    } else {
        field = m_nKind == CFG_KIND_XML ? L"UPLOAD" : L"FILE";
        type = m_nKind == CFG_KIND_ZIP_CGI ? L"application/zip" : L"text/xml";
        int slash = m_strInputPath.ReverseFind(L'\\');
        fileName = slash >= 0 ? m_strInputPath.Mid(slash + 1) : m_strInputPath;
    }
    head += disp + field + L"\"; filename=\"" + fileName + L"\"\r\n";
    head += L"Content-Type: " + type + L"\r\n\r\n";
    CString tail;
    if (m_nKind == CFG_KIND_JSON) tail += L"\r\n--" + boundary + L"\r\n" + disp + L"B2.2\"\r\n\r\nAnwenden";
    tail += L"\r\n--" + boundary + L"--\r\n";
    CString headers = L"Content-Type: multipart/form-data; boundary=\"" + boundary + L"\"\r\nConnection: Close\r\n";

    CCfgChannel* c;
    HINTERNET request;
    {
        Lock lk(CfgJobLock());
        m_strHead = head;
        m_strTail = tail;
        m_strHeaders = headers;
        c = m_pChannel;
        request = c->request;
    }
    INTERNET_BUFFERSW in = {};
    in.dwStructSize = sizeof in;
    in.lpcszHeader = m_strHeaders;
    in.dwHeadersLength = (DWORD)m_strHeaders.GetLength();
    in.dwBufferTotal = m_dwInputSize + (DWORD)head.GetLength() + (DWORD)tail.GetLength();
    if (HttpSendRequestExW(request, &in, nullptr, 0, (DWORD_PTR)c)) {
        Lock lk(CfgJobLock());
        if (c->job == this && m_nState >= CFG_WRITE_STARTED && m_nState <= CFG_WRITE_HEAD_SENT) {
            m_nState = CFG_WRITE_CHUNK_READY;
            SetEvent(m_hWake);
        }
        return;
    }
    DWORD err = GetLastError();
    if (err == ERROR_IO_PENDING) return;
    OwnedInternet con, req;
    Lock lk(CfgJobLock());
    if (c->job != this) return;
    FailLocked(IDS_JOB_WININET, CfgNumber(err), req, con);
}

void CCfgWriteJob::OnStatus(CCfgChannel* c, DWORD status, DWORD value, const INTERNET_ASYNC_RESULT* result) {
    OwnedInternet connection, request;
    Lock lk(CfgJobLock());
    auto* job = static_cast<CCfgWriteJob*>(c->job);
    if (!job) return;
    int& state = job->m_nState;
    switch (status) {
    case INTERNET_STATUS_CONNECTED_TO_SERVER: state = CFG_WRITE_CONNECTED; break;
    case INTERNET_STATUS_SENDING_REQUEST:
        if (state == CFG_WRITE_CONNECTED) state = CFG_WRITE_SENDING;
        break;
    case INTERNET_STATUS_REQUEST_SENT:
        if (state == CFG_WRITE_CHUNK_SENDING) {
            DWORD& pending = job->m_dwPending;
            if (value >= pending) {
                pending = 0;
            } else if (value > 0) {
                memmove(c->buffer, c->buffer + value, pending - value);
                pending -= value;
            }
            state = CFG_WRITE_CHUNK_READY;
        } else if (state < CFG_WRITE_PASSWORD) {
            state = CFG_WRITE_HEAD_SENT;
        }
        break;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        if (state == CFG_WRITE_ENDING) state = CFG_WRITE_RESPONSE;
        break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
        if (!result) break;
        if (!result->dwResult) {
            DWORD err = result->dwError;
            if (err == ERROR_INTERNET_TIMEOUT) {
                job->FailLocked(IDS_JOB_TIMEOUT, CString(), request, connection);
            } else if (err == ERROR_INTERNET_CONNECTION_RESET) {
                job->CloseLocked(request, connection);
                state = CFG_WRITE_PASSWORD;
            } else if (state != CFG_WRITE_ENDED && state != CFG_WRITE_PASSWORD) {
                job->FailLocked(IDS_JOB_WININET, CfgNumber(err), request, connection);
                if (err == ERROR_INTERNET_CANNOT_CONNECT) job->RefusedLocked(CFG_WRITE_IDLE);
            }
        } else if (state == CFG_WRITE_ENDING || state == CFG_WRITE_RESPONSE) {
            lk.unlock();
            TakeResponse(c);
            return;
        } else if (state == CFG_WRITE_REPLY_READING) {
            job->AppendReplyLocked(c->buffer, c->count);
            state = CFG_WRITE_REPLY_READY;
        } else if (state >= CFG_WRITE_STARTED && state <= CFG_WRITE_HEAD_SENT) {
            state = CFG_WRITE_CHUNK_READY;
        }
        break;
    default: return;
    }
    job->ProgressLocked();
    SetEvent(job->m_hWake);
}

// The response has arrived: its status and content type, asked for without the lock.
void CCfgWriteJob::TakeResponse(CCfgChannel* c) {
    HINTERNET h;
    {
        Lock lk(CfgJobLock());
        if (!c->job) return;
        h = c->request;
        ChannelAddRef(c);
    }
    DWORD code = 0, len = sizeof code;
    BOOL haveCode = HttpQueryInfoW(h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &len, nullptr);
    wchar_t type[80] = {};
    len = sizeof type;
    BOOL haveType = HttpQueryInfoW(h, HTTP_QUERY_CONTENT_TYPE, type, &len, nullptr);
    Lock lk(CfgJobLock());
    auto* job = static_cast<CCfgWriteJob*>(c->job);
    ChannelRelease(c);
    if (!job || (job->m_nState != CFG_WRITE_ENDING && job->m_nState != CFG_WRITE_RESPONSE)) return;
    if (haveCode) job->m_nHttpStatus = (int)code;
    if (haveType) {
        CString t = type;
        t.MakeLower();
        job->m_nReplyCodePage = t.Find(L"charset=utf-8") >= 0 ? CP_UTF8 : 0;
    }
    job->m_strReplyText.Empty();
    job->m_dwReplyTotal = 0;
    job->AnswerBegunLocked();
    job->m_nState = CFG_WRITE_REPLY_READY;
    SetEvent(job->m_hWake);
}

CfgWait CCfgWriteJob::WaitLocked() const {
    switch (m_nState) {
    case CFG_WRITE_STARTED: return kCfgWaitConnect;
    case CFG_WRITE_CONNECTED:
    case CFG_WRITE_SENDING:
    case CFG_WRITE_HEAD_SENT:
    case CFG_WRITE_CHUNK_READY:
    case CFG_WRITE_CHUNK_SENDING: return kCfgWaitStep;
    // The whole body has gone: the device may take its time to answer.
    case CFG_WRITE_ENDING:
    case CFG_WRITE_RESPONSE: return kCfgWaitReply;
    case CFG_WRITE_REPLY_READY:
    case CFG_WRITE_REPLY_READING: return kCfgWaitAnswer;
    default: return kCfgWaitNothing;
    }
}

void CCfgWriteJob::WriteNextChunk(DWORD deadline) {
    OwnedInternet connection, request;
    Lock lk(CfgJobLock());
    for (unsigned round = 1; m_nState == CFG_WRITE_CHUNK_READY; ++round) {
        CCfgChannel* c = m_pChannel;
        if (!m_pInput && !m_strHead.IsEmpty()) {
            std::string head = CfgLatin1(m_strHead);
            m_dwPending = (DWORD)std::min(head.size(), sizeof c->buffer);
            memcpy(c->buffer, head.data(), m_dwPending);
            m_strHead.Empty();
            m_pInput = _wfopen(m_strInputPath, L"rb");
            if (!m_pInput) {
                FailLocked(IDS_JOB_INPUT_FILE, CString(), request, connection);
                return;
            }
        } else if (m_dwPending == 0) {
            if (m_pInput) {
                size_t n = fread(c->buffer, 1, kCfgWriteChunk, m_pInput);
                if (n > 0) {
                    m_dwPending = (DWORD)n;
                } else {
                    fclose(m_pInput);
                    m_pInput = nullptr;
                    std::string tail = CfgLatin1(m_strTail);
                    m_dwPending = (DWORD)std::min(tail.size(), sizeof c->buffer);
                    memcpy(c->buffer, tail.data(), m_dwPending);
                }
            } else {
                // Everything has gone: end the request, state first.
                m_nState = CFG_WRITE_ENDING;
                HINTERNET h = c->request;
                ChannelAddRef(c);
                lk.unlock();
                BOOL ok = HttpEndRequestW(h, nullptr, 0, (DWORD_PTR)c);
                DWORD err = ok ? 0 : GetLastError();
                lk.lock();
                bool mine = c->job == this;
                if (mine && ok) {
                    lk.unlock();
                    TakeResponse(c);  // no notification follows a request ended at once
                    lk.lock();
                }
                ChannelRelease(c);
                if (mine && !ok && err != ERROR_IO_PENDING) {
                    lk.unlock();
                    INTERNET_ASYNC_RESULT failed = {0, AsInternetError(err)};
                    OnStatus(c, INTERNET_STATUS_REQUEST_COMPLETE, 0, &failed);
                }
                return;
            }
        }
        m_dwBytesSent += m_dwPending;
        m_nState = CFG_WRITE_CHUNK_SENDING;
        HINTERNET h = c->request;
        DWORD count = m_dwPending;
        c->count = 0;
        BOOL ok = FALSE;
        DWORD err = 0;
        if (!ChannelCallUnlocked(lk, c, this, ok, err,
                                 [&] { return InternetWriteFile(h, c->buffer, count, &c->count); }))
            return;
        if (ok) {
            // Written at once; without a REQUEST_SENT notification the count says how much.
            if (m_nState == CFG_WRITE_CHUNK_SENDING) {
                DWORD n = c->count;
                if (n == 0 || n >= m_dwPending) {
                    m_dwPending = 0;
                } else {
                    memmove(c->buffer, c->buffer + n, m_dwPending - n);
                    m_dwPending -= n;
                }
                m_nState = CFG_WRITE_CHUNK_READY;
            }
            ProgressLocked();
        } else {
            if (err == ERROR_IO_PENDING) return;
            lk.unlock();
            INTERNET_ASYNC_RESULT failed = {0, AsInternetError(err)};
            OnStatus(c, INTERNET_STATUS_REQUEST_COMPLETE, 0, &failed);
            return;
        }
        if (round % 8 == 0 && ((LONG)(GetTickCount() - deadline) >= 0 || CfgInputWaiting())) return;
    }
}

void CCfgWriteJob::ReadReply(DWORD deadline) {
    OwnedInternet connection, request;
    Lock lk(CfgJobLock());
    CCfgChannel* c = m_pChannel;
    for (unsigned round = 1;; ++round) {
        if (m_dwReplyTotal > kCfgReplyMax) {
            // No answer to an upload is this long: whatever it says, the
            // upload's outcome is unknown.
            FailLocked(IDS_JOB_UNKNOWN_REPLY, CString(), request, connection);
            return;
        }
        m_nState = CFG_WRITE_REPLY_READING;
        HINTERNET h = c->request;
        c->count = 0;
        BOOL ok = FALSE;
        DWORD err = 0;
        if (!ChannelCallUnlocked(lk, c, this, ok, err,
                                 [&] { return InternetReadFile(h, c->buffer, kReplyChunk, &c->count); }))
            return;
        if (!ok) {
            if (err != ERROR_IO_PENDING) {
                FailLocked(IDS_JOB_WININET, CfgNumber(err), request, connection);
            }
            return;
        }
        if (m_nState != CFG_WRITE_REPLY_READING) return;
        m_dwReplyBytes = c->count;
        if (m_dwReplyBytes == 0) {
            CloseLocked(request, connection);
            m_nState = CFG_WRITE_ENDED;
            ParseReply();
            return;
        }
        AppendReplyLocked(c->buffer, m_dwReplyBytes);
        ProgressLocked();
        if (round % 16 == 0 && ((LONG)(GetTickCount() - deadline) >= 0 || CfgInputWaiting())) {
            m_nState = CFG_WRITE_REPLY_READY;
            return;
        }
    }
}

int CCfgWriteJob::EndIfPasswordNeeded() {
    Lock lk(CfgJobLock());
    if (m_nState != CFG_WRITE_PASSWORD) return 0;
    if (m_pInput) fclose(m_pInput);
    m_pInput = nullptr;
    EndLocked(IDS_JOB_PASSWORD, CString(), CFG_WRITE_ENDED);
    return 1;
}

void CCfgWriteJob::ReceiveRaw() {
    char buf[500];
    int n = recv(m_socket.get(), buf, 499, 0);
    if (n < 0) {
        if (WSAGetLastError() == WSAEWOULDBLOCK) return;
        n = 0;
    }
    if (n == 0) {
        Close();
        Lock lk(CfgJobLock());
        if (m_nKind == CFG_KIND_RAW) {
            m_bSuccess = TRUE;
            EndLocked(0, CString(), CFG_WRITE_ENDED);
        } else {
            m_nState = CFG_WRITE_ENDED;
        }
        return;
    }
    buf[n] = 0;
    Lock lk(CfgJobLock());
    m_strRawReply += CString(buf);
    if (m_strRawReply.Left(5) == L"PASSW") {
        bool retry = m_bFirstAttempt && m_pTarget && !m_pTarget->m_strPassword.IsEmpty();
        m_bFirstAttempt = FALSE;
        lk.unlock();
        Close();
        lk.lock();
        if (retry)
            m_nState = CFG_WRITE_IDLE;
        else
            EndLocked(IDS_JOB_PASSWORD, CString(), CFG_WRITE_ENDED);
    }
}

int CCfgWriteJobList::Poll(CCfgWriteJobList& list) {
    DWORD deadline = GetTickCount() + kCfgPassBudgetMs;
    int work = 0;
    bool sending = false;
    for (CCfgWriteJob* job : list.m_jobs) {
        if (job->GetState() == CFG_WRITE_IDLE) job->Start();
        int s = job->GetState();
        sending = sending || s == CFG_WRITE_SENDING || s == CFG_WRITE_CHUNK_READY || s == CFG_WRITE_CHUNK_SENDING;
    }
    if (!sending)
        for (CCfgWriteJob* job : list.m_jobs)
            if (job->EndIfPasswordNeeded()) work = 1;
    list.SelectRaw(
        [](int state) -> unsigned {
            return state == CFG_WRITE_STARTED     ? kCfgRawWrite | kCfgRawFailed
                   : state == CFG_WRITE_SENDING   ? kCfgRawWrite | kCfgRawRead
                   : state == CFG_WRITE_HEAD_SENT ? kCfgRawRead
                                                  : 0;
        },
        [](CCfgWriteJob* job, int state, unsigned ready) {
            if ((state == CFG_WRITE_SENDING || state == CFG_WRITE_HEAD_SENT) && (ready & kCfgRawRead)) {
                job->ReceiveRaw();
            } else if (state == CFG_WRITE_STARTED && (ready & kCfgRawWrite)) {
                Lock lk(CfgJobLock());
                job->m_nMessageId = IDS_JOB_TIMEOUT;
                job->m_nState = CFG_WRITE_CONNECTED;
                // Nothing further goes out on a raw connection.
            } else if (state == CFG_WRITE_STARTED && (ready & kCfgRawFailed)) {
                job->FailRawConnect(CFG_WRITE_ENDED);
            }
        });
    auto move = [&]() {
        for (CCfgWriteJob* job : list.m_jobs) {
            int state = job->GetState();
            if (state == CFG_WRITE_CHUNK_READY) {
                job->WriteNextChunk(deadline);
                work = 1;
            } else if (state == CFG_WRITE_REPLY_READY) {
                job->ReadReply(deadline);
                work = 1;
            }
        }
    };
    move();
    for (CCfgWriteJob* job : list.m_jobs) {
        OwnedInternet connection, request;
        Lock lk(CfgJobLock());
        if (UINT overdue = job->OverdueLocked(job->WaitLocked(), job->m_dwReplyTotal))
            job->FailLocked(overdue, CString(), request, connection);
    }
    // Wait for the device within the pass rather than spin the loop; a window
    // message ends the wait.
    list.WaitAndMove(
        deadline,
        [](CCfgWriteJob* job) -> HANDLE {
            int state = job->GetState();
            bool waiting =
                state == CFG_WRITE_REPLY_READING || state == CFG_WRITE_CHUNK_SENDING || state == CFG_WRITE_ENDING ||
                state == CFG_WRITE_RESPONSE ||
                (job->m_socket.get() == INVALID_SOCKET && state >= CFG_WRITE_STARTED && state <= CFG_WRITE_HEAD_SENT);
            return waiting ? job->m_hWake : nullptr;
        },
        move);
    return work;
}

int CCfgWriteJob::RunOnce(CCfgWriteJob& job) { return CfgPollAlone<CCfgWriteJobList>(job); }

void CALLBACK WriteJobStatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    CfgDispatchStatus(handle, context, status, info, length, CCfgWriteJob::OnStatus);
}
