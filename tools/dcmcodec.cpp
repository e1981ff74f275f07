// dcmcodec: the DCM frame codec behind text lines, for comparing it with
// another implementation. One answer line per input line:
//   enc M A C BODY [d=HEX]   ->  the frame in lower-case hex, or "err R"
//   dec M N HEX              ->  M A C BODY [d=HEX], or "err R"
// M address mode, A address, C command, N the preset data length. BODY is
// "list" followed by elements s/t/e/v (size type, table, element, value),
// "block s/t/f/n" (size type, table, first element, count) with "x=HEX" when
// the block carries data, or "none" (no access type). Numbers are decimal.
// A line that cannot be read is answered "bad".
#include "links/dcmMsg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool parseHex(const std::string& s, std::vector<uint8_t>* out)
{
    if (s.size() % 2)
        return false;
    for (size_t i = 0; i < s.size(); i += 2) {
        char* end = nullptr;
        std::string byte = s.substr(i, 2);
        unsigned long v = strtoul(byte.c_str(), &end, 16);
        if (*end)
            return false;
        out->push_back(static_cast<uint8_t>(v));
    }
    return true;
}

std::string hex(const uint8_t* p, size_t n)
{
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; i++) {
        snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}

bool parseNums(const std::string& s, unsigned long* v, int n)
{
    const char* p = s.c_str();
    for (int i = 0; i < n; i++) {
        char* end = nullptr;
        v[i] = strtoul(p, &end, 10);
        if (end == p || (i < n - 1 ? *end != '/' : *end != 0))
            return false;
        p = end + 1;
    }
    return true;
}

bool blockCarriesData(uint8_t c)
{
    return c == 5 || c == 132 || c == 140 || c == 131 || c == 139;
}

std::string encode(std::istringstream& in)
{
    unsigned long mode, addr, cmd;
    std::string body;
    if (!(in >> mode >> addr >> cmd >> body))
        return "bad";
    DcmMsg msg = {};
    msg.addrMode = static_cast<uint32_t>(mode);
    msg.state = DCM_STATE_READY;
    msg.address = static_cast<uint32_t>(addr);
    msg.command = static_cast<uint8_t>(cmd);
    std::string tok;
    if (body == "list") {
        msg.accessType = DCM_TYPE_WRITE_LIST;
    } else if (body == "block") {
        unsigned long v[4];
        if (!(in >> tok) || !parseNums(tok, v, 4))
            return "bad";
        msg.accessType = DCM_TYPE_READ_BLOCK;
        msg.block.sizeType = static_cast<uint32_t>(v[0]);
        msg.block.table = static_cast<uint8_t>(v[1]);
        msg.block.firstElem = static_cast<uint8_t>(v[2]);
        msg.count = static_cast<uint8_t>(v[3]);
    } else if (body != "none") {
        return "bad";
    }
    int elems = 0;
    while (in >> tok) {
        std::vector<uint8_t> bytes;
        if (tok.rfind("d=", 0) == 0) {
            if (!parseHex(tok.substr(2), &bytes) || bytes.size() > kDcmDataBlockMax)
                return "bad";
            msg.dataLen = static_cast<uint8_t>(bytes.size());
            if (!bytes.empty())
                memcpy(msg.dataBlock, bytes.data(), bytes.size());
        } else if (tok.rfind("x=", 0) == 0) {
            if (!parseHex(tok.substr(2), &bytes) || bytes.size() > kDcmBlockDataMax)
                return "bad";
            if (!bytes.empty())
                memcpy(msg.block.data, bytes.data(), bytes.size());
        } else {
            unsigned long v[4];
            if (body != "list" || !parseNums(tok, v, 4) || elems >= 255)
                return "bad";
            // More than the list holds only counts: the encoder refuses it.
            if (elems < kDcmListMax)
                msg.list[elems] = DcmWriteElem{static_cast<uint32_t>(v[0]), static_cast<uint8_t>(v[1]),
                                               static_cast<uint8_t>(v[2]), static_cast<uint32_t>(v[3])};
            elems++;
        }
    }
    if (body == "list")
        msg.count = static_cast<uint8_t>(elems);
    DcmFrameBuf frame;
    int r = DMSG_FromMsgToFrame(&msg, &frame);
    if (r != 0)
        return "err " + std::to_string(r);
    return hex(frame.data, frame.len);
}

std::string decode(std::istringstream& in)
{
    unsigned long mode, preset;
    std::string h;
    if (!(in >> mode >> preset))
        return "bad";
    in >> h; // an empty frame is allowed
    std::vector<uint8_t> bytes;
    if (!parseHex(h, &bytes) || bytes.size() > kDcmFrameMax)
        return "bad";
    DcmFrameBuf frame;
    if (!bytes.empty())
        memcpy(frame.data, bytes.data(), bytes.size());
    frame.len = static_cast<uint16_t>(bytes.size());
    frame.flag = 0;
    DcmMsg msg = {};
    msg.dataLen = static_cast<uint8_t>(preset);
    int r = DMSG_FromFrameToMsg(&frame, &msg, static_cast<uint32_t>(mode), 0);
    if (r != 0)
        return "err " + std::to_string(r);
    std::string out = std::to_string(msg.addrMode) + " " + std::to_string(msg.address) + " " +
                      std::to_string(msg.command) + " ";
    if (msg.accessType == DCM_TYPE_WRITE_LIST) {
        out += "list";
        for (int i = 0; i < msg.count; i++) {
            const DcmWriteElem& e = msg.list[i];
            out += " " + std::to_string(e.sizeType) + "/" + std::to_string(e.table) + "/" +
                   std::to_string(e.element) + "/" + std::to_string(e.value);
        }
    } else if (msg.accessType == DCM_TYPE_READ_BLOCK) {
        out += "block " + std::to_string(msg.block.sizeType) + "/" + std::to_string(msg.block.table) + "/" +
               std::to_string(msg.block.firstElem) + "/" + std::to_string(msg.count);
        if (blockCarriesData(msg.command)) {
            uint32_t size = msg.block.sizeType == 1 ? 1 : msg.block.sizeType == 2 ? 2 : msg.block.sizeType == 3 ? 4 : 0;
            out += " x=" + hex(msg.block.data, msg.count * size);
        }
    } else {
        out += "none";
    }
    if (msg.dataLen && msg.command >= 136 && msg.command <= 140)
        out += " d=" + hex(msg.dataBlock, msg.dataLen);
    return out;
}

} // namespace

int main()
{
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        std::string answer = verb == "enc" ? encode(in) : verb == "dec" ? decode(in) : "bad";
        std::cout << answer << '\n' << std::flush;
    }
    return 0;
}
