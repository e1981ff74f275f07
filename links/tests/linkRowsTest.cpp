// Golden rows of the generated link tables (links/gen/*.inc): elements whose
// item the generator had to resolve from the text (by configuration name,
// by role, or by an exception in a write row), read at their place and
// width in the table buffer, and written through their row.
#include "links/changeOver.h"
#include "links/remoteLtx.h"
#include "links/slaveLink.h"
#include "links/tableResponder.h"

#include "Config/keyTable.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "hw/tests/boardFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using SetOf = const TableSet* (*)();

const TableSet* pdSet()
{
    return remoteLtxTableSet(0);
}

const TableSet* extSet()
{
    return remoteLtxTableSet(1);
}

class LinkRows : public BoardFixture {};

TEST_F(LinkRows, CatalogueRowsHoldTheirItemAtTheirPlaceAndWidth)
{
    // The key set to `value`, then the bytes of (table, element) in the
    // built table: most significant first on the serial links, the
    // processor's order on the remote link.
    struct Case {
        const char* name;
        SetOf set;
        uint8_t table;
        uint8_t element;
        const CfgKeyDesc* const* row;
        uint32_t value;
        int at;
        Bytes bytes;
    } cases[] = {
        {"change-over (11, 5) Amplifier_number", changeOverTableSet, 11, 5, &KEYROW(AmplifierNumber), 3, 4, {3}},
        {"change-over (11, 7) own link address", changeOverTableSet, 11, 7, &KEYROW(ChangeOverSerialAddress), 9, 6,
         {9}},
        {"change-over (13, 2) Nplus1_mains_number", changeOverTableSet, 13, 2, &KEYROW(Nplus1MainsNumber), 4, 1, {4}},
        {"change-over (6, 12) input_switch_mode", changeOverTableSet, 6, 12, &KEYROW(InputSwitchMode), 1, 44,
         {0, 0, 0, 1}},
        {"slave (5, 11) RdsInternalLevel_Percentage", slaveTableSet, 5, 11, &KEYROW(RdsInternalLevelPercentage),
         0x0123, 20, {0x01, 0x23}},
        {"slave (5, 3) the byte item", slaveTableSet, 5, 3, &KEYROW(SWRFoldback), 1, 4, {0, 1}},
        {"slave (8, 19) AudioPilot_AlmDelay", slaveTableSet, 8, 19, &KEYROW(AudioPilotAlmDelay), 0x0105, 36,
         {0x01, 0x05}},
        {"process data (3, 8) the byte item", pdSet, 3, 8, &KEYROW(SWRFoldback), 1, 28, {1, 0, 0, 0}},
        {"process data (3, 17) system_time_source", pdSet, 3, 17, &KEYROW(SystemTimeSource), 2, 64, {2, 0, 0, 0}},
        {"process data (10, 1) Nplus1_mode", pdSet, 10, 1, &KEYROW(Nplus1Mode), 1, 0, {1}},
        {"extended (3, 7) the further audio item", extSet, 3, 7, &KEYROW(RdsExternalLevelOffset_dBu), 5, 6, {5}},
        {"extended (3, 34) output_configuration", extSet, 3, 34, &KEYROW(OutputConfiguration), 5, 33, {5}},
        {"extended (4, 16) InputAlarmVsTxStatus non-zero", extSet, 4, 16, &KEYROW(InputAlarmVsTxStatus), 1, 60,
         {1, 0, 0, 0}},
        {"extended (6, 17) EON", extSet, 6, 17, &KEYROW(EON), 1, 32, {1, 0}},
        {"extended (7, 2) freq_ref", extSet, 7, 2, &KEYROW(FreqRef), 1, 4, {1, 0, 0, 0}},
    };
    uint8_t buf[kTableBufBytes];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cfgSetElement(*c.row, 0, c.value);
        ASSERT_EQ(cfgGetElement(*c.row, 0), c.value);
        int count = 0;
        ASSERT_EQ(TR_BuildTable(c.set(), c.table, &count, buf), 0);
        EXPECT_EQ(Bytes(buf + c.at, buf + c.at + c.bytes.size()), c.bytes);
    }
    setNplus1Mode(0);
}

TEST_F(LinkRows, WriteRowsReachTheirItemOrAnswerTheirCode)
{
    // A write of (table, element) and its result; when it succeeds, the
    // key holds `stored` afterwards.
    struct Case {
        const char* name;
        SetOf set;
        uint8_t table;
        uint8_t element;
        uint32_t value;
        uint32_t result;
        const CfgKeyDesc* const* row;
        uint32_t stored;
    } cases[] = {
        // The slave's element 11 sets the audio item of the extended table,
        // its 16-bit value taken signed; element 12 sets the RDS level.
        {"slave (5, 11)", slaveTableSet, 5, 11, 0xFFF6, 0, &KEYROW(RdsExternalLevelOffset_dBu), uint32_t(-10)},
        {"slave (5, 11) out of range", slaveTableSet, 5, 11, 21, 13, nullptr, 0},
        {"slave (5, 12)", slaveTableSet, 5, 12, 500, 0, &KEYROW(RdsInternalLevelPercentage), 500},
        {"slave (8, 4) sets output_configuration", slaveTableSet, 8, 4, 7, 0, &KEYROW(OutputConfiguration), 7},
        {"slave (6, 5) derating override", slaveTableSet, 6, 5, 1, 13, nullptr, 0},
        {"change-over (6, 15) derating override", changeOverTableSet, 6, 15, 1, 13, nullptr, 0},
        {"change-over (6, 13) checked as a receiver input", changeOverTableSet, 6, 13, 3, 13, nullptr, 0},
        {"process data (3, 10)", pdSet, 3, 10, 2, 0, &KEYROW(InputSelection), 2},
        {"process data (3, 17)", pdSet, 3, 17, 5, 13, nullptr, 0},
        {"process data (3, 12)", pdSet, 3, 12, 0, 13, nullptr, 0},
        {"extended (3, 38) without validation", extSet, 3, 38, 12345, 0, &KEYROW(InputPresAlmThreshold), 12345},
        {"extended (6, 17)", extSet, 6, 17, 1, 0, &KEYROW(EON), 1},
        {"extended (6, 17) out of range", extSet, 6, 17, 2, 13, nullptr, 0},
        {"extended (7, 2) the reference source", extSet, 7, 2, 8, 0, &KEYROW(FreqRefSource), 8},
        {"extended (7, 2) beyond 8", extSet, 7, 2, 9, 13, nullptr, 0},
        {"extended (7, 8) signed range", extSet, 7, 8, uint32_t(-179), 0, &KEYROW(PilPhOffs), uint32_t(-179)},
        {"extended (7, 10) refused", extSet, 7, 10, 0, 13, nullptr, 0},
        {"extended (3, 43) beyond the rows", extSet, 3, 43, 1, 0, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TR_WriteElement(c.set(), c.table, c.element, c.value), c.result);
        if (c.row) {
            EXPECT_EQ(cfgGetElement(*c.row, 0), c.stored);
        }
    }
}

TEST_F(LinkRows, OperatingCommandsOfTheRemoteLinkWriteTheirBookLine)
{
    // Element 8 of process-data table 4: its line keeps the two blanks.
    EXPECT_EQ(TR_WriteElement(pdSet(), 4, 8, 1), 0u);
    EXPECT_NE(book().find("INFO: Switch bank command  from external LTX"), std::string::npos) << book();
    EXPECT_EQ(TR_WriteElement(pdSet(), 4, 7, 1), 0u);
    EXPECT_NE(book().find("INFO: Soft reset from external LTX"), std::string::npos) << book();
}

} // namespace
