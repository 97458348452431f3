// tests/tools/render_wav_test.cpp: render-wav run as a program. A command
// at time 0 must give exactly the dry render with the effect routine applied
// afterwards, from the state its install command leaves.
#include "player/effects.h"
#include "player/engine.h"
#include "player/track_list.h"

#include "tools/modwriter/test_modules.h"
#include "tools/write_file.h"

#include <libopenmpt/libopenmpt.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Samples = std::vector<int16_t>;

std::string temp_path(const std::string& name)
{
    return testing::TempDir() + "render_wav_test_" + std::to_string(getpid()) + "_" + name;
}

std::string write_module(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::string path = temp_path(name);
    write_whole_file(path.c_str(), bytes);
    return path;
}

// Runs render-wav with args; its exit status, or -1 if it did not exit.
int run(const std::string& args)
{
    std::string command = std::string(RENDER_WAV) + " " + args + " >/dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint32_t u32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// The samples of a 16-bit stereo 44100 Hz WAV file with the plain 44-byte
// header; an empty result fails the caller's comparison.
Samples read_wav(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b{std::istreambuf_iterator<char>(in), {}};
    EXPECT_GE(b.size(), 44u);
    if (b.size() < 44)
        return {};
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(u32(b, 4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(b, 20) & 0xffff, 1u);      // PCM
    EXPECT_EQ(u32(b, 22) & 0xffff, 2u);      // stereo
    EXPECT_EQ(u32(b, 24), 44100u);
    EXPECT_EQ(u32(b, 34) & 0xffff, 16u);     // bits
    EXPECT_EQ(u32(b, 40), b.size() - 44);
    Samples s((b.size() - 44) / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(b[44 + 2 * i] | b[45 + 2 * i] << 8);
    return s;
}

Samples reference(const std::vector<uint8_t>& bytes, size_t frames)
{
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    Samples out(frames * 2, 0);
    openmpt_module_ctl_set_integer(mod, "dither", 0);
    openmpt_module_ctl_set_text(mod, "play.at_end", "stop");
    openmpt_module_set_repeat_count(mod, 0);
    openmpt_module_read_interleaved_stereo(mod, 44100, frames, out.data());
    openmpt_module_destroy(mod);
    return out;
}

}  // namespace

TEST(RenderWav, DryRenderIsTheMixAndEachEffectMatchesItsRoutine)
{
    ToneOptions loud;
    loud.channels = 4;
    loud.wave = ToneWave::sine;
    loud.amplitude = 30000;
    std::vector<uint8_t> module = make_tone_module(2.0, loud);
    std::string module_path = write_module("tone.it", module);
    std::string dry_path = temp_path("dry.wav");
    ASSERT_EQ(run(module_path + " " + dry_path), 0);
    Samples dry = read_wav(dry_path);
    // Whole blocks until the module's end: its 2 s, then silence.
    ASSERT_EQ(dry.size(), 2u * 1024 * 87);
    EXPECT_EQ(dry, reference(module, 1024 * 87));

    // The engine is not initialised here, so each install resets its state
    // exactly as in the program while its attach is refused harmlessly.
    current_channel = 0;
    struct Case {
        const char* command;
        void (*install)();
        EngineDspProc routine;
    };
    const Case cases[] = {
        {"install_pan_sweep", install_pan_sweep, dsp_pan_sweep},
        {"install_echo", install_echo, dsp_echo},
        {"install_flanger", install_flanger, dsp_flanger},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        std::string wet_path = temp_path("wet.wav");
        ASSERT_EQ(run(module_path + " " + wet_path + " --at 0:" + c.command), 0);
        Samples wet = read_wav(wet_path);
        effects_reset_state();
        c.install();
        Samples want = dry;
        c.routine(0, 0, want.data(), uint32_t(want.size() * 2), 0);
        ASSERT_NE(want, dry);
        EXPECT_EQ(wet, want);
        std::remove(wet_path.c_str());
    }

    // A removal takes effect at the frame nearest its time, inside a block:
    // 1.0 s is frame 44100, 43.07 blocks in.
    std::string part_path = temp_path("part.wav");
    ASSERT_EQ(run(module_path + " " + part_path + " --at 0:install_echo --at 1.0:remove_echo --seconds 1.5"), 0);
    Samples part = read_wav(part_path);
    ASSERT_EQ(part.size(), 2u * 66150);
    effects_reset_state();
    install_echo();
    Samples want(dry.begin(), dry.begin() + 2 * 66150);
    dsp_echo(0, 0, want.data(), 44100 * 4, 0);
    EXPECT_EQ(part, want);
    std::remove(part_path.c_str());
    std::remove(dry_path.c_str());
    std::remove(module_path.c_str());
}

TEST(RenderWav, BadArgumentsAndFilesFailCleanly)
{
    std::string module_path = write_module("tone.it", make_tone_module(0.5));
    std::string garbage_path = write_module("garbage.it", {'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'd'});
    std::string out = temp_path("out.wav");
    const char* bad[] = {
        "",
        "ONLY_ONE",
        "--seconds",
        "--seconds -1",
        "--seconds nan",
        "--at",
        "--at 1",
        "--at x:install_echo",
        "--at 1:explode",
        "--frobnicate",
        "--loop",  // forever without --seconds
        "EXTRA",
    };
    for (const char* args : bad) {
        std::string line = args == std::string("ONLY_ONE") ? module_path : module_path + " " + out + " " + args;
        if (args[0] == '\0')
            line = "";
        EXPECT_NE(run(line), 0) << line;
    }
    EXPECT_NE(run("no/such/module.it " + out), 0);
    EXPECT_NE(run(garbage_path + " " + out), 0);
    EXPECT_NE(run(module_path + " no/such/dir/out.wav"), 0);
    EXPECT_EQ(run(module_path + " " + out + " --loop --seconds 1.25"), 0);
    EXPECT_EQ(read_wav(out).size(), 2u * 55125);
    std::remove(out.c_str());
    std::remove(module_path.c_str());
    std::remove(garbage_path.c_str());
}
