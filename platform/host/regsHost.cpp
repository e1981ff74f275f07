// Host simulation of the register-window seam. Words inside a hooked range
// are offered to the simulated FPGA first; everything else is plain memory
// (the shared file that stands for the bridge window).
#include "platform/regs.h"

#include <atomic>
#include <mutex>

namespace {

constexpr int kMaxRanges = 16;

struct Range {
    const volatile char* base;
    size_t len;
    RegHooks hooks;
};

struct RegsHostState {
    std::mutex lock; // taken by writers of the table only
    Range ranges[kMaxRanges];
    std::atomic<int> count{0};
};

RegsHostState& st()
{
    static RegsHostState s;
    return s;
}

const Range* find(const volatile void* addr, size_t* off)
{
    auto p = static_cast<const volatile char*>(addr);
    int n = st().count.load(std::memory_order_acquire);
    for (int i = 0; i < n; i++) {
        const Range& r = st().ranges[i];
        if (r.base && p >= r.base && p < r.base + r.len) {
            *off = static_cast<size_t>(p - r.base);
            return &r;
        }
    }
    return nullptr;
}

} // namespace

uint32_t read32(const volatile void* addr)
{
    size_t off = 0;
    if (const Range* r = find(addr, &off)) {
        uint32_t v = 0;
        if (r->hooks.onRead && r->hooks.onRead(r->hooks.ctx, off, &v))
            return v;
    }
    return __atomic_load_n(static_cast<const volatile uint32_t*>(addr), __ATOMIC_SEQ_CST);
}

void write32(volatile void* addr, uint32_t value)
{
    size_t off = 0;
    if (const Range* r = find(addr, &off)) {
        if (r->hooks.onWrite && r->hooks.onWrite(r->hooks.ctx, off, value))
            return;
    }
    __atomic_store_n(static_cast<volatile uint32_t*>(addr), value, __ATOMIC_SEQ_CST);
}

void regRegisterHooks(const volatile void* base, size_t len, const RegHooks* hooks)
{
    std::lock_guard<std::mutex> g(st().lock);
    int n = st().count.load();
    for (int i = 0; i < n; i++) {
        if (st().ranges[i].base == base) {
            st().ranges[i].len = len;
            st().ranges[i].hooks = *hooks;
            return;
        }
    }
    // Reuse a slot freed by regUnregisterHooks before taking a new one.
    for (int i = 0; i < n; i++) {
        Range& r = st().ranges[i];
        if (!r.base) {
            r.len = len;
            r.hooks = *hooks;
            __atomic_store_n(&r.base, static_cast<const volatile char*>(base), __ATOMIC_RELEASE);
            return;
        }
    }
    if (n < kMaxRanges) {
        st().ranges[n] = Range{static_cast<const volatile char*>(base), len, *hooks};
        st().count.store(n + 1, std::memory_order_release);
    }
}

void regUnregisterHooks(const volatile void* base)
{
    std::lock_guard<std::mutex> g(st().lock);
    int n = st().count.load();
    for (int i = 0; i < n; i++)
        if (st().ranges[i].base == base)
            st().ranges[i].base = nullptr;
}
