// The accessors of the audio-processor region (working common and compressor
// sets): generated from Config/keys/audioProcessor.def, with the region's
// hand-written operations (Config/keys/audioProcessor.h). A module that owns
// one of these keys includes this header only.
#pragma once

#include "Config/keys/accessorDecls.h"
#include "Config/keys/audioProcessor.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/audioProcessor.def"
#undef CFG
#undef CFG_ALIAS
