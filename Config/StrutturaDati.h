// The system image: one static record with every configuration item and much
// of the live status, grouped in regions in the order of the XML sections.
//
// Nothing outside the configuration modules touches it directly: every item
// is reached through its accessor family (the rows of Config/keys/). The record is
// zero at process start. The arrangement inside each region is ours; the
// regions' order is fixed. Regions whose items are not built yet are empty.
#pragma once

#include <cstdint>
#include <type_traits>

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
    uint32_t versionWord6;   // a sixth identity word, read only
    uint32_t tunableBpfPresent; // 1 once the tunable band-pass filter was detected
    uint32_t uartOverride;   // not 0: serial port 1 serves the debug console
    uint8_t variantByte;     // the unit's variant, 11 from the hardware start-up on
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
    // Set when an address, netmask or gateway setter stores a changed value;
    // cleared by the Ethernet manager once it applied the port's settings.
    uint8_t frontPendingApply;
    uint8_t rearPendingApply;
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
    uint16_t forceDacLevelSaved; // the level a reference relock writes back
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
    // Fans watched by the fan control (at most 3) and the fan-alarm inhibit.
    uint32_t numFan;
    uint8_t fanAlarmInhibit;
};

// 5. Hardware codes.
struct HwCodesRegion {
    uint32_t psuTypeCode; // amplifier family code; holds the low byte of what was written
    uint32_t i2cErrorCount;
    uint8_t i2cFaultFlag;
    uint32_t hpsCode;
    // Board detection at start-up.
    uint32_t lowNoiseBoard;     // 1: Low Noise board, 0: Normal board
    uint32_t mpxoAes3;          // 1: integrated MPXoAES3 hardware
    uint32_t tlcTlsExtDetected; // 1: extended telecommand board on the backplane
    // FM receiver status, owned by the receiver code.
    uint8_t fmRxStatus[64];
    uint8_t fmRxState;
    uint32_t fmRxWord;
    uint16_t fmRxCounter;
    uint8_t fmRxSystem;       // 0 none, 1 FM receiver, 2 with down-converter
    uint8_t fmRxPresent;      // the tuner answered at start-up
    uint16_t freqOffsetScale; // FM_VALID_FREQOFF_SCALE of the tuner, 0 not set
    // Web log-on: the last address and the user name in four words.
    uint32_t webLogonAddr;
    uint32_t webUserName[4];
};

// One power supply: set-points, states and the readings of its readers.
constexpr int PSU_RECORDS = 3;
struct PsuHistoryEntry {
    uint16_t a;
    uint16_t b;
    uint8_t c;
};
struct PsuRecord {
    uint32_t supplyInterface; // record 0 only: 0 PMBus supplies, 1 serial power shelf
    uint32_t type;
    uint32_t voutSetpoint;    // mV
    uint32_t voutNom;         // HPS_VoutNom
    uint32_t shelfWord1;
    uint32_t shelfWord2;
    uint8_t operationMode;
    uint32_t statusWord;      // 0 good, 2 fault, 3 unavailable
    uint8_t present;
    uint8_t shelfStatus;
    uint8_t enabled;
    uint8_t outputOff;        // bit 4 of status byte 1
    uint8_t statusByte[5];    // status bytes 1..5
    uint32_t readingWord1;
    uint32_t readingWord2;
    int32_t voutMeasured;     // mV
    int32_t ioutMeasured;     // mA
    uint32_t powerOut;        // mW
    uint32_t reading24;
    uint32_t readingWord[4];  // reading words 3..6
    uint32_t readingByte;
    uint32_t shelfWord3;
    uint32_t platformInfo1[3];
    uint32_t platformInfo2[2];
    uint16_t platformInfo2Tail;
    uint32_t platformInfo3;
    uint16_t platformInfo3Tail;
    uint32_t platformInfo4[3];
    uint16_t platformInfo4Tail;
    uint8_t identity[6];
    PsuHistoryEntry history[9];
};

