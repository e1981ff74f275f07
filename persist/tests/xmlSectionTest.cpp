// One section of the XML files: the reader walks, the converters, the
// transcoding at the libxml2 boundary and the key-table-driven readers and
// writers.
#include "persist/xmlSection.h"

#include "Config/keys/factoryKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/StrutturaDati.h"
#include "Config/keys/systemKeys.h"
#include "Config/xmlLayout.h"
#include "core/files.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

class XmlSection : public SandboxTest {
protected:
    XmlSection() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
};

// What a section reader callback was handed, one "attr|name|text" a call
// ("-" for none).
std::vector<std::string> calls;

void record(const char* attr, const char* name, const char* text)
{
    calls.push_back(std::string(attr ? attr : "-") + "|" + name + "|" + (text ? text : "-"));
}

// Walks a document the way a loader does: every top-level node under the
// root is offered to the given matcher; the names of the nodes the walk saw
// at the top level are returned.
std::vector<std::string> walk(const std::string& doc, int (*matcher)(xmlTextReaderPtr, const char*),
                              int* lastResult = nullptr)
{
    calls.clear();
    std::vector<std::string> top;
    xmlTextReaderPtr r = xmlReaderForMemory(doc.data(), static_cast<int>(doc.size()), "mem.xml", nullptr, 0);
    EXPECT_NE(r, nullptr);
    int result = 0;
    int rc;
    while ((rc = xmlTextReaderRead(r)) == 1) {
        std::string name = reinterpret_cast<const char*>(xmlTextReaderConstName(r));
        if (xmlTextReaderNodeType(r) == XML_READER_TYPE_ELEMENT)
            top.push_back(name);
        result = matcher(r, name.c_str());
        if (result < 0)
            break;
    }
    if (rc < 0)
        result = -1;
    xmlFreeTextReader(r);
    if (lastResult)
        *lastResult = result;
    return top;
}

int sectionsAB(xmlTextReaderPtr r, const char* node)
{
    int a = xmlParseSection(r, node, "id", "a", record);
    return a != 0 ? a : xmlParseSection(r, node, nullptr, "b", record);
}

int crate(xmlTextReaderPtr r, const char* node)
{
    return xmlParseCrate(r, node, "id", "c_crate", "c", record);
}

TEST(XmlConverters, NumbersAreCutToTheirWidthAndTextsThatAreNoNumberGiveZero)
{
    EXPECT_EQ(xmlTextToU8("300"), 44);
    EXPECT_EQ(xmlTextToU8("abc"), 0);
    EXPECT_EQ(xmlTextToU16("70000"), 4464);
    EXPECT_EQ(xmlTextToU32("-1"), 4294967295u);
    EXPECT_EQ(xmlTextToU32("4294967296"), 0u);
    EXPECT_EQ(xmlTextToU32(" 12x"), 12u);
    EXPECT_EQ(xmlTextToS8("-129"), 127);
    EXPECT_EQ(xmlTextToS16("-300"), -300);
    EXPECT_EQ(xmlTextToS16("40000"), -25536);
    // A 32-bit value written as unsigned reads back whole through the 64-bit parse.
    EXPECT_EQ(xmlTextToS32("4294967295"), -1);
    EXPECT_EQ(xmlTextToS32("-2147483648"), INT32_MIN);
    EXPECT_EQ(xmlTextToS32(""), 0);

    EXPECT_EQ(xmlTextToIpAddr("192.168.1.20"), inet_addr("192.168.1.20"));
    EXPECT_EQ(xmlTextToIpAddr("192.168.1"), 0u);
    EXPECT_EQ(xmlTextToIpAddr("300.1.1.1"), 0u);
    char ip[16];
    ipAddrToXmlText(inet_addr("10.0.0.254"), ip);
    EXPECT_STREQ(ip, "10.0.0.254");
    char text[9];
    wordsToText8(0x52414449u, 0x4f203100u, text);
    EXPECT_EQ(std::string(text, 8), std::string("RADIO 1\0", 8));
}

