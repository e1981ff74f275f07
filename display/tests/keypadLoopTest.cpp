// Keys, their acknowledgement, and the main loop turn by turn on the
// virtual clock.
#include "display/dbView.h"
#include "display/dipc.h"
#include "display/displayMain.h"
#include "display/keypad.h"
#include "display/lcd.h"
#include "display/pages.h"
#include "display/tests/displayTestSupport.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lumiro;

namespace {

const std::vector<uint8_t> kAck = {0xFC, 0x03, 0x0D, 0, 0, 0, 0x13, 0, 0, 0, 0, 0, 0, 0};

// The display's channel and a listener on its group, in a network
// namespace of the test's own.
class KeyTest : public DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        if (!privateNetwork())
            GTEST_SKIP() << "no network namespace";
        int fd = init_nl_ch(getpid(), DIPC_GROUP_DISPLAY, 0, kNetlinkProtocol);
        ASSERT_GT(fd, 0);
        setDisplaySocket(fd);
        listener = openGroupListener();
        ASSERT_GE(listener, 0);
    }
    void TearDown() override
    {
        if (listener >= 0)
            close(listener);
        DisplayTest::TearDown();
    }
    // Publishes a key word and refreshes image 2, as the loop does.
    static void keyWord(uint32_t w)
    {
        cell(13, 19, w);
        refreshTableCopy(0, 2, 264, nullptr, 1);
    }
    // Acknowledgements received since the last call.
    int acks()
    {
        int n = 0;
        std::vector<uint8_t> m;
        while (receiveMessage(listener, &m, 50)) {
            EXPECT_EQ(std::vector<uint8_t>(m.begin() + 16, m.end()), kAck);
            n++;
        }
        return n;
    }
    int listener = -1;
};

} // namespace

TEST_F(KeyTest, KeyWordsGiveTheirCodesAndEachAcceptedKeyIsAcknowledged)
{
    struct Case {
        uint32_t word;
        uint16_t code;
        const char* line;
    };
    for (Case c : {Case{0x0201, KEY_LEFT, "DSPL detectKeyPress : LEFT key pressed \n"},
                   Case{0x0202, KEY_ENTER, "DSPL detectKeyPress : ENTER key pressed \n"},
                   Case{0x0402, KEY_DOWN, "DSPL detectKeyPress : DOWN key pressed \n"},
                   Case{0x0102, KEY_UP, "DSPL detectKeyPress : UP key pressed\n"},
                   Case{0x0204, KEY_RIGHT, "DSPL detectKeyPress : RIGHT key pressed \n"},
                   Case{0x0205, KEY_LEFT, "DSPL detectKeyPress : LEFT key pressed \n"},
                   Case{0xFFFF0202, KEY_ENTER, "DSPL detectKeyPress : ENTER key pressed \n"},
                   Case{0x0802, KEY_NONE, ""}, Case{0x0002, KEY_NONE, ""}, Case{0x0200, KEY_NONE, ""},
                   Case{0, KEY_NONE, ""}}) {
        resetKeypad();
        keyWord(c.word);
        testing::internal::CaptureStdout();
        EXPECT_EQ(detectKeyPress(), c.code) << std::hex << c.word;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
        EXPECT_EQ(acks(), c.code ? 1 : 0) << std::hex << c.word;
    }
}

TEST_F(KeyTest, DebounceIsPerKeyAndLetsTheNextRowThrough)
{
    keyWord(0x0202);
    EXPECT_EQ(detectKeyPress(), KEY_ENTER);
    clockAdvanceUs(100000);
    EXPECT_EQ(detectKeyPress(), KEY_NONE);
    EXPECT_EQ(acks(), 1);
    keyWord(0x0201);
    EXPECT_EQ(detectKeyPress(), KEY_LEFT); // another key at once
    keyWord(0x0202);
    clockAdvanceUs(150000);
    EXPECT_EQ(detectKeyPress(), KEY_ENTER); // 250 ms after the first ENTER
    EXPECT_EQ(acks(), 2);

    // LEFT and RIGHT together: LEFT, then RIGHT while LEFT waits; LEFT's
    // 250 ms passed, the word still there is the same press. Once the cell
    // went back to 0 the word is a new press.
    resetKeypad();
    keyWord(0x0205);
    EXPECT_EQ(detectKeyPress(), KEY_LEFT);
    clockAdvanceUs(50000);
    EXPECT_EQ(detectKeyPress(), KEY_RIGHT);
    clockAdvanceUs(50000);
    EXPECT_EQ(detectKeyPress(), KEY_NONE);
    clockAdvanceUs(160000);
    EXPECT_EQ(detectKeyPress(), KEY_NONE);
    keyWord(0);
    EXPECT_EQ(detectKeyPress(), KEY_NONE);
    keyWord(0x0205);
    EXPECT_EQ(detectKeyPress(), KEY_LEFT);
    EXPECT_EQ(acks(), 3);
}

