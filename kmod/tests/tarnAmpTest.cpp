// tarn_amp's start sequence run on recording kernel operations: a small
// device tree, register blocks and on-chip RAM in memory, firmware images
// from memory, and a log of messages, barriers, register writes, CPU
// hot-plug and firmware calls in the order they were made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tarnAmpCore.h"

namespace {

constexpr uint32_t kCpu1StartPhys = 0xFFD080C4;
constexpr uint32_t kCpu1StartInitial = 0x12345678;
constexpr uint8_t kRamFill = 0xEE;

struct Node {
    std::map<std::string, uint32_t> u32;
    std::map<std::string, std::string> str;
    bool reg = true;  // has a register range to map
    int refs = 0;
};

struct Region {
    std::string name;
    uint8_t *base;
    size_t size;
    std::vector<uint8_t> own;
};

struct Board {
    std::vector<std::string> log;
    std::map<std::string, Node> nodes;  // by compatible string
    Node device;                        // the module's own node
    std::map<std::string, std::vector<uint8_t>> files;
    std::deque<int> cpuDownResults;     // 0 once these run out
    std::set<uint32_t> failIoremap;
    std::vector<std::unique_ptr<Region>> live;
    std::vector<uint32_t> ioremapped;   // physical addresses asked for
    // The on-chip RAM, one byte beyond the window so a write past it shows.
    std::vector<uint8_t> ram = std::vector<uint8_t>(0x10000, kRamFill);
    int requested = 0;
    int released = 0;

    Region *find(const void *p) {
        auto *q = static_cast<const uint8_t *>(p);
        for (auto &r : live)
            if (q >= r->base && q < r->base + r->size)
                return r.get();
        return nullptr;
    }
    Region *named(const std::string &name) {
        for (auto &r : live)
            if (r->name == name)
                return r.get();
        return nullptr;
    }
    void *map(const std::string &name, size_t size, uint8_t *base = nullptr) {
        auto r = std::make_unique<Region>();
        r->name = name;
        r->size = size;
        if (!base) {
            r->own.assign(size, 0);
            base = r->own.data();
        }
        r->base = base;
        live.push_back(std::move(r));
        return base;
    }
    std::vector<std::string> rstWrites() const {
        std::vector<std::string> out;
        for (auto &e : log)
            if (e.rfind("rst+", 0) == 0)
                out.push_back(e);
        return out;
    }
};

Board *board;

std::string format(const char *fmt, va_list ap) {
    char buf[512];
    vsnprintf(buf, sizeof buf, fmt, ap);
    std::string s(buf);
    EXPECT_FALSE(s.empty() || s.back() != '\n') << "kernel line without newline: " << s;
    if (!s.empty() && s.back() == '\n')
        s.pop_back();
    return s;
}

std::string hex32(uint32_t v) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

std::string addr32(const void *p) { return hex32(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p))); }

