// The communication-table write path: routing, the element pattern over every
// writable element, the RDS sequence block, the reserve-mismatch marking and
// the reserve directory check.
#include "comtab/comtab.h"
#include "audio/fmRxMonitor.h"

#include "Config/StrutturaDati.h"
#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/gsmKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/alarmKeys.h"
#include "alarms/logicaTxConfig.h"
#include "audio/mpxOverIp.h"
#include "alarms/logicaTx.h"
#include "power/ampFm.h"
#include "comtab/dbPool.h"
#include "comtab/writeTable.h"
#include "links/comChannels.h"
#include "comtab/commandManager.h"
#include "comtab/commandTable.h"
#include "platform/paths.h"
#include "testing/sandboxTest.h"
#include "testing/cplShelfLog.h"
#include "core/base/locks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kCells = 64 * 64;

// The documented range of every checked element.
struct RangeRow {
    int table;
    uint32_t element;
    uint8_t width;
    int64_t lo;
    int64_t hi;
    uint32_t fail;
};

#define WRANGE(t, e, w, lo, hi, fail) {t, e, w, lo, hi, fail},
const RangeRow kRanges[] = {
#include "comtab/tests/gen/writeRanges.inc"
};
#undef WRANGE

// The test's own narrowing of a written word to the element's width.
int64_t narrowed(uint8_t width, uint32_t v, int64_t lo)
{
    switch (width) {
    case W_U8: return v & 0xff;
    case W_U16: return v & 0xffff;
    case W_S16: return static_cast<int16_t>(v & 0xffff);
    default: return lo < 0 ? static_cast<int64_t>(static_cast<int32_t>(v)) : static_cast<int64_t>(v);
    }
}

// Elements whose key publishes into another element's cell.
uint32_t cellOf(int table, uint32_t element)
{
    if (table == 9 && element == 2)
        return 3;
    if (table == 9 && element == 3)
        return 2;
    return element;
}

class ComtabTest : public SandboxTest {
protected:
    ComtabTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        // A second, read-only mapping of the grid, as a reader maps it.
        int fd = shm_open(shmObjectName("DbPool").c_str(), O_RDONLY, 0);
        ASSERT_GE(fd, 0);
        void* p = mmap(nullptr, kCells * 4, PROT_READ, MAP_SHARED, fd, 0);
        close(fd);
        ASSERT_NE(p, MAP_FAILED);
        grid = static_cast<const uint32_t*>(p);
    }

    void TearDown() override
    {
        setNplus1Mode(0);
        if (grid)
            munmap(const_cast<uint32_t*>(grid), kCells * 4);
        SandboxTest::TearDown();
    }

    uint32_t cell(int s, int i) const { return grid[(s - 1) * 64 + (i - 1)]; }

    struct Snapshot {
        std::vector<uint8_t> image;
        std::vector<uint32_t> cells;
        uint32_t changed;
        uint8_t mismatch;
        bool operator==(const Snapshot&) const = default;
    };

    Snapshot snapshot() const
    {
        Snapshot s;
        const uint8_t* img = reinterpret_cast<const uint8_t*>(getSystemImage());
        s.image.assign(img, img + sizeof(SystemImage));
        s.cells.assign(grid, grid + kCells);
        s.changed = getConfigChanged();
        s.mismatch = getAlarmInput(45);
        return s;
    }

    const uint32_t* grid = nullptr;
};

TEST_F(ComtabTest, TablesWithoutHandlerAndReadsAreRefused)
{
    for (int t : {2, 63, -1, 4, 6, 8, 10, 12, 28, 30, 32, 36, 38, 42, 45, 47, 48, 52})
        EXPECT_EQ(COMTAB_WriteElement(t, 1, 0), 1u) << "table " << t;
    uint32_t out = 0x55;
    uint8_t buf[4] = {};
    EXPECT_EQ(COMTAB_RefuseRead(9, 8, &out), 22u);
    EXPECT_EQ(out, 0x55u);
    EXPECT_EQ(COMTAB_RefuseReadTable(9, buf, sizeof buf), 22u);
}

