// Tunable band-pass filter.
#include "hw/tunableBpf.h"

#include "Config/keys/factoryKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/logs.h"
#include "hw/fpgaMaintenance.h"
#include "hw/i2cBus.h"
#include "hw/ioExpanders.h"
#include "hw/rfDac.h"
#include "hw/rfSynth.h"
#include "hw/spiBus.h"
#include "platform/clock.h"
#include "platform/io.h"
#include "power/curveFit.h"
#include "power/powerCalibration.h"

#include <cstdio>

namespace {

constexpr uint8_t kBus = 1;
constexpr uint8_t kBpfReg = CAT9534_OUT;
constexpr uint8_t kFineSelectBit = 0x08;
constexpr uint8_t kFineEnableBit = 0x80;
constexpr uint64_t kFineSettleUs = 500;
constexpr uint32_t kPllTableFirstHz = 87500000;
constexpr uint32_t kPllTableStepHz = 100000;
constexpr uint32_t kBandTopHz = 108000000;
constexpr uint32_t kSelectWritePllBit = 0x40000;

struct BpfBand {
    uint8_t pre, post;
};

#include "hw/gen/tunableBpfTables.inc"

constexpr int kPllModes = sizeof kPllModeTable / sizeof kPllModeTable[0];
constexpr int kBands = sizeof kBpfBands / sizeof kBpfBands[0];

int ncdWriteFd(int fd, const uint8_t* data)
{
    bool ok = ioWrite(fd, data, 2) == 2;
    if (!ok)
        logErr("NCD2400M: Error on write!");
    i2cCountTransfer(ok);
    return ok ? 0 : -1;
}

int ncdReadFd(int fd, uint8_t* data)
{
    bool ok = ioRead(fd, data, 4) == 4;
    if (!ok)
        logErr("NCD2400M: Error on read!");
    i2cCountTransfer(ok);
    return ok ? 0 : -1;
}

} // namespace

int detectTunableBpf()
{
    uint8_t v = 0;
    if (pca9655Read(&v, CAT9534_CFG, EXP_PCA9654_BPF) > 0) {
        logInfo("Detected Tunable BPF System");
        return 1;
    }
    return 0;
}

int setBpfExpanderField(uint8_t value, uint8_t field)
{
    // The read and the write stay under one hold of the bus lock, so two
    // setters never lose each other's field.
    i2cBusLock(kBus, EXP_PCA9654_BPF);
    uint8_t reg = 0;
    int r = pca9655ReadHeld(&reg, kBpfReg, EXP_PCA9654_BPF);
    if (r < 0) {
        i2cBusUnlock(kBus, EXP_PCA9654_BPF);
        logErr("FAIL Reading configuration - PCA9654_BPF");
        return r;
    }
    if (field == 0)
        reg = static_cast<uint8_t>((reg & ~0x07) | (value & 7));
    else if (field == 1)
        reg = static_cast<uint8_t>((reg & ~0x70) | (value & 7) << 4);
    r = ioExpWriteHeld(reg, kBpfReg, EXP_PCA9654_BPF);
    i2cBusUnlock(kBus, EXP_PCA9654_BPF);
    if (r < 0)
        logErr("FAIL Setting configuration - PCA9654_BPF");
    return r;
}

int setBpfExpanderFieldA(uint8_t code)
{
    return setBpfExpanderField(code, 0);
}

int setBpfExpanderFieldB(uint8_t code)
{
    return setBpfExpanderField(code, 1);
}

int ncd2400mWrite(const uint8_t* data)
{
    return i2cTransaction(kBus, NCD2400M_ADDRESS, "NCD2400M", [&](int fd) { return ncdWriteFd(fd, data); });
}

int ncd2400mRead(uint8_t* data)
{
    return i2cTransaction(kBus, NCD2400M_ADDRESS, "NCD2400M", [&](int fd) { return ncdReadFd(fd, data); });
}

