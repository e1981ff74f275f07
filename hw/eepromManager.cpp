// EEPROM manager: two verified data banks in a store with a header.
#include "hw/eepromManager.h"

#include "core/base/crc32.h"
#include "core/base/utils.h"
#include "hw/eepromDevices.h"
#include "platform/clock.h"
#include "platform/paths.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kStorePath = "/mnt/ubi0/conf/EE_File.img";
constexpr const char* kFwVersionPath = "/etc/fw_version";
// Where the header comes from at start-up: 2 the board EEPROM (copied into
// the store), 1 the store itself.
constexpr int EemHeaderSource = 2;
constexpr int kAttempts = 3;
constexpr uint32_t kCheckFirst = 3; // the check byte covers bank bytes 3..20
constexpr uint32_t kCheckLast = 20;
constexpr uint32_t kCommitDelayCs = 300;
constexpr uint32_t kCreateBlock = 1024;

struct EemState {
    std::mutex lock;
    int mode = 0;
    uint8_t eemActiveBank = 0;
    uint8_t status = EEM_STATUS_OK;
    uint8_t headerLoaded = 0;
    uint8_t header[EEM_HEADER_SIZE] = {};
    uint8_t work[EEM_BANK_SIZE] = {};
    // The last written item, copied into the other bank at the deadline
    // (hundredths clock; 0 = nothing pending).
    std::vector<uint8_t> pending;
    uint16_t pendingOffset = 0;
    uint32_t pendingDeadline = 0;
};

EemState& st()
{
    static EemState s;
    return s;
}

std::string storePath()
{
    return sysPath(kStorePath);
}

uint32_t bankBase(int bank)
{
    return bank == 0 ? EEM_BANK0 : EEM_BANK1;
}

bool itemInBank(const void* buf, uint32_t offset, uint32_t n)
{
    return buf && n > 0 && offset < EEM_BANK_SIZE && n <= EEM_BANK_SIZE - offset;
}

// A range of the store that one 16-bit count reaches.
bool inStore(const void* buf, uint32_t offset, uint32_t n)
{
    return buf && offset < EEM_STORE_SIZE && n <= EEM_STORE_SIZE - offset && n <= 0xFFFF;
}

size_t eem_ReadEmul(uint8_t* buf, uint16_t offset, uint16_t n)
{
    FILE* f = fopen(storePath().c_str(), "r");
    if (!f) {
        printf("eem_ReadEmul: EE_FILE NON presente\n");
        return 0;
    }
    size_t r = fseek(f, offset, SEEK_SET) == 0 ? fread(buf, 1, n, f) : 0;
    fclose(f);
    return r;
}

size_t eem_WriteEmul(const uint8_t* buf, uint16_t offset, uint16_t n)
{
    FILE* f = fopen(storePath().c_str(), "r+");
    if (!f) {
        printf("eem_WriteEmul: EE_FILE NON presente\n");
        return 0;
    }
    size_t r = fseek(f, offset, SEEK_SET) == 0 ? fwrite(buf, 1, n, f) : 0;
    fflush(f);
    fsync(fileno(f));
    fclose(f);
    return r;
}

int modeOf(int mode)
{
    return mode == 0 ? st().mode : mode;
}

uint8_t checkByteOf(const uint8_t* bank)
{
    uint8_t x = 0;
    for (uint32_t i = kCheckFirst; i <= kCheckLast; i++)
        x ^= bank[i];
    return x;
}

// Writes an item into one bank and renews its check byte, each verified by
// reading back, up to three times. 0, 5 (the item) or 9 (the check byte).
int writeItemToBank(int bank, const uint8_t* buf, uint32_t offset, uint32_t n)
{
    EemState& s = st();
    uint32_t base = bankBase(bank);
    // The item and the checked bytes are read back together.
    uint32_t span = offset + n > kCheckLast + 1 ? offset + n : kCheckLast + 1;
    bool ok = false;
    for (int i = 0; i < kAttempts && !ok; i++) {
        s.status = EEM_STATUS_OK;
        eem_Write(buf, static_cast<uint16_t>(base + offset), static_cast<uint16_t>(n), 0);
        memset(s.work, 0, sizeof s.work);
        ok = eem_Read(s.work, static_cast<uint16_t>(base), static_cast<uint16_t>(span), 0) == 0 &&
             memcmp(s.work + offset, buf, n) == 0;
        if (!ok)
            s.status = EEM_STATUS_ITEM;
    }
    if (!ok)
        return 5;
    ok = false;
    for (int i = 0; i < kAttempts && !ok; i++) {
        s.work[0] = checkByteOf(s.work);
        uint8_t back = static_cast<uint8_t>(~s.work[0]);
        eem_Write(s.work, static_cast<uint16_t>(base), 1, 0);
        ok = eem_Read(&back, static_cast<uint16_t>(base), 1, 0) == 0 && back == s.work[0];
        if (!ok)
            s.status = EEM_STATUS_CHECK_BYTE;
    }
    return ok ? 0 : 9;
}

