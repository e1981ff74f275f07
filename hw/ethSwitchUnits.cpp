// The Ethernet switch's VTU and STU, general-purpose pins, PHY access and
// counters.
#include "hw/ethSwitchUnits.h"

#include "hw/mdio.h"
#include "platform/clock.h"

#include <cstdio>

#define SW_OUT(fmt, ...) printf("[%s] >> " fmt, __func__ __VA_OPT__(, ) __VA_ARGS__)

namespace {

#define ETH_SWITCH_COUNTER_NAMES
#include "hw/gen/ethSwitchTables.inc"
#undef ETH_SWITCH_COUNTER_NAMES

// Global registers (device 0x1B).
constexpr uint8_t kGlobalStatus = 0x00, kVtuFid = 0x02, kVtuSid = 0x03, kVtuOp = 0x05, kVtuVid = 0x06,
                  kVtuData1 = 0x07, kVtuData2 = 0x08, kVtuData3 = 0x09, kStatsOp = 0x1D, kStats32 = 0x1E,
                  kStats10 = 0x1F;
// Second global block (device 0x1C).
constexpr uint8_t kSmiCommand = 0x18, kSmiData = 0x19, kScratch = 0x1A;

constexpr uint16_t kBusy = 0x8000;
constexpr uint16_t kVidValid = 0x1000;
constexpr uint16_t kOpFlush = 0x9000, kOpVtuLoad = 0xB000, kOpVtuNext = 0xC000, kOpStuLoad = 0xD000,
                   kOpStuNext = 0xE000;
constexpr uint16_t kSmiRead = 0x9800, kSmiWrite = 0x9400;
constexpr int kSmiWaits = 102;
constexpr uint8_t kSidAll = 0x3F;

constexpr uint8_t kPtrMode = 0x60, kPtrDirection = 0x62, kPtrData = 0x64, kPtrPinControl = 0x68, kPtrConfig1 = 0x71,
                  kPtrPortMode = 0x72;
constexpr uint8_t kMaxPin = 14;
constexpr uint8_t kSelectPin = 2; // 0: rear port, 1: GbE switch

constexpr uint8_t kPhyControl = 0, kPhyStatus = 1, kPhyAddress = 25;
constexpr uint16_t kPhyPowerDown = 1u << 11, kPhyLink = 1u << 2, kPhyPresent = 1u << 12;

uint16_t globalAddr(uint8_t reg)
{
    return static_cast<uint16_t>(kSwitchGlobalDev * 32 + reg);
}

uint16_t global2Addr(uint8_t reg)
{
    return static_cast<uint16_t>(kSwitchGlobal2Dev * 32 + reg);
}

uint16_t portAddr(int port, uint8_t reg)
{
    return static_cast<uint16_t>((kSwitchPortDev + port) * 32 + reg);
}

int writeGlobal(uint8_t reg, uint16_t v)
{
    return mdioWriteSwitchReg(globalAddr(reg), v);
}

// The VTU/STU data registers from 2 bits per port (ports 0-6) at the bit
// within each nibble.
void writeVtuData(const uint8_t* values, int bit)
{
    uint16_t d1 = 0, d2 = 0;
    for (int p = 0; p < 7; p++) {
        uint16_t v = static_cast<uint16_t>((values ? values[p] & 3u : 0u) << (4 * (p % 4) + bit));
        if (p < 4)
            d1 |= v;
        else
            d2 |= v;
    }
    writeGlobal(kVtuData1, d1);
    writeGlobal(kVtuData2, d2);
}

// The entry registers of a walk or a load: FID, SID, VID, data and
// priority.
void writeVtuEntry(uint8_t sid, uint16_t vidWord, const uint8_t* values, int bit)
{
    writeGlobal(kVtuFid, 0);
    writeGlobal(kVtuSid, sid);
    writeGlobal(kVtuVid, vidWord);
    writeVtuData(values, bit);
    writeGlobal(kVtuData3, 0);
}

bool vtuBusyQuiet()
{
    uint16_t v = kBusy;
    return mdioReadSwitchReg(globalAddr(kVtuOp), &v) != 0 || (v & kBusy);
}

bool pinOk(uint8_t pin, const char* who)
{
    if (pin <= kMaxPin)
        return true;
    printf("[%s] >> Port value (%u) is out of range. Max is 14\n", who, pin);
    return false;
}

// Scratch and miscellaneous register: write 0x8000 | pointer << 8 | data;
// read by writing the pointer and reading the low byte back.
int scratchWrite(uint8_t ptr, uint8_t data)
{
    return mdioWriteSwitchReg(global2Addr(kScratch), static_cast<uint16_t>(kBusy | (ptr & 0x7Fu) << 8 | data));
}

int scratchRead(uint8_t ptr, uint8_t* data)
{
    uint16_t v = 0;
    if (mdioWriteSwitchReg(global2Addr(kScratch), static_cast<uint16_t>((ptr & 0x7Fu) << 8)) != 0 ||
        mdioReadSwitchReg(global2Addr(kScratch), &v) != 0)
        return -1;
    *data = static_cast<uint8_t>(v);
    return 0;
}

// Waits for the SMI PHY unit: true when it is not busy. A failed read
// counts as busy.
bool smiWait(const char* who, bool sayFailure)
{
    uint16_t v = kBusy;
    if (mdioReadSwitchReg(global2Addr(kSmiCommand), &v) != 0)
        v = kBusy;
    int n = 0;
    while ((v & kBusy) && n < kSmiWaits) {
        printf("[%s] >> Waiting for not busy...\n", who);
        clockSleepUs(1000);
        if (mdioReadSwitchReg(global2Addr(kSmiCommand), &v) != 0)
            v = kBusy;
        n++;
    }
    if ((v & kBusy) && sayFailure)
        printf("[%s] >> Failed after %d retry\n", who, n);
    return !(v & kBusy);
}

// A walk of the VTU or the STU until an invalid entry, bounded by the
// table's size.
int walkEntries(bool vtu, const char* who)
{
    writeVtuEntry(vtu ? 0 : kSidAll, kVidValid, nullptr, 0);
    uint16_t vidWord = kVidValid;
    const char* unit = vtu ? "VTU" : "STU";
    for (int n = 0; n < (vtu ? kVtuWalkLimit : kStuWalkLimit); n++) {
        if (!(vidWord & kVidValid))
            return 0;
        if (vtuBusyQuiet()) {
            printf("[%s] >> BUSY while reading %s\n", who, unit);
            return -1;
        }
        if (writeGlobal(kVtuOp, vtu ? kOpVtuNext : kOpStuNext) != 0)
            return -1;
        if (vtuBusyQuiet()) {
            printf("[%s] >> BUSY while waiting for reading %s\n", who, unit);
            return -1;
        }
        uint16_t sid = 0;
        if (mdioReadSwitchReg(globalAddr(kVtuVid), &vidWord) != 0 ||
            (!vtu && mdioReadSwitchReg(globalAddr(kVtuSid), &sid) != 0))
            return -1;
        if (vtu)
            printf("[%s] >> VID %u Valid %u\n", who, vidWord & 0xFFFu, (vidWord & kVidValid) ? 1u : 0u);
        else
            printf("[%s] >> SID %u Valid %u\n", who, sid & 0x3Fu, (vidWord & kVidValid) ? 1u : 0u);
    }
    if (!(vidWord & kVidValid))
        return 0;
    printf("[%s] >> %s walk did not end after %d entries\n", who, unit, vtu ? kVtuWalkLimit : kStuWalkLimit);
    return -1;
}

} // namespace

