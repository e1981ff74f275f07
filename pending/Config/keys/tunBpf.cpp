// Stand-in for the tunable band-pass filter settings: plain values (the
// band tables start at 0), each setter writing its hardware once the
// hardware is ready, without publish, mark or derived words.
#include "Config/keys/tunBpfKeys.h"

#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "hw/tunableBpf.h"

#include <atomic>

namespace {

constexpr uint32_t kBands = 20;

struct TunBpfValues {
    std::atomic<uint8_t> coarseA{0}, coarseB{0}, veryFine{0};
    std::atomic<uint16_t> fineA{0}, fineB{0};
    std::atomic<uint16_t> preFine[kBands] = {};
    std::atomic<uint16_t> postFine[kBands] = {};
    std::atomic<uint8_t> csVeryFine[kBands] = {};
};

TunBpfValues& st()
{
    static TunBpfValues s;
    return s;
}

bool hwReady()
{
    return getHwReady() == 1;
}

} // namespace

void setTunBpfCoarseA(uint32_t code)
{
    st().coarseA = static_cast<uint8_t>(code);
    if (hwReady())
        setBpfExpanderFieldA(static_cast<uint8_t>(code));
}

void setTunBpfCoarseB(uint32_t code)
{
    st().coarseB = static_cast<uint8_t>(code);
    if (hwReady())
        setBpfExpanderFieldB(static_cast<uint8_t>(code));
}

uint8_t getTunBpfCoarseA() { return st().coarseA; }
uint8_t getTunBpfCoarseB() { return st().coarseB; }

void setTunBpfFineA(uint32_t v)
{
    st().fineA = static_cast<uint16_t>(v);
    if (hwReady())
        applyTunBpfCoarse(static_cast<uint16_t>(v));
}

void setTunBpfFineB(uint32_t v)
{
    st().fineB = static_cast<uint16_t>(v);
    if (hwReady())
        applyTunBpfFine(static_cast<uint16_t>(v));
}

uint16_t getTunBpfFineA() { return st().fineA; }
uint16_t getTunBpfFineB() { return st().fineB; }

void setTunBpfVeryFine(uint32_t v)
{
    st().veryFine = static_cast<uint8_t>(v);
    if (hwReady())
        setDtcValue(static_cast<uint8_t>(v));
}

uint8_t getTunBpfVeryFine() { return st().veryFine; }

uint16_t getTunBpfCpPreFine(uint32_t i) { return i < kBands ? st().preFine[i].load() : 0; }
uint16_t getTunBpfCpPostFine(uint32_t i) { return i < kBands ? st().postFine[i].load() : 0; }
uint8_t getTunBpfCsVeryFine(uint32_t i) { return i < kBands ? st().csVeryFine[i].load() : 0; }

void setTunBpfCpPreFine(uint32_t i, uint32_t v)
{
    if (i < kBands)
        st().preFine[i] = static_cast<uint16_t>(v);
}

void setTunBpfCpPostFine(uint32_t i, uint32_t v)
{
    if (i < kBands)
        st().postFine[i] = static_cast<uint16_t>(v);
}

void setTunBpfCsVeryFine(uint32_t i, uint32_t v)
{
    if (i < kBands)
        st().csVeryFine[i] = static_cast<uint8_t>(v);
}

int detectTunableBpfOption()
{
    int r = detectTunableBpf();
    if (r == 1)
        setTunableBpfPresent(1);
    return r;
}
