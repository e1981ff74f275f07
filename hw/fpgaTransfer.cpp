// The FPGA exchange and the status block decode. Most status bits are passed
// on only when two consecutive blocks agree, so one corrupted read never
// toggles an alarm.
#include "hw/fpgaTransfer.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTxConfig.h"
#include "audio/audioMeasures.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "hw/fpgaFrame.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"

#include <cmath>
#include <cstdio>
#include <cstring>

uint8_t FpgaStatusBlock[FPGA_STATUS_BLOCK_BYTES];

namespace {

constexpr int kStatusWords = 10;
constexpr uint8_t kRegionFrame = 1, kRegionStatus = 2, kRegionAesStatus = 9, kRegionResampler = 12;

// Inputs with a presence hold-off.
enum Presence { PRES_LEFT, PRES_RIGHT, PRES_DIGITAL, PRES_AES, PRES_MPX_DIG, PRES_ETH, PRES_COUNT };

struct HoldOff {
    uint16_t started;
    struct timespec stamp;
};

struct TransferState {
    uint8_t previous[FPGA_STATUS_BLOCK_BYTES];
    bool lastExchangeFailed = false;
    HoldOff presence[PRES_COUNT];
    uint16_t outFifoCount = 0;
    uint32_t aesStatus = 0;     // region 9 word, kept when the read fails
    uint32_t resampler[2] = {}; // region 12 words, kept when the read fails
    bool resamplerLogged = false;
    struct timespec resamplerLogStamp = {};
};

TransferState& st()
{
    static TransferState s;
    return s;
}

long absSeconds(const struct timespec& a, const struct timespec& b)
{
    long d = static_cast<long>(a.tv_sec - b.tv_sec);
    return d < 0 ? -d : d;
}

// The status byte map: bits of one byte passed to a setter, debounced on the
// bits of `debounce` (0: on every decode).
struct StatusBit {
    uint8_t byte;
    uint8_t shift;
    uint8_t width;
    uint8_t debounce; // mask of the byte's bits that must agree with the previous block
    bool invert;      // the setter takes the negated bit
    void (*set)(uint32_t v);
};

const StatusBit kStatusMap[] = {
    {0, 7, 1, 0x80, false, [](uint32_t v) { setNoExt19kHzSqWave(v); }},
    {0, 6, 1, 0x40, false, [](uint32_t v) { setNoExt19kHzSinus(v); }},
    {0, 5, 1, 0x20, true, [](uint32_t v) { setTimeRefLocked(v); }},
    {0, 4, 1, 0, false, [](uint32_t v) { setDelMeasOk(v); }},
    {0, 3, 1, 0, false, [](uint32_t v) { setDelMeasBusy(v); }},
    {0, 0, 1, 0, false, [](uint32_t v) { setAudioFilterErr(v); }},
    {0, 1, 1, 0, false, [](uint32_t v) { setRdsFifoStatusB(v); }},
    {0, 2, 1, 0, false, [](uint32_t v) { setRdsFifoStatusC(v); }},
    {1, 7, 1, 0x80, false, [](uint32_t v) { setFmRecvPllLock(static_cast<int32_t>(v)); }},
    {1, 6, 1, 0x40, false, [](uint32_t v) { setAudioInputAlarm(v); }},
    {1, 3, 3, 0x38, false, [](uint32_t v) { setAesEbuAlCode(v); }},
    {1, 2, 1, 0x04, false, [](uint32_t v) { setAesEbuAl(v); }},
    {1, 1, 1, 0x02, false, [](uint32_t v) { setClipperInAction(v); }},
    {2, 7, 1, 0x80, false, [](uint32_t v) { setNoExt10MHz(v); }},
    {2, 6, 1, 0x40, false, [](uint32_t v) { setNoExtPps(v); }},
    {2, 5, 3, 0x20, false, [](uint32_t v) { setFpgaStatusFlag(v); }},
    {2, 4, 1, 0x10, false,
     [](uint32_t v) {
         setFreqRefLocked(static_cast<int32_t>(v));
         setFreqRefLockFlag(v);
     }},
    {2, 3, 1, 0x08, false, [](uint32_t v) { setAudioVcxoValidSt(static_cast<int32_t>(v)); }},
    {2, 2, 1, 0x04, false, [](uint32_t v) { setPllAudioLocked(static_cast<int32_t>(v)); }},
    {2, 1, 1, 0x02, false, [](uint32_t v) { setPllRfLocked(static_cast<int32_t>(v)); }},
    {2, 0, 1, 0, false,
     [](uint32_t v) {
         setRdsFifoAlmostFullFpga(v);
         setRdsFifoFree(getRdsFifoAlmostFullFpga() != 1);
     }},
    {3, 4, 1, 0x10, false, [](uint32_t v) { setFskSignBusy(static_cast<uint8_t>(v)); }},
    {3, 3, 1, 0x08, true, [](uint32_t v) { setOcxo100MhzLocked(static_cast<int32_t>(v)); }},
};

bool agrees(const uint8_t* cur, const uint8_t* prev, int byte, uint8_t mask)
{
    return ((cur[byte] ^ prev[byte]) & mask) == 0;
}

// A lost input falls to 0 once it has stayed lost for more than the hold-off.
void holdOff(Presence which, void (*setPresence)(uint32_t))
{
    HoldOff& h = st().presence[which];
    if (h.started == 0) {
        h.started = 1;
        clockGetTime(CLOCK_MONOTONIC_RAW, &h.stamp);
    }
    if (absSeconds(getMonoTimeNow(), h.stamp) > static_cast<long>(getInputPresAlmDelay()))
        setPresence(0);
}

void present(Presence which, void (*setPresence)(uint32_t))
{
    setPresence(1);
    st().presence[which].started = 0;
}

// Left, right and digital presence: byte 3 bits 0..2, debounced.
void linePresence(const uint8_t* cur, const uint8_t* prev, int bit, Presence which, void (*setPresence)(uint32_t))
{
    if (!agrees(cur, prev, 3, static_cast<uint8_t>(1u << bit)))
        return;
    if (cur[3] >> bit & 1)
        present(which, setPresence);
    else
        holdOff(which, setPresence);
}

uint16_t word16(const uint8_t* b, int hi, int lo)
{
    return static_cast<uint16_t>(b[hi] << 8 | b[lo]);
}

void decodeMeasures(const uint8_t* b, float factor)
{
    setMeasuredMpxLevelRaw(word16(b, 7, 8));
    setMeasuredLeftLevelRaw(word16(b, 10, 11));
    setMeasuredRightLevelRaw(word16(b, 13, 14));
    setMeasuredAuxLevelRaw(word16(b, 16, 17));
    setMeasuredPilotLevelRaw(word16(b, 19, 20));
    setBackupLFreqDevRaw(word16(b, 25, 26));
    setBackupRFreqDevRaw(word16(b, 28, 29));
    setMeasuredFmDeviationRaw(word16(b, 9, 6));
    uint32_t dev = 0;
    if (getInputBackup() != 0) {
        switch (getStandbyInputRoute()) {
        case 22:
        case 23:
        case 26:
        case 27: {
            uint16_t l = getBackupLFreqDevRaw(), r = getBackupRFreqDevRaw();
            dev = (l > r ? l : r) + getMeasuredPilotDeviation();
            break;
        }
        case 24:
        case 28:
            dev = static_cast<uint32_t>(floorf(static_cast<float>(getMeasuredFmDeviation()) * factor + 0.5f));
            break;
        default:
            dev = getBackupLFreqDevRaw();
            break;
        }
    }
    setMeasuredMpxDeviationB(dev);
}

void decodeResampler()
{
    TransferState& s = st();
    fpgaReadWords(s.resampler, 2, 2, kRegionResampler, 0);
    setMpxDigWord1(s.resampler[0] & 0xFFFF);
    setMpxDigWord2(s.resampler[0] >> 17 & 0x7FFF);
    setMpxDigWord3(s.resampler[1] & 0xFFFF);
    setMpxDigByte1(s.resampler[1] >> 16 & 1);
    setMpxDigByte2(s.resampler[1] >> 17 & 1);
    setMpxDigByte3(s.resampler[1] >> 18 & 1);
    if (getMpxDigDebugMsgEna() == 0)
        return;
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    if (s.resamplerLogged && absSeconds(now, s.resamplerLogStamp) <= 19)
        return;
    logInfo("MpxDigRsmp: Correction %s %s with dir %s [Speed=%d, BufLvl=%d, ReqLat=%d]",
            getMpxDigByte1() ? "started" : "", getMpxDigByte3() ? "running" : "not running",
            getMpxDigByte2() ? "faster" : "slower", getMpxDigWord3(), getMpxDigWord1(), getMpxDigWord2());
    s.resamplerLogged = true;
    s.resamplerLogStamp = now;
}

void debugLines(const uint8_t* b)
{
    DEBUG_PRINT(DBG_FPGA, "AudioFilterErr %d\n", static_cast<int>(getAudioFilterErr()));
    DEBUG_PRINT(DBG_FPGA, "FmRecvPllLock %d\n", getFmRecvPllLock());
    DEBUG_PRINT(DBG_FPGA, "AesEbuAl %d\n", static_cast<int>(getAesEbuAl()));
    DEBUG_PRINT(DBG_FPGA, "AesEbuAlCode %d\n", static_cast<int>(getAesEbuAlCode()));
    DEBUG_PRINT(DBG_FPGA, "ClipperInAction %d\n", static_cast<int>(getClipperInAction()));
    DEBUG_PRINT(DBG_FPGA, "OutFifo Alm %d\n", static_cast<int>(getOutFifoAlm()));
    DEBUG_PRINT(DBG_FPGA, "AudioVcxoValidSt %d\n", getAudioVcxoValidSt());
    DEBUG_PRINT(DBG_FPGA, "PllAudioLocked %d\n", getPllAudioLocked());
    DEBUG_PRINT(DBG_FPGA, "PllRfLocked %d\n", getPllRfLocked());
    DEBUG_PRINT(DBG_FPGA, "RdsFifoAlmostFull_Fpga %d\n", static_cast<int>(getRdsFifoAlmostFullFpga()));
    DEBUG_PRINT(DBG_FPGA, "TotAudio_FreqDev_Raw %u [%u Hz]\n", getMeasuredMpxLevelRaw(), getMeasuredMpxDeviation());
    DEBUG_PRINT(DBG_FPGA, "AudioL_FreqDev_Raw %u\n", getMeasuredLeftLevelRaw());
    DEBUG_PRINT(DBG_FPGA, "AudioR_FreqDev_Raw %u\n", getMeasuredRightLevelRaw());
    DEBUG_PRINT(DBG_FPGA, "Aux_FreqDev_Raw %u\n", getMeasuredAuxLevelRaw());
    DEBUG_PRINT(DBG_FPGA, "Pilot_FreqDev_Raw %u\n", getMeasuredPilotLevelRaw());
    DEBUG_PRINT(DBG_FPGA, "BackupL_FreqDev_Raw %u [%u Hz]\n", getBackupLFreqDevRaw(), getBackupLFreqDevHz());
    DEBUG_PRINT(DBG_FPGA, "BackupR_FreqDev_Raw %u [%u Hz]\n", getBackupRFreqDevRaw(), getBackupRFreqDevHz());
    DEBUG_PRINT(DBG_FPGA, "RxMpx_FreqDev_Raw %u [%u Hz]\n", getMeasuredFmDeviationRaw(), getMeasuredFmDeviation());
    DEBUG_PRINT(DBG_FPGA, "RxMpx_FreqDev_SI4769 %d kHz\n", 0);
    DEBUG_PRINT(DBG_FPGA, "DelMeas_Busy %u\n", getDelMeasBusy());
    DEBUG_PRINT(DBG_FPGA, "DelMeas_Ok %u\n", getDelMeasOk());
    DEBUG_PRINT(DBG_FPGA, "DelMeas_Raw %u\n", getDelMeasValue());
    DEBUG_PRINT(DBG_FPGA, "IntegerLevel %u\n", static_cast<unsigned>(b[4] << 8 | b[5]));
    DEBUG_PRINT(DBG_FPGA, "NoExt10MHz %u\n", getNoExt10MHz());
    DEBUG_PRINT(DBG_FPGA, "NoExtPps %u\n", getNoExtPps());
    DEBUG_PRINT(DBG_FPGA, "NoExt19kHzSinus %u\n", getNoExt19kHzSinus());
    DEBUG_PRINT(DBG_FPGA, "NoExt19kHzSqWave %u\n", getNoExt19kHzSqWave());
    DEBUG_PRINT(DBG_FPGA, "FreqRefLocked %d\n", getFreqRefLocked());
    DEBUG_PRINT(DBG_FPGA, "TimeRefLocked %d\n", static_cast<int>(getTimeRefLocked()));
    DEBUG_PRINT(DBG_FPGA, "Ocxo100MhzLocked %d\n", getOcxo100MhzLocked());
    DEBUG_PRINT(DBG_FPGA, "InputLeftLinePres %d\n", static_cast<int>(getInputLeftLinePres()));
    DEBUG_PRINT(DBG_FPGA, "InputRightLinePres %d\n", static_cast<int>(getInputRightLinePres()));
    DEBUG_PRINT(DBG_FPGA, "InputDigitalLinePres %d\n", static_cast<int>(getInputDigitalLinePres()));
    DEBUG_PRINT(DBG_FPGA, "InputMpxDigLinePres %d [AES_Status 0x%X]\n", static_cast<int>(getInputMpxDigLinePres()),
                st().aesStatus);
    DEBUG_PRINT(DBG_FPGA, "InputEthLinePres %d\n", static_cast<int>(getInputEthLinePres()));
    DEBUG_PRINT(DBG_FPGA, "IntegrOut %d\n", static_cast<int>(getIntegrOut()));
    const char* stars = "*****************************************************************\n";
    DEBUG_PRINT(DBG_FPGA, "%s", stars);
    DEBUG_PRINT(DBG_FPGA, "Ocxo100MhzLocked %d\n", getOcxo100MhzLocked());
    DEBUG_PRINT(DBG_FPGA, "%s", stars);
    DEBUG_PRINT(DBG_FPGA,
                "InputCFG: MpxChSrc %d [MpxDigSrc %d, MpxDigIns %d], AuxChSrc %d, AudioType %d, AudioMono %d, "
                "AesEbuSel %d\n",
                static_cast<int>(getMpxChSrc()), static_cast<int>(getMpxDigSrc()), static_cast<int>(getMpxDigIns()),
                static_cast<int>(getAuxChSrc()), static_cast<int>(getAudioType()), static_cast<int>(getAudioMono()),
                static_cast<int>(getAesEbuSel()));
    DEBUG_PRINT(DBG_FPGA,
                "InputMTX-LEVELS: L/MPX=>%s (%d) | R/AUX=>%s (%d) | DIG/AUX=>%s (%d) [Backup: L %d, R %d]\n",
                getMpxChSrc() == 2 ? "MPX" : "L", getMtxLMpxLevel(), getMpxChSrc() == 3 ? "AUX" : "R",
                getMtxRAuxLevel(), getMpxChSrc() == 5 ? "AUX" : "DIG", getMtxDigAuxLevel(), getMtxBackupLLevel(),
                getMtxBackupRLevel());
}

} // namespace