namespace {

// The loop from its start, one turn at a time.
class LoopTest : public KeyTest {
protected:
    void SetUp() override
    {
        KeyTest::SetUp();
        if (IsSkipped())
            return;
        closeNetlinkChannels();
        closeFramebuffer();
        closeDbPool();
        testing::internal::CaptureStdout();
        displayStart();
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("256x64, 16bpp\n"), std::string::npos);
        ASSERT_GT(displaySocket(), 0);
    }
    // Turns until image `image` was refreshed last.
    void turnsThrough(int n)
    {
        for (int i = 0; i < n; i++)
            displayTurn();
    }
    // Runs the turns up to the one that refreshes image 2 and reads keys
    // from it: the next turn.
    void toKeyTurn()
    {
        while (displayState().tableCopy != 1)
            displayTurn();
    }
    // A press as the daemon publishes it: the key word for one image-2
    // refresh, the turn that reads it, then the word cleared as the
    // acknowledgement does and seen cleared.
    void pressKey(uint32_t word, bool record = false)
    {
        cell(13, 19, word);
        toKeyTurn();
        if (record)
            startRecordingTexts();
        displayTurn();
        stopRecordingTexts();
        cell(13, 19, 0);
        toKeyTurn();
    }
    std::string blank() const { return readSandboxFile("/sys/class/graphics/fb0/blank"); }
};

} // namespace

TEST_F(LoopTest, ImagesAreRefreshedInTurnsTwoThreeFourFiveOne)
{
    cell(10, 2, 1);  // image 2 word 3
    cell(5, 11, 1);  // image 3 word 3
    cell(49, 3, 1);  // image 4 word 0
    cell(46, 1, 1);  // image 5 word 0
    cell(6, 2, 1);   // image 1 word 2
    const int order[] = {2, 3, 4, 5, 1};
    const int word[6] = {0, 2, 3, 3, 0, 0};
    for (int turn = 0; turn < 5; turn++) {
        displayTurn();
        for (int image = 1; image <= 5; image++) {
            bool done = false;
            for (int k = 0; k <= turn; k++)
                done = done || order[k] == image;
            EXPECT_EQ(imageWord(image, word[image]), done ? 1u : 0u) << "turn " << turn << " image " << image;
        }
    }
    EXPECT_EQ(displayState().tableCopy, 1);
}

TEST_F(LoopTest, StartPageGivesWayToTheStatusPageAndIdleBlankingComesAfterHalfAnHour)
{
    displayTurn();
    EXPECT_EQ(currentPage(), 1);
    clockAdvanceUs(1799LL * 1000000);
    displayTurn();
    EXPECT_EQ(displayState().blanked, 0);
    EXPECT_EQ(blank(), "0");
    gotoPage(9, 0);
    clockAdvanceUs(1000000);
    displayTurn();
    EXPECT_EQ(displayState().blanked, 1);
    EXPECT_EQ(blank(), "1");
    EXPECT_EQ(currentPage(), 1);
    acks();

    // A waking key goes to page 1's handler (DOWN opens page 9), then page
    // 1 is shown again and the screen lit.
    cell(13, 19, 0x0402);
    toKeyTurn();
    startRecordingTexts();
    displayTurn();
    stopRecordingTexts();
    EXPECT_EQ(displayState().lastKeyCode, KEY_DOWN);
    EXPECT_TRUE(drew(1, 1, 1, " dB -40 -18   -12 -9 -6 -3  0 +3"));
    EXPECT_EQ(currentPage(), 1);
    EXPECT_EQ(displayState().blanked, 0);
    EXPECT_EQ(blank(), "0");
    EXPECT_EQ(acks(), 1);
}

TEST_F(LoopTest, EventBlankBitBlanksWithoutLeavingThePage)
{
    displayTurn();
    gotoPage(2, 0);
    cell(4, 3, 1u << 14); // table-4 word 2 bit 22 once byte-reversed
    turnsThrough(5);
    EXPECT_EQ(blank(), "1");
    EXPECT_EQ(displayState().blanked, 0);
    EXPECT_EQ(currentPage(), 2);
    // A key lights it; the next turn blanks it again while the bit stays.
    cell(13, 19, 0x0201);
    toKeyTurn();
    displayTurn();
    EXPECT_EQ(blank(), "0");
    EXPECT_EQ(displayState().lastKeyCode, KEY_LEFT);
    turnsThrough(1);
    EXPECT_EQ(blank(), "1");
}

