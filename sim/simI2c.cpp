// The simulated i2c-dev nodes.
#include "sim/simI2c.h"

#include "platform/host/ioDevice.h"
#include "sim/simModels.h"
#include "sim/simState.h"

#include <cerrno>
#include <cstdint>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <mutex>
#include <unordered_map>

namespace {

constexpr size_t kMaxMessage = 8192; // i2c-dev's limit per message

class SimI2cBusDevice : public IoDevice {
public:
    explicit SimI2cBusDevice(SimBusId bus) : bus_(bus) {}

    int open(int flags, int handle) override
    {
        (void)flags;
        SimBoardState* s = simState();
        if (!s || s->buses[bus_].absent.load())
            return -ENOENT;
        s->buses[bus_].opens.fetch_add(1);
        std::lock_guard<std::mutex> g(lock_);
        slave_[handle] = 0; // a new client starts at address 0, as in the kernel
        return 0;
    }

    void close(int handle) override
    {
        std::lock_guard<std::mutex> g(lock_);
        slave_.erase(handle);
    }

    int ioctl(int handle, unsigned long request, void* arg) override
    {
        if (removed())
            return -ENODEV;
        switch (request) {
        case I2C_SLAVE:
        case I2C_SLAVE_FORCE: {
            uintptr_t addr = reinterpret_cast<uintptr_t>(arg);
            if (addr > 0x7F)
                return -EINVAL;
            const SimDevice* d = simFindDevice(bus_, static_cast<uint16_t>(addr));
            if (request == I2C_SLAVE && d && (d->kernelHeld || d->busy.load()))
                return -EBUSY;
            std::lock_guard<std::mutex> g(lock_);
            slave_[handle] = static_cast<uint16_t>(addr);
            return 0;
        }
        case I2C_FUNCS:
            if (!arg)
                return -EFAULT;
            *static_cast<unsigned long*>(arg) = I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL;
            return 0;
        case I2C_RETRIES:
        case I2C_TIMEOUT:
            return 0;
        case I2C_RDWR:
            return rdwr(static_cast<struct i2c_rdwr_ioctl_data*>(arg));
        default:
            return -ENOTTY;
        }
    }

    ssize_t read(int handle, void* buf, size_t len) override { return plain(handle, buf, len, true); }

    ssize_t write(int handle, const void* buf, size_t len) override
    {
        return plain(handle, const_cast<void*>(buf), len, false);
    }

private:
    bool removed() const
    {
        SimBoardState* s = simState();
        return !s || s->buses[bus_].absent.load();
    }

    uint16_t slaveOf(int handle)
    {
        std::lock_guard<std::mutex> g(lock_);
        auto it = slave_.find(handle);
        return it == slave_.end() ? 0 : it->second;
    }

    ssize_t plain(int handle, void* buf, size_t len, bool isRead)
    {
        if (removed())
            return -ENODEV;
        if (len > kMaxMessage)
            return -EINVAL;
        uint16_t addr = slaveOf(handle);
        SimBusGuard g(bus_);
        bool shortened = false;
        int r = message(addr, isRead, static_cast<uint8_t*>(buf), len, 0, &shortened);
        stop(addr);
        return r;
    }

    int rdwr(struct i2c_rdwr_ioctl_data* data)
    {
        if (!data || !data->msgs || data->nmsgs > I2C_RDWR_IOCTL_MAX_MSGS)
            return -EINVAL;
        for (uint32_t i = 0; i < data->nmsgs; i++)
            if (data->msgs[i].len > kMaxMessage || (data->msgs[i].len && !data->msgs[i].buf))
                return -EINVAL;
        SimBusGuard g(bus_);
        int result = static_cast<int>(data->nmsgs);
        uint32_t sent = 0;
        for (uint32_t i = 0; i < data->nmsgs; i++) {
            const struct i2c_msg& m = data->msgs[i];
            sent = i + 1;
            bool shortened = false;
            int r = message(m.addr, (m.flags & I2C_M_RD) != 0, m.buf, m.len, i ? kSimLogRestart : 0, &shortened);
            if (r < 0 || shortened) {
                // The transfer ends here: an error, or the messages done.
                result = r < 0 ? r : static_cast<int>(i);
                break;
            }
        }
        // The STOP ends the transfer for every device it addressed.
        for (uint32_t i = 0; i < sent; i++) {
            bool first = true;
            for (uint32_t j = 0; j < i; j++)
                first = first && data->msgs[j].addr != data->msgs[i].addr;
            if (first)
                stop(data->msgs[i].addr);
        }
        return result;
    }

    // One message to one address, under the bus lock, with the fault knobs
    // of the device applied and the message logged.
    int message(uint16_t addr, bool isRead, uint8_t* buf, size_t len, uint8_t flags, bool* shortened)
    {
        SimDevice* d = simFindDevice(bus_, addr);
        SimI2cModel* model = simI2cModelOf(d);
        int r;
        size_t n = len;
        if (!d || !model || d->absent.load() || simTakeKnob(d->nackNext)) {
            r = -ENXIO;
        } else if (d->busy.load()) {
            r = -ETIMEDOUT;
        } else {
            if (simTakeKnob(d->shortNext)) {
                *shortened = true;
                n = len ? len - 1 : 0;
            }
            model->start(isRead);
            r = isRead ? model->read(buf, n) : model->write(buf, n);
            d->transfers.fetch_add(1);
        }
        // A write shows what the master sent, a read what came back.
        size_t moved = isRead ? (r > 0 ? static_cast<size_t>(r) : 0) : len;
        simLogAppend(bus_, addr, isRead ? SIM_OP_READ : SIM_OP_WRITE, flags, r, 0, len, buf, moved);
        return r;
    }

    void stop(uint16_t addr)
    {
        SimDevice* d = simFindDevice(bus_, addr);
        if (SimI2cModel* model = simI2cModelOf(d))
            model->stop();
    }

    SimBusId bus_;
    std::mutex lock_;
    std::unordered_map<int, uint16_t> slave_; // selected slave of each open descriptor
};

} // namespace

IoDevice* simI2cBusDevice(int bus)
{
    static SimI2cBusDevice bus0(SIM_BUS_I2C0);
    static SimI2cBusDevice bus1(SIM_BUS_I2C1);
    return bus == 0 ? static_cast<IoDevice*>(&bus0) : bus == 1 ? static_cast<IoDevice*>(&bus1) : nullptr;
}
