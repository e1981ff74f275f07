// The simulated spidev nodes.
#include "sim/simSpi.h"

#include "platform/host/ioDevice.h"
#include "sim/simModels.h"
#include "sim/simState.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <linux/spi/spidev.h>
#include <memory>
#include <vector>

namespace {

constexpr size_t kBufSize = 4096; // spidev's default bufsiz

class SimSpiNode : public IoDevice {
public:
    explicit SimSpiNode(uint16_t cs) : cs_(cs) {}

    int open(int flags, int handle) override
    {
        (void)flags;
        (void)handle;
        SimDevice* d = simFindDevice(SIM_BUS_SPI0, cs_);
        if (!d || d->absent.load())
            return -ENOENT;
        d->opens.fetch_add(1);
        simState()->buses[SIM_BUS_SPI0].opens.fetch_add(1);
        return 0;
    }

    int ioctl(int handle, unsigned long request, void* arg) override
    {
        (void)handle;
        SimDevice* d = present();
        if (!d)
            return -ENODEV;
        if (_IOC_TYPE(request) == SPI_IOC_MAGIC && _IOC_NR(request) == 0 && _IOC_DIR(request) == _IOC_WRITE)
            return message(d, static_cast<const struct spi_ioc_transfer*>(arg), _IOC_SIZE(request));
        if (!arg)
            return -EFAULT;
        SimBusGuard g(SIM_BUS_SPI0);
        switch (request) {
        case SPI_IOC_RD_MODE: return get8(d->spiMode, SIM_OP_GET_MODE, arg);
        case SPI_IOC_RD_LSB_FIRST: return get8(d->spiLsb, SIM_OP_GET_LSB, arg);
        case SPI_IOC_RD_BITS_PER_WORD: return get8(d->spiBits, SIM_OP_GET_BITS, arg);
        case SPI_IOC_RD_MODE32: return get32(d->spiMode, SIM_OP_GET_MODE, arg);
        case SPI_IOC_RD_MAX_SPEED_HZ: return get32(d->spiSpeed, SIM_OP_GET_SPEED, arg);
        case SPI_IOC_WR_MODE: return set(d->spiMode, SIM_OP_SET_MODE, *static_cast<uint8_t*>(arg));
        case SPI_IOC_WR_MODE32: return set(d->spiMode, SIM_OP_SET_MODE, *static_cast<uint32_t*>(arg));
        case SPI_IOC_WR_LSB_FIRST: return set(d->spiLsb, SIM_OP_SET_LSB, *static_cast<uint8_t*>(arg) ? 1 : 0);
        case SPI_IOC_WR_BITS_PER_WORD: {
            uint32_t bits = *static_cast<uint8_t*>(arg);
            if (bits > 32) {
                simLogAppend(SIM_BUS_SPI0, cs_, SIM_OP_SET_BITS, 0, -EINVAL, bits, 0, nullptr, 0);
                return -EINVAL;
            }
            return set(d->spiBits, SIM_OP_SET_BITS, bits ? bits : 8);
        }
        case SPI_IOC_WR_MAX_SPEED_HZ: {
            uint32_t hz = *static_cast<uint32_t*>(arg);
            if (hz == 0) {
                simLogAppend(SIM_BUS_SPI0, cs_, SIM_OP_SET_SPEED, 0, -EINVAL, hz, 0, nullptr, 0);
                return -EINVAL;
            }
            return set(d->spiSpeed, SIM_OP_SET_SPEED, hz);
        }
        default:
            return -ENOTTY;
        }
    }

    ssize_t read(int handle, void* buf, size_t len) override
    {
        (void)handle;
        struct spi_ioc_transfer x = {};
        x.rx_buf = reinterpret_cast<uintptr_t>(buf);
        x.len = static_cast<uint32_t>(len);
        return len > kBufSize ? -EMSGSIZE : transferOne(x);
    }

