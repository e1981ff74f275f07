// The simulated FPGA: the bridge window behind /dev/mem, its ports and the
// download device's register window.
#include "sim/simFpga.h"

#include "platform/host/ioDevice.h"
#include "platform/clock.h"
#include "platform/host/regHooks.h"
#include "platform/regs.h"
#include "sim/simProfile.h"
#include "sim/simRds.h"
#include "sim/simState.h"
#include "sim/simSwitch.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The page of the lightweight bridge that holds the ports, and the port
// words as byte offsets into it.
constexpr uint64_t kPortPage = 0xFF200000ull;
constexpr size_t kPortPageLen = 0x1000;
constexpr size_t kFrameFirst = 0x004;   // control-frame word 0
constexpr int kFrameWords = 28;
constexpr int kRdsWords = 6;
constexpr size_t kStatusWord = 0xA00;
constexpr size_t kKeyColumn = 0x07C;
constexpr size_t kKeyRows = 0x080;
constexpr size_t kIdData = 0xBA0;
constexpr size_t kIdStrobe = 0xBA4;
constexpr uint32_t kIdStrobeBit = 8;
constexpr uint32_t kPllAudioLockBit = 1u << 2; // status word 0
// Status word 0: the absence bits of the reference inputs and the busy and
// done bits of the delay measurement; word 7 holds its 24-bit count.
constexpr uint32_t kNo10MHzBit = 1u << 7, kNoPpsBit = 1u << 6, kNoSineBit = 1u << 22;
constexpr uint32_t kDelayBusyBit = 1u << 19, kDelayDoneBit = 1u << 20;
constexpr size_t kDelayCountWord = kStatusWord + 7 * 4;
constexpr int kDelayStartWord = 19;
constexpr uint32_t kDelayStartBit = 1u << 14;
constexpr size_t kGbeFirst = 0xB00, kGbeEnd = 0xB48;
// Audio-processor windows 18 to 24: every write is logged with its time; the
// meter windows 21 to 23 answer the plain words tests and simctl set.
constexpr size_t kApFirst = 0xB80, kApEnd = 0xB9C;
constexpr uint32_t kApFirstWindow = 18;

const char* const kWindowFile = "fpga-bridges.mem";
const char* const kDwlFile = "dwlfpga.mem";

// The part of the window where the FPGA's registers lie (the first 2 MiB of
// the lightweight bridge): reserved on disk, so that a word the daemon
// writes there never meets a full disk. The rest of the window stays a hole
// that only tools reach, through pread and pwrite.
constexpr uint64_t kReservedPhys = 0xFF200000ull;
constexpr size_t kReservedLen = 0x200000;
constexpr size_t kReservedAt = kReservedPhys - kSimFpgaPhysBase;

// Size and reserved part of a file of the FPGA.
struct FpgaFile {
    const char* name;
    size_t size;
    size_t reserveAt;
    size_t reserveLen;
};
const FpgaFile kWindow = {kWindowFile, kSimFpgaWindowSize, kReservedAt, kReservedLen};
const FpgaFile kDwl = {kDwlFile, kSimDwlFpgaSize, 0, kSimDwlFpgaSize};

struct FpgaModule {
    std::mutex lock;
    std::string windowPath; // the window file mapped for the FPGA side
    uint8_t* window = nullptr;
};

FpgaModule& mod()
{
    static FpgaModule m;
    return m;
}

uint32_t loadWord(const volatile void* page, size_t off)
{
    return __atomic_load_n(reinterpret_cast<const volatile uint32_t*>(static_cast<const volatile uint8_t*>(page) + off),
                           __ATOMIC_SEQ_CST);
}

void storeWord(volatile void* page, size_t off, uint32_t v)
{
    __atomic_store_n(reinterpret_cast<volatile uint32_t*>(static_cast<volatile uint8_t*>(page) + off), v,
                     __ATOMIC_SEQ_CST);
}

// On the board a word access off a word boundary of device memory is a bus
// fault; the simulation counts them so tests can tell.
bool misaligned(SimFpgaState& f, size_t off)
{
    if (off % 4 == 0)
        return false;
    f.misaligned.fetch_add(1);
    return true;
}

