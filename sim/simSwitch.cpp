// The simulated Ethernet switch behind an MDIO channel.
#include "sim/simSwitch.h"

#include "sim/simModels.h"

#include <cstring>

namespace {

constexpr uint16_t kPortDev = 0x10, kGlobalDev = 0x1B, kGlobal2Dev = 0x1C, kPort8Dev = 0x18;
constexpr uint16_t kBusy = 0x8000, kValid = 0x1000;
constexpr uint8_t kVtuFid = 0x02, kVtuSid = 0x03, kVtuOp = 0x05, kVtuVid = 0x06, kVtuData1 = 0x07,
                  kVtuData2 = 0x08, kStatsOp = 0x1D, kStats32 = 0x1E, kStats10 = 0x1F;
constexpr uint8_t kSmiCommand = 0x18, kSmiData = 0x19, kScratch = 0x1A;
constexpr uint16_t kNoVid = 0xFFF;
constexpr uint8_t kNoSid = 0x3F;

uint16_t addrOf(uint16_t dev, uint8_t reg)
{
    return static_cast<uint16_t>(dev * 32 + reg);
}

uint16_t word(const SimSwitchStore* s, int i)
{
    return static_cast<uint16_t>(s->words[i][0] << 8 | s->words[i][1]);
}

void setWord(SimSwitchStore* s, int i, uint16_t v)
{
    s->words[i][0] = static_cast<uint8_t>(v >> 8);
    s->words[i][1] = static_cast<uint8_t>(v);
}

class SimSwitch : public SimModel {
public:
    SimSwitch(SimDevice* dev, bool is6352) : SimModel(dev), is6352_(is6352) {}

    size_t storeSize() const override { return sizeof(SimSwitchStore); }

    SimSwitchStore* store() const { return reinterpret_cast<SimSwitchStore*>(store_); }

    int ports() const { return is6352_ ? 7 : 11; }

    void powerOn() override
    {
        SimSwitchStore* s = store();
        memset(s, 0, sizeof *s);
        uint16_t id = is6352_ ? 0x3521 : 0x04A2;
        uint16_t all = static_cast<uint16_t>((1u << ports()) - 1);
        int phys = is6352_ ? 5 : 8;
        for (int p = 0; p < ports(); p++) {
            uint16_t dev = static_cast<uint16_t>(kPortDev + p);
            setWord(s, addrOf(dev, 0x00), p < phys ? 0x1000 : 0x0000);
            setWord(s, addrOf(dev, 0x03), id);
            setWord(s, addrOf(dev, 0x04), 0x007C); // disabled until configured
            setWord(s, addrOf(dev, 0x06), static_cast<uint16_t>(all & ~(1u << p)));
            setWord(s, addrOf(dev, 0x07), 0x0001);
            setWord(s, addrOf(dev, 0x08), is6352_ ? 0x2080 : 0x0080);
            setWord(s, addrOf(dev, 0x13), static_cast<uint16_t>(0x40 + p));
        }
        setWord(s, addrOf(kGlobalDev, 0x00), 0x8000);
        // PHYs: one per port with a PHY at the port's address; the 88E6085
        // has two more at 0x10 and 0x11 that the driver moves to ports 9
        // and 10.
        int slots = 0;
        auto addPhy = [&](uint8_t addr) {
            s->phyFitted[slots] = 1;
            setWord(s, kSimSwitchPhyBase + slots * 32 + 0, 0x1940);
            setWord(s, kSimSwitchPhyBase + slots * 32 + 1, 0x7949);
            setWord(s, kSimSwitchPhyBase + slots * 32 + 25, addr);
            slots++;
        };
        for (int p = 0; p < phys; p++)
            addPhy(static_cast<uint8_t>(p));
        if (!is6352_) {
            addPhy(0x10);
            addPhy(0x11);
        }
        // Scratch: every pin a pure GPIO input, P5MODE and P6MODE 7.
        const uint8_t scratch[][2] = {{0x60, 0xFF}, {0x61, 0x7F}, {0x62, 0xFF}, {0x63, 0x7F}, {0x72, 0x77}};
        for (const auto& sc : scratch)
            setWord(s, kSimSwitchScratchBase + sc[0], sc[1]);
    }

