// UBX messages of the GPS receiver: the frame builder, the polls and
// configuration messages the daemon sends, their retry wrappers, and the
// decoder of the UBX frames in the receiver's output stream.
#pragma once

#include <cstdint>

// Every builder fills one of these (zeroed first).
struct UbxMsgBuffer {
    uint8_t frame[1024];   // the complete frame as sent
    uint16_t frameLength;  // payload length plus 8
    uint8_t msgClass;
    uint8_t msgId;
    uint8_t payload[512];
    uint16_t payloadLength;
};

// Longest payload GPS_ParseUbxMsg takes.
constexpr uint16_t kUbxMaxParsedPayload = 2040;

// Fletcher-8 checksum of a frame's class, id, length and payload (len bytes
// from p): ck[0] = CK_A, ck[1] = CK_B.
void GPS_UbxChecksum(const uint8_t* p, uint32_t len, uint8_t ck[2]);
// Builds frame and frameLength from class, id and payload (cut to 512). 0.
int GPS_PrepareUbxMsg(UbxMsgBuffer* msg);

// Polls (empty payload); each returns the GPS_WriteBytes result.
int32_t GPS_ReqUbxMonVer();
int32_t GPS_ReqUbxCfgTp5();
int32_t GPS_ReqUbxNavSet();
int32_t GPS_ReqUbxNavTimeGps();
int32_t GPS_ReqUbxNavPvt();
int32_t GPS_ReqUbxCfgGnss();

// Configuration messages; each returns the GPS_WriteBytes result.
int32_t GPS_SendUbxReset(int mode);
int32_t GPS_ConfigureDdcPort();
int32_t GPS_ConfigureTp5(uint8_t version);
int32_t GPS_ConfigureNavSet();
int32_t GPS_ConfigureMsgInfo();
// CFG-MSG for a message named by the rate table: 0 without sending for a
// name shorter than 3 characters or matching no row.
int32_t GPS_ConfigureMsgRate(const char* name, uint8_t rate);
int32_t GPS_ConfigureGnssSystem();
int32_t GPS_ConfigureGnssSingleId(uint8_t gnssId, uint8_t enable, uint8_t resTrkCh, uint8_t maxTrkCh,
                                  uint8_t flagsHigh);

// Up to 3 attempts while the result is negative; the last result.
int32_t GPS_ConfigureWithRetry(int32_t (*step)(), const char* label);
int32_t GPS_ConfigureMsgRateWithRetry(const char* name, uint8_t rate);

// Decodes one frame starting at 0xB5 0x62 of length bytes: 0 when handled
// or skipped, -1 for a short, over-long, corrupt or unknown frame.
int GPS_ParseUbxMsg(const uint8_t* frame, int length);