extern "C" {

void fakeInfo(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    board->log.push_back("INFO " + format(fmt, ap));
    va_end(ap);
}

void fakeErr(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    board->log.push_back("ERR " + format(fmt, ap));
    va_end(ap);
}

void *fakeFindNode(const char *compatible) {
    auto it = board->nodes.find(compatible);
    if (it == board->nodes.end())
        return nullptr;
    it->second.refs++;
    return &it->second;
}

void fakeNodePut(void *node) { static_cast<Node *>(node)->refs--; }

int fakeReadU32(void *node, const char *name, uint32_t *value) {
    auto &n = *static_cast<Node *>(node);
    auto it = n.u32.find(name);
    if (it == n.u32.end())
        return -22;
    *value = it->second;
    return 0;
}

int fakeReadString(void *node, const char *name, const char **value) {
    auto &n = *static_cast<Node *>(node);
    auto it = n.str.find(name);
    if (it == n.str.end())
        return -22;
    *value = it->second.c_str();
    return 0;
}

void *fakeOfIomap(void *node, int index) {
    EXPECT_EQ(index, 0);
    auto *n = static_cast<Node *>(node);
    if (!n->reg)
        return nullptr;
    for (auto &[compatible, candidate] : board->nodes)
        if (&candidate == n)
            return board->map(compatible.substr(5, 3), 0x100);  // "altr,rst-mgr" -> "rst"
    ADD_FAILURE() << "of_iomap of an unknown node";
    return nullptr;
}

void *fakeIoremap(uint32_t phys, size_t size) {
    board->ioremapped.push_back(phys);
    if (board->failIoremap.count(phys))
        return nullptr;
    if (phys == TARN_AMP_RAM_PHYS) {
        EXPECT_EQ(size, TARN_AMP_WINDOW_SIZE);
        return board->map("window", size, board->ram.data());
    }
    if (phys == kCpu1StartPhys && size == 4) {
        void *p = board->map("cpu1start", 4);
        memcpy(p, &kCpu1StartInitial, 4);
        return p;
    }
    ADD_FAILURE() << "ioremap of " << hex32(phys) << " size " << size;
    return nullptr;
}

void fakeIounmap(void *addr) {
    for (auto it = board->live.begin(); it != board->live.end(); ++it)
        if ((*it)->base == addr) {
            board->live.erase(it);
            return;
        }
    ADD_FAILURE() << "iounmap of an address never mapped";
}

uint32_t fakeReadl(void *addr) {
    Region *r = board->find(addr);
    if (!r) {
        ADD_FAILURE() << "readl outside every mapping";
        return 0;
    }
    uint32_t v;
    memcpy(&v, addr, 4);
    return v;
}

void fakeWritel(uint32_t value, void *addr) {
    Region *r = board->find(addr);
    if (!r) {
        ADD_FAILURE() << "writel outside every mapping";
        return;
    }
    memcpy(addr, &value, 4);
    size_t off = static_cast<uint8_t *>(addr) - r->base;
    char buf[32];
    snprintf(buf, sizeof buf, "+0x%zX", off);
    board->log.push_back(r->name + (off ? buf : "") + " := " + hex32(value));
}

void fakeWriteb(uint8_t value, void *addr) {
    Region *r = board->find(addr);
    if (!r || r->name != "window") {
        ADD_FAILURE() << "writeb outside the window";
        return;
    }
    *static_cast<uint8_t *>(addr) = value;
}

void fakeDsb() { board->log.push_back("dsb"); }
void fakeDmb() { board->log.push_back("dmb"); }
void fakeWmb() { board->log.push_back("wmb"); }
void fakeFlushCacheAll() { board->log.push_back("v7_flush_kern_cache_all"); }
void fakeOuterCleanRange(uint32_t start, uint32_t end) {
    board->log.push_back("outer_clean_range(" + hex32(start) + ", " + hex32(end) + ")");
}

int fakeCpuDown(unsigned int cpu) {
    board->log.push_back("cpu_down(" + std::to_string(cpu) + ")");
    if (board->cpuDownResults.empty())
        return 0;
    int r = board->cpuDownResults.front();
    board->cpuDownResults.pop_front();
    return r;
}

int fakeCpuUp(unsigned int cpu) {
    board->log.push_back("cpu_up(" + std::to_string(cpu) + ")");
    return 0;
}

int fakeRequestFirmware(tarn_amp_image *image, const char *name, void *dev) {
    EXPECT_EQ(dev, static_cast<void *>(board));
    board->requested++;
    board->log.push_back(std::string("request_firmware(") + name + ")");
    auto it = board->files.find(name);
    if (it == board->files.end())
        return -2;
    image->data = it->second.data();
    image->size = it->second.size();
    image->handle = const_cast<std::string *>(&it->first);
    return 0;
}

void fakeReleaseFirmware(tarn_amp_image *image) {
    board->released++;
    board->log.push_back("release_firmware(" + *static_cast<std::string *>(image->handle) + ")");
}

}  // extern "C"

const tarn_amp_ops kOps = {
    fakeInfo, fakeErr, fakeFindNode, fakeNodePut, fakeReadU32, fakeReadString, fakeOfIomap,
    fakeIoremap, fakeIounmap, fakeReadl, fakeWritel, fakeWriteb, fakeDsb, fakeDmb, fakeWmb,
    fakeFlushCacheAll, fakeOuterCleanRange, fakeCpuDown, fakeCpuUp, fakeRequestFirmware,
    fakeReleaseFirmware,
};

