// Board temperature and board inputs: the controller board's own measures of
// the 750 ms measurement step.
#pragma once

// Reads the board temperature sensor and raises or clears the board
// over-temperature alarm condition.
void BoardTemperatureMeasure();
// Reads the power and battery status inputs into their status fields.
void readBoardInputs();
