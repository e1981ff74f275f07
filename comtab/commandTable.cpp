// The command table: 24 entries, each a request, a status, a handler and
// the DbPool cells its change callbacks publish; "Ltx Thread" runs the
// handlers every 10 ms while there is something to do.
#include "comtab/commandTable.h"

#include "Config/configCycle.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "audio/fmRxMonitor.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "links/ethernetSettings.h"
#include "persist/configExchange.h"
#include "platform/io.h"
#include "platform/paths.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t kConfigWaitTicks = 1000;
constexpr uint32_t kMountWaitTicks = 15000;
constexpr int kUpgradeEntry = 9;

using Handler = void (*)(int n);

struct Entry {
    std::atomic<uint32_t> request{0};
    std::atomic<uint32_t> status{0};
    std::atomic<uint32_t> param{0};
    uint32_t counter = 0;
    // Entries 9 and 11: the run of the current request was started; the
    // upgrade manager ends it by setting the status.
    std::atomic<bool> served{false};
    // A step of the handler runs on as a child (entry 9's copy from the USB
    // key): the handler is called on every tick until it has ended.
    bool childRunning = false;
};

// The copy of the package from the USB key, running as a child so "Ltx
// Thread" never waits for it: its pid and the read end of its exec-error
// pipe.
struct UsbCopy {
    pid_t pid = -1;
    int errFd = -1;
};

struct State {
    Entry entries[CMD_TABLE_ENTRIES];
    const CommandTableServices* services = nullptr;
    UsbCopy usbCopy;
};

State& st()
{
    static State s;
    return s;
}

bool inRange(int n)
{
    return n >= 0 && n < CMD_TABLE_ENTRIES;
}

Entry& entry(int n)
{
    return st().entries[n];
}

// ---- Published cells ---------------------------------------------------------

struct Cells {
    uint8_t entry, reqSection, reqItem, statSection, statItem;
};

const Cells kCells[] = {
#define CMD_CELLS(e, rs, ri, ss, si) {e, rs, ri, ss, si},
#include "comtab/gen/commandCells.inc"
#undef CMD_CELLS
};

// Entries without change callbacks.
bool unpublished(int n)
{
    return n == 2 || n == 3 || n == 7 || n == 8 || n == 10;
}

void publishRequest(int n, uint32_t v)
{
    if (unpublished(n))
        return;
    // The firmware-update request is an item of the system image (both of
    // its cells).
    if (n == kUpgradeEntry) {
        setUpgradeRequest(v);
        return;
    }
    for (const Cells& c : kCells)
        if (c.entry == n)
            setDbAreaCell(c.reqSection, c.reqItem, v);
}

void publishStatus(int n, uint32_t v)
{
    if (unpublished(n))
        return;
    for (const Cells& c : kCells)
        if (c.entry == n)
            setDbAreaCell(c.statSection, c.statItem, v);
}

void setRequest(int n, uint32_t v)
{
    if (entry(n).request.exchange(v) != v) {
        entry(n).served = false;
        publishRequest(n, v);
    }
}

// Entries run by the upgrade manager: once it has set the status of the run
// this request started, the request is over (taken again, it would start
// the same run anew at every tick).
bool endServedRun(int n)
{
    Entry& e = entry(n);
    if (!e.served)
        return false;
    setRequest(n, 0);
    return true;
}

// ---- Core services ---------------------------------------------------------------

int usbKeyMounted()
{
    const CommandTableServices* s = st().services;
    return s && s->isUsbKeyMounted ? s->isUsbKeyMounted() : 0;
}

// ---- Handlers --------------------------------------------------------------------

void clearEntry(int n, const char* line)
{
    setCommandStatus(n, 0);
    setRequest(n, 0);
    logInfo("%s\n", line);
}

// One-shot entries: request 1 runs the operation once, its result is the
// status.
void oneShot(int n, int (*op)(), const char* cleared)
{
    uint32_t req = entry(n).request;
    if (req == 1) {
        setRequest(n, 0);
        setCommandStatus(n, static_cast<uint32_t>(op()));
    } else if (req == 2) {
        clearEntry(n, cleared);
    }
}

int opDate()
{
    const CommandTableServices* s = st().services;
    int r = s && s->applySystemTimeRequest ? s->applySystemTimeRequest() : -1;
    return r != 0 ? 3 : 2;
}

