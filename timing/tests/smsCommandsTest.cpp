// The SMS command service: a received message from the scripted modem's
// point of view (the replies it was asked to send) and the requests the
// commands made, as one table; the texts of the status replies.
#include "comtab/commandSlots.h"
#include "timing/tests/gsmTestSupport.h"

#include "comtab/dbPool.h"
#include "power/powerSettings.h"

#include <cstring>
#include <functional>

namespace {

constexpr uint16_t kAdminPrefix = 39;
constexpr uint32_t kAdmin = 3331234567u;
constexpr uint32_t kUser = 3207654321u;

struct Reply {
    std::string dest;
    std::string text;
};

} // namespace

class SmsCommands : public GsmTest {
protected:
    void SetUp() override
    {
        GsmTest::SetUp();
        setGSMTxLabel(0, 0x54583031); // "TX01"
        setGSMAdminSmsSupervisorEna(0);
        user(0, kAdminPrefix, kAdmin);
        user(1, 44, kUser);
        // The limits of a 2 kW amplifier: 100 W to 2000 W.
        setHpaMinPower(500);
        setTxMaxNomPower(630);
    }

    std::vector<Reply> replies()
    {
        std::vector<Reply> out;
        for (const SimModemSms& m : modem.sent())
            out.push_back({m.dest, m.text});
        return out;
    }
};

TEST_F(SmsCommands, ReceptionAsOneTable)
{
    struct Case {
        const char* what;
        std::function<void()> setup;
        std::string sender;
        std::string text;
        std::vector<std::string> replies; // texts, each to the sender
        int slot = -1;                    // the command slot left requested, -1 none
        std::string rawChunk = "";        // a whole chunk in place of the message
    };
    const std::string user1 = "+44" + std::to_string(kUser);
    const std::string admin = "+39" + std::to_string(kAdmin);
    std::vector<Case> cases = {
        {"ON", [] {}, user1, "ON", {"[TX01] ON: OK"}, 3},
        {"OFF refused by the command manager: standby runs", [] { CMD_SetRunning(4, 1); }, user1, "OFF",
         {"[TX01] OFF: FAILED"}},
        {"SMS ON is not ON", [] {}, user1, "SMS ON", {"[TX01] SMS ON: OK"}},
        {"STS2 is not STS", [] {}, user1, "STS2",
         {"[TX01] STS2:\nL: 0.0 kHz\nR: 0.0 kHz\nAUX: 0.0 kHz\nPIL: 0.0 kHz\nMPX: 0.0 kHz"}},
        {"ON in LOCAL mode", [] { LogicaTx_SetManagementMode(1); }, user1, "ON",
         {"[TX01] ON: FAILED (err. LOCAL mode)"}},
        {"INFO in LOCAL mode", [] { LogicaTx_SetManagementMode(1); }, user1, "INFO",
         {"[TX01] INFO TX:\nTYPE: FM 2W\nSN: \nFW: 00.00.00\n"}},
        {"INFO with the firmware version read at start-up",
         [] {
             setVersionWord1(2);
             setVersionWord2(1);
             setVersionWord3(13);
         },
         user1, "INFO", {"[TX01] INFO TX:\nTYPE: FM 2W\nSN: \nFW: 02.01.13\n"}},
        {"INFO of a 2 kW amplifier", [] { setPsuTypeCode(1); setHpsCode(1); }, user1, "INFO",
         {"[TX01] INFO TX:\nTYPE: FM 2kW\nSN: \nFW: 00.00.00\n"}},
        {"INFO of a 1 kW amplifier", [] { setPsuTypeCode(1); setHpsCode(1); setTxMaxNomPower(600); }, user1, "INFO",
         {"[TX01] INFO TX:\nTYPE: FM 1kW\nSN: \nFW: 00.00.00\n"}},
        {"INFO of a 5 kW amplifier", [] { setPsuTypeCode(1); setHpsCode(3); }, user1, "INFO",
         {"[TX01] INFO TX:\nTYPE: FM 5kW\nSN: \nFW: 00.00.00\n"}},
        {"STS in LOCAL mode", [] { LogicaTx_SetManagementMode(1); }, user1, "STS",
         {"[TX01] STS: STBY\nFWD: 0.0 W 0%\nRFL: 0 W\nFREQ: 0.0 MHz\nINTLCK: OK\nTEMP: 0 C\nINPUT: OK\nMOD: OK\n"
          "FAN: OK\nPSU: OK"}},
        {"STS with the warning summary", [] { setWarningSummary(1); }, user1, "STS",
         {"[TX01] STS: STBY\nFWD: 0.0 W 0%\nRFL: 0 W\nFREQ: 0.0 MHz\nINTLCK: OK\nTEMP: 0 C\nINPUT: OK\nMOD: WRN\n"
          "FAN: OK\nPSU: OK"}},
        {"STS with both summaries", [] { setAlarmSummary(1); setWarningSummary(1); }, user1, "STS",
         {"[TX01] STS: STBY\nFWD: 0.0 W 0%\nRFL: 0 W\nFREQ: 0.0 MHz\nINTLCK: OK\nTEMP: 0 C\nINPUT: OK\nMOD: ALM\n"
          "FAN: OK\nPSU: OK"}},
        {"PWR 99.5", [] {}, user1, "PWR 99.5", {"[TX01] PWR: 100 Watt"}},
        {"PWR above the limits", [] {}, user1, "PWR 2000.5", {"[TX01] PWR: FAILED (err. POWER LIMITS [100-2000])"}},
        {"PWR huge", [] {}, user1, "PWR 1e300", {"[TX01] PWR: FAILED (err. POWER LIMITS [100-2000])"}},
        {"PWR not a number", [] {}, user1, "PWR x", {"[TX01] PWR: FAILED (err. POWER LIMITS [100-2000])"}},
        {"RES", [] {}, user1, "RES", {"[TX01] RES: OK"}, 6},
        {"TIMEDRT ON", [] {}, user1, "TIMEDRT ON", {"[TX01] TIMEDRT ON: OK"}},
        {"ADDU from a user", [] {}, user1, "ADDU +391112223334", {}},
        {"ADDU from the administrator, table full",
         [] {
             for (uint32_t u = 2; u < 10; u++)
                 user(u, 1, u);
         },
         admin, "ADDU +391112223334", {"[TX01] ADDU: FAILED"}},
        {"ADDU with a short number", [] {}, admin, "ADDU +39111", {"[TX01] ADDU: FAILED"}},
        {"ALM1 answers with the list", [] { setStatusBitA(1, 7); }, user1, "ALM1",
         {"[TX01] ALM1:\nW006:0\nA007:1\nW008:0\nA009:0\nA011:0\nA012:0\nA013:0\nW014:0\nA015:0\nW016:0\nA040:0\n"
          "W041:0\nA042:0\nA034:0\nW036:0"}},
        {"unregistered sender", [] {}, "+391234567899", "ON", {}},
        {"free slot as sender", [] {}, "+000000000000", "ON", {}},
        {"number above 32 bits", [] {}, "+449999999999", "ON", {}},
        {"malformed header", [] {}, "", "", {}, -1,
         "\r\n+CMT: \"+44" + std::to_string(kUser).substr(0, 4) + "x" + std::to_string(kUser).substr(5) +
             "\",,\"26/01/01,10:00:00+04\"\r\nON\r\n"},
        {"header cut short", [] {}, "", "", {}, -1, "\r\n+CMT: \"+44" + std::to_string(kUser) + "\"\r\nON\r\n"},
        {"no command word", [] {}, user1, "HELLO", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int n = 0; n < CMD_SLOT_COUNT; n++) {
            CMD_SetRequested(n, 0);
            CMD_SetRunning(n, 0);
        }
        LogicaTx_SetManagementMode(0);
        setVersionWord1(0);
        setVersionWord2(0);
        setVersionWord3(0);
        setAlarmSummary(0);
        setWarningSummary(0);
        setPsuTypeCode(0);
        setHpsCode(0);
        setTxMaxNomPower(630);
        for (uint32_t u = 2; u < 10; u++)
            user(u, 0, 0);
        setStatusBitA(0, 7);
        modem.clearRecords();
        c.setup();
        receive(c.rawChunk.empty() ? cmt(c.sender, c.text) : c.rawChunk);
        std::vector<std::string> texts;
        for (const Reply& r : replies()) {
            EXPECT_EQ(r.dest, c.sender);
            texts.push_back(r.text);
        }
        EXPECT_EQ(texts, c.replies);
        std::vector<int> requested;
        for (int n = 0; n < CMD_SLOT_COUNT; n++)
            if (CMD_IsRequested(n) == 1)
                requested.push_back(n);
        EXPECT_EQ(requested, c.slot < 0 ? std::vector<int>{} : std::vector<int>{c.slot});
        if (c.slot == 6) {
            EXPECT_EQ(CMD_GetParameter(6), 10u) << "the reboot waits 10 s";
        }
        if (std::string(c.what).find("table full") == std::string::npos) {
            EXPECT_EQ(getPhoneDestNr(2), 0u) << "no user registered";
        }
    }
    // What PWR 99.5 and TIMEDRT ON set (the refused PWR commands set nothing).
    EXPECT_EQ(getTxNominalPowerLinear(), 1000000u);
    EXPECT_EQ(readDbAreaCell(5, 19), 1000000u);
    EXPECT_EQ(getPwrProgDeratingEnable(), 1);
}

