// The RDS encoder core: the data set, the group composers with the vectors
// of their description, the transfer against the simulated FPGA's RDS FIFO,
// and a round trip from the composers to the groups on air, read back by a
// decoder written from the standard (and by rds-ctl of v4l-utils).
#include "audio/rdsComposers.h"
#include "audio/rdsDataSet.h"
#include "audio/rdsTransfer.h"

#include "Config/StrutturaDati.h"
#include "Config/keyTable.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "core/base/locks.h"
#include "core/base/rfMute.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"
#include "sim/simRds.h"
#include "sim/simState.h"
#include "testing/rdsDecoder.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Group {
    uint16_t b[4];
};

class RdsEncoder : public SandboxTest {
protected:
    RdsEncoder() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        for (const CfgKeyDesc& d : cfgKeyTable)
            cfgApplyDefault(&d);
        SemMutexInit();
        ASSERT_EQ(initAxi(), 0);
        rfMuteState.store(0);
        // Switching the encoder on empties the FIFO and the data set.
        setRdsEncoderOn(1);
        setRdsFifoFree(0);
    }

    // What the encoder's copy of the configuration puts into the data set.
    static void fromConfiguration(uint8_t d)
    {
        auto put16 = [](int slot, uint16_t v) {
            memcpy(rdsElement(slot)->data, &v, 2);
            rdsElement(slot)->length = 2;
            rdsElement(slot)->valid = 1;
        };
        auto put8 = [](int slot, uint32_t v) {
            rdsElement(slot)->data[0] = static_cast<uint8_t>(v);
            rdsElement(slot)->length = 1;
            rdsElement(slot)->valid = 1;
        };
        put16(RDS_SLOT_PI, getPI(d));
        put16(RDS_SLOT_PIN, getPIN(d));
        put8(RDS_SLOT_PTY, getPTY(d));
        put8(RDS_SLOT_TP, getTP(d));
        put8(RDS_SLOT_TA, getTA(d));
        put8(RDS_SLOT_MS, getMS(d));
        put8(RDS_SLOT_DI, getDI(d));
        put8(RDS_SLOT_AF, getAFN(d));
        put8(RDS_SLOT_ECC, getECC(d));
        uint32_t w[2] = {swapRdsTextWord(getStaticPS0(d, 0)), swapRdsTextWord(getStaticPS0(d, 1))};
        memcpy(rdsElement(RDS_SLOT_PS)->data, w, 8);
        rdsElement(RDS_SLOT_PS)->valid = 1;
    }

    static void setPs(const char* ps)
    {
        memcpy(rdsElement(RDS_SLOT_PS)->data, ps, 8);
        rdsElement(RDS_SLOT_PS)->valid = 1;
    }

    template <class F>
    static std::vector<Group> compose(F f, int calls)
    {
        std::vector<Group> out;
        for (int k = 0; k < calls; k++) {
            uint16_t q[RDS_QUEUE_BLOCKS];
            uint16_t n = 0;
            EXPECT_EQ(f(q, &n), 0) << "call " << k;
            for (int i = 0; i + 3 < n; i += 4)
                out.push_back({{q[i], q[i + 1], q[i + 2], q[i + 3]}});
        }
        return out;
    }

    void writeRadioText(int n, const std::string& text)
    {
        for (const char* dir : {"/mnt", "/mnt/ubi0", "/mnt/ubi0/conf", "/mnt/ubi0/conf/rds"})
            mkdir(host(dir).c_str(), 0755);
        std::ofstream(host(("/mnt/ubi0/conf/rds/rt_rds_" + std::to_string(n)).c_str()), std::ios::binary) << text;
    }

    static SimFpgaState& fpga() { return simState()->fpga; }
};

// ---- Data set ---------------------------------------------------------------------

