// System programs run by the configuration and upgrade modules: started as a
// child with an argument vector (never through a shell) and waited for.
// Paths in the arguments are system paths: on the board they are the paths
// themselves, in the host simulation the sandbox's tools map them. Fixed
// command lines go through runShellLine (platform/programs.h).
#pragma once

#include <string>

// Runs `program` (an absolute system path or a bare name on the program
// search path) with `argv` (null-terminated) and waits: its exit status
// (128 + signal when killed), 127 when it could not be executed (the child
// ends at once with that status, doing nothing else), -2 when fork failed.
// With `cwd` (a system path) the program starts in that directory.
int runChildProgram(const char* program, const char* const argv[], const char* cwd = nullptr);

// The same, with the program's standard output and error collected in `out`.
int runChildCapture(const char* program, const char* const argv[], std::string& out);
