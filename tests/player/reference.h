// tests/player/reference.h: libopenmpt's own read of a module with the
// settings the engine promises (no dither, an exact end, ramping by the
// flag, a loop through every wrap): what the engine must play, made without
// the engine.
#pragma once
#include "player/engine.h"

#include <libopenmpt/libopenmpt.h>
#include <cstdint>
#include <vector>

inline openmpt_module* reference_module(const std::vector<uint8_t>& bytes, uint32_t flags)
{
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    openmpt_module_ctl_set_integer(mod, "dither", 0);
    openmpt_module_ctl_set_text(mod, "play.at_end", "stop");
    openmpt_module_set_repeat_count(mod, (flags & MUSIC_LOOP) ? -1 : 0);
    openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH, (flags & MUSIC_RAMP) ? -1 : 0);
    return mod;
}
