// The simulated board of the host simulation.
#pragma once

#include <string>

// Makes the sandbox skeleton, attaches the sandbox's simulated board
// (building it from its profile the first time) and registers the simulated
// devices. Idempotent; called by platformInit() in every program of the host
// build.
void simBoardInit();

// Creates a directory and its parents below nothing in particular (an
// absolute host path). Returns 0 or -1.
int simMakeDirs(const char* hostPath);

// Power cycle of the board: every device back to its power-on content
// (devices that persist keep it), knobs, counters and logs cleared, the
// FPGA window back to the profile's words. Returns 0 or -1.
int simBoardReset();

// The profile text the board of the attached sandbox was built from.
std::string simBoardProfileText();
