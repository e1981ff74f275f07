// unitRecord: gives the simulated board of a sandbox (the one CORVANE_ROOT
// names) a unit identity: writes the unit identity record into bytes 0..127
// of its board EEPROM (M24LC512 at i2c-1 0x51), with its big-endian CRC.
#include "core/base/utils.h"
#include "hw/eeprom.h"
#include "hw/eepromDevices.h"
#include "platform/init.h"
#include "platform/paths.h"
#include "sim/simModels.h"
#include "sim/simState.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kUsage[] =
    "usage: unitRecord [options]\n"
    "  --serial <text>     serial number, at most 12 characters\n"
    "  --front <mac>       MAC address of the front port (aa:bb:cc:dd:ee:ff)\n"
    "  --rear <mac>        MAC address of the rear port\n"
    "  --gbe-a <mac>       MAC address of the first gigabit port\n"
    "  --gbe-b <mac>       MAC address of the second gigabit port\n"
    "  --bank 1|2          active firmware bank\n"
    "  --flag 0|1          unit flag byte\n"
    "  --fresh             start from an empty record, not from the one on the board\n"
    "  --show              print the record on the board and change nothing\n"
    "Fields not given keep their value when the board holds a valid record;\n"
    "otherwise the record starts empty with bank 1.\n";

constexpr size_t kRecord = 128;

int usage()
{
    fputs(kUsage, stderr);
    return 2;
}

bool parseMac(const char* text, uint8_t* out)
{
    unsigned v[6];
    char end;
    if (sscanf(text, "%x:%x:%x:%x:%x:%x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &end) != 6)
        return false;
    for (int i = 0; i < 6; i++) {
        if (v[i] > 0xFF)
            return false;
        out[i] = static_cast<uint8_t>(v[i]);
    }
    return true;
}

std::string macText(const uint8_t* m)
{
    char s[24];
    snprintf(s, sizeof s, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
    return s;
}

void show(const uint8_t* r)
{
    std::string serial;
    for (uint32_t i = 0; i < UNIT_INFO_SERIAL_BYTES; i++) {
        char c = static_cast<char>(r[UNIT_INFO_SERIAL_OFFSET + i]);
        serial += c >= 32 && c < 127 ? c : '.';
    }
    uint32_t stored = getU32BE(r + UNIT_INFO_CRC_OFFSET), crc = unitInfoCrc(r);
    printf("serial    %s\n", serial.c_str());
    printf("bank      %u\n", r[0]);
    printf("front     %s\n", macText(r + UNIT_INFO_MAC_FRONT_OFFSET).c_str());
    printf("rear      %s\n", macText(r + UNIT_INFO_MAC_REAR_OFFSET).c_str());
    printf("gbe-a     %s\n", macText(r + UNIT_INFO_MAC_GBE_A_OFFSET).c_str());
    printf("gbe-b     %s\n", macText(r + UNIT_INFO_MAC_GBE_B_OFFSET).c_str());
    printf("flag      %u\n", r[UNIT_INFO_FLAG_OFFSET]);
    printf("crc       0x%08X (%s)\n", stored, stored == crc ? "valid" : "INVALID");
}

} // namespace

int main(int argc, char** argv)
{
    platformInit();
    SimDevice* dev = simFindDevice(SIM_BUS_I2C1, EEPROM_BOARD_ADDRESS);
    SimModel* eeprom = dev ? simModelOf(dev) : nullptr;
    if (!eeprom) {
        fprintf(stderr, "unitRecord: the board of %s has no EEPROM at i2c-1 0x%02X\n", sandboxRoot().c_str(),
                EEPROM_BOARD_ADDRESS);
        return 1;
    }
    uint8_t rec[kRecord];
    {
        SimBusGuard g(SIM_BUS_I2C1);
        eeprom->peek(0, rec, kRecord);
    }
    bool fresh = unitInfoCrc(rec) != getU32BE(rec + UNIT_INFO_CRC_OFFSET);
    bool showOnly = false;
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], "--fresh") == 0)
            fresh = true;
    if (fresh) {
        memset(rec, 0, kRecord);
        rec[0] = 1;
    }
    for (int i = 1; i < argc; i++) {
        std::string opt = argv[i];
        if (opt == "--fresh")
            continue;
        if (opt == "--show") {
            showOnly = true;
            continue;
        }
        if (i + 1 >= argc)
            return usage();
        const char* v = argv[++i];
        uint32_t macAt = opt == "--front" ? UNIT_INFO_MAC_FRONT_OFFSET
                       : opt == "--rear"  ? UNIT_INFO_MAC_REAR_OFFSET
                       : opt == "--gbe-a" ? UNIT_INFO_MAC_GBE_A_OFFSET
                       : opt == "--gbe-b" ? UNIT_INFO_MAC_GBE_B_OFFSET
                                          : 0;
        if (macAt) {
            if (!parseMac(v, rec + macAt))
                return usage();
        } else if (opt == "--serial") {
            size_t len = strlen(v);
            if (len == 0 || len > UNIT_INFO_SERIAL_BYTES)
                return usage();
            memset(rec + UNIT_INFO_SERIAL_OFFSET, 0, UNIT_INFO_SERIAL_BYTES);
            memcpy(rec + UNIT_INFO_SERIAL_OFFSET, v, len);
        } else if (opt == "--bank" && (strcmp(v, "1") == 0 || strcmp(v, "2") == 0)) {
            rec[0] = static_cast<uint8_t>(v[0] - '0');
        } else if (opt == "--flag" && (strcmp(v, "0") == 0 || strcmp(v, "1") == 0)) {
            rec[UNIT_INFO_FLAG_OFFSET] = static_cast<uint8_t>(v[0] - '0');
        } else {
            return usage();
        }
    }
    if (showOnly) {
        SimBusGuard g(SIM_BUS_I2C1);
        eeprom->peek(0, rec, kRecord);
    } else {
        putU32BE(unitInfoCrc(rec), rec + UNIT_INFO_CRC_OFFSET);
        SimBusGuard g(SIM_BUS_I2C1);
        if (eeprom->poke(0, rec, kRecord) != static_cast<int>(kRecord)) {
            fprintf(stderr, "unitRecord: cannot write the record\n");
            return 1;
        }
    }
    show(rec);
    return 0;
}
