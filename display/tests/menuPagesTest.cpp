// Menus walked key by key, the alarm page, the USB key and preset pages
// with their hand-over files and requests, and the notice page.
#include "display/dbView.h"
#include "display/dipc.h"
#include "display/displayMain.h"
#include "display/keypad.h"
#include "display/lcd.h"
#include "display/pageSet.h"
#include "display/pages.h"
#include "display/tests/displayTestSupport.h"
#include "display/usbKey.h"
#include "sim/simUsbKey.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumiro;
namespace fs = std::filesystem;

namespace {

constexpr uint16_t L = KEY_LEFT, E = KEY_ENTER, U = KEY_UP, D = KEY_DOWN, R = KEY_RIGHT;

class MenuPagesTest : public DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        systemType(10);
        local(true);
    }
    static void systemType(uint32_t t)
    {
        cell(3, 3, t);
        refreshAll();
    }
    // The local-control bit (image-1 word 0 bit 24).
    static void local(bool on)
    {
        cell(4, 1, on ? __builtin_bswap32(1u << 24) : 0);
        refreshAll();
    }
    // The key inserted (as simctl does) and seen by the loop's turn.
    void insertKey(const std::string& tree)
    {
        ASSERT_EQ(simUsbInsert(tree.c_str()), 0);
        displayState().usbPresent = 1;
        ASSERT_EQ(mountUsbKey(), 0);
    }
    // A folder of the host with the given files (relative paths).
    std::string keyTree(std::initializer_list<const char*> files)
    {
        std::string dir = host("/tmp/keytree");
        fs::create_directories(dir);
        for (const char* f : files) {
            fs::path p = fs::path(dir) / f;
            fs::create_directories(p.parent_path());
            std::ofstream(p) << "x";
        }
        return dir;
    }
    std::string standinLog() const { return readSandboxFile("/var/log/standin.log"); }
};

} // namespace

TEST_F(MenuPagesTest, MenuWalksOpenTheirPagesAndMoveTheCursor)
{
    struct Step {
        uint16_t key;
        uint8_t page;              // page after the key
        int cursorRow;             // row of ">" drawn by the key (0: none checked)
        const char* row4;          // label drawn at row 4 (nullptr: none checked)
    };
    struct Walk {
        const char* name;
        uint8_t type;
        uint8_t start;
        std::vector<Step> steps;
    };
    const std::vector<Walk> walks = {
        {"measures and back", 10, 2,
         {{D, 2, 3, nullptr}, {E, 6, 2, nullptr}, {E, 5, 0, nullptr}, {L, 6, 2, nullptr}, {L, 2, 2, nullptr}}},
        {"scroll to USB and ABOUT", 10, 2,
         {{D, 2, 3, nullptr}, {D, 2, 4, nullptr}, {D, 2, 0, "USB                 "},
          {D, 2, 0, "ABOUT               "}, {D, 2, 0, nullptr}, {E, 25, 0, nullptr}, {L, 2, 2, nullptr}}},
        {"scroll back up", 10, 2, {{D, 2, 3, nullptr}, {D, 2, 4, nullptr}, {D, 2, 0, "USB                 "},
                                   {U, 2, 3, nullptr}, {U, 2, 2, nullptr}, {U, 2, 0, "CONFIGURATIONS      "},
                                   {E, 4, 0, nullptr}}},
        {"page 26 wraps, types 10 and 11", 11, 26,
         {{U, 26, 4, nullptr}, {E, 32, 0, nullptr}, {L, 26, 2, nullptr}, {D, 26, 3, nullptr}, {E, 28, 0, nullptr}}},
        {"page 26 of type 1", 1, 26, {{U, 26, 3, nullptr}, {E, 32, 0, nullptr}, {L, 26, 0, nullptr},
                                      {D, 26, 3, nullptr}, {D, 26, 2, nullptr}, {E, 27, 0, nullptr}}},
        {"page 26 of type 5", 5, 26, {{D, 26, 3, nullptr}, {E, 46, 3, nullptr}, {L, 32, 0, nullptr},
                                      {L, 26, 0, nullptr}, {U, 26, 4, nullptr}, {R, 32, 0, nullptr}}},
        {"page 28 of type 10 wraps over three rows", 10, 28,
         {{U, 28, 4, nullptr}, {E, 53, 0, nullptr}}},
        {"page 28 of another type wraps over two", 11, 28,
         {{U, 28, 3, nullptr}, {D, 28, 2, nullptr}, {D, 28, 3, nullptr}, {E, 30, 0, nullptr}}},
        {"page 18 wraps", 10, 18, {{U, 18, 3, nullptr}, {D, 18, 2, nullptr}, {L, 32, 0, nullptr}}},
        {"page 32 to the presets", 10, 32, {{D, 32, 3, nullptr}, {D, 32, 4, nullptr}, {D, 32, 0, nullptr},
                                            {E, 18, 2, nullptr}}},
        {"status page to the menu", 10, 1, {{E, 2, 2, nullptr}, {L, 1, 0, nullptr}}},
        {"an id without a page ignores keys", 10, 29, {{E, 29, 0, nullptr}, {L, 29, 0, nullptr}}},
    };
    for (const Walk& w : walks) {
        systemType(w.type);
        gotoPage(w.start, 0);
        for (size_t i = 0; i < w.steps.size(); i++) {
            const Step& s = w.steps[i];
            startRecordingTexts();
            press(s.key);
            stopRecordingTexts();
            EXPECT_EQ(currentPage(), s.page) << w.name << " step " << i;
            if (s.cursorRow) {
                EXPECT_TRUE(drew(1, 1, s.cursorRow, ">")) << w.name << " step " << i;
            }
            if (s.row4) {
                EXPECT_TRUE(drew(1, 2, 4, s.row4)) << w.name << " step " << i;
            }
        }
    }
}

