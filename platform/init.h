// Start-up of the platform, called first thing by every program of the
// system. Host simulation: makes the sandbox skeleton and brings up the
// simulated board. Board: nothing.
#pragma once

void platformInit();
