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

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

namespace {

constexpr uint8_t kBusAddress = 0xFF;
constexpr uint8_t kControlAddress = 0xF6;
constexpr uint8_t kModuleAddress = 1;
constexpr int kRounds = 100;
constexpr uint32_t kCycleRoundUs = 3000;
constexpr uint32_t kSearchRoundUs = 10000;
constexpr int kSearchAttempts = 10;
constexpr size_t kBufSize = 256;

// A frame another thread handed over while the port was busy.
struct Pending {
    const char* name;
    uint8_t address;
    uint8_t reg;
    size_t len;
    uint8_t frame[16];
};
constexpr size_t kPendingMax = 4;

struct State {
    std::atomic<int> fd{-1};
    uint16_t lastStatus = 0;
    float vout = 0.0f;
    float iout = 0.0f;
    uint32_t cycles = 0;
    bool fullCycleDone = false;
    bool rescanArmed = false;
    uint8_t lastPresent = 0;
    // The port carries one exchange at a time (a frame, and its reply when
    // one is awaited). "SPS Thread" waits for its turn; the setters that
    // other threads call (the main loop's output voltage, the operation
    // mode, the fan speed) never wait for an exchange: a frame that finds
    // the port busy waits here, the newest one per register, and whoever
    // holds the port writes it before giving the port back.
    std::mutex portLock;
    std::condition_variable portFree;
    bool portBusy = false;
    std::thread::id portOwner;
    int portDepth = 0;
    Pending pending[kPendingMax];
    size_t pendingCount = 0;
};

State& st()
{
    static State s;
    return s;
}

// The 16 reflected CRCs of a nibble under polynomial 0xA001.
constexpr uint16_t kNibble[16] = {0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00, 0x2800, 0xE401,
                                  0xA001, 0x6C00, 0x7800, 0xB401, 0x5000, 0x9C01, 0x8801, 0x4400};

// Takes the port (g holds portLock): at once when this thread holds it
// already (an exchange sends its command through the command's function),
// else when it is free.
void takePortLocked(std::unique_lock<std::mutex>& g)
{
    State& s = st();
    if (s.portBusy && s.portOwner == std::this_thread::get_id()) {
        s.portDepth++;
        return;
    }
    s.portFree.wait(g, [&] { return !s.portBusy; });
    s.portBusy = true;
    s.portOwner = std::this_thread::get_id();
    s.portDepth = 1;
}

void takePort()
{
    std::unique_lock<std::mutex> g(st().portLock);
    takePortLocked(g);
}

// Writes one frame on the port the caller holds; a short write is told on
// the debug log.
int writeFrame(const char* name, const uint8_t* frame, size_t len)
{
    int w = SPS_UartWrite(frame, len);
    if (w != static_cast<int>(len))
        debugPrintf(name, DBG_GE_PSU, DBG_GE_PSU, "Error %d\n", w);
    return w;
}

// Gives the port back; the outermost hold first writes the frames that
// waited for it. The port is marked free under the lock that queues them,
// once none is left, so no frame is left behind.
void givePort()
{
    State& s = st();
    {
        std::lock_guard<std::mutex> g(s.portLock);
        if (--s.portDepth > 0)
            return;
    }
    for (;;) {
        Pending p;
        {
            std::lock_guard<std::mutex> g(s.portLock);
            if (s.pendingCount == 0) {
                s.portBusy = false;
                s.portOwner = std::thread::id();
                s.portFree.notify_one();
                return;
            }
            p = s.pending[0];
            for (size_t i = 1; i < s.pendingCount; i++)
                s.pending[i - 1] = s.pending[i];
            s.pendingCount--;
        }
        writeFrame(p.name, p.frame, p.len);
    }
}

// One command without a reply, written when the port is free.
int sendCommand(const char* name, uint8_t address, char letter, const uint8_t* payload, size_t n)
{
    uint8_t frame[32];
    size_t len = SPS_BuildFrame(frame, address, letter, payload, n);
    takePort();
    int w = writeFrame(name, frame, len);
    givePort();
    return w;
}

// A write of a setter called on any thread: written at once when the port
// is free, else handed to the exchange in progress, which writes it as it
// ends (a newer frame for the same register replaces a waiting one), so the
// caller never waits for a reply of someone else's. A frame handed over
// counts as written; with the port not open it is written (and fails) at
// once.
int postCommand(const char* name, uint8_t address, const uint8_t* payload, size_t n)
{
    State& s = st();
    Pending p{name, address, payload[0], 0, {}};
    p.len = SPS_BuildFrame(p.frame, address, 'W', payload, n);
    {
        std::unique_lock<std::mutex> g(s.portLock);
        if (s.portBusy && s.portOwner != std::this_thread::get_id() && s.fd.load() > 0) {
            size_t at = 0;
            while (at < s.pendingCount && (s.pending[at].reg != p.reg || s.pending[at].address != address))
                at++;
            if (at < kPendingMax) {
                s.pending[at] = p;
                if (at == s.pendingCount)
                    s.pendingCount++;
                return static_cast<int>(p.len);
            }
        }
        takePortLocked(g);
    }
    int w = writeFrame(name, p.frame, p.len);
    givePort();
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
    uint8_t buf[kBufSize];
    int n = SPS_ReadRegister(reg, buf, kCycleRoundUs);
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

int SPS_ReadRegister(uint8_t reg, uint8_t* buf, uint32_t roundUs)
{
    takePort();
    int n = SPS_SendReadCmd(kModuleAddress, reg) > 0 ? SPS_UartRead(buf, roundUs) : -1;
    givePort();
    return n;
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
    return postCommand("SPS_SetMinFanSpeed", kBusAddress, p, 2);
}

int SPS_SetOperationMode(uint8_t m)
{
    uint16_t mode = m != 0 ? 2 : 1;
    const uint8_t p[3] = {0x0F, static_cast<uint8_t>(mode >> 8), static_cast<uint8_t>(mode & 0xFF)};
    return postCommand("SPS_SetOperationMode", kControlAddress, p, 3);
}

int SPS_SetVout(uint32_t v)
{
    uint16_t w = voltageWord(v);
    const uint8_t p[3] = {0x13, static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w & 0xFF)};
    int r = postCommand("SPS_SetVout", kControlAddress, p, 3);
    return r == 8 ? 0 : r;
}

int SPS_StoreVout(uint32_t v)
{
    uint16_t w = voltageWord(v);
    uint8_t hi = static_cast<uint8_t>(w >> 8), lo = static_cast<uint8_t>(w & 0xFF);
    const uint8_t p[7] = {0x0E, hi, lo, hi, lo, hi, lo};
    int r = postCommand("SPS_StoreVout", kControlAddress, p, 7);
    return r == 12 ? 0 : r;
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

    // The port is opened again between two exchanges, never under a
    // frame another thread is writing.
    takePort();
    int old = s.fd.exchange(-1);
    if (old > 0) {
        ioClose(old);
        printf("SPS close old fd [%d]\n", old);
    }
    int fd = SPS_Open();
    if (fd > 0)
        s.fd = fd;
    givePort();
    if (fd <= 0)
        logErr("Cannot open SPS serial channel");

    setPsuShelfStatus(0, 1);
    logInfo("GE SPS Searching...");
    bool enrolled = false;
    for (int attempt = 1; attempt <= kSearchAttempts && !enrolled; attempt++) {
        printf("SPS finding....: %d\n", attempt);
        SPS_SetBusDisconnect();
        clockSleepSeconds(6);
        SPS_ChooseSlot(0);
        uint8_t buf[kBufSize];
        takePort();
        int n = SPS_SendPollSlot(0) > 0 ? SPS_UartRead(buf, kSearchRoundUs) : -1;
        givePort();
        if (n < 0)
            continue;
        if (n == 0) {
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

void spsModuleResetForTest()
{
    State& s = st();
    int old = s.fd.exchange(-1);
    if (old > 0)
        ioClose(old);
    // The state holds atomics and the port's lock: rebuilt in place.
    s.~State();
    new (&s) State();
}
