// A scripted AT modem (GSM, SMS text mode) for the simulated board: it echoes
// what it receives, answers each command line from its script with
// information lines and "OK" or "ERROR", prompts with ">" for the text of
// AT+CMGS and AT+CMGW (giving a storage index for the latter), keeps the
// stored and the sent messages, can push "+CMT:" messages, and records every
// command line it received (the transcript).
//
// Knobs: silence (commands are recorded, nothing is echoed or answered), an answer split into two reads at a
// given offset, a missing final "OK", garbage in place of the answer, and an
// overlong line in place of the answer.
//
// Two ways to reach it: as a device of the I/O seam (simModemDevice, for
// tests on the virtual clock: every answer is one read, waits sleep on the
// platform clock), or behind a pseudo-terminal standing for a UART
// (simModemStartPty, the profile entry "uart <path> atmodem"), where a thread
// serves it in real time and each answer is written in one piece.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class IoDevice;

struct SimModemSms {
    std::string dest; // as quoted in the command, e.g. "+391234567890"
    std::string text;
    int index = 0;    // storage index it was sent from (0: sent directly)
};

class SimModem {
public:
    SimModem();

    // Answer of a command line (without its CR): information lines and the
    // final line ("OK", "ERROR", or "" for none). Replaces the default.
    void setAnswer(const std::string& cmd, const std::vector<std::string>& lines, const std::string& final = "OK");
    // Knobs.
    void setSilent(bool on);
    // The next answers are cut into two reads after `offset` bytes (0: off).
    void setSplit(size_t offset);
    void setMissingOk(bool on);
    // Garbage bytes sent in place of each answer (empty: off).
    void setGarbage(const std::string& bytes);
    // Sends, in place of each answer, one line of `length` bytes that never
    // ends (0: off).
    void setOverlong(size_t length);
    // First storage index AT+CMGW gives.
    void setNextIndex(int index);
    // Pushes an unsolicited "+CMT:" message (header line as given, text).
    void injectCmt(const std::string& header, const std::string& text);
    // Queues raw bytes as one read.
    void injectRaw(const std::string& bytes);

    // Bytes from the host (the driver's writes).
    void feed(const char* bytes, size_t len);
    // The next read for the host: true and the chunk, or false when none.
    bool nextChunk(std::string* out);
    bool hasOutput();

    std::vector<std::string> transcript();
    std::vector<SimModemSms> sent();
    std::map<int, SimModemSms> stored();
    void clearRecords();

private:
    void command(const std::string& line);
    void answer(const std::string& echo, std::vector<std::string> lines, const std::string& final);
    void push(const std::string& chunk);

    std::mutex lock_;
    std::map<std::string, std::pair<std::vector<std::string>, std::string>> script_;
    std::string line_;
    bool prompt_ = false;       // collecting a message text
    bool promptStore_ = false;  // AT+CMGW (else AT+CMGS)
    bool skipLf_ = false;
    std::string promptDest_;
    std::string body_;
    std::string promptEcho_;
    bool silent_ = false;
    size_t split_ = 0;
    bool missingOk_ = false;
    std::string garbage_;
    size_t overlong_ = 0;
    int nextIndex_ = 1;
    std::deque<std::string> out_;
    std::vector<std::string> transcript_;
    std::vector<SimModemSms> sent_;
    std::map<int, SimModemSms> stored_;
};

// A device of the I/O seam in front of a modem: writes feed it, reads take
// its answers one chunk at a time, waits for input sleep on the platform
// clock. Terminal requests succeed without effect.
IoDevice* simModemDevice(SimModem* modem);

// Serves `modem` behind a new pseudo-terminal whose slave is opened in place
// of `path`; the transcript is also written to the sandbox's sim folder as
// "<name>.transcript" (name: the path's last part). Returns 0 or -1.
int simModemStartPty(SimModem* modem, const char* path);
// Stops the thread of the pseudo-terminal started for `path`.
void simModemStopPty(const char* path);
// The modem the profile put on `path`, nullptr when none.
SimModem* simModemAt(const char* path);
// Starts the modems of the profile's "uart <path> atmodem" entries.
void simModemsAttach(const std::string& profileText);
