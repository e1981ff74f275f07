// Stands in for systemd's notification socket in the host simulation:
// binds a datagram socket at the given path and writes every datagram it
// receives as one line, behind a CLOCK_MONOTONIC time stamp, to a log file.
//
//   notifyListen SOCKET_PATH LOG_FILE
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s SOCKET_PATH LOG_FILE\n", argv[0]);
        return 2;
    }
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (fd < 0 || strlen(argv[1]) >= sizeof addr.sun_path) {
        fprintf(stderr, "notifyListen: bad socket path\n");
        return 1;
    }
    strcpy(addr.sun_path, argv[1]);
    unlink(argv[1]);
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) != 0) {
        fprintf(stderr, "notifyListen: bind %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    FILE* log = fopen(argv[2], "a");
    if (!log) {
        fprintf(stderr, "notifyListen: open %s: %s\n", argv[2], strerror(errno));
        return 1;
    }
    char buf[4096];
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
        fprintf(log, "%ld.%06ld %s\n", static_cast<long>(ts.tv_sec), ts.tv_nsec / 1000, buf);
        fflush(log);
    }
    return 0;
}
