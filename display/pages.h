// Pages of the front panel: a page table of static text, key handler and
// draw handler by page id, gotoPage, and the pages built so far.
#pragma once

#include <cstdint>

namespace lumiro {

constexpr int kPageCount = 54;
constexpr int kStaticLines = 4;

using PageKeyHandler = void (*)(uint16_t key);
using PageDrawHandler = void (*)(int first, int arg);

struct PageDef {
    uint8_t id;
    PageKeyHandler key;   // nullptr: keys do nothing
    PageDrawHandler draw; // nullptr: draws nothing
};

uint8_t currentPage();
// Sets the current page, clears the screen, stores the system type, draws
// the static text and calls the draw handler with first = 1.
void gotoPage(uint8_t page, int arg);
// The current page's handlers (nothing for an id without one).
void pageKey(uint16_t key);
void pageDraw(int first, int arg);
// The static text of a page: its lines (modifiable), and their width (32
// drawn from the left edge, 21 centred; 0 for a page without text).
char* staticLine(uint8_t page, int line);
int staticWidth(uint8_t page);
void drawStaticText(uint8_t page);
// The system type stored by the last gotoPage.
uint8_t pageSystemType();

// The reboot notice, four lines of 32 characters.
void drawRebootNotice();

// The power display rule of the status page and the power pages: the
// number text and its unit for a power in tenths of a milliwatt; false when
// it is not drawn (10,000 kW and more).
struct PowerText {
    char number[12];
    const char* unit; // "mW", "W" or "kW"
};
bool formatPower(uint32_t tenthsMw, PowerText* out);
// The input source and RDS texts of an input mode, false for a mode the
// table does not list.
bool inputModeTexts(uint32_t mode, const char** source, const char** rds);

// Tests: back to page 0 with the pages' state cleared.
void resetPages();

} // namespace lumiro
