// Page table, gotoPage, the start page and the status page.
#include "display/pages.h"

#include "display/dbView.h"
#include "display/keypad.h"
#include "display/lcd.h"
#include "display/pageSet.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>

namespace lumiro {

namespace {

struct StaticPage {
    uint8_t id;
    uint8_t width;
    const char* lines[kStaticLines];
};

constexpr StaticPage kStaticPages[] = {
#define STATIC_PAGE(id, width, l1, l2, l3, l4) {id, width, {l1, l2, l3, l4}},
#include "display/gen/staticTexts.inc"
#undef STATIC_PAGE
};

// The key, preset and notice pages' texts (the notice page draws its own).
constexpr StaticPage kKeyPages[] = {
    {11, 21, {"    USB KEY MENU     ", " CONFIGURATION DATA  ", " FIRMWARE UPDATE     ", "                     "}},
    {12, 21, {"    USB KEY MENU     ", " VRL CONFIG.DATA     ", "                     ", "                     "}},
    {13, 21, {"USB KEY - VRL CONFIG.", " SAVE                ", " LOAD                ", "                     "}},
    {14, 21, {"  SAVE CONFIGURATION ", "                     ", "                     ", "                     "}},
    {15, 21, {"  LOAD CONFIGURATION ", "                     ", "                     ", "                     "}},
    {16, 21, {"   FIRMWARE UPGRADE  ", "                     ", "                     ", "                     "}},
    {17, 21, {"     SELECT FILE     ", "                     ", "                     ", "                     "}},
    {18, 21, {"     PRESET MENU     ", " SAVE PRESET         ", " LOAD PRESET         ", "                     "}},
    {19, 21, {"    SELECT PRESET    ", "                     ", "                     ", "                     "}},
    {20, 21, {"     LOAD PRESET     ", "                     ", "                     ", "                     "}},
    {21, 21, {"     SAVE PRESET     ", "                     ", "                     ", "                     "}},
};

struct InputMode {
    uint8_t mode;
    const char* source;
    const char* rds;
};

constexpr InputMode kInputModes[] = {
#define INPUT_MODE(mode, source, rds) {mode, source, rds},
#include "display/gen/inputModes.inc"
#undef INPUT_MODE
};

constexpr const char* kRebootNotice[kStaticLines] = {
    "                                ",
    "           S Y S T E M          ",
    "        R E B O O T I N G       ",
    "                                ",
};

// Amplifier families whose powers are shown in dBm.
constexpr uint32_t kFamilyDbm = 9;
constexpr uint32_t kFamilyDbmStandby = 17;
constexpr int32_t kNoDbm = -600;

// What the status page drew last.
struct StatusShown {
    uint32_t mode, preset, master, freq, family, fwd, fwdDbm, reflPct, standbyBit, status, tin, tout, tinBlank;
};

struct PagesState {
    uint8_t page = 0;
    uint8_t systemType = 0;
    uint8_t width[kPageCount] = {};
    char text[kPageCount][kStaticLines][33] = {};
    bool loaded = false;
    StatusShown shown = {};
};

PagesState& st()
{
    static PagesState s;
    return s;
}

void loadStaticTexts()
{
    if (st().loaded)
        return;
    for (const auto* table : {&kStaticPages[0], &kKeyPages[0]}) {
        size_t n = table == kStaticPages ? std::size(kStaticPages) : std::size(kKeyPages);
        for (size_t i = 0; i < n; i++) {
            const StaticPage& p = table[i];
            st().width[p.id] = p.width;
            for (int l = 0; l < kStaticLines; l++)
                snprintf(st().text[p.id][l], sizeof st().text[p.id][l], "%s", p.lines[l]);
        }
    }
    st().loaded = true;
}

// Page 0: the start page moves on to the status page at its first draw.
void drawStartPage(int first, int arg)
{
    (void)first;
    (void)arg;
    gotoPage(1, 0);
}

void statusKey(uint16_t key)
{
    switch (key) {
    case KEY_ENTER: gotoPage(2, 0); break;
    case KEY_DOWN: gotoPage(9, 0); break;
    case KEY_UP: gotoPage(5, 0); break;
    default: break;
    }
}

const char* statusText(uint32_t w)
{
    if (w & (1u << 19))
        return "INTLOCK";
    if (w & (1u << 20))
        return "LOCKOUT";
    if (w & (1u << 28))
        return "FAILURE";
    if (w & (1u << 27))
        return "ALARM  ";
    if (w & (1u << 26))
        return "WARNING";
    return "OK     ";
}

// A temperature ending at `column` of row 4, then the degree sign.
void drawTemperature(int column, uint32_t raw, bool blank)
{
    if (blank)
        return;
    int32_t t = static_cast<int32_t>(raw);
    char buf[8];
    if (t < -99 || t > 998)
        snprintf(buf, sizeof buf, t < -99 ? "---" : "--");
    else
        snprintf(buf, sizeof buf, "%2d", t);
    int len = static_cast<int>(strlen(buf));
    drawText(1, column - len + 1, 4, 0, buf, len, 0);
    drawText(1, column + 1, 4, kMarkDegree, " ", 1, 0);
}

// The power number ends in this cell of font 3 (x = 160), where the unit
// text's letters begin; a narrow decimal point lets four characters fit
// after the "MHz".
constexpr int kPowerEndColumn = 10;

void drawPowerNumber(const char* text)
{
    drawTightNumber(kPowerEndColumn, 2, text);
}

void drawStatus(int first, int arg)
{
    (void)arg;
    StatusShown now = {};
    now.mode = imageWord(3, 58);
    now.preset = imageWord(2, 58);
    now.master = imageWord(2, 14);
    now.freq = imageWord(3, 3);
    now.family = imageWord(2, 24);
    now.fwd = imageWord(1, 2);
    now.fwdDbm = imageWord(1, 14);
    now.reflPct = imageWord(1, 5);
    now.standbyBit = (imageWord(2, 1) >> 5) & 1;
    now.status = imageWord(1, 0);
    now.tin = imageWord(2, 3);
    now.tout = imageWord(2, 29);
    now.tinBlank = (imageWord(2, 57) >> 16) & 1;
    StatusShown& was = st().shown;
    auto changed = [&](std::initializer_list<uint32_t StatusShown::*> fields) {
        bool any = first != 0;
        for (auto f : fields)
            any = any || now.*f != was.*f;
        return any;
    };
    char buf[24];

    // Row 1: input source, RDS source, preset, master or slave.
    if (changed({&StatusShown::mode})) {
        const char* source = nullptr;
        const char* rds = nullptr;
        if (inputModeTexts(now.mode, &source, &rds)) {
            drawText(1, 10, 1, 0, source, 7, 0);
            drawText(1, 22, 1, 0, rds, 3, 0);
        } else {
            drawText(1, 10, 1, 0, "       ", 7, 0);
            drawText(1, 22, 1, 0, "   ", 3, 0);
        }
    }
    if (changed({&StatusShown::preset})) {
        snprintf(buf, sizeof buf, "P%-2u", now.preset % 100);
        drawText(1, 27, 1, 0, buf, 3, 0);
    }
    if (changed({&StatusShown::master}))
        drawText(1, 30, 1, 0, now.master == 1 ? "SLV" : "MST", 3, 0);

    // Rows 2 and 3 hold the large digits and fields of varying width: they
    // are drawn anew from their static lines when any of them changed.
    if (changed({&StatusShown::freq, &StatusShown::family, &StatusShown::fwd, &StatusShown::fwdDbm,
                 &StatusShown::reflPct, &StatusShown::standbyBit})) {
        if (!first)
            for (int row = 2; row <= 3; row++)
                drawText(1, 1, row, 0, staticLine(1, row - 1), 32, 0);
        // The frequency in tenths of a MHz, 5 characters with one decimal
        // ending at column 5 of the large font, before the "MHz".
        uint32_t tenthsMhz = now.freq / 100000;
        snprintf(buf, sizeof buf, "%3u.%u", (tenthsMhz / 10) % 1000, tenthsMhz % 10);
        drawText(3, 1, 2, 0, buf, 5, 0);

        // The forward power and its unit, the reflected percentage.
        bool dbm = now.family == kFamilyDbm || now.family == kFamilyDbmStandby;
        if (dbm) {
            int32_t d = static_cast<int32_t>(now.fwdDbm);
            bool shown = now.family == kFamilyDbm || (now.standbyBit && d != kNoDbm);
            if (shown) {
                drawText(1, 14, 3, 0, now.family == kFamilyDbm ? "       dBm" : "           dBm",
                         now.family == kFamilyDbm ? 10 : 14, 0);
                snprintf(buf, sizeof buf, "%s%d.%d", d < 0 ? "-" : "", (d < 0 ? -d : d) / 10, (d < 0 ? -d : d) % 10);
                drawPowerNumber(buf);
            } else {
                drawText(1, 14, 3, 0, "  STANDBY", 9, 0);
            }
        } else {
            PowerText p;
            if (formatPower(now.fwd, &p)) {
                const char* unit =
                    !strcmp(p.unit, "mW") ? "       mW " : !strcmp(p.unit, "W") ? "        W " : "       kW ";
                drawText(1, 14, 3, 0, unit, 10, 0);
                drawPowerNumber(p.number);
            }
        }
        if (now.family != kFamilyDbmStandby) {
            drawText(1, 25, 3, 0, "       %", 8, 0);
            snprintf(buf, sizeof buf, "%3u", now.reflPct > 999 ? 999 : now.reflPct);
            drawText(1, 29, 3, 0, buf, 3, 0);
        }
    }

    // Row 4: status and temperatures; a temperature's cells are restored
    // from the static line before it is drawn.
    if (changed({&StatusShown::status}))
        drawText(1, 8, 4, 0, statusText(now.status), 7, 0);
    if (changed({&StatusShown::tin, &StatusShown::tinBlank})) {
        if (!first)
            drawText(1, 16, 4, 0, staticLine(1, 3) + 15, 8, 0);
        drawTemperature(21, now.tin, now.tinBlank != 0);
    }
    if (changed({&StatusShown::tout})) {
        if (!first)
            drawText(1, 24, 4, 0, staticLine(1, 3) + 23, 9, 0);
        drawTemperature(31, now.tout, false);
    }
    was = now;
}

// The page table: pages without a row have no handlers.
constexpr PageDef kPages[] = {
    {0, nullptr, drawStartPage},
    {1, statusKey, drawStatus},
    {2, menuKey, menuDraw},
    {3, settingsKey, settingsDraw},
    {4, alarmKey, alarmDraw},
    {5, powerKey, powerDraw},
    {6, menuKey, menuDraw},
    {7, measureKey, supplyDraw},
    {8, measureKey, deviationDraw},
    {9, barsKey, barsDraw},
    {10, powerKey, powerDraw},
    {11, menuKey, menuDraw},
    {12, usbKeyDataKey, usbKeyDataDraw},
    {13, menuKey, menuDraw},
    {14, confirmKey, confirmDraw},
    {15, confirmKey, confirmDraw},
    {16, confirmKey, confirmDraw},
    {17, fileListKey, fileListDraw},
    {18, menuKey, menuDraw},
    {19, fileListKey, fileListDraw},
    {20, presetConfirmKey, presetConfirmDraw},
    {21, presetConfirmKey, presetConfirmDraw},
    {22, noticeKey, noticeDraw},
    {23, settingsKey, settingsDraw},
    {25, aboutKey, aboutDraw},
    {26, menuKey, menuDraw},
    {27, settingsKey, settingsDraw},
    {28, menuKey, menuDraw},
    {29, settingsKey, settingsDraw},
    {30, settingsKey, settingsDraw},
    {32, menuKey, menuDraw},
    {46, ethMenuKey, ethMenuDraw},
    {51, settingsKey, settingsDraw},
    {52, measureKey, receiverDraw},
    {53, settingsKey, settingsDraw},
};

const PageDef* pageOf(uint8_t id)
{
    for (const PageDef& p : kPages)
        if (p.id == id)
            return &p;
    return nullptr;
}

// Writes 17 characters into a static line from column 2.
void writeFromColumn2(uint8_t page, int line, const char* text)
{
    memcpy(staticLine(page, line) + 1, text, 17);
}

// The configuration menu and the FM settings list what the system type has.
void rewriteBySystemType(uint8_t page, uint8_t type)
{
    constexpr const char* kBlank = "                 ";
    if (page == 26) {
        if (type == 1 || type == 2) {
            writeFromColumn2(26, 2, "VRL SETUP        ");
            writeFromColumn2(26, 3, kBlank);
        } else if (type == 10 || type == 11) {
            writeFromColumn2(26, 2, "INPUT SETTINGS   ");
            writeFromColumn2(26, 3, "VRL SETUP        ");
        } else {
            writeFromColumn2(26, 2, "NETWORK          ");
            writeFromColumn2(26, 3, "VRL SETUP        ");
        }
    } else if (page == 28) {
        writeFromColumn2(28, 3, type == 10 ? "INPUT RX SETTINGS" : kBlank);
    }
}

} // namespace

uint8_t currentPage()
{
    return st().page;
}

char* staticLine(uint8_t page, int line)
{
    loadStaticTexts();
    if (page >= kPageCount || line < 0 || line >= kStaticLines)
        return nullptr;
    return st().text[page][line];
}

int staticWidth(uint8_t page)
{
    loadStaticTexts();
    return page < kPageCount ? st().width[page] : 0;
}

void drawStaticText(uint8_t page)
{
    int width = staticWidth(page);
    if (width == 0)
        return;
    for (int l = 0; l < kStaticLines; l++) {
        if (width == 32)
            drawText(1, 1, l + 1, 0, st().text[page][l], 32, 0);
        else
            drawText(1, 1, l + 1, 0, st().text[page][l], width, 1);
    }
}

void gotoPage(uint8_t page, int arg)
{
    st().page = page;
    clearScreen();
    st().systemType = getSystemType();
    rewriteBySystemType(page, st().systemType);
    drawStaticText(page);
    pageDraw(1, arg);
}

void pageKey(uint16_t key)
{
    const PageDef* p = pageOf(st().page);
    if (p && p->key)
        p->key(key);
}

void pageDraw(int first, int arg)
{
    const PageDef* p = pageOf(st().page);
    if (p && p->draw)
        p->draw(first, arg);
}

uint8_t pageSystemType()
{
    return st().systemType;
}

void drawRebootNotice()
{
    for (int l = 0; l < kStaticLines; l++)
        drawText(1, 1, l + 1, 0, kRebootNotice[l], 32, 0);
}

bool formatPower(uint32_t v, PowerText* out)
{
    // Tenths of a milliwatt: 10 = 1 mW, 10,000 = 1 W, 10,000,000 = 1 kW.
    uint64_t x = v;
    if (x < 100) {
        snprintf(out->number, sizeof out->number, "%u.%u", static_cast<unsigned>(x / 10),
                 static_cast<unsigned>(x % 10));
        out->unit = "mW";
    } else if (x < 10000) {
        uint64_t mw = (x + 5) / 10;
        if (mw >= 1000) {
            snprintf(out->number, sizeof out->number, "1.0");
            out->unit = "W";
        } else {
            snprintf(out->number, sizeof out->number, "%u", static_cast<unsigned>(mw));
            out->unit = "mW";
        }
    } else if (x < 100000) {
        uint64_t dw = (x + 500) / 1000;
        if (dw >= 100)
            snprintf(out->number, sizeof out->number, "10");
        else
            snprintf(out->number, sizeof out->number, "%u.%u", static_cast<unsigned>(dw / 10),
                     static_cast<unsigned>(dw % 10));
        out->unit = "W";
    } else if (x < 10000000) {
        uint64_t w = (x + 5000) / 10000;
        snprintf(out->number, sizeof out->number, "%u", static_cast<unsigned>(w > 999 ? 999 : w));
        out->unit = "W";
    } else {
        uint64_t dkw = (x + 500000) / 1000000;
        if (dkw >= 100000)
            return false;
        snprintf(out->number, sizeof out->number, "%u.%u", static_cast<unsigned>(dkw / 10),
                 static_cast<unsigned>(dkw % 10));
        out->unit = "kW";
    }
    return true;
}

bool inputModeTexts(uint32_t mode, const char** source, const char** rds)
{
    for (const InputMode& m : kInputModes) {
        if (m.mode == mode) {
            *source = m.source;
            *rds = m.rds;
            return true;
        }
    }
    return false;
}

void resetPages()
{
    st().page = 0;
    st().systemType = 0;
    st().shown = {};
    st().loaded = false;
    resetMenus();
    resetMeasurePages();
    resetUsbPages();
    resetSettingsPages();
}

} // namespace lumiro
