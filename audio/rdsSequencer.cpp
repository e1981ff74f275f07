// The RDS loop: when to compose the next batch of groups and when to feed the
// FPGA, the group sequence of the active data set with its alternatives and
// EON entries, and the copy of the configured items into the data set. All of
// it runs on "RDS Loop Thread"; other threads reach the loop's FIFO, ring and
// data set only through requests (rdsLoopOwnsCall).
#include "audio/rdsSequencer.h"

#include "Config/keys/rdsKeys.h"
#include "Config/keys/synchroKeys.h"
#include "audio/rdsComposers.h"
#include "audio/rdsDataSet.h"
#include "audio/rdsTransfer.h"
#include "audio/uecpReceiver.h"
#include "core/base/logs.h"
#include "core/base/ringBuf.h"
#include "core/base/timeBase.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr uint8_t kNoCode = 255;
constexpr int kSequenceMax = 16;
constexpr uint8_t kDefaultLength = 15;
constexpr uint8_t kDefaultSequence[kSequenceMax] = {0, 28, 0, 2, 4, 0, 6, 10, 12, 16, 20, 28, 0, 4, 0, kNoCode};
constexpr uint32_t kStartPeriodUs = 800000;
constexpr uint32_t kMinPeriodUs = 150000;
constexpr uint32_t kMaxPeriodUs = 2000000;
constexpr uint32_t kUsPerBlock = 22000;
constexpr uint32_t kTransferUs = 199999;
constexpr uint32_t kUecpCongested = 1024;
constexpr int kUecpPasses = 5;
constexpr uint32_t kEonEntries = 6;
constexpr int kDataSets = 7;
constexpr int kCtSeconds = 9;

using Composer = int (*)(uint8_t dataSet, uint16_t* queue, uint16_t* count);

// One group of the sequence table: its announcement, its error label and
// its composer (nullptr: EON, handled by the dispatcher).
struct GroupRow {
    uint8_t code;
    const char* name;
    const char* errorName;
    Composer compose;
};

constexpr GroupRow kGroups[] = {
    {0, " 0A", " 0A", [](uint8_t d, uint16_t* q, uint16_t* n) { return composeGroupsType0A(d, q, n); }},
    {1, " 0B", " 0B", [](uint8_t, uint16_t* q, uint16_t* n) { return composeGroupsType0B(q, n); }},
    {2, " 1A ", " 1A", [](uint8_t d, uint16_t* q, uint16_t* n) { return composeGroupsType1A(d, q, n); }},
    {4, " 2A ", " 2A", [](uint8_t d, uint16_t* q, uint16_t* n) { return composeGroupsType2A(d, q, n); }},
    {6, " 3A ", " 3A", [](uint8_t d, uint16_t* q, uint16_t* n) { return composeGroupsType3A(d, q, n); }},
    {10, " 5A/5B ", " 5AB", [](uint8_t, uint16_t* q, uint16_t* n) { return composeGroupsType5AB(q, n); }},
    {11, " 5A/5B ", " 5AB", [](uint8_t, uint16_t* q, uint16_t* n) { return composeGroupsType5AB(q, n); }},
    {12, " 6A ", " 6A", [](uint8_t, uint16_t* q, uint16_t* n) { return composeGroupsType6A(q, n); }},
    {16, " 8A ", " 8A", [](uint8_t, uint16_t* q, uint16_t* n) { return composeGroupsType8A(q, n); }},
    {20, " 10A ", " 10A", [](uint8_t, uint16_t* q, uint16_t* n) { return composeGroupsType10A(q, n); }},
    {28, nullptr, " 14AB", nullptr},
    {29, nullptr, " 14AB", nullptr},
};

const GroupRow* groupRow(uint8_t code)
{
    for (const GroupRow& g : kGroups)
        if (g.code == code)
            return &g;
    return nullptr;
}

