// content/pictures/menu.cpp: the overlay added over the whole view: the
// disk's title, the keypad keys of the twelve tracks and the effect keys,
// in our bitmap font on black (black adds nothing). Any thread.
#include "content/pictures/art.h"

// The overlay is stretched over the 640 x 480 view, so at that size every
// font pixel lands on whole screen pixels and the letters stay crisp.
constexpr int menu_width = 640;
constexpr int menu_height = 480;

enum MenuColour : uint8_t {
    black,
    rule,           // separating lines and the title's shadow
    heading,
    key_cap,        // outline around a key's label
    key_label,
    name,
    hint,
    title_first,    // title_first .. title_first + title_shades - 1: the title, top to bottom
};
constexpr int title_shades = 7;

static const uint8_t menu_palette[16][3] = {
    {0, 0, 0},        {70, 42, 120},    {96, 176, 196},   {128, 84, 32},
    {255, 204, 96},   {218, 226, 255},  {140, 150, 196},  {255, 250, 224},
    {255, 226, 150},  {255, 186, 104},  {250, 142, 104},  {228, 108, 140},
    {196, 92, 184},   {156, 88, 220},   {0, 0, 0},        {0, 0, 0},
};

static void fill_rect(ArtPicture& p, int x, int y, int w, int h, uint8_t index)
{
    for (int j = y; j < y + h; j++)
        for (int i = x; i < x + w; i++)
            p.pixels[size_t(j) * size_t(p.width) + size_t(i)] = index;
}

// A key as a rounded outline with its label centred inside; returns the
// cap's width.
static int draw_key(ArtPicture& p, int x, int y, const char* label)
{
    constexpr int scale = 2;
    int w = font_text_width(scale, label) + 12;
    int h = font_cap_height * scale + 8;
    fill_rect(p, x + 2, y, w - 4, 1, key_cap);
    fill_rect(p, x + 2, y + h - 1, w - 4, 1, key_cap);
    fill_rect(p, x, y + 2, 1, h - 4, key_cap);
    fill_rect(p, x + w - 1, y + 2, 1, h - 4, key_cap);
    fill_rect(p, x + 1, y + 1, 1, 1, key_cap);
    fill_rect(p, x + w - 2, y + 1, 1, 1, key_cap);
    fill_rect(p, x + 1, y + h - 2, 1, 1, key_cap);
    fill_rect(p, x + w - 2, y + h - 2, 1, 1, key_cap);
    font_draw(p, x + 6, y + 4, scale, label, key_label);
    return w;
}

ArtPicture make_menu()
{
    ArtPicture p;
    p.width = menu_width;
    p.height = menu_height;
    p.bytes_per_pixel = 1;
    p.pixels.assign(size_t(menu_width) * menu_height, black);
    p.palette.assign(&menu_palette[0][0], &menu_palette[0][0] + sizeof menu_palette);

    // Title: a shadow two pixels down and right, then the letters shaded
    // from pale gold at the top to violet at the baseline.
    const char* title = "Velvane Musik Disk";
    constexpr int title_scale = 4;
    constexpr int title_top = 22;
    int title_x = (menu_width - font_text_width(title_scale, title)) / 2;
    font_draw(p, title_x + 3, title_top + 3, title_scale, title, rule);
    font_draw(p, title_x, title_top, title_scale, title, title_first);
    constexpr int title_rows = font_cap_height * title_scale;
    for (int y = title_top; y < title_top + title_rows; y++)
        for (int x = 0; x < menu_width; x++) {
            uint8_t& px = p.pixels[size_t(y) * menu_width + size_t(x)];
            if (px == title_first)
                px = uint8_t(title_first + (y - title_top) * title_shades / title_rows);
        }
    fill_rect(p, 40, 70, menu_width - 80, 2, rule);

    // Tracks down the left, effects down the right: the middle of the
    // view stays open for the tunnel.
    constexpr int top = 88;
    constexpr int line = 26;
    struct Track {
        const char* key;
        const char* title;
    };
    static const Track tracks[12] = {
        {"0", "ambre"},  {"1", "colder"}, {"2", "Shift1"}, {"3", "MIRROR"},
        {"4", "STONE"},  {"5", "SHIFT2"}, {"6", "FROB"},   {"7", "WOBBLE"},
        {"8", "SHIFT3"}, {"9", "LUMEN"},  {"+", "DRIFT"},  {"-", "CODA"},
    };
    constexpr int left = 44;
    font_draw(p, left, top, 2, "TRACKS", heading);
    font_draw(p, left + font_text_width(2, "TRACKS") + 10, top + 7, 1, "keypad", hint);
    for (int i = 0; i < 12; i++) {
        int y = top + 26 + i * line;
        draw_key(p, left, y, tracks[i].key);
        font_draw(p, left + 32, y + 4, 2, tracks[i].title, name);
    }

    struct Effect {
        const char* title;
        const char* on;
        const char* off;
    };
    static const Effect effects[3] = {
        {"pan sweep", "F1", "F2"}, {"echo", "F3", "F4"}, {"flanger", "F5", "F6"}};
    constexpr int right = 400;
    constexpr int on_x = right + 124;
    constexpr int off_x = on_x + 40;
    font_draw(p, right, top, 2, "EFFECTS", heading);
    font_draw(p, on_x + (34 - font_text_width(1, "on")) / 2, top + 7, 1, "on", hint);
    font_draw(p, off_x + (34 - font_text_width(1, "off")) / 2, top + 7, 1, "off", hint);
    for (int i = 0; i < 3; i++) {
        int y = top + 26 + i * line;
        font_draw(p, right, y + 4, 2, effects[i].title, name);
        draw_key(p, on_x, y, effects[i].on);
        draw_key(p, off_x, y, effects[i].off);
    }
    int quit_y = top + 26 + 4 * line;
    font_draw(p, right, quit_y + 4, 2, "quit", name);
    draw_key(p, on_x, quit_y, "Esc");
    return p;
}
