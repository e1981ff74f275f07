// The FPGA's Gigabit Ethernet block (MPX over IP): its register words, read
// through region 16 and written through region 15, and the guarded access
// operations. Every word transfer is made under GbeMutex.
#pragma once

#include <pthread.h>
#include <cstdint>

extern pthread_mutex_t GbeMutex;

// Size 1, 2 or 4 moves one word (a read gives its low byte, low 16 bits or
// the whole word; a write writes the whole word, zero-extended); a multiple
// of 4 moves size / 4 words from offset on. 0; -1 null buffer or bad size;
// -2 the mutex cannot be taken; -3 no memory for the staging copy.
int Gbe_Read(void* buffer, uint32_t size, uint32_t offset);
int Gbe_Write(const void* buffer, uint32_t size, uint32_t offset);
// Writes the control word (offset 28) back unchanged, so the block takes new
// address and port settings.
int Gbe_Commit();
int Gbe_ReadWordAt(uint32_t* out, uint32_t offset);
int Gbe_WriteWordAt(uint32_t value, uint32_t commit, uint32_t offset);

// Setters: 0, or the first failing result. A non-zero commit commits after
// a successful write.
int Gbe_SetMacAddress(const uint8_t* mac, uint32_t commit);
int Gbe_SetIpAddr(uint32_t value, uint32_t commit);
int Gbe_SetRxAddress(uint32_t value, uint32_t commit);
int Gbe_SetMulticastGrp(uint32_t value, uint32_t commit);
int Gbe_SetUdpPort(uint16_t port, uint32_t commit);
int Gbe_SetTxMulticastEnable(uint8_t v);
int Gbe_SetTxEnable(uint16_t v);
int Gbe_SetTtl(uint8_t ttl);
int Gbe_SetLatency(uint16_t latency);
int Gbe_SetTxDestIpAddr(uint32_t v);
int Gbe_SetTxMulticastGrp(uint32_t v);
int Gbe_SetTxDestUdpPort(uint16_t port);
int Gbe_SetTxSrcUdpPort(uint16_t port);
int Gbe_SetSyncTimestampOffset(uint32_t v);
int Gbe_PulseLatencyStrobe();

// Getters: -1 for a null output before touching the block, else the read
// result (the output set on success).
int Gbe_ReadWord4(uint16_t* out);
int Gbe_ReadWords0(uint8_t* out6);
int Gbe_GetStatusA(uint8_t* out);
int Gbe_GetStatusB(uint8_t* out);
int Gbe_GetStatusC(uint8_t* out, uint32_t n); // -1 also for n above 12
int Gbe_GetRxAddress(uint32_t* out);
int Gbe_GetTxMulticastEnable(uint8_t* out);
int Gbe_GetTxEnable(uint16_t* out);
int Gbe_ReadWord64A(uint8_t* out);
int Gbe_ReadWord64B(uint32_t* out);
int Gbe_GetIpAddr(uint32_t* out);
int Gbe_GetMulticastGrp(uint32_t* out);
int Gbe_GetMacAddress(uint8_t* out6);
int Gbe_GetLatency(uint16_t* out);
int Gbe_GetTtl(uint8_t* out);
// The receive UDP port (bits 16-31 of word 12).
int Gbe_GetUdpPortWord(uint16_t* out);
