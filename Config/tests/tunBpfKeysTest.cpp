// Tunable band-pass filter settings and their band tables, the FM receiver
// status record and the web log-on lines.
#include "Config/StrutturaDati.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "comtab/dbPool.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>

namespace {

class TunBpfKeys : public SandboxTest {
protected:
    TunBpfKeys() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
    }
};

TEST_F(TunBpfKeys, CoarseCodesSetTheirCapacitanceAndCodes6And7LeaveIt)
{
    setTunBpfCoarseA(3);
    EXPECT_EQ(getTunBpfCapWord1(), 560000u);
    EXPECT_EQ(readDbAreaCell(56, 1), 3u);
    EXPECT_EQ(readDbAreaCell(56, 7), 560000u);
    EXPECT_EQ(getConfigChanged(), 0x8u);
    clearConfigChanged();
    setTunBpfCoarseA(6);
    EXPECT_EQ(getTunBpfCoarseA(), 6);
    EXPECT_EQ(getTunBpfCapWord1(), 560000u);
    EXPECT_EQ(getConfigChanged(), 0x8u);
    setTunBpfCoarseB(5);
    EXPECT_EQ(getTunBpfCapWord2(), 820000u);
    EXPECT_EQ(readDbAreaCell(56, 9), 820000u);
    const uint32_t caps[] = {150000, 270000, 390000, 560000, 680000, 820000, 0, 0};
    for (uint32_t code = 0; code < 8; code++)
        EXPECT_EQ(tunBpfCoarseCapacitance(code), caps[code]) << code;
    EXPECT_EQ(isValidTunBpfCoarse(7), 1);
    EXPECT_EQ(isValidTunBpfCoarse(8), 0);
    EXPECT_EQ(isValidTunBpfFine(512), 0);
    EXPECT_EQ(isValidTunBpfVeryFine(31), 1);
    EXPECT_EQ(isValidTunBpfByte5(16), 0);
}

TEST_F(TunBpfKeys, FineValuesGoToTheBandOfTheOutputFrequency)
{
    struct Case {
        uint32_t hz;
        uint32_t band;
    };
    for (const Case& c : {Case{87500000, 0}, Case{88900000, 0}, Case{89000000, 1}, Case{98100000, 10},
                          Case{107900000, 19}, Case{110000000, 19}}) {
        getSystemImage()->rf.outputRFfrequency = c.hz;
        EXPECT_EQ(getTunBpfCurrentBand(), c.band) << c.hz;
    }

    getSystemImage()->rf.outputRFfrequency = 110000000; // band 19
    setTunBpfFineA(100);
    setTunBpfFineB(200);
    setTunBpfVeryFine(7);
    EXPECT_EQ(getTunBpfCpPreFine(19), 100);
    EXPECT_EQ(getTunBpfCpPostFine(19), 200);
    EXPECT_EQ(getTunBpfCsVeryFine(19), 7);
    EXPECT_EQ(getTunBpfDerived1(), 355u * 100 + 12500);
    EXPECT_EQ(getTunBpfDerived2(), 355u * 200 + 12500);
    EXPECT_EQ(getTunBpfDerived3(), 50u * 7 + 850);
    EXPECT_EQ(readDbAreaCell(56, 2), 100u);
    EXPECT_EQ(readDbAreaCell(56, 8), 355u * 100 + 12500);
    EXPECT_EQ(readDbAreaCell(56, 12), 1200u);
    EXPECT_EQ(getConfigChanged(), 0x8u);

    getSystemImage()->rf.outputRFfrequency = 87500000; // band 0
    setTunBpfFineA(1);
    EXPECT_EQ(getTunBpfCpPreFine(0), 1);
    EXPECT_EQ(getTunBpfCpPreFine(19), 100);
}