TEST_F(MenuPagesTest, ConfigurationAndFmMenusListWhatTheSystemTypeHas)
{
    struct Case {
        uint8_t page, type;
        int line;
        const char* text;
    };
    for (Case c : {Case{26, 1, 2, " VRL SETUP           "}, Case{26, 1, 3, "                     "},
                   Case{26, 11, 2, " INPUT SETTINGS      "}, Case{26, 11, 3, " VRL SETUP           "},
                   Case{26, 5, 2, " NETWORK             "}, Case{26, 5, 3, " VRL SETUP           "},
                   Case{28, 10, 3, " INPUT RX SETTINGS   "}, Case{28, 11, 3, "                     "}}) {
        systemType(c.type);
        startRecordingTexts();
        gotoPage(c.page, 0);
        stopRecordingTexts();
        EXPECT_TRUE(drew(1, 1, c.line + 1, c.text)) << int(c.page) << " type " << int(c.type);
    }
}

TEST_F(MenuPagesTest, EthernetMenuSwitchesThePortAndOpensTheAddressPage)
{
    startRecordingTexts();
    gotoPage(46, 0);
    EXPECT_TRUE(drew(1, 14, 3, "[FRONT]")); // the front port first
    EXPECT_EQ(ethMenuPort(), 1);
    press(U);
    EXPECT_TRUE(drew(1, 14, 3, "[REAR] "));
    press(D);
    stopRecordingTexts();
    EXPECT_EQ(ethMenuPort(), 1);
    press(E);
    EXPECT_EQ(currentPage(), 3);
}

