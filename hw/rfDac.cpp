// RF DAC and quadrature modulator AD9789.
#include "hw/rfDac.h"

#include "Config/keys/fpgaKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/logs.h"
#include "hw/spiBus.h"
#include "platform/clock.h"

#include <cmath>

namespace {

constexpr double kFs = 16384000.0;
constexpr double kTwo24 = 16777216.0;
constexpr double kTwo28 = 268435456.0;
constexpr uint32_t kDeltaStepHz = 128000;
constexpr uint8_t kLockReg = 0x04;
constexpr uint8_t kLockBit = 0x08;
constexpr int kLockReads = 10;
constexpr uint64_t kLockReadPauseUs = 1000;

struct QmFixedReg {
    uint8_t reg;
    uint8_t value;
};

#include "hw/gen/rfDacTables.inc"

struct ClockPlan {
    uint32_t p, q, fdac, fint;
};

// Low Noise board by PllMode (index 0 also serves any mode not listed).
constexpr ClockPlan kLowNoisePlans[7] = {
    {4700000, 0x800000, 2350000000u, 146875000}, {4725000, 0x800000, 2362500000u, 147656250},
    {4750000, 0x800000, 2375000000u, 148437500}, {6400000, 0x800000, 1600000000u, 100000000},
    {4800000, 0x800000, 2400000000u, 150000000}, {5400000, 0x800000, 1350000000u, 84375000},
    {6000000, 0x800000, 1500000000u, 93750000},
};
constexpr ClockPlan kNormalPlan = {0x480000, 0x800000, 2359296000u, 147456000};

struct QmState {
    uint8_t shadow[QM_REGS] = {};
};

QmState& st()
{
    static QmState s;
    return s;
}

// Register 0x25: 0x80 for 0, else 128 x 10^(p / 200) rounded, at most 255
// (an unchecked XML value above 60 would otherwise wrap to near silence).
uint8_t outputPowerReg(int16_t power)
{
    if (power == 0)
        return 0x80;
    double v = std::trunc(128.0 * std::pow(10.0, power / 200.0) + 0.5);
    return v >= 255.0 ? 255 : v <= 0.0 ? 0 : static_cast<uint8_t>(v);
}

} // namespace

double roundNearest(double x)
{
    return std::floor(x + 0.5);
}

uint8_t qmShadowByte(uint32_t reg)
{
    return reg < QM_REGS ? st().shadow[reg] : 0;
}

int SetupDataQM(uint8_t* shadow)
{
    uint32_t pllMode = getPllMode();
    ClockPlan plan = kNormalPlan;
    if (getUnitWord8() == 1)
        plan = kLowNoisePlans[pllMode < 7 ? pllMode : 0];
    uint32_t delta = getQmDeltaNum() * kDeltaStepHz;
    DEBUG_PRINT(DBG_AD9789, "AD9789--> P: 0x%lX, Q: 0x%lX, FDAC: %lu, FINT: %lu, Delta: %lu, Fs: %f\n",
                static_cast<unsigned long>(plan.p), static_cast<unsigned long>(plan.q),
                static_cast<unsigned long>(plan.fdac), static_cast<unsigned long>(plan.fint),
                static_cast<unsigned long>(delta), kFs);

    int32_t cfrf = static_cast<int32_t>(getOutputRFfrequency() + static_cast<uint32_t>(getFrequencyCalibOffset()) +
                                        static_cast<uint32_t>(getFrequencyOffset()) - delta);
    uint32_t fc = static_cast<uint32_t>(
        roundNearest(static_cast<double>(static_cast<uint32_t>(cfrf) + delta) / plan.fdac * 65536.0));
    uint32_t cf = static_cast<uint32_t>(cfrf) % plan.fint;
    uint32_t ftw = static_cast<uint32_t>(roundNearest(static_cast<double>(cf) / plan.fint * kTwo24));
    double freqCorr = static_cast<double>(cf) - ftw * (plan.fint / kTwo24);
    int32_t ncoOffset = static_cast<int32_t>(roundNearest(freqCorr * kTwo28 / kFs));
    setNCOOffsetFineFreq(static_cast<uint32_t>(ncoOffset) & 0xFFFF);
    DEBUG_PRINT(DBG_AD9789, "AD9789--> CFRF: 0x%li, CF: 0x%li, FreqCorr: %f, NCOOffset: 0x%lX\n",
                static_cast<long>(cfrf), static_cast<long>(cf), freqCorr,
                static_cast<unsigned long>(static_cast<uint32_t>(ncoOffset)));

    for (const QmFixedReg& f : kQmFixed)
        shadow[f.reg] = f.value;
    shadow[0x06] = pllMode == 3 || pllMode == 5 || pllMode == 6 ? 0xD8 : 0xD0;
    shadow[0x09] = getNcoNbitSel() == 1 ? 0x20 : 0x2A;
    shadow[0x0A] = static_cast<uint8_t>(ftw);
    shadow[0x0B] = static_cast<uint8_t>(ftw >> 8);
    shadow[0x0C] = static_cast<uint8_t>(ftw >> 16);
    shadow[0x16] = static_cast<uint8_t>(plan.q);
    shadow[0x17] = static_cast<uint8_t>(plan.q >> 8);
    shadow[0x18] = static_cast<uint8_t>(plan.q >> 16);
    shadow[0x19] = static_cast<uint8_t>(plan.p);
    shadow[0x1A] = static_cast<uint8_t>(plan.p >> 8);
    shadow[0x1B] = static_cast<uint8_t>(plan.p >> 16);
    shadow[0x1C] = static_cast<uint8_t>(fc);
    shadow[0x1D] = static_cast<uint8_t>(fc >> 8);
    DEBUG_PRINT(DBG_AD9789, "Valori per NCO: FC 0x%lx, FTW 0x%lx\n", static_cast<unsigned long>(fc),
                static_cast<unsigned long>(ftw));
    shadow[0x25] = outputPowerReg(getBoardOutputPower());
    uint8_t clkN = getClkNCml(), clkP = getClkPCml(), nSign = getNSign(), pSign = getPSign();
    shadow[0x31] = static_cast<uint8_t>(clkN << 4);
    shadow[0x32] = static_cast<uint8_t>((nSign | clkP << 1 | pSign << 5 | 0x80) & ~0x40);
    logInfo("ClkN_CML=0x%X, ClkP_CML=0x%X, NSign=0x%X, PSign=0x%X", clkN, clkP, nSign, pSign);
    return 0;
}

