// Board profiles, resets and simctl on a sandbox shared with another process.
#include "platform/io.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/simFpga.h"
#include "sim/simModels.h"
#include "sim/simProfile.h"
#include "sim/simSpsModule.h"
#include "sim/simState.h"
#include "testing/testSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <csignal>
#include <linux/i2c-dev.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Runs simctl on a sandbox; returns its standard output, *status its exit.
std::string simctl(const std::string& root, const std::string& args, int* status = nullptr)
{
    return runInSandbox(root, CORVANE_TOOLS_DIR "/simctl " + args, status);
}

TEST(SimProfile, ParsesEntriesAndRefusesBadLines)
{
    SimProfile p;
    std::string err;
    ASSERT_EQ(simProfileParse("# comment\n\ni2c 1 0x20 regfile name=A regs=8  # trailing\n"
                              "spi 3 shift name=DAC reply=1,2\nfpga 0xFF200000 0xE3010203\n"
                              "uart /dev/ttyMAX0 atmodem\n",
                              &p, &err),
              0)
        << err;
    ASSERT_EQ(p.devices.size(), 2u);
    EXPECT_EQ(p.devices[0].bus, SIM_BUS_I2C1);
    EXPECT_EQ(p.devices[0].addr, 0x20);
    EXPECT_EQ(p.devices[0].name, "A");
    EXPECT_EQ(p.devices[0].opts, "name=A regs=8");
    EXPECT_EQ(p.devices[1].bus, SIM_BUS_SPI0);
    ASSERT_EQ(p.fpgaWords.size(), 1u);
    EXPECT_EQ(p.fpgaWords[0].value, 0xE3010203u);
    ASSERT_EQ(p.uarts.size(), 1u);
    EXPECT_EQ(p.uarts[0].path, "/dev/ttyMAX0");
    EXPECT_EQ(p.uarts[0].kind, "atmodem");

    const char* bad[] = {"i2c 2 0x20 regfile", "i2c 1 0x80 regfile", "i2c 1 0x20", "spi x shift",
                         "fpga 0xFF200000", "fpga 0xFF200002 1", "fpga 0x1000 1", "eeprom 1 0x50", "i2c 1 0x20 regfile\ni2c 1 0x20 regfile",
                         "uart ttyMAX0 atmodem", "uart /dev/ttyMAX0", "uart /dev/ttyS1 a\nuart /dev/ttyS1 b"};
    for (const char* text : bad) {
        SimProfile q;
        EXPECT_EQ(simProfileParse(text, &q, &err), -1) << text;
        EXPECT_EQ(err.rfind("line ", 0), 0u) << err;
    }
}

TEST(SimBoard, EnvironmentSelectsTheProfileOfANewSandbox)
{
    std::string file = "/tmp/corvane-profile-test-" + std::to_string(getpid()) + ".profile";
    std::ofstream(file) << "i2c 0 0x60 regfile name=TUNER regs=16\nspi 16 none\nfpga 0xFF200000 7\n";
    setenv("CORVANE_BOARD_PROFILE", file.c_str(), 1);
    std::string root = makeTestSandbox();
    unsetenv("CORVANE_BOARD_PROFILE");
    remove(file.c_str());

    EXPECT_NE(simFindDeviceByName("TUNER"), nullptr);
    EXPECT_EQ(simFindDevice(SIM_BUS_I2C1, 0x20), nullptr);
    int fd = ioOpen("/dev/spidev0.16", O_RDWR);
    EXPECT_GE(fd, 0);
    ioClose(fd);
    EXPECT_EQ(ioOpen("/dev/spidev0.3", O_RDWR), -1);
    uint32_t v;
    EXPECT_EQ(simFpgaRead(0xFF200000, &v), 0);
    EXPECT_EQ(v, 7u);
    // The sandbox keeps its own copy, so every later process builds nothing else.
    EXPECT_EQ(readSandboxFile("/sim/board.profile").substr(0, 13), "i2c 0 0x60 re");
    EXPECT_NE(simctl(root, "devices").find("TUNER"), std::string::npos);
    removeTestSandbox(root);
}

TEST(SimBoard, FullProfileFitsTheOptionalBoards)
{
    // Selected by name; the default profile leaves these devices out.
    setenv("CORVANE_BOARD_PROFILE", "full", 1);
    std::string root = makeTestSandbox();
    unsetenv("CORVANE_BOARD_PROFILE");
    for (uint16_t addr : {0x15, 0x2D, 0x2E, 0x50, 0x51, 0x52})
        EXPECT_NE(simFindDevice(SIM_BUS_I2C1, addr), nullptr) << addr;
    removeTestSandbox(root);
}

