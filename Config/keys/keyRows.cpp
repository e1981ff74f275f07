// The descriptor array built from every region's rows, the build-time checks
// of each row, the rows' handles and the generated named accessors.
#include "Config/keys/keyIds.h"

#include "Config/alarmIds.h"
#include "Config/changeGroups.h"
#include "Config/eventIds.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"

#define CFG_HANDSET_KEY_HAND(Id) cfgHandSet_##Id
#define CFG_HANDSET_KEY(Id) nullptr
#define CFG_HANDSET_IKEY(Id) nullptr
#define CFG_HANDSET_IKEY2(Id) nullptr
#define CFG_HANDSET_STATUS(Id) nullptr
#define CFG_HANDSET_STATUS_GET(Id) nullptr
#define CFG_HANDSET_ISTATUS(Id) nullptr
#define CFG_HANDSET_BSTATUS(Id) nullptr
#define CFG_HANDSET_TEXT(Id) nullptr
#define CFG_HANDSET_ROW(Id) nullptr

constexpr CfgKeyDesc cfgKeyTable[KEY_COUNT] = {
#define CFG(Kind, Id, CType, ...) {.id = #Id, __VA_ARGS__, .handSet = CFG_HANDSET_##Kind(Id)},
#define CFG_ALIAS(alias, owner)
#include "Config/keys/allKeys.def"
#undef CFG
};

// Each row against its kind and its getter type (the member against the
// stored shape is checked by IMG itself).
#define CFG_KIND_KEY KIND_ITEM, true
#define CFG_KIND_KEY_HAND KIND_ITEM, true
#define CFG_KIND_IKEY KIND_FAMILY, true
#define CFG_KIND_IKEY2 KIND_FAMILY2, true
#define CFG_KIND_STATUS KIND_ITEM, false
#define CFG_KIND_STATUS_GET KIND_ITEM, false
#define CFG_KIND_ISTATUS KIND_FAMILY, false
#define CFG_KIND_BSTATUS KIND_BYTES, false
#define CFG_KIND_TEXT KIND_TEXT, true
#define CFG_KIND_ROW KIND_ANY, false
#define CFG(Kind, Id, CType, ...)                                                                  \
    static_assert(cfgCTypeFits<CType>(cfgKeyTable[KEY_##Id].at.shape),                             \
                  "row " #Id ": its CType is not the getter type of its stored shape");            \
    static_assert(cfgKindFits(CFG_KIND_##Kind, cfgKeyTable[KEY_##Id]),                             \
                  "row " #Id ": its kind does not fit its element count, shape or name");
#include "Config/keys/allKeys.def"
#undef CFG

#define CFG(Kind, Id, CType, ...) const CfgKeyDesc* const cfgRow_##Id = &cfgKeyTable[KEY_##Id];
#include "Config/keys/allKeys.def"
#undef CFG

// The named accessors: each is a call into the engine with its row.
#define CFG_GET(Id, CType)                                                                         \
    CType get##Id() { return cfgCast<CType>(cfgGetElement(cfgRow_##Id, 0)); }
#define CFG_NAMED(Id)                                                                              \
    int isValid##Id(uint32_t v) { return cfgIsValidRow(cfgRow_##Id, v); }                          \
    const char* get##Id##Key() { return cfgElementName(cfgRow_##Id, 0); }
#define CFG_PUBLISH(Id)                                                                            \
    void dbUpdate##Id() { cfgPublish(cfgRow_##Id, 0); }

#define CFG_DEF_ROW(Id, CType)
#define CFG_DEF_KEY(Id, CType)                                                                     \
    CFG_GET(Id, CType)                                                                             \
    void set##Id(CfgArg<CType> v) { cfgSet(cfgRow_##Id, 0, cfgRaw(v)); }                          \
    CFG_NAMED(Id)                                                                                  \
    CFG_PUBLISH(Id)
#define CFG_DEF_KEY_HAND(Id, CType)                                                                \
    CFG_GET(Id, CType)                                                                             \
    CFG_NAMED(Id)                                                                                  \
    CFG_PUBLISH(Id)
#define CFG_DEF_IKEY(Id, CType)                                                                    \
    CType get##Id(uint32_t i) { return cfgCast<CType>(cfgGetElement(cfgRow_##Id, i)); }            \
    void set##Id(uint32_t i, CfgArg<CType> v) { cfgSet(cfgRow_##Id, i, cfgRaw(v)); }               \
    int isValid##Id(uint32_t v) { return cfgIsValidRow(cfgRow_##Id, v); }                          \
    const char* get##Id##Key(uint32_t i) { return cfgElementName(cfgRow_##Id, i); }               \
    void dbUpdate##Id(uint8_t i) { cfgPublish(cfgRow_##Id, i); }
#define CFG_DEF_IKEY2(Id, CType)                                                                   \
    CType get##Id(uint32_t o, uint32_t i)                                                          \
    {                                                                                              \
        return cfgCast<CType>(cfgGetElement(cfgRow_##Id, cfgPairIndex(cfgRow_##Id, o, i)));        \
    }                                                                                              \
    void set##Id(uint32_t o, uint32_t i, CfgArg<CType> v)                                          \
    {                                                                                              \
        cfgSet(cfgRow_##Id, cfgPairIndex(cfgRow_##Id, o, i), cfgRaw(v));                           \
    }                                                                                              \
    int isValid##Id(uint32_t v) { return cfgIsValidRow(cfgRow_##Id, v); }                          \
    const char* get##Id##Key(uint32_t o, uint32_t i)                                               \
    {                                                                                              \
        uint32_t k = cfgPairIndex(cfgRow_##Id, o, i);                                              \
        return k == CFG_NO_INDEX ? "" : cfgElementName(cfgRow_##Id, k);                            \
    }                                                                                              \
    void dbUpdate##Id(uint8_t o, uint8_t i) { cfgPublish(cfgRow_##Id, cfgPairIndex(cfgRow_##Id, o, i)); }
#define CFG_DEF_STATUS(Id, CType)                                                                  \
    CFG_GET(Id, CType)                                                                             \
    void set##Id(CfgArg<CType> v) { cfgSet(cfgRow_##Id, 0, cfgRaw(v)); }                           \
    CFG_PUBLISH(Id)
#define CFG_DEF_STATUS_GET(Id, CType) CFG_GET(Id, CType)
#define CFG_DEF_ISTATUS(Id, CType)                                                                 \
    CType get##Id(uint32_t i) { return cfgCast<CType>(cfgGetElement(cfgRow_##Id, i)); }            \
    void set##Id(uint32_t i, CfgArg<CType> v) { cfgSet(cfgRow_##Id, i, cfgRaw(v)); }               \
    void dbUpdate##Id(uint8_t i) { cfgPublish(cfgRow_##Id, i); }
#define CFG_DEF_BSTATUS(Id, CType)                                                                 \
    void get##Id(CType* out) { cfgGetBytes(cfgRow_##Id, 0, out); }                                 \
    void set##Id(const CType* bytes) { cfgSetBytes(cfgRow_##Id, 0, bytes, cfgRow_##Id->at.size); } \
    CFG_PUBLISH(Id)
#define CFG_DEF_TEXT(Id, CType)                                                                    \
    CType* get##Id() { return cfgText(cfgRow_##Id, 0); }                                           \
    const char* get##Id##Key() { return cfgElementName(cfgRow_##Id, 0); }

#define CFG(Kind, Id, CType, ...) CFG_DEF_##Kind(Id, CType)
#include "Config/keys/allKeys.def"
#undef CFG
#undef CFG_ALIAS
