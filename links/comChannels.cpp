// Link channels: opening them, the poll table and its 10 ms turn, and the
// request handler of the IPC channel.
#include "links/comChannels.h"

#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rdsKeys.h"
#include "alarms/logicaTx.h"
#include "audio/uecpReceiver.h"
#include "comtab/comtab.h"
#include "core/base/logs.h"
#include "links/changeOver.h"
#include "links/dcm.h"
#include "links/dipc.h"
#include "links/netlink.h"
#include "links/remoteLtx.h"
#include "links/serialChannels.h"
#include "links/slaveLink.h"
#include "platform/io.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr uint8_t kMaxStringLength = DIPC_TEXT_BYTES;
constexpr ScReadTiming kLinkTiming = {10, 255};

// One opened channel: its descriptor (-1 when closed) and DCM channel
// number (0 when not registered).
struct Channel {
    int fd = -1;
    int channel = 0;
};

struct State {
    pollfd poll[COM_POLL_ENTRIES];
    int ipcChannel = 0; // DCM channel number, 0 when not open
    int ipcFd = 0;
    Channel socket;
    Channel sr1;
    Channel sr3;
    // The UECP port is read by its own thread: its record is atomic.
    std::atomic<int> uecpFd{-1};
    std::atomic<int> uecpChannel{0};
    // Reopens of tx_sr_1_ch (bit 0) and tx_sr_3_ch (bit 2) asked outside the
    // poll loop's thread, done at its next turn.
    std::atomic<uint32_t> pendingReopen{0};
    // Set while the channels are opened at start: a failed open ends the
    // process.
    bool starting = false;
    DipcPacket request;
    DipcPacket reply;

    State()
    {
        for (pollfd& p : poll)
            p = pollfd{-1, 0, 0};
    }
};

State& st()
{
    static State s;
    return s;
}

// The thread that runs the poll loop reads the serial descriptors: only it
// closes and reopens them.
thread_local bool tLinkThread = false;

void fillPollEntry(int channel, int fd)
{
    if (channel < 1 || channel > COM_POLL_ENTRIES)
        return;
    pollfd& p = st().poll[channel - 1];
    p.fd = fd;
    p.events = POLLIN;
    p.revents = 0;
}

// Unused entries hold -1, which poll skips.
void clearPollEntry(int channel)
{
    if (channel < 1 || channel > COM_POLL_ENTRIES)
        return;
    st().poll[channel - 1] = pollfd{-1, 0, 0};
}

bool readable(int channel)
{
    if (channel < 1 || channel > COM_POLL_ENTRIES)
        return false;
    const pollfd& p = st().poll[channel - 1];
    return p.fd >= 0 && (p.revents & POLLIN);
}

int openFailed(const char* what)
{
    logErr("%s", what);
    if (st().starting)
        exit(1);
    return -1;
}

void registerChannel(Channel& c, int fd)
{
    c.fd = fd;
    c.channel = DCM_RegisterChannel(fd, DCM_CH_UART);
    fillPollEntry(c.channel, fd);
}

void closeChannel(Channel& c, const char* name)
{
    if (c.fd < 0)
        return;
    int r = ioClose(c.fd);
    printf("close() on %s returned %d \n", name, r);
    fflush(stdout);
    if (c.channel > 0) {
        DCM_UnregisterChannel(c.channel);
        clearPollEntry(c.channel);
    }
    c = Channel{};
}

void closeUecp()
{
    State& s = st();
    int channel = s.uecpChannel.exchange(0);
    int fd = s.uecpFd.exchange(-1);
    if (fd < 0)
        return;
    int r = ioClose(fd);
    printf("close() on tx_sr_2_ch returned %d \n", r);
    fflush(stdout);
    UECP_ForgetFd();
    if (channel > 0)
        DCM_UnregisterChannel(channel);
}

int openUart(const char* path, int record)
{
    ComPortSettings c = COM_GetPortSettings(record);
    return SC_open_uart(path, c.address, c.masterMode, c.duplexMode, c.baudCode, c.dataBits, c.parity, c.stopBits,
                        c.txRxEnable, c.flowControl, c.timing);
}

