// RDS block transfer to the FPGA.
#pragma once

// Empties the RDS output byte FIFO.
void initRdsFifo();
