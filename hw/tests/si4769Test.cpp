// SI4769 tuner driver against the simulated tuner of the full board.
#include "hw/si4769.h"

#include "Config/keys/hwCodesKeys.h"
#include "hw/i2cBus.h"
#include "hw/tests/boardFixture.h"
#include "sim/simSi4769.h"

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class Si4769 : public BoardFixture {
protected:
    Si4769() : BoardFixture("full") {}

    static SimModel* tuner() { return simModelOf(simFindDevice(SIM_BUS_I2C0, SI4769_ADDRESS)); }
    static SimDevice* tunerDevice() { return simFindDevice(SIM_BUS_I2C0, SI4769_ADDRESS); }
    static void set(uint32_t r, uint8_t v) { tuner()->poke(r, &v, 1); }
    static int get(uint32_t r)
    {
        uint8_t v = 0;
        return tuner()->peek(r, &v, 1) == 1 ? v : -1;
    }
    static uint64_t head() { return simState()->buses[SIM_BUS_I2C0].logHead.load(); }
    // Command messages written to the tuner after `after`.
    static std::vector<Bytes> commands(uint64_t after = 0)
    {
        std::vector<SimLogRecord> log(kSimLogEntries);
        log.resize(simLogRead(SIM_BUS_I2C0, after, log.data(), log.size()));
        std::vector<Bytes> out;
        for (const SimLogRecord& r : log)
            if (r.op == SIM_OP_WRITE && r.addr == SI4769_ADDRESS && r.result > 0)
                out.emplace_back(r.data, r.data + r.dataLen);
        return out;
    }
    static Bytes codes(const std::vector<Bytes>& cmds)
    {
        Bytes out;
        for (const Bytes& c : cmds)
            out.push_back(c.empty() ? 0 : c[0]);
        return out;
    }
};

TEST_F(Si4769, StartUpSendsTheSequenceWithItsReadBacks)
{
    testing::internal::CaptureStdout();
    setFreqOffsetScale(0x1234);
    EXPECT_EQ(SI4769_StartUp(1, 15250), 0);
    std::string out = testing::internal::GetCapturedStdout();
    auto c = commands();
    ASSERT_GE(c.size(), 21u);
    EXPECT_EQ(c[0], (Bytes{0x11, 0x00}));
    EXPECT_EQ(c[1], (Bytes{0x01, 0x77, 0x29, 0x27, 0x12, 0x11}));
    EXPECT_EQ(c[2], (Bytes{0x13, 0x00, 0x06, 0x00, 0x08, 0x01}));
    EXPECT_EQ(c[3], (Bytes{0x14, 0x00, 0x06, 0x00}));
    EXPECT_EQ(c[4], (Bytes{0x19, 21, 21, 22, 22}));
    EXPECT_EQ(c[5], (Bytes{0x1C, 1, 1}));
    EXPECT_EQ(c[14], (Bytes{0x13, 0x00, 0x20, 0x0C, 0x12, 0x34}));
    EXPECT_EQ(c[16], (Bytes{0x13, 0x00, 0x22, 0x10, 0x00, 246}));
    EXPECT_EQ(codes(c), (Bytes{0x11, 0x01, 0x13, 0x14, 0x19, 0x1C, 0x13, 0x14, 0x13, 0x14, 0x13, 0x14, 0x13, 0x14,
                               0x13, 0x14, 0x13, 0x14, 0x15, 0x02, 0x12}));
    EXPECT_EQ(get(SI4769_SIM_POWER), 1);
    EXPECT_NE(out.find("     > Mode = FM Receiver \n"), std::string::npos) << out;
    EXPECT_NE(out.find("ChipRev    = 65   PartNum = 69"), std::string::npos) << out;
}

TEST_F(Si4769, LoadCodes)
{
    EXPECT_EQ(SI4769_LoadCode(15250), 41);
    EXPECT_EQ(SI4769_LoadCode(5000), 0);
    EXPECT_EQ(SI4769_LoadCode(20750), 63);
}

