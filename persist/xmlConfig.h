// The XML configuration files under /mnt/ubi0/conf/. Called with the
// configuration file mutex held.
#pragma once

#include <cstdint>

// Reads the four files into the image; the sum of the readers' results (0 ok).
int16_t loadConfigFromFiles();
// Writes the four files from the image; the sum of the writers' results (0 ok).
int16_t saveConfigToFiles();
