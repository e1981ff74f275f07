// Change-over link responder on tx_sr_3_ch.
#pragma once

#include <cstdint>

struct TableSet;

// Logs the start of the link and empties its receive ring.
void vrlChangeOverInit();
// Logs that the link is configured.
void vrlChangeOverConfigured();
// Takes what waits on the channel's descriptor into the receive ring: the
// byte count taken.
int vrlChangeOverMsgRecv(int fd);
// Appends bytes read from the channel to the receive ring: n, or 0 when they
// do not fit (they are dropped with a console line).
int changeOverTakeBytes(const uint8_t* bytes, int n);
// Serves one waiting request on DCM channel `channel`: 0 when a reply was
// sent, 9 when none waited or the command is ignored, 17 for an unknown
// command, else a receive code.
int vrlChangeOverTic(int channel);
// The link's tables and writable elements.
const TableSet* changeOverTableSet();
