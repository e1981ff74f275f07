// simctl: looks at and pokes the simulated board of a running sandbox (the
// one CORVANE_ROOT names): FPGA window words and ports, model values, fault
// knobs, bus nodes and the transaction logs.
#include "platform/clock.h"
#include "platform/init.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/simEeprom.h"
#include "sim/simFpga.h"
#include "sim/simRds.h"
#include "sim/simModels.h"
#include "sim/simPlant.h"
#include "sim/simProfile.h"
#include "sim/simState.h"
#include "sim/simWatchdog.h"
#include "sim/simStorage.h"
#include "sim/simSpsModule.h"
#include "sim/simSwitch.h"
#include "sim/simUsbKey.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: simctl <command>\n"
    "  devices                              fitted devices, knobs and counters\n"
    "  fpga read <address> [count]          FPGA window words (physical address)\n"
    "  fpga write <address> <value>...      write FPGA window words\n"
    "  fpga frame                           the last control frame, parity errors and the frame ring\n"
    "  fpga pll locked|never|after <N>      audio-PLL lock script (status word 0, bit 2)\n"
    "  fpga rds                             the last RDS transfer and the RDS FIFO's counters\n"
    "  fpga rds groups                      groups put on air, oldest first, as four hex blocks\n"
    "  fpga rds bits                        the same groups as their 104 bits\n"
    "  fpga rds capacity <groups>           groups the RDS FIFO holds (1..64)\n"
    "  fpga rds-status <value>              bits ORed into the status word after an RDS transfer\n"
    "  fpga refs 10mhz=on|off pps=on|off sine=on|off  reference inputs connected (absence bits)\n"
    "  fpga delay <count>|fail|never        the input-delay measurement unit's answer\n"
    "  fpga keys <code>[,<code>...]         hold front-panel keys (0x0402 = DOWN; 0 releases all)\n"
    "  fpga press <code> [ms]               hold one key for ms milliseconds (150) and release it\n"
    "  fpga id                              words latched by the identity loader\n"
    "  fpga ap                              the logged writes to the audio-processor windows\n"
    "  get <device> <register> [count]      model values of a device\n"
    "  set <device> <register> <byte>...    set model values\n"
    "  fault <device> absent|present|nack <n>|short <n>|busy|unbusy|clear\n"
    "  fault <eeprom> corrupt <address> [mask]   invert bits of a stored byte (0xFF)\n"
    "  fault <eeprom> failwrite <address> <n>    the next n writes of that page store a wrong byte\n"
    "  switch <device>                      VTU and STU entries, knobs and counters of a switch\n"
    "  switch <device> ignore <smi address> the register ignores writes\n"
    "  switch <device> smi-busy|vtu-busy|vtu-endless 0|1   SMI or VTU stuck busy, endless VTU get-next\n"
    "  switch <device> hang                 the channel goes busy at its next command and stays\n"
    "  switch <device> clear                clears the switch's knobs\n"
    "  bus i2c-0|i2c-1 remove|restore       take a bus node away or give it back\n"
    "  log i2c-0|i2c-1|spi0|mdio [count]    the transaction log of a bus\n"
    "  plant                                the amplifier plant, one 'name value' a line\n"
    "  plant set <name> <value>             set a plant knob (ambient, temp, tau, rl, ...)\n"
    "  sps                                  the SPS serial module's knobs, what it was set and its counters\n"
    "  sps status <word>                    status word it reports (register 0x0C; 0x0801 at power-on)\n"
    "  sps silent 0|1                       it answers nothing\n"
    "  sps split 0|1                        each reply in two writes, 20 ms apart\n"
    "  sps short 0|1                        each reply without its last byte\n"
    "  sps badcrc 0|1                       each reply with a wrong CRC\n"
    "  get mtd<N> <offset> [count]          bytes of a NOR flash device\n"
    "  reset                                power-cycle the board and boot it\n"
    "  watchdog [fail <word>...]            what the watchdog was asked; make requests fail\n"
    "                                       (open, keepalive, settimeout, setoptions; none clears)\n"
    "  usb insert <folder>                  insert the USB key holding a copy of the folder's tree\n"
    "  usb remove                           take the USB key away\n"
    "A device is i2c-<bus>:<address>, spi0.<cs>, mdio.<channel 0|1> or its profile name.\n"
    "A switch's model values are its registers by SMI address (device * 32 + register),\n"
    "two bytes each; PHY slot s register r at 0x400 + s * 32 + r; scratch pointer p at 0x580 + p.\n";

