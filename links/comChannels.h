// Link channels of the unit: opening them at start-up, the 10 ms poll loop
// and the request handler of the IPC channel.
#pragma once

#include <cstdint>

struct DipcPacket;

constexpr int COM_POLL_ENTRIES = 10;
// The IPC channel: netlink protocol 16, groups 2, 3, 5 and 7, its own port
// id the process id with bit 17 set.
constexpr int COM_IPC_PROTOCOL = 16;
constexpr uint32_t COM_IPC_GROUPS = 0x56;
constexpr uint32_t COM_IPC_PORT_BIT = 0x20000;

// Opens every link channel: the serial channels, the IPC channel, the socket
// channel; then starts the DCM request ring. A channel that cannot be opened
// here ends the process with status 1.
void COM_OpenChannels();
// Opens the IPC channel, registers it and fills its poll entry; ends the
// process with status 1 when the socket cannot be opened.
void COM_OpenIpcChannel();
// Opens tx_sr_1_ch, /dev/ttyS0, with the settings of Exciter_Mode (MASTER
// at address 10 for the units, SLAVE with Exciter_Mode 1 and 2) stored in
// COM 1 first: 0, or -1 when the port does not open (after the ERR line;
// at start the process ends).
int COM_OpenSerialChannel1();
// Opens tx_sr_3_ch, /dev/ttyS2, for the change-over link (settings in COM 3)
// unless Exciter_Mode is 1 or 2 (9): 0, or -1 as above.
int COM_OpenSerialChannel3();
// Opens the UECP port while UECP_Interface is 1: 0, 9 when the interface is
// off or the port does not open, 1 when it cannot be registered.
int COM_OpenUecpChannel();
// Opens the UDP socket channel of link 0 (port 6011) or 1 (port 6012): 0,
// or -1 as above.
int COM_OpenSocketChannel(int link);
// The unit's address text on link 0 or 1, by Change_Over_Serial_Address.
const char* COM_GetUnitAddress(int link);
// The DCM channel number of 0 IPC, 1 socket, 2 tx_sr_1_ch, 3 UECP,
// 4 tx_sr_3_ch (0 when not open or unknown).
int COM_GetChannelNumber(int which);
// Reopens asked from outside the poll loop's thread and not done yet: bit 0
// tx_sr_1_ch, bit 2 tx_sr_3_ch.
uint32_t COM_PendingReopens();
// One turn of the poll loop, never waiting.
void COM_PollChannels();
// The poll table: entry n - 1 watches DCM channel n (descriptor -1: unused).
const struct pollfd* COM_GetPollTable();
// Applies one request received on the IPC channel and answers it there.
void IPC_HandleTableRequest(DipcPacket* request);
// The IPC channel's descriptor (0 when not open).
int COM_IpcDescriptor();
// Forgets every channel of the poll table (tests).
void COM_ResetChannelsForTest();
