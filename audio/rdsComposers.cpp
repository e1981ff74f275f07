// RDS group composers (group and block layouts of IEC 62106). Each keeps its
// segment counters, list indices and buffers between calls, for the whole
// process. All of it runs on the RDS loop thread.
#include "audio/rdsComposers.h"

#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "audio/rdsDataSet.h"
#include "audio/rdsTransfer.h"
#include "core/base/logs.h"
#include "platform/clock.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

constexpr int kAfListLen = 30;
constexpr uint8_t kAfFiller = 205;
constexpr int kAfMax = 25;       // codes the list words hold at most
constexpr int kRtMessages = 8;
constexpr int kRtChars = 64;
constexpr uint8_t kCr = 0x0D;
constexpr int kEonEntries = 6;
constexpr int kDataSets = 7;

struct RtMessage {
    uint8_t config;
    uint8_t transmissions;
    uint8_t toggle;
    uint8_t length;
    uint8_t text[kRtChars];
};

struct RtStore {
    RtMessage msg[kRtMessages];
    int current;
    int write;
    int count;
    uint8_t ab;
    bool filled;
    int pos;
    uint8_t segment;
    int txCounter;
    int curLength;
    int lastDataSet = -1;
};

struct ByteBuffer {
    uint8_t config;
    uint8_t version;
    uint8_t channel;
    int length;
    uint8_t bytes[6];
    int pos;
};

struct TmcStore {
    uint8_t config;
    uint8_t transmissions;
    uint8_t urgent;
    int length;
    uint8_t bytes[256];
    int pos;
    int repeat;
};

struct State {
    uint8_t psSegment0A;
    uint8_t psSegment0B;
    int afIndex;
    int variant1A;
    int variant14A;
    RtStore rt;
    RdsOdaTable oda;
    ByteBuffer tdc;
    ByteBuffer ih;
    TmcStore tmc;
    uint8_t ptynLast[8];
    uint8_t ptynAb;
    uint8_t ptynSegment;
    uint8_t eonVariant;
    int eonAfIndex;
    int eonMapIndex;
    uint8_t eonTa[kEonEntries];
};

State& st()
{
    static State s;
    return s;
}

RdsDataElement& el(int slot)
{
    return *rdsElement(slot);
}

bool valid(int slot)
{
    return isRdsElementValid(rdsElement(slot)) != 0;
}

uint16_t u16(int slot)
{
    uint16_t v = 0;
    memcpy(&v, el(slot).data, sizeof v);
    return v;
}

// Byte 0 of an element, 0 while it is not valid.
uint8_t byte0(int slot)
{
    return valid(slot) ? el(slot).data[0] : 0;
}

void logNotValid(const char* group, const char* what)
{
    DEBUG_PRINT(DBG_RDS, "  [%s]  <%s>  NOT VALID ", group, what);
}

// The NOT VALID lines of PI, TP and PTY; true when PI is valid.
bool basicsValid(const char* group)
{
    bool pi = valid(RDS_SLOT_PI);
    if (!pi || !valid(RDS_SLOT_TP) || !valid(RDS_SLOT_PTY)) {
        if (!pi)
            logNotValid(group, "PI");
        if (!valid(RDS_SLOT_TP))
            logNotValid(group, "TP");
        if (!valid(RDS_SLOT_PTY))
            logNotValid(group, "PTY");
    }
    return pi;
}

uint16_t pi()
{
    return u16(RDS_SLOT_PI);
}

// Block 2: type, version, TP, PTY and the five type-specific bits.
uint16_t block2(unsigned type, unsigned version, unsigned tail)
{
    return static_cast<uint16_t>((type & 15u) << 12 | (version & 1u) << 11 | (byte0(RDS_SLOT_TP) & 1u) << 10 |
                                 (byte0(RDS_SLOT_PTY) & 31u) << 5 | (tail & 31u));
}

int queueGroup(uint16_t* queue, uint16_t* count, uint16_t b2, uint16_t b3, uint16_t b4)
{
    return addGroupToBlocksQueue(queue, count, pi(), b2, b3, b4) == 0 ? 0 : -10;
}

// Characters of an 8-character configuration text kept as two big-endian
// words; NULs become spaces.
void textOfWords(uint32_t w0, uint32_t w1, uint8_t out[8])
{
    uint32_t w[2] = {swapRdsTextWord(w0), swapRdsTextWord(w1)};
    for (int i = 0; i < 8; i++) {
        uint8_t c = static_cast<uint8_t>(w[i / 4] >> (8 * (i % 4)));
        out[i] = c ? c : ' ';
    }
}

