// The routing model against rows of its table, written out by hand.
#include "audio/inputRouting.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr uint32_t K = 0xdeadbeef; // a word the code leaves as it was

struct RouteCase {
    uint32_t code;
    uint32_t routing[ROUTE_WORDS];
    uint32_t matrix[MATRIX_WORDS];
    uint32_t flags[INPUT_FLAGS];
};

TEST(InputRouting, RoutingAndMatrixWordsOfGoldenRows)
{
    const RouteCase cases[] = {
        {0, {0, 0, 0, 0, 0, 0, K, 0}, {0, K, K, K}, {1, 0, 0, 0, 0, 0}},
        {7, {0, 3, 1, 2, 0, 0, K, 0}, {K, 1, 0, 0}, {1, 0, 0, 0, 0, 0}},
        {16, {0, 5, 0, 3, 1, 0, K, 0}, {K, 0, 1, K}, {0, 1, 0, 0, 0, 0}},
        {20, {K, K, K, K, K, K, K, 0}, {K, K, K, K}, {1, 0, 0, 0, 0, 0}},
        {22, {0, 0, 0, 1, 0, 0, K, 0}, {0, 0, K, K}, {1, 1, 0, 0, 0, 0}},
        {24, {4, 0, 0, 1, 0, 1, K, 0}, {K, K, K, K}, {0, 0, 0, 0, 0, 1}},
        {30, {0, 5, 0, 1, 0, 0, K, 0}, {0, 0, 1, K}, {1, 1, 1, 0, 0, 0}},
        {41, {K, K, K, K, K, K, K, 0}, {K, K, K, K}, {1, 0, 0, 0, 0, 0}},
        {53, {3, 0, 0, 1, 0, 1, K, 0}, {K, 0, K, K}, {0, 1, 0, 0, 0, 0}},
        {56, {5, 1, 0, 1, 0, 1, 0, 3}, {K, K, K, K}, {0, 0, 0, 0, 1, 0}},
        {62, {5, 3, 0, 1, 0, 1, 2, 3}, {K, 1, 0, 1}, {0, 0, 0, 1, 0, 0}},
        // Beyond the table: only MpxDigIns, and L_Mpx alone.
        {63, {K, K, K, K, K, K, K, 0}, {K, K, K, K}, {1, 0, 0, 0, 0, 0}},
        {200, {K, K, K, K, K, K, K, 0}, {K, K, K, K}, {1, 0, 0, 0, 0, 0}},
    };
    for (const RouteCase& c : cases) {
        SCOPED_TRACE(c.code);
        uint32_t routing[ROUTE_WORDS], matrix[MATRIX_WORDS], flags[INPUT_FLAGS];
        std::fill(std::begin(routing), std::end(routing), K);
        std::fill(std::begin(matrix), std::end(matrix), K);
        std::fill(std::begin(flags), std::end(flags), K);
        getInputRoutingMap(c.code, routing, matrix);
        getMatrixEnableVector(c.code, flags);
        for (int w = 0; w < ROUTE_WORDS; w++)
            EXPECT_EQ(routing[w], c.routing[w]) << "routing word " << w;
        for (int w = 0; w < MATRIX_WORDS; w++)
            EXPECT_EQ(matrix[w], c.matrix[w]) << "matrix word " << w;
        for (int k = 0; k < INPUT_FLAGS; k++)
            EXPECT_EQ(flags[k], c.flags[k]) << "flag " << k;
    }
}

TEST(InputRouting, CodesThatWatchNoInputLeaveTheFlagsAsTheyAre)
{
    for (uint32_t code : {34u, 36u}) {
        uint32_t flags[INPUT_FLAGS] = {0, 2, 0, 0, 0, 7};
        getMatrixEnableVector(code, flags);
        EXPECT_EQ(flags[1], 2u);
        EXPECT_EQ(flags[5], 7u);
    }
}

TEST(InputRouting, BackupInputsTranslateByTheirRdsMode)
{
    struct Case {
        uint32_t input, rds, code;
    };
    const Case cases[] = {
        {0, 0, 63},  {0, 1, 63},  {1, 0, 25},  {1, 1, 29},  {1, 2, 25},  {3, 0, 23},  {3, 1, 27},
        {3, 2, 31},  {4, 1, 0},   {5, 2, 10},  {6, 1, 26},  {9, 1, 56},  {10, 0, 57}, {10, 1, 58},
        {10, 2, 61}, {11, 2, 62}, {12, 1, 28}, {13, 0, 2},  {13, 1, 4},  {13, 2, 2},  {14, 0, 63},
        {255, 1, 63},
    };
    for (const Case& c : cases)
        EXPECT_EQ(getInputMatrixCode(c.input, c.rds), c.code) << c.input << "/" << c.rds;
    // Only the inputs 3, 10 and 11 have external-RDS codes of their own.
    for (uint32_t input = 0; input < BACKUP_INPUT_COUNT; input++) {
        if (input != 3 && input != 10 && input != 11) {
            EXPECT_EQ(getInputMatrixCode(input, 2), getInputMatrixCode(input, 0)) << input;
        }
    }
}

TEST(InputRouting, SelectorTakesTheFirstWatchedInputAndSpecialCodesAreTheAesEbuStereoOnes)
{
    struct Case {
        uint32_t flags[INPUT_FLAGS];
        uint32_t selector;
    };
    const Case cases[] = {
        {{1, 1, 1, 1, 1, 1}, 0}, {{0, 1, 1, 0, 0, 0}, 1}, {{0, 0, 1, 1, 0, 0}, 2},
        {{0, 0, 0, 1, 0, 0}, 3}, {{0, 0, 0, 0, 1, 0}, 3}, {{0, 0, 0, 0, 0, 1}, 0},
        {{2, 0, 0, 0, 0, 0}, 0}, {{0, 0, 0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(getMatrixSelector(c.flags), c.selector);
    for (uint32_t code = 0; code < 70; code++)
        EXPECT_EQ(isSpecialInputCode(code), code == 23 || code == 27 || code == 31 ? 1u : 0u) << code;
}

TEST(InputRouting, NamesOfTheCodesKeepTheirTrailingBlanks)
{
    struct Case {
        uint32_t code;
        const char* name;
    };
    const Case cases[] = {
        {0, "Mono_Analog_Left"},
        {9, "Mono_Digital_Left_Pil_RxData"},
        {21, "Mono_Digital_Right_Pil_MpxData_INVALID"},
        {22, "Stereo_Analog"},
        {25, "Stereo_MpxAudio "},
        {31, "Stereo_Digital_RdsExt"},
        {32, "Stereo_MpxAudio_RdsEx "},
        {33, "Stereo_RxAudio_RdsExt "},
        {41, "Stereo_MpxAll"},
        {42, "MonoAnaLeftMpx"},
        {55, "StereoMpxOverIp"},
        {62, "StereoMpxOverAesEbuChBRdsExt"},
        {63, "Disabled"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(getInputCfgName(c.code), c.name) << c.code;
    // Rows are 100 bytes apart and zero-padded.
    for (uint32_t code = 0; code + 1 < INPUT_CFG_COUNT; code++) {
        EXPECT_EQ(getInputCfgName(code + 1) - getInputCfgName(code), 100);
        EXPECT_GT(strlen(getInputCfgName(code)), 0u);
    }
}

} // namespace
