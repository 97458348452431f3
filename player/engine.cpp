// player/engine.cpp: the audio engine, over libopenmpt for decoding and the
// platform audio device for output. The public operations run on the UI
// thread; mix_chunk and everything it calls run on the audio thread (the
// device callback, or the caller of audio_render when no device is open).
//
// Sharing: the UI thread describes what plays as an immutable Mix (the
// playing modules, each with its immutable DspList) and publishes it with
// one atomic pointer store. The mixer announces the Mix it is using in
// mixer_mix (a hazard pointer) and never waits for anything; the UI thread
// frees a replaced Mix or DspList, and touches a module it took out of the
// mix, only once the mixer has let go of it. So loads, frees, seeks and DSP
// changes never stall the mixer, and the mixer allocates nothing.
#include "player/engine.h"

#include "platform/audio_device.h"
#include "platform/file_read.h"
#include "player/level_meter.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

constexpr size_t chunk_frames = 1024;        // longest block the mixer handles at once
constexpr uint32_t device_max_frames = 1024; // about 23 ms at 44100 Hz
constexpr uint32_t max_syncs = 8;            // per module; the program sets one
constexpr size_t max_module_bytes = 64u << 20;  // past any real tracker module

struct DspEntry {
    uint32_t handle;
    EngineDspProc proc;
    uint32_t user;
};

// Never changed once built: attaching or removing builds a new one.
struct DspList {
    std::vector<DspEntry> entries;  // in attach order
};

struct SyncSlot {
    std::atomic<EngineSyncProc> proc{nullptr};  // stored last, with release
    uint32_t handle = 0;
    uint32_t user = 0;
};

struct Music {
    uint32_t handle = 0;
    openmpt_module* mod = nullptr;  // the mixer's while the module is in a mix
    uint32_t flags = 0;             // MUSIC_*; changed only out of the mix
    // UI thread only.
    bool playing = false;            // in the mix the UI thread publishes
    const DspList* dsps = nullptr;   // null when none attached
    // Written by the mixer, read by the UI thread; reset by the UI thread
    // while out of the mix.
    std::atomic<int> ended{0};       // the song reached its end (never for a loop)
    std::atomic<uint32_t> level{0};  // left | right << 16
    // Claimed by channel_set_sync on either thread; read by the mixer.
    std::atomic<uint32_t> syncs_claimed{0};
    SyncSlot syncs[max_syncs];
    // Level window: the mixer's while in the mix, reset by the UI thread.
    LevelMeter meter;
};

struct MixEntry {
    Music* music;
    const DspList* dsps;  // the module's list when this Mix was built
};

// Never changed once published.
struct Mix {
    std::vector<MixEntry> entries;
};

}  // namespace

// The Mix to play. Stored by the UI thread, loaded by the mixer per chunk.
static std::atomic<const Mix*> published_mix{nullptr};
// The Mix the mixer is using, null between chunks. Stored by the mixer,
// read by the UI thread before it frees anything the mixer might hold.
static std::atomic<const Mix*> mixer_mix{nullptr};
// 0 after audio_stop: the mixer writes silence. UI writes, mixer reads.
static std::atomic<int> output_running{0};
// Every handle of every kind comes from here, so no value is ever reused
// or means two things. Both threads take handles (channel_set_sync).
static std::atomic<uint32_t> next_handle{1};

// UI thread only (the mixer reads rate, set before the output starts).
static bool initialised = false;
static int engine_device = 0;     // 0: pulled by audio_render; -1: SDL device
static uint32_t engine_rate = 0;  // frames per second
static std::unordered_map<uint32_t, Music*> musics;
static std::vector<Music*> playing_list;  // what the next published Mix holds

// Audio thread only.
static thread_local bool on_mixer_thread = false;
static const Mix* current_mix = nullptr;  // valid while mix_chunk runs
static int16_t channel_samples[chunk_frames * 2];
static int32_t mix_sums[chunk_frames * 2];

// --- audio thread ----------------------------------------------------------