struct State {
    uint8_t defaultSequence[kSequenceMax] = {};
    // The active sequence: codes and length are read by the loop while the
    // setters of other threads reload them.
    std::atomic<const uint8_t*> sequence{nullptr};
    std::atomic<uint8_t> length{0};
    std::atomic<uint8_t> enable{0};
    std::atomic<uint32_t> periodUs{kStartPeriodUs};
    struct timespec lastDispatch {};
    struct timespec lastTransfer {};
    // Dynamic PS.
    uint32_t psRuns = 0;
    uint8_t psRotation = 0;
    char dynPs[8] = {};
    // Clock time.
    struct timespec ctStamp {};
    // EON.
    uint8_t eonEntry = 0;
    uint8_t eonPrevious = 0;
    std::atomic<bool> loopRan{false};
    std::atomic<uint32_t> requests{0};
};

State& st()
{
    static State s;
    return s;
}

thread_local bool onLoopThread = false;

// Codes of a stored sequence, which the setters may rewrite meanwhile.
uint8_t codeAt(const uint8_t* codes, int i)
{
    return std::atomic_ref<uint8_t>(const_cast<uint8_t&>(codes[i])).load(std::memory_order_relaxed);
}

void putCode(uint8_t* codes, int i, uint8_t code)
{
    std::atomic_ref<uint8_t>(codes[i]).store(code, std::memory_order_relaxed);
}

bool isZero(const struct timespec& t)
{
    return t.tv_sec == 0 || t.tv_nsec == 0;
}

void serveRequests()
{
    uint32_t r = st().requests.exchange(0);
    if (r & RDS_REQ_FIFO)
        initRdsFifo();
    if (r & RDS_REQ_UECP_RING)
        UECP_InitRxRing();
    if (r & RDS_REQ_DATA_SET)
        clearRdsDataSet();
}

// Eight characters of two text words, each word kept first byte highest;
// NULs become spaces.
void textOf(uint32_t w0, uint32_t w1, char out[8])
{
    uint32_t w[2] = {swapRdsTextWord(w0), swapRdsTextWord(w1)};
    memcpy(out, w, 8);
    for (int i = 0; i < 8; i++)
        if (out[i] == '\0')
            out[i] = ' ';
}

void put8(int slot, uint32_t v)
{
    RdsDataElement* e = rdsElement(slot);
    e->data[0] = static_cast<uint8_t>(v);
    e->length = 1;
    e->valid = 1;
}

void put16(int slot, uint16_t v)
{
    RdsDataElement* e = rdsElement(slot);
    e->data[0] = static_cast<uint8_t>(v);
    e->data[1] = static_cast<uint8_t>(v >> 8);
    e->length = 2;
    e->valid = 1;
}

void putText(int slot, const char text[8])
{
    RdsDataElement* e = rdsElement(slot);
    memcpy(e->data, text, 8);
    e->length = 8;
    e->valid = 1;
}

bool slotValid(int slot)
{
    return isRdsElementValid(rdsElement(slot)) != 0;
}

void logNotValid(const char* group)
{
    if (!slotValid(RDS_SLOT_PI))
        DEBUG_PRINT(DBG_RDS, "  [%s]  <%s>  NOT VALID ", group, "PI");
    if (!slotValid(RDS_SLOT_TP))
        DEBUG_PRINT(DBG_RDS, "  [%s]  <%s>  NOT VALID ", group, "TP");
    if (!slotValid(RDS_SLOT_PTY))
        DEBUG_PRINT(DBG_RDS, "  [%s]  <%s>  NOT VALID ", group, "PTY");
}

