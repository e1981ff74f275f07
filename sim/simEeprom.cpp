// I2C EEPROM models of the simulated board.
#include "sim/simEeprom.h"

#include "platform/clock.h"
#include "sim/simProfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kDefaultTwrUs = 5000;

int64_t nowNs()
{
    struct timespec ts;
    clockPeekTime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

class SimEeprom : public SimI2cModel {
public:
    SimEeprom(SimDevice* dev, uint32_t size, uint32_t page)
        : SimI2cModel(dev), size_(size), page_(page), pageBuf_(page), latched_(page)
    {
        auto o = simParseOptions(dev->opts);
        uint32_t twr = kDefaultTwrUs;
        if (o.count("twr"))
            simParseNumber(o["twr"], &twr);
        twrNs_ = static_cast<int64_t>(twr) * 1000;
    }

    size_t storeSize() const override { return size_; }
    bool persists() const override { return true; }
    uint32_t pageSize() const { return page_; }

    void powerOn() override
    {
        memset(store_, 0xFF, size_);
        dev_->cursor.store(0);
    }

    void start(bool read) override
    {
        (void)read;
        // A repeated START before the STOP aborts a page write.
        pending_ = false;
    }

    int write(const uint8_t* data, size_t len) override
    {
        if (inWriteCycle())
            return -ENXIO;
        if (len < 2)
            return static_cast<int>(len); // an incomplete address selects nothing
        uint32_t addr = (static_cast<uint32_t>(data[0]) << 8 | data[1]) & (size_ - 1);
        if (len == 2) {
            dev_->cursor.store(addr);
            return 2;
        }
        pageBase_ = addr & ~(page_ - 1);
        uint32_t at = addr - pageBase_;
        std::fill(latched_.begin(), latched_.end(), false);
        for (size_t i = 2; i < len; i++) {
            pageBuf_[at] = data[i];
            latched_[at] = true;
            at = (at + 1) % page_;
        }
        firstLatched_ = addr - pageBase_;
        dev_->cursor.store(pageBase_ + at);
        pending_ = true;
        return static_cast<int>(len);
    }

    int read(uint8_t* data, size_t len) override
    {
        if (inWriteCycle())
            return -ENXIO;
        uint32_t c = dev_->cursor.load() % size_;
        for (size_t i = 0; i < len; i++) {
            data[i] = store_[c];
            c = (c + 1) % size_;
        }
        dev_->cursor.store(c);
        return static_cast<int>(len);
    }

    void stop() override
    {
        if (!pending_)
            return;
        pending_ = false;
        for (uint32_t i = 0; i < page_; i++)
            if (latched_[i])
                store_[pageBase_ + i] = pageBuf_[i];
        if (dev_->failPage.load() == static_cast<int32_t>(pageBase_ / page_) && simTakeKnob(dev_->failWrites))
            store_[pageBase_ + firstLatched_] ^= 0xFF;
        int64_t now = nowNs();
        dev_->cycleStartNs.store(now ? now : 1);
    }

private:
    bool inWriteCycle() const
    {
        int64_t start = dev_->cycleStartNs.load();
        if (start == 0)
            return false;
        // A stamp of another process's clock that lies ahead of this one
        // (a virtual clock) counts as a finished cycle.
        int64_t now = nowNs();
        return now >= start && now - start < twrNs_;
    }

    uint32_t size_;
    uint32_t page_;
    int64_t twrNs_ = 0;
    // The page write of the current transfer, committed at its STOP.
    bool pending_ = false;
    uint32_t pageBase_ = 0;
    uint32_t firstLatched_ = 0;
    std::vector<uint8_t> pageBuf_;
    std::vector<bool> latched_;
};

SimEeprom* eepromOf(const SimDevice* dev)
{
    return dynamic_cast<SimEeprom*>(dev ? simModelOf(dev) : nullptr);
}

} // namespace

SimModel* simEepromCreate(SimDevice* dev, uint32_t size, uint32_t page)
{
    return new SimEeprom(dev, size, page);
}

uint32_t simEepromPageSize(const SimDevice* dev)
{
    SimEeprom* e = eepromOf(dev);
    return e ? e->pageSize() : 0;
}

int simEepromCorruptByte(SimDevice* dev, uint32_t address, uint8_t mask)
{
    SimEeprom* e = eepromOf(dev);
    if (!e || address >= e->storeSize())
        return -1;
    SimBusGuard g(static_cast<SimBusId>(dev->bus));
    uint8_t b = 0;
    e->peek(address, &b, 1);
    b ^= mask;
    e->poke(address, &b, 1);
    return 0;
}

int simEepromFailWrites(SimDevice* dev, uint32_t address, int32_t times)
{
    SimEeprom* e = eepromOf(dev);
    if (!e || address >= e->storeSize())
        return -1;
    dev->failPage.store(static_cast<int32_t>(address / e->pageSize()));
    dev->failWrites.store(times);
    return 0;
}