// Copies one whole bank over the other. 0 or the failing step's code.
int copyBank(int from, int to)
{
    EemState& s = st();
    int r = eem_Read(s.work, static_cast<uint16_t>(bankBase(from)), EEM_BANK_SIZE, 0);
    if (r != 0)
        return r;
    return eem_Write(s.work, static_cast<uint16_t>(bankBase(to)), EEM_BANK_SIZE, 0);
}

// Whether the two banks hold different bytes (or cannot be compared).
bool banksDiffer()
{
    std::vector<uint8_t> a(EEM_BANK_SIZE), b(EEM_BANK_SIZE);
    return eem_Read(a.data(), EEM_BANK0, EEM_BANK_SIZE, 0) != 0 ||
           eem_Read(b.data(), EEM_BANK1, EEM_BANK_SIZE, 0) != 0 || a != b;
}

int writeBankByte()
{
    return EEM_WriteHeader(&st().eemActiveBank, EEM_BANK_BYTE, 1, 0);
}

// Start-up check of the banks once the header is good.
int checkBanks()
{
    EemState& s = st();
    int active = s.eemActiveBank, other = 1 - active;
    if (EEM_CheckBankXor(active) != 0) {
        if (EEM_CheckBankXor(other) != 0) {
            s.status = EEM_STATUS_BANKS;
            return 9;
        }
        // The other bank becomes active, and the bad one is repaired from
        // it: the next write goes into the bad bank and would otherwise make
        // its stale bytes active.
        s.eemActiveBank = static_cast<uint8_t>(other);
        writeBankByte();
        copyBank(other, active);
        s.status = EEM_STATUS_OK;
        return 0;
    }
    // Banks that differ anywhere are aligned: an item written just before a
    // stop may be missing from the other bank even when the check bytes
    // agree (items 1 and 2 are not covered by them).
    if (EEM_CheckBankXor(other) != 0 || banksDiffer()) {
        printf("Allineo i banchi dati della eeprom. ");
        printf(active == 0 ? "\t Banco 0 => Banco 1. \n" : "\t Banco 1 => Banco 0. \n");
        copyBank(active, other);
    }
    s.status = EEM_STATUS_OK;
    return 0;
}

int commitPendingLocked()
{
    EemState& s = st();
    if (s.pending.empty()) {
        s.pendingDeadline = 0;
        return 0;
    }
    int r = writeItemToBank(1 - s.eemActiveBank, s.pending.data(), s.pendingOffset,
                            static_cast<uint32_t>(s.pending.size()));
    s.pending.clear();
    s.pending.shrink_to_fit();
    s.pendingOffset = 0;
    s.pendingDeadline = 0;
    return r;
}

} // namespace

int eem_Read(uint8_t* buf, uint16_t offset, uint16_t n, int mode)
{
    switch (modeOf(mode)) {
    case EEM_MODE_EMUL:
        return eem_ReadEmul(buf, offset, n) == n ? 0 : 6;
    case EEM_MODE_I2C:
        M24LC512_ReadBytes(buf, offset, n, EEPROM_BOARD_ADDRESS);
        return M24LC512_ReadBytes(buf, offset, n, EEPROM_BOARD_ADDRESS);
    default:
        return 6;
    }
}

int eem_Write(const uint8_t* buf, uint16_t offset, uint16_t n, int mode)
{
    switch (modeOf(mode)) {
    case EEM_MODE_EMUL:
        return eem_WriteEmul(buf, offset, n) == n ? 0 : 5;
    case EEM_MODE_I2C:
        return M24LC512_WriteBytes(buf, offset, n, EEPROM_BOARD_ADDRESS);
    default:
        return 5;
    }
}