// Drains the UECP receive ring: one frame a run, up to five while the ring
// is congested.
void drainUecp()
{
    const RingBuf* ring = getUecpRxRing();
    bool congested = false;
    for (int pass = 1;; pass++) {
        int head = static_cast<int>(RingBuf_Head(ring)), tail = static_cast<int>(RingBuf_Tail(ring));
        if (RingBuf_HasMoreThan(ring, kUecpCongested)) {
            DEBUG_PRINT(DBG_RDS, "UECP FIFO almost full head@%d - tail@%d", head, tail);
            congested = true;
        } else {
            DEBUG_PRINT(DBG_RDS, "UECP FIFO not full head@%d - tail@%d", head, tail);
        }
        UECP_AnalyzeCmdMsg(static_cast<int>(RingBuf_Used(ring)));
        if (!congested || pass >= kUecpPasses || RingBuf_Used(ring) == 0)
            break;
    }
}

} // namespace

bool rdsLoopOwnsCall(uint32_t request)
{
    State& s = st();
    if (onLoopThread || !s.loopRan.load())
        return true;
    s.requests.fetch_or(request);
    return false;
}

const uint8_t* getRdsActiveSequence()
{
    const uint8_t* p = st().sequence.load();
    return p ? p : kDefaultSequence;
}

uint8_t getRdsActiveSequenceLength()
{
    return st().length.load();
}

uint32_t getRdsGroupPeriodUs()
{
    return st().periodUs.load();
}

void setRdsGroupPeriodUs(uint32_t us)
{
    st().periodUs.store(us);
}

void RDS_Mng()
{
    State& s = st();
    onLoopThread = true;
    s.loopRan.store(true);
    serveRequests();

    struct timespec now = getMonoTimeNow();
    if (isZero(s.lastDispatch))
        s.lastDispatch = now;
    if (isZero(s.lastTransfer))
        s.lastTransfer = now;

    uint32_t elapsed = getElapsedUs(&s.lastDispatch, &now);
    long secs = static_cast<long>(now.tv_sec - s.lastDispatch.tv_sec);
    if (secs > 2 || secs < -2 || elapsed >= s.periodUs.load()) {
        if (isRdsEncoderOn()) {
            DEBUG_PRINT(DBG_RDS, "DispatcherRDS: elapsed %u msec on nominal %lu", elapsed / 1000,
                        static_cast<unsigned long>(s.periodUs.load()));
            RdsGroupsSequencer();
        }
        s.lastDispatch = now;
    }

    elapsed = getElapsedUs(&s.lastTransfer, &now);
    if (elapsed > kTransferUs) {
        DEBUG_PRINT(DBG_RDS, "TrasferRDS: elapsed %u msec", elapsed / 1000);
        RDS_Comm();
        if (getRdsFifoStatusB() != 0 && s.length.load() != 0) {
            uint32_t half = s.periodUs.load() / 2;
            s.periodUs.store(half < kMinPeriodUs ? kMinPeriodUs : half);
        }
        s.lastTransfer = now;
    }
}

