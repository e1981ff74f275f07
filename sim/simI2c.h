// The simulated i2c-dev nodes /dev/i2c-0 and /dev/i2c-1.
//
// As the kernel's i2c-dev: I2C_SLAVE selects the slave of a descriptor (a
// busy address answers EBUSY, I2C_SLAVE_FORCE takes it anyway), read() and
// write() are one message each, I2C_RDWR runs its messages in order with
// repeated starts and stops at the first failure, an address with no device
// NACKs (ENXIO). A removed bus (simctl bus i2c-1 remove) fails opens with
// ENOENT and every request on an open descriptor with ENODEV.
#pragma once

class IoDevice;

IoDevice* simI2cBusDevice(int bus);
