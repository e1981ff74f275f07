#include "sim/simSi4769.h"

#include "sim/simModels.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kStoreSize = 0x100;
constexpr size_t kResp = 0x30;
constexpr size_t kRespMax = 24;
constexpr size_t kRespLen = 0x48;
constexpr size_t kZifEcho = 0x50;
constexpr size_t kIntbEcho = 0x54;
constexpr size_t kPropCount = 32;
constexpr size_t kPartInfo = 0xE0;
constexpr size_t kFuncInfo = 0xE8;

constexpr uint8_t kCts = 0x80;
constexpr uint8_t kErr = 0x40;
constexpr uint8_t kStc = 0x01;

// Command byte, argument bytes, response bytes after the status.
struct Command {
    uint8_t code;
    uint8_t args;
    uint8_t resp;
};
constexpr Command kCommands[] = {
    {0x01, 5, 0},  {0x11, 1, 0},  {0x02, 0, 8},  {0x12, 0, 6}, {0x13, 5, 0},  {0x14, 3, 3},  {0x15, 0, 0},
    {0x17, 0, 5},  {0x19, 4, 4},  {0x1C, 2, 2},  {0x30, 3, 0}, {0x32, 1, 23}, {0x35, 1, 8},  {0x36, 1, 16},
};

class SimSi4769 : public SimI2cModel {
public:
    using SimI2cModel::SimI2cModel;
    size_t storeSize() const override { return kStoreSize; }

    void powerOn() override
    {
        memset(store_, 0, kStoreSize);
        memset(store_ + SI4769_SIM_PROPS, 0xFF, kPropCount * 4);
        // A tuned-in station: RSSI 60 dBuV (R6 = 167), SNR 30 dB, no offset.
        uint8_t* r = store_ + SI4769_SIM_RSQ - 1; // r[n] is Rn
        r[6] = 167;
        r[7] = 30;
        r[19] = 50;
        store_[SI4769_SIM_PI] = 0x52;
        store_[SI4769_SIM_PI + 1] = 0x34;
        const uint8_t part[8] = {0x41, 69, 5, 0, 12, 3, 0x10, 0};
        memcpy(store_ + kPartInfo, part, sizeof part);
        const uint8_t func[6] = {5, 0, 12, 0, 0, 0};
        memcpy(store_ + kFuncInfo, func, sizeof func);
        store_[kResp] = kCts;
    }

    int write(const uint8_t* data, size_t len) override
    {
        if (len == 0)
            return 0;
        store_[SI4769_SIM_LAST_CMD] = data[0];
        uint8_t* out = store_ + kResp;
        memset(out, 0, kRespMax + 1);
        store_[kRespLen] = 0;
        bool errCmd = store_[SI4769_SIM_ERR_CMD] != 0 && store_[SI4769_SIM_ERR_CMD] == data[0];
        if (store_[SI4769_SIM_ERR_NEXT] > 0 || errCmd) {
            if (!errCmd)
                store_[SI4769_SIM_ERR_NEXT]--;
            out[0] = kCts | kErr;
            return static_cast<int>(len);
        }
        const Command* c = nullptr;
        for (const Command& k : kCommands)
            if (k.code == data[0])
                c = &k;
        bool powered = store_[SI4769_SIM_POWER] != 0;
        bool ok = c && len == 1u + c->args && (powered || data[0] == 0x01 || data[0] == 0x11) &&
                  run(data[0], data + 1, out + 1);
        out[0] = static_cast<uint8_t>(kCts | (ok ? 0 : kErr) | (store_[SI4769_SIM_FREQ] || store_[SI4769_SIM_FREQ + 1] ? kStc : 0));
        store_[kRespLen] = ok ? c->resp : 0;
        return static_cast<int>(len);
    }

    int read(uint8_t* data, size_t len) override
    {
        if (store_[SI4769_SIM_CTS_BUSY] > 0) {
            store_[SI4769_SIM_CTS_BUSY]--;
            memset(data, 0, len);
            return static_cast<int>(len);
        }
        for (size_t i = 0; i < len; i++)
            data[i] = i <= kRespMax ? store_[kResp + i] : 0;
        return static_cast<int>(len);
    }

private:
    uint8_t* prop(uint16_t number, bool create)
    {
        uint8_t* free = nullptr;
        for (size_t i = 0; i < kPropCount; i++) {
            uint8_t* e = store_ + SI4769_SIM_PROPS + 4 * i;
            uint16_t n = static_cast<uint16_t>(e[0] << 8 | e[1]);
            if (n == number)
                return e;
            if (n == 0xFFFF && !free)
                free = e;
        }
        if (create && free) {
            free[0] = static_cast<uint8_t>(number >> 8);
            free[1] = static_cast<uint8_t>(number);
            free[2] = free[3] = 0;
        }
        return create ? free : nullptr;
    }

    // Runs a command; false answers it with ERR.
    bool run(uint8_t code, const uint8_t* a, uint8_t* r)
    {
        uint8_t* rsq = store_ + SI4769_SIM_RSQ - 1; // rsq[n] is Rn
        switch (code) {
        case 0x01:
            store_[SI4769_SIM_POWER] = 1;
            return true;
        case 0x11:
            if (a[0] > 1)
                return false;
            store_[SI4769_SIM_POWER] = 0;
            store_[SI4769_SIM_FREQ] = store_[SI4769_SIM_FREQ + 1] = 0;
            return true;
        case 0x02:
            memcpy(r, store_ + kPartInfo, 8);
            return true;
        case 0x12:
            memcpy(r, store_ + kFuncInfo, 6);
            return true;
        case 0x13: {
            uint8_t* e = prop(static_cast<uint16_t>(a[1] << 8 | a[2]), true);
            if (!e)
                return false;
            e[2] = a[3];
            e[3] = a[4];
            return true;
        }
        case 0x14: {
            uint8_t* e = prop(static_cast<uint16_t>(a[1] << 8 | a[2]), false);
            r[1] = e ? e[2] : 0;
            r[2] = e ? e[3] : 0;
            return true;
        }
        case 0x15:
            return true;
        case 0x17:
            return true;
        case 0x19:
            for (int i = 0; i < 4; i++)
                store_[kZifEcho + i] = r[i] = a[i];
            return true;
        case 0x1C:
            for (int i = 0; i < 2; i++)
                store_[kIntbEcho + i] = r[i] = a[i];
            return true;
        case 0x30: {
            unsigned f = static_cast<unsigned>(a[1] << 8 | a[2]);
            if (f < 6400 || f > 10800)
                return false;
            store_[SI4769_SIM_FREQ] = a[1];
            store_[SI4769_SIM_FREQ + 1] = a[2];
            return true;
        }
        case 0x32:
            memcpy(r, rsq + 1, 23);
            r[2] = store_[SI4769_SIM_FREQ];
            r[3] = store_[SI4769_SIM_FREQ + 1];
            return true;
        case 0x35:
            r[6] = store_[SI4769_SIM_ACF];
            return true;
        case 0x36:
            r[1] = store_[SI4769_SIM_RDS_SYNC] ? 0x02 : 0;
            r[3] = store_[SI4769_SIM_PI];
            r[4] = store_[SI4769_SIM_PI + 1];
            return true;
        default:
            return false;
        }
    }
};

} // namespace

SimModel* simSi4769Create(SimDevice* dev)
{
    return new SimSi4769(dev);
}
