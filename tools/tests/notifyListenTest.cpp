// The notification listener of ./run: whatever happens to its log or its
// terminal, it keeps draining the socket, so sd_notify never blocks the
// daemon on its account.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class NotifyListen : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/corvane-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        sockPath = dir + "/notify.sock";
        logPath = dir + "/notify.log";
    }
    void TearDown() override
    {
        stop();
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0)
            ADD_FAILURE() << "cannot remove " << dir;
    }
    // Starts the listener; `inChild` runs in its process before the exec.
    void start(const std::function<void()>& inChild = nullptr)
    {
        int err[2];
        ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
        pid = fork();
        if (pid == 0) {
            dup2(err[1], 2);
            if (inChild)
                inChild();
            execl(CORVANE_TOOLS_DIR "/notifyListen", "notifyListen", sockPath.c_str(), logPath.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(err[1]);
        errFd = err[0];
        fcntl(errFd, F_SETFL, O_NONBLOCK);
    }
    void stop()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
        if (errFd >= 0)
            close(errFd);
        errFd = -1;
    }
    std::string stderrText()
    {
        char buf[1024];
        ssize_t n;
        while (errFd >= 0 && (n = read(errFd, buf, sizeof buf)) > 0)
            said.append(buf, static_cast<size_t>(n));
        return said;
    }
    bool waitForSocket()
    {
        struct stat sb;
        for (int i = 0; i < 100; i++) {
            if (stat(sockPath.c_str(), &sb) == 0 && S_ISSOCK(sb.st_mode))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // Sends `count` datagrams as sd_notify does (blocking), each allowed at
    // most 2 s; returns how many went out.
    int send(int count)
    {
        int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        struct timeval limit = {2, 0};
        setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        struct sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sockPath.c_str());
        int sent = 0;
        for (int i = 0; i < count; i++) {
            std::string msg = "WATCHDOG=1 " + std::to_string(i);
            if (sendto(s, msg.data(), msg.size(), 0, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) < 0)
                break;
            sent++;
        }
        close(s);
        return sent;
    }

    std::string dir, sockPath, logPath, said;
    pid_t pid = -1;
    int errFd = -1;
};

TEST_F(NotifyListen, AFifoAsItsLogIsRefusedBeforeTheSocketExists)
{
    ASSERT_EQ(mkfifo(logPath.c_str(), 0644), 0);
    start();
    int status = -1;
    bool ended = false;
    for (int i = 0; i < 50 && !ended; i++) {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(ended) << "the listener hangs on its log";
    pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(stderrText(), "notifyListen: " + logPath + " is not a regular file\n");
    struct stat sb;
    EXPECT_NE(stat(sockPath.c_str(), &sb), 0) << "a socket nobody drains";
}

TEST_F(NotifyListen, KeepsDrainingWhenTheTerminalStopsItOrItsLogFails)
{
    // Job control of the terminal (Ctrl-Z) and a log that can take no more
    // (a file size limit here, a full disk elsewhere).
    start([] {
        struct rlimit small = {64, 64};
        setrlimit(RLIMIT_FSIZE, &small);
    });
    ASSERT_TRUE(waitForSocket());
    kill(pid, SIGTSTP);
    EXPECT_EQ(send(3000), 3000);
    std::string err = stderrText();
    EXPECT_EQ(err, "notifyListen: cannot write " + logPath +
                       ": File too large; datagrams are dropped until it can\n");
    std::ifstream in(logPath);
    std::string first;
    std::getline(in, first);
    EXPECT_NE(first.find(" WATCHDOG=1 0"), std::string::npos) << first;
}

} // namespace
