// Stand-in for the control-frame builder: the frame stays all zeros. The
// builds and the AES/EBU reset bits tell the stand-in hook they were called.
#include "hw/fpgaFrame.h"

#include "pending/standIns.h"

uint32_t FpgaControlFrame[FPGA_CONTROL_FRAME_WORDS];

int Fpga_PrepareConfig(uint8_t mute, uint8_t modulationOff, uint8_t a, uint8_t b)
{
    standInCall("Fpga_PrepareConfig(%u,%u,%u,%u)", mute, modulationOff, a, b);
    return 0;
}

void setAesRxResetA(uint8_t on)
{
    standInCall("setAesRxResetA(%u)", on);
}

void setAesRxResetB(uint8_t on)
{
    standInCall("setAesRxResetB(%u)", on);
}
