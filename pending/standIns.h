// Calls of stand-ins, told to whoever listens: a test sets the hook to
// record the order in which its code under test called modules that are not
// built yet. Without a hook nothing is written anywhere. Header only, so
// that pending/ builds nothing while no stand-in is left.
#pragma once

#include <cstdarg>
#include <cstdio>

// Receives one line per stand-in call, e.g. "Fpga_PrepareConfig(0,1,0,0)".
inline void (*standInCallHook)(const char* call) = nullptr;

// Formats the call and hands it to the hook, when one is set.
__attribute__((format(printf, 1, 2))) inline void standInCall(const char* fmt, ...)
{
    if (!standInCallHook)
        return;
    char line[128];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    standInCallHook(line);
}