// 6. Amplifier status and limits, power-supply records.
struct HpaRegion {
    int16_t hpaNomDrvPow;
    uint32_t hpaModelCode; // holds the low byte of what was written
    uint8_t hpaDetected;   // 1 once the amplifier identity was read
    uint8_t hpaDisabled;   // not 0: the first and third families' loops stay off
    uint32_t hpaDrvCurrConvFactor;
    uint32_t hpaPowerLimitHigh; // the maximum power in force - 20; vendor 1 sets 672 for model 22
    uint8_t hpaResetActive; // the amplifier reset is in progress
    // Settings of the amplifier keys.
    uint32_t hpsMngMode; // 0: the daemon drives the supplies over PMBus
    int16_t hpaRflPwrFilter;
    int16_t hpaRflPwrFilterStart;
    uint32_t hpaMaxFreq;
    uint32_t hpaMinFreq;
    // Codes and words of the amplifier identification.
    uint32_t cplSharedBus;
    uint8_t hwCodeByte[4];
    uint8_t hpaIdByte[7]; // identity bytes 1..7
    uint8_t hpaFreqNominalFlag;
    uint8_t hpaByteE;
    uint32_t hpaWordA;
    uint32_t hpaWordB;
    uint32_t hpaWordK;
    uint32_t hpaRflMode;
    // Identity and shelf data of the compact and wideband amplifiers.
    uint32_t hpaStartFreq;
    uint32_t hpaYear;
    uint32_t hpaSerial;
    uint32_t hpaTypeWord; // the maker's part number
    uint32_t shelfParam[4];
    uint8_t rfEepromBlank; // 1: a compact amplifier's EEPROM had no sections
    uint8_t rfBand;        // 0 UHF, 1 VHF
    // Detector and table parameters of the amplifier tables.
    uint16_t vdet0Fwd;
    uint16_t vdet0Ref;
    int16_t nominalPower;
    uint16_t refNominalPower;
    uint32_t k1MinPowerFwd;
    uint32_t k1MinPowerRef;
    uint32_t k2MinFreqFwd;
    uint32_t k2MinFreqRef;
    uint32_t k1TableSizeFwd;
    uint32_t k2TableSizeFwd;
    uint32_t k1TableSizeRef;
    uint32_t k2TableSizeRef;
    uint32_t tableWordFwd[2];
    uint32_t tableWordRef[2];
    uint8_t tempTableSize;
    uint8_t tempTableFirst; // a signed byte
    int16_t tableBuilderWord;
    float detectorCal[3]; // written by the detector calibration
    uint16_t detectorCalWord;
    // Power and frequency limits of the amplifier.
    int32_t hpaDefPowerDig;
    int32_t hpaDefPowerAn;
    int32_t hpaMinPowerDig;
    int32_t hpaMinPowerAn;
    int32_t hpaMaxPowerDig;
    int32_t hpaMaxPowerAn;
    uint32_t hpaMinFreqDig;
    uint32_t hpaMaxFreqDig;
    uint32_t hpaMinFreqAn;
    uint32_t hpaMaxFreqAn;
    uint32_t hpaPowerLimitLow;
    uint32_t hpaWordF;
    uint32_t hpaWordG;
    uint32_t hpaWordH;
    uint32_t hpaWordI;
    uint32_t hpaWordJ;
    uint32_t psuCount; // 3: the supplies are ganged
    uint8_t psuAvailableCount; // supplies available to the loops
    uint32_t hpsTypeCode;
    uint32_t hpaCriticalTemp;
    uint32_t hpaCriticalTempLow;
    uint32_t hpaCriticalTempHigh;
    PsuRecord psu[PSU_RECORDS];
    uint16_t vdetTarget; // forward-detector reading of the configured power
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
    uint32_t powerTable[16]; // the measures table: word 9 is the board temperature (degrees)
    // Driver power, offsets and limits.
    int16_t driverPower; // tenths of dB
    int16_t driverPowerOffset;
    int16_t powerOffsetFine;
    int16_t powerOffsetFirstFreq;
    int16_t powerOffsetLastFreq;
    int32_t frequencyOffset;
    int32_t frequencyCalibOffset;
    uint32_t restoreOffsetHpsVout;
    uint16_t hpaNomFwd;
    uint16_t hpaNomRef;
    uint16_t powerDynamicRange;
    int16_t boardOutputPower;
    // RF status bytes.
    uint8_t rfOutputState;
    uint8_t rfMuteState; // the transmitter-on state
    uint8_t rfMuteCopy;
    uint8_t rfByte1;
    float apcScale;
    uint8_t rfByte2;
    uint8_t rfByte3;
    uint8_t lockoutByte;
    uint8_t linkRfByte;
    uint8_t rfLoopFlag;
    uint8_t powerCalCmd[4];
    // Power calibration.
    uint8_t fwdPowerCalibrated;
    uint8_t refPowerCalibrated;
    uint32_t voltageAPC; // mV
    uint32_t defaultVoltageAPC;
    uint32_t maxVoltageAPC;
    int16_t refPowerCalOffset;
    int16_t refPowerMeasOffset;
    uint16_t fwdPowerMuteThd;
    uint8_t refPowerMode;
    int16_t powerOffsetWord;
    uint8_t lockoutCount;
    uint8_t hpaByteP;
    uint8_t hpaByteQ;
    uint8_t hpaByteR;
    uint8_t fwdMeasFlagA;
    uint8_t calibrationDone;
    uint8_t alcEnabled;
    int16_t hpaFwdCorrection;
    uint8_t fwdMeasFlagB;
    int32_t hpaWord[28];
    TunBpfSettings bpf;
    uint8_t lastValidRestoreRequest; // set when a last valid drive value was loaded
    uint8_t ampLockoutFlag;          // the amplifier-lockout output
};

