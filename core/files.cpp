// File and storage helpers.
#include "core/files.h"

#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "core/base/crc32.h"
#include "core/base/logs.h"
#include "core/base/utils.h"
#include "platform/io.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// Removes a tree below a host path; 0 removed or not openable, 1 rmdir failed.
int removeTree(const std::string& dir)
{
    DIR* d = opendir(dir.c_str());
    if (!d)
        return 0;
    while (struct dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, ".."))
            continue;
        std::string p = dir + "/" + e->d_name;
        struct stat sb;
        if (lstat(p.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode))
            removeTree(p);
        else
            remove(p.c_str());
    }
    closedir(d);
    return rmdir(dir.c_str()) == 0 ? 0 : 1;
}

// Reads one unsigned number from the start of a file; 0 or -1.
int readUintFile(const char* path, uint32_t* v)
{
    FILE* f = fopen(sysPath(path).c_str(), "r");
    if (!f)
        return -1;
    unsigned u = 0;
    int r = fscanf(f, "%u", &u) == 1 ? 0 : -1;
    fclose(f);
    *v = r == 0 ? u : 0;
    return r;
}

bool isKernelAttribute(const char* path)
{
    return !strncmp(path, "/sys/", 5) || !strncmp(path, "/proc/", 6);
}

const char kStars[] = "***********************************************";

} // namespace

int checkReadAccess(const char* path)
{
    return ioAccess(path, R_OK) == 0 ? 0 : -1;
}

int checkWriteAccess(const char* path)
{
    return ioAccess(path, W_OK) == 0 ? 0 : -1;
}

int dirLacksEntry(const char* dir, const char* name)
{
    DIR* d = opendir(sysPath(dir).c_str());
    if (!d)
        return 1;
    int lacks = 1;
    for (;;) {
        errno = 0;
        struct dirent* e = readdir(d);
        if (!e) {
            if (errno)
                perror("readdir");
            break;
        }
        if (!strcmp(e->d_name, name)) {
            lacks = 0;
            break;
        }
    }
    closedir(d);
    return lacks;
}

int getPathType(const char* path)
{
    struct stat sb;
    if (stat(sysPath(path).c_str(), &sb) != 0)
        return 0;
    return S_ISDIR(sb.st_mode) ? 1 : 2;
}

int removeFileIfPresent(const char* path)
{
    if (getPathType(path) != 2)
        return 0;
    return remove(sysPath(path).c_str()) == 0 ? 1 : 0;
}

int removeDirRecursive(const char* path)
{
    return removeTree(sysPath(path));
}