// The alarm flags as the alarm page's list gives them: (image, word, bit),
// bit -1 for a word above 1.
TEST_F(MenuPagesTest, EachAlarmFlagAloneGivesItsName)
{
    struct Flag {
        const char* name;
        int image, word, bit;
    };
    const Flag flags[] = {
        {"FWD UNDERPOWER", 1, 0, 30}, {"REFL. POWER ALM", 1, 0, 16}, {"INTERLOCK ALM", 2, 0, 19},
        {"LOCKOUT ALM", 1, 0, 20}, {"LOCKOUT WRN", 1, 0, 21}, {"FREQ REF. UNLOCK", 2, 0, 6},
        {"AMP TEMP LOCKOUT", 2, 1, 25}, {"AMP TEMP CRITICAL", 2, 1, 26}, {"AMP TEMP WRN", 2, 1, 27},
        {"AMP 28V ALM", 2, 1, 28}, {"AMP MUTE ALM", 2, 1, 29}, {"AMP MUTE LOCKOUT", 2, 1, 30},
        {"FAN ALM", 2, 1, 31}, {"FAN WRN", 2, 1, 16}, {"TEMPERATURE ALM", 2, 1, 17},
        {"TEMPERATURE WRN", 2, 1, 18}, {"MUTE ALM", 2, 1, 19}, {"AUDIO PLL ALM", 2, 1, 22},
        {"VCXO ALM", 2, 1, 23}, {"OUT FIFO ALM", 2, 1, 8}, {"RF PLL ALM", 2, 1, 9},
        {"AES EBU LOCK ALM", 2, 1, 10}, {"GPS UNLOCK", 2, 1, 14}, {"INT 1PPS ABSENT", 2, 1, 15},
        {"EXT 1PPS ABSENT", 2, 1, 0}, {"EXT 10MHZ ABSENT", 2, 1, 1}, {"AUX ALM", 2, 1, 3},
        {"MPX ALM", 2, 1, 4}, {"LEFT ALM", 2, 1, 7}, {"RIGHT ALM", 2, 2, 24}, {"PILOT ALM", 2, 2, 25},
        {"TMC ALM", 2, 2, 26}, {"TIME REF. UNLOCK", 2, 2, 16}, {"PRI. INPUT ALM", 2, 2, 8},
        {"SEC. INPUT ALM", 2, 2, 9}, {"RSV CFG CHANGED", 2, 0, 5}, {"RSV CFG INCOMP.", 2, 0, 4},
        {"RX RSSI MUTE", 5, 30, 25}, {"RX SNR  MUTE", 5, 30, 24}, {"RX ASSI200 MUTE", 5, 30, 26},
        {"RX RSSI ALARM", 5, 30, 17}, {"RX SNR ALARM", 5, 30, 16}, {"RX ASSI200 ALARM", 5, 30, 18},
        {"RX RSSI WARNING", 5, 30, 9}, {"RX SNR WARNING", 5, 30, 8}, {"RX ASSI200 WARNING", 5, 30, 10},
        {"SWR FOLDBACK WRN", 2, 2, 10}, {"PSU1 PRESENCE ALM", 2, 60, 22}, {"PSU2 PRESENCE ALM", 2, 60, 23},
        {"PSU3 PRESENCE ALM", 2, 60, 24}, {"PSU1 STATUS ALM", 2, 61, -1}, {"PSU2 STATUS ALM", 2, 62, -1},
        {"PSU3 STATUS ALM", 2, 63, -1},
    };
    ASSERT_EQ(std::size(flags), size_t(kAlarmCount));
    for (int i = 0; i < kAlarmCount; i++) {
        std::string name = flags[i].name;
        EXPECT_EQ(std::string(alarmName(i)), name + std::string(18 - name.size(), ' ')) << i;
    }
    for (uint8_t type : {10, 11}) {
        for (const Flag& f : flags) {
            resetDisplayState();
            for (int w = 0; w < kImageWords[f.image]; w++)
                setImageWord(f.image, w, 0);
            for (int img = 1; img <= 5; img++)
                for (int w = 0; w < kImageWords[img]; w++)
                    setImageWord(img, w, 0);
            setImageWord(3, 5, type);
            setImageWord(f.image, f.word, f.bit < 0 ? 2u : 1u << f.bit);
            const char* names[kAlarmCount];
            ASSERT_EQ(alarmList(names, kAlarmCount), 1) << f.name;
            EXPECT_EQ(std::string(names[0]).substr(0, strlen(f.name)), f.name);
            startRecordingTexts();
            gotoPage(4, 0);
            stopRecordingTexts();
            EXPECT_TRUE(drew(1, 3, 2, alarmName(static_cast<int>(&f - flags)))) << f.name;
        }
        // A PSU status of 1 is not an alarm.
        setImageWord(2, 63, 0);
        setImageWord(2, 61, 1);
        const char* names[kAlarmCount];
        EXPECT_EQ(alarmList(names, kAlarmCount), 0);
    }
    // Every flag set, other system types: the list is empty.
    for (int img = 1; img <= 5; img++)
        for (int w = 0; w < kImageWords[img]; w++)
            setImageWord(img, w, 0xFFFFFFFF);
    for (uint8_t type : {0, 1, 5, 9, 12}) {
        setImageWord(3, 5, 0xFFFFFF00u | type);
        const char* names[kAlarmCount];
        EXPECT_EQ(alarmList(names, kAlarmCount), 0) << int(type);
    }
}