// A frame word as the FPGA checks it: bits 21-23 are the parities of the
// three 6-bit groups, bits 18-20 and 24-31 are 0.
bool wordParityOk(uint32_t w)
{
    uint32_t expect = 0;
    for (int g = 0; g < 3; g++)
        expect |= static_cast<uint32_t>(__builtin_parity((w >> (6 * g)) & 0x3F)) << (21 + g);
    return (w & 0xFFFC0000u) == expect;
}

void setStatusBits(void* ctx, uint32_t mask, bool on)
{
    uint32_t status = loadWord(ctx, kStatusWord);
    storeWord(ctx, kStatusWord, on ? status | mask : status & ~mask);
}

void referenceInputs(void* ctx, SimFpgaState& f)
{
    if (!f.refsDriven.load())
        return;
    uint32_t missing = f.refsMissing.load();
    setStatusBits(ctx, kNo10MHzBit, missing & kSimRef10MHz);
    setStatusBits(ctx, kNoPpsBit, missing & kSimRefPps);
    setStatusBits(ctx, kNoSineBit, missing & kSimRefSine);
}

// The measurement unit, one frame on.
void delayUnit(void* ctx, SimFpgaState& f)
{
    uint32_t mode = f.delayMode.load();
    if (mode == SIM_DELAY_AS_WINDOW)
        return;
    bool start = f.frame[kDelayStartWord] & kDelayStartBit;
    if (!start)
        f.delayHeld.store(0);
    uint32_t phase = f.delayPhase.load();
    if (phase == 0) {
        if (!start || f.delayHeld.load() || mode == SIM_DELAY_NEVER) {
            if (mode == SIM_DELAY_NEVER)
                setStatusBits(ctx, kDelayBusyBit, false);
            return;
        }
        f.delayHeld.store(1);
        f.delayRuns.fetch_add(1);
        setStatusBits(ctx, kDelayDoneBit, false);
    }
    if (++phase <= kSimDelayBusyFrames) {
        setStatusBits(ctx, kDelayBusyBit, true);
        f.delayPhase.store(phase);
        return;
    }
    setStatusBits(ctx, kDelayBusyBit, false);
    if (mode == SIM_DELAY_COUNT) {
        storeWord(ctx, kDelayCountWord, f.delayCount.load() & 0xFFFFFF);
        setStatusBits(ctx, kDelayDoneBit, true);
    }
    f.delayPhase.store(0);
}

// A complete frame: checked, put into the ring, and the audio-PLL script
// moved on.
void frameReceived(void* ctx, SimFpgaState& f)
{
    bool ok = true;
    for (int i = 0; i < kFrameWords; i++) {
        f.frame[i] = loadWord(ctx, kFrameFirst + 4 * i);
        ok = ok && wordParityOk(f.frame[i]);
    }
    if (!ok)
        f.parityErrors.fetch_add(1);
    struct timespec ts = {};
    clockPeekTime(CLOCK_MONOTONIC, &ts);
    uint32_t n = f.ringNext.load();
    SimFrameRecord& r = f.ring[n % kSimFrameRingSize];
    r.timeNs = static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    memcpy(r.words, f.frame, sizeof r.words);
    f.ringNext.store(n + 1);
    f.frameCount.fetch_add(1);

    referenceInputs(ctx, f);
    delayUnit(ctx, f);

    uint32_t frames = f.pllFrames.fetch_add(1) + 1, status = loadWord(ctx, kStatusWord);
    switch (f.pllScript.load()) {
    case SIM_PLL_LOCKED:
        status |= kPllAudioLockBit;
        break;
    case SIM_PLL_AFTER:
        status = frames >= f.pllAfter.load() ? status | kPllAudioLockBit : status & ~kPllAudioLockBit;
        break;
    case SIM_PLL_NEVER:
        status &= ~kPllAudioLockBit;
        break;
    default:
        return;
    }
    storeWord(ctx, kStatusWord, status);
}

