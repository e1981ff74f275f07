// The remote LTX link with a client on UDP port 6011, in a network namespace
// of the test's own with a veth pair eth0/eth1: requests of both families,
// the status push, the write rows, RadioText files.
#include "links/remoteLtx.h"
#include "links/serialChannels.h"
#include "links/tableResponder.h"

#include "Config/StrutturaDati.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTxConfig.h"
#include "comtab/comtab.h"
#include "hw/tests/boardFixture.h"
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class RemoteLtx : public BoardFixture {
protected:
    // `body` in a forked child inside a fresh network namespace holding the
    // veth pair eth0/eth1, with the link's socket and a client; skipped
    // where none can be made.
    void inOwnNetNamespace(const std::function<void()>& body)
    {
        fflush(nullptr);
        pid_t c = fork();
        if (c == 0) {
            struct stat self, first;
            if (unshare(CLONE_NEWNET) != 0 || stat("/proc/self/ns/net", &self) != 0 ||
                (stat("/proc/1/ns/net", &first) == 0 && self.st_ino == first.st_ino))
                _exit(77);
            if (system("ip link add eth0 type veth peer name eth1 && ip link set lo up && "
                       "ip link set eth0 up && ip link set eth1 up") != 0)
                _exit(77);
            setRearEthernetIPAddress(inet_addr("10.200.8.30"));
            setRearEthernetIPNetmask(inet_addr("255.255.255.0"));
            setUnitVariant(11);
            remoteLtxSetLetters(0);
            server = init_sk_udp_ch(6011);
            client = socket(AF_INET, SOCK_DGRAM, 0);
            if (server <= 0 || client < 0)
                _exit(2);
            body();
            fflush(nullptr);
            _exit(::testing::Test::HasFailure() ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(c, &status, 0), c);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 77)
            GTEST_SKIP() << "no network namespace of the test's own here";
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's expectations failed (see its output above)";
    }

    // Sends a request, lets the link take it, and gathers the datagrams it
    // sent back: `taken` is remoteLtxRecv's result.
    std::vector<Bytes> exchange(const Bytes& request, int* taken = nullptr)
    {
        struct sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(6011);
        to.sin_addr.s_addr = inet_addr("10.200.8.30");
        EXPECT_EQ(sendto(client, request.data(), request.size(), 0, reinterpret_cast<struct sockaddr*>(&to), sizeof to),
                  ssize_t(request.size()));
        struct pollfd p = {server, POLLIN, 0};
        EXPECT_EQ(poll(&p, 1, 2000), 1);
        int r = remoteLtxRecv(server);
        if (taken)
            *taken = r;
        return gather();
    }

    std::vector<Bytes> gather(int waitMs = 50)
    {
        std::vector<Bytes> got;
        struct pollfd q = {client, POLLIN, 0};
        while (poll(&q, 1, waitMs) == 1) {
            uint8_t buf[1024];
            ssize_t n = recv(client, buf, sizeof buf, 0);
            if (n < 0)
                break;
            got.emplace_back(buf, buf + n);
        }
        return got;
    }

    static Bytes request(char letter, uint8_t command, uint8_t table = 0, uint8_t element = 0, uint32_t value = 0)
    {
        return {uint8_t(letter), command, table, element, uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                uint8_t(value >> 24)};
    }

    int server = -1;
    int client = -1;
};

const Bytes kErrorReply = {0, 128, 0xFF, 0xFF, 0xFF, 0xFF};