bool slaveMode()
{
    uint32_t mode = getExciterMode();
    return mode == 1 || mode == 2;
}

int reopenNow(int which)
{
    COM_CloseSerialChannels(which);
    switch (which) {
    case 0:
        return COM_OpenSerialChannel1();
    case 1:
        return COM_OpenUecpChannel();
    case 2:
        return COM_OpenSerialChannel3();
    default:
        return -1;
    }
}

// The serial side of tx_sr_1_ch: the slave responder, or the replies of the
// external units.
void serveSerial1()
{
    State& s = st();
    uint32_t mode = getExciterMode();
    if (mode == 1) {
        vrlSlaveTick(s.sr1.channel);
        return;
    }
    if (mode == 2 || getAmplifierNumber() == 0)
        return;
    uint8_t slot = 0xFF;
    int r = DCM_RecvReply(s.sr1.channel, &slot);
    if (slot >= 5)
        return;
    if (r == 0)
        UnitSlot_SetConnected(slot);
    else
        UnitSlot_SetDisconnected(slot);
}

} // namespace

void COM_OpenChannels()
{
    State& s = st();
    s.starting = true;
    // The second serial channel has no opener at start: the UECP port is
    // opened by its own setting.
    COM_OpenSerialChannel1();
    COM_OpenSerialChannel3();
    COM_OpenIpcChannel();
    COM_OpenSocketChannel(LogicaTx_GetOwnLinkAddress() == 88 ? 1 : 0);
    s.starting = false;
    DCM_Init();
}

void COM_OpenIpcChannel()
{
    if (st().ipcFd > 0)
        return; // opened once per process
    uint32_t port = static_cast<uint32_t>(getpid()) | COM_IPC_PORT_BIT;
    int fd = init_nl_ch(port, COM_IPC_GROUPS, 1, COM_IPC_PROTOCOL);
    if (fd <= 0) {
        logErr("Cannot open IPC netlink channel");
        exit(1);
    }
    State& s = st();
    s.ipcFd = fd;
    s.ipcChannel = DCM_RegisterChannel(fd, DCM_CH_NETLINK);
    fillPollEntry(s.ipcChannel, fd);
}

int COM_OpenSerialChannel1()
{
    State& s = st();
    closeChannel(s.sr1, "tx_sr_1_ch");
    bool slave = slaveMode();
    ComPortSettings c = {10, slave ? 1u : 0u, 0, 3, 4, 2, 1, slave ? 0u : 1u, 0, kLinkTiming};
    COM_StorePortSettings(0, &c, slave ? 1 : 0);
    int fd = openUart("/dev/ttyS0", 0);
    if (fd < 0)
        return openFailed("Cannot open TX_LOGIC serial channel");
    registerChannel(s.sr1, fd);
    return 0;
}

int COM_OpenSerialChannel3()
{
    if (slaveMode())
        return 9;
    State& s = st();
    closeChannel(s.sr3, "tx_sr_3_ch");
    ComPortSettings c = {0, 1, 1, 6, 4, 2, 1, 0, 0, kLinkTiming};
    COM_StorePortSettings(2, &c, 1);
    int fd = openUart("/dev/ttyS2", 2);
    if (fd < 0)
        return openFailed("Cannot open TX_LOGIC serial channel");
    registerChannel(s.sr3, fd);
    vrlChangeOverInit();
    return 0;
}

int COM_OpenUecpChannel()
{
    if (getUECPInterface() != 1)
        return 9;
    closeUecp();
    int fd = UECP_OpenPort();
    if (fd < 1) {
        printf("\n[COM] #%d (i:%d) UECP  NOT Registered  (fd=%d) \n", 0, 1, fd);
        fflush(stdout);
        return 9;
    }
    State& s = st();
    s.uecpFd.store(fd);
    int channel = DCM_RegisterChannel(fd, DCM_CH_UART);
    if (channel < 1) {
        printf("\n[COM] #%d (i:%d) UECP  NOT Registered  (fd=%d) \n", channel, 1, fd);
        fflush(stdout);
        return 1;
    }
    s.uecpChannel.store(channel);
    printf("\n[COM] #%d (i:%d) UECP      Registered  (fd=%d) \n", channel, 1, fd);
    fflush(stdout);
    return 0;
}

