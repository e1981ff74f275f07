// The shelf status readers: each family's manufacturer registers scaled into
// the PSU record, the fault count with its two-read stability test, and the
// PSU event lines of the status and alarm bits.
#include "power/cplStatus.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "alarms/logicaTx.h"
#include "core/base/logs.h"
#include "power/cplShelf.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kSlots = 3;

struct EventText {
    uint8_t group;
    uint8_t bit;
    const char* in;
    const char* out;
};

constexpr EventText kEventTexts[] = {
#define CPL_EVENT(group, bit, in, out) {group, bit, in, out},
#include "power/gen/cplEventTexts.inc"
#undef CPL_EVENT
};

struct State {
    // Alarm bytes of the previous pass: alarm1, alarm2, alarm3.
    uint8_t previous[kSlots][3] = {};
    // Bits last reported present, by group (0 status_1, 2..4 alarm1..3).
    uint8_t events[kSlots][5] = {};
};

State& st()
{
    static State s;
    return s;
}

// The raw bytes of one pass, before they are stored.
struct Reading {
    uint8_t status1, status2, alarm1, alarm2, alarm3;
    float vout, iout;
    bool cp3;
};

const EventText* findText(uint8_t group, uint8_t bit)
{
    for (const EventText& t : kEventTexts)
        if (t.group == group && t.bit == bit)
            return &t;
    return nullptr;
}

void writeEventLine(uint8_t slot, const EventText& t, bool in, uint8_t value)
{
    const char* fmt = in ? t.in : t.out;
    char body[160];
    if (strstr(fmt, "%ld") != nullptr) {
        long vin = static_cast<long>(static_cast<int32_t>(getPsuReadingWord1(slot))) / 1000;
        double vout = getPsuVoutMeasured(slot) / 1000.0;
        double iout = getPsuIoutMeasured(slot) / 1000.0;
        snprintf(body, sizeof body, fmt, vin, vout, iout, static_cast<unsigned>(value));
    } else if (strstr(fmt, "%X") != nullptr) {
        snprintf(body, sizeof body, fmt, static_cast<unsigned>(value));
    } else {
        snprintf(body, sizeof body, "%s", fmt);
    }
    logEvent("Alm PSU_%d %s %s", slot + 1, body, in ? "<--- In" : "---> Out");
}

// Events of every bit of one byte, 0x80 down to 0x01.
void byteEvents(uint8_t slot, uint8_t group, uint8_t value)
{
    for (int b = 7; b >= 0; b--)
        CPL_PsuAlarmEvent(slot, static_cast<uint8_t>(1u << b), group, value, &st().events[slot][group]);
}

// Steps common to both families once the main status read succeeded.
void decide(uint8_t slot, const Reading& r)
{
    State& s = st();
    uint8_t* prev = s.previous[slot];
    bool steady = LogicaTx_IsPowerChanging() == 0;
    int n = 0;
    if (r.status1 < 0xFF) {
        setPsuOutputOff(slot, r.status1 & 0x10 ? 1 : 0);
        if (r.status1 & 0x20)
            n++;
        setPsuStatusByte(slot, 0, r.status1);
        setPsuStatusByte(slot, 1, r.status2);
    }
    bool a1Stable = r.alarm1 == prev[0];
    bool a2Stable = r.alarm2 == prev[1];
    bool a3Stable = r.cp3 && r.alarm3 == prev[2];
    if (a1Stable) {
        uint8_t a = r.alarm1;
        setAlarmInput(147, a & 0x30 ? 1 : 0);
        if (((a & 0x80) && steady) || (a & 0x70) || ((a & 0x0C) && steady) || (a & 0x03))
            n++;
        setPsuStatusByte(slot, 2, a);
    }
    if (a2Stable) {
        if (r.alarm2 != 0)
            n++;
        setPsuStatusByte(slot, 3, r.alarm2);
    }
    if (a3Stable) {
        // Bits 0x02 and 0x04 of alarm3 are not faults.
        if (r.alarm3 & 0xF9)
            n++;
        setPsuStatusByte(slot, 4, r.alarm3);
    }
    setPsuStatus(slot, n > 0 ? 2 : 0);
    if (!steady)
        return;
    CPL_PsuAlarmEvent(slot, 0x10, 0, r.status1, &s.events[slot][0]);
    CPL_PsuAlarmEvent(slot, 0x20, 0, r.status1, &s.events[slot][0]);
    if (a1Stable)
        byteEvents(slot, 2, r.alarm1);
    if (a2Stable)
        byteEvents(slot, 3, r.alarm2);
    if (a3Stable)
        byteEvents(slot, 4, r.alarm3);
    prev[0] = r.alarm1;
    prev[1] = r.alarm2;
    if (r.cp3)
        prev[2] = r.alarm3;
}

void storeOutputs(uint8_t slot, float vout, float iout, int32_t temperature)
{
    setPsuVoutMeasured(slot, static_cast<int32_t>(vout * 1000.0f));
    setPsuIoutMeasured(slot, static_cast<int32_t>(iout * 1000.0f));
    setPsuReadingByte(slot, static_cast<uint32_t>(temperature));
    setPsuPowerOut(slot, static_cast<uint32_t>(static_cast<int64_t>(vout * iout * 1000.0f)));
}

