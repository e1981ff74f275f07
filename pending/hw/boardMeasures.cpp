// Stand-in for the board's own measures: nothing is read, no alarm
// condition changes.
#include "hw/boardMeasures.h"

void BoardTemperatureMeasure() {}

void readBoardInputs() {}
