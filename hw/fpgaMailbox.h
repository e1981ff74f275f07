// The FPGA register mailbox: device registers read and written on request
// of the FPGA.
#pragma once

// One service pass. Returns the result of the final word write, or of the
// first read when no request is pending.
int FpgaRegMailbox_Service();
