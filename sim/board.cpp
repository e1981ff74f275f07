// The simulated board: sandbox skeleton, the board built from its profile,
// and the registration of the simulated devices.
#include "sim/board.h"

#include "platform/host/ioDevice.h"
#include "platform/paths.h"
#include "sim/programs.h"
#include "sim/simFb.h"
#include "sim/simPtyPort.h"
#include "sim/simFpga.h"
#include "sim/simI2c.h"
#include "sim/simModem.h"
#include "sim/simSpsModule.h"
#include "sim/simModels.h"
#include "sim/simProfile.h"
#include "sim/simSpi.h"
#include "sim/simState.h"
#include "sim/simWatchdog.h"
#include "sim/simStorage.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

// Creates a file with its content unless it exists.
int makeFile(const std::string& hostPath, const char* content)
{
    struct stat sb;
    if (lstat(hostPath.c_str(), &sb) == 0)
        return 0;
    size_t slash = hostPath.rfind('/');
    simMakeDirs(hostPath.substr(0, slash).c_str());
    return simWriteFile(hostPath, content);
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
    if (src != copy && simWriteFile(copy, text) != 0)
        return -1;
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
    if (simModelsAttach(true) != 0)
        return -1;
    simSpsPowerOn(&s->sps);
    int r = simFpgaPowerOn(prof);
    simBootLoader();
    return r;
}

// The sysfs files of the board: the bridge enable files, and the attribute
// files of the kernel drivers that hold I2C addresses.
int makeSysfs()
{
    int r = 0;
    for (const char* b : kBridges)
        r |= makeFile(sysPath((std::string("/sys/class/fpga-bridge/") + b + "/enable").c_str()), "0\n");
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
                r |= makeFile(sysPath((dir + attr).c_str()), "");
    }
    return r;
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
    ioRegisterDevice("/dev/fb0", simFbDevice());
    ioRegisterDevice("/dev/watchdog", simWatchdogDevice());
    ioRegisterDevice("/dev/ttyS1", simUecpPortDevice());
    ioRegisterDevice("/dev/ttyS0", simLinkPort0Device());
    ioRegisterDevice("/dev/ttyS2", simLinkPort2Device());
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
    if (simInstallPrograms() != 0 || simStateAttach(root, buildBoard) != 0 || simModelsAttach(false) != 0 ||
        makeSysfs() != 0 || simFbInstall() != 0 || simStorageInstall(simBoardProfileText()) != 0) {
        // Without its board the simulation cannot run: end here, said,
        // rather than meet a missing page later.
        fprintf(stderr, "simulated board: cannot bring up the board of %s\n", root.c_str());
        exit(1);
    }
    registerDevices();
    std::string profile;
    if (readText(simFilePath("board.profile"), &profile))
        simModemsAttach(profile);
    simSpsAttach(profile);
    mod().root = root;
}

int simWriteFile(const std::string& hostPath, const std::string& text, mode_t mode)
{
    std::string tmp = hostPath + ".new." + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
    int r = fd < 0 ? -1 : 0;
    for (size_t done = 0; r == 0 && done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            r = -1;
        else
            done += static_cast<size_t>(n);
    }
    if (r == 0 && fchmod(fd, mode) != 0)
        r = -1;
    if (fd >= 0 && close(fd) != 0)
        r = -1;
    if (r == 0 && rename(tmp.c_str(), hostPath.c_str()) != 0)
        r = -1;
    if (r != 0) {
        int e = errno;
        if (fd >= 0)
            unlink(tmp.c_str());
        fprintf(stderr, "simulated board: cannot write %s: %s\n", hostPath.c_str(), strerror(e));
    }
    return r;
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
    simSpsPowerOn(&s->sps);
    for (SimDevice& d : s->devices)
        spiDefaults(d);
    for (int b = SIM_BUS_COUNT - 1; b >= 0; b--)
        simBusUnlock(static_cast<SimBusId>(b));
    int r = simFpgaPowerOn(prof);
    // The boot loader runs on every power-up and chooses the bank.
    simBootLoader();
    return r;
}

std::string simBoardProfileText()
{
    std::string text;
    readText(simFilePath("board.profile"), &text);
    return text;
}
