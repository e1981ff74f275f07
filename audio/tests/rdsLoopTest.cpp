// The RDS loop and the UECP receiver: the group sequence and its batches on
// the virtual clock against the simulated RDS FIFO, the period the batches
// and the FPGA's FIFO set, the configured items copied into the data set,
// and UECP frames through the receive ring into the data set (golden frames,
// the CRC, the address filter, the DSN and Custom rules, cut and overlong
// frames and elements).
#include "audio/rdsComposers.h"
#include "audio/rdsDataSet.h"
#include "audio/rdsSequencer.h"
#include "audio/rdsTransfer.h"
#include "audio/uecpReceiver.h"

#include "Config/keyTable.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/ringBuf.h"
#include "core/base/timeBase.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"
#include "sim/simRds.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <atomic>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

size_t occurrences(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

class RdsLoop : public SandboxTest {
protected:
    RdsLoop() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        for (const CfgKeyDesc& d : cfgKeyTable)
            cfgApplyDefault(&d);
        SemMutexInit();
        ASSERT_EQ(initAxi(), 0);
        rfMuteState.store(0);
        setRdsEncoderOn(1);
        setCurrentRDSDSN(1);
        debugModuleMask.store(debugModuleMask.load() | 0x4000 | 0x10000); // the RDS and UECP rows
        ASSERT_EQ(pipe(line_), 0);
        clockAdvanceUs(1234567);
        timeThread();
    }

    void TearDown() override
    {
        close(line_[0]);
        close(line_[1]);
        SandboxTest::TearDown();
    }

    // PI from the configuration: the sequence composes.
    static void configuredPi(uint16_t pi)
    {
        setPI(0, pi);
        setCustomPI(1);
    }

    static void sequence(std::vector<uint8_t> codes)
    {
        setRdsSequence(0, codes.data(), static_cast<uint32_t>(codes.size()));
        setRdsSequenceEnable(0, 1);
    }

    static std::vector<int> active()
    {
        std::vector<int> v;
        for (int i = 0; i < getRdsActiveSequenceLength(); i++)
            v.push_back(getRdsActiveSequence()[i]);
        return v;
    }

    // Bytes on the UECP line, read into the ring as the port thread does.
    void receive(const Bytes& b)
    {
        ASSERT_EQ(write(line_[1], b.data(), b.size()), static_cast<ssize_t>(b.size()));
        for (size_t done = 0; done < b.size();) {
            int n = UECP_GetCmdMsg(line_[0]);
            ASSERT_GT(n, 0);
            done += static_cast<size_t>(n);
        }
    }

    // The frames in the ring, as the sequencer's analysis takes them.
    static void analyse()
    {
        for (int i = 0; i < 8 && RingBuf_Used(getUecpRxRing()) > 0; i++)
            UECP_AnalyzeCmdMsg(static_cast<int>(RingBuf_Used(getUecpRxRing())));
    }

    static uint16_t piOfDataSet()
    {
        const RdsDataElement* e = rdsElement(RDS_SLOT_PI);
        return static_cast<uint16_t>(e->data[0] | e->data[1] << 8);
    }

    // One pass of the loop, `us` later on the shared time base.
    static void pass(uint32_t us)
    {
        clockAdvanceUs(us);
        timeThread();
        RDS_Mng();
        simRdsAdvance();
    }

    int line_[2] = {-1, -1};
};

