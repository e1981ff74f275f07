// The scripted AT modem of the simulated board (sim/simModem.h).
#include "sim/simModem.h"

#include "platform/clock.h"
#include "platform/host/ioDevice.h"
#include "sim/board.h"
#include "sim/simProfile.h"
#include "sim/simState.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sstream>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kCtrlZ = 0x1a;
constexpr char kEsc = 0x1b;

std::string quotedArg(const std::string& line)
{
    size_t a = line.find('"');
    size_t b = a == std::string::npos ? a : line.find('"', a + 1);
    return b == std::string::npos ? "" : line.substr(a + 1, b - a - 1);
}

} // namespace

SimModem::SimModem()
{
    // A registered SIM without PIN, roaming off, a fair signal.
    script_["AT+CPIN?"] = {{"+CPIN: READY"}, "OK"};
    script_["AT+UDCONF=20"] = {{"+UDCONF: 20,0"}, "OK"};
    script_["AT+COPS?"] = {{"+COPS: 0,0,\"SimNet\""}, "OK"};
    script_["AT+CSQ"] = {{"+CSQ: 17,99"}, "OK"};
    script_["AT+CCID"] = {{"+CCID: 8939104520000000001"}, "OK"};
    script_["AT+CGSN"] = {{"004999010640000"}, "OK"};
    script_["AT+CCLK?"] = {{"+CCLK: \"26/01/01,00:00:00+00\""}, "OK"};
}

void SimModem::setAnswer(const std::string& cmd, const std::vector<std::string>& lines, const std::string& final)
{
    std::lock_guard<std::mutex> g(lock_);
    script_[cmd] = {lines, final};
}

void SimModem::setSilent(bool on)
{
    std::lock_guard<std::mutex> g(lock_);
    silent_ = on;
}

void SimModem::setSplit(size_t offset)
{
    std::lock_guard<std::mutex> g(lock_);
    split_ = offset;
}

void SimModem::setMissingOk(bool on)
{
    std::lock_guard<std::mutex> g(lock_);
    missingOk_ = on;
}

void SimModem::setGarbage(const std::string& bytes)
{
    std::lock_guard<std::mutex> g(lock_);
    garbage_ = bytes;
}

void SimModem::setOverlong(size_t length)
{
    std::lock_guard<std::mutex> g(lock_);
    overlong_ = length;
}

void SimModem::setNextIndex(int index)
{
    std::lock_guard<std::mutex> g(lock_);
    nextIndex_ = index;
}

void SimModem::injectCmt(const std::string& header, const std::string& text)
{
    std::lock_guard<std::mutex> g(lock_);
    out_.push_back("\r\n+CMT: " + header + "\r\n" + text + "\r\n");
}

void SimModem::injectRaw(const std::string& bytes)
{
    std::lock_guard<std::mutex> g(lock_);
    out_.push_back(bytes);
}

void SimModem::push(const std::string& chunk)
{
    if (split_ > 0 && split_ < chunk.size()) {
        out_.push_back(chunk.substr(0, split_));
        out_.push_back(chunk.substr(split_));
    } else {
        out_.push_back(chunk);
    }
}

void SimModem::answer(const std::string& echo, std::vector<std::string> lines, const std::string& final)
{
    if (!garbage_.empty()) {
        push(echo + garbage_);
        return;
    }
    if (overlong_) {
        // One line longer than any buffer of the host, never ended.
        push(echo + "\r\n+" + std::string(overlong_, 'X'));
        return;
    }
    std::string text = echo;
    for (const std::string& l : lines)
        text += "\r\n" + l;
    if (!lines.empty())
        text += "\r\n";
    if (!final.empty() && !missingOk_)
        text += "\r\n" + final + "\r\n";
    push(text);
}

