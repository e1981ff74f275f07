// The key engine's columns that the rows of the larger key sections use:
// cell formulas, byte strings, texts kept in words, floats, long texts, the
// publish conversions, the signed 16-bit validator and defaults chosen by
// another value. The rows here are the tests' own, laid over scratch parts
// of the image.
#include "Config/keyTable.h"

#include "Config/configCycle.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/keyIds.h"
#include "comtab/dbPool.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

class KeyEngineTest : public SandboxTest {
protected:
    KeyEngineTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
};

// Scratch storage: the alarm flag records (1352 bytes), which these tests
// do not otherwise use.
CfgAt scratch(uint8_t shape, uint16_t size, uint16_t count, uint16_t inner = 1)
{
    CfgAt a;
    // Word-aligned, as the engine's stored shapes are.
    a.offset = static_cast<uint32_t>((offsetof(SystemImage, alarm.flags) + 3) & ~size_t{3});
    a.size = size;
    a.count = count;
    a.inner = inner;
    a.stride = static_cast<uint16_t>(size * inner);
    a.innerStride = inner > 1 ? size : 0;
    a.shape = shape;
    return a;
}

struct CellAt {
    uint32_t section;
    uint32_t item;
};

// The cell an element publishes to: the only cell that changes.
CellAt publishedCell(const CfgKeyDesc* d, uint32_t index, uint32_t value)
{
    for (uint32_t s = 1; s <= 64; s++) {
        for (uint32_t i = 1; i <= 64; i++)
            setDbAreaCell(s, i, 0);
    }
    cfgSet(d, index, value);
    for (uint32_t s = 1; s <= 64; s++) {
        for (uint32_t i = 1; i <= 64; i++) {
            if (readDbAreaCell(s, i) == value)
                return {s, i};
        }
    }
    return {0, 0};
}

TEST_F(KeyEngineTest, SlotCellsFollowTheirPiecesAndSlotsCountFromOne)
{
    // Site addresses of UECP slots 1..10: slot 1 at item 2, slots 2..4 at
    // 2n + 16, slots 5..10 at 2n + 34; encoder addresses: slot 1 at item 3,
    // then 2n + 22.
    const CfgKeyDesc site = {.at = scratch(VT_U16, 2, 10), .indexBase = 1,
                             .cells = {cellPieces(20, {0, 2, 0}, {1, 18, 2}, {4, 36, 2})}};
    const CfgKeyDesc encoder = {.at = scratch(VT_U8, 1, 10), .indexBase = 1,
                                .cells = {cellPieces(20, {0, 3, 0}, {1, 24, 2})}};
    for (uint32_t n = 1; n <= 10; n++) {
        SCOPED_TRACE(n);
        uint32_t siteItem = n == 1 ? 2 : n <= 4 ? 2 * n + 16 : 2 * n + 34;
        CellAt c = publishedCell(&site, n, 100 + n);
        EXPECT_EQ(c.section, 20u);
        EXPECT_EQ(c.item, siteItem);
        c = publishedCell(&encoder, n, 50 + n);
        EXPECT_EQ(c.item, n == 1 ? 3 : 2 * n + 22);
    }
    // Slot 0 and slot 11 are no slot.
    std::vector<uint8_t> before(sizeof(SystemImage)), after(sizeof(SystemImage));
    memcpy(before.data(), getSystemImage(), before.size());
    cfgSet(&site, 0, 7);
    cfgSet(&site, 11, 7);
    memcpy(after.data(), getSystemImage(), after.size());
    EXPECT_EQ(before, after);
    EXPECT_EQ(cfgGetElement(&site, 0), 0u);
    EXPECT_EQ(cfgGetElement(&site, 10), 110u);
}

