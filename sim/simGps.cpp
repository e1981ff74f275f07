// The simulated u-blox GPS receiver on the DDC interface.
#include "sim/simGps.h"

#include "sim/simModels.h"
#include "sim/simProfile.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

namespace {

constexpr size_t kOutSize = 16384;
constexpr size_t kLogSize = 32768;
constexpr size_t kCaptureSize = 65536;

// The receiver's state, in its store file so every process sees it.
struct GpsStore {
    uint32_t outLen;
    uint32_t logLen;
    uint32_t frames;
    uint32_t badFrames;
    uint32_t captureLen;
    uint32_t capturePos;
    uint32_t streamReads;
    uint8_t reg;
    uint8_t silent, nak, badCountOn;
    uint16_t badCount;
    uint8_t out[kOutSize];
    uint8_t log[kLogSize]; // records: 16-bit length (little-endian), frame
    uint8_t capture[kCaptureSize];
};

void checksum(const uint8_t* p, size_t n, uint8_t ck[2])
{
    uint8_t a = 0, b = 0;
    for (size_t i = 0; i < n; i++) {
        a = static_cast<uint8_t>(a + p[i]);
        b = static_cast<uint8_t>(b + a);
    }
    ck[0] = a;
    ck[1] = b;
}

std::vector<uint8_t> ubx(uint8_t cls, uint8_t id, const std::vector<uint8_t>& payload)
{
    size_t n = payload.size();
    std::vector<uint8_t> f(n + 8, 0);
    f[0] = 0xB5;
    f[1] = 0x62;
    f[2] = cls;
    f[3] = id;
    f[4] = static_cast<uint8_t>(n);
    f[5] = static_cast<uint8_t>(n >> 8);
    for (size_t i = 0; i < n; i++)
        f[6 + i] = payload[i];
    checksum(f.data() + 2, n + 4, f.data() + 6 + n);
    return f;
}

// Length of the whole message at p (n bytes left): a UBX frame or a line up
// to its "\n"; 0 when incomplete.
size_t messageLength(const uint8_t* p, size_t n)
{
    if (n >= 6 && p[0] == 0xB5 && p[1] == 0x62) {
        size_t len = 8u + (p[4] | p[5] << 8);
        return len <= n ? len : 0;
    }
    for (size_t i = 0; i < n; i++) {
        if (p[i] == '\n')
            return i + 1;
        if (i > 0 && p[i] == 0xB5 && i + 1 < n && p[i + 1] == 0x62)
            return i;
    }
    return n;
}

class SimGps : public SimI2cModel {
public:
    explicit SimGps(SimDevice* dev) : SimI2cModel(dev)
    {
        auto o = simParseOptions(dev->opts);
        hw_ = o.count("hw") ? o["hw"] : "00080000";
        sw_ = o.count("sw") ? o["sw"] : "ROM CORE 3.01 (107888)";
        capturePath_ = o.count("capture") ? o["capture"] : "";
        uint32_t c = 512;
        if (o.count("chunk") && simParseNumber(o["chunk"], &c) && c > 0)
            chunk_ = c;
    }

    size_t storeSize() const override { return sizeof(GpsStore); }

