// The daemon's IPC channel end to end: clients in the daemon's network
// namespace write elements over netlink and read the result in DbPool, the
// configuration cycle applies and saves the change, and a client that never
// reads its replies does not stop the channel.
#include "testing/daemonSandbox.h"
#include "testing/dipcClient.h"
#include "testing/testSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <regex>
#include <thread>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = DipcBytes;

class IpcDaemonTest : public DaemonSandboxTest {
protected:
    void TearDown() override
    {
        for (int fd : clients)
            close(fd);
        if (pool)
            munmap(pool, 16384);
        DaemonSandboxTest::TearDown();
    }

    // Starts the daemon with the configuration-file debug lines on and
    // enters its network namespace; false when it cannot run here.
    bool startDaemon()
    {
        EXPECT_EQ(system(("mkdir -p " + root + "/dev/shm").c_str()), 0);
        std::ofstream(root + "/dev/shm/.vrl_debug") << "1000000\n"; // LB_XML
        if (!start())
            return false;
        EXPECT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
        EXPECT_EQ(nextNotify(20000), "READY=1");
        EXPECT_TRUE(enterNetNamespaceOf(pid));
        return true;
    }

    // A client on its own port, in the display's group.
    int client(uint32_t port, int rcvbuf = 0)
    {
        int fd = dipcClientOpen(port, rcvbuf);
        EXPECT_GE(fd, 0);
        clients.push_back(fd);
        return fd;
    }

    uint32_t cell(int s, int i)
    {
        if (!pool) {
            std::string path;
            if (DIR* d = opendir((root + "/dev/shm").c_str())) {
                while (dirent* e = readdir(d))
                    if (std::string(e->d_name).find("DbPool") != std::string::npos)
                        path = root + "/dev/shm/" + e->d_name;
                closedir(d);
            }
            int fd = path.empty() ? -1 : open(path.c_str(), O_RDONLY);
            if (fd < 0)
                return 0xdeadbeef;
            void* p = mmap(nullptr, 16384, PROT_READ, MAP_SHARED, fd, 0);
            close(fd);
            if (p == MAP_FAILED)
                return 0xdeadbeef;
            pool = static_cast<uint32_t*>(p);
        }
        return pool[(s - 1) * 64 + (i - 1)];
    }

