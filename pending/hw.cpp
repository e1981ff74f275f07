// Stand-ins: hardware access.
#include "pending/pending.h"

uint32_t FpgaControlFrame[28];
uint8_t FpgaStatusBlock[30];

void Fpga_PrepareConfig(uint8_t, int, int, int) {}
int Fpga_Transfer(uint32_t*, uint8_t*, int) { return 0; }
void Fpga_ReadConfig() {}
void checkFskSignSchedule() {}
void BoardTemperatureMeasure() {}
void readBoardInputs() {}
void FpgaRegMailbox_Service() {}
