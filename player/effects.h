// player/effects.h: the three real-time sound effects (pan sweep, crossed
// echo, swept flanger). The routines run on the audio thread; the commands
// run on the UI thread (F1 to F6).
#pragma once
#include <cstdint>

constexpr int echo_frames = 1200;    // the echo returns after this many frames
constexpr int flanger_frames = 350;  // the flanger's longest delay, in frames
constexpr int effect_stack_limit = 8;  // instances of one effect the keys attach to one channel

// Effect routines in the engine's form (player/engine.h): rewrite length / 4
// interleaved 16-bit stereo frames of buffer in place. Audio thread; only
// buffer and length are used. Several instances of one routine may run on
// the same block one after the other: they share the effect's state.
void dsp_pan_sweep(uint32_t dsp, uint32_t channel, void* buffer, uint32_t length, uint32_t user);
void dsp_echo(uint32_t dsp, uint32_t channel, void* buffer, uint32_t length, uint32_t user);
void dsp_flanger(uint32_t dsp, uint32_t channel, void* buffer, uint32_t length, uint32_t user);

// Key commands on channel, the engine's handle of a module. UI thread. An
// install resets its effect's state and attaches one more instance of the
// routine, unless effect_stack_limit of them are already on channel: then
// it does nothing at all. A remove detaches the handle in the slot. Each
// slot keeps whatever the engine answered, a refusal or a remove's 0/1
// included.
void install_pan_sweep(uint32_t channel);  // F1
void remove_pan_sweep(uint32_t channel);   // F2
void install_echo(uint32_t channel);       // F3
void remove_echo(uint32_t channel);        // F4
void install_flanger(uint32_t channel);    // F5
void remove_flanger(uint32_t channel);     // F6

// For tests and tools only: a copy of the whole effect state. The program
// itself never reads or writes the state from outside this module.
struct EffectState {
    float pan_phase;        // radians, [0, 3.1415927) after a block
    uint32_t pan_dsp;       // last engine answer for the pan sweep
    int32_t echo_pos;       // next history frame, 0 to echo_frames - 1
    uint32_t echo_dsp;
    int32_t flanger_pos;    // next history frame, 0 to flanger_frames - 1
    float flanger_delay;    // frames
    float flanger_step;     // frames per frame, +-0.002 once installed
    uint32_t flanger_dsp;
    int16_t echo_history[echo_frames][2];        // left, right (output)
    int16_t flanger_history[flanger_frames][2];  // left, right (dry input)
};
// Copies the state out. Call only while no routine is running.
void effects_get_state(EffectState* out);
// Overwrites the state; positions must lie within their histories and the
// flanger delay within [-1, 351]. Call only while no routine is running.
void effects_set_state(const EffectState* in);
// Back to the values the program starts with: everything zero, no
// instance counted on any channel.
void effects_reset_state();
