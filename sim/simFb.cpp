// Simulated LCD frame buffer.
#include "sim/simFb.h"

#include "platform/host/ioDevice.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/simState.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/fb.h>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Knobs {
    bool failOpen = false, failFix = false, failVar = false, failMap = false;
    int yres = kSimFbHeight;
};

Knobs readKnobs()
{
    Knobs k;
    std::ifstream in(simFilePath("fb0.fail"));
    std::string word;
    while (in >> word) {
        if (word == "open")
            k.failOpen = true;
        else if (word == "fscreen")
            k.failFix = true;
        else if (word == "vscreen")
            k.failVar = true;
        else if (word == "map")
            k.failMap = true;
        else if (word == "yres")
            in >> k.yres;
    }
    return k;
}

class SimFbDevice : public IoDevice {
public:
    int open(int, int) override { return readKnobs().failOpen ? -ENODEV : 0; }

    int ioctl(int, unsigned long request, void* arg) override
    {
        Knobs k = readKnobs();
        if (request == FBIOGET_FSCREENINFO) {
            if (k.failFix)
                return -EIO;
            auto* f = static_cast<struct fb_fix_screeninfo*>(arg);
            memset(f, 0, sizeof *f);
            strncpy(f->id, "simfb", sizeof f->id - 1);
            f->smem_len = static_cast<uint32_t>(kSimFbSize);
            f->type = FB_TYPE_PACKED_PIXELS;
            f->visual = FB_VISUAL_TRUECOLOR;
            f->line_length = kSimFbWidth * 2;
            return 0;
        }
        if (request == FBIOGET_VSCREENINFO) {
            if (k.failVar)
                return -EIO;
            auto* v = static_cast<struct fb_var_screeninfo*>(arg);
            memset(v, 0, sizeof *v);
            v->xres = v->xres_virtual = kSimFbWidth;
            v->yres = v->yres_virtual = static_cast<uint32_t>(k.yres);
            v->bits_per_pixel = 16;
            v->red = {11, 5, 0};
            v->green = {5, 6, 0};
            v->blue = {0, 5, 0};
            return 0;
        }
        return -ENOTTY;
    }

    void* map(int, size_t len, int prot, int flags, off_t offset) override
    {
        if (readKnobs().failMap || offset != 0 || len == 0 || len > kSimFbSize) {
            errno = readKnobs().failMap ? ENOMEM : EINVAL;
            return nullptr;
        }
        int fd = simOpenMappedFile(simFbPath(), kSimFbSize, 0, kSimFbSize);
        if (fd < 0) {
            errno = ENOMEM;
            return nullptr;
        }
        void* p = mmap(nullptr, len, prot, flags, fd, 0);
        int e = errno;
        ::close(fd);
        if (p == MAP_FAILED) {
            errno = e;
            return nullptr;
        }
        return p;
    }

    int unmap(void* addr, size_t len) override { return munmap(addr, len); }
};

// The boot image: a white frame around a black screen.
std::string bootImage()
{
    std::string img(kSimFbSize, '\0');
    for (int y = 0; y < kSimFbHeight; y++)
        for (int x = 0; x < kSimFbWidth; x++)
            if (x < 2 || y < 2 || x >= kSimFbWidth - 2 || y >= kSimFbHeight - 2) {
                img[2 * (y * kSimFbWidth + x)] = '\xFF';
                img[2 * (y * kSimFbWidth + x) + 1] = '\xFF';
            }
    return img;
}

int makeIfMissing(const std::string& hostPath, const std::string& content)
{
    struct stat sb;
    if (lstat(hostPath.c_str(), &sb) == 0)
        return 0;
    simMakeDirs(hostPath.substr(0, hostPath.rfind('/')).c_str());
    return simWriteFile(hostPath, content);
}

} // namespace

IoDevice* simFbDevice()
{
    static SimFbDevice dev;
    return &dev;
}

std::string simFbPath()
{
    return simFilePath("fb0");
}

int simFbInstall()
{
    int fd = simOpenMappedFile(simFbPath(), kSimFbSize, 0, kSimFbSize);
    if (fd < 0)
        return -1;
    ::close(fd);
    int r = 0;
    std::string link = sysPath("/dev/fb0");
    struct stat sb;
    if (lstat(link.c_str(), &sb) != 0) {
        simMakeDirs(sysPath("/dev").c_str());
        if (symlink(simFbPath().c_str(), link.c_str()) != 0 && errno != EEXIST)
            r = -1;
    }
    r |= makeIfMissing(sysPath("/sys/class/graphics/fb0/blank"), "0");
    r |= makeIfMissing(sysPath("/usr/local/imgs/radio.bmp"), bootImage());
    return r;
}
