// The accessors of the system region (status fields, upgrade status, time and web settings): generated from
// Config/keys/system.def, with the region's hand-written operations
// (Config/keys/system.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/system.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/system.def"
#undef CFG
#undef CFG_ALIAS
