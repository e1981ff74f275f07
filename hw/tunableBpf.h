// Tunable band-pass filter and the retune after a frequency change.
#pragma once

// The retune sequence after a frequency change (FPGA, tunable band-pass
// filter, power offset, PLL mode, receiver); 0 done.
int retuneAfterFrequencyChange();
