// The amplifier plant of the simulated board (laws: sim/simPlant.h).
#include "sim/simPlant.h"

#include "platform/clock.h"
#include "sim/simProfile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

constexpr uint32_t kPlantMagic = 0x504C4E54; // "PLNT"

// The standing current of the drive stages (A).
constexpr double kDriverAmps = 0.5;

// Converter scales (volts per count).
constexpr double kVpc12 = 0.000805664;
constexpr double kVpc16 = 7.6294e-5;

// The plant's state, in the store of the hpaplant device (shared by every
// process of the sandbox). Doubles: the store is plain memory.
struct PlantStore {
    uint32_t magic;
    uint32_t model;
    int32_t nominal;   // 0.1 dBm
    int32_t vdet0Fwd;
    int32_t vdet0Ref;
    uint32_t fanStopped;
    uint32_t interlockOpen;
    uint32_t noise;    // counts, +-
    uint32_t seed;
    uint32_t tripped;  // latched comparator trip: bit 0 forward, bit 1 reflected
    uint64_t noiseState;
    int64_t lastNs;    // platform clock of the last move, 0 none
    double ambient;
    double temp;
    double tau;
    double rl;
    double supply;
    double forcedDbm;  // NAN: the drive sets the power
    // Last evaluation, for the knobs' printout and the temperature law.
    double drive;
    double fwdW;
    double fwdDbm;
    double refDbm;
    double current;
    uint32_t rfOn;
    uint32_t lastChannel;
};

// Logical DAC 0..4 -> DAC command byte, by model (0: none); the routing of
// the drive DAC by family and model.
constexpr uint8_t kDacCommand[6][5] = {
    {0x14, 0x10, 0x12, 0, 0},    // model 0
    {0x24, 0, 0x10, 0, 0},       // model 1 (alternative command set)
    {0x10, 0x16, 0x14, 0, 0},    // model 2
    {0, 0x10, 0x12, 0x14, 0x16}, // model 3
    {0, 0x10, 0x12, 0x14, 0},    // model 4
    {0, 0x16, 0x14, 0x10, 0},    // model 5
};
constexpr uint8_t kDacCommands[] = {0x10, 0x12, 0x14, 0x16, 0x24};
constexpr int kDacSlots = sizeof kDacCommands;

int dacSlot(uint8_t command)
{
    for (int i = 0; i < kDacSlots; i++)
        if (kDacCommands[i] == command)
            return i;
    return -1;
}

struct DacStore {
    uint16_t code[kDacSlots];
    uint8_t written[kDacSlots];
};

uint32_t familyOf(uint32_t model)
{
    return model >= 3 && model <= 4 ? 1 : model == 5 ? 2 : 0;
}

double fullScale(uint32_t model)
{
    return model == 3 ? 65535.0 : 4095.0;
}

// Log-detector slopes (dB per count) and counts at nominal power.
double slopeFwd(uint32_t model)
{
    return model == 3 ? 0.001907349 : model == 4 ? 0.026855467 : 0.0055182464;
}
double slopeRef(uint32_t model)
{
    return model == 5 ? 0.011082036 : slopeFwd(model);
}
double logCountAtNominal(uint32_t model)
{
    return model == 3 ? 40000.0 : model == 4 ? 2500.0 : 3000.0;
}

// The reflected nominal of the family-0 tables: 15 dB below the forward one.
constexpr int32_t kRefNominalBelow = 150;
bool refFalls(uint32_t model)
{
    return model == 1 || model == 2;
}

double clampCount(double c, uint32_t model)
{
    return c < 0 ? 0 : c > fullScale(model) ? fullScale(model) : c;
}

// The temperature law of models 4 and 5, T(V); falls over 0..3.3 V.
double cubicTemp(double v)
{
    return -6.3518 * v * v * v + 38.704 * v * v - 100.56 * v + 122.02;
}

double voltsForTemp(double t)
{
    double lo = 0, hi = 3.3;
    for (int i = 0; i < 60; i++) {
        double mid = (lo + hi) / 2;
        if (cubicTemp(mid) > t)
            lo = mid;
        else
            hi = mid;
    }
    return (lo + hi) / 2;
}

// The family-0 temperature channel: TableVTemp law.
double tempCount0(double t)
{
    return 3000.0 - 20.0 * t;
}

SimModel* modelAt(SimBusId bus, uint16_t addr)
{
    SimDevice* d = simFindDevice(bus, addr);
    return d ? simModelOf(d) : nullptr;
}