bool portWrite(void* ctx, size_t off, uint32_t v)
{
    SimBoardState* s = simState();
    if (!s || misaligned(s->fpga, off))
        return false;
    SimFpgaState& f = s->fpga;
    if (off >= kFrameFirst && off < kFrameFirst + 4 * static_cast<size_t>(kFrameWords)) {
        storeWord(ctx, off, v);
        int idx = static_cast<int>((off - kFrameFirst) / 4);
        f.lastPortWrite.store(idx);
        if (idx == kFrameWords - 1)
            frameReceived(ctx, f);
        return true;
    }
    if (off >= kGbeFirst && off < kGbeEnd) {
        storeWord(ctx, off, v);
        uint32_t n = f.gbeWrites.load();
        f.gbeLog[n % kSimGbeLogSize][0] = static_cast<uint32_t>(off - kGbeFirst);
        f.gbeLog[n % kSimGbeLogSize][1] = v;
        f.gbeWrites.store(n + 1);
        return true;
    }
    if (off >= kApFirst && off < kApEnd) {
        storeWord(ctx, off, v);
        struct timespec ts = {};
        clockPeekTime(CLOCK_MONOTONIC_RAW, &ts);
        uint32_t n = f.apWrites.load();
        SimApWrite& w = f.apLog[n % kSimApLogSize];
        w.timeNs = static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
        w.window = kApFirstWindow + static_cast<uint32_t>((off - kApFirst) / 4);
        w.value = v;
        f.apWrites.store(n + 1);
        return true;
    }
    if (off == kIdStrobe) {
        storeWord(ctx, off, v);
        uint32_t prev = f.idStrobe.exchange(v);
        if ((v & kIdStrobeBit) && !(prev & kIdStrobeBit)) {
            f.idWords[v & 7] = loadWord(ctx, kIdData);
            f.idLatched.fetch_add(1);
        }
        return true;
    }
    return false;
}

bool portRead(void* ctx, size_t off, uint32_t* v)
{
    SimBoardState* s = simState();
    if (!s || misaligned(s->fpga, off))
        return false;
    SimFpgaState& f = s->fpga;
    if (off == kStatusWord) {
        // Six words and then a status read are an RDS transfer; after a
        // whole frame the status words are read as the window holds them.
        if (f.lastPortWrite.exchange(-1) != kRdsWords - 1)
            return false;
        for (int i = 0; i < kRdsWords; i++)
            f.rdsWords[i] = loadWord(ctx, kFrameFirst + 4 * i);
        f.rdsCount.fetch_add(1);
        *v = simRdsTransfer(f.rdsWords) | f.rdsStatus.load();
        return true;
    }
    if (off == kKeyRows) {
        uint32_t column = loadWord(ctx, kKeyColumn), keys = f.keys.load(), rows = 0;
        for (int c = 0; c < 3; c++)
            if (column & (1u << c))
                for (int r = 0; r < 3; r++)
                    if (keys & (1u << (c * 3 + r)))
                        rows |= 1u << r;
        *v = rows;
        return true;
    }
    return false;
}

const RegHooks kPortHooks = {portRead, portWrite, nullptr};

// The MDIO words of /dev/dwlfpga's window, as byte offsets from 0x800.
constexpr size_t kMdioFirst = 0x800, kMdioLen = 0x1C;
constexpr size_t kMdioWriteData[2] = {0x00, 0x08}, kMdioCommand[2] = {0x04, 0x0C}, kMdioReadData[2] = {0x14, 0x18};
constexpr size_t kMdioStatus = 0x10;
constexpr uint32_t kMdioBusy[2] = {1u << 0, 1u << 1}, kMdioAck[2] = {1u << 2, 1u << 3};
// SimDevice::busy of a switch: 1 the channel stays busy; 2 it goes busy at
// its next command and stays so.
constexpr int32_t kMdioStuck = 1, kMdioHangNext = 2;