// A frame with its CRC, stuffed.
Bytes uecpFrame(uint16_t site, uint8_t encoder, uint8_t sqc, const Bytes& msg, bool crcLittleEndian = false)
{
    Bytes body = {static_cast<uint8_t>(site >> 2), static_cast<uint8_t>((site & 3) << 6 | (encoder & 0x3F)), sqc,
                  static_cast<uint8_t>(msg.size())};
    body.insert(body.end(), msg.begin(), msg.end());
    uint16_t crc = UECP_Crc16(body.data(), static_cast<uint32_t>(body.size()));
    body.push_back(static_cast<uint8_t>(crcLittleEndian ? crc : crc >> 8));
    body.push_back(static_cast<uint8_t>(crcLittleEndian ? crc >> 8 : crc));
    Bytes out = {0xFE};
    for (uint8_t b : body) {
        if (b >= 0xFD) {
            out.push_back(0xFD);
            out.push_back(static_cast<uint8_t>(b - 0xFD));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0xFF);
    return out;
}

UecpFrame record(uint16_t site, uint8_t encoder, const Bytes& msg)
{
    UecpFrame f = {};
    f.site = site;
    f.encoder = encoder;
    f.mfl = static_cast<uint8_t>(msg.size());
    memcpy(f.msg, msg.data(), msg.size());
    return f;
}

const Bytes kPiFrame = {0xFE, 0x00, 0x00, 0xFD, 0x01, 0x05, 0x01, 0x00, 0x00, 0x00, 0xFD, 0x02, 0x0D, 0x3D, 0xFF};

// ---- Sequence ----------------------------------------------------------------------

TEST_F(RdsLoop, DefaultSequenceAndShortSequencesStretched)
{
    loadRdsGroupSequence(-1);
    EXPECT_EQ(active(), (std::vector<int>{0, 28, 0, 2, 4, 0, 6, 10, 12, 16, 20, 28, 0, 4, 0}));

    sequence({4});
    EXPECT_EQ(active(), (std::vector<int>{4, 4, 4}));
    EXPECT_EQ(getRdsSequenceLength(0), 3u) << "the copies are in the stored sequence";
    sequence({4, 6});
    EXPECT_EQ(active(), (std::vector<int>{4, 6, 4, 6}));
    setRdsSequenceEnable(0, 0);
    EXPECT_EQ(getRdsActiveSequenceLength(), 15);
    EXPECT_EQ(normaliseRdsGroupSequence(), 15);
}

TEST_F(RdsLoop, SixteenGroupsMakeOneBatchAndItsPeriod)
{
    configuredPi(0x52A1);
    sequence(std::vector<uint8_t>(16, 0));
    EXPECT_EQ(RdsGroupsSequencer(), 128) << "16 groups of 0A, 64 blocks";
    EXPECT_EQ(getRdsGroupPeriodUs(), 1408000u);
    EXPECT_EQ(getRdsFifoUsed(), 128u);
    EXPECT_NE(debugLog().find("Calculate TimeCycle 1408 ms [n_blocks 64]"), std::string::npos);

    // Without PI nothing is composed and the period stays.
    setCustomPI(0);
    clearRdsDataSet();
    setRdsGroupPeriodUs(700000);
    EXPECT_EQ(RdsGroupsSequencer(), 0);
    EXPECT_EQ(getRdsGroupPeriodUs(), 700000u);
    EXPECT_NE(debugLog().find("  [**]  <PI>  NOT VALID "), std::string::npos);
}

TEST_F(RdsLoop, AlmostEmptyFpgaFifoHalvesThePeriodDownTo150ms)
{
    // No PI: the batches leave the period alone; the FPGA answers almost
    // empty to every transfer.
    setCustomPI(0);
    loadRdsGroupSequence(-1);
    simState()->fpga.rdsStatus.store(1u << 17);
    setRdsGroupPeriodUs(1320000);
    pass(10001);
    pass(200001);
    EXPECT_EQ(getRdsGroupPeriodUs(), 660000u);
    setRdsGroupPeriodUs(200000);
    pass(200001);
    EXPECT_EQ(getRdsGroupPeriodUs(), 150000u);
    pass(200001);
    EXPECT_EQ(getRdsGroupPeriodUs(), 150000u);
    EXPECT_NE(debugLog().find("TrasferRDS: elapsed 200 msec"), std::string::npos);
}

TEST_F(RdsLoop, LoopComposesByThePeriodAndPutsTheGroupsOnAir)
{
    configuredPi(0x52A1);
    sequence({0, 0, 0, 0}); // 4 groups: a batch every 352 ms
    pass(10001);            // the first pass takes the stamps
    for (int i = 0; i < 300; i++)
        pass(10001);
    EXPECT_EQ(getRdsGroupPeriodUs(), 352000u);
    std::string log = debugLog();
    // 3 s: the first batch after the starting 800 ms, then one every 352 ms.
    EXPECT_GE(occurrences(log, "DispatcherRDS: elapsed"), 6u);
    EXPECT_LE(occurrences(log, "DispatcherRDS: elapsed"), 8u);
    EXPECT_NE(log.find("DispatcherRDS: elapsed 800 msec on nominal 800000"), std::string::npos);
    EXPECT_GE(simState()->fpga.rds.taken.load(), 10u);
}

TEST_F(RdsLoop, InvalidActiveDataSetFallsBackToTheFirst)
{
    configuredPi(0x1234);
    for (uint8_t dsn : {0, 8}) {
        getSystemImage()->rds.currentRdsDsn = dsn;
        testing::internal::CaptureStdout();
        RdsGroupsSequencer();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR in RdsGroupsSequencer(): Active RDS DataSet NOT valid ");
        EXPECT_NE(debugLog().find("ActiveDataSet is " + std::to_string(dsn) + " [index_dsn 0]"), std::string::npos);
        EXPECT_EQ(piOfDataSet(), 0x1234) << "data set 1's PI";
    }
}

TEST_F(RdsLoop, CongestedRingIsAnalysedFiveTimesInOneRun)
{
    setUECPInterface(1);
    receive(Bytes(2000, 0x55));
    RdsGroupsSequencer();
    EXPECT_EQ(occurrences(debugLog(), "Total bytes to analyze"), 5u);
    EXPECT_EQ(occurrences(debugLog(), "UECP FIFO almost full"), 3u) << "2000, 1616 and 1232 bytes";

    receive(Bytes(300, 0x55));
    RdsGroupsSequencer();
    EXPECT_EQ(occurrences(debugLog(), "Total bytes to analyze"), 6u) << "one analysis without congestion";
}

TEST_F(RdsLoop, ClockTimeFollowsTheSequenceAboutEveryTenSeconds)
{
    configuredPi(0x52A1);
    setCustomCT(1);
    sequence({0, 0, 0, 0});
    std::vector<int> withClock;
    for (int s = 0; s <= 25; s++) {
        uint32_t before = getRdsFifoUsed();
        initRdsFifo();
        (void)before;
        RdsGroupsSequencer();
        if (getRdsFifoUsed() == 5 * 8)
            withClock.push_back(s);
        clockAdvanceUs(1000000);
        timeThread();
    }
    EXPECT_EQ(withClock, (std::vector<int>{10, 21}));
    std::string log = debugLog();
    size_t clock = log.find("Compose groups  4A ");
    ASSERT_NE(clock, std::string::npos);
    EXPECT_LT(log.rfind("Compose group  0A", clock), clock) << "after the sequence's groups";
}

TEST_F(RdsLoop, DynamicPsChangesEveryTwiceFrequencyPlusOneRuns)
{
    configuredPi(0x52A1);
    setCustomPS(1);
    setPST(0, 1);
    setDynPSFreq(0, 1);
    const char* texts[] = {"first   ", "second  "};
    // Texts are kept four characters a word, the first one highest.
    setDynPS1(0, 0, 0x66697273); // "firs"
    setDynPS1(0, 1, 0x74202020); // "t   "
    setDynPS2(0, 0, 0x7365636F); // "seco"
    setDynPS2(0, 1, 0x6E642020); // "nd  "
    std::vector<std::string> seen;
    for (int run = 1; run <= 6; run++) {
        RdsInternalEncoderData(0);
        seen.emplace_back(reinterpret_cast<const char*>(rdsElement(RDS_SLOT_PS)->data), 8);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"        ", "        ", texts[0], texts[0], texts[0], texts[1]}));
}

