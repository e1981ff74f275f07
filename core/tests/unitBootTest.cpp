// End-to-end: the daemon boots on a board whose EEPROM holds the identity
// record written by unitRecord, one whose EEPROM is absent and one whose
// record has a wrong CRC; the banner, the boot lines of the event log, the
// identity and the default configuration in DbPool, the repaired record, the
// boot mute's release, the RF programming and the register mailbox are seen
// from outside.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class UnitBoot : public DaemonSandboxTest {
protected:
    std::string tool(const std::string& command, int* status = nullptr)
    {
        int s = -1;
        std::string out = runInSandbox(root, command, &s);
        if (status)
            *status = s;
        else
            EXPECT_EQ(s, 0) << command << "\n" << out;
        return out;
    }
    // Starts the daemon and waits until it said "READY=1".
    bool boot()
    {
        if (!start())
            return false;
        EXPECT_EQ(nextNotify(15000), "MAINPID=" + std::to_string(pid));
        EXPECT_EQ(nextNotify(10000), "READY=1");
        return true;
    }
    std::string bookLog() { return readFile(root + "/mnt/ubi0/log/VRL_Book.log"); }
    std::string eventLog() { return readFile(root + "/mnt/ubi0/log/VRL_Event.log"); }
};

TEST_F(UnitBoot, IdentityBannerAndBootLines)
{
    tool(CORVANE_TOOLS_DIR "/unitRecord --serial AB12CD34EF56 --front 00:50:c2:00:00:01");
    if (!boot())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    std::string book = bookLog();
    EXPECT_NE(book.find("INFO: ***  VRL FM Serial Number AB12CD34EF56 ***\n"), std::string::npos) << book;
    EXPECT_NE(book.find("INFO: ***  VRL FM MAC FRONT 0:50:c2:0:0:1 \t***\n"), std::string::npos);
    EXPECT_NE(book.find("INFO: ***  SW v. 02.00.02 ***\n"), std::string::npos);
    // The defaults ran before the gate opened: their line is not in the log.
    EXPECT_EQ(book.find("Set default configuration"), std::string::npos);
    // The hardware was ready before the configuration was loaded.
    size_t lock = book.find("Lock Pll Audio OK"), load = book.find("INFO: Load last configuration saved\n");
    ASSERT_NE(lock, std::string::npos);
    EXPECT_LT(lock, load);

    EXPECT_TRUE(waitUntil([&] { return eventLog().find("INFO: TX Boot-Up Completed\n") != std::string::npos; }, 5000));
    std::string events = eventLog();
    size_t up = events.find("INFO: TX Boot-Up\n"), fw = events.find("INFO: *** FW"),
           done = events.find("INFO: TX Boot-Up Completed\n");
    ASSERT_NE(up, std::string::npos) << events;
    EXPECT_LT(up, fw);
    EXPECT_LT(fw, done);
    EXPECT_NE(done, std::string::npos);

    const char serial[] = "AB12CD34EF56";
    for (uint32_t i = 0; i < 12; i++)
        EXPECT_EQ(cell(2, 1 + i), static_cast<uint32_t>(serial[i])) << i;
    EXPECT_EQ(cell(18, 1), 0x0050C200u);
    // The I2C error reset request of the hardware start-up, served by the
    // main loop's fault supervision.
    EXPECT_TRUE(waitUntil([&] { return cell(13, 42) == 0; }, 3000));
    // The firmware words: version, release, build.
    EXPECT_EQ(cell(1, 8), 2u);
    EXPECT_EQ(cell(1, 9), 0u);
    EXPECT_EQ(cell(1, 4), 2u);

    // The default configuration and its migration, as a client reads them.
    EXPECT_EQ(cell(5, 11), 89500000u);
    EXPECT_EQ(cell(24, 17), 0x5204u);
    EXPECT_EQ(cell(43, 12), 190u);
    for (uint32_t i = 9; i <= 40; i++)
        EXPECT_EQ(cell(42, i), 0x7fffffffu) << i;
    EXPECT_TRUE(waitUntil([&] { return cell(11, 31) == 50; }, 3000)) << cell(11, 31);
    EXPECT_EQ(tool(CORVANE_TOOLS_DIR "/simctl fpga read 0xFF200C08"), "0x00000021\n"); // 33
    std::string out = readFile(root + "/corvane.out");
    EXPECT_NE(out.find("set output cfg 22"), std::string::npos) << out;
    EXPECT_NE(out.find("setUart1ConnSel select UECP"), std::string::npos);
}