TEST_F(ComtabTest, OnlyTheLow16BitsNumberTheShortTablesAndLargerElementsAreNoElement)
{
    ASSERT_EQ(COMTAB_WriteElement(19, 1, 1), 0u);
    Snapshot before = snapshot();
    EXPECT_EQ(COMTAB_WriteElement(19, 0x10001u, 0), 1u);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(getTotAudioAlmEnable(), 1u);
}

// Every checked element: the edges of its documented range and the values
// beyond them give the documented code; a refused write changes nothing at
// all, an accepted one publishes the value in the element's cell.
TEST_F(ComtabTest, EveryCheckedElementKeepsItsDocumentedRange)
{
    setNplus1Mode(1);
    int checked = 0;
    for (const RangeRow& r : kRanges) {
        for (int table : r.table == 21 ? std::vector<int>{21, 27} : std::vector<int>{r.table}) {
            std::vector<uint32_t> values = {static_cast<uint32_t>(r.lo - 1), static_cast<uint32_t>(r.lo),
                                            static_cast<uint32_t>(r.hi), static_cast<uint32_t>(r.hi + 1)};
            if (r.width == W_S16)
                values.push_back(static_cast<uint32_t>(r.lo) & 0xffff); // the low 16 bits alone
            for (uint32_t v : values) {
                int64_t n = narrowed(r.width, v, r.lo);
                bool valid = n >= r.lo && n <= r.hi;
                setAlarmInput(45, 0);
                clearConfigChanged();
                Snapshot before = snapshot();
                uint32_t got = COMTAB_WriteElement(table, r.element, v);
                SCOPED_TRACE("(" + std::to_string(table) + ", " + std::to_string(r.element) + ") = " +
                             std::to_string(v));
                if (!valid) {
                    EXPECT_EQ(got, r.fail);
                    EXPECT_TRUE(snapshot() == before);
                } else {
                    EXPECT_EQ(got, 0u);
                    if (table == 56 && r.element == 5) { // accepted, not stored
                        EXPECT_TRUE(snapshot().cells == before.cells);
                        continue;
                    }
                    uint32_t want = r.width == W_S16 ? static_cast<uint32_t>(static_cast<int32_t>(n))
                                                     : static_cast<uint32_t>(n);
                    EXPECT_EQ(cell(table, static_cast<int>(cellOf(table, r.element))), want);
                    // Command and upgrade tables keep the reserve's match; N+1
                    // mode 0 ends the marking.
                    bool kept = table == 50 || (table == 15 && r.element == 2 && n == 0);
                    EXPECT_EQ(getAlarmInput(45), kept ? 0 : 1);
                }
                checked++;
            }
        }
    }
    EXPECT_GT(checked, 500);
}

