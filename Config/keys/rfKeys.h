// The accessors of the RF region (output frequency, last valid drive values): generated from
// Config/keys/rf.def, with the region's hand-written operations
// (Config/keys/rf.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/rf.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/rf.def"
#undef CFG
#undef CFG_ALIAS