// The serial power module's port outlives its board in this process (its
// thread serves whichever board is attached): a later board without the
// module must not find it behind the port, one with it must.
TEST(SimBoard, SerialPowerModuleAnswersOnlyOnBoardsThatHaveIt)
{
    const std::string withModule = "uart /dev/ttyMAX0 gesps serial=EP16SN000042\n";
    for (const std::string& profile : {withModule, std::string(), withModule}) {
        std::string root = makeTestSandboxWithProfile(profile);
        bool fitted = !profile.empty();
        EXPECT_EQ(simSpsAt("/dev/ttyMAX0") != nullptr, fitted) << profile;
        // Without the module the port is the sandbox's own, which nothing
        // serves: its node is missing.
        int fd = ioOpen("/dev/ttyMAX0", O_RDWR | O_NOCTTY);
        EXPECT_EQ(fd >= 0, fitted) << profile;
        if (fd >= 0)
            ioClose(fd);
        removeTestSandbox(root);
    }
}

TEST(SimBoard, ResetRestoresPowerOnStateButKeepsPersistentDevices)
{
    std::string root = makeTestSandbox();
    SimModel* expander = simModelOf(simFindDevice(SIM_BUS_I2C1, 0x22));
    SimModel* eeprom = simModelOf(simFindDevice(SIM_BUS_I2C1, 0x51));
    uint8_t v = 0x00, got = 0;
    ASSERT_EQ(expander->poke(2, &v, 1), 1);
    ASSERT_EQ(eeprom->poke(100, &v, 1), 1);
    simFindDevice(SIM_BUS_I2C1, 0x22)->nackNext.store(3);
    simFpgaWrite(0xFF200000, 0);

    ASSERT_EQ(simBoardReset(), 0);
    expander->peek(2, &got, 1);
    EXPECT_EQ(got, 0xFF);
    eeprom->peek(100, &got, 1);
    EXPECT_EQ(got, 0x00) << "the EEPROM keeps its content";
    EXPECT_EQ(simFindDevice(SIM_BUS_I2C1, 0x22)->nackNext.load(), 0);
    uint32_t w;
    simFpgaRead(0xFF200000, &w);
    EXPECT_EQ(w, 0xE3010000u);
    removeTestSandbox(root);
}

TEST(SimBoard, SimctlDrivesTheBoardOfAnotherProcess)
{
    std::string root = makeTestSandbox();
    int status = -1;

    simFpgaWrite(0xFF200100, 0xCAFE);
    EXPECT_EQ(simctl(root, "fpga read 0xFF200100", &status), "0x0000CAFE\n");
    EXPECT_EQ(status, 0);
    simctl(root, "fpga write 0xFF200200 0x11 0x22");
    uint32_t v = 0;
    simFpgaRead(0xFF200204, &v);
    EXPECT_EQ(v, 0x22u);

    simctl(root, "set PCA9655_IC45 0 0x7f", &status);
    EXPECT_EQ(status, 0);
    int fd = ioOpen("/dev/i2c-1", O_RDWR);
    ioIoctl(fd, I2C_SLAVE, reinterpret_cast<void*>(0x20));
    uint8_t reg = 0, in = 0;
    ioWrite(fd, &reg, 1);
    ioRead(fd, &in, 1);
    EXPECT_EQ(in, 0x7F);
    EXPECT_EQ(simctl(root, "get i2c-1:0x20 0 2"), "0x7F 0xFF\n");

    simctl(root, "fault i2c-1:0x20 nack 1");
    EXPECT_EQ(ioRead(fd, &in, 1), -1);
    simctl(root, "bus i2c-1 remove");
    EXPECT_EQ(ioOpen("/dev/i2c-1", O_RDWR), -1);
    simctl(root, "bus i2c-1 restore");
    ioClose(fd);

    std::string log = simctl(root, "log i2c-1");
    EXPECT_NE(log.find("i2c-1 0x20 read      len 1 [7f]"), std::string::npos) << log;
    EXPECT_NE(log.find("i2c-1 0x20 read      len 1 -> No such device or address"), std::string::npos) << log;

    simctl(root, "fpga keys 0x0402");
    EXPECT_EQ(simState()->fpga.keys.load(), simFpgaKeyBit(0x0402));
    simctl(root, "fpga keys 0x0303", &status);
    EXPECT_EQ(status, 1);
    // press holds one key for its time and releases only that key.
    simctl(root, "fpga keys 0x0204");
    std::thread presser([&] { simctl(root, "fpga press 0x0102 600"); });
    bool held = waitUntil([] { return (simState()->fpga.keys.load() & simFpgaKeyBit(0x0102)) != 0; }, 3000, 10);
    presser.join();
    EXPECT_TRUE(held);
    EXPECT_EQ(simState()->fpga.keys.load(), simFpgaKeyBit(0x0204));
    simctl(root, "fpga press 0x0303", &status);
    EXPECT_EQ(status, 1);
    simctl(root, "frobnicate", &status);
    EXPECT_EQ(status, 2);
    removeTestSandbox(root);
}

