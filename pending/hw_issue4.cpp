// Stand-ins for hardware operations that the configuration setters call.
#include "hw/boardIo.h"
#include "hw/eepromManager.h"
#include "hw/fpgaFrame.h"
#include "platform/io.h"

#include <cstdio>

int EEM_RemoveEEP()
{
    printf("\nEEM_RemoveEEP!");
    return ioUnlink("/mnt/ubi0/conf/EE_File.img") == 0 ? 1 : -1;
}

int setDacAudioNotReset(uint8_t)
{
    return 0;
}

int setDacAudioMode(uint32_t)
{
    return 0;
}

int Fpga_PulseControlC()
{
    return 0;
}