TEST_F(MenuPagesTest, AlarmListScrollsWithItsMarkers)
{
    cell(4, 2, __builtin_bswap32(0xF0000000u)); // image-2 word 1 bits 28 to 31: four alarms
    systemType(10);
    startRecordingTexts();
    gotoPage(4, 0);
    EXPECT_TRUE(drew(1, 3, 2, "AMP 28V ALM       "));
    EXPECT_TRUE(drew(1, 3, 4, "AMP MUTE LOCKOUT  "));
    EXPECT_TRUE(drew(1, 21, 4, "\x83"));
    EXPECT_FALSE(drew(1, 21, 2, "\x82"));
    recordedTexts().clear();
    press(D);
    EXPECT_TRUE(drew(1, 3, 4, "FAN ALM           "));
    EXPECT_TRUE(drew(1, 21, 2, "\x82"));
    EXPECT_FALSE(drew(1, 21, 4, "\x83"));
    recordedTexts().clear();
    press(D); // already at the end: nothing is redrawn
    EXPECT_TRUE(recordedTexts().empty());
    press(U);
    EXPECT_TRUE(drew(1, 3, 2, "AMP 28V ALM       "));
    stopRecordingTexts();
    press(L);
    EXPECT_EQ(currentPage(), 2);
}

TEST_F(MenuPagesTest, GoldenPages)
{
    systemType(10);
    gotoPage(2, 0);
    expectGolden("menu_main");
    cell(4, 2, __builtin_bswap32(0xF0000000u));
    refreshAll();
    gotoPage(4, 0);
    expectGolden("alarms_four");
    cell(6, 2, 2505000);
    cell(6, 3, 53);
    cell(6, 5, 95);
    cell(6, 6, 2);
    refreshAll();
    gotoPage(5, 0);
    expectGolden("power_system");
    cell(12, 8, static_cast<uint32_t>(-1200));
    cell(12, 9, static_cast<uint32_t>(-600));
    cell(12, 7, 0);
    refreshAll();
    gotoPage(9, 0);
    expectGolden("level_bars");
    cell(17, 19, 1);
    cell(17, 20, 3);
    for (int i = 0; i < 12; i++)
        cell(2, 1 + i, static_cast<uint32_t>("SN1234567890"[i]));
    cell(1, 4, 2);
    cell(1, 5, 0);
    cell(1, 6, 12);
    cell(16, 4, 1);
    cell(16, 5, 7);
    cell(16, 6, 3);
    refreshAll();
    gotoPage(25, 0);
    expectGolden("about");
    local(false);
    gotoPage(2, 0);
    presses({D, D, D, E});
    EXPECT_EQ(currentPage(), 22);
    expectGolden("notice_remote");
    local(true);
    cell(49, 4, 1);
    cell(50, 11, 42);
    refreshAll();
    showNotice(10, 2);
    expectGolden("notice_upgrade");
}