int peekByte(SimBusId bus, uint16_t addr, uint32_t reg, uint8_t* out)
{
    SimModel* m = modelAt(bus, addr);
    return m && m->peek(reg, out, 1) == 1 ? 0 : -1;
}

void pokeBit(SimBusId bus, uint16_t addr, uint32_t reg, uint8_t bit, bool on)
{
    SimModel* m = modelAt(bus, addr);
    uint8_t v;
    if (!m || m->peek(reg, &v, 1) != 1)
        return;
    uint8_t n = static_cast<uint8_t>(on ? v | bit : v & ~bit);
    if (n != v)
        m->poke(reg, &n, 1);
}

// --- the drive DAC ---------------------------------------------------------

class SimHpaDac : public SimSpiModel {
public:
    using SimSpiModel::SimSpiModel;
    size_t storeSize() const override { return sizeof(DacStore); }
    void powerOn() override { memset(store_, 0, sizeof(DacStore)); }
    int transfer(const uint8_t* tx, uint8_t* rx, size_t len, unsigned) override
    {
        if (rx)
            memset(rx, 0, len);
        if (tx && len == 3) {
            int slot = dacSlot(tx[0]);
            if (slot >= 0) {
                auto* s = reinterpret_cast<DacStore*>(store_);
                s->code[slot] = static_cast<uint16_t>(tx[1] << 8 | tx[2]);
                s->written[slot] = 1;
            }
        }
        return static_cast<int>(len);
    }
};

// --- the plant -------------------------------------------------------------

class SimPlant : public SimSpiModel {
public:
    explicit SimPlant(SimDevice* dev) : SimSpiModel(dev) {}

    size_t storeSize() const override { return sizeof(PlantStore); }

    void powerOn() override
    {
        PlantStore* p = ps();
        memset(p, 0, sizeof *p);
        p->magic = kPlantMagic;
        p->model = 1;
        p->nominal = 480;
        p->vdet0Fwd = 2500;
        p->vdet0Ref = 2500;
        p->ambient = 25;
        p->temp = 25;
        p->tau = 60;
        p->rl = 20;
        p->supply = 50;
        p->forcedDbm = NAN;
        p->seed = 1;
        p->noiseState = 1;
        eeprom_ = "none";
        psus_ = 1;
        for (auto& [k, v] : simParseOptions(dev_->opts)) {
            if (k == "eeprom")
                eeprom_ = v;
            else if (k == "psus" && (v == "1" || v == "3"))
                psus_ = static_cast<uint32_t>(v[0] - '0');
            else if (k != "name")
                set(k, v);
        }
        if (eeprom_ == "none" && (p->model <= 2 || p->model == 5))
            eeprom_ = "a";
        else if (eeprom_ == "none")
            eeprom_ = "b";
        writeEeprom();
    }

    int peek(uint32_t reg, uint8_t* out, size_t n) override
    {
        // Model value 0: the last conversion word, most significant first.
        if (reg != 0 || n < 2)
            return -1;
        out[0] = static_cast<uint8_t>(last_ >> 8);
        out[1] = static_cast<uint8_t>(last_);
        return 2;
    }
    int poke(uint32_t, const uint8_t*, size_t) override { return -1; }

    int transfer(const uint8_t* tx, uint8_t* rx, size_t len, unsigned bitsPerWord) override
    {
        (void)tx;
        advance();
        uint16_t count = static_cast<uint16_t>(countFor(selectedChannel()));
        // The AD7476 frame: model 0 reads it raw (count in bits 0-11), the
        // others shifted right by 4.
        uint16_t word = ps()->model == 0 ? count : static_cast<uint16_t>(count << 4);
        last_ = word;
        if (rx) {
            for (size_t i = 0; i < len; i++)
                rx[i] = 0;
            if (len >= 2) {
                if (bitsPerWord > 8)
                    memcpy(rx, &word, 2); // a 16-bit word in the host's order
                else {
                    rx[0] = static_cast<uint8_t>(word >> 8);
                    rx[1] = static_cast<uint8_t>(word);
                }
            }
        }
        return static_cast<int>(len);
    }

    // The LTC2451's conversion of the channel selected now.
    uint16_t ltcConversion()
    {
        advance();
        return static_cast<uint16_t>(countFor(selectedChannel()));
    }