TEST_F(ComtabTest, NarrowedLevelsAndTheFailCodesOfTheAudioTable)
{
    EXPECT_EQ(COMTAB_WriteElement(9, 8, 0x0000ff88u), 0u);
    EXPECT_EQ(cell(9, 8), 0xffffff88u);
    EXPECT_EQ(COMTAB_WriteElement(9, 8, 181), 11u);
    EXPECT_EQ(COMTAB_WriteElement(9, 14, 111), 13u);
    Snapshot before = snapshot();
    EXPECT_EQ(COMTAB_WriteElement(9, 35, 5), 0u);
    EXPECT_EQ(COMTAB_WriteElement(9, 47, 5), 0u);
    EXPECT_EQ(COMTAB_WriteElement(11, 12, 5), 0u);
    EXPECT_EQ(COMTAB_WriteElement(11, 33, 5), 0u);
    EXPECT_EQ(COMTAB_WriteElement(11, 2, 0), 11u);
    EXPECT_EQ(COMTAB_WriteElement(14, 23, 0), 1u);
    EXPECT_EQ(COMTAB_WriteElement(21, 49, 0), 1u);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(ComtabTest, UncheckedElementsStoreAnyValue)
{
    EXPECT_EQ(COMTAB_WriteElement(11, 19, 0xdeadbeefu), 0u);
    EXPECT_EQ(cell(11, 19), 0xdeadbeefu);
    EXPECT_EQ(COMTAB_WriteElement(14, 8, 0x1234u), 0u);
    EXPECT_EQ(cell(14, 8), 0x34u);
    EXPECT_EQ(COMTAB_WriteElement(22, 4, 0x41424344u), 0u);
    EXPECT_EQ(getStaticPS0(1, 0), 0x41424344u);
    EXPECT_EQ(COMTAB_WriteElement(23, 30, 7), 0u);
    EXPECT_EQ(getAFL(2, 2), 7u);
}

TEST_F(ComtabTest, TheRfDacIsArmedOnlyForTheElementsThatReprogramIt)
{
    setDacApplyEnable(0);
    EXPECT_EQ(COMTAB_WriteElement(14, 16, 5), 0u);
    EXPECT_EQ(getDacApplyEnable(), 0u);
    EXPECT_EQ(COMTAB_WriteElement(14, 2, 16), 11u);
    EXPECT_EQ(getDacApplyEnable(), 0u);
}

TEST_F(ComtabTest, UecpSlotsAndDataSets)
{
    EXPECT_EQ(COMTAB_WriteElement(20, 20, 1023), 0u);
    EXPECT_EQ(getUECPSiteAddr(2), 1023u);
    EXPECT_EQ(COMTAB_WriteElement(20, 20, 1024), 11u);
    EXPECT_EQ(COMTAB_WriteElement(20, 19, 0), 0u);
    EXPECT_EQ(getUECPSiteAddrEna(2), 0u);
    EXPECT_EQ(COMTAB_WriteElement(20, 54, 9), 0u);
    EXPECT_EQ(getUECPSiteAddr(10), 9u);
    EXPECT_EQ(COMTAB_WriteElement(20, 42, 63), 0u);
    EXPECT_EQ(getUECPEncoderAddr(10), 63u);
    // Slot 1: the address enables it; its enable flag shows in no cell.
    EXPECT_EQ(COMTAB_WriteElement(20, 2, 5), 0u);
    EXPECT_EQ(getUECPSiteAddr(1), 5u);
    EXPECT_EQ(getUECPSiteAddrEna(1), 1u);
    EXPECT_EQ(cell(20, 2), 5u);
    EXPECT_EQ(COMTAB_WriteElement(20, 3, 7), 0u);
    EXPECT_EQ(cell(20, 3), 7u);
    EXPECT_EQ(getUECPEncoderAddrEna(1), 1u);
    EXPECT_EQ(COMTAB_WriteElement(23, 1, 254), 11u);
    EXPECT_EQ(COMTAB_WriteElement(23, 1, 253), 0u);
    EXPECT_EQ(getDSN(2), 253u);
    EXPECT_EQ(cell(23, 1), 253u);
}

// What reaches the remote logic is tested with it (links/tests/remoteLtxTest.cpp).
TEST_F(ComtabTest, TheRadioTextFlagOfASlaveExciterIsStoredAndChecked)
{
    EXPECT_EQ(COMTAB_WriteElement(22, 36, 0), 0u);
    setExciterMode(1);
    EXPECT_EQ(COMTAB_WriteElement(22, 36, 1), 0u);
    EXPECT_EQ(COMTAB_WriteElement(22, 36, 2), 11u);
    setExciterMode(0);
    EXPECT_EQ(getRadioTextFlag(1), 1u);
}

TEST_F(ComtabTest, TheRdsSequenceIsWrittenOnlyAsABlock)
{
    const uint8_t codes[] = {1, 2, 255, 0};
    EXPECT_EQ(COMTAB_WriteBlock(21, 56, codes, sizeof codes), 0u);
    EXPECT_EQ(cell(21, 56), 0x0001ff00u);
    for (int i = 57; i <= 59; i++)
        EXPECT_EQ(cell(21, i), 0xffffffffu);
    Snapshot before = snapshot();
    uint8_t seventeen[17] = {};
    EXPECT_EQ(COMTAB_WriteBlock(21, 56, seventeen, 17), 0u);
    EXPECT_EQ(COMTAB_WriteElement(21, 56, 3), 0u);
    EXPECT_EQ(COMTAB_WriteBlock(21, 57, codes, 4), 0u); // the writer's 1 is not passed on
    uint8_t four[4] = {};
    EXPECT_EQ(COMTAB_WriteBlock(47, 2, four, 4), 0u);
    EXPECT_EQ(COMTAB_WriteBlock(20, 56, codes, 4), 1u);
    EXPECT_EQ(COMTAB_WriteBlock(28, 1, codes, 4), 1u);
    EXPECT_EQ(snapshot(), before);
    // Length 0 empties the sequence of data set 1.
    const uint8_t one[] = {3};
    EXPECT_EQ(COMTAB_WriteBlock(22, 60, one, 1), 0u);
    EXPECT_EQ(cell(22, 56), 0x02ffffffu);
    EXPECT_EQ(COMTAB_WriteBlock(22, 60, one, 0), 0u);
    EXPECT_EQ(cell(22, 56), 0xffffffffu);
    // Table 47 takes two words; element 1 is not writable.
    const uint8_t words[8] = {1, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(COMTAB_WriteBlock(47, 1, words, 8), 15u);
    EXPECT_EQ(COMTAB_WriteBlock(47, 3, words, 8), 1u);
    // The receiver has no alarm set yet: the words reach nothing.
    EXPECT_EQ(COMTAB_WriteBlock(47, 2, words, 8), 0u);
}

TEST_F(ComtabTest, AnNPlus1ReserveMarksItsConfigurationOnlyForWritesThatChangeIt)
{
    struct Case {
        int table;
        uint32_t element;
        uint32_t value;
        uint32_t nplus1;
        uint8_t marked;
    } cases[] = {
        {19, 1, 1, 1, 1},  // a configuration write
        {19, 1, 0, 0, 0},  // not a reserve
        {19, 1, 7, 1, 0},  // refused with 11
        {9, 35, 0, 1, 1},  // accepted though nothing changes
        {13, 19, 0, 1, 0}, // the key acknowledgement
        {13, 47, 0, 1, 0}, // a web logon
        {13, 43, 0, 1, 1},
        {5, 11, 98000000, 1, 1},
    };
    setHpaMaxFreq(108000000);
    for (const Case& c : cases) {
        setNplus1Mode(c.nplus1);
        setAlarmInput(45, 0);
        uint32_t r = COMTAB_WriteElement(c.table, c.element, c.value);
        EXPECT_EQ(getAlarmInput(45), c.marked) << c.table << "," << c.element << " -> " << r;
    }
    // The command tables, as their handlers answer.
    CMD_Init();
    setNplus1Mode(1);
    setNplus1MainsNumber(2);
    struct Command {
        int table;
        uint32_t element;
        uint32_t value;
        uint32_t result;
        uint8_t marked;
    } commands[] = {{7, 4, 1, 0, 0},    {18, 1, 1, 0, 0},  {49, 2, 1, 0, 0},  {50, 1, 1, 0, 0},
                    {43, 3, 2026, 0, 0}, {43, 13, 1, 0, 0}, {43, 9, 10, 0, 1}, {43, 15, 1, 0, 1},
                    {15, 5, 1, 0, 0},    {15, 7, 1, 0, 0},  {15, 2, 1, 0, 1},  {16, 15, 1, 0, 1},
                    {44, 9, 1, 0, 1},    {16, 1, 1, 1, 0}};
    for (const Command& c : commands) {
        setAlarmInput(45, 0);
        EXPECT_EQ(COMTAB_WriteElement(c.table, c.element, c.value), c.result) << c.table << "," << c.element;
        EXPECT_EQ(getAlarmInput(45), c.marked) << c.table << "," << c.element;
    }
    // A busy command slot is passed on and marks nothing.
    CMD_SetRunning(3, 1);
    setAlarmInput(45, 0);
    EXPECT_EQ(COMTAB_WriteElement(7, 3, 1), 9u);
    EXPECT_EQ(getAlarmInput(45), 0);
    setNplus1Mode(0);
}

TEST_F(ComtabTest, TheReserveDirectoriesOfEveryMainMustExist)
{
    std::string conk = host("/mnt/ubi0/conf/conk");
    ASSERT_EQ(system(("mkdir -p " + conk + "/rsv_cfg_1").c_str()), 0);
    setNplus1Mode(1);
    setNplus1MainsNumber(2);
    checkConkDirs();
    EXPECT_EQ(getAlarmInput(44), 1);
    std::ofstream(conk + "/rsv_cfg_2") << "x";
    checkConkDirs();
    EXPECT_EQ(getAlarmInput(44), 1);
    ASSERT_EQ(unlink((conk + "/rsv_cfg_2").c_str()), 0);
    ASSERT_EQ(mkdir((conk + "/rsv_cfg_2").c_str(), 0755), 0);
    checkConkDirs();
    EXPECT_EQ(getAlarmInput(44), 0);
    setNplus1MainsNumber(3);
    setNplus1Mode(0);
    checkConkDirs();
    EXPECT_EQ(getAlarmInput(44), 0);
    setNplus1MainsNumber(1);
}

// A few rows against the text they come from.
TEST_F(ComtabTest, GoldenRows)
{
    const WriteRow* r = findWriteRow(9, 8);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->kind, WK_KEY);
    EXPECT_EQ(*r->key, KEYROW(LevelLeft_dBu));
    EXPECT_EQ(r->width, W_S16);
    EXPECT_EQ(r->fail, 11);
    r = findWriteRow(9, 20);
    EXPECT_EQ(*r->key, KEYROW(FrequencyDeviation));
    EXPECT_EQ(r->width, W_U8);
    EXPECT_EQ(r->fail, 13);
    r = findWriteRow(14, 14);
    EXPECT_EQ(*r->key, KEYROW(PllMode));
    EXPECT_EQ(r->flags, F_DAC);
    r = findWriteRow(11, 20);
    EXPECT_EQ(*r->key, KEYROW(InputPresAlmDelay));
    EXPECT_EQ(r->flags, F_NO_CHECK);
    EXPECT_EQ(r->width, W_U16);
    r = findWriteRow(25, 45);
    EXPECT_EQ(*r->key, KEYROW(DataSetEONText));
    EXPECT_EQ(r->index, I_DATASET_RUN);
    EXPECT_EQ(r->first, 43);
    r = findWriteRow(20, 47);
    EXPECT_EQ(*r->key, KEYROW(UECPSiteAddrEna));
    EXPECT_EQ(r->step, 2);
    EXPECT_EQ(r->base, 5);
    EXPECT_EQ(findWriteRow(11, 3)->kind, WK_CODE);
    EXPECT_EQ(findWriteRow(11, 3)->fail, 11);
    EXPECT_EQ(findWriteRow(21, 56)->kind, WK_HAND);
    EXPECT_EQ(findWriteRow(19, 16)->kind, WK_TABLE);
}

} // namespace

