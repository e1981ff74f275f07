#include "core/base/utils.h"

#include "platform/clock.h"
#include "testing/sandboxTest.h"

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string readFile(const std::string& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(Deadline, DoneAndUnsetDeadlines)
{
    clockUseVirtual();
    int32_t left = 12345;
    EXPECT_EQ(checkDeadlineCs(0, 0, &left), -1);
    EXPECT_EQ(left, 12345); // the clock was not read
    EXPECT_EQ(checkDeadlineCs(1, 0, &left), 1);
    EXPECT_EQ(checkDeadlineCs(1, getDeadlineCs(0) - 500, nullptr), 1);
}

TEST(Deadline, RunsOutAfterItsHundredths)
{
    clockUseVirtual();
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC, &now);
    EXPECT_EQ(getCsNow(&now) + 100, getDeadlineCs(100));
    uint32_t d = getDeadlineCs(100);
    int32_t left = 0;
    EXPECT_EQ(checkDeadlineCs(0, d, &left), 0);
    EXPECT_EQ(left, 100);
    clockAdvanceUs(1000000);
    EXPECT_EQ(checkDeadlineCs(0, d, &left), 0); // at the deadline
    EXPECT_EQ(left, 0);
    clockAdvanceUs(10000);
    EXPECT_EQ(checkDeadlineCs(0, d, &left), -1);
    EXPECT_EQ(left, -1);
}

TEST(Deadline, SurvivesTheWrapOfTheHundredthsClock)
{
    // 50 hundredths before the 32-bit clock wraps (about 497 days up).
    clockUseVirtual((0x100000000LL - 50) * 10000000LL);
    uint32_t d = getDeadlineCs(100);
    EXPECT_EQ(d, 50u);
    EXPECT_EQ(checkDeadlineCs(0, d, nullptr), 0);
    clockAdvanceUs(900000);
    EXPECT_EQ(checkDeadlineCs(0, d, nullptr), 0);
    clockAdvanceUs(200000);
    EXPECT_EQ(checkDeadlineCs(0, d, nullptr), -1);
}

TEST(Utils, ByteOrder)
{
    const uint8_t b[4] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(getU32BE(b), 0x12345678u);
    EXPECT_EQ(getU32LE(b), 0x78563412u);
    EXPECT_EQ(getU16LE(b), 0x3412u);
    EXPECT_EQ(getU32(b), 0x78563412u); // memory order of this little-endian host

    uint8_t out[6] = {0, 0, 0, 0, 0, 0xEE};
    putU32LE(0xA1B2C3D4u, out + 1); // unaligned
    EXPECT_EQ(out[1], 0xD4);
    EXPECT_EQ(out[4], 0xA1);
    EXPECT_EQ(out[5], 0xEE);
    EXPECT_EQ(getU32LE(out + 1), 0xA1B2C3D4u);
    putU32BE(0xA1B2C3D4u, out + 1);
    EXPECT_EQ(out[1], 0xA1);
    EXPECT_EQ(getU32BE(out + 1), 0xA1B2C3D4u);
    putU16LE(0xBEEF, out);
    EXPECT_EQ(out[0], 0xEF);
    EXPECT_EQ(out[1], 0xBE);
}

TEST(Utils, RoundHalfAwayFromZero)
{
    const struct {
        double in, out;
    } rows[] = {{2.5, 3}, {-2.5, -3}, {2.4, 2}, {-2.4, -2}, {0.5, 1}, {-0.5, -1}, {0, 0}, {1.49999, 1}};
    for (const auto& r : rows) {
        EXPECT_EQ(roundHalfAway(r.in), r.out) << r.in;
        EXPECT_EQ(roundHalfAwayF(static_cast<float>(r.in)), static_cast<float>(r.out)) << r.in;
    }
}

TEST(Utils, LogarithmicIndex)
{
    const struct {
        uint32_t lin;
        int32_t index;
    } toIndex[] = {{10, 0}, {100, 100}, {1000, 200}, {1, -100}, {0, -100}, {3162, 250}, {20, 30}};
    for (const auto& r : toIndex)
        EXPECT_EQ(convLinToLogIndex(r.lin), r.index) << r.lin;

    const struct {
        int32_t index;
        uint32_t lin;
    } toLin[] = {{0, 10},         {250, 3162},       {299, 9772},  {350, 31600}, {450, 316000},
                 {550, 3160000}, {650, 31500000}, {700, 1},     {900, 1},     {-300, 1}};
    for (const auto& r : toLin)
        EXPECT_EQ(convLogIndexToLin(r.index), r.lin) << r.index;
}

