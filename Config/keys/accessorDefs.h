// How the descriptor array and the named accessors are made from the rows:
// the macros that Config/keys/keyRows.cpp expands every row file through.
#pragma once

#include "Config/keyTable.h"

// The uniform setter of a row: the hand-written one of a KEY_HAND or
// IKEY_HAND row.
#define CFG_HANDSET_KEY_HAND(Id) cfgHandSet_##Id
#define CFG_HANDSET_IKEY_HAND(Id) cfgHandSet_##Id
#define CFG_HANDSET_KEY(Id) nullptr
#define CFG_HANDSET_IKEY(Id) nullptr
#define CFG_HANDSET_IKEY2(Id) nullptr
#define CFG_HANDSET_STATUS(Id) nullptr
#define CFG_HANDSET_STATUS_GET(Id) nullptr
#define CFG_HANDSET_ISTATUS(Id) nullptr
#define CFG_HANDSET_BSTATUS(Id) nullptr
#define CFG_HANDSET_TEXT(Id) nullptr
#define CFG_HANDSET_ROW(Id) nullptr

// What each kind needs of its row.
#define CFG_KIND_KEY KIND_ITEM, true
#define CFG_KIND_KEY_HAND KIND_ITEM, true
#define CFG_KIND_IKEY KIND_FAMILY, true
#define CFG_KIND_IKEY_HAND KIND_FAMILY, true
#define CFG_KIND_IKEY2 KIND_FAMILY2, true
#define CFG_KIND_STATUS KIND_ITEM, false
#define CFG_KIND_STATUS_GET KIND_ITEM, false
#define CFG_KIND_ISTATUS KIND_FAMILY, false
#define CFG_KIND_BSTATUS KIND_BYTES, false
#define CFG_KIND_TEXT KIND_TEXT, true
#define CFG_KIND_ROW KIND_ANY, false
// Fails the build when a row's CType is not the getter type of its stored
// shape, or its kind does not fit it (the member against the stored shape is
// checked by IMG itself).
#define CFG_CHECK_ROW(Kind, Id, CType, row)                                                        \
    static_assert(cfgCTypeFits<CType>((row).at.shape),                                             \
                  "row " #Id ": its CType is not the getter type of its stored shape");            \
    static_assert(cfgKindFits(CFG_KIND_##Kind, (row)),                                             \
                  "row " #Id ": its kind does not fit its element count, shape or name");

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
#define CFG_DEF_IKEY_HAND(Id, CType)                                                               \
    CType get##Id(uint32_t i) { return cfgCast<CType>(cfgGetElement(cfgRow_##Id, i)); }            \
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
    const char* get##Id##Key(uint32_t o, uint32_t i) { return cfgPairName(cfgRow_##Id, o, i); }     \
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