TEST_F(Si4769, ArgumentAndValueChecksKeepTheBusQuiet)
{
    testing::internal::CaptureStdout();
    ASSERT_EQ(SI4769_cmd_PowerUp_dflt(15250), 0);
    uint64_t h = head();
    EXPECT_EQ(SI4769_cmd_FMTuneFreq_dflt(10805), -10);
    EXPECT_EQ(SI4769_cmd_FMTuneFreq_dflt(6399), -10);
    EXPECT_EQ(SI4769_cmd_FMTuneFreq(0x10, 9800), -10); // tune mode without smooth
    EXPECT_EQ(SI4769_cmd_SetProperty(SI4769_PROP_AUDIO_MISC_CONFIG, 6), -13);
    EXPECT_EQ(SI4769_cmd_SetProperty(0x1234, 0), -13);
    uint16_t v = 0;
    EXPECT_EQ(SI4769_cmd_GetProperty(0x1234, &v), -14);
    EXPECT_EQ(SI4769_cmd_GetProperty(SI4769_PROP_ZIF_OUTPUT_CFG, nullptr), -10);
    const struct {
        uint16_t prop, value;
        int rc;
    } values[] = {
        {SI4769_PROP_ZIF_OUTPUT_CFG, 0x0801, 0},  {SI4769_PROP_ZIF_OUTPUT_CFG, 0xC81F, 0},
        {SI4769_PROP_ZIF_OUTPUT_CFG, 0x0802, -13}, {SI4769_PROP_ZIF_OUTPUT_CFG, 0x0701, -13},
        {SI4769_PROP_ZIF_OUTPUT_CFG, 0x1801, -13}, {SI4769_PROP_INT_CTL_ENABLE, 0x4000, -13},
        {SI4769_PROP_INT_CTL_ENABLE, 0x8000, -13}, {SI4769_PROP_INT_CTL_ENABLE, 0x00FF, 0},
        {SI4769_PROP_FM_RDS_CONFIG, 0x0002, -13}, {SI4769_PROP_FM_RDS_CONFIG, 0x1000, -13},
        {SI4769_PROP_FM_RDS_CONFIG, 0x0001, 0},   {SI4769_PROP_AUDIO_MISC_CONFIG, 2, 0},
    };
    for (auto c : values)
        EXPECT_EQ(SI4769_cmd_SetProperty(c.prop, c.value), c.rc) << std::hex << c.prop << " " << c.value;
    EXPECT_EQ(SI4769_cmd_FMTuneFreq_dflt(10800), 0);
    testing::internal::GetCapturedStdout();
    auto c = commands(h);
    ASSERT_EQ(c.size(), 6u); // only the five accepted sets and the tuning reached the chip
    EXPECT_EQ(codes(c), (Bytes{0x13, 0x13, 0x13, 0x13, 0x13, 0x30}));
    EXPECT_EQ(c.back(), (Bytes{0x30, 0x00, 0x2A, 0x30}));
    EXPECT_EQ(get(SI4769_SIM_FREQ) << 8 | get(SI4769_SIM_FREQ + 1), 10800);
}

