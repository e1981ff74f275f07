#include "sim/testSupport.h"

#include "platform/paths.h"

#include <cstdlib>
#include <sys/mman.h>
#include <fstream>
#include <sstream>

std::string makeTestSandbox()
{
    char tmpl[] = "/tmp/corvane-test-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    std::string root = dir ? dir : "/tmp/corvane-test-fallback";
    setSandboxRoot(root);
    platformInit();
    return root;
}

void removeTestSandbox(const std::string& root)
{
    if (root.rfind("/tmp/corvane-test-", 0) != 0)
        return;
    // The sandbox's shared-memory objects live in the host's /dev/shm.
    if (root == sandboxRoot())
        shm_unlink(shmObjectName("DbPool").c_str());
    std::string cmd = "rm -rf '" + root + "'";
    if (system(cmd.c_str()) != 0) {
        // Leave it for inspection.
    }
}

std::string readSandboxFile(const char* absPath)
{
    std::ifstream in(sysPath(absPath), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
