// Page table, static texts and the status page, checked through the
// texts they draw and, for a few screens, as golden pictures.
#include "display/dbView.h"
#include "display/lcd.h"
#include "display/pages.h"
#include "display/tests/displayTestSupport.h"
#include "sim/simFb.h"

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

using namespace lumiro;

namespace {

struct Status {
    uint32_t mode = 22, preset = 1, slave = 0, freqHz = 98500000, family = 0, fwd = 0, dbm = 0, reflPct = 0;
    bool standbyBit = false;
    uint32_t statusBits = 0;
    int32_t tin = 0, tout = 0;
    bool tinBlank = false;
};

class PagesTest : public DisplayTest {
protected:
    // Publishes a status and shows page 1, recording its texts.
    void show(const Status& s)
    {
        cell(11, 18, s.mode);
        cell(15, 4, s.preset);
        cell(13, 5, s.slave);
        cell(5, 11, s.freqHz);
        cell(17, 1, s.family);
        cell(6, 2, s.fwd);
        cell(6, 1, s.dbm);
        cell(6, 6, s.reflPct);
        cell(4, 1, __builtin_bswap32(s.statusBits));
        cell(4, 2, s.standbyBit ? 1u << 29 : 0); // image-2 word 1 bit 5
        cell(10, 2, static_cast<uint32_t>(s.tin));
        cell(10, 11, static_cast<uint32_t>(s.tout));
        cell(13, 9, s.tinBlank ? 1u << 16 : 0);
        refreshAll();
        startRecordingTexts();
        gotoPage(1, 0);
        stopRecordingTexts();
    }
};

} // namespace

TEST_F(PagesTest, GotoPageDrawsTheStaticTextCentredOrFromTheLeft)
{
    startRecordingTexts();
    gotoPage(2, 0);
    EXPECT_EQ(currentPage(), 2);
    EXPECT_TRUE(drew(1, 1, 1, "       MAIN MENU     "));
    EXPECT_TRUE(drew(1, 1, 4, " CONFIGURATIONS      "));
    EXPECT_EQ(getPixel(4, 16 + 6), 0); // centred: column 1 starts at x = 44
    recordedTexts().clear();
    gotoPage(7, 0);
    EXPECT_TRUE(drew(1, 1, 4, "Id1=    A Vmain=    V           "));
    bool ink = false; // "Id1=" from the left edge
    for (int x = 0; x < 8; x++)
        for (int y = 48; y < 64; y++)
            ink = ink || getPixel(x, y) != 0;
    EXPECT_TRUE(ink);
    // An id without a page: a cleared screen, no text, keys do nothing.
    recordedTexts().clear();
    gotoPage(24, 0);
    pageKey(514);
    pageDraw(0, 0);
    stopRecordingTexts();
    EXPECT_TRUE(recordedTexts().empty());
    EXPECT_EQ(currentPage(), 24);
    for (int x = 0; x < 256; x += 7)
        for (int y = 0; y < 64; y += 5)
            ASSERT_EQ(getPixel(x, y), 0);
}

TEST_F(PagesTest, StaticTextsKeepTheirSpacing)
{
    struct Case {
        uint8_t page;
        int line;
        const char* text;
    };
    for (Case c : {Case{0, 0, "   EXCITER SYSTEM    "}, Case{0, 2, "System Configuration "},
                   Case{1, 0, "FM onAir:        Rds:           "}, Case{1, 2, "          MHz                   "},
                   Case{1, 3, "Status:        Tin:    Tout:    "}, Case{4, 3, "-                    "},
                   Case{5, 3, "          %            %        "}, Case{9, 0, " dB -40 -18   -12 -9 -6 -3  0 +3"},
                   Case{30, 2, " ExtRds[     ]dBu  Mpx[     ]dBu"}, Case{51, 1, " REF. SELECTION [   ]"}})
        EXPECT_STREQ(staticLine(c.page, c.line), c.text) << int(c.page) << " " << c.line;
    EXPECT_EQ(staticWidth(1), 32);
    EXPECT_EQ(staticWidth(2), 21);
    EXPECT_EQ(staticWidth(52), 0);
    EXPECT_EQ(staticWidth(53), 0);
    EXPECT_EQ(staticWidth(31), 0);
}

TEST_F(PagesTest, StartPageOpensTheStatusPage)
{
    gotoPage(0, 0);
    EXPECT_EQ(currentPage(), 1);
}

