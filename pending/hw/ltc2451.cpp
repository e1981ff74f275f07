// Stand-in for the LTC2451 driver: one 2-byte read on bus 1, most
// significant byte first, without the driver's log lines.
#include "hw/ltc2451.h"

#include "hw/i2cBus.h"
#include "platform/io.h"

int LTC2451_Read(uint16_t* dest)
{
    uint8_t b[2];
    int r = i2cTransaction(1, kLtc2451Address, "LTC2451", [&](int fd) {
        bool ok = ioRead(fd, b, 2) == 2;
        i2cCountTransfer(ok);
        return ok ? 0 : -1;
    });
    if (r == 0)
        *dest = static_cast<uint16_t>(b[0] << 8 | b[1]);
    return r;
}
