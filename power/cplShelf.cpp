// The PMBus power shelf: SMBus transfers with packet error checking, the
// shelf lock with its slot select, detection and platform information, the
// set-up of a detected shelf, the commands and the periodic shelf pass.
#include "power/cplShelf.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/alarmKeys.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "hw/adt7470.h"
#include "hw/eepromDevices.h"
#include "hw/i2cBus.h"
#include "hw/ioExpanders.h"
#include "hw/spiConverters.h"
#include "platform/clock.h"
#include "platform/io.h"
#include "power/cplStatus.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <atomic>
#include <new>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr uint8_t kBus = 1;
constexpr uint8_t kSlotExpander = 0x23;
constexpr uint8_t kHpaExpander = 0x24;
constexpr uint8_t kShelfEeprom = 0x50;
constexpr uint8_t kBaseAddress = 0x40;
constexpr uint8_t kAltAddress = 0x3F;
constexpr int kSlots = 3;
constexpr int kRetries = 3;

constexpr uint8_t kOperation = 0x01;
constexpr uint8_t kClearFaults = 0x03;
constexpr uint8_t kVoutCommand = 0x21;
constexpr uint8_t kStatusByte = 0x78;
constexpr uint8_t kMfrModel = 0x9A;
constexpr uint8_t kMfrSerial = 0x9E;
constexpr uint8_t kCp3Versions = 0xD5;
constexpr uint8_t kCp2Versions = 0xDD;

struct State {
    bool altAddress = false;
    uint16_t failCount[kSlots] = {3, 3, 3};
    uint32_t currentSlot = 0;
    bool stampTaken = false;
    struct timespec stamp = {};
    bool reinitPending = false;
    bool firstPassDone = false;
    uint8_t lastAvailable = 0;
    bool setupDone = false;
    std::atomic<bool> voutRestore{false};
};

State& st()
{
    static State s;
    return s;
}

uint8_t slotAddress(uint8_t slot, uint8_t generalCall)
{
    if (generalCall != 0)
        return 0x00;
    if (slot == 0 && st().altAddress)
        return kAltAddress;
    return static_cast<uint8_t>(kBaseAddress + slot);
}

bool lockNeeded()
{
    return getHpsCode() == 3 && getCplSharedBus() == 1;
}

// The lock and the unlock with the callers' three attempts.
bool lockSlot(uint8_t slot)
{
    if (!lockNeeded())
        return true;
    for (int a = 0; a < kRetries; a++)
        if (CPL_Lock(slot) >= 0)
            return true;
    return false;
}

void unlockSlot(uint8_t slot)
{
    if (!lockNeeded())
        return;
    for (int a = 0; a < kRetries; a++)
        if (CPL_Unlock(slot) >= 0)
            return;
}

struct WriteCtx {
    const uint8_t* bytes;
    size_t n;
};

struct ReadCtx {
    uint8_t address;
    uint8_t command;
    uint8_t* buf;
    uint8_t count;
};

// A text field of up to n bytes into big-endian words (zero padded).
void packWords(const uint8_t* text, size_t n, uint32_t* words, size_t nWords)
{
    for (size_t w = 0; w < nWords; w++) {
        uint32_t v = 0;
        for (size_t b = 0; b < 4; b++) {
            size_t k = 4 * w + b;
            v = v << 8 | (k < n ? text[k] : 0);
        }
        words[w] = v;
    }
}

void storeSerialNumber(uint8_t slot, const uint8_t* text, size_t n)
{
    uint8_t field[14] = {};
    memcpy(field, text, n < sizeof field ? n : sizeof field);
    uint32_t words[3];
    packWords(field, 12, words, 3);
    setPsuInfoRecord(slot, words, static_cast<uint16_t>(field[12] << 8 | field[13]));
}

void storeProductId(uint8_t slot, const uint8_t* text, size_t n)
{
    uint8_t field[12] = {};
    memcpy(field, text, n < sizeof field ? n : sizeof field);
    uint32_t words[3];
    packWords(field, 12, words, 3);
    setPsuPlatformInfo1(slot, words);
}

