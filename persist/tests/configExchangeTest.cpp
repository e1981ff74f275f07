// Snapshots, presets, USB-key and web exchange, resets, and an import while
// a save is waiting.
#include "persist/configExchange.h"

#include "Config/configCycle.h"
#include "Config/keys/audioKeys.h"
#include "core/base/locks.h"
#include "persist/configStore.h"
#include "persist/xmlConfig.h"
#include "platform/clock.h"
#include "sim/board.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

int keyMounted()
{
    return 1;
}
int keyAbsent()
{
    return 0;
}

class ConfigExchange : public SandboxTest {
protected:
    ConfigExchange() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        SemMutexInit();
        registerConfigStore();
        setUsbKeyProbe(keyMounted);
        put("/mnt/ubi0/conf/configuration.xml", "live");
    }
    void TearDown() override
    {
        setUsbKeyProbe(nullptr);
        setConfigFileStore(nullptr);
        SandboxTest::TearDown();
    }
    void put(const char* path, const std::string& text)
    {
        std::string p = host(path);
        simMakeDirs(p.substr(0, p.rfind('/')).c_str());
        std::ofstream(p, std::ios::binary) << text;
    }
    std::string get(const char* path) const
    {
        std::ifstream in(host(path), std::ios::binary);
        if (!in)
            return "<missing>";
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool exists(const char* path) const
    {
        struct stat sb;
        return stat(host(path).c_str(), &sb) == 0;
    }
    void failTool(const char* name, int status)
    {
        put((std::string("/var/lib/standin/status/") + name).c_str(), std::to_string(status));
    }
};

TEST_F(ConfigExchange, SnapshotsAndPresetsCopyIntoPlaceAndKeepTheFirstLabel)
{
    EXPECT_EQ(saveConkConfig(2), 0);
    EXPECT_EQ(get("/mnt/ubi0/conf/conk/rsv_cfg_2/configuration.xml"), "live");
    EXPECT_FALSE(exists("/mnt/ubi0/conf/conk/rsv_cfg_2/configuration.xml_tmp"));
    put("/mnt/ubi0/conf/configuration.xml", "changed");
    EXPECT_EQ(loadConkConfig(2), 0);
    EXPECT_EQ(get("/mnt/ubi0/conf/configuration.xml"), "live");

    // A missing snapshot leaves the live file and says which file it missed.
    EXPECT_NE(loadConkConfig(3), 0);
    EXPECT_EQ(get("/mnt/ubi0/conf/configuration.xml"), "live");
    EXPECT_NE(book().find("ERR: Load configuration FAILED -- File /mnt/ubi0/conf/conk/rsv_cfg_3/configuration.xml "
                          "not found\n"),
              std::string::npos);

    EXPECT_EQ(savePresetConfig(2), 0);
    EXPECT_EQ(get("/mnt/ubi0/conf/preset/cfg_2/configuration_name"), "Preset 2");
    put("/mnt/ubi0/conf/preset/cfg_2/configuration_name", "Morning");
    put("/mnt/ubi0/conf/configuration.xml", "second");
    EXPECT_EQ(savePresetConfig(2), 0);
    EXPECT_EQ(get("/mnt/ubi0/conf/preset/cfg_2/configuration_name"), "Morning");
    EXPECT_EQ(get("/mnt/ubi0/conf/preset/cfg_2/configuration.xml"), "second");
    put("/mnt/ubi0/conf/configuration.xml", "third");
    EXPECT_EQ(loadPresetConfig(2), 0);
    EXPECT_EQ(get("/mnt/ubi0/conf/configuration.xml"), "second");
    EXPECT_NE(loadPresetConfig(4), 0);
    EXPECT_EQ(get("/mnt/ubi0/conf/configuration.xml"), "second");
}

