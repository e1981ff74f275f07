// The hook that stand-ins report their calls to.
#include "pending/standIns.h"

#include <cstdarg>
#include <cstdio>

void (*standInCallHook)(const char* call) = nullptr;

void standInCall(const char* fmt, ...)
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
