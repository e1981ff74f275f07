// The table dispatchers of the display, SNMP and table-client peers, called
// with requests as a channel would hand them over, their netlink replies read
// by a peer socket in a network namespace of the test's own; and the remote
// unit's dispatcher answering on a DCM channel.
#include "comtab/dispatchers.h"

#include "Config/keys/networkKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "comtab/commandTable.h"
#include "comtab/dbPool.h"
#include "hw/tests/boardFixture.h"
#include "links/comChannels.h"
#include "links/dcm.h"
#include "links/dipc.h"
#include "links/ethernetSettings.h"
#include "testing/dipcClient.h"
#include "testing/testNetwork.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kClientPort = 4242;

uint32_t le32(const DipcBytes& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

DipcPacket request(uint8_t type, uint32_t table, uint32_t element = 0, uint32_t value = 0)
{
    DipcPacket p;
    p.peerId = 0xFC;
    p.type = type;
    p.table = table;
    p.element = element;
    p.value = value;
    return p;
}

class Dispatchers : public BoardFixture {
protected:
    // `body` in a network of the test's own with the daemon's IPC channel
    // open and a display-group client listening on it.
    void withIpc(const std::function<void(int client)>& body)
    {
        inBoardNetwork([&] {
            COM_OpenIpcChannel();
            int client = dipcClientOpen(kClientPort);
            ASSERT_GE(client, 0);
            // The channel answers its last sender: the client speaks first,
            // as a peer whose requests a channel hands to a dispatcher does.
            ASSERT_TRUE(dipcSend(client, kClientPort, dipcWrite(1, 1, 0)));
            pollfd p = {COM_IpcDescriptor(), POLLIN, 0};
            ASSERT_EQ(poll(&p, 1, 2000), 1);
            DipcPacket first;
            ASSERT_EQ(DIPC_Recv(COM_IpcDescriptor(), &first), 0);
            body(client);
            close(client);
        });
    }
};

TEST_F(Dispatchers, DisplayWritesOnlyItsNetworkTableAndReadsNothingElse)
{
    withIpc([](int client) {
        DipcPacket reply;
        DipcPacket w = request(DIPC_WRITE, 5, 11, 98000000);
        Display_msg_dispatcher(&w, &reply);
        DipcBytes got = dipcReply(client, 131, 2000);
        ASSERT_EQ(got.size(), 14u);
        EXPECT_EQ(got[0], 0xFC);
        EXPECT_EQ(le32(got, 2), 5u);
        EXPECT_EQ(le32(got, 6), 11u);
        EXPECT_EQ(le32(got, 10), 1u) << "no such table";
        EXPECT_NE(book().find("ERR: WRITE_REQ: ERRORE 1\n"), std::string::npos);

        // Table 2: addresses unconverted, the entry requests, the not
        // writable and missing elements.
        struct Case {
            uint32_t element, value, result;
        } cases[] = {{5, inet_addr("192.168.3.4"), 0}, {13, 1, 0}, {29, 0x12345, 0}, {3, 1, 15}, {30, 1, 1}};
        for (const Case& c : cases) {
            DipcPacket q = request(DIPC_WRITE, 2, c.element, c.value);
            Display_msg_dispatcher(&q, &reply);
            got = dipcReply(client, 131, 2000, static_cast<uint8_t>(c.element));
            ASSERT_EQ(got.size(), 14u) << c.element;
            EXPECT_EQ(le32(got, 10), c.result) << c.element;
        }
        EXPECT_EQ(getFrontEthernetIPAddress(), inet_addr("192.168.3.4"));
        EXPECT_EQ(getCommandRequest(1), 1u);

        // A read of table 3: length 0, the buffer filled with 0xff.
        DipcPacket r = request(DIPC_READ_TABLE, 3);
        memset(reply.data, 0, sizeof reply.data);
        Display_msg_dispatcher(&r, &reply);
        got = dipcReply(client, 134, 2000);
        ASSERT_EQ(got.size(), 5u);
        EXPECT_EQ(got[2], 3);
        EXPECT_EQ(got[3] | (got[4] << 8), 0);
        EXPECT_EQ(reply.dataLength, 0);
        for (uint8_t b : reply.data)
            ASSERT_EQ(b, 0xFF);

        // Table 2: the 116-byte network status record.
        DipcPacket r2 = request(DIPC_READ_TABLE, 2);
        Display_msg_dispatcher(&r2, &reply);
        got = dipcReply(client, 134, 2000);
        ASSERT_EQ(got.size(), 5u + 116);
        EXPECT_EQ(le32(got, 5), inet_addr("192.168.3.4"));

        // Another type is refused and answered with nothing.
        DipcPacket other = request(DIPC_READ, 2, 5);
        Display_msg_dispatcher(&other, &reply);
        EXPECT_TRUE(dipcReply(client, 130, 300).empty());
        EXPECT_NE(book().find("ERR: Display_msg_dispatcher - unknown msg type\n"), std::string::npos);
    });
}

TEST_F(Dispatchers, SnmpAnswersEveryRequestAndServesNothing)
{
    withIpc([](int client) {
        uint32_t before[64];
        memcpy(before, getDbAreaCell(1, 1), sizeof before);
        DipcPacket reply;
        DipcPacket w = request(DIPC_WRITE, 1, 1, 0x6e65);
        SNMP_msg_dispatcher(&w, &reply);
        DipcBytes got = dipcReply(client, 131, 2000);
        ASSERT_EQ(got.size(), 14u);
        EXPECT_EQ(le32(got, 10), 1u);
        EXPECT_EQ(memcmp(before, getDbAreaCell(1, 1), sizeof before), 0);

        DipcPacket r = request(DIPC_READ_TABLE, 16);
        SNMP_msg_dispatcher(&r, &reply);
        got = dipcReply(client, 134, 2000);
        ASSERT_EQ(got.size(), 5u);

        DipcPacket e = request(DIPC_READ, 16, 2, 0x55AA);
        SNMP_msg_dispatcher(&e, &reply);
        EXPECT_EQ(reply.value, 0x55AAu) << "the value stays as the request had it";
        got = dipcReply(client, 130, 2000);
        ASSERT_EQ(got.size(), 14u);
        EXPECT_EQ(le32(got, 10), 0x55AAu);
        std::string log = book();
        EXPECT_NE(log.find("DEBUG: SNMP_Write_Table_Elem: retValue = 1\n"), std::string::npos);
        EXPECT_NE(log.find("DEBUG: TabId = 16\n"), std::string::npos);
    });
}

TEST_F(Dispatchers, TablesReadOfTheIdentityMatchesDbPool)
{
    setUnitStateByte(3);
    setModeWord(0x0A0B0C0D);
    for (uint32_t i = 0; i < 3; i++)
        setUnitWord(i, 0x100 + i);
    withIpc([](int client) {
        DipcPacket reply;
        DipcPacket r = request(DIPC_READ_TABLE, 16);
        testing::internal::CaptureStdout();
        TABLES_msg_dispatcher(&r, &reply);
        std::string out = testing::internal::GetCapturedStdout();
        DipcBytes got = dipcReply(client, 134, 2000);
        ASSERT_EQ(got.size(), 5u + 28);
        EXPECT_EQ(le32(got, 5), 3u);
        EXPECT_EQ(le32(got, 9), 0x0A0B0C0Du);
        EXPECT_EQ(le32(got, 5 + 12), 0x100u);
        EXPECT_EQ(le32(got, 5 + 20), 0x102u);
        EXPECT_EQ(out.rfind("T16\n01 : 0x00000003\n02 : 0x0A0B0C0D\n", 0), 0u) << out;
        EXPECT_EQ(out.find("ERR"), std::string::npos) << out;

        // A cell that differs from the image is reported.
        setDbAreaCell(16, 3, 0x77);
        testing::internal::CaptureStdout();
        TABLES_msg_dispatcher(&r, &reply);
        out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("03 : 0x00000000\nERR: 0x00000077\n"), std::string::npos) << out;

        // An unserved table: length 0 and the failure word.
        DipcPacket bad = request(DIPC_READ_TABLE, 30);
        TABLES_msg_dispatcher(&bad, &reply);
        EXPECT_EQ(reply.dataLength, 0);
        EXPECT_EQ(reply.value, 0xFFFFFFFFu);
        EXPECT_EQ(dipcReply(client, 134, 2000, 0).size(), 5u + 28) << "the first reply";
        EXPECT_EQ(dipcReply(client, 134, 2000).size(), 5u);

        // Element reads: the command statuses and the upgrade enable flag;
        // an element outside the map keeps the request's value.
        setUpgradeParam(1);
        setCommandStatus(12, 3);
        struct Case {
            uint32_t table, element, value;
        } reads[] = {{50, 1, 1}, {49, 8, 3}, {50, 10, 0xABCD}};
        for (const Case& c : reads) {
            DipcPacket e = request(DIPC_READ, c.table, c.element, 0xABCD);
            TABLES_msg_dispatcher(&e, &reply);
            EXPECT_EQ(reply.value, c.value) << c.table << "," << c.element;
            DipcBytes read = dipcReply(client, 130, 2000, static_cast<uint8_t>(c.element));
            ASSERT_EQ(read.size(), 14u);
            EXPECT_EQ(le32(read, 10), c.value);
        }
    });
}

