// Table dispatchers of the display, SNMP, table-client and remote-unit
// peers, with their read and write maps as tables.
#include "comtab/dispatchers.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/comtab.h"
#include "comtab/commandTable.h"
#include "comtab/dbPool.h"
#include "comtab/writeHandlers.h"
#include "core/base/logs.h"
#include "links/comChannels.h"
#include "links/dcm.h"
#include "links/dcmMsg.h"
#include "links/dipc.h"
#include "links/ethernetSettings.h"
#include "platform/clock.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// An audio-over-IP port record of tables 51 and 52 (elements 4 to 10).
struct AoipPort {
    uint32_t enable, mode, value, word, option, vlanId;
};

struct State {
    uint32_t remoteActivation = 1;
    // The network words of tables 45, sides 0 and 1.
    uint32_t networkWord[2] = {};
    AoipPort aoip[2] = {};
};

State& st()
{
    static State s;
    return s;
}

void put32(uint8_t* b, uint32_t v)
{
    memcpy(b, &v, 4);
}

uint32_t get32(const uint8_t* b)
{
    uint32_t v;
    memcpy(&v, b, 4);
    return v;
}

void putBe16(uint8_t* b, uint32_t v)
{
    b[0] = static_cast<uint8_t>(v >> 8);
    b[1] = static_cast<uint8_t>(v);
}

// A two-character code (language, locale) from the value's bytes, first
// character in the low byte.
void codeOf(uint32_t value, char* code)
{
    code[0] = static_cast<char>(value);
    code[1] = static_cast<char>(value >> 8);
    code[2] = 0;
}

// A checked key write: the key's own validator, then its setter.
template <typename Valid, typename Set>
uint32_t checked(uint32_t v, Valid valid, Set set)
{
    if (!valid(v))
        return COMTAB_OUT_OF_RANGE;
    set(v);
    return COMTAB_OK;
}

// ---- Display: the table-2 writer ----------------------------------------------

// The settings of an Ethernet port as the display's table 2 and table 40
// number them: address, netmask, gateway and the port's command request
// (entry 0 front, 1 rear) in four elements from `first`. true when `e` is one
// of them, written unchecked.
bool writePortSettings(int side, uint32_t first, uint32_t e, uint32_t v)
{
    static void (*const kSet[2][3])(uint32_t) = {
        {setFrontEthernetIPAddress, setFrontEthernetIPNetmask, setFrontEthernetIPGateway},
        {setRearEthernetIPAddress, setRearEthernetIPNetmask, setRearEthernetIPGateway},
    };
    if (e < first || e > first + 3)
        return false;
    if (e == first + 3)
        setCommandRequest(static_cast<uint32_t>(side), v);
    else
        kSet[side][e - first](v);
    return true;
}

uint32_t displayWriteTable2(uint32_t element, uint32_t value)
{
    if (writePortSettings(0, 5, element, value) || writePortSettings(1, 10, element, value))
        return COMTAB_OK;
    switch (element) {
    // The unit network option word of this numbering has no store in the
    // unit: the write is taken and changes nothing.
    case 15: return COMTAB_OK;
    // The switch option word: the requested switch mode, unchecked.
    case 26: setEthernetSwitchConfigReq(value); return COMTAB_OK;
    case 28: setCpuVlanId(value & 0xFFFFu); return COMTAB_OK;
    case 29: LogicaTx_SetKeyLockWord(value & 0xFFFFu); return COMTAB_OK;
    default: return element >= 1 && element <= 29 ? COMTAB_NOT_WRITABLE : COMTAB_NO_ELEMENT;
    }
}

void sendIpc(const DipcPacket* reply)
{
    DIPC_Send(COM_IpcDescriptor(), reply);
}

// A reply: byte 0 and the table and element of the request, the reply type.
void startReply(const DipcPacket* request, DipcPacket* reply)
{
    reply->peerId = request->peerId;
    reply->type = static_cast<uint8_t>(request->type + DIPC_REPLY);
    reply->table = request->table;
    reply->element = request->element;
}

// The answer to a write: its result in the value.
void sendWriteResult(const DipcPacket* request, DipcPacket* reply, uint32_t result)
{
    startReply(request, reply);
    reply->value = result;
    sendIpc(reply);
}

// ---- Tables dispatcher: read map ----------------------------------------------

uint32_t macWord0(const uint8_t* m)
{
    return (uint32_t(m[0]) << 24) | (uint32_t(m[1]) << 16) | (uint32_t(m[2]) << 8) | m[3];
}

