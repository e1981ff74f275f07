// The behaviour of the RDS, GSM and MPX-over-IP keys beyond what the key
// table's rows say: the UECP interface switching, the group and variable
// code sequences, the RadioText files, the alarm-enable table and the
// derived values of the MPX-over-IP records.
#include "Config/configCycle.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/gsmKeys.h"
#include "Config/keys/mpxIpKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/xmlLayout.h"
#include "audio/rdsDataSet.h"
#include "audio/rdsSequencer.h"
#include "audio/uecpReceiver.h"
#include "comtab/dbPool.h"
#include "core/files.h"
#include "links/comChannels.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

class RdsGsmMpxKeysTest : public SandboxTest {
protected:
    RdsGsmMpxKeysTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        clearConfigChanged();
        clearConfigLocked();
    }
    std::vector<uint8_t> image() const
    {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(getSystemImage());
        return {p, p + sizeof(SystemImage)};
    }
    void writeRadioText(int n, const std::string& text)
    {
        mkdir(host("/mnt").c_str(), 0755);
        mkdir(host("/mnt/ubi0").c_str(), 0755);
        mkdir(host("/mnt/ubi0/conf").c_str(), 0755);
        mkdir(host("/mnt/ubi0/conf/rds").c_str(), 0755);
        std::ofstream(host(("/mnt/ubi0/conf/rds/rt_rds_" + std::to_string(n)).c_str()), std::ios::binary) << text;
    }
    // What the stand-ins and the UECP interface printed while f ran.
    template <class F>
    static std::string stdoutOf(F f)
    {
        testing::internal::CaptureStdout();
        f();
        return testing::internal::GetCapturedStdout();
    }
};

// ---- RDS common settings ------------------------------------------------------

TEST_F(RdsGsmMpxKeysTest, UecpInterfaceSwitchesTheSerialChannelAndResetsTheEncoder)
{
    const uint8_t pi[2] = {0x01, 0x52};
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x01, pi, 2), 0);
    // The encoder's first reset also reloads the group sequence.
    std::string said = stdoutOf([] { setUECPInterface(1); });
    EXPECT_EQ(said,
              "\n\n\n    UECP IF Enable !! \n[COM] #" + std::to_string(COM_GetChannelNumber(3)) +
                  " (i:1) UECP      Registered  (fd=" + std::to_string(UECP_GetFd()) +
                  ") \nsetUart1ConnSel select DEBUG ConsolesetUart1ConnSel select UECP");
    EXPECT_GT(COM_GetChannelNumber(3), 0) << "the port is a registered channel";
    EXPECT_GT(UECP_GetFd(), 0) << "the port is open";
    EXPECT_EQ(getRdsActiveSequenceLength(), 15) << "the encoder's first reset loads the sequence";
    EXPECT_EQ(isRdsMecValid(0x01), 0) << "the reset empties the data set";
    EXPECT_EQ(readDbAreaCell(20, 1), 1u);
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x01, pi, 2), 0);
    EXPECT_EQ(stdoutOf([] { setUECPInterface(0); }),
              "\n\n\n    UECP IF Disable !! close() on tx_sr_2_ch returned 0 \nsetUart1ConnSel select DEBUG Console");
    EXPECT_EQ(COM_GetChannelNumber(3), 0);
    EXPECT_EQ(UECP_GetFd(), -1) << "the port is closed";
    EXPECT_EQ(isRdsMecValid(0x01), 0);
    // A loader may store 2: only the reset, the publish and the mark.
    clearConfigChanged();
    EXPECT_EQ(isValidUECPInterface(2), 0);
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x01, pi, 2), 0);
    EXPECT_EQ(stdoutOf([] { setUECPInterface(2); }), "");
    EXPECT_EQ(isRdsMecValid(0x01), 0);
    EXPECT_EQ(readDbAreaCell(20, 1), 2u);
    EXPECT_EQ(getConfigChanged(), 0x10000u);
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x01, pi, 2), 0);
    EXPECT_EQ(stdoutOf([] { setUECPInterface(2); }), "");
    EXPECT_EQ(isRdsMecValid(0x01), 1) << "an unchanged value resets nothing";

    EXPECT_EQ(stdoutOf([] { setUECPInterfaceBaudrate(5); }), "");
    EXPECT_EQ(isRdsMecValid(0x01), 0);
    EXPECT_EQ(readDbAreaCell(20, 16), 5u);
}

