// Table search, interpolation and curve fitting of the power measures, and
// the frequency power offset.
//
// Tables are 1-based: a table of n points holds them in elements 1..n;
// element 0 holds no point.
#pragma once

#include <cstdint>

// Index j of a rising or falling table with t[j] <= v < t[j + 1] (rising),
// searched between low and high: low - 1 below the table, high + 1 at or
// beyond its end; -10 (said on standard error) when low > high.
int bisection(const int32_t* t, int32_t v, uint32_t low, uint32_t high);

// Linear interpolation of x at detector value v in table y (points low..n),
// fixed point in steps of 1/10000. 0, or -1 outside the table (result kept).
// *error is always 0.
int interpolateLinear(const int32_t* y, const int32_t* x, uint32_t low, uint32_t n, int32_t v, int32_t* result,
                      int32_t* error);

// Rational-function interpolation (Bulirsch-Stoer) of the n points at x;
// clears element 0 of both tables. 0, or -1 at a pole.
int interpolateRational(float* xa, float* ya, int n, float* result, float* error, float x);
// Polynomial interpolation (Neville) of the n points at x. 0, or -1 when two
// x values coincide.
int interpolatePolynomial(float* xa, float* ya, int n, float* result, float* error, float x);
// The rational result when its error is below 0.2, else the polynomial one
// when its error is below 15, else whichever error is smaller (the
// polynomial on a tie) with the polynomial run's status.
int interpolateBest(float* xa, float* ya, int n, float* result, float* error, float x);

// y on the line through (x1, y1) and (x2, y2). 0, or -1 when x1 = x2 (y kept).
int lineThroughPoints(float* y, float x, float x1, float x2, float y1, float y2);

// The four bytes of v in reverse order.
uint32_t swapBytes32(uint32_t v);

// Recomputes and stores the frequency power offset for the current output
// frequency: 0 at 98 MHz, growing linearly to the first-frequency offset at
// 87.5 MHz and the last-frequency offset at 108 MHz. With recompute, the
// family's over-power and reflected thresholds follow. 0, or -1 for the
// first amplifier family (nothing changed).
int adjustPowerOffsetForFreq(int recompute);
