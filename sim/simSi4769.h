// The SI4769 FM tuner (kind "si4769", I2C bus 0 at 0x60), at the level of
// its command interface: a write is a command byte and its arguments, every
// read returns the status byte (bit 7 CTS, bit 6 ERR, bit 0 STC) followed by
// the response of the last command. A command the chip does not know, with
// the wrong number of arguments, or sent while the chip is powered down
// (anything but POWER_UP and POWER_DOWN) is answered with ERR.
//
// Model values (simctl get/set, peek/poke), by register:
//   0x00        power state (0 down, 1 up)
//   0x01..0x02  tuned frequency in 10 kHz, most significant first
//   0x03        CTS knob: the next N reads answer "busy" (status 0x00)
//   0x04        ERR knob: the next N commands are answered with ERR and
//               not run
//   0x05        ERR knob by command: every command with this code (0: none)
//               is answered with ERR and not run
//   0x06        FM_ACF_STATUS byte 7 (bit 7 ACF flag, bits 6..0 level)
//   0x07        RDS synchronised (0 or 1)
//   0x08..0x09  RDS PI
//   0x0A        last command byte received
//   0x10..0x26  FM_RSQ_STATUS response bytes R1..R23 (R5 offset, R6 RSSI,
//               R7 SNR, R9..R23 as the chip reports them); R3..R4 always
//               read back the tuned frequency
//   0x30..0x48  the pending response (status byte first)
//   0x50..0x53  ZIF_PIN_CFG echo; 0x54..0x55 INTB_PIN_CFG echo
//   0x60..0xDF  property store: 32 entries of number (2 bytes, 0xFFFF
//               free) and value (2 bytes)
//   0xE0..0xE7  PART_INFO response; 0xE8..0xED FUNC_INFO response
// The bus knobs (absent, NACK) of the device table apply as to any device.
#pragma once

struct SimDevice;
class SimModel;

SimModel* simSi4769Create(SimDevice* dev);

// Model-value registers that tests name.
enum : unsigned {
    SI4769_SIM_POWER = 0x00,
    SI4769_SIM_FREQ = 0x01,
    SI4769_SIM_CTS_BUSY = 0x03,
    SI4769_SIM_ERR_NEXT = 0x04,
    SI4769_SIM_ERR_CMD = 0x05,
    SI4769_SIM_ACF = 0x06,
    SI4769_SIM_RDS_SYNC = 0x07,
    SI4769_SIM_PI = 0x08,
    SI4769_SIM_LAST_CMD = 0x0A,
    SI4769_SIM_RSQ = 0x10, // R1 at 0x10, Rn at 0x10 + n - 1
    SI4769_SIM_PROPS = 0x60,
};
