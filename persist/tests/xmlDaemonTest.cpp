// End-to-end: the daemon saves its configuration after a change, and a
// restarted daemon on the same sandbox loads and publishes it.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <regex>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

using XmlDaemon = DaemonSandboxTest;

// The save follows its countdown of a few seconds; on a loaded machine the
// saving thread can be starved far longer, so the wait is generous (it ends
// as soon as the file shows the change).
constexpr int kSaveWaitMs = 90000;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Cell (section, item) of the run's DbPool, read from its file in the
// sandbox's dev/shm; -1 when there is none.
int64_t dbPoolCell(const std::string& root, uint32_t section, uint32_t item)
{
    std::string pool;
    if (DIR* d = opendir((root + "/dev/shm").c_str())) {
        while (struct dirent* e = readdir(d))
            if (std::string(e->d_name).find("DbPool") != std::string::npos)
                pool = root + "/dev/shm/" + e->d_name;
        closedir(d);
    }
    std::string grid = readFile(pool);
    size_t at = ((section - 1) * 64 + (item - 1)) * 4;
    if (grid.size() < at + 4)
        return -1;
    uint32_t v;
    memcpy(&v, grid.data() + at, 4);
    return v;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

TEST_F(XmlDaemon, AChangedValueIsSavedAndARestartedDaemonLoadsAndPublishesIt)
{
    if (!start())
        GTEST_SKIP() << "no network, IPC and mount namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    ASSERT_EQ(nextNotify(5000), "READY=1");
    const std::string conf = root + "/mnt/ubi0/conf/";
    // No files at the first start: the load fails and the image is written
    // as it is; the data-format migration then changes VrlDataFormat, which
    // "SaveConfig Thread" saves after its countdown.
    std::string main;
    ASSERT_TRUE(waitUntil([&] {
        main = readFile(conf + "configuration.xml");
        return main.find("<VrlDataFormat>8</VrlDataFormat>") != std::string::npos;
    }, kSaveWaitMs)) << main;
    std::string book = readFile(root + "/mnt/ubi0/log/VRL_Book.log");
    EXPECT_NE(book.find("ERR: applyXmlConfigToSystemImage_Main FAILED\n"), std::string::npos);
    // configuration.xml is the first file a save writes: the one read here is whole.
    std::smatch deviation;
    ASSERT_TRUE(std::regex_search(main, deviation, std::regex("<frequency_deviation>\\d+</frequency_deviation>")))
        << main;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
    while (!nextNotify(100).empty()) {
    }

    // Edited while the daemon is down: an element, and an older data format
    // so that the next run changes and saves the configuration again. The
    // run may have been killed in the middle of writing the other files.
    std::string edited = replaced(main, deviation.str(), "<frequency_deviation>77</frequency_deviation>");
    writeFile(conf + "configuration.xml", replaced(edited, "<VrlDataFormat>8<", "<VrlDataFormat>7<"));

    ASSERT_TRUE(start());
    ASSERT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    ASSERT_EQ(nextNotify(5000), "READY=1");
    EXPECT_EQ(dbPoolCell(root, 9, 20), 77) << "frequency_deviation published from the file";
    ASSERT_TRUE(waitUntil([&] {
        main = readFile(conf + "configuration.xml");
        return main.find("<VrlDataFormat>8</VrlDataFormat>") != std::string::npos;
    }, kSaveWaitMs)) << main;
    // The power loop's last locked values are the running unit's own and
    // may be saved at any time; everything else comes back as edited.
    auto withoutLoopValues = [](std::string text) {
        for (const char* tag : {"last_valid_Vdac", "last_valid_HpsVout"})
            text = std::regex_replace(text, std::regex(std::string("<") + tag + ">-?\\d+</" + tag + ">"), "");
        return text;
    };
    EXPECT_EQ(withoutLoopValues(main), withoutLoopValues(edited)) << "saved back with the edited element unchanged";
    book = readFile(root + "/mnt/ubi0/log/VRL_Book.log");
    size_t failed = 0;
    const std::string fileFailed = " FAILED\n"; // applyXmlConfigToSystemImage_<file> FAILED
    for (size_t at = book.find(fileFailed); at != std::string::npos; at = book.find(fileFailed, at + 1))
        failed++;
    EXPECT_EQ(failed, 4u) << "only the first start's four missing files:\n" << book;
}

} // namespace
