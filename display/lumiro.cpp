// lumiro, the front-panel program: no arguments, runs until killed.
#include "display/displayMain.h"
#include "platform/init.h"


#include <cstdio>

int main()
{
    platformInit();
    // Lines reach a pipe or a log as they are printed.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    lumiro::displayStart();
    lumiro::displayRun();
}
