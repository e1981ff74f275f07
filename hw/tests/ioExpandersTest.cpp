// Expander primitives, the mailbox access and the board initialisation with
// board detection, on the default and the Low Noise board.
#include "hw/ioExpanders.h"

#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/unitKeys.h"
#include "hw/fpgaWindows.h"
#include "hw/i2cBus.h"
#include "hw/tests/boardFixture.h"

#include <vector>

namespace {

// Every register of the board's expanders, one line per device.
std::string registerDump(std::initializer_list<uint16_t> addrs)
{
    std::string out;
    for (uint16_t a : addrs) {
        SimModel* m = simModelOf(simFindDevice(SIM_BUS_I2C1, a));
        uint8_t v[8];
        int n = m->peek(0, v, 8);
        char line[64];
        int k = snprintf(line, sizeof line, "%02X:", a);
        for (int i = 0; i < n; i++)
            k += snprintf(line + k, sizeof line - k, " %02X", v[i]);
        out += std::string(line) + "\n";
    }
    return out;
}

class IoExpanders : public BoardFixture {};

class BoardDetectionDefault : public BoardFixture {};

class BoardDetectionLowNoise : public BoardFixture {
protected:
    BoardDetectionLowNoise() : BoardFixture("lownoise") {}
};

// What initIoExpanders sends on a board with no amplifier-side codes set, up
// to the amplifier interface expanders.
const char* const kInitCommon =
    "W 20 06 FF\nW 20 04 00\nW 20 07 C0\nW 20 05 00\n"
    "W 20 00\nR 20 %s\n"
    "W 21 06 C0\nW 21 04 00\nW 21 07 C0\nW 21 05 00\n"
    "W 22 06 00\nW 22 04 00\nW 22 07 00\nW 22 05 00\n"
    "W 26 06 C0\nW 26 00\nR 26 %s\n"
    "W 26 06 80\nW 26 04 00\n"
    "W 26 02\nR 26 FF\nW 26 02 FD\nW 26 02 FF\n"
    "W 26 07 FF\nW 26 05 00\n"
    "W 27 03 C0\nW 27 02 00\n";

std::string expectedInit(const char* in20, const char* in26)
{
    char buf[1024];
    snprintf(buf, sizeof buf, kInitCommon, in20, in26);
    return buf;
}

// Start-up steps 4 and 5 in their order: the FPGA windows, then the
// expanders with board detection (the amplifier and filter detections of
// step 5 leave their codes at 0 here).
void startupSteps4And5()
{
    initAxi();
    initIoExpanders();
}

TEST_F(BoardDetectionDefault, NormalBoardWithoutBackplaneExtension)
{
    startupSteps4And5();
    std::string b = book();
    EXPECT_EQ(count(b, "INFO: Detected Normal board\n"), 1u);
    EXPECT_EQ(count(b, "ERR: FAIL reading input register - PCA9655_IC5\n"), 1u);
    EXPECT_EQ(count(b, "MPXoAES3"), 0u);
    EXPECT_EQ(count(b, "Tlc Tls Extended"), 0u);
    EXPECT_EQ(getUnitWord8(), 0u);
    EXPECT_EQ(getMpxoAes3Flag(), 0u);
    EXPECT_EQ(getTlcTlsExtDetected(), 0u);

    // The whole bus conversation: the absent 0x2D answers its read with a
    // NACK and gets no write; codes 0/0/0 program 0x24 register 3 only.
    EXPECT_EQ(trace(), expectedInit("81", "FF") + "W 2D 00 !\nW 24 03 E0\n");
    EXPECT_EQ(registerDump({0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27}),
              "20: 81 FF FF FF 00 00 FF C0\n"
              "21: FF FF FF FF 00 00 C0 C0\n"
              "22: FF FF FF FF 00 00 00 00\n"
              "23: FF FF 00 FF\n"
              "24: FF FF 00 E0\n"
              "25: FF FF 00 FF\n"
              "26: FF FC FF FF 00 00 80 FF\n"
              "27: FF FF 00 C0\n");
}

TEST_F(BoardDetectionLowNoise, LowNoiseBoardWithMpxoAes3AndBackplaneExtension)
{
    startupSteps4And5();
    std::string b = book();
    EXPECT_EQ(count(b, "INFO: Detected Low Noise board\n"), 1u);
    EXPECT_EQ(count(b, "INFO: Detected integrated MPXoAES3 hardware\n"), 1u);
    EXPECT_EQ(count(b, "INFO: Detected Tlc Tls Extended\n"), 1u);
    EXPECT_EQ(count(b, "ERR:"), 0u);
    EXPECT_EQ(getUnitWord8(), 1u);
    EXPECT_EQ(getMpxoAes3Flag(), 1u);
    EXPECT_EQ(getTlcTlsExtDetected(), 1u);

    EXPECT_EQ(trace(), expectedInit("00", "BF") + "W 2D 00\nR 2D 00\nW 2D 06 FF\nW 2D 07 00\nW 24 03 E0\n");
    EXPECT_EQ(registerDump({0x20, 0x26, 0x2D}),
              "20: 00 FF FF FF 00 00 FF C0\n"
              // Bit 6 of port 0 is an output now and reads its output bit.
              "26: FF FC FF FF 00 00 80 FF\n"
              "2D: 00 FF FF FF 00 00 FF 00\n");
}

TEST_F(IoExpanders, AmplifierExpandersFollowTheHardwareCodes)
{
    struct Case {
        uint32_t psu, hpa, hps;
        const char* writes;
    } cases[] = {
        {0, 2, 0, "W 23 03 FC\nW 24 03 C0\nW 24 02 C0\nW 24 01 24\nW 24 01 20\n"},
        {0, 2, 3, "W 23 03 FC\nW 24 03 C0\nW 24 02 C0\nW 24 01 24\nW 24 01 20\n"},
        {0, 7, 1, "W 24 03 E0\n"},
        {1, 3, 3, "W 24 03 70\nW 23 03 F8\nW 25 03 FC\nW 25 02 0C\nW 25 01 03\nW 25 01 01\n"},
        {1, 3, 0, "W 24 03 70\n"},
        {1, 3, 1, "W 24 03 70\n"},
        {1, 4, 0, "W 24 03 F0\nW 25 03 2C\nW 25 02 0C\nW 25 01 03\nW 25 01 01\n"},
        {1, 5, 3, ""},
        {2, 5, 1, "W 23 03 EC\nW 24 03 C0\nW 24 02 C0\nW 24 01 24\nW 24 01 20\n"},
        {2, 4, 0, ""},
        {3, 2, 3, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.psu << "/" << c.hpa << "/" << c.hps);
        setPsuTypeCode(c.psu);
        setHpaModelCode(c.hpa);
        setHpsCode(c.hps);
        uint64_t from = logHead();
        initIoExpanders();
        std::string amp;
        std::string all = trace(from);
        for (size_t at = 0; at < all.size();) {
            size_t end = all.find('\n', at) + 1;
            std::string line = all.substr(at, end - at);
            if (line.rfind("W 23", 0) == 0 || line.rfind("W 24", 0) == 0 || line.rfind("W 25", 0) == 0)
                amp += line;
            at = end;
        }
        EXPECT_EQ(amp, c.writes);
    }
}

TEST_F(IoExpanders, FilterExpanderIsMadeAllOutputsWhenTheFilterWasFound)
{
    // No filter: 0x15 is never addressed.
    initIoExpanders();
    EXPECT_EQ(count(trace(), " 15"), 0u);
    setTunableBpfPresent(1);
    uint64_t from = logHead();
    initIoExpanders();
    std::string t = trace(from);
    EXPECT_NE(t.find("W 15 03 00 !\nW 15 02 00 !\n"), std::string::npos) << t;
}

TEST_F(IoExpanders, PrimitivesReportFailuresAndCountThem)
{
    uint8_t v = 0x5A;
    EXPECT_EQ(ioExpWrite(0x12, 2, 0x22), 0);
    EXPECT_EQ(ioExpRead(&v, 2, 0x22), 0);
    EXPECT_EQ(v, 0x12);
    EXPECT_EQ(pca9655Read(&v, 6, 0x22), 2);
    EXPECT_EQ(v, 0xFF);

    uint32_t total = I2cErrorTotal.load();
    v = 0x5A;
    EXPECT_EQ(ioExpWrite(1, 2, 0x2D), -1);
    EXPECT_EQ(ioExpRead(&v, 2, 0x2D), -1);
    EXPECT_LT(pca9655Read(&v, 2, 0x2D), 0);
    EXPECT_EQ(v, 0x5A) << "a failed read leaves the value";
    EXPECT_EQ(I2cErrorTotal.load() - total, 4u) << "the write, both halves of the CAT read, the combined read";
    std::string b = book();
    EXPECT_EQ(count(b, "ERR: CAT9534: Error on write! [I2cAddr=0x2D]\n"), 2u);
    EXPECT_EQ(count(b, "ERR: CAT9534: Error on read! [I2cAddr=0x2D]\n"), 1u);
}

TEST_F(IoExpanders, MailboxReachesFourExpandersByDeviceId)
{
    const std::pair<uint8_t, uint8_t> map[] = {{3, 0x20}, {4, 0x21}, {5, 0x22}, {6, 0x26}, {7, 0}, {0, 0}, {2, 0}};
    for (auto [id, addr] : map)
        EXPECT_EQ(ioExpMailboxAddress(id), addr) << int(id);

    setReg(0x21, 2, 0x3C);
    uint32_t pairs[16], n = 0;
    EXPECT_EQ(ioExpDumpPca9655(pairs, &n, 4), 0);
    EXPECT_EQ(n, 8u);
    const uint32_t want[16] = {0, 0xFF, 1, 0xFF, 2, 0x3C, 3, 0xFF, 4, 0, 5, 0, 6, 0xFF, 7, 0xFF};
    EXPECT_EQ(std::vector<uint32_t>(pairs, pairs + 16), std::vector<uint32_t>(want, want + 16));

    uint32_t r = 3, value = 0x1A5;
    EXPECT_EQ(ioExpMailboxWrite(&r, &value, 5), 0);
    EXPECT_EQ(reg(0x22, 3), 0xA5);
    uint32_t got = 0;
    EXPECT_EQ(ioExpMailboxRead(&r, &got, 5), 0);
    EXPECT_EQ(got, 0xA5u);

    // No expander behind id 7: nothing goes out on the bus.
    uint64_t from = logHead();
    got = 77;
    EXPECT_EQ(ioExpMailboxWrite(&r, &value, 7), -1);
    EXPECT_EQ(ioExpMailboxRead(&r, &got, 7), -1);
    EXPECT_EQ(got, 77u);
    EXPECT_EQ(trace(from), "");
    EXPECT_EQ(count(book(), "ERR: PCA9655_0 : FAIL to write register\n"), 1u);
    EXPECT_EQ(count(book(), "ERR: PCA9655_0 : FAIL to read register\n"), 1u);

    // A register that cannot be read reports 0 in a dump.
    device(0x20)->absent.store(1);
    EXPECT_EQ(ioExpDumpCat9534(pairs, &n, 3), 0);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(pairs[2], 1u);
    EXPECT_EQ(pairs[3], 0u);
    EXPECT_EQ(count(book(), "ERR: PCA9655_20 : FAIL to read register\n"), 4u);
}

} // namespace
