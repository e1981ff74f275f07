// DbPool view, table images and the FPGA window of lumiro.
#include "display/dbView.h"

#include "platform/io.h"
#include "platform/paths.h"
#include "platform/regs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace lumiro {

namespace {

constexpr size_t kDbPoolSize = 16384;
constexpr int kCellsPerTable = 64;

// The largest readable element of each table; every other table is refused.
struct TableLimit {
    uint8_t table;
    uint8_t maxElement;
};
constexpr TableLimit kLimits[] = {
    {1, 9},   {2, 41},  {3, 8},   {5, 15},  {6, 12},  {7, 8},   {8, 8},   {9, 24},  {10, 11},
    {11, 27}, {12, 11}, {13, 19}, {14, 12}, {15, 9},  {16, 7},  {17, 23}, {18, 14}, {19, 15},
    {34, 16}, {35, 16}, {36, 16}, {40, 48}, {46, 51}, {47, 2},  {49, 11}, {50, 11},
};

int maxElement(int table)
{
    for (const TableLimit& l : kLimits)
        if (l.table == table)
            return l.maxElement;
    return 0;
}

enum Source { CELL, T4, SERIAL };

struct ImageWord {
    uint8_t image;
    uint8_t word;
    Source source;
    uint8_t table;
    uint8_t element;
};

constexpr ImageWord kLayout[] = {
#define IMAGE_WORD(image, word, source, table, element) {image, word, source, table, element},
#include "display/gen/imageLayouts.inc"
#undef IMAGE_WORD
};

constexpr size_t kAxiSize = 0x4000000;
constexpr off_t kAxiPhys = static_cast<off_t>(0xFC000000ULL);
constexpr uint32_t kBlockBase[13] = {0x3200000, 0x3200004, 0x3200058, 0x320008C, 0x3200074, 0x3200078, 0x320007C,
                                     0x3200080, 0x3200084, 0x3200088, 0x3200100, 0x3200200, 0x3300000};

struct ViewState {
    const volatile uint32_t* pool = nullptr;
    uint32_t images[6][66] = {};
    volatile uint8_t* axi = nullptr;
    int axiFd = -1;
};

ViewState& st()
{
    static ViewState s;
    return s;
}

uint32_t cell(int table, int element)
{
    if (!st().pool)
        return 0;
    return st().pool[(table - 1) * kCellsPerTable + (element - 1)];
}

uint32_t byteReversed(uint32_t w)
{
    return __builtin_bswap32(w);
}

// Four serial-number characters, one per cell from (table, element), the
// first most significant.
uint32_t serialWord(int table, int element)
{
    uint32_t w = 0;
    for (int i = 0; i < 4; i++)
        w = (w << 8) | (cell(table, element + i) & 0xFF);
    return w;
}

} // namespace

void initDbAreaContainer()
{
    const char* fn = "initDbAreaContainer";
    std::string name = shmObjectName("DbPool");
    int fd = shm_open(name.c_str(), O_RDWR | O_CREAT, 0);
    if (fd < 0) {
        printf("%s_%d : ERROR on open\n", fn, 583);
        return;
    }
    if (ftruncate(fd, kDbPoolSize) != 0) {
        printf("%s_%d : ERROR on ftruncate\n", fn, 587);
        close(fd);
        return;
    }
    void* p = mmap(nullptr, kDbPoolSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        printf("%s_%d : ERROR on mmap\n", fn, 592);
        close(fd);
        return;
    }
    st().pool = static_cast<const volatile uint32_t*>(p);
    if (close(fd) != 0)
        printf("%s_%d : ERROR on close\n", fn, 597);
}

void initDbPool()
{
    initDbAreaContainer();
}

void closeDbPool()
{
    if (st().pool)
        munmap(const_cast<uint32_t*>(st().pool), kDbPoolSize);
    st().pool = nullptr;
    memset(st().images, 0, sizeof st().images);
}

