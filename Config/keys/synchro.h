// Hand-written operations of the synchronised-operation region (rows:
// synchro.def): the hooks of its keys, the reference-source routing and the
// RDS block words. Included by synchroKeys.h.
#pragma once

#include <cstdint>

// "net_mode": before 1 is stored while "freq_ref" is 5, "freq_ref" becomes 1;
// after the mark, the FPGA reset pulse.
void netModeBeforeStore(uint32_t index, uint32_t value, uint32_t old);
void netModeAfterMark(uint32_t index, uint32_t value, uint32_t old);
// "input_delay": delay word := the frequency word of the value, at most 16383.
void inputDelayChanged(uint32_t index, uint32_t value, uint32_t old);
// Total delay := "input_delay" + "added_delay" + 9660 (stored and published
// when it changed).
void updateTotalDelay();
void updateTotalDelayHook(uint32_t index, uint32_t value, uint32_t old);
// "added_delay", on every call: the split into samples, fine delay and pilot
// extra phase, then the total delay.
void addedDelayEveryCall(uint32_t index, uint32_t value, uint32_t old);
// Pilot phase word := phase word of (("pil_ph_offs" + extra phase) mod 360).
void pilotPhaseHook(uint32_t index, uint32_t value, uint32_t old);
void testSigEnaChanged(uint32_t index, uint32_t value, uint32_t old);
void testSigDelayChanged(uint32_t index, uint32_t value, uint32_t old);
// Copies the time reference source into its FPGA word.
void timeRefSourceChanged(uint32_t index, uint32_t value, uint32_t old);

// The frequency reference source and the FPGA words it routes to: 5 and 7
// select no FPGA source; 6 sets the source-6 flag, "time_ref" 8, the time
// reference source 6 and no pilot extra phase; any other value is the FPGA
// source. Publishes (55,5) after a change.
void setFreqRefSource(uint32_t v);

// "RdsInternalLevel_Percentage": the RDS level code and "rds_dev_hz" follow
// the percentage; "rds_dev_hz" is published after the percentage.
void rdsPercentageChanged(uint32_t index, uint32_t value, uint32_t old);
void publishRdsDevHz(uint32_t index, uint32_t value, uint32_t old);
// "RdsExternal_level_dBu": the external RDS gain follows the level.
void rdsExternalLevelChanged(uint32_t index, uint32_t value, uint32_t old);
// Set to 1: the RDS FIFO, the UECP receive ring and the RDS data set are
// emptied, in that order.
void rdsOutputEnableChanged(uint32_t index, uint32_t value, uint32_t old);
// "RdsInternalLevel_Percentage" follows the code (no publish, no mark).
void rdsLevelCodeChanged(uint32_t index, uint32_t value, uint32_t old);
// Stores the four RDS block words.
void setRdsFpgaBlockWords(const uint16_t words[4]);
