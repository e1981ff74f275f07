// The system region's hooks and the status operations that do not fit a row.
#include "Config/keys/systemKeys.h"

#include "Config/alarmIds.h"
#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/unitKeys.h"
#include "comtab/commandManager.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "hw/boardIo.h"
#include "hw/eeprom.h"
#include "hw/fpgaWindows.h"
#include "audio/secondCore.h"
#include "platform/clock.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

struct SystemKeysState {
    std::atomic<int64_t> selfShutdownStampNs{0};
    std::atomic<LocalTimeOffsetFn> localTimeOffset{nullptr};
};

SystemKeysState& st()
{
    static SystemKeysState s;
    return s;
}

} // namespace

void refreshRefValid(uint32_t, uint32_t, uint32_t)
{
    updateRefValid();
}

void stampSelfShutdown(uint32_t, uint32_t value, uint32_t)
{
    if (value == 0)
        return;
    struct timespec ts;
    clockGetTime(CLOCK_MONOTONIC_RAW, &ts);
    st().selfShutdownStampNs.store(static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
}

struct timespec getSelfShutdownStamp()
{
    int64_t ns = st().selfShutdownStampNs.load();
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / 1000000000LL);
    ts.tv_nsec = static_cast<long>(ns % 1000000000LL);
    return ts;
}

void updateRefValid()
{
    setRefValid((getRefMaskWord() & getRefStateWord()) != 0);
}

void updateMaskedFlag()
{
    const SystemRegion& s = getSystemImage()->sys;
    setMaskedFlag((s.maskedFlagMask & s.maskedFlagState) != 0);
}

void setPortWord(uint32_t i, uint32_t v)
{
    if (i > 1)
        return;
    if (cfgStore(KEYROW(PortWord), i, v) != 1)
        return;
    dbUpdateNetworkPortAddress();
    cfgPublish(KEYROW(PortWord), i); // the port words have no cell of their own
}

uint32_t getPortWord(uint32_t i)
{
    return cfgGetElement(KEYROW(PortWord), i == 1 ? 1 : 0);
}

void setTimeReqSecond(uint32_t v)
{
    getSystemImage()->sys.timeRequest[0] = v;
}

void setTimeReqMinute(uint32_t v)
{
    getSystemImage()->sys.timeRequest[1] = v;
}

void setTimeReqHour(uint32_t v)
{
    getSystemImage()->sys.timeRequest[2] = v;
}

void setTimeReqDay(uint32_t v)
{
    getSystemImage()->sys.timeRequest[3] = v;
}

void setTimeReqMonth(uint32_t m)
{
    getSystemImage()->sys.timeRequest[4] = m - 1;
}

void setTimeReqYear(uint32_t y)
{
    getSystemImage()->sys.timeRequest[5] = y - 1900;
}

uint32_t* getTimeRequest()
{
    return getSystemImage()->sys.timeRequest;
}

uint8_t getTelecommandInput(uint32_t k)
{
    if (k > 2)
        return 128;
    return static_cast<uint8_t>(CMD_Request(static_cast<int>(12 + k), 1));
}

// ---- Time, clock sources, time zone, UART 1, banks --------------------------

void timeSyncStateDone(uint32_t, uint32_t value, uint32_t)
{
    if (value == 1)
        setTimeSyncDone(1);
}

void logRunningBank(uint32_t, uint32_t value, uint32_t)
{
    logDebug("Set Running Bank = %u", value);
}

void registerLocalTimeOffset(LocalTimeOffsetFn fn)
{
    st().localTimeOffset.store(fn);
}

namespace {

int applyLocalTimeOffset(uint32_t zoneId, uint32_t dstMode)
{
    LocalTimeOffsetFn fn = st().localTimeOffset.load();
    if (!fn) {
        logErr("setLocalTimeOffset - no time-zone service registered");
        return -1;
    }
    return fn(zoneId, dstMode);
}

bool isGpsLike(uint32_t source)
{
    return source == 1 || source == 2;
}

} // namespace

