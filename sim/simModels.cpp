// Device models of the simulated board: the register file, the SPI shift
// device, the model table and the store files.
#include "sim/simModels.h"

#include "sim/simCplPsu.h"
#include "sim/simEeprom.h"
#include "sim/simExpanders.h"
#include "sim/simGps.h"
#include "sim/simPlant.h"
#include "sim/simProfile.h"
#include "sim/simRf.h"
#include "sim/simSi4769.h"
#include "sim/simSwitch.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Splits "a,b,c" into its words.
std::vector<std::string> splitList(const std::string& s)
{
    std::vector<std::string> out;
    std::stringstream in(s);
    std::string w;
    while (std::getline(in, w, ','))
        if (!w.empty())
            out.push_back(w);
    return out;
}

// Parses "r:v,r:v" pairs.
std::vector<std::pair<uint32_t, uint32_t>> parsePairs(const std::string& s)
{
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const std::string& w : splitList(s)) {
        size_t colon = w.find(':');
        uint32_t r, v;
        if (colon != std::string::npos && simParseNumber(w.substr(0, colon), &r) &&
            simParseNumber(w.substr(colon + 1), &v))
            out.push_back({r, v});
    }
    return out;
}

uint32_t optNumber(const std::map<std::string, std::string>& o, const char* key, uint32_t def)
{
    auto it = o.find(key);
    uint32_t v;
    return it != o.end() && simParseNumber(it->second, &v) ? v : def;
}

class SimRegFile : public SimI2cModel {
public:
    enum Inc { INC_AUTO, INC_PAIR, INC_NONE };

    explicit SimRegFile(SimDevice* dev) : SimI2cModel(dev)
    {
        auto o = simParseOptions(dev->opts);
        regs_ = optNumber(o, "regs", 256);
        if (regs_ == 0 || regs_ > 65536)
            regs_ = 256;
        width_ = optNumber(o, "width", 1) == 2 ? 2 : 1;
        ptr_ = optNumber(o, "ptr", 1);
        if (ptr_ > 2)
            ptr_ = 1;
        std::string inc = o.count("inc") ? o["inc"] : "auto";
        inc_ = inc == "pair" ? INC_PAIR : inc == "none" ? INC_NONE : INC_AUTO;
        fill_ = static_cast<uint8_t>(optNumber(o, "fill", 0));
        persist_ = o.count("persist") != 0;
        mask_.assign(bytes(), 0xFF);
        for (const std::string& w : splitList(o.count("ro") ? o["ro"] : "")) {
            uint32_t r;
            if (simParseNumber(w, &r) && r < regs_)
                setRegBytes(mask_.data(), r, 0);
        }
        for (auto [r, m] : parsePairs(o.count("wmask") ? o["wmask"] : ""))
            if (r < regs_)
                setRegBytes(mask_.data(), r, m);
        init_ = parsePairs(o.count("init") ? o["init"] : "");
    }

    size_t storeSize() const override { return bytes(); }
    bool persists() const override { return persist_; }

    void powerOn() override
    {
        memset(store_, fill_, bytes());
        for (auto [r, v] : init_)
            if (r < regs_)
                setRegBytes(store_, r, v);
        dev_->cursor.store(0);
    }

    void start(bool read) override
    {
        (void)read;
        if (ptr_ == 0)
            dev_->cursor.store(0);
    }

    int write(const uint8_t* data, size_t len) override
    {
        size_t i = 0;
        if (ptr_ > 0) {
            if (len < ptr_)
                return static_cast<int>(len); // a partial pointer selects nothing
            uint32_t reg = ptr_ == 2 ? (static_cast<uint32_t>(data[0]) << 8 | data[1]) : data[0];
            dev_->cursor.store((reg % regs_) * width_);
            i = ptr_;
        }
        uint32_t c = dev_->cursor.load();
        for (; i < len; i++) {
            uint8_t m = mask_[c];
            store_[c] = static_cast<uint8_t>((store_[c] & ~m) | (data[i] & m));
            c = next(c);
        }
        dev_->cursor.store(c);
        return static_cast<int>(len);
    }

    int read(uint8_t* data, size_t len) override
    {
        uint32_t c = dev_->cursor.load();
        for (size_t i = 0; i < len; i++) {
            data[i] = store_[c];
            c = next(c);
        }
        dev_->cursor.store(c);
        return static_cast<int>(len);
    }

protected:
    size_t regOffset(uint32_t reg) const override { return static_cast<size_t>(reg) * width_; }

private:
    size_t bytes() const { return static_cast<size_t>(regs_) * width_; }

    void setRegBytes(uint8_t* p, uint32_t reg, uint32_t v) const
    {
        if (width_ == 2) {
            p[reg * 2] = static_cast<uint8_t>(v >> 8);
            p[reg * 2 + 1] = static_cast<uint8_t>(v);
        } else {
            p[reg] = static_cast<uint8_t>(v);
        }
    }

