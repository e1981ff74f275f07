// The system image: one static record with every configuration item and much
// of the live status, grouped in regions in the order of the XML sections.
//
// Nothing outside the configuration modules touches it directly: every item
// is reached through its accessor family (the rows of Config/keys/). The record is
// zero at process start. The arrangement inside each region is ours; the
// regions' order is fixed. Regions whose items are not built yet are empty.
#pragma once

#include <cstdint>

constexpr int ALARM_ID_COUNT = 169; // alarm ids 0..168
constexpr int EVENT_BITMAP_BYTES = 16;
constexpr int DELAYED_EVENT_BITMAP_BYTES = 32;
constexpr int SMS_EVENT_BITMAP_BYTES = 32;
constexpr int AMP_EVENT_BITMAP_BYTES = 4;
constexpr int UNIT_INFO_BYTES = 128;

// 1. Unit state, identification and version words.
struct UnitRegion {
    uint8_t stateByte;
    uint32_t modeWord;
    uint32_t unitWords[3];
    // The words of the information string.
    int32_t infoUT;
    int32_t infoST;
    int32_t infoFM;
    uint32_t infoFWV;
    uint32_t infoFWR;
    uint32_t infoFWB;
    uint32_t infoFWC;
    uint32_t infoFWE;
    uint32_t infoFWCS;
    uint32_t vrlDataFormat; // step counter of the start-up migration
    uint32_t serialWords[3];
    uint32_t versionWord[5]; // software version, release, build and two identity words
    uint32_t versionRef[5];  // the firmware identity of the standby bank
    uint32_t uartOverride;   // not 0: serial port 1 serves the debug console
};

// 3. Network: front and rear Ethernet ports, network ports 0 and 1.
struct NetworkRegion {
    uint8_t frontMacActive[6];
    uint8_t frontMacReceived[6];
    uint32_t frontIpAddress; // IPv4 words in network byte order
    uint32_t frontIpNetmask;
    uint32_t frontIpGateway;
    uint32_t frontIpOldGateway;
    uint8_t rearMacActive[6];
    uint8_t rearMacReceived[6];
    uint32_t rearIpAddress;
    uint32_t rearIpNetmask;
    uint32_t rearIpGateway;
    uint32_t rearIpOldGateway;
    uint8_t rearAutoneg;
    uint8_t rearDuplex;
    uint8_t rearSpeed;
    uint8_t port0AddrActive[6];
    uint8_t port0AddrReceived[6];
    uint8_t port1AddrActive[6];
    uint8_t port1AddrReceived[6];
    // Ethernet switch and VLANs.
    uint32_t ethernetSwitchConfig;
    uint32_t ethernetSwitchConfigReq;
    uint16_t cpuVlanId;
    uint16_t gbeAVlanId;
    uint16_t gbeBVlanId;
};

// 4. DAC, NCO and PLL factory settings, external PLL, lock states.
struct FactoryRegion {
    uint8_t clockByteA; // the two clocking bytes before n_clock
    uint8_t clockByteB;
    uint8_t nClock;
    uint8_t nBit;
    uint8_t ki;
    uint8_t kp;
    uint8_t kpH;
    uint32_t dacLevelMode; // holds the low byte of what was written
    uint32_t fpgaControlCFlag; // control-frame bit pulsed after a forced DAC level
    uint16_t forceDacLevel;
    uint32_t audioDacResetWord;
    uint32_t audioDacModeWord;
    // Bytes and words exchanged with the FPGA: the FSK signature's busy byte
    // (from the status block) and trigger byte, and the control-frame words
    // that the reset and pulse sequences set.
    uint8_t fskSignBusy;
    uint8_t fskSignTrigger;
    uint32_t audioPllResetFlag;
    uint32_t fpgaControlBFlag;
    uint32_t fpgaW10Bit17Flag;
    uint32_t fpgaW8LowByte;
    uint32_t fpgaW9LowByte;
    uint16_t integrOut; // 16-bit integrator value of the status block
    uint8_t extOutputStageFitted;
    int32_t pllRfLocked;
    int32_t pllAudioLocked;
    int32_t audioVcxoValidSt;
    int32_t freqRefLocked;
    int32_t ocxo100MhzLocked;
    int32_t fmRecvPllLock;
    int32_t auxPllLocked;
    // RF DAC quadrature modulator and NCO, RF synthesizer PLL, FPGA output
    // gains, telecommand extension and the manual fan level.
    uint8_t chan0GainNco;
    uint8_t clkPCml;
    uint8_t pSign;
    uint8_t clkNCml;
    uint8_t nSign;
    uint8_t ncoNbitSel;
    uint8_t pllMode;
    uint8_t pllModeVar;
    uint8_t ltcChargePump;
    uint8_t fpgaOutFormat;
    int16_t fpgaOutGainA_ddBu;
    int16_t fpgaOutGainB_ddBu;
    uint8_t qmDeltaNum;
    uint8_t tlcTlsExtended;
    uint8_t fanManualLevel;
};

