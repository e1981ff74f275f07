// Stand-ins for functions of subsystems not built yet. Each does what its
// callers rely on and nothing more; each disappears when its module lands.
#pragma once

#include <cstdint>

// Register tables and command plane.
void commandTableTick();

// Unit start-up pieces.
int loadUnitInfo();
void initUnitHardware();
void initUnitSettings();
void startUnitServices();

// System time.
void ntpThreadStep();

// Configuration data.
uint8_t getAmpFamily();
uint8_t getHpaDetected();
uint8_t getHpaDisabled();
void setApCmpLogTh(uint8_t band, int32_t value);
void setApCmpLinRt(uint8_t band, int32_t value);
void setApCmpLogKw(uint8_t band, int32_t value);
void setApCmpMinGainDec(uint8_t band, int32_t value);
void setApGainLogRef(uint8_t band, int32_t value);
void setApSmoothingNRelease(uint8_t band, int32_t value);
void setApSmoothingNAttack(uint8_t band, int32_t value);
void setApOn(uint8_t value);
void setApEqOn(uint8_t value);
void setApCmpOn(uint8_t value);

// Hardware access.
extern uint32_t FpgaControlFrame[28];
extern uint8_t FpgaStatusBlock[30];
void Fpga_PrepareConfig(uint8_t mute, int a, int b, int c);
int Fpga_Transfer(uint32_t* frame, uint8_t* status, int mode);
void Fpga_ReadConfig();
void checkFskSignSchedule();
void BoardTemperatureMeasure();
void readBoardInputs();
void FpgaRegMailbox_Service();

// RF power chain.
int RFControlLoop_OSK(uint32_t a, uint32_t b);
int RFControlLoop_VASK(uint32_t a, uint32_t b);
int RFControlLoop_TREL(uint32_t a, uint32_t b);
void SPS_Task();

// Alarms and transmitter logic.
void pollTlcTask();
void ComputeAlarmConditions();
void ScanAlarms();
void ServiceReprogramRequests();
void SetAlarms();
void LogicaTx_SetDefaults();
void LogicaTx_Task();

// Audio, RDS and FM receiver.
void InputSwitchTick();
void fmRx_MeasurePollig();
void GBE_PollStatus();
void AP_ReadMeters();
void UECP_PollPort();
void RDS_Mng();

// Persistence and upgrade.
void upgradeRun();

// Links.
int initFactoryTcpSocket();
void runFactoryTcpServer();

// Timing.
void GSM_ThreadStep();
