// Board profiles: data files that say which devices the simulated board
// carries.
//
// One entry a line, '#' starts a comment:
//   i2c <bus> <address> <kind> [options]   a device on /dev/i2c-<bus>
//   spi <chip select> <kind> [options]     the node /dev/spidev0.<cs> and what hangs on it
//   mdio A|B <kind> [options]              a switch behind an MDIO channel of /dev/dwlfpga
//   fpga <physical address> <value>        a power-on value of an FPGA window word
//   fpga-pll locked|never|after <N>        the audio-PLL lock script (sim/simFpga.h)
//   fpga-refs 10mhz=on|off pps=on|off sine=on|off   the reference inputs connected
//   fpga-delay <count>|fail|never          the input-delay measurement unit
//   uart <device path> <kind> [options]    what answers on a UART (atmodem:
//                                          the scripted AT modem, sim/simModem.h)
//   fw-bank 1|2                            the firmware bank a new board comes with
//   emmc <partition>...                    the eMMC partitions there are (all 8 without it)
// Options are key=value words or bare flags; "name=" names the device for
// simctl. What the other options mean is up to the kind (sim/simModels.h).
#pragma once

#include "sim/simState.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct SimProfileDevice {
    SimBusId bus;
    uint16_t addr;
    std::string kind;
    std::string name;
    std::string opts;
};

struct SimProfileWord {
    uint32_t phys;
    uint32_t value;
};

struct SimProfileUart {
    std::string path;
    std::string kind;
    std::string opts;
};

struct SimProfile {
    std::vector<SimProfileDevice> devices;
    std::vector<SimProfileUart> uarts;
    std::vector<SimProfileWord> fpgaWords;
    uint32_t pllScript = 0; // SimPllScript
    uint32_t pllAfter = 0;
    uint32_t refsDriven = 0;
    uint32_t refsMissing = 0; // kSimRef* bits
    uint32_t delayMode = 0;   // SimDelayMode
    uint32_t delayCount = 0;
    uint32_t fwBank = 1;                                      // bank installed on a new board
    std::vector<int> emmcPartitions = {1, 2, 3, 4, 5, 6, 7, 8}; // partitions of /dev/mmcblk0
};

// Parses a profile text. Returns 0, or -1 with the line and reason in *error.
int simProfileParse(const std::string& text, SimProfile* out, std::string* error);

// The profile a new sandbox is built from: CORVANE_BOARD_PROFILE (a path, or
// the name of a profile of the source tree), else a board.profile already
// placed in the sandbox's sim folder, else the default profile.
std::string simProfileSource();

// Options of a profile line as a map; a bare flag maps to "".
std::map<std::string, std::string> simParseOptions(const std::string& opts);
// Number in C notation (0x.., decimal); false when it is not one.
bool simParseNumber(const std::string& text, uint32_t* out);
