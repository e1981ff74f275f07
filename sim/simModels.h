// Device models of the simulated board.
//
// A model answers the transfers addressed to one device. Its content lives
// in a store file of the sandbox (sim/store/<bus>-<address>.bin), mapped
// shared, so every process sees the same registers and a persisting device
// (an EEPROM) keeps its content across resets of the board. Its settings,
// counters and fault knobs live in its slot of the shared device table.
//
// Kinds (the <kind> word of a profile line):
//   regfile  an I2C register file. Options:
//              regs=N      number of registers (256)
//              width=1|2   bytes per register, most significant first (1)
//              ptr=0|1|2   register-pointer bytes at the start of a write (1);
//                          0: no pointer, every transfer starts at register 0
//              inc=auto|pair|none  how the pointer moves after a register:
//                          to the next one (wrapping), to the other of its
//                          pair (0<->1, 2<->3, ...), or not at all (auto)
//              ro=r,r..    read-only registers (inputs)
//              wmask=r:m,..  writable bits of a register (others keep their value)
//              init=r:v,..   power-on values (fill= for all the others, 0)
//              persist     the content survives board resets
//              kernel      the address is held by a kernel driver: I2C_SLAVE
//                          answers EBUSY (attrs=a,b makes its sysfs files)
//   m24lc512, m34d64  I2C EEPROMs (sim/simEeprom.h). Options:
//              twr=us      write-cycle time (5000)
//   pca9655, cat9534, pca9654  I2C I/O expanders; extpll  the external PLL
//            controller (sim/simExpanders.h).
//   shift    an SPI device that records what it is sent and clocks out its
//            reply bytes (reply=b,b,..; model value register 0), repeated.
//   none     an SPI chip select with nothing attached (reads zeros).
//   hpaplant, hpadac, ltc2451  the amplifier plant and the devices it
//            answers through (sim/simPlant.h).
//   ad9789, ltc6948, dcsynth  SPI RF devices; dcexp, ncd2400m  I2C devices
//            of the down-converter and the tunable filter (sim/simRf.h).
//   mv88e6352, mv88e6085  the Ethernet switch behind an MDIO channel
//            (sim/simSwitch.h).
//   ublox    the GPS receiver's DDC interface (sim/simGps.h).
//   si4769   the FM tuner's command interface (sim/simSi4769.h).
//   cplpsu   a PMBus rectifier module of the power shelf (sim/simCplPsu.h).
#pragma once

#include "sim/simState.h"

#include <cstddef>
#include <cstdint>

class SimModel {
public:
    explicit SimModel(SimDevice* dev) : dev_(dev) {}
    virtual ~SimModel() = default;
    // Bytes of content in the store file (0: none).
    virtual size_t storeSize() const { return 0; }
    // Fills the store with the power-on content.
    virtual void powerOn() {}
    // Whether the content survives a reset of the board.
    virtual bool persists() const { return false; }
    // Model values: the content from a register on, bypassing write masks
    // (tests and simctl). Return the bytes moved or -1.
    virtual int peek(uint32_t reg, uint8_t* out, size_t n);
    virtual int poke(uint32_t reg, const uint8_t* in, size_t n);

    void attachStore(uint8_t* store) { store_ = store; }
    SimDevice* device() const { return dev_; }

protected:
    // Byte offset of a register in the store.
    virtual size_t regOffset(uint32_t reg) const { return reg; }

    SimDevice* dev_;
    uint8_t* store_ = nullptr;
};

// An I2C device. The bus calls start() for each message addressed to the
// device (START or repeated START), then write() or read() with the whole
// message, and stop() at the end of the transfer.
class SimI2cModel : public SimModel {
public:
    using SimModel::SimModel;
    virtual void start(bool read) { (void)read; }
    // Returns the bytes the device acknowledged (or -errno).
    virtual int write(const uint8_t* data, size_t len) = 0;
    // Returns the bytes delivered (or -errno).
    virtual int read(uint8_t* data, size_t len) = 0;
    virtual void stop() {}
};

// An SPI device: one full-duplex transfer of len bytes (tx may be null for
// zeros, rx null to discard what comes in).
class SimSpiModel : public SimModel {
public:
    using SimModel::SimModel;
    virtual int transfer(const uint8_t* tx, uint8_t* rx, size_t len, unsigned bitsPerWord) = 0;
};

// Whether a profile kind exists for a bus.
bool simKindKnown(SimBusId bus, const char* kind);

// Builds this process's models of the attached board and maps their stores.
// With powerOn, every model whose store is new, or that does not persist,
// is given its power-on content (a new board); otherwise contents are kept.
// Returns -1 when a store could not be mapped (said on standard error).
int simModelsAttach(bool powerOn);
// Power-on content for every model that does not persist (a board reset).
void simModelsPowerOn();
// This process's model of a device slot (nullptr when it has none).
SimModel* simModelOf(const SimDevice* dev);
SimI2cModel* simI2cModelOf(const SimDevice* dev);
SimSpiModel* simSpiModelOf(const SimDevice* dev);