TEST_F(RdsLoop, ConfiguredItemsReachTheDataSetOnlyWhenSwitchedOn)
{
    for (auto off : {setCustomPI, setCustomPTY, setCustomTP, setCustomTA, setCustomMS, setCustomDI, setCustomAF,
                     setCustomCT, setCustomPTYN, setCustomRT, setCustomECC, setCustomLanguage, setCustomPS})
        off(0);
    setTaFromTlc(0);
    setPIN(0, 0xBEEF);
    RdsInternalEncoderData(0);
    for (int slot : {RDS_SLOT_PI, RDS_SLOT_PTY, RDS_SLOT_TP, RDS_SLOT_TA, RDS_SLOT_PTYN, RDS_SLOT_ECC, RDS_SLOT_PS})
        EXPECT_EQ(rdsElement(slot)->valid, 0) << slot;
    EXPECT_EQ(rdsElement(RDS_SLOT_PIN)->valid, 1) << "the PIN always";
    EXPECT_EQ(rdsElement(RDS_SLOT_PIN)->data[0] | rdsElement(RDS_SLOT_PIN)->data[1] << 8, 0xBEEF);

    // TA from the telecommand inputs; PTYN with NULs; ECC and language.
    setTaFromTlc(1);
    setTA(0, 1);
    setCustomPTYN(1);
    setPTYName(0, 0, 0x4A617A7A); // "Jazz"
    setPTYName(0, 1, 0);
    setCustomECC(1);
    setECC(0, 0xE1);
    setCustomLanguage(1);
    setLanguageCode(0, 9);
    RdsInternalEncoderData(0);
    EXPECT_EQ(rdsElement(RDS_SLOT_TA)->valid, 1);
    EXPECT_EQ(rdsElement(RDS_SLOT_TA)->data[0], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rdsElement(RDS_SLOT_PTYN)->data), 8), "Jazz    ");
    EXPECT_EQ(rdsElement(RDS_SLOT_ECC)->data[0], 0xE1);
    EXPECT_EQ(isRdsMecValid(0x31), 1);
    EXPECT_EQ(rdsElement(RDS_SLOT_LANGUAGE)->data[0], 9);
    EXPECT_EQ(rdsElement(RDS_SLOT_LANGUAGE)->valid, 1);
}

