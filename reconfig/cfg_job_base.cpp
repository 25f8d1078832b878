#include "reconfig/cfg_job_base.h"
#include "reconfig/cfg_channel.h"
#include "reconfig/cfg_job_copy.h"
#include "reconfig/cfg_target.h"
#include "resources/reconfig_ids.h"
#include <wininet.h>
#include <utility>

namespace {
using Lock = std::unique_lock<std::mutex>;
}  // namespace

CCfgJobBase::CCfgJobBase(void* owner) : m_pOwner(owner) {
    m_pChannel = new CCfgChannel;
    m_pChannel->job = m_pOwner;
    m_hWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CCfgJobBase::~CCfgJobBase() {
    if (m_hWake) CloseHandle(m_hWake);
}

void CCfgJobBase::CopyOutcome(const CCfgJobBase& o) {
    m_nTag = o.m_nTag;
    m_pTarget = o.m_pTarget;
    m_nKind = o.m_nKind;
    m_bSuccess = o.m_bSuccess;
    m_nState = o.m_nState;
    m_nMessageId = o.m_nMessageId;
    m_strArgument = o.m_strArgument;
    m_hSession = o.m_hSession;
    m_dwPending = 0;
    m_bFallenBack = o.m_bFallenBack;
}

void CCfgJobBase::TakeTransfer(CCfgJobBase& o) {
    m_dwPending = o.m_dwPending;
    m_dwProgressTick = o.m_dwProgressTick;
    m_dwAnswerTick = o.m_dwAnswerTick;
    m_socket = std::move(o.m_socket);
    std::swap(m_pChannel, o.m_pChannel);
    if (m_pChannel) m_pChannel->job = m_pOwner;
    if (o.m_pChannel) o.m_pChannel->job = o.m_pOwner;
    std::swap(m_hWake, o.m_hWake);
}

void CCfgJobBase::CloseLocked(OwnedInternet& request, OwnedInternet& connection) {
    m_socket.reset();
    if (m_pChannel) ChannelDetach(m_pChannel, request, connection);
    // Later notifications of the old transfer find nobody.
    m_pChannel = new CCfgChannel;
    m_pChannel->job = m_pOwner;
}

void CCfgJobBase::EndLocked(UINT message, const CString& argument, int state) {
    m_nMessageId = message;
    m_strArgument = argument;
    m_nState = state;
}

void CCfgJobBase::Close() {
    OwnedInternet connection, request;
    Lock lk(CfgJobLock());
    CloseLocked(request, connection);
}

int CCfgJobBase::GetState() const { return Locked(m_nState); }
BOOL CCfgJobBase::GetSuccess() const { return Locked(m_bSuccess); }
UINT CCfgJobBase::GetMessageId() const { return Locked(m_nMessageId); }
CString CCfgJobBase::GetArgument() const { return Locked(m_strArgument); }
BOOL CCfgJobBase::GetFallenBack() const { return Locked(m_bFallenBack); }

void CCfgJobBase::ConnectRawTo(WORD port, int startedState, int endedState) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        long err = (long)WSAGetLastError();
        Lock lk(CfgJobLock());
        EndLocked(IDS_JOB_WINSOCK, CfgNumber(err), endedState);
        return;
    }
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = m_pTarget ? m_pTarget->m_dwAddress : 0;
    connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    Lock lk(CfgJobLock());
    m_socket.reset(s);
    m_nState = startedState;
}

void CCfgJobBase::EndTransfer(FILE*& file) {
    OwnedInternet connection, request;
    {
        Lock lk(CfgJobLock());
        m_socket.reset();
        if (m_pChannel) ChannelDetach(m_pChannel, request, connection);
        m_pChannel = nullptr;
        if (file) fclose(file);
        file = nullptr;
    }
    request.reset();
    connection.reset();
}

bool CCfgJobBase::OpenHttpRequest(WORD port, INTERNET_STATUS_CALLBACK callback, const wchar_t* verb,
                                  const wchar_t* path, const wchar_t** accept, DWORD flags, int endedState,
                                  CCfgChannel*& c, HINTERNET& request) {
    {
        Lock lk(CfgJobLock());
        c = m_pChannel;
    }
    CString server = m_pTarget->Text(0);
    HINTERNET connection =
        InternetConnectW(m_hSession, server, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, (DWORD_PTR)c);
    if (!connection) {
        DWORD err = GetLastError();
        Lock lk(CfgJobLock());
        EndLocked(IDS_JOB_WININET, CfgNumber(err), endedState);
        return false;
    }
    {
        Lock lk(CfgJobLock());
        c->connection = connection;
        ChannelAddRef(c);
    }
    InternetSetStatusCallbackW(connection, callback);
    // A device is trusted for nothing: no redirect is followed (a 3xx is a
    // status like any other), and neither its answers, the URL with the
    // password, nor its cookies are kept anywhere.
    flags |=
        INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    if (m_pTarget->m_bHttps) flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
    request = HttpOpenRequestW(connection, verb, path, L"HTTP/1.0", nullptr, accept, flags, (DWORD_PTR)c);
    if (!request) {
        DWORD err = GetLastError();
        Close();
        Lock lk(CfgJobLock());
        EndLocked(IDS_JOB_WININET, CfgNumber(err), endedState);
        return false;
    }
    {
        Lock lk(CfgJobLock());
        c->request = request;
        ChannelAddRef(c);
    }
    if (m_pTarget->m_bHttps) {
        DWORD sec = 0, len = sizeof sec;
        if (InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &sec, &len)) {
            sec |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
            InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &sec, sizeof sec);
        }
    }
    return true;
}

UINT CCfgJobBase::OverdueLocked(CfgWait wait, DWORD answered) const {
    if (m_socket.get() != INVALID_SOCKET) return 0;
    // Both ticks are set under the lock, never after now.
    const DWORD now = GetTickCount();
    const DWORD still = now - m_dwProgressTick;
    switch (wait) {
    case kCfgWaitConnect: return still > kCfgConnectMs ? IDS_JOB_NO_ANSWER : 0;
    case kCfgWaitStep: return still > kCfgStallMs ? IDS_JOB_TIMEOUT : 0;
    case kCfgWaitReply: return still > kCfgReplyWaitMs ? IDS_JOB_TIMEOUT : 0;
    case kCfgWaitAnswer: {
        // A trickle moves all the time: the answer as a whole has a ceiling too.
        const unsigned long long ceiling =
            kCfgAnswerGraceMs + (unsigned long long)answered * 1000 / kCfgLeastBytesPerSecond;
        return still > kCfgReplyWaitMs || now - m_dwAnswerTick > ceiling ? IDS_JOB_TIMEOUT : 0;
    }
    default: return 0;
    }
}

void CCfgJobBase::RefusedLocked(int idleState) {
    m_nMessageId = IDS_JOB_REFUSED;
    CCfgTarget* t = m_pTarget;
    if (t && !m_bFallenBack && t->m_wHttpPort != t->DefaultPort()) {
        m_bFallenBack = TRUE;
        m_nState = idleState;
    }
}

void CCfgJobBase::FailRawConnect(int endedState) {
    Sleep(0);
    int err = 0, len = sizeof err;
    getsockopt(m_socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
    Close();
    Lock lk(CfgJobLock());
    if (err == WSAECONNREFUSED)
        EndLocked(IDS_JOB_REFUSED, CString(), endedState);
    else if (err == WSAETIMEDOUT)
        EndLocked(IDS_JOB_NO_ANSWER, CString(), endedState);
    else
        EndLocked(IDS_JOB_WINSOCK, CfgNumber(err), endedState);
}
