#include "hw/si4769.h"

#include "Config/keys/hwCodesKeys.h"
#include "core/base/logs.h"
#include "hw/i2cBus.h"
#include "platform/clock.h"
#include "platform/io.h"

#include <cmath>
#include <cstdio>
#include <cstring>

std::atomic<uint32_t> SI4769_ErrorCount{0};

namespace {

constexpr uint8_t kCts = 0x80;
constexpr uint8_t kErrBit = 0x40;
constexpr int kMaxResp = 23;
// The first status read comes 10 ms after the command; a tuner that has not
// set CTS after about 100 ms more of reads (one each millisecond) is reported
// as a read error, so a stuck chip cannot hold bus 0 and the main loop.
constexpr uint64_t kFirstReadUs = 10000;
constexpr uint64_t kPollUs = 1000;
constexpr int kMaxPolls = 100;

void fail(const char* fn, const char* why, int err)
{
    printf("[DuRU]|ERR| %s() : %s - err=%d \n\n\n", fn, why, err);
    fflush(stdout);
}

void countError()
{
    SI4769_ErrorCount.fetch_add(1);
    i2cCountTransfer(false);
}

struct Property {
    uint16_t number;
    bool (*valid)(uint16_t v);
};

bool anyValue(uint16_t)
{
    return true;
}

const Property kProperties[] = {
    {SI4769_PROP_INT_CTL_ENABLE, [](uint16_t v) { return !(v & 0x4000) && v < 0x8000; }},
    {SI4769_PROP_AUDIO_DEEMPHASIS, anyValue},
    {SI4769_PROP_AUDIO_MISC_CONFIG, [](uint16_t v) { return !(v & 0x02) || !(v & 0x04); }},
    {SI4769_PROP_ZIF_OUTPUT_CFG,
     [](uint16_t v) {
         unsigned low = v & 0xFF, mid = (v >> 8) & 0xF, high = (v >> 12) & 0xF;
         bool lowOk = low == 1 || low == 17 || low == 19 || low == 29 || low == 31;
         return mid == 8 && (high == 0 || high == 4 || high == 8 || high == 12) && lowOk;
     }},
    {SI4769_PROP_FM_VALID_FREQOFF_SCALE, anyValue},
    {SI4769_PROP_FM_CHBW_BLOCKER_THR, anyValue},
    {SI4769_PROP_FM_RDS_CONFIG, [](uint16_t v) { return !(v & 0x300E) && !(v & 0x4000) && v < 0x8000; }},
};

const Property* findProperty(uint16_t number)
{
    for (const Property& p : kProperties)
        if (p.number == number)
            return &p;
    return nullptr;
}

// The exchange on the bus descriptor, with the bus lock held.
int exchange(int fd, const uint8_t* cmd, int n, uint8_t* resp, int r)
{
    if (ioWrite(fd, cmd, static_cast<size_t>(n + 1)) != n + 1) {
        logErr("Write error in SI4769");
        countError();
        return SI4769_ERR_WRITE;
    }
    SI4769_ErrorCount.store(0);
    i2cCountTransfer(true);
    clockSleepUs(kFirstReadUs);
    uint8_t in[kMaxResp + 1];
    for (int polls = 0;; polls++) {
        if (ioRead(fd, in, static_cast<size_t>(r + 1)) != r + 1 || (!(in[0] & kCts) && polls >= kMaxPolls)) {
            logErr("Read error in SI4769");
            countError();
            fail("SI4769_send_cmd", "Read error in SI4769", SI4769_ERR_READ);
            return SI4769_ERR_READ;
        }
        if (in[0] & kCts)
            break;
        clockSleepUs(kPollUs);
    }
    if (in[0] & kErrBit) {
        logErr("Command or Parameter not valid for SI4769");
        fail("SI4769_send_cmd", "Command or Parameter not valid for SI4769", SI4769_ERR_CHIP);
        resp[0] = in[0];
        return SI4769_ERR_CHIP;
    }
    memcpy(resp, in, static_cast<size_t>(r + 1));
    return SI4769_OK;
}

// A command with a retry after `retryUs` when the chip answers with ERR
// (retryUs < 0: no retry on ERR; 0: any failure is retried at once).
int sendWithRetry(const uint8_t* cmd, int n, uint8_t* resp, int r, bool retryOnAny, uint64_t waitUs)
{
    int rc = SI4769_send_cmd(cmd, n, resp, r);
    if (rc == SI4769_ERR_CHIP || (retryOnAny && rc != SI4769_OK)) {
        if (waitUs)
            clockSleepUs(waitUs);
        rc = SI4769_send_cmd(cmd, n, resp, r);
    }
    return rc;
}

uint16_t be16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void put16(uint8_t* p, uint16_t v)
{
    memcpy(p, &v, 2);
}

void put32(uint8_t* p, uint32_t v)
{
    memcpy(p, &v, 4);
}

bool inSet(uint8_t v, std::initializer_list<uint8_t> set)
{
    for (uint8_t s : set)
        if (v == s)
            return true;
    return false;
}

} // namespace

