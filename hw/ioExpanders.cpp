// I/O expanders of I2C bus 1.
#include "hw/ioExpanders.h"

#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/unitKeys.h"
#include "core/base/logs.h"
#include "hw/i2cBus.h"
#include "platform/clock.h"
#include "platform/io.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

namespace {

constexpr uint8_t kBus = 1;

struct ExpInitWrite {
    uint8_t address;
    uint8_t reg;
    uint8_t value;
    const char* message; // failure line, nullptr: the result is ignored
};

constexpr int AMP_ANY = -1;

struct AmpInitRow {
    int psu;
    int hpa;
    int hps;
    int count;
    struct {
        uint8_t address;
        uint8_t reg;
        uint8_t value;
    } writes[6];
};

#include "hw/gen/ioExpanderInit.inc"

// One transfer, alone or inside a sequence that already holds the bus lock.
template <typename Transfer>
int transfer(bool held, uint8_t address, const char* device, Transfer&& t)
{
    return held ? i2cTransactionHeld(kBus, address, device, t) : i2cTransaction(kBus, address, device, t);
}

int expWrite(bool held, uint8_t value, uint8_t reg, uint8_t address)
{
    return transfer(held, address, "CAT9534", [&](int fd) {
        uint8_t out[2] = {reg, value};
        if (ioWrite(fd, out, 2) != 2) {
            logErr("CAT9534: Error on write! [I2cAddr=0x%X]", address);
            i2cCountTransfer(false);
            return -1;
        }
        i2cCountTransfer(true);
        return 0;
    });
}

int expRead(bool held, uint8_t* value, uint8_t reg, uint8_t address)
{
    int w = transfer(held, address, "CAT9534", [&](int fd) {
        if (ioWrite(fd, &reg, 1) != 1) {
            logErr("CAT9534: Error on write! [I2cAddr=0x%X]", address);
            i2cCountTransfer(false);
            return -1;
        }
        i2cCountTransfer(true);
        return 0;
    });
    if (w < -1)
        return w;
    int r = transfer(held, address, "CAT9534", [&](int fd) {
        uint8_t in = 0;
        if (ioRead(fd, &in, 1) != 1) {
            logErr("CAT9534: Error on read! [I2cAddr=0x%X]", address);
            i2cCountTransfer(false);
            return -1;
        }
        i2cCountTransfer(true);
        *value = in;
        return 0;
    });
    if (r < -1)
        return r;
    return w == 0 && r == 0 ? 0 : -1;
}

int pcaRead(bool held, uint8_t* value, uint8_t reg, uint8_t address)
{
    return transfer(held, address, "PCA9655", [&](int fd) {
        uint8_t in = 0;
        struct i2c_msg msgs[2] = {
            {address, 0, 1, &reg},
            {address, I2C_M_RD, 1, &in},
        };
        struct i2c_rdwr_ioctl_data rdwr = {msgs, 2};
        int r = ioIoctl(fd, I2C_RDWR, &rdwr);
        i2cCountTransfer(r >= 0);
        if (r >= 0)
            *value = in;
        return r;
    });
}

// A write of the initialisation: its failure line when it has one.
void initWrite(const ExpInitWrite& w)
{
    if (ioExpWrite(w.value, w.reg, w.address) != 0 && w.message)
        logErr("%s", w.message);
}

template <size_t N>
void initWrites(const ExpInitWrite (&steps)[N])
{
    for (const ExpInitWrite& w : steps)
        initWrite(w);
}

bool codeMatches(int rowCode, uint32_t code)
{
    return rowCode == AMP_ANY || static_cast<uint32_t>(rowCode) == code;
}

// The start-up sequence of PCA9655_IC85 port 0: bit 0 set with bit 1
// clear, then bit 1 set 50 ms later.
void ic85StartupSequence()
{
    const char* fail = "FAIL setting output register - PCA9655_IC85";
    uint8_t out = 0;
    if (pca9655Read(&out, PCA9655_OUT0, EXP_PCA9655_IC85) < 0) {
        logErr("%s", fail);
        return;
    }
    out = static_cast<uint8_t>((out | 0x01) & ~0x02);
    if (ioExpWrite(out, PCA9655_OUT0, EXP_PCA9655_IC85) != 0)
        logErr("%s", fail);
    clockSleepUs(50000);
    out |= 0x02;
    if (ioExpWrite(out, PCA9655_OUT0, EXP_PCA9655_IC85) != 0)
        logErr("%s", fail);
    clockSleepUs(5000);
}

} // namespace

int ioExpWrite(uint8_t value, uint8_t reg, uint8_t address)
{
    return expWrite(false, value, reg, address);
}

int ioExpRead(uint8_t* value, uint8_t reg, uint8_t address)
{
    return expRead(false, value, reg, address);
}

int pca9655Read(uint8_t* value, uint8_t reg, uint8_t address)
{
    return pcaRead(false, value, reg, address);
}

