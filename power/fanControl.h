// Fan control of the amplifier: the variant that fits the HPA model switches
// the amplifier's fans through an expander or drives the board's fan
// controller, and watches the fans for the fan alarms.
#pragma once

// Runs the variant of the fitted HPA model; called on every pass of the
// power loop.
void SystemFanControl();

// Expander variants: model 1, 2, 4 and 5.
void SystemFanControl_IF2();
void SystemFanControl_IF3();
void SystemFanControl_IF5();
void SystemFanControl_IF6();
// Fan controller variants: model 3 (automatic mode) and the others (duty by
// temperature).
void SystemFanControl_AUTO();
void SystemFanControl_MAN();

// Returns every variant to its start state (tests).
void fanControlResetForTest();
