// The SPS serial power module: frames with their CRC, the commands, the
// enrolment (poll and acknowledge), the read cycle that fills PSU record 0,
// the status events, the availability decision and the rescan; and the
// probe of its I2C bridge.
#include "power/spsModule.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "alarms/alarmKeys.h"
#include "core/base/logs.h"
#include "hw/i2cBus.h"
#include "links/serialChannels.h"
#include "platform/clock.h"
#include "platform/io.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kBusAddress = 0xFF;
constexpr uint8_t kControlAddress = 0xF6;
constexpr uint8_t kModuleAddress = 1;
constexpr int kRounds = 100;
constexpr uint32_t kCycleRoundUs = 3000;
constexpr uint32_t kSearchRoundUs = 10000;
constexpr int kSearchAttempts = 10;
constexpr size_t kBufSize = 256;

struct State {
    int fd = -1;
    uint16_t lastStatus = 0;
    float vout = 0.0f;
    float iout = 0.0f;
    uint32_t cycles = 0;
    bool fullCycleDone = false;
    bool rescanArmed = false;
    uint8_t lastPresent = 0;
};

State& st()
{
    static State s;
    return s;
}

// The 16 reflected CRCs of a nibble under polynomial 0xA001.
constexpr uint16_t kNibble[16] = {0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00, 0x2800, 0xE401,
                                  0xA001, 0x6C00, 0x7800, 0xB401, 0x5000, 0x9C01, 0x8801, 0x4400};

// Builds and writes one command; a short write is told on the debug log.
int sendCommand(const char* name, uint8_t address, char letter, const uint8_t* payload, size_t n)
{
    uint8_t frame[32];
    size_t len = SPS_BuildFrame(frame, address, letter, payload, n);
    int w = SPS_UartWrite(frame, len);
    if (w != static_cast<int>(len))
        debugPrintf(name, DBG_GE_PSU, DBG_GE_PSU, "Error %d\n", w);
    return w;
}

uint16_t voltageWord(uint32_t mv)
{
    return static_cast<uint16_t>(static_cast<uint32_t>(400u * mv / 1000.0));
}

struct StatusBit {
    uint16_t bit;
    uint8_t status1;
    uint8_t alarm1;
};
constexpr StatusBit kStatusBits[] = {
    {0x0001, 0x01, 0}, {0x0002, 0, 0x20}, {0x0004, 0, 0x40}, {0x0008, 0, 0x01}, {0x0010, 0, 0x10},
    {0x0020, 0x02, 0}, {0x0040, 0x04, 0}, {0x0080, 0x08, 0}, {0x0100, 0x10, 0}, {0x0200, 0x20, 0},
    {0x0400, 0, 0x02}, {0x0800, 0x80, 0}, {0x1000, 0x40, 0}, {0x4000, 0, 0x08}, {0x8000, 0, 0x04},
};

const char* const kAlarmLines[7] = {
    "OverTemperature Shutdown", "OverVoltage Shutdown", "Power Limits", "FAN Fault",
    "Rectifier Fault",          "AC Fault",             "Predictive Fault",
};

void applyStatus(uint16_t word)
{
    uint8_t s1 = 0;
    uint8_t a1 = 0;
    for (const StatusBit& b : kStatusBits) {
        if (word & b.bit) {
            s1 |= b.status1;
            a1 |= b.alarm1;
        }
    }
    setPsuStatusByte(0, 0, s1);
    setPsuStatusByte(0, 2, a1);
    setPsuStatus(0, a1 & 0x7F ? 2 : 0);
    for (int k = 0; k < 7; k++)
        if (a1 & (1u << k))
            logEvent("Alm PSU_1 %s", kAlarmLines[k]);
}

void storePower()
{
    State& s = st();
    setPsuPowerOut(0, static_cast<uint32_t>(static_cast<int64_t>(s.vout * s.iout * 1000.0f)));
}

// One register of the read cycle: request, reply, parse.
void askRegister(uint8_t reg)
{
    if (SPS_SendReadCmd(kModuleAddress, reg) <= 0)
        return;
    uint8_t buf[kBufSize];
    int n = SPS_UartRead(buf, kCycleRoundUs);
    if (n > 0)
        SPS_ParseGcpMsg(buf, n, reg);
}