int isVtuBusy()
{
    if (!vtuBusyQuiet())
        return 0;
    SW_OUT("VTU DB is busy!\n");
    return -1;
}

int flushVtu()
{
    int r = isVtuBusy();
    if (r == 0)
        writeGlobal(kVtuOp, kOpFlush);
    return r;
}

int loadVtu(uint16_t vid, const uint8_t* tags)
{
    writeVtuEntry(0, static_cast<uint16_t>((vid & 0xFFFu) | kVidValid), tags, 0);
    if (vtuBusyQuiet()) {
        SW_OUT("Busy on load VTU\n");
        return -1;
    }
    if (writeGlobal(kVtuOp, kOpVtuLoad) != 0)
        return -1;
    SW_OUT("Loaded VTU VID %u\n", vid);
    return 0;
}

int loadStu()
{
    writeVtuEntry(0, kVidValid, nullptr, 2);
    if (vtuBusyQuiet()) {
        SW_OUT("Busy on load STU\n");
        return -1;
    }
    if (writeGlobal(kVtuOp, kOpStuLoad) != 0)
        return -1;
    SW_OUT("Loaded ZERO STU\n");
    return 0;
}

int loadVidRules(const SwitchDesc* desc)
{
    int first = loadStu();
    for (const SwitchVidRule& rule : desc->rules) {
        int r = loadVtu(rule.vid, rule.tags);
        if (first == 0)
            first = r;
    }
    int r = getStuEntries();
    if (first == 0)
        first = r;
    r = getVtuEntries();
    return first == 0 ? r : first;
}

