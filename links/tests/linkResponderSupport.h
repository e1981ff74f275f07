// Frames of the unit links written byte by byte as a peer would, and the
// decoding of the replies, for the change-over and slave responder tests.
#pragma once

#include "links/dcmMsg.h"

#include <cstdint>
#include <poll.h>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A frame: 0xFE, the address (four bytes most significant first, or one),
// the command, the body with 0xFC before each byte of the delimiter or
// reserved set, 0xFC, the sum of all bytes before it, 0xFD.
inline Bytes linkFrame(uint32_t address, bool fourByte, uint8_t command, const Bytes& body)
{
    Bytes f = {0xFE};
    if (fourByte) {
        for (int s = 24; s >= 0; s -= 8)
            f.push_back(static_cast<uint8_t>(address >> s));
    } else {
        f.push_back(static_cast<uint8_t>(address));
    }
    f.push_back(command);
    for (uint8_t b : body) {
        if (b >= 0xFC || (b >= 0x64 && b <= 0x69))
            f.push_back(0xFC);
        f.push_back(b);
    }
    f.push_back(0xFC);
    uint8_t sum = 0;
    for (uint8_t b : f)
        sum = static_cast<uint8_t>(sum + b);
    f.push_back(sum);
    f.push_back(0xFD);
    return f;
}

struct ListEntry {
    uint8_t table;
    uint8_t element;
    uint8_t sizeType;
};

// Body of a list read: count, then table and element × 4 + size type.
inline Bytes listReadBody(const std::vector<ListEntry>& entries)
{
    Bytes b = {static_cast<uint8_t>(entries.size())};
    for (const ListEntry& e : entries) {
        b.push_back(e.table);
        b.push_back(static_cast<uint8_t>(e.element * 4 + e.sizeType));
    }
    return b;
}

// Body of a one-element list write, the value least significant byte first.
inline Bytes listWriteBody(uint8_t table, uint8_t element, uint8_t sizeType, uint32_t value)
{
    int n = sizeType == 1 ? 1 : sizeType == 2 ? 2 : 4;
    const uint8_t raw[7] = {1,
                            table,
                            static_cast<uint8_t>(element * 4 + sizeType),
                            static_cast<uint8_t>(value),
                            static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16),
                            static_cast<uint8_t>(value >> 24)};
    return Bytes(raw, raw + 3 + n);
}

// Body of a block read or write: count, table, first × 4 + size type, data.
inline Bytes blockBody(uint8_t count, uint8_t table, uint8_t first, uint8_t sizeType, const Bytes& data = {})
{
    Bytes b(3 + data.size());
    b[0] = count;
    b[1] = table;
    b[2] = static_cast<uint8_t>(first * 4 + sizeType);
    for (size_t i = 0; i < data.size(); i++)
        b[3 + i] = data[i];
    return b;
}

// Decodes a reply frame; a reply with the status data block has 9 bytes
// expected. The message's state is 2 when it decoded.
inline DcmMsg decodeReply(const Bytes& frame, uint32_t addrMode)
{
    DcmMsg m = {};
    if (frame.empty())
        return m;
    uint8_t command = frame[addrMode == DCM_ADDR_4BYTE ? 5 : 2];
    m.dataLen = (command == 0x8A || command == 0x8B || command == 0x8C) ? 9 : 0;
    DcmFrameBuf f;
    f.flag = 0;
    f.len = static_cast<uint16_t>(frame.size());
    for (size_t i = 0; i < frame.size() && i < sizeof f.data; i++)
        f.data[i] = frame[i];
    DMSG_FromFrameToMsg(&f, &m, addrMode, 0);
    return m;
}

// What the peer reads from its side within waitMs.
inline Bytes peerTake(int fd, int waitMs = 300)
{
    Bytes got;
    struct pollfd p = {fd, POLLIN, 0};
    while (poll(&p, 1, got.empty() ? waitMs : 20) == 1) {
        uint8_t buf[512];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}
