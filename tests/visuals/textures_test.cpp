// Tests for visuals/textures: slot order and failures, and level 0 read back
// as the picture's own pixels.
#include "visuals/textures.h"

#include "image/bmp_reader.h"
#include "offscreen.h"
#include "tests/error_popups_guard.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

static GLint level_size(GLint level, GLenum what)
{
    GLint v = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &v);
    return v;
}

TEST(Textures, InitFillsTheSlotsInOrderAndTriesAllFour)
{
    namespace fs = std::filesystem;
    ASSERT_TRUE(use_offscreen_gl());
    ErrorPopupsGuard quiet(0);
    const char* names[4] = {"velvane1.bmp", "velvane2.bmp", "rotomap.bmp", "menu.bmp"};
    const fs::path dir = testing::TempDir() + "visuals_" + std::to_string(getpid());
    for (int missing = 0; missing <= 4; ++missing) {   // 0: none
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (int slot = 1; slot <= 4; ++slot)
            if (slot != missing)
                fs::rename(write_picture(4, 2, noise(4, 2, slot)), dir / names[slot - 1]);
        std::memset(textures, 0, sizeof textures);
        EXPECT_EQ(init_scene_from(dir.string().c_str()), missing == 0) << "case slot " << missing << " missing";
        GLuint last = 0;
        for (int slot = 1; slot <= 4; ++slot) {
            EXPECT_EQ(textures[slot - 1] == 0, slot == missing) << "case slot " << missing << " missing, slot " << slot;
            EXPECT_TRUE(slot == missing || textures[slot - 1] > last) << "case slot " << missing << " missing, order";
            last = std::max(last, textures[slot - 1]);
        }
    }
    fs::remove_all(dir);
}

TEST(Textures, LevelZeroIsThePictureUpright)
{
    ASSERT_TRUE(use_offscreen_gl());
    struct Case { int w, h; bool top_down; };
    // Odd widths need rows packed to the byte; sizes that are not powers of
    // two must not come back scaled.
    for (Case c : {Case{3, 5, false}, Case{5, 3, true}, Case{640, 480, false}}) {
        const std::string name = "case " + std::to_string(c.w) + " x " + std::to_string(c.h);
        Pixels want = noise(c.w, c.h, uint32_t(c.w + c.h)), got(want.size(), 0xAA);
        ASSERT_EQ(load_texture(2, write_picture(c.w, c.h, want, c.top_down).c_str()), 1) << name;
        ASSERT_EQ(level_size(0, GL_TEXTURE_WIDTH), c.w) << name;
        ASSERT_EQ(level_size(0, GL_TEXTURE_HEIGHT), c.h) << name;
        EXPECT_GT(level_size(1, GL_TEXTURE_WIDTH), 0) << name << ": no mipmaps";
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, got.data());
        EXPECT_TRUE(got == want) << name;
        GLint unpack;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpack);
        EXPECT_EQ(unpack, 4) << name << ": the unpack alignment not left as GL's";
    }
}
