// System log of the host simulation: one line a message in the sandbox's
// /var/log/messages, behind its priority.
#include "platform/sysLog.h"

#include "platform/paths.h"

#include <cstdarg>
#include <cstdio>
#include <string>

void systemLog(int priority, const char* format, ...)
{
    char text[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    std::string line = "<" + std::to_string(priority) + "> " + text;
    if (line.empty() || line.back() != '\n')
        line += '\n';
    if (FILE* f = fopen(sysPath("/var/log/messages").c_str(), "a")) {
        fputs(line.c_str(), f);
        fclose(f);
    }
}
