// The EEPROM manager on its emulation file, with the header taken from the
// simulated board EEPROM, on the virtual clock.
#include "hw/eepromManager.h"

#include "core/base/utils.h"
#include "hw/eeprom.h"
#include "hw/tests/eepromFixture.h"

#include <cstring>
#include <fstream>

namespace {

constexpr const char* kStore = "/mnt/ubi0/conf/EE_File.img";

class EepromManager : public EepromTest {
protected:
    void SetUp() override
    {
        EepromTest::SetUp();
        simMakeDirs(sysPath("/mnt/ubi0/conf").c_str());
        // The board's identity record; byte 79 of it is not the bank byte.
        record.assign(128, 0);
        for (int i = 0; i < 124; i++)
            record[i] = static_cast<uint8_t>(i * 3 + 1);
        record[79] = 0x55;
        putU32BE(unitInfoCrc(record.data()), record.data() + 124);
        poke(0, record);
    }

    static Bytes store()
    {
        std::string s = readSandboxFile(kStore);
        return Bytes(s.begin(), s.end());
    }

    static Bytes bank(int b)
    {
        Bytes s = store();
        return Bytes(s.begin() + (b ? 4224 : 128), s.begin() + (b ? 8320 : 4224));
    }

    // A store file with a bank byte and the first bytes of each bank.
    static void makeStore(uint8_t active, const Bytes& bank0, const Bytes& bank1)
    {
        Bytes s(65536, 0);
        s[79] = active;
        std::copy(bank0.begin(), bank0.end(), s.begin() + 128);
        std::copy(bank1.begin(), bank1.end(), s.begin() + 4224);
        std::ofstream(sysPath(kStore), std::ios::binary).write(reinterpret_cast<const char*>(s.data()), s.size());
    }

    // Runs the start-up; returns its result, *out what it printed.
    static int init(std::string* out = nullptr)
    {
        testing::internal::CaptureStdout();
        int r = EEM_Init(1, 1, EEM_MODE_EMUL);
        std::string text = testing::internal::GetCapturedStdout();
        if (out)
            *out = text;
        return r;
    }

    static void expectHeaderCrcValid()
    {
        Bytes s = store();
        bool zlib = false;
        EXPECT_EQ(getU32LE(s.data() + 124), zlibCrc32(s.data(), 124, &zlib)) << "little-endian CRC of 0..123";
        EXPECT_TRUE(zlib);
    }