// MPX over IP: two sides (the A and B interfaces) with four stream entries
// each; every entry has a receive and a transmit record of its own, every
// side its interface settings.
constexpr int MPXIP_SIDES = 2;
constexpr int MPXIP_ENTRIES = 4;

struct MpxIpRxRecord {
    uint32_t enable;
    uint32_t autoTransferProtocolStatus;
    uint32_t transferProtocol;
    uint32_t multicastStatus;
    uint32_t igmpVersion;
    uint32_t macMatch;
    uint32_t spare;
    uint32_t groupAddress;
    uint32_t sourceAddress;
    uint16_t port;
    uint8_t peerMac[6];
};

struct MpxIpTxRecord {
    uint32_t enable;
    uint32_t ipAddress;
    uint32_t nextHop; // derived: the gateway or the destination itself
    uint32_t spare;
    uint32_t groupAddress;
    uint32_t spare2[2];
    uint16_t sourcePort;
    uint16_t destinationPort;
    uint8_t packetsPerFrame;
    uint8_t spare3[3];
    uint32_t multicastStatus;
    uint32_t useMulticastRouter;
    uint8_t ttl;
    uint8_t streamMulticast;
    uint8_t unicastMac[6];
    uint8_t multicastMac[6]; // derived from the group address
};

struct MpxIpSide {
    uint32_t pingResponseStatus;
    uint32_t ipAddress;
    uint32_t netmask;
    uint32_t gwIp;
    uint32_t statusWord; // the side's status as the FPGA reports it
    uint32_t inUse;      // derived
};

struct MpxIpBlock {
    MpxIpRxRecord rx[MPXIP_SIDES][MPXIP_ENTRIES];
    MpxIpTxRecord tx[MPXIP_SIDES][MPXIP_ENTRIES];
    MpxIpSide side[MPXIP_SIDES];
    uint8_t gbeBlockFitted; // 1: the FPGA carries the MPX-over-IP (GbE) block
};

