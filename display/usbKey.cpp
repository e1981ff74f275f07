// USB key mount and unmount through the system's mount programs, the file
// and preset lists, and the hand-over files.
#include "display/usbKey.h"

#include "platform/paths.h"
#include "platform/programs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumiro {

namespace {

// Whether /proc/mounts shows the key's mount point with a vfat file
// system; the other lines go to standard error.
bool usbKeyMounted()
{
    FILE* f = fopen(sysPath("/proc/mounts").c_str(), "r");
    if (!f)
        return false;
    char device[65], name[65], type[65], rest[1025];
    char line[1400];
    bool found = false;
    while (fgets(line, sizeof line, f)) {
        rest[0] = 0;
        if (sscanf(line, "%64s %64s %64s %1024[^\n]", device, name, type, rest) < 3)
            continue;
        if (!strcmp(name, kUsbMountPoint) && !strcmp(type, "vfat")) {
            found = true;
            break;
        }
        fprintf(stderr, "device: %s; name: %s; type: %s\n", device, name, type);
    }
    fclose(f);
    return found;
}

// Runs a mount program and waits for it: 0 on exit status 0, else 1;
// -1 when the fork fails.
int runMountProgram(const char* program, const char* const argv[], const char* execFailed, const char* forkFailed)
{
    // Everything the child needs is built before the fork.
    std::string path = programPath(program);
    std::vector<std::string> env = programEnvironment();
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        printf("%s\n", forkFailed);
        return -1;
    }
    if (pid == 0) {
        execve(path.c_str(), const_cast<char* const*>(argv), envp.data());
        static const char nl = '\n';
        ssize_t w = write(1, execFailed, strlen(execFailed));
        w = write(1, &nl, 1);
        (void)w;
        _exit(127);
    }
    printf("Child pid: %d\n", static_cast<int>(pid));
    int status = waitChildStatus(pid);
    if (status == 0)
        return 0;
    printf("Failed to USB KEY partition\n");
    return 1;
}

// Names in a folder, sorted, without "." and "..".
std::vector<std::string> folderNames(const char* dir)
{
    std::vector<std::string> names;
    DIR* d = opendir(sysPath(dir).c_str());
    if (!d)
        return names;
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool hasPrefix(const std::string& name, const char* prefix)
{
    size_t n = strlen(prefix);
    return name.size() > n && name.compare(0, n, prefix) == 0;
}

// The preset number of "cfg_N": N when the rest is a number of 1 to 6
// digits, else -1.
int presetNumber(const std::string& name)
{
    if (!hasPrefix(name, "cfg_"))
        return -1;
    std::string rest = name.substr(4);
    if (rest.size() > 6 || rest.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return atoi(rest.c_str());
}

} // namespace

int mountUsbKey()
{
    if (usbKeyMounted()) {
        printf("USB KEY partition mounted\n");
        return 0;
    }
    printf("Mount USB KEY partition\n");
    static const char* const argv[] = {"mount", "-t", "vfat", kUsbDevice, kUsbMountPoint, nullptr};
    return runMountProgram("/bin/mount", argv, "Failed to mount USB KEY partition", "Cannot mount USB KEY partition");
}

int umountUsbKey()
{
    if (!usbKeyMounted())
        return 0;
    printf("USB KEY partition mounted\n");
    printf("UMount USB KEY partition\n");
    static const char* const argv[] = {"umount", "-l", kUsbMountPoint, nullptr};
    return runMountProgram("/bin/umount", argv, "Failed to umount USB KEY partition",
                           "Cannot umount USB KEY partition");
}

bool buildUsbFileList(UsbListKind kind, std::vector<FileEntry>* out)
{
    static const char* const configPrefixes[] = {"config_"};
    static const char* const upgradePrefixes[] = {"upgrade_", "UPGRADE_", "predist_", "LinEq_"};
    out->clear();
    const char* dir = kind == USB_LIST_CONFIG ? kUsbConfigDir : kUsbUpgradeDir;
    for (const std::string& name : folderNames(dir)) {
        bool keep = false;
        if (kind == USB_LIST_CONFIG) {
            for (const char* p : configPrefixes)
                keep = keep || hasPrefix(name, p);
        } else {
            for (const char* p : upgradePrefixes)
                keep = keep || hasPrefix(name, p);
        }
        if (keep)
            out->push_back({name, 0});
    }
    return !out->empty();
}

bool buildPresetList(PresetMode mode, std::vector<FileEntry>* out)
{
    out->clear();
    if (mode == PRESET_SAVE) {
        for (int n = 1; n <= 8; n++)
            out->push_back({"Preset " + std::to_string(n), n});
        return true;
    }
    for (const std::string& name : folderNames(kPresetDir)) {
        int n = presetNumber(name);
        if (n >= 0)
            out->push_back({"Preset " + std::to_string(n), n});
    }
    std::stable_sort(out->begin(), out->end(),
                     [](const FileEntry& a, const FileEntry& b) { return a.preset < b.preset; });
    return !out->empty();
}

bool folderExists(const char* path)
{
    struct stat sb;
    return stat(sysPath(path).c_str(), &sb) == 0 && S_ISDIR(sb.st_mode);
}

int writeHandOver(const char* path, const std::string& name)
{
    std::string target = sysPath(path);
    std::string temp = target + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    if (ok) {
        size_t done = 0;
        while (ok && done < name.size()) {
            ssize_t n = write(fd, name.data() + done, name.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            if (ok)
                done += static_cast<size_t>(n);
        }
        ok = ok && fsync(fd) == 0;
        ok = close(fd) == 0 && ok;
    }
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        unlink(target.c_str());
        printf("ERROR: could not write %s\n", path);
        return -1;
    }
    return 0;
}

} // namespace lumiro
