// Helpers for the tests of every folder: a fresh sandbox per test.
#pragma once

#include <string>

// Makes an empty sandbox under /tmp, makes it the sandbox root and brings up
// the simulated board in it. Returns its path.
std::string makeTestSandbox();
// Removes a sandbox made by makeTestSandbox.
void removeTestSandbox(const std::string& root);
// Reads a whole file of the sandbox ("" when missing).
std::string readSandboxFile(const char* absPath);
