// External amplifiers: registration, the request frames that reach the
// unit, replies through the DCM layer into the records and DbPool, the
// automatic and manual configuration, the writes with their ranges and the
// status edges and summaries.
#include "power/ampFm.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/dbPool.h"
#include "links/dcm.h"
#include "platform/clock.h"
#include "power/powerSettings.h"
#include "testing/dbPoolReader.h"
#include "testing/extAmpPeer.h"
#include "testing/sandboxTest.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kModelA = EXT_AMP_MODEL_FIRST + 100; // configuration variant 2
constexpr uint32_t kModelC = EXT_AMP_MODEL_FIRST + 200; // variant 1

class ExtAmp : public SandboxTest {
protected:
    ExtAmp() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        DCM_Init();
        // Before the settings: a change sends to the amplifiers still
        // registered by an earlier test of the program.
        AMP_FM_ResetAll();
        ASSERT_TRUE(peer.open());
        setAmplifierNumber(2);
        setOutputRFfrequency(100000000, 0);
        setExternalAmplifierVoltageSupply(480);
        LogicaTx_SetLockoutState(0);
        for (uint32_t slot = 1; slot <= 4; slot++) {
            // One good exchange connects the slot, three failed ones
            // disconnect it; every slot starts disconnected.
            UnitSlot_Configure(slot, 1, 3, nullptr);
            for (int i = 0; i < 3; i++)
                UnitSlot_SetDisconnected(slot);
        }
        for (uint32_t slot = 1; slot <= 2; slot++) {
            ASSERT_EQ(AMP_FM_Register(slot, nullptr, static_cast<uint32_t>(peer.channel)), 0);
            ASSERT_EQ(AMP_FM_SetAddress(slot, slot, static_cast<uint32_t>(peer.channel)), 0);
        }
    }
    void TearDown() override
    {
        peer.close();
        setAmplifierNumber(0);
        SandboxTest::TearDown();
    }
    // One poll after the request period.
    void poll()
    {
        clockAdvanceUs(810000);
        AMP_FM_Poll();
    }
    // Only amplifiers 1 to n registered.
    void only(uint32_t n)
    {
        setAmplifierNumber(static_cast<uint8_t>(n));
        AMP_FM_ResetAll();
        for (uint32_t slot = 1; slot <= n; slot++)
            ASSERT_EQ(AMP_FM_Register(slot, nullptr, static_cast<uint32_t>(peer.channel)), 0);
        for (uint32_t slot = 1; slot <= n; slot++)
            AMP_FM_SetAddress(slot, slot, static_cast<uint32_t>(peer.channel));
    }
    // Polls until `slot` asked for its identity, answers it, sends what the
    // configuration queued and acknowledges each of those writes. Returns
    // the frames of the configuration.
    std::vector<Bytes> identify(uint8_t slot, uint32_t model, uint32_t setPoint = 100)
    {
        // The first identity connects the unit; the configuration runs on
        // the identity that comes while it is connected.
        std::vector<Bytes> frames;
        for (int round = 0; round < 2 && !AMP_FM_GetRecord(slot)->configured; round++) {
            for (int i = 0; i < 4 && AMP_FM_GetRecord(slot)->unanswered == 0; i++)
                poll();
            peer.sendAll();
            EXPECT_EQ(peer.reply(extAmpBlockReply(slot, 8, DCM_SIZE_32, 14, extAmpIdentity(model, setPoint))), 0);
            frames = peer.sendAll();
        }
        for (size_t i = 0; i < frames.size(); i++)
            EXPECT_EQ(peer.reply(extAmpAckReply(slot)), 0);
        return frames;
    }
    static std::string edge(const char* kind, const char* text, bool in)
    {
        char line[96];
        snprintf(line, sizeof line, "EVENT: EXT_AMP: %s  %-26s %s\n", kind, text, in ? "<--- In" : "---> Out");
        return line;
    }
    static int32_t read(uint32_t slot, uint32_t table, uint32_t element, int* rc = nullptr)
    {
        int32_t v = 0;
        int r = AMP_FM_ReadElem(slot, table, element, &v);
        if (rc)
            *rc = r;
        return v;
    }
    ExtAmpPeer peer;
};

// A write frame of one 32-bit element of table 8 to the amplifier at
// address 1, as the unit receives it.
Bytes table8Write(uint8_t element, std::initializer_list<uint8_t> escapedValue, uint8_t checksum)
{
    Bytes b = {0xFE, 0x01, 0x05, 0x01, 0x08, static_cast<uint8_t>(element * 4 + 3)};
    b.insert(b.end(), escapedValue);
    b.insert(b.end(), {0xFC, checksum, 0xFD});
    return b;
}