TEST_F(TunBpfKeys, FineTablesHaveTheirDefaultsByBandAndNamesFrom88MHz)
{
    for (const CfgKeyDesc* d : {KEYROW(TunBpfCpPreFine), KEYROW(TunBpfCpPostFine), KEYROW(TunBpfCsVeryFine)})
        cfgApplyDefault(d);
    const uint16_t pre[20] = {140, 80, 50, 30, 60, 25, 45, 10, 65, 40, 45, 15, 75, 40, 15, 10, 85, 50, 30, 5};
    const uint16_t post[20] = {140, 110, 70, 20, 80, 25, 45, 25, 80, 40, 55, 25, 90, 65, 30, 28, 95, 70, 45, 15};
    for (uint32_t k = 0; k < 20; k++) {
        EXPECT_EQ(getTunBpfCpPreFine(k), pre[k]) << k;
        EXPECT_EQ(getTunBpfCpPostFine(k), post[k]) << k;
        EXPECT_EQ(getTunBpfCsVeryFine(k), 31) << k;
    }
    EXPECT_STREQ(getTunBpfCpPreFineKey(0), "TunBpf_CpPreFineFreq_88MHz");
    EXPECT_STREQ(getTunBpfCpPostFineKey(19), "TunBpf_CpPostFineFreq_107MHz");
    EXPECT_STREQ(getTunBpfCsVeryFineKey(10), "TunBpf_CsVeryFineFreq_98MHz");
    EXPECT_EQ(detectTunableBpfOption(), 0); // no filter on this board
    EXPECT_EQ(getTunBpfOption(), 0);
}

TEST_F(TunBpfKeys, FmReceiverStatusRecord)
{
    uint8_t rec[FM_RX_STATUS_BYTES];
    for (uint32_t k = 0; k < FM_RX_STATUS_BYTES; k++)
        rec[k] = static_cast<uint8_t>(k + 1);
    setFmRxStatus(rec);
    EXPECT_EQ(memcmp(getFmRxStatus(), rec, sizeof rec), 0);
    EXPECT_EQ(readDbAreaCell(46, 1), 0x01020304u);
    testing::internal::CaptureStdout();
    setFmRxStatus(nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ERROR in setFmRxStatus: input is NULL"),
              std::string::npos);
    EXPECT_EQ(memcmp(getFmRxStatus(), rec, sizeof rec), 0);
    clearFmRxStatus();
    EXPECT_EQ(getFmRxStatus()[5], 0);
    EXPECT_EQ(readDbAreaCell(46, 1), 0u);

    setFmRxStatusFlag(5); // the receiver word under its other name
    EXPECT_EQ(getFmRxWord(), 5u);
    EXPECT_EQ(readDbAreaCell(46, 50), 5u);
}

TEST_F(TunBpfKeys, WebLogOnLines)
{
    logWebUserLogonFrom(0xffffffffu);
    EXPECT_EQ(book().find("www user logon"), std::string::npos);
    logWebUserLogonFrom(htonl(0xc0a8010a));
    EXPECT_NE(book().find("www user logon from 192.168.1.10"), std::string::npos);
    EXPECT_EQ(getWebLogonAddr(), 0xffffffffu);

    const char name[] = "operator-on-duty"; // 16 characters
    for (uint32_t w = 0; w < 4; w++) {
        uint32_t word = 0;
        for (uint32_t b = 0; b < 4; b++)
            word = (word << 8) | static_cast<uint8_t>(name[4 * w + b]);
        logWebUserLogon(w, word);
    }
    EXPECT_NE(book().find("www user operator-on-duty logon"), std::string::npos);
    EXPECT_EQ(readDbAreaCell(13, 45), 0x6f706572u); // "oper"

    // A fifth word lies beyond the name: refused.
    std::vector<uint8_t> before(sizeof(SystemImage));
    memcpy(before.data(), getSystemImage(), before.size());
    logWebUserLogon(4, 0x41414141);
    EXPECT_EQ(memcmp(before.data(), getSystemImage(), before.size()), 0);
}

} // namespace
