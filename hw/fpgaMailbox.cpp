// The FPGA register mailbox.
#include "hw/fpgaMailbox.h"

#include "hw/fpgaWindows.h"
#include "hw/ioExpanders.h"
#include "hw/rfDac.h"
#include "hw/rfSynth.h"
#include "hw/spiConverters.h"

#include <cstdio>
#include <cstring>

std::atomic<uint8_t> MainLoopSuspend{0};
uint32_t FpgaMailboxWord = 0;

namespace {

constexpr uint32_t kPendingBit = 0x80000000u;
constexpr uint32_t kWriteBit = 0x40000000u;
constexpr uint32_t kPairsOffset = 4;
constexpr uint32_t kPairWords = 2 * FPGA_MAILBOX_MAX_PAIRS;
constexpr uint8_t kDeviceCount = 8;

using DumpFn = int (*)(uint32_t* pairs, uint32_t* count);
using SetFn = int (*)(uint32_t reg, uint32_t value);
using ProgramFn = int (*)();

int expDump(uint32_t* pairs, uint32_t* count, uint8_t id)
{
    return ioExpDumpPca9655(pairs, count, id);
}

int expSet(uint32_t reg, uint32_t value, uint8_t id)
{
    return ioExpMailboxWrite(&reg, &value, id);
}

template <uint8_t Id>
int expDumpId(uint32_t* pairs, uint32_t* count)
{
    return expDump(pairs, count, Id);
}

template <uint8_t Id>
int expSetId(uint32_t reg, uint32_t value)
{
    return expSet(reg, value, Id);
}

// Device table by id 1..8: dump, set one register, program after all pairs.
struct MailboxDevice {
    DumpFn dump;
    SetFn set;
    ProgramFn program;
};

const MailboxDevice kDevices[kDeviceCount] = {
    {RfSynth_Dump, RfSynth_SetReg, RfSynth_Program},
    {QM_Dump, QM_SetReg, QM_ProgramShadow},
    {expDumpId<3>, expSetId<3>, nullptr},
    {expDumpId<4>, expSetId<4>, nullptr},
    {expDumpId<5>, expSetId<5>, nullptr},
    {expDumpId<6>, expSetId<6>, nullptr},
    {dacWordsDump, dacWordSetReg, dacWordsSend},
    {LTC6948_Dump, LTC6948_SetReg, LTC6948_Program},
};

const MailboxDevice* deviceOf(uint8_t id)
{
    return id >= 1 && id <= kDeviceCount ? &kDevices[id - 1] : nullptr;
}

struct MailboxState {
    // Pair buffers: what the device dumps, and what the agent wrote. The
    // largest dump (86 pairs) fits.
    uint32_t out[kPairWords];
    uint32_t in[kPairWords];
};

MailboxState& st()
{
    static MailboxState s;
    return s;
}

} // namespace

int FpgaRegMailbox_Service()
{
    MailboxState& s = st();
    int r = fpgaReadWords(&FpgaMailboxWord, 1, 2, FPGA_MAILBOX_REGION, 0);
    uint32_t word = FpgaMailboxWord;
    if (r != 0 || !(word & kPendingBit))
        return r;
    memset(s.out, 0, sizeof s.out);
    memset(s.in, 0, sizeof s.in);
    uint8_t page = (word >> 24) & 0x0F;
    uint8_t id = (word >> 16) & 0xFF;
    uint32_t count = (word >> 8) & 0xFF;
    uint32_t answer = word & ~kPendingBit;

    if (!(word & kWriteBit)) {
        uint32_t pairs = 0;
        if (page == 0 || id == 0) {
            printf("ErrorRead: PageReg or DevId or NumOp are null!\n");
            fflush(stdout);
        } else {
            if (const MailboxDevice* d = deviceOf(id))
                d->dump(s.out, &pairs);
            if (pairs > FPGA_MAILBOX_MAX_PAIRS)
                pairs = FPGA_MAILBOX_MAX_PAIRS;
            fpgaWriteWords(s.out, 2 * pairs, 2, FPGA_MAILBOX_REGION, kPairsOffset);
            // The answer carries the number of pairs in bits 8-15, whatever
            // the request held there.
            answer = (answer & ~0xFF00u) | (pairs & 0xFF) << 8;
        }
    } else {
        MainLoopSuspend = 1;
        if (page == 0 || id == 0 || count == 0) {
            printf("ErrorWrite: PageReg or DevId or NumOp are null!\n");
            fflush(stdout);
        } else if (count > FPGA_MAILBOX_MAX_PAIRS) {
            // More pairs than the buffers hold: nothing is read or stored.
            printf("ErrorWrite: NumOp %u above %u!\n", count, FPGA_MAILBOX_MAX_PAIRS);
            fflush(stdout);
        } else {
            fpgaReadWords(s.in, 2 * count, 2, FPGA_MAILBOX_REGION, kPairsOffset);
            for (uint32_t i = 0; i < count; i++)
                printf("Reg[0x%X]=0x%X\n", s.in[2 * i], s.in[2 * i + 1]);
            fflush(stdout);
            if (const MailboxDevice* d = deviceOf(id)) {
                for (uint32_t i = 0; i < count; i++)
                    d->set(s.in[2 * i], s.in[2 * i + 1]);
                if (d->program)
                    d->program();
            }
        }
    }
    return fpgaWriteWords(&answer, 1, 2, FPGA_MAILBOX_REGION, 0);
}
