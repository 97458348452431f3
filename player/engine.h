// player/engine.h: the audio engine. Modules are decoded by libopenmpt and
// mixed on the audio thread (SDL's callback, or the caller of audio_render
// when no device is open). Every operation here is for the UI thread unless
// its comment says otherwise; the routines the engine calls back run on the
// audio thread.
#pragma once
#include <cstddef>
#include <cstdint>

// Effect routine: DSP handle, channel, interleaved signed 16-bit stereo
// block changed in place, its length in bytes (a multiple of 4), user value.
using EngineDspProc = void (*)(uint32_t dsp, uint32_t channel, void* buffer, uint32_t length, uint32_t user);
// Notification routine: sync handle, channel, data, user value.
using EngineSyncProc = void (*)(uint32_t sync, uint32_t channel, uint32_t data, uint32_t user);

constexpr uint32_t MUSIC_RAMP = 1;       // music_load: normal volume ramping
constexpr uint32_t MUSIC_LOOP = 4;       // music_load: loop forever
constexpr uint32_t SYNC_END = 2;         // channel_set_sync: end of the module
constexpr uint32_t ENGINE_RATE = 44100;  // frames per second the program asks for

// device -1: the default output device at rate, 16-bit stereo; device 0: no
// device, the caller pulls the mix with audio_render. 1, or 0 on failure
// (no device, already initialised).
int audio_init(int device, uint32_t rate, uint32_t flags, void* window);
// Only with device 0: mixes frames stereo frames into out, exactly as the
// device callback would. Call from one thread at a time.
void audio_render(int16_t* out, size_t frames);
// What the output device has asked of the mixer since audio_init (device
// -1): blocks mixed, the frames in each, the blocks whose mixing took longer
// than they last when played (the device ran short: a dropout), and the
// longest a block took to mix. Any thread.
struct AudioDeviceStats {
    uint32_t blocks;
    uint32_t block_frames;    // of the last block
    uint32_t overruns;
    uint32_t worst_block_us;  // microseconds
};
void audio_device_stats(AudioDeviceStats* out);
// Releases the device and every module; the engine may be initialised again.
// For tests and tools: the program never shuts the engine down.
void audio_shutdown();

// Loads a module with MUSIC_* flags. memory 0: path names a file, of which
// length bytes from offset are taken (length 0: to its end); only a regular
// file of at most 64 MiB is read, anything else (a pipe, a device, a
// folder) fails at once as a missing file does. memory non-zero: path
// points at length bytes in memory (0 < length <= 64 MiB) from offset,
// which the caller may free once this returns. A handle never reused
// within a run, or 0.
uint32_t music_load(int memory, const char* path, uint32_t offset, uint32_t length, uint32_t flags);
// Calls proc on the audio thread when the module reaches its end (each wrap
// of a looping one). A sync handle, or 0 (bad handle, type other than
// SYNC_END, or more than 8 on one module). May also be called from the audio
// thread, for a module that is playing.
uint32_t channel_set_sync(uint32_t handle, uint32_t type, uint32_t param, EngineSyncProc proc, uint32_t user);
// Stops the output and every playing channel (stopped, not paused).
int audio_stop();
// Runs the output again; stopped channels stay stopped. With device -1, a
// lost output is opened again first (audio_reopen).
int audio_start();
// Device -1: 1 once the output device has gone away (unplugged, its sound
// server gone) until audio_reopen brings one back; 0 otherwise. What plays
// keeps its place meanwhile, and its level reads 0.
int audio_output_lost();
// Device -1: after the output was lost, opens the default output again
// with audio_init's settings, running or stopped as audio_start and
// audio_stop left it. 1 when an output is open (at once when none was
// lost), 0 with platform_audio_error's reason.
int audio_reopen();
// Restarts from order 0, row 0 (position 0, flags -1, reset 1) and plays.
int music_play_ex(uint32_t handle, uint32_t position, int flags, int reset);
// Plays from where the module stands; one that reached its end stays there.
int music_play(uint32_t handle);
// 1 while playing and not at its end; 0 otherwise, for any bad handle too.
int channel_is_active(uint32_t handle);
// Peak absolute sample of the last 20 to 25 ms after the effects: left in
// the low 16 bits, right in the high 16 bits, each 0 to 32768. 0 when not
// playing.
uint32_t channel_get_level(uint32_t handle);
// Attaches proc from the next block on, after the routines already there
// (the same routine may be attached any number of times). Writes made before
// the call are visible to its first block. A DSP handle never reused, or 0
// for a bad channel.
uint32_t channel_set_dsp(uint32_t handle, EngineDspProc proc, uint32_t user);
// 1 when dsp was attached to handle and is now removed; 0 otherwise.
int channel_remove_dsp(uint32_t handle, uint32_t dsp);
// Releases the module and all attached to it. 1, or 0 for any bad value.
int music_free(uint32_t handle);
// For streams only: answers 0 for a module handle or any other value.
int stream_free(uint32_t handle);
