// The running daemon applies the Ethernet settings of control_net.xml to
// the veth pair eth0/eth1 of its own network namespace at boot.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

std::string run(const std::string& cmd)
{
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

// The loopback, up inside the daemon's new namespace (the sandbox adds the
// veth pair eth0/eth1 itself).
bool loopbackUp()
{
    return system("ip link set lo up") == 0;
}

class EthernetDaemon : public DaemonSandboxTest {};

TEST_F(EthernetDaemon, BootAppliesControlNetToBothInterfaces)
{
    ASSERT_EQ(system(("mkdir -p " + root + "/mnt/ubi0/conf").c_str()), 0);
    std::ofstream(root + "/mnt/ubi0/conf/control_net.xml")
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
           "<vrl><platform>"
           "<front_Ethernet_IP_address>192.168.7.10</front_Ethernet_IP_address>"
           "<front_Ethernet_IP_gateway>0.0.0.0</front_Ethernet_IP_gateway>"
           "<rear_Ethernet_IP_address>10.200.8.30</rear_Ethernet_IP_address>"
           "<rear_Ethernet_IP_gateway>10.200.8.1</rear_Ethernet_IP_gateway>"
           "<front_Ethernet_IP_netmask>255.255.255.0</front_Ethernet_IP_netmask>"
           "<rear_Ethernet_IP_netmask>255.255.255.0</rear_Ethernet_IP_netmask>"
           "<rear_Ethernet_Autoneg>0</rear_Ethernet_Autoneg>"
           "<rear_Ethernet_Duplex>1</rear_Ethernet_Duplex>"
           "<rear_Ethernet_Speed>0</rear_Ethernet_Speed>"
           "</platform></vrl>\n";
    if (!start(loopbackUp))
        GTEST_SKIP() << "no network namespace with a veth pair here; the daemon is not run outside one";
    std::string note;
    while ((note = nextNotify(20000)).rfind("MAINPID=", 0) == 0) {
    }
    ASSERT_EQ(note, "READY=1");

    std::string ns = "nsenter --net=/proc/" + std::to_string(pid) + "/ns/net ";
    std::string addrs = run(ns + "ip -4 -br addr");
    EXPECT_NE(addrs.find("192.168.7.10/24"), std::string::npos) << addrs;
    EXPECT_NE(addrs.find("10.200.8.30/24"), std::string::npos) << addrs;
    std::string routes = run(ns + "ip -4 route show default");
    EXPECT_EQ(routes.rfind("default via 10.200.8.1 dev eth1", 0), 0u) << routes;
    EXPECT_EQ(routes.find("default", 1), std::string::npos) << routes;

    std::string book = file("/mnt/ubi0/log/VRL_Book.log");
    EXPECT_NE(book.find("INFO: Fix-up EMAC0: Success"), std::string::npos) << book;
    EXPECT_NE(book.find("INFO: ethtool -s eth1 speed 100 duplex half autoneg off calling"), std::string::npos);
    EXPECT_NE(file("/var/log/standin.log").find("ethtool -s eth1 speed 100 duplex half autoneg off\n"),
              std::string::npos);
    EXPECT_EQ(runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga read 0xFF200100"), "0x00000003\n");
}

} // namespace