    Bytes record;
};

TEST_F(EepromManager, StartUpCreatesTheStoreWithTheBoardHeader)
{
    std::string out;
    EXPECT_EQ(init(&out), 0);
    EXPECT_EQ(out, "\n\tFile EEPROM not present \n");
    Bytes s = store();
    ASSERT_EQ(s.size(), 65536u);
    Bytes header = record;
    header[79] = 0; // a fresh store starts with bank 0 active
    EXPECT_EQ(Bytes(s.begin(), s.begin() + 124), Bytes(header.begin(), header.begin() + 124));
    expectHeaderCrcValid();
    EXPECT_EQ(Bytes(s.begin() + 128, s.end()), Bytes(65536 - 128, 0));

    EXPECT_EQ(init(&out), 0);
    EXPECT_EQ(out, "\n\tFile EEPROM already present \n");
    EXPECT_EQ(store(), s);
}

TEST_F(EepromManager, WriteGoesToTheOtherBankAndIsCopiedBack3sLater)
{
    ASSERT_EQ(init(), 0);
    // Item 3 (TX on) with bank 0 active: bank 1 gets it and its check
    // byte, and becomes the active bank.
    uint8_t on = 1;
    EXPECT_EQ(EEM_WriteData(&on, 3, 1), 0);
    Bytes s = store();
    EXPECT_EQ(s[4224 + 3], 1);
    EXPECT_EQ(s[4224], 1);
    EXPECT_EQ(s[79], 1);
    EXPECT_EQ(s[128 + 3], 0);
    EXPECT_EQ(s[128], 0);
    expectHeaderCrcValid();
    uint8_t back = 0;
    EXPECT_EQ(EEM_ReadData(&back, 3, 1), 0);
    EXPECT_EQ(back, 1);

    clockAdvanceUs(2900000);
    EEM_Task();
    EXPECT_EQ(store()[128 + 3], 0) << "not before 3 s";
    clockAdvanceUs(200000);
    EEM_Task();
    EXPECT_EQ(store()[128 + 3], 1);
    EXPECT_EQ(store()[128], 1);
    EXPECT_EQ(bank(0), bank(1));

    // A 4-byte item goes in the caller's byte order; item 1 lies outside
    // the check byte's range.
    const uint8_t start[4] = {0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(EEM_WriteData(start, 7, 4), 0);
    uint8_t mode = 0x7E;
    EXPECT_EQ(EEM_WriteData(&mode, 1, 1), 0);
    s = store();
    EXPECT_EQ(Bytes(s.begin() + 128 + 7, s.begin() + 128 + 11), Bytes(start, start + 4));
    EXPECT_EQ(s[128], 1 ^ 0x44 ^ 0x33 ^ 0x22 ^ 0x11);
    EXPECT_EQ(s[4224 + 1], 0x7E);
    EXPECT_EQ(s[4224], s[128]) << "item 1 leaves the check byte alone";
    EXPECT_EQ(s[79], 1);
}

TEST_F(EepromManager, SecondWriteWithin3sCommitsThePendingCopyFirst)
{
    ASSERT_EQ(init(), 0);
    uint8_t on = 1, lock = 2;
    EXPECT_EQ(EEM_WriteData(&on, 3, 1), 0);
    clockAdvanceUs(1000000);
    EXPECT_EQ(EEM_WriteData(&lock, 4, 1), 0);
    // Bank 0 received item 3 from the pending copy, then item 4.
    Bytes s = store();
    EXPECT_EQ(s[79], 0);
    EXPECT_EQ(s[128 + 3], 1);
    EXPECT_EQ(s[128 + 4], 2);
    EXPECT_EQ(s[128], 1 ^ 2);
    EXPECT_EQ(s[4224 + 4], 0);
    clockAdvanceUs(3100000);
    EEM_Task();
    EXPECT_EQ(bank(0), bank(1));
}

TEST_F(EepromManager, StartUpChecksAndAlignsTheBanks)
{
    Bytes good = {0x01, 0, 0, 0x01}, good2 = {0x02, 0, 0, 0x02};
    Bytes goodMode = {0x01, 0x09, 0, 0x01};
    Bytes bad = {0x80, 0, 0, 0x05};
    struct Case {
        const char* name;
        uint8_t active;
        Bytes bank0, bank1;
        int result;
        uint8_t activeAfter;
        const char* printed;
        bool aligned;   // the alignment copy of a good active bank ran
        int copiedFrom; // the bank copied over the other, -1 none
    };
    const Case cases[] = {
        {"equal banks", 0, good, good, 0, 0, "", false, -1},
        {"other bank different", 0, good, good2, 0, 0,
         "Allineo i banchi dati della eeprom. \t Banco 0 => Banco 1. \n", true, 0},
        {"other bank bad", 1, bad, good, 0, 1, "Allineo i banchi dati della eeprom. \t Banco 1 => Banco 0. \n", true,
         1},
        // Item 1 differs but the check bytes agree.
        {"item 1 differs", 1, good, goodMode, 0, 1, "\t Banco 1 => Banco 0. \n", true, 1},
        // The bad active bank: the other one becomes active, and the bad one
        // is repaired so that the next write does not bring it back.
        {"active bank bad", 1, good, bad, 0, 0, "HEADER error: Wrong xor [expected 80 computed 5] \n", false, 0},
        {"both bad", 0, bad, bad, 9, 0, "HEADER error: Wrong xor", false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeStore(c.active, c.bank0, c.bank1);
        Bytes b0 = bank(0), b1 = bank(1);
        std::string out;
        EXPECT_EQ(init(&out), c.result);
        EXPECT_NE(out.find(c.printed), std::string::npos) << out;
        EXPECT_EQ(out.find("Allineo") != std::string::npos, c.aligned);
        EXPECT_EQ(store()[79], c.activeAfter);
        Bytes expect0 = c.copiedFrom == 1 ? b1 : b0, expect1 = c.copiedFrom == 0 ? b0 : b1;
        EXPECT_EQ(bank(0), expect0);
        EXPECT_EQ(bank(1), expect1);
    }

    // After the repair a write into the formerly bad bank carries the good
    // bank's items along.
    makeStore(1, good, bad);
    ASSERT_EQ(init(), 0);
    uint8_t slave = 1;
    EXPECT_EQ(EEM_WriteData(&slave, 5, 1), 0);
    Bytes s = store();
    EXPECT_EQ(s[79], 1);
    EXPECT_EQ(s[4224 + 3], 1);
    EXPECT_EQ(s[4224 + 5], 1);
    uint8_t item = 0;
    EXPECT_EQ(EEM_ReadData(&item, 3, 1), 0);
    EXPECT_EQ(item, 1);
}

TEST_F(EepromManager, HeaderThatCannotBeTakenOverFailsTheStartUp)
{
    device(0x51)->absent.store(1);
    std::string out;
    EXPECT_EQ(init(&out), 9);
    bool zlib = false;
    char line[96];
    Bytes zeros(124, 0);
    snprintf(line, sizeof line, "HEADER error: Wrong crc [expected 00000000 computed %.8x] \n",
             zlibCrc32(zeros.data(), zeros.size(), &zlib));
    EXPECT_NE(out.find(line), std::string::npos) << out;
}

TEST_F(EepromManager, MissingStoreFailsEveryAccess)
{
    ASSERT_EQ(init(), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(EEM_RemoveEEP(), 1);
    EXPECT_EQ(EEM_RemoveEEP(), -1);
    uint8_t b = 1;
    EXPECT_EQ(EEM_ReadData(&b, 3, 1), 6);
    EXPECT_EQ(EEM_WriteData(&b, 3, 1), 5);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(out, "\nEEM_RemoveEEP!"), 2u);
    EXPECT_EQ(count(out, "eem_ReadEmul: EE_FILE NON presente\n"), 4u) << "the read and three verifications";
    EXPECT_EQ(count(out, "eem_WriteEmul: EE_FILE NON presente\n"), 3u);
    std::string internal = readSandboxFile("/usr/share/VRL/log/internalDebugLast.log");
    EXPECT_EQ(count(internal, "remove /mnt/ubi0/conf/EE_File.img \n"), 1u);
    EXPECT_EQ(count(internal, "Error, remove /mnt/ubi0/conf/EE_File.img failed \n"), 1u);
}

TEST_F(EepromManager, ItemsOutsideTheBankAreRefused)
{
    ASSERT_EQ(init(), 0);
    uint8_t b[8] = {};
    EXPECT_EQ(EEM_WriteData(b, 4090, 8), 5);
    EXPECT_EQ(EEM_WriteData(b, 3, 0), 5);
    EXPECT_EQ(EEM_ReadData(b, 4096, 1), 6);
    EXPECT_EQ(EEM_ReadData(b, 4092, 4), 0);
    EXPECT_EQ(store()[79], 0);
}

} // namespace
