// The four XML configuration files: the document frame, loads and their
// failures, crash-safe saves.
#include "persist/xmlConfig.h"

#include "Config/configCycle.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/systemKeys.h"
#include "alarms/alarmObjects.h"
#include "audio/fmRxMonitor.h"
#include "core/base/locks.h"
#include "persist/configStore.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char* const kFiles[] = {"/mnt/ubi0/conf/configuration.xml", "/mnt/ubi0/conf/control_net.xml",
                              "/mnt/ubi0/conf/audio_processor.xml", "/mnt/ubi0/conf/configuration_factory.xml"};
const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

class XmlConfig : public SandboxTest {
protected:
    XmlConfig() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        // The loaders retune the transmitter after a load, which takes the
        // FPGA exchange lock; the daemon creates it before the first load.
        SemMutexInit();
        registerConfigStore();
    }
    void TearDown() override
    {
        setConfigFileStore(nullptr);
        SandboxTest::TearDown();
    }
    void put(const char* path, const std::string& text)
    {
        simMakeDirs(host("/mnt/ubi0/conf").c_str());
        std::ofstream(host(path), std::ios::binary) << text;
    }
    bool exists(const char* path) const
    {
        struct stat sb;
        return stat(host(path).c_str(), &sb) == 0;
    }
    // Parses a file with Python's expat parser, which is independent of
    // libxml2: "" when well-formed, else the parser's complaint.
    std::string expat(const char* path) const
    {
        std::string cmd = "python3 -c 'import sys, xml.parsers.expat as e\n"
                          "p = e.ParserCreate()\n"
                          "try:\n"
                          "    p.ParseFile(open(sys.argv[1], \"rb\"))\n"
                          "except Exception as x:\n"
                          "    print(x)' '" +
                          host(path) + "' 2>&1";
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[256];
            while (fgets(buf, sizeof buf, p))
                out += buf;
            pclose(p);
        }
        return out;
    }
    void setNetwork()
    {
        setFrontEthernetIPAddress(inet_addr("192.168.0.10"));
        setFrontEthernetIPGateway(inet_addr("192.168.0.1"));
        setRearEthernetIPAddress(inet_addr("10.0.0.2"));
        setRearEthernetIPGateway(inet_addr("10.0.0.1"));
        setFrontEthernetIPNetmask(inet_addr("255.255.255.0"));
        setRearEthernetIPNetmask(inet_addr("255.0.0.0"));
        setRearEthernetAutoneg(1);
        setRearEthernetDuplex(0);
        setRearEthernetSpeed(2);
    }
};

TEST_F(XmlConfig, SavedFilesHaveTheDocumentFrameEveryCrateIdAndParseWithAnotherParser)
{
    setNetwork();
    ASSERT_EQ(saveConfigToFiles(), 0);
    EXPECT_EQ(readSandboxFile(kFiles[1]),
              std::string(kDeclaration) +
                  "<vrl><platform>"
                  "<front_Ethernet_IP_address>192.168.0.10</front_Ethernet_IP_address>"
                  "<front_Ethernet_IP_gateway>192.168.0.1</front_Ethernet_IP_gateway>"
                  "<rear_Ethernet_IP_address>10.0.0.2</rear_Ethernet_IP_address>"
                  "<rear_Ethernet_IP_gateway>10.0.0.1</rear_Ethernet_IP_gateway>"
                  "<front_Ethernet_IP_netmask>255.255.255.0</front_Ethernet_IP_netmask>"
                  "<rear_Ethernet_IP_netmask>255.0.0.0</rear_Ethernet_IP_netmask>"
                  "<rear_Ethernet_Autoneg>1</rear_Ethernet_Autoneg>"
                  "<rear_Ethernet_Duplex>0</rear_Ethernet_Duplex>"
                  "<rear_Ethernet_Speed>2</rear_Ethernet_Speed>"
                  "<Cpu_vlan_id>0</Cpu_vlan_id>"
                  "<Gbe_A_vlan_id>0</Gbe_A_vlan_id>"
                  "<Gbe_B_vlan_id>0</Gbe_B_vlan_id>"
                  "<Ethernet_switch_config>LAN</Ethernet_switch_config>"
                  "</platform></vrl>\n");

    std::string ap = readSandboxFile(kFiles[2]);
    EXPECT_EQ(ap.rfind(std::string(kDeclaration) + "<vrl><audio_processor_common_dataset_crate>", 0), 0u) << ap;
    EXPECT_EQ(count(ap, "<audio_processor_common id="), 10u);
    EXPECT_EQ(count(ap, "<audio_processor_equalizer_dataset id="), 14u);
    EXPECT_EQ(count(ap, "<audio_processor_compressor_dataset id=\"13\""), 1u);
    EXPECT_NE(ap.find("</audio_processor_compressor_dataset_crate></vrl>\n"), std::string::npos);

    std::string main = readSandboxFile(kFiles[0]);
    for (const char* part : {"<vrl><global>", "</global><input", "<output>", "<synchroFM", "<logica_tx",
                             "<power_management", "<rds_common", "<rds_dataset_crate><rds_dataset id=\"0\"",
                             "<rds_dataset id=\"6\"", "<gsm_common", "<gsm_usr_slot id=\"9\"", "<platform>"})
        EXPECT_NE(main.find(part), std::string::npos) << part;
    EXPECT_EQ(main.find("gbe_video_ip"), std::string::npos) << "written only with the MPX-over-IP block";
    EXPECT_EQ(readSandboxFile(kFiles[3]).rfind(std::string(kDeclaration) + "<vrl><factory><level_rx_dBu>", 0), 0u);
    for (const char* f : kFiles) {
        EXPECT_EQ(expat(f), "") << f;
        EXPECT_FALSE(exists((std::string(f) + "_tmp").c_str()));
    }
}