// 8. Input selection and backup, port records.
struct InputRegion {
    uint8_t language[2]; // two characters, no terminator
    uint8_t locale[2];
    uint32_t outputConfiguration; // primary input configuration code
    uint32_t inputBackup;
    uint32_t inputBackupRds;
    uint32_t inputRx;
    uint32_t inputRxRds;
    uint32_t inputSwitchMode;
    uint32_t inputSelection;
    uint32_t inputSwapTime;
    uint8_t inputSelFromTlc;
    uint32_t variableAudioEqualizerStatus;
    uint32_t audioLeftTermination;
    uint32_t audioRightTerminationStatus;
    uint32_t rdsTerminationStatus;
    uint32_t mpxDigTermination;
    uint8_t inputAlarmVsTxStatus;
    uint32_t siInsertion;
    uint32_t patInsertion;
    uint32_t ppsImpedance;
    uint16_t tsId;
    uint32_t tsRateOut;
    uint32_t clipperStatus;
    uint32_t clipperOrder;
    uint32_t clipperDecay;
    uint32_t clipperProfile;
    // The configuration in force and the routing it set.
    uint32_t outputCfgCode;
    uint32_t secondaryInputCfg;
    uint32_t standbyInputRoute;
    uint32_t inputRouteSelA;
    uint32_t inputRouteFlagB;
    uint32_t activeInput; // 0 primary, 1 secondary
    uint32_t mpxChSrc;    // routing words 0..7
    uint32_t auxChSrc;
    uint32_t inputCfg;    // AES/EBU select
    uint32_t audioType;
    uint32_t audioMono;
    uint32_t routeWord5;  // right input off
    uint32_t mpxDigSrc;
    uint32_t mpxDigIns;
    uint32_t matrixLMpx; // output matrix: L/MPX select
    MpxIpBlock mpxIp;
    uint32_t matrixRAux;
    uint32_t matrixDigAux;
    uint32_t matrixConfig;
    // Input presence, thresholds and matrix levels of the FPGA exchange.
    uint32_t inputLeftLinePres;
    uint32_t inputRightLinePres;
    uint32_t inputDigitalLinePres;
    uint32_t inputMpxDigLinePres;
    uint32_t inputEthLinePres;
    uint32_t inputRxLinePres;
    uint32_t inputPresWord1;
    uint32_t inputPresWord3;
    uint32_t inputPresThresholdA;
    uint32_t inputPresThresholdB;
    uint32_t inputPresThresholdC;
    uint16_t mtxLMpxLevel;
    uint16_t mtxRAuxLevel;
    uint16_t mtxDigAuxLevel;
    uint16_t mtxBackupLLevel;
    uint16_t mtxBackupRLevel;
    uint32_t inputRouteFlag; // mirror of "input_rx"
    uint8_t auxControlFlag;
    uint32_t audioEqFlag;
    uint32_t audioOutFlagA;
    uint32_t audioOutFlagB;
    uint32_t clipperInAction;
    uint32_t outFifoAlm;
    uint32_t gatedOutputCfg;
    uint32_t gatedOutput;
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
    // Where the upgrade package came from: 1 a PC, 2 the USB key.
    uint32_t upgradeSource;
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
    // Levels and deviations.
    uint32_t fpgaResetPulseFlag; // the three FPGA request words
    uint32_t fpgaSyncPulseFlag;
    uint32_t fpgaReprogramFlag;
    uint8_t autoLevelScale;
    uint8_t pilotCode;
    uint8_t levelPilotPercentage;
    uint8_t pilotLevelCode; // the pilot output code
    int16_t levelReferenceAnl;
    int16_t levelReferenceDig;
    uint32_t pilotDevHz;
    uint32_t rdsDevHz;
    int16_t levelLeft_dBu;
    int16_t levelLeftOffset_dBu;
    int16_t levelRight_dBu;
    int16_t levelRightOffset_dBu;
    int16_t levelLeft_dBFS;
    int16_t levelLeftOffset_dBFS;
    int16_t levelRight_dBFS;
    int16_t levelRightOffset_dBFS;
    int16_t levelRx_dBu;
    int16_t levelMpx2_dBu;
    int16_t levelCodDigMpx_dBFS;
    float digMpxGain;
    int16_t levelMpxDigOffset_dBFS;
    int16_t levelRxOffset_dB;
    int16_t levelRxSnrOffset_dB;
    uint16_t levelWordA;
    uint16_t rightChannelGain;
    uint16_t levelRxCode; // receiver gain
    uint32_t preEmphasisMode;
    uint32_t preEmphasisEn;
    uint32_t mpxOptionA;
    uint32_t mpxOptionB;
    uint32_t mpxOptionC;
    uint32_t audioInputAlarm;
    uint32_t aesEbuAl;
    uint32_t aesEbuAlCode;
    uint32_t audioFilterErr;
    uint32_t modulationOffSec;
    uint32_t freqDevDouble;
    uint32_t rxFreqDevHalf;
    // Audio alarms: MPX total, left, right, auxiliary, pilot; input presence.
    uint8_t totAudioAlmEnable;
    int16_t totAudioAlmThreshold;
    uint16_t totAudioAlmDelay;
    uint8_t audioLeftAlmEnable;
    int16_t audioLeftAlmThreshold;
    uint16_t audioLeftAlmDelay;
    uint8_t audioRightAlmEnable;
    int16_t audioRightAlmThreshold;
    uint16_t audioRightAlmDelay;
    uint8_t audioAuxAlmEnable;
    int16_t audioAuxAlmThreshold;
    uint16_t audioAuxAlmDelay;
    uint8_t audioPilotAlmEnable;
    int16_t audioPilotAlmThreshold;
    uint16_t audioPilotAlmDelay;
    uint32_t inputPresAlmThreshold;
    uint16_t inputPresAlmDelay;
    uint8_t inputPresAlmEnable;
    uint32_t fmRxInputSel;
};

