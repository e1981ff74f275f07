// File and storage helpers: access tests, file types, copy and removal,
// one-line text files, persistent writes, firmware version files and raw
// binary dumps. Paths are system paths (below the sandbox root in the host
// simulation).
#pragma once

#include "core/base/persistentFile.h"

#include <cstddef>
#include <cstdint>

int checkReadAccess(const char* path);  // 0 readable, -1 not
int checkWriteAccess(const char* path); // 0 writable, -1 not
// 0 when `dir` holds an entry named exactly `name`, 1 when not (or when the
// directory cannot be opened).
int dirLacksEntry(const char* dir, const char* name);
// 0 missing or not accessible, 1 directory, 2 anything else.
int getPathType(const char* path);
// Removes a path that exists and is no directory: 1 removed, 0 otherwise.
int removeFileIfPresent(const char* path);
// Removes a directory tree: 0 removed (or not openable), 1 when the final
// rmdir fails.
int removeDirRecursive(const char* path);
// 0 done, -1 source not openable, -4 source empty, -3 destination not
// creatable, -2 fewer bytes copied than the source holds.
int copyFile(const char* src, const char* dst);
// The first line that is neither empty nor a "#" comment, newline kept, in a
// buffer the caller releases with free(); null at end of file or when the
// file cannot be opened.
char* getStringFromFile(const char* path);
// Replaces the file with `text` (no newline added): 0 written, -1 failed.
// With mode "w" a regular file is replaced whole through a synced "_tmp"
// file (sysfs and procfs attributes are written in place); any other mode
// is passed to fopen as it is.
int writeStringToFile(const char* path, const char* text, const char* mode = "w");
// CRC-32 of the first len-4 bytes against the little-endian word in the last
// four: 0 equal, -1 not.
int verifyFile(const uint8_t* buf, uint32_t len);
// 1 when /proc/mounts shows a /dev/sd device on /mnt/usbkey, else 0; the
// system image's USB-key status word follows (0 mounted, 1 not).
int isUsbKeyMounted();
// Firmware version files into the image's version words: 0 when the build
// file could be read, else -1.
int readFwVersionFiles();
int readStandbyFwVersion();
// Raw dumps of `count` 16-bit words.
int loadFromFile(const char* path, uint32_t count, uint16_t* buf);
int saveToFile(const char* path, uint32_t count, const uint16_t* buf);
