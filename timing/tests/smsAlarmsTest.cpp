// Alarm SMS on the virtual clock: the start delay, the shadows, the quotas
// and their periods, the PSU events, the re-enable timer and the test SMS.
#include "timing/tests/gsmTestSupport.h"

#include <cstring>

class SmsAlarms : public GsmTest {
protected:
    void SetUp() override
    {
        GsmTest::SetUp();
        setGSMSmsAlarmsEna(1);
        setGSMMaxSmsHour(100);
        setGSMMaxSmsDay(1000);
        setGSMLastTimeSentSms(static_cast<uint32_t>(clockWallSeconds()));
        user(0, 39, 1111111111);
        user(4, 44, 2222222222);
        tick(); // stamps the start
    }

    void tick()
    {
        timeThread();
        GSM_SendSmsDispatcher();
    }

    // Past the start delay.
    void afterStart()
    {
        clockAdvanceUs(61000000);
        tick();
    }

    std::vector<std::string> sentTo(const std::string& dest)
    {
        std::vector<std::string> out;
        for (const SimModemSms& m : modem.sent())
            if (m.dest == dest)
                out.push_back(m.text);
        return out;
    }
};

TEST_F(SmsAlarms, SetEventsAreReportedOnceAfterTheStartDelay)
{
    setGsmUserAlarmEna(6, 0, 1); // event 7 for the administrator
    setGsmUserAlarmEna(8, 4, 1); // event 9 for user 4
    setGsmUserAlarmEna(0, 4, 1); // event 1: no text of its own
    setStatusBitA(1, 7);
    setStatusBitA(1, 9);
    clockAdvanceUs(30000000);
    tick();
    EXPECT_TRUE(modem.sent().empty()) << "nothing before 60 s";
    EXPECT_EQ(GSM_GetEventShadowA(7), 0) << "the shadow waits too";
    afterStart();
    EXPECT_EQ(sentTo("+391111111111"), std::vector<std::string>{" A007: FWD Pwr ALM"});
    EXPECT_EQ(sentTo("+442222222222"), std::vector<std::string>{" A009: RFL Pwr ALM"});
    EXPECT_EQ(getGSMCntSentSmsHour(), 2u) << "two events in a tick count both";
    EXPECT_EQ(getGSMCntSentSmsDay(), 2u);
    tick();
    EXPECT_EQ(modem.sent().size(), 2u) << "reported once";

    setStatusBitA(1, 1);
    setStatusBitA(0, 7);
    tick();
    EXPECT_EQ(sentTo("+442222222222").back(), "") << "an event without a row sends an empty text";
    EXPECT_EQ(sentTo("+391111111111").back(), " A007: FWD Pwr OK");
    EXPECT_EQ(getGSMCntSentSmsHour(), 4u);
}

TEST_F(SmsAlarms, QuotaHoldsWhileTheCounterIsNotAboveIt)
{
    setGsmUserAlarmEna(6, 0, 1);
    setGSMMaxSmsHour(3);
    setGSMCntSentSmsHour(3);
    setStatusBitA(1, 7);
    afterStart();
    EXPECT_EQ(modem.sent().size(), 1u) << "3 of 3 still sends";
    EXPECT_EQ(getGSMCntSentSmsHour(), 4u);
    setStatusBitA(0, 7);
    tick();
    EXPECT_EQ(modem.sent().size(), 1u) << "at 4 the event is dropped";
    EXPECT_EQ(GSM_GetEventShadowA(7), 0) << "into the shadow";
    EXPECT_EQ(getGSMCntSentSmsHour(), 4u);
}

TEST_F(SmsAlarms, FailedSendsDoNotLowerTheCounters)
{
    setGsmUserAlarmEna(6, 0, 1);
    setGSMCntSentSmsHour(2);
    setGSMCntSentSmsDay(2);
    modem.setSilent(true);
    setStatusBitA(1, 7);
    afterStart();
    EXPECT_EQ(getGSMCntSentSmsHour(), 2u);
    EXPECT_EQ(getGSMCntSentSmsDay(), 2u);
}

TEST_F(SmsAlarms, PsuEventsOnlyWithPsuType1)
{
    setGsmUserAlarmEna(267, 4, 1); // event 268
    setStatusBitC(1, 12);
    setPsuTypeCode(0);
    afterStart();
    EXPECT_TRUE(modem.sent().empty());
    setPsuTypeCode(1);
    tick();
    EXPECT_EQ(sentTo("+442222222222"), std::vector<std::string>{" A268: PSU LowVoltage ALM"});
    EXPECT_EQ(GSM_GetEventShadowC(12), 1);
}

TEST_F(SmsAlarms, QuotaPeriodsFollowLocalTime)
{
    time_t now = clockWallSeconds();
    setGSMCntSentSmsHour(5);
    setGSMCntSentSmsDay(7);
    setGSMLastTimeSentSms(static_cast<uint32_t>(now - 86400));
    tick();
    EXPECT_EQ(getGSMCntSentSmsHour(), 5u) << "same hour a day earlier";
    EXPECT_EQ(getGSMCntSentSmsDay(), 0u);
    setGSMLastTimeSentSms(static_cast<uint32_t>(now - 3600));
    tick();
    EXPECT_EQ(getGSMCntSentSmsHour(), 0u);
}

TEST_F(SmsAlarms, SmsOffHoursReEnableAfterTheirPeriod)
{
    setGSMSmsAlarmsEna(0);
    setGSMSmsAlarmsTimerStart(static_cast<uint32_t>(clockWallSeconds()));
    setGSMSmsAlarmsTimerPeriod(2);
    setGSMSmsAlarmsTimerEna(1);
    clockAdvanceUs(7200LL * 1000000);
    GSM_Scheduler();
    EXPECT_EQ(getGSMSmsAlarmsEna(), 0u) << "not before two hours have passed";
    clockAdvanceUs(2000000);
    GSM_Scheduler();
    EXPECT_EQ(getGSMSmsAlarmsEna(), 1u);
    EXPECT_EQ(getGSMSmsAlarmsTimerEna(), 0u);
    EXPECT_EQ(getGSMSmsAlarmsTimerPeriod(), 0u);

    // A period too long for 32-bit seconds does not wrap into the past.
    setGSMSmsAlarmsEna(0);
    setGSMSmsAlarmsTimerStart(static_cast<uint32_t>(clockWallSeconds()));
    setGSMSmsAlarmsTimerPeriod(2000000);
    setGSMSmsAlarmsTimerEna(1);
    GSM_Scheduler();
    EXPECT_EQ(getGSMSmsAlarmsEna(), 0u);
}

TEST_F(SmsAlarms, TestSmsIsTriedFiveTimesAndItsFlagCleared)
{
    setGSMTestSmsDestPrefix(33);
    setGSMTestSmsDestNr(1234567890);
    setHpsTypeCode(17);
    setPsuTypeCode(0);
    setGsmSendReq(1);
    tick();
    auto sent = modem.sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].dest, "+331234567890");
    EXPECT_EQ(sent[0].text, " TestSMS from TX:\nTYPE: FM 0dBm\nSN: \nFW: 00.00.00\n");
    EXPECT_EQ(getGsmSendReq(), 0u);

    modem.clearRecords();
    modem.setSilent(true);
    setGsmSendReq(1);
    tick();
    size_t tries = 0;
    for (const std::string& l : modem.transcript())
        tries += l.rfind("AT+CMGS=\"+331234567890\"", 0) == 0;
    EXPECT_EQ(tries, 5u);
    EXPECT_EQ(getGsmSendReq(), 0u);
}
