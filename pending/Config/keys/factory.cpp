// Stand-in for the DAC, NCO and PLL keys: the values with their defaults,
// stored by their setters without publish, mark or device programming.
#include "Config/keys/factory.h"

#include <atomic>

namespace {

struct DacPllValues {
    std::atomic<uint8_t> pllMode{0};
    std::atomic<uint8_t> ltcChargePump{7};
    std::atomic<uint8_t> qmDeltaNum{0};
    std::atomic<uint8_t> ncoNbitSel{0};
    std::atomic<uint8_t> clkNCml{15};
    std::atomic<uint8_t> clkPCml{15};
    std::atomic<uint8_t> nSign{0};
    std::atomic<uint8_t> pSign{0};
};

DacPllValues& st()
{
    static DacPllValues s;
    return s;
}

} // namespace

uint8_t getPllMode() { return st().pllMode; }
void setPllMode(uint32_t v) { st().pllMode = static_cast<uint8_t>(v); }
uint8_t getLtcChargePump() { return st().ltcChargePump; }
void setLtcChargePump(uint32_t v) { st().ltcChargePump = static_cast<uint8_t>(v); }
uint8_t getQmDeltaNum() { return st().qmDeltaNum; }
void setQmDeltaNum(uint32_t v) { st().qmDeltaNum = static_cast<uint8_t>(v); }
uint8_t getNcoNbitSel() { return st().ncoNbitSel; }
void setNcoNbitSel(uint32_t v) { st().ncoNbitSel = static_cast<uint8_t>(v); }
uint8_t getClkNCml() { return st().clkNCml; }
void setClkNCml(uint32_t v) { st().clkNCml = static_cast<uint8_t>(v); }
uint8_t getClkPCml() { return st().clkPCml; }
void setClkPCml(uint32_t v) { st().clkPCml = static_cast<uint8_t>(v); }
uint8_t getNSign() { return st().nSign; }
void setNSign(uint32_t v) { st().nSign = static_cast<uint8_t>(v); }
uint8_t getPSign() { return st().pSign; }
void setPSign(uint32_t v) { st().pSign = static_cast<uint8_t>(v); }
