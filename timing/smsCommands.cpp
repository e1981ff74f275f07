// SMS command service: a "+CMT:" message from a registered user is matched
// against the command words, executed through the command manager and the
// setters, and answered by SMS (with a copy to the administrator).
#include "timing/gsmModem.h"

#include "comtab/commandManager.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "core/base/utils.h"
#include "alarms/logicaTx.h"
#include "platform/clock.h"
#include "power/powerSettings.h"
#include "timing/gsmKeys.h"
#include "timing/smsTexts.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

#include "timing/gen/gsmTables.inc"

constexpr int kCodes = 32;
constexpr int kReplyAttempts = 5;
constexpr int kAdminAttempts = 10;
constexpr uint32_t kRetryGapUs = 5000;

enum Code {
    C_ON = 0, C_OFF, C_SMS_ON, C_SMS_OFF, C_INFO, C_STS, C_STS2, C_STS3, C_RES, C_PWR, C_ADDU,
    C_TIMEDRT_ON, C_TIMEDRT_OFF, C_GSM, C_ALM1, C_ALM2, C_MUTE
};

// Reads `n` decimal digits at `p`: false when one is not a digit.
bool digits(const char* p, int n, uint64_t* out)
{
    uint64_t v = 0;
    for (int i = 0; i < n; i++) {
        if (p[i] < '0' || p[i] > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(p[i] - '0');
    }
    *out = v;
    return true;
}

// The label part: "[label]" when the label is set, else empty.
void labelPart(char* out, size_t size)
{
    uint8_t label[21] = {};
    buildGsmTxLabel(label);
    if (label[0])
        snprintf(out, size, "[%s]", reinterpret_cast<const char*>(label));
    else
        out[0] = 0;
}

void serialText(char* out)
{
    uint8_t sn[13] = {};
    getSerialNumber(sn);
    memcpy(out, sn, 12);
    out[12] = 0;
}

const char* alarmText(uint32_t id, uint32_t wrn)
{
    if (getAlarmState(id))
        return "ALM";
    if (wrn && getAlarmState(wrn))
        return "WRN";
    return "OK";
}

void formatList(char* out, size_t size, const char* label, const char* word, const SmsListEntry* list, int n)
{
    int k = snprintf(out, size, kReplyListHead, label, word);
    for (int i = 0; i < n && k >= 0 && static_cast<size_t>(k) < size; i++) {
        uint8_t on = list[i].event > 256 ? getStatusBitC(static_cast<uint16_t>(list[i].event - 256))
                                         : getStatusBitA(list[i].event);
        if (i > 0)
            k += snprintf(out + k, size - static_cast<size_t>(k), "\n");
        if (static_cast<size_t>(k) >= size)
            break;
        k += snprintf(out + k, size - static_cast<size_t>(k), kReplyListLine[list[i].letter == 'W' ? 0 : 1],
                      list[i].event, on ? 1 : 0);
    }
}

const char* levelText(uint32_t level, char* buf, size_t size)
{
    if (level == 0)
        return "< -115 dBm";
    if (level == 1)
        return "-111 dBm";
    if (level >= 3 && level <= 29) {
        snprintf(buf, size, "%d dBm", static_cast<int>(level) - 112);
        return buf;
    }
    if (level == 31)
        return "> -52 dBm";
    return "not known";
}

uint32_t minWatts()
{
    return convLogIndexToLin(getMinPowerIndex()) / 10000;
}

uint32_t maxWatts()
{
    return convLogIndexToLin(getMaxPowerIndex()) / 10000;
}

int sendWithRetries(SmsRecord* sms, int attempts)
{
    int r = -1;
    for (int i = 0; i < attempts; i++) {
        r = GSM_SendSms(sms);
        if (r == 0)
            break;
        clockSleepUs(kRetryGapUs);
    }
    return r;
}

} // namespace

