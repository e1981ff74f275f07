// The slave responder with an external transmitter logic on the
// pseudo-terminal of /dev/ttyS0 (one-byte addresses), and the TA step, on the
// virtual clock.
#include "links/comChannels.h"
#include "links/dcm.h"
#include "links/slaveLink.h"
#include "links/tableResponder.h"
#include "links/tests/linkPortFixture.h"

#include "Config/StrutturaDati.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/audioKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/commandManager.h"

#include <gtest/gtest.h>

#include <string>


namespace {

constexpr uint8_t kOwn = 7;

class SlaveLink : public LinkPortFixture {
protected:
    SlaveLink() : LinkPortFixture("/dev/ttyS0", COM_OpenSerialChannel1, 2) {}
    void configure() override
    {
        setExciterMode(1);
        setControlSerialAddress(kOwn);
    }
    void TearDown() override
    {
        setExciterMode(0);
        LinkPortFixture::TearDown();
    }

    DcmMsg ask(uint8_t command, const Bytes& body, uint8_t address = kOwn)
    {
        peerWrite(linkFrame(address, false, command, body));
        vrlSlaveTick(channel);
        last = peerTake(peer, 100);
        return decodeReply(last, DCM_ADDR_1BYTE);
    }
};

TEST_F(SlaveLink, Table9IsReadAsABlockOnlyAndTable5ByByte)
{
    setCurrentRDSDSN(3);
    DcmMsg m = ask(2, listReadBody({{9, 1, 3}}));
    ASSERT_EQ(m.command, 0x81);
    EXPECT_EQ(m.list[0].value, 5u);

    m = ask(4, blockBody(12, 9, 1, 3));
    ASSERT_EQ(m.command, 0x8C);
    EXPECT_EQ(m.count, 12);
    EXPECT_EQ(Bytes(m.block.data + 44, m.block.data + 48), (Bytes{0, 0, 0, 3}));

    // Element 2 of table 5 is the half-word 00 01 while REMOTE: a list read
    // takes element e as byte e - 1, so element 3 is its high byte and
    // element 4 its low byte.
    LogicaTx_SetLocalMode(0);
    m = ask(2, listReadBody({{5, 3, 1}, {5, 4, 1}}));
    ASSERT_EQ(m.command, 0x8A);
    EXPECT_EQ(m.list[0].value, 0u);
    EXPECT_EQ(m.list[1].value, 1u);
}

TEST_F(SlaveLink, ControlModeWritesActOnlyOnAChange)
{
    LogicaTx_SetLocalMode(0);
    // The command manager takes requests; none is pending.
    CMD_Init();
    for (int n = 0; n < CMD_SLOT_COUNT; n++)
        CMD_SetRequested(n, 0);
    DcmMsg m = ask(3, listWriteBody(5, 2, 1, 1));
    EXPECT_EQ(m.command, 0x8B);
    EXPECT_EQ(LogicaTx_GetControlMode(), 0);

    m = ask(3, listWriteBody(5, 2, 1, 0));
    EXPECT_EQ(m.command, 0x8B);
    EXPECT_EQ(CMD_IsRequested(CMD_SLOT_LOCALE), 1u);
    EXPECT_NE(book().find("CMD_CNTR_LOCALE from external LTX"), std::string::npos);
    LogicaTx_SetLocalMode(0);
}

TEST_F(SlaveLink, Element20SelectsTheRdsDataSet)
{
    struct Case {
        uint32_t value;
        uint32_t dsn;
    } cases[] = {{0, 1}, {1, 5}, {200, 5}, {0, 1}};
    for (const Case& c : cases) {
        DcmMsg m = ask(3, listWriteBody(5, 20, 1, c.value));
        EXPECT_EQ(m.command, 0x8B);
        EXPECT_EQ(getCurrentRDSDSN(), c.dsn) << c.value;
    }
}

TEST_F(SlaveLink, OtherAddressesAndCommandsGetNothing)
{
    for (uint8_t address : {uint8_t(0x8F), uint8_t(0), uint8_t(kOwn + 1)}) {
        ask(2, listReadBody({{1, 1, 3}}), address);
        EXPECT_TRUE(last.empty()) << int(address);
    }
    ask(7, {});
    EXPECT_TRUE(last.empty());
    DcmMsg m = ask(2, listReadBody({{1, 3, 3}}));
    ASSERT_EQ(m.command, 0x8A);
    EXPECT_EQ(m.list[0].value, 0x0B000000u);
}

TEST_F(SlaveLink, WritesByTable)
{
    struct Case {
        uint8_t table;
        uint8_t element;
        uint32_t value;
        uint8_t reply;
    } cases[] = {
        {5, 18, 9, 0x8B},  {5, 21, 1, 0x8B}, {10, 2, 0, 0x81}, {11, 2, 0, 0x81},
        {1, 1, 0, 0x81},   {6, 9, 99, 0x81}, {8, 30, 0, 0x8B},
    };
    for (const Case& c : cases) {
        DcmMsg m = ask(3, listWriteBody(c.table, c.element, 1, c.value));
        EXPECT_EQ(m.command, c.reply) << int(c.table) << "," << int(c.element);
    }
    ask(3, listWriteBody(11, 3, 1, 1));
    EXPECT_NE(book().find("Lockout Reset from external LTX"), std::string::npos);
}

TEST_F(SlaveLink, StatusBitsFollowTheirEvents)
{
    const StatusBitCase cases[] = {
        {1, 1, 0, true}, {2, 1, 1, false}, {54, 1, 2, false}, {12, 1, 3, false}, {18, 1, 4, false},
        {19, 1, 5, false}, {59, 1, 6, false}, {31, 1, 7, false}, {56, 2, 0, true}, {57, 2, 1, true},
        {58, 2, 2, false}, {52, 2, 3, false}, {53, 2, 4, false}, {55, 2, 5, false}, {29, 2, 6, false},
        {30, 2, 7, false}, {44, 3, 0, false}, {64, 3, 2, false}, {65, 3, 3, false}, {60, 3, 4, false},
        {61, 3, 5, false}, {70, 3, 6, false}, {7, 3, 7, false}, {13, 4, 0, false}, {67, 4, 1, false},
    };
    expectStatusBits(slaveTableSet(), cases);
}

TEST_F(SlaveLink, TaStepCarriesTheTaIntoTheCurrentDataSet)
{
    // (TA source, CustomTA, Current_RDS_DSN, TA from the logic) and the TA of
    // data set DSN - 1 afterwards (it starts at 0).
    struct Case {
        uint32_t source;
        uint32_t customTa;
        uint32_t dsn;
        uint32_t ta;
        uint32_t after;
    } cases[] = {{1, 0, 1, 1, 1}, {1, 0, 7, 1, 1}, {0, 0, 1, 1, 0}, {1, 1, 1, 1, 0}, {1, 0, 2, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dsn);
        for (uint32_t d = 0; d < 7; d++)
            setTA(d, 0);
        setTaFromTlc(c.source);
        setCustomTA(c.customTa);
        setCurrentRDSDSN(c.dsn);
        TR_WriteElement(slaveTableSet(), 5, 21, c.ta);
        vrlSlaveTic();
        EXPECT_EQ(getTA(c.dsn - 1), c.after);
    }
    // A data set number of 0 or above 7 names no data set: nothing happens.
    getSystemImage()->rds.currentRdsDsn = 0;
    setTaFromTlc(1);
    setCustomTA(0);
    vrlSlaveTic();
    getSystemImage()->rds.currentRdsDsn = 9;
    vrlSlaveTic();
}

} // namespace