// The AF list: entry 0 = 224 + N, then the N codes of the list words (most
// significant byte first), the rest 205; all 205 for N = 0.
int buildAfList(uint8_t dataSet, int n, uint8_t list[kAfListLen])
{
    memset(list, kAfFiller, kAfListLen);
    n = std::clamp(n, 0, kAfMax);
    if (n == 0)
        return 0;
    list[0] = static_cast<uint8_t>(224 + n);
    for (int k = 0; k < n; k++)
        list[1 + k] = static_cast<uint8_t>(getAFL(dataSet, static_cast<uint32_t>(k / 4)) >> (24 - 8 * (k % 4)));
    return n;
}

uint16_t pair(uint8_t hi, uint8_t lo)
{
    return static_cast<uint16_t>(hi << 8 | lo);
}

uint16_t psPair(int segment)
{
    const RdsDataElement& e = el(RDS_SLOT_PS);
    if (!valid(RDS_SLOT_PS))
        return 0x2020;
    return pair(e.data[2 * segment], e.data[2 * segment + 1]);
}

// ---- RadioText ---------------------------------------------------------------

void rtAbUpdate(uint8_t dataSet)
{
    RtStore& r = st().rt;
    switch (getRTABFlagMode(dataSet)) {
    case 1: r.ab = 0; break;
    case 2: r.ab = 1; break;
    default:
        if (r.msg[r.current].toggle && r.count > 1)
            r.ab ^= 1;
        break;
    }
}

void rtAdvance(uint8_t dataSet)
{
    RtStore& r = st().rt;
    r.current = nextCyclicIndex(r.current, r.count);
    rtAbUpdate(dataSet);
}

void rtFromConfiguration(uint8_t dataSet)
{
    RtStore& r = st().rt;
    if (!getRadioTextFlag(dataSet) && r.lastDataSet == dataSet)
        return;
    char text[RDS_RADIOTEXT_CHARS];
    memset(text, kCr, sizeof text);
    int len = readRadioTextFile(dataSet, text);
    setRadioTextFlag(dataSet, 0);
    r.lastDataSet = dataSet;
    len = std::clamp(len, 0, static_cast<int>(RDS_RADIOTEXT_CHARS));
    int n = len / kRtChars + (len % kRtChars ? 1 : 0);
    n = std::min(n, kRtMessages);
    r.count = n;
    for (int k = 0; k < n; k++) {
        RtMessage& m = r.msg[k];
        memcpy(m.text, text + kRtChars * k, kRtChars);
        m.length = static_cast<uint8_t>(len <= kRtChars - 1 ? len : kRtChars);
        m.transmissions = 4;
        m.toggle = n > 1 ? 1 : 0;
        m.config = 0;
    }
    r.current = 0;
    r.pos = 0;
    r.segment = 0;
    r.txCounter = 0;
    r.filled = n > 0;
    DEBUG_PRINT(DBG_RDS, "RT msg[%d n_msg][%d bytes][ABflag %d]: %.*s", n, len, r.ab, len, text);
}

void rtFromUecp(uint8_t)
{
    RtStore& r = st().rt;
    RdsDataElement& e = el(RDS_SLOT_RT);
    if (!isRdsElementValid(&e)) {
        r.curLength = 0;
        return;
    }
    if (isRdsElementConsumed(&e))
        return;
    e.consumed = 1;
    uint8_t c = e.length > 0 ? e.data[0] : 0;
    uint8_t config = (c >> 5) & 3;
    if (config == 2) {
        r.count = r.count + 1 > kRtMessages ? 1 : r.count + 1;
        r.write = (!r.filled || r.write + 1 >= kRtMessages) ? 0 : r.write + 1;
    } else {
        r.current = 0;
        r.write = 0;
        r.count = 1;
        r.ab ^= 1;
        r.pos = 0;
        r.segment = 0;
        r.txCounter = 0;
    }
    r.filled = true;
    RtMessage& m = r.msg[r.write];
    m.config = config;
    m.transmissions = (c >> 1) & 15;
    m.toggle = c & 1;
    if (e.length != 0) {
        int len = std::min<int>(static_cast<int>(e.length) - 1, kRtChars);
        m.length = static_cast<uint8_t>(len);
        memset(m.text, kCr, sizeof m.text);
        memcpy(m.text, e.data + 1, static_cast<size_t>(len));
    }
}

// ---- EON -------------------------------------------------------------------------

uint16_t eonBlock2(unsigned version, unsigned tail)
{
    return block2(14, version, tail);
}

} // namespace

int nextCyclicIndex(int i, int n)
{
    return i + 1 < n ? i + 1 : 0;
}

