// Board temperature and board inputs on the virtual clock.
#include "hw/boardMeasures.h"

#include "Config/alarmIds.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "comtab/dbPool.h"
#include "hw/tests/boardFixture.h"
#include "testing/dbPoolReader.h"

namespace {

class BoardMeasures : public BoardFixture {
protected:
    // The sensor's temperature register, sign and magnitude.
    static void setSensor(uint8_t hi, uint8_t lo)
    {
        uint8_t v[2] = {hi, lo};
        model(0x48)->poke(0, v, 2);
    }
    static int32_t word9() { return static_cast<int32_t>(getPowerTableWord(9)); }
    static uint32_t sensorReads() { return device(0x48)->transfers.load(); }
};

TEST_F(BoardMeasures, FirstCallMeasuresAtOnceThenEvery16SecondsAfterTheStampingCall)
{
    BoardTemperatureMeasure();
    EXPECT_EQ(word9(), 25);
    std::vector<uint32_t> cells;
    ASSERT_EQ(readDbPoolCellsInChild({{10, 1}}, &cells), 0);
    EXPECT_EQ(cells[0], 25u) << "published for the other programs";

    setSensor(0x1E, 0x00);
    uint32_t reads = sensorReads();
    BoardTemperatureMeasure(); // stamps
    clockAdvanceUs(15'000'000);
    BoardTemperatureMeasure();
    EXPECT_EQ(sensorReads(), reads);
    EXPECT_EQ(word9(), 25);
    clockAdvanceUs(1'000'000);
    BoardTemperatureMeasure();
    EXPECT_EQ(word9(), 30);
}

TEST_F(BoardMeasures, OverTemperatureConditionHasHysteresis)
{
    struct Step {
        uint8_t degrees;
        uint8_t alarm;
    } steps[] = {{64, 0}, {65, 1}, {62, 1}, {60, 0}};
    for (const Step& s : steps) {
        SCOPED_TRACE(int(s.degrees));
        setSensor(s.degrees, 0x80);
        BoardTemperatureMeasure(); // measures (first call) or stamps
        clockAdvanceUs(16'000'000);
        BoardTemperatureMeasure();
        EXPECT_EQ(word9(), s.degrees);
        EXPECT_EQ(getAlarmInput(ALARM_BOARD_OVER_TEMPERATURE), s.alarm);
    }
}

TEST_F(BoardMeasures, FailedSensorReadKeepsTheLastTemperatureAndTheCondition)
{
    setSensor(70, 0);
    BoardTemperatureMeasure();
    ASSERT_EQ(getAlarmInput(ALARM_BOARD_OVER_TEMPERATURE), 1);
    device(0x48)->absent.store(1);
    BoardTemperatureMeasure();
    clockAdvanceUs(16'000'000);
    BoardTemperatureMeasure();
    EXPECT_EQ(count(book(), "ERR: Error on BoardTemperatureMeasure\n"), 1u);
    EXPECT_EQ(word9(), 70);
    EXPECT_EQ(getAlarmInput(ALARM_BOARD_OVER_TEMPERATURE), 1);
}

TEST_F(BoardMeasures, NegativeTemperaturesAreSignAndMagnitude)
{
    setSensor(0x99, 0x80);
    BoardTemperatureMeasure();
    EXPECT_EQ(word9(), -25);
}

TEST_F(BoardMeasures, BoardInputsFollowPowerAndBatteryStatus)
{
    setReg(0x26, 1, 0x0C);
    readBoardInputs();
    EXPECT_EQ(getBoardInputA(), 1u);
    EXPECT_EQ(getBoardInputB(), 1u);
    EXPECT_EQ(getAlarmInput(ALARM_PRIMARY_POWER_SOURCE), 0);
    setReg(0x26, 1, 0x04);
    readBoardInputs();
    EXPECT_EQ(getBoardInputA(), 0u);
    EXPECT_EQ(getBoardInputB(), 1u);
    EXPECT_EQ(getAlarmInput(ALARM_PRIMARY_POWER_SOURCE), 1);

    // A failed read changes neither.
    device(0x26)->absent.store(1);
    readBoardInputs();
    EXPECT_EQ(getBoardInputA(), 0u);
    device(0x26)->absent.store(0);
}

TEST_F(BoardMeasures, BatteryStatusTogglingElevenTimesReadsUnstableForGood)
{
    // The first read (bit set) is the first change from the initial 0.
    uint8_t bit = 0;
    for (int change = 1; change <= 300; change++) {
        bit ^= 1;
        setReg(0x26, 1, static_cast<uint8_t>(0x08 | (bit << 2)));
        readBoardInputs();
        if (change < 11)
            ASSERT_EQ(getBoardInputB(), bit) << change;
        else
            ASSERT_EQ(getBoardInputB(), 2u) << change << ": the count must not wrap back to stable";
    }
}

} // namespace