TEST_F(PagesTest, InputModesDrawTheirSourceAndRds)
{
    struct Case {
        uint32_t mode;
        const char* source;
        const char* rds;
    };
    for (Case c : {Case{0, "MONO   ", "OFF"}, Case{2, "MONO+P ", "OFF"}, Case{4, "MONO+P ", "INT"},
                   Case{6, "MONO+P ", "EXT"}, Case{22, "STEREO ", "OFF"}, Case{23, "AES-EBU", "OFF"},
                   Case{24, "MPX RX ", "OFF"}, Case{25, "MPX1   ", "OFF"}, Case{26, "STEREO ", "INT"},
                   Case{27, "AES-EBU", "INT"}, Case{28, "MPX RX ", "INT"}, Case{29, "MPX1   ", "INT"},
                   Case{30, "STEREO ", "EXT"}, Case{31, "AES-EBU", "EXT"}, Case{32, "MPX1   ", "EXT"},
                   Case{33, "MPX RX ", "EXT"}, Case{48, "MPX2   ", "OFF"}, Case{49, "MPX2   ", "INT"},
                   Case{50, "MPX1B  ", "OFF"}, Case{51, "MPX1B  ", "INT"}, Case{52, "MPX1B  ", "EXT"},
                   Case{53, "MPX2B  ", "OFF"}, Case{54, "MPX2B  ", "INT"}, Case{55, "MPXoIP ", "OFF"},
                   Case{56, "MPXoIP ", "INT"}, Case{57, "MPXaesA", "OFF"}, Case{58, "MPXaesA", "INT"},
                   Case{59, "MPXaesB", "OFF"}, Case{60, "MPXaesB", "INT"}}) {
        Status s;
        s.mode = c.mode;
        show(s);
        EXPECT_TRUE(drew(1, 10, 1, c.source)) << c.mode;
        EXPECT_TRUE(drew(1, 22, 1, c.rds)) << c.mode;
    }
    for (uint32_t mode : {1u, 5u, 34u, 61u, 0xFFFFFFFFu}) {
        Status s;
        s.mode = mode;
        show(s);
        EXPECT_TRUE(drew(1, 10, 1, "       ")) << mode;
        EXPECT_TRUE(drew(1, 22, 1, "   ")) << mode;
    }
}

TEST_F(PagesTest, PowerDisplayRule)
{
    struct Case {
        uint32_t tenthsMw;
        const char* number;
        const char* unit;
    };
    for (Case c : {Case{0, "0.0", "mW"}, Case{53, "5.3", "mW"}, Case{99, "9.9", "mW"}, Case{100, "10", "mW"},
                   Case{104, "10", "mW"}, Case{105, "11", "mW"}, Case{9994, "999", "mW"}, Case{9995, "1.0", "W"},
                   Case{10000, "1.0", "W"}, Case{12499, "1.2", "W"}, Case{12500, "1.3", "W"},
                   Case{99499, "9.9", "W"}, Case{99500, "10", "W"}, Case{100000, "10", "W"},
                   Case{2504999, "250", "W"}, Case{2505000, "251", "W"}, Case{9994999, "999", "W"},
                   Case{9999999, "999", "W"}, Case{10000000, "1.0", "kW"}, Case{15000000, "1.5", "kW"},
                   Case{123450000, "12.3", "kW"}, Case{4294967295u, "429.5", "kW"}}) {
        PowerText p;
        ASSERT_TRUE(formatPower(c.tenthsMw, &p)) << c.tenthsMw;
        EXPECT_STREQ(p.number, c.number) << c.tenthsMw;
        EXPECT_STREQ(p.unit, c.unit) << c.tenthsMw;
    }
}

TEST_F(PagesTest, StatusPagePowerTextsByFamily)
{
    struct Case {
        uint32_t family, fwd, dbm;
        bool standbyBit;
        const char* unitText;
        int unitLen;
        int numberColumn;
        const char* number;
        bool reflected;
    };
    for (Case c : {
             Case{0, 53, 0, false, "       mW ", 10, 8, "5.3", true},
             Case{0, 2505000, 0, false, "        W ", 10, 8, "251", true},
             Case{0, 123450000, 0, false, "       kW ", 10, 7, "12.3", true},
             Case{9, 0, 430, false, "       dBm", 10, 7, "43.0", true},
             Case{9, 0, static_cast<uint32_t>(-55), false, "       dBm", 10, 7, "-5.5", true},
             Case{17, 0, 430, true, "           dBm", 14, 7, "43.0", false},
         }) {
        Status s;
        s.family = c.family;
        s.fwd = c.fwd;
        s.dbm = c.dbm;
        s.standbyBit = c.standbyBit;
        s.reflPct = 7;
        show(s);
        EXPECT_TRUE(drew(1, 14, 3, std::string(c.unitText, c.unitLen))) << c.number;
        EXPECT_TRUE(drew(3, 10, 2, c.number)) << c.number;
        EXPECT_EQ(drew(1, 29, 3, "  7"), c.reflected) << c.number;
    }
    // Family 17 without the bit, or at -60.0 dBm: standby, no number.
    for (auto [bit, dbm] : {std::pair{false, 430u}, std::pair{true, static_cast<uint32_t>(-600)}}) {
        Status s;
        s.family = 17;
        s.standbyBit = bit;
        s.dbm = dbm;
        show(s);
        EXPECT_TRUE(drew(1, 14, 3, "  STANDBY"));
        for (const RecordedText& t : recordedTexts())
            EXPECT_FALSE(t.font == 3 && t.column == 10) << t.text;
    }
}