// ---- 0A / 0B ---------------------------------------------------------------------

int composeGroupsType0A(uint8_t dataSet, uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("0A"))
        return -5;
    State& s = st();
    int seg = s.psSegment0A;
    s.psSegment0A = static_cast<uint8_t>((seg + 1) & 3);
    uint8_t di = byte0(RDS_SLOT_DI);
    DEBUG_PRINT(DBG_RDS, "DI: %d", di);
    uint16_t b2 = block2(0, 0,
                         (byte0(RDS_SLOT_TA) & 1u) << 4 | (byte0(RDS_SLOT_MS) & 1u) << 3 |
                             ((di >> (3 - seg)) & 1u) << 2 | static_cast<unsigned>(seg));

    uint8_t list[kAfListLen];
    int n = buildAfList(dataSet, byte0(RDS_SLOT_AF), list);
    uint8_t own = static_cast<uint8_t>(getOutputRFfrequency() / 100000 - 875);
    if (debugGate(DBG_RDS)) {
        DEBUG_PRINT(DBG_RDS, "AF_Num [%.2i]: %.3d [0x%X] [TF 0x%X]", n, list[0], list[0], own);
        for (int k = 1; k <= n; k++)
            DEBUG_PRINT(DBG_RDS, "AF_code[%.2i]: %.3d [0x%X]", k, list[k], list[k]);
    }
    int& i = s.afIndex;
    if (i > n)
        i = 0;
    uint16_t b3;
    if (getAFM(dataSet) == 1) {
        if (i == 0) {
            b3 = pair(static_cast<uint8_t>(225 + 2 * n), own);
            i = 1;
        } else {
            uint8_t f = list[i];
            b3 = f < own ? pair(f, own) : pair(own, f);
            i += 1;
        }
    } else {
        // Method A, also for a method the list has no other layout for.
        b3 = pair(list[i], list[i + 1]);
        i += 2;
    }
    if (i > n)
        i = 0;
    return queueGroup(queue, count, b2, b3, psPair(seg));
}

int composeGroupsType0B(uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("0B"))
        return -5;
    State& s = st();
    int seg = s.psSegment0B;
    s.psSegment0B = static_cast<uint8_t>((seg + 1) & 3);
    uint8_t di = byte0(RDS_SLOT_DI);
    DEBUG_PRINT(DBG_RDS, "\n[RDS] {DI} di=%d", di);
    uint16_t b2 = block2(0, 1,
                         (byte0(RDS_SLOT_TA) & 1u) << 4 | (byte0(RDS_SLOT_MS) & 1u) << 3 |
                             ((di >> (3 - seg)) & 1u) << 2 | static_cast<unsigned>(seg));
    return queueGroup(queue, count, b2, pi(), psPair(seg));
}

// ---- 1A --------------------------------------------------------------------------

uint8_t nextRdsVariant1A(uint8_t dataSet, uint8_t* wrapped)
{
    static const uint8_t kDefault[] = {0, 2, 3};
    const uint8_t* list = getRdsVarCodeSeqRecord(dataSet, 2);
    int n = static_cast<int>(getRdsVariantListLength(dataSet, 2));
    if (!list || n == 0 || list[0] > 254) {
        list = kDefault;
        n = 3;
    }
    n = std::min(n, 16);
    int& i = st().variant1A;
    if (i >= n)
        i = 0;
    uint8_t code = list[i];
    int next = nextCyclicIndex(i, n);
    if (wrapped)
        *wrapped = next < i ? 1 : 0;
    i = next;
    return code;
}