    int peek(uint32_t reg, uint8_t* out, size_t n) override { return copy(reg, out, n, false); }
    int poke(uint32_t reg, const uint8_t* in, size_t n) override { return copy(reg, const_cast<uint8_t*>(in), n, true); }

    uint16_t read(uint16_t addr)
    {
        SimSwitchStore* s = store();
        uint16_t dev = addr >> 5;
        uint8_t reg = addr & 0x1F;
        if (dev == kPort8Dev)
            s->port8Accesses++;
        if (dev >= kPortDev + ports() && dev < kGlobalDev)
            return 0; // no such port on this type
        uint16_t v = word(s, addr);
        if (dev == kGlobalDev && reg == kVtuOp && s->knobs.vtuBusy)
            v |= kBusy;
        if (dev == kGlobal2Dev && reg == kSmiCommand && s->knobs.smiBusy)
            v |= kBusy;
        if (dev == kGlobal2Dev && reg == kScratch)
            v = static_cast<uint16_t>(s->scratchPtr << 8 | (word(s, kSimSwitchScratchBase + s->scratchPtr) & 0xFF));
        return v;
    }

    void write(uint16_t addr, uint16_t v)
    {
        SimSwitchStore* s = store();
        uint16_t dev = addr >> 5;
        uint8_t reg = addr & 0x1F;
        if (dev == kPort8Dev)
            s->port8Accesses++;
        for (uint16_t ig : s->knobs.ignored)
            if (ig == addr + 1)
                return;
        if (dev >= kPortDev && dev < kGlobalDev) {
            if (dev >= kPortDev + ports())
                return;
            uint16_t mask = portMask(reg);
            setWord(s, addr, static_cast<uint16_t>((word(s, addr) & ~mask) | (v & mask)));
            return;
        }
        if (dev == kGlobalDev && reg == kVtuOp) {
            if (s->knobs.vtuBusy || !(v & kBusy)) {
                setWord(s, addr, v);
                return;
            }
            vtuOperation((v >> 12) & 7);
            s->vtuOps++;
            setWord(s, addr, v & ~kBusy);
            return;
        }
        if (dev == kGlobalDev && reg == kStatsOp) {
            if ((v & kBusy) && ((v >> 12) & 7) == 4) {
                uint32_t counter = (((v >> 5) & 0x1Fu) << 16) | (v & 0x1Fu);
                setWord(s, addrOf(kGlobalDev, kStats32), static_cast<uint16_t>(counter >> 16));
                setWord(s, addrOf(kGlobalDev, kStats10), static_cast<uint16_t>(counter));
            }
            setWord(s, addr, v & ~kBusy);
            return;
        }
        if (dev == kGlobal2Dev && reg == kSmiCommand) {
            if (s->knobs.smiBusy || !(v & kBusy)) {
                setWord(s, addr, v);
                return;
            }
            smiOperation(v);
            setWord(s, addr, v & ~kBusy);
            return;
        }
        if (dev == kGlobal2Dev && reg == kScratch) {
            s->scratchPtr = (v >> 8) & 0x7F;
            if (v & kBusy)
                setWord(s, kSimSwitchScratchBase + s->scratchPtr, v & 0xFF);
            return;
        }
        setWord(s, addr, v);
    }

private:
    int copy(uint32_t reg, uint8_t* buf, size_t n, bool in)
    {
        if (!store_ || reg >= kSimSwitchWords)
            return -1;
        size_t off = reg * 2, size = sizeof(SimSwitchStore::words);
        size_t len = n < size - off ? n : size - off;
        if (len)
            memcpy(in ? store_ + off : buf, in ? buf : store_ + off, len);
        return static_cast<int>(len);
    }

    uint16_t portMask(uint8_t reg) const
    {
        switch (reg) {
        case 0x00: return 0x1000;
        case 0x03: return 0;
        case 0x06: return is6352_ ? 0xFEFF : 0xFFFF;
        case 0x08: return is6352_ ? 0xBFFE : 0x8FF0;
        case 0x0E: return is6352_ ? 0xFFFF : 0;
        case 0x13: return 0;
        default: return 0xFFFF;
        }
    }

