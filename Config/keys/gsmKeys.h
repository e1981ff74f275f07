// The accessors of the GSM settings (common keys, modem status, user slots): generated from
// Config/keys/gsm.def, with the region's hand-written operations
// (Config/keys/gsm.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/gsm.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/gsm.def"
#undef CFG
#undef CFG_ALIAS
