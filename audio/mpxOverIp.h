// MPX-over-IP parameters: the parameter objects of the FPGA's GbE block,
// bound to DbPool section 37, whose change hooks program the block; the
// choice of the receive address and of the transmit destination MAC, and the
// 750 ms status poll that raises alarm 62.
#pragma once

#include "alarms/param.h"

#include <cstdint>

// The parameter objects, by their cell (37, item).
struct GbeParams {
    ParamU32 ipAddr;        // 37 GBE_IpAddr
    ParamU32 netMask;       // 38 GBE_NetMask
    ParamU32 gwAddr;        // 39 GBE_GWAddr
    ParamU32 statusFlags;   // 1
    ParamU32 ucMacLow;      // 5
    ParamU32 ucMacHigh;     // 6
    ParamU32 configFlags;   // 33 GBE_ConfigFlags
    ParamU32 macLow;        // 35
    ParamU32 macHigh;       // 36
    ParamU8 rxSampleRate;   // 9
    ParamU8 rxStatus;       // 8
    ParamU32 multicastGrp;  // 40 GBE_MulticastGrp
    ParamU16 udpPort;       // 41 GBE_UDPPort
    ParamU16 latency;       // 43 GBE_Latency
    ParamU8 txEnable;       // 48 GBE_TX_ENABLE
    ParamU8 txTsSource;     // 49 GBE_TX_TS_SOURCE
    ParamU8 txMulticastEnable; // 50 GBE_TX_MULTICAST_ENABLE
    ParamU32 txDestIpAddr;  // 51 GBE_TX_DEST_IP_ADDR
    ParamU32 txMulticastGrp; // 52 GBE_TX_MULTICAST_GRP
    ParamU16 txDestMacHigh; // 53 GBE_TX_DEST_MAC_ADDR_HIGH
    ParamU32 txDestMacLow;  // 54 GBE_TX_DEST_MAC_ADDR_LOW
    ParamU16 txDestUdpPort; // 55 GBE_TX_DEST_UDP_PORT
    ParamU16 txSrcUdpPort;  // 56 GBE_TX_SRC_UDP_PORT
    ParamU8 destMacUnresolved; // 57: 1 while the destination MAC is not resolved
    ParamU8 ttl;            // 42 GBE_TTL
    ParamU32 syncTimestampOffset; // 58 GBE_SYNC_TIMESTAMP_OFFSET
    ParamU32 word64Value;   // 59
    ParamU8 word64Byte;     // 60
};

// The parameter objects; none until GBE_InitParams has made them.
GbeParams* GBE_GetParams();
// Start-up: creates the parameters, sets their initial values (their hooks
// program the block) and publishes them.
void GBE_InitParams();
// Receive address := the gateway when the transmit destination lies outside
// the own subnet, else the destination itself; the write's result.
int GBE_SelectRxAddress();
// Transmit destination MAC: the multicast MAC of the group, the address the
// block resolved, or none (item 57 := 1).
void GBE_UpdateTxDestMac();
// 750 ms status poll of the MPX-over-IP block.
void GBE_PollStatus();
// 1 while the block reports its link up (bit 6 of its status half).
int GBE_IsLinkUp();
// Requests 1 and 2 set the request state, -1 and -2 clear their own; a
// request that finds the state 0 creates the parameters when missing.
void GBE_RequestInit(int request);
// 1 when the MPX-over-IP block is fitted (its status byte, GbeBlockFitted
// of the MPX-over-IP region), else 0.
int GBE_IsBlockFitted();