int EEM_CreateFile()
{
    FILE* f = fopen(storePath().c_str(), "w");
    if (!f)
        return 9;
    static const uint8_t zeros[kCreateBlock] = {};
    int r = 0;
    for (uint32_t i = 0; i < EEM_STORE_SIZE / kCreateBlock && r == 0; i++)
        if (fwrite(zeros, 1, kCreateBlock, f) != kCreateBlock)
            r = 9;
    fflush(f);
    fsync(fileno(f));
    fclose(f);
    return r;
}

int EEM_CheckHeaderCrc()
{
    EemState& s = st();
    uint32_t computed = 0, len = EEM_HEADER_SIZE - 4;
    if (eem_Read(s.header, 0, EEM_HEADER_SIZE, 0) != 0 || computeCrc32(&computed, s.header, &len) != 0 ||
        computed != getU32LE(s.header + EEM_HEADER_SIZE - 4)) {
        printf("HEADER error: Wrong crc [expected %.8x computed %.8x] \n", getU32LE(s.header + EEM_HEADER_SIZE - 4),
               computed);
        s.status = EEM_STATUS_HEADER;
        return 8;
    }
    return 0;
}

int EEM_CheckBankXor(int bank)
{
    EemState& s = st();
    uint8_t b[kCheckLast + 1] = {};
    bool read = (bank == 0 || bank == 1) && eem_Read(b, static_cast<uint16_t>(bankBase(bank)), sizeof b, 0) == 0;
    uint8_t computed = checkByteOf(b);
    if (!read || computed != b[0]) {
        printf("HEADER error: Wrong xor [expected %x computed %x] \n", b[0], computed);
        s.status = EEM_STATUS_BANKS;
        return 9;
    }
    return 0;
}

int EEM_WriteHeader(const uint8_t* buf, uint32_t offset, uint32_t n, int mode)
{
    EemState& s = st();
    if (!buf || offset >= EEM_HEADER_SIZE || n > EEM_HEADER_SIZE - offset)
        return 5;
    if (!s.headerLoaded && EEM_LoadHeader(2, 1) != 0)
        return 2;
    auto o = static_cast<uint16_t>(offset), len = static_cast<uint16_t>(n);
    bool ok = false;
    for (int i = 0; i < kAttempts && !ok; i++) {
        eem_Write(buf, o, len, mode);
        ok = eem_Read(s.header, 0, EEM_HEADER_SIZE, mode) == 0 && memcmp(s.header + offset, buf, n) == 0;
    }
    if (ok) {
        appendCrc32(s.header, EEM_HEADER_SIZE);
        ok = false;
        uint8_t* crc = s.header + EEM_HEADER_SIZE - 4;
        for (int i = 0; i < kAttempts && !ok; i++) {
            uint8_t back[4] = {};
            eem_Write(crc, EEM_HEADER_SIZE - 4, 4, mode);
            ok = eem_Read(back, EEM_HEADER_SIZE - 4, 4, mode) == 0 && memcmp(back, crc, 4) == 0;
        }
    }
    if (!ok) {
        s.status = EEM_STATUS_ITEM;
        return 5;
    }
    return 0;
}

int EEM_LoadHeader(int src, int dst)
{
    EemState& s = st();
    s.headerLoaded = 0;
    uint8_t bank = 0;
    if (eem_Read(&bank, EEM_BANK_BYTE, 1, 0) == 0)
        s.eemActiveBank = bank == 1 ? 1 : 0;
    if (EemHeaderSource != 2) {
        if (eem_Read(s.header, 0, EEM_HEADER_SIZE, 0) != 0) {
            s.status = EEM_STATUS_HEADER;
            return 9;
        }
        s.headerLoaded = 1;
        s.status = EEM_STATUS_OK;
        return 0;
    }
    if (eem_Read(s.header, 0, EEM_HEADER_SIZE, src) != 0) {
        s.status = EEM_STATUS_HEADER;
        return 9;
    }
    // The copy keeps the store's bank byte.
    s.header[EEM_BANK_BYTE] = s.eemActiveBank;
    if (eem_Write(s.header, 0, EEM_HEADER_SIZE, dst) != 0)
        return 9;
    s.headerLoaded = 1;
    s.status = EEM_STATUS_OK;
    writeBankByte();
    return 0;
}

int EEM_CommitPending()
{
    return commitPendingLocked();
}