int LowLevelPrgQM(uint8_t* shadow, uint8_t readFlag, uint8_t count, uint16_t address, uint8_t cs)
{
    // One register at a time: the instruction's count field says 1 and the
    // frame carries one data byte.
    (void)count;
    uint8_t value = address < QM_REGS ? shadow[address] : 0;
    DEBUG_PRINT(DBG_AD9789, "RegAddr[0x%.2X]= 0x%.2X\n", address, value);
    uint16_t addr = address & 0x1FFF;
    uint8_t readInstr[3] = {static_cast<uint8_t>(0x80 | addr >> 8), static_cast<uint8_t>(addr), 0};
    uint8_t rx[3] = {0, 0, 0};
    if (readFlag == 0) {
        uint8_t tx[3] = {static_cast<uint8_t>(addr >> 8), static_cast<uint8_t>(addr), value};
        SPI_WriteData(tx, 3, 0, cs);
        SPI_WriteReadData(readInstr, rx, 3, 0, cs);
        if (rx[2] != value)
            DEBUG_PRINT(DBG_AD9789, "Error programming RegAddr[0x%.2X]=0x%X  [read 0x%X]\n", address, value, rx[2]);
        return rx[2];
    }
    SPI_WriteReadData(readInstr, rx, 3, 0, cs);
    return rx[2];
}

int ProgramQM(uint8_t cs, uint8_t unused, uint8_t recompute)
{
    (void)unused;
    uint8_t* sh = st().shadow;
    if (recompute)
        SetupDataQM(sh);
    auto write = [&](uint16_t reg) { LowLevelPrgQM(sh, 0, 1, reg, cs); };
    auto set = [&](uint16_t reg, uint8_t v) {
        sh[reg] = v;
        write(reg);
    };
    set(0x00, 0x3C);
    set(0x00, 0x18);
    write(0x31);
    write(0x32);
    write(0x30);
    set(0x24, 0x00);
    set(0x24, 0x80);
    write(0x2F);
    // Register 0x33 goes out first with bit 0 clear, then as it was.
    uint8_t bit0 = sh[0x33] & 1;
    sh[0x33] &= static_cast<uint8_t>(~1u);
    write(0x33);
    write(0x39);
    write(0x3A);
    write(0x03);
    write(0x04);
    set(0x03, 0x0C);
    sh[0x33] |= bit0;
    write(0x33);
    for (uint16_t reg = 0x06; reg <= 0x1D; reg++)
        write(reg);
    for (uint16_t reg : {0x20, 0x21, 0x22, 0x23, 0x25, 0x26, 0x27, 0x28, 0x29, 0x3C, 0x3D})
        write(reg);
    for (int i = 0; i < kLockReads; i++) {
        int v = LowLevelPrgQM(sh, 1, 1, kLockReg, cs);
        clockSleepUs(kLockReadPauseUs);
        if (v & kLockBit)
            break;
    }
    set(0x1E, 0x80);
    set(0x24, 0x00);
    set(0x24, 0x80);
    write(0x05);
    return 0;
}

void InitQM()
{
    ProgramQM(QM_CS, 0, 1);
}

void UpdateQM()
{
    ProgramQM(QM_CS, 0, 1);
}

int QM_SetReg(uint32_t reg, uint32_t value)
{
    if (reg >= QM_REGS)
        return -1;
    st().shadow[reg] = static_cast<uint8_t>(value);
    return 0;
}

int QM_ProgramShadow()
{
    return ProgramQM(QM_CS, 0, 0);
}

int QM_Dump(uint32_t* pairs, uint32_t* count)
{
    for (uint32_t i = 0; i < QM_REGS; i++) {
        pairs[2 * i] = i;
        pairs[2 * i + 1] = st().shadow[i];
    }
    *count = QM_REGS;
    return 0;
}