TEST_F(KeyEngineTest, UserCellsRunOverTwoSectionsTwelveApart)
{
    // Destination prefix of GSM user u: (53, 1 + 12u) for u < 5, else
    // (54, 1 + 12(u - 5)); alarm-enable word i of user u at 3 + i.
    const CfgKeyDesc prefix = {.at = scratch(VT_U16, 2, 10), .cells = {cellWrap(53, 1, 5, 12)}};
    for (uint32_t u = 0; u < 10; u++) {
        CellAt c = publishedCell(&prefix, u, 1000 + u);
        EXPECT_EQ(c.section, u < 5 ? 53u : 54u) << u;
        EXPECT_EQ(c.item, 1 + 12 * (u % 5)) << u;
    }
    const CfgKeyDesc bitmask = {.at = scratch(VT_U32, 4, 10, 10), .cells = {cellWrap(53, 3, 5, 12, 1)}};
    CellAt c = publishedCell(&bitmask, cfgPairIndex(&bitmask, 7, 9), 0x01000000);
    EXPECT_EQ(c.section, 54u);
    EXPECT_EQ(c.item, 36u);
    c = publishedCell(&bitmask, cfgPairIndex(&bitmask, 7, 0), 0x02000000);
    EXPECT_EQ(c.item, 27u);
    // An inner index beyond the record is no element, not the next user's.
    EXPECT_EQ(cfgPairIndex(&bitmask, 7, 10), CFG_NO_INDEX);
    EXPECT_EQ(cfgPairIndex(&bitmask, 10, 0), CFG_NO_INDEX);
    EXPECT_EQ(cfgPairIndex(&bitmask, 256 + 7, 256 + 9), cfgPairIndex(&bitmask, 7, 9));
}

TEST_F(KeyEngineTest, DataSetFamiliesFollowTheSetInTheSectionAndTheEntryInTheItem)
{
    // AFL_1..AFL_7 of data set d: section 21 + d, items 28..34; a change
    // publishes all seven.
    const CfgKeyDesc afl = {.nameRule = NAME_FORMAT, .name = "DSn%u_AFL_%u", .nameBase = 1, .innerBase = 1,
                            .at = scratch(VT_U32, 4, 7, 7), .cells = {cell(21, 28, CONV_VALUE, 1, 0, 1)},
                            .publishAll = true};
    for (uint32_t s = 21; s <= 27; s++) {
        for (uint32_t i = 28; i <= 34; i++)
            setDbAreaCell(s, i, 0xdeadbeef);
    }
    cfgSet(&afl, cfgPairIndex(&afl, 6, 2), 0x1234);
    for (uint32_t i = 28; i <= 34; i++)
        EXPECT_EQ(readDbAreaCell(27, i), i == 30 ? 0x1234u : 0u) << i;
    EXPECT_EQ(readDbAreaCell(26, 30), 0xdeadbeefu);
    EXPECT_STREQ(cfgElementName(&afl, cfgPairIndex(&afl, 6, 2)), "DSn7_AFL_3");
}

TEST_F(KeyEngineTest, MacAddressesAreByteStringsPublishedAsAWordAndATailAndByteByByte)
{
    const CfgKeyDesc mac = {.at = IMG_AS(net.frontMacActive, VT_BYTES),
                            .groups = {CONFIG_GROUP_FACTORY},
                            .cells = {cell(2, 13, CONV_BYTE_PER_CELL), cell(18, 1, CONV_MAC)}};
    ASSERT_EQ(mac.at.size, 6);
    const uint8_t a[6] = {0x00, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f};
    clearConfigChanged();
    cfgSetBytes(&mac, 0, a, 6);
    EXPECT_EQ(memcmp(getSystemImage()->net.frontMacActive, a, 6), 0);
    EXPECT_EQ(readDbAreaCell(18, 1), 0x001b2c3du);
    EXPECT_EQ(readDbAreaCell(18, 2), 0x4e5fu);
    for (uint32_t k = 0; k < 6; k++)
        EXPECT_EQ(readDbAreaCell(2, 13 + k), a[k]) << k;
    EXPECT_EQ(getConfigChanged(), CONFIG_GROUP_FACTORY);

    // The first four and the last two bytes, written apart; the same bytes
    // again publish and mark nothing.
    const uint8_t head[4] = {0x02, 0x00, 0x00, 0x01};
    const uint8_t tail[2] = {0xaa, 0xbb};
    cfgSetBytes(&mac, 0, head, 4, 0);
    cfgSetBytes(&mac, 0, tail, 2, 4);
    uint8_t out[6];
    cfgGetBytes(&mac, 0, out);
    const uint8_t want[6] = {0x02, 0x00, 0x00, 0x01, 0xaa, 0xbb};
    EXPECT_EQ(memcmp(out, want, 6), 0);
    EXPECT_EQ(readDbAreaCell(18, 2), 0xaabbu);
    clearConfigChanged();
    setDbAreaCell(18, 1, 0xdeadbeef);
    cfgSetBytes(&mac, 0, want, 6);
    EXPECT_EQ(readDbAreaCell(18, 1), 0xdeadbeefu);
    EXPECT_EQ(getConfigChanged(), 0u);
    // Nothing is written past the element.
    cfgSetBytes(&mac, 0, a, 6, 4);
    EXPECT_EQ(memcmp(getSystemImage()->net.frontMacReceived, "\0\0\0\0\0\0", 6), 0);
}

