// Alarm SMS: changes of the event states go by SMS to the users subscribed to
// them, within the hourly and daily quotas; the test SMS on request; the
// timer that re-enables the alarm SMS after "SMS OFF <hours>".
#include "timing/gsmModem.h"

#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "timing/gsmKeys.h"
#include "timing/smsTexts.h"

#include <cstdio>
#include <cstring>

namespace {

#include "timing/gen/gsmTables.inc"

constexpr uint32_t kStartDelaySeconds = 59; // alarm SMS only after more than this
constexpr int kTestAttempts = 5;
constexpr uint32_t kRetryGapUs = 5000;

struct State {
    uint8_t started = 0;
    struct timespec start = {};
    uint8_t shadowA[32] = {}; // 256 bits
    uint8_t shadowC[4] = {};  // 32 bits
};

State& st()
{
    static State s;
    return s;
}

uint8_t getBit(const uint8_t* map, uint32_t bits, uint32_t n)
{
    if (n == 0 || n > bits)
        return 0;
    return (map[(n - 1) / 8] >> ((n - 1) % 8)) & 1;
}

void setBit(uint8_t* map, uint32_t bits, uint32_t n, uint8_t v)
{
    if (n == 0 || n > bits)
        return;
    uint8_t mask = static_cast<uint8_t>(1u << ((n - 1) % 8));
    if (v)
        map[(n - 1) / 8] |= mask;
    else
        map[(n - 1) / 8] &= static_cast<uint8_t>(~mask);
}

void timeText(time_t t, char* out, size_t size)
{
    struct tm tmv;
    localtime_r(&t, &tmv);
    strftime(out, size, "%Y/%m/%d-%H:%M:%S", &tmv);
}

// One watched event: reports a change of its state to the subscribers.
void handleEvent(int event, uint8_t state, uint8_t shadow, int* sent, bool* marked, time_t* noted)
{
    if (state == shadow)
        return;
    uint8_t flags[GSM_USER_SLOTS] = {};
    bool any = false;
    for (uint32_t u = 0; u < GSM_USER_SLOTS; u++)
        if (getGsmUserAlarmEna(static_cast<uint32_t>(event - 1), u)) {
            flags[u] = 1;
            any = true;
        }
    if (!any)
        return;
    *marked = true;
    DEBUG_PRINT(DBG_GSM, "Prepare SMS: Event %d", event);
    *noted = clockWallSeconds();
    SmsRecord sms = {};
    GSM_PrepareAlarmSms(&sms, event, state);
    // The quotas hold while the counters are not above them.
    if (getGSMCntSentSmsDay() <= getGSMMaxSmsDay() && getGSMCntSentSmsHour() <= getGSMMaxSmsHour()) {
        int r = GSM_SendMultipleSms(&sms, flags);
        // A failure code is no count of sent messages.
        if (r > 0)
            *sent += r;
    }
}

} // namespace

uint8_t GSM_GetEventShadowA(uint32_t bit)
{
    return getBit(st().shadowA, 256, bit);
}

void GSM_SetEventShadowA(uint32_t bit, uint8_t value)
{
    setBit(st().shadowA, 256, bit, value);
}

uint8_t GSM_GetEventShadowC(uint32_t bit)
{
    return getBit(st().shadowC, 32, bit);
}

void GSM_SetEventShadowC(uint32_t bit, uint8_t value)
{
    setBit(st().shadowC, 32, bit, value);
}

int GSM_Scheduler()
{
    if (getGSMSmsAlarmsTimerEna() != 1)
        return 0;
    // Hours to seconds in 64 bits: a large period cannot wrap.
    int64_t until = static_cast<int64_t>(getGSMSmsAlarmsTimerStart()) +
                    3600 * static_cast<int64_t>(getGSMSmsAlarmsTimerPeriod());
    if (static_cast<int64_t>(clockWallSeconds()) > until) {
        setGSMSmsAlarmsEna(1);
        DEBUG_PRINT(DBG_GSM, "SMS ON: Reactivated after %d hour", static_cast<int>(getGSMSmsAlarmsTimerPeriod()));
        setGSMSmsAlarmsTimerEna(0);
        setGSMSmsAlarmsTimerStart(0);
        setGSMSmsAlarmsTimerPeriod(0);
    }
    return 0;
}

