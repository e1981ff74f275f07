// Parameter objects: limits, republishing, the change mark, hooks and logs,
// and the published form of each family; read back from a second process.
#include "alarms/param.h"

#include "Config/configCycle.h"
#include "comtab/dbPool.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

class ParamTest : public SandboxTest {
protected:
    ParamTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
};

std::string bookText()
{
    return readSandboxFile("/mnt/ubi0/log/VRL_Book.log");
}

uint32_t cellFromOtherProcess(uint32_t s, uint32_t i)
{
    std::vector<uint32_t> v;
    EXPECT_EQ(readDbPoolCellsInChild({{s, i}}, &v), 0);
    return v.empty() ? 0xdeadbeef : v[0];
}

// The objects are never freed in the system; a test frees its own copies.
template <class P>
void release(P& p)
{
    free(p.key);
    free(p.label);
}

int hookCalls = 0;
template <class T>
void countHook(Param<T>*)
{
    hookCalls++;
}

// Limits, refusals and the republish of an unchanged value, for one family:
// min and max pass, one step beyond gives -11 with value, cell and logs
// untouched; the same value again publishes without log, mark or hook.
struct FamilyCase {
    const char* name;
    std::function<void(ParamTest&)> run;
};

template <class T>
void checkFamily(ParamTest&, void (*init)(Param<T>*, const char*, const char*, uint8_t, uint8_t, T, T, T, uint8_t,
                                            uint32_t, int (*)(Param<T>*, T), void (*)(Param<T>*)),
                 T min, T max, T below, T above, const char* minText, const char* maxText)
{
    Param<T> p;
    init(&p, "Key_A", "Label_A", 1, 1, T(0), min, max, 1, 0x0A05, nullptr, countHook<T>);
    hookCalls = 0;
    clearConfigChanged();
    setDbAreaCell(10, 5, 0x5555);
    EXPECT_EQ(p.set(&p, min), 0);
    EXPECT_EQ(p.get(&p), min);
    EXPECT_EQ(p.set(&p, max), 0);
    EXPECT_EQ(hookCalls, 2);
    EXPECT_EQ(getConfigChanged(), 0x2000u);
    std::string log = bookText();
    EXPECT_NE(log.find(std::string("INFO: SET Label_A: ") + minText + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string("INFO: SET Label_A: ") + maxText + "\n"), std::string::npos) << log;
    uint32_t published = readDbAreaCell(10, 5);

    // Refused one step beyond either limit: nothing moves.
    clearConfigChanged();
    setDbAreaCell(10, 5, 0x1234);
    EXPECT_EQ(p.set(&p, below), -11);
    EXPECT_EQ(p.set(&p, above), -11);
    EXPECT_EQ(p.get(&p), max);
    EXPECT_EQ(readDbAreaCell(10, 5), 0x1234u);
    EXPECT_EQ(getConfigChanged(), 0u);
    EXPECT_EQ(hookCalls, 2);
    EXPECT_EQ(bookText(), log);

    // The same value again: republished, nothing else.
    EXPECT_EQ(p.set(&p, max), 0);
    EXPECT_EQ(cellFromOtherProcess(10, 5), published);
    EXPECT_EQ(getConfigChanged(), 0u);
    EXPECT_EQ(hookCalls, 2);
    EXPECT_EQ(bookText(), log);
    release(p);
}

TEST_F(ParamTest, EveryFamilyKeepsItsLimitsAndRepublishesUnchangedValues)
{
    const FamilyCase cases[] = {
        {"u32", [](ParamTest& t) { checkFamily<uint32_t>(t, Param_InitU32, 5u, 4000000000u, 4u, 4000000001u, "5", "4000000000"); }},
        {"long", [](ParamTest& t) { checkFamily<int32_t>(t, Param_InitLong, -2000000000, 2000000000, -2000000001, 2000000001, "-2000000000", "2000000000"); }},
        {"u16", [](ParamTest& t) { checkFamily<uint16_t>(t, Param_InitU16, 1, 60000, 0, 60001, "1", "60000"); }},
        {"i16", [](ParamTest& t) { checkFamily<int16_t>(t, Param_InitI16, -300, 300, -301, 301, "-300", "300"); }},
        {"u8", [](ParamTest& t) { checkFamily<uint8_t>(t, Param_InitU8, 1, 200, 0, 201, "1", "200"); }},
        {"i8", [](ParamTest& t) { checkFamily<int8_t>(t, Param_InitI8, -100, 100, -101, 101, "-100", "100"); }},
        {"float", [](ParamTest& t) { checkFamily<float>(t, Param_InitFloat, -2.5f, 7.5f, -2.51f, 7.51f, "-2.500000", "7.500000"); }},
    };
    for (const FamilyCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.run(*this);
    }
}

