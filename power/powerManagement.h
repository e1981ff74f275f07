// The power management of the transmitter: the runtime power record of
// communication table 6, the derating of the driver power target and the
// low-power and reflected-power alarms and warnings. Its step runs in the
// transmitter logic's 10 ms task ("Ltx Thread"); the getters are read from
// other threads.
#pragma once

#include <cstdint>

// Once at the logic's start: the exciter-mode derating applied when the
// exciter is a slave, then the runtime record, the derating in force and
// the published alarm flags cleared.
void powerManagementInit();
// Every 10 ms: measured powers, derating, alarms, event lines, publish.
void powerManagementTask();
// Driver power target = exciter nominal power - derating in force + SWR
// derating, applied through applyDriverPower.
void applyDeratedPower();
// The derating in force (0.1 dB).
int32_t getDeratedPower();
void setDeratingInForce(uint32_t v);
// The published low-power alarm (1 while present).
uint8_t getPowerAlarmFlag();
// The published reflected alarm: the reflected-power lockout cause while set.
uint8_t getPowerRuntimeFlag();
void setPowerRuntimeFlag(uint8_t v);
// The release of the low-power alarm, consumed at the end of the next step.
uint8_t getLowPowerReleaseRequest();
void setLowPowerReleaseRequest(uint8_t v);
inline constexpr auto setLowPowerAlarmResetRequest = &setLowPowerReleaseRequest;
// Publishes the linear nominal power.
void publishLinearNominalPower();
// Table 6: transmitter forward power (0.1 mW, element 2), reflected power
// (0.1 mW, element 5) and forward power in percent of nominal (element 3).
uint32_t getTxForwardPower();
uint32_t getTxReflectedPower();
uint32_t getTxForwardPowerPercent();
// Element n (1..19) of the runtime power record.
int32_t getPowerRecordElement(uint32_t n);
