// The SPS serial power module behind /dev/ttyMAX0: a pseudo-terminal whose
// master a thread of the process serves as the module would. Profile line:
//   uart /dev/ttyMAX0 gesps [serial=<12 characters>]
// It answers 'P' with a 'p' reply carrying its serial number and 'R' with an
// 'r' reply (version, status word, output voltage as set, the plant's
// current, input voltage and power, temperatures, fan, ON-time counter),
// applies the 'W' writes and checks every CRC (a bad frame is ignored and
// counted).
//
// Its knobs and what it was set live in the board's shared state
// (SimBoardState::sps), so simctl and the tests turn the knobs of the module
// that the daemon's process serves; a power cycle of the board gives them
// their power-on values (simSpsPowerOn). A board has one such module.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct SimSpsKnobs {
    std::atomic<uint32_t> status{0x0801}; // register 0x0C: present, rectifier on
    std::atomic<int> silent{0};           // no replies
    std::atomic<int> split{0};            // each reply in two writes, 20 ms apart
    std::atomic<int> shortReply{0};       // each reply without its last byte
    std::atomic<int> badCrc{0};           // each reply with a wrong CRC
    // What the controller set (read back by tests).
    std::atomic<uint32_t> voutWord{0};    // register 0x13
    std::atomic<uint32_t> mode{0};        // register 0x0F
    std::atomic<uint32_t> minFan{0};      // register 0x3B
    std::atomic<uint32_t> pollTimeout{0}; // register 0x09
    std::atomic<uint32_t> polls{0};       // 'P' frames received
    std::atomic<uint32_t> reads{0};       // 'R' frames received
    std::atomic<uint32_t> lastRegister{0};
    std::atomic<uint32_t> badFrames{0};   // frames ignored for their CRC
};

// The knobs of the module this process serves behind a port (nullptr when
// none is served there).
SimSpsKnobs* simSpsAt(const char* path);
// The knobs of the attached board's module (nullptr before a board is
// attached); simctl reaches them so.
SimSpsKnobs* simSpsKnobs();
// Power-on values of the knobs.
void simSpsPowerOn(SimSpsKnobs* k);
// Serves the ports the profile lists with kind gesps.
void simSpsAttach(const std::string& profileText);