int32_t RdsGroupsSequencer()
{
    State& s = st();
    uint32_t dsn = getCurrentRDSDSN();
    uint8_t index = 0;
    if (dsn >= 1 && dsn <= static_cast<uint32_t>(kDataSets)) {
        index = static_cast<uint8_t>(dsn - 1);
    } else {
        printf("ERROR in RdsGroupsSequencer(): Active RDS DataSet NOT valid ");
        fflush(stdout);
    }
    DEBUG_PRINT(DBG_RDS, "ActiveDataSet is %d [index_dsn %d]", static_cast<int>(dsn), index);

    uint16_t queue[RDS_QUEUE_BLOCKS] = {};
    uint16_t blocks = 0;
    if (getUECPInterface() == 1)
        drainUecp();
    RdsInternalEncoderData(index);

    bool marked = false;
    if (slotValid(RDS_SLOT_PI)) {
        const uint8_t* seq = getRdsActiveSequence();
        int length = s.length.load();
        DEBUG_PRINT(DBG_RDS, "RdsGrp --> Compose for %d groups", length);
        for (int i = 0; i < length && i < kSequenceMax; i++) {
            DEBUG_PRINT(DBG_RDS, "RdsGrp --> Compose groups for %d gri", i);
            uint8_t code = codeAt(seq, i);
            if (code == 8)
                continue; // clock time follows the sequence
            const GroupRow* g = groupRow(code);
            if (!g) {
                DEBUG_PRINT(DBG_RDS, "Group unknown 0x%X", code);
                continue;
            }
            if (!g->compose) {
                DEBUG_PRINT(DBG_RDS, "Trasmit EON stations");
                int r = EonGroupsDispatcher(index, queue, &blocks);
                if (r < 0)
                    DEBUG_PRINT(DBG_RDS, "Compose group %s -- error %d", g->errorName, r);
                else
                    marked = true;
                continue;
            }
            DEBUG_PRINT(DBG_RDS, "Compose group %s", g->name);
            int r = g->compose(index, queue, &blocks);
            if (r < 0)
                DEBUG_PRINT(DBG_RDS, "Compose group %s -- error %d", g->errorName, r);
            if (r == 0)
                marked = true;
            else if ((r == -6 || r == -7) && RdsAlternateGroupsSequencer(code, index, queue, &blocks) == 0)
                marked = true;
        }
        if (slotValid(RDS_SLOT_CT)) {
            DEBUG_PRINT(DBG_RDS, "Compose groups  4A ");
            int r = composeGroupsType4A(queue, &blocks);
            if (r < 0)
                DEBUG_PRINT(DBG_RDS, "Compose group  4A -- error %d", r);
        }
    } else {
        logNotValid("**");
    }

    if (!marked)
        return 0;
    if (blocks > RDS_QUEUE_BLOCKS) {
        DEBUG_PRINT(DBG_RDS, "Warning! nblocks [%d] reached max permitted!", blocks);
        return 0;
    }
    uint32_t period = static_cast<uint32_t>(blocks) * kUsPerBlock;
    s.periodUs.store(period > kMaxPeriodUs ? kMaxPeriodUs : period);
    DEBUG_PRINT(DBG_RDS, "Calculate TimeCycle %lu ms [n_blocks %d]",
                static_cast<unsigned long>(s.periodUs.load() / 1000), blocks);
    return writeRdsFifo(queue, blocks);
}

int RdsAlternateGroupsSequencer(uint8_t code, uint8_t dataSet, uint16_t* queue, uint16_t* count)
{
    if (code >= 32 || dataSet >= kDataSets)
        return -1;
    const uint8_t* list = getRdsAlternateList(dataSet, code);
    uint32_t length = getRdsAlternateListLength(dataSet, code);
    if (length == 0 || !list)
        return 0;
    int result = 0;
    for (uint32_t i = 0;; i++) {
        if (i >= length || i >= 8)
            return -1;
        uint8_t alt = codeAt(list, static_cast<int>(i));
        if (alt == kNoCode)
            return 0;
        const GroupRow* g = groupRow(alt);
        if (g && !g->compose) {
            DEBUG_PRINT(DBG_RDS, "Trasmit EON stations");
            result = EonGroupsDispatcher(dataSet, queue, count);
            if (result < 0)
                DEBUG_PRINT(DBG_RDS, "Compose alternative group %s -- error %d", g->errorName, result);
        } else if (g) {
            DEBUG_PRINT(DBG_RDS, "Compose alternative group %s", g->name);
            result = g->compose(dataSet, queue, count);
            if (result < 0)
                DEBUG_PRINT(DBG_RDS, "Compose alternative group %s -- error %d", g->errorName, result);
        }
        if (result == 0)
            return 0;
    }
}

