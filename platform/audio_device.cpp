// platform/audio_device.cpp: the SDL audio device and its callback. UI
// thread, except fill_stream which SDL runs on its audio thread.
#include "platform/audio_device.h"

#include <SDL.h>
#include <cstdlib>

// Written on the UI thread while the device is closed or paused; read by
// the audio thread only while it is open.
static SDL_AudioDeviceID device = 0;
static PlatformAudioCallback device_callback = nullptr;
static bool exit_handler_registered = false;
static char open_error[256];  // SDL's reason for the last failed open

// Audio thread. SDL hands whole frames of the format we asked for.
static void fill_stream(void*, Uint8* stream, int len)
{
    device_callback(reinterpret_cast<int16_t*>(stream), size_t(len) / (2 * sizeof(int16_t)));
}

int platform_audio_open(uint32_t rate, uint32_t max_frames, PlatformAudioCallback callback)
{
    if (device || !callback || rate == 0 || max_frames == 0)
        return 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        SDL_strlcpy(open_error, SDL_GetError(), sizeof open_error);
        return 0;
    }
    // SDL wants a power of two; round down so the latency bound holds.
    uint32_t frames = 1;
    while (frames * 2 <= max_frames && frames < 32768)
        frames *= 2;
    SDL_AudioSpec want = {};
    want.freq = int(rate);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = Uint16(frames);
    want.callback = fill_stream;
    SDL_AudioSpec have = {};
    device_callback = callback;
    // No allowed changes: SDL converts to whatever the hardware takes, so
    // the callback always sees exactly the format asked for.
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        SDL_strlcpy(open_error, SDL_GetError(), sizeof open_error);
        device_callback = nullptr;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
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
    if (!device)
        return;
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device = 0;
    device_callback = nullptr;
}
