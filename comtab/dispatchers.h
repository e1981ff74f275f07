// Table dispatchers for particular peers: the display, the SNMP agent and a
// table client over netlink, and a remote unit over DCM. Each serves one
// request with read and write maps of its own from (table, element) onto
// the configuration accessors, in an older table numbering (tables 2 and 40
// network tables, 22 the Ethernet manager, 13 the running network
// parameters). No channel of the daemon is given one of them; a channel that
// wants one calls it with each request it received.
#pragma once

#include <cstdint>

struct DipcPacket;
struct DcmMsg;

// Netlink dispatchers: serve `request` into `reply` and send the reply with
// DIPC_Send on the IPC channel. Element write (3) answers 131 with the
// result in the value, table read (6) answers 134 with the image in the
// data, element read (2) answers 130.
void Display_msg_dispatcher(const DipcPacket* request, DipcPacket* reply);
void SNMP_msg_dispatcher(const DipcPacket* request, DipcPacket* reply);
void TABLES_msg_dispatcher(const DipcPacket* request, DipcPacket* reply);

// DCM dispatcher of a remote unit: WRITE_REQUEST (3) answered with 139,
// SEQ_READ_REQUEST (4) with 140, sent on `channel` with four-byte addresses.
// The DCM_Send result, or 17 for another command (nothing sent).
int REMOTE_msg_dispatcher(int channel, const DcmMsg* request, DcmMsg* reply);

// Element operations of the dispatchers.
uint32_t REMOTE_Write_Table_Elem(uint32_t table, uint32_t element, uint32_t value);
// Serve no table: -1, nothing copied (SNMP_Write_Table_Elem gives 1).
int SNMP_Read_Table_Elem(uint32_t table, uint32_t* length, uint8_t* buffer);
uint32_t SNMP_Write_Table_Elem(uint32_t table, uint32_t element, uint32_t value);

// The table dispatcher's maps, for a channel that serves them itself.
// Write: a result code. Read: 0 and the image in `buffer` (at most
// DISPATCH_IMAGE_MAX bytes) with its length, or -1 (length 0) for a table
// it does not serve.
constexpr uint32_t DISPATCH_IMAGE_MAX = 124;
uint32_t tablesWriteElement(uint32_t table, uint32_t element, uint32_t value);
int tablesReadTable(uint32_t table, uint8_t* buffer, uint32_t* length);

// The Ethernet-manager glue of the running network parameters (table 13
// only): one parameter (all ones for another table or an unknown one), all
// of them (the byte count, 0 for another table; `words` holds 14), and a
// change (its ETHM_ChangeCfg result after an ERR line when not 0; 1 after
// "Write failed -- Table not found" for another table).
uint32_t netTableReadParam(uint32_t table, uint32_t element);
uint32_t netTableReadAll(uint32_t table, uint32_t* words);
uint32_t netTableChange(uint32_t table, uint32_t element, uint32_t value);

// The remote activation flag (1 at start): while 0 a remote unit may write
// only the activation and management elements of table 1.
uint32_t REMOTE_GetActivation();
void REMOTE_SetActivation(uint32_t flag);