TEST_F(Dispatchers, TablesWriteMap)
{
    setEthernetSwitchConfig(1);
    struct Case {
        uint32_t table, element, value, result;
    } cases[] = {
        {1, 14, 0x10000 + 30, 0}, {1, 3, 0, 15}, {1, 15, 0, 1},   {2, 5, 0, 15},       {2, 30, 0, 1},
        {3, 1, 9, 0},             {10, 64, 9, 0}, {5, 31, 0, 15}, {5, 32, 0, 1},       {12, 7, 0, 15},
        {12, 8, 0, 1},            {40, 3, 0x0A000001, 0},         {40, 6, 1, 0},       {40, 15, 3, 11},
        {40, 15, 2, 0},           {40, 16, 4096, 11},             {40, 16, 100, 0},    {40, 1, 0, 15},
        {40, 17, 0, 1},           {43, 8, 0, 15},                 {43, 14, 0, 15},     {43, 11, 5, 11},
        {43, 11, 3, 0},           {45, 1, 0x11223344, 0},         {45, 2, 9, 0},       {45, 3, 1, 0},
        {48, 1, 7, 0},            {48, 2, 7, 15},                 {50, 5, 0, 15},      {51, 10, 4096, 11},
        {51, 10, 20, 0},          {51, 8, 2, 11},                 {51, 9, 1, 0},       {52, 7, 0, 11},
        {51, 1, 0, 15},           {99, 1, 0, 1},
    };
    testing::internal::CaptureStdout();
    for (const Case& c : cases)
        EXPECT_EQ(tablesWriteElement(c.table, c.element, c.value), c.result) << c.table << "," << c.element;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("T40 E3 V0x0A000001\n"), std::string::npos);

    EXPECT_EQ(getWebTimerErrorTimeout(), 30u) << "the low 16 bits";
    EXPECT_EQ(getFrontEthernetIPAddress(), 0x0A000001u) << "unconverted";
    EXPECT_EQ(getCommandRequest(0), 1u);
    EXPECT_EQ(getEthernetSwitchConfig(), 2u);
    EXPECT_EQ(getCpuVlanId(), 100u);
    EXPECT_EQ(getSystemTimeSource(), 3u);
    EXPECT_EQ(getCommandRequest(20), 0u) << "no NTP synchronisation from this map";
    EXPECT_EQ(getCommandRequest(6), 1u);
    EXPECT_EQ(getGpsStatusWord(), 7u);

    // What was written reads back in the images.
    uint8_t image[DISPATCH_IMAGE_MAX];
    uint32_t length = 0;
    ASSERT_EQ(tablesReadTable(45, image, &length), 0);
    EXPECT_EQ(length, 32u);
    uint32_t word;
    memcpy(&word, image, 4);
    EXPECT_EQ(word, 0x11223344u);
    ASSERT_EQ(tablesReadTable(51, image, &length), 0);
    EXPECT_EQ(length, 40u);
    memcpy(&word, image + 36, 4);
    EXPECT_EQ(word, 20u);
    ASSERT_EQ(tablesReadTable(40, image, &length), 0);
    memcpy(&word, image + 8, 4);
    EXPECT_EQ(word, 0x0A000001u);
    EXPECT_EQ(tablesReadTable(12, image, &length), 0);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(tablesReadTable(17, image, &length), -1);
}

