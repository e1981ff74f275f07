// RDS decoder of the tests (see rdsDecoder.h).
#include "testing/rdsDecoder.h"

#include <cstring>

namespace {

// Parity check matrix H of IEC 62106, row 0 for the first bit sent.
const uint16_t kH[26] = {0x200, 0x100, 0x080, 0x040, 0x020, 0x010, 0x008, 0x004, 0x002,
                         0x001, 0x2DC, 0x16E, 0x0B7, 0x287, 0x39F, 0x313, 0x355, 0x376,
                         0x1BB, 0x201, 0x3DC, 0x1EE, 0x0F7, 0x2A7, 0x38F, 0x31B};

constexpr uint16_t kSynA = 0x3D8, kSynB = 0x3D4, kSynC = 0x25C, kSynCp = 0x3CC, kSynD = 0x258;

void group(RdsDecoded& d, const uint16_t b[4], std::string& rt, int& rtAb)
{
    RdsDecodedGroup g;
    memcpy(g.blocks, b, sizeof g.blocks);
    g.type = b[1] >> 12;
    g.version = (b[1] >> 11) & 1;
    d.groups.push_back(g);
    d.pi = b[0];
    d.tp = (b[1] >> 10) & 1;
    d.pty = (b[1] >> 5) & 31;
    auto hi = [](uint16_t w) { return static_cast<char>(w >> 8); };
    auto lo = [](uint16_t w) { return static_cast<char>(w & 255); };
    switch (g.type) {
    case 0: {
        int seg = b[1] & 3;
        d.ta = (b[1] >> 4) & 1;
        d.ms = (b[1] >> 3) & 1;
        d.di = (d.di & ~(1 << (3 - seg))) | (((b[1] >> 2) & 1) << (3 - seg));
        d.ps[2 * seg] = hi(b[3]);
        d.ps[2 * seg + 1] = lo(b[3]);
        if (g.version == 0)
            d.afPairs.push_back({b[2] >> 8, b[2] & 255});
        break;
    }
    case 1:
        if (g.version == 0) {
            if (((b[2] >> 12) & 7) == 0)
                d.ecc = b[2] & 255;
            d.pin = b[3];
        }
        break;
    case 2:
        if (g.version == 0) {
            int ab = (b[1] >> 4) & 1, seg = b[1] & 15;
            if (ab != rtAb) {
                rt.assign(64, '\r');
                rtAb = ab;
            }
            char c[4] = {hi(b[2]), lo(b[2]), hi(b[3]), lo(b[3])};
            for (int k = 0; k < 4; k++)
                rt[4 * seg + k] = c[k];
            size_t end = rt.find('\r');
            bool done = seg == 15 || memchr(c, '\r', 4) != nullptr;
            if (done)
                d.radioTexts.push_back({rt.substr(0, end), ab});
            if (done)
                rt.assign(64, '\r');
        }
        break;
    case 4:
        if (g.version == 0) {
            d.mjd = static_cast<long>(b[1] & 3) << 15 | b[2] >> 1;
            d.hour = (b[2] & 1) << 4 | b[3] >> 12;
            d.minute = (b[3] >> 6) & 63;
            d.offset = b[3] & 63;
        }
        break;
    case 10:
        if (g.version == 0) {
            int seg = b[1] & 1;
            char c[4] = {hi(b[2]), lo(b[2]), hi(b[3]), lo(b[3])};
            for (int k = 0; k < 4; k++)
                d.ptyn[4 * seg + k] = c[k];
        }
        break;
    case 14:
        if (g.version == 0) {
            int v = b[1] & 15;
            if (v <= 3) {
                std::string& ps = d.eonPs[b[3]];
                if (ps.empty())
                    ps = "        ";
                ps[2 * v] = hi(b[2]);
                ps[2 * v + 1] = lo(b[2]);
            }
        } else {
            d.eonTa[b[3]] = (b[1] >> 3) & 1;
        }
        break;
    default: break;
    }
}

bool isCode(int f)
{
    return f >= 1 && f <= 204;
}

// The AF list of group 0A: a header 224 + n and its partner, then pairs.
// Method B when every pair holds the header's partner (the tuned frequency).
void afLists(RdsDecoded& d)
{
    int tuned = -1;
    bool methodB = true, any = false;
    for (const auto& [f1, f2] : d.afPairs) {
        if (f1 >= 224 && f1 <= 249) {
            d.afCount = f1 - 224;
            tuned = f2;
            continue;
        }
        any = true;
        if (f1 != tuned && f2 != tuned)
            methodB = false;
    }
    if (d.afCount < 0)
        return;
    d.afMethod = any && methodB && isCode(tuned) ? 1 : 0;
    if (d.afMethod == 1)
        d.afTuned = tuned;
    for (const auto& [f1, f2] : d.afPairs) {
        if (f1 >= 224 && f1 <= 249) {
            if (d.afMethod == 0 && isCode(f2))
                d.afCodes.insert(f2);
            continue;
        }
        for (int f : {f1, f2})
            if (isCode(f) && !(d.afMethod == 1 && f == tuned))
                d.afCodes.insert(f);
    }
}

} // namespace

uint16_t rdsSyndrome(uint32_t block)
{
    uint16_t s = 0;
    for (int i = 0; i < 26; i++)
        if ((block >> (25 - i)) & 1u)
            s ^= kH[i];
    return s;
}

RdsDecoded rdsDecodeBits(const std::string& bits)
{
    RdsDecoded d;
    std::vector<uint8_t> v;
    for (char c : bits)
        if (c == '0' || c == '1')
            v.push_back(static_cast<uint8_t>(c - '0'));
    auto blockAt = [&v](size_t at) {
        uint32_t w = 0;
        for (size_t i = 0; i < 26; i++)
            w = w << 1 | v[at + i];
        return w;
    };
    std::string rt(64, '\r');
    int rtAb = -1;
    size_t at = 0;
    bool synced = false;
    while (at + 104 <= v.size()) {
        uint32_t w[4];
        for (int k = 0; k < 4; k++)
            w[k] = blockAt(at + 26 * k);
        uint16_t s2 = rdsSyndrome(w[2]);
        bool ok = rdsSyndrome(w[0]) == kSynA && rdsSyndrome(w[1]) == kSynB && (s2 == kSynC || s2 == kSynCp) &&
                  rdsSyndrome(w[3]) == kSynD;
        uint16_t b[4] = {static_cast<uint16_t>(w[0] >> 10), static_cast<uint16_t>(w[1] >> 10),
                         static_cast<uint16_t>(w[2] >> 10), static_cast<uint16_t>(w[3] >> 10)};
        // Block 3's offset must agree with the version bit of block 2.
        ok = ok && ((s2 == kSynCp) == (((b[1] >> 11) & 1) == 1));
        if (!ok) {
            if (synced)
                d.syndromeErrors++;
            synced = false;
            at++;
            continue;
        }
        synced = true;
        group(d, b, rt, rtAb);
        at += 104;
    }
    afLists(d);
    return d;
}