int usage()
{
    fputs(kUsage, stderr);
    return 2;
}

bool number(const char* text, uint32_t* out)
{
    return simParseNumber(text, out);
}

SimDevice* findDevice(const std::string& name)
{
    size_t colon = name.find(':');
    uint32_t addr;
    if (name.rfind("i2c-", 0) == 0 && colon != std::string::npos) {
        int bus = simBusFromName(name.substr(0, colon).c_str());
        if (bus >= 0 && number(name.substr(colon + 1).c_str(), &addr))
            return simFindDevice(static_cast<SimBusId>(bus), static_cast<uint16_t>(addr));
    }
    if (name.rfind("spi0.", 0) == 0 && number(name.substr(5).c_str(), &addr))
        return simFindDevice(SIM_BUS_SPI0, static_cast<uint16_t>(addr));
    if (name.rfind("mdio.", 0) == 0 && number(name.substr(5).c_str(), &addr))
        return simFindDevice(SIM_BUS_MDIO, static_cast<uint16_t>(addr));
    return simFindDeviceByName(name.c_str());
}

int devices()
{
    SimBoardState* s = simState();
    printf("profile %s\n", s->profile);
    for (int b = 0; b < SIM_BUS_COUNT; b++)
        printf("bus %-6s %s, %u opens, %llu log entries\n", simBusName(static_cast<SimBusId>(b)),
               s->buses[b].absent.load() ? "removed" : "present", s->buses[b].opens.load(),
               static_cast<unsigned long long>(s->buses[b].logHead.load()));
    printf("fpga   %u frames, %u RDS transfers, %u misaligned accesses\n", s->fpga.frameCount.load(),
           s->fpga.rdsCount.load(), s->fpga.misaligned.load());
    for (const SimDevice& d : s->devices) {
        if (!d.used.load())
            continue;
        printf("%-6s 0x%02X %-16s %-8s transfers %u", simBusName(static_cast<SimBusId>(d.bus)), d.addr, d.name,
               d.kind, d.transfers.load());
        if (d.bus == SIM_BUS_SPI0)
            printf(" opens %u mode 0x%X lsb %u bits %u speed %u", d.opens.load(), d.spiMode.load(), d.spiLsb.load(),
                   d.spiBits.load(), d.spiSpeed.load());
        if (d.kernelHeld)
            printf(" kernel");
        if (d.absent.load())
            printf(" ABSENT");
        if (d.nackNext.load())
            printf(" nack %d", d.nackNext.load());
        if (d.shortNext.load())
            printf(" short %d", d.shortNext.load());
        if (d.busy.load())
            printf(" BUSY");
        if (d.failWrites.load())
            printf(" failwrite page %d x%d", d.failPage.load(), d.failWrites.load());
        printf("\n");
    }
    return 0;
}

