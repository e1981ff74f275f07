// The GSM modem driver against the scripted modem on the I/O seam, on the
// virtual clock: the AT exchange and its answers, the answer table, the
// network time, the initialisation's choices, the PIN, the reset of a
// silent modem and the stored-message send.
#include "timing/tests/gsmTestSupport.h"

#include "sim/programs.h"

#include <cstring>

namespace {

std::string opName()
{
    uint8_t name[25] = {};
    getGsmOperatorName(name);
    return reinterpret_cast<const char*>(name);
}

std::string text24(void (*getter)(uint8_t*))
{
    uint8_t t[25] = {};
    getter(t);
    return std::string(reinterpret_cast<const char*>(t), strnlen(reinterpret_cast<const char*>(t), 24));
}

} // namespace

TEST(GsmFindString, RestartsWithoutRetestingTheMismatch)
{
    struct Case {
        const char* text;
        const char* pattern;
        int found;
    } cases[] = {
        {"OOK", "OK", 0}, {"xOK", "OK", 1}, {"\r\nOK\r\n", "OK", 1}, {"abc", "", 1}, {"O", "OK", 0}, {"", "OK", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GSM_FindString(c.text, strlen(c.text), c.pattern), c.found) << c.text;
}

TEST(GsmAnswerField, FieldsAreCutToTheirTextAndTerminated)
{
    const char* a = "AT+COPS?\r\r\n+COPS: 0,0,\"Vodafone\"\r\n\r\nOK\r\n";
    char out[24];
    GSM_GetAnswerField(3, a, strlen(a), out, sizeof out);
    EXPECT_STREQ(out, "Vodafone");
    GSM_GetAnswerField(7, a, strlen(a), out, sizeof out);
    EXPECT_STREQ(out, "") << "an answer with fewer fields gives an empty field";
    std::string longer = "+COPS: 0,0,\"" + std::string(100, 'N') + "\"";
    memset(out, 'z', sizeof out);
    GSM_GetAnswerField(3, longer.data(), longer.size(), out, sizeof out);
    EXPECT_EQ(std::string(out), std::string(23, 'N')) << "23 characters and the terminator";
}

TEST_F(GsmTest, OneExchangeSucceedsOnlyWhenTheAnswerIsWholeInOneRead)
{
    struct Case {
        const char* what;
        void (*knob)(SimModem&);
        int expected;
    } cases[] = {
        {"plain answer", [](SimModem&) {}, 1},
        {"OK in the second read", [](SimModem& m) { m.setSplit(strlen("AT+CMGF=1\r\r\n")); }, 1},
        {"O then K", [](SimModem& m) { m.setSplit(strlen("AT+CMGF=1\r\r\nO")); }, 0},
        {"missing OK", [](SimModem& m) { m.setMissingOk(true); }, 0},
        {"garbage", [](SimModem& m) { m.setGarbage("\x01\xff#$%\r\n"); }, 0},
        {"overlong line", [](SimModem& m) { m.setOverlong(3000); }, 0},
        {"ERROR", [](SimModem& m) { m.setAnswer("AT+CMGF=1", {}, "ERROR"); }, 0},
        {"silence", [](SimModem& m) { m.setSilent(true); }, 0},
    };
    for (const Case& c : cases) {
        modem.setSplit(0);
        modem.setMissingOk(false);
        modem.setGarbage("");
        modem.setSilent(false);
        modem.setOverlong(0);
        modem.setAnswer("AT+CMGF=1", {}, "OK");
        c.knob(modem);
        EXPECT_EQ(GSM_SendATCmd("AT+CMGF=1\r\n", 3000), c.expected) << c.what;
        std::string rest;
        while (modem.nextChunk(&rest)) {
        }
    }
}

TEST_F(GsmTest, AnswerTableStoresOperatorLevelAndNetworkTime)
{
    struct Case {
        std::string chunk;
        std::string op;
        uint32_t registered;
    } ops[] = {
        {"AT+COPS?\r\r\n+COPS: 0,0,\"SimNet\"\r\n\r\nOK\r\n", "SimNet", 1},
        {"AT+COPS?\r\r\n+COPS: 0,0,\"" + std::string(1000, 'L') + "\"\r\n", std::string(23, 'L'), 1},
        {"AT+COPS?\r\r\n+COPS: 0\r\n\r\nOK\r\n", "NO SERVICE", 0},
    };
    for (const Case& c : ops) {
        GSM_SetRxBuffer(c.chunk.data(), c.chunk.size());
        EXPECT_EQ(GSM_ParseATCmds(), 1);
        EXPECT_EQ(opName(), c.op);
        EXPECT_EQ(getGsmRegistration(), c.registered);
    }
    // The operator is "NO SERVICE" now: any level reads 99.
    std::string csq = "AT+CSQ\r\r\n+CSQ: 17,99\r\n\r\nOK\r\n";
    GSM_SetRxBuffer(csq.data(), csq.size());
    GSM_ParseATCmds();
    EXPECT_EQ(getGsmSignalQuality(), 99u);
    std::string cops = "AT+COPS?\r\r\n+COPS: 0,0,\"SimNet\"\r\n";
    GSM_SetRxBuffer(cops.data(), cops.size());
    GSM_ParseATCmds();
    GSM_SetRxBuffer(csq.data(), csq.size());
    GSM_ParseATCmds();
    EXPECT_EQ(getGsmSignalQuality(), 17u);

    std::string cclk = "AT+CCLK?\r\r\n+CCLK: \"26/03/04,05:06:07+04\"\r\n\r\nOK\r\n";
    GSM_SetRxBuffer(cclk.data(), cclk.size());
    GSM_ParseATCmds();
    EXPECT_EQ(text24(getGsmNetTime), " 26/03/04,05:06:07+04");
    std::string none = "+CREG: 1\r\n";
    GSM_SetRxBuffer(none.data(), none.size());
    EXPECT_EQ(GSM_ParseATCmds(), 0);
}

TEST_F(GsmTest, NetworkTimeSetsTheClockOnlyWhenItDiffersByMoreThan30s)
{
    auto netTime = [](time_t t) {
        struct tm tmv;
        localtime_r(&t, &tmv);
        char text[24] = {};
        strftime(text, sizeof text, "%y/%m/%d,%H:%M:%S+00", &tmv);
        uint8_t raw[24] = {};
        memcpy(raw, text, strlen(text));
        setGsmNetTime(raw);
    };
    time_t now = clockWallSeconds();
    netTime(now + 20);
    simClearStandInCalls();
    EXPECT_EQ(GSM_TimeSync(), 0);
    EXPECT_LT(clockWallSeconds() - now, 5) << "within 30 s the clock stays";
    EXPECT_EQ(text24(getGsmNetTime), "") << "the text is cleared after use";
    EXPECT_TRUE(simStandInCalls().empty());

    netTime(now + 3600);
    EXPECT_EQ(GSM_TimeSync(), 0);
    EXPECT_GE(clockWallSeconds(), now + 3600);
    EXPECT_EQ(simStandInCalls(), std::vector<std::string>{"hwclock --systohc"});
    EXPECT_EQ(text24(getGsmNetTime), "");

    uint8_t bad[24] = {};
    memcpy(bad, " 26/13/45,99:00:00+00", 21);
    setGsmNetTime(bad);
    time_t before = clockWallSeconds();
    GSM_TimeSync();
    EXPECT_LT(clockWallSeconds() - before, 5) << "a time that does not parse sets no clock";
    EXPECT_EQ(text24(getGsmNetTime), "");
}

TEST_F(GsmTest, InitialisationSetsRoamingOnlyWhenItDiffersAndStoresTheModemTexts)
{
    setGSMRoamingEna(0);
    GSM_InitModemUBlox();
    for (const std::string& l : modem.transcript())
        EXPECT_NE(l.rfind("AT+UDCONF=20,", 0), 0u) << l;
    EXPECT_EQ(opName(), "SimNet");
    EXPECT_EQ(getGsmSignalQuality(), 17u);
    EXPECT_EQ(text24(getGsmSimId), " 8939104520000000001");
    EXPECT_EQ(text24(getGsmModemId), "004999010640000");

    modem.clearRecords();
    setGSMRoamingEna(1);
    // An IMEI answer too short for its fifteen characters stores nothing.
    modem.setAnswer("AT+CGSN", {"12345"});
    GSM_InitModemUBlox();
    EXPECT_TRUE(transcriptHas("AT+UDCONF=20,1"));
    EXPECT_EQ(text24(getGsmModemId), "004999010640000");
}

TEST_F(GsmTest, PinIsSentAsStoredLeadingZerosIncluded)
{
    setGSMPinEna(1);
    setGSMPin(0, 0x30303132); // "0012"
    setGSMPin(1, 0x33340000); // "34"
    setGSMPuk(0, 0x31323334); // "1234"
    setGSMPuk(1, 0x35363738); // "5678"
    modem.setAnswer("AT+CPIN?", {"+CPIN: SIM PIN"});
    EXPECT_EQ(GSM_ManageSimPin(), 0);
    EXPECT_TRUE(transcriptHas("AT+CPIN=001234"));
    modem.setAnswer("AT+CPIN?", {"+CPIN: SIM PUK"});
    EXPECT_EQ(GSM_ManageSimPin(), 0);
    EXPECT_TRUE(transcriptHas("AT+CPIN=12345678,001234"));
    modem.setAnswer("AT+CPIN=001234", {}, "ERROR");
    modem.setAnswer("AT+CPIN?", {"+CPIN: SIM PIN"});
    EXPECT_EQ(GSM_ManageSimPin(), -1);
}

TEST_F(GsmTest, SilentModemIsResetOnEveryStepUntilItAnswersAgain)
{
    step(); // initialisation
    ASSERT_EQ(count(book(), "Init GSM Modem"), 1u);
    modem.setSilent(true);
    for (int i = 0; i < 41; i++) {
        clockAdvanceUs(500000);
        step();
    }
    EXPECT_EQ(count(book(), "Gsm Modem Hangs! Reset"), 0u) << "40 silent ticks are still tolerated";
    clockAdvanceUs(500000);
    step();
    EXPECT_EQ(count(book(), "Gsm Modem Hangs! Reset"), 1u);
    step();
    EXPECT_EQ(count(book(), "Gsm Modem Hangs! Reset"), 2u) << "resets repeat while the modem stays silent";
    EXPECT_EQ(count(book(), "Init GSM Modem"), 3u);
    // Answering again, the modem's answer to the next query ends the resets.
    modem.setSilent(false);
    for (int i = 0; i < 80; i++) {
        clockAdvanceUs(500000);
        step();
    }
    size_t resets = count(book(), "Gsm Modem Hangs! Reset");
    for (int i = 0; i < 20; i++) {
        clockAdvanceUs(500000);
        step();
    }
    EXPECT_EQ(count(book(), "Gsm Modem Hangs! Reset"), resets);
}

TEST_F(GsmTest, StoredMessageGoesOutFromTheIndexTheModemGave)
{
    user(0, 39, 1111111111);
    user(3, 44, 2222222222);
    user(5, 33, 3333333333);
    modem.setNextIndex(7);
    SmsRecord sms = {};
    snprintf(sms.text, sizeof sms.text, "hello");
    uint8_t flags[GSM_USER_SLOTS] = {0, 0, 0, 1, 0, 1};
    EXPECT_EQ(GSM_SendMultipleSms(&sms, flags), 2);
    auto sent = modem.sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].dest, "+442222222222");
    EXPECT_EQ(sent[1].dest, "+333333333333");
    for (const SimModemSms& m : sent) {
        EXPECT_EQ(m.index, 7);
        EXPECT_EQ(m.text, "hello");
    }
    EXPECT_TRUE(transcriptHas("AT+CMGD=7"));
    EXPECT_TRUE(modem.stored().empty());

    modem.setAnswer("AT+CMGD=8", {}, "ERROR");
    // A message that cannot be deleted: -3; one that cannot be stored: -1.
    flags[5] = 0;
    EXPECT_EQ(GSM_SendMultipleSms(&sms, flags), -3);
    modem.setSilent(true);
    EXPECT_EQ(GSM_SendMultipleSms(&sms, flags), -1);
}