int EEM_Init(int a, int b, int mode)
{
    (void)a;
    (void)b;
    EemState& s = st();
    std::lock_guard<std::mutex> g(s.lock);
    s.mode = mode;
    s.status = EEM_STATUS_OK;
    if (mode == EEM_MODE_EMUL) {
        FILE* f = fopen(storePath().c_str(), "r+");
        if (f) {
            printf("\n\tFile EEPROM already present \n");
            fclose(f);
        } else {
            printf("\n\tFile EEPROM not present \n");
            if (EEM_CreateFile() != 0) {
                s.status = EEM_STATUS_NO_FILE;
                return 9;
            }
            if (FILE* v = fopen(sysPath(kFwVersionPath).c_str(), "r")) {
                fclose(v);
                static const uint8_t marks[2] = {0x01, 0x01};
                EEM_WriteHeader(marks, 6, 2, 0);
            }
        }
    }
    clockSleepSeconds(3);
    EEM_LoadHeader(2, 1);
    if (EEM_CheckHeaderCrc() != 0) {
        s.status = EEM_STATUS_HEADER;
        return 9;
    }
    return checkBanks();
}

int EEM_ReadData(uint8_t* buf, uint32_t offset, uint32_t n)
{
    EemState& s = st();
    std::lock_guard<std::mutex> g(s.lock);
    if (!itemInBank(buf, offset, n))
        return 6;
    return eem_Read(buf, static_cast<uint16_t>(bankBase(s.eemActiveBank) + offset), static_cast<uint16_t>(n), 0);
}

int EEM_WriteData(const uint8_t* buf, uint32_t offset, uint32_t n)
{
    EemState& s = st();
    std::lock_guard<std::mutex> g(s.lock);
    if (!itemInBank(buf, offset, n))
        return 5;
    if (!s.pending.empty())
        commitPendingLocked();
    int target = 1 - s.eemActiveBank;
    int r = writeItemToBank(target, buf, offset, n);
    if (r != 0)
        return r;
    s.pending.assign(buf, buf + n);
    s.pendingOffset = static_cast<uint16_t>(offset);
    uint32_t deadline = getDeadlineCs(kCommitDelayCs);
    s.pendingDeadline = deadline ? deadline : 1;
    s.eemActiveBank = static_cast<uint8_t>(target);
    writeBankByte();
    s.status = EEM_STATUS_OK;
    return 0;
}

void EEM_Task()
{
    EemState& s = st();
    // A logic step never waits for a write of another thread: the copy is
    // then made on a later step.
    std::unique_lock<std::mutex> g(s.lock, std::try_to_lock);
    if (!g.owns_lock() || s.pendingDeadline == 0)
        return;
    if (checkDeadlineCs(0, s.pendingDeadline, nullptr) == -1)
        commitPendingLocked();
}

int EEM_RemoveEEP()
{
    std::lock_guard<std::mutex> g(st().lock);
    printf("\nEEM_RemoveEEP!");
    char text[128];
    int r;
    if (remove(storePath().c_str()) == 0) {
        snprintf(text, sizeof text, "remove %s", kStorePath);
        r = 1;
    } else {
        snprintf(text, sizeof text, "Error, remove %s failed", kStorePath);
        r = -1;
    }
    writeInternalDebugLog("%s \n", text);
    return r;
}

int EEM_ReadAbsolute(uint8_t* buf, uint32_t offset, uint32_t n)
{
    if (!st().headerLoaded)
        EEM_LoadHeader(2, 1);
    return EEM_ReadRaw(buf, offset, n);
}

int EEM_ReadRaw(uint8_t* buf, uint32_t offset, uint32_t n)
{
    if (!inStore(buf, offset, n))
        return 6;
    return eem_Read(buf, static_cast<uint16_t>(offset), static_cast<uint16_t>(n), 0);
}

int EEM_WriteRaw(const uint8_t* buf, uint32_t offset, uint32_t n)
{
    if (!inStore(buf, offset, n))
        return 5;
    return eem_Write(buf, static_cast<uint16_t>(offset), static_cast<uint16_t>(n), 0);
}

int EEM_VerifyBuffer(uint32_t offset)
{
    EemState& s = st();
    if (s.status != EEM_STATUS_OK)
        return 7;
    std::vector<uint8_t> back(EEM_BANK_SIZE);
    if (EEM_WriteRaw(s.work, offset, EEM_BANK_SIZE) == 0 && EEM_ReadRaw(back.data(), offset, EEM_BANK_SIZE) == 0 &&
        memcmp(back.data(), s.work, EEM_BANK_SIZE) == 0)
        return 0;
    s.status = EEM_STATUS_ITEM;
    return 5;
}
