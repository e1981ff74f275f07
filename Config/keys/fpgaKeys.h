// The accessors of the FPGA region (control-frame inputs and status-block
// items): generated from Config/keys/fpga.def. The region has no hand-written
// operations. A module that owns one of these keys includes this header only.
#pragma once

#include "Config/keys/accessorDecls.h"

#define CFG(Kind, Id, CType, ...) CFG_DECL_##Kind(Id, CType)
#define CFG_ALIAS(alias, owner) CFG_DECL_ALIAS(alias, owner)
#include "Config/keys/fpga.def"
#undef CFG
#undef CFG_ALIAS
