// DCM messages and their byte-stuffed frames.
//
// A frame is 0xFE, the address (one byte, or four most significant first),
// the command, the escaped body, 0xFC, the checksum of everything before it
// and 0xFD; at most 384 bytes. Body bytes of the delimiter set (0xFE, 0xFC,
// 0xFD) or the reserved set (0x64 to 0x69) are preceded by 0xFC.
#pragma once

#include <cstdint>

constexpr int kDcmFrameMax = 384;
constexpr int kDcmDataBlockMax = 16;
constexpr int kDcmListMax = 32;
constexpr int kDcmBlockDataMax = 384;

constexpr uint8_t kDcmStart = 0xFE;
constexpr uint8_t kDcmEscape = 0xFC;
constexpr uint8_t kDcmEnd = 0xFD;

// Address modes.
constexpr uint32_t DCM_ADDR_1BYTE = 0;
constexpr uint32_t DCM_ADDR_4BYTE = 1;

// Message states.
constexpr uint32_t DCM_STATE_INVALID = 0;
constexpr uint32_t DCM_STATE_BUILDING = 1;
constexpr uint32_t DCM_STATE_READY = 2;

// Access types.
constexpr uint32_t DCM_TYPE_READ_BLOCK = 1;
constexpr uint32_t DCM_TYPE_WRITE_LIST = 2;

// Size types of list values and block items: 1, 2 or 4 bytes.
constexpr uint32_t DCM_SIZE_8 = 1;
constexpr uint32_t DCM_SIZE_16 = 2;
constexpr uint32_t DCM_SIZE_32 = 3;

struct DcmWriteElem {
    uint32_t sizeType;
    uint8_t table;
    uint8_t element; // 1 to 63
    uint32_t value;
};

struct DcmReadBlock {
    uint32_t sizeType;
    uint8_t table;
    uint8_t firstElem; // 1 to 63
    uint8_t data[kDcmBlockDataMax]; // count items of the size type, packed
};

struct DcmMsg {
    uint32_t addrMode;
    uint32_t state;
    uint32_t address;
    uint8_t command; // 0 to 140
    uint8_t dataBlock[kDcmDataBlockMax];
    uint8_t dataLen; // on receive: preset to the length expected
    uint8_t count;   // write elements, or items of the read block
    uint32_t accessType;
    union {
        DcmReadBlock block;
        DcmWriteElem list[kDcmListMax];
    };
};

// One frame buffer: flag 1 free, 0 holds a frame of `len` bytes.
struct DcmFrameBuf {
    uint32_t flag = 1;
    uint16_t len = 0;
    uint8_t data[kDcmFrameMax] = {};
};

int DMSG_Clear(DcmMsg* msg);
int DMSG_SetAddrMode(DcmMsg* msg, uint32_t mode);
int DMSG_SetState(DcmMsg* msg, uint32_t state);
int DMSG_SetAddress(DcmMsg* msg, uint32_t address);
int DMSG_SetCommand(DcmMsg* msg, uint8_t command);
int DMSG_SetType(DcmMsg* msg, uint32_t accessType);
// -1 for a length above the 16-byte data block (nothing changes).
int DMSG_SetDataLen(DcmMsg* msg, uint8_t len);
int DMSG_SetDataBlock(DcmMsg* msg, const uint8_t* data);
int DMSG_GetDataBlock(const DcmMsg* msg, uint8_t* out);
// -9 when the access type is not the write list, -11 when the list is full.
int DMSG_AddWriteElement(DcmMsg* msg, uint32_t sizeType, uint8_t table, uint8_t element, uint32_t value);
// -9 when the access type is not the read block, -11 when a block is already
// set or the size type is not 1 to 3, -21 when the items exceed 384 bytes.
// `data` (optional) is copied into the block.
int DMSG_SetReadRequest(DcmMsg* msg, uint32_t sizeType, uint8_t table, uint8_t firstElem, uint8_t count,
                        const uint8_t* data);
uint32_t DMSG_GetAddress(const DcmMsg* msg);
uint8_t DMSG_FrameGetCommand(const DcmMsg* msg);

// Encodes a ready message into a free frame buffer. 0, or -1 not ready, -2
// address or command byte not allowed, -5 too many items or elements, -7
// element number out of 1 to 63, -6 buffer not free, -8 unknown command, -4
// access type does not fit the command, -3 frame longer than 384 bytes (or
// a data block longer than its 16 bytes).
int DMSG_FromMsgToFrame(DcmMsg* msg, DcmFrameBuf* frame);
// Decodes the frame from byte `start` on. 0 decoded (state 2); -1 the buffer
// holds no frame; 17 no valid frame or a checksum mismatch; 100 plus the body
// decoder's code when the body does not fit its command (117 layout, 93 list
// size type, 109 command 127). Every refusal leaves the message cleared.
int DMSG_FromFrameToMsg(DcmFrameBuf* frame, DcmMsg* msg, uint32_t addrMode, uint16_t start);
// One byte into the receive state machine; 1 when it ended a frame, else 0.
int DMSG_RecvByte(DcmMsg* msg, uint8_t byte, uint32_t addrMode);