TEST_F(RdsLoop, AlternativeListsEndAtTheirMarkOrFailWhole)
{
    configuredPi(0x52A1);
    RdsInternalEncoderData(0);
    uint16_t q[RDS_QUEUE_BLOCKS], n = 0;
    const uint8_t ends[] = {255, 0};
    setRdsAlterSeqGroup(0, 4, ends, 2);
    EXPECT_EQ(RdsAlternateGroupsSequencer(4, 0, q, &n), 0);
    EXPECT_EQ(n, 0) << "nothing composed";
    const uint8_t failing[] = {4, 12}; // 2A without RadioText, 6A without in-house data
    setRdsAlterSeqGroup(0, 4, failing, 2);
    EXPECT_EQ(RdsAlternateGroupsSequencer(4, 0, q, &n), -1);
    const uint8_t fallback[] = {12, 0};
    setRdsAlterSeqGroup(0, 4, fallback, 2);
    EXPECT_EQ(RdsAlternateGroupsSequencer(4, 0, q, &n), 0);
    EXPECT_EQ(n, 4) << "0A after the failing 6A";
    EXPECT_EQ(RdsAlternateGroupsSequencer(32, 0, q, &n), -1);
    EXPECT_EQ(RdsAlternateGroupsSequencer(4, 7, q, &n), -1);
}

// ---- UECP -------------------------------------------------------------------------------