TEST_F(RdsGsmMpxKeysTest, CustomSwitchesClearTheirUecpElementsAndTheDataSetOnAirLoadsItsSequence)
{
    const uint8_t ct[8] = {26, 12, 7, 22, 30, 0, 0, 2};
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x0D, ct, 8), 0);
    const uint8_t tpta = 3;
    ASSERT_EQ(AddMsgToActiveRdsDataSet(0x03, &tpta, 1), 0);
    EXPECT_EQ(stdoutOf([] { setCustomCT(1); }), "");
    EXPECT_EQ(isRdsMecValid(0x0D), 0);
    EXPECT_EQ(isRdsMecValid(0x03), 1);
    EXPECT_EQ(stdoutOf([] { setCustomTA(1); }), "");
    EXPECT_EQ(isRdsMecValid(0x03), 0);
    EXPECT_EQ(isRdsElementValid(rdsElement(RDS_SLOT_TA)), 0) << "TP and TA go together";
    EXPECT_EQ(stdoutOf([] { setCustomECC(1); }), "");
    EXPECT_EQ(stdoutOf([] { setCustomLanguage(1); }), "");
    const uint8_t two[2] = {4, 6};
    setRdsSequence(0, two, 2);
    setRdsSequenceEnable(0, 1);
    setCurrentRDSDSN(2);
    EXPECT_EQ(getRdsActiveSequenceLength(), 15) << "data set 2 has no sequence of its own";
    setCurrentRDSDSN(1);
    EXPECT_EQ(getRdsActiveSequence(), getRdsSequenceRecord(0));
    EXPECT_EQ(getRdsActiveSequenceLength(), 4) << "two codes become A B A B";
    EXPECT_EQ(getTaSource(), 0u);
    EXPECT_EQ(getCustomDIB(), 1u);
}

TEST_F(RdsGsmMpxKeysTest, UecpSlotsCountFromOneAndTheirCellsDoNotStepEvenly)
{
    const std::vector<uint8_t> before = image();
    setUECPEncoderAddr(11, 5);
    setUECPEncoderAddr(0, 5);
    setUECPSiteAddrEna(11, 1);
    EXPECT_EQ(image(), before);
    EXPECT_EQ(getConfigChanged(), 0u);
    EXPECT_EQ(getUECPEncoderAddr(0), 0);
    EXPECT_STREQ(getUECPEncoderAddrSlotKey(0), "");
    EXPECT_STREQ(getUECPSiteAddrEnaKey(11), "");
    EXPECT_STREQ(getUECPSiteAddrSlotKey(10), "UECP_Site_addr_10");
    EXPECT_STREQ(getUECPEncoderAddrEnaKey(3), "UECP_Encoder_addr_3_ena");
    EXPECT_STREQ(getUECPEncoderAddrKey(), "UECP_Encoder_addr");
    EXPECT_STREQ(getUECPRegAddrEnaKey(), "UECP_Reg_addr_ena");

    // Slot 1's enable leaves the address cells to the addresses.
    setUECPSiteAddr(1, 700);
    setUECPSiteAddrEna(1, 1);
    setUECPEncoderAddr(1, 33);
    setUECPEncoderAddrEna(1, 1);
    EXPECT_EQ(readDbAreaCell(20, 2), 700u);
    EXPECT_EQ(readDbAreaCell(20, 3), 33u);
    // Site slots 2..4 and 5..10 lie in two runs.
    setUECPSiteAddr(4, 44);
    setUECPSiteAddr(5, 55);
    setUECPSiteAddrEna(5, 1);
    setUECPEncoderAddrEna(2, 1);
    EXPECT_EQ(readDbAreaCell(20, 24), 44u);
    EXPECT_EQ(readDbAreaCell(20, 44), 55u);
    EXPECT_EQ(readDbAreaCell(20, 43), 1u);
    EXPECT_EQ(readDbAreaCell(20, 25), 1u);
}

