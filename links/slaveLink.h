// Slave link responder on tx_sr_1_ch (Exciter_Mode 1).
#pragma once

struct DcmMsg;
struct TableSet;

// Takes one request addressed to this unit from DCM channel `channel` and
// answers it.
void vrlSlaveTick(int channel);
// Answers a decoded request on `channel`: 0 sent, 9 ignored or not sent, 17
// an unknown command.
int vrlSlaveServe(int channel, const DcmMsg* req);
// The start-up of the slave side: its records, then its configuration.
void vrlSlaveInitialized();
void vrlSlaveConfigured();
// The 10 ms step of the slave link: the TA the external logic set goes into
// the current RDS data set.
void vrlSlaveTic();
// The link's tables and writable elements.
const TableSet* slaveTableSet();
