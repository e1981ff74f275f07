// Key and draw handlers of the menus, the alarm page, the measure pages,
// the about page and the USB key, preset and notice pages, for the page
// table of pages.cpp.
#pragma once

#include <cstdint>

namespace lumiro {

// The menu family (pages 2, 6, 11, 13, 18, 26, 28, 32): items, parent,
// rows and wrapping are data; both handlers act on the current page.
void menuKey(uint16_t key);
void menuDraw(int first, int arg);
// Page 46: the Ethernet configuration menu with its port switch.
void ethMenuKey(uint16_t key);
void ethMenuDraw(int first, int arg);
// The port page 46 shows: 0 rear, 1 front.
uint8_t ethMenuPort();

// Page 4: the alarm list.
void alarmKey(uint16_t key);
void alarmDraw(int first, int arg);
// The names of the alarm flags set in the images, in table order (empty
// for a system type without the list).
int alarmList(const char* names[], int max);
constexpr int kAlarmCount = 53;
const char* alarmName(int index);

// Measure pages and the about page.
void powerKey(uint16_t key);   // pages 5 and 10
void powerDraw(int first, int arg);
void measureKey(uint16_t key); // pages 7, 8 and 52
void supplyDraw(int first, int arg);
void deviationDraw(int first, int arg);
void receiverDraw(int first, int arg);
void barsKey(uint16_t key);    // page 9
void barsDraw(int first, int arg);
void aboutKey(uint16_t key);   // page 25
void aboutDraw(int first, int arg);

// USB key, preset and notice pages (11 to 22), and the main menu's USB item.
void openUsbMenu();
void usbConfigData();
void usbFirmwareUpdate();
void usbSave();
void usbLoad();
void presetSaveList();
void presetLoadList();
void usbKeyDataKey(uint16_t key); // page 12
void usbKeyDataDraw(int first, int arg);
void confirmKey(uint16_t key);    // pages 14, 15, 16
void confirmDraw(int first, int arg);
void fileListKey(uint16_t key);   // pages 17 and 19
void fileListDraw(int first, int arg);
void presetConfirmKey(uint16_t key); // pages 20 and 21
void presetConfirmDraw(int first, int arg);
void noticeKey(uint16_t key);     // page 22
void noticeDraw(int first, int arg);
// Opens the notice page with a notice and the page LEFT returns to.
void showNotice(uint8_t notice, uint8_t returnPage);
// Whether the key was present at the last turn.
bool usbKeyPresent();
// The texts of a notice (lines 1, 3 and 4), false for a number without.
bool noticeLines(uint8_t notice, const char* lines[3]);
// The outcome lines (1 and 3) of notice 11 or 12 for a state of 2 or 3.
bool noticeOutcome(uint8_t notice, uint32_t state, const char* lines[2]);

// The settings pages (3, 23, 27, 29, 30, 51, 53): one editor, each page a
// row of data.
void settingsKey(uint16_t key);
void settingsDraw(int first, int arg);
// The input configuration page's combinations: the input mode of a primary
// source and its RDS source (false for a combination not offered), and the
// secondary sources a mode offers.
bool inputComboMode(int source, int rds, int* mode);
int inputSecondaryChoices(int mode, int* codes, int max);

// Tests: every page's remembered state cleared.
void resetMenus();
void resetMeasurePages();
void resetUsbPages();
void resetSettingsPages();

} // namespace lumiro
