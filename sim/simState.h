// Shared state of the simulated board.
//
// Everything another process of the sandbox must see (the device table with
// its fault knobs and counters, the bus locks, the transaction logs and the
// state of the FPGA ports) lives in one file below the sandbox root, mapped
// shared by every process: the daemon, the display program, the tests and
// simctl all work on the same board.
#pragma once

#include "sim/simSpsModule.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <pthread.h>
#include <string>

// SIM_BUS_MDIO: the FPGA's MDIO channels (address 0 channel A, 1 channel B).
enum SimBusId { SIM_BUS_I2C0, SIM_BUS_I2C1, SIM_BUS_SPI0, SIM_BUS_MDIO, SIM_BUS_COUNT };

// What a transaction-log entry records.
enum SimOp : uint8_t {
    SIM_OP_WRITE,     // I2C write message (data = bytes sent)
    SIM_OP_READ,      // I2C read message (data = bytes received)
    SIM_OP_XFER,      // SPI full-duplex transfer (data = bytes clocked out)
    SIM_OP_SET_MODE,  // spidev settings requests; value = the setting
    SIM_OP_SET_LSB,
    SIM_OP_SET_BITS,
    SIM_OP_SET_SPEED,
    SIM_OP_GET_MODE,
    SIM_OP_GET_LSB,
    SIM_OP_GET_BITS,
    SIM_OP_GET_SPEED,
    SIM_OP_COUNT
};

constexpr int kSimMaxDevices = 64;
constexpr int kSimLogEntries = 4096;
constexpr int kSimLogData = 32;

// Log flag: the message followed another one of the same I2C_RDWR request
// (a repeated start).
constexpr uint8_t kSimLogRestart = 1;

struct SimLogEntry {
    std::atomic<uint64_t> seq; // 1-based sequence number; 0 while being written
    int64_t timeNs;            // CLOCK_MONOTONIC of the platform clock
    uint16_t addr;             // I2C address or SPI chip select
    uint8_t op;                // SimOp
    uint8_t flags;
    int32_t result;            // bytes moved, or -errno
    uint32_t value;            // the setting of a settings request
    uint16_t len;              // bytes requested
    uint8_t dataLen;           // bytes kept in data
    uint8_t data[kSimLogData];
};

struct SimBus {
    pthread_mutex_t lock;           // robust and process-shared: one transfer at a time
    std::atomic<int32_t> absent;    // 1 while the bus node is removed
    std::atomic<uint32_t> opens;    // successful opens of the node
    std::atomic<uint64_t> logHead;  // entries ever written
    SimLogEntry log[kSimLogEntries];
};

struct SimDevice {
    std::atomic<uint32_t> used;
    uint8_t bus;         // SimBusId
    uint8_t kernelHeld;  // an I2C address claimed by a kernel driver: I2C_SLAVE answers EBUSY
    uint16_t addr;       // I2C address, chip select or MDIO channel
    char kind[16];
    char name[24];
    char opts[216];      // the profile options, parsed by each process's model
    // Fault knobs.
    std::atomic<int32_t> absent;     // device missing: I2C NACKs, spidev node gone
    std::atomic<int32_t> nackNext;   // the next N transfers fail (NACK / EIO)
    std::atomic<int32_t> shortNext;  // the next N transfers move one byte less
    std::atomic<int32_t> busy;       // stuck busy
    // Counters and model state shared by the processes.
    std::atomic<uint32_t> transfers; // transfers that reached the model
    std::atomic<uint32_t> opens;     // opens of a spidev node
    std::atomic<uint32_t> cursor;    // byte cursor of a pointer device
    std::atomic<uint32_t> phase;     // pointer bytes received in the current write
    // EEPROMs: start of the running write cycle (CLOCK_MONOTONIC ns, 0 none)
    // and the verification knob: the next failWrites write cycles of page
    // failPage store their first byte inverted.
    std::atomic<int64_t> cycleStartNs;
    std::atomic<int32_t> failPage;
    std::atomic<int32_t> failWrites;
    // spidev settings of the chip select.
    std::atomic<uint32_t> spiMode;
    std::atomic<uint32_t> spiLsb;
    std::atomic<uint32_t> spiBits;
    std::atomic<uint32_t> spiSpeed;
};

// One control frame as the FPGA received it, with its CLOCK_MONOTONIC time
// stamp (the clock of the bus logs, so the two can be ordered).
struct SimFrameRecord {
    int64_t timeNs;
    uint32_t words[28];
};
constexpr int kSimFrameRingSize = 32;
constexpr int kSimGbeLogSize = 16;

