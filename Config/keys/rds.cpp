// The RDS region's hooks and the data-set operations that do not fit a row:
// the UECP interface switching, the group, alternative and variable-code
// sequences, the labelling-code variants, the sequence key names and the
// RadioText files.
#include "Config/keys/rdsKeys.h"

#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "audio/rdsDataSet.h"
#include "audio/rdsSequencer.h"
#include "audio/uecpReceiver.h"
#include "core/base/logs.h"
#include "links/serialChannels.h"
#include "platform/paths.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

constexpr uint32_t kDataSets = RDS_DATA_SETS;
constexpr const char* kRadioTextDir = "/mnt/ubi0/conf/rds";

struct RdsKeysState {
    std::atomic<RadioTextWriter> writer{nullptr};
    char keyName[256]; // the sequence key names share it, as their callers expect
};

RdsKeysState& st()
{
    static RdsKeysState s;
    return s;
}

// The record of data set d (taken modulo 256), or nullptr for no data set.
RdsDataSetRecord* dataSet(uint32_t d)
{
    d &= 255u;
    return d < kDataSets ? &getSystemImage()->rds.dataSets[d] : nullptr;
}

void markRds()
{
    markConfigChanged(CONFIG_GROUP_RDS);
}

uint32_t lowFirstWord(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void putLowFirstWord(uint8_t* p, uint32_t v)
{
    for (int k = 0; k < 4; k++)
        p[k] = static_cast<uint8_t>(v >> (8 * k));
}

uint8_t countBelow255(const uint8_t* codes, size_t n)
{
    return static_cast<uint8_t>(std::count_if(codes, codes + n, [](uint8_t c) { return c < 255; }));
}

void publishSequence(uint32_t d)
{
    for (uint32_t p = 0; p < 4; p++)
        cfgPublish(KEYROW(RdsSequenceEntry), cfgPairIndex(KEYROW(RdsSequenceEntry), d, p));
}

// The variable-code list of kind 2 or 28.
RdsVarCodeSeq* varCodeSeq(uint32_t d, uint32_t k)
{
    RdsDataSetRecord* r = dataSet(d);
    if (!r)
        return nullptr;
    switch (k & 255u) {
    case 2: return &r->varCodeSeq[0];
    case 28: return &r->varCodeSeq[1];
    default: return nullptr;
    }
}

bool varCodeAccepted(uint32_t k, uint8_t code)
{
    static const uint8_t kind2[] = {0, 2, 3, 6, 7};
    static const uint8_t kind28[] = {0, 1, 2, 3, 4, 12, 13, 14};
    if ((k & 255u) == 2)
        return std::find(std::begin(kind2), std::end(kind2), code) != std::end(kind2);
    return std::find(std::begin(kind28), std::end(kind28), code) != std::end(kind28);
}

void radioTextPath(uint32_t d, char* path, size_t size)
{
    snprintf(path, size, "%s/rt_rds_%d", kRadioTextDir, static_cast<int>(d + 1));
}

} // namespace

// ---- Hooks ---------------------------------------------------------------------

void uecpInterfaceChanged(uint32_t, uint32_t value, uint32_t)
{
    if (value == 1) {
        printf("\n\n\n    UECP IF Enable !! ");
        fflush(stdout);
        COM_ReopenSerialChannel(1);
        setUartOverride(0);
        setUart1ConnSel(3);
    } else if (value == 0) {
        printf("\n\n\n    UECP IF Disable !! ");
        fflush(stdout);
        COM_CloseSerialChannels(1);
        setUartOverride(1);
    }
    resetRdsEncoderData(0);
}

void uecpBaudrateChanged(uint32_t, uint32_t value, uint32_t)
{
    UECP_SetBaud(value);
    resetRdsEncoderData(0);
}

