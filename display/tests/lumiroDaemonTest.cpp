// lumiro started by the real daemon: its frame-buffer lines, the status
// page on the LCD, a key from DbPool acknowledged to the daemon's group,
// and its end with the daemon.
#include "display/lcd.h"
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
    // The same screen drawn by this process in a sandbox of its own.
    static std::vector<uint16_t> reference(void (*draw)())
    {
        std::string mine = makeTestSandbox();
        EXPECT_EQ(lumiro::openFramebuffer(), 0);
        draw();
        std::ifstream in(mine + "/sim/fb0", std::ios::binary);
        std::vector<uint16_t> w(256 * 64);
        in.read(reinterpret_cast<char*>(w.data()), 256 * 64 * 2);
        lumiro::closeFramebuffer();
        removeTestSandbox(mine);
        return w;
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
    for (int i = 0; i < 256 * 64; i++) {
        int r = (words[i] >> 11) & 31, g = (words[i] >> 5) & 63, b = words[i] & 31;
        ASSERT_EQ(png.rgb[3 * i], (r << 3) | (r >> 2)) << i;
        ASSERT_EQ(png.rgb[3 * i + 1], (g << 2) | (g >> 4)) << i;
        ASSERT_EQ(png.rgb[3 * i + 2], (b << 3) | (b >> 2)) << i;
    }

    // A listener on the display's group in the daemon's network namespace.
    int ns = open(("/proc/" + std::to_string(pid) + "/ns/net").c_str(), O_RDONLY);
    ASSERT_GE(ns, 0);
    ASSERT_EQ(setns(ns, CLONE_NEWNET), 0);
    close(ns);
    int listener = openGroupListener();
    ASSERT_GE(listener, 0);

    // ENTER as the transmitter logic publishes it in (13, 19).
    uint32_t* pool = mapDbPool();
    ASSERT_NE(pool, nullptr);
    pool[12 * 64 + 18] = 0x0202;
    std::vector<uint8_t> m;
    bool got = false;
    while (!got && receiveMessage(listener, &m, 3000))
        got = m.size() == 30 && m[16] == 0xFC;
    ASSERT_TRUE(got);
    pool[12 * 64 + 18] = 0; // what the daemon's write handler will do
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

    // The main menu's text on the screen.
    std::vector<uint16_t> menu = reference([] { lumiro::gotoPage(2, 0); });
    EXPECT_TRUE(waitUntil([&] { return fb() == menu; }, 3000));
    close(listener);
    munmap(pool, 16384);

    // killall reaches it through its stand-in; the daemon starts it again.
    int status = -1;
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
