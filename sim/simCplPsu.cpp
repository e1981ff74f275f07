// The PMBus rectifier modules of the power shelf: the commands the shelf
// driver uses, the read PEC rule of each family and the write PEC check.
#include "sim/simCplPsu.h"

#include "sim/simPlant.h"
#include "sim/simProfile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

uint8_t pec8(const uint8_t* d, size_t n, uint8_t crc = 0)
{
    for (size_t i = 0; i < n; i++) {
        crc ^= d[i];
        for (int b = 0; b < 8; b++)
            crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

// LINEAR11 (low, high) with the smallest exponent whose mantissa fits.
void linear11(double v, uint8_t* out)
{
    int e = -16;
    while (e < 15 && std::fabs(v * std::ldexp(1.0, -e)) > 1023.0)
        e++;
    long m = std::lround(v * std::ldexp(1.0, -e));
    m = std::max(-1024L, std::min(1023L, m));
    uint16_t w = static_cast<uint16_t>(((static_cast<unsigned>(e) & 0x1F) << 11) | (static_cast<uint16_t>(m) & 0x7FF));
    out[0] = static_cast<uint8_t>(w & 0xFF);
    out[1] = static_cast<uint8_t>(w >> 8);
}

double plantValue(const char* name, double def)
{
    if (!simPlantPresent())
        return def;
    for (auto& [k, v] : simPlantQuantities())
        if (k == name)
            return atof(v.c_str());
    return def;
}

class SimCplPsu : public SimI2cModel {
public:
    explicit SimCplPsu(SimDevice* dev) : SimI2cModel(dev)
    {
        auto o = simParseOptions(dev->opts);
        type_ = o.count("type") && o["type"] == "cp3" ? 2 : 1;
    }
    size_t storeSize() const override { return SIM_CPL_REGS; }
    void powerOn() override
    {
        memset(store_, 0, SIM_CPL_REGS);
        store_[SIM_CPL_OPERATION] = 0x80;
        store_[SIM_CPL_TEMP] = 35;
        store_[SIM_CPL_VIN] = 155;
        store_[SIM_CPL_TYPE] = type_;
        lagReads_ = 0;
    }
    int write(const uint8_t* data, size_t len) override
    {
        if (len == 0)
            return 0;
        command_ = data[0];
        if (len == 1)
            return 1; // the command of a read
        uint8_t addr = static_cast<uint8_t>(dev_->addr << 1);
        if (pec8(data, len - 1, pec8(&addr, 1)) != data[len - 1]) {
            store_[SIM_CPL_BAD_PEC]++;
            return static_cast<int>(len);
        }
        if (command_ == 0x21 && len == 4) {
            store_[SIM_CPL_VOUT_LO] = data[1];
            store_[SIM_CPL_VOUT_HI] = data[2];
            feedPlant();
        } else if (command_ == 0x01 && len == 3) {
            bool shown = shownOn(), was = on();
            store_[SIM_CPL_OPERATION] = data[1];
            if (!(data[1] & 0x80))
                store_[SIM_CPL_SHUTDOWN] = 0; // switching off clears a latched shutdown
            if (on() != was) {
                lagShownOn_ = shown;
                lagReads_ = store_[SIM_CPL_SLOW];
            }
            feedPlant();
        }
        return static_cast<int>(len);
    }
    // A knob (simctl set, tests) can shut the module down: the plant follows.
    int poke(uint32_t reg, const uint8_t* in, size_t n) override
    {
        int r = SimI2cModel::poke(reg, in, n);
        feedPlant();
        return r;
    }
    int read(uint8_t* data, size_t len) override
    {
        uint8_t r[32];
        memset(r, 0xFF, sizeof r);
        size_t n = answer(r);
        // The PEC of the family over what precedes it in the answer.
        uint8_t head[3] = {static_cast<uint8_t>(dev_->addr << 1), command_,
                           static_cast<uint8_t>(dev_->addr << 1 | 1)};
        uint8_t crc = store_[SIM_CPL_TYPE] == 2 ? pec8(head, 3) : pec8(head + 2, 1);
        if (n > 0 && n < sizeof r)
            r[n] = pec8(r, n, crc);
        for (size_t i = 0; i < len; i++)
            data[i] = i < sizeof r ? r[i] : 0xFF;
        return static_cast<int>(len);
    }

private:
    bool on() const { return store_[SIM_CPL_OPERATION] & 0x80 && store_[SIM_CPL_SHUTDOWN] == 0; }
    bool shownOn() const { return lagReads_ > 0 ? lagShownOn_ : on(); }
    uint16_t voutRaw() const { return on() ? static_cast<uint16_t>(store_[0] | store_[1] << 8) : 0; }
    double volts() const { return voutRaw() / (store_[SIM_CPL_TYPE] == 2 ? 512.0 : 400.0); }

    // The shelf's modules work in parallel on one bus: the plant sees the
    // highest output of the modules that are on.
    void feedPlant()
    {
        if (!simPlantPresent())
            return;
        double v = 0;
        for (uint16_t a = 0x40; a <= 0x42; a++) {
            Shelf m = shelfModule(a);
            if (m.on && m.volts > v)
                v = m.volts;
        }
        simPlantSet("supply", std::to_string(v));
    }

    struct Shelf {
        bool on;
        double volts;
    };
    // Another module of the shelf, read through its registers.
    Shelf shelfModule(uint16_t addr) const
    {
        if (addr == dev_->addr)
            return {on(), volts()};
        SimDevice* d = simFindDevice(SIM_BUS_I2C1, addr);
        uint8_t r[SIM_CPL_REGS];
        if (!d || strcmp(d->kind, "cplpsu") != 0 || simModelOf(d)->peek(0, r, SIM_CPL_REGS) != SIM_CPL_REGS)
            return {false, 0};
        bool on = r[SIM_CPL_OPERATION] & 0x80 && r[SIM_CPL_SHUTDOWN] == 0;
        double raw = on ? (r[SIM_CPL_VOUT_LO] | r[SIM_CPL_VOUT_HI] << 8) : 0;
        return {on, raw / (r[SIM_CPL_TYPE] == 2 ? 512.0 : 400.0)};
    }

    // The plant's current shared by the modules that are on.
    double sharedAmps() const
    {
        if (!on())
            return 0.0;
        int n = 0;
        for (uint16_t a = 0x40; a <= 0x42; a++)
            if (shelfModule(a).on)
                n++;
        return plantValue("current", 0.0) / (n > 0 ? n : 1);
    }

    uint8_t status1() const
    {
        return static_cast<uint8_t>(store_[SIM_CPL_STATUS1] | (store_[SIM_CPL_SHUTDOWN] ? 0x10 : 0));
    }

    // The answer bytes without the PEC; their count (0: nothing known).
    size_t answer(uint8_t* r)
    {
        bool cp3 = store_[SIM_CPL_TYPE] == 2;
        double amps = sharedAmps();
        switch (command_) {
        case 0x78:
            r[0] = static_cast<uint8_t>(shownOn() ? 0x00 : 0x40);
            if (lagReads_ > 0)
                lagReads_--;
            return 1;
        case 0xDD:
            if (cp3)
                return 0;
            r[0] = 4, r[1] = 12, r[2] = 34, r[3] = 56;
            return 4;
        case 0xD5:
            if (!cp3)
                return 0;
            r[0] = 6;
            for (int i = 1; i <= 6; i++)
                r[i] = static_cast<uint8_t>(i);
            return 7;
        case 0xD0:
            if (!cp3) {
                r[0] = 9, r[1] = store_[SIM_CPL_STATUS2], r[2] = status1(), r[3] = store_[SIM_CPL_ALARM2];
                r[4] = store_[SIM_CPL_ALARM1], r[5] = static_cast<uint8_t>(voutRaw() & 0xFF);
                r[6] = static_cast<uint8_t>(voutRaw() >> 8);
                r[7] = static_cast<uint8_t>(std::lround(std::min(amps * 5.0, 255.0)));
                r[8] = store_[SIM_CPL_TEMP];
                return 9;
            }
            r[0] = 12, r[1] = store_[SIM_CPL_STATUS2], r[2] = status1(), r[3] = store_[SIM_CPL_ALARM3];
            r[4] = store_[SIM_CPL_ALARM2], r[5] = store_[SIM_CPL_ALARM1];
            r[6] = static_cast<uint8_t>(voutRaw() & 0xFF), r[7] = static_cast<uint8_t>(voutRaw() >> 8);
            linear11(amps, r + 8);
            linear11(store_[SIM_CPL_TEMP], r + 10);
            return 12;
        case 0xDC:
            if (cp3)
                return 0;
            r[0] = 4, r[1] = store_[SIM_CPL_VIN], r[2] = static_cast<uint8_t>(std::lround(volts() * amps * 1.1)),
            r[3] = static_cast<uint8_t>(std::lround(volts() * amps * 1.1) >> 8);
            return 4;
        case 0xDE:
        case 0xD6:
            r[0] = 4, r[1] = 0x10, r[2] = 0x27, r[3] = 0;
            return 4;
        case 0xE1:
            if (cp3)
                return 0;
            r[0] = 5, r[1] = 40, r[2] = 60, r[3] = 61, r[4] = 0;
            return 5;
        case 0xD4:
            if (!cp3)
                return 0;
            r[0] = 5;
            linear11(store_[SIM_CPL_VIN] + 75.0, r + 1);
            linear11(volts() * amps * 1.1, r + 3);
            return 5;
        case 0xD3:
            if (!cp3)
                return 0;
            r[0] = 7;
            linear11(40, r + 1);
            linear11(60, r + 3);
            linear11(61, r + 5);
            return 7;
        case 0x9A:
        case 0x9E:
            if (!cp3)
                return 0;
            r[0] = 16;
            memcpy(r + 1, command_ == 0x9A ? "CP3500AC54TEZ  " : "LBGE2134000123 ", 15);
            return 16;
        default:
            return 0;
        }
    }

    uint8_t type_ = 1;
    uint8_t command_ = 0;
    int lagReads_ = 0;
    bool lagShownOn_ = false;
};

} // namespace

SimModel* simCplPsuCreate(SimDevice* dev)
{
    return new SimCplPsu(dev);
}
