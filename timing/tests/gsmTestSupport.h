// The GSM tests' fixture: a sandbox on the virtual clock with the scripted
// modem as the device /dev/ttyMAX0 and the driver's port open on it.
#pragma once

#include "core/base/timeBase.h"
#include "alarms/logicaTx.h"
#include "comtab/commandManager.h"
#include "platform/host/ioDevice.h"
#include "sim/simModem.h"
#include "testing/sandboxTest.h"
#include "timing/gsmKeys.h"
#include "timing/gsmModem.h"

#include <string>
#include <vector>

class GsmTest : public SandboxTest {
protected:
    GsmTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        ioRegisterDevice("/dev/ttyMAX0", simModemDevice(&modem));
        CMD_Init();
        ASSERT_GT(GSM_Open(), 0);
    }

    void TearDown() override
    {
        ioRegisterDevice("/dev/ttyMAX0", nullptr);
        SandboxTest::TearDown();
    }

    // One step of "Gsm Thread" with a fresh time base.
    void step()
    {
        timeThread();
        GSM_ThreadStep();
    }

    // Registers user slot u.
    static void user(uint32_t u, uint16_t prefix, uint32_t number)
    {
        setPhoneDestPrefix(u, prefix);
        setPhoneDestNr(u, number);
    }

    // A received message as the modem delivers it.
    static std::string cmt(const std::string& sender, const std::string& text)
    {
        return "\r\n+CMT: \"" + sender + "\",,\"26/01/01,10:00:00+04\"\r\n" + text + "\r\n";
    }

    // Runs the reception on a chunk: its result.
    static int receive(const std::string& chunk)
    {
        GSM_SetRxBuffer(chunk.data(), chunk.size());
        return GSM_ParseFmCmdMsg();
    }

    bool transcriptHas(const std::string& line)
    {
        for (const std::string& l : modem.transcript())
            if (l == line)
                return true;
        return false;
    }

    SimModem modem;
};