int composeGroupsType1A(uint8_t dataSet, uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("1A"))
        return -5;
    if (!valid(RDS_SLOT_PIN)) {
        logNotValid("1A", "PIN");
        return -6;
    }
    bool labelling = valid(RDS_SLOT_LABELLING);
    bool done = false;
    uint8_t variant = 0;
    uint16_t payload = 0;
    for (int attempt = 0; attempt < 8 && !done; attempt++) {
        uint8_t wrapped = 0;
        variant = nextRdsVariant1A(dataSet, &wrapped);
        int value = -1;
        switch (variant) {
        case 2:
            if (labelling)
                value = getRdsSequenceParam(dataSet, 2, nullptr);
            else
                logNotValid("1A", "paging_id");
            break;
        case 3:
            if (!valid(RDS_SLOT_LANGUAGE) && !labelling)
                break;
            if (getCustomLanguage() == 1)
                value = el(RDS_SLOT_LANGUAGE).data[0];
            else if (labelling)
                value = getRdsSequenceParam(dataSet, 3, nullptr);
            break;
        case 6:
            if (labelling)
                value = getRdsSequenceParam(dataSet, 6, nullptr);
            break;
        case 7:
            if (labelling)
                value = getRdsSequenceParam(dataSet, 7, nullptr);
            else
                logNotValid("1A", "EWS_ch");
            break;
        default: {
            variant = 0;
            bool ecc = valid(RDS_SLOT_ECC);
            if (!ecc && !labelling) {
                logNotValid("1A", "ECC");
                break;
            }
            uint8_t paging = 0;
            if (getCustomECC() == 1) {
                value = el(RDS_SLOT_ECC).data[0];
            } else {
                int v = labelling ? getRdsSequenceParam(dataSet, 0, &paging) : -1;
                if (v >= 0)
                    value = (paging & 15) << 8 | (v & 255);
                else if (ecc)
                    value = el(RDS_SLOT_ECC).data[0];
            }
            break;
        }
        }
        if (value >= 0) {
            payload = static_cast<uint16_t>(value & 0xFFF);
            done = true;
        } else if (attempt >= 1 && wrapped) {
            break;
        }
    }
    if (!done) {
        logNotValid("1A", "Label");
        return -6;
    }
    uint16_t b3 = static_cast<uint16_t>((getLA(dataSet) & 1u) << 15 | (variant & 7u) << 12 | payload);
    return queueGroup(queue, count, block2(1, 0, 0), b3, u16(RDS_SLOT_PIN));
}

// ---- 2A --------------------------------------------------------------------------

int composeGroupsType2A(uint8_t dataSet, uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("2A"))
        return -5;
    RtStore& r = st().rt;
    if (getCustomRT() == 1)
        rtFromConfiguration(dataSet);
    else
        rtFromUecp(dataSet);
    r.curLength = r.count > 0 ? r.msg[r.current].length : 0;
    if (r.curLength == 0) {
        r.pos = 0;
        r.segment = 0;
        r.txCounter = 0;
        rtAdvance(dataSet);
        logNotValid("2A", "RT");
        return -6;
    }
    RtMessage& m = r.msg[r.current];
    uint16_t b2 = block2(2, 0, (r.ab & 1u) << 4 | (r.segment & 15u));
    r.segment = static_cast<uint8_t>((r.segment + 1) & 15);
    uint16_t b3 = pair(m.text[r.pos], m.text[r.pos + 1]);
    r.pos += 2;
    uint16_t b4 = 0x0D0D;
    if (r.pos < r.curLength) {
        b4 = pair(m.text[r.pos], m.text[r.pos + 1]);
        r.pos += 2;
    }
    if (r.pos >= r.curLength) {
        r.pos = 0;
        r.segment = 0;
        if (m.transmissions != 0 && ++r.txCounter >= m.transmissions) {
            r.txCounter = 0;
            rtAdvance(dataSet);
        }
    }
    return queueGroup(queue, count, b2, b3, b4);
}

// ---- 3A --------------------------------------------------------------------------

int findFreeOdaEntry(const RdsOdaTable* table)
{
    for (int i = 0; i < RDS_ODA_ENTRIES; i++)
        if (table->entries[i].typeCode == 0)
            return i;
    return -1;
}

int nextOdaEntry(RdsOdaTable* table)
{
    for (int k = 0; k < RDS_ODA_ENTRIES; k++) {
        int i = (table->cursor + k) % RDS_ODA_ENTRIES;
        if (table->entries[i].typeCode != 0) {
            table->cursor = (i + 1) % RDS_ODA_ENTRIES;
            return i;
        }
    }
    return -1;
}

int removeOdaEntries(RdsOdaTable* table, uint8_t typeCode)
{
    int n = 0;
    for (RdsOdaEntry& e : table->entries)
        if (e.typeCode == typeCode && typeCode != 0) {
            e = RdsOdaEntry{};
            n++;
        }
    return n;
}

RdsOdaTable* getRdsOdaTable()
{
    return &st().oda;
}