TEST_F(Si4769, ChipErrorsRetriesAndAStuckCts)
{
    testing::internal::CaptureStdout();
    // ERR: -15 with the status byte first.
    ASSERT_EQ(SI4769_cmd_PowerUp_dflt(15250), 0);
    set(SI4769_SIM_ERR_NEXT, 1);
    uint8_t status = 0;
    EXPECT_EQ(SI4769_cmd_GetIntStatus(&status), -15);
    EXPECT_EQ(status & 0xC0, 0xC0);
    // A POWER_UP answered with ERR is sent once more; a second ERR ends it.
    uint64_t h = head();
    set(SI4769_SIM_ERR_NEXT, 1);
    EXPECT_EQ(SI4769_cmd_PowerUp_dflt(15250), 0);
    EXPECT_EQ(codes(commands(h)), (Bytes{0x01, 0x01}));
    h = head();
    set(SI4769_SIM_ERR_NEXT, 2);
    EXPECT_EQ(SI4769_PowerDown(0), -15);
    EXPECT_EQ(codes(commands(h)), (Bytes{0x11, 0x11}));
    // PART_INFO is repeated at once on any failure; GET_PROPERTY is not.
    ASSERT_EQ(SI4769_cmd_PowerUp_dflt(15250), 0);
    h = head();
    tunerDevice()->nackNext.store(1);
    EXPECT_EQ(SI4769_cmd_PartInfo(nullptr), 0);
    set(SI4769_SIM_ERR_NEXT, 1);
    uint16_t v;
    EXPECT_EQ(SI4769_cmd_GetProperty(SI4769_PROP_ZIF_OUTPUT_CFG, &v), -15);
    EXPECT_EQ(codes(commands(h)), (Bytes{0x02, 0x14}));
    // A CTS that never comes: a read error, both counters up by one.
    uint32_t total = I2cErrorTotal.load(), own = SI4769_ErrorCount.load();
    set(SI4769_SIM_CTS_BUSY, 255);
    EXPECT_EQ(SI4769_cmd_GetIntStatus(&status), -16);
    EXPECT_EQ(I2cErrorTotal.load(), total + 1);
    EXPECT_EQ(SI4769_ErrorCount.load(), own + 1);
    // A few busy reads are waited out.
    set(SI4769_SIM_CTS_BUSY, 5);
    EXPECT_EQ(SI4769_cmd_GetIntStatus(&status), 0);
    EXPECT_EQ(SI4769_ErrorCount.load(), 0u);
    // A missing chip: the write fails.
    tunerDevice()->absent.store(1);
    EXPECT_EQ(SI4769_cmd_GetIntStatus(&status), -17);
    tunerDevice()->absent.store(0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[DuRU]|ERR| SI4769_send_cmd() : Read error in SI4769 - err=-16 \n\n\n"), std::string::npos);
    EXPECT_NE(book().find("Command or Parameter not valid for SI4769"), std::string::npos);
}

TEST_F(Si4769, StartUpStopsAtItsFirstFailingStep)
{
    const struct {
        uint8_t errCmd;
        const char* message;
        uint8_t lastSent;
    } cases[] = {
        {0x11, "POWER_DOWN of SI4769 device ... Failed", 0x11},
        {0x01, "POWER_UP of SI4769 device ... Failed", 0x01},
        {0x19, "Cmd 'ZIF_PIN_CFG' Failed", 0x19},
        {0x14, "Set Property 'ZIF_OUTPUT_CFG' Failed", 0x14},
        {0x15, "Cmd 'GET_INT_STATUS' Failed", 0x15},
        {0x12, "Cmd 'FUNC_INFO' Failed", 0x12},
    };
    for (auto c : cases) {
        set(SI4769_SIM_POWER, 0);
        set(SI4769_SIM_ERR_CMD, c.errCmd);
        uint64_t h = head();
        testing::internal::CaptureStdout();
        EXPECT_EQ(SI4769_StartUp(1, 15250), -15) << c.message;
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(std::string("SI4769_StartUp() : ") + c.message), std::string::npos) << out;
        EXPECT_EQ(commands(h).back()[0], c.lastSent) << c.message;
    }
}