void storeVersions(uint8_t slot, const uint8_t v[6])
{
    for (uint32_t k = 0; k < 6; k++)
        setPsuIdentityByte(slot, k, v[k]);
}

// One slot of the detection: type 1 (CP2xxx), 2 (CP3xxx) or 0.
uint32_t identify(uint8_t slot)
{
    uint8_t b[8] = {};
    if (CPL_Read(slot, kCp2Versions, b, 5) > 0 && b[0] == 4) {
        uint8_t v[6] = {static_cast<uint8_t>(b[1] / 10), static_cast<uint8_t>(b[1] % 10),
                        static_cast<uint8_t>(b[2] / 10), static_cast<uint8_t>(b[2] % 10),
                        static_cast<uint8_t>(b[3] / 10), static_cast<uint8_t>(b[3] % 10)};
        logInfo("GE_CP2xxx_%d: [uC Rev. %d.%d] [DSP Rev. %d.%d] [I2C Rev. %d.%d]", slot, v[0], v[1], v[2], v[3], v[4],
                v[5]);
        setPsuType(slot, 1);
        storeVersions(slot, v);
        return 1;
    }
    memset(b, 0, sizeof b);
    if (CPL_Read(slot, kCp3Versions, b, 8) > 0 && b[0] == 6) {
        logInfo("GE_CP3xxx_%d: [uC Rev. %d.%d] [DSP Rev. %d.%d] [I2C Rev. %d.%d]", slot, b[1], b[2], b[3], b[4], b[5],
                b[6]);
        setPsuType(slot, 2);
        storeVersions(slot, b + 1);
        return 2;
    }
    return 0;
}

// The outputs of the single supply back to their start values.
void resetSingleSupplyOutputs()
{
    ioExpWrite(0x70, 3, kHpaExpander);
    setDacOutput(0xFFFF, 1);
    setDacOutput(0xFFFF, 2);
    setVoltageAPC(getVoltageAPCLimit(1), 1);
    adt7470Configure();
}

void applySetup(uint8_t slot, uint32_t type, uint32_t hps)
{
    if (type == 1) {
        CPL2_ReadPlatformInfo(slot);
        if (hps == 3) {
            setPsuShelfWord2(slot, 20000);
            setPsuShelfWord1(slot, 53000);
            setHpaMinPower(568);
            setHpaDriverLevel(648);
            setRefPowerCalOffset(0);
            setPsuCount(3);
            setHpaPowerClass(20);
        } else if (hps == 1) {
            setPsuShelfWord1(slot, 50000);
            setPsuShelfWord2(slot, 20000);
            setHpaMinPower(480);
            setHpaDriverLevel(600);
            setHpaPowerClass(18);
            st().voutRestore = true;
        }
    } else if (type == 2) {
        CPL3_ReadPlatformInfo(slot);
        setPsuShelfWord2(slot, 18000);
        setPsuShelfWord1(slot, 51000);
        if (hps == 1)
            st().voutRestore = true;
    }
}

} // namespace