    // The byte cursor after one byte: on through a wide register, then by
    // the pointer rule.
    uint32_t next(uint32_t c) const
    {
        uint32_t reg = c / width_, off = c % width_;
        if (off + 1 < width_)
            return c + 1;
        switch (inc_) {
        case INC_AUTO: reg = (reg + 1) % regs_; break;
        case INC_PAIR: reg = (reg ^ 1) < regs_ ? (reg ^ 1) : reg; break;
        case INC_NONE: break;
        }
        return reg * width_;
    }

    uint32_t regs_ = 256;
    uint32_t width_ = 1;
    uint32_t ptr_ = 1;
    Inc inc_ = INC_AUTO;
    uint8_t fill_ = 0;
    bool persist_ = false;
    std::vector<uint8_t> mask_;
    std::vector<std::pair<uint32_t, uint32_t>> init_;
};

// Store layout of the shift device: the reply length, then the reply.
constexpr size_t kShiftReplyMax = 64;

class SimShift : public SimSpiModel {
public:
    explicit SimShift(SimDevice* dev) : SimSpiModel(dev)
    {
        auto o = simParseOptions(dev->opts);
        for (const std::string& w : splitList(o.count("reply") ? o["reply"] : "")) {
            uint32_t b;
            if (simParseNumber(w, &b) && reply_.size() < kShiftReplyMax)
                reply_.push_back(static_cast<uint8_t>(b));
        }
    }

    size_t storeSize() const override { return 1 + kShiftReplyMax; }

    void powerOn() override
    {
        memset(store_, 0, storeSize());
        store_[0] = static_cast<uint8_t>(reply_.size());
        if (!reply_.empty())
            memcpy(store_ + 1, reply_.data(), reply_.size());
    }

    int peek(uint32_t reg, uint8_t* out, size_t n) override
    {
        if (reg != 0)
            return -1;
        size_t len = store_[0] < n ? store_[0] : n;
        if (len)
            memcpy(out, store_ + 1, len);
        return static_cast<int>(len);
    }

    int poke(uint32_t reg, const uint8_t* in, size_t n) override
    {
        if (reg != 0 || n > kShiftReplyMax)
            return -1;
        if (n)
            memcpy(store_ + 1, in, n);
        store_[0] = static_cast<uint8_t>(n);
        return static_cast<int>(n);
    }

    int transfer(const uint8_t* tx, uint8_t* rx, size_t len, unsigned bitsPerWord) override
    {
        (void)tx;
        (void)bitsPerWord;
        size_t n = store_[0];
        if (rx)
            for (size_t i = 0; i < len; i++)
                rx[i] = n ? store_[1 + i % n] : 0;
        return static_cast<int>(len);
    }

private:
    std::vector<uint8_t> reply_;
};

struct KindRow {
    const char* kind;
    SimBusId bus; // SIM_BUS_I2C1 stands for either I2C bus
    SimModel* (*create)(SimDevice*);
};

constexpr SimBusId I2C = SIM_BUS_I2C1, SPI = SIM_BUS_SPI0, MDIO = SIM_BUS_MDIO;

const KindRow kKinds[] = {
    {"regfile", I2C, [](SimDevice* d) -> SimModel* { return new SimRegFile(d); }},
    {"m24lc512", I2C, [](SimDevice* d) { return simEepromCreate(d, 65536, 128); }},
    {"m34d64", I2C, [](SimDevice* d) { return simEepromCreate(d, 8192, 32); }},
    {"pca9655", I2C, [](SimDevice* d) { return simExpanderCreate(d, 2); }},
    {"cat9534", I2C, [](SimDevice* d) { return simExpanderCreate(d, 1); }},
    {"pca9654", I2C, [](SimDevice* d) { return simExpanderCreate(d, 1); }},
    {"extpll", I2C, [](SimDevice* d) { return simExtPllCreate(d); }},
    {"dcexp", I2C, simDownConvExpanderCreate},
    {"ncd2400m", I2C, simNcd2400mCreate},
    {"shift", SPI, [](SimDevice* d) -> SimModel* { return new SimShift(d); }},
    {"none", SPI, [](SimDevice* d) -> SimModel* { return new SimShift(d); }},
    {"hpaplant", SPI, simPlantCreate},
    {"hpadac", SPI, simHpaDacCreate},
    {"ltc2451", I2C, simLtc2451Create},
    {"ad9789", SPI, simAd9789Create},
    {"ltc6948", SPI, simLtc6948Create},
    {"dcsynth", SPI, simDownConvSynthCreate},
    {"mv88e6352", MDIO, [](SimDevice* d) { return simSwitchCreate(d, true); }},
    {"mv88e6085", MDIO, [](SimDevice* d) { return simSwitchCreate(d, false); }},
    {"ublox", I2C, simGpsCreate},
    {"si4769", I2C, simSi4769Create},
    {"cplpsu", I2C, simCplPsuCreate},
};