std::vector<uint8_t> pattern(size_t n, unsigned seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = static_cast<uint8_t>(i * 7 + seed);
    return v;
}

// The board of the controller: every node and property present, a 16-byte
// image named by the module's node.
class TarnAmp : public ::testing::Test {
protected:
    Board b;
    tarn_amp_state st{};

    void SetUp() override {
        board = &b;
        b.nodes["altr,sys-mgr"].u32["cpu1-start-addr"] = kCpu1StartPhys;
        b.nodes["altr,rst-mgr"];
        b.nodes["altr,clk-mgr"];
        b.nodes["altr,sdr-ctl"];
        b.device.str["firmware"] = "tarn_bm.bin";
        b.files["tarn_bm.bin"] = pattern(16, 1);
    }
    void TearDown() override { board = nullptr; }

    int probe() { return tarn_amp_probe(&st, &kOps, &b.device, &b); }
    int remove() { return tarn_amp_remove(&st, &kOps); }

    std::vector<std::string> logFrom(const std::string &first) const {
        auto it = std::find(b.log.begin(), b.log.end(), first);
        return {it, b.log.end()};
    }
    bool windowHolds(const std::vector<uint8_t> &image) const {
        return std::equal(image.begin(), image.end(), b.ram.begin()) &&
               std::all_of(b.ram.begin() + image.size(), b.ram.end(), [](uint8_t c) { return c == kRamFill; });
    }
    void expectNodesPut() const {
        for (auto &[compatible, node] : b.nodes)
            EXPECT_EQ(node.refs, 0) << compatible;
    }
};

const std::vector<std::string> kStart = {
    "INFO TarnAMP: Prepare to JUMP",
    "wmb",
    "rst+0x10 := 0x00000002",
    "cpu1start := 0xFFFF0000",
    "v7_flush_kern_cache_all",
    "dmb",
    "outer_clean_range(0xFFFF0000, 0xFFFFFFFF)",
    "INFO TarnAMP: jump to FFFF0000",
    "wmb",
    "rst+0x10 := 0x00000000",
    "cpu_up(1)",
    "cpu_down(1)",
    "wmb",
    "rst+0x10 := 0x00000002",
    "cpu1start := 0xFFFF0000",
    "v7_flush_kern_cache_all",
    "dmb",
    "wmb",
    "rst+0x10 := 0x00000000",
};

TEST_F(TarnAmp, ProbeWithEveryPropertyCopiesTheImageAndStartsCpu1) {
    EXPECT_EQ(probe(), 0);

    std::vector<std::string> expected = {
        "INFO TarnAMP : PROBE",
        "INFO Initialize CycloneV registers...",
        "INFO socfpga_cpu1start_addr = 0xFFD080C4",
        "INFO cpu1start = " + addr32(b.named("cpu1start")->base),
        "INFO sys_manager_base_addr = " + addr32(b.named("sys")->base),
        "INFO rst_manager_base_addr = " + addr32(b.named("rst")->base),
        "INFO sdr_ctl_base_addr = " + addr32(b.named("sdr")->base),
        "INFO cpu1start value = 0x12345678",
        "dsb",
        "INFO cpu1start value = 0x12345678",
        "cpu_down(1)",
        "INFO cpu_down(1) = 0",
        "INFO Physical Addr 0xFFFF0000 = Virtual " + addr32(b.ram.data()),
        "INFO Firmware <tarn_bm.bin> will be loaded.",
        "request_firmware(tarn_bm.bin)",
        "INFO Copy firmware into RAM",
        "release_firmware(tarn_bm.bin)",
    };
    expected.insert(expected.end(), kStart.begin(), kStart.end());
    EXPECT_EQ(b.log, expected);

    EXPECT_TRUE(windowHolds(b.files["tarn_bm.bin"]));
    EXPECT_EQ(st.cpu1, TARN_CPU1_IMAGE);
    EXPECT_EQ(st.fw.data, nullptr);
    EXPECT_NE(b.named("clk"), nullptr);
    EXPECT_EQ(b.live.size(), 6u);
    expectNodesPut();
}