bool moduleFitted()
{
    return getPsuInterface(0) == 1;
}

} // namespace

uint16_t SPS_Crc16(const uint8_t* data, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; i++) {
        uint8_t b = data[i];
        crc = static_cast<uint16_t>(kNibble[b & 15] ^ kNibble[crc & 15] ^ (crc >> 4));
        crc = static_cast<uint16_t>(kNibble[b >> 4] ^ kNibble[crc & 15] ^ (crc >> 4));
    }
    return crc;
}

size_t SPS_BuildFrame(uint8_t* out, uint8_t address, char letter, const uint8_t* payload, size_t n)
{
    size_t len = n + 5;
    out[0] = address;
    out[1] = static_cast<uint8_t>(len);
    out[2] = static_cast<uint8_t>(letter);
    if (n > 0)
        memcpy(out + 3, payload, n);
    uint16_t crc = SPS_Crc16(out, len - 2);
    out[len - 2] = static_cast<uint8_t>(crc >> 8);
    out[len - 1] = static_cast<uint8_t>(crc & 0xFF);
    return len;
}

int SPS_Open()
{
    // 19200 baud, eight data bits, stick parity, one stop bit.
    return SC_open_uart("/dev/ttyMAX0", 0, 0, 0, 4, 4, 4, 1, 0, 0, ScReadTiming{0, 0});
}

int SPS_UartWrite(const uint8_t* frame, size_t n)
{
    int fd = st().fd;
    if (fd <= 0)
        return -1;
    ssize_t w = ioWrite(fd, frame, n);
    ioIoctl(fd, TCSBRK, reinterpret_cast<void*>(static_cast<intptr_t>(1)));
    return static_cast<int>(w);
}

int SPS_UartRead(uint8_t* buf, uint32_t roundUs)
{
    int fd = st().fd;
    if (fd <= 0)
        return 0;
    // A reply may come in pieces: the reads are appended until the length
    // byte is satisfied, and only a whole frame with a valid CRC counts.
    size_t have = 0;
    for (int round = 0; round < kRounds; round++) {
        if (ioWaitInput(fd, roundUs) <= 0)
            continue;
        ssize_t n = ioRead(fd, buf + have, kBufSize - 1 - have);
        if (n <= 0)
            continue;
        have += static_cast<size_t>(n);
        if (have >= 2 && buf[1] >= 5 && have >= buf[1])
            break;
        if (have >= kBufSize - 1)
            break;
    }
    if (have < 5 || buf[1] < 5 || have < buf[1])
        return 0;
    size_t len = buf[1];
    uint16_t crc = SPS_Crc16(buf, len - 2);
    if (buf[len - 2] != (crc >> 8) || buf[len - 1] != (crc & 0xFF))
        return 0;
    return static_cast<int>(len);
}

int SPS_PollResp(const uint8_t* buf, int n)
{
    if (n < 15 || buf[2] != 'p')
        return 0;
    char serial[13] = {};
    memcpy(serial, buf + 3, 12);
    printf("Found Serial Number: %s\n", serial);
    logInfo("GE_EP16xx: SN %s", serial);
    uint8_t field[14] = {};
    memcpy(field, buf + 3, 12);
    uint32_t words[3];
    for (int w = 0; w < 3; w++)
        words[w] = static_cast<uint32_t>(field[4 * w] << 24 | field[4 * w + 1] << 16 | field[4 * w + 2] << 8 |
                                         field[4 * w + 3]);
    setPsuInfoRecord(0, words, 0);
    return 1;
}

