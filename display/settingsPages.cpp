// The settings pages (3, 23, 27, 29, 30, 51, 53) and the one editor that
// serves them: view mode walks the fields, editing changes one field digit
// by digit, and a pending change ends in the APPLY/DISCARD choice. Each page
// is a row of data: its fields (kind, place, digits and their steps, limits,
// the image word shown and the element written); hooks cover only what
// plain data cannot say (the port of the address page, the unit of the RF
// and level pages, the input combinations, the receiver's action bits).
#include "display/dbView.h"
#include "display/dipc.h"
#include "display/keypad.h"
#include "display/lcd.h"
#include "display/pageSet.h"
#include "display/pages.h"

#include <arpa/inet.h>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>

namespace lumiro {

namespace {

enum FieldKind : uint8_t { FIELD_OCTETS, FIELD_NUMBER, FIELD_CHOICE };
enum Mode : uint8_t { MODE_VIEW, MODE_EDIT, MODE_CHOICE };
enum Row4 : uint8_t { ROW4_PAGE, ROW4_APPLY, ROW4_INVALID };

constexpr int kMaxFields = 8;
constexpr int kMaxChoices = 10;
constexpr int32_t kUnknown = INT32_MIN; // a value no choice has: drawn as dashes
constexpr uint8_t kStay = 255;

struct Choice {
    int32_t code;
    const char* label;
};

struct FieldSpec {
    FieldKind kind;
    uint8_t row, column, width;  // the value text: row, first column, characters
    uint8_t digits;              // digits the cursor walks (a choice has one)
    int32_t steps[6];            // FIELD_NUMBER: the step of each digit
    uint8_t at[6];               // FIELD_NUMBER: each digit's place in the text
    int32_t min, max;            // FIELD_NUMBER: limits (a page hook may narrow them)
    const char* format;          // FIELD_NUMBER: printf format of the text
    int point;                   // FIELD_NUMBER: tenths shown as "d.d" (1) or not (0)
    int32_t whole, part;         // FIELD_NUMBER: a value shown as value / whole and
                                 // value % whole / part (0: the value itself)
    uint8_t image, word;         // the image word shown (image 0: the page reads it)
    uint8_t table, element;      // the element written (table 0: the page writes it)
    const Choice* choices;       // FIELD_CHOICE: the offered values (a hook may narrow them)
    uint8_t choiceCount;
};

struct EditorPage {
    uint8_t id;
    uint8_t width; // 21: centred lines; 32: from the left edge
    uint8_t left;  // page LEFT opens in view mode, kStay for none
    uint8_t count;
    FieldSpec fields[kMaxFields];
    bool (*present)(int field);                                       // nullptr: every field
    void (*load)(int32_t* v);                                         // nullptr: the image words
    void (*limits)(int field, int32_t* lo, int32_t* hi);              // nullptr: the field's
    int (*offer)(int field, const int32_t* v, Choice* out);           // -1 or nullptr: the field's list
    void (*changed)(int field, int32_t* v);                           // after a choice moved
    bool (*valid)(const int32_t* v);                                  // nullptr: always
    void (*apply)(const int32_t* v, const int32_t* start);            // nullptr: changed fields
    void (*stepped)(int field, int32_t before, int32_t after);        // printed lines
    void (*decorate)();                                               // texts besides the values
    void (*leave)();                                                  // before LEFT leaves
};

// ---- Editor state -------------------------------------------------------

struct Shown {
    uint8_t mode, sel, digit, row4;
    int32_t v[kMaxFields];
    uint32_t presentMask;
};

struct EditorState {
    uint8_t mode = MODE_VIEW;
    uint8_t sel = 0;   // field index, or count (APPLY) and count + 1 (DISCARD)
    uint8_t digit = 0;
    uint8_t row4 = ROW4_PAGE;
    int32_t v[kMaxFields] = {};
    int32_t start[kMaxFields] = {};
    Shown shown = {};
    bool drawn = false;
    // Page 51: the selection has no cell; the page keeps it.
    int32_t timeRef = kUnknown;
    // Page 27: the power last converted to watts (for its printed line).
    int32_t lastTenths = kUnknown;
    // Page 53: the frequency sent, shown as tuning until the image has it.
    int32_t tuning = kUnknown;
};

EditorState& st()
{
    static EditorState s;
    return s;
}

// ---- Shared helpers -----------------------------------------------------

// What every field has: its kind, its text's place, the digits the cursor
// walks, the image word shown and the element written.
constexpr FieldSpec field(FieldKind kind, uint8_t row, uint8_t column, uint8_t width, uint8_t digits, uint8_t image,
                          uint8_t w, uint8_t table, uint8_t element)
{
    FieldSpec f{};
    f.kind = kind;
    f.row = row;
    f.column = column;
    f.width = width;
    f.digits = digits;
    f.image = image;
    f.word = w;
    f.table = table;
    f.element = element;
    return f;
}

int32_t word(int image, int w)
{
    return static_cast<int32_t>(imageWord(image, w));
}

// Bit 24 of image-1 word 0 is local control; bit 25 is set while ON.
bool remoteOrOn()
{
    uint32_t w = imageWord(1, 0);
    return !(w & (1u << 24)) || (w & (1u << 25));
}

void send(uint8_t table, uint8_t element, int32_t value)
{
    writeDbElement(static_cast<uint16_t>(table << 8 | element), static_cast<uint32_t>(value));
}

void tenthsText(int32_t v, char* out, size_t size)
{
    int32_t a = v < 0 ? -v : v;
    char body[16];
    snprintf(body, sizeof body, "%s%d.%d", v < 0 ? "-" : "", a / 10, a % 10);
    snprintf(out, size, "%5s", body);
}

// ---- Page 3: the address of the port chosen on page 46 -------------------

constexpr FieldSpec octets(uint8_t row, uint8_t w, uint8_t element)
{
    return field(FIELD_OCTETS, row, 7, 15, 12, 2, w, 18, element);
}

// Fields 0 to 2 are the front port's, 3 to 5 the rear port's.
bool addressPresent(int field)
{
    bool front = ethMenuPort() == 1;
    return front ? field < 3 : field >= 3;
}

// A gateway other than 0.0.0.0 must lie in the address's subnet.
bool addressValid(const int32_t* v)
{
    int base = ethMenuPort() == 1 ? 0 : 3;
    uint32_t ip = static_cast<uint32_t>(v[base]), mask = static_cast<uint32_t>(v[base + 1]);
    uint32_t gw = static_cast<uint32_t>(v[base + 2]);
    return gw == 0 || ((ip ^ gw) & mask) == 0;
}

// The daemon takes an address in network byte order: the words go out
// with their bytes so, and the cells read back the address entered. The
// port's request element then applies the three together.
void addressApply(const int32_t* v, const int32_t*)
{
    bool front = ethMenuPort() == 1;
    int base = front ? 0 : 3;
    uint8_t first = front ? 3 : 10;
    for (int i = 0; i < 3; i++)
        send(18, static_cast<uint8_t>(first + i), static_cast<int32_t>(htonl(static_cast<uint32_t>(v[base + i]))));
    send(18, front ? 6 : 13, 1);
}

void addressLeave()
{
    clearScreen();
    showSplash();
}

// ---- Page 23: system mode and type ---------------------------------------

constexpr Choice kSysModes[] = {{0, "MASTER"}, {1, "SLAVE "}};
constexpr Choice kSysTypes[] = {{10, "TX      "}, {11, "TX + REP"}};

void systemLoad(int32_t* v)
{
    v[0] = word(2, 14);
    v[1] = getSystemType();
}

// ---- Page 27: RF frequency and power --------------------------------------

constexpr int32_t kFreqMin = 87500000, kFreqMax = 108000000;
constexpr uint32_t kFamilyDbm = 9, kFamilyDbmStandby = 17;

bool powerInDbm()
{
    uint32_t family = imageWord(2, 24);
    return family == kFamilyDbm || family == kFamilyDbmStandby;
}

// 100 log10 of a power ratio is tenths of a dB: of milliwatts, tenths of dBm.
int32_t tenthsFromWatts(int32_t watts)
{
    int tenths = linearToCentiDb(watts * 1000.0);
    return tenths == kCentiDbFloor ? -999 : tenths;
}

int32_t wattsFromTenths(int32_t tenths)
{
    return static_cast<int32_t>(std::llround(std::pow(10.0, tenths / 100.0 - 3.0)));
}

// The limits table 5 checks for the power written: with a supply of type
// code 1 the HPA minimum power (40,47) to the driver level (40,14) that
// bounds the maximum nominal power; with any other type -999 to 999.
void powerLimitsTenths(int32_t* lo, int32_t* hi)
{
    if (imageWord(2, 30) == 1) {
        *lo = word(2, 64);
        *hi = word(2, 65);
    } else {
        *lo = -999;
        *hi = 999;
    }
}

void powerLimitsWatts(int32_t* lo, int32_t* hi)
{
    int32_t l, h;
    powerLimitsTenths(&l, &h);
    int32_t wl = wattsFromTenths(l < -300 ? -300 : l);
    while (tenthsFromWatts(wl) < l)
        wl++;
    while (wl > 1 && tenthsFromWatts(wl - 1) >= l)
        wl--;
    int32_t wh = wattsFromTenths(h > 800 ? 800 : h);
    while (wh > 0 && tenthsFromWatts(wh) > h)
        wh--;
    while (tenthsFromWatts(wh + 1) <= h && wh < 99999)
        wh++;
    *lo = wl < 1 ? 1 : wl;
    *hi = wh > 99999 ? 99999 : wh;
}

void rfLimits(int field, int32_t* lo, int32_t* hi)
{
    if (field == 1) {
        powerLimitsTenths(lo, hi);
        if (*lo < 0)
            *lo = 0;
        if (*hi > 999)
            *hi = 999;
    } else if (field == 2) {
        powerLimitsWatts(lo, hi);
    }
}

bool rfPresent(int field)
{
    return field == 0 || (field == 1) == powerInDbm();
}

void rfLoad(int32_t* v)
{
    v[0] = word(3, 3);
    int32_t tenths = word(3, 2);
    v[1] = tenths;
    v[2] = wattsFromTenths(tenths);
    if (!powerInDbm() && tenths != st().lastTenths) {
        int32_t a = tenths < 0 ? -tenths : tenths;
        printf("ComputePwrWatt=%d [%s%d.%d dBm]%s\n", v[2], tenths < 0 ? "-" : "", a / 10, a % 10,
               tenthsFromWatts(v[2]) != tenths ? " [AdjustApprox]" : "");
        fflush(stdout);
    }
    st().lastTenths = tenths;
}

void rfStepped(int field, int32_t before, int32_t after)
{
    int32_t lo, hi;
    if (field == 0) {
        printf("BEFORE: freq_mhz=%d | freq_khz=%d\n", before / 1000000, before % 1000000 / 1000);
        printf("POST: freq_mhz=%d | freq_khz=%d [freq=%d]\n", after / 1000000, after % 1000000 / 1000, after);
    } else if (field == 1) {
        rfLimits(1, &lo, &hi);
        printf("RfPar.Data_prev.pwr=%d [L=%d,H=%d] | pwr_dig_1=%d | pwr_dig_2=%d | pwr_dig_3=%d\n", after, lo, hi,
               after / 100 % 10, after / 10 % 10, after % 10);
    } else {
        rfLimits(2, &lo, &hi);
        printf("pwr_temp_watt=%d [L=%d,H=%d] | pwr_dig_0=%d | pwr_dig_1=%d | pwr_dig_2=%d | pwr_dig_3=%d | "
               "pwr_dig_4=%d\n",
               after, lo, hi, after / 10000 % 10, after / 1000 % 10, after / 100 % 10, after / 10 % 10, after % 10);
    }
    fflush(stdout);
}

// The frequency goes to OutputRFfrequency (5,11); the power to the
// exciter's nominal power (5,6), and to the transmitter's (5,1) when the
// supply's type code (17,19) asks for it.
void rfApply(const int32_t* v, const int32_t* start)
{
    if (v[0] != start[0])
        send(5, 11, v[0]);
    bool dbm = powerInDbm();
    if (dbm ? v[1] == start[1] : v[2] == start[2])
        return;
    int32_t tenths = dbm ? v[1] : tenthsFromWatts(v[2]);
    send(5, 6, tenths);
    if (imageWord(2, 30) == 1)
        send(5, 1, tenths);
}

void rfDecorate()
{
    drawText(1, 17, 3, 0, powerInDbm() ? "dBm" : "W  ", 3, 1);
}

// ---- Page 29: input configuration ----------------------------------------

struct Combo {
    uint8_t mode, source, rds;
};
struct Allowed {
    uint8_t mode, secondary;
};

// Every row of the generated input tables, read once; each table below is
// the rows of one kind.
enum InputRowKind : uint8_t { ROW_PRIMARY, ROW_RDS, ROW_SECONDARY, ROW_COMBO, ROW_ALLOWED };
struct InputRow {
    InputRowKind kind;
    uint8_t a, b, c;
    const char* label;
};

constexpr InputRow kInputRows[] = {
#define PRIMARY_SOURCE(n, label) {ROW_PRIMARY, n, 0, 0, label},
#define INPUT_RDS(n, label) {ROW_RDS, n, 0, 0, label},
#define SECONDARY_SOURCE(n, label) {ROW_SECONDARY, n, 0, 0, label},
#define INPUT_COMBO(mode, source, rds) {ROW_COMBO, mode, source, rds, nullptr},
#define SECONDARY_ALLOWED(mode, code) {ROW_ALLOWED, mode, code, 0, nullptr},
#include "display/gen/inputCombos.inc"
#undef PRIMARY_SOURCE
#undef INPUT_RDS
#undef SECONDARY_SOURCE
#undef INPUT_COMBO
#undef SECONDARY_ALLOWED
};

constexpr size_t inputRowCount(InputRowKind kind)
{
    size_t n = 0;
    for (const InputRow& r : kInputRows)
        n += r.kind == kind;
    return n;
}

// The rows of one kind in their generated order, each made into the
// table's entry by make.
template <InputRowKind kind, typename Make>
constexpr auto inputTable(Make make)
{
    std::array<decltype(make(kInputRows[0])), inputRowCount(kind)> out{};
    size_t n = 0;
    for (const InputRow& r : kInputRows)
        if (r.kind == kind)
            out[n++] = make(r);
    return out;
}

constexpr Choice sourceChoice(const InputRow& r)
{
    return {r.a, r.label};
}

constexpr auto kPrimarySources = inputTable<ROW_PRIMARY>(sourceChoice);
constexpr auto kRdsSources = inputTable<ROW_RDS>(sourceChoice);
constexpr auto kSecondarySources = inputTable<ROW_SECONDARY>(sourceChoice);
constexpr auto kCombos = inputTable<ROW_COMBO>([](const InputRow& r) { return Combo{r.a, r.b, r.c}; });
constexpr auto kAllowed = inputTable<ROW_ALLOWED>([](const InputRow& r) { return Allowed{r.a, r.b}; });

constexpr uint8_t kAesEbuSource = 3;

const Combo* comboOfMode(int32_t mode)
{
    for (const Combo& c : kCombos)
        if (c.mode == mode)
            return &c;
    return nullptr;
}

const Combo* comboOf(int32_t source, int32_t rds)
{
    for (const Combo& c : kCombos)
        if (c.source == source && c.rds == rds)
            return &c;
    return nullptr;
}

bool secondaryAllowed(int32_t mode, int32_t secondary)
{
    for (const Allowed& a : kAllowed)
        if (a.mode == mode && a.secondary == secondary)
            return true;
    return false;
}

const char* choiceLabel(const Choice* list, size_t n, int32_t code)
{
    for (size_t i = 0; i < n; i++)
        if (list[i].code == code)
            return list[i].label;
    return nullptr;
}

// Fields: 0 primary source, 1 its RDS, 2 secondary source, 3 its RDS.
void inputLoad(int32_t* v)
{
    const Combo* c = comboOfMode(static_cast<uint8_t>(word(3, 52)));
    v[0] = c ? c->source : kUnknown;
    v[1] = c ? c->rds : kUnknown;
    v[2] = word(3, 59);
    v[3] = word(3, 60);
}

int inputOffer(int field, const int32_t* v, Choice* out)
{
    int n = 0;
    if (field != 1 && field != 2)
        return -1;
    if (field == 1) {
        for (const Choice& r : kRdsSources)
            if (comboOf(v[0], r.code))
                out[n++] = r;
    } else if (field == 2) {
        const Combo* c = comboOf(v[0], v[1]);
        for (const Choice& s : kSecondarySources)
            if (c && secondaryAllowed(c->mode, s.code))
                out[n++] = s;
    }
    return n;
}

// A new primary source keeps its RDS and secondary source where the new
// combination offers them, else falls back to "OFF" (offered by all).
void inputChanged(int field, int32_t* v)
{
    if (field == 0 && !comboOf(v[0], v[1]))
        v[1] = 0;
    const Combo* c = comboOf(v[0], v[1]);
    if (field <= 1 && c && !secondaryAllowed(c->mode, v[2]))
        v[2] = 0;
}

// The choices offered keep the combination whole, so a changed source or
// RDS source always names an input mode.
void inputApply(const int32_t* v, const int32_t* start)
{
    const Combo* c = comboOf(v[0], v[1]);
    if ((v[0] != start[0] || v[1] != start[1]) && c)
        send(11, 11, c->mode);
    if (v[2] != start[2])
        send(11, 15, v[2]);
    if (v[3] != start[3])
        send(11, 21, v[3]);
}

// ---- Page 30: input levels -------------------------------------------------

// L and R are in dBFS on the digital (AES-EBU) inputs, in dBu otherwise.
bool levelsInDbfs()
{
    const Combo* c = comboOfMode(static_cast<uint8_t>(word(3, 52)));
    return c && c->source == kAesEbuSource;
}

bool levelPresent(int field)
{
    if (field < 2)
        return !levelsInDbfs();
    if (field < 4)
        return levelsInDbfs();
    return true;
}

void levelDecorate()
{
    const char* unit = levelsInDbfs() ? "dBFS" : "dBu ";
    drawText(1, 14, 1, 0, unit, 4, 0);
    drawText(1, 29, 1, 0, unit, 4, 0);
}

// ---- Page 51: time reference -----------------------------------------------

constexpr Choice kTimeRefs[] = {{0, "GPS"}, {1, "EXT"}, {2, "DAT"}};

void timeRefLoad(int32_t* v)
{
    v[0] = st().timeRef;
}

// No element of the daemon takes the selection yet: APPLY keeps it on the
// page and sends nothing.
void timeRefApply(const int32_t* v, const int32_t*)
{
    st().timeRef = v[0];
}

// ---- Page 53: receiver alarm settings --------------------------------------

constexpr Choice kRxActions[] = {{0, "Disable"}, {1, "Warning"}, {2, "Alarm  "}, {3, "Mute   "}};
// The two action bits of each measure in (47,2).
constexpr int kActionShift[3] = {18, 16, 20};

void receiverLoad(int32_t* v)
{
    v[0] = word(5, 0);
    uint32_t cfg = imageWord(5, 31);
    for (int m = 0; m < 3; m++)
        v[1 + 2 * m] = static_cast<int32_t>(cfg >> kActionShift[m] & 3);
    v[2] = word(5, 21);
    v[4] = word(5, 20);
    v[6] = word(5, 22);
}

// Each changed action is a string write of the new (47,2) (the image word
// with the measure's two bits replaced) and the mask of those bits.
void receiverApply(const int32_t* v, const int32_t* start)
{
    if (v[0] != start[0]) {
        send(46, 1, v[0]);
        st().tuning = v[0];
    }
    constexpr uint8_t kThreshold[3] = {21, 20, 22};
    for (int m = 0; m < 3; m++) {
        int a = 1 + 2 * m, t = 2 + 2 * m;
        if (v[t] != start[t])
            send(46, kThreshold[m], v[t]);
        if (v[a] == start[a])
            continue;
        uint32_t mask = 3u << kActionShift[m];
        uint32_t cfg = (imageWord(5, 31) & ~mask) | (static_cast<uint32_t>(v[a]) << kActionShift[m] & mask);
        uint8_t bytes[8];
        memcpy(bytes, &cfg, 4);
        memcpy(bytes + 4, &mask, 4);
        writeDbString(DIPC_PEER_TABLES, 47, 2, bytes, 8);
    }
}

void receiverDecorate()
{
    drawText(1, 1, 1, 0, " RX FREQ [", 10, 0);
    drawText(1, 17, 1, 0, "] MHz          ", 15, 0);
    constexpr const char* kNames[3] = {" RSSI    [", " SNR     [", " ASSI200 ["};
    for (int m = 0; m < 3; m++) {
        drawText(1, 1, 2 + m, 0, kNames[m], 10, 0);
        drawText(1, 18, 2 + m, 0, "] THR [", 7, 0);
        drawText(1, 29, 2 + m, 0, "]   ", 4, 0);
    }
}

// ---- The pages ---------------------------------------------------------------

constexpr FieldSpec choice(uint8_t row, uint8_t column, uint8_t width, const Choice* list, uint8_t n,
                           uint8_t table, uint8_t element)
{
    FieldSpec f = field(FIELD_CHOICE, row, column, width, 1, 0, 0, table, element);
    f.choices = list;
    f.choiceCount = n;
    return f;
}

constexpr FieldSpec number(uint8_t row, uint8_t column, uint8_t width, const char* format,
                           std::initializer_list<int32_t> steps, std::initializer_list<uint8_t> at, int32_t min,
                           int32_t max, uint8_t image, uint8_t w, uint8_t table, uint8_t element,
                           int32_t whole = 0, int32_t part = 1)
{
    FieldSpec f = field(FIELD_NUMBER, row, column, width, static_cast<uint8_t>(steps.size()), image, w, table, element);
    f.format = format;
    int i = 0;
    for (int32_t s : steps)
        f.steps[i++] = s;
    i = 0;
    for (uint8_t a : at)
        f.at[i++] = a;
    f.min = min;
    f.max = max;
    f.whole = whole;
    f.part = part;
    return f;
}

// A level of table 9 in tenths: three digits (hundreds, tens and units of
// the value) in a "-dd.d" text, within the element's range.
constexpr FieldSpec level(uint8_t row, uint8_t column, uint8_t w, uint8_t element, int32_t min, int32_t max)
{
    FieldSpec f = number(row, column, 5, nullptr, {100, 10, 1}, {1, 2, 4}, min, max, 3, w, 9, element);
    f.point = 1;
    return f;
}

const EditorPage kEditorPages[] = {
    {3, 21, 46, 6,
     {octets(1, 4, 3), octets(2, 5, 4), octets(3, 6, 5), octets(1, 9, 10), octets(2, 10, 11), octets(3, 11, 12)},
     addressPresent, nullptr, nullptr, nullptr, nullptr, addressValid, addressApply, nullptr, nullptr, addressLeave},
    {23, 21, 32, 2,
     {choice(2, 15, 6, kSysModes, 2, 13, 5), choice(3, 13, 8, kSysTypes, 2, 3, 3)},
     nullptr, systemLoad, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {27, 21, 26, 3,
     {number(2, 9, 7, "%3d.%03d", {100000000, 10000000, 1000000, 100000, 25000, 25000}, {0, 1, 2, 4, 5, 6},
             kFreqMin, kFreqMax, 3, 3, 0, 0, 1000000, 1000),
      number(3, 12, 4, "%2d.%d", {100, 10, 1}, {0, 1, 3}, 0, 999, 3, 2, 0, 0, 10, 1),
      number(3, 10, 5, "%5d", {10000, 1000, 100, 10, 1}, {0, 1, 2, 3, 4}, 1, 99999, 0, 0, 0, 0)},
     rfPresent, rfLoad, rfLimits, nullptr, nullptr, nullptr, rfApply, rfStepped, rfDecorate, nullptr},
    {29, 32, 28, 4,
     {choice(1, 15, 6, kPrimarySources.data(), std::size(kPrimarySources), 0, 0),
      choice(1, 29, 3, kRdsSources.data(), std::size(kRdsSources), 0, 0),
      choice(2, 15, 6, kSecondarySources.data(), std::size(kSecondarySources), 0, 0),
      choice(2, 29, 3, kRdsSources.data(), std::size(kRdsSources), 0, 0)},
     nullptr, inputLoad, nullptr, inputOffer, inputChanged, nullptr, inputApply, nullptr, nullptr, nullptr},
    {30, 32, 28, 8,
     {level(1, 8, 47, 8, -120, 180), level(1, 23, 48, 9, -120, 180), level(1, 8, 44, 22, -240, 0),
      level(1, 23, 45, 23, -240, 0), level(2, 9, 46, 13, 0, 200), level(2, 24, 50, 12, 0, 1000),
      level(3, 9, 49, 11, -180, 180), level(3, 24, 51, 21, -120, 180)},
     levelPresent, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, levelDecorate, nullptr},
    {51, 21, kStay, 1, {choice(2, 18, 3, kTimeRefs, 3, 0, 0)},
     nullptr, timeRefLoad, nullptr, nullptr, nullptr, nullptr, timeRefApply, nullptr, nullptr, nullptr},
    {53, 32, 28, 7,
     {number(1, 11, 6, "%3d.%02d", {100000, 10000, 1000, 100, 10}, {0, 1, 2, 4, 5}, 64000, 108000, 0, 0, 0, 0, 1000, 10),
      choice(2, 11, 7, kRxActions, 4, 0, 0), number(2, 25, 4, "%4d", {100, 10, 1}, {1, 2, 3}, -999, 999, 0, 0, 0, 0),
      choice(3, 11, 7, kRxActions, 4, 0, 0), number(3, 25, 4, "%4d", {100, 10, 1}, {1, 2, 3}, -999, 999, 0, 0, 0, 0),
      choice(4, 11, 7, kRxActions, 4, 0, 0), number(4, 25, 4, "%4d", {100, 10, 1}, {1, 2, 3}, -999, 999, 0, 0, 0, 0)},
     nullptr, receiverLoad, nullptr, nullptr, nullptr, nullptr, receiverApply, nullptr, receiverDecorate, nullptr},
};

const EditorPage* editorOf(uint8_t page)
{
    for (const EditorPage& p : kEditorPages)
        if (p.id == page)
            return &p;
    return nullptr;
}

bool isPresent(const EditorPage& p, int f)
{
    return !p.present || p.present(f);
}

int firstField(const EditorPage& p)
{
    for (int f = 0; f < p.count; f++)
        if (isPresent(p, f))
            return f;
    return 0;
}

void fieldLimits(const EditorPage& p, int f, int32_t* lo, int32_t* hi)
{
    *lo = p.fields[f].min;
    *hi = p.fields[f].max;
    if (p.limits)
        p.limits(f, lo, hi);
}

int offered(const EditorPage& p, int f, Choice* out)
{
    if (p.offer) {
        int n = p.offer(f, st().v, out);
        if (n >= 0)
            return n;
    }
    const FieldSpec& s = p.fields[f];
    for (int i = 0; i < s.choiceCount && i < kMaxChoices; i++)
        out[i] = s.choices[i];
    return s.choiceCount;
}

void loadValues(const EditorPage& p, int32_t* v)
{
    for (int f = 0; f < p.count; f++) {
        const FieldSpec& s = p.fields[f];
        v[f] = s.image ? word(s.image, s.word) : 0;
    }
    if (p.load)
        p.load(v);
}

bool anyChanged(const EditorPage& p)
{
    for (int f = 0; f < p.count; f++)
        if (isPresent(p, f) && st().v[f] != st().start[f])
            return true;
    return false;
}

void applyValues(const EditorPage& p)
{
    if (p.apply) {
        p.apply(st().v, st().start);
        return;
    }
    for (int f = 0; f < p.count; f++)
        if (isPresent(p, f) && st().v[f] != st().start[f] && p.fields[f].table)
            send(p.fields[f].table, p.fields[f].element, st().v[f]);
}

// ---- Stepping ------------------------------------------------------------

int32_t stepOctets(int32_t value, int digit, bool up)
{
    uint32_t addr = static_cast<uint32_t>(value);
    int shift = 24 - 8 * (digit / 3);
    int o = static_cast<int>(addr >> shift & 0xFF);
    switch (digit % 3) {
    case 0: o = (o / 100 + (up ? 1 : 2)) % 3 * 100 + o % 100; break;
    case 1: o = o / 100 * 100 + (o / 10 % 10 + (up ? 1 : 9)) % 10 * 10 + o % 10; break;
    default: o = o / 10 * 10 + (o % 10 + (up ? 1 : 9)) % 10; break;
    }
    if (o > 255)
        o = 255;
    addr = (addr & ~(0xFFu << shift)) | static_cast<uint32_t>(o) << shift;
    return static_cast<int32_t>(addr);
}

void stepField(const EditorPage& p, int f, bool up)
{
    const FieldSpec& s = p.fields[f];
    int32_t& v = st().v[f];
    int32_t before = v;
    switch (s.kind) {
    case FIELD_OCTETS: v = stepOctets(v, st().digit, up); break;
    case FIELD_NUMBER: {
        int32_t lo, hi;
        fieldLimits(p, f, &lo, &hi);
        int64_t n = static_cast<int64_t>(v) + (up ? s.steps[st().digit] : -s.steps[st().digit]);
        v = static_cast<int32_t>(n < lo ? lo : n > hi ? hi : n);
        break;
    }
    case FIELD_CHOICE: {
        Choice list[kMaxChoices];
        int n = offered(p, f, list);
        if (n == 0)
            return;
        int at = -1;
        for (int i = 0; i < n; i++)
            if (list[i].code == v)
                at = i;
        at = at < 0 ? 0 : (at + (up ? 1 : n - 1)) % n;
        v = list[at].code;
        if (p.changed)
            p.changed(f, st().v);
        break;
    }
    }
    if (p.stepped)
        p.stepped(f, before, v);
}

// ---- Drawing ---------------------------------------------------------------

bool centred(const EditorPage& p)
{
    return p.width == 21;
}

void text(const EditorPage& p, int column, int row, const char* t, int length)
{
    drawText(1, column, row, 0, t, length, centred(p) ? 1 : 0);
}

void fieldText(const EditorPage& p, int f, char* out, size_t size)
{
    const FieldSpec& s = p.fields[f];
    int32_t v = st().v[f];
    switch (s.kind) {
    case FIELD_OCTETS: {
        uint32_t a = static_cast<uint32_t>(v);
        snprintf(out, size, "%3u.%3u.%3u.%3u", a >> 24, a >> 16 & 0xFF, a >> 8 & 0xFF, a & 0xFF);
        break;
    }
    case FIELD_NUMBER:
        if (s.point)
            tenthsText(v, out, size);
        else if (s.whole)
            snprintf(out, size, s.format, v / s.whole, v % s.whole / s.part);
        else
            snprintf(out, size, s.format, v);
        break;
    case FIELD_CHOICE: {
        Choice list[kMaxChoices];
        int n = offered(p, f, list);
        const char* label = nullptr;
        for (int i = 0; i < n; i++)
            if (list[i].code == v)
                label = list[i].label;
        if (!label)
            label = choiceLabel(s.choices, s.choiceCount, v);
        if (label)
            snprintf(out, size, "%s", label);
        else
            snprintf(out, size, "%.*s", s.width, "--------");
        break;
    }
    }
}

struct ApplyLine {
    const char* text;
    int applyColumn, discardColumn;
};

ApplyLine applyLine(const EditorPage& p)
{
    if (centred(p))
        return {" APPLY    DISCARD    ", 2, 11};
    return {"       APPLY    DISCARD         ", 8, 17};
}

void drawCursor(const EditorPage& p)
{
    EditorState& s = st();
    if (s.sel >= p.count) {
        ApplyLine a = applyLine(p);
        if (s.sel == p.count)
            text(p, a.applyColumn, 4, "_____", 5);
        else
            text(p, a.discardColumn, 4, "_______", 7);
        return;
    }
    const FieldSpec& f = p.fields[s.sel];
    if (s.mode == MODE_EDIT && f.kind != FIELD_CHOICE) {
        int at = f.kind == FIELD_OCTETS ? s.digit / 3 * 4 + s.digit % 3 : f.at[s.digit];
        text(p, f.column + at, f.row, "_", 1);
        return;
    }
    char bar[40];
    memset(bar, '_', f.width);
    bar[f.width] = 0;
    text(p, f.column, f.row, bar, f.width);
}

void drawAll(const EditorPage& p)
{
    EditorState& s = st();
    // Row 4 as the page has it, then the values, then the APPLY/DISCARD or
    // invalid-address line over it, then the cursor.
    if (staticWidth(p.id) != 0)
        text(p, 1, 4, staticLine(p.id, 3), p.width);
    if (p.decorate)
        p.decorate();
    char buf[40];
    for (int f = 0; f < p.count; f++) {
        if (!isPresent(p, f))
            continue;
        fieldText(p, f, buf, sizeof buf);
        text(p, p.fields[f].column, p.fields[f].row, buf, p.fields[f].width);
    }
    if (s.row4 == ROW4_APPLY)
        text(p, 1, 4, applyLine(p).text, p.width);
    else if (s.row4 == ROW4_INVALID)
        text(p, 1, 4, " ADDRESS INVALID !!! ", 21);
    if (p.id == 53 && s.tuning != kUnknown)
        text(p, 1, 1, "          TUNING ...            ", 32);
    drawCursor(p);
}

Shown snapshot(const EditorPage& p)
{
    EditorState& s = st();
    Shown now;
    memset(&now, 0, sizeof now);
    now.mode = s.mode;
    now.sel = s.sel;
    now.digit = s.digit;
    now.row4 = s.row4;
    memcpy(now.v, s.v, sizeof now.v);
    for (int f = 0; f < p.count; f++)
        now.presentMask |= isPresent(p, f) ? 1u << f : 0;
    if (p.id == 53 && s.tuning != kUnknown)
        now.presentMask |= 1u << 31;
    return now;
}

void openEditor(const EditorPage& p)
{
    EditorState& s = st();
    s.mode = MODE_VIEW;
    s.sel = static_cast<uint8_t>(firstField(p));
    s.digit = 0;
    s.row4 = ROW4_PAGE;
    loadValues(p, s.v);
    memcpy(s.start, s.v, sizeof s.start);
}

// The next or previous selectable place: the present fields, and APPLY
// and DISCARD while a valid change waits.
void moveSelection(const EditorPage& p, bool down)
{
    EditorState& s = st();
    int places = p.count + (s.mode == MODE_CHOICE ? 2 : 0);
    int at = s.sel;
    for (int i = 0; i < places; i++) {
        at = (at + (down ? 1 : places - 1)) % places;
        if (at >= p.count || isPresent(p, at))
            break;
    }
    s.sel = static_cast<uint8_t>(at);
}

void endEditing(const EditorPage& p)
{
    EditorState& s = st();
    s.digit = 0;
    if (!anyChanged(p)) {
        s.mode = MODE_VIEW;
        s.row4 = ROW4_PAGE;
    } else if (p.valid && !p.valid(s.v)) {
        s.mode = MODE_VIEW;
        s.row4 = ROW4_INVALID;
    } else {
        s.mode = MODE_CHOICE;
        s.row4 = ROW4_APPLY;
        s.sel = p.count;
    }
}

void refuse(const EditorPage& p)
{
    showNotice(13, p.id);
}

} // namespace

void settingsKey(uint16_t key)
{
    const EditorPage* pp = editorOf(currentPage());
    if (!pp)
        return;
    const EditorPage& p = *pp;
    EditorState& s = st();
    if (s.mode == MODE_EDIT) {
        const FieldSpec& f = p.fields[s.sel];
        switch (key) {
        case KEY_LEFT: s.digit = static_cast<uint8_t>((s.digit + f.digits - 1) % f.digits); break;
        case KEY_RIGHT: s.digit = static_cast<uint8_t>((s.digit + 1) % f.digits); break;
        case KEY_UP:
        case KEY_DOWN:
            if (remoteOrOn()) {
                refuse(p);
                return;
            }
            stepField(p, s.sel, key == KEY_UP);
            break;
        case KEY_ENTER: endEditing(p); break;
        default: break;
        }
        return;
    }
    if (s.mode == MODE_VIEW && s.sel >= p.count) {
        printf("\n\n [[[ ERROR ]]] Impossibile essere in VIEW e Sel=%i  !!! \n\n", s.sel);
        s.sel = static_cast<uint8_t>(firstField(p));
    } else if (s.mode == MODE_CHOICE && s.sel > p.count + 1) {
        printf("\n\n [[[ ERROR ]]] Impossibile essere in APPLY//DISCARD e Sel=%i !!! \n\n", s.sel);
        s.sel = p.count;
    }
    switch (key) {
    case KEY_UP:
    case KEY_DOWN: moveSelection(p, key == KEY_DOWN); break;
    case KEY_LEFT:
        if (s.mode == MODE_VIEW && p.left != kStay) {
            if (p.leave)
                p.leave();
            gotoPage(p.left, 0);
        }
        break;
    case KEY_ENTER:
        if (s.sel < p.count) {
            if (remoteOrOn()) {
                refuse(p);
                return;
            }
            s.mode = MODE_EDIT;
            s.digit = 0;
        } else if (s.sel == p.count) {
            if (remoteOrOn()) {
                refuse(p);
                return;
            }
            applyValues(p);
            memcpy(s.start, s.v, sizeof s.start);
            s.mode = MODE_VIEW;
            s.row4 = ROW4_PAGE;
            s.sel = static_cast<uint8_t>(firstField(p));
        } else {
            memcpy(s.v, s.start, sizeof s.v);
            s.mode = MODE_VIEW;
            s.row4 = ROW4_PAGE;
            s.sel = static_cast<uint8_t>(firstField(p));
        }
        break;
    default: break;
    }
}

void settingsDraw(int first, int arg)
{
    (void)arg;
    const EditorPage* pp = editorOf(currentPage());
    if (!pp)
        return;
    const EditorPage& p = *pp;
    EditorState& s = st();
    if (first) {
        openEditor(p);
    } else if (s.mode == MODE_VIEW && !anyChanged(p)) {
        // Nothing edited: the page follows the daemon's values.
        loadValues(p, s.v);
        memcpy(s.start, s.v, sizeof s.start);
        if (!isPresent(p, s.sel))
            s.sel = static_cast<uint8_t>(firstField(p));
    }
    // The receiver tunes until its frequency reads back as sent.
    if (p.id == 53 && s.tuning != kUnknown && word(5, 0) == s.tuning)
        s.tuning = kUnknown;
    Shown now = snapshot(p);
    if (first || !s.drawn || memcmp(&now, &s.shown, sizeof now) != 0) {
        drawAll(p);
        s.shown = now;
        s.drawn = true;
    }
}

bool inputComboMode(int source, int rds, int* mode)
{
    const Combo* c = comboOf(source, rds);
    if (c)
        *mode = c->mode;
    return c != nullptr;
}

int inputSecondaryChoices(int mode, int* codes, int max)
{
    int n = 0;
    for (const Allowed& a : kAllowed)
        if (a.mode == mode && n < max)
            codes[n++] = a.secondary;
    return n;
}

void resetSettingsPages()
{
    st() = EditorState{};
}

} // namespace lumiro
