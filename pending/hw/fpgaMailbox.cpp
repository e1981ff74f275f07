// Stand-in for the FPGA register mailbox: no request is ever pending.
#include "hw/fpgaMailbox.h"

int FpgaRegMailbox_Service()
{
    return 0;
}