void mecPs(uint32_t, uint32_t, uint32_t) { setRdsMecChanged(2, 0); }
void mecPi(uint32_t, uint32_t, uint32_t) { setRdsMecChanged(1, 0); }
void mecDi(uint32_t, uint32_t, uint32_t) { setRdsMecChanged(4, 0); }
void mecTpTa(uint32_t, uint32_t, uint32_t) { setRdsMecChanged(3, 0); }
void mecMs(uint32_t, uint32_t, uint32_t) { setRdsMecChanged(5, 0); }
void mecCt(uint32_t, uint32_t, uint32_t)
{
    setRdsMecChanged(13, 0);
    setRdsMecChanged(9, 0);
    setRdsMecChanged(25, 0);
}
void mecPty(uint32_t, uint32_t, uint32_t) { setRdsMecChanged(7, 0); }
void mecPtyn(uint32_t, uint32_t, uint32_t) { setRdsMecChanged(62, 0); }
void mecAf(uint32_t, uint32_t, uint32_t) { setRdsMecChanged(19, 0); }
void mecRt(uint32_t, uint32_t, uint32_t) { setRdsMecChanged(10, 0); }
void mecEcc(uint32_t, uint32_t, uint32_t) { setRdsMecChanged(241, 0); }

// "Current_RDS_DSN" counts from 1; 0 asks for -1, the active data set.
void loadSequenceOfDataSet(uint32_t, uint32_t value, uint32_t)
{
    loadRdsGroupSequence(static_cast<int8_t>(value - 1));
}

void recountDataSetEON(uint32_t index, uint32_t, uint32_t)
{
    uint32_t d = index / 6;
    const RdsDataSetRecord* r = dataSet(d);
    if (!r)
        return;
    setDataSetEONCount(d, static_cast<uint32_t>(std::count_if(std::begin(r->eon), std::end(r->eon),
                                                             [](uint32_t e) { return e != 0; })));
}

void loadActiveSequence(uint32_t, uint32_t, uint32_t)
{
    loadRdsGroupSequence(-1);
}

void reloadSequenceWhenOnAir(uint32_t index, uint32_t, uint32_t)
{
    if (getCurrentRDSDSN() == index / 4 + 1)
        loadRdsGroupSequence(-4);
}

// ---- Names -----------------------------------------------------------------------

const char* getUECPEncoderAddrSlotKey(uint32_t n) { return getUECPEncoderAddrKey(n); }
const char* getUECPSiteAddrSlotKey(uint32_t n) { return getUECPSiteAddrKey(n); }
const char* getUECPEncoderAddrKey() { return cfgElementName(KEYROW(UECPEncoderAddrLegacy), 0); }
const char* getUECPSiteAddrKey() { return cfgElementName(KEYROW(UECPSiteAddrLegacy), 0); }
const char* getUECPRegAddrEnaKey() { return cfgElementName(KEYROW(UECPRegAddrEna), 0); }
const char* getUECPRegionAddrKey() { return cfgElementName(KEYROW(UECPRegionAddr), 0); }
const char* getUECPSectAddrEnaKey() { return cfgElementName(KEYROW(UECPSectAddrEna), 0); }
const char* getUECPSectorAddrKey() { return cfgElementName(KEYROW(UECPSectorAddr), 0); }
const char* getUECPAreaAddrEnaKey() { return cfgElementName(KEYROW(UECPAreaAddrEna), 0); }
const char* getUECPAreaAddrKey() { return cfgElementName(KEYROW(UECPAreaAddr), 0); }

uint32_t getCustomDIFixed()
{
    return 1;
}

// ---- Group sequence ----------------------------------------------------------------

uint32_t getRdsSequenceEntry(uint32_t d, uint32_t p)
{
    uint32_t k = cfgPairIndex(KEYROW(RdsSequenceEntry), d, p);
    return k == CFG_NO_INDEX ? 255 : cfgGetElement(KEYROW(RdsSequenceEntry), k);
}

void setRdsSequenceEntry(uint32_t d, uint32_t p, uint32_t v)
{
    cfgSet(KEYROW(RdsSequenceEntry), cfgPairIndex(KEYROW(RdsSequenceEntry), d, p), v);
}