TEST_F(XmlConfig, ValuesRoundTripAndLatin1AndControlBytesAsDecided)
{
    setNetwork();
    setKp(7);
    setHpaNomDrvPow(static_cast<uint32_t>(-120));
    // A Latin-1 byte and a byte XML 1.0 forbids.
    strcpy(getNTPNameServer(), "ntp\xe8\x01x");
    ASSERT_EQ(saveConfigToFiles(), 0);
    EXPECT_EQ(expat(kFiles[0]), "");
    EXPECT_NE(readSandboxFile(kFiles[0]).find("<NTP_name_server>ntp\xe8?x</NTP_name_server>"), std::string::npos)
        << "the file keeps ISO-8859-1 bytes";

    setKp(1);
    setHpaNomDrvPow(0);
    setRearEthernetIPAddress(0);
    strcpy(getNTPNameServer(), "other");
    EXPECT_EQ(loadConfigFromFiles(), 0);
    EXPECT_EQ(getKp(), 7);
    EXPECT_EQ(getHpaNomDrvPow(), -120);
    EXPECT_EQ(getRearEthernetIPAddress(), inet_addr("10.0.0.2"));
    EXPECT_STREQ(getNTPNameServer(), "ntp\xe8?x");
    std::string b = book();
    EXPECT_NE(b.find("INFO: >>> Load Config from File ...    \n"), std::string::npos);
    EXPECT_NE(b.find("INFO: >>> Load Config from File ... END   \n"), std::string::npos);
    EXPECT_EQ(b.find("FAILED"), std::string::npos) << b;
}

