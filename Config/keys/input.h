// Hand-written operations of the input region (rows: input.def): none yet.
// Included by inputKeys.h.
#pragma once
