// Host simulation: every absolute path lies below the sandbox root, and the
// global names carry a tag derived from it so two sandboxes never collide.
#include "platform/paths.h"
#include "platform/host/sandbox.h"

#include <cstdlib>
#include <mutex>

#ifndef CORVANE_DEFAULT_ROOT
#define CORVANE_DEFAULT_ROOT "/tmp/corvane-sandbox"
#endif

namespace {

struct PathsState {
    std::string root;
    bool set = false;
    std::mutex lock;
};

PathsState& st()
{
    static PathsState s;
    return s;
}

// FNV-1a of the root path: the sandbox's tag for global names.
uint32_t rootTag()
{
    uint32_t h = 2166136261u;
    for (unsigned char c : sandboxRoot()) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

} // namespace

const std::string& sandboxRoot()
{
    std::lock_guard<std::mutex> g(st().lock);
    if (!st().set) {
        const char* env = std::getenv("CORVANE_ROOT");
        st().root = (env && *env) ? env : CORVANE_DEFAULT_ROOT;
        while (st().root.size() > 1 && st().root.back() == '/')
            st().root.pop_back();
        st().set = true;
    }
    return st().root;
}

void setSandboxRoot(const std::string& root)
{
    std::lock_guard<std::mutex> g(st().lock);
    st().root = root;
    st().set = true;
}

std::string sysPath(const char* absPath)
{
    if (!absPath || absPath[0] != '/')
        return absPath ? absPath : "";
    return sandboxRoot() + absPath;
}

key_t sysvKey(int key)
{
    // Keys stay distinct per sandbox; the low 16 bits keep the system's key.
    return static_cast<key_t>(((rootTag() & 0x3fffu) << 16) | (static_cast<uint32_t>(key) & 0xffffu));
}

std::string shmObjectName(const char* name)
{
    char tag[16];
    snprintf(tag, sizeof tag, "%08x", rootTag());
    std::string n = name;
    if (!n.empty() && n[0] == '/')
        n.erase(0, 1);
    return "/corvane-" + std::string(tag) + "-" + n;
}