class RemoteDispatcher : public BoardFixture {
protected:
    void SetUp() override
    {
        BoardFixture::SetUp();
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        channel = DCM_RegisterChannel(sv[0], DCM_CH_UART);
        ASSERT_GT(channel, 0);
        REMOTE_SetActivation(1);
    }
    void TearDown() override
    {
        DCM_UnregisterChannel(channel);
        close(sv[0]);
        close(sv[1]);
        BoardFixture::TearDown();
    }

    std::vector<uint8_t> sent()
    {
        std::vector<uint8_t> got;
        pollfd p = {sv[1], POLLIN, 0};
        while (poll(&p, 1, got.empty() ? 1000 : 20) == 1) {
            uint8_t buf[512];
            ssize_t n = read(sv[1], buf, sizeof buf);
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    static DcmMsg writeRequest(uint8_t table, uint8_t element, uint32_t value)
    {
        DcmMsg m;
        DMSG_Clear(&m);
        m.address = 0x0A0B0C0D;
        m.command = 3;
        m.accessType = DCM_TYPE_WRITE_LIST;
        m.count = 1;
        m.list[0] = {DCM_SIZE_32, table, element, value};
        return m;
    }

    static DcmMsg readRequest(uint8_t table)
    {
        DcmMsg m;
        DMSG_Clear(&m);
        m.address = 0x0A0B0C0D;
        m.command = 4;
        m.accessType = DCM_TYPE_READ_BLOCK;
        m.count = 40;
        m.block.sizeType = DCM_SIZE_8;
        m.block.table = table;
        m.block.firstElem = 1;
        return m;
    }

    int sv[2] = {-1, -1};
    int channel = 0;
};

TEST_F(RemoteDispatcher, WriteReplyFrame)
{
    DcmMsg req = writeRequest(22, 3, inet_addr("10.1.2.3")), reply;
    ASSERT_EQ(REMOTE_msg_dispatcher(channel, &req, &reply), 0);
    // 0xFE, the four address bytes, 139, the status byte, one element
    // (count, table, element x 4 + size type, result), 0xFC, checksum, 0xFD.
    const std::vector<uint8_t> golden = {0xFE, 0x0A, 0x0B, 0x0C, 0x0D, 0x8B, 0x00, 0x01,
                                         0x16, 0x0F, 0x00, 0xFC, 0xD9, 0xFD};
    EXPECT_EQ(sent(), golden);
    EXPECT_EQ(ETHM_GetRunningCfg(0)->address, inet_addr("10.1.2.3"));

    // Refused writes are answered with their code.
    struct Case {
        uint8_t table, element;
        uint32_t result;
    } cases[] = {{22, 1, 13}, {22, 7, 15}, {22, 14, 15}, {1, 3, 1}, {5, 1, 15}};
    for (const Case& c : cases) {
        DcmMsg q = writeRequest(c.table, c.element, 0);
        ASSERT_EQ(REMOTE_msg_dispatcher(channel, &q, &reply), 0);
        std::vector<uint8_t> got = sent();
        ASSERT_EQ(got.size(), 14u);
        EXPECT_EQ(got[10], c.result) << int(c.table) << "," << int(c.element);
    }
}

TEST_F(RemoteDispatcher, ActivationFlagGuardsWrites)
{
    EXPECT_EQ(REMOTE_Write_Table_Elem(22, 3, 0), 0u);
    ASSERT_EQ(REMOTE_Write_Table_Elem(1, 1, 'd' | ('e' << 8)), 0u);
    REMOTE_SetActivation(0);
    EXPECT_EQ(REMOTE_Write_Table_Elem(22, 3, 0), 15u);
    EXPECT_EQ(REMOTE_Write_Table_Elem(1, 1, 0), 15u);
    EXPECT_EQ(REMOTE_Write_Table_Elem(1, 9, 2), 0u);
    EXPECT_EQ(REMOTE_GetActivation(), 0u);
    EXPECT_EQ(REMOTE_Write_Table_Elem(1, 12, 1), 0u);
    EXPECT_EQ(REMOTE_GetActivation(), 1u);
    std::string log = book();
    EXPECT_NE(log.find("DEBUG: REMOTE_Write_Table_Elem: Write ManagementMode al valore 2\n"), std::string::npos);
    EXPECT_NE(log.find("DEBUG: REMOTE2_REMOTE_ACTIVATION_CMD: Active\n"), std::string::npos);
}

TEST_F(RemoteDispatcher, NetworkTableGlueServesOnlyTable13)
{
    ASSERT_EQ(netTableChange(13, 10, inet_addr("10.200.8.30")), 0u);
    EXPECT_EQ(netTableReadParam(13, 10), inet_addr("10.200.8.30"));
    EXPECT_EQ(netTableReadParam(12, 10), 0xFFFFFFFFu);
    uint32_t all[14] = {};
    EXPECT_EQ(netTableReadAll(13, all), 56u);
    EXPECT_EQ(all[9], inet_addr("10.200.8.30"));
    EXPECT_EQ(netTableReadAll(40, all), 0u);
    EXPECT_EQ(netTableChange(40, 10, 0), 1u);
    EXPECT_EQ(netTableChange(13, 7, 0), uint32_t(-1));
    std::string log = book();
    EXPECT_NE(log.find("ERR: Write failed -- Table not found\n"), std::string::npos);
    EXPECT_NE(log.find("ERR: Write failed -- Error [-1]\n"), std::string::npos);
}

TEST_F(RemoteDispatcher, ReadRepliesCarryTheImages)
{
    ASSERT_EQ(ETHM_ChangeCfg(3, inet_addr("10.1.2.3"), 0), 0);
    ASSERT_EQ(ETHM_ChangeCfg(11, inet_addr("255.255.0.0"), 0), 0);
    setCommandStatus(1, 2);
    DcmMsg req = readRequest(22), reply;
    ASSERT_EQ(REMOTE_msg_dispatcher(channel, &req, &reply), 0);
    std::vector<uint8_t> frame = sent();
    DcmFrameBuf f;
    f.flag = 0;
    f.len = static_cast<uint16_t>(frame.size());
    memcpy(f.data, frame.data(), frame.size());
    DcmMsg got;
    DMSG_Clear(&got);
    got.dataLen = 1;
    ASSERT_EQ(DMSG_FromFrameToMsg(&f, &got, DCM_ADDR_4BYTE, 0), 0);
    EXPECT_EQ(got.command, 140);
    EXPECT_EQ(got.address, 0x0A0B0C0Du);
    EXPECT_EQ(got.count, 40);
    EXPECT_EQ(got.block.table, 22);
    // Front port: MAC, address at bytes 6-9; rear port from byte 20: its
    // netmask at 30-33, request and status at 38 and 39.
    const uint8_t address[4] = {10, 1, 2, 3}, mask[4] = {255, 255, 0, 0};
    EXPECT_EQ(memcmp(got.block.data + 6, address, 4), 0);
    EXPECT_EQ(memcmp(got.block.data + 30, mask, 4), 0);
    EXPECT_EQ(got.block.data[39], 2);
    EXPECT_EQ(got.dataBlock[0], 0);

    // An unserved table: no items and the error code.
    req = readRequest(9);
    ASSERT_EQ(REMOTE_msg_dispatcher(channel, &req, &reply), 0);
    frame = sent();
    f.flag = 0;
    f.len = static_cast<uint16_t>(frame.size());
    memcpy(f.data, frame.data(), frame.size());
    DMSG_Clear(&got);
    got.dataLen = 1;
    ASSERT_EQ(DMSG_FromFrameToMsg(&f, &got, DCM_ADDR_4BYTE, 0), 0);
    EXPECT_EQ(got.count, 0);
    EXPECT_EQ(got.dataBlock[0], 1);

    DcmMsg other = readRequest(1);
    other.command = 2;
    EXPECT_EQ(REMOTE_msg_dispatcher(channel, &other, &reply), 17);
}

} // namespace