TEST_F(ExtAmp, RegistrationTakesFourRecordsAndRefusesASlotTwice)
{
    EXPECT_EQ(AMP_FM_Register(1, nullptr, 0), 4);
    ExtAmpRecord* r = nullptr;
    EXPECT_EQ(AMP_FM_Register(3, &r, 7), 0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->number, 3);
    EXPECT_EQ(AMP_FM_Register(4, nullptr, 0), 0);
    EXPECT_EQ(AMP_FM_Register(0, nullptr, 0), -1) << "four records are taken";
    const ExtAmpLink* l = AMP_FM_GetLink(3);
    EXPECT_EQ(l->kind, EXT_AMP_UNIT_KIND);
    EXPECT_EQ(l->record, r);
    EXPECT_EQ(l->modes[0], 1u);
    EXPECT_EQ(l->modes[1], 3u);
    EXPECT_EQ(l->context, 7u);
    EXPECT_EQ(AMP_FM_GetAddress(2), 2u);
    EXPECT_EQ(AMP_FM_GetAddress(3), 0xFFu);
    EXPECT_EQ(getEventBit(68), 1);
    EXPECT_EQ(getEventBit(69), 0);
}

TEST_F(ExtAmp, IdentityReadThenAutomaticConfigurationFrames)
{
    poll();
    ASSERT_EQ(DCM_PendingCount(), 1);
    EXPECT_EQ(peer.sendNext(), (Bytes{0xFE, 0x01, 0x04, 0x0E, 0x08, 0x07, 0xFC, 0x1C, 0xFD}));
    EXPECT_EQ(AMP_FM_GetRecord(1)->unanswered, 1);

    // The identity of an accepted model with a set-point of 98 MHz: known,
    // and the unit is connected by the reply; the next identity, while it
    // is connected, configures it: the output frequency (100 MHz) is sent,
    // its byte escaped, then the control mode and the RF enable.
    ASSERT_EQ(peer.reply(extAmpBlockReply(1, 8, DCM_SIZE_32, 14, extAmpIdentity(kModelA, 98))), 0);
    EXPECT_EQ(AMP_FM_GetRecord(1)->unanswered, 0);
    EXPECT_EQ(AMP_FM_GetRecord(1)->known, 1);
    EXPECT_EQ(AMP_FM_GetRecord(1)->configured, 0);
    EXPECT_EQ(UnitSlot_IsConnected(1), 1u);
    poll(); // amplifier 2
    poll();
    peer.sendAll();
    ASSERT_EQ(peer.reply(extAmpBlockReply(1, 8, DCM_SIZE_32, 14, extAmpIdentity(kModelA, 98))), 0);
    const ExtAmpRecord* r = AMP_FM_GetRecord(1);
    EXPECT_EQ(r->known, 1);
    EXPECT_EQ(r->configured, 1);
    EXPECT_EQ(AMP_FM_GetConfigVariant(), 2u);
    EXPECT_EQ(getEventBit(68), 1);
    EXPECT_EQ(getExternalAmplifierReferencePower(), 1000u);
    std::string log = book();
    EXPECT_NE(log.find("INFO: EXT_AMP: Found new amp 21100\n"), std::string::npos) << log;
    EXPECT_NE(log.find("INFO: EXT_AMP: Connected...try to configure\n"), std::string::npos);
    EXPECT_NE(log.find("INFO: EXT_AMP: Auto Configuration"), std::string::npos);

    std::vector<Bytes> frames = peer.sendAll();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], table8Write(9, {0x00, 0x00, 0x00, 0xFC, 0x64}, 0x90));
    uint8_t modeElement = LogicaTx_GetControlMode() == 0 ? 5 : 4;
    uint8_t sum5 = static_cast<uint8_t>(0xFE + 0x01 + 0x05 + 0x01 + 0x05 + modeElement * 4 + 1 + 0x01 + 0xFC);
    EXPECT_EQ(frames[1], (Bytes{0xFE, 0x01, 0x05, 0x01, 0x05, static_cast<uint8_t>(modeElement * 4 + 1), 0x01, 0xFC,
                                sum5, 0xFD}));
    EXPECT_EQ(frames[2], (Bytes{0xFE, 0x01, 0x05, 0x01, 0x04, 0x09, 0x01, 0xFC, 0x0F, 0xFD}));

    // Published in the record's section and read by another process.
    std::vector<uint32_t> cells;
    ASSERT_EQ(readDbPoolCellsInChild({{62, 31}, {62, 32}, {62, 33}, {62, 39}, {62, 57}, {63, 33}}, &cells), 0);
    EXPECT_EQ(cells, (std::vector<uint32_t>{12, 34567, kModelA, 100, 1, 0xFFFFFFFFu}));
}

