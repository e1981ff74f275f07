// Stand-in for the retune after a frequency change: the simulated board
// takes the frequency from the FPGA frame as it is; nothing is retuned.
#include "hw/tunableBpf.h"

int retuneAfterFrequencyChange()
{
    return 0;
}
