// The transmitter logic in the running daemon, driven as an operator would:
// a telecommand pulse on the simulated expander, the LOCAL/REMOTE key held
// on the simulated front panel, and a restart that restores LOCAL.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

class LogicaTxDaemon : public DaemonSandboxTest {
protected:
    std::string book() { return file("/mnt/ubi0/log/VRL_Book.log"); }

    void simctl(const std::string& args)
    {
        int status = -1;
        std::string out = runInSandbox(root, std::string(CORVANE_TOOLS_DIR "/simctl ") + args + " 2>&1", &status);
        ASSERT_EQ(status, 0) << args << ": " << out;
    }

    // Telecommand line 1 (TX_ON) active for one second; bit 7 is the board
    // variant and stays high.
    void pulseLine1()
    {
        simctl("set PCA9655_IC45 0 0x82");
        std::this_thread::sleep_for(std::chrono::seconds(1));
        simctl("set PCA9655_IC45 0 0x80");
    }

    // EEPROM item n of the active bank of the emulation file (-1 when the
    // file is not there yet).
    int item(uint32_t n)
    {
        std::string img = file("/mnt/ubi0/conf/EE_File.img");
        if (img.size() < 8320)
            return -1;
        uint32_t bank = img[79] == 0 ? 128 : 4224;
        return static_cast<uint8_t>(img[bank + n]);
    }

    bool ready()
    {
        return nextNotify(15000).rfind("MAINPID=", 0) == 0 && nextNotify(15000) == "READY=1";
    }
};

TEST_F(LogicaTxDaemon, PulseKeyAndRestartFollowTheControlMode)
{
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_TRUE(ready());
    pulseLine1();
    EXPECT_TRUE(waitUntil([&] { return book().find("INFO: CMD_AVVIO requested from TLC [MASTER]\n") != std::string::npos; },
                          10000))
        << book();

    // A short press: a key held past the 270 ms repeat reports again and
    // would toggle back to REMOTE.
    simctl("fpga press 0x0401 150");
    EXPECT_TRUE(waitUntil([&] { return item(1) == 1; }, 10000)) << book();
    EXPECT_NE(book().find("INFO: LOCAL key pressed\n"), std::string::npos);

    stop();
    ASSERT_TRUE(start());
    ASSERT_TRUE(ready());
    EXPECT_TRUE(waitUntil([&] { return (cell(4, 1) & 1u) == 1u; }, 10000)) << "event 1: LOCAL restored from the EEPROM";
    pulseLine1();
    EXPECT_TRUE(waitUntil([&] { return book().find("ERR: Tx not in REMOTE -- Cannot execute TLC\n") != std::string::npos; },
                          10000))
        << book();
}

} // namespace
