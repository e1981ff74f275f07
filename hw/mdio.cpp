// MDIO access to the Ethernet switch over the FPGA download device's window.
#include "hw/mdio.h"

#include "platform/io.h"
#include "platform/regs.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>

#define SW_OUT(fmt, ...) printf("[%s] >> " fmt, __func__ __VA_OPT__(, ) __VA_ARGS__)

namespace {

constexpr size_t kWindowSize = 4096;
// Word offsets of the MDIO registers in the window.
constexpr size_t kWriteDataA = 0x800 / 4, kCommandA = 0x804 / 4;
constexpr size_t kWriteDataB = 0x808 / 4, kCommandB = 0x80C / 4;
constexpr size_t kStatus = 0x810 / 4;
constexpr size_t kReadDataA = 0x814 / 4, kReadDataB = 0x818 / 4;
constexpr uint32_t kBusyA = 1u << 0, kBusyB = 1u << 1, kAckA = 1u << 2, kAckB = 1u << 3;
constexpr int kPolls = 1000;
constexpr uint16_t kProbeLast = 1022;
constexpr int kProbeWaitLimit = 101;

struct State {
    int fd = -1;
    volatile uint32_t* base = nullptr;
    int8_t channel = 0;
};

State& st()
{
    static State s;
    return s;
}

volatile uint32_t* reg(size_t word)
{
    return st().base + word;
}

// The window is mapped on the first access; false when it cannot be.
bool mapped()
{
    return st().base || initFlexBusMemoryMap() == 0;
}

bool channelBusy(int8_t ch)
{
    uint8_t ack = 0, busy = 0;
    getMdioStatus(ch, &ack, &busy);
    return busy != 0;
}

// Polls until the channel is not busy: true, or false after kPolls polls.
bool waitNotBusy(int8_t ch)
{
    for (int i = 0; i < kPolls; i++)
        if (!channelBusy(ch))
            return true;
    return false;
}

} // namespace

int initFlexBusMemoryMap()
{
    State& s = st();
    if (s.base)
        return 0;
    s.fd = ioOpen("/dev/dwlfpga", O_RDWR);
    if (s.fd < 0) {
        SW_OUT("can't open flex bus device!\n");
        SW_OUT("Done\n");
        return -1;
    }
    void* p = ioMap(s.fd, kWindowSize, PROT_READ | PROT_WRITE, MAP_SHARED, 0);
    if (!p || p == MAP_FAILED) {
        SW_OUT("can't mmap flex bus device!\n");
        SW_OUT("Done\n");
        ioClose(s.fd);
        s.fd = -1;
        return -1;
    }
    SW_OUT("Mapping registers to flexbus (%p)...\n", p);
    s.base = static_cast<volatile uint32_t*>(p);
    SW_OUT("Done\n");
    return 0;
}

int closeFlexBusMemoryMap()
{
    State& s = st();
    if (!s.base)
        return 0;
    int r = ioUnmap(const_cast<uint32_t*>(s.base), kWindowSize);
    if (r != 0)
        SW_OUT("can't unmap flex bus device!\n");
    ioClose(s.fd);
    s.fd = -1;
    s.base = nullptr;
    return r;
}

void getMdioStatus(int8_t ch, uint8_t* ack, uint8_t* busy)
{
    if (!st().base) {
        *ack = 0;
        *busy = 1;
        return;
    }
    uint32_t v = read32(reg(kStatus));
    *ack = (v & (ch == 0 ? kAckA : kAckB)) ? 1 : 0;
    *busy = (v & (ch == 0 ? kBusyA : kBusyB)) ? 1 : 0;
}

void getMdioReadData(int8_t ch, uint16_t* data)
{
    if (st().base)
        *data = static_cast<uint16_t>(read32(reg(ch == 0 ? kReadDataA : kReadDataB)));
}

void writeMdioChannel(int8_t ch, uint8_t flag, uint8_t op, uint16_t addr, uint16_t data)
{
    if (!st().base)
        return;
    uint16_t command = static_cast<uint16_t>((flag & 1u) << 12 | (op & 3u) << 10 | (addr & 0x3FFu));
    volatile uint32_t* wd = reg(ch == 0 ? kWriteDataA : kWriteDataB);
    volatile uint32_t* cmd = reg(ch == 0 ? kCommandA : kCommandB);
    write32(wd, data);
    write32(cmd, command);
    uint16_t dataBack = static_cast<uint16_t>(read32(wd)), commandBack = static_cast<uint16_t>(read32(cmd));
    if (dataBack != data || commandBack != command) {
        SW_OUT("WRITE ERROR!\n");
        SW_OUT("MDIO bytes CH %c = 0x%04X%04X\n", ch == 0 ? 'A' : 'B', command, data);
    }
}

int mdioWrite(int8_t ch, uint16_t addr, uint16_t data)
{
    if (!mapped() || channelBusy(ch))
        return -1;
    writeMdioChannel(ch, 0, 1, addr, data);
    return waitNotBusy(ch) ? 0 : -1;
}

int mdioRead(int8_t ch, uint16_t addr, uint16_t* data)
{
    if (!mapped() || channelBusy(ch))
        return -1;
    writeMdioChannel(ch, 0, 0, addr, 0);
    if (!waitNotBusy(ch))
        return -1;
    uint8_t ack = 0, busy = 0;
    getMdioStatus(ch, &ack, &busy);
    if (!ack)
        return -1; // no device answered
    getMdioReadData(ch, data);
    return 0;
}

void mdioSelectChannel(int8_t ch)
{
    st().channel = ch;
}

int8_t mdioSelectedChannel()
{
    return st().channel;
}

int mdioWriteSwitchReg(uint16_t addr, uint16_t data)
{
    return mdioWrite(st().channel, addr, data);
}

int mdioReadSwitchReg(uint16_t addr, uint16_t* data)
{
    return mdioRead(st().channel, addr, data);
}

void searchForAcknowledge(int8_t ch)
{
    if (!mapped())
        return;
    volatile uint32_t* cmd = reg(ch == 0 ? kCommandA : kCommandB);
    int polls = 0;
    for (uint16_t addr = 0; addr <= kProbeLast; addr++) {
        // One budget of polls for the whole scan; once spent, each wait
        // gives up at once.
        while (channelBusy(ch)) {
            if (++polls > kProbeWaitLimit) {
                SW_OUT("TIMEOUT\n");
                break;
            }
        }
        write32(cmd, 0x1000u + addr);
        SW_OUT("WriteMdio%c1 %p = 0x%04X\n", ch == 0 ? 'A' : 'B', static_cast<const volatile void*>(cmd),
               static_cast<unsigned>(read32(cmd) & 0xFFFF));
        uint8_t ack = 0, busy = 0;
        getMdioStatus(ch, &ack, &busy);
        if (ack) {
            SW_OUT("********************************************************\n");
            SW_OUT("***************acknowledge received*********************\n");
            SW_OUT("********************************************************\n");
        } else {
            SW_OUT("acknowledge NOT received\n");
        }
    }
}

void testArea(volatile uint32_t* p)
{
    for (int i = 0; i < 16; i++) {
        write32(p, 1u << i);
        SW_OUT("test %p = 0x%04X\n", static_cast<volatile void*>(p), static_cast<unsigned>(read32(p)));
    }
}
