// DbPool shared cell grid.
#include "comtab/dbPool.h"

#include "core/base/logs.h"
#include "platform/paths.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

struct DbPoolState {
    // Base of the mapping; null until initDbAreaContainer mapped it.
    std::atomic<uint32_t*> DbAreaContainer{nullptr};
    // One ERR line per bad section number (the out-of-range ones share 0).
    std::atomic<bool> badCellLogged[DB_SECTIONS + 1];
};

DbPoolState& st()

{

    static DbPoolState s;

    return s;

}

std::string poolName()
{
    return shmObjectName("DbPool");
}

void logBadCell(uint32_t section, uint32_t item)
{
    uint32_t slot = (section >= 1 && section <= DB_SECTIONS) ? section : 0;
    if (st().badCellLogged[slot].exchange(true))
        return;
    logErr("getDbAreaCell - cell (%u, %u) is outside the grid, nothing published\n", section, item);
}

} // namespace

int initDbAreaContainer()
{
    std::string name = poolName();
    // A grid left by an earlier run is removed: every start begins from zeros.
    shm_unlink(name.c_str());
    int fd = shm_open(name.c_str(), O_RDWR | O_CREAT, 0);
    if (fd < 0) {
        printf("%s_%d : ERROR on open\n", __func__, __LINE__);
        return -1;
    }
    int result = 0;
    if (ftruncate(fd, static_cast<off_t>(DB_POOL_BYTES)) != 0) {
        printf("%s_%d : ERROR on ftruncate\n", __func__, __LINE__);
        result = -1;
    }
    void* base = mmap(nullptr, DB_POOL_BYTES, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) {
        printf("%s_%d : ERROR on mmap\n", __func__, __LINE__);
        result = -1;
    } else if (result == 0) {
        st().DbAreaContainer.store(static_cast<uint32_t*>(base));
    } else {
        // A mapping of an object that could not be sized would fault on use.
        munmap(base, DB_POOL_BYTES);
    }
    if (close(fd) != 0) {
        printf("%s_%d : ERROR on close\n", __func__, __LINE__);
    }
    return result;
}

uint32_t* getDbAreaCell(uint32_t section, uint32_t item)
{
    uint32_t* base = st().DbAreaContainer.load(std::memory_order_relaxed);
    if (section < 1 || section > DB_SECTIONS || item < 1 || item > DB_ITEMS) {
        logBadCell(section, item);
        return nullptr;
    }
    if (!base)
        return nullptr;
    return base + (section - 1) * DB_ITEMS + (item - 1);
}

void setDbAreaCell(uint32_t section, uint32_t item, uint32_t value)
{
    if (uint32_t* cell = getDbAreaCell(section, item))
        std::atomic_ref<uint32_t>(*cell).store(value, std::memory_order_relaxed);
}

uint32_t readDbAreaCell(uint32_t section, uint32_t item)
{
    uint32_t* cell = getDbAreaCell(section, item);
    return cell ? std::atomic_ref<uint32_t>(*cell).load(std::memory_order_relaxed) : 0;
}

void setDbAreaByte(uint32_t section, uint32_t item, uint32_t k, uint8_t value)
{
    // The cell that holds byte k; the area may run on into the next section.
    uint32_t word = item - 1 + k / 4;
    uint32_t* cell = getDbAreaCell(section + word / DB_ITEMS, word % DB_ITEMS + 1);
    if (!cell)
        return;
    uint8_t* byte = reinterpret_cast<uint8_t*>(cell) + k % 4;
    std::atomic_ref<uint8_t>(*byte).store(value, std::memory_order_relaxed);
}

void resetDbAreaRange()
{
    for (uint32_t item = 9; item <= 40; item++)
        setDbAreaCell(42, item, DB_NO_VALUE);
}
