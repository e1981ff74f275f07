// The accessors of the power region (power settings, derating, the power
// items the loops share): generated from Config/keys/power.def, with the
// region's hand-written operations (Config/keys/power.h). A module that owns
// one of these keys includes this header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/power.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/power.def"
#undef CFG
#undef CFG_ALIAS