TEST_F(LoopTest, RebootBitRedrawsTheNoticeEveryFiveSecondsAndReadsNoKey)
{
    displayTurn();
    cell(4, 1, 0x01000000); // table-4 word 0 bit 0 once byte-reversed
    cell(13, 19, 0x0202);
    turnsThrough(4);
    for (int i = 0; i < 3; i++) {
        struct timespec a, b;
        clockGetTime(CLOCK_MONOTONIC_RAW, &a);
        startRecordingTexts();
        testing::internal::CaptureStdout();
        EXPECT_FALSE(displayTurn());
        std::string out = testing::internal::GetCapturedStdout();
        stopRecordingTexts();
        clockGetTime(CLOCK_MONOTONIC_RAW, &b);
        EXPECT_GE(elapsedUs(&a, &b), 5000000u);
        EXPECT_LT(elapsedUs(&a, &b), 5100000u);
        EXPECT_TRUE(drew(1, 1, 2, "           S Y S T E M          "));
        EXPECT_TRUE(drew(1, 1, 3, "        R E B O O T I N G       "));
        EXPECT_EQ(out.find("DSPL"), std::string::npos);
    }
    EXPECT_EQ(acks(), 0);
    EXPECT_EQ(displayState().lastKeyCode, 0);
}

TEST_F(LoopTest, UpgradeShowsTheNoticePageOnceAndRemoteLeavesTheUsbPages)
{
    displayTurn();
    cell(49, 4, 1);
    turnsThrough(3); // image 4
    EXPECT_EQ(currentPage(), 22);
    EXPECT_EQ(displayState().noticeNumber, 10);
    EXPECT_EQ(displayState().noticeReturn, 1);
    turnsThrough(5);
    EXPECT_EQ(displayState().noticeReturn, 1);
    cell(49, 4, 2);
    turnsThrough(5);

    // Local control (image-1 word 0 bit 24) keeps a USB page; remote
    // returns to the main menu.
    cell(4, 1, 0x00000001); // byte-reversed: bit 24
    std::ofstream(host("/dev/usbkey")); // a key is in: its pages stay
    turnsThrough(5);
    gotoPage(12, 0);
    turnsThrough(1);
    EXPECT_EQ(currentPage(), 12);
    cell(4, 1, 0);
    turnsThrough(5);
    EXPECT_EQ(currentPage(), 2);
}

TEST_F(LoopTest, KeysReachTheCurrentPageOnly)
{
    displayTurn();
    pressKey(0x0202); // ENTER on the status page opens the main menu
    EXPECT_EQ(currentPage(), 2);
    clockAdvanceUs(300000);
    gotoPage(24, 0);
    pressKey(0x0201); // LEFT on a page without a handler does nothing
    EXPECT_EQ(displayState().lastKeyCode, 0);
    EXPECT_EQ(currentPage(), 24);
    EXPECT_EQ(acks(), 2);
}

TEST_F(LoopTest, AKeyWordStillInTheCellAfterItsAcknowledgementIsTakenOnce)
{
    // The cell over the turns (50 ms each) from a turn that refreshes image
    // 2: the daemon clears it when it serves the acknowledgement, late under
    // load, and sets it again for a new press.
    constexpr uint32_t K = 0x0402, K2 = 0x0201;
    struct Step {
        int turns;
        uint32_t word;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int taken, acks;
    };
    const Case cases[] = {
        // Still there at the next two refreshes, then a new press.
        {"served late", {{15, K}, {5, 0}, {5, K}, {5, 0}}, 2, 2},
        // Acknowledged again once a second while it stays.
        {"never served", {{45, K}}, 1, 3},
        // Cleared between two refreshes of the copy, then a new press.
        {"cleared between refreshes", {{3, K}, {1, 0}, {6, K}, {5, 0}}, 2, 2},
        // Another key before the first one's acknowledgement was served.
        {"another key", {{3, K}, {7, K2}, {5, 0}}, 2, 2},
    };
    displayTurn();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cell(13, 19, 0);
        toKeyTurn();
        clockAdvanceUs(1000000);
        resetKeypad();
        acks();
        int taken = 0;
        for (const Step& s : c.steps) {
            cell(13, 19, s.word);
            for (int i = 0; i < s.turns; i++) {
                displayTurn();
                taken += displayState().lastKeyCode != 0;
                clockAdvanceUs(50000);
            }
        }
        EXPECT_EQ(taken, c.taken);
        EXPECT_EQ(acks(), c.acks);
    }
}

TEST_F(LoopTest, RepliesSentToTheDisplayAreTakenTurnByTurn)
{
    int peer = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, kNetlinkProtocol);
    ASSERT_GE(peer, 0);
    struct sockaddr_nl to = {};
    to.nl_family = AF_NETLINK;
    to.nl_pid = static_cast<uint32_t>(getpid());
    uint8_t msg[30] = {};
    nlmsghdr h = {};
    h.nlmsg_len = sizeof msg;
    h.nlmsg_type = 3;
    memcpy(msg, &h, sizeof h);
    msg[16] = 0xFC;
    msg[17] = 0x83;
    int sent = 0;
    for (int turn = 0; turn < 400; turn++) {
        for (int i = 0; i < 5; i++)
            if (sendto(peer, msg, sizeof msg, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to), sizeof to) == sizeof msg)
                sent++;
        displayTurn();
    }
    EXPECT_EQ(sent, 2000);
    uint8_t buf[64];
    EXPECT_LT(recv(displaySocket(), buf, sizeof buf, MSG_DONTWAIT), 0);
    EXPECT_EQ(errno, EAGAIN);
    close(peer);
}
