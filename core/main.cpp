// Entry of the control daemon.
#include "core/startup.h"

int main(int argc, char** argv)
{
    return corvaneMain(argc, argv);
}
