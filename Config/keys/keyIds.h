// The whole key table: one id per row of every region, in table order, and
// the descriptor array. For the code that walks every key (the XML store,
// the table's tests); a module that owns keys includes its region's
// accessor header instead, so that a row edit rebuilds only that region's
// users.
#pragma once

#include "Config/keyTable.h"

enum CfgKeyId : uint16_t {
#define CFG(Kind, Id, CType, ...) KEY_##Id,
#define CFG_ALIAS(alias, owner)
#include "Config/keys/allKeys.def"
#undef CFG
#undef CFG_ALIAS
    KEY_COUNT
};

// The descriptor array, in table order.
extern const CfgKeyDesc cfgKeyTable[KEY_COUNT];
inline const CfgKeyDesc* cfgKeyDesc(CfgKeyId id)
{
    return id < KEY_COUNT ? &cfgKeyTable[id] : nullptr;
}
