#include "testing/daemonSandbox.h"

#include "testing/testSupport.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

void DaemonSandboxTest::SetUp()
{
    char tmpl[] = "/tmp/corvane-test-XXXXXX";
    root = mkdtemp(tmpl);
    sockPath = root + "/notify.sock";
    sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sockPath.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr), 0);
}

void DaemonSandboxTest::TearDown()
{
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    close(sock);
    removeTestSandbox(root);
}

bool DaemonSandboxTest::start(const std::function<bool()>& prepare)
{
    int ready[2];
    if (pipe(ready) != 0)
        return false;
    pid = fork();
    if (pid == 0) {
        close(ready[0]);
        int out = open((root + "/corvane.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // The sandbox's lock, as ./run takes it: held by the daemon for its life.
        int lock = takeSandboxLock(root);
        // Own network, IPC and mount namespaces; the sandbox's dev/shm
        // stands for /dev/shm so the run's shared memory stays inside it.
        std::string shm = root + "/dev/shm";
        char ok = lock >= 0 && unshare(CLONE_NEWNET | CLONE_NEWIPC | CLONE_NEWNS) == 0 &&
                          mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                          (!prepare || prepare())
                      ? 1
                      : 0;
        // The board's two Ethernet ports, as ./run makes them: the daemon's
        // socket channel binds on eth1.
        if (ok && system("ip link add eth0 type veth peer name eth1 >/dev/null 2>&1 && ip link set eth0 up"
                         " && ip link set eth1 up") != 0)
            ok = 0;
        mkdir((root + "/dev").c_str(), 0755);
        mkdir(shm.c_str(), 0755);
        if (ok && mount(shm.c_str(), "/dev/shm", nullptr, MS_BIND, nullptr) != 0)
            ok = 0;
        if (write(ready[1], &ok, 1) != 1 || !ok)
            _exit(77);
        dup2(out, 1);
        dup2(out, 2);
        setenv("CORVANE_ROOT", root.c_str(), 1);
        setenv("NOTIFY_SOCKET", sockPath.c_str(), 1);
        execl(CORVANE_BIN, CORVANE_BIN, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    char ok = 0;
    bool r = read(ready[0], &ok, 1) == 1 && ok == 1;
    close(ready[0]);
    return r;
}

std::string DaemonSandboxTest::nextNotify(int timeoutMs)
{
    struct pollfd p = {sock, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1)
        return "";
    char buf[256];
    ssize_t n = recv(sock, buf, sizeof buf - 1, 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

void DaemonSandboxTest::stop()
{
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    while (!nextNotify(100).empty()) {
    }
}

std::string DaemonSandboxTest::file(const std::string& unitPath) const
{
    std::ifstream in(root + unitPath, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

uint32_t DaemonSandboxTest::cell(uint32_t section, uint32_t item) const
{
    std::string pool;
    if (DIR* d = opendir((root + "/dev/shm").c_str())) {
        while (struct dirent* e = readdir(d))
            if (strstr(e->d_name, "DbPool"))
                pool = root + "/dev/shm/" + e->d_name;
        closedir(d);
    }
    std::ifstream in(pool, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(((section - 1) * 64 + (item - 1)) * 4));
    uint32_t v = 0xDEADBEEF;
    in.read(reinterpret_cast<char*>(&v), sizeof v);
    return in ? v : 0xDEADBEEF;
}
