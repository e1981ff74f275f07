// The measures table: which words are published, and where.
#include "Config/StrutturaDati.h"
#include "Config/keys/rfKeys.h"
#include "comtab/dbPool.h"
#include "testing/sandboxTest.h"

#include <cstring>

namespace {

class PowerTable : public SandboxTest {
protected:
    PowerTable() : SandboxTest(SANDBOX_DBPOOL) {}
};

TEST_F(PowerTable, WordsSevenToTenArePublishedOnAChange)
{
    const struct {
        uint32_t word, section, item;
    } published[] = {{9, 10, 1}, {7, 10, 2}, {10, 10, 6}, {8, 10, 11}};
    for (auto p : published) {
        setPowerTableWord(p.word, 100 + p.word);
        EXPECT_EQ(getPowerTableWord(p.word), 100 + p.word);
        EXPECT_EQ(readDbAreaCell(p.section, p.item), 100 + p.word) << p.word;
    }
    // The other words are kept but reach no cell of section 10.
    std::vector<uint32_t> before;
    for (uint32_t i = 0; i < 64; i++)
        before.push_back(readDbAreaCell(10, i));
    for (uint32_t w : {0u, 1u, 4u, 6u, 11u, 15u})
        setPowerTableWord(w, 0xABC0 + w);
    for (uint32_t i = 0; i < 64; i++)
        EXPECT_EQ(readDbAreaCell(10, i), before[i]) << i;
    EXPECT_EQ(getPowerTableWord(15), 0xABCFu);
    EXPECT_EQ(static_cast<int32_t>((setPowerTableWord(9, static_cast<uint32_t>(-3)), getPowerTableWord(9))), -3);
}

} // namespace