// The unit type of the identity texts; the test SMS names the 0 dBm exciter.
void gsmTypeText(char* out, size_t size, bool testSms)
{
    const char* t = "";
    uint32_t psu = getPsuTypeCode();
    if (psu == 0)
        t = testSms && getHwVariantCode() == 17 ? "FM 0dBm" : "FM 2W";
    else if (psu == 1 && getPowerClassCode() == 3)
        t = "FM 5kW";
    // The power index counts tenths of a dB above 1 mW: 63 dBm is a 2 kW
    // amplifier, 60 dBm a 1 kW one.
    else if (psu == 1 && getPowerClassCode() == 1 && getMaxPowerIndex() == 630)
        t = "FM 2kW";
    else if (psu == 1 && getPowerClassCode() == 1 && getMaxPowerIndex() == 600)
        t = "FM 1kW";
    snprintf(out, size, "%s", t);
}

// The label part of every reply and alarm text.
void gsmLabelPart(char* out, size_t size)
{
    labelPart(out, size);
}

// The identity text (INFO and the test SMS).
void gsmIdentityText(char* out, size_t size, const char* word, bool testSms)
{
    char label[24], type[16], sn[13];
    labelPart(label, sizeof label);
    gsmTypeText(type, sizeof type, testSms);
    serialText(sn);
    snprintf(out, size, kReplyInfo, label, word, type, sn, static_cast<int>(getFwVersionMajor()),
             static_cast<int>(getFwVersionMinor()), static_cast<int>(getFwVersionPatch()));
}

int GSM_HasSmsHeader(const char* text, size_t len)
{
    static const char kHeader[] = "+CMT:";
    size_t j = 0;
    for (size_t i = 0; i < len && j < sizeof kHeader - 1; i++)
        if (text[i] == kHeader[j])
            j++;
    return j == sizeof kHeader - 1 ? 1 : 0;
}

int GSM_FindLineToken(const char* text, size_t len, const char* word)
{
    size_t wlen = strlen(word);
    if (wlen == 0)
        return 0;
    for (size_t i = 0; i + 1 < len; i++) {
        if (text[i] != '\n')
            continue;
        size_t at = i + 1;
        if (at + wlen > len || memcmp(text + at, word, wlen) != 0)
            continue;
        size_t after = at + wlen;
        if (after == len || text[after] == 0 || text[after] == '\r' || text[after] == '\n' || text[after] == ' ')
            return 1;
        return 0;
    }
    return 0;
}

int GSM_ParseSmsHeader(const char* text, size_t len, SmsRecord* sms)
{
    memset(sms, 0, sizeof *sms);
    const char* end = text + len;
    const char* h = nullptr;
    for (const char* p = text; p + 5 <= end; p++)
        if (memcmp(p, "+CMT:", 5) == 0) {
            h = p + 5;
            break;
        }
    if (!h)
        return -1;
    const char* lf = static_cast<const char*>(memchr(h, '\n', static_cast<size_t>(end - h)));
    // The header must hold every column up to the seconds, all on its line.
    if (!lf || lf - h < 36)
        return -1;
    uint64_t prefix, number, yy, mo, dd, hh, mi, ss;
    if (h[2] != '+' || !digits(h + 3, 2, &prefix) || !digits(h + 5, 10, &number) || number > 0xffffffffull ||
        !digits(h + 19, 2, &yy) || !digits(h + 22, 2, &mo) || !digits(h + 25, 2, &dd) ||
        !digits(h + 28, 2, &hh) || !digits(h + 31, 2, &mi) || !digits(h + 34, 2, &ss))
        return -1;
    sms->prefix = static_cast<uint16_t>(prefix);
    sms->number = static_cast<uint32_t>(number);
    struct tm t = {};
    t.tm_year = 100 + static_cast<int>(yy);
    t.tm_mon = static_cast<int>(mo) - 1;
    t.tm_mday = static_cast<int>(dd);
    t.tm_hour = static_cast<int>(hh);
    t.tm_min = static_cast<int>(mi);
    t.tm_sec = static_cast<int>(ss);
    t.tm_isdst = -1;
    sms->stamp = mktimeLocal(&t);
    // The text is the next line, up to its CR.
    const char* p = lf + 1;
    size_t k = 0;
    while (p < end && *p != '\r' && *p != 0 && k < GSM_SMS_TEXT)
        sms->text[k++] = *p++;
    sms->text[k] = 0;
    return 0;
}

