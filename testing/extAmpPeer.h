// A simulated external amplifier for tests: the far end of a pseudo-terminal
// registered as the DCM channel of the amplifiers' requests. It sends the
// queued requests one at a time and reads their frames back, and answers
// with reply frames that go through the DCM layer's receive path to the
// requests' reply callbacks, as the link poll loop hands them on.
#pragma once

#include "links/dcmMsg.h"

#include <cstdint>
#include <vector>

struct ExtAmpPeer {
    int master = -1;
    int slave = -1;
    int channel = 0;

    // Opens the pseudo-terminal and registers its slave side as a UART
    // channel. false on failure.
    bool open();
    void close();
    // Sends the oldest queued request and returns the bytes that went out
    // (empty when nothing was queued).
    std::vector<uint8_t> sendNext();
    // Sends every queued request; the frames, oldest first.
    std::vector<std::vector<uint8_t>> sendAll();
    // Delivers a reply frame: DCM_RecvReply's result, after which the unit
    // slot it matched is marked connected (or disconnected on a failure).
    int reply(DcmMsg msg);
};

// Replies of an amplifier at `address`: a block of `count` items of the
// size type with the status bytes (command 140), the block alone (132), the
// status bytes alone (137, a list of no values) and an error reply (129).
DcmMsg extAmpBlockStatusReply(uint8_t address, uint8_t table, uint32_t sizeType, uint8_t count,
                              const std::vector<uint8_t>& data, uint8_t s0, uint8_t s1, uint8_t s2);
DcmMsg extAmpBlockReply(uint8_t address, uint8_t table, uint32_t sizeType, uint8_t count,
                        const std::vector<uint8_t>& data);
DcmMsg extAmpStatusReply(uint8_t address, uint8_t s0, uint8_t s1, uint8_t s2);
DcmMsg extAmpErrorReply(uint8_t address);
// The acknowledgement of a write (131).
DcmMsg extAmpAckReply(uint8_t address);
// The fourteen words of an identity (table 8) reply, big-endian.
std::vector<uint8_t> extAmpIdentity(uint32_t model, uint32_t setPointMhz = 98, uint32_t extSupply = 0,
                                    uint32_t supplyV = 50, uint32_t table9Enable = 0);
