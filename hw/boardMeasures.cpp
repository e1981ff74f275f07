// Board temperature and board inputs, measured in the 750 ms measurement step.
#include "hw/boardMeasures.h"

#include "Config/alarmIds.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "core/base/logs.h"
#include "hw/boardIo.h"
#include "hw/smallDevices.h"
#include "platform/clock.h"

#include <ctime>

namespace {

constexpr uint32_t kBoardTemperatureWord = 9;
constexpr time_t kMeasurePeriodS = 16;
constexpr int32_t kOverTemperatureOn = 65;  // at or above: alarm condition set
constexpr int32_t kOverTemperatureOff = 61; // below: cleared
constexpr uint8_t kUnstableChanges = 11;

struct BoardMeasuresState {
    bool started = false;
    struct timespec stamp = {0, 0};
    bool measureNow = true; // the first call measures at once
    uint8_t battPrevious = 0;
    uint8_t battChanges = 0; // saturates at 255
};

BoardMeasuresState& st()
{
    static BoardMeasuresState s;
    return s;
}

} // namespace

void BoardTemperatureMeasure()
{
    BoardMeasuresState& s = st();
    if (!s.started) {
        clockGetTime(CLOCK_MONOTONIC_RAW, &s.stamp);
        s.started = true;
    }
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    time_t diff = now.tv_sec > s.stamp.tv_sec ? now.tv_sec - s.stamp.tv_sec : s.stamp.tv_sec - now.tv_sec;
    if (diff < kMeasurePeriodS && !s.measureNow)
        return;

    int32_t t = 0;
    if (MAX31725_Read(&t) != 0) {
        // A failed read says nothing about the board: the last temperature
        // and the over-temperature condition stay as they were.
        logErr("Error on BoardTemperatureMeasure");
    } else {
        debugPrintf("BoardTemperatureMeasure", DBG_TEMPERATURE, DBG_TEMPERATURE, "Board Temperature: %d\n", t);
        debugPrintf("BoardTemperatureMeasure", DBG_POWER_MNG, DBG_POWER_MNG, "Board Temperature: %d\n", t);
        setPowerTableWord(kBoardTemperatureWord, static_cast<uint32_t>(t));
        int32_t v = static_cast<int32_t>(getPowerTableWord(kBoardTemperatureWord));
        if (v >= kOverTemperatureOn)
            setAlarmInput(ALARM_BOARD_OVER_TEMPERATURE, 1);
        else if (v < kOverTemperatureOff)
            setAlarmInput(ALARM_BOARD_OVER_TEMPERATURE, 0);
    }
    s.started = false;
    s.measureNow = false;
}

void readBoardInputs()
{
    BoardMeasuresState& s = st();
    uint8_t v = 0;
    if (readBatteryCircuitStatus(&v) != 0)
        return;
    setBoardInputA((v & 0x08) ? 1 : 0);
    uint8_t b = (v & 0x04) ? 1 : 0;
    if (b != s.battPrevious && s.battChanges < 255)
        s.battChanges++;
    s.battPrevious = b;
    setBoardInputB(s.battChanges < kUnstableChanges ? b : 2);
}
