// Simulated hardware watchdog: the Linux watchdog requests, kept in a small
// text file of the sandbox.
#include "sim/simWatchdog.h"

#include "platform/host/ioDevice.h"
#include "sim/board.h"
#include "sim/simState.h"

#include <cerrno>
#include <fstream>
#include <linux/watchdog.h>
#include <mutex>
#include <set>
#include <sstream>

namespace {

std::mutex& lock()
{
    static std::mutex m;
    return m;
}

std::set<std::string> failWords()
{
    std::set<std::string> words;
    std::ifstream in(simFilePath("watchdog.fail"));
    for (std::string w; in >> w;)
        words.insert(w);
    return words;
}

int save(const SimWatchdogState& s)
{
    std::ostringstream out;
    out << "opens " << s.opens << "\nkeepalives " << s.keepalives << "\ntimeout " << s.timeout << "\noptions "
        << s.options << "\n";
    return simWriteFile(simFilePath("watchdog"), out.str());
}

// Reads, changes and writes the state under the process's lock.
template <typename F> int update(F change)
{
    std::lock_guard<std::mutex> g(lock());
    SimWatchdogState s = simWatchdogRead();
    change(s);
    return save(s) == 0 ? 0 : -EIO;
}

class SimWatchdogDevice : public IoDevice {
public:
    int open(int, int) override
    {
        if (failWords().count("open"))
            return -ENODEV;
        return update([](SimWatchdogState& s) { s.opens++; });
    }

    int ioctl(int, unsigned long request, void* arg) override
    {
        std::set<std::string> fail = failWords();
        switch (request) {
        case WDIOC_KEEPALIVE:
            if (fail.count("keepalive"))
                return -EIO;
            return update([](SimWatchdogState& s) { s.keepalives++; });
        case WDIOC_SETTIMEOUT: {
            if (fail.count("settimeout"))
                return -EIO;
            int* t = static_cast<int*>(arg);
            if (!t || *t <= 0)
                return -EINVAL;
            return update([t](SimWatchdogState& s) { s.timeout = *t; });
        }
        case WDIOC_GETTIMEOUT: {
            int* t = static_cast<int*>(arg);
            if (!t)
                return -EFAULT;
            *t = simWatchdogRead().timeout;
            return 0;
        }
        case WDIOC_SETOPTIONS: {
            if (fail.count("setoptions"))
                return -EIO;
            int* o = static_cast<int*>(arg);
            if (!o)
                return -EFAULT;
            return update([o](SimWatchdogState& s) { s.options = *o; });
        }
        default:
            return -ENOTTY;
        }
    }
};

} // namespace

IoDevice* simWatchdogDevice()
{
    static SimWatchdogDevice dev;
    return &dev;
}

SimWatchdogState simWatchdogRead()
{
    SimWatchdogState s;
    std::ifstream in(simFilePath("watchdog"));
    std::string name;
    while (in >> name) {
        if (name == "opens")
            in >> s.opens;
        else if (name == "keepalives")
            in >> s.keepalives;
        else if (name == "timeout")
            in >> s.timeout;
        else if (name == "options")
            in >> s.options;
    }
    return s;
}

int simWatchdogSetFail(const std::string& words)
{
    return simWriteFile(simFilePath("watchdog.fail"), words + "\n");
}
