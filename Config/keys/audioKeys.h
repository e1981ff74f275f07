// The accessors of the audio region (deviation, clipper, output levels): generated from
// Config/keys/audio.def, with the region's hand-written operations
// (Config/keys/audio.h). A module that owns one of these keys includes this
// header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/audio.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/audio.def"
#undef CFG
#undef CFG_ALIAS
