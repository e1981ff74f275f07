// Crash handler: a segmentation fault on any thread is logged with a
// back-trace and ends the process with status 1.
#pragma once

void initCrashHandler();
void crashSignalHandler(int sig);
