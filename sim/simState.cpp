// Shared state of the simulated board: the mapped state file, the bus
// locks and the transaction logs.
#include "sim/simState.h"

#include "platform/clock.h"
#include "sim/board.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t kSimMagic = 0x43565342; // "CVSB"

struct SimStateModule {
    std::string root;
    SimBoardState* state = nullptr;
};

SimStateModule& mod()
{
    static SimStateModule m;
    return m;
}

const char* const kBusNames[SIM_BUS_COUNT] = {"i2c-0", "i2c-1", "spi0", "mdio"};

const char* const kOpNames[SIM_OP_COUNT] = {"write",    "read",     "xfer",     "set-mode", "set-lsb",  "set-bits",
                                            "set-speed", "get-mode", "get-lsb", "get-bits", "get-speed"};

// CRC-32 (the reflected 0xEDB88320 polynomial) over a run of bytes.
uint32_t crc32Add(uint32_t crc, const void* data, size_t len)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    crc = ~crc;
    for (size_t i = 0; i < len; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// The check of a board: its header and what its device table lists (not
// the knobs and counters, which change while it runs).
uint32_t boardCheck(const SimBoardState* s)
{
    uint32_t crc = crc32Add(0, &s->size, sizeof s->size);
    crc = crc32Add(crc, s->profile, sizeof s->profile);
    for (const SimDevice& d : s->devices) {
        uint32_t used = d.used.load();
        crc = crc32Add(crc, &used, sizeof used);
        crc = crc32Add(crc, &d.bus, sizeof d.bus);
        crc = crc32Add(crc, &d.kernelHeld, sizeof d.kernelHeld);
        crc = crc32Add(crc, &d.addr, sizeof d.addr);
        crc = crc32Add(crc, d.kind, sizeof d.kind);
        crc = crc32Add(crc, d.name, sizeof d.name);
        crc = crc32Add(crc, d.opts, sizeof d.opts);
    }
    return crc;
}

void initBusLock(pthread_mutex_t* m)
{
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    pthread_mutexattr_setpshared(&a, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&a, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(m, &a);
    pthread_mutexattr_destroy(&a);
}

} // namespace

std::string simFilePath(const char* name)
{
    return mod().root + "/sim/" + name;
}

SimBoardState* simState()
{
    return mod().state;
}

void simStateClearRuntime(SimBoardState* s)
{
    for (SimBus& b : s->buses) {
        b.absent.store(0);
        b.opens.store(0);
        b.logHead.store(0);
        for (SimLogEntry& e : b.log)
            e.seq.store(0);
    }
    for (SimDevice& d : s->devices) {
        d.absent.store(0);
        d.nackNext.store(0);
        d.shortNext.store(0);
        d.busy.store(0);
        d.transfers.store(0);
        d.opens.store(0);
        d.cursor.store(0);
        d.phase.store(0);
        d.cycleStartNs.store(0);
        d.failPage.store(0);
        d.failWrites.store(0);
    }
}

int simOpenMappedFile(const std::string& path, size_t size, size_t reserveAt, size_t reserveLen, bool* resized)
{
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    int e = errno;
    struct stat sb;
    if (fd < 0 && (lstat(path.c_str(), &sb) != 0 || S_ISREG(sb.st_mode))) {
        fprintf(stderr, "simulated board: cannot open %s: %s\n", path.c_str(), strerror(e));
        return -1;
    }
    if (fd < 0 || fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
        fprintf(stderr, "simulated board: %s is not a regular file\n", path.c_str());
        if (fd >= 0)
            close(fd);
        return -1;
    }
    // The size first (a hole costs nothing), then the part that is used
    // through a mapping: a page written there must not meet a full disk.
    bool resize = static_cast<size_t>(sb.st_size) != size;
    if (resized)
        *resized = resize;
    int r = resize && ftruncate(fd, static_cast<off_t>(size)) != 0 ? errno : 0;
    if (r == 0 && reserveLen)
        r = posix_fallocate(fd, static_cast<off_t>(reserveAt), static_cast<off_t>(reserveLen));
    if (r != 0) {
        fprintf(stderr, "simulated board: no room for %s (%zu bytes): %s\n", path.c_str(), reserveLen, strerror(r));
        close(fd);
        return -1;
    }
    return fd;
}

int simStateAttach(const std::string& root, int (*build)(SimBoardState*))
{
    SimStateModule& m = mod();
    if (m.state && m.root == root)
        return 0;
    if (m.state) {
        munmap(m.state, sizeof(SimBoardState));
        m.state = nullptr;
    }
    m.root = root;
    if (simMakeDirs((root + "/sim/store").c_str()) != 0) {
        fprintf(stderr, "simulated board: cannot make %s/sim/store: %s\n", root.c_str(), strerror(errno));
        return -1;
    }
    std::string path = simFilePath("board.state");
    int fd = simOpenMappedFile(path, sizeof(SimBoardState), 0, sizeof(SimBoardState));
    if (fd < 0)
        return -1;
    flock(fd, LOCK_EX);
    int r = -1;
    void* p = mmap(nullptr, sizeof(SimBoardState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        fprintf(stderr, "simulated board: cannot map %s: %s\n", path.c_str(), strerror(errno));
    } else {
        auto* s = static_cast<SimBoardState*>(p);
        r = 0;
        bool known = s->magic.load() == kSimMagic && s->size == sizeof(SimBoardState);
        if (known && s->check != boardCheck(s))
            fprintf(stderr, "simulated board: %s fails its check; the board is built again from its profile\n",
                    path.c_str());
        if (!known || s->check != boardCheck(s)) {
            s->magic.store(0);
            memset(static_cast<void*>(s), 0, sizeof(SimBoardState));
            s->size = sizeof(SimBoardState);
            for (SimBus& b : s->buses)
                initBusLock(&b.lock);
            s->fpga.lastPortWrite.store(-1);
            m.state = s;
            r = build ? build(s) : 0;
            if (r == 0) {
                s->check = boardCheck(s);
                s->magic.store(kSimMagic);
            }
        }
        if (r == 0) {
            m.state = s;
        } else {
            munmap(p, sizeof(SimBoardState));
            m.state = nullptr;
        }
    }
    flock(fd, LOCK_UN);
    close(fd);
    return r;
}

void simBusLock(SimBusId bus)
{
    pthread_mutex_t* m = &mod().state->buses[bus].lock;
    // The holder may be a process that died in a transfer: take the lock
    // over and go on.
    if (pthread_mutex_lock(m) == EOWNERDEAD)
        pthread_mutex_consistent(m);
}

void simBusUnlock(SimBusId bus)
{
    pthread_mutex_unlock(&mod().state->buses[bus].lock);
}

SimDevice* simFindDevice(SimBusId bus, uint16_t addr)
{
    SimBoardState* s = mod().state;
    if (!s)
        return nullptr;
    for (SimDevice& d : s->devices)
        if (d.used.load(std::memory_order_acquire) && d.bus == bus && d.addr == addr)
            return &d;
    return nullptr;
}

SimDevice* simFindDeviceByName(const char* name)
{
    SimBoardState* s = mod().state;
    if (!s)
        return nullptr;
    for (SimDevice& d : s->devices)
        if (d.used.load(std::memory_order_acquire) && strcmp(d.name, name) == 0)
            return &d;
    return nullptr;
}

const char* simBusName(SimBusId bus)
{
    return bus < SIM_BUS_COUNT ? kBusNames[bus] : "?";
}

int simBusFromName(const char* name)
{
    for (int i = 0; i < SIM_BUS_COUNT; i++)
        if (strcmp(name, kBusNames[i]) == 0)
            return i;
    return -1;
}

const char* simOpName(SimOp op)
{
    return op < SIM_OP_COUNT ? kOpNames[op] : "?";
}

bool simTakeKnob(std::atomic<int32_t>& knob)
{
    int32_t n = knob.load();
    while (n > 0)
        if (knob.compare_exchange_weak(n, n - 1))
            return true;
    return false;
}

void simLogAppend(SimBusId bus, uint16_t addr, SimOp op, uint8_t flags, int32_t result, uint32_t value, size_t len,
                  const uint8_t* data, size_t dataLen)
{
    SimBus& b = mod().state->buses[bus];
    uint64_t n = b.logHead.load(std::memory_order_relaxed);
    SimLogEntry& e = b.log[n % kSimLogEntries];
    e.seq.store(0, std::memory_order_release);
    struct timespec ts;
    clockPeekTime(CLOCK_MONOTONIC, &ts);
    e.timeNs = static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    e.addr = addr;
    e.op = op;
    e.flags = flags;
    e.result = result;
    e.value = value;
    e.len = static_cast<uint16_t>(len);
    e.dataLen = static_cast<uint8_t>(data ? (dataLen < kSimLogData ? dataLen : kSimLogData) : 0);
    if (e.dataLen)
        memcpy(e.data, data, e.dataLen);
    e.seq.store(n + 1, std::memory_order_release);
    b.logHead.store(n + 1, std::memory_order_release);
}

size_t simLogRead(SimBusId bus, uint64_t after, SimLogRecord* out, size_t max)
{
    SimBoardState* s = mod().state;
    if (!s || bus >= SIM_BUS_COUNT || max == 0)
        return 0;
    SimBus& b = s->buses[bus];
    uint64_t head = b.logHead.load(std::memory_order_acquire);
    uint64_t first = head > kSimLogEntries ? head - kSimLogEntries : 0;
    if (first < after)
        first = after;
    if (head - first > max)
        first = head - max;
    size_t n = 0;
    for (uint64_t i = first; i < head; i++) {
        const SimLogEntry& e = b.log[i % kSimLogEntries];
        uint64_t seq = e.seq.load(std::memory_order_acquire);
        if (seq != i + 1)
            continue;
        SimLogRecord& r = out[n];
        r.seq = seq;
        r.timeNs = e.timeNs;
        r.bus = bus;
        r.addr = e.addr;
        r.op = static_cast<SimOp>(e.op);
        r.flags = e.flags;
        r.result = e.result;
        r.value = e.value;
        r.len = e.len;
        r.dataLen = e.dataLen;
        memcpy(r.data, e.data, sizeof r.data);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (e.seq.load(std::memory_order_relaxed) == seq) // not overwritten meanwhile
            n++;
    }
    return n;
}

std::string simLogFormat(const SimLogRecord& r)
{
    char line[256];
    int n = snprintf(line, sizeof line, "%6llu %lld.%06lld %s 0x%02X %-9s", static_cast<unsigned long long>(r.seq),
                     static_cast<long long>(r.timeNs / 1000000000LL),
                     static_cast<long long>((r.timeNs % 1000000000LL) / 1000), simBusName(r.bus), r.addr,
                     simOpName(r.op));
    std::string s(line, static_cast<size_t>(n));
    if (r.op >= SIM_OP_SET_MODE) {
        snprintf(line, sizeof line, " 0x%X", r.value);
        s += line;
        if (r.result < 0) {
            snprintf(line, sizeof line, " -> %s", strerror(-r.result));
            s += line;
        }
        return s;
    }
    snprintf(line, sizeof line, " len %u", r.len);
    s += line;
    if (r.op == SIM_OP_XFER) {
        snprintf(line, sizeof line, " %u-bit", r.value);
        s += line;
    }
    if (r.flags & kSimLogRestart)
        s += " (restart)";
    if (r.result < 0) {
        snprintf(line, sizeof line, " -> %s", strerror(-r.result));
        s += line;
    } else if (r.result != r.len) {
        snprintf(line, sizeof line, " -> %d", r.result);
        s += line;
    }
    if (r.dataLen) {
        s += " [";
        for (int i = 0; i < r.dataLen; i++) {
            snprintf(line, sizeof line, i ? " %02x" : "%02x", r.data[i]);
            s += line;
        }
        s += r.dataLen < (r.result > 0 ? r.result : r.len) ? " ...]" : "]";
    }
    return s;
}