    uint16_t global(uint8_t reg) const { return word(store(), addrOf(kGlobalDev, reg)); }
    void setGlobal(uint8_t reg, uint16_t v) { setWord(store(), addrOf(kGlobalDev, reg), v); }

    // Two bits per port (0-6) from the data registers at a bit of each nibble.
    void fromData(uint8_t* out, int bit) const
    {
        for (int p = 0; p < 7; p++)
            out[p] = ((p < 4 ? global(kVtuData1) : global(kVtuData2)) >> (4 * (p % 4) + bit)) & 3u;
    }

    void toData(const uint8_t* in, int bit)
    {
        uint16_t d1 = 0, d2 = 0;
        for (int p = 0; p < 7; p++)
            (p < 4 ? d1 : d2) |= static_cast<uint16_t>((in[p] & 3u) << (4 * (p % 4) + bit));
        setGlobal(kVtuData1, d1);
        setGlobal(kVtuData2, d2);
    }

    void vtuOperation(unsigned op)
    {
        SimSwitchStore* s = store();
        uint16_t vidWord = global(kVtuVid), vid = vidWord & 0xFFF;
        uint8_t sid = global(kVtuSid) & 0x3F;
        switch (op) {
        case 1: // flush all
            memset(s->vtu, 0, sizeof s->vtu);
            break;
        case 3: { // VTU load or purge
            SimVtuEntry* e = findVtu(vid);
            if (!(vidWord & kValid)) {
                if (e)
                    *e = SimVtuEntry{};
                break;
            }
            if (!e)
                e = findVtuFree();
            if (!e)
                break; // table full: the load is lost, as on a full switch
            e->valid = 1;
            e->vid = vid;
            e->fid = global(kVtuFid) & 0xFFF;
            e->sid = sid;
            fromData(e->tags, 0);
            break;
        }
        case 4: { // VTU get-next
            const SimVtuEntry* next = nullptr;
            for (const SimVtuEntry& e : s->vtu)
                if (e.valid && (vid == kNoVid || e.vid > vid) && (!next || e.vid < next->vid))
                    next = &e;
            if (!next && s->knobs.vtuEndless) {
                // Past the last entry it starts again and never says the end.
                for (const SimVtuEntry& e : s->vtu)
                    if (e.valid && (!next || e.vid < next->vid))
                        next = &e;
                if (!next) {
                    setGlobal(kVtuVid, kValid);
                    break;
                }
            }
            if (!next) {
                setGlobal(kVtuVid, kNoVid);
                break;
            }
            setGlobal(kVtuVid, static_cast<uint16_t>(next->vid | kValid));
            setGlobal(kVtuFid, next->fid);
            setGlobal(kVtuSid, next->sid);
            toData(next->tags, 0);
            break;
        }
        case 5: { // STU load or purge
            SimStuEntry* e = findStu(sid);
            if (!(vidWord & kValid)) {
                if (e)
                    *e = SimStuEntry{};
                break;
            }
            if (!e)
                e = findStuFree();
            if (!e)
                break;
            e->valid = 1;
            e->sid = sid;
            fromData(e->states, 2);
            break;
        }
        case 6: { // STU get-next
            const SimStuEntry* next = nullptr;
            for (const SimStuEntry& e : s->stu)
                if (e.valid && (sid == kNoSid || e.sid > sid) && (!next || e.sid < next->sid))
                    next = &e;
            if (!next) {
                setGlobal(kVtuSid, kNoSid);
                setGlobal(kVtuVid, static_cast<uint16_t>(vidWord & ~kValid));
                break;
            }
            setGlobal(kVtuSid, next->sid);
            setGlobal(kVtuVid, static_cast<uint16_t>(vidWord | kValid));
            toData(next->states, 2);
            break;
        }
        default:
            break;
        }
    }

    SimVtuEntry* findVtu(uint16_t vid)
    {
        for (SimVtuEntry& e : store()->vtu)
            if (e.valid && e.vid == vid)
                return &e;
        return nullptr;
    }
    SimVtuEntry* findVtuFree()
    {
        for (SimVtuEntry& e : store()->vtu)
            if (!e.valid)
                return &e;
        return nullptr;
    }
    SimStuEntry* findStu(uint8_t sid)
    {
        for (SimStuEntry& e : store()->stu)
            if (e.valid && e.sid == sid)
                return &e;
        return nullptr;
    }
    SimStuEntry* findStuFree()
    {
        for (SimStuEntry& e : store()->stu)
            if (!e.valid)
                return &e;
        return nullptr;
    }

