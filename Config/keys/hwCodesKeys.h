// The accessors of the hardware-codes region (amplifier family code, I2C error status): generated from
// Config/keys/hwCodes.def, with the region's hand-written operations
// (Config/keys/hwCodes.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/hwCodes.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/hwCodes.def"
#undef CFG
#undef CFG_ALIAS
