// Rows expanded through the same machinery as the key table, compiled by
// ctest (keyRowChecks.cmake). Case 0 has one good row of every kind and must
// compile; every other case has one row whose types disagree and must fail
// the build with the message its test names.
#include "Config/changeGroups.h"
#include "Config/keyTable.h"
#include "Config/keys/accessorDefs.h"

#ifndef CASE
#define CASE 0
#endif

void checkHook(uint32_t, uint32_t, uint32_t) {}

#if CASE == 0
#define CHECK_ROWS                                                                                 \
    CFG(KEY, Key, uint8_t, .name = "key", .at = IMG(net.rearAutoneg), .groups = {CONFIG_GROUP_NETWORK})  \
    CFG(KEY, Address, uint32_t, .name = "address", .at = IMG_AS(net.frontIpAddress, VT_IPV4),      \
        .hooks = {hook(HOOK_AFTER_STORE, checkHook)})                                              \
    CFG(KEY, LowByte, uint8_t, .name = "low", .at = IMG_AS(vendorId, VT_U32_LOW8))                  \
    CFG(IKEY, Family, uint8_t, .nameRule = NAME_NUMBERED, .name = "family", .lastCase = 5,          \
        .at = IMG(alarm.state))                                                                    \
    CFG(STATUS, Word, int32_t, .at = IMG(factory.pllRfLocked))                                     \
    CFG(STATUS_GET, Half, uint16_t, .at = IMG(sys.refMaskWord))                                    \
    CFG(ISTATUS, Records, uint8_t, .at = IMG_EACH(alarm.flags, fail))                              \
    CFG(BSTATUS, Mac, uint8_t, .at = IMG_AS(net.rearMacActive, VT_BYTES))                          \
    CFG(BSTATUS, Record, uint8_t, .at = UNITINFO(98, 6, VT_BYTES))                                 \
    CFG(TEXT, Text, char, .name = "text", .at = IMG_AS(sys.ntpNameServer, VT_TEXT))                \
    CFG(ROW, Words, uint32_t, .at = IMG(sys.portWords))                                            \
    CFG(KEY_HAND, Hand, uint16_t, .name = "hand", .at = IMG(factory.forceDacLevel))                \
    CFG(IKEY_HAND, HandFamily, int16_t, .nameRule = NAME_NUMBERED, .name = "hands", .lastCase = 5,  \
        .at = IMG(ap.cmp[0].gainLogRef))                                                           \
    CFG(ISTATUS, Knees, uint32_t, .at = IMG_EACH_AS(ap.cmp[0].band, logKw, VT_U16_IN_U32))          \
    CFG(IKEY2, Pairs, uint32_t, .nameRule = NAME_FORMAT, .name = "DSn%u_P%u",                      \
        .at = {.size = 4, .count = 2, .inner = 4, .stride = 16, .innerStride = 4, .shape = VT_U32})  \
    CFG(STATUS, Float, float, .at = {.size = 4, .shape = VT_F32}, .cells = {cell(48, 4, CONV_F32_X100)})
#elif CASE == 1 // the getter type is not the stored one: "its CType is not the getter type"
#define CHECK_ROWS CFG(STATUS, Bad, uint16_t, .at = IMG(net.rearAutoneg))
#elif CASE == 2 // the stored shape is not the member's: "stored shape disagrees with its member"
#define CHECK_ROWS CFG(STATUS, Bad, uint32_t, .at = IMG_AS(net.rearAutoneg, VT_IPV4))
#elif CASE == 3 // a signed getter on an unsigned word: "its CType is not the getter type"
#define CHECK_ROWS CFG(STATUS, Bad, int32_t, .at = IMG(sys.hwReady))
#elif CASE == 4 // a plain key on a family: "its kind does not fit"
#define CHECK_ROWS CFG(KEY, Bad, uint8_t, .name = "bad", .at = IMG(alarm.input))
#elif CASE == 5 // a byte string that is not one: "stored shape disagrees with its member"
#define CHECK_ROWS CFG(BSTATUS, Bad, uint8_t, .at = IMG_AS(sys.portWords, VT_BYTES))
#elif CASE == 6 // bytes beyond the unit record: "beyond the unit identity record"
#define CHECK_ROWS CFG(BSTATUS, Bad, uint8_t, .at = UNITINFO(124, 6, VT_BYTES))
#endif

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
CHECK_ROWS
#undef CFG

#if CASE == 0
void cfgHandSet_Hand(uint32_t, uint32_t) {}
void cfgHandSet_HandFamily(uint32_t, uint32_t) {}
#endif

enum CheckId : uint16_t {
#define CFG(Kind, Id, CType, ...) CHECK_##Id,
    CHECK_ROWS
#undef CFG
    CHECK_COUNT
};

constexpr CfgKeyDesc checkTable[CHECK_COUNT] = {
#define CFG(Kind, Id, CType, ...) {.id = #Id, __VA_ARGS__, .handSet = CFG_HANDSET_##Kind(Id)},
    CHECK_ROWS
#undef CFG
};

#define CFG(Kind, Id, CType, ...) CFG_CHECK_ROW(Kind, Id, CType, checkTable[CHECK_##Id])
CHECK_ROWS
#undef CFG

#define CFG(Kind, Id, CType, ...) const CfgKeyDesc* const cfgRow_##Id = &checkTable[CHECK_##Id];
CHECK_ROWS
#undef CFG

#define CFG(Kind, Id, CType, ...) CFG_DEF_##Kind(Id, CType)
CHECK_ROWS
#undef CFG