// Hazard-pointer handshake: announce the Mix, then check it is still the
// published one. With both sides sequentially consistent, either the UI
// thread sees the announcement and waits, or we see its new Mix and retry.
static const Mix* enter_mix()
{
    const Mix* mix = published_mix.load();
    for (;;) {
        mixer_mix.store(mix);
        const Mix* again = published_mix.load();
        if (again == mix)
            return mix;
        mix = again;
    }
}

static void fire_syncs(Music* m)
{
    uint32_t count = std::min(m->syncs_claimed.load(std::memory_order_acquire), max_syncs);
    for (uint32_t i = 0; i < count; ++i) {
        SyncSlot& s = m->syncs[i];
        EngineSyncProc proc = s.proc.load(std::memory_order_acquire);
        if (proc)
            proc(s.handle, m->handle, 0, s.user);
    }
}

// Decodes frames of one module into samples, silence after its end.
static void decode(Music* m, int16_t* samples, size_t frames)
{
    size_t have = 0;
    bool wrapped = false;
    while (have < frames) {
        size_t got = openmpt_module_read_interleaved_stereo(m->mod, int32_t(engine_rate), frames - have,
                                                            samples + 2 * have);
        have += got;
        if (got) {
            wrapped = false;
            continue;
        }
        // A read of 0 is the end of the song. Looping modules are set to
        // carry on from the start on the next read, so each wrap shows here.
        if (!(m->flags & MUSIC_LOOP)) {
            m->ended.store(1, std::memory_order_release);
            fire_syncs(m);
            break;
        }
        if (wrapped)  // nothing between two wraps: an empty song, don't spin
            break;
        wrapped = true;
        fire_syncs(m);
    }
    std::memset(samples + 2 * have, 0, (frames - have) * 2 * sizeof(int16_t));
}

static void mix_chunk(int16_t* out, size_t frames)
{
    if (!output_running.load(std::memory_order_relaxed)) {
        std::memset(out, 0, frames * 2 * sizeof(int16_t));
        return;
    }
    on_mixer_thread = true;
    current_mix = enter_mix();
    const size_t samples = frames * 2;
    int channels = 0;
    if (current_mix) {
        for (const MixEntry& e : current_mix->entries) {
            Music* m = e.music;
            if (m->ended.load(std::memory_order_relaxed))
                continue;
            // The first channel goes straight to the output; only a second
            // one needs the 32-bit sums.
            int16_t* buffer = channels == 0 ? out : channel_samples;
            decode(m, buffer, frames);
            if (e.dsps)
                for (const DspEntry& d : e.dsps->entries)
                    d.proc(d.handle, m->handle, buffer, uint32_t(frames * 4), d.user);
            m->level.store(level_meter_feed(&m->meter, buffer, frames, engine_rate), std::memory_order_relaxed);
            // Sums in 32 bits and saturates once at the end, so the order
            // of the channels cannot change the result.
            if (channels == 1)
                for (size_t i = 0; i < samples; ++i)
                    mix_sums[i] = out[i];
            if (channels >= 1)
                for (size_t i = 0; i < samples; ++i)
                    mix_sums[i] += channel_samples[i];
            ++channels;
        }
    }
    current_mix = nullptr;
    mixer_mix.store(nullptr, std::memory_order_release);
    on_mixer_thread = false;
    if (channels == 0)
        std::memset(out, 0, samples * sizeof(int16_t));
    else if (channels > 1)
        for (size_t i = 0; i < samples; ++i)
            out[i] = int16_t(std::clamp(mix_sums[i], -32768, 32767));
}

static void mix_frames(int16_t* out, size_t frames)
{
    while (frames) {
        size_t n = std::min(frames, chunk_frames);
        mix_chunk(out, n);
        out += 2 * n;
        frames -= n;
    }
}

// --- UI thread -------------------------------------------------------------

static Music* find_music(uint32_t handle)
{
    if (on_mixer_thread) {
        // Only what the mixer holds is safe to touch from its thread.
        if (current_mix)
            for (const MixEntry& e : current_mix->entries)
                if (e.music->handle == handle)
                    return e.music;
        return nullptr;
    }
    auto it = musics.find(handle);
    return it == musics.end() ? nullptr : it->second;
}

