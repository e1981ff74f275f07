// The key table: every row's accessors against its descriptor, the element
// name rules, and the rows whose setters have behaviour of their own.
#include "Config/keyTable.h"

#include "Config/alarmTables.h"
#include "Config/configCycle.h"
#include "Config/eventBitmaps.h"
#include "Config/netKeys.h"
#include "comtab/dbPool.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

class KeyTableTest : public SandboxTest {
protected:
    KeyTableTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
    static void clearChangeWords()
    {
        clearConfigChanged();
        clearConfigLocked();
    }
};

// A value the row accepts that differs from zero and from the row's default.
uint32_t probeValue(const CfgKeyDesc& d)
{
    if (d.valid.kind != VALID_ANY)
        return static_cast<uint32_t>(d.valid.hi);
    switch (d.type) {
    case VT_U8: return 0xa5;
    case VT_U16: return 0xbeef;
    case VT_S16: return static_cast<uint32_t>(-3);
    case VT_U8_IN_U32: return 0x5a;
    case VT_IPV4: return htonl(0xc0a80102);
    default: return 0x12345678;
    }
}

// What the getter gives back for a value written to the row.
uint32_t readBack(const CfgKeyDesc& d, uint32_t v)
{
    switch (d.type) {
    case VT_U8:
    case VT_U8_IN_U32: return v & 0xff;
    case VT_U16: return v & 0xffff;
    case VT_S16: return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v)));
    default: return v;
    }
}

uint32_t cellValue(const CfgCell& c, uint32_t v)
{
    switch (c.conv) {
    case CONV_HOST_ORDER: return ntohl(v);
    case CONV_NEGATED: return v == 0 ? 1 : 0;
    default: return v;
    }
}

// The elements of a row that the table test writes: the first and the last.
std::vector<uint32_t> probeElements(const CfgKeyDesc& d)
{
    if (d.count == 1)
        return {0};
    return {0, static_cast<uint32_t>(d.count - 1)};
}

TEST_F(KeyTableTest, EveryRowStoresPublishesAndMarksOnceAndNotAgainForTheSameValue)
{
    using Cell = std::pair<uint32_t, uint32_t>;
    std::map<Cell, uint32_t> expectedCells;
    std::vector<uint8_t> before(sizeof(SystemImage)), after(sizeof(SystemImage));

    for (int k = 0; k < KEY_COUNT; k++) {
        const CfgKeyDesc& d = cfgKeyTable[k];
        SCOPED_TRACE(d.id);
        for (uint32_t i : probeElements(d)) {
            SCOPED_TRACE(i);
            uint32_t v = probeValue(d);
            uint32_t want = readBack(d, v);
            clearChangeWords();
            cfgSetElement(&d, i, v);
            EXPECT_EQ(cfgGetElement(&d, i), want);

            uint32_t groups = 0;
            for (uint32_t g : d.groups)
                groups |= g;
            EXPECT_EQ(getConfigChanged(), groups);
            EXPECT_EQ(getConfigLocked(), groups ? 2 : 0);
            for (const CfgCell& c : d.cells) {
                if (c.section == 0)
                    continue;
                Cell at{c.section + i * c.sectionStep, c.item + i * c.itemStep};
                EXPECT_EQ(readDbAreaCell(at.first, at.second), cellValue(c, want));
                expectedCells[at] = cellValue(c, want);
            }
            if (d.compare == CMP_ALWAYS)
                continue;

            // The same value again: nothing published, marked or run.
            for (const CfgCell& c : d.cells) {
                if (c.section)
                    setDbAreaCell(c.section + i * c.sectionStep, c.item + i * c.itemStep, 0xdeadbeef);
            }
            clearChangeWords();
            memcpy(before.data(), getSystemImage(), before.size());
            cfgSetElement(&d, i, v);
            memcpy(after.data(), getSystemImage(), after.size());
            EXPECT_EQ(before, after) << "a hook or a store ran for an unchanged value";
            EXPECT_EQ(getConfigChanged(), 0u);
            EXPECT_EQ(getConfigLocked(), 0);
            for (const CfgCell& c : d.cells) {
                if (c.section) {
                    EXPECT_EQ(readDbAreaCell(c.section + i * c.sectionStep, c.item + i * c.itemStep), 0xdeadbeef);
                    setDbAreaCell(c.section + i * c.sectionStep, c.item + i * c.itemStep, cellValue(c, want));
                }
            }
        }
    }

    // What every row published, as another process reads it.
    std::vector<Cell> cells;
    for (const auto& e : expectedCells)
        cells.push_back(e.first);
    std::vector<uint32_t> seen;
    ASSERT_EQ(readDbPoolCellsInChild(cells, &seen), 0);
    for (size_t n = 0; n < cells.size(); n++)
        EXPECT_EQ(seen[n], expectedCells[cells[n]]) << "cell (" << cells[n].first << ", " << cells[n].second << ")";
}