// ---- RDS data sets ------------------------------------------------------------

TEST_F(RdsGsmMpxKeysTest, GroupSequencePublishesFirstCodeOnTopAndKeepsAtMostSixteen)
{
    const uint8_t codes[20] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    setCurrentRDSDSN(1);
    setRdsSequenceEnable(0, 1);
    clearConfigChanged();
    setRdsSequence(0, codes, 4);
    EXPECT_EQ(getRdsActiveSequence(), getRdsSequenceRecord(0)) << "the data set on air reloads";
    EXPECT_EQ(getRdsActiveSequenceLength(), 4);
    EXPECT_EQ(getRdsSequenceEntry(0, 0), 0x03020100u);
    EXPECT_EQ(getRdsSequenceLength(0), 4u);
    EXPECT_EQ(getRdsSequenceByte(0, 4), 255);
    EXPECT_EQ(getConfigChanged(), 0x10000u);
    std::vector<uint32_t> seen;
    ASSERT_EQ(readDbPoolCellsInChild({{21, 56}, {21, 57}}, &seen), 0);
    EXPECT_EQ(seen[0], 0x00010203u);
    EXPECT_EQ(seen[1], 0xffffffffu);
    // The same codes again: nothing.
    clearConfigChanged();
    setRdsSequence(0, codes, 4);
    EXPECT_EQ(getConfigChanged(), 0u);

    setRdsSequence(2, codes, 20);
    EXPECT_EQ(getRdsSequenceLength(2), 16u);
    EXPECT_EQ(readDbAreaCell(23, 59), 0x0c0d0e0fu);
    setRdsSequence(2, codes, 0);
    EXPECT_EQ(getRdsSequenceLength(2), 0u);

    // A part written while its data set is on air reloads the sequence.
    setCurrentRDSDSN(2);
    setRdsSequenceEnable(1, 1);
    setRdsSequenceEntry(1, 0, 0x0004FFFFu);
    EXPECT_EQ(getRdsActiveSequenceLength(), 15) << "an empty sequence sends the default";
    setRdsSequenceEntry(1, 0, 0xFFFF0604u);
    EXPECT_EQ(getRdsActiveSequence(), getRdsSequenceRecord(1));
    EXPECT_EQ(getRdsActiveSequenceLength(), 4);
    setRdsSequenceEntry(1, 3, 0x07060504);
    EXPECT_EQ(readDbAreaCell(22, 59), 0x04050607u);
    setRdsSequenceEntry(0, 3, 1);
    EXPECT_EQ(getRdsActiveSequence(), getRdsSequenceRecord(1)) << "another data set's part changes nothing on air";
}

