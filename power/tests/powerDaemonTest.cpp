// The power settings in the running daemon on the default board: the
// defaults the transmitter logic writes, as another process reads them in
// DbPool.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

namespace {

class PowerDaemon : public DaemonSandboxTest {};

TEST_F(PowerDaemon, DefaultPowerSettingsArePublished)
{
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(15000).rfind("MAINPID=", 0), 0u);
    ASSERT_EQ(nextNotify(15000), "READY=1");
    const struct {
        uint32_t section, item, value;
    } cells[] = {{5, 1, 300}, {5, 19, 10000}, {13, 26, 30}, {13, 32, 360}, {13, 33, 127}, {5, 23, 65},
                 {5, 2, 30},  {5, 3, 100},    {5, 4, 15},   {5, 5, 150},  {13, 3, 400000}, {13, 27, 72}};
    for (const auto& c : cells)
        EXPECT_EQ(cell(c.section, c.item), c.value) << "(" << c.section << ", " << c.item << ")";
}

} // namespace
