// UBX messages: builder, polls, configuration, retries and the decoder.
#include "timing/gpsUbx.h"

#include "core/base/logs.h"
#include "platform/clock.h"
#include "timing/gpsManager.h"
#include "timing/gpsTransport.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kAttempts = 3;
constexpr uint64_t kStepPauseUs = 100;

void trace(const char* func, const char* step, int a, int b, int c)
{
    printf("    [GPS]|DBG| %s() : %s - a=%d - b=%d - c=%d \n", func, step, a, b, c);
}

void traceText(const char* text)
{
    printf("    [GPS]|DBG| %s \n", text);
}

void putLe(uint8_t* p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t getLe(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

int generation()
{
    return gpsDataStore()->GpsGeneration;
}

// Builds and writes one message; a short write is a debug line under the
// sender's name.
int32_t send(const char* func, uint8_t cls, uint8_t id, const uint8_t* payload, uint16_t len)
{
    UbxMsgBuffer m;
    memset(&m, 0, sizeof m);
    m.msgClass = cls;
    m.msgId = id;
    m.payloadLength = len;
    if (len)
        memcpy(m.payload, payload, len);
    GPS_PrepareUbxMsg(&m);
    int32_t r = GPS_WriteBytes(m.frame, 0, m.frameLength);
    if (r != m.frameLength)
        debugPrintf(func, DBG_GPS, DBG_GPS, "Error %d\n", r);
    return r;
}

struct RateRow {
    const char* name;
    size_t prefix;
    uint8_t cls, id;
};

const RateRow kRates[] = {
#define UBX_RATE(name, prefix, cls, id) {name, prefix, cls, id},
#include "timing/gen/gpsUbxTables.inc"
#undef UBX_RATE
};

struct AckRow {
    uint8_t cls, id;
    const char* what;
    const char* onAck;
    const char* onNak;
};

const AckRow kAcks[] = {
#define UBX_ACK(cls, id, what, ack, nak) {cls, id, what, ack, nak},
#include "timing/gen/gpsUbxTables.inc"
#undef UBX_ACK
};

} // namespace

void GPS_UbxChecksum(const uint8_t* p, uint32_t len, uint8_t ck[2])
{
    uint8_t a = 0, b = 0;
    for (uint32_t i = 0; i < len; i++) {
        a = static_cast<uint8_t>(a + p[i]);
        b = static_cast<uint8_t>(b + a);
    }
    ck[0] = a;
    ck[1] = b;
}

int GPS_PrepareUbxMsg(UbxMsgBuffer* msg)
{
    if (msg->payloadLength > sizeof msg->payload)
        msg->payloadLength = sizeof msg->payload;
    uint16_t n = msg->payloadLength;
    uint8_t* f = msg->frame;
    f[0] = 0xB5;
    f[1] = 0x62;
    f[2] = msg->msgClass;
    f[3] = msg->msgId;
    putLe(f + 4, n, 2);
    memcpy(f + 6, msg->payload, n);
    GPS_UbxChecksum(f + 2, 4u + n, f + 6 + n);
    msg->frameLength = static_cast<uint16_t>(n + 8);
    return 0;
}

int32_t GPS_ReqUbxMonVer()
{
    traceText("Request hw-sw version ...       ");
    int32_t r = send(__func__, 0x0A, 0x04, nullptr, 0);
    trace(__func__, "Request hw-sw version ... res=a ", r, 0, 0);
    return r;
}

int32_t GPS_ReqUbxCfgTp5()
{
    return send(__func__, 0x06, 0x31, nullptr, 0);
}

int32_t GPS_ReqUbxNavSet()
{
    return send(__func__, 0x06, 0x24, nullptr, 0);
}

int32_t GPS_ReqUbxNavTimeGps()
{
    return send(__func__, 0x01, 0x20, nullptr, 0);
}

int32_t GPS_ReqUbxNavPvt()
{
    return send(__func__, 0x01, 0x07, nullptr, 0);
}

int32_t GPS_ReqUbxCfgGnss()
{
    return send(__func__, 0x06, 0x3E, nullptr, 0);
}

int32_t GPS_SendUbxReset(int mode)
{
    uint8_t p[4] = {};
    // A controlled software reset of the GNSS part keeps most of the
    // battery-backed data; mode 0 is a cold hardware reset.
    putLe(p, mode != 0 ? 0x01E2 : 0xFFFF, 2);
    p[2] = mode != 0 ? 2 : 0;
    return send(__func__, 0x06, 0x04, p, sizeof p);
}

int32_t GPS_ConfigureDdcPort()
{
    uint8_t p[20] = {};
    p[0] = 0;                 // DDC
    putLe(p + 4, 0x42, 4);    // slave address 0x21
    putLe(p + 12, 0x0001, 2); // in: UBX
    putLe(p + 14, 0x0003, 2); // out: UBX and NMEA
    return send(__func__, 0x06, 0x00, p, sizeof p);
}

int32_t GPS_ConfigureTp5(uint8_t version)
{
    uint8_t p[32] = {};
    p[0] = 0;
    p[1] = version;
    putLe(p + 4, 50, 2);          // antCableDelay, ns
    putLe(p + 8, 1000000, 4);     // freqPeriod, us
    putLe(p + 12, 1000000, 4);    // freqPeriodLock, us
    putLe(p + 20, 100000, 4);     // pulseLenRatioLock, us
    putLe(p + 28, 0x000008F7, 4); // flags
    return send(__func__, 0x06, 0x31, p, sizeof p);
}

int32_t GPS_ConfigureNavSet()
{
    uint8_t p[36] = {};
    putLe(p, 0x0501, 2); // dynamic model, C/N0 threshold, UTC standard
    p[2] = 2;            // stationary
    p[24] = 4;           // cnoThreshNumSVs
    p[25] = 15;          // cnoThresh, dBHz
    p[30] = 3;           // utcStandard
    return send(__func__, 0x06, 0x24, p, sizeof p);
}

int32_t GPS_ConfigureMsgInfo()
{
    uint8_t p[10] = {};
    p[0] = 1;    // NMEA
    p[4] = 0x04; // notices on port 0
    return send(__func__, 0x06, 0x02, p, sizeof p);
}

int32_t GPS_ConfigureMsgRate(const char* name, uint8_t rate)
{
    if (!name || strlen(name) < 3)
        return 0;
    for (const RateRow& r : kRates) {
        if (strncmp(name, r.name, r.prefix) != 0)
            continue;
        uint8_t p[8] = {r.cls, r.id, rate};
        return send(__func__, 0x06, 0x01, p, sizeof p);
    }
    return 0;
}

int32_t GPS_ConfigureGnssSystem()
{
    static const uint8_t kBlocks[7][8] = {
        {0, 8, 32, 0, 0x01, 0x00, 0x01, 0x01}, // GPS
        {1, 1, 3, 0, 0x00, 0x00, 0x01, 0x01},  // SBAS
        {2, 4, 8, 0, 0x00, 0x00, 0x01, 0x01},  // Galileo
        {3, 8, 16, 0, 0x00, 0x00, 0x01, 0x01}, // BeiDou
        {4, 0, 8, 0, 0x00, 0x00, 0x01, 0x03},  // IMES
        {5, 0, 3, 0, 0x00, 0x00, 0x01, 0x05},  // QZSS
        {6, 8, 14, 0, 0x00, 0x00, 0x01, 0x01}, // GLONASS
    };
    uint8_t p[60] = {0, 32, 32, 7};
    memcpy(p + 4, kBlocks, sizeof kBlocks);
    return send(__func__, 0x06, 0x3E, p, sizeof p);
}

int32_t GPS_ConfigureGnssSingleId(uint8_t gnssId, uint8_t enable, uint8_t resTrkCh, uint8_t maxTrkCh,
                                  uint8_t flagsHigh)
{
    uint8_t p[12] = {0, 32, 32, 1, gnssId, resTrkCh, maxTrkCh, 0, enable, 0, 1, flagsHigh};
    return send(__func__, 0x06, 0x3E, p, sizeof p);
}

namespace {

template <typename Step>
int32_t withRetry(const char* traceFmt, const char* infoFmt, const char* label, Step step)
{
    char line[128];
    snprintf(line, sizeof line, traceFmt, label, "");
    traceText(line);
    int32_t r = -1;
    for (int attempt = 0; attempt < kAttempts; attempt++) {
        r = step();
        clockSleepUs(kStepPauseUs);
        if (r >= 0)
            break;
        bookLog(LVL_INFO, infoFmt, label, attempt);
    }
    snprintf(line, sizeof line, traceFmt, label, r >= 0 ? "OK" : "FAIL");
    traceText(line);
    return r;
}

} // namespace

int32_t GPS_ConfigureWithRetry(int32_t (*step)(), const char* label)
{
    return withRetry("GPS Config [%s] ... %s      ", "GPS: Configure %s fail! [retry %d]", label, step);
}

int32_t GPS_ConfigureMsgRateWithRetry(const char* name, uint8_t rate)
{
    return withRetry("GPS Config Rate [%s] ... %s      ", "GPS: Configure MsgRate %s fail! [retry %d]", name,
                     [&] { return GPS_ConfigureMsgRate(name, rate); });
}

// ---- The decoder -----------------------------------------------------------

namespace {

#define GPS_DEBUG(...) DEBUG_PRINT(DBG_GPS, __VA_ARGS__)

const char* enumText(const char* const* texts, unsigned count, unsigned v, char* buf, size_t size)
{
    if (v < count)
        return texts[v];
    snprintf(buf, size, "0x%X", v);
    return buf;
}

const char* const kGnssNames[] = {"GPS", "SBAS", "Galileo", "BeiDou", "IMES", "QZSS", "GLONASS"};

void ack(const char* func, const uint8_t* p, bool acked)
{
    int gen = generation();
    GPS_DEBUG("%s M%d Class:0x%02X Message:0x%02X\n", func, gen, p[0], p[1]);
    for (const AckRow& a : kAcks)
        if (a.cls == p[0] && a.id == p[1])
            GPS_DEBUG("%s M%d %s (0x%02X%02X) %s\n", func, gen, a.what, p[0], p[1], acked ? a.onAck : a.onNak);
}

void GPS_ParseUbxAckAck(const uint8_t* p, int)
{
    ack(__func__, p, true);
}

void GPS_ParseUbxAckNak(const uint8_t* p, int)
{
    ack(__func__, p, false);
}

void GPS_ParseUbxCfgTp5(const uint8_t* p, int)
{
    int g = generation();
    char buf[16];
    GPS_DEBUG("M%d tpIdx %d\n", g, p[0]);
    GPS_DEBUG("M%d version %d\n", g, p[1]);
    GPS_DEBUG("M%d antCableDelay %d\n", g, static_cast<int16_t>(getLe(p + 4, 2)));
    GPS_DEBUG("M%d rfGroupDelay %d\n", g, static_cast<int16_t>(getLe(p + 6, 2)));
    GPS_DEBUG("M%d freqPeriod %u\n", g, getLe(p + 8, 4));
    GPS_DEBUG("M%d freqPeriodLock %u\n", g, getLe(p + 12, 4));
    GPS_DEBUG("M%d pulseLenRatio %u\n", g, getLe(p + 16, 4));
    GPS_DEBUG("M%d pulseLenRatioLock %u\n", g, getLe(p + 20, 4));
    GPS_DEBUG("M%d userConfigDelay %d\n", g, static_cast<int32_t>(getLe(p + 24, 4)));
    GPS_DEBUG("M%d flags 0x%02X 0x%02X 0x%02X 0x%02X\n", g, p[28], p[29], p[30], p[31]);
    uint32_t flags = getLe(p + 28, 4);
    static const char* const kBits[] = {"active", "lockGnssFreq", "lockedOtherSet", "isFreq",
                                        "isLength", "alignToTow", "polarity"};
    for (unsigned b = 0; b < 7; b++)
        if (flags & (1u << b))
            GPS_DEBUG("M%d %s\n", g, kBits[b]);
    static const char* const kGrid[] = {"UTC", "GPS", "GLONASS", "BeiDou", "Galileo"};
    static const char* const kSync[] = {"0: freq&pulse single transition",
                                        "1: freq&pulse loop transition on inaccurate time"};
    GPS_DEBUG("M%d gridUtcGnss %s\n", g, enumText(kGrid, 5, flags >> 7 & 0xF, buf, sizeof buf));
    GPS_DEBUG("M%d syncMode %s\n", g, enumText(kSync, 2, flags >> 11 & 0x7, buf, sizeof buf));
}

void GPS_ParseUbxNavSet(const uint8_t* p, int)
{
    int g = generation();
    char buf[16];
    static const char* const kDyn[] = {"portable", "**unknown**", "stationary", "pedestrian", "automotive", "sea",
                                       "airborne with <1g acceleration", "airborne with <2g acceleration",
                                       "airborne with <4g acceleration", "wrist worn watch"};
    static const char* const kFix[] = {"2D only", "3D only", "auto 2D/3"};
    static const char* const kUtc[] = {"Automatic", "UTC from GPS", "UTC from GLONASS", "UTC from BeiDou"};
    GPS_DEBUG("M%d dynModel %s\n", g, enumText(kDyn, 10, p[2], buf, sizeof buf));
    GPS_DEBUG("M%d fixMode %s\n", g, p[3] >= 1 ? enumText(kFix, 3, p[3] - 1u, buf, sizeof buf) : "0x0");
    GPS_DEBUG("M%d fixedAlt %d\n", g, static_cast<int32_t>(getLe(p + 4, 4)));
    GPS_DEBUG("M%d fixedAltVar %u\n", g, getLe(p + 8, 4));
    GPS_DEBUG("M%d minElev %d\n", g, static_cast<int8_t>(p[12]));
    GPS_DEBUG("M%d drLimit %u\n", g, p[13]);
    GPS_DEBUG("M%d pDop %u\n", g, getLe(p + 14, 2));
    GPS_DEBUG("M%d tDop %u\n", g, getLe(p + 16, 2));
    GPS_DEBUG("M%d pAcc %u\n", g, getLe(p + 18, 2));
    GPS_DEBUG("M%d tAcc %u\n", g, getLe(p + 20, 2));
    GPS_DEBUG("M%d staticHoldThresh %u\n", g, p[22]);
    GPS_DEBUG("M%d dgnssTimeout %u\n", g, p[23]);
    GPS_DEBUG("M%d cnoThreshNumSVs %u\n", g, p[24]);
    GPS_DEBUG("M%d cnoThresh %u\n", g, p[25]);
    GPS_DEBUG("M%d staticHoldMaxmDist %u\n", g, getLe(p + 28, 2));
    // UBX codes: 0 automatic, 3 GPS, 6 GLONASS, 7 BeiDou.
    unsigned u = p[30];
    unsigned idx = u == 0 ? 0 : u == 3 ? 1 : u == 6 ? 2 : u == 7 ? 3 : 99;
    GPS_DEBUG("M%d utcStandard %s\n", g, enumText(kUtc, 4, idx, buf, sizeof buf));
}

void GPS_ParseUbxCfgGnss(const uint8_t* p, int len)
{
    int g = generation();
    GPS_DEBUG("M%d msgVer %u\n", g, p[0]);
    GPS_DEBUG("M%d numTrkChHw %u\n", g, p[1]);
    GPS_DEBUG("M%d numTrkChUse %u\n", g, p[2]);
    GPS_DEBUG("M%d numConfigBlocks %u\n", g, p[3]);
    // Only the blocks the payload holds.
    int blocks = p[3], room = (len - 4) / 8;
    if (blocks > room)
        blocks = room;
    for (int b = 0; b < blocks; b++) {
        const uint8_t* k = p + 4 + 8 * b;
        GPS_DEBUG("M%d gnssId %u (%s)\n", g, k[0], k[0] < 7 ? kGnssNames[k[0]] : "?");
        GPS_DEBUG("M%d resTrkCh %u\n", g, k[1]);
        GPS_DEBUG("M%d maxTrkCh %u\n", g, k[2]);
        GPS_DEBUG("M%d reserved1 %u\n", g, k[3]);
        GPS_DEBUG("M%d flags0 (ENABLE) 0x%02X\n", g, k[4]);
        GPS_DEBUG("M%d flags1 0x%02X\n", g, k[5]);
        GPS_DEBUG("M%d flags2 (sigCfgMask) 0x%02X\n", g, k[6]);
        GPS_DEBUG("M%d flags3 0x%02X\n", g, k[7]);
    }
}

void GPS_ParseUbxNavTimeGps(const uint8_t* p, int)
{
    GpsDataStore* d = gpsDataStore();
    int8_t leap = static_cast<int8_t>(p[10]);
    int valid = p[11] >> 2 & 1;
    GPS_DEBUG("%s M%d iTOW %u\n", __func__, d->GpsGeneration, getLe(p, 4));
    GPS_DEBUG("%s M%d leapSec %i [valid=%d]\n", __func__, d->GpsGeneration, leap, valid);
    if (valid && leap != d->leapSeconds)
        d->leapSeconds = leap;
}

void GPS_ParseUbxNavPvt(const uint8_t* p, int)
{
    int g = generation();
    GPS_DEBUG("M%d FullyResolved %d\n", g, (p[11] & 0x03) == 0x03);
    GPS_DEBUG("M%d Time accuracy (tAcc) %u\n", g, getLe(p + 12, 4));
    GPS_DEBUG("M%d FixType %u\n", g, p[20]);
}

void GPS_ParseUbxTimTos(const uint8_t* p, int)
{
    int g = generation();
    char buf[16];
    GPS_DEBUG("M%d version %u\n", g, p[0]);
    GPS_DEBUG("M%d gnssId %u\n", g, p[1]);
    GPS_DEBUG("M%d reserved1 %u\n", g, getLe(p + 2, 2));
    GPS_DEBUG("M%d flags 0x%02X 0x%02X\n", g, p[4], p[5]);
    GPS_DEBUG("M%d flags 0x%02X 0x%02X\n", g, p[6], p[7]);
    uint32_t flags = getLe(p + 4, 4);
    static const char* const kBits[] = {"leapNow",       "leapSoon",      "leapPositive",  "timeInLimit",
                                        "intOscInLimit", "extOscInLimit", "gnssTimeValid", "UTCTimeValid"};
    for (unsigned b = 0; b < 8; b++)
        if (flags & (1u << b))
            GPS_DEBUG("M%d %s\n", g, kBits[b]);
    static const char* const kDisc[] = {"0: internal oscillator", "1: GNSS", "2: EXTINT0", "3: EXTINT1",
                                        "4: internal oscillator measured by the host",
                                        "5: external oscillator measured by the host"};
    GPS_DEBUG("M%d DiscSrc %s\n", g, enumText(kDisc, 6, flags >> 8 & 0x7, buf, sizeof buf));
    static const char* const kBits2[] = {"raim", "cohPulse", "lockedPulse"};
    for (unsigned b = 0; b < 3; b++)
        if (flags & (1u << (11 + b)))
            GPS_DEBUG("M%d %s\n", g, kBits2[b]);
    GPS_DEBUG("M%d year %u month %u day %u hour %u minute %u second %u\n", g, getLe(p + 8, 2), p[10], p[11],
              p[12], p[13], p[14]);
    GPS_DEBUG("M%d utcStandard %u utcOffset %d utcUncertainty %u\n", g, p[15],
              static_cast<int32_t>(getLe(p + 16, 4)), getLe(p + 20, 4));
    GPS_DEBUG("M%d week %u TOW %u\n", g, getLe(p + 24, 4), getLe(p + 28, 4));
    GPS_DEBUG("M%d gnssOffset %d gnssUncertainty %u\n", g, static_cast<int32_t>(getLe(p + 32, 4)),
              getLe(p + 36, 4));
    GPS_DEBUG("M%d intOscOffset %d intOscUncertainty %u\n", g, static_cast<int32_t>(getLe(p + 40, 4)),
              getLe(p + 44, 4));
    GPS_DEBUG("M%d extOscOffset %d extOscUncertainty %u\n", g, static_cast<int32_t>(getLe(p + 48, 4)),
              getLe(p + 52, 4));
}

void GPS_ParseUbxTimTp(const uint8_t* p, int)
{
    int g = generation();
    long qErr = static_cast<int32_t>(getLe(p + 8, 4));
    GPS_DEBUG("M%d towMS %u\n", g, getLe(p, 4));
    GPS_DEBUG("M%d towSubMS %u\n", g, getLe(p + 4, 4));
    GPS_DEBUG("qErr: %li (CPLD: %f)\n", qErr, qErr * 14 / 10000.0);
    GPS_DEBUG("M%d weeks %u\n", g, getLe(p + 12, 2));
    GPS_DEBUG("M%d flags 0x%02X\n", g, p[14]);
    GPS_DEBUG("M%d refInfo 0x%02X\n", g, p[15]);
}

// A fixed-width text field of the payload as a terminated string.
void textField(const uint8_t* p, int width, char* out)
{
    int n = 0;
    while (n < width && p[n])
        n++;
    memcpy(out, p, static_cast<size_t>(n));
    out[n] = 0;
}

uint16_t generationOf(const char* hw)
{
    static const struct {
        const char* text;
        uint16_t gen;
    } kHw[] = {{"00080000", 80}, {"00070000", 70}, {"00040007", 60}, {"00040006", 51}, {"00040005", 50}};
    for (const auto& h : kHw)
        if (strncmp(hw, h.text, 8) == 0)
            return h.gen;
    return 0;
}

void configureGeneration80()
{
    GPS_ConfigureGnssSystem();
    clockSleepUs(kStepPauseUs);
    GPS_ConfigureGnssSingleId(6, 0, 8, 14, 1);
    clockSleepUs(kStepPauseUs);
    GPS_SendUbxReset(1);
    clockSleepUs(kStepPauseUs);
    GPS_ConfigureTp5(1);
    clockSleepUs(kStepPauseUs);
    GPS_ConfigureNavSet();
}

void GPS_ParseUbxMonVer(const uint8_t* p, int len)
{
    GpsDataStore* d = gpsDataStore();
    char sw[31], hw[11] = {};
    textField(p, 30, sw);
    GPS_ParseVersionNumbers(sw, &d->swMajor, &d->swMinor);
    uint16_t gen = 0;
    if (len >= 40) {
        textField(p + 30, 10, hw);
        gen = generationOf(hw);
    }
    if (d->GpsGeneration == 0) {
        if (gen == 80)
            configureGeneration80();
        d->GpsGeneration = gen;
        trace(__func__, "Set HW ver Gen = a", gen, 0, 0);
        logInfo("GPS: Detected Model %u.%u [Sw ver %u.%u]", gen / 10u, gen % 10u, d->swMajor, d->swMinor);
    }
    GPS_DEBUG("GPS VER: HwVer=%u - SwVer=%u.%u\n", d->GpsGeneration, d->swMajor, d->swMinor);
    if (len >= 40) {
        GPS_DEBUG("Payload:%d\n", len);
        // Extensions of 30 bytes each, as many as the payload holds whole.
        for (int at = 40; at + 30 <= len; at += 30) {
            char ext[31];
            textField(p + at, 30, ext);
            GPS_DEBUG("GPS_EXTENSION:%s\n", ext);
        }
    }
}

struct Handler {
    uint16_t key; // class << 8 | id
    void (*fn)(const uint8_t* payload, int len);
    int minLength;
};

const Handler kHandlers[] = {
    {0x0501, GPS_ParseUbxAckAck, 2},      {0x0500, GPS_ParseUbxAckNak, 2},
    {0x0631, GPS_ParseUbxCfgTp5, 32},     {0x0624, GPS_ParseUbxNavSet, 36},
    {0x063E, GPS_ParseUbxCfgGnss, 4},     {0x0120, GPS_ParseUbxNavTimeGps, 16},
    {0x0107, GPS_ParseUbxNavPvt, 92},     {0x0D12, GPS_ParseUbxTimTos, 56},
    {0x0D01, GPS_ParseUbxTimTp, 16},      {0x0A04, GPS_ParseUbxMonVer, 30},
    {0x0135, nullptr, 0},                 {0x063D, nullptr, 0},
    {0x0A28, nullptr, 0},                 {0x0D04, nullptr, 0},
};

} // namespace

int GPS_ParseUbxMsg(const uint8_t* frame, int length)
{
    if (!frame || length < 8 || frame[0] != 0xB5 || frame[1] != 0x62)
        return -1;
    uint8_t cls = frame[2], id = frame[3];
    int plen = static_cast<int>(getLe(frame + 4, 2));
    trace(__func__, "Parse Msg Ubx  CLS=a ID=b (len n.=c) ...       ", cls, id, plen);
    // The payload and its checksum must lie within the bytes given.
    if (plen > kUbxMaxParsedPayload || plen + 8 > length) {
        trace(__func__, "Parse Msg Ubx  CLS=a ID=b (len n.=c) ... FAIL  ", cls, id, plen);
        return -1;
    }
    uint8_t ck[2];
    GPS_UbxChecksum(frame + 2, 4u + static_cast<uint32_t>(plen), ck);
    const uint8_t* exp = frame + 6 + plen;
    GPS_DEBUG("UbxMsg: ClsId=0x%.4X PayloadLen=%d [Chk_calc=0x%X%X - Chk_exp=0x%X%X]\n", cls << 8 | id, plen,
              ck[0], ck[1], exp[0], exp[1]);
    int r = -1;
    if (ck[0] == exp[0] && ck[1] == exp[1]) {
        for (const Handler& h : kHandlers) {
            if (h.key != (cls << 8 | id))
                continue;
            if (h.fn && plen >= h.minLength)
                h.fn(frame + 6, plen);
            r = 0;
            break;
        }
    }
    trace(__func__, r == 0 ? "Parse Msg Ubx  CLS=a ID=b (len n.=c) ... OK    "
                           : "Parse Msg Ubx  CLS=a ID=b (len n.=c) ... FAIL  ",
          cls, id, plen);
    return r;
}
