// The FPGA exchange on the simulated board (parity, status words, the frame
// ring) and the status block decode (byte map, debounce, hold-offs, output
// FIFO alarm, measures).
#include "hw/fpgaTransfer.h"

#include "Config/keyTable.h"
#include "Config/keys/keyIds.h"
#include "audio/audioMeasures.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "core/base/locks.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "hw/fpgaFrame.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"
#include "sim/simFpga.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

constexpr uint64_t kStatusPhys = 0xFF200A00;

class FpgaTransfer : public SandboxTest {
protected:
    FpgaTransfer() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        SemMutexInit();
        ASSERT_EQ(initAxi(), 0);
        rfMuteState.store(0);
        timeThread();
    }

    // Status words as the FPGA answers them, then one exchange and decode.
    void exchange(std::initializer_list<uint32_t> words)
    {
        uint64_t a = kStatusPhys;
        for (uint32_t w : words) {
            simFpgaWrite(a, w);
            a += 4;
        }
        Fpga_SendFrame(1, 0);
        Fpga_ReadConfig();
    }

    // A block set directly, decoded.
    void decode(std::initializer_list<std::pair<int, uint8_t>> bytes)
    {
        memset(FpgaStatusBlock, 0, 30);
        for (auto [i, v] : bytes)
            FpgaStatusBlock[i] = v;
        Fpga_ReadConfig();
    }

    void advanceSeconds(int s)
    {
        clockAdvanceUs(s * 1000000LL);
        timeThread();
    }
};

TEST_F(FpgaTransfer, ParityBitsOfTheThreeGroups)
{
    uint32_t frame[FPGA_CONTROL_FRAME_WORDS] = {0x00003F, 0x000001, 0x03FFFF, 0x020000, 0x000040, 0x001000};
    ASSERT_EQ(Fpga_Transfer(frame, FpgaStatusBlock, 2), 0);
    const uint32_t expected[] = {0x00003F, 0x200001, 0x03FFFF, 0x820000, 0x400040, 0x801000, 0};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(frame[i], expected[i]) << i;
    SimFpgaState& f = simState()->fpga;
    EXPECT_EQ(f.frameCount.load(), 1u);
    EXPECT_EQ(f.parityErrors.load(), 0u);
    EXPECT_EQ(f.frame[3], 0x820000u);

    // A frame written without its parity bits is counted by the FPGA.
    uint32_t raw[FPGA_CONTROL_FRAME_WORDS] = {0x000001};
    fpgaWriteWords(raw, FPGA_CONTROL_FRAME_WORDS, 2, 1, 0);
    EXPECT_EQ(f.parityErrors.load(), 1u);
}

TEST_F(FpgaTransfer, StatusWordsUnpackIntoBytesMostSignificantFirst)
{
    simFpgaWrite(kStatusPhys, 0x123456);
    simFpgaWrite(kStatusPhys + 36, 0xABCDEF);
    Fpga_SendFrame(1, 0);
    EXPECT_EQ(FpgaStatusBlock[0], 0x12);
    EXPECT_EQ(FpgaStatusBlock[1], 0x34);
    EXPECT_EQ(FpgaStatusBlock[2], 0x56);
    EXPECT_EQ(FpgaStatusBlock[27], 0xAB);
    EXPECT_EQ(FpgaStatusBlock[29], 0xEF);
    EXPECT_EQ(FpgaStatusBlock[30], 0);
}

