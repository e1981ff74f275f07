// The SPS serial power module over the pseudo-terminal of /dev/ttyMAX0: the
// frames and their CRC, the port settings, the enrolment, the read cycle
// with its status events, and replies that come split, short or corrupted.
#include "power/spsModule.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "platform/clock.h"
#include "platform/host/ioDevice.h"
#include "platform/io.h"
#include "sim/simSerial.h"
#include "sim/simSpsModule.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <random>
#include <thread>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string hex(const uint8_t* b, size_t n)
{
    std::string t;
    char h[4];
    for (size_t i = 0; i < n; i++) {
        snprintf(h, sizeof h, i ? " %02X" : "%02X", b[i]);
        t += h;
    }
    return t;
}

TEST(SpsFrames, GoldenFramesAndTheIndependentCrc)
{
    uint8_t f[32];
    const uint8_t slot = 0;
    EXPECT_EQ(hex(f, SPS_BuildFrame(f, 0xFF, 'C', &slot, 1)), "FF 06 43 00 01 E1");
    const uint8_t vout[3] = {0x13, 0x20, 0xD0};
    EXPECT_EQ(hex(f, SPS_BuildFrame(f, 0xF6, 'W', vout, 3)), "F6 08 57 13 20 D0 A1 0C");

    // CRC-16/MODBUS of crcmod on random strings.
    std::mt19937 rng(121);
    std::vector<std::vector<uint8_t>> cases;
    std::string input;
    for (int i = 0; i < 64; i++) {
        std::vector<uint8_t> c(1 + rng() % 60);
        for (uint8_t& b : c)
            b = static_cast<uint8_t>(rng());
        char h[3];
        for (uint8_t b : c) {
            snprintf(h, sizeof h, "%02x", b);
            input += h;
        }
        input += "\n";
        cases.push_back(c);
    }
    FILE* in = fopen("/tmp/spsCrcCheck.in", "w");
    ASSERT_NE(in, nullptr);
    fputs(input.c_str(), in);
    fclose(in);
    FILE* p = popen("/usr/bin/python3 -c \"import crcmod.predefined,sys\nf=crcmod.predefined.mkCrcFun('modbus')\n"
                    "for l in sys.stdin.read().split(): print('%04X' % f(bytes.fromhex(l)))\" < /tmp/spsCrcCheck.in",
                    "r");
    ASSERT_NE(p, nullptr);
    char line[16];
    size_t i = 0;
    while (fgets(line, sizeof line, p) != nullptr && i < cases.size()) {
        unsigned want = 0;
        sscanf(line, "%X", &want);
        EXPECT_EQ(SPS_Crc16(cases[i].data(), cases[i].size()), want) << "case " << i;
        i++;
    }
    pclose(p);
    EXPECT_EQ(i, cases.size()) << "python3-crcmod answered every case";
}

// No module: the test holds the port's master and sees what is sent.
class SpsPortTest : public SandboxTest {
protected:
    SpsPortTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        spsModuleResetForTest();
        master = simSerialOpenPeer("/dev/ttyMAX0");
        ASSERT_GE(master, 0);
    }
    void TearDown() override
    {
        if (master >= 0)
            close(master);
        SandboxTest::TearDown();
    }
    std::vector<uint8_t> drain()
    {
        std::vector<uint8_t> out;
        uint8_t b[512];
        struct pollfd p = {master, POLLIN, 0};
        while (poll(&p, 1, 50) > 0) {
            ssize_t n = read(master, b, sizeof b);
            if (n <= 0)
                break;
            out.insert(out.end(), b, b + n);
        }
        return out;
    }
    int master = -1;
};

