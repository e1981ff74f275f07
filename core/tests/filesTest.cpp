#include "core/files.h"

#include "Config/keys/unitKeys.h"
#include "core/base/crc32.h"
#include "core/base/logs.h"
#include "core/base/utils.h"
#include "sim/board.h"
#include "testing/sandboxTest.h"

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Files : public SandboxTest {
protected:
    Files() : SandboxTest(SANDBOX_LOGS) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        simMakeDirs(host("/mnt/ubi0/conf").c_str());
    }
    void put(const char* absPath, const std::string& text, mode_t mode = 0644)
    {
        std::string p = host(absPath);
        simMakeDirs(p.substr(0, p.rfind('/')).c_str());
        std::ofstream(p, std::ios::binary) << text;
        chmod(p.c_str(), mode);
    }
};

} // namespace

TEST_F(Files, AccessAndPathTypes)
{
    put("/mnt/ubi0/conf/a", "x");
    EXPECT_EQ(checkReadAccess("/mnt/ubi0/conf/a"), 0);
    EXPECT_EQ(checkWriteAccess("/mnt/ubi0/conf/a"), 0);
    EXPECT_EQ(checkReadAccess("/mnt/ubi0/conf/none"), -1);
    EXPECT_EQ(getPathType("/mnt/ubi0/conf/none"), 0);
    EXPECT_EQ(getPathType("/mnt/ubi0/conf"), 1);
    EXPECT_EQ(getPathType("/mnt/ubi0/conf/a"), 2);
    EXPECT_EQ(dirLacksEntry("/mnt/ubi0/conf", "a"), 0);
    EXPECT_EQ(dirLacksEntry("/mnt/ubi0/conf", "b"), 1);
    EXPECT_EQ(dirLacksEntry("/mnt/ubi0/none", "a"), 1);
}

TEST_F(Files, RemovingFilesAndTrees)
{
    put("/mnt/ubi0/conf/a", "x");
    EXPECT_EQ(removeFileIfPresent("/mnt/ubi0/conf"), 0); // a directory stays
    EXPECT_EQ(getPathType("/mnt/ubi0/conf"), 1);
    EXPECT_EQ(removeFileIfPresent("/mnt/ubi0/conf/a"), 1);
    EXPECT_EQ(removeFileIfPresent("/mnt/ubi0/conf/a"), 0);

    put("/mnt/ubi0/tree/one/two/f", "x");
    put("/mnt/ubi0/tree/g", "y");
    ASSERT_EQ(symlink("/mnt/ubi0/conf", host("/mnt/ubi0/tree/link").c_str()), 0);
    EXPECT_EQ(removeDirRecursive("/mnt/ubi0/tree"), 0);
    EXPECT_EQ(getPathType("/mnt/ubi0/tree"), 0);
    EXPECT_EQ(getPathType("/mnt/ubi0/conf"), 1); // a link is removed, not followed
    EXPECT_EQ(removeDirRecursive("/mnt/ubi0/tree"), 0);
}

