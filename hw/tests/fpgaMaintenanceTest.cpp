// FPGA sequences on the simulated board: the Morse identity and its loader,
// the version text, the FSK schedule, the pulse sequences, the bank lookup
// and the marker-file handlers.
#include "hw/fpgaMaintenance.h"

#include "Config/keyTable.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/systemKeys.h"
#include "Config/StrutturaDati.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "core/base/locks.h"
#include "core/base/timeBase.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"
#include "platform/host/ioDevice.h"
#include "platform/paths.h"
#include "sim/simFpga.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

class FpgaMaintenance : public SandboxTest {
protected:
    FpgaMaintenance() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        SemMutexInit();
        ASSERT_EQ(initAxi(), 0);
        timeThread();
    }

    static std::vector<SimFrameRecord> ring()
    {
        std::vector<SimFrameRecord> r(kSimFrameRingSize);
        r.resize(static_cast<size_t>(simFpgaRing(r.data(), kSimFrameRingSize)));
        return r;
    }

    // Frames that carried the FSK trigger bit.
    static int triggers()
    {
        int n = 0;
        for (const SimFrameRecord& f : ring())
            n += f.words[26] >> 7 & 1;
        return n;
    }
};

TEST(MorseIdentity, EncodedStreams)
{
    struct {
        const char* id;
        uint32_t words[5];
    } cases[] = {
        {"EEEEEE", {0x00111111, 0, 0, 0, 0}},
        {"SOSSOS", {0x45477715, 0x0151DDC5, 0, 0, 0}},
        {"EE\0\0\0\0", {0x00111111, 0, 0, 0, 0}}, // characters outside the table repeat the one before
        {"TA    ", {0x47474747, 0x00000747, 0, 0, 0}}, // A repeated, across a word
    };
    for (auto& c : cases) {
        uint32_t w[5] = {};
        Fpga_EncodeRegion25Words(c.id, w);
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(w[i], c.words[i]) << c.id << " word " << i;
    }
    // The widest patterns still end inside the stream.
    uint32_t w[5] = {};
    Fpga_EncodeRegion25Words("000000", w);
    EXPECT_NE(w[4], 0u);
}

TEST_F(FpgaMaintenance, IdentityLoadedIntoTheFpgaSlots)
{
    struct {
        const char* id;
        const char* slots;
    } cases[] = {
        {"EEEEEE", "slot 0 0x00111111\nslot 1 0x00000000\nslot 2 0x00000000\nslot 3 0x00000000\nslot 4 0x00000000\n"},
        {"SOSSOS", "slot 0 0x45477715\nslot 1 0x0151DDC5\nslot 2 0x00000000\nslot 3 0x00000000\nslot 4 0x00000000\n"},
    };
    for (auto& c : cases) {
        uint32_t w[5] = {};
        Fpga_EncodeRegion25Words(c.id, w);
        EXPECT_EQ(Fpga_LoadRegion25(w), 0);
        std::string out = runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga id");
        EXPECT_NE(out.find(c.slots), std::string::npos) << c.id << "\n" << out;
    }
}

TEST(FpgaVersion, Text)
{
    char text[64];
    fpgaVersionText(0xE3010203, text, sizeof text);
    EXPECT_STREQ(text, "FM ver. 1.2.3 [HwType E3]");
    fpgaVersionText(0, text, sizeof text);
    EXPECT_STREQ(text, "FM ver. 0.0.0 [HwType 0]");
    char name[16];
    EXPECT_STREQ(fpgaStandardName(227, name), "FM");
    EXPECT_STREQ(fpgaStandardName(247, name), "Repeater");
    EXPECT_STREQ(fpgaStandardName(0, name), "UNKNOWN TYPE");
}