    void smiOperation(uint16_t command)
    {
        SimSwitchStore* s = store();
        unsigned op = (command >> 10) & 3;
        uint8_t phy = (command >> 5) & 0x1F, reg = command & 0x1F;
        uint16_t data = addrOf(kGlobal2Dev, kSmiData);
        if (op == 2)
            setWord(s, data, simSwitchPhyReg(s, phy, reg));
        else if (op == 1)
            simSwitchSetPhyReg(s, phy, reg, word(s, data));
    }

    bool is6352_;
};

int phySlot(const SimSwitchStore* s, uint8_t phyAddr)
{
    for (int i = 0; i < kSimSwitchPhySlots; i++)
        if (s->phyFitted[i] && (word(s, kSimSwitchPhyBase + i * 32 + 25) & 0x1F) == phyAddr)
            return i;
    return -1;
}

SimSwitch* switchOf(const SimDevice* dev)
{
    if (!dev || dev->bus != SIM_BUS_MDIO)
        return nullptr;
    return static_cast<SimSwitch*>(simModelOf(dev));
}

} // namespace

SimModel* simSwitchCreate(SimDevice* dev, bool is6352)
{
    return new SimSwitch(dev, is6352);
}

bool simSwitchTransact(SimDevice* dev, uint16_t command, uint16_t writeData, uint16_t* data)
{
    SimSwitch* sw = switchOf(dev);
    if (!sw || !sw->store())
        return false;
    uint16_t addr = command & 0x3FF;
    unsigned op = (command >> 10) & 3;
    bool flag = (command >> 12) & 1;
    dev->transfers.fetch_add(1);
    uint8_t bytes[2];
    if (op == 1 && !flag) {
        sw->write(addr, writeData);
        bytes[0] = static_cast<uint8_t>(writeData >> 8);
        bytes[1] = static_cast<uint8_t>(writeData);
        simLogAppend(SIM_BUS_MDIO, addr, SIM_OP_WRITE, 0, 2, writeData, 2, bytes, 2);
        return true;
    }
    if (op != 0 && !flag)
        return false; // not an operation of the switch
    *data = sw->read(addr);
    bytes[0] = static_cast<uint8_t>(*data >> 8);
    bytes[1] = static_cast<uint8_t>(*data);
    simLogAppend(SIM_BUS_MDIO, addr, SIM_OP_READ, 0, 2, *data, 2, bytes, 2);
    return true;
}

SimSwitchStore* simSwitchStore(const SimDevice* dev)
{
    SimSwitch* sw = switchOf(dev);
    return sw ? sw->store() : nullptr;
}

uint16_t simSwitchReg(const SimSwitchStore* s, uint16_t smiAddr)
{
    return word(s, smiAddr & 0x3FF);
}

void simSwitchSetReg(SimSwitchStore* s, uint16_t smiAddr, uint16_t value)
{
    setWord(s, smiAddr & 0x3FF, value);
}

uint16_t simSwitchPhyReg(const SimSwitchStore* s, uint8_t phyAddr, uint8_t reg)
{
    int slot = phySlot(s, phyAddr);
    return slot < 0 ? 0xFFFF : word(s, kSimSwitchPhyBase + slot * 32 + (reg & 0x1F));
}

void simSwitchSetPhyReg(SimSwitchStore* s, uint8_t phyAddr, uint8_t reg, uint16_t value)
{
    int slot = phySlot(s, phyAddr);
    if (slot >= 0)
        setWord(s, kSimSwitchPhyBase + slot * 32 + (reg & 0x1F), value);
}

int simSwitchIgnoreWrites(SimSwitchStore* s, uint16_t smiAddr)
{
    for (uint16_t& ig : s->knobs.ignored)
        if (ig == 0 || ig == smiAddr + 1) {
            ig = static_cast<uint16_t>(smiAddr + 1);
            return 0;
        }
    return -1;
}