void SimModem::command(const std::string& line)
{
    transcript_.push_back(line);
    // A silent modem hears but neither echoes nor answers.
    if (silent_)
        return;
    std::string echo = line + "\r";
    auto scripted = script_.find(line);
    if (scripted != script_.end()) {
        answer(echo, scripted->second.first, scripted->second.second);
        return;
    }
    if (line.rfind("AT+CMGS=", 0) == 0 || line.rfind("AT+CMGW=", 0) == 0) {
        prompt_ = true;
        skipLf_ = true;
        promptStore_ = line[6] == 'W';
        promptDest_ = quotedArg(line);
        body_.clear();
        push(echo + "\r\n> ");
        return;
    }
    if (line.rfind("AT+CMSS=", 0) == 0) {
        int index = atoi(line.c_str() + 8);
        auto it = stored_.find(index);
        if (it == stored_.end()) {
            answer(echo, {"+CMS ERROR: 321"}, "");
            return;
        }
        SimModemSms m = it->second;
        m.dest = quotedArg(line);
        m.index = index;
        sent_.push_back(m);
        answer(echo, {"+CMSS: " + std::to_string(sent_.size())}, "OK");
        return;
    }
    if (line.rfind("AT+CMGD=", 0) == 0) {
        stored_.erase(atoi(line.c_str() + 8));
        answer(echo, {}, "OK");
        return;
    }
    answer(echo, {}, "OK");
}

void SimModem::feed(const char* bytes, size_t len)
{
    std::lock_guard<std::mutex> g(lock_);
    for (size_t i = 0; i < len; i++) {
        char c = bytes[i];
        if (prompt_ && skipLf_) {
            // The LF of the command line that opened the prompt.
            skipLf_ = false;
            if (c == '\n')
                continue;
        }
        if (prompt_) {
            if (c == kEsc) {
                prompt_ = false;
                push(body_ + "\r\nOK\r\n");
                continue;
            }
            if (c != kCtrlZ) {
                body_ += c;
                continue;
            }
            prompt_ = false;
            transcript_.push_back("<text> " + body_);
            SimModemSms m{promptDest_, body_, 0};
            if (promptStore_) {
                int index = nextIndex_++;
                m.index = index;
                stored_[index] = m;
                answer(body_ + "\x1a", {"+CMGW: " + std::to_string(index)}, "OK");
            } else {
                sent_.push_back(m);
                answer(body_ + "\x1a", {"+CMGS: " + std::to_string(sent_.size())}, "OK");
            }
            continue;
        }
        if (c == '\r') {
            if (!line_.empty())
                command(line_);
            line_.clear();
        } else if (c == '\n') {
            continue;
        } else if (c == kEsc) {
            line_.clear();
        } else {
            line_ += c;
        }
    }
}

bool SimModem::nextChunk(std::string* out)
{
    std::lock_guard<std::mutex> g(lock_);
    if (out_.empty())
        return false;
    *out = out_.front();
    out_.pop_front();
    return true;
}

bool SimModem::hasOutput()
{
    std::lock_guard<std::mutex> g(lock_);
    return !out_.empty();
}

std::vector<std::string> SimModem::transcript()
{
    std::lock_guard<std::mutex> g(lock_);
    return transcript_;
}

std::vector<SimModemSms> SimModem::sent()
{
    std::lock_guard<std::mutex> g(lock_);
    return sent_;
}

std::map<int, SimModemSms> SimModem::stored()
{
    std::lock_guard<std::mutex> g(lock_);
    return stored_;
}

void SimModem::clearRecords()
{
    std::lock_guard<std::mutex> g(lock_);
    transcript_.clear();
    sent_.clear();
}

namespace {

// The modem as a device of the I/O seam.
class ModemDevice : public IoDevice {
public:
    explicit ModemDevice(SimModem* m) : modem_(m) {}

    ssize_t read(int, void* buf, size_t len) override
    {
        std::lock_guard<std::mutex> g(lock_);
        if (pending_.empty() && !modem_->nextChunk(&pending_))
            return 0;
        size_t n = pending_.size() < len ? pending_.size() : len;
        memcpy(buf, pending_.data(), n);
        pending_.erase(0, n);
        return static_cast<ssize_t>(n);
    }

    ssize_t write(int, const void* buf, size_t len) override
    {
        modem_->feed(static_cast<const char*>(buf), len);
        return static_cast<ssize_t>(len);
    }

    int ioctl(int, unsigned long request, void* arg) override
    {
        if (request == TCGETS)
            memset(arg, 0, sizeof(struct termios));
        return 0;
    }

    int waitInput(int, uint32_t timeoutUs) override
    {
        {
            std::lock_guard<std::mutex> g(lock_);
            if (!pending_.empty() || modem_->hasOutput())
                return 1;
        }
        clockSleepUs(timeoutUs);
        return 0;
    }

private:
    SimModem* modem_;
    std::mutex lock_;
    std::string pending_;
};

struct PtyModem {
    SimModem* modem = nullptr;
    int master = -1;
    std::string transcriptFile;
    std::atomic<bool> stop{false};
    std::thread thread;

