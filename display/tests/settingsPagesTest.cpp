// The settings editors walked key by key: the texts they draw, the writes
// the daemon's group receives, the refusal while remote or on, and the
// input combinations generated into display/gen/inputCombos.inc.
#include "display/dbView.h"
#include "display/dipc.h"
#include "display/displayMain.h"
#include "display/keypad.h"
#include "display/lcd.h"
#include "display/pageSet.h"
#include "display/pages.h"
#include "display/tests/displayTestSupport.h"

#include <arpa/inet.h>
#include <algorithm>
#include <set>

using namespace lumiro;

namespace {

constexpr uint16_t L = KEY_LEFT, E = KEY_ENTER, U = KEY_UP, D = KEY_DOWN, R = KEY_RIGHT;
using Writes = std::vector<std::array<uint32_t, 3>>;

constexpr uint32_t ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

class SettingsPagesTest : public DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        cell(3, 3, 10);
        state(true, false);
    }
    // Local control (image-1 word 0 bit 24) and ON (bit 25).
    static void state(bool local, bool on)
    {
        uint32_t w = (local ? 1u << 24 : 0) | (on ? 1u << 25 : 0);
        cell(4, 1, __builtin_bswap32(w));
        refreshAll();
    }
    // The texts drawn by a walk of keys.
    static void walk(std::initializer_list<uint16_t> keys)
    {
        startRecordingTexts();
        presses(keys);
        stopRecordingTexts();
    }
    // The last text drawn at a place.
    static std::string last(int column, int row)
    {
        std::string out = "<none>";
        for (const RecordedText& t : recordedTexts())
            if (t.column == column && t.row == row && t.text.find('_') == std::string::npos)
                out = t.text;
        return out;
    }
};

} // namespace

