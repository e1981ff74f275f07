// Frame buffer, fonts, text layout, number formatters and the small helpers.
#include "display/fonts.h"
#include "display/lcd.h"
#include "display/tests/displayTestSupport.h"
#include "sim/simFb.h"

#include <fstream>
#include <unistd.h>

using namespace lumiro;

namespace {

using LcdTest = DisplayTest;

// The rows of a glyph as bytes of its first column byte.
std::vector<uint8_t> glyphRows(int font, int code)
{
    const LcdFont* f = lcdFont(font);
    int i = code - kGlyphFirst;
    int stride = (f->widths[i] + 7) / 8;
    std::vector<uint8_t> rows;
    for (int r = 0; r < f->height; r++)
        rows.push_back(f->bits[f->offsets[i] + r * stride]);
    return rows;
}

} // namespace

TEST(Fonts, LayoutOfTheFiveFonts)
{
    const int heights[] = {16, 16, 32, 26, 48};
    for (int font = 1; font <= 5; font++) {
        const LcdFont* f = lcdFont(font);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->height, heights[font - 1]);
        for (int code : {int('A'), int('0'), 128, 129, 130, 131})
            EXPECT_NE(f->offsets[code - kGlyphFirst], kNoGlyph) << font << " " << code;
        EXPECT_EQ(f->offsets[127 - kGlyphFirst], kNoGlyph);
        EXPECT_EQ(f->offsets[132 - kGlyphFirst], kNoGlyph);
    }
    EXPECT_EQ(lcdFont(0), nullptr);
    EXPECT_EQ(lcdFont(6), nullptr);
    // Fixed fonts 1, 3 and 5; fonts 2 and 4 follow the ink.
    EXPECT_EQ(lcdFont(1)->widths['i' - kGlyphFirst], 8);
    EXPECT_EQ(lcdFont(3)->widths['A' - kGlyphFirst], 16);
    EXPECT_EQ(lcdFont(5)->widths['A' - kGlyphFirst], 24);
    EXPECT_LT(lcdFont(2)->widths['i' - kGlyphFirst], lcdFont(2)->widths['W' - kGlyphFirst]);
    EXPECT_LT(lcdFont(4)->widths['i' - kGlyphFirst], lcdFont(4)->widths['W' - kGlyphFirst]);
}

TEST(Fonts, GoldenGlyphs)
{
    // Font 1 "H" and "_", the degree sign and the two list arrows, top
    // bit leftmost.
    EXPECT_EQ(glyphRows(1, 'H'), (std::vector<uint8_t>{0x00, 0x00, 0x42, 0x42, 0x42, 0x42, 0x7E, 0x42, 0x42, 0x42,
                                                       0x42, 0x42, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(glyphRows(1, '_'), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7E, 0, 0}));
    EXPECT_EQ(glyphRows(1, 128), (std::vector<uint8_t>{0, 0, 0, 0x38, 0x6C, 0x44, 0x6C, 0x38, 0, 0, 0, 0, 0, 0, 0,
                                                       0}));
    EXPECT_EQ(glyphRows(1, 130), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0x10, 0x38, 0x7C, 0xFE, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(glyphRows(1, 131), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xFE, 0x7C, 0x38, 0x10, 0, 0, 0, 0, 0, 0}));
    // Font 5 doubles font 4's source: every row comes twice.
    std::vector<uint8_t> big = glyphRows(5, 'H');
    for (size_t r = 0; r < big.size(); r += 2)
        EXPECT_EQ(big[r], big[r + 1]) << r;
}

TEST_F(LcdTest, CharactersAdvanceByFontAndMissingGlyphsDrawNothing)
{
    struct Case {
        int code, font, advance;
    };
    const int w4 = lcdFont(4)->widths['W' - kGlyphFirst];
    for (Case c : {Case{'H', 1, 9}, Case{'H', 3, 17}, Case{'H', 5, 21}, Case{'W', 4, w4 - 3}, Case{31, 1, 0},
                   Case{133, 1, 0}, Case{127, 1, 0}, Case{'H', 0, 0}, Case{'H', 6, 0}})
        EXPECT_EQ(drawChar(c.code, 0, 0, c.font), c.advance) << c.code << " font " << c.font;
    clearScreen();
    EXPECT_EQ(drawString("HH", 0, 0, 1), 18);
    EXPECT_EQ(getPixel(8 + 1, 2), kLcdWhite); // second H starts 8 pixels on
}

