// The simulated board of the host simulation.
#pragma once

// Makes the sandbox skeleton and registers the simulated devices. Idempotent;
// called by platformInit() in every program of the host build.
void simBoardInit();

// Creates a directory and its parents below nothing in particular (an
// absolute host path). Returns 0 or -1.
int simMakeDirs(const char* hostPath);
