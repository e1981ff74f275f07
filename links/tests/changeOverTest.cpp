// The change-over responder with a controller on the pseudo-terminal of
// /dev/ttyS2, on the virtual clock: frames written byte by byte as the
// controller sends them, replies decoded.
#include "links/changeOver.h"
#include "links/comChannels.h"
#include "links/dcm.h"
#include "links/tableResponder.h"
#include "links/tests/linkPortFixture.h"

#include "Config/StrutturaDati.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/commandManager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>


namespace {

constexpr uint32_t kOwn = 3;
// The controller puts the unit's address in the third address byte.
constexpr uint32_t kAddr = kOwn << 8;

class ChangeOver : public LinkPortFixture {
protected:
    ChangeOver() : LinkPortFixture("/dev/ttyS2", COM_OpenSerialChannel3, 4) {}
    void configure() override
    {
        setExciterMode(0);
        setChangeOverSerialAddress(kOwn);
        setFunctionalType(11, 0);
    }

    // The controller sends `frame`; the responder takes it and ticks once.
    int send(const Bytes& frame)
    {
        peerWrite(frame);
        vrlChangeOverMsgRecv(fd);
        return vrlChangeOverTic(channel);
    }

    DcmMsg ask(uint8_t command, const Bytes& body, uint32_t address = kAddr)
    {
        send(linkFrame(address, true, command, body));
        last = peerTake(peer);
        return decodeReply(last, DCM_ADDR_4BYTE);
    }
};

TEST_F(ChangeOver, ListReadOfFunctionalTypeIsTheGoldenFrameAndItsValueTravelsAsWritten)
{
    // FE, address 00 00 03 00, command 2, one entry (1, 3) of 4 bytes.
    Bytes request = {0xFE, 0x00, 0x00, 0x03, 0x00, 0x02, 0x01, 0x01, 0x0F, 0xFC, 0x10, 0xFD};
    EXPECT_EQ(request, linkFrame(kAddr, true, 2, listReadBody({{1, 3, 3}})));
    EXPECT_EQ(send(request), 0);
    Bytes reply = peerTake(peer);
    ASSERT_GE(reply.size(), 13u);
    // Header, command 0x8A, then count 1, table 1, element byte 0x0F and the
    // word 11 as 00 00 00 0B.
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 13),
              (Bytes{0xFE, 0x00, 0x00, 0x03, 0x00, 0x8A, 0x01, 0x01, 0x0F, 0x00, 0x00, 0x00, 0x0B}));
    DcmMsg m = decodeReply(reply, DCM_ADDR_4BYTE);
    EXPECT_EQ(m.state, DCM_STATE_READY);
    EXPECT_EQ(m.dataLen, 9);
}

TEST_F(ChangeOver, ListReadsAnswerTheElementOrCodeFive)
{
    getSystemImage()->unit.infoFWE = 0x01020304;
    DcmMsg m = ask(2, listReadBody({{1, 9, 3}}));
    ASSERT_EQ(m.command, 0x8A);
    ASSERT_EQ(m.count, 1);
    EXPECT_EQ(m.list[0].value, 0x04030201u); // the word most significant byte first in the buffer
    EXPECT_EQ(m.dataLen, 9);

    m = ask(2, listReadBody({{1, 1, 3}, {1, 10, 3}, {1, 2, 3}}));
    ASSERT_EQ(m.command, 0x81);
    ASSERT_EQ(m.count, 1);
    EXPECT_EQ(m.list[0].table, 1);
    EXPECT_EQ(m.list[0].element, 10);
    EXPECT_EQ(m.list[0].value, 5u);
    // Element 0 gets the same reply; the frame encoder refuses element
    // number 0, so it is seen on the reply record.
    DcmMsg req = {};
    req.command = 2;
    req.accessType = DCM_TYPE_WRITE_LIST;
    DMSG_AddWriteElement(&req, DCM_SIZE_32, 1, 0, 0);
    DcmMsg reply = {};
    ASSERT_EQ(TR_Serve(changeOverTableSet(), &req, &reply, DCM_ADDR_4BYTE), 0);
    EXPECT_EQ(reply.command, 0x81);
    ASSERT_EQ(reply.count, 1);
    EXPECT_EQ(reply.list[0].value, 5u);
    // Table 3 is read by word: its elements beyond the buffer read 0.
    m = ask(2, listReadBody({{3, 63, 3}}));
    ASSERT_EQ(m.command, 0x8A);
    EXPECT_EQ(m.list[0].value, 0u);
    // A list read carries the 9 status bytes.
    setEventBit(1, 6);
    m = ask(2, listReadBody({{5, 1, 1}}));
    ASSERT_EQ(m.command, 0x8A);
    EXPECT_EQ(m.dataBlock[0] & 1, 1);
    setEventBit(0, 6);
}

