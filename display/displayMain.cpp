// lumiro: start-up and the 50 ms main loop.
#include "display/displayMain.h"

#include "display/dbView.h"
#include "display/dipc.h"
#include "display/keypad.h"
#include "display/lcd.h"
#include "display/pages.h"
#include "display/usbKey.h"
#include "platform/clock.h"
#include "platform/paths.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace lumiro {

namespace {

constexpr uint64_t kTurnPauseUs = 50000;
constexpr unsigned kRebootPauseS = 5;
constexpr int64_t kIdleBlankS = 1800;
constexpr uint8_t kNoticePage = 22;
constexpr uint8_t kUpgradeNotice = 10;
constexpr uint8_t kMainMenu = 2;

struct ImageRefresh {
    uint8_t image;
    uint8_t next;
    uint32_t bytes;
};

// Index n refreshes `image` and sets `next`.
constexpr ImageRefresh kRefresh[6] = {
    {0, 1, 0}, {2, 2, 264}, {3, 3, 248}, {4, 4, 136}, {5, 5, 128}, {1, 1, 64},
};

DisplayState& st()
{
    static DisplayState s = {0, 1, {}, {}, 0, 0, 0, 255, 0, 0, 0, 0};
    return s;
}

void usbKeyStep()
{
    struct stat sb;
    uint8_t present = stat(sysPath("/dev/usbkey").c_str(), &sb) == 0 ? 1 : 0;
    if (present != st().usbPresent) {
        if (present) {
            if (mountUsbKey() == 0)
                st().usbMounted = 1;
        } else {
            umountUsbKey();
        }
    }
    st().usbPresent = present;
}

} // namespace

DisplayState& displayState()
{
    st().page = currentPage();
    st().systemType = pageSystemType();
    return st();
}

void resetDisplayState()
{
    st() = DisplayState{0, 1, {}, {}, 0, 0, 0, 255, 0, 0, 0, 0};
}

void displayStart()
{
    initFramebuffer();
    clearScreen();
    int fd = init_nl_ch(getpid(), DIPC_GROUP_DISPLAY, 0, kNetlinkProtocol);
    if (fd < 0) {
        printf("lumiro: netlink channel not opened (%d)\n", fd);
        fd = -1;
    }
    setDisplaySocket(fd);
    initDbPool();
    initAxi();
    st().tableCopy = 1;
    clockGetTime(CLOCK_MONOTONIC_RAW, &st().lastKey);
    fflush(stdout);
}

bool displayTurn()
{
    DisplayState& s = st();
    clockGetTime(CLOCK_MONOTONIC_RAW, &s.now);

    // Replies to other clients share this socket's group: drop them.
    drainDisplaySocket();

    const ImageRefresh& r = kRefresh[s.tableCopy >= 1 && s.tableCopy <= 5 ? s.tableCopy : 1];
    refreshTableCopy(0, r.image, r.bytes, nullptr, 1);
    s.tableCopy = r.next;

    usbKeyStep();

    int64_t idle = s.now.tv_sec - s.lastKey.tv_sec;
    if (idle < 0)
        idle = -idle;
    if (idle >= kIdleBlankS && s.blanked == 0) {
        gotoPage(1, 0);
        setLcdBlank('1');
        s.blanked = 1;
    }
    if (imageWord(2, 2) & (1u << 22))
        setLcdBlank('1');

    if (imageWord(2, 0) & 1u) {
        drawRebootNotice();
        fflush(stdout);
        clockSleepSeconds(kRebootPauseS);
        return false;
    }

    uint16_t key = detectKeyPress();
    s.lastKeyCode = key;
    if (key != 0) {
        pageKey(key);
        clockGetTime(CLOCK_MONOTONIC_RAW, &s.lastKey);
        if (s.blanked == 1)
            gotoPage(1, 0);
        setLcdBlank('0');
        s.blanked = 0;
    }

    pageDraw(0, 0);

    if ((imageWord(4, 9) == 1 || (imageWord(2, 2) & (1u << 23))) && currentPage() != kNoticePage) {
        s.noticeReturn = currentPage();
        s.noticeNumber = kUpgradeNotice;
        gotoPage(kNoticePage, 0);
    }

    uint8_t page = currentPage();
    if (!(imageWord(1, 0) & (1u << 24)) && page >= 11 && page <= 17)
        gotoPage(kMainMenu, 0);

    s.page = currentPage();
    fflush(stdout);
    return true;
}

void displayRun()
{
    for (;;) {
        if (displayTurn())
            clockSleepUs(kTurnPauseUs);
    }
}

} // namespace lumiro
