#include "testing/dbPoolReader.h"

#include "platform/paths.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr size_t kPoolBytes = 64 * 64 * sizeof(uint32_t);

void childRead(int fd, const std::vector<std::pair<uint32_t, uint32_t>>& cells)
{
    int shm = shm_open(shmObjectName("DbPool").c_str(), O_RDONLY, 0);
    if (shm < 0)
        _exit(2);
    void* base = mmap(nullptr, kPoolBytes, PROT_READ, MAP_SHARED, shm, 0);
    if (base == MAP_FAILED)
        _exit(3);
    const volatile uint32_t* grid = static_cast<const volatile uint32_t*>(base);
    for (const auto& c : cells) {
        uint32_t v = grid[(c.first - 1) * 64 + (c.second - 1)];
        if (write(fd, &v, sizeof v) != static_cast<ssize_t>(sizeof v))
            _exit(4);
    }
    _exit(0);
}

} // namespace

int readDbPoolCellsInChild(const std::vector<std::pair<uint32_t, uint32_t>>& cells, std::vector<uint32_t>* values)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        close(fds[0]);
        childRead(fds[1], cells);
    }
    close(fds[1]);
    values->clear();
    uint32_t v;
    while (read(fds[0], &v, sizeof v) == static_cast<ssize_t>(sizeof v))
        values->push_back(v);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && values->size() == cells.size();
    return ok ? 0 : -1;
}