int Fpga_Transfer(uint32_t* frame, uint8_t* status, int)
{
    for (int i = 0; i < FPGA_CONTROL_FRAME_WORDS; i++) {
        uint32_t w = frame[i];
        uint32_t p0 = __builtin_parity(w & 0x3F), p1 = __builtin_parity(w >> 6 & 0x3F),
                 p2 = __builtin_parity(w >> 12 & 0x3F);
        frame[i] = w | p0 << 21 | p1 << 22 | p2 << 23;
    }
    uint32_t rx[kStatusWords] = {};
    if (SemLock(SemAxiFpga, "SemAxiFpga") != 0) {
        // Nothing was exchanged: decoding the cleared buffer would report
        // every input lost and the RDS FIFO free.
        st().lastExchangeFailed = true;
        return -1;
    }
    fpgaWriteWords(frame, FPGA_CONTROL_FRAME_WORDS, 2, kRegionFrame, 0);
    clockSleepUs(5);
    fpgaReadWords(rx, kStatusWords, 2, kRegionStatus, 0);
    SemUnlock(SemAxiFpga, "SemAxiFpga");
    st().lastExchangeFailed = false;
    for (int i = 0; i < kStatusWords; i++) {
        status[3 * i] = static_cast<uint8_t>(rx[i] >> 16);
        status[3 * i + 1] = static_cast<uint8_t>(rx[i] >> 8);
        status[3 * i + 2] = static_cast<uint8_t>(rx[i]);
    }
    if (debugGate(DBG_FPGA)) {
        DEBUG_PRINT(DBG_FPGA, "Data send to FPGA: bit 23 <- 0\n");
        for (int i = 0; i < FPGA_CONTROL_FRAME_WORDS; i++)
            DEBUG_PRINT(DBG_FPGA, "wr_word %d is %.6x\n", i, frame[i]);
        DEBUG_PRINT(DBG_FPGA, "*****************************************************************\n");
        DEBUG_PRINT(DBG_FPGA, "DataRead: bit 23 -> 0\n");
        for (int i = 0; i < kStatusWords; i++)
            DEBUG_PRINT(DBG_FPGA, "rd_word %d is %.2x|%.2x|%.2x\n", i, status[3 * i], status[3 * i + 1],
                        status[3 * i + 2]);
        DEBUG_PRINT(DBG_FPGA, "/////////////////////////////////////////////////////////////////\n");
    }
    return 0;
}