// The answer of the single supply: present flag and alarm 141.
void singleSupplyAnswer(uint8_t slot, uint8_t length)
{
    uint8_t b[16] = {};
    bool ok = CPL_Read(slot, 0xD0, b, length) > 0;
    setPsuPresent(slot, ok ? 1 : 0);
    setAlarmInput(141, ok ? 0 : 1);
}

bool absent(uint8_t slot)
{
    if (isPsuPresent(slot))
        return false;
    setAlarmInput(147, 0);
    setPsuStatus(slot, 2);
    return true;
}

int32_t linear(const uint8_t* b)
{
    return CPL_Linear11ToInt(b[0], b[1]);
}

} // namespace

int32_t CPL_Linear11ToInt(uint8_t low, uint8_t high)
{
    int exponent = high >> 3;
    if (exponent > 15)
        exponent -= 32;
    int mantissa = low + (high & 7) * 256;
    if (mantissa > 1023)
        mantissa -= 2048;
    double v = std::ldexp(static_cast<double>(mantissa), exponent);
    return static_cast<int32_t>(std::floor(v + 0.5));
}

void CPL_PsuAlarmEvent(uint8_t slot, uint8_t mask, uint8_t group, uint8_t value, uint8_t* state)
{
    if (value == 0xFF || state == nullptr)
        return;
    bool now = (value & mask) != 0;
    bool was = (*state & mask) != 0;
    if (now == was)
        return;
    if (now)
        *state = static_cast<uint8_t>(*state | mask);
    else
        *state = static_cast<uint8_t>(*state & ~mask);
    const EventText* t = findText(group, mask);
    if (t != nullptr)
        writeEventLine(slot, *t, now, value);
}

int CPL2_ReadFullStatus(uint8_t slot)
{
    if (slot >= kSlots)
        return -1;
    if (getHpsCode() == 1)
        singleSupplyAnswer(0, 10);
    if (absent(slot))
        return 0;
    uint8_t d[16] = {};
    int main = CPL_Read(slot, 0xD0, d, 10);
    Reading r{};
    if (main > 0) {
        r = {d[2], d[1], d[4], d[3], 0, (d[5] | d[6] << 8) / 400.0f, d[7] / 5.0f, false};
        storeOutputs(slot, r.vout, r.iout, d[8]);
    }
    int last = main;
    int32_t pin = 0;
    uint8_t b[8] = {};
    if ((last = CPL_Read(slot, 0xDC, b, 5)) > 0) {
        pin = b[2] + b[3] * 256;
        setPsuReadingWord1(slot, static_cast<uint32_t>((b[1] + 75) * 1000));
        setPsuReadingWord2(slot, static_cast<uint32_t>(pin * 1000));
    }
    if ((last = CPL_Read(slot, 0xDE, b, 5)) > 0)
        setPsuReading24(slot, static_cast<uint32_t>(b[1] | b[2] << 8 | b[3] << 16));
    if ((last = CPL_Read(slot, 0xE1, b, 6)) > 0) {
        setPsuReadingWord(slot, 0, b[1]);
        for (uint32_t k = 1; k < 4; k++)
            setPsuReadingWord(slot, k, 100u * b[k + 1]);
    }
    if (main <= 0)
        return main;
    DEBUG_PRINT(DBG_POWER_MNG, "HPS MEASURE[%d] >> Pin: %d W, Pout: %.2f W, Vout: %.2f V, Iout: %.2f A\n\n", slot,
                pin, static_cast<double>(r.vout * r.iout), static_cast<double>(r.vout), static_cast<double>(r.iout));
    decide(slot, r);
    return last;
}

int CPL3_ReadFullStatus(uint8_t slot)
{
    if (slot >= kSlots)
        return -1;
    if (getHpsCode() == 1)
        singleSupplyAnswer(slot, 13);
    if (absent(slot))
        return 0;
    uint8_t d[16] = {};
    int main = CPL_Read(slot, 0xD0, d, 13);
    Reading r{};
    if (main > 0) {
        r = {d[2], d[1], d[5], d[4], d[3], (d[6] | d[7] << 8) / 512.0f, static_cast<float>(linear(d + 8)), true};
        storeOutputs(slot, r.vout, r.iout, linear(d + 10));
    }
    int last = main;
    uint8_t b[8] = {};
    if ((last = CPL_Read(slot, 0xD4, b, 6)) > 0) {
        setPsuReadingWord1(slot, static_cast<uint32_t>(linear(b + 1) * 1000));
        setPsuReadingWord2(slot, static_cast<uint32_t>(linear(b + 3) * 1000));
    }
    if ((last = CPL_Read(slot, 0xD6, b, 5)) > 0)
        setPsuReading24(slot, static_cast<uint32_t>(b[1] | b[2] << 8 | b[3] << 16));
    if ((last = CPL_Read(slot, 0xD3, b, 8)) > 0) {
        setPsuReadingWord(slot, 0, static_cast<uint32_t>(linear(b + 1)));
        setPsuReadingWord(slot, 1, static_cast<uint32_t>(linear(b + 3)));
        setPsuReadingWord(slot, 2, static_cast<uint32_t>(linear(b + 5)));
        setPsuReadingWord(slot, 3, 0);
    }
    if (main <= 0)
        return main;
    DEBUG_PRINT(DBG_POWER_MNG, "HPS MEASURE:Out Voltage: %.2f V\n", static_cast<double>(r.vout));
    decide(slot, r);
    return last;
}

void cplStatusResetForTest()
{
    st() = State{};
}