uint32_t macWord1(const uint8_t* m)
{
    return (uint32_t(m[4]) << 8) | m[5];
}

void words(uint8_t* b, std::initializer_list<uint32_t> list)
{
    int i = 0;
    for (uint32_t w : list)
        put32(b + 4 * i++, w);
}

void readUnit(uint8_t* b)
{
    memset(b, 0, 56);
    uint16_t state = getUnitStateByte();
    uint16_t variant = getUnitVariant();
    memcpy(b + 2, &state, 2);
    memcpy(b + 6, &variant, 2);
    exportEventBitmap(b + 8);
    put32(b + 8 * 4, getStandardType());
    put32(b + 10 * 4, getUnitWord(0));
    put32(b + 11 * 4, getWebsRefreshTime());
    put32(b + 13 * 4, getWebTimerErrorTimeout());
}

// Tables 2 to 10 carry no content: word 0 of 2, 3 and 5 is cleared.
void readClearFirst(uint8_t* b)
{
    put32(b, 0);
}

void readNothing(uint8_t*) {}

void readIdentity(uint8_t* b)
{
    words(b, {getUnitStateByte(), getModeWord(), 0, getUnitWord(0), getUnitWord(1), getUnitWord(2), 0});
}

void readNetwork40(uint8_t* b)
{
    uint8_t front[6], rear[6];
    getFrontMacActive(front);
    getRearMacActive(rear);
    words(b, {macWord0(front), macWord1(front), getFrontEthernetIPAddress(), getFrontEthernetIPNetmask(),
              getFrontEthernetIPGateway(), getCommandRequest(0), getCommandStatus(0), macWord0(rear), macWord1(rear),
              getRearEthernetIPAddress(), getRearEthernetIPNetmask(), getRearEthernetIPGateway(), getCommandRequest(1),
              getCommandStatus(1), getEthernetSwitchConfig(), getCpuVlanId()});
}

void readTime(uint8_t* b)
{
    time_t now = clockWallSeconds();
    struct tm t = {};
    localtime_r(&now, &t);
    words(b, {uint32_t(t.tm_mday), uint32_t(t.tm_mon + 1), uint32_t(t.tm_year + 1900), uint32_t(t.tm_hour),
              uint32_t(t.tm_min), uint32_t(t.tm_sec), getCommandRequest(3), getCommandStatus(3),
              getWebsRefreshTime(), getSystemClockSource(), getSystemTimeSource(), getSystemTimezoneID(),
              getCommandRequest(20), getCommandStatus(20), 0});
}

void readMacs(uint8_t* b)
{
    uint8_t front[6], rear[6];
    getFrontMacActive(front);
    getRearMacActive(rear);
    words(b, {macWord0(front), macWord1(front), getCommandRequest(4), getCommandStatus(4), macWord0(rear),
              macWord1(rear), getCommandRequest(5), getCommandStatus(5)});
}

void readNetworkWords(uint8_t* b)
{
    const State& s = st();
    words(b, {s.networkWord[0], 0, getCommandRequest(6), getCommandStatus(6), s.networkWord[1], 0,
              getCommandRequest(6), getCommandStatus(6)});
}

// Sections published whole in DbPool (reference selection, upgrade and
// command flags): the image is the published words.
template <int Section>
void readPublished(uint8_t* b)
{
    for (int i = 0; i < 12; i++)
        put32(b + 4 * i, *getDbAreaCell(Section, static_cast<uint32_t>(i + 1)));
}

template <int Side>
void readAoip(uint8_t* b)
{
    const AoipPort& p = st().aoip[Side];
    words(b, {0, 0, 0, p.enable, p.mode, p.value, p.word, p.option, 0, p.vlanId});
}

struct ReadRow {
    uint32_t table;
    uint32_t length; // bytes
    void (*fill)(uint8_t*);
};

constexpr ReadRow kReadMap[] = {
    {1, 56, readUnit},
    {2, 116, readClearFirst},
    {3, 120, readClearFirst},
    {4, 92, readNothing},
    {5, 124, readClearFirst},
    {6, 48, readNothing},
    {7, 32, readNothing},
    {8, 124, readNothing},
    {9, 124, readNothing},
    {10, 72, readNothing},
    {11, 0, readNothing},
    {12, 0, readNothing},
    {13, 0, readNothing},
    {14, 0, readNothing},
    {15, 0, readNothing},
    {16, 28, readIdentity},
    {40, 64, readNetwork40},
    {43, 60, readTime},
    {44, 32, readMacs},
    {45, 32, readNetworkWords},
    {48, 48, readPublished<48>},
    {49, 44, readPublished<49>},
    {50, 40, readPublished<50>},
    {51, 40, readAoip<0>},
    {52, 40, readAoip<1>},
};