TEST_F(ConfigExchange, UsbLoadTakesThePlainDirectoryNamedFirst)
{
    put("/mnt/usbkey/configuration/myconf/configuration.xml", "from key");
    put("/mnt/usbkey/configuration/withPresets/configuration.xml", "with presets");
    put("/mnt/usbkey/configuration/withPresets/preset/cfg_1/configuration.xml", "preset one");
    put("/mnt/usbkey/configuration.xml", "outside");
    put("/mnt/usbkey/configuration/a/b/configuration.xml", "nested");
    struct Case {
        const char* nameFile;
        int result;
        const char* live;
    } cases[] = {
        {"myconf extra words\n", 0, "from key"},  // the first word only
        {"withPresets\n", 0, "with presets"},     // presets copied too
        {"..\n", -1, "live"},                     // nothing outside the folder
        {"a/b\n", -1, "live"},
        {"missing\n", -1, "live"},
        {"\n", -1, "live"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nameFile);
        put("/mnt/ubi0/conf/configuration.xml", "live");
        put("/tmp/configuration.xml.name", c.nameFile);
        EXPECT_EQ(copyXmlConfigFromUsb(), c.result);
        EXPECT_EQ(get("/mnt/ubi0/conf/configuration.xml"), c.live);
    }
    EXPECT_EQ(get("/mnt/ubi0/conf/preset/cfg_1/configuration.xml"), "preset one");

    // A failed preset copy is reported; without the key nothing is read.
    failTool("cp", 1);
    put("/tmp/configuration.xml.name", "withPresets");
    EXPECT_NE(copyXmlConfigFromUsb(), 0);
    EXPECT_NE(book().find("ERR: FAILED load preset configurations to USB"), std::string::npos);
    setUsbKeyProbe(keyAbsent);
    put("/mnt/ubi0/conf/configuration.xml", "live");
    EXPECT_EQ(copyXmlConfigFromUsb(), -1);
    EXPECT_EQ(get("/mnt/ubi0/conf/configuration.xml"), "live");
}

TEST_F(ConfigExchange, UsbSaveNamesTheDirectoryByLocalTime)
{
    setenv("TZ", "UTC", 1);
    tzset();
    clockUseVirtual(1000000000LL, 1772719629LL); // 2026-03-05 14:07:09 UTC
    put("/mnt/ubi0/conf/preset/cfg_1/configuration.xml", "preset one");
    simMakeDirs(host("/mnt/usbkey").c_str()); // the key's mount point
    EXPECT_EQ(saveXmlConfigToUsb(), 0);
    EXPECT_EQ(get("/mnt/usbkey/configuration/config_050326-14_07_09/configuration.xml"), "live");
    EXPECT_EQ(get("/mnt/usbkey/configuration/config_050326-14_07_09/preset/cfg_1/configuration.xml"), "preset one");

    clockAdvanceUs(2000000);
    failTool("cp", 1);
    EXPECT_NE(saveXmlConfigToUsb(), 0);
    EXPECT_NE(book().find("ERR: FAILED save preset configurations to USB"), std::string::npos);
    setUsbKeyProbe(keyAbsent);
    EXPECT_EQ(saveXmlConfigToUsb(), -1);
    clockUseReal();
}

TEST_F(ConfigExchange, WebImportSwapsDirectoriesOnlyOnceCopied)
{
    put("/mnt/ubi0/conf/conk/rsv_cfg_1/configuration.xml", "old snapshot");
    put("/mnt/ubi0/conf/snmp/snmpd.conf", "old snmp");
    put("/usr/local/www/Setup/net_configuration/temp/configuration.xml", "uploaded");
    put("/usr/local/www/Setup/net_configuration/temp/conk/rsv_cfg_2/configuration.xml", "new snapshot");
    put("/usr/local/www/Setup/net_configuration/temp/snmp/snmpd.conf", "new snmp");

    // A failing directory copy stops the import and keeps the live directory.
    failTool("cp", 1);
    EXPECT_NE(loadXmlConfigFromNet(), 0);
    EXPECT_EQ(get("/mnt/ubi0/conf/conk/rsv_cfg_1/configuration.xml"), "old snapshot");
    EXPECT_TRUE(exists("/usr/local/www/Setup/net_configuration/temp/configuration.xml"));
    EXPECT_NE(book().find("ERR: FAILED load conk configurations from NET"), std::string::npos);

    unlink(host("/var/lib/standin/status/cp").c_str());
    EXPECT_EQ(loadXmlConfigFromNet(), 0);
    EXPECT_EQ(get("/mnt/ubi0/conf/configuration.xml"), "uploaded");
    EXPECT_FALSE(exists("/mnt/ubi0/conf/conk/rsv_cfg_1"));
    EXPECT_EQ(get("/mnt/ubi0/conf/conk/rsv_cfg_2/configuration.xml"), "new snapshot");
    EXPECT_EQ(get("/mnt/ubi0/conf/snmp/snmpd.conf"), "new snmp");
    EXPECT_FALSE(exists("/usr/local/www/Setup/net_configuration/temp"));
    EXPECT_FALSE(exists("/mnt/ubi0/conf/conk.new"));
    EXPECT_FALSE(exists("/mnt/ubi0/conf/conk.old"));

    // Nothing uploaded: the live file stays and the import says so.
    put("/mnt/ubi0/conf/audio_processor.xml", "ap live");
    EXPECT_EQ(loadApXmlConfigFromNet(), kNetImportCopyFailed);
    EXPECT_EQ(get("/mnt/ubi0/conf/audio_processor.xml"), "ap live");
}

