// LCD frame buffer, fonts, text layout and number formatters.
#include "display/lcd.h"

#include "display/fonts.h"
#include "platform/clock.h"
#include "platform/io.h"
#include "platform/paths.h"
#include "platform/programs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/fb.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace lumiro {

namespace {

constexpr const char* kFbDevice = "/dev/fb0";
constexpr const char* kBlankControl = "/sys/class/graphics/fb0/blank";
constexpr const char* kSplashCommand = "cat /usr/local/imgs/radio.bmp > /dev/fb0";
constexpr int kMaxText = 128;

struct LcdState {
    int fd = -1;
    uint16_t* fb = nullptr;
    size_t size = 0; // bytes mapped
    uint16_t inverse = 0;
    TextRecorder recorder = nullptr;
};

LcdState& st()
{
    static LcdState s;
    return s;
}

uint16_t foreground()
{
    return st().inverse ? kLcdBlack : kLcdWhite;
}

uint16_t background()
{
    return st().inverse ? kLcdWhite : kLcdBlack;
}

// Draws `text` with its last character in `column` of the font's cells.
void drawRightAligned(int font, int column, int row, const char* text, int centred)
{
    int len = static_cast<int>(strlen(text));
    drawText(font, column - len + 1, row, 0, text, len, centred);
}

} // namespace

int openFramebuffer()
{
    LcdState& s = st();
    s.fd = ioOpen(kFbDevice, O_RDWR);
    if (s.fd < 0) {
        perror("Error: cannot open framebuffer device");
        return 1;
    }
    printf("The framebuffer device was opened successfully.\n");
    struct fb_fix_screeninfo finfo;
    struct fb_var_screeninfo vinfo;
    memset(&finfo, 0, sizeof finfo);
    memset(&vinfo, 0, sizeof vinfo);
    if (ioIoctl(s.fd, FBIOGET_FSCREENINFO, &finfo) < 0) {
        perror("Error reading fixed information");
        return 2;
    }
    if (ioIoctl(s.fd, FBIOGET_VSCREENINFO, &vinfo) < 0) {
        perror("Error reading variable information");
        return 3;
    }
    printf("%dx%d, %dbpp\n", vinfo.xres, vinfo.yres, vinfo.bits_per_pixel);
    s.size = static_cast<size_t>(vinfo.xres) * vinfo.yres * vinfo.bits_per_pixel / 8;
    void* p = ioMap(s.fd, s.size, PROT_READ | PROT_WRITE, MAP_SHARED, 0);
    if (p == MAP_FAILED || s.size == 0) {
        perror("Error: failed to map framebuffer device to memory");
        s.size = 0;
        return 4;
    }
    s.fb = static_cast<uint16_t*>(p);
    printf("The framebuffer device was mapped to memory successfully.\n");
    fflush(stdout);
    return 0;
}

void initFramebuffer()
{
    int r = openFramebuffer();
    if (r != 0)
        exit(r);
}

void closeFramebuffer()
{
    LcdState& s = st();
    if (s.fb)
        ioUnmap(s.fb, s.size);
    if (s.fd >= 0)
        ioClose(s.fd);
    s.fb = nullptr;
    s.size = 0;
    s.fd = -1;
}

void setInverseVideo(uint16_t on)
{
    st().inverse = on;
}

uint16_t inverseVideo()
{
    return st().inverse;
}

void setPixel(int x, int y, uint16_t colour)
{
    if (x < 0 || y < 0 || x >= kLcdWidth || y >= kLcdHeight)
        return;
    // The pixel's word is x + 256 y whatever the device reports: a word past
    // a smaller mapping is dropped.
    size_t word = static_cast<size_t>(x) + static_cast<size_t>(kLcdWidth) * y;
    if (!st().fb || (word + 1) * 2 > st().size)
        return;
    st().fb[word] = colour;
}

uint16_t getPixel(int x, int y)
{
    if (x < 0 || y < 0 || x >= kLcdWidth || y >= kLcdHeight)
        return 0;
    size_t word = static_cast<size_t>(x) + static_cast<size_t>(kLcdWidth) * y;
    if (!st().fb || (word + 1) * 2 > st().size)
        return 0;
    return st().fb[word];
}

void fillScreen(uint16_t colour)
{
    for (int y = 0; y < kLcdHeight; y++)
        for (int x = 0; x < kLcdWidth; x++)
            setPixel(x, y, colour);
}

