// SPI bus layer.
#include "hw/spiBus.h"

#include "Config/keys/hpaKeys.h"
#include "core/base/logs.h"
#include "platform/io.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <linux/spi/spidev.h>

namespace {

constexpr uint8_t kChipSelects[] = {2, 3, 4, 5, 6, 7, 16, 17, 24, 25};
constexpr int kChipSelectCount = sizeof kChipSelects;

// The settings the converter, RF DAC, synthesizer and down-converter chip
// selects get before every transfer.
constexpr SpiSettings kFixedSettings = {SPI_MODE_1, 0, 8, 2000000};
// The ADC of chip select 2, on the amplifier models that program it.
constexpr SpiSettings kAdcSettings = {SPI_MODE_0, 0, 16, 2000000};

struct SpiBusState {
    // One descriptor per chip select of kChipSelects; 0 = not open. Atomic so
    // two first transfers that meet open the node once.
    std::atomic<int32_t> SpiCsFd[kChipSelectCount] = {};
};

SpiBusState& st()
{
    static SpiBusState s;
    return s;
}

int csIndex(uint32_t cs)
{
    for (int i = 0; i < kChipSelectCount; i++)
        if (kChipSelects[i] == cs)
            return i;
    return -1;
}

// The settings a chip select gets before each transfer; nullptr for none.
const SpiSettings* fixedSettings(uint8_t cs)
{
    switch (cs) {
    case 2: {
        uint32_t model = getHpaModelCode();
        return model == 1 || model == 2 ? &kAdcSettings : nullptr;
    }
    case 3:
    case 5:
    case 6:
    case 17:
    case 25:
        return &kFixedSettings;
    default:
        return nullptr;
    }
}

// Reads the device's settings and writes the chip select's own, whatever it
// held before. `func` names the transfer in the debug lines.
void programSettings(int fd, uint8_t cs, const char* func)
{
    const SpiSettings* fixed = fixedSettings(cs);
    if (!fixed)
        return;
    SpiSettings s = {};
    SPI_GetParams(fd, &s);
    debugPrintf(func, DBG_SPI_CORE, DBG_SPI_CORE,
                "GetParams: CS %u, mode %x, bits_word %d, lsb %x, max_speed_hz %lu\n", cs, s.mode, s.bitsPerWord,
                s.lsbFirst, static_cast<unsigned long>(s.maxSpeedHz));
    s = *fixed;
    SPI_SetParams(fd, &s);
    debugPrintf(func, DBG_SPI_CORE, DBG_SPI_CORE, "SetParams: mode %x, bits_word %d, lsb %x, max_speed_hz %lu\n",
                s.mode, s.bitsPerWord, s.lsbFirst, static_cast<unsigned long>(s.maxSpeedHz));
}

// One SPI_IOC_MESSAGE(1) of 8- or 16-bit words; the speed and delays stay
// 0 so the device's programmed speed applies. A failure is logged.
void transfer(int fd, uint8_t cs, const uint8_t* tx, uint8_t* rx, uint8_t len, bool words16)
{
    struct spi_ioc_transfer x = {};
    x.tx_buf = reinterpret_cast<uintptr_t>(tx);
    x.rx_buf = reinterpret_cast<uintptr_t>(rx);
    x.len = len;
    x.bits_per_word = words16 ? 16 : 8;
    if (ioIoctl(fd, SPI_IOC_MESSAGE(1), &x) >= 1)
        return;
    if (words16)
        logErr("Can't send spi message on CS %d\n", cs);
    else
        logErr("Can't send SPI BYTE Message on CS %d\n", cs);
}

} // namespace

int SPI_Open(uint32_t cs)
{
    int i = csIndex(cs);
    if (i < 0)
        return -1;
    std::atomic<int32_t>& entry = st().SpiCsFd[i];
    int32_t fd = entry.load();
    if (fd != 0)
        return fd;
    char path[32];
    snprintf(path, sizeof path, "%s%u", "/dev/spidev0.", cs);
    int32_t opened = ioOpen(path, O_RDWR);
    int32_t expected = 0;
    if (entry.compare_exchange_strong(expected, opened))
        return opened;
    if (opened >= 0)
        ioClose(opened); // another thread opened it first
    return expected;
}

void SPI_Close(int fd)
{
    if (fd < 0)
        return;
    for (const std::atomic<int32_t>& entry : st().SpiCsFd)
        if (entry.load() == fd)
            return;
    ioClose(fd);
}

int SPI_GetParams(int fd, SpiSettings* settings)
{
    int r = ioIoctl(fd, SPI_IOC_RD_MODE, &settings->mode);
    if (r < 0) {
        logDebug("ERROR SPI rd_mode\n");
        return r;
    }
    r = ioIoctl(fd, SPI_IOC_RD_LSB_FIRST, &settings->lsbFirst);
    if (r < 0) {
        logDebug("ERROR SPI rd_lsb_first\n");
        return r;
    }
    r = ioIoctl(fd, SPI_IOC_RD_BITS_PER_WORD, &settings->bitsPerWord);
    if (r < 0) {
        logDebug("ERROR SPI bits_per_word\n");
        return r;
    }
    r = ioIoctl(fd, SPI_IOC_RD_MAX_SPEED_HZ, &settings->maxSpeedHz);
    if (r < 0)
        logDebug("ERROR SPI max_speed_hz\n");
    return r;
}

int SPI_SetParams(int fd, const SpiSettings* settings)
{
    SpiSettings s = *settings; // the requests take non-const pointers
    int r = ioIoctl(fd, SPI_IOC_WR_MODE, &s.mode);
    if (r < 0) {
        logDebug("ERROR SPI rd_mode\n");
        return r;
    }
    r = ioIoctl(fd, SPI_IOC_WR_LSB_FIRST, &s.lsbFirst);
    if (r < 0) {
        logDebug("ERROR SPI rd_lsb_fist\n");
        return r;
    }
    r = ioIoctl(fd, SPI_IOC_WR_BITS_PER_WORD, &s.bitsPerWord);
    if (r < 0) {
        logDebug("ERROR SPI bits_per_word\n");
        return r;
    }
    r = ioIoctl(fd, SPI_IOC_WR_MAX_SPEED_HZ, &s.maxSpeedHz);
    if (r < 0)
        logDebug("ERROR SPI max_speed_hz\n");
    return r;
}

void SPI_WriteData(const uint8_t* tx, uint8_t len, uint8_t wordMode, uint8_t cs)
{
    int fd = SPI_Open(cs);
    if (fd < 0) {
        logDebug("Can't open SPI device %d\n\n", cs);
        return;
    }
    programSettings(fd, cs, "SPI_WriteData");
    // Only 8- and 16-bit words are sent; another word mode sends nothing.
    if (wordMode <= 1) {
        uint8_t scratch[256]; // what comes in is not kept
        transfer(fd, cs, tx, scratch, len, wordMode == 1);
    }
    SPI_Close(fd);
}

void SPI_WriteReadData(const uint8_t* tx, uint8_t* rx, uint8_t len, uint8_t wordMode, uint8_t cs)
{
    int fd = SPI_Open(cs);
    if (fd < 0) {
        logDebug("can't open SPI device %d\n", cs);
        return;
    }
    programSettings(fd, cs, "SPI_WriteReadData");
    transfer(fd, cs, tx, rx, len, wordMode != 0);
    SPI_Close(fd);
}
