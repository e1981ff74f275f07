// The USB key pages (11 to 17), the preset pages (18 to 21) and the notice
// page 22, with the requests they send and the state words they show.
#include "display/dbView.h"
#include "display/dipc.h"
#include "display/displayMain.h"
#include "display/keypad.h"
#include "display/lcd.h"
#include "display/pageSet.h"
#include "display/pages.h"
#include "display/usbKey.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace lumiro {

namespace {

struct NoticeRow {
    uint8_t number;
    const char* lines[3];
};

constexpr NoticeRow kNotices[] = {
#define NOTICE(n, l1, l3, l4) {n, {l1, l3, l4}},
#define NOTICE_OUTCOME(n, state, l1, l3)
#include "display/gen/notices.inc"
#undef NOTICE
#undef NOTICE_OUTCOME
};

struct NoticeOutcome {
    uint8_t number;
    uint8_t state;
    const char* lines[2];
};

constexpr NoticeOutcome kOutcomes[] = {
#define NOTICE(n, l1, l3, l4)
#define NOTICE_OUTCOME(n, state, l1, l3) {n, state, {l1, l3}},
#include "display/gen/notices.inc"
#undef NOTICE
#undef NOTICE_OUTCOME
};

constexpr const char* kBlankLine = "                     ";

enum : uint8_t { SOURCE_USB_CONFIG = 0, SOURCE_USB_UPGRADE = 1, SOURCE_PRESET = 2 };
enum : uint8_t { CHOICE_SAVE = 2, CHOICE_LOAD = 3 };
constexpr uint8_t kNoticePage = 22;

// Request keys (table << 8 | element) and the image words of their states.
constexpr uint16_t kUsbUpgradeReq = 49 << 8 | 1;
constexpr uint16_t kUsbLoadReq = 49 << 8 | 2;
constexpr uint16_t kUsbSaveReq = 49 << 8 | 3;
constexpr uint16_t kPresetSaveReq = 15 << 8 | 5;
constexpr uint16_t kPresetLoadReq = 15 << 8 | 7;
constexpr int kUsbSaveState = 1, kUsbLoadState = 3, kUpgradeState = 9, kPresetSaveState = 30,
              kPresetLoadState = 31, kUpgradePercent = 32;
constexpr uint32_t kFinalisingBit = 1u << 23;

struct UsbPagesState {
    UsbListKind listKind = USB_LIST_CONFIG;
    uint8_t choice = CHOICE_SAVE; // page 13: save or load
    PresetMode presetMode = PRESET_SAVE;
    std::vector<FileEntry> list;
    int selected = 0;
    int shownSelected = -1;
    bool yes = false;
    int shownYes = -1;
    uint32_t shownState = 0xFFFFFFFF;
    bool blinkOn = false;
    bool finalising = false;
    int shownPhase = -1;
};

UsbPagesState& st()
{
    static UsbPagesState s;
    return s;
}

DisplayState& ds()
{
    return displayState();
}

void drawLine(int row, const char* text)
{
    drawText(1, 1, row, 0, text, 21, 1);
}

void drawChoice(bool yes)
{
    drawLine(3, yes ? "     NO     [YES]    " : "    [NO]     YES     ");
}

// Pages 11 to 17 leave for the main menu as soon as the key is gone.
bool keyGone()
{
    if (usbKeyPresent())
        return false;
    gotoPage(2, 0);
    return true;
}

// Sends a request and shows its state as running until the daemon's own
// state reaches the image, so an earlier outcome is never shown for it.
void request(uint16_t key, uint32_t value, int stateWord)
{
    setImageWord(4, stateWord, 1);
    writeDbElement(key, value);
}

void drawRows(const char* l1, const char* l2, const char* l3, const char* l4)
{
    drawLine(1, l1);
    drawLine(2, l2);
    drawLine(3, l3);
    drawLine(4, l4);
}

// A notice's lines 1, 3 and 4; line 2 stays blank.
void drawNoticeRows(const char* l1, const char* l3, const char* l4)
{
    drawRows(l1, kBlankLine, l3, l4);
}

// The state word a request notice shows, by notice and source.
int noticeStateWord(uint8_t notice)
{
    bool preset = ds().exchangeSource == SOURCE_PRESET;
    if (notice == 11)
        return preset ? kPresetSaveState : kUsbSaveState;
    return preset ? kPresetLoadState : kUsbLoadState;
}

void drawUpgradeProgress(int first)
{
    UsbPagesState& s = st();
    uint32_t state = imageWord(4, kUpgradeState);
    uint32_t percent = imageWord(4, kUpgradePercent) & 0xFF;
    bool finalising = (imageWord(2, 2) & kFinalisingBit) != 0;
    char buf[24];
    // Phases: 1 to 3 the upgrade states, 4 finalising, 5 finalised. The
    // progress takes all four lines.
    if (first) {
        s.finalising = false;
        s.blinkOn = false;
    }
    int phase = finalising ? 4 : s.finalising ? 5 : static_cast<int>(state);
    if (finalising)
        s.finalising = true;
    if (first || phase != s.shownPhase) {
        const char* head = "     FW UPGRADE      ";
        const char* rule = "---------------------";
        switch (phase) {
        case 1: drawRows(head, rule, "     In Progress     ", kBlankLine); break;
        case 2: drawRows(head, rule, "   SYSTEM UPGRADED   ", kBlankLine); break;
        case 3: drawRows("      WARNING !!     ", kBlankLine, "   UPGRADE FAILURE   ", kBlankLine); break;
        case 4: drawRows(head, rule, "     Finalizing      ", kBlankLine); break;
        case 5: drawRows(head, rule, "     Finalized       ", "        100 %        "); break;
        default: drawRows(head, rule, kBlankLine, kBlankLine); break;
        }
        s.shownPhase = phase;
    }
    if (phase == 1) {
        // The percentage line blinks: drawn one turn, blank the next.
        s.blinkOn = !s.blinkOn;
        if (s.blinkOn) {
            snprintf(buf, sizeof buf, "%12u %%       ", percent);
            drawLine(4, buf);
        } else {
            drawLine(4, kBlankLine);
        }
    } else if (phase == 4) {
        snprintf(buf, sizeof buf, "%11u %%        ", percent);
        drawLine(4, buf);
    }
}

void drawListEntry()
{
    UsbPagesState& s = st();
    char buf[24];
    const std::string& name = s.list[static_cast<size_t>(s.selected)].name;
    if (name.empty())
        snprintf(buf, sizeof buf, "Noname            ");
    else
        snprintf(buf, sizeof buf, "%-18.15s", name.c_str());
    drawText(1, 4, 3, 0, buf, 18, 1);
    drawText(1, 20, 2, 0, " ", 1, 1);
    drawText(1, 20, 4, 0, " ", 1, 1);
    if (s.selected > 0)
        drawText(1, 20, 2, kMarkMoreAbove, " ", 1, 1);
    if (s.selected + 1 < static_cast<int>(s.list.size()))
        drawText(1, 20, 4, kMarkMoreBelow, " ", 1, 1);
    s.shownSelected = s.selected;
}

} // namespace

