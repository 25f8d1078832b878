#include "reconfig/cfg_channel.h"

std::mutex& CfgJobLock()
{
    static std::mutex lock;
    return lock;
}

void ChannelDetach(CCfgChannel* c, OwnedInternet& request, OwnedInternet& connection)
{
    // The handles keep their references until HANDLE_CLOSING arrives for them.
    request.reset(c->request);
    connection.reset(c->connection);
    c->job = nullptr;
    ChannelRelease(c);
}

void ChannelHandleClosing(CCfgChannel* c, HINTERNET h)
{
    if (!h)
        return;
    if (h == c->request)
        c->request = nullptr;
    else if (h == c->connection)
        c->connection = nullptr;
    else
        return;
    ChannelRelease(c);
}

bool CfgWaitForProgress(const HANDLE* events, DWORD count, DWORD ms)
{
    DWORD r = MsgWaitForMultipleObjectsEx(count, events, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return r < WAIT_OBJECT_0 + count;
}