int COM_OpenSocketChannel(int link)
{
    State& s = st();
    int previous = s.socket.channel;
    if (previous > 0) {
        DCM_CloseChannel(previous, s.socket.fd, DCM_CH_UDP);
        clearPollEntry(previous);
    }
    s.socket = Channel{};
    int fd = init_sk_udp_ch(link == 1 ? 6012 : 6011);
    if (fd <= 0)
        return openFailed("Cannot open socket channel");
    remoteLtxSetLetters(link);
    s.socket.fd = fd;
    s.socket.channel = previous > 0 ? DCM_ReRegisterChannel(previous, fd, DCM_CH_UDP)
                                    : DCM_RegisterChannel(fd, DCM_CH_UDP);
    if (s.socket.channel < 0)
        s.socket.channel = DCM_RegisterChannel(fd, DCM_CH_UDP);
    fillPollEntry(s.socket.channel, fd);
    printf("Socket opened on address %s \n", COM_GetUnitAddress(link));
    fflush(stdout);
    return 0;
}

const char* COM_GetUnitAddress(int link)
{
    static const char* const kAddress[9][2] = {
        {"10.0.0.11", "10.0.0.12"}, {"10.0.0.21", "10.0.0.22"}, {"10.0.0.31", "10.0.0.32"},
        {"10.0.0.41", "10.0.0.42"}, {"10.0.0.51", "10.0.0.52"}, {"10.0.0.61", "10.0.0.62"},
        {"10.0.0.71", "10.0.0.72"}, {"10.0.0.81", "10.0.0.82"}, {"10.0.0.91", "10.0.0.92"},
    };
    uint32_t n = getChangeOverSerialAddress();
    return kAddress[n >= 1 && n <= 8 ? n : 0][link == 1 ? 1 : 0];
}

int COM_GetChannelNumber(int which)
{
    State& s = st();
    switch (which) {
    case 0:
        return s.ipcChannel;
    case 1:
        return s.socket.channel;
    case 2:
        return s.sr1.channel;
    case 3:
        return s.uecpChannel.load();
    case 4:
        return s.sr3.channel;
    default:
        return 0;
    }
}

void COM_CloseSerialChannels(int which)
{
    State& s = st();
    if (which == 0)
        closeChannel(s.sr1, "tx_sr_1_ch");
    else if (which == 1)
        closeUecp();
    else if (which == 2)
        closeChannel(s.sr3, "tx_sr_3_ch");
}

int COM_ReopenSerialChannel(int which)
{
    // The UECP port is not read by the poll loop; the other two are, so a
    // reopen asked from another thread waits for the loop's next turn.
    if ((which == 0 || which == 2) && !tLinkThread) {
        st().pendingReopen.fetch_or(1u << which);
        return 0;
    }
    return reopenNow(which);
}

uint32_t COM_PendingReopens()
{
    return st().pendingReopen.load();
}

int COM_GetUecpPollRecord(struct pollfd* record)
{
    State& s = st();
    int channel = s.uecpChannel.load();
    record->fd = s.uecpFd.load();
    record->events = POLLIN;
    record->revents = 0;
    return record->fd >= 0 ? channel : 0;
}

int COM_IpcDescriptor()
{
    return st().ipcFd;
}