int GSM_GetCmdArgument(int code, const SmsRecord* sms, char* out)
{
    out[0] = 0;
    if (code != C_SMS_OFF && code != C_PWR && code != C_ADDU && code != C_MUTE)
        return 0;
    const char* word = kSmsCommandWords[code];
    size_t wlen = strlen(word);
    const char* at = strstr(sms->text, word);
    if (!at)
        return 1;
    snprintf(out, GSM_SMS_TEXT + 1 - wlen, "%s", at + wlen);
    return 1;
}

int GSM_FindUserSlot(const SmsRecord* sms)
{
    // A free slot (0, 0) stands for nobody.
    if (sms->prefix == 0 && sms->number == 0)
        return -1;
    for (uint32_t u = 0; u < GSM_USER_SLOTS; u++)
        if (getPhoneDestPrefix(u) == sms->prefix && getPhoneDestNr(u) == sms->number)
            return static_cast<int>(u);
    return -1;
}

int GSM_CheckUserRights(int code, const SmsRecord* sms)
{
    int slot = GSM_FindUserSlot(sms);
    if (slot < 0)
        return -1;
    if (code == C_ADDU && slot != 0)
        return -2;
    return 0;
}

int GSM_FindFreeUserSlot()
{
    for (uint32_t u = 0; u < GSM_USER_SLOTS; u++)
        if (getPhoneDestPrefix(u) == 0 && getPhoneDestNr(u) == 0)
            return static_cast<int>(u);
    return -1;
}

int GSM_ApplyFmCmd(int code, SmsRecord* sms)
{
    if (LogicaTx_GetControlMode() == 1 && code != C_INFO && code != C_STS)
        return -3;
    const char* word = kSmsCommandWords[code];
    char when[32];
    time_t now = clockWallSeconds();
    struct tm tmv;
    localtime_r(&now, &tmv);
    strftime(when, sizeof when, "%Y/%m/%d-%H:%M:%S", &tmv);
    DEBUG_PRINT(DBG_GSM, "%s command received @%s", word, when);
    switch (code) {
    case C_ON: case C_OFF: case C_SMS_ON: case C_SMS_OFF: case C_RES: case C_PWR: case C_ADDU:
    case C_TIMEDRT_ON: case C_TIMEDRT_OFF: case C_MUTE:
        logEvent("TX %s --> cmd received from +%d%u", word, sms->prefix, sms->number);
        break;
    default:
        break;
    }
    char arg[GSM_SMS_TEXT + 1];
    GSM_GetCmdArgument(code, sms, arg);
    switch (code) {
    case C_ON:
    case C_OFF:
        return CMD_Request(code == C_ON ? 3 : 4, 1) == 0 ? 0 : -1;
    case C_SMS_ON:
        setGSMSmsAlarmsEna(1);
        return 0;
    case C_SMS_OFF: {
        setGSMSmsAlarmsEna(0);
        long hours = strtol(arg, nullptr, 10);
        if (hours >= 1) {
            setGSMSmsAlarmsTimerStart(static_cast<uint32_t>(clockWallSeconds()));
            setGSMSmsAlarmsTimerPeriod(static_cast<uint32_t>(hours));
            setGSMSmsAlarmsTimerEna(1);
            DEBUG_PRINT(DBG_GSM, "SMS OFF: Enable Timer for %li hours", hours);
        }
        return 0;
    }
    case C_RES:
        CMD_SetResult(6, 10);
        return CMD_Request(6, 1) == 0 ? 0 : -1;
    case C_PWR: {
        // The limits are tested on the number itself, before it is rounded
        // and scaled, so a huge value cannot overflow into range.
        double w = strtod(arg, nullptr);
        if (!std::isfinite(w) || w < 0 || w + 0.5 < static_cast<double>(minWatts()) ||
            w + 0.5 >= static_cast<double>(maxWatts()) + 1.0)
            return -4;
        uint32_t watts = static_cast<uint32_t>(std::floor(w + 0.5));
        if (watts < minWatts() || watts > maxWatts() || !isValidTxNominalPowerLinear(watts * 10000u))
            return -4;
        setTxNominalPowerLinear(watts * 10000u, 1);
        return 0;
    }
    case C_ADDU: {
        int slot = GSM_FindFreeUserSlot();
        if (slot < 0)
            return -1;
        // " +" and twelve digits: the prefix and the ten-digit number.
        uint64_t prefix, number;
        size_t alen = strlen(arg);
        if (alen < 14 || arg[0] != ' ' || arg[1] != '+' || !digits(arg + 2, 2, &prefix) ||
            !digits(arg + 4, 10, &number) || number > 0xffffffffull || (alen > 14 && arg[14] != '\r' &&
                                                                         arg[14] != '\n' && arg[14] != ' ') ||
            (prefix == 0 && number == 0))
            return -1;
        setPhoneDestPrefix(static_cast<uint32_t>(slot), static_cast<uint16_t>(prefix));
        setPhoneDestNr(static_cast<uint32_t>(slot), static_cast<uint32_t>(number));
        return 0;
    }
    case C_TIMEDRT_ON:
        setPwrProgDeratingEnable(1);
        return 0;
    case C_TIMEDRT_OFF:
        setPwrProgDeratingEnable(0);
        return 0;
    case C_MUTE: {
        long secs = strtol(arg, nullptr, 10);
        if (secs != 0) {
            DEBUG_PRINT(DBG_GSM, "Audio Test MUTE: %li sec", secs);
            setAudioTestMuteSeconds(static_cast<uint32_t>(secs));
        }
        return 0;
    }
    case C_INFO: case C_STS: case C_STS2: case C_STS3: case C_GSM:
        return 0;
    default:
        DEBUG_PRINT(DBG_GSM, "No action for SMS command %s [%d]", word, code);
        return -2;
    }
}