TEST_F(PagesTest, StatusTextsFrequencyAndTemperatures)
{
    struct Case {
        uint32_t bits;
        const char* text;
    };
    for (Case c : {Case{0, "OK     "}, Case{1u << 26, "WARNING"}, Case{1u << 27 | 1u << 26, "ALARM  "},
                   Case{1u << 28 | 1u << 27, "FAILURE"}, Case{1u << 20 | 1u << 28, "LOCKOUT"},
                   Case{1u << 19 | 1u << 20, "INTLOCK"}}) {
        Status s;
        s.statusBits = c.bits;
        show(s);
        EXPECT_TRUE(drew(1, 8, 4, c.text)) << c.text;
    }
    struct Temp {
        int32_t value;
        int column;
        const char* text;
    };
    for (Temp t : {Temp{45, 20, "45"}, Temp{-5, 20, "-5"}, Temp{-99, 19, "-99"}, Temp{998, 19, "998"},
                   Temp{999, 20, "--"}, Temp{-100, 19, "---"}}) {
        Status s;
        s.tin = t.value;
        s.tout = t.value;
        show(s);
        EXPECT_TRUE(drew(1, t.column, 4, t.text)) << t.value;
        EXPECT_TRUE(drew(1, t.column + 10, 4, t.text)) << t.value;
        EXPECT_TRUE(drew(1, 22, 4, "\x80"));
        EXPECT_TRUE(drew(1, 32, 4, "\x80"));
    }
    Status s;
    s.tin = 45;
    s.tout = 28;
    s.tinBlank = true;
    s.freqHz = 107900000;
    s.preset = 3;
    s.slave = 1;
    show(s);
    EXPECT_FALSE(drew(1, 20, 4, "45"));
    EXPECT_FALSE(drew(1, 22, 4, "\x80"));
    EXPECT_TRUE(drew(1, 30, 4, "28"));
    EXPECT_TRUE(drew(3, 1, 2, "107.9"));
    EXPECT_TRUE(drew(1, 27, 1, "P3 "));
    EXPECT_TRUE(drew(1, 30, 1, "SLV"));
}

TEST_F(PagesTest, StatusPageRedrawsOnlyWhatChanged)
{
    Status s;
    s.tin = 45;
    s.tout = 28;
    show(s);
    std::vector<uint16_t> shown = frame();
    startRecordingTexts();
    pageDraw(0, 0);
    EXPECT_TRUE(recordedTexts().empty());

    cell(6, 2, 53); // the forward power: rows 2 and 3 only
    refreshAll();
    pageDraw(0, 0);
    EXPECT_TRUE(drew(3, 10, 2, "5.3"));
    EXPECT_TRUE(drew(3, 1, 2, " 98.5"));
    for (const RecordedText& t : recordedTexts())
        EXPECT_TRUE(t.row == 2 || t.row == 3) << t.row << " " << t.text;

    recordedTexts().clear();
    cell(10, 11, 7); // the outer temperature: its own cells of row 4
    refreshAll();
    pageDraw(0, 0);
    stopRecordingTexts();
    std::vector<RecordedText> want = {{1, 24, 4, "Tout:    "}, {1, 30, 4, " 7"}, {1, 32, 4, "\x80"}};
    EXPECT_EQ(recordedTexts(), want);

    // Back to the first values: the same picture as the first draw.
    cell(6, 2, 0);
    cell(10, 11, 28);
    refreshAll();
    pageDraw(0, 0);
    EXPECT_TRUE(frame() == shown);
}

TEST_F(PagesTest, GoldenStatusPages)
{
    struct Case {
        const char* name;
        Status s;
    };
    Status kw;
    kw.mode = 26;
    kw.fwd = 15000000;
    kw.reflPct = 3;
    kw.statusBits = 1u << 26;
    kw.tin = 45;
    kw.tout = 28;
    Status mw = kw;
    mw.mode = 55;
    mw.fwd = 53;
    mw.statusBits = 0;
    mw.freqHz = 87500000;
    Status w = kw;
    w.mode = 4;
    w.fwd = 2505000;
    w.statusBits = 1u << 19;
    w.slave = 1;
    w.preset = 2;
    Status dbm9 = kw;
    dbm9.family = 9;
    dbm9.dbm = 430;
    Status dbm17 = dbm9;
    dbm17.family = 17;
    dbm17.standbyBit = true;
    Status standby = dbm17;
    standby.standbyBit = false;
    standby.tin = 999;
    standby.tout = -100;
    for (const Case& c : {Case{"status_kw", kw}, Case{"status_mw", mw}, Case{"status_w", w},
                          Case{"status_dbm9", dbm9}, Case{"status_dbm17", dbm17},
                          Case{"status_standby", standby}}) {
        show(c.s);
        expectGolden(c.name);
    }
    clearScreen();
    drawRebootNotice();
    expectGolden("reboot_notice");
}

