// Stand-in of the USB key mount: reports the mount as failed, so the loop
// keeps its mounted flag at 0, and unmounts nothing.
#include "display/usbKey.h"

namespace lumiro {

int mountUsbKey()
{
    return -1;
}

int umountUsbKey()
{
    return 0;
}

} // namespace lumiro
