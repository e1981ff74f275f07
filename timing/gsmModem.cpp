// GSM modem driver: the port, the AT exchange, the initialisation, the PIN,
// the query cycle, the answer table, the network time and the two ways of
// sending an SMS. Waits and reads go through the platform clock and the
// device seam, so the driver runs on a virtual clock against any byte source.
#include "timing/gsmModem.h"

#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "hw/fpgaWindows.h"
#include "links/serialChannels.h"
#include "platform/clock.h"
#include "platform/io.h"
#include "platform/programs.h"
#include "timing/gsmKeys.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <termios.h>

namespace {

#include "timing/gen/gsmTables.inc"

constexpr uint32_t kRoundUs = 3000;     // default per-round time-out
constexpr uint32_t kLongRoundUs = 10000; // registration, roaming, queries, SMS prompt
constexpr uint32_t kBodyRoundUs = 100000;
constexpr uint32_t kStoreRoundUs = 80000;
constexpr int kRounds = 100;
constexpr uint32_t kTickUs = 500000;
constexpr uint8_t kSilentTicks = 40;
constexpr int kModemCtrlRegion = 2;
constexpr uint32_t kModemCtrlOffset = 10;
constexpr char kNoService[] = "NO SERVICE";

struct State {
    int fd = -1;
    char rx[GSM_RX_BUFFER + 1] = {};
    size_t rxLen = 0;
    char answer[GSM_RX_BUFFER + 1] = {}; // chunk of the last exchange
    uint8_t started = 0;
    struct timespec tick = {};
    uint8_t silentTicks = 0;
    uint32_t pollCounter = 0;
    int verbose = 0;
};

State& st()
{
    static State s;
    return s;
}

void modemControlZero()
{
    uint32_t zero = 0;
    fpgaWriteWords(&zero, 1, 2, kModemCtrlRegion, kModemCtrlOffset);
}

// Writes every byte and drains: true when all went out.
bool writeAll(const char* text, size_t len)
{
    size_t done = 0;
    while (done < len) {
        ssize_t n = ioWrite(st().fd, text + done, len - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    ioIoctl(st().fd, TCSBRK, reinterpret_cast<void*>(static_cast<intptr_t>(1)));
    return true;
}

// One ready read of up to 1,024 bytes into a cleared, terminated buffer.
int readChunk(char* buf)
{
    memset(buf, 0, GSM_RX_BUFFER + 1);
    ssize_t n = ioRead(st().fd, buf, GSM_RX_BUFFER);
    if (n < 0)
        return -1;
    if (st().verbose)
        printf(" read %d bytes == %s\n", static_cast<int>(n), buf);
    return static_cast<int>(n);
}

// The PIN or PUK text of two configured words: up to eight characters, four
// a word with the first in the most significant byte, up to the first zero.
void codeText(uint32_t first, uint32_t second, char* out)
{
    uint32_t words[2] = {first, second};
    int k = 0;
    for (uint32_t w : words)
        for (int b = 3; b >= 0; b--) {
            char c = static_cast<char>((w >> (8 * b)) & 0xff);
            if (c == 0)
                goto done;
            out[k++] = c;
        }
done:
    out[k] = 0;
}

bool allDigits(const char* s)
{
    if (!*s)
        return false;
    for (; *s; s++)
        if (*s < '0' || *s > '9')
            return false;
    return true;
}

// A field of the last answer, 24 characters at most.
void answerField(int n, int len, char* out, size_t size)
{
    GSM_GetAnswerField(n, st().answer, len > 0 ? static_cast<size_t>(len) : 0, out, size);
}

// A modem text field: at most 23 characters and a terminator.
void copyText(uint8_t (&text)[GSM_MODEM_TEXT], const char* value)
{
    size_t n = strnlen(value, GSM_MODEM_TEXT - 1);
    memcpy(text, value, n);
    text[n] = 0;
}

void storeOperator(const char* name)
{
    uint8_t text[GSM_MODEM_TEXT] = {};
    if (name[0] == 0) {
        memcpy(text, kNoService, sizeof kNoService - 1);
        setGsmOperatorName(text);
        setGsmRegistered(0);
    } else {
        copyText(text, name);
        setGsmOperatorName(text);
        setGsmRegistered(1);
    }
}

bool operatorIsNoService()
{
    uint8_t name[GSM_MODEM_TEXT];
    getGsmOperatorName(name);
    return strncmp(reinterpret_cast<const char*>(name), kNoService, sizeof name) == 0;
}

void storeLevel(const char* field)
{
    setGsmSignalLevel(operatorIsNoService() ? 99u : static_cast<uint32_t>(atoi(field)) & 0xff);
}

void storeText(void (*setter)(const uint8_t*), const char* value)
{
    uint8_t text[GSM_MODEM_TEXT] = {};
    copyText(text, value);
    setter(text);
}

// Sends the PIN, or the PUK and the PIN, exactly as configured.
int sendPinCodes(bool withPuk)
{
    char pin[9], puk[9], cmd[48];
    codeText(getGSMPin(0), getGSMPin(1), pin);
    codeText(getGSMPuk(0), getGSMPuk(1), puk);
    if (withPuk) {
        snprintf(cmd, sizeof cmd, "AT+CPIN=%s,%s\r\n", puk, pin);
        if (!allDigits(pin) || !allDigits(puk) || GSM_SendATCmd(cmd, kRoundUs) != 1) {
            DEBUG_PRINT(DBG_GSM, "PUK+PIN insert failed! [LINE %d]", __LINE__);
            return -1;
        }
        return 0;
    }
    snprintf(cmd, sizeof cmd, "AT+CPIN=%s\r\n", pin);
    if (!allDigits(pin) || GSM_SendATCmd(cmd, kRoundUs) != 1) {
        DEBUG_PRINT(DBG_GSM, "PIN insert failed! [LINE %d]", __LINE__);
        return -1;
    }
    return 0;
}

// Writes a command and reads its answer into the exchange buffer.
int query(const char* cmd, uint32_t roundUs)
{
    if (!GSM_WriteRaw(cmd))
        return 0;
    return GSM_ReadAnswer(st().answer, roundUs);
}

// Several attempts of one exchange.
bool tries(const char* cmd, uint32_t roundUs, int attempts)
{
    for (int i = 0; i < attempts; i++)
        if (GSM_SendATCmd(cmd, roundUs) == 1)
            return true;
    return false;
}

// The storage index of a +CMGW answer, 1 when it has none.
int storageIndex(const char* text)
{
    const char* p = strstr(text, "+CMGW:");
    if (!p)
        return 1;
    p += 6;
    while (*p == ' ')
        p++;
    char* end = nullptr;
    long v = strtol(p, &end, 10);
    return end != p && v > 0 && v < 100000 ? static_cast<int>(v) : 1;
}

} // namespace

int GSM_Open()
{
    st().fd = GSM_OpenUart();
    return st().fd;
}

int GSM_OpenUart()
{
    // 57600 8N1, no flow control, reads of 100 bytes or one quiet second.
    int fd = SC_open_uart("/dev/ttyMAX0", 0, 0, 0, 6, 4, 1, 1, 1, 0, ScReadTiming{100, 100});
    if (fd <= 0) {
        logErr("Cannot open GSM serial channel");
        return -1;
    }
    modemControlZero();
    clockSleepUs(500);
    setGsmModemOpen(1);
    return fd;
}

int GSM_GetFd()
{
    return st().fd;
}

void GSM_SetVerbose(int on)
{
    st().verbose = on;
}

int GSM_WriteRaw(const char* text)
{
    if (st().fd <= 0 || !text)
        return 0;
    return writeAll(text, strlen(text)) ? 1 : 0;
}

int GSM_SendATCmd(const char* cmd, uint32_t timeoutUs)
{
    if (!GSM_WriteRaw(cmd))
        return 0;
    clockSleepUs(100000);
    for (int round = 0; round < kRounds; round++) {
        if (ioWaitInput(st().fd, timeoutUs) <= 0)
            continue;
        int n = readChunk(st().answer);
        if (n <= 0)
            continue;
        size_t len = static_cast<size_t>(n);
        if (GSM_FindString(st().answer, len, "OK") || GSM_FindString(st().answer, len, "READY"))
            return 1;
        if (GSM_FindString(st().answer, len, "ERROR"))
            return 0;
    }
    return 0;
}

int GSM_ReadAnswer(char* buf, uint32_t timeoutUs)
{
    int last = 0;
    for (int round = 0; round < kRounds; round++) {
        if (st().fd <= 0 || ioWaitInput(st().fd, timeoutUs) <= 0)
            continue;
        int n = readChunk(buf);
        if (n > 0)
            last = n;
    }
    return last;
}

int GSM_GetAnswerField(int n, const char* text, size_t len, char* out, size_t outSize)
{
    if (!out || outSize == 0)
        return 0;
    memset(out, 0, outSize);
    if (!text)
        return 0;
    size_t i = 0;
    for (int seen = 0; seen < n; i++) {
        if (i >= len || text[i] == 0)
            return 0;
        if (text[i] == ',' || text[i] == ':')
            seen++;
    }
    size_t k = 0;
    for (; i < len && text[i] && text[i] != ',' && text[i] != '\r' && text[i] != '\n'; i++) {
        if (text[i] == '"')
            continue;
        if (k + 1 < outSize)
            out[k++] = text[i];
    }
    return 0;
}

int GSM_FindString(const char* text, size_t len, const char* pattern)
{
    size_t plen = strlen(pattern);
    if (plen == 0)
        return 1;
    size_t j = 0;
    for (size_t i = 0; i < len; i++) {
        if (text[i] == pattern[j]) {
            if (++j == plen)
                return 1;
        } else {
            j = 0;
        }
    }
    return 0;
}

int GSM_ManageSimPin()
{
    int n = query("AT+CPIN?\r\n", kRoundUs);
    char field[25];
    answerField(1, n, field, sizeof field);
    if (strstr(field, "SIM PIN"))
        return sendPinCodes(false);
    if (strstr(field, "SIM PUK"))
        return sendPinCodes(true);
    return 0;
}

int GSM_InitModemUBlox()
{
    modemControlZero();
    clockSleepUs(500);
    logInfo("Init GSM Modem");
    if (GSM_SendATCmd("AT\r\n", kRoundUs) != 1) {
        DEBUG_PRINT(DBG_GSM, "AT Init failed! [LINE %d]", __LINE__);
        // Ends an SMS prompt the modem may still be waiting in.
        GSM_WriteRaw("\x1b\r\n");
    }
    DEBUG_PRINT(DBG_GSM, "HW FLOW: %s", "DISABLED");
    if (GSM_SendATCmd("AT&K0\r\n", kRoundUs) != 1)
        DEBUG_PRINT(DBG_GSM, "AT&K failed! [LINE %d]", __LINE__);
    if (GSM_SendATCmd("AT+IPR=57600\r\n", kRoundUs) != 1)
        DEBUG_PRINT(DBG_GSM, "AT+IPR failed! [LINE %d]", __LINE__);
    if (GSM_SendATCmd("AT+ICF=3,0\r\n", kRoundUs) != 1)
        DEBUG_PRINT(DBG_GSM, "AT+ICF failed! [LINE %d]", __LINE__);
    if (GSM_SendATCmd("AT+COPS=2\r\n", kLongRoundUs) != 1)
        DEBUG_PRINT(DBG_GSM, "AT+COPS failed! [LINE %d]", __LINE__);
    if (getGSMPinEna() == 1) {
        GSM_ManageSimPin();
        setGsmPinCheckRequest(0);
    }
    if (GSM_SendATCmd("AT+CTZU=1\r\n", kRoundUs) != 1)
        DEBUG_PRINT(DBG_GSM, "AT+CTZU failed! [LINE %d]", __LINE__);
    if (GSM_SendATCmd("AT+COPS=0\r\n", kLongRoundUs) != 1)
        DEBUG_PRINT(DBG_GSM, "AT+COPS failed! [LINE %d]", __LINE__);

    char field[GSM_MODEM_TEXT + 1];
    int n = query("AT+UDCONF=20\r\n", kLongRoundUs);
    answerField(2, n, field, sizeof field);
    uint32_t current = static_cast<uint32_t>(atoi(field));
    DEBUG_PRINT(DBG_GSM, "Roaming Curr Cfg: %s", current ? "ON" : "OFF");
    uint32_t wanted = getGSMRoamingEna();
    if (wanted != current) {
        char cmd[32];
        snprintf(cmd, sizeof cmd, "AT+UDCONF=20,%u\r\n", wanted);
        if (GSM_SendATCmd(cmd, kLongRoundUs) == 1)
            DEBUG_PRINT(DBG_GSM, "Roaming New Cfg: %s", wanted ? "ON" : "OFF");
        else
            DEBUG_PRINT(DBG_GSM, "Roaming New Cfg: %s", "FAILED");
    }

    n = query("AT+COPS?\r\n", kLongRoundUs);
    answerField(3, n, field, sizeof field);
    storeText(setGsmOperatorName, field);
    setGsmRegistered(1);
    DEBUG_PRINT(DBG_GSM, "Operator Name: %s", field);

    n = query("AT+CSQ\r\n", kLongRoundUs);
    answerField(1, n, field, sizeof field);
    setGsmSignalLevel(static_cast<uint32_t>(atoi(field)) & 0xff);
    DEBUG_PRINT(DBG_GSM, "Signal Strength: %d", atoi(field));

    DEBUG_PRINT(DBG_GSM, "Set format SMS [ASCII]: %s",
                GSM_SendATCmd("AT+CMGF=1\r\n", kLongRoundUs) == 1 ? "OK" : "FAIL");
    DEBUG_PRINT(DBG_GSM, "Set SMS in-modem notify: %s",
                GSM_SendATCmd("AT+CNMI=1,2,0,0,0\r\n", kLongRoundUs) == 1 ? "OK" : "FAIL");

    n = query("AT+CCID\r\n", kLongRoundUs);
    answerField(1, n, field, sizeof field);
    storeText(setGsmIccid, field);
    DEBUG_PRINT(DBG_GSM, "SIM ICCID: %s", field);

    n = query("AT+CGSN\r\n", kLongRoundUs);
    // The IMEI follows the echoed command; an answer without the echo and
    // fifteen digits after it stores nothing.
    bool imeiOk = n >= 25 && memcmp(st().answer, "AT+CGSN", 7) == 0;
    for (int i = 10; imeiOk && i < 25; i++)
        imeiOk = st().answer[i] >= '0' && st().answer[i] <= '9';
    if (imeiOk) {
        char imei[16] = {};
        memcpy(imei, st().answer + 10, 15);
        storeText(setGsmImei, imei);
        DEBUG_PRINT(DBG_GSM, "IMEI: %s", imei);
    }
    return 0;
}

int GSM_ResetModem()
{
    logInfo("Gsm Modem Hangs! Reset");
    modemControlZero();
    clockSleepUs(5000);
    if (st().fd > 0)
        GSM_InitModemUBlox();
    return 0;
}

int GSM_PollModem()
{
    if (getGsmPinChanged()) {
        GSM_WriteRaw("AT+CPIN?\r\n");
        setGsmPinCheckRequest(0);
    }
    st().pollCounter++;
    if (st().pollCounter == 20) {
        GSM_WriteRaw("AT+COPS?\r\n");
    } else if (st().pollCounter == 40) {
        GSM_WriteRaw("AT+CSQ\r\n");
    } else if (st().pollCounter > 59) {
        GSM_WriteRaw("AT+CCLK?\r\n");
        st().pollCounter = 0;
    }
    return 0;
}

int GSM_GetNetMeasure()
{
    char field[GSM_MODEM_TEXT + 1];
    int n = query("AT+COPS?\r\n", kRoundUs);
    answerField(3, n, field, sizeof field);
    storeText(setGsmOperatorName, field);
    setGsmRegistered(1);
    DEBUG_PRINT(DBG_GSM, "Operator Name: %s", field);
    n = query("AT+CSQ\r\n", kRoundUs);
    answerField(1, n, field, sizeof field);
    setGsmSignalLevel(static_cast<uint32_t>(atoi(field)) & 0xff);
    DEBUG_PRINT(DBG_GSM, "Signal Strength: %d", atoi(field));
    return 0;
}

int GSM_ParseATCmds()
{
    const char* buf = st().rx;
    size_t len = st().rxLen;
    char field[GSM_MODEM_TEXT + 1];
    for (int row = 0; row < static_cast<int>(sizeof kGsmAnswerRows / sizeof kGsmAnswerRows[0]); row++) {
        if (!GSM_FindString(buf, len, kGsmAnswerRows[row]))
            continue;
        switch (row) {
        case 0:
            GSM_GetAnswerField(3, buf, len, field, sizeof field);
            storeOperator(field);
            break;
        case 1:
            GSM_GetAnswerField(1, buf, len, field, sizeof field);
            storeLevel(field);
            break;
        case 2:
            GSM_GetAnswerField(1, buf, len, field, sizeof field);
            if (strstr(field, "SIM PIN"))
                sendPinCodes(false);
            else if (strstr(field, "SIM PUK"))
                sendPinCodes(true);
            break;
        case 13: {
            char date[GSM_MODEM_TEXT + 1], time[GSM_MODEM_TEXT + 1];
            GSM_GetAnswerField(1, buf, len, date, sizeof date);
            GSM_GetAnswerField(2, buf, len, time, sizeof time);
            char joined[2 * GSM_MODEM_TEXT + 2];
            snprintf(joined, sizeof joined, "%s,%s", date, time);
            storeText(setGsmNetTime, joined);
            break;
        }
        default:
            break;
        }
        return 1;
    }
    return 0;
}

int GSM_ParseNetTime(const char* text, time_t* out)
{
    // "yy/MM/dd,hh:mm:ss+zz" as local time; the zone suffix is not used.
    int yy, mo, dd, hh, mi, ss;
    if (sscanf(text, " %2d/%2d/%2d,%2d:%2d:%2d", &yy, &mo, &dd, &hh, &mi, &ss) != 6 || yy < 0 || mo < 1 ||
        mo > 12 || dd < 1 || dd > 31 || hh < 0 || hh > 23 || mi < 0 || mi > 59 || ss < 0 || ss > 60)
        return -1;
    struct tm t = {};
    t.tm_year = 100 + yy;
    t.tm_mon = mo - 1;
    t.tm_mday = dd;
    t.tm_hour = hh;
    t.tm_min = mi;
    t.tm_sec = ss;
    t.tm_isdst = -1;
    time_t v = mktimeLocal(&t);
    if (v == static_cast<time_t>(-1))
        return -1;
    *out = v;
    return 0;
}

int GSM_TimeSync()
{
    uint8_t raw[GSM_MODEM_TEXT + 1] = {};
    getGsmNetTime(raw);
    if (raw[0] == 0)
        return 0;
    int result = 0;
    time_t net = 0;
    // A text that does not parse sets no clock.
    if (GSM_ParseNetTime(reinterpret_cast<const char*>(raw), &net) == 0) {
        time_t now = clockWallSeconds();
        DEBUG_PRINT(DBG_GSM, "CurrTimeLinux %lu", static_cast<unsigned long>(now));
        if (net - now > 30 || now - net > 30) {
            DEBUG_PRINT(DBG_GSM, "GSM SyncTime");
            result = clockSetWall(net);
            if (result != 0)
                logErr("Error on set new time");
            runShellLine("hwclock --systohc");
        }
    }
    uint8_t zero[GSM_MODEM_TEXT] = {};
    setGsmNetTime(zero);
    return result;
}

int GSM_GetUartMsg(int fd)
{
    memset(st().rx, 0, sizeof st().rx);
    st().rxLen = 0;
    int n = SC_recv_msg(fd, reinterpret_cast<uint8_t*>(st().rx), static_cast<int>(GSM_RX_BUFFER), 1);
    if (n <= 0) {
        DEBUG_PRINT(DBG_GSM, "GSM_GetCmdMsg() -- SC_recv_msg() error");
        return 0;
    }
    if (n > static_cast<int>(GSM_RX_BUFFER))
        return 0;
    st().rxLen = static_cast<size_t>(n);
    if (debugGate(DBG_GSM))
        for (int i = 0; i < n; i++)
            DEBUG_PRINT(DBG_GSM, "%s: raw_buf[%i]=0x%X [%c]", __func__, i, static_cast<uint8_t>(st().rx[i]),
                        st().rx[i]);
    return n;
}

void GSM_ParseRxText(int)
{
    GSM_ParseATCmds();
    GSM_ParseFmCmdMsg();
}

const char* GSM_RxBuffer(size_t* len)
{
    if (len)
        *len = st().rxLen;
    return st().rx;
}

void GSM_SetRxBuffer(const char* bytes, size_t len)
{
    memset(st().rx, 0, sizeof st().rx);
    if (len > GSM_RX_BUFFER)
        len = GSM_RX_BUFFER;
    if (bytes && len)
        memcpy(st().rx, bytes, len);
    st().rxLen = len;
}

int GSM_SendSms(SmsRecord* sms)
{
    char cmd[48];
    snprintf(cmd, sizeof cmd, "AT+CMGS=\"+%d%u\"\r\n", sms->prefix, sms->number);
    int err = 0;
    if (!GSM_WriteRaw(cmd)) {
        DEBUG_PRINT(DBG_GSM, "Send SMS to +%d%u: %s", sms->prefix, sms->number, "FAIL");
        err = 1;
    } else if (GSM_ReadAnswer(st().answer, kLongRoundUs) <= 0) {
        err = 1;
    } else if (strchr(st().answer, '>')) {
        char body[GSM_SMS_TEXT + 2];
        snprintf(body, sizeof body, "%s\x1a", sms->text);
        if (GSM_SendATCmd(body, kBodyRoundUs) == 1) {
            DEBUG_PRINT(DBG_GSM, "Send SMS: %s", "OK");
        } else {
            err = 3;
            DEBUG_PRINT(DBG_GSM, "Send SMS to +%d%u: %s", sms->prefix, sms->number, "FAIL");
        }
    } else {
        err = 2;
    }
    if (err) {
        DEBUG_PRINT(DBG_GSM, "Send SMS: Fail [errcode=%d]", err);
        return -1;
    }
    return 0;
}

int GSM_SendMultipleSms(SmsRecord* sms, const uint8_t sendFlags[GSM_USER_SLOTS])
{
    char cmd[48];
    int result = 0;
    int sent = 0;
    int index = 1;
    snprintf(cmd, sizeof cmd, "AT+CMGW=\"+%d%u\"\r\n", sms->prefix, sms->number);
    bool stored = false;
    if (GSM_WriteRaw(cmd) && GSM_ReadAnswer(st().answer, kRoundUs) > 0 && strchr(st().answer, '>')) {
        char body[GSM_SMS_TEXT + 2];
        snprintf(body, sizeof body, "%s\x1a", sms->text);
        for (int i = 0; i < 3 && !stored; i++) {
            stored = GSM_SendATCmd(body, kStoreRoundUs) == 1;
            DEBUG_PRINT(DBG_GSM, "Store SMS: %s", stored ? "OK" : "FAIL");
        }
        // The message goes out from where the modem stored it.
        if (stored)
            index = storageIndex(st().answer);
    }
    if (!stored)
        result = -1;
    for (int slot = 0; slot < GSM_USER_SLOTS && stored; slot++) {
        uint16_t prefix = static_cast<uint16_t>(getPhoneDestPrefix(static_cast<uint32_t>(slot)));
        uint32_t number = getPhoneDestNr(static_cast<uint32_t>(slot));
        if (prefix == 0 || number == 0 || !sendFlags[slot])
            continue;
        snprintf(cmd, sizeof cmd, "AT+CMSS=%d,\"+%d%u\"\r\n", index, prefix, number);
        bool ok = false;
        for (int i = 0; i < 3 && !ok; i++) {
            ok = GSM_SendATCmd(cmd, kStoreRoundUs) == 1;
            if (ok)
                DEBUG_PRINT(DBG_GSM, "Send SMS: OK [Slot %d]", slot);
            else
                DEBUG_PRINT(DBG_GSM, "Send SMS: FAIL [Slot %d]", slot);
        }
        if (ok)
            sent++;
        else
            result = -2;
    }
    if (stored) {
        snprintf(cmd, sizeof cmd, "AT+CMGD=%d\r\n", index);
        bool deleted = tries(cmd, kStoreRoundUs, 3);
        DEBUG_PRINT(DBG_GSM, "Delete SMS: %s", deleted ? "OK" : "FAIL");
        if (!deleted)
            return -3;
    }
    return result < 0 ? result : sent;
}

void GSM_ThreadStep()
{
    State& s = st();
    if (!s.started) {
        if (s.fd > 0)
            GSM_InitModemUBlox();
        s.tick = getMonoTimeNow();
        s.started = 1;
    }
    if (getSystemTimeSource() == 4 && s.fd > 0)
        GSM_TimeSync();
    // Resets repeat on every step while the modem stays silent.
    if (s.silentTicks > kSilentTicks)
        GSM_ResetModem();
    struct timespec now = getMonoTimeNow();
    if (s.fd > 0 && getElapsedUs(&s.tick, &now) >= kTickUs) {
        if (s.silentTicks < UINT8_MAX)
            s.silentTicks++;
        GSM_Scheduler();
        GSM_PollModem();
        GSM_SendSmsDispatcher();
        s.tick = getMonoTimeNow();
    }
    if (s.fd > 0 && ioWaitInput(s.fd, 0) > 0) {
        int n = GSM_GetUartMsg(s.fd);
        if (n > 0) {
            GSM_ParseRxText(n);
            s.silentTicks = 0;
        }
    }
}