TEST_F(RemoteLtx, FamiliesTablesAndErrors)
{
    inOwnNetNamespace([this] {
        remoteLtxSetLetters(1);
        // An 'i' request is served while the letters are 'X' and 'h': it is
        // echoed, and its status reply carries 'h'.
        auto got = exchange(request('i', 1, 1));
        ASSERT_EQ(got.size(), 1u);
        ASSERT_EQ(got[0].size(), 43u);
        EXPECT_EQ(Bytes(got[0].begin(), got[0].begin() + 7), (Bytes{'i', 17, 1, 0xF1, 0x03, 0, 0}));
        setEventBit(1, 47);
        setEventBit(1, 85);
        got = exchange(request('i', 4));
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], (Bytes{'h', 20, 2, 0x01, 0x10, 0, 0, 0, 0, 0, 0}));

        // Table 11: the serial number's first four digits.
        memcpy(getUnitInfo() + 14, "1234567890AB", 12);
        got = exchange(request('X', 1, 11));
        ASSERT_EQ(got.size(), 1u);
        ASSERT_EQ(got[0].size(), 3u + 84u);
        EXPECT_EQ(Bytes(got[0].begin(), got[0].begin() + 11), (Bytes{'X', 17, 11, 0xD2, 0x04, 0, 0, 0, 0, 0, 0}));
        memcpy(getUnitInfo() + 14, "123456789012", 12);
        got = exchange(request('Y', 1, 11));
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(Bytes(got[0].begin() + 3, got[0].begin() + 11), (Bytes{0xD2, 0x04, 0, 0, 0x14, 0x88, 0x62, 0x03}));

        // Element reads at the table's width, values low byte first.
        setInputSwapTime(0x0102);
        got = exchange(request('Y', 2, 3, 11));
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], (Bytes{'Y', 17, 3, 11, 0x02, 0x01, 0, 0}));

        // Failures answer the 6-byte error reply; command 5 never answers.
        for (auto [t, e] : {std::pair{4, 9}, {4, 10}, {2, 1}, {9, 1}}) {
            got = exchange(request('Y', 3, uint8_t(t), uint8_t(e), 1));
            ASSERT_EQ(got.size(), 1u) << t << "," << e;
            EXPECT_EQ(got[0], kErrorReply) << t << "," << e;
        }
        got = exchange(request('Y', 1, 8));
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], kErrorReply);
        EXPECT_TRUE(exchange(request('Y', 5, 4, 9, 1)).empty());
        EXPECT_TRUE(exchange(request('Y', 5, 3, 9, 1)).empty());
        EXPECT_EQ(getInputSwitchMode(), 1u);

        // Another letter, or the extended family on another variant, changes
        // nothing and sends nothing.
        int taken = -1;
        EXPECT_TRUE(exchange(request('Z', 3, 3, 9, 2), &taken).empty());
        EXPECT_EQ(taken, 0);
        setUnitVariant(10);
        EXPECT_TRUE(exchange(request('h', 1, 1), &taken).empty());
        EXPECT_EQ(taken, 0);
        EXPECT_EQ(getInputSwitchMode(), 1u);
    });
}

TEST_F(RemoteLtx, StatusPushStartsWithTheFirstStatusRequestAndCatchesUpAByteAtATime)
{
    inOwnNetNamespace([this] {
        setEventBit(1, 13); // byte 2 bit 0
        setEventBit(1, 59); // byte 3 bit 0
        EXPECT_EQ(exchange(request('Y', 2, 1, 1)).size(), 1u) << "no push before a status request";
        auto got = exchange(request('Y', 4));
        ASSERT_EQ(got.size(), 1u);
        Bytes status(got[0].begin() + 3, got[0].begin() + 7);
        // Then each request first pushes the status, catching up one byte.
        int pushes = 0;
        for (int i = 0; i < 6; i++) {
            got = exchange(request('Y', 2, 1, 1));
            if (got.size() == 2) {
                pushes++;
                EXPECT_EQ(Bytes(got[0].begin(), got[0].begin() + 3), (Bytes{'Y', 20, 2}));
                EXPECT_EQ(Bytes(got[0].begin() + 3, got[0].begin() + 7), status);
            }
        }
        int differing = 0;
        for (uint8_t b : status)
            differing += b != 0;
        EXPECT_EQ(pushes, differing);
        // The extended family has its own push, enabled by its table 2.
        setEventBit(1, 48);
        EXPECT_EQ(exchange(request('i', 1, 2)).size(), 1u);
        got = exchange(request('i', 2, 1, 3));
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0], (Bytes{'i', 20, 2, 0x02, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(exchange(request('i', 2, 1, 3)).size(), 1u);
    });
}

TEST_F(RemoteLtx, RadioTextIsWrittenReadAndForwarded)
{
    inOwnNetNamespace([this] {
        mkdir(sysPath("/mnt/ubi0/conf").c_str(), 0755);
        mkdir(sysPath("/mnt/ubi0/conf/rds").c_str(), 0755);
        std::string text = "Hello from the remote logic";
        Bytes write = {'i', 65, 1, 0, uint8_t(text.size())};
        write.insert(write.end(), text.begin(), text.end());
        setRadioTextFlag(0, 0);
        auto got = exchange(write);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], (Bytes{'i', 'Q', 0}));
        EXPECT_EQ(getRadioTextFlag(0), 1u);
        got = exchange({'i', 66, 1});
        ASSERT_EQ(got.size(), 1u);
        Bytes expect = {'i', 'R', 1, 0, uint8_t(text.size())};
        expect.insert(expect.end(), text.begin(), text.end());
        EXPECT_EQ(got[0], expect);

        // A long text fits the reply whole.
        std::string longText(520, 'x');
        Bytes longWrite = {'i', 65, 2, 0x02, 0x08};
        longWrite.insert(longWrite.end(), longText.begin(), longText.end());
        EXPECT_EQ(exchange(longWrite), (std::vector<Bytes>{{'i', 'Q', 0}}));
        got = exchange({'i', 66, 2});
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].size(), 525u);

        // A length beyond the bytes received, or a data set outside 1 to 7,
        // writes nothing.
        Bytes shortWrite = {'i', 65, 3, 0, 40, 'a', 'b'};
        EXPECT_EQ(exchange(shortWrite), (std::vector<Bytes>{{'i', 'Q', 10}}));
        EXPECT_NE(access(sysPath("/mnt/ubi0/conf/rds/rt_rds_3").c_str(), F_OK), 0);
        EXPECT_EQ(exchange({'i', 65, 8, 0, 1, 'a'}), (std::vector<Bytes>{{'i', 'Q', 10}}));
        EXPECT_EQ(exchange({'i', 65, 0, 0, 1, 'a'}), (std::vector<Bytes>{{'i', 'Q', 10}}));
        EXPECT_EQ(exchange({'i', 66, 3}), (std::vector<Bytes>{{'i', 'R', 0, 9}}));
        EXPECT_EQ(exchange({'i', 66, 0}), (std::vector<Bytes>{{'i', 'R', 0, 9}}));

        // A local RadioText change of a slave exciter goes to the remote
        // logic with the link's extended letter.
        setExciterMode(1);
        EXPECT_EQ(COMTAB_WriteElement(22, 36, 1), 0u);
        got = gather();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].size(), 525u);
        EXPECT_EQ(Bytes(got[0].begin(), got[0].begin() + 5), (Bytes{'i', 'R', 2, 0x02, 0x08}));
        setExciterMode(0);
        EXPECT_EQ(remoteLtxSendRadioText(3), 9);
    });
}

