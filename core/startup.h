// Main program and start-up of the control daemon.
#pragma once

#include <cstdint>

// The bench switches of the command line.
struct BenchSwitches {
    uint8_t testPerf5m;
    uint8_t testPerf10m;
    uint8_t apCmp;
    long apCmpValue;
    uint8_t apSat;
    long apSatValue;
    uint8_t ap;
    long apAddr;
    long apData;
};

// Parses the command line and prints its lines. Returns 1 when the daemon
// should start, 0 when the help text was printed and it should end.
int parseCommandLine(int argc, char** argv, BenchSwitches* sw);

int corvaneMain(int argc, char** argv);

// A preset of the audio processor for bench work; nothing calls it.
void audioProcessorBenchPreset(int band);
