// Where programs are found and how shell command lines reach them.
#include "platform/programs.h"

#include "platform/paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The system's program search path (what systemd gives its services).
constexpr const char* kSystemPath = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

bool hostSimulation()
{
    return !sandboxRoot().empty();
}

std::vector<std::string> searchDirs()
{
    const char* list = kSystemPath;
    if (!hostSimulation()) {
        const char* env = getenv("PATH");
        if (env && *env)
            list = env;
    }
    std::vector<std::string> dirs;
    std::string all = list;
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos)
            end = all.size();
        if (end > start)
            dirs.push_back(sysPath(all.substr(start, end - start).c_str()));
        start = end + 1;
    }
    return dirs;
}

} // namespace

std::string programPath(const char* program)
{
    if (strchr(program, '/'))
        return program[0] == '/' ? sysPath(program) : std::string(program);
    std::vector<std::string> dirs = searchDirs();
    for (const std::string& d : dirs) {
        std::string p = d + "/" + program;
        if (access(p.c_str(), X_OK) == 0)
            return p;
    }
    return (dirs.empty() ? std::string("/nonexistent") : dirs[0]) + "/" + program;
}

std::vector<std::string> programEnvironment()
{
    std::vector<std::string> env;
    for (char** e = environ; e && *e; e++) {
        if (hostSimulation() && !strncmp(*e, "PATH=", 5))
            continue;
        env.push_back(*e);
    }
    if (hostSimulation()) {
        std::string path = "PATH=";
        for (const std::string& d : searchDirs())
            path += (path.size() > 5 ? ":" : "") + d;
        env.push_back(path);
    }
    return env;
}

std::string mapShellLine(const char* line)
{
    const std::string& root = sandboxRoot();
    if (root.empty())
        return line;
    std::string out;
    char quote = 0;
    char prev = ' ';
    for (const char* p = line; *p; prev = *p++) {
        char c = *p;
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '/' && (prev == ' ' || prev == '\t' || strchr(";|&<>()", prev))) {
            out += root;
        }
        out += c;
    }
    return out;
}

int runShellLine(const char* line)
{
    // Everything the child needs is built before the fork.
    std::string shell = programPath("/bin/sh");
    std::string mapped = mapShellLine(line);
    std::vector<std::string> env = programEnvironment();
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    char arg0[] = "sh", arg1[] = "-c";
    char* argv[] = {arg0, arg1, mapped.data(), nullptr};
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        execve(shell.c_str(), argv, envp.data());
        _exit(127);
    }
    return waitChildStatus(pid);
}

int waitChildStatus(pid_t pid)
{
    int status;
    for (;;) {
        pid_t r = waitpid(pid, &status, 0);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}