TEST_F(KeyTableTest, ValidatorsAcceptTheirRangeEdgesAndNothingBeyond)
{
    for (int k = 0; k < KEY_COUNT; k++) {
        const CfgKeyDesc& d = cfgKeyTable[k];
        SCOPED_TRACE(d.id);
        const CfgValidator& r = d.valid;
        if (r.kind == VALID_ANY) {
            for (uint32_t v : {0u, 1u, 0x7fffffffu, 0xffffffffu})
                EXPECT_EQ(cfgIsValidRow(&d, v), 1);
            continue;
        }
        EXPECT_EQ(cfgIsValidRow(&d, static_cast<uint32_t>(r.lo)), 1);
        EXPECT_EQ(cfgIsValidRow(&d, static_cast<uint32_t>(r.hi)), 1);
        if (r.lo > 0 || r.kind == VALID_RANGE_S) {
            EXPECT_EQ(cfgIsValidRow(&d, static_cast<uint32_t>(r.lo - 1)), 0);
        }
        if (static_cast<uint64_t>(r.hi) < r.mask) {
            EXPECT_EQ(cfgIsValidRow(&d, static_cast<uint32_t>(r.hi + 1)), 0);
        }
        // Only the bits of the row's width are tested.
        if (r.mask != 0xffffffffu) {
            EXPECT_EQ(cfgIsValidRow(&d, static_cast<uint32_t>(r.hi) + r.mask + 1), 1);
        }
    }
    // The named validators are the rows'.
    EXPECT_EQ(isValidFrequencyDeviation(366), 1); // low byte 110
    EXPECT_EQ(isValidFrequencyDeviation(111), 0);
    EXPECT_EQ(isValidRelativeFreqDev(147), 1);
    EXPECT_EQ(isValidRelativeDevLimit(148), 0);
    EXPECT_EQ(isValidDacLevelMode(0x101), 1);
    EXPECT_EQ(isValidDacLevelMode(2), 0);
    EXPECT_EQ(isValidClipperDeviationLimiter(111), 0);
}

