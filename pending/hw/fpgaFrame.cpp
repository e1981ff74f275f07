// Stand-in for the control-frame builder: the frame stays all zeros.
#include "hw/fpgaFrame.h"

uint32_t FpgaControlFrame[FPGA_CONTROL_FRAME_WORDS];

int Fpga_PrepareConfig(uint8_t, uint8_t, uint8_t, uint8_t)
{
    return 0;
}