const KindRow* findKind(SimBusId bus, const char* kind)
{
    for (const KindRow& k : kKinds)
        if (strcmp(k.kind, kind) == 0 && k.bus == (bus == SIM_BUS_I2C0 ? SIM_BUS_I2C1 : bus))
            return &k;
    return nullptr;
}

struct ModelsModule {
    SimBoardState* board = nullptr; // the board the models were built for
    std::string root;               // and its sandbox
    std::unique_ptr<SimModel> models[kSimMaxDevices];
    bool storeFresh[kSimMaxDevices] = {};
    void* maps[kSimMaxDevices] = {};
    size_t mapLen[kSimMaxDevices] = {};
};

ModelsModule& mod()
{
    static ModelsModule m;
    return m;
}

// Maps a device's store file, reserved on disk; *fresh tells that it was
// made or resized.
uint8_t* mapStore(const SimDevice& d, size_t size, bool* fresh)
{
    char name[64];
    snprintf(name, sizeof name, "store/%s-0x%02x.bin", simBusName(static_cast<SimBusId>(d.bus)), d.addr);
    int fd = simOpenMappedFile(simFilePath(name), size, 0, size, fresh);
    if (fd < 0)
        return nullptr;
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
}

int slotIndex(const SimDevice* dev)
{
    SimBoardState* s = simState();
    if (!s || dev < s->devices || dev >= s->devices + kSimMaxDevices)
        return -1;
    return static_cast<int>(dev - s->devices);
}

} // namespace

int SimModel::peek(uint32_t reg, uint8_t* out, size_t n)
{
    size_t off = regOffset(reg), size = storeSize();
    if (!store_ || off >= size)
        return -1;
    size_t len = n < size - off ? n : size - off;
    if (len)
        memcpy(out, store_ + off, len);
    return static_cast<int>(len);
}

int SimModel::poke(uint32_t reg, const uint8_t* in, size_t n)
{
    size_t off = regOffset(reg), size = storeSize();
    if (!store_ || off >= size)
        return -1;
    size_t len = n < size - off ? n : size - off;
    if (len)
        memcpy(store_ + off, in, len);
    return static_cast<int>(len);
}

bool simKindKnown(SimBusId bus, const char* kind)
{
    return findKind(bus, kind) != nullptr;
}

int simModelsAttach(bool powerOn)
{
    ModelsModule& m = mod();
    SimBoardState* s = simState();
    std::string root = simFilePath("");
    if (!s)
        return -1;
    if (m.board == s && m.root == root)
        return 0;
    for (int i = 0; i < kSimMaxDevices; i++) {
        m.models[i].reset();
        if (m.maps[i])
            munmap(m.maps[i], m.mapLen[i]);
        m.maps[i] = nullptr;
    }
    m.board = s;
    m.root = root;
    for (int i = 0; i < kSimMaxDevices; i++) {
        SimDevice& d = s->devices[i];
        if (!d.used.load())
            continue;
        const KindRow* k = findKind(static_cast<SimBusId>(d.bus), d.kind);
        if (!k)
            continue;
        std::unique_ptr<SimModel> model(k->create(&d));
        size_t size = model->storeSize();
        if (size) {
            bool fresh = false;
            uint8_t* store = mapStore(d, size, &fresh);
            if (!store) {
                m.board = nullptr; // attached again from scratch next time
                return -1;
            }
            model->attachStore(store);
            m.maps[i] = store;
            m.mapLen[i] = size;
            if (powerOn && (fresh || !model->persists()))
                model->powerOn();
        }
        m.models[i] = std::move(model);
    }
    return 0;
}

void simModelsPowerOn()
{
    for (auto& model : mod().models)
        if (model && !model->persists())
            model->powerOn();
}

SimModel* simModelOf(const SimDevice* dev)
{
    int i = slotIndex(dev);
    return i < 0 || mod().board != simState() ? nullptr : mod().models[i].get();
}

SimI2cModel* simI2cModelOf(const SimDevice* dev)
{
    return dev && (dev->bus == SIM_BUS_I2C0 || dev->bus == SIM_BUS_I2C1) ? static_cast<SimI2cModel*>(simModelOf(dev))
                                                                          : nullptr;
}

SimSpiModel* simSpiModelOf(const SimDevice* dev)
{
    return dev && dev->bus == SIM_BUS_SPI0 ? static_cast<SimSpiModel*>(simModelOf(dev)) : nullptr;
}
