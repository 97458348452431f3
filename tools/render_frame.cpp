// tools/render_frame.cpp: one frame of the disk's picture, drawn by the real
// scene into a hidden GL surface and written as an RGB PNG, its inputs all
// from the command line. Its usage is what render-frame --help prints.
#include "platform/gl_surface.h"
#include "platform/message_box.h"
#include "platform/output_file.h"
#include "tools/arguments.h"
#include "visuals/icon.h"
#include "visuals/scene.h"
#include "visuals/textures.h"

#include <png.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static SceneInputs inputs;  // the program's start: clock 0, silence, white tint
static int width = 640, height = 480;
static std::vector<uint8_t> frame_rgb;   // bottom row first
static OutputFile png_file;

// The one statement of the usage: the README and the manual page show it
// too, and a test holds them to it.
static void print_usage(FILE* to)
{
    std::fprintf(to, "usage: render-frame OUT.png [--time SECONDS] [--level-left N] [--level-right N]\n"
                     "                    [--tint R,G,B] [--background 0|1] [--size WxH] [--datas DIR] [--icon]\n");
}

// One line on standard error; status 2, that of a wrong command line.
static int usage(const char* why)
{
    std::fprintf(stderr, "render-frame: %s\n", why);
    return 2;
}

// One line naming the file and the reason; status 2, as for a bad argument.
static int cannot_write()
{
    std::fprintf(stderr, "render-frame: cannot write '%s': %s\n", png_file.path.c_str(), output_reason(png_file));
    output_discard(&png_file);
    return 2;
}

static int box_to_stderr(void*, const char* text, const char* caption, uint32_t)
{
    std::fprintf(stderr, "render-frame: %s: %s\n", caption, text);
    return IDOK;
}

// Encoded whole in memory (a frame is a few hundred kilobytes at most),
// then put in place.
static int write_png()
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    // A negative stride: the rows come bottom first.
    const png_int_32 stride = -width * 3;
    png_alloc_size_t size = 0;
    std::vector<uint8_t> png;
    if (png_image_write_get_memory_size(image, size, 0, frame_rgb.data(), stride, nullptr)) {
        png.resize(size);
        png_image_write_to_memory(&image, png.data(), &size, 0, frame_rgb.data(), stride, nullptr);
    }
    if (image.warning_or_error & PNG_IMAGE_ERROR) {
        std::fprintf(stderr, "render-frame: %s: %s\n", png_file.path.c_str(), image.message);
        return 1;
    }
    if (!output_open(&png_file) || !output_write(&png_file, png.data(), size) || !output_stage(&png_file) ||
        !output_commit(&png_file))
        return cannot_write();
    output_discard(&png_file);
    return 0;
}

int main(int argc, char** argv)
{
    const char* out = nullptr;
    const char* datas = "datas";
    unsigned long left = 0, right = 0, background = 0, rgb[3] = {255, 255, 255}, size[2] = {640, 480};
    int icon = 0;
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        int ok = 1;
        if (!std::strcmp(option, "--icon")) {  // the one option without a value
            icon = 1;
            continue;
        } else if (!std::strcmp(option, "--time")) {
            double seconds = 0;
            ok = parse_seconds(value, 4294967.295, &seconds);  // the 32-bit millisecond clock
            inputs.clock_ms = ok ? uint32_t(std::llround(seconds * 1000)) : 0;
        } else if (!std::strcmp(option, "--level-left")) {
            ok = parse_numbers(value, 0, 1, 32768, &left);
        } else if (!std::strcmp(option, "--level-right")) {
            ok = parse_numbers(value, 0, 1, 32768, &right);
        } else if (!std::strcmp(option, "--tint")) {
            ok = parse_numbers(value, ',', 3, 255, rgb);
        } else if (!std::strcmp(option, "--background")) {
            ok = parse_numbers(value, 0, 1, 1, &background);
        } else if (!std::strcmp(option, "--size")) {
            ok = parse_numbers(value, 'x', 2, 16384, size) && size[0] && size[1];
        } else if (!std::strcmp(option, "--datas")) {
            datas = value;
        } else if (int status = tool_other_argument("render-frame", option, print_usage); status >= 0) {
            return status;
        } else if (out) {
            return usage((std::string("unexpected argument '") + option + "': one output file only").c_str());
        } else {
            out = option;
            continue;
        }
        // Here option is one that takes a value.
        if (++i == argc)
            return usage((std::string(option) + " needs a value").c_str());
        if (!ok)
            return usage((std::string("bad ") + option + " '" + value + "'").c_str());
    }
    if (!out)
        return usage("needs an output file (see render-frame --help)");
    if (icon && size[0] != size[1])
        return usage(("an icon is square, not " + std::to_string(size[0]) + "x" + std::to_string(size[1])).c_str());
    width = int(size[0]);
    height = int(size[1]);
    inputs.level = uint32_t(left) | uint32_t(right) << 16;  // packed as the engine packs it
    for (int c = 0; c < 3; ++c)
        inputs.tint[c] = int32_t(rgb[c]);
    inputs.background = int32_t(background);

    // The output and the inputs before any work: refused now rather than
    // after drawing.
    output_exit_on_signals("render-frame");
    if (!output_check(&png_file, out))
        return cannot_write();
    for (const char* picture : picture_files) {
        if (tool_input_missing("render-frame", std::string(datas) + "/" + picture)) {
            output_discard(&png_file);
            return 2;
        }
    }
    // A tool never waits on a box: the picture reader's messages go to stderr.
    platform_set_message_box_hook(box_to_stderr);
    // The surface ends with the process. (Closing it first unloads the GL
    // driver, and the leak checker can then no longer name the driver's own
    // one-time allocations.)
    if (!platform_open_offscreen_gl(width, height))
        return 1;
    if (!init_scene_from(datas)) {
        std::fprintf(stderr, "render-frame: the four pictures of %s could not all be read\n", datas);
        return 1;
    }
    frame_rgb.resize(size_t(width) * height * 3);
    platform_set_swap_hook([] { scene_read_frame(width, height, frame_rgb.data()); });
    if (icon)
        draw_icon(width, inputs.tint);
    else
        draw_scene(inputs);
    return write_png();
}