TEST(XmlConverters, Latin1IsTranscodedAtTheLibxmlBoundary)
{
    EXPECT_EQ(latin1ToUtf8("caf\xe8", 4), "caf\xc3\xa8");
    EXPECT_EQ(utf8ToLatin1("caf\xc3\xa8"), "caf\xe8");
    EXPECT_EQ(utf8ToLatin1("\xc3\xbf\xe2\x82\xac"), "\xff?"); // beyond Latin-1: '?'
    // Bytes XML 1.0 forbids become '?', or are left out; tab, LF and CR stay.
    EXPECT_EQ(latin1ToUtf8("a\x01\tb\x1f\r\n", 7), "a?\tb?\r\n");
    EXPECT_EQ(latin1ToUtf8("a\x01\x0b" "b", 4, true), "ab");
    EXPECT_EQ(latin1ToUtf8("a\0b", 3), "a?b");
}

TEST(XmlWalk, KeysComeInAnyOrderTheLastWinsAndEmptyElementsAreHandedWithoutText)
{
    int result = 0;
    std::vector<std::string> top =
        walk("<vrl><a id=\"3\"><k1>1</k1><k2/><k3></k3><k1>2</k1><k4>x&amp;y</k4></a><b><k>5</k></b></vrl>",
             sectionsAB, &result);
    EXPECT_EQ(calls, (std::vector<std::string>{"3|k1|1", "3|k2|-", "3|k3|-", "3|k1|2", "3|k4|x&y", "-|k|5"}));
    EXPECT_EQ(top, (std::vector<std::string>{"vrl", "a", "b"}));
    EXPECT_EQ(result, 0) << "the last node, the end of the root, is no section";
}

TEST(XmlWalk, AnEmptyKeyBeforeTheSectionEndKeepsTheNextSection)
{
    walk("<vrl><a><k1>1</k1><k2/></a><b><k>5</k></b></vrl>", sectionsAB);
    EXPECT_EQ(calls, (std::vector<std::string>{"-|k1|1", "-|k2|-", "-|k|5"}));
    // An empty section element consumes nothing after it.
    walk("<vrl><a/><b><k>5</k></b></vrl>", sectionsAB);
    EXPECT_EQ(calls, (std::vector<std::string>{"-|k|5"}));
    // A key followed at once by another element: that element is a key too.
    walk("<vrl><a><k1><k2>2</k2></k1></a><b><k>5</k></b></vrl>", sectionsAB);
    EXPECT_EQ(calls, (std::vector<std::string>{"-|k2|2", "-|k|5"}));
}