TEST_F(RdsEncoder, DataSetTakesKnownCodesAndRefusesTheRest)
{
    const uint8_t pi[2] = {0x12, 0x34};
    EXPECT_EQ(AddMsgToActiveRdsDataSet(0x01, pi, 2), 0);
    EXPECT_EQ(isRdsMecValid(0x01), 1);
    EXPECT_EQ(rdsElement(RDS_SLOT_PI)->length, 2u);

    // TA in bit 0 and TP in bit 1 of one byte, each kept as its own flag.
    for (uint8_t byte : {0, 1, 2, 3}) {
        ASSERT_EQ(AddMsgToActiveRdsDataSet(0x03, &byte, 1), 0);
        EXPECT_EQ(rdsElement(RDS_SLOT_TA)->data[0], byte & 1) << int(byte);
        EXPECT_EQ(rdsElement(RDS_SLOT_TP)->data[0], byte >> 1) << int(byte);
        EXPECT_EQ(rdsElement(RDS_SLOT_TA)->valid + rdsElement(RDS_SLOT_TP)->valid, 2);
    }

    uint8_t big[257];
    memset(big, 'x', sizeof big);
    EXPECT_EQ(AddMsgToActiveRdsDataSet(0x0A, big, 257), -1);
    EXPECT_EQ(isRdsMecValid(0x0A), 0);
    EXPECT_EQ(AddMsgToActiveRdsDataSet(0x0A, big, 256), 0);
    EXPECT_EQ(rdsElement(RDS_SLOT_RT)->length, 256u);

    for (int32_t code : {0x3E, 0x09, 0x14, 0x19, 0, -1, 72, 0x08})
        EXPECT_EQ(AddMsgToActiveRdsDataSet(code, pi, 2), -1) << code;
    RdsDataSet before = getRdsDataSet();
    for (int32_t code = 0x41; code <= 0x47; code++)
        EXPECT_EQ(AddMsgToActiveRdsDataSet(code, pi, 2), 0) << code;
    EXPECT_EQ(memcmp(&before, &getRdsDataSet(), sizeof before), 0) << "0x41..0x47 store nothing";

    rdsElement(RDS_SLOT_RT)->consumed = 1;
    setRdsMecChanged(0x0A, 1);
    EXPECT_EQ(rdsElement(RDS_SLOT_RT)->valid, 1);
    EXPECT_EQ(rdsElement(RDS_SLOT_RT)->consumed, 0);
    EXPECT_EQ(rdsElement(RDS_SLOT_RT)->length, 256u);
    setRdsMecChanged(0x0A, 0);
    EXPECT_EQ(rdsElement(RDS_SLOT_RT)->valid, 0);
    EXPECT_EQ(rdsElement(RDS_SLOT_RT)->length, 0u);
    setRdsMecChanged(0x3E, 1);
    EXPECT_EQ(rdsElement(RDS_SLOT_PTYN)->valid, 1) << "PTYN is flagged though UECP cannot add it";
    setRdsMecChanged(0x29, 1);
    EXPECT_EQ(isRdsMecValid(0x29), 0) << "0x29 is stored but not flagged";
}

TEST_F(RdsEncoder, GroupCodesAndTextWords)
{
    const struct {
        uint32_t code;
        const char* text;
    } cases[] = {{0, " 0A"}, {4, " 2A"}, {29, "14B"}, {31, "15B"}, {255, "_"}, {300, "_"}};
    for (const auto& c : cases) {
        char t[4] = {};
        formatRdsGroupCode(c.code, t);
        EXPECT_STREQ(t, c.text) << c.code;
    }
    uint8_t type = 0, version = 0;
    splitRdsGroupCode(29, &type, &version);
    EXPECT_EQ(type, 14);
    EXPECT_EQ(version, 1);
    splitRdsGroupCode(255, &type, &version);
    EXPECT_EQ(type + version, 510);
    EXPECT_EQ(swapRdsTextWord(0x74617266u), 0x66726174u);
}

TEST_F(RdsEncoder, ResetEmptiesTheDataSetAndTheFifo)
{
    const uint8_t pi[2] = {1, 2};
    const uint16_t q[4] = {1, 2, 3, 4};
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x01, pi, 2), 0);
    ASSERT_EQ(writeRdsFifo(q, 4), 8);
    resetRdsEncoderData(0);
    EXPECT_EQ(isRdsMecValid(0x01), 0);
    EXPECT_EQ(getRdsFifoUsed(), 0u);
    EXPECT_EQ(getRdsDataSet().initialised, 1);
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x01, pi, 2), 0);
    resetRdsEncoderData(0);
    EXPECT_EQ(isRdsMecValid(0x01), 0);
    clearRdsDataSet();
    EXPECT_EQ(getRdsDataSet().initialised, 0);
}

