// The sandbox root of the host simulation: roots that are the machine's own
// tree are refused before anything is written, prepared sandboxes are not.
#include "testing/testSupport.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct RunResult {
    int status = -1; // exit status; -1 killed after the time limit or by a signal
    std::string output;
};

// Runs argv with CORVANE_ROOT=root in its own process group; its standard
// output and error are collected. Killed after limitMs.
RunResult runWithRoot(const std::string& root, const std::vector<std::string>& args, int limitMs)
{
    RunResult r;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return r;
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        clearenv();
        setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
        setenv("CORVANE_ROOT", root.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    int left = limitMs;
    char buf[512];
    while (left > 0) {
        struct pollfd p = {out[0], POLLIN, 0};
        if (poll(&p, 1, 100) == 1) {
            ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0)
                break;
            r.output.append(buf, static_cast<size_t>(n));
        } else {
            left -= 100;
        }
    }
    close(out[0]);
    kill(-pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Every path below an upper layer (what was written through the overlay).
void listTree(int dirFd, const std::string& prefix, std::string* out)
{
    DIR* d = fdopendir(dirFd);
    if (!d)
        return;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        *out += prefix + "/" + name + "\n";
        int sub = openat(dirfd(d), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0)
            listTree(sub, prefix + "/" + name, out);
    }
    closedir(d);
}

bool bindNode(const std::string& merged, const char* node)
{
    std::string target = merged + node;
    int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    close(fd);
    return mount(node, target.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

// Makes "/" of a private mount namespace an overlay of the machine's root
// whose upper layer lies in a tmpfs on `scratch`, and enters it, with a
// read-only /proc, a /dev of harmless nodes and `scratch`/play writable at
// the path `scratch`. Returns a descriptor of the upper layer, or -1.
int enterOverlay(const std::string& scratch)
{
    if (unshare(CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWIPC) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("scratch", scratch.c_str(), "tmpfs", 0, "size=64m") != 0)
        return -1;
    std::string upper = scratch + "/upper", work = scratch + "/work", merged = scratch + "/merged",
                play = scratch + "/play";
    for (const std::string& d : {upper, work, merged, play})
        if (mkdir(d.c_str(), 0755) != 0)
            return -1;
    std::string opts = "lowerdir=/,upperdir=" + upper + ",workdir=" + work;
    if (mount("overlay", merged.c_str(), "overlay", 0, opts.c_str()) != 0)
        return -1;
    std::string proc = merged + "/proc", dev = merged + "/dev", shm = merged + "/dev/shm";
    if (mount("/proc", proc.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, proc.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0 ||
        mount("dev", dev.c_str(), "tmpfs", 0, "size=1m") != 0 || mkdir(shm.c_str(), 01777) != 0)
        return -1;
    for (const char* node : {"/dev/null", "/dev/zero", "/dev/urandom", "/dev/random"})
        if (!bindNode(merged, node))
            return -1;
    if (mount(play.c_str(), (merged + scratch).c_str(), nullptr, MS_BIND, nullptr) != 0)
        return -1;
    int upperFd = open(upper.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (upperFd < 0 || chroot(merged.c_str()) != 0 || chdir(scratch.c_str()) != 0)
        return -1;
    return upperFd;
}

void writeAll(int fd, const std::string& text)
{
    uint32_t n = static_cast<uint32_t>(text.size());
    if (write(fd, &n, sizeof n) != sizeof n || write(fd, text.data(), n) != static_cast<ssize_t>(n))
        _exit(1);
}

TEST(SandboxRoot, TheMachinesOwnTreeIsRefusedAndLeftUntouched)
{
    char tmpl[] = "/tmp/corvane-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string scratch = tmpl;
    std::string bin = CORVANE_BIN, tools = CORVANE_TOOLS_DIR, source = CORVANE_SOURCE_DIR;
    struct Case {
        std::string root;
        std::vector<std::string> argv;
    };
    // Inside the overlay: "/", a system directory through ./run, an existing
    // directory of other files (the source tree), /tmp itself, and a
    // symbolic link to "/".
    const std::vector<Case> cases = {
        {"/", {bin}},
        {"/usr", {"/bin/bash", source + "/run", "--build", tools, "--seconds", "1"}},
        {source, {bin}},
        {"/tmp", {bin}},
        {scratch + "/link", {tools + "/simctl", "devices"}},
    };

    int report[2];
    ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        int upper = enterOverlay(scratch);
        if (upper < 0) {
            writeAll(report[1], std::string("no overlay: ") + strerror(errno));
            _exit(0);
        }
        writeAll(report[1], "");
        if (symlink("/", (scratch + "/link").c_str()) != 0)
            _exit(1);
        for (const Case& c : cases) {
            RunResult r = runWithRoot(c.root, c.argv, 20000);
            writeAll(report[1], std::to_string(r.status) + " " + r.output);
        }
        std::string changed;
        listTree(upper, "", &changed);
        writeAll(report[1], changed);
        _exit(0);
    }
    close(report[1]);
    std::string data;
    char buf[4096];
    for (int waited = 0; waited < 180000;) {
        struct pollfd p = {report[0], POLLIN, 0};
        if (poll(&p, 1, 500) != 1) {
            waited += 500;
            continue;
        }
        ssize_t n = read(report[0], buf, sizeof buf);
        if (n <= 0)
            break;
        data.append(buf, static_cast<size_t>(n));
    }
    close(report[0]);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    rmdir(scratch.c_str());

    std::vector<std::string> records;
    for (size_t at = 0; at + 4 <= data.size();) {
        uint32_t n;
        memcpy(&n, data.data() + at, 4);
        records.push_back(data.substr(at + 4, n));
        at += 4 + n;
    }
    ASSERT_FALSE(records.empty());
    if (!records[0].empty())
        GTEST_SKIP() << records[0] << "; the programs are not run outside a private overlay";
    ASSERT_EQ(records.size(), cases.size() + 2);
    for (size_t i = 0; i < cases.size(); i++) {
        const std::string& r = records[i + 1];
        EXPECT_EQ(r.substr(0, 2), "2 ") << cases[i].root << ": " << r;
        size_t lines = 0;
        for (char c : r)
            lines += c == '\n';
        EXPECT_EQ(lines, 1u) << cases[i].root << ": " << r;
        EXPECT_NE(r.find("refusing the sandbox root \"" + cases[i].root + "\""), std::string::npos) << r;
    }
    EXPECT_EQ(records.back(), "") << "written outside the scratch directory";
}

void makeFile(const std::string& path, const std::string& text)
{
    std::string dir = path.substr(0, path.rfind('/'));
    std::string cmd = "mkdir -p '" + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    std::ofstream(path) << text;
}

TEST(SandboxRoot, PreparedSandboxesAreAcceptedAndStrayDirectoriesRefused)
{
    char tmpl[] = "/tmp/corvane-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string scratch = tmpl;
    std::string check = CORVANE_TOOLS_DIR "/sandboxCheck";

    // Prepared before its first start as the tests and people do: files of
    // the board's tree, the shared memory of a run, the simulated board, the
    // configuration, and an identity written by unitRecord.
    std::string prepared = scratch + "/prepared";
    makeFile(prepared + "/dev/ubi0", "");
    makeFile(prepared + "/dev/shm/vrl_debug.log", "");
    makeFile(prepared + "/mnt/ubi0/conf/Config.xml", "<config/>\n");
    std::ifstream profile(CORVANE_SOURCE_DIR "/sim/profiles/default.profile");
    makeFile(prepared + "/sim/board.profile", std::string(std::istreambuf_iterator<char>(profile), {}));
    makeFile(prepared + "/run/daemon.lock", "");
    int status = -1;
    std::string out = runInSandbox(prepared, CORVANE_TOOLS_DIR "/unitRecord --serial SN0123456789 --front "
                                             "00:50:c2:00:00:01 --rear 00:50:c2:00:00:02",
                                   &status);
    EXPECT_EQ(status, 0) << out;
    for (const std::string& root : {prepared, prepared + "/", scratch + "/new/sandbox", scratch + "/empty"}) {
        mkdir((scratch + "/empty").c_str(), 0755);
        out = runInSandbox(root, check, &status);
        EXPECT_EQ(status, 0) << root << ": " << out;
    }

    // Refused: a directory of other files, a file, a link to "/", a
    // sandbox folder that is a link out of it, and a part still to be made
    // followed by "..".
    makeFile(scratch + "/home/.profile", "");
    makeFile(scratch + "/file", "");
    ASSERT_EQ(symlink("/", (scratch + "/root").c_str()), 0);
    ASSERT_EQ(mkdir((scratch + "/linked").c_str(), 0755), 0);
    ASSERT_EQ(symlink("/usr", (scratch + "/linked/usr").c_str()), 0);
    for (const std::string& root : {scratch + "/home", scratch + "/file", scratch + "/root", scratch + "/linked",
                                    scratch + "/missing/../../..", scratch}) {
        out = runInSandbox(root, check, &status);
        EXPECT_EQ(status, 2) << root << ": " << out;
        EXPECT_EQ(out.rfind("sandboxCheck: refusing the sandbox root \"" + root + "\": ", 0), 0u) << out;
        EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    }
    std::string cmd = "rm -rf '" + scratch + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

} // namespace