int opMacEth0()
{
    ETHM_ApplyMacEth0();
    return 2;
}

int opMacEth1()
{
    ETHM_ApplyMacEth1();
    return 2;
}

int opMacGbeA()
{
    ETHM_ApplyMacGbeA();
    return 2;
}

int opMacGbeB()
{
    ETHM_ApplyMacGbeB();
    return 2;
}

int opSerialNumber()
{
    setSerialNumberFromSlots();
    return 2;
}

// The switch mode: the alternative setting for a non-zero param, else the
// configured one.
int opEthSwitch()
{
    return applyEthernetSwitchConfig(entry(8).param) != 0 ? 3 : 2;
}

void handleDate(int n) { oneShot(n, opDate, "CMD_DATE_CFG cleared"); }
void handleMacEth0(int n) { oneShot(n, opMacEth0, "CMD_ETH_0_MAC cleared"); }
void handleMacEth1(int n) { oneShot(n, opMacEth1, "CMD_ETH_1_MAC cleared"); }
void handleMacGbeA(int n) { oneShot(n, opMacGbeA, "CMD_GBE_A_MAC cleared"); }
void handleEthSwitch(int n) { oneShot(n, opEthSwitch, "CMD_ETH_SW cleared"); }
void handleSerialNumber(int n) { oneShot(n, opSerialNumber, "CMD_SET_SERIAL_NUMBER cleared"); }

void handleNothing(int) {}

void handleEthCfg(int n)
{
    Entry& e = entry(n);
    uint32_t req = e.request;
    if (req == 1) {
        logInfo("CMD_ETH_%d_CFG requested\n", n);
        int r = n == 0 ? ETHM_ApplyPendingCfgEth0() : ETHM_ApplyPendingCfgEth1();
        setCommandStatus(n, r != 0 ? 3 : 2);
        setRequest(n, 0);
    } else if (req == 0 && e.status == 1) {
        setCommandStatus(n, static_cast<uint32_t>(ETHM_ApplyInterface(n)));
    } else if (req == 2) {
        char line[32];
        snprintf(line, sizeof line, "CMD_ETH_%d_CFG cleared", n);
        clearEntry(n, line);
    }
}

// The package named by the key's upgradeFilename.txt is copied into
// /upload/. A name with a "/" would reach outside the key's upgrade folder:
// nothing is copied then. The copy is started as a child: true while it
// runs, false when there is nothing to wait for.
bool startUpgradeCopyFromUsb()
{
    if (!usbKeyMounted())
        return false;
    std::string namePath = sysPath("/mnt/usbkey/upgrade/upgradeFilename.txt");
    struct stat sb;
    if (stat(namePath.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode))
        return false;
    char name[256] = "";
    if (FILE* f = fopen(namePath.c_str(), "r")) {
        if (!fgets(name, sizeof name, f))
            name[0] = 0;
        fclose(f);
    }
    name[strcspn(name, "\r\n")] = 0;
    logInfo("COPY UPGRADE from USB KEY requested\n");
    if (name[0] == 0 || strchr(name, '/') || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
        logErr("COPY UPGRADE from USB KEY failed -- no valid package name\n");
        return false;
    }
    std::string src = std::string("/mnt/usbkey/upgrade/") + name;
    const char* const argv[] = {"cp", src.c_str(), "/upload/", nullptr};
    const CommandTableServices* sv = st().services;
    // Only an exec that fails writes into the close-on-exec pipe: a program
    // that cannot run is told from one that ran and failed.
    int errPipe[2] = {-1, -1};
    pid_t pid = -1;
    if (sv && sv->spawnProgram && sv->pollProgram && pipe2(errPipe, O_CLOEXEC) == 0) {
        pid = sv->spawnProgram("/bin/cp", argv, nullptr, -1, errPipe[1]);
        close(errPipe[1]);
        if (pid < 0)
            close(errPipe[0]);
    }
    if (pid < 0) {
        logErr("COPY UPGRADE from USB KEY failed (%d)\n", -2);
        return false;
    }
    st().usbCopy = UsbCopy{pid, errPipe[0]};
    return true;
}