// ---- Composers --------------------------------------------------------------------

TEST_F(RdsEncoder, Group0ACarriesPsSegmentsDiAndAlternativeFrequencies)
{
    fromConfiguration(0);
    setPs("RADIO  1");
    rdsElement(RDS_SLOT_DI)->data[0] = 0b1001;
    auto g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType0A(0, q, n); }, 4);
    ASSERT_EQ(g.size(), 4u);
    const uint16_t ps[4] = {0x5241, 0x4449, 0x4F20, 0x2031};
    const int di[4] = {1, 0, 0, 1};
    for (int s = 0; s < 4; s++) {
        EXPECT_EQ(g[s].b[3], ps[s]) << s;
        EXPECT_EQ(g[s].b[1] & 3, s);
        EXPECT_EQ((g[s].b[1] >> 2) & 1, di[s]) << s;
        EXPECT_EQ(g[s].b[0], getPI(0));
    }

    // Method A: 224 + N first, codes in pairs, back to the start.
    setAFL(0, 0, 0x0A141E00u);
    rdsElement(RDS_SLOT_AF)->data[0] = 3;
    setAFM(0, 0);
    g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType0A(0, q, n); }, 3);
    EXPECT_EQ(g[0].b[2], 0xE30A);
    EXPECT_EQ(g[1].b[2], 0x141E);
    EXPECT_EQ(g[2].b[2], 0xE30A);
    rdsElement(RDS_SLOT_AF)->data[0] = 0;
    g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType0A(0, q, n); }, 2);
    EXPECT_EQ(g[0].b[2], 0xCDCD);
    EXPECT_EQ(g[1].b[2], 0xCDCD);

    // Method B on 98.0 MHz: the tuned frequency in every pair.
    getSystemImage()->rf.outputRFfrequency = 98000000;
    setAFM(0, 1);
    rdsElement(RDS_SLOT_AF)->data[0] = 2;
    g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType0A(0, q, n); }, 5);
    const uint16_t b[5] = {0xE569, 0x0A69, 0x1469, 0xE569, 0x0A69};
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(g[k].b[2], b[k]) << k;
}

TEST_F(RdsEncoder, UecpTpTaFitTheirBitsOfBlock2)
{
    fromConfiguration(0);
    const uint8_t both = 3;
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x03, &both, 1), 0);
    auto g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType0A(0, q, n); }, 1);
    EXPECT_EQ(g[0].b[1] & 0x0800, 0) << "version A";
    EXPECT_EQ((g[0].b[1] >> 10) & 1, 1) << "TP";
    EXPECT_EQ((g[0].b[1] >> 5) & 31, getPTY(0)) << "PTY untouched";
    EXPECT_EQ((g[0].b[1] >> 4) & 1, 1) << "TA";
}

TEST_F(RdsEncoder, Group4AFromTheElementAndFromTheClock)
{
    fromConfiguration(0);
    setCustomCT(0);
    // 2026-12-07 22:30 UTC, local time one hour ahead (two half hours).
    const uint8_t ct[8] = {26, 12, 7, 22, 30, 0, 0, 2};
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x0D, ct, 8), 0);
    auto g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType4A(q, n); }, 1);
    ASSERT_EQ(g.size(), 1u);
    EXPECT_EQ(g[0].b[1] & 0xF803, 0x4001) << "type 4A, MJD bits 15-16";
    EXPECT_EQ(g[0].b[2], 0xDF8B);
    EXPECT_EQ(g[0].b[3], 0x6782);
    EXPECT_EQ(isRdsMecValid(0x0D), 0) << "one group per arming";

    ASSERT_EQ(symlink("/usr/share/zoneinfo/Etc/GMT-1", host("/usr/local/conf/localtime").c_str()), 0);
    clockZoneChanged();
    clockUseVirtual(1000000000LL, 1796682600LL); // 2026-12-07 22:30:00 UTC
    setCustomCT(1);
    rdsElement(RDS_SLOT_CT)->valid = 1;
    g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType4A(q, n); }, 1);
    ASSERT_EQ(g.size(), 1u);
    EXPECT_EQ(g[0].b[2], 0xDF8B);
    EXPECT_EQ(g[0].b[3], 0x6782);
}

