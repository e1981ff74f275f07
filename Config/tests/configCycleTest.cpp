// The apply and save cycle against a recording configuration store.
#include "Config/configCycle.h"

#include "Config/eventBitmaps.h"
#include "Config/StrutturaDati.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTxConfig.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace {

// What the cycle asked of the files.
struct Recorder {
    std::atomic<int> loads{0};
    std::atomic<int> saves{0};
    std::atomic<int> resets[4] = {};
    std::atomic<int16_t> loadResult{0};
    std::atomic<int> saveResult{0};
    void (*duringLoad)() = nullptr;
    void (*duringSave)() = nullptr;
};

Recorder rec;

int16_t recLoad()
{
    rec.loads++;
    if (rec.duringLoad)
        rec.duringLoad();
    return rec.loadResult;
}

int16_t recSave()
{
    rec.saves++;
    if (rec.duringSave)
        rec.duringSave();
    return rec.saveResult;
}

int recReset0() { return ++rec.resets[0], 1; }
int recReset1() { return ++rec.resets[1], 1; }
int recReset2() { return ++rec.resets[2], 1; }
int recReset3() { return ++rec.resets[3], 1; }

const ConfigFileStore kRecordingStore = {recLoad, recSave, recReset0, recReset1, recReset2, recReset3};

class ConfigCycleTest : public SandboxTest {
protected:
    ConfigCycleTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        timeThread();
        setConfigFileStore(&kRecordingStore);
    }
    void TearDown() override
    {
        setConfigFileStore(nullptr);
        SandboxTest::TearDown();
    }
    static int count(const std::string& text, const std::string& what)
    {
        int n = 0;
        for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
            n++;
        return n;
    }
    // One "SaveConfig Thread" tick; returns how many saves it made.
    static int tick()
    {
        int before = rec.saves;
        testSaveConfigAfterApply();
        return rec.saves - before;
    }
};

TEST_F(ConfigCycleTest, TheFilesAreWrittenOnTheTenthTickAfterTheLastApply)
{
    setNClock(12);
    EXPECT_EQ(getConfigLocked(), 2);
    applyConfig();
    EXPECT_EQ(getConfigLocked(), 0);
    EXPECT_EQ(getConfigChanged(), 0u);
    EXPECT_EQ(getSaveConfigChanged(), 0x10u);
    for (int t = 1; t <= 9; t++)
        ASSERT_EQ(tick(), 0) << "tick " << t;
    EXPECT_EQ(tick(), 1);
    EXPECT_EQ(getSaveConfigChanged(), 0u);
    for (int t = 11; t <= 30; t++)
        ASSERT_EQ(tick(), 0) << "tick " << t;

    // An apply at tick 9 postpones the save by ten more ticks.
    setKp(9);
    applyConfig();
    for (int t = 1; t <= 9; t++)
        ASSERT_EQ(tick(), 0);
    setKi(9);
    applyConfig();
    for (int t = 10; t <= 18; t++)
        ASSERT_EQ(tick(), 0) << "tick " << t;
    EXPECT_EQ(tick(), 1);
    EXPECT_EQ(rec.saves, 2);
}

void applyDuringTheSave()
{
    rec.duringSave = nullptr;
    setKpH(3);
    applyConfig();
}

TEST_F(ConfigCycleTest, AnApplyDuringASaveKeepsItsCountdownAndItsGroups)
{
    setNClock(12);
    applyConfig();
    rec.duringSave = applyDuringTheSave;
    for (int t = 1; t <= 9; t++)
        tick();
    EXPECT_EQ(tick(), 1);
    // The groups applied during the save wait their own ten ticks.
    EXPECT_EQ(getSaveConfigChanged(), 0x10u);
    for (int t = 1; t <= 9; t++)
        ASSERT_EQ(tick(), 0) << "tick " << t;
    EXPECT_EQ(tick(), 1);
    EXPECT_EQ(getSaveConfigChanged(), 0u);
}

TEST_F(ConfigCycleTest, AFailingSaveLogsKeepsItsGroupsAndRetriesOnEveryTick)
{
    rec.saveResult = 5;
    setNBit(7);
    setStandardType(3);
    applyConfig();
    for (int t = 1; t <= 9; t++)
        tick();
    EXPECT_EQ(tick(), 1);
    EXPECT_EQ(getSaveConfigChanged(), 0x50u);
    EXPECT_EQ(tick(), 1);
    EXPECT_EQ(tick(), 1);
    std::string b = book();
    EXPECT_EQ(count(b, "ERR: Error applying configuration to FLASH\n"), 3);
    EXPECT_EQ(count(b, "ERR: saveConfig - something goes wrong saving the XML file\n"), 3);
    EXPECT_EQ(count(b, "ERR: saveConfig - something goes wrong in the image file\n"), 3);

    rec.saveResult = 0;
    EXPECT_EQ(tick(), 1);
    EXPECT_EQ(getSaveConfigChanged(), 0u);
    EXPECT_EQ(tick(), 0);
}