namespace {

TEST_F(ComtabTest, GsmUsersSynchronisationAndAudioProcessorTables)
{
    EXPECT_EQ(COMTAB_WriteElement(54, 13, 0x12345), 0u);
    EXPECT_EQ(getPhoneDestPrefix(6), 0x2345u);
    EXPECT_EQ(cell(54, 13), 0x2345u);
    EXPECT_EQ(COMTAB_WriteElement(53, 60, 77), 0u);
    EXPECT_EQ(cell(53, 60), 77u);
    EXPECT_EQ(COMTAB_WriteElement(53, 61, 1), 1u);
    EXPECT_EQ(COMTAB_WriteElement(51, 4, 0x31323334u), 0u);
    EXPECT_EQ(getGSMPin(1), 0x31323334u);
    EXPECT_EQ(COMTAB_WriteElement(55, 4, 1), 15u);
    EXPECT_EQ(COMTAB_WriteElement(55, 19, 1), 1u);
    EXPECT_EQ(COMTAB_WriteElement(55, 9, 123), 0u);
    EXPECT_EQ(cell(55, 9), 123u);

    EXPECT_EQ(COMTAB_WriteElement(57, 6, 42), 0u);
    EXPECT_EQ(getApCmpLinRt(1), 42u);
    EXPECT_EQ(cell(57, 6), 42u);
    EXPECT_EQ(getApCmpModified(), 1u);
    EXPECT_EQ(getApCommonModified(), 1u);
    EXPECT_EQ(getApEqModified(), 0u);
    EXPECT_EQ(COMTAB_WriteElement(58, 5, 9), 0u); // band 1's centre frequency
    EXPECT_EQ(getApEqFreqC(1), 9u);
    EXPECT_EQ(getApEqModified(), 1u);
    EXPECT_EQ(COMTAB_WriteElement(57, 45, 1), 15u);
    EXPECT_EQ(COMTAB_WriteElement(58, 22, 1), 15u);
    EXPECT_EQ(COMTAB_WriteElement(60, 5, 0x41424344u), 0u);
    EXPECT_EQ(getApEqName(4), 0x41424344u);
    EXPECT_EQ(cell(60, 5), 0x41424344u);
    EXPECT_EQ(COMTAB_WriteElement(61, 65, 1), 1u);
}

// Selecting a compressor preset copies an existing stored set only; the
// number is kept whatever it is.
TEST_F(ComtabTest, APresetBeyondTheStoredSetsCopiesNothing)
{
    EXPECT_EQ(COMTAB_WriteElement(57, 2, 42), 0u);
    EXPECT_EQ(COMTAB_WriteElement(57, 60, 3), 0u); // working settings saved as set 3
    EXPECT_EQ(COMTAB_WriteElement(57, 2, 7), 0u);
    EXPECT_EQ(COMTAB_WriteElement(57, 39, 14), 0u);
    EXPECT_EQ(getApCmpLinRt(0), 7u);
    EXPECT_EQ(cell(57, 39), 14u);
    EXPECT_EQ(getApCmpModified(), 0u);
    EXPECT_EQ(COMTAB_WriteElement(57, 39, 3), 0u);
    EXPECT_EQ(getApCmpLinRt(0), 42u);
    EXPECT_EQ(getApCmpLoad(), 3u);
    EXPECT_NE(getConfigChanged() & CONFIG_GROUP_AUDIO_PROCESSOR, 0u);
}

} // namespace