int SPS_ParseGcpMsg(const uint8_t* buf, int n, uint8_t reg)
{
    if (n < 3)
        return 0;
    if (buf[2] == 'p')
        return 1;
    if (buf[2] != 'r')
        return 0;
    State& s = st();
    const uint8_t* d = buf + 3;
    size_t dn = static_cast<size_t>(n) >= 5 ? static_cast<size_t>(n) - 5 : 0;
    auto need = [&](size_t k) { return dn >= k; };
    uint32_t raw = need(2) ? static_cast<uint32_t>(d[0] << 8 | d[1]) : 0;
    switch (reg) {
    case 0x07:
        if (!need(7))
            return 0;
        logInfo("GE_EP16xx: Ver. %d.%d (%d/%d/%d %d:%d)", d[0], d[1], d[4], d[2], d[3], d[5], d[6]);
        setPsuIdentityByte(0, 0, d[0]);
        setPsuIdentityByte(0, 1, d[1]);
        return 1;
    case 0x0C: {
        if (!need(2))
            return 0;
        uint16_t word = static_cast<uint16_t>(raw);
        if (word == s.lastStatus) {
            if (d[0] == 0xFF || d[1] == 0xFF)
                return 0;
            applyStatus(word);
        }
        s.lastStatus = word;
        return 1;
    }
    case 0x20:
        if (!need(2))
            return 0;
        s.vout = raw / 400.0f;
        setPsuVoutMeasured(0, static_cast<int32_t>(s.vout * 1000.0f));
        storePower();
        return 1;
    case 0x0A:
        if (!need(2))
            return 0;
        s.iout = raw / 10.0f;
        setPsuIoutMeasured(0, static_cast<int32_t>(s.iout * 1000.0f));
        storePower();
        return 1;
    case 0x29:
        if (!need(2))
            return 0;
        setPsuReadingWord1(0, static_cast<uint32_t>(raw / 100.0f * 1000.0f));
        return 1;
    case 0x2A:
        return need(2) ? 1 : 0;
    case 0x37:
        if (!need(2))
            return 0;
        setPsuReadingWord2(0, raw * 1000u);
        return 1;
    case 0x0B:
        if (!need(1))
            return 0;
        setPsuReadingByte(0, d[0]);
        return 1;
    case 0x28:
        if (!need(1))
            return 0;
        setPsuShelfWord3(0, d[0]);
        return 1;
    case 0x3A:
        if (!need(1))
            return 0;
        setPsuReadingWord(0, 0, d[0]);
        return 1;
    case 0x39:
        if (!need(4))
            return 0;
        setPsuReading24(0, static_cast<uint32_t>(d[0]) << 24 | d[1] << 16 | d[2] << 8 | d[3]);
        return 1;
    default:
        return 1;
    }
}

int SPS_ChooseSlot(uint8_t slot)
{
    return sendCommand("SPS_ChooseSlot", kBusAddress, 'C', &slot, 1);
}

int SPS_SendPollSlot(uint8_t slot)
{
    return sendCommand("SPS_SendPollSlot", kBusAddress, 'P', &slot, 1);
}

int SPS_SendPollAck(uint8_t slot, const uint8_t serial[12])
{
    uint8_t p[13];
    memcpy(p, serial, 12);
    p[12] = slot;
    return sendCommand("SPS_SendPollAck", kBusAddress, 'A', p, 13);
}

int SPS_SendReadCmd(uint8_t address, uint8_t reg)
{
    return sendCommand("SPS_SendReadCmd", address, 'R', &reg, 1);
}

int SPS_SetBusDisconnect()
{
    const uint8_t p[2] = {0x04, 0x01};
    return sendCommand("SPS_SetBusDisconnect", kBusAddress, 'W', p, 2);
}

int SPS_SetPollTimeout(uint8_t value)
{
    const uint8_t p[2] = {0x09, value};
    return sendCommand("SPS_SetPollTimeout", kBusAddress, 'W', p, 2);
}

int SPS_SetMinFanSpeed(uint32_t s)
{
    const uint8_t p[2] = {0x3B, static_cast<uint8_t>(s)};
    return sendCommand("SPS_SetMinFanSpeed", kBusAddress, 'W', p, 2);
}

int SPS_SetOperationMode(uint8_t m)
{
    uint16_t mode = m != 0 ? 2 : 1;
    const uint8_t p[3] = {0x0F, static_cast<uint8_t>(mode >> 8), static_cast<uint8_t>(mode & 0xFF)};
    return sendCommand("SPS_SetOperationMode", kControlAddress, 'W', p, 3);
}

