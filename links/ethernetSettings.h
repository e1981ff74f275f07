// Ethernet interface settings of the front (eth0) and rear (eth1) ports.
#pragma once

// Apply the pending settings of a port (validated; the defaults on error).
// The eth1 routine returns non-zero on failure.
void ETHM_ApplyPendingCfgEth0();
int ETHM_ApplyPendingCfgEth1();
