// The audio path in the running daemon: the second core's module tool run
// once at start-up (start-up goes on when it fails), and the level measures
// of status words written at the simulated FPGA reaching DbPool.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <regex>
#include <sys/stat.h>

namespace {

using AudioDaemon = DaemonSandboxTest;

size_t countOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

TEST_F(AudioDaemon, ModuleLoadedOnceAndMeasuresPublished)
{
    // The module tool fails: start-up must still complete.
    mkdir((root + "/var").c_str(), 0755);
    mkdir((root + "/var/lib").c_str(), 0755);
    mkdir((root + "/var/lib/standin").c_str(), 0755);
    mkdir((root + "/var/lib/standin/status").c_str(), 0755);
    std::ofstream(root + "/var/lib/standin/status/insmod") << "1";
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(10000).rfind("MAINPID=", 0), 0u);
    ASSERT_EQ(nextNotify(5000), "READY=1");
    std::string standIns = file("/var/log/standin.log");
    EXPECT_EQ(countOf(standIns, "insmod /boot/tarn_amp.ko\n"), 1u) << standIns;

    // The nominal deviation and a stereo configuration on air come from the
    // saved configuration: the first run saves it, the second loads it edited.
    const std::string conf = "/mnt/ubi0/conf/configuration.xml";
    std::string main;
    ASSERT_TRUE(waitUntil([&] {
        main = file(conf);
        return main.find("</VrlDataFormat>") != std::string::npos;
    }, 20000)) << main;
    stop();
    main = std::regex_replace(main, std::regex("<frequency_deviation>\\d+</frequency_deviation>"),
                              "<frequency_deviation>75</frequency_deviation>");
    main = std::regex_replace(main, std::regex("<output_configuration>[^<]*</output_configuration>"),
                              "<output_configuration>Stereo_Analog</output_configuration>");
    std::ofstream(root + conf, std::ios::binary | std::ios::trunc) << main;
    ASSERT_TRUE(start());
    ASSERT_EQ(nextNotify(10000).rfind("MAINPID=", 0), 0u);
    ASSERT_EQ(nextNotify(5000), "READY=1");
    ASSERT_EQ(cell(9, 20), 75u);

    // Status words 2, 3 and 4 carry the MPX, left and right readings in their
    // low 16 bits.
    runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga write 0xFF200A08 19200 17280 8640");
    const std::pair<std::pair<uint32_t, uint32_t>, int64_t> expect[] = {
        {{12, 2}, 75000}, {{12, 7}, 0}, {{12, 3}, 67500}, {{12, 8}, 0}, {{12, 4}, 33750}, {{12, 9}, -6}};
    bool all = waitUntil([&] {
        for (auto& e : expect)
            if (static_cast<int32_t>(cell(e.first.first, e.first.second)) != e.second)
                return false;
        return true;
    }, 5000);
    for (auto& e : expect)
        EXPECT_EQ(static_cast<int32_t>(cell(e.first.first, e.first.second)), e.second)
            << "(" << e.first.first << "," << e.first.second << ")";
    EXPECT_TRUE(all);
}

} // namespace