int SPS_SetVout(uint32_t v)
{
    uint16_t w = voltageWord(v);
    const uint8_t p[3] = {0x13, static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w & 0xFF)};
    int r = sendCommand("SPS_SetVout", kControlAddress, 'W', p, 3);
    return r == 8 ? 0 : r;
}

void SPS_ReadCycle()
{
    State& s = st();
    s.cycles++;
    if (!isPsuPresent(0) || getPsuShelfStatus(0) != 0)
        return;
    if (getPsuIdentityByte(0, 0) == 0)
        askRegister(0x07);
    askRegister(0x0C);
    askRegister(0x20);
    askRegister(0x0A);
    if (s.cycles < 6 && s.fullCycleDone)
        return;
    for (uint8_t reg : {0x29, 0x37, 0x0B, 0x28, 0x3A, 0x39})
        askRegister(reg);
    s.cycles = 0;
    s.fullCycleDone = true;
}

void SPS_UpdateAvailability()
{
    if (getHpsCode() != 1) {
        setPsuAvailableCount(0);
        return;
    }
    bool ok = isPsuPresent(0) && getPsuShelfStatus(0) == 0 && (getPsuStatusByte(0, 2) & 0x23) == 0;
    setPsuEnabled(0, ok ? 1 : 0);
    setAlarmInput(141, ok ? 0 : 1);
    setPsuAvailableCount(ok ? 1 : 0);
}

void SPS_CheckRescan()
{
    State& s = st();
    uint8_t present = isPsuPresent(0);
    if (s.rescanArmed && s.lastPresent == 0 && present == 1) {
        logInfo("PSU_1: Rescan");
        SPS_Search();
    }
    s.rescanArmed = true;
    s.lastPresent = present;
}

void SPS_Search()
{
    State& s = st();
    setPsuType(0, 3);
    setPsuShelfWord1(0, 52000);
    setPsuShelfWord2(0, 21000);
    setHpaPowerClass(18);
    setHpaMinPower(480);
    setHpaDriverLevel(615);

    if (s.fd > 0) {
        ioClose(s.fd);
        printf("SPS close old fd [%d]\n", s.fd);
        s.fd = -1;
    }
    int fd = SPS_Open();
    if (fd > 0)
        s.fd = fd;
    else
        logErr("Cannot open SPS serial channel");

    setPsuShelfStatus(0, 1);
    logInfo("GE SPS Searching...");
    bool enrolled = false;
    for (int attempt = 1; attempt <= kSearchAttempts && !enrolled; attempt++) {
        printf("SPS finding....: %d\n", attempt);
        SPS_SetBusDisconnect();
        clockSleepSeconds(6);
        SPS_ChooseSlot(0);
        if (SPS_SendPollSlot(0) <= 0)
            continue;
        uint8_t buf[kBufSize];
        int n = SPS_UartRead(buf, kSearchRoundUs);
        if (n <= 0) {
            clockSleepSeconds(1);
            continue;
        }
        if (SPS_PollResp(buf, n) == 1) {
            SPS_SendPollAck(1, buf + 3);
            setPsuEnabled(0, 1);
            setPsuShelfStatus(0, 0);
            enrolled = true;
        }
    }
    if (enrolled) {
        SPS_SetPollTimeout(255);
        SPS_SetVout(21000);
    }
}

void SPS_Task()
{
    if (!moduleFitted())
        return;
    SPS_ReadCycle();
    SPS_UpdateAvailability();
    SPS_CheckRescan();
}

int SPS_DetectI2c()
{
    // One combined transfer: register 0x09 written, one byte read after a
    // repeated start.
    int r = i2cTransaction(1, 0x2C, "GE_SPS_I2C", [](int fd) {
        uint8_t reg = 0x09;
        uint8_t value = 0;
        struct i2c_msg msgs[2] = {
            {0x2C, 0, 1, &reg},
            {0x2C, I2C_M_RD, 1, &value},
        };
        struct i2c_rdwr_ioctl_data rdwr = {msgs, 2};
        int rc = ioIoctl(fd, I2C_RDWR, &rdwr);
        i2cCountTransfer(rc >= 0);
        return rc < 0 ? -1 : 1;
    });
    return r;
}