// 10b. Synchronised operation, RDS levels and the RDS status words.
struct SynchroRegion {
    uint32_t netMode;
    uint32_t freqRef;
    uint32_t timeRef;
    uint8_t muteFrefAbsent;
    uint8_t muteTrefAbsent;
    uint32_t inputDelay;
    uint32_t addedDelay;
    uint32_t pilPhOffs;
    uint8_t testSigEna;
    uint32_t testSigDelay;
    uint32_t freqRefSource;
    uint32_t freqRefFpgaSource;
    uint8_t freqRefSource6Flag;
    uint32_t timeRefSource;
    uint32_t timeRefFpgaSource;
    uint32_t freqRefLockFlag;
    uint32_t timeRefLocked;
    uint32_t inputDelayWord;
    uint32_t addedDelayFine;
    uint32_t addedDelaySamples;
    uint32_t totalDelay;
    uint32_t pilotPhaseExtra;
    uint32_t pilotPhaseWord;
    uint32_t inputDelayMeasReq;
    uint32_t delMeasState;
    uint32_t testSigDelayWord;
    uint8_t testSigEnaCopy;
    uint8_t delMeasCmd;
    uint8_t delMeasOk;
    uint8_t delMeasBusy;
    uint32_t delMeasValue;
    uint8_t synchroCtrlFlag17;
    uint8_t synchroCtrlFlag18;
    uint16_t rdsInternalLevelPercentage;
    int16_t rdsExternalLevel_dBu;
    int16_t rdsExternalLevelOffset_dBu;
    uint16_t rdsExternalGain;
    uint32_t rdsFifoAlmostFullFpga;
    uint32_t rdsFifoStatusB;
    uint32_t rdsFifoStatusC;
    uint32_t rdsFifoFree;
    uint8_t rdsOutputEnable;
    uint8_t rdsCtrlFlag;
    uint32_t rdsCtrlWord;
    uint16_t rdsLevelCode;
    uint16_t rdsFpgaBlockWords[4];
};

// 11. RDS common settings, UECP slots, RDS data sets.
constexpr int RDS_DATA_SETS = 7;
constexpr int RDS_UECP_SLOTS = 10;
constexpr int RDS_SEQUENCE_CODES = 16;
constexpr int RDS_ALTER_GROUPS = 32; // group g: type g / 2, version A for even g
constexpr int RDS_ALTER_CODES = 8;
constexpr int RDS_VAR_CODES = 16;

