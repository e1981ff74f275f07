#include "testing/sandboxTest.h"

#include "Config/StrutturaDati.h"
#include "comtab/dbPool.h"

#include <cstring>

void SandboxTest::SetUp()
{
    // A fresh board starts with the system image of a fresh process: every
    // test of a program sees the same image whatever ran before it.
    memset(getSystemImage(), 0, sizeof(SystemImage));
    root = profile.empty() ? makeTestSandbox() : makeTestSandboxWithProfile(profile);
    if (options & SANDBOX_LOGS)
        simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
    if (options & SANDBOX_VIRTUAL_CLOCK)
        clockUseVirtual();
    if (options & SANDBOX_LOGS) {
        openLogs();
        logEnabled = 1;
    }
    if (options & SANDBOX_DBPOOL)
        initDbAreaContainer();
}

void SandboxTest::TearDown()
{
    if (options & SANDBOX_LOGS)
        closeLogs();
    if (options & SANDBOX_VIRTUAL_CLOCK)
        clockUseReal();
    // Removes DbPool of the sandbox too.
    removeTestSandbox(root);
}

size_t SandboxTest::count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        n++;
    return n;
}

std::vector<SimLogRecord> SandboxTest::busLog(SimBusId bus, uint64_t after)
{
    std::vector<SimLogRecord> r(256);
    r.resize(simLogRead(bus, after, r.data(), r.size()));
    return r;
}
