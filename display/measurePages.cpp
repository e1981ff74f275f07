// The alarm page, the measure pages (powers, supplies, deviations, level
// bars, receiver) and the about page.
#include "display/dbView.h"
#include "display/keypad.h"
#include "display/lcd.h"
#include "display/pageSet.h"
#include "display/pages.h"
#include "platform/clock.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace lumiro {

namespace {

constexpr const char* kAlarmNames[kAlarmCount] = {
#define ALARM_NAME(name) name,
#include "display/gen/alarmNames.inc"
#undef ALARM_NAME
};

// Where an alarm flag is read: a bit of an image word, or (PSU status) an
// image word above 1.
struct AlarmFlag {
    uint8_t image, word;
    int8_t bit; // -1: the word exceeds 1
};

// In the order of the alarm-name table.
constexpr AlarmFlag kAlarmFlags[kAlarmCount] = {
    {1, 0, 30}, {1, 0, 16}, {2, 0, 19}, {1, 0, 20}, {1, 0, 21}, {2, 0, 6},                          // FWD .. FREQ REF
    {2, 1, 25}, {2, 1, 26}, {2, 1, 27}, {2, 1, 28}, {2, 1, 29}, {2, 1, 30}, {2, 1, 31},             // AMP TEMP .. FAN ALM
    {2, 1, 16}, {2, 1, 17}, {2, 1, 18}, {2, 1, 19},                                                 // FAN WRN .. MUTE ALM
    {2, 1, 22}, {2, 1, 23}, {2, 1, 8},  {2, 1, 9},  {2, 1, 10}, {2, 1, 14}, {2, 1, 15},             // AUDIO PLL .. INT 1PPS
    {2, 1, 0},  {2, 1, 1},  {2, 1, 3},  {2, 1, 4},  {2, 1, 7},                                      // EXT 1PPS .. LEFT ALM
    {2, 2, 24}, {2, 2, 25}, {2, 2, 26}, {2, 2, 16}, {2, 2, 8},  {2, 2, 9},                          // RIGHT .. SEC. INPUT
    {2, 0, 5},  {2, 0, 4},                                                                          // RSV CFG
    {5, 30, 25}, {5, 30, 24}, {5, 30, 26}, {5, 30, 17}, {5, 30, 16}, {5, 30, 18},                   // RX MUTE, ALARM
    {5, 30, 9},  {5, 30, 8},  {5, 30, 10},                                                          // RX WARNING
    {2, 2, 10},                                                                                     // SWR FOLDBACK
    {2, 60, 22}, {2, 60, 23}, {2, 60, 24},                                                          // PSU PRESENCE
    {2, 61, -1}, {2, 62, -1}, {2, 63, -1},                                                          // PSU STATUS
};

constexpr int kAlarmRows = 3;
constexpr int kAlarmNameWidth = 18;

struct AlarmState {
    int count = -1;
    int top = 0;
    int shownCount = -1;
    int shownTop = -1;
};

struct MeasureState {
    AlarmState alarm;
    uint32_t shown[16] = {};
    bool drawn = false;
    struct timespec barsAt = {};
    uint8_t barsShown[3] = {};
};

MeasureState& st()
{
    static MeasureState s;
    return s;
}

// Draws `text` ending at `column` of a 32-column row.
void drawEndingAt(int column, int row, const char* text)
{
    int len = static_cast<int>(strlen(text));
    drawText(1, column - len + 1, row, 0, text, len, 0);
}

// Whether any of the n values differs from what was drawn (and remembers).
bool changed(int first, const uint32_t* now, int n)
{
    bool any = first != 0 || !st().drawn;
    for (int i = 0; i < n; i++)
        any = any || st().shown[i] != now[i];
    memcpy(st().shown, now, sizeof(uint32_t) * static_cast<size_t>(n));
    st().drawn = true;
    return any;
}

} // namespace

const char* alarmName(int index)
{
    return index >= 0 && index < kAlarmCount ? kAlarmNames[index] : "";
}

int alarmList(const char* names[], int max)
{
    uint8_t type = getSystemType();
    if (type != 10 && type != 11)
        return 0;
    int n = 0;
    for (int i = 0; i < kAlarmCount && n < max; i++) {
        const AlarmFlag& f = kAlarmFlags[i];
        uint32_t w = imageWord(f.image, f.word);
        bool set = f.bit < 0 ? w > 1 : ((w >> f.bit) & 1u) != 0;
        if (set)
            names[n++] = kAlarmNames[i];
    }
    return n;
}

