// SI4769 FM tuner on I2C bus 0 at 0x60: the command exchange under the bus
// lock, one routine per command used, the start-up sequence and the RSQ
// status record. Every routine returns 0 or a negative code and prints its
// failures on standard output.
#pragma once

#include <atomic>
#include <cstdint>

constexpr uint8_t SI4769_BUS = 0;
constexpr uint8_t SI4769_ADDRESS = 0x60;

// Result codes.
enum {
    SI4769_OK = 0,
    SI4769_ERR_ARG = -10,      // output missing or input out of range
    SI4769_ERR_PINCFG = -12,   // the chip's pin configuration echo differs
    SI4769_ERR_PROPVAL = -13,  // property or value not allowed
    SI4769_ERR_PROPNUM = -14,  // property not known
    SI4769_ERR_CHIP = -15,     // the chip set its error bit
    SI4769_ERR_READ = -16,
    SI4769_ERR_WRITE = -17,
    SI4769_ERR_OPEN = -18,
    SI4769_ERR_LOCK = -19,
};

// Properties.
enum : uint16_t {
    SI4769_PROP_INT_CTL_ENABLE = 0x0000,
    SI4769_PROP_AUDIO_DEEMPHASIS = 0x0302,
    SI4769_PROP_AUDIO_MISC_CONFIG = 0x0304,
    SI4769_PROP_ZIF_OUTPUT_CFG = 0x0600,
    SI4769_PROP_FM_VALID_FREQOFF_SCALE = 0x200C,
    SI4769_PROP_FM_CHBW_BLOCKER_THR = 0x2210,
    SI4769_PROP_FM_RDS_CONFIG = 0x4002,
};

// Consecutive failed exchanges with the tuner (cleared by a good write).
extern std::atomic<uint32_t> SI4769_ErrorCount;

// One exchange: writes cmd[0..n] (command byte and n arguments), waits for
// CTS and reads the status byte and r response bytes into resp[0..r].
int SI4769_send_cmd(const uint8_t* cmd, int n, uint8_t* resp, int r);

// Crystal load code of a load value (6 bits).
uint8_t SI4769_LoadCode(uint32_t load);
int SI4769_cmd_PowerUp(uint8_t flags, uint8_t xcLoad, uint8_t options, uint8_t clkMode1, uint8_t clkMode2);
int SI4769_cmd_PowerUp_dflt(uint32_t load);
int SI4769_PowerDown(uint8_t mode);
// Response bytes after the status: 8 and 6; out may be null.
int SI4769_cmd_PartInfo(uint8_t* out);
int SI4769_cmd_FuncInfo(uint8_t* out);
int SI4769_cmd_SetProperty(uint16_t number, uint16_t value);
int SI4769_cmd_GetProperty(uint16_t number, uint16_t* value);
int SI4769_cmd_SetPropertyAndCheck(uint16_t number, uint16_t value, const char* name);
// The status byte in *status.
int SI4769_cmd_GetIntStatus(uint8_t* status);
int SI4769_cmd_AgcStatus(uint8_t* out);
int SI4769_cmd_ZifPinCfg(const uint8_t modes[4], uint8_t* echo);
int SI4769_cmd_ZifPinCfg_dflt();
int SI4769_cmd_IntBPinCfg(const uint8_t modes[2], uint8_t* echo);
int SI4769_cmd_IntBPinCfg_dflt();
int SI4769_cmd_FMTuneFreq(uint8_t flags, uint16_t freq10kHz);
int SI4769_cmd_FMTuneFreq_dflt(uint16_t freq10kHz);

// The RSQ status record.
struct SI4769_RsqRecord {
    uint8_t bytes[45];
};
// Decodes the 23 response bytes R1..R23 (resp[0] is R1); a selects the
// scale of R20.
void SI4769_DecodeRsq(const uint8_t* resp, int a, SI4769_RsqRecord* out);
// Fields of the record.
uint32_t SI4769_RsqFreqKHz(const SI4769_RsqRecord& r);
int32_t SI4769_RsqOffset(const SI4769_RsqRecord& r);
int8_t SI4769_RsqRssi(const SI4769_RsqRecord& r);
int8_t SI4769_RsqSnr(const SI4769_RsqRecord& r);
uint8_t SI4769_RsqByte(const SI4769_RsqRecord& r, int at);
uint16_t SI4769_RsqWord(const SI4769_RsqRecord& r, int at);
// The six option flags are bits 5..0 of opts (32 .. 1).
int SI4769_cmd_FMRsqStatus(int a, uint8_t opts, SI4769_RsqRecord* out);
// ACF: *status the status byte, *acf the flag (0/1), *level 7 bits.
int SI4769_cmd_FMAcfStatus(int ack, uint8_t* status, uint8_t* acf, uint8_t* level);
// RDS: *sync the synchronised flag, record the 16 response bytes (may be null).
int SI4769_cmd_FMRdsStatus(uint8_t* sync, uint8_t* record);

int SI4769_StartUp(int verbose, uint32_t load);
int SI4769_Detect(int verbose, int powerDown);
int SI4769_Restart(uint32_t load);
int SI4769_SetXCLoad(uint32_t load);