size_t lineCount(const std::string& text)
{
    size_t n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

TEST(SimBoard, SimctlCountsAreBoundedByWhatIsHeld)
{
    std::string root = makeTestSandbox();
    int status = -1;
    // Asking for more than the log or the model holds gives what it holds.
    std::string log = simctl(root, "log i2c-1 999999999", &status);
    EXPECT_EQ(status, 0) << log;
    EXPECT_LE(lineCount(log), static_cast<size_t>(kSimLogEntries));
    std::string bytes = simctl(root, "get i2c-1:0x20 0 4294967295", &status);
    EXPECT_EQ(status, 0) << bytes;
    EXPECT_EQ(lineCount(bytes), 1u);
    // A count that is not a number is refused.
    for (const char* args : {"log i2c-1 12abc", "log i2c-1 -1", "log i2c-1 99999999999", "get i2c-1:0x20 0 x",
                             "fpga read 0xFF200000 1e9", "log i2c-1 1 2"}) {
        simctl(root, args, &status);
        EXPECT_EQ(status, 2) << args;
    }
    removeTestSandbox(root);
}

TEST(SimBoard, BoardStateThatFailsItsCheckIsBuiltAgain)
{
    std::string root = makeTestSandbox();
    SimDevice* d = simFindDeviceByName("PCA9655_IC45");
    ASSERT_NE(d, nullptr);
    // A damaged device table: the name of a fitted device changed.
    d->name[0] ^= 0x20;
    int status = -1;
    std::string out = simctl(root, "devices", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("board.state fails its check; the board is built again from its profile\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("PCA9655_IC45"), std::string::npos) << out;
    EXPECT_EQ(std::string(d->name), "PCA9655_IC45") << "the shared state is rebuilt in place";
    // Knobs and counters change while the board runs: not part of the check.
    d->nackNext.store(2);
    out = simctl(root, "devices");
    EXPECT_EQ(out.find("fails its check"), std::string::npos) << out;
    removeTestSandbox(root);
}

TEST(SimBoard, SimFilesAreWrittenWholeOrNotAtAll)
{
    std::string root = makeTestSandbox();
    std::string path = simFilePath("board.profile");
    std::string before = simBoardProfileText();
    ASSERT_FALSE(before.empty());
    // A write that cannot complete (a file size limit here, a full disk
    // elsewhere) leaves the old file and no temporary.
    struct rlimit old, small;
    getrlimit(RLIMIT_FSIZE, &old);
    small = {16, old.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int r = simWriteFile(path, std::string(4096, '#'));
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(simBoardProfileText(), before);
    EXPECT_NE(access((path + ".new." + std::to_string(getpid())).c_str(), F_OK), 0);

    // Sim files are not written through a link planted in their place.
    std::string victim = root + "/tmp/victim";
    ASSERT_EQ(simWriteFile(victim, "kept\n"), 0);
    std::string state = simFilePath("board.state");
    std::string store = simFilePath("store/i2c-1-0x51.bin");
    for (const std::string& p : {state, store}) {
        ASSERT_EQ(unlink(p.c_str()), 0);
        ASSERT_EQ(symlink(victim.c_str(), p.c_str()), 0);
        int status = -1;
        std::string out = simctl(root, "devices", &status);
        EXPECT_EQ(status, 1) << out;
        EXPECT_NE(out.find(p + " is not a regular file"), std::string::npos) << out;
        EXPECT_EQ(readSandboxFile("/tmp/victim"), "kept\n");
        ASSERT_EQ(unlink(p.c_str()), 0);
    }
    removeTestSandbox(root);
}

} // namespace
