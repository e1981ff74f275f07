// lumiro started by the real daemon: its frame-buffer lines, the status
// page on the LCD, a key pressed on the simulated panel acknowledged to the
// daemon, and its end with the daemon.
#include "comtab/dbPool.h"
#include "display/dbView.h"
#include "display/lcd.h"
#include "display/pageSet.h"
#include "display/pages.h"
#include "display/tests/displayTestSupport.h"
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/netlink.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {

class LumiroDaemonTest : public DaemonSandboxTest {
protected:
    std::string out() const
    {
        std::ifstream in(root + "/corvane.out");
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::vector<uint16_t> fb() const
    {
        std::ifstream in(root + "/sim/fb0", std::ios::binary);
        std::vector<uint16_t> w(256 * 64);
        in.read(reinterpret_cast<char*>(w.data()), 256 * 64 * 2);
        return w;
    }
    // The daemon's DbPool, mapped from the sandbox's /dev/shm.
    uint32_t* mapDbPool()
    {
        std::string pool;
        if (DIR* d = opendir((root + "/dev/shm").c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name).find("DbPool") != std::string::npos)
                    pool = root + "/dev/shm/" + e->d_name;
            closedir(d);
        }
        int fd = pool.empty() ? -1 : open(pool.c_str(), O_RDWR);
        if (fd < 0)
            return nullptr;
        void* p = mmap(nullptr, 16384, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        close(fd);
        return p == MAP_FAILED ? nullptr : static_cast<uint32_t*>(p);
    }
    // The same screen drawn by this process in a sandbox of its own, with
    // a DbPool whose cells `cells` sets before lumiro's images are read.
    static std::vector<uint16_t> reference(const std::function<void()>& draw,
                                           const std::function<void()>& cells = nullptr)
    {
        std::string mine = makeTestSandbox();
        EXPECT_EQ(lumiro::openFramebuffer(), 0);
        initDbAreaContainer();
        if (cells)
            cells();
        lumiro::initDbPool();
        for (uint8_t image = 1; image <= 5; image++)
            lumiro::refreshTableCopy(0, image, 0, nullptr, 1);
        lumiro::resetPages();
        draw();
        std::ifstream in(mine + "/sim/fb0", std::ios::binary);
        std::vector<uint16_t> w(256 * 64);
        in.read(reinterpret_cast<char*>(w.data()), 256 * 64 * 2);
        lumiro::closeDbPool();
        lumiro::closeFramebuffer();
        removeTestSandbox(mine);
        return w;
    }
    // Pixels of a PNG of `scale` that differ from the frame buffer words
    // (all of them when the sizes differ).
    static int differences(const DecodedPng& png, const std::vector<uint16_t>& words, int scale)
    {
        if (png.width != 256 * scale || png.height != 64 * scale)
            return 256 * 64;
        int n = 0;
        for (int i = 0; i < 256 * 64; i++) {
            int r = (words[i] >> 11) & 31, g = (words[i] >> 5) & 63, b = words[i] & 31;
            size_t at = 3 * ((static_cast<size_t>(i / 256) * scale) * png.width + static_cast<size_t>(i % 256) * scale);
            n += png.rgb[at] != ((r << 3) | (r >> 2)) || png.rgb[at + 1] != ((g << 2) | (g >> 4)) ||
                 png.rgb[at + 2] != ((b << 3) | (b >> 2));
        }
        return n;
    }
};

bool processGone(pid_t p)
{
    std::ifstream stat("/proc/" + std::to_string(p) + "/stat");
    std::string s;
    std::getline(stat, s);
    return s.empty() || s.find(") Z ") != std::string::npos;
}

} // namespace

TEST_F(LumiroDaemonTest, DrawsTheStatusPageTakesAKeyAndEndsWithTheDaemon)
{
    ASSERT_EQ(system(("mkdir -p " + root + "/var/lib/standin").c_str()), 0);
    std::ofstream(root + "/var/lib/standin/lumiro_bin") << LUMIRO_BIN << "\n";
    if (!start())
        GTEST_SKIP() << "no namespaces for the daemon";
    ASSERT_TRUE(waitUntil([&] { return out().find("mapped to memory successfully.") != std::string::npos; }, 30000))
        << out();
    std::string o = out();
    EXPECT_NE(o.find("The framebuffer device was opened successfully.\n256x64, 16bpp\n"
                     "The framebuffer device was mapped to memory successfully.\n"),
              std::string::npos);

    // The status page: page 1's static text is on the screen.
    auto statusShown = [&] {
        std::vector<uint16_t> w = fb();
        for (int y = 48; y < 64; y++)
            for (int x = 0; x < 56; x++) // "Status:"
                if (w[x + 256 * y])
                    return true;
        return false;
    };
    ASSERT_TRUE(waitUntil(statusShown, 5000));
    // fbshot of the running sandbox equals its frame buffer (taken again
    // when the screen changed meanwhile).
    DecodedPng png;
    std::vector<uint16_t> words;
    for (int attempt = 0; attempt < 5; attempt++) {
        std::vector<uint16_t> before = fb();
        int status = -1;
        runInSandbox(root, std::string(CORVANE_TOOLS_DIR) + "/fbshot " + root + "/tmp/lcd.png --scale 1", &status);
        ASSERT_EQ(status, 0);
        words = fb();
        if (words == before)
            break;
    }
    std::string why;
    ASSERT_TRUE(decodePng(root + "/tmp/lcd.png", &png, &why)) << why;
    ASSERT_EQ(png.rgb.size(), 256u * 64 * 3);
    EXPECT_EQ(differences(png, words, 1), 0);

    // A listener on the display's group in the daemon's network namespace.
    int ns = open(("/proc/" + std::to_string(pid) + "/ns/net").c_str(), O_RDONLY);
    ASSERT_GE(ns, 0);
    ASSERT_EQ(setns(ns, CLONE_NEWNET), 0);
    close(ns);
    int listener = openGroupListener();
    ASSERT_GE(listener, 0);

    // ENTER held 150 ms on the simulated panel: the transmitter logic
    // publishes it in (13, 19), lumiro acknowledges it to the daemon.
    uint32_t* pool = mapDbPool();
    ASSERT_NE(pool, nullptr);
    int status = -1;
    runInSandbox(root, std::string(CORVANE_TOOLS_DIR) + "/simctl fpga press 0x0202 150", &status);
    ASSERT_EQ(status, 0);
    std::vector<uint8_t> m;
    bool got = false;
    while (!got && receiveMessage(listener, &m, 3000))
        got = m.size() == 30 && m[16] == 0xFC;
    ASSERT_TRUE(got);
    // The daemon takes the acknowledgement and clears the key cell.
    EXPECT_TRUE(waitUntil([&] { return out().find("reset MtxKeyPress to 0\n") != std::string::npos; }, 3000))
        << out();
    EXPECT_TRUE(waitUntil([&] { return pool[12 * 64 + 18] == 0; }, 3000));
    nlmsghdr h;
    memcpy(&h, m.data(), sizeof h);
    EXPECT_EQ(h.nlmsg_len, 30u);
    EXPECT_EQ(h.nlmsg_type, 3);
    EXPECT_EQ(h.nlmsg_flags, 1);
    EXPECT_EQ(h.nlmsg_seq, 0u);
    EXPECT_EQ(std::vector<uint8_t>(m.begin() + 16, m.end()),
              (std::vector<uint8_t>{0xFC, 0x03, 0x0D, 0, 0, 0, 0x13, 0, 0, 0, 0, 0, 0, 0}));
    pid_t lumiroPid = static_cast<pid_t>(h.nlmsg_pid);
    char exe[512] = {};
    ASSERT_GT(readlink(("/proc/" + std::to_string(lumiroPid) + "/exe").c_str(), exe, sizeof exe - 1), 0);
    EXPECT_EQ(std::string(exe), LUMIRO_BIN);
    ASSERT_TRUE(waitUntil([&] { return out().find("DSPL detectKeyPress : ENTER key pressed \n") != std::string::npos; },
                          3000));

    // The main menu's text on the screen. A machine too slow to let the key
    // go within the daemon's 270 ms repeat makes it a second press, which
    // lumiro takes as such (once each).
    auto count = [&](const std::string& what) {
        std::string text = out();
        size_t n = 0;
        for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at++)
            n++;
        return n;
    };
    size_t presses = count("\ndetectKeyPress : ENTER key pressed \n");
    if (presses == 1) {
        std::vector<uint16_t> menu = reference([] { lumiro::gotoPage(2, 0); });
        EXPECT_TRUE(waitUntil([&] { return fb() == menu; }, 3000));
    } else {
        EXPECT_TRUE(waitUntil([&] { return count("DSPL detectKeyPress : ENTER key pressed \n") == presses; }, 3000));
    }
    close(listener);
    munmap(pool, 16384);

    // killall reaches it through its stand-in; the daemon starts it again.
    runInSandbox(root, root + "/usr/bin/killall lumiro", &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(waitUntil([&] { return processGone(lumiroPid); }, 5000));
    auto starts = [&] {
        std::string text = out();
        size_t n = 0;
        for (size_t at = 0; (at = text.find("256x64, 16bpp\n", at)) != std::string::npos; at++)
            n++;
        return n;
    };
    ASSERT_TRUE(waitUntil([&] { return starts() == 2; }, 10000)) << out();
    pid_t again = -1;
    ASSERT_TRUE(waitUntil(
        [&] {
            DIR* d = opendir("/proc");
            while (dirent* e = d ? readdir(d) : nullptr) {
                char exe[512] = {};
                std::string p = std::string("/proc/") + e->d_name + "/exe";
                if (readlink(p.c_str(), exe, sizeof exe - 1) > 0 && std::string(exe) == LUMIRO_BIN &&
                    atoi(e->d_name) != lumiroPid && !processGone(atoi(e->d_name))) {
                    std::ifstream env(std::string("/proc/") + e->d_name + "/environ");
                    std::string all((std::istreambuf_iterator<char>(env)), std::istreambuf_iterator<char>());
                    if (all.find("CORVANE_ROOT=" + root + std::string(1, '\0')) != std::string::npos)
                        again = atoi(e->d_name);
                }
            }
            if (d)
                closedir(d);
            return again > 0;
        },
        5000));

    // The program ends with the daemon that started it.
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
    EXPECT_TRUE(waitUntil([&] { return processGone(again); }, 5000));
}

namespace {

// The front panel as an operator uses it: keys pressed on the simulated key
// matrix through simctl, each press waiting for lumiro's acknowledgement.
class FrontPanelDaemonTest : public LumiroDaemonTest {
protected:
    static constexpr uint16_t kLocal = 0x0401, kLeft = 0x0201, kEnter = 0x0202, kUp = 0x0102, kDown = 0x0402,
                              kRight = 0x0204;
    // Lines of lumiro's key detection, and of the transmitter logic's.
    size_t acks() const { return lines("\nDSPL detectKeyPress :"); }
    size_t reports() const { return lines("\ndetectKeyPress :"); }
    size_t lines(const std::string& what) const
    {
        std::string text = out();
        size_t n = 0;
        for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at++)
            n++;
        return n;
    }
    // One press: the daemon reports the key once, lumiro takes it once and
    // acknowledges it, and the daemon clears (13, 19). The pause keeps the
    // next press of the same key past the daemon's repeat time.
    void press(uint16_t code)
    {
        size_t before = acks(), reported = reports();
        int status = -1;
        char cmd[64];
        snprintf(cmd, sizeof cmd, "/simctl fpga press 0x%04x", code);
        runInSandbox(root, std::string(CORVANE_TOOLS_DIR) + cmd, &status);
        ASSERT_EQ(status, 0);
        ASSERT_TRUE(waitUntil([&] { return acks() > before; }, 5000)) << "key 0x" << std::hex << code;
        ASSERT_TRUE(waitUntil([&] { return pool[12 * 64 + 18] == 0; }, 5000)); // (13, 19) acknowledged
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_EQ(reports(), reported + 1) << "key 0x" << std::hex << code << " held past the daemon's repeat time";
        ASSERT_EQ(acks(), before + 1) << "key 0x" << std::hex << code << " taken twice";
    }
    void walk(std::initializer_list<std::initializer_list<uint16_t>> groups)
    {
        for (const auto& keys : groups)
            for (uint16_t k : keys)
                ASSERT_NO_FATAL_FAILURE(press(k));
    }
    // The LOCAL key is the daemon's alone (lumiro does not acknowledge it):
    // held until the transmitter logic stores the control mode (EEPROM item
    // 1 of the emulation file's active bank).
    void pressLocal()
    {
        int status = -1;
        runInSandbox(root, std::string(CORVANE_TOOLS_DIR) + "/simctl fpga press 0x0401", &status);
        ASSERT_EQ(status, 0);
        ASSERT_TRUE(waitUntil(
            [&] {
                std::string img = file("/mnt/ubi0/conf/EE_File.img");
                return img.size() >= 8320 && img[(img[79] == 0 ? 128 : 4224) + 1] == 1;
            },
            10000));
    }
    // The daemon ready (its link loop serves the acknowledgements), lumiro
    // up (the daemon's output starts anew with each run) and DbPool mapped.
    void waitForPanel()
    {
        ASSERT_EQ(nextNotify(15000), "MAINPID=" + std::to_string(pid));
        ASSERT_EQ(nextNotify(15000), "READY=1");
        ASSERT_TRUE(waitUntil([&] { return out().find("mapped to memory successfully.") != std::string::npos; }, 30000))
            << out();
        if (pool)
            munmap(pool, 16384);
        pool = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (pool = mapDbPool()) != nullptr; }, 5000));
    }
    // The keys that turn the address field shown as `from` into `to` in
    // editing mode, the cursor on the first digit: each differing digit
    // reached the shorter way round and stepped the shorter way (a
    // hundreds digit counts 0 to 2, an octet stops at 255).
    static std::vector<uint16_t> typeAddress(uint32_t from, uint32_t to)
    {
        auto digitOf = [](uint32_t a, int d) {
            int o = static_cast<int>(a >> (24 - 8 * (d / 3)) & 0xFF);
            return d % 3 == 0 ? o / 100 : d % 3 == 1 ? o / 10 % 10 : o % 10;
        };
        auto step = [](uint32_t a, int d, bool up) {
            int shift = 24 - 8 * (d / 3), o = static_cast<int>(a >> shift & 0xFF);
            if (d % 3 == 0)
                o = (o / 100 + (up ? 1 : 2)) % 3 * 100 + o % 100;
            else if (d % 3 == 1)
                o = o / 100 * 100 + (o / 10 % 10 + (up ? 1 : 9)) % 10 * 10 + o % 10;
            else
                o = o / 10 * 10 + (o % 10 + (up ? 1 : 9)) % 10;
            return (a & ~(0xFFu << shift)) | static_cast<uint32_t>(o > 255 ? 255 : o) << shift;
        };
        std::vector<uint16_t> keys;
        int at = 0;
        for (int d = 0; d < 12; d++) {
            if (digitOf(from, d) == digitOf(to, d))
                continue;
            int right = (d - at + 12) % 12;
            keys.insert(keys.end(), right <= 6 ? right : 12 - right, right <= 6 ? kRight : kLeft);
            at = d;
            uint32_t up = from, down = from;
            int nUp = 0, nDown = 0;
            while (digitOf(up, d) != digitOf(to, d) && nUp < 10)
                up = step(up, d, true), nUp++;
            while (digitOf(down, d) != digitOf(to, d) && nDown < 10)
                down = step(down, d, false), nDown++;
            keys.insert(keys.end(), std::min(nUp, nDown), nUp <= nDown ? kUp : kDown);
            from = nUp <= nDown ? up : down;
        }
        EXPECT_EQ(from, to) << "no key sequence found";
        return keys;
    }
    bool local() const { return ((__builtin_bswap32(pool[3 * 64]) >> 24) & 1) != 0; }
    uint32_t cellOf(int table, int element) const { return pool[(table - 1) * 64 + element - 1]; }
    uint32_t* pool = nullptr;
};

} // namespace