    std::string file(const char* path) const
    {
        std::ifstream in(root + path);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::vector<int> clients;
    uint32_t* pool = nullptr;
};

// The first occurrence of a LB_XML line with `what` whose group word holds
// `bit`, at or after `from`; npos when none.
size_t lineWithGroup(const std::string& log, const char* what, uint32_t bit, size_t from = 0)
{
    for (size_t at = log.find(what, from); at != std::string::npos; at = log.find(what, at + 1)) {
        unsigned v = 0;
        if (sscanf(log.c_str() + at + strlen(what), "0x%X", &v) == 1 && (v & bit))
            return at;
    }
    return std::string::npos;
}

TEST_F(IpcDaemonTest, AWriteIsAnsweredPublishedAppliedAndSaved)
{
    if (!startDaemon())
        GTEST_SKIP() << "no namespaces for the daemon";
    uint32_t port = static_cast<uint32_t>(getpid()) | 0x400000u;
    int fd = client(port);
    ASSERT_TRUE(dipcSend(fd, port, dipcWrite(9, 20, 60)));
    auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(dipcReply(fd, 0x83, 3000), (Bytes{0xFC, 0x83, 9, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(cell(9, 20), 60u);

    // The apply of group 0x10 and, about five seconds later, its save.
    size_t applied = std::string::npos;
    ASSERT_TRUE(waitUntil(
        [&] { return (applied = lineWithGroup(file("/dev/shm/vrl_debug.log"), "ConfigChanged ", 0x10)) !=
                     std::string::npos; },
        5000))
        << file("/dev/shm/vrl_debug.log");
    ASSERT_TRUE(waitUntil(
        [&] { return lineWithGroup(file("/dev/shm/vrl_debug.log"), "SaveConfigChanged ", 0x10, applied) !=
                     std::string::npos; },
        15000))
        << file("/dev/shm/vrl_debug.log");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    EXPECT_GE(seconds, 4.0);
    // The save's debug line comes before the files are written.
    EXPECT_TRUE(waitUntil(
        [&] {
            return file("/mnt/ubi0/conf/configuration.xml").find("<frequency_deviation>60</frequency_deviation>") !=
                   std::string::npos;
        },
        30000));

    // Out of range: 13, nothing changes. A read gets no reply; writes after
    // it are still answered.
    ASSERT_TRUE(dipcSend(fd, port, dipcWrite(9, 20, 111)));
    EXPECT_EQ(dipcReply(fd, 0x83, 3000), (Bytes{0xFC, 0x83, 9, 0, 0, 0, 20, 0, 0, 0, 13, 0, 0, 0}));
    EXPECT_EQ(cell(9, 20), 60u);
    ASSERT_TRUE(dipcSend(fd, port, {0xFC, 0x02, 9, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(dipcReply(fd, 0x82, 1000).empty());
    ASSERT_TRUE(dipcSend(fd, port, dipcWrite(9, 20, 75)));
    EXPECT_EQ(dipcReply(fd, 0x83, 3000), (Bytes{0xFC, 0x83, 9, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(cell(9, 20), 75u);
    std::string book = file("/mnt/ubi0/log/VRL_Book.log");
    EXPECT_NE(book.find("READ Operation not allowed"), std::string::npos);
    EXPECT_NE(book.find("WRITE_REQ: ERRORE 13"), std::string::npos);
}

TEST_F(IpcDaemonTest, AClientThatNeverReadsDoesNotStopTheChannel)
{
    if (!startDaemon())
        GTEST_SKIP() << "no namespaces for the daemon";
    uint32_t floodPort = static_cast<uint32_t>(getpid()) | 0x500000u;
    int flood = client(floodPort, 1);
    int sent = 0;
    for (int i = 0; i < 400 && dipcSend(flood, floodPort, dipcWrite(19, 3, 5 + i % 100), MSG_DONTWAIT); i++)
        sent++;
    ASSERT_GT(sent, 50);
    uint32_t port = static_cast<uint32_t>(getpid()) | 0x600000u;
    int fd = client(port);
    ASSERT_TRUE(dipcSend(fd, port, dipcWrite(19, 6, 250)));
    EXPECT_EQ(dipcReply(fd, 0x83, 20000, 6), (Bytes{0xFC, 0x83, 19, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(cell(19, 6), 250u);
    EXPECT_NE(file("/mnt/ubi0/log/VRL_Book.log").find("send_msg_nl() [sendmsg] -- "), std::string::npos);
}

// A DCM frame as the unit sends it: escaped body, checksum, end byte.
Bytes unitFrame(uint8_t command, const Bytes& body)
{
    Bytes f = {0xFE, 0x00, command};
    for (uint8_t b : body) {
        if (b == 0xFE || b == 0xFC || b == 0xFD || (b >= 0x64 && b <= 0x69))
            f.push_back(0xFC);
        f.push_back(b);
    }
    f.push_back(0xFC);
    uint8_t sum = 0;
    for (uint8_t b : f)
        sum = static_cast<uint8_t>(sum + b);
    f.push_back(sum);
    f.push_back(0xFD);
    return f;
}

// An RF-detector unit at address 0 on the line: it answers the requests
// addressed to it, until silenced.
struct ScriptedRfDetector {
    int master = -1;
    std::atomic<bool> silent{false};
    std::atomic<bool> done{false};
    std::atomic<int> answered{0};
    std::thread thread;

    void run()
    {
        Bytes ident(36, 0);
        ident[0] = 0x11;
        ident[3] = 0x12;
        ident[4] = 0x34;
        ident[5] = 0x89;
        ident[6] = 0xAB;
        ident[7] = 0xCD;
        ident[8] = 0xEF;
        ident[9] = 0x55;
        ident[23] = 0x77;
        Bytes got;
        while (!done) {
            pollfd p = {master, POLLIN, 0};
            if (poll(&p, 1, 50) != 1)
                continue;
            uint8_t buf[256];
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0)
                continue;
            got.insert(got.end(), buf, buf + n);
            for (;;) {
                auto start = std::find(got.begin(), got.end(), uint8_t{0xFE});
                got.erase(got.begin(), start);
                size_t end = 1;
                while (end < got.size() && got[end] != 0xFD)
                    end += got[end] == 0xFC ? 2 : 1;
                if (end >= got.size())
                    break;
                Bytes f(got.begin(), got.begin() + static_cast<long>(end) + 1);
                got.erase(got.begin(), got.begin() + static_cast<long>(end) + 1);
                if (f.size() < 6 || f[1] != 0x00 || silent)
                    continue;
                Bytes reply;
                if (f[2] == 0x05) {
                    reply = unitFrame(0x83, {0x00});
                } else if (f[2] == 0x04 && f[4] == 1) {
                    Bytes body = {9, 1, 7};
                    body.insert(body.end(), ident.begin(), ident.end());
                    reply = unitFrame(0x84, body);
                } else if (f[2] == 0x04 && f[4] == 3) {
                    reply = unitFrame(0x8C, {6, 3, 6, 0x01, 0x02, 0xFF, 0xFE, 0x80, 0x00, 0x7F, 0xFF, 0x00, 0x00, 0xFF,
                                             0x00, 0x00, 0x00});
                } else if (f[2] == 0x04 && f[4] == 4) {
                    reply = unitFrame(0x84, {1, 4, 5, 1});
                }
                if (!reply.empty() && reply.size() <= 64 &&
                    ::write(master, reply.data(), reply.size()) == static_cast<ssize_t>(reply.size()))
                    answered++;
            }
        }
    }
};

TEST_F(IpcDaemonTest, AnRfDetectorUnitOnTtyS0IsPolledAndPublished)
{
    // A first run writes the configuration files; the unit is configured in
    // them for the second.
    if (!start())
        GTEST_SKIP() << "no namespaces for the daemon";
    ASSERT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    ASSERT_EQ(nextNotify(20000), "READY=1");
    std::string xml;
    ASSERT_TRUE(waitUntil([&] {
        xml = file("/mnt/ubi0/conf/configuration.xml");
        return xml.find("<Multi_amplifier_transmitter>") != std::string::npos &&
               xml.find("<Amplifier_number>") != std::string::npos;
    }, 20000));
    stop();
    xml = std::regex_replace(xml, std::regex("<Amplifier_number>[^<]*</Amplifier_number>"),
                             "<Amplifier_number>1</Amplifier_number>");
    xml = std::regex_replace(xml, std::regex("<Multi_amplifier_transmitter>[^<]*</Multi_amplifier_transmitter>"),
                             "<Multi_amplifier_transmitter>Multi_Amplifier</Multi_amplifier_transmitter>");
    std::ofstream(root + "/mnt/ubi0/conf/configuration.xml", std::ios::binary | std::ios::trunc) << xml;

    ScriptedRfDetector unit;
    unit.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(unit.master, 0);
    ASSERT_EQ(grantpt(unit.master), 0);
    ASSERT_EQ(unlockpt(unit.master), 0);
    ASSERT_EQ(symlink(ptsname(unit.master), (root + "/dev/ttyS0").c_str()), 0);
    unit.thread = std::thread([&] { unit.run(); });
    struct Stop {
        ScriptedRfDetector& u;
        ~Stop()
        {
            u.done = true;
            u.thread.join();
            close(u.master);
        }
    } stopUnit{unit};

    ASSERT_TRUE(startDaemon());
    EXPECT_TRUE(waitUntil([&] {
        return cell(60, 1) == 0x11 && cell(60, 2) == 0x1234 && cell(60, 3) == 0x89ABCDEFu && cell(60, 4) == 0x55 &&
               cell(60, 5) == 0x77;
    }, 20000)) << std::hex << cell(60, 1) << " " << cell(60, 2) << " " << cell(60, 3) << " " << unit.answered;
    EXPECT_TRUE(waitUntil([&] {
        return cell(60, 8) == 0x102 && cell(60, 9) == 0xFFFFFFFEu && cell(60, 10) == 0xFFFF8000u &&
               cell(60, 11) == 0x7FFF && cell(60, 12) == 0 && cell(60, 13) == 0xFFFFFF00u && cell(60, 7) == 1;
    }, 20000)) << std::hex << cell(60, 8) << " " << cell(60, 13);
    EXPECT_NE(file("/mnt/ubi0/log/VRL_Book.log").find("Unit on slot 0 CONNECTED"), std::string::npos);

    unit.silent = true;
    EXPECT_TRUE(waitUntil([&] {
        return file("/mnt/ubi0/log/VRL_Book.log").find("Unit on slot 0 DISCONNECTED") != std::string::npos;
    }, 20000)) << file("/mnt/ubi0/log/VRL_Book.log");

    // The display's writes are still answered on the IPC channel.
    uint32_t port = static_cast<uint32_t>(getpid()) | 0x700000u;
    int fd = client(port);
    ASSERT_TRUE(dipcSend(fd, port, dipcWrite(9, 20, 60)));
    EXPECT_EQ(dipcReply(fd, 0x83, 3000), (Bytes{0xFC, 0x83, 9, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0}));
}

} // namespace
