// Hand-written operations of the hardware-codes region (rows: hwCodes.def):
// none yet. Included by hwCodesKeys.h.
#pragma once
