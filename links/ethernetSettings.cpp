// Ethernet manager: the running copies of eth0 (front port) and eth1 (rear
// port), the parameters of the network table, applying the configured
// settings to the interfaces (address, netmask, default route, link mode),
// the MAC steps, the network status record and ip.conf.
#include "links/ethernetSettings.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/commandTable.h"
#include "core/base/logs.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"
#include "platform/io.h"
#include "platform/paths.h"
#include "platform/programs.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kCmdEth0Cfg = 0;
constexpr int kCmdEth1Cfg = 1;
constexpr int kRouteAttempts = 3;
constexpr const char* kIpConf = "/mnt/ubi0/conf/ip.conf";
constexpr const char* kIfName[2] = {"eth0", "eth1"};

struct EthDefaults {
    const char* address;
    const char* netmask;
    const char* gateway;
    const char* oldGateway;
};
constexpr EthDefaults kDefaults[2] = {
    {"192.168.0.1", "255.255.0.0", "0.0.0.0", "0.0.0.0"},
    {"10.200.8.25", "255.255.255.0", "10.200.8.254", "10.200.8.254"},
};

struct EthernetState {
    EthRunningCfg running[2] = {};
    IpConfRecord ipConf[2] = {};
};

EthernetState& st()
{
    static EthernetState s;
    return s;
}

NetworkRegion& net()
{
    return getSystemImage()->net;
}

// The configured (pending) values of a port.
uint32_t cfgAddress(int i)
{
    return i == 0 ? getFrontEthernetIPAddress() : getRearEthernetIPAddress();
}

uint32_t cfgNetmask(int i)
{
    return i == 0 ? getFrontEthernetIPNetmask() : getRearEthernetIPNetmask();
}

uint32_t cfgGateway(int i)
{
    return i == 0 ? getFrontEthernetIPGateway() : getRearEthernetIPGateway();
}

void setCfg(int i, uint32_t address, uint32_t netmask, uint32_t gateway)
{
    if (i == 0) {
        setFrontEthernetIPAddress(address);
        setFrontEthernetIPNetmask(netmask);
        setFrontEthernetIPGateway(gateway);
    } else {
        setRearEthernetIPAddress(address);
        setRearEthernetIPNetmask(netmask);
        setRearEthernetIPGateway(gateway);
    }
}

uint8_t& pendingFlag(int i)
{
    return i == 0 ? net().frontPendingApply : net().rearPendingApply;
}

// A gateway other than 0.0.0.0 must lie in the address's subnet.
bool gatewayInSubnet(uint32_t address, uint32_t netmask, uint32_t gateway)
{
    return gateway == 0 || ((address ^ gateway) & netmask) == 0;
}

void logWrongConfiguration(int i)
{
    logErr("ETHM_ChangeCfg() on %s failed: wrong configuration", kIfName[i]);
}

void reloadRunningAddresses(int i)
{
    EthRunningCfg& r = st().running[i];
    r.address = cfgAddress(i);
    r.netmask = cfgNetmask(i);
    r.gateway = cfgGateway(i);
}

// Validation of the running copy before an apply is requested: 0, or 11
// with the running addresses back at the configured ones.
int checkRunning(int i)
{
    const EthRunningCfg& r = st().running[i];
    if (gatewayInSubnet(r.address, r.netmask, r.gateway))
        return 0;
    logWrongConfiguration(i);
    reloadRunningAddresses(i);
    return 11;
}

int checkPending(int i)
{
    uint32_t address = cfgAddress(i), netmask = cfgNetmask(i), gateway = cfgGateway(i);
    if (address != 0 && netmask != 0 && gatewayInSubnet(address, netmask, gateway))
        return 0;
    logWrongConfiguration(i);
    return -1;
}

void setDefaultCfg(int i)
{
    const EthDefaults& d = kDefaults[i];
    setCfg(i, inet_addr(d.address), inet_addr(d.netmask), inet_addr(d.gateway));
}

void loadRunningCfg(int i)
{
    EthRunningCfg& r = st().running[i];
    reloadRunningAddresses(i);
    r.oldGateway = i == 0 ? getFrontEthernetIPOldGateway() : getRearEthernetIPOldGateway();
    if (i == 1) {
        r.autoneg = getRearEthernetAutoneg();
        r.duplex = getRearEthernetDuplex();
        r.speed = getRearEthernetSpeed();
    }
    ETHM_ApplyInterface(i);
}

