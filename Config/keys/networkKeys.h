// The accessors of the network region (Ethernet ports, network port address): generated from
// Config/keys/network.def, with the region's hand-written operations
// (Config/keys/network.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/network.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/network.def"
#undef CFG
#undef CFG_ALIAS
