// RDS group sequencers and the RDS loop.
#pragma once

#include <cstdint>

// Body of "RDS Loop Thread" (10 ms): one pass of group sequencing and the
// transfer to the FPGA RDS FIFO.
void RDS_Mng();

// Composes one batch of groups into the output FIFO: the bytes written (0
// when nothing was written).
int32_t RdsGroupsSequencer();
// Composes from the alternative list of group code `code` (0..31) of data
// set 0..6: 0 when a group was composed or the list ended, -1 for a bad
// argument or when every entry failed.
int RdsAlternateGroupsSequencer(uint8_t code, uint8_t dataSet, uint16_t* queue, uint16_t* count);
// One EON group of the current EON entry: 0 composed or entry finished, -5
// PI/TP/PTY not valid, -6 EON off or no linked data set, -10 other failures.
int EonGroupsDispatcher(uint8_t dataSet, uint16_t* queue, uint16_t* count);
// Copies the configured items of data set 0..6 into the data set.
void RdsInternalEncoderData(uint8_t dataSet);

// Loads the group sequence of data set n (0..6) from the system image into
// the sequencer; n < 0 loads the active data set's, n >= 7 or a disabled
// sequence the default table.
void loadRdsGroupSequence(int n);
// Fills the default group sequence and makes it the active one (15 codes).
void installDefaultRdsGroupSequence();
// Stretches a sequence of one or two codes to A A A / A B A B in the stored
// sequence, an empty one to the default; the length, or -1 above 16.
int normaliseRdsGroupSequence();
// Writes the active sequence to the RDS debug row.
void logRdsGroupSequence();

// The active sequence (codes and length) and the nominal batch period.
const uint8_t* getRdsActiveSequence();
uint8_t getRdsActiveSequenceLength();
uint32_t getRdsGroupPeriodUs();
void setRdsGroupPeriodUs(uint32_t us);

// Work another thread asks of the RDS loop. The output FIFO, the UECP
// receive ring's reading side and the data set belong to the loop's thread:
// a call from elsewhere leaves a request that the loop serves at the start
// of its next pass. Before the loop first ran (start-up, tests), the caller
// is the only user and the work is done at once.
enum RdsLoopRequest : uint32_t {
    RDS_REQ_FIFO = 1u,
    RDS_REQ_UECP_RING = 2u,
    RDS_REQ_DATA_SET = 4u,
};
// true when the caller may do the work itself; otherwise the request is
// left for the loop and false returned.
bool rdsLoopOwnsCall(uint32_t request);
