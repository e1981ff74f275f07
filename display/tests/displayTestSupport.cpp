#include "display/tests/displayTestSupport.h"

#include "comtab/dbPool.h"
#include "display/dbView.h"
#include "display/dipc.h"
#include "display/displayMain.h"
#include "display/keypad.h"
#include "display/lcd.h"
#include "display/pages.h"
#include "sim/simFb.h"
#include "testing/testSupport.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void record(int font, int column, int row, const char* text)
{
    recordedTexts().push_back({font, column, row, text});
}

uint32_t be32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

int paeth(int a, int b, int c)
{
    int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

} // namespace

std::vector<RecordedText>& recordedTexts()
{
    static std::vector<RecordedText> texts;
    return texts;
}

void startRecordingTexts()
{
    recordedTexts().clear();
    lumiro::setTextRecorder(record);
}

void stopRecordingTexts()
{
    lumiro::setTextRecorder(nullptr);
}

bool drew(int font, int column, int row, const std::string& text)
{
    for (const RecordedText& t : recordedTexts())
        if (t.font == font && t.column == column && t.row == row && t.text == text)
            return true;
    return false;
}

void DisplayTest::SetUp()
{
    SandboxTest::SetUp();
    ASSERT_EQ(lumiro::openFramebuffer(), 0);
    lumiro::initDbPool();
    lumiro::resetPages();
    lumiro::resetKeypad();
    lumiro::resetDisplayState();
}

void DisplayTest::TearDown()
{
    stopRecordingTexts();
    if (listener >= 0)
        close(listener);
    lumiro::closeNetlinkChannels();
    lumiro::closeAxi();
    lumiro::closeDbPool();
    lumiro::closeFramebuffer();
    lumiro::setInverseVideo(0);
    SandboxTest::TearDown();
}

void DisplayTest::cell(uint32_t table, uint32_t element, uint32_t value)
{
    setDbAreaCell(table, element, value);
}

void DisplayTest::refreshAll()
{
    for (uint8_t i = 1; i <= 5; i++)
        lumiro::refreshTableCopy(0, i, 0, nullptr, 1);
}

void DisplayTest::press(uint16_t key)
{
    lumiro::pageKey(key);
    lumiro::pageDraw(0, 0);
}

void DisplayTest::presses(std::initializer_list<uint16_t> keys)
{
    for (uint16_t k : keys)
        press(k);
}

bool DisplayTest::listen()
{
    if (!privateNetwork())
        return false;
    int fd = lumiro::init_nl_ch(getpid(), lumiro::DIPC_GROUP_DISPLAY, 0, lumiro::kNetlinkProtocol);
    EXPECT_GT(fd, 0);
    lumiro::setDisplaySocket(fd);
    listener = openGroupListener();
    return listener >= 0;
}

std::vector<std::vector<uint8_t>> DisplayTest::messages()
{
    std::vector<std::vector<uint8_t>> out;
    std::vector<uint8_t> m;
    while (receiveMessage(listener, &m, 50))
        if (m.size() > 16)
            out.emplace_back(m.begin() + 16, m.end());
    return out;
}

std::vector<std::array<uint32_t, 3>> DisplayTest::elementWrites(const std::vector<std::vector<uint8_t>>& payloads)
{
    std::vector<std::array<uint32_t, 3>> out;
    auto u32 = [](const uint8_t* q) { return q[0] | q[1] << 8 | q[2] << 16 | static_cast<uint32_t>(q[3]) << 24; };
    for (const auto& p : payloads)
        if (p.size() == 14 && p[1] == 3)
            out.push_back({u32(&p[2]), u32(&p[6]), u32(&p[10])});
    return out;
}

std::vector<std::array<uint32_t, 3>> DisplayTest::writes()
{
    return elementWrites(messages());
}

