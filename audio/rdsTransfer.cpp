// RDS block transfer: composers append groups to a run's blocks queue, the
// run writes the queue into the software FIFO whole or not at all, and
// RDS_Comm feeds the FPGA one group per exchange until its own FIFO is
// almost full. Everything runs on the RDS loop thread.
#include "audio/rdsTransfer.h"

#include "Config/keys/synchroKeys.h"
#include "audio/rdsSequencer.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/ringBuf.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"

#include <ctime>

namespace {

constexpr uint8_t kRegionWords = 1;  // the six words
constexpr uint8_t kRegionStatus = 2; // the status word
constexpr uint8_t kWidth32 = 2;
constexpr uint32_t kGroupBytes = 8;
constexpr uint32_t kTxOn = 1u << 16;
constexpr uint32_t kFifoEn = 1u << 17;

struct State {
    uint8_t storage[RDS_FIFO_BYTES];
    RingBuf fifo{storage, 0, 0, RDS_FIFO_BYTES, 0, 0};
    uint32_t frame[6] = {};
    uint8_t status[3] = {};
    bool exchangeWait = true;
};

State& st()
{
    static State s;
    return s;
}

uint32_t withParity(uint32_t w)
{
    for (int g = 0; g < 3; g++)
        w |= static_cast<uint32_t>(__builtin_parity((w >> (6 * g)) & 0x3Fu)) << (21 + g);
    return w;
}

} // namespace

int addGroupToBlocksQueue(uint16_t* queue, uint16_t* count, uint16_t block1, uint16_t block2, uint16_t block3,
                          uint16_t block4)
{
    if (block1 == 0 && block2 == 0 && block3 == 0 && block4 == 0)
        return -2;
    // A group goes in whole or not at all, so the queue always holds whole
    // groups for the FIFO.
    if (*count + 4 > RDS_QUEUE_BLOCKS) {
        DEBUG_PRINT(DBG_RDS, "ERROR Too many blocks to add [queue_index %d]!!", *count);
        return -1;
    }
    for (uint16_t b : {block1, block2, block3, block4})
        queue[(*count)++] = b;
    return 0;
}

int writeRdsFifo(const uint16_t* queue, uint16_t blocks)
{
    State& s = st();
    uint32_t free = RingBuf_Free(&s.fifo), bytes = 2u * blocks;
    DEBUG_PRINT(DBG_RDS, "rds_free_space=%d - blocks to write %d [%d bytes]", static_cast<int>(free), blocks,
                static_cast<int>(bytes));
    DEBUG_PRINT(DBG_RDS, "rds fifo write_count@%d - read_count@%d", static_cast<int>(s.fifo.writeCount),
                static_cast<int>(s.fifo.readCount));
    DEBUG_PRINT(DBG_RDS, "rds fifo head@%d - tail@%d", static_cast<int>(RingBuf_Head(&s.fifo)),
                static_cast<int>(RingBuf_Tail(&s.fifo)));
    if (blocks == 0 || free < bytes + 1 || free > s.fifo.size) {
        DEBUG_PRINT(DBG_RDS, "Rds FIFO not written! Unsufficient free space!");
        return 0;
    }
    uint8_t buf[2 * RDS_QUEUE_BLOCKS * 2];
    uint32_t n = 0;
    for (uint16_t i = 0; i < blocks && n + 2 <= sizeof buf; i++) {
        buf[n++] = static_cast<uint8_t>(queue[i]);
        buf[n++] = static_cast<uint8_t>(queue[i] >> 8);
    }
    uint32_t written = RingBuf_Write(&s.fifo, buf, n);
    if (written == 0)
        DEBUG_PRINT(DBG_RDS, "Rds FIFO full! Ret=%d", static_cast<int>(written));
    else if (written < bytes)
        DEBUG_PRINT(DBG_RDS, "Rds FIFO almost full! Ret=%d", static_cast<int>(written));
    return static_cast<int>(written);
}

void initRdsFifo()
{
    if (!rdsLoopOwnsCall(RDS_REQ_FIFO))
        return;
    State& s = st();
    RingBuf_Init(&s.fifo, s.storage, RDS_FIFO_BYTES);
}

