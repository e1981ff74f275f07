// Declarations of the named accessors generated from Config/keyTable.def.
// Included by Config/keyTable.h; the definitions are in keyAccessors.cpp.
// dbUpdate<Id> is the row's publisher: it copies the current value into the
// row's DbPool cells (nothing for a row without a cell), as its setter does
// after a change.
#pragma once

#include <cstdint>

#define CFG_DECL_KEY(Id, CType)                                                                    \
    CType get##Id();                                                                               \
    void set##Id(uint32_t v);                                                                      \
    int isValid##Id(uint32_t v);                                                                   \
    const char* get##Id##Key();                                                                    \
    void dbUpdate##Id();
#define CFG_DECL_KEY_HAND(Id, CType)                                                               \
    CType get##Id();                                                                               \
    int isValid##Id(uint32_t v);                                                                   \
    const char* get##Id##Key();                                                                    \
    void dbUpdate##Id();                                                                           \
    void cfgHandSet_##Id(uint32_t i, uint32_t v);
#define CFG_DECL_IKEY(Id, CType)                                                                   \
    CType get##Id(uint32_t i);                                                                     \
    void set##Id(uint32_t i, uint32_t v);                                                          \
    int isValid##Id(uint32_t v);                                                                   \
    const char* get##Id##Key(uint32_t i);                                                          \
    void dbUpdate##Id(uint8_t i);
#define CFG_DECL_STATUS(Id, CType)                                                                 \
    CType get##Id();                                                                               \
    void set##Id(uint32_t v);                                                                      \
    void dbUpdate##Id();
#define CFG_DECL_STATUS_GET(Id, CType) CType get##Id();
#define CFG_DECL_ISTATUS(Id, CType)                                                                \
    CType get##Id(uint32_t i);                                                                     \
    void set##Id(uint32_t i, uint32_t v);                                                          \
    void dbUpdate##Id(uint8_t i);

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#include "Config/keyTable.def"
#undef CFG