uint8_t CPL_Pec8(const uint8_t* data, uint32_t count)
{
    uint8_t crc = 0;
    for (uint32_t i = 0; i < count; i++) {
        crc ^= data[i];
        for (int b = 0; b < 8; b++)
            crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

int CPL_Write(uint8_t slot, uint8_t generalCall, uint8_t command, const uint8_t* data, uint8_t count)
{
    uint8_t address = slotAddress(slot, generalCall);
    uint8_t frame[260];
    frame[0] = static_cast<uint8_t>(address << 1);
    frame[1] = command;
    if (count > 0)
        memcpy(frame + 2, data, count);
    frame[count + 2] = CPL_Pec8(frame, count + 2u);
    WriteCtx ctx{frame + 1, count + 2u};
    return i2cTransaction(
        kBus, address, "GE_CPL_uC",
        [](int fd, void* p) {
            WriteCtx* c = static_cast<WriteCtx*>(p);
            ssize_t n = ioWrite(fd, c->bytes, c->n);
            bool ok = n == static_cast<ssize_t>(c->n);
            i2cCountTransfer(ok);
            return ok ? 0 : -1;
        },
        &ctx);
}

int CPL_Read(uint8_t slot, uint8_t command, uint8_t* buf, uint8_t count)
{
    if (count == 0)
        return -1;
    uint8_t address = slotAddress(slot, 0);
    ReadCtx ctx{address, command, buf, count};
    int r = i2cTransaction(
        kBus, address, "GE_CPL_uC",
        [](int fd, void* p) {
            ReadCtx* c = static_cast<ReadCtx*>(p);
            struct i2c_msg msgs[2] = {
                {c->address, 0, 1, &c->command},
                {c->address, I2C_M_RD, c->count, c->buf},
            };
            struct i2c_rdwr_ioctl_data rdwr = {msgs, 2};
            int rc = ioIoctl(fd, I2C_RDWR, &rdwr);
            i2cCountTransfer(rc >= 0);
            return rc < 0 ? -1 : rc;
        },
        &ctx);
    if (r <= 0)
        return r;
    // The PEC covers what the slot's type puts under it.
    uint8_t pecIn[264];
    uint32_t n = 0;
    uint32_t type = getPsuType(slot);
    if (type == 2) {
        pecIn[n++] = static_cast<uint8_t>(address << 1);
        pecIn[n++] = command;
    }
    if (type == 1 || type == 2) {
        pecIn[n++] = static_cast<uint8_t>(address << 1 | 1);
        memcpy(pecIn + n, buf, count - 1u);
        n += count - 1u;
        if (CPL_Pec8(pecIn, n) != buf[count - 1])
            return -2;
    }
    return r;
}

int CPL_Lock(uint8_t i)
{
    int r = SemLock(SemCplLock, "SemCplLock");
    if (r != 0)
        return r;
    uint8_t v = 0;
    if (pca9655Read(&v, 1, kSlotExpander) < 0) {
        SemUnlock(SemCplLock, "SemCplLock");
        return -1;
    }
    v = static_cast<uint8_t>((v & ~0x07) | (i & 3) | 0x04);
    if (ioExpWrite(v, 1, kSlotExpander) < 0) {
        SemUnlock(SemCplLock, "SemCplLock");
        return -2;
    }
    clockSleepUs(500);
    return 0;
}

int CPL_Unlock(uint8_t)
{
    uint8_t v = 0;
    int r = 0;
    if (pca9655Read(&v, 1, kSlotExpander) < 0)
        r = -1;
    else if (ioExpWrite(static_cast<uint8_t>(v & ~0x04), 1, kSlotExpander) < 0)
        r = -2;
    SemUnlock(SemCplLock, "SemCplLock");
    clockSleepUs(500);
    return r;
}

int CPL_DetectAll()
{
    State& s = st();
    s.altAddress = false;
    int found = 0;
    for (uint32_t j = 0; j < getPsuCount() && j < kSlots; j++) {
        uint8_t slot = static_cast<uint8_t>(j);
        if (!lockSlot(slot))
            continue;
        setPsuType(slot, 0);
        uint32_t type = identify(slot);
        if (type == 0 && slot == 0) {
            s.altAddress = true;
            type = identify(slot);
            if (type == 0)
                s.altAddress = false;
        }
        if (type != 0)
            found = 1;
        unlockSlot(slot);
    }
    return found;
}

int CPL2_ReadPlatformInfo(uint8_t slot)
{
    struct Text {
        const char* label;
        uint32_t at;
        uint32_t n;
    };
    const Text texts[] = {
        {"PID", 0x1800, 12}, {"Part Number", 0x180C, 10}, {"HW Rev", 0x1816, 6},
        {"Serial Number", 0x1822, 14}, {"Manufact. Location", 0x1830, 40},
    };
    int r = 0;
    for (const Text& t : texts) {
        uint8_t b[41] = {};
        r = M34D64_ReadBytes(b, t.at, t.n, kShelfEeprom);
        printf("%s: %s\n", t.label, reinterpret_cast<char*>(b));
        if (r != 0)
            continue;
        if (t.at == 0x1800)
            storeProductId(slot, b, t.n);
        else if (t.at == 0x1822)
            storeSerialNumber(slot, b, t.n);
    }
    struct Coefficient {
        const char* name;
        uint32_t at;
    };
    const Coefficient coefficients[] = {
        {"VoltageRead", 0x1900},   {"CurrentRead", 0x1905},   {"TemperatureRead", 0x190A},
        {"VoltageSet", 0x1914},    {"InVoltageRead", 0x1919}, {"InPowerRead", 0x191F},
        {"FanAdjPerc", 0x1924},    {"FanRPM", 0x1929},        {"ConvInVoltageRead", 0x192E},
    };
    for (const Coefficient& c : coefficients) {
        uint8_t b[5] = {};
        r = M34D64_ReadBytes(b, c.at, 5, kShelfEeprom);
        printf("%s: M 0x%X%X, B 0x%X%X, R 0x%X\n", c.name, b[0], b[1], b[2], b[3], b[4]);
    }
    return r;
}

int CPL3_ReadPlatformInfo(uint8_t slot)
{
    printf("\n ***** GE CPL Platform info ***** ");
    uint8_t b[18] = {};
    int r = CPL_Read(slot, kMfrModel, b, 17);
    if (r > 0) {
        b[16] = 0;
        printf("PID: %s\n", reinterpret_cast<char*>(b + 1));
        storeProductId(slot, b + 1, 15);
    }
    memset(b, 0, sizeof b);
    r = CPL_Read(slot, kMfrSerial, b, 17);
    if (r > 0) {
        b[16] = 0;
        printf("Serial Number: %s\n", reinterpret_cast<char*>(b + 1));
        storeSerialNumber(slot, b + 1, 15);
    }
    return r;
}

void CPL_Init()
{
    State& s = st();
    CPL_DetectAll();
    uint32_t hps = getHpsCode();
    for (uint32_t j = 0; j < getPsuCount() && j < kSlots; j++) {
        uint8_t slot = static_cast<uint8_t>(j);
        if (!lockSlot(slot))
            continue;
        setPsuShelfStatus(slot, CPL_ClearFaults(slot) < 0 ? 1 : 0);
        applySetup(slot, getPsuType(slot), hps);
        if (hps == 1 && s.setupDone)
            resetSingleSupplyOutputs();
        unlockSlot(slot);
    }
    s.setupDone = true;
}

int CPL_SetVout(uint8_t i, uint8_t generalCall, uint32_t v)
{
    double scale = getPsuType(i) == 2 ? 512.0 : 400.0;
    uint32_t value = static_cast<uint32_t>(scale * v / 1000.0);
    uint8_t data[2] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8 & 0xFF)};
    return CPL_Write(i, generalCall, kVoutCommand, data, 2);
}

