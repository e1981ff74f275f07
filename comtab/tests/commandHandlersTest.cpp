// Writes of the command, unit and network tables through the write path:
// the elements that request a command and the ones that store a key.
#include "comtab/commandHandlers.h"

#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/systemKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/commandSlots.h"
#include "comtab/comtab.h"
#include "comtab/dbPool.h"
#include "comtab/tests/commandTestFixture.h"

#include <functional>
#include <sys/stat.h>

namespace {

class CommandHandlersTest : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        CMD_Init();
        tick(2);
    }
};

uint32_t networkOrder(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    uint8_t bytes[4] = {a, b, c, d};
    uint32_t v;
    memcpy(&v, bytes, 4);
    return v;
}

TEST_F(CommandHandlersTest, ElementWritesAsOneTable)
{
    struct Case {
        const char* what;
        std::function<void()> setup;
        int table;
        uint32_t element;
        uint32_t value;
        uint32_t result;
        std::function<bool()> check;
    };
    auto requested = [](int slot) { return CMD_IsRequested(slot) == 1; };
    auto nothingRequested = [] {
        for (int n = 0; n < CMD_SLOT_COUNT; n++)
            if (CMD_IsRequested(n) != 0)
                return false;
        return true;
    };
    auto keyLevel = [](uint32_t level) { return [level] { LogicaTx_SetKeyMode(level); }; };
    const Case cases[] = {
        {"ON in lockout is refused", [] { LogicaTx_SetLockoutState(1); }, 7, 3, 1, 13, nothingRequested},
        {"ON", [] { LogicaTx_SetLockoutState(0); }, 7, 3, 1, 0, [=] { return requested(3); }},
        {"factory reset level 0", keyLevel(0), 7, 12, 1, 0, [=] { return requested(12); }},
        {"factory reset level 1", keyLevel(1), 7, 12, 1, 0, [=] { return requested(13); }},
        {"factory reset level 2", keyLevel(2), 7, 12, 1, 0, [=] { return requested(14); }},
        {"no element 13", nullptr, 7, 13, 1, 1, nothingRequested},
        {"reserve 3 of two mains", [] { setNplus1Mode(1); setNplus1MainsNumber(2); }, 15, 5, 3, 11, nothingRequested},
        {"reserve 2 of two mains", nullptr, 15, 5, 2, 0,
         [=] { return requested(8) && CMD_GetParameter(8) == 2; }},
        {"reserve in a mode other than 0 and 1", [] { setNplus1Mode(2); }, 15, 7, 1, 11, nothingRequested},
        // The key holds the address as it arrived (the order the interface
        // takes), its cell in host order.
        {"front address in network order", nullptr, 18, 3, networkOrder(192, 168, 1, 10), 0,
         [] {
             return getFrontEthernetIPAddress() == networkOrder(192, 168, 1, 10) &&
                    readDbAreaCell(18, 3) == 0xc0a8010au;
         }},
        {"entry 0 status is read only", nullptr, 18, 7, 1, 15, nullptr},
        {"month 12", nullptr, 43, 2, 12, 0, [] { return getTimeRequest()[4] == 11; }},
        {"NTP time source", nullptr, 43, 11, 3, 0, [] { return getCommandRequest(20) == 1; }},
        {"time source 5", nullptr, 43, 11, 5, 11, nullptr},
        {"firmware update 1 from the key", nullptr, 49, 1, 1, 0,
         [] { return getCommandRequest(9) == 0 && getUpgradeSource() == 0; }},
        {"command request 3", nullptr, 49, 2, 3, 11, [] { return getCommandRequest(14) == 0; }},
        {"save, then the audio-processor export", [] { markSaveConfigChanged(0x10); }, 50, 13, 1, 0,
         [] { return getCommandRequest(19) == 1; }},
        {"upgrade step 3 starts an armed update from a PC", [] { setUpgradeParam(1); }, 50, 10, 3, 0,
         [] { return getCommandRequest(9) == 1 && getUpgradeSource() == 1; }},
        {"upgrade status byte", nullptr, 50, 11, 1, 15, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int n = 0; n < CMD_SLOT_COUNT; n++)
            CMD_SetRequested(n, 0);
        if (c.setup)
            c.setup();
        EXPECT_EQ(COMTAB_WriteElement(c.table, c.element, c.value), c.result);
        if (c.check) {
            EXPECT_TRUE(c.check());
        }
    }
    struct stat sb;
    EXPECT_EQ(stat(host("/mnt/ubi0/conf/configuration.xml").c_str(), &sb), 0) << "(50, 13) saved";
    EXPECT_EQ(getTelecommandInput(3), 128) << "a level above 2";
}

} // namespace
