// Factory TCP command server on port 50000: a production or service station
// reads and sets the serial number and the two Ethernet MAC addresses. One
// connection per main-loop turn, never blocking: accept, read the request
// that must already be waiting, answer, close.
#include "links/factoryTcp.h"

#include "Config/keys/networkKeys.h"
#include "Config/keys/unitKeys.h"
#include "core/base/logs.h"
#include "hw/eeprom.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr uint16_t kPort = 50000;
constexpr uint8_t kUnitAddress = 88;
constexpr uint8_t kBroadcast = 0xF0;
constexpr uint8_t kStart = 0xFE, kEscape = 0xFC, kEnd = 0xFD;
constexpr int kReadMax = 8192;
// A read reply is N + 15 data bytes in a frame of 9 more bytes, counted by
// one length byte.
constexpr int kReadCountMax = 255 - 9 - 15;

const uint8_t kPeers[24] = {0x00, 0x64, 0x65, 0x68, 0x69, 0x01, 0x02, 0x03, 0x50, 0x51, 0x52, 0x52,
                            0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F};

// The receive state of one frame receiver: 1 start, 2 and 3 the zero bytes
// of a long frame, 4 address, 5 peer byte, 6 command, 7 data; a short frame
// goes from the start to the address and from the address to the command.
struct ChannelRx {
    int state = 1;
    bool escape = false;
    uint8_t addr = 0, peer = 0, command = 0;
    bool broadcast = false;
    uint8_t stored[FTS_DATA_MAX + 1] = {}; // data then the checksum
    int count = 0;
};

struct FactoryState {
    int listenFd = -1;
    ChannelRx rx;
};

FactoryState& st()
{
    static FactoryState s;
    return s;
}

bool isDelimiter(uint8_t b)
{
    return b == kStart || b == kEscape || b == kEnd;
}

bool isReserved(uint8_t b)
{
    return b >= 0x64 && b <= 0x69;
}

bool isSpecial(uint8_t b)
{
    return isDelimiter(b) || isReserved(b);
}

bool isPeer(uint8_t b)
{
    for (uint8_t p : kPeers)
        if (p == b)
            return true;
    return false;
}

// The frame after the length byte: header bytes, then the data (escaped
// unless `raw`), 0xFC, the checksum and 0xFD. 1, or 0 when it would exceed
// the 255 bytes its length byte counts.
int buildFrame(const uint8_t* header, int headerLen, bool raw, const uint8_t* data, int length, uint8_t* out)
{
    if (length < 0)
        return 0;
    uint8_t* f = out + 1;
    int n = 0;
    for (int i = 0; i < headerLen; i++)
        f[n++] = header[i];
    for (int i = 0; i < length; i++) {
        int need = !raw && isSpecial(data[i]) ? 2 : 1;
        if (n + need + 3 > 255)
            return 0;
        if (need == 2)
            f[n++] = kEscape;
        f[n++] = data[i];
    }
    f[n++] = kEscape;
    unsigned sum = 0;
    for (int i = 0; i < n; i++)
        sum += f[i];
    f[n++] = static_cast<uint8_t>(sum);
    f[n++] = kEnd;
    out[0] = static_cast<uint8_t>(n);
    return 1;
}

void dropFrame(ChannelRx& r)
{
    r.state = 1;
    r.escape = false;
    r.count = 0;
}

void storeByte(ChannelRx& r, uint8_t b)
{
    if (r.count >= static_cast<int>(sizeof r.stored)) {
        dropFrame(r); // more data than any frame of the protocol
        return;
    }
    r.stored[r.count++] = b;
}