int composeGroupsType3A(uint8_t, uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("3A"))
        return -5;
    RdsDataElement& e = el(RDS_SLOT_ODA);
    if (!isRdsElementValid(&e)) {
        logNotValid("3A", "ODA_CFG_MSG");
        return -2;
    }
    RdsOdaTable& t = st().oda;
    RdsOdaEntry in;
    in.typeCode = e.data[0] & 31;
    in.aid = static_cast<uint16_t>(e.data[1] << 8 | e.data[2]);
    in.config = e.data[3] & 3;
    in.message = static_cast<uint16_t>(e.data[4] << 8 | e.data[5]);
    in.extra = e.data[6];
    DEBUG_PRINT(DBG_RDS, "3A: Read from UECP");
    DEBUG_PRINT(DBG_RDS, "AID=%X [%x%x] msg=%X AppTypeGroup %X", in.aid, e.data[1], e.data[2], in.message,
                in.typeCode);
    bool own = false;
    if (!isRdsElementConsumed(&e)) {
        e.consumed = 1;
        switch (in.config) {
        case 0: own = true; break;
        case 1: return 0;
        case 3: {
            int r = removeOdaEntries(&t, in.typeCode);
            int k = findFreeOdaEntry(&t);
            if (k < 0) {
                DEBUG_PRINT(DBG_RDS, "oda_buff_index Full, can't add MEC 40");
                return 0;
            }
            t.entries[k] = in;
            if (r <= t.count)
                t.count = t.count - r + 1;
            break;
        }
        default: {
            int k = findFreeOdaEntry(&t);
            if (k < 0) {
                DEBUG_PRINT(DBG_RDS, "oda_buff_index Full, can't add MEC 40");
                return 0;
            }
            t.entries[k] = in;
            t.count++;
            break;
        }
        }
    }
    RdsOdaEntry out{};
    if (own) {
        out = in;
    } else if (t.count > 0) {
        int k = nextOdaEntry(&t);
        if (k >= 0)
            out = t.entries[k];
    }
    return queueGroup(queue, count, block2(3, 0, out.typeCode), out.message, out.aid);
}

// ---- 4A --------------------------------------------------------------------------

int composeGroupsType4A(uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("4A"))
        return -5;
    int year, month, day, hour, minute;
    unsigned offset;
    if (getCustomCT() != 0) {
        time_t now = clockWallSeconds();
        struct tm utc = {}, local = {};
        gmtime_r(&now, &utc);
        localtime_r(&now, &local);
        DEBUG_PRINT(DBG_RDS, "Current time: %ld", static_cast<long>(now));
        year = utc.tm_year;
        month = utc.tm_mon + 1;
        day = utc.tm_mday;
        hour = utc.tm_hour;
        minute = utc.tm_min;
        // Half hours, bit 5 set for zones west of UTC.
        long half = local.tm_gmtoff / 1800;
        offset = half < 0 ? 0x20u | (static_cast<unsigned>(-half) & 31u) : static_cast<unsigned>(half) & 31u;
    } else {
        const uint8_t* d = el(RDS_SLOT_CT).data;
        year = d[0] + 100;
        month = d[1];
        day = d[2];
        hour = d[3];
        minute = d[4];
        offset = d[7] & 63u;
        DEBUG_PRINT(DBG_RDS, "CT_RTC = 20%.2d-%.2d-%.2d:%.2d.%.2d.%.2d.%.3d LocalTimeOff %c%.2d.%.2d h", d[0], d[1],
                    d[2], d[3], d[4], d[5], d[6], (offset & 0x20) ? '-' : '+', (offset & 31) / 2,
                    (offset & 1) ? 30 : 0);
    }
    int l = (month == 1 || month == 2) ? 1 : 0;
    long mjd = 14956 + day + static_cast<long>((year - l) * 365.25) + static_cast<long>((month + 1 + 12 * l) * 30.6001);
    DEBUG_PRINT(DBG_RDS, "CLOCK = year %d month %.2d day %.2d hh %.2d:%.2d (local_time_off=%.2d)---> MJD %li", year,
                month, day, hour, minute, offset, mjd);
    uint16_t b2 = block2(4, 0, static_cast<unsigned>(mjd >> 15) & 3u);
    uint16_t b3 = static_cast<uint16_t>((mjd & 0x7FFF) << 1 | ((hour >> 4) & 1));
    uint16_t b4 = static_cast<uint16_t>((hour & 15) << 12 | (minute & 63) << 6 | (offset & 63u));
    if (queueGroup(queue, count, b2, b3, b4) != 0)
        return -10;
    el(RDS_SLOT_CT).valid = 0;
    return 0;
}

// ---- 5A/5B and 6A ----------------------------------------------------------------

