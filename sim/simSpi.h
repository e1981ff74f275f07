// The simulated spidev nodes /dev/spidev0.<cs>.
//
// As the kernel's spidev: the mode, lsb-first, bits-per-word and max-speed
// requests read and write the settings of the chip select (kept in the
// shared device table and recorded in the transaction log), and
// SPI_IOC_MESSAGE(n) runs its transfers on the device model of the chip
// select; read() and write() are one half-duplex transfer each.
#pragma once

class IoDevice;

IoDevice* simSpiNodeDevice(int cs);