int CPL_SetVoutPinMargin(uint32_t v)
{
    double m = 0.08285714 * (v / 1000.0 - 18.0) + 0.1;
    int code = static_cast<int>(std::floor(m * 13107.2 + 0.5));
    DEBUG_PRINT(DBG_POWER_MNG, "PinMargin: Vout %d, DAC_Vout %d\n", static_cast<int>(v), code);
    printf("PinMargin: Vout %d, DAC_Vout %d\n", static_cast<int>(v), code);
    setDacOutput(static_cast<uint16_t>(code), 4);
    return 0;
}

int CPL_SetOperation(uint8_t i, uint8_t m)
{
    uint8_t data = m != 0 ? 0x80 : 0x00;
    return CPL_Write(i, 0, kOperation, &data, 1);
}

int CPL_IsOutputOn(uint8_t i)
{
    uint8_t b[2] = {};
    int r = CPL_Read(i, kStatusByte, b, 2);
    if (r < 0)
        return r;
    return b[0] & 0x40 ? 0 : 1;
}

int CPL_IsOff(uint8_t i)
{
    return CPL_IsOutputOn(i) == 0 ? 1 : 0;
}

int CPL_ClearFaults(uint8_t i)
{
    return CPL_Write(i, 0, kClearFaults, nullptr, 0);
}

