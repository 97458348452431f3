// platform/gl_context.cpp: what the GL context and its pixel format are the
// same over SDL2 on every system: checking the request, making a context
// current and deleting it. UI thread only.
#include "platform/gl_attributes.h"
#include "platform/window.h"

#include <SDL.h>

bool gl_format_request_valid(const PlatformPixelFormat* format)
{
    const uint32_t needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    return (format->flags & needed) == needed && format->pixel_type == PFD_TYPE_RGBA && format->colour_bits <= 32 &&
           format->depth_bits <= 32;
}

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