TEST(XmlWalk, CratesHandTheirMembersTheirIdsAndAReaderErrorIsNoSuccess)
{
    int result = 0;
    walk("<vrl><c_crate><c id=\"0\"><k>a</k></c><c id=\"7\"><k>b</k></c></c_crate><b><k>5</k></b></vrl>", crate,
         &result);
    EXPECT_EQ(calls, (std::vector<std::string>{"0|k|a", "7|k|b"}));
    EXPECT_EQ(result, 0);

    // Cut off inside a section: the walk stops with -1, what was read stays.
    walk("<vrl><c_crate><c id=\"0\"><k>a</k></c><c id=\"1\"><k>b</k><k", crate, &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(calls.front(), "0|k|a");
    walk("<vrl><a><k1>1</k1></a><a><k1>", sectionsAB, &result);
    EXPECT_EQ(result, -1);
}

TEST_F(XmlSection, ReadElementValueFindsTheElementOfAnIdAndTerminatesWhatItCopies)
{
    std::string big(100, 'z');
    simMakeDirs(host("/usr/local/www/Setup").c_str());
    std::ofstream(host("/usr/local/www/Setup/timezones.xml"))
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<zones><timezone id=\"1\">UTC</timezone>"
           "<timezone id=\"2\">Europe/Rome \xe8</timezone><timezone id=\"3\">"
        << big << "</timezone></zones>\n";
    char out[64];
    memset(out, 'x', sizeof out);
    const char* path = "/usr/local/www/Setup/timezones.xml";
    EXPECT_EQ(xmlReadElementValue("timezone", "2", out, path), 0);
    EXPECT_STREQ(out, "Europe/Rome \xe8");
    EXPECT_EQ(xmlReadElementValue("timezone", "3", out, path), 0);
    EXPECT_EQ(std::string(out), big.substr(0, 63));
    EXPECT_EQ(xmlReadElementValue("timezone", "9", out, path), -1);
    EXPECT_EQ(xmlReadElementValue("timezone", "1", out, "/usr/local/www/Setup/none.xml"), -1);
}

// Runs a section writer into a memory document and gives its text.
std::string written(uint8_t section, uint32_t id = 0, int16_t* result = nullptr)
{
    xmlBufferPtr b = xmlBufferCreate();
    xmlTextWriterPtr w = xmlNewTextWriterMemory(b, 0);
    int16_t r = xmlSectionWriter(section)(w, id);
    xmlTextWriterFlush(w);
    xmlFreeTextWriter(w);
    std::string s(reinterpret_cast<const char*>(xmlBufferContent(b)), static_cast<size_t>(xmlBufferLength(b)));
    xmlBufferFree(b);
    if (result)
        *result = r;
    return s;
}

TEST_F(XmlSection, TableDrivenSectionsConvertByTheirFormAndTheirSetters)
{
    XmlSectionReader factory = xmlSectionReader(XS_FACTORY);
    factory(nullptr, "Kp", "300");
    EXPECT_EQ(getKp(), 44);
    factory(nullptr, "n_clock", "abc");
    EXPECT_EQ(getNClock(), 0);
    factory(nullptr, "HpaNomDrvPow", "-12");
    EXPECT_EQ(getHpaNomDrvPow(), -12);
    factory(nullptr, "Kp", nullptr); // an element without text sets nothing
    EXPECT_EQ(getKp(), 44);
    factory(nullptr, "NoSuchKey", "1");

    // Both platform readers take every platform key.
    xmlSectionReader(XS_PLATFORM)(nullptr, "rear_Ethernet_IP_address", "10.1.2.3");
    EXPECT_EQ(getRearEthernetIPAddress(), inet_addr("10.1.2.3"));
    xmlSectionReader(XS_PLATFORM_NET)(nullptr, "front_Ethernet_IP_gateway", "bad");
    EXPECT_EQ(getFrontEthernetIPGateway(), 0u);

    // A text field is cleared and takes at most its size less one.
    std::string longName(300, 'n');
    xmlSectionReader(XS_PLATFORM)(nullptr, "NTP_name_server", longName.c_str());
    EXPECT_EQ(std::string(getNTPNameServer()), longName.substr(0, 256));
    xmlSectionReader(XS_PLATFORM)(nullptr, "NTP_name_server", "ntp.\xe8");
    EXPECT_STREQ(getNTPNameServer(), "ntp.\xe8");

    int16_t r = -5;
    std::string net = written(XS_PLATFORM_NET, 0, &r);
    EXPECT_EQ(r, 0);
    EXPECT_NE(net.find("<platform><front_Ethernet_IP_address>"), std::string::npos) << net;
    EXPECT_NE(net.find("<rear_Ethernet_IP_address>10.1.2.3</rear_Ethernet_IP_address>"), std::string::npos);
    EXPECT_NE(net.find("<front_Ethernet_IP_gateway>0.0.0.0</front_Ethernet_IP_gateway>"), std::string::npos);
    EXPECT_EQ(net.find("NTP_name_server"), std::string::npos) << "the network keys only";
    std::string factoryText = written(XS_FACTORY);
    EXPECT_EQ(factoryText.rfind("<factory><level_rx_dBu>0</level_rx_dBu><driver_power_offset>0</driver_power_offset>"
                                "<power_offset_fine>0</power_offset_fine><Chan0Gain_NCO>0</Chan0Gain_NCO>",
                                0),
              0u)
        << factoryText;
    EXPECT_NE(factoryText.find("<HPS_MngMode>I2C Mode</HPS_MngMode>"), std::string::npos);
    EXPECT_NE(factoryText.find("<HpaNomDrvPow>-12</HpaNomDrvPow>"), std::string::npos);
    // The writer hands libxml2 UTF-8.
    EXPECT_NE(written(XS_PLATFORM).find("<NTP_name_server>ntp.\xc3\xa8</NTP_name_server>"), std::string::npos);
}

TEST_F(XmlSection, ReadOnlyKeysAreReadAndNeverWrittenAndFailedCallsMakeTheResult)
{
    xmlSectionReader(XS_GLOBAL)(nullptr, "standard_type", "FM");
    EXPECT_EQ(written(XS_GLOBAL).find("standard_type"), std::string::npos);

    EXPECT_EQ(xmlCombineResult(5, 0), 0);
    EXPECT_EQ(xmlCombineResult(-1, 0), -1);
    EXPECT_EQ(xmlCombineResult(3, -1), -1);
}

TEST_F(XmlSection, LastValidDriveValuesOfTheOutputSectionApplyOnlyOnAnNplus1Reserve)
{
    uint16_t before = getLastValidVdac();
    setLastValidRestoreRequest(0);
    xmlSectionReader(XS_OUTPUT)(nullptr, "last_valid_Vdac", "1234");
    EXPECT_EQ(getLastValidVdac(), before) << "this unit is no N+1 reserve";
    EXPECT_EQ(getLastValidRestoreRequest(), 0);
    xmlSectionReader(XS_FACTORY)(nullptr, "last_valid_Vdac", "1234");
    EXPECT_EQ(getLastValidVdac(), 1234);
    EXPECT_EQ(getLastValidRestoreRequest(), 1) << "the power loop restores the loaded value";
}

TEST_F(XmlSection, AudioProcessorCratesReachEveryStoredSetInPlace)
{
    XmlSectionReader common = xmlSectionReader(XS_AP_COMMON);
    common("0", "ap_on", "Enable");
    common("3", "ap_on", "Enable");
    common("3", "ap_cmp_on", "Enable");
    common("10", "ap_on", "Enable"); // beyond the crate's ten sets: ignored
    common("x", "ap_eq_on", "Enable");
    common(nullptr, "ap_eq_on", "Enable");
    const AudioProcessorBlock& ap = getSystemImage()->ap;
    EXPECT_EQ(getApOn(), 1);
    EXPECT_EQ(ap.common[3].on, 1);
    EXPECT_EQ(ap.common[3].cmpOn, 1);
    for (int set : {0, 1, 2, 4, 9})
        EXPECT_EQ(ap.common[set].eqOn, 0) << set;
    EXPECT_EQ(ap.common[1].on, 0);

    EXPECT_EQ(written(XS_AP_COMMON, 3),
              "<audio_processor_common id=\"3\"><ap_on>Enable</ap_on><ap_eq_on>Disable</ap_eq_on>"
              "<ap_cmp_on>Enable</ap_cmp_on></audio_processor_common>");
    EXPECT_NE(written(XS_AP_COMMON, 1).find("<ap_on>Disable</ap_on>"), std::string::npos);
}

TEST_F(XmlSection, RdsDataSetSequencesLabellingCodesAndRadioTextRoundTripBeforeTheLastElement)
{
    simMakeDirs(host("/mnt/ubi0/conf/rds").c_str());
    registerRadioTextWriter(writeStringToFile);
    const uint32_t d = 2;
    setRdsAlterSeqEntry(d, 4, 0, 0x01020304);
    setRdsAlterSeqEntry(d, 3, 1, 0x0a0b0c0d); // group 1B: written, never read
    setRdsVarCodeSeqEntry(d, 28, 1, 0x00020103);
    setRdsSequenceParam(d, 0, 0x45, 0x9);
    setRdsSequenceParam(d, 6, 0x1234, 0);
    ASSERT_EQ(saveRadioTextFile(d, "Caf\xe9 line one\nline two"), 0);

    std::string text = written(XS_RDS_DATASET, d);
    std::vector<std::string> order = {"<DSn3_RDS_Sequence_P4>",
                                      "<DSn3_RDS_AlterSeqGr0A_P1>",
                                      "<DSn3_RDS_AlterSeqGr1A_P2>",
                                      "<DSn3_RDS_VarCodeSeqGr1A_P1>",
                                      "<DSn3_RDS_VarCodeSeqGr1A_P2>",
                                      "<DSn3_RDS_AlterSeqGr1B_P1>",
                                      "<DSn3_RDS_AlterSeqGr2A_P1>16909060</DSn3_RDS_AlterSeqGr2A_P1>",
                                      "<DSn3_RDS_VarCodeSeqGr14A_P2>131331</DSn3_RDS_VarCodeSeqGr14A_P2>",
                                      "<DSn3_RDS_AlterSeqGr15B_P2>",
                                      "<DSn3_RDS_LabellingCode_Var0>2373</DSn3_RDS_LabellingCode_Var0>",
                                      "<DSn3_RDS_LabellingCode_Var6>4660</DSn3_RDS_LabellingCode_Var6>",
                                      "<DSn3_RDS_LabellingCode_Var7>",
                                      "<RADIO_TEXT>Caf\xc3\xa9 line one\nline two</RADIO_TEXT>",
                                      "<RT_AB_FlagMode>"};
    size_t at = 0;
    for (const std::string& e : order) {
        size_t next = text.find(e, at);
        ASSERT_NE(next, std::string::npos) << e << " after " << at << " in " << text;
        at = next;
    }
    EXPECT_EQ(text.find("LabellingCode_Var1"), std::string::npos);
    EXPECT_EQ(text.find("VarCodeSeqGr2A"), std::string::npos);

    // Read back into cleared values: every read element comes back, the
    // variant-0 nibble with its value; group 1B and other data sets' names
    // are not taken.
    setRdsAlterSeqEntry(d, 4, 0, 0xffffffff);
    setRdsAlterSeqEntry(d, 3, 1, 0xffffffff);
    setRdsVarCodeSeqEntry(d, 28, 1, 0xffffffff);
    setRdsSequenceParam(d, 0, 0, 0);
    setRdsSequenceParam(d, 6, 0, 0);
    ASSERT_EQ(saveRadioTextFile(d, "other"), 0);
    XmlSectionReader read = xmlSectionReader(XS_RDS_DATASET);
    read("2", "DSn3_RDS_AlterSeqGr2A_P1", "16909060");
    read("2", "DSn3_RDS_AlterSeqGr1B_P2", "168496141");
    read("2", "DSn3_RDS_VarCodeSeqGr14A_P2", "131331");
    read("2", "DSn3_RDS_LabellingCode_Var0", "2373");
    read("2", "DSn3_RDS_LabellingCode_Var6", "4660");
    read("2", "RADIO_TEXT", "Caf\xc3\xa9 line one\nline two");
    read("1", "DSn3_RDS_LabellingCode_Var6", "1"); // data set 2's name in data set 1
    read("7", "RADIO_TEXT", "beyond the seven data sets");
    EXPECT_EQ(getRdsAlterSeqEntry(d, 4, 0), 0x01020304u);
    EXPECT_EQ(getRdsAlterSeqEntry(d, 3, 1), 0xffffffffu);
    EXPECT_EQ(getRdsVarCodeSeqEntry(d, 28, 1), 0x00020103u);
    uint8_t nibble = 0;
    EXPECT_EQ(getRdsSequenceParam(d, 0, &nibble), 0x45);
    EXPECT_EQ(nibble, 9);
    EXPECT_EQ(getRdsSequenceParam(d, 6, nullptr), 0x1234);
    EXPECT_EQ(getRdsSequenceParam(1, 6, nullptr), 0);
    char rt[RDS_RADIOTEXT_FILE_MAX + 1];
    EXPECT_EQ(std::string(rt, loadRadioTextFile(d, rt, sizeof rt)), "Caf\xe9 line one\nline two");
    // An empty element empties the file.
    read("2", "RADIO_TEXT", nullptr);
    EXPECT_EQ(loadRadioTextFile(d, rt, sizeof rt), 0);
    registerRadioTextWriter(nullptr);
}

} // namespace
