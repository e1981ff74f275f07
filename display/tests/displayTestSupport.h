// What the display's tests share: a fixture with the frame buffer, DbPool
// and the virtual clock, an independent PNG decoder (zlib and the chunk
// layout, not libpng), and a netlink listener in a private network
// namespace.
#pragma once

#include "testing/sandboxTest.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct RecordedText {
    int font, column, row;
    std::string text;
    bool operator==(const RecordedText&) const = default;
};

// Texts drawn since the last clear, through the lcd recording hook.
std::vector<RecordedText>& recordedTexts();
void startRecordingTexts();
void stopRecordingTexts();
// True when a text at (font, column, row) equal to `text` was drawn.
bool drew(int font, int column, int row, const std::string& text);

class DisplayTest : public SandboxTest {
protected:
    DisplayTest() : SandboxTest(SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override;
    void TearDown() override;
    // Writes a DbPool cell as the daemon does.
    static void cell(uint32_t table, uint32_t element, uint32_t value);
    // Refreshes every image.
    static void refreshAll();
    // The frame buffer as words, read from the sandbox file.
    std::vector<uint16_t> frame() const;

    // Key walks: a key given to the current page, then its draw of the turn.
    static void press(uint16_t key);
    static void presses(std::initializer_list<uint16_t> keys);

    // The display's channel and a listener of its group (as the daemon's
    // channel would be), in a network namespace of the test: false when
    // that cannot be had (the test skips).
    bool listen();
    // Messages received since the last call: each payload (after the
    // 16-byte header).
    std::vector<std::vector<uint8_t>> messages();
    // The element writes (table, element, value) among them.
    std::vector<std::array<uint32_t, 3>> writes();
    // Filters messages() to element writes (type 3).
    static std::vector<std::array<uint32_t, 3>> elementWrites(const std::vector<std::vector<uint8_t>>& payloads);

    // Renders the LCD with fbshot and compares it with the golden picture
    // display/tests/golden/NAME.png; CORVANE_UPDATE_GOLDEN=1 writes it.
    void expectGolden(const std::string& name);

    int listener = -1;
};

struct DecodedPng {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb; // 8-bit RGB, rows top to bottom
};
// Decodes an 8-bit RGB, non-interlaced PNG: false (with a reason) otherwise.
bool decodePng(const std::string& path, DecodedPng* out, std::string* why);

// Moves the calling process into a new network namespace, so netlink
// groups are its own. False when it cannot (the test skips).
bool privateNetwork();
// A netlink socket of protocol 16 bound to group 0x40 (a listener as the
// daemon's channel would be): its descriptor or -1.
int openGroupListener(uint32_t pid = 0);
// One message from the listener within timeoutMs: header and payload.
bool receiveMessage(int fd, std::vector<uint8_t>* message, int timeoutMs);
