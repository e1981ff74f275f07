// The system region's hooks and the status operations that do not fit a row.
#include "Config/keys/systemKeys.h"

#include "Config/keyTable.h"
#include "Config/keys/networkKeys.h"
#include "comtab/commandManager.h"
#include "platform/clock.h"

#include <atomic>

namespace {

struct SystemKeysState {
    std::atomic<int64_t> selfShutdownStampNs{0};
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
