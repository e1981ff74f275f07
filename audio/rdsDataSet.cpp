// The RDS data set and its operations. All of it runs on the RDS loop
// thread, apart from the configuration setters that flag elements (single
// bytes, without a lock); a clearing asked from another thread is left to
// the loop.
#include "audio/rdsDataSet.h"

#include "audio/rdsSequencer.h"
#include "audio/rdsTransfer.h"
#include "audio/uecpReceiver.h"
#include "core/base/logs.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// How a code reaches its slot (columns of the map).
enum : uint8_t { ADD_NO = 0, ADD_STORE = 1, ADD_IGNORE = 2 };
enum : uint8_t { FLAG_NO = 0, FLAG_YES = 1, FLAG_WITH_PREVIOUS = 2 };

struct MecSlot {
    int slot;
    int code;
    uint8_t add;
    uint8_t flag;
    uint8_t query;
};

constexpr MecSlot kMecMap[] = {
#define RDS_MEC(slot, code, add, flag, query) {slot, code, add, flag, query},
#include "audio/gen/rdsMecMap.inc"
#undef RDS_MEC
};

constexpr int32_t kMecTpTa = 0x03;

struct State {
    RdsDataSet set;
};

State& st()
{
    static State s;
    return s;
}

// Written by the configuration threads and the RDS loop alike.
std::atomic_ref<uint8_t> initialisedFlag()
{
    return std::atomic_ref<uint8_t>(st().set.initialised);
}

const MecSlot* findSlot(int32_t code, bool (*accept)(const MecSlot&))
{
    for (const MecSlot& m : kMecMap)
        if (m.code == code && accept(m))
            return &m;
    return nullptr;
}

void store(RdsDataElement& e, const uint8_t* data, uint32_t length)
{
    if (length > 0)
        memcpy(e.data, data, length);
    e.length = length;
    e.valid = 1;
}

// Codes whose composer takes new data over once.
bool takenOver(int32_t code)
{
    return code == 0x0A || code == 0x25 || code == 0x26 || code == 0x30 || code == 0x31 || code == 0x40;
}

} // namespace

RdsDataSet& getRdsDataSet()
{
    return st().set;
}

RdsDataElement* rdsElement(int slot)
{
    return slot >= 0 && slot < RDS_ELEMENT_SLOTS ? &st().set.elements[slot] : nullptr;
}

int AddMsgToActiveRdsDataSet(int32_t code, const uint8_t* data, uint32_t length)
{
    if (length > RDS_ELEMENT_BYTES) {
        debugPrintf(__func__, DBG_UECP, DBG_UECP, "MEL too big! [%d]", static_cast<int>(length));
        return -1;
    }
    if (code >= 0x41 && code <= 0x47)
        return 0;
    const MecSlot* m = code >= 1 && code <= 71 ? findSlot(code, [](const MecSlot& s) { return s.add == ADD_STORE; })
                                                : nullptr;
    if (!m || (length > 0 && !data)) {
        debugPrintf(__func__, DBG_UECP, DBG_UECP, "%d: unknown MEC to add RDS data!", static_cast<int>(code));
        return -1;
    }
    if (code == kMecTpTa) {
        // One byte carries both flags (TA bit 0, TP bit 1); each slot keeps
        // its own flag in byte 0 so that it fits its one bit of block 2.
        uint8_t ta = length > 0 ? data[0] & 1 : 0;
        uint8_t tp = length > 0 ? (data[0] >> 1) & 1 : 0;
        store(st().set.elements[RDS_SLOT_TA], &ta, 1);
        store(st().set.elements[RDS_SLOT_TP], &tp, 1);
        return 0;
    }
    RdsDataElement& e = st().set.elements[m->slot];
    store(e, data, length);
    if (takenOver(code))
        e.consumed = 0;
    return 0;
}

void setRdsMecChanged(uint32_t code, uint8_t value)
{
    if (code < 1 || code > 69)
        return;
    const MecSlot* m = findSlot(static_cast<int32_t>(code), [](const MecSlot& s) { return s.flag == FLAG_YES; });
    if (!m)
        return;
    RdsDataElement& e = st().set.elements[m->slot];
    e.valid = value;
    if (code == static_cast<uint32_t>(kMecTpTa))
        st().set.elements[RDS_SLOT_TA].valid = value;
    if (code == 0x0A || code == 0x16 || code == 0x25 || code == 0x26 || code == 0x31 || code == 0x38) {
        e.consumed = 0;
        if (value == 0)
            e.length = 0;
    }
}

int isRdsMecValid(int32_t code)
{
    if (code < 1 || code > 66)
        return 0;
    const MecSlot* m = findSlot(code, [](const MecSlot& s) { return s.query != 0; });
    return m && st().set.elements[m->slot].valid ? 1 : 0;
}

int isRdsElementValid(const RdsDataElement* e)
{
    return e && e->valid ? 1 : 0;
}

int isRdsElementConsumed(const RdsDataElement* e)
{
    return e && e->consumed ? 1 : 0;
}

void clearRdsDataSet()
{
    // Off the RDS loop's thread the elements are cleared by the loop at its
    // next pass; `initialised` is a single byte and is cleared at once.
    initialisedFlag().store(0, std::memory_order_relaxed);
    if (!rdsLoopOwnsCall(RDS_REQ_DATA_SET))
        return;
    memset(st().set.elements, 0, sizeof st().set.elements);
}

void resetRdsEncoderData(uint8_t force)
{
    RdsDataSet& s = st().set;
    if (initialisedFlag().load(std::memory_order_relaxed) == 0 || force != 0) {
        for (int slot : {RDS_SLOT_PI, RDS_SLOT_TP, RDS_SLOT_PTY, RDS_SLOT_PIN, RDS_SLOT_TA, RDS_SLOT_MS, RDS_SLOT_AF,
                         RDS_SLOT_DI})
            s.elements[slot].data[0] = 0;
        memset(s.elements[RDS_SLOT_PS].data, 0, 8);
        memset(s.elements[RDS_SLOT_PTYN].data, 0, 8);
        installDefaultRdsGroupSequence();
        loadRdsGroupSequence(-1);
    }
    for (int slot = 0; slot < RDS_ELEMENT_SLOTS; slot++)
        if (slot <= 12 || (slot >= 15 && slot <= 22) || slot >= 31)
            s.elements[slot].valid = 0;
    initRdsFifo();
    UECP_InitRxRing();
    clearRdsDataSet();
    initialisedFlag().store(1, std::memory_order_relaxed);
}

void splitRdsGroupCode(uint32_t code, uint8_t* type, uint8_t* version)
{
    uint8_t t = 255, v = 255;
    if (code < 255) {
        t = static_cast<uint8_t>(code / 2);
        v = static_cast<uint8_t>(code % 2);
    }
    if (type)
        *type = t;
    if (version)
        *version = v;
}

void formatRdsGroupCode(uint32_t code, char text[4])
{
    if (code >= 255) {
        snprintf(text, 4, "_");
        return;
    }
    uint8_t type = 0, version = 0;
    splitRdsGroupCode(code, &type, &version);
    snprintf(text, 4, "%2u%c", static_cast<unsigned>(type % 100), version ? 'B' : 'A');
}

uint32_t swapRdsTextWord(uint32_t word)
{
    return __builtin_bswap32(word);
}