TEST_F(Si4769, RsqRecordFromTheModelsResponse)
{
    testing::internal::CaptureStdout();
    ASSERT_EQ(SI4769_StartUp(0, 15250), 0);
    ASSERT_EQ(SI4769_cmd_FMTuneFreq_dflt(9800), 0);
    auto setR = [](int n, uint8_t v) { set(SI4769_SIM_RSQ + n - 1, v); };
    const struct {
        uint8_t r6, r15, r19, r20;
        int a;
        int rssi;
        uint8_t adj;
        uint16_t w, scaled;
    } cases[] = {
        // w = 50 * 15 - 120 = 630: 2 log10(0.84) + 5 = 4.85 -> 4.
        {167, 10, 50, 100, 1, 60, 10 + 9 + 4, 630, 275},
        {167, 10, 50, 100, 0, 60, 23, 630, 555},
        // w = 120 * 15 - 120 = 1680: 2 log10(2.24) + 5 = 5.70 -> 5.
        {100, 250, 120, 3, 0, -7, (250 + 9 + 5) % 256, 1680, 16},
        // w = 9 * 15 - 120 = 15: 2 log10(0.02) + 5 = 1.60 -> 1.
        {0, 0, 9, 0, 1, -107, 10, 15, 0},
        {107, 20, 8, 0, 1, 0, 29, 65535, 0},
        {107, 20, 121, 0, 1, 0, 29, 65535, 0},
    };
    for (auto c : cases) {
        setR(6, c.r6);
        setR(15, c.r15);
        setR(19, c.r19);
        setR(20, c.r20);
        setR(5, 0xFE);
        setR(1, 0x81);
        setR(2, 0xA1);
        setR(17, 3);
        setR(21, 0x12);
        setR(22, 0x34);
        SI4769_RsqRecord rec;
        ASSERT_EQ(SI4769_cmd_FMRsqStatus(c.a, 0, &rec), 0);
        EXPECT_EQ(SI4769_RsqRssi(rec), c.rssi) << int(c.r6);
        EXPECT_EQ(SI4769_RsqByte(rec, 29), c.adj) << int(c.r19);
        EXPECT_EQ(SI4769_RsqWord(rec, 40), c.w) << int(c.r19);
        EXPECT_EQ(SI4769_RsqWord(rec, 42), c.scaled) << int(c.r20);
        EXPECT_EQ(SI4769_RsqFreqKHz(rec), 98000u);
        EXPECT_EQ(SI4769_RsqOffset(rec), -2);
        EXPECT_EQ(SI4769_RsqWord(rec, 32), 0x1234);
        EXPECT_EQ(SI4769_RsqWord(rec, 36), 300);
        EXPECT_EQ(Bytes(rec.bytes, rec.bytes + 15), (Bytes{1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 1}));
    }
    uint8_t st = 0, acf = 0, level = 0, sync = 0;
    set(SI4769_SIM_ACF, 0x85);
    set(SI4769_SIM_RDS_SYNC, 1);
    EXPECT_EQ(SI4769_cmd_FMAcfStatus(0, &st, &acf, &level), 0);
    EXPECT_EQ(acf, 1);
    EXPECT_EQ(level, 5);
    uint8_t rds[16];
    EXPECT_EQ(SI4769_cmd_FMRdsStatus(&sync, rds), 0);
    EXPECT_EQ(sync, 1);
    testing::internal::GetCapturedStdout();
}

TEST_F(Si4769, DetectAndRestartKeepThePresentFlag)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(SI4769_Detect(0, 0), 0);
    EXPECT_EQ(getFmRxPresent(), 1);
    EXPECT_EQ(SI4769_Detect(0, 1), 0);
    EXPECT_EQ(getFmRxPresent(), 0);
    EXPECT_EQ(get(SI4769_SIM_POWER), 0);
    EXPECT_EQ(SI4769_SetXCLoad(20750), 0);
    EXPECT_EQ(getFmRxPresent(), 1);
    tunerDevice()->absent.store(1);
    EXPECT_EQ(SI4769_Detect(0, 0), -17);
    EXPECT_EQ(getFmRxPresent(), 0);
    EXPECT_EQ(SI4769_SetXCLoad(15250), -17);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Set XcLoad in SI4769 device ... Failed in Restart"), std::string::npos);
}

} // namespace
