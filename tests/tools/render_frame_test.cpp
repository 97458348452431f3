// tests/tools_frame_test.cpp: render-frame, run as a program
// on the shipped pictures of the build tree: its PNG holds exactly what
// draw_scene leaves here for the same inputs.
#include "tests/visuals/offscreen.h"

#include <png.h>
#include <sys/wait.h>

static const std::string out = testing::TempDir() + "render_frame_test_" + std::to_string(getpid()) + ".png";

static int run(const std::string& args)
{
    int status = std::system((std::string(RENDER_FRAME) + " " + args + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The PNG's pixels, bottom row first (none when it cannot be read).
static Pixels read_png()
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    Pixels p;
    if (png_image_begin_read_from_file(&image, out.c_str())) {
        image.format = PNG_FORMAT_RGB;
        p.resize(PNG_IMAGE_SIZE(image));
        png_image_finish_read(&image, nullptr, p.data(), -int(image.width * 3), nullptr);
    }
    return p;
}

TEST(RenderFrame, WritesTheFrameOfItsArguments)
{
    ASSERT_TRUE(use_offscreen_gl());
    ASSERT_EQ(init_scene(), 1);
    struct Case {
        const char* args;
        Frame f;
    };
    const char* all = "--time 12.3456 --level-left 700 --level-right 300 --tint 10,200,30 --background 1 "
                      "--datas datas";
    for (Case c : {Case{"", {0, 0, {255, 255, 255}, 0, {}}},
                   Case{all, {12346, 300 << 16 | 700, {10, 200, 30}, 1, {}}}}) {
        std::memcpy(c.f.textures, textures, sizeof textures);
        ASSERT_EQ(run(out + " " + c.args), 0) << c.args;
        EXPECT_TRUE(read_png() == draw_frame(c.f)) << c.args;
    }
    std::remove(out.c_str());
}
