// The command table on the virtual clock: the entries that wait for the
// configuration, the imports' statuses, the USB key mount and unmount, the
// firmware update from the key, the FM receiver, the published cells.
#include "comtab/commandTable.h"

#include "Config/keys/systemKeys.h"
#include "comtab/commandHandlers.h"
#include "comtab/dbPool.h"
#include "comtab/tests/commandTestFixture.h"
#include "core/children.h"
#include "core/files.h"
#include "testing/dbPoolReader.h"
#include "testing/testSupport.h"

#include <chrono>
#include <fstream>
#include <sys/stat.h>

namespace {

int16_t failLoad()
{
    return -1;
}

int16_t passSave()
{
    return 0;
}

int noReset()
{
    return -1;
}

const ConfigFileStore kFailingLoad = {failLoad, passSave, noReset, noReset, noReset, noReset};

int mdevStarts()
{
    setMdevProcState(4);
    return 0;
}

const CommandTableServices kServices = {nullptr, nullptr, isUsbKeyMounted, mdevStarts, spawnProgram, pollProgram};

class CommandTableTest : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        registerCommandTableServices(&kServices);
    }

    bool exists(const char* path)
    {
        struct stat sb;
        return stat(host(path).c_str(), &sb) == 0;
    }

    void write(const char* path, const std::string& text)
    {
        std::string p = host(path);
        simMakeDirs(p.substr(0, p.rfind('/')).c_str());
        std::ofstream(p) << text;
    }

    // A new firmware update from the key: the entry cleared, then requested.
    void requestUpdateFromKey()
    {
        setUpgradeSource(2);
        setUpgradeState(0);
        ASSERT_EQ(setCommandRequest(9, 2), 0);
        tick();
        ASSERT_EQ(setCommandRequest(9, 1), 0);
    }

    // Ticks until the update's step is done: the copy from the key runs as a
    // child, in real time.
    bool tickUntilUpdateServed()
    {
        return waitUntil(
            [&] {
                tick();
                return getCommandStatus(9) == 1u;
            },
            5000, 1);
    }

    // The key as the daemon sees it: its line in the mount table.
    void plugKey()
    {
        write("/proc/mounts", "/dev/root / ext4 rw 0 0\n/dev/sda1 /mnt/usbkey vfat rw,relatime 0 0\n");
        simMakeDirs(host("/mnt/usbkey").c_str());
    }
};

TEST_F(CommandTableTest, ConfigurationEntryWaitsTenSecondsFromEachRequest)
{
    markConfigChanged(0x10);
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round);
        size_t mark = book().size();
        ASSERT_EQ(setCommandRequest(14, 1), 0);
        testing::internal::CaptureStdout();
        tick(999);
        EXPECT_EQ(getCommandStatus(14), 1u);
        EXPECT_EQ(count(since(mark), "INFO: load configuration request\n"), 999u) << "repeated each tick";
        tick();
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(getCommandStatus(14), 3u);
        EXPECT_EQ(readDbAreaCell(49, 5), 3u);
        EXPECT_EQ(count(out, "timeout on configuration\n"), 1u);
        EXPECT_EQ(getCommandRequest(14), 0u);
    }
}

TEST_F(CommandTableTest, ImportsEndInFourOnACopyFailureAndFiveOnALoadFailure)
{
    struct Case {
        const char* what;
        int entry;
        bool upload;
        const ConfigFileStore* store;
        uint32_t status;
        const char* out;  // standard output
        const char* book; // a book line
    } cases[] = {
        {"USB key not mounted", 14, false, nullptr, 4, "copy config from USB fails\n", nullptr},
        {"nothing uploaded", 16, false, nullptr, 4, "copy config from Net fails\n", nullptr},
        {"uploaded, load fails", 16, true, &kFailingLoad, 5, nullptr, "INFO: load config fails\n"},
        {"uploaded and loaded", 16, true, nullptr, 2, nullptr, nullptr},
    };
    ASSERT_EQ(saveConfig(), 0);
    std::string live = readSandboxFile("/mnt/ubi0/conf/configuration.xml");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        registerConfigStore();
        clearConfigChanged();
        if (c.store)
            setConfigFileStore(c.store);
        if (c.upload)
            write("/usr/local/www/Setup/net_configuration/temp/configuration.xml", live);
        setCommandRequest(c.entry, 2);
        tick();
        size_t mark = book().size();
        ASSERT_EQ(setCommandRequest(c.entry, 1), 0);
        testing::internal::CaptureStdout();
        tick();
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(getCommandStatus(c.entry), c.status);
        if (c.out) {
            EXPECT_EQ(count(out, c.out), 1u) << out;
        }
        if (c.book) {
            EXPECT_EQ(count(since(mark), c.book), 1u);
        }
    }
}

