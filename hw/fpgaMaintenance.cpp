// FPGA identity, resets and maintenance. Every sequence step changes one
// item and sends the whole frame, so the frame always carries the whole
// configuration with the one changed bit.
#include "hw/fpgaMaintenance.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "hw/boardIo.h"
#include "hw/fpgaTransfer.h"
#include "hw/fpgaWindows.h"
#include "hw/mtdFlash.h"
#include "platform/clock.h"
#include "platform/paths.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

constexpr uint8_t kRegionIdentity = 25;
constexpr int kMorseSlots = 160;
constexpr uint8_t kStandardFm = 227;

struct MaintenanceState {
    // FSK signature schedule.
    uint32_t fskStarted = 0;
    time_t fskLast = 0;
};

MaintenanceState& st()
{
    static MaintenanceState s;
    return s;
}

struct MorsePattern {
    uint8_t ch;
    uint8_t width;
    uint32_t value;
};

const MorsePattern kMorse[] = {
#define MORSE(ch, width, value) {ch, width, value},
#include "hw/morseTable.def"
#undef MORSE
};

const MorsePattern* morseOf(char c)
{
    for (const MorsePattern& m : kMorse)
        if (m.ch == static_cast<uint8_t>(c))
            return &m;
    return nullptr;
}

long absSeconds(const struct timespec& a, const struct timespec& b)
{
    long d = static_cast<long>(a.tv_sec - b.tv_sec);
    return d < 0 ? -d : d;
}

// Three frames with a flag at 0, 1, 0.
int pulse(void (*set)(uint32_t))
{
    set(0);
    Fpga_SendFrame(1, 1);
    set(1);
    Fpga_SendFrame(1, 1);
    set(0);
    return Fpga_SendFrame(1, 1);
}

void syncPulse()
{
    setFpgaSyncPulseFlag(1);
    Fpga_SendFrame(0, 0);
    clockSleepUs(5000);
    setFpgaSyncPulseFlag(0);
    Fpga_SendFrame(0, 0);
}

} // namespace

int Fpga_ResetAudioDac()
{
    setDacAudioMode(0);
    setDacAudioNotReset(1);
    Fpga_SendFrame(1, 1);
    setDacAudioNotReset(0);
    Fpga_SendFrame(1, 1);
    setDacAudioNotReset(1);
    return Fpga_SendFrame(1, 1);
}

int Fpga_PulseAudioPllReset()
{
    return pulse([](uint32_t v) { setAudioPllResetFlag(v); });
}

int Fpga_PulseControlB()
{
    return pulse([](uint32_t v) { setFpgaControlBFlag(v); });
}

int Fpga_PulseControlC()
{
    setFpgaControlCFlag(1);
    Fpga_SendFrame(1, 1);
    if (uint32_t mode = getDacLevelMode())
        return static_cast<int>(mode);
    setFpgaControlCFlag(0);
    return Fpga_SendFrame(1, 1);
}

int Fpga_ResetPulse()
{
    setFpgaResetPulseFlag(1);
    Fpga_SendFrame(0, 0);
    clockSleepUs(5000);
    setFpgaResetPulseFlag(0);
    return Fpga_SendFrame(0, 0);
}

int Fpga_TriggerFskSign()
{
    setFskSignTrigger(0);
    Fpga_SendFrame(0, 0);
    if (uint8_t busy = getFskSignBusy())
        return busy;
    setFskSignTrigger(1);
    Fpga_SendFrame(0, 0);
    clockSleepUs(100);
    setFskSignTrigger(0);
    return Fpga_SendFrame(0, 0);
}

int Fpga_SendConfig()
{
    return Fpga_SendFrame(1, 0);
}

int Fpga_SendConfigOff()
{
    return Fpga_SendFrame(0, 0);
}

int Fpga_SendConfigCurrent()
{
    return Fpga_SendFrame(rfMuteState.load(), 0);
}

int Fpga_SendConfigMutedB()
{
    return Fpga_SendFrame(1, 0);
}

