// RDS group sequencers and the RDS loop.
#pragma once

// Body of "RDS Loop Thread" (10 ms): one pass of group sequencing and the
// transfer to the FPGA RDS FIFO.
void RDS_Mng();
