// sandboxCheck: checks, before anything is written there, that CORVANE_ROOT
// names a directory the host simulation may use as its sandbox (./run calls
// it first). Exit status 0, or 2 with one line saying why not.
#include "platform/paths.h"

#include <cstdio>

int main(int argc, char** argv)
{
    (void)argv;
    if (argc != 1) {
        fputs("usage: CORVANE_ROOT=DIR sandboxCheck\n", stderr);
        return 2;
    }
    // Resolving the root refuses an unsafe one.
    sandboxRoot();
    return 0;
}
