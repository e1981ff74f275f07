#include "persist/childProgram.h"

#include "platform/paths.h"
#include "platform/programs.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int runChild(const char* program, const char* const argv[], std::string* out, const char* cwd)
{
    // Everything the child needs is built before the fork: between fork and
    // exec it only calls async-signal-safe functions.
    std::string path = programPath(program);
    std::string dir = cwd ? sysPath(cwd) : std::string();
    std::vector<std::string> env = programEnvironment();
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    int fds[2] = {-1, -1};
    if (out && pipe2(fds, O_CLOEXEC) != 0)
        return -2;
    pid_t pid = fork();
    if (pid < 0) {
        if (out) {
            close(fds[0]);
            close(fds[1]);
        }
        return -2;
    }
    if (pid == 0) {
        if (out) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
        }
        if (cwd && chdir(dir.c_str()) != 0)
            _exit(127);
        execve(path.c_str(), const_cast<char* const*>(argv), envp.data());
        _exit(127);
    }
    if (out) {
        close(fds[1]);
        char buf[512];
        for (;;) {
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            out->append(buf, static_cast<size_t>(n));
        }
        close(fds[0]);
    }
    return waitChildStatus(pid);
}

} // namespace

int runChildProgram(const char* program, const char* const argv[], const char* cwd)
{
    return runChild(program, argv, nullptr, cwd);
}

int runChildCapture(const char* program, const char* const argv[], std::string& out)
{
    return runChild(program, argv, &out, nullptr);
}