void clearScreen()
{
    fillScreen(0);
}

int drawChar(int code, int x, int y, int font)
{
    const LcdFont* f = lcdFont(font);
    if (!f || code < kGlyphFirst || code > kGlyphLast)
        return 0;
    int i = code - kGlyphFirst;
    if (f->offsets[i] == kNoGlyph)
        return 0;
    int w = f->widths[i];
    int stride = (w + 7) / 8;
    const uint8_t* rows = f->bits + f->offsets[i];
    uint16_t fg = foreground(), bg = background();
    // An underscore lays its line over what is there.
    bool opaque = code != '_';
    for (int r = 0; r < f->height; r++) {
        for (int c = 0; c < w; c++) {
            bool on = rows[r * stride + c / 8] & (0x80 >> (c % 8));
            if (on)
                setPixel(x + c, y + r, fg);
            else if (opaque)
                setPixel(x + c, y + r, bg);
        }
    }
    return font <= 3 ? w + 1 : w - 3;
}

int drawString(const char* text, int x, int y, int font)
{
    int total = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
        int adv = drawChar(*p, x, y, font);
        total += adv;
        switch (font) {
        case 1: x += 8; break;
        case 3: x += 16; break;
        case 5: x += 32; break;
        default: x += adv; break;
        }
    }
    return total;
}

void drawText(int font, int column, int row, int marker, const char* text, int length, int centred)
{
    char buf[kMaxText + 1];
    int n = 0;
    int limit = std::min(std::max(length, 0), kMaxText);
    while (n < limit && text && text[n]) {
        buf[n] = text[n];
        n++;
    }
    buf[n] = 0;
    switch (marker) {
    case kMarkDegree: buf[0] = static_cast<char>(128); buf[1] = 0; break;
    case kMarkMoreAbove: buf[0] = static_cast<char>(130); buf[1] = 0; break;
    case kMarkMoreBelow: buf[0] = static_cast<char>(131); buf[1] = 0; break;
    case kMarkMask:
        for (int i = 0; i < n; i++)
            buf[i] = static_cast<char>(129);
        break;
    default: break;
    }
    int x = 0, y = 0;
    switch (font) {
    case 1:
        y = (row - 1) * 16;
        x = centred == 1 ? column * 8 + 36 : (column - 1) * 8;
        break;
    case 3:
        x = (column - 1) * 16;
        y = (row - 1) * 16;
        break;
    case 5:
        x = column * 32 + 12;
        y = (row - 1) * 64;
        break;
    default: break;
    }
    if (st().recorder)
        st().recorder(font, column, row, buf);
    drawString(buf, x, y, font);
}

void drawNumber(long value, int x, int y, int font)
{
    char buf[32];
    if (value < 0)
        snprintf(buf, sizeof buf, "%li", value);
    else
        snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(value));
    drawString(buf, x, y, font);
}

void drawDecimal(int font, int column, int row, int digits, long value, int point, int centred)
{
    char num[48];
    digits = std::clamp(digits, 1, 20);
    unsigned long mag = value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    snprintf(num, sizeof num, "%0*lu", digits, mag);
    char out[56];
    int len = static_cast<int>(strlen(num));
    int o = 0;
    if (value < 0)
        out[o++] = '-';
    for (int i = 0; i < len; i++) {
        if (point > 0 && point < len && i == len - point)
            out[o++] = '.';
        out[o++] = num[i];
    }
    out[o] = 0;
    drawRightAligned(font, column, row, out, centred);
}

void drawHex(int font, int column, int row, int digits, unsigned long value, int centred)
{
    char out[24];
    if (digits == 0)
        digits = value < 0x100 ? 2 : value < 0x10000 ? 4 : value < 0x1000000 ? 6 : 8;
    switch (digits) {
    case 2: snprintf(out, sizeof out, "%02lX", value); break;
    case 4: snprintf(out, sizeof out, "%04lX", value); break;
    case 6: snprintf(out, sizeof out, "%06lX", value); break;
    case 8: snprintf(out, sizeof out, "%08lX", value); break;
    default: snprintf(out, sizeof out, "%016lX", value); break;
    }
    drawRightAligned(font, column, row, out, centred);
}

