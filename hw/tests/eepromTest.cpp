// The unit identity record on the simulated board EEPROM.
#include "hw/eeprom.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/unitKeys.h"
#include "core/base/utils.h"
#include "hw/tests/eepromFixture.h"
#include "sim/simEeprom.h"

#include <cstring>

namespace {

const char kSerial[] = "SN0123456789";

class UnitRecord : public EepromTest {
protected:
    // A record with a serial number, a few marked bytes and its CRC stored
    // big-endian, on the device and returned.
    static Bytes putRecord(uint8_t fill = 0x5C)
    {
        Bytes r(128, 0);
        r[0] = 1;
        r[1] = fill;
        r[40] = fill;
        r[123] = 0x03;
        memcpy(r.data() + 14, kSerial, 12);
        putU32BE(unitInfoCrc(r.data()), r.data() + 124);
        poke(0, r);
        return r;
    }

    static std::string unitRecordTool(const std::string& root, const std::string& args, int* status = nullptr)
    {
        return runInSandbox(root, CORVANE_TOOLS_DIR "/unitRecord " + args, status);
    }
};

TEST_F(UnitRecord, RecordWrittenByTheToolReadsBack)
{
    int status = -1;
    unitRecordTool(root,
                   "--serial SN0123456789 --front 00:50:c2:aa:00:01 --rear 00:50:c2:aa:00:02 --gbe-a "
                   "00:50:c2:aa:00:03 --gbe-b 00:50:c2:aa:00:04 --bank 2 --flag 1",
                   &status);
    ASSERT_EQ(status, 0);

    uint8_t buf[128];
    ASSERT_EQ(EepromHeaderRead(buf), 0);
    EXPECT_EQ(getU32BE(buf + 14), 0x534E3031u);
    EXPECT_EQ(getU32BE(buf + 18), 0x32333435u);
    EXPECT_EQ(getU32BE(buf + 22), 0x36373839u);
    // Golden layout: bank, the four addresses, the flag byte, and the CRC
    // of bytes 0..123 most significant byte first.
    EXPECT_EQ(buf[0], 2);
    EXPECT_EQ(Bytes(buf + 8, buf + 14), (Bytes{0x00, 0x50, 0xC2, 0xAA, 0x00, 0x01}));
    EXPECT_EQ(Bytes(buf + 71, buf + 77), (Bytes{0x00, 0x50, 0xC2, 0xAA, 0x00, 0x02}));
    EXPECT_EQ(Bytes(buf + 98, buf + 104), (Bytes{0x00, 0x50, 0xC2, 0xAA, 0x00, 0x03}));
    EXPECT_EQ(Bytes(buf + 104, buf + 110), (Bytes{0x00, 0x50, 0xC2, 0xAA, 0x00, 0x04}));
    EXPECT_EQ(buf[110], 1);
    EXPECT_EQ(Bytes(buf + 124, buf + 128), (Bytes{0x16, 0x97, 0x3F, 0xCC}));
    bool zlib = false;
    uint32_t z = zlibCrc32(buf, 124, &zlib);
    ASSERT_TRUE(zlib);
    EXPECT_EQ(z, 0x16973FCCu);
    EXPECT_EQ(unitInfoCrc(buf), z);

    // A second run changes one field and keeps the others.
    std::string shown = unitRecordTool(root, "--bank 1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(shown.find("serial    SN0123456789\n"), std::string::npos) << shown;
    ASSERT_EQ(EepromHeaderRead(buf), 0);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[110], 1);
    EXPECT_EQ(unitRecordTool(root, "--serial SN0123456789X", &status).rfind("usage:", 0), 0u);
    EXPECT_EQ(status, 2);
}

TEST_F(UnitRecord, CorruptedRecordIsReportedAndRepairedByTheUpdate)
{
    Bytes good = putRecord();
    uint32_t stored = getU32BE(good.data() + 124);
    ASSERT_EQ(simEepromCorruptByte(device(0x51), 20, 0x04), 0);

    uint8_t buf[128];
    ASSERT_EQ(EepromHeaderRead(buf), -2);
    EXPECT_EQ(buf[20], good[20] ^ 0x04) << "the buffer holds what was read";
    char line[96];
    snprintf(line, sizeof line, "INFO: EEPROM header is corrupted: CRC mismatch 0x%X != 0x%X\n", unitInfoCrc(buf),
             stored);
    EXPECT_EQ(count(book(), line), 1u) << book();

    // As the start-up does with a mismatch: keep the bytes and update.
    memcpy(getUnitInfo(), buf, 128);
    setVersionWord4(0x1BF71F32);
    EXPECT_EQ(EepromHeaderUpdate(), 0);
    Bytes dev = peek(0, 128);
    EXPECT_EQ(Bytes(dev.begin() + 2, dev.begin() + 6), (Bytes{0x32, 0x1F, 0xF7, 0x1B}));
    EXPECT_EQ(dev[7], 1);
    EXPECT_EQ(dev[77], 1);
    EXPECT_EQ(dev[123], 0x02);
    EXPECT_EQ(dev[1], 0x5C) << "bytes without meaning are carried";
    EXPECT_EQ(dev[40], 0x5C);
    EXPECT_EQ(dev[20], good[20] ^ 0x04);
    bool zlib = false;
    uint32_t fresh = zlibCrc32(dev.data(), 124, &zlib);
    EXPECT_EQ(getU32BE(dev.data() + 124), fresh);
    EXPECT_EQ(Bytes(getUnitInfo(), getUnitInfo() + 128), dev);
    snprintf(line, sizeof line, "INFO: ****Header saved to EEPROM - new CRC: 0x%X****\n", fresh);
    EXPECT_EQ(count(book(), line), 1u);
    EXPECT_EQ(EepromHeaderRead(buf), 0);
}

TEST_F(UnitRecord, CrcStoredLittleEndianIsCorrupted)
{
    Bytes r = putRecord();
    putU32LE(unitInfoCrc(r.data()), r.data() + 124);
    poke(0, r);
    uint8_t buf[128];
    EXPECT_EQ(EepromHeaderRead(buf), -2);
}

TEST_F(UnitRecord, SaveWritesOnlyWhenTheRecordNeedsIt)
{
    Bytes onDevice = putRecord();
    struct Case {
        const char* name;
        Bytes record;
        int force;
        const char* line;
        bool writes;
    };
    Bytes changed = onDevice;
    changed[14] = 'X'; // its CRC no longer matches
    Bytes selfConsistent = putRecord(0x77);
    poke(0, onDevice);
    const Case cases[] = {
        {"unchanged", onDevice, 0, "INFO: ****Header in EEPROM is not changed\n", false},
        {"unchanged, forced", onDevice, 1, "INFO: ****Header in EEPROM is checked\n", false},
        // Its CRC matches its own bytes: nothing is written although the
        // device holds another record.
        {"other record with its CRC", selfConsistent, 1, "INFO: ****Header in EEPROM is checked\n", false},
        {"changed", changed, 0, "INFO: ****Header saved to EEPROM - new CRC: 0x", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t before = count(book(), c.line);
        Bytes rec = c.record;
        uint64_t mark = logMark();
        EXPECT_EQ(EepromHeaderSave(rec.data(), c.force), 0);
        EXPECT_EQ(count(book(), c.line), before + 1);
        EXPECT_EQ(dataWrites(mark).empty(), !c.writes);
        EXPECT_EQ(peek(0, 128), c.writes ? rec : onDevice);
    }
    uint8_t buf[128];
    EXPECT_EQ(EepromHeaderRead(buf), 0);
    EXPECT_EQ(buf[14], 'X');

    // A null record is the in-memory UnitInfo.
    memcpy(getUnitInfo(), changed.data(), 128);
    getUnitInfo()[15] = 'Y';
    EXPECT_EQ(EepromHeaderSave(nullptr, 1), 0);
    EXPECT_EQ(peek(15, 1), Bytes{'Y'});
}

TEST_F(UnitRecord, PageThatStaysWrongFailsTheSaveAndTheNextSaveWrites)
{
    putRecord();
    // Three retries recover from three bad writes.
    memcpy(getUnitInfo(), peek(0, 128).data(), 128);
    getUnitInfo()[14] = 'A';
    ASSERT_EQ(simEepromFailWrites(device(0x51), 0, 3), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(EepromHeaderSave(nullptr, 1), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(book(), "****Header saved to EEPROM"), 1u);

    // A fourth bad write leaves the page wrong: the save fails and says so.
    getUnitInfo()[14] = 'B';
    ASSERT_EQ(simEepromFailWrites(device(0x51), 0, 4), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(EepromHeaderSave(nullptr, 1), -1);
    testing::internal::GetCapturedStdout();
    std::string b = book();
    EXPECT_EQ(count(b, "****Header saved to EEPROM"), 1u);
    EXPECT_EQ(count(b, "ERR: ****Header NOT saved to EEPROM - write failed, CRC: 0x"), 1u);
    uint8_t buf[128];
    EXPECT_EQ(EepromHeaderRead(buf), -2);

    // The failed save left the record without a CRC of its bytes, so the
    // next save on a healthy device writes it again.
    uint64_t mark = logMark();
    testing::internal::CaptureStdout();
    EXPECT_EQ(EepromHeaderSave(nullptr, 1), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(dataWrites(mark).empty());
    EXPECT_EQ(count(book(), "****Header saved to EEPROM"), 2u);
    EXPECT_EQ(EepromHeaderRead(buf), 0);
    EXPECT_EQ(buf[14], 'B');
    EXPECT_EQ(Bytes(buf, buf + 128), Bytes(getUnitInfo(), getUnitInfo() + 128));
}

TEST_F(UnitRecord, BusErrorsStopTheSave)
{
    Bytes r = putRecord();
    r[14] = 'Z';

    // The save cannot read the device.
    device(0x51)->nackNext.store(1);
    EXPECT_EQ(EepromHeaderSave(r.data(), 1), -1);
    EXPECT_EQ(count(book(), "INFO: ****Header in EEPROM not read for i2c errors\n"), 1u);

    // A bus error on the header read stops every later save of the run.
    device(0x51)->absent.store(1);
    uint8_t buf[128];
    EXPECT_EQ(EepromHeaderRead(buf), -1);
    EXPECT_EQ(count(book(), "ERR: EEPROM header I2C I/O error\n"), 1u);
    device(0x51)->absent.store(0);
    uint64_t mark = logMark();
    EXPECT_EQ(EepromHeaderSave(r.data(), 1), -1);
    EXPECT_EQ(count(book(), "INFO: ****Header in EEPROM fault for i2c errors\n"), 1u);
    EXPECT_TRUE(busLog(SIM_BUS_I2C1, mark).empty());
}

TEST_F(UnitRecord, RawAccessHelpers)
{
    Bytes data = {0x10, 0x20, 0x30, 0x0F};
    EXPECT_EQ(EepromWriteWithXor(1, 4, 0x200, data.data()), 0);
    EXPECT_EQ(peek(0x200, 5), (Bytes{0x10, 0x20, 0x30, 0x0F, 0x10 ^ 0x20 ^ 0x30 ^ 0x0F}));
    EXPECT_EQ(EepromCompare(4, 0x200, data.data()), 0);

    // Byte by byte, only the bytes that differ are written.
    data[2] = 0x31;
    uint64_t mark = logMark();
    EXPECT_EQ(EepromWriteWithXor(0, 4, 0x200, data.data()), 0);
    EXPECT_EQ(dataWrites(mark), (std::vector<int>{1, 1}));
    EXPECT_EQ(peek(0x200, 5), (Bytes{0x10, 0x20, 0x31, 0x0F, 0x10 ^ 0x20 ^ 0x31 ^ 0x0F}));

    data[0] = 0;
    EXPECT_EQ(EepromCompare(4, 0x200, data.data()), 1);
    uint8_t first = 0xAB, back[2] = {};
    EXPECT_EQ(EepromWriteFirstByte(&first), 0);
    EXPECT_EQ(EepromRead(2, 0, back), 0);
    EXPECT_EQ(back[0], 0xAB);
}

} // namespace