int applyTunBpf(uint16_t value, uint8_t select)
{
    // From the read of the expander to the release of the enable bit the bus
    // lock is held, so no other filter write lands inside the pulse.
    i2cBusLock(kBus, EXP_PCA9654_BPF);
    uint8_t reg = 0;
    int r = pca9655ReadHeld(&reg, kBpfReg, EXP_PCA9654_BPF);
    if (r < 0) {
        i2cBusUnlock(kBus, EXP_PCA9654_BPF);
        logErr("FAIL reading  configuration - PCA9654_BPF");
        return r;
    }
    if (select == 0)
        reg = static_cast<uint8_t>((reg & ~kFineSelectBit) | kFineEnableBit);
    else if (select == 1)
        reg = static_cast<uint8_t>(reg | kFineSelectBit | kFineEnableBit);
    if (ioExpWriteHeld(reg, kBpfReg, EXP_PCA9654_BPF) < 0)
        logErr("FAIL setting  configuration - PCA9654_BPF");
    clockSleepUs(kFineSettleUs);
    uint8_t out[2] = {static_cast<uint8_t>((value & 0x1FF) >> 8), static_cast<uint8_t>(value & 0xFF)};
    if (i2cTransactionHeld(kBus, NCD2400M_ADDRESS, "NCD2400M", [&](int fd) { return ncdWriteFd(fd, out); }) != 0)
        logErr("FAIL transfer to NCD2400");
    uint8_t in[4] = {};
    if (i2cTransactionHeld(kBus, NCD2400M_ADDRESS, "NCD2400M", [&](int fd) { return ncdReadFd(fd, in); }) != 0)
        logErr("FAIL transfer to NCD2400");
    reg = static_cast<uint8_t>(reg & ~kFineEnableBit);
    r = ioExpWriteHeld(reg, kBpfReg, EXP_PCA9654_BPF);
    i2cBusUnlock(kBus, EXP_PCA9654_BPF);
    if (r < 0)
        logErr("FAIL setting  configuration - PCA9654_BPF");
    return r;
}

int applyTunBpfCoarse(uint16_t fine)
{
    return applyTunBpf(fine, 0);
}

int applyTunBpfFine(uint16_t fine)
{
    return applyTunBpf(fine, 1);
}

int dtcWrite(const uint8_t* data, uint8_t cs)
{
    SPI_WriteData(data, 1, 0, cs);
    return 0;
}

int dtcRead(uint8_t* rx, uint8_t cs)
{
    uint8_t tx = 0;
    SPI_WriteReadData(&tx, rx, 1, 0, cs);
    return 0;
}

int setDtcValue(uint8_t value)
{
    uint8_t b = value & 31;
    return dtcWrite(&b, DTC_CS);
}

int applyTunBpf_CsFine(uint16_t)
{
    printf("\n\n\n [applyTunBpf_CsFine()]   ----  Do not use SPIDEV_VRL_DTC2 !!!   ---- \n\n");
    fflush(stdout);
    return -1;
}

int tunBpfBandOf(uint32_t hz)
{
    if (hz > kBandTopHz)
        return -1;
    if (hz < 89000000)
        return 0;
    int band = static_cast<int>(hz / 1000000 - 88);
    return band < kBands ? band : kBands - 1;
}

void selectTunBpfBand()
{
    if (getTunableBpfPresent() != 1)
        return;
    int k = tunBpfBandOf(getOutputRFfrequency());
    if (k < 0)
        return;
    uint32_t band = static_cast<uint32_t>(k);
    setTunBpfCoarseA(kBpfBands[band].pre);
    setTunBpfCoarseB(kBpfBands[band].post);
    setTunBpfFineA(getTunBpfCpPreFine(band));
    setTunBpfFineB(getTunBpfCpPostFine(band));
    setTunBpfVeryFine(getTunBpfCsVeryFine(band));
}

int pllModeOfFreq(uint32_t hz)
{
    if (hz < kPllTableFirstHz)
        return -1;
    uint32_t index = (hz - kPllTableFirstHz) / kPllTableStepHz;
    return index < static_cast<uint32_t>(kPllModes) ? kPllModeTable[index] : -1;
}

void selectPllModeForFreq()
{
    if (getTunableBpfPresent() != 1 || hasSelectWriteBits(kSelectWritePllBit))
        return;
    uint32_t f = getOutputRFfrequency();
    // Frequencies without a table entry keep the current mode.
    int mode = pllModeOfFreq(f);
    if (mode < 0)
        return;
    uint32_t index = (f - kPllTableFirstHz) / kPllTableStepHz;
    printf("PLL_MODE=%d [idx=%d]\n", mode + 1, static_cast<int>(index));
    fflush(stdout);
    setPllMode(static_cast<uint32_t>(mode));
}

int retuneAfterFrequencyChange()
{
    Fpga_SendConfig();
    calcDetectorCalibration(1);
    selectTunBpfBand();
    adjustPowerOffsetForFreq(1);
    selectPllModeForFreq();
    initRfSynth();
    UpdateQM();
    return Fpga_ResetPulse();
}
