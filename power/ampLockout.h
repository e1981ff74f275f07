// Amplifier lockout and telecommand status poll.
#pragma once

// Called on every main-loop pass; runs its own 80 ms period.
void pollTlcTask();
