// RF device models of the simulated board.
#include "sim/simRf.h"

#include "sim/simExpanders.h"
#include "sim/simProfile.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr uint32_t kQmRegs = 86;
constexpr uint32_t kQmLockKnob = kQmRegs;
constexpr uint8_t kQmLockReg = 0x04;
constexpr uint8_t kQmLockBit = 0x08;

class SimAd9789 : public SimSpiModel {
public:
    using SimSpiModel::SimSpiModel;
    size_t storeSize() const override { return kQmRegs + 1; }
    void powerOn() override { memset(store_, 0, storeSize()); }

    int transfer(const uint8_t* tx, uint8_t* rx, size_t len, unsigned) override
    {
        if (rx)
            memset(rx, 0, len);
        if (!tx || len < 2)
            return static_cast<int>(len);
        uint16_t instr = static_cast<uint16_t>(tx[0] << 8 | tx[1]);
        bool read = instr & 0x8000;
        uint32_t count = ((instr >> 13) & 3) + 1;
        uint32_t addr = instr & 0x1FFF;
        for (uint32_t i = 0; i < count && 2 + i < len && addr + i < kQmRegs; i++) {
            if (read) {
                if (rx)
                    rx[2 + i] = value(addr + i);
            } else {
                store_[addr + i] = tx[2 + i];
            }
        }
        return static_cast<int>(len);
    }

private:
    uint8_t value(uint32_t reg) const
    {
        if (reg != kQmLockReg)
            return store_[reg];
        uint8_t v = static_cast<uint8_t>(store_[reg] & ~kQmLockBit);
        return store_[kQmLockKnob] ? v : static_cast<uint8_t>(v | kQmLockBit);
    }
};

constexpr uint32_t kLtcRegs = 16;
constexpr uint32_t kLtcProgrammings = 16;
constexpr uint32_t kLtcLockAfter = 17;
constexpr uint8_t kLtcNever = 255;

class SimLtc6948 : public SimSpiModel {
public:
    explicit SimLtc6948(SimDevice* dev) : SimSpiModel(dev)
    {
        auto o = simParseOptions(dev->opts);
        uint32_t n;
        if (o.count("lock"))
            lockAfter_ = o["lock"] == "never" ? kLtcNever
                         : simParseNumber(o["lock"], &n) ? static_cast<uint8_t>(n < kLtcNever ? n : kLtcNever - 1)
                                                         : 0;
    }
    size_t storeSize() const override { return kLtcRegs + 2; }
    void powerOn() override
    {
        memset(store_, 0, storeSize());
        store_[kLtcLockAfter] = lockAfter_;
    }

    int transfer(const uint8_t* tx, uint8_t* rx, size_t len, unsigned) override
    {
        if (rx)
            memset(rx, 0, len);
        if (!tx || len < 2)
            return static_cast<int>(len);
        uint8_t reg = static_cast<uint8_t>((tx[0] >> 1) % kLtcRegs);
        if (tx[0] & 1) {
            if (rx)
                rx[1] = reg == 0 ? status() : store_[reg];
            return static_cast<int>(len);
        }
        if (reg != 0)
            store_[reg] = tx[1];
        if (reg == 14 && store_[kLtcProgrammings] < 255)
            store_[kLtcProgrammings]++;
        return static_cast<int>(len);
    }

private:
    uint8_t status() const
    {
        uint8_t after = store_[kLtcLockAfter];
        bool locked = after != kLtcNever && store_[kLtcProgrammings] >= after;
        return static_cast<uint8_t>((store_[0] & ~0x04) | (locked ? 0x04 : 0));
    }

    uint8_t lockAfter_ = 0;
};

constexpr uint16_t kDownConvCs = 17;
constexpr uint16_t kDownConvExp = 0x2E;
constexpr uint8_t kDownConvRows = 44;

class SimDownConvSynth : public SimSpiModel {
public:
    using SimSpiModel::SimSpiModel;
    size_t storeSize() const override { return 2 + 2 * 128; }
    void powerOn() override { memset(store_, 0, storeSize()); }

    int transfer(const uint8_t* tx, uint8_t* rx, size_t len, unsigned) override
    {
        if (rx)
            memset(rx, 0, len);
        if (!tx || len < 3)
            return static_cast<int>(len);
        uint8_t reg = tx[0] & 0x7F;
        if (tx[0] & 0x80) {
            if (rx) {
                rx[1] = store_[2 + 2 * reg];
                rx[2] = store_[3 + 2 * reg];
            }
            return static_cast<int>(len);
        }
        if (!enabled())
            return static_cast<int>(len);
        store_[2 + 2 * reg] = tx[1];
        store_[3 + 2 * reg] = tx[2];
        if (reg == 0 && (tx[2] & 0x02))
            store_[0] = 1;
        else if (store_[0] < 255)
            store_[0]++;
        return static_cast<int>(len);
    }

private:
    // The SPI enable: output bit 2 of the control expander, active low.
    static bool enabled()
    {
        SimModel* exp = simModelOf(simFindDevice(SIM_BUS_I2C1, kDownConvExp));
        uint8_t out = 0xFF;
        return exp && exp->peek(1, &out, 1) == 1 && !(out & 0x04);
    }
};

uint8_t downConvLockPin(unsigned port, uint8_t levels)
{
    if (port != 0)
        return levels;
    SimModel* synth = simModelOf(simFindDevice(SIM_BUS_SPI0, kDownConvCs));
    uint8_t v[2] = {0, 0};
    bool locked = synth && synth->peek(0, v, 2) == 2 && v[0] >= kDownConvRows && v[1] == 0;
    return static_cast<uint8_t>((levels & ~1) | (locked ? 1 : 0));
}

constexpr uint16_t kBpfExp = 0x15;

class SimNcd2400m : public SimI2cModel {
public:
    using SimI2cModel::SimI2cModel;
    size_t storeSize() const override { return 6; }
    void powerOn() override { memset(store_, 0, storeSize()); }

    int write(const uint8_t* data, size_t len) override
    {
        int chip = selected();
        if (chip < 0)
            return -ENXIO;
        for (size_t i = 0; i < len && i < 2; i++)
            store_[2 * chip + i] = data[i];
        if (store_[4 + chip] < 255)
            store_[4 + chip]++;
        return static_cast<int>(len);
    }

    int read(uint8_t* data, size_t len) override
    {
        int chip = selected();
        if (chip < 0)
            return -ENXIO;
        for (size_t i = 0; i < len; i++)
            data[i] = i < 2 ? store_[2 * chip + i] : 0;
        return static_cast<int>(len);
    }

private:
    // The chip the filter expander selects (0 pre, 1 post), -1 while its
    // enable bit is low.
    static int selected()
    {
        SimModel* exp = simModelOf(simFindDevice(SIM_BUS_I2C1, kBpfExp));
        uint8_t out = 0;
        if (!exp || exp->peek(1, &out, 1) != 1 || !(out & 0x80))
            return -1;
        return (out & 0x08) ? 1 : 0;
    }
};

} // namespace

SimModel* simAd9789Create(SimDevice* dev)
{
    return new SimAd9789(dev);
}

SimModel* simLtc6948Create(SimDevice* dev)
{
    return new SimLtc6948(dev);
}

SimModel* simDownConvSynthCreate(SimDevice* dev)
{
    return new SimDownConvSynth(dev);
}

SimModel* simDownConvExpanderCreate(SimDevice* dev)
{
    return simExpanderCreate(dev, 1, downConvLockPin);
}

SimModel* simNcd2400mCreate(SimDevice* dev)
{
    return new SimNcd2400m(dev);
}
