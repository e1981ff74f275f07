// Cost of one RDS group from its composer to the six FPGA words: the
// composer, the blocks queue, the software FIFO write, taking the group out
// and the words with their parity bits (without the 5 us exchange wait). A
// group is 87.6 ms on air; the budget is 10 us.
#include "Config/keyTable.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/synchroKeys.h"
#include "audio/rdsComposers.h"
#include "audio/rdsDataSet.h"
#include "audio/rdsTransfer.h"
#include "core/base/locks.h"
#include "hw/fpgaWindows.h"
#include "platform/paths.h"
#include "testing/testSupport.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace {

void setUp()
{
    for (const CfgKeyDesc& d : cfgKeyTable)
        cfgApplyDefault(&d);
    SemMutexInit();
    initAxi();
    setRdsExchangeWait(false);
    setRdsEncoderOn(1);
    auto put = [](int slot, const void* v, uint32_t n) {
        memcpy(rdsElement(slot)->data, v, n);
        rdsElement(slot)->length = n;
        rdsElement(slot)->valid = 1;
    };
    uint16_t pi = getPI(0), pin = getPIN(0);
    uint8_t pty = 10, af = 3, ecc = 0xE0, zero = 0;
    put(RDS_SLOT_PI, &pi, 2);
    put(RDS_SLOT_PIN, &pin, 2);
    put(RDS_SLOT_PTY, &pty, 1);
    put(RDS_SLOT_TP, &zero, 1);
    put(RDS_SLOT_TA, &zero, 1);
    put(RDS_SLOT_AF, &af, 1);
    put(RDS_SLOT_ECC, &ecc, 1);
    put(RDS_SLOT_PS, "RADIO  1", 8);
    setAFL(0, 0, 0x0A141E00u);
    setCustomCT(1);
    setCustomECC(1);
    setCustomRT(1);
    for (const char* dir : {"/mnt", "/mnt/ubi0", "/mnt/ubi0/conf", "/mnt/ubi0/conf/rds"})
        mkdir(sysPath(dir).c_str(), 0755);
    std::ofstream(sysPath("/mnt/ubi0/conf/rds/rt_rds_1")) << "A RadioText of some length for the benchmark\n";
    setRadioTextFlag(0, 1);
    setEON(1);
    setDataSetEONText(0, 0, 2);
}

// The default sequence's types that have data here: 0A, 14A, 1A, 2A, and a
// clock-time group armed each round.
int composeOne(int k, uint16_t* q, uint16_t* n)
{
    static const int kSeq[] = {0, 28, 0, 2, 4, 0, 8, 0, 28, 0, 4, 0};
    switch (kSeq[k % (sizeof kSeq / sizeof kSeq[0])]) {
    case 0: return composeGroupsType0A(0, q, n);
    case 2: return composeGroupsType1A(0, q, n);
    case 4: return composeGroupsType2A(0, q, n);
    case 8:
        rdsElement(RDS_SLOT_CT)->valid = 1;
        return composeGroupsType4A(q, n);
    default: {
        int r = composeGroupsType14AB(0, 0, 0, q, n);
        return r == 1 ? 0 : r;
    }
    }
}

void BM_RdsGroupToFpgaWords(benchmark::State& state)
{
    std::string root = makeTestSandbox();
    setUp();
    int k = 0;
    uint8_t status[3];
    for (auto _ : state) {
        uint16_t q[RDS_QUEUE_BLOCKS], n = 0;
        composeOne(k++, q, &n);
        writeRdsFifo(q, n);
        setRdsFifoFree(1);
        while (getRdsFifoUsed() >= 8) {
            RDS_ManageBlocksQueue();
            buildRdsFpgaWords(0);
            uint32_t words[6];
            memcpy(words, getRdsFpgaWords(), sizeof words);
            transferRdsFpgaWords(words, status);
            benchmark::DoNotOptimize(words);
        }
    }
    removeTestSandbox(root);
}
BENCHMARK(BM_RdsGroupToFpgaWords);

} // namespace