void alarmKey(uint16_t key)
{
    AlarmState& a = st().alarm;
    switch (key) {
    case KEY_DOWN:
        if (a.top + kAlarmRows < a.count)
            a.top++;
        break;
    case KEY_UP:
        if (a.top > 0)
            a.top--;
        break;
    case KEY_LEFT: gotoPage(2, 0); break;
    default: break;
    }
}

void alarmDraw(int first, int arg)
{
    (void)arg;
    AlarmState& a = st().alarm;
    const char* names[kAlarmCount];
    uint8_t type = getSystemType();
    if (type == 10 || type == 11) {
        printf("STATUS: PSU1=%d, PSU2=%d, PSU3=%d\n", static_cast<int>(imageWord(2, 61)),
               static_cast<int>(imageWord(2, 62)), static_cast<int>(imageWord(2, 63)));
        printf("HPA_BITMAP: 0x%X\n", imageWord(2, 60));
    }
    int count = alarmList(names, kAlarmCount);
    if (first)
        a.top = 0;
    a.count = count;
    if (count > kAlarmRows) {
        if (a.top + kAlarmRows > count)
            a.top = count - kAlarmRows;
    } else {
        a.top = 0;
    }
    if (!first && count == a.shownCount && a.top == a.shownTop)
        return;
    char blank[kAlarmNameWidth + 2];
    memset(blank, ' ', sizeof blank);
    blank[kAlarmNameWidth + 1] = 0;
    for (int r = 0; r < kAlarmRows; r++) {
        // Columns 3 to 21: the name, then the marker cell.
        drawText(1, 3, r + 2, 0, blank, kAlarmNameWidth + 1, 1);
        if (a.top + r < count)
            drawText(1, 3, r + 2, 0, names[a.top + r], kAlarmNameWidth, 1);
    }
    if (a.top > 0)
        drawText(1, 21, 2, kMarkMoreAbove, " ", 1, 1);
    if (count > a.top + kAlarmRows)
        drawText(1, 21, 4, kMarkMoreBelow, " ", 1, 1);
    a.shownCount = count;
    a.shownTop = a.top;
}

// Pages 5 (system) and 10 (driver): forward and reflected power with their
// units, and two percentages. The system powers are the power loop's
// published forward and reflected powers (6,2), (6,3) with their
// percentages (6,5), (6,6) and dBm values (6,1), (6,4); the driver's are
// (6,8), (6,9) with (6,11), (6,12).
void powerKey(uint16_t key)
{
    if (currentPage() == 5) {
        if (key == KEY_UP)
            gotoPage(1, 0);
        else if (key == KEY_LEFT)
            gotoPage(6, 0);
    } else {
        if (key == KEY_RIGHT)
            gotoPage(5, 0);
        else if (key == KEY_LEFT)
            gotoPage(1, 0);
    }
}

namespace {

// A power in font 3 ending at `numberEnd` of row 2, its unit text in the
// small font at `unitColumn` of row 3 (its letters just after the number).
// The unit goes first: the number clears only its own cells.
void drawPowerField(int numberEnd, int unitColumn, bool reflected, uint32_t tenthsMw, bool dbm, int32_t dbmTenths,
                    bool dbmValid)
{
    char buf[16];
    int unitLen = reflected ? 7 : 8;
    if (dbm) {
        drawText(1, unitColumn, 3, 0, reflected ? "    dBm" : "     dBm", unitLen, 0);
        if (dbmValid) {
            int32_t v = dbmTenths < 0 ? -dbmTenths : dbmTenths;
            snprintf(buf, sizeof buf, "%s%d.%d", dbmTenths < 0 ? "-" : "", v / 10, v % 10);
        } else {
            snprintf(buf, sizeof buf, "--");
        }
    } else {
        PowerText p;
        if (!formatPower(tenthsMw, &p))
            return;
        const char* unit = !strcmp(p.unit, "mW") ? (reflected ? "     mW" : "      mW")
                           : !strcmp(p.unit, "W") ? (reflected ? "     W " : "      W ")
                                                  : (reflected ? "    kW " : "     kW ");
        drawText(1, unitColumn, 3, 0, unit, unitLen, 0);
        snprintf(buf, sizeof buf, "%s", p.number);
    }
    drawTightNumber(numberEnd, 2, buf);
}

} // namespace