TEST_F(RemoteLtx, RadioTextSendsFromAnotherThreadInterleaveWholeMessages)
{
    inOwnNetNamespace([this] {
        mkdir(sysPath("/mnt/ubi0/conf").c_str(), 0755);
        mkdir(sysPath("/mnt/ubi0/conf/rds").c_str(), 0755);
        std::string text(300, 'r');
        std::ofstream(sysPath("/mnt/ubi0/conf/rds/rt_rds_1")) << text;
        exchange(request('Y', 2, 1, 1)); // the link learns its peer
        int sent = 0;
        std::thread writer([&] {
            for (int i = 0; i < 100; i++)
                sent += remoteLtxSendRadioText(1) == 0;
        });
        std::vector<Bytes> got;
        for (int i = 0; i < 100; i++) {
            auto more = exchange(request('Y', 2, 1, 3));
            got.insert(got.end(), more.begin(), more.end());
        }
        writer.join();
        auto rest = gather(200);
        got.insert(got.end(), rest.begin(), rest.end());
        EXPECT_EQ(sent, 100);
        int texts = 0;
        int replies = 0;
        for (const Bytes& b : got) {
            if (b.size() == 305 && b[0] == 'i' && b[1] == 'R' && b[2] == 1)
                texts++;
            else if (b == Bytes{'Y', 17, 1, 3, 11, 0, 0, 0})
                replies++;
            else
                ADD_FAILURE() << "a datagram of " << b.size() << " bytes";
        }
        EXPECT_EQ(replies, 100);
        EXPECT_EQ(texts, 100);
    });
}

TEST_F(RemoteLtx, ReserveUnitWritesPrintTheirChangeCode)
{
    inOwnNetNamespace([this] {
        setNplus1Mode(1);
        struct Case {
            uint8_t table;
            uint8_t element;
            uint32_t value;
            int code;
        } cases[] = {{3, 9, 1, 0}, {3, 10, 1, 0}, {3, 11, 5, 1}, {3, 20, 0, 1}, {10, 2, 0, -1}, {4, 9, 0, -1}};
        for (const Case& c : cases) {
            testing::internal::CaptureStdout();
            exchange(request('X', 3, c.table, c.element, c.value));
            std::string out = testing::internal::GetCapturedStdout();
            char line[64];
            snprintf(line, sizeof line, "TAB=%d,EL=%d --> SetChange %d\n", c.table, c.element, c.code);
            EXPECT_EQ(out.find(line) != std::string::npos, c.code >= 0) << out;
            EXPECT_EQ(out.find("SetChange") != std::string::npos, c.code >= 0) << out;
        }
        setNplus1Mode(0);
        testing::internal::CaptureStdout();
        exchange(request('X', 3, 3, 11, 6));
        EXPECT_EQ(testing::internal::GetCapturedStdout().find("SetChange"), std::string::npos);
    });
}

} // namespace
