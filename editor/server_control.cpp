// Control pipe client and program starts. The pipe exchange is done by hand
// instead of CallNamedPipeW, which waits without limit for a server that
// accepts the connection and never answers.
#include "editor/server_control.h"
#include "framework/ErrorText.h"
#include "framework/Handle.h"
#include <shellapi.h>
#include <commctrl.h>
#include <cstring>

namespace {

// Waits for one overlapped operation for at most ms; on time-out cancels it
// and waits for the cancellation, so that the buffers are free again.
DWORD FinishIo(HANDLE pipe, OVERLAPPED* ov, BOOL started, DWORD ms, DWORD* done) {
    *done = 0;
    if (!started) {
        DWORD e = GetLastError();
        if (e != ERROR_IO_PENDING) return e;
        if (WaitForSingleObject(ov->hEvent, ms) != WAIT_OBJECT_0) {
            CancelIo(pipe);
            GetOverlappedResult(pipe, ov, done, TRUE);
            *done = 0;
            return ERROR_TIMEOUT;
        }
    }
    if (!GetOverlappedResult(pipe, ov, done, FALSE)) return GetLastError();
    return 0;
}

}  // namespace

DWORD CallServerPipe(const void* request, DWORD requestLen, void* reply, DWORD replySize, DWORD* replyLen,
                     const wchar_t* pipeName, DWORD answerWaitMs) {
    *replyLen = 0;
    OwnedHandle owned(
        CreateFileW(pipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!owned) {
        DWORD e = GetLastError();
        if (e != ERROR_PIPE_BUSY) return e;
        if (!WaitNamedPipeW(pipeName, kServerPipeWaitMs)) return GetLastError();
        owned.reset(CreateFileW(pipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                nullptr));
        if (!owned) return GetLastError();
    }
    HANDLE pipe = owned.get();

    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) return GetLastError();

    OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return GetLastError();
    HANDLE ev = event.get();

    // One budget for the whole exchange.
    DWORD start = GetTickCount();
    auto left = [&]() -> DWORD {
        DWORD used = GetTickCount() - start;
        return used >= answerWaitMs ? 0 : answerWaitMs - used;
    };

    OVERLAPPED ov;
    memset(&ov, 0, sizeof ov);
    ov.hEvent = ev;
    DWORD done = 0;
    BOOL ok = WriteFile(pipe, request, requestLen, &done, &ov);
    DWORD e = FinishIo(pipe, &ov, ok, left(), &done);
    if (e) return e;
    if (done != requestLen) return ERROR_WRITE_FAULT;

    memset(&ov, 0, sizeof ov);
    ResetEvent(ev);
    ov.hEvent = ev;
    ok = ReadFile(pipe, reply, replySize, &done, &ov);
    e = FinishIo(pipe, &ov, ok, left(), &done);
    if (e == ERROR_MORE_DATA)
        *replyLen = replySize;
    else if (!e)
        *replyLen = done;
    return e;
}

ServerAnswer ClassifyServerReply(DWORD error, const void* reply, DWORD replyLen) {
    if (error == ERROR_FILE_NOT_FOUND) return ServerNotRunning;
    if (error) return ServerFailed;
    if (replyLen == 4 && memcmp(reply, "OK\r\n", 4) == 0) return ServerAccepted;
    return ServerRefused;
}

namespace {

ServerAnswer SendRequest(const char (&request)[9], DWORD* error, const wchar_t* pipeName) {
    char reply[kServerReplySize];
    DWORD got = 0;
    DWORD e = CallServerPipe(request, 8, reply, sizeof reply, &got, pipeName);
    if (error) *error = e;
    return ClassifyServerReply(e, reply, got);
}

}  // namespace

ServerAnswer SendReloadRequest(DWORD* error, const wchar_t* pipeName) {
    static const char req[9] = "RELOAD\r\n";
    return SendRequest(req, error, pipeName);
}

ServerAnswer SendStopRequest(DWORD* error, const wchar_t* pipeName) {
    static const char req[9] = {'S', 'T', 'O', 'P', '\r', '\n', 0, 0, 0};
    return SendRequest(req, error, pipeName);
}

CString FormatPipeError(DWORD error) {
    CString text = FormatText(IDS_SRV_ERRORCODE, (int)error);
    text += SystemErrorText(error).Left(199);
    return text;
}

namespace {

CServerNotice Box(UINT id, UINT icon) {
    CServerNotice n;
    n.textId = id;
    n.icon = icon;
    n.text = LoadMessageText(id);
    return n;
}

CServerNotice Balloon(UINT id) {
    CServerNotice n;
    n.balloon = true;
    n.titleId = IDS_SRV_SAVED_TITLE;
    n.textId = id;
    n.icon = TTI_INFO;
    return n;
}

CServerNotice ErrorBox(DWORD error) {
    CServerNotice n;
    n.textId = IDS_SRV_ERRORCODE;
    n.icon = MB_ICONSTOP;
    n.text = FormatPipeError(error);
    return n;
}

}  // namespace

CServerNotice ReloadNotice(ServerAnswer answer, DWORD error) {
    switch (answer) {
    case ServerAccepted: return Balloon(IDS_SRV_RELOAD_ACCEPTED);
    case ServerRefused: return Box(IDS_SRV_RELOAD_REFUSED, MB_ICONEXCLAMATION);
    case ServerNotRunning: return Balloon(IDS_SRV_RELOAD_NOTRUNNING);
    default: return ErrorBox(error);
    }
}

CServerNotice StopNotice(ServerAnswer answer, DWORD error) {
    switch (answer) {
    case ServerAccepted: return Box(IDS_SRV_STOP_ACCEPTED, MB_ICONINFORMATION);
    case ServerRefused: return Box(IDS_SRV_STOP_REFUSED, MB_ICONSTOP);
    case ServerNotRunning: return Box(IDS_SRV_STOP_NOTRUNNING, MB_ICONEXCLAMATION);
    default: return ErrorBox(error);
    }
}

CString GetProgramFilePath(const wchar_t* fileName) {
    wchar_t path[300];
    DWORD n = GetModuleFileNameW(nullptr, path, 300);
    if (n >= 300) n = 299;
    path[n] = 0;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash)
        slash[1] = 0;
    else
        path[0] = 0;
    return CString(path) + fileName;
}

void StartServiceTool() {
    CString path = GetProgramFilePath(L"Tolvane.exe");
    ShellExecuteW(nullptr, L"open", path, L"Ostrel", nullptr, SW_SHOWNORMAL);
}

void StartDemoClient() {
    CString path = GetProgramFilePath(L"Fennick.exe");
    ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
}