TEST_F(CommandTableTest, MountWaitsForTheRefreshAndGivesUpAfter150Seconds)
{
    ASSERT_EQ(setCommandRequest(12, 1), 0);
    tick(14999);
    EXPECT_EQ(getCommandStatus(12), 1u);
    tick();
    EXPECT_EQ(getCommandStatus(12), 3u);
    EXPECT_EQ(readDbAreaCell(49, 8), 3u);

    // A refresh still running fails the request at once.
    ASSERT_EQ(setCommandRequest(12, 1), 0);
    tick();
    EXPECT_EQ(getCommandStatus(12), 3u);
    // The refresh ends: done.
    setMdevProcState(2);
    ASSERT_EQ(setCommandRequest(12, 1), 0);
    tick(5);
    setMdevProcState(2);
    tick();
    EXPECT_EQ(getCommandStatus(12), 2u);

    // A mounted key is done at once.
    plugKey();
    ASSERT_EQ(setCommandRequest(12, 1), 0);
    tick();
    EXPECT_EQ(getCommandStatus(12), 2u);
}

TEST_F(CommandTableTest, UnmountTakesTheKeyOffTheMountTable)
{
    plugKey();
    ASSERT_EQ(setCommandRequest(13, 1), 0);
    tick();
    EXPECT_EQ(getCommandStatus(13), 2u);
    EXPECT_EQ(readSandboxFile("/proc/mounts"), "/dev/root / ext4 rw 0 0\n");
    EXPECT_FALSE(exists("/mnt/usbkey"));
    // Not mounted: done as well.
    ASSERT_EQ(setCommandRequest(13, 1), 0);
    tick();
    EXPECT_EQ(getCommandStatus(13), 2u);
}

TEST_F(CommandTableTest, UpgradeFromTheKeyCopiesOnlyAPlainPackageName)
{
    struct Case {
        const char* name;
        bool copied;
    } cases[] = {{"pkg.tar\n", true}, {"../../etc/pkg.tar\n", false}, {"\n", false}};
    plugKey();
    write("/mnt/usbkey/upgrade/pkg.tar", "package");
    write("/etc/pkg.tar", "outside");
    simMakeDirs(host("/upload").c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unlink(host("/upload/pkg.tar").c_str());
        write("/mnt/usbkey/upgrade/upgradeFilename.txt", c.name);
        requestUpdateFromKey();
        EXPECT_TRUE(tickUntilUpdateServed());
        EXPECT_EQ(getUpgradeState(), 2u);
        EXPECT_EQ(exists("/upload/pkg.tar"), c.copied);
    }
}

// The copy of the package from the key runs as a child: "Ltx Thread"'s tick
// returns while it runs, and the step ends on the tick after it ended with
// the results, lines and codes of a copy done in place.
TEST_F(CommandTableTest, UpgradeCopyFromTheKeyRunsWhileTheTicksGoOn)
{
    struct Case {
        const char* what;
        const char* end; // how the slow cp ends once let go
        bool copied;
        const char* failure;
    } cases[] = {
        {"copied", "exec /bin/cp \"$ROOT$1\" \"$ROOT$2\"", true, nullptr},
        {"cp fails", "exit 3", false, "ERR: COPY UPGRADE from USB KEY failed (3)\n"},
    };
    plugKey();
    write("/mnt/usbkey/upgrade/pkg.tar", "package");
    write("/mnt/usbkey/upgrade/upgradeFilename.txt", "pkg.tar\n");
    simMakeDirs(host("/upload").c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        unlink(host("/upload/pkg.tar").c_str());
        unlink(host("/tmp/cp.go").c_str());
        // The sandbox's cp waits for its go file (3 s at the most).
        write("/bin/cp", "#!/bin/sh\nPATH=/usr/bin:/bin\nROOT='" + root +
                             "'\ni=0\nwhile [ ! -f \"$ROOT/tmp/cp.go\" ] && [ $i -lt 300 ]; do sleep 0.01; i=$((i+1)); done\n" +
                             c.end + "\n");
        chmod(host("/bin/cp").c_str(), 0755);
        size_t mark = book().size();
        requestUpdateFromKey();
        auto t0 = std::chrono::steady_clock::now();
        tick(50);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(400)) << "50 ticks in passing";
        EXPECT_EQ(getCommandStatus(9), 0u) << "running";
        EXPECT_EQ(getUpgradeState(), 0u);
        EXPECT_EQ(getCommandRequest(9), 1u);
        write("/tmp/cp.go", "");
        EXPECT_TRUE(tickUntilUpdateServed());
        EXPECT_EQ(getUpgradeState(), 2u);
        EXPECT_EQ(exists("/upload/pkg.tar"), c.copied);
        std::string lines = since(mark);
        for (const char* line : {"INFO: system upgrade request\n", "INFO: CMD_UPDATE_FW from USB KEY requested\n",
                                 "INFO: COPY UPGRADE from USB KEY requested\n"})
            EXPECT_EQ(count(lines, line), 1u) << line << lines;
        EXPECT_EQ(count(lines, "COPY UPGRADE from USB KEY failed"), c.failure ? 1u : 0u) << lines;
        if (c.failure) {
            EXPECT_EQ(count(lines, c.failure), 1u) << lines;
        }
    }

    // A cp that cannot be executed ends the step as one that could not run.
    chmod(host("/bin/cp").c_str(), 0644);
    size_t mark = book().size();
    requestUpdateFromKey();
    EXPECT_TRUE(tickUntilUpdateServed());
    EXPECT_EQ(count(since(mark), "ERR: COPY UPGRADE from USB KEY failed (127)\n"), 1u) << since(mark);
}