// ---- Tables dispatcher: write map ---------------------------------------------

uint32_t writeUnitTable(uint32_t e, uint32_t v)
{
    char code[3];
    switch (e) {
    case 1: codeOf(v, code); setLanguage(code); return COMTAB_OK;
    case 2: codeOf(v, code); setLocale(code); return COMTAB_OK;
    case 14: return checked(v & 0xFFFFu, isValidWebTimerErrorTimeout, setWebTimerErrorTimeout);
    default: return e <= 14 ? COMTAB_NOT_WRITABLE : COMTAB_NO_ELEMENT;
    }
}

// A table of `last` elements none of which is writable.
template <uint32_t First, uint32_t Last>
uint32_t writeNone(uint32_t e, uint32_t)
{
    return e >= First && e <= Last ? COMTAB_NOT_WRITABLE : COMTAB_NO_ELEMENT;
}

uint32_t writeIgnored(uint32_t, uint32_t)
{
    return COMTAB_OK;
}

uint32_t writeNetwork40(uint32_t e, uint32_t v)
{
    if (writePortSettings(0, 3, e, v) || writePortSettings(1, 10, e, v))
        return COMTAB_OK;
    switch (e) {
    case 15: return checked(v, isValidEthernetSwitchConfig, setEthernetSwitchConfig);
    case 16: return checked(v, isValidCpuVlanId, setCpuVlanId);
    default: return e >= 1 && e <= 16 ? COMTAB_NOT_WRITABLE : COMTAB_NO_ELEMENT;
    }
}

uint32_t writeTime43(uint32_t e, uint32_t v)
{
    if (e == 8 || e == 14)
        return COMTAB_NOT_WRITABLE;
    // The time source alone: no NTP synchronisation is requested here.
    if (e == 11)
        return checked(v, isValidSystemTimeSource, setSystemTimeSource);
    if ((e >= 1 && e <= 7) || (e >= 9 && e <= 13))
        return writeTableElement(43, e, v);
    return COMTAB_NO_ELEMENT;
}

uint32_t writeMacs44(uint32_t e, uint32_t v)
{
    if ((e >= 1 && e <= 3) || (e >= 5 && e <= 7))
        return writeTableElement(44, e, v);
    return COMTAB_NO_ELEMENT;
}

uint32_t writeNetworkWords45(uint32_t e, uint32_t v)
{
    switch (e) {
    case 1: st().networkWord[0] = v; return COMTAB_OK;
    case 5: st().networkWord[1] = v; return COMTAB_OK;
    // Entry 6 takes the pending addresses of both GbE ports.
    case 3:
    case 7: setCommandRequest(6, v); return COMTAB_OK;
    case 2:
    case 6: return COMTAB_OK;
    default: return COMTAB_NO_ELEMENT;
    }
}

uint32_t writeReference48(uint32_t e, uint32_t v)
{
    if (e == 1) {
        setGpsStatusWord(v);
        return COMTAB_OK;
    }
    return e >= 2 && e <= 12 ? COMTAB_NOT_WRITABLE : COMTAB_NO_ELEMENT;
}

uint32_t writeUpgrade49(uint32_t e, uint32_t v)
{
    return writeTableElement(49, e, v);
}

uint32_t writeUpgrade50(uint32_t e, uint32_t v)
{
    if ((e >= 1 && e <= 4) || e == 10)
        return writeTableElement(50, e, v);
    return e >= 1 && e <= 15 ? COMTAB_NOT_WRITABLE : COMTAB_NO_ELEMENT;
}

template <int Side>
uint32_t writeAoip(uint32_t e, uint32_t v)
{
    AoipPort& p = st().aoip[Side];
    switch (e) {
    case 4: p.enable = v; return COMTAB_OK;
    case 5: p.mode = v; return COMTAB_OK;
    case 6: p.value = v; return COMTAB_OK;
    // A UDP port number.
    case 7:
        if (v == 0 || v > 0xFFFFu)
            return COMTAB_OUT_OF_RANGE;
        p.word = v;
        return COMTAB_OK;
    case 8:
    case 9:
        if (v > 1)
            return COMTAB_OUT_OF_RANGE;
        if (e == 8)
            p.option = v;
        return COMTAB_OK;
    case 10:
        if (!isValidCpuVlanId(v))
            return COMTAB_OUT_OF_RANGE;
        p.vlanId = v;
        return COMTAB_OK;
    default: return e >= 1 && e <= 3 ? COMTAB_NOT_WRITABLE : COMTAB_NO_ELEMENT;
    }
}