TEST_F(SpsPortTest, TenUnansweredAttemptsTakeSeventyToEightySecondsOnTheConfiguredPort)
{
    struct timespec t0, t1;
    clockGetTime(CLOCK_MONOTONIC, &t0);
    SPS_Search();
    clockGetTime(CLOCK_MONOTONIC, &t1);
    double s = static_cast<double>(t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9;
    EXPECT_GE(s, 70.0);
    EXPECT_LE(s, 80.0);
    EXPECT_EQ(getPsuShelfStatus(0), 1) << "nothing found";
    EXPECT_EQ(getPsuType(0), 3u);
    EXPECT_EQ(getHpaPowerClass(), 18u);
    EXPECT_NE(book().find("GE SPS Searching..."), std::string::npos);

    // The frames of one attempt, and the port's settings.
    std::vector<uint8_t> sent = drain();
    ASSERT_GE(sent.size(), 19u);
    EXPECT_EQ(hex(sent.data(), 19), "FF 07 57 04 01 " + hex(sent.data() + 5, 2) + " FF 06 43 00 01 E1 FF 06 50 00 " +
                                        hex(sent.data() + 17, 2));
    // The stored voltage, on the port the search opened: the value three
    // times.
    EXPECT_EQ(SPS_StoreVout(21000), 0);
    std::vector<uint8_t> stored = drain();
    EXPECT_EQ(hex(stored.data(), stored.size()), "F6 0C 57 0E 20 D0 20 D0 20 D0 16 BF");
    // Read back from the port (the pseudo-terminal keeps all but the parity
    // enable) and from what the driver asked of the seam.
    int fd = ioOpen("/dev/ttyMAX0", O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    struct termios t;
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    ioClose(fd);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_cflag & CMSPAR, 0u);
    bool seen = false;
    for (int d = 3; d < 1024 && !seen; d++) {
        struct termios asked;
        if (ioLastTermios(d, &asked) && cfgetospeed(&asked) == B19200) {
            seen = true;
            EXPECT_EQ(asked.c_cflag & (PARENB | CMSPAR | CSTOPB | CSIZE), static_cast<tcflag_t>(PARENB | CMSPAR | CS8));
        }
    }
    EXPECT_TRUE(seen) << "the port's settings went through the seam";
}

// The module model behind the port.
class SpsModuleTest : public SandboxTest {
protected:
    SpsModuleTest()
        : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK,
                      "uart /dev/ttyMAX0 gesps serial=EP16SN000042\n")
    {
    }
    void SetUp() override
    {
        SandboxTest::SetUp();
        spsModuleResetForTest();
        sps = simSpsAt("/dev/ttyMAX0");
        ASSERT_NE(sps, nullptr);
    }
    void enrol()
    {
        SPS_Search();
        ASSERT_EQ(getPsuShelfStatus(0), 0);
        for (int i = 0; i < 200 && sps->voutWord.load() != 8400; i++)
            usleep(10000);
        ASSERT_EQ(sps->voutWord.load(), 8400u) << "21000 mV";
        setPsuPresent(0, 1);
        setHpsCode(1);
        setPsuInterface(0, 1);
    }
    SimSpsKnobs* sps = nullptr;
};

TEST_F(SpsModuleTest, SearchEnrolsTheModule)
{
    enrol();
    EXPECT_EQ(count(book(), "GE_EP16xx: SN EP16SN000042"), 1u);
    EXPECT_EQ(getPsuEnabled(0), 1);
    EXPECT_EQ(sps->polls.load(), 1u);
    EXPECT_EQ(sps->pollTimeout.load(), 255u);
    EXPECT_EQ(SPS_SetVout(21000), 0);
    EXPECT_EQ(SPS_SetOperationMode(1), 8);
    EXPECT_EQ(SPS_SetMinFanSpeed(25), 7);
}

TEST_F(SpsModuleTest, ReadCycleAppliesAStatusWordReadTwiceAndRepeatsItsEvents)
{
    enrol();
    sps->voutWord = 20000;
    sps->status = 0x0809; // present, rectifier on, thermal alarm
    SPS_Task();
    EXPECT_EQ(getPsuIdentityByte(0, 0), 2) << "the version is asked while the major is 0";
    EXPECT_EQ(count(book(), "GE_EP16xx: Ver. 2.1 (12/11/24 10:30)"), 1u);
    EXPECT_EQ(getPsuVoutMeasured(0), 50000);
    EXPECT_EQ(getPsuReadingWord1(0), 230000u);
    EXPECT_EQ(getPsuStatus(0), 0u) << "a word seen once changes nothing";
    EXPECT_EQ(count(eventLog(), "OverTemperature Shutdown"), 0u);
    SPS_Task();
    EXPECT_EQ(getPsuStatusByte(0, 0), 0x81);
    EXPECT_EQ(getPsuStatusByte(0, 2), 0x01);
    EXPECT_EQ(getPsuStatus(0), 2u);
    EXPECT_EQ(getPsuEnabled(0), 0) << "over-temperature shutdown";
    EXPECT_EQ(getAlarmInput(141), 1);
    SPS_Task();
    EXPECT_EQ(count(eventLog(), "EVENT: Alm PSU_1 OverTemperature Shutdown\n"), 2u) << "a line on every cycle";
    uint32_t reads = sps->reads.load();
    SPS_Task();
    EXPECT_EQ(sps->reads.load() - reads, 3u) << "0x0C, 0x20, 0x0A until the sixth cycle";
}

TEST_F(SpsModuleTest, SplitRepliesAreJoinedShortAndCorruptOnesChangeNothing)
{
    enrol();
    sps->split = 1;
    sps->voutWord = 20000;
    SPS_Task();
    EXPECT_EQ(getPsuVoutMeasured(0), 50000) << "a reply in two pieces";
    sps->split = 0;

    struct Case {
        const char* what;
        std::atomic<int>* knob;
    };
    const Case cases[] = {{"short", &sps->shortReply}, {"bad CRC", &sps->badCrc}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.knob->store(1);
        sps->voutWord = 16000;
        SPS_Task();
        EXPECT_EQ(getPsuVoutMeasured(0), 50000);
        c.knob->store(0);
    }
    SPS_Task();
    EXPECT_EQ(getPsuVoutMeasured(0), 40000);
}

