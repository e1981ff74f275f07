// The USB key of the front panel: mounted at /mnt/usbkey when /dev/usbkey
// appears, unmounted when it goes.
#pragma once

namespace lumiro {

// 0 when the key is mounted (or was already).
int mountUsbKey();
// 0 when it is unmounted or nothing was mounted.
int umountUsbKey();

} // namespace lumiro