// The module behind handle for an operation of the UI thread: null on the
// mixer's thread, where only what the mixer holds may be touched, and for
// a bad handle.
static Music* ui_music(uint32_t handle)
{
    return on_mixer_thread ? nullptr : find_music(handle);
}

// Waits (on the UI thread, at most one chunk) until the mixer no longer
// uses old, so that old and whatever only old referred to may be freed.
static void wait_for_mixer(const Mix* old)
{
    if (!old)
        return;
    while (mixer_mix.load() == old)
        std::this_thread::yield();
}

// Publishes playing_list (with each module's current DSP list) as the new
// Mix. On return the mixer holds nothing older than it.
static void publish_mix()
{
    Mix* mix = nullptr;
    if (!playing_list.empty()) {
        mix = new Mix;
        mix->entries.reserve(playing_list.size());
        for (Music* m : playing_list)
            mix->entries.push_back({m, m->dsps});
    }
    const Mix* old = published_mix.exchange(mix);
    wait_for_mixer(old);
    delete old;
}

static void take_out_of_mix(Music* m)
{
    if (!m->playing)
        return;
    m->playing = false;
    playing_list.erase(std::find(playing_list.begin(), playing_list.end(), m));
    publish_mix();
}

// m is out of the mix: the UI thread owns all of it until it is published.
static void put_in_mix(Music* m)
{
    level_meter_reset(&m->meter);
    m->level.store(0, std::memory_order_relaxed);
    m->playing = true;
    playing_list.push_back(m);
    publish_mix();
}

// Only while out of the mix: libopenmpt objects are not thread-safe.
static void apply_flags(Music* m, uint32_t flags)
{
    m->flags = flags;
    // A repeat count of 0 with "continue" makes a looping module's read
    // return 0 at each wrap and go on from the start: the end-sync hook.
    // "stop" ends exactly at the song's end, without a fade.
    openmpt_module_set_repeat_count(m->mod, 0);
    openmpt_module_ctl_set_text(m->mod, "play.at_end", (flags & MUSIC_LOOP) ? "continue" : "stop");
    openmpt_module_set_render_param(m->mod, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH,
                                    (flags & MUSIC_RAMP) ? -1 : 0);
    // Dither would make two renders of the same module differ.
    openmpt_module_ctl_set_integer(m->mod, "dither", 0);
}

// Written by the device callback, read by anyone.
static std::atomic<uint32_t> device_blocks{0};
static std::atomic<uint32_t> device_block_frames{0};
static std::atomic<uint32_t> device_overruns{0};
static std::atomic<uint32_t> device_worst_us{0};

static void device_callback(int16_t* out, size_t frames)
{
    // The monotonic clock is read in user space (vDSO): no system call.
    const auto start = std::chrono::steady_clock::now();
    mix_frames(out, frames);
    const auto took = std::chrono::steady_clock::now() - start;
    const uint64_t us = uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(took).count());
    // The device plays the block in frames / rate seconds; a block that took
    // longer to mix than that left it without sound to play.
    if (us * engine_rate > uint64_t(frames) * 1000000)
        device_overruns.fetch_add(1, std::memory_order_relaxed);
    if (us > device_worst_us.load(std::memory_order_relaxed))
        device_worst_us.store(uint32_t(std::min<uint64_t>(us, UINT32_MAX)), std::memory_order_relaxed);
    device_block_frames.store(uint32_t(frames), std::memory_order_relaxed);
    device_blocks.fetch_add(1, std::memory_order_relaxed);
}

void audio_device_stats(AudioDeviceStats* out)
{
    out->blocks = device_blocks.load(std::memory_order_relaxed);
    out->block_frames = device_block_frames.load(std::memory_order_relaxed);
    out->overruns = device_overruns.load(std::memory_order_relaxed);
    out->worst_block_us = device_worst_us.load(std::memory_order_relaxed);
}

