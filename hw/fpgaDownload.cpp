// FPGA download bank selection.
#include "hw/fpgaDownload.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "core/base/logs.h"
#include "platform/io.h"

#include <fcntl.h>

namespace {

constexpr unsigned long kSelectBank = 0x6408;
constexpr int kAttempts = 4;

} // namespace

int Fpga_SelectDownloadBank(uint8_t bank)
{
    int r = 0;
    int fd = ioOpen("/dev/dwlfpga", O_RDONLY);
    if (fd < 0) {
        logErr("Open of MTD failed!");
        r = -1;
    }
    // The request is still made on a failed descriptor, and fails too.
    if (ioIoctl(fd, kSelectBank, &bank) < 0) {
        logErr("ioctl() VRL_DWLFPGA failed");
        r = -1;
    }
    if (fd >= 0)
        ioClose(fd);
    return r;
}

int Fpga_SelectDownloadBankRetry(uint8_t bank)
{
    uint8_t active = getActiveBank();
    int failed = 0;
    // An active bank other than 0 and 1 makes no attempt; the loop still ends.
    for (int round = 0; round < kAttempts; round++) {
        if (active > 1)
            continue;
        if (Fpga_SelectDownloadBank(static_cast<uint8_t>(active == 0 ? bank : bank + 10)) >= 0)
            break;
        failed++;
    }
    return failed;
}
