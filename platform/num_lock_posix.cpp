// platform/num_lock_posix.cpp: Num Lock from an X key press, whose modifier
// state Xlib carries and SDL does not pass on. UI thread.
#include "platform/num_lock.h"

#include <SDL_syswm.h>
#include <X11/XKBlib.h>
#include <X11/keysym.h>

static unsigned num_lock_mask;  // the modifier bit Num Lock sets; 0 until asked

int platform_num_lock_of_press(const SDL_SysWMmsg* wm)
{
    if (wm->subsystem != SDL_SYSWM_X11)
        return -1;
    const XEvent& x = wm->msg.x11.event;
    if (x.type != KeyPress)
        return -1;
    if (!num_lock_mask)
        num_lock_mask = XkbKeysymToModifiers(x.xkey.display, XK_Num_Lock);
    if (!num_lock_mask)
        return -1;
    return (x.xkey.state & num_lock_mask) ? 1 : 0;
}