namespace {

// Takes a TDC or in-house element over into its buffer. 1 when the buffer
// holds data to send, otherwise the composer's result.
int takeOver(RdsDataElement& e, ByteBuffer& b, const char* group, const char* name, bool withChannel)
{
    if (!isRdsElementValid(&e)) {
        logNotValid(group, name);
        return -6;
    }
    if (isRdsElementConsumed(&e)) {
        // Data taken over earlier is sent on from the buffer until its
        // message is done; only an emptied buffer is "already read".
        if (b.length > 0)
            return 1;
        DEBUG_PRINT(DBG_RDS, "  [%s]  <%s>  Already Read ", group, name);
        return -7;
    }
    e.consumed = 1;
    uint8_t version = e.length > 0 ? e.data[0] & 1 : 0;
    uint8_t c1 = e.length > 1 ? e.data[1] : 0;
    uint8_t config = (c1 >> 5) & 3;
    if (config == 3) {
        e.valid = 0;
        return 0;
    }
    b = ByteBuffer{};
    b.version = version;
    if (withChannel)
        b.channel = c1 & 31;
    if (e.length > 1) {
        b.config = config;
        b.length = std::min<int>(static_cast<int>(e.length) - 1, static_cast<int>(sizeof b.bytes));
        memcpy(b.bytes, e.data + 1, static_cast<size_t>(b.length));
    }
    DEBUG_PRINT(DBG_RDS, "IH msg --> buff_cfg %d", b.config);
    return 1;
}

// A buffer byte; 0 past the data.
uint8_t at(const ByteBuffer& b, int i)
{
    return i < b.length ? b.bytes[i] : 0;
}

} // namespace

int composeGroupsType5AB(uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("5A"))
        return -5;
    RdsDataElement& e = el(RDS_SLOT_TDC);
    ByteBuffer& b = st().tdc;
    int r = takeOver(e, b, "5A", "TDC", true);
    if (r != 1)
        return r;
    if (b.length == 0) {
        e.valid = 0;
        return -5;
    }
    DEBUG_PRINT(DBG_RDS, "TDC: transmit group 5%c", b.version ? 'B' : 'A');
    uint16_t b2 = block2(5, b.version, b.channel), b3, b4;
    if (b.version == 0) {
        b3 = pair(at(b, b.pos), at(b, b.pos + 1));
        b4 = pair(at(b, b.pos + 2), at(b, b.pos + 3));
        b.pos += 4;
    } else {
        b3 = pi();
        b4 = pair(at(b, b.pos), at(b, b.pos + 1));
        b.pos += 2;
    }
    if (b.pos >= b.length) {
        DEBUG_PRINT(DBG_RDS, "TDC: transmit msg done");
        b.pos = 0;
        if (b.config != 2) {
            b = ByteBuffer{};
            e.valid = 0;
        }
    }
    return queueGroup(queue, count, b2, b3, b4);
}

int composeGroupsType6A(uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("6A"))
        return -5;
    RdsDataElement& e = el(RDS_SLOT_IH);
    ByteBuffer& b = st().ih;
    int r = takeOver(e, b, "6A", "IH", false);
    if (r != 1)
        return r;
    if (b.length == 0) {
        e.valid = 0;
        return -6;
    }
    // Sent as version A whatever the element says: a 6B would carry the
    // data where receivers expect the PI.
    DEBUG_PRINT(DBG_RDS, "IH: transmit group 6%c", b.version ? 'B' : 'A');
    uint16_t b2 = block2(6, 0, b.bytes[0] & 31u);
    uint16_t b3 = pair(at(b, 1), at(b, 2)), b4 = pair(at(b, 3), at(b, 4));
    // One group carries what a 6A can of the message.
    DEBUG_PRINT(DBG_RDS, "IH: transmit msg done");
    if (b.config != 2) {
        b = ByteBuffer{};
        e.valid = 0;
    }
    return queueGroup(queue, count, b2, b3, b4);
}

// ---- 8A --------------------------------------------------------------------------

