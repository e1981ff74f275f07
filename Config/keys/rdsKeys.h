// The accessors of the RDS region (common settings, UECP slots, data sets): generated from
// Config/keys/rds.def, with the region's hand-written operations
// (Config/keys/rds.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/rds.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/rds.def"
#undef CFG
#undef CFG_ALIAS