struct ProbeCase {
    const char *name;
    std::function<void(Board &)> setup;
    std::vector<std::string> lines;  // in this order among the log
    std::vector<std::string> rstWrites;
    enum { kCopied, kUntouched } window;
    int requested;
    int released;
    tarn_amp_cpu1 cpu1;
};

const std::vector<std::string> kStarted = {"rst+0x10 := 0x00000002", "rst+0x10 := 0x00000000",
                                           "rst+0x10 := 0x00000002", "rst+0x10 := 0x00000000"};

TEST_F(TarnAmp, ProbeCases) {
    const std::vector<ProbeCase> cases = {
        {"no firmware property", [](Board &x) { x.device.str.clear(); },
         {"INFO Firmware property not found", "INFO TarnAMP: Prepare to JUMP"},
         kStarted, ProbeCase::kUntouched, 0, 0, TARN_CPU1_IMAGE},
        {"failed request", [](Board &x) { x.files.clear(); },
         {"INFO Firmware <tarn_bm.bin> will be loaded.", "request_firmware(tarn_bm.bin)",
          "INFO Error while loading firmware.", "INFO TarnAMP: Prepare to JUMP"},
         kStarted, ProbeCase::kUntouched, 1, 0, TARN_CPU1_IMAGE},
        {"65,535-byte image", [](Board &x) { x.files["tarn_bm.bin"] = pattern(0xFFFF, 3); },
         {"INFO Copy firmware into RAM", "release_firmware(tarn_bm.bin)", "INFO TarnAMP: Prepare to JUMP"},
         kStarted, ProbeCase::kCopied, 1, 1, TARN_CPU1_IMAGE},
        {"65,536-byte image", [](Board &x) { x.files["tarn_bm.bin"] = pattern(0x10000, 3); },
         {"request_firmware(tarn_bm.bin)",
          "ERR TarnAMP: firmware <tarn_bm.bin> has 65536 bytes, more than the 0xFFFF-byte window; not loaded",
          "release_firmware(tarn_bm.bin)", "INFO TarnAMP: Prepare to JUMP"},
         kStarted, ProbeCase::kUntouched, 1, 1, TARN_CPU1_IMAGE},
        {"missing cpu1-start-addr", [](Board &x) { x.nodes["altr,sys-mgr"].u32.clear(); },
         {"INFO Initialize CycloneV registers...", "ERR SMP: Need cpu1-start-addr in device tree.",
          "INFO socfpga_cpu1start_addr = 0x00000000", "INFO cpu1start = 0x00000000", "INFO cpu_down(1) = 0",
          "INFO Copy firmware into RAM"},
         {}, ProbeCase::kCopied, 1, 1, TARN_CPU1_OFFLINE},
        {"cpu1-start-addr of 0", [](Board &x) { x.nodes["altr,sys-mgr"].u32["cpu1-start-addr"] = 0; },
         {"ERR SMP: Need cpu1-start-addr in device tree.", "INFO cpu1start = 0x00000000"},
         {}, ProbeCase::kCopied, 1, 1, TARN_CPU1_OFFLINE},
        {"failing cpu_down", [](Board &x) { x.cpuDownResults = {-16}; },
         {"INFO cpu_down(1) = -16", "ERR TarnAMP: CPU1 still runs Linux, it is not started",
          "INFO Copy firmware into RAM"},
         {}, ProbeCase::kCopied, 1, 1, TARN_CPU1_LINUX},
        {"failing second cpu_down", [](Board &x) { x.cpuDownResults = {0, -16}; },
         {"INFO TarnAMP: jump to FFFF0000", "cpu_up(1)", "cpu_down(1)",
          "ERR TarnAMP: cpu_down(1) = -16, CPU1 runs Linux and is not started"},
         {"rst+0x10 := 0x00000002", "rst+0x10 := 0x00000000"}, ProbeCase::kCopied, 1, 1, TARN_CPU1_LINUX},
        {"CPU1 already offline", [](Board &x) { x.cpuDownResults = {1}; },
         {"INFO cpu_down(1) = 1", "INFO TarnAMP: Prepare to JUMP"},
         kStarted, ProbeCase::kCopied, 1, 1, TARN_CPU1_IMAGE},
        {"reset manager not mapped", [](Board &x) { x.nodes["altr,rst-mgr"].reg = false; },
         {"INFO rst_manager_base_addr = 0x00000000", "INFO Copy firmware into RAM",
          "ERR TarnAMP: reset manager not mapped, CPU1 not started"},
         {}, ProbeCase::kCopied, 1, 1, TARN_CPU1_OFFLINE},
        {"no reset manager node", [](Board &x) { x.nodes.erase("altr,rst-mgr"); },
         {"ERR TarnAMP: reset manager not mapped, CPU1 not started"},
         {}, ProbeCase::kCopied, 1, 1, TARN_CPU1_OFFLINE},
        {"window not mapped", [](Board &x) { x.failIoremap.insert(TARN_AMP_RAM_PHYS); },
         {"INFO Physical Addr 0xFFFF0000 = Virtual 0x00000000", "INFO Firmware <tarn_bm.bin> will be loaded.",
          "ERR TarnAMP: firmware window not mapped, firmware not copied", "INFO TarnAMP: Prepare to JUMP"},
         kStarted, ProbeCase::kUntouched, 0, 0, TARN_CPU1_IMAGE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Board fresh;
        b = std::move(fresh);
        SetUp();
        st = tarn_amp_state{};
        c.setup(b);

        EXPECT_EQ(probe(), 0);
        auto at = b.log.begin();
        for (const auto &line : c.lines) {
            auto found = std::find(at, b.log.end(), line);
            EXPECT_NE(found, b.log.end()) << "missing or out of order: " << line;
            if (found != b.log.end())
                at = found + 1;
        }
        EXPECT_EQ(b.rstWrites(), c.rstWrites);
        if (c.rstWrites == kStarted) {
            EXPECT_EQ(std::vector<std::string>(b.log.end() - kStart.size(), b.log.end()), kStart);
        }
        EXPECT_TRUE(windowHolds(c.window == ProbeCase::kCopied ? b.files["tarn_bm.bin"] : std::vector<uint8_t>{}));
        EXPECT_EQ(b.requested, c.requested);
        EXPECT_EQ(b.released, c.released);
        EXPECT_EQ(st.cpu1, c.cpu1);
        EXPECT_EQ(st.fw.data, nullptr);
        for (uint32_t phys : b.ioremapped)
            EXPECT_NE(phys, 0u) << "physical address 0 mapped";
        expectNodesPut();

        EXPECT_EQ(remove(), 0);
        EXPECT_EQ(std::vector<std::string>(b.log.end() - 2, b.log.end()),
                  (std::vector<std::string>{"INFO TarnAMP : REMOVE", "cpu_up(1)"}));
        EXPECT_TRUE(b.live.empty()) << b.live.size() << " mappings left after remove";
        EXPECT_EQ(st.cpu1, TARN_CPU1_LINUX);
    }
}

TEST_F(TarnAmp, LoadUnloadAndLoadAgainRestartsCpu1) {
    EXPECT_EQ(probe(), 0);
    EXPECT_EQ(st.cpu1, TARN_CPU1_IMAGE);

    b.log.clear();
    EXPECT_EQ(remove(), 0);
    EXPECT_EQ(b.log, (std::vector<std::string>{"INFO TarnAMP : REMOVE", "cpu_up(1)"}));
    EXPECT_EQ(st.cpu1, TARN_CPU1_LINUX);
    EXPECT_TRUE(b.live.empty());

    // A new image between the loads: the second probe copies it again.
    b.files["tarn_bm.bin"] = pattern(32, 9);
    b.log.clear();
    EXPECT_EQ(probe(), 0);
    EXPECT_EQ(logFrom("cpu_down(1)").front(), "cpu_down(1)");
    EXPECT_NE(std::find(b.log.begin(), b.log.end(), "INFO cpu_down(1) = 0"), b.log.end());
    EXPECT_EQ(std::vector<std::string>(b.log.end() - kStart.size(), b.log.end()), kStart);
    EXPECT_TRUE(windowHolds(b.files["tarn_bm.bin"]));
    EXPECT_EQ(st.cpu1, TARN_CPU1_IMAGE);
    EXPECT_EQ(b.live.size(), 6u);
    expectNodesPut();

    EXPECT_EQ(remove(), 0);
    EXPECT_TRUE(b.live.empty());
}

}  // namespace
