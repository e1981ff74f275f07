// The menu family: each menu is a row of data (its page, parent, items and
// whether its rows wrap); one key handler and one draw handler serve them
// all. Page 46 adds its port switch.
#include "display/dbView.h"
#include "display/displayMain.h"
#include "display/keypad.h"
#include "display/lcd.h"
#include "display/pageSet.h"
#include "display/pages.h"

#include <cstdio>

namespace lumiro {

namespace {

// Items open a page, or run an action (the USB and preset items check the
// key, the folders and the lists first).
struct MenuItem {
    const char* label;
    uint8_t target;
    void (*action)();
};

// Which system types a menu variant is for.
enum TypeSet : uint8_t { TYPES_ANY, TYPES_1_2, TYPES_10_11, TYPE_10, TYPES_OTHER_26, TYPES_NOT_10 };

struct MenuDef {
    uint8_t page;
    TypeSet types;
    uint8_t parent;
    bool wraps;      // short menus: the row selects the item, UP and DOWN wrap
    bool drawsItems; // scrolling menus draw their item labels themselves
    uint8_t count;
    MenuItem items[5];
};

constexpr uint8_t kNone = 255;

constexpr MenuDef kMenus[] = {
    {2, TYPES_ANY, 1, false, true, 5,
     {{"ALARMS", 4, nullptr},
      {"MEASURES", 6, nullptr},
      {"CONFIGURATIONS", 26, nullptr},
      {"USB", kNone, openUsbMenu},
      {"ABOUT", 25, nullptr}}},
    {6, TYPES_ANY, 2, false, true, 5,
     {{"POWER", 5, nullptr},
      {"RX MEASURE", 52, nullptr},
      {"VOLTAGE CURRENT", 7, nullptr},
      {"FREQ. DEVIATION", 8, nullptr},
      {"POWER DEVIATION", 9, nullptr}}},
    {11, TYPES_ANY, 2, true, false, 2,
     {{"CONFIGURATION DATA", kNone, usbConfigData}, {"FIRMWARE UPDATE", kNone, usbFirmwareUpdate}}},
    {13, TYPES_ANY, 11, true, false, 2, {{"SAVE", kNone, usbSave}, {"LOAD", kNone, usbLoad}}},
    {18, TYPES_ANY, 32, true, false, 2,
     {{"SAVE PRESET", kNone, presetSaveList}, {"LOAD PRESET", kNone, presetLoadList}}},
    {26, TYPES_1_2, 2, true, false, 2, {{"RF SETTINGS", 27, nullptr}, {"VRL SETUP", 32, nullptr}}},
    {26, TYPES_10_11, 2, true, false, 3,
     {{"RF SETTINGS", 27, nullptr}, {"INPUT SETTINGS", 28, nullptr}, {"VRL SETUP", 32, nullptr}}},
    {26, TYPES_OTHER_26, 2, true, false, 3,
     {{"RF SETTINGS", 27, nullptr}, {"NETWORK", 46, nullptr}, {"VRL SETUP", 32, nullptr}}},
    {28, TYPE_10, 26, true, false, 3,
     {{"INPUT CONFIGURATION", 29, nullptr}, {"INPUT LEVELS", 30, nullptr}, {"INPUT RX SETTINGS", 53, nullptr}}},
    {28, TYPES_NOT_10, 26, true, false, 2, {{"INPUT CONFIGURATION", 29, nullptr}, {"INPUT LEVELS", 30, nullptr}}},
    {32, TYPES_ANY, 26, false, false, 3,
     {{"SYSTEM MODE", 23, nullptr}, {"ETH CONFIGURATION", 46, nullptr}, {"LOAD/SAVE PRESET", 18, nullptr}}},
};

bool typeFits(TypeSet set, uint8_t type)
{
    switch (set) {
    case TYPES_ANY: return true;
    case TYPES_1_2: return type == 1 || type == 2;
    case TYPES_10_11: return type == 10 || type == 11;
    case TYPE_10: return type == 10;
    case TYPES_OTHER_26: return !(type == 1 || type == 2 || type == 10 || type == 11);
    case TYPES_NOT_10: return type != 10;
    }
    return false;
}

// The menu of a page for the system type stored by the last page change.
const MenuDef* menuOf(uint8_t page)
{
    for (const MenuDef& m : kMenus)
        if (m.page == page && typeFits(m.types, pageSystemType()))
            return &m;
    return nullptr;
}

struct MenuState {
    uint8_t row = 2;      // cursor row, 2 to 4
    uint8_t selected = 0; // selected item
    uint8_t top = 0;      // first item shown
    uint8_t shownRow = 0;
    uint8_t shownTop = 0;
};

struct MenusState {
    MenuState menus[kPageCount];
    uint8_t port = 1; // the front port first
    uint8_t shownPort = 255;
};

MenusState& st()
{
    static MenusState s;
    return s;
}

void drawCursor(uint8_t row, bool on)
{
    drawText(1, 1, row, 0, on ? ">" : " ", 1, 1);
}

void drawItems(const MenuDef& m, const MenuState& s)
{
    char line[24];
    for (int r = 0; r < 3; r++) {
        int i = s.top + r;
        snprintf(line, sizeof line, "%-20s", i < m.count ? m.items[i].label : "");
        drawText(1, 2, r + 2, 0, line, 20, 1);
    }
}

void openItem(const MenuItem& item)
{
    if (item.action)
        item.action();
    else if (item.target != kNone)
        gotoPage(item.target, 0);
}

} // namespace

void menuKey(uint16_t key)
{
    const MenuDef* m = menuOf(currentPage());
    if (!m)
        return;
    MenuState& s = st().menus[m->page];
    uint8_t lastRow = static_cast<uint8_t>(m->count + 1);
    switch (key) {
    case KEY_UP:
        if (m->wraps) {
            s.row = s.row > 2 ? s.row - 1 : lastRow;
            s.selected = static_cast<uint8_t>(s.row - 2);
        } else {
            if (s.row > 2)
                s.row--;
            if (s.selected > 0)
                s.selected--;
            if (s.selected < s.top)
                s.top = s.selected;
        }
        break;
    case KEY_DOWN:
        if (m->wraps) {
            s.row = s.row < lastRow ? s.row + 1 : 2;
            s.selected = static_cast<uint8_t>(s.row - 2);
        } else if (s.selected + 1 < m->count) {
            if (s.row < 4)
                s.row++;
            s.selected++;
            if (s.selected > s.top + 2)
                s.top++;
        }
        break;
    case KEY_LEFT: gotoPage(m->parent, 0); break;
    case KEY_ENTER:
    case KEY_RIGHT: openItem(m->items[s.selected]); break;
    default: break;
    }
}

void menuDraw(int first, int arg)
{
    (void)arg;
    uint8_t page = currentPage();
    // The key menus leave as soon as the key is gone.
    if ((page == 11 || page == 13) && !usbKeyPresent()) {
        gotoPage(2, 0);
        return;
    }
    // The configuration menu of the key exchanges the unit's configuration.
    if (page == 13 && first)
        displayState().exchangeSource = 0;
    const MenuDef* m = menuOf(page);
    if (!m)
        return;
    MenuState& s = st().menus[page];
    if (first) {
        s = MenuState{};
        if (m->drawsItems)
            drawItems(*m, s);
        drawCursor(s.row, true);
        s.shownRow = s.row;
        s.shownTop = s.top;
        return;
    }
    if (m->drawsItems && s.top != s.shownTop)
        drawItems(*m, s);
    if (s.row != s.shownRow) {
        drawCursor(s.shownRow, false);
        drawCursor(s.row, true);
    }
    s.shownRow = s.row;
    s.shownTop = s.top;
}

void ethMenuKey(uint16_t key)
{
    switch (key) {
    case KEY_UP:
    case KEY_DOWN: st().port ^= 1; break;
    case KEY_LEFT: gotoPage(32, 0); break;
    case KEY_ENTER:
    case KEY_RIGHT: gotoPage(3, st().port); break;
    default: break;
    }
}

void ethMenuDraw(int first, int arg)
{
    (void)arg;
    if (first) {
        // Only the address row is offered: the switch line stays blank.
        drawText(1, 1, 2, 0, "                     ", 21, 1);
        drawCursor(3, true);
        st().shownPort = 255;
    }
    if (st().port != st().shownPort) {
        drawText(1, 14, 3, 0, st().port ? "[FRONT]" : "[REAR] ", 7, 1);
        st().shownPort = st().port;
    }
}

uint8_t ethMenuPort()
{
    return st().port;
}

void resetMenus()
{
    st() = MenusState{};
}

} // namespace lumiro