bool usbKeyPresent()
{
    return ds().usbPresent == 1;
}

bool noticeLines(uint8_t notice, const char* lines[3])
{
    for (const NoticeRow& n : kNotices) {
        if (n.number == notice) {
            for (int i = 0; i < 3; i++)
                lines[i] = n.lines[i];
            return true;
        }
    }
    return false;
}

bool noticeOutcome(uint8_t notice, uint32_t state, const char* lines[2])
{
    for (const NoticeOutcome& o : kOutcomes) {
        if (o.number == notice && o.state == state) {
            lines[0] = o.lines[0];
            lines[1] = o.lines[1];
            return true;
        }
    }
    return false;
}

void showNotice(uint8_t notice, uint8_t returnPage)
{
    ds().noticeNumber = notice;
    ds().noticeReturn = returnPage;
    gotoPage(kNoticePage, 0);
}

// Main menu, USB: the key menu while local with a key, the remote notice
// while remote.
void openUsbMenu()
{
    if (!(imageWord(1, 0) & (1u << 24))) {
        showNotice(5, 2);
        return;
    }
    if (usbKeyPresent())
        gotoPage(11, 0);
}

void usbConfigData()
{
    st().listKind = USB_LIST_CONFIG;
    gotoPage(13, 0);
}

void usbFirmwareUpdate()
{
    st().listKind = USB_LIST_UPGRADE;
    if (folderExists(kUsbUpgradeDir) && buildUsbFileList(USB_LIST_UPGRADE, &st().list))
        gotoPage(17, 0);
    else
        showNotice(4, 11);
}