TEST_F(ConfigExchange, WebExportAndItsRemoval)
{
    put("/mnt/ubi0/conf/snmp/snmpd.conf", "snmp");
    put("/usr/local/www/Setup/net_configuration/temp/stale", "x");
    EXPECT_EQ(exportXmlConfigToNet(), 0);
    EXPECT_EQ(get("/usr/local/www/Setup/net_configuration/temp/configuration.xml"), "live");
    EXPECT_EQ(get("/usr/local/www/Setup/net_configuration/temp/snmp/snmpd.conf"), "snmp");
    EXPECT_FALSE(exists("/usr/local/www/Setup/net_configuration/temp/stale"));
    put("/mnt/ubi0/conf/audio_processor.xml", "ap");
    EXPECT_EQ(exportApXmlConfigToNet(), 0);
    EXPECT_EQ(get("/usr/local/www/Setup/net_configuration/temp/audio_processor.xml"), "ap");
    EXPECT_TRUE(exists("/usr/local/www/Setup/net_configuration/temp/configuration.xml"));

    EXPECT_EQ(removeNetConfigExport(), 0);
    EXPECT_EQ(removeNetConfigExport(), -1);
    EXPECT_EQ(removeNetApConfigExport(), 0);
    EXPECT_EQ(removeNetApConfigExport(), -1);
}

TEST_F(ConfigExchange, ResetsGiveOneThenMinusOne)
{
    put("/mnt/ubi0/conf/control_net.xml", "net");
    put("/mnt/ubi0/conf/configuration_factory.xml", "factory");
    for (int type = 0; type < 3; type++) {
        EXPECT_EQ(deleteConfigFile(type), 1) << type;
        EXPECT_EQ(deleteConfigFile(type), -1) << type;
    }
    EXPECT_FALSE(exists("/mnt/ubi0/conf/configuration.xml"));
    EXPECT_NE(book().find("ERR: XML_ResetFactoryConfig FAILED\n"), std::string::npos);
    // A directory in the file's place is not removed.
    simMakeDirs(host("/mnt/ubi0/conf/configuration.xml").c_str());
    EXPECT_EQ(XML_ResetConfig(), -1);
    EXPECT_TRUE(exists("/mnt/ubi0/conf/configuration.xml"));
}

int copyFromUsb()
{
    return copyXmlConfigFromUsb();
}

TEST_F(ConfigExchange, AnImportWhileASaveWaitsSurvives)
{
    // The key holds a configuration with deviation 60.
    setFrequencyDeviation(60);
    ASSERT_EQ(saveConfigToFiles(), 0);
    put("/mnt/usbkey/configuration/keyconf/configuration.xml", get("/mnt/ubi0/conf/configuration.xml"));
    put("/tmp/configuration.xml.name", "keyconf\n");

    // A change waits for its save when the import runs.
    setFrequencyDeviation(90);
    applyConfig();
    ASSERT_NE(getSaveConfigChanged(), 0u);
    EXPECT_EQ(importConfig(copyFromUsb), 0);
    EXPECT_EQ(getFrequencyDeviation(), 60);
    // Whatever the saver writes next comes from the imported image.
    for (uint32_t i = 0; i <= SAVE_COUNTDOWN_TICKS + 1; i++)
        testSaveConfigAfterApply();
    applyConfig();
    for (uint32_t i = 0; i <= SAVE_COUNTDOWN_TICKS + 1; i++)
        testSaveConfigAfterApply();
    setFrequencyDeviation(75);
    ASSERT_EQ(applyXmlConfigToSystemImage_Main(), 0);
    EXPECT_EQ(getFrequencyDeviation(), 60);

    put("/tmp/configuration.xml.name", "gone\n");
    EXPECT_EQ(importConfig(copyFromUsb), IMPORT_COPY_FAILED);
}

} // namespace
