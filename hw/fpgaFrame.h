// FPGA control-frame sequences.
#pragma once

int Fpga_PulseControlC();