int composeGroupsType8A(uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("8A"))
        return -5;
    RdsDataElement& e = el(RDS_SLOT_TMC);
    if (!isRdsElementValid(&e)) {
        logNotValid("8A", "TMC");
        return -6;
    }
    TmcStore& t = st().tmc;
    uint8_t c = e.length > 0 ? e.data[0] : 0;
    int len = e.length > 0 ? static_cast<int>(e.length) - 1 : 0;
    if (len != 0) {
        t.config = (c >> 5) & 3;
        t.transmissions = (c >> 1) & 15;
        t.urgent = (c >> 7) & 1;
        t.length = std::min(len, static_cast<int>(sizeof t.bytes));
        memcpy(t.bytes, e.data + 1, static_cast<size_t>(t.length));
        if (t.pos >= t.length)
            t.pos = 0;
        DEBUG_PRINT(DBG_RDS, "TMC msg[%d] --> nr tx %d, buff_cfg %d, %s", t.length, t.transmissions, t.config,
                    t.urgent ? "URGENT" : "NORMAL");
    }
    if (t.length == 0) {
        e.valid = 0;
        return -1;
    }
    DEBUG_PRINT(DBG_RDS, "TMC: transmit slot %d [%d bytes]", t.pos, t.length);
    auto byteAt = [&t](int i) -> uint8_t { return i < t.length ? t.bytes[i] : 0; };
    int groups = (t.urgent || t.transmissions > 1) ? 3 : 1;
    int result = 0;
    for (int g = 0; g < groups; g++) {
        uint16_t b2 = static_cast<uint16_t>(block2(8, 0, byteAt(t.pos) & 31u));
        uint16_t b3 = pair(byteAt(t.pos + 1), byteAt(t.pos + 2)), b4 = pair(byteAt(t.pos + 3), byteAt(t.pos + 4));
        t.pos += 5;
        if (queueGroup(queue, count, b2, b3, b4) != 0)
            result = -10;
        DEBUG_PRINT(DBG_RDS, "TMC: transmit group 8A n. %d", g);
        if (t.pos >= t.length) {
            DEBUG_PRINT(DBG_RDS, "TMC: transmit msg done");
            t.pos = 0;
            if (t.transmissions != 0) {
                if (++t.repeat >= t.transmissions) {
                    t.repeat = 0;
                    DEBUG_PRINT(DBG_RDS, "TMC: transmit slot finished");
                    return result;
                }
                DEBUG_PRINT(DBG_RDS, "TMC: transmit msg repeat %d", t.repeat);
            }
        }
    }
    return result;
}

// ---- 10A -------------------------------------------------------------------------

int composeGroupsType10A(uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("10A"))
        return -5;
    if (!valid(RDS_SLOT_PTYN)) {
        logNotValid("10A", "PTYN");
        return -6;
    }
    State& s = st();
    const uint8_t* name = el(RDS_SLOT_PTYN).data;
    if (memcmp(name, s.ptynLast, sizeof s.ptynLast) != 0) {
        s.ptynAb ^= 1;
        memcpy(s.ptynLast, name, sizeof s.ptynLast);
    }
    int k = s.ptynSegment * 4;
    uint16_t b2 = block2(10, 0, (s.ptynAb & 1u) << 4 | s.ptynSegment);
    s.ptynSegment ^= 1;
    return queueGroup(queue, count, b2, pair(name[k], name[k + 1]), pair(name[k + 2], name[k + 3]));
}

// ---- 14A / 14B -------------------------------------------------------------------

uint8_t nextRdsVariant14A(uint8_t dataSet, uint8_t restart, uint8_t* wrapped)
{
    static const uint8_t kDefault[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 13, 14};
    const uint8_t* list = getRdsVarCodeSeqRecord(dataSet, 28);
    int n = static_cast<int>(getRdsVariantListLength(dataSet, 28));
    if (!list || n == 0 || list[0] > 254) {
        list = kDefault;
        n = static_cast<int>(sizeof kDefault);
    }
    n = std::min(n, 16);
    int& i = st().variant14A;
    if (restart || i >= n) {
        i = 0;
        if (wrapped)
            *wrapped = 0;
        return list[0];
    }
    int next = nextCyclicIndex(i, n);
    if (wrapped)
        *wrapped = next < i ? 1 : 0;
    i = next;
    return list[i];
}

int detectEonTaChange(uint8_t dataSet)
{
    State& s = st();
    int changed = 0;
    for (int e = 0; e < kEonEntries; e++) {
        uint32_t linked = getDataSetEONText(dataSet, static_cast<uint32_t>(e));
        if (linked == 0 || linked > kDataSets)
            continue;
        uint8_t ta = static_cast<uint8_t>(getTA(linked - 1) & 1u);
        if (ta != s.eonTa[e]) {
            s.eonTa[e] = ta;
            changed = static_cast<int>(linked);
        }
    }
    return changed;
}

int composeGroupsType14A_V4(uint8_t linked, uint16_t* queue, uint16_t* count)
{
    if (!valid(RDS_SLOT_PI))
        return -1;
    State& s = st();
    uint8_t list[kAfListLen];
    int n = buildAfList(linked, getAFN(linked), list);
    DEBUG_PRINT(DBG_RDS, "EON Linked DS %d -> AF_Number: %d", linked, n);
    int& i = s.eonAfIndex;
    if (i > n)
        i = 0;
    DEBUG_PRINT(DBG_RDS, "EON AF_code[%d]: %d", i, list[i]);
    uint16_t b2 = eonBlock2(0, (getTP(linked) & 1u) << 4 | 4u);
    uint16_t b3 = pair(list[i], list[i + 1]);
    i += 2;
    int more = 1;
    if (i > n) {
        i = 0;
        more = 0;
    }
    if (queueGroup(queue, count, b2, b3, getPI(linked)) != 0)
        return -10;
    return more;
}