TEST_F(ConfigCycleTest, AFrequencyChangeMutesUntilMoreThanThreeWholeSecondsHavePassed)
{
    markConfigChanged(CONFIG_GROUP_FREQUENCY);
    EXPECT_EQ(getAlarmField0(34), 0);
    applyConfig();
    EXPECT_EQ(getAlarmField0(34), 1);
    for (int s = 1; s <= 3; s++) {
        clockAdvanceUs(1000000);
        timeThread();
        applyConfig();
        ASSERT_EQ(getAlarmField0(34), 1) << s << " s";
    }
    clockAdvanceUs(1000000);
    timeThread();
    applyConfig();
    EXPECT_EQ(getAlarmField0(34), 0);
    EXPECT_EQ(getSaveConfigChanged(), CONFIG_GROUP_FREQUENCY);
}

TEST_F(ConfigCycleTest, MarkAllAloneAppliesNothingAndGroup400IsNeverSaved)
{
    markAllConfigChanged();
    EXPECT_EQ(getConfigChanged(), CONFIG_ALL_GROUPS);
    EXPECT_EQ(getConfigLocked(), 0);
    applyConfig();
    EXPECT_EQ(getConfigChanged(), CONFIG_ALL_GROUPS);
    EXPECT_EQ(getSaveConfigChanged(), 0u);
    EXPECT_EQ(getAlarmField0(34), 0);

    // A setter storing an unchanged value leaves it so.
    setKpH(0);
    applyConfig();
    EXPECT_EQ(getSaveConfigChanged(), 0u);

    // A real change applies every changed group, the mute among them.
    setKpH(1);
    applyConfig();
    EXPECT_EQ(getSaveConfigChanged(), CONFIG_ALL_GROUPS);
    EXPECT_EQ(getAlarmField0(34), 1);

    markConfigChanged(CONFIG_GROUP_NOT_SAVED | 0x200);
    applyConfig();
    EXPECT_EQ(getConfigChanged(), 0u);
    EXPECT_EQ(getSaveConfigChanged(), CONFIG_ALL_GROUPS | 0x200);
}

TEST_F(ConfigCycleTest, TheApplyAndSaveDebugLinesCarryTheWords)
{
    debugModuleMask = 0x1000000; // LB_XML
    markConfigChanged(0x2000);
    markConfigChanged(0x10);
    applyConfig();
    for (int t = 1; t <= 10; t++)
        tick();
    std::string dbg = readSandboxFile("/dev/shm/vrl_debug.log");
    EXPECT_NE(dbg.find("[applyConfig - LB_XML] >> ConfigLocked 2 - ConfigChanged 0x2010\n"), std::string::npos) << dbg;
    EXPECT_NE(dbg.find("[testSaveConfigAfterApply - LB_XML] >> Save Config! - SaveConfigChanged 0x2010\n"),
              std::string::npos)
        << dbg;
}

void loadAgainFromInsideTheStore()
{
    rec.duringLoad = nullptr;
    EXPECT_EQ(loadConfig(), -1);
}

TEST_F(ConfigCycleTest, LoadMarksAllAndRewritesTheFilesOnlyWhenSomethingWentWrong)
{
    EXPECT_EQ(loadConfig(), 0);
    EXPECT_EQ(rec.loads, 1);
    EXPECT_EQ(rec.saves, 0);
    EXPECT_EQ(getConfigChanged(), CONFIG_ALL_GROUPS);

    rec.loadResult = -2;
    EXPECT_EQ(loadConfig(), -2);
    EXPECT_EQ(rec.saves, 1);
    EXPECT_EQ(getEventBit(86), 1);
    std::string b = book();
    EXPECT_NE(b.find("ERR: loadConfig - something goes wrong importing the XML file\n"), std::string::npos);
    EXPECT_NE(b.find("INFO: Save actual configuration\n"), std::string::npos);

    // A positive sum rewrites the files too, without the event.
    setEventBit(0, 86);
    rec.loadResult = 1;
    EXPECT_EQ(loadConfig(), 1);
    EXPECT_EQ(rec.saves, 2);
    EXPECT_EQ(getEventBit(86), 0);

    // When the file mutex cannot be taken nothing was read, and the stored
    // files are left as they are.
    rec.loadResult = 0;
    rec.duringLoad = loadAgainFromInsideTheStore;
    EXPECT_EQ(loadConfig(), 0);
    EXPECT_EQ(rec.loads, 4);
    EXPECT_EQ(rec.saves, 2);
    EXPECT_NE(book().find("DEBUG: loadConfig - can't lock the file mutex\n"), std::string::npos);
}

