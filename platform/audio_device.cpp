// platform/audio_device.cpp: the SDL audio device and its callback. UI
// thread, except fill_stream which SDL runs on its audio thread.
#include "platform/audio_device.h"

#include <SDL.h>
#include <cstdlib>

// Written on the UI thread while the device is closed or paused; read by
// the audio thread only while it is open.
static SDL_AudioDeviceID device = 0;
static PlatformAudioCallback device_callback = nullptr;
static SDL_AudioSpec device_want;    // what the open asked for, kept for a reopen
static bool audio_subsystem = false;  // ours, from the open to the close
static bool device_lost = false;      // SDL said the device went away
static bool exit_handler_registered = false;
static char open_error[256];  // SDL's reason for the last failed open

// Audio thread. SDL hands whole frames of the format we asked for.
static void fill_stream(void*, Uint8* stream, int len)
{
    device_callback(reinterpret_cast<int16_t*>(stream), size_t(len) / (2 * sizeof(int16_t)));
}

// Opens the default output with device_want. 1, or 0 with SDL's reason.
static int open_default_output()
{
    SDL_AudioSpec have = {};
    // No allowed changes: SDL converts to whatever the hardware takes, so
    // the callback always sees exactly the format asked for.
    device = SDL_OpenAudioDevice(nullptr, 0, &device_want, &have, 0);
    if (device == 0) {
        SDL_strlcpy(open_error, SDL_GetError(), sizeof open_error);
        return 0;
    }
    return 1;
}

int platform_audio_open(uint32_t rate, uint32_t max_frames, PlatformAudioCallback callback)
{
    if (device || audio_subsystem || !callback || rate == 0 || max_frames == 0)
        return 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        SDL_strlcpy(open_error, SDL_GetError(), sizeof open_error);
        return 0;
    }
    // SDL wants a power of two; round down so the latency bound holds.
    uint32_t frames = 1;
    while (frames * 2 <= max_frames && frames < 32768)
        frames *= 2;
    device_want = {};
    device_want.freq = int(rate);
    device_want.format = AUDIO_S16SYS;
    device_want.channels = 2;
    device_want.samples = Uint16(frames);
    device_want.callback = fill_stream;
    device_callback = callback;
    if (!open_default_output()) {
        device_callback = nullptr;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    audio_subsystem = true;
    device_lost = false;
    // The program never closes the device; when it ends, the callback must
    // stop before the libraries it calls into are torn down.
    if (!exit_handler_registered) {
        std::atexit(platform_audio_close);
        exit_handler_registered = true;
    }
    return 1;
}

const char* platform_audio_error()
{
    return open_error;
}

void platform_audio_pause(int paused)
{
    if (device)
        SDL_PauseAudioDevice(device, paused);
}

void platform_audio_close()
{
    if (!audio_subsystem)
        return;
    if (device)
        SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio_subsystem = false;
    device = 0;
    device_callback = nullptr;
    device_lost = false;
}

int platform_audio_lost()
{
    return device_lost;
}

int platform_audio_reopen()
{
    if (!device_lost)
        return audio_subsystem;
    if (device) {
        SDL_CloseAudioDevice(device);
        device = 0;
    }
    // The audio subsystem stays up: SDL's PulseAudio driver connects each
    // device to the server afresh, while starting the driver again would
    // crash in SDL 2.26 on a server left with no output at all.
    if (!open_default_output())
        return 0;
    device_lost = false;
    return 1;
}

void platform_audio_device_removed(uint32_t device_id, int capture)
{
    // Ids are handed out again once closed: an event still queued for a
    // device closed since must not count against the one open now, which
    // SDL reports as running.
    if (capture || !device || device_id != device || SDL_GetAudioDeviceStatus(device) != SDL_AUDIO_STOPPED)
        return;
    device_lost = true;
}
