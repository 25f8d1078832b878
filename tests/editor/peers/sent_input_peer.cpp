// Another program that sends input to Varnel's windows, as automation and
// remote-control tools do: while the event `on` is set, one burst every few
// milliseconds of two clicks on the header at (hx, hy), a double click on the
// list at (rx, ry), keys to the list, a command and closes to the frame and
// the list; until the event `stop` is set, or a minute has passed.
//
//   sent_input_peer FRAME LIST HEADER HX HY RX RY ON STOP
//
// Windows as hexadecimal handles, events by name. Exit code: the bursts sent.
#include <windows.h>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 10) return -1;
    HWND frame = (HWND)(UINT_PTR)wcstoull(argv[1], nullptr, 16);
    HWND list = (HWND)(UINT_PTR)wcstoull(argv[2], nullptr, 16);
    HWND header = (HWND)(UINT_PTR)wcstoull(argv[3], nullptr, 16);
    const LPARAM atHeader = MAKELPARAM(_wtoi(argv[4]), _wtoi(argv[5]));
    const LPARAM atRow = MAKELPARAM(_wtoi(argv[6]), _wtoi(argv[7]));
    HANDLE on = OpenEventW(SYNCHRONIZE, FALSE, argv[8]);
    HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, argv[9]);
    if (!on || !stop) return -1;
    struct Send {
        HWND to;
        UINT msg;
        WPARAM wp;
        LPARAM lp;
    };
    const Send sends[] = {
        {header, WM_LBUTTONDOWN, MK_LBUTTON, atHeader},
        {header, WM_LBUTTONUP, 0, atHeader},
        {list, WM_LBUTTONDOWN, MK_LBUTTON, atRow},
        {list, WM_LBUTTONUP, 0, atRow},
        {list, WM_LBUTTONDBLCLK, MK_LBUTTON, atRow},
        {list, WM_LBUTTONUP, 0, atRow},
        {list, WM_KEYDOWN, VK_END, 1},
        {list, WM_KEYUP, VK_END, (LPARAM)0xC0000001u},
        {frame, WM_COMMAND, 0, 0},
        {frame, WM_CLOSE, 0, 0},
        {list, WM_CLOSE, 0, 0},
    };
    const UINT commands[] = {57632, 57643, 32777};  // delete, undo, enable
    const DWORD start = GetTickCount();
    int bursts = 0;
    for (int k = 0; WaitForSingleObject(stop, 0) != WAIT_OBJECT_0 && GetTickCount() - start < 60000; ++k) {
        if (WaitForSingleObject(on, 20) != WAIT_OBJECT_0) continue;
        Sleep(40 + (DWORD)(k * 11) % 51);
        for (const Send& s : sends) {
            if (WaitForSingleObject(on, 0) != WAIT_OBJECT_0) break;
            DWORD_PTR r = 0;
            const WPARAM wp = s.msg == WM_COMMAND ? MAKEWPARAM(commands[k % 3], 0) : s.wp;
            SendMessageTimeoutW(s.to, s.msg, wp, s.lp, SMTO_NORMAL, 20000, &r);
        }
        ++bursts;
    }
    CloseHandle(on);
    CloseHandle(stop);
    return bursts;
}
