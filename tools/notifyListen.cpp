// Stands in for systemd's notification socket in the host simulation:
// binds a datagram socket at the given path and writes every datagram it
// receives as one line, behind a CLOCK_MONOTONIC time stamp, to a log file.
//
//   notifyListen SOCKET_PATH LOG_FILE
//
// sd_notify blocks the daemon's main loop once the socket's receive queue
// is full, so the listener never stops draining it: terminal job control
// does not stop it, the log is a regular file opened without blocking, and
// a line that cannot be written is dropped (said once on standard error)
// rather than waited for. Only SIGSTOP still stops it, as it would stop
// systemd's journal.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <initializer_list>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Opens the log for appending: a regular file, not through a link, never
// blocking on a FIFO planted in its place. -1 after saying why.
int openLog(const char* path)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    int e = errno;
    struct stat sb;
    if (fd < 0 && (lstat(path, &sb) != 0 || S_ISREG(sb.st_mode))) {
        fprintf(stderr, "notifyListen: open %s: %s\n", path, strerror(e));
        return -1;
    }
    if (fd < 0 || fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
        fprintf(stderr, "notifyListen: %s is not a regular file\n", path);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s SOCKET_PATH LOG_FILE\n", argv[0]);
        return 2;
    }
    for (int sig : {SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE, SIGXFSZ})
        signal(sig, SIG_IGN);
    // The log first: nothing is bound (and nothing can queue up) until the
    // listener can write.
    int log = openLog(argv[2]);
    if (log < 0)
        return 1;
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (fd < 0 || strlen(argv[1]) >= sizeof addr.sun_path) {
        fprintf(stderr, "notifyListen: bad socket path\n");
        return 1;
    }
    strcpy(addr.sun_path, argv[1]);
    unlink(argv[1]);
    // Room for bursts while the log is slow.
    int room = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) != 0) {
        fprintf(stderr, "notifyListen: bind %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    char buf[4096];
    bool failing = false;
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf - 1, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        buf[n] = 0;
        // One line per datagram: fold embedded newlines of multi-field messages.
        while (n > 0 && buf[n - 1] == '\n')
            buf[--n] = 0;
        for (ssize_t i = 0; i < n; i++)
            if (buf[i] == '\n')
                buf[i] = ' ';
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        char line[sizeof buf + 32];
        int len = snprintf(line, sizeof line, "%ld.%06ld %s\n", static_cast<long>(ts.tv_sec), ts.tv_nsec / 1000, buf);
        size_t want = static_cast<size_t>(len) < sizeof line ? static_cast<size_t>(len) : sizeof line - 1;
        size_t done = 0;
        ssize_t w = 0;
        while (done < want && (w = write(log, line + done, want - done)) > 0)
            done += static_cast<size_t>(w);
        if (done < want && !failing) {
            failing = true;
            fprintf(stderr, "notifyListen: cannot write %s: %s; datagrams are dropped until it can\n", argv[2],
                    w < 0 ? strerror(errno) : "nothing written");
        } else if (done == want && failing) {
            failing = false;
            fprintf(stderr, "notifyListen: %s is written again\n", argv[2]);
        }
    }
    return 0;
}