TEST_F(ParamTest, ByteBlockPublishesFourBytesACellAndZeroFillsTheLastOne)
{
    ParamBlock b;
    Param_InitBlock(&b, "Blk", "Block", 1, 1, 6, 1, 0x0B01, nullptr, nullptr);
    clearConfigChanged();
    EXPECT_EQ(b.set(&b, nullptr), -11);
    EXPECT_EQ(getConfigChanged(), 0u);
    const uint8_t src[6] = {1, 2, 3, 4, 5, 6};
    setDbAreaCell(11, 2, 0xffffffff);
    EXPECT_EQ(b.set(&b, src), 0);
    EXPECT_EQ(cellFromOtherProcess(11, 1), 0x04030201u);
    EXPECT_EQ(cellFromOtherProcess(11, 2), 0x00000605u);
    EXPECT_EQ(readDbAreaCell(11, 3), 0u);
    EXPECT_EQ(getConfigChanged(), 0x2000u);
    EXPECT_EQ(count(book(), "INFO: SET Block\n"), 1u);
    EXPECT_EQ(memcmp(b.get(&b), src, 6), 0);
    release(b);
    free(b.buffer);
}

TEST_F(ParamTest, PublishedFormsKeysCellsAndRemoteWrites)
{
    // Signed 8-bit -1 is sign-extended; floats truncate and negatives give 0.
    ParamI8 i8;
    Param_InitI8(&i8, nullptr, nullptr, 0, 1, 0, -128, 127, 1, 0x0C01, nullptr, nullptr);
    i8.set(&i8, -1);
    EXPECT_EQ(cellFromOtherProcess(12, 1), 0xFFFFFFFFu);
    ParamFloat f;
    Param_InitFloat(&f, nullptr, nullptr, 0, 1, 0, -10, 100, 1, 0x0C02, nullptr, nullptr);
    f.set(&f, 12.9f);
    EXPECT_EQ(readDbAreaCell(12, 2), 12u);
    f.set(&f, -3.5f);
    EXPECT_EQ(readDbAreaCell(12, 2), 0u);
    EXPECT_EQ(f.set(&f, NAN), -11);

    // No key: no mark. Section or item 0: no publish. Publish flag 0: none.
    ParamU32 noKey, noSection, noItem, off;
    Param_InitU32(&noKey, nullptr, "L", 0, 1, 0, 0, 100, 1, 0x0C03, nullptr, nullptr);
    Param_InitU32(&noSection, "K1", nullptr, 0, 1, 0, 0, 100, 1, 0x0003, nullptr, nullptr);
    Param_InitU32(&noItem, "K2", nullptr, 0, 1, 0, 0, 100, 1, 0x0C00, nullptr, nullptr);
    Param_InitU32(&off, "K3", nullptr, 0, 1, 0, 0, 100, 0, 0x0C04, nullptr, nullptr);
    clearConfigChanged();
    noKey.set(&noKey, 7);
    EXPECT_EQ(getConfigChanged(), 0u);
    EXPECT_EQ(readDbAreaCell(12, 3), 7u);
    noSection.set(&noSection, 8);
    noItem.set(&noItem, 9);
    off.set(&off, 10);
    for (uint32_t s = 1; s <= 64; s++) {
        for (uint32_t i = 1; i <= 64; i++) {
            if (!(s == 12 && i <= 3)) {
                ASSERT_EQ(readDbAreaCell(s, i), 0u) << s << "," << i;
            }
        }
    }
    EXPECT_EQ(count(book(), "SET"), 0u); // log flag 0

    // Remote writes: refused with -15 unless remote-writable; a hook set
    // through Param_SetHookLong runs on a change.
    ParamLong local, remote;
    Param_InitLong(&local, "Lk", "Lk", 0, 0, 0, -5, 5, 0, 0, nullptr, nullptr);
    Param_InitLong(&remote, "Rk", "Rk", 0, 1, 0, -5, 5, 0, 0, nullptr, nullptr);
    EXPECT_EQ(local.remoteSet(&local, 3), -15);
    EXPECT_EQ(local.get(&local), 0);
    Param_SetHookLong(&remote, nullptr);
    Param_SetHookLong(&remote, countHook<int32_t>);
    hookCalls = 0;
    EXPECT_EQ(remote.remoteSet(&remote, 3), 0);
    EXPECT_EQ(remote.remoteSet(&remote, 6), -11);
    EXPECT_EQ(remote.get(&remote), 3);
    EXPECT_EQ(hookCalls, 1);
    release(noKey);
    release(noSection);
    release(noItem);
    release(off);
    release(local);
    release(remote);
}

TEST_F(ParamTest, KeyAndLabelAreTerminatedPrivateCopies)
{
    char key[40];
    memset(key, 'k', sizeof key - 1);
    key[sizeof key - 1] = 0;
    ParamU32 p;
    Param_InitU32(&p, key, key, 1, 1, 0, 0, 10, 0, 0, nullptr, nullptr);
    key[0] = 'X';
    EXPECT_EQ(std::string(p.key), std::string(32, 'k'));
    EXPECT_EQ(std::string(p.label), std::string(32, 'k'));
    release(p);
}

} // namespace