TEST_F(ChangeOver, BlockReadsTrimToTheTableAndCarryStatusBeyondTable4)
{
    setInputSelection(2);
    DcmMsg m = ask(4, blockBody(5, 6, 14, 3));
    ASSERT_EQ(m.command, 0x8C);
    EXPECT_EQ(m.count, 2);
    EXPECT_EQ(m.block.firstElem, 14);
    EXPECT_EQ(m.dataLen, 9);

    m = ask(4, blockBody(24, 2, 1, 1));
    EXPECT_EQ(m.command, 0x84);
    EXPECT_EQ(m.count, 24);
    EXPECT_EQ(m.dataLen, 0);

    m = ask(4, blockBody(3, 5, 1, 1));
    EXPECT_EQ(m.command, 0x8C);
    EXPECT_EQ(m.dataLen, 9);

    // Table 6 element 13 as block bytes, most significant first.
    m = ask(4, blockBody(1, 6, 13, 3));
    ASSERT_EQ(m.command, 0x8C);
    EXPECT_EQ(Bytes(m.block.data, m.block.data + 4), (Bytes{0, 0, 0, 2}));

    // Table 3 read by 4-byte items far beyond its buffer: zeros, no overrun.
    m = ask(4, blockBody(63, 3, 1, 3));
    ASSERT_EQ(m.command, 0x84);
    EXPECT_EQ(m.count, 63);

    struct Case {
        Bytes body;
    } errors[] = {{blockBody(1, 7, 1, 1)}, {blockBody(1, 6, 16, 3)}};
    for (const Case& c : errors) {
        m = ask(4, c.body);
        SCOPED_TRACE(int(c.body[1]) * 1000 + c.body[2]);
        ASSERT_EQ(m.command, 0x81);
        EXPECT_EQ(m.list[0].value, 5u);
    }
}

TEST_F(ChangeOver, ListWriteValueArrivesLowByteFirst)
{
    setInputSwitchMode(0);
    // FE 00 00 03 00 03 | 01 06 33 02 00 00 00 | FC 3C FD: (6, 12) := 2.
    Bytes request = {0xFE, 0x00, 0x00, 0x03, 0x00, 0x03, 0x01, 0x06, 0x33, 0x02, 0x00, 0x00, 0x00, 0xFC, 0x3C, 0xFD};
    EXPECT_EQ(request, linkFrame(kAddr, true, 3, listWriteBody(6, 12, 3, 2)));
    send(request);
    DcmMsg m = decodeReply(peerTake(peer), DCM_ADDR_4BYTE);
    EXPECT_EQ(m.command, 0x8B);
    EXPECT_EQ(getInputSwitchMode(), 2u);
    // Out of range: refused, code 6, nothing stored.
    m = ask(3, listWriteBody(6, 12, 3, 9));
    ASSERT_EQ(m.command, 0x81);
    EXPECT_EQ(m.list[0].value, 6u);
    EXPECT_EQ(getInputSwitchMode(), 2u);
}

TEST_F(ChangeOver, BlockWriteValuesArriveHighByteFirstAndStopAtTheFirstFailure)
{
    setInputSwitchMode(0);
    setInputSelection(0);
    DcmMsg m = ask(5, blockBody(2, 6, 12, 3, {0, 0, 0, 1, 0, 0, 0, 2}));
    EXPECT_EQ(m.command, 0x8B);
    EXPECT_EQ(getInputSwitchMode(), 1u);
    EXPECT_EQ(getInputSelection(), 2u);
    m = ask(5, blockBody(2, 6, 12, 3, {0, 0, 0, 0, 0, 0, 0, 7}));
    ASSERT_EQ(m.command, 0x81);
    EXPECT_EQ(m.list[0].value, 6u);
    EXPECT_EQ(getInputSwitchMode(), 0u); // the value before the failure stays written
}

TEST_F(ChangeOver, WritesOfStartWordAndCommands)
{
    LogicaTx_SetLockoutState(1);
    DcmMsg m = ask(3, listWriteBody(5, 1, 1, 1));
    ASSERT_EQ(m.command, 0x81);
    EXPECT_EQ(m.list[0].value, 6u);
    LogicaTx_SetLockoutState(0);

    // The command manager takes requests; none is pending.
    CMD_Init();
    for (int n = 0; n < CMD_SLOT_COUNT; n++)
        CMD_SetRequested(n, 0);
    m = ask(3, listWriteBody(5, 1, 1, 0));
    EXPECT_EQ(m.command, 0x8B);
    EXPECT_EQ(CMD_IsRequested(CMD_SLOT_ARRESTO), 1u);

    m = ask(3, listWriteBody(11, 2, 1, 77));
    EXPECT_EQ(m.command, 0x8B);
    m = ask(2, listReadBody({{1, 2, 3}, {11, 2, 1}}));
    ASSERT_EQ(m.count, 2);
    EXPECT_EQ(m.list[0].value, 0x03000000u);
    EXPECT_EQ(m.list[1].value, 3u);

    // Read-only elements answer code 6, unlisted elements of a writable table
    // succeed, other tables fail.
    for (auto [t, e, ok] : {std::tuple{5, 2, false}, {6, 14, true}, {11, 5, false}, {1, 1, false}}) {
        SCOPED_TRACE(t * 100 + e);
        m = ask(3, listWriteBody(uint8_t(t), uint8_t(e), 1, 0));
        EXPECT_EQ(m.command, ok ? 0x8B : 0x81);
    }
}

