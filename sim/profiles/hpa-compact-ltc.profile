# The controller board on the compact amplifier with the LTC2451 converter (HPA
# model 3) in the 4U cabinet: the slot-select expander at 0x23 is fitted, its
# supply-fault pin (bit 7) low.
# Select it with CORVANE_BOARD_PROFILE=hpa-compact-ltc.
#
# i2c <bus> <address> <kind> [options]   a device on /dev/i2c-<bus>
# spi <chip select> <kind> [options]     the node /dev/spidev0.<cs> and what hangs on it
# fpga <physical address> <value>        a power-on value of an FPGA window word
# The kinds and their options are described in sim/simModels.h; the plant's
# options and laws in sim/simPlant.h.

# I/O expanders of bus 1. PCA9655: inputs 0-1, outputs 2-3, polarity 4-5,
# configuration 6-7 (register pairs). CAT9534 / PCA9654: input 0, output 1,
# polarity 2, configuration 3. Pins read high (pull-ups) unless pins= says.
# The telecommand lines (0x20 port 0 bits 1-6, 0x26 port 1 bits 0-1, the backplane
# expander's port 0) start inactive (low).
i2c 1 0x20 pca9655 name=PCA9655_IC45 pins=0:0x81
i2c 1 0x21 pca9655 name=PCA9655_IC83
i2c 1 0x22 pca9655 name=PCA9655_IC84
i2c 1 0x23 cat9534 name=EXP_0x23 pins=0:0x7F
i2c 1 0x24 cat9534 name=CAT9534_HPA
i2c 1 0x25 pca9654 name=PCA9654_ALM
i2c 1 0x26 pca9655 name=PCA9655_IC85 pins=1:0xfc
i2c 1 0x27 cat9534 name=CAT9534_IC4_BP

# Fan controller (identification register 0x3D reads 0x70) and board
# temperature sensor (16-bit registers, 25 degrees).
i2c 1 0x2F regfile name=ADT7470 regs=256 ro=0x3d,0x3e init=0x3d:0x70,0x3e:0x41
i2c 1 0x48 regfile name=MAX31725 regs=4 width=2 inc=none init=0:0x1900,2:0x4b00,3:0x5000

# Board EEPROM with the unit identity record (M24LC512: 64 KiB, 128-byte
# pages, 16-bit address). Give a sandbox an identity with tools/unitRecord.
i2c 1 0x51 m24lc512 name=M24LC512_BOARD

# Amplifier side: the RF EEPROM (written by the plant while blank).
i2c 1 0x52 m24lc512 name=M24LC512_RF
i2c 1 0x14 ltc2451 name=LTC2451

# The power shelf: three CP2xxx rectifier modules on PMBus and the shelf
# EEPROM (sim/simCplPsu.h).
i2c 1 0x40 cplpsu name=CPL_0 type=cp2
i2c 1 0x41 cplpsu name=CPL_1 type=cp2
i2c 1 0x42 cplpsu name=CPL_2 type=cp2
i2c 1 0x50 m34d64 name=CPL_EEPROM

# RTC: its address is held by the kernel's RTC driver.
i2c 1 0x68 regfile name=M41T94 regs=20 kernel attrs=sqwfreq

# SPI chip selects of controller 0.
# The amplifier plant answers on the converter of chip select 2 (sim/simPlant.h);
# its RF EEPROM names the three supply slots of the shelf.
spi 2 hpaplant name=AD7476 model=3 nominal=600 psus=3
spi 3 hpadac name=DAC
spi 4 none
spi 5 shift name=AD9789
spi 6 shift name=RF_SYNTH
spi 7 none
spi 16 shift name=DTC
spi 17 shift name=DOWNCONV_SYNTH
spi 24 none
spi 25 shift name=DAC8534

# FPGA: version FM 1.0.0 on hardware type 0xE3; the status reply reports the
# audio and RF PLLs locked, the audio VCXO valid and the frequency reference
# locked.
fpga 0xFF200000 0xE3010000
fpga 0xFF200A00 0x0000001E
