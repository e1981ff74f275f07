// The named accessors, generated from the rows of Config/keyTable.def. Each is
// a call into the engine with its row id; a KEY_HAND row's setter is written
// by hand next to the row's other behaviour.
#include "Config/keyTable.h"

#define CFG_GET(Id, CType)                                                                         \
    CType get##Id() { return static_cast<CType>(cfgGet(KEY_##Id, 0)); }
#define CFG_IGET(Id, CType)                                                                        \
    CType get##Id(uint32_t i) { return static_cast<CType>(cfgGet(KEY_##Id, i)); }
#define CFG_NAMED(Id)                                                                              \
    int isValid##Id(uint32_t v) { return cfgIsValid(KEY_##Id, v); }                                \
    const char* get##Id##Key() { return cfgKeyName(KEY_##Id, 0); }
#define CFG_PUBLISH(Id)                                                                            \
    void dbUpdate##Id() { cfgPublish(KEY_##Id, 0); }
#define CFG_IPUBLISH(Id)                                                                           \
    void dbUpdate##Id(uint8_t i) { cfgPublish(KEY_##Id, i); }

#define CFG_DEF_KEY(Id, CType)                                                                     \
    CFG_GET(Id, CType)                                                                             \
    void set##Id(uint32_t v) { cfgSet(KEY_##Id, 0, v); }                                           \
    CFG_NAMED(Id)                                                                                  \
    CFG_PUBLISH(Id)
#define CFG_DEF_KEY_HAND(Id, CType)                                                                \
    CFG_GET(Id, CType)                                                                             \
    CFG_NAMED(Id)                                                                                  \
    CFG_PUBLISH(Id)
#define CFG_DEF_IKEY(Id, CType)                                                                    \
    CFG_IGET(Id, CType)                                                                            \
    void set##Id(uint32_t i, uint32_t v) { cfgSet(KEY_##Id, i, v); }                               \
    int isValid##Id(uint32_t v) { return cfgIsValid(KEY_##Id, v); }                                \
    const char* get##Id##Key(uint32_t i) { return cfgKeyName(KEY_##Id, i); }                       \
    CFG_IPUBLISH(Id)
#define CFG_DEF_STATUS(Id, CType)                                                                  \
    CFG_GET(Id, CType)                                                                             \
    void set##Id(uint32_t v) { cfgSet(KEY_##Id, 0, v); }                                           \
    CFG_PUBLISH(Id)
#define CFG_DEF_STATUS_GET(Id, CType) CFG_GET(Id, CType)
#define CFG_DEF_ISTATUS(Id, CType)                                                                 \
    CFG_IGET(Id, CType)                                                                            \
    void set##Id(uint32_t i, uint32_t v) { cfgSet(KEY_##Id, i, v); }                               \
    CFG_IPUBLISH(Id)

#define CFG(Kind, Id, CType, ...) CFG_DEF_##Kind(Id, CType)
#include "Config/keyTable.def"
#undef CFG
