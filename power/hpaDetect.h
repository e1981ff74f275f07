// Amplifier detection and the start-up initialisation of each amplifier
// family.
#pragma once

#include <cstdint>

// Our amplifier part numbers (the HPA type word at RF EEPROM 0x29): the one
// whose limits are read from the "An" fields of the EEPROM.
inline constexpr uint32_t kHpaAnPartNumber = 6200301;
// The DAC 0 start value of every first-family amplifier.
inline constexpr uint16_t kHpaDac0Start = 3000;
// Our HPA code words (code byte 0 the least significant byte) of the two
// compact models, by HPS code 1 and 3, and of the wideband model; the
// simulated amplifiers carry the same.
inline constexpr uint32_t kHpaCodeCompactHps1 = 0x01020303;
inline constexpr uint32_t kHpaCodeCompactHps3 = 0x01020304;
inline constexpr uint32_t kHpaCodeWideband = 0x01020305;
// The part numbers whose HPA description files the web pages show.
inline constexpr const char* kHpaXmlFiles[] = {"6200301.xml", "6200302.xml", "6200303.xml"};
// Where the RF EEPROM's mirror is kept.
inline constexpr char kRfEepromDumpPath[] = "/usr/share/VRL/rfeeprom.bin";

// The Linux I2C client services the serial-module probe needs: the start-up
// code registers them (core/ owns the client table); without them the probe
// runs on the bus alone.
struct HpaI2cClientServices {
    int (*removeClient)(uint32_t address);
    int (*insertClient)(uint32_t address, const char* name);
};
void registerHpaI2cClientServices(const HpaI2cClientServices* services);
// The file copy the compact start-up installs the HPA description files
// with (0 copied); the start-up code registers the core's.
void registerHpaFileCopy(int (*copy)(const char* src, const char* dst));

// Start-up detection of the amplifier system: sets the HPA model code and
// the amplifier family code.
void detectHpaSystem();
// The model code read from the amplifier's IF board (0, 1, 2 or 5).
uint32_t detectHpaIfRevision();
// HPS code of the compact systems: 3 when the expander at 0x23 answers, else 1.
uint32_t detectHpsCode();
// Start-up initialisation of amplifier family 0, 1 and 2.
void initHpa();
void initHpaCompact();
void initHpaWideband();
// The frequency range of the first family: with no amplifier (or a disabled
// one) the defaults of the RF band, then HpaMinFreq and HpaMaxFreq.
void initHpaFreqRange();
// The supplies of the compact systems: the PMBus shelf's set-up, or the
// serial module's enrolment when it is fitted.
void initHpaCompactPsu();
// Resets the amplifier through the FPGA and waits; start-up only.
void resetHpaAndWait();
// Mirrors a valid RF EEPROM into its dump file, or writes the dump back into
// an EEPROM whose checksum is wrong. Nothing starts it.
void backupRfEeprom();

// The HPA power class of a nominal power (tenths of dBm); -1 when the table
// has no class for it (the stored class is then left as it is).
int32_t hpaPowerClassOf(int32_t nominalPower);
// Sets Hpa_RflPwrFilterStart and Hpa_RflPwrFilter for the HPA power class.
void initHpaRflPwrFilter();
// Reflected-power filter threshold for the power class code and a power in
// tenths of dBm.
int16_t calcRflPwrFilterThreshold(uint8_t code, int16_t power);
// Handler of the command that asks to reload the RF EEPROM: does nothing.
int loadRfEepromStub();

// The calibration tables, read by index; an index outside the table gives 0.
uint32_t hpaFwdTableSize();
uint32_t hpaRefTableSize();
uint32_t hpaTempTableSize(); // N: entries 1..N
float hpaVdetFwd(uint32_t i);
float hpaVdetRef(uint32_t i);
float hpaTempTable(uint32_t i);
// The companion tables, filled by the detector calibration.
float hpaVdetFwdCal(uint32_t i);
float hpaVdetRefCal(uint32_t i);
void setHpaVdetFwdCal(uint32_t i, float v);
void setHpaVdetRefCal(uint32_t i, float v);

// Forgets the detector and temperature tables of an earlier initHpa; the
// registered services stay (tests).
void hpaDetectResetForTest();