int GSM_PrepareAlarmSms(SmsRecord* sms, int event, int state)
{
    memset(sms->text, 0, sizeof sms->text);
    char label[24];
    gsmLabelPart(label, sizeof label);
    if (event == 0) {
        sms->prefix = static_cast<uint16_t>(getGSMTestSmsDestPrefix());
        sms->number = getGSMTestSmsDestNr();
        gsmIdentityText(sms->text, sizeof sms->text, "TestSMS from", true);
        return 0;
    }
    for (const SmsAlarmText& row : kSmsAlarmTexts)
        if (row.event == event) {
            snprintf(sms->text, sizeof sms->text, row.format, label, event, state ? row.set : row.cleared);
            break;
        }
    return 0;
}

int GSM_SendSmsDispatcher()
{
    State& s = st();
    if (!s.started) {
        s.start = getMonoTimeNow();
        s.started = 1;
    }
    if (getGsmSendReq() == 1) {
        SmsRecord sms = {};
        GSM_PrepareAlarmSms(&sms, 0, 1);
        for (int i = 0; i < kTestAttempts; i++) {
            if (GSM_SendSms(&sms) == 0)
                break;
            clockSleepUs(kRetryGapUs);
        }
        setGsmSendReq(0);
    }
    struct timespec now = getMonoTimeNow();
    int sent = 0;
    bool marked = false;
    time_t noted = 0;
    if (getGSMSmsAlarmsEna() == 1 && now.tv_sec - s.start.tv_sec > kStartDelaySeconds) {
        for (int n = 1; n <= 88; n++) {
            uint8_t a = getStatusBitA(static_cast<uint16_t>(n));
            handleEvent(n, a, GSM_GetEventShadowA(static_cast<uint32_t>(n)), &sent, &marked, &noted);
            GSM_SetEventShadowA(static_cast<uint32_t>(n), a);
        }
        if (getPsuTypeCode() == 1)
            for (int n = 257; n <= 281; n++) {
                uint8_t c = getStatusBitC(static_cast<uint16_t>(n - 256));
                handleEvent(n, c, GSM_GetEventShadowC(static_cast<uint32_t>(n - 256)), &sent, &marked, &noted);
                GSM_SetEventShadowC(static_cast<uint32_t>(n - 256), c);
            }
    }
    if (marked && sent >= 1) {
        setGSMCntSentSmsHour(getGSMCntSentSmsHour() + static_cast<uint32_t>(sent));
        setGSMCntSentSmsDay(getGSMCntSentSmsDay() + static_cast<uint32_t>(sent));
        setGSMLastTimeSentSms(static_cast<uint32_t>(noted));
        char a[32], b[32];
        timeText(clockWallSeconds(), a, sizeof a);
        timeText(noted, b, sizeof b);
        DEBUG_PRINT(DBG_GSM, "UpdateCounters@%s: inHour=%d [Max %d], inDay=%d [Max %d], LastSentTime %s", a,
                    static_cast<int>(getGSMCntSentSmsHour()), static_cast<int>(getGSMMaxSmsHour()),
                    static_cast<int>(getGSMCntSentSmsDay()), static_cast<int>(getGSMMaxSmsDay()), b);
    }
    time_t nowWall = clockWallSeconds();
    time_t last = static_cast<time_t>(getGSMLastTimeSentSms());
    struct tm tn, tl;
    localtime_r(&nowWall, &tn);
    localtime_r(&last, &tl);
    if (tn.tm_hour != tl.tm_hour && getGSMCntSentSmsHour() != 0)
        setGSMCntSentSmsHour(0);
    if (tn.tm_mday != tl.tm_mday && getGSMCntSentSmsDay() != 0)
        setGSMCntSentSmsDay(0);
    return 0;
}
