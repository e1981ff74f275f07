// The audio routing model over its generated tables.
#include "audio/inputRouting.h"

namespace {

struct RoutingRow {
    int8_t words[int(ROUTE_WORDS) + int(MATRIX_WORDS)]; // -1: not written
    int8_t watched;                           // bit k: input k; -1: flags left as they are
};

#include "audio/inputRoutingTables.inc"

} // namespace

void getInputRoutingMap(uint32_t code, uint32_t routing[ROUTE_WORDS], uint32_t matrix[MATRIX_WORDS])
{
    routing[ROUTE_MPX_DIG_INS] = 0;
    if (code >= INPUT_CFG_COUNT)
        return;
    const RoutingRow& r = kRoutingRows[code];
    for (int w = 0; w < ROUTE_WORDS; w++) {
        if (r.words[w] >= 0)
            routing[w] = static_cast<uint32_t>(r.words[w]);
    }
    for (int w = 0; w < MATRIX_WORDS; w++) {
        if (r.words[int(ROUTE_WORDS) + w] >= 0)
            matrix[w] = static_cast<uint32_t>(r.words[int(ROUTE_WORDS) + w]);
    }
}

uint32_t getInputMatrixCode(uint32_t backupInput, uint32_t backupRds)
{
    if (backupInput >= BACKUP_INPUT_COUNT)
        return INPUT_CFG_DISABLED;
    // An RDS mode outside the three is taken as no RDS.
    return kBackupCodes[backupInput][backupRds < 3 ? backupRds : 0];
}

void getMatrixEnableVector(uint32_t code, uint32_t flags[INPUT_FLAGS])
{
    int watched = code < INPUT_CFG_COUNT ? kRoutingRows[code].watched : 1 << INPUT_L_MPX;
    if (watched < 0)
        return;
    for (int k = 0; k < INPUT_FLAGS; k++)
        flags[k] = (watched >> k) & 1;
}

uint32_t getMatrixSelector(const uint32_t flags[INPUT_FLAGS])
{
    if (flags[INPUT_L_MPX] == 1)
        return 0;
    if (flags[INPUT_R_AUX] == 1)
        return 1;
    if (flags[INPUT_DIG_AUX_MPX2] == 1)
        return 2;
    if (flags[INPUT_MPXO_IP] == 1 || flags[INPUT_MPXO_AES] == 1)
        return 3;
    return 0;
}

uint32_t isSpecialInputCode(uint32_t code)
{
    return code == 23 || code == 27 || code == 31 ? 1 : 0;
}

const char* getInputCfgName(uint32_t code)
{
    return code < INPUT_CFG_COUNT ? kInputCfgNames[code] : "Disabled";
}