int EonGroupsDispatcher(uint8_t dataSet, uint16_t* queue, uint16_t* count)
{
    State& s = st();
    if (!slotValid(RDS_SLOT_PI)) {
        logNotValid("14A-B");
        return -5;
    }
    if (getEON() != 1)
        return -6;
    DEBUG_PRINT(DBG_RDS, "Found %d EON stations", static_cast<int>(getDataSetEON(dataSet)));
    uint8_t entry = s.eonEntry;
    uint8_t restart = entry != s.eonPrevious ? 1 : 0;
    s.eonPrevious = entry;
    int result = 0;
    if (entry >= kEonEntries) {
        s.eonEntry = 0;
    } else if (getDataSetEONText(dataSet, entry) != 0) {
        result = composeGroupsType14AB(dataSet, entry, restart, queue, count);
        if (result == 1) {
            s.eonEntry = static_cast<uint8_t>(entry + 1);
            result = 0;
        }
    } else {
        s.eonEntry = static_cast<uint8_t>(entry + 1);
        result = -6;
    }
    if (s.eonEntry >= kEonEntries)
        s.eonEntry = 0;
    return result == 0 || result == -6 ? result : -10;
}

void RdsInternalEncoderData(uint8_t d)
{
    State& s = st();
    if (getCustomPI() == 1)
        put16(RDS_SLOT_PI, getPI(d));
    put16(RDS_SLOT_PIN, getPIN(d)); // always from the configuration
    if (getCustomPTY() == 1)
        put8(RDS_SLOT_PTY, getPTY(d));
    if (getCustomTP() == 1)
        put8(RDS_SLOT_TP, getTP(d));
    if (getCustomTA() == 1 || getTaFromTlc() == 1)
        put8(RDS_SLOT_TA, getTA(d));
    if (getCustomMS() == 1)
        put8(RDS_SLOT_MS, getMS(d));
    if (getCustomDI() == 1)
        put8(RDS_SLOT_DI, getDI(d));
    if (getCustomAF() == 1) {
        put8(RDS_SLOT_AF, getAFN(d));
        DEBUG_PRINT(DBG_RDS, "AlternFreqNumber: %u", static_cast<unsigned>(getAFN(d)));
    }
    if (getCustomCT() == 1) {
        struct timespec now = getMonoTimeNow();
        if (s.ctStamp.tv_sec == 0 && s.ctStamp.tv_nsec == 0)
            s.ctStamp = now;
        if (now.tv_sec - s.ctStamp.tv_sec > kCtSeconds) {
            rdsElement(RDS_SLOT_CT)->valid = 1;
            s.ctStamp = {};
        }
    }
    char text[8];
    if (getCustomPTYN() == 1) {
        textOf(getPTYName(d, 0), getPTYName(d, 1), text);
        putText(RDS_SLOT_PTYN, text);
        DEBUG_PRINT(DBG_RDS, "set PTYN on tx PTYN=%c%c%c%c%c%c%c%c", text[0], text[1], text[2], text[3], text[4],
                    text[5], text[6], text[7]);
    }
    if (getCustomRT() == 1)
        setRdsMecChanged(0x0A, 1);
    if (getCustomECC() == 1) {
        RdsDataElement* e = rdsElement(RDS_SLOT_ECC);
        e->data[0] = getECC(d);
        e->length = 1;
        setRdsMecChanged(0x31, 1);
    }
    if (getCustomLanguage() == 1) {
        RdsDataElement* e = rdsElement(RDS_SLOT_LANGUAGE);
        e->data[0] = getLanguageCode(d);
        e->length = 1;
        e->consumed = 0;
        e->valid = 1;
    }
    if (getCustomPS() != 1)
        return;
    uint32_t type = getPST(d);
    if (type == 0) {
        textOf(getStaticPS0(d, 0), getStaticPS0(d, 1), text);
        putText(RDS_SLOT_PS, text);
        DEBUG_PRINT(DBG_RDS, "set StaticPS on tx PS=%c%c%c%c%c%c%c%c", text[0], text[1], text[2], text[3], text[4],
                    text[5], text[6], text[7]);
    } else if (type == 1) {
        s.psRuns++;
        if (s.psRuns >= 2u * getDynPSFreq(d) + 1u) {
            static uint32_t (*const kDyn[5])(uint32_t, uint32_t) = {getDynPS1, getDynPS2, getDynPS3, getDynPS4,
                                                                    getDynPS5};
            auto get = kDyn[s.psRotation % 5];
            uint32_t w[2] = {swapRdsTextWord(get(d, 0)), swapRdsTextWord(get(d, 1))};
            memcpy(s.dynPs, w, 8);
            s.psRotation = static_cast<uint8_t>((s.psRotation + 1) % 5);
            s.psRuns = 0;
        }
        for (int i = 0; i < 8; i++)
            text[i] = s.dynPs[i] == '\0' ? ' ' : s.dynPs[i];
        putText(RDS_SLOT_PS, text);
        DEBUG_PRINT(DBG_RDS, "set DynPS on tx PS=%c%c%c%c%c%c%c%c", text[0], text[1], text[2], text[3], text[4],
                    text[5], text[6], text[7]);
    }
}

