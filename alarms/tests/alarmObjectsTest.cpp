// Alarm objects and alarm sets: keys and cells of a set, the status and
// configuration words, edge lines, the configuration masks and the
// parameter access of the configuration files.
#include "alarms/alarmObjects.h"

#include "Config/configCycle.h"
#include "comtab/dbPool.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class AlarmObjectsTest : public SandboxTest {
protected:
    AlarmObjectsTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}

    // Sets and alarms are never freed in the system; the test frees its own.
    void TearDown() override
    {
        for (AlarmSet* s : sets_) {
            for (Alarm* a : s->alarms) {
                if (!a)
                    continue;
                for (ParamLong* t : {a->low, a->high}) {
                    if (t) {
                        free(t->key);
                        free(t->label);
                        free(t);
                    }
                }
                free(a);
            }
            for (ParamU32* p : {&s->status, &s->config}) {
                free(p->key);
                free(p->label);
            }
            free(s);
        }
        SandboxTest::TearDown();
    }

    AlarmSet* newSet()
    {
        AlarmSet* s = AlarmSet_New();
        sets_.push_back(s);
        return s;
    }

    std::vector<AlarmSet*> sets_;

    // A set at 0x0A10 with alarms 0..2: "A0" Wrn, "A1" Alm, "A2" Alm+Mute,
    // logged; A0 with thresholds at (10,20) and (10,21).
    AlarmSet* makeSet()
    {
        AlarmSet* s = newSet();
        AlarmSet_CallInit(s, 0x0A10);
        AlarmSet_CallAddAlarm(s, 0, "A0", "Alarm zero", 0x0A14, -5, 0x0A15, 50, 0, 1, 0, 1);
        AlarmSet_CallAddAlarm(s, 1, "A1", "Alarm one", -1, 0, -1, 0, 0, 1, 0, 2);
        AlarmSet_CallAddAlarm(s, 2, "A2", "Alarm two", -1, 0, -1, 0, 0, 1, 0, 3);
        return s;
    }
};

TEST_F(AlarmObjectsTest, SetKeyAndCellsFollowItsId)
{
    AlarmSet* s = makeSet();
    EXPECT_STREQ(AlarmSet_GetConfigKey(s), "AlmSet1017");
    Alarm_Set(AlarmSet_GetAlarm(s, 1), 1);
    EXPECT_EQ(readDbAreaCell(10, 16), 0x00020002u);
    AlarmSet_RefreshConfig(s, 1);
    EXPECT_EQ(readDbAreaCell(10, 17), AlarmSet_GetConfigWord(s));
    EXPECT_EQ(AlarmSet_GetConfigWord(s) & 0x000C0202u, 0x00080002u);
    EXPECT_EQ(AlarmSet_GetAlarm(s, 8), nullptr);
    EXPECT_EQ(AlarmSet_GetAlarm(nullptr, 0), nullptr);
    EXPECT_EQ(AlarmSet_GetConfigKey(nullptr), nullptr);
    EXPECT_EQ(AlarmSet_GetConfigWord(nullptr), 0xffffffffu);
    EXPECT_EQ(Alarm_Set(nullptr, 1), -1);
    EXPECT_EQ(Alarm_Init(nullptr, "x", "x", 0, 0, 0, 1, nullptr, nullptr, nullptr, 0), -1);
    EXPECT_EQ(Alarm_GetLowerThreshold(AlarmSet_GetAlarm(s, 1)), 0x7fffffff);
    EXPECT_EQ(Alarm_Check(nullptr, 3), 0);
}