TEST_F(XmlConfig, FmReceiverSettingsCloseThePlatformSectionAndLoadBack)
{
    fmRx_Init();
    FmRxContext& c = *fmRx_GetContext();
    c.frqNom.set(&c.frqNom, 98500);
    c.intermFrqOffset.set(&c.intermFrqOffset, -2);
    c.preAmpMode.set(&c.preAmpMode, 1);
    CA_ALARMSET_Event_SetP(c.alarms, FMRX_ALM_SNR, 2, 12);
    CA_ALARMSET_Event_SetP(c.alarms, FMRX_ALM_RSSI, 2, -80);
    CA_ALARMSET_Event_SetP(c.alarms, FMRX_ALM_ASSI200, 4, -3);
    CA_ALARMSET_Event_SetP(c.alarms, FMRX_ALM_RSSI, 6, 2);
    c.rssiPresThd.set(&c.rssiPresThd, -70);
    c.snrPresThd.set(&c.snrPresThd, 15);
    uint32_t word = AlarmSet_GetConfigWord(c.alarms);
    ASSERT_EQ(saveConfigToFiles(), 0);
    std::string main = readSandboxFile(kFiles[0]);
    const std::string tail = "<FmRx_Frq_nom>98500</FmRx_Frq_nom><FmRx_IntermFrqOffset>-2</FmRx_IntermFrqOffset>"
                             "<FmRx_PreAmpMode>Enable</FmRx_PreAmpMode><AlmSet4702>" +
                             std::to_string(word) +
                             "</AlmSet4702><SNR_LoTh>12</SNR_LoTh><RSSI_LoTh>-80</RSSI_LoTh>"
                             "<ASSI200_UpTh>-3</ASSI200_UpTh><FmRx_RssiPresThd>-70</FmRx_RssiPresThd>"
                             "<FmRx_SnrPresThd>15</FmRx_SnrPresThd></platform>";
    size_t at = main.find("</Web_timer_error_timeout>");
    ASSERT_NE(at, std::string::npos) << main;
    EXPECT_EQ(main.substr(at + strlen("</Web_timer_error_timeout>"), tail.size()), tail);

    c.frqNom.set(&c.frqNom, 90000);
    c.intermFrqOffset.set(&c.intermFrqOffset, 0);
    c.preAmpMode.set(&c.preAmpMode, 0);
    CA_ALARMSET_Event_SetP(c.alarms, FMRX_ALM_SNR, 2, 8);
    CA_ALARMSET_Event_SetP(c.alarms, FMRX_ALM_RSSI, 2, -95);
    CA_ALARMSET_Event_SetP(c.alarms, FMRX_ALM_ASSI200, 4, -5);
    CA_ALARMSET_Event_SetP(c.alarms, FMRX_ALM_RSSI, 6, 1);
    c.rssiPresThd.set(&c.rssiPresThd, -85);
    c.snrPresThd.set(&c.snrPresThd, 10);
    EXPECT_EQ(loadConfigFromFiles(), 0);
    EXPECT_EQ(c.frqNom.get(&c.frqNom), 98500u);
    EXPECT_EQ(c.intermFrqOffset.get(&c.intermFrqOffset), -2);
    EXPECT_EQ(c.preAmpMode.get(&c.preAmpMode), 1);
    EXPECT_EQ(AlarmSet_GetConfigWord(c.alarms), word);
    EXPECT_EQ(CA_ALARMSET_Event_GetP(c.alarms, FMRX_ALM_SNR, 2), 12);
    EXPECT_EQ(CA_ALARMSET_Event_GetP(c.alarms, FMRX_ALM_RSSI, 2), -80);
    EXPECT_EQ(CA_ALARMSET_Event_GetP(c.alarms, FMRX_ALM_ASSI200, 4), -3);
    EXPECT_EQ(c.rssiPresThd.get(&c.rssiPresThd), -70);
    EXPECT_EQ(c.snrPresThd.get(&c.snrPresThd), 15);
}

TEST_F(XmlConfig, AllFilesMissingGiveMinusFourFourFailedLinesAndFourNewFiles)
{
    EXPECT_EQ(loadConfig(), -4);
    std::string b = book();
    for (const char* l : {"Factory", "ControlNet", "AudioProcessor", "Main"})
        EXPECT_EQ(count(b, std::string("ERR: applyXmlConfigToSystemImage_") + l + " FAILED\n"), 1u) << l;
    EXPECT_EQ(getEventBit(86), 1);
    for (const char* f : kFiles)
        EXPECT_TRUE(exists(f)) << f;
}