int fpga(int argc, char** argv)
{
    if (argc < 1)
        return usage();
    std::string cmd = argv[0];
    SimFpgaState& f = simState()->fpga;
    uint32_t addr, v;
    if (cmd == "read" && argc >= 2 && number(argv[1], &addr)) {
        uint32_t count = 1;
        if (argc > 3 || (argc == 3 && !number(argv[2], &count)))
            return usage();
        for (uint32_t i = 0; i < count; i++) {
            if (simFpgaRead(addr + 4ull * i, &v) != 0) {
                fprintf(stderr, "simctl: 0x%08llX is not a word of the FPGA window\n", addr + 4ull * i);
                return 1;
            }
            printf("0x%08X\n", v);
        }
        return 0;
    }
    if (cmd == "write" && argc >= 3 && number(argv[1], &addr)) {
        for (int i = 2; i < argc; i++) {
            if (!number(argv[i], &v))
                return usage();
            if (simFpgaWrite(addr + 4ull * (i - 2), v) != 0) {
                fprintf(stderr, "simctl: 0x%08llX is not a word of the FPGA window\n", addr + 4ull * (i - 2));
                return 1;
            }
        }
        return 0;
    }
    if (cmd == "frame") {
        printf("frames %u\n", f.frameCount.load());
        for (int i = 0; i < 28; i++)
            printf("word %2d 0x%06X\n", i, f.frame[i]);
        printf("parity errors %u\n", f.parityErrors.load());
        static SimFrameRecord ring[kSimFrameRingSize];
        int n = simFpgaRing(ring, kSimFrameRingSize);
        uint32_t first = f.ringNext.load() - static_cast<uint32_t>(n);
        for (int k = 0; k < n; k++) {
            printf("ring %u %lld.%09lld", first + k, static_cast<long long>(ring[k].timeNs / 1000000000LL),
                   static_cast<long long>(ring[k].timeNs % 1000000000LL));
            for (uint32_t w : ring[k].words)
                printf(" %06X", w);
            printf("\n");
        }
        return 0;
    }
    if (cmd == "pll" && argc >= 2) {
        std::string text;
        for (int i = 1; i < argc; i++)
            text += std::string(i > 1 ? " " : "") + argv[i];
        uint32_t script, after;
        if (simParsePllScript(text, &script, &after) != 0)
            return usage();
        simFpgaSetPllScript(script, after);
        return 0;
    }
    if (cmd == "refs" && argc >= 2) {
        std::string text;
        for (int i = 1; i < argc; i++)
            text += std::string(" ") + argv[i];
        uint32_t missing;
        if (simParseRefs(text, f.refsDriven.load() ? f.refsMissing.load() : 0, &missing) != 0)
            return usage();
        simFpgaSetRefs(missing);
        return 0;
    }
    if (cmd == "delay" && argc == 2) {
        uint32_t mode, count;
        if (simParseDelayMode(argv[1], &mode, &count) != 0)
            return usage();
        simFpgaSetDelayMode(mode, count);
        return 0;
    }
    if (cmd == "rds" && argc == 1) {
        printf("transfers %u\n", f.rdsCount.load());
        for (int i = 0; i < 6; i++)
            printf("word %d 0x%06X\n", i, f.rdsWords[i]);
        const SimRdsState& r = f.rds;
        printf("fifo %u of %u\n", simRdsFill(), r.capacity);
        printf("taken %u refused %u not-enabled %u underruns %u parity-errors %u\n", r.taken.load(),
               r.refused.load(), r.notEnabled.load(), r.underruns.load(), r.parityErrors.load());
        return 0;
    }
    if (cmd == "rds" && argc == 2 && (std::string(argv[1]) == "groups" || std::string(argv[1]) == "bits")) {
        bool bits = std::string(argv[1]) == "bits";
        static SimRdsAirGroup air[kSimRdsAirLog];
        int n = simRdsAirGroups(air, kSimRdsAirLog);
        for (int k = 0; k < n; k++) {
            for (int b = 0; b < 4; b++) {
                if (bits) {
                    for (int i = 25; i >= 0; i--)
                        putchar((air[k].blocks[b] >> i) & 1u ? '1' : '0');
                } else {
                    printf("%s%04X", b ? " " : "", air[k].blocks[b] >> 10);
                }
            }
            putchar('\n');
        }
        return 0;
    }
    if (cmd == "rds" && argc == 3 && std::string(argv[1]) == "capacity" && number(argv[2], &v)) {
        if (simRdsSetCapacity(v) != 0) {
            fprintf(stderr, "simctl: the RDS FIFO holds 1 to %d groups\n", kSimRdsFifoMax);
            return 1;
        }
        return 0;
    }
    if (cmd == "rds-status" && argc == 2 && number(argv[1], &v)) {
        f.rdsStatus.store(v);
        return 0;
    }
    if (cmd == "keys" && argc == 2) {
        uint32_t mask = 0;
        char* save = nullptr;
        std::string list = argv[1];
        for (char* w = strtok_r(list.data(), ",", &save); w; w = strtok_r(nullptr, ",", &save)) {
            if (!number(w, &v) || (v != 0 && simFpgaKeyBit(static_cast<uint16_t>(v)) == 0)) {
                fprintf(stderr, "simctl: %s is not a key code\n", w);
                return 1;
            }
            mask |= simFpgaKeyBit(static_cast<uint16_t>(v));
        }
        simFpgaSetKeys(mask);
        return 0;
    }
    if (cmd == "press" && (argc == 2 || argc == 3) && number(argv[1], &v)) {
        uint32_t bit = simFpgaKeyBit(static_cast<uint16_t>(v));
        uint32_t ms = 150;
        if (bit == 0) {
            fprintf(stderr, "simctl: %s is not a key code\n", argv[1]);
            return 1;
        }
        if (argc == 3 && !number(argv[2], &ms))
            return usage();
        // Only this key's bit is set and cleared: keys held with "keys" stay.
        f.keys.fetch_or(bit);
        clockSleepUs(static_cast<uint64_t>(ms) * 1000);
        f.keys.fetch_and(~bit);
        return 0;
    }
    if (cmd == "ap") {
        static SimApWrite log[kSimApLogSize];
        uint32_t total = simFpgaApWrites();
        int n = simFpgaApLog(0, log, kSimApLogSize);
        printf("writes %u\n", total);
        for (int k = 0; k < n; k++)
            printf("%lld.%09lld window %u 0x%08X\n", static_cast<long long>(log[k].timeNs / 1000000000LL),
                   static_cast<long long>(log[k].timeNs % 1000000000LL), log[k].window, log[k].value);
        return 0;
    }
    if (cmd == "id") {
        printf("latched %u\n", f.idLatched.load());
        for (int i = 0; i < 8; i++)
            printf("slot %d 0x%08X\n", i, f.idWords[i]);
        return 0;
    }
    return usage();
}