void CPL_UpdateAvailability()
{
    uint32_t hps = getHpsCode();
    uint8_t count = 0;
    if (hps == 1) {
        bool ok = isPsuPresent(0) && getPsuShelfStatus(0) == 0 && (getPsuStatusByte(0, 2) & 0x60) == 0 &&
                  (getPsuStatusByte(0, 3) & 0x40) == 0;
        setPsuEnabled(0, ok ? 1 : 0);
        setAlarmInput(141, ok ? 0 : 1);
        count = ok ? 1 : 0;
    } else if (hps == 3) {
        for (uint8_t j = 0; j < kSlots; j++) {
            bool ok = isPsuPresent(j) && getPsuShelfStatus(j) == 0 && (getPsuStatusByte(j, 0) & 0x10) == 0 &&
                      (getPsuStatusByte(j, 2) & 0x40) == 0 && (getPsuStatusByte(j, 3) & 0x40) == 0;
            setPsuEnabled(j, ok ? 1 : 0);
            setAlarmInput(141u + j, ok ? 0 : 1);
            if (ok)
                count++;
            else
                setPsuStatus(j, 3);
        }
    }
    setPsuAvailableCount(count);
}

void CPL_Task()
{
    State& s = st();
    if (!s.stampTaken) {
        clockGetTime(CLOCK_MONOTONIC_RAW, &s.stamp);
        s.stampTaken = true;
    }
    long period = getPsuAvailableCount() == 1 ? 1 : 2;
    if (getMonoTimeNow().tv_sec - s.stamp.tv_sec < period)
        return;

    if (getHPSMngMode() == 0) {
        if (s.reinitPending) {
            CPL_Init();
            s.reinitPending = false;
        }
        if (s.firstPassDone && getHpsCode() == 1 && getPsuAvailableCount() == 0)
            CPL_Init();
        uint8_t slot = static_cast<uint8_t>(s.currentSlot);
        if (slot < kSlots && lockSlot(slot)) {
            uint32_t type = getPsuType(slot);
            if (type == 1)
                CPL2_ReadFullStatus(slot);
            else if (type == 2)
                CPL3_ReadFullStatus(slot);
            if (CPL_ClearFaults(slot) >= 0) {
                s.failCount[slot] = 0;
                setPsuShelfStatus(slot, 0);
            } else if (++s.failCount[slot] > 2) {
                setPsuShelfStatus(slot, 1);
                s.failCount[slot] = 3;
            }
            unlockSlot(slot);
        }
    }
    CPL_UpdateAvailability();

    s.currentSlot++;
    if (s.currentSlot >= getPsuCount())
        s.currentSlot = 0;

    uint8_t available = getPsuAvailableCount();
    if (!s.firstPassDone) {
        s.lastAvailable = available;
        s.firstPassDone = true;
    }
    if (available != s.lastAvailable && !(available == 0 && getHpsCode() == 1))
        s.reinitPending = true;
    s.lastAvailable = available;
    s.stampTaken = false;
}

bool cplVoutRestorePending()
{
    return st().voutRestore.load();
}

void cplSetVoutRestore()
{
    st().voutRestore = true;
}

void cplClearVoutRestore()
{
    st().voutRestore = false;
}

void cplShelfResetForTest()
{
    // The state holds an atomic: rebuilt in place from its initialisers.
    State& s = st();
    s.~State();
    new (&s) State();
}
