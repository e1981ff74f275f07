// What the stand-in audio-processor loaders received, for the tests of their
// callers until the coefficient engine writes real registers: each call is
// appended with its loader's name and a copy of the block it was given.
#pragma once

#include "Config/StrutturaDati.h"

#include <string>
#include <vector>

struct ApLoaderCall {
    std::string loader;
    AudioProcessorBlock block;
};

std::vector<ApLoaderCall>& apLoaderLog();
