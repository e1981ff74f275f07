// Set-up shared by the fuzz targets that drive a link responder: a sandbox
// with its simulated board and the DbPool, and for those that go through the
// DCM layer one UART channel on a socket pair whose other end stands for the
// far station.
// Header only: every <folder>/fuzz/*.cpp is a fuzz target of its own.
#pragma once

#include "comtab/dbPool.h"
#include "links/dcm.h"
#include "platform/init.h"
#include "platform/paths.h"

#include <cstdlib>
#include <sys/mman.h>
#include <sys/socket.h>

// A broken invariant aborts, so libFuzzer keeps the input that broke it.
inline void fuzzCheck(bool ok)
{
    if (!ok)
        abort();
}

// A fresh sandbox under /tmp (CORVANE_ROOT) for this process, the platform
// started and the DbPool created (removed at exit). Called once.
inline void fuzzSandbox()
{
    char root[] = "/tmp/corvane-fuzz-XXXXXX";
    if (!mkdtemp(root))
        abort();
    setenv("CORVANE_ROOT", root, 1);
    platformInit();
    fuzzCheck(initDbAreaContainer() == 0);
    atexit([] { shm_unlink(shmObjectName("DbPool").c_str()); });
}

struct DcmFuzzLine {
    int peer = -1;   // the far station's end of the line
    int daemon = -1; // the daemon's end
    int channel = 0; // the DCM channel on the daemon's end
};

// The line of this process, made by the first call: the sandbox, the DCM
// layer initialised and the daemon's end of a non-blocking AF_UNIX socket
// pair of `socketType` (SOCK_STREAM or SOCK_DGRAM) registered as a UART
// channel; then `prepare` sets up the responder under test on that line.
// Later calls return the same line.
inline const DcmFuzzLine& dcmFuzzLine(int socketType, void (*prepare)(const DcmFuzzLine& line))
{
    static const DcmFuzzLine line = [&] {
        DcmFuzzLine n;
        fuzzSandbox();
        int ends[2];
        fuzzCheck(socketpair(AF_UNIX, socketType | SOCK_NONBLOCK, 0, ends) == 0);
        n.peer = ends[1];
        n.daemon = ends[0];
        DCM_Init();
        n.channel = DCM_RegisterChannel(ends[0], DCM_CH_UART);
        fuzzCheck(n.channel > 0);
        prepare(n);
        return n;
    }();
    return line;
}