// The reset request these two name is placed in no frame word, so both
// transfers of each carry the same frame.
int MuteResetOn()
{
    logInfo("%s: ResetMute FPGA", "MuteResetOn");
    Fpga_SendFrame(1, 0);
    clockSleepUs(1);
    int r = Fpga_SendFrame(1, 0);
    clockSleepUs(100000);
    return r;
}

int MuteResetOff()
{
    logInfo("%s: Reset FPGA", "MuteResetOff");
    Fpga_SendFrame(0, 0);
    clockSleepUs(1);
    int r = Fpga_SendFrame(0, 0);
    clockSleepUs(100000);
    return r;
}

int Fpga_WaitAudioPllLock(uint8_t withPulses)
{
    struct timespec start, now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &start);
    for (;;) {
        Fpga_SendFrame(1, 0);
        Fpga_ReadConfig();
        if (getPllAudioLocked() == 1)
            break;
        clockGetTime(CLOCK_MONOTONIC_RAW, &now);
        if (absSeconds(now, start) > 5)
            return 1;
        // Poll once a millisecond rather than spin on the FPGA for 5 s.
        clockSleepUs(1000);
    }
    if (!withPulses)
        return 0;
    syncPulse();
    setFpgaResetPulseFlag(1);
    Fpga_SendFrame(1, 0);
    clockSleepUs(100000);
    setFpgaResetPulseFlag(0);
    Fpga_SendFrame(1, 0);
    return 0;
}

void fpgaVersionText(uint32_t word, char* text, int size)
{
    snprintf(text, static_cast<size_t>(size), "%s ver. %1d.%.1d.%.1d [HwType %X]", "FM",
             static_cast<int>(word >> 16 & 0xFF), static_cast<int>(word >> 8 & 0xFF), static_cast<int>(word & 0xFF),
             word >> 24);
}

int Fpga_PrintVersion()
{
    uint32_t word = fpgaReadVersionWord();
    char text[64];
    fpgaVersionText(word, text, sizeof text);
    logInfo("Program FPGA: %s", text);
    printf("Program FPGA: %s\n", text);
    fflush(stdout);
    setFpgaVerMajor(static_cast<uint8_t>(word >> 16));
    setFpgaVerMinor(static_cast<uint8_t>(word >> 8));
    setFpgaVerRevision(static_cast<uint8_t>(word));
    return 0;
}

void printSystemInformation()
{
    uint32_t word = fpgaReadVersionWord();
    logDebug("SYSTEM INFORMATION:");
    logDebug("       FPGA          type : 0x%02X", word >> 24);
    logDebug("       FPGA major version : 0x%02X", word >> 16 & 0xFF);
    logDebug("       FPGA minor version : 0x%02X", word >> 8 & 0xFF);
    logDebug("       FPGA      revision : 0x%02X", word & 0xFF);
}

uint32_t fskSignPeriodSeconds(uint32_t index)
{
    static const uint32_t kPeriods[] = {300, 1800, 3600, 7200, 10800, 14400, 21600, 28800, 43200, 86400};
    return index < sizeof kPeriods / sizeof kPeriods[0] ? kPeriods[index] : 0;
}

int checkFskSignSchedule()
{
    MaintenanceState& s = st();
    time_t now = clockWallSeconds();
    struct tm local = {};
    localtime_r(&now, &local);
    uint32_t minuteOfDay = static_cast<uint32_t>(local.tm_hour * 60 + local.tm_min);
    uint32_t enabled = getFSKSignEna();
    if (enabled != 1) {
        s.fskStarted = 0;
        return static_cast<int>(enabled);
    }
    int r = 0;
    if (s.fskStarted) {
        time_t d = now - s.fskLast;
        if (d < 0)
            d = -d;
        if (d >= static_cast<time_t>(fskSignPeriodSeconds(getFSKSignTimePeriod()))) {
            r = Fpga_TriggerFskSign();
            s.fskLast = now;
        }
    } else if ((getFSKSignTimeStart() & 0xFF) <= minuteOfDay) {
        r = Fpga_TriggerFskSign();
        s.fskStarted = 1;
        s.fskLast = now;
    }
    return r;
}