TEST_F(RdsEncoder, RadioTextIsSentFourTimesAMessage)
{
    fromConfiguration(0);
    setCustomRT(0);
    setRTABFlagMode(0, 0);
    // A UECP RadioText of 10 characters, 4 transmissions.
    const uint8_t rt[11] = {4 << 1, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x0A, rt, 11), 0);
    auto g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType2A(0, q, n); }, 12);
    ASSERT_EQ(g.size(), 12u);
    for (int k = 0; k < 12; k++) {
        EXPECT_EQ(g[k].b[1] & 15, k % 3) << k;
        EXPECT_EQ(g[k].b[2], k % 3 == 0 ? 0x3031 : k % 3 == 1 ? 0x3435 : 0x3839) << k;
    }
    EXPECT_EQ(g[2].b[3], 0x0D0D);

    // The configured text: the file's lines of up to 64 characters; 100
    // characters make two messages of 64.
    setCustomRT(1);
    writeRadioText(1, std::string(64, 'a') + "\n" + std::string(36, 'b') + "\n");
    setRadioTextFlag(0, 1);
    g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType2A(0, q, n); }, 4 * 16 + 16);
    EXPECT_EQ(getRadioTextFlag(0), 0);
    EXPECT_EQ(g[0].b[2], 0x6161);
    EXPECT_EQ(g[63].b[1] & 15, 15);
    EXPECT_EQ(g[64].b[2], 0x6262) << "the second message after four of the first";
    EXPECT_EQ(g[73].b[3], 0x2020) << "the line's end as spaces";
    EXPECT_NE(g[0].b[1] & 0x10, g[64].b[1] & 0x10) << "A/B toggles between the messages";
}

TEST_F(RdsEncoder, InHouseTdcAndTmcComposers)
{
    fromConfiguration(0);
    // 6A: seven data bytes are cut to six; one group carries bytes 0..4,
    // always as version A.
    const uint8_t ih[8] = {1, 0x1F, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x25, ih, 8), 0);
    auto g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType6A(q, n); }, 1);
    EXPECT_EQ(g[0].b[1] & 0xF81F, 0x601F);
    EXPECT_EQ(g[0].b[2], 0xA1A2);
    EXPECT_EQ(g[0].b[3], 0xA3A4);
    uint16_t q[RDS_QUEUE_BLOCKS], n = 0;
    EXPECT_EQ(composeGroupsType6A(q, &n), -6) << "sent once";

    // 5A with six bytes: bytes past the data go as 0.
    const uint8_t tdc[7] = {0, 0x03, 1, 2, 3, 4, 5};
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x26, tdc, 7), 0);
    g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType5AB(q, n); }, 2);
    EXPECT_EQ(g[0].b[1] & 0xF81F, 0x5003);
    EXPECT_EQ(g[0].b[2], 0x0301);
    EXPECT_EQ(g[0].b[3], 0x0203);
    EXPECT_EQ(g[1].b[2], 0x0405);
    EXPECT_EQ(g[1].b[3], 0x0000);
    EXPECT_EQ(composeGroupsType5AB(q, &n), -6);

    // An urgent TMC message repeating until replaced: three groups a call.
    const uint8_t tmc[6] = {0x80, 0x11, 0x22, 0x33, 0x44, 0x55};
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x30, tmc, 6), 0);
    g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType8A(q, n); }, 2);
    ASSERT_EQ(g.size(), 6u);
    for (const Group& x : g) {
        EXPECT_EQ(x.b[1] & 0xF81F, 0x8011);
        EXPECT_EQ(x.b[2], 0x2233);
        EXPECT_EQ(x.b[3], 0x4455);
    }
}

