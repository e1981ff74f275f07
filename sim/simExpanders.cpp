// I/O expander and external-PLL models of the simulated board.
#include "sim/simExpanders.h"

#include "sim/simProfile.h"

#include <cstring>
#include <sstream>
#include <string>

namespace {

// Register kinds of an expander port.
enum ExpReg { REG_INPUT, REG_OUTPUT, REG_POLARITY, REG_CONFIG };

// Store: the registers (kind * ports + port), then the pin levels of each port.
class SimExpander : public SimI2cModel {
public:
    SimExpander(SimDevice* dev, unsigned ports, SimPinHook hook = nullptr) : SimI2cModel(dev), ports_(ports), hook_(hook)
    {
        for (unsigned p = 0; p < 2; p++)
            pins_[p] = 0xFF;
        std::stringstream in(simParseOptions(dev->opts)["pins"]);
        std::string w;
        while (std::getline(in, w, ',')) {
            size_t colon = w.find(':');
            uint32_t p, v;
            if (colon != std::string::npos && simParseNumber(w.substr(0, colon), &p) &&
                simParseNumber(w.substr(colon + 1), &v) && p < ports_)
                pins_[p] = static_cast<uint8_t>(v);
        }
    }

    size_t storeSize() const override { return regs() + ports_; }

    void powerOn() override
    {
        for (unsigned p = 0; p < ports_; p++) {
            store_[reg(REG_INPUT, p)] = 0;
            store_[reg(REG_OUTPUT, p)] = 0xFF;
            store_[reg(REG_POLARITY, p)] = 0x00;
            store_[reg(REG_CONFIG, p)] = 0xFF;
            store_[regs() + p] = pins_[p];
        }
        dev_->cursor.store(0);
    }

    int peek(uint32_t r, uint8_t* out, size_t n) override
    {
        if (!store_ || r >= regs())
            return -1;
        size_t i = 0;
        for (; i < n && r + i < regs(); i++)
            out[i] = value(static_cast<uint32_t>(r + i));
        return static_cast<int>(i);
    }

    int poke(uint32_t r, const uint8_t* in, size_t n) override
    {
        if (!store_ || r >= regs())
            return -1;
        size_t i = 0;
        for (; i < n && r + i < regs(); i++) {
            uint32_t x = static_cast<uint32_t>(r + i);
            if (x / ports_ == REG_INPUT)
                store_[regs() + x % ports_] = in[i];
            else
                store_[x] = in[i];
        }
        return static_cast<int>(i);
    }

    int write(const uint8_t* data, size_t len) override
    {
        if (len == 0)
            return 0;
        uint32_t c = data[0] % regs();
        for (size_t i = 1; i < len; i++) {
            if (c / ports_ != REG_INPUT)
                store_[c] = data[i];
            c = next(c);
        }
        dev_->cursor.store(c);
        return static_cast<int>(len);
    }

    int read(uint8_t* data, size_t len) override
    {
        uint32_t c = dev_->cursor.load() % regs();
        for (size_t i = 0; i < len; i++) {
            data[i] = value(c);
            c = next(c);
        }
        dev_->cursor.store(c);
        return static_cast<int>(len);
    }

private:
    uint32_t regs() const { return 4 * ports_; }
    uint32_t reg(ExpReg kind, unsigned port) const { return kind * ports_ + port; }
    uint32_t next(uint32_t c) const { return ports_ == 2 ? (c ^ 1) : c; }

    // What the device answers for a register.
    uint8_t value(uint32_t r) const
    {
        if (r / ports_ != REG_INPUT)
            return store_[r];
        unsigned p = r % ports_;
        uint8_t config = store_[reg(REG_CONFIG, p)];
        uint8_t pins = hook_ ? hook_(p, store_[regs() + p]) : store_[regs() + p];
        uint8_t level = static_cast<uint8_t>((pins & config) | (store_[reg(REG_OUTPUT, p)] & ~config));
        return static_cast<uint8_t>(level ^ store_[reg(REG_POLARITY, p)]);
    }

    unsigned ports_;
    SimPinHook hook_;
    uint8_t pins_[2];
};

// Store layout of the external PLL controller.
enum ExtPllStore : uint32_t {
    PLL_WORD = 0,
    PLL_STATUS = 4,
    PLL_COMMAND = 5,
    PLL_CHANNEL = 6,
    PLL_VALUE = 7,
    PLL_CHANNELS = 8,
    PLL_SIZE = PLL_CHANNELS + 256,
};

class SimExtPll : public SimI2cModel {
public:
    explicit SimExtPll(SimDevice* dev) : SimI2cModel(dev)
    {
        uint32_t v;
        auto o = simParseOptions(dev->opts);
        if (o.count("status") && simParseNumber(o["status"], &v))
            status_ = static_cast<uint8_t>(v);
    }

    size_t storeSize() const override { return PLL_SIZE; }

    void powerOn() override
    {
        memset(store_, 0, PLL_SIZE);
        store_[PLL_STATUS] = status_;
    }

    int write(const uint8_t* data, size_t len) override
    {
        if (len == 0)
            return 0;
        store_[PLL_COMMAND] = data[0];
        if (data[0] == 0 && len >= 5) {
            memcpy(store_ + PLL_WORD, data + 1, 4);
        } else if (data[0] == 2 && len >= 3) {
            store_[PLL_CHANNEL] = data[1];
            store_[PLL_VALUE] = data[2];
            store_[PLL_CHANNELS + data[1]] = data[2];
        }
        return static_cast<int>(len);
    }

    int read(uint8_t* data, size_t len) override
    {
        const uint8_t* src;
        size_t have;
        switch (store_[PLL_COMMAND]) {
        case 0: src = store_ + PLL_WORD; have = 4; break;
        case 1: src = store_ + PLL_STATUS; have = 1; break;
        case 2: src = store_ + PLL_CHANNEL; have = 2; break;
        default: src = nullptr; have = 0; break;
        }
        for (size_t i = 0; i < len; i++)
            data[i] = i < have ? src[i] : 0;
        return static_cast<int>(len);
    }

private:
    uint8_t status_ = 0;
};

} // namespace

SimModel* simExpanderCreate(SimDevice* dev, unsigned ports, SimPinHook hook)
{
    return new SimExpander(dev, ports, hook);
}

SimModel* simExtPllCreate(SimDevice* dev)
{
    return new SimExtPll(dev);
}