int SI4769_send_cmd(const uint8_t* cmd, int n, uint8_t* resp, int r)
{
    if (!cmd || !resp || n < 0 || r < 0 || r > kMaxResp || n > 7)
        return SI4769_ERR_ARG;
    memset(resp, 0, static_cast<size_t>(r + 1));
    if (i2cBusLock(SI4769_BUS, SI4769_ADDRESS) != 0) {
        fail("SI4769_send_cmd", "Cannot LOCK the SemI2C", SI4769_ERR_LOCK);
        return SI4769_ERR_LOCK;
    }
    int rc = i2cTransactionHeld(SI4769_BUS, SI4769_ADDRESS, nullptr,
                                [&](int fd) { return exchange(fd, cmd, n, resp, r); });
    if (rc == -1 || rc == -2) {
        // The connect failed: the transfer did not run.
        logErr("Cannot open SI4769 device");
        countError();
        rc = SI4769_ERR_OPEN;
    }
    if (i2cBusUnlock(SI4769_BUS, SI4769_ADDRESS) != 0)
        fail("SI4769_send_cmd", "Cannot UnLOCK the SemI2C", rc);
    return rc;
}

uint8_t SI4769_LoadCode(uint32_t load)
{
    int64_t code = (static_cast<int64_t>(load) * 63 - 315000) / 15750;
    return static_cast<uint8_t>(code & 0x3F);
}

int SI4769_cmd_PowerUp(uint8_t flags, uint8_t xcLoad, uint8_t options, uint8_t clkMode1, uint8_t clkMode2)
{
    const uint8_t cmd[6] = {0x01, flags, xcLoad, options, clkMode1, clkMode2};
    uint8_t resp[1];
    int rc = sendWithRetry(cmd, 5, resp, 0, false, 100);
    if (rc)
        fail("SI4769_cmd_PowerUp", "POWER_UP Failed", rc);
    return rc;
}