TEST_F(Files, CopyFileResults)
{
    put("/mnt/ubi0/conf/src", std::string(100000, 'q'), 0640);
    EXPECT_EQ(copyFile("/mnt/ubi0/conf/src", "/mnt/ubi0/conf/dst"), 0);
    EXPECT_EQ(readSandboxFile("/mnt/ubi0/conf/dst"), std::string(100000, 'q'));
    struct stat sb;
    ASSERT_EQ(stat(host("/mnt/ubi0/conf/dst").c_str(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0777, 0640u);

    put("/mnt/ubi0/conf/empty", "");
    EXPECT_EQ(copyFile("/mnt/ubi0/conf/empty", "/mnt/ubi0/conf/dst2"), -4);
    EXPECT_EQ(getPathType("/mnt/ubi0/conf/dst2"), 0);
    EXPECT_EQ(copyFile("/mnt/ubi0/conf/none", "/mnt/ubi0/conf/dst2"), -1);
    EXPECT_EQ(copyFile("/mnt/ubi0/conf/src", "/mnt/ubi0/nodir/dst"), -3);
}

TEST_F(Files, GetStringFromFileSkipsCommentsAndBlankLines)
{
    put("/usr/local/conf/t", "# a comment\n\nvalue\nnext\n");
    char* line = getStringFromFile("/usr/local/conf/t");
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line, "value\n");
    free(line);

    // Longer than the first buffer; the last line without a newline.
    std::string longLine(1000, 'z');
    put("/usr/local/conf/t", "#\n" + longLine);
    line = getStringFromFile("/usr/local/conf/t");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(std::string(line), longLine);
    free(line);

    put("/usr/local/conf/t", "# only\n\n");
    EXPECT_EQ(getStringFromFile("/usr/local/conf/t"), nullptr);
    EXPECT_EQ(getStringFromFile("/usr/local/conf/missing"), nullptr);
    EXPECT_NE(book().find("ERR: getStringFromFile - can't open /usr/local/conf/missing\n"), std::string::npos);
}

TEST_F(Files, WriteStringReplacesThroughASyncedTemporaryFile)
{
    put("/usr/local/conf/resolv.conf", "nameserver 1.1.1.1 and a longer old text");
    EXPECT_EQ(writeStringToFile("/usr/local/conf/resolv.conf", "nameserver 8.8.8.8"), 0);
    EXPECT_EQ(readSandboxFile("/usr/local/conf/resolv.conf"), "nameserver 8.8.8.8");
    EXPECT_EQ(getPathType("/usr/local/conf/resolv.conf_tmp"), 0);

    // Another mode is the caller's: appended in place.
    EXPECT_EQ(writeStringToFile("/usr/local/conf/resolv.conf", "\n#x", "a"), 0);
    EXPECT_EQ(readSandboxFile("/usr/local/conf/resolv.conf"), "nameserver 8.8.8.8\n#x");

    EXPECT_EQ(writeStringToFile("/usr/local/nodir/f", "x"), -1);
    EXPECT_NE(book().find("ERR: writeStringToFile - can't open /usr/local/nodir/f\n"), std::string::npos);
}

TEST_F(Files, PersistentWriteKeepsASymbolicLink)
{
    put("/mnt/ubi0/conf/resolv.conf", "old");
    ASSERT_EQ(symlink("/mnt/ubi0/conf/resolv.conf", host("/usr/local/conf/resolv.conf").c_str()), 0);
    EXPECT_EQ(writeStringToFile("/usr/local/conf/resolv.conf", "nameserver 9.9.9.9"), 0);
    char link[128] = {};
    ASSERT_GT(readlink(host("/usr/local/conf/resolv.conf").c_str(), link, sizeof link - 1), 0);
    EXPECT_STREQ(link, "/mnt/ubi0/conf/resolv.conf");
    EXPECT_EQ(readSandboxFile("/mnt/ubi0/conf/resolv.conf"), "nameserver 9.9.9.9");
}

TEST_F(Files, WriteStringWritesKernelAttributesInPlace)
{
    // A sysfs attribute cannot be replaced by a rename; it is written as it is.
    simMakeDirs(host("/sys/class/i2c-adapter/i2c-1").c_str());
    EXPECT_EQ(writeStringToFile("/sys/class/i2c-adapter/i2c-1/new_device", "max3107 0x2C"), 0);
    EXPECT_EQ(readSandboxFile("/sys/class/i2c-adapter/i2c-1/new_device"), "max3107 0x2C");
    EXPECT_EQ(getPathType("/sys/class/i2c-adapter/i2c-1/new_device_tmp"), 0);
}

TEST_F(Files, PersistentWriteLeavesTheOldFileWhenItCannotFinish)
{
    put("/mnt/ubi0/conf/cfg", "old");
    // The temporary name is taken by a directory: the new file cannot be made.
    simMakeDirs(host("/mnt/ubi0/conf/cfg_tmp").c_str());
    EXPECT_EQ(writePersistentFile("/mnt/ubi0/conf/cfg", "new", 3), -1);
    EXPECT_EQ(readSandboxFile("/mnt/ubi0/conf/cfg"), "old");
    rmdir(host("/mnt/ubi0/conf/cfg_tmp").c_str());
    EXPECT_EQ(writePersistentFile("/mnt/ubi0/conf/cfg", "new", 3), 0);
    EXPECT_EQ(readSandboxFile("/mnt/ubi0/conf/cfg"), "new");
}

TEST_F(Files, VerifyFileChecksTheLittleEndianCrc)
{
    uint8_t buf[64];
    for (int i = 0; i < 64; i++)
        buf[i] = static_cast<uint8_t>(i);
    appendCrc32(buf, sizeof buf);
    EXPECT_EQ(verifyFile(buf, sizeof buf), 0);
    buf[10] ^= 1;
    EXPECT_EQ(verifyFile(buf, sizeof buf), -1);
    uint32_t crc = 0, len = 60;
    computeCrc32(&crc, buf, &len);
    char line[64];
    snprintf(line, sizeof line, "INFO: verifyFile - CRC Error 0x%X\n", crc);
    EXPECT_NE(book().find(line), std::string::npos);
    EXPECT_EQ(verifyFile(buf, 3), -1);
}

TEST_F(Files, UsbKeyMountedOnlyFromAnSdDevice)
{
    const struct {
        const char* mounts;
        int mounted;
    } rows[] = {
        {"/dev/root / ext4 rw 0 0\n/dev/sda1 /mnt/usbkey vfat rw 0 0\n", 1},
        {"/dev/root / ext4 rw 0 0\n/dev/mmcblk0p1 /mnt/usbkey vfat rw 0 0\n", 0},
        {"/dev/root / ext4 rw 0 0\n/dev/sdb /mnt/other vfat rw 0 0\n", 0},
    };
    for (const auto& r : rows) {
        put("/proc/mounts", r.mounts);
        EXPECT_EQ(isUsbKeyMounted(), r.mounted) << r.mounts;
    }
    unlink(host("/proc/mounts").c_str());
    EXPECT_EQ(isUsbKeyMounted(), 0);
}

TEST_F(Files, FirmwareVersionFiles)
{
    put("/usr/local/conf/FwRelease", "3\n");
    put("/usr/local/conf/FwVersion", "12\n");
    put("/usr/local/conf/FwBuild", "345\n");
    EXPECT_EQ(readFwVersionFiles(), 0);
    EXPECT_EQ(getVersionWord1(), 12u);
    EXPECT_EQ(getVersionWord2(), 3u);
    EXPECT_EQ(getVersionWord3(), 345u);
    EXPECT_EQ(getVersionWord4(), 0x1BF71F32u);
    EXPECT_EQ(getVersionWord5(), 1u);
    unlink(host("/usr/local/conf/FwBuild").c_str());
    EXPECT_EQ(readFwVersionFiles(), -1);
    EXPECT_EQ(getVersionWord3(), 0u);

    EXPECT_EQ(readStandbyFwVersion(), -1);
    put("/mnt/rfs_stby/etc/fw_version", "2042-07\n1.2.3\n");
    EXPECT_EQ(readStandbyFwVersion(), 0);
    EXPECT_EQ(getVersionRef1(), 2042u);
    EXPECT_EQ(getVersionRef2(), 7u);
    EXPECT_EQ(getVersionRef3(), 1u);
    EXPECT_EQ(getVersionRef4(), 2u);
    EXPECT_EQ(getVersionRef5(), 3u);
}

TEST_F(Files, RawWordDumps)
{
    simMakeDirs(host("/usr/share/gw").c_str());
    uint16_t words[3] = {0x0102, 0xA0B0, 0xFFFF};
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveToFile("/mnt/ubi0/conf/raw", 3, words), 0);
    uint16_t back[3] = {};
    EXPECT_EQ(loadFromFile("/mnt/ubi0/conf/raw", 3, back), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, memcmp(words, back, sizeof words));
    EXPECT_EQ(getPathType("/usr/share/gw/tempfile"), 0);
    EXPECT_NE(out.find("Writing 6 of 0 in Config file\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Reading 6 of 0 in Config file\n"), std::string::npos) << out;

    uint16_t more[4];
    EXPECT_EQ(loadFromFile("/mnt/ubi0/conf/raw", 4, more), -1);
    EXPECT_NE(book().find("DEBUG: loadFromFile - can't read\n"), std::string::npos);
    EXPECT_EQ(loadFromFile("/mnt/ubi0/conf/none", 1, more), -1);
    EXPECT_NE(book().find("DEBUG: loadFromFile - can't open, loading defaults...\n"), std::string::npos);
}
