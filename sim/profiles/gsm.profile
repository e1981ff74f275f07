# The controller board without its optional boards, with a GSM modem on the
# serial power module's UART: the scripted AT modem answers on /dev/ttyMAX0
# (a pseudo-terminal; sim/simModem.h). Otherwise as the default board: no
# tunable band-pass filter, no extended telecommand board, no FM receiver or
# down-converter, no amplifier-side devices.
#
# i2c <bus> <address> <kind> [options]   a device on /dev/i2c-<bus>
# spi <chip select> <kind> [options]     the node /dev/spidev0.<cs> and what hangs on it
# fpga <physical address> <value>        a power-on value of an FPGA window word
# The kinds and their options are described in sim/simModels.h.

# I/O expanders of bus 1. PCA9655: inputs 0-1, outputs 2-3, polarity 4-5,
# configuration 6-7 (register pairs). CAT9534 / PCA9654: input 0, output 1,
# polarity 2, configuration 3. Pins read high (pull-ups) unless pins= says.
# The telecommand lines (0x20 port 0 bits 1-6, 0x26 port 1 bits 0-1, the backplane
# expander's port 0) start inactive (low).
i2c 1 0x20 pca9655 name=PCA9655_IC45 pins=0:0x81
i2c 1 0x21 pca9655 name=PCA9655_IC83
i2c 1 0x22 pca9655 name=PCA9655_IC84
i2c 1 0x23 cat9534 name=EXP_0x23
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

# RTC: its address is held by the kernel's RTC driver.
i2c 1 0x68 regfile name=M41T94 regs=20 kernel attrs=sqwfreq

# Optional boards, fitted by the profile "full":
# i2c 1 0x15 pca9654 name=PCA9654_BPF
# i2c 1 0x2D pca9655 name=PCA9655_IC5_BP
# i2c 1 0x2E dcexp name=DOWNCONV_EXP
# i2c 1 0x60 ncd2400m name=NCD2400M
# Amplifier-side EEPROMs: the RF EEPROM and the power-supply module's EEPROM.
# i2c 1 0x52 m24lc512 name=M24LC512_RF
# i2c 1 0x50 m34d64 name=M34D64_PSU

# SPI chip selects of controller 0.
spi 2 shift name=AD7476 reply=0x00,0x00
spi 3 shift name=DAC
spi 4 none
spi 5 ad9789 name=AD9789
# The Normal board's RF synthesizer: a write log.
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

# The GSM modem in place of the serial power module.
uart /dev/ttyMAX0 atmodem