namespace {

// The same with the three shelf modules fitted.
class ComtabShelfTest : public ComtabTest {
protected:
    ComtabShelfTest() { profile = cplShelfProfile(); }
    void SetUp() override
    {
        ComtabTest::SetUp();
        sem_sys_init();
    }
    void TearDown() override
    {
        sem_sys_remove();
        ComtabTest::TearDown();
    }
};

TEST_F(ComtabShelfTest, SupplyZeroAndExternalAmplifierOne)
{
    EXPECT_EQ(COMTAB_WriteElement(31, 12, 48000), 0u);
    EXPECT_EQ(cell(31, 12), 48000u);
    EXPECT_EQ(COMTAB_WriteElement(31, 13, 0x101), 0u);
    EXPECT_EQ(COMTAB_WriteElement(31, 10, 1), 1u);
    EXPECT_EQ(COMTAB_WriteElement(31, 3, 1), 15u);
    EXPECT_EQ(COMTAB_WriteElement(31, 14, 1), 1u);
    EXPECT_EQ(COMTAB_WriteElement(32, 12, 1), 1u);
    // Table 62 goes to amplifier 1, which is not connected: its answer.
    EXPECT_EQ(COMTAB_WriteElement(62, 50, 7), 13u);
    EXPECT_EQ(COMTAB_WriteElement(62, 58, 9), 13u);
    EXPECT_EQ(COMTAB_WriteElement(62, 45, 1), 15u);
    EXPECT_EQ(COMTAB_WriteElement(62, 59, 1), 1u);
    EXPECT_EQ(cplCalls(busLog(SIM_BUS_I2C1)),
              (std::vector<std::string>{"CPL_SetVout(0,0,48000)", "CPL_SetOperation(0,1)"}));
    EXPECT_EQ(count(book(), "ERR: Slot: 1: Write failed -- unit DISCONNECTED\n"), 2u);
}

} // namespace