uint8_t getRdsSequenceByte(uint32_t d, uint32_t i)
{
    const RdsDataSetRecord* r = dataSet(d);
    i &= 255u;
    if (!r || i >= RDS_SEQUENCE_CODES)
        return 255;
    return std::atomic_ref<const uint8_t>(r->sequence[i]).load(std::memory_order_relaxed);
}

void setRdsSequenceByte(uint32_t d, uint32_t i, uint32_t v)
{
    RdsDataSetRecord* r = dataSet(d);
    i &= 255u;
    if (!r || i >= RDS_SEQUENCE_CODES || r->sequence[i] == static_cast<uint8_t>(v))
        return;
    std::atomic_ref<uint8_t>(r->sequence[i]).store(static_cast<uint8_t>(v), std::memory_order_relaxed);
    cfgPublish(KEYROW(RdsSequenceEntry), cfgPairIndex(KEYROW(RdsSequenceEntry), d, i / 4));
    markRds();
}

uint32_t getRdsSequenceLength(uint32_t d)
{
    const RdsDataSetRecord* r = dataSet(d);
    if (!r)
        return 0;
    const uint8_t* end = std::find_if(std::begin(r->sequence), std::end(r->sequence), [](uint8_t c) { return c > 254; });
    return static_cast<uint32_t>(end - r->sequence);
}

const uint8_t* getRdsSequenceRecord(uint32_t d)
{
    const RdsDataSetRecord* r = dataSet(d);
    return r ? r->sequence : nullptr;
}

void setRdsSequence(uint32_t d, const uint8_t* codes, uint32_t n)
{
    RdsDataSetRecord* r = dataSet(d);
    if (!r || !codes)
        return;
    if (n == 0) {
        if (getRdsSequenceLength(d) == 0)
            return;
        memset(r->sequence, 255, sizeof r->sequence);
        publishSequence(d);
        markRds();
        loadRdsGroupSequence(-3);
        return;
    }
    n = std::min<uint32_t>(n, RDS_SEQUENCE_CODES);
    if (getRdsSequenceLength(d) == n && memcmp(r->sequence, codes, n) == 0)
        return;
    memset(r->sequence, 255, sizeof r->sequence);
    memcpy(r->sequence, codes, n);
    publishSequence(d);
    markRds();
    loadRdsGroupSequence(-2);
}

// ---- Alternative sequences -----------------------------------------------------------

namespace {

RdsAlterSeq* alterSeq(uint32_t d, uint32_t g)
{
    RdsDataSetRecord* r = dataSet(d);
    g &= 255u;
    return r && g < RDS_ALTER_GROUPS ? &r->alterSeq[g] : nullptr;
}

} // namespace

uint32_t getRdsAlterSeqEntry(uint32_t d, uint32_t g, uint32_t p)
{
    const RdsAlterSeq* a = alterSeq(d, g);
    p &= 255u;
    return a && p < 2 ? lowFirstWord(a->codes + 4 * p) : 255;
}

void setRdsAlterSeqEntry(uint32_t d, uint32_t g, uint32_t p, uint32_t v)
{
    RdsAlterSeq* a = alterSeq(d, g);
    p &= 255u;
    if (!a || p >= 2)
        return;
    putLowFirstWord(a->codes + 4 * p, v);
    a->count = countBelow255(a->codes, RDS_ALTER_CODES);
}

uint32_t getRdsAlterSeqCount(uint32_t d, uint32_t g)
{
    const RdsAlterSeq* a = alterSeq(d, g);
    return a ? a->count : 0;
}

const uint8_t* getRdsAlterSeqList(uint32_t d, uint32_t g)
{
    const RdsAlterSeq* a = alterSeq(d, g);
    return a ? a->codes : nullptr;
}

