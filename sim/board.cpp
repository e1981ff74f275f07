// The simulated board: sandbox skeleton, the board built from its profile,
// and the registration of the simulated devices.
#include "sim/board.h"

#include "platform/host/ioDevice.h"
#include "platform/paths.h"
#include "sim/programs.h"
#include "sim/simFpga.h"
#include "sim/simI2c.h"
#include "sim/simModels.h"
#include "sim/simProfile.h"
#include "sim/simSpi.h"
#include "sim/simState.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kBridges[] = {"hps2fpga", "fpga2hps", "lwhps2fpga"};

// spidev's settings of a chip select at power-on.
constexpr uint32_t kSpiDefaultBits = 8;
constexpr uint32_t kSpiDefaultSpeed = 500000;

struct BoardModule {
    std::string root; // the sandbox whose devices are registered
};

BoardModule& mod()
{
    static BoardModule m;
    return m;
}

bool readText(const std::string& path, std::string* text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *text = ss.str();
    return true;
}

bool writeText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// Creates a file with its content unless it exists.
void makeFile(const std::string& hostPath, const char* content)
{
    if (access(hostPath.c_str(), F_OK) == 0)
        return;
    size_t slash = hostPath.rfind('/');
    simMakeDirs(hostPath.substr(0, slash).c_str());
    writeText(hostPath, content);
}

void spiDefaults(SimDevice& d)
{
    d.spiMode.store(0);
    d.spiLsb.store(0);
    d.spiBits.store(kSpiDefaultBits);
    d.spiSpeed.store(kSpiDefaultSpeed);
}

void profileOf(const std::string& text, SimProfile* prof)
{
    std::string err;
    if (simProfileParse(text, prof, &err) != 0) {
        fprintf(stderr, "simulated board: profile %s\n", err.c_str());
        *prof = SimProfile{};
    }
}

// Fills a new board from the profile the sandbox is built from.
int buildBoard(SimBoardState* s)
{
    std::string src = simProfileSource(), text;
    if (!readText(src, &text))
        fprintf(stderr, "simulated board: cannot read the profile %s; the board carries no devices\n", src.c_str());
    SimProfile prof;
    profileOf(text, &prof);
    std::string copy = simFilePath("board.profile");
    if (src != copy)
        writeText(copy, text);
    snprintf(s->profile, sizeof s->profile, "%s", src.c_str());
    int slot = 0;
    for (const SimProfileDevice& p : prof.devices) {
        if (!simKindKnown(p.bus, p.kind.c_str())) {
            fprintf(stderr, "simulated board: unknown kind \"%s\" for %s 0x%02X\n", p.kind.c_str(), simBusName(p.bus),
                    p.addr);
            continue;
        }
        if (slot == kSimMaxDevices) {
            fprintf(stderr, "simulated board: more than %d devices\n", kSimMaxDevices);
            break;
        }
        SimDevice& d = s->devices[slot++];
        d.bus = static_cast<uint8_t>(p.bus);
        d.addr = p.addr;
        snprintf(d.kind, sizeof d.kind, "%s", p.kind.c_str());
        snprintf(d.name, sizeof d.name, "%s", p.name.c_str());
        snprintf(d.opts, sizeof d.opts, "%s", p.opts.c_str());
        d.kernelHeld = simParseOptions(p.opts).count("kernel") ? 1 : 0;
        spiDefaults(d);
        d.used.store(1, std::memory_order_release);
    }
    simModelsAttach(true);
    return simFpgaPowerOn(prof);
}

// The sysfs files of the board: the bridge enable files, and the attribute
// files of the kernel drivers that hold I2C addresses.
void makeSysfs()
{
    for (const char* b : kBridges)
        makeFile(sysPath((std::string("/sys/class/fpga-bridge/") + b + "/enable").c_str()), "0\n");
    for (const SimDevice& d : simState()->devices) {
        if (!d.used.load() || !d.kernelHeld)
            continue;
        auto opts = simParseOptions(d.opts);
        std::stringstream attrs(opts.count("attrs") ? opts["attrs"] : "");
        std::string attr;
        int bus = d.bus == SIM_BUS_I2C0 ? 0 : 1;
        char dir[96];
        snprintf(dir, sizeof dir, "/sys/class/i2c-dev/i2c-%d/device/%d-%04x/", bus, bus, d.addr);
        while (std::getline(attrs, attr, ','))
            if (!attr.empty())
                makeFile(sysPath((dir + attr).c_str()), "");
    }
}

void registerDevices()
{
    ioRegisterDevice("/dev/i2c-0", simI2cBusDevice(0));
    ioRegisterDevice("/dev/i2c-1", simI2cBusDevice(1));
    for (int cs = 0; cs < 256; cs++) {
        std::string path = "/dev/spidev0." + std::to_string(cs);
        ioRegisterDevice(path.c_str(), simFindDevice(SIM_BUS_SPI0, static_cast<uint16_t>(cs)) ? simSpiNodeDevice(cs)
                                                                                             : nullptr);
    }
    ioRegisterDevice("/dev/mem", simMemDevice());
    ioRegisterDevice("/dev/dwlfpga", simDwlFpgaDevice());
}

} // namespace

int simMakeDirs(const char* hostPath)
{
    std::string p = hostPath;
    for (size_t i = 1; i <= p.size(); i++) {
        if (i == p.size() || p[i] == '/') {
            std::string part = p.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                return -1;
        }
    }
    return 0;
}

void simBoardInit()
{
    static const char* const dirs[] = {"/dev/shm", "/tmp", "/usr/local/conf", "/var/run", "/usr/share/VRL/log",
                                       "/usr/share/VRL/www/TRN_Equip/Factory"};
    std::string root = sandboxRoot();
    if (mod().root == root && simState())
        return;
    simMakeDirs(root.c_str());
    for (const char* d : dirs)
        simMakeDirs(sysPath(d).c_str());
    simInstallPrograms();
    if (simStateAttach(root, buildBoard) != 0) {
        fprintf(stderr, "simulated board: cannot attach the board of %s\n", root.c_str());
        return;
    }
    simModelsAttach(false);
    makeSysfs();
    registerDevices();
    mod().root = root;
}

int simBoardReset()
{
    SimBoardState* s = simState();
    if (!s)
        return -1;
    SimProfile prof;
    profileOf(simBoardProfileText(), &prof);
    for (int b = 0; b < SIM_BUS_COUNT; b++)
        simBusLock(static_cast<SimBusId>(b));
    simModelsPowerOn();
    simStateClearRuntime(s);
    for (SimDevice& d : s->devices)
        spiDefaults(d);
    for (int b = SIM_BUS_COUNT - 1; b >= 0; b--)
        simBusUnlock(static_cast<SimBusId>(b));
    return simFpgaPowerOn(prof);
}

std::string simBoardProfileText()
{
    std::string text;
    readText(simFilePath("board.profile"), &text);
    return text;
}
