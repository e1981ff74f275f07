// Crash-safe replacement of a file through a synced temporary file.
#include "core/base/persistentFile.h"

#include "platform/paths.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// Writes all of `len` bytes unless the file refuses; returns the bytes written.
size_t writeAll(int fd, const void* data, size_t len)
{
    size_t done = 0;
    while (done < len) {
        ssize_t w = write(fd, static_cast<const char*>(data) + done, len - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        done += static_cast<size_t>(w);
    }
    return done;
}

// The host path a persistent write replaces: the file itself, or the file a
// symbolic link at `path` points to (one level; an absolute link text is a
// system path), so that replacing the file keeps the link.
std::string replacedFile(const char* path)
{
    std::string host = sysPath(path);
    char text[4096];
    ssize_t n = readlink(host.c_str(), text, sizeof text - 1);
    if (n <= 0)
        return host;
    text[n] = 0;
    if (text[0] == '/')
        return sysPath(text);
    return host.substr(0, host.rfind('/') + 1) + text;
}

// Syncs the folder that holds a host path.
int syncHostDir(const std::string& hostPath)
{
    size_t slash = hostPath.rfind('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : hostPath.substr(0, slash));
    int d = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d < 0)
        return -1;
    int r = fsync(d) == 0 ? 0 : -1;
    close(d);
    return r;
}

} // namespace

int syncParentDir(const char* path)
{
    return syncHostDir(sysPath(path));
}

int writePersistentFile(const char* path, const void* data, size_t len, size_t* written)
{
    std::string target = replacedFile(path);
    std::string tmp = target + "_tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    size_t done = writeAll(fd, data, len);
    if (written)
        *written = done;
    bool whole = done == len && fsync(fd) == 0;
    // A failed close can report a write the file system could not keep.
    if (close(fd) != 0)
        whole = false;
    if (!whole) {
        unlink(tmp.c_str());
        return -2;
    }
    if (rename(tmp.c_str(), target.c_str()) != 0) {
        unlink(tmp.c_str());
        return -3;
    }
    syncHostDir(target);
    return 0;
}