void setRdsAlterSeqGroup(uint32_t d, uint32_t g, const uint8_t* codes, uint32_t n)
{
    RdsAlterSeq* a = alterSeq(d, g);
    if (!a)
        return;
    if (codes && n > 0) {
        n = std::min<uint32_t>(n, RDS_ALTER_CODES);
        if (a->count == n && memcmp(a->codes, codes, n) == 0)
            return;
        memset(a->codes, 255, sizeof a->codes);
        memcpy(a->codes, codes, n);
        a->count = static_cast<uint8_t>(n);
        markRds();
        return;
    }
    if (a->count == 0)
        return;
    memset(a->codes, 255, sizeof a->codes);
    a->count = 0;
    markRds();
}

// ---- Variable-code lists -------------------------------------------------------------

uint32_t getRdsVarCodeSeqEntry(uint32_t d, uint32_t k, uint32_t p)
{
    const RdsVarCodeSeq* s = varCodeSeq(d, k);
    p &= 255u;
    return s && p < 2 ? lowFirstWord(s->codes + 4 * p) : 255;
}

void setRdsVarCodeSeqEntry(uint32_t d, uint32_t k, uint32_t p, uint32_t v)
{
    RdsVarCodeSeq* s = varCodeSeq(d, k);
    p &= 255u;
    if (!s || p >= 2)
        return;
    putLowFirstWord(s->codes + 4 * p, v);
    s->count = countBelow255(s->codes, (k & 255u) == 2 ? 8 : RDS_VAR_CODES);
}

uint32_t getRdsVarCodeSeqCount(uint32_t d, uint32_t k)
{
    const RdsVarCodeSeq* s = varCodeSeq(d, k);
    return s ? s->count : 0;
}

const uint8_t* getRdsVarCodeSeqList(uint32_t d, uint32_t k)
{
    const RdsVarCodeSeq* s = varCodeSeq(d, k);
    return s ? s->codes : nullptr;
}

void setRdsVarCodeSeqGroup(uint32_t d, uint32_t k, const uint8_t* codes, uint32_t n)
{
    RdsVarCodeSeq* s = varCodeSeq(d, k);
    if (!s)
        return;
    if (codes && n > 0) {
        n = std::min<uint32_t>(n, RDS_VAR_CODES);
        if (s->count == n && memcmp(s->codes, codes, n) == 0)
            return;
        memset(s->codes, 255, sizeof s->codes);
        uint8_t kept = 0;
        for (uint32_t i = 0; i < n; i++) {
            if (varCodeAccepted(k, codes[i]))
                s->codes[kept++] = codes[i];
        }
        s->count = kept;
        markRds();
        return;
    }
    if (s->count == 0)
        return;
    memset(s->codes, 255, sizeof s->codes);
    s->count = 0;
    markRds();
}

// ---- Labelling-code variants ---------------------------------------------------------

int getRdsSequenceParam(uint32_t d, uint32_t k, uint8_t* nibble)
{
    const RdsDataSetRecord* r = dataSet(d);
    if (!r)
        return -1;
    switch (k & 255u) {
    case 0:
        if (nibble)
            *nibble = r->var0Nibble;
        return r->var0Value & 255;
    case 2:
    case 3: return r->var23Value;
    case 6: return r->var6Value;
    case 7: return r->var7Value;
    default: return -1;
    }
}

void setRdsSequenceParam(uint32_t d, uint32_t k, uint32_t v, uint32_t nibble)
{
    RdsDataSetRecord* r = dataSet(d);
    if (!r)
        return;
    bool changed = false;
    auto store = [&changed](auto& field, uint32_t value) {
        using F = std::remove_reference_t<decltype(field)>;
        F f = static_cast<F>(value);
        if (field != f) {
            field = f;
            changed = true;
        }
    };
    switch (k & 255u) {
    case 0:
        store(r->var0Value, v);
        store(r->var0Nibble, nibble & 15u);
        break;
    case 2:
    case 3: store(r->var23Value, v); break;
    case 6: store(r->var6Value, v); break;
    case 7: store(r->var7Value, v); break;
    default: return;
    }
    if (changed)
        markRds();
}