TEST_F(CommandTableTest, UpgradeManagerEndsTheRunItsRequestStarted)
{
    struct Case {
        int entry;
        const char* line;
    } cases[] = {{9, "INFO: system upgrade request\n"}, {11, "INFO: Upload Folder Clean -- REQUESTED\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        setUpgradeSource(1);
        ASSERT_EQ(setCommandRequest(c.entry, 1), 0);
        tick();
        EXPECT_EQ(getCommandStatus(c.entry), 1u);
        setCommandStatus(c.entry, 2); // as the upgrade manager does at the end
        tick(3);
        EXPECT_EQ(getCommandStatus(c.entry), 2u);
        EXPECT_EQ(getCommandRequest(c.entry), 0u);
        EXPECT_EQ(count(book(), c.line), 1u) << "run once";
        ASSERT_EQ(setCommandRequest(c.entry, 1), 0) << "a new request is taken";
        tick();
        EXPECT_EQ(getCommandStatus(c.entry), 1u);
    }
    EXPECT_EQ(getUpgradeState(), 3u) << "an update from a PC installs";
}

TEST_F(CommandTableTest, EntriesThatEndOrStayPending)
{
    // No tuned receiver: the status read fails.
    ASSERT_EQ(setCommandRequest(22, 1), 0);
    tick();
    EXPECT_EQ(getCommandStatus(22), 3u);
    // Nothing runs entries 7 and 10.
    for (int n : {7, 10}) {
        ASSERT_EQ(setCommandRequest(n, 1), 0);
        tick(3);
        EXPECT_EQ(getCommandRequest(n), 1u) << n;
        EXPECT_EQ(getCommandStatus(n), 0u) << n;
    }
    // No such entry.
    for (int n : {-1, 24}) {
        size_t mark = book().size();
        EXPECT_EQ(setCommandRequest(n, 1), 9);
        EXPECT_EQ(count(since(mark), "ERR: "), 1u);
    }
    // Clearing an export that is already gone keeps its status.
    setCommandStatus(17, 2);
    ASSERT_EQ(setCommandRequest(17, 2), 0);
    tick();
    EXPECT_EQ(getCommandStatus(17), 2u);
    EXPECT_EQ(getCommandRequest(17), 0u);
}

TEST_F(CommandTableTest, RequestAndStatusReachTheirCellsInAnotherProcess)
{
    struct Case {
        int entry;
        std::vector<std::pair<uint32_t, uint32_t>> cells; // request cells, then status cells
    } cases[] = {
        {0, {{18, 6}, {18, 7}}},
        {6, {{44, 21}, {45, 22}}},
        {9, {{49, 1}, {50, 2}, {49, 4}, {50, 5}}},
        {19, {{50, 13}, {50, 15}}},
        {22, {{46, 18}, {46, 51}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        ASSERT_EQ(setCommandRequest(c.entry, 2), 0);
        setCommandStatus(c.entry, 3);
        std::vector<uint32_t> v;
        ASSERT_EQ(readDbPoolCellsInChild(c.cells, &v), 0);
        size_t half = c.cells.size() / 2;
        for (size_t i = 0; i < c.cells.size(); i++)
            EXPECT_EQ(v[i], i < half ? 2u : 3u) << c.cells[i].first << "," << c.cells[i].second;
    }
    // Every published entry, from the generated list of cells.
    struct Cells {
        int entry;
        uint32_t rs, ri, ss, si;
    } all[] = {
#define CMD_CELLS(e, rs, ri, ss, si) {e, rs, ri, ss, si},
#include "comtab/gen/commandCells.inc"
#undef CMD_CELLS
    };
    std::vector<std::pair<uint32_t, uint32_t>> cells;
    for (const Cells& c : all) {
        if (c.entry == 3)
            continue; // no callbacks
        ASSERT_EQ(setCommandRequest(c.entry, 1), 0) << c.entry;
        setCommandStatus(c.entry, 2);
        cells.push_back({c.rs, c.ri});
        cells.push_back({c.ss, c.si});
    }
    std::vector<uint32_t> v;
    ASSERT_EQ(readDbPoolCellsInChild(cells, &v), 0);
    for (size_t i = 0; i < cells.size(); i++)
        EXPECT_EQ(v[i], i % 2 ? 2u : 1u) << cells[i].first << "," << cells[i].second;
    // Entries without callbacks publish nothing.
    ASSERT_EQ(setCommandRequest(3, 1), 0);
    EXPECT_EQ(readDbAreaCell(43, 7), 0u);
}

} // namespace