TEST_F(ExtAmp, WritesCheckTheirRangesAndSendTheSupplyInTenthsOfAVolt)
{
    EXPECT_EQ(AMP_FM_Write(1, 8, 9, 98, 0), 13) << "not connected yet";
    EXPECT_NE(book().find("ERR: Slot: 1: Write failed -- unit DISCONNECTED\n"), std::string::npos);
    poll();
    peer.sendAll();
    ASSERT_EQ(peer.reply(extAmpErrorReply(1)), 0); // connects, tells nothing
    EXPECT_EQ(AMP_FM_Write(1, 8, 9, 98, 1), 9) << "not known yet";
    EXPECT_EQ(AMP_FM_Write(1, 9, 1, 1, 1), 9);
    identify(1, kModelA);

    struct Case {
        uint32_t table, element;
        int32_t value;
        int result;
    } cases[] = {
        {8, 9, 87, 0},    {8, 9, 108, 0},   {8, 9, 86, 11},   {8, 9, 109, 11},  {8, 8, 200, 0},   {8, 8, 199, 11},
        {8, 8, 511, 11},  {8, 13, 1, 0},    {8, 13, 10000, 0}, {8, 13, 0, 11},  {8, 1, 5, 15},    {9, 1, 255, 0},
        {9, 1, 256, 11},  {9, 2, 5, 0},     {9, 5, 91, 11},   {9, 3, -30, 0},   {9, 6, -31, 11},  {9, 4, -100, 0},
        {9, 7, 101, 11},  {9, 8, 2, 0},     {9, 8, 3, 11},    {9, 9, 0, 0},     {9, 10, 0, 11},   {9, 10, 254, 0},
        {9, 11, 2, 11},   {9, 12, 0, 15},   {4, 1, 8, 0},     {4, 1, 12, 11},   {4, 2, 1, 0},     {4, 2, 2, 11},
        {4, 3, 0, -1},    {5, 7, 1, 0},     {5, 1, 2, 11},    {5, 8, 0, -1},    {7, 1, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AMP_FM_Write(1, c.table, c.element, c.value, 1), c.result)
            << c.table << "/" << c.element << " = " << c.value;
    EXPECT_EQ(DCM_PendingCount(), 0) << "a check sends nothing";
    EXPECT_NE(book().find("ERR: AMP_FM_Write failed -- Table 7 not found\n"), std::string::npos);
    EXPECT_NE(book().find("ERR: AMP_FM_Write [Tab 8, Elem 9, Value 86] failed -- Error [11]\n"), std::string::npos);

    ASSERT_EQ(AMP_FM_Write(1, 8, 8, 510, 0), 0);
    EXPECT_EQ(peer.sendNext(), table8Write(8, {0x00, 0x00, 0x13, 0xEC}, 0x2B));
    EXPECT_EQ(read(1, 8, 8), 510);
    EXPECT_EQ(readDbAreaCell(62, 38), 510u);
    ASSERT_EQ(AMP_FM_Write(1, 9, 3, -30, 0), 0);
    EXPECT_EQ(readDbAreaCell(62, 48), static_cast<uint32_t>(-30));
}

TEST_F(ExtAmp, CommandStateOfTheResetElementReadsTwoOnceAfterASuccessfulSend)
{
    identify(1, kModelA);
    int rc = 0;
    EXPECT_EQ(read(1, 255, 255, &rc), 0);
    EXPECT_EQ(rc, 0);
    ASSERT_EQ(AMP_FM_Write(1, 5, 3, 1, 0), 0);
    EXPECT_EQ(read(1, 255, 255), 2);
    EXPECT_EQ(read(1, 255, 255), 0);
    // A check only leaves the state alone.
    ASSERT_EQ(AMP_FM_Write(1, 5, 3, 1, 1), 0);
    EXPECT_EQ(read(1, 255, 255), 0);
}

TEST_F(ExtAmp, ReadElemBeforeAndAfterTheTables)
{
    int rc = 0;
    EXPECT_EQ(read(3, 1, 1, &rc), -1);
    EXPECT_EQ(rc, -1) << "no record, table 1";
    read(3, 2, 1, &rc);
    EXPECT_EQ(rc, 9);
    read(1, 3, 1, &rc);
    EXPECT_EQ(rc, 9) << "table 3 not received";
    read(1, 6, 1, &rc);
    EXPECT_EQ(rc, 1);

    identify(1, kModelA);
    // Table 3: big-endian 16-bit values; element 6 is kept in tenths.
    Bytes t3(52, 0);
    auto put = [&](int e, int16_t v) {
        t3[2 * (e - 1)] = static_cast<uint8_t>(v >> 8);
        t3[2 * (e - 1) + 1] = static_cast<uint8_t>(v);
    };
    put(1, 1234);
    put(2, -5);
    put(6, 4567);
    put(24, 300);
    ASSERT_EQ(peer.reply(extAmpBlockReply(1, 3, DCM_SIZE_16, 26, t3)), 0);
    struct Case {
        uint32_t table, element;
        int32_t value;
        int rc;
        uint32_t item;
    } cases[] = {{3, 1, 1234, 0, 7}, {3, 2, -5, 0, 8}, {3, 6, 456, 0, 12}, {3, 24, 300, 0, 30},
                 {3, 44, -5, 0, 44}, {3, 3, -1, 1, 0},   {8, 3, static_cast<int32_t>(kModelA), 0, 33},
                 {8, 15, -1, 1, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(read(1, c.table, c.element, &rc), c.value) << c.table << "/" << c.element;
        EXPECT_EQ(rc, c.rc);
        if (c.item) {
            EXPECT_EQ(readDbAreaCell(62, c.item), static_cast<uint32_t>(c.value)) << c.item;
        }
    }
    // A block that is not the table's shape is left alone.
    ASSERT_EQ(peer.reply(extAmpBlockReply(1, 3, DCM_SIZE_16, 2, Bytes(4, 0x11))), 0);
    EXPECT_EQ(read(1, 3, 1), 1234);

    // Table 2 bits, S0 S1 S2 in item 6.
    ASSERT_EQ(peer.reply(extAmpStatusReply(1, 0x01, 0x12, 0x45)), 0);
    EXPECT_EQ(readDbAreaCell(62, 6), 0x451201u);
    struct Bit {
        uint32_t element;
        int32_t value;
    } bits[] = {{1, 1}, {2, 0}, {10, 1}, {13, 0}, {12, 0}, {17, 1}, {19, 1}, {18, 0}, {21, 0}, {23, 1}, {8, -1}};
    for (const Bit& b : bits)
        EXPECT_EQ(read(1, 2, b.element), b.value) << b.element;
}

TEST_F(ExtAmp, StatusSummaryAndEachAmplifierLogsItsOwnEdges)
{
    identify(1, kModelA);
    identify(2, kModelA);
    // S1 bit 0x10 clear is an alarm of the summary without an ALM line.
    ASSERT_EQ(peer.reply(extAmpStatusReply(1, 0x00, 0x00, 0x00)), 0);
    EXPECT_EQ(AMP_FM_GetRecord(1)->alarmSummary, 1);
    EXPECT_EQ(getEventBit(87), 1);
    EXPECT_EQ(getEventBit(88), 0);
    EXPECT_EQ(count(eventLog(), "EXT_AMP:"), 0u);

    ASSERT_EQ(peer.reply(extAmpStatusReply(1, 0x00, 0x18, 0x00)), 0);
    EXPECT_EQ(getEventBit(87), 0);
    EXPECT_EQ(getEventBit(88), 1);
    ASSERT_EQ(peer.reply(extAmpStatusReply(2, 0x04, 0x10, 0x00)), 0);
    ASSERT_EQ(peer.reply(extAmpStatusReply(1, 0x00, 0x10, 0x00)), 0);
    ASSERT_EQ(peer.reply(extAmpStatusReply(2, 0x04, 0x10, 0x00)), 0);
    std::string ev = eventLog();
    EXPECT_EQ(count(ev, edge("WRN", "Temperature", true)), 1u) << ev;
    EXPECT_EQ(count(ev, edge("WRN", "Temperature", false)), 1u);
    EXPECT_EQ(count(ev, edge("ALM", "Low Volt", true)), 1u);
    EXPECT_EQ(count(ev, "---> Out"), 1u) << "the other amplifier's bits are not taken for edges";
    EXPECT_EQ(count(book(), "EXT_AMP: ALM  Low Volt"), 1u);

    setAmplifierNumber(0);
    ASSERT_EQ(peer.reply(extAmpStatusReply(2, 0x04, 0x10, 0x00)), 0);
    EXPECT_EQ(getEventBit(87), 0);
}

TEST_F(ExtAmp, TwoConnectedAmplifiersOfDifferentModelsLockOut)
{
    identify(1, kModelA);
    EXPECT_EQ(LogicaTx_GetLockoutState(), 0);
    identify(2, kModelC);
    EXPECT_EQ(AMP_FM_GetRecord(2)->configured, 0);
    EXPECT_EQ(LogicaTx_GetLockoutState(), 1);
    EXPECT_EQ(getEventBit(69), 1);
}

TEST_F(ExtAmp, ThreeIdentityReadsWithoutAnIdentityGiveTheManualConfiguration)
{
    setAmplifierType(kModelC);
    only(1);
    for (int i = 0; i < 4; i++) {
        poll();
        peer.sendAll();
        ASSERT_EQ(peer.reply(extAmpErrorReply(1)), 0);
    }
    EXPECT_EQ(count(book(), "INFO: EXT_AMP: Manual Configuration\n"), 0u);
    poll();
    std::string log = book();
    EXPECT_EQ(count(log, "INFO: EXT_AMP: Manual Configuration\n"), 1u) << log;
    const ExtAmpRecord* r = AMP_FM_GetRecord(1);
    EXPECT_EQ(r->configured, 1);
    EXPECT_EQ(r->table8[2], kModelC);
    EXPECT_EQ(r->table8[3], 88u);
    EXPECT_EQ(r->table8[4], 108u);
    EXPECT_EQ(getExternalAmplifierReferencePower(), 3000u);
    EXPECT_EQ(getEnableCustomExtAmpRefPower(), 1u);
    EXPECT_EQ(AMP_FM_GetConfigVariant(), 1u);
}

TEST_F(ExtAmp, UnansweredRequestsDisconnectAndRestartWithTheIdentity)
{
    only(1);
    identify(1, kModelA);
    ASSERT_EQ(UnitSlot_IsConnected(1), 1u);
    // Configured: the read sequence, one request a poll, none answered.
    std::vector<uint8_t> tables;
    for (int i = 0; i < 3; i++) {
        poll();
        Bytes f = peer.sendNext();
        tables.push_back(f.size() > 4 ? f[4] : 0);
    }
    EXPECT_EQ(tables, (std::vector<uint8_t>{3, 8, 3}));
    EXPECT_EQ(UnitSlot_IsConnected(1), 1u) << "two unanswered so far";
    poll();
    EXPECT_EQ(UnitSlot_IsConnected(1), 0u);
    const ExtAmpRecord* r = AMP_FM_GetRecord(1);
    EXPECT_EQ(r->known, 0);
    EXPECT_EQ(r->configured, 0);
    EXPECT_EQ(r->retries, 3);
    EXPECT_EQ(readDbAreaCell(62, 33), 0xFFFFFFFFu);
    EXPECT_EQ(peer.sendNext(), (Bytes{0xFE, 0x01, 0x04, 0x0E, 0x08, 0x07, 0xFC, 0x1C, 0xFD}));
}

TEST_F(ExtAmp, TheFrequencyAlarmAndTheConfigurationRoundTheSameWay)
{
    setOutputRFfrequency(107900000, 0);
    only(1);
    std::vector<Bytes> frames = identify(1, kModelA, 107);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0], table8Write(9, {0x00, 0x00, 0x00, 0x6C}, 0x9C)) << "108 MHz";
    ASSERT_EQ(peer.reply(extAmpBlockStatusReply(1, 8, DCM_SIZE_32, 14, extAmpIdentity(kModelA, 108), 0, 0x10, 0x04)),
              0);
    EXPECT_EQ(read(1, 2, 19), 1);
    poll();
    frames = peer.sendAll();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1], table8Write(9, {0x00, 0x00, 0x00, 0x6C}, 0x9C));
}

TEST_F(ExtAmp, TheFourthRecordPublishesNothingAndStaysReadable)
{
    for (uint32_t slot = 3; slot <= 4; slot++)
        UnitSlot_Configure(slot, 1, 3, nullptr);
    only(4);
    size_t errs = count(book(), "ERR:");
    for (int i = 0; i < 4; i++)
        poll();
    peer.sendAll();
    ASSERT_EQ(peer.reply(extAmpBlockReply(4, 8, DCM_SIZE_32, 14, extAmpIdentity(kModelA))), 0);
    EXPECT_EQ(read(4, 8, 3), static_cast<int32_t>(kModelA));
    EXPECT_EQ(count(book(), "ERR:"), errs) << book();
}

} // namespace