TEST_F(RdsEncoder, EonTaChangeSendsFour14BBeforeFurther14A)
{
    fromConfiguration(0);
    setEON(1);
    setDataSetEONText(0, 0, 2);
    auto eon = [](uint8_t restart) {
        return [restart](uint16_t* q, uint16_t* n) {
            int r = composeGroupsType14AB(0, 0, restart, q, n);
            return r == 1 ? 0 : r;
        };
    };
    auto g = compose(eon(1), 1);
    ASSERT_EQ(g.size(), 1u);
    EXPECT_EQ(g[0].b[1] & 0xF80F, 0xE000) << "14A variant 0";
    EXPECT_EQ(g[0].b[3], getPI(1));
    setTA(1, 1);
    g = compose(eon(0), 2);
    ASSERT_EQ(g.size(), 5u);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(g[k].b[1] & 0xF81F, 0xE808) << "14B with TA of the other network";
        EXPECT_EQ(g[k].b[2], getPI(0));
        EXPECT_EQ(g[k].b[3], getPI(1));
    }
    EXPECT_EQ(g[4].b[1] & 0xF80F, 0xE001) << "then 14A goes on";
    EXPECT_EQ(detectEonTaChange(0), 0);
    setTA(1, 0);
    EXPECT_EQ(detectEonTaChange(0), 2) << "the data-set number, not its index";
}

TEST_F(RdsEncoder, OdaTableSendsItsEntriesInTurn)
{
    fromConfiguration(0);
    uint16_t q[RDS_QUEUE_BLOCKS], n = 0;
    EXPECT_EQ(composeGroupsType3A(0, q, &n), -2);
    const uint8_t a[7] = {0x0B, 0xCD, 0x46, 2, 0x12, 0x34, 0};
    const uint8_t b[7] = {0x0D, 0x4B, 0xD7, 2, 0x00, 0x01, 0};
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x40, a, 7), 0);
    auto g = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType3A(0, q, n); }, 1);
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x40, b, 7), 0);
    auto h = compose([](uint16_t* q, uint16_t* n) { return composeGroupsType3A(0, q, n); }, 3);
    EXPECT_EQ(g[0].b[3], 0xCD46);
    EXPECT_EQ(g[0].b[1] & 31, 0x0B);
    EXPECT_EQ(getRdsOdaTable()->count, 2);
    std::vector<uint16_t> aids;
    for (const Group& x : h)
        aids.push_back(x.b[3]);
    EXPECT_EQ(aids, (std::vector<uint16_t>{0x4BD7, 0xCD46, 0x4BD7}));
}

// ---- Transfer ---------------------------------------------------------------------

TEST_F(RdsEncoder, WordsCarryParityLevelMuteAndFifoEnable)
{
    const uint16_t blocks[4] = {0x1234, 0, 0, 0};
    setRdsGroupBlocks(blocks);
    setRdsFifoFree(1);
    rfMuteState.store(1);
    RDS_Comm();
    EXPECT_EQ(fpga().rdsWords[0], 0x00E01234u);
    EXPECT_EQ(fpga().rdsWords[5], 0x00200001u);
    EXPECT_EQ(fpga().rdsWords[4] & (1u << 16), 0u) << "muted";
    rfMuteState.store(0);
    RDS_Comm();
    EXPECT_EQ(fpga().rdsWords[4] & (3u << 16), 3u << 16) << "on air, FIFO enabled";
    EXPECT_EQ(fpga().rdsWords[4] & 0xFFFF, getRdsInternalLevelCode());
    EXPECT_EQ(fpga().rds.parityErrors.load(), 0u);
}

TEST_F(RdsEncoder, DefaultConfigurationGivesTheFirst0AGroup)
{
    fromConfiguration(0);
    uint16_t q[RDS_QUEUE_BLOCKS], n = 0;
    ASSERT_EQ(composeGroupsType0A(0, q, &n), 0);
    ASSERT_EQ(writeRdsFifo(q, n), 8);
    setRdsFifoFree(1);
    RDS_Comm();
    const uint32_t want[4] = {0x00605201, 0x00000168, 0x0060CDCD, 0x00807461};
    SimRdsState& r = fpga().rds;
    ASSERT_GE(r.taken.load(), 1u);
    // The first transfer took the group; later passes repeat it.
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(fpga().rdsWords[i], want[i]) << i;
}

