// Ethernet interface settings of the front (eth0) and rear (eth1) ports: a
// running copy per interface, the parameters of the network table, the
// pending configuration applied to the interfaces, the link mode of eth1,
// the MAC steps, the network status record and ip.conf.
#pragma once

#include <cstddef>
#include <cstdint>

struct ifreq;
struct sockaddr;

// The running copy of one interface. Addresses are IPv4 words in network
// byte order, as inet_addr gives them.
struct EthRunningCfg {
    uint8_t mac[6];
    uint32_t address;
    uint32_t netmask;
    uint32_t gateway;
    uint32_t oldGateway;
    uint32_t reserved; // nothing sets it
    uint8_t autoneg;   // 1 on
    uint8_t duplex;    // 0 full, 1 half
    uint8_t speed;     // 0 100 Mbit/s, 1 10 Mbit/s
};
// 0 eth0, 1 eth1; null for another interface.
const EthRunningCfg* ETHM_GetRunningCfg(int iface);

// Parameters 1 to 14 (1..7 eth0, 8..14 eth1: MAC bytes 0-3, MAC bytes 4-5,
// address, netmask, gateway, apply, reserved). 0; 9 for the apply ids,
// which are not readable; 1 for an unknown id (the value is all ones).
int ETHM_GetParam(uint32_t id, uint32_t* value);
// The 14 parameters as words (the apply ids as 0); *count := 56 bytes.
int ETHM_GetAll(uint32_t* table, uint32_t* count);
// Changes one parameter unless `checkOnly`: MAC bytes go into the running
// copy and the configured pending MAC, the addresses into the running copy;
// the apply ids validate the running copy (11 when wrong, the copy reloaded
// from the configuration) and request the interface's apply command with
// the value (9 when the command table does not take it). -1 for ids 7, 14
// and unknown ids.
int ETHM_ChangeCfg(uint32_t id, uint32_t value, uint32_t checkOnly);

// Store the interface's default address, netmask and gateway through the
// configuration setters.
void ETHM_SetDefaultCfgEth0();
void ETHM_SetDefaultCfgEth1();
// Apply the pending configuration of an interface when its pending-apply
// flag is set: a wrong one is replaced by the defaults. 0, or -1 when the
// pending configuration was wrong.
int ETHM_ApplyPendingCfgEth0();
int ETHM_ApplyPendingCfgEth1();
int ETHM_ApplyPendingCfgAll();
// The validation of a pending configuration alone: 0 or -1.
int ETHM_CheckPendingCfgEth0();
int ETHM_CheckPendingCfgEth1();
// Load the running copy from the configuration and apply the interface.
void ETHM_LoadRunningCfgEth0();
void ETHM_LoadRunningCfgEth1();
// 0 eth0, 1 eth1 (with its link mode), any other value both without the
// link mode. Returns 2.
int ETHM_ApplyInterface(int iface);
// Down, address, netmask, default route replaced, up, from the running copy
// (eth0 runs the EMAC0 fix-up first). 0; -1 no socket, -2 address, -3
// netmask, -4 the interface did not come up.
int ETHM_ConfigureInterface(int iface);
// Runs "ethtool" with the link mode of eth1's running copy: its status.
int ETHM_SetLinkMode();
// The MAC commands: take the pending addresses into use. Return 2.
int ETHM_ApplyMacEth0();
int ETHM_ApplyMacEth1();
int ETHM_ApplyMacGbeA();
int ETHM_ApplyMacGbeB();
// Running copies from the configuration, then both pending configurations.
void ETHM_InitRunningCfg();
// Running copies to the defaults, both interfaces configured.
void ETHM_ApplyDefaultCfg();
// Address, netmask and gateway of the running copy into the configuration.
void ETHM_CopyRunningToPendingEth0();
void ETHM_CopyRunningToPendingEth1();

// The network status record of the network table read (116 bytes).
struct NetworkStatusRecord {
    uint32_t eth0Address, eth0Netmask, eth0Gateway;
    uint32_t eth0CfgRequest, eth0CfgStatus;
    uint32_t eth1Address, eth1Netmask, eth1Gateway;
    uint32_t eth1CfgRequest, eth1CfgStatus;
    uint32_t eth0OldGateway, eth1OldGateway;
    uint32_t one;
    uint32_t cpuVlanId;
    uint32_t keyLockWord;
    uint32_t unused[14];
};
static_assert(sizeof(NetworkStatusRecord) == 116);
// 0, or 16 for a missing record.
int fillNetworkStatus(NetworkStatusRecord* record);

// The hardware address of the interface named in `req` as
// "XX:XX:XX:XX:XX:XX" into `text` (18 bytes): 0, or -1.
int ETHM_GetMacText(int sock, struct ifreq* req, char* text);
// An IPv4 address (sockaddr_in) as text into `text` of `size` bytes: 0, or
// -1 ("inet_ntop" on standard error).
int ETHM_GetAddrText(const struct sockaddr* addr, char* text, size_t size);
// Prints "<name>: ip <address> - hw_addr <mac>" of an interface: 0, or -1.
int ETHM_PrintIface(int sock, const char* name);

// /mnt/ubi0/conf/ip.conf from the running copies, the old file kept as
// ip.conf.old: 0, or 9 when it cannot be written (the old file restored).
int ETHM_WriteIpConf();
// Reads ip.conf into the module's own pair of records: 0, or 9 when missing.
struct IpConfRecord {
    char address[16];
    char netmask[16];
    char gateway[16];
};
int ETHM_ReadIpConf();
// 0 eth0, 1 eth1; null for another interface.
const IpConfRecord* ETHM_GetIpConfRecord(int iface);