// One byte into a frame receiver, long (`longForm`: the request and the
// long-frame channels) or short: 1 when it completed a frame for `unitAddr`
// or 0xF0 with a correct checksum, given in `frame`; else 0.
int recvFrame(ChannelRx& r, uint8_t b, uint8_t unitAddr, bool longForm, FtsFrame* frame)
{
    const int restart = longForm ? 2 : 4;
    auto mismatch = [&] { r.state = b == kStart ? restart : 1; };
    switch (r.state) {
    case 1:
        if (r.escape)
            r.escape = false;
        else if (b == kStart)
            r.state = restart;
        else if (b == kEscape)
            r.escape = true;
        return 0;
    case 2:
    case 3:
        if (b == 0x00)
            r.state++;
        else
            mismatch();
        return 0;
    case 4:
        if (!isDelimiter(b) && (b == unitAddr || b == kBroadcast)) {
            r.addr = b;
            r.broadcast = b == kBroadcast;
            r.peer = 0;
            r.state = longForm ? 5 : 6;
        } else {
            mismatch();
        }
        return 0;
    case 5:
        if (!isDelimiter(b) && isPeer(b)) {
            r.peer = b;
            r.state = 6;
        } else {
            mismatch();
        }
        return 0;
    case 6:
        if (!isSpecial(b) && b != 1) {
            r.command = b;
            r.count = 0;
            r.escape = false;
            r.state = 7;
        } else {
            mismatch();
        }
        return 0;
    default:
        break;
    }

    if (r.escape) {
        r.escape = false;
        storeByte(r, b);
        return 0;
    }
    if (b == kStart) {
        r.state = restart;
        return 0;
    }
    if (b == kEscape) {
        r.escape = true;
        return 0;
    }
    if (b != kEnd) {
        storeByte(r, b);
        if (isSpecial(b))
            r.state = 1;
        return 0;
    }

    // End of frame: the last stored byte is the checksum.
    r.state = 1;
    if (r.count < 1)
        return 0;
    unsigned sum = kStart + r.command + kEscape;
    if (!longForm)
        sum += r.addr;
    else
        sum += r.broadcast ? kBroadcast : r.addr + r.peer;
    int len = r.count - 1;
    for (int i = 0; i < len; i++) {
        sum += r.stored[i];
        if (isSpecial(r.stored[i]))
            sum += kEscape;
    }
    r.count = 0;
    if ((sum & 0xFF) != r.stored[len])
        return 0;
    frame->addr = r.addr;
    frame->peer = r.peer;
    frame->command = r.command;
    frame->broadcast = r.broadcast ? 1 : 0;
    frame->dataLen = len;
    memcpy(frame->data, r.stored, static_cast<size_t>(len));
    return 1;
}

int setNonBlocking(int fd, bool listening)
{
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) {
        logInfo(listening ? "TCP Error - No flags available on listening socket" : "TCP Error - No flags available");
        return -1;
    }
    if (fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        if (listening)
            logInfo("TCP Error (%d) - Cannot set socket to non-blocking listening socket", errno);
        else
            logInfo("TCP Error (%d) - Cannot set socket to non-blocking", errno);
        return -1;
    }
    return 0;
}

void reopenListening()
{
    if (st().listenFd >= 0)
        close(st().listenFd);
    st().listenFd = -1;
    initFactoryTcpSocket();
}

} // namespace

void FTS_ResetReceiver()
{
    st().rx = ChannelRx{};
}

int FTS_RecvByte(uint8_t b, uint8_t unitAddr, uint8_t* peer, uint8_t* command, uint8_t* data, int* dataLen,
                 int* broadcast)
{
    FtsFrame frame;
    if (!recvFrame(st().rx, b, unitAddr, true, &frame))
        return 0;
    *peer = frame.peer;
    *command = frame.command;
    memcpy(data, frame.data, static_cast<size_t>(frame.dataLen));
    *dataLen = frame.dataLen;
    *broadcast = frame.broadcast;
    return 1;
}

int FTS_BuildReply(uint8_t unitAddr, uint8_t peer, uint8_t command, const uint8_t* data, int length, uint8_t* out)
{
    if (command == 1 || length < 0 || length + 9 > 255)
        return 0;
    const uint8_t header[] = {kStart, 0x00, 0x00, unitAddr, peer, command};
    return buildFrame(header, sizeof header, true, data, length, out);
}