int getSet(bool set, int argc, char** argv)
{
    uint32_t reg;
    if (argc < 2 || !number(argv[1], &reg))
        return usage();
    uint32_t mtd;
    if (!set && strncmp(argv[0], "mtd", 3) == 0 && number(argv[0] + 3, &mtd)) {
        uint32_t count = 1;
        if (argc >= 3 && !number(argv[2], &count))
            return usage();
        std::vector<uint8_t> bytes;
        if (simNorRead(static_cast<int>(mtd), reg, count, &bytes) != 0) {
            fprintf(stderr, "simctl: no range %s %s %u\n", argv[0], argv[1], count);
            return 1;
        }
        for (size_t i = 0; i < bytes.size(); i++)
            printf(i ? " 0x%02X" : "0x%02X", bytes[i]);
        printf("\n");
        return 0;
    }
    SimDevice* d = findDevice(argv[0]);
    SimModel* m = d ? simModelOf(d) : nullptr;
    if (!m) {
        fprintf(stderr, "simctl: no device %s\n", argv[0]);
        return 1;
    }
    std::vector<uint8_t> bytes;
    if (set) {
        for (int i = 2; i < argc; i++) {
            uint32_t b;
            if (!number(argv[i], &b) || b > 0xFF)
                return usage();
            bytes.push_back(static_cast<uint8_t>(b));
        }
        SimBusGuard g(static_cast<SimBusId>(d->bus));
        return m->poke(reg, bytes.data(), bytes.size()) == static_cast<int>(bytes.size()) ? 0 : 1;
    }
    uint32_t count = 1;
    if (argc >= 3 && !number(argv[2], &count))
        return usage();
    // No more than the model holds.
    size_t held = m->storeSize();
    if (count > held)
        count = static_cast<uint32_t>(held);
    bytes.resize(count);
    int n;
    {
        SimBusGuard g(static_cast<SimBusId>(d->bus));
        n = m->peek(reg, bytes.data(), count);
    }
    if (n < 0)
        return 1;
    for (int i = 0; i < n; i++)
        printf(i ? " 0x%02X" : "0x%02X", bytes[i]);
    printf("\n");
    return 0;
}

int eepromFault(SimDevice* d, const std::string& knob, int argc, char** argv)
{
    uint32_t addr, v = knob == "corrupt" ? 0xFF : 0;
    if (argc < 1 || !number(argv[0], &addr) || (knob == "failwrite" && argc < 2) ||
        (argc >= 2 && (!number(argv[1], &v) || (knob == "corrupt" && v > 0xFF))))
        return usage();
    int r = knob == "corrupt" ? simEepromCorruptByte(d, addr, static_cast<uint8_t>(v))
                              : simEepromFailWrites(d, addr, static_cast<int32_t>(v));
    if (r != 0) {
        fprintf(stderr, "simctl: %s is no EEPROM or 0x%X is outside it\n", d->name, addr);
        return 1;
    }
    return 0;
}