TEST_F(ChangeOver, HandledRequestsRaiseTheLinkWhileOthersAreNotAnswered)
{
    LogicaTx_SetChangeOverLink(0);
    EXPECT_NE(send(linkFrame(kAddr, true, 7, {1, 2, 3})), 0);
    EXPECT_TRUE(peerTake(peer, 50).empty());
    EXPECT_NE(send(linkFrame(kAddr, true, 0, {1, 2, 3})), 0);
    EXPECT_EQ(send(linkFrame(kAddr + 0x100, true, 2, listReadBody({{1, 1, 3}}))), 9);
    Bytes bad = linkFrame(kAddr, true, 2, listReadBody({{1, 1, 3}}));
    bad[bad.size() - 2]++;
    EXPECT_NE(send(bad), 0);
    EXPECT_TRUE(peerTake(peer, 50).empty());
    EXPECT_EQ(LogicaTx_GetChangeOverLink(), 0u);

    // The broadcast address is served.
    EXPECT_EQ(send(linkFrame(0x8F00, true, 2, listReadBody({{1, 1, 3}}))), 0);
    EXPECT_FALSE(peerTake(peer).empty());
    EXPECT_EQ(LogicaTx_GetChangeOverLink(), 1u);
    EXPECT_EQ(getEventBit(28), 1);
}

TEST_F(ChangeOver, BytesBeyondTheRingAreDroppedWithAConsoleLine)
{
    Bytes junk(300, 0x11);
    EXPECT_EQ(changeOverTakeBytes(junk.data(), 300), 300);
    testing::internal::CaptureStdout();
    EXPECT_EQ(changeOverTakeBytes(junk.data(), 300), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("vrlChangeOverMsgRecv: Discard this frame (free_space 212)"), std::string::npos) << out;
    // The junk is skipped and the next request answered.
    vrlChangeOverTic(channel);
    DcmMsg m = ask(2, listReadBody({{1, 1, 3}}));
    EXPECT_EQ(m.command, 0x8A);
}

TEST_F(ChangeOver, StatusBitsFollowTheirEvents)
{
    // One event per mapping, and the bit it lights in table 4.
    const StatusBitCase cases[] = {
        {6, 1, 0, false}, {12, 1, 1, false}, {13, 1, 2, false}, {32, 1, 3, false}, {9, 1, 4, false},
        {2, 1, 5, false}, {1, 1, 6, true}, {28, 1, 7, false}, {21, 2, 1, false}, {8, 2, 3, false},
        {15, 2, 5, false}, {4, 2, 6, false}, {5, 2, 6, false}, {18, 2, 7, false}, {19, 3, 0, false},
        {57, 3, 1, false}, {58, 3, 2, false}, {55, 3, 3, true}, {81, 3, 5, false}, {82, 3, 6, false},
        {44, 4, 2, false}, {3, 4, 3, false},
    };
    const TableSet* set = changeOverTableSet();
    expectStatusBits(set, cases, 9);
    uint8_t buf[kTableBufBytes];
    int count = 0;
    ASSERT_EQ(TR_BuildTable(set, 4, &count, buf), 0);
    EXPECT_EQ(buf[2] >> 7, 1); // input-group status word 0
    EXPECT_EQ(buf[1] & 0x11, 0);
    EXPECT_EQ(Bytes(buf + 4, buf + 9), Bytes(5, 0));
}

TEST_F(ChangeOver, CatalogueCountsAndWidths)
{
    struct Case {
        uint8_t table;
        int count;
        int result;
    } cases[] = {{1, 9, 0}, {2, 24, 0}, {3, 255, 0}, {4, 9, 0}, {5, 3, 0},  {6, 15, 0},
                 {9, 1, 0}, {10, 1, 0}, {11, 7, 0},  {12, 7, 0}, {13, 2, 0}, {7, 0, 9}};
    uint8_t buf[kTableBufBytes];
    for (const Case& c : cases) {
        int count = 0;
        EXPECT_EQ(TR_BuildTable(changeOverTableSet(), c.table, &count, buf), c.result) << int(c.table);
        if (c.result == 0) {
            EXPECT_EQ(count, c.count) << int(c.table);
        }
    }
    // Table 12 keeps the processor's order; its fourth word holds the low
    // bytes of the version words 3, 2, 1.
    UnitRegion& u = getSystemImage()->unit;
    u.infoFWC = 0x11223344;
    u.infoFWV = 2;
    u.infoFWR = 0;
    u.infoFWB = 7;
    int count = 0;
    TR_BuildTable(changeOverTableSet(), 12, &count, buf);
    EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(Bytes(buf + 12, buf + 15), (Bytes{7, 0, 2}));
    TR_BuildTable(changeOverTableSet(), 1, &count, buf);
    EXPECT_EQ(Bytes(buf + 28, buf + 32), (Bytes{0x11, 0x22, 0x33, 0x44}));
}

} // namespace
