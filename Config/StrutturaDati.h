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
};

// 5. Hardware codes.
struct HwCodesRegion {
    uint32_t psuTypeCode; // amplifier family code; holds the low byte of what was written
    uint32_t i2cErrorCount;
    uint8_t i2cFaultFlag;
};

// 6. Amplifier status and limits, power-supply records.
struct HpaRegion {
    int16_t hpaNomDrvPow;
    uint32_t hpaModelCode; // holds the low byte of what was written
    uint8_t hpaDetected;   // 1 once the amplifier identity was read
    uint8_t hpaDisabled;   // not 0: the first and third families' loops stay off
    uint32_t hpaDrvCurrConvFactor;
};

// 7. RF power, frequency and APC settings.
struct RfRegion {
    uint32_t outputRFfrequency; // Hz
    uint16_t lastValidVdac;
    uint32_t lastValidHpsVout;
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
    char ntpNameServer[256];
    uint16_t mpxDigMaxDeltaClock;
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

// 16. Items of the FPGA control frame and status block that no other region
// keeps.
struct FpgaRegion {
    // Inputs of the control frame kept by the audio, RDS, synchronisation and
    // unit settings: routing words, levels, flags and delays.
    uint32_t outputCfgCode;
    uint32_t standbyInputRoute;
    uint32_t activeInput;
    uint32_t mpxChSrc;
    uint32_t auxChSrc;
    uint32_t aesEbuSel;
    uint32_t audioType;
    uint32_t audioMono;
    uint32_t mpxDigSrc;
    uint32_t mpxDigIns;
    uint32_t inputBackup;
    uint32_t autoLevelScale;
    uint8_t pilotLevelCode;
    uint16_t rdsLevelCode;
    uint16_t levelPilotPercentage;
    uint16_t rdsInternalLevelPercentage;
    int16_t levelLeft_dBu;
    int16_t levelLeftOffset_dBu;
    int16_t levelRight_dBu;
    int16_t levelRightOffset_dBu;
    int16_t levelLeft_dBFS;
    int16_t levelLeftOffset_dBFS;
    int16_t levelRight_dBFS;
    int16_t levelRightOffset_dBFS;
    int16_t levelMpx2_dBu;
    int16_t levelMpxDigOffset_dBFS;
    int16_t rdsExternalLevel_dBu;
    int16_t rdsExternalLevelOffset_dBu;
    int16_t fpgaOutGainA_ddBu;
    int16_t fpgaOutGainB_ddBu;
    uint32_t preEnphasisEn;
    uint32_t preEnphasisMode;
    uint32_t variableAudioEqualizerStatus;
    uint32_t modulationOffSec;
    uint32_t clipperStatus;
    uint32_t clipperDevLimitCode;
    uint32_t clipperOrder;
    uint32_t clipperDecay;
    uint32_t netMode;
    uint32_t addedDelaySamples;
    uint32_t addedDelayFine;
    uint32_t inputDelayWord;
    uint32_t synchroCtrlFlag17;
    uint32_t synchroCtrlFlag18;
    uint32_t testSigEna;
    uint32_t testSigEnaCopy;
    uint32_t testSigDelayWord;
    uint32_t rdsCtrlWord;
    uint8_t rdsCtrlFlag;
    uint8_t auxControlFlag;
    uint32_t audioLeftTermination;
    uint32_t audioRightTerminationStatus;
    uint32_t rdsTerminationStatus;
    uint32_t freqRefSource;
    uint32_t freqRefFpgaSource;
    uint32_t freqRefSource6Flag;
    uint32_t timeRefFpgaSource;
    uint32_t audioOutFlagA;
    uint32_t audioOutFlagB;
    uint32_t inputCfg;
    uint32_t audioEqFlag;
    uint16_t levelRxCode;
    uint16_t nCOOffsetFineFreq;
    uint32_t mpxOptionA;
    uint32_t mpxOptionB;
    uint32_t mpxOptionC;
    uint32_t fpgaReprogramFlag;
    uint32_t fpgaOutSelect;
    uint32_t inputRouteFlag;
    uint32_t inputRouteFlagB;
    uint32_t inputRouteSelA;
    uint32_t unitWord8;
    uint32_t hpaResetActive;
    uint32_t delMeasCmd;
    uint32_t inputPresThresholdA;
    uint32_t inputPresThresholdB;
    uint32_t inputPresThresholdC;
    uint16_t pilotPhaseWord;
    uint32_t ncoNbitSel;
    uint32_t freqDevDouble;
    uint32_t rxFreqDevHalf;
    uint32_t qmDeltaNum;
    uint32_t fmRxInputSel;
    uint32_t inputPresAlmDelay;
    uint32_t mpxDigDebugMsgEna;
    uint32_t fSKSignEna;
    uint32_t fSKSignTimeStart;
    uint32_t fSKSignTimePeriod;
    // Pulse and trigger flags that the FPGA sequences set.
    uint32_t fpgaResetPulseFlag;
    uint32_t fpgaSyncPulseFlag;
    // The five matrix level codes of the last frame build.
    int16_t mtxLMpxLevel;
    int16_t mtxRAuxLevel;
    int16_t mtxDigAuxLevel;
    int16_t mtxBackupLLevel;
    int16_t mtxBackupRLevel;
    // Decoded from the FPGA status block.
    uint32_t audioFilterErr;
    uint32_t rdsFifoStatusB;
    uint32_t rdsFifoStatusC;
    uint32_t delMeasOk;
    uint32_t delMeasBusy;
    uint32_t delMeasValue;
    uint32_t timeRefLocked;
    uint32_t audioInputAlarm;
    uint32_t aesEbuAlCode;
    uint32_t aesEbuAl;
    uint32_t clipperInAction;
    uint32_t outFifoAlm;
    uint32_t rfLoopStatusFlag;
    uint32_t freqRefLockFlag;
    uint32_t rdsFifoAlmostFullFpga;
    uint32_t rdsFifoFree;
    uint32_t inputLeftLinePres;
    uint32_t inputRightLinePres;
    uint32_t inputDigitalLinePres;
    uint32_t inputPresWord1;
    uint32_t inputMpxDigLinePres;
    uint32_t inputEthLinePres;
    uint16_t measuredMpxLevelRaw;
    uint16_t measuredLeftLevelRaw;
    uint16_t measuredRightLevelRaw;
    uint16_t measuredAuxLevelRaw;
    uint16_t measuredPilotLevelRaw;
    uint16_t backupLFreqDevRaw;
    uint16_t backupRFreqDevRaw;
    uint16_t measuredFmDeviationRaw;
    uint32_t measuredMpxDeviationB;
    uint16_t mpxDigWord1;
    uint16_t mpxDigWord2;
    uint16_t mpxDigWord3;
    uint8_t mpxDigByte1;
    uint8_t mpxDigByte2;
    uint8_t mpxDigByte3;
    // Measures derived from the status block by the audio meters.
    int16_t measuredLeftLevel_dB;
    int16_t measuredRightLevel_dB;
    uint32_t measuredFmDeviation;
    uint32_t measuredPilotDeviation;
    // FPGA version and the standard of each flash bank.
    uint8_t fpgaVerMajor;
    uint8_t fpgaVerMinor;
    uint8_t fpgaVerRevision;
    uint8_t fpgaBank1Std;
    uint8_t fpgaBank2Std;
    uint8_t fpgaBank3Std;
    uint16_t rdsFpgaBlockWord[4];
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
    FpgaRegion fpga;
};

SystemImage* getSystemImage();
// The 128-byte unit identity record that lies directly after the image.
uint8_t* getUnitInfo();
// The record as read from or to be written to the board EEPROM.
uint8_t* getUnitInfoBuffer();
