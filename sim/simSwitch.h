// The Ethernet switch behind an MDIO channel of the FPGA (profile line
// "mdio A|B mv88e6352|mv88e6085 name=..."): an 88E6352 (7 ports, product
// 0x352) or an 88E6085 (11 ports, product 0x04A).
//
// Its store (shared by every process of the sandbox) holds:
//   model values 0x000-0x3FF  the registers by SMI address (device * 32 +
//                             register), two bytes each, most significant first
//   model values 0x400-0x57F  the PHYs: PHY slot s, register r at 0x400 + s*32 + r
//                             (register 25 bits 4-0 is the PHY's SMI address)
//   model values 0x580-0x5FF  the scratch bytes of device 0x1C register 0x1A by
//                             pointer (low byte)
//   the VTU and STU entries, the fault knobs and the counters (SimSwitchStore).
// Port registers keep what the type keeps: 0x00 only bit 12 (PHY present)
// is writable, 0x03 (switch id) and 0x13 (frame counter) are read-only,
// 0x06, 0x08 and 0x0E keep the bits of the type's fields. Device 0x1B
// runs the VTU and STU (flush, load, get-next ending with an invalid entry)
// and the statistics unit; device 0x1C the SMI PHY command and data and the
// scratch register. Any access to port 8 (device 0x18) is counted.
#pragma once

#include "sim/simState.h"

#include <cstdint>

class SimModel;

constexpr int kSimSwitchWords = 0x600;
constexpr int kSimSwitchPhyBase = 0x400;
constexpr int kSimSwitchPhySlots = 12;
constexpr int kSimSwitchScratchBase = 0x580;
constexpr int kSimSwitchTable = 64;
constexpr int kSimSwitchIgnored = 4;

struct SimVtuEntry {
    uint8_t valid;
    uint8_t sid;
    uint16_t vid;
    uint16_t fid;
    uint8_t tags[7]; // member tag of ports 0-6
};

struct SimStuEntry {
    uint8_t valid;
    uint8_t sid;
    uint8_t states[7]; // port state of ports 0-6
};

struct SimSwitchKnobs {
    uint16_t ignored[kSimSwitchIgnored]; // SMI address + 1 of registers that ignore writes (0: none)
    uint8_t smiBusy;    // the SMI PHY unit stays busy
    uint8_t vtuBusy;    // the VTU stays busy
    uint8_t vtuEndless; // a VTU get-next past the last entry starts again at the first
};

struct SimSwitchStore {
    uint8_t words[kSimSwitchWords][2];
    SimVtuEntry vtu[kSimSwitchTable];
    SimStuEntry stu[kSimSwitchTable];
    uint8_t scratchPtr;
    uint8_t phyFitted[kSimSwitchPhySlots];
    SimSwitchKnobs knobs;
    uint32_t port8Accesses;
    uint32_t vtuOps; // VTU and STU operations run
};

SimModel* simSwitchCreate(SimDevice* dev, bool is6352);

// One MDIO transaction on a channel's switch: a write (operation 1) or a
// read (operation 0, or any command with the flag bit). True when the
// switch acknowledged; *data is the read data.
bool simSwitchTransact(SimDevice* dev, uint16_t command, uint16_t writeData, uint16_t* data);

// The store of a switch device (nullptr when the device is no switch).
SimSwitchStore* simSwitchStore(const SimDevice* dev);
// A register by SMI address, and setting one past its write mask.
uint16_t simSwitchReg(const SimSwitchStore* s, uint16_t smiAddr);
void simSwitchSetReg(SimSwitchStore* s, uint16_t smiAddr, uint16_t value);
// A register of the PHY at an SMI address (0xFFFF when none answers there).
uint16_t simSwitchPhyReg(const SimSwitchStore* s, uint8_t phyAddr, uint8_t reg);
void simSwitchSetPhyReg(SimSwitchStore* s, uint8_t phyAddr, uint8_t reg, uint16_t value);
// Makes a register ignore writes: 0, or -1 when every slot is taken.
int simSwitchIgnoreWrites(SimSwitchStore* s, uint16_t smiAddr);
