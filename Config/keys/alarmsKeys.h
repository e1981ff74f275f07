// The accessors of the alarm region (alarm tables and summaries): generated from
// Config/keys/alarms.def, with the region's hand-written operations
// (Config/keys/alarms.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/alarms.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/alarms.def"
#undef CFG
#undef CFG_ALIAS