// An alternative group sequence (255 ends the codes).
struct RdsAlterSeq {
    uint8_t codes[RDS_ALTER_CODES];
    uint8_t count;
};

// A variable-code list of group 1A (kind 2, then kind 28).
struct RdsVarCodeSeq {
    uint8_t codes[RDS_VAR_CODES];
    uint8_t count;
};

// One data set of the RDS encoder. The 8-character texts are two words, the
// first character of each four in the most significant byte.
struct RdsDataSetRecord {
    uint32_t dataSetName[2];
    uint8_t dsn;
    uint8_t psn;
    uint32_t pst;
    uint32_t staticPs0[2];
    uint8_t dynPsFreq;
    uint32_t dynPs1[2];
    uint32_t dynPs2[2];
    uint32_t dynPs3[2];
    uint32_t dynPs4[2];
    uint32_t dynPs5[2];
    uint16_t pi;
    uint16_t pin;
    uint8_t di;
    uint32_t tp; // the flag words: readers use the low byte
    uint32_t ta;
    uint32_t ms;
    uint32_t ct;
    uint8_t pty;
    uint32_t ptyName[2];
    uint32_t afm;
    uint8_t afn;
    uint32_t afl[7];
    uint8_t tf;
    uint8_t radioTextFlag; // 1 when a RadioText is available
    uint8_t rtAbFlagMode;
    uint16_t lsn;
    uint8_t la;
    uint8_t egi;
    uint8_t ils;
    uint8_t eonCount; // non-zero entries of eon[]
    uint8_t ecc;
    uint8_t languageCode;
    uint32_t eon[6];
    uint8_t sequenceEnable;
    alignas(4) uint8_t sequence[RDS_SEQUENCE_CODES]; // group codes in order; 255 ends the list
    RdsAlterSeq alterSeq[RDS_ALTER_GROUPS];
    RdsVarCodeSeq varCodeSeq[2];
    uint8_t var0Nibble; // labelling-code variants of group 1A
    uint16_t var0Value;
    int16_t var23Value;
    int16_t var6Value;
    int16_t var7Value;
};

struct RdsRegion {
    uint32_t uecpInterface;
    uint32_t uecpInterfaceBaudrate;
    uint8_t uecpEncoderAddr[RDS_UECP_SLOTS];
    uint8_t uecpEncoderAddrEna[RDS_UECP_SLOTS];
    uint16_t uecpSiteAddr[RDS_UECP_SLOTS];
    uint8_t uecpSiteAddrEna[RDS_UECP_SLOTS];
    uint32_t eon;
    uint32_t taFromTlc;
    uint32_t customPs;
    uint32_t customPi;
    uint32_t customDi;
    uint32_t customTp;
    uint32_t customTa;
    uint32_t customMs;
    uint32_t customCt;
    uint32_t customPty;
    uint32_t customPtyn;
    uint32_t customAf;
    uint32_t customRt;
    uint32_t customEcc;
    uint32_t customLanguage;
    uint8_t currentRdsDsn;
    uint8_t standbyRdsDsn;
    uint8_t regionalDsFromTlc;
    uint8_t regionalDsn;
    RdsDataSetRecord dataSets[RDS_DATA_SETS];
};

// 12. Output levels, GSM settings, power table.
constexpr int GSM_USERS = 10;
constexpr int GSM_ALARM_ROWS = 288;
constexpr int GSM_MODEM_TEXT = 24;

struct GsmUserSlot {
    uint16_t phoneDestPrefix;
    uint32_t phoneDestNr;
    uint32_t alarmEnaBitmask[10];
};

