// Ethernet manager: parameters of the running copies, validation, the
// pending configuration applied to a veth pair eth0/eth1 in a network
// namespace of the test's own, the link mode through ethtool, the status
// record and ip.conf.
#include "links/ethernetSettings.h"

#include "Config/StrutturaDati.h"
#include "Config/configCycle.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/commandTable.h"
#include "hw/fpgaWindows.h"
#include "hw/tests/boardFixture.h"
#include "platform/io.h"
#include "sim/board.h"
#include "sim/programs.h"
#include "testing/testNetwork.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sched.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

uint32_t ip(const char* text)
{
    return inet_addr(text);
}

// Output of a command run in the caller's namespace.
std::string run(const char* cmd)
{
    std::string out;
    if (FILE* p = popen(cmd, "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

bool sameNetNamespaceAsInit()
{
    struct stat self, first;
    return stat("/proc/self/ns/net", &self) != 0 ||
           (stat("/proc/1/ns/net", &first) == 0 && self.st_ino == first.st_ino && self.st_dev == first.st_dev);
}

class EthernetSettings : public BoardFixture {
protected:
    void SetUp() override
    {
        BoardFixture::SetUp();
        ASSERT_EQ(initAxi(), 0);
        simClearStandInCalls();
    }
    void TearDown() override
    {
        closeAxi();
        BoardFixture::TearDown();
    }

    // Runs `body` in a forked child inside a network namespace of its own
    // holding the veth pair eth0/eth1; the machine's interfaces are never
    // touched.
    void inOwnNetNamespace(const std::function<void()>& body) { inBoardNetwork(body); }
};

TEST_F(EthernetSettings, ParametersReadByIdAndChangedInTheRunningCopy)
{
    setRearEthernetIPAddress(ip("10.200.8.25"));
    setRearEthernetIPNetmask(ip("255.255.255.0"));
    setRearEthernetIPGateway(ip("10.200.8.254"));
    getSystemImage()->net.rearPendingApply = 0;
    ETHM_CopyRunningToPendingEth0(); // zeros stay zeros
    ASSERT_EQ(ETHM_ChangeCfg(8, 0x0011A2B3, 0), 0);
    ASSERT_EQ(ETHM_ChangeCfg(9, 0x0000C4D5, 0), 0);
    ASSERT_EQ(ETHM_ChangeCfg(10, ip("10.200.8.25"), 0), 0);
    ASSERT_EQ(ETHM_ChangeCfg(11, ip("255.255.255.0"), 0), 0);
    ASSERT_EQ(ETHM_ChangeCfg(12, ip("10.200.8.254"), 0), 0);

    struct Case {
        uint32_t id;
        int result;
        uint32_t value;
    } cases[] = {
        {8, 0, 0x0011A2B3},  {9, 0, 0xC4D5},       {10, 0, ip("10.200.8.25")}, {11, 0, ip("255.255.255.0")},
        {12, 0, ip("10.200.8.254")}, {13, 9, 0}, {14, 0, 0}, {6, 9, 0}, {7, 0, 0}, {3, 0, 0},
        {0, 1, 0xFFFFFFFF},  {15, 1, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        uint32_t v = 0x12345678;
        EXPECT_EQ(ETHM_GetParam(c.id, &v), c.result) << c.id;
        EXPECT_EQ(v, c.value) << c.id;
    }
    // The MAC bytes also reach the configured pending MAC of the rear port.
    const uint8_t mac[6] = {0x00, 0x11, 0xA2, 0xB3, 0xC4, 0xD5};
    EXPECT_EQ(memcmp(getSystemImage()->net.rearMacReceived, mac, 6), 0);

    uint32_t all[14], count = 0;
    ASSERT_EQ(ETHM_GetAll(all, &count), 0);
    EXPECT_EQ(count, 56u);
    EXPECT_EQ(all[7], 0x0011A2B3u);
    EXPECT_EQ(all[9], ip("10.200.8.25"));
    EXPECT_EQ(all[12], 0u);

    // Check only: accepted, nothing stored; ids without a change give -1.
    EXPECT_EQ(ETHM_ChangeCfg(3, ip("1.2.3.4"), 1), 0);
    EXPECT_EQ(ETHM_GetRunningCfg(0)->address, 0u);
    for (uint32_t id : {0u, 7u, 14u, 15u})
        EXPECT_EQ(ETHM_ChangeCfg(id, 1, 0), -1) << id;
}

TEST_F(EthernetSettings, ApplyRequestValidatesTheRunningCopy)
{
    setRearEthernetIPAddress(ip("10.200.8.25"));
    setRearEthernetIPNetmask(ip("255.255.255.0"));
    setRearEthernetIPGateway(ip("10.200.8.254"));
    ETHM_ChangeCfg(10, ip("10.200.8.25"), 0);
    ETHM_ChangeCfg(11, ip("255.255.255.0"), 0);

    // A gateway outside the subnet is refused and the copy reloaded.
    ETHM_ChangeCfg(12, ip("10.200.9.1"), 0);
    EXPECT_EQ(ETHM_ChangeCfg(13, 1, 0), 11);
    EXPECT_EQ(ETHM_GetRunningCfg(1)->gateway, ip("10.200.8.254"));
    EXPECT_EQ(count(book(), "ERR: ETHM_ChangeCfg() on eth1 failed: wrong configuration"), 1u);
    EXPECT_EQ(getCommandRequest(1), 0u);

    // Gateway 0.0.0.0 passes; check only requests nothing.
    ETHM_ChangeCfg(12, 0, 0);
    EXPECT_EQ(ETHM_ChangeCfg(13, 1, 1), 0);
    EXPECT_EQ(getCommandRequest(1), 0u);
    EXPECT_EQ(ETHM_ChangeCfg(13, 1, 0), 0);
    EXPECT_EQ(getCommandRequest(1), 1u);
}

TEST_F(EthernetSettings, PendingFlagFollowsChangedSettersAndGatesTheApply)
{
    NetworkRegion& n = getSystemImage()->net;
    n.frontPendingApply = n.rearPendingApply = 0;
    setRearEthernetIPNetmask(getRearEthernetIPNetmask());
    EXPECT_EQ(n.rearPendingApply, 0) << "an unchanged value marks nothing";
    setFrontEthernetIPGateway(ip("192.168.0.254"));
    EXPECT_EQ(n.frontPendingApply, 1);
    EXPECT_EQ(n.rearPendingApply, 0);
    // Nothing pending: nothing applied, no interface call.
    EXPECT_EQ(ETHM_ApplyPendingCfgEth1(), 0);
    EXPECT_EQ(count(book(), "configuration changed"), 0u);
}

TEST_F(EthernetSettings, LinkModeRunsEthtool)
{
    inOwnNetNamespace([] {
    struct Case {
        uint8_t autoneg, duplex, speed;
        const char* line;
    } cases[] = {
        {1, 1, 1, "ethtool -s eth1 autoneg on"},
        {0, 1, 0, "ethtool -s eth1 speed 100 duplex half autoneg off"},
        {0, 0, 1, "ethtool -s eth1 speed 10 duplex full autoneg off"},
    };
    for (const Case& c : cases) {
        setRearEthernetAutoneg(c.autoneg);
        setRearEthernetDuplex(c.duplex);
        setRearEthernetSpeed(c.speed);
        // The link bytes reach the running copy with its load.
        simClearStandInCalls();
        ETHM_LoadRunningCfgEth1();
        EXPECT_EQ(simStandInCalls(), std::vector<std::string>{c.line});
        EXPECT_EQ(count(book(), std::string("INFO: ") + c.line + " calling"), 1u) << c.line;
    }
    });
}

TEST_F(EthernetSettings, StatusRecordHoldsTheConfiguredValues)
{
    setFrontEthernetIPAddress(ip("192.168.7.10"));
    setFrontEthernetIPNetmask(ip("255.255.255.0"));
    setFrontEthernetIPGateway(ip("192.168.7.1"));
    setRearEthernetIPAddress(ip("10.200.8.30"));
    setRearEthernetIPNetmask(ip("255.255.255.0"));
    setRearEthernetIPGateway(ip("10.200.8.1"));
    setCpuVlanId(12);
    setCommandStatus(1, 3);
    NetworkStatusRecord r;
    memset(&r, 0xAB, sizeof r);
    ASSERT_EQ(fillNetworkStatus(&r), 0);
    const uint32_t want[15] = {ip("192.168.7.10"), ip("255.255.255.0"), ip("192.168.7.1"),
                               getCommandRequest(0), getCommandStatus(0),
                               ip("10.200.8.30"), ip("255.255.255.0"), ip("10.200.8.1"),
                               getCommandRequest(1), 3,
                               getFrontEthernetIPOldGateway(), getRearEthernetIPOldGateway(), 1, 12,
                               LogicaTx_GetKeyLockWord()};
    const uint32_t* got = reinterpret_cast<const uint32_t*>(&r);
    for (size_t i = 0; i < std::size(want); i++)
        EXPECT_EQ(got[i], want[i]) << "word " << i;
    for (uint32_t w : r.unused)
        EXPECT_EQ(w, 0u);
    EXPECT_EQ(fillNetworkStatus(nullptr), 16);
}

TEST_F(EthernetSettings, IpConfWrittenAndReadBack)
{
    inOwnNetNamespace([this] {
        ETHM_ApplyDefaultCfg();
        simMakeDirs(host("/mnt/ubi0/conf").c_str());
        ASSERT_EQ(ETHM_WriteIpConf(), 0);
        EXPECT_EQ(readSandboxFile("/mnt/ubi0/conf/ip.conf"),
                  "# net interface 0\nexport SYSCFG_IFACE0=y\nexport INTERFACE0=\"eth0\"\n"
                  "export IPADDR0=\"192.168.0.1\"\nexport NETMASK0=\"255.255.0.0\"\nexport GATEWAY0=\"0.0.0.0\"\n"
                  "# net interface 1\nexport SYSCFG_IFACE1=y\nexport INTERFACE1=\"eth1\"\n"
                  "export IPADDR1=\"10.200.8.25\"\nexport NETMASK1=\"255.255.255.0\"\n"
                  "export GATEWAY1=\"10.200.8.254\"\n");
        ASSERT_EQ(ETHM_WriteIpConf(), 0);
        EXPECT_EQ(readSandboxFile("/mnt/ubi0/conf/ip.conf.old"), readSandboxFile("/mnt/ubi0/conf/ip.conf"));

        // A line longer than 40 characters is not taken.
        FILE* f = fopen(host("/mnt/ubi0/conf/ip.conf").c_str(), "a");
        fputs("export INTERFACE1=\"eth1\"\nexport IPADDR1=\"10.200.8.26\"                   \"\n", f);
        fclose(f);
        ASSERT_EQ(ETHM_ReadIpConf(), 0);
        EXPECT_STREQ(ETHM_GetIpConfRecord(0)->address, "192.168.0.1");
        EXPECT_STREQ(ETHM_GetIpConfRecord(0)->netmask, "255.255.0.0");
        EXPECT_STREQ(ETHM_GetIpConfRecord(1)->address, "10.200.8.25");
        EXPECT_STREQ(ETHM_GetIpConfRecord(1)->gateway, "10.200.8.254");

        unlink(host("/mnt/ubi0/conf/ip.conf").c_str());
        unlink(host("/mnt/ubi0/conf/ip.conf.old").c_str());
        EXPECT_EQ(ETHM_ReadIpConf(), 9);
        EXPECT_EQ(count(book(), "ERR: Cannot read kernel ethernet configuration"), 1u);
    });
}

// The seam refuses interface and route changes in a namespace that holds
// the machine's interfaces. The name exists nowhere, so even a refusal that
// failed would change nothing.
TEST_F(EthernetSettings, InterfaceChangesAreRefusedOutsideASimulatedNamespace)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    struct ifreq r = {};
    strcpy(r.ifr_name, "corvnone0");
    // Every interface but the loopback and veth ones is the machine's.
    std::string foreign = run("ip -d -o link show | grep -v ' lo:' | grep -vw veth");
    if (sameNetNamespaceAsInit() || !foreign.empty()) {
        errno = 0;
        EXPECT_EQ(ioIoctl(fd, SIOCSIFFLAGS, &r), -1);
        EXPECT_EQ(errno, EPERM);
    }
    close(fd);
    inOwnNetNamespace([] {
        int s = socket(AF_INET, SOCK_DGRAM, 0);
        struct ifreq q = {};
        strcpy(q.ifr_name, "corvnone0");
        errno = 0;
        EXPECT_EQ(ioIoctl(s, SIOCSIFFLAGS, &q), -1);
        EXPECT_EQ(errno, ENODEV) << "the namespace of veth interfaces is the simulation's";
        close(s);
    });
}

TEST_F(EthernetSettings, PendingEth1ReplacesAddressAndDefaultRoute)
{
    inOwnNetNamespace([] {
        // A running eth1 with its first default route.
        setRearEthernetAutoneg(1);
        setRearEthernetIPAddress(ip("10.200.7.30"));
        setRearEthernetIPNetmask(ip("255.255.255.0"));
        setRearEthernetIPGateway(ip("10.200.7.1"));
        ASSERT_EQ(ETHM_ApplyPendingCfgEth1(), 0);
        EXPECT_EQ(run("ip -4 route show default").rfind("default via 10.200.7.1 dev eth1", 0), 0u);

        setRearEthernetIPAddress(ip("10.200.8.30"));
        setRearEthernetIPGateway(ip("10.200.8.1"));
        EXPECT_EQ(getSystemImage()->net.rearPendingApply, 1);
        EXPECT_EQ(ETHM_ApplyPendingCfgEth1(), 0);
        EXPECT_EQ(getSystemImage()->net.rearPendingApply, 0);
        EXPECT_NE(run("ip -4 -br addr show eth1").find("10.200.8.30/24"), std::string::npos);
        std::string routes = run("ip -4 route show default");
        EXPECT_EQ(routes.rfind("default via 10.200.8.1 dev eth1", 0), 0u) << routes;
        EXPECT_EQ(count(routes, "default"), 1u) << "the previous route is gone";
        EXPECT_EQ(count(book(), "INFO: eth1 configuration changed"), 2u);
        EXPECT_EQ(simStandInCalls().back(), "ethtool -s eth1 autoneg on");
    });
}

TEST_F(EthernetSettings, WrongPendingEth0FallsBackToTheDefaults)
{
    inOwnNetNamespace([] {
        setFrontEthernetIPAddress(ip("192.168.7.10"));
        setFrontEthernetIPNetmask(ip("0.0.0.0"));
        EXPECT_EQ(ETHM_ApplyPendingCfgEth0(), -1);
        EXPECT_EQ(count(book(), "ERR: ETHM_ChangeCfg() on eth0 failed: wrong configuration"), 1u);
        EXPECT_EQ(getFrontEthernetIPAddress(), ip("192.168.0.1"));
        EXPECT_EQ(getFrontEthernetIPNetmask(), ip("255.255.0.0"));
        EXPECT_EQ(getSystemImage()->net.frontPendingApply, 0);
        EXPECT_NE(run("ip -4 -br addr show eth0").find("192.168.0.1/16"), std::string::npos);
        // Gateway 0.0.0.0: no default route.
        EXPECT_EQ(run("ip -4 route show default"), "");
        EXPECT_EQ(count(book(), "INFO: Fix-up EMAC0: Success"), 1u);
        EXPECT_EQ(count(book(), "INFO: eth0 configuration changed"), 1u);
        EXPECT_TRUE(simStandInCalls().empty()) << "eth0 has no link mode";
    });
}

} // namespace

namespace {

TEST_F(EthernetSettings, NetworkSettingsRecordIsStoredAndApplied)
{
    inOwnNetNamespace([] {
        NetworkSettingsRecord rec = {};
        rec.frontAddress = ip("192.168.7.10");
        rec.frontNetmask = ip("255.255.255.0");
        rec.rearAddress = ip("10.200.8.30");
        rec.rearGateway = ip("10.200.8.1");
        rec.rearNetmask = ip("255.255.255.0");
        rec.portWord[1] = 0x0a000001;
        rec.websRefreshTime = 7;
        rec.webTimerErrorTimeout = 30;
        EXPECT_EQ(applyNetworkSettingsRecord(&rec), 0);
        EXPECT_EQ(getPortWord(1), 0x0a000001u);
        EXPECT_EQ(getWebsRefreshTime(), 7);
        EXPECT_NE(run("ip -4 -br addr show eth0").find("192.168.7.10/24"), std::string::npos);
        EXPECT_NE(run("ip -4 -br addr show eth1").find("10.200.8.30/24"), std::string::npos);

        // A gateway outside eth1's subnet: eth1 falls back to its defaults, -1.
        rec.rearGateway = ip("10.200.9.1");
        EXPECT_EQ(applyNetworkSettingsRecord(&rec), -1);
        EXPECT_EQ(getRearEthernetIPAddress(), ip("10.200.8.25"));
    });
}

TEST_F(EthernetSettings, NetworkSettingsRecordIsExportedWhileTheNetworkGroupIsMarked)
{
    NetworkSettingsRecord rec;
    memset(&rec, 0xEE, sizeof rec);
    clearConfigChanged();
    ASSERT_EQ(exportNetworkSettingsRecord(&rec), 0);
    EXPECT_EQ(rec.frontAddress, 0xEEEEEEEEu) << "nothing marked: the record is left";

    setRearEthernetIPNetmask(ip("255.255.0.0"));
    setWebsRefreshTime(9);
    setWebTimerErrorTimeout(0x1234);
    ASSERT_EQ(exportNetworkSettingsRecord(&rec), 0);
    EXPECT_EQ(rec.rearNetmask, ip("255.255.0.0"));
    uint8_t raw[40];
    memcpy(raw, &rec, sizeof raw);
    // Word 8: the first byte, the second byte << 8, then the 16-bit item.
    uint32_t word8;
    memcpy(&word8, raw + 32, 4);
    EXPECT_EQ(word8 & 0xFFFFu, (9u << 8) | getMpxDigDebugMsgEna());
    EXPECT_EQ(word8 >> 16, 0x1234u);
}

} // namespace
