// Transmitter logic: who controls the transmitter, keypad and lockout.
#pragma once

// Start-up step 7: transmitter-logic defaults in the system image.
void LogicaTx_SetDefaults();
// Start of the transmitter logic (first step of the unit's service start).
void LogicaTx_Init();
// Start-up: publishes the FSK identity words.
void LogicaTx_PublishFskTxId();
// First half of the "Ltx Thread" body, every 10 ms.
void LogicaTx_Task();

#include <cstdint>

// The transmitter ON state (1 ON, 0 stand-by) is the RF region's
// getTxOnState / setTxOnState (Config/keys/rfKeys.h).
// Starts (1) or ends (0) a transmitter power change.
void LogicaTx_SetTxStatus(uint8_t flag);
// 1 while a transmitter power change runs.
uint8_t LogicaTx_IsPowerChanging();
// The lockout state (1 = transmitter locked out).
void LogicaTx_SetLockoutState(uint8_t state);
uint8_t LogicaTx_GetLockoutState();
// Summary flags 1 (TX warning), 2 and 3 (TX alarms); 0 for another n.
uint8_t LogicaTx_GetSummaryFlag(uint8_t n);
// The unit's own link-bus address (88 selects UDP link 1).
uint8_t LogicaTx_GetOwnLinkAddress();
// The front-panel key word published as (13, 19).
uint32_t LogicaTx_GetKeyLockWord();
void LogicaTx_SetKeyLockWord(uint32_t word);
// The factory-reset level chosen through table 13 (values below 3 kept).
void LogicaTx_SetKeyMode(uint32_t mode);
uint8_t LogicaTx_GetCommandWord();

// The slave connected flag (1 while a slave exciter is attached to its
// master).
void LogicaTx_SetSlaveConnected(uint8_t v);
// Arms (1: now + LTX_Connection_Timeout seconds) or disarms (0) the LTX
// deadline.
void LogicaTx_ArmLtxDeadline(uint8_t arm);
// LOCAL forced from the change-over unit.
void LogicaTx_SetLocalForcedByChangeOver(uint8_t v);
uint8_t LogicaTx_IsLocalForcedByChangeOver();
// The change-over link state word (1 while the link is up).
uint32_t LogicaTx_GetChangeOverLink();
// Start-up: the logic state from its EEPROM items.
void LogicaTx_RestoreFromEeprom();
// The control mode: 1 LOCAL, 0 REMOTE.
uint8_t LogicaTx_GetControlMode();

// The control-mode word set by the LOCAL/REMOTE command handlers (event 1).
void LogicaTx_SetManagementMode(uint8_t mode);
// Item 1 := mode; LOCAL disarms, REMOTE re-arms the LTX deadline.
void LogicaTx_SetLocalMode(uint8_t mode);
// The LTX deadline under its other name (1 arms it).
void LogicaTx_StartBackToRemoteTimer(uint8_t arm);
void LogicaTx_SetChangeOverLink(uint32_t v);
uint32_t LogicaTx_GetTxOnState();
void LogicaTx_SetTxOnState(uint32_t v);
uint32_t LogicaTx_GetTxStartRequest();
void LogicaTx_SetTxStartRequest(uint32_t v);
uint32_t LogicaTx_GetWebControl();
void LogicaTx_SetWebControl(uint32_t v);
uint8_t LogicaTx_GetLockoutEvent();
void LogicaTx_SetLockoutEvent(uint8_t v);
uint8_t LogicaTx_GetLockoutRetry();
void LogicaTx_SetLockoutRetry(uint8_t v);
uint32_t LogicaTx_GetLockoutStartTime();
void LogicaTx_SetLockoutStartTime(uint32_t v);
uint32_t LogicaTx_GetLocalStartTime();
void LogicaTx_SetLocalStartTime(uint32_t seconds);
// Item 5 := 0 and the power runtime flag cleared.
void LogicaTx_ClearSlaveFlag();
// The change-over master mode (event 70) and the LTX link word.
uint32_t LogicaTx_GetChangeOverMasterMode();
void LogicaTx_SetChangeOverMasterMode(uint32_t v);
uint32_t LogicaTx_GetLtxLink();
void LogicaTx_SetLtxLink(uint32_t v);
// Arms the change-over link deadlines (a message from the change-over unit).
void LogicaTx_ChangeOverMessageSeen();
uint8_t LogicaTx_GetSlaveConnected();
// The procedure state of the lockout (0 watch, 1 start retry, 2 wait).
uint32_t LogicaTx_GetLockoutProcState();

// 1 when a lockout cause is present.
int LogicaTx_CheckExtLockouts();
int LogicaTx_CheckIntLockouts();
// Every unit and power supply to ON / stand-by.
void LogicaTx_AllUnitsOn();
void LogicaTx_AllUnitsStandby();

// Unit slots 0..4 (larger slots ignored): one good / failed exchange.
void UnitSlot_SetConnected(uint32_t slot);
void UnitSlot_SetDisconnected(uint32_t slot);
// Set by the unit-link code when it creates the unit of a slot.
void UnitSlot_Configure(uint32_t slot, int32_t connectThreshold, int32_t disconnectThreshold,
                        void (*onConnect)(uint32_t slot));
uint32_t UnitSlot_IsConnected(uint32_t slot);
uint32_t LogicaTx_GetConnectedUnits();
// The LTX deadline in hundredths (0 = not armed).
uint32_t LogicaTx_GetLtxDeadline();
// The status summary step of the task: summary flags 1-3 from the event
// bitmap, and the end of a power change.
void LogicaTx_StatusSummaryStep();

// Returns the transmitter logic to its start state: no power change, no
// lockout, every unit slot unconfigured (tests).
void LogicaTx_ResetForTest();
