// The accessors of the input region: generated from
// Config/keys/input.def, with the region's hand-written operations
// (Config/keys/input.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/input.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/input.def"
#undef CFG
#undef CFG_ALIAS