    int set(const std::string& k, const std::string& v)
    {
        PlantStore* p = ps();
        char* end = nullptr;
        double d = strtod(v.c_str(), &end);
        bool num = !v.empty() && end && *end == 0 && std::isfinite(d);
        if (k == "fan" && (v == "run" || v == "stop"))
            p->fanStopped = v == "stop";
        else if (k == "interlock" && (v == "open" || v == "closed"))
            p->interlockOpen = v == "open";
        else if (k == "power" && v == "off")
            p->forcedDbm = NAN;
        else if (!num)
            return -1;
        else if (k == "model" && d >= 0 && d <= 5)
            p->model = static_cast<uint32_t>(d);
        else if (k == "nominal")
            p->nominal = static_cast<int32_t>(d);
        else if (k == "vdet0" && d > 0)
            p->vdet0Fwd = static_cast<int32_t>(d);
        else if (k == "vdet0ref" && d > 0)
            p->vdet0Ref = static_cast<int32_t>(d);
        else if (k == "ambient")
            p->ambient = d;
        else if (k == "temp")
            p->temp = d;
        else if (k == "tau" && d > 0)
            p->tau = d;
        else if (k == "rl" && d >= 0)
            p->rl = d;
        else if (k == "supply" && d >= 0)
            p->supply = d;
        else if (k == "power")
            p->forcedDbm = d;
        else if (k == "noise" && d >= 0)
            p->noise = static_cast<uint32_t>(d);
        else if (k == "seed") {
            p->seed = static_cast<uint32_t>(d);
            p->noiseState = p->seed ? p->seed : 1;
        } else
            return -1;
        evaluate();
        return 0;
    }

    std::vector<std::pair<std::string, std::string>> quantities()
    {
        PlantStore* p = ps();
        evaluate();
        auto f = [](double v) {
            char b[32];
            snprintf(b, sizeof b, "%.2f", v);
            return std::string(b);
        };
        auto u = [](uint32_t v) { return std::to_string(v); };
        auto count = [&](Signal sig) { return static_cast<uint32_t>(std::floor(rawCount(sig) + 0.5)); };
        uint32_t fwd = count(kSigFwd), ref = count(kSigRef);
        return {
            {"model", u(p->model)},
            {"family", u(familyOf(p->model))},
            {"nominal", std::to_string(p->nominal)},
            {"rf", p->rfOn ? "on" : "off"},
            {"drive", f(p->drive)},
            {"fwd_dbm", std::isfinite(p->fwdDbm) ? f(p->fwdDbm) : "none"},
            {"ref_dbm", std::isfinite(p->refDbm) ? f(p->refDbm) : "none"},
            {"fwd_w", f(p->fwdW)},
            {"fwd_count", u(fwd)},
            {"ref_count", u(ref)},
            {"temp_count", u(count(kSigTemp))},
            {"current_count", u(count(kSigCurrent))},
            {"final_count", u(count(kSigFinal))},
            {"driver_count", u(count(kSigDriver))},
            {"mains_count", u(count(kSigMains))},
            {"v5_count", u(count(kSig5V))},
            {"v3v3_count", u(count(kSig3V3))},
            {"v24_count", u(count(kSig24V))},
            {"current", f(p->current)},
            {"temp", f(p->temp)},
            {"ambient", f(p->ambient)},
            {"tau", f(p->tau)},
            {"rl", f(p->rl)},
            {"supply", f(p->supply)},
            {"fan", p->fanStopped ? "stop" : "run"},
            {"interlock", p->interlockOpen ? "open" : "closed"},
            {"noise", u(p->noise)},
            {"seed", u(p->seed)},
            {"power", std::isnan(p->forcedDbm) ? "off" : f(p->forcedDbm)},
            {"tripped", u(p->tripped)},
            {"dac0", u(dac(0))},
            {"dac1", u(dac(1))},
            {"dac2", u(dac(2))},
            {"dac3", u(dac(3))},
            {"dac4", u(dac(4))},
        };
    }

private:
    // Signals a channel carries.
    enum Signal {
        kSigNone,
        kSigFwd,
        kSigRef,
        kSigCurrent,
        kSigTemp,
        kSigMains,
        kSig5V,
        kSig3V3,
        kSig24V,
        kSigFinal,  // one final stage's current (families 1: models 3, 4)
        kSigDriver, // the driver stage's current
    };

    PlantStore* ps() const { return reinterpret_cast<PlantStore*>(store_); }

