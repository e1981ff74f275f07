// System log of the board: syslog(3).
#include "platform/sysLog.h"

#include <cstdarg>
#include <syslog.h>

void systemLog(int priority, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    vsyslog(priority, format, ap);
    va_end(ap);
}