namespace {

TEST_F(ComtabTest, TheOutputFrequencyKeepsTheHpaLimitsAndReachesTheConnectedAmplifiers)
{
    setHpaMinFreq(87500000);
    setHpaMaxFreq(108000000);
    setAmplifierNumber(3);
    AMP_FM_ResetAll();
    UnitSlot_SetConnected(1);
    UnitSlot_SetConnected(3);
    Snapshot before = snapshot();
    EXPECT_EQ(COMTAB_WriteElement(5, 11, 87499999), 11u);
    EXPECT_EQ(COMTAB_WriteElement(5, 11, 108000001), 11u);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(count(book(), "AMP_FM_Write"), 0u);
    // The connected units 1 and 3 are sent 98 MHz (they hold no amplifier
    // record here, so each write fails on its own and the result stays 0).
    EXPECT_EQ(COMTAB_WriteElement(5, 11, 98000000), 0u);
    EXPECT_EQ(cell(5, 11), 98000000u);
    std::string log = book();
    EXPECT_EQ(count(log, "AMP_FM_Write [Tab 8, Elem 9, Value 98] failed -- Error [-1]\n"), 2u) << log;
    EXPECT_EQ(count(log, "Slot: 2: Write failed"), 0u);
    UnitSlot_SetDisconnected(1);
    UnitSlot_SetDisconnected(3);
    setAmplifierNumber(0);
}

TEST_F(ComtabTest, NominalPowerByAmplifierFamilyAndTheUncheckedFlag)
{
    EXPECT_EQ(COMTAB_WriteElement(5, 1, static_cast<uint32_t>(-999)), 0u);
    EXPECT_EQ(cell(5, 1), static_cast<uint32_t>(-999));
    EXPECT_EQ(COMTAB_WriteElement(5, 1, 1000), 11u);
    setPsuTypeCode(1);
    setHpaMinPower(100);
    ASSERT_EQ(COMTAB_WriteElement(5, 22, 400), 11u); // above the driver level of a blank HPA
    EXPECT_EQ(COMTAB_WriteElement(5, 1, 99), 11u);
    setPsuTypeCode(0);
    EXPECT_EQ(COMTAB_WriteElement(5, 21, 7), 0u);
    EXPECT_EQ(cell(5, 21), 7u);
    EXPECT_EQ(COMTAB_WriteElement(5, 16, 0), 1u);
    EXPECT_EQ(COMTAB_WriteElement(5, 26, 0), 1u);
}

} // namespace