TEST(Utils, MovingAverageAndStability)
{
    uint32_t h1[4] = {}, avg = 0;
    // Filling the first stage: the average is the newest sample.
    for (uint32_t s : {100u, 200u, 300u}) {
        EXPECT_EQ(computeLinearRegression(s, 4, h1, &avg, nullptr, 0), 0);
        EXPECT_EQ(avg, s);
    }
    EXPECT_EQ(computeLinearRegression(400, 4, h1, &avg, nullptr, 0), 0);
    EXPECT_EQ(avg, 250u);
    EXPECT_EQ(h1[0], 400u);
    EXPECT_EQ(h1[3], 100u);

    // Two stages on a steady signal: stable from the eighth agreement on.
    uint32_t a[4] = {}, b[2] = {};
    int results[14];
    for (int i = 0; i < 14; i++)
        results[i] = computeLinearRegression(1000, 4, a, &avg, b, 2);
    // Calls 1-3 fill stage one, call 4 fills stage two, calls 5.. agree.
    for (int i = 0; i < 11; i++)
        EXPECT_EQ(results[i], 0) << i;
    EXPECT_EQ(results[11], 1);
    // A long steady run stays stable.
    for (int i = 0; i < 600; i++)
        ASSERT_EQ(computeLinearRegression(1000, 4, a, &avg, b, 2), 1) << i;
    // A jump of more than 300 between the stages resets it.
    EXPECT_EQ(computeLinearRegression(5000, 4, a, &avg, b, 2), 0);
}

TEST(Utils, TimeStamp)
{
    setenv("TZ", "UTC", 1);
    tzset();
    char out[32];
    time_t t = 1700000000;
    EXPECT_STREQ(formatTimestamp(&t, out), "2023-11-14 22:13:20 ");
    clockUseVirtual(1000000000LL, 1767225600LL);
    EXPECT_STREQ(formatTimestamp(nullptr, out), "2026-01-01 00:00:00 ");
}

class InternalDebugLog : public SandboxTest {};

TEST_F(InternalDebugLog, StampedLineAndFactoryLink)
{
    writeInternalDebugLog("decoder failed %d\n", 7);
    std::string text = readFile(host("/usr/share/VRL/log/internalDebugLast.log"));
    EXPECT_TRUE(std::regex_match(text, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] "
                                                  "[0-9]{2}:[0-9]{2}:[0-9]{2}-[0-9]{3}: decoder failed 7\n")))
        << text;
    char link[256] = {};
    ASSERT_GT(readlink(host("/usr/share/VRL/www/TRN_Equip/Factory/internalDebugLast.log").c_str(), link,
                       sizeof link - 1),
              0);
    EXPECT_STREQ(link, "/usr/share/VRL/log/internalDebugLast.log");
}

TEST_F(InternalDebugLog, MessagesAreCutAt255)
{
    std::string longText(300, 'x');
    writeInternalDebugRaw("%s", longText.c_str());
    EXPECT_EQ(readFile(host("/usr/share/VRL/log/internalDebugLast.log")), std::string(255, 'x'));
    writeInternalDebugRaw("%s", "");
    EXPECT_EQ(readFile(host("/usr/share/VRL/log/internalDebugLast.log")).size(), 255u);
}

TEST_F(InternalDebugLog, RotatesOnTheCallThatGrowsPast150000Bytes)
{
    const std::string last = host("/usr/share/VRL/log/internalDebugLast.log");
    const std::string old = host("/usr/share/VRL/log/internalDebugOld.log");
    std::string chunk(250, 'a');
    chunk += "\n";
    int calls = 0;
    struct stat sb;
    while (stat(old.c_str(), &sb) != 0 && calls < 1000) {
        writeInternalDebugRaw("%s", chunk.c_str());
        calls++;
    }
    EXPECT_EQ(calls, 150000 / 251 + 1);
    EXPECT_EQ(sb.st_size, static_cast<off_t>(calls) * 251);
    EXPECT_NE(access(last.c_str(), F_OK), 0);
    writeInternalDebugRaw("fresh\n");
    EXPECT_EQ(readFile(last), "fresh\n");
    char link[256] = {};
    ASSERT_GT(readlink(host("/usr/share/VRL/www/TRN_Equip/Factory/internalDebugOld.log").c_str(), link,
                       sizeof link - 1),
              0);
    EXPECT_STREQ(link, "/usr/share/VRL/log/internalDebugOld.log");
}