void setTimeSyncCapable()
{
    const SystemRegion& s = getSystemImage()->sys;
    cfgSet(KEYROW(TimeSyncCapable), 0, isGpsLike(s.systemTimeSource) || isGpsLike(s.systemClockSource) ? 1 : 0);
}

void setClockInternal()
{
    cfgSet(KEYROW(ClockInternal), 0, getSystemClockSource() == 0 ? 1 : 0);
}

void setClockInternalB()
{
    cfgSet(KEYROW(ClockInternalB), 0, getSystemClockSource() == 0 ? 1 : 0);
}

void setSystemTimeSource(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(SystemTimeSource);
    if (cfgStore(row, 0, v) != 1)
        return;
    setTimeSyncCapable();
    updateRefValid();
    cfgPublish(row, 0);
    cfgMark(row);
    if (v == 1) {
        networkSettingsHook(1);
        networkSettingsHook(0);
    }
}

void cfgHandSet_SystemTimeSource(uint32_t, uint32_t v)
{
    setSystemTimeSource(v);
}

void setSystemClockSource(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(SystemClockSource);
    cfgStore(row, 0, v);
    setTimeSyncCapable();
    setClockInternal();
    setClockInternalB();
    cfgPublish(row, 0);
    cfgMark(row); // the miscellaneous group, then network and system
}

void cfgHandSet_SystemClockSource(uint32_t, uint32_t v)
{
    setSystemClockSource(v);
}

uint32_t setUart1ConnSel(uint32_t v)
{
    if (getUartOverride() != 0)
        v = 0;
    const CfgKeyDesc* row = KEYROW(Uart1ConnSel);
    cfgStore(row, 0, v);
    setUart1SelHw(v == 3 ? 0 : v);
    cfgMark(row);
    printf("%s select %s", "setUart1ConnSel", v == 0 ? "DEBUG Console" : v == 1 ? "GPS" : "UECP");
    fflush(stdout);
    return v;
}

void cfgHandSet_Uart1ConnSel(uint32_t, uint32_t v)
{
    setUart1ConnSel(v);
}

