// fbshot: renders the LCD of the sandbox CORVANE_ROOT names as a PNG.
//
//   fbshot OUT.png [--scale N]
//
// Each pixel becomes an N x N block (4 by default): 0xFFFF white, 0 black,
// other words as RGB565. While the blanking control holds "1" the screen is
// drawn grey, as the panel shows no picture then.
#include "platform/init.h"
#include "platform/paths.h"
#include "sim/simFb.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

int usage()
{
    fprintf(stderr, "usage: fbshot OUT.png [--scale N]\n");
    return 2;
}

bool readFile(const std::string& path, std::string* out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void rgbOf(uint16_t w, uint8_t* rgb)
{
    if (w == 0xFFFF) {
        rgb[0] = rgb[1] = rgb[2] = 255;
        return;
    }
    uint8_t r = (w >> 11) & 0x1F, g = (w >> 5) & 0x3F, b = w & 0x1F;
    rgb[0] = static_cast<uint8_t>((r << 3) | (r >> 2));
    rgb[1] = static_cast<uint8_t>((g << 2) | (g >> 4));
    rgb[2] = static_cast<uint8_t>((b << 3) | (b >> 2));
}

int writePng(const char* path, const std::vector<uint8_t>& rgb, int width, int height)
{
    FILE* f = fopen(path, "wb");
    if (!f) {
        perror(path);
        return 1;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        fprintf(stderr, "fbshot: cannot write %s\n", path);
        return 1;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++)
        png_write_row(png, const_cast<png_bytep>(&rgb[static_cast<size_t>(y) * width * 3]));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (fclose(f) != 0) {
        perror(path);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* out = nullptr;
    int scale = 4;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--scale") && i + 1 < argc) {
            char* end;
            long v = strtol(argv[++i], &end, 10);
            if (*end || v < 1 || v > 64)
                return usage();
            scale = static_cast<int>(v);
        } else if (!out && argv[i][0] != '-') {
            out = argv[i];
        } else {
            return usage();
        }
    }
    if (!out)
        return usage();
    platformInit();
    std::string fb, blank;
    if (!readFile(simFbPath(), &fb) || fb.size() < kSimFbSize) {
        fprintf(stderr, "fbshot: no frame buffer at %s\n", simFbPath().c_str());
        return 1;
    }
    bool blanked = readFile(sysPath("/sys/class/graphics/fb0/blank"), &blank) && !blank.empty() && blank[0] == '1';
    int w = kSimFbWidth * scale, h = kSimFbHeight * scale;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            if (blanked) {
                p[0] = p[1] = p[2] = 128;
                continue;
            }
            size_t i = 2 * (static_cast<size_t>(y / scale) * kSimFbWidth + x / scale);
            uint16_t word = static_cast<uint16_t>(static_cast<uint8_t>(fb[i]) | static_cast<uint8_t>(fb[i + 1]) << 8);
            rgbOf(word, p);
        }
    }
    return writePng(out, rgb, w, h);
}
