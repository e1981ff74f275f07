// The GPS receiver stack against the simulated u-blox receiver: the frames it
// writes, the manager's detection and configuration, the NMEA decoding with
// its edges, and the satellite UART's ring extraction and frames.
#include "timing/gpsManager.h"
#include "timing/gpsTransport.h"
#include "timing/gpsUbx.h"

#include "Config/keys/unitKeys.h"
#include "core/base/locks.h"
#include "hw/i2cBus.h"
#include "platform/host/ioDevice.h"
#include "platform/clock.h"
#include "sim/simGps.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <sys/ioctl.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes hex(const char* text)
{
    Bytes b;
    for (const char* p = text; *p;) {
        if (*p == ' ') {
            p++;
            continue;
        }
        b.push_back(static_cast<uint8_t>(strtoul(std::string(p, 2).c_str(), nullptr, 16)));
        p += 2;
    }
    return b;
}

// A UBX frame built here, independently of the code under test.
Bytes frame(uint8_t cls, uint8_t id, const Bytes& payload)
{
    size_t n = payload.size();
    Bytes f(n + 8, 0);
    f[0] = 0xB5;
    f[1] = 0x62;
    f[2] = cls;
    f[3] = id;
    f[4] = static_cast<uint8_t>(n);
    f[5] = static_cast<uint8_t>(n >> 8);
    for (size_t i = 0; i < n; i++)
        f[6 + i] = payload[i];
    uint8_t a = 0, b = 0;
    for (size_t i = 2; i < n + 6; i++) {
        a = static_cast<uint8_t>(a + f[i]);
        b = static_cast<uint8_t>(b + a);
    }
    f[n + 6] = a;
    f[n + 7] = b;
    return f;
}

std::string withChecksum(const std::string& body)
{
    uint8_t x = 0;
    for (char c : body)
        x ^= static_cast<uint8_t>(c);
    char ck[8];
    snprintf(ck, sizeof ck, "*%02X\r\n", x);
    return "$" + body + ck;
}

int occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

std::string fixturePath(const char* name)
{
    return std::string(CORVANE_SOURCE_DIR) + "/timing/tests/fixtures/" + name;
}