    // The code last written to a logical DAC (0 when never written).
    uint32_t dac(int logical, bool* written = nullptr) const
    {
        uint8_t cmd = kDacCommand[ps()->model % 6][logical];
        DacStore s = {};
        SimModel* m = modelAt(SIM_BUS_SPI0, 3);
        int slot = cmd ? dacSlot(cmd) : -1;
        bool ok = slot >= 0 && m && m->storeSize() == sizeof s &&
                  m->peek(0, reinterpret_cast<uint8_t*>(&s), sizeof s) == sizeof s;
        if (written)
            *written = ok && s.written[slot];
        return ok ? s.code[slot] : 0;
    }

    // The RF-state line: bit 3 of the 0x24 output, inverted for model 4.
    bool rfLine() const
    {
        uint8_t out = 0;
        if (peekByte(SIM_BUS_I2C1, 0x24, 1, &out) != 0)
            return false;
        bool on = out & 0x08;
        return ps()->model == 4 ? !on : on;
    }

    bool carrierOn() const
    {
        SimBoardState* s = simState();
        return !s || s->fpga.frameCount.load() == 0 || (s->fpga.frame[4] >> 16 & 1);
    }

    // The signal on the multiplexer channel selected now.
    Signal selectedChannel() const
    {
        uint32_t model = ps()->model;
        uint8_t mux = 0, bank = 0;
        peekByte(SIM_BUS_I2C1, 0x24, 1, &mux);
        switch (model) {
        case 0:
            switch (mux & 7) {
            case 0: return kSigFwd;
            case 1: return kSigRef;
            case 4: return kSigTemp;
            case 6: return kSigCurrent;
            default: return kSigNone;
            }
        case 1:
        case 2: {
            const Signal ch[4] = {kSigTemp, kSigFwd, kSigCurrent, kSigRef};
            Signal s = ch[mux & 3];
            return model == 1 && (s == kSigRef || s == kSigCurrent) ? kSigNone : s;
        }
        case 3: {
            // The 4U cabinet (slot-select expander at 0x23) or the 2U one.
            uint8_t b = mux & 0x87;
            if (b & 0x80)
                return kSigFinal;
            if (fourU()) {
                const Signal ch[8] = {kSigDriver, kSigNone, kSigNone, kSigFwd, kSigRef, kSigMains, kSig3V3, kSig5V};
                return ch[b];
            }
            const Signal ch[8] = {kSigDriver, kSigMains, kSigFwd, kSigRef, kSig5V, kSig3V3, kSigFinal, kSigFinal};
            return ch[b];
        }
        case 4: {
            const Signal ch[8] = {kSigDriver, kSigMains, kSigFwd, kSigRef, kSigTemp, kSig3V3, kSigNone, kSigFinal};
            return mux & 0x80 ? kSigNone : ch[mux & 7];
        }
        case 5: {
            peekByte(SIM_BUS_I2C1, 0x23, 1, &bank);
            if (bank & 0x10) {
                const Signal ch[4] = {kSigMains, kSig5V, kSig24V, kSigNone};
                return ch[mux & 3];
            }
            const Signal ch[4] = {kSigTemp, kSigFwd, kSigCurrent, kSigRef};
            return ch[mux & 3];
        }
        default: return kSigNone;
        }
    }

    // The 4U cabinet of model 3 has the slot-select expander at 0x23.
    static bool fourU() { return simFindDevice(SIM_BUS_I2C1, 0x23) != nullptr; }

    double nominalW() const { return std::pow(10.0, ps()->nominal / 100.0) / 1000.0; }

    // Forward power (W) for the inputs now, and the drive.
    double forwardW(double* drive) const
    {
        PlantStore* p = ps();
        uint32_t fam = familyOf(p->model);
        double d;
        if (fam == 0) {
            d = dac(0) / 65535.0;
        } else if (fam == 1) {
            bool marginWritten = false;
            uint32_t margin = dac(4, &marginWritten);
            double supply = p->supply * (marginWritten ? 0.95 + 0.1 * margin / 65535.0 : 1.0);
            d = dac(3) / 65535.0 * supply / 50.0;
        } else {
            d = dac(3) / 65535.0;
        }
        *drive = d;
        if (!std::isnan(p->forcedDbm))
            return std::pow(10.0, p->forcedDbm / 10.0) / 1000.0;
        constexpr double kDead = 0.05;
        if (d <= kDead)
            return 0;
        double x = (d - kDead) / (1 - kDead);
        if (x > 1)
            x = 1;
        return nominalW() * std::pow(10.0, 0.1) * std::tanh(3 * x) / std::tanh(3.0);
    }

