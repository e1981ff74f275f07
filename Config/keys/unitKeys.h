// The accessors of the unit region (unit state, version words, vendor id): generated from
// Config/keys/unit.def, with the region's hand-written operations
// (Config/keys/unit.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/unit.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/unit.def"
#undef CFG
#undef CFG_ALIAS
