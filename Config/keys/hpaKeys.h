// The accessors of the amplifier region: generated from
// Config/keys/hpa.def, with the region's hand-written operations
// (Config/keys/hpa.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/hpa.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/hpa.def"
#undef CFG
#undef CFG_ALIAS
