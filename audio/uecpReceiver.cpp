// UECP receiver. "UECP Rx Thread" only writes the receive ring; the RDS loop
// only reads it (deframing, CRC, address filter and the message elements),
// so the data set and the RDS configuration are written on the loop's
// thread. Nothing is ever sent back on the line.
#include "audio/uecpReceiver.h"

#include "Config/keys/rdsKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTxConfig.h"
#include "audio/rdsDataSet.h"
#include "audio/rdsSequencer.h"
#include "core/base/logs.h"
#include "core/base/ringBuf.h"
#include "links/serialChannels.h"
#include "platform/clock.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <poll.h>

namespace {

constexpr uint8_t kSta = 0xFE;
constexpr uint8_t kStp = 0xFF;
constexpr uint8_t kEsc = 0xFD;
constexpr int kReadMax = UECP_FRAME_MAX;
constexpr uint32_t kSelectWriteUecp = 0x20000;
constexpr int kAddressSlots = 10;
constexpr uint32_t kTmcMax = 251;

// Serial settings of the port: 8N1, no flow control; reads return at 100
// bytes or 1 s after the last byte.
constexpr uint32_t kDataBits8 = 4;
constexpr uint32_t kParityNone = 1;
constexpr uint32_t kStopBits1 = 1;
constexpr ScReadTiming kTiming{100, 100};

struct State {
    uint8_t storage[UECP_RING_BYTES] = {};
    RingBuf ring{storage, 0, 0, UECP_RING_BYTES, 0, 0};
    std::atomic<int> fd{-1};
    std::atomic<uint32_t> baud{0};
    // The frame being gathered, kept across calls (reading side).
    uint8_t partial[UECP_FRAME_MAX] = {};
    int partialLength = 0;
    bool escaped = false;
    bool dropping = false; // an overlong frame: skip to the next start byte
    std::atomic<int64_t> tmcNs{0};
};

State& st()
{
    static State s;
    return s;
}

void resetDeframer()
{
    State& s = st();
    s.partialLength = 0;
    s.escaped = false;
    s.dropping = false;
}

int activeIndex()
{
    uint32_t dsn = getCurrentRDSDSN();
    return dsn >= 1 && dsn <= 7 ? static_cast<int>(dsn - 1) : 0;
}

// ---- Address filter: slots 1..10 -----------------------------------------------

bool siteAccepted(uint16_t site)
{
    if (site == 0)
        return true;
    if (hasSelectWriteBits(kSelectWriteUecp)) {
        for (uint32_t i = 1; i <= kAddressSlots; i++)
            if (getUECPSiteAddrEna(i) != 0 && getUECPSiteAddr(i) == site)
                return true;
        return false;
    }
    return getUECPSiteAddr(1) == site;
}

bool encoderAccepted(uint8_t encoder)
{
    if (encoder == 0)
        return true;
    if (hasSelectWriteBits(kSelectWriteUecp) && getVendorId() == 1) {
        for (uint32_t i = 1; i <= kAddressSlots; i++)
            if (getUECPEncoderAddrEna(i) != 0 && getUECPEncoderAddr(i) == encoder)
                return true;
        return false;
    }
    return getUECPEncoderAddr(1) == encoder;
}

// ---- Message elements ---------------------------------------------------------------

// An element's bytes: M[at] onwards, `length` of them.
struct Element {
    const UecpFrame* f;
    const uint8_t* m;
    uint32_t length; // data length
    const uint8_t* data;
};

int toDataSet(uint8_t mec, const uint8_t* data, uint32_t length)
{
    return AddMsgToActiveRdsDataSet(mec, data, length) < 0 ? -1 : 0;
}

int applyPi(const Element& e)
{
    uint16_t pi = static_cast<uint16_t>(e.m[3] << 8 | e.m[4]);
    DEBUG_PRINT(DBG_UECP, "%s = 0x%x", e.m[0] == 0x01 ? "PIcode" : "PIN", pi);
    const uint8_t le[2] = {static_cast<uint8_t>(pi), static_cast<uint8_t>(pi >> 8)};
    return toDataSet(e.m[0], le, 2);
}

int applyPs(const Element& e)
{
    const uint8_t* c = e.data;
    DEBUG_PRINT(DBG_UECP, "PS data = %c%c%c%c%c%c%c%c", c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    return toDataSet(0x02, c, 8);
}

int applyFlagByte(const Element& e)
{
    static const uint8_t kMask[8] = {0, 0, 0, 3, 0, 1, 0, 31};
    uint8_t v = e.m[3] & kMask[e.m[0] & 7];
    DEBUG_PRINT(DBG_UECP, "%s = 0x%x", e.m[0] == 0x03 ? "TP_TA" : e.m[0] == 0x05 ? "MS" : "PTY", v);
    return toDataSet(e.m[0], &v, 1);
}

int applyRt(const Element& e)
{
    char text[67] = {};
    uint32_t n = e.length > 1 ? e.length - 1 : 0;
    memcpy(text, e.data + 1, n < 66 ? n : 66);
    DEBUG_PRINT(DBG_UECP, "RT = %s - CTRL 0x%x", text, e.length > 0 ? e.data[0] : 0);
    return toDataSet(0x0A, e.data, e.length);
}

int applyCt(const Element& e)
{
    const uint8_t* d = e.data;
    DEBUG_PRINT(DBG_UECP, "CT_RTC = 20%.2d-%.2d-%.2d:%.2d.%.2d.%.2d.%.3d LocalTimeOff %c%.2d.%.2d h", d[0], d[1], d[2],
                d[3], d[4], d[5], d[6], (d[7] & 0x20) ? '-' : '+', (d[7] & 31) / 2, (d[7] & 1) ? 30 : 0);
    return toDataSet(0x0D, d, 8);
}

int applyAf(const Element& e)
{
    int r = toDataSet(0x13, e.data, e.length);
    DEBUG_PRINT(DBG_UECP, "AF msg!");
    return r;
}

int applyGroupSequence(const Element& e)
{
    DEBUG_PRINT(DBG_UECP, "Group Seq");
    if (toDataSet(0x16, e.data, e.length) < 0)
        return -1;
    uint32_t dsn = e.m[1];
    if (dsn == 0 || dsn == 255)
        dsn = getCurrentRDSDSN();
    if (dsn >= 1 && dsn <= 7) {
        setRdsSequence(dsn - 1, e.data, e.length);
        setRdsSequenceEnable(dsn - 1, 1);
    }
    return 0;
}

int applyVariantCode(const Element& e)
{
    DEBUG_PRINT(DBG_UECP, "Variant Code");
    if (toDataSet(0x1A, e.data, 2) < 0)
        return -1;
    uint32_t variant = (e.m[2] & 0x70u) >> 4;
    uint32_t code = variant == 0 ? e.m[3] : (e.m[2] & 15u) << 8 | e.m[3];
    uint32_t extra = variant == 0 ? e.m[2] & 15u : 0;
    setRdsSequenceParam(static_cast<uint32_t>(activeIndex()), variant, code, extra);
    return 0;
}

int applyActiveDsn(const Element& e)
{
    uint8_t dsn = e.m[1];
    DEBUG_PRINT(DBG_UECP, "Change active DSN to %d", dsn);
    if (dsn >= 1 && dsn <= 7)
        setCurrentRDSDSN(dsn);
    return 0;
}

int applyFreeFormat(const Element& e)
{
    DEBUG_PRINT(DBG_UECP, "FreeFormatGroup - Group 0x%X%c", e.m[1] >> 1, (e.m[1] & 1) ? 'B' : 'A');
    return toDataSet(0x24, e.data, 6);
}

int applyInHouse(const Element& e)
{
    DEBUG_PRINT(DBG_UECP, "IH GroupVer %c", (e.m[1] & 1) ? 'B' : 'A');
    return toDataSet(0x25, e.data, 6);
}

int applyTdc(const Element& e)
{
    DEBUG_PRINT(DBG_UECP, "TDC GroupVer %c", e.length > 0 && (e.data[0] & 1) ? 'B' : 'A');
    return toDataSet(0x26, e.data, e.length);
}

int applyVarCodeList(const Element& e)
{
    DEBUG_PRINT(DBG_UECP, "Variant Code");
    if (toDataSet(0x29, e.data, e.length) < 0)
        return -1;
    setRdsVarCodeSeqGroup(static_cast<uint32_t>(activeIndex()), e.data[0], e.data + 1, e.length - 1);
    return 0;
}

int applyTrafficFlags(const Element& e)
{
    const uint8_t* m = e.m;
    if (m[2] != 15) {
        DEBUG_PRINT(DBG_UECP, "UECP CMD_OP_SPEC unknown!Type 0x%X", m[2]);
        return 0;
    }
    uint8_t dsn = m[3];
    uint8_t ta = m[5] & 15u, tp = (m[5] & 16u) >> 4;
    if (ta >= 2) {
        setTaFromTlc(1);
        DEBUG_PRINT(DBG_UECP, "OP_CUSTOM_TP_TA => TA 0x%x --- Return to TLC", ta);
        return 0;
    }
    setTaFromTlc(0);
    uint8_t flags = static_cast<uint8_t>((ta & 1u) | tp << 1);
    DEBUG_PRINT(DBG_UECP, "OP_CUSTOM_TP_TA = 0x%x", flags);
    bool customTa = getCustomTA() == 1, customTp = getCustomTP() == 1;
    if (customTa && customTp)
        return 0;
    uint32_t index = static_cast<uint32_t>(activeIndex());
    if (dsn != 0 && dsn != 255 && dsn != getCurrentRDSDSN()) {
        if (dsn < 1 || dsn > 7)
            return 0;
        index = dsn - 1u;
    } else if (toDataSet(0x03, &flags, 1) < 0) {
        return -1;
    }
    if (!customTa)
        setTA(index, ta);
    if (!customTp)
        setTP(index, tp);
    return 0;
}

int applyTmc(const Element& e)
{
    DEBUG_PRINT(DBG_UECP, "TMC detected msg (%d bytes)", static_cast<int>(e.length));
    if (toDataSet(0x30, e.data, e.length) < 0)
        return -1;
    stampTmcTime();
    return 0;
}

int applyEcc(const Element& e)
{
    DEBUG_PRINT(DBG_UECP, "ECC_Code = 0x%x", e.m[2]);
    return toDataSet(0x31, &e.m[2], 1);
}

int applyExtGroupSequence(const Element& e)
{
    DEBUG_PRINT(DBG_UECP, "Ext Group Seq");
    if (toDataSet(0x38, e.data, e.length) < 0)
        return -1;
    uint32_t index = static_cast<uint32_t>(activeIndex());
    // Entries (group, n, n codes) up to the element's own length; a last
    // entry that claims more than is left is not applied.
    for (uint32_t at = 0; at + 2 <= e.length;) {
        uint8_t group = e.data[at], n = e.data[at + 1];
        if (at + 2 + n > e.length)
            break;
        setRdsAlterSeqGroup(index, group, e.data + at + 2, n);
        at += 2u + n;
    }
    return 0;
}

int applyOda(const Element& e)
{
    DEBUG_PRINT(DBG_UECP, "ODA-CfgAndShortMsg - AppGroup 0x%X - AID 0x%X%X", e.m[1], e.m[2], e.m[3]);
    return toDataSet(0x40, e.data, 7);
}

int noticeOnly(const Element& e)
{
    static const char* const kNotices[] = {
        "ODA-IdAndGroupSeq",          "ODA-FreeFormatGroup - AppGroup 0x%X - Cfg 0x%X",
        "ODA-MEC_ODA_PRIORITY_GROUP", "ODA-MEC_ODA_BURST_MODE_CTRL",
        "ODA-MEC_ODA_SPIN_WHEEL_CTRL", "ODA-MEC_ODA_DATA_COMMAND",
        "ODA-MEC_ODA_DATA_COMMAND_ACCESS_RIGHT"};
    uint8_t mec = e.m[0];
    if (mec == 0x09)
        DEBUG_PRINT(DBG_UECP, "CT_CLOCK CORRECTION msg!");
    else if (mec == 0x19)
        DEBUG_PRINT(DBG_UECP, "CT_ON_OFF msg!");
    else if (mec == 0x42)
        DEBUG_PRINT(DBG_UECP, "ODA-FreeFormatGroup - AppGroup 0x%X - Cfg 0x%X", e.f->mfl > 1 ? e.m[1] : 0,
                    e.f->mfl > 2 ? e.m[2] : 0);
    else if (mec >= 0x41 && mec <= 0x47)
        DEBUG_PRINT(DBG_UECP, "%s", kNotices[mec - 0x41]);
    return 0;
}

uint32_t noCustom() { return 0; }
uint32_t customTpAndTa() { return getCustomTP() == 1 && getCustomTA() == 1 ? 1 : 0; }

// The message element table. The element's data starts at `dataAt`; its
// length is `fixed`, or read from M[lengthAt] (masked) when lengthAt is not
// 0. An element whose layout needs more bytes than the frame's MFL is
// refused.
struct MecRow {
    uint8_t mec;
    uint8_t dataAt;
    uint8_t fixed;
    uint8_t lengthAt;
    uint8_t lengthMask;
    bool dsnRule;
    uint32_t (*custom)(); // the item is kept local while this gives 1
    int (*apply)(const Element&);
};

constexpr MecRow kMecTable[] = {
    {0x01, 3, 2, 0, 0, true, getCustomPI, applyPi},
    {0x02, 3, 8, 0, 0, true, getCustomPS, applyPs},
    {0x03, 3, 1, 0, 0, true, customTpAndTa, applyFlagByte},
    {0x05, 3, 1, 0, 0, true, getCustomMS, applyFlagByte},
    {0x06, 3, 2, 0, 0, true, getCustomPI, applyPi},
    {0x07, 3, 1, 0, 0, true, getCustomPTY, applyFlagByte},
    {0x09, 1, 0, 0, 0, false, noCustom, noticeOnly},
    {0x0A, 4, 0, 3, 127, true, getCustomRT, applyRt},
    {0x0D, 1, 8, 0, 0, false, noCustom, applyCt},
    {0x13, 4, 0, 3, 255, true, getCustomAF, applyAf},
    {0x16, 3, 0, 2, 255, false, noCustom, applyGroupSequence},
    {0x19, 1, 0, 0, 0, false, noCustom, noticeOnly},
    {0x1A, 2, 2, 0, 0, false, noCustom, applyVariantCode},
    {0x1C, 1, 1, 0, 0, false, noCustom, applyActiveDsn},
    {0x24, 1, 6, 0, 0, false, noCustom, applyFreeFormat},
    {0x25, 1, 6, 0, 0, false, noCustom, applyInHouse},
    {0x26, 2, 0, 1, 255, false, noCustom, applyTdc},
    {0x29, 3, 0, 2, 255, false, noCustom, applyVarCodeList},
    {0x2D, 1, 2, 0, 0, false, noCustom, applyTrafficFlags},
    {0x30, 2, 0, 1, 255, false, noCustom, applyTmc},
    {0x31, 2, 1, 0, 0, true, noCustom, applyEcc},
    {0x38, 3, 0, 2, 255, false, noCustom, applyExtGroupSequence},
    {0x40, 1, 7, 0, 0, false, noCustom, applyOda},
    {0x41, 1, 0, 0, 0, false, noCustom, noticeOnly},
    {0x42, 1, 0, 0, 0, false, noCustom, noticeOnly},
    {0x43, 1, 0, 0, 0, false, noCustom, noticeOnly},
    {0x44, 1, 0, 0, 0, false, noCustom, noticeOnly},
    {0x45, 1, 0, 0, 0, false, noCustom, noticeOnly},
    {0x46, 1, 0, 0, 0, false, noCustom, noticeOnly},
    {0x47, 1, 0, 0, 0, false, noCustom, noticeOnly},
};

const MecRow* mecRow(uint8_t mec)
{
    for (const MecRow& r : kMecTable)
        if (r.mec == mec)
            return &r;
    return nullptr;
}

} // namespace

// ---- Port -----------------------------------------------------------------------------

int UECP_OpenUart()
{
    int fd = SC_open_uart("/dev/ttyS1", 0, 0, 0, st().baud.load(), kDataBits8, kParityNone, kStopBits1, 0, 0,
                          kTiming);
    if (fd < 1) {
        logErr("Cannot open UECP serial channel");
        printf("\n[UECP] Cannot open UECP serial channel ");
        fflush(stdout);
    }
    return fd;
}

int UECP_OpenPort()
{
    st().baud.store(getUECPInterfaceBaudrate());
    int fd = UECP_OpenUart();
    if (fd < 1)
        return -1;
    st().fd.store(fd);
    UECP_SetBaud(getUECPInterfaceBaudrate());
    UECP_InitRxRing();
    resetRdsEncoderData(0);
    return fd;
}

int UECP_SetBaud(uint32_t code)
{
    State& s = st();
    s.baud.store(code);
    int r = SC_set_baud(s.fd.load(), code);
    if (r >= 0)
        UECP_InitRxRing();
    return r;
}

int UECP_GetFd()
{
    return st().fd.load();
}

void UECP_ForgetFd()
{
    st().fd.store(-1);
}

// ---- Receive ring ---------------------------------------------------------------------

void UECP_InitRxRing()
{
    if (!rdsLoopOwnsCall(RDS_REQ_UECP_RING))
        return;
    // Emptied from its reading side, so the port thread's index is never
    // moved under it.
    State& s = st();
    uint8_t scrap[256];
    while (RingBuf_Read(&s.ring, scrap, sizeof scrap) > 0) {
    }
    resetDeframer();
}

const RingBuf* getUecpRxRing()
{
    return &st().ring;
}

void UECP_PollPort()
{
    struct pollfd p = {};
    if (COM_GetUecpPollRecord(&p) < 1)
        return;
    if (poll(&p, 1, 0) <= 0)
        return;
    if ((p.revents & p.events) == 0)
        return;
    UECP_GetCmdMsg(p.fd);
}

int UECP_GetCmdMsg(int fd)
{
    State& s = st();
    uint8_t buf[kReadMax];
    int n = SC_recv_msg(fd, buf, kReadMax, 1);
    if (n < 1) {
        DEBUG_PRINT(DBG_UECP, "UECP_GetCmdMsg() -- SC_recv_msg() error");
        return n;
    }
    if (n > kReadMax || getUECPInterface() != 1)
        return 0;
    DEBUG_PRINT(DBG_UECP, "Read %d bytes from serial port", n);
    uint32_t free = RingBuf_Free(&s.ring);
    if (static_cast<uint32_t>(n) >= free || s.ring.size < free) {
        DEBUG_PRINT(DBG_UECP, "Discard this frame (free_space %d)", static_cast<int>(free));
        return 0;
    }
    DEBUG_PRINT(DBG_UECP, "Write %d bytes to UECP fifo (free_space %d)", n, static_cast<int>(free));
    RingBuf_Write(&s.ring, buf, static_cast<uint32_t>(n));
    if (debugGate(DBG_UECP))
        for (int i = 0; i < n; i++)
            DEBUG_PRINT(DBG_UECP, "%s: raw_buf_fifo[%i]=0x%X", __func__, i, buf[i]);
    return n;
}

// ---- Frames -------------------------------------------------------------------------------

void UECP_AnalyzeCmdMsg(int count)
{
    if (count < 1)
        return;
    DEBUG_PRINT(DBG_UECP, "Total bytes to analyze = %d", count);
    uint8_t frame[UECP_FRAME_MAX];
    uint8_t raw[UECP_FRAME_MAX];
    int length = UECP_DetectFrame(frame, raw, UECP_FRAME_MAX);
    if (length < 0) {
        DEBUG_PRINT(DBG_UECP, "UECP_AnalyzeCmdMsg() -- UECP_DetectFrame() error");
        return;
    }
    if (debugGate(DBG_UECP))
        for (int i = 0; i < length; i++)
            DEBUG_PRINT(DBG_UECP, "%s: buf[%i]=0x%X", __func__, i, frame[i]);
    UecpFrame f;
    if (UECP_FillFrame(&f, frame, length) < 0) {
        DEBUG_PRINT(DBG_UECP, "UECP_AnalyzeCmdMsg() -- UECP_FillFrame() error");
        return;
    }
    if (UECP_ParseMsgElementData(&f) < 0)
        DEBUG_PRINT(DBG_UECP, "UECP_AnalyzeCmdMsg() -- UECP_ParseMsgElementData() error");
}

int UECP_DetectFrame(uint8_t* frame, uint8_t* raw, int limit)
{
    State& s = st();
    bool show = debugGate(DBG_UECP);
    for (int i = 0; i < limit; i++) {
        uint8_t b;
        if (RingBuf_Read(&s.ring, &b, 1) != 1)
            return -1; // the rest of the frame is still on its way
        raw[i] = b;
        if (show)
            DEBUG_PRINT(DBG_UECP, "%s: raw_buf[%i]=0x%X", __func__, i, b);
        if (b == kSta) {
            // A start byte cannot occur inside a stuffed frame: whatever was
            // gathered is a cut frame, and a new one begins.
            s.partial[0] = kSta;
            s.partialLength = 1;
            s.escaped = false;
            s.dropping = false;
            continue;
        }
        if (s.partialLength == 0 || s.dropping)
            continue;
        uint8_t out = b;
        if (s.escaped) {
            // 0xFD 0x00..0x02 stand for 0xFD..0xFF; another byte yields
            // nothing, but a stop byte still ends the frame.
            s.escaped = false;
            if (b <= 2)
                out = static_cast<uint8_t>(kEsc + b);
            else if (b != kStp)
                continue;
        } else if (b == kEsc) {
            s.escaped = true;
            continue;
        }
        if (s.partialLength >= UECP_FRAME_MAX) {
            DEBUG_PRINT(DBG_UECP, "UECP frame longer than %d bytes -- DISCARD", UECP_FRAME_MAX);
            s.partialLength = 0;
            s.dropping = true;
            continue;
        }
        s.partial[s.partialLength++] = out;
        // Only a stop byte on the line ends the frame; an unstuffed 0xFF is
        // data.
        if (b == kStp) {
            int n = s.partialLength;
            memcpy(frame, s.partial, static_cast<size_t>(n));
            s.partialLength = 0;
            return n;
        }
    }
    return -1;
}

int UECP_FillFrame(UecpFrame* f, const uint8_t* buf, int length)
{
    if (length < 8 || buf[0] != kSta)
        return -1;
    f->site = static_cast<uint16_t>(buf[1] * 4 + (buf[2] >> 6));
    f->encoder = buf[2] & 0x3F;
    f->sqc = buf[3];
    f->mfl = buf[4];
    if (f->mfl == 0)
        return -1;
    // The frame must hold exactly the fields MFL announces.
    if (length != f->mfl + 8) {
        DEBUG_PRINT(DBG_UECP, "UECP frame of %d bytes for msg length %d -- DISCARD", length, f->mfl);
        return -1;
    }
    memset(f->msg, 0, sizeof f->msg);
    memcpy(f->msg, buf + 5, f->mfl);
    f->crc = static_cast<uint16_t>(buf[5 + f->mfl] << 8 | buf[6 + f->mfl]);
    f->stop = buf[7 + f->mfl];
    uint16_t crc = UECP_Crc16(buf + 1, 4u + f->mfl);
    if (crc != f->crc) {
        DEBUG_PRINT(DBG_UECP, "UECP Frame CRC = 0x%.4X [computed 0x%.4X] -- DISCARD", f->crc, crc);
        return -1;
    }
    DEBUG_PRINT(DBG_UECP,
                "Found UECP frame with msg length %d -- BytesToAnalyze %d [MEC 0x%X][Site 0x%X][Enc 0x%X]", f->mfl,
                length, f->msg[0], f->site, f->encoder);
    return 0;
}

int UECP_ParseMsgElementData(const UecpFrame* f)
{
    if (!siteAccepted(f->site) || !encoderAccepted(f->encoder)) {
        DEBUG_PRINT(DBG_UECP, "UECP address not accepted [Site 0x%X][Enc 0x%X]", f->site, f->encoder);
        return -1;
    }
    const uint8_t* m = f->msg;
    const MecRow* row = m[0] >= 1 && m[0] < 72 ? mecRow(m[0]) : nullptr;
    if (!row) {
        DEBUG_PRINT(DBG_UECP, "UECP MEC unknown!Type 0x%X", m[0]);
        return 0;
    }
    // The layout: fixed bytes, or the element's own length byte.
    uint32_t length = row->fixed;
    if (row->lengthAt != 0) {
        if (row->lengthAt >= f->mfl) {
            DEBUG_PRINT(DBG_UECP, "UECP MEC 0x%X: element cut at msg length %d", m[0], f->mfl);
            return -1;
        }
        length = m[row->lengthAt] & row->lengthMask;
    }
    if (m[0] == 0x30 && length > kTmcMax) {
        logInfo("TMC detected msg too large! DISCARD!");
        return -1;
    }
    if (m[0] == 0x29 && length == 0) {
        DEBUG_PRINT(DBG_UECP, "UECP MEC 0x29 without codes");
        return -1;
    }
    uint32_t needed = row->dataAt + length;
    if (m[0] == 0x2D && f->mfl > 2 && m[2] == 15)
        needed = 6;
    if (needed > f->mfl) {
        DEBUG_PRINT(DBG_UECP, "UECP MEC 0x%X needs %u bytes, msg length %d", m[0], needed, f->mfl);
        return -1;
    }
    if (row->dsnRule) {
        uint8_t dsn = m[1];
        if (dsn != 0 && dsn != 255 && dsn != getCurrentRDSDSN()) {
            DEBUG_PRINT(DBG_UECP, "UECP MEC 0x%X for DSN %d -- ignored", m[0], dsn);
            return 0;
        }
    }
    if (row->custom() == 1) {
        DEBUG_PRINT(DBG_UECP, "UECP MEC 0x%X set locally -- ignored", m[0]);
        return 0;
    }
    Element e{f, m, length, m + row->dataAt};
    return row->apply(e);
}

uint16_t UECP_Crc16(const uint8_t* bytes, uint32_t count)
{
    uint16_t crc = 0xFFFF;
    for (uint32_t i = 0; i < count; i++) {
        crc = static_cast<uint16_t>(crc >> 8 | crc << 8);
        crc ^= bytes[i];
        crc ^= static_cast<uint16_t>((crc & 0xFF) >> 4);
        crc ^= static_cast<uint16_t>(crc << 12);
        crc ^= static_cast<uint16_t>((crc & 0xFF) << 5);
    }
    return static_cast<uint16_t>(~crc);
}

// ---- TMC time stamp ---------------------------------------------------------------------

void stampTmcTime()
{
    struct timespec t = {};
    clockGetTime(CLOCK_MONOTONIC_RAW, &t);
    st().tmcNs.store(static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec);
}

struct timespec getTmcStamp()
{
    int64_t ns = st().tmcNs.load();
    if (ns == 0) {
        stampTmcTime();
        ns = st().tmcNs.load();
    }
    struct timespec t = {};
    t.tv_sec = static_cast<time_t>(ns / 1000000000);
    t.tv_nsec = static_cast<long>(ns % 1000000000);
    return t;
}
