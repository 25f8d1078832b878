#include "reconfig/cfg_job_base.h"
#include "reconfig/cfg_channel.h"
#include "reconfig/cfg_target.h"
#include "resources/reconfig_ids.h"
#include <utility>

namespace {
using Lock = std::unique_lock<std::mutex>;
}

CCfgJobBase::CCfgJobBase(void* owner) : m_pOwner(owner)
{
    m_pChannel = new CCfgChannel;
    m_pChannel->job = m_pOwner;
    m_hWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CCfgJobBase::~CCfgJobBase()
{
    if (m_hWake)
        CloseHandle(m_hWake);
}

void CCfgJobBase::CopyOutcome(const CCfgJobBase& o)
{
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

void CCfgJobBase::TakeTransfer(CCfgJobBase& o)
{
    m_dwPending = o.m_dwPending;
    m_socket = std::move(o.m_socket);
    std::swap(m_pChannel, o.m_pChannel);
    if (m_pChannel)
        m_pChannel->job = m_pOwner;
    if (o.m_pChannel)
        o.m_pChannel->job = o.m_pOwner;
    std::swap(m_hWake, o.m_hWake);
}

void CCfgJobBase::CloseLocked(OwnedInternet& request, OwnedInternet& connection)
{
    m_socket.reset();
    if (m_pChannel)
        ChannelDetach(m_pChannel, request, connection);
    // Later notifications of the old transfer find nobody.
    m_pChannel = new CCfgChannel;
    m_pChannel->job = m_pOwner;
}

void CCfgJobBase::EndLocked(UINT message, const CString& argument, int state)
{
    m_nMessageId = message;
    m_strArgument = argument;
    m_nState = state;
}

void CCfgJobBase::Close()
{
    OwnedInternet connection, request;
    Lock lk(CfgJobLock());
    CloseLocked(request, connection);
}

int CCfgJobBase::GetState() const
{
    Lock lk(CfgJobLock());
    return m_nState;
}
BOOL CCfgJobBase::GetSuccess() const
{
    Lock lk(CfgJobLock());
    return m_bSuccess;
}
UINT CCfgJobBase::GetMessageId() const
{
    Lock lk(CfgJobLock());
    return m_nMessageId;
}
CString CCfgJobBase::GetArgument() const
{
    Lock lk(CfgJobLock());
    return m_strArgument;
}
BOOL CCfgJobBase::GetFallenBack() const
{
    Lock lk(CfgJobLock());
    return m_bFallenBack;
}

void CCfgJobBase::ConnectRawTo(WORD port, int startedState, int endedState)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        CString err;
        err.Format(L"%ld", (long)WSAGetLastError());
        Lock lk(CfgJobLock());
        EndLocked(IDS_JOB_WINSOCK, err, endedState);
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
