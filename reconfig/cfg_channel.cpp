#include "reconfig/cfg_channel.h"

std::mutex& CfgJobLock() {
    static std::mutex lock;
    return lock;
}

void ChannelDetach(CCfgChannel* c, OwnedInternet& request, OwnedInternet& connection) {
    // The handles keep their references until HANDLE_CLOSING arrives for them.
    request.reset(c->request);
    connection.reset(c->connection);
    c->job = nullptr;
    ChannelRelease(c);
}

void ChannelHandleClosing(CCfgChannel* c, HINTERNET h) {
    if (!h) return;
    if (h == c->request)
        c->request = nullptr;
    else if (h == c->connection)
        c->connection = nullptr;
    else
        return;
    ChannelRelease(c);
}

bool CfgWaitForProgress(const HANDLE* events, DWORD count, DWORD ms) {
    DWORD r = MsgWaitForMultipleObjectsEx(count, events, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return r < WAIT_OBJECT_0 + count;
}

bool CfgWaitWithin(const std::vector<HANDLE>& events, DWORD deadline) {
    LONG left = (LONG)(deadline - GetTickCount());
    if (events.empty() || left <= 0 || CfgInputWaiting()) return false;
    return CfgWaitForProgress(events.data(), (DWORD)events.size(), (DWORD)left);
}

void CfgDispatchStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length,
                       CfgStatusHandler handler) {
    try {
        auto* c = reinterpret_cast<CCfgChannel*>(context);
        if (!c) return;
        if (status == INTERNET_STATUS_HANDLE_CLOSING) {
            std::lock_guard<std::mutex> lk(CfgJobLock());
            ChannelHandleClosing(c, handle);
            return;
        }
        DWORD value = (info && length == sizeof(DWORD)) ? *static_cast<const DWORD*>(info) : 0;
        const INTERNET_ASYNC_RESULT* result =
            (status == INTERNET_STATUS_REQUEST_COMPLETE && info && length >= sizeof(INTERNET_ASYNC_RESULT))
                ? static_cast<const INTERNET_ASYNC_RESULT*>(info)
                : nullptr;
        handler(c, status, value, result);
    } catch (...) {}
}
