// One-line aliases generated from Config/keyAliases.def. Included by
// Config/keyTable.h after the accessors they name.
#pragma once

#define CFG_ALIAS(alias, owner) inline constexpr auto alias = &owner;
#include "Config/keyAliases.def"
#undef CFG_ALIAS
