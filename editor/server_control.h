// Varnel's side of the OPC server's control pipe "\\.\pipe\Ostrel", and the
// start of the service tool (Tolvane) and the demo client (Fennick).
//
// Use:
//   after a successful save to the active configuration's path:
//       DWORD e; ServerAnswer a = SendReloadRequest(&e);
//       show ReloadNotice(a, e): a balloon at Save or a message box
//   ID_SERVICE_STOP:    ask IDS_SRV_STOP_QUESTION, then SendStopRequest and StopNotice likewise
//   ID_SERVICE_CONTROL: StartServiceTool();    // "Tolvane.exe Ostrel" beside us
//   ID_DEMO_CLIENT:     StartDemoClient();     // "Fennick.exe" beside us
// The notices decide what to show; the view and document show them.
#pragma once
#include <windows.h>
#include "framework/String.h"
#include "resources/varnel_srv_ids.h"

#define KRV_SERVER_PIPE L"\\\\.\\pipe\\Ostrel"

// Waits for a free pipe instance.
const DWORD kServerPipeWaitMs = 1000;
// Waits for the server's answer once connected; a silent server would
// otherwise hold the user-interface thread for ever.
const DWORD kServerAnswerWaitMs = 10000;
// The reply buffer; a longer reply fails with ERROR_MORE_DATA (234).
const DWORD kServerReplySize = 20;

// One request over one connection in message mode: write the request, read
// one reply message. Returns 0 or the system error: 2 no pipe (server not
// running), 121 no free instance within kServerPipeWaitMs, 234 reply longer
// than replySize (replyLen then holds replySize), ERROR_TIMEOUT (1460) no
// answer within answerWaitMs.
DWORD CallServerPipe(const void* request, DWORD requestLen, void* reply, DWORD replySize, DWORD* replyLen,
                     const wchar_t* pipeName = KRV_SERVER_PIPE, DWORD answerWaitMs = kServerAnswerWaitMs);

enum ServerAnswer {
    ServerAccepted,    // exactly "OK\r\n"
    ServerRefused,     // any other reply of up to 20 bytes
    ServerNotRunning,  // no such pipe (error 2)
    ServerFailed,      // any other pipe error, in *error
};

// Classifies a CallServerPipe outcome.
ServerAnswer ClassifyServerReply(DWORD error, const void* reply, DWORD replyLen);

// "RELOAD\r\n" and "STOP\r\n\0\0", 8 bytes each. error: the system error for
// ServerFailed (and 2 for ServerNotRunning), else 0.
ServerAnswer SendReloadRequest(DWORD* error = nullptr, const wchar_t* pipeName = KRV_SERVER_PIPE);
ServerAnswer SendStopRequest(DWORD* error = nullptr, const wchar_t* pipeName = KRV_SERVER_PIPE);

// IDS_SRV_ERRORCODE filled with the error number, followed by the system's text for it (at
// most 199 characters, nothing when the system has none).
CString FormatPipeError(DWORD error);

// What to show for an outcome: a balloon at the Save button (title + text id,
// TTI_INFO icon) or a message box (text, MB_ICON...).
struct CServerNotice {
    bool balloon = false;
    UINT titleId = 0;  // balloon only
    UINT textId = 0;   // balloon text or message-box string id
    UINT icon = 0;     // balloon: TTI_INFO; box: MB_ICONINFORMATION/EXCLAMATION/STOP
    CString text;      // message-box text, loaded and filled
};
CServerNotice ReloadNotice(ServerAnswer answer, DWORD error);
CServerNotice StopNotice(ServerAnswer answer, DWORD error);

// Program starts through the shell; a missing program shows nothing.
void StartServiceTool();
void StartDemoClient();

// The folder of our own executable (up to and including its last backslash,
// or nothing) followed by fileName.
CString GetProgramFilePath(const wchar_t* fileName);