TEST_F(FrontPanelDaemonTest, LevelSteppedOnThePanelReachesTheCellAndTheFilesOnlyInLocal)
{
    ASSERT_EQ(system(("mkdir -p " + root + "/var/lib/standin").c_str()), 0);
    std::ofstream(root + "/var/lib/standin/lumiro_bin") << LUMIRO_BIN << "\n";
    if (!start())
        GTEST_SKIP() << "no namespaces for the daemon";
    ASSERT_NO_FATAL_FAILURE(waitForPanel());
    ASSERT_EQ(cellOf(3, 3), 11u); // the default system type: the input settings are offered
    int32_t before = static_cast<int32_t>(cellOf(9, 8));
    ASSERT_LE(before + 10, 180);
    // Status page, main menu, CONFIGURATIONS, INPUT SETTINGS, INPUT LEVELS.
    const std::initializer_list<uint16_t> toLevels = {kEnter, kDown, kDown, kEnter, kDown, kEnter, kDown, kEnter};

    // A new unit is in REMOTE: a change opens the notice and the cell keeps its value.
    ASSERT_FALSE(local());
    std::vector<uint16_t> notice = reference([] { lumiro::showNotice(13, 30); });
    ASSERT_NO_FATAL_FAILURE(walk({toLevels, {kEnter}}));
    EXPECT_TRUE(waitUntil([&] { return fb() == notice; }, 3000));
    EXPECT_EQ(static_cast<int32_t>(cellOf(9, 8)), before);

    // LOCAL on the running daemon; LEFT leaves the notice for its page, then
    // L stepped by its tens digit and APPLY: the cell, then the file after
    // the save countdown.
    ASSERT_NO_FATAL_FAILURE(pressLocal());
    ASSERT_TRUE(waitUntil([&] { return local(); }, 10000)) << out();
    ASSERT_NO_FATAL_FAILURE(walk({{kLeft, kEnter, kRight, kUp, kEnter, kEnter}}));
    EXPECT_TRUE(waitUntil([&] { return static_cast<int32_t>(cellOf(9, 8)) == before + 10; }, 10000))
        << static_cast<int32_t>(cellOf(9, 8));
    std::string want = "<level_left_dBu>" + std::to_string(before + 10) + "</level_left_dBu>";
    EXPECT_TRUE(waitUntil([&] { return file("/mnt/ubi0/conf/configuration.xml").find(want) != std::string::npos; },
                          15000));
    munmap(pool, 16384);
}