// A command runs its transaction at once against the switch of the
// channel; a channel without a switch never acknowledges.
bool mdioWordWrite(void* ctx, size_t off, uint32_t v)
{
    SimBoardState* s = simState();
    int ch = off == kMdioCommand[0] ? 0 : off == kMdioCommand[1] ? 1 : -1;
    if (!s || ch < 0)
        return false;
    storeWord(ctx, off, v);
    SimDevice* d = simFindDevice(SIM_BUS_MDIO, static_cast<uint16_t>(ch));
    int32_t hang = kMdioHangNext;
    if (d && d->busy.compare_exchange_strong(hang, kMdioStuck))
        return true;
    if (d && d->busy.load() == kMdioStuck)
        return true;
    uint16_t data = 0;
    bool ack = false;
    if (d && !d->absent.load()) {
        SimBusGuard g(SIM_BUS_MDIO);
        ack = simSwitchTransact(d, static_cast<uint16_t>(v), static_cast<uint16_t>(loadWord(ctx, kMdioWriteData[ch])),
                                &data);
    }
    if (ack)
        storeWord(ctx, kMdioReadData[ch], data);
    uint32_t status = loadWord(ctx, kMdioStatus) & ~(kMdioBusy[ch] | kMdioAck[ch]);
    storeWord(ctx, kMdioStatus, ack ? status | kMdioAck[ch] : status);
    return true;
}

// The status word, with the busy bit of a channel whose switch is stuck.
bool mdioWordRead(void* ctx, size_t off, uint32_t* v)
{
    SimBoardState* s = simState();
    if (!s || off != kMdioStatus)
        return false;
    s->fpga.mdioStatusReads.fetch_add(1);
    uint32_t status = loadWord(ctx, kMdioStatus);
    for (int ch = 0; ch < 2; ch++) {
        SimDevice* d = simFindDevice(SIM_BUS_MDIO, static_cast<uint16_t>(ch));
        if (d && d->busy.load() == kMdioStuck)
            status |= kMdioBusy[ch];
    }
    *v = status;
    return true;
}

const RegHooks kMdioHooks = {mdioWordRead, mdioWordWrite, nullptr};

// Maps len bytes of a file of the FPGA from offset; nullptr with errno set.
void* mapFile(const FpgaFile& file, size_t len, int prot, int flags, off_t offset)
{
    int fd = simOpenMappedFile(simFilePath(file.name), file.size, file.reserveAt, file.reserveLen);
    if (fd < 0) {
        errno = ENOSPC;
        return nullptr;
    }
    void* p = mmap(nullptr, len, prot, flags, fd, offset);
    int e = errno;
    close(fd);
    errno = e;
    return p == MAP_FAILED ? nullptr : p;
}

// The whole window for the FPGA side, mapped once per sandbox.
uint8_t* window()
{
    FpgaModule& m = mod();
    std::lock_guard<std::mutex> g(m.lock);
    std::string path = simFilePath(kWindowFile);
    if (m.window && m.windowPath == path)
        return m.window;
    if (m.window)
        munmap(m.window, kSimFpgaWindowSize);
    m.window = static_cast<uint8_t*>(mapFile(kWindow, kSimFpgaWindowSize, PROT_READ | PROT_WRITE, MAP_SHARED, 0));
    m.windowPath = m.window ? path : "";
    return m.window;
}

class SimMemDevice : public IoDevice {
public:
    void* map(int handle, size_t len, int prot, int flags, off_t offset) override
    {
        (void)handle;
        uint64_t start = static_cast<uint64_t>(offset);
        if (offset < 0 || start < kSimFpgaPhysBase || len == 0 ||
            start + len > kSimFpgaPhysBase + kSimFpgaWindowSize || (start & 0xFFF)) {
            errno = EINVAL;
            return nullptr;
        }
        void* p = mapFile(kWindow, len, prot, flags, static_cast<off_t>(start - kSimFpgaPhysBase));
        if (!p)
            return nullptr;
        if (kPortPage >= start && kPortPage + kPortPageLen <= start + len) {
            void* page = static_cast<uint8_t*>(p) + (kPortPage - start);
            RegHooks hooks = kPortHooks;
            hooks.ctx = page;
            if (regRegisterHooks(page, kPortPageLen, &hooks) != 0) {
                // A window whose ports would not answer is no window.
                munmap(p, len);
                errno = ENOMEM;
                return nullptr;
            }
            std::lock_guard<std::mutex> g(lock_);
            pages_[p] = page;
        }
        return p;
    }

