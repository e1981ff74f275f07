// RDS group sequencers and the RDS loop.
#pragma once

// Body of "RDS Loop Thread" (10 ms): one pass of group sequencing and the
// transfer to the FPGA RDS FIFO.
void RDS_Mng();

// Loads the group sequence of data set n (0..6) from the system image into
// the sequencer; n < 0 loads the active data set's, n >= 7 or a disabled
// sequence the default table.
void loadRdsGroupSequence(int n);
// Resets the RDS encoder; with ask non-zero it also empties the main
// data-set elements. Rebuilds the group sequences and clears the changed
// marks.
void resetRdsEncoderData(int ask);
// Sets (flag 1) or clears (flag 0) the changed mark of the data-set elements
// of a UECP message element code.
void setRdsMecChanged(int code, int flag);