    ssize_t write(int handle, const void* buf, size_t len) override
    {
        (void)handle;
        struct spi_ioc_transfer x = {};
        x.tx_buf = reinterpret_cast<uintptr_t>(buf);
        x.len = static_cast<uint32_t>(len);
        return len > kBufSize ? -EMSGSIZE : transferOne(x);
    }

private:
    SimDevice* present() const
    {
        SimDevice* d = simFindDevice(SIM_BUS_SPI0, cs_);
        return d && !d->absent.load() ? d : nullptr;
    }

    int get8(std::atomic<uint32_t>& v, SimOp op, void* arg)
    {
        uint32_t x = v.load();
        *static_cast<uint8_t*>(arg) = static_cast<uint8_t>(x);
        simLogAppend(SIM_BUS_SPI0, cs_, op, 0, 0, x, 0, nullptr, 0);
        return 0;
    }

    int get32(std::atomic<uint32_t>& v, SimOp op, void* arg)
    {
        uint32_t x = v.load();
        *static_cast<uint32_t*>(arg) = x;
        simLogAppend(SIM_BUS_SPI0, cs_, op, 0, 0, x, 0, nullptr, 0);
        return 0;
    }

    int set(std::atomic<uint32_t>& v, SimOp op, uint32_t x)
    {
        v.store(x);
        simLogAppend(SIM_BUS_SPI0, cs_, op, 0, 0, x, 0, nullptr, 0);
        return 0;
    }

    ssize_t transferOne(const struct spi_ioc_transfer& x)
    {
        SimDevice* d = present();
        return d ? message(d, &x, sizeof x) : -ENODEV;
    }

    // SPI_IOC_MESSAGE(n): the transfers in order, as one message.
    int message(SimDevice* d, const struct spi_ioc_transfer* xfers, size_t size)
    {
        if (size % sizeof(struct spi_ioc_transfer) != 0)
            return -EINVAL;
        size_t n = size / sizeof(struct spi_ioc_transfer);
        if (n == 0)
            return 0;
        if (!xfers)
            return -EFAULT;
        size_t total = 0;
        for (size_t i = 0; i < n; i++) {
            unsigned bits = xfers[i].bits_per_word ? xfers[i].bits_per_word : d->spiBits.load();
            unsigned wordBytes = bits <= 8 ? 1 : bits <= 16 ? 2 : 4;
            if (bits > 32 || xfers[i].len % wordBytes != 0)
                return -EINVAL;
            total += xfers[i].len;
        }
        if (total > kBufSize)
            return -EMSGSIZE;
        SimBusGuard g(SIM_BUS_SPI0);
        SimSpiModel* model = simSpiModelOf(d);
        int result;
        if (d->busy.load())
            result = -EBUSY;
        else if (!model || simTakeKnob(d->nackNext))
            result = -EIO;
        else
            result = static_cast<int>(simTakeKnob(d->shortNext) && total ? total - 1 : total);
        for (size_t i = 0; i < n; i++) {
            const struct spi_ioc_transfer& x = xfers[i];
            auto* tx = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(x.tx_buf));
            auto* rx = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(x.rx_buf));
            unsigned bits = x.bits_per_word ? x.bits_per_word : d->spiBits.load();
            if (result >= 0) {
                model->transfer(tx, rx, x.len, bits);
                d->transfers.fetch_add(1);
            }
            simLogAppend(SIM_BUS_SPI0, cs_, SIM_OP_XFER, 0, result < 0 ? result : static_cast<int32_t>(x.len), bits,
                         x.len, tx, tx ? x.len : 0);
        }
        return result;
    }

    uint16_t cs_;
};

} // namespace

IoDevice* simSpiNodeDevice(int cs)
{
    static std::unique_ptr<SimSpiNode> nodes[256];
    if (cs < 0 || cs > 255)
        return nullptr;
    if (!nodes[cs])
        nodes[cs] = std::make_unique<SimSpiNode>(static_cast<uint16_t>(cs));
    return nodes[cs].get();
}
