// Helpers for the tests of every folder: a fresh sandbox per test, files
// and programs of a sandbox, and waiting on something that runs in real time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Makes an empty sandbox under /tmp, makes it the sandbox root and brings up
// the simulated board in it. Returns its path.
std::string makeTestSandbox();
// The same with a board built from a profile text in place of the default
// profile.
std::string makeTestSandboxWithProfile(const std::string& profileText);
// Removes a sandbox made by makeTestSandbox.
void removeTestSandbox(const std::string& root);
// Reads a whole file of the sandbox ("" when missing).
std::string readSandboxFile(const char* absPath);
// zlib's crc32 of a buffer, loaded at run time as an independent
// implementation to check golden CRCs against. *ok is false without zlib.
uint32_t zlibCrc32(const void* data, size_t len, bool* ok);
// Runs a command line with CORVANE_ROOT set to a sandbox; returns its
// standard output and error, *status its exit code.
std::string runInSandbox(const std::string& root, const std::string& command, int* status = nullptr);
// One command of a table of simctl knobs: its arguments, the exit status it
// gives and a line the listing shows after it.
struct SimctlSet {
    const char* args;
    int status;
    const char* shows;
};
// Runs each command with the simctl program in the sandbox and expects its
// status and its line in the output of `simctl <list>` after it.
void expectSimctlSets(const std::string& root, const std::string& simctl, const std::string& list,
                      const std::vector<SimctlSet>& sets);
// Checks `done` every `stepMs` of real time until it holds or `timeoutMs`
// have passed; returns whether it held. For what runs in real time (the
// daemon, its children); code on the virtual clock is moved on instead.
bool waitUntil(const std::function<bool()>& done, int timeoutMs, int stepMs = 100);
// The lock that lets one daemon at a time use a sandbox: an flock on
// run/daemon.lock below its root, the lock ./run takes. Returns a descriptor
// that holds it and is not close-on-exec, so a daemon executed after it
// holds the lock for its life; -1 when another process holds it.
int takeSandboxLock(const std::string& root);