// 5. Hardware codes.
struct HwCodesRegion {
    uint32_t psuTypeCode; // amplifier family code; holds the low byte of what was written
    uint32_t i2cErrorCount;
    uint8_t i2cFaultFlag;
    // FM receiver status, owned by the receiver code.
    uint8_t fmRxStatus[64];
    uint8_t fmRxState;
    uint32_t fmRxWord;
    uint16_t fmRxCounter;
    // Web log-on: the last address and the user name in four words.
    uint32_t webLogonAddr;
    uint32_t webUserName[4];
};

// 6. Amplifier status and limits, power-supply records.
struct HpaRegion {
    int16_t hpaNomDrvPow;
    uint32_t hpaModelCode; // holds the low byte of what was written
    uint8_t hpaDetected;   // 1 once the amplifier identity was read
    uint8_t hpaDisabled;   // not 0: the first and third families' loops stay off
    uint32_t hpaDrvCurrConvFactor;
    uint32_t hpaFreqLimit; // the amplifier limit word that vendor 1 sets for model 22
    uint8_t hpaResetActive; // the amplifier reset is in progress
};

// The tunable band-pass filter: coarse codes, fine and very-fine values,
// the words derived for the filter hardware, the per-MHz fine tables.
constexpr int TUN_BPF_BAND_COUNT = 20; // 88..107 MHz
struct TunBpfSettings {
    uint8_t coarseA;
    uint8_t coarseB;
    uint16_t fineA;
    uint16_t fineB;
    uint8_t veryFine;
    uint8_t byte5; // nothing writes it
    uint32_t capWord1;
    uint32_t capWord2;
    uint32_t derived1;
    uint32_t derived2;
    uint32_t derived3;
    uint32_t word6;
    uint16_t cpPreFine[TUN_BPF_BAND_COUNT];
    uint16_t cpPostFine[TUN_BPF_BAND_COUNT];
    uint8_t csVeryFine[TUN_BPF_BAND_COUNT];
    uint8_t optionPresent; // 1 once the filter was detected
};

// 7. RF power, frequency and APC settings.
struct RfRegion {
    uint32_t outputRFfrequency; // Hz
    uint16_t lastValidVdac;
    uint32_t lastValidHpsVout;
    TunBpfSettings bpf;
};

// 8. Input selection and backup, port records.
struct InputRegion {
    uint32_t matrixLMpx; // output matrix: L/MPX select
};

