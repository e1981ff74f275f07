// A simulated external amplifier on a pseudo-terminal.
#include "testing/extAmpPeer.h"

#include "alarms/logicaTx.h"
#include "links/dcm.h"

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

bool ExtAmpPeer::open()
{
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return false;
    struct termios t;
    for (int fd : {master, slave}) {
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &t);
    }
    channel = DCM_RegisterChannel(slave, DCM_CH_UART);
    return channel > 0;
}

void ExtAmpPeer::close()
{
    if (channel > 0)
        DCM_UnregisterChannel(channel);
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
    master = slave = -1;
    channel = 0;
}

std::vector<uint8_t> ExtAmpPeer::sendNext()
{
    std::vector<uint8_t> out;
    if (DCM_PendingCount() == 0 || DCM_SendReq() != 0)
        return out;
    uint8_t buf[kDcmFrameMax];
    struct pollfd p = {master, POLLIN, 0};
    while (poll(&p, 1, 200) > 0) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
        if (out.back() == kDcmEnd)
            break;
    }
    return out;
}

std::vector<std::vector<uint8_t>> ExtAmpPeer::sendAll()
{
    std::vector<std::vector<uint8_t>> frames;
    while (DCM_PendingCount() > 0)
        frames.push_back(sendNext());
    return frames;
}

int ExtAmpPeer::reply(DcmMsg msg)
{
    DcmFrameBuf frame;
    msg.state = DCM_STATE_READY;
    if (DMSG_FromMsgToFrame(&msg, &frame) != 0)
        return -100;
    if (write(master, frame.data, frame.len) != frame.len)
        return -101;
    struct pollfd p = {slave, POLLIN, 0};
    poll(&p, 1, 200);
    uint8_t slot = 0xFF;
    int r = DCM_RecvReply(channel, &slot);
    if (slot < 5) {
        if (r == 0)
            UnitSlot_SetConnected(slot);
        else
            UnitSlot_SetDisconnected(slot);
    }
    return r;
}

namespace {

DcmMsg base(uint8_t address, uint8_t command)
{
    DcmMsg m;
    memset(&m, 0, sizeof m);
    m.addrMode = DCM_ADDR_1BYTE;
    m.address = address;
    m.command = command;
    return m;
}

void setBlock(DcmMsg& m, uint8_t table, uint32_t sizeType, uint8_t count, const std::vector<uint8_t>& data)
{
    m.accessType = DCM_TYPE_READ_BLOCK;
    m.count = count;
    m.block.sizeType = sizeType;
    m.block.table = table;
    m.block.firstElem = 1;
    memcpy(m.block.data, data.data(), data.size() < sizeof m.block.data ? data.size() : sizeof m.block.data);
}

void setStatus(DcmMsg& m, uint8_t s0, uint8_t s1, uint8_t s2)
{
    m.dataLen = 3;
    m.dataBlock[0] = s0;
    m.dataBlock[1] = s1;
    m.dataBlock[2] = s2;
}

} // namespace

DcmMsg extAmpBlockStatusReply(uint8_t address, uint8_t table, uint32_t sizeType, uint8_t count,
                              const std::vector<uint8_t>& data, uint8_t s0, uint8_t s1, uint8_t s2)
{
    DcmMsg m = base(address, 140);
    setBlock(m, table, sizeType, count, data);
    setStatus(m, s0, s1, s2);
    return m;
}

DcmMsg extAmpBlockReply(uint8_t address, uint8_t table, uint32_t sizeType, uint8_t count,
                        const std::vector<uint8_t>& data)
{
    DcmMsg m = base(address, 132);
    setBlock(m, table, sizeType, count, data);
    return m;
}

DcmMsg extAmpStatusReply(uint8_t address, uint8_t s0, uint8_t s1, uint8_t s2)
{
    DcmMsg m = base(address, 137);
    m.accessType = DCM_TYPE_WRITE_LIST;
    m.count = 0;
    setStatus(m, s0, s1, s2);
    return m;
}

DcmMsg extAmpErrorReply(uint8_t address)
{
    DcmMsg m = base(address, 129);
    m.accessType = DCM_TYPE_WRITE_LIST;
    m.count = 1;
    m.list[0] = DcmWriteElem{DCM_SIZE_8, 8, 1, 5};
    return m;
}

DcmMsg extAmpAckReply(uint8_t address)
{
    DcmMsg m = base(address, 131);
    m.accessType = DCM_TYPE_READ_BLOCK;
    m.count = 1;
    m.block.sizeType = DCM_SIZE_8;
    m.block.firstElem = 1;
    return m;
}

std::vector<uint8_t> extAmpIdentity(uint32_t model, uint32_t setPointMhz, uint32_t extSupply, uint32_t supplyV,
                                    uint32_t table9Enable)
{
    const uint32_t words[14] = {12, 34567, model, 88, 108, 1000, 900, supplyV, setPointMhz, extSupply, 0, 0, 0,
                                table9Enable};
    std::vector<uint8_t> out;
    for (uint32_t w : words) {
        out.push_back(static_cast<uint8_t>(w >> 24));
        out.push_back(static_cast<uint8_t>(w >> 16));
        out.push_back(static_cast<uint8_t>(w >> 8));
        out.push_back(static_cast<uint8_t>(w));
    }
    return out;
}
