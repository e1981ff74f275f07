// Host simulation of the register-window seam. Words inside a hooked range
// are offered to the simulated FPGA first; everything else is plain memory
// (the shared file that stands for the bridge window).
//
// Every read32/write32 looks the word up in the table of hooked ranges, so
// the lookup takes no lock and makes no system call. Registration is rare
// (at map and unmap time) and takes a mutex. Each slot carries a sequence
// word that a writer makes odd while it changes the slot and even again
// after; a reader copies the slot and keeps the copy only when the sequence
// was even and unchanged around it, so it never combines the range of one
// registration with the hooks of another. Every field is atomic.
#include "platform/regs.h"
#include "platform/host/regHooks.h"

#include <atomic>
#include <mutex>
#include <sched.h>

namespace {

constexpr int kMaxRanges = 16;

using ReadHook = bool (*)(void*, size_t, uint32_t*);
using WriteHook = bool (*)(void*, size_t, uint32_t);

struct Slot {
    std::atomic<uint32_t> seq{0};
    std::atomic<const volatile char*> base{nullptr}; // null: free
    std::atomic<size_t> len{0};
    std::atomic<ReadHook> onRead{nullptr};
    std::atomic<WriteHook> onWrite{nullptr};
    std::atomic<void*> ctx{nullptr};
};

// A consistent copy of one slot.
struct Range {
    const volatile char* base;
    size_t len;
    RegHooks hooks;
};

struct RegsHostState {
    std::mutex lock; // taken by writers of the table only
    Slot slots[kMaxRanges];
    // Slots ever taken; raised only after the new slot is written.
    std::atomic<int> used{0};
};

RegsHostState& st()
{
    static RegsHostState s;
    return s;
}

// Sequentially consistent accesses throughout: the loads of the fields cannot
// pass the second load of the sequence, nor the stores of the fields the
// store that makes it odd.
Range readSlot(const Slot& s)
{
    for (;;) {
        uint32_t before = s.seq.load();
        if (before & 1) {
            sched_yield(); // a registration is half-way; only then
            continue;
        }
        Range r{s.base.load(), s.len.load(), {s.onRead.load(), s.onWrite.load(), s.ctx.load()}};
        if (s.seq.load() == before)
            return r;
    }
}

// Caller holds the registration lock.
void writeSlot(Slot& s, const volatile char* base, size_t len, const RegHooks* hooks)
{
    uint32_t q = s.seq.load();
    s.seq.store(q + 1);
    s.len.store(len);
    s.onRead.store(hooks ? hooks->onRead : nullptr);
    s.onWrite.store(hooks ? hooks->onWrite : nullptr);
    s.ctx.store(hooks ? hooks->ctx : nullptr);
    s.base.store(base);
    s.seq.store(q + 2);
}

bool find(const volatile void* addr, size_t* off, Range* out)
{
    auto p = static_cast<const volatile char*>(addr);
    int n = st().used.load();
    for (int i = 0; i < n; i++) {
        // A cheap look at the base first; the copy decides.
        const volatile char* b = st().slots[i].base.load(std::memory_order_relaxed);
        if (!b || p < b)
            continue;
        Range r = readSlot(st().slots[i]);
        if (r.base && p >= r.base && p < r.base + r.len) {
            *off = static_cast<size_t>(p - r.base);
            *out = r;
            return true;
        }
    }
    return false;
}

} // namespace

uint32_t read32(const volatile void* addr)
{
    size_t off = 0;
    Range r;
    if (find(addr, &off, &r)) {
        uint32_t v = 0;
        if (r.hooks.onRead && r.hooks.onRead(r.hooks.ctx, off, &v))
            return v;
    }
    return __atomic_load_n(static_cast<const volatile uint32_t*>(addr), __ATOMIC_SEQ_CST);
}

void write32(volatile void* addr, uint32_t value)
{
    size_t off = 0;
    Range r;
    if (find(addr, &off, &r)) {
        if (r.hooks.onWrite && r.hooks.onWrite(r.hooks.ctx, off, value))
            return;
    }
    __atomic_store_n(static_cast<volatile uint32_t*>(addr), value, __ATOMIC_SEQ_CST);
}

int regRegisterHooks(const volatile void* base, size_t len, const RegHooks* hooks)
{
    auto b = static_cast<const volatile char*>(base);
    if (!b)
        return -1;
    std::lock_guard<std::mutex> g(st().lock);
    int n = st().used.load();
    for (int i = 0; i < n; i++) {
        if (st().slots[i].base.load() == b) {
            writeSlot(st().slots[i], b, len, hooks);
            return 0;
        }
    }
    // Reuse a slot freed by regUnregisterHooks before taking a new one.
    for (int i = 0; i < n; i++) {
        if (!st().slots[i].base.load()) {
            writeSlot(st().slots[i], b, len, hooks);
            return 0;
        }
    }
    if (n == kMaxRanges)
        return -1;
    writeSlot(st().slots[n], b, len, hooks);
    st().used.store(n + 1);
    return 0;
}

void regUnregisterHooks(const volatile void* base)
{
    std::lock_guard<std::mutex> g(st().lock);
    int n = st().used.load();
    for (int i = 0; i < n; i++)
        if (st().slots[i].base.load() == base)
            writeSlot(st().slots[i], nullptr, 0, nullptr);
}