TEST_F(MenuPagesTest, NoticeTableKeepsItsLines)
{
    struct Case {
        uint8_t notice;
        const char* l1;
        const char* l3;
        const char* l4;
    };
    for (Case c : {Case{0, "      WARNING !!     ", " CONFIGURATION PATH  ", "     NOT FOUND       "},
                   Case{3, "      WARNING !!     ", " CONFIGURATION PATH  ", "     NOT FOUND       "},
                   Case{5, "      WARNING !!     ", "  SYSTEM IS REMOTE   ", "                     "},
                   Case{8, "      WARNING !!     ", "  RXSAT CONFIG.FILE  ", "      NOT FOUND      "},
                   Case{14, "      WARNING !!     ", " FDBCK ECHO CANCELLER", "       IS OFF        "},
                   Case{18, "      WARNING !!     ", "  MIP/TPSMIP CONTROL ", "                     "}}) {
        const char* lines[3];
        ASSERT_TRUE(noticeLines(c.notice, lines)) << int(c.notice);
        EXPECT_STREQ(lines[0], c.l1);
        EXPECT_STREQ(lines[1], c.l3);
        EXPECT_STREQ(lines[2], c.l4);
    }
    const char* lines[3];
    EXPECT_FALSE(noticeLines(10, lines));
    EXPECT_FALSE(noticeLines(19, lines));
    const char* out[2];
    ASSERT_TRUE(noticeOutcome(12, 3, out));
    EXPECT_STREQ(out[1], "FAILURE LOADING FILE ");
    ASSERT_TRUE(noticeOutcome(11, 2, out));
    EXPECT_STREQ(out[1], "     FILE SAVED      ");
}

TEST_F(MenuPagesTest, UpgradeNoticeDrawsItsLinesByState)
{
    struct Case {
        uint32_t state;
        bool finalising;
        std::vector<RecordedText> lines;
    };
    const std::vector<Case> cases = {
        {1, false, {{1, 1, 1, "     FW UPGRADE      "}, {1, 1, 2, "---------------------"},
                    {1, 1, 3, "     In Progress     "}, {1, 1, 4, "                     "},
                    {1, 1, 4, "          42 %       "}}},
        {2, false, {{1, 1, 1, "     FW UPGRADE      "}, {1, 1, 2, "---------------------"},
                    {1, 1, 3, "   SYSTEM UPGRADED   "}, {1, 1, 4, "                     "}}},
        {3, false, {{1, 1, 1, "      WARNING !!     "}, {1, 1, 2, "                     "},
                    {1, 1, 3, "   UPGRADE FAILURE   "}, {1, 1, 4, "                     "}}},
        {1, true, {{1, 1, 1, "     FW UPGRADE      "}, {1, 1, 2, "---------------------"},
                   {1, 1, 3, "     Finalizing      "}, {1, 1, 4, "                     "},
                   {1, 1, 4, "         42 %        "}}},
    };
    for (const Case& c : cases) {
        cell(49, 4, c.state);
        cell(50, 11, 0x1200 | 42);
        cell(4, 3, c.finalising ? __builtin_bswap32(1u << 23) : 0);
        refreshAll();
        startRecordingTexts();
        showNotice(10, 2);
        stopRecordingTexts();
        EXPECT_EQ(recordedTexts(), c.lines) << c.state << " " << c.finalising;
    }
    // The percentage line blinks while in progress.
    cell(4, 3, 0);
    cell(49, 4, 1);
    refreshAll();
    showNotice(10, 2);
    startRecordingTexts();
    pageDraw(0, 0);
    pageDraw(0, 0);
    stopRecordingTexts();
    EXPECT_EQ(recordedTexts(), (std::vector<RecordedText>{{1, 1, 4, "                     "},
                                                           {1, 1, 4, "          42 %       "}}));
    // Finalising ends in "Finalized" and 100 %; LEFT does not leave.
    cell(4, 3, __builtin_bswap32(1u << 23));
    refreshAll();
    pageDraw(0, 0);
    cell(4, 3, 0);
    refreshAll();
    startRecordingTexts();
    pageDraw(0, 0);
    pageKey(L);
    stopRecordingTexts();
    EXPECT_TRUE(drew(1, 1, 3, "     Finalized       "));
    EXPECT_TRUE(drew(1, 1, 4, "        100 %        "));
    EXPECT_EQ(currentPage(), 22);
}

