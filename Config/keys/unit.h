// Hand-written operations of the unit region (rows: unit.def): unit state,
// serial number, vendor id and web branding, the unit's MAC addresses and
// their copies to and from the unit identity record, the network
// operations. Included by unitKeys.h.
#pragma once

#include <cstdint>

// Services of the core the unit region runs programs with, registered at
// start-up (core/startup.cpp). Without them branding makes no link and the
// SNMP agent is not stopped.
struct UnitServices {
    // Runs a program with an argument vector and waits: its exit status, -1
    // when it could not be started, -2 when fork failed.
    int (*runProgram)(const char* program, const char* const argv[]);
    // Removes a path that exists and is no directory.
    int (*removeFile)(const char* path);
    void (*killSnmpd)();
};
void registerUnitServices(const UnitServices* services);

// State byte := 2, mode word := 4, the three unit words := 0; publishes.
void resetUnitState();
// Serial port 1 override: a non-zero value gives the port to the debug
// console, 0 re-applies the configured selection.
void setUartOverride(uint32_t v);
uint32_t getUartOverride();

// The twelve serial-number bytes of UnitInfo: copied into `buffer` when it
// is not null; returns their address.
uint8_t* getSerialNumber(uint8_t* buffer);
void setSerialNumber(const uint8_t* bytes);
void dbUpdateSerialNumber();
// Rebuilds the serial number from the three serial-number words and saves
// the identity record: the save's result.
int setSerialNumberFromSlots();
// Unit flag byte (UnitInfo byte 110): a change is published and saved.
void setUnitFlag(uint32_t v);
uint8_t getUnitFlag();
int isValidUnitFlag(uint32_t v);

// "vendor_id": stores the 32-bit word when it differs, applies the web
// branding it selects and the vendor's amplifier limit, publishes, stops the
// SNMP agent (its supervisor restarts it) and marks.
void setVendorId(uint32_t v);
// Five symbolic links of the web pages to the brand of the vendor id.
void applyWebBranding();
void applyVendorHpaLimit();

// Received addresses: front and rear port, and network port (GbE side) 0 or
// 1 by side (0 port 0, any other side port 1). Plain copies.
void setFrontMacReceivedHead(const uint8_t* bytes4);
void setFrontMacReceivedTail(const uint8_t* bytes2);
void setRearMacReceivedHead(const uint8_t* bytes4);
void setRearMacReceivedTail(const uint8_t* bytes2);
void setMacAddressHead(uint32_t side, const uint8_t* bytes4);
void setMacAddressTail(uint32_t side, const uint8_t* bytes2);
// Active addresses into a six-byte buffer.
void getPortAddrActive(uint32_t side, uint8_t* out);
// The active GbE address of a side as a big-endian word and the last two
// bytes.
void getGbeActiveMac(uint32_t side, uint32_t* head, uint16_t* tail);
// Received front and rear addresses become active, go into the identity
// record and are published; the record is saved; marks the factory group.
void commitMacAddresses();
// The same for network ports 0 and 1.
void commitPortAddresses();
// The addresses of an identity record (type 1) as received ones, then both
// commits: 0, or -1 for another type.
int importUnitRecord(const uint8_t* record, int type);
// Writes the serial number and the active addresses into a record buffer;
// type must be 1 (else -1).
int exportUnitRecord(uint8_t* record, int type);

// The network settings record (40 bytes, host-order words): front address,
// front gateway, rear address, rear gateway, port words 0 and 1, front
// netmask, rear netmask (addresses in network byte order as stored); then
// the platform bytes MpxDig_DebugMsgEna and Webs_refresh_time, the 16-bit
// Web_timer_error_timeout and the time-sync capable byte.
struct NetworkSettingsRecord {
    uint32_t frontAddress, frontGateway, rearAddress, rearGateway;
    uint32_t portWord[2];
    uint32_t frontNetmask, rearNetmask;
    uint8_t mpxDigDebugMsgEna, websRefreshTime;
    uint16_t webTimerErrorTimeout;
    uint8_t timeSyncCapable;
    uint8_t pad[3];
};
static_assert(sizeof(NetworkSettingsRecord) == 40);
// Stores the record through the setters and applies the pending settings of
// eth0 then eth1: 0, or -1 when eth1's apply failed (or no record).
int applyNetworkSettingsRecord(const NetworkSettingsRecord* record);
// Fills the record from the getters while the network group is marked
// changed (else leaves it): 0 (-1 for no record).
int exportNetworkSettingsRecord(NetworkSettingsRecord* record);

// The Ethernet switch's standard configuration from the configured (force:
// the requested) switch mode and the VLAN ids: the switch's result.
int applyEthernetSwitchConfig(uint32_t force);
void networkSettingsHook(uint32_t flag);
uint32_t swapWordBytes(uint32_t v);

// Other names of these operations.
inline constexpr auto applyPendingEthernetMacs = &commitMacAddresses;
inline constexpr auto applyPendingGbeMacs = &commitPortAddresses;
inline constexpr auto setFrontEthernetMacBytes0to3 = &setFrontMacReceivedHead;
inline constexpr auto setFrontEthernetMacBytes4to5 = &setFrontMacReceivedTail;

// One step of the start-up migration (applyConfigStepwise): sets what data
// format step + 1 added to a configuration stored in format `step`, 0 to 7;
// other steps do nothing. The settings of the transmitter logic
// (alarms/logicaTxConfig.h) and the power settings (power/powerSettings.h)
// are reached here.
void runDataFormatStep(uint32_t step);