    ~PtyModem()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
        if (master >= 0)
            close(master);
    }
};

// The pseudo-terminals go first at exit, before the modems they serve.
struct ModemsState {
    std::mutex lock;
    std::map<std::string, std::unique_ptr<SimModem>> owned; // modems of the profile
    std::map<std::string, std::unique_ptr<ModemDevice>> devices;
    std::map<std::string, std::unique_ptr<PtyModem>> ptys;
};

ModemsState& mods()
{
    static ModemsState s;
    return s;
}

void writeTranscript(PtyModem* p)
{
    std::string text;
    for (const std::string& l : p->modem->transcript())
        text += l + "\n";
    simWriteFile(p->transcriptFile, text);
}

void serve(PtyModem* p)
{
    char buf[256];
    size_t lines = 0;
    while (!p->stop.load()) {
        struct pollfd pfd = {p->master, POLLIN, 0};
        int r = ::poll(&pfd, 1, 20);
        if (r > 0 && (pfd.revents & POLLIN)) {
            ssize_t n = ::read(p->master, buf, sizeof buf);
            if (n > 0)
                p->modem->feed(buf, static_cast<size_t>(n));
        }
        std::string chunk;
        while (p->modem->nextChunk(&chunk)) {
            size_t done = 0;
            while (done < chunk.size()) {
                ssize_t n = ::write(p->master, chunk.data() + done, chunk.size() - done);
                if (n <= 0)
                    break;
                done += static_cast<size_t>(n);
            }
        }
        size_t now = p->modem->transcript().size();
        if (now != lines) {
            lines = now;
            writeTranscript(p);
        }
    }
}

} // namespace

IoDevice* simModemDevice(SimModem* modem)
{
    std::lock_guard<std::mutex> g(mods().lock);
    auto dev = std::make_unique<ModemDevice>(modem);
    IoDevice* d = dev.get();
    mods().devices[std::to_string(reinterpret_cast<uintptr_t>(d))] = std::move(dev);
    return d;
}

int simModemStartPty(SimModem* modem, const char* path)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        if (master >= 0)
            close(master);
        fprintf(stderr, "simulated board: no pseudo-terminal for %s\n", path);
        return -1;
    }
    char slave[128];
    if (ptsname_r(master, slave, sizeof slave) != 0) {
        close(master);
        return -1;
    }
    // The master side passes bytes as they are.
    struct termios t;
    if (tcgetattr(master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    auto p = std::make_unique<PtyModem>();
    p->modem = modem;
    p->master = master;
    std::string name = path;
    name = name.substr(name.rfind('/') + 1) + ".transcript";
    p->transcriptFile = simFilePath(name.c_str());
    p->thread = std::thread(serve, p.get());
    ioRegisterHostNode(path, slave);
    std::lock_guard<std::mutex> g(mods().lock);
    mods().ptys[path] = std::move(p);
    return 0;
}

void simModemStopPty(const char* path)
{
    std::unique_ptr<PtyModem> p;
    {
        std::lock_guard<std::mutex> g(mods().lock);
        auto it = mods().ptys.find(path);
        if (it == mods().ptys.end())
            return;
        p = std::move(it->second);
        mods().ptys.erase(it);
    }
    ioRegisterHostNode(path, "");
    p->stop = true;
    p->thread.join();
    writeTranscript(p.get());
}

SimModem* simModemAt(const char* path)
{
    std::lock_guard<std::mutex> g(mods().lock);
    auto it = mods().ptys.find(path);
    return it == mods().ptys.end() ? nullptr : it->second->modem;
}

void simModemsAttach(const std::string& profileText)
{
    SimProfile prof;
    if (simProfileParse(profileText, &prof, nullptr) != 0)
        return;
    for (const SimProfileUart& u : prof.uarts) {
        if (u.kind != "atmodem" || simModemAt(u.path.c_str()))
            continue;
        SimModem* m;
        {
            std::lock_guard<std::mutex> g(mods().lock);
            auto& slot = mods().owned[u.path];
            if (!slot)
                slot = std::make_unique<SimModem>();
            m = slot.get();
        }
        simModemStartPty(m, u.path.c_str());
    }
}
