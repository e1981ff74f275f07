// The GPS receiver's DDC transport and the satellite UART.
#include "timing/gpsTransport.h"

#include "Config/keys/unitKeys.h"
#include "core/base/logs.h"
#include "hw/i2cBus.h"
#include "platform/clock.h"
#include "platform/io.h"
#include "timing/gpsUbx.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>

namespace {

constexpr int kWriteAttempts = 10;
constexpr uint8_t kFailLogAfter = 10;

struct State {
    uint8_t i2cFailCount = 0;
    int satUartFd = 0;
};

State& st()
{
    static State s;
    return s;
}

void trace(const char* func, const char* step, int a, int b, int c)
{
    printf("    [GPS drv]|DBG| %s() : %s - a=%d - b=%d - c=%d \n", func, step, a, b, c);
}

int32_t transferLocked(int direction, uint8_t* buffer, uint8_t reg, uint16_t length)
{
    return i2cTransactionHeld(kGpsI2cBus, kGpsI2cAddress, "GPS_RECEIVER", [&](int fd) {
        int32_t r = GPS_SendRecv(fd, direction, buffer, reg, length);
        struct timespec ns5 = {0, 5};
        clockSleepTs(&ns5);
        return static_cast<int>(r);
    });
}

} // namespace

int32_t GPS_SendRecv(int fd, int direction, uint8_t* buffer, uint8_t reg, uint16_t length)
{
    State& s = st();
    trace(__func__, "Start", direction, reg, length);
    if (direction != 0) {
        uint8_t regByte = reg;
        struct i2c_msg msgs[2] = {
            {kGpsI2cAddress, 0, 1, &regByte},
            {kGpsI2cAddress, I2C_M_RD, length, buffer},
        };
        struct i2c_rdwr_ioctl_data data = {msgs, 2};
        int r = ioIoctl(fd, I2C_RDWR, &data);
        if (r < 0) {
            if (++s.i2cFailCount > kFailLogAfter) {
                logErr("GPS: Error on transfer I2C message!");
                s.i2cFailCount = 0;
            }
            trace(__func__, "Read FAIL", direction, reg, r);
            return r;
        }
    } else {
        ssize_t n = ioWrite(fd, buffer, length);
        if (n != static_cast<ssize_t>(length)) {
            logErr("GPS: Error on write I2C message!");
            trace(__func__, "Write FAIL", direction, reg, static_cast<int>(n));
            return -1;
        }
    }
    s.i2cFailCount = 0;
    trace(__func__, "End", direction, reg, length);
    return length;
}

int32_t GPS_WriteBytes(uint8_t* buffer, uint8_t reg, uint16_t length)
{
    trace(__func__, "Lock", 0, reg, length);
    int attempt = 0;
    while (i2cBusTryLock(kGpsI2cBus, kGpsI2cAddress) != 0)
        if (++attempt >= kWriteAttempts) {
            trace(__func__, "Bus busy", attempt, reg, length);
            return -1;
        }
    int32_t r = transferLocked(0, buffer, reg, length);
    i2cBusUnlock(kGpsI2cBus, kGpsI2cAddress);
    trace(__func__, "Unlock", r, reg, length);
    return r;
}

int32_t GPS_ReadBytes(uint8_t* buffer, uint8_t reg, uint16_t length)
{
    i2cBusLock(kGpsI2cBus, kGpsI2cAddress);
    int32_t r = transferLocked(1, buffer, reg, length);
    i2cBusUnlock(kGpsI2cBus, kGpsI2cAddress);
    return r;
}

int GPS_OpenSatelliteUart()
{
    State& s = st();
    uint32_t platform = getUnitWord4();
    if (platform != 1 && platform != 3) {
        logErr("Satellite UART selected on unauthorized platform");
        return s.satUartFd;
    }
    int fd = ioOpen("/dev/ttyS1", O_RDWR | O_NOCTTY);
    if (fd < 0) {
        perror("Non posso aprire la seriale");
        return -1;
    }
    struct termios t = {};
    ioIoctl(fd, TCGETS, &t);
    t.c_iflag = IGNPAR;
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_cflag = CS8 | CREAD | CLOCAL | B9600;
    t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ioIoctl(fd, TCFLSH, reinterpret_cast<void*>(TCIFLUSH));
    ioIoctl(fd, TCSETS, &t);
    ioIoctl(fd, TCFLSH, reinterpret_cast<void*>(TCIOFLUSH));
    logDebug("Satellite UART initialized");
    s.satUartFd = fd;
    return s.satUartFd;
}

int GPS_ReadSatelliteUart(uint8_t* buffer, int length)
{
    State& s = st();
    if (s.satUartFd < 1) {
        int r = GPS_OpenSatelliteUart();
        if (s.satUartFd < 1)
            return r;
    }
    return static_cast<int>(ioRead(s.satUartFd, buffer, static_cast<size_t>(length)));
}

int GPS_FillSatelliteRing(uint8_t* ring, int* writePos, int* mark, int size)
{
    State& s = st();
    if (s.satUartFd < 1) {
        int r = GPS_OpenSatelliteUart();
        if (r < 1)
            return r;
    }
    for (;;) {
        int room = size - 1 - *writePos;
        if (room < 1) {
            *writePos = 0;
            room = size;
        }
        int n = static_cast<int>(ioRead(s.satUartFd, ring + *writePos, static_cast<size_t>(room)));
        if (n < 1)
            return n;
        if (*mark > *writePos && *mark < *writePos + n)
            *mark = -1;
        *writePos += n;
    }
}

namespace {

int hexValue(char hi, char lo)
{
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    int h = nibble(hi), l = nibble(lo);
    return h < 0 || l < 0 ? -1 : h << 4 | l;
}

} // namespace