int applyPendingCfg(int i)
{
    if (pendingFlag(i) == 0)
        return 0;
    int r = checkPending(i);
    if (r != 0)
        setDefaultCfg(i);
    loadRunningCfg(i);
    pendingFlag(i) = 0;
    return r;
}

void copyRunningToPending(int i)
{
    const EthRunningCfg& r = st().running[i];
    setCfg(i, r.address, r.netmask, r.gateway);
}

void putBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

uint32_t macHead(const uint8_t* m)
{
    return (uint32_t(m[0]) << 24) | (uint32_t(m[1]) << 16) | (uint32_t(m[2]) << 8) | m[3];
}

uint32_t macTail(const uint8_t* m)
{
    return (uint32_t(m[4]) << 8) | m[5];
}

// The value of parameter `id` (1..14): 0, 9 or 1.
int readParam(uint32_t id, uint32_t* value)
{
    *value = 0xFFFFFFFFu;
    if (id < 1 || id > 14)
        return 1;
    const EthRunningCfg& r = st().running[id <= 7 ? 0 : 1];
    switch ((id - 1) % 7 + 1) {
    case 1: *value = macHead(r.mac); return 0;
    case 2: *value = macTail(r.mac); return 0;
    case 3: *value = r.address; return 0;
    case 4: *value = r.netmask; return 0;
    case 5: *value = r.gateway; return 0;
    case 6: *value = 0; return 9;
    default: *value = r.reserved; return 0;
    }
}

// The EMAC0 fix-up: 3 into the first word of FPGA region 13, read back.
void fixUpEmac0()
{
    const uint32_t three = 3;
    uint32_t back = 0;
    fpgaWriteWords(&three, 1, 2, 13, 0);
    clockSleepUs(100);
    fpgaReadWords(&back, 1, 2, 13, 0);
    if (back == 3)
        logInfo("Fix-up EMAC0: Success");
    else
        logInfo("Fix-up EMAC0: Failed %d", static_cast<int>(back));
}

void setIfName(struct ifreq* r, const char* name)
{
    memset(r, 0, sizeof *r);
    snprintf(r->ifr_name, sizeof r->ifr_name, "%s", name);
}

void setInAddr(struct sockaddr* sa, uint32_t address)
{
    struct sockaddr_in in = {};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = address;
    memcpy(sa, &in, sizeof in);
}

int setFlags(int fd, const char* name, bool up)
{
    struct ifreq r;
    setIfName(&r, name);
    if (ioIoctl(fd, SIOCGIFFLAGS, &r) != 0)
        return -1;
    if (up)
        r.ifr_flags = static_cast<short>(r.ifr_flags | IFF_UP | IFF_RUNNING);
    else
        r.ifr_flags = static_cast<short>(r.ifr_flags & ~(IFF_UP | IFF_RUNNING));
    return ioIoctl(fd, SIOCSIFFLAGS, &r);
}

int setAddress(int fd, const char* name, unsigned long request, uint32_t address)
{
    struct ifreq r;
    setIfName(&r, name);
    setInAddr(request == SIOCSIFNETMASK ? &r.ifr_netmask : &r.ifr_addr, address);
    return ioIoctl(fd, request, &r);
}

// The default route through `gateway` on the interface, added or deleted,
// up to three attempts: true when one succeeded.
bool changeDefaultRoute(int fd, const char* name, unsigned long request, uint32_t gateway)
{
    char dev[IFNAMSIZ];
    snprintf(dev, sizeof dev, "%s", name);
    struct rtentry rt = {};
    setInAddr(&rt.rt_dst, 0);
    setInAddr(&rt.rt_genmask, 0);
    setInAddr(&rt.rt_gateway, gateway);
    rt.rt_flags = RTF_UP | RTF_GATEWAY;
    rt.rt_dev = dev;
    for (int attempt = 0; attempt < kRouteAttempts; attempt++)
        if (ioIoctl(fd, request, &rt) == 0)
            return true;
    return false;
}

} // namespace

const EthRunningCfg* ETHM_GetRunningCfg(int iface)
{
    return iface == 0 || iface == 1 ? &st().running[iface] : nullptr;
}