int audio_init(int device, uint32_t rate, uint32_t, void*)
{
    if (initialised || on_mixer_thread || (device != 0 && device != -1))
        return 0;
    if (rate < 8000 || rate > 192000)  // what libopenmpt renders
        return 0;
    engine_rate = rate;
    engine_device = device;
    output_running.store(1);
    if (device == -1) {
        device_blocks.store(0);
        device_block_frames.store(0);
        device_overruns.store(0);
        device_worst_us.store(0);
        if (!platform_audio_open(rate, device_max_frames, device_callback)) {
            output_running.store(0);
            return 0;
        }
        platform_audio_pause(0);
    }
    initialised = true;
    return 1;
}

void audio_render(int16_t* out, size_t frames)
{
    if (!initialised || engine_device != 0) {
        std::memset(out, 0, frames * 2 * sizeof(int16_t));
        return;
    }
    mix_frames(out, frames);
}

void audio_shutdown()
{
    if (!initialised || on_mixer_thread)
        return;
    if (engine_device == -1)
        platform_audio_close();
    output_running.store(0);
    for (Music* m : playing_list)
        m->playing = false;
    playing_list.clear();
    publish_mix();
    for (auto& [handle, m] : musics) {
        openmpt_module_destroy(m->mod);
        delete m->dsps;
        delete m;
    }
    musics.clear();
    initialised = false;
}

uint32_t music_load(int memory, const char* path, uint32_t offset, uint32_t length, uint32_t flags)
{
    if (!initialised || on_mixer_thread || !path)
        return 0;
    // From a file: a regular one only, so that a pipe or a device under a
    // module's name cannot hold the UI thread; one past max_module_bytes is
    // refused before it is read.
    PlatformFileBytes file = {};
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(path);
    size_t size = length;
    if (memory == 0) {
        if (!platform_read_file(path, max_module_bytes, &file))
            return 0;
        bytes = file.data;
        size = file.size;
        if (offset >= size || length > size - offset) {
            platform_free_file(&file);
            return 0;
        }
        size = length != 0 ? length : size - offset;
    } else if (length == 0 || length > max_module_bytes) {
        return 0;  // memory has no end to find
    }
    int error = 0;
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes + offset, size, openmpt_log_func_silent, nullptr,
                                                             openmpt_error_func_ignore, nullptr, &error, nullptr,
                                                             nullptr);
    // The module keeps copies of what it needs.
    platform_free_file(&file);
    if (!mod)
        return 0;
    Music* m = new Music;
    m->mod = mod;
    apply_flags(m, flags);
    m->handle = next_handle.fetch_add(1);
    musics[m->handle] = m;
    return m->handle;
}

uint32_t channel_set_sync(uint32_t handle, uint32_t type, uint32_t, EngineSyncProc proc, uint32_t user)
{
    if (type != SYNC_END || !proc)
        return 0;
    Music* m = find_music(handle);
    if (!m)
        return 0;
    // Claim a slot without a lock: the mixer may call this too.
    uint32_t slot = m->syncs_claimed.load(std::memory_order_relaxed);
    do {
        if (slot >= max_syncs)
            return 0;
    } while (!m->syncs_claimed.compare_exchange_weak(slot, slot + 1, std::memory_order_acq_rel));
    SyncSlot& s = m->syncs[slot];
    s.handle = next_handle.fetch_add(1);
    s.user = user;
    s.proc.store(proc, std::memory_order_release);
    return s.handle;
}

int audio_output_lost()
{
    return engine_device == -1 && initialised && platform_audio_lost();
}

int audio_reopen()
{
    if (on_mixer_thread)
        return 0;
    if (!audio_output_lost())
        return 1;
    const int opened = platform_audio_reopen();
    // The lost device is closed and a new one waits paused: no mixer runs,
    // so the levels are ours to clear, and the picture does not stay frozen
    // on the last block heard.
    for (Music* m : playing_list) {
        level_meter_reset(&m->meter);
        m->level.store(0, std::memory_order_relaxed);
    }
    if (opened && output_running.load())
        platform_audio_pause(0);
    return opened;
}