int getStuEntries()
{
    return walkEntries(false, __func__);
}

int getVtuEntries()
{
    return walkEntries(true, __func__);
}

int initGpio(SwitchDesc* desc, uint8_t pin, int input)
{
    (void)desc;
    if (!pinOk(pin, __func__))
        return -1;
    uint8_t v = 0;
    if (pin == 5 || pin == 6) {
        if (scratchRead(kPtrPortMode, &v) != 0)
            return -1;
        unsigned mode = pin == 5 ? v & 7u : (v >> 4) & 7u;
        if (pin == 5)
            SW_OUT("P5MODE 2:%u 1:%u 0:%u\n", (mode >> 2) & 1u, (mode >> 1) & 1u, mode & 1u);
        else
            SW_OUT("P6MODE 2:%u 1:%u 0:%u\n", (mode >> 2) & 1u, (mode >> 1) & 1u, mode & 1u);
        if (mode != 7) {
            if (pin == 5)
                SW_OUT("P5MODE ERROR\n");
            else
                SW_OUT("P6MODE ERROR\n");
            return -1;
        }
    }
    uint8_t bank = pin / 8, bit = static_cast<uint8_t>(1u << (pin % 8));
    if (scratchRead(static_cast<uint8_t>(kPtrMode + bank), &v) != 0)
        return -1;
    if (!(v & bit)) {
        SW_OUT("GPIO%u is not configured as a GPIO\n", pin);
        return 0;
    }
    uint8_t ptr = static_cast<uint8_t>(kPtrPinControl + pin / 2), mask = pin % 2 ? 0x70 : 0x07;
    SW_OUT("Port %u Pointer %u Mask %u\n", pin, ptr, mask);
    if (scratchRead(ptr, &v) != 0)
        return -1;
    unsigned function = (v & mask) >> (pin % 2 ? 4 : 0);
    SW_OUT("GPIO%u %u Data 0x%X\n", pin, function, v);
    if (function != 0) {
        SW_OUT("GPIO%u is not configured as PURE GPIO (function %u)\n", pin, function);
        return 0;
    }
    uint8_t dirPtr = static_cast<uint8_t>(kPtrDirection + bank);
    if (scratchRead(dirPtr, &v) != 0)
        return -1;
    SW_OUT("GPIO2 direction %u Data 0x%X\n", (v & bit) ? 1u : 0u, v);
    if (!input && (v & bit)) {
        if (scratchWrite(dirPtr, static_cast<uint8_t>(v & ~bit)) != 0 || scratchRead(dirPtr, &v) != 0 || (v & bit)) {
            SW_OUT("Error writing directions to output!\n");
            return -1;
        }
        setGpio(desc, pin, 0);
    } else if (input && !(v & bit)) {
        if (scratchWrite(dirPtr, static_cast<uint8_t>(v | bit)) != 0 || scratchRead(dirPtr, &v) != 0 || !(v & bit)) {
            SW_OUT("Error writing directions to input!\n");
            return -1;
        }
    }
    return 0;
}

int setGpio(SwitchDesc* desc, uint8_t pin, uint8_t value)
{
    (void)desc;
    if (!pinOk(pin, __func__))
        return -1;
    uint8_t ptr = static_cast<uint8_t>(kPtrData + pin / 8), bit = static_cast<uint8_t>(1u << (pin % 8)), v = 0;
    if (scratchRead(ptr, &v) != 0)
        return -1;
    unsigned now = (v & bit) ? 1u : 0u;
    SW_OUT("GPIO val %u - %u\n", now, v);
    if (!now && value) {
        if (scratchWrite(ptr, static_cast<uint8_t>(v | bit)) != 0)
            return -1;
        if (pin == kSelectPin)
            SW_OUT("Switched to GBE Switch\n");
        else
            SW_OUT("GPIO%u val %u\n", pin, 1u);
    } else if (now && !value) {
        if (scratchWrite(ptr, static_cast<uint8_t>(v & ~bit)) != 0)
            return -1;
        if (pin == kSelectPin)
            SW_OUT("Switched to rear port\n");
        else
            SW_OUT("GPIO%u val %u\n", pin, 0u);
    } else {
        SW_OUT("Already configured\n");
    }
    return 0;
}