int ETHM_GetParam(uint32_t id, uint32_t* value)
{
    uint32_t v;
    int r = readParam(id, &v);
    if (value)
        *value = v;
    return r;
}

int ETHM_GetAll(uint32_t* table, uint32_t* count)
{
    for (uint32_t id = 1; id <= 14; id++) {
        uint32_t v;
        readParam(id, &v);
        table[id - 1] = v;
    }
    *count = 14 * 4;
    return 0;
}

int ETHM_ChangeCfg(uint32_t id, uint32_t value, uint32_t checkOnly)
{
    if (id < 1 || id > 14 || id == 7 || id == 14)
        return -1;
    int i = id <= 7 ? 0 : 1;
    uint32_t param = (id - 1) % 7 + 1;
    if (param == 6) {
        int r = checkRunning(i);
        if (r != 0 || checkOnly)
            return r;
        // The command table refuses a request while the apply still runs.
        return setCommandRequest(i == 0 ? kCmdEth0Cfg : kCmdEth1Cfg, value) == 0 ? 0 : 9;
    }
    if (checkOnly)
        return 0;
    EthRunningCfg& r = st().running[i];
    switch (param) {
    case 1: {
        putBE32(r.mac, value);
        if (i == 0)
            setFrontEthernetMacBytes0to3(r.mac);
        else
            setRearMacReceivedHead(r.mac);
        break;
    }
    case 2: {
        r.mac[4] = static_cast<uint8_t>(value >> 8);
        r.mac[5] = static_cast<uint8_t>(value);
        if (i == 0)
            setFrontEthernetMacBytes4to5(r.mac + 4);
        else
            setRearMacReceivedTail(r.mac + 4);
        break;
    }
    case 3: r.address = value; break;
    case 4: r.netmask = value; break;
    default: r.gateway = value; break;
    }
    return 0;
}

void ETHM_SetDefaultCfgEth0()
{
    setDefaultCfg(0);
}

void ETHM_SetDefaultCfgEth1()
{
    setDefaultCfg(1);
}

int ETHM_ApplyPendingCfgEth0()
{
    return applyPendingCfg(0);
}

int ETHM_ApplyPendingCfgEth1()
{
    return applyPendingCfg(1);
}

int ETHM_ApplyPendingCfgAll()
{
    int r0 = applyPendingCfg(0);
    int r1 = applyPendingCfg(1);
    return r0 != 0 ? r0 : r1;
}

int ETHM_CheckPendingCfgEth0()
{
    return checkPending(0);
}

int ETHM_CheckPendingCfgEth1()
{
    return checkPending(1);
}

void ETHM_LoadRunningCfgEth0()
{
    loadRunningCfg(0);
}

void ETHM_LoadRunningCfgEth1()
{
    loadRunningCfg(1);
}

int ETHM_ApplyInterface(int iface)
{
    if (iface == 0 || iface == 1) {
        if (iface == 0)
            setFrontEthernetIPAddress(getFrontEthernetIPAddress());
        else
            setRearEthernetIPAddress(getRearEthernetIPAddress());
        ETHM_ConfigureInterface(iface);
        if (iface == 1)
            ETHM_SetLinkMode();
    } else {
        ETHM_ConfigureInterface(0);
        ETHM_ConfigureInterface(1);
    }
    logInfo("%s configuration changed", iface == 0 ? "eth0" : "eth1");
    return 2;
}

int ETHM_ConfigureInterface(int iface)
{
    if (iface != 0 && iface != 1)
        return -1;
    const EthRunningCfg& r = st().running[iface];
    const char* name = kIfName[iface];
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        perror("socket");
        return -1;
    }
    int result = 0;
    setFlags(fd, name, false);
    if (iface == 0)
        fixUpEmac0();
    if (setAddress(fd, name, SIOCSIFADDR, r.address) != 0) {
        logInfo("SIOCSIFADDR: Error");
        result = -2;
    } else if (setAddress(fd, name, SIOCSIFNETMASK, r.netmask) != 0) {
        logInfo("SIOCSIFNETMASK: Error");
        result = -3;
    } else {
        // A previous gateway of 0.0.0.0 had no route of its own.
        if (r.oldGateway != 0)
            changeDefaultRoute(fd, name, SIOCDELRT, r.oldGateway);
        if (setFlags(fd, name, true) != 0) {
            logInfo("SIOCSIFFLAGS: Error on up interface");
            result = -4;
        } else if (r.gateway != 0 && !changeDefaultRoute(fd, name, SIOCADDRT, r.gateway)) {
            logInfo("SIOCADDRT: Error");
        }
    }
    close(fd);
    return result;
}

