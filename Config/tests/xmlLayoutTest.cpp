// The XML layout of the keys: files, sections, writing order, flags, the
// width a file gives a value, and the enumeration texts.
#include "Config/xmlLayout.h"

#include "Config/keys/keyIds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> elementsOf(uint8_t section)
{
    size_t n = 0;
    const XmlKey* k = xmlSectionKeys(section, &n);
    std::vector<std::string> names;
    for (size_t i = 0; i < n; i++)
        names.push_back(cfgElementName(cfgKeyDesc(static_cast<CfgKeyId>(k[i].key)), k[i].index));
    return names;
}

TEST(XmlLayout, KeysStandInTheirFileAndSectionInWritingOrder)
{
    EXPECT_EQ(elementsOf(XS_PLATFORM_NET),
              (std::vector<std::string>{"front_Ethernet_IP_address", "front_Ethernet_IP_gateway",
                                        "rear_Ethernet_IP_address", "rear_Ethernet_IP_gateway",
                                        "front_Ethernet_IP_netmask", "rear_Ethernet_IP_netmask",
                                        "rear_Ethernet_Autoneg", "rear_Ethernet_Duplex", "rear_Ethernet_Speed",
                                        "Cpu_vlan_id", "Gbe_A_vlan_id", "Gbe_B_vlan_id", "Ethernet_switch_config"}));
    EXPECT_EQ(xmlSection(XS_PLATFORM_NET).file, XML_FILE_CONTROL_NET);
    EXPECT_EQ(xmlSection(XS_PLATFORM).file, XML_FILE_CONFIGURATION);
    EXPECT_STREQ(xmlSection(XS_PLATFORM_NET).element, xmlSection(XS_PLATFORM).element);
    EXPECT_EQ(xmlSection(XS_FACTORY).file, XML_FILE_FACTORY);
    EXPECT_STREQ(xmlSection(XS_RDS_DATASET).crate, "rds_dataset_crate");
    EXPECT_EQ(xmlSection(XS_GSM_USR_SLOT).ids, 10);

    std::vector<std::string> factory = elementsOf(XS_FACTORY);
    ASSERT_GE(factory.size(), 13u);
    EXPECT_EQ(std::vector<std::string>(factory.begin(), factory.begin() + 13),
              (std::vector<std::string>{"level_rx_dBu", "driver_power_offset", "power_offset_fine", "Chan0Gain_NCO",
                                        "ClkP_CML", "PSign", "ClkN_CML", "NSign", "Kp", "KpH", "Ki", "n_bit",
                                        "n_clock"}));
    EXPECT_EQ(factory.back(), "HpaDrvCurrConvFactor");
    std::vector<std::string> synchro = elementsOf(XS_SYNCHRO_FM);
    EXPECT_EQ(synchro, (std::vector<std::string>{"net_mode", "freq_ref", "time_ref", "input_delay", "added_delay",
                                                 "pil_ph_offs", "test_sig_ena", "test_sig_delay",
                                                 "mute_fref_absent", "mute_tref_absent"}));

    // A key may stand in two sections.
    EXPECT_NE(xmlKeyOf(KEY_LastValidVdac, XS_OUTPUT), nullptr);
    EXPECT_NE(xmlKeyOf(KEY_LastValidVdac, XS_FACTORY), nullptr);
    EXPECT_EQ(xmlKeyOf(KEY_LastValidVdac, XS_GLOBAL), nullptr);
}