// simctl turns the knobs of the module another process serves: the driver
// here meets what simctl set, and simctl shows what the driver set.
TEST_F(SpsModuleTest, SimctlShowsAndTurnsTheKnobs)
{
    enrol();
    auto simctl = [&](const std::string& args) { return runInSandbox(root, CORVANE_TOOLS_DIR "/simctl sps " + args); };
    std::string out = simctl("");
    for (const char* line : {"status 0x0801\n", "vout 0x20D0\n", "polltimeout 255\n", "polls 1\n", "bad-frames 0\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << out;

    expectSimctlSets(root, CORVANE_TOOLS_DIR "/simctl", "sps",
                     {
                         {"sps status 0x0809", 0, "status 0x0809\n"},
                         {"sps split 1", 0, "split 1\n"},
                         {"sps short 1", 0, "short 1\n"},
                         {"sps badcrc 1", 0, "badcrc 1\n"},
                         {"sps silent 1", 0, "silent 1\n"},
                         {"sps silent 2", 2, "silent 1\n"},
                         {"sps status 0x10000", 2, "status 0x0809\n"},
                         {"sps bogus 1", 2, "badcrc 1\n"},
                     });

    // Corrupt replies (split, so they take their time): nothing read
    // changes. Then the status word simctl set, read twice alike, applies.
    simctl("silent 0");
    simctl("short 0");
    sps->voutWord = 16000;
    SPS_Task();
    EXPECT_EQ(getPsuVoutMeasured(0), 0);
    simctl("split 0");
    simctl("badcrc 0");
    SPS_Task();
    SPS_Task();
    EXPECT_EQ(getPsuVoutMeasured(0), 40000);
    EXPECT_EQ(getPsuStatusByte(0, 2), 0x01) << "over-temperature from simctl's status word";
}

// "SPS Thread" exchanges with the module (replies that take their time,
// exchanges left unanswered, the port opened again by a rescan) while the
// main loop sets the module's fan and operation every millisecond on the
// same port: the setters never wait for an exchange, every frame arrives
// whole, the last one set is what the module holds, and every exchange reads
// its own reply.
class SpsPortSharing : public SpsModuleTest {};

TEST_F(SpsPortSharing, SettersOfAnotherThreadNeverWaitAndEveryExchangeKeepsItsReply)
{
    enrol();
    sps->voutWord = 20000; // 50 V
    std::atomic<bool> done{false};
    std::vector<int32_t> measured;
    std::thread spsThread([&] {
        sps->split = 1; // each reply in two pieces, 20 ms apart
        for (int i = 0; i < 4; i++) {
            SPS_Task();
            measured.push_back(getPsuVoutMeasured(0));
        }
        sps->silent = 1; // three exchanges of 300 ms without a reply
        SPS_Task();
        sps->silent = 0;
        SPS_Search(); // the port opened again, the module enrolled again at 21 V
        SPS_Task();
        measured.push_back(getPsuVoutMeasured(0));
        done = true;
    });
    int calls = 0, failed = 0;
    uint32_t lastFan = 0;
    std::chrono::steady_clock::duration longest{};
    while (!done) {
        lastFan = static_cast<uint32_t>(calls % 100);
        auto t0 = std::chrono::steady_clock::now();
        if (SPS_SetMinFanSpeed(lastFan) != 7 || SPS_SetOperationMode(1) != 8)
            failed++;
        longest = std::max(longest, std::chrono::steady_clock::now() - t0);
        calls++;
        usleep(1000);
    }
    spsThread.join();
    EXPECT_EQ(failed, 0) << "of " << calls;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(longest).count(), 100)
        << "the main loop waited for an exchange";
    EXPECT_EQ(measured, (std::vector<int32_t>{50000, 50000, 50000, 50000, 21000}));
    EXPECT_EQ(getPsuShelfStatus(0), 0) << "the rescan's poll got its reply";
    EXPECT_EQ(sps->polls.load(), 2u);
    EXPECT_EQ(sps->badFrames.load(), 0u);
    for (int i = 0; i < 200 && sps->minFan.load() != lastFan; i++)
        usleep(1000);
    EXPECT_EQ(sps->minFan.load(), lastFan);
    EXPECT_EQ(sps->mode.load(), 2u) << "on";
}

// Two threads reading registers at once: each gets the reply to its own
// request, never the other's (the version has seven bytes, the input
// current one).
TEST_F(SpsPortSharing, TwoThreadsExchangingAtOnceGetTheirOwnReplies)
{
    enrol();
    struct Reader {
        uint8_t reg;
        int length;  // of the reply frame
        uint8_t first; // its first data byte
        int wrong = 0;
    };
    Reader readers[2] = {{0x07, 12, 2}, {0x0B, 6, 41}};
    auto run = [](Reader* r) {
        for (int i = 0; i < 200; i++) {
            uint8_t buf[256];
            int n = SPS_ReadRegister(r->reg, buf, 3000);
            if (n != r->length || buf[2] != 'r' || buf[3] != r->first)
                r->wrong++;
        }
    };
    std::thread other(run, &readers[1]);
    run(&readers[0]);
    other.join();
    for (const Reader& r : readers)
        EXPECT_EQ(r.wrong, 0) << "register 0x" << std::hex << int(r.reg);
    EXPECT_EQ(sps->reads.load(), 400u);
    EXPECT_EQ(sps->badFrames.load(), 0u);
}

} // namespace
