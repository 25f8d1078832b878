#include "framework/MessageLoop.h"
#include "framework/AfxIds.h"

BOOL IsIdleMessage(const MSG& msg) {
    return msg.message != WM_MOUSEMOVE && msg.message != WM_NCMOUSEMOVE && msg.message != WM_SYSTIMER;
}

BOOL CMessageLoop::Run(int* quitCode) {
    LONG count = 0;
    bool idle = true;
    MSG msg;
    for (;;) {
        while (idle && !Done()) {
            if (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) break;
            BOOL more;
            try {
                more = OnIdle(count++);
            } catch (...) {
                more = TRUE;
            }
            if (!more) {
                idle = false;
                break;
            }
            // More is wanted: give messages the next few milliseconds first.
            if (more != kIdleAgainAtOnce && !Done())
                ::MsgWaitForMultipleObjectsEx(0, nullptr, IdleWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
        if (Done()) return FALSE;
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            if (quitCode) *quitCode = got == 0 ? (int)msg.wParam : -1;
            return TRUE;
        }
        BOOL handled = FALSE;
        try {
            handled = PreTranslate(&msg);
        } catch (...) {}
        if (!handled) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (IsIdleMessage(msg)) {
            idle = true;
            count = 0;
        }
    }
}