TEST(XmlLayout, EveryElementNamesAKeyRowAndItsFormFitsIt)
{
    for (uint8_t s = 0; s < XS_COUNT; s++) {
        size_t n = 0;
        const XmlKey* k = xmlSectionKeys(s, &n);
        for (size_t i = 0; i < n; i++) {
            const CfgKeyDesc* d = cfgKeyDesc(static_cast<CfgKeyId>(k[i].key));
            ASSERT_NE(d, nullptr);
            SCOPED_TRACE(d->id);
            EXPECT_NE(cfgElementName(d, k[i].index), nullptr) << "a status item has no element";
            EXPECT_EQ(k[i].form == XF_ENUM, k[i].enumTable != XE_NONE);
            EXPECT_NE(k[i].flags, XML_READ_ONLY | XML_WRITE_ONLY);
            if (xmlStoredWidth(k[i])) {
                EXPECT_LE(xmlStoredWidth(k[i]), d->at.size);
            }
        }
    }
}

TEST(XmlLayout, TheFileMayGiveAValueAnotherWidthAndSomeKeysAreOnlyRead)
{
    // Words of the image that the factory file keeps as a byte.
    for (CfgKeyId id : {KEY_DacLevelMode, KEY_VendorId}) {
        const XmlKey* k = xmlKeyOf(id, XS_FACTORY);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(xmlStoredWidth(*k), 1u);
        EXPECT_EQ(cfgKeyDesc(id)->at.size, 4);
    }
    const XmlKey* standard = xmlKeyOf(KEY_StandardType, XS_GLOBAL);
    ASSERT_NE(standard, nullptr);
    EXPECT_EQ(standard->flags, XML_READ_ONLY);
    EXPECT_EQ(standard->form, XF_ENUM);
    EXPECT_EQ(xmlKeyOf(KEY_NTPNameServer, XS_PLATFORM)->form, XF_TEXT);
    EXPECT_EQ(xmlKeyOf(KEY_FrontEthernetIPAddress, XS_PLATFORM_NET)->form, XF_IPV4);
}

TEST(XmlLayout, EnumerationsGiveTheirTextsAndTheirNoMatchAndOutOfRangeValues)
{
    struct Case {
        uint8_t e;
        uint32_t value;
        const char* text;
    };
    const Case toText[] = {
        {XE_SWITCH, 0, "Disable"},
        {XE_SWITCH, 1, "Enable"},
        {XE_SWITCH, 7, "Disable"},
        {XE_OUTPUT_CONFIGURATION, 25, "Stereo_MpxAudio "},
        {XE_OUTPUT_CONFIGURATION, 62, "StereoMpxOverAesEbuChBRdsExt"},
        {XE_OUTPUT_CONFIGURATION, 70, "Stereo_Analog"},
        {XE_ETHERNET_SWITCH_MODE, 2, "VLAN"},
        {XE_ETHERNET_SWITCH_MODE, 0, "LAN"},
        {XE_FUNCTIONAL_TYPE, 40, "FM"},
        {XE_TIME_REFERENCE, 8, "Auto"},
        {XE_TIME_REFERENCE, 5, ""},
        {XE_UECP_BAUD_RATE, 12, "2400"},
        {XE_PSU_MANAGEMENT_MODE, 1, "Analog Mode"},
    };
    for (const Case& c : toText)
        EXPECT_STREQ(xmlEnumText(c.e, c.value), c.text) << int(c.e) << " " << c.value;

    const Case toValue[] = {
        {XE_SWITCH, 1, "Enable"},
        {XE_SWITCH, 0, "enable"}, // exact, case-sensitive
        {XE_FUNCTIONAL_TYPE, 11, "SECAM"},
        {XE_FUNCTIONAL_TYPE, 3, "DVB_T"},
        {XE_ETHERNET_SWITCH_MODE, 2, "VLAN"},
        {XE_ETHERNET_SWITCH_MODE, 1, "anything"},
        {XE_UECP_BAUD_RATE, 1, "1200"},
        {XE_UECP_BAUD_RATE, 9, "460800"},
        {XE_INPUT, 13, "L_Pilot"},
        {XE_TIME_SOURCE, 4, ""},
    };
    for (const Case& c : toValue)
        EXPECT_EQ(xmlEnumValue(c.e, c.text), c.value) << int(c.e) << " " << c.text;
}

} // namespace
