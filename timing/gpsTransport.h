// Transport of the u-blox GPS receiver: its DDC interface (I2C bus 1, slave
// 0x21) under the bus-1 lock, and the satellite UART on /dev/ttyS1 with the
// NMEA extraction from its ring and the framed commands it is sent.
#pragma once

#include <cstdint>

constexpr uint8_t kGpsI2cBus = 1;
constexpr uint8_t kGpsI2cAddress = 0x21;
// DDC registers: bytes waiting (two bytes from 0xFD) and the output stream.
constexpr uint8_t kGpsRegCount = 0xFD;
constexpr uint8_t kGpsRegStream = 0xFF;
// The longest sentence GPS_ExtractNmeaFromRing copies, "$" to "*" excluded;
// its out buffer holds that and a terminator.
constexpr int kGpsRingSentenceMax = 95;

// One transfer on the bus descriptor fd: direction 0 writes length bytes of
// buffer, any other value writes the register byte and reads length bytes
// back in one combined transfer. length, or a negative result.
int32_t GPS_SendRecv(int fd, int direction, uint8_t* buffer, uint8_t reg, uint16_t length);
// Writes length bytes to the receiver (reg is ignored): up to 10 immediate
// attempts at the bus lock, then -1.
int32_t GPS_WriteBytes(uint8_t* buffer, uint8_t reg, uint16_t length);
// Reads length bytes from register reg, waiting for the bus lock.
int32_t GPS_ReadBytes(uint8_t* buffer, uint8_t reg, uint16_t length);

// The satellite UART (platform types 1 and 3 only): the descriptor or -1.
int GPS_OpenSatelliteUart();
// One read of up to length bytes, opening the UART first when needed.
int GPS_ReadSatelliteUart(uint8_t* buffer, int length);
// Appends waiting UART bytes to a ring of size bytes at *writePos; *mark
// becomes -1 when the bytes pass over it.
int GPS_FillSatelliteRing(uint8_t* ring, int* writePos, int* mark, int size);
// The newest complete "$...*hh\r\n" sentence scanning back from *scanFrom - 1
// to stopAt: 0 found (copied to out with a terminator, out holding
// kGpsRingSentenceMax + 1 bytes; *outLength 0 when it was too long), -1 bad
// checksum, -2 none. When found, *scanFrom moves to its "$".
int GPS_ExtractNmeaFromRing(uint8_t* ring, int* scanFrom, int stopAt, int size, char* out, int* outLength);
// CFG-PRT frames for the receiver's UART1 and DDC ports, on the satellite
// UART; both sends the UART frame first. The write results.
int configureUblox_Uart();
int configureUblox_Ddc();
int configureUblox();
// One framed command (kinds 1 to 7) of the second receiver family on the
// satellite UART; the write result, 0 for another kind.
int GPS_SendSatelliteCmd(int kind);

// Tests: the transport's counters and descriptor back to their start.
void gpsTransportResetForTest();
