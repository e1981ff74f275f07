// End-to-end: the daemon with the internal RDS encoder on air and UECP on,
// fed by a test holding the pseudo-terminal of /dev/ttyS1. What goes on air is
// read at the simulated FPGA and decoded from the standard.
#include "testing/daemonSandbox.h"
#include "testing/rdsDecoder.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <regex>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using UecpDaemon = DaemonSandboxTest;
using Bytes = std::vector<uint8_t>;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string withElement(const std::string& xml, const std::string& name, const std::string& value)
{
    return std::regex_replace(xml, std::regex("<" + name + ">[^<]*</" + name + ">"),
                              "<" + name + ">" + value + "</" + name + ">");
}

// The PI (block 1) of each group on air, oldest first.
std::vector<int> pisOnAir(const std::string& root)
{
    std::istringstream lines(runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga rds groups"));
    std::vector<int> pis;
    std::string line;
    while (std::getline(lines, line))
        if (line.size() >= 4)
            pis.push_back(std::stoi(line.substr(0, 4), nullptr, 16));
    return pis;
}

void send(int master, const Bytes& b)
{
    ASSERT_EQ(write(master, b.data(), b.size()), static_cast<ssize_t>(b.size()));
}

// CRC-16/GENIBUS, written here from its catalogue parameters (bitwise).
uint16_t genibus(const Bytes& b)
{
    uint16_t crc = 0xFFFF;
    for (uint8_t x : b) {
        crc ^= static_cast<uint16_t>(x << 8);
        for (int i = 0; i < 8; i++)
            crc = static_cast<uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

Bytes piFrame(uint16_t pi, uint8_t sqc)
{
    Bytes body = {0x00, 0x00, sqc, 0x05, 0x01, 0x00, 0x00, static_cast<uint8_t>(pi >> 8), static_cast<uint8_t>(pi)};
    uint16_t crc = genibus(body);
    body.push_back(static_cast<uint8_t>(crc >> 8));
    body.push_back(static_cast<uint8_t>(crc));
    Bytes out = {0xFE};
    for (uint8_t b : body) {
        if (b >= 0xFD) {
            out.push_back(0xFD);
            out.push_back(static_cast<uint8_t>(b - 0xFD));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0xFF);
    return out;
}

TEST_F(UecpDaemon, FramesOnTheLineReachTheAir)
{
    // A first run writes the configuration files; the test then puts the
    // internal encoder on air, UECP on and the PI to UECP.
    if (!start())
        GTEST_SKIP() << "no network, IPC and mount namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    ASSERT_EQ(nextNotify(5000), "READY=1");
    const std::string conf = root + "/mnt/ubi0/conf/configuration.xml";
    std::string xml;
    ASSERT_TRUE(waitUntil([&] {
        xml = readFile(conf);
        return xml.find("<VrlDataFormat>8</VrlDataFormat>") != std::string::npos;
    }, 20000));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
    while (!nextNotify(100).empty()) {
    }
    ASSERT_NE(xml.find("<output_configuration>"), std::string::npos);
    ASSERT_NE(xml.find("<UECP_Interface>"), std::string::npos);
    ASSERT_NE(xml.find("<CustomPI>"), std::string::npos);
    xml = withElement(xml, "output_configuration", "Stereo_Analog_RdsInt");
    xml = withElement(xml, "UECP_Interface", "Enable");
    xml = withElement(xml, "CustomPI", "Disable");
    // This first run's image holds no RDS defaults: the data set's items are
    // written here.
    xml = withElement(xml, "Current_RDS_DSN", "1");
    for (const char* item : {"CustomPS", "CustomPTY", "CustomTP", "CustomCT"})
        xml = withElement(xml, item, "Enable");
    xml = withElement(xml, "StaticPS0_1", std::to_string(0x7461726Eu)); // "tarn"
    xml = withElement(xml, "StaticPS0_2", std::to_string(0x2076726Cu)); // " vrl"
    xml = withElement(xml, "PTY", "11");
    std::ofstream(conf, std::ios::binary | std::ios::trunc) << xml;

    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    ASSERT_EQ(symlink(ptsname(master), (root + "/dev/ttyS1").c_str()), 0);

    ASSERT_TRUE(start());
    ASSERT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    ASSERT_EQ(nextNotify(5000), "READY=1");
    ASSERT_NE(readFile(root + "/corvane.out").find("UECP      Registered"), std::string::npos)
        << readFile(root + "/corvane.out");

    auto onlyPi0 = [&] {
        for (int pi : pisOnAir(root))
            if (pi != 0)
                return false;
        return true;
    };
    // Groups are on air, none with a PI yet.
    ASSERT_TRUE(waitUntil([&] { return !pisOnAir(root).empty(); }, 5000))
        << runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga rds") << readFile(root + "/corvane.out");
    usleep(1000000);
    EXPECT_TRUE(onlyPi0());

    // A frame with a wrong CRC and one of MFL 0 change nothing.
    Bytes wrong = piFrame(0x1234, 1);
    wrong[wrong.size() - 2] ^= 0x01;
    send(master, wrong);
    send(master, {0xFE, 0x00, 0x00, 0xFD, 0x01, 0x00, 0x4B, 0xF1, 0xFF});
    usleep(2000000);
    EXPECT_TRUE(onlyPi0());

    // The published PI frame.
    send(master, {0xFE, 0x00, 0x00, 0xFD, 0x01, 0x05, 0x01, 0x00, 0x00, 0x00, 0xFD, 0x02, 0x0D, 0x3D, 0xFF});
    RdsDecoded d;
    ASSERT_TRUE(waitUntil([&] {
        d = rdsDecodeBits(runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga rds bits"));
        return d.pi == 0x00FF && d.ps == "tarn vrl" && d.mjd >= 0;
    }, 30000)) << "PI " << d.pi << " PS '" << d.ps << "' MJD " << d.mjd;
    EXPECT_EQ(d.syndromeErrors, 0);
    EXPECT_EQ(d.pty, 11);
    time_t now = time(nullptr);
    struct tm utc = {};
    gmtime_r(&now, &utc);
    long mjd = static_cast<long>(now / 86400) + 40587;
    EXPECT_EQ(d.mjd, mjd);
    EXPECT_LE(std::abs((d.hour * 60 + d.minute) - (utc.tm_hour * 60 + utc.tm_min)) % (24 * 60 - 1), 2)
        << d.hour << ":" << d.minute;

    // A cut frame followed at once by a good one: only the cut one is lost.
    Bytes cut = piFrame(0x4444, 2);
    cut.resize(8);
    Bytes good = piFrame(0x5678, 3);
    cut.insert(cut.end(), good.begin(), good.end());
    send(master, cut);
    ASSERT_TRUE(waitUntil([&] {
        std::vector<int> pis = pisOnAir(root);
        return pis.size() > 4 && pis.back() == 0x5678 && pis[pis.size() - 4] == 0x5678;
    }, 10000));
    for (int pi : pisOnAir(root))
        EXPECT_NE(pi, 0x4444);

    // Nothing ever came back on the line.
    struct pollfd p = {master, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
    close(master);
}

} // namespace
