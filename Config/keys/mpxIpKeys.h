// The accessors of the MPX-over-IP streams (side settings, receive and transmit records): generated from
// Config/keys/mpxIp.def, with the region's hand-written operations
// (Config/keys/mpxIp.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/mpxIp.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/mpxIp.def"
#undef CFG
#undef CFG_ALIAS
