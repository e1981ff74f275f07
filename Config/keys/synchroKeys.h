// The accessors of the synchronised-operation region: generated from
// Config/keys/synchro.def, with the region's hand-written operations
// (Config/keys/synchro.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/synchro.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/synchro.def"
#undef CFG
#undef CFG_ALIAS