void setSystemTimezoneID(uint32_t id)
{
    const CfgKeyDesc* row = KEYROW(SystemTimezoneID);
    if (getHwReady() != 1) {
        if (cfgStore(row, 0, id) == 1)
            cfgPublish(row, 0);
        return;
    }
    if (applyLocalTimeOffset(id & 0xffffu, getDaylightSavingTime()) != 0)
        return;
    if (cfgStore(row, 0, id) != 1)
        return;
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_SystemTimezoneID(uint32_t, uint32_t v)
{
    setSystemTimezoneID(v);
}

void setDaylightSavingTime(uint32_t m)
{
    if (m > 2) {
        printf("ERROR in setDaylightSavingTime: input val=%d is not valid \n", static_cast<int>(m));
        fflush(stdout);
        return;
    }
    if (applyLocalTimeOffset(getSystemTimezoneID(), m) != 0)
        return;
    const CfgKeyDesc* row = KEYROW(DaylightSavingTime);
    if (cfgStore(row, 0, m) != 1)
        return;
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_DaylightSavingTime(uint32_t, uint32_t v)
{
    setDaylightSavingTime(v);
}

uint8_t* getDNSServerAddress()
{
    return getSystemImage()->sys.dnsServerAddress;
}

const char* getDNSServerAddressKey()
{
    return cfgElementName(KEYROW(DNSServerAddress), 0);
}

int isTimeSourceGps()
{
    return isGpsLike(getSystemTimeSource()) ? 1 : 0;
}

int isTimeSourceNone()
{
    uint32_t s = getSystemTimeSource();
    return s != 1 && s != 2 && s != 3 ? 1 : 0;
}

int isTimeSourceNtp()
{
    return getSystemTimeSource() == 3 ? 1 : 0;
}

int isTimeSynchronised()
{
    uint32_t s = getSystemTimeSource();
    if (isGpsLike(s))
        return getTimeSyncState() == 1 || getTimeSyncDone() == 1 ? 1 : 0;
    if (s == 3)
        return static_cast<int>(getNtpDateError());
    return 0;
}

void setTimeSyncFlag(uint32_t v)
{
    if (cfgStore(KEYROW(TimeSyncFlag), 0, v) == 1)
        markConfigChanged(CONFIG_GROUP_MISC);
}

uint32_t getTimeSyncFlag()
{
    return cfgGetElement(KEYROW(TimeSyncFlag), 0);
}

void raiseTimeAuxWord()
{
    if (getTimeAuxWord() == 1)
        setTimeAuxWord(1);
}

void setGpsInfoRecord(const uint32_t* words)
{
    if (words)
        memcpy(getSystemImage()->sys.gpsInfoRecord, words, sizeof getSystemImage()->sys.gpsInfoRecord);
}

const uint32_t* getGpsInfoRecord()
{
    return getSystemImage()->sys.gpsInfoRecord;
}

uint8_t setActiveBank(uint32_t b)
{
    if (b != 1 && b != 2)
        b = 1;
    if (cfgStore(KEYROW(ActiveBank), 0, b) == 1) {
        getUnitInfo()[0] = static_cast<uint8_t>(b);
        EepromHeaderSave(nullptr, 0);
        logDebug("Set Active Bank = %u\n", b);
    }
    return getActiveBank();
}

uint8_t getActiveBank()
{
    return static_cast<uint8_t>(cfgGetElement(KEYROW(ActiveBank), 0));
}

void checkVersionsAlarm()
{
    const UnitRegion& u = getSystemImage()->unit;
    bool same = true;
    for (int k = 0; k < 5; k++)
        same = same && u.versionWord[k] == u.versionRef[k];
    setAlarmInput(ALARM_FW_VERSIONS, same ? 0 : 1);
    static const uint8_t wordItems[5] = {8, 9, 4, 5, 6};
    static const uint8_t refItems[5] = {11, 12, 8, 9, 10};
    for (int k = 0; k < 5; k++)
        setDbAreaCell(1, wordItems[k], u.versionWord[k]);
    for (int k = 0; k < 5; k++)
        setDbAreaCell(16, refItems[k], u.versionRef[k]);
}

// ---- Shared range checks ------------------------------------------------------

int isValidClipperOvershootByte(uint32_t v)
{
    return (v & 255u) <= 110 ? 1 : 0;
}

int isValidRange0to2(uint32_t v)
{
    return v <= 2 ? 1 : 0;
}

int isValidFlag0to1(uint32_t v)
{
    return v <= 1 ? 1 : 0;
}

int isValidFlag0to1B(uint32_t v)
{
    return v <= 1 ? 1 : 0;
}

int isValidUpgradeRequest(uint32_t v)
{
    return v <= 2 ? 1 : 0;
}

int isValidUpgradeParam(uint32_t v)
{
    return v <= 1 ? 1 : 0;
}

int isValidRange0to8(uint32_t v)
{
    return v <= 8 ? 1 : 0;
}

void setMpxDigMaxDeltaClock(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(MpxDigMaxDeltaClock);
    if (cfgStore(row, 0, v) == 1) {
        cfgPublish(row, 0);
        cfgMark(row);
    }
    if (getHwReady() != 1)
        return;
    uint16_t delta = static_cast<uint16_t>(v);
    // 0 has no resampler ratio: the value is kept, the FPGA is left alone.
    if (delta == 0) {
        logWarn("setMpxDigMaxDeltaClock - 0 is no clock delta, FPGA not written");
        return;
    }
    uint32_t word = 1680u / delta;
    fpgaWriteWords(&word, 1, 2, 12, 8);
    AMP_PulseFpgaReset();
}

void cfgHandSet_MpxDigMaxDeltaClock(uint32_t, uint32_t v)
{
    setMpxDigMaxDeltaClock(v);
}
