// The front panel's LCD: a 256 x 64 frame buffer of 16-bit pixels drawn in
// place, its fonts, the text layout in character cells, the number
// formatters, the blanking control and a few time helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace lumiro {

constexpr int kLcdWidth = 256;
constexpr int kLcdHeight = 64;
constexpr uint16_t kLcdWhite = 0xFFFF;
constexpr uint16_t kLcdBlack = 0;

// Markers of drawText.
constexpr int kMarkDegree = 2316;    // only glyph 128
constexpr int kMarkMoreAbove = 2572; // only glyph 130
constexpr int kMarkMoreBelow = 2573; // only glyph 131
constexpr int kMarkMask = 2574;      // every character as glyph 129

// Opens, queries and maps /dev/fb0, printing its lines; ends the process
// with status 1 to 4 when it cannot.
void initFramebuffer();
// The same without ending the process: 0, or the status 1 to 4 after the
// error line.
int openFramebuffer();
// Unmaps and closes the frame buffer (tests).
void closeFramebuffer();

// Inverse video: pages set it to highlight the selected field.
void setInverseVideo(uint16_t on);
uint16_t inverseVideo();

void setPixel(int x, int y, uint16_t colour);
void fillScreen(uint16_t colour);
void clearScreen();
// The word of pixel (x, y), 0 outside the mapping.
uint16_t getPixel(int x, int y);

int drawChar(int code, int x, int y, int font);
int drawString(const char* text, int x, int y, int font);
void drawText(int font, int column, int row, int marker, const char* text, int length, int centred);
void drawNumber(long value, int x, int y, int font);
void drawDecimal(int font, int column, int row, int digits, long value, int point, int centred);
void drawHex(int font, int column, int row, int digits, unsigned long value, int centred);
void drawBrackets(int on, int columnLeft, int columnRight, int row);
// A number of the large font 3 ending with the cell `column` of row `row`,
// its decimal point in a narrow cell of its own, so that "43.0" fits where
// three characters do; the cells it takes are cleared first. The recorder
// sees it as one text at (3, column, row).
void drawTightNumber(int column, int row, const char* text);

// Writes one character to the blanking control: 0, -1 when it cannot be
// opened, -2 when the write fails.
int setLcdBlank(char c);
// Copies the boot image into the frame buffer through the shell.
void showSplash();

// Microseconds between two monotonic time stamps (see the .cpp for the cap).
uint64_t elapsedUs(const struct timespec* earlier, const struct timespec* later);
// round(100 log10(x)); kCentiDbFloor for x of 0 or less.
constexpr int kCentiDbFloor = -32768;
int linearToCentiDb(double x);

// Utilities nothing calls yet.
void fillHLine4bpp(uint8_t* buffer, int x0, int x1, int y, uint8_t colour);
void appendLogLine(const char* path, const char* text);
struct timespec deadline60s(const struct timespec* now);
struct HoldTimer {
    uint8_t held;
    uint8_t lastInput;
    struct timespec since;
};
// Raises the flag on a rising input and drops it holdUs after that.
uint8_t holdTimerStep(HoldTimer* t, uint8_t input, uint64_t holdUs);
struct BlinkToggle {
    uint8_t on;
    struct timespec last;
};
// Flips the flag each time periodUs has passed.
uint8_t blinkStep(BlinkToggle* b, uint64_t periodUs);

// Tests: every text drawn through drawText (after its markers) is passed
// to the recorder with its font, column and row. nullptr stops recording.
using TextRecorder = void (*)(int font, int column, int row, const char* text);
void setTextRecorder(TextRecorder recorder);

} // namespace lumiro