TEST_F(XmlConfig, BrokenAndForeignFilesLoadAsDecided)
{
    ASSERT_EQ(saveConfigToFiles(), 0);
    std::string factory = readSandboxFile(kFiles[3]);

    // Cut off: what was read stays, the load fails and the files are rewritten.
    setKp(3);
    put(kFiles[3], std::string(kDeclaration) + "<vrl><factory><Kp>9</Kp><KpH>4</K");
    EXPECT_EQ(applyXmlConfigToSystemImage_Factory(), -1);
    EXPECT_EQ(getKp(), 9);
    put(kFiles[3], std::string(kDeclaration) + "<vrl><factory><Kp>9</Kp><KpH>4</K");
    EXPECT_EQ(loadConfig(), -1);
    EXPECT_EQ(getEventBit(86), 1);
    EXPECT_NE(book().find("ERR: loadConfig - something goes wrong importing the XML file\n"), std::string::npos);
    EXPECT_EQ(expat(kFiles[3]), "") << "rewritten whole";

    // A document whose first node is no "vrl" is left alone.
    setKp(3);
    put(kFiles[3], std::string(kDeclaration) + "<!-- notes --><vrl><factory><Kp>9</Kp></factory></vrl>\n");
    EXPECT_EQ(applyXmlConfigToSystemImage_Factory(), 0);
    EXPECT_EQ(getKp(), 3);

    // Network keys in configuration.xml (an older file) are applied; an
    // empty key before a section's end keeps the next section.
    put(kFiles[0], std::string(kDeclaration) +
                       "<vrl><global><VrlDataFormat/></global><output><frequency_deviation>75</frequency_deviation>"
                       "</output><platform><rear_Ethernet_IP_address>10.9.8.7</rear_Ethernet_IP_address>"
                       "</platform></vrl>\n");
    EXPECT_EQ(applyXmlConfigToSystemImage_Main(), 0);
    EXPECT_EQ(getFrequencyDeviation(), 75);
    EXPECT_EQ(getRearEthernetIPAddress(), inet_addr("10.9.8.7"));

    // An empty file is no configuration document either, but a broken one.
    put(kFiles[1], "");
    EXPECT_EQ(applyXmlConfigToSystemImage_ControlNet(), -1);
}

TEST_F(XmlConfig, LeftoverTemporariesAreRemoved)
{
    for (const char* f : kFiles)
        put((std::string(f) + "_tmp").c_str(), "<vrl><fact");
    removeConfigTemporaries();
    for (const char* f : kFiles)
        EXPECT_FALSE(exists((std::string(f) + "_tmp").c_str())) << f;
}

TEST_F(XmlConfig, AFailedWriteKeepsThePreviousFileAndTheChangedGroups)
{
    ASSERT_EQ(saveConfigToFiles(), 0);
    std::string before[4];
    for (int i = 0; i < 4; i++)
        before[i] = readSandboxFile(kFiles[i]);

    // Every temporary is /dev/full: each write fails mid-way.
    for (const char* f : kFiles)
        ASSERT_EQ(symlink("/dev/full", host((std::string(f) + "_tmp").c_str()).c_str()), 0);
    setKp(42);
    markSaveConfigChanged(CONFIG_GROUP_SYNCHRO);
    for (uint32_t i = 0; i < SAVE_COUNTDOWN_TICKS; i++)
        testSaveConfigAfterApply();

    std::string b = book();
    EXPECT_NE(b.find("ERR: FAILED save the configuration to XML\n"), std::string::npos);
    EXPECT_NE(b.find("ERR: saveConfig - something goes wrong saving the XML file\n"), std::string::npos);
    EXPECT_NE(getSaveConfigChanged() & CONFIG_GROUP_SYNCHRO, 0u);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(readSandboxFile(kFiles[i]), before[i]) << kFiles[i];
        struct stat sb;
        EXPECT_NE(lstat(host((std::string(kFiles[i]) + "_tmp").c_str()).c_str(), &sb), 0) << "temporary left";
    }
    // The next save succeeds.
    testSaveConfigAfterApply();
    EXPECT_EQ(getSaveConfigChanged(), 0u);
    EXPECT_NE(readSandboxFile(kFiles[3]).find("<Kp>42</Kp>"), std::string::npos);
}

TEST_F(XmlConfig, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewFile)
{
    setKp(1);
    ASSERT_EQ(saveConfigToFiles(), 0);
    std::string one = readSandboxFile(kFiles[3]);
    setKp(2);
    ASSERT_EQ(saveConfigToFiles(), 0);
    std::string two = readSandboxFile(kFiles[3]);
    ASSERT_NE(one, two);

    std::mt19937 rng(20);
    for (int round = 0; round < 40; round++) {
        pid_t child = fork();
        if (child == 0) {
            for (uint32_t k = 0;; k++) {
                setKp(1 + (k & 1));
                saveConfigToFiles();
            }
        }
        ASSERT_GT(child, 0);
        usleep(static_cast<useconds_t>(rng() % 20000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        std::string now = readSandboxFile(kFiles[3]);
        ASSERT_TRUE(now == one || now == two) << "round " << round << ":\n" << now;
    }
}

} // namespace