int getGpio(SwitchDesc* desc, uint8_t pin, uint8_t* bit)
{
    (void)desc;
    if (!pinOk(pin, __func__))
        return -1;
    uint8_t v = 0;
    if (scratchRead(static_cast<uint8_t>(kPtrData + pin / 8), &v) != 0)
        return -1;
    *bit = (v >> (pin % 8)) & 1u;
    return 0;
}

int configureGpio(SwitchDesc* desc, int selection)
{
    initGpio(desc, 1, 1);
    initGpio(desc, 2, 0);
    initGpio(desc, 3, 0);
    initGpio(desc, 4, 0);
    initGpio(desc, 5, 1);
    initGpio(desc, 6, 1);
    uint8_t pins[3] = {0, 0, 0};
    if (selection == 1)
        pins[0] = 1;
    else if (selection == 2)
        pins[2] = 1;
    for (uint8_t i = 0; i < 3; i++)
        setGpio(desc, static_cast<uint8_t>(2 + i), pins[i]);
    for (uint8_t pin = 0; pin <= 6; pin++) {
        uint8_t v = 0;
        getGpio(desc, pin, &v);
        SW_OUT("GPIO%u val %u\n", pin, v);
    }
    return 0;
}

int selectGbeSwitchPort(SwitchDesc* desc, uint8_t value)
{
    uint8_t v = 0;
    initGpio(desc, kSelectPin, 0);
    setGpio(desc, kSelectPin, value);
    getGpio(desc, kSelectPin, &v);
    return 0;
}

int getConfig1(SwitchDesc* desc)
{
    (void)desc;
    uint8_t v = 0;
    if (scratchRead(kPtrConfig1, &v) == 0)
        SW_OUT("CONFIG1 0x%02X  EEE_WP=%d\n", v, (v >> 7) & 1);
    return 0;
}

int readSmi(uint8_t dev, uint8_t reg, uint16_t* value)
{
    if (!smiWait(__func__, true)) {
        SW_OUT("PHY SMI is Busy\n");
        *value = 0;
        return -1;
    }
    uint16_t command = static_cast<uint16_t>(kSmiRead | (dev & 0x1Fu) << 5 | (reg & 0x1Fu)), v = 0;
    if (mdioWriteSwitchReg(global2Addr(kSmiCommand), command) != 0) {
        SW_OUT("Error on write 1.\n");
        return -1;
    }
    if (mdioReadSwitchReg(global2Addr(kSmiCommand), &v) != 0) {
        SW_OUT("Error on read 2.\n");
        return -1;
    }
    smiWait(__func__, false);
    int r = mdioReadSwitchReg(global2Addr(kSmiData), &v);
    if (r != 0) {
        SW_OUT("Error on read 3.\n");
        return r;
    }
    *value = v;
    return r;
}

int writeSmi(uint8_t dev, uint8_t reg, uint16_t value)
{
    if (!smiWait(__func__, true)) {
        SW_OUT("PHY SMI is Busy\n");
        return -1;
    }
    if (mdioWriteSwitchReg(global2Addr(kSmiData), value) != 0 ||
        mdioWriteSwitchReg(global2Addr(kSmiCommand),
                           static_cast<uint16_t>(kSmiWrite | (dev & 0x1Fu) << 5 | (reg & 0x1Fu))) != 0)
        return -1;
    return 0;
}

int setPhyActive(SwitchDesc* desc, uint8_t port)
{
    uint16_t v = 0;
    mdioReadSwitchReg(portAddr(port, 0x00), &v);
    if (!(v & kPhyPresent)) {
        SW_OUT("PHY not detected on port %u\n", port);
        desc->ports[port].PhyPresent = 0;
        return 0;
    }
    desc->ports[port].PhyPresent = 1;
    uint16_t g = 0;
    mdioReadSwitchReg(globalAddr(kGlobalStatus), &g);
    SW_OUT("PPU %u\n", (g >> 15) & 1u);
    SW_OUT("SMI device address %u\n", port);
    if (readSmi(port, kPhyControl, &v) != 0) {
        SW_OUT("PHY SMI Read Error\n");
        return -1;
    }
    SW_OUT("Phy %u Reg %u Value 0x%04X\n", port, kPhyControl, v);
    if (writeSmi(port, kPhyControl, static_cast<uint16_t>(v & ~kPhyPowerDown)) != 0)
        SW_OUT("PHY SMI Write Error\n");
    return 0;
}