int GSM_SendFmCmdReply(int code, SmsRecord* sms, int result)
{
    char label[24];
    labelPart(label, sizeof label);
    const char* word = kSmsCommandWords[code];
    char text[512] = {};
    switch (code) {
    case C_ON: case C_OFF: case C_SMS_ON: case C_SMS_OFF: case C_RES: case C_ADDU: case C_TIMEDRT_ON:
    case C_TIMEDRT_OFF: case C_MUTE:
        snprintf(text, sizeof text, kReplySimple[result >= 0 ? 0 : result == -3 ? 1 : 2], label, word);
        break;
    case C_INFO:
        gsmIdentityText(text, sizeof text, word, false);
        break;
    case C_STS: {
        char fwd[32], rfl[16], freq[16], temp[16];
        snprintf(fwd, sizeof fwd, "%.1f W %d%%", getTxForwardPower() / 10000.0,
                 static_cast<int>(getTxForwardPowerPercent()));
        snprintf(rfl, sizeof rfl, "%d W", static_cast<int>(getTxReflectedPower() / 10000));
        snprintf(freq, sizeof freq, "%.1f MHz", getOutputRFfrequency() / 1e6);
        snprintf(temp, sizeof temp, "%d C", static_cast<int>(getPowerTableWord(9)));
        const char* input = "OK";
        for (uint32_t id = 53; id <= 59; id++)
            if (getAlarmState(id))
                input = "ALM";
        const char* mod = getModulatorAlarm() ? "ALM" : getModulatorWarning() ? "WRN" : "OK";
        snprintf(text, sizeof text, kReplySts, label, word, getRfMuteState() ? "ON" : "STBY", fwd, rfl, freq,
                 alarmText(101, 0), temp, input, mod, alarmText(126, 127), alarmText(131, 132));
        break;
    }
    case C_STS2:
        snprintf(text, sizeof text, kReplySts2, label, word, getMeasuredLeftDeviation() / 1000.0,
                 getMeasuredRightDeviation() / 1000.0, getMeasuredAuxDeviation() / 1000.0,
                 getMeasuredPilotDeviation() / 1000.0, getMeasuredMpxDeviation() / 1000.0);
        break;
    case C_STS3: {
        auto m = [](uint32_t i) { return getHpaMeasureWord(i) / 1000.0; };
        if (getPsuTypeCode() != 1)
            snprintf(text, sizeof text, kReplySts3[2], label, word);
        else if (getPowerClassCode() == 3)
            snprintf(text, sizeof text, kReplySts3[0], label, word, m(0), m(1), m(3), m(4), m(6), m(7), m(8),
                     m(15));
        else if (getPowerClassCode() == 1)
            snprintf(text, sizeof text, kReplySts3[1], label, word, m(0), m(1), m(8), m(15));
        break;
    }
    case C_PWR:
        if (result >= 0)
            snprintf(text, sizeof text, kReplyPwr[0], label, word,
                     static_cast<int>(getTxNominalPowerLinear() / 10000));
        else if (result == -3)
            snprintf(text, sizeof text, kReplySimple[1], label, word);
        else if (result == -4)
            snprintf(text, sizeof text, kReplyPwr[1], label, word, static_cast<int>(minWatts()),
                     static_cast<int>(maxWatts()));
        else
            snprintf(text, sizeof text, kReplyPwr[2], label, word);
        break;
    case C_GSM: {
        uint8_t op[GSM_MODEM_TEXT + 1] = {}, iccid[GSM_MODEM_TEXT + 1] = {}, imei[GSM_MODEM_TEXT + 1] = {};
        getGsmOperatorName(op);
        getGsmSimId(iccid);
        getGsmModemId(imei);
        char lvl[16];
        snprintf(text, sizeof text, kReplyGsm, label, reinterpret_cast<const char*>(op),
                 levelText(getGsmSignalQuality(), lvl, sizeof lvl), reinterpret_cast<const char*>(iccid),
                 reinterpret_cast<const char*>(imei));
        break;
    }
    case C_ALM1:
        formatList(text, sizeof text, label, word, kAlm1List, 15);
        break;
    case C_ALM2:
        formatList(text, sizeof text, label, word, kAlm2List, 14);
        break;
    default:
        return -1;
    }
    snprintf(sms->text, sizeof sms->text, "%s", text);
    int r = sendWithRetries(sms, kReplyAttempts);
    uint32_t adminPrefix = getPhoneDestPrefix(0), adminNumber = getPhoneDestNr(0);
    if (getGSMAdminSmsSupervisorEna() == 1 && (sms->prefix != adminPrefix || sms->number != adminNumber) &&
        (adminPrefix != 0 || adminNumber != 0)) {
        DEBUG_PRINT(DBG_GSM, "Send SMS to ADMIN");
        SmsRecord admin = *sms;
        admin.prefix = static_cast<uint16_t>(adminPrefix);
        admin.number = adminNumber;
        sendWithRetries(&admin, kAdminAttempts);
    }
    return r;
}

