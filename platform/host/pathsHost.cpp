// Host simulation: every absolute path lies below the sandbox root, and the
// global names carry a tag derived from it so two sandboxes never collide.
#include "platform/paths.h"
#include "platform/host/sandbox.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#ifndef CORVANE_DEFAULT_ROOT
#define CORVANE_DEFAULT_ROOT "/tmp/corvane-sandbox"
#endif

namespace {

struct PathsState {
    std::string root;
    bool set = false;
    std::mutex lock;
};

PathsState& st()
{
    static PathsState s;
    return s;
}

// FNV-1a of the root path: the sandbox's tag for global names.
uint32_t rootTag()
{
    uint32_t h = 2166136261u;
    for (unsigned char c : sandboxRoot()) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

// Directories of the running system. The simulation installs stand-in
// programs over <root>/bin/mount, <root>/bin/sh and others, so a root that
// is one of these would damage the machine.
const char* const kSystemDirs[] = {
    "/",          "/bin",          "/boot",          "/dev",           "/dev/shm",  "/etc",      "/home",
    "/lib",       "/lib32",        "/lib64",         "/libx32",        "/media",    "/mnt",      "/opt",
    "/proc",      "/root",         "/run",           "/sbin",          "/srv",      "/sys",      "/tmp",
    "/usr",       "/usr/bin",      "/usr/include",   "/usr/lib",       "/usr/lib64", "/usr/libexec", "/usr/local",
    "/usr/local/bin", "/usr/local/lib", "/usr/local/sbin", "/usr/local/share", "/usr/sbin", "/usr/share", "/usr/src",
    "/var",       "/var/cache",    "/var/lib",       "/var/log",       "/var/run",  "/var/spool", "/var/tmp",
};

// What the top level of a sandbox holds: the board's own tree, the
// simulated board (sim), and what ./run and the tests put beside them.
const char* const kSandboxEntries[] = {
    "bin",  "boot", "dev", "etc",   "home",  "lib",        "mnt",        "proc",        "run",       "sbin",
    "sim",  "spare", "sys", "tmp",  "upload", "usr",       "var",        "corvane.out", "notify.log", "notify.sock",
    "lcd.png", "lcd.png.new", "lost+found",
};

bool sameFile(const struct stat& a, const char* path)
{
    struct stat b;
    return stat(path, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The root with its symbolic links resolved; a trailing part that does not
// exist yet is kept as written. "" with *why set when it cannot be resolved.
std::string resolveRoot(const std::string& root, std::string* why)
{
    std::string path = root;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) {
            *why = std::string("the current directory is unknown: ") + strerror(errno);
            return "";
        }
        path = std::string(cwd) + "/" + path;
    }
    std::string tail;
    for (;;) {
        char real[PATH_MAX];
        if (realpath(path.c_str(), real)) {
            std::string r = real;
            if (!tail.empty())
                r += (r == "/" ? "" : "/") + tail;
            return r;
        }
        struct stat sb;
        if (errno != ENOENT || lstat(path.c_str(), &sb) == 0) {
            *why = errno == ENOENT ? "a symbolic link in it leads nowhere" : strerror(errno);
            return "";
        }
        size_t slash = path.rfind('/');
        std::string last = path.substr(slash + 1);
        // ".." after a folder still to be made would lead out of it.
        if (last == "..") {
            *why = "\"..\" follows a folder that does not exist";
            return "";
        }
        if (!last.empty() && last != ".")
            tail = tail.empty() ? last : last + "/" + tail;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
}

// Why `root` cannot be a sandbox, or "" when it can: it must not be (after
// symbolic links) "/", a directory of the running system or the user's
// home, nor lie in a kernel file system; an existing root must be a
// directory that is empty or holds only what a sandbox holds.
std::string unsafeRootReason(const std::string& root)
{
    if (root.empty())
        return "it is empty";
    std::string why;
    std::string real = resolveRoot(root, &why);
    if (real.empty())
        return why;
    struct stat sb;
    bool exists = stat(real.c_str(), &sb) == 0;
    if (real == "/")
        return "it is the machine's root directory";
    for (const char* dir : kSystemDirs)
        if (real == dir || (exists && sameFile(sb, dir)))
            return std::string("it is ") + dir + ", a directory of the running system";
    const char* home = getenv("HOME");
    if (home && *home && exists && sameFile(sb, home))
        return "it is the home directory";
    for (const char* fs : {"/proc/", "/sys/", "/dev/"})
        if (real.rfind(fs, 0) == 0 && real.rfind("/dev/shm/", 0) != 0)
            return std::string("it lies in ") + fs + ", a file system of the kernel";
    if (!exists)
        return "";
    if (!S_ISDIR(sb.st_mode))
        return "it is not a directory";
    DIR* d = opendir(real.c_str());
    if (!d)
        return std::string("it cannot be read: ") + strerror(errno);
    std::string stray;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        bool known = false;
        for (const char* entry : kSandboxEntries)
            known |= name == entry;
        // A link such as usr -> /usr would lead the stand-ins out of it; a
        // mount point the simulated board led to a partition folder inside
        // the sandbox stays in it.
        struct stat es;
        bool outside = false;
        if (known && fstatat(dirfd(d), e->d_name, &es, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(es.st_mode)) {
            char* target = realpath((real + "/" + name).c_str(), nullptr);
            outside = !target || strncmp(target, (real + "/").c_str(), real.size() + 1) != 0;
            free(target);
        }
        if (!known || outside) {
            stray = name;
            why = known ? "a symbolic link" : "which no sandbox holds";
            break;
        }
    }
    closedir(d);
    if (!stray.empty())
        return "it holds \"" + stray + "\", " + why;
    return "";
}

// Ends the program (status 2, one line on standard error) when `root`
// cannot be a sandbox: every path of the simulation lies below it.
void refuseUnsafeRoot(const std::string& root)
{
    std::string why = unsafeRootReason(root);
    if (why.empty())
        return;
    fprintf(stderr, "%s: refusing the sandbox root \"%s\": %s; CORVANE_ROOT must name a new, empty or sandbox "
                    "directory\n",
            program_invocation_short_name, root.c_str(), why.c_str());
    fflush(nullptr);
    _exit(2);
}

} // namespace

const std::string& sandboxRoot()
{
    std::lock_guard<std::mutex> g(st().lock);
    if (!st().set) {
        const char* env = std::getenv("CORVANE_ROOT");
        st().root = (env && *env) ? env : CORVANE_DEFAULT_ROOT;
        while (st().root.size() > 1 && st().root.back() == '/')
            st().root.pop_back();
        refuseUnsafeRoot(st().root);
        st().set = true;
    }
    return st().root;
}

void setSandboxRoot(const std::string& root)
{
    refuseUnsafeRoot(root);
    std::lock_guard<std::mutex> g(st().lock);
    st().root = root;
    st().set = true;
}

std::string sysPath(const char* absPath)
{
    if (!absPath || absPath[0] != '/')
        return absPath ? absPath : "";
    return sandboxRoot() + absPath;
}

key_t sysvKey(int key)
{
    // Keys stay distinct per sandbox; the low 16 bits keep the system's key.
    return static_cast<key_t>(((rootTag() & 0x3fffu) << 16) | (static_cast<uint32_t>(key) & 0xffffu));
}

std::string shmObjectName(const char* name)
{
    char tag[16];
    snprintf(tag, sizeof tag, "%08x", rootTag());
    std::string n = name;
    if (!n.empty() && n[0] == '/')
        n.erase(0, 1);
    return "/corvane-" + std::string(tag) + "-" + n;
}