int audio_stop()
{
    if (!initialised || on_mixer_thread)
        return 0;
    if (engine_device == -1)
        platform_audio_pause(1);
    output_running.store(0);
    for (Music* m : playing_list)
        m->playing = false;
    playing_list.clear();
    publish_mix();
    return 1;
}

int audio_start()
{
    if (!initialised || on_mixer_thread)
        return 0;
    output_running.store(1);
    // Every track key comes here: a lost output is tried again first, and
    // while none can be had what was started waits for it.
    if (engine_device == -1 && audio_reopen())
        platform_audio_pause(0);
    return 1;
}

int music_play_ex(uint32_t handle, uint32_t position, int flags, int)
{
    Music* m = ui_music(handle);
    if (!m)
        return 0;
    take_out_of_mix(m);
    if (flags != -1)
        apply_flags(m, uint32_t(flags));
    // Order in the low word, row in the high word; 0 is the very start.
    // Seeking allocates, which is why it happens here and never in the mixer.
    openmpt_module_set_position_order_row(m->mod, int32_t(position & 0xffff), int32_t(position >> 16));
    m->ended.store(0, std::memory_order_relaxed);
    put_in_mix(m);
    return 1;
}

int music_play(uint32_t handle)
{
    Music* m = ui_music(handle);
    if (!m)
        return 0;
    if (!m->playing)
        put_in_mix(m);
    return 1;
}

int channel_is_active(uint32_t handle)
{
    Music* m = find_music(handle);
    if (!m || (!on_mixer_thread && !m->playing))
        return 0;
    return !m->ended.load(std::memory_order_acquire);
}

uint32_t channel_get_level(uint32_t handle)
{
    if (!channel_is_active(handle))
        return 0;
    return find_music(handle)->level.load(std::memory_order_relaxed);
}

// Replaces m's DSP list; frees the old one once the mixer cannot hold it.
static void replace_dsps(Music* m, const DspList* list)
{
    const DspList* old = m->dsps;
    m->dsps = list;
    if (m->playing)
        publish_mix();
    delete old;
}

uint32_t channel_set_dsp(uint32_t handle, EngineDspProc proc, uint32_t user)
{
    Music* m = proc ? ui_music(handle) : nullptr;
    if (!m)
        return 0;
    DspList* list = new DspList;
    if (m->dsps) {
        list->entries.reserve(m->dsps->entries.size() + 1);
        list->entries.insert(list->entries.end(), m->dsps->entries.begin(), m->dsps->entries.end());
    }
    uint32_t dsp = next_handle.fetch_add(1);
    list->entries.push_back({dsp, proc, user});
    // The publication is a sequentially consistent store that the mixer
    // loads before its next chunk, so the caller's earlier writes are
    // visible to the routine's first block.
    replace_dsps(m, list);
    return dsp;
}

int channel_remove_dsp(uint32_t handle, uint32_t dsp)
{
    Music* m = ui_music(handle);
    if (!m || !m->dsps || dsp == 0)
        return 0;
    const std::vector<DspEntry>& old = m->dsps->entries;
    auto it = std::find_if(old.begin(), old.end(), [dsp](const DspEntry& d) { return d.handle == dsp; });
    if (it == old.end())
        return 0;
    DspList* list = nullptr;
    if (old.size() > 1) {
        list = new DspList;
        list->entries.reserve(old.size() - 1);
        for (const DspEntry& d : old)
            if (d.handle != dsp)
                list->entries.push_back(d);
    }
    replace_dsps(m, list);
    return 1;
}

int music_free(uint32_t handle)
{
    Music* m = ui_music(handle);
    if (!m)
        return 0;
    take_out_of_mix(m);
    musics.erase(handle);
    openmpt_module_destroy(m->mod);
    delete m->dsps;
    delete m;
    return 1;
}

int stream_free(uint32_t)
{
    return 0;  // no streams exist; a module handle is not one
}