void Fpga_EncodeRegion25Words(const char* chars, uint32_t* words)
{
    int slot = 0;
    uint8_t width = 0;
    uint32_t value = 0;
    for (int i = 0; i < 6; i++) {
        // A character outside the table repeats the pattern before it.
        if (const MorsePattern* m = morseOf(chars[i])) {
            width = m->width;
            value = m->value;
        }
        for (int b = 0; b < width && slot < kMorseSlots; b++, slot++) {
            uint32_t bit = 1u << (slot % 32);
            if (value >> b & 1)
                words[slot / 32] |= bit;
            else
                words[slot / 32] &= ~bit;
        }
        slot += 3;
    }
}

int Fpga_LoadRegion25(const uint32_t* words)
{
    int r = 0;
    for (uint32_t i = 0; i < 5; i++) {
        uint32_t index = i, strobe = i | 8;
        fpgaWriteWords(&index, 1, 2, kRegionIdentity, 4);
        fpgaWriteWords(&words[i], 1, 2, kRegionIdentity, 0);
        r = fpgaWriteWords(&strobe, 1, 2, kRegionIdentity, 4);
    }
    return r;
}

const char* fpgaStandardName(uint8_t code, char* text)
{
    const char* name;
    switch (code) {
    case 227: name = "FM"; break;
    case 240: name = "DVB-T"; break;
    case 241: name = "DVB-T2"; break;
    case 242: name = "PAL/NTSC"; break;
    case 243: name = "ATSC"; break;
    case 244: name = "ISDB-T"; break;
    case 245: name = "DTMB"; break;
    case 246: name = "DAB"; break;
    case 247: name = "Repeater"; break;
    default: name = "UNKNOWN TYPE"; break;
    }
    strcpy(text, name);
    return text;
}

int Fpga_LocateFmDesign()
{
    static const char* const kBanks[2][3] = {{"/dev/mtd3", "/dev/mtd4", "/dev/mtd5"},
                                             {"/dev/mtd11", "/dev/mtd12", "/dev/mtd13"}};
    uint8_t active = getActiveBank();
    if (active > 1)
        return 0;
    int found = 0;
    for (int n = 1; n <= 3; n++) {
        uint8_t raw[4] = {}, code = 0;
        MtdRead(kBanks[active][n - 1], raw, 4, 4);
        uint32_t at = static_cast<uint32_t>(raw[0]) | raw[1] << 8 | raw[2] << 16 | static_cast<uint32_t>(raw[3]) << 24;
        MtdRead(kBanks[active][n - 1], &code, 8 + at, 1);
        char name[16];
        fpgaStandardName(code, name);
        switch (n) {
        case 1: setFpgaBank1Std(code); break;
        case 2: setFpgaBank2Std(code); break;
        default: setFpgaBank3Std(code); break;
        }
        logInfo("FPGA bank %d - standard found: %s", n, name);
        if (code == kStandardFm)
            found = n;
    }
    if (found == 0) {
        logErr("FPGA Type not found! Start first FPGA");
        return 1;
    }
    return found;
}

int Fpga_ResetAudioProcessor()
{
    std::string path = sysPath("/dev/shm/rst_audio_proc");
    int r = access(path.c_str(), R_OK);
    if (r != 0)
        return r;
    logInfo("Reset Audio processor");
    syncPulse();
    setFpgaResetPulseFlag(1);
    Fpga_SendFrame(0, 0);
    clockSleepUs(100000);
    setFpgaResetPulseFlag(0);
    Fpga_SendFrame(0, 0);
    return remove(path.c_str());
}

int Fpga_ResetAudioPll()
{
    std::string path = sysPath("/dev/shm/rst_audio_pll");
    int r = access(path.c_str(), F_OK);
    if (r != 0)
        return r;
    logInfo("Reset Audio PLL");
    Fpga_PulseAudioPllReset();
    if (Fpga_WaitAudioPllLock(0) != 0)
        logErr("Lock Pll Audio FAILURE");
    else
        logInfo("Lock Pll Audio OK");
    return remove(path.c_str());
}
