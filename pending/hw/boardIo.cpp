// Stand-in for the audio-DAC signals of the board I/O: nothing is driven;
// each write reports success.
#include "hw/boardIo.h"

int setDacAudioNotReset(uint8_t)
{
    return 0;
}

int setDacAudioMode(uint32_t)
{
    return 0;
}

// Stand-ins for the output-matrix and line-termination bits: nothing is
// driven; each write reports success.
int setAesEbuRdsSel(uint8_t)
{
    return 0;
}

int setTsAesEbuSel(uint8_t)
{
    return 0;
}

int configOutputMatrixHw(uint8_t)
{
    return 0;
}

int writeOutputMatrixHw(uint8_t)
{
    return 0;
}

int setAudioLeftTerm(uint8_t)
{
    return 0;
}

int setAudioRightTerm(uint8_t)
{
    return 0;
}

int setAudioRdsTerm(uint8_t)
{
    return 0;
}

int setMpxDigTerm(uint8_t)
{
    return 0;
}

int setPpsTerm(uint8_t)
{
    return 0;
}
