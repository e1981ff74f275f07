// Stand-in for the extended telecommand status: the TlcTlsExtended item that
// enables it is not a key row yet, so the status reads 0 without bus access,
// as it does while that item is 0.
#include "hw/smallDevices.h"

uint8_t getTlcExtStatusBits()
{
    return 0;
}