struct GsmBlock {
    uint32_t pinEna;
    uint32_t roamingEna;
    uint32_t smsAlarmsEna;
    uint32_t smsAlarmsTimerEna;
    uint32_t smsAlarmsTimerPeriod;
    uint32_t smsAlarmsTimerStart;
    uint32_t pin[2];
    uint32_t puk[2];
    uint8_t pinChanged;
    uint32_t maxSmsHour;
    uint32_t maxSmsDay;
    uint8_t sendTestSms;
    uint16_t testSmsDestPrefix;
    uint32_t testSmsDestNr;
    uint32_t txLabel[5]; // 20 characters, the first of each four most significant
    uint8_t copyToAllUsr;
    uint8_t adminSmsSupervisorEna;
    uint8_t modemState;
    uint8_t netTime[GSM_MODEM_TEXT];
    uint8_t modemId[GSM_MODEM_TEXT];
    uint8_t simId[GSM_MODEM_TEXT];
    uint8_t operatorName[GSM_MODEM_TEXT];
    uint32_t statusWord;
    uint8_t registration;
    uint8_t signalQuality;
    uint32_t userAlarmEna[GSM_ALARM_ROWS][GSM_USERS]; // 1: the user gets that alarm's SMS
    uint32_t cntSentSmsHour;
    uint32_t cntSentSmsDay;
    uint32_t lastTimeSentSms;
    GsmUserSlot users[GSM_USERS];
};

struct OutputGsmRegion {
    GsmBlock gsm;
};

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
    int32_t gain; // a signed 16-bit value, sign-extended into the word
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
    // The tail: status words, last save-set numbers, keyless bytes and words,
    // the economy settings.
    int16_t status[5];
    uint8_t commonSaveSet;
    uint8_t eqSaveSet;
    uint8_t cmpSaveSet;
    uint8_t byte45; // published to (57,45)
    uint8_t byte49; // (57,49)
    uint8_t byte48; // (57,48)
    uint8_t byte50; // (57,50), read by the common stage
    uint8_t byte56; // (57,56)
    uint8_t limByte; // limiter byte, read by the common stage; (57,59)
    uint32_t word23; // (58,23)
    uint32_t word24; // (58,24)
    uint8_t econOn;
    uint8_t econReference;
    uint8_t econRatio;
};
static_assert(std::is_trivially_copyable_v<AudioProcessorBlock>);

// 16. Items of the FPGA control frame and status block that no other region
// keeps.
struct FpgaRegion {
    // Inputs of the control frame that no settings region keeps.
    uint32_t aesEbuSel;
    uint32_t clipperDevLimitCode;
    uint16_t nCOOffsetFineFreq;
    uint32_t fpgaOutSelect;
    // Decoded from the FPGA status block.
    uint32_t rfLoopStatusFlag;
    uint16_t measuredMpxLevelRaw;
    uint16_t measuredLeftLevelRaw;
    uint16_t measuredRightLevelRaw;
    uint16_t measuredAuxLevelRaw;
    uint16_t measuredPilotLevelRaw;
    uint16_t backupLFreqDevRaw;
    uint16_t backupRFreqDevRaw;
    uint16_t measuredFmDeviationRaw;
    uint32_t measuredMpxDeviationB;
    // Measures derived from the status block by the audio meters.
    int16_t measuredLeftLevel_dB;
    int16_t measuredRightLevel_dB;
    uint32_t measuredFmDeviation;
    uint32_t measuredPilotDeviation;
    // Deviations (Hz) and levels (dB) of the audio level measures.
    uint32_t measuredMpxDeviation;
    int16_t measuredMpxLevel_dB;
    uint32_t measuredLeftDeviation;
    uint32_t measuredRightDeviation;
    uint32_t measuredAuxDeviation;
    int16_t measuredAuxLevel_dB;
    int16_t measuredPilotLevel_dB;
    int16_t measuredMpxLevelB_dB;
    uint32_t primDeviation;
    int16_t primLevel_dB;
    uint32_t secDeviation;
    int16_t secLevel_dB;
    uint16_t backupLFreqDev;
    uint16_t backupRFreqDev;
    uint32_t backupLFreqDevHz;
    uint32_t backupRFreqDevHz;
    // FPGA version and the standard of each flash bank.
    uint8_t fpgaVerMajor;
    uint8_t fpgaVerMinor;
    uint8_t fpgaVerRevision;
    uint8_t fpgaBank1Std;
    uint8_t fpgaBank2Std;
    uint8_t fpgaBank3Std;
    uint8_t fpgaMute; // the mute state the FPGA status read reports
};