TEST_F(RdsLoop, UecpCrcIsGenibus)
{
    const char* check = "123456789";
    EXPECT_EQ(UECP_Crc16(reinterpret_cast<const uint8_t*>(check), 9), 0xD64E);
    const Bytes pi = {0x00, 0x00, 0xFE, 0x05, 0x01, 0x00, 0x00, 0x00, 0xFF};
    EXPECT_EQ(UECP_Crc16(pi.data(), 9), 0x0D3D) << "the published PI frame";

    // Against crcmod's CRC-16/GENIBUS (python3-crcmod) on random messages.
    unsigned seed = static_cast<unsigned>(time(nullptr));
    srand(seed);
    std::string lines;
    std::vector<uint16_t> ours;
    for (int k = 0; k < 200; k++) {
        Bytes b(static_cast<size_t>(rand() % 260));
        for (uint8_t& x : b)
            x = static_cast<uint8_t>(rand());
        ours.push_back(UECP_Crc16(b.data(), static_cast<uint32_t>(b.size())));
        char hex[3];
        for (uint8_t x : b) {
            snprintf(hex, sizeof hex, "%02x", x);
            lines += hex;
        }
        lines += "\n";
    }
    std::string in = root + "/crc_in.txt";
    FILE* f = fopen(in.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs(lines.c_str(), f);
    fclose(f);
    std::string cmd = "/usr/bin/python3 -c 'import sys, crcmod.predefined as p\n"
                      "c = p.mkCrcFun(\"crc-16-genibus\")\n"
                      "for l in open(sys.argv[1]): print(c(bytes.fromhex(l.strip())))' " +
                      in;
    FILE* py = popen(cmd.c_str(), "r");
    ASSERT_NE(py, nullptr);
    std::vector<uint16_t> theirs;
    unsigned v;
    while (fscanf(py, "%u", &v) == 1)
        theirs.push_back(static_cast<uint16_t>(v));
    ASSERT_EQ(pclose(py), 0) << "python3-crcmod is needed";
    EXPECT_EQ(ours, theirs) << "seed " << seed;
}

TEST_F(RdsLoop, GoldenFramesIntoTheDataSet)
{
    setUECPInterface(1);
    setCustomPI(0);
    receive(kPiFrame);
    analyse();
    EXPECT_EQ(isRdsMecValid(0x01), 1);
    EXPECT_EQ(piOfDataSet(), 0x00FF);

    receive({0xFE, 0x00, 0x00, 0x2B, 0x02, 0x1C, 0x02, 0xD0, 0x82, 0xFF});
    analyse();
    EXPECT_EQ(getCurrentRDSDSN(), 2) << "data set 2 selected";
    setCurrentRDSDSN(1);

    // MFL 0 (twice), and an acknowledgement (MEC 0x18, unknown here).
    RdsDataSet before = getRdsDataSet();
    receive({0xFE, 0x00, 0x00, 0x00, 0x00, 0x7B, 0x3F, 0xFF});
    receive({0xFE, 0x00, 0x00, 0xFD, 0x01, 0x00, 0x4B, 0xF1, 0xFF});
    receive({0xFE, 0x00, 0x00, 0x2A, 0x02, 0x18, 0x00, 0x4A, 0xB0, 0xFF});
    analyse();
    EXPECT_EQ(memcmp(&before, &getRdsDataSet(), sizeof before), 0);
    EXPECT_EQ(getCurrentRDSDSN(), 1);
    EXPECT_NE(debugLog().find("UECP MEC unknown!Type 0x18"), std::string::npos);
}

TEST_F(RdsLoop, FramingCrcAndStuffing)
{
    setUECPInterface(1);
    setCustomPI(0);
    setCustomPS(0);
    setCustomPTY(0);
    // The CRC sent little-endian.
    receive(uecpFrame(0, 0, 1, {0x01, 0x00, 0x00, 0x12, 0x34}, true));
    analyse();
    EXPECT_EQ(isRdsMecValid(0x01), 0);
    EXPECT_NE(debugLog().find("-- DISCARD"), std::string::npos);

    // FD 05 inside a frame yields nothing; FD 01 yields one FE.
    Bytes f = uecpFrame(0, 0, 1, {0x07, 0x00, 0x00, 0x0B});
    f.insert(f.begin() + 6, {0xFD, 0x05});
    receive(f);
    analyse();
    EXPECT_EQ(rdsElement(RDS_SLOT_PTY)->data[0], 11);

    // A frame cut by the end of a read, the rest arriving after an analysis.
    Bytes ps = uecpFrame(0, 0, 2, {0x02, 0x00, 0x00, 't', 'a', 'r', 'n', ' ', 'v', 'r', 'l'});
    receive(Bytes(ps.begin(), ps.begin() + 7));
    analyse();
    receive(Bytes(ps.begin() + 7, ps.end()));
    analyse();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rdsElement(RDS_SLOT_PS)->data), 8), "tarn vrl");

    // A start byte inside a frame drops the cut frame and starts the next.
    Bytes cut = uecpFrame(0, 0, 3, {0x01, 0x00, 0x00, 0x11, 0x11});
    cut.resize(8);
    Bytes good = uecpFrame(0, 0, 4, {0x01, 0x00, 0x00, 0x22, 0x22});
    cut.insert(cut.end(), good.begin(), good.end());
    receive(cut);
    analyse();
    EXPECT_EQ(piOfDataSet(), 0x2222);

    // More than 384 bytes without a stop byte: dropped, the next frame taken.
    Bytes longFrame(400, 0x41);
    longFrame[0] = 0xFE;
    receive(longFrame);
    receive(uecpFrame(0, 0, 5, {0x01, 0x00, 0x00, 0x33, 0x33}));
    analyse();
    EXPECT_EQ(piOfDataSet(), 0x3333);
}

