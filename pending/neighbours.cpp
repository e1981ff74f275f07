// Stand-ins: RF power chain, alarms, audio, command plane, persistence,
// links and timing services called by the main loop and the threads.
#include "pending/pending.h"

#include "core/mainLoop.h"
#include "core/startup.h"

int RFControlLoop_OSK(uint32_t, uint32_t) { return 0; }
int RFControlLoop_VASK(uint32_t, uint32_t) { return 0; }
int RFControlLoop_TREL(uint32_t, uint32_t) { return 0; }
void SPS_Task() {}

void pollTlcTask() {}
void ComputeAlarmConditions() {}
void ScanAlarms() {}
void ServiceReprogramRequests() {}
// No alarm is latched yet: the decision is the global mute alone.
void SetAlarms() { rfMuteState = globalMute.load() ? 1 : 0; }
void LogicaTx_SetDefaults() {}
void LogicaTx_Task() {}

void InputSwitchTick() {}
void fmRx_MeasurePollig() {}
void GBE_PollStatus() {}
void AP_ReadMeters() {}
void UECP_PollPort() {}
void RDS_Mng() {}

void commandTableTick() {}

void upgradeRun() {}

int initFactoryTcpSocket() { return 0; }
void runFactoryTcpServer() {}

void GSM_ThreadStep() {}