int FTS_ExecuteCommand(const uint8_t* request, int reqLen, uint8_t* reply, int* replyLen, uint8_t* command)
{
    if (*command == 4) {
        if (reqLen < 3 || request[0] > kReadCountMax)
            return 0;
        int n = request[0];
        uint8_t table = request[1], element = static_cast<uint8_t>(request[2] >> 2);
        uint8_t item[12] = {};
        int itemLen = 0;
        if (table == 2 && element == 1) {
            getSerialNumber(item);
            itemLen = 12;
        } else if (table == 2 && element == 13) {
            getFrontMacActive(item);
            itemLen = 6;
        } else if (table == 2 && element == 19) {
            getRearMacActive(item);
            itemLen = 6;
        }
        memset(reply, 0, static_cast<size_t>(n + 15));
        reply[0] = request[0];
        reply[1] = request[1];
        reply[2] = request[2];
        for (int i = 0; i < n && i < itemLen; i++)
            reply[3 + i] = item[i];
        *replyLen = n + 15;
        *command = 140;
        return 1;
    }
    if (*command == 3 || *command == 5) {
        // N list elements of (table, element x 4 + size, value byte).
        int n = reqLen >= 1 ? request[0] : 0;
        bool whole = reqLen >= 3 && reqLen >= 1 + 3 * n;
        uint8_t table = reqLen >= 3 ? request[1] : 0, element = reqLen >= 3 ? static_cast<uint8_t>(request[2] >> 2) : 0;
        uint8_t value[12] = {};
        for (int i = 0; whole && i < n && i < 12; i++)
            value[i] = request[3 + 3 * i];
        int status = 1;
        if (whole && table == 2 && element == 1 && n >= 12) {
            setSerialNumber(value);
            status = 0;
        } else if (whole && table == 2 && (element == 13 || element == 19) && n >= 6) {
            if (element == 13) {
                setFrontMacReceivedHead(value);
                setFrontMacReceivedTail(value + 4);
            } else {
                setRearMacReceivedHead(value);
                setRearMacReceivedTail(value + 4);
            }
            commitMacAddresses();
            status = 0;
        }
        if (status == 0)
            EepromHeaderUpdate();
        memset(reply, 0, 14);
        reply[0] = static_cast<uint8_t>(status);
        *replyLen = 14;
        *command = 139;
        return 1;
    }
    return 0;
}

// ---- Frame codecs of the factory protocol on other channels ----------------

namespace {

struct ChannelDetect {
    int state = 1;
    bool escape = false;
};

struct CodecState {
    ChannelRx shortRx[FTS_CHANNELS];
    ChannelRx longRx[FTS_CHANNELS];
    ChannelRx longRxB[FTS_CHANNELS];
    ChannelDetect detect[FTS_CHANNELS];
};

CodecState& codecs()
{
    static CodecState s;
    return s;
}

bool validChannel(int ch)
{
    return ch >= 0 && ch < FTS_CHANNELS;
}

bool refusedHeader(uint8_t addr, uint8_t command)
{
    return isDelimiter(addr) || isSpecial(command) || command == 1;
}

} // namespace

int FTS_BuildShortFrame(uint8_t addr, uint8_t command, const uint8_t* data, int length, uint8_t* out)
{
    if (refusedHeader(addr, command))
        return 0;
    const uint8_t header[] = {kStart, addr, command};
    return buildFrame(header, sizeof header, isReserved(addr), data, length, out);
}

int FTS_BuildFrame(uint8_t addr, uint8_t peer, uint8_t command, const uint8_t* data, int length, uint8_t* out)
{
    if (refusedHeader(addr, command))
        return 0;
    const uint8_t header[] = {kStart, 0x00, 0x00, addr, peer, command};
    return buildFrame(header, sizeof header, isReserved(addr), data, length, out);
}

int FTS_RecvShortFrame(int ch, uint8_t byte, uint8_t unitAddr, FtsFrame* frame)
{
    return validChannel(ch) ? recvFrame(codecs().shortRx[ch], byte, unitAddr, false, frame) : -1;
}

int FTS_RecvFrameOnChannel(int ch, uint8_t byte, uint8_t unitAddr, FtsFrame* frame)
{
    return validChannel(ch) ? recvFrame(codecs().longRx[ch], byte, unitAddr, true, frame) : -1;
}

int FTS_RecvFrameOnChannelB(int ch, uint8_t byte, uint8_t unitAddr, FtsFrame* frame)
{
    return validChannel(ch) ? recvFrame(codecs().longRxB[ch], byte, unitAddr, true, frame) : -1;
}

int FTS_DetectAddress(int ch, uint8_t byte, uint8_t unitAddr)
{
    if (!validChannel(ch))
        return -1;
    ChannelDetect& d = codecs().detect[ch];
    if (d.state == 2) {
        if (!isDelimiter(byte) && (byte == unitAddr || byte == kBroadcast)) {
            d.state = 1;
            return 1;
        }
        d.state = byte == kStart ? 2 : 1;
        d.escape = byte == kEscape;
        return 0;
    }
    if (d.escape)
        d.escape = false;
    else if (byte == kStart)
        d.state = 2;
    else if (byte == kEscape)
        d.escape = true;
    return 0;
}