TEST_F(RdsLoop, AddressFilter)
{
    // Slot 1 not enabled, slot 3 enabled.
    setUECPSiteAddr(1, 100);
    setUECPEncoderAddr(1, 10);
    setUECPSiteAddrEna(1, 0);
    setUECPEncoderAddrEna(1, 0);
    setUECPSiteAddr(3, 300);
    setUECPSiteAddrEna(3, 1);
    setUECPEncoderAddr(3, 30);
    setUECPEncoderAddrEna(3, 1);
    struct Case {
        bool selectWrite;
        uint8_t vendor;
        uint16_t site;
        uint8_t encoder;
        int result;
    } cases[] = {
        {false, 1, 0, 0, 0},    {false, 1, 100, 10, 0},  {false, 1, 300, 0, -1}, {false, 1, 0, 30, -1},
        {false, 1, 101, 0, -1}, {true, 1, 100, 0, -1},   {true, 1, 300, 30, 0},  {true, 1, 0, 10, -1},
        {true, 0, 300, 10, 0},  {true, 0, 300, 30, -1},  {true, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        setSelectWriteBits(0x20000, c.selectWrite ? 1 : 0);
        setVendorId(c.vendor);
        UecpFrame f = record(c.site, c.encoder, {0x05, 0x00, 0x00, 0x01});
        EXPECT_EQ(UECP_ParseMsgElementData(&f), c.result)
            << "select " << c.selectWrite << " vendor " << int(c.vendor) << " site " << c.site << " encoder "
            << int(c.encoder);
    }
}

TEST_F(RdsLoop, DataSetAndCustomRules)
{
    struct Case {
        const char* what;
        Bytes msg;
        uint32_t customPs, customTp, customTa;
        int slot;
        uint8_t valid;
    } cases[] = {
        {"PS for data set 3 while 1 is on air", {0x02, 3, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, 0, 0, 0,
         RDS_SLOT_PS, 0},
        {"PS for all data sets", {0x02, 255, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, 0, 0, 0, RDS_SLOT_PS, 1},
        {"PS for data set 1", {0x02, 1, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, 0, 0, 0, RDS_SLOT_PS, 1},
        {"PS kept local", {0x02, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, 1, 0, 0, RDS_SLOT_PS, 0},
        {"TP/TA with TP local", {0x03, 0, 0, 3}, 0, 1, 0, RDS_SLOT_TA, 1},
        {"TP/TA with both local", {0x03, 0, 0, 3}, 0, 1, 1, RDS_SLOT_TA, 0},
    };
    for (const Case& c : cases) {
        clearRdsDataSet();
        setCustomPS(c.customPs);
        setCustomTP(c.customTp);
        setCustomTA(c.customTa);
        UecpFrame f = record(0, 0, c.msg);
        EXPECT_EQ(UECP_ParseMsgElementData(&f), 0) << c.what;
        EXPECT_EQ(rdsElement(c.slot)->valid, c.valid) << c.what;
    }
}

TEST_F(RdsLoop, ElementsThatReachTheConfiguration)
{
    setCustomTP(0);
    setCustomTA(0);
    // Group sequence for the data set on air (DSN 0): stored, enabled, loaded.
    UecpFrame f = record(0, 0, {0x16, 0, 2, 4, 12});
    EXPECT_EQ(UECP_ParseMsgElementData(&f), 0);
    EXPECT_EQ(getRdsSequenceEnable(0), 1);
    EXPECT_EQ(active(), (std::vector<int>{4, 12, 4, 12}));
    // Variant code 0 (ECC 0xE1, paging nibble 5) of group 1A.
    f = record(0, 0, {0x1A, 0, 0x05, 0xE1});
    EXPECT_EQ(UECP_ParseMsgElementData(&f), 0);
    uint8_t nibble = 0;
    EXPECT_EQ(getRdsSequenceParam(0, 0, &nibble), 0xE1);
    EXPECT_EQ(nibble, 5);
    // Traffic flags from the studio: TA 1, TP 1 into the data set and the
    // configuration; TA 2 hands TA back to the telecommand inputs.
    f = record(0, 0, {0x2D, 4, 15, 0, 0, 0x11});
    EXPECT_EQ(UECP_ParseMsgElementData(&f), 0);
    EXPECT_EQ(rdsElement(RDS_SLOT_TA)->data[0], 1);
    EXPECT_EQ(rdsElement(RDS_SLOT_TP)->data[0], 1);
    EXPECT_EQ(getTA(0), 1u);
    EXPECT_EQ(getTP(0), 1u);
    EXPECT_EQ(getTaFromTlc(), 0u);
    f = record(0, 0, {0x2D, 4, 15, 0, 0, 0x02});
    EXPECT_EQ(UECP_ParseMsgElementData(&f), 0);
    EXPECT_EQ(getTaFromTlc(), 1u);
    // For another data set: its configuration only.
    f = record(0, 0, {0x2D, 4, 15, 3, 0, 0x10});
    EXPECT_EQ(UECP_ParseMsgElementData(&f), 0);
    EXPECT_EQ(getTP(2), 1u);
    EXPECT_EQ(getTA(2), 0u);
    EXPECT_EQ(rdsElement(RDS_SLOT_TA)->data[0], 1) << "the data set on air is not touched";
}

TEST_F(RdsLoop, ElementsAreReadByTheirOwnLengthsWithinTheFrame)
{
    // TMC: 251 bytes taken, 252 refused with a line in the book.
    Bytes tmc = {0x30, 251};
    tmc.resize(253, 0x42);
    UecpFrame f = record(0, 0, tmc);
    EXPECT_EQ(UECP_ParseMsgElementData(&f), 0);
    EXPECT_EQ(rdsElement(RDS_SLOT_TMC)->length, 251u);
    tmc[1] = 252;
    tmc.push_back(0x42);
    f = record(0, 0, tmc);
    EXPECT_EQ(UECP_ParseMsgElementData(&f), -1);
    EXPECT_NE(book().find("INFO: TMC detected msg too large! DISCARD!"), std::string::npos);

    // Lengths that claim more than the frame holds, and a code list without
    // codes.
    struct Case {
        const char* what;
        Bytes msg;
    } refused[] = {
        {"RadioText of 100 in 6", {0x0A, 0, 0, 100, 0, 'a'}},
        {"AF list of 20 in 6", {0x13, 0, 0, 20, 0xE1, 0x01}},
        {"sequence of 9 in 5", {0x16, 1, 9, 0, 0}},
        {"TDC of 50 in 4", {0x26, 50, 0, 1}},
        {"variant codes of 0", {0x29, 0, 0}},
        {"variant codes of 7 in 4", {0x29, 0, 7, 2}},
        {"extended sequence of 40 in 6", {0x38, 0, 40, 4, 1, 0}},
        {"PI cut", {0x01, 0, 0, 0x12}},
        {"traffic flags cut", {0x2D, 5, 15, 0}},
    };
    for (const Case& c : refused) {
        clearRdsDataSet();
        RdsDataSet before = getRdsDataSet();
        f = record(0, 0, c.msg);
        EXPECT_EQ(UECP_ParseMsgElementData(&f), -1) << c.what;
        EXPECT_EQ(memcmp(&before, &getRdsDataSet(), sizeof before), 0) << c.what;
    }

    // Extended sequence: entries up to the element's length; the last one,
    // claiming more than is left, is not applied.
    f = record(0, 0, {0x38, 0, 7, 4, 2, 0, 12, 6, 3, 1});
    EXPECT_EQ(UECP_ParseMsgElementData(&f), 0);
    EXPECT_EQ(getRdsAlterSeqCount(0, 4), 2u);
    EXPECT_EQ(getRdsAlterSeqList(0, 4)[1], 12);
    EXPECT_EQ(getRdsAlterSeqCount(0, 6), 0u);
}

// ---- Threads ------------------------------------------------------------------------------

// The port thread fills the ring while the RDS loop takes frames out of it,
// and a configuration thread asks for the ring, the FIFO and the data set
// to be emptied meanwhile: each is served on the loop's own thread.
using RdsLoopThreads = RdsLoop;

TEST_F(RdsLoopThreads, PortThreadLoopAndSettersShareRingFifoAndDataSet)
{
    setUECPInterface(1);
    setCustomPI(0);
    configuredPi(0x1111);
    setCustomPI(0);
    std::atomic<bool> stop{false};
    std::thread port([&] {
        for (uint8_t sqc = 0; !stop.load(); sqc++) {
            Bytes f = uecpFrame(0, 0, sqc, {0x01, 0x00, 0x00, 0x12, sqc});
            if (write(line_[1], f.data(), f.size()) != static_cast<ssize_t>(f.size()))
                break;
            UECP_GetCmdMsg(line_[0]);
            usleep(200);
        }
    });
    std::thread loop([&] {
        while (!stop.load()) {
            clockAdvanceUs(10001);
            timeThread();
            RDS_Mng();
            usleep(100);
        }
    });
    for (int i = 0; i < 50; i++) {
        UECP_InitRxRing();
        initRdsFifo();
        clearRdsDataSet();
        usleep(2000);
    }
    stop.store(true);
    port.join();
    loop.join();
    // Requests from this thread wait for the loop's next pass.
    setRdsEncoderOn(0);
    uint16_t q[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::thread([&] { writeRdsFifo(q, 8); }).join(); // as the loop's own batch
    initRdsFifo();
    UECP_InitRxRing();
    EXPECT_GE(getRdsFifoUsed(), 16u);
    RDS_Mng();
    EXPECT_EQ(RingBuf_Used(getUecpRxRing()), 0u);
    EXPECT_EQ(getRdsFifoUsed(), 0u);
    receive(uecpFrame(0, 0, 9, {0x01, 0x00, 0x00, 0x43, 0x21}));
    analyse();
    EXPECT_EQ(piOfDataSet(), 0x4321);
}

} // namespace