    void powerOn() override
    {
        memset(store_, 0, sizeof(GpsStore));
        if (!capturePath_.empty()) {
            std::ifstream in(capturePath_, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            setCapture(bytes);
        }
    }

    GpsStore& s() { return *reinterpret_cast<GpsStore*>(store_); }

    int write(const uint8_t* data, size_t len) override
    {
        if (len == 1) {
            s().reg = data[0];
            return 1;
        }
        if (len > 0)
            frameWritten(data, len);
        return static_cast<int>(len);
    }

    int read(uint8_t* data, size_t len) override
    {
        GpsStore& g = s();
        for (size_t i = 0; i < len; i++) {
            if (g.reg == 0xFD || g.reg == 0xFE) {
                if (g.outLen == 0 && g.reg == 0xFD)
                    playCapture();
                uint16_t count = g.badCountOn ? g.badCount : static_cast<uint16_t>(g.outLen);
                data[i] = g.reg == 0xFD ? static_cast<uint8_t>(count >> 8) : static_cast<uint8_t>(count);
                g.reg++;
            } else if (g.reg == 0xFF) {
                if (i == 0)
                    g.streamReads++;
                data[i] = pop();
            } else {
                data[i] = 0;
                g.reg++;
            }
        }
        return static_cast<int>(len);
    }

    void queue(const uint8_t* p, size_t n)
    {
        GpsStore& g = s();
        size_t room = kOutSize - g.outLen;
        if (n > room)
            n = room;
        memcpy(g.out + g.outLen, p, n);
        g.outLen += static_cast<uint32_t>(n);
    }

    void setCapture(const std::vector<uint8_t>& bytes)
    {
        GpsStore& g = s();
        g.captureLen = static_cast<uint32_t>(bytes.size() < kCaptureSize ? bytes.size() : kCaptureSize);
        memcpy(g.capture, bytes.data(), g.captureLen);
        g.capturePos = 0;
    }

private:
    uint8_t pop()
    {
        GpsStore& g = s();
        if (g.outLen == 0)
            return 0xFF; // an empty stream reads 0xFF
        uint8_t b = g.out[0];
        memmove(g.out, g.out + 1, --g.outLen);
        return b;
    }

    void playCapture()
    {
        GpsStore& g = s();
        size_t queued = 0;
        while (g.capturePos < g.captureLen) {
            size_t n = messageLength(g.capture + g.capturePos, g.captureLen - g.capturePos);
            if (n == 0)
                n = g.captureLen - g.capturePos;
            if (queued > 0 && queued + n > chunk_)
                break;
            queue(g.capture + g.capturePos, n);
            g.capturePos += static_cast<uint32_t>(n);
            queued += n;
        }
    }

    void record(const uint8_t* p, size_t n)
    {
        GpsStore& g = s();
        if (g.logLen + 2 + n > kLogSize)
            return;
        g.log[g.logLen] = static_cast<uint8_t>(n);
        g.log[g.logLen + 1] = static_cast<uint8_t>(n >> 8);
        memcpy(g.log + g.logLen + 2, p, n);
        g.logLen += static_cast<uint32_t>(2 + n);
        g.frames++;
    }

    void frameWritten(const uint8_t* p, size_t n)
    {
        GpsStore& g = s();
        uint8_t ck[2];
        size_t plen = n >= 6 ? static_cast<size_t>(p[4] | p[5] << 8) : 0;
        if (n < 8 || p[0] != 0xB5 || p[1] != 0x62 || plen + 8 != n ||
            (checksum(p + 2, n - 4, ck), ck[0] != p[n - 2] || ck[1] != p[n - 1])) {
            g.badFrames++;
            return;
        }
        record(p, n);
        if (g.silent)
            return;
        uint8_t cls = p[2], id = p[3];
        if (cls == 0x0A && id == 0x04 && plen == 0) {
            std::vector<uint8_t> payload(40, 0);
            memcpy(payload.data(), sw_.data(), sw_.size() < 30 ? sw_.size() : 30);
            memcpy(payload.data() + 30, hw_.data(), hw_.size() < 10 ? hw_.size() : 10);
            auto f = ubx(0x0A, 0x04, payload);
            queue(f.data(), f.size());
        } else if (cls == 0x06 && plen > 0) {
            auto f = ubx(0x05, g.nak ? 0x00 : 0x01, {cls, id});
            queue(f.data(), f.size());
        }
    }

    std::string hw_, sw_, capturePath_;
    size_t chunk_ = 512;
};

SimGps* findGps()
{
    SimBoardState* b = simState();
    if (!b)
        return nullptr;
    for (SimDevice& d : b->devices)
        if (d.used.load() && strcmp(d.kind, "ublox") == 0)
            return dynamic_cast<SimGps*>(simModelOf(&d));
    return nullptr;
}

} // namespace

SimModel* simGpsCreate(SimDevice* dev)
{
    return new SimGps(dev);
}

bool simGpsKnobs(SimGpsKnobs* out)
{
    SimGps* g = findGps();
    if (!g)
        return false;
    out->silent = g->s().silent;
    out->nak = g->s().nak;
    out->badCountOn = g->s().badCountOn;
    out->badCount = g->s().badCount;
    return true;
}

bool simGpsSetKnobs(const SimGpsKnobs& k)
{
    SimGps* g = findGps();
    if (!g)
        return false;
    g->s().silent = k.silent;
    g->s().nak = k.nak;
    g->s().badCountOn = k.badCountOn;
    g->s().badCount = k.badCount;
    return true;
}

std::vector<std::vector<uint8_t>> simGpsFrames()
{
    std::vector<std::vector<uint8_t>> out;
    SimGps* g = findGps();
    if (!g)
        return out;
    const GpsStore& s = g->s();
    for (uint32_t at = 0; at + 2 <= s.logLen;) {
        size_t n = s.log[at] | s.log[at + 1] << 8;
        out.emplace_back(s.log + at + 2, s.log + at + 2 + n);
        at += static_cast<uint32_t>(2 + n);
    }
    return out;
}

uint32_t simGpsBadFrames()
{
    SimGps* g = findGps();
    return g ? g->s().badFrames : 0;
}

bool simGpsQueue(const uint8_t* data, size_t len)
{
    SimGps* g = findGps();
    if (!g)
        return false;
    g->queue(data, len);
    return true;
}

bool simGpsSetCapture(const std::vector<uint8_t>& bytes)
{
    SimGps* g = findGps();
    if (!g)
        return false;
    g->setCapture(bytes);
    return true;
}

uint32_t simGpsWaiting()
{
    SimGps* g = findGps();
    return g ? g->s().outLen : 0;
}

uint32_t simGpsStreamReads()
{
    SimGps* g = findGps();
    return g ? g->s().streamReads : 0;
}