TEST_F(AlarmObjectsTest, SeverityChangeOfAnActiveAlarmLogsOutThenInAndMovesItsStatusBit)
{
    AlarmSet* s = makeSet();
    Alarm* a = AlarmSet_GetAlarm(s, 1);
    Alarm_Set(a, 1);
    Alarm_Set(a, 1); // the same state twice: one line
    EXPECT_EQ(count(eventLog(), "EVENT: Alm Alarm one <--- In\n"), 1u);
    EXPECT_EQ(AlarmSet_GetStatusWord(s), 0x00020002u);
    clearConfigChanged();
    Alarm_Configure(a, 1, 0, 3);
    const std::string out = "EVENT: Alm Alarm one ---> Out\n", in = "EVENT: Alm+Mute Alarm one <--- In\n";
    for (const std::string& log : {eventLog(), book()}) {
        size_t o = log.find(out), i = log.find(in);
        ASSERT_NE(o, std::string::npos) << log;
        ASSERT_NE(i, std::string::npos) << log;
        EXPECT_LT(o, i);
    }
    // Event log first, then the book log: the event log holds no book-only line.
    EXPECT_EQ(AlarmSet_GetStatusWord(s), 0x02000002u);
    EXPECT_EQ((AlarmSet_GetConfigWord(s) >> 18) & 3, 3u);
    EXPECT_EQ(getConfigChanged() & 0x2000u, 0x2000u);
    EXPECT_EQ(readDbAreaCell(10, 16), 0x02000002u);
}

TEST_F(AlarmObjectsTest, LogZeroChangesStateSilentlyButMovesTheStatusWord)
{
    AlarmSet* s = makeSet();
    Alarm* a = AlarmSet_GetAlarm(s, 0);
    Alarm_Configure(a, 0, 1, 1);
    std::string before = eventLog();
    Alarm_Set(a, 1);
    EXPECT_EQ(eventLog(), before);
    EXPECT_EQ(AlarmSet_GetStatusWord(s), 0x00000101u);
    Alarm_Set(a, 0);
    EXPECT_EQ(AlarmSet_GetStatusWord(s), 0u);
    EXPECT_EQ(eventLog(), before);
}