int SI4769_cmd_PowerUp_dflt(uint32_t load)
{
    if (load < 5000 || load > 20750) {
        fail("SI4769_cmd_PowerUp_dflt", "Load input parameter not in range ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    return SI4769_cmd_PowerUp(0x77, SI4769_LoadCode(load), 0x27, 0x12, 0x11);
}

int SI4769_PowerDown(uint8_t mode)
{
    if (mode > 1) {
        fail("SI4769_PowerDown", "Mode input parameter not in range ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    const uint8_t cmd[2] = {0x11, mode};
    uint8_t resp[1];
    int rc = sendWithRetry(cmd, 1, resp, 0, false, 100);
    if (rc)
        fail("SI4769_PowerDown", "POWER_DOWN Failed", rc);
    return rc;
}

int SI4769_cmd_PartInfo(uint8_t* out)
{
    const uint8_t cmd[1] = {0x02};
    uint8_t resp[9];
    int rc = sendWithRetry(cmd, 0, resp, 8, true, 0);
    if (rc)
        fail("SI4769_cmd_PartInfo", "PART_INFO Failed", rc);
    else if (out)
        memcpy(out, resp + 1, 8);
    return rc;
}

int SI4769_cmd_FuncInfo(uint8_t* out)
{
    const uint8_t cmd[1] = {0x12};
    uint8_t resp[7];
    int rc = sendWithRetry(cmd, 0, resp, 6, true, 0);
    if (rc)
        fail("SI4769_cmd_FuncInfo", "FUNC_INFO Failed", rc);
    else if (out)
        memcpy(out, resp + 1, 6);
    return rc;
}

int SI4769_cmd_SetProperty(uint16_t number, uint16_t value)
{
    const Property* p = findProperty(number);
    if (!p || !p->valid(value)) {
        fail("SI4769_cmd_SetProperty", "SET_PROPERTY: Property or Data not valid ", SI4769_ERR_PROPVAL);
        return SI4769_ERR_PROPVAL;
    }
    const uint8_t cmd[6] = {0x13,
                            0,
                            static_cast<uint8_t>(number >> 8),
                            static_cast<uint8_t>(number),
                            static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value)};
    uint8_t resp[1];
    return SI4769_send_cmd(cmd, 5, resp, 0);
}

int SI4769_cmd_GetProperty(uint16_t number, uint16_t* value)
{
    if (!value) {
        fail("SI4769_cmd_GetProperty", "Output parameter missing ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    if (!findProperty(number)) {
        fail("SI4769_cmd_GetProperty", "GET_PROPERTY: Property not valid ", SI4769_ERR_PROPNUM);
        return SI4769_ERR_PROPNUM;
    }
    const uint8_t cmd[4] = {0x14, 0, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)};
    uint8_t resp[4];
    int rc = SI4769_send_cmd(cmd, 3, resp, 3);
    if (rc == SI4769_OK)
        *value = be16(resp + 2);
    return rc;
}

int SI4769_cmd_SetPropertyAndCheck(uint16_t number, uint16_t value, const char* name)
{
    (void)name; // the caller's step message names the property
    int rc = SI4769_cmd_SetProperty(number, value);
    if (rc) {
        fail("SI4769_cmd_SetPropertyAndCheck", "Set Property Failed", rc);
        return rc;
    }
    uint16_t back = 0;
    rc = SI4769_cmd_GetProperty(number, &back);
    if (rc) {
        fail("SI4769_cmd_SetPropertyAndCheck", "Get Property Failed", rc);
        return rc;
    }
    if (back != value)
        fail("SI4769_cmd_SetPropertyAndCheck", "Set Property not correctly performed ", rc);
    return rc;
}

int SI4769_cmd_GetIntStatus(uint8_t* status)
{
    const uint8_t cmd[1] = {0x15};
    uint8_t resp[1];
    int rc = SI4769_send_cmd(cmd, 0, resp, 0);
    if (status)
        *status = resp[0];
    return rc;
}

int SI4769_cmd_AgcStatus(uint8_t* out)
{
    const uint8_t cmd[1] = {0x17};
    uint8_t resp[6];
    int rc = SI4769_send_cmd(cmd, 0, resp, 5);
    if (rc == SI4769_OK && out)
        memcpy(out, resp + 1, 5);
    return rc;
}

int SI4769_cmd_ZifPinCfg(const uint8_t modes[4], uint8_t* echo)
{
    if (!modes) {
        fail("SI4769_cmd_ZifPinCfg", "Input parameter missing ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    for (int i = 0; i < 4; i++)
        if (!inSet(modes[i], {0, 1, 20, 21, 22})) {
            fail("SI4769_cmd_ZifPinCfg", "Pin mode not valid ", SI4769_ERR_ARG);
            return SI4769_ERR_ARG;
        }
    const uint8_t cmd[5] = {0x19, modes[0], modes[1], modes[2], modes[3]};
    uint8_t resp[5];
    int rc = SI4769_send_cmd(cmd, 4, resp, 4);
    if (rc == SI4769_OK && echo)
        memcpy(echo, resp + 1, 4);
    return rc;
}

int SI4769_cmd_ZifPinCfg_dflt()
{
    const uint8_t modes[4] = {21, 21, 22, 22};
    uint8_t echo[4] = {};
    int rc = SI4769_cmd_ZifPinCfg(modes, echo);
    if (rc == SI4769_OK && (echo[0] & 0x7F) != 21) {
        fail("SI4769_cmd_ZifPinCfg_dflt", "ZIF_PIN_CFG do not set the configuration ", SI4769_ERR_PINCFG);
        return SI4769_ERR_PINCFG;
    }
    return rc;
}

int SI4769_cmd_IntBPinCfg(const uint8_t modes[2], uint8_t* echo)
{
    if (!modes) {
        fail("SI4769_cmd_IntBPinCfg", "Input parameter missing ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    for (int i = 0; i < 2; i++)
        if (!inSet(modes[i], {0, 1, 10, 40})) {
            fail("SI4769_cmd_IntBPinCfg", "Pin mode not valid ", SI4769_ERR_ARG);
            return SI4769_ERR_ARG;
        }
    const uint8_t cmd[3] = {0x1C, modes[0], modes[1]};
    uint8_t resp[3];
    int rc = SI4769_send_cmd(cmd, 2, resp, 2);
    if (rc == SI4769_OK && echo)
        memcpy(echo, resp + 1, 2);
    return rc;
}

int SI4769_cmd_IntBPinCfg_dflt()
{
    const uint8_t modes[2] = {1, 1};
    uint8_t echo[2] = {};
    int rc = SI4769_cmd_IntBPinCfg(modes, echo);
    if (rc == SI4769_OK && (echo[0] != 1 || echo[1] != 1)) {
        fail("SI4769_cmd_IntBPinCfg_dflt", "INTB_PIN_CFG do not set the configuration ", SI4769_ERR_PINCFG);
        return SI4769_ERR_PINCFG;
    }
    return rc;
}

int SI4769_cmd_FMTuneFreq(uint8_t flags, uint16_t freq10kHz)
{
    uint32_t kHz = freq10kHz * 10u;
    if (kHz < 64000 || kHz > 108000) {
        fail("SI4769_cmd_FMTuneFreq", "Frequency input parameter not in range ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    if ((flags & 0x30) && !(flags & 0x04)) {
        fail("SI4769_cmd_FMTuneFreq", "Smooth must be set when TuneMode is not VALIDATE_TUNE ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    const uint8_t cmd[4] = {0x30, flags, static_cast<uint8_t>(freq10kHz >> 8), static_cast<uint8_t>(freq10kHz)};
    uint8_t resp[1];
    return SI4769_send_cmd(cmd, 3, resp, 0);
}

int SI4769_cmd_FMTuneFreq_dflt(uint16_t freq10kHz)
{
    uint32_t kHz = freq10kHz * 10u;
    if (kHz < 64000 || kHz > 108000) {
        fail("SI4769_cmd_FMTuneFreq_dflt", "Frequency input parameter not in range ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    return SI4769_cmd_FMTuneFreq(0, freq10kHz);
}

void SI4769_DecodeRsq(const uint8_t* resp, int a, SI4769_RsqRecord* out)
{
    auto R = [&](int n) { return resp[n - 1]; };
    uint8_t* b = out->bytes;
    memset(b, 0, sizeof out->bytes);
    for (int i = 0; i < 8; i++)
        b[i] = (R(1) >> (7 - i)) & 1;
    b[8] = (R(2) >> 7) & 1;
    for (int i = 0; i < 6; i++)
        b[9 + i] = (R(2) >> (5 - i)) & 1;
    put32(b + 16, static_cast<uint32_t>(R(3) * 256 + R(4)) * 10);
    put32(b + 20, static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(R(5)))));
    b[24] = static_cast<uint8_t>(R(6) - 107);
    b[25] = R(7);
    b[26] = R(8);
    b[27] = R(9);
    b[28] = R(10);
    bool wValid = R(19) >= 9 && R(19) <= 120;
    uint16_t w = wValid ? static_cast<uint16_t>(R(19) * 15 - 120) : 0xFFFF;
    int adj = R(15) + 9;
    if (wValid)
        adj += static_cast<int>(std::floor(2.0f * std::log10(static_cast<float>(w) / 750.0f) + 5.0f));
    b[29] = static_cast<uint8_t>(adj & 0xFF);
    b[30] = R(11);
    b[31] = R(12);
    put16(b + 32, static_cast<uint16_t>(R(21) * 256 + R(22)));
    b[34] = R(16);
    put16(b + 36, static_cast<uint16_t>(R(17) * 100));
    put16(b + 38, static_cast<uint16_t>(R(18) * 100));
    put16(b + 40, w);
    put16(b + 42, static_cast<uint16_t>(R(20) * (a ? 275 : 555) / 100));
    b[44] = R(23);
}

uint32_t SI4769_RsqFreqKHz(const SI4769_RsqRecord& r)
{
    uint32_t v;
    memcpy(&v, r.bytes + 16, 4);
    return v;
}

int32_t SI4769_RsqOffset(const SI4769_RsqRecord& r)
{
    int32_t v;
    memcpy(&v, r.bytes + 20, 4);
    return v;
}

int8_t SI4769_RsqRssi(const SI4769_RsqRecord& r)
{
    return static_cast<int8_t>(r.bytes[24]);
}

int8_t SI4769_RsqSnr(const SI4769_RsqRecord& r)
{
    return static_cast<int8_t>(r.bytes[25]);
}

uint8_t SI4769_RsqByte(const SI4769_RsqRecord& r, int at)
{
    return r.bytes[at];
}

uint16_t SI4769_RsqWord(const SI4769_RsqRecord& r, int at)
{
    uint16_t v;
    memcpy(&v, r.bytes + at, 2);
    return v;
}

int SI4769_cmd_FMRsqStatus(int a, uint8_t opts, SI4769_RsqRecord* out)
{
    if (!out) {
        fail("SI4769_cmd_FMRsqStatus", "Output parameter missing ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    const uint8_t cmd[2] = {0x32, static_cast<uint8_t>(opts & 0x3F)};
    uint8_t resp[24];
    int rc = SI4769_send_cmd(cmd, 1, resp, 23);
    if (rc == SI4769_OK)
        SI4769_DecodeRsq(resp + 1, a, out);
    return rc;
}

int SI4769_cmd_FMAcfStatus(int ack, uint8_t* status, uint8_t* acf, uint8_t* level)
{
    if (!status || !acf || !level) {
        fail("SI4769_cmd_FMAcfStatus", "Output parameter missing ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    const uint8_t cmd[2] = {0x35, static_cast<uint8_t>(ack ? 1 : 0)};
    uint8_t resp[9];
    int rc = SI4769_send_cmd(cmd, 1, resp, 8);
    if (rc == SI4769_OK) {
        *status = resp[0];
        *acf = (resp[7] >> 7) & 1;
        *level = resp[7] & 0x7F;
    }
    return rc;
}

int SI4769_cmd_FMRdsStatus(uint8_t* sync, uint8_t* record)
{
    if (!sync) {
        fail("SI4769_cmd_FMRdsStatus", "Output parameter missing ", SI4769_ERR_ARG);
        return SI4769_ERR_ARG;
    }
    const uint8_t cmd[2] = {0x36, 0};
    uint8_t resp[17];
    int rc = SI4769_send_cmd(cmd, 1, resp, 16);
    if (rc == SI4769_OK) {
        *sync = (resp[2] >> 1) & 1;
        if (record)
            memcpy(record, resp + 1, 16);
    }
    return rc;
}

int SI4769_StartUp(int verbose, uint32_t load)
{
    const char* fn = "SI4769_StartUp";
    int rc = SI4769_PowerDown(0);
    if (rc) {
        fail(fn, "POWER_DOWN of SI4769 device ... Failed", rc);
        return rc;
    }
    if ((rc = SI4769_cmd_PowerUp_dflt(load))) {
        fail(fn, "POWER_UP of SI4769 device ... Failed", rc);
        return rc;
    }
    if ((rc = SI4769_cmd_SetPropertyAndCheck(SI4769_PROP_ZIF_OUTPUT_CFG, 0x0801, "ZIF_OUTPUT_CFG"))) {
        fail(fn, "Set Property 'ZIF_OUTPUT_CFG' Failed", rc);
        return rc;
    }
    if ((rc = SI4769_cmd_ZifPinCfg_dflt())) {
        fail(fn, "Cmd 'ZIF_PIN_CFG' Failed", rc);
        return rc;
    }
    if ((rc = SI4769_cmd_IntBPinCfg_dflt())) {
        fail(fn, "Cmd 'INTB_PIN_CFG' Failed", rc);
        return rc;
    }
    struct Step {
        uint16_t number;
        uint16_t value;
        const char* name;
        const char* failure;
    };
    const Step steps[] = {
        {SI4769_PROP_INT_CTL_ENABLE, 0, "INT_CTL_ENABLE", "Set Property 'INT_CTL_ENABLE' Failed"},
        {SI4769_PROP_AUDIO_DEEMPHASIS, 1, "AUDIO_DEEMPHASIS", "Set Property 'AUDIO_DEEMPHASIS' Failed"},
        {SI4769_PROP_AUDIO_MISC_CONFIG, 0, "AUDIO_MISC_CONFIG", "Set Property 'AUDIO_MISC_CONFIG' Failed"},
        {SI4769_PROP_FM_RDS_CONFIG, 1, "FM_RDS_CONFIG", "Set Property 'FM_RDS_CONFIG' Failed"},
        {SI4769_PROP_FM_VALID_FREQOFF_SCALE, getFreqOffsetScale(), "FM_VALID_FREQOFF_SCALE",
         "Set Property 'FM_VALID_FREQOFF_SCALE' Failed"},
        {SI4769_PROP_FM_CHBW_BLOCKER_THR, 246, "FM_CHBW_BLOCKER_THR", "Set Property 'FM_CHBW_BLOCKER_THR' Failed"},
    };
    for (const Step& s : steps)
        if ((rc = SI4769_cmd_SetPropertyAndCheck(s.number, s.value, s.name))) {
            fail(fn, s.failure, rc);
            return rc;
        }
    uint8_t status = 0;
    if ((rc = SI4769_cmd_GetIntStatus(&status))) {
        fail(fn, "Cmd 'GET_INT_STATUS' Failed", rc);
        return rc;
    }
    if (!verbose)
        return SI4769_OK;
    uint8_t part[8];
    if ((rc = SI4769_cmd_PartInfo(part))) {
        fail(fn, "Cmd 'PART_INFO' Failed", rc);
        return rc;
    }
    printf("     > ChipRev    = %2d   PartNum = %2d   BuildVer = %2d \n", part[0], part[1], part[4]);
    printf("     > FW Version = %02d.%02d.%02d    Patch   = %2d \n", part[2], part[3], part[4], part[5]);
    printf("     > Revision   = %c.%c  RomId   = %2d \n", '0' + (part[6] >> 4), '0' + (part[6] & 0xF), part[7]);
    uint8_t func[6];
    if ((rc = SI4769_cmd_FuncInfo(func))) {
        fail(fn, "Cmd 'FUNC_INFO' Failed", rc);
        return rc;
    }
    const char* mode = func[3] == 0 ? "FM Receiver" : func[3] == 1 ? "AM or WB Receiver" : "Boot Loader";
    printf("     > Mode = %s \n", mode);
    fflush(stdout);
    return SI4769_OK;
}

int SI4769_Detect(int verbose, int powerDown)
{
    setFmRxMode(0);
    setFmRxPresent(0);
    int rc = SI4769_StartUp(verbose, 15250);
    if (rc)
        return rc;
    setFmRxPresent(1);
    if (powerDown) {
        setFmRxMode(0);
        setFmRxPresent(0);
        SI4769_PowerDown(0);
    }
    return SI4769_OK;
}

int SI4769_Restart(uint32_t load)
{
    setFmRxMode(0);
    setFmRxPresent(0);
    int rc = SI4769_PowerDown(0);
    if (rc)
        return rc;
    rc = SI4769_StartUp(0, load);
    if (rc == SI4769_OK)
        setFmRxPresent(1);
    return rc;
}

int SI4769_SetXCLoad(uint32_t load)
{
    int rc = SI4769_Restart(load);
    if (rc)
        fail("SI4769_SetXCLoad", "Set XcLoad in SI4769 device ... Failed in Restart", rc);
    return rc;
}