TEST_F(FpgaMaintenance, PrintVersionStoresTheVersion)
{
    simFpgaWrite(0xFF200000, 0xE3010203);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Fpga_PrintVersion(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Program FPGA: FM ver. 1.2.3 [HwType E3]\n");
    EXPECT_NE(book().find("INFO: Program FPGA: FM ver. 1.2.3 [HwType E3]\n"), std::string::npos);
    EXPECT_EQ(getFpgaVerMajor(), 1);
    EXPECT_EQ(getFpgaVerMinor(), 2);
    EXPECT_EQ(getFpgaVerRevision(), 3);
}

TEST_F(FpgaMaintenance, FskScheduleOnLocalTime)
{
    setenv("TZ", "UTC", 1);
    tzset();
    // The virtual wall clock starts at midnight.
    setFSKSignTimeStart(2);
    setFSKSignTimePeriod(0); // 300 s
    checkFskSignSchedule();
    EXPECT_EQ(triggers(), 0); // disabled
    setFSKSignEna(1);
    checkFskSignSchedule();
    EXPECT_EQ(triggers(), 0); // before the start minute
    clockAdvanceUs(120 * 1000000LL);
    checkFskSignSchedule();
    EXPECT_EQ(triggers(), 1);
    clockAdvanceUs(298 * 1000000LL);
    checkFskSignSchedule();
    EXPECT_EQ(triggers(), 1);
    clockAdvanceUs(2 * 1000000LL);
    checkFskSignSchedule();
    EXPECT_EQ(triggers(), 2);
    // An index outside the table: every step signs.
    setFSKSignTimePeriod(10);
    checkFskSignSchedule();
    checkFskSignSchedule();
    EXPECT_EQ(triggers(), 4);
    EXPECT_EQ(fskSignPeriodSeconds(9), 86400u);
    EXPECT_EQ(fskSignPeriodSeconds(10), 0u);
}

TEST_F(FpgaMaintenance, PulseSequences)
{
    // A signature in progress: one frame with the trigger clear.
    setFskSignBusy(1);
    EXPECT_EQ(Fpga_TriggerFskSign(), 1);
    EXPECT_EQ(ring().size(), 1u);
    EXPECT_EQ(triggers(), 0);
    setFskSignBusy(0);
    EXPECT_EQ(Fpga_TriggerFskSign(), 0);
    EXPECT_EQ(ring().size(), 4u);
    EXPECT_EQ(triggers(), 1);

    // Control C stays raised while the DAC level mode is set.
    EXPECT_EQ(Fpga_PulseControlC(), 0);
    EXPECT_EQ(ring().back().words[10] >> 16 & 1, 0u);
    setDacLevelMode(1);
    EXPECT_EQ(Fpga_PulseControlC(), 1);
    EXPECT_EQ(ring().back().words[10] >> 16 & 1, 1u);
    EXPECT_EQ(getFpgaControlCFlag(), 1u);

    // The reset pulse: two frames 5 ms apart, with the carrier on.
    size_t before = ring().size();
    EXPECT_EQ(Fpga_ResetPulse(), 0);
    std::vector<SimFrameRecord> f = ring();
    ASSERT_EQ(f.size(), before + 2);
    EXPECT_EQ(f[before].words[6] >> 16 & 1, 1u);
    EXPECT_EQ(f[before + 1].words[6] >> 16 & 1, 0u);
    EXPECT_EQ(f[before].words[4] >> 16 & 1, 1u);
    EXPECT_GE(f[before + 1].timeNs - f[before].timeNs, 5000000);

    // The mute resets send one frame twice.
    before = ring().size();
    EXPECT_EQ(MuteResetOn(), 0);
    f = ring();
    ASSERT_EQ(f.size(), before + 2);
    EXPECT_EQ(memcmp(f[before].words, f[before + 1].words, sizeof f[before].words), 0);
    EXPECT_NE(book().find("INFO: MuteResetOn: ResetMute FPGA\n"), std::string::npos);
    EXPECT_EQ(simState()->fpga.parityErrors.load(), 0u);
}

// A flash partition holding an FPGA image with its standard code.
class FpgaImage : public IoDevice {
public:
    explicit FpgaImage(uint8_t code) : mem(64)
    {
        mem[4] = 0x10; // the code sits at 8 + 0x10
        mem[8 + 0x10] = code;
    }
    off_t lseek(int handle, off_t off, int) override
    {
        pos[handle] = static_cast<size_t>(off);
        return off;
    }
    ssize_t read(int handle, void* buf, size_t len) override
    {
        size_t& p = pos[handle];
        size_t n = p >= mem.size() ? 0 : std::min(len, mem.size() - p);
        memcpy(buf, mem.data() + p, n);
        p += n;
        return static_cast<ssize_t>(n);
    }
    std::vector<uint8_t> mem;
    std::map<int, size_t> pos;
};

TEST_F(FpgaMaintenance, BankLookup)
{
    FpgaImage dvb(240), fm(227), dab(246);
    const char* paths[] = {"/dev/mtd11", "/dev/mtd12", "/dev/mtd13"};
    FpgaImage* images[] = {&dvb, &fm, &dab};
    for (int i = 0; i < 3; i++)
        ioRegisterDevice(paths[i], images[i]);
    cfgSetElement(KEYROW(ActiveBank), 0, 1); // active bank 1
    EXPECT_EQ(Fpga_LocateFmDesign(), 2);
    EXPECT_EQ(getFpgaBank1Std(), 240);
    EXPECT_EQ(getFpgaBank2Std(), 227);
    EXPECT_EQ(getFpgaBank3Std(), 246);
    std::string log = book();
    EXPECT_NE(log.find("INFO: FPGA bank 1 - standard found: DVB-T\n"), std::string::npos) << log;
    EXPECT_NE(log.find("INFO: FPGA bank 2 - standard found: FM\n"), std::string::npos);
    EXPECT_NE(log.find("INFO: FPGA bank 3 - standard found: DAB\n"), std::string::npos);

    fm.mem[8 + 0x10] = 0;
    EXPECT_EQ(Fpga_LocateFmDesign(), 1);
    EXPECT_NE(book().find("ERR: FPGA Type not found! Start first FPGA\n"), std::string::npos);
    cfgSetElement(KEYROW(ActiveBank), 0, 2);
    EXPECT_EQ(Fpga_LocateFmDesign(), 0);
    for (const char* p : paths)
        ioRegisterDevice(p, nullptr);
}

TEST_F(FpgaMaintenance, MarkerFileHandlers)
{
    EXPECT_NE(Fpga_ResetAudioProcessor(), 0); // no request
    std::ofstream(sysPath("/dev/shm/rst_audio_proc")) << "";
    EXPECT_EQ(Fpga_ResetAudioProcessor(), 0);
    EXPECT_NE(book().find("INFO: Reset Audio processor\n"), std::string::npos);
    EXPECT_NE(access(sysPath("/dev/shm/rst_audio_proc").c_str(), F_OK), 0);
    std::vector<SimFrameRecord> f = ring();
    ASSERT_EQ(f.size(), 4u); // sync pulse, reset pulse
    EXPECT_EQ(f[0].words[19] >> 17 & 1, 1u);
    EXPECT_EQ(f[2].words[6] >> 16 & 1, 1u);
    EXPECT_GE(f[3].timeNs - f[2].timeNs, 100000000);

    std::ofstream(sysPath("/dev/shm/rst_audio_pll")) << "";
    EXPECT_EQ(Fpga_ResetAudioPll(), 0);
    EXPECT_NE(book().find("INFO: Reset Audio PLL\n"), std::string::npos);
    EXPECT_NE(book().find("INFO: Lock Pll Audio OK\n"), std::string::npos);
    EXPECT_NE(access(sysPath("/dev/shm/rst_audio_pll").c_str(), F_OK), 0);
}

} // namespace