TEST_F(RdsGsmMpxKeysTest, AlternativeAndVariableCodeListsKeepOnlyWhatTheyAccept)
{
    const uint8_t three[] = {2, 4, 6};
    setRdsVarCodeSeqGroup(3, 2, three, 3);
    EXPECT_EQ(getRdsVarCodeSeqCount(3, 2), 2u);
    EXPECT_EQ(getRdsVarCodeSeqList(3, 2)[0], 2);
    EXPECT_EQ(getRdsVarCodeSeqList(3, 2)[1], 6);
    EXPECT_EQ(getRdsVarCodeSeqList(3, 2)[2], 255);
    EXPECT_EQ(getRdsVariantListLength(3, 5), 0u);
    EXPECT_EQ(getRdsVarCodeSeqRecord(3, 5), nullptr);
    const uint8_t k28[] = {1, 5, 12, 14, 15};
    setRdsVarCodeSeqGroup(3, 28, k28, 5);
    EXPECT_EQ(getRdsVarCodeSeqCount(3, 28), 3u);

    const uint8_t alt[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    setRdsAlterSeqGroup(0, 31, alt, 10);
    EXPECT_EQ(getRdsAlternateListLength(0, 31), 8u);
    EXPECT_EQ(getRdsAlterSeqEntry(0, 31, 1), 0x08070605u);
    setRdsAlterSeqEntry(0, 31, 1, 0xffff0605);
    EXPECT_EQ(getRdsAlterSeqCount(0, 31), 6u);
    setRdsAlterSeqGroup(0, 31, nullptr, 0);
    EXPECT_EQ(getRdsAlterSeqCount(0, 31), 0u);
    EXPECT_EQ(getRdsAlterSeqEntry(0, 32, 0), 255u);

    setRdsSequenceParam(1, 0, 0x1234, 0x1f);
    uint8_t nibble = 0;
    EXPECT_EQ(getRdsSequenceParam(1, 0, &nibble), 0x34);
    EXPECT_EQ(nibble, 15);
    EXPECT_EQ(buildRdsSequenceParamValue(1, 0), 15 * 256 + 0x34);
    setRdsSequenceParam(1, 3, static_cast<uint32_t>(-5), 0);
    EXPECT_EQ(getRdsSequenceParam(1, 2, nullptr), -5);
    EXPECT_EQ(getRdsSequenceParam(1, 4, nullptr), -1);
    EXPECT_EQ(buildRdsSequenceParamValue(1, 5), -1);
}

TEST_F(RdsGsmMpxKeysTest, EonCountFollowsTheListAndDataSetSevenIsNoDataSet)
{
    setDataSetEON(2, 2, 4); // "EON_3"
    EXPECT_EQ(getDataSetEON(2), 1);
    EXPECT_EQ(readDbAreaCell(23, 45), 4u);
    setDataSetEON(2, 5, 1);
    EXPECT_EQ(getDataSetEONCount(2), 2);
    setDataSetEON(2, 2, 0);
    EXPECT_EQ(getDataSetEON(2), 1);

    clearConfigChanged();
    const std::vector<uint8_t> before = image();
    const uint8_t codes[] = {1, 2};
    setDSN(7, 3);
    setDataSetName(7, 0, 0x41424344);
    setDataSetEON(7, 0, 1);
    setRdsSequence(7, codes, 2);
    setRdsSequenceEntry(7, 0, 1);
    setRdsAlterSeqGroup(7, 0, codes, 2);
    setRdsVarCodeSeqGroup(7, 2, codes, 2);
    setRdsSequenceParam(7, 0, 1, 1);
    setRdsSequenceEnable(7, 1);
    setDSN(256 + 7, 3);
    EXPECT_EQ(image(), before);
    EXPECT_EQ(getConfigChanged(), 0u);
    for (uint32_t item = 1; item <= 64; item++)
        EXPECT_EQ(readDbAreaCell(1, item), 0u) << item; // section 21 + 7 - 7 = 0 would be section 0
    EXPECT_EQ(getDSN(7), 0);
    EXPECT_EQ(getRdsSequenceEnable(7), 0);
    EXPECT_EQ(getRdsSequenceEntry(7, 0), 255u);
    EXPECT_EQ(getRdsSequenceRecord(7), nullptr);
    EXPECT_EQ(getRdsSequenceLength(7), 0u);
}

TEST_F(RdsGsmMpxKeysTest, KeyNamesFollowTheirFormats)
{
    EXPECT_STREQ(getRdsAlterSeqGroupKey(0, 5, 1), "DSn1_RDS_AlterSeqGr2B_P2");
    EXPECT_STREQ(getRdsSequenceKey(6, 3), "DSn7_RDS_Sequence_P4");
    EXPECT_STREQ(getRdsVarCodeSeqGroupKey(1, 28, 0), "DSn2_RDS_VarCodeSeqGr14A_P1");
    EXPECT_STREQ(getRdsLabellingCodeKey(2, 7), "DSn3_RDS_LabellingCode_Var7");
    EXPECT_STREQ(getRdsSequenceEnableKey(6), "DSn7_RDS_Sequence_Enable");
    EXPECT_STREQ(getRdsSequenceEnableKey(7), "");
    EXPECT_STREQ(getDataSetEONTextKey(0, 5), "EON_6");
    EXPECT_STREQ(getDataSetEONTextKey(0, 6), "EON_INVALID");
    EXPECT_STREQ(getDataSetNameKey(3, 1), "DataSetName_2");
    EXPECT_STREQ(getDataSetNameKey(3, 4), "DataSetName_2");
    EXPECT_STREQ(getAFLKey(0, 6), "AFL_7");
    EXPECT_STREQ(getDynPS3Key(0, 0), "DynPS3_1");
    EXPECT_STREQ(getGSMTxLabelKey(4), "GSM_TxLabel_5");
    EXPECT_STREQ(getGSMTxLabelKey(5), "GSM_TxLabel");
    EXPECT_STREQ(getGSMPinKey(0), "GSM_Pin_1");
    EXPECT_STREQ(getGSMPukKey(7), "GSM_Puk_2");
    EXPECT_STREQ(getAlarmEnaBitmaskKey(3, 9), "AlarmEnaBitmask_10");
    EXPECT_STREQ(getAlarmEnaBitmaskKey(3, 10), "AlarmEnaBitmask");
    EXPECT_STREQ(getPhoneDestNrKey(9), "PhoneDestNr");
    EXPECT_STREQ(getRxPingResponceStatusKey(0), "Rx_ping_responce_status");
    EXPECT_STREQ(getRxPingResponseStatusKey(1), "Rx_ping_response_status");
}

TEST_F(RdsGsmMpxKeysTest, DefaultsPackTheTextsAndStepWithTheDataSet)
{
    for (const CfgKeyDesc& d : cfgKeyTable)
        cfgApplyDefault(&d);
    char text[9] = {};
    cfgGetPackedText(KEYROW(DataSetName), 6, text, 8);
    EXPECT_STREQ(text, "tarn dsn");
    cfgGetPackedText(KEYROW(DynPS5), 0, text, 8);
    EXPECT_STREQ(text, "radio5  ");
    EXPECT_EQ(getDataSetName(0, 0), 0x7461726eu); // "tarn"
    EXPECT_EQ(getPI(6), 0x5207);
    EXPECT_EQ(getDSN(6), 7);
    EXPECT_EQ(getUECPSiteAddrEna(1), 1);
    EXPECT_EQ(getUECPSiteAddrEna(2), 0);
    EXPECT_EQ(getRdsSequenceEntry(3, 2), 0xffffffffu);
    EXPECT_EQ(getRxNetmask(1), 0xffffff00u);
    EXPECT_EQ(getTxTTL(1, 3), 10);
    uint8_t name[24] = {};
    getGsmOperatorName(name);
    EXPECT_STREQ(reinterpret_cast<char*>(name), "NO SERVICE");
    EXPECT_EQ(readDbAreaCell(52, 1), 0x4e4f2053u); // "NO S"
    EXPECT_EQ(getGsmSignalQuality(), 99);
}

TEST_F(RdsGsmMpxKeysTest, RadioTextIsReadAsSixtyFourPositionsALine)
{
    char buf[RDS_RADIOTEXT_CHARS] = {};
    writeRadioText(1, "abcde\nfghij\n");
    ASSERT_EQ(readRadioTextFile(0, buf), 128);
    EXPECT_EQ(std::string(buf, 128), "abcde" + std::string(59, ' ') + "fghij" + std::string(59, ' '));

    writeRadioText(2, "\nxy\n\nz");
    ASSERT_EQ(readRadioTextFile(1, buf), 128);
    EXPECT_EQ(std::string(buf, 64), "xy" + std::string(62, ' '));
    EXPECT_EQ(std::string(buf + 64, 64), "z" + std::string(63, '\0'));

    writeRadioText(3, std::string(600, 'r'));
    EXPECT_EQ(readRadioTextFile(2, buf), 512);
    EXPECT_EQ(readRadioTextFile(3, buf), 0); // no file
}

TEST_F(RdsGsmMpxKeysTest, RadioTextLoadIsBoundedByTheBufferAndTerminated)
{
    writeRadioText(1, std::string(600, 'q'));
    std::vector<char> big(1000, 'x');
    EXPECT_EQ(loadRadioTextFile(0, big.data(), big.size()), 532);
    EXPECT_EQ(big[531], 'q');
    EXPECT_EQ(big[532], '\0');
    char small[10];
    memset(small, 'x', sizeof small);
    EXPECT_EQ(loadRadioTextFile(0, small, sizeof small), 9);
    EXPECT_EQ(small[9], '\0');
    EXPECT_EQ(loadRadioTextFile(4, small, sizeof small), 0); // no file
    EXPECT_EQ(small[0], '\0');
}

TEST_F(RdsGsmMpxKeysTest, SavedRadioTextSetsTheFlagOfTheFirstFiveDataSetsOnly)
{
    writeRadioText(1, "");
    EXPECT_EQ(saveRadioTextFile(0, "x"), -1) << "no writer registered";
    registerRadioTextWriter(writeStringToFile);
    for (uint32_t d : {0u, 4u, 5u, 6u}) {
        std::string text = "text of " + std::to_string(d);
        EXPECT_EQ(saveRadioTextFile(d, text.c_str()), 0);
        char buf[64];
        EXPECT_EQ(loadRadioTextFile(d, buf, sizeof buf), text.size());
        EXPECT_EQ(std::string(buf), text);
        EXPECT_EQ(getRadioTextFlag(d), d <= 4 ? 1 : 0) << d;
    }
    EXPECT_EQ(readDbAreaCell(25, 36), 1u);
    EXPECT_EQ(saveRadioTextFile(7, "x"), -1);
    registerRadioTextWriter(nullptr);
}

// ---- GSM ----------------------------------------------------------------------

TEST_F(RdsGsmMpxKeysTest, UserBitmasksFillTheAlarmEnableTable)
{
    setAlarmEnaBitmask(7, 0, 0x01000000); // "AlarmEnaBitmask_1" of user 7
    EXPECT_EQ(readDbAreaCell(54, 27), 0x01000000u);
    EXPECT_EQ(getConfigChanged(), 0x200u);
    for (uint32_t row = 0; row < 32; row++) {
        for (uint32_t u = 0; u < 10; u++)
            EXPECT_EQ(getGsmUserAlarmEna(row, u), row == 0 && u == 7 ? 1u : 0u) << row << " " << u;
    }
    // The last byte of word 8 holds rows 280..287; word 9 names rows
    // 288..319, which the table does not have: only the word is stored.
    setAlarmEnaBitmask(7, 8, 0x000000ff);
    EXPECT_EQ(getGsmUserAlarmEna(279, 7), 0u);
    EXPECT_EQ(getGsmUserAlarmEna(280, 7), 1u);
    EXPECT_EQ(getGsmUserAlarmEna(287, 7), 1u);
    const std::vector<uint8_t> before = image();
    setAlarmEnaBitmask(7, 9, 0xffffffff);
    EXPECT_EQ(getAlarmEnaBitmask(7, 9), 0xffffffffu);
    EXPECT_EQ(getGsmUserAlarmEna(288, 7), 0u);
    EXPECT_EQ(getSystemImage()->outGsm.gsm.cntSentSmsHour, 0u);
    // A user above 9 has no slot.
    const std::vector<uint8_t> mid = image();
    setAlarmEnaBitmask(10, 0, 1);
    setPhoneDestNr(10, 5);
    setGsmUserAlarmEna(0, 10, 1);
    EXPECT_EQ(image(), mid);
    EXPECT_NE(before, mid);
}

TEST_F(RdsGsmMpxKeysTest, CountersPublishEveryCallAndPinWordsFlagAChange)
{
    setGSMCntSentSmsHour(0);
    EXPECT_EQ(getConfigChanged(), 0x200u);
    clearConfigChanged();
    setDbAreaCell(52, 10, 0xdead);
    setGSMCntSentSmsHour(0);
    EXPECT_EQ(readDbAreaCell(52, 10), 0u);
    EXPECT_EQ(getConfigChanged(), 0x200u);

    setGSMPin(0, 0x31323334);
    EXPECT_EQ(getGsmPinChanged(), 0);
    setGSMPuk(0, 1);
    EXPECT_EQ(getGsmPinChanged(), 0);
    setGSMPin(1, 0x35360000);
    EXPECT_EQ(getGsmPinChanged(), 1);
    EXPECT_EQ(readDbAreaCell(51, 3), 0x31323334u);
    EXPECT_EQ(readDbAreaCell(51, 4), 0x35360000u);
    setGsmPinChanged(0);
    setGSMPinEna(1);
    EXPECT_EQ(getGsmPinChanged(), 1);

    const char label[] = "TRANSMITTER NORTH 01";
    cfgSetPackedText(KEYROW(GSMTxLabel), 0, label, 20);
    EXPECT_EQ(readDbAreaCell(51, 10), 0x5452414eu); // "TRAN"
    uint8_t out[20];
    buildGsmTxLabel(out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 20), label);
    setGsmTxLabelBlock(reinterpret_cast<const uint8_t*>("ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(getGSMTxLabel(4), 0x51525354u);
}

TEST_F(RdsGsmMpxKeysTest, XmlSectionsListTheirElementsInWritingOrder)
{
    auto names = [](uint8_t section) {
        size_t n = 0;
        const XmlKey* k = xmlSectionKeys(section, &n);
        std::vector<std::string> v;
        for (size_t i = 0; i < n; i++) {
            if (!(k[i].flags & XML_READ_ONLY))
                v.push_back(cfgElementName(cfgKeyDesc(static_cast<CfgKeyId>(k[i].key)), k[i].index));
        }
        return v;
    };
    std::vector<std::string> slot = names(XS_GSM_USR_SLOT);
    ASSERT_EQ(slot.size(), 12u);
    EXPECT_EQ(slot[0], "PhoneDestPrefix");
    EXPECT_EQ(slot[11], "AlarmEnaBitmask_10");

    std::vector<std::string> common = names(XS_RDS_COMMON);
    ASSERT_EQ(common.size(), 21u + 40u);
    EXPECT_EQ(common[2], "UECP_Encoder_addr_1");
    EXPECT_EQ(common[21], "UECP_Site_addr_1_ena");
    EXPECT_EQ(common[60], "UECP_Encoder_addr_10");
    EXPECT_EQ(xmlKeyOf(KEY_UECPRegionAddr, XS_RDS_COMMON)->flags, XML_READ_ONLY);

    std::vector<std::string> set = names(XS_RDS_DATASET);
    EXPECT_EQ(std::vector<std::string>(set.begin(), set.begin() + 4),
              (std::vector<std::string>{"DSN", "DataSetName", "DataSetName_1", "DataSetName_2"}));
    EXPECT_EQ(set.back(), "RT_AB_FlagMode");
    EXPECT_EQ(set[set.size() - 2], "DSn1_RDS_Sequence_P4");
    EXPECT_EQ(xmlKeyOf(KEY_DataSetEONText, XS_RDS_DATASET)->enumTable, XE_DATA_SET_REFERENCE);

    std::vector<std::string> gsm = names(XS_GSM_COMMON);
    EXPECT_EQ(gsm.front(), "GSM_SmsAlarmsEna");
    EXPECT_EQ(gsm.back(), "GSM_AdminSmsSupervisorEna");
}

// ---- MPX over IP ----------------------------------------------------------------

TEST_F(RdsGsmMpxKeysTest, GroupAddressGivesTheMulticastMacAndTheDestinationFollowsTheMode)
{
    for (uint32_t group : {0x030201efu, 0x030281efu}) {
        setTxGroupAddress(0, 1, group);
        uint8_t mac[6];
        getTxMulticastMac(0, 1, mac);
        const uint8_t want[6] = {0x01, 0x00, 0x5e, 0x01, 0x02, 0x03};
        EXPECT_EQ(memcmp(mac, want, 6), 0) << std::hex << group;
    }
    uint8_t mac[6];
    getTxDestMac(0, 1, mac);
    EXPECT_EQ(mac[0], 0); // unicast, not yet set
    setTxMulticastStatus(0, 1, 1);
    getTxDestMac(0, 1, mac);
    EXPECT_EQ(mac[2], 0x5e);
    EXPECT_EQ(getTxStreamMulticast(0, 1), 1u);
    setTxStreamMulticastMask(0, 0x4);
    EXPECT_EQ(getTxStreamMulticast(0, 2), 1u);
    EXPECT_EQ(getTxStreamMulticast(0, 0), 0u);
}

TEST_F(RdsGsmMpxKeysTest, NextHopIsTheGatewayOutsideTheSubnet)
{
    auto ip = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d) { return a | b << 8 | c << 16 | d << 24; };
    setRxIPAddress(1, ip(10, 0, 0, 5));
    setRxNetmask(1, ip(255, 255, 255, 0));
    setGbeGwIp(1, ip(10, 0, 0, 1));
    setTxIPAddress(1, 0, ip(10, 0, 1, 7));
    setTxIPAddress(1, 1, ip(10, 0, 0, 9));
    EXPECT_EQ(getTxNextHopAddress(1, 0), ip(10, 0, 0, 1));
    EXPECT_EQ(getTxNextHopAddress(1, 1), ip(10, 0, 0, 9));
    // A wider subnet takes the first entry in.
    setRxNetmask(1, ip(255, 255, 0, 0));
    EXPECT_EQ(getTxNextHopAddress(1, 0), ip(10, 0, 1, 7));
    EXPECT_EQ(updateNextHopAddress(2, 0), 0u);
}

TEST_F(RdsGsmMpxKeysTest, SideInUseFollowsTheEnablesUnlessTheSideReportsAStatus)
{
    setRxEnable(0, 3, 1);
    EXPECT_EQ(getGbeSideInUse(0), 1u);
    setGbeSideStatus(0, 4);
    EXPECT_EQ(getGbeSideInUse(0), 0u);
    setGbeSideStatus(0, 0);
    EXPECT_EQ(getGbeSideInUse(0), 1u);
    setRxEnable(0, 3, 0);
    EXPECT_EQ(getGbeSideInUse(0), 0u);
    setTxEnable(0, 0, 1);
    EXPECT_EQ(getGbeSideInUse(0), 1u);
    EXPECT_EQ(getGbeSideInUse(1), 0u);
    EXPECT_EQ(getConfigChanged(), 0x1000u);
}

TEST_F(RdsGsmMpxKeysTest, EveryEntryHasItsOwnStorage)
{
    const MpxIpBlock& m = getSystemImage()->input.mpxIp;
    setRxPort(1, 3, 0xfffe);
    setTxTTL(1, 3, 0xff);
    setTxDestinationPort(1, 3, 0xfffd);
    const uint8_t peer[6] = {1, 2, 3, 4, 5, 6};
    setRxPeerMac(1, 3, peer);
    for (int s = 0; s < MPXIP_SIDES; s++) {
        for (int e = 0; e < MPXIP_ENTRIES; e++) {
            bool target = s == 1 && e == 3;
            EXPECT_EQ(m.rx[s][e].port, target ? 0xfffe : 0);
            EXPECT_EQ(m.tx[s][e].ttl, target ? 0xff : 0);
            EXPECT_EQ(m.tx[s][e].destinationPort, target ? 0xfffd : 0);
            EXPECT_EQ(m.rx[s][e].peerMac[5], target ? 6 : 0);
        }
    }
    EXPECT_EQ(getConfigChanged(), 0x1000u);
    // Sides above 1 and entries above 3 are refused.
    const std::vector<uint8_t> before = image();
    setRxPort(2, 0, 1);
    setRxPort(0, 4, 1);
    setRxPeerMac(0, 4, peer);
    setRxNetmask(2, 1);
    EXPECT_EQ(image(), before);
    ignoreSetting(1, 2);
}

} // namespace