TEST_F(LcdTest, TextPastTheRightEdgeIsClippedWithoutWrapping)
{
    clearScreen();
    drawString("HHHH", 240, 0, 1);
    EXPECT_EQ(getPixel(241, 2), kLcdWhite);
    EXPECT_EQ(getPixel(249, 2), kLcdWhite);
    std::vector<uint16_t> fb = frame();
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 16; x++)
            EXPECT_EQ(fb[x + 256 * y], 0) << x << "," << y;
    // Off the screen in any direction: nothing written.
    setPixel(-1, 0, kLcdWhite);
    setPixel(0, 64, kLcdWhite);
    setPixel(256, 0, kLcdWhite);
    fb = frame();
    EXPECT_EQ(fb[0], 0);
    EXPECT_EQ(fb[256], 0);
}

TEST_F(LcdTest, UnderscoreOverlaysAndInverseVideoSwapsColours)
{
    clearScreen();
    drawChar('H', 0, 0, 1);
    drawChar('_', 0, 0, 1);
    EXPECT_EQ(getPixel(1, 2), kLcdWhite);  // the H stays
    EXPECT_EQ(getPixel(2, 13), kLcdWhite); // the line lies over it
    setInverseVideo(1);
    drawChar('H', 16, 0, 1);
    EXPECT_EQ(getPixel(16, 0), kLcdWhite); // background
    EXPECT_EQ(getPixel(17, 2), kLcdBlack); // ink
}

TEST_F(LcdTest, TextCellsMarkersAndNumberFields)
{
    clearScreen();
    drawText(1, 1, 1, 0, "H", 1, 1); // centred: x = 1 * 8 + 36
    EXPECT_EQ(getPixel(44 + 1, 2), kLcdWhite);
    EXPECT_EQ(getPixel(1, 2), 0);
    drawText(1, 3, 2, 0, "H", 1, 0); // x = 16, y = 16
    EXPECT_EQ(getPixel(16 + 1, 16 + 2), kLcdWhite);

    startRecordingTexts();
    drawText(1, 5, 4, kMarkDegree, "xyz", 3, 0);
    drawText(1, 20, 2, kMarkMoreAbove, " ", 1, 0);
    drawText(1, 20, 4, kMarkMoreBelow, " ", 1, 0);
    drawText(1, 2, 3, kMarkMask, "1234", 4, 0);
    drawText(1, 1, 1, 0, "ABCDEF", 3, 0);
    drawHex(1, 10, 1, 0, 0x1234, 0);
    drawHex(1, 10, 2, 0, 0xAB, 0);
    drawHex(1, 10, 3, 8, 0x1234, 0);
    drawDecimal(1, 10, 4, 5, 1025, 1, 0);
    drawDecimal(1, 30, 4, 3, -5, -1, 0);
    drawDecimal(1, 30, 3, 3, 12, 3, 0);
    drawBrackets(1, 4, 9, 2);
    stopRecordingTexts();
    std::vector<RecordedText> want = {
        {1, 5, 4, "\x80"},  {1, 20, 2, "\x82"}, {1, 20, 4, "\x83"}, {1, 2, 3, "\x81\x81\x81\x81"},
        {1, 1, 1, "ABC"},   {1, 7, 1, "1234"},  {1, 9, 2, "AB"},    {1, 3, 3, "00001234"},
        {1, 5, 4, "0102.5"}, {1, 27, 4, "-005"}, {1, 28, 3, "012"},  {1, 4, 2, "["},
        {1, 9, 2, "]"},
    };
    EXPECT_EQ(recordedTexts(), want);
}