void drawTightNumber(int column, int row, const char* text)
{
    constexpr int kCell = 16, kPointCell = 6, kHeight = 32;
    int width = 0;
    for (const char* p = text; *p; p++)
        width += *p == '.' ? kPointCell : kCell;
    int right = column * kCell, y = (row - 1) * 16;
    int x = right - width;
    for (int yy = y; yy < y + kHeight; yy++)
        for (int xx = x; xx < right; xx++)
            setPixel(xx, yy, background());
    if (st().recorder)
        st().recorder(3, column, row, text);
    for (const char* p = text; *p; p++) {
        if (*p == '.') {
            // The point as the font draws it: 2 x 4 pixels on the baseline.
            for (int yy = y + 22; yy < y + 26; yy++)
                for (int xx = x + 2; xx < x + 4; xx++)
                    setPixel(xx, yy, foreground());
            x += kPointCell;
        } else {
            drawChar(static_cast<unsigned char>(*p), x, y, 3);
            x += kCell;
        }
    }
}

void drawBrackets(int on, int columnLeft, int columnRight, int row)
{
    drawText(1, columnLeft, row, 0, on ? "[" : " ", 1, 0);
    drawText(1, columnRight, row, 0, on ? "]" : " ", 1, 0);
}

int setLcdBlank(char c)
{
    int fd = open(sysPath(kBlankControl).c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        printf("ERROR: could not open %c\n", c);
        return -1;
    }
    ssize_t n = write(fd, &c, 1);
    close(fd);
    if (n != 1) {
        printf("ERROR: write %c failed\n", c);
        return -2;
    }
    return 0;
}

void showSplash()
{
    runShellLine(kSplashCommand);
}

uint64_t elapsedUs(const struct timespec* earlier, const struct timespec* later)
{
    int64_t a = static_cast<int64_t>(earlier->tv_sec) * 1000000000LL + earlier->tv_nsec;
    int64_t b = static_cast<int64_t>(later->tv_sec) * 1000000000LL + later->tv_nsec;
    uint64_t ns = static_cast<uint64_t>(b >= a ? b - a : a - b);
    uint64_t us = ns / 1000;
    // Past half an hour only the sub-second part still counts.
    if (ns / 1000000000ULL > 1800)
        return 1799999999ULL + us % 1000000ULL;
    return us;
}

int linearToCentiDb(double x)
{
    // log10 of 0 or less has no finite value.
    if (!(x > 0))
        return kCentiDbFloor;
    return static_cast<int>(std::lround(100.0 * std::log10(x)));
}

void fillHLine4bpp(uint8_t* buffer, int x0, int x1, int y, uint8_t colour)
{
    if (!buffer || y < 0 || y >= kLcdHeight)
        return;
    uint8_t both = static_cast<uint8_t>((colour & 0x0F) | (colour & 0x0F) << 4);
    x0 = std::max(x0, 0);
    x1 = std::min(x1, kLcdWidth - 1);
    for (int x = x0 / 2; x <= x1 / 2 && x0 <= x1; x++)
        buffer[y * 128 + x] = both;
}

void appendLogLine(const char* path, const char* text)
{
    FILE* f = fopen(sysPath(path).c_str(), "a");
    if (!f)
        return;
    if (text && *text) {
        time_t now = clockWallSeconds();
        struct tm tmv;
        localtime_r(&now, &tmv);
        char stamp[40];
        snprintf(stamp, sizeof stamp, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d ", tmv.tm_year + 1900, tmv.tm_mon + 1,
                 tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
        fprintf(f, "%s %s \n", stamp, text);
    }
    fclose(f);
}

struct timespec deadline60s(const struct timespec* now)
{
    struct timespec d = *now;
    d.tv_sec += 60;
    while (d.tv_nsec >= 1000000000L) {
        d.tv_nsec -= 1000000000L;
        d.tv_sec++;
    }
    return d;
}

uint8_t holdTimerStep(HoldTimer* t, uint8_t input, uint64_t holdUs)
{
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    if (input && !t->lastInput) {
        t->held = 1;
        t->since = now;
    } else if (t->held && elapsedUs(&t->since, &now) >= holdUs) {
        t->held = 0;
    }
    t->lastInput = input;
    return t->held;
}

uint8_t blinkStep(BlinkToggle* b, uint64_t periodUs)
{
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    if (elapsedUs(&b->last, &now) >= periodUs) {
        b->on = !b->on;
        b->last = now;
    }
    return b->on;
}

void setTextRecorder(TextRecorder recorder)
{
    st().recorder = recorder;
}

} // namespace lumiro
