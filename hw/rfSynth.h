// RF synthesizer and LTC6948 PLL.
#pragma once

// Chooses and programs the PLL of the fitted board; returns a status.
int initRfSynth();