void usbSave()
{
    ds().exchangeSource = SOURCE_USB_CONFIG;
    st().choice = CHOICE_SAVE;
    gotoPage(14, 0);
}

void usbLoad()
{
    ds().exchangeSource = SOURCE_USB_CONFIG;
    st().choice = CHOICE_LOAD;
    st().listKind = USB_LIST_CONFIG;
    if (!folderExists(kUsbConfigDir))
        showNotice(0, 13);
    else if (buildUsbFileList(USB_LIST_CONFIG, &st().list))
        gotoPage(17, 0);
    else
        showNotice(6, 13);
}

void presetSaveList()
{
    st().presetMode = PRESET_SAVE;
    buildPresetList(PRESET_SAVE, &st().list);
    gotoPage(19, 0);
}

void presetLoadList()
{
    st().presetMode = PRESET_LOAD;
    if (buildPresetList(PRESET_LOAD, &st().list))
        gotoPage(19, 0);
    else
        showNotice(4, 18);
}

// Page 12: the key's configuration data.
void usbKeyDataKey(uint16_t key)
{
    if (key == KEY_LEFT)
        gotoPage(11, 0);
    else if (key == KEY_ENTER || key == KEY_RIGHT)
        gotoPage(13, 0);
}

void usbKeyDataDraw(int first, int arg)
{
    (void)first;
    (void)arg;
    keyGone();
}

// Pages 14 (save), 15 (load) and 16 (upgrade).
void confirmKey(uint16_t key)
{
    UsbPagesState& s = st();
    uint8_t source = ds().exchangeSource;
    switch (key) {
    case KEY_LEFT:
    case KEY_RIGHT: s.yes = !s.yes; break;
    case KEY_ENTER:
        if (!s.yes) {
            gotoPage(source == SOURCE_USB_UPGRADE ? 11 : 13, 0);
        } else if (source == SOURCE_USB_UPGRADE) {
            request(kUsbUpgradeReq, 2, kUpgradeState);
            showNotice(10, 11);
        } else if (s.choice == CHOICE_SAVE) {
            request(kUsbSaveReq, 1, kUsbSaveState);
            showNotice(11, 13);
        } else {
            request(kUsbLoadReq, 1, kUsbLoadState);
            showNotice(12, 13);
        }
        break;
    default: break;
    }
}

void confirmDraw(int first, int arg)
{
    (void)arg;
    if (keyGone())
        return;
    UsbPagesState& s = st();
    if (first) {
        s.yes = false;
        if (currentPage() == 14)
            ds().exchangeSource = SOURCE_USB_CONFIG;
        s.shownYes = -1;
    }
    if (static_cast<int>(s.yes) != s.shownYes) {
        drawChoice(s.yes);
        s.shownYes = s.yes;
    }
}

// Pages 17 (key files) and 19 (presets).
void fileListKey(uint16_t key)
{
    UsbPagesState& s = st();
    bool presets = currentPage() == 19;
    int count = static_cast<int>(s.list.size());
    switch (key) {
    case KEY_UP:
        if (s.selected > 0)
            s.selected--;
        break;
    case KEY_DOWN:
        if (s.selected + 1 < count)
            s.selected++;
        break;
    case KEY_LEFT:
        s.list.clear();
        if (presets)
            gotoPage(18, 0);
        else
            gotoPage(ds().exchangeSource == SOURCE_USB_UPGRADE ? 11 : 13, 0);
        break;
    case KEY_ENTER:
    case KEY_RIGHT:
        if (s.selected >= count)
            break;
        if (presets) {
            gotoPage(s.presetMode == PRESET_SAVE ? 21 : 20, 0);
        } else if (ds().exchangeSource == SOURCE_USB_UPGRADE) {
            writeHandOver(kUpgradeHandOver, s.list[static_cast<size_t>(s.selected)].name);
            gotoPage(16, 0);
        } else {
            writeHandOver(kConfigHandOver, s.list[static_cast<size_t>(s.selected)].name);
            gotoPage(15, 0);
        }
        break;
    default: break;
    }
}

