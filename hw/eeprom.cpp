// The unit identity record on the board EEPROM.
#include "hw/eeprom.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/unitKeys.h"
#include "core/base/crc32.h"
#include "core/base/logs.h"
#include "core/base/utils.h"
#include "hw/eepromDevices.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct EepromState {
    // Set when the header read met a bus error; saves then write nothing.
    std::atomic<uint8_t> EepromHeaderFault{0};
    // Saves come from setters of several threads.
    std::mutex saveLock;
};

EepromState& st()
{
    static EepromState s;
    return s;
}

} // namespace

uint32_t unitInfoCrc(const uint8_t* record)
{
    uint32_t crc = 0, len = UNIT_INFO_CRC_OFFSET;
    computeCrc32(&crc, record, &len);
    return crc;
}

int EepromHeaderRead(uint8_t* buf)
{
    // The dummy read only wakes the device; its outcome does not count.
    uint8_t dummy[4];
    M24LC512_ReadBytes(dummy, 0, sizeof dummy, EEPROM_BOARD_ADDRESS);
    if (M24LC512_ReadBytes(buf, 0, UNIT_INFO_BYTES, EEPROM_BOARD_ADDRESS) != 0) {
        st().EepromHeaderFault.store(1);
        logErr("EEPROM header I2C I/O error");
        return -1;
    }
    uint32_t computed = unitInfoCrc(buf);
    uint32_t stored = getU32BE(buf + UNIT_INFO_CRC_OFFSET);
    if (computed != stored) {
        logInfo("EEPROM header is corrupted: CRC mismatch 0x%X != 0x%X", computed, stored);
        return -2;
    }
    return 0;
}

int EepromHeaderSave(uint8_t* buf, int force)
{
    if (!buf)
        buf = getUnitInfo();
    std::lock_guard<std::mutex> g(st().saveLock);
    if (st().EepromHeaderFault.load()) {
        logInfo("****Header in EEPROM fault for i2c errors");
        return -1;
    }
    uint8_t current[UNIT_INFO_BYTES];
    if (M24LC512_ReadBytes(current, 0, UNIT_INFO_BYTES, EEPROM_BOARD_ADDRESS) != 0) {
        logInfo("****Header in EEPROM not read for i2c errors");
        return -1;
    }
    if (memcmp(buf, current, UNIT_INFO_CRC_OFFSET) == 0 && !force) {
        logInfo("****Header in EEPROM is not changed");
        return 0;
    }
    uint32_t crc = unitInfoCrc(buf);
    if (crc == getU32BE(buf + UNIT_INFO_CRC_OFFSET)) {
        logInfo("****Header in EEPROM is checked");
        return 0;
    }
    // The record gets its new CRC only once the device holds it: a record
    // whose CRC matched bytes that never reached the device would make
    // every later save skip the write as "checked".
    uint8_t out[UNIT_INFO_BYTES];
    memcpy(out, buf, UNIT_INFO_BYTES);
    putU32BE(crc, out + UNIT_INFO_CRC_OFFSET);
    if (M24LC512_WriteBytes(out, 0, UNIT_INFO_BYTES, EEPROM_BOARD_ADDRESS) != 0) {
        // A page that failed or still reads back wrong: the device does not
        // hold the record.
        logErr("****Header NOT saved to EEPROM - write failed, CRC: 0x%X****", crc);
        return -1;
    }
    memcpy(buf + UNIT_INFO_CRC_OFFSET, out + UNIT_INFO_CRC_OFFSET, UNIT_INFO_BYTES - UNIT_INFO_CRC_OFFSET);
    logInfo("****Header saved to EEPROM - new CRC: 0x%X****", crc);
    return 0;
}

int EepromHeaderUpdate()
{
    uint8_t* info = getUnitInfo();
    putU32LE(getVersionWord4(), info + 2);
    info[7] = 1;
    info[77] = 1;
    info[123] &= static_cast<uint8_t>(~1u);
    return EepromHeaderSave(info, 1);
}

int EepromRead(uint32_t n, uint32_t address, uint8_t* buf)
{
    return M24LC512_ReadBytes(buf, address, n, EEPROM_BOARD_ADDRESS);
}

int EepromCompare(uint32_t n, uint32_t address, const uint8_t* buf)
{
    std::vector<uint8_t> scratch(n);
    if (M24LC512_ReadBytes(scratch.data(), address, n, EEPROM_BOARD_ADDRESS) != 0)
        return -1;
    for (uint32_t i = 0; i < n; i++)
        if (scratch[i] != buf[i])
            return 1;
    return 0;
}

int EepromWriteFirstByte(const uint8_t* p)
{
    return M24LC512_WriteBytes(p, 0, 1, EEPROM_BOARD_ADDRESS);
}

int EepromWriteWithXor(int whole, uint32_t n, uint32_t address, const uint8_t* data)
{
    if (!data || n == 0)
        return -1;
    if (whole) {
        for (uint32_t i = 0; i < n; i++)
            logDebug("READ: Byte 0x%x: 0x%x", address + i, data[i]);
        if (M24LC512_WriteBytes(data, address, n, EEPROM_BOARD_ADDRESS) != 0)
            return -1;
    } else {
        std::vector<uint8_t> current(n);
        if (M24LC512_ReadBytes(current.data(), address, n, EEPROM_BOARD_ADDRESS) != 0)
            return -1;
        for (uint32_t i = 0; i < n; i++)
            if (current[i] != data[i] && M24LC512_WriteBytes(data + i, address + i, 1, EEPROM_BOARD_ADDRESS) != 0)
                return -1;
    }
    uint8_t x = 0;
    for (uint32_t i = 0; i < n; i++)
        x ^= data[i];
    logDebug("Storing XRC: 0x%X at 0x%lu", x, static_cast<unsigned long>(address + n));
    return M24LC512_WriteBytes(&x, address + n, 1, EEPROM_BOARD_ADDRESS);
}