// One write to the audio-processor windows (18 to 24, 0xFF200B80 on): the
// window number, the word and its CLOCK_MONOTONIC_RAW time stamp.
struct SimApWrite {
    int64_t timeNs;
    uint32_t window;
    uint32_t value;
};
constexpr int kSimApLogSize = 512;

// Audio-PLL lock script: the lock bit of status word 0 as frames arrive.
enum SimPllScript : uint32_t {
    SIM_PLL_AS_WINDOW = 0, // the bit stays as the window holds it
    SIM_PLL_LOCKED = 1,    // set on every frame
    SIM_PLL_AFTER = 2,     // clear until the Nth frame after the script was set, then set
    SIM_PLL_NEVER = 3,     // clear on every frame
};

// The FPGA's RDS FIFO: groups the RDS transfers hand over wait in it and go
// on air one every 87.6 ms of the clock; the groups put on air are kept as
// the 26-bit blocks the FPGA sends (information word and checkword with its
// offset), the newest kSimRdsAirLog of them.
constexpr int kSimRdsFifoMax = 64;
constexpr int kSimRdsAirLog = 4096; // about six minutes on air
constexpr uint32_t kSimRdsDefaultCapacity = 16;
constexpr int64_t kSimRdsGroupNs = 87600000;

struct SimRdsAirGroup {
    int64_t timeNs;     // when it went on air (the clock of the process that moved the FIFO on)
    uint32_t blocks[4]; // 26-bit blocks, information word in bits 10-25
};

struct SimRdsState {
    pthread_mutex_t lock;             // robust and process-shared
    uint32_t capacity;                // groups the FIFO holds (1..kSimRdsFifoMax)
    uint32_t fill;                    // groups waiting
    uint32_t head;                    // next group to put on air
    uint16_t fifo[kSimRdsFifoMax][4]; // information words of the waiting groups
    int64_t nextAirNs;                // when the next group goes on air; 0 until one was taken
    uint64_t airCount;                // groups put on air so far
    SimRdsAirGroup air[kSimRdsAirLog];
    std::atomic<uint32_t> taken;        // groups taken into the FIFO
    std::atomic<uint32_t> refused;      // groups with FIFO_EN set that found the FIFO full
    std::atomic<uint32_t> notEnabled;   // transfers without FIFO_EN (nothing taken)
    std::atomic<uint32_t> underruns;    // air slots that found the FIFO empty
    std::atomic<uint32_t> parityErrors; // transfers with a word whose parity or spare bits are wrong (not taken)
};
// Input-delay measurement unit: how it answers the frame's start bit.
enum SimDelayMode : uint32_t {
    SIM_DELAY_AS_WINDOW = 0, // the busy, done and count bits stay as the window holds them
    SIM_DELAY_COUNT = 1,     // busy for a few frames, then done with the count
    SIM_DELAY_FAIL = 2,      // busy for a few frames, then clear without done
    SIM_DELAY_NEVER = 3,     // never busy
};

// Reference inputs (bits of SimFpgaState::refsMissing).
constexpr uint32_t kSimRef10MHz = 1, kSimRefPps = 2, kSimRefSine = 4;

struct SimFpgaState {
    std::atomic<int32_t> lastPortWrite; // word index of the last control-port write, -1 none
    std::atomic<uint32_t> frameCount;   // complete control frames received
    uint32_t frame[28];                 // the last complete control frame
    std::atomic<uint32_t> rdsCount;     // RDS transfers received
    uint32_t rdsWords[6];               // the last RDS transfer
    std::atomic<uint32_t> rdsStatus;    // bits ORed into the status word answered after an RDS transfer
    std::atomic<uint32_t> keys;         // pressed keys: bit (column index * 3 + row index)
    std::atomic<uint32_t> idStrobe;     // last index/strobe word of the identity loader
    std::atomic<uint32_t> idLatched;    // words latched by the identity loader
    uint32_t idWords[8];
    std::atomic<uint32_t> dwlBank;      // last bank selected through /dev/dwlfpga
    std::atomic<uint32_t> dwlSelects;
    std::atomic<uint32_t> misaligned;   // accesses to the port page off a word boundary
    std::atomic<uint32_t> parityErrors; // frames with a word whose parity or spare bits are wrong
    std::atomic<uint32_t> ringNext;     // frames put into the ring so far
    SimFrameRecord ring[kSimFrameRingSize];
    std::atomic<uint32_t> pllScript;    // SimPllScript
    std::atomic<uint32_t> pllAfter;     // N of SIM_PLL_AFTER
    std::atomic<uint32_t> pllFrames;    // frames since the script was set
    std::atomic<uint32_t> gbeWrites;    // words written to the GbE block
    uint32_t gbeLog[kSimGbeLogSize][2]; // the last GbE writes: byte offset, value
    SimRdsState rds;
    std::atomic<uint32_t> mdioStatusReads; // reads of the MDIO status word of /dev/dwlfpga
    std::atomic<uint32_t> refsDriven;   // 1: the absence bits follow refsMissing on every frame
    std::atomic<uint32_t> refsMissing;  // kSimRef* bits of the inputs not connected
    std::atomic<uint32_t> delayMode;    // SimDelayMode
    std::atomic<uint32_t> delayCount;   // 24-bit count a successful measurement reports
    std::atomic<uint32_t> delayPhase;   // frames into the running measurement, 0 idle
    std::atomic<uint32_t> delayHeld;    // the start bit that began it is still set
    std::atomic<uint32_t> delayRuns;    // measurements started
    std::atomic<uint32_t> apWrites;     // words written to the audio-processor windows
    SimApWrite apLog[kSimApLogSize];    // the last of them
};

