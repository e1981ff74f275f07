// Every row of the alarm table through its handler: the In and Out lines of
// each edge in the event log and then the book log, the immediate bits in
// DbPool at the edge, the delayed bit 40 scans later (or at the edge), and
// the flags and groups while raised.
#include "Config/keyTable.h"
#include "Config/keys/keyIds.h"
#include "alarms/alarmHandlers.h"
#include "alarms/alarmKeys.h"
#include "alarms/alarmTable.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "audio/uecpReceiver.h"
#include "alarmFixture.h"

#include <set>

namespace {

using Handler = void (*)(uint8_t);

Handler handlerOf(uint8_t id)
{
    switch (id) {
    case 40:
    case 41:
    case 42:
    case 49:
    case 61: return handleRetry;
    case 43:
    case 46: return handleReferenceLock;
    case 54:
    case 55:
    case 56:
    case 57:
    case 58:
    case 64: return handleTimedAudio;
    case 67:
    case 69: return handleInputs;
    case 93: return handleIntPps;
    case 101: return handleInterlock;
    case 111: return handleGpsReference;
    case 123: return handleAmpTemperature;
    case 126:
    case 127: return handleFans;
    default: return handleCommon;
    }
}

// The gates of each alarm opened, and its reference present.
void openGates(uint8_t id)
{
    switch (id) {
    case 44:
    case 45: setNplus1Mode(1); break;
    case 46:
        setNetMode(1);
        setTimeRefSource(1);
        break;
    case 43: setFreqRefSource(1); break;
    case 53:
        setOutputConfiguration(23);
        setInputCfg(1);
        break;
    case 54: case 55: case 56: case 57: case 64:
        setTotAudioAlmEnable(1);
        setAudioAuxAlmEnable(1);
        setAudioLeftAlmEnable(1);
        setAudioRightAlmEnable(1);
        break;
    case 59:
        cfgSetElement(KEYROW(OutputCfgCode), 0, 4);
        setUECPInterface(1);
        break;
    case 61: setUnitWord8(1); break;
    case 62: cfgSetElement(KEYROW(OutputCfgCode), 0, 55); break;
    case 63: cfgSetElement(KEYROW(OutputCfgCode), 0, 57); break;
    case 67: setInputPresAlmEnable(1); setEventBit(1, 76); setEventBit(1, 77); break;
    case 69:
        setInputPresAlmEnable(1);
        setInputBackup(1);
        setEventBit(1, 76);
        setEventBit(1, 77);
        break;
    case 94: setFreqRefSource(4); break;
    case 95: setFreqRefSource(1); break;
    case 96: setFreqRefSource(3); break;
    case 97: setFreqRefSource(2); break;
    case 145: setTxOnState(1); break;
    default: break;
    }
}

// Raises (1) or clears (0) the alarm's condition.
void setCondition(uint8_t id, uint8_t on, bool stateRow)
{
    switch (id) {
    case 59:
        // TMC data older than 120 s raises it; fresh data clears it.
        if (on)
            AlarmTest::advanceSeconds(121);
        else
            stampTmcTime(), AlarmTest::syncTimeBase();
        return;
    case 67: setEventBit(on ? 0 : 1, 76); return;
    case 69: setEventBit(on ? 0 : 1, 77); return;
    default: break;
    }
    if (stateRow)
        setAlarmState(id, on);
    else
        setAlarmInput(id, on);
}

bool timed(uint8_t id)
{
    return (id >= 54 && id <= 58) || id == 64;
}

std::string caseName(const ::testing::TestParamInfo<int>& info)
{
    return "Alarm" + std::to_string(kAlarmRows[info.param].id);
}

// Rows with no latched edge of their own: the supply availability and
// status handlers (tested beside the supplies), the holdover warning that
// nothing can raise, and 64 (no line, no bits; it feeds the input alarms).
const std::set<uint8_t> kOwnTests = {98, 144, 149, 150, 151};

class AlarmRowTest : public AlarmTest, public ::testing::WithParamInterface<int> {};

TEST_P(AlarmRowTest, EdgesWriteTheirLinesBitsFlagsAndGroups)
{
    const AlarmRow& r = kAlarmRows[GetParam()];
    if (kOwnTests.count(r.id))
        GTEST_SKIP() << "tested with its own handler";
    const uint8_t id = r.id;
    Handler handler = handlerOf(id);
    const bool stateRow = r.raise == RAISE_STATE;
    // The fan pair shares one delay counter advanced twice per call: its
    // delayed bits follow 20 scans after the edge.
    const int delayScans = (id == 126 || id == 127) ? 21 : 40;
    openGates(id);
    handler(id); // a quiet first scan: no line for an alarm that is clear
    EXPECT_EQ(eventLog().find(r.outText[0] ? r.outText : "\x01"), std::string::npos);

    setCondition(id, 1, stateRow);
    if (timed(id)) {
        handler(id); // takes the stamp
        EXPECT_EQ(getAlarmState(id), 0);
        advanceSeconds(2);
    }
    auto scanAndCheckEdge = [&](uint8_t on) {
        handler(id);
        EXPECT_EQ(getAlarmState(id), on) << "state of " << int(id);
        const char* text = on ? r.inText : r.outText;
        if (text[0]) {
            const char* level = r.level == LVL_INFO ? "INFO: " : "EVENT: ";
            std::string line = std::string(level) + text + "\n";
            if (r.level != LVL_INFO) {
                EXPECT_EQ(count(eventLog(), line), 1u) << line;
            }
            EXPECT_EQ(count(book(), line), 1u) << line;
            EXPECT_NE(book().find("[TaRN_FM] "), std::string::npos);
        }
        for (uint8_t e : r.eventBits) {
            if (e) {
                EXPECT_EQ(eventCell(e), on) << "E" << int(e);
            }
        }
        if (r.ampBit) {
            EXPECT_EQ(ampCell(r.ampBit), on) << "A" << int(r.ampBit);
        }
        if (r.delayedBit) {
            if (r.delayedAtEdge) {
                EXPECT_EQ(getStatusBitA(r.delayedBit), on);
            } else {
                EXPECT_EQ(getStatusBitA(r.delayedBit), !on) << "D" << int(r.delayedBit) << " at the edge";
                for (int i = 2; i < delayScans; i++)
                    handler(id);
                EXPECT_EQ(getStatusBitA(r.delayedBit), !on) << "D" << int(r.delayedBit) << " before the delay";
                handler(id);
                EXPECT_EQ(getStatusBitA(r.delayedBit), on) << "D" << int(r.delayedBit) << " after the delay";
            }
        }
    };

    scanAndCheckEdge(1);
    if (!(r.flags & AF_BY_HANDLER)) {
        EXPECT_EQ(getAlarmField0(id), (r.flags & AF_MUTE) ? 1 : 0);
        EXPECT_EQ(getAlarmField3(id), (r.flags & AF_ALM) ? 1 : 0);
        EXPECT_EQ(getAlarmField5(id), (r.flags & AF_WRN) ? 1 : 0);
    }
    for (uint8_t g : r.groups) {
        if (g && g != GROUPS_BY_HANDLER) {
            EXPECT_EQ(getAlarmState(g), 1) << "group " << int(g);
        }
    }
    // A raised alarm that stays raised writes one line.
    handler(id);

    setCondition(id, 0, stateRow);
    scanAndCheckEdge(0);
    EXPECT_EQ(getAlarmField0(id) + getAlarmField3(id) + getAlarmField5(id), 0);
    handler(id);
    if (r.inText[0]) {
        EXPECT_EQ(count(book(), std::string(r.inText) + "\n"), 1u);
        EXPECT_EQ(count(book(), std::string(r.outText) + "\n"), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRow, AlarmRowTest, ::testing::Range(0, kAlarmRowCount), caseName);

} // namespace