int copyFile(const char* src, const char* dst)
{
    Fd in(open(sysPath(src).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat sb;
    if (in.fd < 0 || fstat(in.fd, &sb) != 0)
        return -1;
    if (sb.st_size == 0)
        return -4;
    Fd out(open(sysPath(dst).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, sb.st_mode & 07777));
    if (out.fd < 0)
        return -3;
    off_t copied = 0;
    while (copied < sb.st_size) {
        ssize_t n = sendfile(out.fd, in.fd, nullptr, static_cast<size_t>(sb.st_size - copied));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        copied += n;
    }
    return copied == sb.st_size ? 0 : -2;
}

char* getStringFromFile(const char* path)
{
    FILE* f = fopen(sysPath(path).c_str(), "r");
    if (!f) {
        logErr("%s - can't open %s", __func__, path);
        return nullptr;
    }
    size_t cap = 256;
    char* line = static_cast<char*>(malloc(cap));
    for (;;) {
        ssize_t n = getline(&line, &cap, f);
        if (n < 0) {
            free(line);
            line = nullptr;
            break;
        }
        if (!(n == 1 && line[0] == '\n') && line[0] != '#')
            break;
    }
    fclose(f);
    return line;
}

int writeStringToFile(const char* path, const char* text, const char* mode)
{
    size_t len = strlen(text);
    if (!strcmp(mode, "w") && !isKernelAttribute(path)) {
        size_t written = 0;
        int r = writePersistentFile(path, text, len, &written);
        if (r == -1)
            logErr("%s - can't open %s", __func__, path);
        else if (r == -2)
            logErr("%s - can't write on %s (%d of %d)", __func__, path, static_cast<int>(written),
                   static_cast<int>(len));
        else if (r == -3)
            logErr("%s - can't rename %s", __func__, path);
        return r == 0 ? 0 : -1;
    }
    FILE* f = fopen(sysPath(path).c_str(), mode);
    if (!f) {
        logErr("%s - can't open %s", __func__, path);
        return -1;
    }
    size_t w = fwrite(text, 1, len, f);
    // A kernel attribute reports a refused value when the buffer is flushed.
    if (fclose(f) != 0 && w == len)
        w = 0;
    if (w != len) {
        logErr("%s - can't write on %s (%d of %d)", __func__, path, static_cast<int>(w), static_cast<int>(len));
        return -1;
    }
    return 0;
}

int verifyFile(const uint8_t* buf, uint32_t len)
{
    if (len < 4)
        return -1;
    uint32_t dataLen = len - 4;
    uint32_t crc = 0;
    computeCrc32(&crc, buf, &dataLen);
    if (crc == getU32LE(buf + dataLen))
        return 0;
    logInfo("%s - CRC Error 0x%X", __func__, crc);
    return -1;
}

int isUsbKeyMounted()
{
    int mounted = 0;
    if (FILE* f = fopen(sysPath("/proc/mounts").c_str(), "r")) {
        char* line = nullptr;
        size_t cap = 0;
        while (getline(&line, &cap, f) >= 0) {
            if (strstr(line, "/mnt/usbkey") && strstr(line, "/dev/sd")) {
                mounted = 1;
                break;
            }
        }
        free(line);
        fclose(f);
    }
    setUsbKeyMounted(mounted ? 0 : 1);
    return mounted;
}

int readFwVersionFiles()
{
    uint32_t release = 0, version = 0, build = 0;
    readUintFile("/usr/local/conf/FwRelease", &release);
    readUintFile("/usr/local/conf/FwVersion", &version);
    int r = readUintFile("/usr/local/conf/FwBuild", &build);
    setVersionWord1(version);
    setVersionWord2(release);
    setVersionWord3(build);
    setVersionWord4(0x1BF71F32u);
    setVersionWord5(1);
    return r;
}

int readStandbyFwVersion()
{
    FILE* f = fopen(sysPath("/mnt/rfs_stby//etc/fw_version").c_str(), "r");
    if (!f)
        return -1;
    unsigned w[5] = {};
    char line[256];
    if (fgets(line, sizeof line, f))
        sscanf(line, "%u-%u", &w[0], &w[1]);
    if (fgets(line, sizeof line, f))
        sscanf(line, "%u.%u.%u", &w[2], &w[3], &w[4]);
    fclose(f);
    setVersionRef1(w[0]);
    setVersionRef2(w[1]);
    setVersionRef3(w[2]);
    setVersionRef4(w[3]);
    setVersionRef5(w[4]);
    return 0;
}

int loadFromFile(const char* path, uint32_t count, uint16_t* buf)
{
    Fd fd(open(sysPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.fd < 0) {
        logDebug("%s - can't open, loading defaults...", __func__);
        return -1;
    }
    size_t want = static_cast<size_t>(count) * 2;
    size_t got = 0;
    while (got < want) {
        ssize_t n = read(fd.fd, reinterpret_cast<char*>(buf) + got, want - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            logDebug("%s - can't read", __func__);
            return -1;
        }
        got += static_cast<size_t>(n);
        printf("Reading %d of %d in Config file\n", static_cast<int>(n), static_cast<int>(want - got));
    }
    return 0;
}

int saveToFile(const char* path, uint32_t count, const uint16_t* buf)
{
    static const char kTemp[] = "/usr/share/gw/tempfile";
    std::string hostTemp = sysPath(kTemp);
    Fd fd(open(hostTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0700));
    if (fd.fd < 0) {
        logDebug("%s - can't open", __func__);
        return -1;
    }
    size_t want = static_cast<size_t>(count) * 2;
    size_t done = 0;
    while (done < want) {
        ssize_t n = write(fd.fd, reinterpret_cast<const char*>(buf) + done, want - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            logDebug("%s - can't write", __func__);
            return -1;
        }
        done += static_cast<size_t>(n);
        printf("%s\nWriting %d of %d in Config file\n%s\n", kStars, static_cast<int>(n), static_cast<int>(want - done),
               kStars);
    }
    // Durable before it replaces the old file; a failed rename is a failed save.
    if (fsync(fd.fd) != 0 || rename(hostTemp.c_str(), sysPath(path).c_str()) != 0) {
        logDebug("%s - can't write", __func__);
        return -1;
    }
    syncParentDir(path);
    return 0;
}
