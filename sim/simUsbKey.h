// The simulated USB key: inserting it makes the sandbox's /dev/usbkey and
// keeps a copy of a folder's tree as the key's files; the mount stand-in
// shows those files at the mount point for a vfat mount. Removing it takes
// both away.
#pragma once

// Where the key's files are kept, below the sandbox.
constexpr const char* kSimUsbKeyStore = "/var/lib/standin/usbkey";

// 0, or -1 (with a line on standard error) when `hostDir` is not a folder
// or cannot be copied.
int simUsbInsert(const char* hostDir);
// 0; removing an absent key does nothing.
int simUsbRemove();