int setPhyAddr(uint8_t dev, uint8_t port)
{
    uint16_t v = 0;
    if (readSmi(dev, kPhyAddress, &v) != 0) {
        SW_OUT("ERROR reading 0x%02X - 0x%02X\n", dev, kPhyAddress);
        return -1;
    }
    uint16_t moved = static_cast<uint16_t>((v & ~0x1Fu) | (port & 0x1Fu));
    if (writeSmi(dev, kPhyAddress, moved) != 0) {
        SW_OUT("ERROR writing 0x%02X - 0x%02X\n", dev, kPhyAddress);
        return -1;
    }
    SW_OUT("PHY address changed from 0x%02X to 0x%02X\n", dev, port);
    SW_OUT("PHY Dev : 0x%02X - Reg : 0x%02X - Val : 0x%04X\n", port, kPhyAddress, moved);
    uint16_t status = 0;
    mdioReadSwitchReg(portAddr(port, 0x00), &status);
    status |= kPhyPresent;
    SW_OUT("PHY added to PPU on port %u\n", port);
    mdioWriteSwitchReg(portAddr(port, 0x00), status);
    for (uint8_t reg = 0; reg <= 1; reg++) {
        uint16_t r = 0;
        mdioReadSwitchReg(portAddr(port, reg), &r);
        SW_OUT("Port : 0x%02X - Reg : 0x%02X - Val : 0x%04X\n", port, reg, r);
    }
    return 0;
}

int setLinkSpeed(uint8_t port, int speed)
{
    uint16_t v = 0, g = 0;
    mdioReadSwitchReg(portAddr(port, 0x00), &v);
    mdioReadSwitchReg(globalAddr(kGlobalStatus), &g);
    SW_OUT("PPU %u\n", (g >> 15) & 1u);
    SW_OUT("SMI device address %u\n", port);
    if (readSmi(port, kPhyControl, &v) != 0)
        SW_OUT("PHY SMI Write Error (Step1)\n");
    if (speed == 0) {
        v |= 1u << 12;
        SW_OUT("PHY : Auto negotiation\n");
    } else {
        v = static_cast<uint16_t>((v | 1u << 8 | 1u << 5) & ~(1u << 12));
        if (speed == 1) {
            v = static_cast<uint16_t>(v & ~(1u << 13 | 1u << 6));
            SW_OUT("PHY : 10Mbs\n");
        } else if (speed == 2) {
            v = static_cast<uint16_t>((v | 1u << 13) & ~(1u << 6));
            SW_OUT("PHY : 100Mbs\n");
        } else {
            v = static_cast<uint16_t>((v & ~(1u << 13)) | 1u << 6);
            SW_OUT("PHY : 1000Mbs\n");
        }
    }
    if (writeSmi(port, kPhyControl, v) != 0)
        SW_OUT("PHY SMI Write Error (Step2)\n");
    if (writeSmi(port, kPhyControl, static_cast<uint16_t>(v | 0x8000u)) != 0)
        SW_OUT("PHY SMI Write Error (Step3)\n");
    if (writeSmi(port, kPhyControl, static_cast<uint16_t>(v & ~0x8000u)) != 0)
        SW_OUT("PHY SMI Write Error (Step4)\n");
    return 0;
}

int getCopperLinkStatus(SwitchDesc* desc, uint8_t port)
{
    uint16_t v = 0;
    mdioReadSwitchReg(portAddr(port, 0x00), &v);
    SwitchPort& p = desc->ports[port];
    if (!(v & kPhyPresent)) {
        SW_OUT("PHY not detected on port %u\n", port);
        p.PhyPresent = 0;
        p.LinkUp = 0;
        return 0;
    }
    p.PhyPresent = 1;
    uint16_t status = 0;
    readSmi(port, kPhyStatus, &status);
    p.LinkUp = (status & kPhyLink) ? 1 : 0;
    if (p.LinkUp)
        SW_OUT("Copper link (real time) status: UP\n");
    else
        SW_OUT("Copper link (real time) status: DOWN\n");
    return 0;
}

