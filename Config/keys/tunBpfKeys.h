// The accessors of the tunable band-pass filter: generated from
// Config/keys/tunBpf.def, with the region's hand-written operations
// (Config/keys/tunBpf.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/tunBpf.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/tunBpf.def"
#undef CFG
#undef CFG_ALIAS