TEST_F(ConfigCycleTest, SaveRefreshesTheEepromRecordBufferOnlyForTheFactoryGroup)
{
    memcpy(getUnitInfo() + 14, "SN0123456789", 12);
    markConfigChanged(0x10);
    applyConfig();
    EXPECT_EQ(saveConfig(), 0);
    EXPECT_EQ(memcmp(getUnitInfoBuffer() + 14, "\0\0\0\0", 4), 0);
    markConfigChanged(CONFIG_GROUP_FACTORY);
    applyConfig();
    EXPECT_EQ(saveConfig(), 0);
    EXPECT_EQ(memcmp(getUnitInfoBuffer() + 14, "SN0123456789", 12), 0);
}

TEST_F(ConfigCycleTest, DeleteRoutesEachTypeToItsFileAndRefusesOthers)
{
    for (int type = 0; type <= 3; type++) {
        EXPECT_EQ(deleteConfigFile(type), 1);
        EXPECT_EQ(rec.resets[type], 1) << type;
    }
    EXPECT_EQ(deleteConfigFile(4), -1);
    EXPECT_EQ(deleteConfigFile(-1), -1);
    std::string b = book();
    EXPECT_NE(b.find("ERR: Function: deleteConfigFile - Configuration type: 4 not handled\n"), std::string::npos);
    EXPECT_NE(b.find("Configuration type: -1 not handled\n"), std::string::npos);
}

TEST_F(ConfigCycleTest, WithoutARegisteredStoreLoadSaveAndDeleteFailWithALine)
{
    setConfigFileStore(nullptr);
    clearConfigChanged();
    clearSaveConfigChanged();
    EXPECT_EQ(loadConfig(), -1);
    EXPECT_EQ(getConfigChanged(), 0u) << "nothing was read";
    EXPECT_EQ(deleteConfigFile(0), -2) << "nothing could be tried: not taken for an absent file";
    markConfigChanged(0x10);
    applyConfig();
    for (int t = 1; t <= 10; t++)
        tick();
    EXPECT_EQ(getSaveConfigChanged(), 0x10u) << "the groups wait for a store";
    std::string b = book();
    for (const char* fn : {"loadConfig", "saveConfig", "deleteConfigFile"})
        EXPECT_NE(b.find(std::string("ERR: ") + fn + " - no configuration file store registered\n"), std::string::npos)
            << fn;
    EXPECT_NE(b.find("ERR: Error applying configuration to FLASH\n"), std::string::npos);

    setConfigFileStore(&kRecordingStore);
    EXPECT_EQ(tick(), 1);
    EXPECT_EQ(getSaveConfigChanged(), 0u);
}

