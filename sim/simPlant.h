// The amplifier plant of the simulated board: forward and reflected power,
// temperature, current and supply rails of the fitted HPA model, answered
// through the devices the daemon's drivers read.
//
// Kinds (sim/simModels.cpp):
//   hpaplant  SPI, chip select 2: the AD7476 converter of the amplifier,
//             whose conversions are the plant's count for the multiplexer
//             channel selected on the expanders at 0x24 (and 0x23 for
//             model 5). Its store holds the plant's state, so every process
//             of the sandbox sees the same plant. Options (also knobs of
//             `simctl plant set`):
//               model=0..5     HPA model code (1)
//               nominal=N      nominal power, 0.1 dBm (family 0: NominalPower
//                              of the RF EEPROM); 480 unless given
//               vdet0=N        forward detector count at nominal power (2500)
//               vdet0ref=N     reflected count at the reflected nominal (2500)
//               ambient=C temp=C tau=s rl=dB supply=V
//               fan=run|stop interlock=closed|open
//               noise=N seed=N  detector noise, +-N counts, from the seed
//               power=dBm|off  force the forward power (tests), off: the drive
//               eeprom=a|b|blank|none  the RF EEPROM image written into the
//                              M24LC512 at 0x52 while it is blank (a for
//                              models 0-2 and 5, b for 3 and 4); the
//                              EEPROM's line comes before the plant's
//               psus=1|3       the number of supply slots layout B holds (1)
//   hpadac    SPI, chip select 3: the drive DAC; keeps the last code of each
//             channel command (3-byte frames: command, value high, low).
//   ltc2451   I2C, 0x14: the 16-bit converter of model 3; a read returns
//             the conversion started by the previous read, then converts the
//             channel selected now.
//
// Laws (ours; monotonic, deterministic, noise only from the seed):
//   drive d (0..1): family 0 the attenuator code (logical DAC 0) / 65535;
//     family 1 VAPC (DAC 3) / 65535 x supply / 50 V, the margin pin (DAC 4)
//     moving the supply by -5..+5 %; family 2 VAPC / 65535.
//   forward power: 0 below a dead zone d <= 0.05, then
//     Psat x tanh(3x) / tanh(3), x = (d - 0.05) / 0.95, Psat = nominal + 1 dB.
//     RF exists while the RF-state line (bit 3 of the 0x24 output, inverted
//     for model 4) is on, the last FPGA control frame (if any) has the
//     carrier on (word 4 bit 16), the interlock is closed, the supply is up
//     and no comparator has tripped.
//   reflected = forward - rl.
//   detectors, family 0: count = vdet0 x w(P) / 10000 with
//     w(P) = 10000 x 10^((P - nominal) / 20 dB); the reflected detector of
//     model 0 the same around the reflected nominal (nominal - 15 dB), that
//     of models 1 and 2 falls: w = 10000 - 200 per dB above it. These w are
//     the K1 words of the EEPROM image (0.1 dB steps), K2 words are 10000.
//     Families 1 and 2 (log detectors): count = c0 + (P - nominal) / k with
//     the slopes of the measures (dB per count), c0 = 40000 (model 3), 2500
//     (model 4), 3000 (model 5). Counts are clamped to the converter.
//   temperature: first order toward ambient + Rth x dissipation with time
//     constant tau; dissipation = P (1/0.6 - 1) + 0.5 A x supply; Rth gives
//     +40 °C at nominal power, three times that with the fan stopped.
//     Channel law: family 0 count = 3000 - 20 x T (the TableVTemp words,
//     5 °C steps from -20 °C); models 4 and 5 the voltage whose cubic law
//     of the measures gives T; model 3 the ADT7470 temperatures 0 and 1.
//   current = P / (0.6 x supply) + 0.5 A (the driver's standing current).
//     Family 1: the stage-current channels carry the RF part shared by the
//     final stages (8 in the 4U cabinet, 2 in the 2U one) through sensors
//     of 10 A/V (model 3) or 12.195 A/V (model 4), the driver channel the
//     0.5 A through 1000 / HpaDrvCurrConvFactor A/V (660, 3230). The supply
//     is the highest output of the shelf modules that are on (or the serial
//     module's, 0 while it is off); each module's 0xD0 reply carries the
//     current shared by the modules that are on.
//   comparators: forward count (x16 on 12-bit models) against the code of
//     logical DAC 1, reflected against DAC 2 (model 4: count / 1.515 x 16),
//     tripping above the code (below it for a falling detector), only once
//     the DAC was written; a trip latches until the RF-state line goes off,
//     mutes the RF, asserts AmpliMute (0x26 input 1 bit 0) and sets the
//     model's FWD / REF alarm lines: 0x24 input bits 7 / 6 on models 2 and
//     5, 0x25 input bits 3 / 2 on models 3 and 4.
//   Telecommand inputs: Interlock on 0x20 input 0 bit 0 (1 closed),
//   AmpliVoltage on 0x26 input 1 bit 1 (1 with the supply up). Supply
//   status: model 4 0x25 input bit 5 (1 OK); model 3 0x23 input bits 3-5
//   (1 OK) and bit 7 (1 fault). ADT7470
//   tachometers: RPM = 6000 x PWM duty / 255 (0 with the fan stopped),
//   count = 5400000 / RPM (0xFFFF stopped).
// The plant reads the multiplexer bytes from the output registers of the
// expanders at 0x24 and 0x23 and sets the levels of their input pins.
// The plant moves on when a converter is read: by the time since its last
// move on the platform clock (virtual in tests). A process whose clock reads
// earlier than the last move (another process on another clock) only takes
// the new stamp.
#pragma once

#include "sim/simModels.h"

#include <string>
#include <utility>
#include <vector>

SimModel* simPlantCreate(SimDevice* dev);
SimModel* simHpaDacCreate(SimDevice* dev);
SimModel* simLtc2451Create(SimDevice* dev);

// Whether the attached board has a plant.
bool simPlantPresent();
// The plant's quantities, one (name, value) each, in a fixed order.
std::vector<std::pair<std::string, std::string>> simPlantQuantities();
// Sets a knob; 0, or -1 for an unknown name or a bad value.
int simPlantSet(const std::string& name, const std::string& value);

// The K1 word of the forward (reflected) detector of a family-0 model at a
// power in 0.1 dBm, as written in the EEPROM image: 10000 x the detector
// voltage relative to the one at the nominal (reflected nominal) power.
double simPlantK1Word(uint32_t model, int32_t nominal, bool reflected, double tenthsDbm);
