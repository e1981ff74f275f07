// The link channels opened by Exciter_Mode, the poll table and its turn, the
// external units created and ticked, and the RF-detector unit client with a
// unit on the pseudo-terminal of /dev/ttyS0, on the virtual clock.
#include "links/comChannels.h"
#include "links/dcm.h"
#include "links/rfDetector.h"
#include "links/serialChannels.h"
#include "links/sysUnits.h"
#include "power/ampFm.h"

#include "Config/keys/logicaTxKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/dbPool.h"
#include "hw/tests/boardFixture.h"
#include "platform/clock.h"
#include "sim/simSerial.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class LinkPoll : public BoardFixture {
protected:
    void SetUp() override
    {
        BoardFixture::SetUp();
        // No interface of this machine is reachable from here: the socket
        // channel finds no eth1.
        if (unshare(CLONE_NEWNET) != 0)
            GTEST_SKIP() << "no network namespace";
        port0 = simSerialOpenPeer("/dev/ttyS0");
        port2 = simSerialOpenPeer("/dev/ttyS2");
        ASSERT_GE(port0, 0);
        ASSERT_GE(port2, 0);
        fcntl(port0, F_SETFL, fcntl(port0, F_GETFL) | O_NONBLOCK);
    }
    void TearDown() override
    {
        COM_ResetChannelsForTest();
        setExciterMode(0);
        setAmplifierNumber(0);
        setMultiAmplifierTransmitter(0);
        for (int fd : {port0, port2})
            if (fd >= 0)
                close(fd);
        BoardFixture::TearDown();
    }

    // A link that leads nowhere in place of the port.
    void dangle(const char* dev)
    {
        std::string link = host(dev);
        unlink(link.c_str());
        ASSERT_EQ(symlink((root + "/no-such-port").c_str(), link.c_str()), 0);
    }

    // Bytes waiting on the daemon's side of a channel.
    static int waiting(int channel)
    {
        int n = 0;
        ioctl(COM_GetPollTable()[channel - 1].fd, FIONREAD, &n);
        return n;
    }

    static void waitForInput(int channel)
    {
        for (int i = 0; i < 1000 && waiting(channel) == 0; i++)
            usleep(1000);
    }

    // What the daemon wrote to the unit.
    Bytes take(int waitMs = 1000)
    {
        Bytes got;
        struct pollfd p = {port0, POLLIN, 0};
        while (poll(&p, 1, got.empty() ? waitMs : 20) == 1) {
            uint8_t buf[512];
            ssize_t n = read(port0, buf, sizeof buf);
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    void answer(const Bytes& frame)
    {
        ASSERT_EQ(write(port0, frame.data(), frame.size()), ssize_t(frame.size()));
        waitForInput(COM_GetChannelNumber(2));
    }

    static uint32_t cell(uint32_t item) { return *getDbAreaCell(RF_DETEC_SECTION, item); }

    int port0 = -1;
    int port2 = -1;
};

Bytes encode(DcmMsg m)
{
    m.state = DCM_STATE_READY;
    DcmFrameBuf f;
    EXPECT_EQ(DMSG_FromMsgToFrame(&m, &f), 0);
    return Bytes(f.data, f.data + f.len);
}

// A reply of the unit at address 0 carrying a block of table `table`.
Bytes blockReply(uint8_t command, uint32_t sizeType, uint8_t table, uint8_t count, const Bytes& data,
                 const Bytes& status = {})
{
    DcmMsg m = {};
    m.command = command;
    m.accessType = DCM_TYPE_READ_BLOCK;
    DMSG_SetReadRequest(&m, sizeType, table, 1, count, data.data());
    if (!status.empty()) {
        DMSG_SetDataLen(&m, static_cast<uint8_t>(status.size()));
        DMSG_SetDataBlock(&m, status.data());
    }
    return encode(m);
}

// A status reply (0x89): the acknowledged element and the two status bytes.
DcmMsg statusReply(uint8_t status1, uint8_t status2)
{
    DcmMsg m = {};
    m.command = 0x89;
    m.accessType = DCM_TYPE_WRITE_LIST;
    DMSG_AddWriteElement(&m, DCM_SIZE_8, 4, 1, 1);
    m.dataLen = 2;
    m.dataBlock[0] = status1;
    m.dataBlock[1] = status2;
    return m;
}

TEST_F(LinkPoll, SerialChannelsOpenWithTheSettingsOfExciterMode)
{
    struct Case {
        uint32_t mode;
        uint8_t linesBefore;
        uint8_t linesAfter; // bit 0 UART 0 half duplex, 1 UART 2 half duplex, 2 UART 0 master
        bool changeOver;
    } cases[] = {{0, 0x01, 0x06, true}, {1, 0x05, 0x00, false}, {2, 0x05, 0x00, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        setExciterMode(c.mode);
        COM_SetPortParam(1, 33, 0, 0);
        COM_SetPortParam(1, 44, 0, 2);
        if (!c.changeOver)
            dangle("/dev/ttyS2"); // an open of it would fail
        setReg(0x22, 3, c.linesBefore);

        EXPECT_EQ(COM_OpenSerialChannel1(), 0);
        EXPECT_EQ(COM_OpenSerialChannel3(), c.changeOver ? 0 : 9);

        bool slave = c.mode != 0;
        ComPortSettings s = COM_GetPortSettings(0);
        EXPECT_EQ(s.address, slave ? 33 : 10);
        EXPECT_EQ(s.masterMode, slave ? 1u : 0u);
        EXPECT_EQ(s.duplexMode, 0u);
        EXPECT_EQ(s.txRxEnable, slave ? 0u : 1u);
        EXPECT_EQ(std::vector<uint32_t>({s.baudCode, s.dataBits, s.parity, s.stopBits, s.flowControl, s.timing.timeCs,
                                         s.timing.minCount}),
                  std::vector<uint32_t>({3, 4, 2, 1, 0, 10, 255}));
        if (c.changeOver) {
            s = COM_GetPortSettings(2);
            EXPECT_EQ(s.address, 44);
            EXPECT_EQ(std::vector<uint32_t>({s.masterMode, s.duplexMode, s.baudCode, s.dataBits, s.parity, s.stopBits,
                                             s.txRxEnable, s.flowControl, s.timing.timeCs, s.timing.minCount}),
                      std::vector<uint32_t>({1, 1, 6, 4, 2, 1, 0, 0, 10, 255}));
        }
        EXPECT_EQ(reg(0x22, 3), c.linesAfter);

        int sr1 = COM_GetChannelNumber(2);
        int sr3 = COM_GetChannelNumber(4);
        EXPECT_GT(sr1, 0);
        EXPECT_EQ(sr3 > 0, c.changeOver);
        const pollfd* table = COM_GetPollTable();
        for (int i = 0; i < COM_POLL_ENTRIES; i++) {
            bool used = i + 1 == sr1 || (c.changeOver && i + 1 == sr3);
            EXPECT_EQ(table[i].fd >= 0, used) << "entry " << i;
            if (used) {
                EXPECT_EQ(table[i].events, POLLIN);
            }
        }
        COM_ResetChannelsForTest();
    }
}

TEST_F(LinkPoll, ExciterMode2LeavesTheBytesOnTtyS0UnreadWhileMode0TakesThem)
{
    setAmplifierNumber(1);
    for (uint32_t mode : {2u, 0u}) {
        SCOPED_TRACE(mode);
        setExciterMode(mode);
        ASSERT_EQ(COM_OpenSerialChannel1(), 0);
        int channel = COM_GetChannelNumber(2);
        const uint8_t stray[] = {0xFE, 0x07, 0x83, 0x00, 0xFC, 0x84, 0xFD};
        ASSERT_EQ(write(port0, stray, sizeof stray), ssize_t(sizeof stray));
        waitForInput(channel);
        for (int i = 0; i < 3; i++)
            COM_PollChannels();
        EXPECT_EQ(waiting(channel) > 0, mode == 2);
        COM_ResetChannelsForTest();
    }
}

TEST_F(LinkPoll, AChannelThatCannotOpenAtStartEndsTheProcessAfterItsErrLine)
{
    struct Case {
        const char* dangling; // none: the UDP socket finds no eth1
        const char* line;
    } cases[] = {{"/dev/ttyS0", "ERR: Cannot open TX_LOGIC serial channel"},
                 {"/dev/ttyS2", "ERR: Cannot open TX_LOGIC serial channel"},
                 {nullptr, "ERR: Cannot open socket channel"}};
    setExciterMode(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        if (c.dangling)
            dangle(c.dangling);
        size_t before = count(book(), c.line);
        EXPECT_EXIT(COM_OpenChannels(), ::testing::ExitedWithCode(1), "");
        EXPECT_EQ(count(book(), c.line), before + 1);
        if (c.dangling) {
            int& port = c.dangling[9] == '0' ? port0 : port2;
            close(port);
            port = simSerialOpenPeer(c.dangling);
        }
    }
}

TEST_F(LinkPoll, UnitAddressFollowsTheChangeOverSerialAddress)
{
    struct Case {
        uint32_t n;
        const char* link0;
        const char* link1;
    } cases[] = {{1, "10.0.0.21", "10.0.0.22"}, {4, "10.0.0.51", "10.0.0.52"}, {8, "10.0.0.91", "10.0.0.92"},
                 {0, "10.0.0.11", "10.0.0.12"}, {9, "10.0.0.11", "10.0.0.12"}};
    for (const Case& c : cases) {
        setChangeOverSerialAddress(c.n);
        ASSERT_EQ(getChangeOverSerialAddress(), c.n);
        EXPECT_STREQ(COM_GetUnitAddress(0), c.link0);
        EXPECT_STREQ(COM_GetUnitAddress(1), c.link1);
    }
}

TEST_F(LinkPoll, SixAmplifiersBecomeFourAndTheUnitsTickInACycleOfThreeTurns)
{
    setExciterMode(0);
    ASSERT_EQ(COM_OpenSerialChannel1(), 0);
    DCM_Init();
    int channel = COM_GetChannelNumber(2);
    setAmplifierNumber(6);
    ASSERT_EQ(getAmplifierNumber(), 6u);
    setMultiAmplifierTransmitter(1);

    SYS_Initialize();
    SYS_Configure();
    EXPECT_EQ(getAmplifierNumber(), 4u);
    // Amplifier n takes record n, its bus address is n and its requests go
    // on tx_sr_1_ch.
    for (uint32_t u = 1; u <= 4; u++) {
        const ExtAmpRecord* r = AMP_FM_GetRecord(u);
        ASSERT_NE(r, nullptr) << u;
        EXPECT_EQ(r->number, u);
        EXPECT_EQ(AMP_FM_GetAddress(u), u);
        EXPECT_EQ(r->channel, static_cast<uint32_t>(channel));
        EXPECT_EQ(AMP_FM_GetLink(u)->kind, EXT_AMP_UNIT_KIND);
    }
    std::string log = book();
    EXPECT_EQ(count(log, "ERR: RF Detector unit on slot [ 0 ] created"), 1u);
    for (int u = 1; u <= 4; u++)
        EXPECT_EQ(count(log, "ERR: Amplifier unit on slot [ " + std::to_string(u) + " ] created"), 1u);
    EXPECT_EQ(count(log, "Amplifier unit on slot [ 5 ]"), 0u);
    EXPECT_EQ(count(log, "INFO: System configured"), 1u);
    EXPECT_EQ(RF_DETEC_GetRecord()->slot, 0);
    EXPECT_EQ(RF_DETEC_GetRecord()->channel, static_cast<uint32_t>(channel));

    // R: the RF detector queued its poll (it renews its deadline); A: the
    // amplifiers' round robin queued a request.
    auto cycle = [](int turns) {
        std::string seen;
        for (int i = 0; i < turns; i++) {
            int pending = DCM_PendingCount();
            uint32_t rfDeadline = RF_DETEC_GetRecord()->pollDeadline;
            SYS_UnitsTick();
            seen += RF_DETEC_GetRecord()->pollDeadline != rfDeadline ? 'R' : DCM_PendingCount() > pending ? 'A' : '-';
            clockAdvanceUs(1000000);
        }
        return seen;
    };
    EXPECT_EQ(cycle(7), "RAARAAR");
    setMultiAmplifierTransmitter(0);
    EXPECT_EQ(cycle(2), "AA");
    setAmplifierNumber(0);
    EXPECT_EQ(cycle(2), "--");
}

// The unit on /dev/ttyS0 answers the daemon's requests: the identity read,
// the table-4 write, then measures and setting in turn.
TEST_F(LinkPoll, RfDetectorClientPollsTheUnitAndPublishesWhatItReports)
{
    setExciterMode(0);
    setAmplifierNumber(1);
    setMultiAmplifierTransmitter(1);
    ASSERT_EQ(COM_OpenSerialChannel1(), 0);
    DCM_Init();
    SYS_Initialize();
    SYS_Configure();
    EXPECT_EQ(cell(7), 0xFFFFFFFFu);
    EXPECT_EQ(cell(8), 0xFFFFFFFFu);

    // Turns of the link thread until the daemon sends its next request to
    // the detector; the identity reads of amplifier 1, which stays silent,
    // are passed over.
    auto nextRequest = [&]() {
        for (int i = 0; i < 16; i++) {
            COM_PollChannels();
            SYS_UnitsTick();
            clockAdvanceUs(100000);
            Bytes got = take(i < 15 ? 5 : 500);
            if (got.size() > 1 && got[1] == 0x01)
                continue;
            if (!got.empty())
                return got;
        }
        return Bytes{};
    };
    auto deliver = [&](const Bytes& reply) {
        answer(reply);
        COM_PollChannels();
    };

    EXPECT_EQ(nextRequest(), (Bytes{0xFE, 0x00, 0x04, 0x09, 0x01, 0x07, 0xFC, 0x0F, 0xFD}));
    Bytes identity(36, 0);
    identity[0] = 0x11;
    identity[3] = 0x12;
    identity[4] = 0x34;
    identity[5] = 0x89;
    identity[6] = 0xAB;
    identity[7] = 0xFD; // escaped on the line
    identity[8] = 0x65;
    identity[9] = 0x55;
    identity[23] = 0x77;
    deliver(blockReply(0x84, DCM_SIZE_32, 1, 9, identity));
    EXPECT_EQ(std::vector<uint32_t>({cell(1), cell(2), cell(3), cell(4), cell(5)}),
              std::vector<uint32_t>({0x11, 0x1234, 0x89ABFD65u, 0x55, 0x77}));
    EXPECT_EQ(UnitSlot_IsConnected(0), 1);
    EXPECT_EQ(count(book(), "INFO: Unit on slot 0 CONNECTED"), 1u);

    // Table 4 element 1 := 1, then the acknowledgement with the status bytes.
    EXPECT_EQ(nextRequest(), (Bytes{0xFE, 0x00, 0x05, 0x01, 0x04, 0x05, 0x01, 0xFC, 0x0A, 0xFD}));
    EXPECT_EQ(RF_DETEC_GetLinkSlot(0)->identityWord, 0x11000012u);
    EXPECT_EQ(cell(7), 1u);
    deliver(encode(statusReply(0x21, 0x04)));
    EXPECT_EQ(cell(6), 0x0421u);

    EXPECT_EQ(nextRequest(), (Bytes{0xFE, 0x00, 0x04, 0x06, 0x03, 0x06, 0xFC, 0x0D, 0xFD}));
    deliver(blockReply(0x8C, DCM_SIZE_16, 3, 6, {0x01, 0x02, 0xFF, 0xFE, 0x80, 0x00, 0x7F, 0xFF, 0x00, 0x00, 0xFF, 0x00},
                       {0x00, 0x00}));
    EXPECT_EQ(std::vector<uint32_t>({cell(8), cell(9), cell(10), cell(11), cell(12), cell(13)}),
              std::vector<uint32_t>({0x102, 0xFFFFFFFEu, 0xFFFF8000u, 0x7FFF, 0, 0xFFFFFF00u}));
    EXPECT_EQ(cell(6), 0u);
    int32_t value = 0;
    EXPECT_EQ(RF_DETEC_Read(0, 3, 2, &value), 0);
    EXPECT_EQ(value, -2);

    // The setting reply, written out by hand.
    EXPECT_EQ(nextRequest(), (Bytes{0xFE, 0x00, 0x04, 0x01, 0x04, 0x05, 0xFC, 0x08, 0xFD}));
    setDbAreaCell(RF_DETEC_SECTION, 7, 9);
    deliver(Bytes{0xFE, 0x00, 0x84, 0x01, 0x04, 0x05, 0x00, 0xFC, 0x88, 0xFD});
    EXPECT_EQ(cell(7), 0u);
    EXPECT_EQ(RF_DETEC_Read(0, 4, 1, &value), 0);
    EXPECT_EQ(value, 0);

    // Measures again; silenced, each due poll with a request unanswered
    // counts towards disconnected, three of them disconnect the slot.
    EXPECT_EQ(nextRequest(), (Bytes{0xFE, 0x00, 0x04, 0x06, 0x03, 0x06, 0xFC, 0x0D, 0xFD}));
    EXPECT_FALSE(nextRequest().empty());
    EXPECT_FALSE(nextRequest().empty());
    EXPECT_EQ(UnitSlot_IsConnected(0), 1);
    EXPECT_FALSE(nextRequest().empty());
    EXPECT_EQ(UnitSlot_IsConnected(0), 0);
    EXPECT_EQ(count(book(), "ERR: Unit on slot 0 DISCONNECTED"), 1u);
    // Unlinked, the client asks for the identity again.
    EXPECT_EQ(nextRequest(), (Bytes{0xFE, 0x00, 0x04, 0x09, 0x01, 0x07, 0xFC, 0x0F, 0xFD}));
}

// The record through its own calls, the link slot linked by hand.
class RfDetector : public LinkPoll {
protected:
    void SetUp() override
    {
        LinkPoll::SetUp();
        if (IsSkipped())
            return;
        DCM_Init();
        RF_DETEC_Init();
        ASSERT_EQ(RF_DETEC_Bind(0), 0);
        RF_DETEC_SetAddress(0, 0, 1);
    }
    static void link()
    {
        UnitSlot_Configure(0, 1, 3, nullptr);
        UnitSlot_SetConnected(0);
    }
    static int32_t read(uint32_t kind, uint32_t element)
    {
        int32_t v = 12345;
        EXPECT_EQ(RF_DETEC_Read(0, kind, element, &v), 0);
        return v;
    }
};

TEST_F(RfDetector, ReadsOfAnUnlinkedSlotGiveZeroAndDataNotYetReportedMinusOne)
{
    UnitSlot_Configure(0, 1, 3, nullptr);
    for (uint32_t kind : {1u, 2u, 3u, 4u, 255u, 7u})
        EXPECT_EQ(read(kind, 1), 0) << kind;
    EXPECT_EQ(RF_DETEC_Write(0, 5, 1, 1, 0), 13);
    EXPECT_NE(book().find("ERR: RF_DETEC_Write [Tab 5, Elem 1, Value 1] failed -- Error [13]"), std::string::npos);
    uint8_t out[36] = {0xAA};
    EXPECT_EQ(RF_DETEC_GetData(0, 1, out), 0);
    EXPECT_EQ(out[0], 0);

    link();
    EXPECT_EQ(read(3, 1), -1);
    EXPECT_EQ(read(2, 1), -1);
    EXPECT_EQ(read(4, 1), -1);
    EXPECT_EQ(read(1, 1), -1);
    int32_t v = 0;
    EXPECT_EQ(RF_DETEC_Read(0, 7, 1, &v), 1);
    EXPECT_EQ(RF_DETEC_Bind(0), 4);
    EXPECT_EQ(RF_DETEC_GetRecord()->slot, 0);
    EXPECT_EQ(RF_DETEC_GetLinkSlot(0)->record, RF_DETEC_GetRecord());
    EXPECT_EQ(std::vector<uint32_t>(RF_DETEC_GetLinkSlot(0)->words, RF_DETEC_GetLinkSlot(0)->words + 3),
              std::vector<uint32_t>({27, 1, 3}));
}

TEST_F(RfDetector, AResetAnswersTwoOnceAndHidesStatusBitTwoForThreeReplies)
{
    link();
    RF_DETEC_OnReply(0, statusReply(0x01, 0x04));
    EXPECT_EQ(read(2, 15), 1);
    EXPECT_EQ(RF_DETEC_Write(0, 5, 3, 2, 0), 11);
    EXPECT_EQ(RF_DETEC_Write(0, 5, 7, 1, 0), -1);
    EXPECT_EQ(RF_DETEC_Write(0, 6, 1, 1, 0), -1);
    int queued = DCM_PendingCount();
    EXPECT_EQ(RF_DETEC_Write(0, 5, 3, 1, 1), 0);
    EXPECT_EQ(DCM_PendingCount(), queued);

    EXPECT_EQ(RF_DETEC_Write(0, 5, 3, 1, 0), 0);
    EXPECT_EQ(DCM_PendingCount(), queued + 1);
    EXPECT_EQ(read(2, 1), 0);
    EXPECT_EQ(read(2, 11), 0);
    EXPECT_EQ(read(255, 10), 2);
    EXPECT_EQ(read(255, 10), 0);

    std::vector<uint32_t> seen;
    for (int i = 0; i < 4; i++) {
        RF_DETEC_OnReply(0, statusReply(0x00, 0x05));
        seen.push_back(*getDbAreaCell(RF_DETEC_SECTION, 6));
    }
    EXPECT_EQ(seen, std::vector<uint32_t>({0x0100, 0x0100, 0x0100, 0x0500}));
    EXPECT_EQ(read(2, 11), 1);
    EXPECT_EQ(read(2, 15), 1);
}

// A block whose size kind or count is not its table's leaves the record and
// section 60 as they were.
TEST_F(RfDetector, ABlockOfTheWrongShapeChangesNothing)
{
    link();
    auto reply = [](uint32_t sizeType, uint8_t table, uint8_t count) {
        DcmMsg m = {};
        m.command = 0x84;
        m.accessType = DCM_TYPE_READ_BLOCK;
        Bytes data(64, 0x5A);
        DMSG_SetReadRequest(&m, sizeType, table, 1, count, data.data());
        return m;
    };
    const RfDetecRecord before = *RF_DETEC_GetRecord();
    uint32_t cells[13];
    for (uint32_t i = 0; i < 13; i++)
        cells[i] = *getDbAreaCell(RF_DETEC_SECTION, i + 1);
    for (DcmMsg m : {reply(DCM_SIZE_16, 3, 2), reply(DCM_SIZE_8, 3, 6), reply(DCM_SIZE_32, 1, 8),
                     reply(DCM_SIZE_8, 2, 1), reply(DCM_SIZE_16, 4, 1), reply(DCM_SIZE_8, 9, 1)})
        RF_DETEC_OnReply(0, m);
    const RfDetecRecord& after = *RF_DETEC_GetRecord();
    EXPECT_EQ(memcmp(before.identity, after.identity, sizeof before.identity), 0);
    EXPECT_EQ(memcmp(before.measures, after.measures, sizeof before.measures), 0);
    EXPECT_EQ(std::vector<int>({after.status1, after.status2, after.setting, after.statusValid, after.measuresValid,
                                after.settingValid}),
              std::vector<int>({before.status1, before.status2, before.setting, before.statusValid,
                                before.measuresValid, before.settingValid}));
    for (uint32_t i = 0; i < 13; i++)
        EXPECT_EQ(*getDbAreaCell(RF_DETEC_SECTION, i + 1), cells[i]) << i + 1;
    EXPECT_EQ(read(3, 1), -1);
}

} // namespace