struct SimBoardState {
    std::atomic<uint32_t> magic;
    uint32_t size;
    uint32_t check;    // CRC-32 of the header and of what the device table lists
    char profile[256]; // the profile the board was built from
    SimBus buses[SIM_BUS_COUNT];
    SimDevice devices[kSimMaxDevices];
    SimFpgaState fpga;
    SimSpsKnobs sps; // the SPS serial module (sim/simSpsModule.h)
};

// Maps the shared state of the sandbox at `root`. When the sandbox has no
// board yet, one of another layout, or one whose header and device table
// fail their check, the state is cleared and `build` is called to fill it,
// under a file lock so that processes starting together build it once. The
// file is reserved on disk before it is mapped: a full disk is reported on
// standard error, never met as SIGBUS. Returns 0 or -1.
int simStateAttach(const std::string& root, int (*build)(SimBoardState*));
// The state of the attached sandbox (nullptr before simStateAttach).
SimBoardState* simState();
// Host path of a file of the simulated board inside the sandbox.
std::string simFilePath(const char* name);
// Opens (creating it) a file of the simulated board to be mapped: a regular
// file reached without a final symbolic link, `size` bytes long (*resized
// tells that it was made or resized), its bytes [reserveAt, reserveAt +
// reserveLen) allocated on disk. Says why on standard error and returns -1
// when it cannot.
int simOpenMappedFile(const std::string& path, size_t size, size_t reserveAt, size_t reserveLen,
                      bool* resized = nullptr);

// Clears the knobs, counters and logs of every bus and device.
void simStateClearRuntime(SimBoardState* s);

// The lock of one bus; held for a whole transfer (and by tools that change
// model values) so transfers of different processes never interleave.
void simBusLock(SimBusId bus);
void simBusUnlock(SimBusId bus);
struct SimBusGuard {
    explicit SimBusGuard(SimBusId b) : bus(b) { simBusLock(bus); }
    ~SimBusGuard() { simBusUnlock(bus); }
    SimBusGuard(const SimBusGuard&) = delete;
    SimBusGuard& operator=(const SimBusGuard&) = delete;
    SimBusId bus;
};

// Device table lookups (nullptr when not fitted).
SimDevice* simFindDevice(SimBusId bus, uint16_t addr);
SimDevice* simFindDeviceByName(const char* name);
const char* simBusName(SimBusId bus);
int simBusFromName(const char* name); // -1 when unknown

// Takes one count of a "next N transfers" knob; true when it applied.
bool simTakeKnob(std::atomic<int32_t>& knob);

// Transaction log. simLogAppend is called with the bus lock held.
struct SimLogRecord {
    uint64_t seq;
    int64_t timeNs;
    SimBusId bus;
    uint16_t addr;
    SimOp op;
    uint8_t flags;
    int32_t result;
    uint32_t value;
    uint16_t len;
    uint8_t dataLen;
    uint8_t data[kSimLogData];
};
// `len` is the length asked for; data/dataLen the bytes that went over the
// wire (the first kSimLogData of them are kept).
void simLogAppend(SimBusId bus, uint16_t addr, SimOp op, uint8_t flags, int32_t result, uint32_t value, size_t len,
                  const uint8_t* data, size_t dataLen);
// Copies the newest entries (at most max, oldest first) with a sequence
// number above `after`; returns how many were copied.
size_t simLogRead(SimBusId bus, uint64_t after, SimLogRecord* out, size_t max);
// One line of text for an entry.
std::string simLogFormat(const SimLogRecord& r);
const char* simOpName(SimOp op);
