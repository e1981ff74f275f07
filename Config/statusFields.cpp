// Status fields of the unit.
#include "Config/statusFields.h"

#include "Config/keyTable.h"
#include "comtab/commandManager.h"
#include "core/logs.h"
#include "platform/clock.h"

#include <atomic>

namespace {

struct StatusState {
    std::atomic<int64_t> selfShutdownStampNs{0};
};

StatusState st;

std::atomic_ref<uint32_t> imageWord(uint32_t& w)
{
    return std::atomic_ref<uint32_t>(w);
}

} // namespace

void flagToAlarmAndRefValid(uint8_t id, uint32_t value)
{
    setAlarmInput(id, value);
    updateRefValid();
}

void stampSelfShutdown(uint8_t, uint32_t value, uint32_t)
{
    if (value == 0)
        return;
    struct timespec ts;
    clockGetTime(CLOCK_MONOTONIC_RAW, &ts);
    st.selfShutdownStampNs.store(static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
}

struct timespec getSelfShutdownStamp()
{
    int64_t ns = st.selfShutdownStampNs.load();
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
    imageWord(getSystemImage()->sys.portWords[i]).store(v);
}

uint32_t getPortWord(uint32_t i)
{
    return imageWord(getSystemImage()->sys.portWords[i == 1 ? 1 : 0]).load();
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

uint8_t logAlarmEdge(uint8_t* state, uint8_t value, const char* name, uint8_t* changed)
{
    if (*state == value) {
        *changed = 0;
        return 0;
    }
    if (value == 1)
        logEvent("%s --> Alarm ON\n", name);
    else
        logEvent("%s <-- Alarm OFF\n", name);
    *state = value;
    *changed = 1;
    return value == 1 ? 0 : 1;
}