void Fpga_ReadConfig()
{
    TransferState& s = st();
    if (s.lastExchangeFailed)
        return;
    float factor = static_cast<float>(getRelativeFreqDev() * 0.01);
    const uint8_t* b = FpgaStatusBlock;
    const uint8_t* prev = s.previous;

    for (const StatusBit& m : kStatusMap) {
        if (m.debounce && !agrees(b, prev, m.byte, m.debounce))
            continue;
        uint32_t v = b[m.byte] >> m.shift & ((1u << m.width) - 1);
        m.set(m.invert ? !v : v);
    }
    setRfLoopStatusFlag(0);
    setIntegrOut(word16(b, 4, 5));

    // 1. Output FIFO alarm: reads 0 while muted, else follows the FPGA on
    // the 11th agreeing pass.
    if (rfMuteState.load() != 0) {
        setOutFifoAlm(0);
        s.outFifoCount = 0;
    } else if (agrees(b, prev, 1, 0x01)) {
        if (++s.outFifoCount > 10) {
            setOutFifoAlm(b[1] & 1);
            s.outFifoCount = 0;
        }
    }

    // 2. Line presence with hold-off.
    linePresence(b, prev, 0, PRES_LEFT, [](uint32_t v) { setInputLeftLinePres(v); });
    linePresence(b, prev, 1, PRES_RIGHT, [](uint32_t v) { setInputRightLinePres(v); });
    linePresence(b, prev, 2, PRES_DIGITAL, [](uint32_t v) { setInputDigitalLinePres(v); });

    // 3. AES/EBU presence.
    if (getAesEbuAl() != 0)
        holdOff(PRES_AES, [](uint32_t v) { setInputPresWord1(v); });
    else
        present(PRES_AES, [](uint32_t v) { setInputPresWord1(v); });

    // 4. MPX digital presence.
    uint32_t digSrc = getMpxDigSrc();
    if (digSrc == 1 || digSrc == 2) {
        fpgaReadWords(&s.aesStatus, 1, 2, kRegionAesStatus, 0);
        if (s.aesStatus & 2) {
            setAlarmInput(63, 0);
            present(PRES_MPX_DIG, [](uint32_t v) { setInputMpxDigLinePres(v); });
        } else {
            setAlarmInput(63, 1);
            holdOff(PRES_MPX_DIG, [](uint32_t v) { setInputMpxDigLinePres(v); });
        }
    } else {
        setInputMpxDigLinePres(0);
    }

    // 5. Ethernet presence.
    if (digSrc == 0) {
        if (getAlarmInput(62))
            holdOff(PRES_ETH, [](uint32_t v) { setInputEthLinePres(v); });
        else
            present(PRES_ETH, [](uint32_t v) { setInputEthLinePres(v); });
    }

    // 6. Measured levels and the backup path's deviation.
    uint32_t type = getFunctionalType();
    if (type == 11 || (type == 10 && getInputRouteFlag() == 0))
        decodeMeasures(b, factor);

    // 7. Delay measurement.
    setDelMeasValue(static_cast<uint32_t>(b[21]) << 16 | b[22] << 8 | b[23]);

    // 8. MPX digital resampler.
    if (digSrc <= 2)
        decodeResampler();

    // 9. Debug lines.
    if (debugGate(DBG_FPGA))
        debugLines(b);

    // 10. This block is the previous one of the next decode.
    memcpy(s.previous, FpgaStatusBlock, FPGA_STATUS_BLOCK_BYTES);
}

int Fpga_PrintTransfer(const uint32_t* frame, const uint8_t* status)
{
    const char* slashes = "/////////////////////////////////////////////////////////////////";
    printf("%s\n", slashes);
    printf("Data send to FPGA: bit 23 <- 0\n");
    for (int i = 0; i < FPGA_CONTROL_FRAME_WORDS; i++)
        printf("word %d is %.6x\n", i, frame[i]);
    printf("*****************************************************************\n");
    printf("DataRead: bit 23 -> 0\n");
    for (int i = 0; i < 7; i++)
        printf("word %d is %.2x|%.2x|%.2x\n", i, status[3 * i], status[3 * i + 1], status[3 * i + 2]);
    printf("%s\n", slashes);
    return 0;
}

int Fpga_SendFrame(uint8_t mute, uint8_t modulationOff)
{
    bool locked = SemLock(SemAxiFpga, "SemAxiFpga") == 0;
    Fpga_PrepareConfig(mute, modulationOff, 0, 0);
    int r = Fpga_Transfer(FpgaControlFrame, FpgaStatusBlock, 2);
    if (locked)
        SemUnlock(SemAxiFpga, "SemAxiFpga");
    return r;
}
