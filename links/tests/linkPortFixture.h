// A unit link's serial channel with its peer on the pseudo-terminal of the
// port, on the virtual clock, and the check of the status bits, for the
// change-over and slave responder tests.
#pragma once

#include "links/comChannels.h"
#include "links/tableResponder.h"
#include "links/tests/linkResponderSupport.h"

#include "Config/eventBitmaps.h"
#include "hw/tests/boardFixture.h"
#include "sim/simSerial.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <span>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

class LinkPortFixture : public BoardFixture {
protected:
    // The peer of `port`; the channel opened by `openChannel`, then found by
    // its communication id `channelId`.
    LinkPortFixture(const char* port, int (*openChannel)(), int channelId)
        : port_(port), openChannel_(openChannel), channelId_(channelId)
    {
    }

    // The channel table opens its IPC socket as well: a network namespace of
    // the test's own, or the test is skipped.
    void SetUp() override
    {
        BoardFixture::SetUp();
        if (unshare(CLONE_NEWNET) != 0)
            GTEST_SKIP() << "no network namespace";
        peer = simSerialOpenPeer(port_);
        ASSERT_GE(peer, 0);
        fcntl(peer, F_SETFL, fcntl(peer, F_GETFL) | O_NONBLOCK);
        configure();
        ASSERT_EQ(openChannel_(), 0);
        channel = COM_GetChannelNumber(channelId_);
        fd = COM_GetPollTable()[channel - 1].fd;
    }
    void TearDown() override
    {
        COM_ResetChannelsForTest();
        if (peer >= 0)
            close(peer);
        BoardFixture::TearDown();
    }

    // The link's settings, made before its channel opens.
    virtual void configure() = 0;

    // The peer writes `frame`; waits (up to a second) until the port holds
    // all of it.
    void peerWrite(const Bytes& frame)
    {
        EXPECT_EQ(write(peer, frame.data(), frame.size()), ssize_t(frame.size()));
        int n = 0;
        for (int i = 0; i < 1000 && n < int(frame.size()); i++) {
            ioctl(fd, FIONREAD, &n);
            if (n < int(frame.size()))
                usleep(1000);
        }
    }

    int peer = -1;
    int channel = 0;
    int fd = -1;
    Bytes last;

private:
    const char* port_;
    int (*openChannel_)();
    int channelId_;
};

// A status bit of a link's table 4: the event, the byte (from 1) and bit it
// lights, and whether the bit shows the event's absence.
struct StatusBitCase {
    uint16_t event;
    int byte;
    int bit;
    bool inverted;
};

// Sets and clears each case's event in turn and checks its bit in table 4 of
// `set`, and the table's element count where `count` is above 0.
inline void expectStatusBits(const TableSet* set, std::span<const StatusBitCase> cases, int count = 0)
{
    uint8_t buf[kTableBufBytes];
    int built = 0;
    for (const StatusBitCase& c : cases) {
        SCOPED_TRACE(c.event);
        for (uint8_t on : {0, 1}) {
            setEventBit(on, c.event);
            ASSERT_EQ(TR_BuildTable(set, 4, &built, buf), 0);
            if (count > 0) {
                EXPECT_EQ(built, count);
            }
            EXPECT_EQ((buf[c.byte - 1] >> c.bit) & 1, on ^ c.inverted);
        }
        setEventBit(0, c.event);
    }
}