struct WriteRow {
    uint32_t first, last; // tables
    uint32_t (*write)(uint32_t element, uint32_t value);
};

constexpr WriteRow kWriteMap[] = {
    {1, 1, writeUnitTable},
    {2, 2, writeNone<1, 29>},
    {3, 4, writeIgnored},
    {5, 5, writeNone<1, 31>},
    {6, 10, writeIgnored},
    {11, 16, writeNone<1, 7>},
    {40, 40, writeNetwork40},
    {43, 43, writeTime43},
    {44, 44, writeMacs44},
    {45, 45, writeNetworkWords45},
    {48, 48, writeReference48},
    {49, 49, writeUpgrade49},
    {50, 50, writeUpgrade50},
    {51, 51, writeAoip<0>},
    {52, 52, writeAoip<1>},
};

// The element read map: (table, element) onto a command status or flag.
struct ElementReadRow {
    uint32_t table, element;
    uint32_t (*read)();
};

template <int Entry>
uint32_t statusOf()
{
    return getCommandStatus(Entry);
}

uint32_t upgradeEnable()
{
    return getUpgradeParam();
}

constexpr ElementReadRow kElementReadMap[] = {
    {49, 8, statusOf<12>}, {49, 10, statusOf<13>}, {50, 1, upgradeEnable},
    {50, 5, statusOf<9>},  {50, 7, statusOf<17>},
};

// ---- Remote dispatcher --------------------------------------------------------

constexpr uint32_t kRemoteImageBytes = 40;
constexpr uint32_t kRemoteFailFill = 320;

void remoteUnitImage(uint8_t* b)
{
    memset(b, 0, kRemoteImageBytes);
    putBe16(b, getUnitStateByte());
    putBe16(b + 4, getUnitVariant());
    exportEventBitmap(b + 8);
}

// Per port: MAC (6 bytes), address, netmask and gateway (most significant
// first), the request and status bytes of the port's command.
void remoteNetworkImage(uint8_t* b)
{
    for (int side = 0; side < 2; side++) {
        uint8_t* p = b + 20 * side;
        const EthRunningCfg* c = ETHM_GetRunningCfg(side);
        memcpy(p, c->mac, 6);
        // The running copy keeps network-order words: their bytes are the
        // address's bytes in wire order already.
        memcpy(p + 6, &c->address, 4);
        memcpy(p + 10, &c->netmask, 4);
        memcpy(p + 14, &c->gateway, 4);
        p[18] = static_cast<uint8_t>(getCommandRequest(side));
        p[19] = static_cast<uint8_t>(getCommandStatus(side));
    }
}

} // namespace

// ---- Netlink dispatchers ------------------------------------------------------

void Display_msg_dispatcher(const DipcPacket* request, DipcPacket* reply)
{
    switch (request->type) {
    case DIPC_WRITE: {
        uint32_t r = request->table == 2 ? displayWriteTable2(request->element, request->value) : COMTAB_NO_ELEMENT;
        if (r != COMTAB_OK)
            logErr("WRITE_REQ: ERRORE %d\n\n", static_cast<int>(r));
        sendWriteResult(request, reply, r);
        return;
    }
    case DIPC_READ_TABLE: {
        startReply(request, reply);
        NetworkStatusRecord record;
        if (request->table == 2 && fillNetworkStatus(&record) == 0) {
            memcpy(reply->data, &record, sizeof record);
            reply->dataLength = sizeof record;
        } else {
            memset(reply->data, 0xFF, sizeof reply->data);
            reply->dataLength = 0;
        }
        sendIpc(reply);
        return;
    }
    default:
        logErr("%s - unknown msg type\n", "Display_msg_dispatcher");
        return;
    }
}

uint32_t SNMP_Write_Table_Elem(uint32_t, uint32_t, uint32_t)
{
    uint32_t r = COMTAB_NO_ELEMENT;
    logDebug("SNMP_Write_Table_Elem: retValue = %d\n\n", static_cast<int>(r));
    return r;
}

