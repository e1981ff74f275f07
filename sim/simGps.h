// The u-blox GPS receiver on its DDC interface (kind "ublox", I2C bus 1 at
// 0x21), register-level: a one-byte write sets the register pointer; 0xFD and
// 0xFE read the bytes waiting (high-order byte first), 0xFF the output
// stream. A longer write is a UBX frame: checked (a bad one is dropped and
// counted), recorded, and answered: a MON-VER poll with the software and
// hardware texts, a CFG message with ACK-ACK (ACK-NAK with the nak knob);
// other polls get nothing. When the stream is empty a read of the count
// queues the next messages of the capture, up to `chunk` bytes of whole
// messages. Options:
//   hw=TEXT       MON-VER hardware text (00080000)
//   sw=TEXT       MON-VER software text (ROM CORE 3.01 (107888))
//   capture=PATH  NMEA and UBX byte stream to play out
//   chunk=N       bytes of whole messages queued at a time (512)
// Knobs: silent (no answer to anything written), nak, and a bad count that
// the count registers report in place of the real one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SimDevice;
class SimModel;

SimModel* simGpsCreate(SimDevice* dev);

struct SimGpsKnobs {
    bool silent = false;
    bool nak = false;
    bool badCountOn = false;
    uint16_t badCount = 0;
};

// The receiver of the attached board (the first "ublox" device), or false.
bool simGpsKnobs(SimGpsKnobs* out);
bool simGpsSetKnobs(const SimGpsKnobs& k);
// Good UBX frames written so far, oldest first, and the bad ones dropped.
std::vector<std::vector<uint8_t>> simGpsFrames();
uint32_t simGpsBadFrames();
// Appends bytes to the output stream, or replaces the capture.
bool simGpsQueue(const uint8_t* data, size_t len);
bool simGpsSetCapture(const std::vector<uint8_t>& bytes);
// Bytes waiting in the output stream.
uint32_t simGpsWaiting();
// Reads of register 0xFF so far.
uint32_t simGpsStreamReads();