namespace {

TEST_F(ComtabTest, TheLogicAndCalibrationElementsOfTable13)
{
    setNplus1Mode(1);
    setAlarmInput(45, 0);
    // The key acknowledgement and the logon reports keep the reserve match.
    testing::internal::CaptureStdout();
    EXPECT_EQ(COMTAB_WriteElement(13, 19, 0x10202), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "reset MtxKeyPress to 10202\n");
    EXPECT_EQ(cell(13, 19), 0x0202u);
    EXPECT_EQ(COMTAB_WriteElement(13, 44, 0x0100000a), 0u);
    EXPECT_NE(book().find("www user logon from 10.0.0.1"), std::string::npos);
    EXPECT_EQ(COMTAB_WriteElement(13, 46, 0x41424344), 0u);
    EXPECT_EQ(getAlarmInput(45), 0);
    EXPECT_EQ(COMTAB_WriteElement(5, 12, 5), 0u);
    EXPECT_EQ(getAlarmInput(45), 1);
    setNplus1Mode(0);

    EXPECT_EQ(COMTAB_WriteElement(13, 3, 0), 11u);
    EXPECT_EQ(COMTAB_WriteElement(13, 3, 400000), 0u);
    EXPECT_EQ(cell(13, 3), 400000u);
    // The APC voltage is ignored while the forward power is calibrated.
    EXPECT_EQ(COMTAB_WriteElement(13, 24, 5001), 11u);
    const uint32_t apcBefore = getVoltageAPC();
    ASSERT_NE(apcBefore, 1000u);
    setFwdPowerCalibrated(1);
    EXPECT_EQ(COMTAB_WriteElement(13, 24, 1000), 0u);
    EXPECT_EQ(getVoltageAPC(), apcBefore);
    setFwdPowerCalibrated(0);
    EXPECT_EQ(COMTAB_WriteElement(13, 24, 1000), 0u);
    EXPECT_EQ(getVoltageAPC(), 1000u);
    EXPECT_EQ(COMTAB_WriteElement(13, 5, 3), 11u);
    EXPECT_EQ(COMTAB_WriteElement(13, 5, 2), 0u);
    // Outside the poll loop's thread both serial channels wait for its turn.
    EXPECT_EQ(COM_PendingReopens() & 5u, 5u);
    setExciterMode(0);
    EXPECT_EQ(COMTAB_WriteElement(13, 54, 0x54580000), 0u);
    EXPECT_EQ(cell(13, 54), 0x54580000u);
    EXPECT_EQ(COMTAB_WriteElement(13, 52, 2), 11u);
    EXPECT_EQ(COMTAB_WriteElement(13, 56, 10), 11u);
    EXPECT_EQ(COMTAB_WriteElement(13, 56, 9), 0u);
    EXPECT_EQ(COMTAB_WriteElement(13, 2, 0), 1u);
    EXPECT_EQ(COMTAB_WriteElement(13, 58, 0), 1u);
    EXPECT_EQ(COMTAB_WriteElement(3, 4, 0), 15u);
    EXPECT_EQ(COMTAB_WriteElement(3, 3, 12), 11u);
    EXPECT_EQ(COMTAB_WriteElement(3, 3, 10), 0u);
    EXPECT_EQ(cell(3, 3), 10u);
}

} // namespace

