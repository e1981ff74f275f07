// Calls of stand-ins, told to whoever listens: a test sets the hook to
// record the order in which its code under test called modules that are not
// built yet. Without a hook nothing is written anywhere.
#pragma once

// Receives one line per stand-in call, e.g. "Fpga_PrepareConfig(0,1,0,0)".
extern void (*standInCallHook)(const char* call);

// Formats the call and hands it to the hook, when one is set.
void standInCall(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