int readDbCell(uint16_t key, uint32_t* out)
{
    int table = key >> 8, element = key & 0xFF;
    if (element < 1 || element > maxElement(table))
        return 1;
    *out = cell(table, element);
    return 0;
}

void copyEventTable(uint32_t* dst, size_t n)
{
    for (size_t i = 0; i < n && i < kCellsPerTable; i++)
        dst[i] = byteReversed(cell(4, static_cast<int>(i) + 1));
}

int refreshTableCopy(uint8_t peer, uint8_t table, uint32_t length, uint32_t* dst, int local)
{
    (void)peer;
    (void)length;
    (void)dst;
    if (local != 1)
        return 9;
    if (table < 1 || table > 5) {
        printf("\n\n   ERROR :  Tab %u  doesn't exist !!! \n\n", table);
        return 0;
    }
    uint32_t* img = st().images[table];
    memset(img, 0, sizeof st().images[table]);
    // Table 4 is read as one block, the first words each image takes.
    uint32_t t4[4] = {};
    copyEventTable(t4, 3);
    for (const ImageWord& w : kLayout) {
        if (w.image != table)
            continue;
        switch (w.source) {
        case CELL: {
            uint32_t v = 0;
            readDbCell(static_cast<uint16_t>(w.table << 8 | w.element), &v);
            img[w.word] = v;
            break;
        }
        case T4: img[w.word] = t4[w.element]; break;
        case SERIAL: img[w.word] = serialWord(w.table, w.element); break;
        }
    }
    return 0;
}

uint32_t imageWord(int image, int word)
{
    if (image < 1 || image > 5 || word < 0 || word >= kImageWords[image])
        return 0;
    return st().images[image][word];
}

void setImageWord(int image, int word, uint32_t value)
{
    if (image >= 1 && image <= 5 && word >= 0 && word < kImageWords[image])
        st().images[image][word] = value;
}

uint8_t getSystemType()
{
    return static_cast<uint8_t>(imageWord(3, 5) & 0xFF);
}

long initAxi()
{
    int fd = ioOpen("/dev/mem", O_RDWR | O_SYNC);
    if (fd < 0) {
        printf("%s:%d open failed -> return %d", "initAxi", 117, -1);
        fflush(stdout);
        return -1;
    }
    void* p = ioMap(fd, kAxiSize, PROT_READ | PROT_WRITE, MAP_SHARED, kAxiPhys);
    if (p == MAP_FAILED) {
        printf("%s:%d mmap failed -> return %p (errno %s)\n", "initAxi", 112, p, strerror(errno));
        ioClose(fd);
        return reinterpret_cast<long>(p);
    }
    st().axi = static_cast<volatile uint8_t*>(p);
    st().axiFd = fd;
    return 0;
}

void closeAxi()
{
    if (st().axi)
        ioUnmap(const_cast<uint8_t*>(st().axi), kAxiSize);
    if (st().axiFd >= 0)
        ioClose(st().axiFd);
    st().axi = nullptr;
    st().axiFd = -1;
}

int readFpgaBlock(void* dst, int count, int width, int block, uint32_t offset)
{
    if (block < 0 || block > 12 || !st().axi)
        return -1;
    uint32_t base = kBlockBase[block] + offset;
    for (int i = 0; i < count; i++) {
        switch (width) {
        case 2:
            static_cast<uint32_t*>(dst)[i] = read32(st().axi + base + 4 * i);
            break;
        case 1:
            static_cast<uint16_t*>(dst)[i] = static_cast<uint16_t>(read32(st().axi + base + 4 * i) >> 16);
            break;
        default:
            // One byte address after the other, the word read there aligned
            // down as the bus does.
            static_cast<uint8_t*>(dst)[i] = static_cast<uint8_t>(read32(st().axi + ((base + i) & ~3u)) >> 24);
            break;
        }
    }
    return 0;
}

} // namespace lumiro
