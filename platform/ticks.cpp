// platform/ticks.cpp: millisecond ticks from SDL's clock. Any thread.
#include "platform/ticks.h"

#include <SDL.h>

uint32_t platform_ticks()
{
    return uint32_t(SDL_GetTicks64());
}