TEST_F(KeyEngineTest, TextsKeptInWordsHoldTheFirstCharacterInTheMostSignificantByte)
{
    // A 20-character label in five words, all five published on any change;
    // and a 16-byte name as four words.
    const CfgKeyDesc label = {.at = scratch(VT_U32, 4, 5), .cells = {cell(51, 10, CONV_VALUE, 0, 1)},
                              .publishAll = true};
    cfgSetPackedText(&label, 0, "TARN FM", 7);
    EXPECT_EQ(cfgGetElement(&label, 0), 0x5441524eu); // "TARN"
    EXPECT_EQ(cfgGetElement(&label, 1), 0x20464d00u); // " FM\0"
    EXPECT_EQ(readDbAreaCell(51, 10), 0x5441524eu);
    EXPECT_EQ(readDbAreaCell(51, 11), 0x20464d00u);
    char out[21] = {};
    cfgGetPackedText(&label, 0, out, 20);
    EXPECT_STREQ(out, "TARN FM");

    for (uint32_t i = 10; i <= 14; i++)
        setDbAreaCell(51, i, 0xdeadbeef);
    cfgSet(&label, 4, 0x31323334);
    for (uint32_t i = 10; i <= 14; i++)
        EXPECT_NE(readDbAreaCell(51, i), 0xdeadbeefu) << i;

    // Four codes packed big-endian in one cell: a 16-byte string as four
    // words, the first byte of each the most significant.
    const CfgKeyDesc codes = {.at = scratch(VT_BYTES, 16, 1), .cells = {cell(21, 56, CONV_BE_WORDS)}};
    const uint8_t seq[16] = {0, 1, 2, 3, 10, 11, 255, 255, 4, 5, 6, 7, 8, 9, 12, 13};
    cfgSetBytes(&codes, 0, seq, sizeof seq);
    EXPECT_EQ(readDbAreaCell(21, 56), 0x00010203u);
    EXPECT_EQ(readDbAreaCell(21, 57), 0x0a0bffffu);
    EXPECT_EQ(readDbAreaCell(21, 59), 0x08090c0du);
}