    // The quantities for the inputs now (no time passes).
    void evaluate()
    {
        PlantStore* p = ps();
        bool line = rfLine();
        if (!line)
            p->tripped = 0; // the amplifier's lockout resets with its RF line
        p->rfOn = line && carrierOn() && !p->interlockOpen && p->supply > 0 && !p->tripped;
        double drive = 0, w = forwardW(&drive);
        p->drive = drive;
        p->fwdW = p->rfOn ? w : 0;
        p->fwdDbm = p->fwdW > 0 ? 10 * std::log10(p->fwdW * 1000) : -INFINITY;
        p->refDbm = p->fwdDbm - p->rl;
        p->current = p->supply > 0 ? p->fwdW / (0.6 * p->supply) + kDriverAmps : 0;
        comparators();
        drivePins();
    }

    void comparators()
    {
        PlantStore* p = ps();
        if (!p->rfOn)
            return;
        uint32_t m = p->model;
        double scale = m == 3 ? 1.0 : 16.0;
        bool w1 = false, w2 = false;
        double t1 = dac(1, &w1), t2 = dac(2, &w2);
        double fwd = rawCount(kSigFwd) * scale;
        double ref = m == 4 ? rawCount(kSigRef) / 1.515151515 * 16 : rawCount(kSigRef) * scale;
        uint32_t trip = 0;
        if (w1 && fwd > t1)
            trip |= 1;
        if (w2 && (refFalls(m) ? ref < t2 : ref > t2))
            trip |= 2;
        if (trip) {
            p->tripped |= trip;
            p->rfOn = 0;
            p->fwdW = 0;
            p->fwdDbm = p->refDbm = -INFINITY;
            p->current = 0.5;
        }
    }

