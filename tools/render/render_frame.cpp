// tools/render/render_frame.cpp: one frame of the disk's picture, drawn by the real
// scene into a hidden GL surface and written as an RGB PNG, its inputs all
// from the command line. Its usage is what render-frame --help prints.
#include "platform/gl_surface.h"
#include "platform/message_box.h"
#include "tools/arguments.h"
#include "tools/render/output_file.h"
#include "visuals/icon.h"
#include "visuals/scene.h"

#include <png.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

static int usage()
{
    print_usage(stderr);
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
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        print_usage(stdout);
        return 0;
    }
    if (argc < 2 || argv[1][0] == '-')
        return usage();
    const char* out = argv[1];
    const char* datas = "datas";
    unsigned long left = 0, right = 0, background = 0, rgb[3] = {255, 255, 255}, size[2] = {640, 480};
    int icon = 0;
    for (int i = 2; i < argc; i += 2) {
        const char* option = argv[i];
        if (!std::strcmp(option, "--icon")) {  // the one option without a value
            icon = 1;
            --i;
            continue;
        }
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        int ok = value != nullptr;
        if (ok && !std::strcmp(option, "--time")) {
            double seconds = 0;
            ok = parse_seconds(value, 4294967.295, &seconds);  // the 32-bit millisecond clock
            inputs.clock_ms = ok ? uint32_t(std::llround(seconds * 1000)) : 0;
        } else if (ok && !std::strcmp(option, "--level-left")) {
            ok = parse_numbers(value, 0, 1, 32768, &left);
        } else if (ok && !std::strcmp(option, "--level-right")) {
            ok = parse_numbers(value, 0, 1, 32768, &right);
        } else if (ok && !std::strcmp(option, "--tint")) {
            ok = parse_numbers(value, ',', 3, 255, rgb);
        } else if (ok && !std::strcmp(option, "--background")) {
            ok = parse_numbers(value, 0, 1, 1, &background);
        } else if (ok && !std::strcmp(option, "--size")) {
            ok = parse_numbers(value, 'x', 2, 16384, size) && size[0] && size[1];
        } else if (ok && !std::strcmp(option, "--datas")) {
            datas = value;
        } else {
            ok = 0;
        }
        if (!ok) {
            std::fprintf(stderr, "render-frame: bad %s %s\n", option, value ? value : "(missing)");
            return usage();
        }
    }
    if (icon && size[0] != size[1]) {
        std::fprintf(stderr, "render-frame: an icon is square, not %lux%lu\n", size[0], size[1]);
        return usage();
    }
    width = int(size[0]);
    height = int(size[1]);
    inputs.level_left = uint32_t(left);
    inputs.level_right = uint32_t(right);
    for (int c = 0; c < 3; ++c)
        inputs.tint[c] = int32_t(rgb[c]);
    inputs.background = int32_t(background);

    // The output before any work: refused now rather than after drawing.
    output_exit_on_signals("render-frame");
    if (!output_check(&png_file, out))
        return cannot_write();
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