int fault(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    SimDevice* d = findDevice(argv[0]);
    if (!d) {
        fprintf(stderr, "simctl: no device %s\n", argv[0]);
        return 1;
    }
    std::string knob = argv[1];
    uint32_t n = 0;
    if (knob == "corrupt" || knob == "failwrite")
        return eepromFault(d, knob, argc - 2, argv + 2);
    if ((knob == "nack" || knob == "short") && (argc < 3 || !number(argv[2], &n)))
        return usage();
    if (knob == "absent" || knob == "present")
        d->absent.store(knob == "absent");
    else if (knob == "nack")
        d->nackNext.store(static_cast<int32_t>(n));
    else if (knob == "short")
        d->shortNext.store(static_cast<int32_t>(n));
    else if (knob == "busy" || knob == "unbusy")
        d->busy.store(knob == "busy");
    else if (knob == "clear") {
        d->absent.store(0);
        d->nackNext.store(0);
        d->shortNext.store(0);
        d->busy.store(0);
        d->failWrites.store(0);
    } else
        return usage();
    return 0;
}

int bus(int argc, char** argv)
{
    int b = argc == 2 ? simBusFromName(argv[0]) : -1;
    if (b < 0 || b == SIM_BUS_SPI0 || b == SIM_BUS_MDIO)
        return usage();
    std::string what = argv[1];
    if (what != "remove" && what != "restore")
        return usage();
    simState()->buses[b].absent.store(what == "remove");
    return 0;
}

int showLog(int argc, char** argv)
{
    int b = argc >= 1 ? simBusFromName(argv[0]) : -1;
    uint32_t count = kSimLogEntries;
    if (b < 0 || argc > 2 || (argc == 2 && !number(argv[1], &count)))
        return usage();
    // No more than the log holds.
    if (count > static_cast<uint32_t>(kSimLogEntries))
        count = kSimLogEntries;
    std::vector<SimLogRecord> records(count ? count : 1);
    size_t n = simLogRead(static_cast<SimBusId>(b), 0, records.data(), count);
    for (size_t i = 0; i < n; i++)
        printf("%s\n", simLogFormat(records[i]).c_str());
    return 0;
}

int switchCmd(int argc, char** argv)
{
    if (argc < 1)
        return usage();
    SimDevice* d = findDevice(argv[0]);
    SimSwitchStore* s = d ? simSwitchStore(d) : nullptr;
    if (!s) {
        fprintf(stderr, "simctl: no switch %s\n", argv[0]);
        return 1;
    }
    SimBusGuard g(SIM_BUS_MDIO);
    if (argc == 1) {
        for (const SimVtuEntry& e : s->vtu) {
            if (!e.valid)
                continue;
            printf("vtu vid %u fid %u sid %u tags", e.vid, e.fid, e.sid);
            for (uint8_t t : e.tags)
                printf(" %u", t);
            printf("\n");
        }
        for (const SimStuEntry& e : s->stu) {
            if (!e.valid)
                continue;
            printf("stu sid %u states", e.sid);
            for (uint8_t t : e.states)
                printf(" %u", t);
            printf("\n");
        }
        for (uint16_t ig : s->knobs.ignored)
            if (ig)
                printf("ignores writes 0x%03X\n", ig - 1u);
        printf("smi-busy %u vtu-busy %u vtu-endless %u\n", s->knobs.smiBusy, s->knobs.vtuBusy, s->knobs.vtuEndless);
        printf("port 8 accesses %u, VTU operations %u, transactions %u\n", s->port8Accesses, s->vtuOps,
               d->transfers.load());
        return 0;
    }
    std::string knob = argv[1];
    uint32_t v = 0;
    if (knob == "hang" && argc == 2) {
        d->busy.store(2);
        return 0;
    }
    if (knob == "clear" && argc == 2) {
        s->knobs = SimSwitchKnobs{};
        d->busy.store(0);
        return 0;
    }
    if (argc != 3 || !number(argv[2], &v))
        return usage();
    if (knob == "ignore") {
        if (v > 0x3FF || simSwitchIgnoreWrites(s, static_cast<uint16_t>(v)) != 0) {
            fprintf(stderr, "simctl: cannot ignore writes to 0x%X\n", v);
            return 1;
        }
    } else if (knob == "smi-busy") {
        s->knobs.smiBusy = v != 0;
    } else if (knob == "vtu-busy") {
        s->knobs.vtuBusy = v != 0;
    } else if (knob == "vtu-endless") {
        s->knobs.vtuEndless = v != 0;
    } else {
        return usage();
    }
    return 0;
}