TEST_F(SmsCommands, AddUserFromTheAdministratorTakesTheFirstFreeSlot)
{
    setGSMAdminSmsSupervisorEna(1);
    receive(cmt("+39" + std::to_string(kAdmin), "ADDU +391112223334"));
    EXPECT_EQ(getPhoneDestPrefix(2), 39u);
    EXPECT_EQ(getPhoneDestNr(2), 1112223334u);
    auto r = replies();
    ASSERT_EQ(r.size(), 1u) << "no copy to the administrator of its own command";
    EXPECT_EQ(r[0].text, "[TX01] ADDU: OK");

    // A user's command is copied to the administrator.
    modem.clearRecords();
    receive(cmt("+44" + std::to_string(kUser), "SMS OFF 2"));
    r = replies();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].dest, "+39" + std::to_string(kAdmin));
    EXPECT_EQ(r[1].text, "[TX01] SMS OFF: OK");
    EXPECT_EQ(getGSMSmsAlarmsEna(), 0u);
    EXPECT_EQ(getGSMSmsAlarmsTimerPeriod(), 2u);
    EXPECT_EQ(getGSMSmsAlarmsTimerEna(), 1u);
}

TEST_F(SmsCommands, ModemTextGivesTheLevelAsDbm)
{
    struct Case {
        uint32_t level;
        const char* text;
    } cases[] = {{0, "< -115 dBm"}, {1, "-111 dBm"}, {2, "not known"}, {3, "-109 dBm"},
                 {29, "-83 dBm"},   {30, "not known"}, {31, "> -52 dBm"}, {99, "not known"}};
    for (const Case& c : cases) {
        modem.clearRecords();
        setGsmSignalLevel(c.level);
        receive(cmt("+44" + std::to_string(kUser), "GSM"));
        auto r = replies();
        ASSERT_EQ(r.size(), 1u);
        EXPECT_NE(r[0].text.find(std::string("\nLVL: ") + c.text + "\n"), std::string::npos) << r[0].text;
    }
}
