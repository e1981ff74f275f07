// Stand-in for the DbPool module until it lands.
#include "comtab/dbPool.h"

#include "platform/paths.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr size_t kDbPoolBytes = 16384;

struct DbPoolStandIn {
    uint32_t* cells = nullptr;
};

DbPoolStandIn& st()
{
    static DbPoolStandIn s;
    return s;
}

} // namespace

void initDbAreaContainer()
{
    int fd = shm_open(shmObjectName("DbPool").c_str(), O_CREAT | O_RDWR, 0666);
    if (fd < 0)
        return;
    if (ftruncate(fd, kDbPoolBytes) != 0) {
        printf("%s_%d : ERROR on ftruncate", __func__, __LINE__);
        close(fd);
        return;
    }
    void* p = mmap(nullptr, kDbPoolBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED) {
        printf("%s_%d : ERROR on mmap", __func__, __LINE__);
        return;
    }
    st().cells = static_cast<uint32_t*>(p);
}

uint32_t* getDbAreaCell(int section, int item)
{
    if (!st().cells || section < 1 || section > 64 || item < 1 || item > 64)
        return nullptr;
    return st().cells + (section - 1) * 64 + (item - 1);
}