    int unmap(void* addr, size_t len) override
    {
        {
            std::lock_guard<std::mutex> g(lock_);
            auto it = pages_.find(addr);
            if (it != pages_.end()) {
                regUnregisterHooks(it->second);
                pages_.erase(it);
            }
        }
        return munmap(addr, len);
    }

private:
    std::mutex lock_;
    std::map<void*, void*> pages_; // mapping -> its hooked port page
};

class SimDwlFpgaDevice : public IoDevice {
public:
    int ioctl(int handle, unsigned long request, void* arg) override
    {
        (void)handle;
        if (request != kSimDwlFpgaSelectBank)
            return -ENOTTY;
        SimBoardState* s = simState();
        if (!arg || !s)
            return -EFAULT;
        s->fpga.dwlBank.store(*static_cast<uint8_t*>(arg));
        s->fpga.dwlSelects.fetch_add(1);
        return 0;
    }

    void* map(int handle, size_t len, int prot, int flags, off_t offset) override
    {
        (void)handle;
        if (offset != 0 || len == 0 || len > kSimDwlFpgaSize) {
            errno = EINVAL;
            return nullptr;
        }
        void* p = mapFile(kDwl, len, prot, flags, 0);
        if (p && len >= kMdioFirst + kMdioLen) {
            void* mdio = static_cast<uint8_t*>(p) + kMdioFirst;
            RegHooks hooks = kMdioHooks;
            hooks.ctx = mdio;
            if (regRegisterHooks(mdio, kMdioLen, &hooks) != 0) {
                munmap(p, len);
                errno = ENOMEM;
                return nullptr;
            }
            std::lock_guard<std::mutex> g(lock_);
            hooked_[p] = mdio;
        }
        return p;
    }

    int unmap(void* addr, size_t len) override
    {
        {
            std::lock_guard<std::mutex> g(lock_);
            auto it = hooked_.find(addr);
            if (it != hooked_.end()) {
                regUnregisterHooks(it->second);
                hooked_.erase(it);
            }
        }
        return munmap(addr, len);
    }

private:
    std::mutex lock_;
    std::map<void*, void*> hooked_; // mapping -> its hooked MDIO words
};

} // namespace

IoDevice* simMemDevice()
{
    static SimMemDevice dev;
    return &dev;
}

IoDevice* simDwlFpgaDevice()
{
    static SimDwlFpgaDevice dev;
    return &dev;
}