void powerDraw(int first, int arg)
{
    (void)arg;
    bool system = currentPage() == 5;
    uint32_t now[8] = {
        system ? imageWord(1, 2) : imageWord(3, 23), system ? imageWord(1, 3) : imageWord(3, 24),
        system ? imageWord(1, 4) : imageWord(3, 26), system ? imageWord(1, 5) : imageWord(3, 27),
        imageWord(1, 14), imageWord(1, 15), imageWord(2, 24), (imageWord(2, 1) >> 5) & 1,
    };
    if (!changed(first, now, 8))
        return;
    if (!first)
        for (int row = 2; row <= 4; row++)
            drawText(1, 1, row, 0, staticLine(currentPage(), row - 1), 32, 0);
    bool dbm = now[6] == 9 || now[6] == 17;
    bool valid = now[7] != 0;
    // Forward from font-3 column 5, reflected from column 12.
    drawPowerField(7, 9, false, now[0], dbm, static_cast<int32_t>(now[4]),
                   valid && static_cast<int32_t>(now[4]) != -600);
    drawPowerField(14, 24, true, now[1], dbm, static_cast<int32_t>(now[5]),
                   valid && static_cast<int32_t>(now[5]) != -600);
    char buf[8];
    snprintf(buf, sizeof buf, "%3u", now[2] > 999 ? 999 : now[2]);
    drawEndingAt(system ? 10 : 9, 4, buf);
    snprintf(buf, sizeof buf, "%3u", now[3] > 999 ? 999 : now[3]);
    drawEndingAt(system ? 23 : 22, 4, buf);
}

void measureKey(uint16_t key)
{
    if (key == KEY_LEFT)
        gotoPage(6, 0);
}

// Page 7: the amplifier's supply measures, image-2 words 32 to 41 (cells
// (40,15) to (40,24)): Ip1 to Ip8, Id1 in hundredths of an ampere and
// Vmain in hundredths of a volt, each shown with one decimal.
void supplyDraw(int first, int arg)
{
    (void)arg;
    uint32_t now[10];
    for (int i = 0; i < 10; i++)
        now[i] = imageWord(2, 32 + i);
    if (!changed(first, now, 10))
        return;
    // The static lines hold Ip1, Ip2, Ip4, Ip5, Ip7, Ip8, Id1 and Vmain.
    static const struct {
        int index, end, row;
    } at[] = {{0, 8, 2}, {1, 8, 3}, {3, 18, 2}, {4, 18, 3}, {6, 28, 2}, {7, 28, 3}, {8, 8, 4}, {9, 20, 4}};
    char buf[12];
    for (const auto& f : at) {
        uint32_t tenths = (now[f.index] + 5) / 10;
        snprintf(buf, sizeof buf, "%2u.%u", (tenths / 10) % 100, tenths % 10);
        drawEndingAt(f.end, f.row, buf);
    }
}

// Page 8: deviations of Left, Right, Aux, Pilot and Mpx in Hz (image-3
// words 28 to 32), shown in kHz with three decimals.
void deviationDraw(int first, int arg)
{
    (void)arg;
    uint32_t now[5];
    for (int i = 0; i < 5; i++)
        now[i] = imageWord(3, 28 + i);
    if (!changed(first, now, 5))
        return;
    static const struct {
        int column, row;
    } at[5] = {{6, 2}, {23, 2}, {5, 3}, {23, 3}, {5, 4}};
    char buf[12];
    for (int i = 0; i < 5; i++) {
        snprintf(buf, sizeof buf, "%3u.%03u", (now[i] / 1000) % 1000, now[i] % 1000);
        drawText(1, at[i].column, at[i].row, 0, buf, 7, 0);
    }
}

