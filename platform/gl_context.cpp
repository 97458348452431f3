// platform/gl_context.cpp: making a GL context current and deleting it, the
// same over SDL2 on every system. UI thread only.
#include "platform/window.h"

#include <SDL.h>

int platform_make_current(PlatformDC dc, PlatformGLContext context)
{
    if (!SDL_WasInit(SDL_INIT_VIDEO) || (!dc && context))
        return 0;
    return SDL_GL_MakeCurrent(static_cast<SDL_Window*>(dc), context) == 0 ? 1 : 0;
}

int platform_delete_context(PlatformGLContext context)
{
    if (!context || SDL_GL_GetCurrentContext() == context)
        return 0;
    SDL_GL_DeleteContext(context);
    return 1;
}