TEST_F(PagesTest, FbshotPictureEqualsTheFrameBuffer)
{
    // Every kind of word: black, white, and RGB565 colours.
    const uint16_t words[] = {0, 0xFFFF, 0xF800, 0x07E0, 0x001F, 0x8410, 0x1234};
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 256; x++)
            setPixel(x, y, words[(x + y) % 7]);
    std::vector<uint16_t> fb = frame();
    for (int scale : {1, 4}) {
        std::string shot = host("/tmp/fb.png");
        int status = -1;
        runInSandbox(root, std::string(CORVANE_TOOLS_DIR) + "/fbshot " + shot + " --scale " + std::to_string(scale),
                     &status);
        ASSERT_EQ(status, 0);
        DecodedPng png;
        std::string why;
        ASSERT_TRUE(decodePng(shot, &png, &why)) << why;
        ASSERT_EQ(png.width, 256 * scale);
        ASSERT_EQ(png.height, 64 * scale);
        for (int y = 0; y < png.height; y++)
            for (int x = 0; x < png.width; x++) {
                uint16_t w = fb[x / scale + 256 * (y / scale)];
                const uint8_t* p = &png.rgb[(static_cast<size_t>(y) * png.width + x) * 3];
                int r = (w >> 11) & 31, g = (w >> 5) & 63, b = w & 31;
                ASSERT_EQ(p[0], (r << 3) | (r >> 2)) << x << "," << y;
                ASSERT_EQ(p[1], (g << 2) | (g >> 4)) << x << "," << y;
                ASSERT_EQ(p[2], (b << 3) | (b >> 2)) << x << "," << y;
            }
    }
    // Blanked: grey all over.
    setLcdBlank('1');
    int status = -1;
    runInSandbox(root, std::string(CORVANE_TOOLS_DIR) + "/fbshot " + host("/tmp/grey.png") + " --scale 1", &status);
    ASSERT_EQ(status, 0);
    DecodedPng png;
    std::string why;
    ASSERT_TRUE(decodePng(host("/tmp/grey.png"), &png, &why)) << why;
    EXPECT_EQ(png.rgb, std::vector<uint8_t>(256 * 64 * 3, 128));
    // Usage errors.
    runInSandbox(root, std::string(CORVANE_TOOLS_DIR) + "/fbshot", &status);
    EXPECT_EQ(status, 2);
    runInSandbox(root, std::string(CORVANE_TOOLS_DIR) + "/fbshot x.png --scale 0", &status);
    EXPECT_EQ(status, 2);
}

TEST_F(PagesTest, ConfigurationPagesFollowTheSystemType)
{
    struct Case {
        uint8_t type;
        const char* line3;
        const char* line4;
        const char* fm4;
    };
    for (Case c : {Case{1, " VRL SETUP           ", "                     ", "                     "},
                   Case{2, " VRL SETUP           ", "                     ", "                     "},
                   Case{10, " INPUT SETTINGS      ", " VRL SETUP           ", " INPUT RX SETTINGS   "},
                   Case{11, " INPUT SETTINGS      ", " VRL SETUP           ", "                     "},
                   Case{3, " NETWORK             ", " VRL SETUP           ", "                     "}}) {
        cell(3, 3, c.type);
        refreshAll();
        startRecordingTexts();
        gotoPage(26, 0);
        gotoPage(28, 0);
        stopRecordingTexts();
        EXPECT_EQ(pageSystemType(), c.type);
        EXPECT_TRUE(drew(1, 1, 1, "  CONFIGURATION MENU ")) << int(c.type);
        EXPECT_TRUE(drew(1, 1, 2, " RF SETTINGS         ")) << int(c.type);
        EXPECT_TRUE(drew(1, 1, 3, c.line3)) << int(c.type);
        EXPECT_TRUE(drew(1, 1, 4, c.line4)) << int(c.type);
        EXPECT_TRUE(drew(1, 1, 4, c.fm4)) << int(c.type);
        EXPECT_TRUE(drew(1, 1, 3, " INPUT LEVELS        ")) << int(c.type);
    }
}