// Status words to items, with two agreeing reads.
TEST_F(FpgaTransfer, DecodeTable)
{
    setMpxDigSrc(3);
    // word 0: byte 0 = 0xE1, byte 1 = 0xEE, byte 2 = 0xFE; word 1: byte 3 =
    // 0x18, bytes 4-5 = 0x1234; word 7: bytes 21-23 = 0x0A0B0C.
    for (int pass = 0; pass < 2; pass++)
        exchange({0xE1EEFE, 0x181234, 0, 0, 0, 0, 0, 0x0A0B0C});
    struct {
        const char* name;
        uint32_t got, want;
    } rows[] = {
        {"NoExt19kHzSqWave", getNoExt19kHzSqWave(), 1},
        {"NoExt19kHzSinus", getNoExt19kHzSinus(), 1},
        {"TimeRefLocked", getTimeRefLocked(), 0},
        {"DelMeasOk", getDelMeasOk(), 0},
        {"DelMeasBusy", getDelMeasBusy(), 0},
        {"AudioFilterErr", getAudioFilterErr(), 1},
        {"RdsFifoStatusB", getRdsFifoStatusB(), 0},
        {"FmRecvPllLock", static_cast<uint32_t>(getFmRecvPllLock()), 1},
        {"AudioInputAlarm", getAudioInputAlarm(), 1},
        {"AesEbuAlCode", getAesEbuAlCode(), 5},
        {"AesEbuAl", getAesEbuAl(), 1},
        {"ClipperInAction", getClipperInAction(), 1},
        {"NoExt10MHz", getNoExt10MHz(), 1},
        {"NoExtPps", getNoExtPps(), 1},
        {"FpgaStatusFlag", getFpgaStatusFlag(), 7},
        {"FreqRefLocked", static_cast<uint32_t>(getFreqRefLocked()), 1},
        {"FreqRefLockFlag", getFreqRefLockFlag(), 1},
        {"AudioVcxoValidSt", static_cast<uint32_t>(getAudioVcxoValidSt()), 1},
        {"PllAudioLocked", static_cast<uint32_t>(getPllAudioLocked()), 1},
        {"PllRfLocked", static_cast<uint32_t>(getPllRfLocked()), 1},
        {"RdsFifoAlmostFullFpga", getRdsFifoAlmostFullFpga(), 0},
        {"RdsFifoFree", getRdsFifoFree(), 1},
        {"FskSignBusy", getFskSignBusy(), 1},
        {"Ocxo100MhzLocked", static_cast<uint32_t>(getOcxo100MhzLocked()), 0},
        {"IntegrOut", getIntegrOut(), 0x1234},
        {"DelMeasValue", getDelMeasValue(), 0x0A0B0C},
    };
    for (auto r : rows)
        EXPECT_EQ(r.got, r.want) << r.name;
}

TEST_F(FpgaTransfer, ABitTogglingOnEveryReadNeverReachesItsSetter)
{
    for (int pass = 0; pass < 5; pass++) {
        decode({{2, static_cast<uint8_t>(pass % 2 ? 0x04 : 0)}});
        EXPECT_EQ(getPllAudioLocked(), 0) << pass;
    }
    // Two agreeing reads pass it on, at the second.
    decode({{2, 0x04}});
    EXPECT_EQ(getPllAudioLocked(), 0);
    decode({{2, 0x04}});
    EXPECT_EQ(getPllAudioLocked(), 1);
}

TEST_F(FpgaTransfer, LinePresenceHoldOff)
{
    setInputPresAlmDelay(3);
    decode({{3, 0x01}});
    decode({{3, 0x01}});
    EXPECT_EQ(getInputLeftLinePres(), 1u);
    decode({{3, 0x00}}); // differs from the previous block: nothing changes
    for (int s = 0; s <= 3; s++) {
        decode({{3, 0x00}});
        EXPECT_EQ(getInputLeftLinePres(), 1u) << s;
        advanceSeconds(1);
    }
    decode({{3, 0x00}}); // more than 3 whole seconds since the loss was seen
    EXPECT_EQ(getInputLeftLinePres(), 0u);
    decode({{3, 0x01}});
    decode({{3, 0x01}});
    EXPECT_EQ(getInputLeftLinePres(), 1u);
    // The timer starts again after the recovery.
    decode({{3, 0x00}});
    decode({{3, 0x00}});
    EXPECT_EQ(getInputLeftLinePres(), 1u);
}

