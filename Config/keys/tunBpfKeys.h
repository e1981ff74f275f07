// The accessors of the tunable band-pass filter settings, with their
// hand-written operations (Config/keys/tunBpf.h). A module that owns one of
// these keys includes this header only.
#pragma once

#include "Config/keys/tunBpf.h"