TEST_F(ConfigCycleTest, MigrationRunsFromTheStoredFormatUpToTheLastStep)
{
    struct Case {
        uint32_t format;
        uint8_t psuType;
        uint16_t nomDrvPow;
        bool step4Bit;   // 0x100000: step 4, when 0x80000 is not set
        bool step5Bit;   // 0x800000: step 5 for supply type 2 and 535..550
    };
    const Case cases[] = {
        {8, 2, 540, false, false}, {9, 2, 540, false, false}, {5, 2, 540, false, true},
        {5, 2, 534, false, false}, {5, 2, 551, false, false}, {4, 0, 0, true, false},
        {0, 0, 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        setSelectWriteBits(0xffffffff, 0);
        getSystemImage()->unit.vrlDataFormat = c.format;
        getSystemImage()->hw.psuTypeCode = c.psuType;
        getSystemImage()->hpa.hpaNomDrvPow = c.nomDrvPow;
        clearConfigChanged();
        applyConfigStepwise();
        EXPECT_EQ(hasSelectWriteBits(0x100000), c.step4Bit ? 1 : 0);
        EXPECT_EQ(hasSelectWriteBits(0x800000), c.step5Bit ? 1 : 0);
        if (c.format >= 8) {
            EXPECT_EQ(getVrlDataFormat(), c.format);
            EXPECT_EQ(getConfigChanged(), 0u);
        } else {
            EXPECT_EQ(getVrlDataFormat(), 8u);
            EXPECT_TRUE(getConfigChanged() & 0x2000);
        }
    }
}

TEST_F(ConfigCycleTest, InfoStringCarriesTheNineWordsAtTheirWidths)
{
    UnitRegion& u = getSystemImage()->unit;
    u.infoUT = 41;
    u.infoST = -1;
    u.infoFM = 11;
    u.infoFWV = 2;
    u.infoFWR = 0;
    u.infoFWB = 2;
    u.infoFWC = 1234;
    u.infoFWE = 0;
    u.infoFWCS = 0xffffffff;
    char buf[128];
    memset(buf, 'x', sizeof buf); // no terminator yet
    EXPECT_EQ(buildInfoString(buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "UT41;ST-1;FM11;FWV2;FWR0;FWB2;FWC1234;FWE0;FWCS4294967295");
    char small[12];
    buildInfoString(small, sizeof small);
    EXPECT_STREQ(small, "UT41;ST-1;F");

    memset(&u, 0, sizeof u);
    const char text[] = "UT7;ST-2;FM3;FWV4;FWR5;FWB6;FWC7;FWE8;FWCS4294967295";
    EXPECT_EQ(parseInfoString(text, sizeof text - 1), 0);
    EXPECT_EQ(u.infoUT, 7);
    EXPECT_EQ(u.infoST, -2);
    EXPECT_EQ(u.infoFWE, 8u);
    EXPECT_EQ(u.infoFWCS, 0xffffffffu);
    EXPECT_EQ(u.vrlDataFormat, 0u); // the words after the nine are untouched
    std::string b = book();
    EXPECT_NE(b.find("DEBUG: UT41;ST-1;FM11;FWV2;FWR0;FWB2;FWC1234;FWE0;FWCS4294967295\n"), std::string::npos);
    EXPECT_NE(b.find("DEBUG: UT7\nST-2\nFM3\nFWV4\nFWR5\nFWB6\nFWC7\nFWE8\nFWCS4294967295\n"), std::string::npos);
}

// One thread marks random groups while the main loop applies and the saver
// saves. It works in rounds: each marks a random set of groups, each group
// once, in a burst, then waits until the main loop and the saver are idle
// with nothing left to apply or save. Every group marked in a round must be
// in a save of that round. The debug log is the witness: the round's line
// (written before its marks) and the saves' lines are written under one lock.
TEST_F(ConfigCycleTest, StressEveryMarkedGroupIsSaved)
{
    clockUseReal();
    debugModuleMask = 0x1000000;
    const uint32_t groups[] = {0x1, 0x8, 0x10, 0x20, 0x40, 0x200, 0x400, 0x1000, 0x2000, 0x8000,
                               0x10000, 0x20000, 0x40000, 0x80000, 0x100000, 0x200000};
    constexpr int kRounds = 2000;
    std::atomic<bool> stop{false};
    std::atomic<bool> applying{false};
    std::atomic<bool> saving{false};
    std::thread marker([&] {
        std::mt19937 rng(12345);
        for (int r = 0; r < kRounds; r++) {
            uint32_t set = static_cast<uint32_t>(rng()) | 0x1;
            uint32_t marks = 0;
            for (size_t k = 0; k < sizeof groups / sizeof groups[0]; k++) {
                if (set & (1u << k))
                    marks |= groups[k];
            }
            debugPrintf("stress", DBG_LB_XML, DBG_LB_XML, "round %d marks 0x%X\n", r, marks);
            for (size_t k = 0; k < sizeof groups / sizeof groups[0]; k++) {
                if (!(set & (1u << k)))
                    continue;
                markConfigChanged(groups[k]);
                if (rng() % 4 == 0)
                    std::this_thread::yield();
            }
            // Idle: no group left to apply, no apply running, nothing left
            // to save, no save running (checked in the order work flows).
            for (;;) {
                if (getConfigChanged() == 0 && !applying && getSaveConfigChanged() == 0 && !saving)
                    break;
                std::this_thread::yield();
            }
        }
        stop = true;
    });
    std::thread saver([&] {
        while (!stop) {
            saving = true;
            testSaveConfigAfterApply();
            saving = false;
        }
    });
    while (!stop) {
        applying = true;
        applyConfig();
        applying = false;
    }
    marker.join();
    saver.join();
    EXPECT_EQ(getConfigChanged(), 0u);
    EXPECT_EQ(getSaveConfigChanged(), 0u);

    std::ifstream in(sysPath("/dev/shm/vrl_debug.log"));
    std::string line;
    int rounds = 0, saves = 0;
    uint32_t marked = 0, saved = 0;
    auto endRound = [&] {
        if (rounds > 0) {
            EXPECT_EQ(marked & ~saved, 0u) << "round " << rounds - 1 << ": groups marked and not saved";
        }
        marked = saved = 0;
    };
    while (std::getline(in, line)) {
        unsigned v = 0;
        int r = 0;
        if (sscanf(line.c_str(), "[stress - LB_XML] >> round %d marks 0x%X", &r, &v) == 2) {
            endRound();
            rounds++;
            marked = v & ~CONFIG_GROUP_NOT_SAVED;
        } else if (sscanf(line.c_str(), "[testSaveConfigAfterApply - LB_XML] >> Save Config! - SaveConfigChanged 0x%X",
                          &v) == 1) {
            saves++;
            EXPECT_EQ(v & CONFIG_GROUP_NOT_SAVED, 0u);
            saved |= v;
        }
    }
    endRound();
    EXPECT_EQ(rounds, kRounds);
    EXPECT_GE(saves, kRounds);
}

} // namespace
