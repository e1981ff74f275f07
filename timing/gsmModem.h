// GSM modem driver, SMS command service and alarm SMS: a modem on
// /dev/ttyMAX0 driven with AT commands in SMS text mode. Everything runs in
// the body of "Gsm Thread" (GSM_ThreadStep, 100 ms), which the daemon does
// not start; nothing in the daemon opens the modem either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

constexpr size_t GSM_RX_BUFFER = 1024;
constexpr size_t GSM_SMS_TEXT = 160;
constexpr int GSM_USER_SLOTS = 10;

// A received message or a message to send: prefix (two-digit country code),
// ten-digit number, service-centre time, text.
struct SmsRecord {
    uint16_t prefix;
    uint32_t number;
    time_t stamp;
    char text[GSM_SMS_TEXT + 1];
};

// Driver.
// Opens the modem port: the descriptor, or -1.
int GSM_Open();
int GSM_OpenUart();
// One AT exchange: 1 on "OK" or "READY" within one read, 0 otherwise.
int GSM_SendATCmd(const char* cmd, uint32_t timeoutUs);
// Writes and drains without awaiting an answer: 1 when every byte went out.
int GSM_WriteRaw(const char* text);
// 100 rounds of waiting `timeoutUs` for input, each read (up to 1,024 bytes)
// replacing `buf` (GSM_RX_BUFFER + 1 bytes, kept terminated): the byte count
// of the last read.
int GSM_ReadAnswer(char* buf, uint32_t timeoutUs);
// Field n of an answer (after the n-th comma or colon, up to the next comma,
// CR, LF or the end, double quotes left out) into `out`, cut to outSize - 1
// characters and terminated; empty when the answer has fewer fields. 0.
int GSM_GetAnswerField(int n, const char* text, size_t len, char* out, size_t outSize);
// 1 when `pattern` occurs in the text (an empty pattern does); after a
// mismatch the comparison restarts at the next character.
int GSM_FindString(const char* text, size_t len, const char* pattern);
int GSM_InitModemUBlox();
int GSM_ManageSimPin();
int GSM_ResetModem();
int GSM_PollModem();
int GSM_GetNetMeasure();
// The answer table over the receive buffer: 1 when a row matched.
int GSM_ParseATCmds();
// Sets the clock from the stored network time text, then clears the text.
int GSM_TimeSync();
// The network time text ("yy/MM/dd,hh:mm:ss+zz", local time) as a time
// stamp: 0, or -1 when it does not parse.
int GSM_ParseNetTime(const char* text, time_t* out);
int GSM_GetUartMsg(int fd);
void GSM_ParseRxText(int length);
// 0 sent, -1 failed.
int GSM_SendSms(SmsRecord* sms);
// Stores the text once and sends it to every slot with its flag set: the
// number sent, or -1 (not stored), -2 (a send failed), -3 (not deleted).
int GSM_SendMultipleSms(SmsRecord* sms, const uint8_t sendFlags[GSM_USER_SLOTS]);
// Body of "Gsm Thread" (100 ms); the thread is in the table but not started.
void GSM_ThreadStep();

// SMS command service.
int GSM_ParseFmCmdMsg();
int GSM_HasSmsHeader(const char* text, size_t len);
int GSM_FindLineToken(const char* text, size_t len, const char* word);
int GSM_ParseSmsHeader(const char* text, size_t len, SmsRecord* sms);
int GSM_GetCmdArgument(int code, const SmsRecord* sms, char* out);
int GSM_FindUserSlot(const SmsRecord* sms);
int GSM_CheckUserRights(int code, const SmsRecord* sms);
int GSM_FindFreeUserSlot();
int GSM_ApplyFmCmd(int code, SmsRecord* sms);
int GSM_SendFmCmdReply(int code, SmsRecord* sms, int result);

// Alarm SMS.
int GSM_Scheduler();
int GSM_SendSmsDispatcher();
int GSM_PrepareAlarmSms(SmsRecord* sms, int event, int state);
uint8_t GSM_GetEventShadowA(uint32_t bit);
void GSM_SetEventShadowA(uint32_t bit, uint8_t value);
uint8_t GSM_GetEventShadowC(uint32_t bit);
void GSM_SetEventShadowC(uint32_t bit, uint8_t value);

// Tests and fuzz targets: the receive buffer as the step leaves it (chunk
// and length), and a chunk put there as if it had been read.
const char* GSM_RxBuffer(size_t* len);
void GSM_SetRxBuffer(const char* bytes, size_t len);
// The descriptor the driver uses (0 or below: closed).
int GSM_GetFd();
// Every chunk read during an exchange printed on standard output.
void GSM_SetVerbose(int on);