TEST_F(FpgaTransfer, OutputFifoAlarmOnTheEleventhAgreeingPassAndZeroWhileMuted)
{
    // The first read differs from the empty previous block; the next eleven
    // agree.
    for (int pass = 0; pass <= 11; pass++) {
        decode({{1, 0x01}});
        EXPECT_EQ(getOutFifoAlm(), pass == 11 ? 1u : 0u) << pass;
    }
    rfMuteState.store(1);
    decode({{1, 0x01}});
    EXPECT_EQ(getOutFifoAlm(), 0u);
}

TEST_F(FpgaTransfer, NoDecodeWithoutAnExchange)
{
    decode({{2, 0x01}, {3, 0x01}});
    decode({{2, 0x01}, {3, 0x01}});
    ASSERT_EQ(getRdsFifoFree(), 0u);
    pthread_mutex_t* lock = SemAxiFpga;
    SemAxiFpga = nullptr; // the lock cannot be taken
    uint32_t frame[FPGA_CONTROL_FRAME_WORDS] = {};
    EXPECT_EQ(Fpga_Transfer(frame, FpgaStatusBlock, 2), -1);
    Fpga_ReadConfig();
    EXPECT_EQ(getRdsFifoFree(), 0u);
    EXPECT_EQ(getInputLeftLinePres(), 1u);
    EXPECT_EQ(simState()->fpga.frameCount.load(), 0u);
    SemAxiFpga = lock;
}

TEST_F(FpgaTransfer, MeasuresAndTheBackupDeviation)
{
    // The unit is an exciter (functional type 11): the measures are decoded.
    setFunctionalType(11, 0);
    setInputBackup(1);
    setFrequencyDeviation(75);
    cfgSetElement(KEYROW(StandbyInputRoute), 0, 22);
    // Pilot raw 2: 2 x 75000 / 19200 = 7 Hz.
    decode({{6, 0x22}, {7, 0x01}, {8, 0x02}, {9, 0x11}, {20, 0x02}, {25, 0x00}, {26, 0x10}, {28, 0x00}, {29, 0x20}});
    EXPECT_EQ(getMeasuredMpxLevelRaw(), 0x0102);
    EXPECT_EQ(getMeasuredFmDeviationRaw(), 0x1122);
    EXPECT_EQ(getBackupLFreqDevRaw(), 0x10);
    EXPECT_EQ(getBackupRFreqDevRaw(), 0x20);
    EXPECT_EQ(getMeasuredPilotDeviation(), 7u);
    EXPECT_EQ(getMeasuredMpxDeviationB(), 0x27u);

    // Routes 24 and 28 scale the FM deviation by the relative deviation:
    // raw 5201 is 5201 x 14.4195556640625 = 74996 Hz.
    cfgSetElement(KEYROW(StandbyInputRoute), 0, 28);
    setRelativeFreqDev(50);
    decode({{9, 0x14}, {6, 0x51}});
    EXPECT_EQ(getMeasuredFmDeviation(), 74996u);
    EXPECT_EQ(getMeasuredMpxDeviationB(), 37498u);
    setInputBackup(0);
    decode({});
    EXPECT_EQ(getMeasuredMpxDeviationB(), 0u);
}

// Frames built and sent from two threads at once reach the FPGA whole:
// every build stays with its transfer under the FPGA lock.
TEST_F(FpgaTransfer, ConcurrentSequencesNeverInterleave)
{
    clockUseReal();
    auto sender = [](uint8_t mute) {
        for (int i = 0; i < 300; i++)
            Fpga_SendFrame(mute, static_cast<uint8_t>(i & 1));
    };
    std::thread a(sender, 0), b(sender, 1);
    a.join();
    b.join();
    SimFpgaState& f = simState()->fpga;
    EXPECT_EQ(f.frameCount.load(), 600u);
    EXPECT_EQ(f.parityErrors.load(), 0u);
}

} // namespace
