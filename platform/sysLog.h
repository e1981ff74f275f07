// The system log. On the board it is syslog(3); in the host simulation the
// lines go to /var/log/messages of the sandbox, never to the log of the
// machine running the simulation.
#pragma once

// priority as syslog's (LOG_ERR, ...); printf-style text.
void systemLog(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));