TEST_F(RdsEncoder, FifoTakesWholeBatchesOnly)
{
    uint16_t q[RDS_QUEUE_BLOCKS];
    for (int i = 0; i < RDS_QUEUE_BLOCKS; i++)
        q[i] = static_cast<uint16_t>(0x100 + i);
    EXPECT_EQ(writeRdsFifo(q, RDS_QUEUE_BLOCKS), 152) << "19 groups into an empty FIFO";
    EXPECT_EQ(writeRdsFifo(q, RDS_QUEUE_BLOCKS), 152);
    EXPECT_EQ(writeRdsFifo(q, RDS_QUEUE_BLOCKS), 152);
    EXPECT_EQ(getRdsFifoUsed(), 456u);
    initRdsFifo();
    EXPECT_EQ(writeRdsFifo(q, 76), 152);
    EXPECT_EQ(writeRdsFifo(q, 76), 152);
    EXPECT_EQ(writeRdsFifo(q, 12), 24);
    // 480 - 328 = 152 bytes free: a batch of 152 bytes is refused whole.
    EXPECT_EQ(writeRdsFifo(q, 76), 0);
    EXPECT_EQ(getRdsFifoUsed(), 328u);

    uint16_t n = 72;
    EXPECT_EQ(addGroupToBlocksQueue(q, &n, 1, 2, 3, 4), 0);
    EXPECT_EQ(addGroupToBlocksQueue(q, &n, 1, 2, 3, 4), -1);
    EXPECT_EQ(n, 76);
    n = 0;
    EXPECT_EQ(addGroupToBlocksQueue(q, &n, 0, 0, 0, 0), -2);
    EXPECT_EQ(n, 0);
}

TEST_F(RdsEncoder, CommSendsAtMostTenGroupsAndStopsWhenAlmostFull)
{
    simRdsSetCapacity(64);
    uint16_t q[RDS_QUEUE_BLOCKS];
    uint16_t n = 0;
    for (int i = 0; i < 15; i++)
        addGroupToBlocksQueue(q, &n, 0x5201, static_cast<uint16_t>(i), 0, 0);
    ASSERT_EQ(writeRdsFifo(q, n), 120);
    uint32_t before = fpga().rdsCount.load();
    EXPECT_EQ(RDS_Comm(), 0);
    EXPECT_EQ(fpga().rdsCount.load() - before, 10u);
    // The first pass of all finds FIFO_EN 0 and takes nothing.
    EXPECT_EQ(fpga().rds.taken.load(), 9u);
    EXPECT_EQ(getRdsFifoUsed(), 6u * 8);

    fpga().rdsStatus.store(1); // almost full
    before = fpga().rdsCount.load();
    EXPECT_EQ(RDS_Comm(), 1);
    EXPECT_EQ(fpga().rdsCount.load() - before, 1u);
    EXPECT_EQ(getRdsFifoFree(), 0u);
    fpga().rdsStatus.store(0);
    before = fpga().rds.taken.load();
    RDS_Comm();
    EXPECT_EQ(getRdsFifoUsed(), 0u);
    // Group 14 was the last in the FIFO; the empty FIFO repeats it.
    EXPECT_EQ(fpga().rdsWords[1] & 0xFFFF, 14u);
    EXPECT_EQ(fpga().rds.taken.load() - before, 9u);

    setRdsEncoderOn(0);
    before = fpga().rdsCount.load();
    EXPECT_EQ(RDS_Comm(), 0);
    EXPECT_EQ(fpga().rdsCount.load(), before) << "encoder off";
}

TEST_F(RdsEncoder, LockNotTakenReadsStatusZero)
{
    pthread_mutex_t* lock = SemAxiFpga;
    SemAxiFpga = nullptr;
    setRdsFifoAlmostFullFpga(1);
    uint32_t frame[6] = {1, 2, 3, 4, 5, 6};
    uint8_t status[3] = {9, 9, 9};
    uint32_t before = fpga().rdsCount.load();
    transferRdsFpgaWords(frame, status);
    SemAxiFpga = lock;
    EXPECT_EQ(fpga().rdsCount.load(), before);
    EXPECT_EQ(status[0] + status[1] + status[2], 0);
}

// ---- Round trip ----------------------------------------------------------------------

std::string bitsOf(const SimRdsAirGroup* g, int n)
{
    std::string s;
    for (int k = 0; k < n; k++)
        for (int b = 0; b < 4; b++)
            for (int i = 25; i >= 0; i--)
                s += (g[k].blocks[b] >> i) & 1u ? '1' : '0';
    return s;
}

