// platform/audio_device.h: the audio output device. Opened, paused and closed
// on the UI thread; the callback runs on SDL's audio thread.
#pragma once
#include <cstddef>
#include <cstdint>

// Fills frames interleaved signed 16-bit stereo frames. Audio thread.
using PlatformAudioCallback = void (*)(int16_t* out, size_t frames);

// Opens the default output device at rate in 16-bit stereo with a buffer of
// at most max_frames frames (SDL converts if the hardware differs). The
// device starts paused. 1, or 0 when there is no device or one is open.
int platform_audio_open(uint32_t rate, uint32_t max_frames, PlatformAudioCallback callback);
// Why the last platform_audio_open failed, in SDL's words ("" before any).
const char* platform_audio_error();
// 1 pauses, 0 runs. Pausing returns only once the callback has stopped.
void platform_audio_pause(int paused);
// Stops the callback and releases the device. Safe when nothing is open.
void platform_audio_close();
// 1 from when the open device went away (unplugged, its sound server gone)
// until a reopen succeeds; it plays nothing meanwhile. Learnt from the
// message pump, so it turns 1 only as messages are taken.
int platform_audio_lost();
// After a loss: closes the lost device and opens the default output again
// as platform_audio_open did, paused. 1 when a device is open (at once when
// none was lost), or 0 with platform_audio_error's reason.
int platform_audio_reopen();
// The message pump (messages.cpp) passes on SDL's word that an audio device
// went away: its id, and 1 for a capture device.
void platform_audio_device_removed(uint32_t device_id, int capture);