TEST_F(KeyTableTest, ElementNamesFollowTheirRowsRule)
{
    for (int k = 0; k < KEY_COUNT; k++) {
        const CfgKeyDesc& d = cfgKeyTable[k];
        SCOPED_TRACE(d.id);
        const char* name = cfgElementName(&d, 0);
        if (d.nameRule == NAME_NONE) {
            EXPECT_EQ(name, nullptr);
        } else if (d.nameRule == NAME_LITERAL) {
            EXPECT_STREQ(name, d.name);
            EXPECT_EQ(cfgElementName(&d, 300), d.name);
        }
    }
    EXPECT_STREQ(getFrontEthernetIPGatewayKey(), "front_Ethernet_IP_gateway");
    EXPECT_STREQ(getRearEthernetAutonegKey(), "rear_Ethernet_Autoneg");
    EXPECT_STREQ(getNClockKey(), "n_clock");
    EXPECT_STREQ(getForceDacLevelKey(), "force_dac_level");
    EXPECT_STREQ(getVrlDataFormatKey(), "VrlDataFormat");
    EXPECT_STREQ(getStandardTypeKey(), "standard_type");

    // The numbered and formatted rules, as the families of later sections use them.
    struct Case {
        CfgKeyDesc d;
        uint32_t index;
        const char* name;
    };
    const Case cases[] = {
        {{.nameRule = NAME_NUMBERED, .name = "ap_cmp_log_th", .lastCase = 5}, 0, "ap_cmp_log_th_0"},
        {{.nameRule = NAME_NUMBERED, .name = "ap_cmp_log_th", .lastCase = 5}, 5, "ap_cmp_log_th_5"},
        {{.nameRule = NAME_NUMBERED, .name = "ap_cmp_log_th", .lastCase = 5}, 6, "ap_cmp_log_th_n"},
        {{.nameRule = NAME_NUMBERED, .name = "ap_cmp_log_th", .lastCase = 5}, 9, "ap_cmp_log_th_n"},
        {{.nameRule = NAME_NUMBERED, .name = "ap_cmp_log_th", .lastCase = 5}, 256 + 3, "ap_cmp_log_th_3"},
        // Counted from 1 over a 0-based index.
        {{.nameRule = NAME_NUMBERED, .name = "GSM_TxLabel", .lastCase = 4, .nameBase = 1}, 0, "GSM_TxLabel_1"},
        {{.nameRule = NAME_NUMBERED, .name = "GSM_TxLabel", .lastCase = 4, .nameBase = 1}, 4, "GSM_TxLabel_5"},
        {{.nameRule = NAME_NUMBERED, .name = "GSM_TxLabel", .lastCase = 4, .nameBase = 1}, 5, "GSM_TxLabel_n"},
        // Indexed by a number that starts at 1: index 0 has no numbered case.
        {{.nameRule = NAME_NUMBERED, .name = "UECP_Site", .firstCase = 1, .lastCase = 10}, 0, "UECP_Site_n"},
        {{.nameRule = NAME_NUMBERED, .name = "UECP_Site", .firstCase = 1, .lastCase = 10}, 10, "UECP_Site_10"},
        {{.nameRule = NAME_FORMAT, .name = "DSn%u_PI", .nameBase = 1}, 6, "DSn7_PI"},
        {{.nameRule = NAME_FORMAT, .name = "DSn%u_RDS_Sequence_P%u", .nameBase = 1, .innerCount = 16, .innerBase = 1},
         2 * 16 + 3, "DSn3_RDS_Sequence_P4"},
        {{.nameRule = NAME_FORMAT, .name = "DSn%u_RDS_LabellingCode_Var%u", .nameBase = 1, .innerCount = 4}, 5,
         "DSn2_RDS_LabellingCode_Var1"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(cfgElementName(&c.d, c.index), c.name) << c.d.name << " " << c.index;

    // Names built into buffers stay valid for a few more names.
    const char* a = cfgElementName(&cases[0].d, 1);
    const char* b = cfgElementName(&cases[5].d, 2);
    EXPECT_STREQ(a, "ap_cmp_log_th_1");
    EXPECT_STREQ(b, "GSM_TxLabel_3");
}

TEST_F(KeyTableTest, IndexedFamiliesUseTheLowByteAndRefuseIndexesBeyondTheirCount)
{
    setAlarmInput(256 + 7, 1); // addresses id 7
    EXPECT_EQ(getAlarmInput(7), 1);
    EXPECT_EQ(getAlarmInput(256 + 7), 1);

    std::vector<uint8_t> before(sizeof(SystemImage)), after(sizeof(SystemImage));
    memcpy(before.data(), getSystemImage(), before.size());
    setAlarmInput(169, 1);
    setAlarmState(200, 1);
    setAlarmField0(255, 1);
    setAlarmField7(169, 1);
    memcpy(after.data(), getSystemImage(), after.size());
    EXPECT_EQ(before, after) << "a refused index wrote into the image";
    EXPECT_EQ(getAlarmInput(169), 0);
    EXPECT_EQ(getAlarmField0(255), 0);

    // The last id is a real element, and the flag bytes land in their record.
    setAlarmField5(168, 1);
    setAlarmField0(34, 1);
    EXPECT_EQ(getSystemImage()->alarm.flags[168].warning, 1);
    EXPECT_EQ(getSystemImage()->alarm.flags[34].mute, 1);
    EXPECT_EQ(getAlarmField3(34), 0);
}

TEST_F(KeyTableTest, NamedPublishersCopyTheStoredValueIntoTheirCells)
{
    setFrontEthernetIPAddress(htonl(0xc0a80102));
    setUpgradeRequest(2);
    setForceDacLevel(0x8001, 0);
    for (auto [s, i] : {std::pair{18, 3}, {49, 1}, {50, 2}, {14, 19}})
        setDbAreaCell(s, i, 0xdeadbeef);
    dbUpdateFrontEthernetIPAddress();
    dbUpdateCommandRequest(); // the upgrade request under its command-plane name
    dbUpdateForceDacLevel();
    EXPECT_EQ(readDbAreaCell(18, 3), 0xc0a80102u);
    EXPECT_EQ(readDbAreaCell(49, 1), 2u);
    EXPECT_EQ(readDbAreaCell(50, 2), 2u);
    EXPECT_EQ(readDbAreaCell(14, 19), 0x8001u);
    EXPECT_EQ(getConfigChanged(), 0x2000u | 0x10u); // publishing marks nothing

    // Rows without a cell have an empty publisher.
    setStandardType(7);
    dbUpdateStandardType();
    dbUpdateAlarmInput(3);
    int published = 0;
    for (uint32_t s = 1; s <= 64; s++) {
        for (uint32_t i = 1; i <= 64; i++)
            published += readDbAreaCell(s, i) != 0;
    }
    EXPECT_EQ(published, 4);
}

TEST_F(KeyTableTest, GatewaysKeepThePreviousGatewayOnlyOnAChange)
{
    setFrontEthernetIPGateway(htonl(0x0a000001));
    setFrontEthernetIPGateway(htonl(0x0a0000fe));
    EXPECT_EQ(getFrontEthernetIPOldGateway(), htonl(0x0a000001));
    setFrontEthernetIPGateway(htonl(0x0a0000fe));
    EXPECT_EQ(getFrontEthernetIPOldGateway(), htonl(0x0a000001));
    EXPECT_EQ(readDbAreaCell(18, 5), 0x0a0000feu);

    setRearEthernetIPGateway(htonl(0xc0a80001));
    setRearEthernetIPGateway(htonl(0xc0a800fe));
    EXPECT_EQ(getRearEthernetIPOldGateway(), htonl(0xc0a80001));
    EXPECT_EQ(getFrontEthernetIPOldGateway(), htonl(0x0a000001));
}

TEST_F(KeyTableTest, FrequencyDeviationMarksItsTwoGroupsAndDefaultsComeFromTheRows)
{
    setFrequencyDeviation(366); // only the low byte is kept
    EXPECT_EQ(getFrequencyDeviation(), 110);
    EXPECT_EQ(getConfigChanged(), 0x10u | 0x100000u);

    for (int k = 0; k < KEY_COUNT; k++)
        cfgApplyDefault(static_cast<CfgKeyId>(k));
    EXPECT_EQ(getNClock(), 10);
    EXPECT_EQ(getNBit(), 5);
    EXPECT_EQ(getKi(), 1);
    EXPECT_EQ(getKp(), 2);
    EXPECT_EQ(getKpH(), 0);
    EXPECT_EQ(getFrequencyDeviation(), 75);
    EXPECT_EQ(getRelativeFreqDev(), 100);
    EXPECT_EQ(getClipperDeviationLimiter(), 75);
    EXPECT_EQ(getForceDacLevel(), 32768);
    EXPECT_EQ(getClockingByteA(), 10);
    EXPECT_EQ(getClockingByteB(), 3);
    EXPECT_EQ(readDbAreaCell(14, 6), 10u);
    EXPECT_EQ(readDbAreaCell(14, 19), 32768u);
}

TEST_F(KeyTableTest, ClipperLimiterRefusesAbove110AndDerivesItsSettings)
{
    EXPECT_EQ(setClipperDeviationLimiter(111), 0); // also from an XML file
    cfgSetElement(cfgKeyDesc(KEY_ClipperDeviationLimiter), 0, 111);
    EXPECT_EQ(getClipperDeviationLimiter(), 0);
    EXPECT_EQ(getConfigChanged(), 0u);

    EXPECT_EQ(setClipperDeviationLimiter(110), 1);
    EXPECT_EQ(getClipperDeviationLimiter(), 110);
    EXPECT_EQ(getClipperEffectiveLimiter(), 110);
    EXPECT_EQ(readDbAreaCell(9, 14), 110u);
    EXPECT_EQ(getConfigChanged(), 0x20000u);
    EXPECT_EQ(setClipperDeviationLimiter(110), 1);

    // scale(x) = trunc(min(x, 8) * 2047 / 8 + 0.5) over the low 16 bits.
    const uint32_t in[] = {0, 1, 2, 4, 7, 8, 9, 0x10000 + 1};
    const uint16_t out[] = {0, 256, 512, 1024, 1791, 2047, 2047, 256};
    for (size_t n = 0; n < sizeof in / sizeof in[0]; n++)
        EXPECT_EQ(clipperScale(in[n]), out[n]) << in[n];
}

TEST_F(KeyTableTest, LockStatesAndStatusFieldsRaiseTheirAlarmInputsAndEvents)
{
    struct Case {
        void (*set)(uint32_t);
        uint8_t alarm;
    };
    const Case locks[] = {{setPllRfLocked, 41},   {setPllAudioLocked, 40}, {setAudioVcxoValidSt, 42},
                          {setFreqRefLocked, 43}, {setTimeRefLocked, 61},  {setFmRecvPllLock, 51},
                          {setBoardInputA, 105}};
    for (const Case& c : locks) {
        SCOPED_TRACE(static_cast<int>(c.alarm));
        c.set(2); // bit 0 clear: not locked
        EXPECT_EQ(getAlarmInput(c.alarm), 1);
        c.set(3);
        EXPECT_EQ(getAlarmInput(c.alarm), 0);
    }
    // Two lock states share alarm 51: the last store decides.
    setFmRecvPllLock(0);
    EXPECT_EQ(getAlarmInput(51), 1);
    setAuxPllLocked(1);
    EXPECT_EQ(getAlarmInput(51), 0);

    setNoExt10MHz(1);
    setNoExt19kHzSinus(1);
    setNoExt19kHzSqWave(1);
    EXPECT_EQ(getAlarmInput(95) + getAlarmInput(96) + getAlarmInput(97), 3);
    setNoExtPps(1);
    setFpgaStatusFlag(1);
    EXPECT_EQ(getAlarmInput(94), 1);
    EXPECT_EQ(getAlarmInput(93), 1);
    EXPECT_EQ(getRefValid(), 0u); // mask and state words are 0

    setRefEventWord(0x101); // low byte 1
    setLinkEventWord(1);
    setUsbKeyMounted(1);
    EXPECT_EQ(getEventBit(59) + getEventBit(25) + getEventBit(63), 3);
    setUsbKeyMounted(0);
    EXPECT_EQ(getEventBit(63), 0);

    // The other names of these setters reach the same items.
    setExtRefPresent(0);
    EXPECT_EQ(getEventBit(59), 0);
    AlarmInputTable(7, 1);
    EXPECT_EQ(getAlarmInput(7), 1);
    setUpgradeState(4);
    EXPECT_EQ(getUpgradeStep(), 4u);
    EXPECT_EQ(readDbAreaCell(49, 11), 4u);
    EXPECT_EQ(readDbAreaCell(50, 10), 4u);
}

TEST_F(KeyTableTest, AlarmStateRangesWorkStrictlyBetweenTheirBounds)
{
    for (uint32_t id = 0; id < ALARM_ID_COUNT; id++)
        setAlarmInput(id, 1);
    copyAlarmInputsToStates(10, 14);
    EXPECT_EQ(getAlarmState(10), 0);
    EXPECT_EQ(getAlarmState(11) + getAlarmState(12) + getAlarmState(13), 3);
    EXPECT_EQ(getAlarmState(14), 0);
    copyAlarmInputsToStates(160, 500); // stops at the last id
    EXPECT_EQ(getAlarmState(168), 1);
    clearAlarmStates(11, 13);
    EXPECT_EQ(getAlarmState(11), 1);
    EXPECT_EQ(getAlarmState(12), 0);
    EXPECT_EQ(getAlarmState(13), 1);
}

} // namespace