TEST_F(SettingsPagesTest, AddressPageEditsOctetsAndAppliesThePortChosenOnPage46)
{
    if (!listen())
        GTEST_SKIP() << "no private network namespace";
    cell(18, 3, ip(192, 168, 1, 250));
    cell(18, 4, ip(255, 255, 255, 0));
    cell(18, 5, 0);
    cell(18, 10, ip(10, 0, 0, 5));
    cell(18, 11, ip(255, 0, 0, 0));
    cell(18, 12, ip(10, 0, 0, 1));
    refreshAll();

    struct Case {
        const char* name;
        bool rear;                           // UP on page 46 picks the rear port
        std::vector<uint16_t> keys;          // on page 3
        int row;                             // row of the field checked
        const char* shown;                   // its text after the keys
        const char* row4;                    // row 4 after the keys
        Writes sent;
    };
    const uint32_t mask24 = htonl(ip(255, 255, 255, 0));
    const Case cases[] = {
        // ENTER edits IP; LEFT twice wraps to the last octet's tens: 250 + 10 is held at 255.
        {"tens of 250", false, {E, L, L, U, E, E}, 1, "192.168.  1.255", " APPLY    DISCARD    ",
         {{18, 3, htonl(ip(192, 168, 1, 255))}, {18, 4, mask24}, {18, 5, 0}, {18, 6, 1}}},
        // Hundreds cycle 0, 100, 200: 192 goes to 292, held at 255; then down to 55.
        {"hundreds", false, {E, U}, 1, "255.168.  1.250", "<none>", {}},
        {"hundreds wrap", false, {E, U, U}, 1, " 55.168.  1.250", "<none>", {}},
        // Units wrap within their decade: 250 - 1 gives 259, held at 255.
        {"units", false, {E, L, D}, 1, "192.168.  1.255", "<none>", {}},
        // DOWN to the mask, its third octet 255 - 100 by the hundreds digit... 155.
        {"mask", false, {D, E, R, R, R, R, R, R, D, E, E}, 2, "255.255.155.  0", " APPLY    DISCARD    ",
         {{18, 3, htonl(ip(192, 168, 1, 250))}, {18, 4, htonl(ip(255, 255, 155, 0))}, {18, 5, 0}, {18, 6, 1}}},
        // DISCARD (DOWN from APPLY) restores the starting values and sends nothing.
        {"discard", false, {E, U, E, D, E}, 1, "192.168.  1.250", " ", {}},
        // A gateway outside the subnet: the invalid line, no APPLY, nothing sent.
        {"gateway outside", false, {D, D, E, U, E, E}, 3, "100.  0.  0.  0", " ADDRESS INVALID !!! ", {}},
        // The rear port writes its own elements and request.
        {"rear port", true, {E, L, U, E, E}, 1, " 10.  0.  0.  6", " APPLY    DISCARD    ",
         {{18, 10, htonl(ip(10, 0, 0, 6))}, {18, 11, htonl(ip(255, 0, 0, 0))}, {18, 12, htonl(ip(10, 0, 0, 1))},
          {18, 13, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetPages();
        gotoPage(46, 0);
        if (c.rear)
            press(U);
        press(E);
        ASSERT_EQ(currentPage(), 3);
        writes();
        startRecordingTexts();
        for (uint16_t k : c.keys)
            press(k);
        stopRecordingTexts();
        EXPECT_TRUE(drew(1, 7, c.row, c.shown));
        if (std::string(c.row4) == " ") {
            EXPECT_EQ(last(1, 4), "                     "); // the page's own blank row 4
        } else if (std::string(c.row4) != "<none>") {
            EXPECT_TRUE(drew(1, 1, 4, c.row4));
        }
        EXPECT_EQ(writes(), c.sent);
    }
    // After APPLY the page is in view mode again: LEFT leaves for page 46.
    press(L);
    EXPECT_EQ(currentPage(), 46);
}

TEST_F(SettingsPagesTest, RemoteOrOnOpensNotice13AndSendsNothing)
{
    if (!listen())
        GTEST_SKIP() << "no private network namespace";
    cell(18, 3, ip(192, 168, 1, 10));
    cell(9, 13, 90);
    refreshAll();
    struct Case {
        bool local, on;
        uint8_t page;
        std::vector<uint16_t> before; // keys while local and off
    };
    for (Case c : {Case{false, false, 3, {}}, Case{true, true, 3, {}}, Case{false, false, 30, {D, D}},
                   Case{false, false, 3, {E, U, E}}, Case{true, true, 27, {E}}}) {
        SCOPED_TRACE(testing::Message() << "page " << int(c.page) << " local " << c.local << " on " << c.on);
        state(true, false);
        resetPages();
        gotoPage(c.page, 0);
        for (uint16_t k : c.before)
            press(k);
        writes();
        state(c.local, c.on);
        // ENTER on a field, UP while editing, or ENTER on APPLY: each would change a value.
        press(c.before.size() == 1 ? U : E);
        EXPECT_EQ(currentPage(), 22);
        EXPECT_EQ(displayState().noticeNumber, 13);
        EXPECT_EQ(displayState().noticeReturn, c.page);
        EXPECT_TRUE(writes().empty());
        press(L);
        EXPECT_EQ(currentPage(), c.page);
    }
}

TEST_F(SettingsPagesTest, RfPageHoldsFrequencyAndPowerWithinTheirLimits)
{
    if (!listen())
        GTEST_SKIP() << "no private network namespace";
    cell(5, 11, 100000000);
    cell(5, 6, 430);
    cell(17, 1, 9);  // an amplifier family shown in dBm
    cell(17, 19, 1); // a supply of type code 1: the HPA's limits apply
    cell(40, 47, 400);
    cell(40, 14, 450);
    refreshAll();
    gotoPage(27, 0);
    testing::internal::CaptureStdout();
    walk({E, R, U}); // 100.0 MHz + 10 MHz
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(last(9, 2), "108.000");
    EXPECT_NE(out.find("BEFORE: freq_mhz=100 | freq_khz=0\nPOST: freq_mhz=108 | freq_khz=0 [freq=108000000]\n"),
              std::string::npos)
        << out;
    walk({L, D}); // 108.0 MHz - 100 MHz is held at 87.5 MHz
    EXPECT_EQ(last(9, 2), " 87.500");
    walk({L, U, U, U}); // the last digit: 25 kHz steps
    EXPECT_EQ(last(9, 2), " 87.575");
    presses({E, E});
    EXPECT_EQ(writes(), (Writes{{5, 11, 87575000}}));

    // Power in tenths of dBm: the tens digit up from 43.0 is held at H = 45.0.
    testing::internal::CaptureStdout();
    walk({D, E, U});
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(last(12, 3), "45.0");
    EXPECT_NE(out.find("RfPar.Data_prev.pwr=450 [L=400,H=450] | pwr_dig_1=4 | pwr_dig_2=5 | pwr_dig_3=0\n"),
              std::string::npos)
        << out;
    walk({D, D}); // held at L = 40.0
    EXPECT_EQ(last(12, 3), "40.0");
    walk({R, R, U, E, E});
    EXPECT_EQ(writes(), (Writes{{5, 6, 401}, {5, 1, 401}}));

    // Another supply type: only the exciter's power is written, within -999..999.
    cell(17, 19, 0);
    refreshAll();
    gotoPage(27, 0);
    presses({D, E, U, E, E});
    EXPECT_EQ(writes(), (Writes{{5, 6, 530}}));
}

TEST_F(SettingsPagesTest, RfPageInWattsConvertsToTenthsOfDbm)
{
    if (!listen())
        GTEST_SKIP() << "no private network namespace";
    cell(5, 11, 98000000);
    cell(5, 6, 500); // 50.0 dBm = 100 W
    cell(17, 1, 0);
    refreshAll();
    testing::internal::CaptureStdout();
    startRecordingTexts();
    gotoPage(27, 0);
    stopRecordingTexts();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "ComputePwrWatt=100 [50.0 dBm]\n");
    EXPECT_EQ(last(10, 3), "  100");
    EXPECT_TRUE(drew(1, 17, 3, "W  "));
    walk({D, E, R, R, U, E, E}); // 100 W + 100 W
    EXPECT_EQ(writes(), (Writes{{5, 6, 530}})); // 200 W = 53.0 dBm
}

TEST_F(SettingsPagesTest, InputCombinationsAreTheGeneratedTable)
{
    struct Row {
        int source, rds, mode; // mode -1: not offered
    };
    for (Row r : {Row{0, 0, 0}, Row{0, 1, -1}, Row{1, 2, 6}, Row{2, 1, 26}, Row{3, 2, 31}, Row{4, 2, 32},
                  Row{5, 1, 49}, Row{5, 2, -1}, Row{6, 2, 52}, Row{7, 0, 53}, Row{7, 2, -1}}) {
        int mode = -1;
        EXPECT_EQ(inputComboMode(r.source, r.rds, &mode), r.mode >= 0) << r.source << " " << r.rds;
        if (r.mode >= 0) {
            EXPECT_EQ(mode, r.mode);
        }
    }
    struct Secondary {
        int mode;
        std::vector<int> codes;
    };
    for (const Secondary& s : {Secondary{0, {0, 2}}, Secondary{22, {0, 2, 3}}, Secondary{27, {0, 1, 6}},
                               Secondary{30, {0}}, Secondary{31, {0, 1}}, Secondary{52, {0, 8}},
                               Secondary{54, {0, 7}}, Secondary{24, {}}}) {
        int codes[8];
        int n = inputSecondaryChoices(s.mode, codes, 8);
        EXPECT_EQ(std::vector<int>(codes, codes + n), s.codes) << s.mode;
    }
}

TEST_F(SettingsPagesTest, InputPageOffersEachModeItsSourcesOnly)
{
    const char* kSecondary[9] = {" OFF  ", " Mpx1 ", " Mpx2 ", "AesEbu", nullptr, nullptr, " L+R  ", " Mpx1B", " Mpx2B"};
    for (int mode : {0, 2, 4, 6, 22, 23, 25, 26, 27, 29, 30, 31, 32, 48, 49, 50, 51, 52, 53, 54}) {
        SCOPED_TRACE(mode);
        cell(11, 11, static_cast<uint32_t>(mode));
        cell(11, 15, 0);
        refreshAll();
        resetPages();
        gotoPage(29, 0);
        // The secondary source cycles through exactly what the mode allows.
        startRecordingTexts();
        presses({D, D, E});
        for (int i = 0; i < 4; i++)
            press(U);
        stopRecordingTexts();
        std::set<std::string> seen;
        for (const RecordedText& t : recordedTexts())
            if (t.column == 15 && t.row == 2 && t.text.find('_') == std::string::npos)
                seen.insert(t.text);
        int codes[8];
        int n = inputSecondaryChoices(mode, codes, 8);
        std::set<std::string> want;
        for (int i = 0; i < n; i++)
            want.insert(kSecondary[codes[i]]);
        EXPECT_EQ(seen, want);
        // The primary source's RDS: EXT only where the combination exists.
        resetPages();
        gotoPage(29, 0);
        presses({D, E});
        startRecordingTexts();
        for (int i = 0; i < 3; i++)
            press(U);
        stopRecordingTexts();
        bool ext = false;
        for (const RecordedText& t : recordedTexts())
            ext = ext || (t.column == 29 && t.row == 1 && t.text == "EXT");
        EXPECT_EQ(ext, mode != 0 && mode != 48 && mode != 49 && mode != 53 && mode != 54);
    }
}

TEST_F(SettingsPagesTest, InputPageWritesTheModeAndTheSecondarySource)
{
    if (!listen())
        GTEST_SKIP() << "no private network namespace";
    cell(11, 11, 22); // Stereo, RDS OFF
    cell(11, 15, 3);  // AesEbu
    cell(11, 21, 1);
    refreshAll();
    gotoPage(29, 0);
    // Primary source to AesEbu: the secondary AesEbu is not offered with it
    // and falls back to OFF.
    walk({E, U, E});
    EXPECT_EQ(last(15, 1), "AesEbu");
    EXPECT_EQ(last(15, 2), " OFF  ");
    press(E);
    EXPECT_EQ(writes(), (Writes{{11, 11, 23}, {11, 15, 0}}));
    // Secondary RDS alone.
    presses({D, D, D, E, D, E, E});
    EXPECT_EQ(writes(), (Writes{{11, 21, 0}}));
}

TEST_F(SettingsPagesTest, LevelPageUsesTable9RangesAndTheUnitsCells)
{
    if (!listen())
        GTEST_SKIP() << "no private network namespace";
    cell(11, 11, 22); // an analogue input: dBu
    cell(9, 8, static_cast<uint32_t>(-35));
    cell(9, 9, 60);
    cell(9, 13, 195);
    cell(9, 12, 990);
    cell(9, 11, static_cast<uint32_t>(-180));
    cell(9, 21, 175);
    refreshAll();
    startRecordingTexts();
    gotoPage(30, 0);
    stopRecordingTexts();
    EXPECT_TRUE(drew(1, 14, 1, "dBu "));
    EXPECT_EQ(last(8, 1), " -3.5");
    EXPECT_EQ(last(24, 2), " 99.0");
    EXPECT_EQ(last(9, 3), "-18.0");
    // Pilot 19.5 % by the tens digit: held at its maximum 20.0; Rds up by
    // 10.0 to 100.0; ExtRds down is held at -18.0; L down by 10.0 to -13.5
    // is held at -12.0.
    walk({D, D, E, R, U, E});
    EXPECT_EQ(last(9, 2), " 20.0");
    // From APPLY, UP walks back over the fields: Mpx, ExtRds, Rds.
    walk({U, U, U, E, U, E});
    EXPECT_EQ(last(24, 2), "100.0");
    walk({U, U, E, D, E});
    EXPECT_EQ(last(9, 3), "-18.0");
    walk({D, D, E, D, E}); // DISCARD, then L
    EXPECT_EQ(last(8, 1), "-12.0");
    press(E); // the cursor is on APPLY
    EXPECT_EQ(writes(), (Writes{{9, 8, static_cast<uint32_t>(-120)}, {9, 13, 200}, {9, 12, 1000}}));
    // LEFT in view mode leaves for the FM settings menu.
    press(L);
    EXPECT_EQ(currentPage(), 28);

    // A digital input: L and R in dBFS from and to their own cells.
    cell(11, 11, 27);
    cell(9, 22, static_cast<uint32_t>(-200));
    refreshAll();
    startRecordingTexts();
    gotoPage(30, 0);
    stopRecordingTexts();
    EXPECT_TRUE(drew(1, 29, 1, "dBFS"));
    EXPECT_EQ(last(8, 1), "-20.0");
    presses({E, U, E, E});
    EXPECT_EQ(writes(), (Writes{{9, 22, static_cast<uint32_t>(-100)}}));
}

TEST_F(SettingsPagesTest, SystemSetupWritesModeAndTypeWhenChanged)
{
    if (!listen())
        GTEST_SKIP() << "no private network namespace";
    cell(13, 5, 0);
    refreshAll();
    startRecordingTexts();
    gotoPage(23, 0);
    stopRecordingTexts();
    EXPECT_EQ(last(15, 2), "MASTER");
    EXPECT_EQ(last(13, 3), "TX      ");
    walk({E, U, E});
    EXPECT_EQ(last(15, 2), "SLAVE ");
    press(E);
    EXPECT_EQ(writes(), (Writes{{13, 5, 1}}));
    presses({D, E, D, E, E});
    EXPECT_EQ(writes(), (Writes{{3, 3, 11}}));
    press(L);
    EXPECT_EQ(currentPage(), 32);
}

TEST_F(SettingsPagesTest, TimeReferencePageSelectsButSendsNothing)
{
    if (!listen())
        GTEST_SKIP() << "no private network namespace";
    startRecordingTexts();
    gotoPage(51, 0);
    stopRecordingTexts();
    EXPECT_EQ(last(18, 2), "---");
    walk({E, U, U, E});
    EXPECT_EQ(last(18, 2), "EXT");
    press(E);
    EXPECT_TRUE(writes().empty());
    press(L); // no way out
    EXPECT_EQ(currentPage(), 51);
    startRecordingTexts();
    gotoPage(51, 0);
    stopRecordingTexts();
    EXPECT_EQ(last(18, 2), "EXT"); // the page keeps the selection
}

TEST_F(SettingsPagesTest, ReceiverActionsAreStringWritesOfValueAndMask)
{
    if (!listen())
        GTEST_SKIP() << "no private network namespace";
    const uint32_t cfg = 0x00155707; // actions: RSSI 1, SNR 1, ASSI200 1, plus log and trap bits
    cell(46, 1, 98000);
    cell(47, 2, cfg);
    cell(46, 20, 12);
    cell(46, 21, static_cast<uint32_t>(-40));
    cell(46, 22, 30);
    refreshAll();
    startRecordingTexts();
    gotoPage(53, 0);
    stopRecordingTexts();
    EXPECT_EQ(last(11, 1), " 98.00");
    EXPECT_EQ(last(11, 2), "Warning");
    EXPECT_EQ(last(25, 2), " -40");
    // Each measure's action one step on (Warning to Alarm), and the SNR threshold up by 10.
    // From APPLY, UP walks back: ASSI200's action, then SNR's, then SNR's threshold.
    presses({D, E, U, E, U, U, E, U, E, U, U, U, U, E, U, E, U, U, U, E, R, U, E, E});
    auto sent = messages();
    std::vector<std::vector<uint8_t>> strings;
    for (const auto& p : sent)
        if (p.size() == 19 && p[1] == 7)
            strings.push_back(p);
    EXPECT_EQ(elementWrites(sent), (Writes{{46, 20, 22}}));
    ASSERT_EQ(strings.size(), 3u);
    const uint32_t masks[3] = {0xC0000, 0x30000, 0x300000};
    for (int m = 0; m < 3; m++) {
        const auto& p = strings[m];
        EXPECT_EQ(p[0], 252);
        EXPECT_EQ(p[2], 47);
        EXPECT_EQ(p[6], 2);
        EXPECT_EQ(p[10], 8);
        uint32_t value, mask;
        memcpy(&value, &p[11], 4);
        memcpy(&mask, &p[15], 4);
        EXPECT_EQ(mask, masks[m]);
        EXPECT_EQ(value, (cfg & ~mask) | (0x2AAAAAAAu & mask)) << m; // the image word, its two bits 2
    }
}

TEST_F(SettingsPagesTest, EditorScreens)
{
    cell(18, 3, ip(192, 168, 1, 10));
    cell(18, 4, ip(255, 255, 255, 0));
    refreshAll();
    gotoPage(3, 0);
    presses({E, L, U, E});
    expectGolden("settings_address_apply");
    cell(11, 11, 22);
    cell(9, 8, 40);
    cell(9, 9, static_cast<uint32_t>(-15));
    cell(9, 13, 90);
    cell(9, 12, 40);
    cell(9, 11, 0);
    cell(9, 21, 120);
    refreshAll();
    gotoPage(30, 0);
    presses({D, D, E, R});
    expectGolden("settings_levels_edit");
    cell(5, 11, 98125000);
    cell(5, 6, 430);
    cell(17, 1, 9);
    refreshAll();
    gotoPage(27, 0);
    presses({E, L});
    expectGolden("settings_rf_edit");
    cell(46, 1, 98000);
    cell(47, 2, 0x00390000); // RSSI Alarm, SNR Warning, ASSI200 Mute
    cell(46, 20, 12);
    cell(46, 21, static_cast<uint32_t>(-40));
    cell(46, 22, 300);
    refreshAll();
    gotoPage(53, 0);
    presses({D});
    expectGolden("settings_receiver_view");
}