TEST_F(UnitBoot, WithoutTheBoardEepromTheUnitBootsWithDefaults)
{
    tool(CORVANE_TOOLS_DIR "/unitRecord --serial AB12CD34EF56 --front 00:50:c2:00:00:01");
    tool(CORVANE_TOOLS_DIR "/simctl fault M24LC512_BOARD absent");
    if (!boot())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    std::string book = bookLog();
    EXPECT_EQ(book.find("VRL FM Serial Number"), std::string::npos) << book;
    EXPECT_EQ(book.find("VRL FM Hardware infos"), std::string::npos);
    // The daemon logs the completion right after READY=1.
    EXPECT_TRUE(waitUntil([&] { return eventLog().find("INFO: TX Boot-Up Completed\n") != std::string::npos; }, 5000));
    EXPECT_EQ(eventLog().find("INFO: TX Boot-Up\n"), std::string::npos);
    EXPECT_EQ(cell(2, 1), 0u);
    EXPECT_NE(cell(18, 1), 0x0050C200u);
}

TEST_F(UnitBoot, ARecordWithAWrongCrcIsRepairedOnTheEeprom)
{
    tool(CORVANE_TOOLS_DIR "/unitRecord --serial AB12CD34EF56 --front 00:50:c2:00:00:01");
    // One bit of the serial number flipped: the stored CRC no longer fits.
    tool(CORVANE_TOOLS_DIR "/simctl fault M24LC512_BOARD corrupt 20 0x04");
    if (!boot())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    std::string book = bookLog();
    // The bytes read are kept: the banner shows the changed serial number.
    EXPECT_NE(book.find("INFO: ***  VRL FM Serial Number AB12CD74EF56 ***\n"), std::string::npos) << book;
    EXPECT_EQ(cell(18, 1), 0x0050C200u);
    // The record on the EEPROM is whole again: its CRC covers bytes 0..123.
    std::string dump = tool(CORVANE_TOOLS_DIR "/simctl get M24LC512_BOARD 0 128");
    std::istringstream in(dump);
    std::vector<uint8_t> rec;
    for (std::string w; in >> w;)
        rec.push_back(static_cast<uint8_t>(std::stoul(w, nullptr, 16)));
    ASSERT_EQ(rec.size(), 128u) << dump;
    uint32_t stored = static_cast<uint32_t>(rec[124]) << 24 | rec[125] << 16 | rec[126] << 8 | rec[127];
    bool ok = false;
    EXPECT_EQ(stored, zlibCrc32(rec.data(), 124, &ok));
    EXPECT_TRUE(ok);
}

// The words of the frames in the simulated FPGA's ring, oldest first, as
// simctl prints them.
std::vector<std::vector<uint32_t>> frameRing(const std::string& simctlFrame)
{
    std::vector<std::vector<uint32_t>> frames;
    std::istringstream in(simctlFrame);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("ring ", 0) != 0)
            continue;
        std::istringstream words(line);
        std::string tag, seq, time, w;
        words >> tag >> seq >> time;
        std::vector<uint32_t> f;
        while (words >> w)
            f.push_back(static_cast<uint32_t>(std::stoul(w, nullptr, 16)));
        frames.push_back(f);
    }
    return frames;
}

TEST_F(UnitBoot, BootMuteIsReleasedAndTheRfProgrammingAnswersTheMailbox)
{
    if (!boot())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    // The boot mute: released about 3 s after the boot, event bit 44 (bit 12
    // of cell (4, 2)) cleared, and the frames then carry the carrier bit
    // (word 4 bit 16).
    ASSERT_TRUE(waitUntil([&] { return bookLog().find("INFO: Remove GLOBAL MUTE\n") != std::string::npos; }, 10000));
    EXPECT_TRUE(waitUntil([&] { return (cell(4, 2) >> 12 & 1) == 0; }, 3000));
    EXPECT_TRUE(waitUntil(
        [&] {
            std::vector<std::vector<uint32_t>> f = frameRing(tool(CORVANE_TOOLS_DIR "/simctl fpga frame"));
            return f.size() >= 2 && (f.back()[4] >> 16 & 1) && (f[f.size() - 2][4] >> 16 & 1);
        },
        5000));
    EXPECT_NE(tool(CORVANE_TOOLS_DIR "/simctl fpga frame").find("parity errors 0\n"), std::string::npos);

    // The RF DAC holds the words of the default 89.5 MHz (FTW 0x9B61C7).
    EXPECT_EQ(tool(CORVANE_TOOLS_DIR "/simctl get AD9789 0x0A 3"), "0xC7 0x61 0x9B\n");
    // A read request of the RF synthesizer is answered by the main loop's
    // mailbox service.
    tool(CORVANE_TOOLS_DIR "/simctl fpga write 0xFF300000 0x81010000");
    EXPECT_TRUE(waitUntil([&] { return tool(CORVANE_TOOLS_DIR "/simctl fpga read 0xFF300000") == "0x01010E00\n"; },
                          3000));
    std::istringstream out(tool(CORVANE_TOOLS_DIR "/simctl fpga read 0xFF300000 29"));
    std::vector<std::string> words;
    std::string w;
    while (out >> w)
        words.push_back(w);
    ASSERT_EQ(words.size(), 29u);
    EXPECT_EQ(words[1 + 2 * 3], "0x00000003");
    EXPECT_EQ(words[1 + 2 * 3 + 1], "0x80346703");
}

} // namespace