TEST_F(GsmTest, LongAnswersStayWithinTheirBuffers)
{
    char buf[GSM_RX_BUFFER + 1];
    memset(buf, 'z', sizeof buf);
    modem.injectRaw(std::string(1500, 'A'));
    EXPECT_EQ(GSM_ReadAnswer(buf, 3000), 476) << "1,024 bytes, then the rest";
    EXPECT_EQ(buf[476], 0);
    modem.injectRaw(std::string(1024, 'B'));
    EXPECT_EQ(GSM_ReadAnswer(buf, 3000), 1024);
    EXPECT_EQ(buf[1024], 0) << "a full chunk stays terminated";

    // Long fields keep to their 24-byte texts; overlong lines in place of
    // the answers store nothing.
    modem.setAnswer("AT+COPS?", {"+COPS: 0,0,\"" + std::string(200, 'O') + "\""});
    modem.setAnswer("AT+CCID", {"+CCID: " + std::string(200, '9')});
    GSM_InitModemUBlox();
    EXPECT_EQ(text24(getGsmOperatorName), std::string(23, 'O'));
    EXPECT_EQ(text24(getGsmSimId), " " + std::string(22, '9'));
    modem.setOverlong(3000);
    GSM_InitModemUBlox();
    EXPECT_EQ(text24(getGsmOperatorName), "");
    EXPECT_EQ(text24(getGsmSimId), "");
    EXPECT_EQ(text24(getGsmModemId), "004999010640000") << "kept from before";
}