void DisplayTest::expectGolden(const std::string& name)
{
    std::string shot = host(("/tmp/" + name + ".png").c_str());
    int status = -1;
    std::string out = runInSandbox(root, std::string(CORVANE_TOOLS_DIR) + "/fbshot " + shot, &status);
    ASSERT_EQ(status, 0) << out;
    std::string golden = std::string(CORVANE_SOURCE_DIR) + "/display/tests/golden/" + name + ".png";
    if (getenv("CORVANE_UPDATE_GOLDEN")) {
        mkdir((std::string(CORVANE_SOURCE_DIR) + "/display/tests/golden").c_str(), 0755);
        std::ifstream in(shot, std::ios::binary);
        std::ofstream(golden, std::ios::binary) << in.rdbuf();
    }
    DecodedPng want, got;
    std::string why;
    ASSERT_TRUE(decodePng(golden, &want, &why)) << golden << ": " << why;
    ASSERT_TRUE(decodePng(shot, &got, &why)) << why;
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    EXPECT_TRUE(got.rgb == want.rgb) << name << " differs from its golden picture";
}

std::vector<uint16_t> DisplayTest::frame() const
{
    std::ifstream in(simFbPath(), std::ios::binary);
    std::vector<uint16_t> words(kSimFbSize / 2);
    in.read(reinterpret_cast<char*>(words.data()), kSimFbSize);
    return words;
}

bool decodePng(const std::string& path, DecodedPng* out, std::string* why)
{
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto* d = reinterpret_cast<const uint8_t*>(data.data());
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data.size() < 8 || memcmp(d, sig, 8) != 0) {
        *why = "no PNG signature";
        return false;
    }
    std::string idat;
    size_t pos = 8;
    bool ended = false;
    while (pos + 12 <= data.size()) {
        uint32_t len = be32(d + pos);
        std::string type(reinterpret_cast<const char*>(d + pos + 4), 4);
        if (pos + 12 + len > data.size())
            break;
        const uint8_t* body = d + pos + 8;
        if (crc32(crc32(0, d + pos + 4, 4), body, len) != be32(body + len)) {
            *why = "bad CRC in " + type;
            return false;
        }
        if (type == "IHDR") {
            out->width = static_cast<int>(be32(body));
            out->height = static_cast<int>(be32(body + 4));
            if (body[8] != 8 || body[9] != 2 || body[12] != 0) {
                *why = "not 8-bit RGB without interlace";
                return false;
            }
        } else if (type == "IDAT") {
            idat.append(reinterpret_cast<const char*>(body), len);
        } else if (type == "IEND") {
            ended = true;
            break;
        }
        pos += 12 + len;
    }
    if (!ended || out->width <= 0 || out->height <= 0) {
        *why = "no IEND or no header";
        return false;
    }
    size_t stride = static_cast<size_t>(out->width) * 3;
    std::vector<uint8_t> raw((stride + 1) * out->height);
    uLongf rawLen = raw.size();
    if (uncompress(raw.data(), &rawLen, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
        rawLen != raw.size()) {
        *why = "image data does not inflate to its size";
        return false;
    }
    out->rgb.assign(stride * out->height, 0);
    for (int y = 0; y < out->height; y++) {
        uint8_t filter = raw[y * (stride + 1)];
        const uint8_t* src = &raw[y * (stride + 1) + 1];
        uint8_t* row = &out->rgb[y * stride];
        const uint8_t* up = y ? &out->rgb[(y - 1) * stride] : nullptr;
        for (size_t x = 0; x < stride; x++) {
            int a = x >= 3 ? row[x - 3] : 0, b = up ? up[x] : 0, c = up && x >= 3 ? up[x - 3] : 0;
            int v = src[x];
            switch (filter) {
            case 0: break;
            case 1: v += a; break;
            case 2: v += b; break;
            case 3: v += (a + b) / 2; break;
            case 4: v += paeth(a, b, c); break;
            default: *why = "unknown filter"; return false;
            }
            row[x] = static_cast<uint8_t>(v);
        }
    }
    return true;
}

bool privateNetwork()
{
    return unshare(CLONE_NEWNET) == 0;
}

int openGroupListener(uint32_t pid)
{
    int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, 16);
    if (fd < 0)
        return -1;
    struct sockaddr_nl a = {};
    a.nl_family = AF_NETLINK;
    a.nl_pid = pid;
    a.nl_groups = lumiro::DIPC_GROUP_DISPLAY;
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool receiveMessage(int fd, std::vector<uint8_t>* message, int timeoutMs)
{
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1)
        return false;
    uint8_t buf[1024];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0)
        return false;
    message->assign(buf, buf + n);
    return true;
}