int plant(int argc, char** argv)
{
    if (!simPlantPresent()) {
        fprintf(stderr, "simctl: the board has no amplifier plant\n");
        return 1;
    }
    if (argc == 0) {
        for (const auto& [name, value] : simPlantQuantities())
            printf("%s %s\n", name.c_str(), value.c_str());
        return 0;
    }
    if (argc != 3 || strcmp(argv[0], "set") != 0)
        return usage();
    if (simPlantSet(argv[1], argv[2]) != 0) {
        fprintf(stderr, "simctl: plant: bad knob or value: %s %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}

int sps(int argc, char** argv)
{
    // Each process serves the module its board's profile lists; this one's
    // tells whether the board has it.
    SimSpsKnobs* k = simSpsAt("/dev/ttyMAX0");
    if (!k) {
        fprintf(stderr, "simctl: the board has no SPS module\n");
        return 1;
    }
    if (argc == 0) {
        printf("status 0x%04X\nsilent %d\nsplit %d\nshort %d\nbadcrc %d\n", k->status.load(), k->silent.load(),
               k->split.load(), k->shortReply.load(), k->badCrc.load());
        printf("vout 0x%04X\nmode %u\nminfan %u\npolltimeout %u\n", k->voutWord.load(), k->mode.load(),
               k->minFan.load(), k->pollTimeout.load());
        printf("polls %u\nreads %u\nlast-register 0x%02X\nbad-frames %u\n", k->polls.load(), k->reads.load(),
               k->lastRegister.load(), k->badFrames.load());
        return 0;
    }
    uint32_t v;
    if (argc != 2 || !number(argv[1], &v))
        return usage();
    std::string knob = argv[0];
    if (knob == "status" && v <= 0xFFFF) {
        k->status.store(v);
        return 0;
    }
    struct Flag {
        const char* name;
        std::atomic<int>* knob;
    };
    const Flag flags[] = {{"silent", &k->silent}, {"split", &k->split}, {"short", &k->shortReply},
                          {"badcrc", &k->badCrc}};
    for (const Flag& f : flags) {
        if (knob == f.name && v <= 1) {
            f.knob->store(static_cast<int>(v));
            return 0;
        }
    }
    return usage();
}

int watchdog(int argc, char** argv)
{
    if (argc == 0) {
        SimWatchdogState w = simWatchdogRead();
        printf("opens %u\nkeepalives %u\ntimeout %d\noptions 0x%X\n", w.opens, w.keepalives, w.timeout,
               static_cast<unsigned>(w.options));
        return 0;
    }
    if (std::string(argv[0]) != "fail")
        return usage();
    std::string words;
    for (int i = 1; i < argc; i++)
        words += (i > 1 ? " " : "") + std::string(argv[i]);
    return simWatchdogSetFail(words) == 0 ? 0 : 1;
}

int usb(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[0]) == "insert")
        return simUsbInsert(argv[1]) == 0 ? 0 : 1;
    if (argc == 1 && std::string(argv[0]) == "remove")
        return simUsbRemove() == 0 ? 0 : 1;
    return usage();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    platformInit();
    if (!simState()) {
        fprintf(stderr, "simctl: no simulated board at %s\n", sandboxRoot().c_str());
        return 1;
    }
    std::string cmd = argv[1];
    if (cmd == "devices")
        return devices();
    if (cmd == "fpga")
        return fpga(argc - 2, argv + 2);
    if (cmd == "get" || cmd == "set")
        return getSet(cmd == "set", argc - 2, argv + 2);
    if (cmd == "fault")
        return fault(argc - 2, argv + 2);
    if (cmd == "bus")
        return bus(argc - 2, argv + 2);
    if (cmd == "log")
        return showLog(argc - 2, argv + 2);
    if (cmd == "plant")
        return plant(argc - 2, argv + 2);
    if (cmd == "switch")
        return switchCmd(argc - 2, argv + 2);
    if (cmd == "reset")
        return simBoardReset() == 0 ? 0 : 1;
    if (cmd == "sps")
        return sps(argc - 2, argv + 2);
    if (cmd == "watchdog")
        return watchdog(argc - 2, argv + 2);
    if (cmd == "usb")
        return usb(argc - 2, argv + 2);
    return usage();
}
