// The driver on a real terminal: the board profile "gsm" puts the scripted
// modem behind a pseudo-terminal at /dev/ttyMAX0. Real clock, real termios;
// every chunk the modem sends stays under 64 bytes.
#include "core/base/timeBase.h"
#include "sim/simModem.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"
#include "timing/gsmKeys.h"
#include "timing/gsmModem.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <termios.h>

namespace {

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string join(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines)
        out += l + "\n";
    return out;
}

} // namespace

class GsmPty : public SandboxTest {
protected:
    GsmPty()
        : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL,
                      fileText(std::string(CORVANE_SOURCE_DIR) + "/sim/profiles/gsm.profile"))
    {
    }

    static void step()
    {
        timeThread();
        GSM_ThreadStep();
    }
};

TEST_F(GsmPty, InitialisationOnTheTerminalAndACommandByMessage)
{
    SimModem* modem = simModemAt("/dev/ttyMAX0");
    ASSERT_NE(modem, nullptr) << "the profile puts the modem on /dev/ttyMAX0";
    int fd = GSM_Open();
    ASSERT_GT(fd, 0);
    struct termios t;
    ASSERT_EQ(tcgetattr(fd, &t), 0) << "a real terminal";
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 100);
    EXPECT_EQ(t.c_cc[VTIME], 10);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);

    setGSMRoamingEna(0);
    step(); // the first step initialises the modem
    std::string fixture = fileText(std::string(CORVANE_SOURCE_DIR) + "/timing/tests/gsm-init.transcript");
    EXPECT_EQ(join(modem->transcript()), fixture) << "roaming as the modem has it: no AT+UDCONF=20,<n>";

    uint8_t iccid[25] = {}, imei[25] = {};
    getGsmSimId(iccid);
    getGsmModemId(imei);
    EXPECT_STREQ(reinterpret_cast<const char*>(iccid), " 8939104520000000001");
    EXPECT_STREQ(reinterpret_cast<const char*>(imei), "004999010640000");
    std::vector<uint32_t> cells;
    ASSERT_EQ(readDbPoolCellsInChild({{52, 1}, {52, 2}, {52, 8}, {52, 9}}, &cells), 0);
    EXPECT_EQ(cells, (std::vector<uint32_t>{0x53696d4e, 0x65740000, 1, 17})) << "\"SimNet\", registered, level 17";

    // A command by message on the terminal, answered by message.
    setPhoneDestPrefix(1, 44);
    setPhoneDestNr(1, 3207654321u);
    modem->clearRecords();
    modem->injectCmt("\"+443207654321\",,\"26/01/01,10:00:00+04\"", "SMS ON");
    for (int i = 0; i < 100 && modem->sent().empty(); i++) {
        step();
        usleep(20000);
    }
    auto sent = modem->sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].dest, "+443207654321");
    EXPECT_EQ(sent[0].text, " SMS ON: OK");
    EXPECT_EQ(getGSMSmsAlarmsEna(), 1u);
    simModemStopPty("/dev/ttyMAX0");
    EXPECT_EQ(fileText(simFilePath("ttyMAX0.transcript")), join(modem->transcript()))
        << "the modem keeps its transcript in the sandbox";
}