int ETHM_SetLinkMode()
{
    const EthRunningCfg& r = st().running[1];
    char cmd[128];
    if (r.autoneg == 1)
        snprintf(cmd, sizeof cmd, "ethtool -s %s autoneg %s", kIfName[1], "on");
    else
        snprintf(cmd, sizeof cmd, "ethtool -s %s speed %s duplex %s autoneg %s", kIfName[1],
                 r.speed == 0 ? "100" : "10", r.duplex == 1 ? "half" : "full", "off");
    logInfo("%s calling", cmd);
    return runShellLine(cmd);
}

int ETHM_ApplyMacEth0()
{
    applyPendingEthernetMacs();
    return 2;
}

int ETHM_ApplyMacEth1()
{
    applyPendingEthernetMacs();
    return 2;
}

int ETHM_ApplyMacGbeA()
{
    applyPendingGbeMacs();
    return 2;
}

int ETHM_ApplyMacGbeB()
{
    applyPendingGbeMacs();
    return 2;
}

void ETHM_InitRunningCfg()
{
    memcpy(st().running[0].mac, net().frontMacActive, 6);
    memcpy(st().running[1].mac, net().rearMacActive, 6);
    reloadRunningAddresses(0);
    reloadRunningAddresses(1);
    ETHM_ApplyPendingCfgAll();
}

void ETHM_ApplyDefaultCfg()
{
    for (int i = 0; i < 2; i++) {
        EthRunningCfg& r = st().running[i];
        r.address = inet_addr(kDefaults[i].address);
        r.netmask = inet_addr(kDefaults[i].netmask);
        r.gateway = inet_addr(kDefaults[i].gateway);
        r.oldGateway = inet_addr(kDefaults[i].oldGateway);
    }
    st().running[1].autoneg = 1;
    st().running[1].duplex = 1;
    st().running[1].speed = 1;
    ETHM_ConfigureInterface(0);
    ETHM_ConfigureInterface(1);
}

void ETHM_CopyRunningToPendingEth0()
{
    copyRunningToPending(0);
}

void ETHM_CopyRunningToPendingEth1()
{
    copyRunningToPending(1);
}

int fillNetworkStatus(NetworkStatusRecord* record)
{
    if (!record)
        return 16;
    *record = {};
    record->eth0Address = getFrontEthernetIPAddress();
    record->eth0Netmask = getFrontEthernetIPNetmask();
    record->eth0Gateway = getFrontEthernetIPGateway();
    record->eth0CfgRequest = getCommandRequest(kCmdEth0Cfg);
    record->eth0CfgStatus = getCommandStatus(kCmdEth0Cfg);
    record->eth1Address = getRearEthernetIPAddress();
    record->eth1Netmask = getRearEthernetIPNetmask();
    record->eth1Gateway = getRearEthernetIPGateway();
    record->eth1CfgRequest = getCommandRequest(kCmdEth1Cfg);
    record->eth1CfgStatus = getCommandStatus(kCmdEth1Cfg);
    record->eth0OldGateway = getFrontEthernetIPOldGateway();
    record->eth1OldGateway = getRearEthernetIPOldGateway();
    record->one = 1;
    record->cpuVlanId = getCpuVlanId();
    record->keyLockWord = LogicaTx_GetKeyLockWord();
    return 0;
}

int ETHM_GetMacText(int sock, struct ifreq* req, char* text)
{
    if (!req || !text || ioIoctl(sock, SIOCGIFHWADDR, req) != 0)
        return -1;
    const auto* m = reinterpret_cast<const uint8_t*>(req->ifr_hwaddr.sa_data);
    snprintf(text, 18, "%.2X:%.2X:%.2X:%.2X:%.2X:%.2X", m[0], m[1], m[2], m[3], m[4], m[5]);
    return 0;
}

int ETHM_GetAddrText(const struct sockaddr* addr, char* text, size_t size)
{
    struct sockaddr_in in = {};
    if (addr)
        memcpy(&in, addr, sizeof in);
    if (!addr || !inet_ntop(AF_INET, &in.sin_addr, text, static_cast<socklen_t>(size))) {
        perror("inet_ntop");
        return -1;
    }
    return 0;
}