// Looks at the running copy: false while it runs; true once it has ended,
// its failure (the exit status, 127 when cp could not be executed) logged.
bool upgradeCopyEnded()
{
    UsbCopy& c = st().usbCopy;
    int status = -1;
    int r = st().services->pollProgram(c.pid, &status);
    if (r == 0)
        return false;
    int err = 0;
    ssize_t n;
    do {
        n = read(c.errFd, &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(c.errFd);
    c = UsbCopy{};
    if (r < 0)
        status = -1;
    else if (n > 0)
        status = 127;
    if (status != 0)
        logErr("COPY UPGRADE from USB KEY failed (%d)\n", status);
    return true;
}

void handleUpgrade(int n)
{
    Entry& e = entry(n);
    if (e.childRunning) {
        if (!upgradeCopyEnded())
            return;
        e.childRunning = false;
        setUpgradeState(2);
        setCommandStatus(n, 1);
        e.served = true;
        return;
    }
    uint32_t req = e.request;
    if (req == 1 && e.status != 1 && endServedRun(n))
        return;
    if (req == 1 && e.status != 1) {
        logInfo("system upgrade request\n");
        uint32_t source = getUpgradeSource();
        if (source == 1) {
            logInfo("CMD_UPDATE_FW from PC requested\n");
            setUpgradeState(3);
        } else if (source == 2) {
            logInfo("CMD_UPDATE_FW from USB KEY requested\n");
            if (startUpgradeCopyFromUsb()) {
                // A later tick ends the step once the copy has ended.
                e.childRunning = true;
                return;
            }
            setUpgradeState(2);
        }
        setCommandStatus(n, 1);
        e.served = true;
    } else if (req == 0 && e.status == 1) {
        logInfo("system upgrade none\n");
        setCommandStatus(n, 0);
    } else if (req == 2) {
        logInfo("system upgrade clean\n");
        setRequest(n, 0);
        setCommandStatus(n, 0);
    } else if (req > 2) {
        logInfo("Unknown command requested\n");
    }
    if (e.status != 1)
        setRequest(n, 0);
}

void handleUploadClean(int n)
{
    Entry& e = entry(n);
    uint32_t req = e.request;
    if (req == 1 && e.status != 1 && endServedRun(n))
        return;
    if (req == 1 && e.status != 1) {
        logInfo("Upload Folder Clean -- REQUESTED\n");
        e.status = 1; // the upgrade manager does the cleaning and publishes the end
        e.served = true;
    } else if (req == 2) {
        logInfo("Upload Folder Clean -- CLEAR\n");
        setRequest(n, 0);
        e.status = 0;
        publishStatus(n, 0);
    } else if (req > 2) {
        logInfo("Unknown command requested\n");
    }
    if (e.status != 1)
        setRequest(n, 0);
}

void handleMount(int n)
{
    Entry& e = entry(n);
    uint32_t req = e.request;
    if (req == 1 && e.status != 1)
        e.counter = 0;
    e.counter++;
    if (req == 1 && e.status != 1) {
        setCommandStatus(n, 1);
        const CommandTableServices* s = st().services;
        uint32_t mdev = getMdevState();
        if (usbKeyMounted()) {
            setCommandStatus(n, 2);
        } else if (mdev != 0 && mdev != 2 && mdev != 3) {
            setCommandStatus(n, 3);
        } else if (!s || !s->launchMdevRestart || s->launchMdevRestart() != 0) {
            setCommandStatus(n, 3);
        }
    } else if (req == 1) {
        if (e.counter >= kMountWaitTicks)
            setCommandStatus(n, 3);
        else if (getMdevState() == 2)
            setCommandStatus(n, 2);
    } else if (req == 0) {
        logInfo("mount usb key none\n");
        setCommandStatus(n, 0);
        e.counter = 0;
    } else if (req == 2) {
        logInfo("mount usb key clean\n");
        setCommandStatus(n, 0);
        e.counter = 0;
    } else {
        logInfo("Unknown command requested\n");
    }
    if (e.status != 1) {
        e.counter = 0;
        setRequest(n, 0);
    }
}

void handleUnmount(int n)
{
    Entry& e = entry(n);
    uint32_t req = e.request;
    if (req == 1) {
        logInfo("un-mount usb key request\n");
        setCommandStatus(n, 1);
        if (usbKeyMounted()) {
            if (ioUnmountForce("/mnt/usbkey") == 0) {
                rmdir(sysPath("/mnt/usbkey").c_str());
                setCommandStatus(n, 2);
            } else {
                printf("un-mount usb key fails\n");
                fflush(stdout);
                setCommandStatus(n, 3);
            }
        } else {
            setCommandStatus(n, 2);
        }
    } else if (req == 0 || req == 2) {
        logInfo(req == 0 ? "un-mount usb key none\n" : "un-mount usb key clean\n");
        setCommandStatus(n, 0);
        e.counter = 0;
    } else {
        logInfo("Unknown command requested\n");
    }
    if (e.status != 1)
        setRequest(n, 0);
}

// ---- Entries that wait for the configuration to settle (14 to 20) ----------------

int importUsb()
{
    return importConfig(copyXmlConfigFromUsb);
}

int importNet()
{
    return importConfig(loadXmlConfigFromNet);
}

int importNetAp()
{
    return importConfig(loadApXmlConfigFromNet);
}

int ntp()
{
    const CommandTableServices* s = st().services;
    return s && s->applyNtpConfig ? s->applyNtpConfig() : -1;
}

struct Settled {
    const char* text;
    bool counted;               // the log lines carry the counter
    bool load;                  // an import: status 4 on a failed copy, 5 on a failed load
    int (*op)();
    const char* copyFailed;     // imports
    const char* loadFailed;     // imports
    int (*removeExport)();      // exports: the clear removes the exported file first
};

const Settled kSettled[7] = {
    {"load configuration", false, true, importUsb, "copy config from USB fails", "load config fails", nullptr},
    {"save configuration", true, false, saveXmlConfigToUsb, nullptr, nullptr, nullptr},
    {"load net configuration", false, true, importNet, "copy config from Net fails", "load config fails", nullptr},
    {"save net configuration", true, false, exportXmlConfigToNet, nullptr, nullptr, removeNetConfigExport},
    {"load net ap configuration", false, true, importNetAp, "copy ap config from Net fails", "load ap config fails",
     nullptr},
    {"save net ap configuration", true, false, exportApXmlConfigToNet, nullptr, nullptr, removeNetApConfigExport},
    {"NTP client configuration", true, false, ntp, nullptr, nullptr, nullptr},
};

void logSettled(const Settled& k, const char* what, uint32_t counter)
{
    if (k.counted)
        logInfo("%s %s (%d)\n", k.text, what, static_cast<int>(counter));
    else
        logInfo("%s %s\n", k.text, what);
}

void handleSettled(int n)
{
    if (n < 14 || n > 20)
        return;
    const Settled& k = kSettled[n - 14];
    Entry& e = entry(n);
    uint32_t req = e.request;
    // Each request waits its own 10 s.
    if (req == 1 && e.status != 1)
        e.counter = 0;
    e.counter++;
    if (req == 1) {
        logSettled(k, "request", e.counter);
        if (n == 20) {
            printf("NTP client configuration request (%d)\n", static_cast<int>(e.counter));
            fflush(stdout);
        }
        setCommandStatus(n, 1);
        if (getConfigChanged() != 0) {
            if (e.counter >= kConfigWaitTicks) {
                setCommandStatus(n, 3);
                if (k.load) {
                    printf("timeout on configuration\n");
                    fflush(stdout);
                }
            }
        } else if (k.load) {
            int r = k.op();
            if (r == 0) {
                setCommandStatus(n, 2);
            } else if (r == IMPORT_LOAD_FAILED) {
                logInfo("%s\n", k.loadFailed);
                setCommandStatus(n, 5);
            } else {
                printf("%s\n", k.copyFailed);
                fflush(stdout);
                setCommandStatus(n, 4);
            }
        } else {
            setCommandStatus(n, k.op() != 0 ? 3 : 2);
        }
    } else if (req == 0 && e.status == 1) {
        logSettled(k, "none", e.counter);
        setCommandStatus(n, 0);
        e.counter = 0;
    } else if (req == 2) {
        logSettled(k, "clean", e.counter);
        if (!k.removeExport || k.removeExport() == 0)
            setCommandStatus(n, 0);
        e.counter = 0;
    } else if (req > 2) {
        if (k.counted)
            logInfo("Unknown command requested (%d)\n", static_cast<int>(e.counter));
        else
            logInfo("Unknown command requested\n");
    }
    if (e.status != 1)
        setRequest(n, 0);
}

// ---- FM receiver (21, 22) -------------------------------------------------------

void handleFmRx(int n)
{
    Entry& e = entry(n);
    uint32_t req = e.request;
    if (req == 1) {
        logInfo("Get Status on FM Receiver request\n");
        printf("Get Status on FM Receiver request\n");
        fflush(stdout);
        if (e.status != 1) {
            if (n == 21) {
                setCommandStatus(n, 1);
                setFmRxStatusFlag(0);
            } else {
                uint32_t frequency = fmRx_GetTunedFrequency();
                setCommandStatus(n, 1);
                FmRxStatusRecord record = {};
                if (fmRx_GetStatus(frequency, &record, 0) != 0) {
                    setFmRxStatus(reinterpret_cast<const uint8_t*>(record.words));
                    setCommandStatus(n, 2);
                } else {
                    setCommandStatus(n, 3);
                }
            }
        }
    } else if (req == 0 && e.status == 1) {
        logInfo("Get Status on FM Receiver None\n");
        setCommandStatus(n, 0);
    } else if (req == 2) {
        logInfo("Get Status on FM Receiver Clean\n");
        setCommandStatus(n, 0);
    } else if (req > 2) {
        logInfo("Get Status on FM Receiver : Unknown command (%d)\n", static_cast<int>(req));
    }
    if (e.status != 1)
        setRequest(n, 0);
}

const Handler kHandlers[CMD_TABLE_ENTRIES] = {
    handleEthCfg,       // 0 CMD_ETH_0_CFG
    handleEthCfg,       // 1 CMD_ETH_1_CFG
    handleNothing,      // 2
    handleDate,         // 3 CMD_DATE_CFG
    handleMacEth0,      // 4 CMD_ETH_0_MAC
    handleMacEth1,      // 5 CMD_ETH_1_MAC
    handleMacGbeA,      // 6 CMD_GBE_A_MAC
    nullptr,            // 7
    handleEthSwitch,    // 8 CMD_ETH_SW
    handleUpgrade,      // 9 firmware update
    nullptr,            // 10
    handleUploadClean,  // 11 upload clean
    handleMount,        // 12 mount usb key
    handleUnmount,      // 13 un-mount usb key
    handleSettled,      // 14 load configuration
    handleSettled,      // 15 save configuration
    handleSettled,      // 16 load net configuration
    handleSettled,      // 17 save net configuration
    handleSettled,      // 18 load net ap configuration
    handleSettled,      // 19 save net ap configuration
    handleSettled,      // 20 NTP client configuration
    handleFmRx,         // 21 Get Status on FM Receiver
    handleFmRx,         // 22 Get Status on FM Receiver
    handleSerialNumber, // 23 CMD_SET_SERIAL_NUMBER
};

} // namespace

void commandGbeBMac(int n)
{
    if (inRange(n))
        oneShot(n, opMacGbeB, "CMD_GBE_B_MAC cleared");
}

void registerCommandTableServices(const CommandTableServices* services)
{
    st().services = services;
}

void initCommandTable()
{
    for (Entry& e : st().entries) {
        e.request = 0;
        e.status = 0;
        e.param = 0;
        e.counter = 0;
        e.served = false;
        e.childRunning = false;
    }
}

void commandTableTick()
{
    for (int n = 0; n < CMD_TABLE_ENTRIES; n++) {
        const Entry& e = entry(n);
        uint32_t req = e.request;
        if ((req == 1 || req == 2 || e.status == 1 || e.childRunning) && kHandlers[n])
            kHandlers[n](n);
    }
}

int setCommandRequest(int n, uint32_t v)
{
    if (!inRange(n)) {
        logErr("setCommandRequest - no command %d\n", n);
        return 9;
    }
    if (v != 2 && entry(n).status == 1)
        return 9;
    setRequest(n, v);
    return 0;
}

void setCommandStatus(int n, uint32_t v)
{
    if (inRange(n) && entry(n).status.exchange(v) != v)
        publishStatus(n, v);
}

uint32_t getCommandRequest(int n)
{
    return inRange(n) ? entry(n).request.load() : 0;
}

uint32_t getCommandStatus(int n)
{
    return inRange(n) ? entry(n).status.load() : 0;
}

void setCommandParam(int n, uint32_t v)
{
    if (inRange(n))
        entry(n).param = v;
}
