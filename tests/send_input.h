// Real input through the system's input queue (SendInput), as a user's key
// or mouse button reaches the window in front.
#pragma once
#include <windows.h>

namespace krvtest {

// A key pressed and let go, with Shift held around it when shift is set.
inline void Key(WORD vk, bool shift = false) {
    INPUT in[4] = {};
    int n = 0;
    auto add = [&](WORD k, bool up) {
        in[n].type = INPUT_KEYBOARD;
        in[n].ki.wVk = k;
        in[n].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        ++n;
    };
    if (shift) add(VK_SHIFT, false);
    add(vk, false);
    add(vk, true);
    if (shift) add(VK_SHIFT, true);
    SendInput((UINT)n, in, sizeof(INPUT));
}

// The left mouse button pressed and let go where the cursor is.
inline void LeftClick() {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
}

}  // namespace krvtest