class Gps : public SandboxTest {
protected:
    explicit Gps(const char* hw = "00080000")
        : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK,
                      std::string("i2c 1 0x21 ublox name=GPS_RECEIVER hw=") + hw + "\n")
    {
    }
    void SetUp() override
    {
        SandboxTest::SetUp();
        sem_sys_init();
        gpsManagerResetForTest();
        gpsTransportResetForTest();
    }
    void TearDown() override
    {
        gpsTransportResetForTest();
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    // One manager step: the tick runs it at the first call, then 200 ms
    // after the call that follows each run.
    void step()
    {
        GPS_Tick();
        clockAdvanceUs(200000);
        GPS_Tick();
    }
    void queue(const std::string& s) { simGpsQueue(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }
    int analyze(const std::string& s)
    {
        return GPS_AnalyzeNmeaMsg(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int>(s.size()));
    }
};

class GpsOldModel : public Gps {
protected:
    GpsOldModel() : Gps("00040007") {}
};

// The frames of detection and of the generation-80 configuration, from the
// receiver's documented payloads.
std::vector<Bytes> expectedGen80Frames()
{
    std::vector<Bytes> f;
    f.push_back(frame(0x06, 0x00, hex("00 00 00 00 42 00 00 00 00 00 00 00 01 00 03 00 00 00 00 00")));
    for (const char* rate : {"01 20 08", "F0 04 02", "F0 00 01", "F0 03 08", "F0 0A 00", "F0 02 00", "F0 05 00",
                             "F0 01 00"}) {
        Bytes p = hex(rate);
        p.resize(8, 0);
        f.push_back(frame(0x06, 0x01, p));
    }
    f.push_back(hex("B5 62 0A 04 00 00 0E 34"));
    f.push_back(hex("B5 62 0A 04 00 00 0E 34"));
    f.push_back(frame(0x06, 0x3E, hex("00 20 20 07"
                                      " 00 08 20 00 01 00 01 01  01 01 03 00 00 00 01 01"
                                      " 02 04 08 00 00 00 01 01  03 08 10 00 00 00 01 01"
                                      " 04 00 08 00 00 00 01 03  05 00 03 00 00 00 01 05"
                                      " 06 08 0E 00 00 00 01 01")));
    f.push_back(frame(0x06, 0x3E, hex("00 20 20 01 06 08 0E 00 00 00 01 01")));
    f.push_back(frame(0x06, 0x04, hex("E2 01 02 00")));
    f.push_back(frame(0x06, 0x31, hex("00 01 00 00 32 00 00 00 40 42 0F 00 40 42 0F 00"
                                      " 00 00 00 00 A0 86 01 00 00 00 00 00 F7 08 00 00")));
    Bytes nav(36, 0);
    nav[0] = 0x01;
    nav[1] = 0x05;
    nav[2] = 2;
    nav[24] = 4;
    nav[25] = 15;
    nav[30] = 3;
    f.push_back(frame(0x06, 0x24, nav));
    return f;
}

TEST_F(Gps, DetectionAndGeneration80ConfigurationWriteTheDocumentedFrames)
{
    EXPECT_EQ(GPS_Detect(), 1);
    step();
    step();
    for (int i = 0; i < 10; i++)
        step();
    EXPECT_EQ(gpsDataStore()->GpsGeneration, 80);
    EXPECT_EQ(gpsDataStore()->swMajor, 3);
    EXPECT_EQ(gpsDataStore()->swMinor, 1);
    EXPECT_EQ(occurrences(book(), "GPS: Detected Model 8.0 [Sw ver 3.1]"), 1);
    EXPECT_EQ(simGpsBadFrames(), 0u);

    std::vector<Bytes> got = simGpsFrames(), want = expectedGen80Frames();
    ASSERT_EQ(got.size(), want.size());
    Bytes all;
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_EQ(got[i], want[i]) << "frame " << i;
        all.insert(all.end(), got[i].begin(), got[i].end());
    }
    // The committed fixture that an independent decoder reads.
    std::string path = fixturePath("gen80Config.ubx");
    if (getenv("CORVANE_UPDATE_GOLDEN"))
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(all.data()),
                                                    static_cast<std::streamsize>(all.size()));
    std::ifstream in(path, std::ios::binary);
    Bytes fixture((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(fixture, all);
}

TEST_F(Gps, NakedConfigurationStillCountsAsSentAndSilenceEndsInGeneration60)
{
    SimGpsKnobs k;
    k.silent = true;
    ASSERT_TRUE(simGpsSetKnobs(k));
    EXPECT_EQ(GPS_Detect(), 1);
    for (int i = 0; i < 19; i++)
        step();
    EXPECT_EQ(gpsDataStore()->GpsGeneration, 0);
    step();
    EXPECT_EQ(gpsDataStore()->GpsGeneration, 60);
    EXPECT_EQ(occurrences(book(), "GPS: Detected Model 6.0 [Sw ver 0.1]"), 1);
    for (int i = 0; i < 5; i++)
        step();
    // 20 polls, no more once the generation is set.
    int polls = 0;
    for (const Bytes& f : simGpsFrames())
        polls += f == hex("B5 62 0A 04 00 00 0E 34");
    EXPECT_EQ(polls, 20);
}

TEST_F(GpsOldModel, HardwareText00040007IsGeneration60LoggedOnce)
{
    EXPECT_EQ(GPS_Detect(), 1);
    for (int i = 0; i < 8; i++)
        step();
    EXPECT_EQ(gpsDataStore()->GpsGeneration, 60);
    EXPECT_EQ(occurrences(book(), "GPS: Detected Model 6.0 [Sw ver 3.1]"), 1);
    // No generation-80 configuration.
    for (const Bytes& f : simGpsFrames())
        EXPECT_FALSE(f[2] == 0x06 && f[3] == 0x3E);
}

TEST_F(Gps, UbxDecoderEdges)
{
    // MON-VER of 35 bytes: software version only.
    Bytes p(35, 0);
    memcpy(p.data(), "EXT CORE 1.00 (61b2dd)", 22);
    Bytes f = frame(0x0A, 0x04, p);
    EXPECT_EQ(GPS_ParseUbxMsg(f.data(), static_cast<int>(f.size())), 0);
    EXPECT_EQ(gpsDataStore()->swMajor, 1);
    EXPECT_EQ(gpsDataStore()->swMinor, 0);
    EXPECT_EQ(gpsDataStore()->GpsGeneration, 0);
    // A version text filling its 30 bytes without a terminator, with a short
    // extension after the hardware text.
    Bytes q(52, 'x');
    memcpy(q.data(), "9.8", 3);
    memcpy(q.data() + 30, "00070000\0\0", 10);
    f = frame(0x0A, 0x04, q);
    EXPECT_EQ(GPS_ParseUbxMsg(f.data(), static_cast<int>(f.size())), 0);
    EXPECT_EQ(gpsDataStore()->GpsGeneration, 70);
    EXPECT_EQ(gpsDataStore()->swMajor, 9);

    // NAV-TIMEGPS: 15 bytes ignored, 16 with the valid bit stores.
    Bytes t(15, 0);
    t[10] = 18;
    t[11] = 0x07;
    f = frame(0x01, 0x20, t);
    EXPECT_EQ(GPS_ParseUbxMsg(f.data(), static_cast<int>(f.size())), 0);
    EXPECT_EQ(gpsDataStore()->leapSeconds, 0);
    t.push_back(0);
    f = frame(0x01, 0x20, t);
    EXPECT_EQ(GPS_ParseUbxMsg(f.data(), static_cast<int>(f.size())), 0);
    EXPECT_EQ(gpsDataStore()->leapSeconds, 18);

    // CFG-GNSS announcing more blocks than the payload holds.
    Bytes g = hex("00 20 20 FF 00 08 20 00 01 00 01 01");
    f = frame(0x06, 0x3E, g);
    EXPECT_EQ(GPS_ParseUbxMsg(f.data(), static_cast<int>(f.size())), 0);

    struct Row {
        const char* name;
        Bytes bytes;
        int result;
    } rows[] = {
        {"skipped NAV-SAT", frame(0x01, 0x35, Bytes(3, 0)), 0},
        {"unknown message", frame(0x02, 0x15, Bytes(4, 0)), -1},
        {"bad checksum", [] { Bytes b = frame(0x05, 0x01, {0x06, 0x24}); b.back() ^= 1; return b; }(), -1},
        {"payload longer than the bytes given", [] { Bytes b = frame(0x05, 0x01, {0x06, 0x24}); b.pop_back(); return b; }(), -1},
        {"payload length over 2040", hex("B5 62 05 01 F9 07 00 00"), -1},
        {"ACK-ACK", frame(0x05, 0x01, {0x06, 0x31}), 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(GPS_ParseUbxMsg(r.bytes.data(), static_cast<int>(r.bytes.size())), r.result) << r.name;
}

TEST_F(Gps, MessageRateNamesAndFrameBuilder)
{
    EXPECT_EQ(GPS_ConfigureMsgRate("TIMEGPS", 8), 16);
    EXPECT_EQ(GPS_ConfigureMsgRate("TIMEUTC", 1), 16);
    EXPECT_EQ(GPS_ConfigureMsgRate("ab", 1), 0);
    EXPECT_EQ(GPS_ConfigureMsgRate("XYZ", 1), 0);
    std::vector<Bytes> got = simGpsFrames();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], frame(0x06, 0x01, hex("01 20 08 00 00 00 00 00")));
    EXPECT_EQ(got[1], frame(0x06, 0x01, hex("F1 04 01 00 00 00 00 00")));

    // The builder cuts a payload over 512 bytes.
    static UbxMsgBuffer m;
    memset(&m, 0, sizeof m);
    m.msgClass = 0x0A;
    m.msgId = 0x04;
    m.payloadLength = 600;
    EXPECT_EQ(GPS_PrepareUbxMsg(&m), 0);
    EXPECT_EQ(m.payloadLength, 512);
    EXPECT_EQ(m.frameLength, 520);
}

TEST_F(Gps, BusyBusGivesUpAfterTenAttempts)
{
    SimGpsKnobs k;
    ASSERT_TRUE(simGpsSetKnobs(k));
    // Another driver holds the bus-1 lock.
    ASSERT_EQ(i2cBusLock(kGpsI2cBus, 0x20), 0);
    EXPECT_EQ(GPS_ReqUbxMonVer(), -1);
    i2cBusUnlock(kGpsI2cBus, 0x20);
    EXPECT_EQ(GPS_ReqUbxMonVer(), 8);
}

TEST_F(Gps, CountRegisters)
{
    uint8_t buf[kGpsMsgBufferSize];
    uint16_t len = 0;
    // Nothing waiting: 0 and no read of the stream.
    EXPECT_EQ(GPS_GetNmeaMsg(buf, &len), 0);
    EXPECT_EQ(simGpsStreamReads(), 0u);
    // 0xFD is the high-order byte: 0x0102 bytes are read.
    std::string s(0x102, 'a');
    queue(s);
    EXPECT_EQ(GPS_GetNmeaMsg(buf, &len), 0x102);
    EXPECT_EQ(len, 0x102);
    EXPECT_EQ(simGpsWaiting(), 0u);
    // A bad count reads nothing.
    for (uint16_t bad : {uint16_t(2049), uint16_t(0x8000), uint16_t(0xFFFF)}) {
        SimGpsKnobs k;
        k.badCountOn = true;
        k.badCount = bad;
        simGpsSetKnobs(k);
        EXPECT_EQ(GPS_GetNmeaMsg(buf, &len), -5) << bad;
    }
    EXPECT_EQ(simGpsStreamReads(), 1u);
}

TEST_F(Gps, NmeaFixCounterAndStore)
{
    std::string gga = withChecksum("GPGGA,123519,4807.038,N,01130.5000,E,1,08,0.9,545.4,M,46.9,M,,");
    std::string gga0 = withChecksum("GPGGA,123520,4807.038,N,01130.5000,E,0,00,0.9,545.4,M,46.9,M,,");
    std::string rmc = withChecksum("GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E");
    // RMC before any fix changes nothing.
    EXPECT_EQ(analyze(rmc + rmc), 0);
    EXPECT_EQ(gpsDataStore()->timeValid, 0);
    EXPECT_EQ(analyze(gga + gga), 0);
    const GpsDataStore& d = *gpsDataStore();
    EXPECT_EQ(gpsFixCounter(), 2);
    EXPECT_EQ(d.hour, 12);
    EXPECT_EQ(d.minute, 35);
    EXPECT_EQ(d.second, 19);
    EXPECT_EQ(d.timeValid, 1);
    EXPECT_EQ(d.longitude[0], 11);
    EXPECT_EQ(d.longitude[1], 30);
    EXPECT_EQ(d.longitude[2], 30);
    EXPECT_EQ(d.longitude[3], 'E');
    EXPECT_EQ(d.latitude[0], 48);
    EXPECT_EQ(d.latitude[1], 7);
    EXPECT_EQ(d.latitude[2], 1); // ".03" minutes: 3 * 60 / 100
    EXPECT_EQ(d.latitude[3], 'N');
    EXPECT_EQ(d.altitude, 545);
    EXPECT_EQ(d.satInUse, 8);
    for (int i = 0; i < 6; i++)
        analyze(gga + gga);
    EXPECT_EQ(gpsFixCounter(), 5);
    EXPECT_EQ(analyze(rmc + rmc), 0);
    EXPECT_EQ(d.day, 19);
    EXPECT_EQ(d.month, 11);
    EXPECT_EQ(d.year, 94);
    EXPECT_EQ(d.longitude[0], 123);
    EXPECT_EQ(d.longitude[3], 'W');
    analyze(gga0 + gga0);
    EXPECT_EQ(gpsFixCounter(), 0);
    EXPECT_EQ(d.satInUse, 0);
    EXPECT_EQ(d.minute, 54); // nothing else changes

    // GSV: only the GP talker.
    analyze(withChecksum("GLGSV,1,1,07,65,,,,66,,,") + withChecksum("GLGSV,1,1,07,65,,,,66,,,"));
    EXPECT_EQ(d.satInView, 0);
    analyze(withChecksum("GPGSV,3,1,11,03,03,111,00") + withChecksum("GPGSV,3,1,11,03,03,111,00"));
    EXPECT_EQ(d.satInView, 11);
}

TEST_F(Gps, NmeaSentenceEdges)
{
    std::string gga = withChecksum("GPGGA,123519,4807.038,N,01130.5000,E,1,08,0.9,545.4,M,46.9,M,,");
    std::string body = gga.substr(0, gga.find('*'));
    std::string ck = gga.substr(gga.find('*') + 1, 2);
    struct Row {
        const char* name;
        std::string sentence;
        int result;
    } rows[] = {
        {"correct", gga, 0},
        {"'*' last", body + "*", -1},
        {"'*' second to last", body + "*" + ck.substr(0, 1), -1},
        {"wrong checksum", body + "*00\r\n", -1},
        {"non-hexadecimal checksum", body + "*G1\r\n", -1},
        {"sign in the checksum", body + "*-1\r\n", -1},
        {"no '*'", body + "\r\n", -1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(GPS_ParseNmeaMsg(r.sentence.c_str(), static_cast<int>(r.sentence.size())), r.result) << r.name;

    // A field longer than the buffer keeps 31 characters.
    char out[32];
    std::string longField = "$GPTXT," + std::string(60, 'z') + ",x*00";
    GPS_GetNmeaField(longField.c_str(), 1, out);
    EXPECT_EQ(std::string(out), std::string(31, 'z'));
    GPS_GetNmeaField("$GPTXT,a*11", 5, out);
    EXPECT_EQ(std::string(out), "");

    // An input ending in '*': nothing is read past it.
    std::string cut = body + "*";
    EXPECT_EQ(analyze(cut), -1);
    EXPECT_EQ(GPS_AnalyzeNmeaMsg(nullptr, 5), 0);
    EXPECT_EQ(analyze(""), 0);

    // Back-to-back UBX frame and sentence: both decoded.
    gpsManagerResetForTest();
    Bytes t(16, 0);
    t[10] = 17;
    t[11] = 0x04;
    Bytes f = frame(0x01, 0x20, t);
    std::string stream(f.begin(), f.end());
    stream += gga + gga;
    EXPECT_EQ(analyze(stream), 0);
    EXPECT_EQ(gpsDataStore()->leapSeconds, 17);
    EXPECT_EQ(gpsFixCounter(), 2);
}

TEST_F(Gps, CaptureThroughTheManagerAndPublish)
{
    std::string s = withChecksum("GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,") +
                    withChecksum("GPRMC,092750.000,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,A");
    ASSERT_TRUE(simGpsSetCapture(Bytes(s.begin(), s.end())));
    EXPECT_EQ(GPS_Detect(), 1);
    for (int i = 0; i < 6; i++)
        step();
    const GpsDataStore& d = *gpsDataStore();
    EXPECT_EQ(d.hour, 9);
    EXPECT_EQ(d.minute, 27);
    EXPECT_EQ(d.second, 50);
    EXPECT_EQ(d.day, 28);
    EXPECT_EQ(d.month, 5);
    EXPECT_EQ(d.year, 11);
    EXPECT_EQ(d.latitude[0], 53);
    EXPECT_EQ(d.latitude[1], 21);
    EXPECT_EQ(d.latitude[2], 40);
    EXPECT_EQ(d.longitude[0], 6);
    EXPECT_EQ(d.longitude[1], 30);
    EXPECT_EQ(d.longitude[2], 19);
    EXPECT_EQ(d.altitude, 61);
}

// /dev/ttyS1 as the slave side of a pseudo-terminal whose master the test
// holds: reads, writes and termios requests pass to the slave.
class PtyPort : public IoDevice {
public:
    std::string slavePath;
    int open(int flags, int handle) override
    {
        int fd = ::open(slavePath.c_str(), (flags & O_ACCMODE) | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return -errno;
        fds[handle] = fd;
        return 0;
    }
    void close(int handle) override
    {
        ::close(fds[handle]);
        fds.erase(handle);
    }
    ssize_t read(int handle, void* buf, size_t len) override
    {
        ssize_t n = ::read(fds[handle], buf, len);
        return n < 0 ? -errno : n;
    }
    ssize_t write(int handle, const void* buf, size_t len) override
    {
        ssize_t n = ::write(fds[handle], buf, len);
        return n < 0 ? -errno : n;
    }
    int ioctl(int handle, unsigned long request, void* arg) override
    {
        int r = ::ioctl(fds[handle], request, arg);
        return r < 0 ? -errno : r;
    }
    std::map<int, int> fds;
};

// The satellite UART on a pseudo-terminal of the test.
class SatelliteUart : public Gps {
protected:
    void SetUp() override
    {
        Gps::SetUp();
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        static PtyPort port;
        port.slavePath = ptsname(master);
        ioRegisterDevice("/dev/ttyS1", &port);
        setModeWord(1);
    }
    void TearDown() override
    {
        gpsTransportResetForTest();
        if (master >= 0)
            close(master);
        Gps::TearDown();
    }
    Bytes drain()
    {
        Bytes b(256);
        ssize_t n = read(master, b.data(), b.size());
        b.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return b;
    }
    int master = -1;
};

TEST_F(SatelliteUart, PortFramesAndCommandsOnTheWire)
{
    ASSERT_GT(GPS_OpenSatelliteUart(), 0);
    struct termios t;
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    close(slave);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

    EXPECT_EQ(configureUblox_Uart(), 28);
    EXPECT_EQ(drain(), hex("B5 62 06 00 14 00 01 00 00 00 C0 00 00 00 80 25 00 00 01 00 02 00 00 00 00 00 83 07"));
    EXPECT_EQ(configureUblox_Ddc(), 28);
    EXPECT_EQ(drain(), frame(0x06, 0x00, hex("00 00 00 00 42 08 00 00 00 00 00 00 01 00 01 00 00 00 00 00")));
    EXPECT_EQ(GPS_SendSatelliteCmd(2), 9);
    EXPECT_EQ(drain(), hex("A0 A1 00 02 02 01 03 0D 0A"));
    EXPECT_EQ(GPS_SendSatelliteCmd(4), 16);
    EXPECT_EQ(drain(), hex("A0 A1 00 09 08 01 01 01 01 01 01 01 00 09 0D 0A"));
    EXPECT_EQ(GPS_SendSatelliteCmd(8), 0);

    // What the peer sends arrives in the caller's ring.
    std::string s = withChecksum("GPGSV,3,1,11,03,03,111,00");
    ASSERT_EQ(write(master, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    uint8_t ring[64] = {};
    int pos = 0, mark = 5;
    usleep(20000);
    EXPECT_EQ(GPS_FillSatelliteRing(ring, &pos, &mark, sizeof ring), 0);
    EXPECT_EQ(pos, static_cast<int>(s.size()));
    EXPECT_EQ(mark, -1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ring), s.size()), s);
}

TEST_F(SatelliteUart, RefusedOnOtherPlatforms)
{
    setModeWord(4);
    EXPECT_EQ(GPS_OpenSatelliteUart(), 0);
    EXPECT_EQ(occurrences(book(), "Satellite UART selected on unauthorized platform"), 1);
    // Nothing is written to a UART that is not open.
    EXPECT_EQ(configureUblox_Uart(), -1);
}

// The ring extraction.
struct Ring {
    std::vector<uint8_t> bytes;
    explicit Ring(int size) : bytes(static_cast<size_t>(size), '.') {}
    // Puts text at index at, wrapping.
    void put(int at, const std::string& text)
    {
        for (size_t i = 0; i < text.size(); i++)
            bytes[(static_cast<size_t>(at) + i) % bytes.size()] = static_cast<uint8_t>(text[i]);
    }
};

TEST(GpsRing, ExtractNmeaFromRing)
{
    auto sentenceOf = [](size_t bodyLength) {
        std::string body = "GPTXT,";
        body += std::string(bodyLength - 1 - body.size(), 'q'); // "$" + body = bodyLength bytes
        return withChecksum(body);
    };
    struct Row {
        const char* name;
        int size, at, scanFrom, stopAt;
        std::string text;
        int result, outLength;
        bool cleared;
    };
    std::string gga = withChecksum("GPGGA,123519,4807.038,N,01130.5000,E,1,08,0.9,545.4,M,46.9,M,,");
    int ggaLen = static_cast<int>(gga.find('*'));
    std::string bad = gga;
    bad[bad.find('*') + 1] = bad[bad.find('*') + 1] == '0' ? '1' : '0';
    std::vector<Row> rows = {
        {"one GGA sentence", 256, 10, 10 + static_cast<int>(gga.size()), 0, gga, 0, ggaLen, false},
        {"length 95 is copied", 256, 3, 3 + 100, 0, sentenceOf(95), 0, 95, false},
        {"length 96 is refused", 256, 3, 3 + 101, 0, sentenceOf(96), 0, 0, true},
        {"a wrapped sentence", 128, 100, (100 + static_cast<int>(gga.size())) % 128, 60, gga, 0, ggaLen, false},
        {"a wrapped sentence of 96", 128, 100, (100 + 101) % 128, 90, sentenceOf(96), 0, 0, true},
        {"bad checksum", 256, 10, 10 + static_cast<int>(bad.size()), 0, bad, -1, -1, true},
        {"no line end", 256, 10, 10 + static_cast<int>(gga.size()) - 2, 0, gga, -2, -1, false},
        {"stopAt before the '$'", 256, 10, 10 + static_cast<int>(gga.size()), 40, gga, -2, -1, false},
    };
    for (const Row& r : rows) {
        Ring ring(r.size);
        ring.put(r.at, r.text);
        std::vector<uint8_t> before = ring.bytes;
        int scanFrom = r.scanFrom, outLength = -1;
        char out[kGpsRingSentenceMax + 1] = {};
        int res = GPS_ExtractNmeaFromRing(ring.bytes.data(), &scanFrom, r.stopAt, r.size, out, &outLength);
        EXPECT_EQ(res, r.result) << r.name;
        EXPECT_EQ(outLength, r.outLength) << r.name;
        if (r.result == -2) {
            EXPECT_EQ(ring.bytes, before) << r.name;
            EXPECT_EQ(scanFrom, r.scanFrom) << r.name;
            continue;
        }
        EXPECT_EQ(scanFrom, r.at) << r.name;
        if (r.result == 0 && r.outLength > 0) {
            EXPECT_EQ(std::string(out), r.text.substr(0, static_cast<size_t>(r.outLength))) << r.name;
        }
        int nl = (r.at + static_cast<int>(r.text.size()) - 1) % r.size;
        EXPECT_EQ(ring.bytes[static_cast<size_t>(r.at)] == 0 && ring.bytes[static_cast<size_t>(nl)] == 0, r.cleared)
            << r.name;
    }
}

} // namespace

namespace {

// The configuration frames as an independent decoder (ubxtool of gpsd) reads them.
TEST(GpsFixture, Gen80ConfigurationDecodesUnderUbxtool)
{
    if (system("command -v ubxtool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ubxtool (gpsd) not installed";
    std::string cmd = "ubxtool -f " + fixturePath("gen80Config.ubx") + " -v 2 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    pclose(p);
    const char* expected[] = {
        "mode 0x42", "inProtoMask 0x1 outProtoMask 0x3", "slaveAddr 0x21",
        "Class x01 (NAV) ID x20 (TIMEGPS) Rates 8 0 0 0 0 0", "ID x04 (RMC) Rates 2 0", "ID x00 (GGA) Rates 1 0",
        "ID x03 (GSV) Rates 8 0", "ID x0a (DTM) Rates 0 0", "ID x02 (GSA) Rates 0 0", "ID x05 (VTG) Rates 0 0",
        "ID x01 (GLL) Rates 0 0", "UBX-MON-VER:\n  Poll request", "numConfigBlocks 7",
        "gnssId 0 TrkCh  8 maxTrCh 32 reserved 0 Flags x01010001", "gnssId 6 TrkCh  8 maxTrCh 14 reserved 0 Flags x01010000",
        "navBbrmask x1e2 resetMode 2", "antCableDelay 50 rfGroupDelay 0 freqPeriod 1000000 freqPeriodLock 1000000",
        "pulseLenRatioLock 100000", "flags x8f7", "mask 0x501 dynModel 2", "cnoThreshNumSVs 4",
        "cnoThresh 15", "utcStandard 3",
    };
    for (const char* e : expected)
        EXPECT_NE(out.find(e), std::string::npos) << e << "\n" << out;
    // GPS alone enabled among the seven blocks.
    EXPECT_EQ(occurrences(out, " enabled"), 1);
    EXPECT_EQ(occurrences(out, "UBX-CFG-MSG:"), 8);
}

} // namespace