    // Telecommand inputs, HPA alarm pins and the fan controller.
    void drivePins()
    {
        PlantStore* p = ps();
        pokeBit(SIM_BUS_I2C1, 0x20, 0, 0x01, !p->interlockOpen);
        pokeBit(SIM_BUS_I2C1, 0x26, 1, 0x01, p->tripped != 0);
        pokeBit(SIM_BUS_I2C1, 0x26, 1, 0x02, p->supply > 0);
        // HPA alarm lines (set while the comparator has tripped) and supply
        // status lines of the model.
        bool up = p->supply > 0;
        switch (p->model) {
        case 2:
        case 5:
            pokeBit(SIM_BUS_I2C1, 0x24, 0, 0x80, p->tripped & 1);
            pokeBit(SIM_BUS_I2C1, 0x24, 0, 0x40, p->tripped & 2);
            break;
        case 3:
            pokeBit(SIM_BUS_I2C1, 0x23, 0, 0x38, up);
            pokeBit(SIM_BUS_I2C1, 0x23, 0, 0x80, !up);
            [[fallthrough]];
        case 4:
            pokeBit(SIM_BUS_I2C1, 0x25, 0, 0x08, p->tripped & 1);
            pokeBit(SIM_BUS_I2C1, 0x25, 0, 0x04, p->tripped & 2);
            if (p->model == 4)
                pokeBit(SIM_BUS_I2C1, 0x25, 0, 0x20, up);
            break;
        default: break;
        }
        SimModel* fan = modelAt(SIM_BUS_I2C1, 0x2F);
        if (!fan)
            return;
        if (p->model == 3) {
            int8_t t[2] = {static_cast<int8_t>(std::lround(std::fmin(std::fmax(p->temp, -128), 127))),
                           static_cast<int8_t>(std::lround(std::fmin(std::fmax(p->temp - 2, -128), 127)))};
            fan->poke(0x20, reinterpret_cast<uint8_t*>(t), 2);
        }
        for (int n = 0; n < 3; n++) {
            uint8_t duty = 0;
            fan->peek(0x32 + n, &duty, 1);
            double rpm = p->fanStopped ? 0 : 6000.0 * duty / 255.0;
            uint32_t count = rpm > 0 ? static_cast<uint32_t>(5400000.0 / rpm) : 0xFFFF;
            if (count > 0xFFFF)
                count = 0xFFFF;
            uint8_t b[2] = {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
            fan->poke(0x2A + 2 * n, b, 2);
        }
    }

    // Moves the plant to now: the temperature by the time since the last
    // move, then the quantities for the inputs now.
    void advance()
    {
        PlantStore* p = ps();
        struct timespec ts;
        clockPeekTime(CLOCK_MONOTONIC, &ts);
        int64_t now = static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
        if (p->lastNs > 0 && now > p->lastNs) {
            double dt = (now - p->lastNs) / 1e9;
            double nomW = nominalW();
            double idle = 0.5 * p->supply;
            double rth = 40.0 / (nomW * (1 / 0.6 - 1) + idle) * (p->fanStopped ? 3 : 1);
            double target = p->ambient + rth * (p->fwdW * (1 / 0.6 - 1) + idle);
            p->temp = target + (p->temp - target) * std::exp(-dt / p->tau);
        }
        p->lastNs = now;
        evaluate();
    }

    // The noise-free count of a signal.
    double rawCount(Signal s) const
    {
        PlantStore* p = ps();
        uint32_t m = p->model;
        bool big = m == 3;
        double vpc = big ? kVpc16 : kVpc12;
        switch (s) {
        case kSigFwd:
        case kSigRef: {
            bool ref = s == kSigRef;
            double dbm = ref ? p->refDbm : p->fwdDbm;
            if (familyOf(m) == 0) {
                if (!std::isfinite(dbm))
                    return ref && refFalls(m) ? fullScale(m) : 0;
                double w = simPlantK1Word(m, p->nominal, ref, dbm * 10);
                return clampCount((ref ? p->vdet0Ref : p->vdet0Fwd) * w / 10000.0, m);
            }
            if (!std::isfinite(dbm))
                return 0;
            double k = ref ? slopeRef(m) : slopeFwd(m);
            return clampCount(logCountAtNominal(m) + (dbm - p->nominal / 10.0) / k, m);
        }
        case kSigCurrent: return clampCount(p->current * 0.05 / vpc, m);
        case kSigFinal: {
            // The RF part of the current shared by the final stages (8 in
            // the 4U cabinet, 2 in the 2U one), through their sensors.
            double finals = m == 3 && fourU() ? 8.0 : 2.0;
            double ampsPerVolt = m == 3 ? 10.0 : 12.19512195;
            double a = p->current > kDriverAmps ? (p->current - kDriverAmps) / finals : 0.0;
            return clampCount(a / ampsPerVolt / vpc, m);
        }
        case kSigDriver: {
            // The driver's standing current through its sensor (the
            // HpaDrvCurrConvFactor of the model: 660 or 3230).
            double ampsPerVolt = 1000.0 / (m == 3 ? 660.0 : 3230.0);
            return clampCount((p->current > 0 ? kDriverAmps : 0.0) / ampsPerVolt / vpc, m);
        }
        case kSigTemp:
            if (familyOf(m) == 0)
                return clampCount(tempCount0(p->temp), m);
            return clampCount(voltsForTemp(p->temp) / vpc, m);
        case kSigMains: return clampCount(p->supply / (m == 5 ? 18.5185 : 19.011) / vpc, m);
        case kSig5V: return clampCount(5.0 / (m == 5 ? 4.0 : 2.801) / vpc, m);
        case kSig3V3: return clampCount(3.3 / 1.821 / vpc, m);
        case kSig24V: return clampCount(24.0 / 16.0 / vpc, m);
        default: return 0;
        }
    }

    // The count of a conversion: the law, plus the seeded noise on the
    // detectors.
    double countFor(Signal s)
    {
        PlantStore* p = ps();
        double c = std::floor(rawCount(s) + 0.5);
        if (p->noise > 0 && (s == kSigFwd || s == kSigRef)) {
            p->noiseState = p->noiseState * 6364136223846793005ULL + 1442695040888963407ULL;
            int64_t span = 2 * static_cast<int64_t>(p->noise) + 1;
            c += static_cast<double>(static_cast<int64_t>((p->noiseState >> 33) % span) - p->noise);
        }
        return clampCount(c, p->model);
    }

    // --- the RF EEPROM image ----------------------------------------------

    void writeEeprom()
    {
        SimModel* e = modelAt(SIM_BUS_I2C1, 0x52);
        if (!e)
            return;
        // Only into a blank part: a sandbox keeps what was written to it.
        uint8_t head[0x30];
        if (e->peek(0, head, sizeof head) != sizeof head)
            return;
        for (uint8_t b : head)
            if (b != 0xFF)
                return;
        std::vector<uint8_t> img;
        if (eeprom_ == "a")
            img = layoutA();
        else if (eeprom_ == "b")
            img = layoutB(false);
        else if (eeprom_ == "blank")
            img = layoutB(true);
        if (!img.empty())
            e->poke(0, img.data(), img.size());
    }

    static void put(std::vector<uint8_t>& img, size_t at, uint32_t v, int bytes)
    {
        if (img.size() < at + bytes)
            img.resize(at + bytes, 0xFF);
        for (int i = 0; i < bytes; i++)
            img[at + i] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
    }

    std::vector<uint8_t> layoutA() const
    {
        PlantStore* p = ps();
        uint32_t m = p->model;
        int32_t nom = p->nominal, refNom = nom - kRefNominalBelow;
        constexpr int32_t kSpan = 250, kBelow = 200; // 25 dB from 20 dB below
        constexpr uint32_t kK2Start = 87500, kK2Step = 500, kK2Size = 41;
        constexpr size_t kFwdK1 = 0x200, kFwdK2 = 0x400, kRefK1 = 0x480, kRefK2 = 0x680, kVTemp = 0x700;
        constexpr int kVTempStart = -20, kVTempN = 25;
        std::vector<uint8_t> img(0x780, 0xFF);
        put(img, 0x06, static_cast<uint32_t>(img.size()), 2);
        put(img, 0x1E, 170500001u + m, 4);
        for (int i = 0; i < 7; i++)
            put(img, 0x22 + i, static_cast<uint32_t>(i + 1), 1);
        put(img, 0x29, 3100 + m, 4);
        put(img, 0x64, 98000, 4);
        put(img, 0x68, 98000, 4);
        put(img, 0x6C, static_cast<uint32_t>(nom), 2);
        put(img, 0x6E, static_cast<uint32_t>(nom), 2);
        put(img, 0x70, static_cast<uint32_t>(refNom), 2);
        put(img, 0x72, static_cast<uint32_t>(refNom), 2);
        put(img, 0x74, static_cast<uint32_t>(p->vdet0Fwd), 2);
        put(img, 0x76, static_cast<uint32_t>(p->vdet0Fwd), 2);
        put(img, 0x78, static_cast<uint32_t>(p->vdet0Ref), 2);
        put(img, 0x7A, static_cast<uint32_t>(p->vdet0Ref), 2);
        put(img, 0x7C, 75, 1);
        put(img, 0x7F, 0, 2);
        for (bool ref : {false, true}) {
            size_t base = ref ? 0xC8 : 0x8C;
            int32_t start = (ref ? refNom : nom) - kBelow;
            put(img, base, static_cast<uint32_t>(start), 4);
            put(img, base + 4, static_cast<uint32_t>(start), 4);
            put(img, base + 8, 10000, 4);
            put(img, base + 12, kSpan, 4);
            put(img, base + 16, static_cast<uint32_t>(ref ? kRefK1 : kFwdK1), 3);
            put(img, base + 30, kK2Start, 4);
            put(img, base + 34, kK2Start, 4);
            put(img, base + 38, kK2Step, 4);
            put(img, base + 42, kK2Size, 4);
            put(img, base + 46, static_cast<uint32_t>(ref ? kRefK2 : kFwdK2), 3);
            size_t k1 = ref ? kRefK1 : kFwdK1, k2 = ref ? kRefK2 : kFwdK2;
            for (int i = 0; i <= kSpan; i++) {
                double w = std::floor(simPlantK1Word(m, nom, ref, start + i) + 0.5);
                put(img, k1 + 2 * i, static_cast<uint32_t>(w < 0 ? 0 : w > 65535 ? 65535 : w), 2);
            }
            for (uint32_t i = 0; i <= kK2Size; i++)
                put(img, k2 + 2 * i, 10000, 2);
        }
        put(img, 0x104, static_cast<uint32_t>(kVTempStart) & 0xFF, 1);
        put(img, 0x106, kVTempN, 1);
        put(img, 0x107, kVTemp, 3);
        for (int i = 0; i < kVTempN; i++)
            put(img, kVTemp + 2 * i, static_cast<uint32_t>(tempCount0(kVTempStart + 5 * i)), 2);
        // Checksum: the 32-bit sum of bytes 3 .. L-1 in bytes 0-2 (low 24 bits).
        uint32_t sum = 0;
        for (size_t i = 3; i < img.size(); i++)
            sum += img[i];
        put(img, 0, sum & 0xFFFFFF, 3);
        return img;
    }

    std::vector<uint8_t> layoutB(bool blank) const
    {
        uint32_t m = ps()->model;
        std::vector<uint8_t> img(0x340, 0xFF);
        const uint32_t sec[5] = {0x100, 0x180, 0x200, 0x280, 0x300};
        put(img, 0x00, 0, 4);
        put(img, 0x04, 0, 4);
        put(img, 0x08, 0, 4);
        put(img, 0x0C, 6, 4);
        put(img, 0x10, 0, 4);
        for (int i = 0; i < 5; i++)
            put(img, 0x14 + 4 * i, blank ? 0 : sec[i], 4);
        if (blank)
            return img;
        put(img, sec[0] + 0x00, 170500001u + m, 4);
        const uint32_t idBytes[5] = {14, 3, 17, 11, 0};
        for (int i = 0; i < 5; i++)
            put(img, sec[0] + 0x04 + 4 * i, idBytes[i], 4);
        put(img, sec[0] + 0x18, 0x01020300u + m, 4);
        put(img, sec[0] + 0x20, 87000000, 4);
        put(img, sec[0] + 0x24, 108000000, 4);
        put(img, sec[0] + 0x28, 87000000, 4);
        put(img, sec[0] + 0x2C, 63, 4);
        put(img, sec[1] + 0x00, 2, 4);
        put(img, sec[2] + 0x24, 1, 4);
        put(img, sec[3] + 0x28, 87000000, 4);
        put(img, sec[3] + 0x2C, 87000000, 4);
        put(img, sec[3] + 0x30, 500, 4);
        put(img, sec[3] + 0x34, 42, 4);
        put(img, sec[4] + 0x00, 2, 4);
        put(img, sec[4] + 0x14, psus_, 4);
        return img;
    }

    uint16_t last_ = 0;
    std::string eeprom_ = "none";
    uint32_t psus_ = 1; // supply slots in layout B
};

SimPlant* findPlant()
{
    SimDevice* d = simFindDevice(SIM_BUS_SPI0, 2);
    if (!d || strcmp(d->kind, "hpaplant") != 0)
        return nullptr;
    return static_cast<SimPlant*>(simModelOf(d));
}

// --- the LTC2451 -----------------------------------------------------------

class SimLtc2451 : public SimI2cModel {
public:
    using SimI2cModel::SimI2cModel;
    size_t storeSize() const override { return 2; }
    void powerOn() override { store_[0] = store_[1] = 0; }
    int write(const uint8_t*, size_t len) override { return static_cast<int>(len); }
    int read(uint8_t* data, size_t len) override
    {
        for (size_t i = 0; i < len; i++)
            data[i] = i < 2 ? store_[i] : 0xFF;
        // The next conversion starts on the channel selected now (the plant
        // is reached under the SPI bus lock, always taken after this bus's).
        SimBusGuard g(SIM_BUS_SPI0);
        SimPlant* p = findPlant();
        uint16_t v = p ? p->ltcConversion() : 0;
        store_[0] = static_cast<uint8_t>(v >> 8);
        store_[1] = static_cast<uint8_t>(v);
        return static_cast<int>(len);
    }
};

} // namespace