void installDefaultRdsGroupSequence()
{
    State& s = st();
    memcpy(s.defaultSequence, kDefaultSequence, sizeof s.defaultSequence);
    s.sequence.store(s.defaultSequence);
    s.length.store(kDefaultLength);
}

void loadRdsGroupSequence(int n)
{
    State& s = st();
    int d = static_cast<int8_t>(n);
    if (d < 0)
        d = static_cast<int>(getCurrentRDSDSN()) - 1;
    const uint8_t* codes = d >= 0 && d < kDataSets ? getRdsSequenceRecord(static_cast<uint32_t>(d)) : nullptr;
    uint8_t enable = codes ? getRdsSequenceEnable(static_cast<uint32_t>(d)) : 0;
    if (codes && enable != 0) {
        uint8_t length = 0;
        while (length < kSequenceMax && codeAt(codes, length) <= 254)
            length++;
        s.sequence.store(codes);
        s.length.store(length);
        s.enable.store(enable);
        normaliseRdsGroupSequence();
    } else {
        if (s.defaultSequence[kSequenceMax - 1] != kNoCode)
            memcpy(s.defaultSequence, kDefaultSequence, sizeof s.defaultSequence);
        s.enable.store(0);
        s.sequence.store(s.defaultSequence);
        s.length.store(kDefaultLength);
    }
    logRdsGroupSequence();
}

int normaliseRdsGroupSequence()
{
    State& s = st();
    uint8_t length = s.length.load();
    if (length > kSequenceMax)
        return -1;
    const uint8_t* seq = s.sequence.load();
    // The copies go into the stored sequence itself (the data set's record
    // in the system image), without marking a configuration change.
    uint8_t* codes = const_cast<uint8_t*>(seq);
    if (length == 0 || !codes) {
        installDefaultRdsGroupSequence();
        return kDefaultLength;
    }
    if (length == 1) {
        putCode(codes, 1, codeAt(codes, 0));
        putCode(codes, 2, codeAt(codes, 0));
        length = 3;
    } else if (length == 2) {
        putCode(codes, 2, codeAt(codes, 0));
        putCode(codes, 3, codeAt(codes, 1));
        length = 4;
    }
    s.length.store(length);
    return length;
}

void logRdsGroupSequence()
{
    if (!debugGate(DBG_RDS))
        return;
    const uint8_t* seq = getRdsActiveSequence();
    char line[16 * 4 + 1] = {};
    size_t at = 0;
    for (int i = 0; i < st().length.load() && i < kSequenceMax && codeAt(seq, i) != kNoCode; i++) {
        char code[4];
        formatRdsGroupCode(codeAt(seq, i), code);
        at += static_cast<size_t>(snprintf(line + at, sizeof line - at, "%s ", code));
    }
    DEBUG_PRINT(DBG_RDS, "RDS group sequence [%d]: %s", static_cast<int>(st().length.load()), line);
}