int buildRdsSequenceParamValue(uint32_t d, uint32_t k)
{
    uint8_t nibble = 0;
    int v = getRdsSequenceParam(d, k, &nibble);
    if ((k & 255u) == 0 && v >= 0)
        return (nibble & 15) * 256 + v;
    return v;
}

// ---- Sequence key names --------------------------------------------------------------

const char* getRdsSequenceKey(uint32_t d, uint32_t p)
{
    snprintf(st().keyName, sizeof st().keyName, "DSn%u_RDS_Sequence_P%u", d + 1, p + 1);
    return st().keyName;
}

const char* getRdsAlterSeqGroupKey(uint32_t d, uint32_t g, uint32_t p)
{
    snprintf(st().keyName, sizeof st().keyName, "DSn%u_RDS_AlterSeqGr%u%c_P%u", d + 1, g / 2, (g & 1) ? 'B' : 'A',
             p + 1);
    return st().keyName;
}

const char* getRdsVarCodeSeqGroupKey(uint32_t d, uint32_t k, uint32_t p)
{
    snprintf(st().keyName, sizeof st().keyName, "DSn%u_RDS_VarCodeSeqGr%u%c_P%u", d + 1, k / 2, (k & 1) ? 'B' : 'A',
             p + 1);
    return st().keyName;
}

const char* getRdsLabellingCodeKey(uint32_t d, uint32_t k)
{
    snprintf(st().keyName, sizeof st().keyName, "DSn%u_RDS_LabellingCode_Var%u", d + 1, k);
    return st().keyName;
}

// ---- RadioText files -----------------------------------------------------------------

void registerRadioTextWriter(RadioTextWriter writer)
{
    st().writer.store(writer);
}

int saveRadioTextFile(uint32_t d, const char* text)
{
    d &= 255u;
    if (d >= kDataSets || !text)
        return -1;
    RadioTextWriter write = st().writer.load();
    if (!write) {
        logErr("%s - no file writer registered", __func__);
        return -1;
    }
    char path[64];
    radioTextPath(d, path, sizeof path);
    int r = write(path, text, "w");
    if (d <= 4)
        setRadioTextFlag(d, 1);
    return r;
}

uint16_t loadRadioTextFile(uint32_t d, char* buffer, size_t capacity)
{
    d &= 255u;
    if (!buffer || capacity == 0)
        return 0;
    buffer[0] = 0;
    if (d >= kDataSets)
        return 0;
    char path[64];
    radioTextPath(d, path, sizeof path);
    std::string host = sysPath(path);
    struct stat sb;
    if (stat(host.c_str(), &sb) != 0)
        return 0;
    FILE* f = fopen(host.c_str(), "r");
    if (!f)
        return 0;
    size_t want = std::min({static_cast<size_t>(sb.st_size), RDS_RADIOTEXT_FILE_MAX, capacity - 1});
    size_t got = fread(buffer, 1, want, f);
    fclose(f);
    buffer[got] = 0;
    return static_cast<uint16_t>(got);
}

uint16_t readRadioTextFile(uint32_t d, char* buffer)
{
    d &= 255u;
    if (!buffer || d >= kDataSets)
        return 0;
    char path[64];
    radioTextPath(d, path, sizeof path);
    std::string host = sysPath(path);
    struct stat sb;
    if (stat(host.c_str(), &sb) != 0)
        return 0;
    FILE* f = fopen(host.c_str(), "r");
    if (!f)
        return 0;
    size_t stored = 0;
    char line[72];
    for (;;) {
        memset(line, 0, sizeof line);
        if (!fgets(line, sizeof line, f))
            break;
        if (line[0] == '\n')
            continue;
        bool ended = false;
        for (size_t pos = 0; pos < 64 && stored < RDS_RADIOTEXT_CHARS; pos++) {
            if (line[pos] == '\n')
                ended = true;
            buffer[stored++] = ended ? ' ' : line[pos];
        }
    }
    fclose(f);
    return static_cast<uint16_t>(stored);
}