// 9. System, time and web settings, and the status fields of the unit.
struct SystemRegion {
    uint32_t hwReady; // 1 once the unit's hardware initialisation is done
    uint32_t fpgaStatusFlag;
    uint32_t noExtPps;
    uint32_t noExt10MHz;
    uint32_t noExt19kHzSinus;
    uint32_t noExt19kHzSqWave;
    uint32_t refEventWord;
    uint32_t linkEventWord;
    uint32_t usbKeyMounted;
    uint32_t boardInputA;
    uint32_t boardInputB;
    uint32_t selfShutdownPending;
    uint32_t mdevProcState;
    uint32_t ntpProcState;
    uint16_t refMaskWord;
    uint16_t refStateWord;
    uint32_t refValid;
    uint16_t maskedFlagMask;
    uint16_t maskedFlagState;
    uint32_t maskedFlag;
    uint32_t upgradeRequest;
    uint32_t upgradeParam;
    uint32_t upgradeStep;
    uint8_t upgradeProgress;
    uint32_t portWords[2];
    uint32_t timeRequest[6]; // struct tm order: sec, min, hour, mday, mon, year
    uint32_t standardType;
    uint32_t ntpDateError;
    char ntpNameServer[257]; // up to 256 characters and a terminator
    uint16_t mpxDigMaxDeltaClock;
    uint32_t dacApplyEnable; // armed by a table write: the next DAC/PLL setter programs the device
    // Time and clock sources, DNS and NTP, time zone, web timers.
    uint32_t systemTimeSource;
    uint8_t dnsServerAddress[4]; // octets in written order
    uint32_t ntpPollIval;        // minutes
    uint32_t systemClockSource;
    uint32_t uart1ConnSel;
    uint32_t uart1ConnSelB;
    uint16_t systemTimezoneId;
    uint32_t daylightSaving;
    uint8_t mpxDigDebugMsgEna;
    uint8_t websRefreshTime;
    uint16_t webTimerErrorTimeout;
    // Time synchronisation and GPS status.
    uint8_t timeSyncCapable;
    uint8_t clockInternal;
    uint32_t clockInternalB;
    uint32_t ntpStepWord;
    uint32_t timeSyncState;
    uint32_t timeSyncDone;
    uint32_t timeSyncFlag;
    uint32_t timeAuxWord;
    uint32_t lastNtpSyncTime; // seconds since 2000-01-01 00:00:00 UTC
    uint32_t gpsStatusWord;
    uint8_t gpsStatusByte;
    float gpsStatusFloat;
    uint16_t gpsA1;
    uint16_t gpsA2;
    float gpsA3;
    uint8_t gpsA4;
    uint16_t gpsB1;
    uint16_t gpsB2;
    float gpsB3;
    uint8_t gpsB4;
    uint32_t gpsInfoRecord[11];
    // Words and bytes of the MPX digital input filled by the FPGA status decode.
    uint16_t mpxDigWord[3];
    uint8_t mpxDigByte[3];
    // Firmware banks.
    uint8_t activeBank;
    uint8_t runningBank;
    uint8_t bankByte;
    uint32_t bankWord;
};

// 10. Audio alarms, FM receiver status, output, clipper and global settings.
struct AudioRegion {
    uint8_t frequencyDeviation;
    uint8_t relativeFreqDev;
    uint8_t relativeDevLimit;
    uint8_t clipperDeviationLimiter;
    uint8_t clipperEffectiveLimiter;
    uint16_t clipperOvershootCode;
    uint32_t clipperLimitedFlag;
    uint16_t clipperOvershoot;
    int16_t levelMpx_dBu;
    int16_t levelMpxOffset_dBu;
    int16_t levelMpx2Offset_dBu;
};

// 11. RDS common settings, UECP slots, RDS data sets.
struct RdsRegion {};

// 12. Output levels, GSM settings, power table.
struct OutputGsmRegion {};

// The eight-byte flag record of an alarm id.
struct AlarmFlags {
    uint8_t mute;         // 0: the alarm mutes the RF output
    uint8_t muteReset;    // 1: mute-reset request
    uint8_t field2;
    uint8_t alarm;        // 3
    uint8_t fail;         // 4
    uint8_t warning;      // 5
    uint8_t rxFlag6;      // 6
    uint8_t rxFlag7;      // 7
};
static_assert(sizeof(AlarmFlags) == 8);