TEST_F(AlarmObjectsTest, ApplyConfigMasksApplyTheNamedAlarmsOnly)
{
    // Each case starts with alarms 0..2 logged, no trap, severities 1,2,3;
    // the word then holds log 0, trap 1, severity 0 for all three, and is
    // applied under the mask: an applied alarm takes all three from it.
    struct Case {
        uint32_t mask;
        bool applied[3];
    } cases[] = {
        {0x30000, {true, false, false}}, {0x300, {true, false, false}},  {0x200, {false, true, false}},
        {0xC0000, {false, true, false}}, {0xFFFFFFFF, {true, true, true}}, {0x0, {false, false, false}},
        {0x4, {false, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        AlarmSet* s = makeSet();
        for (uint32_t i = 0; i < 3; i++)
            AlarmSet_RefreshConfig(s, i);
        const uint32_t word = 0x00000700;
        s->config.set(&s->config, word);
        AlarmSet_ApplyConfig(s, word, c.mask);
        EXPECT_EQ(AlarmSet_GetConfigWord(s) & c.mask, word & c.mask);
        for (uint32_t i = 0; i < 3; i++) {
            uint8_t log = 9, trap = 9;
            uint32_t severity = 9;
            Alarm_GetConfig(AlarmSet_GetAlarm(s, i), &log, &trap, &severity);
            if (c.applied[i]) {
                EXPECT_EQ(log, 0) << i;
                EXPECT_EQ(trap, 1) << i;
                EXPECT_EQ(severity, 0u) << i;
            } else {
                EXPECT_EQ(log, 1) << i;
                EXPECT_EQ(trap, 0) << i;
                EXPECT_EQ(severity, i + 1) << i;
            }
        }
    }
}

TEST_F(AlarmObjectsTest, ParameterAccessOfTheConfigurationFiles)
{
    AlarmSet* s = makeSet();
    EXPECT_STREQ(reinterpret_cast<const char*>(CA_ALARMSET_Event_GetP(s, 0, 0)), "A0");
    EXPECT_EQ(CA_ALARMSET_Event_GetP(s, 0, 2), -5);
    EXPECT_STREQ(reinterpret_cast<const char*>(CA_ALARMSET_Event_GetP(s, 0, 3)), "A0_LoTh");
    EXPECT_EQ(CA_ALARMSET_Event_GetP(s, 0, 4), 50);
    EXPECT_STREQ(reinterpret_cast<const char*>(CA_ALARMSET_Event_GetP(s, 0, 5)), "A0_UpTh");
    EXPECT_STREQ(reinterpret_cast<const char*>(CA_ALARMSET_Event_GetP(s, 0, 7)), "A0_Sev");
    EXPECT_STREQ(reinterpret_cast<const char*>(CA_ALARMSET_Event_GetP(s, 0, 9)), "A0_Log");
    EXPECT_STREQ(reinterpret_cast<const char*>(CA_ALARMSET_Event_GetP(s, 0, 11)), "A0_Trp");
    EXPECT_EQ(CA_ALARMSET_Event_GetP(s, 0, 6), 1);
    EXPECT_EQ(CA_ALARMSET_Event_GetP(s, 0, 8), 1);
    // Not there: no threshold, an empty slot, a slot beyond the set, no set.
    EXPECT_EQ(CA_ALARMSET_Event_GetP(s, 1, 2), 0x7fffffff);
    EXPECT_EQ(CA_ALARMSET_Event_GetP(s, 1, 3), 0x7fffffff);
    EXPECT_EQ(CA_ALARMSET_Event_GetP(s, 5, 1), 0x7fffffff);
    EXPECT_EQ(CA_ALARMSET_Event_GetP(s, 8, 1), 0x7fffffff);
    EXPECT_EQ(CA_ALARMSET_Event_GetP(nullptr, 0, 1), 0x7fffffff);
    testing::internal::CaptureStdout();
    EXPECT_EQ(CA_ALARMSET_Event_GetP(s, 0, 12), -1);
    CA_ALARMSET_Event_SetP(s, 0, 7, 2);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\n CA_ALARMSET_Event_GetP(0, 12)   Param 12 not found \n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n CA_ALARMSET_Event_GetP(0, 7)   Param 7 is Read Only \n"), std::string::npos) << out;

    // Writes: thresholds (logged and published), severity, log, trap, state.
    CA_ALARMSET_Event_SetP(s, 0, 2, -7);
    EXPECT_EQ(Alarm_GetLowerThreshold(AlarmSet_GetAlarm(s, 0)), -7);
    EXPECT_EQ(readDbAreaCell(10, 20), 0xFFFFFFF9u);
    EXPECT_EQ(count(book(), "INFO: SET A0_LoTh: -7\n"), 1u);
    CA_ALARMSET_Event_SetP(s, 0, 6, 2);
    CA_ALARMSET_Event_SetP(s, 0, 10, 1);
    CA_ALARMSET_Event_SetP(s, 0, 1, 0x101);
    EXPECT_EQ(AlarmSet_GetStatusWord(s), 0x00010001u);
    EXPECT_EQ(AlarmSet_GetConfigWord(s) & 0x30101u, 0x20101u);
    CA_ALARMSET_Event_SetP(s, 5, 1, 1); // empty slot: nothing
}

TEST_F(AlarmObjectsTest, ThresholdCheckCallsTheCrossingCallbacksOnly)
{
    static int lowCalls, highCalls;
    lowCalls = highCalls = 0;
    AlarmSet* s = makeSet();
    Alarm* a = AlarmSet_GetAlarm(s, 0); // low -5, high 50
    Alarm_SetCallbacksSafe(a, nullptr, nullptr, nullptr, nullptr, [](Alarm*, uint32_t) { lowCalls++; },
                           [](Alarm*, uint32_t) { highCalls++; }, nullptr, nullptr);
    EXPECT_EQ(Alarm_Check(a, 0), 0);
    EXPECT_EQ(Alarm_Check(a, -6), 1);
    EXPECT_EQ(Alarm_Check(a, 51), 1);
    EXPECT_EQ(lowCalls, 1);
    EXPECT_EQ(highCalls, 1);
    EXPECT_EQ(Alarm_GetState(a), 0);
}

TEST_F(AlarmObjectsTest, LongNamesAreCutAndTerminated)
{
    AlarmSet* s = newSet();
    AlarmSet_CallInit(s, 0x0B00);
    std::string name(40, 'n'), label(40, 'l');
    AlarmSet_CallAddAlarm(s, 0, name.c_str(), label.c_str(), 0x0B05, 0, -1, 0, 0, 1, 0, 2);
    Alarm* a = AlarmSet_GetAlarm(s, 0);
    EXPECT_EQ(std::string(a->name), std::string(31, 'n'));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(CA_ALARMSET_Event_GetP(s, 0, 7))), std::string(31, 'n') + "_Sev");
    Alarm_Set(a, 1);
    EXPECT_EQ(count(eventLog(), "Alm " + std::string(31, 'l') + " <--- In\n"), 1u);
}

} // namespace
