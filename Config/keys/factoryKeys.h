// The accessors of the factory region (clock loop, RF DAC level, audio DAC, FPGA status and lock states): generated from
// Config/keys/factory.def, with the region's hand-written operations
// (Config/keys/factory.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/factory.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/factory.def"
#undef CFG
#undef CFG_ALIAS