// 13. Alarm state.
struct AlarmRegion {
    uint8_t input[ALARM_ID_COUNT]; // raw condition bytes
    uint8_t state[ALARM_ID_COUNT]; // latched state bytes
    AlarmFlags flags[ALARM_ID_COUNT];
    uint8_t alarmSummary;
    uint8_t warningSummary;
    uint8_t failSummary;
    uint8_t flag6Summary;
    uint8_t flag7Summary;
};

// 14. Change words and event bitmaps. The change words are shared by the main
// loop, the setters' threads and the saver: they are only touched atomically.
struct ChangeRegion {
    uint32_t ConfigChanged;
    uint32_t ConfigLocked;
    uint32_t SaveConfigChanged;
    uint32_t saveCountdown;
    uint8_t EventBitmap[EVENT_BITMAP_BYTES];
    uint8_t DelayedEventBitmap[DELAYED_EVENT_BITMAP_BYTES];
    uint8_t SmsEventBitmap[SMS_EVENT_BITMAP_BYTES];
    uint8_t AmpEventBitmap[AMP_EVENT_BITMAP_BYTES];
};

// 15. Audio-processor block: one contiguous block, handed whole by value.
// Each kind of set has a working set (index 0) followed by its stored sets.
constexpr int AP_COMMON_SETS = 10;
constexpr int AP_EQ_SETS = 14;
constexpr int AP_CMP_SETS = 14;
constexpr int AP_EQ_BANDS = 7;
constexpr int AP_CMP_BANDS = 5;

// The common switches (a stored set keeps only the first seven) and the
// set's name: its four words most significant byte first, then the words.
struct ApCommonSet {
    uint8_t on;
    uint8_t eqOn;
    uint8_t cmpOn;
    uint8_t limGainSel;
    uint8_t limPostCpr;
    uint8_t eqPostCpr;
    uint8_t limLev;
    uint8_t commonLoad;
    uint8_t commonModified;
    uint8_t eqLoad;
    uint8_t eqModified;
    uint8_t cmpLoad;
    uint8_t cmpModified;
    uint8_t nameBytes[16];
    uint32_t name[4];
};

struct ApEqBand {
    uint32_t freqC; // centre frequency, Hz
    uint32_t gain;
    uint32_t qFactor;
};

struct ApEqSet {
    uint32_t gain; // signed 16-bit value kept in a word
    uint32_t word2;
    ApEqBand band[AP_EQ_BANDS];
    uint8_t llShelving;
    uint8_t hShelving;
    uint8_t nameBytes[16];
    uint32_t name[4];
};

struct ApCmpBand {
    int32_t logTh;       // threshold
    uint32_t logKw;      // knee: holds the low 16 bits of what was written
    uint32_t linRt;      // ratio
    uint32_t minGainDec; // minimum gain decrement: holds the low byte
};

struct ApTimeConstants {
    uint32_t attack;
    uint32_t release;
};

struct ApCmpSet {
    ApCmpBand band[AP_CMP_BANDS];
    ApTimeConstants smoothing[AP_CMP_BANDS];
    int16_t gainLogRef[AP_CMP_BANDS];
    uint8_t nameBytes[16];
    uint32_t name[4];
};

struct AudioProcessorBlock {
    ApCommonSet common[AP_COMMON_SETS];
    ApEqSet eq[AP_EQ_SETS];
    ApCmpSet cmp[AP_CMP_SETS];
};

struct SystemImage {
    UnitRegion unit;
    uint32_t vendorId; // 2.
    NetworkRegion net;
    FactoryRegion factory;
    HwCodesRegion hw;
    HpaRegion hpa;
    RfRegion rf;
    InputRegion input;
    SystemRegion sys;
    AudioRegion audio;
    RdsRegion rds;
    OutputGsmRegion outGsm;
    AlarmRegion alarm;
    ChangeRegion change;
    AudioProcessorBlock ap;
};

SystemImage* getSystemImage();
// The 128-byte unit identity record that lies directly after the image.
uint8_t* getUnitInfo();
// The record as read from or to be written to the board EEPROM.
uint8_t* getUnitInfoBuffer();