namespace {

bool inWindow(uint64_t phys)
{
    return phys >= kSimFpgaPhysBase && phys + 4 <= kSimFpgaPhysBase + kSimFpgaWindowSize && (phys & 3) == 0;
}

bool inReserved(uint64_t phys)
{
    return phys >= kReservedPhys && phys + 4 <= kReservedPhys + kReservedLen;
}

// A word outside the reserved part: read or written through the file, so a
// full disk is an error, not SIGBUS.
int fileWord(uint64_t phys, uint32_t* value, bool write)
{
    int fd = open(simFilePath(kWindowFile).c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -1;
    off_t at = static_cast<off_t>(phys - kSimFpgaPhysBase);
    ssize_t n = write ? pwrite(fd, value, 4, at) : pread(fd, value, 4, at);
    int e = errno;
    close(fd);
    errno = e;
    return n == 4 ? 0 : -1;
}

} // namespace

int simFpgaRead(uint64_t phys, uint32_t* value)
{
    if (!inWindow(phys))
        return -1;
    if (!inReserved(phys))
        return fileWord(phys, value, false);
    uint8_t* w = window();
    if (!w)
        return -1;
    *value = loadWord(w, phys - kSimFpgaPhysBase);
    return 0;
}

int simFpgaWrite(uint64_t phys, uint32_t value)
{
    if (!inWindow(phys))
        return -1;
    if (!inReserved(phys))
        return fileWord(phys, &value, true);
    uint8_t* w = window();
    if (!w)
        return -1;
    storeWord(w, phys - kSimFpgaPhysBase, value);
    return 0;
}

int simFpgaPowerOn(const SimProfile& profile)
{
    SimBoardState* s = simState();
    if (!s)
        return -1;
    for (const FpgaFile& file : {kWindow, kDwl}) {
        // Zeroes the file without changing its size, so a process that maps
        // it never finds its end: the reserved part is written with zeros,
        // the rest made a hole again.
        std::string path = simFilePath(file.name);
        int fd = simOpenMappedFile(path, file.size, file.reserveAt, file.reserveLen);
        if (fd < 0)
            return -1;
        static const char zeros[65536] = {};
        int r = 0;
        for (size_t done = 0; r == 0 && done < file.reserveLen; done += sizeof zeros) {
            size_t n = std::min(sizeof zeros, file.reserveLen - done);
            if (pwrite(fd, zeros, n, static_cast<off_t>(file.reserveAt + done)) != static_cast<ssize_t>(n))
                r = -1;
        }
        int mode = FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE;
        size_t end = file.reserveAt + file.reserveLen;
        bool punched = r == 0 && (file.reserveAt == 0 || fallocate(fd, mode, 0, static_cast<off_t>(file.reserveAt)) == 0) &&
                       (end == file.size ||
                        fallocate(fd, mode, static_cast<off_t>(end), static_cast<off_t>(file.size - end)) == 0);
        if (r == 0 && !punched) {
            // No holes on this file system: truncate it and reserve again.
            if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(file.size)) != 0 ||
                (errno = posix_fallocate(fd, static_cast<off_t>(file.reserveAt), static_cast<off_t>(file.reserveLen))) != 0)
                r = -1;
        }
        if (r != 0)
            fprintf(stderr, "simulated board: cannot clear %s: %s\n", path.c_str(), strerror(errno));
        close(fd);
        if (r != 0)
            return -1;
    }
    SimFpgaState& f = s->fpga;
    f.lastPortWrite.store(-1);
    f.frameCount.store(0);
    memset(f.frame, 0, sizeof f.frame);
    f.rdsCount.store(0);
    memset(f.rdsWords, 0, sizeof f.rdsWords);
    f.rdsStatus.store(0);
    f.keys.store(0);
    f.idStrobe.store(0);
    f.idLatched.store(0);
    memset(f.idWords, 0, sizeof f.idWords);
    f.dwlBank.store(0);
    f.dwlSelects.store(0);
    f.misaligned.store(0);
    f.parityErrors.store(0);
    f.ringNext.store(0);
    memset(f.ring, 0, sizeof f.ring);
    f.pllScript.store(profile.pllScript);
    f.pllAfter.store(profile.pllAfter);
    f.pllFrames.store(0);
    f.gbeWrites.store(0);
    memset(f.gbeLog, 0, sizeof f.gbeLog);
    simRdsPowerOn(f.rds, kSimRdsDefaultCapacity);
    f.mdioStatusReads.store(0);
    f.refsDriven.store(profile.refsDriven);
    f.refsMissing.store(profile.refsMissing);
    f.delayMode.store(profile.delayMode);
    f.delayCount.store(profile.delayCount);
    f.delayPhase.store(0);
    f.delayHeld.store(0);
    f.delayRuns.store(0);
    f.apWrites.store(0);
    memset(f.apLog, 0, sizeof f.apLog);
    for (const SimProfileWord& w : profile.fpgaWords)
        if (simFpgaWrite(w.phys, w.value) != 0)
            return -1;
    return 0;
}

uint32_t simFpgaKeyBit(uint16_t code)
{
    int c = -1, r = -1;
    for (int i = 0; i < 3; i++) {
        if ((code & 0xFF) == (1u << i))
            c = i;
        if ((code >> 8) == (1u << i))
            r = i;
    }
    return c < 0 || r < 0 ? 0 : 1u << (c * 3 + r);
}

