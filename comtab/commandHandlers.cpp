// Write handlers of the command, unit and network tables: the elements that
// request a command-manager slot or a command-table entry, and the few that
// do more than store their key. The other elements are rows of the write
// path.
#include "comtab/commandHandlers.h"

#include "Config/configCycle.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/commandManager.h"
#include "comtab/commandTable.h"
#include "comtab/writeHandlers.h"
#include "core/base/logs.h"
#include "links/comChannels.h"

namespace {

constexpr uint32_t kOwnAddressLink1 = 88;
constexpr int kUpgradeEntry = 9;
constexpr int kUploadCleanEntry = 11;
constexpr int kNtpEntry = 20;
constexpr int kSaveApEntry = 19;
constexpr uint32_t kTimeSourceNtp = 3;
constexpr uint32_t kUpgradeStepStart = 3;

// Table 7: the slot each element requests (-1: no element).
constexpr int kTable7Slots[13] = {
    -1,
    CMD_SLOT_LOCALE,
    CMD_SLOT_REMOTE,
    CMD_SLOT_AVVIO,
    CMD_SLOT_ARRESTO,
    CMD_SLOT_SBLOCCO,
    CMD_SLOT_HARD_RESET,
    CMD_SLOT_CNTR_WEB,
    CMD_SLOT_SPARE,
    CMD_SLOT_ERASE_BOOKLOG,
    CMD_SLOT_ERASE_EVENTLOG,
    CMD_SLOT_BANK_SWITCH,
    -1, // the factory reset of the level chosen through table 13
};

// The command-table entry of each request element.
struct EntryElement {
    uint8_t table;
    uint8_t element;
    uint8_t entry;
};

constexpr EntryElement kEntryElements[] = {
    {18, 6, 0},   {18, 13, 1},  {43, 7, 3},   {43, 13, 20}, {44, 3, 4},   {44, 7, 5},
    {44, 12, 23}, {44, 21, 6},  {49, 2, 14},  {49, 3, 15},  {49, 7, 12},  {49, 9, 13},
    {50, 3, 16},  {50, 4, 17},  {50, 8, 11},  {50, 12, 18}, {50, 13, 19},
};

// The configuration number of a reserve save or load: 1 to the number of
// mains in N+1 mode 1, 1 to 8 in mode 0, none in another mode.
bool isValidReserveNumber(uint32_t v)
{
    switch (getNplus1Mode()) {
    case 1: return v >= 1 && v <= getNplus1MainsNumber();
    case 0: return v >= 1 && v <= 8;
    default: return false;
    }
}

void macBytes(uint32_t value, uint8_t* out, int count)
{
    for (int i = 0; i < count; i++)
        out[i] = static_cast<uint8_t>(value >> (8 * (count - 1 - i)));
}

} // namespace

uint32_t writeCommandTableElement(int table, uint32_t element, uint32_t value)
{
    return writeTableElement(table, element, value);
}

uint32_t HAND_7_command(int, uint32_t element, uint32_t)
{
    if (element == 12)
        return getTelecommandInput(LogicaTx_GetCommandWord());
    if (element >= 13 || kTable7Slots[element] < 0)
        return 1;
    int slot = kTable7Slots[element];
    if (slot == CMD_SLOT_AVVIO && LogicaTx_GetLockoutState() == 1)
        return 13;
    int r = CMD_Request(slot, 1);
    // The mode follows the request, as the panel keys do.
    if (element == 1)
        LogicaTx_SetLocalMode(1);
    else if (element == 2)
        LogicaTx_SetLocalMode(0);
    return static_cast<uint32_t>(r);
}

uint32_t HAND_15_1(int, uint32_t, uint32_t value)
{
    uint32_t v = value & 0xffu;
    if (!isValidChangeOverSerialAddress(v))
        return 11;
    setChangeOverSerialAddress(v);
    COM_OpenSocketChannel(LogicaTx_GetOwnLinkAddress() == kOwnAddressLink1 ? 1 : 0);
    return 0;
}

uint32_t HAND_15_reserve(int, uint32_t element, uint32_t value)
{
    if (!isValidReserveNumber(value))
        return 11;
    int slot = element == 5 ? CMD_SLOT_CFG_SAVE : CMD_SLOT_CFG_LOAD;
    CMD_SetResult(slot, value);
    return static_cast<uint32_t>(CMD_Request(slot, 1));
}

uint32_t HAND_entry_request(int table, uint32_t element, uint32_t value)
{
    if (value > 2)
        return 11;
    for (const EntryElement& k : kEntryElements) {
        if (k.table != table || k.element != element)
            continue;
        if (k.entry == kUploadCleanEntry)
            logInfo("Richiedi CMD_UPLOAD_FOLDER_CLEAN [%li]\n", static_cast<long>(value));
        if (k.entry == kSaveApEntry)
            saveConfig();
        // The status cell tells the client whether the entry took it.
        setCommandRequest(k.entry, value);
        return 0;
    }
    return 1;
}

uint32_t HAND_43_11(int, uint32_t, uint32_t value)
{
    if (!isValidSystemTimeSource(value))
        return 11;
    setSystemTimeSource(value);
    if (value == kTimeSourceNtp)
        setCommandRequest(kNtpEntry, 1);
    return 0;
}

uint32_t HAND_44_mac(int, uint32_t element, uint32_t value)
{
    uint8_t b[4];
    switch (element) {
    case 1: macBytes(value, b, 4); setFrontMacReceivedHead(b); break;
    case 2: macBytes(value, b, 2); setFrontMacReceivedTail(b); break;
    case 5: macBytes(value, b, 4); setRearMacReceivedHead(b); break;
    case 6: macBytes(value, b, 2); setRearMacReceivedTail(b); break;
    case 19: macBytes(value, b, 4); setMacAddressHead(0, b); break;
    default: return 1;
    }
    return 0;
}

// (49, 1) from the USB key: 2 starts, 0 clears, 1 does nothing. (50, 2) from
// a PC: 1 starts, 2 clears, 0 does nothing. Nothing while the update runs.
uint32_t HAND_upgrade_request(int table, uint32_t, uint32_t value)
{
    if (value > 2)
        return 11;
    if (getCommandStatus(kUpgradeEntry) == 1)
        return 0;
    bool usb = table == 49;
    uint32_t start = usb ? 2 : 1;
    uint32_t clear = usb ? 0 : 2;
    if (value == start) {
        setUpgradeSource(start);
        setCommandRequest(kUpgradeEntry, 1);
        if (usb)
            setUpgradeParam(1);
    } else if (value == clear) {
        setUpgradeSource(0);
        setCommandRequest(kUpgradeEntry, 2);
    }
    return 0;
}

uint32_t HAND_50_10(int, uint32_t, uint32_t value)
{
    if (value > 8)
        return 11;
    setUpgradeState(value);
    uint32_t source = getUpgradeSource();
    if (value == kUpgradeStepStart && getUpgradeParam() == 1 && getCommandStatus(kUpgradeEntry) != 1 &&
        (source == 0 || source == 1)) {
        setUpgradeSource(1);
        setCommandRequest(kUpgradeEntry, 1);
    }
    return 0;
}
