// platform/num_lock_windows.cpp: Num Lock from a Windows key press, whose
// virtual-key code already follows it: a keypad digit gives its digit's code
// with Num Lock on and the navigation key printed on it with Num Lock off.
// UI thread.
#include "platform/num_lock.h"

#include <SDL_syswm.h>

int platform_num_lock_of_press(const SDL_SysWMmsg* wm)
{
    if (wm->subsystem != SDL_SYSWM_WINDOWS)
        return -1;
    if (wm->msg.win.msg != WM_KEYDOWN && wm->msg.win.msg != WM_SYSKEYDOWN)
        return -1;
    const WPARAM vk = wm->msg.win.wParam;
    if ((vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) || vk == VK_DECIMAL)
        return 1;
    // The navigation block's own keys give the same codes, with the
    // extended-key bit (24) of lParam set; the keypad's leave it clear.
    const bool extended = (wm->msg.win.lParam >> 24) & 1;
    switch (vk) {
    case VK_INSERT: case VK_END: case VK_DOWN: case VK_NEXT: case VK_LEFT: case VK_CLEAR:
    case VK_RIGHT: case VK_HOME: case VK_UP: case VK_PRIOR: case VK_DELETE:
        return extended ? -1 : 0;
    default:
        return -1;
    }
}