int SNMP_Read_Table_Elem(uint32_t table, uint32_t*, uint8_t*)
{
    logDebug("TabId = %d\n\n", static_cast<int>(table));
    return -1;
}

void SNMP_msg_dispatcher(const DipcPacket* request, DipcPacket* reply)
{
    startReply(request, reply);
    switch (request->type) {
    case DIPC_WRITE: {
        logDebug("SNMP_msg_dispatcher:Type: WRITE_REQ:\n\n");
        uint32_t r = SNMP_Write_Table_Elem(request->table, request->element, request->value);
        logDebug("WRITE_REQ: ERRORE %d\n\n", static_cast<int>(r));
        reply->value = r;
        break;
    }
    case DIPC_READ_TABLE: {
        uint32_t length = request->dataLength;
        SNMP_Read_Table_Elem(request->table, &length, reply->data);
        reply->dataLength = 0;
        break;
    }
    case DIPC_READ: {
        logDebug("Calling SNMP_Read_Table_Elem\n\n");
        uint32_t length = 0;
        SNMP_Read_Table_Elem(request->table, &length, reply->data);
        reply->value = request->value;
        break;
    }
    default:
        return;
    }
    sendIpc(reply);
}

uint32_t tablesWriteElement(uint32_t table, uint32_t element, uint32_t value)
{
    printf("T%u E%u V0x%08lX\n", table, element, static_cast<unsigned long>(value));
    for (const WriteRow& row : kWriteMap)
        if (table >= row.first && table <= row.last)
            return row.write(element, value);
    return COMTAB_NO_ELEMENT;
}

int tablesReadTable(uint32_t table, uint8_t* buffer, uint32_t* length)
{
    for (const ReadRow& row : kReadMap)
        if (row.table == table) {
            row.fill(buffer);
            *length = row.length;
            return 0;
        }
    *length = 0;
    return -1;
}

void TABLES_msg_dispatcher(const DipcPacket* request, DipcPacket* reply)
{
    switch (request->type) {
    case DIPC_WRITE: {
        uint32_t r = tablesWriteElement(request->table, request->element, request->value);
        if (r != COMTAB_OK)
            logDebug("WRITE_REQ: ERRORE %d\n\n", static_cast<int>(r));
        sendWriteResult(request, reply, r);
        return;
    }
    case DIPC_READ_TABLE: {
        startReply(request, reply);
        uint32_t table = request->table & 0xFFu;
        uint32_t length = 0;
        if (tablesReadTable(table, reply->data, &length) != 0) {
            reply->dataLength = 0;
            reply->value = 0xFFFFFFFFu;
        } else {
            reply->dataLength = static_cast<uint16_t>(length);
            printf("T%u\n", table);
            for (uint32_t n = 0; n < length / 4; n++) {
                uint32_t w = get32(reply->data + 4 * n);
                printf("%02u : 0x%08X\n", n + 1, w);
                if (table != 43 && n < 64) {
                    uint32_t cell = *getDbAreaCell(table, n + 1);
                    if (cell != w)
                        printf("ERR: 0x%08X\n", cell);
                }
            }
        }
        sendIpc(reply);
        return;
    }
    case DIPC_READ: {
        startReply(request, reply);
        reply->value = request->value;
        for (const ElementReadRow& row : kElementReadMap)
            if (row.table == request->table && row.element == request->element) {
                reply->value = row.read();
                printf("T%u %02u : 0x%08lX\n", request->table, request->element,
                       static_cast<unsigned long>(reply->value));
            }
        sendIpc(reply);
        return;
    }
    default:
        return;
    }
}

// ---- Ethernet-manager glue of table 13 ------------------------------------------

uint32_t netTableReadParam(uint32_t table, uint32_t element)
{
    uint32_t v = 0xFFFFFFFFu;
    if (table == 13)
        ETHM_GetParam(element, &v);
    return v;
}

uint32_t netTableReadAll(uint32_t table, uint32_t* words)
{
    uint32_t count = 0;
    if (table == 13)
        ETHM_GetAll(words, &count);
    return count;
}

uint32_t netTableChange(uint32_t table, uint32_t element, uint32_t value)
{
    if (table != 13) {
        logErr("Write failed -- Table not found\n");
        return COMTAB_NO_ELEMENT;
    }
    int r = ETHM_ChangeCfg(element, value, 0);
    if (r != 0)
        logErr("Write failed -- Error [%ld]\n", static_cast<long>(r));
    return static_cast<uint32_t>(r);
}