TEST_F(MenuPagesTest, MountAndUmountRunTheSystemProgramsOnce)
{
    // No key: unmounting does nothing.
    EXPECT_EQ(umountUsbKey(), 0);
    EXPECT_EQ(standinLog().find("umount"), std::string::npos);
    // Mounting without a device fails and says so through the status.
    EXPECT_NE(mountUsbKey(), 0);
    ASSERT_EQ(simUsbInsert(keyTree({"configuration/config_A"}).c_str()), 0);
    EXPECT_EQ(mountUsbKey(), 0);
    EXPECT_EQ(mountUsbKey(), 0); // already mounted: no second mount
    EXPECT_TRUE(fs::exists(host("/mnt/usbkey/configuration/config_A")));
    EXPECT_EQ(count(standinLog(), "mount -t vfat /dev/usbkey /mnt/usbkey\n"), 2u);
    EXPECT_NE(readSandboxFile("/proc/mounts").find("/dev/sda1 /mnt/usbkey vfat "), std::string::npos)
        << "the key's device node, as the daemon's mount check looks for it";
    EXPECT_EQ(umountUsbKey(), 0);
    EXPECT_NE(standinLog().find("umount -l /mnt/usbkey\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(host("/mnt/usbkey/configuration")));
    EXPECT_EQ(readSandboxFile("/proc/mounts").find("usbkey"), std::string::npos);
    simUsbRemove();
    EXPECT_FALSE(fs::exists(host("/dev/usbkey")));
}

TEST_F(MenuPagesTest, LoadingAConfigurationFromTheKey)
{
    if (!listen())
        GTEST_SKIP() << "no network namespace";
    insertKey(keyTree({"configuration/config_X", "configuration/other", "configuration/config_"}));
    gotoPage(2, 0);
    presses({D, D, D, E}); // USB
    ASSERT_EQ(currentPage(), 11);
    presses({E});          // CONFIGURATION DATA
    ASSERT_EQ(currentPage(), 13);
    startRecordingTexts();
    presses({D, E});       // LOAD: the file list
    stopRecordingTexts();
    ASSERT_EQ(currentPage(), 17);
    EXPECT_TRUE(drew(1, 4, 3, "config_X          "));
    EXPECT_FALSE(drew(1, 20, 4, "\x83")); // the only entry
    writes();
    press(E);
    ASSERT_EQ(currentPage(), 15);
    EXPECT_EQ(readSandboxFile("/tmp/configuration.xml.name"), "config_X");
    presses({R, E}); // YES
    EXPECT_EQ(currentPage(), 22);
    EXPECT_EQ(writes(), (std::vector<std::array<uint32_t, 3>>{{49, 2, 1}}));
    // An earlier outcome in the cell is not shown before the next refresh.
    startRecordingTexts();
    pageDraw(0, 0);
    EXPECT_FALSE(drew(1, 1, 3, "     FILE LOADED     "));
    cell(49, 5, 2);
    refreshAll();
    pageDraw(0, 0);
    stopRecordingTexts();
    EXPECT_TRUE(drew(1, 1, 3, "     FILE LOADED     "));
    press(L);
    EXPECT_EQ(currentPage(), 13);
}

TEST_F(MenuPagesTest, MissingFoldersAndEmptyListsGiveTheirNotices)
{
    insertKey(keyTree({"readme.txt"}));
    gotoPage(13, 0);
    presses({D, E});
    EXPECT_EQ(currentPage(), 22);
    EXPECT_EQ(displayState().noticeNumber, 0);
    press(L);
    EXPECT_EQ(currentPage(), 13);
    fs::create_directories(host("/mnt/usbkey/configuration"));
    presses({D, E});
    EXPECT_EQ(displayState().noticeNumber, 6); // only "." and ".."
    gotoPage(11, 0);
    presses({D, E}); // FIRMWARE UPDATE without the folder
    EXPECT_EQ(displayState().noticeNumber, 4);
    press(L);
    EXPECT_EQ(currentPage(), 11);
}

TEST_F(MenuPagesTest, ChoosingAnUpgradeFileNamesItAndRequestsTheUpgrade)
{
    if (!listen())
        GTEST_SKIP() << "no network namespace";
    insertKey(keyTree({"upgrade/upgrade_2.1.0.tar", "upgrade/LinEq_1", "upgrade/notes", "upgrade/LinEq_"}));
    gotoPage(11, 0);
    startRecordingTexts();
    presses({D, E});
    ASSERT_EQ(currentPage(), 17);
    EXPECT_TRUE(drew(1, 4, 3, "LinEq_1           "));
    EXPECT_TRUE(drew(1, 20, 4, "\x83"));
    presses({D});
    EXPECT_TRUE(drew(1, 4, 3, "upgrade_2.1.0.t   ")); // 15 characters shown
    stopRecordingTexts();
    writes();
    press(E);
    ASSERT_EQ(currentPage(), 16);
    EXPECT_EQ(readSandboxFile("/mnt/usbkey/upgrade/upgradeFilename.txt"), "upgrade_2.1.0.tar");
    press(E); // NO goes back to the key menu
    EXPECT_EQ(currentPage(), 11);
    EXPECT_TRUE(writes().empty());
    presses({D, E, D, E, L, E});
    ASSERT_EQ(currentPage(), 22);
    EXPECT_EQ(displayState().noticeNumber, 10);
    EXPECT_EQ(writes(), (std::vector<std::array<uint32_t, 3>>{{49, 1, 2}}));
}

TEST_F(MenuPagesTest, KeyRemovalAndRemoteLeaveTheKeyPages)
{
    insertKey(keyTree({"configuration/config_X", "upgrade/upgrade_1"}));
    for (uint8_t page = 11; page <= 17; page++) {
        displayState().usbPresent = 1;
        gotoPage(page, 0);
        ASSERT_EQ(currentPage(), page);
        displayState().usbPresent = 0;
        pageDraw(0, 0);
        EXPECT_EQ(currentPage(), 2) << int(page);
    }
    // Remote: the loop leaves the key pages; the USB item shows notice 5.
    displayState().usbPresent = 1;
    gotoPage(13, 0);
    local(false);
    displayTurn();
    EXPECT_EQ(currentPage(), 2);
    presses({D, D, D, E});
    EXPECT_EQ(currentPage(), 22);
    EXPECT_EQ(displayState().noticeNumber, 5);
    press(L);
    EXPECT_EQ(currentPage(), 2);
    // Local without a key: the USB item does nothing.
    local(true);
    displayState().usbPresent = 0;
    presses({D, D, D, E});
    EXPECT_EQ(currentPage(), 2);
}

TEST_F(MenuPagesTest, PresetsAreListedAndRequestedByTheirOwnNumber)
{
    if (!listen())
        GTEST_SKIP() << "no network namespace";
    std::vector<FileEntry> list;
    ASSERT_TRUE(buildPresetList(PRESET_SAVE, &list));
    ASSERT_EQ(list.size(), 8u);
    EXPECT_EQ(list[0].name, "Preset 1");
    EXPECT_EQ(list[7].name, "Preset 8");
    fs::create_directories(host("/mnt/ubi0/conf/preset"));
    EXPECT_FALSE(buildPresetList(PRESET_LOAD, &list));
    for (const char* f : {"cfg_5", "cfg_2", "cfg_", "cfg_x1", "other"})
        std::ofstream(host((std::string("/mnt/ubi0/conf/preset/") + f).c_str())) << "x";
    ASSERT_TRUE(buildPresetList(PRESET_LOAD, &list));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "Preset 2");
    EXPECT_EQ(list[1].name, "Preset 5");

    // Load the second entry: "Preset 5".
    gotoPage(18, 0);
    presses({D, E});
    ASSERT_EQ(currentPage(), 19);
    presses({D, E});
    ASSERT_EQ(currentPage(), 20);
    cell(15, 8, 2); // the previous request's outcome
    refreshAll();
    writes();
    testing::internal::CaptureStdout();
    presses({U, E});
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Carico cfg 5\n"), std::string::npos);
    EXPECT_EQ(writes(), (std::vector<std::array<uint32_t, 3>>{{15, 7, 5}}));
    ASSERT_EQ(currentPage(), 22);
    startRecordingTexts();
    pageDraw(0, 0);
    stopRecordingTexts();
    EXPECT_FALSE(drew(1, 1, 3, "     FILE LOADED     ")); // not the stale outcome
    press(L);
    EXPECT_EQ(currentPage(), 18);

    // Save to preset 3.
    presses({E, D, D, E});
    ASSERT_EQ(currentPage(), 21);
    presses({D, E});
    EXPECT_EQ(writes(), (std::vector<std::array<uint32_t, 3>>{{15, 5, 3}}));
    EXPECT_EQ(displayState().noticeNumber, 11);
    // An empty load list gives notice 4.
    for (const char* f : {"cfg_5", "cfg_2"})
        fs::remove(host((std::string("/mnt/ubi0/conf/preset/") + f).c_str()));
    gotoPage(18, 0);
    presses({D, E});
    EXPECT_EQ(displayState().noticeNumber, 4);
}

TEST_F(MenuPagesTest, HandOverFileIsReplacedWholeOrRemoved)
{
    EXPECT_EQ(writeHandOver(kConfigHandOver, "config_A"), 0);
    EXPECT_EQ(readSandboxFile("/tmp/configuration.xml.name"), "config_A");
    EXPECT_EQ(writeHandOver(kConfigHandOver, "config_B"), 0);
    EXPECT_EQ(readSandboxFile("/tmp/configuration.xml.name"), "config_B");
    EXPECT_FALSE(fs::exists(host("/tmp/configuration.xml.name.tmp")));
    // A hand-over that cannot be written leaves no earlier name behind.
    fs::create_directories(host("/tmp/configuration.xml.name.tmp/busy"));
    EXPECT_EQ(writeHandOver(kConfigHandOver, "config_C"), -1);
    EXPECT_FALSE(fs::exists(host("/tmp/configuration.xml.name")));
}

TEST_F(MenuPagesTest, LevelBarsFollowTheirLevelEveryHalfSecond)
{
    // Mpx at -40 dB (no bar), then at 0 dB: the bar ends under the "0"
    // of the scale once half a second has passed.
    cell(12, 8, static_cast<uint32_t>(-4000));
    refreshAll();
    gotoPage(9, 0);
    auto barAt = [](int x) { return getPixel(x, 16 + 8) != 0; };
    EXPECT_FALSE(barAt(60));
    cell(12, 8, 0);
    refreshAll();
    clockAdvanceUs(400000);
    pageDraw(0, 0);
    EXPECT_FALSE(barAt(60));
    clockAdvanceUs(200000);
    pageDraw(0, 0);
    EXPECT_TRUE(barAt(60));
    EXPECT_TRUE(barAt(227));
    EXPECT_FALSE(barAt(229));
}
