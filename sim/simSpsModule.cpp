// The SPS serial power module on a pseudo-terminal: frames checked by their
// CRC-16/MODBUS (high byte first), poll and read replies, writes applied.
#include "sim/simSpsModule.h"

#include "platform/host/ioDevice.h"
#include "sim/simPlant.h"
#include "sim/simProfile.h"
#include "sim/simState.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <set>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Port {
    int master = -1;
    char serial[13] = "EP16SN000042";
    std::string slave;     // the pseudo-terminal the port's path leads to
    bool attached = false; // the attached board has the module
};

std::mutex& portsLock()
{
    static std::mutex m;
    return m;
}

std::map<std::string, Port*>& ports()
{
    static auto* p = new std::map<std::string, Port*>();
    return *p;
}

uint16_t crc16(const uint8_t* d, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; i++) {
        crc ^= d[i];
        for (int b = 0; b < 8; b++)
            crc = static_cast<uint16_t>(crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

// The module answers on its own thread: the plant reads and drives the
// expanders' pins, so it is reached under the I2C bus lock first, in the
// order the drivers' transfers take them (I2C, then SPI).
double plantValue(const char* name, double def)
{
    if (!simPlantPresent())
        return def;
    SimBusGuard g(SIM_BUS_I2C1);
    for (auto& [k, v] : simPlantQuantities())
        if (k == name)
            return atof(v.c_str());
    return def;
}

void sendReply(Port* p, SimSpsKnobs& k, uint8_t address, char letter, const uint8_t* data, size_t n)
{
    if (k.silent.load())
        return;
    uint8_t f[64];
    size_t len = n + 5;
    f[0] = address;
    f[1] = static_cast<uint8_t>(len);
    f[2] = static_cast<uint8_t>(letter);
    memcpy(f + 3, data, n);
    uint16_t crc = crc16(f, len - 2);
    if (k.badCrc.load())
        crc ^= 0x5A5A;
    f[len - 2] = static_cast<uint8_t>(crc >> 8);
    f[len - 1] = static_cast<uint8_t>(crc & 0xFF);
    if (k.shortReply.load())
        len--;
    if (k.split.load()) {
        size_t half = len / 2;
        if (::write(p->master, f, half) < 0)
            return;
        usleep(20000);
        if (::write(p->master, f + half, len - half) < 0)
            return;
        return;
    }
    if (::write(p->master, f, len) < 0)
        return;
}

void readReply(Port* p, SimSpsKnobs& k, uint8_t reg)
{
    uint8_t d[8] = {};
    size_t n = 2;
    auto word = [&](uint32_t v) {
        d[0] = static_cast<uint8_t>(v >> 8);
        d[1] = static_cast<uint8_t>(v & 0xFF);
    };
    double volts = k.voutWord.load() / 400.0;
    double amps = k.mode.load() == 1 ? 0.0 : plantValue("current", 10.0);
    switch (reg) {
    case 0x07:
        d[0] = 2, d[1] = 1, d[2] = 11, d[3] = 24, d[4] = 12, d[5] = 10, d[6] = 30;
        n = 7;
        break;
    case 0x0C: word(k.status.load()); break;
    case 0x20: word(k.voutWord.load()); break;
    case 0x0A: word(static_cast<uint32_t>(std::lround(amps * 10.0))); break;
    case 0x29: word(23000); break;
    case 0x2A: word(static_cast<uint32_t>(std::lround(volts * amps / 230.0 * 200.0))); break;
    case 0x37: word(static_cast<uint32_t>(std::lround(volts * amps * 1.08))); break;
    case 0x0B: d[0] = 41, n = 1; break;
    case 0x28: d[0] = 27, n = 1; break;
    case 0x3A: d[0] = 35, n = 1; break;
    case 0x39:
        d[0] = 0, d[1] = 1, d[2] = 0x86, d[3] = 0xA0;
        n = 4;
        break;
    default: word(0); break;
    }
    sendReply(p, k, 1, 'r', d, n);
}

// The plant's supply: the output voltage, 0 while the module is off (mode 1).
void feedPlant(const SimSpsKnobs& k)
{
    if (!simPlantPresent())
        return;
    SimBusGuard g(SIM_BUS_I2C1);
    simPlantSet("supply", std::to_string(k.mode.load() == 1 ? 0.0 : k.voutWord.load() / 400.0));
}

void handle(Port* p, SimSpsKnobs& k, const uint8_t* f, size_t len)
{
    uint16_t crc = crc16(f, len - 2);
    if (f[len - 2] != (crc >> 8) || f[len - 1] != (crc & 0xFF)) {
        k.badFrames++;
        return;
    }
    char letter = static_cast<char>(f[2]);
    if (letter == 'P') {
        k.polls++;
        sendReply(p, k, 0xFF, 'p', reinterpret_cast<const uint8_t*>(p->serial), 12);
    } else if (letter == 'R' && len >= 6) {
        k.reads++;
        k.lastRegister = f[3];
        readReply(p, k, f[3]);
    } else if (letter == 'W' && len >= 7) {
        uint32_t v = len >= 8 ? static_cast<uint32_t>(f[4] << 8 | f[5]) : f[4];
        switch (f[3]) {
        case 0x13:
            k.voutWord = v;
            feedPlant(k);
            break;
        case 0x0F:
            k.mode = v;
            feedPlant(k);
            break;
        case 0x3B: k.minFan = v; break;
        case 0x09: k.pollTimeout = v; break;
        default: break;
        }
    }
}

void serve(Port* p)
{
    std::vector<uint8_t> in;
    uint8_t buf[256];
    for (;;) {
        struct pollfd pfd = {p->master, POLLIN, 0};
        int r = ::poll(&pfd, 1, 50);
        if (r <= 0 || !(pfd.revents & POLLIN)) {
            if (r > 0 && (pfd.revents & (POLLHUP | POLLERR)))
                usleep(20000); // no slave open yet
            continue;
        }
        ssize_t n = ::read(p->master, buf, sizeof buf);
        if (n <= 0)
            continue;
        in.insert(in.end(), buf, buf + n);
        // Frames by their length byte; a byte that cannot start one is dropped.
        while (in.size() >= 2) {
            size_t len = in[1];
            if (len < 5) {
                in.erase(in.begin());
                continue;
            }
            if (in.size() < len)
                break;
            if (SimSpsKnobs* k = simSpsKnobs())
                handle(p, *k, in.data(), len);
            in.erase(in.begin(), in.begin() + static_cast<long>(len));
        }
    }
}

int startPty(const std::string& path, const std::string& opts)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        if (master >= 0)
            close(master);
        fprintf(stderr, "simulated board: no pseudo-terminal for %s\n", path.c_str());
        return -1;
    }
    char slave[128];
    if (ptsname_r(master, slave, sizeof slave) != 0) {
        close(master);
        return -1;
    }
    struct termios t;
    if (tcgetattr(master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    Port* p = new Port(); // lives as long as the process, as its thread
    p->master = master;
    auto o = simParseOptions(opts);
    if (o.count("serial"))
        snprintf(p->serial, sizeof p->serial, "%-12.12s", o["serial"].c_str());
    p->slave = slave;
    p->attached = true;
    std::thread(serve, p).detach();
    ioRegisterHostNode(path.c_str(), slave);
    ports()[path] = p;
    return 0;
}

} // namespace

SimSpsKnobs* simSpsAt(const char* path)
{
    std::lock_guard<std::mutex> g(portsLock());
    auto it = ports().find(path);
    return it != ports().end() && it->second->attached ? simSpsKnobs() : nullptr;
}

SimSpsKnobs* simSpsKnobs()
{
    SimBoardState* s = simState();
    return s ? &s->sps : nullptr;
}

void simSpsPowerOn(SimSpsKnobs* k)
{
    k->status = 0x0801;
    for (std::atomic<int>* knob : {&k->silent, &k->split, &k->shortReply, &k->badCrc})
        knob->store(0);
    for (std::atomic<uint32_t>* v : {&k->voutWord, &k->mode, &k->minFan, &k->pollTimeout, &k->polls, &k->reads,
                                     &k->lastRegister, &k->badFrames})
        v->store(0);
}

void simSpsAttach(const std::string& profileText)
{
    SimProfile prof;
    std::set<std::string> wanted;
    if (simProfileParse(profileText, &prof, nullptr) == 0)
        for (const SimProfileUart& u : prof.uarts)
            if (u.kind == "gesps")
                wanted.insert(u.path);
    std::lock_guard<std::mutex> g(portsLock());
    // A port served for an earlier board of this process leads nowhere on
    // a board without the module, and back to the module on one with it.
    for (auto& [path, p] : ports()) {
        p->attached = wanted.count(path) != 0;
        ioRegisterHostNode(path.c_str(), p->attached ? p->slave.c_str() : "");
    }
    for (const SimProfileUart& u : prof.uarts)
        if (u.kind == "gesps" && ports().count(u.path) == 0)
            startPty(u.path, u.opts);
}
