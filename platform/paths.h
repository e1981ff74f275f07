// Paths and global names.
//
// Every absolute path the system uses passes through sysPath(): on the board
// it is the identity; in the host simulation it is the same path below the
// sandbox root. Global names (System V keys, POSIX shared-memory names) pass
// through their own calls so that two sandboxes never collide.
#pragma once

#include <string>
#include <sys/types.h>

std::string sysPath(const char* absPath);
// The sandbox root of a host run ("" on the board).
const std::string& sandboxRoot();

key_t sysvKey(int key);
std::string shmObjectName(const char* name);