class RdsRoundTrip : public RdsEncoder {
protected:
    // Batches of the test's sequence while the software FIFO runs low, one
    // transfer every 200 ms, until `seconds` have gone on air.
    void run(double seconds, const std::vector<int>& sequence)
    {
        int64_t endUs = static_cast<int64_t>(seconds * 1e6);
        for (int64_t t = 0; t < endUs; t += 200000) {
            // Never below ten groups, so no transfer finds the FIFO empty
            // (which would send the last group again).
            while (getRdsFifoUsed() < 20 * 8) {
                uint16_t q[RDS_QUEUE_BLOCKS], n = 0;
                for (int code : sequence)
                    composeEntry(code, q, &n);
                if (isRdsElementValid(rdsElement(RDS_SLOT_CT)))
                    composeGroupsType4A(q, &n);
                if (writeRdsFifo(q, n) == 0)
                    break;
            }
            RDS_Comm();
            clockAdvanceUs(200000);
            simRdsAdvance();
        }
    }

    void composeEntry(int code, uint16_t* q, uint16_t* n)
    {
        switch (code) {
        case 0: composeGroupsType0A(0, q, n); break;
        case 1: composeGroupsType0B(q, n); break;
        case 2: composeGroupsType1A(0, q, n); break;
        case 4: composeGroupsType2A(0, q, n); break;
        case 16: composeGroupsType8A(q, n); break;
        case 28:
            if (composeGroupsType14AB(0, 0, eonRestart_, q, n) == 1)
                eonRestart_ = 1;
            else
                eonRestart_ = 0;
            break;
        default: break;
        }
    }

    RdsDecoded decoded(std::vector<SimRdsAirGroup>* groups = nullptr)
    {
        static SimRdsAirGroup air[kSimRdsAirLog];
        int n = simRdsAirGroups(air, kSimRdsAirLog);
        if (groups)
            groups->assign(air, air + n);
        return rdsDecodeBits(bitsOf(air, n));
    }

    uint8_t eonRestart_ = 1;
};