void COM_PollChannels()
{
    tLinkThread = true;
    State& s = st();
    uint32_t reopen = s.pendingReopen.exchange(0);
    if (reopen & 1u)
        reopenNow(0);
    if (reopen & 4u)
        reopenNow(2);

    for (pollfd& p : s.poll)
        p.revents = 0;
    int remoteActivity = 0;
    int ready = poll(s.poll, COM_POLL_ENTRIES, 0);
    if (ready > 0) {
        if (readable(s.socket.channel))
            remoteActivity = remoteLtxRecv(s.socket.fd);
        if (readable(s.sr1.channel))
            serveSerial1();
        if (readable(s.ipcChannel) && DIPC_Recv(s.ipcFd, &s.request) == 0)
            IPC_HandleTableRequest(&s.request);
        if (readable(s.sr3.channel))
            vrlChangeOverMsgRecv(s.sr3.fd);
    }
    if (vrlChangeOverTic(s.sr3.channel) == 0 || remoteActivity)
        LogicaTx_StartBackToRemoteTimer(1);
    DCM_ServiceQueue();
}

const pollfd* COM_GetPollTable()
{
    return st().poll;
}

void IPC_HandleTableRequest(DipcPacket* p)
{
    switch (p->type) {
    case DIPC_READ: {
        uint32_t value = 0;
        uint32_t r = COMTAB_RefuseRead(static_cast<int32_t>(p->table), p->element, &value);
        if (r == COMTAB_READ_REFUSED) {
            logErr("READ Operation not allowed\n\n");
            return;
        }
        DipcPacket& out = st().reply;
        out = DipcPacket{};
        out.peerId = p->peerId;
        out.type = DIPC_READ + DIPC_REPLY;
        out.table = p->table;
        out.element = p->element;
        out.value = value;
        DIPC_Send(st().ipcFd, &out);
        return;
    }
    case DIPC_WRITE: {
        uint32_t r = COMTAB_WriteElement(static_cast<int32_t>(p->table), p->element, p->value);
        if (r == COMTAB_READ_REFUSED) {
            logErr("WRITE Operation not allowed\n\n");
            return;
        }
        if (r != COMTAB_OK)
            logDebug("WRITE_REQ: ERRORE %ld\n\n", static_cast<long>(r));
        DipcPacket& out = st().reply;
        out = DipcPacket{};
        out.peerId = p->peerId;
        out.type = DIPC_WRITE + DIPC_REPLY;
        out.table = p->table;
        out.element = p->element;
        out.value = r;
        DIPC_Send(st().ipcFd, &out);
        return;
    }
    case DIPC_READ_TABLE:
        if (COMTAB_RefuseReadTable(static_cast<int32_t>(p->table), p->data, p->dataLength) == COMTAB_READ_REFUSED)
            logErr("READ TABLE Operation not allowed\n\n");
        return;
    case DIPC_WRITE_STRING: {
        uint8_t length = p->length > kMaxStringLength ? kMaxStringLength : p->length;
        uint32_t r = COMTAB_WriteBlock(static_cast<int32_t>(p->table), p->element, p->text, length);
        if (r == COMTAB_READ_REFUSED) {
            logErr("WRITE_STRING Operation not allowed\n\n");
            return;
        }
        if (r != COMTAB_OK)
            logDebug("WRITE_STRING : ERRORE %ld\n\n", static_cast<long>(r));
        DipcPacket& out = st().reply;
        out = DipcPacket{};
        out.peerId = p->peerId;
        out.type = DIPC_WRITE_STRING + DIPC_REPLY;
        out.table = p->table;
        out.element = p->element;
        // The result code fills the length byte and the three after it.
        out.length = static_cast<uint8_t>(r);
        out.text[0] = static_cast<uint8_t>(r >> 8);
        out.text[1] = static_cast<uint8_t>(r >> 16);
        out.text[2] = static_cast<uint8_t>(r >> 24);
        DIPC_Send(st().ipcFd, &out);
        return;
    }
    default:
        return;
    }
}

void COM_ResetChannelsForTest()
{
    State& s = st();
    COM_CloseSerialChannels(0);
    COM_CloseSerialChannels(2);
    for (int ch = 1; ch <= kDcmChannels; ch++)
        DCM_UnregisterChannel(ch);
    for (pollfd& p : s.poll)
        p = pollfd{-1, 0, 0};
    s.ipcChannel = 0;
    s.ipcFd = 0;
    s.socket = Channel{};
    s.pendingReopen.store(0);
    s.starting = false;
}