SimModel* simPlantCreate(SimDevice* dev)
{
    return new SimPlant(dev);
}

SimModel* simHpaDacCreate(SimDevice* dev)
{
    return new SimHpaDac(dev);
}

SimModel* simLtc2451Create(SimDevice* dev)
{
    return new SimLtc2451(dev);
}

bool simPlantPresent()
{
    return findPlant() != nullptr;
}

std::vector<std::pair<std::string, std::string>> simPlantQuantities()
{
    SimBusGuard g(SIM_BUS_SPI0);
    SimPlant* p = findPlant();
    return p ? p->quantities() : std::vector<std::pair<std::string, std::string>>{};
}

int simPlantSet(const std::string& name, const std::string& value)
{
    SimBusGuard g(SIM_BUS_SPI0);
    SimPlant* p = findPlant();
    return p ? p->set(name, value) : -1;
}

double simPlantK1Word(uint32_t model, int32_t nominal, bool reflected, double tenthsDbm)
{
    double at = reflected ? nominal - kRefNominalBelow : nominal;
    if (reflected && refFalls(model)) {
        double w = 10000.0 - 20.0 * (tenthsDbm - at);
        return w < 0 ? 0 : w;
    }
    return 10000.0 * std::pow(10.0, (tenthsDbm - at) / 200.0);
}