// Page 52: the receiver's measures, image-5 words 0 to 4 in thousandths,
// signed, "  ----" for a value of 0x7FFFFFFF; stereo flag image-5 word 5.
void receiverDraw(int first, int arg)
{
    (void)arg;
    uint32_t now[6];
    for (int i = 0; i < 6; i++)
        now[i] = imageWord(5, i);
    if (!changed(first, now, 6))
        return;
    static const char* const labels[5] = {"RSSI", "SNR", "ASSI", "MPX", "PIL"};
    char buf[40];
    drawText(1, 1, 1, 0, "RX MEASURES", 11, 0);
    drawText(1, 31, 1, 0, now[5] ? "St" : "Mo", 2, 0);
    for (int i = 0; i < 5; i++) {
        int32_t v = static_cast<int32_t>(now[i]);
        if (v == 0x7FFFFFFF)
            snprintf(buf, sizeof buf, "%-5s  ----   ", labels[i]);
        else
            snprintf(buf, sizeof buf, "%-5s%s%0.3f", labels[i], v < 0 ? "-" : "+", std::fabs(v / 1000.0));
        int row = i < 3 ? i + 2 : i - 1;
        drawText(1, i < 3 ? 1 : 17, row, 0, buf, 15, 0);
    }
}

// Page 9: level bars of Mpx, Left and Right (image-3 words 33 to 35, in
// hundredths of a dB on the scale of the first line), redrawn
// every half second of the platform clock.
void barsKey(uint16_t key)
{
    if (key == KEY_LEFT)
        gotoPage(6, 0);
    else if (key == KEY_DOWN)
        gotoPage(1, 0);
}

// The bar's end follows the scale of the first line: each mark's dB value
// and the x of the middle of its last character.
uint8_t barWidth(uint32_t raw)
{
    static const struct {
        int cdb, x;
    } scale[] = {{-4000, 52}, {-1800, 84}, {-1200, 132}, {-900, 156}, {-600, 180}, {-300, 204}, {0, 228}, {300, 252}};
    constexpr int kBarLeft = 48;
    int32_t cdb = static_cast<int32_t>(raw);
    if (cdb <= scale[0].cdb)
        return 0;
    for (size_t i = 1; i < std::size(scale); i++) {
        if (cdb <= scale[i].cdb) {
            int x = scale[i - 1].x +
                    (cdb - scale[i - 1].cdb) * (scale[i].x - scale[i - 1].x) / (scale[i].cdb - scale[i - 1].cdb);
            return static_cast<uint8_t>(x - kBarLeft);
        }
    }
    return static_cast<uint8_t>(scale[std::size(scale) - 1].x - kBarLeft);
}

void barsDraw(int first, int arg)
{
    (void)arg;
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    if (!first && elapsedUs(&st().barsAt, &now) <= 499999)
        return;
    st().barsAt = now;
    for (int i = 0; i < 3; i++) {
        uint8_t w = barWidth(imageWord(3, 33 + i));
        if (!first && w == st().barsShown[i])
            continue;
        int y0 = (i + 1) * 16 + 4;
        for (int x = 48; x < kLcdWidth; x++)
            for (int y = y0; y < y0 + 8; y++)
                setPixel(x, y, x < 48 + w ? kLcdWhite : kLcdBlack);
        st().barsShown[i] = w;
    }
}

void aboutKey(uint16_t key)
{
    if (key == KEY_LEFT)
        gotoPage(2, 0);
}

void aboutDraw(int first, int arg)
{
    (void)arg;
    if (!first)
        return;
    uint32_t kind = imageWord(2, 30) & 0xFF;
    uint32_t size = imageWord(2, 31) & 0xFF;
    if (kind == 0)
        drawText(1, 1, 1, 0, "TX TYPE : FM 2W  [1U]", 21, 1);
    else if (kind == 1 && size == 3)
        drawText(1, 1, 1, 0, "TX TYPE : FM 5kW [4U]", 21, 1);
    else if (kind == 1 && size == 1)
        drawText(1, 1, 1, 0, "TX TYPE : FM 2kW [2U]", 21, 1);
    char serial[13];
    for (int i = 0; i < 3; i++) {
        uint32_t w = imageWord(1, 10 + i);
        for (int b = 0; b < 4; b++) {
            char ch = static_cast<char>((w >> (24 - 8 * b)) & 0xFF);
            serial[i * 4 + b] = ch >= 32 && ch < 127 ? ch : ' ';
        }
    }
    serial[12] = 0;
    drawText(1, 10, 2, 0, serial, 12, 1);
    char buf[8];
    for (int row = 3; row <= 4; row++) {
        int base = row == 3 ? 15 : 20;
        for (int f = 0; f < 3; f++) {
            snprintf(buf, sizeof buf, "%3u", imageWord(2, base + f) % 1000);
            drawText(1, 11 + 4 * f, row, 0, buf, 3, 1);
        }
    }
}

void resetMeasurePages()
{
    st() = MeasureState{};
}

} // namespace lumiro
