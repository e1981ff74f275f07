// Crash-safe replacement of a file: the new contents go to the file's path
// plus "_tmp", are synced and closed, and the temporary file is renamed over
// the file, so that after a power loss the file is either old or new. Paths
// are system paths (below the sandbox root in the host simulation).
#pragma once

#include <cstddef>

// Writes `len` bytes to `path` + "_tmp", syncs and closes it, renames it over
// `path` and syncs the directory. A symbolic link at `path` is kept: the file
// it points to is replaced. 0 written; -1 the temporary file cannot be
// created; -2 short write, failed sync or close (`*written` says how much was
// written); -3 the rename failed. On any failure the temporary file is
// removed and the file is left as it was.
int writePersistentFile(const char* path, const void* data, size_t len, size_t* written = nullptr);
// Syncs the directory that holds `path` (makes a rename durable).
int syncParentDir(const char* path);
