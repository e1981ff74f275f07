// Fuzz target: the factory server's request path as one turn runs it, on the
// real identity setters over the simulated board EEPROM. Input: the bytes
// waiting on an accepted connection. What the state machine does not take as
// a complete frame gets no reply and leaves the serial number and both MAC
// addresses as they were; a taken frame's reply fits its length byte and
// carries a correct checksum, and only a whole write of the serial number
// or of a MAC address changes the identity.
#include "Config/keys/networkKeys.h"
#include "Config/keys/unitKeys.h"
#include "comtab/dbPool.h"
#include "core/base/locks.h"
#include "links/factoryTcp.h"
#include "platform/clock.h"
#include "platform/init.h"
#include "platform/paths.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/mman.h>

namespace {

void check(bool ok)
{
    if (!ok)
        abort();
}

struct Identity {
    uint8_t serial[12];
    uint8_t front[6];
    uint8_t rear[6];
    bool operator==(const Identity& o) const { return memcmp(this, &o, sizeof *this) == 0; }
};

Identity identity()
{
    Identity id;
    getSerialNumber(id.serial);
    getFrontMacActive(id.front);
    getRearMacActive(id.rear);
    return id;
}

char fuzzRoot[] = "/tmp/corvane-fuzz-XXXXXX";

void cleanUp()
{
    sem_sys_remove();
    shm_unlink(shmObjectName("DbPool").c_str());
    std::error_code ignored;
    std::filesystem::remove_all(fuzzRoot, ignored); // seam-ok: the fuzz run's own sandbox root
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!mkdtemp(fuzzRoot))
        abort();
    setenv("CORVANE_ROOT", fuzzRoot, 1);
    platformInit();
    // EEPROM write cycles wait on the clock: a virtual one keeps runs fast.
    clockUseVirtual();
    check(initDbAreaContainer() == 0);
    sem_sys_init();
    atexit(cleanUp);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The server reads the first byte, then at most 8192 more at once; a
    // first byte other than the start byte closes the connection.
    if (size < 1 || size > 8193 || data[0] != 0xFE)
        return 0;
    const Identity before = identity();

    FTS_ResetReceiver();
    uint8_t peer = 0, command = 0, request[FTS_DATA_MAX] = {};
    int reqLen = -1, broadcast = -1;
    bool taken = false;
    for (size_t i = 0; i < size && !taken; i++)
        taken = FTS_RecvByte(data[i], 88, &peer, &command, request, &reqLen, &broadcast) == 1;
    if (!taken) {
        check(identity() == before);
        return 0;
    }
    check(reqLen >= 0 && reqLen <= FTS_DATA_MAX);
    check(broadcast == 0 || broadcast == 1);
    check(command != 1 && command != 0xFE && command != 0xFC && command != 0xFD && !(command >= 0x64 && command <= 0x69));

    uint8_t reply[FTS_REPLY_MAX], out[FTS_REPLY_MAX];
    memset(reply, 0xA5, sizeof reply);
    int replyLen = -1;
    uint8_t replyCommand = command;
    int due = FTS_ExecuteCommand(request, reqLen, reply, &replyLen, &replyCommand);
    if (!due) {
        check(identity() == before);
        return 0;
    }
    check(replyLen >= 0 && replyLen <= FTS_REPLY_MAX);
    if (replyCommand == 140)
        check(identity() == before); // a read changes nothing
    if (replyCommand == 139) {
        check(replyLen == 14 && (reply[0] == 0 || reply[0] == 1));
        if (reply[0] == 1)
            check(identity() == before);
        else
            check(reqLen >= 3 && request[1] == 2);
    }
    if (!FTS_BuildReply(broadcast ? 0xF0 : 88, peer, replyCommand, reply, replyLen, out))
        return 0;
    int n = out[0];
    check(n == replyLen + 9 && n + 1 <= FTS_REPLY_MAX);
    check(out[1] == 0xFE && out[n - 2] == 0xFC && out[n] == 0xFD);
    unsigned sum = 0;
    for (int i = 1; i <= n - 2; i++)
        sum += out[i];
    check(static_cast<uint8_t>(sum) == out[n - 1]);
    return 0;
}
