// The audio routing model: what each input configuration code puts on the
// routing words, the output-matrix words and the watched inputs. Pure
// functions over generated tables; no state.
#pragma once

#include <cstdint>

// Input configuration codes 0..62; 63 is "disabled".
constexpr uint32_t INPUT_CFG_COUNT = 63;
constexpr uint32_t INPUT_CFG_DISABLED = 63;
// "input_backup" values 0..13 (0: no backup).
constexpr uint32_t BACKUP_INPUT_COUNT = 14;

// The routing vector: MpxChSrc, AuxChSrc, AesEbuSel, AudioType, AudioMono,
// RightInputOff, MpxDigSrc, MpxDigIns.
enum RoutingWord {
    ROUTE_MPX_CH_SRC,
    ROUTE_AUX_CH_SRC,
    ROUTE_AES_EBU_SEL,
    ROUTE_AUDIO_TYPE,
    ROUTE_AUDIO_MONO,
    ROUTE_RIGHT_INPUT_OFF,
    ROUTE_MPX_DIG_SRC,
    ROUTE_MPX_DIG_INS,
    ROUTE_WORDS
};
// The matrix vector: the L/MPX, R/AUX and DIG/AUX bits and the expander's
// port-configuration byte.
enum MatrixWord { MATRIX_L_MPX, MATRIX_R_AUX, MATRIX_DIG_AUX, MATRIX_PORT_CFG, MATRIX_WORDS };
// The enable vector: one flag per input.
enum InputFlag { INPUT_L_MPX, INPUT_R_AUX, INPUT_DIG_AUX_MPX2, INPUT_MPXO_AES, INPUT_MPXO_IP, INPUT_MPXO_RX, INPUT_FLAGS };

// Writes the words the code sets into `routing` and `matrix`; the others keep
// their values. MpxDigIns is always written (0 for codes without a row).
void getInputRoutingMap(uint32_t code, uint32_t routing[ROUTE_WORDS], uint32_t matrix[MATRIX_WORDS]);
// The input configuration code of a backup input (0..13) under the backup
// RDS mode (0 none, 1 internal, 2 external); 63 for any other input.
uint32_t getInputMatrixCode(uint32_t backupInput, uint32_t backupRds);
// Writes the six enable flags of the code; a code without a row watches L_Mpx
// alone; codes 34 and 36 leave the flags as they are.
void getMatrixEnableVector(uint32_t code, uint32_t flags[INPUT_FLAGS]);
// 0 when L_Mpx is watched, else 1 for R_Aux, 2 for the digital input, 3 for
// MPX over IP or over AES/EBU, else 0.
uint32_t getMatrixSelector(const uint32_t flags[INPUT_FLAGS]);
// 1 for the stereo AES/EBU digital audio codes 23, 27 and 31, else 0.
uint32_t isSpecialInputCode(uint32_t code);
// The display name of a code (a 100-byte row); "Disabled" for 63 and above.
const char* getInputCfgName(uint32_t code);
