// Board I/O functions: one table of operations on expander bits, run by one
// routine.
#include "hw/boardIo.h"

#include "Config/keys/hwCodesKeys.h"
#include "core/base/logs.h"
#include "hw/i2cBus.h"
#include "hw/ioExpanders.h"
#include "platform/clock.h"

namespace {

enum BoardIoOp {
    OP_AES_EBU_RDS_SEL,
    OP_AUDIO_LEFT_TERM,
    OP_AUDIO_RIGHT_TERM,
    OP_AUDIO_RDS_TERM,
    OP_AUDIO_CAN_TERM,
    OP_TS_AES_EBU_SEL,
    OP_UART1_SEL,
    OP_PPS_TERM,
    OP_DUPLEX_UART0,
    OP_DUPLEX_UART2,
    OP_MASTER_UART0,
    OP_DAC_NOT_RESET,
    OP_DAC_MODE,
    OP_MATRIX_CONFIG,
    OP_MATRIX,
    OP_MPX_TERM_BP,
    OP_MPX_TERM_IC85,
    OP_LED_CFG,
    OP_LED_BLINK_CFG,
    OP_ALM_PULSE,
    OP_HPA5_PULSE,
    OP_HPA_PULSE,
    OP_HPA_PULSE_DELAYED,
    OP_PRIM_PWR_PRES,
    OP_BATT_CHG_STAT,
    OP_BATTERY_CIRCUIT,
    OP_COUNT
};

enum Rule {
    SET_IF_NONZERO,   // read, bits set when the argument is not 0, else cleared, write
    CLEAR_IF_NONZERO, // read, bits cleared when the argument is not 0, else set, write
    SET_IF_ONE,       // read, bits set when the argument is 1, else cleared, write
    FIELD,            // read, bits replaced by the argument's, write
    WHOLE,            // write the argument, no read
    PULSE,            // write `first`; when that succeeded, write `second`
    PULSE_BITS,       // read; set `first`, write; when that succeeded, clear `second`, write
    READ_BITS,        // read; the masked bits shifted down by `shift`
};

enum Reader { PCA, CAT };

struct BoardIoRow {
    BoardIoOp op;
    uint8_t address;
    uint8_t reg;
    uint8_t mask;
    Rule rule;
    Reader reader;
    uint8_t first;
    uint8_t second;
    uint8_t shift;
    uint32_t waitUs; // between the two writes of a pulse
    const char* writeFail;
    const char* readFail;
};

constexpr uint8_t IC84 = EXP_PCA9655_IC84, IC85 = EXP_PCA9655_IC85, BP = EXP_CAT9534_IC4_BP;
constexpr uint8_t OUT0 = PCA9655_OUT0, OUT1 = PCA9655_OUT1, IN1 = PCA9655_IN1;

constexpr BoardIoRow kBoardIo[OP_COUNT] = {
    {OP_AES_EBU_RDS_SEL, IC84, OUT0, 0x01, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting P0_OUT [AesEbuRdsSel] - PCA9655_IC84", "FAIL Reading P0_OUT configuration - PCA9655_IC84"},
    {OP_AUDIO_LEFT_TERM, IC84, OUT0, 0x02, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting P0_OUT [AudioLeftTerm] - PCA9655_IC84", "FAIL Reading P0_OUT - PCA9655_IC84"},
    {OP_AUDIO_RIGHT_TERM, IC84, OUT0, 0x04, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting P0_OUT [AudioRightTerm] - PCA9655_IC84", "FAIL Reading P0_OUT - PCA9655_IC84"},
    {OP_AUDIO_RDS_TERM, IC84, OUT0, 0x08, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting P0_OUT [AudioRdsTerm] - PCA9655_IC84", "FAIL Reading P0_OUT - PCA9655_IC84"},
    {OP_AUDIO_CAN_TERM, IC84, OUT0, 0x10, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting P0_OUT [AudioCanTerm] - PCA9655_IC84", "FAIL Reading P0_OUT - PCA9655_IC84"},
    {OP_TS_AES_EBU_SEL, IC84, OUT1, 0x20, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting P1_OUT [TsAesEbuSel] - PCA9655_IC84", "FAIL Reading P1_OUT - PCA9655_IC84"},
    {OP_UART1_SEL, IC84, OUT1, 0x08, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL setting uart1 sel configuration - PCA9655_IC84", "FAIL reading uart1 sel configuration - PCA9655_IC84"},
    {OP_PPS_TERM, IC84, OUT1, 0x80, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting P1_OUT [PpsTerm] - PCA9655_IC84", "FAIL Reading P1_OUT - PCA9655_IC84"},
    {OP_DUPLEX_UART0, IC84, OUT1, 0x01, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting DuplexModeUart0 - PCA9655_IC84", "FAIL Reading P1_OUT - PCA9655_IC84"},
    {OP_DUPLEX_UART2, IC84, OUT1, 0x02, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL setting DuplexModeUart2 - PCA9655_IC84", "FAIL Reading P1_OUT - PCA9655_IC84"},
    {OP_MASTER_UART0, IC84, OUT1, 0x04, CLEAR_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL setting MasterModeUart0 - PCA9655_IC84", "FAIL Reading P1_OUT - PCA9655_IC84"},
    {OP_DAC_NOT_RESET, IC85, OUT0, 0x04, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting P0_OUT [DacAudioNotReset] - PCA9655_IC85", "FAIL Reading P0_OUT - PCA9655_IC85"},
    {OP_DAC_MODE, IC85, OUT0, 0x08, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting P0_OUT [DacAudioMode] - PCA9655_IC85", "FAIL Reading P0_OUT - PCA9655_IC85"},
    {OP_MATRIX_CONFIG, BP, CAT9534_OUT, 0x10, SET_IF_ONE, CAT, 0, 0, 0, 0,
     "FAIL setting configuration - CAT9534_IC4_BP", "FAIL reading configuration - CAT9534_IC4_BP"},
    {OP_MATRIX, BP, CAT9534_OUT, 0x07, FIELD, CAT, 0, 0, 0, 0,
     "FAIL setting matrix configuration - CAT9534_IC4_BP", "FAIL reading matrix configuration - CAT9534_IC4_BP"},
    {OP_MPX_TERM_BP, BP, CAT9534_OUT, 0x20, SET_IF_NONZERO, CAT, 0, 0, 0, 0,
     "FAIL setting matrix configuration - CAT9534_IC4_BP", "FAIL reading matrix configuration - CAT9534_IC4_BP"},
    {OP_MPX_TERM_IC85, IC85, OUT0, 0x40, SET_IF_NONZERO, PCA, 0, 0, 0, 0,
     "FAIL Setting P0_OUT [MpxDigTerm] - PCA9655_IC85", "FAIL Reading P0_OUT - PCA9655_IC85"},
    {OP_LED_CFG, EXP_PCA9655_IC83, OUT0, 0xFF, WHOLE, PCA, 0, 0, 0, 0, "FAIL setting LedCfg - PCA9655_IC83", nullptr},
    {OP_LED_BLINK_CFG, EXP_PCA9655_IC83, OUT1, 0xFF, WHOLE, PCA, 0, 0, 0, 0,
     "FAIL setting LedBlinkCfg - PCA9655_IC83", nullptr},
    {OP_ALM_PULSE, EXP_PCA9654_ALM, CAT9534_OUT, 0xFF, PULSE, CAT, 0x03, 0x01, 0, 0,
     "FAIL setting hpa alm output - PCA9654_ALM", nullptr},
    {OP_HPA5_PULSE, EXP_PCA9654_ALM, CAT9534_OUT, 0xFF, PULSE, CAT, 0x03, 0x01, 0, 0,
     "FAIL setting hpa alm output - PCA9654_HPA5_IC11", nullptr},
    {OP_HPA_PULSE, EXP_CAT9534_HPA, CAT9534_OUT, 0xFF, PULSE_BITS, PCA, 0x24, 0x04, 0, 0,
     "FAIL setting hpa alm output - CAT9534_HPA", "FAIL reading hpa alm output - CAT9534_HPA"},
    {OP_HPA_PULSE_DELAYED, EXP_CAT9534_HPA, CAT9534_OUT, 0xFF, PULSE_BITS, PCA, 0x24, 0x04, 0, 100,
     "FAIL setting hpa alm output - CAT9534_HPA", "FAIL reading hpa alm output - CAT9534_HPA"},
    {OP_PRIM_PWR_PRES, IC85, IN1, 0x08, READ_BITS, PCA, 0, 0, 3, 0, nullptr,
     "FAIL Reading PrimPwrPres - PCA9655_IC85"},
    {OP_BATT_CHG_STAT, IC85, IN1, 0x04, READ_BITS, PCA, 0, 0, 2, 0, nullptr,
     "FAIL Reading BATT_CHG_STAT - PCA9655_IC85"},
    {OP_BATTERY_CIRCUIT, IC85, IN1, 0x0C, READ_BITS, PCA, 0, 0, 0, 0, nullptr,
     "FAIL Reading BatteryCircuitStatus - PCA9655_IC85"},
};

consteval bool rowsInOrder()
{
    for (int i = 0; i < OP_COUNT; i++)
        if (kBoardIo[i].op != i)
            return false;
    return true;
}
static_assert(rowsInOrder(), "the board I/O rows are listed in the order of their operations");

int readHeld(const BoardIoRow& row, uint8_t* v)
{
    int r = row.reader == CAT ? ioExpReadHeld(v, row.reg, row.address) : pca9655ReadHeld(v, row.reg, row.address);
    return r < 0 ? r : 0;
}

int writeHeld(const BoardIoRow& row, uint8_t v)
{
    int r = ioExpWriteHeld(v, row.reg, row.address);
    if (r != 0)
        logErr("%s", row.writeFail);
    return r;
}

// The steps of a row under one hold of the bus-1 lock.
int runHeld(const BoardIoRow& row, int32_t arg, uint8_t* out)
{
    uint8_t v = 0;
    if (row.rule == WHOLE)
        return writeHeld(row, static_cast<uint8_t>(arg));
    if (row.rule == PULSE) {
        int r = writeHeld(row, row.first);
        return r != 0 ? r : writeHeld(row, row.second);
    }
    int r = readHeld(row, &v);
    if (r < 0) {
        logErr("%s", row.readFail);
        return r;
    }
    switch (row.rule) {
    case SET_IF_NONZERO: v = arg != 0 ? (v | row.mask) : (v & ~row.mask); break;
    case CLEAR_IF_NONZERO: v = arg != 0 ? (v & ~row.mask) : (v | row.mask); break;
    case SET_IF_ONE: v = arg == 1 ? (v | row.mask) : (v & ~row.mask); break;
    case FIELD: v = static_cast<uint8_t>((v & ~row.mask) | (arg & row.mask)); break;
    case PULSE_BITS:
        v |= row.first;
        if ((r = writeHeld(row, v)) != 0)
            return r;
        if (row.waitUs)
            clockSleepUs(row.waitUs);
        return writeHeld(row, static_cast<uint8_t>(v & ~row.second));
    case READ_BITS: *out = static_cast<uint8_t>((v & row.mask) >> row.shift); return 0;
    default: break;
    }
    return writeHeld(row, v);
}

int boardIoRun(BoardIoOp op, int32_t arg, uint8_t* out = nullptr)
{
    const BoardIoRow& row = kBoardIo[op];
    i2cBusLock(1, row.address);
    int r = runHeld(row, arg, out);
    i2cBusUnlock(1, row.address);
    return r;
}

} // namespace

int setAesEbuRdsSel(int32_t on) { return boardIoRun(OP_AES_EBU_RDS_SEL, on); }
int setAudioLeftTerm(int32_t on) { return boardIoRun(OP_AUDIO_LEFT_TERM, on); }
int setAudioRightTerm(int32_t on) { return boardIoRun(OP_AUDIO_RIGHT_TERM, on); }
int setAudioRdsTerm(int32_t on) { return boardIoRun(OP_AUDIO_RDS_TERM, on); }
int setAudioCanTerm(int32_t on) { return boardIoRun(OP_AUDIO_CAN_TERM, on); }
int setTsAesEbuSel(int32_t on) { return boardIoRun(OP_TS_AES_EBU_SEL, on); }
int setUart1SelHw(int32_t sel) { return boardIoRun(OP_UART1_SEL, sel); }
int setPpsTerm(int32_t on) { return boardIoRun(OP_PPS_TERM, on); }
int setDuplexModeUart0(int32_t half) { return boardIoRun(OP_DUPLEX_UART0, half); }
int setDuplexModeUart2(int32_t half) { return boardIoRun(OP_DUPLEX_UART2, half); }
int setMasterModeUart0(int32_t slave) { return boardIoRun(OP_MASTER_UART0, slave); }
int setDacAudioNotReset(uint8_t on) { return boardIoRun(OP_DAC_NOT_RESET, on); }
int setDacAudioMode(uint32_t on) { return boardIoRun(OP_DAC_MODE, on != 0); }
int configOutputMatrixHw(int32_t cfg) { return boardIoRun(OP_MATRIX_CONFIG, cfg); }
int writeOutputMatrixHw(int32_t mtx) { return boardIoRun(OP_MATRIX, mtx); }

int setMpxDigTerm(int32_t on)
{
    switch (getMpxoAes3Flag()) {
    case 0: return boardIoRun(OP_MPX_TERM_BP, on);
    case 1: return boardIoRun(OP_MPX_TERM_IC85, on);
    default: return 0;
    }
}

int applyLedCfg(uint32_t cfg)
{
    int r = boardIoRun(OP_LED_CFG, static_cast<int32_t>(cfg & 0xFF));
    DEBUG_PRINT(DBG_LED_TLS, "%s: apply OUT_P0 cfg 0x%X\n", "applyLedCfg", cfg);
    return r;
}

int applyLedBlinkCfg(uint32_t cfg) { return boardIoRun(OP_LED_BLINK_CFG, static_cast<int32_t>(cfg & 0xFF)); }

int setHpaAlarmOutAlm() { return boardIoRun(OP_ALM_PULSE, 0); }
int setHpaAlarmOutHpa5() { return boardIoRun(OP_HPA5_PULSE, 0); }
int setHpaAlarmOutHpa() { return boardIoRun(OP_HPA_PULSE, 0); }
int setHpaAlarmOutHpaDelayed() { return boardIoRun(OP_HPA_PULSE_DELAYED, 0); }

int readPrimPwrPres(uint8_t* out) { return boardIoRun(OP_PRIM_PWR_PRES, 0, out) < 0 ? -1 : 0; }
int readBattChgStat(uint8_t* out) { return boardIoRun(OP_BATT_CHG_STAT, 0, out) < 0 ? -1 : 0; }
int readBatteryCircuitStatus(uint8_t* out) { return boardIoRun(OP_BATTERY_CIRCUIT, 0, out) < 0 ? -1 : 0; }