int GPS_ExtractNmeaFromRing(uint8_t* ring, int* scanFrom, int stopAt, int size, char* out, int* outLength)
{
    if (!ring || !scanFrom || size < 1 || stopAt < 0 || stopAt >= size)
        return -2;
    int state = 0, end = -1, star = -1, dollar = -1;
    char ckHi = 0, ckLo = 0;
    uint8_t x = 0;
    int i = *scanFrom - 1;
    for (int step = 0; step < size && state != 7; step++) {
        if (i < 0 || i >= size)
            i = size - 1;
        uint8_t c = ring[i];
        switch (state) {
        case 0:
            if (c == '\n') {
                end = i;
                state = 1;
            }
            break;
        case 1:
            state = c == '\r' ? 2 : 0;
            break;
        case 2:
            ckLo = static_cast<char>(c);
            state = 3;
            break;
        case 3:
            ckHi = static_cast<char>(c);
            state = 4;
            break;
        case 4:
            star = i;
            x = 0;
            state = 5;
            break;
        default:
            if (c == '$') {
                dollar = i;
                state = 7;
            } else {
                x ^= c;
                state = 6;
            }
            break;
        }
        if (state == 7 || i == stopAt)
            break;
        i--;
    }
    if (state != 7)
        return -2;
    *scanFrom = dollar;
    int expected = hexValue(ckHi, ckLo);
    if (expected != x) {
        printf("NMEA message has invalid checksum: ex:0x%02X calc:0x%02X\n", expected < 0 ? 0 : expected, x);
        ring[end] = 0;
        ring[dollar] = 0;
        return -1;
    }
    bool wraps = dollar > star;
    int len = wraps ? size - dollar + star : star - dollar;
    if (len > kGpsRingSentenceMax) {
        printf(wraps ? "NMEA message has invalid length %d (Max 96) - scattered\n"
                     : "NMEA message has invalid length %d (Max 96)\n",
               len);
        ring[end] = 0;
        ring[dollar] = 0;
        len = 0;
    } else if (!wraps) {
        memcpy(out, ring + dollar, static_cast<size_t>(len));
    } else {
        memcpy(out, ring + dollar, static_cast<size_t>(size - dollar));
        memcpy(out + (size - dollar), ring, static_cast<size_t>(star));
    }
    out[len] = 0;
    *outLength = len;
    return 0;
}

namespace {

int uartWrite(const uint8_t* p, size_t n)
{
    State& s = st();
    if (s.satUartFd < 1)
        return -1;
    return static_cast<int>(ioWrite(s.satUartFd, p, n));
}

void putLe(uint8_t* p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// CFG-PRT on the satellite UART: portID, mode, baud rate and protocol masks.
int sendPortConfig(uint8_t portId, uint32_t mode, uint32_t baud, uint16_t inMask, uint16_t outMask)
{
    UbxMsgBuffer m = {};
    m.msgClass = 0x06;
    m.msgId = 0x00;
    m.payloadLength = 20;
    m.payload[0] = portId;
    putLe(m.payload + 4, mode, 4);
    putLe(m.payload + 8, baud, 4);
    putLe(m.payload + 12, inMask, 2);
    putLe(m.payload + 14, outMask, 2);
    GPS_PrepareUbxMsg(&m);
    return uartWrite(m.frame, m.frameLength);
}

// Commands of the second receiver family: message id and body.
struct SatCommand {
    uint8_t id;
    uint8_t bodyLength;
    uint8_t body[14];
};

const SatCommand kSatCommands[] = {
    {0x01, 14, {0x03, 0xBC, 0x07, 0x01, 0x01}},
    {0x02, 1, {0x01}},
    {0x08, 8, {}},
    {0x08, 8, {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00}},
    {0x64, 13, {0x81}},
    {0x64, 13, {0x81, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01}},
    {0x01, 14, {0x01, 0x07, 0xD8, 0x0B, 0x0E, 0x08, 0x2E, 0x03, 0x09, 0xC4, 0x30, 0x70, 0x00, 0x64}},
};

} // namespace

int configureUblox_Uart()
{
    return sendPortConfig(1, 0x000000C0, 9600, 0x0001, 0x0002);
}

int configureUblox_Ddc()
{
    return sendPortConfig(0, 0x00000842, 0, 0x0001, 0x0001);
}

int configureUblox()
{
    configureUblox_Uart();
    return configureUblox_Ddc();
}

int GPS_SendSatelliteCmd(int kind)
{
    if (kind < 1 || kind > static_cast<int>(sizeof kSatCommands / sizeof kSatCommands[0]))
        return 0;
    const SatCommand& c = kSatCommands[kind - 1];
    uint8_t frame[32];
    int n = 0;
    uint16_t length = static_cast<uint16_t>(c.bodyLength + 1);
    frame[n++] = 0xA0;
    frame[n++] = 0xA1;
    frame[n++] = static_cast<uint8_t>(length >> 8);
    frame[n++] = static_cast<uint8_t>(length);
    frame[n++] = c.id;
    uint8_t ck = c.id;
    for (int i = 0; i < c.bodyLength; i++) {
        frame[n++] = c.body[i];
        ck ^= c.body[i];
    }
    frame[n++] = ck;
    frame[n++] = 0x0D;
    frame[n++] = 0x0A;
    for (int i = 0; i < n; i++)
        printf("%02d : 0x%02X\n", i, frame[i]);
    return uartWrite(frame, static_cast<size_t>(n));
}

void gpsTransportResetForTest()
{
    State& s = st();
    if (s.satUartFd > 0)
        ioClose(s.satUartFd);
    s = State{};
}
