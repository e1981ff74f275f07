// An RDS decoder written from IEC 62106 for the tests: block sync by the
// standard's syndromes over a bit stream, then the features of the groups.
// It shares nothing with the encoder, so a test that decodes what the
// simulated FPGA put on air checks the encoder against the standard.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct RdsDecodedGroup {
    uint16_t blocks[4];
    int type;    // 0..15
    int version; // 0 = A, 1 = B
};

struct RdsRadioText {
    std::string text; // up to the carriage return
    int ab;
};

struct RdsDecoded {
    int syndromeErrors = 0; // blocks whose syndrome was not the expected one
    std::vector<RdsDecodedGroup> groups;
    int pi = -1, pty = -1, tp = -1, ta = -1, ms = -1;
    int di = 0;               // d3..d0 as the four segments of group 0 gave them
    std::string ps = "        ";
    std::vector<RdsRadioText> radioTexts; // each completed RadioText, in order
    int afMethod = -1;        // 0 A, 1 B (from the header's partner)
    int afCount = -1;         // N of the header
    std::set<int> afCodes;    // codes of the list
    int afTuned = -1;         // method B: the tuned frequency
    std::vector<std::pair<int, int>> afPairs; // block 3 of every 0A
    int ecc = -1, pin = -1;
    long mjd = -1;
    int hour = -1, minute = -1, offset = -1;
    std::map<int, std::string> eonPs;  // by PI(ON)
    std::map<int, int> eonTa;          // by PI(ON), from 14B
    std::string ptyn = "        ";
};

// The syndrome of a 26-bit block by the standard's parity check matrix.
uint16_t rdsSyndrome(uint32_t block);

// Decodes a stream of '0'/'1' characters (other characters are skipped).
RdsDecoded rdsDecodeBits(const std::string& bits);