TEST_F(KeyEngineTest, FloatsCompareAsFloatsAndPublishAHundredfoldTruncated)
{
    const CfgKeyDesc f = {.at = scratch(VT_F32, 4, 1), .groups = {CONFIG_GROUP_LEVELS},
                          .cells = {cell(48, 4, CONV_F32_X100)}};
    struct Case {
        float v;
        uint32_t cell;
    };
    const Case cases[] = {{12.345f, 1234}, {0.019f, 1}, {-1.5f, 0}, {655.36f, 65536}};
    for (const Case& c : cases) {
        cfgSet(&f, 0, cfgRaw(c.v));
        EXPECT_EQ(cfgCast<float>(cfgGetElement(&f, 0)), c.v);
        EXPECT_EQ(readDbAreaCell(48, 4), c.cell) << c.v;
    }
    // 0.0 and -0.0 are the same value; a NaN never equals the stored one.
    cfgSet(&f, 0, cfgRaw(0.0f));
    clearConfigChanged();
    cfgSet(&f, 0, cfgRaw(-0.0f));
    EXPECT_EQ(getConfigChanged(), 0u);
    cfgSet(&f, 0, cfgRaw(std::numeric_limits<float>::quiet_NaN()));
    clearConfigChanged();
    cfgSet(&f, 0, cfgRaw(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(getConfigChanged(), CONFIG_GROUP_LEVELS);
    EXPECT_EQ(readDbAreaCell(48, 4), 0u);
}

TEST_F(KeyEngineTest, LongTextsAreReachedByAddressAndHaveNoSetter)
{
    const CfgKeyDesc text = {.name = "NTP_name_server", .at = IMG_AS(sys.ntpNameServer, VT_TEXT)};
    EXPECT_EQ(text.at.size, 257); // 256 characters and a terminator
    char* p = cfgText(&text, 0);
    ASSERT_EQ(p, getSystemImage()->sys.ntpNameServer);
    strcpy(p, "pool.ntp.example");
    EXPECT_STREQ(cfgText(&text, 0), "pool.ntp.example");
    EXPECT_EQ(cfgText(&text, 1), nullptr);
    EXPECT_STREQ(cfgElementName(&text, 0), "NTP_name_server");
    cfgSet(&text, 0, 0x41414141); // a word setter does not reach a text
    EXPECT_STREQ(p, "pool.ntp.example");
}

TEST_F(KeyEngineTest, SignedSixteenBitRangesTestTheLowHalfSignExtended)
{
    const CfgKeyDesc d = {.at = scratch(VT_S16, 2, 1), .valid = validS16(-80, -3)};
    struct Case {
        uint32_t v;
        int valid;
    };
    const Case cases[] = {
        {static_cast<uint32_t>(-3), 1},  {static_cast<uint32_t>(-2), 0},   {static_cast<uint32_t>(-80), 1},
        {static_cast<uint32_t>(-81), 0}, {0xfffd, 1},                      {0x1fffd, 1},
        {0xffb0, 1},                     {0xffaf, 0},                      {3, 0},
        {0x7ffd, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cfgIsValidRow(&d, c.v), c.valid) << std::hex << c.v;
    // The stored value reads back sign-extended.
    cfgSet(&d, 0, 0xffec);
    EXPECT_EQ(cfgGetElement(&d, 0), static_cast<uint32_t>(-20));
}

TEST_F(KeyEngineTest, ADefaultChosenByAnotherValueFollowsThatValue)
{
    // As the APC default follows the power-supply code: 1100 for code 1,
    // 1500 for 3, 700 for any other.
    static const CfgDefaultBy byCode = {KEY_PsuTypeCode, 2, {{1, 1100}, {3, 1500}}, 700};
    const CfgKeyDesc apc = {.at = scratch(VT_U32, 4, 1), .defBy = &byCode, .cells = {cell(13, 43)}};
    const std::pair<uint32_t, uint32_t> cases[] = {{1, 1100}, {3, 1500}, {0, 700}, {2, 700}};
    for (auto [code, want] : cases) {
        setPsuTypeCode(code);
        EXPECT_EQ(cfgDefaultValue(&apc), want) << code;
        cfgApplyDefault(&apc);
        EXPECT_EQ(cfgGetElement(&apc, 0), want) << code;
        EXPECT_EQ(readDbAreaCell(13, 43), want) << code;
    }
}

TEST_F(KeyEngineTest, RowsTakeTheirPlaceFromTheirMember)
{
    CfgAt a = IMG(alarm.input);
    EXPECT_EQ(a.offset, offsetof(SystemImage, alarm.input));
    EXPECT_EQ(a.count, ALARM_ID_COUNT);
    EXPECT_EQ(a.stride, 1);
    EXPECT_EQ(a.shape, VT_U8);
    a = IMG_EACH(alarm.flags, warning);
    EXPECT_EQ(a.offset, offsetof(SystemImage, alarm.flags[0].warning));
    EXPECT_EQ(a.count, ALARM_ID_COUNT);
    EXPECT_EQ(a.stride, sizeof(AlarmFlags));
    a = IMG_AS(net.rearIpGateway, VT_IPV4);
    EXPECT_EQ(a.size, 4);
    EXPECT_EQ(a.count, 1);
    a = UNITINFO(98, 6, VT_BYTES);
    EXPECT_EQ(a.base, BASE_UNIT_INFO);
    EXPECT_EQ(a.size, 6);
}

} // namespace