// 17. Transmitter-logic settings (section logica_tx, with the functional type
// of section global and the change-over extension of section factory).
struct LogicaTxRegion {
    uint32_t functionalType;
    uint8_t amplifierNumber;
    uint32_t amplifierType;
    uint32_t multiAmplifierTransmitter;
    uint8_t localTimeEnable;
    uint8_t localMaxTime; // hours
    uint8_t retryBeforeLockout;
    uint8_t waitBeforeRetry; // seconds
    uint16_t lockoutProcTime; // minutes
    uint8_t swrFoldback;
    uint32_t enableCustomExtAmpRefPower;
    uint32_t exciterMode; // 0 master, 1 slave, 2 none
    uint32_t selectWrite;
    uint32_t tlcType;
    uint8_t controlSerialAddress;
    uint16_t externalAmplifierVoltageSupply;
    uint8_t changeOverConnectionTimeout; // seconds
    uint8_t ltxConnectionTimeout;        // seconds
    int32_t temperatureOffset;
    uint32_t localFromChangeOver;
    uint8_t fskSignEna;
    uint32_t fskTxId[2]; // the identity, four characters a word, the first most significant
    uint32_t fskSignTimeStart;
    uint8_t fskSignTimePeriod;
    uint8_t changeOverSerialAddress;
    uint32_t nplus1Mode;
    uint8_t nplus1MainsNumber;
    uint32_t nplus1HwAddressing;
    uint8_t nplus1CoExtension;
    uint8_t nplus1CoDisableTlc;
};

// 18. Power settings (section power_management) and the power state the
// settings' users share with the RF loops. Levels in 0.1 dBm, thresholds and
// derating amounts in 0.1 dB, linear powers in 0.1 mW.
struct PowerRegion {
    int16_t transmitterNominalPower;
    int16_t txMaxNomPower;
    uint32_t txNominalPowerLinear;
    uint16_t transmitterLowPowerAlarmThreshold;
    uint16_t transmitterReflectedPowerAlarmThreshold;
    uint16_t transmitterLowPowerWarningThreshold;
    uint16_t transmitterReflectedPowerWarningThreshold;
    int16_t exciterNominalPower;
    uint32_t exciterNominalPowerLinear;
    uint16_t exciterLowPowerAlarmThreshold;
    uint16_t exciterLowPowerWarningThreshold;
    uint32_t externalAmplifierReferencePower;
    uint16_t deratingOverride; // the exciter-mode derating
    uint32_t transmitterPowerUpTime; // seconds
    uint16_t pwrDeratingFactor;
    uint8_t pwrDeratingEnable;
    uint8_t temperatureDeratingActive;
    uint8_t pwrDeratingTemperature; // degrees C
    uint8_t pwrProgDeratingEnable;
    uint16_t pwrProgDeratingFactor;
    uint16_t pwrProgDeratingTimeStart; // minute of the day
    uint16_t pwrProgDeratingTimeStop;  // minute of the day
    uint8_t pwrProgDeratingDayWeek;    // bit 0 Sunday .. bit 6 Saturday
    uint8_t adaptiveReflectedLimit;    // written by the second family's loop
    uint16_t swrDerating;              // written by the second family's loop
    uint8_t txLowPowerConsiderDerating;
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
    SynchroRegion synchro;
    RdsRegion rds;
    OutputGsmRegion outGsm;
    AlarmRegion alarm;
    ChangeRegion change;
    AudioProcessorBlock ap;
    FpgaRegion fpga;
    LogicaTxRegion logic;
    PowerRegion power;
};

SystemImage* getSystemImage();
// The 128-byte unit identity record that lies directly after the image.
uint8_t* getUnitInfo();
// The record as read from or to be written to the board EEPROM.
uint8_t* getUnitInfoBuffer();