TEST_F(FrontPanelDaemonTest, FrontAddressEnteredOnPage3ReachesTheCellAndTheInterface)
{
    ASSERT_EQ(system(("mkdir -p " + root + "/var/lib/standin").c_str()), 0);
    std::ofstream(root + "/var/lib/standin/lumiro_bin") << LUMIRO_BIN << "\n";
    if (!start())
        GTEST_SKIP() << "no namespaces for the daemon";
    ASSERT_NO_FATAL_FAILURE(waitForPanel());
    ASSERT_EQ(cellOf(3, 3), 11u); // the configuration menu offers VRL SETUP third
    ASSERT_NO_FATAL_FAILURE(pressLocal());
    ASSERT_TRUE(waitUntil([&] { return local(); }, 10000)) << out();

    // Status page, main menu, CONFIGURATIONS, VRL SETUP, ETH CONFIGURATION,
    // [FRONT]: page 3 in view mode on the address. The address and then the
    // netmask typed from what the page shows (the cells it reads), the
    // gateway left at 0.0.0.0; ENTER ends each field on APPLY, UP twice
    // goes from APPLY to the netmask.
    constexpr uint32_t kAddress = 0xC0A8010A, kNetmask = 0xFFFFFF00; // 192.168.1.10/24
    ASSERT_EQ(cellOf(18, 5), 0u);
    std::vector<uint16_t> address = typeAddress(cellOf(18, 3), kAddress);
    std::vector<uint16_t> netmask = typeAddress(cellOf(18, 4), kNetmask);
    ASSERT_FALSE(HasFailure());
    std::vector<uint16_t> keys = {kEnter, kDown, kDown, kEnter, kDown, kDown, kEnter, kDown, kEnter, kEnter, kEnter};
    keys.insert(keys.end(), address.begin(), address.end());
    keys.insert(keys.end(), {kEnter, kUp, kUp, kEnter});
    keys.insert(keys.end(), netmask.begin(), netmask.end());
    keys.insert(keys.end(), {kEnter, kEnter});
    for (uint16_t k : keys)
        ASSERT_NO_FATAL_FAILURE(press(k));

    // The cells read back the address entered, and eth0 of the daemon's
    // network namespace has it.
    EXPECT_TRUE(waitUntil([&] { return cellOf(18, 3) == kAddress && cellOf(18, 4) == kNetmask; }, 10000))
        << std::hex << cellOf(18, 3) << " " << cellOf(18, 4);
    EXPECT_EQ(cellOf(18, 5), 0u);
    std::string shown;
    EXPECT_TRUE(waitUntil(
        [&] {
            shown = runInSandbox(root, "nsenter --net=/proc/" + std::to_string(pid) + "/ns/net ip -4 addr show eth0");
            return shown.find("inet 192.168.1.10/24 ") != std::string::npos;
        },
        10000))
        << shown;

    // The screen: page 3 in view mode with the address read back, as
    // lumiro draws it from those cells, and DIR/lcd.png (fbshot's picture,
    // as ./run keeps it) shows it. Until the daemon has stored the address
    // the page shows the cells' old values: wait for it to settle.
    std::vector<uint16_t> page3 = reference(
        [] {
            startRecordingTexts();
            lumiro::gotoPage(3, 0);
            stopRecordingTexts();
        },
        [] {
            setDbAreaCell(3, 3, 11);
            setDbAreaCell(18, 3, kAddress);
            setDbAreaCell(18, 4, kNetmask);
            setDbAreaCell(18, 5, 0);
        });
    EXPECT_TRUE(drew(1, 7, 1, "192.168.  1. 10"));
    EXPECT_TRUE(drew(1, 7, 2, "255.255.255.  0"));
    EXPECT_TRUE(drew(1, 7, 3, "  0.  0.  0.  0"));
    int differing = -1;
    std::string why;
    EXPECT_TRUE(waitUntil(
        [&] {
            int status = -1;
            runInSandbox(root, std::string(CORVANE_TOOLS_DIR) + "/fbshot " + root + "/lcd.png", &status);
            DecodedPng png;
            differing = status == 0 && decodePng(root + "/lcd.png", &png, &why) ? differences(png, page3, 4) : -1;
            return differing == 0;
        },
        15000, 200))
        << differing << " pixels differ " << why;
    munmap(pool, 16384);
}