// ---- Remote dispatcher --------------------------------------------------------

uint32_t REMOTE_GetActivation()
{
    return st().remoteActivation;
}

void REMOTE_SetActivation(uint32_t flag)
{
    st().remoteActivation = flag;
}

uint32_t REMOTE_Write_Table_Elem(uint32_t table, uint32_t element, uint32_t value)
{
    State& s = st();
    if (s.remoteActivation == 0) {
        if (table != 1)
            return COMTAB_NOT_WRITABLE;
        if (element == 12) {
            logDebug("REMOTE2_REMOTE_ACTIVATION_CMD: Active\n\n");
            s.remoteActivation = value;
            return COMTAB_OK;
        }
        if (element == 9) {
            logDebug("REMOTE_Write_Table_Elem: Write ManagementMode al valore %ld\n\n", static_cast<long>(value));
            return COMTAB_OK;
        }
        return COMTAB_NOT_WRITABLE;
    }
    char code[3];
    if (table == 1) {
        switch (element) {
        case 1: codeOf(value, code); setLanguage(code); return COMTAB_OK;
        case 2: codeOf(value, code); setLocale(code); return COMTAB_OK;
        default: return COMTAB_NO_ELEMENT;
        }
    }
    if (table == 22) {
        switch (element) {
        case 1: case 2: case 8: case 9: return COMTAB_REFUSED;
        case 3: case 4: case 5: case 6: case 10: case 11: case 12: case 13:
            return netTableChange(13, element, value);
        default: return COMTAB_NOT_WRITABLE;
        }
    }
    return COMTAB_NOT_WRITABLE;
}

int REMOTE_msg_dispatcher(int channel, const DcmMsg* request, DcmMsg* reply)
{
    DMSG_Clear(reply);
    DMSG_SetAddress(reply, request->address);
    switch (request->command) {
    case 3: {
        printf("%s - Type: WRITE_REQUEST:\n", "REMOTE_msg_dispatcher");
        const DcmWriteElem& e = request->list[0];
        uint32_t r = request->count > 0 ? REMOTE_Write_Table_Elem(e.table, e.element, e.value) : COMTAB_NO_ELEMENT;
        if (r != COMTAB_OK)
            logDebug("WRITE_REQ: ERRORE %d\n\n", static_cast<int>(r));
        // One element: its table and element byte, the result in its value
        // byte. A refused write is answered too, so that the unit sees why.
        DMSG_SetCommand(reply, 139);
        uint8_t data[4] = {1, e.table, static_cast<uint8_t>(e.element * 4 + e.sizeType), static_cast<uint8_t>(r)};
        DMSG_SetDataLen(reply, 4);
        DMSG_SetDataBlock(reply, data);
        break;
    }
    case 4: {
        printf("%s - Type: SEQ_READ_REQUEST:\n", "REMOTE_msg_dispatcher");
        const DcmReadBlock& b = request->block;
        printf("%s - Read table %d ; Num Elem %d\n", "REMOTE_msg_dispatcher", b.table, request->count);
        uint8_t image[kRemoteFailFill];
        uint32_t length = kRemoteImageBytes;
        if (b.table == 1)
            remoteUnitImage(image);
        else if (b.table == 22)
            remoteNetworkImage(image);
        else {
            memset(image, 0xFF, sizeof image);
            length = 0;
        }
        DMSG_SetCommand(reply, 140);
        DMSG_SetType(reply, DCM_TYPE_READ_BLOCK);
        uint32_t size = b.sizeType >= DCM_SIZE_8 && b.sizeType <= DCM_SIZE_32 ? b.sizeType : DCM_SIZE_8;
        uint32_t item = size == DCM_SIZE_32 ? 4 : size;
        DMSG_SetReadRequest(reply, size, b.table, b.firstElem ? b.firstElem : 1,
                            static_cast<uint8_t>(length / item), image);
        // A failed read carries its error code in the data block.
        uint8_t code = length == 0 ? static_cast<uint8_t>(COMTAB_NO_ELEMENT) : 0;
        DMSG_SetDataLen(reply, 1);
        DMSG_SetDataBlock(reply, &code);
        break;
    }
    default:
        return 17;
    }
    DMSG_SetState(reply, DCM_STATE_READY);
    DMSG_SetAddrMode(reply, DCM_ADDR_4BYTE);
    return DCM_Send(channel, reply);
}