int getPhyRegs(uint8_t dev)
{
    int r = 0;
    for (uint8_t reg = 0; reg <= 28; reg++) {
        if (reg > 8 && reg < 16)
            continue;
        uint16_t v = 0;
        if (readSmi(dev, reg, &v) == 0) {
            SW_OUT("PHY Dev : 0x%02X - Reg : 0x%02X - Val : 0x%04X\n", dev, reg, v);
        } else {
            SW_OUT("ERROR reading 0x%02X - 0x%02X\n", dev, reg);
            r = -1;
        }
    }
    return r;
}

int getCounters(SwitchDesc* desc)
{
    for (int p = 0; p < desc->portCount && p < kSwitchMaxPorts; p++) {
        mdioReadSwitchReg(portAddr(p, 0x13), &desc->ports[p].RxFrameCnt);
        getCopperLinkStatus(desc, static_cast<uint8_t>(p));
    }
    for (int p = 0; p < desc->portCount && p < kSwitchMaxPorts; p++)
        SW_OUT("Port %d RxFrameCnt %d\n", p, desc->ports[p].RxFrameCnt);
    return 0;
}

int getPortStats(uint8_t port, int mode)
{
    uint16_t v = 0;
    auto busy = [&]() { return mdioReadSwitchReg(globalAddr(kStatsOp), &v) != 0 || (v & kBusy); };
    if (busy()) {
        SW_OUT("BUSY - step 1\n");
        return -1;
    }
    if (mode != 2) {
        if (writeGlobal(kStatsOp, static_cast<uint16_t>(kBusy | 2u << 12 | 3u << 10 | port)) != 0) {
            SW_OUT("Write Failed - step 1\n");
            return -1;
        }
        clockSleepUs(10);
    }
    if (busy()) {
        SW_OUT("BUSY - step 2\n");
        return -1;
    }
    if (mode == 0)
        return 0;
    if (mode != 3) {
        if (writeGlobal(kStatsOp, static_cast<uint16_t>(kBusy | 5u << 12 | 3u << 10 | port)) != 0) {
            SW_OUT("Write Failed - step 2\n");
            return -1;
        }
        clockSleepUs(10);
    }
    for (unsigned c = 0; c < 32; c++) {
        // A unit that stays busy ends the read rather than hold the caller.
        int polls = 0;
        while (busy()) {
            SW_OUT("BUSY reading 0x%02X - step 3\n", c);
            if (++polls >= kStatsBusyPolls)
                return -1;
        }
        if (writeGlobal(kStatsOp, static_cast<uint16_t>(kBusy | 4u << 12 | 3u << 10 | (port + 1u) << 5 | c)) != 0) {
            SW_OUT("Write Failed in 0x%02X - step 3\n", c);
            return -1;
        }
        if (busy()) {
            SW_OUT("BUSY reading 0x%02X - step 4\n", c);
            return -1;
        }
        uint16_t hi = 0, lo = 0;
        mdioReadSwitchReg(globalAddr(kStats32), &hi);
        mdioReadSwitchReg(globalAddr(kStats10), &lo);
        SW_OUT("Counter Name: %s\n", kCounterNames[c]);
        SW_OUT("Port:%d Stats3&2:0x%04X\n", port, hi);
        SW_OUT("Port:%d Stats1&0:0x%04X\n", port, lo);
    }
    return 0;
}

int isPortLinkUp(uint8_t port)
{
    SwitchDesc desc;
    getCopperLinkStatus(&desc, port);
    return desc.ports[port].LinkUp ? 0 : -1;
}

int isPort2LinkUp()
{
    return isPortLinkUp(2);
}

int isPort3LinkUp()
{
    return isPortLinkUp(3);
}

int getPortFrameCounts(int8_t channel, int32_t* counts)
{
    static const uint8_t kPorts[10] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10};
    mdioSelectChannel(channel);
    for (int i = 0; i < 10; i++)
        counts[i] = -3;
    uint16_t id = 0;
    SwitchDesc desc;
    desc.type = getSwitchId(&id);
    if (desc.type < 0)
        return 0;
    desc.portCount = desc.type == SWITCH_88E6352 ? 7 : kSwitchMaxPorts;
    getCounters(&desc);
    for (int i = 0; i < 10; i++) {
        const SwitchPort& p = desc.ports[kPorts[i]];
        if (p.PhyPresent)
            counts[i] = p.LinkUp ? p.RxFrameCnt / 2 : -2;
        else
            counts[i] = p.RxFrameCnt == 0 ? -1 : p.RxFrameCnt / 2;
    }
    return 0;
}

int reapplyPorts(SwitchDesc* desc)
{
    setPorts(desc);
    loadVidRules(desc);
    return 0;
}