int GSM_ParseFmCmdMsg()
{
    size_t len = 0;
    const char* buf = GSM_RxBuffer(&len);
    if (!GSM_HasSmsHeader(buf, len))
        return -1;
    int code = -1;
    for (int c = 0; c < kCodes; c++)
        if (GSM_FindLineToken(buf, len, kSmsCommandWords[c])) {
            code = c;
            DEBUG_PRINT(DBG_GSM, "Found SMS Command: %s [%d]", kSmsCommandWords[c], c);
            break;
        }
    if (code < 0)
        return -1;
    SmsRecord sms;
    // A header that does not parse names no sender: the message is dropped.
    if (GSM_ParseSmsHeader(buf, len, &sms) != 0) {
        DEBUG_PRINT(DBG_GSM, "Extract SMS Command: Failed");
        return -1;
    }
    int slot = GSM_FindUserSlot(&sms);
    if (slot >= 0)
        DEBUG_PRINT(DBG_GSM, "Found USER Slot: %d", slot);
    int rights = GSM_CheckUserRights(code, &sms);
    if (rights == -1) {
        DEBUG_PRINT(DBG_GSM, "Phone number [+%d%u] not authorized", sms.prefix, sms.number);
        return -1;
    }
    if (rights == -2) {
        DEBUG_PRINT(DBG_GSM, "Phone number [+%d%u] isn't admin", sms.prefix, sms.number);
        return -1;
    }
    int result = GSM_ApplyFmCmd(code, &sms);
    GSM_SendFmCmdReply(code, &sms, result);
    return result;
}