void simFpgaSetKeys(uint32_t mask)
{
    if (SimBoardState* s = simState())
        s->fpga.keys.store(mask);
}

void simFpgaSetPllScript(uint32_t script, uint32_t after)
{
    if (SimBoardState* s = simState()) {
        s->fpga.pllAfter.store(after);
        s->fpga.pllFrames.store(0);
        s->fpga.pllScript.store(script);
    }
}

int simFpgaRing(SimFrameRecord* out, int max)
{
    SimBoardState* s = simState();
    if (!s)
        return 0;
    uint32_t next = s->fpga.ringNext.load();
    uint32_t count = next < kSimFrameRingSize ? next : kSimFrameRingSize;
    if (count > static_cast<uint32_t>(max))
        count = static_cast<uint32_t>(max);
    for (uint32_t i = 0; i < count; i++)
        out[i] = s->fpga.ring[(next - count + i) % kSimFrameRingSize];
    return static_cast<int>(count);
}

int simFpgaApLog(uint32_t after, SimApWrite* out, int max)
{
    SimBoardState* s = simState();
    if (!s)
        return 0;
    uint32_t next = s->fpga.apWrites.load();
    uint32_t oldest = next > static_cast<uint32_t>(kSimApLogSize) ? next - kSimApLogSize : 0;
    uint32_t from = after > oldest ? after : oldest;
    int n = 0;
    for (uint32_t i = from; i < next && n < max; i++)
        out[n++] = s->fpga.apLog[i % kSimApLogSize];
    return n;
}

uint32_t simFpgaApWrites()
{
    SimBoardState* s = simState();
    return s ? s->fpga.apWrites.load() : 0;
}

int simParsePllScript(const std::string& text, uint32_t* script, uint32_t* after)
{
    std::istringstream words(text);
    std::string kind;
    words >> kind;
    *after = 0;
    if (kind == "locked")
        *script = SIM_PLL_LOCKED;
    else if (kind == "never")
        *script = SIM_PLL_NEVER;
    else if (kind == "window")
        *script = SIM_PLL_AS_WINDOW;
    else if (kind == "after") {
        std::string n, rest;
        if (!(words >> n) || !simParseNumber(n, after))
            return -1;
        *script = SIM_PLL_AFTER;
    } else
        return -1;
    std::string extra;
    return words >> extra ? -1 : 0;
}

int simParseRefs(const std::string& text, uint32_t current, uint32_t* missing)
{
    std::istringstream words(text);
    std::string w;
    uint32_t m = current;
    bool any = false;
    while (words >> w) {
        size_t eq = w.find('=');
        if (eq == std::string::npos)
            return -1;
        std::string name = w.substr(0, eq), value = w.substr(eq + 1);
        uint32_t bit = name == "10mhz" ? kSimRef10MHz : name == "pps" ? kSimRefPps : name == "sine" ? kSimRefSine : 0;
        if (!bit || (value != "on" && value != "off"))
            return -1;
        m = value == "on" ? m & ~bit : m | bit;
        any = true;
    }
    if (!any)
        return -1;
    *missing = m;
    return 0;
}

void simFpgaSetRefs(uint32_t missing)
{
    if (SimBoardState* s = simState()) {
        s->fpga.refsMissing.store(missing);
        s->fpga.refsDriven.store(1);
    }
}

int simParseDelayMode(const std::string& text, uint32_t* mode, uint32_t* count)
{
    std::istringstream words(text);
    std::string w, extra;
    if (!(words >> w) || (words >> extra))
        return -1;
    *count = 0;
    if (w == "fail")
        *mode = SIM_DELAY_FAIL;
    else if (w == "never")
        *mode = SIM_DELAY_NEVER;
    else if (simParseNumber(w, count) && *count <= 0xFFFFFF)
        *mode = SIM_DELAY_COUNT;
    else
        return -1;
    return 0;
}

void simFpgaSetDelayMode(uint32_t mode, uint32_t count)
{
    if (SimBoardState* s = simState()) {
        s->fpga.delayCount.store(count);
        s->fpga.delayMode.store(mode);
    }
}