int ioExpWriteHeld(uint8_t value, uint8_t reg, uint8_t address)
{
    return expWrite(true, value, reg, address);
}

int ioExpReadHeld(uint8_t* value, uint8_t reg, uint8_t address)
{
    return expRead(true, value, reg, address);
}

int pca9655ReadHeld(uint8_t* value, uint8_t reg, uint8_t address)
{
    return pcaRead(true, value, reg, address);
}

uint8_t ioExpMailboxAddress(uint8_t deviceId)
{
    switch (deviceId) {
    case 3: return EXP_PCA9655_IC45;
    case 4: return EXP_PCA9655_IC83;
    case 5: return EXP_PCA9655_IC84;
    case 6: return EXP_PCA9655_IC85;
    default: return 0;
    }
}

int ioExpMailboxWrite(const uint32_t* reg, const uint32_t* value, uint8_t deviceId)
{
    uint8_t address = ioExpMailboxAddress(deviceId);
    // A device id outside the map would address the general call.
    if (address == 0 || ioExpWrite(static_cast<uint8_t>(*value), static_cast<uint8_t>(*reg), address) != 0) {
        logErr("PCA9655_%x : FAIL to write register", address);
        return -1;
    }
    return 0;
}

int ioExpMailboxRead(const uint32_t* reg, uint32_t* value, uint8_t deviceId)
{
    uint8_t address = ioExpMailboxAddress(deviceId);
    uint8_t v = 0;
    if (address == 0 || pca9655Read(&v, static_cast<uint8_t>(*reg), address) < 0) {
        logErr("PCA9655_%x : FAIL to read register", address);
        return -1;
    }
    *value = v;
    return 0;
}

namespace {

int dumpRegisters(uint32_t* pairs, uint32_t* count, uint8_t deviceId, uint32_t regs)
{
    for (uint32_t r = 0; r < regs; r++) {
        uint32_t v = 0;
        ioExpMailboxRead(&r, &v, deviceId);
        pairs[2 * r] = r;
        pairs[2 * r + 1] = v;
    }
    *count = regs;
    return 0;
}

} // namespace

int ioExpDumpPca9655(uint32_t* pairs, uint32_t* count, uint8_t deviceId)
{
    return dumpRegisters(pairs, count, deviceId, 8);
}

int ioExpDumpCat9534(uint32_t* pairs, uint32_t* count, uint8_t deviceId)
{
    return dumpRegisters(pairs, count, deviceId, 4);
}

int initIoExpanders()
{
    uint8_t in = 0;

    // PCA9655_IC45: port 0 inputs; its bit 7 tells the board variant.
    initWrites(kInitStep1);
    clockSleepUs(500);
    if (pca9655Read(&in, PCA9655_IN0, EXP_PCA9655_IC45) >= 0) {
        uint32_t lowNoise = (in & 0x80) == 0 ? 1 : 0;
        setUnitWord8(lowNoise);
        logInfo("Detected %s board", lowNoise ? "Low Noise" : "Normal");
    } else {
        logErr("FAIL reading input register - PCA9655_IC45");
    }

    initWrites(kInitStep3);
    initWrites(kInitStep4);

    // PCA9655_IC85: bit 6 of port 0 is read as the MPXoAES3 detection
    // before it becomes the MPX digital termination output.
    initWrites(kInitStep5);
    clockSleepUs(500);
    if (pca9655Read(&in, PCA9655_IN0, EXP_PCA9655_IC85) >= 0) {
        uint32_t mpxo = (in & 0x40) == 0 ? 1 : 0;
        setMpxoAes3Flag(mpxo);
        if (mpxo)
            logInfo("Detected integrated MPXoAES3 hardware");
    } else {
        logErr("FAIL reading input register - PCA9655_IC85");
    }
    initWrites(kInitStep6);
    ic85StartupSequence();
    initWrites(kInitStep8);

    initWrites(kInitStep9);

    // The extended telecommand board on the backplane.
    if (pca9655Read(&in, PCA9655_IN0, EXP_PCA9655_IC5) >= 0) {
        logInfo("Detected Tlc Tls Extended");
        setTlcTlsExtDetected(1);
        initWrites(kInitStep10);
    } else {
        logErr("FAIL reading input register - PCA9655_IC5");
        setTlcTlsExtDetected(0);
    }

    // Amplifier interface expanders by the hardware codes.
    uint32_t psu = getPsuTypeCode(), hpa = getHpaModelCode(), hps = getHpsCode();
    for (const AmpInitRow& row : kAmpInitRows) {
        if (!codeMatches(row.psu, psu) || !codeMatches(row.hpa, hpa) || !codeMatches(row.hps, hps))
            continue;
        for (int i = 0; i < row.count; i++)
            ioExpWrite(row.writes[i].value, row.writes[i].reg, row.writes[i].address);
        break;
    }

    if (getTunableBpfPresent() == 1)
        initWrites(kInitStep12);
    return 0;
}
