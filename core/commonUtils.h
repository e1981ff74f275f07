// Common helpers shared by the subsystems.
#pragma once

#include <cstdint>

// Two-stage moving average over caller-owned histories (hist1 of n samples,
// hist2 of m averages, hist2 may be null). *avg1 gets the mean of hist1, or
// the sample while hist1 is not full; returns 1 when the two stages agree.
int computeLinearRegression(uint32_t sample, int n, uint32_t* hist1, uint32_t* avg1, uint32_t* hist2, int m);
