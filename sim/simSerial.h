// Serial ports of the simulated board (/dev/ttyS0, /dev/ttyS1, /dev/ttyS2,
// /dev/ttyMAX0) are pseudo-terminals: the port's path in the sandbox leads
// to the slave, and the peer (a test, a scripted device) holds the master.
#pragma once

// Makes a new pseudo-terminal the port `devPath` leads to and returns its
// master descriptor, which the caller keeps and closes; -1 with errno for
// another path or when no pseudo-terminal can be had.
int simSerialOpenPeer(const char* devPath);