void fileListDraw(int first, int arg)
{
    (void)arg;
    UsbPagesState& s = st();
    if (currentPage() == 17) {
        if (keyGone())
            return;
        if (first)
            ds().exchangeSource = s.listKind == USB_LIST_UPGRADE ? SOURCE_USB_UPGRADE : SOURCE_USB_CONFIG;
    }
    if (first)
        s.selected = 0;
    if (s.list.empty())
        return;
    if (first || s.selected != s.shownSelected)
        drawListEntry();
}

// Pages 20 (load) and 21 (save) of a preset.
void presetConfirmKey(uint16_t key)
{
    UsbPagesState& s = st();
    switch (key) {
    case KEY_UP:
    case KEY_DOWN: s.yes = !s.yes; break;
    case KEY_LEFT: gotoPage(18, 0); break;
    case KEY_ENTER:
        if (!s.yes || s.selected >= static_cast<int>(s.list.size())) {
            gotoPage(18, 0);
            break;
        }
        {
            int n = s.list[static_cast<size_t>(s.selected)].preset;
            if (currentPage() == 20) {
                printf("Carico cfg %d\n", n);
                request(kPresetLoadReq, static_cast<uint32_t>(n), kPresetLoadState);
                showNotice(12, 18);
            } else {
                printf("Salvo cfg %d\n", n);
                request(kPresetSaveReq, static_cast<uint32_t>(n), kPresetSaveState);
                showNotice(11, 18);
            }
        }
        break;
    default: break;
    }
}

void presetConfirmDraw(int first, int arg)
{
    (void)arg;
    UsbPagesState& s = st();
    if (first) {
        ds().exchangeSource = SOURCE_PRESET;
        s.yes = false;
        s.shownYes = -1;
        if (s.selected < static_cast<int>(s.list.size()))
            drawText(1, 4, 2, 0, s.list[static_cast<size_t>(s.selected)].name.c_str(), 15, 1);
    }
    if (static_cast<int>(s.yes) != s.shownYes) {
        drawChoice(s.yes);
        s.shownYes = s.yes;
    }
}

void noticeKey(uint16_t key)
{
    if (key != KEY_LEFT)
        return;
    uint8_t n = ds().noticeNumber;
    uint8_t source = ds().exchangeSource;
    if (n == 0 || n == 6)
        gotoPage(13, 0);
    else if ((n == 3 || n == 9) && source == SOURCE_USB_CONFIG)
        gotoPage(13, 0);
    else if (n == 4)
        gotoPage(11, 0);
    else if (n == 5)
        gotoPage(2, 0);
    else if ((n == 11 || n == 12) && source == SOURCE_USB_CONFIG)
        gotoPage(13, 0);
    else if ((n == 11 || n == 12) && source == SOURCE_PRESET)
        gotoPage(18, 0);
    else if (n >= 13 && n <= 18)
        gotoPage(ds().noticeReturn, 0);
}

void noticeDraw(int first, int arg)
{
    (void)arg;
    UsbPagesState& s = st();
    uint8_t n = ds().noticeNumber;
    if (n == 10) {
        drawUpgradeProgress(first);
        return;
    }
    const char* lines[3];
    if (first) {
        s.shownState = 0xFFFFFFFF;
        if (noticeLines(n, lines))
            drawNoticeRows(lines[0], lines[1], lines[2]);
    }
    if (n != 11 && n != 12)
        return;
    uint32_t state = imageWord(4, noticeStateWord(n));
    if (state == s.shownState)
        return;
    const char* outcome[2];
    if (noticeOutcome(n, state, outcome))
        drawNoticeRows(outcome[0], outcome[1], kBlankLine);
    else if (!first && noticeLines(n, lines))
        drawNoticeRows(lines[0], lines[1], lines[2]);
    s.shownState = state;
}

void resetUsbPages()
{
    st() = UsbPagesState{};
}

} // namespace lumiro
