// tests/tools/render/render_frame_test.cpp: render-frame, run as a program
// on the shipped pictures of the build tree: its PNG holds exactly what
// draw_scene leaves here for the same inputs, and bad arguments fail with
// one line and no file written.
#include "tests/tools/render/tool_process.h"
#include "tests/visuals/offscreen.h"

#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

static const std::string out = testing::TempDir() + "render_frame_test_" + std::to_string(getpid()) + ".png";

static int run(const std::string& args)
{
    int status = std::system((std::string(RENDER_FRAME) + " " + args + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The PNG's pixels, bottom row first, and its size.
static Pixels read_png(png_uint_32* w, png_uint_32* h)
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
    *w = image.width;
    *h = image.height;
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
        png_uint_32 w, h;
        const Pixels got = read_png(&w, &h);
        EXPECT_EQ(w, png_uint_32(view_width)) << c.args;
        EXPECT_EQ(h, png_uint_32(view_height)) << c.args;
        EXPECT_TRUE(got == draw_frame(c.f)) << c.args;
    }
    // Other sizes: render_video_test redraws its lossless frames at 320x240.
    std::remove(out.c_str());
}

TEST(RenderFrame, RefusesBadArgumentsWithOneLine)
{
    // Unknown options and missing pictures: tools_cli_test.
    const std::string err = out + ".err";
    for (std::string args : {"--time 1", "OUT --time -1", "OUT --time 4294968", "OUT --time x",
                             "OUT --level-left 65536", "OUT --tint 1,2", "OUT --tint 1,2,256", "OUT --tint 1,2,3,",
                             "OUT --background 2", "OUT --size 0x10", "OUT --size 640", "OUT --size 64x32 --icon",
                             "OUT --datas", "OUT EXTRA"}) {
        if (args.rfind("OUT", 0) == 0)
            args.replace(0, 3, out);
        const auto [status, text] = run_tool(RENDER_FRAME " " + args, err);
        EXPECT_EQ(status, 2) << args;
        EXPECT_EQ(text.rfind("render-frame: ", 0), 0u) << args << ": " << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << args << ": " << text;
        EXPECT_NE(access(out.c_str(), F_OK), 0) << args;
    }
    std::remove(err.c_str());
    // A pipe nobody writes, as a picture, is refused as a missing picture
    // is: no waiting on it, and no file.
    const std::string piped = out + ".datas";
    ASSERT_EQ(mkdir(piped.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((piped + "/menu.bmp").c_str(), 0600), 0);
    EXPECT_EQ(run(out + " --datas " + piped), 2) << "a pipe as menu.bmp";
    EXPECT_NE(access(out.c_str(), F_OK), 0) << "a pipe as menu.bmp";
    std::filesystem::remove_all(piped);
}
