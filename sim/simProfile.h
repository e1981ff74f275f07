// Board profiles: data files that say which devices the simulated board
// carries.
//
// One entry a line, '#' starts a comment:
//   i2c <bus> <address> <kind> [options]   a device on /dev/i2c-<bus>
//   spi <chip select> <kind> [options]     the node /dev/spidev0.<cs> and what hangs on it
//   fpga <physical address> <value>        a power-on value of an FPGA window word
//   fpga-pll locked|never|after <N>        the audio-PLL lock script (sim/simFpga.h)
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

struct SimProfile {
    std::vector<SimProfileDevice> devices;
    std::vector<SimProfileWord> fpgaWords;
    uint32_t pllScript = 0; // SimPllScript
    uint32_t pllAfter = 0;
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