void FTS_ResetChannels()
{
    codecs() = CodecState{};
}

int initFactoryTcpSocket()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        logErr("TCP Error - Cannot open socket");
        return -1;
    }
    int one = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
        logInfo("TCP Error - Cannot configure socket");
        close(fd);
        return -1;
    }
    if (setNonBlocking(fd, true) != 0) {
        close(fd);
        return -1;
    }
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(kPort);
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&a), sizeof a) != 0) {
        logInfo("TCP Error on binding");
        close(fd);
        return -1;
    }
    if (listen(fd, 20) != 0) {
        logInfo("TCP Error on listening");
        close(fd);
        return -1;
    }
    st().listenFd = fd;
    return 0;
}

void runFactoryTcpServer()
{
    int lfd = st().listenFd;
    if (lfd < 0)
        return;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(lfd, &set);
    struct timeval zero = {0, 0};
    int ready = select(lfd + 1, &set, nullptr, nullptr, &zero);
    if (ready < 0) {
        logInfo("TCP error (%d) while selecting listening socket, re-initializing socket\n\n", errno);
        reopenListening();
        return;
    }
    if (ready == 0)
        return;
    int c = accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) {
        logInfo("TCP error (%d) while accepting connection, re-initializing socket\n\n", errno);
        reopenListening();
        return;
    }
    if (setNonBlocking(c, false) != 0) {
        close(c);
        return;
    }

    static uint8_t buf[kReadMax];
    uint8_t first = 0;
    ssize_t got = recv(c, &first, 1, 0);
    if (got != 1) {
        int e = errno;
        if (got == 0 || e == EAGAIN || e == EWOULDBLOCK) {
            logInfo("TCP Error receiving command: Timeout");
        } else if (e == EINTR) {
            logInfo("TCP Error receiving command: Transfer interrupted");
        } else if (e == EBADF || e == ENOTCONN || e == ECONNREFUSED || e == ENOTSOCK) {
            close(c);
            logInfo("TCP error, re-initializing socket");
            reopenListening();
            return;
        } else {
            logInfo("TCP error receiving command: %d\n\n", e);
        }
        close(c);
        return;
    }
    if (first != kStart) {
        close(c);
        return;
    }
    printf("Ricevuto Eth cmd\n");
    ssize_t n = recv(c, buf, sizeof buf, 0);
    if (n <= 0) {
        close(c);
        return;
    }

    FTS_ResetReceiver();
    uint8_t peer = 0, command = 0;
    static uint8_t data[FTS_DATA_MAX];
    int dataLen = 0, broadcast = 0;
    int complete = FTS_RecvByte(first, kUnitAddress, &peer, &command, data, &dataLen, &broadcast);
    for (ssize_t i = 0; !complete && i < n; i++)
        complete = FTS_RecvByte(buf[i], kUnitAddress, &peer, &command, data, &dataLen, &broadcast);

    uint8_t reply[FTS_REPLY_MAX];
    int valid = 0;
    if (complete && isPeer(peer)) {
        printf("Ricevuto RxResult_uc 1 \n");
        uint8_t replyData[FTS_REPLY_MAX];
        int replyLen = 0;
        uint8_t element = dataLen >= 3 ? static_cast<uint8_t>(data[2] >> 2) : 0;
        uint8_t table = dataLen >= 2 ? data[1] : 0;
        int due = FTS_ExecuteCommand(data, dataLen, replyData, &replyLen, &command);
        if (due && command == 139 && table == 2 && element == 19)
            logInfo("MAC addresses have been updated and processed");
        uint8_t addr = broadcast ? kBroadcast : kUnitAddress;
        printf("TxAddr_uc 0x%X on command 0x%X [NumDataTx_suc 0x%X]\n", addr, command, due ? replyLen : 0);
        if (due && replyLen > 0)
            valid = FTS_BuildReply(addr, peer, command, replyData, replyLen, reply);
    }
    printf("ValidTx_uc %d\n", valid);
    if (valid) {
        size_t total = static_cast<size_t>(reply[0]) + 1;
        if (send(c, reply, total, MSG_NOSIGNAL) != static_cast<ssize_t>(total)) {
            logInfo("Error writing data on TCP channel");
            printf("Error writing data on TCP channel\n");
        }
    }
    close(c);
}
