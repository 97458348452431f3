// visuals/textures.cpp: pictures into GL textures, once at start-up. UI
// thread, GL context current.
#include "visuals/textures.h"

#include "image/bmp_reader.h"

#include <GL/glu.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

GLuint textures[4];      // written by load_texture (UI), read by the frame
GLuint blank_texture;    // written by start-up (UI), never bound by a frame

int init_scene()
{
    return init_scene_from("datas");
}

int init_scene_from(const char* folder)
{
    glClearColor(0, 0, 0, 0);
    glEnable(GL_TEXTURE_2D);
    int all = 1;
    for (int slot = 1; slot <= 4; ++slot) {
        char path[4096];
        int n = std::snprintf(path, sizeof path, "%s/%s", folder, picture_files[slot - 1]);
        if (n < 0 || size_t(n) >= sizeof path || !load_texture(slot, path))
            all = 0;
    }
    return all;
}

// Reverses the row order in place, turning a top-down picture bottom-up.
static void flip_rows(uint8_t* pixels, size_t row_bytes, int rows)
{
    for (int top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = pixels + size_t(top) * row_bytes;
        uint8_t* b = pixels + size_t(bottom) * row_bytes;
        for (size_t i = 0; i < row_bytes; ++i) {
            uint8_t t = a[i];
            a[i] = b[i];
            b[i] = t;
        }
    }
}

int load_texture(int slot, const char* picture_path)
{
    if (slot < 1 || slot > 4)
        return 0;
    ImageRecord* image = load_bmp_image(picture_path);
    if (!image)
        return 0;
    // A negative height would make GL refuse the upload and leave a texture
    // with no picture; the rows come top first then.
    int height = image->height;
    if (height < 0) {
        height = -height;
        flip_rows(image->pixels, size_t(image->width) * 3, height);
    }
    glGenTextures(1, &textures[slot - 1]);
    glBindTexture(GL_TEXTURE_2D, textures[slot - 1]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    // Rows are packed with nothing between them: any width reads right at
    // an alignment of 1. GLU reads the same setting.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, image->width, height, GL_RGB, GL_UNSIGNED_BYTE, image->pixels);
    // GLU scaled the picture to powers of two; where GL takes its own size,
    // level 0 (the only one the linear filter samples) is the picture as is.
    glTexImage2D(GL_TEXTURE_2D, 0, 3, image->width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, image->pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    std::free(image->pixels);
    std::free(image);
    return 1;
}

GLuint make_blank_texture()
{
    void* zeros = std::calloc(128 * 128 * 4, 1);
    if (!zeros)
        return 0;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, 128, 128, 0, GL_RGBA, GL_UNSIGNED_BYTE, zeros);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    std::free(zeros);
    return name;
}