uint32_t getRdsFifoUsed()
{
    return RingBuf_Used(&st().fifo);
}

int RDS_ManageBlocksQueue()
{
    if (getRdsFifoFree() == 0)
        return 0;
    uint8_t g[kGroupBytes];
    uint32_t n = RingBuf_Read(&st().fifo, g, kGroupBytes);
    if (n < kGroupBytes) {
        DEBUG_PRINT(DBG_RDS, "Too few blocks !! [%d bytes read]", static_cast<int>(n));
        return 1;
    }
    uint16_t b[4];
    for (int i = 0; i < 4; i++)
        b[i] = static_cast<uint16_t>(g[2 * i] | g[2 * i + 1] << 8);
    DEBUG_PRINT(DBG_RDS, "GROUP %d%c: b1=0x%.4X | b2=0x%.4X | b3=0x%.4X | b4=0x%.4X", b[1] >> 12,
                (b[1] & 0x0800) ? 'B' : 'A', b[0], b[1], b[2], b[3]);
    setRdsGroupBlocks(b);
    return 0;
}

void buildRdsFpgaWords(uint8_t muted)
{
    uint32_t* w = st().frame;
    for (uint32_t i = 0; i < 4; i++)
        w[i] = getRdsGroupBlock(i);
    w[4] = getRdsInternalLevelCode() | (muted ? 0 : kTxOn) | (getRdsFifoFree() ? kFifoEn : 0);
    w[5] = 1;
}

const uint32_t* getRdsFpgaWords()
{
    return st().frame;
}

void transferRdsFpgaWords(uint32_t frame[6], uint8_t status[3])
{
    for (int i = 0; i < 6; i++)
        frame[i] = withParity(frame[i] & ~(7u << 21));
    uint32_t word = 0;
    if (SemLock(SemAxiFpga, "SemAxiFpga") == 0) {
        fpgaWriteWords(frame, 6, kWidth32, kRegionWords, 0);
        if (st().exchangeWait)
            clockSleepUs(5);
        if (fpgaReadWords(&word, 1, kWidth32, kRegionStatus, 0) != 0)
            word = 0;
        SemUnlock(SemAxiFpga, "SemAxiFpga");
    }
    status[0] = static_cast<uint8_t>(word >> 16);
    status[1] = static_cast<uint8_t>(word >> 8);
    status[2] = static_cast<uint8_t>(word);
}

void updateRdsFifoStatus()
{
    const uint8_t* s = st().status;
    setRdsFifoAlmostFullFpga(s[2] & 1u);
    setRdsFifoStatusB((s[0] >> 1) & 1u);
    setRdsFifoStatusC((s[0] >> 2) & 1u);
    setRdsFifoFree(getRdsFifoAlmostFullFpga() != 1);
}

int RDS_Comm()
{
    uint8_t muted = rfMuteState.load();
    if (!isRdsEncoderOn())
        return 0;
    State& s = st();
    for (int pass = 0; pass < RDS_COMM_PASSES; pass++) {
        struct timespec now = {};
        clockGetTime(CLOCK_MONOTONIC, &now);
        RDS_ManageBlocksQueue();
        DEBUG_PRINT(DBG_RDS, "TransferCount: %d -> Time %li.%li ms - FIFO_EN %d, FIFO_A_EMPTY %d, FIFO_INTGR %d", pass,
                    static_cast<long>(now.tv_sec), now.tv_nsec / 1000000L, static_cast<int>(getRdsFifoFree()),
                    static_cast<int>(getRdsFifoStatusB()), static_cast<int>(getRdsFifoStatusC()));
        buildRdsFpgaWords(muted);
        transferRdsFpgaWords(s.frame, s.status);
        updateRdsFifoStatus();
        if (s.exchangeWait)
            clockSleepUs(1);
        if (getRdsFifoAlmostFullFpga() == 1)
            break;
    }
    return static_cast<int>(getRdsFifoAlmostFullFpga());
}

void setRdsExchangeWait(bool wait)
{
    st().exchangeWait = wait;
}