int ETHM_PrintIface(int sock, const char* name)
{
    struct ifreq r;
    setIfName(&r, name);
    char ip[INET_ADDRSTRLEN], mac[18];
    if (ioIoctl(sock, SIOCGIFADDR, &r) != 0 || ETHM_GetAddrText(&r.ifr_addr, ip, sizeof ip) != 0)
        return -1;
    setIfName(&r, name);
    if (ETHM_GetMacText(sock, &r, mac) != 0)
        return -1;
    printf("%s: ip %s - hw_addr %s\n", name, ip, mac);
    return 0;
}

int ETHM_WriteIpConf()
{
    char line[160];
    snprintf(line, sizeof line, "cp %s %s.old", kIpConf, kIpConf);
    runShellLine(line);
    FILE* f = fopen(sysPath(kIpConf).c_str(), "w");
    if (!f) {
        logErr("Cannot write kernel ethernet configuration");
        snprintf(line, sizeof line, "cp %s.old %s", kIpConf, kIpConf);
        runShellLine(line);
        return 9;
    }
    for (int i = 0; i < 2; i++) {
        const EthRunningCfg& r = st().running[i];
        char address[INET_ADDRSTRLEN], netmask[INET_ADDRSTRLEN], gateway[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &r.address, address, sizeof address);
        inet_ntop(AF_INET, &r.netmask, netmask, sizeof netmask);
        inet_ntop(AF_INET, &r.gateway, gateway, sizeof gateway);
        fprintf(f, "# net interface %d\n", i);
        fprintf(f, "export SYSCFG_IFACE%d=y\n", i);
        fprintf(f, "export INTERFACE%d=\"%s\"\n", i, kIfName[i]);
        fprintf(f, "export IPADDR%d=\"%s\"\n", i, address);
        fprintf(f, "export NETMASK%d=\"%s\"\n", i, netmask);
        fprintf(f, "export GATEWAY%d=\"%s\"\n", i, gateway);
    }
    fclose(f);
    return 0;
}

int ETHM_ReadIpConf()
{
    FILE* f = fopen(sysPath(kIpConf).c_str(), "r");
    if (!f) {
        logErr("Cannot read kernel ethernet configuration");
        return 9;
    }
    IpConfRecord* rec = nullptr;
    char line[42]; // 40 characters, the newline and the end
    bool skipRest = false;
    while (fgets(line, sizeof line, f)) {
        size_t n = strlen(line);
        bool whole = n > 0 && line[n - 1] == '\n';
        // The rest of a line longer than 40 characters is not a line of its own,
        // and a cut line is not taken.
        bool skip = skipRest || (!whole && !feof(f));
        skipRest = !whole;
        if (skip)
            continue;
        char word[41];
        if (sscanf(line, "export %40s", word) != 1)
            continue;
        char* eq = strchr(word, '=');
        if (!eq)
            continue;
        *eq = '\0';
        char* value = eq + 1;
        size_t len = strlen(value);
        if (len >= 2 && value[0] == '"' && value[len - 1] == '"') {
            value[len - 1] = '\0';
            value++;
        }
        if (!strncmp(word, "INTERFACE", 9)) {
            if (!strcmp(value, "eth0") || !strcmp(value, "eth1")) {
                rec = &st().ipConf[value[3] - '0'];
                logDebug("INTERFACE %s", value);
            }
        } else if (rec && !strncmp(word, "IPADDR", 6)) {
            snprintf(rec->address, sizeof rec->address, "%s", value);
            logDebug("IPADDR %s", rec->address);
        } else if (rec && !strncmp(word, "NETMASK", 7)) {
            snprintf(rec->netmask, sizeof rec->netmask, "%s", value);
            logDebug("NETMASK %s", rec->netmask);
        } else if (rec && !strncmp(word, "GATEWAY", 7)) {
            snprintf(rec->gateway, sizeof rec->gateway, "%s", value);
            logDebug("GW %s", rec->gateway);
        }
    }
    fclose(f);
    return 0;
}

const IpConfRecord* ETHM_GetIpConfRecord(int iface)
{
    return iface == 0 || iface == 1 ? &st().ipConf[iface] : nullptr;
}
