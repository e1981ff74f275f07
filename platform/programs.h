// System programs run by the system's programs: where a program is found,
// the environment it gets and how a shell command line reaches it. On the
// board these are the system's own; in the host simulation programs and
// redirections resolve below the sandbox root, so a command can never reach
// a program or a file of the machine running the simulation.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Where `program` is executed from: an absolute system path (mapped below
// the sandbox root in the host simulation), a relative path as it is, or a
// bare name looked up on the system's program search path (in its first
// folder when found nowhere, so the exec fails cleanly).
std::string programPath(const char* program);
// The environment of a child: the caller's own, with the search path of
// the sandbox's program folders in the host simulation.
std::vector<std::string> programEnvironment();
// A shell command line with every absolute path that starts a word (a
// program or a redirection target) moved below the sandbox root; quoted
// text is left as it is. On the board it is the line.
std::string mapShellLine(const char* line);
// Waits for child `pid` (through EINTR): its exit status, 128 + signal when
// it was killed, -1 when it cannot be waited for.
int waitChildStatus(pid_t pid);
// Runs a command line with /bin/sh -c and waits for it: its exit status
// (128 + signal when killed), -1 when it could not be started.
int runShellLine(const char* line);
