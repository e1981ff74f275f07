// Board profiles of the simulated board.
#include "sim/simProfile.h"

#include "sim/simFpga.h"

#include <cstdlib>
#include <sstream>
#include <unistd.h>

#ifndef CORVANE_SIM_PROFILE_DIR
#define CORVANE_SIM_PROFILE_DIR "sim/profiles"
#endif

bool simParseNumber(const std::string& text, uint32_t* out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    unsigned long v = strtoul(text.c_str(), &end, 0);
    if (*end != 0 || v > 0xFFFFFFFFul)
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

std::map<std::string, std::string> simParseOptions(const std::string& opts)
{
    std::map<std::string, std::string> m;
    std::istringstream in(opts);
    std::string word;
    while (in >> word) {
        size_t eq = word.find('=');
        if (eq == std::string::npos)
            m[word] = "";
        else
            m[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return m;
}

int simProfileParse(const std::string& text, SimProfile* out, std::string* error)
{
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const char* why) {
        if (error)
            *error = "line " + std::to_string(lineNo) + ": " + why;
        return -1;
    };
    while (std::getline(in, line)) {
        lineNo++;
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string type;
        if (!(words >> type))
            continue;
        uint32_t a = 0, b = 0;
        std::string first, second, kind;
        if (type == "fpga") {
            if (!(words >> first >> second) || !simParseNumber(first, &a) || !simParseNumber(second, &b))
                return fail("expected: fpga <physical address> <value>");
            if (a < 0xFC000000u || (a & 3))
                return fail("not a word of the FPGA window");
            out->fpgaWords.push_back({a, b});
            continue;
        }
        if (type == "fpga-pll") {
            std::string rest;
            std::getline(words, rest);
            if (simParsePllScript(rest, &out->pllScript, &out->pllAfter) != 0)
                return fail("expected: fpga-pll locked|never|after <frames>");
            continue;
        }
        if (type == "fpga-refs" || type == "fpga-delay") {
            std::string rest;
            std::getline(words, rest);
            if (type == "fpga-refs") {
                uint32_t missing = 0;
                if (simParseRefs(rest, 0, &missing) != 0)
                    return fail("expected: fpga-refs 10mhz=on|off pps=on|off sine=on|off");
                out->refsDriven = 1;
                out->refsMissing = missing;
            } else if (simParseDelayMode(rest, &out->delayMode, &out->delayCount) != 0) {
                return fail("expected: fpga-delay <count>|fail|never");
            }
            continue;
        }
        if (type == "uart") {
            SimProfileUart u;
            if (!(words >> u.path >> u.kind) || u.path.rfind("/dev/", 0) != 0)
                return fail("expected: uart <device path> <kind> [options]");
            std::getline(words, u.opts);
            for (const SimProfileUart& o : out->uarts)
                if (o.path == u.path)
                    return fail("UART listed twice");
            out->uarts.push_back(u);
            continue;
        }
        if (type == "fw-bank") {
            if (!(words >> first) || !simParseNumber(first, &a) || (a != 1 && a != 2))
                return fail("expected: fw-bank 1|2");
            out->fwBank = a;
            continue;
        }
        if (type == "emmc") {
            out->emmcPartitions.clear();
            while (words >> first) {
                if (!simParseNumber(first, &a) || a < 1 || a > 8)
                    return fail("expected: emmc <partition 1..8>...");
                out->emmcPartitions.push_back(static_cast<int>(a));
            }
            continue;
        }
        SimProfileDevice d;
        if (type == "i2c") {
            if (!(words >> first >> second >> kind) || !simParseNumber(first, &a) || !simParseNumber(second, &b))
                return fail("expected: i2c <bus> <address> <kind> [options]");
            if (a > 1 || b > 0x7F)
                return fail("I2C bus must be 0 or 1 and the address 7-bit");
            d.bus = a == 0 ? SIM_BUS_I2C0 : SIM_BUS_I2C1;
            d.addr = static_cast<uint16_t>(b);
        } else if (type == "spi") {
            if (!(words >> first >> kind) || !simParseNumber(first, &a) || a > 255)
                return fail("expected: spi <chip select> <kind> [options]");
            d.bus = SIM_BUS_SPI0;
            d.addr = static_cast<uint16_t>(a);
        } else if (type == "mdio") {
            if (!(words >> first >> kind) || (first != "A" && first != "B"))
                return fail("expected: mdio A|B <kind> [options]");
            d.bus = SIM_BUS_MDIO;
            d.addr = first == "A" ? 0 : 1;
        } else {
            return fail("unknown entry");
        }
        d.kind = kind;
        std::string rest;
        std::getline(words, rest);
        size_t start = rest.find_first_not_of(" \t"), end = rest.find_last_not_of(" \t\r");
        d.opts = start == std::string::npos ? "" : rest.substr(start, end - start + 1);
        auto opts = simParseOptions(d.opts);
        d.name = opts.count("name") ? opts["name"] : "";
        for (const SimProfileDevice& o : out->devices)
            if (o.bus == d.bus && o.addr == d.addr)
                return fail("device listed twice");
        out->devices.push_back(d);
    }
    return 0;
}

std::string simProfileSource()
{
    const char* env = getenv("CORVANE_BOARD_PROFILE");
    if (env && *env) {
        std::string p = env;
        if (p.find('/') == std::string::npos && p.find('.') == std::string::npos)
            return std::string(CORVANE_SIM_PROFILE_DIR) + "/" + p + ".profile";
        return p;
    }
    std::string inSandbox = simFilePath("board.profile");
    if (access(inSandbox.c_str(), R_OK) == 0)
        return inSandbox;
    return std::string(CORVANE_SIM_PROFILE_DIR) + "/default.profile";
}