TEST_F(LcdTest, SmallerReportedGeometryDropsPixelsPastTheMapping)
{
    closeFramebuffer();
    std::ofstream(simFbPath() + ".fail") << "yres 32\n";
    ASSERT_EQ(openFramebuffer(), 0);
    fillScreen(kLcdWhite);
    std::vector<uint16_t> fb = frame();
    EXPECT_EQ(fb[255 + 256 * 31], kLcdWhite);
    EXPECT_EQ(fb[256 * 32], 0);
    EXPECT_EQ(fb[255 + 256 * 63], 0);
}

TEST(LcdHelpers, ElapsedMicrosecondsAndItsCap)
{
    struct Case {
        timespec a, b;
        uint64_t us;
    };
    for (Case c : {Case{{10, 0}, {11, 500000000}, 1500000}, Case{{11, 500000000}, {10, 0}, 1500000},
                   Case{{0, 0}, {1800, 999}, 1800000000}, Case{{0, 0}, {1801, 250000000}, 1799999999 + 250000},
                   Case{{5, 0}, {5, 999}, 0}})
        EXPECT_EQ(elapsedUs(&c.a, &c.b), c.us) << c.b.tv_sec;
}

TEST(LcdHelpers, CentiDecibelsWithAFloorForZeroAndBelow)
{
    EXPECT_EQ(linearToCentiDb(10), 100);
    EXPECT_EQ(linearToCentiDb(2), 30);
    EXPECT_EQ(linearToCentiDb(1), 0);
    EXPECT_EQ(linearToCentiDb(0.5), -30);
    EXPECT_EQ(linearToCentiDb(0), kCentiDbFloor);
    EXPECT_EQ(linearToCentiDb(-4), kCentiDbFloor);
}

TEST(LcdHelpers, FourBitLineFillsBothNibbles)
{
    uint8_t buf[128 * 64] = {};
    fillHLine4bpp(buf, 2, 5, 1, 0x3);
    EXPECT_EQ(buf[128 + 1], 0x33);
    EXPECT_EQ(buf[128 + 2], 0x33);
    EXPECT_EQ(buf[128 + 0], 0);
    EXPECT_EQ(buf[128 + 3], 0);
}

TEST_F(LcdTest, BlankingControlAndSplash)
{
    EXPECT_EQ(setLcdBlank('1'), 0);
    EXPECT_EQ(readSandboxFile("/sys/class/graphics/fb0/blank"), "1");
    EXPECT_EQ(setLcdBlank('0'), 0);
    EXPECT_EQ(readSandboxFile("/sys/class/graphics/fb0/blank"), "0");
    clearScreen();
    showSplash();
    EXPECT_EQ(frame(), [] {
        std::ifstream in(sysPath("/usr/local/imgs/radio.bmp"), std::ios::binary);
        std::vector<uint16_t> w(kSimFbSize / 2);
        in.read(reinterpret_cast<char*>(w.data()), kSimFbSize);
        return w;
    }());
    unlink(sysPath("/sys/class/graphics/fb0/blank").c_str());
    rmdir(sysPath("/sys/class/graphics/fb0").c_str());
    testing::internal::CaptureStdout();
    EXPECT_EQ(setLcdBlank('1'), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: could not open 1\n");
}

class LumiroProgram : public SandboxTest {};

TEST_F(LumiroProgram, FrameBufferFailuresEndWithTheirStatus)
{
    struct Case {
        const char* knob;
        int status;
        const char* line;
    };
    for (Case c : {Case{"open", 1, "Error: cannot open framebuffer device: "},
                   Case{"fscreen", 2, "Error reading fixed information: "},
                   Case{"vscreen", 3, "Error reading variable information: "},
                   Case{"map", 4, "Error: failed to map framebuffer device to memory: "}}) {
        std::ofstream(simFbPath() + ".fail") << c.knob << "\n";
        int status = -1;
        std::string out = runInSandbox(root, LUMIRO_BIN, &status);
        EXPECT_EQ(status, c.status) << c.knob;
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
        EXPECT_EQ(out.find("mapped to memory successfully"), std::string::npos);
    }
}
