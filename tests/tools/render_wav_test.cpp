// tests/tools_wav_test.cpp: render-wav run as a program. Its dry
// render is libopenmpt's own mix, and an effect installed at 0 s and removed
// at 1 s is the effect routine applied to exactly the first 44100 frames.
#include "player/effects.h"
#include "tests/player/reference.h"
#include "tests/platform/tool_process.h"
#include "content/modwriter/test_modules.h"
#include "tests/platform/test_system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Samples = std::vector<int16_t>;

const std::string mod = testing::TempDir() + "render_wav_test_" + std::to_string(getpid()) + ".it", wav = mod + ".wav";

// Runs render-wav with args; its exit status, or -1 if it did not exit.
int run(const std::string& args)
{
    return run_tool(RENDER_WAV " " + args, wav + ".err").first;
}

// The samples of wav, once its header is the plain one of 16-bit stereo PCM
// at 44100 Hz.
Samples read_wav()
{
    std::ifstream in(wav, std::ios::binary);
    const std::string b{std::istreambuf_iterator<char>(in), {}};
    const uint32_t data = uint32_t(b.size() < 44 ? 0 : b.size() - 44);
    auto le = [](uint32_t v, int bytes) { return std::string(reinterpret_cast<const char*>(&v), bytes); };
    EXPECT_EQ(b.substr(0, 44), "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) +
                                   le(44100, 4) + le(44100 * 4, 4) + le(4, 2) + le(16, 2) + "data" + le(data, 4));
    Samples s(data / 2);
    if (data)
        std::memcpy(s.data(), b.data() + 44, data);
    return s;
}

}  // namespace

TEST(RenderWav, DryRenderIsTheMixEachCommandActsFromItsFrameAndBadArgumentsFail)
{
    ToneOptions loud;
    loud.channels = 4;
    loud.wave = ToneWave::sine;
    loud.amplitude = 30000;
    const std::vector<uint8_t> module = make_tone_module(2.0, loud);
    ASSERT_TRUE(test_write_file(mod.c_str(), module));
    // Without --seconds: whole blocks until the module's end, its 2 s.
    ASSERT_EQ(run(mod + " " + wav), 0);
    const Samples dry = read_wav();
    Samples want(2 * 1024 * 87);
    openmpt_module* reference = reference_module(module, MUSIC_RAMP);
    openmpt_module_read_interleaved_stereo(reference, 44100, 1024 * 87, want.data());
    openmpt_module_destroy(reference);
    ASSERT_TRUE(dry == want);

    // 1.0 s is frame 44100, 43.07 blocks in. The engine is not initialised
    // here, so each install resets its state as in the program while its
    // attach is refused harmlessly.
    struct Case { const char* name; void (*install)(uint32_t channel); EngineDspProc routine; };
    for (Case c : {Case{"pan_sweep", install_pan_sweep, dsp_pan_sweep}, Case{"echo", install_echo, dsp_echo},
                   Case{"flanger", install_flanger, dsp_flanger}}) {
        const std::string at = std::string(" --at 0:install_") + c.name + " --at 1.0:remove_" + c.name;
        ASSERT_EQ(run(mod + " " + wav + at + " --seconds 1.5"), 0) << c.name;
        effects_reset_state();
        c.install(0);
        want.assign(dry.begin(), dry.begin() + 2 * 66150);
        c.routine(0, 0, want.data(), 44100 * 4, 0);
        EXPECT_TRUE(read_wav() == want) << c.name;
    }

    // Bad arguments and outputs: one line, status 2. (Unknown options and
    // a missing module: tools_cli_test.)
    for (const std::string& args :
         {mod + " " + wav + " --seconds -1", mod + " " + wav + " --seconds nan", mod + " " + wav + " --seconds",
          mod + " " + wav + " --at 1", mod + " " + wav + " --at x:install_echo", mod + " " + wav + " --at 1:explode",
          mod + " " + wav + " --loop", mod + " " + wav + " EXTRA", std::string(), mod, mod + " no/such/dir/out.wav"}) {
        const auto [status, text] = run_tool(RENDER_WAV " " + args, wav + ".err");
        EXPECT_EQ(status, 2) << args;
        EXPECT_EQ(text.rfind("render-wav: ", 0), 0u) << args << ": " << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << args << ": " << text;
    }
    std::remove((wav + ".err").c_str());
    std::remove(wav.c_str());
    std::remove(mod.c_str());
}