namespace {

TEST_F(ComtabTest, ReceiverAndMpxOverIpParameters)
{
    fmRx_Init(); // the receiver's parameters, as the default configuration makes them
    EXPECT_EQ(COMTAB_WriteElement(46, 1, 63999), 11u);
    EXPECT_EQ(COMTAB_WriteElement(46, 1, 98000), 0u);
    EXPECT_EQ(cell(46, 1), 98000u);
    EXPECT_EQ(COMTAB_WriteElement(46, 31, 0xf9), 11u); // -7
    EXPECT_EQ(COMTAB_WriteElement(46, 31, 0xfa), 0u);  // -6
    EXPECT_EQ(cell(46, 31), static_cast<uint32_t>(-6));
    EXPECT_EQ(COMTAB_WriteElement(46, 40, 20751), 11u);
    EXPECT_EQ(COMTAB_WriteElement(46, 35, static_cast<uint32_t>(-90)), 0u);
    EXPECT_EQ(COMTAB_WriteElement(46, 18, 3), 11u);
    EXPECT_EQ(COMTAB_WriteElement(46, 18, 1), 0u);
    EXPECT_EQ(COMTAB_WriteElement(46, 20, 5), 0u); // no such threshold yet
    EXPECT_EQ(COMTAB_WriteElement(46, 2, 1), 15u);
    EXPECT_EQ(COMTAB_WriteElement(46, 52, 1), 1u);
    EXPECT_EQ(COMTAB_WriteElement(37, 41, 0x12345), 0u); // whatever the block answers
    EXPECT_EQ(COMTAB_WriteElement(37, 44, 1), 15u);
    EXPECT_EQ(COMTAB_WriteElement(37, 61, 1), 1u);
    EXPECT_EQ(COMTAB_WriteElement(57, 0x10001, 1), 1u);
    EXPECT_EQ(getCommandRequest(22), 1u);
}

} // namespace

// Table 37 reaches the MPX-over-IP parameter objects through their own client
// write, at the element's width; a value the parameter refuses changes
// nothing and still answers 0.
TEST_F(ComtabTest, MpxOverIpElementsGoThroughTheirParameters)
{
    GBE_InitParams();
    GbeParams* g = GBE_GetParams();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(COMTAB_WriteElement(37, 41, 0x12345), 0u);
    EXPECT_EQ(g->udpPort.value, 0x2345u);
    EXPECT_EQ(cell(37, 41), 0x2345u);
    const uint8_t enable = g->txEnable.value;
    EXPECT_EQ(COMTAB_WriteElement(37, 48, 0x102), 0u); // 2: above the parameter's limit
    EXPECT_EQ(g->txEnable.value, enable);
    EXPECT_EQ(COMTAB_WriteElement(37, 48, 0x100 | (enable ^ 1u)), 0u);
    EXPECT_EQ(g->txEnable.value, enable ^ 1u);
}