TEST_F(RdsRoundTrip, DecoderReadsBackWhatWasSet)
{
    fromConfiguration(0);
    setPs("RADIO  1");
    rdsElement(RDS_SLOT_PTY)->data[0] = 10;
    setAFL(0, 0, 0x0A141E00u);
    setAFM(0, 0);
    rdsElement(RDS_SLOT_AF)->data[0] = 3;
    setCustomRT(1);
    writeRadioText(1, "Hello RDS world\n");
    setRadioTextFlag(0, 1);
    setCustomCT(1);
    setCustomECC(1);
    rdsElement(RDS_SLOT_ECC)->data[0] = 0xE0;
    rdsElement(RDS_SLOT_CT)->valid = 1;
    setEON(1);
    setDataSetEONText(0, 0, 2);

    run(30, {0, 0, 4, 0, 2, 0, 28, 4});
    std::vector<SimRdsAirGroup> air;
    RdsDecoded d = decoded(&air);
    ASSERT_GT(d.groups.size(), 300u);
    EXPECT_EQ(d.syndromeErrors, 0);
    EXPECT_EQ(d.pi, getPI(0));
    EXPECT_EQ(d.ps, "RADIO  1");
    EXPECT_EQ(d.pty, 10);
    EXPECT_EQ(d.tp, 0);
    EXPECT_EQ(d.ta, 0);
    EXPECT_EQ(d.di, getDI(0));
    EXPECT_EQ(d.afMethod, 0);
    EXPECT_EQ(d.afCodes, (std::set<int>{10, 20, 30}));
    ASSERT_FALSE(d.radioTexts.empty());
    EXPECT_EQ(d.radioTexts[0].text, "Hello RDS world" + std::string(49, ' '));
    EXPECT_EQ(d.ecc, 0xE0);
    EXPECT_EQ(d.pin, getPIN(0));
    EXPECT_EQ(d.mjd, 40587 + 1767225600L / 86400) << "the virtual clock's date";
    int ct = 0;
    for (const RdsDecodedGroup& g : d.groups)
        ct += g.type == 4;
    EXPECT_EQ(ct, 1) << "one 4A per arming";
    EXPECT_EQ(d.eonPs[getPI(1)], "tarn vrl");

    // UECP TP/TA bytes 2 and 3.
    for (uint8_t byte : {2, 3}) {
        ASSERT_EQ(AddMsgToActiveRdsDataSet(0x03, &byte, 1), 0);
        run(8, {0, 0, 0, 0});
        d = decoded();
        EXPECT_EQ(d.tp, 1) << int(byte);
        EXPECT_EQ(d.ta, byte & 1) << int(byte);
        EXPECT_EQ(d.pty, 10) << int(byte);
        EXPECT_EQ(d.syndromeErrors, 0);
    }

    // rds-ctl of v4l-utils reads the same from V4L2 RDS block records.
    if (access("/usr/bin/rds-ctl", X_OK) != 0)
        GTEST_SKIP() << "rds-ctl (v4l-utils) is not installed";
    std::string rec;
    for (const SimRdsAirGroup& g : air) {
        uint16_t info1 = static_cast<uint16_t>(g.blocks[1] >> 10);
        for (int b = 0; b < 4; b++) {
            uint16_t info = static_cast<uint16_t>(g.blocks[b] >> 10);
            int id = b == 2 && (info1 & 0x0800) ? 4 : b;
            rec += static_cast<char>(info & 255);
            rec += static_cast<char>(info >> 8);
            rec += static_cast<char>(id);
        }
    }
    std::string file = root + "/rds.bin";
    std::ofstream(file, std::ios::binary) << rec;
    std::string out;
    FILE* p = popen(("TZ=UTC /usr/bin/rds-ctl --file " + file + " --print-block --read-rds 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, got);
    pclose(p);
    char pi[16];
    snprintf(pi, sizeof pi, "PI: %04X", getPI(0));
    for (const char* want : {static_cast<const char*>(pi), "PS: RADIO  1", "PTY: 10 -> Pop Music",
                             "RT: Hello RDS world", "Announced AFs: 3", "AF00: 88.5MHz", "AF01: 89.5MHz",
                             "AF02: 90.5MHz", "ECC: E0"})
        EXPECT_NE(out.find(want), std::string::npos) << want;
}

TEST_F(RdsRoundTrip, RadioTextRepeatsToggleAndUrgentTmc)
{
    fromConfiguration(0);
    setCustomRT(1);
    setRTABFlagMode(0, 0);
    writeRadioText(1, std::string(64, 'x') + "\n" + std::string(36, 'y') + "\n");
    setRadioTextFlag(0, 1);
    const uint8_t tmc[6] = {0x80, 0x11, 0x22, 0x33, 0x44, 0x55};
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x30, tmc, 6), 0);

    run(60, {4, 4, 4, 4, 16});
    RdsDecoded d = decoded();
    EXPECT_EQ(d.syndromeErrors, 0);
    ASSERT_GE(d.radioTexts.size(), 12u);
    // Each message four times, the A/B flag flipping between them.
    for (size_t k = 0; k + 4 <= 12; k += 4) {
        for (size_t i = 1; i < 4; i++) {
            EXPECT_EQ(d.radioTexts[k + i].text, d.radioTexts[k].text) << k + i;
            EXPECT_EQ(d.radioTexts[k + i].ab, d.radioTexts[k].ab) << k + i;
        }
        EXPECT_NE(d.radioTexts[k + 4].text.substr(0, 1), d.radioTexts[k].text.substr(0, 1)) << k;
        EXPECT_NE(d.radioTexts[k + 4].ab, d.radioTexts[k].ab) << k;
    }
    EXPECT_EQ(d.radioTexts[0].text, std::string(64, 'x'));
    EXPECT_EQ(d.radioTexts[4].text, std::string(36, 'y') + std::string(28, ' '));
    // Urgent TMC: three 8A groups a call, in a row.
    int run8 = 0, longest = 0;
    for (const RdsDecodedGroup& g : d.groups) {
        run8 = g.type == 8 ? run8 + 1 : 0;
        longest = std::max(longest, run8);
        if (g.type != 8 && run8 == 0)
            continue;
    }
    EXPECT_EQ(longest, 3);
}

} // namespace