int composeGroupsType14A_V5_8(uint8_t linked, uint16_t* queue, uint16_t* count, uint8_t variant)
{
    if (!valid(RDS_SLOT_PI))
        return -1;
    State& s = st();
    uint8_t list[kAfListLen];
    int n = std::min(buildAfList(linked, getAFN(linked), list), 4);
    int& i = s.eonMapIndex;
    if (n == 0) {
        i = 0;
        return 0;
    }
    if (i >= n)
        i = 0;
    uint16_t b2 = eonBlock2(0, (getTP(linked) & 1u) << 4 | (variant & 15u));
    uint16_t b3 = pair(getTF(linked), list[1 + i]);
    i++;
    int more = 1;
    if (i >= n) {
        i = 0;
        more = 0;
    }
    if (queueGroup(queue, count, b2, b3, getPI(linked)) != 0)
        return -10;
    return more;
}

int composeGroupsType14AB(uint8_t dataSet, uint8_t entry, uint8_t restart, uint16_t* queue, uint16_t* count)
{
    if (!basicsValid("14A-B"))
        return -5;
    uint32_t number = entry < kEonEntries ? getDataSetEONText(dataSet, entry) : 0;
    if (number == 0 || number > kDataSets)
        return -6;
    uint8_t on = static_cast<uint8_t>(number - 1);
    State& s = st();
    if (restart) {
        s.eonVariant = 0;
        DEBUG_PRINT(DBG_RDS, "EON station n. %d --- Linked DS%d", entry, static_cast<int>(number));
    }
    int ta = detectEonTaChange(dataSet);
    if (ta != 0) {
        uint8_t other = static_cast<uint8_t>(ta - 1);
        uint16_t b2 = eonBlock2(1, (getTP(other) & 1u) << 4 | (getTA(other) & 1u) << 3);
        for (int k = 0; k < 4; k++)
            if (queueGroup(queue, count, b2, pi(), getPI(other)) != 0)
                return -10;
        return 0;
    }
    uint8_t& v = s.eonVariant;
    auto send = [&](uint16_t b3) {
        return queueGroup(queue, count, eonBlock2(0, (getTP(on) & 1u) << 4 | (v & 15u)), b3, getPI(on));
    };
    int r = 0;
    switch (v) {
    case 0:
    case 1:
    case 2:
    case 3: {
        uint8_t ps[8];
        textOfWords(getStaticPS0(on, 0), getStaticPS0(on, 1), ps);
        DEBUG_PRINT(DBG_RDS, "EON PS on tx PS=%c%c%c%c%c%c%c%c  --- v%u", ps[0], ps[1], ps[2], ps[3], ps[4], ps[5],
                    ps[6], ps[7], v);
        r = send(pair(ps[2 * v], ps[2 * v + 1]));
        v++;
        break;
    }
    case 4:
        if (getAFM(on) == 0) {
            DEBUG_PRINT(DBG_RDS, "EON: AF info --- v4");
            int m = composeGroupsType14A_V4(on, queue, count);
            if (m < 0)
                return -10;
            if (m == 0)
                v++;
        } else {
            v++;
        }
        break;
    case 5:
    case 6:
    case 7:
    case 8:
        if (getAFM(on) == 1) {
            DEBUG_PRINT(DBG_RDS, "EON: Mapped Frq --- v%u", v);
            int m = composeGroupsType14A_V5_8(on, queue, count, v);
            if (m < 0)
                return -10;
            v = m == 0 ? 12 : static_cast<uint8_t>(v + 1);
        } else {
            v = 12;
        }
        break;
    case 12:
        DEBUG_PRINT(DBG_RDS, "EON: Linkage info --- v12");
        r = send(static_cast<uint16_t>((getLA(on) & 1u) << 15 | (getEGI(on) & 1u) << 14 | (getILS(on) & 3u) << 12 |
                                       (getLSN(on) & 0xFFFu)));
        v++;
        break;
    case 13:
        DEBUG_PRINT(DBG_RDS, "EON: PTY/TA info --- v13");
        r = send(static_cast<uint16_t>((getPTY(on) & 31u) << 11 | (getTA(on) & 1u)));
        v++;
        break;
    case 14:
        DEBUG_PRINT(DBG_RDS, "EON: PIN info --- v14");
        r = send(getPIN(on));
        v++;
        return r != 0 ? -10 : 1;
    default:
        DEBUG_PRINT(DBG_RDS, "EON: v%u not managed", v);
        v++;
        break;
    }
    return r != 0 ? -10 : 0;
}
